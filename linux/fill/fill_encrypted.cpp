#include "fill_encrypted.h"

#include <QDir>
#include <QFile>

#include <cstdio>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// Deeper stacks of devices are not followed; the kernel itself allows far fewer.
constexpr int iMax_Depth = 16;

// cryptsetup names the device-mapper devices it opens "CRYPT-..."; below any other device-mapper
// device (LVM, a partition) the devices it is made of are looked at in turn.
bool bCrypt_Below(const QString &qsSys_Dir, int iDepth)
{
    QFile qUuid(qsSys_Dir + QStringLiteral("/dm/uuid"));
    if (qUuid.open(QIODevice::ReadOnly) && qUuid.readAll().startsWith("CRYPT-"))
        return true;
    if (iDepth >= iMax_Depth)
        return false;
    const QDir qSlaves(qsSys_Dir + QStringLiteral("/slaves"));
    for (const QString &qsSlave : qSlaves.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (bCrypt_Below(qSlaves.filePath(qsSlave), iDepth + 1))
            return true;
    }
    return false;
}

} // namespace

bool bOn_Dm_Crypt(const Fill_Volume &volume)
{
    // The mount's source names the device even where the file system reports a number of its own
    // (btrfs); the folder's device serves where the source is no device node.
    struct stat st {};
    dev_t uiDev = 0;
    if (::stat(QFile::encodeName(volume.vi.qsSource).constData(), &st) == 0 && S_ISBLK(st.st_mode))
        uiDev = st.st_rdev;
    else if (::fstat(volume.iFd(), &st) == 0)
        uiDev = st.st_dev;
    else
        return false;
    return bCrypt_Below(QStringLiteral("/sys/dev/block/%1:%2").arg(major(uiDev)).arg(minor(uiDev)), 0);
}

void vTell_Encrypted(const Fill_Volume &volume, const Fill_Options &options)
{
    if (options.bQuiet || !bOn_Dm_Crypt(volume))
        return;
    std::fprintf(stderr,
                 "morvane-fill: %s: lies on dm-crypt: the zeros reached the disk encrypted, so an image of the "
                 "disk will not compress; an image of %s itself will\n",
                 qPrintable(volume.qsFolder), qPrintable(volume.vi.qsSource));
}
