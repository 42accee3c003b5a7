// Records that the common-dialog class hands to the system dialogs and the
// page split of a printed text; plain functions without windows so tests call them.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

// Characters of the text printed on one page.
constexpr std::size_t g_uiChars_Per_Page = 5800;
// Smallest text area of the device-names block, in characters.
constexpr std::size_t g_uiDevNames_Text_Chars = 100;

// The filter as the open-file dialog wants it: every "|" made a zero, ended by two zeros.
std::wstring sDialog_Filter(const std::wstring& sFilter);

// The text cut into the pieces printed on one page each, in order; at least one
// (an empty text gives one empty page) and never an empty trailing page.
std::vector<std::wstring> lstSplit_Pages(const std::wstring& sText);

// The device-names block of the print dialog for the given printer: the DEVNAMES
// header followed by driver, device and port, each zero-terminated, padded with
// spaces to g_uiDevNames_Text_Chars characters (longer names are kept whole).
std::vector<BYTE> vecDevNames_Block(const std::wstring& sDriver_Name,
                                    const std::wstring& sDevice_Name,
                                    const std::wstring& sPort);

// The three strings of a device-names block; empty strings when the block is malformed.
struct DevNames_Strings {
    std::wstring sDriver_Name;
    std::wstring sDevice_Name;
    std::wstring sPort;
};
DevNames_Strings oRead_DevNames(const BYTE* pBlock, std::size_t uiSize);

// The device-mode record that preselects the printer, its orientation and its
// duplex setting in the print dialog.
DEVMODEW oDevMode_For_Dialog(const std::wstring& sDevice_Name, short iOrientation, short iDuplex);

// The number of copies chosen in the print dialog: the dialog gives it either in
// the record's nCopies or in its device mode's dmCopies (the other then reads 1).
short iChosen_Copies(WORD nCopies, const DEVMODEW& oDevMode);

// The device name held by a device-mode record: the characters before the first zero.
std::wstring sDevMode_Device_Name(const DEVMODEW& oDevMode);

// The string in upper case by the system's rules (Cyrillic included).
std::wstring sUpper(const std::wstring& s);
