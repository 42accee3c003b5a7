// The program's file-system object: the few folder, file, copy and free-space
// operations the run needs, as thin calls of the Win32 W functions. Every
// failure raises the program's typed error (Cl_Error) with the runtime's
// number where it has one (53 not found, 61 disk full, ...).
#pragma once

#include <cstdint>
#include <string>

class Cl_File_System {
public:
    // True when sPath names an existing folder (a link to one counts).
    bool FolderExists(const std::wstring &sPath) const;

    // Removes the folder sPath with everything in it. With bForce, read-only
    // files and folders go too. Links and junctions met inside are removed as
    // links: nothing they point to is touched.
    void DeleteFolder(const std::wstring &sPath, bool bForce) const;

    // Creates the one folder sPath; its parent must exist.
    void CreateFolder(const std::wstring &sPath) const;

    // Bytes of the volume of sDrive (such as L"c:") that the caller may still use.
    double FreeSpace(const std::wstring &sDrive) const;

    // Length of the file sPath in bytes.
    double FileSize(const std::wstring &sPath) const;

    // Byte-for-byte copy made by the system, flushed to the device before it
    // returns, so the copy's blocks are really taken when the next free-space
    // reading is made.
    void Copy_File(const std::wstring &sSource, const std::wstring &sDestination, bool bOverwrite) const;
};

// A scratch file written at explicit offsets. Closing flushes it to the device
// first: a file deleted before its cached data was written may never have put
// its zeros on the disk.
class Cl_Scratch_File {
public:
    Cl_Scratch_File() = default;
    Cl_Scratch_File(const Cl_Scratch_File &) = delete;
    Cl_Scratch_File &operator=(const Cl_Scratch_File &) = delete;
    ~Cl_Scratch_File();  // closes without reporting; the run closes explicitly

    // Creates (or empties) sPath for writing.
    void Open(const std::wstring &sPath);
    // Writes uiLength bytes of pData at byte uiOffset.
    void Write_At(std::uint64_t uiOffset, const void *pData, std::uint32_t uiLength);
    // Flushes and closes; does nothing when no file is open.
    void Close();
    // Closes after a failure: tries the flush, reports nothing.
    void Abandon();
    bool bIs_Open() const { return m_hFile != nullptr; }

private:
    void *m_hFile = nullptr;
};

// The program-wide file-system object, created on first use.
Cl_File_System &oFSO();
// Releases it (the main form's unload).
void vRelease_FSO();
