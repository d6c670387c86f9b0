// Pictures on their way through the program into a movie, as a user meets
// them: OS/2 bitmaps, cameras' JPEGs with thumbnails and stray bytes, and
// transparency at 8 bits. Each movie is played and looked at.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../media/picture_fixtures.h"
#include "../show/show_test_util.h"
#include "program_runner.h"
#include "support/swf_tools.h"
#include "support/test_support.h"

namespace {

using cli_test::ProgramResult;
using cli_test::RunProgram;
using tavrel_test::TempDir;

constexpr int kWidth = 64, kHeight = 48;
constexpr long kRed = 0xC82828;

class MediaRoadTest : public testing::Test {
protected:
    // A 64 × 48 show on white with one slide of the picture.
    ProgramResult Compile(const std::string& picture, const std::string& slideAttributes, bool quiet = true)
    {
        const std::string project = show_test::WrapShow(
            "<slide_show width=\"64\" height=\"48\" bg_color=\"16777215\">\n<slides>\n<slide type=\"image\" src=\"" +
            picture + "\"" + slideAttributes + " />\n</slides>\n</slide_show>\n");
        EXPECT_TRUE(tavrel_test::WriteFile(dir_.file("show.tvr"), project));
        return RunProgram(quiet ? std::vector<std::string>{"--quiet", "show.tvr", "show.swf"}
                                : std::vector<std::string>{"show.tvr", "show.swf"},
                          dir_.path());
    }

    // Frame 1 of the movie: each pixel within 24 of its colour per channel.
    void ExpectPixels(const std::vector<tavrel_test::PixelExpect>& pixels)
    {
        tavrel_test::ExpectShotPixels(dir_.file("show.swf"), 1, pixels);
    }

    TempDir dir_;
};

// ppmtobmp -os2 writes the 12-byte header of OS/2 1.x.
TEST_F(MediaRoadTest, Os2BitmapIsASlide)
{
    if (tavrel_test::RunCommand("command -v ppmtobmp >/dev/null && command -v ppmmake >/dev/null").exitCode != 0)
        GTEST_SKIP() << "netpbm not installed";
    for (const char* bits : {"24", "8", "1"}) {
        SCOPED_TRACE(bits);
        const std::string bmp = dir_.file("os2.bmp");
        ASSERT_EQ(tavrel_test::RunCommand("(ppmmake rgb:c8/28/28 64 48 | ppmtobmp -os2 -bpp=" + std::string(bits) +
                                          " > '" + bmp + "') 2>/dev/null")
                      .exitCode,
                  0);
        const ProgramResult r = Compile(bmp, "");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        // No slide left out, and nothing of the picture reader on standard output.
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "");
        ExpectPixels({{32, 24, kRed, 24}, {2, 2, kRed, 24}, {61, 45, kRed, 24}});
    }
}

// Run-length BMPs of 64 × 48 written here, bottom-up: 24 red rows; a row of a
// literal (2 2 3 3) and a blue run; a move 10 rows up (rows left white); 13
// rows of green, a move right over 16 white pixels, blue. Pixels are checked
// where the picture is drawn 1:1, lossless.
TEST_F(MediaRoadTest, RunLengthBitmapsShowAsWritten)
{
    auto file = [](int bits, const std::vector<uint8_t>& data) {
        const uint32_t entries = 1u << bits, offset = 14 + 40 + 4 * entries;
        std::string b = "BM";
        auto put = [&b](uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i) b += char(v >> (8 * i));
        };
        put(offset + uint32_t(data.size()), 4), put(0, 4), put(offset, 4);
        put(40, 4), put(64, 4), put(48, 4), put(1, 2), put(uint32_t(bits), 2), put(bits == 8 ? 1 : 2, 4);
        put(uint32_t(data.size()), 4), put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
        // 0x00RRGGBB is B, G, R, 0 in the file: white, red, green, blue, and again.
        const uint32_t colours[4] = {0xFFFFFF, 0xC82828, 0x28C828, 0x2828C8};
        for (uint32_t i = 0; i < entries; ++i) put(colours[i % 4], 4);
        return b + std::string(data.begin(), data.end());
    };
    auto stream = [](bool four, int firstRun) {
        const auto pair = [four](int index) { return uint8_t(four ? index * 17 : index); };
        std::vector<uint8_t> d;
        for (int y = 0; y < 24; ++y) d.insert(d.end(), {uint8_t(y == 0 ? firstRun : 64), pair(1), 0, 0});
        if (four)
            d.insert(d.end(), {0, 4, 0x22, 0x33});
        else
            d.insert(d.end(), {0, 4, 2, 2, 3, 3});
        d.insert(d.end(), {60, pair(3), 0, 0, 0, 2, 0, 10});
        for (int y = 0; y < 13; ++y) d.insert(d.end(), {32, pair(2), 0, 2, 16, 0, 16, pair(3), 0, 0});
        d.insert(d.end(), {0, 1});
        return d;
    };
    const struct {
        const char* name;
        std::string bmp;
        const char* said;
    } cases[] = {
        {"RLE8", file(8, stream(false, 64)), ""},
        {"RLE4", file(4, stream(true, 64)), ""},
        {"run past the edge", file(8, stream(false, 70)),
         "is damaged (a run passes the picture's edge at row 0): the slide shows what could be decoded\n"},
    };
    constexpr long kWhite = 0xFFFFFF, kGreen = 0x28C828, kBlue = 0x2828C8;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("rle.bmp"), c.bmp));
        const ProgramResult run = Compile(dir_.file("rle.bmp"), " image_type=\"rgb_24\"", false);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        if (!*c.said) {
            EXPECT_EQ(run.err, "");
        }
        ExpectPixels({{32, 37, kRed}, {63, 24, kRed}, {32, 17, kWhite}, {1, 23, kGreen}, {3, 23, kBlue},
                      {10, 7, kGreen}, {40, 7, kWhite}, {56, 7, kBlue}, {0, 0, kGreen}});
    }
}

