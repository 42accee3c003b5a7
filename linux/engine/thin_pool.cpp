#include "thin_pool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/dm-ioctl.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr int iMax_Depth = 8;

// One target line of a device-mapper device: its type and its table or status text.
struct Dm_Target
{
    QString qsType;
    QString qsParams;
    QString qsName;
    quint64 uiSectors = 0;
};

// The device's only target (bTable: its table, else its status); false with errno where it is no
// device-mapper device or has several targets.
bool bDm_Target(int iControl, dev_t dev, bool bTable, Dm_Target &target)
{
    alignas(8) char acBuffer[16384] = {};
    auto *pIo = reinterpret_cast<dm_ioctl *>(acBuffer);
    pIo->version[0] = DM_VERSION_MAJOR;
    pIo->data_size = sizeof acBuffer;
    pIo->data_start = sizeof(dm_ioctl);
    pIo->dev = (minor(dev) & 0xffu) | (major(dev) << 8) | (quint64(minor(dev) & ~0xffu) << 12);
    pIo->flags = bTable ? DM_STATUS_TABLE_FLAG : 0;
    if (::ioctl(iControl, DM_TABLE_STATUS, pIo) != 0)
        return false;
    if (pIo->target_count != 1 || (pIo->flags & DM_BUFFER_FULL_FLAG)) {
        errno = EINVAL;
        return false;
    }
    const auto *pSpec = reinterpret_cast<const dm_target_spec *>(acBuffer + pIo->data_start);
    target.qsType = QString::fromLatin1(pSpec->target_type, int(strnlen(pSpec->target_type, DM_MAX_TYPE_NAME)));
    target.qsParams = QString::fromLatin1(reinterpret_cast<const char *>(pSpec + 1));
    target.qsName = QString::fromLatin1(pIo->name);
    target.uiSectors = pSpec->length;
    return true;
}

// A thin volume at dev or below it, through the devices sysfs lists as its slaves; its own device
// number in devThin, its pool's in devPool.
bool bFind_Thin(int iControl, dev_t dev, int iDepth, dev_t &devThin, dev_t &devPool)
{
    const QString qsSys = QStringLiteral("/sys/dev/block/%1:%2").arg(major(dev)).arg(minor(dev));
    Dm_Target target;
    if (QFileInfo::exists(qsSys + QStringLiteral("/dm")) && bDm_Target(iControl, dev, true, target)
        && target.qsType == QStringLiteral("thin")) {
        const QStringList qsl = target.qsParams.section(' ', 0, 0).split(':');
        devPool = makedev(qsl.value(0).toUInt(), qsl.value(1).toUInt());
        devThin = dev;
        return true;
    }
    if (iDepth >= iMax_Depth)
        return false;
    const QFileInfoList lstSlaves = QDir(qsSys + QStringLiteral("/slaves")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &slave : lstSlaves) {
        QFile qDev(slave.absoluteFilePath() + QStringLiteral("/dev"));
        if (!qDev.open(QIODevice::ReadOnly))
            continue;
        const QStringList qsl = QString::fromLatin1(qDev.readAll().trimmed()).split(':');
        if (bFind_Thin(iControl, makedev(qsl.value(0).toUInt(), qsl.value(1).toUInt()), iDepth + 1, devThin, devPool))
            return true;
    }
    return false;
}

// Whether sysfs shows a device-mapper device at dev or below it; the control node is opened only then.
bool bAny_Dm(dev_t dev, int iDepth)
{
    const QString qsSys = QStringLiteral("/sys/dev/block/%1:%2").arg(major(dev)).arg(minor(dev));
    if (QFileInfo::exists(qsSys + QStringLiteral("/dm")))
        return true;
    return iDepth < iMax_Depth && !QDir(qsSys + QStringLiteral("/slaves")).isEmpty(QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

Thin_Pool tpThin_Pool_Of(dev_t devBlock)
{
    Thin_Pool pool;
    if (!bAny_Dm(devBlock, 0))
        return pool;
    const int iControl = ::open("/dev/mapper/control", O_RDWR | O_CLOEXEC);
    if (iControl < 0) {
        // A stacked device that may be thin: unknown room is no room.
        pool.bThin = true;
        pool.qsRefusal = QStringLiteral("cannot open /dev/mapper/control to see whether it lies on a thin pool: ")
            + qt_error_string(errno);
        return pool;
    }
    dev_t devThin = 0;
    dev_t devPool = 0;
    pool.bThin = bFind_Thin(iControl, devBlock, 0, devThin, devPool);
    // A thin target's status: <mapped sectors> <highest mapped sector>.
    Dm_Target thin;
    if (pool.bThin && bDm_Target(iControl, devThin, false, thin) && thin.qsParams.section(' ', 0, 0) != QStringLiteral("Fail"))
        pool.uiUnmapped_Bytes = (thin.uiSectors - std::min(thin.uiSectors, thin.qsParams.section(' ', 0, 0).toULongLong())) * 512;
    Dm_Target table;
    Dm_Target status;
    if (pool.bThin && bDm_Target(iControl, devPool, true, table) && bDm_Target(iControl, devPool, false, status)) {
        pool.qsPool = status.qsName;
        // Table: <metadata dev> <data dev> <data block size in sectors> ...; status: <transaction>
        // <used>/<total> metadata blocks, <used>/<total> data blocks, ...
        const quint64 uiBlock_Bytes = table.qsParams.section(' ', 2, 2).toULongLong() * 512;
        const QStringList qslData = status.qsParams.section(' ', 2, 2).split('/');
        const quint64 uiUsed = qslData.value(0).toULongLong();
        const quint64 uiTotal = qslData.value(1).toULongLong();
        if (uiBlock_Bytes == 0 || uiTotal == 0 || uiUsed > uiTotal)
            pool.qsRefusal = QStringLiteral("the pool %1 reports no usable status (%2)").arg(pool.qsPool, status.qsParams);
        pool.uiSize_Bytes = uiTotal * uiBlock_Bytes;
        pool.uiRoom_Bytes = (uiTotal - std::min(uiUsed, uiTotal)) * uiBlock_Bytes;
    } else if (pool.bThin) {
        pool.qsRefusal = QStringLiteral("cannot read the status of its thin pool: ") + qt_error_string(errno);
    }
    ::close(iControl);
    return pool;
}
