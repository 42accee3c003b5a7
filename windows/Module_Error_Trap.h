// The program's one way of reporting failures.  Every procedure runs its body
// under its own trap; a failure leaves the body at once, is reported in a
// message box (if the procedure's filter lets it through) and the procedure
// then returns normally, so callers never see it.
//
//   void Form_Main_Something()
//   {
//       bRun_Trapped(L"Something", Error_Filter::b, [&](int& iLine) {
//           iLine = 2;
//           ...                       // may call vRaise / vRaise_Win32
//           iLine = 3;
//           ...
//       });
//   }
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

// Error numbers of the runtime that the program raises or tests.
enum : int32_t {
    iErr_None = 0,
    iErr_Overflow = 6,
    iErr_Out_Of_Memory = 7,
    iErr_Division_By_Zero = 11,
    iErr_Interrupted = 18,
    iErr_Type_Mismatch = 13,
    iErr_File_Not_Found = 53,
    iErr_File_Exists = 58,
    iErr_Disk_Full = 61,
    iErr_Device_Unavailable = 68,
    iErr_Permission_Denied = 70,
    iErr_Path_Access = 75,
    iErr_Object_Unloaded = 364,
};

// Which failures a procedure shows: (a) all; (b) all but 0 and 364;
// (c) all but 364, and only while the hidden Check_MsgBox is ticked.
enum class Error_Filter { a, b, c };

// A failure travelling from the failing statement to its procedure's trap.
class Cl_Error : public std::runtime_error {
public:
    Cl_Error(int32_t iNumber, std::wstring sDescription);
    int32_t iNumber;
    std::wstring sDescription;
};

// What the trap knows about a failure.
struct Error_Record {
    int32_t iNumber = 0;
    std::wstring sDescription;
    int iLine = 0;
};

// The runtime's English description of its own error numbers ("Disk full", ...);
// empty for numbers it does not name.
std::wstring sError_Description(int32_t iNumber);

// Raises error iNumber; without a description the runtime's own text is used.
[[noreturn]] void vRaise(int32_t iNumber, const std::wstring& sDescription = std::wstring());

// The program's error number for a Win32 error code: file or path not found
// gives 53, a name already taken 58, a full disk 61, access denied 70; any
// other code keeps its HRESULT form (0x8007xxxx, negative), as automation
// objects report it.
int32_t iError_Number_From_Win32(uint32_t uiWin32_Error);

// Description for a Win32 error: the runtime's text when the number is one of
// its own, else the system's message text (trailing line end removed).
std::wstring sError_Description_From_Win32(uint32_t uiWin32_Error);

// Raises the error for a Win32 error code (GetLastError() by default).
[[noreturn]] void vRaise_Win32(uint32_t uiWin32_Error);
[[noreturn]] void vRaise_Last_Win32();

// Raises the last Win32 error when bOk is false; for calls that return BOOL.
void vCheck_Win32(bool bOk);

// Checked arithmetic of the runtime: overflow raises 6, division by zero 11.
int32_t iMultiply_Checked(int32_t iA, int32_t iB);
int16_t iIncrement_Checked(int16_t iValue);
double dDivide_Checked(double dA, double dB);

// "Ошибка функции <sName> №<number>, '<description>', строка <line>".
std::wstring sError_Report_Text(const std::wstring& sName, const Error_Record& oError);

// Whether filter eFilter shows error iNumber, given the state of Check_MsgBox.
bool bError_Report_Shown(Error_Filter eFilter, int32_t iNumber, bool bCheck_MsgBox);

// Runs fBody; returns the failure that left it, with the line label in effect.
// Nothing is shown: for procedures that look at the error before reporting.
std::optional<Error_Record> oCatch_Error(const std::function<void(int& iLine)>& fBody);

// Shows the report of oError under sName if eFilter lets it through.
void vReport_Error(const std::wstring& sName, Error_Filter eFilter, const Error_Record& oError);

// The usual trap: oCatch_Error, then vReport_Error.  True when the body ended
// without a failure.
bool bRun_Trapped(const std::wstring& sName, Error_Filter eFilter,
                  const std::function<void(int& iLine)>& fBody);

// Where filter (c) reads Check_MsgBox; the main form sets it when it is created.
// Without a reader the box counts as unticked.
void vSet_Check_MsgBox_Reader(std::function<bool()> fReader);

// Which window the report boxes belong to; the main form sets it when it is
// created. Without one, a box belongs to the active window of the program.
void vSet_Error_Box_Owner(std::function<HWND()> fOwner);

// Replaces the message box for tests; an empty function restores the real one.
void vSet_Error_Box_Hook(std::function<void(const std::wstring& sText)> fHook);

// Shows sText in the report box: OK only, no icon, titled "Morvane".
void vShow_Error_Box(const std::wstring& sText);
