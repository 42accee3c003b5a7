#include "fill_volume.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString qsUnescape(const QByteArray &qbaField)
{
    QByteArray qbaOut;
    for (int i = 0; i < qbaField.size(); ++i) {
        if (qbaField.at(i) == '\\' && i + 3 < qbaField.size()) {
            bool bOk = false;
            const int iCode = qbaField.mid(i + 1, 3).toInt(&bOk, 8);
            if (bOk) {
                qbaOut += char(iCode);
                i += 3;
                continue;
            }
        }
        qbaOut += qbaField.at(i);
    }
    return QFile::decodeName(qbaOut);
}

bool bUnder(const QString &qsPath, const QString &qsMount_Point)
{
    if (qsMount_Point == QStringLiteral("/"))
        return true;
    return qsPath == qsMount_Point || qsPath.startsWith(qsMount_Point + QLatin1Char('/'));
}

// The mount that holds qsPath: the deepest mount point above it of the device the path lies on
// (a mount hidden by a later one over its parent is not it), the last one mounted there; the
// deepest of any device when none matches (a btrfs subvolume that is not mounted by itself).
bool bFind_Mount(const QList<Mount_Entry> &lstMounts, const QString &qsPath, Mount_Entry &entry)
{
    struct stat st {};
    const QString qsId = ::stat(QFile::encodeName(qsPath).constData(), &st) == 0
        ? QStringLiteral("%1:%2").arg(major(st.st_dev)).arg(minor(st.st_dev))
        : QString();
    for (const bool bSame_Device : {true, false}) {
        int iBest = -1;
        for (const Mount_Entry &candidate : lstMounts) {
            if ((!bSame_Device || candidate.qsId == qsId) && bUnder(qsPath, candidate.qsMount_Point)
                && candidate.qsMount_Point.size() >= iBest) {
                iBest = int(candidate.qsMount_Point.size());
                entry = candidate;
            }
        }
        if (iBest >= 0)
            return true;
    }
    return false;
}

bool bMemory_File_System(const QString &qsFs_Type)
{
    return qsFs_Type == QStringLiteral("tmpfs") || qsFs_Type == QStringLiteral("devtmpfs")
        || qsFs_Type == QStringLiteral("ramfs");
}

// A problem with one folder: its exit status and the line for standard error.
struct Refusal
{
    int iStatus = iExit_Filled;
    QString qsText;
};

Refusal rCheck_Folder(const Fill_Options &options, const QList<Mount_Entry> &lstMounts, const QString &qsFolder,
                      Fill_Volume &volume)
{
    const QFileInfo qFolder_Info(qsFolder);
    if (!qFolder_Info.exists())
        return {iExit_Usage, qsFolder + QStringLiteral(": no such folder")};
    if (!qFolder_Info.isDir())
        return {iExit_Usage, qsFolder + QStringLiteral(": not a folder")};
    volume.qsFolder = qsFolder;
    volume.qsPath = qFolder_Info.canonicalFilePath();
    Mount_Entry entry;
    if (volume.qsPath.isEmpty() || !bFind_Mount(lstMounts, volume.qsPath, entry))
        return {iExit_Unfillable, qsFolder + QStringLiteral(": the file system holding it is not in the mount table")};
    volume.qsMount_Point = entry.qsMount_Point;
    volume.qsDevice = entry.qsSource;
    volume.qsFs_Type = entry.qsFs_Type;
    // Bind mounts and btrfs subvolumes of one device share its free space; sources that are not
    // devices (every tmpfs is "tmpfs") tell nothing, so the mount's own number decides.
    volume.qsIdentity = entry.qsSource.startsWith(QLatin1Char('/')) ? entry.qsSource : entry.qsId;

    if (bMemory_File_System(entry.qsFs_Type) && !options.bAllow_Memory)
        return {iExit_Usage, qsFolder + QStringLiteral(": on ") + entry.qsFs_Type
                    + QStringLiteral(", which lives in memory: zeroing it helps no disk image (--allow-memory fills it anyway)")};
    const QByteArray qbaPath = QFile::encodeName(volume.qsPath);
    struct statvfs sv {};
    if (::statvfs(qbaPath.constData(), &sv) != 0)
        return {iExit_Unfillable, qsFolder + QStringLiteral(": cannot read the free space: ") + qt_error_string(errno)};
    if (sv.f_flag & ST_RDONLY)
        return {iExit_Unfillable, qsFolder + QStringLiteral(": the file system at ") + volume.qsMount_Point
                    + QStringLiteral(" is mounted read-only")};
    if (::faccessat(AT_FDCWD, qbaPath.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return {iExit_Unfillable, qsFolder + QStringLiteral(": no permission to write in this folder")};
    return {};
}

} // namespace

QList<Mount_Entry> lstParse_Mountinfo(const QByteArray &qbaText)
{
    QList<Mount_Entry> lstMounts;
    for (const QByteArray &qbaLine : qbaText.split('\n')) {
        // id parent major:minor root mount-point options [optional fields] - type source super-options
        const QList<QByteArray> lstFields = qbaLine.split(' ');
        const int iDash = int(lstFields.indexOf("-"));
        if (lstFields.size() < 5 || iDash < 6 || iDash + 2 >= lstFields.size())
            continue;
        lstMounts << Mount_Entry{QString::fromLatin1(lstFields.at(2)), qsUnescape(lstFields.at(4)),
                                 qsUnescape(lstFields.at(iDash + 1)), qsUnescape(lstFields.at(iDash + 2))};
    }
    return lstMounts;
}

int iCheck_Folders(const Fill_Options &options, QList<Fill_Volume> &lstVolumes, QString &qsError)
{
    QFile qMountinfo(QStringLiteral("/proc/self/mountinfo"));
    if (!qMountinfo.open(QIODevice::ReadOnly)) {
        qsError = QStringLiteral("cannot read the mount table /proc/self/mountinfo");
        return iExit_Unfillable;
    }
    const QList<Mount_Entry> lstMounts = lstParse_Mountinfo(qMountinfo.readAll());
    lstVolumes.clear();
    for (const QString &qsFolder : options.qslFolders) {
        Fill_Volume volume;
        const Refusal refusal = rCheck_Folder(options, lstMounts, qsFolder, volume);
        if (refusal.iStatus != iExit_Filled) {
            qsError = refusal.qsText;
            return refusal.iStatus;
        }
        for (const Fill_Volume &other : lstVolumes) {
            if (other.qsIdentity == volume.qsIdentity) {
                qsError = other.qsFolder + QStringLiteral(" and ") + qsFolder + QStringLiteral(" are on the same file system (")
                    + volume.qsDevice + QStringLiteral(" at ") + volume.qsMount_Point
                    + QStringLiteral("): name one folder per file system");
                return iExit_Usage;
            }
        }
        lstVolumes << volume;
    }
    return iExit_Filled;
}
