// The filters' arithmetic on small pictures, their edge cases, and every
// kind on one fixed picture against stored digests.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "filter_pictures.h"
#include "media/image_filters.h"

using namespace filter_test;

namespace {

// One colour in, one colour out, for filters that map pixels on their own.
struct MapCase {
    const char* what;
    std::function<std::unique_ptr<CImageFilter>()> make;
    Rgb in, out;
};

template <class F, class Setup>
std::function<std::unique_ptr<CImageFilter>()> With(Setup setup)
{
    return [setup] {
        auto filter = std::make_unique<F>();
        setup(*filter);
        return std::unique_ptr<CImageFilter>(std::move(filter));
    };
}

template <class F>
std::function<std::unique_ptr<CImageFilter>()> Plain()
{
    return [] { return std::unique_ptr<CImageFilter>(new F); };
}

}  // namespace

TEST(ImageFilters, PixelMaps)
{
    auto bw = [](int t) { return With<CBlackWhiteFilter>([t](CBlackWhiteFilter& f) { f.SetThreshold(t); }); };
    auto bc = [](int b, int c) {
        return With<CBrightnessContrastFilter>([b, c](CBrightnessContrastFilter& f) {
            f.SetBrightness(b);
            f.SetContrast(c);
        });
    };
    const MapCase cases[] = {
        {"grayscale white", Plain<CGrayscaleFilter>(), Gray(255), Gray(255)},
        {"grayscale red", Plain<CGrayscaleFilter>(), {255, 0, 0}, Gray(85)},
        {"grayscale blue", Plain<CGrayscaleFilter>(), {0, 0, 255}, Gray(56)},
        {"sepia white", Plain<CSepiaFilter>(), Gray(255), {255, 241, 199}},
        {"sepia black", Plain<CSepiaFilter>(), Gray(0), {49, 0, 0}},
        {"solarize", Plain<CSolarizeFilter>(), {51, 50, 200}, {204, 50, 55}},
        {"b&w 0 black", bw(0), {1, 1, 0}, Gray(0)},
        {"b&w 0 white", bw(0), {3, 0, 0}, Gray(255)},
        {"b&w 255", bw(255), Gray(255), Gray(0)},
        {"b&w default", bw(100), {100, 101, 102}, Gray(255)},
        {"brightness 100", bc(100, 0), {200, 100, 0}, {255, 227, 127}},
        {"contrast -100", bc(0, -100), {0, 200, 255}, Gray(127)},
        {"neutral", bc(0, 0), {0, 77, 255}, {0, 77, 255}},
        {"brightness -50 contrast 50", bc(-50, 50), {20, 128, 255}, {0, 32, 223}},
        // Values far outside the sliders saturate instead of overflowing.
        {"brightness huge", bc(INT_MAX, 0), {0, 0, 0}, Gray(255)},
        {"contrast huge", bc(0, INT_MAX), {126, 127, 128}, {0, 127, 255}},
        {"contrast hugely negative", bc(INT_MIN, INT_MIN), {0, 127, 255}, Gray(255)},
    };
    for (const MapCase& c : cases) {
        CImage image;
        Fill(image, 3, 2, c.in);
        EXPECT_TRUE(c.make()->Apply(image)) << c.what;
        EXPECT_EQ(At(image, 2, 1), c.out) << c.what;
    }
}

