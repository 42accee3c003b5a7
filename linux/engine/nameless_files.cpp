#include "nameless_files.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

int Nameless_Files::iCreate(int iFolder_Fd)
{
    int iFd = ::openat(iFolder_Fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (iFd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        char acName[32];
        std::snprintf(acName, sizeof acName, "%d", iCount());
        iFd = ::openat(iFolder_Fd, acName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (iFd >= 0 && ::unlinkat(iFolder_Fd, acName, 0) != 0) {
            const int iErrno = errno;
            ::close(iFd);
            errno = iErrno;
            return -1;
        }
    }
    if (iFd < 0)
        return -1;
    const int iKept = ::fcntl(iFd, F_DUPFD_CLOEXEC, 0);
    if (iKept < 0) {
        const int iErrno = errno;
        ::close(iFd);
        errno = iErrno;
        return -1;
    }
    m_lstFds.push_back(iKept);
    return iFd;
}

int Nameless_Files::iReopen(int i) const
{
    if (i < 0 || i >= iCount())
        return -1;
    const int iFd = ::fcntl(m_lstFds[size_t(i)], F_DUPFD_CLOEXEC, 0);
    if (iFd >= 0)
        ::lseek(iFd, 0, SEEK_END);
    return iFd;
}

void Nameless_Files::vRelease_All()
{
    for (const int iFd : m_lstFds)
        ::close(iFd);
    m_lstFds.clear();
}
