#include "media/tiff_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

#include <tiffio.h>

#include "media/image.h"

namespace {

std::unique_ptr<uint8_t[]> NewPixels(uint64_t bytes) { return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes]); }

// The open file, read where libtiff asks, so that a probe reads the
// directories and leaves the strips, and a decode reads the first page's.
struct TiffReader {
    std::FILE* file;
    toff_t fileSize;
    toff_t offset = 0;
    // The raw buffer handed to libtiff for an uncompressed tiled page; it
    // outlives the TIFF handle.
    std::vector<uint8_t> tile;
    toff_t Size() const { return fileSize; }
};

tsize_t TiffRead(thandle_t h, tdata_t out, tsize_t count)
{
    auto* r = static_cast<TiffReader*>(h);
    const toff_t size = r->Size();
    toff_t n = r->offset >= size ? 0 : std::min<toff_t>(toff_t(std::max<tsize_t>(count, 0)), size - r->offset);
    n = n == 0 || fseeko(r->file, off_t(r->offset), SEEK_SET) != 0 ? 0 : std::fread(out, 1, size_t(n), r->file);
    r->offset += n;
    return tsize_t(n);
}

tsize_t TiffWrite(thandle_t, tdata_t, tsize_t) { return -1; }

toff_t TiffSeek(thandle_t h, toff_t offset, int whence)
{
    auto* r = static_cast<TiffReader*>(h);
    const toff_t base = whence == SEEK_CUR ? r->offset : whence == SEEK_END ? r->Size() : 0;
    r->offset = base + offset;
    return r->offset;
}

int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t h) { return static_cast<TiffReader*>(h)->Size(); }
int TiffMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void TiffUnmap(thandle_t, tdata_t, toff_t) {}

// libtiff reports through process-wide handlers; the result says enough.
void SilenceTiff()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// Why libtiff could not open the file: its first directory past the end
// or cut by it (a file cut short), else a damaged one.
std::string TiffOpenTrouble(TiffReader* reader)
{
    unsigned char head[16] = {};
    reader->offset = 0;
    const tsize_t got = TiffRead(reader, head, sizeof head);
    const bool little = head[0] == 'I';
    const auto number = [&](const unsigned char* p, int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= uint64_t(p[little ? i : bytes - 1 - i]) << (8 * i);
        return v;
    };
    const bool big = got >= 16 && number(head + 2, 2) == 43;
    const uint64_t at = big ? number(head + 8, 8) : number(head + 4, 4), size = reader->Size();
    const uint64_t countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12;
    if (got < (big ? 16 : 8) || at > size || size - at < countBytes) return "TIFF data ends early";
    unsigned char count[8] = {};
    reader->offset = at;
    if (TiffRead(reader, count, tsize_t(countBytes)) != tsize_t(countBytes)) return "TIFF data ends early";
    if ((size - at - countBytes) / entryBytes < number(count, int(countBytes))) return "TIFF data ends early";
    return "a damaged TIFF directory";
}

// The kinds of samples read here, interleaved, in strips or tiles, rather
// than through libtiff's RGBA reader. Of 16 bits: it takes CMYK of 8 bits a
// sample only, though it passes 16 as fit (print work, and ImageMagick from
// a 16-bit picture, write 16), and it puts a 16-bit grey tile that the
// picture's right edge cuts a stride off (it steps over the cut part by half
// its bytes). Inks are mixed as libtiff mixes them. L*a*b* of 8 and 16 bits,
// CIELab (a and b signed) and ICCLab (a and b from 128 or 32768): libtiff's
// own conversion takes the file's white point and primaries as a display's
// and lands up to 50 levels off; here the colours go to sRGB as ImageMagick
// takes them, under a D65 white.
enum class Samples { kOther, kCmyk, kGrey, kGreyInverted, kCieLab, kIccLab };

