#include "av/ogg_links.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace platform::ffmpeg_layer {

namespace {

// The Ogg checksum of a page whose own checksum field reads as zero.
uint32_t OggChecksum(const uint8_t* page, size_t length)
{
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit) r = r & 0x80000000u ? r << 1 ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    uint32_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = i >= 22 && i < 26 ? 0 : page[i];
        crc = crc << 8 ^ table[(crc >> 24 ^ byte) & 0xFF];
    }
    return crc;
}

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int64_t Le64(const uint8_t* p)
{
    return int64_t(uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32);
}

// The samples an Opus packet holds (its TOC byte and frame count), 0 for
// one that holds none or is no valid packet.
int64_t OpusPacketSamples(const uint8_t* packet, size_t length)
{
    if (length == 0) return 0;
    const int config = packet[0] >> 3;
    static constexpr int64_t kSilk[4] = {480, 960, 1920, 2880}, kCelt[4] = {120, 240, 480, 960};
    const int64_t frame = config < 12 ? kSilk[config & 3] : config < 16 ? (config & 1 ? 960 : 480) : kCelt[config & 3];
    const int code = packet[0] & 3;
    const int64_t frames = code == 0 ? 1 : code < 3 ? 2 : length >= 2 ? packet[1] & 0x3F : 0;
    // No packet holds more than 120 ms.
    return frame * frames <= 5760 ? frame * frames : 0;
}

// Each Vorbis mode's block flag (true: the long block), as the end of a
// setup header lists them; empty where the header is not read so.
std::vector<bool> VorbisModeBlockFlags(const uint8_t* setup, size_t length)
{
    // The modes end the header, before its framing bit: each a block flag,
    // a window type and a transform type of 16 bits (both 0) and a mapping
    // of 8 (below 64), packed from the lowest bit up, and their count less
    // one in 6 bits before them. Read back from the end, as FFmpeg reads
    // them: the longest run of modes whose count matches.
    if (length < 7 || std::memcmp(setup, "\x05vorbis", 7) != 0) return {};
    const auto bit = [&](int64_t k) { return (setup[k >> 3] >> (k & 7)) & 1; };
    const auto bits = [&](int64_t from, int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) value |= uint32_t(bit(from + i)) << i;
        return value;
    };
    int64_t framing = int64_t(length) * 8 - 1;
    while (framing >= 56 && !bit(framing)) --framing;
    int runs = 0;
    for (int64_t at = framing - 41; at >= 56 && runs < 64; at -= 41, ++runs)
        if (bits(at + 1, 16) != 0 || bits(at + 17, 16) != 0 || bits(at + 33, 8) > 63) break;
    for (int count = runs; count > 0; --count) {
        const int64_t modes = framing - 41 * int64_t(count);
        if (modes - 6 < 56 || int(bits(modes - 6, 6)) + 1 != count) continue;
        std::vector<bool> flags;
        for (int m = 0; m < count; ++m) flags.push_back(bit(modes + 41 * int64_t(m)));
        return flags;
    }
    return {};
}

// What a link's Opus or Vorbis stream tells of its length, from its whole
// pages in order: the packets' own lengths (an Opus packet's TOC byte, a
// Vorbis packet's mode and the blocks its setup header gives), and the
// granule positions, each the end of the last packet a page completes.
class LinkTime {
public:
    // A page of the link whose checksum holds: its header, lacing values
    // and body.
    void Page(const uint8_t* header, const uint8_t* lacing, const uint8_t* body)
    {
        const uint32_t serial = Le32(header + 14), sequence = Le32(header + 18);
        const bool first = header[5] & 0x02;
        if (codec_ == kNone) {
            // The link's first stream of a codec read here: its first page
            // holds its identification header alone.
            if (!first || header[26] == 0 || lacing[0] == 255) return;
            Identify(body, lacing[0]);
            if (codec_ == kNone) return;
            serial_ = serial;
            sequence_ = sequence;
            packets_ = 1;
            return;
        }
        if (serial != serial_) return;
        // A page missing before this one: what it held is not known.
        if (sequence != sequence_ + 1) Lose();
        sequence_ = sequence;
        // A packet begun on a page that was lost goes on here: its start
        // is not known, and neither is its length.
        bool skipping = (header[5] & 0x01) && !open_;
        if (!(header[5] & 0x01) && open_) {
            Lose();
            skipping = false;
        }
        const uint8_t* at = body;
        for (int i = 0; i < header[26]; ++i) {
            const size_t n = lacing[i];
            if (!skipping) Take(at, n);
            at += n;
            if (n < 255) {
                if (!skipping) Complete();
                skipping = false;
            }
        }
        const int64_t granule = Le64(header + 6);
        if (granule < 0 || packets_ <= headers_) return;
        // The first granule after audio tells where the stream starts, when
        // no page was lost before it.
        if (!placed_) {
            placed_ = true;
            started_ = !lost_;
            start_ = granule - samples_;
        }
        last_ = granule;
        ended_ = header[5] & 0x04;
    }

