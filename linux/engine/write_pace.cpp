#include "write_pace.h"

#include <algorithm>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint64 iPage_Bytes = 4096;
constexpr qint64 iLargest_Block = 64 * 1024 * 1024;
// Time a slow step (a flush at the end of a file) may be made up for by writing faster; more
// would let the writer burst at the device's full speed for as long as the step took.
constexpr auto tCatch_Up = std::chrono::milliseconds(250);

} // namespace

Write_Pace::Write_Pace(qint64 iBytes_Per_Second)
    : m_iRate(std::max<qint64>(1, iBytes_Per_Second))
    , m_tDue(Clock::now())
{
}

qint64 Write_Pace::iBlock_Bytes() const
{
    return std::clamp(m_iRate / 10 / iPage_Bytes * iPage_Bytes, iPage_Bytes, iLargest_Block);
}

void Write_Pace::vWrote(qint64 iBytes)
{
    const Clock::time_point tNow = Clock::now();
    m_tDue = std::max(m_tDue, tNow - std::chrono::duration_cast<Clock::duration>(tCatch_Up))
        + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(iBytes) / m_iRate));
    if (m_tDue <= tNow)
        return;
    const auto iNanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(m_tDue - tNow).count();
    const struct timespec ts {time_t(iNanoseconds / 1000000000), long(iNanoseconds % 1000000000)};
    // Not resumed after EINTR: the writer checks for the signal before its next block.
    ::nanosleep(&ts, nullptr);
}
