// Circular Sweep On: its wedge and rectangles, the turning frames and the
// quarters uncovered, replayed and played.
#include "transitions/circular_sweep_transition.h"

#include <gtest/gtest.h>

#include "masked_run.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/object.h"

namespace tavrel_test {
namespace {

TEST(CircularSweep, WedgeRadiusIsHalfTheDiagonal)
{
    const struct {
        int64_t w, h;
        int32_t r;
    } cases[] = {{6400, 4800, 4000}, {40000, 40000, 28284}, {200, 200, 141}, {0, 0, 0}, {6000, 0, 3000}};
    for (const auto& c : cases) EXPECT_EQ(CCircularSweepOnTransition::WedgeRadius(c.w, c.h), c.r) << c.w << "x" << c.h;
}

// Previous slide at depth 1, the new one at 2: pairs A (3, 4), B (5, 6),
// group C (7, 8, 9).
TEST(CircularSweep, GoldenSetUpFramesAndFinish)
{
    CCircularSweepOnTransition t;
    const MaskedRun run = RunMasked(t);
    ASSERT_EQ(run.Frames(), 24);
    EXPECT_EQ(TagWords(run.Frame(1)).substr(0, 44), "S P:3/4 P:4 P:5/6 P:6 P:7/9 S P:8/9 P:9 M:8");
    const std::vector<WrittenTag> setUp = run.Frame(1);
    // The rectangle: the slide's size centred on its origin; the wedge a
    // quarter disc of radius 4000 from twelve to three o'clock.
    EXPECT_EQ(
        std::make_tuple(setUp[0].outline.xmin, setUp[0].outline.ymin, setUp[0].outline.xmax, setUp[0].outline.ymax),
        std::make_tuple(-3200, -2400, 3200, 2400));
    const Outline& wedge = setUp[6].outline;
    EXPECT_EQ(std::make_tuple(wedge.xmin, wedge.ymin, wedge.xmax, wedge.ymax), std::make_tuple(0, -4000, 4000, 0));
    EXPECT_EQ(std::make_tuple(wedge.startX, wedge.startY, wedge.endX, wedge.endY, wedge.edges, wedge.curves),
              std::make_tuple(0, 0, 0, 0, 2, 1));
    // Masks: A above the slide, B below it, C over its left half; centre (3200, 2400).
    const std::pair<int32_t, int32_t> at[] = {{0, -2400}, {3200, 2400}, {6400, 7200}, {3200, 2400},
                                              {0, 2400},  {3200, 2400}, {3200, 2400}};
    const size_t placed[] = {1, 2, 3, 4, 5, 7, 8};
    for (size_t i = 0; i < std::size(placed); ++i) {
        const WrittenTag& p = setUp[placed[i]];
        EXPECT_EQ(std::make_pair(p.x, p.y), at[i]) << "placement " << i;
        EXPECT_FALSE(p.hasScale || p.hasRotate || p.hasCxform) << "placement " << i;
    }
    EXPECT_EQ(setUp[8].characterId, run.newId);

    // The wedge turns 15 degrees a frame, counter-clockwise on screen.
    const std::vector<WrittenTag> wedgeMoves = run.MovesAt(8);
    ASSERT_EQ(wedgeMoves.size(), 24u);
    const auto terms = [](const WrittenTag& m) { return std::make_tuple(m.rotate0, m.rotate1, m.scaleX, m.scaleY); };
    EXPECT_EQ(terms(wedgeMoves[0]), std::make_tuple(-16961, 16962, 63303, 63303));
    EXPECT_EQ(terms(wedgeMoves[5]), std::make_tuple(-65535, 65536, 0, 0));  // -90: trunc(-65535.5)
    EXPECT_EQ(terms(wedgeMoves[23]), std::make_tuple(0, 0, 65536, 65536));
    for (const WrittenTag& m : wedgeMoves) EXPECT_EQ(std::make_pair(m.x, m.y), std::make_pair(3200, 2400));

    // Between the quarters, ahead of the next frame's turn: A to the
    // top-left quadrant, then the left half with C to the right half, then
    // B to the bottom-right quadrant.
    const auto moved = [&](int frame) {
        std::vector<std::tuple<int, int32_t, int32_t>> out;
        for (const WrittenTag& m : run.Frame(frame))
            if (m.depth != 8) out.emplace_back(m.depth, m.x, m.y);
        return out;
    };
    using Moves = std::vector<std::tuple<int, int32_t, int32_t>>;
    EXPECT_EQ(moved(7), (Moves{{3, 0, 0}}));
    EXPECT_EQ(moved(13), (Moves{{3, 0, 2400}, {7, 6400, 2400}}));
    EXPECT_EQ(moved(19), (Moves{{5, 6400, 4800}}));
    EXPECT_EQ(TagWords(run.Frame(25)), "R:3 R:4 R:5 R:6 R:7 R:8 R:9 P:2 R:1");
}

TEST(CircularSweep, WholeQuartersOnlyAndShortRuns)
{
    CCircularSweepOnTransition t;
    const struct {
        uint32_t ms;
        bool previous;
        int frames;
        std::string finish;
    } cases[] = {
        {2083, true, 24, "R:3 R:4 R:5 R:6 R:7 R:8 R:9 P:2 R:1"},  // n = 25
        {250, true, 0, ""},                                       // n = 3: no frame, all in one
        {2000, false, 24, "R:2 R:3 R:4 R:5 R:6 R:7 R:8 P:1"},
    };
    for (const auto& c : cases) {
        t.SetDuration(c.ms);
        MaskedSetup setup;
        setup.previous = c.previous;
        const MaskedRun run = RunMasked(t, setup);
        EXPECT_EQ(run.Frames(), c.frames) << c.ms;
        if (c.frames) {
            EXPECT_EQ(TagWords(run.Frame(c.frames + 1)), c.finish) << c.ms;
        }
    }
    t.SetDuration(250);
    const MaskedRun none = RunMasked(t);
    EXPECT_EQ(TagWords(none.tags),
              "S P:3/4 P:4 P:5/6 P:6 P:7/9 S P:8/9 P:9 M:3 M:3 M:7 M:5 R:3 R:4 R:5 R:6 R:7 R:8 R:9 P:2 R:1");
}

class SweepScene : public ::testing::Test {
protected:
    static constexpr long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;

