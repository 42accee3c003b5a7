#include "run_command.h"

#include <QProcess>

namespace {

constexpr int iTerminate_Grace_Ms = 3000;

} // namespace

QStringList qslRun_Command(const QString &qsProgram, const QStringList &qslArguments, int iWait_Ms)
{
    QProcess qProcess;
    qProcess.start(qsProgram, qslArguments, QIODevice::ReadWrite);
    qProcess.closeWriteChannel();
    qProcess.waitForFinished(iWait_Ms);
    const QByteArray qbaResult = qProcess.readAllStandardOutput();

    if (qProcess.state() != QProcess::NotRunning) {
        qProcess.terminate();
        if (!qProcess.waitForFinished(iTerminate_Grace_Ms)) {
            qProcess.kill();
            qProcess.waitForFinished(iTerminate_Grace_Ms);
        }
    }

    const QString qsResult = QString::fromUtf8(qbaResult);
    return qsResult.split(QLatin1Char('\n'), Qt::KeepEmptyParts, Qt::CaseSensitive);
}
