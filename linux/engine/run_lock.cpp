#include "run_lock.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <climits>

#include <dirent.h>
#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

bool bSame_File(const struct stat &stA, const struct stat &stB)
{
    return stA.st_dev == stB.st_dev && stA.st_ino == stB.st_ino;
}

// The folder the locks live in: /run/lock, where every user may keep locks and the sticky bit
// keeps each one's own; where a system has none, root keeps its own in /run/morvane. -1: none.
int iLock_Folder()
{
    struct stat st {};
    int iFd = ::open("/run/lock", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (iFd >= 0 && ::fstat(iFd, &st) == 0 && st.st_uid == 0 && (st.st_mode & S_ISVTX) && (st.st_mode & S_IWOTH))
        return iFd;
    if (iFd >= 0)
        ::close(iFd);
    if (::geteuid() != 0)
        return -1;
    ::mkdir("/run/morvane", 0755);
    iFd = ::open("/run/morvane", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (iFd >= 0 && ::fstat(iFd, &st) == 0 && st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return iFd;
    if (iFd >= 0)
        ::close(iFd);
    return -1;
}

// The processes holding a lock on the file st, as the kernel lists them (waiters left out).
QList<pid_t> lstLock_Holders(const struct stat &st)
{
    QList<pid_t> lstPids;
    QFile qLocks(QStringLiteral("/proc/locks"));
    if (!qLocks.open(QIODevice::ReadOnly))
        return lstPids;
    const QByteArray qbaFile = QByteArray::number(major(st.st_dev), 16).rightJustified(2, '0') + ':'
        + QByteArray::number(minor(st.st_dev), 16).rightJustified(2, '0') + ':' + QByteArray::number(quint64(st.st_ino));
    for (const QByteArray &qbaLine : qLocks.readAll().split('\n')) {
        const QList<QByteArray> lstFields = qbaLine.simplified().split(' ');
        if (lstFields.size() >= 6 && lstFields.at(1) != "->" && lstFields.at(5) == qbaFile)
            lstPids << pid_t(lstFields.at(4).toInt());
    }
    return lstPids;
}

// True when a run of another user holds the file system: a lock file of the name qbaPrefix and
// that user's number, owned by that user, locked by root or by a Morvane program of that user.
bool bOther_Run(int iLock_Fd, const QByteArray &qbaPrefix)
{
    const int iList_Fd = ::openat(iLock_Fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *pDir = iList_Fd < 0 ? nullptr : ::fdopendir(iList_Fd);
    if (pDir == nullptr) {
        if (iList_Fd >= 0)
            ::close(iList_Fd);
        return false;
    }
    bool bHeld = false;
    while (const dirent *pEntry = bHeld ? nullptr : ::readdir(pDir)) {
        const QByteArray qbaName(pEntry->d_name);
        bool bNumber = false;
        const uint uiUid = qbaName.startsWith(qbaPrefix) ? qbaName.mid(qbaPrefix.size()).toUInt(&bNumber) : 0;
        struct stat st {};
        if (!bNumber || uiUid == ::geteuid() || ::fstatat(iLock_Fd, pEntry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(st.st_mode) || st.st_uid != uiUid)
            continue;
        for (const pid_t iPid : lstLock_Holders(st))
            bHeld = bHeld || (iPid > 0 && (uiUid == 0 || bMorvane_Process(iPid)));
    }
    ::closedir(pDir);
    return bHeld;
}

// This user's lock file, which nobody else can open; a name planted by another user is taken
// back by root and leaves a user unlocked. -1 when there is none.
int iOwn_Lock_File(int iLock_Fd, const QByteArray &qbaName)
{
    for (int iTry = 0; iTry < 2; ++iTry) {
        const int iFd = ::openat(iLock_Fd, qbaName.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        struct stat st {};
        if (iFd >= 0 && ::fstat(iFd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0)
            return iFd;
        if (iFd >= 0)
            ::close(iFd);
        if (::geteuid() != 0 || ::unlinkat(iLock_Fd, qbaName.constData(), 0) != 0)
            return -1;
    }
    return -1;
}

} // namespace

QByteArray qbaFile_System_Key(int iFd)
{
    struct statfs sf {};
    btrfs_ioctl_fs_info_args info {};
    if (::fstatfs(iFd, &sf) == 0 && sf.f_type == BTRFS_SUPER_MAGIC && ::ioctl(iFd, BTRFS_IOC_FS_INFO, &info) == 0)
        return "btrfs-" + QByteArray(reinterpret_cast<const char *>(info.fsid), BTRFS_FSID_SIZE).toHex();
    struct stat st {};
    if (::fstat(iFd, &st) != 0)
        return QByteArray();
    return "dev-" + QByteArray::number(major(st.st_dev)) + '-' + QByteArray::number(minor(st.st_dev));
}

bool bMorvane_Process(pid_t iPid)
{
    const QByteArray qbaProc = "/proc/" + QByteArray::number(iPid);
    struct stat stExe {};
    if (::stat((qbaProc + "/exe").constData(), &stExe) == 0) {
        char acSelf[PATH_MAX] = {};
        if (::readlink("/proc/self/exe", acSelf, sizeof acSelf - 1) <= 0)
            return false;
        QByteArray qbaFolder(acSelf);
        qbaFolder.truncate(qbaFolder.lastIndexOf('/') + 1);
        for (const QByteArray &qbaProgram : {QByteArray(acSelf), qbaFolder + "morvane-fill", qbaFolder + "morvane_qt"}) {
            struct stat st {};
            if (::stat(qbaProgram.constData(), &st) == 0 && bSame_File(st, stExe))
                return true;
        }
        return false;
    }
    if (errno != EACCES && errno != EPERM)
        return false;
    QFile qName(QFile::decodeName(qbaProc + "/comm"));
    return qName.open(QIODevice::ReadOnly) && qName.readAll().startsWith("morvane");
}

Run_Lock::~Run_Lock()
{
    if (m_iFd >= 0)
        ::close(m_iFd);
}

bool Run_Lock::bLock(int iFolder_Fd)
{
    // A later place of the same run locks anew: the lock held would refuse it.
    if (m_iFd >= 0)
        ::close(m_iFd);
    m_iFd = -1;
    const QByteArray qbaKey = qbaFile_System_Key(iFolder_Fd);
    if (qbaKey.isEmpty())
        return false;
    const int iLock_Fd = iLock_Folder();
    if (iLock_Fd < 0)
        return true;
    const QByteArray qbaPrefix = "morvane." + qbaKey + '.';
    bool bLocked = !bOther_Run(iLock_Fd, qbaPrefix);
    const int iFd = bLocked ? iOwn_Lock_File(iLock_Fd, qbaPrefix + QByteArray::number(::geteuid())) : -1;
    if (iFd >= 0) {
        // Two users starting at once each see the other's lock only once both hold their own.
        bLocked = ::flock(iFd, LOCK_EX | LOCK_NB) == 0 && !bOther_Run(iLock_Fd, qbaPrefix);
        if (bLocked)
            m_iFd = iFd;
        else
            ::close(iFd);
    }
    ::close(iLock_Fd);
    errno = bLocked ? 0 : EWOULDBLOCK;
    return bLocked;
}