Samples KindOfSamples(TIFF* tiff)
{
    uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, inks = INKSET_CMYK;
    uint16_t format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inks);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1 || planar != PLANARCONFIG_CONTIG ||
        (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_INT))
        return Samples::kOther;
    if ((bits == 8 || bits == 16) && samples >= 3) {
        if (photometric == PHOTOMETRIC_CIELAB) return Samples::kCieLab;
        if (photometric == PHOTOMETRIC_ICCLAB) return Samples::kIccLab;
    }
    if (bits != 16) return Samples::kOther;
    if (photometric == PHOTOMETRIC_SEPARATED && samples >= 4 && inks == INKSET_CMYK) return Samples::kCmyk;
    if (photometric == PHOTOMETRIC_MINISBLACK && samples >= 1) return Samples::kGrey;
    if (photometric == PHOTOMETRIC_MINISWHITE && samples >= 1) return Samples::kGreyInverted;
    return Samples::kOther;
}

// Every buffer a page's decode takes, libtiff's own among them, holds at
// most this many bytes: the picture's pixels at 8 bytes each (4 samples of
// 16 bits), or at what its samples take where that is more, and 16 MB at
// least, as a tile may reach well past a small picture's edges. A strip or
// tile that would need more cannot hold more of the picture: it does not
// decode, and nothing of its size is allocated.
tmsize_t TiffBufferBound(TIFF* tiff)
{
    uint32_t w = 0, h = 0;
    uint16_t bits = 1, samples = 1;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    const uint64_t pixel = std::max<uint64_t>(8, (uint64_t(samples) * bits + 7) / 8);
    return tmsize_t(std::max<uint64_t>(uint64_t(w) * h * pixel, uint64_t(16) << 20));
}

// libtiff on the open file, each of its allocations held to limit bytes (0:
// none).
TIFF* OpenClient(TiffReader* reader, tmsize_t limit)
{
    reader->offset = 0;
    const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                              TIFFOpenOptionsFree);
    if (!options) return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), limit);
    return TIFFClientOpenExt("picture", "rm", reader, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                             TiffUnmap, options.get());
}

// The first page, of a size allowed and a kind read here; null with the
// reason otherwise. Its directory is read twice: the picture's size bounds
// what libtiff may take for the rest.
std::unique_ptr<TIFF, TiffCloser> OpenTiff(TiffReader* reader, uint32_t* w, uint32_t* h, std::string* error)
{
    SilenceTiff();
    std::unique_ptr<TIFF, TiffCloser> tiff(OpenClient(reader, 0));
    if (!tiff) return (*error = TiffOpenTrouble(reader)), nullptr;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, w);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, h);
    if (!ImageSizeAllowed(*w, *h)) return (*error = "TIFF picture " + ImageSizeRefusal(*w, *h)), nullptr;
    const tmsize_t bound = TiffBufferBound(tiff.get());
    tiff.reset(OpenClient(reader, bound));
    if (!tiff) return (*error = TiffOpenTrouble(reader)), nullptr;
    // libtiff's reason is its own sentence: the fields it judged say it here.
    char message[1024] = {};
    if (KindOfSamples(tiff.get()) == Samples::kOther && !TIFFRGBAImageOK(tiff.get(), message)) {
        uint16_t bits = 0, samples = 0, photometric = 0, format = SAMPLEFORMAT_UINT;
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLEFORMAT, &format);
        const bool known = TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric) == 1;
        *error = "a TIFF of a kind this program does not decode (" + std::to_string(samples) +
                 (format == SAMPLEFORMAT_IEEEFP ? " floating-point" : "") + " samples of " + std::to_string(bits) +
                 " bits a pixel, " +
                 (known ? "photometric " + std::to_string(photometric) : std::string("no photometric tag")) + ")";
        return nullptr;
    }
    return tiff;
}

