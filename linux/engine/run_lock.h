#ifndef RUN_LOCK_H
#define RUN_LOCK_H

#include "volume_identity.h"

// One run per volume, whichever program starts it: an exclusive lock on the top folder of the
// volume, taken before the run touches it and dropped by the kernel however the program ends.
// A scratch folder found while holding it is a leftover of a run that is over.
class Run_Lock
{
public:
    Run_Lock() = default;
    ~Run_Lock();
    Run_Lock(const Run_Lock &) = delete;
    Run_Lock &operator=(const Run_Lock &) = delete;

    // Locks the volume vi, on which the folder open as iFolder_Fd lies; false when another run
    // holds it (or, errno telling, the lock could not be taken).
    bool bLock(int iFolder_Fd, const Volume_Identity &vi);

private:
    int m_iFd = -1;
};

#endif // RUN_LOCK_H
