#pragma once
// One look at a file for every reader that tells what kind of file it is:
// the file opened once (a regular file only, by the rule of
// regular_file.h), its size and its first bytes. The readers judge by the
// head; the one that takes the file reads on through a descriptor of its
// own on the same open file. So a movie file meets one open(2) however
// many readers look at it first.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

class FileLook {
public:
    // Enough for every judgement made on a head: a transport stream's two
    // packets of 192 bytes, a picture's header, a box or chunk header.
    static constexpr size_t kHeadBytes = 4096;

    FileLook() = default;
    explicit FileLook(const std::string& path);
    ~FileLook();
    FileLook(const FileLook&) = delete;
    FileLook& operator=(const FileLook&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Why the file could not be looked at: its kind when it is no regular
    // file, else the system's words.
    const std::string& Why() const { return why_; }
    const std::string& Path() const { return path_; }
    int64_t Size() const { return size_; }
    const uint8_t* Head() const { return head_; }
    size_t HeadSize() const { return headSize_; }

    // A descriptor of the caller's own on the open file (closed by the
    // caller); it shares the file's position with the look's, which reads
    // by offset alone, so one reader at a time may read through it. -1
    // when the file is not open or no descriptor is left.
    int Descriptor() const;
    // The same as a stream opened "rb", at the file's start; null as above.
    std::FILE* Stream() const;

private:
    std::string path_, why_;
    int fd_ = -1;
    int64_t size_ = 0;
    uint8_t head_[kHeadBytes] = {};
    size_t headSize_ = 0;
};

}  // namespace platform
