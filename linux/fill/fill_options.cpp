#include "fill_options.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cmath>

namespace {

// --keep-free as a byte count or as "N%" of the volume; false when it is neither.
bool bParse_Keep_Free(const QString &qsText, Fill_Options &options)
{
    static const QRegularExpression qrePercent(QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*%\\s*$"));
    const QRegularExpressionMatch m = qrePercent.match(qsText);
    options.bKeep_Free = true;
    if (!m.hasMatch())
        return bParse_Bytes(qsText, options.iKeep_Free_Bytes);
    options.dKeep_Free_Percent = m.captured(1).toDouble();
    return options.dKeep_Free_Percent <= 100;
}

} // namespace

QString qsFile_Name(const QByteArray &qbaName)
{
    const QString qsName = QString::fromUtf8(qbaName);
    if (qsName.toUtf8() == qbaName)
        return qsName;
    QString qsKept;
    for (const char c : qbaName)
        qsKept += uchar(c) < 0x80 ? QChar(c) : QChar(ushort(0xDC00 + uchar(c)));
    return qsKept;
}

QByteArray qbaFile_Name(const QString &qsName)
{
    QByteArray qbaName;
    for (const QChar c : qsName)
        qbaName += c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF ? QByteArray(1, char(c.unicode() - 0xDC00))
                                                                   : QString(c).toUtf8();
    return qbaName;
}

QStringList qslArguments(int argc, char *argv[])
{
    QStringList qslWords;
    for (int i = 0; i < argc; ++i)
        qslWords << qsFile_Name(QByteArray(argv[i]));
    return qslWords;
}

bool bParse_Bytes(const QString &qsText, qint64 &iBytes)
{
    static const QRegularExpression qreBytes(QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*(?:([KMGT])(I?B)?|B)?\\s*$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = qreBytes.match(qsText);
    if (!m.hasMatch())
        return false;
    const int iPower = m.captured(2).isEmpty() ? 0 : int(QStringLiteral("KMGT").indexOf(m.captured(2).toUpper())) + 1;
    const double dBase = m.captured(3).compare(QStringLiteral("B"), Qt::CaseInsensitive) == 0 ? 1000 : 1024;
    const double dBytes = m.captured(1).toDouble() * std::pow(dBase, iPower);
    if (dBytes >= 0x1p62)
        return false;
    iBytes = qint64(dBytes);
    return true;
}

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
    const QCommandLineOption qAll(QStringLiteral("all"),
                                  QStringLiteral("Fill every mounted file system that a disk image carries, each once, "
                                                 "instead of FOLDERs; read-only, memory, pseudo, overlay, network and "
                                                 "FUSE file systems are skipped."));
    const QCommandLineOption qVerbose(QStringLiteral("verbose"),
                                      QStringLiteral("With --all: say which file systems are skipped, and why."));
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
    const QCommandLineOption qKeep_Free(QStringLiteral("keep-free"),
                                        QStringLiteral("Leave SIZE available to ordinary users on every volume, such as 64M, 2G "
                                                       "or 5% of the volume; that much stays unzeroed, and as root so do the "
                                                       "blocks ext2/3/4 keep for root."),
                                        QStringLiteral("SIZE"));
    const QCommandLineOption qRate(QStringLiteral("rate"),
                                   QStringLiteral("Write at most RATE bytes per second, such as 50M or 1G, so that other "
                                                  "programs keep their share of the device."),
                                   QStringLiteral("RATE"));
    qParser.addOptions({qAll, qVerbose, qQuiet, qJson, qAllow_Memory, qAllow_Overlay, qAllow_Remote, qCheck, qFill, qTrim, qKeep_Free, qRate});
    qParser.addPositionalArgument(QStringLiteral("FOLDER"),
                                  QStringLiteral("A folder on each file system to zero, one per file system."),
                                  QStringLiteral("FOLDER..."));

    if (!qParser.parse(qslArguments)) {
        // Still the folders named, so that --json can say which were refused.
        options.qslFolders = qParser.positionalArguments();
        qsError = qParser.errorText() + QStringLiteral(" (see --help)");
        return false;
    }
    if (qParser.isSet(qHelp))
        qParser.showHelp(0);
    if (qParser.isSet(qVersion))
        qParser.showVersion();
    options.qslFolders = qParser.positionalArguments();
    options.bAll = qParser.isSet(qAll);
    options.bVerbose = qParser.isSet(qVerbose);
    options.bQuiet = qParser.isSet(qQuiet);
    options.bJson = qParser.isSet(qJson);
    options.bAllow_Memory = qParser.isSet(qAllow_Memory);
    options.bCheck = qParser.isSet(qCheck);
    options.bTrim = qParser.isSet(qTrim);
    options.bFill = !options.bCheck || options.bTrim || qParser.isSet(qFill);
    options.bAllow_Overlay = qParser.isSet(qAllow_Overlay);
    options.bAllow_Remote = qParser.isSet(qAllow_Remote);
    const QString qsKeep_Free = qParser.value(qKeep_Free);
    if (qParser.isSet(qKeep_Free) && !bParse_Keep_Free(qsKeep_Free, options)) {
        qsError = QStringLiteral("--keep-free: \"") + qsKeep_Free
            + QStringLiteral("\" is not a size: give bytes with a unit, such as 64M or 2G, or a share of the volume, such as 5%");
        return false;
    }
    const QString qsRate = qParser.value(qRate);
    QString qsPer_Second = qsRate;
    qsPer_Second.remove(QRegularExpression(QStringLiteral("/s\\s*$")));
    if (qParser.isSet(qRate) && (!bParse_Bytes(qsPer_Second, options.iRate) || options.iRate <= 0)) {
        qsError = QStringLiteral("--rate: \"") + qsRate
            + QStringLiteral("\" is no rate to write at: give bytes per second with a unit, such as 50M or 1G");
        return false;
    }
    if (options.bAll && !options.qslFolders.isEmpty()) {
        qsError = QStringLiteral("--all finds the file systems itself: name no folder with it");
        return false;
    }
    if (options.qslFolders.isEmpty() && !options.bAll) {
        qsError = QStringLiteral("no folder given (see --help)");
        return false;
    }
    return true;
}
