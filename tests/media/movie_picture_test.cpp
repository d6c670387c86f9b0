// Pictures opened as one-frame movies: which files open, their pixels and
// alpha, scaled frames, and drawing into worlds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/image.h"
#include "media/image_scale.h"
#include "media/picture_scratch.h"
#include "media/picture_store.h"
#include "media/qt_movie.h"
#include "picture_fixtures.h"
#include "platform/gestalt.h"

using namespace picture_test;
using tavrel_test::TempDir;

namespace {

constexpr uint8_t kOpaque[4] = {255, 255, 255, 255};
constexpr uint8_t kMixedAlpha[4] = {255, 0, 128, 255};

std::vector<uint8_t> Render(CQTMovie& movie, const Rect* dst, const Rect* src, int bits)
{
    const uint32_t count = movie.RenderFrame(0, nullptr, dst, src, bits);
    std::vector<uint8_t> out(count);
    if (count) {
        EXPECT_EQ(movie.RenderFrame(0, out.data(), dst, src, bits), count);
    }
    return out;
}

GifSpec QuarterGif(int screen, int offset, int transparent, bool interlace)
{
    GifSpec s{screen, screen, offset, offset, 16, 16, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}, {}};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) s.indices.push_back(uint8_t((y >= 8) * 2 + (x >= 8)));
    s.transparent = transparent;
    s.interlace = interlace;
    return s;
}

// The centre pixel of each quarter of a 16 × 16 frame, as R, G, B, A.
std::vector<Rgba> QuarterCentres(const std::vector<uint8_t>& rgba, int width, int x0, int y0)
{
    std::vector<Rgba> out;
    for (int q = 0; q < 4; ++q) {
        const int x = x0 + (q % 2) * 8 + 4, y = y0 + (q / 2) * 8 + 4;
        const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
        out.push_back({p[0], p[1], p[2], p[3]});
    }
    return out;
}

