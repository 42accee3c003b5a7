// The zero-fill run of Form_Main's start button (Command_Run_Click in Form_Main.h).
#pragma once

#include <cstdint>
#include <string>

// Bytes per cluster of the drive sDrive (such as L"c:"); 0 when the system
// cannot tell (the failure is reported under this function's name).
int32_t dGet_Cluster_Size(const std::wstring &sDrive);

// For the window's close request: while a run is going on it is cancelled,
// its finishing steps remove the scratch folders, and the window is closed
// after them. True when the close has been deferred that way.
bool bCommand_Run_Defer_Close();

// For the end of the session: a run going on is cancelled; once the session
// surely ends (bSession_Ends) its scratch files and folders are removed at
// once, before the system ends the program.
void vCommand_Run_End_Session(bool bSession_Ends);
