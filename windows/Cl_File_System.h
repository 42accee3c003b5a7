// The program's file-system object: the few folder, file, scratch-file and free-space
// operations the run needs, as thin calls of the Win32 W functions. Every
// failure raises the program's typed error (Cl_Error) with the runtime's
// number where it has one (53 not found, 61 disk full, ...).
#pragma once

#include "Cl_Write_Behind.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Cl_File_System {
public:
    Cl_File_System() = default;
    Cl_File_System(const Cl_File_System &) = delete;
    Cl_File_System &operator=(const Cl_File_System &) = delete;
    // Closes the scratch files still open, so the system deletes them.
    virtual ~Cl_File_System();

    // True when sPath names an existing folder (a link to one counts).
    virtual bool FolderExists(const std::wstring &sPath) const;

    // Removes the folder sPath with everything in it. With bForce, read-only
    // files and folders go too. Links and junctions met inside are removed as
    // links: nothing they point to is touched.
    virtual void DeleteFolder(const std::wstring &sPath, bool bForce) const;

    // Creates the one folder sPath, which must not exist yet (58 when the name
    // is taken), and holds it open until Close_Scratch_Files, so that no one
    // can move, remove or replace it meanwhile. A folder that turns out to be
    // a link once made is not the run's own: 75, and it is left where it is.
    virtual void CreateFolder(const std::wstring &sPath);

    // Bytes of the volume of sDrive (such as L"c:") that the caller may still use.
    virtual double FreeSpace(const std::wstring &sDrive) const;

    // Length of the file sPath in bytes.
    virtual double FileSize(const std::wstring &sPath) const;

    // Sectors per cluster and bytes per sector of the volume of sDrive, as
    // GetDiskFreeSpace reports them; both 0 when the system cannot tell.
    virtual void Disk_Geometry(const std::wstring &sDrive, std::uint32_t &uiSectors_Per_Cluster,
                               std::uint32_t &uiBytes_Per_Sector) const;

    // Scratch files. Each one is created new, never through a link (58 when
    // the name is taken), delete-on-close, and stays open until
    // Close_Scratch_Files: whatever ends the program, a crash or a kill
    // included, the system then deletes it. iScratch is the number
    // Open_Scratch_File returned.
    // Opening one gives back what the file system set aside beyond the end
    // of the one opened before, which a run may still continue until then.
    virtual int Open_Scratch_File(const std::wstring &sPath);
    virtual void Write_Scratch(int iScratch, std::uint64_t uiOffset, const void *pData, std::uint32_t uiLength);
    // Puts what was written on the device, so the free space shows it; a
    // failure of the flushes made in the background while writing is raised here.
    virtual void Flush_Scratch(int iScratch);
    // Closes every scratch file (the system deletes them) and lets the folder
    // go; the first failure is raised after all are closed. A file that its
    // name no longer leads to (the volume went away under the drive letter) is
    // emptied through its handle instead, and the failure raised names what is left.
    virtual void Close_Scratch_Files();

private:
    std::vector<void *> m_lstScratch;
    std::vector<std::wstring> m_lstScratch_Names;
    void *m_hRun_Folder = nullptr;
    Cl_Write_Behind m_oWrite_Behind;
};

// A block of zero bytes to write.
using Zero_Block = std::vector<char>;

// The program-wide file-system object, created on first use.
Cl_File_System &oFSO();
// Releases it (the main form's unload).
void vRelease_FSO();
// Puts oFS in its place (tests put a stand-in there); null goes back to the system's.
void vReplace_FSO(std::unique_ptr<Cl_File_System> oFS);
