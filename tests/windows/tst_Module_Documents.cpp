// Preparing the shipped documents: line ends, indent, joins, Windows-1251.
#include "Module_Documents.h"
#include "Module_Error_Trap.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

namespace {

std::wstring sTemp_File(const wchar_t* sName, const std::string& sBytes)
{
    wchar_t aFolder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, aFolder);
    const std::wstring sPath = std::wstring(aFolder) + sName;
    HANDLE hFile = CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD dwWritten = 0;
    WriteFile(hFile, sBytes.data(), static_cast<DWORD>(sBytes.size()), &dwWritten, nullptr);
    CloseHandle(hFile);
    return sPath;
}

}  // namespace

TEST(Prepare_Document, SingleLineIsIndentedWithoutLineEnd)
{
    EXPECT_EQ(sPrepare_Document(L"abc"), L"     abc");
    EXPECT_EQ(sPrepare_Document(L"abc\r\n"), L"     abc");
    EXPECT_EQ(sPrepare_Document(L"abc\r"), L"     abc");
}

TEST(Prepare_Document, EmptyFirstLineStillGetsItsIndent)
{
    EXPECT_EQ(sPrepare_Document(L"\r\nabc\r\n"), L"     \r\n     abc");
    EXPECT_EQ(sPrepare_Document(L"\r\n"), L"     ");
}

TEST(Prepare_Document, EmptyFileGivesEmptyText)
{
    EXPECT_EQ(sPrepare_Document(L""), L"");
}

TEST(Prepare_Document, LinesEndAtCrOrCrLf)
{
    EXPECT_EQ(sPrepare_Document(L"a\rb\rc"), L"     a\r\n     b\r\n     c");
    EXPECT_EQ(sPrepare_Document(L"a\r\nb\rc\r\n"), L"     a\r\n     b\r\n     c");
    EXPECT_EQ(sPrepare_Document(L"a\r\n\r\n\r\nb"), L"     a\r\n     \r\n     \r\n     b");
    // A lone LF is no line end: it stays inside its line.
    EXPECT_EQ(sPrepare_Document(L"a\nb\r\nc"), L"     a\nb\r\n     c");
}

TEST(Prepare_Document, CyrillicFromWindows1251)
{
    // "Справка №1 — ёлка «да»" in Windows-1251.
    const std::string sBytes = "\xD1\xEF\xF0\xE0\xE2\xEA\xE0 \xB9" "1 \x97 \xB8\xEB\xEA\xE0 \xAB\xE4\xE0\xBB";
    EXPECT_EQ(sDecode_Windows_1251(sBytes), L"Справка №1 — ёлка «да»");
    EXPECT_EQ(sPrepare_Document(sDecode_Windows_1251(sBytes + "\r\n\xC0\xC1\xC2")),
              L"     Справка №1 — ёлка «да»\r\n     АБВ");
    EXPECT_EQ(sDecode_Windows_1251(""), L"");
}

TEST(Read_File, WholeFileAsBytes)
{
    const std::string sBytes("\xC0\r\n\0\xFF" "end", 8);
    const std::wstring sPath = sTemp_File(L"morvane_read_test.txt", sBytes);
    EXPECT_EQ(sRead_File_Bytes(sPath), sBytes);
    DeleteFileW(sPath.c_str());

    const std::wstring sEmpty = sTemp_File(L"morvane_empty_test.txt", "");
    EXPECT_EQ(sPrepare_Document(sDecode_Windows_1251(sRead_File_Bytes(sEmpty))), L"");
    DeleteFileW(sEmpty.c_str());
}

TEST(Read_File, MissingFileIsErrorFiftyThree)
{
    try {
        sRead_File_Bytes(L"C:\\no such folder\\Справка.txt");
        FAIL() << "no error raised";
    } catch (const Cl_Error& oError) {
        EXPECT_EQ(oError.iNumber, 53);
        EXPECT_EQ(oError.sDescription, L"File not found");
    }
}

TEST(Break_Wide_Lines, AfterTheLastBlankThatFitsElseWhereTheWidthEnds)
{
    const auto fTen = [](const wchar_t*, size_t uiCount) { return std::min<size_t>(uiCount, 10); };
    EXPECT_EQ(sBreak_Wide_Lines(L"     ab cdefgh ij\r\n     k\r\nabcdefghijklmnopqrstuvwxy\r\n     abcdefghijkl", 64, fTen),
              L"     ab \r\ncdefgh ij\r\n     k\r\nabcdefghij\r\nklmnopqrst\r\nuvwxy\r\n     abcde\r\nfghijkl");
    EXPECT_EQ(sBreak_Wide_Lines(L"abcdefghijkl", 4, fTen), L"abcd\r\nefgh\r\nijkl");
}
