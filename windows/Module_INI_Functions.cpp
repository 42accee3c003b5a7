#include "Module_INI_Functions.h"

#include "Locale_Number.h"
#include "Module_Documents.h"
#include "Module_Error_Trap.h"
#include "Module_Globals.h"
#include "Window_Placement.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const wchar_t* const sMain_Form_Name = L"Form_Main";
const wchar_t* const sPosition_Section = L"Program_Settings";
const wchar_t* const sLeft_Key = L"Form_Left";
const wchar_t* const sTop_Key = L"Form_Top";

// The profile functions hand back at most this many characters, terminator included.
const DWORD dwRead_Buffer_Size = 255;

bool bFile_Exists(const std::wstring& sPath)
{
    const DWORD dwAttributes = GetFileAttributesW(sPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The profile functions read a file without a byte-order mark as ANSI text:
// one in UTF-16 (or not text at all) holds zero bytes, reads as empty, and a
// write would replace it whole with the program's own sections.
bool bProfile_Readable(const std::wstring& sPath)
{
    std::string sBytes;
    try {
        sBytes = sRead_File_Bytes(sPath);
    } catch (const Cl_Error&) {
        return true;  // nothing there to lose: the profile functions make it
    }
    for (const char* sMark : {"\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF"})
        if (sBytes.compare(0, std::strlen(sMark), sMark) == 0)
            return true;
    return sBytes.find('\0') == std::string::npos;
}

[[noreturn]] void vRaise_Unreadable(const std::wstring& sPath)
{
    vRaise(iErr_Type_Mismatch, L"Type mismatch: " + sPath + L" is not text the program can read; it is left as it "
                                   L"is, and the settings of this session are not stored");
}

struct Twips_Per_Pixel {
    float fX;
    float fY;
};

Twips_Per_Pixel oScreen_Twips_Per_Pixel()
{
    HDC hScreen = GetDC(nullptr);
    const int iDpi_X = hScreen ? GetDeviceCaps(hScreen, LOGPIXELSX) : 0;
    const int iDpi_Y = hScreen ? GetDeviceCaps(hScreen, LOGPIXELSY) : 0;
    if (hScreen)
        ReleaseDC(nullptr, hScreen);
    return {1440.0f / (iDpi_X > 0 ? iDpi_X : 96), 1440.0f / (iDpi_Y > 0 ? iDpi_Y : 96)};
}

int iTwips_To_Screen_Pixels(float fTwips, float fTwips_Per_Pixel)
{
    const double dPixels = std::nearbyint(static_cast<double>(fTwips) / fTwips_Per_Pixel);
    if (dPixels > INT32_MAX / 2 || dPixels < INT32_MIN / 2)
        vRaise(iErr_Overflow);
    return static_cast<int>(dPixels);
}

std::wstring sKey_Of(const Form_Controls& oForm, const Form_Control& oControl)
{
    return oForm.sName + L"_" + oControl.sName;
}

void vMove_Window(HWND hWnd, int iLeft, int iTop)
{
    SetWindowPos(hWnd, nullptr, iLeft, iTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Where the window is when it is shown normally: a window closed while minimised
// would otherwise be stored at the icon's place far off the screen.
POINT oWindow_Place_To_Store(HWND hWnd)
{
    RECT oWindow{};
    vCheck_Win32(GetWindowRect(hWnd, &oWindow));
    WINDOWPLACEMENT oPlacement{};
    oPlacement.length = sizeof oPlacement;
    vCheck_Win32(GetWindowPlacement(hWnd, &oPlacement));
    MONITORINFO oMonitor{};
    oMonitor.cbSize = sizeof oMonitor;
    GetMonitorInfoW(MonitorFromRect(&oPlacement.rcNormalPosition, MONITOR_DEFAULTTOPRIMARY), &oMonitor);
    return oStored_Place(!IsIconic(hWnd) && !IsZoomed(hWnd), oWindow, oPlacement.rcNormalPosition, oMonitor.rcWork,
                         oMonitor.rcMonitor);
}

void vLoad_Controls(const Form_Controls& oForm, const std::wstring& sDecimal)
{
    for (const Form_Control& oControl : oForm.lstControls) {
        switch (oControl.eKind) {
        case Control_Kind::TextBox:
        case Control_Kind::ComboBox:
            oControl.fSet_Text(sRead_Ini(g_sSettings_File, oForm.sName, sKey_Of(oForm, oControl)));
            break;
        case Control_Kind::CheckBox:
        case Control_Kind::Slider:
            vSet_Control_Value(oControl, iString_To_Long(sRead_Ini(g_sSettings_File, oForm.sName,
                                                                   sKey_Of(oForm, oControl)),
                                                         sDecimal));
            break;
        case Control_Kind::OptionButton:
            vSet_Control_Value(oControl, iString_To_Boolean(sRead_Ini(g_sSettings_File, oForm.sName,
                                                                      sKey_Of(oForm, oControl)),
                                                            sDecimal));
            break;
        case Control_Kind::Other:
            break;
        }
    }
}

void vSave_Controls(const Form_Controls& oForm)
{
    for (const Form_Control& oControl : oForm.lstControls) {
        std::wstring sValue;
        switch (oControl.eKind) {
        case Control_Kind::TextBox:
        case Control_Kind::ComboBox:
            sValue = oControl.fGet_Text();
            break;
        case Control_Kind::CheckBox:
        case Control_Kind::Slider:
            sValue = std::to_wstring(oControl.fGet_Value());
            break;
        case Control_Kind::OptionButton:
            sValue = oControl.fGet_Value() != 0 ? L"True" : L"False";
            break;
        case Control_Kind::Other:
            continue;
        }
        vWrite_Ini(g_sSettings_File, oForm.sName, sKey_Of(oForm, oControl), sValue);
    }
}

}  // namespace

std::wstring sRead_Ini(const std::wstring& sFile, const std::wstring& sSection, const std::wstring& sKey)
{
    std::wstring sValue;
    bRun_Trapped(L"sRead_Ini", Error_Filter::b, [&](int& iLine) {
        iLine = 2;
        wchar_t acBuffer[dwRead_Buffer_Size] = {};
        iLine = 3;
        const DWORD dwCount = GetPrivateProfileStringW(sSection.c_str(), sKey.c_str(), L"", acBuffer,
                                                       dwRead_Buffer_Size, sFile.c_str());
        iLine = 4;
        sValue.assign(acBuffer, dwCount);
    });
    return sValue;
}

void vWrite_Ini(const std::wstring& sFile, const std::wstring& sSection, const std::wstring& sKey,
                const std::wstring& sValue)
{
    bRun_Trapped(L"vWrite_Ini", Error_Filter::b, [&](int& iLine) {
        iLine = 2;
        WritePrivateProfileStringW(sSection.c_str(), sKey.c_str(), sValue.c_str(), sFile.c_str());
    });
}

void vSettings(int16_t iMode, const Form_Controls& oForm)
{
    bRun_Trapped(L"vSettings", Error_Filter::b, [&](int& iLine) {
        const std::wstring sDecimal = sUser_Decimal_Separator();
        const Twips_Per_Pixel oScale = oScreen_Twips_Per_Pixel();
        if (iMode == 0) {
            iLine = 2;
            if (!bFile_Exists(g_sSettings_File))
                return;
            if (!bProfile_Readable(g_sSettings_File))
                vRaise_Unreadable(g_sSettings_File);
            iLine = 3;
            vLoad_Controls(oForm, sDecimal);
            if (oForm.sName != sMain_Form_Name)
                return;
            // Both edges are read before the window moves, so a bad one leaves it where it was.
            iLine = 4;
            const float fLeft = fString_To_Single(sRead_Ini(g_sSettings_File, sPosition_Section, sLeft_Key),
                                                  sDecimal);
            iLine = 5;
            const float fTop = fString_To_Single(sRead_Ini(g_sSettings_File, sPosition_Section, sTop_Key),
                                                 sDecimal);
            iLine = 6;
            RECT rcWindow{};
            vCheck_Win32(GetWindowRect(oForm.hWnd, &rcWindow));
            OffsetRect(&rcWindow, iTwips_To_Screen_Pixels(fLeft, oScale.fX) - rcWindow.left,
                       iTwips_To_Screen_Pixels(fTop, oScale.fY) - rcWindow.top);
            // A place on a monitor that is gone would leave the window out of reach:
            // it then stays where it opened.
            if (MonitorFromRect(&rcWindow, MONITOR_DEFAULTTONULL) == nullptr)
                return;
            iLine = 7;
            vMove_Window(oForm.hWnd, rcWindow.left, rcWindow.top);
        } else if (iMode == 1) {
            // Reported when it was loaded; the user's file is worth more than this session's values.
            if (!bProfile_Readable(g_sSettings_File))
                return;
            iLine = 8;
            vSave_Controls(oForm);
            iLine = 9;
            POINT oPlace = oWindow_Place_To_Store(oForm.hWnd);
            // Stored as it is, a place left of or above the screen would open the
            // window there at every start, its title bar out of reach.
            if (oPlace.x < 0 || oPlace.y < 0) {
                oPlace = {std::max(oPlace.x, 0L), std::max(oPlace.y, 0L)};
                if (!IsIconic(oForm.hWnd) && !IsZoomed(oForm.hWnd))
                    vMove_Window(oForm.hWnd, oPlace.x, oPlace.y);
            }
            iLine = 10;
            vWrite_Ini(g_sSettings_File, sPosition_Section, sLeft_Key,
                       sSingle_To_String(static_cast<float>(oPlace.x) * oScale.fX, sDecimal));
            iLine = 11;
            vWrite_Ini(g_sSettings_File, sPosition_Section, sTop_Key,
                       sSingle_To_String(static_cast<float>(oPlace.y) * oScale.fY, sDecimal));
        }
    });
}
