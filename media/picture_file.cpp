#include "media/picture_file.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#include <gif_lib.h>
// jpeglib.h first: jerror.h's list of codes depends on its configuration.
#include <jpeglib.h>
#include <jerror.h>

#include "media/bmp_file.h"
#include "media/forward_reader.h"
#include "media/image.h"
#include "media/jpeg_image.h"
#include "media/jpeg_sections.h"
#include "media/kept_block.h"
#include "media/png_image.h"
#include "media/tiff_file.h"
#include "platform/file_look.h"

namespace {

std::unique_ptr<uint8_t[]> NewPixels(uint64_t bytes) { return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes]); }

// Why a picture of this kind and size is not read: "PNG picture is too large: ...".
std::string SizeTrouble(const char* kind, uint64_t width, uint64_t height)
{
    return std::string(kind) + " picture " + ImageSizeRefusal(width, height);
}

// Takes the block out of a decoded image.
void TakeImage(CImage& image, PicturePixels* out)
{
    out->width = image.width;
    out->height = image.height;
    out->bitsPerPixel = image.bitsPerPixel;
    out->pixels.reset(image.pixels);
    image.pixels = nullptr;
    image.size = 0;
}

// GIF

// The open file, read as giflib asks for its bytes.
struct GifReader {
    std::FILE* file;
};

int ReadGifBytes(GifFileType* gif, GifByteType* out, int count)
{
    auto* reader = static_cast<GifReader*>(gif->UserData);
    return int(std::fread(out, 1, size_t(std::max(count, 0)), reader->file));
}

// giflib's error codes in our words.
std::string GifError(int code, const char* otherwise)
{
    switch (code) {
        case D_GIF_ERR_READ_FAILED:
        case D_GIF_ERR_EOF_TOO_SOON:
            return "GIF data ends early";
        case D_GIF_ERR_NOT_GIF_FILE:
        case D_GIF_ERR_NO_SCRN_DSCR:
            return "damaged GIF header";
        case D_GIF_ERR_NO_COLOR_MAP:
            return "GIF frame without colours";
        case D_GIF_ERR_DATA_TOO_BIG:
        case D_GIF_ERR_IMAGE_DEFECT:
            return "damaged GIF image data";
        case D_GIF_ERR_NOT_ENOUGH_MEM:
            return "out of memory";
        case 0:
            return otherwise;
        default:
            return "damaged GIF data";
    }
}

struct GifCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// Reads the records up to the first image's descriptor, taking the
// transparent index of a graphics control block on the way, and gives the
// size of the screen that image lies on; false with the reason when there
// is no first image with colours and a size allowed.
bool ReachFirstGifImage(GifFileType* gif, int* transparent, uint64_t* canvasW, uint64_t* canvasH, std::string* error)
{
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) break;
        if (type == EXTENSION_RECORD_TYPE) {
            int extCode = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &extCode, &ext) == GIF_ERROR) break;
            if (extCode == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
                GraphicsControlBlock gcb;
                if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK) *transparent = gcb.TransparentColor;
            }
            while (ext)
                if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return (*error = "damaged GIF extension"), false;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) break;
        if (DGifGetImageDesc(gif) == GIF_ERROR) break;
        const GifImageDesc& desc = gif->Image;
        if (!(desc.ColorMap ? desc.ColorMap : gif->SColorMap) || desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 ||
            desc.Top < 0) {
            *error = "GIF frame without colours or size";
            return false;
        }
        *canvasW = std::max<uint64_t>(gif->SWidth, uint64_t(desc.Left) + desc.Width);
        *canvasH = std::max<uint64_t>(gif->SHeight, uint64_t(desc.Top) + desc.Height);
        if (!ImageSizeAllowed(*canvasW, *canvasH)) return (*error = SizeTrouble("GIF", *canvasW, *canvasH)), false;
        return true;
    }
    *error = GifError(gif->Error, "GIF file without an image");
    return false;
}

std::unique_ptr<GifFileType, GifCloser> OpenGif(GifReader* reader, std::string* error)
{
    int code = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(reader, ReadGifBytes, &code));
    if (!gif) *error = GifError(code, "cannot read the GIF file");
    return gif;
}

