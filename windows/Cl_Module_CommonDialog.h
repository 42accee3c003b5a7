// The program's wrapper of the open-file and print dialogs, and printing of a
// text page by page on the current printer.  Every operation reports its own
// failures (shown only while Form_Main's hidden Check_MsgBox is ticked) and
// returns normally: the flags then read False, the strings empty.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

class Cl_Module_CommonDialog {
public:
    // The open-file dialog, with Form disabled while it is open; True when the
    // user cancelled or the dialog failed, False when FileName holds the choice.
    bool ShowOpen(HWND Form);

    std::wstring InitDir();
    void InitDir(const std::wstring& New_Path);
    std::wstring DialogTitle();
    void DialogTitle(const std::wstring& Dialog);
    // Name part of the file that FileName names, as the file system spells it;
    // empty when there is no such file.
    std::wstring FileTitle();
    std::wstring FileName();
    void FileName(const std::wstring& New_File_Name);
    std::wstring Tag();
    void Tag(const std::wstring& Tag_in);
    // Descriptions and patterns alternating, separated by "|".
    std::wstring Filter();
    void Filter(const std::wstring& Filter_Text_in);

    // The print dialog owned by Form (disabled while it is open), preselecting the
    // current printer; the choice becomes the current printer and its settings.
    // True when the user cancelled or the chosen printer could not be taken.
    bool ShowPrinter(HWND Form = nullptr);

    // Asks for the printer through CommonDialog's print dialog, then prints sText
    // on it, 5800 characters a page, each page drawn on the canvas and the canvas
    // image put on paper.  Nothing is printed when the dialog is cancelled.  Form
    // owns the dialog.
    void vPrint_To_Paper(Cl_Module_CommonDialog& CommonDialog, const std::wstring& sText, HWND Form = nullptr);

private:
    std::wstring m_sInit_Dir;
    std::wstring m_sDialog_Title;
    std::wstring m_sFile_Name;
    std::wstring m_sTag;
    std::wstring m_sFilter;
};

// The program's one dialog object; empty until first use and after release.
extern std::unique_ptr<Cl_Module_CommonDialog> g_oCommon_Dialog;

// g_oCommon_Dialog, made on first use.
Cl_Module_CommonDialog& oCommon_Dialog();

// Releases g_oCommon_Dialog (the main form does it when it unloads).
void vRelease_Common_Dialog();
