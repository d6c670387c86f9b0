#pragma once
// Running the shared SWF checkers (swf-dump, swf-shot) from tests.
#include <string>

namespace tavrel_test {

// Full path of a checker in the shared tools folder, or "" when it is not there.
std::string SwfToolPath(const std::string& name);

// Runs a shell command, collecting its standard output; returns the exit
// status (-1 when it could not be run).
int RunCommand(const std::string& command, std::string& output);

// Single-quotes a path for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace tavrel_test
