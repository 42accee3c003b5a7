#ifndef FILL_VOLUME_H
#define FILL_VOLUME_H

#include "fill_options.h"

#include <QList>
#include <QString>

// Exit statuses of morvane-fill.
constexpr int iExit_Filled = 0;
constexpr int iExit_Unfillable = 1;  // a volume could not be filled
constexpr int iExit_Usage = 2;

// A folder named on the command line and the file system that holds it.
struct Fill_Volume
{
    QString qsFolder;       // as given
    QString qsPath;         // the same folder with links resolved
    QString qsMount_Point;
    QString qsDevice;       // what the mount table names as its source, as df shows it
    QString qsFs_Type;
    QString qsIdentity;     // equal for two folders exactly when they share one file system
};

// One mount-table entry of /proc/self/mountinfo.
struct Mount_Entry
{
    QString qsId;           // major:minor
    QString qsMount_Point;
    QString qsFs_Type;
    QString qsSource;
};

// The entries of a mountinfo text, with the octal escapes of blanks and the like decoded.
QList<Mount_Entry> lstParse_Mountinfo(const QByteArray &qbaText);

// Checks every folder before anything is touched and identifies its file system. Returns
// iExit_Filled with the volumes in lstVolumes, or the exit status with one line in qsError.
int iCheck_Folders(const Fill_Options &options, QList<Fill_Volume> &lstVolumes, QString &qsError);

#endif // FILL_VOLUME_H
