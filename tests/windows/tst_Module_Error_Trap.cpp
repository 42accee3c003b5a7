// The error-report convention: report text, filters, the trap, error numbers.
#include "Module_Error_Trap.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <new>
#include <vector>

namespace {

class Error_Trap : public ::testing::Test {
protected:
    void SetUp() override
    {
        vSet_Error_Box_Hook([this](const std::wstring& sText) { lstShown.push_back(sText); });
        vSet_Check_MsgBox_Reader([this] { return bCheck_MsgBox; });
    }
    void TearDown() override
    {
        vSet_Error_Box_Hook(nullptr);
        vSet_Check_MsgBox_Reader(nullptr);
    }
    std::vector<std::wstring> lstShown;
    bool bCheck_MsgBox = false;
};

int32_t iRaised_Number(const std::function<void()>& fBody, std::wstring* psDescription = nullptr)
{
    try {
        fBody();
    } catch (const Cl_Error& oError) {
        if (psDescription)
            *psDescription = oError.sDescription;
        return oError.iNumber;
    }
    return 0;
}

}  // namespace

TEST(Error_Report, TextHasNameNumberDescriptionAndLabel)
{
    EXPECT_EQ(sError_Report_Text(L"Form_Load", {53, L"File not found", 11}),
              L"Ошибка функции Form_Load №53, 'File not found', строка 11");
    EXPECT_EQ(sError_Report_Text(L"Get InitDir", {-2147024809, L"The parameter is incorrect.", 2}),
              L"Ошибка функции Get InitDir №-2147024809, 'The parameter is incorrect.', строка 2");
}

TEST(Error_Report, Filters)
{
    for (bool bCheck : {false, true}) {
        EXPECT_TRUE(bError_Report_Shown(Error_Filter::a, 0, bCheck));
        EXPECT_TRUE(bError_Report_Shown(Error_Filter::a, 364, bCheck));
        EXPECT_TRUE(bError_Report_Shown(Error_Filter::a, 61, bCheck));
        EXPECT_FALSE(bError_Report_Shown(Error_Filter::b, 0, bCheck));
        EXPECT_FALSE(bError_Report_Shown(Error_Filter::b, 364, bCheck));
        EXPECT_TRUE(bError_Report_Shown(Error_Filter::b, 53, bCheck));
        EXPECT_FALSE(bError_Report_Shown(Error_Filter::c, 364, bCheck));
        EXPECT_EQ(bError_Report_Shown(Error_Filter::c, 53, bCheck), bCheck);
        EXPECT_EQ(bError_Report_Shown(Error_Filter::c, 0, bCheck), bCheck);
    }
}

TEST_F(Error_Trap, FailureLeavesTheBodyAndReportsTheLabelInEffect)
{
    bool bAfter = false;
    const bool bOk = bRun_Trapped(L"vSettings", Error_Filter::b, [&](int& iLine) {
        iLine = 3;
        iLine = 7;
        vRaise(iErr_Type_Mismatch);
        bAfter = true;
    });
    EXPECT_FALSE(bOk);
    EXPECT_FALSE(bAfter);
    ASSERT_EQ(lstShown.size(), 1u);
    EXPECT_EQ(lstShown[0], L"Ошибка функции vSettings №13, 'Type mismatch', строка 7");
}

TEST_F(Error_Trap, BodyWithoutFailureShowsNothing)
{
    int iSteps = 0;
    EXPECT_TRUE(bRun_Trapped(L"Form_Load", Error_Filter::a, [&](int& iLine) {
        iLine = 2;
        ++iSteps;
    }));
    EXPECT_EQ(iSteps, 1);
    EXPECT_TRUE(lstShown.empty());
}

TEST_F(Error_Trap, FailureBeforeAnyLabelIsReportedAtLabelOne)
{
    bRun_Trapped(L"Check_Cancel_Click", Error_Filter::a, [](int&) { vRaise(iErr_Overflow); });
    ASSERT_EQ(lstShown.size(), 1u);
    EXPECT_EQ(lstShown[0], L"Ошибка функции Check_Cancel_Click №6, 'Overflow', строка 1");
}

TEST_F(Error_Trap, FilterBHidesUnloadedObject)
{
    bRun_Trapped(L"Form_Unload", Error_Filter::b, [](int& iLine) {
        iLine = 6;
        vRaise(iErr_Object_Unloaded);
    });
    EXPECT_TRUE(lstShown.empty());
}

TEST_F(Error_Trap, FilterCFollowsCheckMsgBox)
{
    auto fFail = [](int& iLine) {
        iLine = 4;
        vRaise(iErr_File_Not_Found);
    };
    bRun_Trapped(L"ShowOpen", Error_Filter::c, fFail);
    EXPECT_TRUE(lstShown.empty());
    bCheck_MsgBox = true;
    bRun_Trapped(L"ShowOpen", Error_Filter::c, fFail);
    ASSERT_EQ(lstShown.size(), 1u);
    EXPECT_EQ(lstShown[0], L"Ошибка функции ShowOpen №53, 'File not found', строка 4");
    bRun_Trapped(L"ShowOpen", Error_Filter::c, [](int&) { vRaise(iErr_Object_Unloaded); });
    EXPECT_EQ(lstShown.size(), 1u);
}

