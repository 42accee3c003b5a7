#ifndef CHECK_PROGRESS_H
#define CHECK_PROGRESS_H

#include <QElapsedTimer>
#include <QString>

// Progress of one check of the free space on standard error, shown as the fill's: on a terminal
// a line of percentage, bytes, rate and time left redrawn in place a few times a second,
// otherwise one line per tenth read. The reader calls it between its reads.
class Check_Progress
{
public:
    Check_Progress(const QString &qsFolder, bool bShow);
    // uiDone of uiTotal bytes are read.
    void vRead(quint64 uiDone, quint64 uiTotal);
    // Ends the progress line.
    void vStop();

private:
    QString qsLine(quint64 uiDone, quint64 uiTotal) const;

    const QString m_qsFolder;
    const bool m_bShow;
    const bool m_bTerminal;
    QElapsedTimer m_qTimer;
    qint64 m_iLast_Draw = -1000;
    int m_iLast_Tenth = 0;
    bool m_bDrawn = false;
};

#endif // CHECK_PROGRESS_H
