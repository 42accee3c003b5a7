// Form_Main: design places, caption, program folder, drive list, and the form
// itself created in this process (without its documents beside the test).
#include "Form_Main.h"
#include "Module_Error_Trap.h"
#include "Module_Globals.h"
#include "Win_Controls.h"
#include "Win_Message_Loop.h"
#include "Window_Placement.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <windows.h>

#include <vector>

TEST(Form_Main_Layout, TwipsToPixels)
{
    EXPECT_EQ(iTwips_To_Pixels(15, 96), 1);
    EXPECT_EQ(iTwips_To_Pixels(120, 96), 8);
    EXPECT_EQ(iTwips_To_Pixels(3375, 96), 225);
    EXPECT_EQ(iTwips_To_Pixels(255, 96), 17);
    EXPECT_EQ(iTwips_To_Pixels(3588, 96), 239);  // 239.2
    EXPECT_EQ(iTwips_To_Pixels(2724, 96), 182);  // 181.6 rounds up
    EXPECT_EQ(iTwips_To_Pixels(3375, 120), 281);
    EXPECT_EQ(iTwips_To_Pixels(3375, 144), 338);  // 337.5
    EXPECT_EQ(iTwips_To_Pixels(0, 96), 0);
}

TEST(Form_Main_Layout, FontHeights)
{
    EXPECT_EQ(iFont_Height(78, 96), -10);   // MS Sans Serif 7.8 pt
    EXPECT_EQ(iFont_Height(96, 96), -13);   // Times New Roman 9.6 pt
    EXPECT_EQ(iFont_Height(78, 144), -16);
}

// Two monitors side by side, the second one left of and above the primary one.
const RECT g_oPrimary_Work{0, 0, 1920, 1040};
const RECT g_oLeft_Monitor{-1280, -200, 0, 824};
const RECT g_oLeft_Work{-1280, -160, 0, 824};  // its taskbar at the top

TEST(Window_Placement, DocumentWindowCentredOnItsOwnerInsideTheOwnersMonitor)
{
    // On the primary monitor: centred on the owner.
    POINT o = oCentred_Place({800, 400, 1040, 600}, 682, 394, g_oPrimary_Work);
    EXPECT_EQ(o.x, 579);
    EXPECT_EQ(o.y, 303);
    // The owner on the left monitor: the window stays there, not on the primary one.
    o = oCentred_Place({-900, 100, -660, 300}, 682, 394, g_oLeft_Work);
    EXPECT_EQ(o.x, -1121);
    EXPECT_EQ(o.y, 3);
    // An owner near that monitor's edges: pushed inside its work area, below its taskbar.
    o = oCentred_Place({-1270, -200, -1030, 0}, 682, 394, g_oLeft_Work);
    EXPECT_EQ(o.x, -1280);
    EXPECT_EQ(o.y, -160);
    o = oCentred_Place({-200, 700, 40, 900}, 682, 394, g_oLeft_Work);
    EXPECT_EQ(o.x, -682);
    EXPECT_EQ(o.y, 430);
    // Larger than the work area: its top-left corner.
    o = oCentred_Place({800, 400, 1040, 600}, 2000, 1200, g_oPrimary_Work);
    EXPECT_EQ(o.x, 0);
    EXPECT_EQ(o.y, 0);
}

TEST(Window_Placement, StoredPlaceIsTheNormalOneAndKeepsNegativeCoordinates)
{
    const RECT oNormal_Workspace{300, 200, 545, 412};
    // Shown normally: the window's own place, left of and above the primary monitor too.
    POINT o = oStored_Place(true, {-900, -150, -655, 62}, oNormal_Workspace, g_oLeft_Work, g_oLeft_Monitor);
    EXPECT_EQ(o.x, -900);
    EXPECT_EQ(o.y, -150);
    // Minimised: where it was before, not the icon's -32000.
    o = oStored_Place(false, {-32000, -32000, -31840, -31969}, oNormal_Workspace, g_oPrimary_Work,
                      g_oPrimary_Work);
    EXPECT_EQ(o.x, 300);
    EXPECT_EQ(o.y, 200);
    // Minimised on the left monitor: its workspace place moved by that monitor's taskbar.
    o = oStored_Place(false, {-32000, -32000, -31840, -31969}, {-1000, 10, -755, 222}, g_oLeft_Work,
                      g_oLeft_Monitor);
    EXPECT_EQ(o.x, -1000);
    EXPECT_EQ(o.y, 50);
}

