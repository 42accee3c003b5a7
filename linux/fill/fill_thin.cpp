#include "fill_thin.h"

#include "check_progress.h"
#include "fill_progress.h"
#include "free_space_check.h"
#include "held_volume.h"
#include "volume_trim.h"

#include <QJsonArray>

#include <cstdio>
#include <limits>


namespace {

// Enough of the free space to see whether a discard turns data into zeros, read in no time.
constexpr quint64 uiProbe_Bytes = 64 * 1024 * 1024;

class Thin_Run
{
public:
    Thin_Run(const Fill_Volume &volume, const Fill_Options &options, QJsonObject &qJson)
        : m_volume(volume), m_options(options), m_qJson(qJson)
    {
    }

    // Reads the free space; reports it unless it is a probe, and a probe's refusal only where a
    // check was asked for.
    Free_Space_Check fscCheck(quint64 uiMax_Bytes = std::numeric_limits<quint64>::max())
    {
        const bool bProbe = uiMax_Bytes != std::numeric_limits<quint64>::max();
        Check_Progress progress(m_volume.qsFolder, !m_options.bQuiet && !bProbe);
        const Free_Space_Check check = fscCheck_Free_Space(
            m_volume.iFd(), m_volume.vi.qsSource, [&progress](quint64 uiDone, quint64 uiTotal) { progress.vRead(uiDone, uiTotal); },
            uiMax_Bytes);
        progress.vStop();
        if (!check.bDone() && bProbe && !m_options.bCheck)
            return check;
        if (!check.bDone()) {
            vRefuse(QStringLiteral("cannot check the free space: ") + check.qsRefusal, QStringLiteral("check_refused"),
                    check.qsRefusal);
            return check;
        }
        if (bProbe)
            return check;
        m_qslSteps << QStringLiteral("check");
        m_qJson.insert(QStringLiteral("blocks_not_zero"), qint64(check.uiBlocks_Not_Zero));
        m_qJson.insert(QStringLiteral("blocks_read"), qint64(check.uiBlocks_Read));
        m_qJson.insert(QStringLiteral("check_seconds"), check.dSeconds);
        vSay(QStringLiteral("%1 of %2 free blocks read are not zeros (%3 s)")
                 .arg(check.uiBlocks_Not_Zero)
                 .arg(check.uiBlocks_Read)
                 .arg(check.dSeconds, 0, 'f', 1));
        return check;
    }

    Volume_Trim vtTrim()
    {
        const Volume_Trim trim = vtTrim_Volume(m_volume.iFd());
        if (!trim.bDone()) {
            vRefuse(QStringLiteral("nothing discarded: ") + trim.qsRefusal, QStringLiteral("trim_refused"), trim.qsRefusal);
            return trim;
        }
        m_qslSteps << QStringLiteral("trim");
        m_uiDiscarded += trim.uiBytes_Discarded;
        m_qJson.insert(QStringLiteral("bytes_discarded"), qint64(m_uiDiscarded));
        vSay(qsBytes(trim.uiBytes_Discarded) + QStringLiteral(" discarded in ") + QString::number(trim.dSeconds, 'f', 1)
             + QStringLiteral(" s"));
        return trim;
    }

    Fill_Summary fsFill(const Volume_Fill &fFill)
    {
        m_qslSteps << QStringLiteral("fill");
        return fFill(m_volume, m_options);
    }

    // The summary of a run that wrote nothing: the free blocks as they are now.
    Fill_Summary fsNo_Fill() const
    {
        Fill_Summary summary;
        const Volume_Space vs = vsSpace_Of(m_volume.iFd());
        summary.uiFree_Blocks_After = vs.uiFree_Blocks;
        summary.uiBlock_Size = vs.uiBlock_Size;
        return summary;
    }

    void vNote(const QString &qsStep, const QString &qsLine)
    {
        m_qslSteps << qsStep;
        vSay(qsLine);
    }