TEST(ImageFilters, FlatPicturesStayFlat)
{
    // Under every kind but the noise, the edge frames, relief and edge
    // detection, a flat picture stays exactly as it was, borders included.
    const std::function<std::unique_ptr<CImageFilter>()> kinds[] = {
        Plain<CBlurFilter>(),    Plain<CGaussianBlurFilter>(), Plain<CFastBlurFilter>(),    Plain<CSharpenFilter>(),
        Plain<CMedianFilter>(),  Plain<CReduceNoiseFilter>(),  Plain<COilPaintFilter>(),    Plain<CSwirlFilter>(),
        Plain<CImplodeFilter>(), Plain<CDespeckleFilter>(),    Plain<CDeinterlaceFilter>(),
    };
    for (const auto& make : kinds) {
        CImage image, before;
        Fill(image, 13, 11, {90, 140, 10});
        before.CopyFrom(image);
        auto filter = make();
        EXPECT_TRUE(filter->Apply(image)) << filter->GetName();
        EXPECT_TRUE(SamePixels(image, before)) << filter->GetName();
    }
    CImage image;
    Fill(image, 9, 7, Gray(200));
    EXPECT_TRUE(CShadeFilter().Apply(image));
    EXPECT_EQ(At(image, 0, 0), Gray(87));
    EXPECT_EQ(At(image, 8, 6), Gray(87));
    Fill(image, 9, 7, {10, 200, 30});
    EXPECT_TRUE(CEdgeFilter().Apply(image));
    EXPECT_EQ(At(image, 0, 0), Gray(0));
    EXPECT_EQ(At(image, 4, 3), Gray(0));
}

TEST(ImageFilters, SmallPicturesAndRefusals)
{
    CImage image, before;
    Pattern(image, 4, 4);
    before.CopyFrom(image);
    CMedianFilter median;
    EXPECT_FALSE(median.Apply(image));  // 5 × 5 window
    EXPECT_TRUE(SamePixels(image, before));
    CEdgeFilter edge;
    edge.SetRadius(2);
    EXPECT_TRUE(edge.Apply(image));  // order 4 is refused
    EXPECT_TRUE(CEmbossFilter().Apply(image));
    EXPECT_TRUE(CSharpenFilter().Apply(image));  // k = 4 as well
    EXPECT_TRUE(SamePixels(image, before));
    median.SetThreshold(0);
    EXPECT_TRUE(median.Apply(image));
    EXPECT_FALSE(SamePixels(image, before));

    // Shade needs 3 rows and 2 columns; narrower pictures are left alone.
    for (auto [w, h] : {std::pair{5u, 2u}, std::pair{1u, 5u}}) {
        Pattern(image, w, h);
        before.CopyFrom(image);
        EXPECT_TRUE(CShadeFilter().Apply(image));
        EXPECT_TRUE(SamePixels(image, before)) << w << "x" << h;
    }

    Fill(image, 1, 1, {1, 2, 3});
    EXPECT_TRUE(CBlurFilter().Apply(image));
    EXPECT_EQ(At(image, 0, 0), (Rgb{1, 2, 3}));
    Fill(image, 2, 2, Gray(0));
    Set(image, 1, 0, Gray(100));
    Set(image, 0, 1, {200, 3, 9});
    Set(image, 1, 1, Gray(40));
    EXPECT_TRUE(CBlurFilter().Apply(image));
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(At(image, i % 2, i / 2), (Rgb{85, 35, 37}));

    // Every kind accepts an empty picture and refuses one without RGB bytes.
    for (const ImageFilterKind& kind : ImageFilterKinds()) {
        auto filter = kind.create();
        CImage empty;
        filter->Apply(empty);
        CImage gray;
        ASSERT_TRUE(gray.Create(8, 8, 8, nullptr, false));
        EXPECT_FALSE(filter->Apply(gray)) << filter->GetName();
    }
}

