#include "Module_Error_Trap.h"

#include <windows.h>

#include <climits>
#include <new>

namespace {

std::function<bool()> g_fCheck_MsgBox_Reader;
std::function<void(const std::wstring&)> g_fError_Box_Hook;
std::function<HWND()> g_fError_Box_Owner;

// The main window, or the window it has open on top of it (a document window)
// where its user is. An owned box disables its owner while it is open, whatever
// program is in front: no second run starts while a report waits for its OK.
HWND hError_Box_Owner()
{
    const HWND hMain = g_fError_Box_Owner ? g_fError_Box_Owner() : nullptr;
    if (hMain == nullptr)
        return GetActiveWindow();
    const HWND hPopup = GetLastActivePopup(hMain);
    return hPopup != nullptr && IsWindowVisible(hPopup) && IsWindowEnabled(hPopup) ? hPopup : hMain;
}

}  // namespace

Cl_Error::Cl_Error(int32_t iNumber_in, std::wstring sDescription_in)
    : std::runtime_error("Morvane error"), iNumber(iNumber_in), sDescription(std::move(sDescription_in))
{
}

std::wstring sError_Description(int32_t iNumber)
{
    switch (iNumber) {
    case 5: return L"Invalid procedure call or argument";
    case iErr_Overflow: return L"Overflow";
    case iErr_Out_Of_Memory: return L"Out of memory";
    case 9: return L"Subscript out of range";
    case iErr_Division_By_Zero: return L"Division by zero";
    case iErr_Type_Mismatch: return L"Type mismatch";
    case 52: return L"Bad file name or number";
    case iErr_File_Not_Found: return L"File not found";
    case 57: return L"Device I/O error";
    case iErr_File_Exists: return L"File already exists";
    case iErr_Disk_Full: return L"Disk full";
    case 62: return L"Input past end of file";
    case iErr_Interrupted: return L"User interrupt occurred";
    case iErr_Device_Unavailable: return L"Device unavailable";
    case iErr_Permission_Denied: return L"Permission denied";
    case 71: return L"Disk not ready";
    case iErr_Path_Access: return L"Path/File access error";
    case 76: return L"Path not found";
    case iErr_Object_Unloaded: return L"Object was unloaded";
    default: return std::wstring();
    }
}

void vRaise(int32_t iNumber, const std::wstring& sDescription)
{
    throw Cl_Error(iNumber, sDescription.empty() ? sError_Description(iNumber) : sDescription);
}

int32_t iError_Number_From_Win32(uint32_t uiWin32_Error)
{
    switch (uiWin32_Error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return iErr_File_Not_Found;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return iErr_File_Exists;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return iErr_Disk_Full;
    case ERROR_ACCESS_DENIED:
        return iErr_Permission_Denied;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return iErr_Out_Of_Memory;
    default:
        return static_cast<int32_t>(HRESULT_FROM_WIN32(uiWin32_Error));
    }
}

std::wstring sError_Description_From_Win32(uint32_t uiWin32_Error)
{
    const std::wstring sOwn = sError_Description(iError_Number_From_Win32(uiWin32_Error));
    if (!sOwn.empty())
        return sOwn;
    wchar_t* pBuffer = nullptr;
    const DWORD dwLength = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, uiWin32_Error, 0, reinterpret_cast<wchar_t*>(&pBuffer), 0, nullptr);
    std::wstring sText = dwLength ? std::wstring(pBuffer, dwLength) : std::wstring();
    if (pBuffer)
        LocalFree(pBuffer);
    while (!sText.empty() && (sText.back() == L'\n' || sText.back() == L'\r' || sText.back() == L' '))
        sText.pop_back();
    if (sText.empty())
        sText = L"System error " + std::to_wstring(uiWin32_Error);
    return sText;
}

void vRaise_Win32(uint32_t uiWin32_Error)
{
    throw Cl_Error(iError_Number_From_Win32(uiWin32_Error), sError_Description_From_Win32(uiWin32_Error));
}

