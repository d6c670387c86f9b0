#include "tools/cancel_signal.h"

#include <unistd.h>

#include <cstring>

#include "platform/files.h"

namespace {

volatile std::sig_atomic_t cancelled = 0;
// Read by the handler, so a fixed buffer guarded by a flag.
char cleanupPath[4096];
volatile std::sig_atomic_t cleanupSet = 0;

void OnSignal(int)
{
    if (!cancelled) {
        cancelled = 1;
        return;
    }
    if (cleanupSet) ::unlink(cleanupPath);
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
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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

void SetAbortCleanupPath(const std::string& path)
{
    cleanupSet = 0;
    if (path.empty() || path.size() >= sizeof cleanupPath) return;
    std::memcpy(cleanupPath, path.c_str(), path.size() + 1);
    cleanupSet = 1;
}
