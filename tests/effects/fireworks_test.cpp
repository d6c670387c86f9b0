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
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/display_tags.h"

using effect_test::SubPath;
using tavrel_test::TempDir;

namespace {

constexpr int kWidth = 320 * 20, kHeight = 240 * 20;

// Ids 21 to 27 from a counter at 20.
enum : uint16_t { kDiscA = 21, kMaskA, kBurstA, kDiscB, kMaskB, kBurstB, kFireworks };

// A burst: mask as a clip layer, the disc, the script's frame, m frames of
// the mask sinking in whole steps of 500 / m twips and the disc growing to
// lastScale, the removals, n empty frames.
void ExpectBurst(const CTagDefineSprite& burst, const std::vector<std::string>& start, int n, int m,
                 const std::string& lastScale)
{
    const std::vector<std::string> t = effect_test::Describe(burst);
    EXPECT_EQ(burst.frameCount, 1 + m + n);
    ASSERT_EQ(t.size(), size_t(4 + 3 * m + 2 + n));
    EXPECT_EQ(std::vector(t.begin(), t.begin() + 4), start);
    int32_t grown = 0;
    for (int k = 1; k <= m; ++k) {
        EXPECT_EQ(t[size_t(3 * k + 1)], "move @1 m t0," + std::to_string(k * (500 / m)));
        const std::string& grow = t[size_t(3 * k + 2)];
        ASSERT_EQ(grow.rfind("move @2 m s", 0), 0u) << grow;
        EXPECT_GT(std::stoi(grow.substr(11)), grown) << "the disc grows: " << grow;
        grown = std::stoi(grow.substr(11));
        EXPECT_EQ(t[size_t(3 * k + 3)], "frame");
    }
    if (m) {
        EXPECT_EQ(t[size_t(3 * m + 2)], "move @2 m s" + lastScale + "," + lastScale);
    }
    std::vector<std::string> end{"remove @1", "remove @2"};
    end.resize(size_t(2 + n), "frame");
    EXPECT_EQ(std::vector(t.begin() + 4 + 3 * m, t.end()), end);
}

}  // namespace

