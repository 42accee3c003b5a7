#include "Locale_Number.h"

#include "Module_Error_Trap.h"

#include <windows.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwctype>

namespace {

bool bIs_Blank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// Accepts only the locale's separator, so "1.5" under a comma locale is not
// silently read as something else.
double dParse_Number(const std::wstring& sText, const std::wstring& sDecimal)
{
    size_t i = 0;
    const size_t n = sText.size();
    while (i < n && bIs_Blank(sText[i]))
        ++i;
    std::string sAscii;
    if (i < n && (sText[i] == L'+' || sText[i] == L'-'))
        sAscii += static_cast<char>(sText[i++]);
    bool bDigits = false;
    while (i < n && std::iswdigit(sText[i])) {
        sAscii += static_cast<char>(sText[i++]);
        bDigits = true;
    }
    if (!sDecimal.empty() && sText.compare(i, sDecimal.size(), sDecimal) == 0) {
        i += sDecimal.size();
        sAscii += '.';
        while (i < n && std::iswdigit(sText[i])) {
            sAscii += static_cast<char>(sText[i++]);
            bDigits = true;
        }
    }
    if (!bDigits)
        vRaise(iErr_Type_Mismatch);
    if (i < n && (sText[i] == L'E' || sText[i] == L'e' || sText[i] == L'D' || sText[i] == L'd')) {
        std::string sExponent = "e";
        size_t j = i + 1;
        if (j < n && (sText[j] == L'+' || sText[j] == L'-'))
            sExponent += static_cast<char>(sText[j++]);
        bool bExponent_Digits = false;
        while (j < n && std::iswdigit(sText[j])) {
            sExponent += static_cast<char>(sText[j++]);
            bExponent_Digits = true;
        }
        if (!bExponent_Digits)
            vRaise(iErr_Type_Mismatch);
        sAscii += sExponent;
        i = j;
    }
    while (i < n && bIs_Blank(sText[i]))
        ++i;
    if (i != n)
        vRaise(iErr_Type_Mismatch);
    const double dValue = std::strtod(sAscii.c_str(), nullptr);
    if (!std::isfinite(dValue))
        vRaise(iErr_Overflow);
    return dValue;
}

}  // namespace

std::wstring sUser_Decimal_Separator()
{
    wchar_t acSeparator[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, acSeparator, 8) <= 1)
        return L".";
    return acSeparator;
}

std::wstring sSingle_To_String(float fValue, const std::wstring& sDecimal)
{
    if (fValue == 0.0f)
        return L"0";
    char acBuffer[32];
    std::snprintf(acBuffer, sizeof acBuffer, "%.7G", static_cast<double>(fValue));
    std::wstring sText;
    for (const char* p = acBuffer; *p; ++p) {
        if (*p == '.')
            sText += sDecimal;
        else
            sText += static_cast<wchar_t>(*p);
    }
    return sText;
}

float fString_To_Single(const std::wstring& sText, const std::wstring& sDecimal)
{
    const double dValue = dParse_Number(sText, sDecimal);
    if (std::fabs(dValue) > FLT_MAX)
        vRaise(iErr_Overflow);
    return static_cast<float>(dValue);
}

int32_t iString_To_Long(const std::wstring& sText, const std::wstring& sDecimal)
{
    const double dValue = std::nearbyint(dParse_Number(sText, sDecimal));
    if (dValue > INT32_MAX || dValue < INT32_MIN)
        vRaise(iErr_Overflow);
    return static_cast<int32_t>(dValue);
}

int32_t iString_To_Boolean(const std::wstring& sText, const std::wstring& sDecimal)
{
    std::wstring sTrimmed = sText;
    while (!sTrimmed.empty() && bIs_Blank(sTrimmed.back()))
        sTrimmed.pop_back();
    while (!sTrimmed.empty() && bIs_Blank(sTrimmed.front()))
        sTrimmed.erase(0, 1);
    if (CompareStringOrdinal(sTrimmed.c_str(), -1, L"True", -1, TRUE) == CSTR_EQUAL)
        return -1;
    if (CompareStringOrdinal(sTrimmed.c_str(), -1, L"False", -1, TRUE) == CSTR_EQUAL)
        return 0;
    return dParse_Number(sTrimmed, sDecimal) != 0.0 ? -1 : 0;
}
