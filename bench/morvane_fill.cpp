// Headless zero-fill of one mounted volume with the program's own run, for timing and residue
// measurements:  morvane_fill <mount point> [--no-top-up]
// Prints the seconds taken and the files written; the scratch folder is removed afterwards.
#include "functions_main.h"
#include "zero_fill.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <QFile>

#include <cstdio>

#include <sys/statvfs.h>

int main(int argc, char *argv[])
{
    QCoreApplication qApplication(argc, argv);
    const QStringList qslArguments = qApplication.arguments();
    if (qslArguments.size() < 2) {
        std::fprintf(stderr, "usage: morvane_fill <mount point> [--no-top-up]\n");
        return 2;
    }
    const QString qsDev_Path = qslArguments.at(1);
    const QString qsWrite_Path = qsDev_Path + QStringLiteral("/Delete_Zero");
    vFolder_Remove(qsWrite_Path);
    if (!QDir().mkdir(qsWrite_Path)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(qsWrite_Path));
        return 1;
    }

    Zero_Fill_Hooks hooks;
    hooks.dFree_Space = [&qsDev_Path]() { return dGet_Partition_FreeSpace(qsDev_Path); };
    hooks.vFile_Progress = [](int) {};
    hooks.vTotal_Progress = [](int) {};
    hooks.vFile_Count = [](int) {};
    hooks.bPump_Cancelled = []() { return false; };
    hooks.bTop_Up = !qslArguments.contains(QStringLiteral("--no-top-up"));

    QElapsedTimer qTimer;
    qTimer.start();
    const Zero_Fill_Result result = zfrZero_Fill(qsWrite_Path, hooks);
    struct statvfs svLeft {};
    ::statvfs(QFile::encodeName(qsWrite_Path).constData(), &svLeft);
    vFolder_Remove(qsWrite_Path);
    vFlush_File_System(qsDev_Path);
    const double dSeconds = qTimer.nsecsElapsed() / 1e9;
    std::printf("%.3f seconds, %d files, %llu blocks of %lu bytes left free, end %d %s\n", dSeconds,
                result.iFile_Number, static_cast<unsigned long long>(svLeft.f_bfree), svLeft.f_frsize,
                int(result.eEnd), qPrintable(result.qsFailed_Path));
    return result.eEnd == Zero_Fill_End::Full ? 0 : 1;
}
