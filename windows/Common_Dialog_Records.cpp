#include "Common_Dialog_Records.h"

#include <algorithm>
#include <climits>
#include <cstring>

std::wstring sDialog_Filter(const std::wstring& sFilter)
{
    std::wstring sResult = sFilter;
    std::replace(sResult.begin(), sResult.end(), L'|', L'\0');
    // One zero ends the last pattern, the second ends the list.
    sResult.push_back(L'\0');
    sResult.push_back(L'\0');
    return sResult;
}

std::vector<std::wstring> lstSplit_Pages(const std::wstring& sText)
{
    std::vector<std::wstring> lstPages;
    std::size_t i = 0;
    do {
        lstPages.push_back(sText.substr(i, g_uiChars_Per_Page));
        i += g_uiChars_Per_Page;
    } while (i < sText.size());
    return lstPages;
}

std::vector<BYTE> vecDevNames_Block(const std::wstring& sDriver_Name,
                                    const std::wstring& sDevice_Name,
                                    const std::wstring& sPort)
{
    // Offsets count characters from the start of the record, header included.
    constexpr std::size_t uiHeader_Chars = sizeof(DEVNAMES) / sizeof(wchar_t);
    std::wstring sArea = sDriver_Name + L'\0' + sDevice_Name + L'\0' + sPort + L'\0';
    // Cutting the area would cut the zero after the port, so it only ever grows.
    if (sArea.size() < g_uiDevNames_Text_Chars)
        sArea.append(g_uiDevNames_Text_Chars - sArea.size(), L' ');

    std::vector<BYTE> vecBlock(sizeof(DEVNAMES) + sArea.size() * sizeof(wchar_t), 0);
    DEVNAMES oNames{};
    oNames.wDriverOffset = static_cast<WORD>(uiHeader_Chars);
    oNames.wDeviceOffset = static_cast<WORD>(oNames.wDriverOffset + sDriver_Name.size() + 1);
    oNames.wOutputOffset = static_cast<WORD>(oNames.wDeviceOffset + sDevice_Name.size() + 1);
    oNames.wDefault = 0;
    std::memcpy(vecBlock.data(), &oNames, sizeof oNames);
    std::memcpy(vecBlock.data() + sizeof oNames, sArea.data(), sArea.size() * sizeof(wchar_t));
    return vecBlock;
}

DevNames_Strings oRead_DevNames(const BYTE* pBlock, std::size_t uiSize)
{
    DevNames_Strings oStrings;
    if (pBlock == nullptr || uiSize < sizeof(DEVNAMES))
        return oStrings;
    DEVNAMES oNames;
    std::memcpy(&oNames, pBlock, sizeof oNames);
    const std::size_t uiChars = uiSize / sizeof(wchar_t);
    auto sAt = [&](WORD wOffset) {
        std::wstring s;
        for (std::size_t i = wOffset; i < uiChars; ++i) {
            wchar_t c;
            std::memcpy(&c, pBlock + i * sizeof(wchar_t), sizeof c);
            if (c == L'\0')
                return s;
            s.push_back(c);
        }
        return std::wstring();  // no terminating zero inside the block
    };
    oStrings.sDriver_Name = sAt(oNames.wDriverOffset);
    oStrings.sDevice_Name = sAt(oNames.wDeviceOffset);
    oStrings.sPort = sAt(oNames.wOutputOffset);
    return oStrings;
}

DEVMODEW oDevMode_For_Dialog(const std::wstring& sDevice_Name, short iOrientation, short iDuplex)
{
    DEVMODEW oDevMode{};
    // The dialog keeps the record only when this name equals the device-names block's
    // one, so it stays zero-terminated (cut to CCHDEVICENAME - 1 characters).
    const std::size_t uiChars = std::min<std::size_t>(sDevice_Name.size(), CCHDEVICENAME - 1);
    std::copy_n(sDevice_Name.begin(), uiChars, oDevMode.dmDeviceName);
    oDevMode.dmSize = sizeof(DEVMODEW);
    oDevMode.dmFields = DM_ORIENTATION | DM_DUPLEX;
    oDevMode.dmOrientation = iOrientation;
    oDevMode.dmDuplex = iDuplex;
    return oDevMode;
}

short iChosen_Copies(WORD nCopies, const DEVMODEW& oDevMode)
{
    const int iDevMode_Copies = (oDevMode.dmFields & DM_COPIES) ? oDevMode.dmCopies : 0;
    return static_cast<short>(std::clamp<int>(std::max<int>(nCopies, iDevMode_Copies), 1, SHRT_MAX));
}

std::wstring sDevMode_Device_Name(const DEVMODEW& oDevMode)
{
    const wchar_t* pName = oDevMode.dmDeviceName;
    return std::wstring(pName, std::find(pName, pName + CCHDEVICENAME, L'\0'));
}

std::wstring sUpper(const std::wstring& s)
{
    std::wstring sResult = s;
    if (!sResult.empty())
        CharUpperBuffW(sResult.data(), static_cast<DWORD>(sResult.size()));
    return sResult;
}
