#pragma once
// The one way the sound and movie readers read a file's bytes: a window of
// blocks over an open file. In this header because the movie module links
// nothing of ours.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/read_at.h"

namespace platform {

// The bytes [begin, begin + size) of an open file, read a block at a time:
// blocks of `bytes` aligned on begin, so that every reader over the window
// shares what was read, and a walk forward reads each byte once however
// often it steps back a little. The `others` blocks used last are kept; the
// first `head` blocks and the last `tail` ones, which readers come back to
// (a rewind, a look at the end), stay once read. A block is read only where
// no block holds its bytes. With blocks of 0 bytes each look reads what it
// asks for and no more.
class FileWindow {
public:
    struct Blocks {
        int64_t bytes = 0;
        int others = 2, head = 0, tail = 0;
    };

    FileWindow() = default;
    FileWindow(int fd, int64_t begin, int64_t size, Blocks blocks, ReadTally* tally = nullptr)
    {
        Reset(fd, begin, size, blocks, tally);
    }
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // tally: where the reads are counted besides the window's own count.
    void Reset(int fd, int64_t begin, int64_t size, Blocks blocks, ReadTally* tally = nullptr)
    {
        fd_ = fd;
        begin_ = begin;
        size_ = std::max<int64_t>(size, 0);
        shape_ = blocks;
        shape_.bytes = std::max<int64_t>(blocks.bytes, 0);
        shape_.others = std::max(blocks.others, 1);
        tally_ = tally;
        blocks_.clear();
        reads_ = bytesRead_ = 0;
    }

    int64_t Size() const { return size_; }
    int64_t BlockBytes() const { return shape_.bytes; }
    // Calls that read the file and bytes they read, since the window was set.
    int64_t Reads() const { return reads_; }
    int64_t BytesRead() const { return bytesRead_; }

    // Another descriptor of the same file as it stood: what is held stays.
    void SetDescriptor(int fd) { fd_ = fd; }
    // The window ends sooner (tags after the bytes wanted): nothing past
    // size is served or read.
    void Shorten(int64_t size)
    {
        size_ = std::clamp<int64_t>(size, 0, size_);
        for (Block& b : blocks_) {
            b.span = std::min(b.span, std::max<int64_t>(size_ - b.at, 0));
            if (int64_t(b.bytes.size()) > b.span) b.bytes.resize(size_t(b.span));
        }
    }
    // The head and tail blocks alone stay.
    void DropOthers()
    {
        std::erase_if(blocks_, [](const Block& b) { return !b.edge; });
    }

    // The bytes held from offset on within one block, up to *n, without a
    // read; null where none is held.
    const uint8_t* Held(int64_t offset, size_t* n) const
    {
        const Block* b = HeldBlock(offset);
        if (!b || offset >= b->at + int64_t(b->bytes.size())) {
            *n = 0;
            return nullptr;
        }
        *n = std::min(*n, size_t(b->at + int64_t(b->bytes.size()) - offset));
        return b->bytes.data() + (offset - b->at);
    }

    // The same, the block read where none holds offset; null past the end
    // or where the file cannot be read there.
    const uint8_t* Look(int64_t offset, size_t* n)
    {
        if (offset < 0 || offset >= size_ || fd_ < 0) {
            *n = 0;
            return nullptr;
        }
        if (shape_.bytes == 0) {
            const uint8_t* p = Exact(offset, std::min<int64_t>(int64_t(*n), size_ - offset));
            if (!p) *n = 0;
            return p;
        }
        Block* b = HeldBlock(offset);
        if (!b) b = Place(offset - offset % shape_.bytes);
        if (b) b->used = ++clock_;
        return Held(offset, n);
    }

