// The slide's working picture, its thumbnail and the show's background, by
// the pixel.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "media/png_image.h"
#include "platform/quickdraw.h"
#include "show/prefs_record.h"
#include "show/slide_show.h"
#include "show_test_util.h"

using namespace show_test;
using tavrel_test::TempDir;

namespace {

const RGBColor kRed{0xFFFF, 0, 0}, kBlue{0, 0, 0xFFFF}, kWhite{0xFFFF, 0xFFFF, 0xFFFF}, kBlack{0, 0, 0};

bool Same(const RGBColor& a, const RGBColor& b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

std::unique_ptr<GWorld> World(int w, int h, const RGBColor& fill)
{
    std::unique_ptr<GWorld> world(GWorld::Create(Rect{0, 0, int16_t(h), int16_t(w)}, 32));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) world->SetCPixel(x, y, fill);
    return world;
}

// A w × h PNG, red in its left half and blue in its right.
std::string WriteHalves(const TempDir& dir, const std::string& name, int w, int h)
{
    auto world = World(w, h, kRed);
    for (int y = 0; y < h; ++y)
        for (int x = w / 2; x < w; ++x) world->SetCPixel(x, y, kBlue);
    std::string path = dir.file(name);
    return CPngImage::Save(world.get(), CPath(path)) ? path : "";
}

std::string Le16(int v)
{
    return {char(v & 0xFF), char(v >> 8)};
}

std::string Le32(uint32_t v)
{
    return Le16(int(v & 0xFFFF)) + Le16(int(v >> 16));
}

// A 512 × 256 JPEG carrying an EXIF orientation and version.
std::string WriteOriented(const TempDir& dir, const std::string& name, int orientation)
{
    std::string tiff = std::string("II*\0", 4) + Le32(8);
    tiff += Le16(2);
    tiff += Le16(0x0112) + Le16(3) + Le32(1) + Le16(orientation) + Le16(0);
    tiff += Le16(0x8769) + Le16(4) + Le32(1) + Le32(38);
    tiff += Le32(0);
    tiff += Le16(1) + Le16(0x9000) + Le16(7) + Le32(4) + "0230" + Le32(0);
    std::string app1 = std::string("Exif\0\0", 6) + tiff;
    std::string segment = std::string("\xFF\xE1", 2) + char((app1.size() + 2) >> 8) + char((app1.size() + 2) & 0xFF);
    std::string path = WriteJpeg(dir, name, 512, 256);
    std::string bytes = tavrel_test::ReadFile(path);
    tavrel_test::WriteFile(path, bytes.substr(0, 2) + segment + app1 + bytes.substr(2));
    return path;
}

struct ExifPreference {
    explicit ExifPreference(int on) : saved(GetPrefsRecord().read_exif_data) { GetPrefsRecord().read_exif_data = on; }
    ~ExifPreference() { GetPrefsRecord().read_exif_data = saved; }
    int saved;
};

TEST(SlidePicture, ExifOrientationOnLoad)
{
    TempDir dir;
    CSlideShow show;
    struct Case {
        int orientation, preference;
        int rotate;
        bool flipH, flipV;
        int width, height;  // display size in the 320 × 240 show
        uint32_t pictureW, pictureH;
    } cases[] = {
        {1, 1, 0, false, false, 320, 160, 256, 128},   {2, 1, 0, true, false, 320, 160, 256, 128},
        {3, 1, 180, false, false, 320, 160, 256, 128}, {4, 1, 0, false, true, 320, 160, 256, 128},
        {5, 1, 0, false, false, 320, 160, 256, 128},   {6, 1, 90, false, false, 120, 240, 128, 256},
        {7, 1, 0, false, false, 320, 160, 256, 128},   {8, 1, 270, false, false, 120, 240, 128, 256},
        {6, 0, 0, false, false, 320, 160, 256, 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "orientation " << c.orientation << " preference " << c.preference);
        ExifPreference preference(c.preference);
        CSlide slide(CSlide::kImage, &show);
        std::string path = WriteOriented(dir, "o" + std::to_string(c.orientation) + ".jpg", c.orientation);
        ASSERT_TRUE(slide.LoadImage(CPath(path), &show, true));
        EXPECT_EQ(slide.GetRotate(), c.rotate);
        EXPECT_EQ(slide.GetFlipHorizontal(), c.flipH);
        EXPECT_EQ(slide.GetFlipVertical(), c.flipV);
        EXPECT_EQ(slide.GetWidth(), c.width);
        EXPECT_EQ(slide.GetHeight(), c.height);
        int W, H;
        slide.GetRotatedImageSize(&W, &H);
        EXPECT_EQ(slide.GetCropRect(), (SlideRect{0, 0, int16_t(H), int16_t(W)}));
        const CImage* picture = slide.GetWorkingPicture();
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->width, c.pictureW);
        EXPECT_EQ(picture->height, c.pictureH);
        // A project read keeps its stored edits and never asks the file again.
        CSlide reread(CSlide::kImage, &show);
        ASSERT_TRUE(reread.LoadImage(CPath(path), &show, false));
        EXPECT_EQ(reread.GetRotate(), 0);
    }
}

