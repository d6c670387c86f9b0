// Snow: what Build writes (ids, the three nested sprites), the flake's three
// scripts as the bytes give them, the flake drawing, and flakes falling in a
// player.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "effect_checks.h"
#include "effect_pixels.h"
#include "effects/snow.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/display_tags.h"

using effect_test::SubPath;
using tavrel_test::TempDir;

namespace {

// Ids from a counter at 7: the snow sprite first, written last.
enum : uint16_t { kSnow = 8, kDrawing, kHolder, kFlake };

}  // namespace

// The drawing, then the holder that shrinks it by 5/83 without a frame of
// its own, the flake that moves the holder, and forty flakes in one frame.
TEST(Snow, DefinitionsAndSprites)
{
    TempDir dir;
    CSnowEffect effect;
    const auto built = effect_test::BuildAlone(effect, dir.file("snow.swf"), 6400, 4800, 12.0f, 7);
    ASSERT_FALSE(::testing::Test::HasFailure());
    EXPECT_TRUE(built->returned == kSnow && effect.GetSpriteId() == kSnow);
    EXPECT_EQ(built->idsAfter, kFlake);
    EXPECT_EQ(built->depthsAfter, 5) << "the movie's depths are not the effect's";
    EXPECT_EQ(built->written, (std::vector<uint16_t>{kDrawing, kHolder, kFlake, kSnow}));
    const CSwfTagList& tags = built->reader.GetTags(nullptr);
    EXPECT_EQ(tags[0]->GetTagCode(), swf_tag::kDefineShape);
    auto* placed = dynamic_cast<const CTagPlaceObject2*>(tags[4]);
    ASSERT_TRUE(placed && placed->characterId == kSnow && placed->matrix);
    EXPECT_TRUE(!placed->matrix->hasScale && !placed->matrix->hasRotate && !placed->matrix->translateX);

    const CTagDefineSprite* holder = built->Sprite(kHolder);
    const CTagDefineSprite* flake = built->Sprite(kFlake);
    const CTagDefineSprite* snow = built->Sprite(kSnow);
    ASSERT_TRUE(holder && flake && snow);
    EXPECT_EQ(holder->frameCount, 0);
    EXPECT_EQ(effect_test::Describe(*holder), (std::vector<std::string>{"place 9 @1 m s3948,3948"}));
    EXPECT_EQ(flake->frameCount, 3);
    EXPECT_EQ(effect_test::Describe(*flake),
              (std::vector<std::string>{"script", "place 10 @1 m s3948,3948 name flake", "frame", "script", "frame",
                                        "script", "frame"}));
    const std::vector<const CTagDoAction*> scripts = effect_test::Scripts(*flake);
    ASSERT_EQ(scripts.size(), 3u);
    // Back to the second frame: the motion runs on every pass.
    EXPECT_EQ(effect_test::Tokens(*scripts[2]), (std::vector<std::string>{"goto:1", "Play"}));
    EXPECT_EQ(snow->frameCount, 1);
    std::vector<std::string> flakes;
    for (int depth = 1; depth <= 40; ++depth) flakes.push_back("place 11 @" + std::to_string(depth) + " m");
    flakes.push_back("frame");
    EXPECT_EQ(effect_test::Describe(*snow), flakes);
}

