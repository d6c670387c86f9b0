// Pictures on their way through the program into a movie, as a user meets
// them: OS/2 bitmaps, cameras' JPEGs with thumbnails and stray bytes, and
// transparency at 8 bits. Each movie is played and looked at.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "../media/picture_fixtures.h"
#include "../show/show_test_util.h"
#include "program_runner.h"
#include "support/swf_tools.h"
#include "support/test_movies.h"
#include "support/test_support.h"
#include "swf/bitmaps.h"
#include "swf/reader.h"
#include "ui/compress_buffer.h"

namespace {

using cli_test::ProgramResult;
using cli_test::RunProgram;
using tavrel_test::TempDir;

constexpr int kWidth = 64, kHeight = 48;
constexpr long kRed = 0xC82828;

// A w × h BMP of 1 << bits palette entries (white, red, green, blue, and
// again), its data run-length encoded or uncompressed rows, bottom-up.
std::string IndexedBmp(int bits, int w, int h, const std::vector<uint8_t>& data, bool runLength = true)
{
    const uint32_t entries = 1u << bits, offset = 14 + 40 + 4 * entries;
    std::string b = "BM";
    auto put = [&b](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b += char(v >> (8 * i));
    };
    put(offset + uint32_t(data.size()), 4), put(0, 4), put(offset, 4);
    put(40, 4), put(uint32_t(w), 4), put(uint32_t(h), 4), put(1, 2), put(uint32_t(bits), 2);
    put(runLength ? (bits == 8 ? 1 : 2) : 0, 4);
    put(uint32_t(data.size()), 4), put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
    // 0x00RRGGBB is B, G, R, 0 in the file.
    const uint32_t colours[4] = {0xFFFFFF, 0xC82828, 0x28C828, 0x2828C8};
    for (uint32_t i = 0; i < entries; ++i) put(colours[i % 4], 4);
    return b + std::string(data.begin(), data.end());
}

// The same picture uncompressed, from its palette indices, rows top-down.
std::string PlainBmp(int bits, const std::vector<std::vector<uint8_t>>& rows)
{
    const int w = int(rows[0].size()), h = int(rows.size());
    std::vector<uint8_t> data;
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> packed((size_t(w) * bits + 31) / 32 * 4);
        for (int x = 0; x < w; ++x)
            packed[size_t(x) * bits / 8] |= uint8_t(rows[size_t(y)][size_t(x)] << (bits == 4 && x % 2 == 0 ? 4 : 0));
        data.insert(data.end(), packed.begin(), packed.end());
    }
    return IndexedBmp(bits, w, h, data, false);
}

// Where a field of a little-endian TIFF's first page keeps its values,
// and their width in bytes; {0, 0} without the field.
std::pair<size_t, int> TiffValues(const std::string& t, uint16_t tag)
{
    auto u16 = [&t](size_t at) { return uint32_t(uint8_t(t[at])) | uint32_t(uint8_t(t[at + 1])) << 8; };
    auto u32 = [&u16](size_t at) { return u16(at) | u16(at + 2) << 16; };
    const size_t ifd = u32(4);
    for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
        const size_t e = ifd + 2 + 12 * size_t(i);
        if (u16(e) != tag) continue;
        const int width = u16(e + 2) == 3 ? 2 : 4;
        return {u32(e + 4) * width <= 4 ? e + 8 : u32(e + 8), width};
    }
    return {0, 0};
}
uint32_t TiffValue(const std::string& t, uint16_t tag, int index)
{
    const auto [at, width] = TiffValues(t, tag);
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = v << 8 | uint8_t(t[at + size_t(index * width + i)]);
    return v;
}
void SetTiffValue(std::string& t, uint16_t tag, int index, uint32_t v)
{
    const auto [at, width] = TiffValues(t, tag);
    for (int i = 0; i < width; ++i) t[at + size_t(index * width + i)] = char(v >> (8 * i));
}
// Strip or tile index's bytes (offsets 273 or 324, counts 279 or 325)
// overwritten with bytes of no pattern.
void ScrambleTiffBlock(std::string& t, bool tiled, int index)
{
    const uint32_t at = TiffValue(t, tiled ? 324 : 273, index), count = TiffValue(t, tiled ? 325 : 279, index);
    uint32_t seed = 12345;
    for (uint32_t i = 0; i < count; ++i) t[at + i] = char((seed = seed * 1103515245 + 12345) >> 16);
}

// The data of a movie's first bitmap, lossless (deflated) or JPEG, as stored.
std::vector<uint8_t> FirstBitmap(const std::string& movie)
{
    CSwfReader reader;
    std::vector<uint8_t> data;
    EXPECT_TRUE(reader.Parse(CPath(movie.c_str()), true, 0, true)) << movie;
    for (CSwfTag* tag : reader.GetTags(nullptr)) {
        if (!data.empty()) break;
        if (auto* lossless = dynamic_cast<CTagDefineBitsLossless*>(tag)) data = lossless->data;
        if (auto* jpeg = dynamic_cast<CTagDefineBitsJPEG2*>(tag)) data = jpeg->data;
    }
    reader.ClearTags(true);
    return data;
}

// The movie's bitmaps in order: each one's size and tag data (a lossless
// one's inflated to ARGB), and a JPEG one's pixels decoded.
struct MovieBitmap {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> data;
    std::vector<uint8_t> rgb;
    bool argb = false;  // a lossless bitmap of 32-bit pixels with alpha, premultiplied
    bool operator==(const MovieBitmap& o) const { return width == o.width && height == o.height && data == o.data; }
    // A lossless bitmap's pixel as 0xRRGGBB; -1 outside it.
    long Rgb(int x, int y) const
    {
        const size_t at = (size_t(y) * width + size_t(x)) * 4;
        return !rgb.empty() || at + 4 > data.size() ? -1 : long(data[at + 1]) << 16 | long(data[at + 2]) << 8 | data[at + 3];
    }
};
std::vector<MovieBitmap> Bitmaps(const std::string& movie)
{
    CSwfReader reader;
    std::vector<MovieBitmap> bitmaps;
    EXPECT_TRUE(reader.Parse(CPath(movie.c_str()), true, 0, true)) << movie;
    for (CSwfTag* tag : reader.GetTags(nullptr)) {
        unsigned long n = 0;
        if (auto* lossless = dynamic_cast<CTagDefineBitsLossless*>(tag)) {
            const std::unique_ptr<unsigned char[]> argb(
                UncompressBuffer(lossless->data.data(), lossless->data.size(), &n));
            bitmaps.push_back({lossless->width, lossless->height, {argb.get(), argb.get() + (argb ? n : 0)}, {},
                               lossless->GetTagCode() == swf_tag::kDefineBitsLossless2 &&
                                   lossless->GetFormat() == CTagDefineBitsLossless::kRgb32});
        } else if (const auto* bits = dynamic_cast<const CTagDefineBitsJPEG2*>(tag)) {
            std::vector<uint8_t> jpeg = bits->data;
            // The players' erroneous header before the stream, where it is written.
            if (jpeg.size() > 4 && jpeg[0] == 0xFF && jpeg[1] == 0xD9) jpeg.erase(jpeg.begin(), jpeg.begin() + 4);
            std::FILE* file = ::fmemopen(jpeg.data(), jpeg.size(), "rb");
            CJpegImage image;
            EXPECT_TRUE(file && image.LoadStream(file)) << image.GetLastError();
            if (file) std::fclose(file);
            const uint8_t* pixels = image.pixels;
            bitmaps.push_back({image.width, image.height, bits->data,
                               std::vector<uint8_t>(pixels, pixels + (pixels ? size_t(image.width) * image.height * 3 : 0))});
        }
    }
    reader.ClearTags(true);
    return bitmaps;
}

