#include "Form_Main.h"

#include "Cl_Canvas.h"
#include "Cl_File_System.h"
#include "Cl_Module_CommonDialog.h"
#include "Form_Main_Run.h"
#include "Module_Documents.h"
#include "Module_Error_Trap.h"
#include "Module_INI_Functions.h"
#include "Module_Globals.h"
#include "Module_Version.h"
#include "Win_Controls.h"

#include <commctrl.h>

#include <cwctype>

namespace {

const wchar_t* const g_sClass_Name = L"Morvane_Form_Main";
const int iClient_Width_Twips = 3588;
const int iClient_Height_Twips = 2724;

HWND g_hForm_Main = nullptr;

HFONT g_hFont_Default = nullptr;
HFONT g_hFont_Bold = nullptr;
HFONT g_hFont_Print = nullptr;
HBRUSH g_hWhite_Brush = nullptr;

// Line labels of the three steps that load one shipped document.
struct Document_Labels { int iOpen, iRead, iAppend; };

// One shipped document, prepared for display and printing.
std::wstring sLoad_Document(const std::wstring& sPath, int& iLine, Document_Labels oLabels)
{
    iLine = oLabels.iOpen;
    Cl_Open_File oFile(sPath);
    iLine = oLabels.iRead;
    const std::wstring sFile = sDecode_Windows_1251(oFile.sRead_All());
    iLine = oLabels.iAppend;
    return sPrepare_Document(sFile);
}

enum class Font_Kind { Default, Bold, Print };

struct Control_Design {
    int iId;
    const wchar_t* sClass;
    const wchar_t* sCaption;
    DWORD dwStyle;
    int iLeft, iTop, iWidth, iHeight;  // twips
    Font_Kind eFont;
};

// In tab order: creation order is the tab sequence, so Command_Run gets the focus.
const Control_Design g_aControls[] = {
    {IDC_Command_Run, WC_BUTTONW, L"Занулить свободное пространство", BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE,
     120, 600, 3375, 255, Font_Kind::Bold},
    {IDC_Drive_To_Zero, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_VISIBLE,
     120, 120, 3375, 315, Font_Kind::Default},
    {IDC_Command_Cancel, WC_BUTTONW, L"Отмена", BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE | WS_DISABLED,
     120, 1320, 3375, 255, Font_Kind::Bold},
    {IDC_Check_Cancel, WC_BUTTONW, L"Использовать отмену (медленнее)", BS_3STATE | WS_TABSTOP | WS_VISIBLE,
     120, 960, 3375, 255, Font_Kind::Default},
    {IDC_ProgressBar, PROGRESS_CLASSW, L"", WS_VISIBLE, 120, 1680, 3375, 255, Font_Kind::Default},
    {IDC_Command_Licence, WC_BUTTONW, L"Лицензия", BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE,
     120, 2040, 3375, 255, Font_Kind::Default},
    {IDC_Command_Help, WC_BUTTONW, L"Справка", BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE,
     120, 2400, 3375, 255, Font_Kind::Default},
    // Hidden debug switch; only the settings file can tick it.
    {IDC_Check_MsgBox, WC_BUTTONW, L"Отладка (вкл. MsgBox в ErrorHandle)", BS_3STATE,
     240, 240, 3252, 255, Font_Kind::Default},
    // Hidden drawing surface for printing, white, in the print font.
    {IDC_Picture_Print, WC_STATICW, L"", SS_LEFT, 0, 400, 480, 225, Font_Kind::Print},
};

void vCreate_Fonts(int iDpi)
{
    NONCLIENTMETRICSW oMetrics{};
    oMetrics.cbSize = sizeof oMetrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof oMetrics, &oMetrics, 0))
        g_hFont_Default = CreateFontIndirectW(&oMetrics.lfMessageFont);
    if (!g_hFont_Default)
        g_hFont_Default = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    g_hFont_Bold = hCreate_Cyrillic_Font(L"MS Sans Serif", 78, FW_BOLD, iDpi);
    g_hFont_Print = hCreate_Cyrillic_Font(L"Times New Roman", 96, FW_NORMAL, iDpi);
    g_hWhite_Brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

