#ifndef VOLUME_RUN_H
#define VOLUME_RUN_H

#include "run_signals.h"
#include "volume_identity.h"
#include "zero_fill.h"

#include <QString>
#include <QStringList>

#include <functional>

// One zero-fill run on one volume, the same for every front end: the signal guard, the lock that
// keeps a second run off the volume, the scratch folder and its guardian, the checks that every
// folder written in still lies on the volume chosen, the fill, and a clean-up that is verified.

// What a front end asks for.
struct Volume_Run_Options
{
    // Where the scratch folder may go, tried in order; the first whose parent lies on viChosen
    // and lets the folder be made is used.
    QStringList qslScratch_Paths;
    Volume_Identity viChosen;           // the volume as first checked
    bool bNameless_Files = false;       // files the kernel frees however the program ends
    // Named files: the program that removes them should this one be killed; without it the run
    // is refused. Empty: no guardian.
    QString qsGuardian_Program;
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
    Busy,            // another run holds the volume; nothing was touched
    No_Guardian,     // the guardian did not start; nothing is left
    Volume_Changed,  // a folder no longer lay on the volume chosen (qsPath); nothing written there
    Write_Failed,    // writing a file failed or freed no space (qsPath)
    Quota,           // the user's disk quota ran out before the volume was full
    Not_Cleaned      // the folder qsPath could not be removed, with scratch data if bData_Left
};

struct Volume_Run_Result
{
    Volume_Run_End eEnd = Volume_Run_End::Filled;
    QString qsPath;
    int iErrno = 0;
    int iFiles = 0;
    qint64 iBytes_Written = 0;
    quint64 uiFree_Blocks_Full = 0;  // free blocks once the volume was full, before the clean-up
    quint64 uiAvailable_Blocks_Full = 0;  // of them, those an ordinary user may write
    quint64 uiBlock_Size = 0;
    double dAvailable_After = 0;     // bytes free for the user after the clean-up
    double dSeconds = 0;
    bool bData_Left = false;
};

class Volume_Run
{
public:
    // From here on SIGINT, SIGTERM and SIGHUP wait for the clean-up (see Run_Signal_Guard).
    explicit Volume_Run(Volume_Run_Options options);
    // Ends the program by a signal that arrived during the run, now that it is cleaned up.
    ~Volume_Run();
    Volume_Run(const Volume_Run &) = delete;
    Volume_Run &operator=(const Volume_Run &) = delete;

    // Runs once. hooks.dFree_Space may be left empty: the free space of the folder written in.
    Volume_Run_Result vrRun(Zero_Fill_Hooks hooks);

private:
    Volume_Run_Options m_options;
    Run_Signal_Guard m_qSignal_Guard;
};

// Bytes free for an ordinary user on the file system of the folder open as iFd; 0 on failure.
double dAvailable_At(int iFd);

#endif // VOLUME_RUN_H