class MediaRoadTest : public testing::Test {
protected:
    // A 64 × 48 show on white with one slide of the picture.
    ProgramResult Compile(const std::string& picture, const std::string& slideAttributes, bool quiet = true,
                          bool strict = false, const std::vector<std::string>& env = {})
    {
        const std::string project = show_test::WrapShow(
            "<slide_show width=\"64\" height=\"48\" bg_color=\"16777215\">\n<slides>\n<slide type=\"image\" src=\"" +
            picture + "\"" + slideAttributes + " />\n</slides>\n</slide_show>\n");
        EXPECT_TRUE(tavrel_test::WriteFile(dir_.file("show.tvr"), project));
        std::vector<std::string> args = {"show.tvr", "show.swf"};
        if (quiet) args.insert(args.begin(), "--quiet");
        if (strict) args.insert(args.begin(), "--strict");
        return RunProgram(args, dir_.path(), env);
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
        // No slide left out, and nothing of the picture reader on standard
        // output: only the line saying what was written.
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.substr(0, r.out.find(": ")), "show.swf") << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        ExpectPixels({{32, 24, kRed, 24}, {2, 2, kRed, 24}, {61, 45, kRed, 24}});
    }
}

// Run-length BMPs of 64 × 48 written here, bottom-up: 24 red rows; a row of a
// literal (2 2 3 3) and a blue run; a move 10 rows up (rows left white); 13
// rows of green, a move right over 16 white pixels, blue. Pixels are checked
// where the picture is drawn 1:1, lossless.
TEST_F(MediaRoadTest, RunLengthBitmapsShowAsWritten)
{
    auto file = [](int bits, const std::vector<uint8_t>& data) { return IndexedBmp(bits, kWidth, kHeight, data); };
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
         "is damaged (a run passes the picture's edge at row 48 from the top): the slide shows what could be "
         "decoded\n"},
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

