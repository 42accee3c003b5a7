#include "Module_Documents.h"

#include "Module_Error_Trap.h"

#include <windows.h>

#include <algorithm>

std::wstring sDecode_Windows_1251(const std::string& sBytes)
{
    if (sBytes.empty())
        return std::wstring();
    const int iLength = MultiByteToWideChar(1251, 0, sBytes.data(), static_cast<int>(sBytes.size()), nullptr, 0);
    if (iLength <= 0)
        vRaise_Last_Win32();
    std::wstring sText(static_cast<size_t>(iLength), L'\0');
    MultiByteToWideChar(1251, 0, sBytes.data(), static_cast<int>(sBytes.size()), sText.data(), iLength);
    return sText;
}

std::wstring sPrepare_Document(const std::wstring& sFile_Text)
{
    static const std::wstring sIndent = L"     ";
    std::wstring sResult;
    bool bFirst = true;
    size_t uiPos = 0;
    while (uiPos < sFile_Text.size()) {
        size_t uiEnd = sFile_Text.find(L'\r', uiPos);
        if (uiEnd == std::wstring::npos)
            uiEnd = sFile_Text.size();
        if (!bFirst)
            sResult += L"\r\n";
        sResult += sIndent;
        sResult.append(sFile_Text, uiPos, uiEnd - uiPos);
        bFirst = false;
        uiPos = uiEnd;
        if (uiPos < sFile_Text.size()) {
            ++uiPos;  // the CR
            if (uiPos < sFile_Text.size() && sFile_Text[uiPos] == L'\n')
                ++uiPos;
        }
    }
    return sResult;
}

std::wstring sBreak_Wide_Lines(const std::wstring& sText, size_t uiMeasure,
                               const std::function<size_t(const wchar_t* pText, size_t uiCount)>& fFit)
{
    std::wstring sResult;
    sResult.reserve(sText.size() + sText.size() / 16);
    size_t uiPos = 0;
    for (;;) {
        size_t uiEnd = sText.find(L"\r\n", uiPos);
        if (uiEnd == std::wstring::npos)
            uiEnd = sText.size();
        while (uiPos < uiEnd) {
            const size_t uiLeft = uiEnd - uiPos;
            const size_t uiFit = std::min(fFit(sText.data() + uiPos, std::min(uiLeft, uiMeasure)), uiLeft);
            if (uiFit == uiLeft)
                break;
            // After the last blank that fits, unless that leaves most of the width empty.
            const size_t uiBlank = uiFit > 0 ? sText.rfind(L' ', uiPos + uiFit - 1) : std::wstring::npos;
            size_t uiCut = std::max<size_t>(uiFit, 1);
            if (uiBlank != std::wstring::npos && uiBlank >= uiPos && (uiBlank + 1 - uiPos) * 2 > uiFit)
                uiCut = uiBlank + 1 - uiPos;
            sResult.append(sText, uiPos, uiCut);
            sResult += L"\r\n";
            uiPos += uiCut;
        }
        sResult.append(sText, uiPos, uiEnd - uiPos);
        if (uiEnd == sText.size())
            return sResult;
        sResult += L"\r\n";
        uiPos = uiEnd + 2;
    }
}

Cl_Open_File::Cl_Open_File(const std::wstring& sPath)
    : m_hFile(CreateFileW(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr))
{
    if (m_hFile == INVALID_HANDLE_VALUE)
        vRaise_Last_Win32();
}

Cl_Open_File::~Cl_Open_File()
{
    CloseHandle(m_hFile);
}

std::string Cl_Open_File::sRead_All()
{
    std::string sBytes;
    char aBuffer[65536];
    for (;;) {
        DWORD dwRead = 0;
        if (!ReadFile(m_hFile, aBuffer, sizeof aBuffer, &dwRead, nullptr))
            vRaise_Last_Win32();
        if (dwRead == 0)
            break;
        sBytes.append(aBuffer, dwRead);
    }
    return sBytes;
}

std::string sRead_File_Bytes(const std::wstring& sPath)
{
    return Cl_Open_File(sPath).sRead_All();
}
