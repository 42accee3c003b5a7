// The zero-fill run of Form_Main's start button: the drive's free space is
// filled with scratch files of zeros, then every scratch folder is removed.
#include "Form_Main_Run.h"

#include "Cl_File_System.h"
#include "Form_Main.h"
#include "Module_Error_Trap.h"
#include "Module_Globals.h"
#include "Win_Controls.h"
#include "Win_Message_Loop.h"
#include "Zero_Fill_Plan.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <optional>

using namespace Zero_Fill_Plan;

namespace {

// A poll that found the cancel request: leaves the body for the finishing steps.
struct Run_Cancelled {};

bool g_bRun_Active = false;
// The run's folder name was found taken (or swapped for a link): what is
// there is someone else's, and the clean-up leaves it alone.
bool g_bFolder_Not_Ours = false;
bool g_bClose_After_Run = false;

ULONGLONG g_uiLast_Sent_Check = 0;
unsigned g_uiPumps_Skipped = 0;

// Lets the window work while a cancellable run goes on. Without the option
// the window stays still, but what other programs send it, the end of the
// session among them, is still answered a few times a second (bNow: at once).
void vPump(bool bUse_Cancel, bool bNow = false)
{
    if (bUse_Cancel) {
        vDo_Events();
        return;
    }
    if (!bNow && ++g_uiPumps_Skipped % 16 != 0) return;
    const ULONGLONG uiNow = GetTickCount64();
    if (!bNow && uiNow - g_uiLast_Sent_Check < 50) return;
    g_uiLast_Sent_Check = uiNow;
    MSG oMessage;
    PeekMessageW(&oMessage, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

bool bIs_Drive_Letter(const std::wstring &sDrive)
{
    return sDrive.size() == 2 && sDrive[1] == L':'
           && ((sDrive[0] >= L'a' && sDrive[0] <= L'z') || (sDrive[0] >= L'A' && sDrive[0] <= L'Z'));
}

void vPoll()
{
    if (g_bCancel) throw Run_Cancelled{};
}

// Writes uiCount blocks of vBlock one after the other into scratch file
// iScratch, the first at byte uiStart.
void vWrite_Blocks(int iScratch, std::uint64_t uiStart, const Zero_Block &vBlock, std::uint64_t uiCount,
                   bool bUse_Cancel, int &iLine, int iLine_Pump, int iLine_Write)
{
    for (std::uint64_t i = 1; i <= uiCount; ++i) {
        iLine = iLine_Pump;
        vPump(bUse_Cancel);
        iLine = iLine_Pump + 1;
        vPoll();
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
double dSettled_Free_Space(double dBefore, double dBytes, bool bUse_Cancel, Volume_Count &oCount)
{
    double dFree = oFSO().FreeSpace(g_sDrive_Letter);
    if (!(dBytes > 0)) return dFree;
    const bool bMay_Wait = !oCount.bJudged || oCount.bLate;
    oCount.bJudged = true;
    if (!bMay_Wait || bFree_Space_Fell(dBefore, dFree, dBytes)) return dFree;
    const ULONGLONG uiDeadline = GetTickCount64() + 40000;
    while (!bFree_Space_Fell(dBefore, dFree, dBytes) && GetTickCount64() < uiDeadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, bUse_Cancel ? QS_ALLINPUT : QS_SENDMESSAGE);
        vPump(bUse_Cancel, true);
        vPoll();
        dFree = oFSO().FreeSpace(g_sDrive_Letter);
    }
    oCount.bLate = bFree_Space_Fell(dBefore, dFree, dBytes);
    return dFree;
}

// Closes the scratch files, which the system then deletes, and removes every
// scratch folder; fStep runs each part under its line label, so that one that
// fails never keeps the others from freeing the disk.
void vRemove_Scratch(const std::function<void(int iLabel, const std::function<void()> &fPart)> &fStep)
{
    fStep(87, [] { oFSO().Close_Scratch_Files(); });
    for (int k = 0; k <= iLast_Scratch_Folder; ++k) {
        fStep(89, [k] {
            const std::wstring sFolder = sScratch_Folder(g_sDrive_Letter, k);
            if (k == 0 && g_bFolder_Not_Ours) return;
            if (bIs_Drive_Letter(g_sDrive_Letter) && oFSO().FolderExists(sFolder)) oFSO().DeleteFolder(sFolder, true);
        });
    }
}

[[noreturn]] void vRaise_No_Progress(const std::wstring &sFile)
{
    vRaise(iErr_No_Progress, L"Device I/O error: the free space did not decrease after writing " + sFile
                                 + L" (the volume compresses or shares the zeros, or does not store them)");
}

void vSet_Progress(HWND hProgress, int iValue)
{
    // Setting the same value again would only repaint the bar.
    iValue = std::clamp(iValue, 0, 100);
    if (iProgress_Value(hProgress) != iValue) vSet_Progress_Value(hProgress, iValue);
}

}  // namespace

int32_t dGet_Cluster_Size(const std::wstring &sDrive)
{
    int32_t iResult = 0;
    bRun_Trapped(L"dGet_Cluster_Size", Error_Filter::a, [&](int &iLine) {
        iLine = 3;
        std::uint32_t uiSectors_Per_Cluster = 0, uiBytes_Per_Sector = 0;
        oFSO().Disk_Geometry(sDrive, uiSectors_Per_Cluster, uiBytes_Per_Sector);
        iLine = 4;
        iResult = iMultiply_Checked(static_cast<int32_t>(std::min<std::uint32_t>(uiSectors_Per_Cluster, INT32_MAX)),
                                    static_cast<int32_t>(std::min<std::uint32_t>(uiBytes_Per_Sector, INT32_MAX)));
    });
    return iResult;
}

void vCommand_Run_End_Session(bool bSession_Ends)
{
    if (!g_bRun_Active) return;
    g_bCancel = true;
    if (!bSession_Ends) return;
    vRemove_Scratch([](int iLabel, const std::function<void()> &fPart) {
        oCatch_Error([&](int &iLine) {
            iLine = iLabel;
            fPart();
        });
    });
}

bool bCommand_Run_Defer_Close()
{
    if (!g_bRun_Active) return false;
    g_bCancel = true;
    g_bClose_After_Run = true;
    return true;
}

void Command_Run_Click()
{
    bool bUse_Cancel = false;
    const HWND hCommand_Run = hForm_Main_Control(IDC_Command_Run);
    const HWND hCommand_Cancel = hForm_Main_Control(IDC_Command_Cancel);
    const HWND hProgress = hForm_Main_Control(IDC_ProgressBar);
    int32_t iCluster_Size = 0;
    int iScratch = -1;  // the scratch file written last
    g_bRun_Active = true;
    g_bFolder_Not_Ours = false;

    std::optional<Error_Record> oError;
    try {
        oError = oCatch_Error([&](int &iLine) {
            iLine = 16;
            bUse_Cancel = bControl_Visible(hCommand_Cancel);
            iLine = 17;
            if (bUse_Cancel) vSet_Control_Enabled(hCommand_Cancel, true);
            iLine = 18;
            vSet_Control_Enabled(hCommand_Run, false);
            iLine = 19;
            g_bCancel = false;
            iLine = 20;
            g_sDrive_Letter = sControl_Text(hForm_Main_Control(IDC_Drive_To_Zero)).substr(0, 2);
            // Without a drive the names below would lead to the current drive's root.
            if (!bIs_Drive_Letter(g_sDrive_Letter)) vRaise(68, L"Device unavailable: no drive is chosen");
            iLine = 21;
            const std::wstring sStem = sScratch_Stem(g_sDrive_Letter);
            iLine = 22;
            iCluster_Size = dGet_Cluster_Size(g_sDrive_Letter);

            // The cluster block, built in steps so a cancel is seen early.
            iLine = 23;
            Zero_Block vCluster_Block;
            vCluster_Block.reserve(static_cast<std::size_t>(std::max(iCluster_Size, 0)));
            while (static_cast<int32_t>(vCluster_Block.size()) < iCluster_Size) {
                iLine = 24;
                vPump(bUse_Cancel);
                iLine = 25;
                vPoll();
                iLine = 26;
                const std::size_t uiStep = std::min<std::size_t>(65536, iCluster_Size - vCluster_Block.size());
                vCluster_Block.insert(vCluster_Block.end(), uiStep, '\0');
            }
            iLine = 28;
            vSet_Progress(hProgress, iProgress_Value(hProgress) + 5);

            iLine = 29;
            dDivide_Checked(dBlock_Size, iCluster_Size);
            const std::uint64_t uiBig_Size = uiBig_Block_Size(static_cast<std::uint32_t>(iCluster_Size));
            Zero_Block vBig_Block;
            vBig_Block.reserve(uiBig_Size);
            while (vBig_Block.size() < uiBig_Size) {
                iLine = 30;
                vPump(bUse_Cancel);
                iLine = 31;
                vPoll();
                iLine = 32;
                vBig_Block.insert(vBig_Block.end(), vCluster_Block.begin(), vCluster_Block.end());
            }
            iLine = 34;
            vSet_Progress(hProgress, iProgress_Value(hProgress) + 5);

            for (int k = 0; k <= iLast_Scratch_Folder; ++k) {
                iLine = 36;
                vPump(bUse_Cancel);
                iLine = 37;
                vPoll();
                iLine = 38;
                const std::wstring sFolder = sScratch_Folder(g_sDrive_Letter, k);
                if (oFSO().FolderExists(sFolder)) oFSO().DeleteFolder(sFolder, true);
            }

            iLine = 40;
            double dFree_Space = oFSO().FreeSpace(g_sDrive_Letter);
            iLine = 41;
            const double dStart_Free_Space = dFree_Space;
            int16_t iFile_Counter = 0;
            Volume_Count oCount;
            bool bFolder_Made = false;

            std::wstring sLast_File;        // the scratch file written last
            std::uint64_t uiLast_End = 0;   // and its length

            iLine = 42;
            while (!bVolume_Filled(dFree_Space, static_cast<std::uint32_t>(iCluster_Size))) {
                iLine = 43;
                // The leftovers are gone, so the name is free unless someone
                // took it since: the run then stops without touching it.
                if (!bFolder_Made) {
                    g_bFolder_Not_Ours = true;
                    oFSO().CreateFolder(sStem + L"0");
                    g_bFolder_Not_Ours = false;
                    bFolder_Made = true;
                }
                iLine = 44;
                std::wstring sFile_Name = sScratch_File(g_sDrive_Letter, iFile_Counter);
                const Fill_Branch eBranch = eChoose_Branch(dFree_Space, uiBig_Size, iCluster_Size);
                // The last clusters carry on at the end of the file written
                // last, where the file system goes on placing that file's
                // data, as it does for one long file: a new file would be put
                // elsewhere, and the free blocks it leaves at the old file's
                // end (some hundreds on ext4) would never be zeroed.
                const bool bContinue = eBranch == Fill_Branch::Clusters && iScratch >= 0;
                std::uint64_t uiFile_Start = bContinue ? uiLast_End : 0;
                iLine = 46;
                if (bContinue) sFile_Name = sLast_File;
                else iScratch = oFSO().Open_Scratch_File(sFile_Name);

                iLine = 47;
                const std::uint64_t uiCount = uiBlock_Count(eBranch, dFree_Space, uiBig_Size, iCluster_Size);
                const Zero_Block &vBlock = eBranch == Fill_Branch::Clusters ? vCluster_Block : vBig_Block;
                auto vWrite = [&](int iLine_Pump, int iLine_Write) {
                    vWrite_Blocks(iScratch, uiFile_Start, vBlock, uiCount, bUse_Cancel, iLine, iLine_Pump, iLine_Write);
                };
                switch (eBranch) {
                case Fill_Branch::Full_File: vWrite(49, 52); break;
                case Fill_Branch::Big_Blocks: vWrite(56, 59); break;
                case Fill_Branch::Clusters: vWrite(63, 66); break;
                case Fill_Branch::Nothing: break;
                }
                const double dFile_Bytes = static_cast<double>(uiCount) * static_cast<double>(vBlock.size());
                sLast_File = sFile_Name;
                uiLast_End = uiFile_Start + uiCount * vBlock.size();

                // The file stays open, and so deleted by the system whatever
                // ends the program, until the finishing steps close it.
                iLine = 69;
                oFSO().Flush_Scratch(iScratch);
                iLine = 70;
                const double dFree_Before = dFree_Space;
                dFree_Space = dSettled_Free_Space(dFree_Before, dFile_Bytes, bUse_Cancel, oCount);
                if (!bFree_Space_Fell(dFree_Before, dFree_Space, dFile_Bytes)) vRaise_No_Progress(sFile_Name);

                for (;;) {
                    iLine = 71;
                    vSet_Progress(hProgress, iProgress_Percent(dStart_Free_Space, dFree_Space));
                    iLine = 72;
                    // A copy is of what this step wrote, not of the file it continued.
                    if (!(oFSO().FreeSpace(g_sDrive_Letter)
                          > oFSO().FileSize(sFile_Name) - static_cast<double>(uiFile_Start)))
                        break;
                    iLine = 73;
                    vPump(bUse_Cancel);
                    iLine = 74;
                    vPoll();
                    iLine = 75;
                    iFile_Counter = iIncrement_Checked(iFile_Counter);
                    // The copy is the same zeros, so it is written straight
                    // from the block in memory rather than read back first.
                    iLine = 76;
                    const std::wstring sCopy_Name = sScratch_File(g_sDrive_Letter, iFile_Counter);
                    const double dCopy_Before = oFSO().FreeSpace(g_sDrive_Letter);
                    iScratch = oFSO().Open_Scratch_File(sCopy_Name);
                    vWrite_Blocks(iScratch, 0, vBlock, uiCount, bUse_Cancel, iLine, 73, 76);
                    oFSO().Flush_Scratch(iScratch);
                    if (!bFree_Space_Fell(dCopy_Before,
                                          dSettled_Free_Space(dCopy_Before, dFile_Bytes, bUse_Cancel, oCount),
                                          dFile_Bytes))
                        vRaise_No_Progress(sCopy_Name);
                    iLine = 77;
                    sFile_Name = sCopy_Name;
                    sLast_File = sCopy_Name;
                    uiFile_Start = 0;
                    uiLast_End = uiCount * vBlock.size();
                    iLine = 78;
                    dFree_Space = oFSO().FreeSpace(g_sDrive_Letter);
                }
                iLine = 81;
                iFile_Counter = iIncrement_Checked(iFile_Counter);
                iLine = 82;
                dFree_Space = oFSO().FreeSpace(g_sDrive_Letter);
            }
            iLine = 84;
            vSet_Progress(hProgress, 100);
        });
    } catch (const Run_Cancelled &) {
        oError.reset();
    }

    // A run stopped by a full disk, or by a last file that found no room,
    // has filled the volume when less than one cluster is left.
    bool bFilled = false;
    if (oError && bCounts_As_Filled(oError->iNumber, 0, 0)) {
        // The free space counts only once the stopped file's data is out.
        oCatch_Error([&](int &) { oFSO().Flush_Scratch(iScratch); });
        oCatch_Error([&](int &) {
            bFilled = bCounts_As_Filled(oError->iNumber, oFSO().FreeSpace(g_sDrive_Letter),
                                        static_cast<std::uint32_t>(iCluster_Size));
        });
    }
    if (bFilled) vSet_Progress(hProgress, 100);

    // Finishing steps, before any report, so that a box waiting for its OK
    // never keeps the disk full. Every step is tried; the first failure is
    // reported after the run's own.
    std::optional<Error_Record> oFinish_Error;
    auto vFinish_Step = [&](int iLabel, const std::function<void()> &fStep) {
        std::optional<Error_Record> oStep = oCatch_Error([&](int &iLine) {
            iLine = iLabel;
            fStep();
        });
        if (oStep && !oFinish_Error) oFinish_Error = oStep;
    };
    vFinish_Step(86, [] { Beep(2500, 5); });
    vRemove_Scratch(vFinish_Step);
    vFinish_Step(91, [&] {
        if (bUse_Cancel) vSet_Control_Enabled(hCommand_Cancel, false);
    });
    vFinish_Step(92, [&] { vSet_Control_Enabled(hCommand_Run, true); });
    vFinish_Step(98, [&] { vSet_Progress(hProgress, 0); });
    g_bRun_Active = false;

    if (oError && !bFilled) vReport_Error(L"Command_Run_Click", Error_Filter::a, *oError);
    if (oFinish_Error) vReport_Error(L"Command_Run_Click", Error_Filter::a, *oFinish_Error);

    if (g_bClose_After_Run) {
        g_bClose_After_Run = false;
        if (HWND hForm = hForm_Main()) PostMessageW(hForm, WM_CLOSE, 0, 0);
    }
}
