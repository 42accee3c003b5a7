#include "zero_fill.h"

#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr quint32 uiMax_File_Size = 2147483648u;
// Large writes keep the disk busy; a multiple of 4, so every file stays whole 32-bit zeros.
constexpr qint64 iBlock_Bytes = 4 * 1024 * 1024;
// Steps in a row that leave the free space where it was before the run counts as stuck.
constexpr int iMax_Idle_Steps = 3;
constexpr long lXfs_Super_Magic = 0x58465342;
// Bounds the top-up on a file system that keeps taking a little more after each flush.
constexpr int iMax_Top_Up_Files = 64;

enum class Write_End { Done, Full, Failed, Cancelled };

const char *pZeros()
{
    static const QByteArray qbaZeros(iBlock_Bytes, '\0');
    return qbaZeros.constData();
}

bool bDevice_Full(int iErrno)
{
    return iErrno == ENOSPC || iErrno == EDQUOT;
}

// Writes uiFile_Size rounded down to 4 bytes of zeros into a new file and makes them reach the
// device before the file is closed: a file system with delayed allocation may otherwise drop
// never-flushed blocks when the file is deleted. With bShow_Progress the file's percentage is
// reported after the write that reaches it, and the caller may cancel there.
Write_End eWrite_Zero_File(const QString &qsFile_Name, quint32 uiFile_Size, bool bShow_Progress,
                           const Zero_Fill_Hooks &hooks, qint64 *pWritten = nullptr)
{
    QFile qFile(qsFile_Name);
    errno = 0;
    if (!qFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return bDevice_Full(errno) ? Write_End::Full : Write_End::Failed;
    QDataStream stream(&qFile);
    // Starting the writeback of each block at once keeps the disk busy while the next block is
    // copied, and leaves the closing fsync little to wait for. Not on xfs: blocks written back
    // while the file grows take speculative preallocations with them that stay unwritten when
    // the device fills.
    struct statfs sfs {};
    const bool bStart_Writeback = ::fstatfs(qFile.handle(), &sfs) == 0 && sfs.f_type != lXfs_Super_Magic;

    const quint32 uiWrites = uiFile_Size / 4;
    quint32 uiDone = 0;
    quint32 uiMark = uiNext_Percent_Step(0, uiFile_Size);
    Write_End eEnd = Write_End::Done;
    while (uiDone < uiWrites && eEnd == Write_End::Done) {
        const quint32 uiTarget = bShow_Progress ? std::min(uiWrites, uiMark + 1) : uiWrites;
        while (uiDone < uiTarget) {
            if (hooks.bStop_Now && hooks.bStop_Now()) {
                eEnd = Write_End::Cancelled;
                break;
            }
            const qint64 iBytes = std::min<qint64>(qint64(uiTarget - uiDone) * 4, iBlock_Bytes);
            errno = 0;
            const int iDone = stream.writeRawData(pZeros(), int(iBytes));
            if (iDone > 0 && pWritten != nullptr)
                *pWritten += iDone;
            if (iDone != iBytes) {
                const bool bFull = bDevice_Full(errno) || qFile.error() == QFileDevice::ResourceError;
                eEnd = bFull ? Write_End::Full : Write_End::Failed;
                break;
            }
            if (bStart_Writeback)
                ::sync_file_range(qFile.handle(), qint64(uiDone) * 4, iBytes, SYNC_FILE_RANGE_WRITE);
            uiDone += quint32(iBytes / 4);
        }
        if (eEnd == Write_End::Done && bShow_Progress && uiMark < uiWrites && uiDone == uiMark + 1) {
            hooks.vFile_Progress(iFile_Percent(uiMark, uiFile_Size));
            if (hooks.bPump_Cancelled())
                eEnd = Write_End::Cancelled;
            uiMark = uiNext_Percent_Step(uiMark, uiFile_Size);
        }
    }

    // Setting the size it already has makes xfs give back the blocks it reserved past the end of
    // the file, which would otherwise stay allocated, unwritten, until the file is deleted.
    ::ftruncate(qFile.handle(), qFile.size());
    errno = 0;
    if (::fsync(qFile.handle()) != 0 && eEnd == Write_End::Done)
        eEnd = bDevice_Full(errno) ? Write_End::Full : Write_End::Failed;
    qFile.close();
    return eEnd;
}

// Once the first write has met a full device, blocks are still free: ext2/3/4 keep some for root
// (an image of the volume carries them too), and a file system reserves room for the metadata of
// a file being written that it gives back when the file is flushed. New files take them until
// one of them gets nothing.
Write_End eTop_Up(const QString &qsWrite_Path, Zero_Fill_Result &result, const Zero_Fill_Hooks &hooks)
{
    const QByteArray qbaPath = QFile::encodeName(qsWrite_Path);
    bool bFlushed = false;
    for (int iFile = 0; iFile < iMax_Top_Up_Files; ++iFile) {
        struct statvfs svBefore {};
        if (::statvfs(qbaPath.constData(), &svBefore) != 0 || svBefore.f_bfree == 0)
            break;
        const quint64 uiFree = quint64(svBefore.f_bfree) * svBefore.f_frsize;
        const quint32 uiFile_Size = quint32(std::min<quint64>(uiFree, uiMax_File_Size)) & ~3u;
        // The file that met the full device keeps its name: a new file must never reopen it.
        int iName = result.iFile_Number;
        while (QFileInfo::exists(qsWrite_Path + "/" + QString::number(iName)))
            ++iName;
        const QString qsFile_Name = qsWrite_Path + "/" + QString::number(iName);
        qint64 iWritten = 0;
        const Write_End eEnd = eWrite_Zero_File(qsFile_Name, uiFile_Size, false, hooks, &iWritten);
        if (eEnd == Write_End::Failed)
            result.qsFailed_Path = qsFile_Name;
        if (eEnd == Write_End::Failed || eEnd == Write_End::Cancelled)
            return eEnd;
        if (iWritten == 0) {
            // A commit hands back what the file system still held for deleted or closed files
            // (xfs frees them in the background); one more try after it, then the device is full.
            if (bFlushed)
                break;
            vFlush_File_System(qsWrite_Path);
            bFlushed = true;
            continue;
        }
        hooks.vFile_Count(++result.iFile_Number);
        if (hooks.bPump_Cancelled())
            return Write_End::Cancelled;
        struct statvfs svAfter {};
        if (::statvfs(qbaPath.constData(), &svAfter) != 0 || svAfter.f_bfree >= svBefore.f_bfree)
            break;
    }
    return Write_End::Full;
}

} // namespace

