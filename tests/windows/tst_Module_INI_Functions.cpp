// Settings file: loading and saving a form's controls and the window position.
#include "Form_Controls.h"
#include "Locale_Number.h"
#include "Module_Error_Trap.h"
#include "Module_Globals.h"
#include "Module_INI_Functions.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int iStart_Left = 200;
const int iStart_Top = 150;

// Reads back a whole file as bytes (the profile functions write the ANSI code page).
std::string sFile_Bytes(const std::wstring& sPath)
{
    std::string sBytes;
    if (FILE* pFile = _wfopen(sPath.c_str(), L"rb")) {
        char acBuffer[4096];
        size_t n;
        while ((n = std::fread(acBuffer, 1, sizeof acBuffer, pFile)) > 0)
            sBytes.append(acBuffer, n);
        std::fclose(pFile);
    }
    return sBytes;
}

void vWrite_File(const std::wstring& sPath, const std::string& sBytes)
{
    FILE* pFile = _wfopen(sPath.c_str(), L"wb");
    ASSERT_NE(pFile, nullptr);
    std::fwrite(sBytes.data(), 1, sBytes.size(), pFile);
    std::fclose(pFile);
}

float fTwips_Per_Pixel()
{
    HDC hScreen = GetDC(nullptr);
    const int iDpi = GetDeviceCaps(hScreen, LOGPIXELSX);
    ReleaseDC(nullptr, hScreen);
    return 1440.0f / iDpi;
}

