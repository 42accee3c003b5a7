#include "Form_Document.h"

#include "Cl_Module_CommonDialog.h"
#include "Module_Documents.h"
#include "Module_Error_Trap.h"
#include "Win_Controls.h"
#include "Window_Placement.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

struct Document_State {
    const Document_Design* poDesign;
    HFONT hText_Font = nullptr;
    HFONT hButton_Font = nullptr;
    ~Document_State()
    {
        if (hText_Font)
            DeleteObject(hText_Font);
        if (hButton_Font)
            DeleteObject(hButton_Font);
    }
};

// The document windows this program has open, by design: another copy of the
// program has windows of the same classes, which are none of its business.
std::map<const Document_Design*, HWND> g_mapOpen_Windows;

Document_State* poState(HWND hWnd)
{
    return reinterpret_cast<Document_State*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

#ifdef MORVANE_FAULT_INJECTION
// Test builds only: MORVANE_FAULT names the step of opening a window that fails.
bool bFault(const char* sStep)
{
    const char* sFault = std::getenv("MORVANE_FAULT");
    return sFault != nullptr && std::strcmp(sFault, sStep) == 0;
}
#else
constexpr bool bFault(const char*) { return false; }
#endif

// The text with its wide lines broken to the width of the text box hText, in its font.
std::wstring sText_For_Box(HWND hText, const std::wstring& sText)
{
    RECT oFormat{};
    SendMessageW(hText, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&oFormat));
    HDC hDc = GetDC(hText);
    if (hDc == nullptr)
        vRaise_Last_Win32();
    const HGDIOBJ hOld_Font = SelectObject(hDc, reinterpret_cast<HGDIOBJ>(SendMessageW(hText, WM_GETFONT, 0, 0)));
    const int iWidth = std::max<int>(oFormat.right - oFormat.left, 1);
    const std::wstring sShown = sBreak_Wide_Lines(sText, 256, [&](const wchar_t* pText, size_t uiCount) {
        INT iFit = 0;
        SIZE oSize{};
        if (!GetTextExtentExPointW(hDc, pText, static_cast<int>(uiCount), iWidth, &iFit, nullptr, &oSize))
            return uiCount;  // unmeasured, as the box has always shown it
        return static_cast<size_t>(iFit);
    });
    SelectObject(hDc, hOld_Font);
    ReleaseDC(hText, hDc);
    return sShown;
}

void Form_Load(HWND hWnd, const Document_Design& oDesign)
{
    bRun_Trapped(L"Form_Load", Error_Filter::b, [&](int& iLine) {
        iLine = 2;
        const HWND hText = GetDlgItem(hWnd, IDC_Document_Text);
        vSet_Control_Text(hText, sText_For_Box(hText, *oDesign.psText));
        iLine = 3;
        vSet_Control_Text(hWnd, sProduct_Name() + L" - " + oDesign.sTitle);
    });
}

void Form_Unload(HWND hWnd)
{
    bRun_Trapped(L"Form_Unload", Error_Filter::b, [&](int& iLine) {
        iLine = 2;
        if (!IsWindowVisible(hWnd))
            return;
        // Before the window goes, so that the system activates the main window next.
        HWND hMain = GetWindow(hWnd, GW_OWNER);
        EnableWindow(hMain, TRUE);
        SetForegroundWindow(hMain);
        SetFocus(hMain);
    });
}

void Command_Print_Click(HWND hWnd, const Document_Design& oDesign)
{
    bRun_Trapped(oDesign.sPrint_Procedure, Error_Filter::b, [&](int& iLine) {
        iLine = 2;
        // The prepared text, whatever is selected or scrolled to in the text box; the
        // window owns the print dialog, so it takes no input while the dialog is open.
        oCommon_Dialog().vPrint_To_Paper(oCommon_Dialog(), *oDesign.psText, hWnd);
    });
}

