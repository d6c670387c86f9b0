#include "media/bmp_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "media/image.h"

namespace {

bool g_bmpByteSwap = true;

uint32_t Field(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        const int shift = g_bmpByteSwap ? 8 * i : 8 * (bytes - 1 - i);
        v |= uint32_t(p[i]) << shift;
    }
    return v;
}

void Line(std::string* report, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Line(std::string* report, const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *report += text;
}

bool Fatal(std::string* report, const char* step, const char* detail)
{
    Line(report, "\n%s: Fatal error!\n%s\n", step, detail);
    return false;
}

// A channel under a bit mask, stretched to 0..255; 0 without a mask.
struct MaskChannel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit MaskChannel(uint32_t m) : mask(m)
    {
        if (!m) return;
        while (!(m & 1)) m >>= 1, ++shift;
        max = m;
    }
    uint8_t operator()(uint32_t pixel) const
    {
        return max ? uint8_t(uint64_t((pixel & mask) >> shift) * 255 / max) : 0;
    }
};

// What the headers say, whichever header the file has.
struct Header {
    uint32_t size = 0;  // of the information header
    bool core = false;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
    int64_t width = 0, height = 0;
    uint32_t depth = 0, compression = 0, colorsUsed = 0;
};

// Reads the information header; false with the report filled.
bool ReadHeader(const uint8_t* b, size_t size, Header* h, std::string* report)
{
    if (size < 18) return Fatal(report, "BMP_READ", "  BMP_HEADER2_READ failed.");
    h->size = Field(b + 14, 4);
    // OS/2 2.x headers stop after any field from the 16th byte on; what they
    // leave out is zero.
    if (h->size != 12 && h->size < 16) {
        Line(report, "\nBMP_READ: Fatal error!\n  Unsupported information header of %u bytes.\n", unsigned(h->size));
        return false;
    }
    const uint64_t stored = std::min<uint64_t>(h->size, 40);
    if (size - 14 < stored) return Fatal(report, "BMP_READ", "  BMP_HEADER2_READ failed.");
    auto at = [&](size_t offset, int bytes) -> uint32_t {
        return offset + bytes <= 14 + stored ? Field(b + offset, bytes) : 0;
    };
    if (h->size == 12) {
        h->core = true;
        h->width = at(18, 2);
        h->height = at(20, 2);
        h->depth = at(24, 2);
        return true;
    }
    h->width = int32_t(at(18, 4));
    h->height = int32_t(at(22, 4));
    h->depth = at(28, 2);
    h->compression = at(30, 4);
    h->colorsUsed = at(46, 4);
    // Method 3 of the 64-byte OS/2 header is Huffman coding, not bit fields.
    if (h->size == 64 && h->compression == 3) h->compression = 0x10003;
    return true;
}

