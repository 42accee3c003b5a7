#include "Cl_Printer.h"

#include "Module_Error_Trap.h"

#include <winspool.h>

#include <algorithm>
#include <memory>

namespace {

const int iErr_Invalid_Property = 380;

std::unique_ptr<Cl_Printer> g_poPrinter;

[[noreturn]] void vRaise_Printer_Info()
{
    vRaise(g_iErr_Printer_Info,
           L"Problem getting printer information from the system. Make sure the printer is set up correctly.");
}

// Anything a printer call reports as failure: the job cannot go on.
void vCheck_Gdi(bool bOk, const wchar_t* sWhat)
{
    if (!bOk) {
        const DWORD dwError = GetLastError();
        vRaise(482, std::wstring(L"Printer error (") + sWhat + L", " + std::to_wstring(dwError) + L")");
    }
}

std::wstring sDefault_Printer_Name()
{
    DWORD dwChars = 0;
    GetDefaultPrinterW(nullptr, &dwChars);
    if (dwChars == 0)
        return std::wstring();
    std::wstring sName(dwChars, L'\0');
    if (!GetDefaultPrinterW(sName.data(), &dwChars))
        return std::wstring();
    sName.resize(wcslen(sName.c_str()));
    return sName;
}

}  // namespace

std::vector<Printer_Entry> lstInstalled_Printers()
{
    const DWORD dwFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD dwNeeded = 0, dwCount = 0;
    EnumPrintersW(dwFlags, nullptr, 2, nullptr, 0, &dwNeeded, &dwCount);
    std::vector<Printer_Entry> lstPrinters;
    if (dwNeeded == 0)
        return lstPrinters;
    std::vector<BYTE> vecBuffer(dwNeeded);
    if (!EnumPrintersW(dwFlags, nullptr, 2, vecBuffer.data(), dwNeeded, &dwNeeded, &dwCount))
        return lstPrinters;
    const auto* pInfo = reinterpret_cast<const PRINTER_INFO_2W*>(vecBuffer.data());
    for (DWORD i = 0; i < dwCount; ++i)
        lstPrinters.push_back({pInfo[i].pPrinterName ? pInfo[i].pPrinterName : L"",
                               pInfo[i].pDriverName ? pInfo[i].pDriverName : L"",
                               pInfo[i].pPortName ? pInfo[i].pPortName : L""});
    return lstPrinters;
}

Cl_Printer::~Cl_Printer()
{
    vAbort_Doc();
}

void Cl_Printer::vSelect(const Printer_Entry& oEntry)
{
    HANDLE hPrinter = nullptr;
    if (!OpenPrinterW(const_cast<wchar_t*>(oEntry.sDevice_Name.c_str()), &hPrinter, nullptr))
        vRaise_Printer_Info();
    wchar_t* sName = const_cast<wchar_t*>(oEntry.sDevice_Name.c_str());
    const LONG iSize = DocumentPropertiesW(nullptr, hPrinter, sName, nullptr, nullptr, 0);
    std::vector<BYTE> vecDevMode(iSize > 0 ? static_cast<size_t>(iSize) : 0);
    const bool bOk = iSize >= static_cast<LONG>(offsetof(DEVMODEW, dmFields) + sizeof(DWORD))
                     && DocumentPropertiesW(nullptr, hPrinter, sName, reinterpret_cast<DEVMODEW*>(vecDevMode.data()),
                                            nullptr, DM_OUT_BUFFER) == IDOK;
    ClosePrinter(hPrinter);
    if (!bOk)
        vRaise_Printer_Info();
    // Room for the whole public record even when the driver's is an older, shorter one.
    if (vecDevMode.size() < sizeof(DEVMODEW))
        vecDevMode.resize(sizeof(DEVMODEW), 0);
    vAbort_Doc();
    m_oEntry = oEntry;
    m_vecDevMode = std::move(vecDevMode);
    m_bSelected = true;
}

void Cl_Printer::vCheck_Selected() const
{
    if (!m_bSelected)
        vRaise_Printer_Info();
}

const std::wstring& Cl_Printer::sDevice_Name() const { vCheck_Selected(); return m_oEntry.sDevice_Name; }
const std::wstring& Cl_Printer::sDriver_Name() const { vCheck_Selected(); return m_oEntry.sDriver_Name; }
const std::wstring& Cl_Printer::sPort() const { vCheck_Selected(); return m_oEntry.sPort; }

const DEVMODEW& Cl_Printer::oDevMode() const
{
    vCheck_Selected();
    return *reinterpret_cast<const DEVMODEW*>(m_vecDevMode.data());
}

short Cl_Printer::iOrientation() const
{
    const DEVMODEW& o = oDevMode();
    return (o.dmFields & DM_ORIENTATION) ? o.dmOrientation : static_cast<short>(DMORIENT_PORTRAIT);
}

short Cl_Printer::iDuplex() const
{
    const DEVMODEW& o = oDevMode();
    return (o.dmFields & DM_DUPLEX) ? o.dmDuplex : static_cast<short>(DMDUP_SIMPLEX);
}

void Cl_Printer::vSet_Field(short DEVMODEW::*pField, DWORD dwField, DWORD dwCapability, short iValue)
{
    vCheck_Selected();
    // A zero from the dialog means "not given" for these fields; the driver's value stays.
    if (iValue == 0)
        return;
    if (dwCapability != 0) {
        const DWORD dwSupported = DeviceCapabilitiesW(m_oEntry.sDevice_Name.c_str(), m_oEntry.sPort.c_str(),
                                                      static_cast<WORD>(dwCapability), nullptr, nullptr);
        if (dwCapability == DC_DUPLEX && iValue != DMDUP_SIMPLEX && dwSupported == 0)
            vRaise(iErr_Invalid_Property, L"Invalid property value");
    }
    auto* pDevMode = reinterpret_cast<DEVMODEW*>(m_vecDevMode.data());
    pDevMode->*pField = iValue;
    pDevMode->dmFields |= dwField;
}