// L*a*b* under a D65 white to 8-bit sRGB, as ImageMagick converts: its
// white, its matrix, sRGB's curve, rounded to the nearest level.
void LabToRgb(double l, double a, double b, uint8_t* rgb)
{
    constexpr double kEpsilon = 216.0 / 24389.0, kKappa = 24389.0 / 27.0;
    const double fy = (l + 16.0) / 116.0, fx = fy + a / 500.0, fz = fy - b / 200.0;
    const auto inverse = [&](double f) { return f * f * f > kEpsilon ? f * f * f : (116.0 * f - 16.0) / kKappa; };
    const double x = 0.950456 * inverse(fx), y = l > kKappa * kEpsilon ? fy * fy * fy : l / kKappa,
                 z = 1.088754 * inverse(fz);
    const double linear[3] = {3.2404542 * x - 1.5371385 * y - 0.4985314 * z,
                              -0.9692660 * x + 1.8760108 * y + 0.0415560 * z,
                              0.0556434 * x - 0.2040259 * y + 1.0572252 * z};
    // The linear values at which sRGB's curve passes each half level: a
    // level is the count of them at or below the value.
    static const std::vector<double> kSteps = [] {
        std::vector<double> steps;
        for (int k = 0; k < 255; ++k) {
            const double c = (k + 0.5) / 255.0;
            steps.push_back(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return steps;
    }();
    for (int i = 0; i < 3; ++i)
        rgb[i] = uint8_t(std::upper_bound(kSteps.begin(), kSteps.end(), linear[i]) - kSteps.begin());
}

// The strips or tiles of the first page, and how many of them did not
// decode: what they cover is left blank, and the picture said damaged.
struct TiffBlocks {
    uint32_t count = 0, failed = 0;
    bool tiled = false;
    std::string Damage() const
    {
        if (failed == 0) return "";
        return "damaged TIFF data in " + std::to_string(failed) + " of " + std::to_string(count) +
               (tiled ? (count == 1 ? " tile" : " tiles") : (count == 1 ? " strip" : " strips"));
    }
};

bool ReadSamples(TIFF* tiff, Samples kind, uint32_t w, uint32_t h, bool alpha, uint8_t* out, TiffBlocks* blocks)
{
    uint16_t samples = 0, bits = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    const size_t bpp = alpha ? 4 : 3, sampleBytes = bits / 8;
    const bool lab = kind == Samples::kCieLab || kind == Samples::kIccLab;
    const int colours = kind == Samples::kCmyk ? 4 : lab ? 3 : 1;
    const uint32_t top = (1u << bits) - 1, half = 1u << (bits - 1);
    const auto eight = [&](uint32_t v) { return uint8_t(bits == 8 ? v : (v + 128) / 257); };
    // A sample as stored (libtiff hands 16-bit ones in the machine's order).
    const auto sample = [&](const uint8_t* s, int i) -> uint32_t {
        if (bits == 8) return s[i];
        uint16_t v;
        std::memcpy(&v, s + 2 * i, 2);
        return v;
    };
    const auto put = [&](const uint8_t* s, uint32_t x, uint32_t y) {
        uint8_t* p = out + (size_t(y) * w + x) * bpp;
        if (kind == Samples::kCmyk) {
            const uint64_t k = 65535u - sample(s, 3);
            for (int c = 0; c < 3; ++c) p[c] = eight(uint32_t(k * (65535u - sample(s, c)) / 65535u));
        } else if (lab) {
            // a and b in units of L*a*b*: signed, or from the middle value.
            const auto chroma = [&](uint32_t v) {
                const double from = kind == Samples::kCieLab ? (v >= half ? double(v) - 2.0 * half : double(v))
                                                             : double(v) - half;
                return from * 256.0 / (top + 1);
            };
            LabToRgb(sample(s, 0) * 100.0 / top, chroma(sample(s, 1)), chroma(sample(s, 2)), p);
        } else {
            p[0] = p[1] = p[2] = eight(kind == Samples::kGrey ? sample(s, 0) : top - sample(s, 0));
        }
        if (alpha) p[3] = samples > colours ? eight(sample(s, colours)) : 255;
    };
    // A block of bw x bh pixels (a strip, a tile) at bx, by, cut at the
    // picture's edge; one that does not decode is left as it is.
    std::vector<uint8_t> block;
    const size_t pixel = size_t(samples) * sampleBytes;
    const auto place = [&](uint32_t bx, uint32_t by, uint32_t bw, uint32_t bh, tmsize_t read) {
        ++blocks->count;
        if (read < 0) {
            ++blocks->failed;
            return;
        }
        for (uint32_t y = by; y < std::min(h, by + bh); ++y)
            for (uint32_t x = bx; x < std::min(w, bx + bw); ++x)
                put(block.data() + (size_t(y - by) * bw + (x - bx)) * pixel, x, y);
    };
    blocks->tiled = TIFFIsTiled(tiff);
    if (!blocks->tiled) {
        uint32_t rows = 0;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows);
        rows = std::clamp<uint32_t>(rows, 1, h);
        const tmsize_t bytes = TIFFStripSize(tiff);
        if (bytes < 0 || uint64_t(bytes) < uint64_t(w) * rows * pixel) return false;
        if (bytes > TiffBufferBound(tiff)) return (blocks->count = blocks->failed = 1), false;
        block.resize(size_t(bytes));
        for (uint32_t y = 0; y < h; y += rows)
            place(0, y, w, rows, TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, y, 0), block.data(), bytes));
        return blocks->failed < blocks->count;
    }
    uint32_t tw = 0, th = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &th);
    const tmsize_t bytes = TIFFTileSize(tiff);
    if (tw == 0 || th == 0 || bytes < 0 || uint64_t(bytes) < uint64_t(tw) * th * pixel) return false;
    if (bytes > TiffBufferBound(tiff)) return (blocks->count = blocks->failed = 1), false;
    block.resize(size_t(bytes));
    for (uint32_t ty = 0; ty < h; ty += th)
        for (uint32_t tx = 0; tx < w; tx += tw) place(tx, ty, tw, th, TIFFReadTile(tiff, block.data(), tx, ty, 0, 0));
    return blocks->failed < blocks->count;
}

