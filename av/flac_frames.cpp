#include "av/flac_frames.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "av/file_walks.h"
#include "av/file_window.h"
#include "av/mpeg_tags.h"

namespace platform {

namespace {

// What a frame header must agree with, and where the frames start.
struct StreamInfo {
    int64_t audioStart = 0;
    int64_t minBlock = 0, maxBlock = 0;
    int rate = 0, channels = 0, bits = 0;
    int64_t total = 0;
};

struct FrameHeader {
    bool variable = false;  // numbered by sample, not by frame
    uint64_t number = 0;
    int64_t block = 0;
};

// The looks a caller's reader serves.
class LookReads {
public:
    LookReads(const FileLook& look, int64_t size) : look_(look), size_(size) {}
    int64_t Size() const { return size_; }
    const uint8_t* Bytes(int64_t at, int64_t n) { return at >= 0 && n >= 0 && at + n <= size_ ? look_(at, n) : nullptr; }
    const uint8_t* BytesBefore(int64_t at, int64_t n) { return Bytes(at, n); }

private:
    const FileLook& look_;
    int64_t size_;
};

// STREAMINFO of the stream at `at`, after an ID3v2 tag where one comes
// first, and the end of the metadata blocks.
// Headers alone, their metadata running to the end, hold where empty is set.
template <class Reader>
bool ReadStreamInfo(Reader& bytes, int64_t at, StreamInfo* info, bool empty = false)
{
    const uint8_t* tag = bytes.Bytes(at, 10);
    if (!tag) return false;
    at += mpeg::Id3v2Length(tag, 10);
    const uint8_t* head = bytes.Bytes(at, 4 + 4 + 34);
    if (!head || std::memcmp(head, "fLaC", 4) != 0 || (head[4] & 0x7F) != 0) return false;
    const uint8_t* s = head + 8;
    info->minBlock = s[0] << 8 | s[1];
    info->maxBlock = s[2] << 8 | s[3];
    info->rate = s[10] << 12 | s[11] << 4 | s[12] >> 4;
    info->channels = (s[12] >> 1 & 7) + 1;
    info->bits = ((s[12] & 1) << 4 | s[13] >> 4) + 1;
    info->total = int64_t(s[13] & 0x0F) << 32 | int64_t(s[14]) << 24 | int64_t(s[15]) << 16 | int64_t(s[16]) << 8 | s[17];
    at += 4;
    // A bounded number of blocks: pictures and padding are few.
    for (int blocks = 0; blocks < 4096 && at + 4 <= bytes.Size(); ++blocks) {
        const uint8_t* block = bytes.Bytes(at, 4);
        if (!block) return false;
        const bool last = block[0] & 0x80;
        at += 4 + (int64_t(block[1]) << 16 | int64_t(block[2]) << 8 | block[3]);
        if (last) {
            info->audioStart = at;
            return at < bytes.Size() || (empty && at == bytes.Size());
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

// The longest frame header, with its checksum.
constexpr int64_t kLongestHeader = 16;

// The sample a frame starts at. A stream of one block size (every frame but
// the last) numbers its frames by that size.
int64_t FirstSampleOf(const FrameHeader& header, const StreamInfo& info)
{
    if (header.variable) return int64_t(header.number);
    const int64_t block = info.maxBlock >= 16 && info.minBlock == info.maxBlock ? info.maxBlock : header.block;
    return int64_t(header.number) * block;
}

// The header of the frame where the stream's audio starts, when it is whole
// there; false otherwise.
template <class Reader>
bool FirstHeader(Reader& bytes, const StreamInfo& info, int64_t end, FrameHeader* header)
{
    const int64_t avail = std::min(kLongestHeader, end - info.audioStart);
    const uint8_t* head = avail > 0 ? bytes.Bytes(info.audioStart, avail) : nullptr;
    return head && ReadHeader(head, size_t(avail), info, header);
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

// The stream's length from its first frame (as FlacLengthFromFrames), its
// frames ending at end, read back from there; `from` is the place its first
// frame names.
template <class Reader>
int64_t LengthFromFrames(Reader& bytes, const StreamInfo& info, int64_t end, int64_t from)
{    // Read backwards in blocks that overlap by the longest header.
    constexpr int64_t kBlock = 65536;
    // Headers found after the one at hand, nearest first: bytes inside a
    // frame that only look like a header are among them.
    constexpr size_t kKept = 16;
    std::vector<FrameHeader> after;
    for (int64_t stop = end; stop > info.audioStart;) {
        const int64_t start = std::max(info.audioStart, stop - kBlock), to = std::min(end, stop + kLongestHeader);
        const uint8_t* block = bytes.BytesBefore(start, to - start);
        if (!block) return -1;
        for (int64_t at = stop - 1; at >= start; --at) {
            FrameHeader header;
            const uint8_t* p = block + (at - start);
            if (*p != 0xFF || !ReadHeader(p, size_t(to - at), info, &header)) continue;
            for (const FrameHeader& next : after)
                if (const int64_t length = EndWhenFollowing(header, next); length >= 0)
                    return std::max<int64_t>(length - from, 0);
            // The first frame, with none after it that follows on.
            if (at == info.audioStart) return header.block;
            after.insert(after.begin(), header);
            if (after.size() > kKept) after.pop_back();
        }
        stop = start;
    }
    return -1;
}

// Where the frames of the FLAC stream at `at` start, when its STREAMINFO
// holds and so does the header of the first frame after its metadata
// blocks; -1 when no stream starts there.
int64_t StreamAudioAt(FileWindow& bytes, int64_t at, StreamInfo* info, FrameHeader* first)
{
    if (!ReadStreamInfo(bytes, at, info) || info->rate == 0) return -1;
    return FirstHeader(bytes, *info, bytes.Size(), first) ? info->audioStart : -1;
}

std::vector<FlacStream> FindStreams(int fd, int64_t size)
{
    // A file that starts as no FLAC stream costs a look at its head.
    StreamInfo info;
    FileWindow head(fd, 0, size, {0});
    if (!ReadStreamInfo(head, 0, &info) || info.rate == 0) return {};
    // Read in blocks of a megabyte, the one before kept, where the last
    // frames of the stream before a join lie: the file is read once.
    FileWindow bytes(fd, 0, size, {int64_t(1) << 20, 2});
    std::vector<FlacStream> streams;
    std::vector<StreamInfo> infos;
    FrameHeader first;
    const auto take = [&](int64_t begin) {
        FlacStream s;
        s.begin = begin;
        s.rate = info.rate;
        s.channels = info.channels;
        s.bits = info.bits;
        s.stated = info.total;
        s.first = FirstSampleOf(first, info);
        streams.push_back(s);
        infos.push_back(info);
    };
    // The stream before `end` ends there: its length, where its header
    // leaves it open, from its last frames.
    const auto ended = [&](int64_t end) {
        FlacStream& s = streams.back();
        s.end = end;
        s.frames = s.stated > 0 ? s.stated : LengthFromFrames(bytes, infos.back(), end, s.first);
    };
    // A stream whose first frame header does not hold is still one (its
    // first frames lost); only later ones are told by theirs.
    if (!FirstHeader(bytes, info, size, &first)) first = FrameHeader{};
    take(0);
    // "fLaC", then a STREAMINFO block header: type 0, 34 bytes. Every
    // stream is found, however many: each holds at least a header and a
    // frame.
    bool open = true;  // the last stream's end not yet found
    for (int64_t at = bytes.Find("fLaC", 4, info.audioStart, size); at >= 0; at = bytes.Find("fLaC", 4, at + 1, size)) {
        const uint8_t* mark = bytes.Bytes(at, 8);
        if (!mark || (mark[4] & 0x7F) != 0 || mark[5] != 0 || mark[6] != 0 || mark[7] != 34) continue;
        StreamInfo next;
        FrameHeader nextFirst;
        if (StreamAudioAt(bytes, at, &next, &nextFirst) < 0) {
            // Headers without a frame, where the file or the next stream
            // follows them (the last file FFmpeg's segment muxer writes, its
            // STREAMINFO counting the whole stream): no sound, and no part of
            // the stream before them.
            if (!open || !ReadStreamInfo(bytes, at, &next, true) || next.rate == 0) continue;
            const uint8_t* after = next.audioStart + 4 <= size ? bytes.Bytes(next.audioStart, 4) : nullptr;
            if (next.audioStart != size && !(after && std::memcmp(after, "fLaC", 4) == 0)) continue;
            ended(at);
            open = false;
            continue;
        }
        if (open) ended(at);
        info = next;
        first = nextFirst;
        take(at);
        open = true;
    }
    if (open) ended(size);
    return streams;
}

}  // namespace

namespace {

// The samples of the stream at begin by its frames, counted from its first.
template <typename Reads>
int64_t LengthOfStream(Reads& bytes, int64_t end, int64_t begin)
{
    StreamInfo info;
    FrameHeader first;
    if (!ReadStreamInfo(bytes, begin, &info)) return -1;
    const int64_t from = FirstHeader(bytes, info, end, &first) ? FirstSampleOf(first, info) : 0;
    return LengthFromFrames(bytes, info, end, from);
}

}  // namespace

int64_t FlacLengthFromFrames(int fd, int64_t fileSize, int64_t begin)
{
    if (fd < 0) return -1;
    // The bytes asked for and no more: a look at one stream's header and
    // last frames, where blocks would read what its decoder reads again.
    FileWindow bytes(fd, 0, fileSize, {0});
    return LengthOfStream(bytes, fileSize, begin);
}

int64_t FlacFirstSample(int fd, int64_t begin, int64_t end)
{
    if (fd < 0) return 0;
    FileWindow bytes(fd, 0, end, {0});
    return FlacFirstSample(bytes, begin, end);
}

int64_t FlacFirstSample(FileWindow& bytes, int64_t begin, int64_t end)
{
    StreamInfo info;
    FrameHeader first;
    return ReadStreamInfo(bytes, begin, &info) && FirstHeader(bytes, info, end, &first) ? FirstSampleOf(first, info)
                                                                                          : 0;
}

int64_t FlacLengthFromFrames(const FileLook& look, int64_t end, int64_t begin)
{
    LookReads bytes(look, end);
    return LengthOfStream(bytes, end, begin);
}

int FlacStreamBits(const FileLook& look, int64_t begin, int64_t end)
{
    LookReads bytes(look, end);
    StreamInfo info;
    return ReadStreamInfo(bytes, begin, &info) ? info.bits : 0;
}

std::vector<FlacStream> FlacStreams(int fd, int64_t fileSize)
{
    return WalkedOnce(fd, [&] { return FindStreams(fd, fileSize); });
}

}  // namespace platform
