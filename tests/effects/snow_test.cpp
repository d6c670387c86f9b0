// Snow: what Build writes (ids, the three nested sprites), the flake's three
// scripts as the bytes give them, the flake drawing, and flakes falling in a
// player.
#include <gtest/gtest.h>

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

const CTagPlaceObject2* AsPlace(const CSwfTag* tag)
{
    return dynamic_cast<const CTagPlaceObject2*>(tag);
}

// The flake's scale, 5/83 in 16.16, and nothing else.
void ExpectShrinks(const CTagPlaceObject2& place)
{
    ASSERT_NE(place.matrix, nullptr);
    const CSwfMatrix& m = *place.matrix;
    EXPECT_TRUE(m.hasScale && m.scaleX == 3948 && m.scaleY == 3948);
    EXPECT_TRUE(!m.hasRotate && m.translateX == 0 && m.translateY == 0);
}

const CTagDoAction* Script(const CTagDefineSprite& sprite, size_t index)
{
    const std::vector<const CSwfTag*> tags = effect_test::Timeline(sprite);
    return index < tags.size() ? dynamic_cast<const CTagDoAction*>(tags[index]) : nullptr;
}

}  // namespace

TEST(Snow, DefinitionsAndSprites)
{
    TempDir dir;
    CSnowEffect effect;
    const auto built = effect_test::BuildAlone(effect, dir.file("snow.swf"), 6400, 4800, 12.0f, 7);
    ASSERT_FALSE(::testing::Test::HasFailure());
    EXPECT_EQ(built->returned, kSnow);
    EXPECT_EQ(effect.GetSpriteId(), kSnow);
    EXPECT_EQ(built->idsAfter, kFlake);
    EXPECT_EQ(built->depthsAfter, 5) << "the movie's depths are not the effect's";
    const CSwfTagList& tags = built->reader.GetTags(nullptr);
    ASSERT_GE(tags.size(), 5u);
    const int codes[] = {swf_tag::kDefineShape, swf_tag::kDefineSprite, swf_tag::kDefineSprite,
                         swf_tag::kDefineSprite, swf_tag::kPlaceObject2};
    const uint16_t ids[] = {kDrawing, kHolder, kFlake, kSnow};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(tags[i]->GetTagCode(), codes[i]) << "tag " << i;
        if (i < 4) {
            EXPECT_EQ(dynamic_cast<const CSwfDefineTag*>(tags[i])->GetCharacterId(), ids[i]);
        }
    }
    // The movie places the snow sprite with the identity.
    const CTagPlaceObject2* placed = AsPlace(tags[4]);
    ASSERT_TRUE(placed && placed->characterId == kSnow && placed->depth == 1 && placed->matrix);
    EXPECT_TRUE(placed->matrix->translateX == 0 && placed->matrix->translateY == 0 && !placed->matrix->hasRotate);

    // The holder: the drawing shrunk, and no frame of its own.
    const CTagDefineSprite* holder = built->Sprite(kHolder);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->frameCount, 0);
    ASSERT_EQ(effect_test::Timeline(*holder).size(), 1u);
    const CTagPlaceObject2* drawing = AsPlace(holder->tags[0]);
    ASSERT_TRUE(drawing && drawing->characterId == kDrawing && drawing->depth == 1 && !drawing->hasName);
    ExpectShrinks(*drawing);

    // The flake: start script and the named holder, motion, loop.
    const CTagDefineSprite* flake = built->Sprite(kFlake);
    ASSERT_NE(flake, nullptr);
    ASSERT_EQ(effect_test::Timeline(*flake).size(), 7u);
    EXPECT_EQ(flake->frameCount, 3);
    const int flakeCodes[] = {swf_tag::kDoAction, swf_tag::kPlaceObject2, swf_tag::kShowFrame, swf_tag::kDoAction,
                              swf_tag::kShowFrame, swf_tag::kDoAction,    swf_tag::kShowFrame};
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(flake->tags[i]->GetTagCode(), flakeCodes[i]) << "flake tag " << i;
    const CTagPlaceObject2* named = AsPlace(flake->tags[1]);
    ASSERT_TRUE(named && named->characterId == kHolder && named->depth == 1);
    EXPECT_TRUE(named->hasName && named->name == "flake");
    ExpectShrinks(*named);
    const CTagDoAction* loop = Script(*flake, 5);
    ASSERT_TRUE(loop && loop->actions.size() == 2);
    auto* back = dynamic_cast<const CActionGotoFrame*>(loop->actions[0].get());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->frame, 1) << "the second frame, so the motion runs on every pass";
    EXPECT_EQ(loop->actions[1]->GetActionCode(), 0x06);

    // Forty flakes at depths 1 to 40, then one frame.
    const CTagDefineSprite* snow = built->Sprite(kSnow);
    ASSERT_NE(snow, nullptr);
    ASSERT_EQ(effect_test::Timeline(*snow).size(), 41u);
    EXPECT_EQ(snow->frameCount, 1);
    for (uint16_t depth = 1; depth <= 40; ++depth) {
        const CTagPlaceObject2* p = AsPlace(snow->tags[depth - 1u]);
        ASSERT_NE(p, nullptr) << depth;
        EXPECT_TRUE(p->characterId == kFlake && p->depth == depth && p->matrix && !p->hasName);
        if (p->matrix) {
            EXPECT_TRUE(!p->matrix->hasScale && p->matrix->translateX == 0 && p->matrix->translateY == 0);
        }
    }
    EXPECT_EQ(snow->tags[40]->GetTagCode(), swf_tag::kShowFrame);
}

