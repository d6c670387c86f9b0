#pragma once
// PNG through libpng: decoding into 24- or 32-bit images with a separate
// alpha plane, and writing offscreen worlds as PNG files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "media/image.h"

struct PngJob;

// What the PNG decoder and the check of a PNG's chunks both say of a chunk
// whose stored checksum does not match its bytes.
extern const char kPngChecksumWrong[];

class CPngImage : public CImage {
public:
    ~CPngImage() override = default;

    // Also releases the background record and the alpha plane.
    void Free() override;
    // Decodes the length bytes of a PNG file, never reading past them. A
    // failure leaves an empty image.
    bool Decode(const uint8_t* data, size_t length);
    // The same from the stream's position, read as the library asks: what
    // follows the end chunk is never read.
    bool DecodeStream(std::FILE* file);
    bool Load(const CPath& path) override;
    // Writes the world's pixels as an 8-bit RGB file. The target is
    // replaced only once the whole file has been written.
    static bool Save(GWorldPtr world, const CPath& path);

    // Why the last decode failed, in this program's words (libpng's own
    // sentences are not passed on).
    const std::string& GetLastError() const { return lastError; }
    // Why a decode that succeeded is not whole: the data broke after some
    // rows, which are kept (the rest zero); empty for a whole picture.
    const std::string& GetDamage() const { return damage; }

    // The header fields as read (colour type 0 grey, 2 RGB, 3 palette,
    // 4 grey with alpha, 6 RGB with alpha).
    int colorType = 0;
    int interlaceType = 0;
    int compressionType = 0;
    int filterType = 0;
    // Of the decoded rows: 3 or 4.
    int channels = 0;
    // Off: the file's background colour is recorded but not composited,
    // so the rows keep their alpha.
    bool applyBackground = true;
    // R, G, B of the file's background colour in 8 bits, or null. The
    // pixels are then composited onto it.
    std::unique_ptr<uint8_t[]> background;
    // width × height alpha values when the rows have 4 channels.
    std::unique_ptr<uint8_t[]> alpha;

private:
    bool Decode(PngJob& job);

    std::string lastError;
    std::string damage;
};
