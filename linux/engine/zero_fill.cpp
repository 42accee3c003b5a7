#include "zero_fill.h"

#include "held_volume.h"
#include "nameless_files.h"
#include "run_signals.h"
#include "zero_writer.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr quint32 uiMax_File_Size = 2147483648u;
constexpr qint64 iPage_Bytes = 4096;
// Steps in a row that leave the free space where it was before the run counts as stuck.
constexpr int iMax_Idle_Steps = 3;

enum class Write_End { Done, Full, Quota, Failed, Cancelled };

// After a step the user may see: the front end pumps its events and says whether the user
// cancelled; a signal cancels whatever the front end says.
bool bCancelled(const Fill_Observer &observer)
{
    return observer.bPump_Cancelled() || Run_Signal_Guard::bSignalled();
}

// The folder a run fills, held open: every file is made in the folder the run started with,
// whatever its name leads to meanwhile.
struct Scratch_Folder
{
    int iFd;
    QString qsPath;
    Nameless_Files *pNameless;
    QString qsFile(int iFile_Number) const { return qsPath + "/" + QString::number(iFile_Number); }
    bool bHas_File(int iFile_Number) const
    {
        if (pNameless != nullptr)
            return iFile_Number < pNameless->iCount();
        struct stat st {};
        return ::fstatat(iFd, QFile::encodeName(QString::number(iFile_Number)).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    }
};

// What one fill works with, and the reason of the write that failed it.
struct Fill_Context
{
    const Scratch_Folder &folder;
    const Fill_Observer &observer;
    const Fill_Limits &limits;
    int iErrno = 0;
};

// A quota met is not a full volume: the rest of its free space stays unzeroed, which the user
// must be told.
Write_End eNo_Room(int iErrno)
{
    return iErrno == ENOSPC ? Write_End::Full : iErrno == EDQUOT ? Write_End::Quota : Write_End::Failed;
}

bool bOpen_File(Zero_Writer &writer, const Scratch_Folder &folder, int iFile_Number, bool bAppend)
{
    if (folder.pNameless == nullptr)
        return writer.bOpen(QString::number(iFile_Number), bAppend, folder.iFd);
    return writer.bAdopt(bAppend ? folder.pNameless->iReopen(iFile_Number) : folder.pNameless->iCreate(folder.iFd),
                         bAppend);
}

// Writes uiFile_Size rounded down to 4 bytes of zeros into a new file and makes them reach the
// device before the file is closed: a file system with delayed allocation may otherwise drop
// never-flushed blocks when the file is deleted. With bShow_Progress each percentage is reported
// once the file holds the write that reaches it, and the caller may cancel there. With bAppend
// the zeros go after what the file already holds.
Write_End eWrite_Zero_File(Fill_Context &fill, int iFile_Number, quint32 uiFile_Size, bool bShow_Progress,
                           qint64 &iWritten, bool bAppend = false)
{
    const Fill_Observer &observer = fill.observer;
    const Fill_Limits &limits = fill.limits;
    Zero_Writer writer;
    errno = 0;
    if (!bOpen_File(writer, fill.folder, iFile_Number, bAppend))
        return eNo_Room(fill.iErrno = errno);

    const quint32 uiWrites = uiFile_Size / 4;
    const qint64 iStart = writer.iSize();
    const qint64 iEnd = iStart + qint64(uiWrites) * 4;
    quint32 uiMark = uiNext_Percent_Step(0, uiFile_Size);
    Write_End eEnd = Write_End::Done;
    while (writer.iSize() < iEnd && eEnd == Write_End::Done) {
        // Polled between blocks, as dd does: no event need be pumped to see a signal.
        if (Run_Signal_Guard::bSignalled()) {
            eEnd = Write_End::Cancelled;
            break;
        }
        // Room the caller keeps for others is re-measured before every block, as other programs
        // write meanwhile; space the file system already set aside for this file costs none.
        qint64 iBlock_End = iEnd;
        if (limits.iRoom) {
            const qint64 iRoom = std::max<qint64>(0, limits.iRoom()) / iPage_Bytes * iPage_Bytes;
            iBlock_End = std::min(iEnd, std::max(writer.iAllocated_End(), writer.iSize() + iRoom));
            if (iBlock_End <= writer.iSize()) {
                eEnd = Write_End::Full;
                break;
            }
        }
        if (limits.iMax_Block)
            writer.vLimit_Block(limits.iMax_Block());
        const qint64 iDone = writer.iWrite_Block(iBlock_End);
        if (iDone <= 0) {
            eEnd = eNo_Room(fill.iErrno = errno);
            break;
        }
        iWritten += iDone;
        if (limits.vBlock_Written)
            limits.vBlock_Written(iDone);
        while (bShow_Progress && uiMark < uiWrites && writer.iSize() - iStart >= qint64(uiMark + 1) * 4) {
            observer.vFile_Progress(iFile_Percent(uiMark, uiFile_Size));
            uiMark = uiNext_Percent_Step(uiMark, uiFile_Size);
            if (bCancelled(observer)) {
                eEnd = Write_End::Cancelled;
                break;
            }
        }
    }
    if (!writer.bFinish() && eEnd == Write_End::Done)
        eEnd = eNo_Room(fill.iErrno = errno);
    return eEnd;
}

// Once the first write has met a full device, blocks are still free: ext2/3/4 keep some for root
// (an image of the volume carries them too), and a file system reserves room for the metadata of
// a file being written that it gives back when the file is flushed. The last file grows into
// them until it gets nothing: one file growing takes the blocks a single writer filling the
// device would take, where a new file starts elsewhere and leaves other blocks free.
Write_End eTop_Up(Fill_Context &fill, Zero_Fill_Result &result)
{
    const Scratch_Folder &folder = fill.folder;
    bool bFlushed = false;
    // Every step must lower the free block count, so the top-up ends however large the volume.
    for (;;) {
        // Free as root counts it: the blocks kept for root are what the top-up is for.
        const Volume_Space vsBefore = vsSpace_Of(folder.iFd);
        if (vsBefore.uiFree_Blocks == 0)
            break;
        const quint64 uiFree = quint64(vsBefore.dFree());
        const quint32 uiFile_Size = quint32(std::min<quint64>(uiFree, uiMax_File_Size)) & ~3u;
        // The file that met the full device, if any, else the last whole one; never emptied.
        int iName = result.iFile_Number;
        const bool bAppend = folder.bHas_File(iName) || (iName > 0 && folder.bHas_File(--iName));
        const int iNumber = bAppend ? iName : result.iFile_Number;
        const qint64 iBefore = result.iBytes_Written;
        const Write_End eEnd = eWrite_Zero_File(fill, iNumber, uiFile_Size, false, result.iBytes_Written, bAppend);
        const qint64 iWritten = result.iBytes_Written - iBefore;
        if (eEnd == Write_End::Failed)
            result.qsFailed_Path = folder.qsFile(iNumber);
        if (eEnd == Write_End::Failed || eEnd == Write_End::Cancelled || eEnd == Write_End::Quota)
            return eEnd;
        if (iWritten == 0) {
            // A commit hands back what the file system still held for deleted or closed files
            // (xfs frees them in the background); one more try after it, then the device is full.
            if (bFlushed)
                break;
            ::syncfs(folder.iFd);
            bFlushed = true;
            continue;
        }
        if (!bAppend)
            fill.observer.vFile_Count(++result.iFile_Number);
        if (bCancelled(fill.observer))
            return Write_End::Cancelled;
        const Volume_Space vsAfter = vsSpace_Of(folder.iFd);
        if (!vsAfter.bKnown || vsAfter.uiFree_Blocks >= vsBefore.uiFree_Blocks)
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

namespace {

Zero_Fill_Result zfrFill_Folder(Fill_Context &fill)
{
    const QString &qsWrite_Path = fill.folder.qsPath;
    const Fill_Observer &observer = fill.observer;
    const Fill_Limits &limits = fill.limits;
    Zero_Fill_Result result;
    const double dFree_Space = limits.dFree_Space();
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
        if (eEnd == Write_End::Quota)
            result.eEnd = Zero_Fill_End::Quota;
        if (eEnd == Write_End::Failed) {
            result.eEnd = Zero_Fill_End::Failed;
            result.qsFailed_Path = qsFile_Name;
            result.iErrno = fill.iErrno;
        }
        return eEnd == Write_End::Done;
    };
    // Checked before every new file: a volume unmounted meanwhile leaves its mount point a plain
    // folder of another file system, which must not be filled in its place.
    auto bVolume_Lost = [&]() {
        if (!limits.bVolume_Lost || !limits.bVolume_Lost())
            return false;
        result.eEnd = Zero_Fill_End::Failed;
        result.qsFailed_Path = qsWrite_Path;
        return true;
    };

    double dCycle_Free = 0;
    Write_End eEnd = Write_End::Full;
    while ((dCycle_Free = limits.dFree_Space()) > 0 && uiFile_Size / 4 > 0) {
        const QString qsFile_Name = fill.folder.qsFile(result.iFile_Number);
        if (bVolume_Lost())
            return result;
        eEnd = eWrite_Zero_File(fill, result.iFile_Number, uiFile_Size, true, result.iBytes_Written);
        if (!bGo_On(eEnd, qsFile_Name))
            break;
        observer.vFile_Progress(100);
        observer.vFile_Count(++result.iFile_Number);

        double dCopy_Free = limits.dFree_Space();
        if (bStuck(dCycle_Free, dCopy_Free)) {
            fill.iErrno = 0;
            bGo_On(Write_End::Failed, qsFile_Name);
            return result;
        }
        // The duplicate is written anew rather than cloned: a copy-on-write file system would
        // share the blocks of a cloned file, and the free space would never fall.
        while (dCopy_Free >= uiFile_Size) {
            const QString qsCopy_Name = fill.folder.qsFile(result.iFile_Number);
            if (bVolume_Lost())
                return result;
            eEnd = eWrite_Zero_File(fill, result.iFile_Number, uiFile_Size, false, result.iBytes_Written);
            if (!bGo_On(eEnd, qsCopy_Name))
                break;
            const double dNow = limits.dFree_Space();
            observer.vTotal_Progress(iTotal_Progress(dNow, dFree_Space));
            observer.vFile_Count(++result.iFile_Number);
            if (bStuck(dCopy_Free, dNow)) {
                fill.iErrno = 0;
                bGo_On(Write_End::Failed, qsCopy_Name);
                return result;
            }
            if (bCancelled(observer)) {
                eEnd = Write_End::Cancelled;
                bGo_On(eEnd, qsCopy_Name);
                break;
            }
            dCopy_Free = limits.dFree_Space();
        }
        if (eEnd != Write_End::Done)
            break;
        observer.vTotal_Progress(iTotal_Progress(limits.dFree_Space(), dFree_Space));
        while (limits.dFree_Space() < uiFile_Size && limits.dFree_Space() > 0)
            uiFile_Size /= 2;
    }
    if (eEnd == Write_End::Failed || eEnd == Write_End::Cancelled || eEnd == Write_End::Quota)
        return result;

    if (limits.bTop_Up && !bVolume_Lost())
        bGo_On(eTop_Up(fill, result), result.qsFailed_Path);
    return result;
}

} // namespace

Zero_Fill_Result zfrZero_Fill(const QString &qsWrite_Path, const Fill_Observer &observer, const Fill_Limits &limits,
                              int iFolder_Fd, Nameless_Files *pNameless)
{
    const bool bOwn_Fd = iFolder_Fd < 0;
    if (bOwn_Fd)
        iFolder_Fd = ::open(QFile::encodeName(qsWrite_Path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const Scratch_Folder folder{iFolder_Fd, qsWrite_Path, pNameless};
    Fill_Context fill{folder, observer, limits};
    Zero_Fill_Result result = zfrFill_Folder(fill);
    if (result.eEnd == Zero_Fill_End::Cancelled)
        result.iSignal = Run_Signal_Guard::iSignal();
    if (bOwn_Fd && iFolder_Fd >= 0)
        ::close(iFolder_Fd);
    return result;
}
