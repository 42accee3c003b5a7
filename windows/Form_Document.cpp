#include "Form_Document.h"

#include "Form_Main.h"
#include "Module_Error_Trap.h"
#include "Win_Controls.h"

#include <commctrl.h>

#include <vector>

namespace {

struct Document_State {
    const Document_Design* poDesign;
    HFONT hText_Font;
    HFONT hButton_Font;
};

Document_State* poState(HWND hWnd)
{
    return reinterpret_cast<Document_State*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

LRESULT CALLBACK Document_Proc(HWND hWnd, UINT uiMessage, WPARAM wParam, LPARAM lParam)
{
    switch (uiMessage) {
    case WM_NCCREATE: {
        const auto* poCreate = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(poCreate->lpCreateParams));
        break;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_Document_Print && HIWORD(wParam) == BN_CLICKED) {
            if (Document_State* po = poState(hWnd))
                po->poDesign->fPrint_Click();
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        // A read-only text box keeps the white of an editable one.
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_Document_Text)
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        break;
    case WM_CLOSE:
        // Closing is never refused and the window is not kept hidden: the next
        // opening loads it afresh.
        if (Document_State* po = poState(hWnd))
            po->poDesign->fUnload(hWnd);
        DestroyWindow(hWnd);
        return 0;
    case WM_NCDESTROY:
        if (Document_State* po = poState(hWnd)) {
            DeleteObject(po->hText_Font);
            if (po->hButton_Font)
                DeleteObject(po->hButton_Font);
            delete po;
            SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(hWnd, uiMessage, wParam, lParam);
}

void vRegister_Class(const Document_Design& oDesign, HINSTANCE hInstance)
{
    if (!bRegister_Form_Class(hInstance, oDesign.sClass_Name, Document_Proc))
        vRaise_Last_Win32();
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
        vRaise_Last_Win32();
    SendMessageW(hControl, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
    return hControl;
}

void vCenter_On(HWND hWnd, HWND hOwner)
{
    RECT oOwner{}, oWindow{}, oWork{};
    GetWindowRect(hWnd, &oWindow);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &oWork, 0);
    if (hOwner == nullptr || !GetWindowRect(hOwner, &oOwner))
        oOwner = oWork;
    const int iWidth = oWindow.right - oWindow.left, iHeight = oWindow.bottom - oWindow.top;
    int x = (oOwner.left + oOwner.right - iWidth) / 2;
    int y = (oOwner.top + oOwner.bottom - iHeight) / 2;
    // Centred on the owner but not pushed off the screen.
    x = std::max<int>(oWork.left, std::min<int>(x, oWork.right - iWidth));
    y = std::max<int>(oWork.top, std::min<int>(y, oWork.bottom - iHeight));
    SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

HWND hDocument_Window(const Document_Design& oDesign)
{
    return FindWindowW(oDesign.sClass_Name, nullptr);
}

HWND hDocument_Show(const Document_Design& oDesign, HWND hOwner)
{
    if (HWND hOpen = hDocument_Window(oDesign)) {
        SetForegroundWindow(hOpen);
        return hOpen;
    }
    HINSTANCE hInstance = GetModuleHandleW(nullptr);
    vRegister_Class(oDesign, hInstance);

    HDC hScreen = GetDC(nullptr);
    const int iDpi_X = GetDeviceCaps(hScreen, LOGPIXELSX);
    const int iDpi_Y = GetDeviceCaps(hScreen, LOGPIXELSY);
    ReleaseDC(nullptr, hScreen);

    auto* poNew_State = new Document_State{&oDesign, nullptr, nullptr};
    poNew_State->hText_Font =
        CreateFontW(iFont_Height(120, iDpi_Y), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                    L"Times New Roman");
    NONCLIENTMETRICSW oMetrics{};
    oMetrics.cbSize = sizeof oMetrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof oMetrics, &oMetrics, 0))
        poNew_State->hButton_Font = CreateFontIndirectW(&oMetrics.lfMessageFont);

    // Fixed size: the controls have fixed places and the window does not follow a resize.
    const DWORD dwStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD dwEx_Style = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
    RECT oRect{0, 0, iTwips_To_Pixels(oDesign.iClient_Width, iDpi_X),
               iTwips_To_Pixels(oDesign.iClient_Height, iDpi_Y)};
    AdjustWindowRectEx(&oRect, dwStyle, FALSE, dwEx_Style);
    HWND hWnd = CreateWindowExW(dwEx_Style, oDesign.sClass_Name, oDesign.sClass_Name, dwStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, oRect.right - oRect.left, oRect.bottom - oRect.top, hOwner, nullptr,
                                hInstance, poNew_State);
    if (hWnd == nullptr) {
        const DWORD dwError = GetLastError();
        DeleteObject(poNew_State->hText_Font);
        if (poNew_State->hButton_Font)
            DeleteObject(poNew_State->hButton_Font);
        delete poNew_State;
        vRaise_Win32(dwError);
    }
    HFONT hButton_Font = poNew_State->hButton_Font ? poNew_State->hButton_Font
                                                   : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    // Creation order is the tab order: the text box first, then the button.
    hCreate_Control(hWnd, WC_EDITW, L"",
                    ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                    oDesign.oText, IDC_Document_Text, iDpi_X, iDpi_Y, poNew_State->hText_Font);
    hCreate_Control(hWnd, WC_BUTTONW, oDesign.sPrint_Caption, BS_PUSHBUTTON | WS_TABSTOP, 0, oDesign.oPrint,
                    IDC_Document_Print, iDpi_X, iDpi_Y, hButton_Font);
    vCenter_On(hWnd, hOwner);

    oDesign.fLoad(hWnd);

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

void vDocument_Give_Back_Main(HWND hWnd)
{
    if (!IsWindowVisible(hWnd))
        return;
    // Before the window goes, so that the system activates the main window next.
    HWND hMain = hForm_Main();
    EnableWindow(hMain, TRUE);
    SetForegroundWindow(hMain);
    SetFocus(hMain);
}
