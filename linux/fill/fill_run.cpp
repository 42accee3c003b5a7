#include "fill_run.h"

#include "fill_encrypted.h"
#include "fill_progress.h"
#include "volume_run.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace {

void vSay(const QString &qsLine)
{
    std::fprintf(stderr, "morvane-fill: %s\n", qPrintable(qsLine));
}

// What the summary line says was left free.
QString qsLeft(const Fill_Volume &volume, const Fill_Options &options, const Fill_Summary &summary)
{
    if (!options.bKeep_Free)
        return QString::number(summary.uiFree_Blocks_After) + QStringLiteral(" blocks were left free");
    QString qsText = qsBytes(double(summary.iLeft_On_Purpose)) + QStringLiteral(" left unzeroed on purpose (") + volume.qsKeep_Why + ')';
    if (summary.iReserve_Left > 0)
        qsText += QStringLiteral(", and with them the ") + qsBytes(double(summary.iReserve_Left))
            + QStringLiteral(" ordinary users cannot write (ext2/3/4 keep them for root)");
    return qsText;
}

// What was left after a clean-up that failed.
QString qsNot_Cleaned(const Volume_Run_Result &result)
{
    QString qsLine = QStringLiteral("could not remove the scratch folder ") + result.qsPath;
    if (result.iClean_Up_Errno != 0)
        qsLine += QStringLiteral(" (") + qt_error_string(result.iClean_Up_Errno) + QStringLiteral(")");
    return qsLine + (result.bData_Left ? QStringLiteral(": entries are left in it; remove it by hand")
                                       : QStringLiteral(": the zeros were in files without names and are freed; "
                                                        "the next run removes the folder"));
}

// The line for a run that did not fill its volume; empty for one that did.
QString qsFailure(const Fill_Volume &volume, const Volume_Run_Result &result, Volume_Run_End eEnd)
{
    const Volume_Identity &vi = volume.vi;
    switch (eEnd) {
    case Volume_Run_End::Filled:
    case Volume_Run_End::Cancelled:
        break;
    case Volume_Run_End::Not_Made:
        return QStringLiteral("cannot create the scratch folder ") + result.qsPath + QStringLiteral(": ")
            + qt_error_string(result.iErrno);
    case Volume_Run_End::Busy:
        if (result.iErrno == EACCES)
            return QStringLiteral("root's scratch folder ") + result.qsPath
                + QStringLiteral(" is there: a run of root's is zeroing this file system, or one was stopped and root's "
                                 "next run removes it; nothing was done");
        return QStringLiteral("another run is zeroing this file system: it holds ") + result.qsPath
            + QStringLiteral("; nothing was done");
    case Volume_Run_End::Volume_Changed:
        return QStringLiteral("stopped after ") + qsBytes(result.iBytes_Written) + QStringLiteral(" of zeros: ")
            + volume.qsFolder + QStringLiteral(" is no longer on ") + vi.qsSource + QStringLiteral(" at ") + vi.qsMount_Point
            + QStringLiteral(" as first checked (unmounted, or replaced); those zeros are freed, and nothing was "
                             "written in what took its place");
    case Volume_Run_End::Write_Failed: {
        // The files have no names: the folder they are in is what the user can look at.
        const QString qsFolder = QDir(volume.qsPath).filePath(QStringLiteral("Delete_Zero"));
        if (result.iErrno != 0)
            return QStringLiteral("could not fill: writing zeros in ") + qsFolder + QStringLiteral(" failed: ")
                + qt_error_string(result.iErrno);
        return QStringLiteral("could not fill: writing zeros in ") + qsFolder
            + QStringLiteral(" freed no space (a compressing file system stores zeros in none)");
    }
    case Volume_Run_End::Quota:
        return QStringLiteral("the disk quota ran out: ") + qsBytes(result.iBytes_Written)
            + QStringLiteral(" of zeros written, ") + qsBytes(qint64(result.dAvailable_After))
            + QStringLiteral(" the volume still has free were not zeroed; the scratch folder is removed");
    case Volume_Run_End::Not_Cleaned: {
        // The fill's own failure first: it is what went wrong, the folder only what it left.
        const QString qsFill = qsFailure(volume, result, result.eFill_End);
        return (qsFill.isEmpty() ? QString() : qsFill + QStringLiteral("; ")) + qsNot_Cleaned(result);
    }
    }
    return QString();
}

} // namespace

Fill_Summary fsEnded(int iStatus, const QString &qsEnding, const QString &qsMessage)
{
    Fill_Summary summary;
    summary.iStatus = iStatus;
    summary.qsEnding = qsEnding;
    summary.qsMessage = qsMessage;
    return summary;
}

