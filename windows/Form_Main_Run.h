// The zero-fill run of Form_Main's start button (Command_Run_Click in Form_Main.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Posted to the main window to show the report of a run that the end of the
// session stopped, once the session has gone on.
constexpr UINT WM_Run_Session_Report = WM_APP + 1;

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

// For a session end that did not happen (WM_ENDSESSION with FALSE): a run it
// stopped is reported as stopped before the end, at once or when it is over.
void vCommand_Run_Session_Goes_On();
// Shows that report (WM_Run_Session_Report).
void vCommand_Run_Session_Report();
