#ifndef FILL_ALL_H
#define FILL_ALL_H

#include "fill_options.h"
#include "fill_volume.h"

#include <QList>
#include <QString>
#include <QStringList>

// Exit statuses of --all, as fstrim --all and mount -a give them; a folder named alone keeps its own.
constexpr int iExit_All_None_Done = 32;  // there were file systems to fill and none was filled
constexpr int iExit_All_Some_Failed = 64;

// A mounted file system that --all passes over, and why.
struct Skipped_Fs
{
    QString qsMount_Point;
    QString qsSource;
    QString qsFs_Type;
    QString qsReason;
};

// Every mounted file system of this mount namespace, each once.
struct All_Fs
{
    QStringList qslFolders;      // a read-write mount point of each file system to fill, in mount order
    QList<Skipped_Fs> lstSkipped;
};

// The mount table read through libmount and unified as fstrim --all does: bind mounts, a file system
// mounted twice and btrfs subvolumes count once, through a read-write mount that can be reached
// (the file system's own top folder where there is one). False with one line in qsError when the
// table cannot be read.
bool bAll_File_Systems(const Fill_Options &options, All_Fs &all, QString &qsError);

// --all: finds the file systems, reports the skipped ones (--verbose: a line each on standard error;
// --json: an object each on standard output) and checks each folder on its own: a refused one is
// reported and counted in iFailed, the others go into lstVolumes. Returns iExit_Filled, or
// iExit_All_None_Done with qsError when the mount table cannot be read.
int iCheck_All(const Fill_Options &options, QList<Fill_Volume> &lstVolumes, int &iFailed, QString &qsError);

// The exit status of --all once iDone file systems were filled and iFailed were not.
int iAll_Status(int iDone, int iFailed);

#endif // FILL_ALL_H
