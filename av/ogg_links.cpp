#include "av/ogg_links.h"

#include <cstring>

#include "av/file_walks.h"

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

}  // namespace

std::vector<OggLink> OggLinks(int fd, int64_t size)
{
    // Every link is found, however many: each takes two pages at least.
    constexpr int64_t kHeader = 27, kLongestPage = kHeader + 255 + 255 * 255;
    ByteWindow bytes(fd, size, 4 * kLongestPage, kLongestPage);
    std::vector<OggLink> links;
    bool pagesSinceFirst = false;
    bool cut = false;  // the last page was not whole
    const auto whole = [&](int64_t at, const uint8_t* h, int64_t length) {
        const uint8_t* page = bytes.Bytes(at, length);
        const uint32_t stated = uint32_t(h[22]) | uint32_t(h[23]) << 8 | uint32_t(h[24]) << 16 | uint32_t(h[25]) << 24;
        return page && OggChecksum(page, size_t(length)) == stated;
    };
    for (int64_t at = bytes.Find(0, "OggS", 4); at >= 0;) {
        // The header is copied: each read may move the window.
        uint8_t h[kHeader];
        const uint8_t* header = bytes.Bytes(at, kHeader);
        if (header) std::memcpy(h, header, sizeof h);
        const uint8_t* lacing = header && h[4] == 0 ? bytes.Bytes(at + kHeader, h[26]) : nullptr;
        if (!lacing) {
            at = bytes.Find(at + 1, "OggS", 4);
            continue;
        }
        int64_t length = kHeader + h[26];
        for (int i = 0; i < h[26]; ++i) length += lacing[i];
        const bool first = h[5] & 0x02;
        if (first && (links.empty() || pagesSinceFirst) && whole(at, h, length)) {
            if (!links.empty()) links.back().cutShort = cut;
            links.push_back({links.empty() ? 0 : at, false});
            pagesSinceFirst = false;
        } else if (!first) {
            pagesSinceFirst = true;
        }
        // The page that follows; where none does (a page cut short, the
        // next link's first page within the length it gives), the next is
        // looked for from within it.
        const uint8_t* next = at + length + 4 <= size ? bytes.Bytes(at + length, 4) : nullptr;
        const bool follows = next && std::memcmp(next, "OggS", 4) == 0;
        cut = !follows && at + length != size && !whole(at, h, length);
        at = follows ? at + length : bytes.Find(at + 1, "OggS", 4);
    }
    if (links.empty()) links.push_back({});
    links.back().cutShort = links.back().cutShort || cut;
    return links;
}

}  // namespace platform::ffmpeg_layer
