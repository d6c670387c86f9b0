#pragma once
// The one BMP reader. Windows headers (40 bytes and longer) and OS/2 headers
// (the 12-byte 1.x header and the 16- to 64-byte 2.x headers); 1, 4 and 8
// bits through a palette, 16 and 32 bits with or without bit-field masks,
// 24 bits; uncompressed data, and 8- and 4-bit run-length encoded data.
// Nothing is printed: what went wrong comes back as the reader's diagnostic
// lines.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct BmpPicture {
    uint32_t width = 0;
    uint32_t height = 0;       // rows
    int32_t storedHeight = 0;  // as the file has it: positive for bottom-up rows
    int bitsPerPixel = 0;      // 24, or 32 when an alpha mask gives alpha
    // R, G, B (and A) per pixel, rows top-down and packed.
    std::unique_ptr<uint8_t[]> pixels;
    // Run-length data that leaves the picture (past its rows' padding or its
    // last row) or ends early: what it drew is kept, the rest is palette
    // entry 0; empty when all is well.
    std::string damage;
};

// False on failure; *report receives the diagnostic lines either way (a cut
// row padding is a warning, and the rows after it stay black).
bool DecodeBmp(const uint8_t* data, size_t size, BmpPicture* out, std::string* report);

// What the headers and palette say of the pixel rows.
struct BmpLayout {
    uint64_t width = 0, rows = 0;
    int32_t storedHeight = 0;
    uint32_t depth = 0;
    uint64_t dataStart = 0;  // offset of the first row in the file
    uint64_t unpadded = 0, rowBytes = 0;  // 0 for run-length data
    bool runLength = false;
    uint32_t masks[4] = {};        // red, green, blue, alpha bit fields
    uint8_t palette[256][3] = {};  // B, G, R
};

// Everything DecodeBmp checks before it reads the rows, from the first size
// bytes of a file of fileSize bytes; size must take in the headers, the bit
// fields and the palette (the first 14 + header size + 1024 bytes will do).
bool ReadBmpLayout(const uint8_t* data, size_t size, uint64_t fileSize, BmpLayout* out, std::string* report);
// Whether DecodeBmp, given the whole file, reads its rows without failing.
bool BmpRowsComplete(const BmpLayout& layout, uint64_t fileSize);
// How far into the file DecodeBmp reads: to the end of the rows, or for
// run-length data as far as any encoding of the rows reaches.
uint64_t BmpDataEnd(const BmpLayout& layout);

// The bytes of a BMP file that DecodeBmp reads, from the stream's position:
// the headers and palette, then as far as the rows go (BmpDataEnd), never
// more, so that a picture followed by gigabytes is read as the picture.
// False, with the report, when the stream cannot be read or the bytes do
// not fit in memory.
struct BmpBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    bool tooLarge = false;  // they did not fit in memory
};
bool ReadBmpBytes(std::FILE* file, BmpBytes* out, std::string* report);
// Only the headers and palette, all ReadBmpLayout needs.
bool ReadBmpHead(std::FILE* file, BmpBytes* out, std::string* report);

// What a report says went wrong, in one line of the program's words (the
// file ends early, a kind not read, too large), as the other picture
// readers say it.
std::string BmpReason(const std::string& report);
// A BMP whose headers, palette or rows the file ends before.
inline constexpr const char* kBmpDataEndsEarly = "BMP data ends early";
