#include <gtest/gtest.h>

#include "swf/styles.h"
#include "swf_bytes.h"

namespace {

// Parses the bytes into a fresh object and writes it again: the second
// direction of a golden vector, for objects without equality.
template <class Obj>
Bytes Reparsed(const Bytes& bytes, uint8_t alpha, int* consumed = nullptr)
{
    Obj parsed;
    parsed.alpha = alpha;
    const int n = ParseBody(parsed, bytes);
    if (consumed) *consumed = n;
    return Written(parsed);
}

CSwfMatrix Identity()
{
    CSwfMatrix m;
    m.SetIdentity();
    return m;
}

// Identity matrix: scale flag, width 18, 0x10000 twice, no rotate, no translation.
const Bytes kIdentity = {0xC9, 0x00, 0x00, 0x40, 0x00, 0x00};

TEST(SwfStyles, FillStylesBothWays)
{
    struct Case {
        const char* what;
        std::unique_ptr<CFillStyle> style;
        uint8_t alpha;
        Bytes bytes;
    };
    auto gradient = std::make_unique<CFillStyle>(swf_fill::kLinearGradient, 0);
    gradient->matrix = std::make_unique<CSwfMatrix>(Identity());
    gradient->gradient = std::make_unique<CSwfGradient>();
    gradient->gradient->Append(std::make_unique<CSwfGradRecord>(0, 0x0000FF, 0));
    gradient->gradient->Append(std::make_unique<CSwfGradRecord>(255, 0xFF0000, 0));
    auto radial3 = std::make_unique<CFillStyle>(swf_fill::kRadialGradient, 1);
    radial3->matrix = std::make_unique<CSwfMatrix>(Identity());
    radial3->gradient = std::make_unique<CSwfGradient>();
    radial3->gradient->alpha = 1;
    auto* stop = radial3->gradient->Append(std::make_unique<CSwfGradRecord>());
    stop->alpha = 1;
    stop->ratio = 128;
    stop->colour = std::make_unique<CSwfRGBA>(1, 2, 3, 4);
    CSwfMatrix translate;
    translate.translateX = -20;
    translate.translateY = 40;

    std::vector<Case> cases;
    cases.push_back({"solid rgb", CFillStyle::MakeSolid(0x332211), 0, {0x00, 0x11, 0x22, 0x33}});
    cases.push_back({"solid rgba", CFillStyle::MakeSolid(0x332211, 1), 1, {0x00, 0x11, 0x22, 0x33, 0xFF}});
    cases.push_back({"linear", std::move(gradient), 0,
                     Cat({{0x10}, kIdentity, {0x02, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF}})});
    cases.push_back({"radial rgba", std::move(radial3), 1, Cat({{0x12}, kIdentity, {0x01, 0x80, 1, 2, 3, 4}})});
    cases.push_back({"clipped bitmap", CFillStyle::MakeBitmap(7, translate, true), 0,
                     {0x41, 0x07, 0x00, 0x0F, 0xB1, 0x40}});
    cases.push_back({"repeating bitmap", CFillStyle::MakeBitmap(0x1234, Identity(), false), 0,
                     Cat({{0x40, 0x34, 0x12}, kIdentity})});
    cases.push_back({"unknown type", std::make_unique<CFillStyle>(0x77, 0), 0, {0x77}});
    for (Case& c : cases) {
        EXPECT_EQ(Written(*c.style), c.bytes) << c.what;
        int consumed = 0;
        EXPECT_EQ(Reparsed<CFillStyle>(c.bytes, c.alpha, &consumed), c.bytes) << c.what;
        EXPECT_EQ(consumed, int(c.bytes.size())) << c.what;
    }
}

TEST(SwfStyles, ColoursTakeTheFormOfTheAlphaFlag)
{
    // An RGBA colour in an RGB shape must not add a fourth byte, and an RGB
    // colour in an RGBA shape gains an opaque alpha.
    CFillStyle fill(swf_fill::kSolid, 0);
    fill.colour = std::make_unique<CSwfRGBA>(1, 2, 3, 4);
    EXPECT_EQ(Written(fill), Bytes({0x00, 1, 2, 3}));
    fill.alpha = 1;
    EXPECT_EQ(Written(fill), Bytes({0x00, 1, 2, 3, 4}));
    fill.colour = std::make_unique<CSwfRGB>(1, 2, 3);
    EXPECT_EQ(Written(fill), Bytes({0x00, 1, 2, 3, 0xFF}));

    // A missing colour writes black rather than nothing.
    CFillStyle bare(swf_fill::kSolid, 0);
    EXPECT_EQ(Written(bare), Bytes({0x00, 0, 0, 0}));
    CLineStyle line(1);
    line.width = 40;
    EXPECT_EQ(Written(line), Bytes({40, 0, 0, 0, 0, 0xFF}));
    CSwfGradRecord stop;
    stop.ratio = 9;
    EXPECT_EQ(Written(stop), Bytes({9, 0, 0, 0}));

    CLineStyle parsed(1);
    ParseBody(parsed, {0x14, 0x00, 9, 8, 7, 6});
    EXPECT_EQ(parsed.width, 20);
    const auto* rgba = dynamic_cast<const CSwfRGBA*>(parsed.colour.get());
    ASSERT_TRUE(rgba);
    EXPECT_EQ(rgba->a, 6);
}

TEST(SwfStyles, ArrayCountsAtTheExtendedThreshold)
{
    struct Case {
        size_t count;
        Bytes head;
    };
    const Case cases[] = {{0, {0x00}}, {254, {0xFE}}, {255, {0xFF, 0xFF, 0x00}}, {300, {0xFF, 0x2C, 0x01}}};
    for (const Case& c : cases) {
        CFillStyleArray fills;
        CLineStyleArray lines;
        for (size_t i = 0; i < c.count; ++i) {
            fills.Append(CFillStyle::MakeSolid(uint32_t(i)));
            lines.Append(CLineStyle::Make(uint16_t(i), 0x010203));
        }
        const Bytes fillBytes = Written(fills);
        const Bytes lineBytes = Written(lines);
        ASSERT_EQ(fillBytes.size(), c.head.size() + 4 * c.count) << c.count;
        ASSERT_EQ(lineBytes.size(), c.head.size() + 5 * c.count) << c.count;
        EXPECT_TRUE(std::equal(c.head.begin(), c.head.end(), fillBytes.begin())) << c.count;
        EXPECT_TRUE(std::equal(c.head.begin(), c.head.end(), lineBytes.begin())) << c.count;

        CFillStyleArray fillsBack;
        CLineStyleArray linesBack;
        EXPECT_EQ(ParseBody(fillsBack, fillBytes), int(fillBytes.size()));
        EXPECT_EQ(ParseBody(linesBack, lineBytes), int(lineBytes.size()));
        EXPECT_EQ(fillsBack.GetCount(), c.count);
        EXPECT_EQ(linesBack.GetCount(), c.count);
        if (c.count == 300) {
            EXPECT_EQ(fillsBack.styles[299]->colour->GetPacked(), 299u);
            EXPECT_EQ(linesBack.styles[299]->width, 299);
        }
        EXPECT_EQ(Written(fillsBack), fillBytes);
    }

    // A count from a damaged file stops where the data does.
    CLineStyleArray truncated;
    ParseBody(truncated, {0xFF, 0xFF, 0xFF, 0x14, 0x00, 1, 2, 3});
    EXPECT_EQ(truncated.GetCount(), 1);
}

TEST(SwfStyles, GradientsAndRecords)
{
    const CSwfGradRecord red(0, 255, 0), green(10, 65280, 0);
    EXPECT_EQ(red.colour->r, 255);
    EXPECT_EQ(red.colour->g, 0);
    EXPECT_EQ(green.colour->g, 255);
    EXPECT_EQ(green.colour->b, 0);

    CSwfGradient empty;
    EXPECT_EQ(Written(empty), Bytes({0x00}));

    CSwfGradient tooMany;
    for (int i = 0; i < 256; ++i) tooMany.Append(std::make_unique<CSwfGradRecord>(uint8_t(i), 0, 0));
    CSwfStream s;
    tooMany.Write(s);
    EXPECT_TRUE(s.Failed());
    EXPECT_EQ(s.GetBuffer().front(), 0xFF);
    EXPECT_EQ(s.GetSize(), 1u + 255 * 4);
}

TEST(SwfStyles, CopiesAreDeepAndKeepTheColourKind)
{
    CFillStyleArray source(1);
    source.Append(CFillStyle::MakeSolid(0x00FF00, 1));
    static_cast<CSwfRGBA&>(*source.styles[0]->colour).a = 0x40;
    auto* gradient = source.Append(std::make_unique<CFillStyle>(swf_fill::kLinearGradient, 1));
    gradient->matrix = std::make_unique<CSwfMatrix>(Identity());
    gradient->gradient = std::make_unique<CSwfGradient>();
    gradient->gradient->Append(std::make_unique<CSwfGradRecord>(0, 0xFF, 0));
    gradient->SetAlpha(1);

    CFillStyleArray copy;
    copy.CopyFrom(source);
    EXPECT_EQ(Written(copy), Written(source));
    const auto* rgba = dynamic_cast<const CSwfRGBA*>(copy.styles[0]->colour.get());
    ASSERT_TRUE(rgba);
    EXPECT_EQ(rgba->a, 0x40);
    EXPECT_NE(copy.styles[1]->gradient.get(), source.styles[1]->gradient.get());

    CLineStyle line(1);
    line.width = 3;
    line.colour = std::make_unique<CSwfRGBA>(9, 8, 7, 6);
    CLineStyle lineCopy;
    lineCopy.CopyFrom(line);
    EXPECT_EQ(Written(lineCopy), Bytes({3, 0, 9, 8, 7, 6}));
}

TEST(SwfStyles, BitmapIdsOffsetExceptNone)
{
    CFillStyleArray fills;
    fills.Append(CFillStyle::MakeBitmap(5, Identity(), false));
    fills.Append(CFillStyle::MakeBitmap(kSwfNoBitmapId, Identity(), true));
    fills.Append(CFillStyle::MakeSolid(0));
    fills.styles[2]->bitmapId = 5;  // not a bitmap fill: left alone
    fills.OffsetBitmapIds(100);
    EXPECT_EQ(fills.styles[0]->bitmapId, 105);
    EXPECT_EQ(fills.styles[1]->bitmapId, kSwfNoBitmapId);
    EXPECT_EQ(fills.styles[2]->bitmapId, 5);
}

}  // namespace
