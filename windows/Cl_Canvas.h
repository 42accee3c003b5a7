// The off-screen drawing surface that printing draws a page on before the page
// image goes to the printer: a white 32-bit image in a memory device context
// with the print font of the main form's hidden Picture_Print.
#pragma once

#include <windows.h>

class Cl_Canvas {
public:
    // Draws in a copy of hFont; null gives Times New Roman 9.6 pt, Cyrillic.
    explicit Cl_Canvas(HFONT hFont);
    ~Cl_Canvas();
    Cl_Canvas(const Cl_Canvas&) = delete;
    Cl_Canvas& operator=(const Cl_Canvas&) = delete;

    // A new white image of iWidth x iHeight pixels; raises 7 when it cannot be made.
    void vResize(int iWidth, int iHeight);
    // White again, drawing position back at 0, 0.
    void vClear();
    HDC hDC() const { return m_hDC; }
    int iWidth() const { return m_iWidth; }
    int iHeight() const { return m_iHeight; }
    int iDpi() const { return m_iDpi; }
    // Top-down 32-bit pixels of the image, rows of iWidth() * 4 bytes.
    const void* pBits() const;

private:
    HDC m_hDC = nullptr;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOld_Bitmap = nullptr;
    HGDIOBJ m_hOld_Font = nullptr;
    HFONT m_hOwn_Font = nullptr;
    void* m_pBits = nullptr;
    int m_iWidth = 0;
    int m_iHeight = 0;
    int m_iDpi = 96;
};

// The picture box whose font the print canvas takes (the main form's Picture_Print).
void vSet_Print_Canvas_Picture(HWND hPicture);

// The print canvas, made on first use in the font of that picture box.
Cl_Canvas& oPrint_Canvas();