// The start and motion scripts as the bytes give them: counts, lengths,
// the frame size as texts, and where each branch of the motion lands; the
// checkers read the same lengths, the end actions included.
TEST(Snow, Scripts)
{
    const struct {
        int width, height;  // twips
        const char *w, *h;
    } sizes[] = {{12800, 9600, "640", "480"},
                 {12810, 9619, "640", "480"},
                 {6400, 4800, "320", "240"},
                 {2000, 40000, "100", "2000"}};
    TempDir dir;
    for (const auto& size : sizes) {
        SCOPED_TRACE(size.w);
        CSnowEffect effect;
        const auto built = effect_test::BuildAlone(effect, dir.file("snow.swf"), size.width, size.height, 12.0f, 7);
        ASSERT_FALSE(::testing::Test::HasFailure());
        const std::vector<const CTagDoAction*> scripts = effect_test::Scripts(*built->Sprite(kFlake));
        ASSERT_EQ(scripts.size(), 3u);
        const CTagDoAction &start = *scripts[0], &motion = *scripts[1];

        int bytes = 0;
        effect_test::ActionPositions(start, &bytes);
        EXPECT_EQ(start.actions.size(), 81u);
        // 482 bytes with "640" and "480"; other texts, other lengths.
        EXPECT_EQ(bytes, 482 + int(std::string(size.w).size() + std::string(size.h).size()) - 6);
        const std::vector<std::string> first = effect_test::Tokens(start);
        EXPECT_EQ(std::vector(first.begin(), first.begin() + 6),
                  (std::vector<std::string>{"'swf_width'", "'" + std::string(size.w) + "'", "SetVariable",
                                            "'swf_height'", "'" + std::string(size.h) + "'", "SetVariable"}));
        for (const std::string& t : first) EXPECT_TRUE(t.rfind("if:", 0) && t.rfind("jump:", 0)) << "a branch";

        ASSERT_EQ(motion.actions.size(), 173u);
        const std::vector<int> at = effect_test::ActionPositions(motion, &bytes);
        EXPECT_EQ(bytes, 854);
        // Branches by number from 1, where they land (174: the end) and on
        // which byte and action.
        const struct {
            size_t number;
            const char* branch;
            int lands, byte;
            const char* landsOn;
        } branches[] = {{25, "if:36", 34, 163, "Not"},        {35, "if:297", 91, 466, "'r_xy'"},
                        {90, "jump:388", 174, 854, ""},       {94, "if:106", 119, 588, "'go'"},
                        {114, "if:16", 118, 583, "jump:93"}, {118, "jump:93", 140, 681, "'xpos'"},
                        {136, "if:16", 140, 681, "'xpos'"}};
        const std::vector<std::string> tokens = effect_test::Tokens(motion);
        EXPECT_EQ(std::count_if(tokens.begin(), tokens.end(),
                                [](const std::string& t) { return !t.rfind("if:", 0) || !t.rfind("jump:", 0); }),
                  7);
        for (const auto& b : branches) {
            SCOPED_TRACE("branch " + std::to_string(b.number));
            EXPECT_EQ(tokens[b.number - 1], b.branch);
            const int lands = effect_test::LandsOn(motion, b.number - 1) + 1;
            ASSERT_EQ(lands, b.lands);
            EXPECT_EQ(lands <= 173 ? at[size_t(lands) - 1] : bytes, b.byte);
            EXPECT_EQ(lands <= 173 ? tokens[size_t(lands) - 1] : "", b.landsOn);
        }
        if (size.width != 12800) continue;
        std::string report;
        tavrel_test::ExpectDumpAccepts(built->path, {"DefineShape", "DefineSprite", "DoAction"}, &report);
        if (report.empty()) continue;
        EXPECT_NE(report.find("\"length\":483"), std::string::npos) << report.substr(0, 2000);
        EXPECT_NE(report.find("\"length\":855"), std::string::npos);
    }
}

