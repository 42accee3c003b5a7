#ifndef FILL_RUN_H
#define FILL_RUN_H

#include "fill_options.h"
#include "fill_volume.h"

#include <QJsonObject>

#include <functional>

// How the fill of one volume went.
struct Fill_Summary
{
    int iStatus = iExit_Filled;
    QString qsEnding = QStringLiteral("done");  // done, refused, failed or cancelled, as --json says it
    QString qsMessage;                          // the line the terminal shows for it
    qint64 iBytes_Written = 0;
    double dSeconds = 0;
    quint64 uiFree_Blocks_After = 0;  // free blocks when the volume was full, before the clean-up
    quint64 uiBlock_Size = 0;
    qint64 iLeft_On_Purpose = 0;      // --keep-free: bytes still available to ordinary users at the end
    qint64 iReserve_Left = 0;         // --keep-free as root: free bytes below those, which only root may write
    int iSignal = 0;                  // the signal that stopped the run: the program ends by it after its report
};

// The summary of a volume that ended without a fill: its status, ending and line.
Fill_Summary fsEnded(int iStatus, const QString &qsEnding, const QString &qsMessage);

// Zeroes the free space of one checked volume through the scratch folder Delete_Zero inside its
// folder and removes that folder again. Reports progress and failures on standard error; a signal
// that stopped it is in the summary.
Fill_Summary fsFill_Volume(const Fill_Volume &volume, const Fill_Options &options);

// The one-line JSON object of --json for a volume, whatever its ending, with the fields of qExtra
// added.
QByteArray qbaJson_Summary(const Fill_Volume &volume, const Fill_Summary &summary, const QJsonObject &qExtra = {});

#endif // FILL_RUN_H
