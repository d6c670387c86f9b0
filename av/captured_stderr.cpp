#include "av/captured_stderr.h"

#include <sys/types.h>

#include <utility>

namespace platform {

namespace {

// A library's line is held to this much; the rest of an overlong line is
// dropped, so that a library printing without end holds no memory.
constexpr size_t kMaxLine = 4096;

}  // namespace

CapturedStderr::CapturedStderr(std::function<void(const std::string&)> take) : take_(std::move(take))
{
    cookie_io_functions_t io{};
    io.write = [](void* self, const char* data, size_t size) -> ssize_t {
        static_cast<CapturedStderr*>(self)->Take(data, size);
        return ssize_t(size);
    };
    stream_ = ::fopencookie(this, "w", io);
    // Without a stream of its own the library prints as it did.
    if (!stream_) return;
    std::setvbuf(stream_, nullptr, _IONBF, 0);
    std::fflush(stderr);
    saved_ = stderr;
    stderr = stream_;
}

CapturedStderr::~CapturedStderr()
{
    if (!stream_) return;
    stderr = saved_;
    std::fclose(stream_);
    if (!line_.empty()) take_(line_);
}

void CapturedStderr::Take(const char* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            take_(line_);
            line_.clear();
        } else if (line_.size() < kMaxLine) {
            line_ += data[i];
        }
    }
}

}  // namespace platform
