#pragma once
// Walks over bytes that look at a few of them here and there (a JPEG's
// markers), in a file of any size through one bounded buffer, or in memory:
// one walk, written once over either.
#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

// Reads a file forward through one bounded buffer: bytes are looked at
// where they lie, and a jump past the buffer is a seek.
class ForwardReader {
public:
    ForwardReader(std::FILE* file, uint64_t size) : file_(file), size_(size) {}
    uint64_t Size() const { return size_; }
    bool Failed() const { return failed_; }
    // The byte at p (below Size(), never before an earlier look); -1 when
    // it cannot be read.
    int At(uint64_t p)
    {
        if ((p < start_ || p - start_ >= have_) && !Fill(p)) return -1;
        return buffer_[p - start_];
    }
    // The first position from p on whose byte is (or, with not, is not)
    // value; Size() when there is none or the file cannot be read.
    uint64_t Find(uint64_t p, uint8_t value, bool isNot)
    {
        while (p < size_) {
            if (At(p) < 0) return size_;
            const uint8_t* from = buffer_ + (p - start_);
            const uint8_t* end = buffer_ + have_;
            const uint8_t* hit = from;
            if (!isNot) {
                hit = static_cast<const uint8_t*>(std::memchr(from, value, size_t(end - from)));
                if (!hit) hit = end;
            } else {
                while (hit < end && *hit == value) ++hit;
            }
            p += uint64_t(hit - from);
            if (hit < end) return p;
        }
        return size_;
    }

private:
    bool Fill(uint64_t p)
    {
        if (p >= size_ || failed_) return false;
        if ((have_ == 0 || p != start_ + have_) && fseeko(file_, off_t(p), SEEK_SET) != 0) return Fail();
        start_ = p;
        have_ = std::fread(buffer_, 1, size_t(std::min<uint64_t>(sizeof buffer_, size_ - p)), file_);
        return have_ > 0 || Fail();
    }
    bool Fail()
    {
        failed_ = true;
        have_ = 0;
        return false;
    }

    std::FILE* file_;
    uint64_t size_;
    uint64_t start_ = 0;
    size_t have_ = 0;
    bool failed_ = false;
    uint8_t buffer_[65536];
};


// The same over bytes in memory.
class MemoryReader {
public:
    MemoryReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const { return size_; }
    bool Failed() const { return false; }
    int At(uint64_t p) const { return data_[p]; }
    uint64_t Find(uint64_t p, uint8_t value, bool isNot) const
    {
        if (p >= size_) return size_;
        if (isNot) {
            while (p < size_ && data_[p] == value) ++p;
            return p;
        }
        const void* hit = std::memchr(data_ + p, value, size_t(size_ - p));
        return hit ? uint64_t(static_cast<const uint8_t*>(hit) - data_) : size_;
    }

private:
    const uint8_t* data_;
    size_t size_;
};