TEST(MoviePicture, OpensEveryKindWithItsColoursAndAlpha)
{
    TempDir dir;
    const auto quarters = [](const uint8_t* alpha) { return Quarters(16, 16, alpha); };
    const struct {
        const char* name;
        std::function<bool(const std::string&)> write;
        OSType codec;
        int size;     // of the movie box
        int origin;   // of the 16 × 16 quarters in the frame
        uint8_t alpha[4];
        int tolerance;
    } cases[] = {
        {"png-rgb.png", [&](auto& p) { return WritePng(p, 16, 16, quarters(kOpaque), false); },
         FourCC("png "), 16, 0, {255, 255, 255, 255}, 0},
        {"png-alpha.png", [&](auto& p) { return WritePng(p, 16, 16, quarters(kMixedAlpha), true); },
         FourCC("png "), 16, 0, {255, 0, 128, 255}, 0},
        // A background colour is a hint for viewers; the transparency stays.
        {"png-bkgd.png", [&](auto& p) { return WritePng(p, 16, 16, quarters(kMixedAlpha), true, 0); },
         FourCC("png "), 16, 0, {255, 0, 128, 255}, 0},
        {"photo.jpg", [&](auto& p) { return WriteJpeg(p, 16, 16, quarters(kOpaque), 95); },
         FourCC("jpeg"), 16, 0, {255, 255, 255, 255}, 12},
        {"bitmap.bmp", [&](auto& p) { return WriteBmp(p, 16, 16, quarters(kOpaque)); },
         FourCC("WRLE"), 16, 0, {255, 255, 255, 255}, 0},
        {"palette4.bmp", [&](auto& p) { return WriteBmp(p, 16, 16, quarters(kOpaque), 4); },
         FourCC("WRLE"), 16, 0, {255, 255, 255, 255}, 0},
        {"fields565.bmp", [&](auto& p) { return WriteBmp(p, 16, 16, quarters(kOpaque), 16); },
         FourCC("WRLE"), 16, 0, {255, 255, 255, 255}, 0},
        {"alpha.bmp", [&](auto& p) { return WriteBmp(p, 16, 16, quarters(kMixedAlpha), 32); },
         FourCC("WRLE"), 16, 0, {255, 0, 128, 255}, 0},
        {"plain.gif", [&](auto& p) { return WriteGif(p, QuarterGif(16, 0, -1, false)); },
         FourCC("gif "), 16, 0, {255, 255, 255, 255}, 0},
        {"clear.gif", [&](auto& p) { return WriteGif(p, QuarterGif(16, 0, 1, true)); },
         FourCC("gif "), 16, 0, {255, 0, 255, 255}, 0},
        // A frame on a larger screen: the uncovered border is transparent.
        {"framed.gif", [&](auto& p) { return WriteGif(p, QuarterGif(24, 4, -1, false)); },
         FourCC("gif "), 24, 4, {255, 255, 255, 255}, 0},
        {"rgb.tif", [&](auto& p) { return WriteTiff(p, 16, 16, quarters(kOpaque), false); },
         FourCC("tiff"), 16, 0, {255, 255, 255, 255}, 0},
        {"alpha.tif", [&](auto& p) { return WriteTiff(p, 16, 16, quarters(kMixedAlpha), true); },
         FourCC("tiff"), 16, 0, {255, 0, 128, 255}, 1},
        {"cmyk16.tif", [&](auto& p) { return WriteTiff(p, 16, 16, quarters(kOpaque), false, true); },
         FourCC("tiff"), 16, 0, {255, 255, 255, 255}, 0},
    };
    const Rgba colours[4] = {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The name says nothing: the content decides.
        const std::string path = dir.file(std::string(c.name) + ".dat");
        ASSERT_TRUE(c.write(path));
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(path));
        EXPECT_TRUE(movie.HasVideoTrack());
        EXPECT_FALSE(movie.HasSoundTrack());
        EXPECT_EQ(movie.GetTimeScale(), 600);
        EXPECT_EQ(movie.GetDuration(), 0);
        int w = 0, h = 0;
        movie.GetSize(&w, &h);
        EXPECT_EQ(w, c.size);
        EXPECT_EQ(h, c.size);
        ImageDescription desc;
        ASSERT_TRUE(movie.GetVideoDescription(&desc));
        EXPECT_EQ(desc.cType, c.codec);
        const std::vector<uint8_t> rgba = Render(movie, nullptr, nullptr, 32);
        ASSERT_EQ(rgba.size(), size_t(c.size) * c.size * 4);
        const std::vector<Rgba> got = QuarterCentres(rgba, c.size, c.origin, c.origin);
        for (int q = 0; q < 4; ++q) {
            EXPECT_EQ(got[q].a, c.alpha[q]) << "quarter " << q;
            if (c.alpha[q] == 0) continue;  // no colour to speak of
            EXPECT_NEAR(got[q].r, colours[q].r, c.tolerance) << "quarter " << q;
            EXPECT_NEAR(got[q].g, colours[q].g, c.tolerance) << "quarter " << q;
            EXPECT_NEAR(got[q].b, colours[q].b, c.tolerance) << "quarter " << q;
        }
        if (c.origin > 0) {
            EXPECT_EQ(rgba[3], 0) << "the screen outside the frame is transparent";
        }
    }
}