void vDelete_Fonts()
{
    for (HFONT* phFont : {&g_hFont_Default, &g_hFont_Bold, &g_hFont_Print}) {
        if (*phFont && *phFont != GetStockObject(DEFAULT_GUI_FONT))
            DeleteObject(*phFont);
        *phFont = nullptr;
    }
}

void vCreate_Controls(HWND hWnd, HINSTANCE hInstance, int iDpi_X, int iDpi_Y)
{
    for (const Control_Design& oDesign : g_aControls) {
        const int iWidth = iTwips_To_Pixels(oDesign.iWidth, iDpi_X);
        int iHeight = iTwips_To_Pixels(oDesign.iHeight, iDpi_Y);
        const bool bCombo = oDesign.iId == IDC_Drive_To_Zero;
        if (bCombo)
            iHeight *= 10;  // a combo box's window height includes its dropped-down list
        HWND hControl = CreateWindowExW(0, oDesign.sClass, oDesign.sCaption, WS_CHILD | oDesign.dwStyle,
                                        iTwips_To_Pixels(oDesign.iLeft, iDpi_X),
                                        iTwips_To_Pixels(oDesign.iTop, iDpi_Y), iWidth, iHeight, hWnd,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(oDesign.iId)), hInstance,
                                        nullptr);
        const HFONT hFont = oDesign.eFont == Font_Kind::Bold    ? g_hFont_Bold
                            : oDesign.eFont == Font_Kind::Print ? g_hFont_Print
                                                                : g_hFont_Default;
        SendMessageW(hControl, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
        if (bCombo) {
            // The closed box keeps its design height: the selection field is that minus its borders.
            const int iField = iTwips_To_Pixels(oDesign.iHeight, iDpi_Y) - 6;
            if (iField > 0)
                SendMessageW(hControl, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), iField);
        }
    }
    SendMessageW(hForm_Main_Control(IDC_ProgressBar), PBM_SETRANGE32, 0, 100);
    vSet_Progress_Value(hForm_Main_Control(IDC_ProgressBar), 0);
    vSet_Check_Value(hForm_Main_Control(IDC_Check_Cancel), 1);
    vSet_Check_Value(hForm_Main_Control(IDC_Check_MsgBox), 0);
}

void vFill_Drive_List(HWND hCombo)
{
    // No "insert a disk" prompts while empty drives are looked at.
    const UINT uiOld_Mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    std::vector<std::wstring> lstEntries;
    wchar_t aRoots[512] = {};
    const DWORD dwLength = GetLogicalDriveStringsW(ARRAYSIZE(aRoots) - 1, aRoots);
    for (const wchar_t* pRoot = aRoots; dwLength && dwLength < ARRAYSIZE(aRoots) && *pRoot;
         pRoot += wcslen(pRoot) + 1) {
        std::wstring sLabel;
        const UINT uiType = GetDriveTypeW(pRoot);
        if (uiType == DRIVE_FIXED || uiType == DRIVE_RAMDISK) {
            wchar_t aLabel[MAX_PATH + 1] = {};
            if (GetVolumeInformationW(pRoot, aLabel, ARRAYSIZE(aLabel), nullptr, nullptr, nullptr, nullptr, 0))
                sLabel = aLabel;
        }
        lstEntries.push_back(sDrive_Entry(pRoot[0], sLabel));
        SendMessageW(hCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lstEntries.back().c_str()));
    }
    SetErrorMode(uiOld_Mode);
    wchar_t aCurrent[MAX_PATH] = {};
    GetCurrentDirectoryW(ARRAYSIZE(aCurrent), aCurrent);
    if (!lstEntries.empty())
        SendMessageW(hCombo, CB_SETCURSEL, static_cast<WPARAM>(iDrive_Index(lstEntries, aCurrent[0])), 0);
}