    // A page of the link that does not hold: its packets are lost.
    void Lose()
    {
        lost_ = true;
        open_ = false;
        packet_.clear();
        previousBlock_ = 0;
    }

    int Rate() const { return rate_; }

    // As OggLink::frames.
    int64_t Frames() const
    {
        if (codec_ == kNone || !started_ || (codec_ == kVorbis && modes_.empty())) return -1;
        // Samples before the stream's start (a first granule smaller than
        // the first page's packets hold) are cut off.
        const int64_t from = std::max<int64_t>(start_, 0);
        int64_t end = last_;
        // Vorbis cuts a last packet short only on the stream's last page;
        // elsewhere each packet plays whole, whatever the granules say.
        if (codec_ == kVorbis && !ended_ && !lost_) end = std::max(end, start_ + samples_);
        return std::max<int64_t>(end - from - preSkip_, 0);
    }

private:
    enum Codec { kNone, kOpus, kVorbis };

    void Identify(const uint8_t* p, size_t n)
    {
        if (n >= 19 && std::memcmp(p, "OpusHead", 8) == 0) {
            codec_ = kOpus;
            headers_ = 2;
            rate_ = 48000;  // granules count at 48 kHz, whatever the input's rate
            preSkip_ = p[10] | p[11] << 8;
        } else if (n >= 30 && std::memcmp(p, "\x01vorbis", 7) == 0) {
            codec_ = kVorbis;
            headers_ = 3;
            rate_ = int(Le32(p + 12));
            shortBlock_ = int64_t(1) << (p[28] & 0x0F);
            longBlock_ = int64_t(1) << (p[28] >> 4);
        }
    }

    // Bytes of the packet at hand: all of a Vorbis setup header, the first
    // two of others.
    void Take(const uint8_t* p, size_t n)
    {
        open_ = true;
        const bool setup = codec_ == kVorbis && packets_ == 2;
        constexpr size_t kMostSetup = size_t(16) << 20;
        const size_t room = setup ? kMostSetup - std::min(kMostSetup, packet_.size()) : 2 - std::min<size_t>(2, packet_.size());
        packet_.insert(packet_.end(), p, p + std::min(n, room));
    }

    void Complete()
    {
        open_ = false;
        ++packets_;
        if (codec_ == kVorbis && packets_ == 3) modes_ = VorbisModeBlockFlags(packet_.data(), packet_.size());
        if (packets_ > headers_) samples_ += PacketSamples();
        packet_.clear();
    }

    int64_t PacketSamples()
    {
        if (codec_ == kOpus) return OpusPacketSamples(packet_.data(), packet_.size());
        // A Vorbis packet gives a quarter of the block before it and of its
        // own; the first gives none. An empty or damaged one is passed over.
        if (modes_.empty() || packet_.empty() || (packet_[0] & 1)) return 0;
        int bits = 0;
        while ((size_t(1) << bits) < modes_.size()) ++bits;
        const size_t mode = size_t(packet_[0] >> 1) & ((size_t(1) << bits) - 1);
        if (mode >= modes_.size()) return 0;
        const int64_t block = modes_[mode] ? longBlock_ : shortBlock_;
        const int64_t samples = previousBlock_ > 0 ? previousBlock_ / 4 + block / 4 : 0;
        previousBlock_ = block;
        return samples;
    }