// Run-length BMPs as programs write them, tiled TIFFs, and TIFFs and PNGs
// damaged partway, each against the same picture stored plainly (for a
// damaged one, what decodes, the rest black): the movie's bitmap is the same
// to the byte, and what is said of the file names rows as the picture is
// seen. ImageMagick encodes each row's padding pixels too, 8-bit only; the
// rows made here do so at 4 bits.
TEST_F(MediaRoadTest, CompressedAndDamagedPicturesMatchThePlainOne)
{
    struct Case {
        std::string name, rle, plain;
        int w, h;
        std::string said;  // of the run-length file, "" for nothing
    };
    std::vector<Case> cases;
    const std::string convert = tavrel_test::ImageMagickConvert();
    if (!convert.empty()) {
        for (const char* format : {"BMP3", "BMP"})
            for (const char* size : {"17x7", "6x5", "31x3"}) {
                const std::string source = convert + " -size " + size + " gradient:red-blue -colors 16 " +
                                           "-type Palette ", at = "'" + dir_.file("im") + "'";
                ASSERT_EQ(tavrel_test::RunCommand(source + "-compress RLE " + format + ":" + at + ".rle.bmp && " + source +
                                                  "-compress None " + format + ":" + at + ".plain.bmp")
                              .exitCode,
                          0);
                const int w = std::stoi(size), h = std::stoi(std::string(size).substr(std::string(size).find('x') + 1));
                cases.push_back({std::string("ImageMagick ") + format + " " + size,
                                 tavrel_test::ReadFile(dir_.file("im.rle.bmp")),
                                 tavrel_test::ReadFile(dir_.file("im.plain.bmp")), w, h, ""});
            }
    }
    // 5 × 3 in rows padded to 8 pixels, by runs (8-bit) or literals (4-bit).
    const std::vector<std::vector<uint8_t>> stripes = {{1, 1, 1, 1, 1}, {2, 2, 2, 2, 2}, {3, 3, 3, 3, 3}};
    cases.push_back({"RLE8 padded", IndexedBmp(8, 5, 3, {5, 3, 3, 0, 0, 0, 5, 2, 3, 0, 0, 0, 5, 1, 3, 0, 0, 0, 0, 1}),
                     PlainBmp(8, stripes), 5, 3, ""});
    cases.push_back({"RLE4 padded",
                     IndexedBmp(4, 5, 3, {0, 8, 0x33, 0x33, 0x30, 0x00, 0, 0, 5, 0x22, 3, 0x00, 0, 0, 0, 6, 0x11, 0x11,
                                          0x10, 0x00, 0, 0, 0, 1}),
                     PlainBmp(4, stripes), 5, 3, ""});
    // A third row in a picture of two: the two drawn, the third said.
    const std::vector<std::vector<uint8_t>> two = {{2, 2, 2, 2}, {1, 1, 1, 1}};
    cases.push_back({"RLE8 past the last row", IndexedBmp(8, 4, 2, {4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 0, 0, 1}),
                     PlainBmp(8, two), 4, 2, "the run-length data goes on past the picture's last row"});
    cases.push_back({"RLE4 past the last row", IndexedBmp(4, 4, 2, {4, 0x11, 0, 0, 4, 0x22, 0, 0, 0, 4, 0x33, 0x33, 0, 1}),
                     PlainBmp(4, two), 4, 2, "the run-length data goes on past the picture's last row"});
    // The second row stored, the third from the top, runs past its padding.
    cases.push_back({"RLE8 bottom-up damage", IndexedBmp(8, 4, 4, {4, 1, 0, 0, 9, 2, 0, 0, 4, 3, 0, 0, 4, 1, 0, 0, 0, 1}),
                     PlainBmp(8, {{1, 1, 1, 1}, {3, 3, 3, 3}, {2, 2, 2, 2}, {1, 1, 1, 1}}), 4, 4,
                     "a run passes the picture's edge at row 3 from the top"});
    // The file ends inside a literal: the four indices it holds are drawn;
    // or once every pixel is drawn, without the ends of row and picture.
    const std::vector<std::vector<uint8_t>> cut = {{1, 2, 1, 2, 0, 0}, {3, 3, 3, 3, 3, 3}};
    cases.push_back({"RLE8 literal cut short", IndexedBmp(8, 6, 2, {6, 3, 0, 0, 0, 6, 1, 2, 1, 2}), PlainBmp(8, cut),
                     6, 2, "the run-length data ends at row 1 from the top"});
    cases.push_back({"RLE4 literal cut short", IndexedBmp(4, 6, 2, {6, 0x33, 0, 0, 0, 6, 0x12, 0x12}), PlainBmp(4, cut),
                     6, 2, "the run-length data ends at row 1 from the top"});
    cases.push_back({"RLE8 without its ends", IndexedBmp(8, 6, 2, {6, 3, 0, 0, 6, 1}),
                     PlainBmp(8, {{1, 1, 1, 1, 1, 1}, {3, 3, 3, 3, 3, 3}}), 6, 2, ""});
    // A 97 x 64 ramp as ppm2tiff writes it in LZW strips of 8 rows, strip 3
    // (rows 25 to 32) damaged: its byte count 0, or its bytes scrambled; in
    // deflated tiles of 32 x 32, tile 5 (the second row's second) scrambled.
    // What does not decode shows black, the rest as stored.
    const auto ramp = [](int x, int y) { return picture_test::Rgba{uint8_t(x * 2), uint8_t(y * 3), 128, 255}; };
    std::string ppm = "P6\n97 64\n255\n";
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 97; ++x) ppm += {char(ramp(x, y).r), char(ramp(x, y).g), char(ramp(x, y).b)};
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("ramp.ppm"), ppm));
    ASSERT_EQ(tavrel_test::RunCommand("cd '" + dir_.path() + "' && ppm2tiff -c lzw -r 8 ramp.ppm s.tif && " +
                                      "tiffcp -c zip -t -w 32 -l 32 s.tif z.tif")
                  .exitCode,
              0);
    const auto without = [&](int x0, int y0, int x1, int y1) {
        std::vector<picture_test::Rgba> pixels;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 97; ++x)
                pixels.push_back(x >= x0 && x < x1 && y >= y0 && y < y1 ? picture_test::Rgba{0, 0, 0, 255} : ramp(x, y));
        EXPECT_TRUE(picture_test::WritePng(dir_.file("plain.png"), 97, 64, pixels, false));
        return tavrel_test::ReadFile(dir_.file("plain.png"));
    };
    std::string strips = tavrel_test::ReadFile(dir_.file("s.tif")), empty = strips, tiles = tavrel_test::ReadFile(dir_.file("z.tif"));
    SetTiffValue(empty, 279, 3, 0);
    ScrambleTiffBlock(strips, false, 3);
    ScrambleTiffBlock(tiles, true, 5);
    cases.push_back({"TIFF strip of 0 bytes", empty, without(0, 24, 97, 32), 97, 64, "damaged TIFF data in 1 of 8 strips"});
    cases.push_back({"TIFF LZW strip scrambled", strips, without(0, 24, 97, 32), 97, 64, "damaged TIFF data in 1 of 8 strips"});
    cases.push_back({"TIFF deflated tile scrambled", tiles, without(32, 32, 64, 64), 97, 64, "damaged TIFF data in 1 of 8 tiles"});
    // 16-bit grey in tiles of 16 that the picture's right edge cuts: as its strips.
    if (!convert.empty())
        for (const char* size : {"40x40", "5x130"})
            for (const char* compression : {"none", "lzw"}) {
                ASSERT_EQ(tavrel_test::RunCommand("cd '" + dir_.path() + "' && " + convert + " -size " + size +
                                                  " gradient:white-black -colorspace gray -depth 16 g.tif && tiffcp -c " +
                                                  compression + " -t -w 16 -l 16 g.tif gt.tif")
                              .exitCode,
                          0);
                const int w = std::stoi(size), h = std::stoi(std::string(size).substr(std::string(size).find('x') + 1));
                cases.push_back({std::string("16-bit grey tiles ") + size + " " + compression,
                                 tavrel_test::ReadFile(dir_.file("gt.tif")), tavrel_test::ReadFile(dir_.file("g.tif")), w, h, ""});
            }
    // A PNG whose image data breaks at 80 % under right checksums: the rows
    // whose data is all there, the rest black.
    {
        std::string rows;
        for (int y = 0; y < 64; ++y) {
            rows += '\0';
            for (int x = 0; x < 97; ++x) rows += {char(ramp(x, y).r), char(ramp(x, y).g), char(ramp(x, y).b)};
        }
        std::string packed(compressBound(uLong(rows.size())), '\0');
        uLongf size = uLongf(packed.size());
        ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(rows.data()),
                           uLong(rows.size())),
                  Z_OK);
        packed.resize(size * 8 / 10);
        // How many whole rows the cut data inflates to.
        std::string inflated(rows.size(), '\0');
        z_stream z{};
        inflateInit(&z);
        z.next_in = reinterpret_cast<Bytef*>(packed.data());
        z.avail_in = uInt(packed.size());
        z.next_out = reinterpret_cast<Bytef*>(inflated.data());
        z.avail_out = uInt(inflated.size());
        inflate(&z, Z_SYNC_FLUSH);
        const int whole = int(z.total_out / (1 + 97 * 3));
        inflateEnd(&z);
        ASSERT_GT(whole, 0);
        ASSERT_LT(whole, 64);
        auto u32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
        auto chunk = [&](const std::string& type, const std::string& data) {
            const std::string body = type + data;
            return u32(uint32_t(data.size())) + body +
                   u32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
        };
        const std::string cut = "\x89PNG\r\n\x1a\n" + chunk("IHDR", u32(97) + u32(64) + std::string("\x08\x02\0\0\0", 5)) +
                                chunk("IDAT", packed) + chunk("IEND", "");
        cases.push_back({"PNG data broken at 80 %", cut, without(0, whole, 97, 64), 97, 64, "damaged PNG data"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string attributes = " image_type=\"rgb_24\" scale_to_fit=\"false\" width=\"" + std::to_string(c.w) +
                                       "\" height=\"" + std::to_string(c.h) + "\"";
        ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("plain.bmp"), c.plain));
        ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("rle.bmp"), c.rle));
        const ProgramResult plain = Compile(dir_.file("plain.bmp"), attributes, false, true);
        ASSERT_EQ(plain.exitCode, 0) << plain.err;
        const std::vector<uint8_t> expected = FirstBitmap(dir_.file("show.swf"));
        ASSERT_FALSE(expected.empty());
        const ProgramResult strict = Compile(dir_.file("rle.bmp"), attributes, false, true);
        EXPECT_EQ(strict.exitCode, c.said.empty() ? 0 : 4) << strict.err;
        const ProgramResult run = Compile(dir_.file("rle.bmp"), attributes, false);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, c.said.empty() ? "" : "show.tvr:5: slide 1: picture \"" + dir_.file("rle.bmp") + "\" is damaged (" +
                                                      c.said + "): the slide shows what could be decoded\n");
        EXPECT_EQ(FirstBitmap(dir_.file("show.swf")), expected);
    }
    if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed: its files were left out, the others were tried";
}

// Pictures followed by gigabytes, as pre-allocated or partly downloaded
// files are, read under a memory cap below their size: only the picture is
// read, and the movie holds the bitmap of the picture alone. A BMP whose
// rows alone pass the cap is said too large to read.
TEST_F(MediaRoadTest, LargeFilesReadOnlyThePicture)
{
    std::vector<std::vector<uint8_t>> stripes(24, std::vector<uint8_t>(32));
    for (size_t y = 0; y < stripes.size(); ++y) std::fill(stripes[y].begin(), stripes[y].end(), uint8_t(y / 6));
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("small.bmp"), PlainBmp(8, stripes)));
    ASSERT_TRUE(picture_test::WritePng(dir_.file("small.png"), 32, 24,
                                       std::vector<picture_test::Rgba>(32 * 24, {200, 40, 40, 255}), false));
    show_test::WriteJpeg(dir_, "small.jpg", 32, 24);
    const std::vector<std::string> cap = cli_test::MemoryCap(3000);
    constexpr uintmax_t kFollowed = uintmax_t(6) << 30;
    for (const auto& [name, type] : std::vector<std::pair<std::string, std::string>>{
             {"small.bmp", "rgb_24"}, {"small.png", "rgb_24"}, {"small.jpg", "jpeg_import_data"}, {"small.jpg", "jpeg"}}) {
        SCOPED_TRACE(name + " " + type);
        const std::string attributes = " image_type=\"" + type + "\"";
        const ProgramResult alone = Compile(dir_.file(name), attributes, false, true);
        ASSERT_EQ(alone.exitCode, 0) << alone.err;
        const std::vector<uint8_t> expected = FirstBitmap(dir_.file("show.swf"));
        ASSERT_FALSE(expected.empty());
        const std::string big = dir_.file("big-" + name);
        std::filesystem::copy_file(dir_.file(name), big, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::resize_file(big, kFollowed);
        const ProgramResult followed = Compile(big, attributes, false, true, cap);
        EXPECT_EQ(followed.exitCode, 0) << followed.err;
        EXPECT_EQ(followed.err, "");
        EXPECT_EQ(FirstBitmap(dir_.file("show.swf")), expected);
        std::filesystem::remove(big);
    }
    // 32767 × 32767 pixels of 4 bytes: 4 GB of rows, all in the file.
    std::string huge = IndexedBmp(8, 32767, 32767, {}, false);
    huge[28] = 32, huge[10] = 54, huge[11] = 0;
    huge.resize(54);
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("huge.bmp"), huge));
    std::filesystem::resize_file(dir_.file("huge.bmp"), 54 + uintmax_t(32767) * 32767 * 4);
    const ProgramResult r = Compile(dir_.file("huge.bmp"), "", false, false, cap);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("picture \"" + dir_.file("huge.bmp") +
                         "\" cannot be read (the file is too large to read into memory): the slide shows black\n"),
              std::string::npos)
        << r.err;
}

