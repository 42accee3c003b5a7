// Test_Driver.exe: drives the windows of another program in the same Wine
// prefix for the end-to-end tests.  Output is UTF-8 on standard output, one
// value per line; the exit code is 0 on success, 1 when the window or control
// was not found or a wait timed out, 2 on bad usage.
//
//   wait TITLE [SECONDS]            wait for a visible top-level window titled TITLE; print its handle
//   windows TITLE                   every visible top-level window titled TITLE, one handle a line
//   class-count CLASS               how many top-level windows of window class CLASS exist, hidden ones too
//   owner WINDOW                    handle of the window's owner, 0 for none
//   wait-gone TITLE [SECONDS]       wait until no visible window has that title
//   text WINDOW [CONTROL]           window or control text (a combo box: its selected entry)
//   rect WINDOW [CONTROL]           window: client area "x y w h" on the screen;
//                                   control: "x y w h" in its parent's client area
//   visible|enabled WINDOW CONTROL  1 or 0
//   check WINDOW CONTROL            check box value 0, 1 or 2
//   progress WINDOW CONTROL         progress bar position
//   items WINDOW CONTROL            the entries of a combo box, one a line
//   focus WINDOW                    name (or id) of the control that has the keyboard focus
//   click WINDOW CONTROL            click a button and wait up to 5 s for its handler
//   click-async WINDOW CONTROL      click a button without waiting (for handlers that open a box)
//   press WINDOW CAPTION            click the child button whose text is CAPTION (e.g. OK of a box)
//   close WINDOW                    ask the window to close (WM_CLOSE), do not wait
//   session-goes-on WINDOW          WM_QUERYENDSESSION, then WM_ENDSESSION FALSE (another program vetoed the end)
//   select WINDOW CONTROL TEXT      choose the entry TEXT of a combo box as a user would (its
//                                   dialog is told of the new selection)
//   set-text WINDOW CONTROL TEXT    the text of an edit control
//
//   version FILE                    "ProductName major.minor" of an executable
//
// "--desktop NAME" first works in the Wine virtual desktop NAME.
// Several commands may be given at once, separated by ";" arguments.
// WINDOW is an exact title or #HANDLE; CONTROL is a control name of Form_Main
// (Command_Run, ...), "box" for the text of a message box, or a numeric id.
#include "Form_Main_Ids.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Control_Name {
    const wchar_t* sName;
    int iId;
};

const Control_Name g_aNames[] = {
#define MORVANE_NAME_ENTRY(sName, iId) {L## #sName, iId},
    MORVANE_FORM_MAIN_CONTROLS(MORVANE_NAME_ENTRY)
#undef MORVANE_NAME_ENTRY
    {L"box", 0xFFFF},  // the text of a message box
};

void vPrint(const std::wstring& sText)
{
    std::string sUtf8;
    const std::wstring sLine = sText + L"\n";
    const int iLength = WideCharToMultiByte(CP_UTF8, 0, sLine.data(), static_cast<int>(sLine.size()), nullptr, 0,
                                            nullptr, nullptr);
    sUtf8.resize(static_cast<size_t>(iLength));
    WideCharToMultiByte(CP_UTF8, 0, sLine.data(), static_cast<int>(sLine.size()), sUtf8.data(), iLength, nullptr,
                        nullptr);
    DWORD dwWritten = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), sUtf8.data(), static_cast<DWORD>(sUtf8.size()), &dwWritten, nullptr);
}

int iFail(const std::wstring& sWhy)
{
    std::string sText(sWhy.begin(), sWhy.end());
    DWORD dwWritten = 0;
    sText += "\n";
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), sText.data(), static_cast<DWORD>(sText.size()), &dwWritten, nullptr);
    return 1;
}

std::wstring sText_Of(HWND hWnd)
{
    wchar_t aBuffer[32768] = {};
    DWORD_PTR uiResult = 0;
    SendMessageTimeoutW(hWnd, WM_GETTEXT, ARRAYSIZE(aBuffer), reinterpret_cast<LPARAM>(aBuffer), SMTO_ABORTIFHUNG,
                        5000, &uiResult);
    return aBuffer;
}

struct Window_Search {
    std::wstring sTitle;
    std::vector<HWND> lstFound;
    bool bAll;
};

BOOL CALLBACK Find_Window(HWND hWnd, LPARAM lParam)
{
    auto* pSearch = reinterpret_cast<Window_Search*>(lParam);
    if (IsWindowVisible(hWnd) && sText_Of(hWnd) == pSearch->sTitle) {
        pSearch->lstFound.push_back(hWnd);
        return pSearch->bAll;
    }
    return TRUE;
}

std::vector<HWND> lstFind_Windows(const std::wstring& sTitle, bool bAll)
{
    Window_Search oSearch{sTitle, {}, bAll};
    EnumWindows(Find_Window, reinterpret_cast<LPARAM>(&oSearch));
    return oSearch.lstFound;
}

