#include "run_guardian.h"

#include "folder_remove.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// The handles the guardian finds open: the pipe as its standard input, the two folders next.
constexpr int iChild_Parent_Fd = 3;
constexpr int iChild_Folder_Fd = 4;
// Above the three handles the child gets, so that no dup2 overwrites one still to be passed.
constexpr int iSpare_Fd_Floor = 10;

int iSpare_Fd(int iFd)
{
    return ::fcntl(iFd, F_DUPFD_CLOEXEC, iSpare_Fd_Floor);
}

void vClose(int &iFd)
{
    if (iFd >= 0)
        ::close(iFd);
    iFd = -1;
}

} // namespace

Run_Guardian::~Run_Guardian()
{
    vRelease();
}

QString Run_Guardian::qsProgram_Beside()
{
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath()
        + QStringLiteral("/morvane_guardian");
}

bool Run_Guardian::bStart(int iParent_Fd, int iFolder_Fd, const QString &qsName, const QString &qsProgram)
{
    vRelease();
    int aiPipe[2] = {-1, -1};
    if (::pipe2(aiPipe, O_CLOEXEC) != 0)
        return false;
    int iRead_Fd = iSpare_Fd(aiPipe[0]);
    int iParent = iSpare_Fd(iParent_Fd);
    int iFolder = iSpare_Fd(iFolder_Fd);
    ::close(aiPipe[0]);

    const QByteArray qbaProgram = QFile::encodeName(qsProgram);
    const QByteArray qbaName = QFile::encodeName(qsName);
    char *apcArgv[] = {const_cast<char *>(qbaProgram.constData()), const_cast<char *>(qbaName.constData()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, iRead_Fd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, iParent, iChild_Parent_Fd);
    posix_spawn_file_actions_adddup2(&actions, iFolder, iChild_Folder_Fd);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // A signal the run holds back must not be held back in the guardian's own set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t sigsEmpty;
    sigemptyset(&sigsEmpty);
    posix_spawnattr_setsigmask(&attributes, &sigsEmpty);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t iPid = -1;
    const bool bStarted = iRead_Fd >= 0 && iParent >= 0 && iFolder >= 0
        && ::posix_spawn(&iPid, qbaProgram.constData(), &actions, &attributes, apcArgv, environ) == 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    vClose(iRead_Fd);
    vClose(iParent);
    vClose(iFolder);
    if (!bStarted) {
        ::close(aiPipe[1]);
        return false;
    }
    m_iPid = iPid;
    m_iPipe_Fd = aiPipe[1];
    return true;
}

void Run_Guardian::vRelease()
{
    if (m_iPipe_Fd >= 0) {
        const char c = cGuardian_Release;
        while (::write(m_iPipe_Fd, &c, 1) < 0 && errno == EINTR) {
        }
    }
    vLet_Go();
}

void Run_Guardian::vLet_Go()
{
    vClose(m_iPipe_Fd);
    if (m_iPid > 0) {
        while (::waitpid(m_iPid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_iPid = -1;
    }
}

int iGuardian_Main(int iPipe_Fd, int iParent_Fd, int iFolder_Fd, const char *pcName)
{
    // Whatever ends the program (a terminal's hang-up or Ctrl+C reaching the whole group) must
    // not end its guardian before the program has had its say.
    ::setsid();
    for (int iSignal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT})
        std::signal(iSignal, SIG_IGN);

    char c = 0;
    ssize_t n = 0;
    while ((n = ::read(iPipe_Fd, &c, 1)) < 0 && errno == EINTR) {
    }
    if (n == 1 && c == cGuardian_Release)
        return 0;

    // Through the handle: whatever the folder's name now leads to, only the folder itself is emptied.
    for (int iPass = 0; iPass < 2; ++iPass)
        vEmpty_Folder(iFolder_Fd);
    ::unlinkat(iParent_Fd, pcName, AT_REMOVEDIR);
    ::syncfs(iFolder_Fd);
    return 0;
}
