#include "Cl_File_System.h"

#include "Module_Error_Trap.h"

#include <windows.h>
#include <winternl.h>

#include <functional>
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
    return CreateFileW(sPath.c_str(), DELETE | SYNCHRONIZE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The name the system holds for the open entry, links on the way resolved.
// Asked of the object itself: GetFinalPathNameByHandle fails under Wine
// (More data available) for names longer than MAX_PATH.
std::wstring sFinal_Path(HANDLE hEntry)
{
    std::vector<char> vBuffer(sizeof(OBJECT_NAME_INFORMATION) + 1024 * sizeof(wchar_t));
    ULONG uiNeeded = 0;
    NTSTATUS iStatus = NtQueryObject(hEntry, ObjectNameInformation, vBuffer.data(),
                                     static_cast<ULONG>(vBuffer.size()), &uiNeeded);
    if (iStatus < 0 && uiNeeded > vBuffer.size()) {
        vBuffer.resize(uiNeeded);
        iStatus = NtQueryObject(hEntry, ObjectNameInformation, vBuffer.data(), static_cast<ULONG>(vBuffer.size()),
                                &uiNeeded);
    }
    if (iStatus < 0) vRaise_Win32(RtlNtStatusToDosError(iStatus));
    const UNICODE_STRING &oName = reinterpret_cast<const OBJECT_NAME_INFORMATION *>(vBuffer.data())->Name;
    std::wstring sPath(oName.Buffer, oName.Length / sizeof(wchar_t));
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

[[noreturn]] void vRaise_Link(const std::wstring &sName)
{
    vRaise(iErr_Permission_Denied,
           L"Permission denied: " + sName + L" is a link that cannot be removed without touching its target");
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
    if (!bSame_Path(sFinal_Path(hEntry), sExpected_Final)) vRaise_Link(sPath);
    BY_HANDLE_FILE_INFORMATION oInfo;
    vCheck_Win32(GetFileInformationByHandle(hEntry, &oInfo) != 0);
    uiAttributes = oInfo.dwFileAttributes;
    oEntry.h = INVALID_HANDLE_VALUE;
    return hEntry;
}

// The failure oError met at the entry sName, named in its description.
Cl_Error oAt_Entry(const Cl_Error &oError, const std::wstring &sName)
{
    if (oError.sDescription.find(sName) != std::wstring::npos) return oError;
    std::wstring sText = oError.sDescription;
    while (!sText.empty() && (sText.back() == L'.' || sText.back() == L' ')) sText.pop_back();
    return Cl_Error(oError.iNumber, sText + L": " + sName);
}

// Removes the open entry hEntry (read-only ones too with bForce) through its handle.
// Only what the handle itself knows is asked: under Wine, questions that need
// the entry's full name (GetFileInformationByHandle) take time that grows
// with the square of its depth.
void vRemove_Opened(HANDLE hEntry, bool bForce)
{
    FILE_BASIC_INFO oBasic{};
    vCheck_Win32(GetFileInformationByHandleEx(hEntry, FileBasicInfo, &oBasic, sizeof oBasic) != 0);
    if (oBasic.FileAttributes & FILE_ATTRIBUTE_READONLY) {
        if (!bForce) vRaise_Win32(ERROR_ACCESS_DENIED);
        oBasic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
        if (oBasic.FileAttributes == 0) oBasic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        vCheck_Win32(SetFileInformationByHandle(hEntry, FileBasicInfo, &oBasic, sizeof oBasic) != 0);
    }
    FILE_DISPOSITION_INFO oDelete{TRUE};
    vCheck_Win32(SetFileInformationByHandle(hEntry, FileDispositionInfo, &oDelete, sizeof oDelete) != 0);
}

struct Child {
    std::wstring sLeaf;
    LARGE_INTEGER iId;
    DWORD uiAttributes;
};

// The entries of the open folder hFolder, as the folder lists them.
std::vector<Child> lstChildren(HANDLE hFolder)
{
    std::vector<Child> lstFound;
    std::vector<char> vBuffer(64 * 1024);
    FILE_INFO_BY_HANDLE_CLASS eClass = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(hFolder, eClass, vBuffer.data(), static_cast<DWORD>(vBuffer.size()))) {
        eClass = FileIdBothDirectoryInfo;
        for (std::size_t uiAt = 0;;) {
            const auto *pEntry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO *>(vBuffer.data() + uiAt);
            const std::wstring sLeaf(pEntry->FileName, pEntry->FileNameLength / sizeof(wchar_t));
            if (!bIs_Dot_Entry(sLeaf.c_str())) lstFound.push_back({sLeaf, pEntry->FileId, pEntry->FileAttributes});
            if (!pEntry->NextEntryOffset) break;
            uiAt += pEntry->NextEntryOffset;
        }
    }
    if (GetLastError() != ERROR_NO_MORE_FILES) vRaise_Last_Win32();
    return lstFound;
}

// Opens the entry oChild of the open folder hFolder itself, through the
// folder's handle, and checks that it is the one listed there. A link that
// the platform follows even when asked not to (Wine does so with Unix
// symbolic links) leads somewhere else: it is left alone, since deleting
// through it would delete its target. Wine lists links to folders as reparse
// points; a link to a file shows only in the name the file opened has, which
// is compared with fFolder_Final(), the folder's own.
HANDLE hOpen_Child(HANDLE hFolder, const Child &oChild, const std::wstring &sName,
                   const std::function<std::wstring()> &fFolder_Final)
{
    const bool bFolder = oChild.uiAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (bFolder && (oChild.uiAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) vRaise_Link(sName);
    const auto uiBytes = static_cast<USHORT>(oChild.sLeaf.size() * sizeof(wchar_t));
    UNICODE_STRING oLeaf{uiBytes, uiBytes, const_cast<wchar_t *>(oChild.sLeaf.c_str())};
    OBJECT_ATTRIBUTES oAttributes;
    InitializeObjectAttributes(&oAttributes, &oLeaf, OBJ_CASE_INSENSITIVE, hFolder, nullptr);
    IO_STATUS_BLOCK oIo{};
    HANDLE hChild = nullptr;
    const NTSTATUS iStatus
        = NtOpenFile(&hChild, DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | (bFolder ? FILE_LIST_DIRECTORY : 0),
                     &oAttributes, &oIo, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT);
    if (iStatus < 0) vRaise_Win32(RtlNtStatusToDosError(iStatus));
    Handle_Guard oOpened{hChild};
    LARGE_INTEGER iId{};  // the file system's number of the entry, as the folder lists it
    const NTSTATUS iId_Status = NtQueryInformationFile(hChild, &oIo, &iId, sizeof iId, FileInternalInformation);
    if (iId_Status < 0) vRaise_Win32(RtlNtStatusToDosError(iId_Status));
    FILE_BASIC_INFO oBasic{};
    vCheck_Win32(GetFileInformationByHandleEx(hChild, FileBasicInfo, &oBasic, sizeof oBasic) != 0);
    if (iId.QuadPart != oChild.iId.QuadPart || bFolder != ((oBasic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        || (!bFolder && !bSame_Path(sFinal_Path(hChild), fFolder_Final() + L"\\" + oChild.sLeaf)))
        vRaise_Link(sName);
    oOpened.h = INVALID_HANDLE_VALUE;
    return hChild;
}

// Removes the open folder hTop, named sTop, with everything in it, deepest
// first. Each entry is reached through its folder's handle and the walk
// keeps its own stack: a leftover may nest folders far deeper than a path
// can name (MAX_PATH, 32,767 characters) or a call stack can follow.
void vDelete_Tree(HANDLE hTop, const std::wstring &sTop, bool bForce, First_Error &oFirst)
{
    struct Level {
        HANDLE h;
        std::wstring sName;
        std::vector<Child> lstLeft;
        std::wstring sFinal;  // asked once a file in it needs it: the question costs much in deep folders
    };
    std::vector<Level> lstOpen;
    auto vEnter = [&](HANDLE h, const std::wstring &sName) {
        lstOpen.push_back({h, sName, {}, {}});
        try {
            lstOpen.back().lstLeft = lstChildren(h);
        } catch (const Cl_Error &oError) {
            oFirst.vKeep(oAt_Entry(oError, sName));
        }
    };
    auto vRemove = [&](HANDLE h, const std::wstring &sName) {
        try {
            vRemove_Opened(h, bForce);
        } catch (const Cl_Error &oError) {
            oFirst.vKeep(oAt_Entry(oError, sName));
        }
        CloseHandle(h);
    };
    vEnter(hTop, sTop);
    while (!lstOpen.empty()) {
        if (lstOpen.back().lstLeft.empty()) {
            const Level oDone = lstOpen.back();
            lstOpen.pop_back();
            vRemove(oDone.h, oDone.sName);
            continue;
        }
        const Child oChild = lstOpen.back().lstLeft.back();
        lstOpen.back().lstLeft.pop_back();
        const std::wstring sName = lstOpen.back().sName + L"\\" + oChild.sLeaf;
        HANDLE hChild = nullptr;
        try {
            Level &oLevel = lstOpen.back();
            hChild = hOpen_Child(oLevel.h, oChild, sName, [&oLevel] {
                if (oLevel.sFinal.empty()) oLevel.sFinal = sFinal_Path(oLevel.h);
                return oLevel.sFinal;
            });
        } catch (const Cl_Error &oError) {
            oFirst.vKeep(oAt_Entry(oError, sName));
            continue;
        }
        if (oChild.uiAttributes & FILE_ATTRIBUTE_DIRECTORY) vEnter(hChild, sName);
        else vRemove(hChild, sName);
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
    DWORD uiAttributes = 0;
    const HANDLE hTop = hOpen_Checked(sTrimmed, sExpected_Final(sTrimmed), uiAttributes);
    // A link given for the folder goes as a link.
    if ((uiAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(uiAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        vDelete_Tree(hTop, sTrimmed, bForce, oFirst);
    else {
        Handle_Guard oTop{hTop};
        vRemove_Opened(hTop, bForce);
    }
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
        vRaise(iErr_Device_Unavailable,
               L"Device unavailable: the volume of " + sFolder + L" went away during the run, and its "
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
