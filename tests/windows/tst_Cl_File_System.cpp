#include "Cl_File_System.h"
#include "Module_Error_Trap.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::wstring sTemp_Folder(const wchar_t *sName)
{
    wchar_t sTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, sTemp);
    const std::wstring sPath = std::wstring(sTemp) + sName;
    // A run that stopped half-way leaves its folder behind.
    if (GetFileAttributesW(sPath.c_str()) != INVALID_FILE_ATTRIBUTES) Cl_File_System().DeleteFolder(sPath, true);
    return sPath;
}

void vWrite_Text(const std::wstring &sPath, const std::string &sText)
{
    HANDLE h = CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD uiWritten = 0;
    WriteFile(h, sText.data(), static_cast<DWORD>(sText.size()), &uiWritten, nullptr);
    CloseHandle(h);
}

std::string sRead_All(const std::wstring &sPath)
{
    HANDLE h = CreateFileW(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string sData(1 << 20, '\0');
    DWORD uiRead = 0;
    ReadFile(h, &sData[0], static_cast<DWORD>(sData.size()), &uiRead, nullptr);
    CloseHandle(h);
    sData.resize(uiRead);
    return sData;
}

bool bExists(const std::wstring &sPath)
{
    return GetFileAttributesW(sPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int32_t iError_Of(const std::function<void()> &fCall)
{
    try {
        fCall();
    } catch (const Cl_Error &oError) {
        return oError.iNumber;
    }
    return 0;
}

}  // namespace

TEST(Cl_File_System, DeleteFolderWithForceRemovesReadOnlyFilesAndFolders)
{
    Cl_File_System oFS;
    const std::wstring sRoot = sTemp_Folder(L"morvane_fs_ro");
    ASSERT_TRUE(CreateDirectoryW(sRoot.c_str(), nullptr)) << GetLastError();
    CreateDirectoryW((sRoot + L"\\sub").c_str(), nullptr);
    CreateDirectoryW((sRoot + L"\\sub\\deeper").c_str(), nullptr);
    vWrite_Text(sRoot + L"\\a.TMP0", "zeros");
    vWrite_Text(sRoot + L"\\sub\\deeper\\b.TMP1", "zeros");
    SetFileAttributesW((sRoot + L"\\a.TMP0").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((sRoot + L"\\sub\\deeper\\b.TMP1").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((sRoot + L"\\sub").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);

    EXPECT_TRUE(oFS.FolderExists(sRoot));
    // Without force a read-only file stops the removal.
    EXPECT_NE(iError_Of([&] { oFS.DeleteFolder(sRoot, false); }), 0);
    EXPECT_EQ(iError_Of([&] { oFS.DeleteFolder(sRoot, true); }), 0);
    EXPECT_FALSE(bExists(sRoot));
    EXPECT_FALSE(oFS.FolderExists(sRoot));
}

TEST(Cl_File_System, MissingPathsRaiseFileNotFound)
{
    Cl_File_System oFS;
    const std::wstring sMissing = sTemp_Folder(L"morvane_fs_missing");
    EXPECT_FALSE(oFS.FolderExists(sMissing));
    EXPECT_EQ(iError_Of([&] { oFS.DeleteFolder(sMissing, true); }), iErr_File_Not_Found);
    EXPECT_EQ(iError_Of([&] { oFS.FileSize(sMissing + L"\\x"); }), iErr_File_Not_Found);
    EXPECT_EQ(iError_Of([&] { oFS.Open_Scratch_File(sMissing + L"\\x"); }), iErr_File_Not_Found);
    EXPECT_NE(iError_Of([&] { oFS.CreateFolder(sMissing + L"\\a\\b"); }), 0);
}

TEST(Cl_File_System, ScratchFilesWriteAtOffsetsAndGoWhenClosed)
{
    Cl_File_System oFS;
    const std::wstring sRoot = sTemp_Folder(L"morvane_fs_copy");
    oFS.CreateFolder(sRoot);
    EXPECT_EQ(iError_Of([&] { oFS.CreateFolder(sRoot); }), iErr_File_Exists);

    // Scratch files are there while open, and deleted by the system once closed.
    const Zero_Block vBlock(4096, '\0');
    const int iScratch = oFS.Open_Scratch_File(sRoot + L"\\Delete_Me_Tenderly.TMP0");
    EXPECT_EQ(iError_Of([&] { oFS.Open_Scratch_File(sRoot + L"\\Delete_Me_Tenderly.TMP0"); }), iErr_File_Exists);
    for (int i = 0; i < 3; ++i)
        oFS.Write_Scratch(iScratch, static_cast<std::uint64_t>(i) * vBlock.size(), vBlock.data(), 4096);
    oFS.Flush_Scratch(iScratch);
    EXPECT_EQ(oFS.FileSize(sRoot + L"\\Delete_Me_Tenderly.TMP0"), 12288.0);
    EXPECT_EQ(sRead_All(sRoot + L"\\Delete_Me_Tenderly.TMP0"), std::string(12288, '\0'));
    // A long one is flushed in the background while written, and may be
    // closed while such a flush is still going on.
    const Zero_Block vStep(Cl_Write_Behind::uiStep_Bytes, '\0');
    const int iLong = oFS.Open_Scratch_File(sRoot + L"\\Delete_Me_Tenderly.TMP1");
    for (int i = 0; i < 3; ++i)
        oFS.Write_Scratch(iLong, static_cast<std::uint64_t>(i) * vStep.size(), vStep.data(),
                          static_cast<std::uint32_t>(vStep.size()));
    EXPECT_EQ(oFS.FileSize(sRoot + L"\\Delete_Me_Tenderly.TMP1"), 3.0 * vStep.size());
    oFS.Close_Scratch_Files();
    EXPECT_FALSE(bExists(sRoot + L"\\Delete_Me_Tenderly.TMP0"));
    EXPECT_FALSE(bExists(sRoot + L"\\Delete_Me_Tenderly.TMP1"));
    EXPECT_EQ(iError_Of([&] { oFS.Flush_Scratch(iScratch); }), 52);

    oFS.DeleteFolder(sRoot, true);
    EXPECT_FALSE(bExists(sRoot));
}

TEST(Cl_File_System, FreeSpaceIsReadFromTheDriveRoot)
{
    Cl_File_System oFS;
    wchar_t sTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, sTemp);
    const std::wstring sDrive(sTemp, 2);
    const double dFree = oFS.FreeSpace(sDrive);
    EXPECT_GT(dFree, 0.0);
    EXPECT_EQ(dFree, oFS.FreeSpace(sDrive + L"\\"));
    EXPECT_NE(iError_Of([] { Cl_File_System().FreeSpace(L"?:"); }), 0);
}

// The folder named by MORVANE_PLANTED_FOLDER holds ordinary files next to
// links that lead outside it (planted by the script that runs this test,
// which afterwards checks that every link target still exists).
TEST(Cl_File_System, DeleteFolderNeverDeletesThroughLinks)
{
    const char *sPlanted = std::getenv("MORVANE_PLANTED_FOLDER");
    if (!sPlanted) GTEST_SKIP() << "MORVANE_PLANTED_FOLDER is not set: run through planted_links.sh";
    const std::wstring sFolder(sPlanted, sPlanted + std::strlen(sPlanted));
    Cl_File_System oFS;
    ASSERT_TRUE(oFS.FolderExists(sFolder));
    // A name taken by a link is never used, nor what the link leads to emptied.
    EXPECT_EQ(iError_Of([&] { oFS.CreateFolder(sFolder + L"\\dir_link"); }), iErr_File_Exists);
    EXPECT_EQ(iError_Of([&] { oFS.Open_Scratch_File(sFolder + L"\\file_link"); }), iErr_File_Exists);
    SetFileAttributesW((sFolder + L"\\plain.TMP0").c_str(), FILE_ATTRIBUTE_READONLY);
    const int32_t iError = iError_Of([&] { oFS.DeleteFolder(sFolder, true); });
    // Where the platform can remove a link only by following it, the link
    // stays and the removal reports it; everything else is gone either way.
    if (iError == 0) EXPECT_FALSE(bExists(sFolder));
    else EXPECT_EQ(iError, iErr_Permission_Denied);
    EXPECT_FALSE(bExists(sFolder + L"\\plain.TMP0"));
    EXPECT_FALSE(bExists(sFolder + L"\\sub\\plain.TMP1"));
}
