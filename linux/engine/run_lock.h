#ifndef RUN_LOCK_H
#define RUN_LOCK_H

#include <QByteArray>

#include <sys/types.h>

// One run per file system, whichever program starts it, through whatever path and by whatever
// user: a lock named after the file system itself (a btrfs by its UUID, whatever subvolume is
// mounted; any other by its device), so bind mounts and second mounts meet it too. Each user's
// run locks a file of its own in /run/lock that nobody else can open; another user's lock counts
// only while a Morvane program holds it, so that nobody refuses others' runs by merely locking a
// file. The kernel drops the lock however the program ends.
class Run_Lock
{
public:
    Run_Lock() = default;
    ~Run_Lock();
    Run_Lock(const Run_Lock &) = delete;
    Run_Lock &operator=(const Run_Lock &) = delete;

    // Locks the file system of the folder open as iFolder_Fd; false with errno EWOULDBLOCK when
    // another run holds it. Where no lock can be kept (no /run/lock as a user), runs go unlocked.
    bool bLock(int iFolder_Fd);

private:
    int m_iFd = -1;
};

// The name of the file system that the folder open as iFd lies on, the same for every mount and
// subvolume of it; empty when it cannot be told.
QByteArray qbaFile_System_Key(int iFd);

// True when process iPid runs a Morvane program: the very file this program or one of its
// siblings was started from where the caller may see it, else (another user's, seen by a user)
// by the name the process carries.
bool bMorvane_Process(pid_t iPid);

#endif // RUN_LOCK_H
