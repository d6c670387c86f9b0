// The effects' drawings read back: bounds, styles and their index widths,
// and every sub-path's start, edge kinds and closure.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "effect_checks.h"
#include "effects/bubbles.h"
#include "effects/hearts.h"
#include "effects/old_movie.h"
#include "support/test_support.h"
#include "swf/styles.h"

namespace {

TEST(EffectDrawings, BoundsStylesAndOutlines)
{
    const struct {
        const char* what;
        std::function<std::unique_ptr<COverlayEffect>()> make;
        uint16_t shapeId;  // built with the counter at 0
        std::vector<int> bounds;  // xmin, xmax, ymin, ymax
        int fillType;  // -1: no fill
        int lineWidth;  // 0: no line
        std::vector<int> rgb;  // the solid fill's or line's colour, or the gradient's last
        int x, y;  // where the outline starts
        const char* kinds;
        bool closed;
        int fillBits, lineBits;  // index widths: 15 for the kind of style drawn with
    } rows[] = {
        {"bubble", [] { return std::make_unique<CBubblesEffect>(); }, 2, {-600, 600, -600, 600},
         swf_fill::kRadialGradient, 0, {0, 153, 255}, 411, -410, "cccccccc", true, 15, 0},
        {"heart", [] { return std::make_unique<CHeartsEffect>(); }, 1, {-330, 330, -331, 331}, swf_fill::kSolid, 0,
         {255, 0, 0}, -240, -301, "cccccccccc", true, 15, 0},
        {"scratch", [] { return std::make_unique<COldMovieEffect>(); }, 1, {0, 0, -2400, 2400}, -1, 10,
         {102, 102, 102}, 0, -2400, "v", false, 0, 15},
        {"speck", [] { return std::make_unique<COldMovieEffect>(); }, 3, {-23, 22, -20, 17}, swf_fill::kSolid, 0,
         {102, 102, 102}, 19, -5, "ggggcggghhghgvggvgg", true, 15, 0},
    };
    tavrel_test::TempDir dir;
    for (const auto& row : rows) {
        auto effect = row.make();
        const auto built = effect_test::BuildAlone(*effect, dir.file("drawing.swf"), 6400, 4800, 12.0f, 0);
        const CTagDefineShape* tag = built->Shape(row.shapeId);
        ASSERT_TRUE(tag && tag->bounds && tag->shape) << row.what;
        EXPECT_EQ(tag->GetTagCode(), swf_tag::kDefineShape) << row.what;
        EXPECT_EQ(std::vector<int>({tag->bounds->xmin, tag->bounds->xmax, tag->bounds->ymin, tag->bounds->ymax}),
                  row.bounds)
            << row.what;
        const CShapeWithStyle& shape = *tag->shape;
        EXPECT_EQ(std::vector<int>({shape.numFillBits, shape.numLineBits}), std::vector<int>({row.fillBits, row.lineBits}))
            << row.what;
        const int fills = shape.fillStyles ? shape.fillStyles->GetCount() : 0;
        const int lines = shape.lineStyles ? shape.lineStyles->GetCount() : 0;
        ASSERT_EQ(fills, row.fillType >= 0 ? 1 : 0) << row.what;
        ASSERT_EQ(lines, row.lineWidth ? 1 : 0) << row.what;
        const CSwfRGB* colour = nullptr;
        if (lines) {
            EXPECT_EQ(shape.lineStyles->styles[0]->width, row.lineWidth) << row.what;
            colour = shape.lineStyles->styles[0]->colour.get();
        } else {
            const CFillStyle& fill = *shape.fillStyles->styles[0];
            EXPECT_EQ(fill.type, row.fillType) << row.what;
            colour = fill.colour.get();
            if (fill.type == swf_fill::kRadialGradient) {
                // White at the centre, moved up and to the left of the bubble's.
                ASSERT_TRUE(fill.matrix && fill.gradient && fill.gradient->records.size() == 2);
                EXPECT_EQ(std::vector<int>({fill.matrix->hasScale, fill.matrix->hasRotate, fill.matrix->scaleX,
                                            fill.matrix->scaleY, fill.matrix->translateX, fill.matrix->translateY}),
                          std::vector<int>({1, 0, 4456, 4456, -258, -459}));
                const CSwfGradRecord &inner = *fill.gradient->records[0], &outer = *fill.gradient->records[1];
                ASSERT_TRUE(inner.colour && outer.colour);
                EXPECT_EQ(std::vector<int>({inner.ratio, inner.colour->r, inner.colour->g, inner.colour->b, outer.ratio}),
                          std::vector<int>({0, 255, 255, 255, 166}));
                colour = outer.colour.get();
            }
        }
        ASSERT_NE(colour, nullptr) << row.what;
        EXPECT_EQ(std::vector<int>({colour->r, colour->g, colour->b}), row.rgb) << row.what;

        const auto paths = effect_test::SubPaths(shape);
        ASSERT_EQ(paths.size(), 1u) << row.what;
        EXPECT_EQ(paths[0].x, row.x) << row.what;
        EXPECT_EQ(paths[0].y, row.y) << row.what;
        EXPECT_EQ(paths[0].kinds, row.kinds) << row.what;
        EXPECT_EQ(paths[0].Closed(), row.closed) << row.what << " ends at " << paths[0].endX << "," << paths[0].endY;
    }
}

}  // namespace