// The first frame on the logical screen; what the frame leaves uncovered is
// transparent, as is the frame's transparent colour.
bool DecodeGif(std::FILE* file, PicturePixels* out, std::string* error)
{
    GifReader reader{file};
    std::unique_ptr<GifFileType, GifCloser> gif = OpenGif(&reader, error);
    int transparent = -1;
    uint64_t canvasW = 0, canvasH = 0;
    if (!gif || !ReachFirstGifImage(gif.get(), &transparent, &canvasW, &canvasH, error)) return false;
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    std::vector<GifByteType> indices(size_t(desc.Width) * desc.Height);
    static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int p = 0; p < passes; ++p)
        for (int y = desc.Interlace ? kStart[p] : 0; y < desc.Height; y += desc.Interlace ? kStep[p] : 1)
            if (DGifGetLine(gif.get(), &indices[size_t(y) * desc.Width], desc.Width) == GIF_ERROR)
                return (*error = GifError(gif->Error, "damaged GIF image data")), false;
    const bool covers =
        desc.Left == 0 && desc.Top == 0 && canvasW == uint64_t(desc.Width) && canvasH == uint64_t(desc.Height);
    const int bpp = transparent >= 0 || !covers ? 4 : 3;
    auto pixels = NewPixels(canvasW * canvasH * bpp);
    if (!pixels) return (*error = "out of memory"), false;
    std::memset(pixels.get(), 0, canvasW * canvasH * bpp);
    for (int y = 0; y < desc.Height; ++y) {
        uint8_t* row = pixels.get() + ((desc.Top + y) * canvasW + desc.Left) * bpp;
        for (int x = 0; x < desc.Width; ++x, row += bpp) {
            const int index = indices[size_t(y) * desc.Width + x];
            if (bpp == 4 && index == transparent) continue;
            // An index past the colour table shows as black.
            const GifColorType c = index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
            row[0] = c.Red, row[1] = c.Green, row[2] = c.Blue;
            if (bpp == 4) row[3] = 255;
        }
    }
    out->width = uint32_t(canvasW);
    out->height = uint32_t(canvasH);
    out->bitsPerPixel = bpp * 8;
    out->pixels = std::move(pixels);
    return true;
}