TEST_F(Error_Trap, FilterCWithoutFormCountsAsUnticked)
{
    vSet_Check_MsgBox_Reader(nullptr);
    bRun_Trapped(L"Let Tag", Error_Filter::c, [](int&) { vRaise(iErr_Disk_Full); });
    EXPECT_TRUE(lstShown.empty());
}

TEST_F(Error_Trap, CatchWithoutReportKeepsTheRecordForTheCaller)
{
    const auto oError = oCatch_Error([](int& iLine) {
        iLine = 52;
        vRaise_Win32(ERROR_DISK_FULL);
    });
    ASSERT_TRUE(oError.has_value());
    EXPECT_EQ(oError->iNumber, 61);
    EXPECT_EQ(oError->sDescription, L"Disk full");
    EXPECT_EQ(oError->iLine, 52);
    EXPECT_TRUE(lstShown.empty());
    vReport_Error(L"Command_Run_Click", Error_Filter::a, *oError);
    ASSERT_EQ(lstShown.size(), 1u);
    EXPECT_EQ(lstShown[0], L"Ошибка функции Command_Run_Click №61, 'Disk full', строка 52");
}

TEST_F(Error_Trap, OutOfMemoryBecomesErrorSeven)
{
    const auto oError = oCatch_Error([](int& iLine) {
        iLine = 26;
        throw std::bad_alloc();
    });
    ASSERT_TRUE(oError.has_value());
    EXPECT_EQ(oError->iNumber, 7);
    EXPECT_EQ(oError->sDescription, L"Out of memory");
    EXPECT_EQ(oError->iLine, 26);
}

TEST(Error_Numbers, Win32ErrorsMapToTheRuntimeNumbers)
{
    EXPECT_EQ(iError_Number_From_Win32(ERROR_FILE_NOT_FOUND), 53);
    EXPECT_EQ(iError_Number_From_Win32(ERROR_PATH_NOT_FOUND), 53);
    EXPECT_EQ(iError_Number_From_Win32(ERROR_DISK_FULL), 61);
    EXPECT_EQ(iError_Number_From_Win32(ERROR_HANDLE_DISK_FULL), 61);
    EXPECT_EQ(iError_Number_From_Win32(ERROR_ACCESS_DENIED), 70);
    EXPECT_EQ(sError_Description_From_Win32(ERROR_PATH_NOT_FOUND), L"File not found");
    EXPECT_EQ(sError_Description_From_Win32(ERROR_HANDLE_DISK_FULL), L"Disk full");
}

TEST(Error_Numbers, OtherWin32ErrorsKeepTheSystemText)
{
    EXPECT_EQ(iError_Number_From_Win32(ERROR_INVALID_PARAMETER), static_cast<int32_t>(0x80070057));
    const std::wstring sText = sError_Description_From_Win32(ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(sText.empty());
    EXPECT_NE(sText.back(), L'\n');
    EXPECT_NE(sText.back(), L'\r');
}

TEST(Error_Numbers, RealWin32FailureRaisesFileNotFound)
{
    std::wstring sDescription;
    const int32_t iNumber = iRaised_Number([] {
        SetLastError(0);
        HANDLE hFile = CreateFileW(L"C:\\no such folder\\no such file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   0, nullptr);
        vCheck_Win32(hFile != INVALID_HANDLE_VALUE);
    }, &sDescription);
    EXPECT_EQ(iNumber, 53);
    EXPECT_EQ(sDescription, L"File not found");
}

TEST(Error_Numbers, CheckedArithmetic)
{
    std::wstring sDescription;
    EXPECT_EQ(iMultiply_Checked(512, 8), 4096);
    EXPECT_EQ(iRaised_Number([] { iMultiply_Checked(65536, 32768); }, &sDescription), 6);
    EXPECT_EQ(sDescription, L"Overflow");
    EXPECT_EQ(iMultiply_Checked(-65536, 32768), INT32_MIN);
    EXPECT_EQ(iIncrement_Checked(32766), 32767);
    EXPECT_EQ(iRaised_Number([] { iIncrement_Checked(32767); }), 6);
    EXPECT_DOUBLE_EQ(dDivide_Checked(2097152, 4096), 512.0);
    EXPECT_EQ(iRaised_Number([] { dDivide_Checked(2097152, 0); }, &sDescription), 11);
    EXPECT_EQ(sDescription, L"Division by zero");
}

TEST(Error_Numbers, RuntimeDescriptions)
{
    EXPECT_EQ(sError_Description(13), L"Type mismatch");
    EXPECT_EQ(sError_Description(364), L"Object was unloaded");
    EXPECT_EQ(iRaised_Number([] { vRaise(61, L"Disk full (own text)"); }), 61);
}
