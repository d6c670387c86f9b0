#include "media/image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "media/image_scale.h"

namespace {

uint64_t g_maxImagePixels = std::numeric_limits<uint64_t>::max();
bool g_bmpByteSwap = true;

uint8_t* NewBlock(uint64_t size)
{
    if (size > std::numeric_limits<uint32_t>::max()) return nullptr;
    return new (std::nothrow) uint8_t[size_t(size)];
}

}  // namespace

void SetMaxImagePixels(uint64_t pixels) { g_maxImagePixels = pixels; }
uint64_t GetMaxImagePixels() { return g_maxImagePixels; }

bool ReadFileBytes(const CPath& path, std::vector<uint8_t>* bytes)
{
    bytes->clear();
    std::FILE* file = path.Fopen("rb");
    if (!file) return false;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

CImage::~CImage() { CImage::Free(); }

void CImage::Free()
{
    delete[] pixels;
    pixels = nullptr;
    size = 0;
}

bool CImage::Load(const CPath&) { return false; }

void CImage::MakeEmpty()
{
    Free();
    CImage::Free();
    width = height = 0;
    bitsPerPixel = 0;
}

void CImage::Adopt(uint8_t* block, uint32_t w, uint32_t h, uint16_t bits)
{
    delete[] pixels;
    pixels = block;
    width = w;
    height = h;
    bitsPerPixel = bits;
    size = w * h * (bits / 8u);
}

bool CImage::Create(uint32_t w, uint32_t h, uint16_t bits, uint8_t* source, bool copy)
{
    const uint64_t bytes = uint64_t(w) * h * (bits / 8u);
    uint8_t* block = source;
    if (!source || copy) {
        // Copied before the old block goes: the source may be that block.
        block = NewBlock(bytes);
        if (!block) {
            MakeEmpty();
            return false;
        }
        if (source) std::memcpy(block, source, size_t(bytes));
    } else {
        if (source == pixels) pixels = nullptr;  // adopting the block it already owns
        if (bytes > std::numeric_limits<uint32_t>::max()) {
            delete[] source;
            MakeEmpty();
            return false;
        }
    }
    Free();
    Adopt(block, w, h, bits);
    return true;
}

bool CImage::CopyFrom(const CImage& other)
{
    if (&other == this) return true;
    if (!other.pixels) {
        MakeEmpty();
        width = other.width;
        height = other.height;
        bitsPerPixel = other.bitsPerPixel;
        return true;
    }
    return Create(other.width, other.height, other.bitsPerPixel, other.pixels, true);
}

bool CImage::FromGWorld(GWorldPtr world)
{
    if (!world || (world->GetPixDepth() != 24 && world->GetPixDepth() != 32)) return false;
    const uint32_t w = uint32_t(world->Width()), h = uint32_t(world->Height());
    const uint32_t bytes = w * h * 3;
    if (!pixels || size != bytes) {
        uint8_t* block = NewBlock(bytes);
        if (!block) return false;
        delete[] pixels;
        pixels = block;
    }
    width = w;
    height = h;
    bitsPerPixel = 24;
    size = bytes;
    world->LockPixels();
    uint8_t* out = pixels;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = world->GetPixBaseAddr() + y * world->GetPixRowBytes();
        for (uint32_t x = 0; x < w; ++x, row += 4, out += 3) std::memcpy(out, row + 1, 3);
    }
    world->UnlockPixels();
    return true;
}

void CImage::ToGWorld(GWorldPtr world, int left, int top)
{
    if (!world || !pixels || (world->GetPixDepth() != 24 && world->GetPixDepth() != 32)) return;
    const int bpp = bitsPerPixel == 32 ? 4 : 3;
    // Parts of the picture left of or above the world are skipped.
    const int64_t firstRow = std::max(0, -top), firstCol = std::max(0, -left);
    const int64_t rows = std::min<int64_t>(height, int64_t(world->Height()) - top);
    const int64_t cols = std::min<int64_t>(width, int64_t(world->Width()) - left);
    world->LockPixels();
    for (int64_t y = firstRow; y < rows; ++y) {
        const uint8_t* in = pixels + (uint64_t(y) * width + uint64_t(firstCol)) * bpp;
        uint8_t* out = world->GetPixBaseAddr() + uint64_t(top + y) * world->GetPixRowBytes() + (left + firstCol) * 4;
        for (int64_t x = firstCol; x < cols; ++x, in += bpp, out += 4) {
            out[0] = bpp == 4 ? in[3] : 255;
            out[1] = in[0];
            out[2] = in[1];
            out[3] = in[2];
        }
    }
    world->UnlockPixels();
}

