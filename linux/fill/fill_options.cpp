#include "fill_options.h"

#include <QCommandLineParser>

bool bParse_Fill_Options(const QStringList &qslArguments, Fill_Options &options, QString &qsError)
{
    QCommandLineParser qParser;
    qParser.setApplicationDescription(QStringLiteral(
        "Overwrites the free space of the file system holding each FOLDER with zero bytes, so that\n"
        "disk images of it compress to almost nothing. The zeros go into the scratch folder\n"
        "Delete_Zero inside FOLDER, which is removed again however the run ends."));
    const QCommandLineOption qHelp = qParser.addHelpOption();
    const QCommandLineOption qVersion = qParser.addVersionOption();
    const QCommandLineOption qQuiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                                    QStringLiteral("Show no progress, only errors."));
    const QCommandLineOption qJson(QStringLiteral("json"),
                                   QStringLiteral("Print one JSON summary object per volume on standard output."));
    const QCommandLineOption qAllow_Memory(QStringLiteral("allow-memory"),
                                           QStringLiteral("Fill tmpfs and devtmpfs too (they hold no disk image)."));
    const QCommandLineOption qCheck(QStringLiteral("check"),
                                    QStringLiteral("As root on ext4 and xfs: read the free space from the device and count the "
                                                   "blocks that are not zeros. Alone it writes nothing; with --fill after it."));
    const QCommandLineOption qFill(QStringLiteral("fill"),
                                   QStringLiteral("Fill even with --check (without --check, filling is what it does)."));
    const QCommandLineOption qTrim(QStringLiteral("trim"),
                                   QStringLiteral("Discard the free space, reserves included, where the device accepts it; "
                                                  "with --check the fill is skipped when the discard left only zeros."));
    const QCommandLineOption qAllow_Overlay(
        QStringLiteral("allow-overlay"),
        QStringLiteral("Fill overlay file systems too (the zeros land on the upper layer's file system)."));
    const QCommandLineOption qAllow_Remote(
        QStringLiteral("allow-remote"),
        QStringLiteral("Fill network and FUSE file systems too (a server or a process stores the zeros)."));
    qParser.addOptions({qQuiet, qJson, qAllow_Memory, qAllow_Overlay, qAllow_Remote, qCheck, qFill, qTrim});
    qParser.addPositionalArgument(QStringLiteral("FOLDER"),
                                  QStringLiteral("A folder on each file system to zero, one per file system."),
                                  QStringLiteral("FOLDER..."));

    if (!qParser.parse(qslArguments)) {
        qsError = qParser.errorText() + QStringLiteral(" (see --help)");
        return false;
    }
    if (qParser.isSet(qHelp))
        qParser.showHelp(0);
    if (qParser.isSet(qVersion))
        qParser.showVersion();
    options.qslFolders = qParser.positionalArguments();
    options.bQuiet = qParser.isSet(qQuiet);
    options.bJson = qParser.isSet(qJson);
    options.bAllow_Memory = qParser.isSet(qAllow_Memory);
    options.bCheck = qParser.isSet(qCheck);
    options.bTrim = qParser.isSet(qTrim);
    options.bFill = !options.bCheck || options.bTrim || qParser.isSet(qFill);
    options.bAllow_Overlay = qParser.isSet(qAllow_Overlay);
    options.bAllow_Remote = qParser.isSet(qAllow_Remote);
    if (options.qslFolders.isEmpty()) {
        qsError = QStringLiteral("no folder given (see --help)");
        return false;
    }
    return true;
}
