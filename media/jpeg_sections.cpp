#include "media/jpeg_sections.h"

#include "media/forward_reader.h"
#include "media/image.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <libexif/exif-data.h>
#include <memory>
#include <new>

namespace {

bool IsFrameMarker(int m)
{
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// Sections a decoder needs, and the metadata kept by choice.
bool IsImageSection(int m)
{
    return (m >= 0xC0 && m <= 0xC7) || (m >= 0xC9 && m <= 0xCB) || (m >= 0xCD && m <= 0xCF) || m == 0xD8 ||
           m == 0xD9 || m == 0xDA || m == 0xDB || m == 0xDD || m == 0xE0 || m == 0xE1 || m == 0xFE;
}

// Markers that stand alone, without a length: TEM and the restarts.
bool IsParameterless(int m)
{
    return m == 0x01 || (m >= 0xD0 && m <= 0xD7);
}

// The code of the next marker at or after *pos, which then points past it;
// -1 at the end of the data, where it cannot be read, or at a run of more
// than maxFill 0xFF bytes. Stray bytes before a marker, and FF 00 pairs,
// are skipped as libjpeg skips them.
template <class Bytes>
int NextMarkerIn(Bytes& d, uint64_t* pos, uint64_t maxFill)
{
    const uint64_t n = d.Size();
    uint64_t p = *pos;
    for (;;) {
        p = d.Find(p, 0xFF, false);
        const uint64_t after = d.Find(p, 0xFF, true);
        if (after - p > maxFill || after >= n || d.Failed()) return -1;
        p = after;
        const int code = d.At(p++);
        if (code < 0) return -1;
        if (code != 0) {
            *pos = p;
            return code;
        }
    }
}

int NextMarker(const uint8_t* data, size_t length, size_t* pos, int maxFill)
{
    MemoryReader d(data, length);
    uint64_t p = *pos;
    const int code = NextMarkerIn(d, &p, uint64_t(maxFill));
    *pos = size_t(p);
    return code;
}

// Where a JPEG stream begins: at the data's start when that is a start of
// image (stray bytes may follow it, as libjpeg allows), else at the first
// FF D8 FF; Size() when there is none.
template <class Bytes>
uint64_t JpegStreamStart(Bytes& d)
{
    const uint64_t n = d.Size();
    if (n >= 2 && d.At(0) == 0xFF && d.At(1) == 0xD8) return 0;
    for (uint64_t p = 0;; ++p) {
        p = d.Find(p, 0xFF, false);
        if (n - p < 3 || d.Failed()) return n;
        if (d.At(p + 1) == 0xD8 && d.At(p + 2) == 0xFF) return p;
    }
}

// The stream from its start through its end-of-image marker (to the end of
// the data when it is cut off), stepping over segments by their lengths, so
// that a thumbnail inside one is never taken; false without a scan.
template <class Bytes>
bool MainJpegStreamIn(Bytes& d, uint64_t* outStart, uint64_t* outLength)
{
    const uint64_t length = d.Size(), start = JpegStreamStart(d);
    if (start >= length) return false;
    uint64_t pos = start + 2;
    bool scanned = false;
    for (;;) {
        const int marker = NextMarkerIn(d, &pos, UINT64_MAX);
        if (marker < 0) break;
        if (marker == 0xD9) {
            if (!scanned) return false;
            *outStart = start, *outLength = pos - start;
            return true;
        }
        if (marker == 0xD8) return false;
        if (IsParameterless(marker)) continue;
        if (length - pos < 2) break;
        const uint64_t segment = uint64_t(d.At(pos)) << 8 | uint64_t(d.At(pos + 1));
        if (d.Failed() || segment < 2 || segment > length - pos) break;
        pos += segment;
        if (marker != 0xDA) continue;
        // Entropy-coded data runs to the first marker that is not a restart.
        scanned = true;
        for (;; ++pos) {
            pos = d.Find(pos, 0xFF, false);
            if (length - pos < 2) break;
            const int next = d.At(pos + 1);
            if (next != 0 && next != 0xFF && !IsParameterless(next)) break;
        }
    }
    // Cut off before its end: the rest is what decoders get to read.
    if (!scanned || d.Failed()) return false;
    *outStart = start, *outLength = length - start;
    return true;
}

// The first frame's coding: the frame header's marker, precision and
// component count, a DHP segment before it, and the transform of an Adobe
// segment anywhere before the scan (libjpeg reads one there): four
// components are CMYK, YCCK where the transform says 2.
template <class Bytes>
JpegFrameKind FrameKindIn(Bytes& d)
{
    JpegFrameKind kind;
    const uint64_t length = d.Size();
    uint64_t p = JpegStreamStart(d);
    if (p >= length) return kind;
    p += 2;
    bool hierarchical = false;
    int transform = -1;
    for (;;) {
        const int marker = NextMarkerIn(d, &p, UINT64_MAX);
        if (marker < 0 || marker == 0xD9 || marker == 0xDA) break;
        if (IsParameterless(marker) || marker == 0xD8) continue;
        if (length - p < 2) break;
        const uint64_t segment = uint64_t(d.At(p)) << 8 | uint64_t(d.At(p + 1));
        if (d.Failed()) break;
        if (marker == 0xDE) hierarchical = true;  // DHP
        if (marker == 0xEE && segment >= 14 && length - p >= 14 && transform < 0) {
            bool adobe = true;
            for (int i = 0; i < 5; ++i) adobe = adobe && d.At(p + 2 + uint64_t(i)) == "Adobe"[i];
            if (adobe) transform = d.At(p + 13);
        }
        if (IsFrameMarker(marker) && !kind.found) {
            kind.found = true;
            kind.arithmetic = marker >= 0xC9;
            kind.lossless = marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
            kind.hierarchical = hierarchical || (marker >= 0xC5 && marker <= 0xC7) || marker >= 0xCD;
            const int precision = length - p > 2 ? d.At(p + 2) : 8;
            kind.precision = precision < 0 ? 8 : precision;
            kind.components = length - p > 7 ? std::max(d.At(p + 7), 0) : 0;
            // Only four components need the Adobe segment read on.
            if (kind.components != 4 || transform >= 0) break;
        }
        if (segment < 2) break;
        p += segment;
    }
    kind.ycck = kind.components == 4 && transform == 2;
    return kind;
}

// An Adobe APP14 segment as libjpeg reads it: its transform tells RGB and
// CMYK data from YCbCr and YCCK.
bool IsAdobeSegment(const CJpegSections::Section& s)
{
    return s.type == 0xEE && s.size() >= 14 && std::memcmp(s.data.data() + 2, "Adobe", 5) == 0;
}

// JFIF 1.01, 300 × 300 dots per inch, no thumbnail.
constexpr uint8_t kJfifSegment[18] = {0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00,
                                      0x01, 0x01, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};

}  // namespace

bool CJpegSections::Read(const uint8_t* data, size_t length, int mode)
{
    if (!data || length < 2 || data[0] != 0xFF || data[1] != 0xD8) return false;
    size_t pos = 2;
    bool haveComment = false;
    auto fail = [this] {
        DiscardData();
        return false;
    };
    for (;;) {
        if (sections.size() >= kMaxSections) return fail();
        // Up to six 0xFF bytes (the prefix and fill) before the marker code.
        const int marker = NextMarker(data, length, &pos, 6);
        if (marker < 0) return fail();
        if (IsParameterless(marker)) continue;
        if (length - pos < 2) return fail();
        const size_t sectionLength = size_t(data[pos]) << 8 | data[pos + 1];
        if (sectionLength < 2 || sectionLength > length - pos) return fail();
        Section section;
        section.type = marker;
        section.data.assign(data + pos, data + pos + sectionLength);
        pos += sectionLength;

        const uint8_t* body = section.data.data();
        switch (marker) {
        case 0xD9:
            return fail();
        case 0xDA: {
            sections.push_back(std::move(section));
            if (!(mode & kReadImage)) return true;
            if (pos >= length) return fail();
            Section image;
            image.type = kImageData;
            image.data.assign(data + pos, data + length);
            sections.push_back(std::move(image));
            haveAll = true;
            return true;
        }
        case 0xE0:
            continue;  // written anew when the file is rebuilt
        case 0xE1:
            if ((mode & kReadMetadata) && sectionLength >= 6 && std::memcmp(body + 2, "Exif", 4) == 0) break;
            continue;
        case 0xFE:
            if (!(mode & kReadMetadata) || haveComment) continue;
            haveComment = true;
            ProcessComment(body, sectionLength);
            break;
        default:
            if (IsFrameMarker(marker)) ProcessSOFn(body, sectionLength, marker);
            break;
        }
        sections.push_back(std::move(section));
    }
}

void CJpegSections::ProcessComment(const uint8_t* data, size_t length)
{
    info.comment.clear();
    const size_t n = length < 2000 ? length : 2000;
    if (n < 3) return;
    for (size_t i = 2; i < n; ++i) {
        const uint8_t c = data[i];
        if (c == '\r' && i + 1 < n && data[i + 1] == '\n') continue;
        info.comment.push_back(c < 32 && c != '\n' && c != '\t' ? '?' : char(c));
    }
}

void CJpegSections::ProcessSOFn(const uint8_t* data, size_t length, int marker)
{
    if (length < 8) return;
    info.height = data[3] << 8 | data[4];
    info.width = data[5] << 8 | data[6];
    info.colorImage = data[7] == 3;
    info.process = marker;
}

bool CJpegSections::RemoveSectionsOfType(int type)
{
    // The last section (the image data) is never examined.
    for (size_t i = 0; i + 1 < sections.size(); ++i) {
        if (sections[i].type == type) {
            sections.erase(sections.begin() + i);
            return true;
        }
    }
    return false;
}

bool CJpegSections::KeepImageSections()
{
    bool removed = false;
    for (size_t i = 0; i + 1 < sections.size();) {
        if (!IsImageSection(sections[i].type) && !IsAdobeSegment(sections[i])) {
            sections.erase(sections.begin() + i);
            removed = true;
        } else {
            ++i;
        }
    }
    return removed;
}

uint8_t* CJpegSections::BuildPlainJpeg(const uint8_t* data, size_t length, size_t* outSize)
{
    ResetTable();
    info = ImageInfo();
    if (!Read(data, length, kReadMetadata | kReadImage)) return nullptr;
    // Every comment and EXIF segment: a second one (a GPS position, an
    // artist) must not go into the movie either.
    while (RemoveSectionsOfType(0xFE)) {
    }
    while (RemoveSectionsOfType(0xE1)) {
    }
    KeepImageSections();
    if (!haveAll || sections.empty() || sections.back().type != kImageData) {
        DiscardData();
        return nullptr;
    }
    const int first = sections.front().type;
    // A JFIF segment would make decoders take RGB or CMYK data for YCbCr:
    // none beside an Adobe segment.
    const bool adobe = std::any_of(sections.begin(), sections.end(), IsAdobeSegment);
    const size_t jfif = first == 0xE0 || first == 0xE1 || adobe ? 0 : sizeof kJfifSegment;
    size_t total = 2 + jfif;
    for (size_t i = 0; i + 1 < sections.size(); ++i) total += 2 + sections[i].size();
    total += sections.back().size();

    uint8_t* out = new (std::nothrow) uint8_t[total];
    if (!out) {
        DiscardData();
        return nullptr;
    }
    uint8_t* p = out;
    *p++ = 0xFF;
    *p++ = 0xD8;
    if (jfif) p = static_cast<uint8_t*>(std::memcpy(p, kJfifSegment, jfif)) + jfif;
    for (size_t i = 0; i + 1 < sections.size(); ++i) {
        *p++ = 0xFF;
        *p++ = uint8_t(sections[i].type);
        std::memcpy(p, sections[i].data.data(), sections[i].size());
        p += sections[i].size();
    }
    std::memcpy(p, sections.back().data.data(), sections.back().size());
    if (outSize) *outSize = total;
    DiscardData();
    return out;
}

const uint8_t* FindMainJpegStream(const uint8_t* data, size_t length, size_t* outLength)
{
    if (!data) return nullptr;
    MemoryReader d(data, length);
    uint64_t start = 0, streamLength = 0;
    if (!MainJpegStreamIn(d, &start, &streamLength)) return nullptr;
    if (outLength) *outLength = size_t(streamLength);
    return data + start;
}

bool FindMainJpegStream(std::FILE* file, uint64_t fileSize, uint64_t* start, uint64_t* length)
{
    auto d = std::make_unique<ForwardReader>(file, fileSize);
    return MainJpegStreamIn(*d, start, length);
}

void CJpegSections::DiscardData()
{
    sections.clear();
    info = ImageInfo();
    haveAll = false;
}

void CJpegSections::ResetTable()
{
    sections.clear();
    haveAll = false;
}

unsigned CImageExifInfo::FromData(const uint8_t* data, size_t length)
{
    if (!data || length == 0 || length > 0xFFFFFFFFu) return 0;
    std::unique_ptr<ExifData, void (*)(ExifData*)> exif(exif_data_new(), exif_data_unref);
    if (!exif) return 0;
    // Left on, libexif adds the mandatory tags (an ExifVersion among them)
    // to data that lacks them.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif.get(), data, unsigned(length));
    if (!exif_content_get_entry(exif->ifd[EXIF_IFD_EXIF], EXIF_TAG_EXIF_VERSION)) return 0;
    ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry || !entry->data || entry->size < 2) return 0;
    const unsigned value = exif_get_short(entry->data, exif_data_get_byte_order(exif.get()));
    return value >= 1 && value <= 8 ? value : 0;
}

