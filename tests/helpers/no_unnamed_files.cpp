// Preloaded into the program (LD_PRELOAD), it makes every file system one
// without unnamed files, as NFS or FAT are: an open with O_TMPFILE fails
// with EOPNOTSUPP, and the program falls back to files with names.
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

namespace {

bool Unnamed(int flags) { return (flags & O_TMPFILE) == O_TMPFILE; }

template <typename Open>
Open Next(const char* name)
{
    return reinterpret_cast<Open>(dlsym(RTLD_NEXT, name));
}

mode_t ModeOf(int flags, va_list args)
{
    return (flags & O_CREAT) || Unnamed(flags) ? va_arg(args, mode_t) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    if (Unnamed(flags)) return errno = EOPNOTSUPP, -1;
    static const auto next = Next<int (*)(const char*, int, ...)>("open");
    return next(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    if (Unnamed(flags)) return errno = EOPNOTSUPP, -1;
    static const auto next = Next<int (*)(const char*, int, ...)>("open64");
    return next(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    if (Unnamed(flags)) return errno = EOPNOTSUPP, -1;
    static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
    return next(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    if (Unnamed(flags)) return errno = EOPNOTSUPP, -1;
    static const auto next = Next<int (*)(int, const char*, int, ...)>("openat64");
    return next(folder, path, flags, mode);
}

}  // extern "C"
