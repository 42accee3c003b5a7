// The fill engine without widgets: file sizes, the whole-percent steps, the ends of a run, and
// the endings and races of a whole run on a real volume.
#include "fs_volume.h"
#include "scratch_run.h"
#include "volume_run.h"
#include "zero_fill.h"
#include "zero_writer.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

class tst_Zero_Fill : public QObject
{
    Q_OBJECT

private slots:
    void first_file_size_data();
    void first_file_size();
    void percent_steps_match_every_write_data();
    void percent_steps_match_every_write();
    void total_progress_guards();
    void writer_keeps_the_unaligned_tail_data();
    void writer_keeps_the_unaligned_tail();
    void file_is_whole_zeros_reported_at_each_percent();
    void free_space_that_never_falls_ends_the_run();
    void unwritable_folder_fails_with_the_file_path();
    void cancel_at_first_percent_stops_at_once();
    void stop_between_blocks_stops_at_once();
    void scratch_folder_swapped_for_link_ends_the_run_data();
    void scratch_folder_swapped_for_link_ends_the_run();
    void run_endings_and_races_data();
    void run_endings_and_races();
};

namespace {

// An observer that records what the run reports, and limits whose free space comes from dFree.
struct Recorder
{
    explicit Recorder(std::function<double()> dFree = nullptr)
    {
        observer.vFile_Progress = [this](int i) { lstPercent << i; };
        observer.vFile_Count = [this](int i) { lstCounts << i; };
        limits.dFree_Space = std::move(dFree);
        limits.bTop_Up = false;
    }
    Recorder(const Recorder &) = delete;
    Zero_Fill_Result zfrFill(const QString &qsPath) const { return zfrZero_Fill(qsPath, observer, limits); }
    QList<int> lstPercent;
    QList<int> lstCounts;
    Fill_Observer observer;
    Fill_Limits limits;
};

} // namespace

void tst_Zero_Fill::first_file_size_data()
{
    QTest::addColumn<double>("dFree");
    QTest::addColumn<quint32>("uiExpected");
    QTest::newRow("5.5 GiB") << 5.5 * 1073741824.0 << 2147483648u;
    QTest::newRow("exactly 2 GiB") << 2147483648.0 << 2147483648u;
    QTest::newRow("700 MiB and 3 bytes") << 734003203.0 << 734003203u;
    QTest::newRow("nothing") << 0.0 << 0u;
    QTest::newRow("df failed") << -1.0 << 0u;
}

void tst_Zero_Fill::first_file_size()
{
    QFETCH(double, dFree);
    QFETCH(quint32, uiExpected);
    QCOMPARE(uiFirst_File_Size(dFree), uiExpected);
}

void tst_Zero_Fill::percent_steps_match_every_write_data()
{
    QTest::addColumn<quint32>("uiFile_Size");
    for (quint32 ui : {4u, 7u, 40u, 396u, 400u, 404u, 4003u, 65536u, 99999u})
        QTest::newRow(qPrintable(QString::number(ui))) << ui;
}

// The blocked writes must show exactly the percentages that one 4-byte write at a time would.
void tst_Zero_Fill::percent_steps_match_every_write()
{
    QFETCH(quint32, uiFile_Size);
    const quint32 uiWrites = uiFile_Size / 4;
    QList<quint32> lstExpected;
    int iShown = 0;
    for (quint32 t = 0; t < uiWrites; ++t) {
        const int iNow = int(100.0 * t / (uiFile_Size / 4.0));
        if (iNow != iShown) {
            lstExpected << t;
            iShown = iNow;
        }
    }
    QList<quint32> lstSteps;
    for (quint32 t = uiNext_Percent_Step(0, uiFile_Size); t < uiWrites; t = uiNext_Percent_Step(t, uiFile_Size))
        lstSteps << t;
    QCOMPARE(lstSteps, lstExpected);
}

