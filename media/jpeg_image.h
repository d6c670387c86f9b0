#pragma once
// JPEG through libjpeg (6b interface): compression of 24-bit pixels into
// memory and decoding of JPEG files into 24-bit images.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/image.h"

class CKeptBlock;

// While one lives, the JPEG decodes of its thread hand it libjpeg's warnings
// (data cut short or damaged: the picture is decoded as far as it goes)
// instead of dropping them, and movie frames what their decoder said of
// damage it concealed. Collectors nest; the innermost one collects.
class CJpegWarnings {
public:
    CJpegWarnings();
    ~CJpegWarnings();
    CJpegWarnings(const CJpegWarnings&) = delete;
    CJpegWarnings& operator=(const CJpegWarnings&) = delete;

    // Each different text once, in the order they came.
    const std::vector<std::string>& Get() const { return warnings_; }
    void Add(const std::string& text);
    // Adds text to the thread's innermost collector; dropped without one.
    static void AddToCurrent(const std::string& text);

private:
    CJpegWarnings* outer_;
    std::vector<std::string> warnings_;
};

class CJpegImage : public CImage {
public:
    ~CJpegImage() override = default;

    void Free() override;
    // Clamped to 0..100.
    void SetQuality(int value);
    int GetQuality() const { return quality; }

    // Compresses width × height pixels of 3 bytes R, G, B (rows top-down,
    // packed). Afterwards `pixels` holds the JPEG stream: its first
    // compressedSize bytes count and `size` is the block's capacity; the
    // dimensions are not touched. bitsPerPixel is accepted, not used.
    bool Compress(uint32_t width, uint32_t height, int bitsPerPixel, const uint8_t* input);

    // Decodes into 24-bit R, G, B whatever the file's colour space (grey,
    // YCbCr, RGB, CMYK or YCCK); a failure leaves an empty image.
    bool Load(const CPath& path) override;
    bool LoadStream(std::FILE* file);
    // As LoadStream, the pixels going into block, which the caller keeps
    // for the next picture: the image holds the size and depth, no pixels.
    bool LoadStreamInto(std::FILE* file, CKeptBlock* block);

    // 1, 2, 4 or 8: Load and LoadStream decode at that fraction of the
    // size, through libjpeg's own scaling (each side rounded up).
    void SetScaleDenominator(int denominator);
    int GetScaleDenominator() const { return scaleDenominator; }

    // Why the last operation failed (JpegTroubleWords).
    const std::string& GetLastError() const { return lastError; }

    uint32_t compressedSize = 0;
    int quality = 80;

private:
    bool Decode(std::FILE* file, CKeptBlock* kept);

    std::string lastError;
    int scaleDenominator = 1;
};

// libjpeg's message codes (jerror.h) in this program's words, for every
// line that says what is wrong with a JPEG: the library's own sentences
// never reach the user.
std::string JpegTroubleWords(int messageCode);
// Whether a warning of that code means part of the picture is lost. Those
// that do not (an unknown JFIF revision, unused scan fields set oddly, a
// damaged colour profile, which is not used) leave a picture decoded whole.
bool JpegWarningMeansDamage(int messageCode);

// The picture size from the stream's header, without decoding; false when
// the stream is no readable JPEG.
bool ReadJpegSize(std::FILE* file, uint32_t* width, uint32_t* height);
// Why the header of the JPEG file of fileSize bytes (ReadJpegSize false)
// does not read, in the words of every line that says so, whatever the
// slide's image type: a kind this program does not decode, named by the one
// judge of kinds ("a lossless JPEG, which this program does not decode"), a
// height that follows the data, or "damaged JPEG header". Reads the file
// again from its start.
std::string JpegHeaderTrouble(std::FILE* file, uint64_t fileSize);

// The first complete JPEG stream (FF D8 … FF D9) in the buffer: its first
// byte, and its length through the end marker in *outLength. A later
// FF D8 before the end replaces the start. Null when there is none.
const uint8_t* FindJpegStream(const uint8_t* data, int32_t length, int32_t* outLength);
