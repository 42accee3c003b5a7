#include "Zero_Fill_Plan.h"
#include "Zero_Fill_Run.h"

#include "Cl_File_System.h"
#include "Form_Main.h"
#include "Module_Error_Trap.h"
#include "Win_Controls.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

using namespace Zero_Fill_Plan;

namespace {
constexpr double MiB = 1048576.0;
constexpr double GiB = 1073741824.0;
}

// The block sizes the run writes for the cluster sizes volumes really use.
TEST(Zero_Fill_Plan, BigBlockIsTwoMiBOfWholeClusters)
{
    EXPECT_EQ(uiBig_Block_Size(512), 2097152u);
    EXPECT_EQ(uiBig_Block_Size(4096), 2097152u);
    EXPECT_EQ(uiBig_Block_Size(65536), 2097152u);
    // Not a divisor of 2 MiB: whole clusters only, never a torn one.
    EXPECT_EQ(uiBig_Block_Size(3072), 682u * 3072u);
}

TEST(Zero_Fill_Plan, ClusterAboveTwoMiBStillGivesOneWholeCluster)
{
    EXPECT_EQ(uiBig_Block_Size(4u << 20), 4u * 1048576u);
    EXPECT_EQ(uiBig_Block_Size(3u << 20), 3u * 1048576u);
    // Every branch then writes data, so no empty files are ever copied.
    const std::uint64_t uiBig = uiBig_Block_Size(4u << 20);
    EXPECT_EQ(eChoose_Branch(3 * GiB, uiBig, 4u << 20), Fill_Branch::Full_File);
    EXPECT_EQ(uiBlock_Count(Fill_Branch::Full_File, 3 * GiB, uiBig, 4u << 20), 511u);
    EXPECT_EQ(eChoose_Branch(10 * MiB, uiBig, 4u << 20), Fill_Branch::Big_Blocks);
    EXPECT_EQ(uiBlock_Count(Fill_Branch::Big_Blocks, 10 * MiB, uiBig, 4u << 20), 2u);
    EXPECT_EQ(eChoose_Branch(3 * MiB, uiBig, 4u << 20), Fill_Branch::Nothing);
}

TEST(Zero_Fill_Plan, ZeroClusterSizeWritesNothing)
{
    EXPECT_EQ(uiBig_Block_Size(0), 0u);
    EXPECT_EQ(eChoose_Branch(5 * GiB, 0, 0), Fill_Branch::Nothing);
}

TEST(Zero_Fill_Plan, FullFileIs1022BlocksBelowTwoGiB)
{
    EXPECT_EQ(iBlocks_Per_Full_File, 1022);
    EXPECT_EQ(uiBlocks_Per_Full_File(2097152), 1022u);
    // 10 KiB clusters make a big block of 2088960 bytes: still 1022 of them.
    EXPECT_EQ(uiBig_Block_Size(10240), 2088960u);
    EXPECT_EQ(uiBlocks_Per_Full_File(2088960), 1022u);
    EXPECT_EQ(uiBlocks_Per_Full_File(3u << 20), 681u);
    EXPECT_EQ(1022u * 2097152u, 2143289344u);
    EXPECT_LT(1021.0 * 2097152.0, 2147483648.0);  // last write offset fits 31 bits
}

TEST(Zero_Fill_Plan, BranchFollowsFreeSpaceThresholds)
{
    const std::uint64_t uiBig = 2097152;
    EXPECT_EQ(eChoose_Branch(2147483648.0, uiBig, 4096), Fill_Branch::Full_File);
    EXPECT_EQ(eChoose_Branch(2147483648.0 - 4096, uiBig, 4096), Fill_Branch::Big_Blocks);
    EXPECT_EQ(eChoose_Branch(2097152, uiBig, 4096), Fill_Branch::Big_Blocks);
    EXPECT_EQ(eChoose_Branch(2097152 - 4096, uiBig, 4096), Fill_Branch::Clusters);
    EXPECT_EQ(eChoose_Branch(4096, uiBig, 4096), Fill_Branch::Clusters);
    EXPECT_EQ(eChoose_Branch(4095, uiBig, 4096), Fill_Branch::Nothing);
    EXPECT_EQ(eChoose_Branch(0, uiBig, 4096), Fill_Branch::Nothing);
}

