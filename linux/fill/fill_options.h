#ifndef FILL_OPTIONS_H
#define FILL_OPTIONS_H

#include <QString>
#include <QStringList>

// What the command line of morvane-fill asks for.
struct Fill_Options
{
    QStringList qslFolders;     // one folder per file system to fill, in the order given
    bool bAll = false;          // every mounted file system instead, each once
    bool bVerbose = false;      // with --all: a line for each file system passed over
    bool bQuiet = false;        // no progress, only errors
    bool bJson = false;         // one summary object per volume on standard output
    bool bAllow_Memory = false; // tmpfs and devtmpfs too
    bool bFill = true;          // write zeros (--check alone does not)
    bool bCheck = false;        // read what the free space holds from the device
    bool bTrim = false;         // discard the free space where the device accepts it
    bool bAllow_Overlay = false; // overlays, whose writes land on another file system
    bool bAllow_Remote = false;  // network and FUSE file systems, whose data lives elsewhere
    qint64 iRate = 0;           // bytes per second at most; 0: as fast as the device takes them
    bool bKeep_Free = false;    // leave room available to ordinary users on every volume:
    qint64 iKeep_Free_Bytes = 0;     // this many bytes,
    double dKeep_Free_Percent = 0;   // or, when above 0, this share of the volume's size
};

// The command line's words as given: a file name is bytes, and those that are not UTF-8 are
// kept one character each (U+DC80 to U+DCFF), so that qbaFile_Name gives the name back unchanged.
QStringList qslArguments(int argc, char *argv[]);
QString qsFile_Name(const QByteArray &qbaName);
QByteArray qbaFile_Name(const QString &qsName);

// Parses qslArguments (the program name first). Prints --help or --version and exits 0 when asked;
// on bad usage fills qsError with one line for standard error and returns false.
bool bParse_Fill_Options(const QStringList &qslArguments, Fill_Options &options, QString &qsError);

// A byte count as people write it: a number (a fraction allowed) with a unit K, M, G or T in powers
// of 1024 (also KiB, MiB, ...), KB, MB, GB or TB in powers of 1000, or none for bytes. False for
// anything else.
bool bParse_Bytes(const QString &qsText, qint64 &iBytes);

#endif // FILL_OPTIONS_H
