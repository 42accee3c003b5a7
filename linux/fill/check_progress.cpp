#include "check_progress.h"

#include "fill_progress.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {

constexpr qint64 iRedraw_Ms = 250;

} // namespace

Check_Progress::Check_Progress(const QString &qsFolder, bool bShow)
    : m_qsFolder(qsFolder)
    , m_bShow(bShow)
    , m_bTerminal(bShow && ::isatty(STDERR_FILENO))
{
    m_qTimer.start();
}

void Check_Progress::vRead(quint64 uiDone, quint64 uiTotal)
{
    if (!m_bShow || uiTotal == 0)
        return;
    if (m_bTerminal) {
        if (m_qTimer.elapsed() - m_iLast_Draw < iRedraw_Ms && uiDone < uiTotal)
            return;
        m_iLast_Draw = m_qTimer.elapsed();
        m_bDrawn = true;
        vRedraw_Line(qsLine(uiDone, uiTotal));
        return;
    }
    const int iTenth = int(10 * uiDone / uiTotal);
    if (iTenth == m_iLast_Tenth)
        return;
    m_iLast_Tenth = iTenth;
    std::fprintf(stderr, "%s\n", qPrintable(qsLine(uiDone, uiTotal)));
}

void Check_Progress::vStop()
{
    if (m_bDrawn)
        std::fputc('\n', stderr);
    m_bDrawn = false;
}

QString Check_Progress::qsLine(quint64 uiDone, quint64 uiTotal) const
{
    const double dRate = uiDone / std::max(m_qTimer.nsecsElapsed() / 1e9, 1e-3);
    QString qsText = m_qsFolder + QStringLiteral(": checking ") + QString::number(100 * uiDone / uiTotal)
        + QStringLiteral(" %  ") + qsBytes(uiDone) + QStringLiteral(" of ") + qsBytes(uiTotal) + QStringLiteral(" read  ")
        + qsBytes(dRate) + QStringLiteral("/s");
    if (m_bTerminal && dRate > 0)
        qsText += QStringLiteral("  ") + qsDuration((uiTotal - uiDone) / dRate) + QStringLiteral(" left");
    return qsText;
}
