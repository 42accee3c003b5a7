#include "Zero_Fill_Run.h"

#include "Module_Error_Trap.h"
#include "Zero_Fill_Plan.h"

#include <windows.h>

using namespace Zero_Fill_Plan;

namespace Zero_Fill_Run {

namespace {

// Writes uiCount blocks of vBlock one after the other into scratch file
// iScratch, the first at byte uiStart.
void vWrite_Blocks(int iScratch, std::uint64_t uiStart, const Zero_Block &vBlock, std::uint64_t uiCount,
                   const Run_Window &oWindow, int &iLine, int iLine_Pump, int iLine_Write)
{
    for (std::uint64_t i = 1; i <= uiCount; ++i) {
        iLine = iLine_Pump;
        oWindow.fPump();
        iLine = iLine_Pump + 1;
        oWindow.fPoll();
        iLine = iLine_Write;
        oFSO().Write_Scratch(iScratch, uiStart + (i - 1) * vBlock.size(), vBlock.data(),
                             static_cast<std::uint32_t>(vBlock.size()));
    }
}

// What the run has learnt of the volume's free-space count.
struct Volume_Count {
    bool bJudged = false;  // a written file has been compared with the free space
    bool bLate = false;    // the count showed a written file only some time later
};

// The free space once it shows the dBytes just written. Some file systems
// (btrfs) count flushed data only at their next commit, up to half a minute
// later: the first file finds out whether this volume does, and only then
// later files wait for it, up to 40 s each, after which the last reading counts.
double dSettled_Free_Space(const std::wstring &sDrive, double dBefore, double dBytes, const Run_Window &oWindow,
                           Volume_Count &oCount)
{
    double dFree = oFSO().FreeSpace(sDrive);
    if (!(dBytes > 0)) return dFree;
    const bool bMay_Wait = !oCount.bJudged || oCount.bLate;
    oCount.bJudged = true;
    if (!bMay_Wait || bFree_Space_Fell(dBefore, dFree, dBytes)) return dFree;
    const ULONGLONG uiDeadline = GetTickCount64() + 40000;
    while (!bFree_Space_Fell(dBefore, dFree, dBytes) && GetTickCount64() < uiDeadline) {
        oWindow.fWait(200);
        oWindow.fPoll();
        dFree = oFSO().FreeSpace(sDrive);
    }
    oCount.bLate = bFree_Space_Fell(dBefore, dFree, dBytes);
    return dFree;
}

[[noreturn]] void vRaise_No_Progress(const std::wstring &sFile)
{
    vRaise(iErr_No_Progress, L"Device I/O error: the free space did not decrease after writing " + sFile
                                 + L" (the volume compresses or shares the zeros, or does not store them)");
}

// One run's loop and what it has seen of the volume so far.
struct Fill_Loop {
    const std::wstring &sDrive;
    const Run_Window &oWindow;
    int &iLine;
    Run_State &oState;
    double dStart_Free_Space = 0;
    double dFree_Space = 0;  // as read last
    int16_t iFile_Counter = 0;
    Volume_Count oCount;

    // Puts the scratch file written last on the device and reads the free
    // space once it shows the dBytes written; a file that took no room stops the run.
    double dFlushed_Free_Space(const std::wstring &sFile, double dBefore, double dBytes, int iLine_Settle)
    {
        oFSO().Flush_Scratch(oState.iScratch);
        iLine = iLine_Settle;
        const double dFree = dSettled_Free_Space(sDrive, dBefore, dBytes, oWindow, oCount);
        if (!bFree_Space_Fell(dBefore, dFree, dBytes)) vRaise_No_Progress(sFile);
        return dFree;
    }

