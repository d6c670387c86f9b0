#pragma once
// Ctrl-C (and SIGTERM, SIGHUP, SIGQUIT) ask the running stage (the read,
// the --resave write, the export) to stop at its next check,
// and a call blocked on something slow (a FIFO without a reader, a full
// pipe) gives up; a second one ends the program at once, removing the
// unfinished files that have names (platform::RemovePendingNames; those
// without go with the process).
#include <csignal>

void InstallCancelHandlers();
// Nonzero once a cancel was asked for.
const volatile std::sig_atomic_t* CancelFlag();
bool CancelRequested();

// The exit status of a cancelled run.
constexpr int kExitCancelled = 130;
