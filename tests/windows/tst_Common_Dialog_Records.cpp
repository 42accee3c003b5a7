#include "Common_Dialog_Records.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace std::string_literals;

TEST(Dialog_Filter, DescriptionAndPatternEndWithTwoZeros)
{
    EXPECT_EQ(sDialog_Filter(L"Text|*.txt"), L"Text\0*.txt\0\0"s);
    EXPECT_EQ(sDialog_Filter(L"Текст|*.txt|Все|*.*"), L"Текст\0*.txt\0Все\0*.*\0\0"s);
}

TEST(Dialog_Filter, EmptyFilterIsTwoZeros)
{
    EXPECT_EQ(sDialog_Filter(L""), L"\0\0"s);
}

TEST(Split_Pages, EmptyTextIsOneBlankPage)
{
    const auto lstPages = lstSplit_Pages(L"");
    ASSERT_EQ(lstPages.size(), 1u);
    EXPECT_TRUE(lstPages[0].empty());
}

TEST(Split_Pages, FullPageIsOnePageWithoutBlankFollower)
{
    const std::wstring sText(5800, L'ж');
    const auto lstPages = lstSplit_Pages(sText);
    ASSERT_EQ(lstPages.size(), 1u);
    EXPECT_EQ(lstPages[0], sText);

    const auto lstTwo = lstSplit_Pages(std::wstring(2 * 5800, L'a'));
    ASSERT_EQ(lstTwo.size(), 2u);
    EXPECT_EQ(lstTwo[1].size(), 5800u);
}

TEST(Split_Pages, OneCharacterMoreGoesAloneOnPageTwo)
{
    std::wstring sText(5800, L'a');
    sText.push_back(L'Я');
    const auto lstPages = lstSplit_Pages(sText);
    ASSERT_EQ(lstPages.size(), 2u);
    EXPECT_EQ(lstPages[0], std::wstring(5800, L'a'));
    EXPECT_EQ(lstPages[1], L"Я");
}

TEST(DevNames_Block, HeaderOffsetsCountCharactersAndAreaIsPaddedWithSpaces)
{
    const auto vecBlock = vecDevNames_Block(L"winspool", L"Принтер", L"CUPS:P");
    ASSERT_EQ(vecBlock.size(), sizeof(DEVNAMES) + 100 * sizeof(wchar_t));
    DEVNAMES oNames;
    std::memcpy(&oNames, vecBlock.data(), sizeof oNames);
    EXPECT_EQ(oNames.wDriverOffset, sizeof(DEVNAMES) / sizeof(wchar_t));
    EXPECT_EQ(oNames.wDeviceOffset, oNames.wDriverOffset + 9);
    EXPECT_EQ(oNames.wOutputOffset, oNames.wDeviceOffset + 8);
    EXPECT_EQ(oNames.wDefault, 0);

    std::wstring sArea(100, L'?');
    std::memcpy(sArea.data(), vecBlock.data() + sizeof(DEVNAMES), 100 * sizeof(wchar_t));
    const std::wstring sNames = L"winspool\0Принтер\0CUPS:P\0"s;
    EXPECT_EQ(sArea.substr(0, sNames.size()), sNames);
    EXPECT_EQ(sArea.substr(sNames.size()), std::wstring(100 - sNames.size(), L' '));

    const auto oStrings = oRead_DevNames(vecBlock.data(), vecBlock.size());
    EXPECT_EQ(oStrings.sDriver_Name, L"winspool");
    EXPECT_EQ(oStrings.sDevice_Name, L"Принтер");
    EXPECT_EQ(oStrings.sPort, L"CUPS:P");
}

TEST(DevNames_Block, LongNamesAreKeptWholeAndTerminated)
{
    const std::wstring sLong(70, L'x');
    const auto vecBlock = vecDevNames_Block(sLong, sLong, L"CUPS:" + sLong);
    const auto oStrings = oRead_DevNames(vecBlock.data(), vecBlock.size());
    EXPECT_EQ(oStrings.sDriver_Name, sLong);
    EXPECT_EQ(oStrings.sDevice_Name, sLong);
    EXPECT_EQ(oStrings.sPort, L"CUPS:" + sLong);
}

TEST(DevNames_Block, MalformedBlockReadsAsEmpty)
{
    const BYTE aShort[4] = {};
    EXPECT_TRUE(oRead_DevNames(aShort, sizeof aShort).sDevice_Name.empty());
    // Offsets pointing past the block and a name without its zero.
    std::vector<BYTE> vecBlock(sizeof(DEVNAMES) + 4 * sizeof(wchar_t), 'x');
    DEVNAMES oNames{500, 4, 4, 0};
    std::memcpy(vecBlock.data(), &oNames, sizeof oNames);
    const auto oStrings = oRead_DevNames(vecBlock.data(), vecBlock.size());
    EXPECT_TRUE(oStrings.sDriver_Name.empty());
    EXPECT_TRUE(oStrings.sDevice_Name.empty());
}

TEST(DevMode_For_Dialog, PreselectsNameOrientationAndDuplex)
{
    const DEVMODEW oDevMode = oDevMode_For_Dialog(L"Morvane_PDF", DMORIENT_LANDSCAPE, DMDUP_VERTICAL);
    EXPECT_EQ(oDevMode.dmSize, sizeof(DEVMODEW));
    EXPECT_EQ(oDevMode.dmDriverExtra, 0);
    EXPECT_EQ(oDevMode.dmFields, 0x1001u);
    EXPECT_EQ(oDevMode.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(oDevMode.dmDuplex, DMDUP_VERTICAL);
    EXPECT_EQ(sDevMode_Device_Name(oDevMode), L"Morvane_PDF");
    EXPECT_EQ(oDevMode.dmDeviceName[11], L'\0');
}

TEST(DevMode_For_Dialog, LongNameIsCutButStaysTerminated)
{
    const DEVMODEW oDevMode = oDevMode_For_Dialog(std::wstring(40, L'П'), 1, 1);
    EXPECT_EQ(sDevMode_Device_Name(oDevMode), std::wstring(CCHDEVICENAME - 1, L'П'));
}

TEST(Upper, CyrillicAndLatin)
{
    EXPECT_EQ(sUpper(L"Morvane_pdf принтер"), L"MORVANE_PDF ПРИНТЕР");
}

TEST(Chosen_Copies, FromTheRecordOrTheDeviceModeWhicheverHoldsThem)
{
    DEVMODEW oDevMode{};
    EXPECT_EQ(iChosen_Copies(3, oDevMode), 3);  // the dialog left the copies to the program
    oDevMode.dmFields = DM_COPIES;
    oDevMode.dmCopies = 3;
    EXPECT_EQ(iChosen_Copies(1, oDevMode), 3);  // the device mode carries them
    oDevMode.dmFields = 0;
    EXPECT_EQ(iChosen_Copies(0, oDevMode), 1);  // a copy count is never zero
}
