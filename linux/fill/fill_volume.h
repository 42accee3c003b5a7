#ifndef FILL_VOLUME_H
#define FILL_VOLUME_H

#include "fill_options.h"
#include "held_volume.h"

#include <QList>
#include <QString>

#include <memory>

// Exit statuses of morvane-fill.
constexpr int iExit_Filled = 0;
constexpr int iExit_Unfillable = 1;  // a volume could not be filled
constexpr int iExit_Usage = 2;

// A folder named on the command line and the file system that held it when it was checked; the
// run checks again, against this, before it writes anything there.
struct Fill_Volume
{
    QString qsFolder;       // as given
    QString qsPath;         // the same folder with links resolved
    Volume_Identity vi;
    qint64 iKeep_Free = 0;  // bytes to leave available to ordinary users (--keep-free)
    QString qsSkipped;      // why the volume is passed over (below the --keep-free floor); empty: run it
    QString qsKeep_Why = QStringLiteral("--keep-free");  // what iKeep_Free keeps room for
    // The folder's volume, held open from its check on: the run, the discard and the read-back go
    // through it, so a name swapped meanwhile leads none of them to another volume.
    std::shared_ptr<const Held_Volume> pHeld;
    int iFd() const { return pHeld ? pHeld->iFd() : -1; }
};

// Checks every folder before anything is touched and identifies its file system. Returns
// iExit_Filled with the volumes in lstVolumes, or the exit status with one line in qsError.
int iCheck_Folders(const Fill_Options &options, QList<Fill_Volume> &lstVolumes, QString &qsError);

#endif // FILL_VOLUME_H