TEST(Form_Main_Caption, FromVersionNumbers)
{
    EXPECT_EQ(sForm_Main_Caption(L"Morvane", 1, 2), L"Morvane v.1.2");
    EXPECT_EQ(sForm_Main_Caption(L"Morvane", 10, 0), L"Morvane v.10.0");
}

TEST(Form_Main_Folder, ProgramFolder)
{
    EXPECT_EQ(sProgram_Folder_From_Module_Path(L"C:\\Programs\\Morvane\\Morvane.exe"), L"C:\\Programs\\Morvane");
    // At a drive's root the folder keeps its backslash and the settings path doubles it.
    EXPECT_EQ(sProgram_Folder_From_Module_Path(L"C:\\Morvane.exe"), L"C:\\");
    EXPECT_EQ(sProgram_Folder_From_Module_Path(L"C:\\Morvane.exe") + L"\\Settings.ini", L"C:\\\\Settings.ini");
    EXPECT_EQ(sProgram_Folder_From_Module_Path(L"\\\\server\\share\\Morvane.exe"), L"\\\\server\\share");
}

TEST(Form_Main_Drives, Entries)
{
    EXPECT_EQ(sDrive_Entry(L'C', L""), L"c:");
    EXPECT_EQ(sDrive_Entry(L'd', L"Данные"), L"d: [Данные]");
    const std::vector<std::wstring> lstEntries = {L"c: [System]", L"d:", L"z:"};
    EXPECT_EQ(iDrive_Index(lstEntries, L'D'), 1);
    EXPECT_EQ(iDrive_Index(lstEntries, L'z'), 2);
    EXPECT_EQ(iDrive_Index(lstEntries, L'q'), 0);
}

class Form_Main_Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX oInit{sizeof oInit, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&oInit);
        vSet_Error_Box_Hook([this](const std::wstring& sText) { lstShown.push_back(sText); });
        hWnd = hForm_Main_Create(GetModuleHandleW(nullptr), SW_HIDE);
        ASSERT_NE(hWnd, nullptr);
    }
    void TearDown() override
    {
        if (hForm_Main())
            DestroyWindow(hForm_Main());
        MSG oMessage;
        while (PeekMessageW(&oMessage, nullptr, 0, 0, PM_REMOVE)) {
        }
        vSet_Error_Box_Hook(nullptr);
    }
    HWND hControl(int iId) { return hForm_Main_Control(iId); }
    RECT oPlace(int iId)
    {
        RECT oRect{};
        GetWindowRect(hControl(iId), &oRect);
        MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&oRect), 2);
        return oRect;
    }
    std::vector<std::wstring> lstShown;
    HWND hWnd = nullptr;
};

TEST_F(Form_Main_Window, MissingDocumentsAreReportedAndTheCaptionStays)
{
    // No documents beside the test program: the licence fails first, the rest of the load is skipped.
    ASSERT_EQ(lstShown.size(), 1u);
    EXPECT_EQ(lstShown[0], L"Ошибка функции Form_Load №53, 'File not found', строка 5");
    EXPECT_EQ(sControl_Text(hWnd), L"Form_Main");
    EXPECT_EQ(g_sSettings_File, sProgram_Folder() + L"\\Settings.ini");
    EXPECT_TRUE(g_sHelp_Text.empty());
}

