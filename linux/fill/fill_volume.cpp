#include "fill_volume.h"

#include "fill_progress.h"
#include "held_volume.h"


#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A problem with one folder: its exit status and the line for standard error.
struct Refusal
{
    int iStatus = iExit_Filled;
    QString qsText;
    bool bSkip = false;  // not a fault: the volume is passed over and the others run
};

// File systems whose zeros reach no disk image of this machine's own: memory, an overlay (its
// writes land on another file system, in a container often the host's), a server or a process.
Refusal rCheck_Type(const Fill_Options &options, const QString &qsFolder, const Volume_Identity &vi)
{
    const QString qsOn = qsFolder + QStringLiteral(": on ") + vi.qsFs_Type;
    switch (vi.ePlace) {
    case Volume_Place::Disk:
        break;
    case Volume_Place::Memory:
        if (!options.bAllow_Memory)
            return {iExit_Usage, qsOn + QStringLiteral(", which lives in memory: zeroing it helps no disk image (--allow-memory fills it anyway)")};
        break;
    case Volume_Place::Overlay:
        if (!options.bAllow_Overlay)
            return {iExit_Usage, qsOn + QStringLiteral(", whose writes land on its upper layer's file system (") + vi.qsUpper_Fs_Type
                        + QStringLiteral("), not on a disk of this volume's own (--allow-overlay fills it anyway)")};
        break;
    case Volume_Place::Network:
        if (!options.bAllow_Remote)
            return {iExit_Usage, qsOn + QStringLiteral(", a network file system whose data lives on another machine: "
                                                       "zeroing it helps no disk image here (--allow-remote fills it anyway)")};
        break;
    case Volume_Place::Fuse:
        // A FUSE program keeps its data where it likes, a local device included: it is named, not guessed at.
        if (!options.bAllow_Remote)
            return {iExit_Usage, qsOn + QStringLiteral(", a FUSE file system served by the program ")
                        + (vi.qsFs_Type.contains(QLatin1Char('.')) ? vi.qsFs_Type.section(QLatin1Char('.'), 1) : vi.qsSource)
                        + QStringLiteral(", whose writes reach a disk only as that program decides: zeroing it may help no "
                                         "disk image (--allow-remote fills it anyway)")};
        break;
    }
    return {};
}

// --keep-free in bytes for this volume; skipped when more than is available now, as the run could
// then only stand by: a nearly full volume is no fault of the run's.
Refusal rCheck_Keep_Free(const Fill_Options &options, const Volume_Space &vs, Fill_Volume &volume)
{
    if (!options.bKeep_Free)
        return {};
    const qint64 iAvailable = qint64(vs.dAvailable());
    volume.iKeep_Free = options.dKeep_Free_Percent > 0
        ? qint64(vs.dSize() * options.dKeep_Free_Percent / 100)
        : options.iKeep_Free_Bytes;
    if (volume.iKeep_Free <= iAvailable)
        return {};
    return {iExit_Filled, QStringLiteral("--keep-free asks to leave ") + qsBytes(double(volume.iKeep_Free))
                + QStringLiteral(" available, more than the ") + qsBytes(double(iAvailable)) + QStringLiteral(" available now"),
            true};
}

// Folders whose files do not take the zeros as written: encrypted (ciphertext reaches the disk) or,
// on btrfs, compressed (zeros take no blocks). Both are marks of the folder, not of the volume.
Refusal rCheck_Zeros_Land(const QString &qsFolder, int iFd, const Volume_Identity &vi)
{
    auto qsInstead = [&vi](const QString &qsNot) {
        return QStringLiteral("; name a folder of the same file system that is not ") + qsNot + QStringLiteral(", such as its top ")
            + vi.qsMount_Point + QStringLiteral(" if that is not");
    };
    struct statx stx {};
    if (::statx(iFd, "", AT_EMPTY_PATH, 0, &stx) == 0 && (stx.stx_attributes_mask & STATX_ATTR_ENCRYPTED)
        && (stx.stx_attributes & STATX_ATTR_ENCRYPTED))
        return {iExit_Usage, qsFolder + QStringLiteral(": encrypted (fscrypt): zeros written in it reach the disk as ciphertext")
                    + qsInstead(QStringLiteral("encrypted"))};
    int iFlags = 0;
    // Where scratch files are kept NOCOW (btrfs), a folder that compresses its files cannot have them.
    if (vkKind_Of(iFd).bNo_Cow && ::ioctl(iFd, FS_IOC_GETFLAGS, &iFlags) == 0 && (iFlags & FS_COMPR_FL))
        return {iExit_Usage, qsFolder + QStringLiteral(": its files are compressed (chattr +c): zeros written in it take no blocks")
                    + qsInstead(QStringLiteral("marked so"))};
    return {};
}