void vCenter_On_Screen(HWND hWnd)
{
    RECT oWork{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &oWork, 0);
    RECT oWindow{};
    GetWindowRect(hWnd, &oWindow);
    const int iWidth = oWindow.right - oWindow.left;
    const int iHeight = oWindow.bottom - oWindow.top;
    SetWindowPos(hWnd, nullptr, oWork.left + (oWork.right - oWork.left - iWidth) / 2,
                 oWork.top + (oWork.bottom - oWork.top - iHeight) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The option boxes have three states, so that a greyed value from the settings
// shows and is stored again as greyed; a click ticks or unticks them, as the
// user's clicks on a two-state box do (a greyed box becomes ticked).
void vToggle_Check(HWND hCheck)
{
    vSet_Check_Value(hCheck, iCheck_Value(hCheck) == 1 ? 0 : 1);
}

void vOn_Command(int iId, int iNotification)
{
    if (iNotification != BN_CLICKED)
        return;
    switch (iId) {
    case IDC_Command_Run: Command_Run_Click(); break;
    case IDC_Command_Cancel: Command_Cancel_Click(); break;
    case IDC_Check_Cancel:
        vToggle_Check(hForm_Main_Control(IDC_Check_Cancel));
        Check_Cancel_Click();
        break;
    case IDC_Command_Licence: Command_Licence_Click(); break;
    case IDC_Command_Help: Command_Help_Click(); break;
    default: break;
    }
}

LRESULT CALLBACK Form_Main_Proc(HWND hWnd, UINT uiMessage, WPARAM wParam, LPARAM lParam)
{
    switch (uiMessage) {
    case WM_COMMAND:
        vOn_Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == hForm_Main_Control(IDC_Picture_Print))
            return reinterpret_cast<LRESULT>(g_hWhite_Brush);
        break;
    case WM_QUERYENDSESSION:
        // The session may end: a run stops at once, so that what other programs
        // save now finds room, and cleans up at WM_ENDSESSION at the latest.
        vCommand_Run_End_Session(false);
        return TRUE;
    case WM_ENDSESSION:
        // The program may be ended as soon as this returns: the disk is freed
        // and the settings stored first, as at every other exit.
        if (wParam) {
            vCommand_Run_End_Session(true);
            Form_Unload();
        } else {
            vCommand_Run_Session_Goes_On();
        }
        return 0;
    case WM_Run_Session_Report:
        vCommand_Run_Session_Report();
        return 0;
    case WM_CLOSE:
        // A run in progress is cancelled first; it closes the window after its clean-up.
        if (bCommand_Run_Defer_Close())
            return 0;
        // Unloading never refuses the close.
        Form_Unload();
        DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        g_hForm_Main = nullptr;
        vSet_Check_MsgBox_Reader(nullptr);
        vSet_Error_Box_Owner(nullptr);
        vDelete_Fonts();
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hWnd, uiMessage, wParam, lParam);
}

}  // namespace

std::wstring sForm_Main_Caption(const std::wstring& sTitle, int iMajor, int iMinor)
{
    return sTitle + L" v." + std::to_wstring(iMajor) + L"." + std::to_wstring(iMinor);
}

std::wstring sProgram_Folder_From_Module_Path(const std::wstring& sModule_Path)
{
    const size_t uiSlash = sModule_Path.find_last_of(L"\\/");
    if (uiSlash == std::wstring::npos)
        return std::wstring();
    std::wstring sFolder = sModule_Path.substr(0, uiSlash);
    if (sFolder.size() == 2 && sFolder[1] == L':')
        sFolder += L'\\';
    return sFolder;
}

std::wstring sProgram_Folder()
{
    std::wstring sPath(MAX_PATH, L'\0');
    for (;;) {
        const DWORD dwLength = GetModuleFileNameW(nullptr, sPath.data(), static_cast<DWORD>(sPath.size()));
        if (dwLength == 0)
            vRaise_Last_Win32();
        if (dwLength < sPath.size()) {
            sPath.resize(dwLength);
            break;
        }
        sPath.resize(sPath.size() * 2);
    }
    return sProgram_Folder_From_Module_Path(sPath);
}

std::wstring sDrive_Entry(wchar_t cLetter, const std::wstring& sLabel)
{
    std::wstring sEntry(1, static_cast<wchar_t>(std::towlower(cLetter)));
    sEntry += L':';
    if (!sLabel.empty())
        sEntry += L" [" + sLabel + L"]";
    return sEntry;
}

int iDrive_Index(const std::vector<std::wstring>& lstEntries, wchar_t cLetter)
{
    for (size_t i = 0; i < lstEntries.size(); ++i)
        if (!lstEntries[i].empty() && std::towlower(lstEntries[i][0]) == std::towlower(cLetter))
            return static_cast<int>(i);
    return 0;
}

