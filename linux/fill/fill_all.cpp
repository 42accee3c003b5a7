#include "fill_all.h"

#include "fill_run.h"

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <libmount/libmount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How good a way to its file system a mount is, kept in the entry's user data while the table is
// unified: none (skipped, read-only or covered), a read-write mount, one of the file system's top.
const int g_aiRanks[] = {0, 1, 2};

int iRank(libmnt_fs *pFs)
{
    const void *pRank = mnt_fs_get_userdata(pFs);
    return pRank == nullptr ? 0 : *static_cast<const int *>(pRank);
}

// A field of the mount table; paths keep bytes that are not UTF-8, as a folder named on the command line.
QString qsField(const char *pc)
{
    return pc == nullptr ? QString() : qsFile_Name(QByteArray(pc));
}

// Why the kind of file system keeps --all away from it, as a folder named alone would be refused;
// empty when it may be filled.
QString qsType_Reason(libmnt_fs *pFs, const Fill_Options &options)
{
    switch (vpPlace_Of(qsField(mnt_fs_get_fstype(pFs)), mnt_fs_is_netfs(pFs) == 1)) {
    case Volume_Place::Disk:
        break;
    case Volume_Place::Memory:
        return options.bAllow_Memory ? QString() : QStringLiteral("lives in memory (--allow-memory fills it)");
    case Volume_Place::Overlay:
        return options.bAllow_Overlay ? QString()
                                      : QStringLiteral("an overlay, whose writes land on another file system (--allow-overlay fills it)");
    case Volume_Place::Network:
        return options.bAllow_Remote ? QString() : QStringLiteral("a network file system (--allow-remote fills it)");
    case Volume_Place::Fuse:
        return options.bAllow_Remote ? QString() : QStringLiteral("a FUSE file system served by a program (--allow-remote fills it)");
    }
    if (mnt_fs_is_pseudofs(pFs) == 1)
        return QStringLiteral("a pseudo file system");
    return QString();
}

bool bRead_Only(libmnt_fs *pFs)
{
    return mnt_optstr_get_option(mnt_fs_get_vfs_options(pFs), "ro", nullptr, nullptr) == 0
        || mnt_optstr_get_option(mnt_fs_get_fs_options(pFs), "ro", nullptr, nullptr) == 0;
}

// True when the folder at the mount's target is this mount, not one mounted over it or over a
// folder above it.
bool bVisible(libmnt_fs *pFs)
{
    const int iFd = ::open(mnt_fs_get_target(pFs), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (iFd < 0)
        return false;
    struct statx stx {};
    const bool bSame = ::statx(iFd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) == 0 && (stx.stx_mask & STATX_MNT_ID) != 0
        && stx.stx_mnt_id == quint64(mnt_fs_get_id(pFs));
    ::close(iFd);
    return bSame;
}

int iRank_Of(libmnt_fs *pFs, const Fill_Options &options)
{
    if (!qsType_Reason(pFs, options).isEmpty() || bRead_Only(pFs) || !bVisible(pFs))
        return 0;
    return qsField(mnt_fs_get_root(pFs)) == QStringLiteral("/") ? 2 : 1;
}

// mnt_table_uniq_fs drops pFs when this says 0 for an entry pOther met before it: another mount of
// the same file system (one superblock, one device number) and no worse a way to it.
int iSame_Fs(libmnt_table *, libmnt_fs *pOther, libmnt_fs *pFs)
{
    return mnt_fs_get_devno(pOther) == mnt_fs_get_devno(pFs) && iRank(pOther) >= iRank(pFs) ? 0 : 1;
}

QString qsSkip_Reason(libmnt_fs *pFs, const Fill_Options &options)
{
    const QString qsReason = qsType_Reason(pFs, options);
    if (!qsReason.isEmpty())
        return qsReason;
    if (bRead_Only(pFs))
        return QStringLiteral("mounted read-only");
    return iRank(pFs) == 0 ? QStringLiteral("no read-write mount of it is visible") : QString();
}

// One line each on standard error under --verbose, and under --json the object of a volume with
// the ending "skipped" and the reason.
void vReport_Skipped(const QList<Skipped_Fs> &lstSkipped, const Fill_Options &options)
{
    for (const Skipped_Fs &skipped : lstSkipped) {
        Fill_Volume volume{skipped.qsMount_Point};
        volume.vi.qsMount_Point = skipped.qsMount_Point;
        volume.vi.qsSource = skipped.qsSource;
        volume.vi.qsFs_Type = skipped.qsFs_Type;
        const QString qsLine = skipped.qsMount_Point + QStringLiteral(" (") + skipped.qsFs_Type + QStringLiteral(" on ")
            + skipped.qsSource + QStringLiteral("): skipped, ") + skipped.qsReason;
        if (options.bVerbose)
            std::fprintf(stderr, "morvane-fill: %s\n", qPrintable(qsLine));
        if (options.bJson)
            std::fputs(qbaJson_Summary(volume, fsEnded(iExit_Filled, QStringLiteral("skipped"), qsLine),
                                       {{QStringLiteral("skipped"), skipped.qsReason}})
                           .constData(),
                       stdout);
    }
}

} // namespace

