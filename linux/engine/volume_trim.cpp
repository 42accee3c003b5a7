#include "volume_trim.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

Volume_Trim vtTrim_Volume(int iFolder_Fd)
{
    Volume_Trim trim;
    QElapsedTimer qTimer;
    qTimer.start();
    const int iFd = ::fcntl(iFolder_Fd, F_DUPFD_CLOEXEC, 0);
    if (iFd < 0) {
        trim.qsRefusal = QStringLiteral("cannot open the folder: ") + qt_error_string(errno);
        return trim;
    }
    // Blocks freed by the last transaction are discarded only once it is committed.
    ::syncfs(iFd);
    // The whole volume, extents of any length: the free space a file can reach and the reserves.
    fstrim_range range {};
    range.len = ~0ull;
    const int iResult = ::ioctl(iFd, FITRIM, &range);
    const int iError = errno;
    ::close(iFd);
    trim.dSeconds = qTimer.nsecsElapsed() / 1e9;
    if (iResult == 0) {
        trim.uiBytes_Discarded = range.len;
        return trim;
    }
    if (iError == EOPNOTSUPP || iError == ENOTTY)
        trim.qsRefusal = QStringLiteral("the device does not accept discard");
    else if (iError == EPERM || iError == EACCES)
        trim.qsRefusal = QStringLiteral("only root may discard free space (FITRIM)");
    else
        trim.qsRefusal = QStringLiteral("the discard failed: ") + qt_error_string(iError);
    return trim;
}
