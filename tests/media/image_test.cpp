// The image buffer's geometry operations and the BMP reader.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "media/image.h"
#include "picture_bytes.h"
#include "support/test_support.h"

namespace {

using namespace picture_test;

Bytes Pixels(const CImage& image) { return Bytes(image.pixels, image.pixels + image.size); }

// A w × h picture whose every byte is its own index.
void Numbered(CImage& image, uint32_t w, uint32_t h, uint16_t bits)
{
    ASSERT_TRUE(image.Create(w, h, bits, nullptr, false));
    for (uint32_t i = 0; i < image.size; ++i) image.pixels[i] = uint8_t(i);
}

TEST(ImageBuffer, CreateCopiesOrAdoptsTheBlock)
{
    CImage image;
    ASSERT_TRUE(image.Create(4, 3, 32, nullptr, false));
    EXPECT_EQ(image.size, 48u);
    uint8_t* mine = new uint8_t[12]{};
    ASSERT_TRUE(image.Create(2, 2, 24, mine, false));
    EXPECT_EQ(image.pixels, mine);  // adopted: released by the image (the sanitizer sees a leak otherwise)
    uint8_t source[12] = {1, 2, 3};
    ASSERT_TRUE(image.Create(2, 2, 24, source, true));
    EXPECT_NE(image.pixels, source);
    EXPECT_EQ(image.pixels[2], 3);
    // Its own block, copied into a new geometry or adopted again.
    ASSERT_TRUE(image.Create(1, 4, 24, image.pixels, true));
    EXPECT_EQ(image.pixels[2], 3);
    ASSERT_TRUE(image.Create(2, 2, 24, image.pixels, false));
    EXPECT_EQ(image.pixels[2], 3);
    // Resizing to the same size keeps the block; a new size is what later
    // operations work on (the sanitizer checks their bounds).
    uint8_t* before = image.pixels;
    image.Resize(2, 2);
    EXPECT_EQ(image.pixels, before);
    image.Resize(5, 3);
    EXPECT_EQ(std::make_tuple(image.width, image.height, image.size), std::make_tuple(5u, 3u, 45u));
    image.Rotate(90);
    image.FlipVertical();
    EXPECT_EQ(image.width, 3u);
    // A size past 32 bits is refused, not wrapped.
    EXPECT_FALSE(image.Create(70000, 70000, 32, nullptr, false));
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.size, 0u);
}

TEST(ImageBuffer, TurnsAndFlips)
{
    // 3 × 2, 24-bit: pixels a b c / d e f, each byte the pixel's letter.
    const Bytes start = {'a', 'a', 'a', 'b', 'b', 'b', 'c', 'c', 'c', 'd', 'd', 'd', 'e', 'e', 'e', 'f', 'f', 'f'};
    struct Case {
        const char* name;
        void (*apply)(CImage&);
        uint32_t width, height;
        std::string order;  // pixel letters after the operation, rows top-down
    };
    const Case cases[] = {
        {"90", [](CImage& i) { i.Rotate(90); }, 2, 3, "daebfc"},
        {"-270", [](CImage& i) { i.Rotate(-270); }, 2, 3, "daebfc"},
        {"270", [](CImage& i) { i.Rotate(270); }, 2, 3, "cfbead"},
        {"-90", [](CImage& i) { i.Rotate(-90); }, 2, 3, "cfbead"},
        {"180", [](CImage& i) { i.Rotate(180); }, 3, 2, "fedcba"},
        {"45 does nothing", [](CImage& i) { i.Rotate(45); }, 3, 2, "abcdef"},
        {"90 then -90", [](CImage& i) { i.Rotate(90), i.Rotate(-90); }, 3, 2, "abcdef"},
        {"180 twice", [](CImage& i) { i.Rotate(180), i.Rotate(180); }, 3, 2, "abcdef"},
        {"vertical", [](CImage& i) { i.FlipVertical(); }, 3, 2, "defabc"},
        {"horizontal", [](CImage& i) { i.FlipHorizontal(); }, 3, 2, "cbafed"},
    };
    for (const Case& c : cases) {
        CImage image;
        ASSERT_TRUE(image.Create(3, 2, 24, const_cast<uint8_t*>(start.data()), true));
        c.apply(image);
        EXPECT_EQ(image.width, c.width) << c.name;
        EXPECT_EQ(image.height, c.height) << c.name;
        std::string got;
        for (uint32_t i = 0; i < image.size; i += 3) {
            got += char(image.pixels[i]);
            EXPECT_TRUE(image.pixels[i] == image.pixels[i + 1] && image.pixels[i] == image.pixels[i + 2]) << c.name;
        }
        EXPECT_EQ(got, c.order) << c.name;
    }
}

