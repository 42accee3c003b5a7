#include "fill_progress.h"

#include "held_volume.h"

#include <QLocale>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>

#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr auto tRedraw_Interval = std::chrono::milliseconds(250);

} // namespace

QString qsDuration(double dSeconds)
{
    const qint64 iSeconds = qint64(dSeconds + 0.5);
    return QString::asprintf("%lld:%02lld", iSeconds / 60, iSeconds % 60);
}

void vRedraw_Line(const QString &qsLine)
{
    // A line longer than the terminal wraps, and the carriage return would then redraw only its
    // last part: the folder name gives way from the left.
    QString qsText = qsLine;
    struct winsize ws {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20 && qsText.size() >= ws.ws_col)
        qsText = QStringLiteral("…") + qsText.right(ws.ws_col - 2);
    // Back to the start of the line, the new text, and the rest of the old one cleared.
    std::fprintf(stderr, "\r%s\033[K", qPrintable(qsText));
}

QString qsBytes(double dBytes)
{
    return QLocale::c().formattedDataSize(qint64(dBytes), 2, QLocale::DataSizeIecFormat);
}

Fill_Progress::Fill_Progress(const QString &qsFolder, int iFd, bool bShow, std::optional<qint64> oKeep_Free)
    : m_qsFolder(qsFolder)
    , m_iFd(iFd)
    , m_bShow(bShow)
    , m_bTerminal(bShow && ::isatty(STDERR_FILENO))
    , m_oKeep_Free(oKeep_Free)
    , m_iStart_Free(iTo_Write())
{
    m_qTimer.start();
    if (!m_bTerminal)
        return;
    // Signals belong to the writing thread, which cleans up after them.
    sigset_t all, old;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &old);
    m_thread = std::thread([this]() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_cvStop.wait_for(lock, tRedraw_Interval, [this]() { return m_bStop; }))
            vTick();
    });
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

Fill_Progress::~Fill_Progress()
{
    vStop();
}

void Fill_Progress::vFile_Done(int iFiles)
{
    m_iFiles = iFiles;
    if (m_bShow && !m_bTerminal)
        std::fprintf(stderr, "%s\n", qPrintable(qsLine()));
}

void Fill_Progress::vStop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cvStop.notify_all();
    m_thread.join();
    vTick();
    std::fputc('\n', stderr);
}

QString Fill_Progress::qsLine() const
{
    const double dWritten = std::max<double>(0, m_iStart_Free - iTo_Write());
    const double dElapsed = std::max(dSeconds(), 1e-3);
    const double dRate = dWritten / dElapsed;
    const int iPercent = m_iStart_Free > 0 ? std::min(100, int(100.0 * dWritten / m_iStart_Free)) : 100;
    QString qsText = m_qsFolder + QStringLiteral(": ") + QString::number(iPercent) + QStringLiteral(" %  ")
        + qsBytes(dWritten) + QStringLiteral(" of ") + qsBytes(m_iStart_Free) + QStringLiteral("  ")
        + qsBytes(dRate) + QStringLiteral("/s");
    if (m_bTerminal) {
        if (dRate > 0)
            qsText += QStringLiteral("  ") + qsDuration(std::max<double>(0, m_iStart_Free - dWritten) / dRate)
                + QStringLiteral(" left");
    } else {
        qsText += QStringLiteral("  file ") + QString::number(m_iFiles) + QStringLiteral(" done");
    }
    return qsText;
}

qint64 Fill_Progress::iTo_Write() const
{
    const Volume_Space vs = vsSpace_Of(m_iFd);
    if (!m_oKeep_Free)
        return qint64(vs.dReachable());
    return std::max<qint64>(0, qint64(vs.dAvailable()) - *m_oKeep_Free);
}

void Fill_Progress::vTick()
{
    vRedraw_Line(qsLine());
}