void CImage::Resize(uint32_t newWidth, uint32_t newHeight)
{
    if (!pixels || (newWidth == width && newHeight == height)) return;
    constexpr uint32_t kMaxSide = std::numeric_limits<int16_t>::max();  // QuickDraw rectangles
    if (width > kMaxSide || height > kMaxSide || newWidth > kMaxSide || newHeight > kMaxSide) return;
    Rect source{0, 0, int16_t(height), int16_t(width)};
    Rect destination{0, 0, int16_t(newHeight), int16_t(newWidth)};
    uint8_t* scaled = ScaleImagePixels(pixels, source, destination, bitsPerPixel);
    if (scaled) Adopt(scaled, newWidth, newHeight, bitsPerPixel);
}

void CImage::FlipVertical()
{
    if (!pixels) return;
    uint8_t* block = NewBlock(size);
    if (!block) return;
    const size_t rowBytes = size_t(width) * BytesPerPixel();
    for (uint32_t r = 0; r < height; ++r)
        std::memcpy(block + size_t(height - 1 - r) * rowBytes, pixels + size_t(r) * rowBytes, rowBytes);
    Adopt(block, width, height, bitsPerPixel);
}

void CImage::FlipHorizontal()
{
    if (!pixels) return;
    uint8_t* block = NewBlock(size);
    if (!block) return;
    const int bpp = BytesPerPixel();
    for (uint32_t r = 0; r < height; ++r) {
        const uint8_t* in = pixels + size_t(r) * width * bpp;
        uint8_t* out = block + size_t(r) * width * bpp;
        for (uint32_t c = 0; c < width; ++c) std::memcpy(out + size_t(width - 1 - c) * bpp, in + size_t(c) * bpp, bpp);
    }
    Adopt(block, width, height, bitsPerPixel);
}

void CImage::Rotate(int degrees)
{
    if (!pixels || (bitsPerPixel != 24 && bitsPerPixel != 32)) return;
    const bool clockwise = degrees == 90 || degrees == -270;
    const bool counter = degrees == 270 || degrees == -90;
    const bool half = degrees == 180 || degrees == -180;
    if (!clockwise && !counter && !half) return;
    uint8_t* block = NewBlock(size);
    if (!block) return;
    const size_t bpp = BytesPerPixel();
    const size_t count = size_t(width) * height;
    if (half) {
        for (size_t i = 0; i < count; ++i) std::memcpy(block + (count - 1 - i) * bpp, pixels + i * bpp, bpp);
        Adopt(block, width, height, bitsPerPixel);
        return;
    }
    const size_t oldW = width, oldH = height;
    for (size_t r = 0; r < oldH; ++r) {
        for (size_t c = 0; c < oldW; ++c) {
            // New rows are oldH pixels wide.
            const size_t to = clockwise ? c * oldH + (oldH - 1 - r) : (oldW - 1 - c) * oldH + r;
            std::memcpy(block + to * bpp, pixels + (r * oldW + c) * bpp, bpp);
        }
    }
    Adopt(block, uint32_t(oldH), uint32_t(oldW), bitsPerPixel);
}

// BMP files.

void SetBmpByteSwapping(bool on) { g_bmpByteSwap = on; }

namespace {

uint32_t Field(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        const int shift = g_bmpByteSwap ? 8 * i : 8 * (bytes - 1 - i);
        v |= uint32_t(p[i]) << shift;
    }
    return v;
}

void FatalBlock(const char* step, const char* detail)
{
    std::printf("\n%s: Fatal error!\n%s\n", step, detail);
}

struct Planes {
    std::unique_ptr<uint8_t[]> red, green, blue;
};

}  // namespace

