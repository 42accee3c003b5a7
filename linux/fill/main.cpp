// morvane-fill: the zero-fill run of morvane_qt for machines without a desktop.
#include "fill_all.h"
#include "fill_options.h"
#include "fill_run.h"
#include "fill_thin.h"
#include "fill_volume.h"

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
    int iDone = 0;
    int iFailed = 0;
    int iStatus = !bParse_Fill_Options(qApplication.arguments(), options, qsError) ? iExit_Usage
        : options.bAll ? iCheck_All(options, lstVolumes, iFailed, qsError)
                       : iCheck_Folders(options, lstVolumes, qsError);
    if (iStatus != iExit_Filled) {
        std::fprintf(stderr, "morvane-fill: %s\n", qPrintable(qsError));
        return iStatus;
    }
    for (const Fill_Volume &volume : lstVolumes) {
        QJsonObject qThin;
        const Fill_Summary summary = fsThin_Volume(volume, options, fsFill_Volume, qThin);
        if (summary.iStatus != iExit_Filled) {
            iStatus = summary.iStatus;
            ++iFailed;
            continue;
        }
        ++iDone;
        if (options.bJson) {
            std::fputs(qbaJson_Summary(volume, summary, qThin).constData(), stdout);
            std::fflush(stdout);
        }
    }
    return options.bAll ? iAll_Status(iDone, iFailed) : iStatus;
}
