#include "tools/cancel_signal.h"

#include <unistd.h>

#include "platform/files.h"

namespace {

volatile std::sig_atomic_t cancelled = 0;

void OnSignal(int)
{
    if (!cancelled) {
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
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal, &action, nullptr);
    platform::SetWaitCancelFlag(&cancelled);
}

const volatile std::sig_atomic_t* CancelFlag()
{
    return &cancelled;
}

bool CancelRequested()
{
    return cancelled != 0;
}