// Ids and order of the definitions, the bursts' frames at each rate and the
// random gaps between the six launches. Below two frames a second half a
// second is no whole frame: every burst starts at once.
TEST(Fireworks, DefinitionsFramesAndGaps)
{
    const struct {
        float rate;
        int n, m, h;
        const char *lastA, *lastB;  // the discs' last scales, 31 and 1.054 in 16.16
    } rates[] = {{12.0f, 12, 18, 6, "2031616", "69075"},
                 {25.5f, 25, 38, 12, "2031616", "69075"},
                 {1.5f, 1, 2, 0, "2031616", "69075"},
                 {1.0f, 1, 1, 0, "2031616", "69075"},
                 {2.0f, 2, 3, 1, "2031616", "69075"}};
    TempDir dir;
    for (const auto& r : rates) {
        SCOPED_TRACE("rate " + std::to_string(r.rate));
        std::set<std::vector<int>> gapsSeen;
        for (unsigned seed : {1u, 2u, 3u, 4u}) {
            std::srand(seed);
            CFireworksEffect effect;
            const auto built = effect_test::BuildAlone(effect, dir.file("fw.swf"), kWidth, kHeight, r.rate, 20);
            ASSERT_FALSE(::testing::Test::HasFailure());
            EXPECT_TRUE(built->returned == kFireworks && effect.GetSpriteId() == kFireworks);
            EXPECT_EQ(built->idsAfter, kFireworks);
            EXPECT_EQ(built->depthsAfter, 5) << "the movie's depths are not the effect's";
            EXPECT_EQ(built->written, (std::vector<uint16_t>{21, 22, 23, 24, 25, 26, 27}));
            const CSwfTagList& tags = built->reader.GetTags(nullptr);
            const int codes[] = {swf_tag::kDefineShape3, swf_tag::kDefineShape, swf_tag::kDefineSprite};
            for (size_t i = 0; i < 6; ++i) EXPECT_EQ(tags[i]->GetTagCode(), codes[i % 3]) << i;
            auto* placed = dynamic_cast<const CTagPlaceObject2*>(tags[7]);
            ASSERT_TRUE(placed && placed->characterId == kFireworks);
            EXPECT_FALSE(placed->matrix) << "placed without a matrix";

            ExpectBurst(*built->Sprite(kBurstA), {"place 22 @1 clip 2", "place 21 @2", "script", "frame"}, r.n, r.m,
                        r.lastA);
            ExpectBurst(*built->Sprite(kBurstB), {"place 25 @1 clip 2", "place 24 @2 m s3539,3539", "script", "frame"},
                        r.n, r.m, r.lastB);

            // Six launches at depths 1 to 6, four tinted, and a stop; between
            // them short gaps of 0 .. h - 1 frames and long ones of h .. 2h - 1.
            std::vector<std::string> launches;
            std::vector<int> gaps;
            for (const std::string& t : effect_test::Describe(*built->Sprite(kFireworks))) {
                if (t == "frame" && !gaps.empty()) ++gaps.back();
                if (t == "frame") continue;
                launches.push_back(t);
                gaps.push_back(0);
            }
            EXPECT_EQ(launches, (std::vector<std::string>{"place 23 @1", "place 26 @2",
                                                          "place 26 @3 tint 143,143,143,256",
                                                          "place 23 @4 tint 97,97,97,256",
                                                          "place 26 @5 tint 256,256,36,256",
                                                          "place 23 @6 tint 154,256,51,256", "script"}));
            ASSERT_EQ(gaps.size(), 7u);
            for (size_t i = 0; i < 5; ++i) {
                const int low = i % 2 ? r.h : 0;
                EXPECT_TRUE(gaps[i] >= low && gaps[i] <= std::max(low, low + r.h - 1)) << "gap " << i + 1;
            }
            gaps.resize(5);
            gapsSeen.insert(gaps);
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
            EXPECT_TRUE(tokens.front() == "target:" && tokens.back() == "target:");
            EXPECT_EQ(effect_test::Effects(*scripts[0]),
                      (std::vector<std::string>{".0=rand(" + std::string(size.w) + ")", ".1=" + b.y,
                                                "fw_scale=(rand(90)+10)", ".2=$fw_scale", ".3=$fw_scale"}));
        }
    }
}

namespace {

struct Given {
    int32_t x, y;
    int straight, curved;
};

// Every sub-path has its given start and edge counts and closes on its
// start, turning the way that puts the fill inside; the sub-paths numbered
// in switches set both fill fields (flags 7), the others only move. Every
// point, control points too, lies within the bounds.
void ExpectSparks(const CTagDefineShape& tag, const std::vector<Given>& given,
                  const std::vector<std::array<int, 3>>& switches, uint32_t firstFlags)
{
    const std::vector<SubPath> paths = effect_test::SubPaths(*tag.shape);
    ASSERT_EQ(paths.size(), given.size());
    const CSwfRect& b = *tag.bounds;
    bool fillRight = false;
    for (size_t i = 0; i < paths.size(); ++i) {
        const SubPath& p = paths[i];
        SCOPED_TRACE("sub-path " + std::to_string(i + 1));
        EXPECT_TRUE(p.x == given[i].x && p.y == given[i].y && p.Closed());
        EXPECT_EQ(int(p.kinds.size()) - p.Count('c'), given[i].straight);
        EXPECT_EQ(p.Count('c'), given[i].curved);
        uint32_t flags = i ? uint32_t(swf_shape::kMoveTo) : firstFlags;
        for (const auto& [number, fill0, fill1] : switches)
            if (number == int(i) + 1) {
                flags = 7;
                EXPECT_TRUE(p.fill0 == fill0 && p.fill1 == fill1);
            }
        EXPECT_EQ(p.flags, flags);
        if (p.flags & swf_shape::kFillStyle1) fillRight = p.fill1 != 0;
        if (p.flags & swf_shape::kFillStyle0 && p.fill0) fillRight = false;
        EXPECT_EQ(p.Area() > 0, fillRight) << "area " << p.Area();
        for (const auto& [x, y] : p.points)
            EXPECT_TRUE(x >= b.xmin && x <= b.xmax && y >= b.ymin && y <= b.ymax) << x << "," << y;
    }
}

}  // namespace

