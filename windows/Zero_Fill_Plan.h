// Arithmetic and names of a zero-fill run: what to write next, how much,
// where the progress stands and what a failure means. No Win32 calls, so the
// tests exercise every rule directly.
#pragma once

#include <cstdint>
#include <string>

namespace Zero_Fill_Plan {

constexpr double dBlock_Size = 2097152.0;                 // 2 MiB
constexpr double dLarge_Volume = 2147483648.0;           // 2 GiB
constexpr int iBlocks_Per_Full_File = 2145386496 / 2097152 - 1;  // 1022
constexpr int iLast_Scratch_Folder = 100;

// Which content the next scratch file gets, chosen by the free space read last.
enum class Fill_Branch { Full_File, Big_Blocks, Clusters, Nothing };

// Bytes in the big block: as many whole clusters as fit in 2 MiB, but never
// fewer than one, so volumes with clusters above 2 MiB still get data written.
std::uint64_t uiBig_Block_Size(std::uint32_t uiCluster_Size);

// How many big blocks make a full-size file: 1022, fewer for blocks above
// 2 MiB so that the file stays within 1022 x 2 MiB, at least one.
std::uint64_t uiBlocks_Per_Full_File(std::uint64_t uiBig_Block);

// The first branch whose threshold the free space reaches.
Fill_Branch eChoose_Branch(double dFree_Space, std::uint64_t uiBig_Block, std::uint32_t uiCluster_Size);

// Number of blocks the chosen branch writes, and the length of each of them.
std::uint64_t uiBlock_Count(Fill_Branch eBranch, double dFree_Space, std::uint64_t uiBig_Block,
                            std::uint32_t uiCluster_Size);
std::uint64_t uiBlock_Length(Fill_Branch eBranch, std::uint64_t uiBig_Block, std::uint32_t uiCluster_Size);

// Progress bar value for the share of the start free space used so far,
// truncated toward zero and kept inside the bar's 0..100 range.
int iProgress_Percent(double dStart_Free_Space, double dFree_Space);

// A file or a copy counts only if the free space fell by at least half of
// what it should hold; otherwise the volume is sharing, compressing or not
// storing the blocks and the run would never end.
bool bFree_Space_Fell(double dFree_Before, double dFree_After, double dBytes_Written);

// Error number of a file that did not lower the free space.
constexpr int iErr_No_Progress = 57;

// Less than one cluster free is as full as the volume gets: no file can take it.
bool bVolume_Filled(double dFree_Space, std::uint32_t uiCluster_Size);

// The run's trap treats "disk full", or a last file that found no room, as
// the normal end when the volume is filled.
bool bCounts_As_Filled(int iErr_Number, double dFree_Space, std::uint32_t uiCluster_Size);

// Names of the scratch set on drive sDrive_Letter (such as L"c:").
std::wstring sScratch_Stem(const std::wstring &sDrive_Letter);
std::wstring sScratch_Folder(const std::wstring &sDrive_Letter, int iFolder);
std::wstring sScratch_File(const std::wstring &sDrive_Letter, int iFile_Counter);

}  // namespace Zero_Fill_Plan
