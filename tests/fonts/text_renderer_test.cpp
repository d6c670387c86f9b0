#include "fonts/text_renderer.h"

#include "dejavu.h"

namespace tavrel_test {
namespace {

// DejaVu Sans at the em square of 1024: half its 2048 font units, y growing
// downward from the baseline.
TEST(TextRenderer, PointsGrowDownwardFromTheBaseline)
{
    REQUIRE_DEJAVU();
    struct Case {
        uint8_t character;
        size_t contours;
        int32_t points;
        int32_t minX, maxX, minY, maxY;
        int32_t advance;
    };
    const Case cases[] = {
        // no outline: nothing drawn, the bounds as they were reset
        {' ', 0, 0, 65535, 0, 65535, 0, 325},
        // a bar standing on the baseline
        {'l', 1, 5, 96, 188, -778, 0, 284},
        {'A', 2, 0, 8, 692, -746, 0, 700},
        // wholly below the baseline: the bounds are the glyph's own
        {'_', 1, 5, -10, 522, 170, 241, 512},
    };
    for (const Case& c : cases) {
        CTextRenderer r;
        ASSERT_TRUE(r.Create(dejavu::Font(1024))) << c.character;
        ASSERT_TRUE(r.GetGlyphOutline(c.character)) << c.character;
        EXPECT_EQ(r.contours.size(), c.contours) << c.character;
        if (c.points) {
            EXPECT_EQ(r.pointCount, c.points) << c.character;
        }
        EXPECT_EQ(std::tie(r.minX, r.maxX, r.minY, r.maxY), std::tie(c.minX, c.maxX, c.minY, c.maxY)) << c.character;
        EXPECT_EQ(r.GetAdvanceWidth(), c.advance) << c.character;
        EXPECT_EQ(r.currentContour, nullptr) << c.character;
    }
}

// Only the first segment of a contour brings its start point; closing adds
// none, so the last segment ends where the contour began.
TEST(TextRenderer, ContourStartsOnceAndClosesOnItsFirstPoint)
{
    REQUIRE_DEJAVU();
    CTextRenderer r;
    ASSERT_TRUE(r.Create(dejavu::Font(1024)));
    ASSERT_TRUE(r.GetGlyphOutline('o'));
    ASSERT_EQ(r.contours.size(), 2u);
    int32_t total = 0;
    for (const auto& contour : r.contours) {
        ASSERT_GE(contour->size(), 3u);
        EXPECT_EQ(contour->front().onCurve, 1);
        EXPECT_EQ(contour->back().onCurve, 1);
        EXPECT_EQ(std::tie(contour->front().x, contour->front().y), std::tie(contour->back().x, contour->back().y));
        // a curve's control point always lies between two points on the curve
        for (size_t i = 1; i + 1 < contour->size(); ++i)
            if (!(*contour)[i].onCurve) {
                EXPECT_EQ((*contour)[i + 1].onCurve, 1) << i;
            }
        total += int32_t(contour->size());
    }
    EXPECT_EQ(r.pointCount, total);
}

// One renderer serves one glyph: a second call appends its contours, while
// the bounds and point count start again.
TEST(TextRenderer, SecondGlyphAppendsContoursAndRestartsTheBounds)
{
    REQUIRE_DEJAVU();
    CTextRenderer r;
    ASSERT_TRUE(r.Create(dejavu::Font(1024)));
    ASSERT_TRUE(r.GetGlyphOutline('l'));
    const CGlyphContour first = *r.contours.front();
    ASSERT_TRUE(r.GetGlyphOutline('_'));
    ASSERT_EQ(r.contours.size(), 2u);
    EXPECT_EQ(r.contours.front()->size(), first.size());
    EXPECT_EQ(r.pointCount, int32_t(r.contours.back()->size()));
    EXPECT_EQ(std::tie(r.minY, r.maxY), std::make_tuple(170, 241));  // the underscore's alone

    // A space adds nothing and resets the bounds; the contours stay.
    ASSERT_TRUE(r.GetGlyphOutline(' '));
    EXPECT_EQ(r.contours.size(), 2u);
    EXPECT_EQ(r.pointCount, 0);
    EXPECT_EQ(std::tie(r.minX, r.maxX, r.minY, r.maxY), std::make_tuple(65535, 0, 65535, 0));
}

}  // namespace
}  // namespace tavrel_test