int ReadBmpStream(std::FILE* file, uint32_t* outWidth, int32_t* outHeight, uint8_t** outRed, uint8_t** outGreen,
                  uint8_t** outBlue)
{
    uint8_t header1[14];
    if (std::fread(header1, 1, sizeof header1, file) != sizeof header1) {
        FatalBlock("BMP_READ", "  BMP_HEADER1_READ failed.");
        return 1;
    }
    if (header1[0] != 'B' || header1[1] != 'M') {
        std::printf("\nBMP_READ: Fatal error!\n");
        std::printf("  The file's internal magic number is not \"BM\".\n");
        std::printf("  with the numeric value %d\n\n", 16973);
        std::printf("  Instead, it is \"%c%c\".\n", header1[0], header1[1]);
        std::printf("  with the numeric value %u\n\n", unsigned(Field(header1, 2)));
        std::printf("  (Perhaps you need to reverse the byte swapping option!)\n");
        return 1;
    }
    const uint32_t dataOffset = Field(header1 + 10, 4);

    uint8_t header2[40];
    if (std::fread(header2, 1, sizeof header2, file) != sizeof header2) {
        FatalBlock("BMP_READ", "  BMP_HEADER2_READ failed.");
        return 1;
    }
    const uint32_t headerSize = Field(header2, 4);
    const uint32_t width = Field(header2 + 4, 4);
    const int32_t height = int32_t(Field(header2 + 8, 4));
    const uint32_t bitsPerPixel = Field(header2 + 14, 2);
    const uint32_t compression = Field(header2 + 16, 4);
    const uint32_t colorsUsed = Field(header2 + 32, 4);

    if (bitsPerPixel != 8 && bitsPerPixel != 24) {
        std::printf("\nBMP_READ: Fatal error!\n  Unrecognized value of BITSPERPIXEL = %u\n", unsigned(bitsPerPixel));
        return 1;
    }
    if (headerSize < 40) {
        std::printf("\nBMP_READ: Fatal error!\n  Unsupported information header of %u bytes.\n", unsigned(headerSize));
        return 1;
    }
    if (compression != 0) {
        std::printf("\nBMP_READ: Fatal error!\n  Compressed BMP data (method %u) is not supported.\n",
                    unsigned(compression));
        return 1;
    }
    const uint64_t rows = height < 0 ? uint64_t(-int64_t(height)) : uint64_t(height);
    const uint64_t pixelCount = uint64_t(width) * rows;
    const uint64_t bytesPerPixel = bitsPerPixel / 8;
    if (pixelCount == 0 || pixelCount > GetMaxImagePixels() || pixelCount * 3 > std::numeric_limits<uint32_t>::max()) {
        FatalBlock("BMP_READ", pixelCount == 0 ? "  The image has no pixels." : "  The image is too large.");
        return 1;
    }

    // An 8-bit file without a colour count has a full palette.
    uint8_t palette[256][4] = {};
    const uint64_t paletteStart = 14 + uint64_t(headerSize);
    uint64_t paletteEnd = paletteStart;
    if (bitsPerPixel == 8) {
        const uint32_t entries = colorsUsed == 0 || colorsUsed > 256 ? 256 : colorsUsed;
        if (paletteStart > uint64_t(std::numeric_limits<long>::max()) || std::fseek(file, long(paletteStart), SEEK_SET) != 0) {
            FatalBlock("BMP_READ", "  BMP_PALETTE_READ failed.");
            return 1;
        }
        for (uint32_t i = 0; i < entries; ++i) {
            const size_t got = std::fread(palette[i], 1, 4, file);
            if (got != 4) {
                static const char kNames[] = "BGRA";
                std::printf("\nBMP_PALETTE_READ: Fatal error!\n  Failed reading %c for palette color %u.\n",
                            kNames[got], unsigned(i));
                FatalBlock("BMP_READ", "  BMP_PALETTE_READ failed.");
                return 1;
            }
        }
        paletteEnd += uint64_t(entries) * 4;
    }

    // The pixels start where the file header says, unless that points into the headers.
    const uint64_t dataStart = dataOffset >= paletteStart ? dataOffset : paletteEnd;
    uint64_t fileSize = 0;
    if (std::fseek(file, 0, SEEK_END) == 0) fileSize = uint64_t(std::max(0L, std::ftell(file)));
    if (fileSize < dataStart || fileSize - dataStart < pixelCount * bytesPerPixel) {
        FatalBlock("BMP_READ", "  The file is too short for its width and height.");
        return 1;
    }
    if (std::fseek(file, long(dataStart), SEEK_SET) != 0) {
        FatalBlock("BMP_READ", "  Could not reach the bitmap data.");
        return 1;
    }

    Planes planes;
    planes.red.reset(new (std::nothrow) uint8_t[pixelCount]());
    planes.green.reset(new (std::nothrow) uint8_t[pixelCount]());
    planes.blue.reset(new (std::nothrow) uint8_t[pixelCount]());
    if (!planes.red || !planes.green || !planes.blue) {
        FatalBlock("BMP_READ", "  Not enough memory for the image.");
        return 1;
    }

    const char* step = bitsPerPixel == 8 ? "BMP_08_DATA_READ" : "BMP_24_DATA_READ";
    const size_t rowBytes = size_t(width) * bytesPerPixel;
    const size_t padding = (4 - rowBytes % 4) % 4;
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[rowBytes]);
    if (!row) return 1;
    for (uint64_t r = 0; r < rows; ++r) {
        const size_t got = std::fread(row.get(), 1, rowBytes, file);
        if (got != rowBytes) {
            static const char kComponent24[] = "BGR";
            const char component = bitsPerPixel == 8 ? 'R' : kComponent24[got % 3];
            std::printf("\n%s: Fatal error!\n  Failed reading %c for pixel (%u,%u).\n", step, component,
                        unsigned(got / bytesPerPixel), unsigned(r));
            std::printf("\nBMP_READ: Fatal error!\n  %s failed.\n", step);
            return 1;
        }
        const size_t base = size_t(r) * width;
        for (size_t c = 0; c < width; ++c) {
            if (bitsPerPixel == 8) {
                const uint8_t* entry = palette[row[c]];
                planes.blue[base + c] = entry[0];
                planes.green[base + c] = entry[1];
                planes.red[base + c] = entry[2];
            } else {
                planes.blue[base + c] = row[c * 3];
                planes.green[base + c] = row[c * 3 + 1];
                planes.red[base + c] = row[c * 3 + 2];
            }
        }
        for (size_t k = 0; k < padding; ++k) {
            if (std::fgetc(file) == EOF) {
                // The rows not read stay zero.
                std::printf("\n%s - Warning!\n  Failed while reading padding character %zu\n  of total %zu characters\n"
                            "  at the end of line %u\n\n  This is a minor error.\n",
                            step, k, padding, unsigned(r));
                r = rows;
                break;
            }
        }
    }
    *outWidth = width;
    *outHeight = height;
    *outRed = planes.red.release();
    *outGreen = planes.green.release();
    *outBlue = planes.blue.release();
    return 0;
}

