// The show compiler: reads a project file and writes its movie.
#include <malloc.h>

#include <cstdio>
#include <string>

#include "tools/cancel_signal.h"
#include "platform/toolbox_services.h"
#include "tools/cli_options.h"
#include "tools/export_command.h"
#include "tools/tavrel_run.h"

#if defined(__SANITIZE_ADDRESS__)
// Sanitizer builds only. The leak check at exit walks the dynamic TLS of
// every module; once the movie module and FFmpeg's libraries are loaded
// with dlopen, this toolchain's runtime can read a stale TLS range there
// and crash instead of reporting, turning a clean run into exit status 1.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
#endif

int main(int argc, char** argv)
{
    // As the editor does at start-up: every compile draws its effects'
    // random delays and limits anew.
    SeedRandomGenerators(StartupSeed());
    // A movie slide's decoded frame (3 MB for 1080p H.264, 6 MB for ProRes)
    // is freed once its picture is drawn: from the heap, not mapped apart,
    // and the heap keeping 32 MB past its top when it shrinks, the next
    // slide's frame takes the same pages instead of faulting in fresh ones
    // (242,000 page faults for 80 slides of 1080p H.264, 17,000 so).
    // Pages never touched cost nothing.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TOP_PAD, 32 << 20);
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