// A tile said to reach far past a small picture (50,000,000 rows long, or
// 187,500,000 columns wide, in a file of 2 KB) holds no more of it: the
// slide shows black, said, and the run's peak memory stays that of a small
// picture. Given as the show's sound, the file is said to hold none, never
// decoded to tell.
TEST_F(MediaRoadTest, TilesPastThePictureTakeNoMemory)
{
    const std::string convert = tavrel_test::ImageMagickConvert();
    if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed";
    // Red in tiles of 16 × 16 as tiffcp writes them, the tile's length
    // (tag 323) or width (322) then set by tiffset.
    const struct {
        const char* name;
        const char* size;
        const char* field;
    } cases[] = {{"long.tif", "21x11", "323 50000000"}, {"wide.tif", "9x9", "322 187500000"}};
    constexpr long kPeakKb = 200 * 1024;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.file(c.name), plain = dir_.file("plain.tif");
        const tavrel_test::ToolResult made = tavrel_test::RunCommand(
            convert + " -size " + c.size + " xc:red -depth 8 '" + plain + "' && tiffcp -t -w 16 -l 16 '" + plain + "' '" +
            path + "' && tiffset -s " + c.field + " '" + path + "' 2>&1");
        ASSERT_EQ(made.exitCode, 0) << made.output;
        const ProgramResult slide = Compile(path, " image_type=\"rgb_24\"", false);
        EXPECT_EQ(slide.exitCode, 0);
        EXPECT_EQ(slide.err, "show.tvr:5: slide 1: picture \"" + path +
                                 "\" is damaged (no pixels could be decoded): the slide shows black\n");
        EXPECT_LT(slide.peakKb, kPeakKb);
        ASSERT_TRUE(tavrel_test::WriteFile(
            dir_.file("sound.tvr"),
            show_test::WrapShow("<slide_show width=\"64\" height=\"48\">\n<slides>\n<slide type=\"blank\" "
                                "duration=\"1000\" />\n</slides>\n<sound_data include=\"true\">\n<sound src=\"" +
                                path + "\" />\n</sound_data>\n</slide_show>\n")));
        const ProgramResult sound = RunProgram({"sound.tvr", "sound.swf"}, dir_.path());
        EXPECT_EQ(sound.exitCode, 0);
        EXPECT_EQ(sound.err, "sound.tvr:8: sound \"" + path + "\" cannot be read (it holds no sound): the movie goes without it\n");
        EXPECT_LT(sound.peakKb, kPeakKb);
    }
}

// The 8-bit CIELab TIFF at from as ICCLab at to: a and b stored from 128,
// not signed.
bool CieLabAsIccLab(const std::string& from, const std::string& to)
{
    TIFF* in = TIFFOpen(from.c_str(), "r");
    TIFF* out = in ? TIFFOpen(to.c_str(), "w") : nullptr;
    uint32_t w = 0, h = 0;
    uint16_t samples = 0, bits = 0;
    bool ok = out && TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(in, TIFFTAG_IMAGELENGTH, &h) &&
              TIFFGetFieldDefaulted(in, TIFFTAG_SAMPLESPERPIXEL, &samples) &&
              TIFFGetFieldDefaulted(in, TIFFTAG_BITSPERSAMPLE, &bits) && samples == 3 && bits == 8;
    if (ok) {
        TIFFSetField(out, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(out, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
        TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(out, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_ICCLAB));
        std::vector<uint8_t> row(size_t(TIFFScanlineSize(in)));
        for (uint32_t y = 0; ok && y < h; ++y) {
            ok = TIFFReadScanline(in, row.data(), y, 0) == 1;
            for (size_t x = 0; x < size_t(w); ++x) row[x * 3 + 1] ^= 0x80, row[x * 3 + 2] ^= 0x80;
            ok = ok && TIFFWriteScanline(out, row.data(), y, 0) == 1;
        }
    }
    if (out) TIFFClose(out);
    if (in) TIFFClose(in);
    return ok;
}

// L*a*b* TIFFs as ImageMagick writes them from a photograph, of 8 and 16
// bits a sample, and the 8-bit one as ICCLab: each pixel as ImageMagick
// decodes the file (the ICCLab one, which it takes for CIELab, as it
// decodes the CIELab one), dark colours too, within a level on average and
// 3 at most.
TEST_F(MediaRoadTest, LabTiffsShowAsImageMagickDecodesThem)
{
    const std::string convert = tavrel_test::ImageMagickConvert();
    if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed";
    const std::string base = dir_.file("base.png");
    ASSERT_EQ(tavrel_test::RunCommand(convert + " rose: -resize 64x48! '" + base + "'").exitCode, 0);
    std::vector<std::pair<std::string, std::string>> files;  // the file, ImageMagick's truth for it
    for (const char* depth : {"8", "16"}) {
        const std::string lab = dir_.file(std::string("lab") + depth + ".tif");
        const tavrel_test::ToolResult made =
            tavrel_test::RunCommand(convert + " '" + base + "' -depth " + depth + " -colorspace Lab '" + lab + "' 2>&1");
        ASSERT_EQ(made.exitCode, 0) << made.output;
        files.emplace_back(lab, lab);
    }
    ASSERT_TRUE(CieLabAsIccLab(files[0].first, dir_.file("icclab8.tif")));
    files.emplace_back(dir_.file("icclab8.tif"), files[0].first);
    for (const auto& [file, told] : files) {
        SCOPED_TRACE(file);
        const ProgramResult r = Compile(file, " image_type=\"rgb_24\"", false);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::string truth = dir_.file("truth.rgb");
        ASSERT_EQ(tavrel_test::RunCommand(convert + " '" + told + "' -colorspace sRGB -depth 8 'rgb:" + truth + "'").exitCode, 0);
        const std::string expected = tavrel_test::ReadFile(truth);
        const std::vector<MovieBitmap> bitmaps = Bitmaps(dir_.file("show.swf"));
        ASSERT_EQ(bitmaps.size(), 1u);
        ASSERT_EQ(std::make_pair(bitmaps[0].width, bitmaps[0].height), std::make_pair(uint32_t(kWidth), uint32_t(kHeight)));
        ASSERT_EQ(expected.size(), size_t(kWidth) * kHeight * 3);
        long total = 0, worst = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < 3; ++c) {
                    const long shown = bitmaps[0].Rgb(x, y) >> (16 - 8 * c) & 0xFF;
                    const long off = std::abs(shown - long(uint8_t(expected[(size_t(y) * kWidth + x) * 3 + size_t(c)])));
                    total += off, worst = std::max(worst, off);
                }
        EXPECT_LE(double(total) / (kWidth * kHeight * 3), 1.0);
        EXPECT_LE(worst, 3);
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
    // Two EXIF segments, the second a GPS position and an artist, and a
    // comment: none goes into the movie.
    auto segment = [](char marker, const std::string& body) {
        const size_t n = body.size() + 2;
        return std::string("\xFF", 1) + marker + char(n >> 8) + char(n) + body;
    };
    const std::string tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
    const std::string gps = std::string("Exif\0\0", 6) + "GPS 52.2297 N 21.0122 E Artist: Anna";
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("two.jpg"), photo.substr(0, 2) + segment('\xE1', std::string("Exif\0\0", 6) + tiff) +
                                                               segment('\xE1', gps) + segment('\xFE', "a comment") +
                                                               photo.substr(2)));
    for (const char* name : {"camera.jpg", "two.jpg"}) {
        SCOPED_TRACE(name);
        const ProgramResult r = Compile(dir_.file(name), " image_type=\"jpeg_import_data\"");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        // The photo fills the stage, corners too.
        ExpectPixels({{32, 24, kRed, 24}, {2, 2, kRed, 24}, {61, 45, kRed, 24}});
        // The stream's segments up to its scan: JFIF first, no other APP
        // segment and no comment.
        const std::vector<uint8_t> stream = FirstBitmap(dir_.file("show.swf"));
        std::string markers;
        size_t at = stream.size() > 4 && stream[1] == 0xD9 ? 6 : 2;
        while (at + 4 <= stream.size() && stream[at] == 0xFF && stream[at + 1] != 0xDA) {
            markers += stream[at + 1] >= 0xE0 ? "APP" + std::to_string(stream[at + 1] - 0xE0) + " " : "";
            markers += stream[at + 1] == 0xFE ? "COM " : "";
            if (stream[at + 1] == 0xE0) markers += std::string(stream.begin() + long(at) + 4, stream.begin() + long(at) + 8) + " ";
            at += 2 + (size_t(stream[at + 2]) << 8 | stream[at + 3]);
        }
        EXPECT_EQ(markers, "APP0 JFIF ");
        ASSERT_LT(at + 1, stream.size());
        EXPECT_EQ(stream[at + 1], 0xDA);
    }
}

