// SWF bitmap builders: the bytes of each kind, and one movie with every
// kind checked by the independent parser and played.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "media/jpeg_image.h"
#include "media/swf_bitmap.h"
#include "support/swf_tools.h"
#include "picture_bytes.h"
#include "support/test_support.h"
#include "swf/checked_movie.h"
#include "ui/compress_buffer.h"

namespace {

using namespace picture_test;

Bytes Inflate(const std::vector<uint8_t>& data)
{
    unsigned long length = 0;
    std::unique_ptr<unsigned char[]> out(UncompressBuffer(data.data(), data.size(), &length));
    return out ? Bytes(out.get(), out.get() + length) : Bytes{};
}

Bytes Solid(uint32_t w, uint32_t h, Bytes rgb)
{
    Bytes out;
    for (uint32_t i = 0; i < w * h; ++i) out.insert(out.end(), rgb.begin(), rgb.end());
    return out;
}

TEST(SwfBitmap, LosslessBytes)
{
    // 3 × 2 at 15 bits: white, 8-grey, black / red, green, blue; rows of 6 + 2 pad bytes.
    const Bytes six = {255, 255, 255, 8, 8, 8, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    const Bytes fiveColours = {1, 1, 1, 200, 0, 0, 1, 1, 1, 0, 0, 200, 200, 0, 0};
    const uint8_t half[] = {128};
    struct Case {
        const char* name;
        CTagDefineBitsLossless* tag;
        int code, format, width, height, tableSize;  // entries − 1; −1: no table
        Bytes data;  // inflated; pad bytes are zero here
    };
    CSwfBitmap b;
    const Case cases[] = {
        {"15-bit", b.MakeLossless(six.data(), 3, 2, 15), 20, 4, 3, 2, -1,
         {0x7F, 0xFF, 0x04, 0x21, 0, 0, 0, 0, 0x7C, 0x00, 0x03, 0xE0, 0x00, 0x1F, 0, 0}},
        // Colour table of 3 × 3 bytes in octree order, one row of 5 + 3 pad bytes.
        {"8-bit", b.MakeLossless(fiveColours.data(), 5, 1, 8), 20, 3, 5, 1, 2,
         {1, 1, 1, 0, 0, 200, 200, 0, 0, 0, 2, 0, 1, 2, 0, 0, 0}},
        {"24-bit", b.MakeLossless(six.data(), 1, 1, 24), 20, 5, 1, 1, -1, {0, 255, 255, 255}},
        {"32-bit alpha", b.MakeLosslessAlpha(Bytes{200, 100, 50}.data(), half, 1, 1, 32), 36, 5, 1, 1, -1,
         {128, 100, 50, 25}},
        {"opaque without a plane", b.MakeLosslessAlpha(Bytes{200, 100, 50}.data(), nullptr, 1, 1, 24), 36, 5, 1, 1,
         -1, {255, 200, 100, 50}},
        // One entry: the colour premultiplied by its pixels' mean alpha.
        {"8-bit alpha", b.MakeLosslessAlpha(Bytes{200, 100, 50}.data(), half, 1, 1, 8), 36, 3, 1, 1, 0,
         {100, 50, 25, 128, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.tag, nullptr) << c.name;
        std::unique_ptr<CTagDefineBitsLossless> tag(c.tag);
        EXPECT_EQ(std::make_tuple(tag->GetTagCode(), tag->GetFormat(), tag->GetWidth(), tag->GetHeight()),
                  std::make_tuple(c.code, c.format, c.width, c.height))
            << c.name;
        EXPECT_TRUE(c.tableSize < 0 || tag->colorTableSize == c.tableSize) << c.name;
        EXPECT_EQ(Inflate(tag->data), c.data) << c.name;
    }
}

TEST(SwfBitmap, RefusesWhatTheTagsCannotHold)
{
    const Bytes pixels(3 * 4, 9);
    CSwfBitmap b;
    std::unique_ptr<CSwfDefineTag> first(b.MakeLossless(pixels.data(), 2, 2, 24));
    ASSERT_TRUE(first);
    struct Case {
        const char* name;
        CSwfDefineTag* tag;
    } cases[] = {
        {"no width", b.MakeLossless(pixels.data(), 0, 1, 24)},
        {"no height", b.MakeLosslessAlpha(pixels.data(), nullptr, 1, 0, 32)},
        {"too wide", b.MakeLossless(pixels.data(), 65536, 1, 8)},
        {"too tall", b.MakeJpeg(pixels.data(), 1, 65536, 80)},
        {"16 bits", b.MakeLossless(pixels.data(), 2, 2, 16)},
        {"alpha at 15 bits", b.MakeLosslessAlpha(pixels.data(), nullptr, 2, 2, 15)},
        {"no pixels", b.MakeLossless(nullptr, 2, 2, 24)},
        {"no alpha plane", b.MakeJpegWithAlpha(pixels.data(), nullptr, 2, 2, 80)},
        {"no file", b.MakeJpegFromFile(CPath("/no/such/picture.jpg"), 2, 2)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.tag, nullptr) << c.name;
        delete c.tag;
    }
    EXPECT_EQ(b.tag, first.get());  // the last success stays
    EXPECT_EQ(b.width, 2u);
    b.Clear();
    EXPECT_EQ(b.tag, nullptr);
}

TEST(SwfBitmap, JpegTags)
{
    const Bytes pixels = Solid(4, 4, {10, 200, 30});
    const Bytes alpha(16, 77);
    CSwfBitmap b;
    std::unique_ptr<CTagDefineBitsJPEG3> jpeg3(b.MakeJpegWithAlpha(pixels.data(), alpha.data(), 4, 4, 90));
    ASSERT_TRUE(jpeg3);
    EXPECT_EQ(jpeg3->GetTagCode(), 35);
    EXPECT_EQ(Bytes(jpeg3->data.begin(), jpeg3->data.begin() + 2), (Bytes{0xFF, 0xD8}));
    EXPECT_EQ(Inflate(jpeg3->alphaData), alpha);

    // A file with a comment and leading garbage: the section reader refuses
    // it, so the stream goes in from FF D8 to FF D9 as it stands.
    CJpegImage jpeg;
    ASSERT_TRUE(jpeg.Compress(4, 4, 24, pixels.data()));
    const Bytes stream(jpeg.pixels, jpeg.pixels + jpeg.compressedSize);
    Bytes withComment = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x04, 'h', 'i'};
    withComment.insert(withComment.end(), stream.begin() + 2, stream.end());
    Bytes garbage = {'j', 'u', 'n', 'k'};
    garbage.insert(garbage.end(), withComment.begin(), withComment.end());
    garbage.insert(garbage.end(), {1, 2, 3});
    tavrel_test::TempDir dir;
    ASSERT_TRUE(WriteBytes(dir.file("plain.jpg"), withComment));
    ASSERT_TRUE(WriteBytes(dir.file("junk.jpg"), garbage));

    std::unique_ptr<CTagDefineBitsJPEG2> plain(b.MakeJpegFromFile(CPath(dir.file("plain.jpg")), 4, 4));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->GetTagCode(), 21);
    EXPECT_EQ(b.width, 4u);
    // The comment is gone and the stream ends as libjpeg wrote it.
    EXPECT_EQ(plain->data.size(), stream.size());
    EXPECT_EQ(Bytes(plain->data.end() - 100, plain->data.end()), Bytes(stream.end() - 100, stream.end()));
    std::unique_ptr<CTagDefineBitsJPEG2> raw(b.MakeJpegFromFile(CPath(dir.file("junk.jpg")), 4, 4));
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->data, withComment);
}

