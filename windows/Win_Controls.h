// Thin helpers over Win32 controls, named after the properties the forms use.
#pragma once

#include <windows.h>

#include <string>

// Check box Value: 0 unticked, 1 ticked, 2 greyed.
int iCheck_Value(HWND hCheck);
void vSet_Check_Value(HWND hCheck, int iValue);

bool bControl_Visible(HWND hControl);
void vSet_Control_Visible(HWND hControl, bool bVisible);
bool bControl_Enabled(HWND hControl);
void vSet_Control_Enabled(HWND hControl, bool bEnabled);

// Progress bar Value (its range is set when the form is created).
int iProgress_Value(HWND hProgress);
void vSet_Progress_Value(HWND hProgress, int iValue);

// Window text of a control, a combo box's selected entry included.
std::wstring sControl_Text(HWND hControl);
void vSet_Control_Text(HWND hControl, const std::wstring& sText);

// Design places are in twips; this gives pixels at iDpi dots per inch (15 twips a pixel at 96).
int iTwips_To_Pixels(int iTwips, int iDpi);

// Font height for CreateFontW of a point size in tenths (78 = 7.8 pt) at iDpi.
int iFont_Height(int iTenth_Points, int iDpi);

// A font of the forms: sFace at iTenth_Points tenths of a point for iDpi, Cyrillic character set.
HFONT hCreate_Cyrillic_Font(const wchar_t* sFace, int iTenth_Points, int iWeight, int iDpi);

// Registers a top-level window class of the program (its icon, arrow cursor, dialog-coloured
// background) once; later calls for the same class do nothing. False when registering fails.
bool bRegister_Form_Class(HINSTANCE hInstance, const wchar_t* sClass_Name, WNDPROC fProc);