bool bAll_File_Systems(const Fill_Options &options, All_Fs &all, QString &qsError)
{
    libmnt_table *pTable = mnt_new_table_from_file("/proc/self/mountinfo");
    if (pTable == nullptr) {
        qsError = QStringLiteral("--all: cannot read the mount table /proc/self/mountinfo");
        return false;
    }
    libmnt_iter *pIter = mnt_new_iter(MNT_ITER_FORWARD);
    libmnt_fs *pFs = nullptr;
    while (mnt_table_next_fs(pTable, pIter, &pFs) == 0)
        mnt_fs_set_userdata(pFs, const_cast<int *>(&g_aiRanks[iRank_Of(pFs, options)]));
    // From the last mount back, the first way to each file system stays, and any better one after
    // it; forward again, the best of those alone.
    mnt_table_uniq_fs(pTable, 0, iSame_Fs);
    mnt_table_uniq_fs(pTable, MNT_UNIQ_FORWARD, iSame_Fs);
    mnt_reset_iter(pIter, MNT_ITER_FORWARD);
    while (mnt_table_next_fs(pTable, pIter, &pFs) == 0) {
        const QString qsTarget = qsField(mnt_fs_get_target(pFs));
        const QString qsReason = qsSkip_Reason(pFs, options);
        if (qsReason.isEmpty())
            all.qslFolders << qsTarget;
        else
            all.lstSkipped << Skipped_Fs{qsTarget, qsField(mnt_fs_get_source(pFs)), qsField(mnt_fs_get_fstype(pFs)), qsReason};
    }
    mnt_free_iter(pIter);
    mnt_unref_table(pTable);
    return true;
}

int iCheck_All(const Fill_Options &options, QList<Fill_Volume> &lstVolumes, int &iFailed, QString &qsError)
{
    All_Fs all;
    if (!bAll_File_Systems(options, all, qsError))
        return iExit_All_None_Done;
    vReport_Skipped(all.lstSkipped, options);
    // Checked one by one: what cannot be filled on one file system leaves the others to be filled.
    for (const QString &qsFolder : all.qslFolders) {
        Fill_Options one = options;
        one.qslFolders = QStringList{qsFolder};
        QList<Fill_Volume> lstOne;
        QString qsRefusal;
        const int iStatus = iCheck_Folders(one, lstOne, qsRefusal);
        if (iStatus == iExit_Filled) {
            lstVolumes << lstOne;
            continue;
        }
        std::fprintf(stderr, "morvane-fill: %s\n", qPrintable(qsRefusal));
        if (options.bJson)
            std::fputs(qbaJson_Summary(Fill_Volume{qsFolder}, fsEnded(iStatus, QStringLiteral("refused"), qsRefusal)).constData(), stdout);
        ++iFailed;
    }
    std::fflush(stdout);
    return iExit_Filled;
}

int iAll_Status(int iDone, int iFailed)
{
    if (iFailed == 0)
        return iExit_Filled;
    return iDone == 0 ? iExit_All_None_Done : iExit_All_Some_Failed;
}