// Decodes 8- or 4-bit run-length data into 24-bit pixels (all palette entry 0
// before it); the damage met, or "". A run, a literal or a move that passes
// the picture's edge draws what lies inside and goes on; a literal cut short
// by the end of the data draws what it holds.
std::string DecodeRunLength(const uint8_t* data, size_t size, const BmpLayout& layout, uint8_t* pixels)
{
    const uint64_t width = layout.width, rows = layout.rows;
    const bool four = layout.depth == 4;
    // Writers may encode each row out to its 4-byte end, as uncompressed rows
    // are stored (ImageMagick does): runs into that padding draw nothing and
    // are no damage.
    const uint64_t padded = (width * layout.depth + 31) / 32 * 32 / layout.depth;
    const auto& palette = layout.palette;
    for (uint64_t i = 0; i < width * rows; ++i)
        pixels[i * 3] = palette[0][2], pixels[i * 3 + 1] = palette[0][1], pixels[i * 3 + 2] = palette[0][0];
    const bool bottomUp = layout.storedHeight > 0;
    std::string damage;
    auto note = [&](const std::string& what) {
        if (damage.empty()) damage = what;
    };
    // Rows are counted in file order (a bottom-up picture's first is its
    // lowest) and named as the picture is seen, from 1 at the top.
    auto noteAt = [&](const char* what, uint64_t y) {
        note(std::string(what) + " at row " + std::to_string((bottomUp ? rows - 1 - y : y) + 1) + " from the top");
    };
    uint64_t x = 0, y = 0;
    // Draws one pixel where it lies inside the picture; false past the row's padding.
    auto put = [&](unsigned index) {
        if (x < width) {
            uint8_t* o = pixels + ((bottomUp ? rows - 1 - y : y) * width + x) * 3;
            o[0] = palette[index][2], o[1] = palette[index][1], o[2] = palette[index][0];
        }
        return ++x <= padded;
    };
    auto literal = [four](const uint8_t* bytes, unsigned i) {
        return four ? (i % 2 ? bytes[i / 2] & 15 : bytes[i / 2] >> 4) : bytes[i];
    };
    size_t p = 0;
    for (;;) {
        if (size - p < 2) {
            // A stream that stops once every row is drawn lost nothing.
            if (y < rows && !(y + 1 == rows && x >= width)) noteAt("the run-length data ends", y);
            break;
        }
        const unsigned count = data[p], value = data[p + 1];
        if (y >= rows) {
            // After the last row only ends of rows and the end of the picture belong.
            if (count == 0 && value == 1) break;
            if (count != 0 || value != 0) {
                note("the run-length data goes on past the picture's last row");
                break;
            }
            p += 2;
            continue;
        }
        p += 2;
        if (count > 0) {
            bool inside = true;
            for (unsigned i = 0; i < count; ++i) inside = put(four ? (i % 2 ? value & 15 : value >> 4) : value) && inside;
            if (!inside) noteAt("a run passes the picture's edge", y);
            continue;
        }
        if (value == 0) {  // end of the row
            x = 0, ++y;
        } else if (value == 1) {  // end of the picture
            break;
        } else if (value == 2) {  // move right and up
            if (size - p < 2) {
                noteAt("the run-length data ends", y);
                break;
            }
            x += data[p], y += data[p + 1];
            p += 2;
            if (x > padded || y > rows || (y == rows && x > 0)) {
                noteAt("a move passes the picture's edge", std::min<uint64_t>(y, rows - 1));
                x = std::min<uint64_t>(x, padded);
            }
        } else {  // value literal indices, padded to an even byte count
            const size_t bytes = four ? (value + 1) / 2 : value;
            const size_t have = std::min(bytes, size - p);
            const unsigned drawn = have < bytes ? unsigned(four ? have * 2 : have) : value;
            bool inside = true;
            for (unsigned i = 0; i < drawn; ++i) inside = put(literal(data + p, i)) && inside;
            if (!inside) noteAt("a run passes the picture's edge", y);
            if (have < bytes) {
                noteAt("the run-length data ends", y);
                break;
            }
            p += bytes + (bytes & 1);
            p = std::min(p, size);
        }
    }
    return damage;
}

}  // namespace

void SetBmpByteSwapping(bool on) { g_bmpByteSwap = on; }

