#include <gtest/gtest.h>

#include "dejavu.h"
#include "fonts/font_tags.h"
#include "fonts/text_renderer.h"

namespace {

// Every contour is closed: it ends on the point it began with.
void ExpectClosed(const CTextRenderer& r)
{
    for (const auto& c : r.contours) {
        ASSERT_GE(c->size(), 2u);
        EXPECT_EQ(c->front().x, c->back().x);
        EXPECT_EQ(c->front().y, c->back().y);
        EXPECT_EQ(c->front().onCurve, 1);
    }
}

TEST(TextRenderer, GlyphsAtTheEmSquare)
{
    REQUIRE_DEJAVU();
    struct Case {
        char character;
        size_t contours;
        int advance;
        // The box, or all zero to expect it untouched.
        int minX, maxX, minY, maxY;
    };
    // DejaVu Sans at 1024: units of 2048 halved, truncated toward zero.
    const Case cases[] = {
        {' ', 0, 325, 0, 0, 0, 0},
        {'A', 2, 700, 8, 692, 0, 746},
        {'T', 1, 625, -3, 628, 0, 746},
        // Wholly below the baseline: its box must not reach up to 0.
        {'_', 1, 512, -10, 522, -241, -170},
    };
    for (const Case& c : cases) {
        CTextRenderer r;
        ASSERT_TRUE(r.Create(dejavu::Font(1024)));
        ASSERT_TRUE(r.GetGlyphOutline(uint8_t(c.character))) << c.character;
        EXPECT_EQ(r.contours.size(), c.contours) << c.character;
        EXPECT_EQ(r.GetAdvanceWidth(), c.advance) << c.character;
        if (c.contours == 0) {
            EXPECT_EQ(r.pointCount, 0);
            EXPECT_EQ(std::make_tuple(r.maxX, r.minX, r.maxY, r.minY), std::make_tuple(0, 65535, 0, 65535));
            continue;
        }
        EXPECT_EQ(std::make_tuple(r.minX, r.maxX, r.minY, r.maxY), std::make_tuple(c.minX, c.maxX, c.minY, c.maxY))
            << c.character;
        ExpectClosed(r);
    }
}

TEST(TextRenderer, SecondGlyphAppendsAndRestartsTheBox)
{
    REQUIRE_DEJAVU();
    CTextRenderer r;
    ASSERT_TRUE(r.Create(dejavu::Font(1024)));
    ASSERT_TRUE(r.GetGlyphOutline('A'));
    const int pointsOfA = r.pointCount;
    ASSERT_TRUE(r.GetGlyphOutline('_'));
    EXPECT_EQ(r.contours.size(), 3u);
    EXPECT_LT(r.pointCount, pointsOfA);
    EXPECT_LT(r.maxY, 0);  // the box is the underscore's alone
    // A character the font lacks adds nothing and reports it.
    EXPECT_FALSE(r.GetGlyphOutline(0));
    EXPECT_EQ(r.contours.size(), 3u);
}

TEST(TextRenderer, CurvesKeepTheirControlPoints)
{
    REQUIRE_DEJAVU();
    CTextRenderer r;
    ASSERT_TRUE(r.Create(dejavu::Font(1024)));
    ASSERT_TRUE(r.GetGlyphOutline('O'));
    int offCurve = 0;
    for (const auto& c : r.contours)
        for (size_t i = 0; i < c->size(); ++i)
            if (!(*c)[i].onCurve) {
                ++offCurve;
                // A control point always has its anchor after it.
                ASSERT_LT(i + 1, c->size());
                EXPECT_EQ((*c)[i + 1].onCurve, 1);
            }
    EXPECT_GT(offCurve, 8);
    ExpectClosed(r);
}

TEST(TextRenderer, SynthesisedStylesChangeTheOutline)
{
    REQUIRE_DEJAVU();
    // Faces the family lacks are made: a slant keeps the advance, bold widens it.
    auto box = [](uint16_t style) {
        CTextRenderer r;
        r.Create(dejavu::Font(1024, style));
        r.GetGlyphOutline('l');
        return std::make_tuple(r.minX, r.maxX, r.GetAdvanceWidth());
    };
    const auto plain = box(0), italic = box(qd_style::kItalic), bold = box(qd_style::kBold);
    EXPECT_GT(std::get<1>(italic) - std::get<0>(italic), std::get<1>(plain) - std::get<0>(plain) + 100);
    EXPECT_EQ(std::get<2>(italic), std::get<2>(plain));
    EXPECT_GT(std::get<2>(bold), std::get<2>(plain));
}

}  // namespace