// Size of the picture a tag's JPEG stream decodes to.
std::pair<uint32_t, uint32_t> DecodedSize(const std::vector<uint8_t>& stream)
{
    std::FILE* f = fmemopen(const_cast<uint8_t*>(stream.data()), stream.size(), "rb");
    CJpegImage jpeg;
    const bool ok = f && jpeg.LoadStream(f);
    if (f) std::fclose(f);
    return ok ? std::make_pair(jpeg.width, jpeg.height) : std::make_pair(0u, 0u);
}

// A camera's photograph carries a thumbnail in its EXIF section; the
// picture is what goes into the movie, whatever the section reader makes
// of the file.
TEST(SwfBitmap, JpegFromFileIsThePictureNotItsThumbnail)
{
    auto compressed = [](uint32_t w, uint32_t h) {
        const Bytes pixels = Solid(w, h, {200, 40, 40});
        CJpegImage jpeg;
        EXPECT_TRUE(jpeg.Compress(w, h, 24, pixels.data()));
        return Bytes(jpeg.pixels, jpeg.pixels + jpeg.compressedSize);
    };
    const Bytes photo = compressed(64, 48), thumbnail = compressed(16, 12);
    const std::string exifPayload = std::string("Exif\0\0", 6) + std::string(thumbnail.begin(), thumbnail.end());
    const size_t exifLength = exifPayload.size() + 2;
    const Bytes exif = Cat({{0xFF, 0xE1, uint8_t(exifLength >> 8), uint8_t(exifLength)},
                            Bytes(exifPayload.begin(), exifPayload.end())});
    const Bytes soi = {0xFF, 0xD8}, rest(photo.begin() + 20, photo.end());  // after SOI and JFIF
    // A PNG whose text chunk happens to hold a JPEG stream.
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.insert(png.end(), thumbnail.begin(), thumbnail.end());
    struct Case {
        const char* name;
        Bytes file;
        bool made;
    };
    const Case cases[] = {
        // libjpeg: "1 extraneous bytes before marker 0xdb".
        {"a stray byte", Cat({soi, exif, {0x00}, rest}), true},
        {"seven fill bytes", Cat({soi, exif, Bytes(7, 0xFF), rest}), true},
        {"a thumbnail in a PNG", png, false},
    };
    tavrel_test::TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.file("photo.jpg");
        ASSERT_TRUE(WriteBytes(path, c.file));
        CSwfBitmap b;
        std::unique_ptr<CTagDefineBitsJPEG2> tag(b.MakeJpegFromFile(CPath(path), 64, 48));
        ASSERT_EQ(tag != nullptr, c.made) << c.name;
        if (tag) {
            EXPECT_EQ(DecodedSize(tag->data), std::make_pair(64u, 48u)) << c.name;
        }
    }
}

