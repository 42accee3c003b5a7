// Starts a run of the real window on one mount point in a process of its own, so that a test can
// send it a signal mid-run:  morvane_run_helper <mount point> [--pump]
#include "form_main.h"
#include "run_driver.h"

#include <QCheckBox>
#include <QPushButton>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication qApplication(argc, argv);
    const QStringList qslArguments = qApplication.arguments();
    if (qslArguments.size() < 2)
        return 2;
    Form_Main qWindow;
    qWindow.show();
    vChoose_Mount_Point(qWindow.findChild<QComboBox *>(QStringLiteral("comboBox_Partitions")),
                        qslArguments.at(1));
    qWindow.findChild<QCheckBox *>(QStringLiteral("checkBox_Stop"))
        ->setChecked(qslArguments.contains(QStringLiteral("--pump")));
    Box_Answerer qAnswers({QMessageBox::Yes});
    QTimer::singleShot(0, &qWindow, [&qWindow]() {
        qWindow.findChild<QPushButton *>(QStringLiteral("pushButton_Start"))->click();
        std::printf("run ended\n");
        QApplication::quit();
    });
    return qApplication.exec();
}