    // Copies of what the file sFile_Name holds from uiFile_Start on, while one
    // more fits; sFile_Name and uiFile_Start end up naming the last of them.
    void vCopy_While_It_Fits(std::wstring &sFile_Name, std::uint64_t &uiFile_Start, const Zero_Block &vBlock,
                             std::uint64_t uiCount)
    {
        const double dFile_Bytes = static_cast<double>(uiCount) * static_cast<double>(vBlock.size());
        for (;;) {
            iLine = 71;
            oWindow.fProgress(iProgress_Percent(dStart_Free_Space, dFree_Space));
            iLine = 72;
            // A copy is of what this step wrote, not of the file it continued.
            if (!(oFSO().FreeSpace(sDrive) > oFSO().FileSize(sFile_Name) - static_cast<double>(uiFile_Start)))
                return;
            iLine = 73;
            oWindow.fPump();
            iLine = 74;
            oWindow.fPoll();
            iLine = 75;
            iFile_Counter = iIncrement_Checked(iFile_Counter);
            // The copy is the same zeros, so it is written straight from the
            // block in memory rather than read back first.
            iLine = 76;
            const std::wstring sCopy_Name = sScratch_File(sDrive, iFile_Counter);
            const double dCopy_Before = oFSO().FreeSpace(sDrive);
            oState.iScratch = oFSO().Open_Scratch_File(sCopy_Name);
            vWrite_Blocks(oState.iScratch, 0, vBlock, uiCount, oWindow, iLine, 73, 76);
            dFlushed_Free_Space(sCopy_Name, dCopy_Before, dFile_Bytes, 76);
            iLine = 77;
            sFile_Name = sCopy_Name;
            uiFile_Start = 0;
            iLine = 78;
            dFree_Space = oFSO().FreeSpace(sDrive);
        }
    }
};

}  // namespace

void vFill(const std::wstring &sDrive, const Zero_Block &vCluster_Block, const Zero_Block &vBig_Block,
           const Run_Window &oWindow, int &iLine, Run_State &oState)
{
    const auto uiCluster_Size = static_cast<std::uint32_t>(vCluster_Block.size());
    Fill_Loop oLoop{sDrive, oWindow, iLine, oState, 0, 0, 0, {}};
    iLine = 40;
    oLoop.dFree_Space = oFSO().FreeSpace(sDrive);
    iLine = 41;
    oLoop.dStart_Free_Space = oLoop.dFree_Space;
    bool bFolder_Made = false;
    std::wstring sLast_File;       // the scratch file written last
    std::uint64_t uiLast_End = 0;  // and its length

    iLine = 42;
    while (!bVolume_Filled(oLoop.dFree_Space, uiCluster_Size)) {
        iLine = 43;
        // The leftovers are gone, so the name is free unless someone took it
        // since: the run then stops without touching it.
        if (!bFolder_Made) {
            oState.bFolder_Not_Ours = true;
            oFSO().CreateFolder(sScratch_Folder(sDrive, 0));
            oState.bFolder_Not_Ours = false;
            bFolder_Made = true;
        }
        iLine = 44;
        std::wstring sFile_Name = sScratch_File(sDrive, oLoop.iFile_Counter);
        const Fill_Branch eBranch = eChoose_Branch(oLoop.dFree_Space, vBig_Block.size(), uiCluster_Size);
        // The last clusters carry on at the end of the file written last,
        // where the file system goes on placing that file's data, as it does
        // for one long file: a new file would be put elsewhere, and the free
        // blocks it leaves at the old file's end (some hundreds on ext4)
        // would never be zeroed.
        const bool bContinue = eBranch == Fill_Branch::Clusters && oState.iScratch >= 0;
        std::uint64_t uiFile_Start = bContinue ? uiLast_End : 0;
        iLine = 46;
        if (bContinue) sFile_Name = sLast_File;
        else oState.iScratch = oFSO().Open_Scratch_File(sFile_Name);

        iLine = 47;
        const std::uint64_t uiCount = uiBlock_Count(eBranch, oLoop.dFree_Space, vBig_Block.size(), uiCluster_Size);
        const Zero_Block &vBlock = eBranch == Fill_Branch::Clusters ? vCluster_Block : vBig_Block;
        auto vWrite = [&](int iLine_Pump, int iLine_Write) {
            vWrite_Blocks(oState.iScratch, uiFile_Start, vBlock, uiCount, oWindow, iLine, iLine_Pump, iLine_Write);
        };
        switch (eBranch) {
        case Fill_Branch::Full_File: vWrite(49, 52); break;
        case Fill_Branch::Big_Blocks: vWrite(56, 59); break;
        case Fill_Branch::Clusters: vWrite(63, 66); break;
        case Fill_Branch::Nothing: break;
        }
        // The file stays open, and so deleted by the system whatever ends the
        // program, until the caller's finishing steps close it.
        iLine = 69;
        oLoop.dFree_Space = oLoop.dFlushed_Free_Space(
            sFile_Name, oLoop.dFree_Space, static_cast<double>(uiCount) * static_cast<double>(vBlock.size()), 70);
        oLoop.vCopy_While_It_Fits(sFile_Name, uiFile_Start, vBlock, uiCount);
        sLast_File = sFile_Name;
        uiLast_End = uiFile_Start + uiCount * vBlock.size();
        iLine = 81;
        oLoop.iFile_Counter = iIncrement_Checked(oLoop.iFile_Counter);
        iLine = 82;
        oLoop.dFree_Space = oFSO().FreeSpace(sDrive);
    }
    iLine = 84;
    oWindow.fProgress(100);
}

}  // namespace Zero_Fill_Run
