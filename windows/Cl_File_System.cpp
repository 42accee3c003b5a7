#include "Cl_File_System.h"

#include "Module_Error_Trap.h"

#include <windows.h>

#include <memory>
#include <optional>

namespace {

bool bIs_Dot_Entry(const wchar_t *sName)
{
    return (sName[0] == L'.' && sName[1] == 0) || (sName[0] == L'.' && sName[1] == L'.' && sName[2] == 0);
}

// Closes a handle on every way out.
struct Handle_Guard {
    HANDLE h;
    ~Handle_Guard()
    {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

// The entry itself, never what a link of it points to (on Windows).
HANDLE hOpen_Entry(const std::wstring &sPath)
{
    return CreateFileW(sPath.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::wstring sFinal_Path(HANDLE hEntry)
{
    std::wstring sPath(1024, L'\0');
    DWORD uiLength = GetFinalPathNameByHandleW(hEntry, &sPath[0], static_cast<DWORD>(sPath.size()),
                                               FILE_NAME_NORMALIZED);
    if (uiLength >= sPath.size()) {
        sPath.resize(uiLength + 1);
        uiLength = GetFinalPathNameByHandleW(hEntry, &sPath[0], static_cast<DWORD>(sPath.size()),
                                             FILE_NAME_NORMALIZED);
    }
    if (uiLength == 0 || uiLength >= sPath.size()) vRaise_Last_Win32();
    sPath.resize(uiLength);
    while (!sPath.empty() && sPath.back() == L'\\') sPath.pop_back();
    return sPath;
}

bool bSame_Path(const std::wstring &sA, const std::wstring &sB)
{
    return CompareStringOrdinal(sA.c_str(), static_cast<int>(sA.size()), sB.c_str(), static_cast<int>(sB.size()),
                                TRUE) == CSTR_EQUAL;
}

// Remembers the first failure of a clean-up that goes on past it: one stuck
// entry must not leave the rest of the scratch files filling the disk.
struct First_Error {
    std::optional<Cl_Error> oError;
    void vKeep(const Cl_Error &oNew)
    {
        if (!oError) oError = oNew;
    }
};

void vDelete_Entry(const std::wstring &sPath, const std::wstring &sExpected_Final, bool bForce, First_Error &oFirst);

void vDelete_Children(const std::wstring &sPath, const std::wstring &sFinal, bool bForce, First_Error &oFirst)
{
    WIN32_FIND_DATAW oFound;
    HANDLE hFind = FindFirstFileExW((sPath + L"\\*").c_str(), FindExInfoBasic, &oFound, FindExSearchNameMatch,
                                    nullptr, 0);
    if (hFind == INVALID_HANDLE_VALUE) {
        const DWORD uiError = GetLastError();
        if (uiError != ERROR_FILE_NOT_FOUND && uiError != ERROR_NO_MORE_FILES) vRaise_Win32(uiError);
        return;
    }
    do {
        if (bIs_Dot_Entry(oFound.cFileName)) continue;
        vDelete_Entry(sPath + L"\\" + oFound.cFileName, sFinal + L"\\" + oFound.cFileName, bForce, oFirst);
    } while (FindNextFileW(hFind, &oFound));
    FindClose(hFind);
}

// Opens the entry sPath itself and checks that it is where its name says.
// A link that the platform follows even when asked not to (Wine does so with
// Unix symbolic links) leads somewhere else: it is left alone, since deleting
// through it would delete its target.
HANDLE hOpen_Checked(const std::wstring &sPath, const std::wstring &sExpected_Final, DWORD &uiAttributes)
{
    HANDLE hEntry = hOpen_Entry(sPath);
    if (hEntry == INVALID_HANDLE_VALUE) vRaise_Last_Win32();
    Handle_Guard oEntry{hEntry};
    if (!bSame_Path(sFinal_Path(hEntry), sExpected_Final))
        vRaise(iErr_Permission_Denied,
               L"Permission denied: " + sPath + L" is a link that cannot be removed without touching its target");
    BY_HANDLE_FILE_INFORMATION oInfo;
    vCheck_Win32(GetFileInformationByHandle(hEntry, &oInfo) != 0);
    uiAttributes = oInfo.dwFileAttributes;
    oEntry.h = INVALID_HANDLE_VALUE;
    return hEntry;
}

void vDelete_Entry(const std::wstring &sPath, const std::wstring &sExpected_Final, bool bForce, First_Error &oFirst)
{
    try {
        DWORD uiAttributes = 0;
        Handle_Guard oEntry{hOpen_Checked(sPath, sExpected_Final, uiAttributes)};
        const bool bLink = (uiAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if ((uiAttributes & FILE_ATTRIBUTE_DIRECTORY) && !bLink) {
            // Listing the folder needs it open without delete access; it is
            // opened and checked again before it goes.
            CloseHandle(oEntry.h);
            oEntry.h = INVALID_HANDLE_VALUE;
            vDelete_Children(sPath, sExpected_Final, bForce, oFirst);
            oEntry.h = hOpen_Checked(sPath, sExpected_Final, uiAttributes);
        }
        if (uiAttributes & FILE_ATTRIBUTE_READONLY) {
            if (!bForce) vRaise_Win32(ERROR_ACCESS_DENIED);
            FILE_BASIC_INFO oBasic{};
            oBasic.FileAttributes = uiAttributes & ~FILE_ATTRIBUTE_READONLY;
            if (oBasic.FileAttributes == 0) oBasic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            vCheck_Win32(SetFileInformationByHandle(oEntry.h, FileBasicInfo, &oBasic, sizeof oBasic) != 0);
        }
        // Deleting through the handle removes exactly the entry checked above.
        FILE_DISPOSITION_INFO oDelete{TRUE};
        vCheck_Win32(SetFileInformationByHandle(oEntry.h, FileDispositionInfo, &oDelete, sizeof oDelete) != 0);
    } catch (const Cl_Error &oError) {
        oFirst.vKeep(oError);
    }
}

std::wstring sParent_Of(const std::wstring &sPath, std::wstring &sLeaf)
{
    const std::size_t uiSlash = sPath.find_last_of(L"\\/");
    if (uiSlash == std::wstring::npos) vRaise_Win32(ERROR_PATH_NOT_FOUND);
    sLeaf = sPath.substr(uiSlash + 1);
    std::wstring sParent = sPath.substr(0, uiSlash);
    if (sParent.size() == 2 && sParent[1] == L':') sParent += L'\\';
    return sParent;
}

// Where the entry sPath is when no link on the way leads elsewhere: its
// parent's final path and its own name.
std::wstring sExpected_Final(const std::wstring &sPath)
{
    std::wstring sLeaf;
    const std::wstring sParent = sParent_Of(sPath, sLeaf);
    Handle_Guard oParent{CreateFileW(sParent.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (oParent.h == INVALID_HANDLE_VALUE) vRaise_Last_Win32();
    return sFinal_Path(oParent.h) + L"\\" + sLeaf;
}

// The last creation of sPath failed; a name already taken is someone else's.
[[noreturn]] void vRaise_Not_Created(const std::wstring &sPath)
{
    const DWORD uiError = GetLastError();
    if (uiError == ERROR_ALREADY_EXISTS || uiError == ERROR_FILE_EXISTS)
        vRaise(iErr_File_Exists, L"File already exists: " + sPath + L" was there before the run made it");
    vRaise_Win32(uiError);
}

std::wstring sDrive_Root(const std::wstring &sDrive)
{
    std::wstring sRoot = sDrive;
    if (sRoot.empty() || sRoot.back() != L'\\') sRoot += L'\\';
    return sRoot;
}

}  // namespace

bool Cl_File_System::FolderExists(const std::wstring &sPath) const
{
    const DWORD uiAttributes = GetFileAttributesW(sPath.c_str());
    return uiAttributes != INVALID_FILE_ATTRIBUTES && (uiAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

void Cl_File_System::DeleteFolder(const std::wstring &sPath, bool bForce) const
{
    std::wstring sTrimmed = sPath;
    while (sTrimmed.size() > 3 && sTrimmed.back() == L'\\') sTrimmed.pop_back();
    std::wstring sLeaf;
    sParent_Of(sTrimmed, sLeaf);
    if (sLeaf.empty() || !FolderExists(sTrimmed)) vRaise_Win32(ERROR_PATH_NOT_FOUND);
    First_Error oFirst;
    vDelete_Entry(sTrimmed, sExpected_Final(sTrimmed), bForce, oFirst);
    if (oFirst.oError) throw *oFirst.oError;
}

void Cl_File_System::CreateFolder(const std::wstring &sPath)
{
    // Made here or not at all: a folder, junction or link that someone else
    // put under the name would have the run write where they chose.
    if (!CreateDirectoryW(sPath.c_str(), nullptr)) vRaise_Not_Created(sPath);
    // Held without delete sharing, what was made stays in place for the run;
    // if another user swapped it for a link in the moment after it was made,
    // the link is theirs and is not removed.
    Handle_Guard oFolder{CreateFileW(sPath.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (oFolder.h == INVALID_HANDLE_VALUE) vRaise_Last_Win32();
    BY_HANDLE_FILE_INFORMATION oInfo;
    vCheck_Win32(GetFileInformationByHandle(oFolder.h, &oInfo) != 0);
    if ((oInfo.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(oInfo.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        || !bSame_Path(sFinal_Path(oFolder.h), sExpected_Final(sPath)))
        vRaise(iErr_Path_Access, L"Path/File access error: " + sPath + L" is a link, not the folder the run made");
    if (m_hRun_Folder) CloseHandle(m_hRun_Folder);
    m_hRun_Folder = oFolder.h;
    oFolder.h = INVALID_HANDLE_VALUE;
}

double Cl_File_System::FreeSpace(const std::wstring &sDrive) const
{
    ULARGE_INTEGER uiAvailable{}, uiTotal{}, uiFree{};
    vCheck_Win32(GetDiskFreeSpaceExW(sDrive_Root(sDrive).c_str(), &uiAvailable, &uiTotal, &uiFree) != 0);
    return static_cast<double>(uiAvailable.QuadPart);
}

double Cl_File_System::FileSize(const std::wstring &sPath) const
{
    WIN32_FILE_ATTRIBUTE_DATA oData;
    vCheck_Win32(GetFileAttributesExW(sPath.c_str(), GetFileExInfoStandard, &oData) != 0);
    ULARGE_INTEGER uiSize;
    uiSize.LowPart = oData.nFileSizeLow;
    uiSize.HighPart = oData.nFileSizeHigh;
    return static_cast<double>(uiSize.QuadPart);
}

void Cl_File_System::Disk_Geometry(const std::wstring &sDrive, std::uint32_t &uiSectors_Per_Cluster,
                                   std::uint32_t &uiBytes_Per_Sector) const
{
    DWORD uiSectors = 0, uiBytes = 0, uiFree_Clusters = 0, uiTotal_Clusters = 0;
    if (!GetDiskFreeSpaceW(sDrive_Root(sDrive).c_str(), &uiSectors, &uiBytes, &uiFree_Clusters, &uiTotal_Clusters))
        uiSectors = uiBytes = 0;
    uiSectors_Per_Cluster = uiSectors;
    uiBytes_Per_Sector = uiBytes;
}

Cl_File_System::~Cl_File_System()
{
    m_oWrite_Behind.vWait();
    for (void *hFile : m_lstScratch)
        if (hFile) CloseHandle(hFile);
    if (m_hRun_Folder) CloseHandle(m_hRun_Folder);
}

namespace {

// Setting the end where it is makes the file system drop the blocks it
// reserved ahead for the file, which stay out of other files' reach for as
// long as the file is open, and so would never be zeroed. Only an
// economy: where it fails (a full disk) nothing is lost.
void vDrop_Reserve(HANDLE hFile)
{
    LARGE_INTEGER uiEnd{};
    if (!GetFileSizeEx(hFile, &uiEnd)) return;
    FILE_END_OF_FILE_INFO oEnd{};
    oEnd.EndOfFile = uiEnd;
    SetFileInformationByHandle(hFile, FileEndOfFileInfo, &oEnd, sizeof oEnd);
}

}  // namespace

int Cl_File_System::Open_Scratch_File(const std::wstring &sPath)
{
    // The file written before is done with once another one starts; until
    // then it keeps its reserve, where its own next data would go.
    m_oWrite_Behind.vWait();
    if (!m_lstScratch.empty() && m_lstScratch.back()) vDrop_Reserve(m_lstScratch.back());
    // Unbuffered, written-through writes were measured under Wine: it keeps
    // them in the page cache all the same, at the same speed, so the flush
    // after each file is what puts the zeros on the disk.
    // Always a new file: an existing one, or a link planted under the name,
    // is never opened, let alone emptied.
    HANDLE hFile = CreateFileW(sPath.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) vRaise_Not_Created(sPath);
    m_lstScratch.push_back(hFile);
    m_lstScratch_Names.push_back(sPath);
    return static_cast<int>(m_lstScratch.size() - 1);
}

namespace {

// The system deletes a delete-on-close file by its name: under Wine, once the
// volume under the drive letter is gone (a lazy unmount), the name leads
// elsewhere or nowhere, and the file would stay behind on that volume, full.
bool bName_Leads_To(HANDLE hFile, const std::wstring &sPath)
{
    Handle_Guard oNamed{CreateFileW(sPath.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    // A name that is there but may not be opened still leads to a file the system can delete.
    if (oNamed.h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_SHARING_VIOLATION;
    BY_HANDLE_FILE_INFORMATION oOpen{}, oNamed_Info{};
    return GetFileInformationByHandle(hFile, &oOpen)
           && GetFileInformationByHandle(oNamed.h, &oNamed_Info)
           && oOpen.dwVolumeSerialNumber == oNamed_Info.dwVolumeSerialNumber
           && oOpen.nFileIndexHigh == oNamed_Info.nFileIndexHigh && oOpen.nFileIndexLow == oNamed_Info.nFileIndexLow;
}

// Scratch files the system will not delete: their data goes through the
// handles, and the report says what is left for the next run to remove.
struct Stranded_Files {
    std::wstring sFirst;
    int iCount = 0;
    bool bAll_Emptied = true;
    void vEmpty(HANDLE hFile, const std::wstring &sPath)
    {
        if (iCount++ == 0) sFirst = sPath;
        FILE_END_OF_FILE_INFO oEnd{};
        bAll_Emptied = SetFileInformationByHandle(hFile, FileEndOfFileInfo, &oEnd, sizeof oEnd) && bAll_Emptied;
    }
    void vRaise_If_Any() const
    {
        if (iCount == 0) return;
        std::wstring sLeaf;
        const std::wstring sFolder = sParent_Of(sFirst, sLeaf);
        vRaise(iErr_Path_Access,
               L"Path/File access error: the volume of " + sFolder + L" went away during the run, and its "
                   + std::to_wstring(iCount) + L" scratch file(s) (" + sFirst + (iCount > 1 ? L", ..." : L"")
                   + L") are left on it " + (bAll_Emptied ? L"emptied to 0 bytes" : L"with their data")
                   + L"; the next run on that volume removes them");
    }
};

HANDLE hScratch(const std::vector<void *> &lstScratch, int iScratch)
{
    if (iScratch < 0 || static_cast<std::size_t>(iScratch) >= lstScratch.size() || !lstScratch[iScratch])
        vRaise(52);
    return lstScratch[iScratch];
}

}  // namespace

void Cl_File_System::Write_Scratch(int iScratch, std::uint64_t uiOffset, const void *pData, std::uint32_t uiLength)
{
    OVERLAPPED oAt{};
    oAt.Offset = static_cast<DWORD>(uiOffset & 0xFFFFFFFFu);
    oAt.OffsetHigh = static_cast<DWORD>(uiOffset >> 32);
    DWORD uiWritten = 0;
    const HANDLE hFile = hScratch(m_lstScratch, iScratch);
    vCheck_Win32(WriteFile(hFile, pData, uiLength, &uiWritten, &oAt) != 0);
    // A short write without an error means the volume ran out of room.
    if (uiWritten != uiLength) vRaise_Win32(ERROR_DISK_FULL);
    m_oWrite_Behind.vWritten(hFile, uiWritten);
}

void Cl_File_System::Flush_Scratch(int iScratch)
{
    const HANDLE hFile = hScratch(m_lstScratch, iScratch);
    if (const DWORD uiError = m_oWrite_Behind.uiDrain()) vRaise_Win32(uiError);
    vCheck_Win32(FlushFileBuffers(hFile) != 0);
}

void Cl_File_System::Close_Scratch_Files()
{
    // A background flush failure not yet told belongs to a file given up
    // without its flush (a cancel, another failure): it goes with the file.
    m_oWrite_Behind.uiDrain();
    DWORD uiFirst_Error = ERROR_SUCCESS;
    Stranded_Files oStranded;
    for (std::size_t i = 0; i < m_lstScratch.size(); ++i) {
        HANDLE hFile = m_lstScratch[i];
        if (!hFile) continue;
        if (!bName_Leads_To(hFile, m_lstScratch_Names[i])) oStranded.vEmpty(hFile, m_lstScratch_Names[i]);
        if (!CloseHandle(hFile) && uiFirst_Error == ERROR_SUCCESS) uiFirst_Error = GetLastError();
    }
    m_lstScratch.clear();
    m_lstScratch_Names.clear();
    if (m_hRun_Folder && !CloseHandle(m_hRun_Folder) && uiFirst_Error == ERROR_SUCCESS) uiFirst_Error = GetLastError();
    m_hRun_Folder = nullptr;
    oStranded.vRaise_If_Any();
    if (uiFirst_Error != ERROR_SUCCESS) vRaise_Win32(uiFirst_Error);
}

namespace {
std::unique_ptr<Cl_File_System> g_oFSO;
}

Cl_File_System &oFSO()
{
    if (!g_oFSO) g_oFSO = std::make_unique<Cl_File_System>();
    return *g_oFSO;
}

void vRelease_FSO()
{
    g_oFSO.reset();
}

void vReplace_FSO(std::unique_ptr<Cl_File_System> oFS)
{
    g_oFSO = std::move(oFS);
}
