// Fireworks: what Build writes (ids, bursts, delays), the burst scripts, the
// four drawings, and what a player shows over a slide.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "effect_checks.h"
#include "effect_pixels.h"
#include "effects/fireworks.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/display_tags.h"

using effect_test::SubPath;
using tavrel_test::TempDir;

namespace {

constexpr int kWidth = 320 * 20, kHeight = 240 * 20;

// Ids 21 to 27 from a counter at 20.
enum : uint16_t { kDiscA = 21, kMaskA, kBurstA, kDiscB, kMaskB, kBurstB, kFireworks };

std::vector<int> Codes(const CSwfTagList& tags)
{
    std::vector<int> codes;
    for (const CSwfTag* t : tags) codes.push_back(t->GetTagCode());
    return codes;
}

const CTagPlaceObject2* AsPlace(const CSwfTag* tag)
{
    return dynamic_cast<const CTagPlaceObject2*>(tag);
}

// A burst sprite: mask as a clip layer, the disc, the script and its frame,
// m frames of sinking mask and growing disc, the removals, n empty frames.
// Returns the disc's last scale (16.16), 0 without motion frames.
int32_t ExpectBurst(const CTagDefineSprite& burst, uint16_t mask, uint16_t disc, int32_t firstScale, int n, int m)
{
    const std::vector<const CSwfTag*> tags = effect_test::Timeline(burst);
    EXPECT_EQ(burst.frameCount, 1 + m + n);
    if (tags.size() < size_t(4 + 3 * m + 2)) {
        ADD_FAILURE() << "burst of " << tags.size() << " tags";
        return 0;
    }
    const CTagPlaceObject2* clip = AsPlace(tags[0]);
    EXPECT_TRUE(clip && clip->characterId == mask && clip->depth == 1 && clip->hasClipDepth && clip->clipDepth == 2 &&
                !clip->matrix);
    const CTagPlaceObject2* first = AsPlace(tags[1]);
    EXPECT_TRUE(first && first->characterId == disc && first->depth == 2 && !first->move);
    if (first) {
        EXPECT_EQ(first->matrix ? first->matrix->scaleX : 0, firstScale);
        if (first->matrix) {
            EXPECT_EQ(first->matrix->scaleY, firstScale);
        }
    }
    EXPECT_EQ(tags[2]->GetTagCode(), swf_tag::kDoAction);
    EXPECT_EQ(tags[3]->GetTagCode(), swf_tag::kShowFrame);
    int32_t scale = 0, lastScale = 0;
    for (int k = 1; k <= m; ++k) {
        const CTagPlaceObject2* sink = AsPlace(tags[size_t(3 * k + 1)]);
        const CTagPlaceObject2* grow = AsPlace(tags[size_t(3 * k + 2)]);
        if (!sink || !grow || tags[size_t(3 * k + 3)]->GetTagCode() != swf_tag::kShowFrame) {
            ADD_FAILURE() << "motion frame " << k;
            return 0;
        }
        EXPECT_TRUE(sink->move && sink->depth == 1 && !sink->hasCharacter && sink->matrix && !sink->matrix->hasScale);
        EXPECT_TRUE(grow->move && grow->depth == 2 && !grow->hasCharacter && grow->matrix && grow->matrix->hasScale);
        if (!sink->matrix || !grow->matrix) return 0;
        // Whole steps of 500 / m twips, the mask going down.
        EXPECT_EQ(sink->matrix->translateY, k * (500 / m)) << "frame " << k;
        EXPECT_EQ(sink->matrix->translateX, 0);
        EXPECT_GT(grow->matrix->scaleX, scale) << "the disc grows";
        EXPECT_EQ(grow->matrix->scaleY, grow->matrix->scaleX);
        scale = lastScale = grow->matrix->scaleX;
    }
    const size_t after = size_t(4 + 3 * m);
    for (uint16_t depth : {1, 2}) {
        auto* remove = dynamic_cast<const CTagRemoveObject2*>(tags[after + depth - 1]);
        EXPECT_TRUE(remove && remove->depth == depth);
    }
    std::vector<int> rest;
    for (size_t i = after + 2; i < tags.size(); ++i) rest.push_back(tags[i]->GetTagCode());
    EXPECT_EQ(rest, std::vector<int>(size_t(n), swf_tag::kShowFrame));
    return lastScale;
}

// The fireworks sprite's six placements and the frames between them.
struct Launch {
    std::vector<uint16_t> bursts, depths;
    std::vector<int> alphas, reds, blues;  // -1 without a colour transform
    std::vector<int> gaps;  // frames after each of the first five
    bool stopsAtEnd = false;
};
Launch ReadLaunch(const CTagDefineSprite& sprite)
{
    Launch launch;
    for (const CSwfTag* tag : sprite.tags) {
        if (const CTagPlaceObject2* place = AsPlace(tag)) {
            EXPECT_FALSE(place->matrix) << "burst at depth " << place->depth;
            launch.bursts.push_back(place->characterId);
            launch.depths.push_back(place->depth);
            launch.reds.push_back(place->cxform ? place->cxform->redMult : -1);
            launch.blues.push_back(place->cxform ? place->cxform->blueMult : -1);
            launch.alphas.push_back(place->cxform ? place->cxform->alphaMult : -1);
            if (place->cxform) {
                EXPECT_FALSE(place->cxform->hasAdd);
            }
            launch.gaps.push_back(0);
        } else if (tag->GetTagCode() == swf_tag::kShowFrame && !launch.gaps.empty()) {
            ++launch.gaps.back();
        } else if (auto* script = dynamic_cast<const CTagDoAction*>(tag)) {
            launch.stopsAtEnd = script->actions.size() == 1 && script->actions[0]->GetActionCode() == 0x07 &&
                                launch.bursts.size() == 6;
        }
    }
    if (!launch.gaps.empty()) launch.gaps.pop_back();  // the stop frame
    return launch;
}

}  // namespace