TEST(ImageBuffer, WorldRoundTrip)
{
    std::unique_ptr<GWorld> world(GWorld::Create(Rect{0, 0, 5, 10}, 32));
    ASSERT_TRUE(world);
    CImage rgba;
    ASSERT_TRUE(rgba.Create(12, 2, 32, nullptr, false));  // wider than the world: clipped
    for (uint32_t i = 0; i < rgba.size; i += 4) std::memcpy(rgba.pixels + i, "\x10\x20\x30\x40", 4);
    rgba.ToGWorld(world.get(), 0, 0);
    CImage rgb;
    ASSERT_TRUE(rgb.Create(1, 1, 24, nullptr, false));
    std::memcpy(rgb.pixels, "\x01\x02\x03", 3);
    rgb.ToGWorld(world.get(), 9, 4);

    const uint8_t* row0 = world->RowAt(0);
    EXPECT_EQ(Bytes(row0 + 36, row0 + 40), (Bytes{0x40, 0x10, 0x20, 0x30}));  // own alpha, last column
    EXPECT_EQ(Bytes(world->RowAt(2), world->RowAt(2) + 4), (Bytes{0, 0, 0, 0}));  // below the picture
    EXPECT_EQ(Bytes(world->RowAt(4) + 36, world->RowAt(4) + 40), (Bytes{255, 1, 2, 3}));  // opaque

    CImage back;
    Numbered(back, 3, 3, 32);
    ASSERT_TRUE(back.FromGWorld(world.get()));
    EXPECT_EQ(back.width, 10u);
    EXPECT_EQ(back.height, 5u);
    EXPECT_EQ(back.bitsPerPixel, 24);
    ASSERT_EQ(back.size, 150u);
    EXPECT_EQ(Bytes(back.pixels, back.pixels + 3), (Bytes{0x10, 0x20, 0x30}));
    EXPECT_EQ(Bytes(back.pixels + 147, back.pixels + 150), (Bytes{1, 2, 3}));
    EXPECT_FALSE(back.FromGWorld(nullptr));
}

// BMP files written here.

struct BmpSpec {
    uint16_t bits = 24;
    uint32_t width = 2;
    int32_t height = 2;
    uint32_t headerSize = 40;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    int paletteEntries = 0;  // written
    Bytes rows;              // file order, padded
    bool offsetAfterPalette = true;
};

Bytes MakeBmp(const BmpSpec& s)
{
    // The 12-byte OS/2 header holds 16-bit sizes and 3-byte palette entries.
    const bool os2 = s.headerSize == 12;
    const uint32_t entry = os2 ? 3 : 4;
    const uint32_t offset = 14 + s.headerSize + entry * s.paletteEntries, rows = uint32_t(s.rows.size());
    // The file header's fields after the magic number, then the info header's, little-endian.
    std::vector<std::pair<uint32_t, int>> fields = {
        {offset + rows, 4}, {0, 4},           {s.offsetAfterPalette ? offset : 0, 4}, {s.headerSize, 4},
        {s.width, 4},       {uint32_t(s.height), 4},    {1, 2},                        {s.bits, 2},
        {s.compression, 4}, {rows, 4},        {2835, 4},                               {2835, 4},
        {s.colorsUsed, 4},  {0, 4}};
    if (os2) fields = {{offset + rows, 4}, {0, 4}, {offset, 4}, {12, 4}, {s.width, 2}, {uint32_t(s.height), 2},
                       {1, 2}, {s.bits, 2}};
    Bytes b = {'B', 'M'};
    for (const auto& [v, n] : fields)
        for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
    b.resize(14 + s.headerSize, 0);
    // Entry i: blue i, green 2i, red 3i.
    for (int i = 0; i < s.paletteEntries; ++i) {
        b.insert(b.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i)});
        if (!os2) b.push_back(0);
    }
    b.insert(b.end(), s.rows.begin(), s.rows.end());
    return b;
}

struct BmpCase {
    const char* name;
    BmpSpec spec;
    bool ok;
    Bytes pixels;        // expected R, G, B rows top-down
    std::string output;  // expected in the diagnostics
};

