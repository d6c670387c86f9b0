#pragma once
// Walks over a sound file's bytes (the frames of raw AAC, the links of a
// chained Ogg file, the streams of joined FLAC): a window read in large
// blocks, and what a walk found kept while the file stands as it was. In
// this header because the movie module links nothing of ours.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform {

// Exactly n bytes of the file at `at`; false on a short read. The movie
// module's own twin of platform::ReadAt, which it does not link.
inline bool ReadFileAt(int fd, int64_t at, uint8_t* out, size_t n)
{
    for (size_t done = 0; done < n;) {
        const ssize_t r = ::pread(fd, out + done, n - done, off_t(at + int64_t(done)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += size_t(r);
    }
    return true;
}

// The bytes of a file, read through a window of large blocks that keeps
// `behind` bytes before the place asked for, so that stepping back a little
// reads nothing. A window moved on keeps what it holds of the new place, so
// a walk forward reads each byte once; BytesBefore walks back the same way.
class ByteWindow {
public:
    ByteWindow(int fd, int64_t size, int64_t window = 262144, int64_t behind = 8192 + 16)
        : fd_(fd), size_(size), span_(window), behind_(behind)
    {
    }
    int64_t Size() const { return size_; }
    // Bytes read from the file so far.
    int64_t BytesRead() const { return read_; }

    // n bytes at `at`; null when they do not lie whole in the file or
    // cannot be read.
    const uint8_t* Bytes(int64_t at, int64_t n)
    {
        if (at < 0 || n < 0 || n > span_ - behind_ || at + n > size_) return nullptr;
        if (!Holds(at, n) && !Place(std::max<int64_t>(0, at - behind_))) return nullptr;
        return window_.data() + (at - windowAt_);
    }

    // The same, for a walk back from the end: where the window moves, it
    // ends at at + n, so the bytes before are read with them.
    const uint8_t* BytesBefore(int64_t at, int64_t n)
    {
        if (at < 0 || n < 0 || n > span_ || at + n > size_) return nullptr;
        if (!Holds(at, n) && !Place(std::max<int64_t>(0, at + n - span_))) return nullptr;
        return window_.data() + (at - windowAt_);
    }

    // Where the next `pattern` of `length` bytes starts at or after `from`;
    // -1 when none does. What the window holds is searched first; past it,
    // the window moves on whole.
    int64_t Find(int64_t from, const void* pattern, size_t length)
    {
        const int64_t n = int64_t(length);
        for (int64_t at = std::max<int64_t>(from, 0); at + n <= size_;) {
            if (!Holds(at, n) && !Place(std::max<int64_t>(0, at - behind_))) return -1;
            const int64_t end = windowAt_ + int64_t(window_.size());
            const uint8_t* bytes = window_.data() + (at - windowAt_);
            if (const void* found = memmem(bytes, size_t(end - at), pattern, length))
                return at + (static_cast<const uint8_t*>(found) - bytes);
            at = end - n + 1;
        }
        return -1;
    }

private:
    bool Holds(int64_t at, int64_t n) const
    {
        return at >= windowAt_ && at + n <= windowAt_ + int64_t(window_.size());
    }

    // The window moved to start at `from`: what it holds of its new place is
    // moved, not read again.
    bool Place(int64_t from)
    {
        const int64_t length = std::min(span_, size_ - from);
        const int64_t oldAt = windowAt_, oldEnd = windowAt_ + int64_t(window_.size());
        std::vector<uint8_t>& next = spare_;
        next.resize(size_t(std::max<int64_t>(length, 0)));
        const int64_t keptFrom = std::max(from, oldAt), keptTo = std::min(from + length, oldEnd);
        bool ok = true;
        if (keptFrom < keptTo) {
            std::memcpy(next.data() + (keptFrom - from), window_.data() + (keptFrom - oldAt), size_t(keptTo - keptFrom));
            ok = ReadPart(from, from, keptFrom, next) && ReadPart(from, keptTo, from + length, next);
        } else {
            ok = ReadPart(from, from, from + length, next);
        }
        window_.swap(next);
        windowAt_ = from;
        if (!ok) window_.clear();
        return ok;
    }

    bool ReadPart(int64_t base, int64_t from, int64_t to, std::vector<uint8_t>& into)
    {
        if (from >= to) return true;
        read_ += to - from;
        return ReadFileAt(fd_, from, into.data() + (from - base), size_t(to - from));
    }

    int fd_;
    int64_t size_;
    int64_t span_, behind_;
    std::vector<uint8_t> window_, spare_;
    int64_t windowAt_ = 0;
    int64_t read_ = 0;
};

// What walk() found over the file fd reads, kept for the last files walked
// at this place, for as long as each stands as it was (device, inode, size
// and modification time): a show opens a sound for its length, its check
// and its export, and each walk reads the file whole.
template <class Walk>
auto WalkedOnce(int fd, Walk walk) -> decltype(walk())
{
    using Found = decltype(walk());
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return walk();
    struct Kept {
        dev_t device;
        ino_t inode;
        off_t size;
        timespec changed;
        Found found;
    };
    static std::mutex lock;
    static std::vector<Kept> kept;
    const auto same = [&](const Kept& k) {
        return k.device == st.st_dev && k.inode == st.st_ino && k.size == st.st_size &&
               k.changed.tv_sec == st.st_mtim.tv_sec && k.changed.tv_nsec == st.st_mtim.tv_nsec;
    };
    {
        const std::lock_guard<std::mutex> hold(lock);
        for (const Kept& k : kept)
            if (same(k)) return k.found;
    }
    Found found = walk();
    const std::lock_guard<std::mutex> hold(lock);
    constexpr size_t kKept = 32;
    if (kept.size() == kKept) kept.erase(kept.begin());
    kept.push_back({st.st_dev, st.st_ino, st.st_size, st.st_mtim, found});
    return found;
}

}  // namespace platform