// Ids and order of the definitions, the bursts' frames at each rate and the
// random delays between the six launches. At 1.5 frames a second half a
// second is no whole frame: every burst starts at once.
TEST(Fireworks, DefinitionsFramesAndDelays)
{
    const struct {
        float rate;
        int n, m, h;
    } rates[] = {{12.0f, 12, 18, 6}, {25.5f, 25, 38, 12}, {1.5f, 1, 2, 0}, {1.0f, 1, 1, 0}, {2.0f, 2, 3, 1}};
    TempDir dir;
    for (const auto& r : rates) {
        SCOPED_TRACE("rate " + std::to_string(r.rate));
        std::set<std::vector<int>> gapsSeen;
        for (unsigned seed : {1u, 2u, 3u, 4u}) {
            std::srand(seed);
            CFireworksEffect effect;
            const auto built = effect_test::BuildAlone(effect, dir.file("fw.swf"), kWidth, kHeight, r.rate, 20);
            ASSERT_FALSE(::testing::Test::HasFailure());
            EXPECT_EQ(built->returned, kFireworks);
            EXPECT_EQ(effect.GetSpriteId(), kFireworks);
            EXPECT_EQ(built->idsAfter, kFireworks);
            EXPECT_EQ(built->depthsAfter, 5) << "the movie's depths are not the effect's";
            const CSwfTagList& tags = built->reader.GetTags(nullptr);
            const std::vector<int> codes = Codes(tags);
            EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 8),
                      (std::vector<int>{swf_tag::kDefineShape3, swf_tag::kDefineShape, swf_tag::kDefineSprite,
                                        swf_tag::kDefineShape3, swf_tag::kDefineShape, swf_tag::kDefineSprite,
                                        swf_tag::kDefineSprite, swf_tag::kPlaceObject2}));
            for (uint16_t id = kDiscA; id <= kFireworks; ++id)
                EXPECT_EQ(dynamic_cast<const CSwfDefineTag*>(tags[id - kDiscA])->GetCharacterId(), id);
            const CTagPlaceObject2* placed = AsPlace(tags[7]);
            ASSERT_NE(placed, nullptr);
            EXPECT_TRUE(placed->characterId == kFireworks && placed->depth == 1 && !placed->matrix);

            const int32_t lastA = ExpectBurst(*built->Sprite(kBurstA), kMaskA, kDiscA, 0, r.n, r.m);
            const int32_t lastB = ExpectBurst(*built->Sprite(kBurstB), kMaskB, kDiscB, 3539, r.n, r.m);
            // A from 1x to 31x, B from 0.054x to 1.054x.
            EXPECT_NEAR(lastA, 31 * 65536, 1);
            EXPECT_NEAR(lastB, 1.054 * 65536, 1);

            const Launch launch = ReadLaunch(*built->Sprite(kFireworks));
            EXPECT_EQ(launch.bursts, (std::vector<uint16_t>{kBurstA, kBurstB, kBurstB, kBurstA, kBurstB, kBurstA}));
            EXPECT_EQ(launch.depths, (std::vector<uint16_t>{1, 2, 3, 4, 5, 6}));
            EXPECT_EQ(launch.reds, (std::vector<int>{-1, -1, 143, 97, 256, 154}));
            EXPECT_EQ(launch.blues, (std::vector<int>{-1, -1, 143, 97, 36, 51}));
            EXPECT_EQ(launch.alphas, (std::vector<int>{-1, -1, 256, 256, 256, 256}));
            EXPECT_TRUE(launch.stopsAtEnd);
            ASSERT_EQ(launch.gaps.size(), 5u);
            int frames = 1;
            for (size_t i = 0; i < 5; ++i) {
                // Short gaps of 0 .. h - 1 frames, long ones of h .. 2h - 1.
                const int low = i % 2 ? r.h : 0, high = r.h ? low + r.h - 1 : 0;
                EXPECT_GE(launch.gaps[i], low) << "gap " << i + 1;
                EXPECT_LE(launch.gaps[i], high) << "gap " << i + 1;
                frames += launch.gaps[i];
            }
            EXPECT_EQ(built->Sprite(kFireworks)->frameCount, frames);
            gapsSeen.insert(launch.gaps);
        }
        // The gaps come from rand(): seeds tell them apart once there is a choice.
        EXPECT_EQ(gapsSeen.size() > 1, r.h > 1);
    }
}

