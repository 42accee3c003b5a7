#include "Win_Controls.h"

#include <commctrl.h>

namespace {
// The program's icon among the executable's resources (IDI_MORVANE of Morvane.rc).
constexpr WORD uiIcon_Resource = 1;
}

int iTwips_To_Pixels(int iTwips, int iDpi)
{
    return MulDiv(iTwips, iDpi, 1440);
}

int iFont_Height(int iTenth_Points, int iDpi)
{
    return -MulDiv(iTenth_Points, iDpi, 720);
}

HFONT hCreate_Cyrillic_Font(const wchar_t* sFace, int iTenth_Points, int iWeight, int iDpi)
{
    return CreateFontW(iFont_Height(iTenth_Points, iDpi), 0, 0, 0, iWeight, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, sFace);
}

int iCheck_Value(HWND hCheck)
{
    switch (SendMessageW(hCheck, BM_GETCHECK, 0, 0)) {
    case BST_CHECKED: return 1;
    case BST_INDETERMINATE: return 2;
    default: return 0;
    }
}

void vSet_Check_Value(HWND hCheck, int iValue)
{
    const WPARAM wState = iValue == 1 ? BST_CHECKED : iValue == 2 ? BST_INDETERMINATE : BST_UNCHECKED;
    SendMessageW(hCheck, BM_SETCHECK, wState, 0);
}

bool bControl_Visible(HWND hControl)
{
    // The control's own flag, not IsWindowVisible: the form may still be hidden while it loads.
    return (GetWindowLongPtrW(hControl, GWL_STYLE) & WS_VISIBLE) != 0;
}

void vSet_Control_Visible(HWND hControl, bool bVisible)
{
    ShowWindow(hControl, bVisible ? SW_SHOWNA : SW_HIDE);
}

bool bControl_Enabled(HWND hControl)
{
    return IsWindowEnabled(hControl) != FALSE;
}

void vSet_Control_Enabled(HWND hControl, bool bEnabled)
{
    EnableWindow(hControl, bEnabled ? TRUE : FALSE);
}

int iProgress_Value(HWND hProgress)
{
    return static_cast<int>(SendMessageW(hProgress, PBM_GETPOS, 0, 0));
}

void vSet_Progress_Value(HWND hProgress, int iValue)
{
    SendMessageW(hProgress, PBM_SETPOS, static_cast<WPARAM>(iValue), 0);
}

std::wstring sControl_Text(HWND hControl)
{
    const int iLength = GetWindowTextLengthW(hControl);
    std::wstring sText(static_cast<size_t>(iLength) + 1, L'\0');
    const int iCopied = GetWindowTextW(hControl, sText.data(), iLength + 1);
    sText.resize(static_cast<size_t>(iCopied > 0 ? iCopied : 0));
    return sText;
}

void vSet_Control_Text(HWND hControl, const std::wstring& sText)
{
    SetWindowTextW(hControl, sText.c_str());
}

bool bRegister_Form_Class(HINSTANCE hInstance, const wchar_t* sClass_Name, WNDPROC fProc)
{
    WNDCLASSEXW oClass{};
    if (GetClassInfoExW(hInstance, sClass_Name, &oClass))
        return true;
    oClass.cbSize = sizeof oClass;
    oClass.lpfnWndProc = fProc;
    oClass.hInstance = hInstance;
    oClass.hIcon = LoadIconW(hInstance, MAKEINTRESOURCEW(uiIcon_Resource));
    oClass.hIconSm = static_cast<HICON>(LoadImageW(hInstance, MAKEINTRESOURCEW(uiIcon_Resource), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    oClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    oClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    oClass.lpszClassName = sClass_Name;
    return RegisterClassExW(&oClass) != 0;
}
