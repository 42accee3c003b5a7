#ifndef SCRATCH_RUN_H
#define SCRATCH_RUN_H

#include "nameless_files.h"
#include "run_guardian.h"
#include "zero_fill.h"

#include <QString>

// One run's scratch folder from its making to its removal: a leftover of an earlier run goes
// (twice), the folder is made, the fill runs in it, the folder goes (twice), the file system is
// committed, and only once nothing of the run is left is its guardian released.
class Scratch_Run
{
public:
    // bNameless: the files get no names (see Nameless_Files) and need no guardian.
    Scratch_Run(const QString &qsWrite_Path, bool bNameless);
    // Cleans up as bClean_Up does when the folder was made and not cleaned up yet.
    ~Scratch_Run();
    Scratch_Run(const Scratch_Run &) = delete;
    Scratch_Run &operator=(const Scratch_Run &) = delete;

    // Removes a leftover in the folder open as iParent_Fd, makes the folder there and, given a
    // program, starts it as the guardian; false with errno set when no folder could be made.
    bool bPrepare(int iParent_Fd, const QString &qsGuardian_Program);
    // Fills the folder until the volume is full; also ends, as failed, before any new file when
    // the folder's name no longer leads to the folder made or hooks.bVolume_Lost says so.
    Zero_Fill_Result zfrFill(const Zero_Fill_Hooks &hooks);
    // Removes the files and the folder and commits the file system; true when neither is left.
    // The guardian stays until then, so a clean-up that failed is tried again when the program ends.
    bool bClean_Up();
    // After a clean-up that failed: true when scratch files are left, not just the empty folder.
    bool bData_Left() const { return m_bData_Left; }

    const QString &qsWrite_Path() const { return m_qsWrite_Path; }
    int iFolder_Fd() const { return m_iFolder_Fd; }
    bool bGuarded() const { return m_qGuardian.bRunning(); }
    // True while qsWrite_Path still leads to the folder made, not to anything put in its place.
    bool bFolder_Intact() const;

private:
    QString m_qsWrite_Path;
    QByteArray m_qbaName;
    int m_iParent_Fd = -1;
    int m_iFolder_Fd = -1;
    bool m_bNameless;
    bool m_bData_Left = false;
    Nameless_Files m_qNameless;
    Run_Guardian m_qGuardian;
};

#endif // SCRATCH_RUN_H
