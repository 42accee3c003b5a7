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
#include "Zero_Fill_Run.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <optional>

using namespace Zero_Fill_Plan;

namespace {

// A poll that found the cancel request: leaves the body for the finishing steps.
struct Run_Cancelled {};

bool g_bRun_Active = false;
// The loop's state, which the clean-up at the end of the session needs too.
Zero_Fill_Run::Run_State g_oRun_State;
bool g_bClose_After_Run = false;
// One run per drive at a time, whichever copy of the program runs it: a
// second one would take the first one's scratch folder for a leftover.
HANDLE g_hDrive_Lock = nullptr;

// The end of the session stops a run; if the session then goes on after
// all, the stop is told like any other, else nothing is shown.
bool g_bStopped_For_Session = false;
bool g_bSession_Went_On = false;
std::optional<Error_Record> g_oSession_Report;

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
    if (!g_bCancel) return;
    if (g_bStopped_For_Session)
        vRaise(iErr_Interrupted, L"Зануление остановлено до конца: Windows завершала сеанс. Свободное пространство "
                                 L"занулено не полностью, запустите зануление ещё раз.");
    throw Run_Cancelled{};
}

void vLock_Drive(const std::wstring &sDrive)
{
    const std::wstring sName = L"Global\\Morvane_Zero_Fill_" + std::wstring(1, std::towupper(sDrive[0]));
    HANDLE hLock = CreateMutexW(nullptr, FALSE, sName.c_str());
    if (!hLock) vRaise_Last_Win32();
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(hLock);
        vRaise(iErr_Permission_Denied, L"Другой запуск зануления уже работает на диске " + sDrive
                                           + L". Дождитесь его окончания.");
    }
    g_hDrive_Lock = hLock;
}

// The same failure met again by the finishing steps is the one already told.
bool bSame_Failure(const std::optional<Error_Record> &oA, const Error_Record &oB)
{
    return oA && oA->iNumber == oB.iNumber && oA->sDescription == oB.sDescription;
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
            if ((k == 0 && g_oRun_State.bFolder_Not_Ours) || !g_hDrive_Lock) return;
            if (bIs_Drive_Letter(g_sDrive_Letter) && oFSO().FolderExists(sFolder)) oFSO().DeleteFolder(sFolder, true);
        });
    }
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
    g_bStopped_For_Session = true;
    if (!bSession_Ends) return;
    vRemove_Scratch([](int iLabel, const std::function<void()> &fPart) {
        oCatch_Error([&](int &iLine) {
            iLine = iLabel;
            fPart();
        });
    });
}

void vCommand_Run_Session_Goes_On()
{
    if (g_bRun_Active) g_bSession_Went_On = g_bStopped_For_Session;
    // Told once the message that said so has been answered.
    else if (g_oSession_Report && hForm_Main()) PostMessageW(hForm_Main(), WM_Run_Session_Report, 0, 0);
}

void vCommand_Run_Session_Report()
{
    if (g_oSession_Report) vReport_Error(L"Command_Run_Click", Error_Filter::a, *g_oSession_Report);
    g_oSession_Report.reset();
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
    g_bRun_Active = true;
    g_oRun_State = {};
    g_bStopped_For_Session = g_bSession_Went_On = false;
    g_oSession_Report.reset();

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
            if (!bIs_Drive_Letter(g_sDrive_Letter)) vRaise(iErr_Device_Unavailable, L"Device unavailable: no drive is chosen");
            vLock_Drive(g_sDrive_Letter);
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

            const Zero_Fill_Run::Run_Window oWindow{
                [&] { vPump(bUse_Cancel); },
                [] { vPoll(); },
                [&](unsigned uiMs) {
                    MsgWaitForMultipleObjects(0, nullptr, FALSE, uiMs, bUse_Cancel ? QS_ALLINPUT : QS_SENDMESSAGE);
                    vPump(bUse_Cancel, true);
                },
                [&](int iValue) { vSet_Progress(hProgress, iValue); },
            };
            Zero_Fill_Run::vFill(g_sDrive_Letter, vCluster_Block, vBig_Block, oWindow, iLine, g_oRun_State);
        });
    } catch (const Run_Cancelled &) {
        oError.reset();
    }

    // A run stopped by a full disk, or by a last file that found no room,
    // has filled the volume when less than one cluster is left.
    bool bFilled = false;
    if (oError && bCounts_As_Filled(oError->iNumber, 0, 0)) {
        // The free space counts only once the stopped file's data is out.
        oCatch_Error([&](int &) { oFSO().Flush_Scratch(g_oRun_State.iScratch); });
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
    if (g_hDrive_Lock) CloseHandle(g_hDrive_Lock);
    g_hDrive_Lock = nullptr;
    g_bRun_Active = false;

    // A volume gone from under the drive letter makes whatever failed in the
    // run; the clean-up's report says so, and what is left on it.
    if (oFinish_Error && oFinish_Error->iNumber == iErr_Device_Unavailable) oError.reset();
    if (oError && oError->iNumber == iErr_Interrupted && !g_bSession_Went_On) {
        g_oSession_Report = oError;
        oError.reset();
    }
    if (oError && !bFilled) vReport_Error(L"Command_Run_Click", Error_Filter::a, *oError);
    if (oFinish_Error && !bSame_Failure(oError, *oFinish_Error))
        vReport_Error(L"Command_Run_Click", Error_Filter::a, *oFinish_Error);

    if (g_bClose_After_Run) {
        g_bClose_After_Run = false;
        if (HWND hForm = hForm_Main()) PostMessageW(hForm, WM_CLOSE, 0, 0);
    }
}
