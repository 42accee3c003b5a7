#ifndef VOLUME_RUN_H
#define VOLUME_RUN_H

#include "held_volume.h"
#include "run_signals.h"
#include "volume_identity.h"
#include "zero_fill.h"

#include <QString>
#include <QStringList>

#include <functional>

// One zero-fill run on one volume, the same for every front end: the signal guard, the scratch
// folder held as the run's lock (a second run for the same folder is refused, and no run ever
// removes a live run's folder), the checks that every folder
// written in still lies on the volume chosen, the limits of the fill, the fill, and a clean-up
// that is verified.

// What a front end asks for.
struct Volume_Run_Options
{
    // Where the scratch folder may go, tried in order; the first whose parent lies on viChosen
    // and lets the folder be made is used.
    QStringList qslScratch_Paths;
    // If not -1: the parent of the first place, held open since the volume was checked, so that
    // no name is looked up again.
    int iParent_Fd = -1;
    Volume_Identity viChosen;           // the volume as first checked
    // The front end's own measure of the free space, asked before every decision; empty: the
    // free space of the folder written in, through its handle.
    std::function<double()> dMeasure_Free;
    std::function<bool()> bStill_Chosen;  // the front end's own check before every new file
    std::function<void()> vOn_Signal;   // on the GUI thread when pumped events see a signal
    std::function<void()> vOn_Started;  // once the folder is made, before the first file
    // Bytes never to take from what ordinary users may write, whatever they write meanwhile
    // (nor the blocks kept for root); negative: fill the volume.
    qint64 iKeep_Free = -1;
    qint64 iRate = 0;                   // bytes per second at most, but for the last 1 %; 0: no cap
};

enum class Volume_Run_End
{
    Filled,          // the volume was full; the scratch data is gone again
    Cancelled,       // the user or a signal stopped it; cleaned up
    Not_Made,        // no scratch folder could be made (qsPath, iErrno)
    Busy,            // another run holds the scratch folder qsPath (iErrno EACCES: root's, unseen); nothing was touched
    Volume_Changed,  // a folder no longer lay on the volume chosen (qsPath); nothing written there
    Write_Failed,    // writing a file failed (qsPath, iErrno) or freed no space (iErrno 0)
    Quota,           // the user's disk quota ran out before the volume was full
    // The folder qsPath could not be removed (iClean_Up_Errno), with entries in it if bData_Left;
    // eFill_End tells how the fill had ended.
    Not_Cleaned
};

struct Volume_Run_Result
{
    Volume_Run_End eEnd = Volume_Run_End::Filled;
    QString qsPath;
    int iErrno = 0;
    int iFiles = 0;
    qint64 iBytes_Written = 0;
    Volume_Space vsFull;             // the space once the volume was full, before the clean-up
    double dAvailable_After = 0;     // bytes free for the user after the clean-up
    double dSeconds = 0;
    bool bData_Left = false;
    Volume_Run_End eFill_End = Volume_Run_End::Filled;
    int iClean_Up_Errno = 0;
    // The signal that came during the run, 0 if none: the front end ends the program by it
    // (vEnd_By_Signal) once it has said its last words.
    int iSignal = 0;
};

class Volume_Run
{
public:
    // From here on SIGINT, SIGTERM and SIGHUP wait for the clean-up (see Run_Signal_Guard) and
    // are then found in the result.
    explicit Volume_Run(Volume_Run_Options options);
    ~Volume_Run();
    Volume_Run(const Volume_Run &) = delete;
    Volume_Run &operator=(const Volume_Run &) = delete;

    // Runs once, telling observer what happens.
    Volume_Run_Result vrRun(const Fill_Observer &observer);

private:
    Volume_Run_Options m_options;
    Run_Signal_Guard m_qSignal_Guard;
};

#endif // VOLUME_RUN_H
