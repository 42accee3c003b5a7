#include "fill_run.h"

#include "fill_progress.h"
#include "run_signals.h"
#include "scratch_run.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>

#include <sys/statvfs.h>

namespace {

void vSay(const QString &qsLine)
{
    std::fprintf(stderr, "morvane-fill: %s\n", qPrintable(qsLine));
}

double dAvailable(const QString &qsPath)
{
    struct statvfs sv {};
    if (::statvfs(QFile::encodeName(qsPath).constData(), &sv) != 0)
        return 0;
    return double(sv.f_bavail) * sv.f_frsize;
}

// The zeros in the scratch folder: what the fill wrote.
qint64 iFolder_Bytes(const QString &qsFolder)
{
    qint64 iBytes = 0;
    QDirIterator it(qsFolder, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    while (it.hasNext()) {
        it.next();
        iBytes += it.fileInfo().size();
    }
    return iBytes;
}

QString qsFailure(const Zero_Fill_Result &result, const QString &qsWrite_Path)
{
    if (result.qsFailed_Path == qsWrite_Path)
        return QStringLiteral("stopped: ") + qsWrite_Path
            + QStringLiteral(" no longer leads to the scratch folder made (replaced, or its file system unmounted)");
    return QStringLiteral("could not fill: writing ") + result.qsFailed_Path
        + QStringLiteral(" failed or freed no space (a compressing file system stores zeros in none)");
}

} // namespace

Fill_Summary fsFill_Volume(const Fill_Volume &volume, const Fill_Options &options)
{
    Fill_Summary summary;
    // From the first change on disk to the end of the clean-up a signal waits for the clean-up.
    Run_Signal_Guard qSignal_Guard(nullptr);
    Scratch_Run run(QDir(volume.qsPath).filePath(QStringLiteral("Delete_Zero")));
    errno = 0;
    if (!run.bPrepare()) {
        vSay(volume.qsFolder + QStringLiteral(": cannot create the scratch folder ") + run.qsWrite_Path()
             + QStringLiteral(": ") + qt_error_string(errno));
        summary.iStatus = iExit_Unfillable;
        return summary;
    }
    if (!run.bGuarded() && !options.bQuiet)
        vSay(QStringLiteral("warning: the guardian ") + Run_Guardian::qsProgram_Beside()
             + QStringLiteral(" did not start; should this program be killed, the next run removes the scratch folder"));

    Fill_Progress progress(volume.qsFolder, volume.qsPath, !options.bQuiet);
    Zero_Fill_Hooks hooks;
    hooks.dFree_Space = [&volume]() { return dAvailable(volume.qsPath); };
    hooks.vFile_Progress = [](int) {};
    hooks.vTotal_Progress = [](int) {};
    hooks.vFile_Count = [&progress](int iFiles) { progress.vFile_Done(iFiles); };
    hooks.bPump_Cancelled = &Run_Signal_Guard::bSignalled;
    hooks.bStop_Now = &Run_Signal_Guard::bSignalled;
    const Zero_Fill_Result result = run.zfrFill(hooks);

    struct statvfs sv {};
    ::statvfs(QFile::encodeName(run.qsWrite_Path()).constData(), &sv);
    summary.uiFree_Blocks_After = sv.f_bfree;
    summary.uiBlock_Size = sv.f_frsize;
    summary.iBytes_Written = iFolder_Bytes(run.qsWrite_Path());
    progress.vStop();
    run.vClean_Up();
    summary.dSeconds = progress.dSeconds();

    if (Run_Signal_Guard::bSignalled()) {
        vSay(volume.qsFolder + QStringLiteral(": stopped by a signal; the scratch folder is removed"));
        return summary;  // the guard ends the program by that signal
    }
    if (result.eEnd == Zero_Fill_End::Failed) {
        vSay(volume.qsFolder + QStringLiteral(": ") + qsFailure(result, run.qsWrite_Path()));
        summary.iStatus = iExit_Unfillable;
        return summary;
    }
    if (!options.bQuiet)
        vSay(volume.qsFolder + QStringLiteral(": ") + qsBytes(summary.iBytes_Written) + QStringLiteral(" of zeros written in ")
             + QString::number(summary.dSeconds, 'f', 1) + QStringLiteral(" s, ") + QString::number(summary.uiFree_Blocks_After)
             + QStringLiteral(" blocks were left free; the scratch folder is removed"));
    return summary;
}

QByteArray qbaJson_Summary(const Fill_Volume &volume, const Fill_Summary &summary, const QJsonObject &qExtra)
{
    QJsonObject qObject{
        {QStringLiteral("folder"), volume.qsFolder},
        {QStringLiteral("mount_point"), volume.qsMount_Point},
        {QStringLiteral("device"), volume.qsDevice},
        {QStringLiteral("file_system"), volume.qsFs_Type},
        {QStringLiteral("bytes_written"), summary.iBytes_Written},
        {QStringLiteral("seconds"), summary.dSeconds},
        {QStringLiteral("free_blocks_after"), qint64(summary.uiFree_Blocks_After)},
        {QStringLiteral("block_size"), qint64(summary.uiBlock_Size)},
    };
    for (auto it = qExtra.constBegin(); it != qExtra.constEnd(); ++it)
        qObject.insert(it.key(), it.value());
    return QJsonDocument(qObject).toJson(QJsonDocument::Compact) + '\n';
}
