#ifndef FILL_PROGRESS_H
#define FILL_PROGRESS_H

#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Progress of one volume's fill on standard error. On a terminal a line of percentage, bytes,
// rate and time left is redrawn in place a few times a second, by a thread of its own so that
// it goes on while the writer is busy inside one large file; otherwise one line per file.
class Fill_Progress
{
public:
    // With oKeep_Free the run stops once ordinary users have that many bytes left: the progress
    // counts up to there.
    // iFd: the folder filled, held open.
    Fill_Progress(const QString &qsFolder, int iFd, bool bShow, std::optional<qint64> oKeep_Free = {});
    ~Fill_Progress();
    Fill_Progress(const Fill_Progress &) = delete;
    Fill_Progress &operator=(const Fill_Progress &) = delete;

    // The fill has made iFiles files so far.
    void vFile_Done(int iFiles);
    // Stops the redrawing and ends the progress line.
    void vStop();
    double dSeconds() const { return m_qTimer.nsecsElapsed() / 1e9; }

private:
    QString qsLine() const;
    void vTick();
    qint64 iTo_Write() const;

    const QString m_qsFolder;
    const int m_iFd;
    const bool m_bShow;
    const bool m_bTerminal;
    const std::optional<qint64> m_oKeep_Free;
    const qint64 m_iStart_Free;
    QElapsedTimer m_qTimer;
    std::atomic<int> m_iFiles {0};
    std::mutex m_mutex;
    std::condition_variable m_cvStop;
    bool m_bStop = false;
    std::thread m_thread;
};

// A byte count as people read it, "1.5 GiB".
QString qsBytes(double dBytes);

// A time as minutes:seconds, "2:05".
QString qsDuration(double dSeconds);

// Draws qsLine over the progress line of a terminal, cut from the left to the terminal's width.
void vRedraw_Line(const QString &qsLine);

#endif // FILL_PROGRESS_H
