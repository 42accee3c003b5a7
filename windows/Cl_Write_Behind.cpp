#include "Cl_Write_Behind.h"

#include <windows.h>

Cl_Write_Behind::~Cl_Write_Behind()
{
    vWait();
}

unsigned long __stdcall Cl_Write_Behind::uiFlush(void *pJob)
{
    Job &oJob = *static_cast<Job *>(pJob);
    oJob.uiError = FlushFileBuffers(oJob.hFile) ? 0 : GetLastError();
    return 0;
}

void Cl_Write_Behind::vWritten(void *hFile, std::uint64_t uiBytes)
{
    m_uiUnflushed += uiBytes;
    if (m_uiUnflushed < uiStep_Bytes) return;
    m_uiUnflushed = 0;
    // Waiting for the flush before keeps the data in memory to two steps.
    vWait();
    m_oJob = Job{hFile, 0};
    // Without a thread the data still goes out at the writer's own flush.
    m_hThread = CreateThread(nullptr, 64 * 1024, uiFlush, &m_oJob, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
}

void Cl_Write_Behind::vWait()
{
    if (!m_hThread) return;
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    if (m_oJob.uiError && !m_uiFirst_Error) m_uiFirst_Error = m_oJob.uiError;
}

unsigned long Cl_Write_Behind::uiDrain()
{
    vWait();
    // The caller flushes or closes what is written: the next step counts from here.
    m_uiUnflushed = 0;
    const unsigned long uiError = m_uiFirst_Error;
    m_uiFirst_Error = 0;
    return uiError;
}