int ReadBmpFile(const char* fileName, uint32_t* width, int32_t* height, uint8_t** red, uint8_t** green,
                uint8_t** blue)
{
    std::FILE* file = fileName ? std::fopen(fileName, "rb") : nullptr;
    if (!file) {
        std::printf("\nBMP_READ - Fatal error!\n  Could not open the input file.\n");
        return 1;
    }
    const int result = ReadBmpStream(file, width, height, red, green, blue);
    std::fclose(file);
    return result;
}

void CBmpImage::Free()
{
    delete[] pixels;
    pixels = nullptr;
    width = height = 0;
    bitsPerPixel = 0;
}

bool CBmpImage::Load(const CPath& path)
{
    uint32_t w = 0;
    int32_t h = 0;
    uint8_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (ReadBmpFile(path.GetFullPath(CPath::kPosix).c_str(), &w, &h, &red, &green, &blue) != 0) return false;
    std::unique_ptr<uint8_t[]> r(red), g(green), b(blue);
    const uint32_t rows = h < 0 ? uint32_t(-int64_t(h)) : uint32_t(h);
    uint8_t* block = NewBlock(uint64_t(w) * rows * 3);
    if (!block) return false;
    // A positive height stores the bottom row first.
    const bool bottomUp = h > 0;
    for (uint32_t y = 0; y < rows; ++y) {
        const size_t from = size_t(y) * w;
        uint8_t* out = block + size_t(bottomUp ? rows - 1 - y : y) * w * 3;
        for (uint32_t x = 0; x < w; ++x, out += 3) {
            out[0] = r[from + x];
            out[1] = g[from + x];
            out[2] = b[from + x];
        }
    }
    Adopt(block, w, rows, 24);
    return true;
}
