#include "run_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int aiSignals[] = {SIGINT, SIGTERM, SIGHUP};
// A run stopped from the terminal would hold the free space for as long as nobody continues it:
// Ctrl-Z is answered on the terminal instead, and a run in the background writes its progress
// to the terminal rather than being stopped for it.
constexpr int aiStop_Signals[] = {SIGTSTP, SIGTTIN, SIGTTOU};
volatile sig_atomic_t g_iSignal = 0;
int g_aiPipe[2] = {-1, -1};
struct sigaction g_aOld_Actions[3];
struct sigaction g_aOld_Stop_Actions[3];
char g_acNo_Stop[160];
size_t g_uiNo_Stop_Size = 0;

void vOn_Stop(int)
{
    const int iSaved_Errno = errno;
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, g_acNo_Stop, g_uiNo_Stop_Size);
    errno = iSaved_Errno;
}

// Async-signal-safe: a flag for the write loop, which pumps no events unless the user allowed
// cancelling, and a byte in the pipe for the event loop of a pumped run or an open message box.
void vOn_Signal(int iSignal)
{
    const int iSaved_Errno = errno;
    if (g_iSignal == 0)
        g_iSignal = iSignal;
    if (g_aiPipe[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(g_aiPipe[1], &c, 1);
    }
    errno = iSaved_Errno;
}

} // namespace

Run_Signal_Guard::Run_Signal_Guard(std::function<void()> vOn_Signal_Pumped)
{
    g_iSignal = 0;
    if (g_aiPipe[0] < 0 && ::pipe2(g_aiPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_aiPipe[0] = g_aiPipe[1] = -1;
    if (g_aiPipe[0] >= 0) {
        m_pNotifier = new QSocketNotifier(g_aiPipe[0], QSocketNotifier::Read);
        QObject::connect(m_pNotifier, &QSocketNotifier::activated, [vOn_Signal_Pumped]() {
            char acBuffer[16];
            while (::read(g_aiPipe[0], acBuffer, sizeof acBuffer) > 0) {
            }
            if (vOn_Signal_Pumped)
                vOn_Signal_Pumped();
        });
    }
    struct sigaction action {};
    action.sa_handler = vOn_Signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        ::sigaction(aiSignals[i], nullptr, &g_aOld_Actions[i]);
        // A signal the program was told to ignore (nohup) stays ignored.
        if (g_aOld_Actions[i].sa_handler != SIG_IGN)
            ::sigaction(aiSignals[i], &action, nullptr);
    }
    const QByteArray qbaNo_Stop = QCoreApplication::applicationName().toLocal8Bit()
        + ": a run does not stop while it holds the free space (Ctrl-C ends it and cleans up)\n";
    g_uiNo_Stop_Size = size_t(qMin<qsizetype>(qbaNo_Stop.size(), qsizetype(sizeof g_acNo_Stop)));
    std::memcpy(g_acNo_Stop, qbaNo_Stop.constData(), g_uiNo_Stop_Size);
    struct sigaction stop {};
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        // Terminal reads and writes of a background run go ahead only while these are ignored.
        stop.sa_handler = aiStop_Signals[i] == SIGTSTP ? vOn_Stop : SIG_IGN;
        ::sigaction(aiStop_Signals[i], &stop, &g_aOld_Stop_Actions[i]);
    }
}

Run_Signal_Guard::~Run_Signal_Guard()
{
    for (int i = 0; i < 3; ++i) {
        ::sigaction(aiSignals[i], &g_aOld_Actions[i], nullptr);
        ::sigaction(aiStop_Signals[i], &g_aOld_Stop_Actions[i], nullptr);
    }
    delete m_pNotifier;
    // The run's result carries the signal; outside a guard nothing is noted.
    g_iSignal = 0;
}

bool Run_Signal_Guard::bSignalled()
{
    return g_iSignal != 0;
}

int Run_Signal_Guard::iSignal()
{
    return g_iSignal;
}

void vEnd_By_Signal(int iSignal)
{
    if (iSignal == 0)
        return;
    // Only a signal the program did not ignore was noted: its own action is the default one.
    ::signal(iSignal, SIG_DFL);
    ::raise(iSignal);
}