// The start and motion scripts as the bytes give them: counts, lengths,
// the frame size as texts, and where each branch of the motion lands.
TEST(Snow, Scripts)
{
    const struct {
        int width, height;  // twips
        const char *w, *h;
    } sizes[] = {{12800, 9600, "640", "480"}, {12810, 9619, "640", "480"}, {6400, 4800, "320", "240"},
                 {2000, 40000, "100", "2000"}};
    TempDir dir;
    for (const auto& size : sizes) {
        SCOPED_TRACE(size.w);
        CSnowEffect effect;
        const auto built = effect_test::BuildAlone(effect, dir.file("snow.swf"), size.width, size.height, 12.0f, 7);
        ASSERT_FALSE(::testing::Test::HasFailure());
        const CTagDefineSprite* flake = built->Sprite(kFlake);
        ASSERT_NE(flake, nullptr);
        const CTagDoAction* start = Script(*flake, 0);
        const CTagDoAction* motion = Script(*flake, 3);
        ASSERT_TRUE(start && motion);

        int bytes = 0;
        effect_test::ActionPositions(*start, &bytes);
        EXPECT_EQ(start->actions.size(), 81u);
        // Texts of other lengths than "640" and "480" change the length.
        const int textDelta = int(std::string(size.w).size() + std::string(size.h).size()) - 6;
        EXPECT_EQ(bytes, 482 + textDelta);
        const std::vector<std::string> tokens = effect_test::Tokens(*start);
        ASSERT_GE(tokens.size(), 6u);
        EXPECT_EQ(std::vector(tokens.begin(), tokens.begin() + 6),
                  (std::vector<std::string>{"'swf_width'", "'" + std::string(size.w) + "'", "SetVariable", "'swf_height'",
                                            "'" + std::string(size.h) + "'", "SetVariable"}));
        for (const auto& action : start->actions)
            EXPECT_FALSE(action->GetActionCode() == 0x99 || action->GetActionCode() == 0x9D) << "no branch";

        ASSERT_EQ(motion->actions.size(), 173u);
        const std::vector<int> at = effect_test::ActionPositions(*motion, &bytes);
        EXPECT_EQ(bytes, 854);
        // Branches by number from 1: offset, where they land and the byte there.
        const struct {
            size_t number;
            int code, offset;
            int lands;  // 174: the end of the script
            int byte;
            int landsOnCode;
        } branches[] = {{25, 0x9D, 36, 34, 163, 0x12},   {35, 0x9D, 297, 91, 466, 0x96},
                        {90, 0x99, 388, 174, 854, 0},    {94, 0x9D, 106, 119, 588, 0x96},
                        {114, 0x9D, 16, 118, 583, 0x99}, {118, 0x99, 93, 140, 681, 0x96},
                        {136, 0x9D, 16, 140, 681, 0x96}};
        std::vector<size_t> found;
        for (size_t i = 0; i < motion->actions.size(); ++i) {
            const int code = motion->actions[i]->GetActionCode();
            if (code == 0x99 || code == 0x9D) found.push_back(i + 1);
        }
        ASSERT_EQ(found.size(), std::size(branches));
        for (size_t b = 0; b < std::size(branches); ++b) {
            const auto& e = branches[b];
            EXPECT_EQ(found[b], e.number);
            auto* branch = dynamic_cast<const CSwfBranchAction*>(motion->actions[e.number - 1].get());
            ASSERT_NE(branch, nullptr);
            EXPECT_EQ(branch->GetActionCode(), e.code);
            EXPECT_EQ(branch->branchOffset, e.offset);
            const int lands = effect_test::LandsOn(*motion, e.number - 1) + 1;
            EXPECT_EQ(lands, e.lands) << "branch " << e.number;
            if (lands <= 0) continue;
            EXPECT_EQ(lands <= 173 ? at[size_t(lands) - 1] : bytes, e.byte) << "branch " << e.number;
            if (lands <= 173) {
                EXPECT_EQ(motion->actions[size_t(lands) - 1]->GetActionCode(), e.landsOnCode);
            }
        }
    }
}