// The colour components of a JPEG stream's frame, its segments walked by
// their lengths; 0 without a frame.
int FrameComponents(const std::vector<uint8_t>& stream)
{
    // The players' erroneous header before the stream, where it is written.
    size_t at = stream.size() > 4 && stream[1] == 0xD9 ? 6 : 2;
    while (at + 10 <= stream.size() && stream[at] == 0xFF && stream[at + 1] != 0xDA) {
        const int marker = stream[at + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) return stream[at + 9];
        at += 2 + (size_t(stream[at + 2]) << 8 | stream[at + 3]);
    }
    return 0;
}

// A JPEG players do not decode (arithmetic-coded; CMYK or YCCK) goes in
// encoded again, said; one the player loads itself is said, as a file that
// is no JPEG is. One this program does not decode either (FFmpeg's lossless
// JPEG, a frame of 12-bit samples) is left out in one line that names its
// kind, as any slide and as imported.
TEST_F(MediaRoadTest, JpegsThePlayerWouldNotShowAreSaid)
{
    struct Case {
        std::string picture, type, said;  // said after the picture's name
        bool shown;
        long colour = kRed;  // what a shown one shows throughout
        int tolerance = 24;
    };
    std::vector<Case> cases;
    const std::string ppm = dir_.file("red.ppm"), arith = dir_.file("arith.jpg");
    std::string pixels = "P6\n64 48\n255\n";
    for (int i = 0; i < kWidth * kHeight; ++i) pixels += "\xC8\x28\x28";
    ASSERT_TRUE(tavrel_test::WriteFile(ppm, pixels));
    std::string leftOut;  // rows whose file this machine's tools did not make
    if (tavrel_test::RunCommand("cjpeg -arithmetic '" + ppm + "' > '" + arith + "' 2>/dev/null").exitCode != 0) {
        leftOut += " cjpeg's arithmetic-coded JPEG;";
    } else {
        cases.push_back({arith, "jpeg_import_data",
                         ": jpeg_import_data: the file's JPEG is arithmetic-coded, which players do not show: encoded "
                         "again at quality 80\n",
                         true});
        cases.push_back(
            {arith, "jpeg_external", ": jpeg_external: the file's JPEG is arithmetic-coded, which players do not show\n",
             false});
    }
    // Grey in inks: GraphicsMagick's CMYK of mid-grey (an Adobe segment of
    // transform 0 beside its JFIF one), whose grey ImageMagick tells, and
    // a YCCK mid-grey.
    const std::string greyPpm = dir_.file("grey.ppm"), convert = tavrel_test::ImageMagickConvert();
    ASSERT_TRUE(tavrel_test::WriteFile(greyPpm, "P6\n64 48\n255\n" + std::string(kWidth * kHeight * 3, '\x80')));
    std::vector<std::tuple<std::string, std::string, long>> inks;  // file, kind, grey
    const tavrel_test::ToolResult told =
        convert.empty() || tavrel_test::RunCommand("gm convert '" + greyPpm + "' -colorspace CMYK '" + dir_.file("cmyk.jpg") +
                                                   "'").exitCode != 0
            ? tavrel_test::ToolResult{}
            : tavrel_test::RunCommand(convert + " '" + dir_.file("cmyk.jpg") +
                                      "' -colorspace sRGB -depth 8 -crop 1x1+32+24 +repage ppm:- | tail -c 1 | od -An -tu1");
    if (told.exitCode == 0)
        inks.emplace_back(dir_.file("cmyk.jpg"), "CMYK", std::stol(told.output) * 0x010101);
    else
        leftOut += " GraphicsMagick's CMYK JPEG told by ImageMagick;";
    ASSERT_TRUE(picture_test::WriteInkJpeg(dir_.file("ycck.jpg"), kWidth, kHeight, 128, true));
    inks.emplace_back(dir_.file("ycck.jpg"), "YCCK", 0x808080);
    for (const auto& [file, kind, grey] : inks) {
        cases.push_back({file, "jpeg_import_data",
                         ": jpeg_import_data: the file's JPEG is " + kind +
                             ", which players do not show: encoded again at quality 80\n",
                         true, grey, 4});
        cases.push_back({file, "jpeg_external", ": jpeg_external: the file's JPEG is " + kind + ", which players do not show\n",
                         false});
    }
    ASSERT_TRUE(picture_test::WritePng(dir_.file("red.png"), kWidth, kHeight,
                                       std::vector<picture_test::Rgba>(kWidth * kHeight, {200, 40, 40, 255}), false));
    cases.push_back({dir_.file("red.png"), "jpeg_external",
                     ": jpeg_external: the player loads only JPEG files, and this is none\n", false});
    auto named = [](const std::string& kind) {
        return " cannot be read or encoded (" + kind + ", which this program does not decode): slide left out of the movie\n";
    };
    if (tavrel_test::FfmpegUnavailable().empty() &&
        tavrel_test::RunFfmpeg("-f lavfi -i testsrc=size=160x120 -frames:v 1 -c:v ljpeg -pix_fmt bgr24",
                               dir_.file("lossless.jpg")))
        for (const char* type : {"jpeg", "jpeg_import_data", "jpeg_external"})
            cases.push_back({dir_.file("lossless.jpg"), type, named("a lossless JPEG"), false});
    else
        leftOut += " FFmpeg's lossless JPEG;";
    // The sample precision of a JPEG of ours set to 12.
    std::string twelve = tavrel_test::ReadFile(show_test::WriteJpeg(dir_, "twelve.jpg", 16, 16));
    const size_t frame = twelve.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    twelve[frame + 4] = 12;
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("twelve.jpg"), twelve));
    cases.push_back({dir_.file("twelve.jpg"), "jpeg_import_data", named("a JPEG of 12-bit samples"), false});
    // A height that follows the data: 0 in the frame header, a DNL segment
    // after the scan.
    std::string dnl = tavrel_test::ReadFile(show_test::WriteJpeg(dir_, "dnl.jpg", 16, 16));
    const size_t sof = dnl.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    dnl[sof + 5] = dnl[sof + 6] = 0;
    dnl.insert(dnl.size() - 2, std::string("\xFF\xDC\x00\x04\x00\x10", 6));
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("dnl.jpg"), dnl));
    for (const char* type : {"jpeg", "jpeg_import_data", "jpeg_external"})
        cases.push_back({dir_.file("dnl.jpg"), type, named("a JPEG whose height follows its data"), false});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture + " " + c.type);
        const ProgramResult r = Compile(c.picture, " image_type=\"" + c.type + "\"", false);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.err.find("\"" + c.said), std::string::npos) << r.err;
        // One line of the slide, and no damage.
        EXPECT_EQ(r.err.find("slide 1: "), r.err.rfind("slide 1: ")) << r.err;
        EXPECT_EQ(r.err.find("damaged"), std::string::npos) << r.err;
        if (!c.shown) continue;
        // Encoded again: colour components players decode, the colour kept.
        const std::vector<MovieBitmap> bitmaps = Bitmaps(dir_.file("show.swf"));
        ASSERT_EQ(bitmaps.size(), 1u);
        EXPECT_EQ(FrameComponents(bitmaps[0].data), 3);
        ASSERT_EQ(bitmaps[0].rgb.size(), size_t(kWidth) * kHeight * 3);
        const size_t middle = (size_t(kHeight / 2) * kWidth + kWidth / 2) * 3;
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(bitmaps[0].rgb[middle + size_t(i)], (c.colour >> (16 - 8 * i)) & 0xFF, c.tolerance == 24 ? 24 : 3);
        ExpectPixels({{32, 24, c.colour, c.tolerance}, {2, 2, c.colour, c.tolerance}});
    }
    if (!leftOut.empty()) GTEST_SKIP() << "not made here, so not tried:" << leftOut << " the other rows were";
}

