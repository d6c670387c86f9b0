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

#include <cctype>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "support/test_support.h"

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
// report written there: what the program writes stays as it is. A block
// definitely lost is an error; what glibc keeps of threads is left out
// (valgrind.supp).
// What the child says when the program never started (another user who
// cannot reach it, say): the runner's line, not the program's.
const char* const kCannotRun = "cannot run ";

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
    if (log >= 0) {
        // Ahead of what the test preloads (valgrind_timer_shim.cpp says why).
        const char* preloaded = std::getenv("LD_PRELOAD");
        const std::string preload =
            std::string(TAVREL_VALGRIND_TIMER) + (preloaded && *preloaded ? ":" + std::string(preloaded) : "");
        if (::setenv("LD_PRELOAD", preload.c_str(), 1) != 0) ::_exit(127);
    }
    if (log >= 0)
        words = {"valgrind", "--quiet", "--error-exitcode=" + std::to_string(kValgrindFound),
                 "--leak-check=full", "--errors-for-leak-kinds=definite",
                 "--suppressions=" TAVREL_SOURCE_DIR "/tests/tools/valgrind.supp", "--log-fd=" + std::to_string(log)};
    words.push_back(TAVREL_PROGRAM);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    const std::string failed = kCannotRun + std::string(argv[0]) + "\n";
    (void)!::write(2, failed.data(), failed.size());
    ::_exit(127);
}

// ---- the lines the documentation shows

// Where a line gives a reason of a file's or a library's in parentheses.
const char* const kReasonAfter =
    R"((?:cannot be read(?: or encoded)?|is damaged|cannot be loaded|not well-formed XML|not a project file) \()";

bool IsWordCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == '/';
}

// A line, or an example of one, with what varies in it taken out: each
// quoted text is "Q", a file name or path F, a number #, a list of places
// in a sound "at # s"; the file, line and slide it begins with are "F:",
// and the element and attribute it names next are left out. names are
// replaced where they stand as words.
std::string KindOf(std::string line, const std::vector<std::string>& names)
{
    static const std::regex quoted(R"("[^"]*")");
    line = std::regex_replace(line, quoted, "\"Q\"");
    for (const std::string& name : names) {
        if (name.empty() || name[0] == '-') continue;
        for (size_t at = line.find(name); at != std::string::npos; at = line.find(name, at + 1)) {
            const size_t end = at + name.size();
            if ((at > 0 && IsWordCharacter(line[at - 1])) || (end < line.size() && IsWordCharacter(line[end])))
                continue;
            line.replace(at, name.size(), "F");
        }
    }
    static const std::regex file(R"([\w.+-]+\.(?:tvr|swf|xml)\b|/[^\s:"(),;]*)");
    static const std::regex code(R"(U\+[0-9A-F]{4,})");
    static const std::regex number(R"(-?\d+(?:[.,]\d+)*(?:e[+-]?\d+)?)");
    static const std::regex places(
        R"((?:at # s|between # s and # s|# more places? up to # s)(?:(?:, | and )(?:at # s|between # s and # s|# more places? up to # s))*)");
    static const std::regex prefix(R"(^(tavrel: )?F(?::#)?:(?: slide #:)?)");
    static const std::regex head(R"(^((?:tavrel: )?F:)(?: [\w-]+(?: [\w-]+="Q"| "Q")?| [\w-]+="Q"| "Q"):)");
    static const std::regex unshown(R"( \(# more lines of this kind not shown\)$)");
    line = std::regex_replace(line, file, "F");
    line = std::regex_replace(line, code, "U+X");
    line = std::regex_replace(line, number, "#");
    line = std::regex_replace(line, places, "at # s");
    line = std::regex_replace(line, prefix, "$1F:");
    line = std::regex_replace(line, head, "$1");
    return std::regex_replace(line, unshown, "");
}

// The reasons a kind of line gives in parentheses, each cut at "; " into
// its parts, taken out of kind.
std::vector<std::string> TakeReasons(std::string* kind)
{
    std::vector<std::string> reasons;
    static const std::regex after(kReasonAfter);
    std::smatch m;
    for (size_t from = 0;;) {
        const std::string rest = kind->substr(from);
        if (!std::regex_search(rest, m, after)) break;
        const size_t open = from + size_t(m.position(0) + m.length(0));
        int depth = 1;
        size_t at = open, part = open;
        for (; at < kind->size(); ++at) {
            const char c = (*kind)[at];
            depth += c == '(' ? 1 : c == ')' ? -1 : 0;
            if (depth == 0) break;
            if (depth == 1 && kind->compare(at, 2, "; ") == 0) {
                reasons.push_back(kind->substr(part, at - part));
                part = at + 2;
            }
        }
        if (depth != 0) break;
        reasons.push_back(kind->substr(part, at - part));
        kind->replace(open, at - open, "R");
        from = open + 2;
    }
    return reasons;
}

// Kinds written out, and kinds with "..." (any text) in them.
struct Kinds {
    std::set<std::string> exact;
    std::vector<std::regex> patterns;

