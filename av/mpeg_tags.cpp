#include "av/mpeg_tags.h"

#include <array>
#include <cctype>
#include <cstring>
#include <initializer_list>

namespace platform::mpeg {

namespace {

uint32_t Be32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

HeaderFrame ReadHeaderFrame(const unsigned char* p, size_t n, uint32_t* frames, LameTag* tag, bool* varying)
{
    *frames = 0;
    if (tag) *tag = LameTag{};
    if (varying) *varying = false;
    if (n < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0 || ((p[1] >> 1) & 3) != 1) return HeaderFrame::kNone;
    const bool mpeg1 = ((p[1] >> 3) & 3) == 3, mono = (p[3] >> 6) == 3;
    const size_t xing = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    const bool named = n >= xing + 8 && std::memcmp(p + xing, "Xing", 4) == 0;
    if (named || (n >= xing + 8 && std::memcmp(p + xing, "Info", 4) == 0)) {
        if (varying) *varying = named;
        const uint32_t flags = Be32(p + xing + 4);
        if ((flags & 1) && n >= xing + 12) *frames = Be32(p + xing + 8);
        // Frames, bytes, table of contents, quality: each there when flagged.
        const size_t lame = xing + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) +
                            ((flags & 8) ? 4 : 0);
        if (tag && n >= lame + 24 && std::isalpha(p[lame]) && std::isalpha(p[lame + 1]) && std::isalpha(p[lame + 2]) &&
            std::isalpha(p[lame + 3])) {
            tag->delay = p[lame + 21] << 4 | p[lame + 22] >> 4;
            tag->padding = (p[lame + 22] & 0x0F) << 8 | p[lame + 23];
            if (n >= lame + 34) {
                tag->bytes = Be32(p + lame + 28);
                tag->crc = uint16_t(p[lame + 32] << 8 | p[lame + 33]);
            }
        }
        return HeaderFrame::kXing;
    }
    if (n >= 54 && std::memcmp(p + 36, "VBRI", 4) == 0) {
        *frames = Be32(p + 50);
        if (varying) *varying = true;
        return HeaderFrame::kVbri;
    }
    return HeaderFrame::kNone;
}

bool EndTagName(const unsigned char* p, size_t n)
{
    for (const char* name : {"APETAGEX", "LYRICSBEGIN"})
        if (n >= std::strlen(name) && std::memcmp(p, name, std::strlen(name)) == 0) return true;
    return false;
}

bool OtherFormatAt(const unsigned char* p, size_t n)
{
    static constexpr struct {
        const char* bytes;
        size_t n;
    } kAtStart[] = {{"RIFF", 4}, {"RIFX", 4}, {"RF64", 4}, {"FORM", 4}, {"fLaC", 4}, {"OggS", 4}, {"caff", 4},
                    {".snd", 4}, {"FLV", 3}, {".RMF", 4}, {"wvpk", 4}, {"MAC ", 4}, {"riff", 4},  // Wave64
                    {"\x06\x0E\x2B\x34", 4},  // MXF
                    {"\x1A\x45\xDF\xA3", 4},   // Matroska, WebM
                    {"\x30\x26\xB2\x75", 4},   // ASF
                    {"\0\0\x01\xBA", 4}, {"\0\0\x01\xB3", 4}};  // MPEG program stream, video
    for (const auto& magic : kAtStart)
        if (n >= magic.n && std::memcmp(p, magic.bytes, magic.n) == 0) return true;
    // QuickTime and MPEG-4 boxes.
    for (const char* box : {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot"})
        if (n >= 8 && std::memcmp(p + 4, box, 4) == 0) return true;
    return false;
}

uint16_t LameCrc(uint16_t sum, const unsigned char* p, size_t n)
{
    // CRC-16 (polynomial 0xA001, reflected) a byte at a time: the checksum
    // of every frame of a recording is a large part of the walk's work.
    static constexpr auto kTable = [] {
        std::array<uint16_t, 256> table{};
        for (unsigned i = 0; i < 256; ++i) {
            uint16_t value = uint16_t(i);
            for (int b = 0; b < 8; ++b) value = (value & 1) ? (value >> 1) ^ 0xA001 : value >> 1;
            table[i] = value;
        }
        return table;
    }();
    for (size_t i = 0; i < n; ++i) sum = uint16_t(sum >> 8 ^ kTable[(sum ^ p[i]) & 0xFF]);
    return sum;
}

}  // namespace platform::mpeg