// A window shaped like the main form as far as the settings see it: the
// controls in the main form's order, the cancel rule on Check_Cancel.
class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW oClass = {};
        oClass.lpfnWndProc = DefWindowProcW;
        oClass.hInstance = GetModuleHandleW(nullptr);
        oClass.lpszClassName = L"Morvane_Settings_Test";
        RegisterClassW(&oClass);
        hForm = CreateWindowExW(0, oClass.lpszClassName, L"Form_Main", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                iStart_Left, iStart_Top, 250, 200, nullptr, nullptr, oClass.hInstance, nullptr);
        ASSERT_NE(hForm, nullptr);
        hCommand_Cancel = hChild(L"BUTTON", BS_PUSHBUTTON | WS_VISIBLE, 88);
        hCheck_Cancel = hChild(L"BUTTON", BS_AUTOCHECKBOX | WS_VISIBLE, 64);
        hCheck_MsgBox = hChild(L"BUTTON", BS_AUTOCHECKBOX, 16);
        hText = hChild(L"EDIT", ES_AUTOHSCROLL | WS_VISIBLE, 112);
        SendMessageW(hText, EM_SETLIMITTEXT, 0, 0);
        SendMessageW(hCheck_Cancel, BM_SETCHECK, BST_CHECKED, 0);

        oMain.sName = L"Form_Main";
        oMain.hWnd = hForm;
        oMain.lstControls = {
            oOther_Control(L"Command_Run"),
            oOther_Control(L"Drive_To_Zero"),
            oOther_Control(L"Command_Cancel"),
            oCheckBox_Control(L"Check_Cancel", hCheck_Cancel,
                              [this] {
                                  ++iCancel_Clicks;
                                  ShowWindow(hCommand_Cancel,
                                             SendMessageW(hCheck_Cancel, BM_GETCHECK, 0, 0) ? SW_SHOW : SW_HIDE);
                              }),
            oOther_Control(L"ProgressBar"),
            oOther_Control(L"Command_Licence"),
            oOther_Control(L"Command_Help"),
            oCheckBox_Control(L"Check_MsgBox", hCheck_MsgBox),
            oOther_Control(L"Picture_Print"),
        };

        wchar_t acTemp[MAX_PATH];
        GetTempPathW(MAX_PATH, acTemp);
        sFolder = std::wstring(acTemp) + L"morvane_settings_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                  std::to_wstring(GetTickCount64());
        CreateDirectoryW(sFolder.c_str(), nullptr);
        g_sSettings_File = sFolder + L"\\Settings.ini";
        vSet_Error_Box_Hook([this](const std::wstring& sText) { lstReports.push_back(sText); });
    }

    void TearDown() override
    {
        vSet_Error_Box_Hook({});
        vSet_Check_MsgBox_Reader({});
        DestroyWindow(hForm);
        DeleteFileW(g_sSettings_File.c_str());
        RemoveDirectoryW(sFolder.c_str());
    }

    HWND hChild(const wchar_t* sClass, DWORD dwStyle, int iTop)
    {
        return CreateWindowExW(0, sClass, L"", WS_CHILD | dwStyle, 8, iTop, 200, 20, hForm, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }

    POINT oPosition() const
    {
        RECT rc;
        GetWindowRect(hForm, &rc);
        return {rc.left, rc.top};
    }

    void vMove(int iLeft, int iTop)
    {
        SetWindowPos(hForm, nullptr, iLeft, iTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    int iCheck(HWND hButton) const { return static_cast<int>(SendMessageW(hButton, BM_GETCHECK, 0, 0)); }

    std::string sTwips(int iPixels) const
    {
        char acBuffer[32];
        std::snprintf(acBuffer, sizeof acBuffer, "%g", static_cast<double>(iPixels * fTwips_Per_Pixel()));
        return acBuffer;
    }

    HWND hForm = nullptr, hCommand_Cancel = nullptr, hCheck_Cancel = nullptr, hCheck_MsgBox = nullptr,
         hText = nullptr;
    Form_Controls oMain;
    std::wstring sFolder;
    std::vector<std::wstring> lstReports;
    int iCancel_Clicks = 0;
};

TEST_F(Settings, FirstStartKeepsDesignValuesAndExitCreatesTheFile)
{
    vSettings(0, oMain);
    EXPECT_TRUE(lstReports.empty());
    EXPECT_EQ(iCheck(hCheck_Cancel), BST_CHECKED);
    EXPECT_EQ(iCheck(hCheck_MsgBox), BST_UNCHECKED);
    EXPECT_EQ(oPosition().x, iStart_Left);
    EXPECT_EQ(oPosition().y, iStart_Top);
    EXPECT_EQ(iCancel_Clicks, 0);

    vSettings(1, oMain);
    EXPECT_TRUE(lstReports.empty());
    const std::string sFile = sFile_Bytes(g_sSettings_File);
    EXPECT_NE(sFile.find("[Form_Main]"), std::string::npos) << sFile;
    EXPECT_NE(sFile.find("Form_Main_Check_Cancel=1"), std::string::npos) << sFile;
    EXPECT_NE(sFile.find("Form_Main_Check_MsgBox=0"), std::string::npos) << sFile;
    EXPECT_NE(sFile.find("[Program_Settings]"), std::string::npos) << sFile;
    EXPECT_NE(sFile.find("Form_Left=" + sTwips(iStart_Left) + "\r\n"), std::string::npos) << sFile;
    EXPECT_NE(sFile.find("Form_Top=" + sTwips(iStart_Top) + "\r\n"), std::string::npos) << sFile;
    // Buttons, progress bar, drive list and picture carry no settings.
    EXPECT_EQ(sFile.find("Command_"), std::string::npos) << sFile;
    EXPECT_EQ(sFile.find("Drive_To_Zero"), std::string::npos) << sFile;
}

TEST_F(Settings, CheckBoxesAndPositionSurviveARoundTrip)
{
    SendMessageW(hCheck_Cancel, BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(hCheck_MsgBox, BM_SETCHECK, BST_CHECKED, 0);
    vMove(321, 123);
    vSettings(1, oMain);

    SendMessageW(hCheck_Cancel, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(hCheck_MsgBox, BM_SETCHECK, BST_UNCHECKED, 0);
    vMove(iStart_Left, iStart_Top);
    vSettings(0, oMain);

    EXPECT_TRUE(lstReports.empty());
    EXPECT_EQ(iCheck(hCheck_Cancel), BST_UNCHECKED);
    EXPECT_EQ(iCheck(hCheck_MsgBox), BST_CHECKED);
    // Restoring the option runs its rule, as a click would.
    EXPECT_EQ(iCancel_Clicks, 1);
    EXPECT_FALSE(IsWindowVisible(hCommand_Cancel) || GetWindowLongW(hCommand_Cancel, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(oPosition().x, 321);
    EXPECT_EQ(oPosition().y, 123);

    // An unchanged value runs no click rule.
    vSettings(0, oMain);
    EXPECT_EQ(iCancel_Clicks, 1);
}

TEST_F(Settings, EmptyValueStopsTheLoadWithAReport)
{
    vWrite_File(g_sSettings_File, "[Form_Main]\r\nForm_Main_Check_Cancel=\r\nForm_Main_Check_MsgBox=1\r\n"
                                  "[Program_Settings]\r\nForm_Left=1500\r\nForm_Top=1500\r\n");
    vSettings(0, oMain);
    ASSERT_EQ(lstReports.size(), 1u);
    EXPECT_EQ(lstReports[0], L"Ошибка функции vSettings №13, 'Type mismatch', строка 3");
    EXPECT_EQ(iCheck(hCheck_Cancel), BST_CHECKED);
    EXPECT_EQ(iCheck(hCheck_MsgBox), BST_UNCHECKED);
    EXPECT_EQ(oPosition().x, iStart_Left);
    EXPECT_EQ(oPosition().y, iStart_Top);

    // Controls before the failing one keep what they loaded.
    lstReports.clear();
    vWrite_File(g_sSettings_File, "[Form_Main]\r\nForm_Main_Check_Cancel=0\r\nForm_Main_Check_MsgBox=abc\r\n"
                                  "[Program_Settings]\r\nForm_Left=1500\r\nForm_Top=1500\r\n");
    vSettings(0, oMain);
    ASSERT_EQ(lstReports.size(), 1u);
    EXPECT_EQ(lstReports[0], L"Ошибка функции vSettings №13, 'Type mismatch', строка 3");
    EXPECT_EQ(iCheck(hCheck_Cancel), BST_UNCHECKED);
    EXPECT_EQ(oPosition().x, iStart_Left);

    // A missing or non-numeric edge leaves the window where it is.
    lstReports.clear();
    vWrite_File(g_sSettings_File, "[Form_Main]\r\nForm_Main_Check_Cancel=1\r\nForm_Main_Check_MsgBox=0\r\n"
                                  "[Program_Settings]\r\nForm_Left=1500\r\nForm_Top=x\r\n");
    vSettings(0, oMain);
    ASSERT_EQ(lstReports.size(), 1u);
    EXPECT_EQ(lstReports[0], L"Ошибка функции vSettings №13, 'Type mismatch', строка 5");
    EXPECT_EQ(iCheck(hCheck_Cancel), BST_CHECKED);
    EXPECT_EQ(oPosition().x, iStart_Left);
    EXPECT_EQ(oPosition().y, iStart_Top);

    // UTF-16 without a byte-order mark: reported, and left as it was at exit.
    lstReports.clear();
    vWrite_File(g_sSettings_File, std::string("[\0M\0i\0n\0e\0]\0\r\0\n\0", 16));
    vSettings(0, oMain);
    vSettings(1, oMain);
    ASSERT_EQ(lstReports.size(), 1u);
    EXPECT_EQ(lstReports[0], L"Ошибка функции vSettings №13, 'Type mismatch: " + g_sSettings_File + L" is not text the "
                             L"program can read; it is left as it is, and the settings of this session are not stored', строка 2");
    EXPECT_EQ(sFile_Bytes(g_sSettings_File), std::string("[\0M\0i\0n\0e\0]\0\r\0\n\0", 16));

    // A value a check box cannot take.
    lstReports.clear();
    vWrite_File(g_sSettings_File, "[Form_Main]\r\nForm_Main_Check_Cancel=7\r\n");
    vSettings(0, oMain);
    ASSERT_EQ(lstReports.size(), 1u);
    EXPECT_EQ(lstReports[0], L"Ошибка функции vSettings №380, 'Invalid property value', строка 3");
}

TEST_F(Settings, CheckMsgBoxFromTheFileTurnsOnTheDebugReports)
{
    vSet_Check_MsgBox_Reader([this] { return iCheck(hCheck_MsgBox) == BST_CHECKED; });
    const Error_Record oError{5, L"Invalid procedure call or argument", 3};
    vReport_Error(L"ShowOpen", Error_Filter::c, oError);
    EXPECT_TRUE(lstReports.empty());

    vWrite_File(g_sSettings_File, "[Form_Main]\r\nForm_Main_Check_Cancel=1\r\nForm_Main_Check_MsgBox=1\r\n"
                                  "[Program_Settings]\r\nForm_Left=1500\r\nForm_Top=1500\r\n");
    vSettings(0, oMain);
    ASSERT_TRUE(lstReports.empty());
    vReport_Error(L"ShowOpen", Error_Filter::c, oError);
    ASSERT_EQ(lstReports.size(), 1u);
    EXPECT_EQ(lstReports[0], L"Ошибка функции ShowOpen №5, 'Invalid procedure call or argument', строка 3");
}

TEST_F(Settings, PositionLeftOrAboveTheScreenIsStoredAtItsEdgeAndWhileMinimisedIsTheWindowsOwn)
{
    // Partly left of and above the screen: stored, and put, at those edges.
    vMove(-40, -25);
    vSettings(1, oMain);
    std::string sFile = sFile_Bytes(g_sSettings_File);
    EXPECT_NE(sFile.find("Form_Left=0\r\n"), std::string::npos) << sFile;
    EXPECT_NE(sFile.find("Form_Top=0\r\n"), std::string::npos) << sFile;
    EXPECT_EQ(oPosition().x, 0);
    EXPECT_EQ(oPosition().y, 0);

    // Closed while minimised: the place it comes back to, not the icon's.
    vMove(321, 123);
    ShowWindow(hForm, SW_SHOWMINNOACTIVE);
    ASSERT_TRUE(IsIconic(hForm));
    vSettings(1, oMain);
    ShowWindow(hForm, SW_RESTORE);
    sFile = sFile_Bytes(g_sSettings_File);
    EXPECT_NE(sFile.find("Form_Left=" + sTwips(321) + "\r\n"), std::string::npos) << sFile;
    EXPECT_NE(sFile.find("Form_Top=" + sTwips(123) + "\r\n"), std::string::npos) << sFile;

    // Partly beyond the right edge: stored and restored as it was.
    const int iRight = GetSystemMetrics(SM_CXSCREEN) - 100;
    vMove(iRight, 40);
    vSettings(1, oMain);
    sFile = sFile_Bytes(g_sSettings_File);
    EXPECT_NE(sFile.find("Form_Left=" + sTwips(iRight) + "\r\n"), std::string::npos) << sFile;
    vMove(iStart_Left, iStart_Top);
    vSettings(0, oMain);
    EXPECT_EQ(oPosition().x, iRight);
    EXPECT_EQ(oPosition().y, 40);
    EXPECT_TRUE(lstReports.empty());
}

TEST_F(Settings, PositionOffEveryScreenKeepsTheStartPlace)
{
    vWrite_File(g_sSettings_File, "[Form_Main]\r\nForm_Main_Check_Cancel=0\r\nForm_Main_Check_MsgBox=0\r\n"
                                  "[Program_Settings]\r\nForm_Left=900000\r\nForm_Top=600000\r\n");
    vSettings(0, oMain);
    EXPECT_TRUE(lstReports.empty());
    EXPECT_EQ(iCheck(hCheck_Cancel), BST_UNCHECKED);
    EXPECT_EQ(oPosition().x, iStart_Left);
    EXPECT_EQ(oPosition().y, iStart_Top);
}

TEST_F(Settings, LongTextComesBackCutTo254Characters)
{
    Form_Controls oForm;
    oForm.sName = L"Form_Notes";
    oForm.hWnd = hForm;
    oForm.lstControls = {oTextBox_Control(L"Text_Note", hText)};
    // Cyrillic survives only where the ANSI code page has it (1251 on a Russian system).
    const std::wstring sLong =
        (GetACP() == 1251 ? std::wstring(150, L'ж') : std::wstring(150, L'z')) + std::wstring(150, L'q');
    SetWindowTextW(hText, sLong.c_str());
    vSettings(1, oForm);
    EXPECT_EQ(sRead_Ini(g_sSettings_File, L"Form_Notes", L"Form_Notes_Text_Note").size(), 254u);

    SetWindowTextW(hText, L"");
    vSettings(0, oForm);
    wchar_t acText[400] = {};
    GetWindowTextW(hText, acText, 400);
    EXPECT_EQ(std::wstring(acText), sLong.substr(0, 254));
    EXPECT_TRUE(lstReports.empty());
}

TEST_F(Settings, UnwritableFileAndUnknownModePassSilently)
{
    g_sSettings_File = sFolder + L"\\missing folder\\Settings.ini";
    vSettings(1, oMain);
    EXPECT_TRUE(lstReports.empty());
    EXPECT_EQ(GetFileAttributesW(g_sSettings_File.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(sRead_Ini(g_sSettings_File, L"Form_Main", L"Form_Main_Check_Cancel"), L"");
    g_sSettings_File = sFolder + L"\\Settings.ini";

    vSettings(2, oMain);
    vSettings(-1, oMain);
    EXPECT_EQ(GetFileAttributesW(g_sSettings_File.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(lstReports.empty());
}

TEST(Locale_Number, DecimalCommaFormatsAndParses)
{
    EXPECT_EQ(sSingle_To_String(1440.0f, L","), L"1440");
    EXPECT_EQ(sSingle_To_String(1440.5f, L","), L"1440,5");
    EXPECT_EQ(sSingle_To_String(1440.5f, L"."), L"1440.5");
    EXPECT_EQ(sSingle_To_String(12345678.0f, L","), L"1,234568E+07");
    EXPECT_EQ(sSingle_To_String(0.0f, L","), L"0");
    EXPECT_FLOAT_EQ(fString_To_Single(L" 1440,5 ", L","), 1440.5f);
    EXPECT_FLOAT_EQ(fString_To_Single(L"-15", L","), -15.0f);
    EXPECT_FLOAT_EQ(fString_To_Single(L"1,5E+3", L","), 1500.0f);
    for (const wchar_t* sBad : {L"", L"  ", L"1440.5", L"12px", L",", L"1E", L"--1"}) {
        try {
            fString_To_Single(sBad, L",");
            ADD_FAILURE() << "accepted \"" << std::string(sBad, sBad + wcslen(sBad)) << '"';
        } catch (const Cl_Error& oError) {
            EXPECT_EQ(oError.iNumber, iErr_Type_Mismatch);
        }
    }
    try {
        fString_To_Single(L"1E+39", L",");
        ADD_FAILURE() << "no overflow";
    } catch (const Cl_Error& oError) {
        EXPECT_EQ(oError.iNumber, iErr_Overflow);
    }
    EXPECT_EQ(iString_To_Long(L"2,5", L","), 2);
    EXPECT_EQ(iString_To_Long(L"3,5", L","), 4);
    EXPECT_EQ(iString_To_Boolean(L"true", L","), -1);
    EXPECT_EQ(iString_To_Boolean(L"False", L","), 0);
}

// The position is written in the user's own number format; run with a locale
// that uses a comma (MORVANE_EXPECT_DECIMAL=",") to see it end to end.
TEST_F(Settings, PositionFollowsTheUserDecimalSeparator)
{
    const char* sExpected = std::getenv("MORVANE_EXPECT_DECIMAL");
    if (!sExpected)
        GTEST_SKIP() << "MORVANE_EXPECT_DECIMAL not set";
    const std::wstring sDecimal = sUser_Decimal_Separator();
    EXPECT_EQ(sDecimal, std::wstring(sExpected, sExpected + std::strlen(sExpected)));
    const std::string sHalf = "1440" + std::string(sExpected) + "6";
    vWrite_File(g_sSettings_File, "[Form_Main]\r\nForm_Main_Check_Cancel=1\r\nForm_Main_Check_MsgBox=0\r\n"
                                  "[Program_Settings]\r\nForm_Left=" + sHalf + "\r\nForm_Top=" + sHalf + "\r\n");
    vSettings(0, oMain);
    EXPECT_TRUE(lstReports.empty());
    const int iExpected = static_cast<int>(std::nearbyint(1440.6 / fTwips_Per_Pixel()));
    EXPECT_EQ(oPosition().x, iExpected);
    EXPECT_EQ(oPosition().y, iExpected);
}

}  // namespace