// Frame 1 of each burst, on its own timeline: x over the width, y over the
// height (A) or at half of it (B), in whole pixels truncated, and a scale.
TEST(Fireworks, BurstScripts)
{
    const struct {
        int width, height;  // twips
        const char *w, *h, *half;
    } sizes[] = {{kWidth, kHeight, "320", "240", "120"},
                 {6419, 4839, "320", "241", "120"},
                 {12800, 9600, "640", "480", "240"}};
    TempDir dir;
    for (const auto& size : sizes) {
        CFireworksEffect effect;
        const auto built = effect_test::BuildAlone(effect, dir.file("fw.swf"), size.width, size.height, 12.0f, 20);
        ASSERT_FALSE(::testing::Test::HasFailure());
        const struct {
            uint16_t burst;
            size_t count;
            std::string y;
        } bursts[] = {{kBurstA, 28, std::string("rand(") + size.h + ")"}, {kBurstB, 27, size.half}};
        for (const auto& b : bursts) {
            const std::vector<const CTagDoAction*> scripts = effect_test::Scripts(*built->Sprite(b.burst));
            ASSERT_EQ(scripts.size(), 1u);
            const std::vector<std::string> tokens = effect_test::Tokens(*scripts[0]);
            ASSERT_EQ(tokens.size(), b.count) << b.burst;
            EXPECT_EQ(tokens.front(), "target:");
            EXPECT_EQ(tokens.back(), "target:");
            EXPECT_EQ(effect_test::Effects(*scripts[0]),
                      (std::vector<std::string>{".0=rand(" + std::string(size.w) + ")", ".1=" + b.y,
                                                "fw_scale=(rand(90)+10)", ".2=$fw_scale", ".3=$fw_scale"}));
        }
    }
}

