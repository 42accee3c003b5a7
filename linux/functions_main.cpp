#include "functions_main.h"

#include "df_volume.h"
#include "folder_remove.h"
#include "run_command.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const int iMsgBox_OK_Button = 1;
const int iMsgBox_Save_Button = 2;
const int iMsgBox_SaveAll_Button = 4;
const int iMsgBox_Open_Button = 8;
const int iMsgBox_Yes_Button = 16;
const int iMsgBox_YesToAll_Button = 32;
const int iMsgBox_No_Button = 64;
const int iMsgBox_NoToAll_Button = 128;
const int iMsgBox_Abort_Button = 256;
const int iMsgBox_Retry_Button = 512;
const int iMsgBox_Ignore_Button = 1024;
const int iMsgBox_Close_Button = 2048;
const int iMsgBox_Cancel_Button = 4096;
const int iMsgBox_Discard_Button = 8192;
const int iMsgBox_Help_Button = 16384;
const int iMsgBox_Apply_Button = 32768;
const int iMsgBox_Reset_Button = 65536;
const int iMsgBox_RestoreDefaults_Button = 131072;

const int iMsgBox_Unique_Button_Result = 262144;

namespace {

const int iButton_Bits = 18;
const int iStandard_Button_Factor = 1024;
const int iBig_Delay_Ms = 2000000;
const int iSmall_Delay_Ms = 5000;

const QRegularExpression qreDf_Available(QStringLiteral("^\\s*\\S+\\s+\\S+\\s+\\S+\\s+(\\S+)"));

} // namespace

int iMessageBox(QString qsTitle_Message, QString qsMain_Message, int iIcon, int iMode,
                int iDefault_Button, int iTime, QString qsUnique_Button_Text)
{
    qsMain_Message += QLatin1Char('\n') + QString(127, QLatin1Char('_'));

    QMessageBox qMsgBox;
    QTimer qTimer_Msgbox_Down;
    qMsgBox.setText(qsTitle_Message);
    qMsgBox.setInformativeText(qsMain_Message);
    if (iIcon >= QMessageBox::NoIcon && iIcon <= QMessageBox::Question)
        qMsgBox.setIcon(static_cast<QMessageBox::Icon>(iIcon));

    const QString qsMode = QString::number(iMode, 2);
    for (int i = qsMode.length() - 1; i >= 0; --i) {
        const int k = qsMode.length() - 1 - i;
        if (qsMode.at(i) == QLatin1Char('1') && k < iButton_Bits)
            qMsgBox.addButton(static_cast<QMessageBox::StandardButton>(iStandard_Button_Factor << k));
    }

    for (int k = 0; k < iButton_Bits; ++k) {
        if (iDefault_Button == (1 << k)) {
            qMsgBox.setDefaultButton(static_cast<QMessageBox::StandardButton>(iStandard_Button_Factor << k));
            break;
        }
    }

    // An unanswered box must not stand for a yes: when the time runs out it closes as "no button".
    if (iTime > 0) {
        const qint64 iInterval = qMin<qint64>(qint64(iTime) * 1000, INT_MAX);
        qTimer_Msgbox_Down.setSingleShot(true);
        qTimer_Msgbox_Down.setInterval(int(iInterval));
        QObject::connect(&qTimer_Msgbox_Down, &QTimer::timeout, &qMsgBox, [&qMsgBox] { qMsgBox.done(0); });
        qTimer_Msgbox_Down.start();
    }

    QPushButton *qUnique_Button = nullptr;
    if (!qsUnique_Button_Text.isEmpty())
        qUnique_Button = qMsgBox.addButton(qsUnique_Button_Text, QMessageBox::AcceptRole);

    qMsgBox.exec();

    // The clicked button, not exec's return value, tells the answer: a custom button's exec result is
    // its index, which would collide with the codes.
    QAbstractButton *qClicked = qMsgBox.clickedButton();
    if (qClicked == nullptr)
        return 0;
    if (qClicked == qUnique_Button)
        return iMsgBox_Unique_Button_Result;
    return int(qMsgBox.standardButton(qClicked)) / iStandard_Button_Factor;
}

QStringList qslProcess_Run(QString qsProcess, bool bBig_Delay)
{
    const QStringList qslParts = QProcess::splitCommand(qsProcess);
    if (qslParts.isEmpty())
        return QStringList(QString());
    return qslProcess_Run(qslParts.first(), qslParts.mid(1), bBig_Delay);
}

QStringList qslProcess_Run(const QString &qsProgram, const QStringList &qslArguments, bool bBig_Delay)
{
    return qslRun_Command(qsProgram, qslArguments, bBig_Delay ? iBig_Delay_Ms : iSmall_Delay_Ms);
}

void vAccess_777(const QString &qsDirectory)
{
    // Only what the program ships beside itself: a copy kept in a folder of the user's own
    // (Downloads, ~/bin) must not open up the user's other files there to everybody.
    static const char *const apcShipped_Files[] = {
        "morvane_qt", "morvane-fill",
        "Значок.ico", "Лицензионное соглашение.txt", "Справка.txt",
    };
    const uid_t uiUser = geteuid();
    for (const char *pcName : apcShipped_Files) {
        const QString qsFile = QDir(qsDirectory).filePath(QString::fromUtf8(pcName));
        // Work on the inode that was checked: a name swapped for a link in between is never followed.
        const int iFd = ::open(QFile::encodeName(qsFile).constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (iFd < 0)
            continue;
        struct stat stFile;
        if (::fstat(iFd, &stFile) == 0 && S_ISREG(stFile.st_mode) && stFile.st_uid == uiUser) {
            const mode_t uiOld = stFile.st_mode & 07777;
            mode_t uiNew = uiOld | S_IRUSR | S_IRGRP | S_IROTH;
            if (uiOld & S_IXUSR)
                uiNew |= S_IXGRP | S_IXOTH;
            if (uiNew != uiOld)
                ::chmod(QByteArray("/proc/self/fd/" + QByteArray::number(iFd)).constData(), uiNew);
        }
        ::close(iFd);
    }
}

double dGet_Partition_FreeSpace(QString qsDev_Path)
{
    const QStringList qslOutput =
        qslProcess_Run(QStringLiteral("df"), {QStringLiteral("--block-size=1"), QStringLiteral("--"), qsDev_Path}, false);
    if (qslOutput.size() < 2)
        return 0;
    int i = 1;
    const QRegularExpressionMatch qMatch = qreDf_Available.match(qsDf_Line(qslOutput, i));
    if (!qMatch.hasMatch())
        return 0;
    return qMatch.captured(1).toDouble();
}

void vFolder_Remove(QString qsPath)
{
    vRemove_Folder_Tree(qsPath);
}

QStringList qslPartition_Items(const QStringList &qslDf_Lines)
{
    QStringList qslItems;
    // Line 0 is df's header.
    for (int i = 1; i < qslDf_Lines.size(); ++i) {
        if (!qslDf_Lines.at(i).contains(QStringLiteral("/dev/")))
            continue;
        Df_Volume volume;
        if (!bDf_Entry(qsDf_Line(qslDf_Lines, i), volume))
            continue;
        // The mount point is taken whole: cut at a blank it would name another folder.
        qslItems << volume.qsDevice + QStringLiteral("   --   ") + volume.qsMount_Point;
    }
    return qslItems;
}
