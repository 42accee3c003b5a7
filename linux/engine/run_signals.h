#ifndef RUN_SIGNALS_H
#define RUN_SIGNALS_H

#include <functional>

class QSocketNotifier;

// While it lives, SIGINT, SIGTERM and SIGHUP no longer kill the program: they are noted, so that
// a run can clean its scratch folder first and then end the program by the same signal.
class Run_Signal_Guard
{
public:
    // vOn_Signal runs on the GUI thread when events are pumped after a signal arrived.
    explicit Run_Signal_Guard(std::function<void()> vOn_Signal);
    // Puts the former handlers back; if a signal arrived meanwhile, ends the program by it now.
    ~Run_Signal_Guard();

    Run_Signal_Guard(const Run_Signal_Guard &) = delete;
    Run_Signal_Guard &operator=(const Run_Signal_Guard &) = delete;

    // True once a signal arrived; safe to call between any two writes.
    static bool bSignalled();

private:
    QSocketNotifier *m_pNotifier = nullptr;
};

#endif // RUN_SIGNALS_H
