#pragma once
// One run of the show compiler: read the project, check it, optionally
// write it back, export the movie.
#include <cstdio>

#include "tools/cli_options.h"

enum ExitCode {
    kExitDone = 0,
    kExitUsage = 1,
    kExitUnreadable = 2,
    kExitExportFailed = 3,
    kExitStrictWarning = 4,
};

// Messages and the summary go to err and out; the bar to err when it is a
// terminal (and not quiet).
int RunTavrel(const CliOptions& options, std::FILE* out, std::FILE* err);
