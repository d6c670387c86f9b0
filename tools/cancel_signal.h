#pragma once
// Ctrl-C (and SIGTERM, SIGHUP, SIGQUIT) ask the running stage (the read,
// the --resave write, the export) to stop at its next check
// (platform::CancelRequested), and a call blocked on something slow (a FIFO
// without a reader, a full pipe) gives up; a second one ends the program at
// once, removing the unfinished files that have names
// (platform::RemovePendingNames; those without go with the process).
#include <signal.h>

#include <csignal>

void InstallCancelHandlers();
// The flag a cancel sets.
const volatile std::sig_atomic_t* CancelFlag();

// While a stage's result takes its name, signals wait: once the rename has
// begun the result stays, and what came meanwhile only asks the next stage
// to stop.
class CancelHold {
public:
    CancelHold();
    ~CancelHold();
    CancelHold(const CancelHold&) = delete;
    CancelHold& operator=(const CancelHold&) = delete;

private:
    sigset_t old_;
};

// The run's last result is in place: it ends with its line and exit 0,
// whatever signal comes now.
void EndCancels();

// The exit status of a cancelled run.
constexpr int kExitCancelled = 130;
