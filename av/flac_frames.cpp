#include "av/flac_frames.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "av/file_walks.h"

namespace platform {

namespace {

// What a frame header must agree with, and where the frames start.
struct StreamInfo {
    int64_t audioStart = 0;
    int64_t maxBlock = 0;
    int rate = 0, channels = 0, bits = 0;
};

struct FrameHeader {
    bool variable = false;  // numbered by sample, not by frame
    uint64_t number = 0;
    int64_t block = 0;
};

bool ReadAt(int fd, int64_t at, uint8_t* out, size_t count)
{
    for (size_t done = 0; done < count;) {
        const ssize_t got = ::pread(fd, out + done, count - done, off_t(at + int64_t(done)));
        if (got <= 0) return false;
        done += size_t(got);
    }
    return true;
}

// STREAMINFO of the stream at `at`, after an ID3v2 tag where one comes
// first, and the end of the metadata blocks.
bool ReadStreamInfo(int fd, int64_t at, int64_t size, StreamInfo* info)
{
    uint8_t tag[10];
    if (!ReadAt(fd, at, tag, sizeof tag)) return false;
    if (std::memcmp(tag, "ID3", 3) == 0) {
        if ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80) return false;
        at += 10 + (int64_t(tag[6]) << 21 | int64_t(tag[7]) << 14 | int64_t(tag[8]) << 7 | tag[9]) +
             (tag[5] & 0x10 ? 10 : 0);
    }
    uint8_t head[4 + 4 + 34];
    if (at + int64_t(sizeof head) > size || !ReadAt(fd, at, head, sizeof head) || std::memcmp(head, "fLaC", 4) != 0 ||
        (head[4] & 0x7F) != 0)
        return false;
    const uint8_t* s = head + 8;
    info->maxBlock = s[2] << 8 | s[3];
    info->rate = s[10] << 12 | s[11] << 4 | s[12] >> 4;
    info->channels = (s[12] >> 1 & 7) + 1;
    info->bits = ((s[12] & 1) << 4 | s[13] >> 4) + 1;
    at += 4;
    // A bounded number of blocks: pictures and padding are few.
    for (int blocks = 0; blocks < 4096 && at + 4 <= size; ++blocks) {
        uint8_t block[4];
        if (!ReadAt(fd, at, block, sizeof block)) return false;
        at += 4 + (int64_t(block[1]) << 16 | int64_t(block[2]) << 8 | block[3]);
        if (block[0] & 0x80) {
            info->audioStart = at;
            return at < size;
        }
    }
    return false;
}

uint8_t Crc8(const uint8_t* p, size_t count)
{
    uint8_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit) crc = uint8_t(crc & 0x80 ? crc << 1 ^ 0x07 : crc << 1);
    }
    return crc;
}

// The frame header at p (with avail bytes from there) when it is whole,
// its checksum holds and it agrees with STREAMINFO.
bool ReadHeader(const uint8_t* p, size_t avail, const StreamInfo& info, FrameHeader* header)
{
    if (avail < 6 || p[0] != 0xFF || (p[1] & 0xFE) != 0xF8) return false;
    const int blockCode = p[2] >> 4, rateCode = p[2] & 0xF, assignment = p[3] >> 4, sizeCode = p[3] >> 1 & 7;
    if (blockCode == 0 || rateCode == 15 || assignment > 10 || sizeCode == 3 || (p[3] & 1)) return false;
    static constexpr int kBits[8] = {0, 8, 12, 0, 16, 20, 24, 32};
    if ((assignment < 8 ? assignment + 1 : 2) != info.channels || (sizeCode != 0 && kBits[sizeCode] != info.bits))
        return false;
    // The frame or sample number, UTF-8 coded: up to 31 or 36 bits.
    size_t at = 4;
    uint64_t number = p[at++];
    int ones = 0;
    while (ones < 8 && (number & (0x80u >> ones))) ++ones;
    if (ones == 1 || ones == 8) return false;
    const int more = ones > 0 ? ones - 1 : 0;
    number &= 0x7Fu >> ones;
    const bool variable = p[1] & 1;
    if (more > (variable ? 6 : 5) || avail < at + size_t(more)) return false;
    for (int i = 0; i < more; ++i, ++at) {
        if ((p[at] & 0xC0) != 0x80) return false;
        number = number << 6 | (p[at] & 0x3F);
    }
    int64_t block = 0;
    if (blockCode == 6 || blockCode == 7) {
        if (avail < at + size_t(blockCode - 5)) return false;
        block = (blockCode == 6 ? p[at] : p[at] << 8 | p[at + 1]) + 1;
        at += size_t(blockCode - 5);
    } else {
        block = blockCode == 1 ? 192 : blockCode <= 5 ? int64_t(576) << (blockCode - 2) : int64_t(256) << (blockCode - 8);
    }
    static constexpr int kRates[12] = {0, 88200, 176400, 192000, 8000, 16000, 22050, 24000, 32000, 44100, 48000, 96000};
    int rate = rateCode < 12 ? kRates[rateCode] : 0;
    if (rateCode >= 12) {
        if (avail < at + size_t(rateCode == 12 ? 1 : 2)) return false;
        rate = rateCode == 12 ? p[at] * 1000 : (p[at] << 8 | p[at + 1]) * (rateCode == 13 ? 1 : 10);
        at += rateCode == 12 ? 1 : 2;
    }
    if ((rateCode != 0 && rate != info.rate) || (info.maxBlock >= 16 && block > info.maxBlock)) return false;
    if (avail < at + 1 || Crc8(p, at) != p[at]) return false;
    *header = FrameHeader{variable, number, block};
    return true;
}

