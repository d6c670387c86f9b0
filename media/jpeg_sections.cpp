#include "media/jpeg_sections.h"

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
// -1 at the end of the data or at a run of more than maxFill 0xFF bytes.
// Stray bytes before a marker, and FF 00 pairs, are skipped as libjpeg
// skips them.
int NextMarker(const uint8_t* data, size_t length, size_t* pos, int maxFill)
{
    size_t p = *pos;
    for (;;) {
        while (p < length && data[p] != 0xFF) ++p;
        int fill = 0;
        while (p < length && data[p] == 0xFF) {
            if (++fill > maxFill) return -1;
            ++p;
        }
        if (p >= length) return -1;
        const int code = data[p++];
        if (code != 0) {
            *pos = p;
            return code;
        }
    }
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
    RemoveSectionsOfType(0xFE);
    RemoveSectionsOfType(0xE1);
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
    if (!data || length < 3) return nullptr;
    size_t start = 0;
    while (start + 2 < length && !(data[start] == 0xFF && data[start + 1] == 0xD8 && data[start + 2] == 0xFF)) ++start;
    if (start + 2 >= length) return nullptr;
    // Segments are stepped over by their lengths, so the FF D8 of a
    // thumbnail inside one is never seen.
    size_t pos = start + 2;
    bool scanned = false;
    for (;;) {
        const int marker = NextMarker(data, length, &pos, INT32_MAX);
        if (marker < 0) break;
        if (marker == 0xD9) {
            if (!scanned) return nullptr;
            if (outLength) *outLength = pos - start;
            return data + start;
        }
        if (marker == 0xD8) return nullptr;
        if (IsParameterless(marker)) continue;
        if (length - pos < 2) break;
        const size_t segment = size_t(data[pos]) << 8 | data[pos + 1];
        if (segment < 2 || segment > length - pos) break;
        pos += segment;
        if (marker != 0xDA) continue;
        // Entropy-coded data runs to the first marker that is not a restart.
        scanned = true;
        while (pos + 1 < length && !(data[pos] == 0xFF && data[pos + 1] != 0 && data[pos + 1] != 0xFF &&
                                     !IsParameterless(data[pos + 1])))
            ++pos;
    }
    // Cut off before its end: the rest is what decoders get to read.
    if (!scanned) return nullptr;
    if (outLength) *outLength = length - start;
    return data + start;
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
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, &bytes)) return 0;
    return FromData(bytes.data(), bytes.size());
}

std::string JpegFramePlayersRefuse(const uint8_t* data, size_t length)
{
    size_t p = 0;
    while (p + 1 < length && !(data[p] == 0xFF && data[p + 1] == 0xD8)) ++p;
    if (p + 1 >= length) return "";
    p += 2;
    bool hierarchical = false;
    while (p + 1 < length) {
        // Stray bytes and fill bytes before a marker are passed over, as decoders do.
        if (data[p] != 0xFF) {
            ++p;
            continue;
        }
        const uint8_t marker = data[p + 1];
        p += 2;
        if (marker == 0xFF) {
            --p;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
        if (marker == 0xD9 || marker == 0xDA || p + 2 > length) return "";
        const size_t segment = size_t(data[p]) << 8 | data[p + 1];
        if (marker == 0xDE) hierarchical = true;  // DHP
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (marker >= 0xC9) return "arithmetic-coded";
            if (marker == 0xC3 || marker == 0xC7) return "lossless";
            if (hierarchical || (marker >= 0xC5 && marker <= 0xC7)) return "hierarchical";
            if (p + 2 < length && data[p + 2] != 8) return "of " + std::to_string(data[p + 2]) + "-bit samples";
            return "";
        }
        if (segment < 2) return "";
        p += segment;
    }
    return "";
}
