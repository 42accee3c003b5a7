#include "Zero_Fill_Plan.h"

#include <gtest/gtest.h>

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

TEST(Zero_Fill_Plan, DiskFullWithNothingFreeIsTheNormalEnd)
{
    EXPECT_TRUE(bCounts_As_Filled(61, 0));
    EXPECT_FALSE(bCounts_As_Filled(61, 4096));
    EXPECT_FALSE(bCounts_As_Filled(53, 0));
    EXPECT_FALSE(bCounts_As_Filled(6, 0));
}

TEST(Zero_Fill_Plan, ScratchNames)
{
    EXPECT_EQ(sScratch_Stem(L"m:"), L"m:\\Delete_Me_Tenderly");
    EXPECT_EQ(sScratch_Folder(L"m:", 0), L"m:\\Delete_Me_Tenderly0");
    EXPECT_EQ(sScratch_Folder(L"c:", 100), L"c:\\Delete_Me_Tenderly100");
    EXPECT_EQ(sScratch_File(L"c:", 0), L"c:\\Delete_Me_Tenderly0\\Delete_Me_Tenderly.TMP0");
    EXPECT_EQ(sScratch_File(L"c:", 12), L"c:\\Delete_Me_Tenderly0\\Delete_Me_Tenderly.TMP12");
}