// Unmapped, libtiff reads a tile into a buffer of its own that it sizes in
// whole KiB, then refuses an uncompressed tile unless that buffer holds
// exactly one tile: any tile not a multiple of 1 KiB would be said damaged.
// A buffer of exactly one tile, given to it beforehand, is kept as it is.
bool ServeWholeTiles(TIFF* tiff, TiffReader* reader)
{
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFIsTiled(tiff) || compression != COMPRESSION_NONE) return true;
    const tmsize_t bytes = TIFFTileSize(tiff);
    if (bytes <= 0) return false;
    // Past the bound libtiff takes no buffer either, and the tiles do not decode.
    if (bytes > TiffBufferBound(tiff)) return true;
    try {
        reader->tile.resize(size_t(bytes));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return TIFFReadBufferSetup(tiff, reader->tile.data(), bytes) == 1;
}

struct RgbaImageEnd {
    void operator()(TIFFRGBAImage* image) const { TIFFRGBAImageEnd(image); }
};

// libtiff's RGBA reader, a strip or a tile at a time, so that one that does
// not decode is counted and left blank rather than filled with the one
// before. Each tile is read whole, as wide as the picture allows, into a
// raster of its own. Rows come as stored, top row first: asked for the
// file's own orientation, libtiff moves no row (asked for another, it would
// apply only the mirroring part of the tag, never the quarter turn of 5 to 8).
bool ReadRgbaBlocks(TIFF* tiff, uint32_t w, uint32_t h, uint32_t* raster, TiffBlocks* blocks, std::string* error)
{
    TIFFRGBAImage image{};
    char message[1024] = {};
    if (!TIFFRGBAImageBegin(&image, tiff, 1, message)) return (*error = "cannot decode the TIFF image"), false;
    const std::unique_ptr<TIFFRGBAImage, RgbaImageEnd> end(&image);
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    image.req_orientation = orientation;
    blocks->tiled = TIFFIsTiled(tiff);
    if (!blocks->tiled) {
        uint32_t rows = 0;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows);
        rows = std::clamp<uint32_t>(rows, 1, h);
        for (uint32_t y = 0; y < h; y += rows) {
            image.row_offset = int(y);
            image.col_offset = 0;
            ++blocks->count;
            if (!TIFFRGBAImageGet(&image, raster + size_t(y) * w, w, std::min(rows, h - y))) ++blocks->failed;
        }
        return true;
    }
    uint32_t tw = 0, th = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &th);
    if (tw == 0 || th == 0 || tw > uint32_t(std::numeric_limits<int>::max()) || th > uint32_t(std::numeric_limits<int>::max()))
        return (*error = "cannot decode the TIFF image"), false;
    // libtiff reads no wider than the picture (a tile wider than it is cut),
    // and is asked for no more rows than it has.
    const uint32_t across = std::min(tw, w);
    std::vector<uint32_t> tile;
    try {
        tile.resize(size_t(uint64_t(across) * std::min(th, h)));
    } catch (const std::exception&) {
        return (*error = "out of memory"), false;
    }
    for (uint32_t ty = 0; ty < h; ty += th)
        for (uint32_t tx = 0; tx < w; tx += tw) {
            image.row_offset = int(ty);
            image.col_offset = int(tx);
            ++blocks->count;
            const uint32_t down = std::min(th, h - ty);
            if (!TIFFRGBAImageGet(&image, tile.data(), across, down)) {
                ++blocks->failed;
                continue;
            }
            for (uint32_t y = 0; y < down; ++y)
                std::copy_n(tile.data() + size_t(y) * across, std::min(across, w - tx), raster + size_t(ty + y) * w + tx);
        }
    return true;
}