    Codec codec_ = kNone;
    uint32_t serial_ = 0, sequence_ = 0;
    int headers_ = 0;
    int rate_ = 0;
    int64_t preSkip_ = 0;
    int64_t shortBlock_ = 0, longBlock_ = 0, previousBlock_ = 0;
    std::vector<bool> modes_;
    std::vector<uint8_t> packet_;
    bool open_ = false;     // a packet goes on to the next page
    int64_t packets_ = 0;   // completed, headers with them
    int64_t samples_ = 0;   // what the audio packets completed hold
    bool placed_ = false;   // the first granule after audio came
    bool started_ = false;  // start_ known: no page was lost before it
    bool lost_ = false;     // a page of the stream did not hold
    int64_t start_ = 0, last_ = 0;
    bool ended_ = false;    // the last granule came on the stream's last page
};

}  // namespace

std::vector<OggLink> OggLinks(int fd, int64_t size, const LinkFound& found)
{
    // Every link is found, however many: each takes two pages at least. Read
    // a megabyte at a time, the two blocks before kept: a link no longer than
    // a block is held whole when the next one's first page is found, even
    // where that page runs into the next block.
    constexpr int64_t kHeader = 27;
    FileWindow bytes(fd, 0, size, {int64_t(1) << 20, 3});
    std::vector<OggLink> links;
    LinkTime time;
    const auto timed = [&] {
        if (links.empty()) return;
        links.back().frames = time.Frames();
        links.back().rate = time.Rate();
    };
    bool pagesSinceFirst = false;
    bool cut = false;  // the last page was not whole
    const auto whole = [&](int64_t at, const uint8_t* h, int64_t length) {
        const uint8_t* page = bytes.Bytes(at, length);
        return page && OggChecksum(page, size_t(length)) == Le32(h + 22);
    };
    for (int64_t at = bytes.Find("OggS", 4, 0, size); at >= 0;) {
        // The header is copied: each read may move the window.
        uint8_t h[kHeader];
        const uint8_t* header = bytes.Bytes(at, kHeader);
        if (header) std::memcpy(h, header, sizeof h);
        const uint8_t* lacing = header && h[4] == 0 ? bytes.Bytes(at + kHeader, h[26]) : nullptr;
        if (!lacing) {
            at = bytes.Find("OggS", 4, at + 1, size);
            continue;
        }
        int64_t length = kHeader + h[26];
        for (int i = 0; i < h[26]; ++i) length += lacing[i];
        const bool first = h[5] & 0x02;
        const bool holds = whole(at, h, length);
        if (first && (links.empty() || pagesSinceFirst) && holds) {
            if (!links.empty()) links.back().cutShort = cut;
            timed();
            if (!links.empty() && found) found(links.back(), at, bytes);
            links.push_back({links.empty() ? 0 : at, false});
            time = LinkTime();
            pagesSinceFirst = false;
        } else if (!first) {
            pagesSinceFirst = true;
        }
        if (const uint8_t* page = holds ? bytes.Bytes(at, length) : nullptr)
            time.Page(page, page + kHeader, page + kHeader + h[26]);
        else
            time.Lose();
        // The page that follows; where none does (a page cut short, the
        // next link's first page within the length it gives), the next is
        // looked for from within it.
        const uint8_t* next = at + length + 4 <= size ? bytes.Bytes(at + length, 4) : nullptr;
        const bool follows = next && std::memcmp(next, "OggS", 4) == 0;
        cut = !follows && at + length != size && !holds;
        at = follows ? at + length : bytes.Find("OggS", 4, at + 1, size);
    }
    if (links.empty()) links.push_back({});
    timed();
    links.back().cutShort = links.back().cutShort || cut;
    if (links.size() > 1 && found) found(links.back(), size, bytes);
    return links;
}

}  // namespace platform::ffmpeg_layer
