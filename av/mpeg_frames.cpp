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

// Bits read from the front of a frame's side information or allocations,
// zeros past the bytes there are.
class Bits {
public:
    Bits(const unsigned char* p, size_t n) : p_(p), n_(n) {}
    uint32_t Take(int count)
    {
        uint32_t v = 0;
        while (count > 0) {
            const size_t byte = at_ / 8;
            const int used = int(at_ % 8), take = std::min(count, 8 - used);
            const unsigned bits = byte < n_ ? p_[byte] : 0u;
            v = v << take | ((bits >> (8 - used - take)) & ((1u << take) - 1));
            at_ += size_t(take);
            count -= take;
        }
        return v;
    }
    size_t At() const { return at_; }

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

// The bits a frame's checksum covers after its header and checksum: in
// Layer III its side information; in Layer I its bit allocations; in Layer
// II its allocations and the scale factor selection of each subband given
// bits, by the table its bit rate picks (in free format, the rate its size
// makes).
size_t ProtectedBits(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size)
{
    if (h.layer == 3) return size_t(SideInfoBytes(h)) * 8;
    const int mode = p[3] >> 6, channels = h.mono ? 1 : 2;
    int bound = mode == 1 ? 4 * ((p[3] >> 4 & 3) + 1) : 32;
    if (h.layer == 1) return size_t(4 * (h.mono ? 32 : bound * 2 + (32 - bound)));
    // Layer II: the allocation table by the bit rate of a channel and the
    // sample rate, as the standard picks it; the last for MPEG-2.
    static constexpr struct {
        int subbands;
        unsigned char bits[30];
    } kTables[] = {
        {27, {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2}},
        {30, {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2}},
        {8, {4, 4, 3, 3, 3, 3, 3, 3}},
        {12, {4, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}},
        {30, {4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}},
    };
    const int64_t bitRate = h.bitRate > 0 ? h.bitRate : (size - h.padding) * h.rate / 144000;
    int table = 4;
    if (h.version == 3) {
        const int64_t perChannel = bitRate / channels;
        if ((h.rate == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80)) table = 0;
        else if (h.rate != 48000 && perChannel >= 96) table = 1;
        else if (h.rate != 32000 && perChannel <= 48) table = 2;
        else table = 3;
    }
    const int subbands = kTables[table].subbands;
    bound = std::min(bound, subbands);
    const size_t from = std::min<size_t>(6, n);
    Bits bits(p + from, n - from);
    bool allocated[2][32] = {};
    for (int sb = 0; sb < subbands; ++sb)
        for (int c = 0; c < (sb < bound ? channels : 1); ++c) {
            allocated[c][sb] = bits.Take(kTables[table].bits[sb]) != 0;
            if (sb >= bound) allocated[1][sb] = allocated[0][sb];
        }
    size_t total = bits.At();
    for (int sb = 0; sb < subbands; ++sb)
        for (int c = 0; c < channels; ++c) total += allocated[c][sb] ? 2 : 0;
    return total;
}

// Whether a frame's checksum (CRC-16, polynomial 0x8005, over the header's
// last two bytes and the bits it covers) is the one it carries.
bool ChecksumHolds(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size)
{
    const size_t covered = ProtectedBits(p, n, h, size);
    if (n < 6 + (covered + 7) / 8) return false;
    uint32_t crc = 0xFFFF;
    const auto feed = [&](unsigned byte, int count) {
        for (int b = 7; b >= 8 - count; --b) {
            const bool bit = ((byte >> b) & 1) != ((crc >> 15) & 1);
            crc = (crc << 1) & 0xFFFF;
            if (bit) crc ^= 0x8005;
        }
    };
    feed(p[2], 8);
    feed(p[3], 8);
    for (size_t bit = 0; bit < covered; bit += 8) feed(p[6 + bit / 8], int(std::min<size_t>(8, covered - bit)));
    return crc == (uint32_t(p[4]) << 8 | p[5]);
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

int64_t FrameSize(const FrameHeader& h, int64_t freeSize)
{
    if (h.size > 0) return h.size;
    return freeSize > 0 ? freeSize + h.padding : 0;
}

int64_t LongestFreeFrame(const FrameHeader& h)
{
    return int64_t(h.samples) * 80000 / h.rate + (h.layer == 1 ? 4 : 1);
}

bool ChecksumFails(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size)
{
    return h.crc && !ChecksumHolds(p, n, h, size);
}

int64_t HeadBytes(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size)
{
    return 4 + (h.crc ? 2 : 0) + int64_t(ProtectedBits(p, n, h, size) + 7) / 8;
}

int64_t SoundBits(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size)
{
    int64_t bits = 0;
    return SideInfoHolds(p, n, h, size, &bits) ? bits : -1;
}

bool HoldsFrame(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size)
{
    if (size <= 4 + (h.crc ? 2 : 0) + SideInfoBytes(h) || ChecksumFails(p, n, h, size)) return false;
    // A header followed by itself is the header put in over and over.
    if (n >= 8 && std::memcmp(p, p + 4, 4) == 0) return false;
    if (h.layer == 1) return AllocationHolds(p, n, h);
    return h.layer != 3 || SideInfoHolds(p, n, h, size);
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
}

int64_t StreamBytes::FileReads()
{
    return streamReads.calls;
}

int64_t StreamBytes::BytesRead()
{
    return streamReads.bytes;
}

}  // namespace platform::mpeg