TEST(Zero_Fill_Plan, BlockCountsAndLengths)
{
    const std::uint64_t uiBig = 2097152;
    // 700 MiB + 12 KiB free: 350 whole 2 MiB blocks, then the 12 KiB as 3 clusters.
    const double dFree = 700 * MiB + 12288;
    EXPECT_EQ(uiBlock_Count(Fill_Branch::Big_Blocks, dFree, uiBig, 4096), 350u);
    EXPECT_EQ(uiBlock_Count(Fill_Branch::Clusters, 12288, uiBig, 4096), 3u);
    EXPECT_EQ(uiBlock_Count(Fill_Branch::Clusters, 1536, uiBig, 512), 3u);
    EXPECT_EQ(uiBlock_Count(Fill_Branch::Clusters, 65536 * 5 + 100, uiBig, 65536), 5u);
    EXPECT_EQ(uiBlock_Length(Fill_Branch::Big_Blocks, uiBig, 4096), uiBig);
    EXPECT_EQ(uiBlock_Length(Fill_Branch::Clusters, uiBig, 4096), 4096u);
    EXPECT_EQ(uiBlock_Count(Fill_Branch::Nothing, dFree, uiBig, 4096), 0u);
}

TEST(Zero_Fill_Plan, ProgressIsTruncatedShareOfStartFreeSpace)
{
    EXPECT_EQ(iProgress_Percent(1000, 1000), 0);
    EXPECT_EQ(iProgress_Percent(1000, 994), 0);
    EXPECT_EQ(iProgress_Percent(1000, 989), 1);
    EXPECT_EQ(iProgress_Percent(3 * GiB, 1 * GiB), 66);
    EXPECT_EQ(iProgress_Percent(1000, 0), 100);
    // Space freed by others during the run must not push the bar out of range.
    EXPECT_EQ(iProgress_Percent(1000, 1500), 0);
    EXPECT_EQ(iProgress_Percent(0, 0), 100);
}

TEST(Zero_Fill_Plan, ProgressNeedsFallingFreeSpace)
{
    EXPECT_TRUE(bFree_Space_Fell(10 * MiB, 8 * MiB, 2 * MiB));
    EXPECT_TRUE(bFree_Space_Fell(10 * MiB, 9 * MiB, 2 * MiB));
    // A cloned copy or a compressed file of zeros barely touches the free space.
    EXPECT_FALSE(bFree_Space_Fell(10 * MiB, 10 * MiB, 2 * MiB));
    EXPECT_FALSE(bFree_Space_Fell(10 * MiB, 10 * MiB - 65536, 2 * MiB));
    // An empty file is never progress, even when others used space meanwhile.
    EXPECT_FALSE(bFree_Space_Fell(10 * MiB, 9 * MiB, 0));
}

TEST(Zero_Fill_Plan, LessThanOneClusterFreeIsFilled)
{
    EXPECT_TRUE(bCounts_As_Filled(61, 0, 4096));
    EXPECT_TRUE(bCounts_As_Filled(61, 4095, 4096));
    EXPECT_TRUE(bCounts_As_Filled(57, 512, 4096));
    EXPECT_FALSE(bCounts_As_Filled(61, 4096, 4096));
    EXPECT_FALSE(bCounts_As_Filled(57, 8192, 4096));
    EXPECT_FALSE(bCounts_As_Filled(53, 0, 4096));
    EXPECT_FALSE(bCounts_As_Filled(6, 0, 4096));
    EXPECT_TRUE(bVolume_Filled(0, 0));
    EXPECT_FALSE(bVolume_Filled(1, 0));
}

TEST(Zero_Fill_Plan, ScratchNames)
{
    EXPECT_EQ(sScratch_Stem(L"m:"), L"m:\\Delete_Me_Tenderly");
    EXPECT_EQ(sScratch_Folder(L"m:", 0), L"m:\\Delete_Me_Tenderly0");
    EXPECT_EQ(sScratch_Folder(L"c:", 100), L"c:\\Delete_Me_Tenderly100");
    EXPECT_EQ(sScratch_File(L"c:", 0), L"c:\\Delete_Me_Tenderly0\\Delete_Me_Tenderly.TMP0");
    EXPECT_EQ(sScratch_File(L"c:", 12), L"c:\\Delete_Me_Tenderly0\\Delete_Me_Tenderly.TMP12");
}

