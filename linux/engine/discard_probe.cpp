#include "discard_probe.h"

#include "free_space_check.h"
#include "no_cow_folder.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/btrfs_tree.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Large enough to span whole discard granules of thin pools and qcow2 clusters, small enough to
// cost nothing on any volume worth zeroing.
constexpr quint64 uiMarker_Bytes = 4 * 1024 * 1024;
constexpr quint64 uiBlock = 4096;
constexpr unsigned uiMax_Extents = 256;
constexpr quint64 uiMin_Granule = 1024 * 1024;

// Where a piece of the marker lies: its offset in the file and on the device.
struct Marker_Piece
{
    quint64 uiFile;
    quint64 uiDevice;
    quint64 uiLength;
};

struct Fd_Owner
{
    int iFd = -1;
    ~Fd_Owner()
    {
        if (iFd >= 0)
            ::close(iFd);
    }
};

// The marker's extents as the file system reports them; an error text when one is not plain data
// at a known place (compressed, encrypted, inline, not yet placed).
QString qsMarker_Extents(int iFd, std::vector<Marker_Piece> &vPieces)
{
    const size_t uiSize = sizeof(fiemap) + uiMax_Extents * sizeof(fiemap_extent);
    const std::unique_ptr<fiemap, decltype(&std::free)> pMap(static_cast<fiemap *>(std::calloc(1, uiSize)), &std::free);
    pMap->fm_length = ~0ull;
    pMap->fm_flags = FIEMAP_FLAG_SYNC;
    pMap->fm_extent_count = uiMax_Extents;
    if (::ioctl(iFd, FS_IOC_FIEMAP, pMap.get()) != 0)
        return QStringLiteral("the file system does not say where a file's blocks lie (FIEMAP: ") + qt_error_string(errno) + ')';
    constexpr quint32 uiNot_Plain = FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_ENCODED
        | FIEMAP_EXTENT_DATA_ENCRYPTED | FIEMAP_EXTENT_NOT_ALIGNED | FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_UNWRITTEN;
    for (quint32 i = 0; i < pMap->fm_mapped_extents; ++i) {
        const fiemap_extent &e = pMap->fm_extents[i];
        if (e.fe_logical >= uiMarker_Bytes)
            break;  // room the file system keeps past the end (xfs)
        if (e.fe_flags & uiNot_Plain)
            return QStringLiteral("the file system stores the marker transformed (extent flags %1)").arg(e.fe_flags, 0, 16);
        vPieces.push_back({e.fe_logical, e.fe_physical, std::min<quint64>(e.fe_length, uiMarker_Bytes - e.fe_logical)});
    }
    return vPieces.empty() ? QStringLiteral("the file system placed the marker nowhere") : QString();
}

// The chunk of btrfs's address space that holds uiAddress: the last one starting at or below it.
// False with errno when the tree cannot be searched.
bool bBtrfs_Chunk(int iFolder_Fd, quint64 uiAddress, btrfs_chunk &chunk, quint64 &uiChunk_Start)
{
    btrfs_ioctl_search_args search {};
    btrfs_ioctl_search_key &key = search.key;
    key.tree_id = BTRFS_CHUNK_TREE_OBJECTID;
    key.min_objectid = key.max_objectid = BTRFS_FIRST_CHUNK_TREE_OBJECTID;
    key.min_type = key.max_type = BTRFS_CHUNK_ITEM_KEY;
    key.max_offset = uiAddress;
    key.max_transid = ~0ull;
    for (;;) {
        key.nr_items = 4096;
        if (::ioctl(iFolder_Fd, BTRFS_IOC_TREE_SEARCH, &search) != 0)
            return false;
        if (key.nr_items == 0)
            return true;
        size_t uiAt = 0;
        for (quint32 i = 0; i < key.nr_items; ++i) {
            btrfs_ioctl_search_header header;
            std::memcpy(&header, search.buf + uiAt, sizeof header);
            std::memcpy(&chunk, search.buf + uiAt + sizeof header, std::min<size_t>(sizeof chunk, header.len));
            uiChunk_Start = header.offset;
            uiAt += sizeof header + header.len;
        }
        if (uiChunk_Start >= uiAddress)
            return true;
        key.min_offset = uiChunk_Start + 1;
    }
}

