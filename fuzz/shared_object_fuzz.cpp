// Any bytes as the code of a bundle: checked as SharedCode checks it before
// dlopen, and when the check passes, loaded for real in a child process the
// way SharedCode loads it. What the check passes must not bring the process
// down inside the loader: a fault or a hang there, or one of the loader's
// assertions (which ends the process with status 127). The loaded module's
// own code, run by the loader as constructors and resolvers, may do what it
// likes: the check does not judge code.
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/auxv.h>
#include <sys/wait.h>
#include <sanitizer/common_interface_defs.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_files.h"
#include "platform/shared_object_check.h"

namespace {

std::string gPath;
// The loader's own mapping: a fault or a hang with the code address there is the loader's.
uintptr_t gLoaderStart = 0, gLoaderEnd = 0;

constexpr int kModuleDown = 10, kLoaderDown = 11, kLoaderHung = 12, kLoaderAsserted = 127;
// Long enough for the loader on a loaded machine; the module's constructors may
// loop on their damaged data, and are cut short.
constexpr unsigned kSecondsToLoad = 3;

uintptr_t InterruptedCode(void* context)
{
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return uintptr_t(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return uintptr_t(uc->uc_mcontext.pc);
#else
#error "the shared object fuzz target reads the interrupted code address of x86-64 and AArch64"
#endif
}

bool InLoader(void* context)
{
    const uintptr_t pc = InterruptedCode(context);
    return pc >= gLoaderStart && pc < gLoaderEnd;
}

void OnFault(int, siginfo_t*, void* context)
{
    _exit(InLoader(context) ? kLoaderDown : kModuleDown);
}
void OnAlarm(int, siginfo_t*, void* context)
{
    _exit(InLoader(context) ? kLoaderHung : kModuleDown);
}

int FindLoader(dl_phdr_info* info, size_t, void*)
{
    if (info->dlpi_addr != getauxval(AT_BASE)) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& s = info->dlpi_phdr[i];
        if (s.p_type != PT_LOAD) continue;
        const uintptr_t start = info->dlpi_addr + s.p_vaddr, end = start + s.p_memsz;
        gLoaderStart = gLoaderStart ? std::min(gLoaderStart, start) : start;
        gLoaderEnd = std::max(gLoaderEnd, end);
    }
    return 1;
}

// Whether the loader would map the file at all: an ELF shared object of this
// system's kind. Other files it refuses on its own, so they need no child.
bool LoaderMaps(const uint8_t* data, size_t size)
{
    ElfW(Ehdr) header;
    if (size < sizeof header) return false;
    std::memcpy(&header, data, sizeof header);
    return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
           header.e_ident[EI_CLASS] == (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) && header.e_type == ET_DYN;
}

// Loads the file in a child process; the child's end as the parent saw it.
int LoadInChild()
{
    const pid_t child = fork();
    if (child < 0) return 0;
    if (child == 0) {
        // The module's code is built with the sanitizers too: what they find
        // in it, as what faults in it, is its own, and no finding of ours.
        __sanitizer_set_death_callback([] { _exit(kModuleDown); });
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) dup2(quiet, STDERR_FILENO);
        struct sigaction fault {};
        fault.sa_sigaction = OnFault;
        fault.sa_flags = SA_SIGINFO;
        // The fuzzer's own handlers would write the module's aborts down as findings.
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT}) sigaction(sig, &fault, nullptr);
        struct sigaction alarm {};
        alarm.sa_sigaction = OnAlarm;
        alarm.sa_flags = SA_SIGINFO;
        sigaction(SIGALRM, &alarm, nullptr);
        ::alarm(kSecondsToLoad);
        dlopen(gPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    dl_iterate_phdr(FindLoader, nullptr);
    if (gLoaderEnd == 0) {
        std::fprintf(stderr, "shared_object_fuzz: the loader's code is not found\n");
        std::exit(1);
    }
    gPath = fuzz_files::MakeFolder("tavrel-shared-object-fuzz") + "/code.so";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_files::KeepFolder(gPath.substr(0, gPath.rfind('/')));
    if (!fuzz_files::WriteBytes(gPath, data, size)) std::abort();
    const std::string problem = platform::SharedObjectProblem(gPath);
    if (!problem.empty() || !LoaderMaps(data, size)) return 0;
    switch (LoadInChild()) {
        case kLoaderDown:
            std::fprintf(stderr, "shared_object_fuzz: the check passed a file that brings the loader down\n");
            std::abort();
        case kLoaderHung:
            std::fprintf(stderr, "shared_object_fuzz: the check passed a file the loader does not finish loading\n");
            std::abort();
        case kLoaderAsserted:
            std::fprintf(stderr, "shared_object_fuzz: the check passed a file that fails an assertion of the loader\n");
            std::abort();
        default:
            return 0;
    }
}
