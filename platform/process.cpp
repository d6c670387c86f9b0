#include "platform/process.h"

#include "platform/shared_code.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

extern char** environ;

namespace platform {
namespace {

std::vector<pid_t> g_children;
std::string g_opener = "xdg-open";

void SetError(std::string* error, const std::string& what)
{
    if (error) *error = what;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// A zombie of some other parent still answers kill(pid, 0).
bool IsZombie(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    // The state follows the command name, which is in parentheses and may hold blanks.
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

// posix_spawnp when search is set (the opener), posix_spawn otherwise.
bool Spawn(const std::vector<std::string>& argv, bool search, pid_t* pidOut, std::string* error)
{
    if (argv.empty() || argv[0].empty()) {
        SetError(error, "no program to start");
        return false;
    }
    ReapEndedChildren();
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    short flags = POSIX_SPAWN_SETSIGMASK;
#ifdef POSIX_SPAWN_SETSID
    // The launched program outlives a terminal's interrupt aimed at us.
    flags |= POSIX_SPAWN_SETSID;
#endif
    posix_spawnattr_setflags(&attr, flags);

    pid_t pid = -1;
    const int rc = search ? posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ)
                          : posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        SetError(error, "cannot start " + argv[0] + ": " + std::strerror(rc));
        return false;
    }
    g_children.push_back(pid);
    if (pidOut) *pidOut = pid;
    return true;
}

}  // namespace

ProcessSerialNumber PsnFromPid(pid_t pid)
{
    ProcessSerialNumber psn;
    if (pid > 0) psn.lowLongOfPSN = uint32_t(pid);
    return psn;
}

pid_t PidFromPsn(const ProcessSerialNumber& psn)
{
    if (psn.highLongOfPSN != 0 || psn.lowLongOfPSN == 0 || psn.lowLongOfPSN > uint32_t(INT32_MAX)) return -1;
    return pid_t(psn.lowLongOfPSN);
}

bool SpawnProgram(const std::vector<std::string>& argv, pid_t* pid, std::string* error)
{
    return Spawn(argv, false, pid, error);
}

void ReapEndedChildren()
{
    g_children.erase(std::remove_if(g_children.begin(), g_children.end(),
                                    [](pid_t pid) {
                                        int status = 0;
                                        const pid_t r = waitpid(pid, &status, WNOHANG);
                                        // Gone already (reaped elsewhere) counts as ended too.
                                        return r == pid || (r < 0 && errno == ECHILD);
                                    }),
                     g_children.end());
}

bool IsProcessAlive(pid_t pid)
{
    // kill(0) and kill(-1) would address whole process groups.
    if (pid <= 0) return false;
    if (std::find(g_children.begin(), g_children.end(), pid) != g_children.end()) {
        ReapEndedChildren();
        if (std::find(g_children.begin(), g_children.end(), pid) == g_children.end()) return false;
    }
    if (kill(pid, 0) != 0 && errno != EPERM) return false;
    return !IsZombie(pid);
}

bool ProcessRunsProgram(pid_t pid, const std::string& path)
{
    if (!IsProcessAlive(pid)) return false;
    const std::string exe = BundleCodeFile(path, true);
    return !exe.empty() && SameFile("/proc/" + std::to_string(pid) + "/exe", exe);
}

bool RequestQuit(pid_t pid)
{
    if (!IsProcessAlive(pid)) return false;
    return kill(pid, SIGTERM) == 0;
}

bool OpenWithDesktop(const std::string& target, std::string* error)
{
    if (target.empty() || target[0] == '-') {
        SetError(error, "refused to open \"" + target + "\"");
        return false;
    }
    return Spawn({g_opener, target}, true, nullptr, error);
}

void SetDesktopOpener(const std::string& program)
{
    g_opener = program.empty() ? "xdg-open" : program;
}

}  // namespace platform