    // The discard asked for is left out where it could undo the zeros just written.
    void vSkip_Trim()
    {
        m_qslSteps << QStringLiteral("trim skipped");
        const QString qsReason = QStringLiteral("whether this device's discard reads back zeros cannot be told here");
        vRefuse(QStringLiteral("nothing discarded after the fill: ") + qsReason + QStringLiteral(", and a discard could undo the zeros"),
                QStringLiteral("trim_refused"), qsReason);
    }

    QString qsLine(const QString &qsText) const { return m_volume.qsFolder + QStringLiteral(": ") + qsText; }

    void vSay(const QString &qsLine) const
    {
        if (!m_options.bQuiet)
            std::fprintf(stderr, "morvane-fill: %s: %s\n", qPrintable(m_volume.qsFolder), qPrintable(qsLine));
    }

    ~Thin_Run() { m_qJson.insert(QStringLiteral("steps"), QJsonArray::fromStringList(m_qslSteps)); }

    // What was asked and cannot be done is said even with --quiet.
    void vRefuse(const QString &qsLine, const QString &qsKey, const QString &qsReason)
    {
        std::fprintf(stderr, "morvane-fill: %s: %s\n", qPrintable(m_volume.qsFolder), qPrintable(qsLine));
        m_qJson.insert(qsKey, qsReason);
    }

private:

    const Fill_Volume &m_volume;
    const Fill_Options &m_options;
    QJsonObject &m_qJson;
    QStringList m_qslSteps;
    quint64 m_uiDiscarded = 0;
};

} // namespace

Fill_Summary fsThin_Volume(const Fill_Volume &volume, const Fill_Options &options, const Volume_Fill &fFill,
                           QJsonObject &qJson)
{
    Thin_Run run(volume, options, qJson);
    if (!options.bTrim) {
        if (options.bFill) {
            Fill_Summary summary = run.fsFill(fFill);
            if (summary.iStatus == iExit_Filled && summary.iSignal == 0 && options.bCheck)
                run.fscCheck();
            return summary;
        }
        const bool bChecked = run.fscCheck().bDone();
        // A check alone that cannot be made has done nothing that was asked.
        return bChecked ? fsEnded(iExit_Filled, QStringLiteral("done"), run.qsLine(QStringLiteral("checked")))
                        : fsEnded(iExit_Unfillable, QStringLiteral("failed"), run.qsLine(QStringLiteral("the check could not be made")));
    }
    // Whether a discard turns data into zeros shows on the first free blocks read before and after;
    // a discard that leaves old data would undo the zeros, so none follows the fill unless it shows.
    const Free_Space_Check probe = run.fscCheck(uiProbe_Bytes);
    const bool bTold = probe.bDone() && probe.uiBlocks_Not_Zero > 0;
    const Volume_Trim first = bTold ? run.vtTrim() : Volume_Trim{QStringLiteral("not tried")};
    const Free_Space_Check probe_after = first.bDone() ? run.fscCheck(uiProbe_Bytes) : probe;
    const Free_Space_Check after = options.bCheck && probe.bDone() ? run.fscCheck() : Free_Space_Check{QStringLiteral("not made")};
    if (after.bDone() && after.uiBlocks_Not_Zero == 0) {
        run.vNote(QStringLiteral("fill skipped"), QStringLiteral("every free block reads zeros")
                      + (first.bDone() ? QStringLiteral(" after the discard") : QString()) + QStringLiteral(": no fill needed"));
        Fill_Summary summary = run.fsNo_Fill();
        summary.qsMessage = run.qsLine(QStringLiteral("no fill needed"));
        return summary;
    }
    Fill_Summary summary = run.fsFill(fFill);
    if (summary.iStatus != iExit_Filled || summary.iSignal != 0)
        return summary;
    if (first.bDone() && probe_after.uiBlocks_Not_Zero < probe.uiBlocks_Not_Zero)
        run.vtTrim();
    else if (first.bDone())
        run.vNote(QStringLiteral("trim not repeated"),
                  QStringLiteral("the discard turned no block into zeros: not repeated after the fill, which it could undo"));
    else if (!bTold)
        run.vSkip_Trim();
    if (options.bCheck)
        run.fscCheck();
    return summary;
}
