#include "form_main.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication qApplication(argc, argv);
    Form_Main w;
    w.show();
    return qApplication.exec();
}
