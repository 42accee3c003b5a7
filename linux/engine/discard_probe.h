#ifndef DISCARD_PROBE_H
#define DISCARD_PROBE_H

#include "volume_trim.h"

#include <QString>

// What a discard of the volume's free space leaves on its device, seen on blocks whose content the
// run wrote itself.
enum class Discard_Reads
{
    Zeros,     // every block of the marker read back zeros: the discard alone leaves zeros
    Old_Data,  // some read back what was there: a discard could undo zeros written before it
    Unknown    // the marker could not be found on the device (qsWhy)
};

struct Discard_Probe
{
    Discard_Reads eReads = Discard_Reads::Unknown;
    QString qsWhy;       // for Unknown, why it cannot be told; else what the marker read back
    Volume_Trim trim;    // the discard of the whole free space that the probe made, or its refusal
};

// Writes a marker of known content in the folder open as iFolder_Fd, finds its blocks on the
// device (FIEMAP; on btrfs through the chunk tree) and reads them there to prove the place, frees
// it, discards the whole free space (vtTrim_Volume) and reads the same blocks again. qsDevice is
// the mount's source. Needs root, as the discard and the device's reads do.
Discard_Probe dpProbe_Discard(int iFolder_Fd, const QString &qsDevice);

#endif // DISCARD_PROBE_H
