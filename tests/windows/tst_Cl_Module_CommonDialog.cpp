// The common-dialog class without its dialogs: FileTitle, the canvas, and
// printing when the system has no printer (the test runs with CUPS_SERVER
// pointing at no server, so Wine lists none).
#include "Cl_Canvas.h"
#include "Cl_Module_CommonDialog.h"
#include "Cl_Printer.h"
#include "Module_Error_Trap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Collects the error boxes instead of showing them; Check_MsgBox as given.
class Reports {
public:
    explicit Reports(bool bCheck_MsgBox)
    {
        vSet_Check_MsgBox_Reader([bCheck_MsgBox] { return bCheck_MsgBox; });
        vSet_Error_Box_Hook([this](const std::wstring& sText) { lstTexts.push_back(sText); });
    }
    ~Reports()
    {
        vSet_Error_Box_Hook(nullptr);
        vSet_Check_MsgBox_Reader(nullptr);
    }
    std::vector<std::wstring> lstTexts;
};

std::wstring sTemp_Folder()
{
    wchar_t aPath[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, aPath);
    return aPath;
}

int iDark_Pixels(const Cl_Canvas& oCanvas, int iFrom_Row, int iTo_Row)
{
    const auto* pPixels = static_cast<const uint32_t*>(oCanvas.pBits());
    int iCount = 0;
    for (int y = iFrom_Row; y < iTo_Row; ++y)
        for (int x = 0; x < oCanvas.iWidth(); ++x)
            if ((pPixels[y * oCanvas.iWidth() + x] & 0xFFFFFF) != 0xFFFFFF)
                ++iCount;
    return iCount;
}

}  // namespace

TEST(FileTitle, NameOfAnExistingFileAsTheFileSystemSpellsIt)
{
    const std::wstring sPath = sTemp_Folder() + L"Проба Morvane.txt";
    HANDLE hFile = CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    CloseHandle(hFile);

    Reports oReports(true);
    Cl_Module_CommonDialog oDialog;
    oDialog.FileName(sPath);
    EXPECT_EQ(oDialog.FileTitle(), L"Проба Morvane.txt");
    EXPECT_EQ(oDialog.FileName(), sPath);
    DeleteFileW(sPath.c_str());
    EXPECT_EQ(oDialog.FileTitle(), L"");
    EXPECT_TRUE(oReports.lstTexts.empty());
}

TEST(FileTitle, EmptyForMissingFilesFoldersAndPatterns)
{
    Reports oReports(true);
    Cl_Module_CommonDialog oDialog;
    EXPECT_EQ(oDialog.FileTitle(), L"");
    oDialog.FileName(sTemp_Folder() + L"нет такого файла.txt");
    EXPECT_EQ(oDialog.FileTitle(), L"");
    oDialog.FileName(sTemp_Folder() + L"*");
    EXPECT_EQ(oDialog.FileTitle(), L"");
    std::wstring sFolder = sTemp_Folder();
    sFolder.pop_back();  // the folder itself, without its backslash
    oDialog.FileName(sFolder);
    EXPECT_EQ(oDialog.FileTitle(), L"");
    oDialog.FileName(std::wstring(255, L' '));
    EXPECT_EQ(oDialog.FileTitle(), L"");
    EXPECT_TRUE(oReports.lstTexts.empty());
}

TEST(Canvas, TextIsDrawnInBlackOnWhiteAndClearedAfterwards)
{
    Cl_Canvas oCanvas(nullptr);
    oCanvas.vResize(750, 3232);
    EXPECT_EQ(iDark_Pixels(oCanvas, 0, 3232), 0);
    RECT oRect{0, 0, 750, 3232};
    ASSERT_GT(DrawTextW(oCanvas.hDC(), L"     Назначение", -1, &oRect, DT_WORDBREAK), 0);
    EXPECT_GT(iDark_Pixels(oCanvas, 0, 40), 20);
    EXPECT_EQ(iDark_Pixels(oCanvas, 40, 3232), 0);
    oCanvas.vClear();
    EXPECT_EQ(iDark_Pixels(oCanvas, 0, 3232), 0);
}

TEST(Canvas, LinesBelowTheRectangleAreNotDrawn)
{
    Cl_Canvas oCanvas(nullptr);
    oCanvas.vResize(750, 3232);
    std::wstring sText;
    for (int i = 0; i < 1400; ++i)  // 5600 characters, far more lines than 3232 pixels hold
        sText += L"Ж\r\n";
    RECT oRect{0, 0, 750, 3232};
    DrawTextW(oCanvas.hDC(), sText.c_str(), -1, &oRect, DT_WORDBREAK);
    EXPECT_GT(iDark_Pixels(oCanvas, 3100, 3232), 0);
    EXPECT_EQ(oCanvas.iHeight(), 3232);  // nothing beyond the image was touched
}

TEST(No_Printer, NothingIsPrintedAndNothingShownWhileCheckMsgBoxIsUnticked)
{
    ASSERT_TRUE(lstInstalled_Printers().empty()) << "the test expects a system without printers";
    Reports oReports(false);
    Cl_Module_CommonDialog oDialog;
    EXPECT_FALSE(oDialog.ShowPrinter());
    oDialog.vPrint_To_Paper(oDialog, L"Текст");
    EXPECT_TRUE(oReports.lstTexts.empty());
}

TEST(No_Printer, BothFailuresAreReportedWhileCheckMsgBoxIsTicked)
{
    Reports oReports(true);
    oCommon_Dialog().vPrint_To_Paper(oCommon_Dialog(), L"");
    ASSERT_EQ(oReports.lstTexts.size(), 2u);
    const std::wstring sDescription =
        L"Problem getting printer information from the system. Make sure the printer is set up correctly.";
    EXPECT_EQ(oReports.lstTexts[0], L"Ошибка функции ShowPrinter №484, '" + sDescription + L"', строка 2");
    EXPECT_EQ(oReports.lstTexts[1], L"Ошибка функции vPrint_To_Paper №484, '" + sDescription + L"', строка 4");
    vRelease_Common_Dialog();
    EXPECT_EQ(g_oCommon_Dialog, nullptr);
}