void Cl_Printer::vSet_Copies(short i) { vSet_Field(&DEVMODEW::dmCopies, DM_COPIES, 0, i); }
void Cl_Printer::vSet_Duplex(short i) { vSet_Field(&DEVMODEW::dmDuplex, DM_DUPLEX, DC_DUPLEX, i); }
void Cl_Printer::vSet_Orientation(short i) { vSet_Field(&DEVMODEW::dmOrientation, DM_ORIENTATION, 0, i); }
void Cl_Printer::vSet_Paper_Size(short i) { vSet_Field(&DEVMODEW::dmPaperSize, DM_PAPERSIZE, 0, i); }
void Cl_Printer::vSet_Print_Quality(short i) { vSet_Field(&DEVMODEW::dmPrintQuality, DM_PRINTQUALITY, 0, i); }
void Cl_Printer::vSet_Color_Mode(short i) { vSet_Field(&DEVMODEW::dmColor, DM_COLOR, 0, i); }
void Cl_Printer::vSet_Paper_Bin(short i) { vSet_Field(&DEVMODEW::dmDefaultSource, DM_DEFAULTSOURCE, 0, i); }

void Cl_Printer::vStart_Doc()
{
    vCheck_Selected();
    if (m_hDC == nullptr) {
        m_hDC = CreateDCW(L"WINSPOOL", m_oEntry.sDevice_Name.c_str(), nullptr,
                          reinterpret_cast<const DEVMODEW*>(m_vecDevMode.data()));
        vCheck_Gdi(m_hDC != nullptr, L"CreateDC");
        DOCINFOW oDoc{};
        oDoc.cbSize = sizeof oDoc;
        oDoc.lpszDocName = L"Morvane";
        if (StartDocW(m_hDC, &oDoc) <= 0) {
            DeleteDC(m_hDC);
            m_hDC = nullptr;
            vCheck_Gdi(false, L"StartDoc");
        }
    }
    if (!m_bPage_Open) {
        vCheck_Gdi(StartPage(m_hDC) > 0, L"StartPage");
        m_bPage_Open = true;
    }
}

void Cl_Printer::vPaint_Picture(const void* pBits, int iWidth, int iHeight, int iImage_Dpi, int x, int y)
{
    vStart_Doc();
    const int iDpi_X = GetDeviceCaps(m_hDC, LOGPIXELSX);
    const int iDpi_Y = GetDeviceCaps(m_hDC, LOGPIXELSY);
    const int iPage_Height = GetDeviceCaps(m_hDC, VERTRES);
    vCheck_Gdi(iDpi_X > 0 && iDpi_Y > 0 && iImage_Dpi > 0 && iWidth > 0 && iHeight > 0, L"GetDeviceCaps");
    // Only the rows that land on the page are sent; a top-down image lets them
    // be described as an image of their own.
    const int iRows_On_Page = MulDiv(std::max(iPage_Height - y, 0), iImage_Dpi, iDpi_Y) + 1;
    const int iRows = std::min(iHeight, iRows_On_Page);
    BITMAPINFO oInfo{};
    oInfo.bmiHeader.biSize = sizeof oInfo.bmiHeader;
    oInfo.bmiHeader.biWidth = iWidth;
    oInfo.bmiHeader.biHeight = -iRows;
    oInfo.bmiHeader.biPlanes = 1;
    oInfo.bmiHeader.biBitCount = 32;
    oInfo.bmiHeader.biCompression = BI_RGB;
    const int iLines = StretchDIBits(m_hDC, x, y, MulDiv(iWidth, iDpi_X, iImage_Dpi), MulDiv(iRows, iDpi_Y, iImage_Dpi),
                                     0, 0, iWidth, iRows, pBits, &oInfo, DIB_RGB_COLORS, SRCCOPY);
    vCheck_Gdi(iLines > 0, L"StretchDIBits");
}

void Cl_Printer::vNew_Page()
{
    vStart_Doc();
    vCheck_Gdi(EndPage(m_hDC) > 0, L"EndPage");
    m_bPage_Open = false;
    vStart_Doc();
}

void Cl_Printer::vEnd_Doc()
{
    vCheck_Selected();
    if (m_hDC == nullptr)
        return;
    bool bOk = true;
    if (m_bPage_Open)
        bOk = EndPage(m_hDC) > 0;
    m_bPage_Open = false;
    bOk = bOk && EndDoc(m_hDC) > 0;
    if (!bOk)
        AbortDoc(m_hDC);
    DeleteDC(m_hDC);
    m_hDC = nullptr;
    vCheck_Gdi(bOk, L"EndDoc");
}

void Cl_Printer::vAbort_Doc()
{
    if (m_hDC == nullptr)
        return;
    AbortDoc(m_hDC);
    DeleteDC(m_hDC);
    m_hDC = nullptr;
    m_bPage_Open = false;
}

Cl_Printer& oPrinter()
{
    if (!g_poPrinter) {
        const std::wstring sDefault = sDefault_Printer_Name();
        if (sDefault.empty())
            vRaise_Printer_Info();
        Printer_Entry oEntry{sDefault, L"", L""};
        for (const Printer_Entry& o : lstInstalled_Printers())
            if (o.sDevice_Name == sDefault)
                oEntry = o;
        auto poPrinter = std::make_unique<Cl_Printer>();
        poPrinter->vSelect(oEntry);
        g_poPrinter = std::move(poPrinter);
    }
    return *g_poPrinter;
}

void vAbort_Printer_Doc()
{
    if (g_poPrinter)
        g_poPrinter->vAbort_Doc();
}