TEST(ImageFilters, StackBlur)
{
    CImage image;
    Fill(image, 7, 7, Gray(0));
    Set(image, 3, 3, Gray(255));
    CGaussianBlurFilter gaussian;
    gaussian.SetRadius(1.9);  // blurs with 1
    ASSERT_TRUE(gaussian.Apply(image));
    const uint8_t expected[3][3] = {{15, 31, 15}, {31, 63, 31}, {15, 31, 15}};
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 7; ++x) {
            const bool inside = x >= 2 && x <= 4 && y >= 2 && y <= 4;
            EXPECT_EQ(At(image, x, y)[0], inside ? expected[y - 2][x - 2] : 0) << x << "," << y;
        }

    // A radius of 2.5 blurs with 2.
    CImage two, twoAndAHalf;
    Pattern(two, 12, 9);
    twoAndAHalf.CopyFrom(two);
    gaussian.SetRadius(2);
    ASSERT_TRUE(gaussian.Apply(two));
    gaussian.SetRadius(2.5);
    ASSERT_TRUE(gaussian.Apply(twoAndAHalf));
    EXPECT_TRUE(SamePixels(two, twoAndAHalf));

    // Radius 0, negative and NaN blur nothing; a huge one is limited.
    for (double radius : {0.0, -0.5, -3.0, double(NAN), 1e300}) {
        Pattern(image, 9, 6);
        CImage before;
        before.CopyFrom(image);
        CFastBlurFilter blur;
        blur.SetRadius(radius);
        EXPECT_TRUE(blur.Apply(image)) << radius;
        if (!(radius > 0)) {
            EXPECT_TRUE(SamePixels(image, before)) << radius;
        }
    }
    Fill(image, 6, 5, {4, 250, 99});
    CGaussianBlurFilter wide;
    wide.SetRadius(1e12);
    ASSERT_TRUE(wide.Apply(image));
    EXPECT_EQ(At(image, 5, 4), (Rgb{4, 250, 99}));  // the sums stay exact
}

TEST(ImageFilters, RaiseBorders)
{
    CImage image;
    Fill(image, 20, 16, Gray(128));
    ASSERT_TRUE(CRaiseBordersFilter().Apply(image));
    struct {
        uint32_t x, y;
        uint8_t v;
    } expected[] = {{0, 0, 187},  {19, 0, 187}, {0, 5, 160},  {19, 5, 95}, {19, 15, 95},
                    {0, 15, 160}, {5, 15, 67},  {10, 8, 128}, {4, 4, 187}, {5, 5, 128}};
    for (auto e : expected) EXPECT_EQ(At(image, e.x, e.y), Gray(e.v)) << e.x << "," << e.y;

    // Widths of 0 or less change nothing; bands wider than the picture stay
    // inside it (the sanitizer checks the writes).
    for (int width : {0, -4, INT_MIN}) {
        CRaiseBordersFilter raise;
        raise.SetWidth(width);
        Fill(image, 6, 4, Gray(128));
        ASSERT_TRUE(raise.Apply(image));
        EXPECT_EQ(At(image, 0, 0), Gray(128)) << width;
        EXPECT_EQ(At(image, 5, 3), Gray(128)) << width;
    }
    CRaiseBordersFilter wide;
    wide.SetWidth(INT_MAX);
    Fill(image, 6, 4, Gray(128));
    ASSERT_TRUE(wide.Apply(image));
    EXPECT_EQ(At(image, 5, 0), Gray(139));  // accent, then shadow
}

TEST(ImageFilters, DistortionsAtZeroAndOutsideTheirCircle)
{
    for (auto [w, h] : {std::pair{37u, 23u}, std::pair{16u, 16u}, std::pair{11u, 30u}}) {
        CImage image, before;
        Pattern(image, w, h);
        before.CopyFrom(image);
        CSwirlFilter swirl;
        swirl.SetAngle(0);
        ASSERT_TRUE(swirl.Apply(image));
        EXPECT_TRUE(SamePixels(image, before)) << "swirl " << w << "x" << h;
        CImplodeFilter implode;
        implode.SetAmount(0);
        ASSERT_TRUE(implode.Apply(image));
        EXPECT_TRUE(SamePixels(image, before)) << "implode " << w << "x" << h;

        // Full strength moves the middle but never the corners.
        swirl.SetAngle(270);
        implode.SetAmount(100);
        for (CImageFilter* filter : {static_cast<CImageFilter*>(&swirl), static_cast<CImageFilter*>(&implode)}) {
            CImage moved;
            moved.CopyFrom(before);
            ASSERT_TRUE(filter->Apply(moved));
            EXPECT_FALSE(SamePixels(moved, before)) << filter->GetName();
            for (auto [x, y] : {std::pair{0u, 0u}, std::pair{w - 1, 0u}, std::pair{0u, h - 1}, std::pair{w - 1, h - 1}})
                EXPECT_EQ(At(moved, x, y), At(before, x, y)) << filter->GetName() << " " << x << "," << y;
        }
    }

    // An amount that sends the sample points to infinity fetches edge pixels.
    CImage image;
    Pattern(image, 12, 9);
    CImplodeFilter implode;
    implode.SetAmount(INT_MAX);
    EXPECT_TRUE(implode.Apply(image));
}

