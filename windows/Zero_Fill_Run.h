// The fill loop of a zero-fill run: scratch files of zeros written into the
// run's own folder on the drive, and copied while they fit, until the volume
// reads full. It knows no window: the caller lends it the pumping, the cancel
// check, the waits and the progress bar.
#pragma once

#include "Cl_File_System.h"

#include <functional>
#include <string>

namespace Zero_Fill_Run {

// What the loop asks of the window it runs in.
struct Run_Window {
    std::function<void()> fPump;               // lets the window work between two blocks
    std::function<void()> fPoll;               // leaves the loop (throws) once a cancel is asked for
    std::function<void(unsigned uiMs)> fWait;  // waits that long, the window still answering
    std::function<void(int iValue)> fProgress; // the progress bar's new value
};

// What the caller's trap and clean-up need to know of a loop, however it ended.
struct Run_State {
    int iScratch = -1;              // the scratch file written last; -1 before the first
    bool bFolder_Not_Ours = false;  // the folder's name was found taken: the clean-up leaves it be
};

// Fills the free space of sDrive (such as L"c:") through oFSO() with files of
// vBig_Block, then of vCluster_Block, as the plan chooses. iLine follows the
// statement at work, so that a failure, raised as Cl_Error, carries the line
// label the reports quote.
void vFill(const std::wstring &sDrive, const Zero_Block &vCluster_Block, const Zero_Block &vBig_Block,
           const Run_Window &oWindow, int &iLine, Run_State &oState);

}  // namespace Zero_Fill_Run