// The discs, the two masks of sparks, and the checkers' view of them all.
TEST(Fireworks, Drawings)
{
    TempDir dir;
    CFireworksEffect effect;
    const auto built = effect_test::BuildAlone(effect, dir.file("fw.swf"), kWidth, kHeight, 12.0f, 20);
    ASSERT_FALSE(::testing::Test::HasFailure());
    tavrel_test::ExpectDumpAccepts(built->path, {"DefineShape3", "DefineShape", "DefineSprite", "DoAction"});

    // One outline each, filled on its right with a radial gradient that
    // is clear at the centre; index widths of 15 bits.
    const struct {
        uint16_t id;
        int32_t radius, gradientScale;
        Given start;
        std::vector<int> ratios;
    } discs[] = {{kDiscA, 306, 1245, {189, -241, 5, 9}, {62, 200, 255}},
                 {kDiscB, 7926, 32047, {5595, -5620, 2, 12}, {67, 222, 255}}};
    for (const auto& d : discs) {
        const CTagDefineShape* disc = built->Shape(d.id);
        ASSERT_TRUE(disc && disc->GetTagCode() == swf_tag::kDefineShape3 && disc->shape && disc->bounds);
        const CSwfRect& b = *disc->bounds;
        EXPECT_TRUE(b.xmin == -d.radius && b.xmax == d.radius && b.ymin == -d.radius && b.ymax == d.radius);
        EXPECT_TRUE(disc->shape->numFillBits == 15 && disc->shape->numLineBits == 0);
        const auto& fills = disc->shape->fillStyles;
        ASSERT_TRUE(fills && fills->GetCount() == 1);
        const CFillStyle& fill = *fills->styles[0];
        ASSERT_TRUE(fill.type == swf_fill::kRadialGradient && fill.gradient && fill.matrix);
        EXPECT_TRUE(fill.matrix->scaleX == d.gradientScale && fill.matrix->scaleY == d.gradientScale);
        std::vector<int> ratios, alphas;
        for (const auto& stop : fill.gradient->records) {
            ratios.push_back(stop->ratio);
            auto* rgba = dynamic_cast<const CSwfRGBA*>(stop->colour.get());
            alphas.push_back(rgba ? rgba->a : -1);
        }
        EXPECT_EQ(ratios, d.ratios);
        EXPECT_EQ(alphas, (std::vector<int>{0, 255, 255}));
        ExpectSparks(*disc, {d.start}, {}, swf_shape::kMoveTo | swf_shape::kFillStyle1);
    }
    EXPECT_EQ(effect_test::SubPaths(*built->Shape(kDiscA)->shape)[0].kinds, "ggcccgcghccccc") << "one level edge";

    // Mask A: twenty petals. The thirteenth starts one twip right of the
    // nominal ±3152, and the bounds grow to take it in.
    const CTagDefineShape* maskA = built->Shape(kMaskA);
    ASSERT_TRUE(maskA && maskA->GetTagCode() == swf_tag::kDefineShape && maskA->shape && maskA->bounds);
    const CSwfRect& a = *maskA->bounds;
    EXPECT_TRUE(a.xmin == -3152 && a.xmax >= 3153 && a.ymin == -3576 && a.ymax == 3576);
    EXPECT_TRUE(maskA->shape->numFillBits == 15 && maskA->shape->numLineBits == 0);
    ExpectSparks(*maskA,
                 {{347, -835, 1, 2},    {289, -321, 1, 2},    {76, -300, 1, 2},     {409, -3406, 0, 2},
                  {2328, -2304, 0, 2},  {1742, -3002, 0, 2},  {3032, -390, 0, 2},   {-1649, -3576, 0, 4},
                  {-2320, -2273, 0, 4}, {-3152, -801, 0, 2},  {-2667, -1603, 0, 2}, {-1015, -2468, 0, 2},
                  {3153, 1750, 0, 2},   {694, 3107, 0, 2},    {1819, 1665, 0, 2},   {-2573, 1140, 0, 2},
                  {-3067, 247, 0, 2},   {-857, 1689, 0, 2},   {-2116, 1813, 0, 2},  {2892, 1196, 0, 2}},
                 {{4, 0, 1}, {10, 1, 0}, {15, 0, 1}, {16, 1, 0}, {20, 0, 1}}, swf_shape::kMoveTo | swf_shape::kFillStyle0);
    const std::vector<SubPath> petals = effect_test::SubPaths(*maskA->shape);
    EXPECT_EQ(petals[0].kinds + petals[1].kinds + petals[2].kinds, "ccggcchcc") << "two general edges, one level";
    EXPECT_EQ(petals[0].points[2], (std::pair<int32_t, int32_t>{2945, -1633})) << "the first petal's tip";

    // Mask B: thirty-one streaks of short straight edges.
    const CTagDefineShape* maskB = built->Shape(kMaskB);
    ASSERT_TRUE(maskB && maskB->GetTagCode() == swf_tag::kDefineShape && maskB->shape && maskB->bounds);
    const CSwfRect& m = *maskB->bounds;
    EXPECT_TRUE(m.xmin == -3528 && m.xmax == 3528 && m.ymin == -3882 && m.ymax == 3882);
    ExpectSparks(*maskB,
                 {{1762, -3822, 39, 0},  {1277, -2372, 43, 0},  {677, -913, 44, 0},    {1297, -1464, 38, 2},
                  {2475, -263, 36, 0},   {2801, -24, 8, 0},     {1506, -42, 39, 0},    {1634, 913, 28, 0},
                  {763, -40, 20, 0},     {-54, 42, 12, 0},      {348, -82, 12, 0},     {4, 1075, 32, 0},
                  {635, 435, 28, 0},     {1446, 1335, 39, 1},   {1886, 2359, 2, 1},    {-458, -3856, 24, 0},
                  {-1730, -3340, 27, 0}, {-2092, -2583, 35, 5}, {-2343, -1986, 28, 0}, {-2118, -873, 27, 1},
                  {-226, -2252, 20, 0},  {-436, -1696, 11, 0},  {-805, -1319, 12, 0},  {-619, -883, 8, 0},
                  {-429, -351, 44, 0},   {-923, -676, 36, 0},   {-761, -492, 40, 0},   {-1376, 348, 47, 1},
                  {-367, 288, 44, 0},    {-2198, -322, 8, 0},   {-909, 1554, 41, 3}},
                 {{16, 1, 0}, {18, 0, 1}, {19, 1, 0}, {21, 0, 1}}, swf_shape::kMoveTo | swf_shape::kFillStyle1);
    const std::vector<SubPath> streaks = effect_test::SubPaths(*maskB->shape);
    std::string kinds;
    for (const SubPath& p : streaks) kinds += p.kinds;
    EXPECT_TRUE(std::count(kinds.begin(), kinds.end(), 'g') == 856 && std::count(kinds.begin(), kinds.end(), 'h') == 9 &&
                std::count(kinds.begin(), kinds.end(), 'v') == 7);
    EXPECT_EQ(std::vector(streaks[0].points.begin(), streaks[0].points.begin() + 7),
              (std::vector<std::pair<int32_t, int32_t>>{{1762, -3822}, {1868, -3834}, {1978, -3876}, {2195, -3882},
                                                        {1868, -3834}, {1767, -3796}, {1627, -3762}}));
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
    auto burst = [](long p) { return effect_pixels::BurstPixel(p, kSlide); };
    const std::vector<effect_pixels::Shot> shots =
        effect_pixels::PlayOverSlide(std::make_unique<CFireworksEffect>(), kSlide, 36, dir.file("scene.swf"), frames,
                                     [&](const effect_pixels::Shot& s) { return effect_pixels::Count(s, burst) > 10; });
    ASSERT_EQ(shots.size(), frames.size());
    for (size_t i = 0; i < shots.size(); ++i) {
        const effect_pixels::Shot& shot = shots[i];
        if (shot.exitCode == 3) GTEST_SKIP() << shot.output;
        ASSERT_EQ(shot.exitCode, 0) << shot.output;
        EXPECT_GT(effect_pixels::Count(shot, burst), 10) << "frame " << frames[i];
        EXPECT_GT(effect_pixels::Count(shot, [](long p) { return effect_pixels::Near(p, kSlide, 3); }),
                  long(shot.width) * shot.height / 5)
            << "frame " << frames[i];
    }
}