HWND hForm_Main()
{
    return g_hForm_Main;
}

HWND hForm_Main_Control(int iId)
{
    return g_hForm_Main ? GetDlgItem(g_hForm_Main, iId) : nullptr;
}

HWND hForm_Main_Create(HINSTANCE hInstance, int iShow_Command)
{
    bRegister_Form_Class(hInstance, g_sClass_Name, Form_Main_Proc);

    HDC hScreen = GetDC(nullptr);
    const int iDpi_X = GetDeviceCaps(hScreen, LOGPIXELSX);
    const int iDpi_Y = GetDeviceCaps(hScreen, LOGPIXELSY);
    ReleaseDC(nullptr, hScreen);

    // Title bar with the system menu and the close box only; fixed size.
    const DWORD dwStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD dwEx_Style = WS_EX_CONTROLPARENT;
    RECT oRect{0, 0, iTwips_To_Pixels(iClient_Width_Twips, iDpi_X), iTwips_To_Pixels(iClient_Height_Twips, iDpi_Y)};
    AdjustWindowRectEx(&oRect, dwStyle, FALSE, dwEx_Style);
    g_hForm_Main = CreateWindowExW(dwEx_Style, g_sClass_Name, L"Form_Main", dwStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                   oRect.right - oRect.left, oRect.bottom - oRect.top, nullptr, nullptr, hInstance,
                                   nullptr);
    if (!g_hForm_Main)
        return nullptr;
    vCreate_Fonts(iDpi_Y);
    vCreate_Controls(g_hForm_Main, hInstance, iDpi_X, iDpi_Y);
    vFill_Drive_List(hForm_Main_Control(IDC_Drive_To_Zero));
    vForm_Main_Build_Controls();
    vSet_Print_Canvas_Picture(hForm_Main_Control(IDC_Picture_Print));
    vSet_Check_MsgBox_Reader([] { return iCheck_Value(hForm_Main_Control(IDC_Check_MsgBox)) == 1; });
    vSet_Error_Box_Owner([] { return g_hForm_Main; });
    vCenter_On_Screen(g_hForm_Main);

    Form_Load();

    ShowWindow(g_hForm_Main, iShow_Command);
    UpdateWindow(g_hForm_Main);
    SetFocus(hForm_Main_Control(IDC_Command_Run));
    return g_hForm_Main;
}

void Form_Load()
{
    bRun_Trapped(L"Form_Load", Error_Filter::b, [](int& iLine) {
        iLine = 2;
        const std::wstring sFolder = sProgram_Folder();
        oCommon_Dialog().InitDir(sFolder);

        iLine = 3;
        g_sSettings_File = sFolder + L"\\Settings.ini";

        iLine = 4;
        vSettings(0, oForm_Main_Controls());

        g_sLicence_Text = sLoad_Document(sFolder + L"\\Лицензионное соглашение.txt", iLine, {5, 7, 8});
        g_sHelp_Text = sLoad_Document(sFolder + L"\\Справка.txt", iLine, {11, 13, 14});

        iLine = 17;
        vSet_Control_Text(g_hForm_Main, sForm_Main_Caption(MORVANE_PRODUCT_NAME, MORVANE_VERSION_MAJOR,
                                                           MORVANE_VERSION_MINOR));
    });
}

void Form_Unload()
{
    bRun_Trapped(L"Form_Unload", Error_Filter::b, [](int& iLine) {
        iLine = 2;
        vSettings(1, oForm_Main_Controls());

        iLine = 6;
        vRelease_Common_Dialog();

        iLine = 7;
        vRelease_FSO();
    });
}

void Check_Cancel_Click()
{
    bRun_Trapped(L"Check_Cancel_Click", Error_Filter::a, [](int& iLine) {
        iLine = 2;
        vSet_Control_Visible(hForm_Main_Control(IDC_Command_Cancel),
                             iCheck_Value(hForm_Main_Control(IDC_Check_Cancel)) != 0);
    });
}

void Command_Cancel_Click()
{
    bRun_Trapped(L"Command_Cancel_Click", Error_Filter::a, [](int& iLine) {
        iLine = 2;
        g_bCancel = true;
    });
}