void vRaise_Last_Win32()
{
    vRaise_Win32(GetLastError());
}

void vCheck_Win32(bool bOk)
{
    if (!bOk)
        vRaise_Last_Win32();
}

int32_t iMultiply_Checked(int32_t iA, int32_t iB)
{
    const int64_t iProduct = static_cast<int64_t>(iA) * iB;
    if (iProduct > INT32_MAX || iProduct < INT32_MIN)
        vRaise(iErr_Overflow);
    return static_cast<int32_t>(iProduct);
}

int16_t iIncrement_Checked(int16_t iValue)
{
    if (iValue == INT16_MAX)
        vRaise(iErr_Overflow);
    return static_cast<int16_t>(iValue + 1);
}

double dDivide_Checked(double dA, double dB)
{
    if (dB == 0.0)
        vRaise(iErr_Division_By_Zero);
    return dA / dB;
}

std::wstring sError_Report_Text(const std::wstring& sName, const Error_Record& oError)
{
    return L"Ошибка функции " + sName + L" №" + std::to_wstring(oError.iNumber) + L", '"
           + oError.sDescription + L"', строка " + std::to_wstring(oError.iLine);
}

bool bError_Report_Shown(Error_Filter eFilter, int32_t iNumber, bool bCheck_MsgBox)
{
    switch (eFilter) {
    case Error_Filter::a: return true;
    case Error_Filter::b: return iNumber != iErr_Object_Unloaded && iNumber != iErr_None;
    case Error_Filter::c: return iNumber != iErr_Object_Unloaded && bCheck_MsgBox;
    }
    return true;
}

std::optional<Error_Record> oCatch_Error(const std::function<void(int& iLine)>& fBody)
{
    int iLine = 1;
    try {
        fBody(iLine);
        return std::nullopt;
    } catch (const Cl_Error& oError) {
        return Error_Record{oError.iNumber, oError.sDescription, iLine};
    } catch (const std::bad_alloc&) {
        return Error_Record{iErr_Out_Of_Memory, sError_Description(iErr_Out_Of_Memory), iLine};
    } catch (const std::length_error&) {
        return Error_Record{iErr_Out_Of_Memory, sError_Description(iErr_Out_Of_Memory), iLine};
    } catch (const std::exception&) {
        return Error_Record{5, sError_Description(5), iLine};
    }
}

void vReport_Error(const std::wstring& sName, Error_Filter eFilter, const Error_Record& oError)
{
    // Filter (c) must not touch the form when it has nothing to show anyway.
    const bool bCheck_MsgBox = eFilter == Error_Filter::c && g_fCheck_MsgBox_Reader && g_fCheck_MsgBox_Reader();
    if (bError_Report_Shown(eFilter, oError.iNumber, bCheck_MsgBox))
        vShow_Error_Box(sError_Report_Text(sName, oError));
}

bool bRun_Trapped(const std::wstring& sName, Error_Filter eFilter,
                  const std::function<void(int& iLine)>& fBody)
{
    const std::optional<Error_Record> oError = oCatch_Error(fBody);
    if (oError)
        vReport_Error(sName, eFilter, *oError);
    return !oError;
}

void vSet_Check_MsgBox_Reader(std::function<bool()> fReader)
{
    g_fCheck_MsgBox_Reader = std::move(fReader);
}

void vSet_Error_Box_Owner(std::function<HWND()> fOwner)
{
    g_fError_Box_Owner = std::move(fOwner);
}

void vSet_Error_Box_Hook(std::function<void(const std::wstring&)> fHook)
{
    g_fError_Box_Hook = std::move(fHook);
}

void vShow_Error_Box(const std::wstring& sText)
{
    if (g_fError_Box_Hook) {
        g_fError_Box_Hook(sText);
        return;
    }
    MessageBoxW(hError_Box_Owner(), sText.c_str(), L"Morvane", MB_OK);
}
