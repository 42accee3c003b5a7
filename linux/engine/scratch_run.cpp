#include "scratch_run.h"

#include "folder_remove.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool bSame_Inode(const struct stat &stA, const struct stat &stB)
{
    return stA.st_dev == stB.st_dev && stA.st_ino == stB.st_ino;
}

} // namespace

Scratch_Run::Scratch_Run(const QString &qsWrite_Path)
    : m_qsWrite_Path(qsWrite_Path)
{
}

Scratch_Run::~Scratch_Run()
{
    vClean_Up();
    if (m_iParent_Fd >= 0)
        ::close(m_iParent_Fd);
}

bool Scratch_Run::bPrepare(const QString &qsGuardian_Program)
{
    const QFileInfo qPath_Info(m_qsWrite_Path);
    const QByteArray qbaName = QFile::encodeName(qPath_Info.fileName());
    if (m_iParent_Fd >= 0 || qbaName.isEmpty())
        return false;
    m_iParent_Fd = ::open(QFile::encodeName(qPath_Info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_iParent_Fd < 0)
        return false;
    vRemove_Folder_At(m_iParent_Fd, qbaName.constData());
    vRemove_Folder_At(m_iParent_Fd, qbaName.constData());
    // Only the run itself works in the folder: whatever the umask, nobody else may plant names
    // in it while it fills.
    if (::mkdirat(m_iParent_Fd, qbaName.constData(), 0700) != 0)
        return false;
    m_iFolder_Fd = ::openat(m_iParent_Fd, qbaName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_iFolder_Fd < 0) {
        vRemove_Folder_At(m_iParent_Fd, qbaName.constData());
        return false;
    }
    m_qGuardian.bStart(m_iParent_Fd, m_iFolder_Fd, qPath_Info.fileName(), qsGuardian_Program);
    return true;
}

bool Scratch_Run::bFolder_Intact() const
{
    struct stat stHeld {}, stNamed {};
    return m_iFolder_Fd >= 0 && ::fstat(m_iFolder_Fd, &stHeld) == 0
        && ::stat(QFile::encodeName(m_qsWrite_Path).constData(), &stNamed) == 0 && bSame_Inode(stHeld, stNamed);
}

Zero_Fill_Result Scratch_Run::zfrFill(const Zero_Fill_Hooks &hooks)
{
    Zero_Fill_Hooks hooksGuarded = hooks;
    hooksGuarded.bVolume_Lost = [this, &hooks]() {
        return !bFolder_Intact() || (hooks.bVolume_Lost && hooks.bVolume_Lost());
    };
    return zfrZero_Fill(m_qsWrite_Path, hooksGuarded, m_iFolder_Fd);
}

void Scratch_Run::vClean_Up()
{
    if (m_iFolder_Fd < 0)
        return;
    // Through the handle: whatever was put in the folder's place meanwhile, only the folder made
    // is emptied, and its name is removed only while it still names that folder.
    vEmpty_Folder(m_iFolder_Fd);
    vEmpty_Folder(m_iFolder_Fd);
    struct stat stHeld {}, stNamed {};
    const QByteArray qbaName = QFile::encodeName(QFileInfo(m_qsWrite_Path).fileName());
    if (::fstat(m_iFolder_Fd, &stHeld) == 0
        && ::fstatat(m_iParent_Fd, qbaName.constData(), &stNamed, AT_SYMLINK_NOFOLLOW) == 0
        && bSame_Inode(stHeld, stNamed))
        ::unlinkat(m_iParent_Fd, qbaName.constData(), AT_REMOVEDIR);
    ::syncfs(m_iFolder_Fd);
    ::close(m_iFolder_Fd);
    m_iFolder_Fd = -1;
    m_qGuardian.vRelease();
}