// btrfs reports addresses in its own space: each lies in a chunk whose first stripe says where on
// which device. Only one device, and a profile that keeps each copy whole on it (single, DUP).
QString qsBtrfs_To_Device(int iFolder_Fd, std::vector<Marker_Piece> &vPieces, QString &qsDevice)
{
    btrfs_ioctl_fs_info_args info {};
    if (::ioctl(iFolder_Fd, BTRFS_IOC_FS_INFO, &info) != 0)
        return QStringLiteral("btrfs does not say its devices: ") + qt_error_string(errno);
    if (info.num_devices != 1)
        return QStringLiteral("btrfs spans %1 devices").arg(info.num_devices);
    for (Marker_Piece &piece : vPieces) {
        btrfs_chunk chunk {};
        quint64 uiChunk_Start = ~0ull;
        if (!bBtrfs_Chunk(iFolder_Fd, piece.uiDevice, chunk, uiChunk_Start))
            return QStringLiteral("btrfs does not show its chunk tree: ") + qt_error_string(errno);
        const btrfs_chunk *pChunk = uiChunk_Start == ~0ull ? nullptr : &chunk;
        if (pChunk == nullptr || piece.uiDevice + piece.uiLength > uiChunk_Start + pChunk->length)
            return QStringLiteral("btrfs's chunk tree has no chunk holding the marker");
        if (pChunk->type & BTRFS_BLOCK_GROUP_PROFILE_MASK & ~quint64(BTRFS_BLOCK_GROUP_DUP))
            return QStringLiteral("btrfs spreads this data over stripes (profile %1)").arg(pChunk->type, 0, 16);
        piece.uiDevice = pChunk->stripe.offset + (piece.uiDevice - uiChunk_Start);
        btrfs_ioctl_dev_info_args dev {};
        dev.devid = pChunk->stripe.devid;
        if (::ioctl(iFolder_Fd, BTRFS_IOC_DEV_INFO, &dev) != 0)
            return QStringLiteral("btrfs does not name its device: ") + qt_error_string(errno);
        qsDevice = QFile::decodeName(reinterpret_cast<const char *>(dev.path));
    }
    return QString();
}

// The device's discard granule, at least 1 MiB: blocks in a partial one may keep their data
// whatever a discard does, and a qcow2 disk announces less than its cluster of 64 KiB.
quint64 uiGranule(int iDevice_Fd)
{
    struct stat st {};
    ::fstat(iDevice_Fd, &st);
    const QString qsBase = QStringLiteral("/sys/dev/block/%1:%2/").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
    for (const QString &qsQueue : {QStringLiteral("queue"), QStringLiteral("../queue")}) {
        QFile qFile(qsBase + qsQueue + QStringLiteral("/discard_granularity"));
        if (qFile.open(QIODevice::ReadOnly))
            return std::max<quint64>(uiMin_Granule, qFile.readAll().trimmed().toULongLong());
    }
    return uiMin_Granule;
}

struct Seen
{
    quint64 uiMarker = 0;
    quint64 uiZeros = 0;
    quint64 uiOther = 0;
    quint64 uiBlocks() const { return uiMarker + uiZeros + uiOther; }
};

// Reads the marker's blocks that fill whole granules from the device and sorts them by what they hold.
QString qsRead_Marker(int iDevice, const std::vector<Marker_Piece> &vPieces, quint64 uiGranule_Bytes,
                      const QByteArray &qbaMarker, Seen &seen)
{
    void *pBuffer = nullptr;
    if (::posix_memalign(&pBuffer, uiBlock, uiMarker_Bytes) != 0)
        return QStringLiteral("no memory for the reads");
    const std::unique_ptr<char, decltype(&std::free)> pData(static_cast<char *>(pBuffer), &std::free);
    static const QByteArray qbaZero(int(uiBlock), '\0');
    seen = Seen();
    for (const Marker_Piece &piece : vPieces) {
        const quint64 uiStart = (piece.uiDevice + uiGranule_Bytes - 1) / uiGranule_Bytes * uiGranule_Bytes;
        const quint64 uiEnd = (piece.uiDevice + piece.uiLength) / uiGranule_Bytes * uiGranule_Bytes;
        if (uiEnd <= uiStart)
            continue;
        const ssize_t iGot = ::pread(iDevice, pData.get(), size_t(uiEnd - uiStart), off_t(uiStart));
        if (iGot != ssize_t(uiEnd - uiStart))
            return QStringLiteral("reading the device at byte %1 failed: ").arg(uiStart) + qt_error_string(errno);
        for (quint64 uiAt = 0; uiAt < quint64(iGot); uiAt += uiBlock) {
            const char *pBlock = pData.get() + uiAt;
            const quint64 uiFile = piece.uiFile + (uiStart + uiAt - piece.uiDevice);
            if (std::memcmp(pBlock, qbaMarker.constData() + uiFile, uiBlock) == 0)
                ++seen.uiMarker;
            else if (std::memcmp(pBlock, qbaZero.constData(), uiBlock) == 0)
                ++seen.uiZeros;
            else
                ++seen.uiOther;
        }
    }
    return QString();
}

