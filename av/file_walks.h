#pragma once
// What a walk over a sound file's bytes found (the frames of raw AAC, the
// links of a chained Ogg file, the streams of joined FLAC), kept while the
// file stands as it was. In this header because the movie module links
// nothing of ours.
#include <sys/stat.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {

// What empties each cache of walks: a process that reads many files once
// each (a fuzzer) lets go of them between files.
inline std::vector<void (*)()>& WalkCaches()
{
    static std::vector<void (*)()> caches;
    return caches;
}

inline void ForgetWalks()
{
    for (void (*forget)() : WalkCaches()) forget();
}

// Adds a cache's forget to WalkCaches; true, for a static to hold once.
inline bool ForgetsWith(void (*forget)())
{
    WalkCaches().push_back(forget);
    return true;
}

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
    [[maybe_unused]] static const bool forgettable = ForgetsWith([] {
        const std::lock_guard<std::mutex> hold(lock);
        std::vector<Kept>().swap(kept);
    });
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
