#pragma once
// Running the shared SWF checkers (swf-dump, swf-shot) from tests.
#include <string>

#include "swf_tools.h"

namespace tavrel_test {

// Runs a shell command, collecting its standard output; returns the exit
// status (-1 when it could not be run).
int RunCommand(const std::string& command, std::string& output);

// Single-quotes a path for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace tavrel_test
