// What the two document windows (Form_Help, Form_Licence) share: a fixed-size
// window owned by the main form with a read-only text box and a print button.
#pragma once

#include <windows.h>

#include <string>

// Control ids inside a document window.
enum { IDC_Document_Text = 101, IDC_Document_Print = 102 };

// Design of one document window; places in twips within the client area.
struct Document_Design {
    const wchar_t* sClass_Name;
    int iClient_Width, iClient_Height;
    const wchar_t* sText_Name;       // object name of the text box, for the test driver
    RECT oText;                      // left, top, width, height of the text box
    const wchar_t* sPrint_Caption;
    RECT oPrint;                     // left, top, width, height of the print button
    const std::wstring* psText;      // the prepared text it shows and prints
    const wchar_t* sTitle;           // its caption after the product name and " - "
    const wchar_t* sPrint_Procedure; // the print button's click handler, as reports name it
};

// Creates the window hidden and centred on hOwner, runs its Form_Load (the text
// and the caption), then shows it. Form_Unload, when it closes, and the print
// button's handler are the window's own too; each reports its own failures.
// When this program already has it open it is only brought to the front.  When it
// cannot be made, what was made is destroyed, hOwner is enabled again and the
// failure is raised.
HWND hDocument_Show(const Document_Design& oDesign, HWND hOwner);

// This program's open window of this design, or null.
HWND hDocument_Window(const Document_Design& oDesign);

// The product name from the program's version information ("Morvane").
std::wstring sProduct_Name();