// Writes the marker as a file without a name in the folder; its extents in vPieces, on the device
// qsDevice names (changed on btrfs). Empty, or why the marker cannot show anything.
QString qsPlace_Marker(int iFolder_Fd, const QByteArray &qbaMarker, Fd_Owner &marker,
                       std::vector<Marker_Piece> &vPieces, QString &qsDevice)
{
    marker.iFd = ::openat(iFolder_Fd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (marker.iFd < 0)
        return QStringLiteral("cannot write a marker in the folder: ") + qt_error_string(errno);
    // btrfs: written in place, with no checksums to add to its trees nor compression. On the
    // device once FIEMAP has synced it; no fsync, whose log btrfs would write besides.
    bMake_No_Cow_Folder(marker.iFd);
    if (::pwrite(marker.iFd, qbaMarker.constData(), size_t(qbaMarker.size()), 0) != qbaMarker.size())
        return QStringLiteral("cannot write a marker in the folder: ") + qt_error_string(errno);
    QString qsWhy = qsMarker_Extents(marker.iFd, vPieces);
    struct statfs sf {};
    if (qsWhy.isEmpty() && ::fstatfs(iFolder_Fd, &sf) == 0 && sf.f_type == BTRFS_SUPER_MAGIC)
        qsWhy = qsBtrfs_To_Device(iFolder_Fd, vPieces, qsDevice);
    return qsWhy;
}

} // namespace

Discard_Probe dpProbe_Discard(int iFolder_Fd, const QString &qsDevice)
{
    Discard_Probe probe;
    if (::geteuid() != 0) {
        probe.trim.qsRefusal = QStringLiteral("a discard needs root (FITRIM), and so does reading the device to see what it left");
        return probe;
    }
    // Random, so that no file system stores it smaller than it is.
    QByteArray qbaMarker(int(uiMarker_Bytes), Qt::Uninitialized);
    QRandomGenerator::securelySeeded().fillRange(reinterpret_cast<quint32 *>(qbaMarker.data()), qbaMarker.size() / 4);
    Fd_Owner marker;
    std::vector<Marker_Piece> vPieces;
    QString qsDevice_Path = qsDevice;
    probe.qsWhy = qsPlace_Marker(iFolder_Fd, qbaMarker, marker, vPieces, qsDevice_Path);
    Fd_Owner device;
    Seen seen;
    if (probe.qsWhy.isEmpty()) {
        struct stat st {};
        struct stat stDevice {};
        const QByteArray qbaPath = QFile::encodeName(qsDevice_Path);
        // btrfs numbers its volume apart from its device: the device it named is the one to read.
        const dev_t devData = ::fstat(iFolder_Fd, &st) == 0 && major(st.st_dev) == 0 && ::stat(qbaPath.constData(), &stDevice) == 0
            ? stDevice.st_rdev
            : st.st_dev;
        device.iFd = iOpen_Volume_Device(qsDevice_Path, devData, probe.qsWhy);
    }
    const quint64 uiGranule_Bytes = device.iFd >= 0 ? uiGranule(device.iFd) : uiBlock;
    if (device.iFd >= 0)
        probe.qsWhy = qsRead_Marker(device.iFd, vPieces, uiGranule_Bytes, qbaMarker, seen);
    if (probe.qsWhy.isEmpty() && seen.uiBlocks() == 0)
        probe.qsWhy = QStringLiteral("the marker fills no whole discard granule of %1 bytes").arg(uiGranule_Bytes);
    else if (probe.qsWhy.isEmpty() && seen.uiMarker != seen.uiBlocks())
        probe.qsWhy = QStringLiteral("the device does not hold the marker where the file system placed it");
    // Freed now, not by a later clean-up of the file system's own (xfs frees a closed file in the
    // background), and committed by the discard's sync, so that its blocks count as free.
    if (marker.iFd >= 0)
        ::ftruncate(marker.iFd, 0);
    ::close(marker.iFd);
    marker.iFd = -1;
    probe.trim = vtTrim_Volume(iFolder_Fd);
    if (!probe.qsWhy.isEmpty() || !probe.trim.bDone())
        return probe;
    const quint64 uiBlocks = seen.uiBlocks();
    probe.qsWhy = qsRead_Marker(device.iFd, vPieces, uiGranule_Bytes, qbaMarker, seen);
    if (!probe.qsWhy.isEmpty())
        return probe;
    probe.eReads = seen.uiZeros == uiBlocks ? Discard_Reads::Zeros : Discard_Reads::Old_Data;
    probe.qsWhy = QStringLiteral("%1 of %2 blocks of a marker written, freed and discarded read back zeros")
                      .arg(seen.uiZeros)
                      .arg(uiBlocks);
    return probe;
}