// Pictures of every kind as cjpeg, ImageMagick, FFmpeg and libtiff's tools
// write them (transparency, a palette, a GIF's transparent colour, run
// lengths, a BMP of 32 bits without masks, which shows opaque, uncompressed
// TIFF tiles), a flat red (or grey) of 203 × 131 (no whole number of blocks
// at any of libjpeg's scales), under every image type, reduced (a JPEG
// decoded at 1/8 and encoded again) and enlarged: a bitmap of the slide's
// size each, a JPEG one of the picture's colour to its edges where the
// picture is opaque, and nothing said.
TEST_F(MediaRoadTest, PicturesOfEveryKindUnderEveryImageType)
{
    std::string ppm = "P6\n203 131\n255\n";
    for (int i = 0; i < 203 * 131; ++i) ppm += "\xC8\x28\x28";
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("red.ppm"), ppm));
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("grey.pgm"), "P5\n203 131\n255\n" + std::string(203 * 131, '\x80')));
    struct Picture {
        std::string file, made;
        bool opaque;
        long colour = kRed;  // what an opaque one shows throughout
        int alpha = -1;      // a transparent one's alpha throughout, its colour then `colour`; -1 unchecked
    };
    std::vector<Picture> pictures = {{"c.jpg", "cjpeg -quality 90 red.ppm > c.jpg", true}};
    const std::string convert = tavrel_test::ImageMagickConvert();
    std::string leftOut;  // rows whose file this machine's tools did not make
    if (!convert.empty()) {
        const std::string im = convert + " red.ppm ", alpha = "-alpha set -channel A -evaluate set 50% +channel ";
        // Uncompressed tiles as tiffcp writes them, of sizes whose bytes are
        // no whole number of KiB, and RGBA beside them.
        auto tiled = [](const std::string& from, const char* tile, const std::string& to) {
            return "ppm2tiff -c none " + from + " s.tif && tiffcp -c none -t " + tile + " s.tif " + to;
        };
        pictures.insert(pictures.end(), {{"a.png", im + alpha + "a.png", false, kRed, 128},
                                         {"p.png", im + "-type Palette p.png", true},
                                         {"a.gif", im + "-fill blue -draw 'point 0,0' -transparent blue a.gif", false},
                                         {"a.tif", im + alpha + "-compress lzw a.tif", false, kRed, 128},
                                         // An extra sample of no stated meaning is transparency.
                                         {"u.tif", im + alpha + "-define tiff:alpha=unspecified u.tif", false, kRed, 128},
                                         {"gu.tif", convert + " grey.pgm " + alpha + "-define tiff:alpha=unspecified gu.tif",
                                          false, 0x808080, 128},
                                         {"t16.tif", tiled("red.ppm", "-w 16 -l 16", "t16.tif"), true},
                                         {"t48x32.tif", tiled("red.ppm", "-w 48 -l 32", "t48x32.tif"), true},
                                         {"t80.tif", tiled("red.ppm", "-w 80 -l 80", "t80.tif"), true},
                                         {"g48.tif", tiled("grey.pgm", "-w 48 -l 48", "g48.tif"), true, 0x808080},
                                         {"g16.tif", tiled("grey.pgm", "-w 16 -l 16", "g16.tif"), true, 0x808080},
                                         {"ta80.tif", im + alpha + "-depth 8 -compress none s.tif && tiffcp -t -w 80 -l 80 s.tif ta80.tif", false, kRed, 128},
                                         {"a.bmp", im + "BMP3:a.bmp", true},
                                         {"r.bmp", im + "-type Palette -compress RLE BMP3:r.bmp", true},
                                         // 32 bits without masks: the half alpha is not read.
                                         {"b.bmp", "ffmpeg -v error -i a.png -pix_fmt bgra b.bmp", true}});
        // GraphicsMagick writes every RGBA TIFF with its extra sample
        // unspecified, and grey with alpha as a palette with alpha.
        if (tavrel_test::RunCommand("command -v gm >/dev/null").exitCode == 0) {
            pictures.push_back({"gm.tif", im + alpha + "s.png && gm convert s.png gm.tif", false, kRed, 128});
            pictures.push_back({"gmg.tif", convert + " grey.pgm " + alpha + "s.png && gm convert s.png gmg.tif", false,
                                0x808080, 128});
        } else
            leftOut += " GraphicsMagick's TIFF;";
    }
    const char* types[] = {"jpeg",           "rgb_8",      "rgb_15", "rgb_24", "jpeg_import_data", "rgb_8_transparent",
                           "rgb_24_transparent", "jpeg_transparent"};
    const std::pair<uint32_t, uint32_t> sizes[] = {{2, 2}, {8, 8}, {16, 16}, {300, 200}};
    std::string slides;
    struct Expected {
        std::pair<uint32_t, uint32_t> size;
        long colour;  // throughout, or -1
        const Picture* picture;
        bool transparent;  // of a type that keeps transparency
    };
    std::vector<Expected> expected;
    for (const Picture& p : pictures) {
        ASSERT_EQ(tavrel_test::RunCommand("cd '" + dir_.path() + "' && " + p.made).exitCode, 0) << p.made;
        for (const std::string type : types)
            for (const auto& [w, h] : sizes) {
                slides += "<slide type=\"image\" src=\"" + p.file + "\" image_type=\"" + type +
                          "\" scale_to_fit=\"false\" width=\"" + std::to_string(w) + "\" height=\"" +
                          std::to_string(h) + "\" />\n";
                // A JPEG file's own stream goes in as it is.
                const bool own = type == "jpeg_import_data" && p.file == "c.jpg";
                expected.push_back({own ? std::make_pair(203u, 131u) : std::make_pair(w, h), p.opaque ? p.colour : -1, &p,
                                    type.find("transparent") != std::string::npos});
            }
    }
    ASSERT_TRUE(tavrel_test::WriteFile(
        dir_.file("show.tvr"),
        show_test::WrapShow("<slide_show width=\"320\" height=\"240\">\n<slides>\n" + slides + "</slides>\n</slide_show>\n")));
    const ProgramResult r = RunProgram({"--strict", "show.tvr", "show.swf"}, dir_.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<MovieBitmap> bitmaps = Bitmaps(dir_.file("show.swf"));
    ASSERT_EQ(bitmaps.size(), expected.size());
    for (size_t b = 0; b < bitmaps.size(); ++b) {
        SCOPED_TRACE("slide " + std::to_string(b + 1));
        SCOPED_TRACE(expected[b].picture->file);
        EXPECT_EQ(std::make_pair(bitmaps[b].width, bitmaps[b].height), expected[b].size);
        int off = 0;
        const long colour = expected[b].colour;
        for (size_t i = 0; colour >= 0 && i < bitmaps[b].rgb.size(); ++i)
            off += std::abs(bitmaps[b].rgb[i] - (colour >> (16 - 8 * (i % 3)) & 0xFF)) > 16;
        // Transparency, kept with the colour it covers (stored premultiplied).
        const int alpha = expected[b].transparent ? expected[b].picture->alpha : -1;
        const long shown = expected[b].picture->colour;
        for (size_t i = 0; alpha >= 0 && bitmaps[b].argb && i < bitmaps[b].data.size(); ++i) {
            const long want = i % 4 == 0 ? alpha : (shown >> (24 - 8 * (i % 4)) & 0xFF) * alpha / 255;
            off += std::abs(bitmaps[b].data[i] - want) > (i % 4 == 0 ? 3 : 16);
        }
        EXPECT_EQ(off, 0);
    }
    if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed: only cjpeg's picture was tried";
    if (!leftOut.empty()) GTEST_SKIP() << "not made here, so not tried:" << leftOut << " the other rows were";
}

