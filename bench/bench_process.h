#pragma once
// Shared by the benchmarks that run programs side by side: a process's CPU
// time and page faults, and a program run to its end with them.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

extern char** environ;

namespace bench_process {

// User and system CPU time and minor page faults (each a page the system
// had to find and zero) of a process, or between two readings of one.
struct Usage {
    double userMs = 0, sysMs = 0, faults = 0;

    static Usage From(const rusage& r)
    {
        auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
        return {ms(r.ru_utime), ms(r.ru_stime), double(r.ru_minflt)};
    }
    static Usage Self()
    {
        rusage r{};
        getrusage(RUSAGE_SELF, &r);
        return From(r);
    }
    double CpuMs() const { return userMs + sysMs; }
    Usage& operator+=(const Usage& o)
    {
        userMs += o.userMs, sysMs += o.sysMs, faults += o.faults;
        return *this;
    }
    Usage operator-(const Usage& o) const { return {userMs - o.userMs, sysMs - o.sysMs, faults - o.faults}; }
};

// Runs program (looked up in PATH when it names no folder) with args to its
// end, what it prints on its output thrown away; adds its usage, and raises
// peakMb to its peak resident size in MB. False when it could not run or
// failed.
inline bool RunProgram(const std::string& program, const std::vector<std::string>& args, Usage* usage,
                       double* peakMb = nullptr)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // What the program prints would mix with the benchmark's table.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage r{};
    if (started != 0 || wait4(pid, &status, 0, &r) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    *usage += Usage::From(r);
    if (peakMb) *peakMb = std::max(*peakMb, r.ru_maxrss / 1024.0);
    return true;
}

}  // namespace bench_process
