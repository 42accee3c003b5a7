#include "df_volume.h"

#include "run_command.h"

#include <QRegularExpression>

namespace {

constexpr int iDf_Wait_Ms = 5000;

// Device, the four number columns, and the mount point kept whole.
const QRegularExpression qreDf_Entry(QStringLiteral("^\\s*(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(.+)$"));
const QRegularExpression qreDf_Lone_Field(QStringLiteral("^\\s*\\S+\\s*$"));

} // namespace

QString qsDf_Line(const QStringList &qslDf_Lines, int &i)
{
    QString qsLine = qslDf_Lines.at(i);
    if (qreDf_Lone_Field.match(qsLine).hasMatch() && i + 1 < qslDf_Lines.size())
        qsLine += QLatin1Char(' ') + qslDf_Lines.at(++i);
    return qsLine;
}

bool bDf_Entry(const QString &qsLine, Df_Volume &volume)
{
    const QRegularExpressionMatch qMatch = qreDf_Entry.match(qsLine);
    if (!qMatch.hasMatch())
        return false;
    volume.qsDevice = qMatch.captured(1);
    volume.dAvailable = qMatch.captured(4).toDouble();
    volume.qsMount_Point = qMatch.captured(6);
    return true;
}

Df_Volume dvDf_Volume(const QString &qsPath)
{
    Df_Volume volume;
    const QStringList qslOutput = qslRun_Command(QStringLiteral("df"), {QStringLiteral("--block-size=1"), QStringLiteral("--"), qsPath}, iDf_Wait_Ms);
    int i = 1;  // line 0 is the header
    if (qslOutput.size() < 2 || !bDf_Entry(qsDf_Line(qslOutput, i), volume))
        return Df_Volume();
    return volume;
}

bool bStill_Mounted(const Df_Volume &dvChosen)
{
    return dvDf_Volume(dvChosen.qsMount_Point) == dvChosen;
}

bool bSame_Df_Device(const QString &qsPath_A, const QString &qsPath_B)
{
    const QString qsDevice = dvDf_Volume(qsPath_A).qsDevice;
    return !qsDevice.isEmpty() && qsDevice == dvDf_Volume(qsPath_B).qsDevice;
}