// The players' own reading of the lengths: the start script with its end
// action is 483 bytes at 640 × 480, the motion 855, and the motion's
// branches land on actions or on its end.
TEST(Snow, CheckersAcceptTheDefinitions)
{
    TempDir dir;
    CSnowEffect effect;
    const auto built = effect_test::BuildAlone(effect, dir.file("snow.swf"), 12800, 9600, 12.0f, 7);
    ASSERT_FALSE(::testing::Test::HasFailure());
    std::string report;
    tavrel_test::ExpectDumpAccepts(built->path, {"DefineShape", "DefineSprite", "DoAction"}, &report);
    if (report.empty()) return;
    EXPECT_NE(report.find("\"length\":483"), std::string::npos) << report.substr(0, 2000);
    EXPECT_NE(report.find("\"length\":855"), std::string::npos);
}

TEST(Snow, FlakeDrawing)
{
    TempDir dir;
    CSnowEffect effect;
    const auto built = effect_test::BuildAlone(effect, dir.file("snow.swf"), 6400, 4800, 12.0f, 7);
    ASSERT_FALSE(::testing::Test::HasFailure());
    const CTagDefineShape* shape = built->Shape(kDrawing);
    ASSERT_TRUE(shape && shape->shape && shape->bounds);
    EXPECT_TRUE(shape->bounds->xmin == -1660 && shape->bounds->xmax == 1660 && shape->bounds->ymin == -1660 &&
                shape->bounds->ymax == 1660);
    const CShapeWithStyle& s = *shape->shape;
    EXPECT_TRUE(!s.fillStyles || !s.fillStyles->GetCount());
    ASSERT_TRUE(s.lineStyles && s.lineStyles->GetCount() == 1);
    const CLineStyle& line = *s.lineStyles->styles[0];
    EXPECT_EQ(line.width, 120);
    ASSERT_NE(line.colour, nullptr);
    EXPECT_TRUE(line.colour->r == 255 && line.colour->g == 255 && line.colour->b == 255);
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
        for (size_t k = 1; k < p.points.size(); ++k) {
            const auto [x, y] = p.points[k];
            EXPECT_TRUE(x >= -1600 && x <= 1600 && y >= -1600 && y <= 1600) << "sub-path " << i + 1;
        }
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

// Light flakes over a dark slide, lower a second later: every flake falls
// at least 0.9 pixels a frame and none comes round again this soon.
TEST(Snow, PlayerShowsFlakesFalling)
{
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    constexpr long kSlide = 0x101830;
    TempDir dir;
    const std::vector<int> frames{24, 36};
    const std::vector<effect_pixels::Shot> shots =
        effect_pixels::PlayOverSlide(std::make_unique<CSnowEffect>(), kSlide, 40, dir.file("scene.swf"), frames);
    ASSERT_EQ(shots.size(), frames.size());
    int lowest = -1;
    for (size_t i = 0; i < shots.size(); ++i) {
        const effect_pixels::Shot& shot = shots[i];
        if (shot.exitCode == 3) GTEST_SKIP() << shot.output;
        ASSERT_EQ(shot.exitCode, 0) << shot.output;
        auto light = [](long p) { return effect_pixels::FlakePixel(p, kSlide); };
        EXPECT_GT(effect_pixels::Count(shot, light), 3) << "frame " << frames[i];
        const int row = effect_pixels::LowestRow(shot, light);
        EXPECT_GT(row, lowest) << "frame " << frames[i];
        lowest = row;
        EXPECT_GT(effect_pixels::Count(shot, [](long p) { return effect_pixels::Near(p, kSlide, 3); }),
                  long(shot.width) * shot.height / 2);
    }
}
