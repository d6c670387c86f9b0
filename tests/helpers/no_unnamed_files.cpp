// Preloaded into the program (LD_PRELOAD), it makes every file system one
// without unnamed files, as NFS or FAT are: an open with O_TMPFILE fails
// with EOPNOTSUPP, and the program falls back to files with names.
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

namespace {

// The open of the library behind this one, by name; with a folder for the
// "at" kinds.
int Forward(const char* name, const int* folder, const char* path, int flags, va_list args)
{
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    const mode_t mode = (flags & O_CREAT) || unnamed ? va_arg(args, mode_t) : 0;
    if (unnamed) return errno = EOPNOTSUPP, -1;
    void* next = dlsym(RTLD_NEXT, name);
    if (folder) return reinterpret_cast<int (*)(int, const char*, int, ...)>(next)(*folder, path, flags, mode);
    return reinterpret_cast<int (*)(const char*, int, ...)>(next)(path, flags, mode);
}

}  // namespace

#define TAVREL_OPEN(name)                                          \
    int name(const char* path, int flags, ...)                     \
    {                                                              \
        va_list args;                                              \
        va_start(args, flags);                                     \
        const int fd = Forward(#name, nullptr, path, flags, args); \
        va_end(args);                                              \
        return fd;                                                 \
    }
#define TAVREL_OPENAT(name)                                        \
    int name(int folder, const char* path, int flags, ...)         \
    {                                                              \
        va_list args;                                              \
        va_start(args, flags);                                     \
        const int fd = Forward(#name, &folder, path, flags, args); \
        va_end(args);                                              \
        return fd;                                                 \
    }

extern "C" {
TAVREL_OPEN(open)
TAVREL_OPEN(open64)
TAVREL_OPENAT(openat)
TAVREL_OPENAT(openat64)
}