LRESULT CALLBACK Document_Proc(HWND hWnd, UINT uiMessage, WPARAM wParam, LPARAM lParam)
{
    switch (uiMessage) {
    case WM_NCCREATE: {
        // From here on the window owns its state and frees it when it goes, even
        // when its creation fails later on.
        const auto* poCreate = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* poOwner = static_cast<std::unique_ptr<Document_State>*>(poCreate->lpCreateParams);
        Document_State* po = poOwner->release();
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(po));
        g_mapOpen_Windows[po->poDesign] = hWnd;
        break;
    }
    case WM_CREATE:
        if (bFault("create"))
            return -1;
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_Document_Print && HIWORD(wParam) == BN_CLICKED) {
            if (Document_State* po = poState(hWnd))
                Command_Print_Click(hWnd, *po->poDesign);
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        // A read-only text box keeps the white of an editable one.
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_Document_Text)
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        break;
    case WM_CLOSE:
        // Disabled only while its print dialog is open: closing it then would take
        // the printing away from under that dialog.
        if (!IsWindowEnabled(hWnd))
            return 0;
        // Closing is never refused otherwise and the window is not kept hidden:
        // the next opening loads it afresh.
        Form_Unload(hWnd);
        DestroyWindow(hWnd);
        return 0;
    case WM_NCDESTROY:
        if (Document_State* po = poState(hWnd)) {
            auto it = g_mapOpen_Windows.find(po->poDesign);
            if (it != g_mapOpen_Windows.end() && it->second == hWnd)
                g_mapOpen_Windows.erase(it);
            SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
            delete po;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(hWnd, uiMessage, wParam, lParam);
}

void vRegister_Class(const Document_Design& oDesign, HINSTANCE hInstance)
{
    if (bFault("register")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        vRaise_Last_Win32();
    }
    if (!bRegister_Form_Class(hInstance, oDesign.sClass_Name, Document_Proc))
        vRaise_Last_Win32();
}

// The failure of a window that could not be made; a window procedure that refused
// its creation leaves no error code, and the runtime calls that running out of memory.
[[noreturn]] void vRaise_Creation_Failure()
{
    const DWORD dwError = GetLastError();
    if (dwError == ERROR_SUCCESS)
        vRaise(iErr_Out_Of_Memory);
    vRaise_Win32(dwError);
}

HWND hCreate_Control(HWND hParent, const wchar_t* sClass, const wchar_t* sCaption, DWORD dwStyle, DWORD dwEx_Style,
                     const RECT& oPlace, int iId, int iDpi_X, int iDpi_Y, HFONT hFont)
{
    HWND hControl = CreateWindowExW(
        dwEx_Style, sClass, sCaption, WS_CHILD | WS_VISIBLE | dwStyle, iTwips_To_Pixels(oPlace.left, iDpi_X),
        iTwips_To_Pixels(oPlace.top, iDpi_Y), iTwips_To_Pixels(oPlace.right, iDpi_X),
        iTwips_To_Pixels(oPlace.bottom, iDpi_Y), hParent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(iId)),
        GetModuleHandleW(nullptr), nullptr);
    if (hControl == nullptr)
        vRaise_Creation_Failure();
    SendMessageW(hControl, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
    return hControl;
}

// Centred on the owner, inside the work area of the owner's monitor.
void vCenter_On(HWND hWnd, HWND hOwner)
{
    RECT oWindow{};
    GetWindowRect(hWnd, &oWindow);
    MONITORINFO oMonitor{};
    oMonitor.cbSize = sizeof oMonitor;
    GetMonitorInfoW(MonitorFromWindow(hOwner ? hOwner : hWnd, MONITOR_DEFAULTTONEAREST), &oMonitor);
    RECT oOwner = oMonitor.rcWork;
    if (hOwner != nullptr)
        GetWindowRect(hOwner, &oOwner);
    const POINT oPlace =
        oCentred_Place(oOwner, oWindow.right - oWindow.left, oWindow.bottom - oWindow.top, oMonitor.rcWork);
    SetWindowPos(hWnd, nullptr, oPlace.x, oPlace.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window with its controls, hidden; raises on any failure, leaving nothing behind.
HWND hCreate_Document_Window(const Document_Design& oDesign, HWND hOwner)
{
    HINSTANCE hInstance = GetModuleHandleW(nullptr);
    vRegister_Class(oDesign, hInstance);

    HDC hScreen = GetDC(nullptr);
    const int iDpi_X = GetDeviceCaps(hScreen, LOGPIXELSX);
    const int iDpi_Y = GetDeviceCaps(hScreen, LOGPIXELSY);
    ReleaseDC(nullptr, hScreen);

    auto poNew_State = std::make_unique<Document_State>();
    poNew_State->poDesign = &oDesign;
    poNew_State->hText_Font = hCreate_Cyrillic_Font(L"Times New Roman", 120, FW_NORMAL, iDpi_Y);
    NONCLIENTMETRICSW oMetrics{};
    oMetrics.cbSize = sizeof oMetrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof oMetrics, &oMetrics, 0))
        poNew_State->hButton_Font = CreateFontIndirectW(&oMetrics.lfMessageFont);
    const HFONT hText_Font = poNew_State->hText_Font;
    const HFONT hButton_Font = poNew_State->hButton_Font ? poNew_State->hButton_Font
                                                         : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

    // Fixed size: the controls have fixed places and the window does not follow a resize.
    const DWORD dwStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD dwEx_Style = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
    RECT oRect{0, 0, iTwips_To_Pixels(oDesign.iClient_Width, iDpi_X),
               iTwips_To_Pixels(oDesign.iClient_Height, iDpi_Y)};
    AdjustWindowRectEx(&oRect, dwStyle, FALSE, dwEx_Style);
    // The state passes to the window at WM_NCCREATE; whatever is left here was never taken.
    SetLastError(ERROR_SUCCESS);
    HWND hWnd = CreateWindowExW(dwEx_Style, bFault("window") ? L"Morvane_No_Such_Class" : oDesign.sClass_Name,
                                oDesign.sClass_Name, dwStyle, CW_USEDEFAULT, CW_USEDEFAULT, oRect.right - oRect.left,
                                oRect.bottom - oRect.top, hOwner, nullptr, hInstance, &poNew_State);
    if (hWnd == nullptr)
        vRaise_Creation_Failure();
    const std::optional<Error_Record> oError = oCatch_Error([&](int&) {
        // Creation order is the tab order: the text box first, then the button.
        hCreate_Control(hWnd, WC_EDITW, L"",
                        ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                        oDesign.oText, IDC_Document_Text, iDpi_X, iDpi_Y, hText_Font);
        hCreate_Control(hWnd, bFault("control") ? L"Morvane_No_Such_Class" : WC_BUTTONW, oDesign.sPrint_Caption,
                        BS_PUSHBUTTON | WS_TABSTOP, 0, oDesign.oPrint, IDC_Document_Print, iDpi_X, iDpi_Y,
                        hButton_Font);
    });
    if (oError) {
        DestroyWindow(hWnd);
        vRaise(oError->iNumber, oError->sDescription);
    }
    return hWnd;
}

}  // namespace

