#include "volume_identity.h"

#include <QFile>

#include <libmount/libmount.h>

#include <algorithm>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString qsField(const char *pc)
{
    return pc == nullptr ? QString() : QFile::decodeName(pc);
}

// The mount table through libmount, which decodes its escapes as findmnt and fstrim do.
class Mount_Table
{
public:
    Mount_Table() : m_pTable(mnt_new_table_from_file("/proc/self/mountinfo")) {}
    ~Mount_Table() { mnt_unref_table(m_pTable); }
    Mount_Table(const Mount_Table &) = delete;
    Mount_Table &operator=(const Mount_Table &) = delete;

    libmnt_fs *pBy_Id(quint64 uiMount_Id) const
    {
        if (m_pTable == nullptr)
            return nullptr;
        libmnt_iter *pIter = mnt_new_iter(MNT_ITER_BACKWARD);
        libmnt_fs *pFs = nullptr;
        libmnt_fs *pFound = nullptr;
        while (pFound == nullptr && mnt_table_next_fs(m_pTable, pIter, &pFs) == 0) {
            if (quint64(mnt_fs_get_id(pFs)) == uiMount_Id)
                pFound = pFs;
        }
        mnt_free_iter(pIter);
        return pFound;
    }
    libmnt_fs *pBy_Device(dev_t uiDev) const
    {
        return m_pTable == nullptr ? nullptr : mnt_table_find_devno(m_pTable, uiDev, MNT_ITER_BACKWARD);
    }

private:
    libmnt_table *m_pTable;
};

// The file system an overlay writes into: the one holding its upper folder, where this mount
// namespace can see it (a container's host cannot be seen from inside).
QString qsUpper_Fs_Type(const Mount_Table &table, libmnt_fs *pOverlay)
{
    char *pcValue = nullptr;
    size_t uiSize = 0;
    if (mnt_fs_get_option(pOverlay, "upperdir", &pcValue, &uiSize) != 0 || pcValue == nullptr)
        return QStringLiteral("unknown");
    struct stat st {};
    if (::stat(std::string(pcValue, uiSize).c_str(), &st) != 0)
        return QStringLiteral("unknown");
    libmnt_fs *pUpper = table.pBy_Device(st.st_dev);
    return pUpper == nullptr ? QStringLiteral("unknown") : qsField(mnt_fs_get_fstype(pUpper));
}

} // namespace

QString Volume_Identity::qsKey() const
{
    return qsSource.startsWith(QLatin1Char('/')) ? qsSource : QStringLiteral("mount:") + QString::number(uiMount_Id);
}

Volume_Identity viVolume_Of(int iFd)
{
    Volume_Identity vi;
    struct statx stx {};
    if (::statx(iFd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) != 0 || (stx.stx_mask & STATX_MNT_ID) == 0)
        return vi;
    const Mount_Table table;
    libmnt_fs *pFs = table.pBy_Id(stx.stx_mnt_id);
    if (pFs == nullptr)
        return vi;
    vi.uiMount_Id = stx.stx_mnt_id;
    vi.qsMount_Point = qsField(mnt_fs_get_target(pFs));
    vi.qsSource = qsField(mnt_fs_get_source(pFs));
    vi.qsFs_Type = qsField(mnt_fs_get_fstype(pFs));
    vi.ePlace = vpPlace_Of(vi.qsFs_Type, mnt_fs_is_netfs(pFs) == 1);
    if (vi.ePlace == Volume_Place::Overlay)
        vi.qsUpper_Fs_Type = qsUpper_Fs_Type(table, pFs);
    return vi;
}

Volume_Identity viVolume_At(const QString &qsPath)
{
    const int iFd = ::open(QFile::encodeName(qsPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (iFd < 0)
        return Volume_Identity();
    const Volume_Identity vi = viVolume_Of(iFd);
    ::close(iFd);
    return vi;
}

bool bOn_Volume(int iFd, const Volume_Identity &viChosen)
{
    const Volume_Identity vi = viVolume_Of(iFd);
    return vi.bKnown() && viChosen.bKnown() && vi.qsKey() == viChosen.qsKey();
}

QString qsUpper_Path(int iFd)
{
    struct statx stx {};
    if (::statx(iFd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) != 0 || (stx.stx_mask & STATX_MNT_ID) == 0)
        return QString();
    const Mount_Table table;
    libmnt_fs *pFs = table.pBy_Id(stx.stx_mnt_id);
    char *pcUpper = nullptr;
    size_t uiSize = 0;
    if (pFs == nullptr || vpPlace_Of(qsField(mnt_fs_get_fstype(pFs)), false) != Volume_Place::Overlay
        || mnt_fs_get_option(pFs, "upperdir", &pcUpper, &uiSize) != 0 || pcUpper == nullptr)
        return QString();
    char acPath[PATH_MAX] = {};
    const ssize_t iLength = ::readlink(("/proc/self/fd/" + QByteArray::number(iFd)).constData(), acPath, sizeof acPath - 1);
    const QByteArray qbaTarget = mnt_fs_get_target(pFs) == nullptr ? QByteArray() : QByteArray(mnt_fs_get_target(pFs));
    const QByteArray qbaPath(acPath, int(std::max<ssize_t>(iLength, 0)));
    if (qbaTarget.isEmpty() || !(qbaPath + '/').startsWith(qbaTarget == "/" ? qbaTarget : qbaTarget + '/'))
        return QString();
    // A mount of a folder inside the overlay starts that far down in it.
    const QByteArray qbaRoot = mnt_fs_get_root(pFs) == nullptr ? QByteArray("/") : QByteArray(mnt_fs_get_root(pFs));
    return QFile::decodeName(QByteArray(pcUpper, int(uiSize)) + (qbaRoot == "/" ? QByteArray() : qbaRoot)
                             + qbaPath.mid(qbaTarget == "/" ? 0 : qbaTarget.size()));
}

Volume_Place vpPlace_Of(const QString &qsFs_Type, bool bNetfs)
{
    if (qsFs_Type == QStringLiteral("tmpfs") || qsFs_Type == QStringLiteral("devtmpfs") || qsFs_Type == QStringLiteral("ramfs"))
        return Volume_Place::Memory;
    if (qsFs_Type == QStringLiteral("overlay"))
        return Volume_Place::Overlay;
    if (bNetfs)
        return Volume_Place::Network;
    // A FUSE file system on a block device of its own (ntfs-3g: fuseblk) is on the disk like any other.
    return qsFs_Type == QStringLiteral("fuse") || qsFs_Type.startsWith(QStringLiteral("fuse.")) ? Volume_Place::Fuse
                                                                                                : Volume_Place::Disk;
}
