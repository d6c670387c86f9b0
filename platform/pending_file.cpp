#include "platform/pending_file.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace platform {

namespace {

// The names of pending files, where a signal handler can read them: fixed
// room, each slot's path written before the slot is marked used.
constexpr size_t kNameSlots = 64;
struct NameSlot {
    char path[4096];
    volatile std::sig_atomic_t used;
};
NameSlot g_nameSlots[kNameSlots];

// Puts path in a free slot; where none is, the name is removed only by
// the program's own ways out.
void NoteName(const std::string& path)
{
    if (path.size() >= sizeof g_nameSlots[0].path) return;
    for (size_t i = 0; i < kNameSlots; ++i) {
        if (g_nameSlots[i].used) continue;
        std::memcpy(g_nameSlots[i].path, path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        g_nameSlots[i].used = 1;
        return;
    }
}

void ForgetName(const std::string& path)
{
    for (size_t i = 0; i < kNameSlots; ++i)
        if (g_nameSlots[i].used && path == g_nameSlots[i].path) {
            g_nameSlots[i].used = 0;
            return;
        }
}

// Signals are held while a name is given and noted, or taken and
// forgotten: a handler that ends the program between the two would leave
// the file, or remove one that is in place. Those the program raises by
// its own faults are not held.
class HeldSignals {
public:
    HeldSignals()
    {
        sigset_t all;
        sigfillset(&all);
        for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS}) sigdelset(&all, fault);
        ::pthread_sigmask(SIG_BLOCK, &all, &old_);
    }
    ~HeldSignals() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

private:
    sigset_t old_;
};

// The pending files now open, for writers that are given only their paths.
std::mutex g_pendingLock;
std::vector<const PendingFile*> g_pending;

// A hidden name beside target, for the moment between a file's link and
// its rename, that no file has yet.
std::string FreshHiddenName(const std::string& target)
{
    static std::mt19937 random{std::random_device{}()};
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string hidden = JoinPath(ParentOf(target), "." + BaseName(target).substr(0, 200) + ".");
    for (int i = 0; i < 6; ++i) hidden += letters[random() % (sizeof letters - 1)];
    return hidden;
}

// Closing a descriptor is where NFS and FUSE write back what was cached and
// say what failed; every close does, so one of a copy says it while the
// file stays open to be named.
bool ClosesClean(int fd)
{
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    return copy >= 0 && ::close(copy) == 0;
}

}  // namespace

bool PendingFile::Create(const std::string& folder, const std::string& prefix, const std::string& suffix, bool scratch)
{
    Discard();
    // Without /proc a file can be neither opened again nor linked: it keeps
    // a name. A scratch file that had to take one lets it go at once.
    const bool viaProc = ::access("/proc/self/fd", F_OK) == 0;
    int fd = viaProc ? ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600) : -1;
    if (fd < 0 && viaProc && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    std::string name;
    if (fd < 0) {
        name = JoinPath(folder, prefix + "XXXXXX" + suffix);
        const HeldSignals held;
        fd = ::mkostemps(name.data(), int(suffix.size()), O_CLOEXEC);
        if (fd < 0) return false;
        if (viaProc && scratch) {
            ::unlink(name.c_str());
            name.clear();
        } else {
            NoteName(name);
        }
    }
    fd_ = fd;
    named_ = !name.empty();
    path_ = named_ ? name : "/proc/self/fd/" + std::to_string(fd);
    ::fchmod(fd_, 0600);
    lastMode_ = -1;
    leftover_.clear();
    std::lock_guard<std::mutex> lock(g_pendingLock);
    g_pending.push_back(this);
    return true;
}

bool PendingFile::CreateScratch(const std::string& folder, const std::string& prefix, const std::string& suffix)
{
    return Create(folder, prefix, suffix, true);
}

bool PendingFile::CreateBeside(const std::string& target)
{
    // Short enough for the longest file names.
    if (!Create(ParentOf(target), "." + BaseName(target).substr(0, 200) + ".", "", false)) return false;
    lastMode_ = int(TakeReplacedAttributes(fd_, target));
    return true;
}

std::FILE* PendingFile::Rewrite() const
{
    if (fd_ < 0) {
        errno = EBADF;
        return nullptr;
    }
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return nullptr;
    const int copy = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    std::FILE* file = copy >= 0 ? ::fdopen(copy, "wb") : nullptr;
    if (!file && copy >= 0) ::close(copy);
    return file;
}

bool GiveName(const std::string& from, const std::string& to, bool replace)
{
    if (replace) return ::rename(from.c_str(), to.c_str()) == 0;
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

bool PendingFile::Commit(const std::string& target, bool replace)
{
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    // The mode comes last: a read-only one would refuse the attributes.
    if (lastMode_ >= 0 && ::fchmod(fd_, mode_t(lastMode_)) != 0) return false;
    if (!ClosesClean(fd_)) return false;
    bool done;
    leftover_.clear();
    if (named_) {
        const HeldSignals held;
        done = GiveName(path_, target, replace);
        // A file system without that rename: a link fails on a name taken.
        if (!done && !replace && (errno == EINVAL || errno == ENOSYS)) {
            done = ::link(path_.c_str(), target.c_str()) == 0;
            // In place under both names: the second is only left over.
            if (done && ::unlink(path_.c_str()) != 0) leftover_ = path_;
        }
        // The name is the file's now: nothing is removed.
        if (done) ForgetName(path_);
    } else if (!replace) {
        done = ::linkat(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0;
    } else {
        // Linked under a fresh hidden name, then renamed over target in one step.
        const HeldSignals held;
        std::string hidden;
        int tries = 0;
        do {
            hidden = FreshHiddenName(target);
            done = ::linkat(AT_FDCWD, path_.c_str(), AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW) == 0;
        } while (!done && errno == EEXIST && ++tries < 100);
        if (done) {
            NoteName(hidden);
            done = GiveName(hidden, target, true);
            const int err = errno;
            if (!done) ::unlink(hidden.c_str());
            ForgetName(hidden);
            errno = err;
        }
    }
    if (!done) return false;
    named_ = false;
    const std::string leftover = leftover_;
    Discard();
    leftover_ = leftover;
    return true;
}

void PendingFile::Discard()
{
    if (fd_ < 0) return;
    {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        g_pending.erase(std::remove(g_pending.begin(), g_pending.end(), this), g_pending.end());
    }
    if (named_) {
        const HeldSignals held;
        ::unlink(path_.c_str());
        ForgetName(path_);
    }
    ::close(fd_);
    fd_ = -1;
    path_.clear();
    named_ = false;
}

int PendingDescriptor(const std::string& path)
{
    if (path.empty()) return -1;
    std::lock_guard<std::mutex> lock(g_pendingLock);
    for (const PendingFile* file : g_pending)
        if (file->GetPath() == path) return file->Descriptor();
    return -1;
}

bool IsPendingFile(const std::string& path)
{
    return PendingDescriptor(path) >= 0;
}

std::FILE* RewritePendingFile(const std::string& path)
{
    const PendingFile* found = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        for (const PendingFile* file : g_pending)
            if (file->GetPath() == path) found = file;
    }
    if (!found) {
        errno = ENOENT;
        return nullptr;
    }
    return found->Rewrite();
}

void RemovePendingNames()
{
    for (size_t i = 0; i < kNameSlots; ++i)
        if (g_nameSlots[i].used) ::unlink(g_nameSlots[i].path);
}

}  // namespace platform
