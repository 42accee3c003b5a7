#ifndef HELD_VOLUME_H
#define HELD_VOLUME_H

#include "volume_identity.h"

#include <QtGlobal>

// A volume's facts, asked of the handle the run holds and nowhere else: its kind, decided once
// from the file system's own number (statfs), with what that kind needs of a run, and its space,
// measured afresh each time with a name for each meaning of free.

// What a kind of file system needs of a run; one row of a small table per kind.
struct Volume_Kind
{
    const char *pcName;
    bool bDirect_Writes;    // large direct writes land where a buffered writer's blocks would go
    bool bAllocate_Ahead;   // direct writes keep their place only in a range allocated in one call
    bool bNo_Cow;           // scratch files kept in place (NOCOW): neither compressed nor copied,
                            // and then written directly too
    bool bStart_Writeback;  // buffered blocks start their writeback at once, keeping the disk busy
    bool bRoot_Reserve;     // blocks kept for root, which ordinary users cannot write (ext2/3/4)
    bool bFree_Map;         // lists where its free space lies (GETFSMAP), so it can be read back
};

// The kind of the file system of the file or folder open as iFd; the row "other" when unknown.
const Volume_Kind &vkKind_Of(int iFd);

// One measure of a volume's space.
struct Volume_Space
{
    quint64 uiBlock_Size = 0;
    quint64 uiBlocks = 0;
    quint64 uiFree_Blocks = 0;       // free, the blocks kept for root included
    quint64 uiAvailable_Blocks = 0;  // of them, those an ordinary user may write
    bool bRead_Only = false;
    bool bKnown = false;             // false when it could not be measured: everything 0
    double dSize() const { return double(uiBlocks) * double(uiBlock_Size); }
    double dFree() const { return double(uiFree_Blocks) * double(uiBlock_Size); }
    double dAvailable() const { return double(uiAvailable_Blocks) * double(uiBlock_Size); }
    // What this process may write: root reaches the blocks kept for root.
    double dReachable() const;
};

// The space of the file system of the file or folder open as iFd, now.
Volume_Space vsSpace_Of(int iFd);

// The volume a run works on, held by its own handle from the check to the clean-up: its
// identity as first found, its kind, its space, and whether the handle still lies on it.
class Held_Volume
{
public:
    // Holds a duplicate of iFd (the caller keeps its own), which lay on viFirst when first checked.
    Held_Volume(int iFd, Volume_Identity viFirst);
    // Opens the folder qbaPath once, its check: the volume it lies on now is the one held.
    explicit Held_Volume(const QByteArray &qbaPath);
    ~Held_Volume();
    Held_Volume(const Held_Volume &) = delete;
    Held_Volume &operator=(const Held_Volume &) = delete;

    int iFd() const { return m_iFd; }
    const Volume_Identity &vi() const { return m_vi; }
    const Volume_Kind &vk() const { return *m_pKind; }
    Volume_Space vsSpace() const { return vsSpace_Of(m_iFd); }
    // True while the handle still lies on the mount first found (not unmounted, not replaced).
    bool bStill_Here() const { return bOn_Volume(m_iFd, m_vi); }

private:
    int m_iFd;
    Volume_Identity m_vi;
    const Volume_Kind *m_pKind;
};

#endif // HELD_VOLUME_H
