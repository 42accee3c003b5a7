#ifndef DF_VOLUME_H
#define DF_VOLUME_H

#include <QString>
#include <QStringList>

// What df says about a file system: the device and the mount point of one line of its listing,
// and the bytes an ordinary user may still write when df counted in bytes.
struct Df_Volume
{
    QString qsDevice;
    QString qsMount_Point;
    double dAvailable = 0;
    // Same device at the same mount point, whatever is free.
    bool operator==(const Df_Volume &o) const { return qsDevice == o.qsDevice && qsMount_Point == o.qsMount_Point; }
};

// Line i of a df listing, joined with the next when df put a long device name on a line of its
// own; i moves to the last line used.
QString qsDf_Line(const QStringList &qslDf_Lines, int &i);

// Device and mount point (kept whole, blanks and all) of a df line; false when it has fewer than six fields.
bool bDf_Entry(const QString &qsLine, Df_Volume &volume);

// The file system holding qsPath as `df --block-size=1 -- <path>` names it; empty when df said
// nothing usable.
Df_Volume dvDf_Volume(const QString &qsPath);

// True while df still names dvChosen's device mounted at dvChosen's mount point.
bool bStill_Mounted(const Df_Volume &dvChosen);

// True when df names one device for both paths: the same free space, btrfs subvolumes included.
bool bSame_Df_Device(const QString &qsPath_A, const QString &qsPath_B);

#endif // DF_VOLUME_H
