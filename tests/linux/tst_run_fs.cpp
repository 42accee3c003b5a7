// Zero-fill runs of the real window on real file systems: loop-mounted ext4, xfs and btrfs images
// and a tmpfs, each at a mount point with a blank and Cyrillic letters. The free space is marked
// with 0xFF before a run; afterwards the image is read block by block for what is left of it.
#include "form_main.h"
#include "fs_volume.h"
#include "run_driver.h"
#include "zero_fill.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

#include <csignal>
#include <unistd.h>

using fs_test::Placed_Files;
using fs_test::Volume;

namespace {

constexpr qint64 iTwo_GiB = 2147483648LL;

// Everything the user sees of the window, to prove a refusal changed nothing.
struct Widget_State
{
    QList<bool> lstEnabled;
    int iFile = 0, iTotal = 0, iCombo = 0;
    QString qsCount;
    bool bChecked = false;
    bool operator==(const Widget_State &o) const
    {
        return lstEnabled == o.lstEnabled && iFile == o.iFile && iTotal == o.iTotal && iCombo == o.iCombo
            && qsCount == o.qsCount && bChecked == o.bChecked;
    }
};

class Window
{
public:
    Window() { m_qWindow.show(); }
    template <typename T> T *p(const char *pcName) { return m_qWindow.findChild<T *>(QLatin1String(pcName)); }
    QPushButton *pButton(const char *pcName) { return p<QPushButton>(pcName); }
    Form_Main &window() { return m_qWindow; }
    void vChoose(const QString &qsMount) { vChoose_Mount_Point(p<QComboBox>("comboBox_Partitions"), qsMount); }
    void vStart() { pButton("pushButton_Start")->click(); }
    Widget_State state()
    {
        Widget_State s;
        for (const char *pc : {"pushButton_Start", "pushButton_Stop", "checkBox_Stop", "comboBox_Partitions",
                               "pushButton_Licence", "pushButton_Help"})
            s.lstEnabled << p<QWidget>(pc)->isEnabled();
        s.iFile = p<QProgressBar>("progressBar_File")->value();
        s.iTotal = p<QProgressBar>("progressBar_Total")->value();
        s.iCombo = p<QComboBox>("comboBox_Partitions")->currentIndex();
        s.qsCount = p<QLabel>("label_Copy_Value")->text();
        s.bChecked = p<QCheckBox>("checkBox_Stop")->isChecked();
        return s;
    }

private:
    Form_Main m_qWindow;
};

// Looks at a run each time it pumps events: the largest size each scratch file reached and
// whether the window stayed locked; vAct may cancel or close.
class Run_Watch : public QObject
{
public:
    Run_Watch(Window &w, const QString &qsScratch) : m_w(w), m_qsScratch(qsScratch)
    {
        m_qTimer.setInterval(0);
        connect(&m_qTimer, &QTimer::timeout, this, [this]() { vLook(); });
        m_qTimer.start();
    }
    QMap<QString, qint64> mapMax_Size;
    int iLooks = 0;
    bool bLocked = true;
    std::function<void()> vAct;

private:
    void vLook()
    {
        if (m_w.pButton("pushButton_Start")->isEnabled())
            return;  // not in a run (a message box before it)
        ++iLooks;
        const Widget_State s = m_w.state();
        bLocked = bLocked && s.lstEnabled == QList<bool>{false, true, false, false, false, false};
        bool bNumber = false;
        s.qsCount.toInt(&bNumber);
        bLocked = bLocked && bNumber;
        // The run's files have no names: they are found among this process's open files, and
        // numbered in the order they appear.
        for (const QString &qsFd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            const QString qsLink = QStringLiteral("/proc/self/fd/") + qsFd;
            struct stat st {};
            if (!QFileInfo(qsLink).symLinkTarget().startsWith(m_qsScratch + "/") || ::stat(QFile::encodeName(qsLink).constData(), &st) != 0
                || !S_ISREG(st.st_mode))
                continue;
            const QString qsName = m_mapNames.value(st.st_ino, QString::number(m_mapNames.size()));
            m_mapNames.insert(st.st_ino, qsName);
            qint64 &iMax = mapMax_Size[qsName];
            iMax = qMax(iMax, qint64(st.st_size));
        }
        if (vAct)
            vAct();
    }
    Window &m_w;
    QString m_qsScratch;
    QMap<ino_t, QString> m_mapNames;
    QTimer m_qTimer;
};

bool bIdle_After_Run(Window &w)
{
    const Widget_State s = w.state();
    return s.lstEnabled == QList<bool>{true, false, true, true, true, true} && s.iFile == 100 && s.iTotal == 100
        && s.qsCount == QStringLiteral("ГОТОВО");
}

// Free space back where it was: allows the few blocks a file system's own bookkeeping moves.
bool bFree_Back(double dBefore, double dAfter)
{
    return std::abs(dBefore - dAfter) <= 64 * 4096.0;
}

} // namespace