// The run itself, on the real (hidden) main form, against a stand-in for the
// file-system layer: a volume that exists only in memory.
namespace {

class Cl_Volume_Double : public Cl_File_System {
public:
    double dFree = 0;
    std::uint32_t uiSectors_Per_Cluster = 8, uiBytes_Per_Sector = 512;
    std::uint64_t uiFailing_Write = 0;  // this write (counted from 1) meets a full disk
    mutable std::set<std::wstring> stFolders, stFiles_Planted;
    mutable std::wstring sPlant_At_Free_Reading;  // a folder someone makes after the leftovers went
    mutable std::vector<std::wstring> *plstLog = nullptr;  // what changed, in order
    mutable std::vector<int> lstProgress;                  // the bar's values as the calls saw them
    mutable int iFree_Readings = 0;
    std::uint64_t uiWrites = 0;
    std::vector<double> lstSizes, lstClosed_Sizes;
    std::map<std::wstring, int> mapFiles;

    void vLog(const std::wstring &sWhat) const
    {
        if (plstLog) plstLog->push_back(sWhat);
    }
    void vSee_Progress() const
    {
        const int iValue = iProgress_Value(hForm_Main_Control(IDC_ProgressBar));
        if (lstProgress.empty() || lstProgress.back() != iValue) lstProgress.push_back(iValue);
    }
    bool FolderExists(const std::wstring &sPath) const override
    {
        vSee_Progress();
        return stFolders.count(sPath) != 0;
    }
    void DeleteFolder(const std::wstring &sPath, bool) const override
    {
        vLog(L"delete " + sPath);
        stFolders.erase(sPath);
    }
    void CreateFolder(const std::wstring &sPath) override
    {
        if (stFolders.count(sPath)) vRaise(iErr_File_Exists);
        vLog(L"create " + sPath);
        stFolders.insert(sPath);
    }
    double FreeSpace(const std::wstring &) const override
    {
        ++iFree_Readings;
        if (!sPlant_At_Free_Reading.empty()) stFolders.insert(sPlant_At_Free_Reading);
        sPlant_At_Free_Reading.clear();
        return dFree;
    }
    double FileSize(const std::wstring &sPath) const override
    {
        const auto it = mapFiles.find(sPath);
        if (it == mapFiles.end()) vRaise(iErr_File_Not_Found);
        return lstSizes[it->second];
    }
    void Disk_Geometry(const std::wstring &, std::uint32_t &uiSectors, std::uint32_t &uiBytes) const override
    {
        uiSectors = uiSectors_Per_Cluster;
        uiBytes = uiBytes_Per_Sector;
    }
    int Open_Scratch_File(const std::wstring &sPath) override
    {
        if (stFiles_Planted.count(sPath)) vRaise(iErr_File_Exists);
        if (lstSizes.size() < 4) vLog(L"open " + sPath);
        mapFiles[sPath] = static_cast<int>(lstSizes.size());
        lstSizes.push_back(0);
        return static_cast<int>(lstSizes.size() - 1);
    }
    void Write_Scratch(int iScratch, std::uint64_t uiOffset, const void *, std::uint32_t uiLength) override
    {
        if (++uiWrites == uiFailing_Write) vRaise(iErr_Disk_Full);
        lstSizes.at(iScratch) = std::max(lstSizes.at(iScratch), static_cast<double>(uiOffset + uiLength));
        dFree -= uiLength;
    }
    void Flush_Scratch(int iScratch) override { lstSizes.at(iScratch); }
    void Close_Scratch_Files() override
    {
        vLog(L"close " + std::to_wstring(lstSizes.size()));
        lstClosed_Sizes = lstSizes;
        // Deleted on close, as the real ones are.
        for (double dSize : lstSizes) dFree += dSize;
        lstSizes.clear();
        mapFiles.clear();
    }
};

class Command_Run : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX oInit{sizeof oInit, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&oInit);
        vSet_Error_Box_Hook([this](const std::wstring &sText) { lstLog.push_back(L"report " + sText); });
        ASSERT_NE(hForm_Main_Create(GetModuleHandleW(nullptr), SW_HIDE), nullptr);
        lstLog.clear();  // the documents missing beside the test program
        const HWND hDrives = hForm_Main_Control(IDC_Drive_To_Zero);
        const LRESULT iEntry = SendMessageW(hDrives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"m: [Test]"));
        SendMessageW(hDrives, CB_SETCURSEL, static_cast<WPARAM>(iEntry), 0);
        auto oDouble = std::make_unique<Cl_Volume_Double>();
        poVolume = oDouble.get();
        poVolume->plstLog = &lstLog;
        vReplace_FSO(std::move(oDouble));
    }
    void TearDown() override
    {
        vRelease_FSO();
        if (hForm_Main()) DestroyWindow(hForm_Main());
        MSG oMessage;
        while (PeekMessageW(&oMessage, nullptr, 0, 0, PM_REMOVE)) {
        }
        vSet_Error_Box_Hook(nullptr);
    }
    // The run ended idle: start button back, progress at 0, nothing left open.
    void vExpect_Idle()
    {
        EXPECT_TRUE(bControl_Enabled(hForm_Main_Control(IDC_Command_Run)));
        EXPECT_EQ(iProgress_Value(hForm_Main_Control(IDC_ProgressBar)), 0);
        EXPECT_TRUE(poVolume->lstSizes.empty());
    }
    std::vector<std::wstring> lstReports() const
    {
        std::vector<std::wstring> lst;
        for (const std::wstring &s : lstLog)
            if (s.rfind(L"report ", 0) == 0) lst.push_back(s.substr(7));
        return lst;
    }
    std::vector<std::wstring> lstLog;
    Cl_Volume_Double *poVolume = nullptr;
    const std::wstring sFolder0 = L"m:\\Delete_Me_Tenderly0";
};

}  // namespace

