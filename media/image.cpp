#include "media/image.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "media/bmp_file.h"
#include "media/image_scale.h"
#include "platform/regular_file.h"

namespace {

uint64_t g_maxImagePixels = std::numeric_limits<uint64_t>::max();

uint8_t* NewBlock(uint64_t size)
{
    if (size > std::numeric_limits<uint32_t>::max()) return nullptr;
    return new (std::nothrow) uint8_t[size_t(size)];
}

}  // namespace

void SetMaxImagePixels(uint64_t pixels) { g_maxImagePixels = pixels; }
uint64_t GetMaxImagePixels() { return g_maxImagePixels; }

static_assert(kMaxImageSide * kMaxImageSide * 4 <= std::numeric_limits<uint32_t>::max());

std::string ImageSizeRefusal(uint64_t width, uint64_t height)
{
    if (width == 0 || height == 0) return "has no pixels";
    if (width > kMaxImageSide || height > kMaxImageSide)
        return "is too large: more than " + std::to_string(kMaxImageSide) + " pixels a side";
    if (width * height > g_maxImagePixels) return "is too large: more than " + std::to_string(g_maxImagePixels) + " pixels";
    return "";
}

bool ImageSizeAllowed(uint64_t width, uint64_t height) { return ImageSizeRefusal(width, height).empty(); }

bool ReadFileHead(const CPath& path, size_t limit, std::vector<uint8_t>* bytes)
{
    bytes->clear();
    std::FILE* file = path.Fopen("rb");
    if (!file) return false;
    // One block of the file's size where it can be told, up to the limit.
    struct stat st {};
    const bool sized = ::fstat(::fileno(file), &st) == 0 && S_ISREG(st.st_mode);
    bytes->resize(sized ? std::min<uint64_t>(uint64_t(st.st_size), limit) : std::min<size_t>(limit, 65536));
    bytes->resize(std::fread(bytes->data(), 1, bytes->size(), file));
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

// BMP files, through the one reader.

namespace {

// The planes ReadBmpFile hands out: rows in file order.
void ToPlanes(const BmpPicture& picture, uint8_t** red, uint8_t** green, uint8_t** blue)
{
    const size_t count = size_t(picture.width) * picture.height;
    auto r = std::make_unique<uint8_t[]>(count), g = std::make_unique<uint8_t[]>(count),
         b = std::make_unique<uint8_t[]>(count);
    const int bpp = picture.bitsPerPixel / 8;
    const bool bottomUp = picture.storedHeight > 0;
    for (uint32_t y = 0; y < picture.height; ++y) {
        const uint8_t* in = picture.pixels.get() + size_t(bottomUp ? picture.height - 1 - y : y) * picture.width * bpp;
        const size_t at = size_t(y) * picture.width;
        for (uint32_t x = 0; x < picture.width; ++x, in += bpp) r[at + x] = in[0], g[at + x] = in[1], b[at + x] = in[2];
    }
    *red = r.release();
    *green = g.release();
    *blue = b.release();
}

void Report(std::string* diagnostics, const std::string& text)
{
    if (diagnostics) *diagnostics = text;
}

}  // namespace

int ReadBmpStream(std::FILE* file, uint32_t* width, int32_t* height, uint8_t** red, uint8_t** green, uint8_t** blue,
                  std::string* diagnostics)
{
    BmpBytes bytes;
    BmpPicture picture;
    std::string report;
    const bool ok = ReadBmpBytes(file, &bytes, &report) && DecodeBmp(bytes.data.get(), bytes.size, &picture, &report);
    Report(diagnostics, report);
    if (!ok) return 1;
    *width = picture.width;
    *height = picture.storedHeight;
    ToPlanes(picture, red, green, blue);
    return 0;
}

int ReadBmpFile(const char* fileName, uint32_t* width, int32_t* height, uint8_t** red, uint8_t** green,
                uint8_t** blue, std::string* diagnostics)
{
    std::FILE* file = fileName ? platform::OpenRegularStream(fileName) : nullptr;
    if (!file) {
        Report(diagnostics, "\nBMP_READ - Fatal error!\n  Could not open the input file.\n");
        return 1;
    }
    const int result = ReadBmpStream(file, width, height, red, green, blue, diagnostics);
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
    std::FILE* file = CPath(path.GetFullPath(CPath::kPosix).c_str()).Fopen("rb");
    if (!file) {
        lastError = "\nBMP_READ - Fatal error!\n  Could not open the input file.\n";
        return false;
    }
    BmpBytes bytes;
    BmpPicture picture;
    const bool read = ReadBmpBytes(file, &bytes, &lastError);
    std::fclose(file);
    if (!read || !DecodeBmp(bytes.data.get(), bytes.size, &picture, &lastError)) return false;
    const size_t count = size_t(picture.width) * picture.height;
    uint8_t* block = NewBlock(uint64_t(count) * 3);
    if (!block) return false;
    // Always 24 bits: alpha a file may carry is dropped.
    const int bpp = picture.bitsPerPixel / 8;
    for (size_t i = 0; i < count; ++i) std::memcpy(block + i * 3, picture.pixels.get() + i * bpp, 3);
    Adopt(block, picture.width, picture.height, 24);
    return true;
}
