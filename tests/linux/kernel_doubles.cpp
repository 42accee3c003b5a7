// Stand-ins, loaded with LD_PRELOAD, for what this kernel and its loop devices cannot show:
// - MORVANE_QUOTA_BYTES: once that many bytes have been written to files, every further write
//   fails with EDQUOT, as a disk quota that ran out makes it (the kernel has no quota support);
// - MORVANE_DISCARD_KEEPS: FITRIM succeeds and changes nothing, as on a device whose discard
//   leaves the old data readable;
// - MORVANE_NO_FIEMAP: FIEMAP fails, as on a file system that does not say where a file lies.
#include <dlfcn.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <unistd.h>

extern "C" ssize_t write(int iFd, const void *pBuffer, size_t uiBytes)
{
    static auto *const pReal = reinterpret_cast<ssize_t (*)(int, const void *, size_t)>(dlsym(RTLD_NEXT, "write"));
    static const char *const pcLimit = std::getenv("MORVANE_QUOTA_BYTES");
    static long long iWritten = 0;
    if (pcLimit != nullptr && iFd > STDERR_FILENO && uiBytes > 1) {
        if (iWritten + (long long)uiBytes > std::atoll(pcLimit)) {
            errno = EDQUOT;
            return -1;
        }
        iWritten += (long long)uiBytes;
    }
    return pReal(iFd, pBuffer, uiBytes);
}

extern "C" int ioctl(int iFd, unsigned long ulRequest, ...)
{
    static auto *const pReal = reinterpret_cast<int (*)(int, unsigned long, void *)>(dlsym(RTLD_NEXT, "ioctl"));
    va_list args;
    va_start(args, ulRequest);
    void *pArgument = va_arg(args, void *);
    va_end(args);
    if (ulRequest == FITRIM && std::getenv("MORVANE_DISCARD_KEEPS") != nullptr)
        return 0;
    if (ulRequest == FS_IOC_FIEMAP && std::getenv("MORVANE_NO_FIEMAP") != nullptr) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return pReal(iFd, ulRequest, pArgument);
}