TEST(MoviePicture, OtherFilesDoNotOpen)
{
    TempDir dir;
    Bytes pict(512, 0);
    pict.insert(pict.end(), {0x00, 0x0A, 0, 0, 0, 0, 0, 16, 0, 16, 0x00, 0x11, 0x02, 0xFF});
    Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0};
    tga.resize(tga.size() + 12, 0x80);
    Bytes psd = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 16, 0, 0, 0, 16, 0, 8, 0, 3};
    psd.resize(200, 0);
    Bytes mp4 = {0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm', 'm', 'p', '4', '1'};
    mp4.resize(400, 0);
    Bytes png = ReadBytes(TAVREL_SOURCE_DIR "/README.md");  // text
    ASSERT_TRUE(WritePng(dir.file("good.png"), 16, 16, Quarters(16, 16, kOpaque), false));
    Bytes truncatedPng = ReadBytes(dir.file("good.png"));
    truncatedPng.resize(truncatedPng.size() / 2);
    ASSERT_TRUE(WriteJpeg(dir.file("good.jpg"), 16, 16, Quarters(16, 16, kOpaque), 90));
    Bytes jpegHeaderless = ReadBytes(dir.file("good.jpg"));
    jpegHeaderless.resize(40);
    Bytes badBmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 7, 0, 0, 0};
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"pict.pct", pict},   {"image.tga", tga},        {"layers.psd", psd}, {"clip.mp4", mp4},
        {"notes.txt", png},   {"cut.png", truncatedPng}, {"empty.jpg", {}},   {"head.jpg", jpegHeaderless},
        {"odd.bmp", badBmp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(dir.file(c.name), c.bytes));
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(dir.file("good.png")));
        EXPECT_FALSE(movie.OpenFile(dir.file(c.name)));
        // The picture open before is gone, and every frame call says so.
        EXPECT_FALSE(movie.IsOpen());
        EXPECT_EQ(movie.RenderFrame(0, nullptr, nullptr, nullptr, 24), 0u);
        CImage image;
        EXPECT_FALSE(movie.GetFrameAtTime(0, image, nullptr, 24));
    }
    CQTMovie movie;
    EXPECT_FALSE(movie.OpenFile(dir.file("missing.png")));
}

// A 64 × 32 picture of quarters, half transparent in one.
class MovieFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        const uint8_t alpha[4] = {255, 255, 0, 128};
        pixels_ = Quarters(64, 32, alpha);
        ASSERT_TRUE(WritePng(dir_.file("q.png"), 64, 32, pixels_, true));
        ASSERT_TRUE(movie_.OpenFile(dir_.file("q.png")));
    }

    TempDir dir_;
    std::vector<Rgba> pixels_;
    CQTMovie movie_;
};

TEST_F(MovieFrames, RenderFrameSizesAndRefusals)
{
    const Rect dst100x50{0, 0, 50, 100}, dstMoved{10, 20, 26, 52}, empty{5, 5, 5, 9};
    const Rect topLeft{0, 0, 16, 32}, outside{0, 40, 16, 72}, negative{-1, 0, 16, 32};
    const struct {
        const Rect* dst;
        const Rect* src;
        int bits;
        uint32_t count;
    } cases[] = {
        {nullptr, nullptr, 24, 64 * 32 * 3}, {nullptr, nullptr, 32, 64 * 32 * 4}, {&dst100x50, nullptr, 24, 15000},
        {&dstMoved, &topLeft, 32, 32 * 16 * 4},
        {nullptr, &outside, 24, 64 * 32 * 3},  // a source without a destination is not used
        {&dst100x50, &outside, 24, 0},         {&dst100x50, &negative, 24, 0},
        {&empty, nullptr, 24, 0},              {&dst100x50, nullptr, 16, 0},
        {nullptr, nullptr, 8, 0},
    };
    for (const auto& c : cases) {
        const uint32_t count = movie_.RenderFrame(0, nullptr, c.dst, c.src, c.bits);
        EXPECT_EQ(count, c.count);
        std::vector<uint8_t> out(count + 1, 0xAB);
        EXPECT_EQ(movie_.RenderFrame(0, out.data(), c.dst, c.src, c.bits), c.count);
        EXPECT_EQ(out.back(), 0xAB) << "written past the count";
    }
}