// An alpha plane that is opaque on the left and transparent on the right
// (black beneath both, as editors store it) keeps both halves apart at 8 bits.
TEST(SwfBitmap, EightBitAlphaKeepsOpaqueAndTransparent)
{
    const Bytes black = Solid(4, 1, {0, 0, 0});
    const uint8_t alpha[] = {255, 255, 0, 0};
    CSwfBitmap b;
    std::unique_ptr<CTagDefineBitsLossless2> tag(b.MakeLosslessAlpha(black.data(), alpha, 4, 1, 8));
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->colorTableSize, 1);
    // Entries: transparent, then opaque black; the row of indices.
    EXPECT_EQ(Inflate(tag->data), (Bytes{0, 0, 0, 0, 0, 0, 0, 255, 1, 1, 0, 0}));
}

// One movie of every bitmap kind, each filling a 30 × 30 block on a blue stage.
TEST(SwfBitmap, EveryKindPlays)
{
    using namespace checked_movie;
    constexpr uint32_t kSide = 30;
    const Bytes red = Solid(kSide, kSide, {200, 40, 40});
    const Bytes green = Solid(kSide, kSide, {40, 200, 40});
    const Bytes yellow = Solid(kSide, kSide, {255, 255, 0});
    const Bytes magenta = Solid(kSide, kSide, {255, 0, 255});
    const Bytes cyan = Solid(kSide, kSide, {0, 255, 255});
    const Bytes orange = Solid(kSide, kSide, {255, 128, 0});
    const Bytes half(kSide * kSide, 128);
    CSwfBitmap b;
    std::vector<CSwfDefineTag*> bitmaps = {
        b.MakeJpeg(red.data(), kSide, kSide, 90),
        b.MakeJpegWithAlpha(green.data(), half.data(), kSide, kSide, 90),
        b.MakeLossless(yellow.data(), kSide, kSide, 8),
        b.MakeLossless(magenta.data(), kSide, kSide, 15),
        b.MakeLossless(cyan.data(), kSide, kSide, 32),
        b.MakeLosslessAlpha(orange.data(), half.data(), kSide, kSide, 8),
        b.MakeLosslessAlpha(orange.data(), half.data(), kSide, kSide, 32),
    };
    // Over blue (0, 0, 255) at alpha 128 the player shows colour × 128/255
    // plus 127 of blue. The colours of both kinds with alpha are stored
    // premultiplied and are multiplied once more, so the JPEG's green and the
    // lossless orange blend alike; 8- and 32-bit lossless bitmaps too.
    const std::vector<tavrel_test::PixelExpect> expect = {
        {25, 25, 0xC82828, 8},  {65, 25, 0x0A3289, 8},  {105, 25, 0xFFFF00, 0}, {145, 25, 0xFF00FF, 0},
        {185, 25, 0x00FFFF, 0}, {225, 25, 0x40207F, 3}, {265, 25, 0x40207F, 3},
    };
    tavrel_test::TempDir dir;
    const std::string path = dir.file("bitmaps.swf");
    CSwfMovie movie;
    movie.SetHeader(290 * kPx, 60 * kPx, 12.0f, 8);
    ASSERT_TRUE(movie.Open(CPath(path), false));
    movie.AddTag(new CTagSetBackgroundColor(0, 0, 255));
    for (size_t i = 0; i < bitmaps.size(); ++i) {
        ASSERT_NE(bitmaps[i], nullptr) << i;
        const uint16_t id = uint16_t(1 + i), shape = uint16_t(11 + i);
        bitmaps[i]->SetCharacterId(id);
        movie.AddTag(bitmaps[i]);
        movie.AddTag(Rectangle(shape, 0, 0, kSide * kPx, kSide * kPx, PixelFill(id)));
        movie.AddTag(Place(shape, uint16_t(1 + i), 10 + int(i) * 40, 10));
    }
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    ASSERT_GT(movie.Close(), 0u) << movie.GetError();

    tavrel_test::ExpectDumpAccepts(path, {"DefineBitsJPEG2", "DefineBitsJPEG3", "DefineBitsLossless2"});
    tavrel_test::ExpectShotPixels(path, 1, expect);
}

}  // namespace
