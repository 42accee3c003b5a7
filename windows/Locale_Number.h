// Numbers as text the way the runtime converts them for the user's locale.
#pragma once

#include <cstdint>
#include <string>

// The user's decimal separator ("." or "," ...), "." when the locale has none.
std::wstring sUser_Decimal_Separator();

// A single-precision number with up to 7 significant digits, whole numbers
// without a decimal part (1440, 1440,5 with a comma separator, 1.234568E+07).
std::wstring sSingle_To_String(float fValue, const std::wstring& sDecimal);

// The number in sText (blanks around it, sign, digits, sDecimal, exponent);
// raises type mismatch (13) for empty or non-numeric text, overflow (6) when
// it does not fit a single.
float fString_To_Single(const std::wstring& sText, const std::wstring& sDecimal);

// The same, rounded half to even into a 32-bit integer; overflow (6) outside it.
int32_t iString_To_Long(const std::wstring& sText, const std::wstring& sDecimal);

// "True" or "False" in any case gives -1 or 0, a number gives -1 unless it is 0;
// anything else is a type mismatch (13).
int32_t iString_To_Boolean(const std::wstring& sText, const std::wstring& sDecimal);