TEST_F(MovieFrames, ScaledFramesMatchResizeSoColourAndAlphaAgree)
{
    const struct {
        Rect dst;
        const Rect* src;
    } cases[] = {{{0, 0, 50, 100}, nullptr}, {{0, 0, 12, 20}, nullptr}, {{0, 0, 7, 130}, nullptr}};
    for (const auto& c : cases) {
        const std::vector<uint8_t> rgba = Render(movie_, &c.dst, nullptr, 32);
        // What a slide does with its mask: the natural frame, resized.
        CImage image;
        ASSERT_TRUE(movie_.GetFrameAtTime(0, image, nullptr, 32));
        image.Resize(uint32_t(RectWidth(c.dst)), uint32_t(RectHeight(c.dst)));
        ASSERT_EQ(rgba.size(), size_t(image.size));
        EXPECT_EQ(0, std::memcmp(rgba.data(), image.pixels, rgba.size()));
        std::vector<uint8_t> alpha(movie_.RenderFrameAt(0, nullptr, &c.dst, nullptr));
        ASSERT_EQ(movie_.RenderFrameAt(0, alpha.data(), &c.dst, nullptr), alpha.size());
        for (size_t i = 0; i < alpha.size(); ++i) ASSERT_EQ(alpha[i], rgba[i * 4 + 3]);
    }
    // A source at its own size is cut out unchanged: the bottom-right
    // quarter is white at alpha 128.
    const Rect src{16, 32, 32, 64}, dst{0, 0, 16, 32};
    const std::vector<uint8_t> cut = Render(movie_, &dst, &src, 32);
    for (size_t i = 0; i < cut.size(); i += 4) {
        ASSERT_EQ(cut[i], 255);
        ASSERT_EQ(cut[i + 3], 128);
    }
    // After SetSize the frame is drawn at the box's size.
    movie_.SetSize(32, 16);
    const std::vector<uint8_t> small = Render(movie_, nullptr, nullptr, 24);
    ASSERT_EQ(small.size(), 32u * 16 * 3);
    EXPECT_EQ(small[0], 255);  // red corner
    EXPECT_EQ(small[1], 0);
}