// Where the stream ends when `after` is the frame that follows `before`;
// -1 when it is not.
int64_t EndWhenFollowing(const FrameHeader& before, const FrameHeader& after)
{
    if (before.variable != after.variable) return -1;
    if (after.variable)
        return before.number + uint64_t(before.block) == after.number ? int64_t(after.number) + after.block : -1;
    // Every frame but the last holds the same block.
    if (after.number != before.number + 1 || after.block > before.block) return -1;
    return int64_t(after.number) * before.block + after.block;
}

}  // namespace

int64_t FlacLengthFromFrames(int fd, int64_t fileSize, int64_t begin)
{
    StreamInfo info;
    if (fd < 0 || !ReadStreamInfo(fd, begin, fileSize, &info)) return -1;
    // Read backwards in blocks that overlap by the longest header.
    constexpr int64_t kBlock = 65536, kLongestHeader = 16;
    // Headers found after the one at hand, nearest first: bytes inside a
    // frame that only look like a header are among them.
    constexpr size_t kKept = 16;
    std::vector<FrameHeader> after;
    std::vector<uint8_t> bytes;
    for (int64_t end = fileSize; end > info.audioStart;) {
        const int64_t from = std::max(info.audioStart, end - kBlock), to = std::min(fileSize, end + kLongestHeader);
        bytes.resize(size_t(to - from));
        if (!ReadAt(fd, from, bytes.data(), bytes.size())) return -1;
        for (int64_t at = end - 1; at >= from; --at) {
            FrameHeader header;
            if (bytes[size_t(at - from)] != 0xFF || !ReadHeader(&bytes[size_t(at - from)], size_t(to - at), info, &header))
                continue;
            for (const FrameHeader& next : after)
                if (const int64_t length = EndWhenFollowing(header, next); length >= 0) return length;
            // The first frame, with none after it that follows on.
            if (at == info.audioStart && header.number == 0) return header.block;
            after.insert(after.begin(), header);
            if (after.size() > kKept) after.pop_back();
        }
        end = from;
    }
    return -1;
}

int FlacStreamBits(int fd, int64_t begin, int64_t end)
{
    StreamInfo info;
    return fd >= 0 && ReadStreamInfo(fd, begin, end, &info) ? info.bits : 0;
}

namespace {

// Where the frames of the FLAC stream at `at` start, when its STREAMINFO
// holds and so does the header of the first frame after its metadata
// blocks; -1 when no stream starts there.
int64_t StreamAudioAt(int fd, int64_t at, int64_t size)
{
    StreamInfo info;
    uint8_t head[16];
    FrameHeader header;
    if (!ReadStreamInfo(fd, at, size, &info) || info.rate == 0) return -1;
    const size_t count = size_t(std::min<int64_t>(sizeof head, size - info.audioStart));
    const bool holds =
        ReadAt(fd, info.audioStart, head, count) && ReadHeader(head, count, info, &header) && header.number == 0;
    return holds ? info.audioStart : -1;
}

std::vector<int64_t> FindStreamStarts(int fd, int64_t size)
{
    // Later streams lie after the first's metadata (an ID3v2 tag before it too).
    const int64_t audio = StreamAudioAt(fd, 0, size);
    if (audio < 0) return {};
    std::vector<int64_t> starts{0};
    // "fLaC", then a STREAMINFO block header: type 0, 34 bytes. Every
    // stream is found, however many: each costs a few reads, and holds at
    // least a header and a frame.
    constexpr int64_t kBlock = 262144, kMark = 8;
    std::vector<uint8_t> bytes(size_t(kBlock + kMark));
    for (int64_t from = audio; from < size; from += kBlock) {
        const size_t count = size_t(std::min<int64_t>(kBlock + kMark, size - from));
        if (!ReadAt(fd, from, bytes.data(), count)) break;
        for (size_t at = 0; at + kMark <= count && at < size_t(kBlock);) {
            const auto* found = static_cast<const uint8_t*>(memmem(bytes.data() + at, count - at, "fLaC", 4));
            if (!found) break;
            at = size_t(found - bytes.data());
            if (at + kMark <= count && (found[4] & 0x7F) == 0 && found[5] == 0 && found[6] == 0 && found[7] == 34 &&
                StreamAudioAt(fd, from + int64_t(at), size) >= 0)
                starts.push_back(from + int64_t(at));
            ++at;
        }
    }
    return starts;
}

}  // namespace

std::vector<int64_t> FlacStreamStarts(int fd, int64_t fileSize)
{
    return WalkedOnce(fd, [&] { return FindStreamStarts(fd, fileSize); });
}

}  // namespace platform
