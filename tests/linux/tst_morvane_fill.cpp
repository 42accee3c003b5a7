// morvane-fill as a provisioning script runs it, on loop-mounted ext4 and xfs images: what it
// leaves unzeroed against dd on an identically made and marked image, --json against df, a
// signal mid-run, and every input it must refuse without touching anything.
#include "fs_volume.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using fs_test::Placed_Files;
using fs_test::Volume;

namespace {

const QString qsProgram = QStringLiteral(MORVANE_FILL);

struct Call
{
    int iStatus = -1;
    QString qsOut;
    QStringList qslErr;  // lines of standard error
};

// Runs the command through a shell, as a script would, so that the status is the one it sees.
Call cRun(const QStringList &qslArguments, const QStringList &qslPrefix = {}, const QString &qsRun = qsProgram)
{
    QProcess qProcess;
    qProcess.start(QStringLiteral("sh"), QStringList{QStringLiteral("-c"), QStringLiteral("\"$@\""), QStringLiteral("sh")}
                                             + qslPrefix + QStringList{qsRun} + qslArguments);
    qProcess.waitForFinished(-1);
    Call c;
    c.iStatus = qProcess.exitCode();
    c.qsOut = QString::fromUtf8(qProcess.readAllStandardOutput());
    c.qslErr = QString::fromUtf8(qProcess.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    return c;
}

// What a sparse image costs its host: the bytes allocated to it.
qint64 iAllocated(const QString &qsImage)
{
    struct stat st {};
    return ::stat(QFile::encodeName(qsImage).constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : -1;
}

struct Df_Line
{
    QString qsSource, qsType, qsTarget;
    double dSize = 0, dUsed = 0, dAvail = 0;
};

Df_Line dfLine(const QString &qsPath)
{
    QProcess qDf;
    qDf.start(QStringLiteral("df"), {QStringLiteral("-B1"), QStringLiteral("--output=source,fstype,size,used,avail,target"),
                                     QStringLiteral("--"), qsPath});
    qDf.waitForFinished(-1);
    const QString qsLine = QString::fromUtf8(qDf.readAllStandardOutput()).split('\n').value(1);
    // The mount point comes last and is taken whole, blanks and all.
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^(\\S+)\\s+(\\S+)\\s+(\\d+)\\s+(\\d+)\\s+(\\d+)\\s+(.*)$")).match(qsLine);
    return {m.captured(1), m.captured(2), m.captured(6), m.captured(3).toDouble(), m.captured(4).toDouble(),
            m.captured(5).toDouble()};
}

bool bFree_Back(double dBefore, double dAfter)
{
    return std::abs(dBefore - dAfter) <= 64 * 4096.0;
}

pid_t iChild_Of(qint64 iParent)
{
    QFile qChildren(QStringLiteral("/proc/%1/task/%1/children").arg(iParent));
    if (!qChildren.open(QIODevice::ReadOnly))
        return 0;
    return pid_t(QString::fromLatin1(qChildren.readAll()).split(' ', Qt::SkipEmptyParts).value(0).toInt());
}

} // namespace

class tst_Morvane_Fill : public QObject
{
    Q_OBJECT

private slots:
    void two_volumes_zeroed_and_reported();
    void every_ending_gives_the_space_back_data();
    void every_ending_gives_the_space_back();
    void later_volume_checked_again_data();
    void later_volume_checked_again();
    void bad_input_touches_nothing();
    void unfillable_volume_reported_others_filled();
    void thin_disk_trim_and_check();
    void keep_free_spares_a_service();
};

// Two volumes in one call, each reported as df sees it; what is left unzeroed is measured against
// dd with the window's runs (tst_run_fs).
void tst_Morvane_Fill::two_volumes_zeroed_and_reported()
{
    const QStringList qslTypes{QStringLiteral("ext4"), QStringLiteral("xfs")};
    Volume ext4(QStringLiteral("fill-ext4"), QStringLiteral("ext4"), 1024);
    Volume xfs(QStringLiteral("fill-xfs"), QStringLiteral("xfs"), 1024);
    const QList<Volume *> lstVolumes{&ext4, &xfs};
    QList<Df_Line> lstDf;
    QList<Placed_Files *> lstPlaced;
    QStringList qslFolders;
    for (Volume *pVolume : lstVolumes) {
        lstPlaced << new Placed_Files(pVolume->qsMount() + QStringLiteral("/файлы"));
        lstDf << dfLine(pVolume->qsMount());
        // A folder of its own on the volume, as an ordinary user would name.
        qslFolders << pVolume->qsMount() + QStringLiteral("/файлы");
    }
    // A leftover of an interrupted run, with a link out of it, goes first and takes nothing with it.
    QVERIFY(QDir().mkpath(qslFolders.at(0) + QStringLiteral("/Delete_Zero/old")));
    QVERIFY(QFile::link(qslFolders.at(0), qslFolders.at(0) + QStringLiteral("/Delete_Zero/x")));

    const Call c = cRun(QStringList{QStringLiteral("--json")} + qslFolders);
    QCOMPARE(c.iStatus, 0);
    const QStringList qslObjects = c.qsOut.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(qslObjects.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QString &qsType = qslTypes.at(i);
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(qslObjects.at(i).toUtf8(), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(qslObjects.at(i)));
        QCOMPARE(o.value("folder").toString(), qslFolders.at(i));
        QCOMPARE(o.value("mount_point").toString(), lstDf.at(i).qsTarget);
        QCOMPARE(o.value("device").toString(), lstDf.at(i).qsSource);
        QCOMPARE(o.value("file_system").toString(), lstDf.at(i).qsType);
        QCOMPARE(o.value("file_system").toString(), qsType);
        QVERIFY(o.value("seconds").toDouble() > 0);
        QCOMPARE(o.value("block_size").toInt(), 4096);
        // The zeros written are what the free space fell by from df's count to the blocks left
        // once full, give or take the bookkeeping of the scratch files and of the file system.
        const double dWritten = o.value("bytes_written").toDouble();
        const double dFree_After = o.value("free_blocks_after").toDouble() * 4096;
        const double dDrop = lstDf.at(i).dSize - lstDf.at(i).dUsed - dFree_After;
        QVERIFY2(std::abs(dWritten - dDrop) <= lstDf.at(i).dSize / 100,
                 qPrintable(QString("%1 written, df: %2 free before, %3 after").arg(dWritten)
                                .arg(lstDf.at(i).dSize - lstDf.at(i).dUsed).arg(dFree_After)));
        QVERIFY(dWritten >= lstDf.at(i).dAvail / 2);

        Volume *pVolume = lstVolumes.at(i);
        QVERIFY(!QFileInfo::exists(qslFolders.at(i) + QStringLiteral("/Delete_Zero")));
        QVERIFY(bFree_Back(lstDf.at(i).dAvail, pVolume->dAvailable()));
        QVERIFY(lstPlaced.at(i)->bUnchanged());
    }
    qDeleteAll(lstPlaced);
}

void tst_Morvane_Fill::every_ending_gives_the_space_back_data()
{
    // How the program is started, what ends it (a signal to it, to its PID namespace, a cgroup
    // kill), the status its shell sees and what it says.
    QTest::addColumn<QString>("qsHow");
    QTest::addColumn<int>("iSignal");
    QTest::addColumn<int>("iStatus");
    QTest::addColumn<QString>("qsSaid");
    QTest::addColumn<QString>("qsEnding");  // of the --json object, where the program lives to print it
    QTest::newRow("SIGINT") << "plain" << int(SIGINT) << 128 + SIGINT << "stopped by a signal" << "cancelled";
    QTest::newRow("SIGKILL") << "plain" << int(SIGKILL) << 128 + SIGKILL << "" << "";
    // unshare cannot pass SIGKILL on to itself and ends with status 1 when its child died of it.
    QTest::newRow("SIGKILL of its PID namespace") << "namespace" << int(SIGKILL) << 1 << "" << "";
    QTest::newRow("its cgroup killed") << "cgroup" << int(SIGKILL) << 128 + SIGKILL << "" << "";
    // Ctrl-Z: a stopped run would hold the disk full until continued.
    QTest::newRow("SIGTSTP") << "plain" << int(SIGTSTP) << 0 << "does not stop while it holds the free space" << "done";
    // This kernel has no quota support: a double of the write call meets the quota instead.
    QTest::newRow("a disk quota") << "quota" << 0 << 1 << "the disk quota ran out: 64.00 MiB of zeros written" << "failed";
}

// However a run ends, within 15 s no scratch data is left and the free space is back.
void tst_Morvane_Fill::every_ending_gives_the_space_back()
{
    QFETCH(QString, qsHow);
    QFETCH(int, iSignal);
    QFETCH(int, iStatus);
    QFETCH(QString, qsSaid);
    QFETCH(QString, qsEnding);
    Volume v(QStringLiteral("fill-end"), QStringLiteral("ext4"), 1024);
    QStringList qslPrefix;
    const QString qsCgroup = fs_test::qsCgroup_Root() + QStringLiteral("/morvane-test-%1").arg(::getpid());
    if (qsHow == QStringLiteral("namespace")) {
        qslPrefix = QStringList{QStringLiteral("unshare"), QStringLiteral("--pid"), QStringLiteral("--fork")};
    } else if (qsHow == QStringLiteral("cgroup")) {
        if (fs_test::qsCgroup_Root().isEmpty() || !QDir().mkpath(qsCgroup))
            QSKIP("no writable cgroup v2 hierarchy to make a cgroup in");
        qslPrefix = QStringList{QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo $$ > \"$0\" && exec \"$@\""),
                                qsCgroup + QStringLiteral("/cgroup.procs")};
    } else if (qsHow == QStringLiteral("quota")) {
        qslPrefix = QStringList{QStringLiteral("env"), QStringLiteral("LD_PRELOAD=" MORVANE_KERNEL_DOUBLES),
                                QStringLiteral("MORVANE_QUOTA_BYTES=67108864")};
    }
    const double dBefore = v.dAvailable();
    QProcess qShell;
    qShell.start(QStringLiteral("sh"), QStringList{QStringLiteral("-c"), QStringLiteral("\"$@\"; echo \"status $?\""),
                                                   QStringLiteral("sh")}
                                           + qslPrefix + QStringList{qsProgram, QStringLiteral("--json"), v.qsMount()});
    QVERIFY(qShell.waitForStarted());
    if (iSignal != 0) {
        QTRY_VERIFY_WITH_TIMEOUT(v.dAvailable() < dBefore - 64 * 1048576.0, 20000);
        pid_t iFill = iChild_Of(qShell.processId());
        if (qsHow == QStringLiteral("namespace"))
            iFill = iChild_Of(iFill);  // the namespace's first process
        QVERIFY(iFill > 0);
        if (qsHow == QStringLiteral("cgroup")) {
            QFile qKill(qsCgroup + QStringLiteral("/cgroup.kill"));
            QVERIFY(qKill.open(QIODevice::WriteOnly) && qKill.write("1") == 1);
        } else {
            ::kill(iFill, iSignal);
        }
    }
    QVERIFY(qShell.waitForFinished(60000));
    QDir().rmdir(qsCgroup);
    const QString qsOut = QString::fromUtf8(qShell.readAllStandardOutput());
    QCOMPARE(qsOut.section('\n', -2), QStringLiteral("status %1\n").arg(iStatus));
    QVERIFY2(qsEnding.isEmpty() || qsOut.contains(QStringLiteral("\"ending\":\"%1\"").arg(qsEnding)),
             qPrintable(qsOut));
    const QString qsErr = QString::fromUtf8(qShell.readAllStandardError());
    QVERIFY2(qsErr.contains(qsSaid), qPrintable(qsErr));
    // The empty scratch folder of a killed run stays as its sign, until the next run removes it.
    QTRY_VERIFY_WITH_TIMEOUT(QDir(v.qsScratch()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                                 && std::abs(dBefore - v.dAvailable()) <= 1048576.0,
                             15000);
}

void tst_Morvane_Fill::later_volume_checked_again_data()
{
    QTest::addColumn<bool>("bSwap_For_Link");
    QTest::newRow("unmounted while the first volume fills") << false;
    QTest::newRow("swapped for a link to a tmpfs meanwhile") << true;
}

// A volume checked at the start is reached through the folder held since: a name swapped for a
// link leads nothing elsewhere, and a volume unmounted meanwhile gets nothing, nor does what lies
// beneath it; the others are still filled.
void tst_Morvane_Fill::later_volume_checked_again()
{
    QFETCH(bool, bSwap_For_Link);
    Volume first(QStringLiteral("fill-first"), QStringLiteral("ext4"), 1024);
    Volume later(QStringLiteral("fill-later"), QStringLiteral("ext4"), 64);
    Volume memory(QStringLiteral("fill-beneath"), QStringLiteral("tmpfs"), 16);
    // Unmounted, the mount point is a plain folder of the volume beneath.
    const QString qsLater = bSwap_For_Link ? later.qsMount() + QStringLiteral("/папка") : later.qsMount();
    QVERIFY(QDir().mkpath(qsLater));
    const double dFirst = first.dAvailable(), dMemory = memory.dAvailable();

    QProcess qFill;
    qFill.start(qsProgram, {QStringLiteral("--quiet"), QStringLiteral("--json"), first.qsMount(), qsLater});
    QTRY_VERIFY_WITH_TIMEOUT(first.dAvailable() < dFirst - 64 * 1048576.0, 20000);
    if (bSwap_For_Link)
        QVERIFY(QDir().rename(qsLater, qsLater + QStringLiteral(".old")) && QFile::link(memory.qsMount(), qsLater));
    else
        QCOMPARE(QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), later.qsMount()}), 0);
    QVERIFY(qFill.waitForFinished(60000));
    QCOMPARE(qFill.exitCode(), bSwap_For_Link ? 0 : 1);
    const QStringList qslErr = QString::fromUtf8(qFill.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QVERIFY2(bSwap_For_Link ? qslErr.isEmpty()
                            : qslErr.size() == 1 && qslErr.at(0).startsWith(QStringLiteral("morvane-fill: ") + qsLater + QStringLiteral(": stopped after "))
                                  && qslErr.at(0).contains(QStringLiteral("nothing was written in what took its place")),
             qPrintable(qslErr.join(" | ")));
    const QStringList qslObjects = QString::fromUtf8(qFill.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(qslObjects.size(), 2);
    QCOMPARE(QJsonDocument::fromJson(qslObjects.at(0).toUtf8()).object().value("ending").toString(), QStringLiteral("done"));
    QCOMPARE(QJsonDocument::fromJson(qslObjects.at(1).toUtf8()).object().value("ending").toString(),
             bSwap_For_Link ? QStringLiteral("done") : QStringLiteral("failed"));
    QVERIFY(bFree_Back(dMemory, memory.dAvailable()) && !QFileInfo::exists(memory.qsScratch()));
    QVERIFY(!QFileInfo::exists(later.qsMount() + QStringLiteral("/Delete_Zero")));
}

void tst_Morvane_Fill::bad_input_touches_nothing()
{
    Volume good(QStringLiteral("fill-good"), QStringLiteral("ext4"), 64);
    Volume read_only(QStringLiteral("fill-ro"), QStringLiteral("ext4"), 64);
    read_only.vUnmount();
    read_only.vMount(QStringLiteral("ro"));
    Volume memory(QStringLiteral("fill-memory"), QStringLiteral("tmpfs"), 16);
    // An overlay whose writes land on a tmpfs, as a container's root may.
    const QString qsOverlay = memory.qsMount() + QStringLiteral("/merged");
    for (const char *pcLayer : {"/lower", "/upper", "/work", "/merged"})
        QVERIFY(QDir().mkpath(memory.qsMount() + QLatin1String(pcLayer)));
    QCOMPARE(QProcess::execute(QStringLiteral("mount"),
                               {QStringLiteral("-t"), QStringLiteral("overlay"), QStringLiteral("overlay"), QStringLiteral("-o"),
                                QStringLiteral("lowerdir=%1/lower,upperdir=%1/upper,workdir=%1/work").arg(memory.qsMount()),
                                qsOverlay}),
             0);
    // Folders whose files would not hold the zeros as written: encrypted, compressed; and a
    // read-only snapshot.
    Volume crypt(QStringLiteral("fill-crypt"), QStringLiteral("ext4-encrypt"), 64);
    const QString qsSecret = crypt.qsMount() + QStringLiteral("/secret");
    QCOMPARE(QProcess::execute(QStringLiteral("python3"), {QStringLiteral(MORVANE_FSCRYPT_SCRIPT), qsSecret}), 0);
    Volume packed(QStringLiteral("fill-packed"), QStringLiteral("btrfs"), 128);
    const QString qsPacked = packed.qsMount() + QStringLiteral("/packed");
    QCOMPARE(QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("mkdir \"$1/packed\" && chattr +c \"$1/packed\" && "
        "btrfs -q subvolume snapshot -r \"$1\" \"$1/snap\""), QStringLiteral("sh"), packed.qsMount()}), 0);
    const QString qsFile = good.qsMount() + QStringLiteral("/файл");
    QFile qFile(qsFile);
    QVERIFY(qFile.open(QIODevice::WriteOnly));
    qFile.close();
    const QString qsSub = good.qsMount() + QStringLiteral("/папка");
    QVERIFY(QDir().mkdir(qsSub));
    const QString qsMissing = good.qsMount() + QStringLiteral("/нет такой");
    // Owned by root, not writable by others: an ordinary user may not fill it. The build folder
    // may lie below a folder only root can enter, so the user gets a program and a folder that
    // anyone can reach.
    QTemporaryDir qReachable;
    QVERIFY(qReachable.isValid());
    const auto iOpen_To_All = QFileDevice::Permissions(0x7755);
    QVERIFY(QFile::setPermissions(qReachable.path(), iOpen_To_All));
    const QString qsUser_Program = qReachable.filePath(QStringLiteral("morvane-fill"));
    QVERIFY(QFile::copy(qsProgram, qsUser_Program));
    QVERIFY(QFile::setPermissions(qsUser_Program, iOpen_To_All));
    const QString qsLocked = qReachable.filePath(QStringLiteral("чужая папка"));
    QVERIFY(QDir().mkdir(qsLocked));
    QVERIFY(QFile::setPermissions(qsLocked, iOpen_To_All));
    const QStringList qslAs_Nobody{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                                   QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups")};

    struct Case
    {
        const char *pcName;
        QStringList qslArguments;
        int iStatus;
        QString qsMessage;
        QStringList qslPrefix;
    };
    // The good folder comes first wherever it can: a bad one later in the list must stop the
    // whole call before anything is written.
    const QList<Case> lstCases{
        {"no folder", {}, 2, QStringLiteral("no folder given"), {}},
        {"unknown option", {QStringLiteral("--fast"), good.qsMount()}, 2, QStringLiteral("'fast'"), {}},
        {"missing path", {good.qsMount(), qsMissing}, 2, qsMissing + QStringLiteral(": no such folder"), {}},
        {"a file", {good.qsMount(), qsFile}, 2, qsFile + QStringLiteral(": not a folder"), {}},
        {"same file system twice", {good.qsMount(), qsSub}, 2, QStringLiteral("are on the same file system"), {}},
        {"tmpfs", {good.qsMount(), memory.qsMount()}, 2, QStringLiteral(": on tmpfs"), {}},
        {"overlay", {good.qsMount(), qsOverlay}, 2, QStringLiteral(": on overlay, whose writes land on its upper layer's file system (tmpfs)"), {}},
        {"read-only mount", {good.qsMount(), read_only.qsMount()}, 1, QStringLiteral("is mounted read-only"), {}},
        {"read-only snapshot", {good.qsMount(), packed.qsMount() + "/snap"}, 1, QStringLiteral("/snap: read-only (a read-only snapshot"), {}},
        {"encrypted folder", {good.qsMount(), qsSecret}, 2, qsSecret + QStringLiteral(": encrypted (fscrypt)"), {}},
        {"compressed btrfs folder", {good.qsMount(), qsPacked}, 2, qsPacked + QStringLiteral(": its files are compressed"), {}},
        {"not writable", {qsLocked}, 1, qsLocked + QStringLiteral(": no permission to write"), qslAs_Nobody},
        {"bad size", {QStringLiteral("--keep-free"), QStringLiteral("12Q"), good.qsMount()}, 2, QStringLiteral("\"12Q\" is not a size"), {}},
        {"rate of 0", {QStringLiteral("--rate"), QStringLiteral("0"), good.qsMount()}, 2, QStringLiteral("\"0\" is no rate"), {}},
        // Below the floor is no fault: skipped, with the reason.
        {"keep more than free", {QStringLiteral("--keep-free"), QStringLiteral("1G"), good.qsMount()}, 0,
         good.qsMount() + QStringLiteral(": skipped: --keep-free asks to leave 1.00 GiB"), {}},
    };
    const double dGood_Free = good.dAvailable();
    for (const Case &t : lstCases) {
        const Call c = cRun(QStringList{QStringLiteral("--json")} + t.qslArguments, t.qslPrefix,
                            t.qslPrefix.isEmpty() ? qsProgram : qsUser_Program);
        QVERIFY2(c.iStatus == t.iStatus, t.pcName);
        QVERIFY2(c.qslErr.size() == 1 && c.qslErr.at(0).startsWith(QStringLiteral("morvane-fill: "))
                     && c.qslErr.at(0).contains(t.qsMessage),
                 qPrintable(QString::fromLatin1(t.pcName) + ": " + c.qslErr.join(" | ")));
        // Pipelines read standard output: each folder named gets an object saying it was refused.
        const QStringList qslObjects = c.qsOut.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(qslObjects.size() == std::max<qsizetype>(1, t.qslArguments.filter(QRegularExpression(QStringLiteral("^/"))).size()), t.pcName);
        // Every field, the folder named, and the volume wherever the folder exists; below the
        // --keep-free floor the volume is skipped, not refused.
        for (const QString &qsObject : qslObjects) {
            const QJsonObject o = QJsonDocument::fromJson(qsObject.toUtf8()).object();
            const QString qsFolder = o.value("folder").toString();
            QVERIFY2(o.value("ending") == (t.iStatus == 0 ? QStringLiteral("skipped") : QStringLiteral("refused")) && o.size() >= 14
                         && t.qslArguments.contains(qsFolder) != qsFolder.isEmpty()
                         && o.value("device").toString().isEmpty() != QFileInfo(qsFolder).isDir(), qPrintable(qsObject));
        }
        for (const QString &qsFolder : {good.qsMount(), qsSub, memory.qsMount(), qsLocked, qsSecret, qsPacked})
            QVERIFY2(!QFileInfo::exists(qsFolder + QStringLiteral("/Delete_Zero")), t.pcName);
        QVERIFY2(good.dAvailable() == dGood_Free, t.pcName);
    }
    QProcess::execute(QStringLiteral("umount"), {qsOverlay});
    // A file name is bytes: a folder whose name is not UTF-8 is found and filled.
    QVERIFY(::mkdir((QFile::encodeName(good.qsMount()) + "/caf\xe9").constData(), 0755) == 0);
    const Call cBytes = cRun({good.qsMount()}, {QStringLiteral("sh"), QStringLiteral("-c"),
                                                QStringLiteral("exec \"$0\" --quiet --json \"$1/$(printf 'caf\\351')\"")});
    QVERIFY2(cBytes.iStatus == 0 && cBytes.qslErr.isEmpty(), qPrintable(cBytes.qslErr.join(" | ")));
    QCOMPARE(QByteArray::fromHex(QJsonDocument::fromJson(cBytes.qsOut.toUtf8())["folder_hex"].toString().toLatin1()),
             QFile::encodeName(good.qsMount()) + "/caf\xe9");
    // --allow-memory lets the tmpfs through, and it is filled and cleaned up.
    const Call c = cRun({QStringLiteral("--quiet"), QStringLiteral("--allow-memory"), memory.qsMount()});
    QCOMPARE(c.iStatus, 0);
    QVERIFY(c.qslErr.isEmpty());
    QVERIFY(!QFileInfo::exists(memory.qsScratch()));
}