TEST_F(MovieFrames, GetFrameCopiesAreasUnscaled)
{
    const Rect area{0, 0, 8, 40}, tooWide{0, 0, 8, 65}, inner{16, 0, 32, 32}, beyond{20, 0, 36, 32};
    std::vector<uint8_t> out(movie_.GetFrameRGBA(0, nullptr, &area));
    ASSERT_EQ(out.size(), 40u * 8 * 4);
    movie_.GetFrameRGBA(0, out.data(), &area);
    EXPECT_EQ(out[0], 255);                // red
    EXPECT_EQ(out[(35) * 4 + 1], 255);     // green past the middle
    EXPECT_EQ(movie_.GetFrameRGBA(0, nullptr, &tooWide), 0u);
    const struct {
        const Rect* area;
        int bits;
        bool ok;
        uint32_t width, height;
        uint8_t firstRed, firstAlpha;
    } cases[] = {
        {nullptr, 24, true, 64, 32, 255, 0}, {nullptr, 32, true, 64, 32, 255, 255},
        {&inner, 32, true, 32, 16, 0, 0},  // transparent blue quarter
        {&beyond, 32, false, 0, 0, 0, 0},    {nullptr, 16, false, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        CImage image;
        EXPECT_EQ(movie_.GetFrameAtTime(0, image, c.area, c.bits), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.bitsPerPixel, c.bits);
        EXPECT_EQ(image.pixels[0], c.firstRed);
        if (c.bits == 32) {
            EXPECT_EQ(image.pixels[3], c.firstAlpha);
        }
    }
}

TEST_F(MovieFrames, DecodesAgainAndRefusesAFileChangedSinceOpening)
{
    // The frame is read from the file at each call, nothing held between.
    const uint32_t count = movie_.RenderFrame(0, nullptr, nullptr, nullptr, 32);
    EXPECT_EQ(Render(movie_, nullptr, nullptr, 32).size(), count);
    ASSERT_TRUE(WritePng(dir_.file("q.png"), 64, 32, pixels_, true));
    EXPECT_EQ(Render(movie_, nullptr, nullptr, 32).size(), count);
    // Another size, or no alpha, no longer fits the movie.
    const struct {
        int width;
        bool alpha;
    } cases[] = {{32, true}, {64, false}};
    for (const auto& c : cases) {
        ASSERT_TRUE(WritePng(dir_.file("q.png"), c.width, 32, Quarters(c.width, 32, kOpaque), c.alpha));
        std::vector<uint8_t> out(count);
        EXPECT_EQ(movie_.RenderFrame(0, out.data(), nullptr, nullptr, 32), 0u) << c.width;
    }
    std::remove(dir_.file("q.png").c_str());
    CImage image;
    EXPECT_FALSE(movie_.GetFrameAtTime(0, image, nullptr, 32));
}

TEST_F(MovieFrames, DrawsOverWorldsAndDerivesTheMask)
{
    // A world whose port bounds do not start at the origin, filled white.
    const Rect bounds{100, 200, 140, 280};
    std::unique_ptr<GWorld> world(GWorld::Create(bounds, 32));
    ASSERT_TRUE(world);
    for (int y = 0; y < world->Height(); ++y) std::memset(world->RowAt(y), 0xFF, size_t(world->Width()) * 4);
    std::unique_ptr<GWorld> mask(GWorld::Create(bounds, 8));
    const Rect box{104, 208, 136, 272};  // the picture at its size, 8 and 4 in
    ASSERT_TRUE(movie_.DrawToGWorld(world.get(), &box, mask.get()));
    const struct {
        int x, y;
        uint8_t a, r, g, b, mask;
    } cases[] = {
        {0, 0, 255, 255, 255, 255, 0},       // outside the box: untouched
        {8 + 4, 4 + 4, 255, 255, 0, 0, 255},  // red
        {8 + 40, 4 + 4, 255, 0, 255, 0, 255},  // green
        {8 + 4, 4 + 20, 255, 255, 255, 255, 0},  // clear blue: the white shows
        {8 + 40, 4 + 20, 255, 255, 255, 255, 0},  // half-clear white over white
    };
    for (const auto& c : cases) {
        const uint8_t* p = world->RowAt(c.y) + c.x * 4;
        EXPECT_EQ(p[0], c.a) << c.x << "," << c.y;
        EXPECT_EQ(p[1], c.r) << c.x << "," << c.y;
        EXPECT_EQ(p[2], c.g) << c.x << "," << c.y;
        EXPECT_EQ(p[3], c.b) << c.x << "," << c.y;
        EXPECT_EQ(mask->RowAt(c.y)[c.x], c.mask) << c.x << "," << c.y;
    }
    // Half-transparent white over black blends to mid grey.
    std::unique_ptr<GWorld> black(GWorld::Create(Rect{0, 0, 32, 64}, 32));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) black->RowAt(y)[x * 4] = 255;
    ASSERT_TRUE(movie_.DrawToPort(black.get(), nullptr));
    const uint8_t* grey = black->RowAt(24) + 40 * 4;
    EXPECT_EQ(grey[0], 255);
    EXPECT_NEAR(grey[1], 128, 1);
    // Worlds it cannot draw into, and a movie with no picture.
    std::unique_ptr<GWorld> grey8(GWorld::Create(Rect{0, 0, 32, 64}, 8));
    EXPECT_FALSE(movie_.DrawToPort(grey8.get(), nullptr));
    EXPECT_FALSE(movie_.DrawToGWorld(black.get(), nullptr, black.get()));
    EXPECT_FALSE(movie_.DrawToPort(nullptr, nullptr));
    CQTMovie none;
    EXPECT_FALSE(none.DrawToPort(black.get(), nullptr));
}

