// Stands in for a disk quota where the kernel has none: once MORVANE_QUOTA_BYTES have been
// written to files, every further write fails with EDQUOT, as a quota that ran out makes it.
#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

extern "C" ssize_t write(int iFd, const void *pBuffer, size_t uiBytes)
{
    static auto *const pReal = reinterpret_cast<ssize_t (*)(int, const void *, size_t)>(dlsym(RTLD_NEXT, "write"));
    static const long long iLimit = std::atoll(std::getenv("MORVANE_QUOTA_BYTES") ? std::getenv("MORVANE_QUOTA_BYTES") : "0");
    static long long iWritten = 0;
    if (iFd > STDERR_FILENO && uiBytes > 1) {
        if (iWritten + (long long)uiBytes > iLimit) {
            errno = EDQUOT;
            return -1;
        }
        iWritten += (long long)uiBytes;
    }
    return pReal(iFd, pBuffer, uiBytes);
}
