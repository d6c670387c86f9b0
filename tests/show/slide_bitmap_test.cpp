// How often a slide's picture is decoded on its way into the movie, and that
// the bitmap comes out the same: an imported JPEG that keeps its file's
// stream is not decoded at all, and a transparent kind takes its colour and
// its mask from one decode, byte for byte what two renders of its own give.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../media/picture_fixtures.h"
#include "media/image.h"
#include "media/image_filters.h"
#include "media/picture_file.h"
#include "media/qt_movie.h"
#include "media/swf_bitmap.h"
#include "show/movie_walker.h"
#include "show/slide_bitmap.h"
#include "show/slide_show.h"
#include "support/test_support.h"
#include "swf/stream.h"

using tavrel_test::TempDir;

namespace {

using picture_test::Rgba;
using show_test::WalkedTag;
using show_test::WalkMovie;

constexpr int kBitsJpeg2 = 21, kBitsJpeg3 = 35, kBitsLossless = 20, kBitsLossless2 = 36;

// Colour and alpha that change at every pixel, all of 0, 255 and between.
std::vector<Rgba> Detailed(int w, int h, bool alpha)
{
    std::vector<Rgba> out(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[size_t(y) * w + x] = {uint8_t(x * 255 / w), uint8_t(y * 255 / h), uint8_t(x * y * 7),
                                      uint8_t(alpha ? (x < w / 4       ? 0
                                                       : x > w * 3 / 4 ? 255
                                                                       : (x * 37 + y * 11))
                                                    : 255)};
    return out;
}

// Exports a show of one slide of the picture and returns its bitmap tag's
// body past the character id, and how many pictures were decoded meanwhile.
struct Exported {
    std::string bitmap;
    int code = 0;
    uint64_t decodes = 0;
    std::unique_ptr<CSlideShow> show;  // holds the slide as the export left it
    CSlide* slide = nullptr;
};

Exported Export(const TempDir& dir, const std::string& picture, int type, const std::function<void(CSlide&)>& edit)
{
    Exported e;
    e.show = std::make_unique<CSlideShow>();
    auto slide = std::make_unique<CSlide>(CSlide::kImage, e.show.get());
    slide->LoadImage(CPath(picture), e.show.get(), true);
    slide->SetDuration(500);
    slide->SetImageType(type);
    edit(*slide);
    e.slide = slide.get();
    e.show->InsertSlideAt(std::move(slide), 0);
    const std::string path = dir.file("movie.swf");
    const uint64_t before = PictureDecodeCount();
    EXPECT_TRUE(e.show->Export(CPath(path), true, nullptr)) << e.show->GetLastErrorText();
    e.decodes = PictureDecodeCount() - before;
    for (const WalkedTag& tag : WalkMovie(path).tags)
        if (tag.code == kBitsJpeg2 || tag.code == kBitsJpeg3 || tag.code == kBitsLossless ||
            tag.code == kBitsLossless2) {
            e.bitmap = tag.body.substr(2);
            e.code = tag.code;
        }
    return e;
}

void Orient(const CSlide& slide, CImage& image)
{
    if (slide.GetFlipVertical()) image.FlipVertical();
    if (slide.GetFlipHorizontal()) image.FlipHorizontal();
    if (slide.GetRotate()) image.Rotate(slide.GetRotate());
}

// What the slide's transparent bitmap is made of when the picture is
// rendered twice: the colour at the render size, filtered, mirrored and
// turned; the alpha rendered at the crop's own size, mirrored and turned,
// then scaled to the display size.
std::string TwoRenders(const CSlide& slide)
{
    CQTMovie picture;
    if (!picture.OpenFile(slide.GetSrc())) return "no picture";
    int naturalW = 0, naturalH = 0;
    picture.GetSize(&naturalW, &naturalH);
    Rect crop{};
    const Rect* source = MapCropToPicture(slide, naturalW, naturalH, &crop) ? &crop : nullptr;
    const int w = slide.GetWidth(), h = slide.GetHeight();
    const bool quarter = slide.GetRotate() == 90 || slide.GetRotate() == 270;
    const Rect render{0, 0, int16_t(quarter ? w : h), int16_t(quarter ? h : w)};
    CImage colour;
    colour.Create(uint32_t(render.right), uint32_t(render.bottom), 24, nullptr, false);
    if (picture.RenderFrame(0, colour.pixels, &render, source, 24) != colour.size) return "no colour";
    Orient(slide, colour);
    const Rect own = source ? Rect{0, 0, int16_t(crop.bottom - crop.top), int16_t(crop.right - crop.left)}
                            : Rect{0, 0, int16_t(naturalH), int16_t(naturalW)};
    CImage rgba;
    rgba.Create(uint32_t(own.right), uint32_t(own.bottom), 32, nullptr, false);
    if (picture.RenderFrame(0, rgba.pixels, &own, source, 32) != rgba.size) return "no mask";
    Orient(slide, rgba);
    rgba.Resize(uint32_t(w), uint32_t(h));
    std::vector<uint8_t> mask(size_t(w) * h);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = rgba.pixels[i * 4 + 3];
    CSwfBitmap bitmap;
    std::unique_ptr<CSwfDefineTag> tag;
    switch (slide.GetImageType()) {
        case CSlide::kJpegTransparent:
            tag.reset(
                bitmap.MakeJpegWithAlpha(colour.pixels, mask.data(), uint32_t(w), uint32_t(h), slide.GetQuality()));
            break;
        case CSlide::kRgb8Transparent:
            tag.reset(bitmap.MakeLosslessAlpha(colour.pixels, mask.data(), uint32_t(w), uint32_t(h), 8));
            break;
        default:
            tag.reset(bitmap.MakeLosslessAlpha(colour.pixels, mask.data(), uint32_t(w), uint32_t(h), 24));
            break;
    }
    if (!tag) return "no tag";
    CSwfStream stream;
    tag->Write(stream);
    const std::vector<uint8_t>& bytes = stream.GetBuffer();
    // Past the tag header and the character id: the header is 2 or 6 bytes.
    const size_t header = (bytes[0] & 0x3F) == 0x3F ? 6 : 2;
    return std::string(bytes.begin() + long(header) + 2, bytes.end());
}

TEST(SlideBitmap, ImportedJpegKeepsItsStreamAndItsWarnings)
{
    TempDir dir;
    const std::string jpeg = dir.file("photo.jpg");
    ASSERT_TRUE(picture_test::WriteJpeg(jpeg, 120, 80, Detailed(120, 80, false), 90));
    const struct {
        const char* name;
        std::function<void(CSlide&)> edit;
        uint64_t decodes;
        bool fromFile;
    } cases[] = {
        {"as it is", [](CSlide&) {}, 1, true},
        {"turned", [](CSlide& s) { s.Rotate(90, true); }, 1, true},
        {"mirrored", [](CSlide& s) { s.FlipHorizontal(true); }, 1, true},
        {"cropped",
         [](CSlide& s) {
             s.SetCropRect({10, 20, 70, 100}), s.SetCrop(true);
         },
         1, true},
        // Filters change the pixels: those are encoded.
        {"filtered", [](CSlide& s) { s.AddFilter(std::make_unique<CBlackWhiteFilter>()); }, 1, false},
    };
    for (const auto& c : cases) {
        const Exported e = Export(dir, jpeg, CSlide::kJpegImportData, c.edit);
        EXPECT_EQ(e.decodes, c.decodes) << c.name;
        EXPECT_EQ(e.code, kBitsJpeg2) << c.name;
        EXPECT_EQ(e.slide->GetExportState().bitmapFromFile, c.fromFile) << c.name;
    }
    // A PNG imported as JPEG data has no stream to keep: it is decoded and encoded.
    const std::string png = dir.file("photo.png");
    ASSERT_TRUE(picture_test::WritePng(png, 60, 40, Detailed(60, 40, false), false));
    const Exported e = Export(dir, png, CSlide::kJpegImportData, [](CSlide&) {});
    EXPECT_EQ(e.decodes, 1u);
    EXPECT_EQ(e.code, kBitsJpeg2);
    EXPECT_FALSE(e.slide->GetExportState().bitmapFromFile);

    // The kept stream is still read through once (at the coarsest scale),
    // so a file cut short is said, as for any other slide.
    const std::string bytes = tavrel_test::ReadFile(jpeg);
    const std::string cut = dir.file("cut.jpg");
    tavrel_test::WriteFile(cut, bytes.substr(0, bytes.size() * 2 / 3));
    const Exported damaged = Export(dir, cut, CSlide::kJpegImportData, [](CSlide&) {});
    EXPECT_TRUE(damaged.slide->GetExportState().bitmapFromFile);
    EXPECT_FALSE(damaged.show->GetPictureWarnings().empty());
}

TEST(SlideBitmap, TransparentKindsDecodeOnceAsTwoRendersWould)
{
    TempDir dir;
    const struct {
        const char* name;
        int w, h;
        bool png, alpha;
    } pictures[] = {
        {"alpha.png", 90, 60, true, true},
        {"odd.png", 37, 53, true, true},
        {"opaque.png", 50, 40, true, false},
        {"photo.jpg", 80, 64, false, false},
    };
    const struct {
        const char* name;
        int w, h;  // the display size; 0: the picture's
        std::function<void(CSlide&)> edit;
    } edits[] = {
        {"as it is", 0, 0, [](CSlide&) {}},
        {"smaller", 41, 29, [](CSlide&) {}},
        {"larger", 133, 97, [](CSlide&) {}},
        {"turned", 45, 67, [](CSlide& s) { s.Rotate(90, true); }},
        {"half turn, mirrored", 70, 33, [](CSlide& s) { s.Rotate(180, true), s.FlipVertical(true); }},
        {"three quarters, cropped", 50, 30,
         [](CSlide& s) {
             s.Rotate(270, true), s.SetCropRect({3, 5, 30, 33}), s.SetCrop(true);
         }},
        {"mirrored, cropped", 61, 43,
         [](CSlide& s) {
             s.FlipHorizontal(true), s.SetCropRect({2, 7, 29, 30}), s.SetCrop(true);
         }},
    };
    // The kinds share the road to the encoder: each takes its turn.
    const int kinds[] = {CSlide::kRgb24Transparent, CSlide::kRgb8Transparent, CSlide::kJpegTransparent};
    size_t turn = 0;
    for (const auto& p : pictures) {
        const std::string path = dir.file(p.name);
        const std::vector<Rgba> pixels = Detailed(p.w, p.h, p.alpha);
        ASSERT_TRUE(p.png ? picture_test::WritePng(path, p.w, p.h, pixels, p.alpha)
                          : picture_test::WriteJpeg(path, p.w, p.h, pixels, 90));
        for (const auto& edit : edits) {
            const int kind = kinds[turn++ % std::size(kinds)];
            const std::string name = std::string(p.name) + ", " + edit.name + ", kind " + std::to_string(kind);
            const Exported e = Export(dir, path, kind, [&](CSlide& s) {
                edit.edit(s);
                if (edit.w) s.SetSize(edit.w, edit.h);
            });
            EXPECT_EQ(e.decodes, 1u) << name;
            ASSERT_FALSE(e.bitmap.empty()) << name;
            EXPECT_TRUE(e.bitmap == TwoRenders(*e.slide)) << name;
        }
    }
}

}  // namespace