TEST_F(Form_Main_Window, ControlsAtTheirDesignPlaces)
{
    HDC hScreen = GetDC(nullptr);
    const int iDpi_X = GetDeviceCaps(hScreen, LOGPIXELSX);
    const int iDpi_Y = GetDeviceCaps(hScreen, LOGPIXELSY);
    ReleaseDC(nullptr, hScreen);
    RECT oClient{};
    GetClientRect(hWnd, &oClient);
    EXPECT_EQ(oClient.right, iTwips_To_Pixels(3588, iDpi_X));
    EXPECT_EQ(oClient.bottom, iTwips_To_Pixels(2724, iDpi_Y));

    struct Place { int iId, iLeft, iTop, iWidth, iHeight; };
    const Place aPlaces[] = {
        {IDC_Command_Run, 120, 600, 3375, 255},   {IDC_Command_Cancel, 120, 1320, 3375, 255},
        {IDC_Check_Cancel, 120, 960, 3375, 255},  {IDC_ProgressBar, 120, 1680, 3375, 255},
        {IDC_Command_Licence, 120, 2040, 3375, 255}, {IDC_Command_Help, 120, 2400, 3375, 255},
        {IDC_Check_MsgBox, 240, 240, 3252, 255},  {IDC_Picture_Print, 0, 400, 480, 225},
    };
    for (const Place& oDesign : aPlaces) {
        const RECT oRect = oPlace(oDesign.iId);
        EXPECT_EQ(oRect.left, iTwips_To_Pixels(oDesign.iLeft, iDpi_X)) << oDesign.iId;
        EXPECT_EQ(oRect.top, iTwips_To_Pixels(oDesign.iTop, iDpi_Y)) << oDesign.iId;
        EXPECT_EQ(oRect.right - oRect.left, iTwips_To_Pixels(oDesign.iWidth, iDpi_X)) << oDesign.iId;
        EXPECT_EQ(oRect.bottom - oRect.top, iTwips_To_Pixels(oDesign.iHeight, iDpi_Y)) << oDesign.iId;
    }
    const RECT oDrives = oPlace(IDC_Drive_To_Zero);
    EXPECT_EQ(oDrives.left, iTwips_To_Pixels(120, iDpi_X));
    EXPECT_EQ(oDrives.top, iTwips_To_Pixels(120, iDpi_Y));
    EXPECT_EQ(oDrives.right - oDrives.left, iTwips_To_Pixels(3375, iDpi_X));
}

TEST_F(Form_Main_Window, InitialStatesAndTabOrder)
{
    EXPECT_EQ(sControl_Text(hControl(IDC_Command_Run)), L"Занулить свободное пространство");
    EXPECT_EQ(sControl_Text(hControl(IDC_Command_Cancel)), L"Отмена");
    EXPECT_EQ(sControl_Text(hControl(IDC_Check_Cancel)), L"Использовать отмену (медленнее)");
    EXPECT_EQ(sControl_Text(hControl(IDC_Command_Licence)), L"Лицензия");
    EXPECT_EQ(sControl_Text(hControl(IDC_Command_Help)), L"Справка");
    EXPECT_EQ(sControl_Text(hControl(IDC_Check_MsgBox)), L"Отладка (вкл. MsgBox в ErrorHandle)");

    EXPECT_TRUE(bControl_Enabled(hControl(IDC_Command_Run)));
    EXPECT_TRUE(bControl_Visible(hControl(IDC_Command_Cancel)));
    EXPECT_FALSE(bControl_Enabled(hControl(IDC_Command_Cancel)));
    EXPECT_EQ(iCheck_Value(hControl(IDC_Check_Cancel)), 1);
    EXPECT_EQ(iCheck_Value(hControl(IDC_Check_MsgBox)), 0);
    EXPECT_FALSE(bControl_Visible(hControl(IDC_Check_MsgBox)));
    EXPECT_FALSE(bControl_Visible(hControl(IDC_Picture_Print)));
    EXPECT_EQ(iProgress_Value(hControl(IDC_ProgressBar)), 0);
    PBRANGE oRange{};
    SendMessageW(hControl(IDC_ProgressBar), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&oRange));
    EXPECT_EQ(oRange.iLow, 0);
    EXPECT_EQ(oRange.iHigh, 100);

    // The tab sequence skips the disabled cancel button and the hidden controls.
    std::vector<int> lstOrder;
    HWND hItem = hControl(IDC_Command_Run);
    for (int i = 0; i < 6; ++i) {
        lstOrder.push_back(GetDlgCtrlID(hItem));
        hItem = GetNextDlgTabItem(hWnd, hItem, FALSE);
    }
    EXPECT_EQ(lstOrder, (std::vector<int>{IDC_Command_Run, IDC_Drive_To_Zero, IDC_Check_Cancel, IDC_Command_Licence,
                                          IDC_Command_Help, IDC_Command_Run}));

    // Fonts: the two bold buttons in MS Sans Serif with the Cyrillic character set.
    LOGFONTW oFont{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hControl(IDC_Command_Run), WM_GETFONT, 0, 0)), sizeof oFont,
               &oFont);
    EXPECT_STREQ(oFont.lfFaceName, L"MS Sans Serif");
    EXPECT_EQ(oFont.lfWeight, FW_BOLD);
    EXPECT_EQ(oFont.lfCharSet, RUSSIAN_CHARSET);
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hControl(IDC_Picture_Print), WM_GETFONT, 0, 0)), sizeof oFont,
               &oFont);
    EXPECT_STREQ(oFont.lfFaceName, L"Times New Roman");
    EXPECT_EQ(oFont.lfWeight, FW_NORMAL);

    // Title bar: system menu and close box, no minimize or maximize box.
    const LONG_PTR iStyle = GetWindowLongPtrW(hWnd, GWL_STYLE);
    EXPECT_TRUE(iStyle & WS_SYSMENU);
    EXPECT_FALSE(iStyle & WS_MINIMIZEBOX);
    EXPECT_FALSE(iStyle & WS_MAXIMIZEBOX);
}

