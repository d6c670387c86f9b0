#include "av/mp4_boxes.h"

#include <algorithm>

#include "platform/read_at.h"

namespace platform::ffmpeg_layer {

namespace {

uint64_t Be64(const uint8_t* p) { return uint64_t(Be32(p)) << 32 | Be32(p + 4); }
constexpr uint32_t Box(const char (&type)[5])
{
    return uint32_t(uint8_t(type[0])) << 24 | uint32_t(uint8_t(type[1])) << 16 | uint32_t(uint8_t(type[2])) << 8 |
           uint8_t(type[3]);
}

}  // namespace

template <class Visit>
void BoxWalker::Children(int64_t at, int64_t end, int depth, Visit visit)
{
    if (depth > kMaxDepth) return;
    while (end - at >= 8 && ++boxes_ <= kMaxBoxes) {
        uint8_t h[16];
        if (!Read(at, h, 8)) return;
        uint64_t size = Be32(h);
        int64_t header = 8;
        if (size == 1) {
            if (end - at < 16 || !Read(at + 8, h + 8, 8)) return;
            size = Be64(h + 8);
            header = 16;
        } else if (size == 0) {
            size = uint64_t(end - at);  // to the end of what holds it
        }
        if (size < uint64_t(header) || size > uint64_t(end - at)) return;
        visit(Be32(h + 4), at + header, at + int64_t(size));
        at += int64_t(size);
    }
}

std::vector<TrackBoxes> BoxWalker::Tracks()
{
    bool moov = false;
    Children(0, size_, 0, [&](uint32_t type, int64_t at, int64_t end) {
        if (type != Box("moov") || moov) return;
        moov = true;
        Within(at, end, 1);
    });
    return std::move(tracks_);
}

bool BoxWalker::HasIndex()
{
    bool moov = false;
    Children(0, size_, 0, [&](uint32_t type, int64_t, int64_t) { moov = moov || type == Box("moov"); });
    return moov;
}

std::string BoxWalker::HeifKind()
{
    bool seen = false, avif = false, hevc = false, heif = false;
    Children(0, size_, 0, [&](uint32_t type, int64_t at, int64_t end) {
        if (type != Box("ftyp") || seen) return;
        seen = true;
        // The major brand, the minor version, then compatible brands.
        uint8_t b[4 * kMaxEntries];
        const size_t n = size_t(std::min<int64_t>(end - at, sizeof b)) / 4 * 4;
        if (!Read(at, b, n)) return;
        for (size_t i = 0; i < n; i += 4) {
            if (i == 4) continue;
            const uint32_t brand = Be32(b + i);
            avif = avif || brand == Box("avif") || brand == Box("avis");
            hevc = hevc || brand == Box("heic") || brand == Box("heix") || brand == Box("heim") ||
                   brand == Box("heis") || brand == Box("hevc") || brand == Box("hevx");
            heif = heif || brand == Box("mif1") || brand == Box("msf1");
        }
    });
    if (avif) return "";
    return hevc ? "HEIC" : heif ? "HEIF" : "";
}

bool BoxWalker::Read(int64_t at, uint8_t* out, size_t n) const
{
    return ReadAt(fd_, uint64_t(at), out, n);
}

void BoxWalker::Within(int64_t at, int64_t end, int depth)
{
    Children(at, end, depth, [&](uint32_t type, int64_t from, int64_t to) {
        if (type == Box("trak")) {
            tracks_.emplace_back();
            tracks_.back().movieTimeScale = movieTimeScale_;
            Within(from, to, depth + 1);
        } else if (type == Box("mvhd") && depth == 1) {
            uint8_t b[24];
            const size_t n = size_t(std::min<int64_t>(to - from, sizeof b));
            if (n >= 16 && Read(from, b, n)) {
                const bool wide = b[0] == 1;
                if (n >= (wide ? 24u : 16u)) movieTimeScale_ = Be32(b + (wide ? 20 : 12));
            }
        } else if (tracks_.empty()) {
            return;
        } else if (type == Box("mdia") || type == Box("minf") || type == Box("dinf") || type == Box("stbl") ||
                   type == Box("edts")) {
            Within(from, to, depth + 1);
        } else {
            Leaf(type, from, to, tracks_.back());
        }
    });
}

void BoxWalker::Leaf(uint32_t type, int64_t at, int64_t end, TrackBoxes& track)
{
    uint8_t b[36] = {};
    const size_t n = size_t(std::min<int64_t>(end - at, sizeof b));
    if (n < 12 || !Read(at, b, n)) return;
    const bool wide = b[0] == 1;  // version 1: 64-bit times
    if (type == Box("tkhd") && n >= (wide ? 24u : 16u)) {
        track.id = Be32(b + (wide ? 20 : 12));
    } else if (type == Box("mdhd") && n >= (wide ? 32u : 20u)) {
        track.timeScale = Be32(b + (wide ? 20 : 12));
        const uint64_t duration = wide ? Be64(b + 24) : Be32(b + 16);
        // All ones: not known.
        track.duration = duration == (wide ? UINT64_MAX : UINT32_MAX) ? 0 : duration;
    } else if (type == Box("stsz") || type == Box("stz2")) {
        track.samples = Be32(b + 8);
    } else if (type == Box("dref")) {
        References(at + 8, end, std::min<uint32_t>(Be32(b + 4), kMaxEntries), track);
    } else if (type == Box("elst")) {
        Edits(at, end, track);
    }
}

void BoxWalker::Edits(int64_t at, int64_t end, TrackBoxes& track)
{
    uint8_t h[8];
    if (end - at < 8 || !Read(at, h, sizeof h) || !track.edits.empty()) return;
    const bool wide = h[0] == 1;
    const uint32_t count = Be32(h + 4);
    const size_t entry = wide ? 20 : 12;
    // More entries than the box holds, or than any file needs: none is
    // trusted, and the media plays whole.
    if (count == 0 || count > kMaxEdits || uint64_t(count) * entry > uint64_t(end - at - 8)) return;
    std::vector<uint8_t> bytes(count * entry);
    if (!Read(at + 8, bytes.data(), bytes.size())) return;
    for (uint32_t k = 0; k < count; ++k) {
        const uint8_t* e = bytes.data() + k * entry;
        TrackEdit edit;
        edit.duration = wide ? Be64(e) : Be32(e);
        edit.mediaTime = wide ? int64_t(Be64(e + 8)) : int64_t(int32_t(Be32(e + 4)));
        // A rate of 0 dwells on one moment: for sound, nothing plays.
        if (Be32(e + (wide ? 16 : 8)) == 0) edit.mediaTime = -1;
        track.edits.push_back(edit);
    }
}

void BoxWalker::References(int64_t at, int64_t end, uint32_t count, TrackBoxes& track)
{
    for (uint32_t i = 0; i < count && end - at >= 12 && track.outside.empty(); ++i) {
        uint8_t h[12];
        if (!Read(at, h, sizeof h)) return;
        const uint32_t size = Be32(h);
        if (size < 12 || size > end - at) return;
        const bool here = Be32(h + 8) & 1;
        if (!here && size > 12) {
            std::vector<uint8_t> data(std::min<size_t>(size - 12, 512));
            if (!Read(at + 12, data.data(), data.size())) return;
            // An alias record holds the file's name as a Pascal string
            // at byte 50; a url or urn its location as text.
            size_t from = 0, length = data.size();
            if (Be32(h + 4) == Box("alis")) {
                from = 51;
                length = data.size() > 50 ? std::min<size_t>(data[50], data.size() - from) : 0;
            }
            std::string name;
            for (size_t k = from; k < from + length && data[k] && name.size() < kMaxLocation; ++k)
                name += data[k] >= 0x20 && data[k] < 0x7F ? char(data[k]) : '?';
            if (!name.empty()) track.outside = name;
        }
        at += size;
    }
}

}  // namespace platform::ffmpeg_layer
