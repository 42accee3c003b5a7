#include "free_space_check.h"

#include "held_volume.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <linux/fsmap.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr unsigned uiRecords_Per_Call = 1024;
// Large reads keep a disk streaming; aligned, as reads past the page cache must be.
constexpr size_t uiRead_Size = 16 * 1024 * 1024;

struct Byte_Range
{
    quint64 uiStart;
    quint64 uiLength;
};

struct Fd_Closer
{
    int iFd;
    ~Fd_Closer()
    {
        if (iFd >= 0)
            ::close(iFd);
    }
};

// The device number as GETFSMAP reports it (FMH_OF_DEV_T): the kernel's 32-bit encoding.
quint32 uiFsmap_Device(dev_t dev)
{
    const quint32 uiMajor = major(dev);
    const quint32 uiMinor = minor(dev);
    return (uiMinor & 0xffu) | (uiMajor << 8) | ((uiMinor & ~0xffu) << 12);
}

// The free extents of the file system on its data device (not an external log), in device
// order, neighbours merged; 0 or the errno of GETFSMAP.
int iFree_Ranges(int iFolder_Fd, dev_t devData, std::vector<Byte_Range> &vRanges)
{
    const std::unique_ptr<fsmap_head, decltype(&std::free)> pHead(
        static_cast<fsmap_head *>(std::calloc(1, fsmap_sizeof(uiRecords_Per_Call))), &std::free);
    pHead->fmh_count = uiRecords_Per_Call;
    fsmap &high = pHead->fmh_keys[1];
    high.fmr_device = high.fmr_flags = ~0u;
    high.fmr_physical = high.fmr_owner = high.fmr_offset = ~0ull;
    for (;;) {
        if (::ioctl(iFolder_Fd, FS_IOC_GETFSMAP, pHead.get()) != 0)
            return errno;
        if (pHead->fmh_entries == 0)
            return 0;
        const bool bDev_T = pHead->fmh_oflags & FMH_OF_DEV_T;
        for (quint32 i = 0; i < pHead->fmh_entries; ++i) {
            const fsmap &r = pHead->fmh_recs[i];
            if (!(r.fmr_flags & FMR_OF_SPECIAL_OWNER) || r.fmr_owner != FMR_OWN_FREE
                || (bDev_T && r.fmr_device != uiFsmap_Device(devData)))
                continue;
            if (!vRanges.empty() && vRanges.back().uiStart + vRanges.back().uiLength == r.fmr_physical)
                vRanges.back().uiLength += r.fmr_length;
            else
                vRanges.push_back({r.fmr_physical, r.fmr_length});
        }
        if (pHead->fmh_recs[pHead->fmh_entries - 1].fmr_flags & FMR_OF_LAST)
            return 0;
        fsmap_advance(pHead.get());
    }
}

bool bAll_Zero(const unsigned char *pData, size_t uiLength)
{
    return uiLength == 0 || (pData[0] == 0 && std::memcmp(pData, pData + 1, uiLength - 1) == 0);
}

} // namespace

int iOpen_Volume_Device(const QString &qsDevice, dev_t devData, QString &qsRefusal)
{
    const QString qsBy_Number = QStringLiteral("/dev/block/%1:%2").arg(major(devData)).arg(minor(devData));
    for (const QString &qsPath : {qsDevice, qsBy_Number}) {
        struct stat st {};
        const QByteArray qbaPath = QFile::encodeName(qsPath);
        if (::stat(qbaPath.constData(), &st) != 0 || !S_ISBLK(st.st_mode) || st.st_rdev != devData)
            continue;
        const int iFd = ::open(qbaPath.constData(), O_RDONLY | O_DIRECT | O_CLOEXEC);
        if (iFd < 0)
            qsRefusal = QStringLiteral("no read access to its device ") + qsPath + QStringLiteral(": ")
                + qt_error_string(errno) + QStringLiteral(" (root has it)");
        return iFd;
    }
    qsRefusal = QStringLiteral("its source ") + qsDevice + QStringLiteral(" is not a block device");
    return -1;
}