class tst_Run_Fs : public QObject
{
    Q_OBJECT

private slots:
    void refusals_touch_nothing();
    void ext4_worked_sizes_and_signals();
    void free_space_zeroed_data();
    void free_space_zeroed();
    void cancel_and_close_mid_run();
    void compressing_btrfs_ends_with_message();
    void killed_window_gives_the_space_back_data();
    void killed_window_gives_the_space_back();
    void bars_painted_without_cancel_option();
};

void tst_Run_Fs::refusals_touch_nothing()
{
    Volume tmpfs(QStringLiteral("refusals"), QStringLiteral("tmpfs"), 16);
    Volume read_only(QStringLiteral("read-only"), QStringLiteral("ext4"), 64);
    read_only.vUnmount();
    read_only.vMount(QStringLiteral("ro"));
    // A leftover from an earlier run must survive a refused run.
    QVERIFY(QDir().mkdir(tmpfs.qsScratch()));

    Window w;
    const Widget_State sIdle = w.state();
    {
        Box_Answerer qAnswers({QMessageBox::Ok});
        w.vStart();
        QCOMPARE(qAnswers.qslTexts, QStringList{QStringLiteral("Нечего занулять.")});
        QVERIFY(qAnswers.qslInformative.value(0).startsWith(QStringLiteral("Нужно выбрать раздел для зануления.\n")));
        QCOMPARE(qAnswers.lstIcons.value(0), QMessageBox::Warning);
    }
    QVERIFY(w.state() == sIdle);

    w.vChoose(tmpfs.qsMount());
    const Widget_State sChosen = w.state();
    {
        Box_Answerer qAnswers({QMessageBox::No});
        w.vStart();
        QCOMPARE(qAnswers.qslTexts, QStringList{QStringLiteral("Подтвердите правильность выбора раздела.")});
        const QString qsEntry = w.p<QComboBox>("comboBox_Partitions")->currentText();
        QVERIFY(qAnswers.qslInformative.value(0).startsWith(qsEntry + "\n"));
        QCOMPARE(qAnswers.lstButtons.value(0).size(), 2);
    }
    QVERIFY(QFileInfo(tmpfs.qsScratch()).isDir());
    QVERIFY(w.state() == sChosen);

    w.vChoose(read_only.qsMount());
    const Widget_State sRead_Only = w.state();
    {
        Box_Answerer qAnswers({QMessageBox::Yes, QMessageBox::Abort});
        w.vStart();
        QCOMPARE(qAnswers.qslTexts.value(1), QStringLiteral("Ошибка записи."));
        QCOMPARE(qAnswers.lstIcons.value(1), QMessageBox::Critical);
        const QString qsEntry = w.p<QComboBox>("comboBox_Partitions")->currentText();
        QVERIFY(qAnswers.qslInformative.value(1).startsWith(
            "Нет прав на запись на устройстве " + qsEntry + " или не получилось удалить папку "
            + read_only.qsScratch() + ".\n"));
    }
    QVERIFY(!QFileInfo::exists(read_only.qsScratch()));
    QVERIFY(w.state() == sRead_Only);

    // "/" whose scratch folder cannot be made, with a home folder on another file system: the
    // home folder must not be filled while "/" is measured.
    if (QFileInfo::exists(QStringLiteral("/Delete_Zero")) || !QFileInfo(QStringLiteral("/")).isWritable()) {
        qWarning("/Delete_Zero exists or / is read-only: the home-folder case is not checked");
        return;
    }
    {
        QFile qBlocker(QStringLiteral("/Delete_Zero"));  // a file, which the leftover removal leaves alone
        QVERIFY(qBlocker.open(QIODevice::WriteOnly));
        qBlocker.close();
        const QByteArray qbaHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(tmpfs.qsMount()));
        QDir(tmpfs.qsScratch()).removeRecursively();
        w.vChoose(QStringLiteral("/"));
        const Widget_State sRoot = w.state();
        Box_Answerer qAnswers({QMessageBox::Yes, QMessageBox::Abort});
        w.vStart();
        qputenv("HOME", qbaHome);
        QFile::remove(QStringLiteral("/Delete_Zero"));
        QCOMPARE(qAnswers.qslTexts.value(1), QStringLiteral("Ошибка записи."));
        QVERIFY(qAnswers.qslInformative.value(1).contains(" или не получилось удалить папку " + tmpfs.qsScratch() + "."));
        QVERIFY(!QFileInfo::exists(tmpfs.qsScratch()));
        QVERIFY(w.state() == sRoot);
    }
}