TEST(SlidePicture, CopyPictureToImageScalesTheEditedPicture)
{
    TempDir dir;
    CSlideShow show;
    std::string path = WriteHalves(dir, "halves.png", 4, 2);
    struct Case {
        int edit;  // 0 none, 1 flip horizontal, 2 rotate 90
        int w, h;
        RGBColor topLeft, bottomRight;
    } cases[] = {
        {0, 8, 4, kRed, kBlue},
        {0, 1, 1, kRed, kRed},
        {1, 8, 4, kBlue, kRed},
        // Turned clockwise, the red half is on top.
        {2, 4, 8, kRed, kBlue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        CSlide slide(CSlide::kImage, &show);
        ASSERT_TRUE(slide.LoadImage(CPath(path), &show, true));
        if (c.edit == 1) slide.FlipHorizontal(true);
        if (c.edit == 2) slide.Rotate(90, true);
        CImage out;
        ASSERT_TRUE(slide.CopyPictureToImage(out, c.w, c.h));
        ASSERT_EQ(out.width, uint32_t(c.w));
        ASSERT_EQ(out.height, uint32_t(c.h));
        ASSERT_EQ(out.bitsPerPixel, 24);
        auto pixel = [&](int x, int y) {
            const uint8_t* p = out.pixels + (size_t(y) * c.w + x) * 3;
            return RGBColor{uint16_t(p[0] * 0x101), uint16_t(p[1] * 0x101), uint16_t(p[2] * 0x101)};
        };
        EXPECT_TRUE(Same(pixel(0, 0), c.topLeft));
        EXPECT_TRUE(Same(pixel(c.w - 1, c.h - 1), c.bottomRight));
    }
    CSlide slide(CSlide::kImage, &show);
    ASSERT_TRUE(slide.LoadImage(CPath(path), &show, true));
    CImage out;
    EXPECT_FALSE(slide.CopyPictureToImage(out, 0, 4));
    CSlide missing(CSlide::kImage, &show);
    ASSERT_TRUE(missing.LoadImage(CPath(WritePngHeader(dir, "header-only.png", 4, 2)), &show, true));
    EXPECT_FALSE(missing.CopyPictureToImage(out, 4, 2));
}

TEST(SlidePicture, DrawThumbnail)
{
    TempDir dir;
    CSlideShow show;
    std::string path = WriteHalves(dir, "halves.png", 4, 2);
    struct Probe {
        int x, y;
        RGBColor color;
    };
    struct Case {
        const char* name;
        int type;
        bool fit, useCrop;
        SlideRect crop;
        std::vector<Probe> probes;
        int imageWidth = 4;  // twice the height
    } cases[] = {
        {"stretched", CSlide::kImage, false, false, {}, {{0, 0, kRed}, {9, 19, kRed}, {10, 0, kBlue}, {19, 19, kBlue}}},
        // 4 × 2 into 20 × 20: 20 × 10, centred 5 rows down.
        {"fitted", CSlide::kImage, true, false, {}, {{0, 4, kWhite}, {0, 5, kRed}, {19, 14, kBlue}, {19, 15, kWhite}}},
        // The left half is square and fills the square.
        {"cropped", CSlide::kImage, true, true, {0, 0, 2, 2}, {{0, 0, kRed}, {19, 19, kRed}}},
        {"crop off", CSlide::kImage, true, false, {0, 0, 2, 2}, {{0, 5, kRed}, {19, 5, kBlue}}},
        {"empty crop", CSlide::kImage, true, true, {0, 1, 2, 1}, {{0, 5, kWhite}, {10, 10, kWhite}, {19, 14, kWhite}}},
        // A crop is in image pixels: 1024 × 512 has a 256 × 128 working picture
        // (kept clear of the blended middle).
        {"crop scaled", CSlide::kImage, false, true, {0, 192, 512, 448}, {{0, 0, kRed}, {19, 19, kRed}}, 1024},
        {"crop scaled right", CSlide::kImage, false, true, {0, 576, 512, 832}, {{0, 0, kBlue}, {19, 19, kBlue}}, 1024},
        {"blank", CSlide::kBlank, true, false, {}, {{0, 0, kBlack}, {19, 19, kBlack}}},
        // A new image slide has no picture yet: nothing to draw.
        {"no picture", CSlide::kImage, true, false, {}, {{0, 0, kWhite}, {10, 10, kWhite}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSlide slide(c.type, &show);
        if (std::string(c.name) != "no picture") {
            ASSERT_TRUE(slide.LoadImage(
                CPath(c.type != CSlide::kImage ? ""
                      : c.imageWidth == 4      ? path
                                               : WriteHalves(dir, "wide.png", c.imageWidth, c.imageWidth / 2)),
                &show, true));
        }
        if (c.crop.right || c.crop.left) {
            slide.SetCropRect(c.crop);
            slide.SetCrop(true);
        }
        auto port = World(30, 30, kWhite);
        port->SetForeColor(kBlue);
        Rect dest{0, 0, 20, 20};
        slide.DrawThumbnail(port.get(), &dest, c.fit, c.useCrop);
        for (const Probe& p : c.probes) EXPECT_TRUE(Same(port->GetCPixel(p.x, p.y), p.color)) << p.x << "," << p.y;
        // Nothing lands outside dest, and the port's colour is its own again.
        EXPECT_TRUE(Same(port->GetCPixel(20, 20), kWhite));
        EXPECT_TRUE(Same(port->ForeColor(), kBlue));
    }
}

TEST(SlideShow, SingleEdgeBoundsSetters)
{
    struct Case {
        const char* edge;
        int value, result;
        int left, top, right, bottom;  // after the call
    } cases[] = {
        {"left", 20, CSlideShow::kBoundsOk, 20, 0, 320, 240},
        {"left", 320, CSlideShow::kBadWidth, 0, 0, 320, 240},
        {"right", 0, CSlideShow::kNoWidth, 0, 0, 320, 240},
        {"right", 400, CSlideShow::kBoundsOk, 0, 0, 400, 240},
        {"top", 240, CSlideShow::kBadHeight, 0, 0, 320, 240},
        {"top", -10, CSlideShow::kBoundsOk, 0, -10, 320, 240},
        {"bottom", 0, CSlideShow::kNoHeight, 0, 0, 320, 240},
        {"bottom", 100, CSlideShow::kBoundsOk, 0, 0, 320, 100},
        // Edges are 16-bit: a wider value is refused rather than wrapped.
        {"right", 70000, CSlideShow::kBadWidth, 0, 0, 320, 240},
        {"bottom", 40000, CSlideShow::kBadHeight, 0, 0, 320, 240},
        {"rect", 0, CSlideShow::kBoundsOk, 5, 6, 300, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.edge << " " << c.value);
        CSlideShow show;
        std::string edge = c.edge;
        int result = edge == "left"     ? show.SetBoundsLeft(c.value)
                     : edge == "top"    ? show.SetBoundsTop(c.value)
                     : edge == "right"  ? show.SetBoundsRight(c.value)
                     : edge == "bottom" ? show.SetBoundsBottom(c.value)
                                        : show.SetBoundsRect(Rect{6, 5, 200, 300});
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(
            (std::array{show.GetBoundsLeft(), show.GetBoundsTop(), show.GetBoundsRight(), show.GetBoundsBottom()}),
            (std::array{c.left, c.top, c.right, c.bottom}));
    }
}

TEST(SlideShow, DrawBackgroundPaintsTheShowArea)
{
    CSlideShow show;
    show.SetSize(40, 30);
    show.bg_color = 0x00FF8040;  // blue 0xFF, green 0x80, red 0x40
    auto port = World(50, 40, kWhite);
    port->SetForeColor(kRed);
    {
        PortSaver saver;
        SetGWorld(port.get());
        show.DrawBackground();
    }
    const RGBColor color{0x4040, 0x8080, 0xFFFF};
    struct Probe {
        int x, y;
        RGBColor color;
    } probes[] = {{0, 0, color}, {39, 29, color}, {40, 0, kWhite}, {0, 30, kWhite}};
    for (const Probe& p : probes) EXPECT_TRUE(Same(port->GetCPixel(p.x, p.y), p.color)) << p.x << "," << p.y;
    EXPECT_TRUE(Same(port->ForeColor(), kRed));
}

}  // namespace
