#ifndef VOLUME_IDENTITY_H
#define VOLUME_IDENTITY_H

#include <QString>
#include <QtGlobal>

// Where a file system's writes land, as far as a disk image of this machine is concerned.
enum class Volume_Place
{
    Disk,     // a device of its own (FUSE on a block device, fuseblk, included)
    Memory,   // tmpfs, devtmpfs, ramfs
    Overlay,  // on its upper layer's file system
    Network,  // on a server
    Fuse      // where the program serving it decides
};

// The place of a file system of type qsFs_Type (as the mount table names it), bNetfs as libmount
// tells network file systems; decided here once for every caller.
Volume_Place vpPlace_Of(const QString &qsFs_Type, bool bNetfs);

// The mounted file system that an open folder handle lies on, read from the mount table by the
// handle's own mount ID, so that a name swapped or unmounted meanwhile cannot point at another.
struct Volume_Identity
{
    quint64 uiMount_Id = 0;
    QString qsMount_Point;
    QString qsSource;       // what the mount table names as its source, as df shows it
    QString qsFs_Type;
    QString qsUpper_Fs_Type;  // an overlay's upper layer: the file system its writes land on
    Volume_Place ePlace = Volume_Place::Disk;
    // Equal for two folders exactly when they share one free space: a device mounted twice or a
    // btrfs subvolume has one source; a source that is no device (every tmpfs) tells nothing, so
    // the mount itself decides.
    QString qsKey() const;
    bool bKnown() const { return uiMount_Id != 0; }
};

// The volume of the folder open as iFd; unknown (uiMount_Id 0) when its mount is no longer in
// the mount table (unmounted meanwhile) or the table cannot be read.
Volume_Identity viVolume_Of(int iFd);

// The volume of the folder qsPath, opened once: what a run records at its first check.
Volume_Identity viVolume_At(const QString &qsPath);

// True while the folder open as iFd still lies on the volume viChosen.
bool bOn_Volume(int iFd, const Volume_Identity &viChosen);

// The path of the folder open as iFd on the upper layer of the overlay it lies on; empty when it
// lies on none, or this mount namespace cannot see that layer.
QString qsUpper_Path(int iFd);

#endif // VOLUME_IDENTITY_H
