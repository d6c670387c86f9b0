#pragma once
// A block of memory that keeps its capacity from one use to the next.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

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