unsigned CImageExifInfo::Load(const CPath& path)
{
    // The EXIF segment lies at the start of the file, among the few others
    // that may come before the picture; what follows is never needed.
    constexpr size_t kExifHead = 4u << 20;
    std::vector<uint8_t> bytes;
    if (!ReadFileHead(path, kExifHead, &bytes)) return 0;
    return FromData(bytes.data(), bytes.size());
}

std::string JpegFrameKind::Words() const
{
    if (lossless) return "lossless";
    if (hierarchical) return "hierarchical";
    if (precision != 8) return "of " + std::to_string(precision) + "-bit samples";
    if (arithmetic) return "arithmetic-coded";
    if (components == 4) return ycck ? "YCCK" : "CMYK";
    return "";
}

std::string JpegFrameKind::Named() const
{
    const std::string words = Words();
    if (words.empty()) return "a JPEG";
    return words.compare(0, 3, "of ") == 0 ? "a JPEG " + words : "a " + words + " JPEG";
}

JpegFrameKind ReadJpegFrameKind(const uint8_t* data, size_t length)
{
    if (!data) return {};
    MemoryReader d(data, length);
    return FrameKindIn(d);
}

JpegFrameKind ReadJpegFrameKind(std::FILE* file, uint64_t fileSize)
{
    auto d = std::make_unique<ForwardReader>(file, fileSize);
    return FrameKindIn(*d);
}

std::string JpegFramePlayersRefuse(const uint8_t* data, size_t length)
{
    return ReadJpegFrameKind(data, length).Words();
}
