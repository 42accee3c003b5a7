#ifndef FOLDER_REMOVE_H
#define FOLDER_REMOVE_H

#include <QString>

// Removal that walks by directory handles only, so that nobody who can write the volume can
// redirect it by swapping a folder for a link while it runs: a link is removed as a link and
// never followed at any depth, and a file system mounted below the tree is left alone.

// Deletes the folder tree qsPath; a top path that is a link loses the link, a plain file stays.
void vRemove_Folder_Tree(const QString &qsPath);

// Deletes everything inside the folder open as iFolder_Fd; the folder itself stays.
void vEmpty_Folder(int iFolder_Fd);

// Deletes the folder pcName of the folder open as iParent_Fd with everything in it, or the link
// of that name; a plain file of that name stays.
void vRemove_Folder_At(int iParent_Fd, const char *pcName);

#endif // FOLDER_REMOVE_H