// libtiff's RGBA reader leaves out the transparency of a palette picture
// (GraphicsMagick writes grey with alpha so): taken from the interleaved
// samples themselves, block by block as stored.
bool AlphaLeftOut(TIFF* tiff)
{
    uint16_t bits = 0, planar = PLANARCONFIG_CONTIG, photometric = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    return planar == PLANARCONFIG_CONTIG && TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) == 1 &&
           photometric == PHOTOMETRIC_PALETTE && bits == 8;
}

void ReadAlphaSamples(TIFF* tiff, uint32_t w, uint32_t h, uint32_t* raster)
{
    uint16_t bits = 0, samples = 0, extraCount = 0;
    uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    if (extraCount == 0 || extraCount >= samples || bits != 8) return;
    const size_t pixel = samples, at = size_t(samples - extraCount);
    std::vector<uint8_t> block;
    // A block of bw x bh pixels at bx, by, its rows stride bytes apart.
    const auto take = [&](uint32_t bx, uint32_t by, uint32_t bw, uint32_t bh, size_t stride) {
        for (uint32_t y = by; y < std::min(h, by + bh); ++y)
            for (uint32_t x = bx; x < std::min(w, bx + bw); ++x) {
                const uint8_t* s = block.data() + size_t(y - by) * stride + size_t(x - bx) * pixel + at;
                uint32_t& p = raster[size_t(y) * w + x];
                p = (p & 0x00FFFFFFu) | uint32_t(s[0]) << 24;
            }
    };
    if (TIFFIsTiled(tiff)) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &th);
        const tmsize_t size = TIFFTileSize(tiff), stride = TIFFTileRowSize(tiff);
        if (tw == 0 || th == 0 || size <= 0 || stride <= 0 || uint64_t(stride) < tw * pixel ||
            uint64_t(size) < uint64_t(stride) * th || size > TiffBufferBound(tiff))
            return;
        block.resize(size_t(size));
        for (uint32_t ty = 0; ty < h; ty += th)
            for (uint32_t tx = 0; tx < w; tx += tw)
                if (TIFFReadTile(tiff, block.data(), tx, ty, 0, 0) >= 0) take(tx, ty, tw, th, size_t(stride));
        return;
    }
    uint32_t rows = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows);
    rows = std::clamp<uint32_t>(rows, 1, h);
    const tmsize_t size = TIFFStripSize(tiff), stride = TIFFScanlineSize(tiff);
    if (size <= 0 || stride <= 0 || uint64_t(stride) < w * pixel || uint64_t(size) < uint64_t(stride) * rows ||
        size > TiffBufferBound(tiff))
        return;
    block.resize(size_t(size));
    for (uint32_t y = 0; y < h; y += rows)
        if (TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, y, 0), block.data(), size) >= 0) take(0, y, w, rows, size_t(stride));
}

}  // namespace

