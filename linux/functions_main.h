#ifndef FUNCTIONS_MAIN_H
#define FUNCTIONS_MAIN_H

#include <QString>
#include <QStringList>

// Button codes of iMessageBox: one bit each; code * 1024 is the matching QMessageBox::StandardButton.
extern const int iMsgBox_OK_Button;
extern const int iMsgBox_Save_Button;
extern const int iMsgBox_SaveAll_Button;
extern const int iMsgBox_Open_Button;
extern const int iMsgBox_Yes_Button;
extern const int iMsgBox_YesToAll_Button;
extern const int iMsgBox_No_Button;
extern const int iMsgBox_NoToAll_Button;
extern const int iMsgBox_Abort_Button;
extern const int iMsgBox_Retry_Button;
extern const int iMsgBox_Ignore_Button;
extern const int iMsgBox_Close_Button;
extern const int iMsgBox_Cancel_Button;
extern const int iMsgBox_Discard_Button;
extern const int iMsgBox_Help_Button;
extern const int iMsgBox_Apply_Button;
extern const int iMsgBox_Reset_Button;
extern const int iMsgBox_RestoreDefaults_Button;

// What iMessageBox returns for the button labelled with qsUnique_Button_Text (the next free bit).
extern const int iMsgBox_Unique_Button_Result;

// Shows a modal box; returns the code of the pressed button, iMsgBox_Unique_Button_Result for the
// extra button, and 0 when the box was closed without a button or iTime seconds ran out.
int iMessageBox(QString qsTitle_Message, QString qsMain_Message, int iIcon, int iMode,
                int iDefault_Button, int iTime, QString qsUnique_Button_Text);

// Runs a command line (split like a shell would, double quotes keep an argument whole) without a shell;
// returns its standard output split at "\n" (never an empty list). Nothing is left running.
QStringList qslProcess_Run(QString qsProcess, bool bBig_Delay);

// The same with the arguments given one by one, each passed whole whatever it contains.
QStringList qslProcess_Run(const QString &qsProgram, const QStringList &qslArguments, bool bBig_Delay);

// Lets everyone read (and run, where the owner may) the files the program ships in qsDirectory,
// where the caller owns them; nothing else there is touched.
void vAccess_777(const QString &qsDirectory);

// Free bytes that an ordinary user may still write on the file system holding qsDev_Path; 0 if unknown.
double dGet_Partition_FreeSpace(QString qsDev_Path);

// Deletes the folder tree qsPath; symbolic links in it are removed as links and never followed.
void vFolder_Remove(QString qsPath);

// The partition-list entries ("device   --   mount point") for the lines printed by plain `df`.
QStringList qslPartition_Items(const QStringList &qslDf_Lines);

#endif // FUNCTIONS_MAIN_H