// A palette PNG whose left half is entry 0, made transparent by its tRNS
// chunk, and whose right half is opaque black; the tRNS chunk's checksum
// is wrong, as some writers leave it.
std::string PaletteHalfPngWithBadTrnsChecksum()
{
    auto u32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    auto chunk = [&](const std::string& type, const std::string& data, bool spoil = false) {
        const std::string body = type + data;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
        return u32(uint32_t(data.size())) + body + u32(uint32_t(crc) ^ (spoil ? 0xFF : 0));
    };
    std::string rows;
    for (int y = 0; y < kHeight; ++y) rows += '\0' + std::string(kWidth / 2, '\0') + std::string(kWidth / 2, '\1');
    std::string packed(compressBound(uLong(rows.size())), '\0');
    uLongf size = uLongf(packed.size());
    compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(rows.data()), uLong(rows.size()));
    packed.resize(size);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", u32(kWidth) + u32(kHeight) + std::string("\x08\x03\0\0\0", 5)) +
           chunk("PLTE", std::string("\xff\0\0\0\0\0", 6)) + chunk("tRNS", std::string(1, '\0'), true) +
           chunk("IDAT", packed) + chunk("IEND", "");
}

// Black with alpha 0 beside opaque black, as many editors store
// transparency; and transparency from a palette's tRNS chunk.
TEST_F(MediaRoadTest, EightBitTransparencyKeepsOpaqueAndTransparent)
{
    using picture_test::Rgba;
    std::vector<Rgba> pixels(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) pixels[size_t(y) * kWidth + x] = {0, 0, 0, uint8_t(x < kWidth / 2 ? 255 : 0)};
    ASSERT_TRUE(picture_test::WritePng(dir_.file("half.png"), kWidth, kHeight, pixels, true));
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("trns.png"), PaletteHalfPngWithBadTrnsChecksum()));
    for (const auto& [file, opaqueLeft] : {std::make_pair("half.png", true), std::make_pair("trns.png", false)}) {
        SCOPED_TRACE(file);
        const ProgramResult r = Compile(dir_.file(file), " image_type=\"rgb_8_transparent\"");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        ExpectPixels({{8, 24, opaqueLeft ? 0x000000 : 0xFFFFFF, 8}, {56, 24, opaqueLeft ? 0xFFFFFF : 0x000000, 8}});
    }
}

// TIFFs as libtiff's tools, ImageMagick and FFmpeg write them, with each
// Orientation tiffset gives: each shows as stored, as a slide, background
// image and frame pattern, bitmap for bitmap as with orientation 1, whose
// slide holds the stored quarters.
TEST_F(MediaRoadTest, TiffsShowAsStoredWhateverTheirOrientation)
{
    const uint8_t opaque[4] = {255, 255, 255, 255};
    std::string ppm = "P6\n64 48\n255\n";
    for (const picture_test::Rgba& p : picture_test::Quarters(kWidth, kHeight, opaque))
        ppm += {char(p.r), char(p.g), char(p.b)};
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("q.ppm"), ppm));
    ASSERT_TRUE(tavrel_test::WriteFile(
        dir_.file("show.tvr"),
        show_test::WrapShow("<slide_show width=\"64\" height=\"48\" use_bg_image=\"true\" bg_image=\"o.tif\" "
                            "bg_frame=\"pattern\" bg_frame_pattern=\"o.tif\">\n<slides>\n<slide type=\"image\" "
                            "src=\"o.tif\" image_type=\"rgb_24\" />\n</slides>\n</slide_show>\n")));
    const std::string convert = tavrel_test::ImageMagickConvert();
    ASSERT_FALSE(convert.empty()) << "ImageMagick is not installed (Debian's imagemagick)";
    const std::string writers[] = {"ppm2tiff q.ppm", "ppm2tiff q.ppm s.tif && tiffcp -t -w 16 -l 16 s.tif",
                                   // Uncompressed tiles of no whole number of KiB.
                                   "ppm2tiff -c none q.ppm s.tif && tiffcp -t -w 16 -l 16 s.tif",
                                   "ppm2tiff -c none q.ppm s.tif && tiffcp -t -w 48 -l 32 s.tif",
                                   "ppm2tiff -c none q.ppm s.tif && tiffcp -t -w 80 -l 80 s.tif",
                                   "ppm2tiff q.ppm s.tif && tiffcp -c jpeg s.tif",
                                   convert + " q.ppm -colorspace CMYK -depth 16", "ffmpeg -v error -y -i q.ppm"};
    const std::vector<tavrel_test::PixelExpect> quarters = {
        {20, 16, 0xFF0000, 24}, {44, 16, 0x00FF00, 24}, {20, 32, 0x0000FF, 24}, {44, 32, 0xFFFFFF, 24}};
    for (const std::string& writer : writers) {
        std::vector<MovieBitmap> stored;
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(writer + ", orientation " + std::to_string(orientation));
            const std::string made = orientation == 1 ? writer + " o.tif && " : "";
            ASSERT_EQ(tavrel_test::RunCommand("cd '" + dir_.path() + "' && " + made + "tiffset -s 274 " +
                                              std::to_string(orientation) + " o.tif")
                          .exitCode,
                      0);
            const ProgramResult r = RunProgram({"show.tvr", "show.swf"}, dir_.path());
            ASSERT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.err, "");
            const std::vector<MovieBitmap> bitmaps = Bitmaps(dir_.file("show.swf"));
            ASSERT_EQ(bitmaps.size(), 3u);  // background, frame, slide
            if (orientation > 1) {
                EXPECT_TRUE(bitmaps == stored);
                continue;
            }
            stored = bitmaps;
            EXPECT_EQ(std::make_pair(stored[2].width, stored[2].height), std::make_pair(uint32_t(kWidth), uint32_t(kHeight)));
            for (const tavrel_test::PixelExpect& q : quarters)
                for (int shift : {0, 8, 16})
                    EXPECT_NEAR(stored[2].Rgb(q.x, q.y) >> shift & 0xFF, q.rgb >> shift & 0xFF, q.tolerance);
            if (&writer == writers) ExpectPixels(quarters);  // as a player shows it
        }
    }
}

