// The show compiler: reads a project file and writes its movie.
#include <cstdio>
#include <string>

#include "tools/cancel_signal.h"
#include "platform/toolbox_services.h"
#include "tools/cli_options.h"
#include "tools/export_command.h"
#include "tools/tavrel_run.h"

int main(int argc, char** argv)
{
    // As the editor does at start-up: every compile draws its effects'
    // random delays and limits anew.
    SeedRandomGenerators(StartupSeed());
    CliOptions options;
    std::string error;
    switch (ParseCommandLine(argc, argv, &options, &error)) {
        case CliCommand::kHelp:
            std::fputs(UsageText(), stdout);
            return kExitDone;
        case CliCommand::kVersion:
            std::puts("tavrel " TAVREL_VERSION);
            return kExitDone;
        case CliCommand::kUsageError:
            std::fprintf(stderr, "tavrel: %s\n%s", error.c_str(), UsageText());
            return kExitUsage;
        case CliCommand::kRun:
            break;
    }
    InstallCancelHandlers();
    return RunTavrel(options, stdout, stderr);
}
