// Entry point of Morvane.exe: the main form, then its message loop.
#include "Form_Main.h"

#include <commctrl.h>
#include <windows.h>

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int iShow_Command)
{
    INITCOMMONCONTROLSEX oInit{sizeof oInit, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&oInit);
    if (!hForm_Main_Create(hInstance, iShow_Command))
        return 1;
    MSG oMessage;
    while (GetMessageW(&oMessage, nullptr, 0, 0) > 0) {
        // Tab moves between the controls as in a dialog.
        HWND hActive = GetActiveWindow();
        if (hActive && IsDialogMessageW(hActive, &oMessage))
            continue;
        TranslateMessage(&oMessage);
        DispatchMessageW(&oMessage);
    }
    return 0;
}