    void Add(const std::string& kind)
    {
        if (kind.find("...") == std::string::npos && kind.find("\u2026") == std::string::npos) {
            exact.insert(kind);
            return;
        }
        std::string pattern;
        for (size_t i = 0; i < kind.size(); ++i) {
            if (kind.compare(i, 3, "...") == 0 || kind.compare(i, 3, "\u2026") == 0) {
                pattern += ".*";
                i += 2;
            } else {
                if (std::strchr(R"(\^$.|?*+()[]{})", kind[i])) pattern += '\\';
                pattern += kind[i];
            }
        }
        patterns.emplace_back(pattern);
    }
    bool Has(const std::string& kind) const
    {
        if (exact.count(kind)) return true;
        for (const std::regex& p : patterns)
            if (std::regex_match(kind, p)) return true;
        return false;
    }
};

struct Documented {
    Kinds lines, reasons;
    std::set<std::string> help;  // the README's lines of the help
};

// The texts in backquotes of a page, each on one line, and the lines of its
// indented examples.
std::vector<std::string> Examples(const std::string& page)
{
    std::vector<std::string> out;
    for (size_t at = page.find('`'); at != std::string::npos; at = page.find('`', at + 1)) {
        const size_t end = page.find('`', at + 1);
        if (end == std::string::npos) break;
        std::string text = std::regex_replace(page.substr(at + 1, end - at - 1), std::regex(R"(\s*\n\s*)"), " ");
        out.push_back(text);
        at = end;
    }
    std::istringstream lines(page);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("    ", 0) == 0) out.push_back(line.substr(line.find_first_not_of(' ')));
    return out;
}

const Documented& Documentation()
{
    static const Documented documented = [] {
        Documented d;
        const std::string docs = std::string(TAVREL_SOURCE_DIR) + "/docs/";
        static const std::regex line(R"(^(?:tavrel: |tavrel \d|[\w.-]+\.(?:tvr|swf)(?::\d+)?: ))");
        for (const char* page : {"messages.md", "pictures.md", "sounds.md"}) {
            const std::string text = tavrel_test::ReadFile(docs + page);
            if (text.empty()) ADD_FAILURE() << "no " << docs << page;
            for (const std::string& example : Examples(text)) {
                std::string kind = KindOf(example, {});
                const bool whole = std::regex_search(example, line);
                for (const std::string& reason : TakeReasons(&kind))
                    if (reason.find_first_not_of(".\u2026") != std::string::npos) d.reasons.Add(reason);
                if (whole && std::string(page) == "messages.md") d.lines.Add(kind);
                // A reason given alone, in its parentheses or not; "..."
                // alone stands for any text and is no reason.
                const std::string alone = kind.size() > 2 && kind.front() == '(' && kind.back() == ')'
                                              ? kind.substr(1, kind.size() - 2)
                                              : kind;
                if (!whole && alone.find_first_not_of(". \u2026") != std::string::npos) d.reasons.Add(alone);
            }
        }
        std::istringstream readme(tavrel_test::ReadFile(std::string(TAVREL_SOURCE_DIR) + "/README.md"));
        for (std::string text; std::getline(readme, text);)
            if (text.rfind("    ", 0) == 0) d.help.insert(text.substr(4));
        return d;
    }();
    return documented;
}

}  // namespace

std::vector<std::string> UndocumentedLines(const std::string& output, const std::vector<std::string>& names)
{
    const Documented& documented = Documentation();
    std::vector<std::string> out;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        // What a sanitizer says of the run is not the program's.
        if (line.empty() || line.rfind("==", 0) == 0 || documented.help.count(line)) continue;
        std::string kind = KindOf(line, names);
        std::string unknown;
        // Where a reason names its place or its file first, the pages may
        // give what follows alone.
        static const std::regex placed(R"(^(?:it does not decode at # s(?: \(what follows plays early\))?|F: the file is damaged|F): (.+)$)");
        std::smatch tail;
        for (const std::string& reason : TakeReasons(&kind))
            if (!documented.reasons.Has(reason) &&
                !(std::regex_match(reason, tail, placed) && documented.reasons.Has(tail[1].str())))
                unknown += "\n  (a reason on no page: " + reason + ")";
        if (!unknown.empty() || !documented.lines.Has(kind))
            out.push_back(line + "\n  (of the kind " + kind + ")" + unknown);
    }
    return out;
}

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
    : args_(args)
{
    // A terminal mixes the bar into the lines; libraries asked to trace
    // print on standard error; a movie or project written to standard
    // output fills it.
    bool traced = false, intoStandardOutput = false;
    for (const std::string& e : env) traced = traced || e.rfind("LD_DEBUG=", 0) == 0 || e.rfind("FC_DEBUG=", 0) == 0;
    for (const std::string& a : args) intoStandardOutput = intoStandardOutput || a.rfind("/dev/", 0) == 0;
    checkErr_ = !terminal && !traced;
    checkOut_ = checkErr_ && !intoStandardOutput;
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
    struct rusage usage {};
    if (pid_ > 0 && ::wait4(pid_, &status, 0, &usage) == pid_) {
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.peakKb = usage.ru_maxrss;
    }
    pid_ = -1;
    const bool started = !(result.exitCode == 127 && result.err.rfind(kCannotRun, 0) == 0);
    for (const std::string& line :
         started ? UndocumentedLines((checkOut_ ? result.out : "") + (checkErr_ ? result.err : ""), args_)
                 : std::vector<std::string>{})
        ADD_FAILURE() << "a line docs/messages.md does not show: " << line;
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
