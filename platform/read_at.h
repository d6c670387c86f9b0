#pragma once
// The one loop that reads a file's bytes by offset: a read the kernel cut
// short or a signal interrupted goes on where it stopped. In a header
// because the movie module links nothing of ours and reads this way too.
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace platform {

// Calls that read a file and the bytes they read, for whoever counts them.
struct ReadTally {
    std::atomic<int64_t> calls{0}, bytes{0};
};

// Up to n bytes of fd at `at` into out: fewer at the end of the file, -1
// where a read fails before any byte came.
inline int64_t ReadUpTo(int fd, int64_t at, void* out, size_t n, ReadTally* tally = nullptr)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, static_cast<char*>(out) + done, n - done, off_t(at + int64_t(done)));
        if (tally) {
            ++tally->calls;
            if (got > 0) tally->bytes += got;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && done == 0) return -1;
        if (got <= 0) break;
        done += size_t(got);
    }
    return int64_t(done);
}

// Exactly count bytes of fd at offset; false on a short read.
inline bool ReadAt(int fd, uint64_t offset, void* buffer, size_t count)
{
    return ReadUpTo(fd, int64_t(offset), buffer, count) == int64_t(count);
}

}  // namespace platform
