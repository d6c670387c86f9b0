#include "program_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace cli_test {

namespace {

// What valgrind exits with when it found an error; the program never does.
constexpr int kValgrindFound = 99;

bool UnderValgrind()
{
    const char* value = std::getenv("TAVREL_TEST_VALGRIND");
    return value && *value && std::string(value) != "0";
}

// With log at or above 0 the program runs under valgrind's memcheck, its
// report written there: what the program writes stays as it is.
[[noreturn]] void Exec(const std::vector<std::string>& args, const std::string& cwd,
                       const std::vector<std::string>& env, int log)
{
    if (::chdir(cwd.c_str()) != 0) ::_exit(127);
    for (const auto& e : env) {
        if (e.rfind("RLIMIT_AS=", 0) == 0) {
            const rlimit cap{std::stoull(e.substr(10)), std::stoull(e.substr(10))};
            if (::setrlimit(RLIMIT_AS, &cap) != 0) ::_exit(127);
            continue;
        }
        if (e.rfind("RUN_AS_UID=", 0) == 0) {
            // That user alone, in the group of its number, as a plain user runs it.
            const auto id = static_cast<uid_t>(std::stoul(e.substr(11)));
            if (::setgroups(0, nullptr) != 0 || ::setgid(id) != 0 || ::setuid(id) != 0) ::_exit(127);
            continue;
        }
        ::putenv(const_cast<char*>(e.c_str()));
    }
    std::vector<std::string> words;
    if (log >= 0)
        words = {"valgrind", "--quiet", "--error-exitcode=" + std::to_string(kValgrindFound),
                 "--errors-for-leak-kinds=none", "--log-fd=" + std::to_string(log)};
    words.push_back(TAVREL_PROGRAM);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    const std::string failed = std::string("cannot run ") + argv[0] + "\n";
    (void)!::write(2, failed.data(), failed.size());
    ::_exit(127);
}

}  // namespace

std::vector<std::string> MemoryCap(unsigned megabytes)
{
#if defined(__SANITIZE_ADDRESS__)
#define TAVREL_ADDRESS_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVREL_ADDRESS_SANITIZER
#endif
#endif
#ifdef TAVREL_ADDRESS_SANITIZER
    return {"ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=" +
            std::to_string(megabytes)};
#else
    return {"RLIMIT_AS=" + std::to_string(uint64_t(megabytes) << 20)};
#endif
}

Program::Program(const std::vector<std::string>& args, const std::string& cwd, bool terminal,
                 const std::vector<std::string>& env)
{
    if (UnderValgrind()) {
        char name[] = "/tmp/tavrel-valgrind-XXXXXX";
        valgrindLog_ = ::mkstemp(name);
        if (valgrindLog_ < 0) ADD_FAILURE() << "no file for valgrind's report";
        else ::unlink(name);
    }
    if (terminal) {
        struct winsize size {};
        size.ws_col = 120;
        size.ws_row = 30;
        pid_ = ::forkpty(&outFd_, nullptr, nullptr, &size);
        if (pid_ == 0) Exec(args, cwd, env, valgrindLog_);
        return;
    }
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]), ::close(err[0]), ::close(out[1]), ::close(err[1]);
        Exec(args, cwd, env, valgrindLog_);
    }
    ::close(out[1]), ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
}

Program::~Program()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
    if (valgrindLog_ >= 0) ::close(valgrindLog_);
}

ProgramResult Program::Wait()
{
    ProgramResult result;
    std::string* sinks[2] = {&result.out, &result.err};
    int fds[2] = {outFd_, errFd_};
    for (;;) {
        struct pollfd polls[2];
        int n = 0;
        for (int i = 0; i < 2; ++i)
            if (fds[i] >= 0) polls[n++] = {fds[i], POLLIN, 0};
        if (n == 0) break;
        if (::poll(polls, n, -1) < 0) break;
        for (int i = 0; i < n; ++i) {
            if (!polls[i].revents) continue;
            char buffer[4096];
            const ssize_t got = ::read(polls[i].fd, buffer, sizeof buffer);
            const int which = polls[i].fd == fds[0] ? 0 : 1;
            // A pseudo-terminal reports its end as an error.
            if (got <= 0) {
                ::close(fds[which]);
                fds[which] = -1;
            } else {
                sinks[which]->append(buffer, size_t(got));
            }
        }
    }
    outFd_ = errFd_ = -1;
    int status = 0;
    if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_)
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    if (valgrindLog_ >= 0 && result.exitCode == kValgrindFound) {
        std::string report;
        char buffer[4096];
        for (ssize_t got; (got = ::pread(valgrindLog_, buffer, sizeof buffer, off_t(report.size()))) > 0;)
            report.append(buffer, size_t(got));
        ADD_FAILURE() << "valgrind found errors in the program:\n" << report.substr(0, 20000);
    }
    return result;
}

ProgramResult RunProgram(const std::vector<std::string>& args, const std::string& cwd,
                         const std::vector<std::string>& env)
{
    return Program(args, cwd, false, env).Wait();
}

}  // namespace cli_test
