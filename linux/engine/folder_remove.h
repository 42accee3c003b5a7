#ifndef FOLDER_REMOVE_H
#define FOLDER_REMOVE_H

#include <QString>

// Deletes the folder tree qsPath; symbolic links in it are removed as links and never followed.
void vRemove_Folder_Tree(const QString &qsPath);

#endif // FOLDER_REMOVE_H
