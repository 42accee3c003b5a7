// Puts a file's written data on the device in the background while the
// writer goes on. A writer that flushes only at the end of a long file leaves
// the device idle while the system's cache fills, then leaves itself idle
// while the cache drains; flushing each step behind the writer keeps both at
// work and keeps no more than two steps' data waiting in memory.
#pragma once

#include <cstdint>

class Cl_Write_Behind {
public:
    // How much data is written between two background flushes.
    static constexpr std::uint64_t uiStep_Bytes = 64ull << 20;

    Cl_Write_Behind() = default;
    Cl_Write_Behind(const Cl_Write_Behind &) = delete;
    Cl_Write_Behind &operator=(const Cl_Write_Behind &) = delete;
    ~Cl_Write_Behind();

    // uiBytes more were written to hFile. After each step's worth, the file is
    // flushed in the background, once the flush before it has ended.
    void vWritten(void *hFile, std::uint64_t uiBytes);

    // Waits for the flush going on, if any: before the file is resized or closed.
    void vWait();
    // vWait, then the first failure (a Win32 error number) of a background
    // flush since the last call, or 0: before the writer's own flush, which
    // would not see it, as the system tells such a failure only once. The
    // next step is counted from here.
    unsigned long uiDrain();

private:
    struct Job {
        void *hFile = nullptr;
        unsigned long uiError = 0;
    };
    static unsigned long __stdcall uiFlush(void *pJob);

    void *m_hThread = nullptr;
    Job m_oJob;
    std::uint64_t m_uiUnflushed = 0;  // written since the last flush started
    unsigned long m_uiFirst_Error = 0;
};