TEST_F(Command_Run, NoFreeSpaceAtTheStartCreatesNothing)
{
    poVolume->stFolders.insert(L"m:\\Delete_Me_Tenderly7");
    Command_Run_Click();
    // The leftover goes before filling; progress 10 once both blocks are built, 100 at the end.
    EXPECT_EQ(lstLog, (std::vector<std::wstring>{L"delete m:\\Delete_Me_Tenderly7", L"close 0"}));
    EXPECT_EQ(poVolume->lstProgress, (std::vector<int>{10, 100}));
    vExpect_Idle();
}

TEST_F(Command_Run, LessThanOneClusterLeftIsTheEnd)
{
    poVolume->dFree = 2097152 + 6000;
    Command_Run_Click();
    // One big block, one cluster at the end of the same file, then 1904
    // bytes that no file can take: no report.
    EXPECT_EQ(lstLog, (std::vector<std::wstring>{L"create " + sFolder0, L"open " + sFolder0 + L"\\Delete_Me_Tenderly.TMP0",
                                                 L"close 1", L"delete " + sFolder0}));
    EXPECT_EQ(poVolume->lstClosed_Sizes, (std::vector<double>{2097152 + 4096}));
    EXPECT_EQ(poVolume->lstProgress.back(), 100);
    vExpect_Idle();
}

TEST_F(Command_Run, ClusterSizeZeroStopsAtTheBigBlock)
{
    poVolume->dFree = 5e9;
    poVolume->uiSectors_Per_Cluster = 0;
    Command_Run_Click();
    EXPECT_EQ(lstLog, (std::vector<std::wstring>{L"close 0",
                                                 L"report Ошибка функции Command_Run_Click №11, 'Division by zero', строка 29"}));
    vExpect_Idle();
}

TEST_F(Command_Run, CancelWhileTheBlocksAreBuiltTouchesNothingBeforeTheFinishingSteps)
{
    poVolume->dFree = 5e9;
    poVolume->stFolders.insert(L"m:\\Delete_Me_Tenderly7");
    vSet_Control_Visible(hForm_Main_Control(IDC_Command_Cancel), true);
    PostMessageW(hForm_Main(), WM_COMMAND, MAKEWPARAM(IDC_Command_Cancel, BN_CLICKED),
                 reinterpret_cast<LPARAM>(hForm_Main_Control(IDC_Command_Cancel)));
    Command_Run_Click();
    EXPECT_EQ(poVolume->iFree_Readings, 0);
    EXPECT_EQ(lstLog, (std::vector<std::wstring>{L"close 0", L"delete m:\\Delete_Me_Tenderly7"}));
    EXPECT_FALSE(bControl_Enabled(hForm_Main_Control(IDC_Command_Cancel)));
    vExpect_Idle();
}