void tst_Zero_Fill::total_progress_guards()
{
    QCOMPARE(iTotal_Progress(50, 200), 75);
    QCOMPARE(iTotal_Progress(0, 200), 100);
    QCOMPARE(iTotal_Progress(0, 0), 100);       // no division by a start free space of 0
    QCOMPARE(iTotal_Progress(300, 200), 0);     // space freed by others never shows below 0
}

void tst_Zero_Fill::writer_keeps_the_unaligned_tail_data()
{
    QTest::addColumn<QString>("qsFolder");
    QTest::addColumn<bool>("bDirect");
    // An ext4 folder takes the direct path; elsewhere the file is written through the cache.
    struct statfs sfs {};
    const QString qsDisk = QStringLiteral("/var/tmp");
    const bool bDisk_Direct = ::statfs("/var/tmp", &sfs) == 0 && sfs.f_type == 0xef53;
    QTest::newRow("disk") << qsDisk << bDisk_Direct;
    QTest::newRow("tmpfs") << QStringLiteral("/dev/shm") << false;
}

// Direct writes go in whole aligned blocks; the file must still end at exactly its size.
void tst_Zero_Fill::writer_keeps_the_unaligned_tail()
{
    QFETCH(QString, qsFolder);
    QFETCH(bool, bDirect);
    struct statfs sfs {};
    if (qsFolder == QStringLiteral("/dev/shm") && (::statfs("/dev/shm", &sfs) != 0 || sfs.f_type != 0x01021994))
        QSKIP("/dev/shm is no tmpfs here");
    QTemporaryDir qDir(qsFolder + "/morvane-writer-XXXXXX");
    QVERIFY(qDir.isValid());
    const qint64 iSize = 3 * 8 * 1024 * 1024 + 4096 * 5 + 1236;
    const QString qsFile = qDir.path() + "/0";
    {
        Zero_Writer writer;
        QVERIFY(writer.bOpen(qsFile));
        QCOMPARE(writer.bDirect(), bDirect);
        while (writer.iSize() < iSize)
            QVERIFY(writer.iWrite_Block(iSize) > 0);
        QCOMPARE(writer.iSize(), iSize);
        QVERIFY(writer.bFinish());
    }
    QFile qFile(qsFile);
    QVERIFY(qFile.open(QIODevice::ReadOnly));
    const QByteArray qbaData = qFile.readAll();
    QCOMPARE(qbaData.size(), int(iSize));
    QCOMPARE(qbaData.count('\0'), qbaData.size());
}

void tst_Zero_Fill::file_is_whole_zeros_reported_at_each_percent()
{
    QTemporaryDir qDir;
    const quint32 uiSize = 10 * 1024 * 1024 + 3;
    double dFree = uiSize;
    Recorder rec([&dFree]() { return dFree; });
    QList<qint64> lstSizes;
    rec.observer.vFile_Progress = [&](int i) {
        rec.lstPercent << i;
        lstSizes << QFileInfo(qDir.path() + "/0").size();
        if (i == 100)
            dFree = 0;  // the volume reports full after the file
    };
    const Zero_Fill_Result result = rec.zfrFill(qDir.path());
    QCOMPARE(result.eEnd, Zero_Fill_End::Full);
    QCOMPARE(rec.lstPercent.size(), 100);
    for (int i = 0; i < 100; ++i)
        QCOMPARE(rec.lstPercent.at(i), i + 1);
    // At percentage k the file holds at least the writes up to the first one that shows k.
    const quint32 uiFirst_Step = uiNext_Percent_Step(0, uiSize);
    QVERIFY(lstSizes.first() >= qint64(uiFirst_Step + 1) * 4);
    QFile qFile(qDir.path() + "/0");
    QVERIFY(qFile.open(QIODevice::ReadOnly));
    const QByteArray qbaData = qFile.readAll();
    QCOMPARE(qbaData.size(), int(uiSize / 4 * 4));
    QCOMPARE(qbaData.count('\0'), qbaData.size());
    QCOMPARE(rec.lstCounts, QList<int>{1});
}