TEST_F(Form_Main_Window, DriveListStartsWithLetterAndColonAndSelectsCurrentDrive)
{
    HWND hDrives = hControl(IDC_Drive_To_Zero);
    const LRESULT iCount = SendMessageW(hDrives, CB_GETCOUNT, 0, 0);
    ASSERT_GT(iCount, 0);
    for (LRESULT i = 0; i < iCount; ++i) {
        wchar_t aEntry[300] = {};
        SendMessageW(hDrives, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(aEntry));
        EXPECT_TRUE(iswalpha(aEntry[0]) && aEntry[1] == L':') << aEntry;
    }
    wchar_t aCurrent[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, aCurrent);
    const std::wstring sSelected = sControl_Text(hDrives);
    ASSERT_GE(sSelected.size(), 2u);
    EXPECT_EQ(towlower(sSelected[0]), towlower(aCurrent[0]));
    EXPECT_EQ(sSelected[1], L':');
}

TEST_F(Form_Main_Window, CheckCancelShowsAndHidesTheCancelButton)
{
    vSet_Check_Value(hControl(IDC_Check_Cancel), 0);
    Check_Cancel_Click();
    EXPECT_FALSE(bControl_Visible(hControl(IDC_Command_Cancel)));
    vSet_Check_Value(hControl(IDC_Check_Cancel), 1);
    Check_Cancel_Click();
    EXPECT_TRUE(bControl_Visible(hControl(IDC_Command_Cancel)));
    EXPECT_FALSE(bControl_Enabled(hControl(IDC_Command_Cancel)));

    g_bCancel = false;
    Command_Cancel_Click();
    EXPECT_TRUE(g_bCancel);
    g_bCancel = false;
}

TEST_F(Form_Main_Window, FilterCReadsTheHiddenDebugBox)
{
    lstShown.clear();
    auto fFail = [](int& iLine) {
        iLine = 3;
        vRaise(iErr_File_Not_Found);
    };
    bRun_Trapped(L"Let InitDir", Error_Filter::c, fFail);
    EXPECT_TRUE(lstShown.empty());
    vSet_Check_Value(hControl(IDC_Check_MsgBox), 1);
    bRun_Trapped(L"Let InitDir", Error_Filter::c, fFail);
    ASSERT_EQ(lstShown.size(), 1u);
    EXPECT_EQ(lstShown[0], L"Ошибка функции Let InitDir №53, 'File not found', строка 3");
    EXPECT_FALSE(bControl_Visible(hControl(IDC_Check_MsgBox)));
}

TEST_F(Form_Main_Window, DoEventsRunsPendingClicksAndKeepsTheQuitRequest)
{
    PostMessageW(hControl(IDC_Check_Cancel), BM_CLICK, 0, 0);
    vDo_Events();
    EXPECT_EQ(iCheck_Value(hControl(IDC_Check_Cancel)), 0);
    EXPECT_FALSE(bControl_Visible(hControl(IDC_Command_Cancel)));

    PostQuitMessage(3);
    vDo_Events();
    MSG oMessage{};
    ASSERT_TRUE(PeekMessageW(&oMessage, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(oMessage.wParam, 3u);
}
