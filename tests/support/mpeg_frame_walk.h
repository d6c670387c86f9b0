#pragma once
// MPEG audio frames found the plain way, apart from the reader under test:
// sync, version, layer, bit rate and rate from each header, one frame after
// another; a free-format frame's size from where the next header starts.
// The stray-byte tests and the sound fuzz target both place their bytes by
// it.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace tavrel_test {

struct MpegHeader {
    int version = 0;  // 1, 2, or 25 for MPEG-2.5
    int layer = 0;
    int bitRate = 0;  // kbit/s; 0 for free format
    int rate = 0;
    bool padded = false, mono = false, crc = false;
    int samples = 0;  // a channel's samples in one frame
    int64_t size = 0;  // 0 for free format

    // The bytes of a frame of this kind at a bit rate (kbit/s), unpadded.
    int64_t BytesAt(int kbits) const
    {
        const int64_t bits = int64_t(kbits) * 1000;
        if (layer == 1) return 12 * bits / rate * 4;
        return (layer == 3 && version != 1 ? 72 : 144) * bits / rate;
    }
    int64_t Padding() const { return padded ? (layer == 1 ? 4 : 1) : 0; }
    // The frame's bytes before its main data: header, checksum, side information.
    int64_t SideEnd() const { return 4 + (crc ? 2 : 0) + (version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17)); }
};