TEST_F(Command_Run, WriteFailingWithFreeSpaceLeftIsReportedAfterTheCleanUp)
{
    poVolume->dFree = 3.0 * 1073741824.0;
    poVolume->uiFailing_Write = 5;
    Command_Run_Click();
    EXPECT_EQ(lstLog, (std::vector<std::wstring>{L"create " + sFolder0, L"open " + sFolder0 + L"\\Delete_Me_Tenderly.TMP0",
                                                 L"close 1", L"delete " + sFolder0,
                                                 L"report Ошибка функции Command_Run_Click №61, 'Disk full', строка 52"}));
    vExpect_Idle();
}

TEST_F(Command_Run, FileCounterOverflowIsErrorSix)
{
    // Room for more full-size files than the counter can number; 8 MiB
    // clusters make them of 255 blocks, so that the test writes less.
    poVolume->uiSectors_Per_Cluster = 131072;
    poVolume->dFree = 33000.0 * 2143289344.0;
    Command_Run_Click();
    ASSERT_EQ(lstReports(), (std::vector<std::wstring>{L"Ошибка функции Command_Run_Click №6, 'Overflow', строка 75"}));
    EXPECT_EQ(lstLog[lstLog.size() - 3], L"close 32768");
    vExpect_Idle();
}

TEST_F(Command_Run, EmptyDriveEntryIsRefusedWithoutTouchingAnyDrive)
{
    SendMessageW(hForm_Main_Control(IDC_Drive_To_Zero), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    Command_Run_Click();
    EXPECT_EQ(lstLog, (std::vector<std::wstring>{
                          L"close 0",
                          L"report Ошибка функции Command_Run_Click №68, 'Device unavailable: no drive is chosen', строка 20"}));
    vExpect_Idle();
}

TEST_F(Command_Run, NamesTakenByOthersAreNeitherUsedNorRemoved)
{
    poVolume->dFree = 10 * MiB;
    poVolume->sPlant_At_Free_Reading = sFolder0;
    Command_Run_Click();
    EXPECT_EQ(lstLog, (std::vector<std::wstring>{L"close 0",
                                                 L"report Ошибка функции Command_Run_Click №58, 'File already exists', строка 43"}));
    EXPECT_EQ(poVolume->stFolders.count(sFolder0), 1u);
}

// The fill loop alone against the stand-in: the files it leaves on volumes
// of each size, and where it stops on a scratch name someone else has taken.
TEST(Zero_Fill_Run, FilesForEachVolumeSize)
{
    const double dFull = 1022 * 2 * MiB;
    const struct { double dFree; const wchar_t *sPlanted; std::vector<double> lstFiles; int iError, iLine; } lstRows[] = {
        {3 * 4096, L"", {3 * 4096}, 0, 84},
        {10 * MiB + 12288, L"", {10 * MiB + 12288}, 0, 84},
        {5 * GiB + 12288, L"", {dFull, dFull, 5 * GiB - 2 * dFull + 12288}, 0, 84},
        {3 * GiB, L"m:\\Delete_Me_Tenderly0\\Delete_Me_Tenderly.TMP1", {dFull}, iErr_File_Exists, 46},
    };
    for (const auto &oRow : lstRows) {
        auto oDouble = std::make_unique<Cl_Volume_Double>();
        oDouble->dFree = oRow.dFree;
        oDouble->stFiles_Planted.insert(oRow.sPlanted);
        const Cl_Volume_Double &oVolume = *oDouble;
        vReplace_FSO(std::move(oDouble));
        std::vector<int> lstProgress;
        Zero_Fill_Run::Run_State oState;
        int iLine = 0, iError = 0;
        try {
            Zero_Fill_Run::vFill(L"m:", Zero_Block(4096), Zero_Block(2 << 20),
                                 {[] {}, [] {}, [](unsigned) {}, [&](int i) { lstProgress.push_back(i); }}, iLine, oState);
        } catch (const Cl_Error &oError) {
            iError = oError.iNumber;
        }
        EXPECT_EQ(oVolume.lstSizes, oRow.lstFiles) << oRow.dFree;
        EXPECT_EQ(std::make_pair(iError, iLine), std::make_pair(oRow.iError, oRow.iLine)) << oRow.dFree;
        EXPECT_EQ(lstProgress.back(), iError ? 66 : 100);
        vRelease_FSO();
    }
}
