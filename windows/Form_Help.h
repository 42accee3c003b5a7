// Form_Help: the window that shows the prepared text of the help and prints it.
#pragma once

#include <windows.h>

namespace Form_Help {

// Makes the window visible, which loads it (text and caption); it is owned by hOwner.
// Its procedures (Form_Load, Form_Unload, Command_Print_Help_Click) are Form_Document's.
HWND hShow(HWND hOwner);
// The open window, or null.
HWND hWindow();

}  // namespace Form_Help
