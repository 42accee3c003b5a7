#include "held_volume.h"

#include <utility>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

struct Kind_Row
{
    long lMagic;
    Volume_Kind vk;
};

// ext4 (and ext2/3, one number) and xfs take direct writes where a buffered writer's blocks would
// go, xfs only in a range allocated ahead; btrfs copies direct writes of checksummed files
// through its own buffers and gains nothing, but writes NOCOW files straight to the device, and
// compresses where NOCOW is not set; tmpfs has no device to bypass the cache for.
constexpr Kind_Row aKinds[] = {
    //                       direct  ahead  no-COW  writeback  reserve  free map
    {EXT4_SUPER_MAGIC, {"ext4", true, false, false, false, true, true}},
    {XFS_SUPER_MAGIC, {"xfs", true, true, false, false, false, true}},
    {BTRFS_SUPER_MAGIC, {"btrfs", false, false, true, true, false, false}},
    {TMPFS_MAGIC, {"tmpfs", false, false, false, false, false, false}},
};
constexpr Volume_Kind vkOther{"other", false, false, false, false, false, false};

} // namespace

const Volume_Kind &vkKind_Of(int iFd)
{
    struct statfs sfs {};
    if (::fstatfs(iFd, &sfs) != 0)
        return vkOther;
    for (const Kind_Row &row : aKinds)
        if (long(sfs.f_type) == row.lMagic)
            return row.vk;
    return vkOther;
}

double Volume_Space::dReachable() const
{
    return ::geteuid() == 0 ? dFree() : dAvailable();
}

Volume_Space vsSpace_Of(int iFd)
{
    Volume_Space vs;
    struct statvfs sv {};
    if (::fstatvfs(iFd, &sv) != 0)
        return vs;
    vs.uiBlock_Size = sv.f_frsize;
    vs.uiBlocks = sv.f_blocks;
    vs.uiFree_Blocks = sv.f_bfree;
    vs.uiAvailable_Blocks = sv.f_bavail;
    vs.bRead_Only = (sv.f_flag & ST_RDONLY) != 0;
    vs.bKnown = true;
    return vs;
}

Held_Volume::Held_Volume(int iFd, Volume_Identity viFirst)
    : m_iFd(::fcntl(iFd, F_DUPFD_CLOEXEC, 0))
    , m_vi(std::move(viFirst))
    , m_pKind(&vkKind_Of(m_iFd))
{
}

Held_Volume::Held_Volume(const QByteArray &qbaPath)
    : m_iFd(::open(qbaPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    , m_vi(viVolume_Of(m_iFd))
    , m_pKind(&vkKind_Of(m_iFd))
{
}

Held_Volume::~Held_Volume()
{
    if (m_iFd >= 0)
        ::close(m_iFd);
}
