#ifndef RUN_GUARDIAN_H
#define RUN_GUARDIAN_H

#include <QString>

#include <sys/types.h>

// A small process of the program's own that outlives it: it holds the read end of a pipe whose
// write end only the program holds. When the pipe ends without the word that the clean-up is
// done (the program was killed, lost its display, crashed), the guardian removes the scratch
// folder and commits the file system, so the disk is never left full.
class Run_Guardian
{
public:
    Run_Guardian() = default;
    ~Run_Guardian();  // releases the guardian
    Run_Guardian(const Run_Guardian &) = delete;
    Run_Guardian &operator=(const Run_Guardian &) = delete;

    // Starts qsProgram guarding the folder pcName open as iFolder_Fd inside the folder open as
    // iParent_Fd; false when it could not be started.
    bool bStart(int iParent_Fd, int iFolder_Fd, const QString &qsName, const QString &qsProgram = qsProgram_Beside());
    // Tells the guardian that the clean-up is done and waits for it to end.
    void vRelease();
    // Leaves the clean-up to the guardian, as if the program had ended, and waits for it.
    void vLet_Go();
    bool bRunning() const { return m_iPid > 0; }

    // The guardian installed beside the running program.
    static QString qsProgram_Beside();

private:
    pid_t m_iPid = -1;
    int m_iPipe_Fd = -1;
};

// The word on the pipe that lets the guardian end without touching anything.
constexpr char cGuardian_Release = 'R';

// Body of the guardian program: waits on iPipe_Fd; unless released, empties the folder open as
// iFolder_Fd, removes pcName from the folder open as iParent_Fd if it is empty, commits the file
// system. Returns the exit code.
int iGuardian_Main(int iPipe_Fd, int iParent_Fd, int iFolder_Fd, const char *pcName);

#endif // RUN_GUARDIAN_H
