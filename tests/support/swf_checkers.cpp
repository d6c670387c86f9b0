#include "swf_checkers.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "test_support.h"

namespace tavrel_test {

int RunCommand(const std::string& command, std::string& output)
{
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::array<char, 4096> buffer;
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& text)
{
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace tavrel_test