HWND hDocument_Window(const Document_Design& oDesign)
{
    const auto it = g_mapOpen_Windows.find(&oDesign);
    return it != g_mapOpen_Windows.end() && IsWindow(it->second) ? it->second : nullptr;
}

HWND hDocument_Show(const Document_Design& oDesign, HWND hOwner)
{
    if (HWND hOpen = hDocument_Window(oDesign)) {
        SetForegroundWindow(hOpen);
        return hOpen;
    }
    HWND hWnd = nullptr;
    const std::optional<Error_Record> oError = oCatch_Error([&](int&) {
        hWnd = hCreate_Document_Window(oDesign, hOwner);
    });
    if (oError) {
        // The caller disabled its window for the document window that is not there.
        if (hOwner != nullptr)
            EnableWindow(hOwner, TRUE);
        vRaise(oError->iNumber, oError->sDescription);
    }
    vCenter_On(hWnd, hOwner);

    Form_Load(hWnd, oDesign);

    ShowWindow(hWnd, SW_SHOW);
    UpdateWindow(hWnd);
    SetFocus(GetDlgItem(hWnd, IDC_Document_Text));
    return hWnd;
}

std::wstring sProduct_Name()
{
    wchar_t aPath[MAX_PATH] = {};
    if (!GetModuleFileNameW(nullptr, aPath, MAX_PATH))
        vRaise_Last_Win32();
    DWORD dwHandle = 0;
    const DWORD dwSize = GetFileVersionInfoSizeW(aPath, &dwHandle);
    if (dwSize == 0)
        vRaise_Last_Win32();
    std::vector<BYTE> vecInfo(dwSize);
    vCheck_Win32(GetFileVersionInfoW(aPath, 0, dwSize, vecInfo.data()));
    struct Translation { WORD wLanguage, wCode_Page; };
    Translation* poTranslation = nullptr;
    UINT uiLength = 0;
    std::wstring sBlock = L"\\StringFileInfo\\041904E3\\ProductName";
    if (VerQueryValueW(vecInfo.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&poTranslation),
                       &uiLength) && uiLength >= sizeof(Translation)) {
        wchar_t aBlock[64];
        swprintf(aBlock, 64, L"\\StringFileInfo\\%04x%04x\\ProductName", poTranslation->wLanguage,
                 poTranslation->wCode_Page);
        sBlock = aBlock;
    }
    wchar_t* pName = nullptr;
    if (!VerQueryValueW(vecInfo.data(), sBlock.c_str(), reinterpret_cast<void**>(&pName), &uiLength) || !pName)
        vRaise(iErr_File_Not_Found, L"Version information has no product name");
    return std::wstring(pName, wcsnlen(pName, uiLength));
}
