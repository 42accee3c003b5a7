// morvane-fill: the zero-fill run of morvane_qt for machines without a desktop.
#include "fill_all.h"
#include "fill_encrypted.h"
#include "fill_options.h"
#include "fill_run.h"
#include "fill_thin.h"
#include "fill_volume.h"
#include "run_signals.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    // A reader of the progress or of --json that goes away must not end a run with the disk full.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication qApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morvane-fill"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MORVANE_VERSION));

    Fill_Options options;
    QList<Fill_Volume> lstVolumes;
    QString qsError;
    const QStringList qslWords = qslArguments(argc, argv);
    int iDone = 0;
    int iFailed = 0;
    int iStatus = !bParse_Fill_Options(qslWords, options, qsError) ? iExit_Usage
        : options.bAll ? iCheck_All(options, lstVolumes, iFailed, qsError)
                       : iCheck_Folders(options, lstVolumes, qsError);
    // Pipelines read standard output: with --json every folder named gets its object, whatever happens.
    const bool bJson = options.bJson || qslWords.contains(QStringLiteral("--json"));
    auto vReport = [bJson](const Fill_Volume &volume, const Fill_Summary &summary, const QJsonObject &qExtra) {
        if (!bJson)
            return;
        std::fputs(qbaJson_Summary(volume, summary, qExtra).constData(), stdout);
        std::fflush(stdout);
    };
    if (iStatus != iExit_Filled) {
        std::fprintf(stderr, "morvane-fill: %s\n", qPrintable(qsError));
        const QStringList qslNamed = options.qslFolders.isEmpty() ? QStringList{QString()} : options.qslFolders;
        for (const QString &qsFolder : qslNamed)
            vReport(Fill_Volume{qsFolder}, fsEnded(iStatus, QStringLiteral("refused"), qsError), {});
        return iStatus;
    }
    for (int i = 0; i < lstVolumes.size(); ++i) {
        const QString &qsSkipped = lstVolumes.at(i).qsSkipped;
        if (!qsSkipped.isEmpty()) {
            const QString qsLine = lstVolumes.at(i).qsFolder + QStringLiteral(": skipped: ") + qsSkipped;
            if (!options.bQuiet || options.bVerbose)
                std::fprintf(stderr, "morvane-fill: %s\n", qPrintable(qsLine));
            vReport(lstVolumes.at(i), fsEnded(iExit_Filled, QStringLiteral("skipped"), qsLine), {{QStringLiteral("skipped"), qsSkipped}});
            continue;
        }
        QJsonObject qThin;
        const Fill_Summary summary = fsThin_Volume(lstVolumes.at(i), options, &fsFill_Volume, qThin);
        vReport(lstVolumes.at(i), summary, qThin);
        if (summary.iSignal != 0) {
            // Every folder named gets its object before the program ends by the signal.
            for (const Fill_Volume &later : lstVolumes.mid(i + 1))
                vReport(later, fsEnded(iExit_Unfillable, QStringLiteral("cancelled"), later.qsFolder + QStringLiteral(": not run: stopped by a signal")), {});
            vEnd_By_Signal(summary.iSignal);
        }
        if (summary.iStatus != iExit_Filled) {
            iStatus = summary.iStatus;
            ++iFailed;
        } else {
            vTell_Encrypted(lstVolumes.at(i), options);
            ++iDone;
        }
    }
    return options.bAll ? iAll_Status(iDone, iFailed) : iStatus;
}