quint32 uiFirst_File_Size(double dFree_Space)
{
    if (double(uiMax_File_Size) > dFree_Space)
        return dFree_Space > 0 ? quint32(dFree_Space) : 0;
    return uiMax_File_Size;
}

int iFile_Percent(quint32 uiTemp, quint32 uiFile_Size)
{
    return int(100.0 * uiTemp / (uiFile_Size / 4.0));
}

quint32 uiNext_Percent_Step(quint32 uiTemp, quint32 uiFile_Size)
{
    const quint32 uiWrites = uiFile_Size / 4;
    if (uiTemp + 1 >= uiWrites)
        return uiWrites;
    const int iNow = iFile_Percent(uiTemp, uiFile_Size);
    // Estimate from the formula, then settle on the exact first write of the next percentage.
    quint64 uiStep = quint64(std::ceil((iNow + 1) * (uiFile_Size / 4.0) / 100.0));
    uiStep = std::clamp<quint64>(uiStep, quint64(uiTemp) + 1, uiWrites);
    while (uiStep > quint64(uiTemp) + 1 && iFile_Percent(quint32(uiStep - 1), uiFile_Size) != iNow)
        --uiStep;
    while (uiStep < uiWrites && iFile_Percent(quint32(uiStep), uiFile_Size) == iNow)
        ++uiStep;
    return quint32(uiStep);
}

int iTotal_Progress(double dFree_Now, double dFree_Space)
{
    if (dFree_Space <= 0)
        return 100;
    return std::clamp(int(100.0 - 100.0 * dFree_Now / dFree_Space), 0, 100);
}