namespace {

// Every sub-path of a filled drawing closes on its start and turns the way
// that puts the fill it sets inside; every point lies within the bounds.
void ExpectClosedInside(const CTagDefineShape& tag, const std::vector<SubPath>& paths, const char* what)
{
    const CSwfRect& b = *tag.bounds;
    bool fillRight = false;
    for (size_t i = 0; i < paths.size(); ++i) {
        const SubPath& p = paths[i];
        if (p.flags & swf_shape::kFillStyle1) fillRight = p.fill1 != 0;
        if (p.flags & swf_shape::kFillStyle0 && p.fill0) fillRight = false;
        EXPECT_EQ(p.endX, p.x) << what << " sub-path " << i + 1;
        EXPECT_EQ(p.endY, p.y) << what << " sub-path " << i + 1;
        EXPECT_EQ(p.Area() > 0, fillRight) << what << " sub-path " << i + 1 << " area " << p.Area();
        for (const auto& [x, y] : p.points) {
            EXPECT_TRUE(x >= b.xmin && x <= b.xmax && y >= b.ymin && y <= b.ymax)
                << what << " sub-path " << i + 1 << " point " << x << "," << y;
        }
    }
}

struct Given {
    int32_t x, y;
    int straight, curved;
};

void ExpectStarts(const std::vector<SubPath>& paths, const std::vector<Given>& given, const char* what)
{
    ASSERT_EQ(paths.size(), given.size()) << what;
    for (size_t i = 0; i < given.size(); ++i) {
        EXPECT_EQ(paths[i].x, given[i].x) << what << " sub-path " << i + 1;
        EXPECT_EQ(paths[i].y, given[i].y) << what << " sub-path " << i + 1;
        EXPECT_EQ((paths[i].Count('g') + paths[i].Count('h') + paths[i].Count('v')), given[i].straight) << what << " sub-path " << i + 1;
        EXPECT_EQ(paths[i].Count('c'), given[i].curved) << what << " sub-path " << i + 1;
    }
}

// Sub-paths that set both fill fields themselves (flags 7), by number.
void ExpectFillSwitches(const std::vector<SubPath>& paths, const std::vector<std::array<int, 3>>& switches,
                        uint32_t firstFlags, const char* what)
{
    EXPECT_EQ(paths[0].flags, firstFlags) << what;
    for (size_t i = 1; i < paths.size(); ++i) {
        uint32_t flags = swf_shape::kMoveTo;
        for (const auto& [number, fill0, fill1] : switches)
            if (number == int(i) + 1) {
                flags = 7;
                EXPECT_EQ(paths[i].fill0, fill0) << what << " sub-path " << i + 1;
                EXPECT_EQ(paths[i].fill1, fill1) << what << " sub-path " << i + 1;
            }
        EXPECT_EQ(paths[i].flags, flags) << what << " sub-path " << i + 1;
    }
}

}  // namespace