void tst_Morvane_Fill::unfillable_volume_reported_others_filled()
{
    // A run of root's holds the first volume's scratch folder: that one is refused, the next filled.
    Volume held(QStringLiteral("fill-held"), QStringLiteral("ext4"), 64);
    QDir().mkdir(held.qsScratch());
    QProcess qHolder;
    qHolder.start(QStringLiteral("flock"), {held.qsScratch(), QStringLiteral("sleep"), QStringLiteral("30")});
    QTRY_VERIFY(QProcess::execute(QStringLiteral("flock"), {QStringLiteral("-n"), held.qsScratch(), QStringLiteral("true")}) != 0);
    Volume good(QStringLiteral("fill-after"), QStringLiteral("ext4"), 64);
    const double dHeld_Free = held.dAvailable();
    const Call c = cRun({QStringLiteral("--json"), held.qsMount(), good.qsMount()});
    qHolder.kill();
    qHolder.waitForFinished();
    QCOMPARE(c.iStatus, 1);
    QVERIFY2(c.qslErr.filter(held.qsMount() + QStringLiteral(": another run is zeroing this file system")).size() == 1,
             qPrintable(c.qslErr.join(" | ")));
    const QStringList qslObjects = c.qsOut.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(qslObjects.size(), 2);
    QCOMPARE(QJsonDocument::fromJson(qslObjects.at(0).toUtf8()).object().value("ending").toString(), QStringLiteral("refused"));
    QCOMPARE(QJsonDocument::fromJson(qslObjects.at(1).toUtf8()).object().value("folder").toString(), good.qsMount());
    QVERIFY(QFileInfo::exists(held.qsScratch()));
    QVERIFY(!QFileInfo::exists(good.qsScratch()));
    QVERIFY(bFree_Back(dHeld_Free, held.dAvailable()));
}

