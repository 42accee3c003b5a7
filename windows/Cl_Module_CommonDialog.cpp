#include "Cl_Module_CommonDialog.h"

#include "Cl_Canvas.h"
#include "Cl_Printer.h"
#include "Common_Dialog_Records.h"
#include "Module_Error_Trap.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>

std::unique_ptr<Cl_Module_CommonDialog> g_oCommon_Dialog;

namespace {

// Size of the open-file dialog's file buffer without its terminating zero.
const int iFile_Buffer_Chars = 255;
// The page image and the rectangle the text is drawn in, in canvas pixels.
const int iCanvas_Width = 750;
const int iCanvas_Height = 3232;

// The dialog class reports only while the hidden debug switch is ticked.
template <typename F>
void vTrapped(const wchar_t* sName, F fBody)
{
    bRun_Trapped(sName, Error_Filter::c, fBody);
}

// A moveable, zero-filled global block holding a copy of uiSize bytes.
HGLOBAL hGlobal_Copy(const void* pData, size_t uiSize)
{
    HGLOBAL hBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, uiSize);
    if (hBlock == nullptr)
        vRaise(iErr_Out_Of_Memory);
    if (void* pBlock = GlobalLock(hBlock)) {
        std::memcpy(pBlock, pData, uiSize);
        GlobalUnlock(hBlock);
    }
    return hBlock;
}

// The two blocks of a print dialog, freed on every way out, cancel included.
struct Print_Dialog_Blocks {
    PRINTDLGW oDialog{};
    ~Print_Dialog_Blocks()
    {
        if (oDialog.hDevMode)
            GlobalFree(oDialog.hDevMode);
        if (oDialog.hDevNames)
            GlobalFree(oDialog.hDevNames);
    }
};

std::wstring sTrim_Spaces(const std::wstring& s)
{
    const size_t uiFirst = s.find_first_not_of(L' ');
    if (uiFirst == std::wstring::npos)
        return std::wstring();
    return s.substr(uiFirst, s.find_last_not_of(L' ') - uiFirst + 1);
}

}  // namespace

bool Cl_Module_CommonDialog::ShowOpen(HWND Form)
{
    bool bCancelled = false;
    vTrapped(L"ShowOpen", [&](int& iLine) {
        iLine = 2;
        // The dialog has no owner, so the form is kept from input by hand; it
        // comes back on every way out, a failure included.
        EnableWindow(Form, FALSE);
        struct Form_Back {
            HWND hForm;
            ~Form_Back()
            {
                EnableWindow(hForm, TRUE);
                SetFocus(hForm);
            }
        } oForm_Back{Form};

        iLine = 3;
        const std::wstring sFilter = sDialog_Filter(m_sFilter);
        std::wstring sBuffer(iFile_Buffer_Chars, L' ');
        OPENFILENAMEW oRequest{};
        oRequest.lStructSize = sizeof oRequest;
        oRequest.hwndOwner = nullptr;
        oRequest.hInstance = GetModuleHandleW(nullptr);
        oRequest.lpstrFilter = sFilter.c_str();
        oRequest.lpstrFile = sBuffer.data();
        oRequest.nMaxFile = iFile_Buffer_Chars + 1;
        oRequest.lpstrInitialDir = m_sInit_Dir.empty() ? nullptr : m_sInit_Dir.c_str();
        oRequest.lpstrTitle = m_sDialog_Title.empty() ? nullptr : m_sDialog_Title.c_str();

        iLine = 4;
        if (GetOpenFileNameW(&oRequest)) {
            iLine = 5;
            std::wstring sChosen = sBuffer;
            sChosen.erase(std::remove(sChosen.begin(), sChosen.end(), L'\0'), sChosen.end());
            m_sFile_Name = sTrim_Spaces(sChosen);
        } else {
            iLine = 6;
            bCancelled = true;
            m_sFile_Name = std::wstring(iFile_Buffer_Chars, L' ');
        }
    });
    return bCancelled;
}

std::wstring Cl_Module_CommonDialog::InitDir()
{
    std::wstring s;
    vTrapped(L"Get InitDir", [&](int& iLine) { iLine = 2; s = m_sInit_Dir; });
    return s;
}

void Cl_Module_CommonDialog::InitDir(const std::wstring& New_Path)
{
    vTrapped(L"Let InitDir", [&](int& iLine) { iLine = 2; m_sInit_Dir = New_Path; });
}

