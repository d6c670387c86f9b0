// The JPEG and PNG codecs on pictures made here.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "media/jpeg_image.h"
#include "media/png_image.h"
#include "support/file_size_limit.h"
#include "picture_bytes.h"
#include "support/test_support.h"

namespace {

using namespace picture_test;

Bytes Gradient(uint32_t w, uint32_t h)
{
    Bytes out;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) out.insert(out.end(), 3, uint8_t(x * 10 + y * 5));
    return out;
}

Bytes Compressed(const CJpegImage& jpeg) { return Bytes(jpeg.pixels, jpeg.pixels + jpeg.compressedSize); }

std::string Write(const tavrel_test::TempDir& dir, const std::string& name, const Bytes& bytes)
{
    const std::string path = dir.file(name);
    EXPECT_TRUE(WriteBytes(path, bytes));
    return path;
}

TEST(JpegImage, CompressesIntoAGrowingBlock)
{
    CJpegImage one;
    EXPECT_EQ(one.GetQuality(), 80);
    one.SetQuality(-5);
    EXPECT_EQ(one.GetQuality(), 0);
    const uint8_t red[3] = {255, 0, 0};
    ASSERT_TRUE(one.Compress(1, 1, 24, red));
    EXPECT_EQ(one.size, 1027u);
    const Bytes stream = Compressed(one);
    ASSERT_GT(stream.size(), 4u);
    EXPECT_EQ(Cat({Bytes(stream.begin(), stream.begin() + 2), Bytes(stream.end() - 2, stream.end())}),
              (Bytes{0xFF, 0xD8, 0xFF, 0xD9}));
    EXPECT_EQ(one.width, 0u);  // compression leaves the geometry alone

    // Noise at the best quality (asked past it) needs more than w × h × 3 + 1024 bytes.
    std::mt19937 random(7);
    Bytes noise(2000 * 3);
    for (uint8_t& b : noise) b = uint8_t(random());
    CJpegImage strip;
    strip.SetQuality(150);
    EXPECT_EQ(strip.GetQuality(), 100);
    ASSERT_TRUE(strip.Compress(1, 2000, 24, noise.data()));
    EXPECT_GT(strip.compressedSize, 2000u * 3 + 1024);
    EXPECT_GE(strip.size, strip.compressedSize);
    tavrel_test::TempDir dir;
    CJpegImage back;
    ASSERT_TRUE(back.Load(CPath(Write(dir, "strip.jpg", Compressed(strip))))) << back.GetLastError();
    EXPECT_EQ(std::make_pair(back.width, back.height), std::make_pair(1u, 2000u));
    // Chroma is subsampled; the luma survives quality 100.
    auto luma = [](const uint8_t* p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; };
    double worst = 0;
    for (size_t i = 0; i < noise.size(); i += 3)
        worst = std::max(worst, std::abs(luma(back.pixels + i) - luma(noise.data() + i)));
    EXPECT_LE(worst, 24);
}

// One encoder compressing picture after picture, as an export's does,
// gives each the stream a fresh one gives, and takes a new block only for a
// picture that needs more room than the last one left it.
TEST(JpegImage, OneEncoderServesPictureAfterPicture)
{
    std::mt19937 random(11);
    enum Block { kNew, kSame, kEither };
    const struct {
        uint32_t w, h;
        int quality;
        Block block;
    } steps[] = {
        {64, 48, 80, kNew},   {64, 48, 30, kSame}, {32, 40, 80, kSame},  // as large, then smaller
        {1, 2000, 100, kEither},                                          // noise may outgrow the block
        {160, 120, 80, kNew}, {16, 16, 95, kSame},
    };
    CJpegImage kept;
    for (const auto& step : steps) {
        SCOPED_TRACE(std::to_string(step.w) + " x " + std::to_string(step.h));
        Bytes pixels(size_t(step.w) * step.h * 3);
        for (uint8_t& b : pixels) b = uint8_t(random());
        const uint8_t* before = kept.pixels;
        kept.SetQuality(step.quality);
        ASSERT_TRUE(kept.Compress(step.w, step.h, 24, pixels.data()));
        CJpegImage fresh;
        fresh.SetQuality(step.quality);
        ASSERT_TRUE(fresh.Compress(step.w, step.h, 24, pixels.data()));
        EXPECT_EQ(Compressed(kept), Compressed(fresh));
        EXPECT_GE(kept.size, kept.compressedSize);
        if (step.block != kEither) EXPECT_EQ(kept.pixels == before, step.block == kSame);
    }
}

