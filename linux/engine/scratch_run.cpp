#include "scratch_run.h"

#include "folder_remove.h"
#include "held_folder.h"
#include "no_cow_folder.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool bSame_Inode(const struct stat &stA, const struct stat &stB)
{
    return stA.st_dev == stB.st_dev && stA.st_ino == stB.st_ino;
}

// Entries left in the folder open as iFolder_Fd; -1 with errno set when it cannot be read.
int iEntries_In(int iFolder_Fd)
{
    const int iList_Fd = ::openat(iFolder_Fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *pDir = iList_Fd < 0 ? nullptr : ::fdopendir(iList_Fd);
    if (pDir == nullptr) {
        const int iErrno = errno;
        if (iList_Fd >= 0)
            ::close(iList_Fd);
        errno = iErrno;
        return -1;
    }
    int iEntries = 0;
    errno = 0;
    while (const dirent *pEntry = ::readdir(pDir))
        iEntries += pEntry->d_name != QByteArray(".") && pEntry->d_name != QByteArray("..");
    const int iErrno = errno;
    ::closedir(pDir);
    errno = iErrno;
    return iErrno == 0 ? iEntries : -1;
}

} // namespace

Scratch_Run::Scratch_Run(const QString &qsWrite_Path)
    : m_qsWrite_Path(qsWrite_Path)
    , m_qbaName(QFile::encodeName(QFileInfo(qsWrite_Path).fileName()))
{
}

Scratch_Run::~Scratch_Run()
{
    if (!bClean_Up()) {
        ::close(m_iFolder_Fd);
        if (m_iTwin_Fd >= 0)
            ::close(m_iTwin_Fd);
    }
    if (m_iParent_Fd >= 0)
        ::close(m_iParent_Fd);
}

bool Scratch_Run::bPrepare(int iParent_Fd)
{
    errno = EINVAL;
    if (m_iParent_Fd >= 0 || m_qbaName.isEmpty())
        return false;
    m_iParent_Fd = ::fcntl(iParent_Fd, F_DUPFD_CLOEXEC, 0);
    if (m_iParent_Fd < 0)
        return false;
    const Held_Folder held = hfTake_Folder(m_iParent_Fd, m_qbaName);
    m_eTake = held.eTake;
    if (held.qbaName != m_qbaName) {
        m_qsWrite_Path = QFileInfo(m_qsWrite_Path).path() + QLatin1Char('/') + QFile::decodeName(held.qbaName);
        m_qbaName = held.qbaName;
    }
    if (held.eTake != Folder_Take::Taken) {
        errno = held.eTake == Folder_Take::Failed ? held.iErrno : EWOULDBLOCK;
        return false;
    }
    m_iFolder_Fd = held.iFd;
    m_iTwin_Fd = held.iTwin_Fd;
    // Zeros must reach the free blocks where btrfs compresses; where it cannot be so, the fill
    // frees no space and ends as such.
    bMake_No_Cow_Folder(m_iFolder_Fd);
    return true;
}

bool Scratch_Run::bFolder_Intact() const
{
    struct stat stHeld {}, stNamed {};
    return m_iFolder_Fd >= 0 && ::fstat(m_iFolder_Fd, &stHeld) == 0
        && ::fstatat(m_iParent_Fd, m_qbaName.constData(), &stNamed, AT_SYMLINK_NOFOLLOW) == 0
        && bSame_Inode(stHeld, stNamed);
}

Zero_Fill_Result Scratch_Run::zfrFill(const Fill_Observer &observer, const Fill_Limits &limits)
{
    return zfrZero_Fill(m_qsWrite_Path, observer, limits, m_iFolder_Fd, &m_qNameless);
}

bool Scratch_Run::bClean_Up()
{
    if (m_iFolder_Fd < 0)
        return true;
    m_qNameless.vRelease_All();
    // Through the handle: whatever was put in the folder's place meanwhile, only the folder made
    // is emptied, and its name is removed only while it still names that folder.
    vEmpty_Folder(m_iFolder_Fd);
    vEmpty_Folder(m_iFolder_Fd);
    const int iEntries = iEntries_In(m_iFolder_Fd);
    m_iErrno = errno;
    // Entries seen, not a folder that cannot be read: the run's own files have no names.
    m_bData_Left = iEntries > 0;
    const bool bRemoved = iEntries == 0 && bFolder_Intact() && ::unlinkat(m_iParent_Fd, m_qbaName.constData(), AT_REMOVEDIR) == 0;
    if (iEntries == 0 && !bRemoved)
        m_iErrno = errno;
    ::syncfs(m_iFolder_Fd);
    // A removal that succeeded is proof enough: on FUSE the handle of a removed folder no longer
    // answers fstat at all.
    struct stat stHeld {};
    const bool bGone = iEntries == 0
        && (bRemoved || (::fstat(m_iFolder_Fd, &stHeld) == 0 && stHeld.st_nlink == 0));
    if (!bGone)
        return false;
    // The lock goes with the handles, once the folder is gone.
    ::close(m_iFolder_Fd);
    m_iFolder_Fd = -1;
    if (m_iTwin_Fd >= 0)
        ::close(m_iTwin_Fd);
    m_iTwin_Fd = -1;
    return true;
}