// The first image's compressed blocks, walked to their end without
// decompressing them.
std::string ProbeGif(std::FILE* file, uint32_t* width, uint32_t* height)
{
    GifReader reader{file};
    std::string error;
    std::unique_ptr<GifFileType, GifCloser> gif = OpenGif(&reader, &error);
    int transparent = -1;
    uint64_t canvasW = 0, canvasH = 0;
    if (!gif || !ReachFirstGifImage(gif.get(), &transparent, &canvasW, &canvasH, &error)) return error;
    *width = uint32_t(canvasW), *height = uint32_t(canvasH);
    int codeSize = 0;
    GifByteType* block = nullptr;
    // A file that ends inside the blocks is said as one cut elsewhere is.
    if (DGifGetCode(gif.get(), &codeSize, &block) == GIF_ERROR) return GifError(gif->Error, "damaged GIF image data");
    while (block)
        if (DGifGetCodeNext(gif.get(), &block) == GIF_ERROR) return GifError(gif->Error, "damaged GIF image data");
    return "";
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// PNG

uint32_t Big32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Passes over a chunk's data and checksum; with check, reads them and
// compares the checksum, keeping the first keep->size() bytes of the data.
// False when the file cannot be read that far or the checksum differs.
bool ReadChunkData(std::FILE* f, const uint8_t* type, uint32_t length, bool check, std::vector<uint8_t>* keep)
{
    uint8_t stored[4];
    if (!check) return std::fseek(f, long(length), SEEK_CUR) == 0 && std::fread(stored, 1, 4, f) == 4;
    uLong crc = crc32(0, type, 4);
    uint8_t buffer[65536];
    for (uint32_t done = 0; done < length;) {
        const size_t n = std::min<size_t>(sizeof buffer, length - done);
        if (std::fread(buffer, 1, n, f) != n) return false;
        if (done < keep->size()) std::copy(buffer, buffer + std::min(n, keep->size() - done), keep->begin() + done);
        crc = crc32(crc, buffer, uInt(n));
        done += uint32_t(n);
    }
    return std::fread(stored, 1, 4, f) == 4 && Big32(stored) == uint32_t(crc);
}

// The bit depths libpng takes for each colour type.
bool PngDepthAllowed(int colourType, int depth)
{
    switch (colourType) {
        case 0:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6:
            return depth == 8 || depth == 16;
        default:
            return false;
    }
}

// The chunks as libpng reads them, without inflating the pixel data: the
// header first and valid, a palette where the colour type needs one, image
// data, the end chunk; every chunk whole, and the checksums libpng insists
// on (those of the chunks it cannot do without) intact.
std::string ProbePng(std::FILE* f, uint64_t fileSize, uint32_t* width, uint32_t* height)
{
    if (std::fseek(f, 8, SEEK_SET) != 0) return "PNG data ends early";
    bool header = false, palette = false, data = false;
    int colourType = 0;
    for (uint64_t at = 8;;) {
        uint8_t head[8];
        if (std::fread(head, 1, 8, f) != 8) return "PNG data ends early";
        const uint32_t length = Big32(head);
        const uint8_t* type = head + 4;
        if (length > 0x7FFFFFFF || fileSize - at < 12 + uint64_t(length)) return "PNG data ends early";
        at += 12 + uint64_t(length);
        for (int i = 0; i < 4; ++i)
            if (!((type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z')))
                return "PNG: invalid chunk type";
        const bool critical = !(type[0] & 0x20);
        auto is = [type](const char* name) { return std::memcmp(type, name, 4) == 0; };
        if (!header && !is("IHDR")) return "PNG: missing IHDR";
        std::vector<uint8_t> fields(is("IHDR") ? 13 : 0);
        if (!ReadChunkData(f, type, length, critical, &fields)) return kPngChecksumWrong;
        if (is("IHDR")) {
            if (header || length != 13) return "PNG: invalid IHDR";
            const uint32_t w = Big32(&fields[0]), h = Big32(&fields[4]);
            colourType = fields[9];
            // Sides past 2^31 - 1 break the format; a valid size past ours is
            // said as too large, not as damage.
            if (w > 0x7fffffff || h > 0x7fffffff || !PngDepthAllowed(colourType, fields[8]) || fields[10] != 0 ||
                fields[11] != 0 || fields[12] > 1)
                return "PNG: invalid IHDR";
            if (!ImageSizeAllowed(w, h)) return SizeTrouble("PNG", w, h);
            *width = w, *height = h;
            header = true;
        } else if (is("PLTE")) {
            if (colourType == 3 && (length == 0 || length > 768 || length % 3 != 0)) return "PNG: invalid PLTE";
            palette = true;
        } else if (is("IDAT")) {
            if (colourType == 3 && !palette) return "PNG: missing PLTE before IDAT";
            data = true;
        } else if (is("IEND")) {
            return data ? "" : "PNG: no image data";
        } else if (critical) {
            return "PNG: unknown critical chunk";
        }
    }
}

// JPEG

// libjpeg reads a file cut short as if it ended there and fills in the rest
// of the picture, unless the end falls inside a marker segment, whose fields
// it would then read wrong (a scan header cut in two names tables that do
// not exist). So the segments are stepped over by their lengths, and the
// data between them searched for the next marker, to the end.
std::string ProbeJpegSegments(ForwardReader& d)
{
    const uint64_t n = d.Size();
    bool progressive = false;
    for (uint64_t p = 2;;) {
        p = d.Find(d.Find(p, 0xFF, false), 0xFF, true);
        if (d.Failed()) return "";
        if (p >= n) return "";
        const int code = d.At(p++);
        // Stuffed data bytes, restarts and TEM stand alone.
        if (code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;
        if (code == 0xD9) return "";
        if (code == 0xD8) return JpegTroubleWords(JERR_SOI_DUPLICATE);
        if (n - p < 2) return "JPEG data ends inside a marker";
        const uint64_t length = uint64_t(d.At(p)) << 8 | uint64_t(d.At(p + 1));
        if (length < 2) return JpegTroubleWords(JERR_BAD_LENGTH);
        if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC)
            progressive = code == 0xC2 || code == 0xC6 || code == 0xCA || code == 0xCE;
        uint64_t needed = length;
        // A sequential scan's header ends in spectral fields that are read
        // but not used: the component tables before them are what counts.
        if (code == 0xDA && !progressive && n - p > 2) needed = std::min<uint64_t>(length, 3 + 2 * uint64_t(d.At(p + 2)));
        if (d.Failed()) return "";
        if (n - p < needed) return "JPEG data ends inside a marker";
        p += length;
    }
}

// BMP

std::string ProbeBmp(std::FILE* f, uint64_t fileSize, uint32_t* width, uint32_t* height)
{
    // The headers and palette; the rows are only measured.
    BmpBytes head;
    BmpLayout layout;
    std::string report;
    if (std::fseek(f, 0, SEEK_SET) != 0 || !ReadBmpHead(f, &head, &report) ||
        !ReadBmpLayout(head.data.get(), head.size, fileSize, &layout, &report))
        return BmpReason(report);
    *width = uint32_t(layout.width), *height = uint32_t(layout.rows);
    return BmpRowsComplete(layout, fileSize) ? "" : kBmpDataEndsEarly;
}

std::atomic<uint64_t> g_decodes{0};

}  // namespace

uint64_t PictureDecodeCount()
{
    return g_decodes;
}

PictureProbe ProbePicture(const CPath& path, const platform::FileLook* look)
{
    PictureProbe probe;
    uint8_t head[32] = {};
    size_t headLength = 0;
    File file;
    if (look) {
        headLength = std::min(sizeof head, look->HeadSize());
        std::memcpy(head, look->Head(), headLength);
    } else {
        file.reset(path.Fopen("rb"));
        headLength = file ? std::fread(head, 1, sizeof head, file.get()) : 0;
    }
    probe.kind = SniffPictureKind(head, headLength);
    // A file of no picture kind is told by the look alone.
    if (look && look->IsOpen() && probe.kind == PictureKind::kNone) {
        probe.error = "not a picture of a known kind";
        return probe;
    }
    if (look) file.reset(look->Stream());
    const bool measured = file && std::fseek(file.get(), 0, SEEK_END) == 0;
    const long fileSize = measured ? std::ftell(file.get()) : -1;
    if (!file || fileSize < 0) {
        probe.error = "cannot open " + ProjectFileName(path);
    } else if (probe.kind == PictureKind::kNone) {
        probe.error = "not a picture of a known kind";
    } else if (probe.kind == PictureKind::kJpeg) {
        // As opening does: the header; what of the data is damaged or
        // missing decodes as far as it goes.
        // The segments are read through a bounded buffer and skipped by
        // seeking: the export's decode reads the file itself.
        std::rewind(file.get());
        if (!ReadJpegSize(file.get(), &probe.width, &probe.height)) {
            probe.error = JpegHeaderTrouble(file.get(), uint64_t(fileSize));
        } else if (!ImageSizeAllowed(probe.width, probe.height)) {
            probe.error = SizeTrouble("JPEG", probe.width, probe.height);
        } else {
            auto reader = std::make_unique<ForwardReader>(file.get(), uint64_t(fileSize));
            probe.error = ProbeJpegSegments(*reader);
            if (reader->Failed()) probe.error = "cannot read " + path.GetText();
        }
    } else if (probe.kind == PictureKind::kPng) {
        probe.error = ProbePng(file.get(), uint64_t(fileSize), &probe.width, &probe.height);
    } else if (probe.kind == PictureKind::kBmp) {
        probe.error = ProbeBmp(file.get(), uint64_t(fileSize), &probe.width, &probe.height);
    } else if (probe.kind == PictureKind::kGif) {
        std::rewind(file.get());
        probe.error = ProbeGif(file.get(), &probe.width, &probe.height);
    } else {
        probe.error = ProbeTiff(file.get(), uint64_t(fileSize), &probe.width, &probe.height);
    }
    probe.readable = probe.error.empty();
    return probe;
}

std::string PictureTooLargeToRead(const CPath& path)
{
    uint8_t head[32] = {};
    size_t n = 0;
    if (File file{path.Fopen("rb")}) n = std::fread(head, 1, sizeof head, file.get());
    if (SniffPictureKind(head, n) != PictureKind::kBmp) return "";
    PictureFile picture;
    return !picture.Open(path) && picture.TooLargeToRead() ? picture.LastError() : "";
}

PictureKind SniffPictureKind(const uint8_t* d, size_t n)
{
    if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return PictureKind::kJpeg;
    if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) return PictureKind::kPng;
    if (n >= 6 && (std::memcmp(d, "GIF87a", 6) == 0 || std::memcmp(d, "GIF89a", 6) == 0)) return PictureKind::kGif;
    if (n >= 4 && (std::memcmp(d, "II*\0", 4) == 0 || std::memcmp(d, "MM\0*", 4) == 0 ||
                   std::memcmp(d, "II+\0", 4) == 0 || std::memcmp(d, "MM\0+", 4) == 0))
        return PictureKind::kTiff;
    // "BM" alone is too weak: the header size at byte 14 must be a known one.
    if (n >= 18 && d[0] == 'B' && d[1] == 'M') {
        const uint32_t header = d[14] | d[15] << 8 | d[16] << 16 | uint32_t(d[17]) << 24;
        if (header == 12 || header == 16 || header == 40 || header == 52 || header == 56 || header == 64 ||
            header == 108 || header == 124)
            return PictureKind::kBmp;
    }
    return PictureKind::kNone;
}

void PictureFile::Close()
{
    kind_ = PictureKind::kNone;
    path_ = CPath();
    width_ = height_ = 0;
    hasAlpha_ = false;
    Release();
}

void PictureFile::Release()
{
    denominator_ = 0;
    decoded_ = PicturePixels{};
}

bool PictureFile::Fail(const std::string& why)
{
    Close();
    error_ = why;
    return false;
}

bool PictureFile::Open(const CPath& path, const platform::FileLook* look)
{
    Close();
    error_.clear();
    tooLarge_ = false;
    uint8_t head[32] = {};
    size_t headLength = 0;
    uint32_t w = 0, h = 0;
    bool jpegHeader = false;
    std::string jpegTrouble;
    if (look) {
        if (!look->IsOpen()) return Fail("cannot open " + ProjectFileName(path));
        headLength = std::min(sizeof head, look->HeadSize());
        std::memcpy(head, look->Head(), headLength);
    }
    // What is no picture is told by the look alone.
    if (!look || SniffPictureKind(head, headLength) == PictureKind::kJpeg) {
        File file(look ? look->Stream() : path.Fopen("rb"));
        if (!file) return Fail("cannot open " + ProjectFileName(path));
        if (!look) headLength = std::fread(head, 1, sizeof head, file.get());
        if (SniffPictureKind(head, headLength) == PictureKind::kJpeg) {
            std::rewind(file.get());
            jpegHeader = ReadJpegSize(file.get(), &w, &h);
            const bool measured = !jpegHeader && fseeko(file.get(), 0, SEEK_END) == 0;
            if (!jpegHeader)
                jpegTrouble = JpegHeaderTrouble(file.get(), measured ? uint64_t(std::max<off_t>(ftello(file.get()), 0)) : 0);
        }
    }
    const PictureKind kind = SniffPictureKind(head, headLength);
    if (kind == PictureKind::kNone) return Fail("not a picture of a known kind");
    path_ = path;
    kind_ = kind;
    if (kind == PictureKind::kJpeg) {
        // Only the header now: the size to decode at is known when drawing.
        if (!jpegHeader) return Fail(jpegTrouble);
        if (!ImageSizeAllowed(w, h)) return Fail(SizeTrouble("JPEG", w, h));
        width_ = w, height_ = h;
        return true;
    }
    const std::string why = Decode(1);
    if (!why.empty()) return Fail(why);
    width_ = decoded_.width, height_ = decoded_.height;
    hasAlpha_ = decoded_.bitsPerPixel == 32;
    return true;
}

std::string PictureFile::Decode(int denominator)
{
    ++g_decodes;
    Release();
    PicturePixels pixels;
    std::string why;
    if (kind_ == PictureKind::kJpeg) {
        // libjpeg asks for 4 KB at a time: a larger stream buffer saves a
        // system call for each of them. It outlives the stream.
        constexpr size_t kStreamBuffer = 65536;
        const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kStreamBuffer]);
        File file(path_.Fopen("rb"));
        if (!file) return "cannot open " + ProjectFileName(path_);
        if (buffer) std::setvbuf(file.get(), buffer.get(), _IOFBF, kStreamBuffer);
        CJpegImage jpeg;
        jpeg.SetScaleDenominator(denominator);
        const bool decoded = keep_ ? jpeg.LoadStreamInto(file.get(), keep_) : jpeg.LoadStream(file.get());
        if (!decoded) return jpeg.GetLastError();
        TakeImage(jpeg, &pixels);
        if (keep_) pixels.kept = keep_->Data();
    } else {
        // Read from the file as each decoder asks, only as far as the
        // picture goes: what follows it is never read.
        File file(path_.Fopen("rb"));
        if (!file) return "cannot open " + ProjectFileName(path_);
        if (kind_ == PictureKind::kPng) {
            CPngImage png;
            // Transparency stays; a background colour is only a display hint.
            png.applyBackground = false;
            if (!png.DecodeStream(file.get())) return png.GetLastError();
            if (!png.GetDamage().empty()) {
                // Said damaged only where the chunks are whole, as the check
                // before the export judges them: a wrong checksum, or a file
                // cut short, is refused as there.
                uint32_t w = 0, h = 0;
                const bool measured = fseeko(file.get(), 0, SEEK_END) == 0;
                const off_t size = measured ? ftello(file.get()) : -1;
                const std::string chunks =
                    size < 0 ? "cannot read " + path_.GetText() : ProbePng(file.get(), uint64_t(size), &w, &h);
                if (!chunks.empty()) return chunks;
                CJpegWarnings::AddToCurrent(png.GetDamage());
            }
            TakeImage(png, &pixels);
        } else if (kind_ == PictureKind::kBmp) {
            BmpBytes bytes;
            BmpPicture bmp;
            std::string report;
            const bool read = ReadBmpBytes(file.get(), &bytes, &report);
            tooLarge_ = !read && bytes.tooLarge;
            if (!read || !DecodeBmp(bytes.data.get(), bytes.size, &bmp, &report)) return BmpReason(report);
            if (!bmp.damage.empty()) CJpegWarnings::AddToCurrent(bmp.damage);
            pixels.width = bmp.width;
            pixels.height = bmp.height;
            pixels.bitsPerPixel = bmp.bitsPerPixel;
            pixels.pixels = std::move(bmp.pixels);
        } else if (kind_ == PictureKind::kGif) {
            if (!DecodeGif(file.get(), &pixels, &why)) return why;
        } else if (kind_ == PictureKind::kTiff) {
            const bool measured = fseeko(file.get(), 0, SEEK_END) == 0;
            const off_t size = measured ? ftello(file.get()) : -1;
            if (size < 0) return "cannot read " + path_.GetText();
            std::string damage;
            if (!DecodeTiff(file.get(), uint64_t(size), &pixels, &damage, &why)) return why;
            if (!damage.empty()) CJpegWarnings::AddToCurrent(damage);
        }
    }
    // A file changed since it was opened no longer fits the movie.
    if (width_ && ((width_ + denominator - 1) / denominator != pixels.width ||
                   (height_ + denominator - 1) / denominator != pixels.height ||
                   (kind_ != PictureKind::kJpeg && hasAlpha_ != (pixels.bitsPerPixel == 32))))
        return "the picture changed since it was opened";
    decoded_ = std::move(pixels);
    denominator_ = denominator;
    return "";
}

const PicturePixels* PictureFile::Pixels(uint32_t minWidth, uint32_t minHeight)
{
    if (!IsOpen()) return nullptr;
    // The coarsest of libjpeg's scales that keeps the wanted size; each side
    // of a scaled decode is rounded up.
    int denominator = 1;
    if (kind_ == PictureKind::kJpeg)
        for (int d : {8, 4, 2})
            if ((width_ + d - 1) / d >= minWidth && (height_ + d - 1) / d >= minHeight) {
                denominator = d;
                break;
            }
    // The same request always gets the same decode, so output never
    // depends on what was drawn before.
    if (denominator != denominator_ || !decoded_.Data()) {
        const std::string why = Decode(denominator);
        if (!why.empty()) {
            error_ = why;
            return nullptr;
        }
    }
    return &decoded_;
}
