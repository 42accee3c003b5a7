#include "folder_remove.h"

#include <QFile>

#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Deeper trees than a run ever makes are left, rather than running out of handles.
constexpr int iMax_Depth = 64;

struct Entry_Id
{
    bool bKnown = false;
    bool bDirectory = false;
    bool bLink = false;
    bool bMount_Root = false;
    dev_t uiDev = 0;
    ino_t uiIno = 0;
};

Entry_Id eiEntry(int iDir_Fd, const char *pcName, int iFlags)
{
    Entry_Id id;
    struct statx stx {};
    if (::statx(iDir_Fd, pcName, iFlags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_TYPE | STATX_INO, &stx) != 0)
        return id;
    id.bKnown = true;
    id.bDirectory = S_ISDIR(stx.stx_mode);
    id.bLink = S_ISLNK(stx.stx_mode);
    id.bMount_Root = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0
        && (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    id.uiDev = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    id.uiIno = stx.stx_ino;
    return id;
}

std::vector<std::string> lstNames(int iFolder_Fd)
{
    std::vector<std::string> lst;
    const int iList_Fd = ::openat(iFolder_Fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (iList_Fd < 0)
        return lst;
    DIR *pDir = ::fdopendir(iList_Fd);
    if (pDir == nullptr) {
        ::close(iList_Fd);
        return lst;
    }
    while (const dirent *pEntry = ::readdir(pDir)) {
        const std::string sName = pEntry->d_name;
        if (sName != "." && sName != "..")
            lst.push_back(sName);
    }
    ::closedir(pDir);
    return lst;
}

void vEmpty_Folder_At_Depth(int iFolder_Fd, const Entry_Id &idFolder, int iDepth);

// A folder inside the tree: opened from its parent's handle without following a link, and only
// if it is still the folder just looked at and lies on the same mount.
void vRemove_Subfolder(int iParent_Fd, const char *pcName, const Entry_Id &idParent, const Entry_Id &id,
                       int iDepth)
{
    if (id.bMount_Root || id.uiDev != idParent.uiDev || iDepth > iMax_Depth)
        return;
    const int iFd = ::openat(iParent_Fd, pcName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (iFd < 0)
        return;
    const Entry_Id idOpened = eiEntry(iFd, "", AT_EMPTY_PATH);
    if (idOpened.bKnown && !idOpened.bMount_Root && idOpened.uiDev == id.uiDev && idOpened.uiIno == id.uiIno)
        vEmpty_Folder_At_Depth(iFd, idOpened, iDepth + 1);
    ::close(iFd);
    // Removes only an empty folder, and never what a link of that name points to.
    ::unlinkat(iParent_Fd, pcName, AT_REMOVEDIR);
}

void vEmpty_Folder_At_Depth(int iFolder_Fd, const Entry_Id &idFolder, int iDepth)
{
    for (const std::string &sName : lstNames(iFolder_Fd)) {
        const Entry_Id id = eiEntry(iFolder_Fd, sName.c_str(), 0);
        if (!id.bKnown)
            continue;
        if (id.bDirectory)
            vRemove_Subfolder(iFolder_Fd, sName.c_str(), idFolder, id, iDepth);
        else
            ::unlinkat(iFolder_Fd, sName.c_str(), 0);  // a link goes as a link
    }
}

} // namespace

void vEmpty_Folder(int iFolder_Fd)
{
    const Entry_Id id = eiEntry(iFolder_Fd, "", AT_EMPTY_PATH);
    if (id.bKnown && id.bDirectory)
        vEmpty_Folder_At_Depth(iFolder_Fd, id, 0);
}

void vRemove_Folder_At(int iParent_Fd, const char *pcName)
{
    const Entry_Id id = eiEntry(iParent_Fd, pcName, 0);
    if (!id.bKnown)
        return;
    if (id.bLink) {
        ::unlinkat(iParent_Fd, pcName, 0);
        return;
    }
    const Entry_Id idParent = eiEntry(iParent_Fd, "", AT_EMPTY_PATH);
    if (id.bDirectory && idParent.bKnown)
        vRemove_Subfolder(iParent_Fd, pcName, idParent, id, 0);
}

void vRemove_Folder_Tree(const QString &qsPath)
{
    QString qsTrimmed = qsPath;
    while (qsTrimmed.size() > 1 && qsTrimmed.endsWith(QLatin1Char('/')))
        qsTrimmed.chop(1);
    const int iSlash = qsTrimmed.lastIndexOf(QLatin1Char('/'));
    const QString qsName = qsTrimmed.mid(iSlash + 1);
    if (qsName.isEmpty() || qsName == QLatin1String(".") || qsName == QLatin1String(".."))
        return;
    // The path up to the folder is the caller's; from the folder on nothing is followed.
    const QString qsParent = iSlash < 0 ? QStringLiteral(".") : iSlash == 0 ? QStringLiteral("/") : qsTrimmed.left(iSlash);
    const int iParent_Fd = ::open(QFile::encodeName(qsParent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (iParent_Fd < 0)
        return;
    vRemove_Folder_At(iParent_Fd, QFile::encodeName(qsName).constData());
    ::close(iParent_Fd);
}