TEST(ImageFilters, WindowFiltersRemoveASpeck)
{
    const std::function<std::unique_ptr<CImageFilter>()> kinds[] = {
        With<CMedianFilter>([](CMedianFilter& f) { f.SetThreshold(0); }), Plain<CMedianFilter>(),
        With<CMedianFilter>([](CMedianFilter& f) { f.SetThreshold(60); }), Plain<CReduceNoiseFilter>(),
        Plain<COilPaintFilter>()};
    for (const auto& make : kinds) {
        CImage image;
        Fill(image, 15, 15, Gray(0));
        Set(image, 7, 7, Gray(255));
        Set(image, 0, 0, {255, 0, 255});
        auto filter = make();
        ASSERT_TRUE(filter->Apply(image)) << filter->GetName();
        EXPECT_EQ(At(image, 7, 7), Gray(0)) << filter->GetName();
        EXPECT_EQ(At(image, 0, 0), Gray(0)) << filter->GetName();
    }

    // Wide windows from a project file fail cleanly.
    CImage image;
    Pattern(image, 10, 10);
    COilPaintFilter oil;
    oil.SetThreshold(INT_MAX);
    EXPECT_TRUE(oil.Apply(image));
    CMedianFilter median;
    median.SetThreshold(INT_MAX);
    EXPECT_FALSE(median.Apply(image));
}

TEST(ImageFilters, Despeckle)
{
    struct Case {
        Rgb speck, field;
        bool merges;
    } cases[] = {
        {Gray(100), Gray(150), true},              // 50 apart: pass 1 (tolerance 64)
        {Gray(100), Gray(164), true},              // 64 apart, the limit
        {Gray(100), Gray(165), false},             // 65 apart: too far for every pass
        {{100, 100, 100}, {160, 160, 171}, true},  // rms 63.9
        {Gray(255), Gray(0), false},
    };
    for (const Case& c : cases) {
        CImage image;
        Fill(image, 9, 8, c.field);
        Set(image, 4, 4, c.speck);
        ASSERT_TRUE(CDespeckleFilter().Apply(image));
        EXPECT_EQ(At(image, 4, 4), c.merges ? c.field : c.speck) << int(c.speck[0]) << " in " << int(c.field[0]);
        EXPECT_EQ(At(image, 0, 0), c.field);
    }

    // A 2 × 2 fleck waits for pass 3 (size limit 8, tolerance 25); a pair of
    // colours that are both large stays as it is.
    CImage image;
    Fill(image, 10, 10, Gray(60));
    for (uint32_t i = 0; i < 4; ++i) Set(image, 3 + i % 2, 3 + i / 2, Gray(80));
    for (uint32_t x = 0; x < 10; ++x)
        for (uint32_t y = 7; y < 10; ++y) Set(image, x, y, Gray(200));
    ASSERT_TRUE(CDespeckleFilter().Apply(image));
    EXPECT_EQ(At(image, 4, 4), Gray(60));
    EXPECT_EQ(At(image, 5, 8), Gray(200));
}