std::wstring sHandle(HWND hWnd)
{
    return std::to_wstring(reinterpret_cast<INT_PTR>(hWnd));
}

HWND hFind_Window(const std::wstring& sWindow)
{
    if (!sWindow.empty() && sWindow[0] == L'#') {
        HWND hWnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(wcstoll(sWindow.c_str() + 1, nullptr, 0)));
        return IsWindow(hWnd) ? hWnd : nullptr;
    }
    const std::vector<HWND> lstFound = lstFind_Windows(sWindow, false);
    return lstFound.empty() ? nullptr : lstFound.front();
}

int iControl_Id(const std::wstring& sControl)
{
    for (const Control_Name& oName : g_aNames)
        if (sControl == oName.sName)
            return oName.iId;
    wchar_t* pEnd = nullptr;
    const long iId = wcstol(sControl.c_str(), &pEnd, 0);
    return (pEnd && *pEnd == 0 && !sControl.empty()) ? static_cast<int>(iId) : -1;
}

std::wstring sControl_Name(int iId)
{
    for (const Control_Name& oName : g_aNames)
        if (oName.iId == iId)
            return oName.sName;
    return std::to_wstring(iId);
}

int iWait(const std::wstring& sTitle, double dSeconds, bool bGone)
{
    const ULONGLONG uiEnd = GetTickCount64() + static_cast<ULONGLONG>(dSeconds * 1000);
    for (;;) {
        HWND hWnd = hFind_Window(sTitle);
        if (!bGone && hWnd) {
            vPrint(sHandle(hWnd));
            return 0;
        }
        if (bGone && !hWnd)
            return 0;
        if (GetTickCount64() > uiEnd)
            return iFail(L"timed out waiting for window");
        Sleep(100);
    }
}

// "ProductName major.minor" of an executable's version resource.
int iVersion(const std::wstring& sFile)
{
    DWORD dwHandle = 0;
    const DWORD dwSize = GetFileVersionInfoSizeW(sFile.c_str(), &dwHandle);
    if (!dwSize)
        return iFail(L"no version resource");
    std::vector<BYTE> lstData(dwSize);
    if (!GetFileVersionInfoW(sFile.c_str(), 0, dwSize, lstData.data()))
        return iFail(L"no version resource");
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT uiLength = 0;
    wchar_t* pName = nullptr;
    if (!VerQueryValueW(lstData.data(), L"\\", reinterpret_cast<void**>(&pFixed), &uiLength)
        || !VerQueryValueW(lstData.data(), L"\\StringFileInfo\\041904E3\\ProductName",
                           reinterpret_cast<void**>(&pName), &uiLength))
        return iFail(L"incomplete version resource");
    vPrint(std::wstring(pName) + L" " + std::to_wstring(HIWORD(pFixed->dwProductVersionMS)) + L"."
           + std::to_wstring(LOWORD(pFixed->dwProductVersionMS)));
    return 0;
}

int iUsage()
{
    iFail(L"usage: Test_Driver COMMAND WINDOW [CONTROL|CAPTION|SECONDS]");
    return 2;
}

}  // namespace

