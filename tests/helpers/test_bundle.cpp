// The code of the bundles the tests load. Built twice: with the
// SWF-protection entry point and, as an older bundle, without it.
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {
char g_lastCall[1024];
}

extern "C" {

__attribute__((visibility("default"))) int TestBundleAnswer()
{
    return 42;
}

// "source|folder" of the last processing call.
__attribute__((visibility("default"))) const char* TestBundleLastCall()
{
    return g_lastCall;
}

#ifdef TAVREL_WITH_LOCK_ENTRY
// Advances the counters by 1, 2 and 3; the source "fail" reports failure.
__attribute__((visibility("default"))) int LockProcessPreloader(const char* source, const char* folder, void* movie,
                                                                uint16_t* nextId, uint16_t* nextDepth, int* frames)
{
    std::snprintf(g_lastCall, sizeof g_lastCall, "%s|%s|%s", source ? source : "(null)", folder ? folder : "(null)",
                  movie ? "movie" : "no movie");
    if (nextId) *nextId += 1;
    if (nextDepth) *nextDepth += 2;
    if (frames) *frames += 3;
    return source && std::strcmp(source, "fail") == 0 ? 0 : 1;
}
#endif
}
