#include "no_cow_folder.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>

namespace {

constexpr long lBtrfs_Super_Magic = 0x9123683e;

} // namespace

bool bMake_No_Cow_Folder(int iFolder_Fd)
{
    struct statfs sfs {};
    if (::fstatfs(iFolder_Fd, &sfs) != 0 || long(sfs.f_type) != lBtrfs_Super_Magic)
        return false;
    int iFlags = 0;
    if (::ioctl(iFolder_Fd, FS_IOC_GETFLAGS, &iFlags) != 0)
        return false;
    if ((iFlags & FS_NOCOW_FL) != 0)
        return true;
    iFlags |= FS_NOCOW_FL;
    return ::ioctl(iFolder_Fd, FS_IOC_SETFLAGS, &iFlags) == 0;
}

bool bNo_Cow_File(int iFd)
{
    int iFlags = 0;
    return ::ioctl(iFd, FS_IOC_GETFLAGS, &iFlags) == 0 && (iFlags & FS_NOCOW_FL) != 0;
}
