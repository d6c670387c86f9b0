#pragma once
// Builds one SWF bitmap character tag from a prepared picture: JPEG
// (DefineBitsJPEG2, or DefineBitsJPEG3 with an alpha plane) or lossless
// (DefineBitsLossless at 8, 15 or 32 bits, DefineBitsLossless2 at 8 or 32
// bits with alpha).
//
// Pixels are 3 bytes R, G, B, rows top-down and packed; an alpha plane is
// one byte per pixel in the same order (255 opaque). Every builder returns
// a new tag for the caller to number and add to a movie, or null when the
// size does not fit the tag's 16-bit fields (1..65535) or encoding fails;
// the object then keeps its previous fields.
#include <cstdint>

#include "foundation/path.h"
#include "media/jpeg_image.h"
#include "swf/bitmaps.h"

class CSwfBitmap {
public:
    CSwfBitmap() = default;
    // Forgets the tag (the movie owns it) and the size.
    void Clear();

    CTagDefineBitsJPEG2* MakeJpeg(const uint8_t* pixels, uint32_t width, uint32_t height, int quality);
    CTagDefineBitsJPEG3* MakeJpegWithAlpha(const uint8_t* pixels, const uint8_t* alpha, uint32_t width,
                                           uint32_t height, int quality);
    // The file's JPEG stream without its metadata, not re-encoded; the size
    // stored is the one given. Null for a picture of another kind (PNG,
    // GIF, TIFF, BMP), whose own pixels are to be encoded instead.
    CTagDefineBitsJPEG2* MakeJpegFromFile(const CPath& path, uint32_t width, uint32_t height);
    // bits 8, 15, or 24 and 32 (both give format 5); null for any other.
    CTagDefineBitsLossless* MakeLossless(const uint8_t* pixels, uint32_t width, uint32_t height, int bits);
    // bits 8, or 24 and 32; a null alpha plane is opaque everywhere.
    CTagDefineBitsLossless2* MakeLosslessAlpha(const uint8_t* pixels, const uint8_t* alpha, uint32_t width,
                                               uint32_t height, int bits);

    static CTagDefineBitsLossless* BuildLosslessBitmap8(const uint8_t* pixels, uint32_t width, uint32_t height);
    static CTagDefineBitsLossless* BuildLosslessBitmap15(const uint8_t* pixels, uint32_t width, uint32_t height);
    static CTagDefineBitsLossless* BuildLosslessBitmap32(const uint8_t* pixels, uint32_t width, uint32_t height);
    // Colour and alpha quantised together: opaque pixels stay opaque,
    // transparent ones transparent; entries premultiplied by their alpha.
    static CTagDefineBitsLossless2* BuildLossless2Bitmap8(const uint8_t* pixels, const uint8_t* alpha,
                                                          uint32_t width, uint32_t height);
    // Colours premultiplied by alpha.
    static CTagDefineBitsLossless2* BuildLossless2Bitmap32(const uint8_t* pixels, const uint8_t* alpha,
                                                           uint32_t width, uint32_t height);

    uint32_t width = 0;
    uint32_t height = 0;
    CSwfDefineTag* tag = nullptr;

private:
    template <class Tag>
    Tag* Keep(Tag* made, uint32_t w, uint32_t h);

    // Kept with its stream's block, so that one builder used for picture
    // after picture takes that memory once.
    CJpegImage jpeg_;
};
