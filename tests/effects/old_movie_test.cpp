// Old Movie: its five definitions, the film's two frames, the scratch's
// height and what the dust script does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "effect_checks.h"
#include "effects/old_movie.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/control_tags.h"

using tavrel_test::TempDir;

namespace {

TEST(OldMovie, DefinitionsFramesAndScript)
{
    const struct {
        int width, height;  // twips
        int half;  // the scratch's half height
    } cases[] = {{6400, 4800, 2400}, {6410, 4801, 2400}, {2000, 1000, 500}};
    TempDir dir;
    for (const auto& c : cases) {
        const std::string at = "size " + std::to_string(c.width) + " x " + std::to_string(c.height);
        COldMovieEffect film;
        const auto built = effect_test::BuildAlone(film, dir.file("film.swf"), c.width, c.height, 12.0f, 10);

        // Scratch shape and sprite, speck shape and sprite, then the film.
        EXPECT_EQ(built->written, (std::vector<uint16_t>{11, 12, 13, 14, 15})) << at;
        EXPECT_EQ(built->returned, 15);
        EXPECT_EQ(film.GetSpriteId(), 15);
        EXPECT_EQ(film.GetLineSpriteId(), 12);
        EXPECT_EQ(film.GetDotSpriteId(), 14);
        EXPECT_EQ(built->depthsAfter, 5);
        for (uint16_t id : {12, 14}) {
            const CTagDefineSprite* holder = built->Sprite(id);
            ASSERT_NE(holder, nullptr);
            EXPECT_EQ(holder->frameCount, 1);
            const auto placed = effect_test::Placements(*holder);
            ASSERT_EQ(placed.size(), 1u);
            EXPECT_EQ(placed[0]->characterId, id - 1);
            EXPECT_TRUE(placed[0]->matrix && !placed[0]->matrix->hasScale && !placed[0]->matrix->translateX);
        }

        // The scratch: a hairline from -half down through the whole height;
        // an odd height reaches one twip further down.
        const CTagDefineShape* scratch = built->Shape(11);
        ASSERT_TRUE(scratch && scratch->bounds && scratch->shape);
        EXPECT_EQ(std::vector<int>({scratch->bounds->xmin, scratch->bounds->xmax, scratch->bounds->ymin,
                                    scratch->bounds->ymax}),
                  std::vector<int>({0, 0, -c.half, c.half}))
            << at;
        const auto paths = effect_test::SubPaths(*scratch->shape);
        ASSERT_EQ(paths.size(), 1u);
        EXPECT_EQ(paths[0].x, 0);
        EXPECT_EQ(paths[0].y, -c.half);
        EXPECT_EQ(paths[0].kinds, "v");
        EXPECT_EQ(paths[0].endY - paths[0].y, c.height) << at;

        // Frame 1: the script, then the four named placements; frame 2 loops.
        const CTagDefineSprite* sprite = built->Sprite(15);
        ASSERT_NE(sprite, nullptr);
        EXPECT_EQ(sprite->frameCount, 2);
        std::vector<int> codes;
        for (const CSwfTag* tag : sprite->tags) codes.push_back(tag->GetTagCode());
        const int place = swf_tag::kPlaceObject2, script = swf_tag::kDoAction, show = swf_tag::kShowFrame;
        EXPECT_EQ(codes, (std::vector<int>{script, place, place, place, place, show, script, show, swf_tag::kEnd}));
        const struct {
            uint16_t id, depth;
            const char* name;
            int y;
        } placements[] = {{12, 1, "dustline", c.half}, {14, 2, "dustdot1", 0}, {14, 3, "dustdot2", 0}, {14, 4, "dustdot3", 0}};
        const auto placed = effect_test::Placements(*sprite);
        ASSERT_EQ(placed.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            const CTagPlaceObject2& p = *placed[i];
            EXPECT_TRUE(p.characterId == placements[i].id && p.depth == placements[i].depth && p.hasName) << i;
            EXPECT_EQ(p.name, placements[i].name);
            ASSERT_NE(p.matrix, nullptr);
            EXPECT_FALSE(p.matrix->hasScale || p.matrix->hasRotate);
            EXPECT_EQ(p.matrix->translateX, 0);
            EXPECT_EQ(p.matrix->translateY, placements[i].y) << at;
        }

        const auto scripts = effect_test::Scripts(*sprite);
        ASSERT_EQ(scripts.size(), 2u);
        EXPECT_EQ(effect_test::Tokens(*scripts[0]).size(), 77u);
        const std::string w = std::to_string(c.width / 20), h = std::to_string(c.height / 20);
        std::vector<std::string> expected = {"dustline.0=rand(" + w + ")"};
        for (const char* dot : {"dustdot1", "dustdot2", "dustdot3"}) {
            const std::string d = dot;
            expected.insert(expected.end(), {"dustdotscale=rand(100)", d + ".0=rand(" + w + ")",
                                             d + ".1=rand(" + h + ")", d + ".2=$dustdotscale",
                                             d + ".3=$dustdotscale"});
        }
        EXPECT_EQ(effect_test::Effects(*scripts[0]), expected) << at;
        EXPECT_EQ(effect_test::Tokens(*scripts[1]), (std::vector<std::string>{"goto:0", "Play"}));

        tavrel_test::ExpectDumpAccepts(built->path, {"DefineShape", "DefineSprite", "DoAction"});
    }
}

}  // namespace