bool ReadBmpLayout(const uint8_t* b, size_t size, uint64_t fileSize, BmpLayout* layout, std::string* report)
{
    report->clear();
    if (size < 14) return Fatal(report, "BMP_READ", "  BMP_HEADER1_READ failed.");
    if (b[0] != 'B' || b[1] != 'M') {
        Line(report, "\nBMP_READ: Fatal error!\n");
        Line(report, "  The file's internal magic number is not \"BM\".\n");
        Line(report, "  with the numeric value %d\n\n", 16973);
        Line(report, "  Instead, it is \"%c%c\".\n", b[0], b[1]);
        Line(report, "  with the numeric value %u\n\n", unsigned(Field(b, 2)));
        Line(report, "  (Perhaps you need to reverse the byte swapping option!)\n");
        return false;
    }
    const uint32_t dataOffset = Field(b + 10, 4);
    Header h;
    if (!ReadHeader(b, size, &h, report)) return false;
    const uint32_t depth = h.depth;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) {
        Line(report, "\nBMP_READ: Fatal error!\n  Unrecognized value of BITSPERPIXEL = %u\n", unsigned(depth));
        return false;
    }
    const bool fields = (h.compression == 3 || h.compression == 6) && (depth == 16 || depth == 32);
    const bool runLength = (h.compression == 1 && depth == 8) || (h.compression == 2 && depth == 4);
    if (h.compression != 0 && !fields && !runLength) {
        Line(report, "\nBMP_READ: Fatal error!\n  Compressed BMP data (method %u) is not supported.\n",
             unsigned(h.compression & 0xFFFF));
        return false;
    }
    const uint64_t width = h.width > 0 ? uint64_t(h.width) : 0;
    const uint64_t rows = h.height < 0 ? uint64_t(-h.height) : uint64_t(h.height);
    if (!ImageSizeAllowed(width, rows))
        return Fatal(report, "BMP_READ", ("  The image " + ImageSizeRefusal(width, rows) + ".").c_str());

    uint32_t masks[4] = {0, 0, 0, 0};
    if (fields) {
        // Masks follow a 40-byte header, or lie inside a longer one.
        const size_t count = h.compression == 6 || h.size >= 56 ? 4 : 3;
        if (size < 54 + count * 4) return Fatal(report, "BMP_READ", "  The bit-field masks are cut short.");
        for (size_t i = 0; i < count; ++i) masks[i] = Field(b + 54 + i * 4, 4);
    } else if (depth == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (depth == 32) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }

    // Entries B, G, R (and a reserved byte but in OS/2 1.x files); an index
    // past the entries shows black.
    uint8_t palette[256][3] = {};
    const uint64_t paletteStart = 14 + uint64_t(h.size);
    uint64_t paletteEnd = paletteStart;
    if (depth <= 8) {
        const uint32_t most = 1u << depth, entrySize = h.core ? 3 : 4;
        uint32_t entries = h.colorsUsed == 0 || h.colorsUsed > most ? most : h.colorsUsed;
        // A data offset inside the announced palette means a shorter one.
        if (dataOffset > paletteStart && (dataOffset - paletteStart) / entrySize < entries &&
            (dataOffset - paletteStart) / entrySize > 0)
            entries = uint32_t((dataOffset - paletteStart) / entrySize);
        for (uint32_t i = 0; i < entries; ++i) {
            const uint64_t at = paletteStart + uint64_t(i) * entrySize;
            if (at > size || size - at < entrySize) {
                static const char kNames[] = "BGRA";
                const uint64_t got = at > size ? 0 : size - at;
                Line(report, "\nBMP_PALETTE_READ: Fatal error!\n  Failed reading %c for palette color %u.\n",
                     kNames[got], unsigned(i));
                return Fatal(report, "BMP_READ", "  BMP_PALETTE_READ failed.");
            }
            palette[i][0] = b[at], palette[i][1] = b[at + 1], palette[i][2] = b[at + 2];
        }
        paletteEnd += uint64_t(entries) * entrySize;
    }

    // The pixels start where the file header says, unless that points into the headers.
    const uint64_t dataStart = dataOffset >= paletteStart ? dataOffset : paletteEnd;
    // Run-length rows have no fixed size: how far they go shows as they decode.
    const uint64_t unpadded = runLength ? 0 : (width * depth + 7) / 8;
    const uint64_t rowBytes = runLength ? 0 : (width * depth + 31) / 32 * 4;
    if (fileSize < dataStart || (!runLength && (fileSize - dataStart) / rows < unpadded))
        return Fatal(report, "BMP_READ", "  The file is too short for its width and height.");
    *layout = BmpLayout{width, rows, int32_t(h.height), depth, dataStart, unpadded, rowBytes, runLength};
    std::copy(masks, masks + 4, layout->masks);
    std::copy(&palette[0][0], &palette[0][0] + sizeof palette, &layout->palette[0][0]);
    return true;
}

bool BmpRowsComplete(const BmpLayout& layout, uint64_t fileSize)
{
    if (layout.runLength) return true;
    // The decoder stops at the first row whose bytes run past the end: a
    // row cut in its padding only ends the picture there.
    const uint64_t available = fileSize - layout.dataStart, whole = available / layout.rowBytes;
    return whole >= layout.rows || available - whole * layout.rowBytes >= layout.unpadded;
}

uint64_t BmpDataEnd(const BmpLayout& layout)
{
    if (!layout.runLength) return layout.dataStart + layout.rows * layout.rowBytes;
    // Each padded pixel as a run of one, or a run and a move, at most 4
    // bytes; each row's end and the picture's end, and what may follow.
    const uint64_t padded = (layout.width * layout.depth + 31) / 32 * 32 / layout.depth;
    return layout.dataStart + layout.rows * (padded * 4 + 4) + 4;
}

