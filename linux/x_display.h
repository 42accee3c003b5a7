#ifndef X_DISPLAY_H
#define X_DISPLAY_H

#include <QByteArray>

// True when the window can be shown: a platform other than X was asked for (QT_QPA_PLATFORM or
// -platform, as the offscreen tests do), a Wayland display is named, or the X display answers.
// Otherwise qbaWhy says what is missing, for a one-line message instead of Qt's abort.
bool bDisplay_Ready(int argc, char *argv[], QByteArray &qbaWhy);

#endif // X_DISPLAY_H