Free_Space_Check fscCheck_Free_Space(int iFolder_Fd, const QString &qsDevice,
                                     const std::function<void(quint64, quint64)> &vProgress, quint64 uiMax_Bytes)
{
    Free_Space_Check check;
    QElapsedTimer qTimer;
    qTimer.start();
    const Fd_Closer folder{::fcntl(iFolder_Fd, F_DUPFD_CLOEXEC, 0)};
    struct stat st {};
    if (folder.iFd < 0 || ::fstat(folder.iFd, &st) != 0) {
        check.qsRefusal = QStringLiteral("cannot open the folder: ") + qt_error_string(errno);
        return check;
    }
    const Volume_Kind &vk = vkKind_Of(folder.iFd);
    if (!vk.bFree_Map) {
        check.qsRefusal = QStringLiteral("the file system (") + QLatin1String(vk.pcName)
            + QStringLiteral(") does not list where its free space lies (GETFSMAP, which ext4 and xfs have)");
        return check;
    }
    // Blocks of files deleted just now count as free only once the file system has committed.
    ::syncfs(folder.iFd);
    std::vector<Byte_Range> vRanges;
    const int iError = iFree_Ranges(folder.iFd, st.st_dev, vRanges);
    if (iError == EPERM || iError == EACCES) {
        check.qsRefusal = QStringLiteral("not allowed to list where its free space lies (GETFSMAP; root is)");
        return check;
    }
    if (iError != 0) {
        check.qsRefusal = QStringLiteral("the file system does not list where its free space lies "
                                         "(GETFSMAP, which ext4 and xfs have and btrfs has not)");
        return check;
    }
    const Fd_Closer device{iOpen_Volume_Device(qsDevice, st.st_dev, check.qsRefusal)};
    if (device.iFd < 0)
        return check;

    quint64 uiTotal = 0;
    for (const Byte_Range &range : vRanges)
        uiTotal += range.uiLength;
    uiTotal = std::min(uiTotal, uiMax_Bytes);
    void *pBuffer = nullptr;
    if (::posix_memalign(&pBuffer, uiCheck_Block, uiRead_Size) != 0) {
        check.qsRefusal = QStringLiteral("no memory for the reads");
        return check;
    }
    const std::unique_ptr<unsigned char, decltype(&std::free)> pData(static_cast<unsigned char *>(pBuffer), &std::free);
    quint64 uiDone = 0;
    for (const Byte_Range &range : vRanges) {
        quint64 uiPos = range.uiStart;
        const quint64 uiEnd = range.uiStart + std::min(range.uiLength, uiTotal - uiDone);
        while (uiPos < uiEnd) {
            const ssize_t iGot = ::pread(device.iFd, pData.get(), size_t(std::min<quint64>(uiRead_Size, uiEnd - uiPos)),
                                         off_t(uiPos));
            if (iGot < 0 && errno == EINTR)
                continue;
            if (iGot <= 0) {
                check.qsRefusal = QStringLiteral("reading its device at byte %1 failed: ").arg(uiPos) + qt_error_string(errno);
                return check;
            }
            for (quint64 uiAt = 0; uiAt < quint64(iGot); uiAt += uiCheck_Block) {
                ++check.uiBlocks_Read;
                if (!bAll_Zero(pData.get() + uiAt, size_t(std::min<quint64>(uiCheck_Block, quint64(iGot) - uiAt))))
                    ++check.uiBlocks_Not_Zero;
            }
            uiPos += quint64(iGot);
            uiDone += quint64(iGot);
            if (vProgress)
                vProgress(uiDone, uiTotal);
        }
        if (uiDone >= uiTotal)
            break;
    }
    check.dSeconds = qTimer.nsecsElapsed() / 1e9;
    return check;
}
