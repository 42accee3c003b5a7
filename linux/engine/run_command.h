#ifndef RUN_COMMAND_H
#define RUN_COMMAND_H

#include <QString>
#include <QStringList>

// Runs qsProgram with each argument passed whole, without a shell, waiting at most iWait_Ms;
// returns its standard output split at "\n" (never an empty list). Nothing is left running.
QStringList qslRun_Command(const QString &qsProgram, const QStringList &qslArguments, int iWait_Ms);

#endif // RUN_COMMAND_H
