#pragma once
// Stands in for a full disk: caps the size of files this process may write,
// with SIGXFSZ ignored so that writes past the cap fail instead of killing
// the test. Both are restored when the object goes.
#include <csignal>
#include <sys/resource.h>

namespace tavrel_test {

class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes)
    {
        if (getrlimit(RLIMIT_FSIZE, &old_) != 0) return;
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old_;
        small.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~ScopedFileSizeLimit() { Lift(); }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

    bool Active() const { return active_; }
    // Ends the cap early, before the test's checks read files back.
    void Lift()
    {
        if (!active_) return;
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
        active_ = false;
    }

private:
    rlimit old_{};
    void (*handler_)(int) = SIG_DFL;
    bool active_ = false;
};

}  // namespace tavrel_test