    // n bytes at offset, whole, valid until the next call; null where they
    // do not lie whole in the window or cannot be read. Bytes across a
    // block's end are copied together; more than a block is read alone.
    const uint8_t* Bytes(int64_t offset, int64_t n)
    {
        if (offset < 0 || n < 0 || offset + n > size_ || fd_ < 0) return nullptr;
        if (n == 0) return &none_;
        if (shape_.bytes == 0 || n > shape_.bytes) return Exact(offset, n);
        return Gather(offset, n, true);
    }

    // The same for a walk back: where a block is read, it ends at
    // offset + n, so that the bytes before come with it.
    const uint8_t* BytesBefore(int64_t offset, int64_t n)
    {
        if (offset < 0 || n < 0 || offset + n > size_ || fd_ < 0) return nullptr;
        if (n == 0) return &none_;
        if (shape_.bytes == 0 || n > shape_.bytes) return Exact(offset, n);
        if (const uint8_t* p = Gather(offset, n, false)) return p;
        Block* b = Place(std::max<int64_t>(0, offset + n - shape_.bytes));
        if (!b) return nullptr;
        b->used = ++clock_;
        size_t got = size_t(n);
        const uint8_t* p = Held(offset, &got);
        return p && got == size_t(n) ? p : nullptr;
    }

    // n bytes at offset read as asked, alone, whatever is held; valid
    // until the next call.
    const uint8_t* Exact(int64_t offset, int64_t n)
    {
        if (offset < 0 || n < 0 || offset + n > size_ || fd_ < 0) return nullptr;
        if (n == 0) return &none_;
        scratch_.resize(size_t(n));
        return ReadFile(offset, scratch_.data(), size_t(n)) == n ? scratch_.data() : nullptr;
    }

    // Up to n bytes at offset into out, fewer at the end: what no block
    // holds and fills a block or more is read straight into out.
    size_t Read(int64_t offset, void* out, size_t n)
    {
        if (offset < 0 || offset >= size_ || fd_ < 0) return 0;
        n = size_t(std::min<int64_t>(int64_t(n), size_ - offset));
        auto* to = static_cast<uint8_t*>(out);
        size_t done = 0;
        while (done < n) {
            const int64_t at = offset + int64_t(done);
            size_t got = n - done;
            const uint8_t* p = Held(at, &got);
            if (!p && (shape_.bytes == 0 || int64_t(n - done) >= shape_.bytes)) {
                const int64_t read = ReadFile(at, to + done, n - done);
                return done + size_t(std::max<int64_t>(read, 0));
            }
            if (!p) {
                got = n - done;
                p = Look(at, &got);
            }
            if (!p) break;
            std::memcpy(to + done, p, got);
            done += got;
        }
        return done;
    }

    // Where the `length` bytes of pattern first stand whole within
    // [from, limit); -1 where they do not, or cannot be read.
    int64_t Find(const void* pattern, size_t length, int64_t from, int64_t limit)
    {
        const int64_t n = int64_t(length);
        limit = std::min(limit, size_);
        for (int64_t at = std::max<int64_t>(from, 0); n > 0 && at + n <= limit;) {
            size_t got = size_t(limit - at);
            const uint8_t* p = Look(at, &got);
            if (!p) return -1;
            if (const void* hit = memmem(p, got, pattern, length)) return at + (static_cast<const uint8_t*>(hit) - p);
            // One that starts in the last bytes looked at and ends after them.
            const int64_t end = at + int64_t(got);
            if (n > 1 && end < limit) {
                const int64_t start = std::max(at, end - n + 1), span = std::min(limit, end + n - 1) - start;
                const uint8_t* q = Bytes(start, span);
                if (!q) return -1;
                if (const void* hit = memmem(q, size_t(span), pattern, length))
                    return start + (static_cast<const uint8_t*>(hit) - q);
            }
            at = end;
        }
        return -1;
    }

private:
    struct Block {
        int64_t at = 0, span = 0;  // the bytes asked for; fewer held where the file ended sooner
        std::vector<uint8_t> bytes;
        uint64_t used = 0;
        bool edge = false;  // a head or tail block
    };