TEST(JpegImage, BadInputLeavesAnEmptyImage)
{
    tavrel_test::TempDir dir;
    const Bytes pixels = Gradient(16, 16);
    CJpegImage jpeg;
    jpeg.SetQuality(100);
    ASSERT_TRUE(jpeg.Compress(16, 16, 24, pixels.data()));
    const Bytes good = Compressed(jpeg);

    CJpegImage back;
    Bytes scrambled = good;
    // Damage the frame header: a precision of 0 bits.
    for (size_t i = 2; i + 4 < scrambled.size(); ++i)
        if (scrambled[i] == 0xFF && scrambled[i + 1] == 0xC0) scrambled[i + 4] = 0;
    const std::pair<const char*, Bytes> bad[] = {
        {"empty", {}},
        {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a', 0, 0}},
        {"only the start", {0xFF, 0xD8}},
        {"bad frame", scrambled},
        {"header only", Bytes(good.begin(), good.begin() + 30)},
    };
    for (const auto& [name, bytes] : bad) {
        CJpegImage image;
        ASSERT_TRUE(image.Load(CPath(Write(dir, "good.jpg", good))));
        EXPECT_FALSE(image.Load(CPath(Write(dir, "bad.jpg", bytes)))) << name;
        EXPECT_EQ(image.pixels, nullptr) << name;
        EXPECT_EQ(image.width, 0u) << name;
        EXPECT_FALSE(image.GetLastError().empty()) << name;
    }
    EXPECT_FALSE(back.Load(CPath(dir.file("missing.jpg"))));
    CJpegImage empty;
    EXPECT_FALSE(empty.Compress(0, 5, 24, pixels.data()));
    EXPECT_EQ(empty.pixels, nullptr);
}

TEST(FindJpegStream, FindsTheFirstCompleteStream)
{
    struct Case {
        const char* name;
        Bytes data;
        int start;  // -1: none
        int length;
    };
    const Case cases[] = {
        {"inside other bytes", {1, 2, 0xFF, 0xD8, 5, 0xFF, 0xD9, 9}, 2, 5},
        {"end before start only", {0xFF, 0xD9, 0xFF, 0xD8, 1}, -1, 0},
        {"later start wins", {0xFF, 0xD8, 1, 0xFF, 0xD8, 2, 0xFF, 0xD9}, 3, 5},
        {"end before start, then a stream", {0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9}, 2, 4},
        {"fill byte before the marker", {0xFF, 0xFF, 0xD8, 0xFF, 0xFF, 0xD9}, 1, 5},
        {"no end", {0xFF, 0xD8, 0, 0}, -1, 0},
        {"empty", {}, -1, 0},
    };
    for (const Case& c : cases) {
        int32_t length = -1;
        const uint8_t* at = FindJpegStream(c.data.data(), int32_t(c.data.size()), &length);
        if (c.start < 0) {
            EXPECT_EQ(at, nullptr) << c.name;
            continue;
        }
        EXPECT_EQ(at, c.data.data() + c.start) << c.name;
        EXPECT_EQ(length, c.length) << c.name;
    }
}

TEST(PngImage, SavedWorldDecodesToItsColours)
{
    std::unique_ptr<GWorld> world(GWorld::Create(Rect{0, 0, 3, 5}, 32));
    ASSERT_TRUE(world);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint8_t argb[] = {uint8_t(x * 50), uint8_t(x * 60), uint8_t(y * 100), 77};  // alpha: dropped
            std::copy(argb, argb + 4, world->RowAt(y) + x * 4);
        }
    tavrel_test::TempDir dir;
    const std::string path = dir.file("world.png");
    ASSERT_TRUE(tavrel_test::WriteFile(path, "old contents"));
    ASSERT_TRUE(CPngImage::Save(world.get(), CPath(path)));
    CPngImage png;
    ASSERT_TRUE(png.Load(CPath(path))) << png.GetLastError();
    EXPECT_EQ(std::make_tuple(png.width, png.height, png.channels, png.colorType), std::make_tuple(5u, 3u, 3, 2));
    EXPECT_EQ(png.alpha, nullptr);
    Bytes want;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) want.insert(want.end(), {uint8_t(x * 60), uint8_t(y * 100), 77});
    EXPECT_EQ(Bytes(png.pixels, png.pixels + png.size), want);
    EXPECT_FALSE(CPngImage::Save(nullptr, CPath(path)));
}

