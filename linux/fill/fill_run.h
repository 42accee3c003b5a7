#ifndef FILL_RUN_H
#define FILL_RUN_H

#include "fill_options.h"
#include "fill_volume.h"

#include <QJsonObject>

// How the fill of one volume went.
struct Fill_Summary
{
    int iStatus = iExit_Filled;
    qint64 iBytes_Written = 0;
    double dSeconds = 0;
    quint64 uiFree_Blocks_After = 0;  // free blocks when the volume was full, before the clean-up
    quint64 uiBlock_Size = 0;
    qint64 iLeft_On_Purpose = 0;      // --keep-free: bytes still available to ordinary users at the end
    qint64 iReserve_Left = 0;         // --keep-free as root: free bytes below those, which only root may write
};

// Zeroes the free space of one checked volume through the scratch folder Delete_Zero inside its
// folder and removes that folder again. Reports progress and failures on standard error. A signal
// ends the program by that signal once the clean-up is done.
Fill_Summary fsFill_Volume(const Fill_Volume &volume, const Fill_Options &options);

// The one-line JSON object of --json for a filled volume, with the fields of qExtra added.
QByteArray qbaJson_Summary(const Fill_Volume &volume, const Fill_Summary &summary, const QJsonObject &qExtra = {});

#endif // FILL_RUN_H