TEST(Fireworks, Drawings)
{
    TempDir dir;
    CFireworksEffect effect;
    const auto built = effect_test::BuildAlone(effect, dir.file("fw.swf"), kWidth, kHeight, 12.0f, 20);
    ASSERT_FALSE(::testing::Test::HasFailure());

    // The discs: one outline each, a radial gradient filling it.
    const struct {
        uint16_t id;
        int32_t radius, startX, startY, gradientScale;
        int lines, horizontal, curves;
        std::vector<int> ratios, alphas;
    } discs[] = {{kDiscA, 306, 189, -241, 1245, 4, 1, 9, {62, 200, 255}, {0, 255, 255}},
                 {kDiscB, 7926, 5595, -5620, 32047, 2, 0, 12, {67, 222, 255}, {0, 255, 255}}};
    for (const auto& d : discs) {
        const CTagDefineShape* disc = built->Shape(d.id);
        ASSERT_TRUE(disc && disc->GetTagCode() == swf_tag::kDefineShape3 && disc->shape && disc->bounds);
        EXPECT_TRUE(disc->bounds->xmin == -d.radius && disc->bounds->xmax == d.radius &&
                    disc->bounds->ymin == -d.radius && disc->bounds->ymax == d.radius);
        const auto& fills = disc->shape->fillStyles;
        ASSERT_TRUE(fills && fills->GetCount() == 1);
        EXPECT_TRUE(!disc->shape->lineStyles || !disc->shape->lineStyles->GetCount());
        const CFillStyle& fill = *fills->styles[0];
        ASSERT_TRUE(fill.type == swf_fill::kRadialGradient && fill.gradient && fill.matrix);
        EXPECT_EQ(fill.matrix->scaleX, d.gradientScale);
        EXPECT_EQ(fill.matrix->scaleY, d.gradientScale);
        std::vector<int> ratios, alphas;
        for (const auto& stop : fill.gradient->records) {
            ratios.push_back(stop->ratio);
            auto* rgba = dynamic_cast<const CSwfRGBA*>(stop->colour.get());
            alphas.push_back(rgba ? rgba->a : -1);
        }
        EXPECT_EQ(ratios, d.ratios);
        EXPECT_EQ(alphas, d.alphas);
        EXPECT_EQ(disc->shape->numFillBits, 15);
        const std::vector<SubPath> paths = effect_test::SubPaths(*disc->shape);
        ASSERT_EQ(paths.size(), 1u);
        EXPECT_TRUE(paths[0].x == d.startX && paths[0].y == d.startY && paths[0].fill1 == 1);
        EXPECT_TRUE(paths[0].Count('g') == d.lines && paths[0].Count('h') == d.horizontal &&
                    paths[0].Count('c') == d.curves);
        ExpectClosedInside(*disc, paths, "disc");
    }

    // Mask A: twenty petals; the thirteenth starts one twip right of the
    // nominal bounds, which grow to take it in.
    const CTagDefineShape* maskA = built->Shape(kMaskA);
    ASSERT_TRUE(maskA && maskA->GetTagCode() == swf_tag::kDefineShape && maskA->shape && maskA->bounds);
    EXPECT_GE(maskA->bounds->xmax, 3153);
    EXPECT_TRUE(maskA->bounds->xmin == -3152 && maskA->bounds->ymin == -3576 && maskA->bounds->ymax == 3576);
    const std::vector<SubPath> petals = effect_test::SubPaths(*maskA->shape);
    ExpectStarts(petals,
                 {{347, -835, 1, 2},   {289, -321, 1, 2},   {76, -300, 1, 2},     {409, -3406, 0, 2},
                  {2328, -2304, 0, 2}, {1742, -3002, 0, 2}, {3032, -390, 0, 2},   {-1649, -3576, 0, 4},
                  {-2320, -2273, 0, 4}, {-3152, -801, 0, 2}, {-2667, -1603, 0, 2}, {-1015, -2468, 0, 2},
                  {3153, 1750, 0, 2},  {694, 3107, 0, 2},   {1819, 1665, 0, 2},   {-2573, 1140, 0, 2},
                  {-3067, 247, 0, 2},  {-857, 1689, 0, 2},  {-2116, 1813, 0, 2},  {2892, 1196, 0, 2}},
                 "mask A");
    ExpectFillSwitches(petals, {{4, 0, 1}, {10, 1, 0}, {15, 0, 1}, {16, 1, 0}, {20, 0, 1}}, 3, "mask A");
    EXPECT_EQ(petals[0].fill0, 1);
    int horizontal = 0;
    for (const SubPath& p : petals) horizontal += p.Count('h');
    EXPECT_EQ(horizontal, 1);
    ASSERT_GE(petals[0].points.size(), 6u);
    EXPECT_EQ(petals[0].points[2], (std::pair<int32_t, int32_t>{2945, -1633})) << "the first petal's tip";
    ExpectClosedInside(*maskA, petals, "mask A");

    // Mask B: thirty-one streaks of short straight edges.
    const CTagDefineShape* maskB = built->Shape(kMaskB);
    ASSERT_TRUE(maskB && maskB->GetTagCode() == swf_tag::kDefineShape && maskB->shape && maskB->bounds);
    EXPECT_TRUE(maskB->bounds->xmin == -3528 && maskB->bounds->xmax == 3528 && maskB->bounds->ymin == -3882 &&
                maskB->bounds->ymax == 3882);
    const std::vector<SubPath> streaks = effect_test::SubPaths(*maskB->shape);
    ExpectStarts(streaks,
                 {{1762, -3822, 39, 0}, {1277, -2372, 43, 0}, {677, -913, 44, 0},   {1297, -1464, 38, 2},
                  {2475, -263, 36, 0},  {2801, -24, 8, 0},    {1506, -42, 39, 0},   {1634, 913, 28, 0},
                  {763, -40, 20, 0},    {-54, 42, 12, 0},     {348, -82, 12, 0},    {4, 1075, 32, 0},
                  {635, 435, 28, 0},    {1446, 1335, 39, 1},  {1886, 2359, 2, 1},   {-458, -3856, 24, 0},
                  {-1730, -3340, 27, 0}, {-2092, -2583, 35, 5}, {-2343, -1986, 28, 0}, {-2118, -873, 27, 1},
                  {-226, -2252, 20, 0}, {-436, -1696, 11, 0}, {-805, -1319, 12, 0}, {-619, -883, 8, 0},
                  {-429, -351, 44, 0},  {-923, -676, 36, 0},  {-761, -492, 40, 0},  {-1376, 348, 47, 1},
                  {-367, 288, 44, 0},   {-2198, -322, 8, 0},  {-909, 1554, 41, 3}},
                 "mask B");
    ExpectFillSwitches(streaks, {{16, 1, 0}, {18, 0, 1}, {19, 1, 0}, {21, 0, 1}}, 5, "mask B");
    EXPECT_EQ(streaks[0].fill1, 1);
    int lines = 0, vertical = 0;
    horizontal = 0;
    for (const SubPath& p : streaks) lines += p.Count('g'), horizontal += p.Count('h'), vertical += p.Count('v');
    EXPECT_EQ(lines, 856);
    EXPECT_EQ(horizontal, 9);
    EXPECT_EQ(vertical, 7);
    const std::vector<std::pair<int32_t, int32_t>> begins{{1762, -3822}, {1868, -3834}, {1978, -3876}, {2195, -3882},
                                                          {1868, -3834}, {1767, -3796}, {1627, -3762}};
    EXPECT_EQ(std::vector(streaks[0].points.begin(), streaks[0].points.begin() + 7), begins);
    ExpectClosedInside(*maskB, streaks, "mask B");
}

