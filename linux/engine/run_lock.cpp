#include "run_lock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

Run_Lock::~Run_Lock()
{
    if (m_iFd >= 0)
        ::close(m_iFd);
}

bool Run_Lock::bLock(int iFolder_Fd, const Volume_Identity &vi)
{
    if (m_iFd >= 0)
        ::close(m_iFd);
    // The top folder, when its name still leads to this very mount (another mounted over it
    // does not count); else the folder itself, which still keeps two runs from one folder.
    m_iFd = ::open(QFile::encodeName(vi.qsMount_Point).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct statx stx {};
    if (m_iFd >= 0
        && (::statx(m_iFd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) != 0 || stx.stx_mnt_id != vi.uiMount_Id)) {
        ::close(m_iFd);
        m_iFd = -1;
    }
    if (m_iFd < 0)
        m_iFd = ::fcntl(iFolder_Fd, F_DUPFD_CLOEXEC, 0);
    return m_iFd >= 0 && ::flock(m_iFd, LOCK_EX | LOCK_NB) == 0;
}