TEST(MoviePicture, LargeJpegDecodesReducedButAlike)
{
    TempDir dir;
    constexpr int kW = 800, kH = 600;
    std::vector<Rgba> pixels(size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) pixels[size_t(y) * kW + x] = {uint8_t(x * 255 / kW), uint8_t(y * 255 / kH), uint8_t((x + y) * 255 / (kW + kH)), 255};
    ASSERT_TRUE(WriteJpeg(dir.file("big.jpg"), kW, kH, pixels, 85));
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(dir.file("big.jpg")));
    const Rect whole{0, 0, kH, kW}, middle{150, 200, 450, 600};
    const struct {
        Rect dst;
        Rect src;
    } cases[] = {
        {{0, 0, 240, 320}, whole},    // decodes at 1/2
        {{0, 0, 75, 100}, middle},    // at 1/4, the crop mapped onto it
        {{0, 0, 45, 80}, whole},      // at 1/8
        {{0, 0, 500, 450}, middle},   // larger than the crop: full size
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> rendered = Render(movie, &c.dst, &c.src, 24);
        // The full decode, cut and resized as a slide's image would be.
        CImage expected;
        ASSERT_TRUE(movie.GetFrameAtTime(0, expected, &c.src, 24));
        expected.Resize(uint32_t(RectWidth(c.dst)), uint32_t(RectHeight(c.dst)));
        ASSERT_EQ(rendered.size(), size_t(expected.size));
        double total = 0;
        for (size_t i = 0; i < rendered.size(); ++i) total += std::abs(int(rendered[i]) - int(expected.pixels[i]));
        // A reduced decode shifts the picture by under a source pixel.
        EXPECT_LT(total / rendered.size(), 2.5) << RectWidth(c.dst);
        // What was decoded before does not change the result.
        EXPECT_EQ(Render(movie, &c.dst, &c.src, 24), rendered);
    }
}

// Movies drawing one after another through one set of kept buffers, as an
// export's slides do, draw what movies with buffers of their own draw,
// whatever the pictures before left in them; JPEG pictures decode into the
// kept block.
TEST(MoviePicture, KeptBuffersServePictureAfterPicture)
{
    TempDir dir;
    std::vector<Rgba> gradient(400 * 300);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) gradient[size_t(y) * 400 + x] = {uint8_t(x), uint8_t(y), uint8_t(x ^ y), 255};
    ASSERT_TRUE(WriteJpeg(dir.file("big.jpg"), 400, 300, gradient, 90));
    ASSERT_TRUE(WriteJpeg(dir.file("small.jpg"), 40, 30, Quarters(40, 30, kOpaque), 90));
    ASSERT_TRUE(WritePng(dir.file("alpha.png"), 64, 32, Quarters(64, 32, kMixedAlpha), true));
    const Rect middle{100, 100, 200, 300};
    const struct {
        const char* file;
        Rect dst;
        const Rect* src;
        int bits;
    } draws[] = {
        {"big.jpg", {0, 0, 240, 320}, nullptr, 24},  {"small.jpg", {0, 0, 60, 80}, nullptr, 24},
        {"big.jpg", {0, 0, 50, 100}, &middle, 24},   {"alpha.png", {0, 0, 50, 100}, nullptr, 32},
        {"big.jpg", {0, 0, 100, 130}, nullptr, 32},  {"small.jpg", {0, 0, 30, 40}, nullptr, 24},
        {"alpha.png", {0, 0, 32, 64}, nullptr, 24},  {"big.jpg", {0, 0, 300, 400}, nullptr, 24},
    };
    CPictureScratch scratch;
    for (const auto& d : draws) {
        SCOPED_TRACE(std::string(d.file) + " at " + std::to_string(RectWidth(d.dst)));
        CQTMovie kept, own;
        kept.KeepBuffersIn(&scratch);
        ASSERT_TRUE(kept.OpenFile(dir.file(d.file)));
        ASSERT_TRUE(own.OpenFile(dir.file(d.file)));
        const std::vector<uint8_t> drawn = Render(kept, &d.dst, d.src, d.bits);
        ASSERT_FALSE(drawn.empty());
        EXPECT_EQ(drawn, Render(own, &d.dst, d.src, d.bits));
    }
    EXPECT_EQ(scratch.decoded.Capacity(), 400u * 300 * 3);
}

