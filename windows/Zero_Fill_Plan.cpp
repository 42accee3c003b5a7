#include "Zero_Fill_Plan.h"

#include "Module_Error_Trap.h"

#include <algorithm>
#include <cmath>

namespace Zero_Fill_Plan {

std::uint64_t uiBig_Block_Size(std::uint32_t uiCluster_Size)
{
    if (uiCluster_Size == 0) return 0;
    std::uint64_t uiClusters = static_cast<std::uint64_t>(dBlock_Size) / uiCluster_Size;
    if (uiClusters == 0) uiClusters = 1;
    return uiClusters * uiCluster_Size;
}

std::uint64_t uiBlocks_Per_Full_File(std::uint64_t uiBig_Block)
{
    if (uiBig_Block == 0) return 0;
    const std::uint64_t uiFull = static_cast<std::uint64_t>(iBlocks_Per_Full_File) * 2097152u;
    const std::uint64_t uiCount = std::min<std::uint64_t>(uiFull / uiBig_Block, iBlocks_Per_Full_File);
    return uiCount == 0 ? 1 : uiCount;
}

Fill_Branch eChoose_Branch(double dFree_Space, std::uint64_t uiBig_Block, std::uint32_t uiCluster_Size)
{
    // With an ordinary cluster the big block is exactly 2 MiB, so the middle
    // threshold is the 2 MiB one; a larger block needs room for itself.
    if (uiBig_Block > 0 && dFree_Space >= dLarge_Volume
        && dFree_Space >= static_cast<double>(uiBig_Block * uiBlocks_Per_Full_File(uiBig_Block)))
        return Fill_Branch::Full_File;
    if (uiBig_Block > 0 && dFree_Space >= static_cast<double>(uiBig_Block)) return Fill_Branch::Big_Blocks;
    if (uiCluster_Size > 0 && dFree_Space >= uiCluster_Size) return Fill_Branch::Clusters;
    return Fill_Branch::Nothing;
}

std::uint64_t uiBlock_Count(Fill_Branch eBranch, double dFree_Space, std::uint64_t uiBig_Block,
                            std::uint32_t uiCluster_Size)
{
    switch (eBranch) {
    case Fill_Branch::Full_File: return uiBlocks_Per_Full_File(uiBig_Block);
    case Fill_Branch::Big_Blocks:
        return static_cast<std::uint64_t>(std::floor(dFree_Space / static_cast<double>(uiBig_Block)));
    case Fill_Branch::Clusters: return static_cast<std::uint64_t>(std::floor(dFree_Space / uiCluster_Size));
    case Fill_Branch::Nothing: break;
    }
    return 0;
}

std::uint64_t uiBlock_Length(Fill_Branch eBranch, std::uint64_t uiBig_Block, std::uint32_t uiCluster_Size)
{
    switch (eBranch) {
    case Fill_Branch::Full_File:
    case Fill_Branch::Big_Blocks: return uiBig_Block;
    case Fill_Branch::Clusters: return uiCluster_Size;
    case Fill_Branch::Nothing: break;
    }
    return 0;
}

int iProgress_Percent(double dStart_Free_Space, double dFree_Space)
{
    if (!(dStart_Free_Space > 0)) return 100;
    const float fShare = static_cast<float>((dStart_Free_Space - dFree_Space) / dStart_Free_Space * 100.0);
    const float fPercent = std::trunc(fShare);
    if (!(fPercent > 0)) return 0;  // also when others freed space meanwhile
    if (fPercent > 100) return 100;
    return static_cast<int>(fPercent);
}

bool bFree_Space_Fell(double dFree_Before, double dFree_After, double dBytes_Written)
{
    if (!(dBytes_Written > 0)) return false;
    return (dFree_Before - dFree_After) * 2 >= dBytes_Written;
}

bool bVolume_Filled(double dFree_Space, std::uint32_t uiCluster_Size)
{
    return !(dFree_Space > 0) || dFree_Space < uiCluster_Size;
}

bool bCounts_As_Filled(int iErr_Number, double dFree_Space, std::uint32_t uiCluster_Size)
{
    return (iErr_Number == iErr_Disk_Full || iErr_Number == iErr_No_Progress)
           && bVolume_Filled(dFree_Space, uiCluster_Size);
}

std::wstring sScratch_Stem(const std::wstring &sDrive_Letter)
{
    return sDrive_Letter + L"\\Delete_Me_Tenderly";
}

std::wstring sScratch_Folder(const std::wstring &sDrive_Letter, int iFolder)
{
    return sScratch_Stem(sDrive_Letter) + std::to_wstring(iFolder);
}

std::wstring sScratch_File(const std::wstring &sDrive_Letter, int iFile_Counter)
{
    return sScratch_Folder(sDrive_Letter, 0) + L"\\Delete_Me_Tenderly.TMP" + std::to_wstring(iFile_Counter);
}

}  // namespace Zero_Fill_Plan
