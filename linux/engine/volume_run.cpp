#include "volume_run.h"

#include "held_volume.h"
#include "scratch_run.h"
#include "write_pace.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The handle of a folder, closed when it goes: the one held since the volume was checked, or
// else one opened by name now.
struct Folder_Handle
{
    Folder_Handle(int iHeld_Fd, const QString &qsPath)
        : iFd(iHeld_Fd >= 0 ? ::fcntl(iHeld_Fd, F_DUPFD_CLOEXEC, 0)
                            : ::open(QFile::encodeName(qsPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
    }
    ~Folder_Handle()
    {
        if (iFd >= 0)
            ::close(iFd);
    }
    Folder_Handle(const Folder_Handle &) = delete;
    Folder_Handle &operator=(const Folder_Handle &) = delete;
    int iFd;
};

Volume_Run_End eRun_End(const Zero_Fill_Result &fill, const QString &qsWrite_Path)
{
    switch (fill.eEnd) {
    case Zero_Fill_End::Full:
        return Volume_Run_End::Filled;
    case Zero_Fill_End::Cancelled:
        return Volume_Run_End::Cancelled;
    case Zero_Fill_End::Quota:
        return Volume_Run_End::Quota;
    case Zero_Fill_End::Failed:
        break;
    }
    return fill.qsFailed_Path == qsWrite_Path ? Volume_Run_End::Volume_Changed : Volume_Run_End::Write_Failed;
}

// What a block may bring along besides its data (extent-tree blocks), kept free on top of iKeep_Free.
constexpr qint64 iMetadata_Margin = 1024 * 1024;

// The scratch folder of the first place that lies on the volume chosen and lets it be made, held
// as the run's lock; none, and why in result, when there is none.
std::unique_ptr<Scratch_Run> pPrepare(const Volume_Run_Options &options, Volume_Run_Result &result)
{
    result.eEnd = Volume_Run_End::Not_Made;
    result.iErrno = ENOENT;
    for (int i = 0; i < options.qslScratch_Paths.size(); ++i) {
        result.qsPath = options.qslScratch_Paths.at(i);
        const QFileInfo qPath_Info(result.qsPath);
        // Opened by name once at most; from here on everything goes through this handle, so a
        // name swapped or a volume unmounted meanwhile is seen here and can redirect nothing later.
        const Folder_Handle parent(i == 0 ? options.iParent_Fd : -1, qPath_Info.path());
        if (parent.iFd < 0) {
            result.iErrno = errno;
            continue;
        }
        if (!bOn_Volume(parent.iFd, options.viChosen)) {
            // The first place is the volume chosen itself; another is only a fallback on it.
            if (i == 0) {
                result = Volume_Run_Result{Volume_Run_End::Volume_Changed, qPath_Info.path()};
                return nullptr;
            }
            result.iErrno = EXDEV;
            continue;
        }
        auto pRun = std::make_unique<Scratch_Run>(result.qsPath);
        if (pRun->bPrepare(parent.iFd)) {
            result.iErrno = 0;
            return pRun;
        }
        if (pRun->eTake() != Folder_Take::Failed) {
            // EACCES: root's folder, which this user cannot look into to tell a run from a leftover.
            result = Volume_Run_Result{Volume_Run_End::Busy, result.qsPath,
                                       pRun->eTake() == Folder_Take::Root_Owned ? EACCES : 0};
            return nullptr;
        }
        result.iErrno = errno;
    }
    return nullptr;
}

// The limits of the fill in the folder of run, each set once, all measured through the held
// handle, never a name; the free space is the front end's own measure where it has one.
// iKeep_Free: the fill aims at what lies above it, no block may eat into it, and the blocks kept
// for root are not topped up; the run's own bytes count against it at once, as a file system
// that books writes late (btrfs) would otherwise let the fill run past it. iRate paces the
// blocks, except in the last 1 % of the volume: there every pause, and every block smaller than
// the writer's own, would keep the volume nearly full for others longer. Before every new file
// the folder must still be the one made, on the volume chosen.
Fill_Limits lmtLimits(const Volume_Run_Options &options, const Scratch_Run &run, const Held_Volume &held, Write_Pace &pace)
{
    Fill_Limits limits;
    const std::function<double()> dAvailable = [&held]() { return held.vsSpace().dAvailable(); };
    const bool bKeep = options.iKeep_Free >= 0;
    const double dKeep = double(options.iKeep_Free);
    limits.dFree_Space = bKeep ? [dAvailable, dKeep]() { return std::max(0.0, dAvailable() - dKeep); }
        : options.dMeasure_Free ? options.dMeasure_Free
                                : dAvailable;
    limits.bTop_Up = !bKeep;
    const auto pWritten = std::make_shared<qint64>(0);
    if (bKeep) {
        const qint64 iBudget = qint64(dAvailable() - dKeep) - iMetadata_Margin;
        limits.iRoom = [dAvailable, dKeep, iBudget, pWritten]() {
            return std::min(qint64(dAvailable() - dKeep) - iMetadata_Margin, iBudget - *pWritten);
        };
    }
    const bool bRate = options.iRate > 0;
    const double dLast_Stretch = held.vsSpace().dSize() / 100;
    auto bPaced = [bRate, dAvailable, dLast_Stretch]() { return bRate && dAvailable() > dLast_Stretch; };
    if (bRate)
        limits.iMax_Block = [bPaced, &pace]() { return bPaced() ? pace.iBlock_Bytes() : 0; };
    limits.vBlock_Written = [bPaced, &pace, pWritten](qint64 iBytes) {
        *pWritten += iBytes;
        if (bPaced())
            pace.vWrote(iBytes);
    };
    limits.bVolume_Lost = [&run, &held, bStill_Chosen = options.bStill_Chosen]() {
        return !run.bFolder_Intact() || !held.bStill_Here() || (bStill_Chosen && !bStill_Chosen());
    };
    return limits;
}

} // namespace

Volume_Run::Volume_Run(Volume_Run_Options options)
    : m_options(std::move(options))
    , m_qSignal_Guard(m_options.vOn_Signal)
{
}

Volume_Run::~Volume_Run() = default;

Volume_Run_Result Volume_Run::vrRun(const Fill_Observer &observer)
{
    Volume_Run_Result result;
    const std::unique_ptr<Scratch_Run> pRun = pPrepare(m_options, result);
    result.iSignal = Run_Signal_Guard::iSignal();
    if (!pRun)
        return result;

    QElapsedTimer qClock;
    qClock.start();
    if (m_options.vOn_Started)
        m_options.vOn_Started();
    // The folder's volume, by a handle of its own that outlives the folder's for the figures after.
    const Held_Volume held(pRun->iFolder_Fd(), m_options.viChosen);
    Write_Pace pace(m_options.iRate);
    const Fill_Limits limits = lmtLimits(m_options, *pRun, held, pace);
    const Zero_Fill_Result fill = pRun->zfrFill(observer, limits);

    // The figures once the file system has booked the writes: btrfs counts them only at a commit.
    ::syncfs(held.iFd());
    result.vsFull = held.vsSpace();
    result.iBytes_Written = fill.iBytes_Written;
    result.iFiles = fill.iFile_Number;
    result.iErrno = fill.iErrno;
    result.eEnd = result.eFill_End = eRun_End(fill, pRun->qsWrite_Path());
    result.qsPath = fill.qsFailed_Path.isEmpty() ? pRun->qsWrite_Path() : fill.qsFailed_Path;
    if (!pRun->bClean_Up()) {
        result.eEnd = Volume_Run_End::Not_Cleaned;
        result.qsPath = pRun->qsWrite_Path();
        result.bData_Left = pRun->bData_Left();
        result.iClean_Up_Errno = pRun->iClean_Up_Errno();
    }
    result.dAvailable_After = held.vsSpace().dAvailable();
    result.dSeconds = qClock.nsecsElapsed() / 1e9;
    result.iSignal = Run_Signal_Guard::iSignal();
    return result;
}
