#include "folder_remove.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

void vRemove_Folder_Tree(const QString &qsPath)
{
    const QFileInfo qPath_Info(qsPath);
    if (qPath_Info.isSymLink()) {
        QFile::remove(qsPath);
        return;
    }
    if (!qPath_Info.isDir())
        return;

    const QDir qDir(qsPath);
    const QFileInfoList lstEntries = qDir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);

    // Links go as links, files first, folders after, the folder itself last.
    for (const QFileInfo &qEntry : lstEntries) {
        if (qEntry.isSymLink() || !qEntry.isDir())
            QFile::remove(qEntry.absoluteFilePath());
    }
    for (const QFileInfo &qEntry : lstEntries) {
        if (!qEntry.isSymLink() && qEntry.isDir())
            vRemove_Folder_Tree(qEntry.absoluteFilePath());
    }
    QDir().rmdir(qDir.absolutePath());
}
