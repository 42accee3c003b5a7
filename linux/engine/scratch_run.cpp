#include "scratch_run.h"

#include "folder_remove.h"
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

bool bEmpty_Folder(int iFolder_Fd)
{
    const int iList_Fd = ::openat(iFolder_Fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *pDir = iList_Fd < 0 ? nullptr : ::fdopendir(iList_Fd);
    if (pDir == nullptr) {
        if (iList_Fd >= 0)
            ::close(iList_Fd);
        return false;
    }
    int iEntries = 0;
    while (const dirent *pEntry = ::readdir(pDir))
        iEntries += pEntry->d_name != QByteArray(".") && pEntry->d_name != QByteArray("..");
    ::closedir(pDir);
    return iEntries == 0;
}

} // namespace

Scratch_Run::Scratch_Run(const QString &qsWrite_Path, bool bNameless)
    : m_qsWrite_Path(qsWrite_Path)
    , m_qbaName(QFile::encodeName(QFileInfo(qsWrite_Path).fileName()))
    , m_bNameless(bNameless)
{
}

Scratch_Run::~Scratch_Run()
{
    if (!bClean_Up()) {
        m_qGuardian.vLet_Go();  // one more try, by the guardian
        ::close(m_iFolder_Fd);
    }
    if (m_iParent_Fd >= 0)
        ::close(m_iParent_Fd);
}

bool Scratch_Run::bPrepare(int iParent_Fd, const QString &qsGuardian_Program)
{
    errno = EINVAL;
    if (m_iParent_Fd >= 0 || m_qbaName.isEmpty())
        return false;
    m_iParent_Fd = ::fcntl(iParent_Fd, F_DUPFD_CLOEXEC, 0);
    if (m_iParent_Fd < 0)
        return false;
    vRemove_Folder_At(m_iParent_Fd, m_qbaName.constData());
    vRemove_Folder_At(m_iParent_Fd, m_qbaName.constData());
    // Only the run itself works in the folder: whatever the umask, nobody else may plant names
    // in it while it fills.
    if (::mkdirat(m_iParent_Fd, m_qbaName.constData(), 0700) != 0)
        return false;
    m_iFolder_Fd = ::openat(m_iParent_Fd, m_qbaName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_iFolder_Fd < 0) {
        const int iErrno = errno;
        vRemove_Folder_At(m_iParent_Fd, m_qbaName.constData());
        errno = iErrno;
        return false;
    }
    // Zeros must reach the free blocks where btrfs compresses; where it cannot be so, the fill
    // frees no space and ends as such.
    bMake_No_Cow_Folder(m_iFolder_Fd);
    if (!qsGuardian_Program.isEmpty())
        m_qGuardian.bStart(m_iParent_Fd, m_iFolder_Fd, QFileInfo(m_qsWrite_Path).fileName(), qsGuardian_Program);
    return true;
}

bool Scratch_Run::bFolder_Intact() const
{
    struct stat stHeld {}, stNamed {};
    return m_iFolder_Fd >= 0 && ::fstat(m_iFolder_Fd, &stHeld) == 0
        && ::fstatat(m_iParent_Fd, m_qbaName.constData(), &stNamed, AT_SYMLINK_NOFOLLOW) == 0
        && bSame_Inode(stHeld, stNamed);
}

Zero_Fill_Result Scratch_Run::zfrFill(const Zero_Fill_Hooks &hooks)
{
    Zero_Fill_Hooks hooksGuarded = hooks;
    hooksGuarded.bVolume_Lost = [this, &hooks]() {
        return !bFolder_Intact() || (hooks.bVolume_Lost && hooks.bVolume_Lost());
    };
    return zfrZero_Fill(m_qsWrite_Path, hooksGuarded, m_iFolder_Fd, m_bNameless ? &m_qNameless : nullptr);
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
    const bool bEmptied = bEmpty_Folder(m_iFolder_Fd);
    m_bData_Left = !bEmptied;
    if (bEmptied && bFolder_Intact())
        ::unlinkat(m_iParent_Fd, m_qbaName.constData(), AT_REMOVEDIR);
    ::syncfs(m_iFolder_Fd);
    struct stat stHeld {};
    const bool bGone = bEmptied && ::fstat(m_iFolder_Fd, &stHeld) == 0 && stHeld.st_nlink == 0;
    if (!bGone)
        return false;
    ::close(m_iFolder_Fd);
    m_iFolder_Fd = -1;
    m_qGuardian.vRelease();
    return true;
}
