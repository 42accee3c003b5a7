#ifndef VOLUME_TRIM_H
#define VOLUME_TRIM_H

#include <QString>
#include <QtGlobal>

// A discard of every free block of a volume, reserves included, as fstrim does it.
struct Volume_Trim
{
    QString qsRefusal;              // why nothing was discarded; empty when the device took it
    quint64 uiBytes_Discarded = 0;  // what the file system reports it handed to the device
    double dSeconds = 0;
    bool bDone() const { return qsRefusal.isEmpty(); }
};

// Discards the free space of the file system of the folder open as iFolder_Fd (FITRIM over the
// whole volume, through that handle: a name swapped meanwhile cannot lead it elsewhere).
Volume_Trim vtTrim_Volume(int iFolder_Fd);

#endif // VOLUME_TRIM_H
