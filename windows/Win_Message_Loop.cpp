#include "Win_Message_Loop.h"

#include <windows.h>

namespace {

void vDispatch(MSG& oMessage)
{
    // Tab moves between the controls as in a dialog.
    HWND hActive = GetActiveWindow();
    if (hActive && IsDialogMessageW(hActive, &oMessage))
        return;
    TranslateMessage(&oMessage);
    DispatchMessageW(&oMessage);
}

}  // namespace

int iRun_Message_Loop()
{
    MSG oMessage;
    BOOL bResult;
    while ((bResult = GetMessageW(&oMessage, nullptr, 0, 0)) > 0)
        vDispatch(oMessage);
    return bResult == 0 ? static_cast<int>(oMessage.wParam) : 1;
}

void vDo_Events()
{
    MSG oMessage;
    while (PeekMessageW(&oMessage, nullptr, 0, 0, PM_REMOVE)) {
        if (oMessage.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(oMessage.wParam));
            return;
        }
        vDispatch(oMessage);
    }
}