Fill_Summary fsFill_Volume(const Fill_Volume &volume, const Fill_Options &options)
{
    Fill_Summary summary;
    Volume_Run_Options runOptions;
    runOptions.qslScratch_Paths = {QDir(volume.qsPath).filePath(QStringLiteral("Delete_Zero"))};
    runOptions.iParent_Fd = volume.iFd();
    runOptions.viChosen = volume.vi;
    runOptions.iKeep_Free = options.bKeep_Free ? volume.iKeep_Free : -1;
    runOptions.iRate = options.iRate;
    // From the first change on disk to the end of the clean-up a signal waits for the clean-up.
    Volume_Run run(runOptions);

    Fill_Progress progress(volume.qsFolder, volume.iFd(), !options.bQuiet,
                           options.bKeep_Free ? std::optional<qint64>(volume.iKeep_Free) : std::nullopt);
    Fill_Observer observer;
    observer.vFile_Count = [&progress](int iFiles) { progress.vFile_Done(iFiles); };
    const Volume_Run_Result result = run.vrRun(observer);
    progress.vStop();

    summary.uiFree_Blocks_After = result.vsFull.uiFree_Blocks;
    summary.uiBlock_Size = result.vsFull.uiBlock_Size;
    summary.iBytes_Written = result.iBytes_Written;
    summary.dSeconds = progress.dSeconds();
    if (options.bKeep_Free) {
        summary.iLeft_On_Purpose = qint64(result.vsFull.dAvailable());
        // Other file systems count space no data goes to (btrfs: metadata) as free but not available.
        if (::geteuid() == 0 && volume.pHeld->vk().bRoot_Reserve)
            summary.iReserve_Left = qint64(result.vsFull.dFree() - result.vsFull.dAvailable());
    }
    summary.iSignal = result.iSignal;
    const QString qsLine = result.eEnd == Volume_Run_End::Not_Cleaned || result.iSignal == 0
        ? qsFailure(volume, result, result.eEnd)
        : QString();
    if (!qsLine.isEmpty()) {
        summary.iStatus = iExit_Unfillable;
        summary.qsEnding = result.eEnd == Volume_Run_End::Busy ? QStringLiteral("refused") : QStringLiteral("failed");
        summary.qsMessage = volume.qsFolder + QStringLiteral(": ") + qsLine;
        vSay(summary.qsMessage);
    } else if (result.iSignal != 0) {
        summary.qsEnding = QStringLiteral("cancelled");
        summary.qsMessage = volume.qsFolder + QStringLiteral(": stopped by a signal; the scratch folder is removed");
        vSay(summary.qsMessage);
    } else {
        summary.qsMessage = volume.qsFolder + QStringLiteral(": ") + qsBytes(summary.iBytes_Written)
            + QStringLiteral(" of zeros written in ") + QString::number(summary.dSeconds, 'f', 1) + QStringLiteral(" s, ")
            + qsLeft(volume, options, summary) + QStringLiteral("; the scratch folder is removed");
        if (!options.bQuiet)
            vSay(summary.qsMessage);
    }
    return summary;
}

QByteArray qbaJson_Summary(const Fill_Volume &volume, const Fill_Summary &summary, const QJsonObject &qExtra)
{
    // A volume refused before it was identified is identified now, where its folder exists.
    const Volume_Identity vi = volume.vi.bKnown() || volume.qsFolder.isEmpty() ? volume.vi : Held_Volume(qbaFile_Name(volume.qsFolder)).vi();
    QJsonObject qObject{
        {QStringLiteral("folder"), volume.qsFolder},
        // The name's bytes as given: a name that is not UTF-8 is not lost to a JSON reader.
        {QStringLiteral("folder_hex"), QString::fromLatin1(qbaFile_Name(volume.qsFolder).toHex())},
        {QStringLiteral("steps"), QJsonArray()},
        {QStringLiteral("ending"), summary.qsEnding},
        {QStringLiteral("message"), summary.qsMessage},
        {QStringLiteral("mount_point"), vi.qsMount_Point},
        {QStringLiteral("device"), vi.qsSource},
        {QStringLiteral("file_system"), vi.qsFs_Type},
        {QStringLiteral("bytes_written"), summary.iBytes_Written},
        {QStringLiteral("seconds"), summary.dSeconds},
        {QStringLiteral("free_blocks_after"), qint64(summary.uiFree_Blocks_After)},
        {QStringLiteral("block_size"), qint64(summary.uiBlock_Size)},
        {QStringLiteral("bytes_left_on_purpose"), summary.iLeft_On_Purpose},
        {QStringLiteral("reserved_bytes_left"), summary.iReserve_Left},
        {QStringLiteral("encrypted"), bOn_Dm_Crypt(volume)},
    };
    for (auto it = qExtra.constBegin(); it != qExtra.constEnd(); ++it)
        qObject.insert(it.key(), it.value());
    return QJsonDocument(qObject).toJson(QJsonDocument::Compact) + '\n';
}
