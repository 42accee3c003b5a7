// Form_Main: the start-up window of Morvane.exe.  The program runs while it is open.
#pragma once

#include "Form_Main_Ids.h"

#include <windows.h>

#include <string>
#include <vector>

// Creates the window with all its controls (hidden), runs Form_Load, then shows it.
// Returns the window, or null when it could not be created.
HWND hForm_Main_Create(HINSTANCE hInstance, int iShow_Command);

// The main window, null before it is created and after it is destroyed.
HWND hForm_Main();

// A control of the main window by its IDC_ id.
HWND hForm_Main_Control(int iId);

// The form's controls collection, built once after the controls exist.
struct Form_Controls;
void vForm_Main_Build_Controls();
const Form_Controls& oForm_Main_Controls();  // Form_Main_Controls.cpp

// Event procedures of the form (each reports its own failures).
void Form_Load();
void Form_Unload();
void Check_Cancel_Click();
void Command_Cancel_Click();
void Command_Run_Click();      // Form_Main_Run.cpp
void Command_Help_Click();     // Form_Main_Documents.cpp
void Command_Licence_Click();  // Form_Main_Documents.cpp

// "Morvane v.1.2" from the title and the version numbers.
std::wstring sForm_Main_Caption(const std::wstring& sTitle, int iMajor, int iMinor);

// Folder of a program given its full path, without a trailing backslash except
// at a drive's root ("C:\").
std::wstring sProgram_Folder_From_Module_Path(const std::wstring& sModule_Path);

// Folder of the running program, as above.
std::wstring sProgram_Folder();

// Entry of the drive list for one drive: "c:" or "c: [label]".
std::wstring sDrive_Entry(wchar_t cLetter, const std::wstring& sLabel);

// Index of the entry of drive cLetter in the list (case-insensitive), 0 when absent.
int iDrive_Index(const std::vector<std::wstring>& lstEntries, wchar_t cLetter);
