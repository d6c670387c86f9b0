// Hearts: its three definitions, the heart's growing and shrinking, the
// field's timing and what the heart's script does.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "effect_checks.h"
#include "effects/hearts.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/control_tags.h"

using effect_test::BuiltEffect;
using tavrel_test::TempDir;

namespace {

// A seed whose first draw is a multiple of 360: no heart turns.
unsigned SeedForUprightHearts()
{
    for (unsigned seed = 1;; ++seed) {
        std::srand(seed);
        if (std::rand() % 360 == 0) return seed;
    }
}

TEST(Hearts, DefinitionsFramesAndScript)
{
    const struct {
        float rate;
        int width, height;  // twips
        unsigned seed;  // 0: one that keeps the hearts upright
        int heartFrames, fieldFrames;
    } cases[] = {
        {12.0f, 6400, 4800, 7, 25, 33},
        {25.5f, 6410, 4819, 8, 51, 46},  // truncations: 25 frames a second, 320 × 240 pixels
        {1.0f, 6400, 4800, 0, 3, 22},
        {12.0f, 20, 20, 9, 25, 33},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string at = "rate " + std::to_string(c.rate) + " size " + std::to_string(c.width);
        const unsigned seed = c.seed ? c.seed : SeedForUprightHearts();
        std::srand(seed);
        const int maxTurn = std::abs(std::rand() % 360), extraAlpha = std::abs(std::rand() % 90);
        std::srand(seed);
        CHeartsEffect hearts;
        const auto built = effect_test::BuildAlone(hearts, dir.file("hearts.swf"), c.width, c.height, c.rate, 0);

        // Shape, heart, field: ids and file order alike; the depths untouched.
        EXPECT_EQ(built->written, (std::vector<uint16_t>{1, 2, 3})) << at;
        EXPECT_EQ(built->returned, 3) << at;
        EXPECT_EQ(hearts.GetSpriteId(), 3) << at;
        EXPECT_EQ(built->idsAfter, 3) << at;
        EXPECT_EQ(built->depthsAfter, 5) << at;

        const CTagDefineSprite* heart = built->Sprite(2);
        ASSERT_NE(heart, nullptr) << at;
        EXPECT_EQ(heart->frameCount, c.heartFrames) << at;
        const auto moves = effect_test::Placements(*heart);
        ASSERT_EQ(moves.size(), size_t(c.heartFrames)) << at;
        const int m = (c.heartFrames - 1) / 2;
        for (size_t i = 0; i < moves.size(); ++i) {
            const CTagPlaceObject2& p = *moves[i];
            EXPECT_EQ(p.depth, 1);
            EXPECT_EQ(p.move, i > 0) << at << " frame " << i + 1;
            EXPECT_EQ(effect_test::FrameOf(*heart, &p), int(i) + 1) << at;
            ASSERT_NE(p.matrix, nullptr) << at << " frame " << i + 1;
            EXPECT_TRUE(p.matrix->hasScale && !p.matrix->hasRotate);
            EXPECT_EQ(p.matrix->translateX | p.matrix->translateY, 0);
            // Frame 1 at scale 0, then k/M of full size up and back down.
            const int k = int(i) <= m ? int(i) : 2 * m - int(i);
            const auto scale = int32_t(double(k) / m * 65536 + 0.5);
            EXPECT_EQ(p.matrix->scaleX, i == 0 ? 0 : scale) << at << " frame " << i + 1;
            EXPECT_EQ(p.matrix->scaleY, p.matrix->scaleX);
        }
        EXPECT_EQ(moves[0]->characterId, 1) << at;
        EXPECT_EQ(moves.back()->matrix->scaleX, 0) << at;

        // The heart's script runs in frame 1, with both draws in it.
        const auto scripts = effect_test::Scripts(*heart);
        ASSERT_EQ(scripts.size(), 1u) << at;
        EXPECT_EQ(effect_test::FrameOf(*heart, scripts[0]), 1);
        const auto tokens = effect_test::Tokens(*scripts[0]);
        ASSERT_EQ(tokens.size(), 40u) << at;
        EXPECT_EQ(tokens.front(), "target:");
        EXPECT_EQ(tokens.back(), "target:");
        const std::string w = std::to_string(c.width / 20), h = std::to_string(c.height / 20);
        EXPECT_EQ(effect_test::Effects(*scripts[0]),
                  (std::vector<std::string>{".0=rand(" + w + ")", ".1=rand(" + h + ")", "heart_scale=(rand(90)+10)",
                                            ".2=$heart_scale", ".3=$heart_scale",
                                            ".10=rand(" + std::to_string(maxTurn) + ")",
                                            ".6=(rand(" + std::to_string(extraAlpha) + ")+10)"}))
            << at;
        if (!c.seed) {
            EXPECT_EQ(tokens[29], "'0'") << "upright hearts push the text 0";
        }

        // Ten hearts a frame apart, a second's pause, ten more, then a stop.
        const CTagDefineSprite* field = built->Sprite(3);
        ASSERT_NE(field, nullptr) << at;
        EXPECT_EQ(field->frameCount, c.fieldFrames) << at;
        const auto placed = effect_test::Placements(*field);
        ASSERT_EQ(placed.size(), 20u) << at;
        for (int d = 1; d <= 20; ++d) {
            const CTagPlaceObject2& p = *placed[size_t(d) - 1];
            EXPECT_EQ(p.characterId, 2);
            EXPECT_EQ(p.depth, d);
            EXPECT_FALSE(p.move);
            EXPECT_EQ(p.matrix, nullptr);
            EXPECT_EQ(p.cxform, nullptr);
            EXPECT_EQ(effect_test::FrameOf(*field, &p), d <= 10 ? d : d + m) << at << " depth " << d;
        }
        const auto stop = effect_test::Scripts(*field);
        ASSERT_EQ(stop.size(), 1u);
        EXPECT_EQ(effect_test::Tokens(*stop[0]), std::vector<std::string>{"Stop"});
        EXPECT_EQ(effect_test::FrameOf(*field, stop[0]), c.fieldFrames);

        tavrel_test::ExpectDumpAccepts(built->path, {"DefineShape", "DefineSprite", "DoAction"});
    }
}

}  // namespace