Zero_Fill_Result zfrZero_Fill(const QString &qsWrite_Path, const Zero_Fill_Hooks &hooks)
{
    Zero_Fill_Result result;
    const double dFree_Space = hooks.dFree_Space();
    quint32 uiFile_Size = uiFirst_File_Size(dFree_Space);

    // A file that leaves the free space where it was (a compressing or deduplicating file system)
    // would be followed by the next one for ever.
    int iIdle_Steps = 0;
    auto bStuck = [&](double dBefore, double dAfter) {
        if (dBefore - dAfter >= (uiFile_Size / 4) * 4 / 4.0) {
            iIdle_Steps = 0;
            return false;
        }
        return ++iIdle_Steps >= iMax_Idle_Steps;
    };
    // Maps the end of one file onto the end of the run; false means the run is over.
    auto bGo_On = [&](Write_End eEnd, const QString &qsFile_Name) {
        if (eEnd == Write_End::Cancelled)
            result.eEnd = Zero_Fill_End::Cancelled;
        if (eEnd == Write_End::Failed) {
            result.eEnd = Zero_Fill_End::Failed;
            result.qsFailed_Path = qsFile_Name;
        }
        return eEnd == Write_End::Done;
    };
    // Checked before every new file: a volume unmounted meanwhile leaves its mount point a plain
    // folder of another file system, which must not be filled in its place.
    auto bVolume_Lost = [&]() {
        if (!hooks.bVolume_Lost || !hooks.bVolume_Lost())
            return false;
        result.eEnd = Zero_Fill_End::Failed;
        result.qsFailed_Path = qsWrite_Path;
        return true;
    };

    double dCycle_Free = 0;
    Write_End eEnd = Write_End::Full;
    while ((dCycle_Free = hooks.dFree_Space()) > 0 && uiFile_Size / 4 > 0) {
        const QString qsFile_Name = qsWrite_Path + "/" + QString::number(result.iFile_Number);
        if (bVolume_Lost())
            return result;
        eEnd = eWrite_Zero_File(qsFile_Name, uiFile_Size, true, hooks);
        if (!bGo_On(eEnd, qsFile_Name))
            break;
        hooks.vFile_Progress(100);
        hooks.vFile_Count(++result.iFile_Number);

        double dCopy_Free = hooks.dFree_Space();
        if (bStuck(dCycle_Free, dCopy_Free)) {
            bGo_On(Write_End::Failed, qsFile_Name);
            return result;
        }
        // The duplicate is written anew rather than cloned: a copy-on-write file system would
        // share the blocks of a cloned file, and the free space would never fall.
        while (dCopy_Free >= uiFile_Size) {
            const QString qsCopy_Name = qsWrite_Path + "/" + QString::number(result.iFile_Number);
            if (bVolume_Lost())
                return result;
            eEnd = eWrite_Zero_File(qsCopy_Name, uiFile_Size, false, hooks);
            if (!bGo_On(eEnd, qsCopy_Name))
                break;
            const double dNow = hooks.dFree_Space();
            hooks.vTotal_Progress(iTotal_Progress(dNow, dFree_Space));
            hooks.vFile_Count(++result.iFile_Number);
            if (bStuck(dCopy_Free, dNow)) {
                bGo_On(Write_End::Failed, qsCopy_Name);
                return result;
            }
            if (hooks.bPump_Cancelled()) {
                eEnd = Write_End::Cancelled;
                bGo_On(eEnd, qsCopy_Name);
                break;
            }
            dCopy_Free = hooks.dFree_Space();
        }
        if (eEnd != Write_End::Done)
            break;
        hooks.vTotal_Progress(iTotal_Progress(hooks.dFree_Space(), dFree_Space));
        while (hooks.dFree_Space() < uiFile_Size && hooks.dFree_Space() > 0)
            uiFile_Size /= 2;
    }
    if (eEnd == Write_End::Failed || eEnd == Write_End::Cancelled)
        return result;

    if (hooks.bTop_Up && !bVolume_Lost())
        bGo_On(eTop_Up(qsWrite_Path, result, hooks), result.qsFailed_Path);
    return result;
}

void vFlush_File_System(const QString &qsPath)
{
    const int iFd = ::open(QFile::encodeName(qsPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (iFd < 0)
        return;
    ::syncfs(iFd);
    ::close(iFd);
}
