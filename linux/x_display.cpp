#include "x_display.h"

#include <cstring>

#include <xcb/xcb.h>

bool bDisplay_Ready(int argc, char *argv[], QByteArray &qbaWhy)
{
    QByteArray qbaPlatform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            qbaPlatform = argv[i + 1];
    if (!qbaPlatform.isEmpty() && !qbaPlatform.startsWith("xcb"))
        return true;
    const QByteArray qbaDisplay = qgetenv("DISPLAY");
    if (qbaDisplay.isEmpty()) {
        if (qbaPlatform.isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty())
            return true;
        qbaWhy = "DISPLAY is not set";
        return false;
    }
    xcb_connection_t *pConnection = xcb_connect(nullptr, nullptr);
    const bool bAnswers = xcb_connection_has_error(pConnection) == 0;
    xcb_disconnect(pConnection);
    if (!bAnswers)
        qbaWhy = "the X display " + qbaDisplay + " does not answer";
    return bAnswers;
}
