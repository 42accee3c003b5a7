#include "form_main.h"
#include "x_display.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QByteArray qbaWhy;
    if (!bDisplay_Ready(argc, argv, qbaWhy)) {
        std::fprintf(stderr, "morvane_qt: the window needs an X display (%s); without a desktop, zero free space with "
                             "morvane-fill FOLDER..., or show the window on a virtual display: xvfb-run -a morvane_qt\n",
                     qbaWhy.constData());
        return 1;
    }
    QApplication qApplication(argc, argv);
    Form_Main w;
    w.show();
    return qApplication.exec();
}
