// Entry point of Morvane.exe: the main form, then its message loop.
#include "Form_Main.h"
#include "Win_Message_Loop.h"

#include <commctrl.h>
#include <windows.h>

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int iShow_Command)
{
    INITCOMMONCONTROLSEX oInit{sizeof oInit, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&oInit);
    if (!hForm_Main_Create(hInstance, iShow_Command))
        return 1;
    return iRun_Message_Loop();
}
