// Form_Help: the window that shows the prepared text of the help and prints it.
#pragma once

#include <windows.h>

namespace Form_Help {

// Makes the window visible, which loads it (text and caption); it is owned by hOwner.
HWND hShow(HWND hOwner);
// The open window, or null.
HWND hWindow();

// Event procedures (each reports its own failures).
void Form_Load(HWND hWnd);
void Form_Unload(HWND hWnd);
void Command_Print_Help_Click(HWND hWnd);

}  // namespace Form_Help
