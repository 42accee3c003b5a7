// The settings file: option values of a form's controls and the main window's
// position, kept in an INI file through the profile-string functions.
#pragma once

#include "Form_Controls.h"

#include <cstdint>
#include <string>

// The value of sKey in section sSection of sFile, at most 254 characters;
// empty when the file, the section or the key is missing.
std::wstring sRead_Ini(const std::wstring& sFile, const std::wstring& sSection, const std::wstring& sKey);

// Stores sValue as sKey in section sSection of sFile, creating what is missing.
// A file that cannot be written is left as it is, without a report.
void vWrite_Ini(const std::wstring& sFile, const std::wstring& sSection, const std::wstring& sKey,
                const std::wstring& sValue);

// Mode 0 loads the controls of oForm (and, for the main form, the window
// position) from g_sSettings_File; mode 1 saves them; other modes do nothing.
// A value that cannot be converted stops the load with a report.
void vSettings(int16_t iMode, const Form_Controls& oForm);
