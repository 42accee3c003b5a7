#ifndef HELD_FOLDER_H
#define HELD_FOLDER_H

#include <QByteArray>

// The scratch folder is the run's lock: the run makes it (mode 0700) and holds it open and
// flock'ed for its whole life. Only its owner and root can open such a folder, so only a run of
// the same user or of root can ever hold it; a leftover is emptied and removed only after its
// own lock was taken, so no run removes a live run's folder, whatever was planted, filled or
// hidden elsewhere. A name that is not the run's to take (another user's folder, held or not, a
// file) leaves the run a fresh folder of its own beside it.

enum class Folder_Take
{
    Taken,      // iFd holds the folder qbaName, made by this run and locked
    Held,       // a live run of this user or of root holds the folder qbaName
    Root_Owned, // root's folder qbaName is there and cannot be looked into: root's run, or its leftover
    Failed      // no folder could be made (iErrno)
};

struct Held_Folder
{
    Folder_Take eTake = Folder_Take::Failed;
    QByteArray qbaName;
    int iFd = -1;
    int iTwin_Fd = -1;  // on an overlay, the same folder on its upper layer, locked too; else -1
    int iErrno = 0;
};

// Takes the scratch folder qbaName in the folder open as iParent_Fd as described above.
Held_Folder hfTake_Folder(int iParent_Fd, const QByteArray &qbaName);

#endif // HELD_FOLDER_H