// A camera's file: an EXIF section holding a thumbnail of another colour,
// and a stray byte before a marker that libjpeg passes over.
TEST_F(MediaRoadTest, ImportedJpegIsThePhotoNotItsThumbnail)
{
    auto compressed = [](int w, int h, uint8_t r, uint8_t g, uint8_t b) {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < w * h; ++i) pixels.insert(pixels.end(), {r, g, b});
        CJpegImage jpeg;
        EXPECT_TRUE(jpeg.Compress(uint32_t(w), uint32_t(h), 24, pixels.data()));
        return std::string(reinterpret_cast<const char*>(jpeg.pixels), jpeg.compressedSize);
    };
    const std::string photo = compressed(kWidth, kHeight, 200, 40, 40), thumbnail = compressed(16, 12, 0, 160, 0);
    const std::string exif = std::string("Exif\0\0", 6) + thumbnail;
    const size_t length = exif.size() + 2;
    const std::string file = photo.substr(0, 2) + "\xFF\xE1" + char(length >> 8) + char(length) + exif +
                             std::string(1, '\0') + photo.substr(20);
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("camera.jpg"), file));
    const ProgramResult r = Compile(dir_.file("camera.jpg"), " image_type=\"jpeg_import_data\"");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The photo fills the stage, corners too.
    ExpectPixels({{32, 24, kRed, 24}, {2, 2, kRed, 24}, {61, 45, kRed, 24}});
}

// A JPEG players do not decode goes in encoded again, said; one the player
// loads itself is said, as a file that is no JPEG is.
TEST_F(MediaRoadTest, JpegsThePlayerWouldNotShowAreSaid)
{
    const std::string ppm = dir_.file("red.ppm"), arith = dir_.file("arith.jpg");
    std::string pixels = "P6\n64 48\n255\n";
    for (int i = 0; i < kWidth * kHeight; ++i) pixels += "\xC8\x28\x28";
    ASSERT_TRUE(tavrel_test::WriteFile(ppm, pixels));
    if (tavrel_test::RunCommand("cjpeg -arithmetic '" + ppm + "' > '" + arith + "' 2>/dev/null").exitCode != 0)
        GTEST_SKIP() << "cjpeg without arithmetic coding";
    ASSERT_TRUE(picture_test::WritePng(dir_.file("red.png"), kWidth, kHeight,
                                       std::vector<picture_test::Rgba>(kWidth * kHeight, {200, 40, 40, 255}), false));
    const struct {
        std::string picture, type, said;
        bool shown;
    } cases[] = {
        {arith, "jpeg_import_data",
         "jpeg_import_data: the file's JPEG is arithmetic-coded, which players do not show: encoded again at quality 80\n",
         true},
        {arith, "jpeg_external", "jpeg_external: the file's JPEG is arithmetic-coded, which players do not show\n", false},
        {dir_.file("red.png"), "jpeg_external", "jpeg_external: the player loads only JPEG files, and this is none\n",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const ProgramResult r = Compile(c.picture, " image_type=\"" + c.type + "\"", false);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.err.find("\": " + c.said), std::string::npos) << r.err;
        if (c.shown) ExpectPixels({{32, 24, kRed, 24}, {2, 2, kRed, 24}});
    }
}

// Black with alpha 0 beside opaque black, as many editors store transparency.
TEST_F(MediaRoadTest, EightBitTransparencyKeepsOpaqueAndTransparent)
{
    using picture_test::Rgba;
    std::vector<Rgba> pixels(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) pixels[size_t(y) * kWidth + x] = {0, 0, 0, uint8_t(x < kWidth / 2 ? 255 : 0)};
    ASSERT_TRUE(picture_test::WritePng(dir_.file("half.png"), kWidth, kHeight, pixels, true));
    const ProgramResult r = Compile(dir_.file("half.png"), " image_type=\"rgb_8_transparent\"");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ExpectPixels({{8, 24, 0x000000, 8}, {56, 24, 0xFFFFFF, 8}});
}

}  // namespace
