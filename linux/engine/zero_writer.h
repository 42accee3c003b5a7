#ifndef ZERO_WRITER_H
#define ZERO_WRITER_H

#include <QString>
#include <QtGlobal>

#include <algorithm>

#include <fcntl.h>

// One scratch file of zeros. Where it leaves no more blocks unwritten than a buffered writer, the
// zeros go past the page cache (O_DIRECT, large aligned writes): a fill of gigabytes then never
// floods the cache with dirty pages that stall every other program's writes. The unaligned tail
// and the last pieces before a full device go through normal writes.
class Zero_Writer
{
public:
    Zero_Writer() = default;
    ~Zero_Writer();
    Zero_Writer(const Zero_Writer &) = delete;
    Zero_Writer &operator=(const Zero_Writer &) = delete;

    // Creates qsFile_Name, a new file, for writing, or with bAppend opens it to write after its
    // end; a relative name is taken in the folder iFolder_Fd. False with errno set when it cannot
    // be opened.
    bool bOpen(const QString &qsFile_Name, bool bAppend = false, int iFolder_Fd = AT_FDCWD);
    // Takes over iFd, a file open for writing (after its end with bAppend); false when iFd < 0.
    bool bAdopt(int iFd, bool bAppend);
    // Appends one block of zeros, never past iEnd (the size the file is to have). Returns the
    // bytes added; 0 or less when the device is full or failed, errno telling which.
    qint64 iWrite_Block(qint64 iEnd);
    // Bytes the file holds so far.
    qint64 iSize() const { return m_iSize; }
    // True when the zeros bypass the page cache.
    bool bDirect() const { return m_bDirect; }
    // Writes no block larger than iBytes (at least a page) from now on; 0 lifts the limit.
    void vLimit_Block(qint64 iBytes) { m_iBlock_Limit = iBytes > 0 ? std::max<qint64>(4096, iBytes) : 0; }
    // The end of the range the file system set aside for the file ahead of its writes; 0 if none.
    qint64 iAllocated_End() const { return m_iAllocated_End; }
    // Gives back what the file system reserved past the end, makes the data reach the device and
    // closes the file; false with errno set when the flush failed.
    bool bFinish();

private:
    void vStop_Direct();
    void vAllocate_Ahead(qint64 iEnd);

    int m_iFd = -1;
    bool m_bDirect = false;
    bool m_bStart_Writeback = false;
    bool m_bAllocate_Ahead = false;
    qint64 m_iBlock_Cap = 64 * 1024 * 1024;
    qint64 m_iAlign = 4096;
    qint64 m_iSize = 0;
    qint64 m_iAllocated_End = 0;
    qint64 m_iBlock_Limit = 0;
};

#endif // ZERO_WRITER_H