TEST(PngImage, FailedSaveKeepsTheTarget)
{
    std::unique_ptr<GWorld> world(GWorld::Create(Rect{0, 0, 64, 64}, 32));
    std::mt19937 random(3);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x) world->RowAt(y)[x] = uint8_t(random());  // incompressible
    struct Case {
        const char* name;
        std::string target;  // inside the folder
        bool diskFull;
    };
    const Case cases[] = {
        {"disk full", "picture.png", true},
        {"target is a folder", "folder", false},
        {"no such folder", "missing/picture.png", false},
    };
    for (const Case& c : cases) {
        tavrel_test::TempDir dir;
        ASSERT_TRUE(tavrel_test::WriteFile(dir.file("picture.png"), "old contents"));
        std::filesystem::create_directory(dir.file("folder"));
        bool saved;
        {
            tavrel_test::ScopedFileSizeLimit limit(c.diskFull ? 1000 : RLIM_INFINITY);
            saved = CPngImage::Save(world.get(), CPath(dir.file(c.target)));
        }
        EXPECT_FALSE(saved) << c.name;
        EXPECT_EQ(tavrel_test::ReadFile(dir.file("picture.png")), "old contents") << c.name;
        EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder"))) << c.name;
        // No half-written file is left beside it.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << c.name;
    }
    // A save that succeeds keeps the replaced file's mode, through a link
    // that stays a link.
    tavrel_test::TempDir dir;
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("private.png"), "old") &&
                ::chmod(dir.file("private.png").c_str(), 0600) == 0);
    std::filesystem::create_symlink("private.png", dir.file("link.png"));
    ASSERT_TRUE(CPngImage::Save(world.get(), CPath(dir.file("link.png"))) &&
                std::filesystem::is_symlink(dir.file("link.png")));
    EXPECT_EQ(tavrel_test::ReadFile(dir.file("private.png")).substr(1, 3), "PNG");
    EXPECT_EQ(std::filesystem::status(dir.file("private.png")).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(PngImage, RefusesBadData)
{
    std::unique_ptr<GWorld> world(GWorld::Create(Rect{0, 0, 8, 8}, 32));
    tavrel_test::TempDir dir;
    ASSERT_TRUE(CPngImage::Save(world.get(), CPath(dir.file("ok.png"))));
    const std::string ok = tavrel_test::ReadFile(dir.file("ok.png"));
    const Bytes good(ok.begin(), ok.end());
    Bytes badCrc = good;
    badCrc[30] ^= 0xFF;  // inside the header chunk's CRC
    const std::pair<const char*, Bytes> cases[] = {
        {"empty", {}},
        {"signature only", Bytes(good.begin(), good.begin() + 8)},
        {"not a PNG", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}},
        {"cut in the data", Bytes(good.begin(), good.end() - 20)},
        {"bad CRC", badCrc},
        // A text chunk that claims 1.9 GB right after the header (fuzz finding).
        {"huge text chunk", Cat({Bytes(good.begin(), good.begin() + 33),
                                 {0x73, 0x00, 0x00, 0x24, 't', 'E', 'X', 't', 'a', 0, 'b'}})},
    };
    for (const auto& [name, bytes] : cases) {
        CPngImage png;
        ASSERT_TRUE(png.Decode(good.data(), good.size()));
        EXPECT_FALSE(png.Decode(Exact(bytes).get(), bytes.size())) << name;
        EXPECT_EQ(png.pixels, nullptr) << name;
        EXPECT_EQ(png.width, 0u) << name;
    }
}

}  // namespace