std::wstring Cl_Module_CommonDialog::DialogTitle()
{
    std::wstring s;
    vTrapped(L"Get DialogTitle", [&](int& iLine) { iLine = 2; s = m_sDialog_Title; });
    return s;
}

void Cl_Module_CommonDialog::DialogTitle(const std::wstring& Dialog)
{
    vTrapped(L"Let DialogTitle", [&](int& iLine) { iLine = 2; m_sDialog_Title = Dialog; });
}

std::wstring Cl_Module_CommonDialog::FileTitle()
{
    std::wstring s;
    vTrapped(L"Get FileTitle", [&](int& iLine) {
        iLine = 2;
        // A pattern would match some other file; only the named one counts.
        if (m_sFile_Name.empty() || m_sFile_Name.find_first_of(L"*?") != std::wstring::npos)
            return;
        WIN32_FIND_DATAW oFound{};
        iLine = 3;
        HANDLE hFind = FindFirstFileW(m_sFile_Name.c_str(), &oFound);
        if (hFind == INVALID_HANDLE_VALUE)
            return;
        FindClose(hFind);
        if (!(oFound.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            s = oFound.cFileName;
    });
    return s;
}

std::wstring Cl_Module_CommonDialog::FileName()
{
    std::wstring s;
    vTrapped(L"Get FileName", [&](int& iLine) { iLine = 2; s = m_sFile_Name; });
    return s;
}

void Cl_Module_CommonDialog::FileName(const std::wstring& New_File_Name)
{
    vTrapped(L"Let FileName", [&](int& iLine) { iLine = 2; m_sFile_Name = New_File_Name; });
}

std::wstring Cl_Module_CommonDialog::Tag()
{
    std::wstring s;
    vTrapped(L"Get Tag", [&](int& iLine) { iLine = 2; s = m_sTag; });
    return s;
}

void Cl_Module_CommonDialog::Tag(const std::wstring& Tag_in)
{
    vTrapped(L"Let Tag", [&](int& iLine) { iLine = 2; m_sTag = Tag_in; });
}

std::wstring Cl_Module_CommonDialog::Filter()
{
    std::wstring s;
    vTrapped(L"Get Filter", [&](int& iLine) { iLine = 2; s = m_sFilter; });
    return s;
}

void Cl_Module_CommonDialog::Filter(const std::wstring& Filter_Text_in)
{
    vTrapped(L"Let Filter", [&](int& iLine) { iLine = 2; m_sFilter = Filter_Text_in; });
}

bool Cl_Module_CommonDialog::ShowPrinter(HWND Form)
{
    bool bCancelled = false;
    vTrapped(L"ShowPrinter", [&](int& iLine) {
        iLine = 2;
        Cl_Printer& oCurrent = oPrinter();
        const DEVMODEW oDevMode_In =
            oDevMode_For_Dialog(oCurrent.sDevice_Name(), oCurrent.iOrientation(), oCurrent.iDuplex());
        const std::vector<BYTE> vecDevNames =
            vecDevNames_Block(oCurrent.sDriver_Name(), oCurrent.sDevice_Name(), oCurrent.sPort());

        iLine = 3;
        Print_Dialog_Blocks oBlocks;
        oBlocks.oDialog.lStructSize = sizeof oBlocks.oDialog;
        // Modal to its form: no second print and no closing while the dialog is open.
        oBlocks.oDialog.hwndOwner = Form;
        // The copies come back in the device mode, which is what the printer is given.
        oBlocks.oDialog.Flags = PD_USEDEVMODECOPIESANDCOLLATE;
        oBlocks.oDialog.hDevMode = hGlobal_Copy(&oDevMode_In, sizeof oDevMode_In);
        oBlocks.oDialog.hDevNames = hGlobal_Copy(vecDevNames.data(), vecDevNames.size());

        iLine = 4;
        if (!PrintDlgW(&oBlocks.oDialog)) {
            bCancelled = true;
            return;
        }

        iLine = 5;
        DEVMODEW oChosen{};
        if (const void* pBlock = oBlocks.oDialog.hDevMode ? GlobalLock(oBlocks.oDialog.hDevMode) : nullptr) {
            std::memcpy(&oChosen, pBlock, std::min(sizeof oChosen, GlobalSize(oBlocks.oDialog.hDevMode)));
            GlobalUnlock(oBlocks.oDialog.hDevMode);
        }
        // The whole name is in the device names; the device mode holds only 31 characters of it.
        std::wstring sChosen_Name;
        if (const BYTE* pBlock =
                oBlocks.oDialog.hDevNames ? static_cast<const BYTE*>(GlobalLock(oBlocks.oDialog.hDevNames)) : nullptr) {
            sChosen_Name = oRead_DevNames(pBlock, GlobalSize(oBlocks.oDialog.hDevNames)).sDevice_Name;
            GlobalUnlock(oBlocks.oDialog.hDevNames);
        }

        iLine = 6;
        const std::wstring sChosen = sUpper(sChosen_Name);
        if (sChosen != oCurrent.sDevice_Name()) {
            iLine = 7;
            // Printing on the previous printer would not be what was chosen.
            bCancelled = true;
            const Printer_Entry* poFound = nullptr;
            const std::vector<Printer_Entry> lstPrinters = lstInstalled_Printers();
            for (const Printer_Entry& oEntry : lstPrinters)
                if (sUpper(oEntry.sDevice_Name) == sChosen)
                    poFound = &oEntry;
            if (poFound == nullptr)
                vRaise(g_iErr_Printer_Info, L"The chosen printer '" + sChosen_Name + L"' is not installed");
            oPrinter().vSelect(*poFound);
            bCancelled = false;
        }

        iLine = 8;
        oPrinter().vSet_Copies(iChosen_Copies(oBlocks.oDialog.nCopies, oChosen));
        oPrinter().vSet_Duplex(oChosen.dmDuplex);
        oPrinter().vSet_Orientation(oChosen.dmOrientation);
        oPrinter().vSet_Paper_Size(oChosen.dmPaperSize);
        oPrinter().vSet_Print_Quality(oChosen.dmPrintQuality);
        oPrinter().vSet_Color_Mode(oChosen.dmColor);
        oPrinter().vSet_Paper_Bin(oChosen.dmDefaultSource);
    });
    return bCancelled;
}

void Cl_Module_CommonDialog::vPrint_To_Paper(Cl_Module_CommonDialog& CommonDialog, const std::wstring& sText,
                                             HWND Form)
{
    const std::optional<Error_Record> oError = oCatch_Error([&](int& iLine) {
        iLine = 2;
        Cl_Canvas& oCanvas = oPrint_Canvas();
        oCanvas.vClear();

        iLine = 3;
        if (CommonDialog.ShowPrinter(Form))
            return;

        iLine = 4;
        Cl_Printer& oCurrent = oPrinter();
        oCurrent.vSet_Scale_Pixels();

        iLine = 5;
        oCanvas.vResize(iCanvas_Width, iCanvas_Height);
        RECT oText_Rect{0, 0, iCanvas_Width, iCanvas_Height};
        const std::vector<std::wstring> lstPages = lstSplit_Pages(sText);

        for (size_t i = 0; i < lstPages.size(); ++i) {
            iLine = 7;
            // Zero-terminated, as the drawing call reads it: a zero in the text ends the page.
            const int iDrawn = DrawTextW(oCanvas.hDC(), lstPages[i].c_str(), -1, &oText_Rect, DT_WORDBREAK);
            if (iDrawn == 0 && !lstPages[i].empty() && lstPages[i][0] != L'\0')
                vRaise_Last_Win32();
            iLine = 8;
            oCurrent.vPaint_Picture(oCanvas.pBits(), oCanvas.iWidth(), oCanvas.iHeight(), oCanvas.iDpi(), 0, 0);
            iLine = 9;
            oCanvas.vClear();
            iLine = 10;
            if (i + 1 < lstPages.size())
                oCurrent.vNew_Page();
        }

        iLine = 11;
        oCurrent.vEnd_Doc();
    });
    if (oError) {
        // A half-printed document is thrown away rather than left open on the printer.
        vAbort_Printer_Doc();
        vReport_Error(L"vPrint_To_Paper", Error_Filter::c, *oError);
    }
}

Cl_Module_CommonDialog& oCommon_Dialog()
{
    if (!g_oCommon_Dialog)
        g_oCommon_Dialog = std::make_unique<Cl_Module_CommonDialog>();
    return *g_oCommon_Dialog;
}

void vRelease_Common_Dialog()
{
    g_oCommon_Dialog.reset();
}
