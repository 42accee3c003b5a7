#ifndef SCRATCH_RUN_H
#define SCRATCH_RUN_H

#include "run_guardian.h"
#include "zero_fill.h"

#include <QString>

// One run's scratch folder from its making to its removal, free of widgets so that every front
// end runs it the same way: a leftover of an earlier run goes (twice), the folder is made and a
// guardian watches it, the fill runs, the folder goes (twice), the file system is committed and
// only then is the guardian released.
class Scratch_Run
{
public:
    explicit Scratch_Run(const QString &qsWrite_Path);
    // Cleans up as vClean_Up does when the folder was made and not cleaned up yet.
    ~Scratch_Run();
    Scratch_Run(const Scratch_Run &) = delete;
    Scratch_Run &operator=(const Scratch_Run &) = delete;

    // Removes a leftover, makes the folder and starts its guardian; false when no folder could be
    // made (the guardian is a safety net: the run goes on without it when it cannot start).
    bool bPrepare(const QString &qsGuardian_Program = Run_Guardian::qsProgram_Beside());
    // Fills the folder until the volume is full; also ends, as failed, before any new file when
    // the folder's name no longer leads to the folder made or hooks.bVolume_Lost says so.
    Zero_Fill_Result zfrFill(const Zero_Fill_Hooks &hooks);
    // Removes the folder, commits the file system, releases the guardian.
    void vClean_Up();

    const QString &qsWrite_Path() const { return m_qsWrite_Path; }
    bool bGuarded() const { return m_qGuardian.bRunning(); }
    // True while qsWrite_Path still leads to the folder made, not to anything put in its place.
    bool bFolder_Intact() const;

private:
    QString m_qsWrite_Path;
    int m_iParent_Fd = -1;
    int m_iFolder_Fd = -1;
    Run_Guardian m_qGuardian;
};

#endif // SCRATCH_RUN_H
