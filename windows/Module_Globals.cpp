#include "Module_Globals.h"

std::wstring g_sSettings_File;
std::wstring g_sLicence_Text;
std::wstring g_sHelp_Text;
bool g_bCancel = false;
std::wstring g_sDrive_Letter;
