#pragma once
// Some libraries print their diagnostics on standard error themselves and
// give no way to stop them (libmpg123 under libsndfile). While a
// CapturedStderr lives, what is written through the C library's stderr
// stream comes to it instead, a line at a time. The file descriptor is left
// alone: sanitizer reports, which write to it directly, and the program's
// own streams opened on it reach the terminal as before.
//
// stderr is one for the whole process: capture only around calls into such
// a library, on the thread that reads the media.
#include <cstdio>
#include <functional>
#include <string>

namespace platform {

class CapturedStderr {
public:
    // take receives each line without its line end; a last line without
    // one comes when the capture ends.
    explicit CapturedStderr(std::function<void(const std::string& line)> take);
    ~CapturedStderr();
    CapturedStderr(const CapturedStderr&) = delete;
    CapturedStderr& operator=(const CapturedStderr&) = delete;

private:
    void Take(const char* data, size_t size);

    std::function<void(const std::string&)> take_;
    std::string line_;
    std::FILE* saved_ = nullptr;
    std::FILE* stream_ = nullptr;
};

}  // namespace platform
