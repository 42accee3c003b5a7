#ifndef FREE_SPACE_CHECK_H
#define FREE_SPACE_CHECK_H

#include <QString>
#include <QtGlobal>

#include <functional>
#include <limits>

#include <sys/types.h>

// What the free space of a volume holds, read from its block device: the proof that a fill or a
// discard left zeros there, and the measure of what it did not reach.
struct Free_Space_Check
{
    QString qsRefusal;              // why the check could not be made; empty when it was
    quint64 uiBlocks_Read = 0;      // free 4 KiB blocks read
    quint64 uiBlocks_Not_Zero = 0;  // of those, blocks holding anything but zeros
    double dSeconds = 0;
    bool bDone() const { return qsRefusal.isEmpty(); }
};

// Size of the blocks counted.
constexpr quint64 uiCheck_Block = 4096;

// Asks the file system of the folder open as iFolder_Fd for its free extents (GETFSMAP) and reads them read-only
// past the page cache from qsDevice, the mount's source, or from the device node of the file
// system's own number when that source is not it. vProgress gets the bytes read and the bytes to
// read after each read. With uiMax_Bytes only the first free extents up to that many bytes are
// read: a probe that costs next to nothing on a large volume.
Free_Space_Check fscCheck_Free_Space(int iFolder_Fd, const QString &qsDevice,
                                     const std::function<void(quint64, quint64)> &vProgress = {},
                                     quint64 uiMax_Bytes = std::numeric_limits<quint64>::max());

// Opens the volume's block device for reading past the page cache: the mount's source when it is
// the device numbered devData, else the node udev keeps for that number. -1 with qsRefusal set
// when neither is or it cannot be opened.
int iOpen_Volume_Device(const QString &qsDevice, dev_t devData, QString &qsRefusal);

#endif // FREE_SPACE_CHECK_H
