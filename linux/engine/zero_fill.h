#ifndef ZERO_FILL_H
#define ZERO_FILL_H

#include <QString>
#include <QtGlobal>

#include <functional>

// The fill of a scratch folder with files of zeros, free of widgets: the window supplies the
// free-space measurement and decides what each progress step shows and whether to go on.

// What a front end sees of a fill and how it stops it; each may be left as it is.
struct Fill_Observer
{
    std::function<void(int)> vFile_Progress = [](int) {};   // percentage of the file being written
    std::function<void(int)> vTotal_Progress = [](int) {};  // share of the first free space used so far
    std::function<void(int)> vFile_Count = [](int) {};      // number of files made so far
    // After each step shown: pump events if allowed; true: the user cancelled. Signals the run sees itself.
    std::function<bool()> bPump_Cancelled = []() { return false; };
};

// The limits of a fill, which the run sets from the volume it holds.
struct Fill_Limits
{
    std::function<double()> dFree_Space;         // free bytes of the volume, measured afresh each call
    std::function<bool()> bVolume_Lost;          // before each new file: true ends the run as failed
    bool bTop_Up = true;                         // after the first full write, fill what is still free
    std::function<qint64()> iRoom;               // if set, before each block: free bytes it may take;
                                                 // less than a page ends the fill as if the volume were full
    std::function<void(qint64)> vBlock_Written;  // if set, after each block with its bytes (a pace sleeps here)
    std::function<qint64()> iMax_Block;          // if set, before each block: its largest size; 0: the writer's own
};

enum class Zero_Fill_End
{
    Full,       // the volume is full: the normal end
    Cancelled,  // the user or a signal (iSignal) stopped the run
    Quota,      // the user's disk quota ran out before the volume was full
    Failed      // a file could not be written, or writing it made no room
};

// How a fill ended; qsFailed_Path names the file of a failure, iErrno its reason (0: the file
// made no room).
struct Zero_Fill_Result
{
    Zero_Fill_End eEnd = Zero_Fill_End::Full;
    QString qsFailed_Path;
    int iErrno = 0;
    int iFile_Number = 0;
    qint64 iBytes_Written = 0;
    int iSignal = 0;  // the signal that cancelled it, 0 if none did
};

class Nameless_Files;

// Fills the volume from the existing folder qsWrite_Path until it is full; deletes nothing. With
// iFolder_Fd, an open handle of that folder, every file goes into the folder it names even when
// the name qsWrite_Path leads elsewhere meanwhile. With pNameless the files get no names and
// live in that set until it lets them go.
Zero_Fill_Result zfrZero_Fill(const QString &qsWrite_Path, const Fill_Observer &observer, const Fill_Limits &limits,
                              int iFolder_Fd = -1, Nameless_Files *pNameless = nullptr);

// Size of the first file: 2 GiB, or the free bytes cut to an integer when less is free.
quint32 uiFirst_File_Size(double dFree_Space);

// Percentage shown after 4-byte write number uiTemp of a file of uiFile_Size bytes.
int iFile_Percent(quint32 uiTemp, quint32 uiFile_Size);

// First write number after uiTemp whose percentage differs from that of uiTemp
// (uiFile_Size / 4 when none does).
quint32 uiNext_Percent_Step(quint32 uiTemp, quint32 uiFile_Size);

// Overall progress 0..100 for dFree_Now bytes free of the dFree_Space free at the start.
int iTotal_Progress(double dFree_Now, double dFree_Space);

#endif // ZERO_FILL_H