TEST(BmpReader, ReadsTheFile)
{
    // 24-bit rows: B, G, R per pixel, padded to 8 bytes; 8-bit: 3 × 1, with
    // the full palette of 256 entries announced by a count of 0.
    const Bytes rows24 = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    const Bytes upright = {9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}, indexed = {0, 0, 0, 3, 2, 1, 240, 160, 80};
    const BmpSpec palette = {.bits = 8, .width = 3, .height = 1, .paletteEntries = 256, .rows = {0, 1, 80, 0}};
    BmpSpec counted = palette;
    counted.paletteEntries = counted.colorsUsed = 81;
    BmpSpec noOffset = counted;
    noOffset.offsetAfterPalette = false;  // an offset of 0: the data follow the palette
    // 1 × 3 indexed: the file ends inside the first row's padding.
    BmpSpec firstPadMissing = counted;
    firstPadMissing.width = 1, firstPadMissing.height = 3, firstPadMissing.rows = {1, 0, 0};
    const BmpSpec fourBit = {.bits = 4, .width = 3, .height = 1, .paletteEntries = 16, .rows = {0x12, 0x30, 0, 0}};
    BmpSpec os2FourBit = fourBit;
    os2FourBit.headerSize = 12;
    BmpSpec unknownMethod = palette;
    unknownMethod.compression = 4;
    // Run-length data with every escape: runs, a padded literal, end of row,
    // moves right and up, end of picture. 8-bit, 4 × 3 bottom-up:
    // [5 1 2 3] / [_ 7 7 _] / [_ _ _ 9]; skipped pixels take entry 0.
    BmpSpec rle8 = {.bits = 8, .width = 4, .height = 3, .compression = 1, .paletteEntries = 256,
                    .rows = {1, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 0, 2, 7, 0, 2, 0, 1, 1, 9, 0, 1}};
    // 4-bit, 5 × 2: [1 2 _ _ 9] / [3 4 5 6 7] (a literal of five, padded).
    BmpSpec rle4 = {.bits = 4, .width = 5, .height = 2, .compression = 2, .paletteEntries = 16,
                    .rows = {2, 0x12, 0, 2, 2, 0, 1, 0x90, 0, 0, 0, 5, 0x34, 0x56, 0x70, 0, 0, 1}};
    BmpSpec rlePastEdge = {.bits = 8, .width = 2, .height = 2, .compression = 1, .paletteEntries = 256,
                           .rows = {3, 4, 0, 0, 2, 6, 0, 1}};
    BmpSpec rleCut = rlePastEdge;
    rleCut.rows = {2, 5, 0, 0};
    auto entries = [](std::initializer_list<int> indices) {
        Bytes rgb;
        for (int i : indices) rgb.insert(rgb.end(), {uint8_t(3 * i), uint8_t(2 * i), uint8_t(i)});
        return rgb;
    };
    const BmpCase cases[] = {
        {"bottom-up turned upright", {.rows = rows24}, true, upright, ""},
        {"top-down", {.height = -2, .rows = rows24}, true, {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}, ""},
        {"V5 header", {.headerSize = 124, .rows = rows24}, true, upright, ""},
        {"palette applied", palette, true, indexed, ""},
        {"counted palette", counted, true, indexed, ""},
        {"no data offset", noOffset, true, indexed, ""},
        // Indices 1, 2, 3 of a 16-colour palette, and the bottom-up rows of 2 × 2 pixels B, G, R, unused.
        {"4-bit", fourBit, true, {3, 2, 1, 6, 4, 2, 9, 6, 3}, ""},
        {"32-bit", {.bits = 32, .rows = rows24}, true, {9, 8, 7, 0, 12, 11, 3, 2, 1, 0, 6, 5}, ""},
        {"OS/2 24-bit", {.headerSize = 12, .rows = rows24}, true, upright, ""},
        {"OS/2 4-bit", os2FourBit, true, {3, 2, 1, 6, 4, 2, 9, 6, 3}, ""},
        {"2-bit", {.bits = 2, .rows = rows24}, false, {}, "  Unrecognized value of BITSPERPIXEL = 2"},
        {"header of 14 bytes", {.headerSize = 14, .rows = rows24}, false, {}, "information header of 14 bytes"},
        {"unknown compression", unknownMethod, false, {}, "Compressed BMP data (method 4) is not supported."},
        {"RLE8", rle8, true, entries({0, 0, 0, 9, 0, 7, 7, 0, 5, 1, 2, 3}), ""},
        {"RLE4", rle4, true, entries({3, 4, 5, 6, 7, 1, 2, 0, 0, 9}), ""},
        {"RLE run past the edge", rlePastEdge, true, entries({6, 6, 4, 4}),
         "BMP_RLE_DATA_READ - Warning!\n  a run passes the picture's edge at row 0."},
        {"RLE cut short", rleCut, true, entries({0, 0, 5, 5}), "the run-length data ends at row 1"},
        {"short data", {.rows = Bytes(rows24.begin(), rows24.begin() + 10)}, false, {}, "too short"},
        {"last padding missing", {.rows = Bytes(rows24.begin(), rows24.begin() + 14)}, true, upright, ""},
        // Reading stops after row 0 (the bottom row); the rows above stay black.
        {"padding missing", firstPadMissing, true, {0, 0, 0, 0, 0, 0, 3, 2, 1},
         "BMP_08_DATA_READ - Warning!\n  Failed while reading padding character 2\n  of total 3 characters\n"
         "  at the end of line 0\n\n  This is a minor error."},
        {"huge header", {.width = 100000, .height = 100000, .rows = rows24}, false, {}, "too large"},
        {"no pixels", {.width = 0, .rows = rows24}, false, {}, "no pixels"},
    };
    tavrel_test::TempDir dir;
    for (const BmpCase& c : cases) {
        const std::string path = dir.file("test.bmp");
        const Bytes file = MakeBmp(c.spec);
        ASSERT_TRUE(WriteBytes(path, file));
        CBmpImage image;
        testing::internal::CaptureStdout();
        const bool ok = image.Load(CPath(path));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.name;  // nothing printed
        const std::string output = image.GetLastError();
        EXPECT_EQ(ok, c.ok) << c.name << "\n" << output;
        if (ok) {
            EXPECT_EQ(image.bitsPerPixel, 24) << c.name;
            EXPECT_EQ(Pixels(image), c.pixels) << c.name;
        } else {
            EXPECT_EQ(image.pixels, nullptr) << c.name;
        }
        EXPECT_NE(output.find(c.output), std::string::npos) << c.name << "\n" << output;
    }
}