// The header at p (4 bytes), false where none is.
inline bool ReadMpegHeader(const uint8_t* p, MpegHeader* h)
{
    static const int kKbits[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int kRates[3] = {44100, 48000, 32000};
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int version = p[1] >> 3 & 3, layer = 4 - (p[1] >> 1 & 3), index = p[2] >> 4, rate = p[2] >> 2 & 3;
    if (version == 1 || layer == 4 || index == 15 || rate == 3) return false;
    h->version = version == 3 ? 1 : version == 2 ? 2 : 25;
    h->layer = layer;
    h->bitRate = kKbits[version == 3 ? 0 : 1][layer - 1][index];
    h->rate = kRates[rate] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    h->padded = p[2] >> 1 & 1;
    h->mono = p[3] >> 6 == 3;
    h->crc = !(p[1] & 1);
    h->samples = layer == 1 ? 384 : layer == 3 && version != 3 ? 576 : 1152;
    h->size = index == 0 ? 0 : h->BytesAt(h->bitRate) + h->Padding();
    return true;
}

struct MpegFrame {
    size_t at = 0, size = 0;
    MpegHeader header;
};

struct MpegStream {
    size_t start = 0;                 // where the first frame is, past an ID3v2 tag
    size_t end = 0;                   // where the last frame ends
    std::vector<MpegFrame> frames;    // back to back from start, all of one version, layer, rate and mode
    bool info = false;                // frames[0] is a Xing/Info or VBRI frame, no sound
    bool oneRate = false;             // every frame of sound at one bit rate (free format too)
    int64_t shortest = 0;             // the stream's shortest frame: one rate's unpadded, else the lowest bit rate's
    int delay = -1, padding = -1;     // the LAME tag's encoder delay and padding; -1 without one
    uint32_t claimed = 0;             // the Xing/Info frame count, 0 without one
};

namespace mpeg_detail {

inline bool SameKind(const uint8_t* p, const uint8_t* q)
{
    return (p[1] & 0xFE) == (q[1] & 0xFE) && (p[2] & 0x0C) == (q[2] & 0x0C) && (p[3] >> 6 == 3) == (q[3] >> 6 == 3);
}

inline uint32_t Big32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The unpadded size of the free-format frames from at on: the distance to
// the next header of the kind, the one after it where that size says.
inline int64_t FreeFormatBytes(const uint8_t* data, size_t size, size_t at, const MpegHeader& first)
{
    for (size_t next = at + size_t(first.SideEnd()); next + 4 <= size; ++next) {
        MpegHeader h;
        if (!SameKind(data + at, data + next) || !ReadMpegHeader(data + next, &h) || h.bitRate != 0) continue;
        const int64_t unpadded = int64_t(next - at) - first.Padding();
        const size_t third = next + size_t(unpadded + h.Padding());
        if (third + 4 > size || (SameKind(data + at, data + third) && (data[third + 2] & 0xF0) == 0)) return unpadded;
    }
    return 0;
}

}  // namespace mpeg_detail

// The frames at the start of data (past an ID3v2 tag) as far as they run
// back to back; no frames where none starts there.
inline MpegStream WalkMpegFrames(const uint8_t* data, size_t size)
{
    using namespace mpeg_detail;
    MpegStream s;
    if (size >= 10 && std::memcmp(data, "ID3", 3) == 0)
        s.start = 10 + (size_t(data[6] & 0x7F) << 21 | size_t(data[7] & 0x7F) << 14 | size_t(data[8] & 0x7F) << 7 |
                        size_t(data[9] & 0x7F));
    int64_t freeBytes = 0;
    for (size_t at = s.start; at + 4 <= size;) {
        MpegHeader h;
        if (!ReadMpegHeader(data + at, &h) || (!s.frames.empty() && !SameKind(data + s.start, data + at))) break;
        if (h.bitRate == 0) {
            if (freeBytes == 0) freeBytes = FreeFormatBytes(data, size, at, h);
            if (freeBytes == 0) break;
            h.size = freeBytes + h.Padding();
        } else if (freeBytes != 0) {
            break;
        }
        if (at + size_t(h.size) > size) break;
        s.frames.push_back({at, size_t(h.size), h});
        at += size_t(h.size);
        s.end = at;
    }
    if (s.frames.empty()) return s;
    const MpegFrame& first = s.frames[0];
    const uint8_t* p = data + first.at;
    // lame leaves the checksum's two bytes out of where its tag starts.
    size_t tag = size_t(first.header.SideEnd()) - (first.header.crc ? 2 : 0);
    const auto named = [&](size_t at) {
        return first.size >= at + 8 && (std::memcmp(p + at, "Xing", 4) == 0 || std::memcmp(p + at, "Info", 4) == 0);
    };
    if (first.header.crc && !named(tag)) tag += 2;
    if (first.header.layer == 3 && named(tag)) {
        s.info = true;
        const uint32_t flags = Big32(p + tag + 4);
        size_t field = tag + 8;
        if ((flags & 1) && field + 4 <= first.size) s.claimed = Big32(p + field);
        field += (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
        // The LAME tag: "LAME" or another encoder's name, its delay and
        // padding 21 bytes on.
        if (field + 24 <= first.size && std::isalpha(p[field]) != 0) {
            s.delay = int(p[field + 21]) << 4 | p[field + 22] >> 4;
            s.padding = (p[field + 22] & 0x0F) << 8 | p[field + 23];
        }
    } else if (first.header.layer == 3 && first.size >= 40 && std::memcmp(p + 36, "VBRI", 4) == 0) {
        s.info = true;
    }
    s.oneRate = true;
    for (size_t k = s.info ? 1 : 0; k < s.frames.size(); ++k)
        s.oneRate = s.oneRate && s.frames[k].header.bitRate == s.frames.back().header.bitRate;
    const MpegHeader& last = s.frames.back().header;
    s.shortest = s.oneRate ? (freeBytes ? freeBytes : last.BytesAt(last.bitRate)) : last.BytesAt(last.version == 1 ? 32 : 8);
    return s;
}

inline MpegStream WalkMpegFrames(const std::string& bytes)
{
    return WalkMpegFrames(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// The header (4 bytes) with its sample rate the next of its version's three.
inline std::string OtherRateHeader(std::string header)
{
    header[2] = char((header[2] & 0xF3) | (((header[2] >> 2 & 3) + 1) % 3) << 2);
    return header;
}

// The stream with what bytes(k) gives put before frame k (frame 0 the
// Info frame where there is one) for every frame k after the first, and
// the rest of the file after the last frame.
template <class Bytes>
std::string PutBeforeFrames(const std::string& file, const MpegStream& s, Bytes&& bytes)
{
    if (s.frames.empty()) return file;
    std::string out = file.substr(0, s.frames[0].at);
    for (size_t k = 0; k < s.frames.size(); ++k) {
        if (k > 0) out += bytes(k);
        out.append(file, s.frames[k].at, s.frames[k].size);
    }
    return out + file.substr(s.end);
}

// What taggers and streams leave between frames: tags whole (an ID3v2 tag
// with a title, one of padding alone; APEv2 with its header and footer or
// its footer alone; Lyrics3v2 then ID3v1; ID3v1), an ID3v2 tag whose size
// runs 4 bytes past it, and the bare words that begin one.
enum MpegTag {
    kId3, kId3Padding, kId3Over, kApe, kApeFooter, kLyrics, kId3v1, kWordId3, kWordTag, kWordApe, kWordLyrics, kMpegTags
};

inline std::string MpegTagBytes(MpegTag kind)
{
    const auto le32 = [](size_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    const auto id3 = [](size_t size) {
        return std::string("ID3\3\0\0", 6) + char(size >> 21 & 0x7F) + char(size >> 14 & 0x7F) +
               char(size >> 7 & 0x7F) + char(size & 0x7F);
    };
    const std::string title = std::string("TIT2\0\0\0\x05\0\0\0Tone", 15),
                      item = le32(4) + le32(0) + std::string("Title\0Tone", 10);
    const auto ape = [&](uint32_t flags) {
        return "APETAGEX" + le32(2000) + le32(item.size() + 32) + le32(1) + le32(flags) + std::string(8, '\0');
    };
    const auto field = [](const std::string& text, size_t size) {
        return text + std::string(size - text.size(), '\0');
    };
    const std::string v1 =
        "TAG" + field("Tone", 30) + field("Clicks", 30) + field("", 30) + "2026" + field("", 30) + '\x0C';
    const std::string lyrics = "LYRICSBEGIN" + std::string("IND00002") + "10" + "LYR00004Tone";
    char size[7];
    std::snprintf(size, sizeof size, "%06zu", lyrics.size());
    switch (kind) {
    case kId3: return id3(title.size()) + title;
    case kId3Padding: return id3(5) + std::string(5, '\0');
    case kId3Over: return id3(9) + std::string(5, '\0');
    case kApe: return ape(0xA0000000) + item + ape(0x80000000);
    case kApeFooter: return item + ape(0);
    case kLyrics: return lyrics + size + "LYRICS200" + v1;
    case kId3v1: return v1;
    case kWordId3: return "ID3";
    case kWordTag: return "TAG";
    case kWordApe: return "APETAGEX";
    default: return "LYRICSBEGIN";
    }
}

}  // namespace tavrel_test