// A compressing file system stores zeros in next to no space: the run must give up, not loop.
void tst_Zero_Fill::free_space_that_never_falls_ends_the_run()
{
    QTemporaryDir qDir;
    const Recorder rec([]() { return 1024.0 * 1024; });
    const Zero_Fill_Result result = rec.zfrFill(qDir.path());
    QCOMPARE(result.eEnd, Zero_Fill_End::Failed);
    QVERIFY(result.qsFailed_Path.startsWith(qDir.path() + "/"));
    QVERIFY(result.iFile_Number <= 3);
}

void tst_Zero_Fill::unwritable_folder_fails_with_the_file_path()
{
    QTemporaryDir qDir;
    const Recorder rec([]() { return 1e6; });
    const QString qsMissing = qDir.path() + "/нет такой папки";
    const Zero_Fill_Result result = rec.zfrFill(qsMissing);
    QCOMPARE(result.eEnd, Zero_Fill_End::Failed);
    QCOMPARE(result.qsFailed_Path, qsMissing + "/0");
}

void tst_Zero_Fill::cancel_at_first_percent_stops_at_once()
{
    QTemporaryDir qDir;
    Recorder rec([]() { return 1e9; });
    int iPumps = 0;
    rec.observer.bPump_Cancelled = [&iPumps]() { return ++iPumps >= 1; };
    const Zero_Fill_Result result = rec.zfrFill(qDir.path());
    QCOMPARE(result.eEnd, Zero_Fill_End::Cancelled);
    QCOMPARE(iPumps, 1);
    QCOMPARE(rec.lstPercent, QList<int>{1});
    // Within one block of the first percent: a direct write is 64 MiB.
    QVERIFY(QFileInfo(qDir.path() + "/0").size() <= 64 * 1024 * 1024 + 1e9 / 100);
}

// A signal is noticed between blocks even when no events are pumped.
void tst_Zero_Fill::stop_between_blocks_stops_at_once()
{
    QTemporaryDir qDir;
    Recorder rec([]() { return 1e9; });
    int iBlocks = 0;
    const Run_Signal_Guard qGuard({});
    rec.limits.vBlock_Written = [&iBlocks](qint64) {
        if (++iBlocks == 2)
            ::raise(SIGTERM);
    };
    const Zero_Fill_Result result = rec.zfrFill(qDir.path());
    QCOMPARE(result.eEnd, Zero_Fill_End::Cancelled);
    QCOMPARE(result.iSignal, SIGTERM);
    QVERIFY(QFileInfo(qDir.path() + "/0").size() <= 2 * 64 * 1024 * 1024);
}

// The scratch folder moved away mid-run and its name made a link to another folder: no file
// goes there (an existing "1" would be emptied), and the clean-up still empties the folder made.
void tst_Zero_Fill::scratch_folder_swapped_for_link_ends_the_run_data()
{
    QTest::addColumn<bool>("bAfter_Check");
    QTest::newRow("between two files") << false;
    // The next file is then made in the folder held open, never through the link.
    QTest::newRow("right after the check of a new file") << true;
}