TEST(Fireworks, CheckersAcceptTheDefinitions)
{
    TempDir dir;
    CFireworksEffect effect;
    const auto built = effect_test::BuildAlone(effect, dir.file("fw.swf"), kWidth, kHeight, 12.0f, 20);
    ASSERT_FALSE(::testing::Test::HasFailure());
    tavrel_test::ExpectDumpAccepts(built->path, {"DefineShape3", "DefineShape", "DefineSprite", "DoAction"});
}

// Over a dark slide the bursts light pixels in their own colours while the
// slide shows round them; the display list replays clean.
TEST(Fireworks, PlayerShowsBurstsOverTheSlide)
{
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    constexpr long kSlide = 0x183018;
    TempDir dir;
    // Burst A is under way from the first frame; by the tenth B is too.
    const std::vector<int> frames{4, 10};
    const std::vector<effect_pixels::Shot> shots =
        effect_pixels::PlayOverSlide(std::make_unique<CFireworksEffect>(), kSlide, 36, dir.file("scene.swf"), frames);
    ASSERT_EQ(shots.size(), frames.size());
    for (size_t i = 0; i < shots.size(); ++i) {
        const effect_pixels::Shot& shot = shots[i];
        if (shot.exitCode == 3) GTEST_SKIP() << shot.output;
        ASSERT_EQ(shot.exitCode, 0) << shot.output;
        EXPECT_GT(effect_pixels::Count(shot, [](long p) { return effect_pixels::BurstPixel(p, kSlide); }), 20)
            << "frame " << frames[i];
        EXPECT_GT(effect_pixels::Count(shot, [](long p) { return effect_pixels::Near(p, kSlide, 3); }),
                  long(shot.width) * shot.height / 3)
            << "frame " << frames[i];
    }
}
