#ifndef RUN_SIGNALS_H
#define RUN_SIGNALS_H

#include <functional>

class QSocketNotifier;

// While it lives, SIGINT, SIGTERM and SIGHUP no longer kill the program: they are noted, so that
// a run can clean its scratch folder first; the run's result carries the signal, and the front
// end ends the program by it (vEnd_By_Signal) once it has said its last words.
class Run_Signal_Guard
{
public:
    // vOn_Signal runs on the GUI thread when events are pumped after a signal arrived.
    explicit Run_Signal_Guard(std::function<void()> vOn_Signal);
    // Puts the former handlers back and forgets the signal (the run's result has it).
    ~Run_Signal_Guard();

    Run_Signal_Guard(const Run_Signal_Guard &) = delete;
    Run_Signal_Guard &operator=(const Run_Signal_Guard &) = delete;

    // True once a signal arrived; safe to call between any two writes.
    static bool bSignalled();
    // The first signal that arrived, 0 if none.
    static int iSignal();

private:
    QSocketNotifier *m_pNotifier = nullptr;
};

// Ends the program by iSignal, as that signal would have without the guard; nothing for 0.
void vEnd_By_Signal(int iSignal);

#endif // RUN_SIGNALS_H
