#include "Cl_Canvas.h"

#include "Module_Error_Trap.h"
#include "Win_Controls.h"

#include <cstring>
#include <memory>

Cl_Canvas::Cl_Canvas(HFONT hFont)
{
    HDC hScreen = GetDC(nullptr);
    m_iDpi = GetDeviceCaps(hScreen, LOGPIXELSY);
    m_hDC = CreateCompatibleDC(hScreen);
    ReleaseDC(nullptr, hScreen);
    if (m_hDC == nullptr)
        vRaise(iErr_Out_Of_Memory);
    // A copy of the font: the canvas may outlive the control that lends it.
    LOGFONTW oLogFont{};
    if (hFont != nullptr && GetObjectW(hFont, sizeof oLogFont, &oLogFont) == sizeof oLogFont)
        m_hOwn_Font = CreateFontIndirectW(&oLogFont);
    if (m_hOwn_Font == nullptr)
        m_hOwn_Font = hCreate_Cyrillic_Font(L"Times New Roman", 96, FW_NORMAL, m_iDpi);
    m_hOld_Font = SelectObject(m_hDC, m_hOwn_Font);
    SetBkMode(m_hDC, TRANSPARENT);
    SetTextColor(m_hDC, RGB(0, 0, 0));
    vResize(1, 1);
}

Cl_Canvas::~Cl_Canvas()
{
    if (m_hOld_Bitmap)
        SelectObject(m_hDC, m_hOld_Bitmap);
    if (m_hOld_Font)
        SelectObject(m_hDC, m_hOld_Font);
    if (m_hBitmap)
        DeleteObject(m_hBitmap);
    if (m_hOwn_Font)
        DeleteObject(m_hOwn_Font);
    DeleteDC(m_hDC);
}

void Cl_Canvas::vResize(int iWidth, int iHeight)
{
    if (iWidth == m_iWidth && iHeight == m_iHeight && m_hBitmap) {
        vClear();
        return;
    }
    BITMAPINFO oInfo{};
    oInfo.bmiHeader.biSize = sizeof oInfo.bmiHeader;
    oInfo.bmiHeader.biWidth = iWidth;
    oInfo.bmiHeader.biHeight = -iHeight;  // top-down: row 0 is the top of the page
    oInfo.bmiHeader.biPlanes = 1;
    oInfo.bmiHeader.biBitCount = 32;
    oInfo.bmiHeader.biCompression = BI_RGB;
    void* pBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(m_hDC, &oInfo, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (hBitmap == nullptr || pBits == nullptr)
        vRaise(iErr_Out_Of_Memory);
    HGDIOBJ hPrevious = SelectObject(m_hDC, hBitmap);
    if (m_hOld_Bitmap == nullptr)
        m_hOld_Bitmap = hPrevious;
    if (m_hBitmap)
        DeleteObject(m_hBitmap);
    m_hBitmap = hBitmap;
    m_pBits = pBits;
    m_iWidth = iWidth;
    m_iHeight = iHeight;
    vClear();
}

void Cl_Canvas::vClear()
{
    GdiFlush();
    std::memset(m_pBits, 0xFF, static_cast<size_t>(m_iWidth) * m_iHeight * 4);
    MoveToEx(m_hDC, 0, 0, nullptr);
}

const void* Cl_Canvas::pBits() const
{
    // Drawing calls may still be queued for the image.
    GdiFlush();
    return m_pBits;
}

namespace {

HWND g_hPrint_Picture = nullptr;

}  // namespace

void vSet_Print_Canvas_Picture(HWND hPicture)
{
    g_hPrint_Picture = hPicture;
}

Cl_Canvas& oPrint_Canvas()
{
    static std::unique_ptr<Cl_Canvas> s_poCanvas;
    if (!s_poCanvas) {
        const HFONT hFont = IsWindow(g_hPrint_Picture)
                                ? reinterpret_cast<HFONT>(SendMessageW(g_hPrint_Picture, WM_GETFONT, 0, 0))
                                : nullptr;
        s_poCanvas = std::make_unique<Cl_Canvas>(hFont);
    }
    return *s_poCanvas;
}
