#ifndef NO_COW_FOLDER_H
#define NO_COW_FOLDER_H

// On btrfs, marks the empty folder open as iFolder_Fd so that the files later made in it are
// written in place (FS_NOCOW_FL): neither compressed nor checksummed, their zeros take the free
// blocks even where the volume compresses, and direct writes reach the device without a copy.
// True when the files made there will be so; false elsewhere or when btrfs refuses it (a folder
// whose files are to be compressed, say), the files then being as the file system makes them.
bool bMake_No_Cow_Folder(int iFolder_Fd);
// True when the file open as iFd is written in place so (btrfs).
bool bNo_Cow_File(int iFd);

#endif // NO_COW_FOLDER_H