// Pictures kept from one step of a run for the next come back as they went
// in, once each, whether held in memory or, past a few megabytes, in the
// store's file; one asked for on another basis is not handed out.
TEST(MoviePicture, StoredPicturesComeBackOnceAsKept)
{
    const struct {
        uint32_t width, height;
        uint16_t bits;
        size_t mask;
    } rows[] = {{64, 48, 24, 0}, {1920, 1080, 24, 0}, {1920, 1080, 24, 1920 * 1080}, {3, 1, 24, 3}, {2000, 1200, 24, 0}};
    CPictureStore store;
    std::vector<CImage> kept(std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        ASSERT_TRUE(kept[i].Create(rows[i].width, rows[i].height, rows[i].bits, nullptr, false));
        for (size_t b = 0; b < size_t(rows[i].width) * rows[i].height * 3; ++b) kept[i].pixels[b] = uint8_t(b * 7 + i);
        const std::vector<uint8_t> mask(rows[i].mask, uint8_t(100 + i));
        ASSERT_TRUE(store.Keep(&rows[i], "basis " + std::to_string(i), kept[i], mask, {"said " + std::to_string(i)}));
    }
    CImage image;
    std::vector<uint8_t> mask;
    std::vector<std::string> said;
    EXPECT_FALSE(store.Take(&rows[0], "another basis", image, mask, said));
    EXPECT_FALSE(store.Holds(&rows[0]));
    for (size_t i = 1; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(store.Take(&rows[i], "basis " + std::to_string(i), image, mask, said));
        ASSERT_EQ(std::make_pair(image.width, image.height), std::make_pair(rows[i].width, rows[i].height));
        EXPECT_EQ(std::memcmp(image.pixels, kept[i].pixels, size_t(image.width) * image.height * 3), 0);
        EXPECT_EQ(mask, std::vector<uint8_t>(rows[i].mask, uint8_t(100 + i)));
        EXPECT_EQ(said, std::vector<std::string>{"said " + std::to_string(i)});
        EXPECT_FALSE(store.Take(&rows[i], "basis " + std::to_string(i), image, mask, said));
    }

    // Encoded pictures (a small one in memory, one past it in the file) come
    // back whole and once through TakeEncoded alone, which leaves a picture
    // kept as pixels for Take; one taken as pixels is gone.
    const size_t sizes[] = {5000, size_t(3) << 20, 700};
    std::vector<std::vector<uint8_t>> streams;
    for (size_t i = 0; i < std::size(sizes); ++i) {
        streams.emplace_back(sizes[i]);
        for (size_t b = 0; b < sizes[i]; ++b) streams[i][b] = uint8_t(b * 13 + i);
        ASSERT_TRUE(store.KeepEncoded(&sizes[i], "jpeg", streams[i], {"encoded " + std::to_string(i)}));
    }
    ASSERT_TRUE(store.Keep(&rows[0], "pixels", kept[0], {}, {}));
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(store.TakeEncoded(&rows[0], "pixels", bytes, said));
    EXPECT_TRUE(store.Take(&rows[0], "pixels", image, mask, said));
    EXPECT_FALSE(store.Take(&sizes[2], "jpeg", image, mask, said));
    EXPECT_FALSE(store.TakeEncoded(&sizes[2], "jpeg", bytes, said));
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(sizes[i]);
        ASSERT_TRUE(store.TakeEncoded(&sizes[i], "jpeg", bytes, said));
        EXPECT_TRUE(bytes == streams[i]);
        EXPECT_EQ(said, std::vector<std::string>{"encoded " + std::to_string(i)});
        EXPECT_FALSE(store.TakeEncoded(&sizes[i], "jpeg", bytes, said));
    }
}

}  // namespace