void tst_Morvane_Fill::thin_disk_trim_and_check()
{
    // Files in ramfs take no fallocate, so a loop device over one accepts no discard.
    const QString qsRamfs = fs_test::qsRoot() + QStringLiteral("/ramfs");
    QVERIFY(QDir().mkpath(qsRamfs));
    QCOMPARE(QProcess::execute(QStringLiteral("mount"), {"-t", "ramfs", "morvane-test", qsRamfs}), 0);
    // Where an ordinary user reaches the program and the volume, whatever lies above the build folder.
    QTemporaryDir qReachable;
    QVERIFY(QFile::setPermissions(qReachable.path(), QFileDevice::Permissions(0x7755)));
    const QString qsUser_Program = qReachable.filePath(QStringLiteral("morvane-fill"));
    QVERIFY(QFile::copy(qsProgram, qsUser_Program));
    const QStringList qslAs_Nobody{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    struct Row
    {
        const char *pcName;
        QString qsType;
        QStringList qslArguments;
        int iStatus;
        QString qsRefusal;  // the one line on standard error, if any
        QString qsSteps;
        qint64 iNot_Zero;   // -1: as many as the marks an independent count finds in the image
        QString qsFolder = fs_test::qsRoot();
        QStringList qslPrefix = {};
        // >= 0: not marked but compared with fstrim on a copy, after this many MiB of old data
        // were written behind a file of zeros and deleted.
        int iOld_MiB = -1;
    };
    // Marked images whose marks are their only old data: what the device holds is known.
    const QList<Row> lstRows{
        {"check counts the marks", "xfs", {"--check"}, 0, {}, "check", -1},
        {"trim, then zeros: no fill on ext4", "ext4", {"--trim", "--check"}, 0, {}, "trim,check,fill skipped", 0},
        {"trim, then zeros: no fill on xfs", "xfs", {"--trim", "--check"}, 0, {}, "trim,check,fill skipped", 0},
        // Where the marker cannot be found on the device, whether a discard zeroes cannot be told: none after the fill.
        {"trim skipped, marker not found", "ext4", {"--trim"}, 0, "nothing discarded after the fill", "trim,fill,trim skipped", -2,
         fs_test::qsRoot(), {"env", "LD_PRELOAD=" MORVANE_KERNEL_DOUBLES, "MORVANE_NO_FIEMAP=1"}},
        {"btrfs: no check, filled", "btrfs", {"--fill", "--check"}, 0, "(GETFSMAP, which", "fill", 0},
        {"not root: no check", "ext4", {"--check"}, 1, "no read access to its device", {}, 0, qReachable.path()},
        {"no discard: filled", "ext4", {"--trim"}, 0, "the device does not accept discard", "fill", 0, qsRamfs},
        // --trim alone discards again after the fill only where a discard was seen to read back zeros.
        {"trim alone, discard reads zeros", "xfs", {"--trim"}, 0, {}, "trim,fill skipped", -2},
        {"not root: trim", "ext4", {"--trim"}, 0, "a discard needs root", "fill", 0, qReachable.path()},
        {"trim alone, discard keeps old data", "ext4", {"--trim"}, 0, "does not read back zeros", "trim,fill,trim not repeated", -2,
         fs_test::qsRoot(), {"env", "LD_PRELOAD=" MORVANE_KERNEL_DOUBLES, "MORVANE_DISCARD_KEEPS=1"}},
        // The image no larger than fstrim leaves it, fresh and with old data away from its start.
        {"fresh ext4 against fstrim", "ext4", {"--trim"}, 0, {}, "trim,fill skipped", -2, fs_test::qsRoot(), {}, 0},
        {"used ext4 against fstrim", "ext4", {"--trim"}, 0, {}, "trim,fill skipped", -2, fs_test::qsRoot(), {}, 64},
        {"fresh xfs against fstrim", "xfs", {"--trim"}, 0, {}, "trim,fill skipped", -2, fs_test::qsRoot(), {}, 0},
        {"used xfs against fstrim", "xfs", {"--trim"}, 0, {}, "trim,fill skipped", -2, fs_test::qsRoot(), {}, 100},
        {"fresh btrfs against fstrim", "btrfs", {"--trim"}, 0, {}, "trim,fill skipped", -2, fs_test::qsRoot(), {}, 0},
        {"used btrfs against fstrim", "btrfs", {"--trim"}, 0, {}, "trim,fill skipped", -2, fs_test::qsRoot(), {}, 28},
    };
    // Loop devices switched to direct I/O, as disks are; both images copied alike (cp drops what mkfs
    // only reserved).
    const QString qsDirect = QStringLiteral("losetup --direct-io=on \"$(findmnt -no SOURCE --mountpoint \"$0\")\"");
    const QString qsFstrim = QStringLiteral("cp --sparse=always \"$0\" \"$1\" && cp --sparse=always \"$1\" \"$0\" && mkdir \"$1.m\" && mount -o loop \"$1\" \"$1.m\" && ")
        + QString(qsDirect).replace("$0", "$1.m") + QStringLiteral(" && fstrim \"$1.m\" && umount \"$1.m\"; rmdir \"$1.m\"");
    for (const Row &t : lstRows) {
        Volume v(QStringLiteral("thin"), t.qsType, t.qsType == QStringLiteral("xfs") ? 320 : 128, {}, t.qsFolder);
        const QString qsReference = v.qsImage() + QStringLiteral(".fstrim");
        if (t.iOld_MiB < 0) {
            v.vPattern();
        } else {
            v.vRun({"sh", "-c", "dd if=/dev/zero of=\"$0/lead\" bs=1M count=$1 status=none && dd if=/dev/urandom of=\"$0/old\" bs=1M "
                    "count=$2 status=none; rm \"$0/old\"", v.qsMount(), QString::number(t.iOld_MiB / 2), QString::number(t.iOld_MiB)});
            v.vUnmount();
            QCOMPARE(QProcess::execute("sh", {"-c", qsFstrim, v.qsImage(), qsReference}), 0);
            v.vMount();
            QCOMPARE(QProcess::execute("sh", {"-c", qsDirect, v.qsMount()}), 0);
        }
        const bool bUser = t.qsFolder == qReachable.path();
        v.vAs_User(bUser);
        const Call c = cRun(QStringList{"--quiet", "--json"} + t.qslArguments + QStringList{v.qsMount()},
                            bUser ? qslAs_Nobody : t.qslPrefix, bUser ? qsUser_Program : qsProgram);
        QVERIFY2(c.iStatus == t.iStatus, t.pcName);
        QVERIFY2(t.qsRefusal.isEmpty() ? c.qslErr.isEmpty() : c.qslErr.size() == 1 && c.qslErr.at(0).contains(t.qsRefusal),
                 qPrintable(QString::fromLatin1(t.pcName) + ": " + c.qslErr.join(" | ")));
        if (t.iStatus != 0)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(c.qsOut.toUtf8()).object();
        QVERIFY2(o.value("steps").toVariant().toStringList().join(',') == t.qsSteps, t.pcName);
        QVERIFY2((o.value("bytes_written").toDouble() > 0) == t.qsSteps.split(',').contains(QStringLiteral("fill")), t.pcName);
        if (t.qsRefusal.isEmpty() && t.iNot_Zero > -2)
            QCOMPARE(o.value("blocks_not_zero").toInteger(), t.iNot_Zero < 0 ? v.iPattern_Blocks() : t.iNot_Zero);
        if (t.iOld_MiB < 0)
            continue;
        v.vUnmount();
        const qint64 iSize = QFileInfo(v.qsImage()).size();
        const qint64 iOurs = iAllocated(v.qsImage());
        const qint64 iFstrim = iAllocated(qsReference);
        QFile::remove(qsReference);
        const QString qsSizes = QString("%1: %2 bytes, fstrim %3").arg(t.pcName).arg(iOurs).arg(iFstrim);
        qInfo("%s", qPrintable(qsSizes));
        QVERIFY2(iOurs <= iFstrim + iSize / 100, qPrintable(qsSizes));
    }
    QProcess::execute(QStringLiteral("umount"), {qsRamfs});
}

void tst_Morvane_Fill::keep_free_spares_a_service()
{
    // An ordinary user's service appends 4 KiB and flushes every 20 ms while root zeroes; the rate
    // stretches the run over many of its writes, and none may meet a full volume.
    // Where the service's user can reach it, wherever the build lies.
    QTemporaryDir qReachable;
    QVERIFY(QFile::setPermissions(qReachable.path(), QFileDevice::Permissions(0x7755)));
    Volume v(QStringLiteral("fill-keep"), QStringLiteral("ext4"), 256, QString(), qReachable.path());
    v.vAs_User(true);
    const QString qsLog = v.qsMount() + QStringLiteral("/service.log");
    QProcess qService;
    qService.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
        QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("while :; do dd if=/dev/zero of=\"$1\" bs=4k count=1 oflag=append "
        "conv=notrunc,fdatasync status=none || echo failed; sleep 0.02; done"), QStringLiteral("sh"), qsLog});
    QTRY_VERIFY(QFileInfo(qsLog).size() > 0);
    const Call c = cRun({QStringLiteral("--json"), QStringLiteral("--keep-free"), QStringLiteral("3%"), QStringLiteral("--rate"),
                         QStringLiteral("100M"), v.qsMount()});
    const qint64 iAppends = QFileInfo(qsLog).size() / 4096;
    qService.kill();
    qService.waitForFinished();
    QCOMPARE(c.iStatus, 0);
    QCOMPARE(QString::fromUtf8(qService.readAllStandardOutput()), QString());
    QVERIFY2(iAppends > 20, qPrintable(QString::number(iAppends)));
    const QJsonObject o = QJsonDocument::fromJson(c.qsOut.toUtf8()).object();
    struct statvfs sv {};
    ::statvfs(QFile::encodeName(v.qsMount()).constData(), &sv);
    const double dKeep = 0.03 * double(sv.f_blocks) * sv.f_frsize;
    const double dLeft = o.value("bytes_left_on_purpose").toDouble();
    QVERIFY2(dLeft >= dKeep && dLeft <= dKeep + 4 * 1024 * 1024, qPrintable(c.qsOut));
    QVERIFY(o.value("reserved_bytes_left").toDouble() > 0);
    QVERIFY2(c.qslErr.last().contains(QStringLiteral(" left unzeroed on purpose (--keep-free), and with them the ")),
             qPrintable(c.qslErr.join(" | ")));
    QVERIFY(!QFileInfo::exists(v.qsScratch()));
    // btrfs books writes at a commit: what is left is measured after it, not the free space before.
    Volume b(QStringLiteral("fill-keep-btrfs"), QStringLiteral("btrfs"), 256);
    ::statvfs(QFile::encodeName(b.qsMount()).constData(), &sv);
    const Call cB = cRun({QStringLiteral("--json"), QStringLiteral("--quiet"), QStringLiteral("--keep-free"), QStringLiteral("30%"), b.qsMount()});
    const double dLeft_B = QJsonDocument::fromJson(cB.qsOut.toUtf8())["bytes_left_on_purpose"].toDouble();
    QVERIFY2(dLeft_B >= 0.3 * double(sv.f_blocks) * sv.f_frsize && dLeft_B <= 0.3 * double(sv.f_blocks) * sv.f_frsize + 4 * 1024 * 1024, qPrintable(cB.qsOut));
}

int main(int argc, char *argv[])
{
    QCoreApplication qApplication(argc, argv);
    // Two images of 1 GiB at most side by side, plus room for the rest of the disk.
    fs_test::vSkip_Unless_Mountable(5 * 1024);
    tst_Morvane_Fill tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_morvane_fill.moc"