// The folder's path with links resolved, as the kernel names the folder open as iFd.
QString qsResolved(int iFd)
{
    char acPath[PATH_MAX] = {};
    const ssize_t iLength = ::readlink(QByteArray("/proc/self/fd/" + QByteArray::number(iFd)).constData(), acPath, sizeof acPath);
    return iLength <= 0 ? QString() : qsFile_Name(QByteArray(acPath, int(iLength)));
}

Refusal rCheck_Folder(const Fill_Options &options, const QString &qsFolder, Fill_Volume &volume)
{
    // Opened once, by the bytes given; from here on only this handle is used.
    int iFd = ::open(qbaFile_Name(qsFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (iFd < 0 && errno == ENOENT)
        return {iExit_Usage, qsFolder + QStringLiteral(": no such folder")};
    if (iFd < 0 && errno == ENOTDIR)
        return {iExit_Usage, qsFolder + QStringLiteral(": not a folder")};
    if (iFd < 0)
        return {iExit_Unfillable, qsFolder + QStringLiteral(": cannot open it: ") + qt_error_string(errno)};
    volume.pHeld = std::make_shared<const Held_Volume>(iFd, viVolume_Of(iFd));
    ::close(iFd);
    iFd = volume.iFd();
    volume.qsFolder = qsFolder;
    volume.qsPath = qsResolved(iFd);
    volume.vi = volume.pHeld->vi();
    const Volume_Space vs = vsSpace_Of(iFd);
    const bool bStat = vs.bKnown;
    const int iErrno = errno;
    if (!volume.vi.bKnown())
        return {iExit_Unfillable, qsFolder + QStringLiteral(": the file system holding it is not in the mount table")};
    const Refusal refusal = rCheck_Type(options, qsFolder, volume.vi);
    if (refusal.iStatus != iExit_Filled)
        return refusal;
    if (!bStat)
        return {iExit_Unfillable, qsFolder + QStringLiteral(": cannot read the free space: ") + qt_error_string(iErrno)};
    if (vs.bRead_Only)
        return {iExit_Unfillable, qsFolder + QStringLiteral(": the file system at ") + volume.vi.qsMount_Point
                    + QStringLiteral(" is mounted read-only")};
    if (::faccessat(iFd, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return {iExit_Unfillable, qsFolder + (errno == EROFS ? QStringLiteral(": read-only (a read-only snapshot or subvolume)")
                                                             : QStringLiteral(": no permission to write in this folder"))};
    const Refusal refusal_Zeros = rCheck_Zeros_Land(qsFolder, iFd, volume.vi);
    return refusal_Zeros.iStatus != iExit_Filled ? refusal_Zeros : rCheck_Keep_Free(options, vs, volume);
}

} // namespace

int iCheck_Folders(const Fill_Options &options, QList<Fill_Volume> &lstVolumes, QString &qsError)
{
    lstVolumes.clear();
    for (const QString &qsFolder : options.qslFolders) {
        Fill_Volume volume;
        const Refusal refusal = rCheck_Folder(options, qsFolder, volume);
        if (refusal.bSkip)
            volume.qsSkipped = refusal.qsText;
        if (refusal.iStatus != iExit_Filled) {
            qsError = refusal.qsText;
            return refusal.iStatus;
        }
        for (const Fill_Volume &other : lstVolumes) {
            if (other.vi.qsKey() == volume.vi.qsKey()) {
                qsError = other.qsFolder + QStringLiteral(" and ") + qsFolder + QStringLiteral(" are on the same file system (")
                    + volume.vi.qsSource + QStringLiteral(" at ") + volume.vi.qsMount_Point
                    + QStringLiteral("): name one folder per file system");
                return iExit_Usage;
            }
        }
        lstVolumes << volume;
    }
    return iExit_Filled;
}
