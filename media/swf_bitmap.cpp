#include "media/swf_bitmap.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <memory>
#include <vector>

#include "media/image.h"
#include "media/image_scale.h"
#include "media/jpeg_image.h"
#include "media/jpeg_sections.h"
#include "media/picture_file.h"
#include "ui/compress_buffer.h"

namespace {

// The tags hold width and height in 16 bits.
bool DimensionsFit(uint32_t width, uint32_t height)
{
    return width >= 1 && height >= 1 && width <= 0xFFFF && height <= 0xFFFF;
}

bool SizeFits(const uint8_t* pixels, uint32_t width, uint32_t height)
{
    return pixels && DimensionsFit(width, height);
}

struct Compressed {
    std::unique_ptr<unsigned char[]> bytes;
    unsigned long length = 0;
};

Compressed Deflate(const std::vector<uint8_t>& block)
{
    Compressed out;
    out.bytes.reset(CompressBuffer(block.data(), block.size(), &out.length));
    return out;
}

template <class Tag>
Tag* LosslessTag(uint8_t format, uint32_t width, uint32_t height, const std::vector<uint8_t>& block, int tableSize = 0)
{
    const Compressed packed = Deflate(block);
    if (!packed.bytes) return nullptr;
    auto* tag = new Tag(format);
    tag->SetWidth(uint16_t(width));
    tag->SetHeight(uint16_t(height));
    if (tableSize > 0) tag->SetColorTableSize(uint8_t(tableSize - 1));
    tag->SetData(packed.bytes.get(), packed.length);
    return tag;
}

size_t Padded(size_t rowBytes) { return (rowBytes + 3) & ~size_t(3); }

// Colour table (entryBytes per entry) and rows of indices padded to 4 bytes.
struct Quantized {
    std::unique_ptr<uint8_t[]> indices;
    uint8_t palette[256 * 4] = {};
    int count = 0;
};

bool Quantize(const uint8_t* pixels, uint32_t width, uint32_t height, Quantized* q)
{
    q->indices.reset(QuantizeColors(pixels, int(width), int(height), 24, 256, q->palette, &q->count));
    return q->indices && q->count >= 1;
}

void AppendIndexRows(const Quantized& q, uint32_t width, uint32_t height, std::vector<uint8_t>* block)
{
    const size_t rowBytes = Padded(width);
    const size_t start = block->size();
    block->resize(start + rowBytes * height, 0);
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(block->data() + start + y * rowBytes, q.indices.get() + size_t(y) * width, width);
}

}  // namespace

void CSwfBitmap::Clear()
{
    tag = nullptr;
    width = height = 0;
}

template <class Tag>
Tag* CSwfBitmap::Keep(Tag* made, uint32_t w, uint32_t h)
{
    if (!made) return nullptr;
    tag = made;
    width = w;
    height = h;
    return made;
}

CTagDefineBitsJPEG2* CSwfBitmap::MakeJpeg(const uint8_t* pixels, uint32_t w, uint32_t h, int quality)
{
    if (!SizeFits(pixels, w, h)) return nullptr;
    jpeg_.SetQuality(quality);
    if (!jpeg_.Compress(w, h, 24, pixels)) return nullptr;
    return Keep(new CTagDefineBitsJPEG2(0, jpeg_.pixels, jpeg_.compressedSize), w, h);
}

CTagDefineBitsJPEG3* CSwfBitmap::MakeJpegWithAlpha(const uint8_t* pixels, const uint8_t* alpha, uint32_t w,
                                                   uint32_t h, int quality)
{
    if (!SizeFits(pixels, w, h) || !alpha) return nullptr;
    // Players take the colours of a JPEG with alpha as premultiplied, as
    // they do those of DefineBitsLossless2.
    const size_t count = size_t(w) * h;
    std::vector<uint8_t> premultiplied(pixels, pixels + count * 3);
    for (size_t i = 0; i < count * 3; ++i) premultiplied[i] = uint8_t(premultiplied[i] * alpha[i / 3] / 255);
    jpeg_.SetQuality(quality);
    if (!jpeg_.Compress(w, h, 24, premultiplied.data())) return nullptr;
    unsigned long packedLength = 0;
    std::unique_ptr<unsigned char[]> packed(CompressBuffer(alpha, size_t(w) * h, &packedLength));
    if (!packed) return nullptr;
    return Keep(new CTagDefineBitsJPEG3(0, jpeg_.pixels, jpeg_.compressedSize, packed.get(), packedLength), w, h);
}