void tst_Run_Fs::ext4_worked_sizes_and_signals()
{
    // About 5.5 GiB free for an ordinary user: 2 GiB, a copy, then 1 GiB.
    Volume v(QStringLiteral("ext4-6g"), QStringLiteral("ext4"), 6100);
    QVERIFY2(v.dAvailable() > 5.0 * 1073741824 && v.dAvailable() < 6.0 * 1073741824,
             qPrintable(QString::number(v.dAvailable())));
    Placed_Files placed(v.qsMount() + "/файлы");
    const double dBefore = v.dAvailable();
    {
        Window w;
        w.vChoose(v.qsMount());
        w.p<QCheckBox>("checkBox_Stop")->setChecked(true);
        Box_Answerer qAnswers({QMessageBox::Yes});
        Run_Watch watch(w, v.qsScratch());
        w.vStart();
        QCOMPARE(qAnswers.qslTexts.size(), 1);
        QVERIFY(watch.bLocked);
        QCOMPARE(watch.mapMax_Size.value("0"), iTwo_GiB);
        QCOMPARE(watch.mapMax_Size.value("1"), iTwo_GiB);
        QCOMPARE(watch.mapMax_Size.value("2"), iTwo_GiB / 2);
        QVERIFY(bIdle_After_Run(w));
        QVERIFY(w.p<QCheckBox>("checkBox_Stop")->isChecked());
    }
    QVERIFY(!QFileInfo::exists(v.qsScratch()));
    QVERIFY(bFree_Back(dBefore, v.dAvailable()));
    QVERIFY(placed.bUnchanged());

    // A signal mid-run, with and without event pumping: the scratch folder goes before the exit.
    for (const QString &qsMode : {QStringLiteral("--no-pump"), QStringLiteral("--pump")}) {
        QProcess qHelper;
        qHelper.setProcessChannelMode(QProcess::ForwardedChannels);
        qHelper.start(QStringLiteral(MORVANE_RUN_HELPER), {v.qsMount(), qsMode});
        QVERIFY(qHelper.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(v.dAvailable() < dBefore - 64 * 1048576.0, 20000);
        ::kill(pid_t(qHelper.processId()), SIGTERM);
        QVERIFY(qHelper.waitForFinished(60000));
        QCOMPARE(qHelper.exitStatus(), QProcess::CrashExit);
        QVERIFY2(!QFileInfo::exists(v.qsScratch()), qPrintable(qsMode));
        QVERIFY2(bFree_Back(dBefore, v.dAvailable()), qPrintable(qsMode));
    }
    QVERIFY(placed.bUnchanged());
}

void tst_Run_Fs::free_space_zeroed_data()
{
    QTest::addColumn<QString>("qsType");
    QTest::addColumn<int>("iMiB");
    QTest::addColumn<bool>("bAs_User");
    QTest::newRow("ext4") << QStringLiteral("ext4") << 1024 << false;
    QTest::newRow("ext4 as a user") << QStringLiteral("ext4") << 1024 << true;
    QTest::newRow("xfs") << QStringLiteral("xfs") << 1024 << false;
    QTest::newRow("btrfs") << QStringLiteral("btrfs") << 1024 << false;
    QTest::newRow("btrfs compress=zstd") << QStringLiteral("btrfs compress=zstd") << 1024 << false;
    QTest::newRow("btrfs compress-force=zstd") << QStringLiteral("btrfs compress-force=zstd") << 1024 << false;
    QTest::newRow("tmpfs") << QStringLiteral("tmpfs") << 256 << false;
}

// The run must leave no more of the pattern than dd, run the same way on an identical image in
// this test, leaves; beyond that only a few blocks of the file system's own bookkeeping.
void tst_Run_Fs::free_space_zeroed()
{
    QFETCH(QString, qsType);
    QFETCH(int, iMiB);
    QFETCH(bool, bAs_User);
    const QString qsOptions = qsType.section(' ', 1);  // the reference is made without them
    qsType = qsType.section(' ', 0, 0);
    const bool bMarked = qsType != QStringLiteral("tmpfs");
    // The build folder may lie below a folder only root may enter, where the user would write
    // nothing and neither would dd: the user gets the program and the volumes in a folder anyone
    // can reach.
    QTemporaryDir qReachable(QDir::tempPath() + QStringLiteral("/morvane-user-XXXXXX"));
    QString qsFolder = fs_test::qsRoot();
    QString qsProgram = QStringLiteral(MORVANE_RUN_HELPER);
    if (bAs_User) {
        QVERIFY(qReachable.isValid());
        qsFolder = qReachable.path();
        const auto iOpen_To_All = QFileDevice::Permissions(0x7755);
        QVERIFY(QFile::setPermissions(qsFolder, iOpen_To_All));
        for (const QString &qsBuilt_File : {qsProgram, QStringLiteral(MORVANE_FILL)}) {
            const QString qsName = QFileInfo(qsBuilt_File).fileName();
            QVERIFY(QFile::copy(qsBuilt_File, qsFolder + "/" + qsName));
            QVERIFY(QFile::setPermissions(qsFolder + "/" + qsName, iOpen_To_All));
        }
        qsProgram = qsFolder + "/" + QFileInfo(qsProgram).fileName();
        if (QProcess::execute(QStringLiteral("setpriv"),
                              {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                               QStringLiteral("--clear-groups"), QStringLiteral("test"), QStringLiteral("-x"), qsProgram})
            != 0)
            QSKIP("the ordinary user \"nobody\" cannot reach the temporary folder (a parent folder is closed to others)");
    }
    qint64 iDd_Left = 0;
    if (bMarked) {
        Volume reference(qsType + "-dd", qsType, iMiB, QString(), qsFolder);
        Placed_Files same_files(reference.qsMount() + "/файлы");
        reference.vPattern();
        reference.vAs_User(bAs_User);
        reference.vRun({QStringLiteral("dd"), QStringLiteral("if=/dev/zero"), "of=" + reference.qsMount() + "/dd.fill",
                        QStringLiteral("bs=1M"), QStringLiteral("conv=fsync"), QStringLiteral("status=none")});
        QFile::remove(reference.qsMount() + "/dd.fill");
        iDd_Left = reference.iPattern_Blocks();
    }
    Volume v(qsType + "-zeroed", qsType, iMiB, QString(), qsFolder);
    Placed_Files placed(v.qsMount() + "/файлы");
    if (bMarked)
        v.vPattern();
    if (!qsOptions.isEmpty()) {  // marked as it stores them, filled as it compresses
        v.vUnmount();
        v.vMount(qsOptions);
    }
    v.vAs_User(bAs_User);
    const double dBefore = v.dAvailable();
    // A leftover of an interrupted run with a link out of the scratch folder (root's, which a
    // user could not remove).
    if (!bAs_User) {
        QVERIFY(QDir().mkdir(v.qsScratch()));
        QVERIFY(QFile::link(v.qsMount() + "/файлы", v.qsScratch() + "/x"));
        QVERIFY(QFile::link(v.qsMount() + "/файлы/a.bin", v.qsScratch() + "/y"));
    }
    if (bAs_User) {
        QCOMPARE(v.vRun({qsProgram, v.qsMount(), QStringLiteral("--no-pump")}),
                 QStringLiteral("run ended"));
    } else {
        Window w;
        w.vChoose(v.qsMount());
        w.p<QCheckBox>("checkBox_Stop")->setChecked(true);
        Box_Answerer qAnswers({QMessageBox::Yes});
        Run_Watch watch(w, v.qsScratch());
        w.vStart();
        QCOMPARE(qAnswers.qslTexts.size(), 1);
        QVERIFY(watch.iLooks > 0);
        QVERIFY(watch.bLocked);
        QVERIFY(bIdle_After_Run(w));
        // Less than 2 GiB free: the first file takes the free bytes. ext4 lets root write past
        // what df shows, so there the file is whole and then grows into root's reserve.
        const qint64 iFirst = watch.mapMax_Size.value("0");
        QVERIFY(iFirst < iTwo_GiB);
        if (qsType == QStringLiteral("ext4"))
            QVERIFY2(iFirst >= qint64(dBefore) / 4 * 4,
                     qPrintable(QString("%1 of %2").arg(iFirst).arg(qint64(dBefore))));
    }
    QVERIFY(!QFileInfo::exists(v.qsScratch()));
    QVERIFY(placed.bUnchanged());
    QVERIFY2(bFree_Back(dBefore, v.dAvailable()), qPrintable(QString("%1 -> %2").arg(dBefore).arg(v.dAvailable())));
    if (bMarked) {
        const qint64 iLeft = v.iPattern_Blocks();
        qInfo("%s%s, %d MiB: %lld blocks of the pattern left, dd left %lld", qPrintable(qsType),
              bAs_User ? " as a user" : "", iMiB, iLeft, iDd_Left);
        QVERIFY2(iLeft <= iDd_Left + 16, qPrintable(QString("%1 left, dd %2").arg(iLeft).arg(iDd_Left)));
        // morvane-fill, the same run from a terminal, on the volume marked again: the same reference.
        v.vPattern();
        if (!qsOptions.isEmpty()) {
            v.vUnmount();
            v.vMount(qsOptions);
        }
        v.vRun({bAs_User ? qsFolder + QStringLiteral("/morvane-fill") : QStringLiteral(MORVANE_FILL), QStringLiteral("--quiet"), v.qsMount()});
        const qint64 iFill_Left = v.iPattern_Blocks();
        qInfo("morvane-fill left %lld", iFill_Left);
        QVERIFY2(iFill_Left <= iDd_Left + 16, qPrintable(QString("morvane-fill: %1 left, dd %2").arg(iFill_Left).arg(iDd_Left)));
        QVERIFY(placed.bUnchanged());
    }
}

void tst_Run_Fs::cancel_and_close_mid_run()
{
    Volume v(QStringLiteral("cancel"), QStringLiteral("ext4"), 1024);
    const double dBefore = v.dAvailable();
    {
        Window w;
        w.vChoose(v.qsMount());
        w.p<QCheckBox>("checkBox_Stop")->setChecked(true);
        Box_Answerer qAnswers({QMessageBox::Yes});
        Run_Watch watch(w, v.qsScratch());
        watch.vAct = [&]() {
            if (watch.mapMax_Size.value("0") > 0)
                w.pButton("pushButton_Stop")->click();
        };
        w.vStart();
        QVERIFY(watch.mapMax_Size.value("0") < 100 * 1024 * 1024);
        QVERIFY(bIdle_After_Run(w));
        QVERIFY(!QFileInfo::exists(v.qsScratch()));
        QVERIFY(bFree_Back(dBefore, v.dAvailable()));
    }
    {
        Window w;
        w.vChoose(v.qsMount());
        w.p<QCheckBox>("checkBox_Stop")->setChecked(true);
        Box_Answerer qAnswers({QMessageBox::Yes});
        Run_Watch watch(w, v.qsScratch());
        bool bClose_Returned = true;
        watch.vAct = [&]() {
            if (watch.mapMax_Size.value("0") > 0 && bClose_Returned) {
                bClose_Returned = w.window().close();
                QVERIFY(!bClose_Returned);  // refused for now: the run cleans up first
            }
        };
        w.vStart();
        QVERIFY(!bClose_Returned);
        QVERIFY(!w.window().isVisible());
        QVERIFY(!QFileInfo::exists(v.qsScratch()));
        QVERIFY(bFree_Back(dBefore, v.dAvailable()));
    }
}

void tst_Run_Fs::compressing_btrfs_ends_with_message()
{
    Volume v(QStringLiteral("btrfs-zstd"), QStringLiteral("btrfs"), 1024, QStringLiteral("compress=zstd"));
    // Compressed by the folder's own wish, which the scratch folder inherits: kept, not overridden.
    QCOMPARE(QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+c"), v.qsMount()}), 0);
    const double dBefore = v.dAvailable();
    Window w;
    w.vChoose(v.qsMount());
    Box_Answerer qAnswers({QMessageBox::Yes, QMessageBox::Abort});
    QList<bool> lstScratch_While_Box;
    qAnswers.fOn_Box = [&]() { lstScratch_While_Box << QFileInfo::exists(v.qsScratch()); };
    w.vStart();
    QCOMPARE(qAnswers.qslTexts.size(), 2);
    QCOMPARE(qAnswers.qslTexts.value(1), QStringLiteral("Ошибка записи."));
    QVERIFY(qAnswers.qslInformative.value(1).contains(v.qsScratch() + "/"));
    // The disk is already cleaned up while the error box waits for an answer.
    QCOMPARE(lstScratch_While_Box.value(1, true), false);
    QVERIFY(bIdle_After_Run(w));
    QVERIFY(!QFileInfo::exists(v.qsScratch()));
    QVERIFY(bFree_Back(dBefore, v.dAvailable()));
}

void tst_Run_Fs::killed_window_gives_the_space_back_data()
{
    // What ends the window mid-run: SIGKILL of it, of its process group, of a cgroup holding it (a
    // log-out, systemctl kill, a container's stop), or the loss of its display.
    QTest::addColumn<QString>("qsHow");
    QTest::newRow("SIGKILL of the window") << QStringLiteral("plain");
    QTest::newRow("SIGKILL of its process group") << QStringLiteral("group");
    QTest::newRow("its cgroup killed") << QStringLiteral("cgroup");
    QTest::newRow("X server killed, cancel option ticked") << QStringLiteral("display");
}

// However the window ends before its clean-up, the kernel frees its scratch files: nothing has
// to outlive it to give the space back.
void tst_Run_Fs::killed_window_gives_the_space_back()
{
    QFETCH(QString, qsHow);
    const QString qsCgroup = fs_test::qsCgroup_Root() + QStringLiteral("/morvane-window-%1").arg(::getpid());
    if (qsHow == QStringLiteral("cgroup") && (fs_test::qsCgroup_Root().isEmpty() || !QDir().mkpath(qsCgroup)))
        QSKIP("no writable cgroup v2 hierarchy to make a cgroup in");
    Volume v(QStringLiteral("killed"), QStringLiteral("ext4"), 1024);
    Placed_Files placed(v.qsMount() + "/файлы");
    const double dBefore = v.dAvailable();

    QProcess qX_Server;
    QProcessEnvironment qEnvironment = QProcessEnvironment::systemEnvironment();
    const bool bLose_Display = qsHow == QStringLiteral("display");
    if (bLose_Display) {
        qX_Server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                 QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QVERIFY(qX_Server.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(qX_Server.canReadLine(), 20000);
        const QString qsDisplay = QString::fromLatin1(qX_Server.readLine()).trimmed();
        qEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        qEnvironment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + qsDisplay);
    }
    QStringList qslCommand{QStringLiteral(MORVANE_RUN_HELPER), v.qsMount(),
                           bLose_Display ? QStringLiteral("--pump") : QStringLiteral("--no-pump")};
    if (qsHow == QStringLiteral("group"))
        qslCommand.prepend(QStringLiteral("setsid"));
    if (qsHow == QStringLiteral("cgroup"))
        qslCommand = QStringList{QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo $$ > \"$0\" && exec \"$@\""),
                                 qsCgroup + QStringLiteral("/cgroup.procs")} + qslCommand;
    QProcess qHelper;
    qHelper.setProcessEnvironment(qEnvironment);
    qHelper.setProcessChannelMode(QProcess::ForwardedChannels);
    qHelper.start(qslCommand.first(), qslCommand.mid(1));
    QVERIFY(qHelper.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(v.dAvailable() < dBefore - 64 * 1048576.0, 60000);
    const pid_t iPid = pid_t(qHelper.processId());
    if (bLose_Display) {
        qX_Server.kill();
        qX_Server.waitForFinished();
    } else if (qsHow == QStringLiteral("cgroup")) {
        QFile qKill(qsCgroup + QStringLiteral("/cgroup.kill"));
        QVERIFY(qKill.open(QIODevice::WriteOnly) && qKill.write("1") == 1);
    } else {
        ::kill(qsHow == QStringLiteral("group") ? -iPid : iPid, SIGKILL);
    }
    QVERIFY(qHelper.waitForFinished(15000));
    QDir().rmdir(qsCgroup);
    QTRY_VERIFY_WITH_TIMEOUT(bFree_Back(dBefore, v.dAvailable()), 15000);
    QVERIFY(placed.bUnchanged());
}

// Without the cancel option the run still lets the window repaint, while a close request waits
// for the run's end instead of cutting it short.
void tst_Run_Fs::bars_painted_without_cancel_option()
{
    // Large enough that the throttled repaints land several times within one file.
    Volume v(QStringLiteral("painted"), QStringLiteral("tmpfs"), 1024);
    const double dBefore = v.dAvailable();
    Window w;
    w.vChoose(v.qsMount());
    QList<int> lstPainted;
    bool bClose_Returned = true;
    struct Paint_Watch : QObject
    {
        std::function<void()> vOn_Paint;
        bool eventFilter(QObject *, QEvent *pEvent) override
        {
            if (pEvent->type() == QEvent::Paint)
                vOn_Paint();
            return false;
        }
    } qWatch;
    qWatch.vOn_Paint = [&]() {
        if (w.pButton("pushButton_Start")->isEnabled())
            return;
        lstPainted << w.p<QProgressBar>("progressBar_File")->value();
        if (bClose_Returned)
            bClose_Returned = w.window().close();
    };
    w.p<QProgressBar>("progressBar_File")->installEventFilter(&qWatch);
    Box_Answerer qAnswers({QMessageBox::Yes});
    w.vStart();
    QVERIFY(!bClose_Returned);
    QVERIFY2(std::count_if(lstPainted.cbegin(), lstPainted.cend(), [](int i) { return i > 0 && i < 100; }) > 3,
             qPrintable(QString::number(lstPainted.size())));
    // Not cut short by the close: without the cancel option a close request cancels nothing.
    QVERIFY(!g_bCancel);
    QVERIFY(!w.window().isVisible());
    QVERIFY(!QFileInfo::exists(v.qsScratch()));
    QVERIFY(bFree_Back(dBefore, v.dAvailable()));
}

int main(int argc, char *argv[])
{
    QApplication qApplication(argc, argv);
    // Images of 6.1 GiB and 1 GiB at most side by side, plus room for the rest of the disk.
    fs_test::vSkip_Unless_Mountable(8 * 1024);
    tst_Run_Fs tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_run_fs.moc"
