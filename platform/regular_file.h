#pragma once
// What the program reads from outside (pictures, sounds, movies, project
// files, skins, resources) must be a regular file: a FIFO holds the open
// until some writer comes, a device such as /dev/zero never ends, a folder
// holds no bytes. One rule for every reader, kept in this header because
// the movie module links nothing of ours and follows it too.
//
// The file is opened without blocking and judged by its descriptor, so
// nothing can take its place between the judgement and the reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace platform {

// Why an object of this kind gives nothing to read; "" for a regular file.
inline const char* NotRegularFileReason(mode_t mode)
{
    if (S_ISREG(mode)) return "";
    if (S_ISDIR(mode)) return "a folder, not a file";
    if (S_ISFIFO(mode)) return "a FIFO, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a file";
    if (S_ISSOCK(mode)) return "a socket, not a file";
    return "not a file";
}

// Why path cannot be read as a file (its kind, or the system's words when it
// cannot be looked at); "" for a regular file. Links are followed. For
// messages and for choosing among candidates: the open below is what holds.
inline std::string RegularFileTrouble(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    return NotRegularFileReason(st.st_mode);
}

// A read-only descriptor of the regular file at path (relative to the folder
// open as folder), or -1 with errno set (EISDIR for a folder, EINVAL for
// another kind) and the reason in *why. extraFlags: O_NOFOLLOW, say.
inline int OpenRegularFileAt(int folder, const std::string& path, std::string* why = nullptr, int extraFlags = 0)
{
    const int fd = ::openat(folder, path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | extraFlags);
    if (fd < 0) {
        if (why) *why = std::strerror(errno);
        return -1;
    }
    struct stat st;
    const bool looked = ::fstat(fd, &st) == 0;
    if (!looked || !S_ISREG(st.st_mode)) {
        const int err = !looked ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        if (why) *why = looked ? NotRegularFileReason(st.st_mode) : std::strerror(err);
        errno = err;
        return -1;
    }
    // Reads block again, as callers expect of a file.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

inline int OpenRegularFile(const std::string& path, std::string* why = nullptr)
{
    return OpenRegularFileAt(AT_FDCWD, path, why);
}

// The same as a stream opened "rb"; null with errno and *why as above.
inline std::FILE* OpenRegularStream(const std::string& path, std::string* why = nullptr)
{
    const int fd = OpenRegularFile(path, why);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        const int err = errno;
        if (why) *why = std::strerror(err);
        ::close(fd);
        errno = err;
    }
    return file;
}

}  // namespace platform
