#include "fill_thin.h"

#include "check_progress.h"
#include "fill_progress.h"
#include "free_space_check.h"
#include "discard_probe.h"
#include "held_volume.h"
#include "thin_pool.h"

#include <QFile>
#include <QJsonArray>

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>

namespace {

class Thin_Run
{
public:
    Thin_Run(const Fill_Volume &volume, const Fill_Options &options, QJsonObject &qJson)
        : m_volume(volume), m_options(options), m_qJson(qJson)
    {
    }

    // Reads the whole free space and reports what it holds.
    Free_Space_Check fscCheck()
    {
        Check_Progress progress(m_volume.qsFolder, !m_options.bQuiet);
        const Free_Space_Check check = fscCheck_Free_Space(
            m_volume.iFd(), m_volume.vi.qsSource, [&progress](quint64 uiDone, quint64 uiTotal) { progress.vRead(uiDone, uiTotal); });
        progress.vStop();
        if (!check.bDone()) {
            vRefuse(QStringLiteral("cannot check the free space: ") + check.qsRefusal, QStringLiteral("check_refused"),
                    check.qsRefusal);
            return check;
        }
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

    // Discards the free space and reads what a marker of the run's own left behind.
    Discard_Probe dpProbe()
    {
        const Discard_Probe probe = dpProbe_Discard(m_volume.iFd(), m_volume.vi.qsSource);
        const Volume_Trim &trim = probe.trim;
        if (!trim.bDone()) {
            vRefuse(QStringLiteral("nothing discarded: ") + trim.qsRefusal, QStringLiteral("trim_refused"), trim.qsRefusal);
            return probe;
        }
        m_qslSteps << QStringLiteral("trim");
        m_qJson.insert(QStringLiteral("bytes_discarded"), qint64(trim.uiBytes_Discarded));
        m_qJson.insert(QStringLiteral("discard_reads"), probe.eReads == Discard_Reads::Zeros      ? QStringLiteral("zeros")
                                                          : probe.eReads == Discard_Reads::Old_Data ? QStringLiteral("old data")
                                                                                                    : QStringLiteral("unknown"));
        vSay(qsBytes(trim.uiBytes_Discarded) + QStringLiteral(" discarded in ") + QString::number(trim.dSeconds, 'f', 1)
             + QStringLiteral(" s"));
        return probe;
    }

    // The fill, on a thin volume only as far as its pool has room: a full pool would fail every
    // write of every volume in it.
    Fill_Summary fsFill(const Volume_Fill &fFill)
    {
        Fill_Volume volume = m_volume;
        Fill_Options options = m_options;
        const Thin_Pool pool = tpThin_Pool_Of(devBlock());
        if (pool.bThin) {
            const QString qsWhy = qsPool_Limit(pool, volume, options);
            if (!qsWhy.isEmpty()) {
                m_qslSteps << QStringLiteral("fill skipped");
                vRefuse(QStringLiteral("nothing written: ") + qsWhy, QStringLiteral("skipped"), qsWhy);
                return fsEnded(iExit_Filled, QStringLiteral("skipped"), qsLine(QStringLiteral("skipped: ") + qsWhy));
            }
        }
        m_qslSteps << QStringLiteral("fill");
        return fFill(volume, options);
    }

    // Lowers the fill's limit to what the pool can take and keep a tenth of its size free, and
    // says so where it binds; why nothing may be written, where that is so.
    QString qsPool_Limit(const Thin_Pool &pool, Fill_Volume &volume, Fill_Options &options) const
    {
        if (!pool.qsRefusal.isEmpty())
            return QStringLiteral("a thin volume whose pool's free room cannot be read (") + pool.qsRefusal + ')';
        const qint64 iSpare = qint64(pool.uiSize_Bytes / 10);
        const qint64 iMay_Write = qint64(pool.uiRoom_Bytes) - iSpare;
        const QString qsPool = QStringLiteral("thin pool %1 has %2 of %3 left").arg(pool.qsPool, qsBytes(double(pool.uiRoom_Bytes)),
                                                                                  qsBytes(double(pool.uiSize_Bytes)));
        m_qJson.insert(QStringLiteral("thin_pool_room"), qint64(pool.uiRoom_Bytes));
        // Blocks the volume has mapped already are overwritten in place and take nothing more.
        const bool bAll_Fits = pool.uiUnmapped_Bytes <= quint64(std::max<qint64>(iMay_Write, 0));
        if (iMay_Write <= 0 && !bAll_Fits)
            return qsPool + QStringLiteral(", no more than the tenth kept for the other writers");
        const qint64 iKeep = qint64(vsSpace_Of(volume.iFd()).dAvailable()) - iMay_Write;
        if (bAll_Fits || iKeep <= (options.bKeep_Free ? volume.iKeep_Free : 0)) {
            vSay(qsPool + QStringLiteral(": room for the whole fill"));
            return QString();
        }
        options.bKeep_Free = true;
        volume.iKeep_Free = iKeep;
        volume.qsKeep_Why = QStringLiteral("the thin pool's room");
        vAlways(qsPool + QStringLiteral(": at most ") + qsBytes(double(iMay_Write))
                + QStringLiteral(" written, the tenth of the pool left to its other writers"));
        return QString();
    }

    // The block device the file system lies on: its source's number, else the volume's own.
    dev_t devBlock() const
    {
        struct stat st {};
        if (::stat(QFile::encodeName(m_volume.vi.qsSource).constData(), &st) == 0 && S_ISBLK(st.st_mode))
            return st.st_rdev;
        return ::fstat(m_volume.iFd(), &st) == 0 ? st.st_dev : 0;
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

    // The discard asked for is not repeated after the fill where it could undo the zeros just written.
    void vSkip_Trim(const Discard_Probe &probe)
    {
        const bool bOld = probe.eReads == Discard_Reads::Old_Data;
        m_qslSteps << (bOld ? QStringLiteral("trim not repeated") : QStringLiteral("trim skipped"));
        const QString qsReason = bOld ? QStringLiteral("this device's discard does not read back zeros (") + probe.qsWhy + ')'
                                      : QStringLiteral("whether this device's discard reads back zeros cannot be told: ") + probe.qsWhy;
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
        vAlways(qsLine);
        m_qJson.insert(qsKey, qsReason);
    }

    void vAlways(const QString &qsLine) const
    {
        std::fprintf(stderr, "morvane-fill: %s: %s\n", qPrintable(m_volume.qsFolder), qPrintable(qsLine));
    }

private:

    const Fill_Volume &m_volume;
    const Fill_Options &m_options;
    QJsonObject &m_qJson;
    QStringList m_qslSteps;
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
    // The discard goes first, and what it leaves is read on blocks the run wrote itself: where they
    // read zeros the discard is the whole job; elsewhere the fill writes them, and no discard after
    // it may undo them.
    const Discard_Probe probe = run.dpProbe();
    if (probe.eReads == Discard_Reads::Zeros) {
        if (options.bCheck)
            run.fscCheck();
        run.vNote(QStringLiteral("fill skipped"), probe.qsWhy + QStringLiteral(": the discard left zeros, no fill needed"));
        Fill_Summary summary = run.fsNo_Fill();
        summary.qsMessage = run.qsLine(QStringLiteral("free space discarded; no fill needed"));
        return summary;
    }
    Fill_Summary summary = run.fsFill(fFill);
    if (summary.qsEnding != QStringLiteral("done") || summary.iSignal != 0)
        return summary;
    if (probe.trim.bDone())
        run.vSkip_Trim(probe);
    if (options.bCheck)
        run.fscCheck();
    return summary;
}
