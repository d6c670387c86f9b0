#pragma once
// Processes and launching over POSIX: programs start with posix_spawn and an
// argument vector (never through a shell), documents and URLs open through
// the desktop's opener (xdg-open) the same way.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// The toolbox's process id; here the low word is the POSIX process id and
// zeros name no process.
struct ProcessSerialNumber {
    uint32_t highLongOfPSN = 0;
    uint32_t lowLongOfPSN = 0;
};

namespace platform {

ProcessSerialNumber PsnFromPid(pid_t pid);
// -1 for a serial number that names no process.
pid_t PidFromPsn(const ProcessSerialNumber& psn);

// Starts argv[0] (a path, not searched for) with the given arguments and
// returns at once; its standard input is /dev/null. false with a reason in
// error when it cannot be started.
bool SpawnProgram(const std::vector<std::string>& argv, pid_t* pid, std::string* error = nullptr);

// True while the process exists and has not ended. Our own ended children
// are reaped here, so they do not linger as zombies.
bool IsProcessAlive(pid_t pid);
// Reaps every child we started that has ended.
void ReapEndedChildren();

// True when the running program of pid is the same file as the program of
// path (an executable, or an application bundle: see BundleCodeFile).
bool ProcessRunsProgram(pid_t pid, const std::string& path);

// Asks a process to quit (SIGTERM); true when the request was delivered.
bool RequestQuit(pid_t pid);

// Hands a URL, document or folder to the desktop's opener without waiting
// for it; true when the opener started. A target beginning with '-' is
// refused so that it can never be taken for an option.
bool OpenWithDesktop(const std::string& target, std::string* error = nullptr);

// The opener program (default "xdg-open", looked up in PATH); tests replace it.
void SetDesktopOpener(const std::string& program);

}  // namespace platform
