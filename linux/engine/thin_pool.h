#ifndef THIN_POOL_H
#define THIN_POOL_H

#include <QString>
#include <QtGlobal>

#include <sys/types.h>

// The dm-thin pool under a block device, where there is one: a thin volume takes room from its
// pool as it is written, and a full pool fails every write of every volume in it.
struct Thin_Pool
{
    bool bThin = false;       // the device is a thin volume, or lies on one
    QString qsPool;           // the pool's device-mapper name
    QString qsRefusal;        // why the pool's room could not be read; empty when it was
    quint64 uiRoom_Bytes = 0; // data the pool can still take
    quint64 uiSize_Bytes = 0; // the pool's whole data size
    // What the thin volume has not mapped yet: the most that writes on it can take from the pool,
    // as blocks it holds already are overwritten in place.
    quint64 uiUnmapped_Bytes = ~quint64(0);
};

// Finds a thin volume at devBlock or below it (sysfs slaves) and reads its pool's status through
// the device-mapper control node.
Thin_Pool tpThin_Pool_Of(dev_t devBlock);

#endif // THIN_POOL_H
