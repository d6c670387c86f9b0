#pragma once
// Runs the built tavrel program as a user would: on pipes or on a
// pseudo-terminal, in a working folder, with a signal sent mid-run. With
// TAVREL_TEST_VALGRIND=1 in the environment it runs under valgrind's
// memcheck, and an error valgrind finds fails the test. Every line a run on
// pipes prints must be of a kind docs/messages.md shows, or the test fails.
#include <sys/types.h>

#include <string>
#include <vector>

namespace cli_test {

struct ProgramResult {
    int exitCode = -1;  // 128 + signal when killed
    std::string out;    // on a terminal: everything the terminal showed
    std::string err;
    long peakKb = -1;  // the run's peak resident memory (its VmHWM), KiB
};

class Program {
public:
    // Starts the program with args in folder cwd; extra environment as
    // NAME=value ("RUN_AS_UID=n", for a run as root, makes it a run of that
    // user alone). With terminal, standard output and error share a
    // pseudo-terminal.
    Program(const std::vector<std::string>& args, const std::string& cwd, bool terminal = false,
            const std::vector<std::string>& env = {});
    ~Program();
    pid_t Pid() const { return pid_; }
    // Reads all output and waits for the end.
    ProgramResult Wait();

private:
    pid_t pid_ = -1;
    int outFd_ = -1, errFd_ = -1;
    std::vector<std::string> args_;
    // Which of standard output and error hold the program's own lines.
    bool checkOut_ = false, checkErr_ = false;
    int valgrindLog_ = -1;
};

ProgramResult RunProgram(const std::vector<std::string>& args, const std::string& cwd = ".",
                         const std::vector<std::string>& env = {});

// The lines of output that docs/messages.md does not show. A line is taken
// to its kind (quoted names and values, file names and paths, numbers and
// the element and attribute it names left out, likewise for the page's
// examples, where "..." stands for any text), which must be the kind of an
// example on the page; each reason it gives in parentheses after "cannot be
// read", "is damaged" and the like must stand on a page for users (the
// messages, pictures and sounds pages). The help's lines are the README's.
// names are the run's arguments, which lines repeat as given.
std::vector<std::string> UndocumentedLines(const std::string& output, const std::vector<std::string>& names = {});

// Environment entries that hold the program's memory to megabytes: under
// AddressSanitizer (which cannot run with an address-space limit) no single
// allocation may pass it, and one that fails returns null; otherwise the
// entry "RLIMIT_AS=<bytes>", which the runner turns into the child's limit.
std::vector<std::string> MemoryCap(unsigned megabytes);

}  // namespace cli_test
