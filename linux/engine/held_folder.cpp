#include "held_folder.h"

#include "folder_remove.h"
#include "volume_identity.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Not_Ours: another user's, which the run goes beside; Stuck: the run's own user's, which it
// could not remove (errno), as a plain file in the way.
enum class Leftover { Cleared, Held, Root_Owned, Not_Ours, Stuck };

void vClose(int iFd)
{
    if (iFd >= 0)
        ::close(iFd);
}

// On an overlay a lock taken through it holds the overlay's own inode: the same folder as the
// upper file system shows it is locked too, so that a run given that folder there meets this one.
// -1 with errno 0 where there is nothing else to lock.
int iUpper_Twin(int iFolder_Fd)
{
    errno = 0;
    const QString qsUpper = qsUpper_Path(iFolder_Fd);
    return qsUpper.isEmpty() ? -1 : ::open(QFile::encodeName(qsUpper).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Locks the folder open as iFd, and its twin on an overlay's upper layer (left in iTwin_Fd).
bool bLock(int iFd, int &iTwin_Fd)
{
    iTwin_Fd = -1;
    if (::flock(iFd, LOCK_EX | LOCK_NB) != 0)
        return false;
    iTwin_Fd = iUpper_Twin(iFd);
    if (iTwin_Fd < 0 || ::flock(iTwin_Fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    const int iErrno = errno;
    vClose(iTwin_Fd);
    iTwin_Fd = -1;
    ::flock(iFd, LOCK_UN);
    errno = iErrno;
    return false;
}

// The folder qbaName just made by this run, opened and locked.
Held_Folder hfHold_Made(int iParent_Fd, const QByteArray &qbaName)
{
    Held_Folder held;
    held.qbaName = qbaName;
    const int iFd = ::openat(iParent_Fd, qbaName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (iFd < 0 || ::fstat(iFd, &st) != 0 || st.st_uid != ::geteuid()) {
        held.iErrno = iFd < 0 ? errno : EEXIST;
        vClose(iFd);
        return held;
    }
    if (!bLock(iFd, held.iTwin_Fd)) {
        // A run that took it for a leftover between the making and the lock, and removes it now.
        held.eTake = errno == EWOULDBLOCK ? Folder_Take::Held : Folder_Take::Failed;
        held.iErrno = errno;
        ::close(iFd);
        return held;
    }
    held.eTake = Folder_Take::Taken;
    held.iFd = iFd;
    return held;
}

// Removes the leftover pcName once its own lock is taken: only a folder that no live run holds,
// and for an ordinary user (or with bOwn_Only) only one of the user's own.
Leftover eClear_Leftover(int iParent_Fd, const char *pcName, bool bOwn_Only)
{
    const int iFd = ::openat(iParent_Fd, pcName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const int iOpen_Errno = errno;
    struct stat st {};
    if (iFd < 0 ? ::fstatat(iParent_Fd, pcName, &st, AT_SYMLINK_NOFOLLOW) != 0 : ::fstat(iFd, &st) != 0) {
        vClose(iFd);
        return Leftover::Cleared;
    }
    const bool bMine = st.st_uid == ::geteuid();
    const Leftover eNot_Removed = bMine ? Leftover::Stuck : Leftover::Not_Ours;
    if (iFd < 0) {
        if (S_ISLNK(st.st_mode) && !bOwn_Only && ::unlinkat(iParent_Fd, pcName, 0) == 0)
            return Leftover::Cleared;
        errno = iOpen_Errno;
        return iOpen_Errno == EACCES && S_ISDIR(st.st_mode) && st.st_uid == 0 ? Leftover::Root_Owned : eNot_Removed;
    }
    int iTwin_Fd = -1;
    Leftover eLeft = Leftover::Not_Ours;
    if ((bOwn_Only || ::geteuid() != 0) && !bMine) {
        eLeft = Leftover::Not_Ours;
    } else if (!bLock(iFd, iTwin_Fd)) {
        eLeft = errno == EWOULDBLOCK && (bMine || st.st_uid == 0) ? Leftover::Held : eNot_Removed;
    } else {
        vEmpty_Folder(iFd);
        vEmpty_Folder(iFd);
        struct stat stNamed {};
        const bool bSame = ::fstatat(iParent_Fd, pcName, &stNamed, AT_SYMLINK_NOFOLLOW) == 0
            && stNamed.st_dev == st.st_dev && stNamed.st_ino == st.st_ino;
        errno = EEXIST;
        eLeft = bSame && ::unlinkat(iParent_Fd, pcName, AT_REMOVEDIR) == 0 ? Leftover::Cleared : eNot_Removed;
    }
    const int iErrno = errno;
    vClose(iTwin_Fd);
    ::close(iFd);
    errno = iErrno;
    return eLeft;
}

// Folders that runs made beside a name they could not take, left by runs that were killed.
void vClear_Own_Beside(int iParent_Fd, const QByteArray &qbaName)
{
    const int iList_Fd = ::openat(iParent_Fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *pDir = iList_Fd < 0 ? nullptr : ::fdopendir(iList_Fd);
    if (pDir == nullptr) {
        vClose(iList_Fd);
        return;
    }
    QList<QByteArray> lstNames;
    while (const dirent *pEntry = ::readdir(pDir)) {
        const QByteArray qbaEntry(pEntry->d_name);
        if (qbaEntry.size() == qbaName.size() + 7 && qbaEntry.startsWith(qbaName + '.'))
            lstNames << qbaEntry;
    }
    ::closedir(pDir);
    for (const QByteArray &qbaEntry : lstNames)
        eClear_Leftover(iParent_Fd, qbaEntry.constData(), true);
}

// A folder of a new name beside qbaName, which nobody can have planted.
Held_Folder hfBeside(int iParent_Fd, const QByteArray &qbaName)
{
    static const char acLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    Held_Folder held;
    for (int iTry = 0; iTry < 100; ++iTry) {
        QByteArray qbaBeside = qbaName + '.';
        for (int i = 0; i < 6; ++i)
            qbaBeside += acLetters[QRandomGenerator::global()->bounded(int(sizeof acLetters) - 1)];
        if (::mkdirat(iParent_Fd, qbaBeside.constData(), 0700) == 0)
            return hfHold_Made(iParent_Fd, qbaBeside);
        held.iErrno = errno;
        if (errno != EEXIST)
            break;
    }
    return held;
}

} // namespace

Held_Folder hfTake_Folder(int iParent_Fd, const QByteArray &qbaName)
{
    vClear_Own_Beside(iParent_Fd, qbaName);
    for (int iTry = 0; iTry < 3; ++iTry) {
        if (::mkdirat(iParent_Fd, qbaName.constData(), 0700) == 0) {
            const Held_Folder held = hfHold_Made(iParent_Fd, qbaName);
            if (held.eTake != Folder_Take::Failed || held.iErrno != EEXIST)
                return held;
            continue;
        }
        if (errno != EEXIST) {
            Held_Folder held;
            held.qbaName = qbaName;
            held.iErrno = errno;
            return held;
        }
        const Leftover eLeft = eClear_Leftover(iParent_Fd, qbaName.constData(), false);
        if (eLeft == Leftover::Held || eLeft == Leftover::Root_Owned || eLeft == Leftover::Stuck) {
            Held_Folder held;
            held.qbaName = qbaName;
            held.iErrno = errno;
            held.eTake = eLeft == Leftover::Held ? Folder_Take::Held
                : eLeft == Leftover::Root_Owned  ? Folder_Take::Root_Owned
                                                 : Folder_Take::Failed;
            return held;
        }
        if (eLeft == Leftover::Not_Ours)
            break;
    }
    // Another user's folder, held or not, or a name nobody may take: never a reason to refuse.
    return hfBeside(iParent_Fd, qbaName);
}
