#ifndef FS_VOLUME_H
#define FS_VOLUME_H

// A real file system for a test: an image file loop-mounted (or a tmpfs) through tests/fs/fs_image.sh,
// unmounted and deleted when the object goes. Mount points hold a blank and Cyrillic letters.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace fs_test {

inline QString qsScript() { return QStringLiteral(MORVANE_FS_SCRIPT); }
inline QString qsRoot() { return QStringLiteral(MORVANE_FS_ROOT); }

// Runs one fs_image.sh step; returns its stdout, fails the process on an error.
inline QString qsStep(const QStringList &qslArguments, int *pExit_Code = nullptr)
{
    QProcess qProcess;
    qProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    qProcess.start(QStringLiteral("bash"), QStringList{qsScript()} + qslArguments);
    qProcess.waitForFinished(-1);
    const QString qsOut = QString::fromUtf8(qProcess.readAllStandardOutput()).trimmed();
    if (pExit_Code != nullptr)
        *pExit_Code = qProcess.exitCode();
    else if (qProcess.exitStatus() != QProcess::NormalExit || qProcess.exitCode() != 0)
        std::fprintf(stderr, "fs_image.sh %s failed: %s\n", qPrintable(qslArguments.join(' ')), qPrintable(qsOut));
    return qsOut;
}

// Exits with CTest's skip code 77 and the reason when this machine cannot mount test images.
inline void vSkip_Unless_Mountable(int iNeed_MiB)
{
    int iCode = 0;
    const QString qsReason = qsStep({QStringLiteral("check"), qsRoot(), QString::number(iNeed_MiB)}, &iCode);
    if (iCode != 0) {
        std::printf("%s\n", qPrintable(qsReason));
        std::fflush(stdout);
        std::exit(77);
    }
}

inline double dAvailable(const QString &qsPath)
{
    struct statvfs sv {};
    if (::statvfs(QFile::encodeName(qsPath).constData(), &sv) != 0)
        return -1;
    return double(sv.f_bavail) * sv.f_frsize;
}

// The cgroup v2 hierarchy, where the test may make a cgroup of its own; empty where it cannot.
inline QString qsCgroup_Root()
{
    for (const QString &qsRoot : {QStringLiteral("/sys/fs/cgroup"), QStringLiteral("/sys/fs/cgroup/unified")})
        if (QFileInfo::exists(qsRoot + QStringLiteral("/cgroup.procs")) && QFileInfo(qsRoot).isWritable())
            return qsRoot;
    return QString();
}

class Volume
{
public:
    // sType: ext4, xfs, btrfs or tmpfs; sOptions: extra mount options such as "compress=zstd";
    // qsFolder: where the image and its mount point go.
    Volume(const QString &qsName, const QString &qsType, int iMiB, const QString &qsOptions = QString(),
           const QString &qsFolder = qsRoot())
        : m_qsImage(qsFolder + "/" + qsName + ".img")
        , m_qsMount(qsFolder + "/точка монтирования " + qsName)
        , m_qsType(qsType)
    {
        if (qsType == QStringLiteral("tmpfs")) {
            qsStep({QStringLiteral("tmpfs"), m_qsMount, QString::number(iMiB)});
            return;
        }
        qsStep({QStringLiteral("make"), m_qsImage, QString::number(iMiB), qsType});
        vMount(qsOptions);
    }
    ~Volume()
    {
        qsStep({QStringLiteral("umount"), m_qsMount});
        QFile::remove(m_qsImage);
    }
    Volume(const Volume &) = delete;
    Volume &operator=(const Volume &) = delete;

    void vMount(const QString &qsOptions = QString())
    {
        QStringList qsl{QStringLiteral("mount"), m_qsImage, m_qsMount};
        if (!qsOptions.isEmpty())
            qsl << qsOptions;
        qsStep(qsl);
    }
    void vUnmount() { qsStep({QStringLiteral("umount"), m_qsMount}); }
    // Fills the free space with 0xFF and deletes the fill again.
    void vPattern() { qsStep({QStringLiteral("pattern"), m_qsMount}); }
    // Unmounts, counts the 4 KiB blocks still holding 0xFF, mounts again with qsOptions.
    qint64 iPattern_Blocks(const QString &qsOptions = QString())
    {
        vUnmount();
        const qint64 iBlocks = qsStep({QStringLiteral("count"), m_qsImage}).toLongLong();
        vMount(qsOptions);
        return iBlocks;
    }
    // With bUser, later vRun commands run as the ordinary user "nobody", who may write the volume.
    void vAs_User(bool bUser)
    {
        m_bUser = bUser;
        if (bUser)
            QFile::setPermissions(m_qsMount, QFileDevice::Permissions(0x7777));
    }
    // Runs a command on this volume (as the user of vAs_User) to its end; returns its first line.
    QString vRun(const QStringList &qslCommand) const
    {
        QStringList qsl = qslCommand;
        if (m_bUser)
            qsl = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                              QStringLiteral("--clear-groups")} + qsl;
        QProcess qProcess;
        qProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        qProcess.start(qsl.first(), qsl.mid(1));
        qProcess.waitForFinished(-1);
        ::sync();
        return QString::fromUtf8(qProcess.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
    }
    const QString &qsMount() const { return m_qsMount; }
    const QString &qsImage() const { return m_qsImage; }
    QString qsScratch() const { return m_qsMount + QStringLiteral("/Delete_Zero"); }
    double dAvailable() const { return fs_test::dAvailable(m_qsMount); }

private:
    QString m_qsImage;
    QString m_qsMount;
    QString m_qsType;
    bool m_bUser = false;
};

// Files a test places on a volume before a run, with their digests, to prove a run left them alone.
class Placed_Files
{
public:
    explicit Placed_Files(const QString &qsFolder) : m_qsFolder(qsFolder)
    {
        QDir().mkpath(qsFolder + "/вложенная папка");
        vPut(QStringLiteral("a.bin"), 300000);
        vPut(QStringLiteral("вложенная папка/b c.bin"), 70000);
        vPut(QStringLiteral(".hidden"), 10);
    }
    // True when every placed file still holds what it held.
    bool bUnchanged() const
    {
        for (auto it = m_mapDigests.cbegin(); it != m_mapDigests.cend(); ++it)
            if (qbaDigest(it.key()) != it.value())
                return false;
        return true;
    }

private:
    void vPut(const QString &qsName, int iBytes)
    {
        QByteArray qbaData(iBytes, '\0');
        for (int i = 0; i < iBytes; ++i)
            qbaData[i] = char((i * 131 + iBytes) & 0xff);
        QFile qFile(m_qsFolder + "/" + qsName);
        qFile.open(QIODevice::WriteOnly);
        qFile.write(qbaData);
        qFile.close();
        m_mapDigests.insert(m_qsFolder + "/" + qsName, qbaDigest(m_qsFolder + "/" + qsName));
    }
    static QByteArray qbaDigest(const QString &qsPath)
    {
        QFile qFile(qsPath);
        if (!qFile.open(QIODevice::ReadOnly))
            return QByteArray();
        return QCryptographicHash::hash(qFile.readAll(), QCryptographicHash::Sha256);
    }
    QString m_qsFolder;
    QMap<QString, QByteArray> m_mapDigests;
};

} // namespace fs_test

#endif // FS_VOLUME_H
