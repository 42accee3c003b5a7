// The program's current printer and the print job on it: a thin layer over
// winspool and the printer's device context.  Failures raise the program's
// errors (Module_Error_Trap.h); nothing here shows a window.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Raised when the system has no printer to use (the runtime's number for it).
constexpr int g_iErr_Printer_Info = 484;

// One installed printer as the system lists it.
struct Printer_Entry {
    std::wstring sDevice_Name;
    std::wstring sDriver_Name;
    std::wstring sPort;
};

// The installed printers in the system's list order.
std::vector<Printer_Entry> lstInstalled_Printers();

class Cl_Printer {
public:
    Cl_Printer() = default;
    ~Cl_Printer();
    Cl_Printer(const Cl_Printer&) = delete;
    Cl_Printer& operator=(const Cl_Printer&) = delete;

    // Which printer, with its default settings; raises 484 when none is set up.
    void vSelect(const Printer_Entry& oEntry);
    const std::wstring& sDevice_Name() const;
    const std::wstring& sDriver_Name() const;
    const std::wstring& sPort() const;

    short iOrientation() const;
    short iDuplex() const;
    // Settings for the next document; values the driver does not offer raise 380.
    void vSet_Copies(short i);
    void vSet_Duplex(short i);
    void vSet_Orientation(short i);
    void vSet_Paper_Size(short i);
    void vSet_Print_Quality(short i);
    void vSet_Color_Mode(short i);
    void vSet_Paper_Bin(short i);
    // The device-mode settings the next document starts with.
    const DEVMODEW& oDevMode() const;

    // Positions are in device pixels; the only scale unit this layer knows.
    void vSet_Scale_Pixels() { m_bScale_Pixels = true; }
    bool bScale_Pixels() const { return m_bScale_Pixels; }

    // Paints a top-down 32-bit image of iWidth x iHeight pixels made at iImage_Dpi
    // at x, y on the current page at its physical size (the part beyond the page
    // is left out); the document and its first page start on first use.
    void vPaint_Picture(const void* pBits, int iWidth, int iHeight, int iImage_Dpi, int x, int y);
    // Ends the current page and starts the next one.
    void vNew_Page();
    // Ends the last page and the document, which hands it to the system's queue.
    void vEnd_Doc();
    // Throws the open document away, if any, and releases its device context.
    void vAbort_Doc();
    bool bDoc_Open() const { return m_hDC != nullptr; }

private:
    void vCheck_Selected() const;
    void vSet_Field(short DEVMODEW::*pField, DWORD dwField, DWORD dwCapability, short iValue);
    void vStart_Doc();

    Printer_Entry m_oEntry;
    std::vector<BYTE> m_vecDevMode;  // the driver's full record, private part included
    bool m_bSelected = false;
    bool m_bScale_Pixels = false;
    HDC m_hDC = nullptr;
    bool m_bPage_Open = false;
};

// The current printer, the system's default one until another is chosen; made
// on first use, raises 484 while the system has none.
Cl_Printer& oPrinter();

// Throws away the current printer's open document, if there is a printer and a document.
void vAbort_Printer_Doc();