void tst_Zero_Fill::scratch_folder_swapped_for_link_ends_the_run()
{
    QFETCH(bool, bAfter_Check);
    QTemporaryDir qtdBase;
    const QString qsScratch = qtdBase.filePath(QStringLiteral("Delete_Zero"));
    const QString qsMoved = qtdBase.filePath(QStringLiteral("moved"));
    const QString qsOutside = qtdBase.filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(qsOutside));
    QFile qPrecious(qsOutside + QStringLiteral("/1"));
    QVERIFY(qPrecious.open(QIODevice::WriteOnly) && qPrecious.write("keep") == 4);
    qPrecious.close();

    Scratch_Run run(qsScratch);
    const int iBase_Fd = ::open(QFile::encodeName(qtdBase.path()).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(run.bPrepare(iBase_Fd));
    ::close(iBase_Fd);
    constexpr double dFile = 65536;
    Recorder recorder;
    recorder.limits.dFree_Space = [&recorder]() { return dFile * (4 - recorder.lstCounts.size()); };
    bool bSwapped = false;
    auto vSwap = [&]() { bSwapped = QDir().rename(qsScratch, qsMoved) && QFile::link(qsOutside, qsScratch); };
    recorder.observer.vFile_Count = [&](int iFiles) {
        recorder.lstCounts << iFiles;
        if (iFiles == 1 && !bAfter_Check)
            vSwap();
    };
    recorder.limits.bVolume_Lost = [&]() {
        const bool bLost = !run.bFolder_Intact();
        if (recorder.lstCounts.size() == 1 && bAfter_Check && !bSwapped)
            vSwap();
        return bLost;
    };
    const Zero_Fill_Result result = run.zfrFill(recorder.observer, recorder.limits);
    QVERIFY(bSwapped);
    QCOMPARE(int(result.eEnd), int(Zero_Fill_End::Failed));
    QCOMPARE(result.qsFailed_Path, qsScratch);
    QCOMPARE(result.iFile_Number, bAfter_Check ? 2 : 1);
    run.bClean_Up();
    QVERIFY(QDir(qsMoved).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    QCOMPARE(QDir(qsOutside).entryList(QDir::Files), QStringList{QStringLiteral("1")});
    QCOMPARE(QFileInfo(qsOutside + QStringLiteral("/1")).size(), qint64(4));
}

void tst_Zero_Fill::run_endings_and_races_data()
{
    QTest::addColumn<QString>("qsRace");
    QTest::addColumn<QString>("qsFs");
    QTest::addColumn<int>("iEnd");
    QTest::addColumn<int>("iSecond");  // the second run's end, or morvane-fill's status for a shell line
    // A second run for the same folder, through whatever path or process, is refused and removes
    // nothing; the first ends as it would alone.
    QTest::newRow("second run on the volume") << "second" << "ext4" << int(Volume_Run_End::Filled) << int(Volume_Run_End::Busy);
    QTest::newRow("second run through a bind mount") << "bind" << "ext4" << int(Volume_Run_End::Filled) << int(Volume_Run_End::Busy);
    QTest::newRow("overlay run, then one on its upper layer") << "overlay" << "ext4" << int(Volume_Run_End::Filled) << int(Volume_Run_End::Busy);
    QTest::newRow("second run in a PID namespace") << "pidns" << "ext4" << int(Volume_Run_End::Filled) << 1;
    QTest::newRow("second run with /run/lock full") << "fulllock" << "ext4" << int(Volume_Run_End::Filled) << 1;
    // A user's copy of the program meets root's folder, which it can neither open nor remove.
    QTest::newRow("user's copy beside root's run") << "copy" << "ext4" << int(Volume_Run_End::Filled) << 1;
    // Another folder of the same file system is another run's: both fill, neither touches the other.
    QTest::newRow("second run in a btrfs subvolume mounted apart") << "subvolume" << "btrfs" << int(Volume_Run_End::Filled) << int(Volume_Run_End::Filled);
    // Nobody but root refuses root: a user's folder of that name, held, makes root's run go beside it.
    QTest::newRow("a user's planted folder, held") << "planted" << "ext4" << int(Volume_Run_End::Filled) << -1;
    QTest::newRow("a user's run holding the volume") << "user first" << "ext4" << int(Volume_Run_End::Filled) << -1;
    // Locks any user can take refuse no run.
    QTest::newRow("others lock what they can") << "locks" << "ext4" << int(Volume_Run_End::Filled) << -1;
    // Standing in for a volume turned read-only or an immutable flag set by someone else.
    QTest::newRow("clean-up refused") << "immutable" << "ext4" << int(Volume_Run_End::Not_Cleaned) << -1;
    // On FUSE the handle of a folder just removed answers fstat no more: the removal itself counts.
    QTest::newRow("ntfs-3g, alone") << "alone" << "ntfs" << int(Volume_Run_End::Filled) << -1;
    QTest::newRow("volume unmounted mid-run") << "unmount" << "ext4" << int(Volume_Run_End::Volume_Changed) << -1;
}

void tst_Zero_Fill::run_endings_and_races()
{
    QFETCH(QString, qsRace);
    QFETCH(QString, qsFs);
    QFETCH(int, iEnd);
    QFETCH(int, iSecond);
    int iCheck = 0;
    const QString qsWhy = fs_test::qsStep({QStringLiteral("check"), fs_test::qsRoot(), QStringLiteral("512")}, &iCheck);
    if (iCheck != 0)
        QSKIP(qPrintable(qsWhy));
    if (qsFs == QStringLiteral("ntfs") && (!QFileInfo::exists(QStringLiteral("/dev/fuse")) || QStandardPaths::findExecutable(QStringLiteral("ntfs-3g")).isEmpty()
                                           || QStandardPaths::findExecutable(QStringLiteral("mkfs.ntfs")).isEmpty()))
        QSKIP("needs FUSE (/dev/fuse) with ntfs-3g and mkfs.ntfs");
    // Where the ordinary user of some rows reaches the volume, wherever the build folder lies.
    QTemporaryDir qReachable;
    QFile::setPermissions(qReachable.path(), QFileDevice::Permissions(0x7755));
    fs_test::Volume v(QStringLiteral("race"), qsFs, 256, QString(), qReachable.path());
    QFile::setPermissions(v.qsMount(), QFileDevice::Permissions(0x7777));
    const double dBefore = v.dAvailable();
    Volume_Run_Options options;
    options.qslScratch_Paths = {v.qsScratch()};
    options.viChosen = viVolume_At(v.qsMount());
    // The other path to the same file system: a bind mount, or a subvolume mounted apart.
    const QString qsOther = fs_test::qsRoot() + QStringLiteral("/other path");
    const bool bOverlay = qsRace == QStringLiteral("overlay");
    const bool bOther_Path = qsRace == QStringLiteral("bind") || qsRace == QStringLiteral("subvolume") || bOverlay;
    const QString qsUser = QStringLiteral("setpriv --reuid=65534 --regid=65534 --clear-groups ");
    const QStringList qslArguments{v.qsMount(), qsOther, options.viChosen.qsSource, QStringLiteral(MORVANE_FILL)};
    const QMap<QString, QString> mapSetup{
        {QStringLiteral("bind"), QStringLiteral("mkdir -p \"$2\" && mount --bind \"$1\" \"$2\"")},
        {QStringLiteral("overlay"), QStringLiteral("mkdir -p \"$2\" \"$1/l\" \"$1/u\" \"$1/w\" && mount -t overlay o -o \"lowerdir=$1/l,upperdir=$1/u,workdir=$1/w\" \"$2\"")},
        {QStringLiteral("subvolume"), QStringLiteral("mkdir -p \"$2\" && btrfs -q subvolume create \"$1/sv\" && mount -o subvol=sv \"$3\" \"$2\"")},
        {QStringLiteral("planted"), qsUser + QStringLiteral("sh -c 'mkdir -m 777 \"$1/Delete_Zero\" && echo kept > \"$1/Delete_Zero/f\" && exec flock \"$1/Delete_Zero\" sleep 4' sh \"$1\" & sleep 0.5")},
        {QStringLiteral("user first"), qsUser + QStringLiteral("\"$4\" --quiet --rate 1 \"$1\" & while [ ! -d \"$1/Delete_Zero\" ]; do sleep 0.1; done; (sleep 3; kill $!) &")},
        // An ordinary user locks the top folder and / for a while.
        {QStringLiteral("locks"), QStringLiteral("for t in \"$1\" /; do ") + qsUser + QStringLiteral("flock \"$t\" sleep 3 & done; sleep 0.5")}};
    const QMap<QString, QString> mapDuring{
        {QStringLiteral("pidns"), QStringLiteral("unshare -p -f --mount-proc \"$4\" --quiet \"$1\"")},
        {QStringLiteral("fulllock"), QStringLiteral("unshare -m sh -c 'mount -t tmpfs -o size=64k,nr_inodes=2 full /run/lock && touch /run/lock/x; exec \"$1\" --quiet \"$2\"' sh \"$4\" \"$1\"")},
        {QStringLiteral("copy"), QStringLiteral("cp \"$4\" /var/tmp/morvane-copy && ") + qsUser + QStringLiteral("/var/tmp/morvane-copy --quiet \"$1\"; s=$?; rm -f /var/tmp/morvane-copy; exit $s")}};
    auto iShell = [&qslArguments](const QString &qsLine) {
        return QProcess::execute(QStringLiteral("sh"), QStringList{QStringLiteral("-c"), qsLine, QStringLiteral("sh")} + qslArguments);
    };
    iShell(mapSetup.value(qsRace, QStringLiteral(":")));
    if (bOverlay)
        options = Volume_Run_Options{{qsOther + QStringLiteral("/Delete_Zero")}, -1, viVolume_At(qsOther)};
    Volume_Run run(options);
    Recorder recorder;
    recorder.limits.bTop_Up = true;
    Volume_Run_Result second;
    int iSecond_Status = -1;
    recorder.observer.vFile_Count = [&](int iFiles) {
        if (iFiles != 1)
            return;
        if (qsRace == QStringLiteral("second") || bOther_Path) {
            Volume_Run_Options otherOptions = options;
            if (bOther_Path)
                otherOptions = Volume_Run_Options{{qsOther + QStringLiteral("/Delete_Zero")}, -1, viVolume_At(qsOther)};
            if (bOverlay)
                otherOptions = Volume_Run_Options{{v.qsMount() + QStringLiteral("/u/Delete_Zero")}, -1, viVolume_At(v.qsMount())};
            Volume_Run other(otherOptions);
            second = other.vrRun(Fill_Observer());
            iSecond_Status = int(second.eEnd);
        } else if (mapDuring.contains(qsRace)) {
            iSecond_Status = iShell(mapDuring.value(qsRace));
        } else if (qsRace == QStringLiteral("immutable")) {
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), v.qsScratch()});
        } else if (qsRace == QStringLiteral("unmount")) {
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), v.qsMount()});
        }
    };
    const Volume_Run_Result result = run.vrRun(recorder.observer);
    if (bOther_Path)
        QProcess::execute(QStringLiteral("umount"), {qsOther});
    QCOMPARE(int(result.eEnd), iEnd);
    QCOMPARE(iSecond_Status, iSecond);
    // The run's files have no names: they are freed even where the folder cannot go.
    QVERIFY(!result.bData_Left);
    if (qsRace == QStringLiteral("unmount")) {
        // What lay beneath the mount point got nothing.
        QVERIFY(!QFileInfo::exists(v.qsScratch()));
        return;
    }
    // Root's run beside a user's folder leaves it and what is in it alone.
    QCOMPARE(result.qsPath != options.qslScratch_Paths.first(), qsRace == QStringLiteral("planted") || qsRace == QStringLiteral("user first"));
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo::exists(v.qsScratch() + QStringLiteral("/f")), qsRace == QStringLiteral("planted"), 100);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(v.dAvailable() - dBefore) <= 1024 * 1024, 5000);
    QVERIFY(!QFileInfo::exists(result.qsPath) || qsRace == QStringLiteral("immutable"));
    if (qsRace == QStringLiteral("immutable"))
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), v.qsScratch()});
}

QTEST_GUILESS_MAIN(tst_Zero_Fill)
#include "tst_zero_fill.moc"
