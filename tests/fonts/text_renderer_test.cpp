#include <gtest/gtest.h>

#include "dejavu.h"
#include "fonts/font_tags.h"
#include "fonts/text_renderer.h"

namespace {

// Every contour is closed: it ends on the point it began with. Returns the
// number of control points, each of which has its anchor after it.
int ExpectClosed(const CTextRenderer& r)
{
    int controls = 0;
    for (const auto& c : r.contours) {
        EXPECT_GE(c->size(), 2u);
        EXPECT_EQ(c->front().x, c->back().x);
        EXPECT_EQ(c->front().y, c->back().y);
        EXPECT_EQ(c->front().onCurve, 1);
        for (size_t i = 0; i + 1 < c->size(); ++i)
            if (!(*c)[i].onCurve) {
                ++controls;
                EXPECT_EQ((*c)[i + 1].onCurve, 1);
            }
    }
    return controls;
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
        bool curved;
    };
    // DejaVu Sans at 1024: units of 2048 halved, truncated toward zero.
    const Case cases[] = {
        {' ', 0, 325, 0, 0, 0, 0, false},
        {'A', 2, 700, 8, 692, 0, 746, false},
        {'T', 1, 625, -3, 628, 0, 746, false},
        {'O', 2, 806, 57, 748, -14, 760, true},
        // Wholly below the baseline: its box must not reach up to 0.
        {'_', 1, 512, -10, 522, -241, -170, false},
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
        EXPECT_EQ(ExpectClosed(r) > 0, c.curved) << c.character;
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

}  // namespace