namespace {

// Reads up to n more bytes into out, growing its block without throwing;
// false when the block cannot grow or the stream fails.
bool ReadMore(std::FILE* file, uint64_t n, BmpBytes* out, std::string* report)
{
    if (n == 0) return true;
    std::unique_ptr<uint8_t[]> grown(n > std::numeric_limits<size_t>::max() - out->size
                                         ? nullptr
                                         : new (std::nothrow) uint8_t[out->size + n]);
    if (!grown) {
        out->tooLarge = true;
        return Fatal(report, "BMP_READ", "  The file is too large to read into memory.");
    }
    if (out->size) std::memcpy(grown.get(), out->data.get(), out->size);
    out->data = std::move(grown);
    out->size += std::fread(out->data.get() + out->size, 1, size_t(n), file);
    if (std::ferror(file)) return Fatal(report, "BMP_READ", "  The file cannot be read.");
    return true;
}

}  // namespace

bool ReadBmpHead(std::FILE* file, BmpBytes* out, std::string* report)
{
    report->clear();
    *out = BmpBytes{};
    // The headers, bit fields and palette lie in the first 14 + header size
    // + 1024 bytes (bit-field masks at most 70 past a 40-byte header); no
    // header is longer than 124 bytes, so a size of gigabytes is held down.
    if (!ReadMore(file, 18, out, report)) return false;
    if (out->size < 18) return true;
    const uint64_t headerSize = Field(out->data.get() + 14, 4);
    return ReadMore(file, std::min<uint64_t>(headerSize, 1u << 16) + 1024 + 70 - 4, out, report);
}

bool ReadBmpBytes(std::FILE* file, BmpBytes* out, std::string* report)
{
    if (!ReadBmpHead(file, out, report)) return false;
    BmpLayout layout;
    std::string ignored;
    // What does not lay out fails the same way in the decoder.
    if (!ReadBmpLayout(out->data.get(), out->size, UINT64_MAX, &layout, &ignored)) return true;
    const uint64_t end = BmpDataEnd(layout);
    if (end <= out->size) return true;
    // A regular file holds no more than its size: read that at once.
    struct stat st {};
    uint64_t wanted = end - out->size;
    if (::fstat(::fileno(file), &st) == 0 && S_ISREG(st.st_mode)) {
        const off_t at = ::ftello(file);
        if (at >= 0 && uint64_t(st.st_size) >= uint64_t(at)) wanted = std::min<uint64_t>(wanted, uint64_t(st.st_size - at));
        return ReadMore(file, wanted, out, report);
    }
    // Else in doubling steps, so that a short stream takes only its length.
    for (uint64_t step = 1u << 20; wanted > 0 && !std::feof(file); step *= 2) {
        const uint64_t n = std::min(step, wanted);
        if (!ReadMore(file, n, out, report)) return false;
        wanted -= n;
    }
    return true;
}

