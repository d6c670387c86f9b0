// Blur In and Blur Out: the fading slide's and the ghosts' alphas, the
// ghosts' depths and matrices, and a scene replayed and played.
#include "transitions/blur_transitions.h"

#include <gtest/gtest.h>

#include "motion_runner.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/object.h"

namespace tavrel_test {
namespace {

std::vector<int> Alphas(const std::vector<TagEvent>& moves)
{
    std::vector<int> out;
    for (const TagEvent& m : moves) out.push_back(m.alphaMult);
    return out;
}

const std::vector<int> kRise24 = {11,  21,  32,  43,  53,  64,  75,  85,  96,  107, 117, 128,
                                  139, 149, 160, 171, 181, 192, 203, 213, 224, 235, 245, 256};
const std::vector<int> kGhosts24 = {11,  21,  32,  43,  53,  64, 75, 85, 96, 107, 117, 128,
                                    139, 128, 117, 107, 96,  85, 75, 64, 53, 43,  32,  21};

TEST(Blur, GhostAlphasRiseAndFall)
{
    struct Case {
        int n;
        std::vector<int> ghosts;
    } const cases[] = {
        {24, kGhosts24},
        {10, {26, 51, 77, 102, 128, 154, 128, 102, 77, 51}},
        {5, {51, 102, 154, 102, 51}},
        {1, {256}},
    };
    CBlurInTransition in;
    CBlurOutTransition out;
    const MotionSlide old{200, 150}, fresh{};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        const MotionRun a = RunMotion(in, c.n, fresh, &old);
        EXPECT_EQ(Alphas(a.MovesAt(3)), c.ghosts);
        EXPECT_EQ(Alphas(a.MovesAt(4)), c.ghosts);
        const MotionRun b = RunMotion(out, c.n, fresh, &old);
        EXPECT_EQ(Alphas(b.MovesAt(4)), c.ghosts);
        EXPECT_EQ(Alphas(b.MovesAt(5)), c.ghosts);
        EXPECT_EQ(b.MovesAt(3).back().alphaMult, 0) << "the old slide's copy ends transparent";
    }
    // Summed step by step the ghosts turn one frame early at n = 36 and end at 0.
    EXPECT_EQ(Alphas(RunMotion(in, 36, fresh, &old).MovesAt(3)).back(), 0);
    // The fading slides: 256 k / 24 rounded half up, and its mirror.
    EXPECT_EQ(Alphas(RunMotion(in, 24, fresh, &old).MovesAt(2)), kRise24);
    std::vector<int> fall(kRise24.rbegin() + 1, kRise24.rend());
    fall.push_back(0);
    EXPECT_EQ(Alphas(RunMotion(out, 24, fresh, &old).MovesAt(3)), fall);
}

TEST(Blur, LayersAndMatrices)
{
    CBlurInTransition in;
    CBlurOutTransition out;
    // The old slide has a placement scale of its own: Blur Out carries it.
    const MotionSlide old{200, 150, 3000, 2000, 0x8000, 0xC000}, fresh{160, 120, 3200, 2400};
    ExpectWords({{&in, 2, true, "P:2 P:3 P:4 M:2/128 M:3/128 M:4/128 F M:2/256 M:3/256 M:4/256 F R:1 R:3 R:4"},
                 {&in, 1, false, "P:1 P:2 P:3 M:1/256 M:2/256 M:3/256 F R:2 R:3"},
                 {&in, 0, true, "P:2 P:3 P:4 R:1 R:3 R:4"},
                 {&out, 2, true, "P:2 R:1 P:3 P:4 P:5 M:3/128 M:4/128 M:5/128 F M:3/0 M:4/256 M:5/256 F R:3 R:4 R:5"},
                 {&out, 2, false, "P:1"},
                 {&out, 0, true, "P:2 R:1 P:3 P:4 P:5 R:3 R:4 R:5"}},
                fresh, old);

    // Blur In: ghosts of the new slide 40 twips either side; moved by translation alone.
    const MotionRun a = RunMotion(in, 3, fresh, &old);
    for (const auto& [depth, x] : {std::pair{3, 3160}, std::pair{4, 3240}}) {
        const TagEvent& placed = a.tags[size_t(depth) - 2];
        EXPECT_EQ(placed.characterId, a.tags[0].characterId);
        EXPECT_TRUE(placed.matrix.hasScale);
        EXPECT_EQ(placed.matrix.translateX, x);
        EXPECT_EQ(placed.matrix.translateY, 2400);
        for (const TagEvent& m : a.MovesAt(uint16_t(depth))) {
            EXPECT_FALSE(m.matrix.hasScale);
            EXPECT_EQ(m.matrix.translateX, x);
            EXPECT_EQ(m.matrix.translateY, 2400);
        }
    }
    EXPECT_FALSE(a.MovesAt(2)[0].hasMatrix) << "the slide itself only fades";

    // Blur Out: ghosts of the old slide with its placement scale, every frame.
    const MotionRun b = RunMotion(out, 3, fresh, &old);
    for (const auto& [depth, x] : {std::pair{4, 2960}, std::pair{5, 3040}}) {
        for (const TagEvent& m : b.MovesAt(uint16_t(depth))) {
            EXPECT_TRUE(m.matrix.hasScale);
            EXPECT_EQ(m.matrix.scaleX, 0x8000);
            EXPECT_EQ(m.matrix.scaleY, 0xC000);
            EXPECT_EQ(m.matrix.translateX, x);
            EXPECT_EQ(m.matrix.translateY, 2000);
        }
    }
}

TEST(Blur, ReplaysInEveryScene)
{
    ExpectKindReplays([] { return std::make_unique<CBlurInTransition>(); }, "Blur In");
    ExpectKindReplays([] { return std::make_unique<CBlurOutTransition>(); }, "Blur Out");
}

TEST(Blur, ScenePlaysTheBlend)
{
    const long kBack = 0x406080, kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    TempDir dir;
    Scene scene;
    auto slide = [](long rgb, int w, int h, std::unique_ptr<CTransition> t) {
        if (t) t->SetDuration(2000);
        return SceneSlide{rgb, w, h, std::move(t), nullptr, 2};
    };
    scene.slides.push_back(slide(kA, 240, 180, nullptr));
    scene.slides.push_back(slide(kB, 160, 120, std::make_unique<CBlurInTransition>()));
    scene.slides.push_back(slide(kC, 200, 150, std::make_unique<CBlurOutTransition>()));
    SceneMovie movie;
    ASSERT_TRUE(WriteScene(scene, dir.file("blur.swf"), &movie));
    ExpectSceneReplays(movie);
    ExpectDumpAccepts(movie.path, {"PlaceObject2", "RemoveObject2"});

    // Half-way (alphas 128): the slide over the one under it, then two ghosts
    // over both. The new slide spans 80..240 px; the ghosts 78..238 and 82..242.
    for (const auto& [mark, under] : {std::pair{movie.marks[1], kA}, std::pair{movie.marks[2], kC}}) {
        ASSERT_EQ(mark.frames, 24);
        ExpectFrame(movie.path, mark.firstFrame + 11,
                    {{{160, 120}, Mix(under, kB, 0.125)},
                     {{81, 120}, Mix(under, kB, 0.25)},
                     {{79, 120}, Mix(under, kB, 0.5)},
                     {{240, 120}, Mix(under, kB, 0.5)},
                     {{244, 120}, under}},
                    6);
    }
    // After each: the new slide alone.
    ExpectFrame(movie.path, movie.marks[1].firstFrame + 24, {{{160, 120}, kB}, {{79, 120}, kBack}});
    ExpectFrame(movie.path, movie.marks[2].firstFrame + 24, {{{160, 120}, kC}, {{65, 120}, kC}, {{55, 120}, kBack}});
}

}  // namespace
}  // namespace tavrel_test
