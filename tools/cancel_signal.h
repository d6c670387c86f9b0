#pragma once
// Ctrl-C (and SIGTERM) ask the running export to stop at its next check,
// and a call blocked on something slow (a FIFO without a reader, a full
// pipe) gives up; a second one ends the program at once, removing the
// unfinished output.
#include <csignal>
#include <string>

void InstallCancelHandlers();
// Nonzero once a cancel was asked for.
const volatile std::sig_atomic_t* CancelFlag();
bool CancelRequested();
// The file a second signal removes before the program ends; "" for none.
void SetAbortCleanupPath(const std::string& path);

// The exit status of a cancelled run.
constexpr int kExitCancelled = 130;
