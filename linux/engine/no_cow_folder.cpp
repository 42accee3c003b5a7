#include "no_cow_folder.h"

#include "held_volume.h"

#include <linux/fs.h>
#include <sys/ioctl.h>

bool bMake_No_Cow_Folder(int iFolder_Fd)
{
    if (!vkKind_Of(iFolder_Fd).bNo_Cow)
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
