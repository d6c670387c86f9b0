#include <gtest/gtest.h>

#include "platform/font_catalog.h"
#include "support/test_support.h"
#include "ui/font.h"

namespace {

const char* const kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class FontTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!tavrel_test::IsThere(kSans)) GTEST_SKIP() << "fonts-dejavu-core missing";
        family = platform::RegisterFontFile(kSans);
        ASSERT_NE(family, 0);
    }
    FMFontFamily family = 0;
};

TEST_F(FontTest, NamesAndIdentity)
{
    CFont font;
    EXPECT_EQ(font.GetFontID(), GetSysFont());
    EXPECT_EQ(font.GetSize(), 12);
    EXPECT_EQ(font.GetStyle(), 0);
    EXPECT_NE(std::string(font.GetName()), "");

    ASSERT_TRUE(font.SetName("dejavu sans"));
    EXPECT_EQ(font.GetFontID(), family);
    EXPECT_FALSE(font.SetName("No Such Family"));
    EXPECT_EQ(font.GetFontID(), family);
    EXPECT_STREQ(font.GetName(), "dejavu sans");
    ASSERT_TRUE(font.SetName("Geneva"));
    EXPECT_EQ(font.GetFontID(), GetSysFont());

    font.SetFontID(family);
    EXPECT_STREQ(font.GetName(), "DejaVu Sans");
    CFont other(font);
    other.SetSize(40);
    EXPECT_TRUE(other.IsSame(font));
    other.SetBold(true);
    EXPECT_TRUE(other.IsBold());
    EXPECT_FALSE(other.IsSame(font));
    // The copy measures with a port of its own.
    EXPECT_GT(other.GetAscent(), font.GetAscent());
}

TEST_F(FontTest, MeasuresAndRatios)
{
    struct Case {
        int size;
        int ascent, descent, leading, height;
        int ascentRatio, descentRatio, heightRatio;
        int advanceA, widthA, extentA;
    };
    // DejaVu Sans: ascender 1901, descender 483 in 2048 units; 'A' 1401 wide.
    const Case cases[] = {
        {2048, 1901, 483, 0, 2384, 816, 207, 1024, 1401, 700, 700},
        {1024, 951, 242, 0, 1192, 816, 207, 1024, 701, 701, 701},
        {100, 93, 24, 0, 116, 820, 211, 1032, 68, 696, 696},
        // Size 0 measures at the default size but has no width per point.
        {0, 11, 3, 0, 14, 804, 219, 1024, 8, 0, 0},
    };
    for (const Case& c : cases) {
        CFont font;
        font.SetFontID(family);
        font.SetSize(c.size);
        EXPECT_EQ(std::make_tuple(font.GetAscent(), font.GetDescent(), font.GetLeading(), font.GetHeight()),
                  std::make_tuple(c.ascent, c.descent, c.leading, c.height))
            << c.size;
        EXPECT_EQ(std::make_tuple(font.GetAscentRatio(), font.GetDescentRatio(), font.GetLeadingRatio(),
                                  font.GetHeightRatio()),
                  std::make_tuple(c.ascentRatio, c.descentRatio, 0, c.heightRatio))
            << c.size;
        EXPECT_EQ(std::make_tuple(font.MeasureText('A'), font.GetTextWidth('A'), font.GetOutlineExtentPerPoint('A')),
                  std::make_tuple(c.advanceA, c.widthA, c.extentA))
            << c.size;
    }
    // A character without outline has no extent; byte 0 has no glyph at all.
    CFont font;
    font.SetFontID(family);
    EXPECT_EQ(font.MeasureText(0), 0);
    EXPECT_EQ(font.GetOutlineExtentPerPoint(0), 0);
}

}  // namespace
