#pragma once
// The command line of the show compiler.
#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    std::string project;
    std::string output;  // empty: no movie (only with --resave)
    std::string resave;  // empty: the project is not written back
    std::optional<bool> compress;
    std::vector<std::string> searchFolders;
    std::string resources;  // empty: the bundle's Resources folder
    bool strict = false;
    bool quiet = false;
};

enum class CliCommand { kRun, kHelp, kVersion, kUsageError };

// Fills options from argv; on kUsageError, error says what was wrong.
CliCommand ParseCommandLine(int argc, const char* const* argv, CliOptions* options, std::string* error);

// The usage text, ending in a line feed.
const char* UsageText();