CTagDefineBitsJPEG2* CSwfBitmap::MakeJpegFromFile(const CPath& path, uint32_t w, uint32_t h)
{
    if (!DimensionsFit(w, h)) return nullptr;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(path.Fopen("rb"), std::fclose);
    struct stat st {};
    if (!file || ::fstat(::fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    // Pictures of other kinds can carry a JPEG thumbnail: not the picture.
    uint8_t head[32] = {};
    const PictureKind kind = SniffPictureKind(head, std::fread(head, 1, sizeof head, file.get()));
    if (kind != PictureKind::kJpeg && kind != PictureKind::kNone) return nullptr;
    // Only the picture's own stream is read, through its end marker: what
    // follows it in the file never goes into memory or the movie. A tag
    // holds less than 2 GB.
    uint64_t start = 0, length = 0;
    if (!FindMainJpegStream(file.get(), uint64_t(st.st_size), &start, &length) || length > 0x7FFFFFF0) return nullptr;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[length]);
    if (!bytes || fseeko(file.get(), off_t(start), SEEK_SET) != 0 ||
        std::fread(bytes.get(), 1, size_t(length), file.get()) != length)
        return nullptr;
    // A frame the player does not decode would leave the slide black.
    if (ReadJpegFrameKind(bytes.get(), size_t(length)).PlayersRefuse()) return nullptr;
    // A stream the file does not begin with lies among other data, which
    // the section reader refuses: it goes in as it stands, as does data
    // the section reader refuses.
    CJpegSections sections;
    size_t plainSize = 0;
    std::unique_ptr<uint8_t[]> plain(start > 0 ? nullptr : sections.BuildPlainJpeg(bytes.get(), size_t(length), &plainSize));
    if (plain) return Keep(new CTagDefineBitsJPEG2(0, plain.get(), plainSize), w, h);
    return Keep(new CTagDefineBitsJPEG2(0, bytes.get(), size_t(length)), w, h);
}

CTagDefineBitsLossless* CSwfBitmap::MakeLossless(const uint8_t* pixels, uint32_t w, uint32_t h, int bits)
{
    if (!SizeFits(pixels, w, h)) return nullptr;
    switch (bits) {
    case 8:
        return Keep(BuildLosslessBitmap8(pixels, w, h), w, h);
    case 15:
        return Keep(BuildLosslessBitmap15(pixels, w, h), w, h);
    case 24:
    case 32:
        return Keep(BuildLosslessBitmap32(pixels, w, h), w, h);
    default:
        return nullptr;
    }
}

CTagDefineBitsLossless2* CSwfBitmap::MakeLosslessAlpha(const uint8_t* pixels, const uint8_t* alpha, uint32_t w,
                                                       uint32_t h, int bits)
{
    if (!SizeFits(pixels, w, h)) return nullptr;
    switch (bits) {
    case 8:
        return Keep(BuildLossless2Bitmap8(pixels, alpha, w, h), w, h);
    case 24:
    case 32:
        return Keep(BuildLossless2Bitmap32(pixels, alpha, w, h), w, h);
    default:
        return nullptr;
    }
}

CTagDefineBitsLossless* CSwfBitmap::BuildLosslessBitmap8(const uint8_t* pixels, uint32_t w, uint32_t h)
{
    if (!SizeFits(pixels, w, h)) return nullptr;
    Quantized q;
    if (!Quantize(pixels, w, h, &q)) return nullptr;
    std::vector<uint8_t> block;
    block.reserve(size_t(q.count) * 3 + Padded(w) * h);
    for (int i = 0; i < q.count; ++i) block.insert(block.end(), q.palette + i * 4, q.palette + i * 4 + 3);
    AppendIndexRows(q, w, h, &block);
    return LosslessTag<CTagDefineBitsLossless>(CTagDefineBitsLossless::kColorMapped8, w, h, block, q.count);
}

CTagDefineBitsLossless* CSwfBitmap::BuildLosslessBitmap15(const uint8_t* pixels, uint32_t w, uint32_t h)
{
    if (!SizeFits(pixels, w, h)) return nullptr;
    const size_t rowBytes = Padded(size_t(w) * 2);
    std::vector<uint8_t> block(rowBytes * h, 0);
    // c × 31 / 255 + 0.5, truncated, in integers.
    auto five = [](unsigned c) { return (c * 62 + 255) / 510; };
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* in = pixels + size_t(y) * w * 3;
        uint8_t* out = block.data() + y * rowBytes;
        for (uint32_t x = 0; x < w; ++x, in += 3, out += 2) {
            const unsigned v = five(in[0]) << 10 | five(in[1]) << 5 | five(in[2]);
            out[0] = uint8_t(v >> 8);
            out[1] = uint8_t(v);
        }
    }
    return LosslessTag<CTagDefineBitsLossless>(CTagDefineBitsLossless::kRgb15, w, h, block);
}

