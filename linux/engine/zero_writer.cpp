#include "zero_writer.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// Large writes keep the disk busy; a multiple of every direct-write alignment in use.
constexpr qint64 iBlock_Bytes = 8 * 1024 * 1024;
constexpr qint64 iPage_Bytes = 4096;
constexpr long lXfs_Super_Magic = 0x58465342;
constexpr long lBtrfs_Super_Magic = 0x9123683e;
constexpr long lTmpfs_Magic = 0x01021994;

const char *pZeros()
{
    static char *const pBuffer = []() {
        auto *p = static_cast<char *>(std::aligned_alloc(iPage_Bytes, iBlock_Bytes));
        std::memset(p, 0, iBlock_Bytes);
        return p;
    }();
    return pBuffer;
}

bool bDevice_Full(int iErrno)
{
    return iErrno == ENOSPC || iErrno == EDQUOT;
}

// The offset and size alignment direct writes need on this file, at least a page.
qint64 iDirect_Alignment(int iFd)
{
    struct statx stx {};
    if (::statx(iFd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &stx) == 0 && (stx.stx_mask & STATX_DIOALIGN) != 0)
        return std::max<qint64>({iPage_Bytes, stx.stx_dio_offset_align, stx.stx_dio_mem_align});
    return iPage_Bytes;
}

} // namespace

Zero_Writer::~Zero_Writer()
{
    if (m_iFd >= 0)
        ::close(m_iFd);
}

bool Zero_Writer::bOpen(const QString &qsFile_Name)
{
    m_iFd = ::open(QFile::encodeName(qsFile_Name).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_iFd < 0)
        return false;
    struct statfs sfs {};
    const long lType = ::fstatfs(m_iFd, &sfs) == 0 ? long(sfs.f_type) : 0;
    // tmpfs has no device to bypass the cache for; btrfs checksums and copies direct writes
    // through its own buffers and gains nothing from them.
    if (lType != lBtrfs_Super_Magic && lType != lTmpfs_Magic) {
        const int iFlags = ::fcntl(m_iFd, F_GETFL);
        m_bDirect = iFlags >= 0 && ::fcntl(m_iFd, F_SETFL, iFlags | O_DIRECT) == 0;
        if (m_bDirect)
            m_iAlign = iDirect_Alignment(m_iFd);
    }
    // Buffered, the writeback of each block starts at once: the disk stays busy while the next
    // block is copied, and the closing fsync has little to wait for. Not on xfs: blocks written
    // back while the file grows take speculative preallocations with them that stay unwritten
    // when the device fills.
    m_bStart_Writeback = !m_bDirect && lType != lXfs_Super_Magic;
    return true;
}

qint64 Zero_Writer::iWrite_Chunk(qint64 iBytes)
{
    const bool bAligned = m_iSize % m_iAlign == 0 && iBytes >= m_iAlign;
    if (m_bDirect && !bAligned) {
        // The tail of the file: a normal write, from here on.
        const int iFlags = ::fcntl(m_iFd, F_GETFL);
        ::fcntl(m_iFd, F_SETFL, iFlags & ~O_DIRECT);
        m_bDirect = false;
    }
    if (m_bDirect)
        iBytes -= iBytes % m_iAlign;
    const ssize_t iDone = ::write(m_iFd, pZeros(), size_t(iBytes));
    if (iDone > 0 && m_bStart_Writeback)
        ::sync_file_range(m_iFd, m_iSize, iDone, SYNC_FILE_RANGE_WRITE);
    if (iDone > 0)
        m_iSize += iDone;
    return iDone;
}

qint64 Zero_Writer::iWrite_Block(qint64 iEnd)
{
    // Near a full device a large write fails where smaller ones still fit: halve down to one
    // block before calling the device full, as a single writer filling it would get that far.
    const qint64 iSmallest = m_bDirect ? m_iAlign : iPage_Bytes;
    qint64 iChunk = iBlock_Bytes;
    while (m_iSize < iEnd) {
        errno = 0;
        const qint64 iDone = iWrite_Chunk(std::min(iChunk, iEnd - m_iSize));
        if (iDone > 0)
            return iDone;
        if (iDone < 0 && errno == EINTR)
            continue;
        if (iDone < 0 && bDevice_Full(errno) && iChunk > iSmallest) {
            iChunk = std::max(iSmallest, iChunk / 2);
            continue;
        }
        return iDone;
    }
    return 0;
}

bool Zero_Writer::bFinish()
{
    // Setting the size it already has makes xfs give back the blocks it reserved past the end of
    // the file, which would otherwise stay allocated, unwritten, until the file is deleted.
    ::ftruncate(m_iFd, m_iSize);
    errno = 0;
    const bool bFlushed = ::fsync(m_iFd) == 0;
    const int iErrno = errno;
    ::close(m_iFd);
    m_iFd = -1;
    errno = iErrno;
    return bFlushed;
}
