#ifndef FAKE_COMMANDS_H
#define FAKE_COMMANDS_H

#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A folder put first on PATH for the life of the object, holding shell scripts that stand in for
// system commands.
class Fake_Commands
{
public:
    Fake_Commands()
        : qbaOld_Path(qgetenv("PATH"))
    {
        qputenv("PATH", QFile::encodeName(qtdFolder.path()) + ':' + qbaOld_Path);
    }
    ~Fake_Commands() { qputenv("PATH", qbaOld_Path); }

    // Writes an executable script `qsName` with the given shell body.
    bool bAdd(const QString &qsName, const QByteArray &qbaBody)
    {
        QFile qFile(qtdFolder.filePath(qsName));
        if (!qFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        qFile.write("#!/bin/sh\n" + qbaBody + "\n");
        qFile.close();
        return qFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // A df that records its arguments one a line in args.txt and prints `qbaOutput` as it is.
    bool bAdd_Df(const QByteArray &qbaOutput)
    {
        QFile qFile(qtdFolder.filePath(QStringLiteral("df-output.txt")));
        if (!qFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        qFile.write(qbaOutput);
        qFile.close();
        return bAdd(QStringLiteral("df"), "dir=$(dirname \"$0\")\nprintf '%s\\n' \"$@\" > \"$dir/args.txt\"\n"
                                          "cat \"$dir/df-output.txt\"");
    }

    QString qsPath(const QString &qsName) const { return qtdFolder.filePath(qsName); }

private:
    QTemporaryDir qtdFolder;
    QByteArray qbaOld_Path;
};

#endif // FAKE_COMMANDS_H
