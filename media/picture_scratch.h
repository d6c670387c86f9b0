#pragma once
// Buffers that keep their memory from one picture to the next. A picture on
// its way into a movie passes through blocks of megabytes (decoded, the
// scaler's first pass, the frame, the JPEG stream); taken from the system
// and handed back for every picture, their fresh pages cost more system
// time than decoding takes. An export keeps one CPictureScratch for its run,
// so each slide reuses the last one's memory: the largest slide's worth is
// held, and only while the export runs.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "media/image.h"
#include "media/swf_bitmap.h"

class CKeptBlock {
public:
    // At least bytes bytes, holding whatever the last user left; the block
    // grows when it is smaller. Null when it cannot grow (the old one stays).
    uint8_t* Reserve(size_t bytes)
    {
        if (bytes > capacity_) {
            std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[bytes]);
            if (!bigger) return nullptr;
            data_ = std::move(bigger);
            capacity_ = bytes;
        }
        return data_.get();
    }
    uint8_t* Data() const { return data_.get(); }
    size_t Capacity() const { return capacity_; }

private:
    std::unique_ptr<uint8_t[]> data_;
    size_t capacity_ = 0;
};

struct CPictureScratch {
    CKeptBlock decoded;    // the picture as its decoder gives it
    CKeptBlock firstPass;  // the scaler's horizontal pass
    CImage frame;          // the frame at the display size, filtered and turned
    CSwfBitmap bitmap;     // its JPEG encoder keeps the stream's block
};
