// Form_Licence: the window that shows the prepared text of the licence agreement and prints it.
#pragma once

#include <windows.h>

namespace Form_Licence {

// Makes the window visible, which loads it (text and caption); it is owned by hOwner.
// Its procedures (Form_Load, Form_Unload, Command_Print_Licence_Click) are Form_Document's.
HWND hShow(HWND hOwner);
// The open window, or null.
HWND hWindow();

}  // namespace Form_Licence
