#include "tools/cancel_signal.h"

#include <unistd.h>

#include "platform/files.h"

namespace {

volatile std::sig_atomic_t cancelled = 0;
volatile std::sig_atomic_t ended = 0;
// A result is taking its name: a signal that reaches another thread
// meanwhile only sets the flag.
volatile std::sig_atomic_t holding = 0;

constexpr int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t CancelSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kCancelSignals) sigaddset(&set, signal);
    return set;
}

void OnSignal(int)
{
    if (ended) return;
    if (!cancelled || holding) {
        cancelled = 1;
        return;
    }
    platform::RemovePendingNames();
    ::_exit(kExitCancelled);
}

}  // namespace

void InstallCancelHandlers()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a call blocked on something slow returns, and the run
    // reaches its next look at the flag. Reads and writes of regular files
    // are not interrupted; waits for a FIFO's reader look at the flag.
    action.sa_flags = 0;
    // A closed terminal (SIGHUP) and Ctrl-\ (SIGQUIT) end a run as SIGTERM
    // does: stopped at its next check, nothing of it left behind.
    for (int signal : kCancelSignals) sigaction(signal, &action, nullptr);
    platform::SetCancelFlag(&cancelled);
}

const volatile std::sig_atomic_t* CancelFlag()
{
    return &cancelled;
}

CancelHold::CancelHold()
{
    const sigset_t set = CancelSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    holding = 1;
}

CancelHold::~CancelHold()
{
    // However many came, they are one cancel now: the result they came
    // during is in place, and nothing unfinished is left to remove.
    const sigset_t set = CancelSignals();
    const struct timespec now = {0, 0};
    while (::sigtimedwait(&set, nullptr, &now) > 0)
        if (!ended) cancelled = 1;
    holding = 0;
    ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

void EndCancels()
{
    ended = 1;
}