CTagDefineBitsLossless* CSwfBitmap::BuildLosslessBitmap32(const uint8_t* pixels, uint32_t w, uint32_t h)
{
    if (!SizeFits(pixels, w, h)) return nullptr;
    const size_t count = size_t(w) * h;
    std::vector<uint8_t> block(count * 4);
    for (size_t i = 0; i < count; ++i) {
        block[i * 4] = 0;
        std::memcpy(&block[i * 4 + 1], pixels + i * 3, 3);
    }
    return LosslessTag<CTagDefineBitsLossless>(CTagDefineBitsLossless::kRgb32, w, h, block);
}

CTagDefineBitsLossless2* CSwfBitmap::BuildLossless2Bitmap8(const uint8_t* pixels, const uint8_t* alpha, uint32_t w,
                                                           uint32_t h)
{
    if (!SizeFits(pixels, w, h)) return nullptr;
    // Colour and alpha are quantised together: an entry's pixels share its alpha.
    Quantized q;
    q.indices.reset(QuantizeColorsWithAlpha(pixels, alpha, int(w), int(h), 256, q.palette, &q.count));
    if (!q.indices || q.count < 1) return nullptr;
    std::vector<uint8_t> block;
    block.reserve(size_t(q.count) * 4 + Padded(w) * h);
    for (int i = 0; i < q.count; ++i) {
        const uint8_t* c = q.palette + i * 4;
        const unsigned a = c[3];
        block.insert(block.end(), {uint8_t(c[0] * a / 255), uint8_t(c[1] * a / 255), uint8_t(c[2] * a / 255),
                                   uint8_t(a)});
    }
    AppendIndexRows(q, w, h, &block);
    return LosslessTag<CTagDefineBitsLossless2>(CTagDefineBitsLossless::kColorMapped8, w, h, block, q.count);
}

CTagDefineBitsLossless2* CSwfBitmap::BuildLossless2Bitmap32(const uint8_t* pixels, const uint8_t* alpha, uint32_t w,
                                                            uint32_t h)
{
    if (!SizeFits(pixels, w, h)) return nullptr;
    const size_t count = size_t(w) * h;
    std::vector<uint8_t> block(count * 4);
    for (size_t i = 0; i < count; ++i) {
        const unsigned a = alpha ? alpha[i] : 255;
        const uint8_t* c = pixels + i * 3;
        block[i * 4] = uint8_t(a);
        block[i * 4 + 1] = uint8_t(c[0] * a / 255);
        block[i * 4 + 2] = uint8_t(c[1] * a / 255);
        block[i * 4 + 3] = uint8_t(c[2] * a / 255);
    }
    return LosslessTag<CTagDefineBitsLossless2>(CTagDefineBitsLossless::kRgb32, w, h, block);
}