TEST(ImageFilters, MotionBlurAndDeinterlace)
{
    // The blur keeps a flat middle and darkens towards the far edges.
    CImage image;
    Fill(image, 50, 60, Gray(200));
    ASSERT_TRUE(CMotionBlurFilter().Apply(image));
    EXPECT_GE(At(image, 0, 0)[0], 199);
    EXPECT_GT(At(image, 49, 59)[0], 180);  // two of the 41 samples fall inside
    EXPECT_LT(At(image, 49, 59)[0], 195);

    // Alternate rows of 0 and 200: the odd rows between two dark rows take
    // their mean; the first, the last and every even row keep theirs.
    Fill(image, 6, 8, Gray(0));
    for (uint32_t y = 1; y < 8; y += 2)
        for (uint32_t x = 0; x < 6; ++x) Set(image, x, y, {200, 180, 160});
    Set(image, 2, 2, Gray(40));
    CImage before;
    before.CopyFrom(image);
    ASSERT_TRUE(CDeinterlaceFilter().Apply(image));
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 6; ++x) {
            const bool changed = y % 2 == 1 && y != 7;
            const uint8_t mean = (x == 2 && (y == 1 || y == 3)) ? 20 : 0;
            EXPECT_EQ(At(image, x, y), changed ? Gray(mean) : At(before, x, y)) << x << "," << y;
        }
}

namespace {

uint64_t Digest(const CImage& image)
{
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < size_t(image.width) * image.height * 3; ++i)
        hash = (hash ^ image.pixels[i]) * 1099511628211ull;
    return hash;
}

}  // namespace

TEST(ImageFilters, EveryKindOnOnePictureMatchesItsDigest)
{
    // Any change in a filter's arithmetic shows here.
    const std::map<std::string, uint64_t> expected = {
        {"Add Noise", 0xe88f2e8e284b9f5eull},     {"Black & White", 0x600017384e19f1b3ull},
        {"Blur", 0x1043dadf9eab55d4ull},          {"Brightness/Contrast", 0xd84566e51d983d02ull},
        {"Deinterlace", 0xe4d24884a3333ccbull},   {"Despeckle", 0xd70a3701e1e597deull},
        {"Edge", 0x450cb67e4fd15b11ull},          {"Emboss", 0x88bcb8a719a92f3ull},
        {"Fade Edge", 0x43d01d00d7ec3b16ull},     {"Fast Blur", 0xe804422fdd9f94a1ull},
        {"Gaussian Blur", 0xe804422fdd9f94a1ull}, {"Grayscale", 0x4f10f042b615b7feull},
        {"Implode", 0xfe0ac5d9e4b3c92full},       {"Median", 0x23488a762aaf2cc4ull},
        {"Motion Blur", 0xabc2454ed34aa2baull},   {"Oil Paint", 0x5f78316ff00723e7ull},
        {"Raise Borders", 0x9390c9f88d0e2bb0ull}, {"Reduce Noise", 0x3a3f90221aa2533bull},
        {"Sepia", 0x976b3f79201a11d8ull},         {"Shade", 0xcd8a75de83a6187cull},
        {"Sharpen", 0x64cf52d43b70c068ull},       {"Solarize", 0x85fd43818115c24cull},
        {"Swirl", 0xf7a109f80bb9308dull},
    };
    std::map<std::string, uint64_t> digests;
    for (const ImageFilterKind& kind : ImageFilterKinds()) {
        auto filter = kind.create();
        CImage image;
        Pattern(image, 48, 32);
        std::srand(2024);
        EXPECT_TRUE(filter->Apply(image)) << filter->GetName();
        digests[filter->GetName()] = Digest(image);
    }
    for (auto& [name, digest] : digests) {
        auto it = expected.find(name);
        if (it == expected.end())
            ADD_FAILURE() << "no digest for " << name << ": " << std::hex << digest;
        else
            EXPECT_EQ(digest, it->second) << name << ": " << std::hex << digest;
    }
    EXPECT_EQ(digests["Fast Blur"], digests["Gaussian Blur"]);
    EXPECT_EQ(digests.size(), 23u);
}