// Every strip or tile of the first page lies inside the file.
std::string ProbeTiff(std::FILE* file, uint64_t fileSize, uint32_t* width, uint32_t* height)
{
    TiffReader reader{file, fileSize, 0, {}};
    std::string error;
    std::unique_ptr<TIFF, TiffCloser> tiff = OpenTiff(&reader, width, height, &error);
    if (!tiff) return error;
    const uint32_t count = TIFFIsTiled(tiff.get()) ? TIFFNumberOfTiles(tiff.get()) : TIFFNumberOfStrips(tiff.get());
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t offset = TIFFGetStrileOffset(tiff.get(), i), length = TIFFGetStrileByteCount(tiff.get(), i);
        if (offset > fileSize || fileSize - offset < length) return "TIFF data ends early";
    }
    return "";
}

bool DecodeTiff(std::FILE* file, uint64_t fileSize, PicturePixels* out, std::string* damage, std::string* error)
{
    TiffReader reader{file, fileSize, 0, {}};
    uint32_t w = 0, h = 0;
    std::unique_ptr<TIFF, TiffCloser> tiff = OpenTiff(&reader, &w, &h, error);
    if (!tiff) return false;
    if (!ServeWholeTiles(tiff.get(), &reader)) return (*error = "cannot decode the TIFF image"), false;
    // A sample after the colours is their transparency, one of no stated
    // meaning too (GraphicsMagick writes every RGBA TIFF so), as libtiff's
    // own RGBA reader takes it. libtiff is told to hand every kind over as
    // stored; only what the file calls premultiplied is divided out here.
    uint16_t extraCount = 0;
    uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    const bool alpha = extraCount > 0 && extraTypes && extraTypes[0] <= EXTRASAMPLE_UNASSALPHA;
    const bool premultiplied = alpha && extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    if (alpha && !premultiplied) {
        std::vector<uint16_t> types(extraTypes, extraTypes + extraCount);
        types[0] = EXTRASAMPLE_ASSOCALPHA;
        if (TIFFSetField(tiff.get(), TIFFTAG_EXTRASAMPLES, extraCount, types.data()) != 1)
            return (*error = "cannot decode the TIFF image"), false;
    }
    TiffBlocks blocks;
    if (const Samples kind = KindOfSamples(tiff.get()); kind != Samples::kOther) {
        auto pixels = NewPixels(uint64_t(w) * h * (alpha ? 4 : 3));
        if (!pixels) return (*error = "out of memory"), false;
        std::memset(pixels.get(), 0, size_t(w) * h * (alpha ? 4 : 3));
        if (!ReadSamples(tiff.get(), kind, w, h, alpha, pixels.get(), &blocks))
            return (*error = blocks.failed ? "damaged TIFF data" : "cannot decode the TIFF image"), false;
        *damage = blocks.Damage();
        out->width = w;
        out->height = h;
        out->bitsPerPixel = alpha ? 32 : 24;
        out->pixels = std::move(pixels);
        return true;
    }
    std::vector<uint32_t> raster;
    try {
        raster.resize(size_t(w) * h);
    } catch (const std::bad_alloc&) {
        return (*error = "out of memory"), false;
    }
    if (!ReadRgbaBlocks(tiff.get(), w, h, raster.data(), &blocks, error)) return false;
    if (blocks.failed == blocks.count) return (*error = "damaged TIFF data"), false;
    if (alpha && AlphaLeftOut(tiff.get())) ReadAlphaSamples(tiff.get(), w, h, raster.data());
    *damage = blocks.Damage();
    const int bpp = alpha ? 4 : 3;
    auto pixels = NewPixels(uint64_t(w) * h * bpp);
    if (!pixels) return (*error = "out of memory"), false;
    uint8_t* p = pixels.get();
    for (uint32_t v : raster) {
        unsigned r = TIFFGetR(v), g = TIFFGetG(v), b = TIFFGetB(v);
        if (alpha) {
            const unsigned a = TIFFGetA(v);
            if (premultiplied && a > 0 && a < 255) {
                r = std::min(255u, (r * 255 + a / 2) / a);
                g = std::min(255u, (g * 255 + a / 2) / a);
                b = std::min(255u, (b * 255 + a / 2) / a);
            }
            p[3] = uint8_t(a);
        }
        p[0] = uint8_t(r), p[1] = uint8_t(g), p[2] = uint8_t(b);
        p += bpp;
    }
    out->width = w;
    out->height = h;
    out->bitsPerPixel = bpp * 8;
    out->pixels = std::move(pixels);
    return true;
}