    const Block* HeldBlock(int64_t offset) const
    {
        // Of blocks over one place, the one that holds most from there.
        const Block* best = nullptr;
        for (const Block& b : blocks_)
            if (offset >= b.at && offset < b.at + b.span && (!best || b.at + b.span > best->at + best->span)) best = &b;
        return best;
    }
    Block* HeldBlock(int64_t offset)
    {
        return const_cast<Block*>(static_cast<const FileWindow*>(this)->HeldBlock(offset));
    }

    // [offset, offset + n) gathered from the blocks, in one piece where one
    // block holds it; the blocks it needs read where `read` is set, else null
    // where one is missing.
    const uint8_t* Gather(int64_t offset, int64_t n, bool read)
    {
        const auto piece = [&](int64_t at, size_t* got) { return read ? Look(at, got) : Held(at, got); };
        size_t got = size_t(n);
        const uint8_t* p = piece(offset, &got);
        if (!p || got == size_t(n)) return p;
        scratch_.assign(p, p + got);
        while (scratch_.size() < size_t(n)) {
            got = size_t(n) - scratch_.size();
            p = piece(offset + int64_t(scratch_.size()), &got);
            if (!p) return nullptr;
            scratch_.insert(scratch_.end(), p, p + got);
        }
        return scratch_.data();
    }

    // A block read at `at`: the bytes other blocks hold are copied, the
    // rest read, each stretch in one call. Null where nothing could be read.
    Block* Place(int64_t at)
    {
        const int64_t span = std::min(shape_.bytes, size_ - at);
        const int64_t index = at / shape_.bytes, last = (size_ - 1) / shape_.bytes;
        const bool edge = at % shape_.bytes == 0 && (index < shape_.head || index > last - shape_.tail);
        std::vector<uint8_t>& next = spare_;
        next.resize(size_t(span));
        int64_t done = 0;
        while (done < span) {
            const int64_t from = at + done;
            size_t got = size_t(span - done);
            if (const uint8_t* p = Held(from, &got)) {
                std::memcpy(next.data() + done, p, got);
                done += int64_t(got);
                continue;
            }
            // Up to where a block holds bytes again.
            int64_t to = at + span;
            for (const Block& b : blocks_)
                if (b.at > from && b.at < to && !b.bytes.empty()) to = b.at;
            const int64_t read = ReadFile(from, next.data() + done, size_t(to - from));
            done += std::max<int64_t>(read, 0);
            if (read < to - from) break;
        }
        if (done == 0) return nullptr;
        next.resize(size_t(done));
        // The one used longest ago of its kind makes room: a head or tail
        // block never, as there are so few.
        Block* slot = nullptr;
        if (!edge) {
            int kept = 0;
            for (Block& b : blocks_)
                if (!b.edge) {
                    ++kept;
                    if (!slot || b.used < slot->used) slot = &b;
                }
            if (kept < shape_.others) slot = nullptr;
        }
        if (!slot) slot = &blocks_.emplace_back();
        slot->bytes.swap(next);
        slot->at = at;
        slot->span = span;
        slot->edge = edge;
        return slot;
    }

    int64_t ReadFile(int64_t offset, uint8_t* out, size_t n)
    {
        ReadTally counted;
        const int64_t got = ReadUpTo(fd_, begin_ + offset, out, n, &counted);
        reads_ += counted.calls;
        bytesRead_ += counted.bytes;
        if (tally_) {
            tally_->calls += counted.calls;
            tally_->bytes += counted.bytes;
        }
        return got;
    }

    int fd_ = -1;
    int64_t begin_ = 0, size_ = 0;
    Blocks shape_;
    ReadTally* tally_ = nullptr;
    std::vector<Block> blocks_;
    std::vector<uint8_t> spare_, scratch_;
    uint64_t clock_ = 0;
    int64_t reads_ = 0, bytesRead_ = 0;
    uint8_t none_ = 0;
};

}  // namespace platform