TEST(BmpReader, ReportsAWrongMagicNumber)
{
    tavrel_test::TempDir dir;
    const std::string path = dir.file("not.bmp");
    Bytes file = MakeBmp(BmpSpec{});
    file[0] = 'P';
    file[1] = 'K';
    ASSERT_TRUE(WriteBytes(path, file));
    uint32_t w = 0;
    int32_t h = 0;
    uint8_t *r = nullptr, *g = nullptr, *b = nullptr;
    std::string report;
    testing::internal::CaptureStdout();
    EXPECT_NE(ReadBmpFile(path.c_str(), &w, &h, &r, &g, &b, &report), 0);
    EXPECT_EQ(report,
              "\nBMP_READ: Fatal error!\n  The file's internal magic number is not \"BM\".\n"
              "  with the numeric value 16973\n\n  Instead, it is \"PK\".\n  with the numeric value 19280\n\n"
              "  (Perhaps you need to reverse the byte swapping option!)\n");
    // Most significant byte first: "PK" reads as 0x504B.
    SetBmpByteSwapping(false);
    EXPECT_NE(ReadBmpFile(path.c_str(), &w, &h, &r, &g, &b, &report), 0);
    SetBmpByteSwapping(true);
    EXPECT_NE(report.find("\"PK\".\n  with the numeric value 20555\n"), std::string::npos);
    EXPECT_NE(ReadBmpFile(dir.file("missing.bmp").c_str(), &w, &h, &r, &g, &b, &report), 0);
    EXPECT_EQ(report, "\nBMP_READ - Fatal error!\n  Could not open the input file.\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// The planes keep the file's row order; the height is as stored.
TEST(BmpReader, PlanesInFileOrder)
{
    tavrel_test::TempDir dir;
    const std::string path = dir.file("planes.bmp");
    ASSERT_TRUE(WriteBytes(path, MakeBmp({.rows = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}})));
    uint32_t w = 0;
    int32_t h = 0;
    uint8_t *r = nullptr, *g = nullptr, *b = nullptr;
    ASSERT_EQ(ReadBmpFile(path.c_str(), &w, &h, &r, &g, &b), 0);
    std::unique_ptr<uint8_t[]> red(r), green(g), blue(b);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(2u, 2));
    EXPECT_EQ(Bytes(red.get(), red.get() + 4), (Bytes{3, 6, 9, 12}));
    EXPECT_EQ(Bytes(blue.get(), blue.get() + 4), (Bytes{1, 4, 7, 10}));
}

}  // namespace
