#pragma once
// Still pictures opened as movies of one frame. The kind is told by the
// file's first bytes, never by its name: JPEG, PNG, GIF (its first frame),
// TIFF (its first page) and BMP are read; anything else is no picture.
// Pixels are kept as decoded: 3 bytes R, G, B, or 4 with A when the picture
// has transparency, rows top-down and packed.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/path.h"

namespace platform {
class FileLook;
}

enum class PictureKind { kNone, kJpeg, kPng, kGif, kTiff, kBmp };

// The kind the leading bytes announce.
PictureKind SniffPictureKind(const uint8_t* data, size_t length);

// What a picture file's structure says, read without decoding its pixels:
// its kind (none for a file that is no picture), its size, and whether it
// opens and decodes: the header and, for PNG, BMP, GIF and TIFF, that the
// data the decoder reads is all in the file (PNG's checksums too). A JPEG
// whose data is cut or damaged decodes as far as it goes, so its header
// decides. Data that is all there but wrong inside (a broken compressed
// stream) is not seen.
struct PictureProbe {
    PictureKind kind = PictureKind::kNone;
    uint32_t width = 0, height = 0;
    bool readable = false;
    std::string error;  // why not, when not
};
// With look, one look at the file already taken: a file of no picture kind
// is told by its head, without opening it again.
PictureProbe ProbePicture(const CPath& path, const platform::FileLook* look = nullptr);

// Why a picture that fails to open does: "" unless its file is too large to
// read into memory (the one kind read whole is BMP), for a picture that was
// judged whole before and now does not decode.
std::string PictureTooLargeToRead(const CPath& path);

// Pixel decodes made so far by this process, for checks that a picture is
// decoded once.
uint64_t PictureDecodeCount();
class CKeptBlock;

struct PicturePixels {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitsPerPixel = 0;  // 24 or 32
    std::unique_ptr<uint8_t[]> pixels;
    const uint8_t* kept = nullptr;  // the pixels when they lie in a kept block

    const uint8_t* Data() const { return pixels ? pixels.get() : kept; }
};

class PictureFile {
public:
    // False, with the reason in LastError(), when the file is not a picture
    // of a kind read here or cannot be read; what was open is closed. With
    // look, as ProbePicture.
    bool Open(const CPath& path, const platform::FileLook* look = nullptr);
    void Close();
    bool IsOpen() const { return kind_ != PictureKind::kNone; }
    PictureKind Kind() const { return kind_; }
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    // Whether the pixels carry alpha (4 bytes each).
    bool HasAlpha() const { return hasAlpha_; }
    const std::string& LastError() const { return error_; }
    // Whether the last failure was a file too large to read into memory.
    bool TooLargeToRead() const { return tooLarge_; }

    // The pixels, decoded no smaller than minWidth × minHeight where the
    // format can decode at a reduced size (JPEG: 1/2, 1/4 or 1/8), else at
    // full size. The file is read again when nothing is held; null when it
    // cannot be decoded or no longer matches what was opened.
    const PicturePixels* Pixels(uint32_t minWidth, uint32_t minHeight);
    // Lets the decoded pixels go: a picture kept open holds only its path.
    void Release();
    // JPEG pixels are decoded into block, which outlives their use and
    // keeps its memory for the next picture; null: a block of their own.
    void DecodeInto(CKeptBlock* block) { keep_ = block; }

private:
    bool Fail(const std::string& why);
    // The reason on failure, else empty.
    std::string Decode(int denominator);

    PictureKind kind_ = PictureKind::kNone;
    CPath path_;
    uint32_t width_ = 0, height_ = 0;
    bool hasAlpha_ = false;
    std::string error_;
    bool tooLarge_ = false;
    int denominator_ = 0;
    PicturePixels decoded_;
    CKeptBlock* keep_ = nullptr;
};