int iRun(const std::vector<std::wstring>& lstArgs)
{
    if (lstArgs.size() == 2 && lstArgs[0] == L"version")
        return iVersion(lstArgs[1]);
    if (lstArgs.size() < 2)
        return iUsage();
    const std::wstring sCommand = lstArgs[0];
    const std::wstring sWindow = lstArgs[1];
    const std::wstring sThird = lstArgs.size() > 2 ? lstArgs[2] : L"";

    if (sCommand == L"wait" || sCommand == L"wait-gone")
        return iWait(sWindow, sThird.empty() ? 20.0 : _wtof(sThird.c_str()), sCommand == L"wait-gone");
    if (sCommand == L"windows") {
        for (HWND hWnd : lstFind_Windows(sWindow, true))
            vPrint(sHandle(hWnd));
        return 0;
    }
    if (sCommand == L"class-count") {
        int iCount = 0;
        for (HWND hWnd = FindWindowExW(nullptr, nullptr, sWindow.c_str(), nullptr); hWnd;
             hWnd = FindWindowExW(nullptr, hWnd, sWindow.c_str(), nullptr))
            ++iCount;
        vPrint(std::to_wstring(iCount));
        return 0;
    }

    HWND hWindow = hFind_Window(sWindow);
    if (!hWindow)
        return iFail(L"window not found");

    if (sCommand == L"close") {
        PostMessageW(hWindow, WM_CLOSE, 0, 0);
        return 0;
    }
    if (sCommand == L"session-goes-on") {
        SendMessageW(hWindow, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
        SendMessageW(hWindow, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
        return 0;
    }
    if (sCommand == L"owner") {
        vPrint(sHandle(GetWindow(hWindow, GW_OWNER)));
        return 0;
    }
    if (sCommand == L"focus") {
        GUITHREADINFO oInfo{};
        oInfo.cbSize = sizeof oInfo;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(hWindow, nullptr), &oInfo) || !oInfo.hwndFocus)
            return iFail(L"no focus");
        vPrint(sControl_Name(GetDlgCtrlID(oInfo.hwndFocus)));
        return 0;
    }
    if (sCommand == L"press") {
        for (HWND hChild = GetWindow(hWindow, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
            if (sText_Of(hChild) == sThird) {
                PostMessageW(hChild, BM_CLICK, 0, 0);
                return 0;
            }
        }
        return iFail(L"button not found");
    }

    HWND hTarget = hWindow;
    if (!sThird.empty()) {
        const int iId = iControl_Id(sThird);
        hTarget = iId >= 0 ? GetDlgItem(hWindow, iId) : nullptr;
        if (!hTarget)
            return iFail(L"control not found");
    }

    if (sCommand == L"text") {
        vPrint(sText_Of(hTarget));
    } else if (sCommand == L"rect") {
        RECT oRect{};
        if (hTarget == hWindow) {
            GetClientRect(hWindow, &oRect);
            MapWindowPoints(hWindow, nullptr, reinterpret_cast<POINT*>(&oRect), 2);
        } else {
            GetWindowRect(hTarget, &oRect);
            MapWindowPoints(nullptr, hWindow, reinterpret_cast<POINT*>(&oRect), 2);
        }
        vPrint(std::to_wstring(oRect.left) + L" " + std::to_wstring(oRect.top) + L" "
               + std::to_wstring(oRect.right - oRect.left) + L" " + std::to_wstring(oRect.bottom - oRect.top));
    } else if (sCommand == L"visible") {
        vPrint((GetWindowLongPtrW(hTarget, GWL_STYLE) & WS_VISIBLE) ? L"1" : L"0");
    } else if (sCommand == L"enabled") {
        vPrint(IsWindowEnabled(hTarget) ? L"1" : L"0");
    } else if (sCommand == L"check") {
        vPrint(std::to_wstring(SendMessageW(hTarget, BM_GETCHECK, 0, 0)));
    } else if (sCommand == L"progress") {
        vPrint(std::to_wstring(SendMessageW(hTarget, PBM_GETPOS, 0, 0)));
    } else if (sCommand == L"items") {
        const LRESULT iCount = SendMessageW(hTarget, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < iCount; ++i) {
            std::wstring sItem(static_cast<size_t>(SendMessageW(hTarget, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
            SendMessageW(hTarget, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(sItem.data()));
            sItem.resize(wcslen(sItem.c_str()));
            vPrint(sItem);
        }
    } else if (sCommand == L"click") {
        DWORD_PTR uiResult = 0;
        SendMessageTimeoutW(hTarget, BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &uiResult);
    } else if (sCommand == L"click-async") {
        PostMessageW(hTarget, BM_CLICK, 0, 0);
    } else if ((sCommand == L"select" || sCommand == L"set-text") && lstArgs.size() == 4 && hTarget != hWindow) {
        const std::wstring& sValue = lstArgs[3];
        DWORD_PTR uiResult = 0;
        if (sCommand == L"set-text") {
            SendMessageTimeoutW(hTarget, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(sValue.c_str()), SMTO_NORMAL, 5000,
                                &uiResult);
            return 0;
        }
        const LRESULT iIndex = SendMessageW(hTarget, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(sValue.c_str()));
        if (iIndex == CB_ERR)
            return iFail(L"entry not found");
        SendMessageW(hTarget, CB_SETCURSEL, static_cast<WPARAM>(iIndex), 0);
        SendMessageTimeoutW(GetParent(hTarget), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hTarget), CBN_SELCHANGE),
                            reinterpret_cast<LPARAM>(hTarget), SMTO_NORMAL, 5000, &uiResult);
    } else {
        return iUsage();
    }
    return 0;
}

// Several commands in one start, separated by ";" arguments; stops at the first failure.
int wmain(int iArgc, wchar_t** aArgv)
{
    std::vector<std::wstring> lstArgs;
    int iFirst = 1;
    if (iArgc > 2 && std::wstring(aArgv[1]) == L"--desktop") {
        // Windows of a Wine virtual desktop are only seen from that desktop.
        HDESK hDesktop = nullptr;
        for (int iTry = 0; iTry < 200 && !hDesktop; ++iTry) {
            hDesktop = OpenDesktopW(aArgv[2], 0, FALSE, GENERIC_ALL);
            if (!hDesktop)
                Sleep(100);
        }
        if (!hDesktop || !SetThreadDesktop(hDesktop))
            return iFail(L"desktop not found");
        iFirst = 3;
    }
    for (int i = iFirst; i <= iArgc; ++i) {
        if (i == iArgc || std::wstring(aArgv[i]) == L";") {
            const int iResult = iRun(lstArgs);
            if (iResult != 0)
                return iResult;
            lstArgs.clear();
        } else {
            lstArgs.push_back(aArgv[i]);
        }
    }
    return 0;
}