    static SceneSlide Slide(long rgb, int w, int h, uint32_t ms)
    {
        auto t = std::make_unique<CCircularSweepOnTransition>();
        t->SetDuration(ms);
        return SceneSlide{rgb, w, h, std::move(t), nullptr, 2};
    }

    TempDir dir_;
};

TEST_F(SweepScene, ReplaysCleanTwiceAndAtNoFrames)
{
    Scene scene;
    scene.slides.push_back(Slide(kA, 320, 240, 1000));
    scene.slides.push_back(Slide(kB, 200, 120, 2000));
    scene.slides.push_back(Slide(kC, 300, 220, 0));
    scene.slides.push_back(Slide(kA, 10, 10, 250));
    const std::vector<SceneMovie> movies = WriteTwiceAndReplay(scene, dir_.path());
    for (const SceneMovie& movie : movies) {
        EXPECT_EQ(movie.marks[1].frames, 24);
        EXPECT_EQ(movie.marks[2].frames, 0);
    }
    ExpectDumpAccepts(movies[0].path, {"PlaceObject2", "RemoveObject2", "DefineShape"});
}

TEST_F(SweepScene, SecondQuarterShowsTheTopLeftNewAndTheBottomRightOld)
{
    Scene scene;
    scene.rate = 24.0f;
    scene.slides.push_back(Slide(kA, 320, 240, 0));
    scene.slides.push_back(Slide(kB, 320, 240, 1000));  // 24 frames, quarters of 6
    SceneMovie movie;
    ASSERT_TRUE(WriteScene(scene, dir_.file("sweep.swf"), &movie));
    const SceneMark& into = movie.marks[1];
    // Frame 9: the radius has turned 135 degrees, to half past seven.
    ExpectPlayedFrame(movie.path, into.firstFrame + 8,
                      {{{80, 60}, kB}, {{40, 130}, kB}, {{240, 180}, kA}, {{240, 60}, kA}, {{130, 200}, kA}});
    ExpectPlayedFrame(movie.path, into.firstFrame + into.frames,
                      {{{80, 60}, kB}, {{240, 180}, kB}, {{5, 5}, kB}, {{315, 235}, kB}});
}

}  // namespace
}  // namespace tavrel_test