// Long thin pictures fitted to the show keep their shape from their own
// size, at least a pixel a side, turned too: each red, then blue along its
// length (a quarter turn clockwise shows blue first).
TEST_F(MediaRoadTest, ThinPicturesKeepTheirShape)
{
    using picture_test::Rgba;
    const std::pair<int, int> sizes[] = {{10, 2000}, {1, 3000}, {2000, 10}, {3000, 1}, {1000, 3}};
    for (const auto& [w, h] : sizes) {
        std::vector<Rgba> pixels(size_t(w) * h, Rgba{200, 40, 40, 255});
        for (size_t i = 0; i < pixels.size(); ++i)
            if (w > h ? int(i % w) >= w / 2 : int(i / w) >= h / 2) pixels[i] = {40, 40, 200, 255};
        const std::string name = std::to_string(w) + "x" + std::to_string(h) + ".png";
        ASSERT_TRUE(picture_test::WritePng(dir_.file(name), w, h, pixels, false));
    }
    std::vector<std::vector<uint8_t>> wide(1, std::vector<uint8_t>(32767, 1));  // palette entries: red, then blue
    std::fill(wide[0].begin() + 32767 / 2, wide[0].end(), uint8_t(3));
    ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("32767x1.bmp"), PlainBmp(8, wide)));
    const struct {
        std::string picture;
        int showWidth, showHeight, rotate, width, height;
    } cases[] = {
        {"10x2000.png", 20, 2000, 0, 10, 2000},  {"1x3000.png", 20, 2000, 0, 1, 2000},
        {"32767x1.bmp", 2000, 100, 0, 2000, 1},  {"2000x10.png", 2000, 20, 0, 2000, 10},
        {"3000x1.png", 2000, 20, 0, 2000, 1},    {"1000x3.png", 2000, 100, 0, 2000, 6},
        {"10x2000.png", 2000, 20, 90, 2000, 10}, {"10x2000.png", 2000, 2000, 270, 2000, 10},
    };
    for (const auto& c : cases) {
        const std::string show =
            "width=\"" + std::to_string(c.showWidth) + "\" height=\"" + std::to_string(c.showHeight);
        SCOPED_TRACE(c.picture + " " + show + "\" rotate " + std::to_string(c.rotate));
        ASSERT_TRUE(tavrel_test::WriteFile(
            dir_.file("show.tvr"),
            show_test::WrapShow("<slide_show " + show + "\">\n<slides>\n<slide type=\"image\" src=\"" + c.picture +
                                "\" image_type=\"rgb_24\" rotate=\"" + std::to_string(c.rotate) +
                                "\" />\n</slides>\n</slide_show>\n")));
        const ProgramResult r = RunProgram({"show.tvr", "show.swf"}, dir_.path());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::vector<MovieBitmap> bitmaps = Bitmaps(dir_.file("show.swf"));
        ASSERT_EQ(bitmaps.size(), 1u);
        EXPECT_EQ(std::make_pair(bitmaps[0].width, bitmaps[0].height), std::make_pair(uint32_t(c.width), uint32_t(c.height)));
        const long first = c.rotate == 90 ? 0x2828C8 : kRed, last = c.rotate == 90 ? kRed : 0x2828C8;
        EXPECT_EQ(bitmaps[0].Rgb(0, 0), first);
        EXPECT_EQ(bitmaps[0].Rgb(c.width - 1, c.height - 1), last);
    }
    // Headers that claim one side five million times the other, over ten
    // pixels of data: fitted to a 640 × 480 show by their shape, as far as
    // an int holds and never past it (the sanitizer build would say so).
    // The resave writes the size and place the slide is shown at.
    ASSERT_TRUE(picture_test::WritePng(dir_.file("ten.png"), 1, 10, std::vector<Rgba>(10, Rgba{200, 40, 40, 255}), false));
    const std::string ten = tavrel_test::ReadFile(dir_.file("ten.png"));
    const struct {
        uint32_t width, height;
        const char* shown;
    } claims[] = {{1, 5000000, "width=\"1\" height=\"480\" x=\"320\" y=\"0\""},
                  {5000000, 1, "width=\"640\" height=\"1\" x=\"0\" y=\"240\""}};
    for (const auto& c : claims) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        std::string claim = ten;
        for (int i = 0; i < 4; ++i) {
            claim[size_t(16 + i)] = char(c.width >> (24 - 8 * i));
            claim[size_t(20 + i)] = char(c.height >> (24 - 8 * i));
        }
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(claim.data() + 12), 17);
        for (int i = 0; i < 4; ++i) claim[size_t(29 + i)] = char(crc >> (24 - 8 * i));
        ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("claim.png"), claim));
        ASSERT_TRUE(tavrel_test::WriteFile(
            dir_.file("show.tvr"),
            show_test::WrapShow("<slide_show width=\"640\" height=\"480\">\n<slides>\n<slide type=\"image\" "
                                "src=\"claim.png\" image_type=\"rgb_24\" />\n</slides>\n</slide_show>\n")));
        const ProgramResult r = RunProgram({"--resave", "new.tvr", "show.tvr"}, dir_.path());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_NE(tavrel_test::ReadFile(dir_.file("new.tvr")).find(c.shown), std::string::npos)
            << tavrel_test::ReadFile(dir_.file("new.tvr"));
        // A valid header past the sides the program takes is a limit, not damage.
        const ProgramResult e = RunProgram({"show.tvr", "show.swf"}, dir_.path());
        EXPECT_NE(e.err.find("PNG picture is too large: more than 32767 pixels a side"), std::string::npos) << e.err;
    }
}

}  // namespace
