// The program's message loop, and the one way a long handler lets the windows
// work meanwhile.
#pragma once

// Runs until the main window has closed; returns the exit code.
int iRun_Message_Loop();

// Processes all pending messages once, as the message loop would, and returns.
// A quit request met here is put back for the message loop.
void vDo_Events();
