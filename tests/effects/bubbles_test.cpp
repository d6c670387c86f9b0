// Bubbles: its four definitions, the rising bubble's path and fade, the
// field's random delays and what the bubble's script does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "effect_checks.h"
#include "effects/bubbles.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/control_tags.h"

using tavrel_test::TempDir;

namespace {

TEST(Bubbles, DefinitionsFramesAndScript)
{
    const struct {
        float rate;
        int width, height;  // twips
        int motionFrames;  // five seconds
        const char* y;  // the start row pushed, in pixels
    } cases[] = {
        {12.0f, 6400, 4800, 60, "260"},
        {25.5f, 6410, 4819, 127, "260"},
        {1.0f, 2000, 2000, 5, "120"},
        // Below one frame a second no delay can be drawn: all enter at once.
        {0.5f, 6400, 4800, 2, "260"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string at = "rate " + std::to_string(c.rate);
        const int perSecond = int(c.rate);
        std::vector<int> delays;
        std::srand(11);
        for (int i = 0; i < 20; ++i) delays.push_back(perSecond > 0 ? std::rand() % perSecond : 0);
        std::srand(11);
        CBubblesEffect bubbles;
        const auto built = effect_test::BuildAlone(bubbles, dir.file("bubbles.swf"), c.width, c.height, c.rate, 4);

        // The field takes its id first and is written last.
        EXPECT_EQ(built->written, (std::vector<uint16_t>{6, 7, 8, 5})) << at;
        EXPECT_EQ(built->returned, 5) << at;
        EXPECT_EQ(bubbles.GetSpriteId(), 5);
        EXPECT_EQ(built->idsAfter, 8);
        EXPECT_EQ(built->depthsAfter, 5);

        const CTagDefineSprite* bubble = built->Sprite(7);
        ASSERT_NE(bubble, nullptr);
        EXPECT_EQ(bubble->frameCount, 1);
        const auto inBubble = effect_test::Placements(*bubble);
        ASSERT_EQ(inBubble.size(), 1u);
        EXPECT_EQ(inBubble[0]->characterId, 6);

        // Frame 1 invisible, then a fade in over the climb, then the loop.
        const CTagDefineSprite* rising = built->Sprite(8);
        ASSERT_NE(rising, nullptr) << at;
        EXPECT_EQ(rising->frameCount, c.motionFrames + 2) << at;
        const auto steps = effect_test::Placements(*rising);
        ASSERT_EQ(steps.size(), size_t(c.motionFrames) + 1) << at;
        EXPECT_EQ(steps[0]->characterId, 7);
        EXPECT_FALSE(steps[0]->move);
        ASSERT_TRUE(steps[0]->matrix && steps[0]->cxform);
        EXPECT_FALSE(steps[0]->matrix->hasScale || steps[0]->matrix->translateX || steps[0]->matrix->translateY);
        EXPECT_EQ(steps[0]->cxform->alphaMult, 0);
        const double climb = (c.height + 400) / 6.0;  // twips over a = 0 .. 6
        int32_t lowestX = 0, highestX = 0;
        for (size_t k = 1; k < steps.size(); ++k) {
            const CTagPlaceObject2& p = *steps[k];
            const std::string frame = at + " frame " + std::to_string(k + 1);
            EXPECT_TRUE(p.move && !p.hasCharacter && p.depth == 1) << frame;
            EXPECT_EQ(effect_test::FrameOf(*rising, &p), int(k) + 1) << frame;
            ASSERT_TRUE(p.matrix && p.cxform) << frame;
            EXPECT_FALSE(p.matrix->hasScale || p.matrix->hasRotate) << frame;
            const double a = 6.0 * double(k - 1) / c.motionFrames;
            EXPECT_NEAR(p.matrix->translateY, -a * climb, 1.0) << frame;
            EXPECT_NEAR(p.matrix->translateX, 0.4 * std::sin(a) * climb, 1.0) << frame;
            lowestX = std::min(lowestX, p.matrix->translateX);
            highestX = std::max(highestX, p.matrix->translateX);
            EXPECT_EQ(p.cxform->alphaMult, int(double(k) / c.motionFrames * 256 + 0.5)) << frame;
            EXPECT_EQ(p.cxform->redMult + p.cxform->greenMult + p.cxform->blueMult, 3 * 256);
            EXPECT_FALSE(p.cxform->hasAdd);
        }
        EXPECT_EQ(steps.back()->cxform->alphaMult, 256) << at;
        if (c.motionFrames == 60) {
            EXPECT_EQ(steps[1]->cxform->alphaMult, 4);
            EXPECT_GT(highestX, 300) << "sways right";
            EXPECT_LT(lowestX, -300) << "and left";
        }
        const auto scripts = effect_test::Scripts(*rising);
        ASSERT_EQ(scripts.size(), 2u);
        EXPECT_EQ(effect_test::FrameOf(*rising, scripts[0]), 1);
        const auto tokens = effect_test::Tokens(*scripts[0]);
        ASSERT_EQ(tokens.size(), 27u) << at;
        EXPECT_EQ(tokens.front(), "target:");
        EXPECT_EQ(tokens.back(), "target:");
        EXPECT_EQ(effect_test::Effects(*scripts[0]),
                  (std::vector<std::string>{".0=rand(" + std::to_string(c.width / 20) + ")", std::string(".1=") + c.y,
                                            "bubble_scale=(rand(90)+10)", ".2=$bubble_scale", ".3=$bubble_scale"}))
            << at;
        EXPECT_EQ(effect_test::FrameOf(*rising, scripts[1]), c.motionFrames + 2);
        EXPECT_EQ(effect_test::Tokens(*scripts[1]), (std::vector<std::string>{"goto:0", "Play"}));

        // Twenty bubbles after the drawn delays, then the stop.
        const CTagDefineSprite* field = built->Sprite(5);
        ASSERT_NE(field, nullptr);
        const int total = std::accumulate(delays.begin(), delays.end(), 0);
        EXPECT_EQ(field->frameCount, total + 1) << at;
        const auto placed = effect_test::Placements(*field);
        ASSERT_EQ(placed.size(), 20u);
        int frame = 1;
        for (int d = 1; d <= 20; ++d) {
            const CTagPlaceObject2& p = *placed[size_t(d) - 1];
            EXPECT_TRUE(p.characterId == 8 && p.depth == d && !p.move && !p.matrix && !p.cxform) << at << " " << d;
            EXPECT_EQ(effect_test::FrameOf(*field, &p), frame) << at << " depth " << d;
            EXPECT_LT(delays[size_t(d) - 1], std::max(perSecond, 1));
            frame += delays[size_t(d) - 1];
        }
        const auto stop = effect_test::Scripts(*field);
        ASSERT_EQ(stop.size(), 1u);
        EXPECT_EQ(effect_test::Tokens(*stop[0]), std::vector<std::string>{"Stop"});
        EXPECT_EQ(effect_test::FrameOf(*field, stop[0]), total + 1);

        tavrel_test::ExpectDumpAccepts(built->path, {"DefineShape", "DefineSprite", "DoAction"});
    }
}

}  // namespace
