#include "av/mpeg_frames.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "av/mpeg_tags.h"

namespace platform::mpeg {

namespace {

ReadTally streamReads;

// How many frames of one bit rate tell a recording of one bit rate where
// no header says what it is.
constexpr int kShapeFrames = 6;
// How many frames back to back tell a recording of another kind joined on.
constexpr int kJoinFrames = 4;
// The longest a free-format frame of the header's kind is: 640 kbit/s, the
// most an encoder writes (2,090 bytes at 44.1 kHz, 5,761 at 8 kHz).
int64_t LongestFreeFrame(const FrameHeader& h)
{
    return int64_t(h.samples) * 80000 / h.rate + (h.layer == 1 ? 4 : 1);
}

// Bits read from the front of a Layer III side information.
class Bits {
public:
    Bits(const unsigned char* p, size_t n) : p_(p), n_(n) {}
    uint32_t Take(int count)
    {
        uint32_t v = 0;
        for (int i = 0; i < count; ++i, ++at_) {
            const size_t byte = at_ / 8;
            const unsigned bit = byte < n_ ? (p_[byte] >> (7 - at_ % 8)) & 1u : 0u;
            v = v << 1 | bit;
        }
        return v;
    }

private:
    const unsigned char* p_;
    size_t n_, at_ = 0;
};

// Whether a Layer III frame of size bytes whose header is at p (n bytes
// there) has side information a decoder takes: no granule longer than a
// granule's values allow, no window switching without a block type, and
// the sound's bits within the bytes it may draw on.
bool SideInfoHolds(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size, int64_t* soundBits = nullptr)
{
    const size_t side = size_t(SideInfoBytes(h)), from = 4 + (h.crc ? 2 : 0);
    if (n < from + side) return false;
    Bits bits(p + from, side);
    const bool mpeg1 = h.version == 3;
    const int channels = h.mono ? 1 : 2, granules = mpeg1 ? 2 : 1;
    const int64_t begin = bits.Take(mpeg1 ? 9 : 8);
    bits.Take(mpeg1 ? (h.mono ? 5 : 3) : (h.mono ? 1 : 2));
    if (mpeg1) bits.Take(4 * channels);
    int64_t total = 0;
    for (int g = 0; g < granules; ++g)
        for (int c = 0; c < channels; ++c) {
            total += bits.Take(12);
            const int64_t bigValues = bits.Take(9);
            if (bigValues > 288) return false;
            bits.Take(8);
            bits.Take(mpeg1 ? 4 : 9);
            // Huffman tables 4 and 14 do not exist.
            const auto tables = [&](int count) {
                bool held = true;
                for (int k = 0; k < count; ++k) {
                    const int64_t table = bits.Take(5);
                    held = held && (bigValues == 0 || (table != 4 && table != 14));
                }
                return held;
            };
            if (bits.Take(1)) {
                if (bits.Take(2) == 0) return false;
                bits.Take(1);
                if (!tables(2)) return false;
                bits.Take(9);
            } else {
                if (!tables(3)) return false;
                bits.Take(7);
            }
            bits.Take(mpeg1 ? 3 : 2);
        }
    if (soundBits) *soundBits = total;
    return total <= 8 * (begin + size - int64_t(from + side));
}

// Whether a Layer I frame's bit allocations are all ones a decoder takes
// (15 is forbidden).
bool AllocationHolds(const unsigned char* p, size_t n, const FrameHeader& h)
{
    const int mode = p[3] >> 6, bound = mode == 1 ? 4 * ((p[3] >> 4 & 3) + 1) : 32;
    const int nibbles = h.mono ? 32 : bound * 2 + (32 - bound);
    const size_t from = 4 + (h.crc ? 2 : 0);
    if (n < from + size_t(nibbles + 1) / 2) return false;
    Bits bits(p + from, n - from);
    for (int k = 0; k < nibbles; ++k)
        if (bits.Take(4) == 15) return false;
    return true;
}

}  // namespace

bool ReadFrameHeader(const unsigned char* p, FrameHeader* h)
{
    static constexpr int kBitRates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static constexpr int kRates[3] = {44100, 48000, 32000};
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int version = p[1] >> 3 & 3, layerBits = p[1] >> 1 & 3, rateIndex = p[2] >> 2 & 3, index = p[2] >> 4;
    if (version == 1 || layerBits == 0 || rateIndex == 3 || index == 15) return false;
    h->version = version;
    h->layer = 4 - layerBits;
    h->bitRateIndex = index;
    h->bitRate = kBitRates[version == 3 ? 0 : 1][h->layer - 1][index];
    h->rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    h->mono = (p[3] >> 6) == 3;
    h->crc = (p[1] & 1) == 0;
    const int64_t padding = p[2] >> 1 & 1, bits = int64_t(h->bitRate) * 1000;
    h->padding = int(h->layer == 1 ? 4 * padding : padding);
    h->samples = h->layer == 1 ? 384 : h->layer == 3 && version != 3 ? 576 : 1152;
    if (index == 0) h->size = 0;
    else if (h->layer == 1) h->size = (12 * bits / h->rate + padding) * 4;
    else h->size = int64_t(h->samples) / 8 * bits / h->rate + padding;
    return true;
}

int SideInfoBytes(const FrameHeader& h)
{
    if (h.layer != 3) return 0;
    return h.version == 3 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
}

bool SameKind(const unsigned char* p, const unsigned char* q)
{
    return (p[1] & 0xFE) == (q[1] & 0xFE) && (p[2] & 0x0C) == (q[2] & 0x0C) &&
           ((p[3] >> 6) == 3) == ((q[3] >> 6) == 3);
}

bool SameStream(const unsigned char* p, const unsigned char* q)
{
    return SameKind(p, q) && (p[3] & 0x03) == (q[3] & 0x03);
}

int64_t FrameSize(const FrameHeader& h, int64_t freeSize)
{
    if (h.size > 0) return h.size;
    return freeSize > 0 ? freeSize + h.padding : 0;
}

int MainDataBegin(const unsigned char* p, size_t n)
{
    FrameHeader h;
    if (n < 6 || !ReadFrameHeader(p, &h) || h.layer != 3) return -1;
    const size_t from = 4 + (h.crc ? 2 : 0);
    if (n < from + 2) return -1;
    return h.version == 3 ? (p[from] << 1 | p[from + 1] >> 7) : p[from];
}

int64_t ReservoirLeft(const unsigned char* p, size_t n, int64_t size)
{
    FrameHeader h;
    int64_t bits = 0;
    const int begin = MainDataBegin(p, n);
    if (begin < 0 || !ReadFrameHeader(p, &h) || !SideInfoHolds(p, n, h, size, &bits)) return -1;
    const int64_t main = size - 4 - (h.crc ? 2 : 0) - SideInfoBytes(h);
    return std::max<int64_t>(begin + main - (bits + 7) / 8, 0);
}

// ---- The stream's bytes

void StreamBytes::Reset(int fd, int64_t begin, int64_t size, int64_t blockBytes)
{
    blockBytes = std::max<int64_t>(blockBytes, 4096);
    // Smaller blocks, more of them: a look over a stream's start steps on
    // and back among frames a few blocks apart.
    const int others = int(std::max<int64_t>(2, 2 * kBlockBytes / blockBytes));
    FileWindow::Reset(fd, begin, size, {blockBytes, others, 1, 0}, &streamReads);
    for (KeptSize& k : freeSizes_) k = KeptSize{};
}

int64_t StreamBytes::FileReads()
{
    return streamReads.calls;
}

int64_t StreamBytes::BytesRead()
{
    return streamReads.bytes;
}

const int64_t* StreamBytes::FreeSizeKept(int64_t at) const
{
    const KeptSize& k = freeSizes_[uint64_t(at) % std::size(freeSizes_)];
    return k.at == at ? &k.size : nullptr;
}

void StreamBytes::KeepFreeSize(int64_t at, int64_t size)
{
    freeSizes_[uint64_t(at) % std::size(freeSizes_)] = KeptSize{at, size};
}

// ---- The rule

int64_t FrameWalk::ClaimAt(int64_t at, const Shape& shape, unsigned char* p, size_t* n)
{
    *n = bytes_.Read(at, p, kHeadBytes);
    FrameHeader h;
    if (*n < 4 || !ReadFrameHeader(p, &h) || !SameStream(p, shape.ref)) return 0;
    // A recording's Xing/Info frame may be written at a bit rate of its own.
    if (shape.oneRate ? h.bitRateIndex != shape.bitRateIndex : h.bitRateIndex == 0)
        if (h.bitRateIndex == 0 || !HeaderFrameAt(at)) return 0;
    const int64_t size = FrameSize(h, shape.freeSize);
    return size > 4 + (h.crc ? 2 : 0) + SideInfoBytes(h) ? size : 0;
}

int64_t FrameWalk::SizeAt(int64_t at, const Shape& shape)
{
    unsigned char p[kHeadBytes];
    size_t n = 0;
    const int64_t size = ClaimAt(at, shape, p, &n);
    FrameHeader h;
    if (size == 0 || !ReadFrameHeader(p, &h)) return 0;
    if (h.layer == 1) return AllocationHolds(p, n, h) ? size : 0;
    return h.layer != 3 || SideInfoHolds(p, n, h, size) ? size : 0;
}

int64_t FrameWalk::TagLength(int64_t at)
{
    unsigned char p[10];
    // A tag longer than the bytes left is none: "ID3" within a frame's data.
    const int64_t length = Id3v2Length(p, bytes_.Read(at, p, sizeof p));
    return at + length <= bytes_.Size() ? length : 0;
}

bool FrameWalk::TagWithin(int64_t at, const Shape& shape)
{
    const int64_t length = TagLength(at);
    if (length == 0) return false;
    // A tag's name and size among a frame's bytes are no tag where what
    // follows is not what follows a tag: the end, a tag, or a frame.
    const int64_t after = at + length;
    unsigned char p[4];
    FrameHeader h;
    Shape other;
    return after == bytes_.Size() || TagLength(after) > 0 || EndTagAt(after) ||
           (bytes_.Read(after, p, 4) == 4 && ReadFrameHeader(p, &h) && SameKind(p, shape.ref)) ||
           RecordingAt(after, &other);
}

bool FrameWalk::EndTagAt(int64_t at)
{
    unsigned char p[12];
    const size_t n = bytes_.Read(at, p, sizeof p);
    // An ID3v1 tag is the file's last 128 bytes (227 more for its extension).
    if (n >= 3 && std::memcmp(p, "TAG", 3) == 0) return bytes_.Size() - at <= 128 + 227;
    return EndTagName(p, n);
}

bool FrameWalk::HeaderFrameAt(int64_t at)
{
    // Past a Xing header's name, or a VBRI header's and its frame count.
    unsigned char p[56];
    uint32_t frames = 0;
    return ReadHeaderFrame(p, bytes_.Read(at, p, sizeof p), &frames) != HeaderFrame::kNone;
}

FrameWalk::Link FrameWalk::Follow(int64_t end, const Shape& shape, bool joins, bool sane, int64_t after)
{
    const int64_t size = bytes_.Size();
    if (after < end) {
        if (end >= size) return {Landing::kEnd, end, end == size};
        if (TagLength(end) > 0 || EndTagAt(end)) return {Landing::kTag, end, true};
        // Where a frame ends, a header of the stream is the next frame's (or
        // stray bytes that look like one, which the frame after tells).
        unsigned char p[kHeadBytes];
        size_t n = 0;
        if (sane ? SizeAt(end, shape) > 0 : ClaimAt(end, shape, p, &n) > 0) return {Landing::kHeader, end, true};
        Shape other;
        if (joins && RecordingAt(end, &other)) return {Landing::kJoin, end, true};
    }
    // Stray bytes: fewer than a frame of the shape takes.
    const int64_t limit = std::min(end + std::max<int64_t>(shape.shortest, 1), size);
    for (int64_t at = std::max(end, after) + 1; at < limit;) {
        size_t got = size_t(limit - at);
        const unsigned char* q = bytes_.Look(at, &got);
        if (!q || got == 0) break;
        for (size_t i = 0; i < got; ++i) {
            if (q[i] != 0xFF && q[i] != 'I' && q[i] != 'T' && q[i] != 'A' && q[i] != 'L') continue;
            const int64_t c = at + int64_t(i);
            if (q[i] != 0xFF) {
                if (TagWithin(c, shape) || EndTagAt(c)) return {Landing::kTag, c, false};
            } else if (SizeAt(c, shape) > 0) {
                return {Landing::kHeader, c, false};
            }
        }
        at += int64_t(got);
    }
    // Bytes after the last frame too few for a frame are no frame lost.
    if (size - end < shape.shortest) return {Landing::kEnd, size, false};
    // The last frame, damaged within, past stray bytes: a header of the
    // stream whose frame ends with the file.
    if (const int64_t last = LastFrameAt(end, shape); last >= 0) return {Landing::kHeader, last, false};
    return {};
}

FrameWalk::Begun FrameWalk::BeginsFrame(int64_t at, const Shape& shape, bool joins)
{
    Begun b;
    b.size = SizeAt(at, shape);
    if (b.size == 0) return b;
    const int64_t end = at + b.size, size = bytes_.Size();
    // The next frame where it ends, else past stray bytes the one that
    // leads on past the fewest: stray bytes may hold a header themselves.
    // Exact: a header (or the end) right where it ends, whichever frame
    // the stream then goes on from.
    bool exact = false;
    for (Link first = Follow(end, shape, joins); first.how != Landing::kNone;
         first = Follow(end, shape, joins, false, first.at)) {
        // A frame that runs past the end is cut short there: as far from
        // whole as the bytes it lacks.
        int64_t strays = std::abs(std::min(first.at, size) - end);
        if (b.ok && strays >= b.strays) break;
        exact = exact || first.exact;
        if (first.how == Landing::kHeader) {
            unsigned char p[kHeadBytes];
            size_t n = 0;
            const int64_t next = first.at + ClaimAt(first.at, shape, p, &n);
            const Link second = Follow(next, shape, joins);
            if (second.how == Landing::kNone) continue;
            strays += std::abs(std::min(second.at, size) - next);
        }
        if (!b.ok || strays < b.strays) b.strays = strays, b.next = first.how == Landing::kHeader ? first.at : -1;
        b.ok = true;
        if (b.strays == 0) break;
    }
    b.exact = b.ok && exact;
    return b;
}

int64_t FrameWalk::FreeSizeAt(int64_t at, const FrameHeader& h)
{
    if (const int64_t* kept = bytes_.FreeSizeKept(at)) return *kept;
    const int64_t size = FindFreeSize(at, h);
    bytes_.KeepFreeSize(at, size);
    return size;
}

int64_t FrameWalk::FindFreeSize(int64_t at, const FrameHeader& h)
{
    unsigned char ref[kHeadBytes];
    const size_t held = bytes_.Read(at, ref, sizeof ref);
    // Side information no frame can hold, whatever its length.
    const int64_t longest = LongestFreeFrame(h);
    if (held < 4 || (h.layer == 3 && !SideInfoHolds(ref, held, h, longest))) return 0;
    const int64_t shortest = 4 + (h.crc ? 2 : 0) + SideInfoBytes(h) + 1;
    // The next header of the stream: a free-format one of its kind whose
    // side information a frame that long can hold. Of headers closer
    // together than any frame, the last: stray bytes stand before a frame,
    // and may hold the stream's header themselves.
    const auto next = [&](int64_t from, int padding) -> int64_t {
        // A frame and fewer stray bytes.
        const int64_t last = std::min(from + 2 * longest, bytes_.Size() - 4);
        int64_t found = -1;
        for (int64_t c = from + shortest; (c = bytes_.Find(0xFF, c, last + 1)) >= 0; ++c) {
            if (found >= 0 && c - found >= shortest) break;
            const int64_t d = c - from;
            unsigned char p[kHeadBytes];
            const size_t n = bytes_.Read(from + d, p, sizeof p);
            FrameHeader fh;
            if (n < 4 || !ReadFrameHeader(p, &fh) || fh.bitRateIndex != 0 || !SameStream(p, ref)) continue;
            if (fh.layer == 3 && !SideInfoHolds(p, n, fh, d - padding + fh.padding)) continue;
            found = from + d;
        }
        return found;
    };
    // The least distance between the first frames, less padding, where it
    // is seen twice or every other is as long and fewer stray bytes: stray
    // bytes may stand after some, and bytes of anything hold a header of
    // free format now and then. Else the least seen twice; else the least,
    // where the last frame then ends with the file.
    int64_t distances[kShapeFrames], last = at, before = at;
    int count = 0, paddingBefore = h.padding;
    FrameHeader fh = h;
    for (int64_t c = at; count < kShapeFrames;) {
        const int64_t d = next(c, fh.padding);
        if (d < 0) break;
        distances[count++] = d - c - fh.padding;
        unsigned char p[4];
        before = last, paddingBefore = fh.padding;
        if (bytes_.Read(d, p, 4) < 4 || !ReadFrameHeader(p, &fh)) break;
        c = last = d;
    }
    int64_t least = 0, twice = 0;
    for (int i = 0; i < count; ++i) {
        if (least == 0 || distances[i] < least) least = distances[i];
        for (int j = i + 1; j < count; ++j)
            if (distances[j] == distances[i] && (twice == 0 || distances[i] < twice)) twice = distances[i];
    }
    // Longer than the longest frame where stray bytes stand before every
    // one, which lengthen every frame.
    if (least <= shortest || least >= 2 * longest) return 0;
    // The size that makes the frame at `from` end with the file, where each
    // of the distances before it is a frame of that size and fewer stray
    // bytes; 0 where none does.
    const auto endingAt = [&](int64_t from, int padding, int before) -> int64_t {
        const int64_t size = bytes_.Size() - from - padding;
        if (size <= shortest || size >= 2 * longest || before == 0) return 0;
        for (int i = 0; i < before; ++i)
            if (distances[i] < size || distances[i] >= 2 * size) return 0;
        return size;
    };
    // The last frame's bytes may hold a header (the frame before it ends
    // with the file, so the last header lies within it): that size, before
    // all else, where the least would make the last frame run past the end,
    // or where that size is a distance before it too.
    const int64_t ending = count >= 2 ? endingAt(before, paddingBefore, count - 1) : 0;
    bool seen = last + least + fh.padding > bytes_.Size();
    for (int i = 0; count >= 3 && i + 1 < count; ++i) seen = seen || distances[i] == ending;
    if (ending > 0 && seen) return ending;
    // The least once, where every other is a frame and fewer stray bytes.
    bool within = count >= 3;
    for (int i = 0; i < count; ++i) within = within && distances[i] < 2 * least;
    if (twice == least || within) return least;
    if (twice > shortest && twice < 2 * longest) return twice;
    if (last + least + fh.padding == bytes_.Size()) return least;
    // A few frames alone, the last ending with the file, stray bytes before
    // some.
    return endingAt(last, fh.padding, count);
}

bool FrameWalk::ShapeAt(int64_t at, Shape* shape)
{
    unsigned char p[kTagBytes];
    const size_t n = bytes_.Read(at, p, sizeof p);
    FrameHeader h;
    if (n < 4 || !ReadFrameHeader(p, &h)) return false;
    Shape s;
    std::memcpy(s.ref, p, 4);
    s.rate = h.rate;
    s.frameSamples = h.samples;
    const auto oneRate = [&](int index, int64_t freeSize) {
        s.oneRate = true;
        s.bitRateIndex = index;
        s.freeSize = freeSize;
        unsigned char q[4] = {p[0], p[1], uint8_t((p[2] & 0x0D) | index << 4), p[3]};
        FrameHeader fh;
        ReadFrameHeader(q, &fh);
        const int64_t size = FrameSize(fh, freeSize);
        s.shortest = size;
        s.frameBytes = freeSize > 0 ? double(freeSize) : double(h.samples) / 8 * fh.bitRate * 1000 / h.rate;
    };
    // The lowest bit rate's frame.
    unsigned char q[4] = {p[0], p[1], uint8_t((p[2] & 0x0D) | 0x10), p[3]};
    FrameHeader lowestHeader;
    ReadFrameHeader(q, &lowestHeader);
    const int64_t lowest = lowestHeader.size;
    const auto varying = [&] {
        s.oneRate = false;
        s.bitRateIndex = 0;
        s.freeSize = 0;
        s.shortest = lowest;
        s.frameBytes = 0;
    };
    if (h.bitRateIndex == 0) {
        const int64_t freeSize = FreeSizeAt(at, h);
        if (freeSize == 0) return false;
        oneRate(0, freeSize);
        *shape = s;
        return true;
    }
    uint32_t counted = 0;
    bool varies = false;
    // A Xing or VBRI header is written for a recording of varying bit rate,
    // an Info header for one of a single rate.
    const HeaderFrame header = ReadHeaderFrame(p, n, &counted, nullptr, &varies);
    if (!varies) {
        // Frames of one bit rate, each where the last ends or past fewer
        // stray bytes than such a frame: the first's, or after an Info
        // frame the first sound frame's.
        for (const bool afterHeader : {false, true}) {
            int64_t from = at;
            if (afterHeader) {
                if (header == HeaderFrame::kNone) break;
                varying();
                const Link link = Follow(at + h.size, s, false, true);
                FrameHeader next;
                unsigned char q[4];
                if (link.how != Landing::kHeader || bytes_.Read(link.at, q, 4) < 4 || !ReadFrameHeader(q, &next) ||
                    next.bitRateIndex == h.bitRateIndex)
                    break;
                from = link.at;
                oneRate(next.bitRateIndex, 0);
            } else {
                oneRate(h.bitRateIndex, 0);
            }
            int count = 0;
            for (int64_t c = from; count < kShapeFrames; ++count) {
                // A frame that runs past the end tells nothing of the rest.
                const int64_t size = SizeAt(c, s);
                if (size == 0 || c + size > bytes_.Size()) break;
                const Link link = Follow(c + size, s, false, true);
                // A frame of another bit rate where it ends, or past stray
                // bytes too few for a frame of its own: the rate varies.
                if (link.how != Landing::kHeader || !link.exact) {
                    Shape any = s;  // of any bit rate
                    any.oneRate = false;
                    any.shortest = lowest;
                    if (SizeAt(c + size, any) > 0) break;
                    if (link.how == Landing::kEnd && !link.exact &&
                        Follow(c + size, any, false, true).how == Landing::kHeader)
                        break;
                }
                if (link.how == Landing::kEnd || link.how == Landing::kTag) {
                    count = kShapeFrames;
                    break;
                }
                c = link.how == Landing::kHeader ? link.at : ResumesAt(c + size, s);
                if (c < 0) break;
            }
            if (count >= kShapeFrames) {
                *shape = s;
                return true;
            }
        }
    }
    varying();
    *shape = s;
    return true;
}

int64_t FrameWalk::LastFrameAt(int64_t from, const Shape& shape)
{
    const int64_t size = bytes_.Size();
    const int64_t limit = std::min(from + shape.shortest, size);
    for (int64_t at = from; (at = bytes_.Find(0xFF, at, limit)) >= 0; ++at) {
        unsigned char p[kHeadBytes];
        size_t n = 0;
        if (at + ClaimAt(at, shape, p, &n) == size) return at;
    }
    return -1;
}

int64_t FrameWalk::ResumesAt(int64_t from, const Shape& shape)
{
    Shape any = shape;
    any.oneRate = false;
    const int64_t limit = std::min(from + kResumeBytes, bytes_.Size());
    for (int64_t at = from; (at = bytes_.Find(0xFF, at, limit)) >= 0; ++at) {
        if (SizeAt(at, shape) > 0) return at;
        // A frame of another bit rate: the recording's rate varies.
        if (SizeAt(at, any) > 0) return -1;
    }
    return -1;
}

bool FrameWalk::RecordingAt(int64_t at, Shape* shape)
{
    unsigned char p[4];
    FrameHeader h;
    if (bytes_.Read(at, p, 4) < 4 || !ReadFrameHeader(p, &h) || !ShapeAt(at, shape)) return false;
    // Frames back to back, each where the last ends: stray bytes may hold a
    // header of another kind over and over.
    int64_t c = at;
    for (int k = 0; k < kJoinFrames; ++k) {
        const int64_t size = SizeAt(c, *shape);
        if (size == 0) return false;
        c += size;
        // A frame past the end is none to go by.
        if (c > bytes_.Size()) return false;
        if (c == bytes_.Size() || TagLength(c) > 0 || EndTagAt(c)) return k > 0;
    }
    return true;
}

bool FrameWalk::CutFrameAt(int64_t at, int64_t to)
{
    const int64_t size = SizeAt(at, shape_);
    unsigned char p[4 + 2 + 32];
    const size_t n = bytes_.Read(at, p, sizeof p);
    FrameHeader h;
    if (size == 0 || to - at >= size || n < 4 || !ReadFrameHeader(p, &h)) return false;
    // Its header and side information whole, sound in it (a header before
    // zeros is no frame begun), and no header of the stream among them (nor
    // is a header repeated).
    const int64_t held = 4 + (h.crc ? 2 : 0) + std::max(SideInfoBytes(h), 1);
    int64_t sound = 1;
    if (to - at < held || (h.layer == 3 && (!SideInfoHolds(p, n, h, size, &sound) || sound == 0))) return false;
    for (int64_t c = at + 1; c < at + held; ++c)
        if (SizeAt(c, shape_) > 0) return false;
    return true;
}

int64_t FrameWalk::Choose(int64_t from, int64_t limit, Shape* shape, bool* joins, bool* tag, bool plausible)
{
    *shape = shape_;
    int64_t found = -1;
    Begun best;
    for (int64_t at = from; at < limit;) {
        size_t n = size_t(limit - at);
        const unsigned char* p = bytes_.Look(at, &n);
        if (!p || n == 0) break;
        // Only a frame's sync or an ID3v2 tag's name starts what comes next.
        const auto* sync = static_cast<const unsigned char*>(std::memchr(p, 0xFF, n));
        const auto* name = static_cast<const unsigned char*>(std::memchr(p, 'I', sync ? size_t(sync - p) : n));
        const unsigned char* next = name ? name : sync;
        if (!next) {
            at += int64_t(n);
            continue;
        }
        const int64_t c = at + (next - p);
        at = c + 1;
        // A tag within a frame's bytes cuts it there.
        if (*next == 'I') {
            if (!TagWithin(c, shape_)) continue;
            *tag = true;
            return c;
        }
        Begun b = BeginsFrame(c, shape_);
        if (b.size > 0) WeighReservoir(c, &b);
        if (b.ok && b.exact && b.strays == 0 && b.holds && b.leads && found < 0) return c;
        Shape other;
        if (b.size == 0 && found < 0 && RecordingAt(c, &other)) {
            *shape = other;
            *joins = true;
            return c;
        }
        // Of those that begin a frame within the bytes of the best so far,
        // the one the frames after follow best. Where frames resume past
        // bytes put in before each, none leads to the next: the first whose
        // header and side information hold, unless one within its bytes
        // does lead on.
        // A header among the stray bytes may hold too: one whose main data
        // the frame before leads to goes first.
        if (!b.ok && plausible && b.size > 0) {
            if (found < 0 || (b.holds && !best.holds && !best.exact)) {
                limit = std::min(c + b.size, bytes_.Size());
                found = c;
                best = Begun{true, false, INT64_MAX, b.size, -1, b.holds, true};
            }
            continue;
        }
        // Past stray bytes, a header whose main data the frame before does
        // not lead to is one of them, unless nothing else is near.
        if (b.ok && !b.exact && !b.holds && !plausible) continue;
        if (b.ok && (found < 0 || Better(b, best))) {
            limit = std::min(c + b.size, bytes_.Size());
            found = c;
            best = b;
        }
    }
    return found;
}

int64_t FrameWalk::FirstFrame(StreamBytes& bytes)
{
    FrameWalk walk(bytes);
    int64_t start = 0;
    for (int64_t tag; (tag = walk.TagLength(start)) > 0;) start += tag;
    // Where the file should start, a frame the stream runs on from; past
    // other bytes (a tag of no known kind, zeros, a stream joined
    // mid-frame) one that three frames back to back begin, as bytes of
    // anything may look like one header, or four where stray bytes stand
    // between them. Of those within the first's bytes, the one the frames
    // after follow with the fewest stray bytes between.
    int64_t found = -1, limit = bytes.Size();
    Begun best;
    for (int64_t c = start; (c = bytes.Find(0xFF, c, limit)) >= 0; ++c) {
        Shape s;
        if (!walk.ShapeAt(c, &s)) continue;
        const Begun b = walk.BeginsFrame(c, s, false);
        // Where the file should start, a frame stands on its own: bytes put
        // in after it do not make it none.
        if (c == start && !b.ok && b.size > 0 && c + b.size <= bytes.Size()) return c;
        if (!b.ok) continue;
        // Against a frame there that leads on, one within its bytes needs
        // its frames, not the file's end: a header in a short file's last
        // frame reaches the end at once.
        if (c > start && !walk.RunsOn(c, s, b.strays > 0 ? 4 : 3, found != start)) continue;
        if (b.exact && b.strays == 0 && found < 0) return c;
        if (found < 0 || Better(b, best)) {
            limit = std::min(limit, c + b.size);
            found = c;
            best = b;
        }
    }
    return found;
}

bool FrameWalk::RunsOn(int64_t at, const Shape& shape, int frames, bool toEnd)
{
    FrameWalk walk(bytes_);
    walk.shape_ = shape;
    walk.pos_ = at;
    walk.started_ = true;
    int64_t end = at;
    for (int k = 0; k < frames; ++k) {
        const Step step = walk.Next();
        // Frames that end with the file, or where its closing tag begins.
        if (step.kind == Step::kEnd) return toEnd && k > 0 && (end == bytes_.Size() || EndTagAt(end));
        if (step.kind != Step::kFrame || (k == 0 && step.at != at)) return false;
        end = step.at + step.size;
    }
    return true;
}

bool FrameWalk::Better(const Begun& a, const Begun& b)
{
    // A frame whose next one starts right where it ends, then one whose
    // main data the frames before lead to (two chains of headers can both
    // run on where a stream's own header stands among stray bytes), then
    // the fewest stray bytes before the next two.
    if (a.exact != b.exact) return a.exact;
    if (a.holds != b.holds) return a.holds;
    if (a.strays != b.strays) return a.strays < b.strays;
    return a.leads && !b.leads;
}

// ---- The walk

bool FrameWalk::Start()
{
    strays_ = 0;
    left_ = -1;
    pos_ = FirstFrame(bytes_);
    started_ = pos_ >= 0 && ShapeAt(pos_, &shape_);
    return started_;
}

Step FrameWalk::Next()
{
    for (;;) {
        const Step step = Take();
        if (step.kind != Step::kGap || step.size > 0) return step;
    }
}

Step FrameWalk::Take()
{
    Step step;
    const int64_t size = bytes_.Size();
    if (!started_ || pos_ >= size) return step;
    if (const int64_t tag = TagLength(pos_); tag > 0) {
        step.kind = Step::kTag;
        step.at = pos_;
        step.size = tag;
        pos_ += tag;
        left_ = -1;
        return step;
    }
    // Other tags end the stream.
    if (EndTagAt(pos_)) {
        pos_ = size;
        return step;
    }
    Shape shape = shape_;
    bool joins = false, tag = false;
    int64_t at = -1;
    // Where the last frame ends: a frame there that leads on at once, or a
    // recording of another shape joined on; else what competes for its
    // bytes: a frame within them that leads on at once, or stray bytes
    // before the first frame that leads on; else a frame there whose run
    // ends with it; else frames resume further on.
    Begun here = BeginsFrame(pos_, shape_);
    if (here.size > 0) WeighReservoir(pos_, &here);
    if (here.ok && here.exact && here.strays == 0 && here.holds && here.leads) at = pos_;
    else if (here.size == 0 && RecordingAt(pos_, &shape)) at = pos_, joins = true;
    if (at < 0) at = Choose(pos_, pos_ + std::max(shape_.shortest, here.size), &shape, &joins, &tag);
    if (at < 0 && here.size > 0 && pos_ + here.size <= size) at = pos_;
    if (at < 0) at = Choose(pos_ + 1, size, &shape, &joins, &tag, true);
    // A recording joined on past stray bytes: its first frame where the
    // last ends, when that leads to the frames back to back that tell it.
    if (at > pos_ && joins) {
        const int64_t first = SizeAt(pos_, shape);
        const Link link = first > 0 ? Follow(pos_ + first, shape, false) : Link{};
        if (link.how == Landing::kHeader && link.at == at) at = pos_;
    }
    // Where no frame follows, a header of the stream where the last frame
    // ends begins a frame all the same, damaged within: the decoder says so.
    int64_t damaged = 0;
    if (at < 0) {
        unsigned char p[kHeadBytes];
        size_t n = 0;
        damaged = ClaimAt(pos_, shape_, p, &n);
        if (damaged > 0 && pos_ + damaged <= size) at = pos_;
        else if (const int64_t last = LastFrameAt(pos_, shape_); last >= 0)
            at = last, damaged = size - last;
    }
    // Bytes after the last frame are no frame lost.
    if (at < 0) {
        pos_ = size;
        return step;
    }
    if (at > pos_) {
        const bool cut = CutFrameAt(pos_, at);
        if (cut || at - pos_ >= shape_.shortest) {
            step.kind = Step::kGap;
            step.at = pos_;
            step.size = at - pos_;
            step.cut = cut;
            step.shape = shape_;
            pos_ = at;
            left_ = -1;
            return step;
        }
        strays_ += at - pos_;
        pos_ = at;
        if (tag) {
            step.kind = Step::kGap;  // nothing: the tag comes next
            return step;
        }
    }
    // A recording's own header frame tells its shape.
    const bool header = HeaderFrameAt(at);
    if (header && !joins) ShapeAt(at, &shape);
    step.kind = Step::kFrame;
    step.at = at;
    step.size = damaged > 0 && (at == pos_ || at + damaged == size) ? damaged : SizeAt(at, shape);
    step.header = header;
    step.joins = joins;
    if (step.size == 0) {
        // No frame of its shape after all: a byte that holds none.
        step.kind = Step::kGap;
        ++strays_;
        pos_ = at + 1;
        return step;
    }
    shape_ = shape;
    step.shape = shape_;
    pos_ = at + step.size;
    // What a frame leaves of its main data the next begins in: nothing
    // after a recording's header frame, as its first frame's sound begins
    // in that frame; unknown past a damaged one.
    unsigned char p[kHeadBytes];
    left_ = header ? 0 : damaged > 0 ? -1 : ReservoirLeft(p, bytes_.Read(at, p, sizeof p), step.size);
    return step;
}

void FrameWalk::WeighReservoir(int64_t at, Begun* b)
{
    unsigned char p[kHeadBytes];
    const size_t n = bytes_.Read(at, p, sizeof p);
    b->holds = left_ < 0 || MainDataBegin(p, n) <= left_;
    if (b->next < 0) return;
    const int64_t left = ReservoirLeft(p, n, b->size);
    unsigned char q[kHeadBytes];
    b->leads = left < 0 || MainDataBegin(q, bytes_.Read(b->next, q, sizeof q)) <= left;
}

}  // namespace platform::mpeg
