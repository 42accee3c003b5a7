#include "zero_writer.h"

#include "held_volume.h"
#include "no_cow_folder.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Direct writes this large make the allocator place the file as it places one written through
// the cache and flushed at the end; smaller ones leave other blocks free when the device fills.
constexpr qint64 iDirect_Block_Bytes = 64 * 1024 * 1024;
// Through the cache, the size a plain copy of /dev/zero uses; larger where each block's writeback
// is started at once, which then keeps the disk busy with fewer calls.
constexpr qint64 iBuffered_Block_Bytes = 1024 * 1024;
constexpr qint64 iWriteback_Block_Bytes = 8 * 1024 * 1024;
constexpr qint64 iPage_Bytes = 4096;

const char *pZeros()
{
    static char *const pBuffer = []() {
        auto *p = static_cast<char *>(std::aligned_alloc(iPage_Bytes, iDirect_Block_Bytes));
        std::memset(p, 0, iDirect_Block_Bytes);
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

bool Zero_Writer::bOpen(const QString &qsFile_Name, bool bAppend, int iFolder_Fd)
{
    // A scratch file is always new, or the run's own file grown further: a name planted
    // meanwhile, a link above all, must never be emptied or written through.
    return bAdopt(::openat(iFolder_Fd, QFile::encodeName(qsFile_Name).constData(),
                           O_WRONLY | O_CLOEXEC | O_NOFOLLOW | (bAppend ? O_APPEND : O_CREAT | O_EXCL), 0666),
                  bAppend);
}

bool Zero_Writer::bAdopt(int iFd, bool bAppend)
{
    m_iFd = iFd;
    if (m_iFd < 0)
        return false;
    struct stat st {};
    m_iSize = bAppend && ::fstat(m_iFd, &st) == 0 ? st.st_size : 0;
    // What the file system needs of a writer (see Volume_Kind): direct writes where they land
    // where a buffered writer's would, a range allocated ahead where they keep their place only so.
    const Volume_Kind &vk = vkKind_Of(m_iFd);
    if (vk.bDirect_Writes || (vk.bNo_Cow && bNo_Cow_File(m_iFd))) {
        const int iFlags = ::fcntl(m_iFd, F_GETFL);
        m_bDirect = iFlags >= 0 && ::fcntl(m_iFd, F_SETFL, iFlags | O_DIRECT) == 0;
        if (m_bDirect)
            m_iAlign = iDirect_Alignment(m_iFd);
        m_bAllocate_Ahead = m_bDirect && vk.bAllocate_Ahead;
    }
    // Elsewhere the writeback started at once would make the allocator place the file differently.
    m_bStart_Writeback = vk.bStart_Writeback && !m_bDirect;
    return true;
}

void Zero_Writer::vStop_Direct()
{
    const int iFlags = ::fcntl(m_iFd, F_GETFL);
    ::fcntl(m_iFd, F_SETFL, iFlags & ~O_DIRECT);
    m_bDirect = false;
}

void Zero_Writer::vAllocate_Ahead(qint64 iEnd)
{
    m_bAllocate_Ahead = false;
    // Past the file's size, so that what is never written is given back at the finish. A range
    // the device cannot hold is written through the cache, which reaches its last blocks.
    if (::fallocate(m_iFd, FALLOC_FL_KEEP_SIZE, m_iSize, iEnd - m_iSize) != 0)
        vStop_Direct();
    else
        m_iAllocated_End = iEnd;
}

qint64 Zero_Writer::iWrite_Block(qint64 iEnd)
{
    if (m_bAllocate_Ahead && iEnd > m_iSize)
        vAllocate_Ahead(iEnd);
    while (m_iSize < iEnd) {
        qint64 iBlock = m_bDirect ? iDirect_Block_Bytes
                        : m_bStart_Writeback ? iWriteback_Block_Bytes : iBuffered_Block_Bytes;
        iBlock = std::min(iBlock, m_iBlock_Cap);
        if (m_iBlock_Limit > 0)
            iBlock = std::min(iBlock, m_iBlock_Limit);
        qint64 iBytes = std::min(iBlock, iEnd - m_iSize);
        // The unaligned tail of the file goes through the cache.
        if (m_bDirect && (m_iSize % m_iAlign != 0 || iBytes < m_iAlign))
            vStop_Direct();
        if (m_bDirect)
            iBytes -= iBytes % m_iAlign;
        errno = 0;
        const ssize_t iDone = ::write(m_iFd, pZeros(), size_t(iBytes));
        if (iDone < 0 && errno == EINTR)
            continue;
        // A full device for a large direct write may still take the smaller pieces a buffered
        // writer would put there: the rest of the file goes through the cache, as one such
        // writer's would.
        if (iDone < 0 && m_bDirect && bDevice_Full(errno)) {
            vStop_Direct();
            continue;
        }
        // A block the device has no room for may still leave room for smaller ones: the file
        // system keeps back a worst-case reserve for each large write that a page does not need.
        if (iDone < 0 && bDevice_Full(errno) && iBytes > iPage_Bytes) {
            m_iBlock_Cap = std::max(iPage_Bytes, iBytes / 2);
            continue;
        }
        if (iDone <= 0)
            return iDone;
        if (m_bStart_Writeback)
            ::sync_file_range(m_iFd, m_iSize, iDone, SYNC_FILE_RANGE_WRITE);
        m_iSize += iDone;
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
