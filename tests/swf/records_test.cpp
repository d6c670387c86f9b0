#include <gtest/gtest.h>

#include "swf/records.h"
#include "swf_bytes.h"

namespace {

// Writes the record, then parses the bytes back: both directions of one vector.
template <class Record>
void ExpectBothWays(const Record& record, const Bytes& bytes, const char* what)
{
    Record copy = record;
    CSwfStream s;
    copy.Write(s);
    s.FlushBits();
    EXPECT_EQ(s.GetBuffer(), bytes) << what;
    Record parsed;
    ParseBody(parsed, bytes);
    EXPECT_TRUE(parsed == record) << what;
}

CSwfRect Rect(int x0, int y0, int x1, int y1, bool px)
{
    CSwfRect r;
    r.Set(x0, y0, x1, y1, px);
    return r;
}

TEST(SwfRecords, ColoursAndRectanglesBothWays)
{
    ExpectBothWays(CSwfRGB(0xFF, 0x10, 0x01), {0xFF, 0x10, 0x01}, "rgb");
    ExpectBothWays(CSwfRGBA(1, 2, 3, 0x80), {1, 2, 3, 0x80}, "rgba");
    ExpectBothWays(CSwfRect(), {0x08, 0x00}, "zero rect");
    ExpectBothWays(Rect(0, 0, 320, 240, true), {0x70, 0x00, 0x0C, 0x80, 0x00, 0x00, 0x96, 0x00}, "320x240");
    CSwfRect neg = Rect(-5, -7, 3, 9, false);
    CSwfRect back;
    ParseBody(back, Written(neg));
    EXPECT_TRUE(back == neg);
}

TEST(SwfRecords, ColourAssignCopiesOnlyRgb)
{
    CSwfRGBA target(0, 0, 0, 77);
    const CSwfRGBA source(1, 2, 3, 4);
    target.Assign(source);
    EXPECT_EQ(target.a, 77);
    EXPECT_EQ(target.r, 1);
    EXPECT_EQ(CSwfRGB(0xFF, 0, 0).GetPacked(), 0x0000FFu);
}

TEST(SwfRecords, MatricesBothWays)
{
    CSwfMatrix identity;
    identity.SetIdentity();
    ExpectBothWays(identity, {0xC9, 0x00, 0x00, 0x40, 0x00, 0x00}, "identity");

    CSwfMatrix translate;
    translate.translateX = -20;
    translate.translateY = 40;
    ExpectBothWays(translate, {0x0F, 0xB1, 0x40}, "translate only");

    CSwfMatrix full;
    full.hasScale = true;
    full.scaleX = 0x8000;
    full.scaleY = -0x8000;
    full.SetRotateSkew(1, false, true);
    full.SetRotateSkew(-1, true, true);
    full.translateX = 0;
    full.translateY = 0;
    // Translation (0, 0) writes a zero width and nothing else.
    ExpectBothWays(full, {0xC5, 0x00, 0x01, 0x80, 0x00, 0x89, 0xC0}, "scale and rotate");

    // The matrix leaves its bits pending for the tag.
    CSwfStream s;
    EXPECT_EQ(identity.Write(s), 5);
    EXPECT_EQ(s.GetPendingCount(), 8);
}

TEST(SwfRecords, OversizedValuesSaturateInsteadOfWrapping)
{
    CSwfRect huge;
    huge.xmin = INT32_MIN;
    huge.xmax = INT32_MAX;
    CSwfRect back;
    ParseBody(back, Written(huge));
    EXPECT_EQ(back.xmin, -(1 << 30) + 1);
    EXPECT_EQ(back.xmax, (1 << 30) - 1);

    CSwfCxform big;
    big.hasAdd = true;
    big.redAdd = 40000;
    big.greenAdd = -40000;
    const Bytes saturated{0xBD, 0xFF, 0xFC, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Written(big), saturated);
    CSwfCxform parsed;
    ParseBody(parsed, saturated);
    EXPECT_EQ(parsed.redAdd, 16383);
    EXPECT_EQ(parsed.greenAdd, -16384);
}

TEST(SwfRecords, ColourTransformsBothWays)
{
    CSwfCxformWithAlpha hidden;
    hidden.Reset();
    EXPECT_TRUE(hidden.hasMult);
    EXPECT_EQ(hidden.alphaMult, 0);
    ExpectBothWays(hidden, {0x44, 0x00}, "reset hides");

    CSwfCxform mult;
    mult.hasMult = true;
    mult.SetMultTerms(256, 128, 0);
    ExpectBothWays(mult, {0x69, 0x00, 0x20, 0x00, 0x00}, "cxform mult");

    // Add terms only: read back as multiply by 256 with the flag on, and
    // written again with those multiply terms.
    const Bytes addOnly{0x95, 0x56, 0x01, 0x40};
    CSwfCxformWithAlpha parsed;
    ParseBody(parsed, addOnly);
    EXPECT_TRUE(parsed.hasMult);
    EXPECT_TRUE(parsed.hasAdd);
    EXPECT_EQ(parsed.redMult, 256);
    EXPECT_EQ(parsed.alphaMult, 256);
    EXPECT_EQ(parsed.greenAdd, -10);
    EXPECT_EQ(parsed.alphaAdd, 5);
    EXPECT_EQ(Written(parsed), (Bytes{0xE9, 0x00, 0x40, 0x10, 0x04, 0x00, 0x0A, 0xFD, 0x80, 0x00, 0x14}));

    CSwfCxform plain;
    ParseBody(plain, {0x80, 0x00});  // add flag, width 0
    EXPECT_FALSE(plain.hasMult);
    EXPECT_EQ(plain.blueMult, 256);
}

TEST(SwfRecords, ColourTransformSetters)
{
    CSwfCxformWithAlpha c;
    struct {
        double in;
        int32_t out;
    } alphas[] = {{1.5, 256}, {-0.2, 0}, {0.5, 128}};
    for (auto a : alphas) {
        c.SetAlpha(a.in);
        EXPECT_EQ(c.alphaMult, a.out) << a.in;
        EXPECT_EQ(c.redMult, 256);
        EXPECT_TRUE(c.hasAdd && c.hasMult);
    }

    c.SetAddColor(0x0080FF);  // red 255, green 128, blue 0
    EXPECT_EQ(c.redAdd, 256);
    EXPECT_EQ(c.greenAdd, 129);
    EXPECT_EQ(c.blueAdd, 0);
    EXPECT_EQ(c.redMult, 0);
    EXPECT_EQ(c.alphaMult, 256);

    c.SetMultLevel(0.25);
    EXPECT_EQ(c.greenMult, 64);
    EXPECT_FALSE(c.hasAdd);
    EXPECT_EQ(c.redAdd, 0);

    c.redAdd = 9;
    c.SetMultColor(0xFF0000);  // blue only
    EXPECT_EQ(c.redMult, 0);
    EXPECT_EQ(c.blueMult, 256);
    EXPECT_EQ(c.redAdd, 9);
    EXPECT_FALSE(c.hasAdd);

    CSwfCxform plain;
    plain.SetMultLevel(2.0);
    EXPECT_EQ(plain.redMult, 256);

    CSwfCxformWithAlpha source;
    source.SetAddColor(0x000001);
    source.alphaMult = 100;
    CSwfCxformWithAlpha copy;
    copy.Reset();
    copy.AssignFrom(source);
    EXPECT_EQ(copy.alphaMult, 100);
    EXPECT_EQ(copy.redAdd, 1);
    EXPECT_TRUE(copy.hasMult);
    EXPECT_FALSE(copy.hasAdd);
}

}  // namespace
