#ifndef SCRATCH_RUN_H
#define SCRATCH_RUN_H

#include "held_folder.h"
#include "nameless_files.h"
#include "zero_fill.h"

#include <QString>

// One run's scratch folder from its making to its removal: the folder is taken and held as the
// run's lock (a leftover of an earlier run goes), the fill runs in it with files that have no names (see
// Nameless_Files), the folder goes (twice) and the file system is committed. However the
// program ends, the kernel frees the files; at most the empty folder is left for the next run.
class Scratch_Run
{
public:
    explicit Scratch_Run(const QString &qsWrite_Path);
    // Cleans up as bClean_Up does when the folder was made and not cleaned up yet.
    ~Scratch_Run();
    Scratch_Run(const Scratch_Run &) = delete;
    Scratch_Run &operator=(const Scratch_Run &) = delete;

    // Takes the folder in the folder open as iParent_Fd and holds it locked (see hfTake_Folder),
    // beside the name given when that name is not the run's to take; false with errno set
    // (EWOULDBLOCK: another run holds it; eTake says whose) when no folder could be made.
    bool bPrepare(int iParent_Fd);
    Folder_Take eTake() const { return m_eTake; }
    // Fills the folder until the volume is full or limits.bVolume_Lost says so before a new file.
    Zero_Fill_Result zfrFill(const Fill_Observer &observer, const Fill_Limits &limits);
    // Lets the files go, removes the folder and commits the file system; true when nothing is left.
    bool bClean_Up();
    // After a clean-up that failed: true when entries are left in the folder, not just the folder.
    bool bData_Left() const { return m_bData_Left; }
    // After a clean-up that failed: why, where the system said (0 otherwise).
    int iClean_Up_Errno() const { return m_iErrno; }

    const QString &qsWrite_Path() const { return m_qsWrite_Path; }
    int iFolder_Fd() const { return m_iFolder_Fd; }
    // True while qsWrite_Path still leads to the folder made, not to anything put in its place.
    bool bFolder_Intact() const;

private:
    QString m_qsWrite_Path;
    QByteArray m_qbaName;
    int m_iParent_Fd = -1;
    int m_iFolder_Fd = -1;
    int m_iTwin_Fd = -1;
    Folder_Take m_eTake = Folder_Take::Failed;
    bool m_bData_Left = false;
    int m_iErrno = 0;
    Nameless_Files m_qNameless;
};

#endif // SCRATCH_RUN_H