bool DecodeBmp(const uint8_t* b, size_t size, BmpPicture* out, std::string* report)
{
    BmpLayout layout;
    if (!ReadBmpLayout(b, size, size, &layout, report)) return false;
    const uint64_t width = layout.width, rows = layout.rows, dataStart = layout.dataStart;
    const uint64_t unpadded = layout.unpadded, rowBytes = layout.rowBytes, pixelCount = width * rows;
    const uint32_t depth = layout.depth;
    const uint32_t* masks = layout.masks;
    const auto& palette = layout.palette;
    const MaskChannel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    const int bpp = masks[3] ? 4 : 3;
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[pixelCount * bpp]());
    if (!pixels) return Fatal(report, "BMP_READ", "  Not enough memory for the image.");
    if (layout.runLength) {
        out->damage = DecodeRunLength(b + dataStart, size - dataStart, layout, pixels.get());
        if (!out->damage.empty()) Line(report, "\nBMP_RLE_DATA_READ - Warning!\n  %s.\n", out->damage.c_str());
        out->width = uint32_t(width);
        out->height = uint32_t(rows);
        out->storedHeight = layout.storedHeight;
        out->bitsPerPixel = 24;
        out->pixels = std::move(pixels);
        return true;
    }
    const char* step = depth == 8 ? "BMP_08_DATA_READ" : depth == 24 ? "BMP_24_DATA_READ" : "BMP_DATA_READ";
    const bool bottomUp = layout.storedHeight > 0;
    bool anyAlpha = false;
    for (uint64_t r = 0; r < rows; ++r) {
        if (size - dataStart - r * rowBytes < unpadded) {
            Line(report, "\n%s: Fatal error!\n  Failed reading %c for pixel (%u,%u).\n", step, depth == 24 ? 'B' : 'R',
                 unsigned((size - dataStart - r * rowBytes) * 8 / depth), unsigned(r));
            Line(report, "\nBMP_READ: Fatal error!\n  %s failed.\n", step);
            return false;
        }
        const uint8_t* row = b + dataStart + r * rowBytes;
        uint8_t* o = pixels.get() + (bottomUp ? rows - 1 - r : r) * width * bpp;
        for (uint64_t x = 0; x < width; ++x, o += bpp) {
            if (depth <= 8) {
                const int perByte = 8 / int(depth);
                const unsigned index = (row[x / perByte] >> (8 - depth * (1 + x % perByte))) & ((1u << depth) - 1);
                o[0] = palette[index][2], o[1] = palette[index][1], o[2] = palette[index][0];
            } else if (depth == 24) {
                o[0] = row[x * 3 + 2], o[1] = row[x * 3 + 1], o[2] = row[x * 3];
            } else {
                const uint32_t v = depth == 16 ? uint32_t(row[x * 2] | row[x * 2 + 1] << 8)
                                               : uint32_t(row[x * 4] | row[x * 4 + 1] << 8 | row[x * 4 + 2] << 16 |
                                                          uint32_t(row[x * 4 + 3]) << 24);
                o[0] = red(v), o[1] = green(v), o[2] = blue(v);
                if (bpp == 4) anyAlpha |= (o[3] = alpha(v)) != 0;
            }
        }
        const uint64_t padding = rowBytes - unpadded, after = dataStart + r * rowBytes + unpadded;
        if (size - after < padding) {
            // A minor fault: what was read stays; the rows not read stay black.
            Line(report,
                 "\n%s - Warning!\n  Failed while reading padding character %u\n  of total %u characters\n"
                 "  at the end of line %u\n\n  This is a minor error.\n",
                 step, unsigned(size - after), unsigned(padding), unsigned(r));
            break;
        }
    }
    // Writers that leave the alpha bits zero mean an opaque picture.
    if (bpp == 4 && !anyAlpha)
        for (uint64_t i = 0; i < pixelCount; ++i) pixels[i * 4 + 3] = 255;
    out->width = uint32_t(width);
    out->height = uint32_t(rows);
    out->storedHeight = layout.storedHeight;
    out->bitsPerPixel = bpp * 8;
    out->pixels = std::move(pixels);
    return true;
}

std::string BmpReason(const std::string& report)
{
    // The line after the last "Fatal error!", else the last line.
    std::string last, afterFatal;
    bool fatal = false;
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find('\n', start);
        if (end == std::string::npos) end = report.size();
        const size_t text = report.find_first_not_of(' ', start);
        std::string line = text < end ? report.substr(text, end - text) : "";
        start = end + 1;
        if (line.empty()) continue;
        if (fatal) afterFatal = line;
        fatal = line.find("Fatal error!") != std::string::npos;
        last = line;
    }
    std::string line = afterFatal.empty() ? last : afterFatal;
    if (!line.empty() && line.back() == '.') line.pop_back();
    // The diagnostics keep their own words; the user is told in the words the
    // other picture readers use, one wording for each kind of fault.
    auto starts = [&line](const char* text) { return line.rfind(text, 0) == 0; };
    auto number = [&line] {
        const size_t at = line.find_first_of("0123456789");
        return at == std::string::npos ? std::string("?") : line.substr(at, line.find_first_not_of("0123456789", at) - at);
    };
    const char* const kCut[] = {"BMP_HEADER1_READ", "BMP_HEADER2_READ", "BMP_PALETTE_READ", "BMP_08_DATA_READ",
                                "BMP_24_DATA_READ", "BMP_DATA_READ", "The file is too short", "The bit-field masks"};
    for (const char* cut : kCut)
        if (starts(cut)) return kBmpDataEndsEarly;
    if (starts("The image ")) return "BMP picture " + line.substr(10);
    if (starts("The file is too large")) return "the file is too large to read into memory";
    if (starts("Not enough memory")) return "out of memory";
    if (starts("The file cannot be read")) return "the file cannot be read";
    if (starts("Could not open")) return "the file cannot be opened";
    const std::string kind = "a BMP of a kind this program does not read";
    if (starts("Unrecognized value of BITSPERPIXEL")) return kind + " (" + number() + " bits a pixel)";
    if (starts("Compressed BMP data")) return kind + " (compression method " + number() + ")";
    if (starts("Unsupported information header")) return kind + " (an information header of " + number() + " bytes)";
    return "not a BMP file";
}