TEST(Snow, FlakeDrawing)
{
    TempDir dir;
    CSnowEffect effect;
    const auto built = effect_test::BuildAlone(effect, dir.file("snow.swf"), 6400, 4800, 12.0f, 7);
    ASSERT_FALSE(::testing::Test::HasFailure());
    const CTagDefineShape* shape = built->Shape(kDrawing);
    ASSERT_TRUE(shape && shape->shape && shape->bounds);
    const CSwfRect& b = *shape->bounds;
    EXPECT_TRUE(b.xmin == -1660 && b.xmax == 1660 && b.ymin == -1660 && b.ymax == 1660);
    // White lines 120 twips wide, no fill; line indices 15 bits wide.
    const CShapeWithStyle& s = *shape->shape;
    EXPECT_TRUE(!s.fillStyles || !s.fillStyles->GetCount());
    ASSERT_TRUE(s.lineStyles && s.lineStyles->GetCount() == 1 && s.lineStyles->styles[0]->colour);
    const CLineStyle& line = *s.lineStyles->styles[0];
    EXPECT_TRUE(line.width == 120 && line.colour->r == 255 && line.colour->g == 255 && line.colour->b == 255);
    EXPECT_TRUE(s.numFillBits == 0 && s.numLineBits == 15);

    const std::vector<SubPath> paths = effect_test::SubPaths(s);
    const struct {
        int32_t x, y;
        int edges;
    } given[] = {{1454, -500, 7}, {1582, -787, 1}, {1141, -574, 1}, {-1181, -588, 6}, {-1201, -585, 1},
                 {-1600, -789, 1}, {-1227, -877, 1}, {2, -1600, 1},    {252, -1391, 1},  {-461, -190, 6},
                 {-7, 25, 1},      {-465, 259, 2},   {465, 266, 4},    {-256, 1411, 1},  {11, 1170, 1},
                 {-7, 25, 4},      {-1461, 541, 2},  {2, 441, 2},      {1179, 851, 2},   {1141, 596, 1},
                 {465, -182, 2},   {2, 59, 2}};
    ASSERT_EQ(paths.size(), std::size(given));
    int lines = 0, vertical = 0, horizontal = 0, curves = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        const SubPath& p = paths[i];
        EXPECT_TRUE(p.x == given[i].x && p.y == given[i].y) << "sub-path " << i + 1;
        EXPECT_EQ(int(p.kinds.size()), given[i].edges) << "sub-path " << i + 1;
        // Only the first move picks the line; the others only move.
        EXPECT_EQ(p.flags, i ? uint32_t(swf_shape::kMoveTo) : uint32_t(swf_shape::kMoveTo | swf_shape::kLineStyle));
        lines += p.Count('g'), vertical += p.Count('v'), horizontal += p.Count('h'), curves += p.Count('c');
        for (const auto& [x, y] : p.points)
            EXPECT_TRUE(x >= -1600 && x <= 1600 && y >= -1600 && y <= 1600) << "sub-path " << i + 1;
    }
    EXPECT_EQ(paths[0].line, 1);
    EXPECT_TRUE(lines == 41 && vertical == 8 && horizontal == 0 && curves == 1);

    // The rows the flake is known by, as the points the pen passes.
    using Points = std::vector<std::pair<int32_t, int32_t>>;
    EXPECT_EQ(paths[0].points, (Points{{1454, -500}, {1158, -570}, {2, 21}, {2, 30}, {463, 265}, {465, 266},
                                       {1147, 615}, {1144, 604}}));
    EXPECT_EQ(paths[3].points, (Points{{-1181, -588}, {-1201, -585}, {-461, -207}, {-573, -788}, {-230, -583},
                                       {2, -378}, {2, -1206}, {-236, -1379}}));
    EXPECT_EQ(paths[7].points, (Points{{2, -1600}, {2, -1206}}));
    EXPECT_EQ(paths[12].points, (Points{{465, 266}, {557, 851}, {2, 441}, {2, 1177}, {2, 1600}}));
}

// Light flakes over a dark slide, lower three seconds later: every flake
// falls at least 0.9 pixels a frame and none comes round again this soon.
TEST(Snow, PlayerShowsFlakesFalling)
{
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    constexpr long kSlide = 0x101830;
    TempDir dir;
    const std::vector<int> frames{12, 48};
    auto light = [](long p) { return effect_pixels::FlakePixel(p, kSlide); };
    const std::vector<effect_pixels::Shot> shots =
        effect_pixels::PlayOverSlide(std::make_unique<CSnowEffect>(), kSlide, 50, dir.file("scene.swf"), frames,
                                     [&](const effect_pixels::Shot& s) { return effect_pixels::Count(s, light) > 3; });
    ASSERT_EQ(shots.size(), frames.size());
    int lowest = -1;
    for (size_t i = 0; i < shots.size(); ++i) {
        const effect_pixels::Shot& shot = shots[i];
        if (shot.exitCode == 3) GTEST_SKIP() << shot.output;
        ASSERT_EQ(shot.exitCode, 0) << shot.output;
        EXPECT_GT(effect_pixels::Count(shot, light), 3) << "frame " << frames[i];
        const int row = effect_pixels::LowestRow(shot, light);
        EXPECT_GT(row, lowest) << "frame " << frames[i];
        lowest = row;
        EXPECT_GT(effect_pixels::Count(shot, [](long p) { return effect_pixels::Near(p, kSlide, 3); }),
                  long(shot.width) * shot.height / 2);
    }
}
