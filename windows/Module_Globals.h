// Program-wide state of Morvane.exe, prepared by Form_Main's Form_Load.
#pragma once

#include <string>

extern std::wstring g_sSettings_File;  // program folder + "\Settings.ini"
extern std::wstring g_sLicence_Text;   // prepared licence agreement; empty until loaded
extern std::wstring g_sHelp_Text;      // prepared help text; empty until loaded

// Form-level state of Form_Main shared with the run.
extern bool g_bCancel;                 // cancel request of the current run
extern std::wstring g_sDrive_Letter;   // drive of the last run, such as "c:"
