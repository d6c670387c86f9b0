#pragma once
// The in-memory picture: a packed block of 24-bit (R, G, B) or 32-bit
// (R, G, B, A) pixels, rows top-down with no padding, and the BMP reader.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/path.h"
#include "platform/gworld.h"

// Decoders refuse pictures of more pixels than this (a few bytes of header
// can claim gigabytes). The default admits anything a 32-bit size can hold.
void SetMaxImagePixels(uint64_t pixels);
uint64_t GetMaxImagePixels();
// The one size rule of every picture reader: some pixels, no side longer
// than kMaxImageSide (what a QuickDraw box holds, so 4-byte pixels stay
// within 32 bits), and no more than SetMaxImagePixels allows.
constexpr uint64_t kMaxImageSide = 32767;
bool ImageSizeAllowed(uint64_t width, uint64_t height);
// Why a size is refused, to follow "the picture": "has no pixels", "is too
// large: more than 32767 pixels a side", ...; "" when it is allowed.
std::string ImageSizeRefusal(uint64_t width, uint64_t height);

// Reads the first bytes of a file ("rb"), at most limit of them (a file
// may be larger than memory); false when it cannot be opened or read.
bool ReadFileHead(const CPath& path, size_t limit, std::vector<uint8_t>* bytes);

class CImage {
public:
    CImage() = default;
    virtual ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // Releases the pixel block; the dimensions stay.
    virtual void Free();
    // The plain buffer reads nothing.
    virtual bool Load(const CPath& path);

    // Null pixels: a new uninitialised block. copy: a new block filled from
    // pixels. Otherwise the image adopts pixels (a new[] block). False only
    // when the size does not fit 32 bits or cannot be allocated; the image
    // is then empty.
    bool Create(uint32_t width, uint32_t height, uint16_t bitsPerPixel, uint8_t* pixels, bool copy);
    bool CopyFrom(const CImage& other);

    // 24-bit copy of a 24- or 32-bit world; false for any other world.
    bool FromGWorld(GWorldPtr world);
    // Writes the picture into a 24- or 32-bit world at (left, top), clipped
    // to the world; 24-bit pixels become opaque.
    void ToGWorld(GWorldPtr world, int left, int top);

    // Triangle-filter resampling; unchanged when the resampler gives nothing.
    void Resize(uint32_t newWidth, uint32_t newHeight);
    void FlipVertical();
    void FlipHorizontal();
    // Quarter and half turns (0, ±90, ±180, ±270); other angles do nothing.
    void Rotate(int degrees);

    int BytesPerPixel() const { return bitsPerPixel / 8; }

    uint32_t size = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerPixel = 0;
    uint8_t* pixels = nullptr;

protected:
    // Drops the block and the dimensions: what a failed decoder leaves.
    void MakeEmpty();
    // Replaces the block by `block` (new[]) of the given geometry.
    void Adopt(uint8_t* block, uint32_t w, uint32_t h, uint16_t bits);
};

class CBmpImage : public CImage {
public:
    ~CBmpImage() override = default;
    // Also zeroes the dimensions.
    void Free() override;
    // Any picture the BMP reader reads, turned upright, as 24 bits.
    bool Load(const CPath& path) override;
    // The reader's diagnostic lines of the last Load.
    const std::string& GetLastError() const { return lastError; }

private:
    std::string lastError;
};

// Reads a BMP file into three planes of width × |height| bytes (new[]
// blocks the caller releases), rows in file order; the height is returned
// as stored. The reader's diagnostic lines go to *diagnostics when given;
// nothing is printed. 0 on success.
int ReadBmpFile(const char* fileName, uint32_t* width, int32_t* height, uint8_t** red, uint8_t** green,
                uint8_t** blue, std::string* diagnostics = nullptr);
// The same over an open stream, read from its position to its end.
int ReadBmpStream(std::FILE* file, uint32_t* width, int32_t* height, uint8_t** red, uint8_t** green,
                  uint8_t** blue, std::string* diagnostics = nullptr);
// On (the default): two- and four-byte fields are little-endian, as BMP
// files store them; off reads them big-endian.
void SetBmpByteSwapping(bool on);
