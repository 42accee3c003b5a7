#ifndef FILL_OPTIONS_H
#define FILL_OPTIONS_H

#include <QString>
#include <QStringList>

// What the command line of morvane-fill asks for.
struct Fill_Options
{
    QStringList qslFolders;     // one folder per file system to fill, in the order given
    bool bQuiet = false;        // no progress, only errors
    bool bJson = false;         // one summary object per volume on standard output
    bool bAllow_Memory = false; // tmpfs and devtmpfs too
    bool bFill = true;          // write zeros (--check alone does not)
    bool bCheck = false;        // read what the free space holds from the device
    bool bTrim = false;         // discard the free space where the device accepts it
    bool bAllow_Overlay = false; // overlays, whose writes land on another file system
    bool bAllow_Remote = false;  // network and FUSE file systems, whose data lives elsewhere
};

// Parses qslArguments (the program name first). Prints --help or --version and exits 0 when asked;
// on bad usage fills qsError with one line for standard error and returns false.
bool bParse_Fill_Options(const QStringList &qslArguments, Fill_Options &options, QString &qsError);

#endif // FILL_OPTIONS_H
