#ifndef WRITE_PACE_H
#define WRITE_PACE_H

#include <QtGlobal>

#include <chrono>

// Holds a writer to a rate: after each block it sleeps until the bytes written so far are due.
class Write_Pace
{
public:
    explicit Write_Pace(qint64 iBytes_Per_Second);

    // The largest block to write at once: a tenth of a second's worth, whole pages, so that the
    // device sees a steady stream rather than bursts and pauses.
    qint64 iBlock_Bytes() const;
    // iBytes were written: sleeps as long as the rate asks; a signal cuts the sleep short.
    void vWrote(qint64 iBytes);

private:
    const qint64 m_iRate;
    std::chrono::steady_clock::time_point m_tDue;  // when the bytes written so far are due
};

#endif // WRITE_PACE_H
