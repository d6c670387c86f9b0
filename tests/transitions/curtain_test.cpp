// Curtain: its depths and tag order, brightness, panel alpha and positions
// frame by frame, the runs of no frame and of one, and whole movies.
#include "transitions/curtain.h"

#include <gtest/gtest.h>

#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/object.h"
#include "transitions/clip_kind_support.h"

namespace tavrel_test {
namespace {

using namespace clip_kinds;

// The counter stands at 20 when the transition starts (the new slide took 20).
RunResult RunCurtain(uint32_t ms, bool previous)
{
    CCurtainTransition t;
    t.SetDuration(ms);
    KindRun run;
    run.depthCounter = previous ? 18 : 19;
    if (!previous) run.previous.reset();
    return RunKind(t, run);
}

const char* kSetup = "S P:21 P:22 P:23 R:19 P:24c25 P:25 P:26c27 P:27";
const char* kFinish = "R:25 R:27 R:24 R:26 R:22 R:23";

TEST(Curtain, DepthsAndOrder)
{
    const RunResult r = RunCurtain(333, true);
    EXPECT_EQ(Outline(r.tags), std::string(kSetup) + " M:24 M:26 F" + " M:21 M:22 M:23 M:24 M:26 F" +
                                   " M:21 M:22 M:23 M:24 M:26 F M:21 M:22 M:23 M:24 M:26 F " + kFinish);
    EXPECT_EQ(r.slideDepthAfter, 21);
    EXPECT_EQ(r.depthCounter, 27);
    const RunResult alone = RunCurtain(333, false);
    EXPECT_EQ(Outline(alone.tags), "S P:21 P:22 P:23 F M:21 M:22 M:23 F M:21 M:22 M:23 F M:21 M:22 M:23 F R:22 R:23");
    EXPECT_EQ(alone.depthCounter, 23);
    EXPECT_EQ(alone.slideDepthAfter, 21);

    // One white half-frame shape serves as panel and mask.
    const RunTag& shape = r.tags.front();
    ASSERT_TRUE(shape.bounds);
    EXPECT_EQ(std::vector<int32_t>({shape.bounds->xmin, shape.bounds->ymin, shape.bounds->xmax, shape.bounds->ymax}),
              std::vector<int32_t>({0, 0, 3200, 4800}));
    for (const RunTag& t : r.tags)
        if (t.hasCharacter && t.depth != 21 && t.depth != 25 && t.depth != 27) {
            EXPECT_EQ(t.characterId, shape.characterId);
        }
}

struct Step {
    int brightness = -1;  // the slide's multiply term, -1 when not moved
    int alpha = -1;  // the panels' alpha, -1 when not moved
    int32_t leftPanel = 0, rightPanel = 0, leftMask = 0, rightMask = 0;
};

std::vector<Step> StepsOf(const RunResult& r)
{
    std::vector<Step> steps;
    for (const auto& frame : SplitFrames(r.tags)) {
        Step s;
        for (const RunTag& t : frame) {
            if (!t.move) continue;
            const int32_t x = t.matrix ? t.matrix->translateX : 0;
            switch (t.depth) {
            case 21:
                EXPECT_FALSE(t.matrix);
                s.brightness = t.cxform->redMult;
                EXPECT_EQ(t.cxform->alphaMult, 256);
                EXPECT_FALSE(t.cxform->hasAdd);
                break;
            case 22: s.leftPanel = x, s.alpha = t.cxform->alphaMult; break;
            case 23:
                s.rightPanel = x;
                EXPECT_EQ(t.cxform->alphaMult, s.alpha);
                break;
            case 24: s.leftMask = x; break;
            case 26: s.rightMask = x; break;
            }
        }
        steps.push_back(s);
    }
    return steps;
}

TEST(Curtain, FourFrames)
{
    const RunResult r = RunCurtain(333, true);
    const auto steps = StepsOf(r);
    ASSERT_EQ(steps.size(), 6u);
    struct Expect {
        int brightness, alpha;
        int32_t leftPanel, rightPanel;
    } const expected[] = {{-1, -1, 0, 0}, {192, 64, -1600, 4800}, {256, 0, -3200, 6400}, {256, 0, -4800, 8000}};
    for (int k = 1; k <= 4; ++k) {
        const Step& s = steps[k];
        const Expect& e = expected[k - 1];
        EXPECT_EQ(s.brightness, e.brightness) << k;
        EXPECT_EQ(s.alpha, e.alpha) << k;
        EXPECT_EQ(s.leftPanel, e.leftPanel) << k;
        EXPECT_EQ(s.rightPanel, e.rightPanel) << k;
        EXPECT_EQ(s.leftMask, -800 * k) << k;
        EXPECT_EQ(s.rightMask, 3200 + 800 * k) << k;
    }
    // Placed dimmed under half-clear panels.
    const RunTag& slide = r.tags[1];
    EXPECT_EQ(slide.cxform->redMult, 128);
    EXPECT_EQ(r.tags[2].cxform->alphaMult, 128);
    EXPECT_TRUE(r.tags[2].cxform->hasAdd);
}

TEST(Curtain, PhasesEndTogether)
{
    // n = 10: m = 5, p = 6.
    const auto steps = StepsOf(RunCurtain(833, true));
    ASSERT_EQ(steps.size(), 12u);
    for (int k = 1; k <= 10; ++k) {
        EXPECT_EQ(steps[k].brightness >= 0, k >= 5) << k;
        EXPECT_EQ(steps[k].alpha >= 0, k >= 4) << k;
    }
    EXPECT_EQ(steps[10].brightness, 256);
    EXPECT_EQ(steps[10].alpha, 0);
    EXPECT_EQ(steps[10].leftMask, -320 * 10);
    // Over 7 frames, 3200 twips do not divide: the masks still end a half
    // frame out, frame k at 3200 × k / 7.
    const auto seven = StepsOf(RunCurtain(583, true));
    ASSERT_EQ(seven.size(), 9u);
    for (int k = 1; k <= 7; ++k) {
        EXPECT_EQ(seven[k].leftMask, -(3200 * k / 7)) << k;
        EXPECT_EQ(seven[k].rightMask, 3200 + 3200 * k / 7) << k;
    }
}

// One frame runs both phases whole; none shows the slide as a cut does.
TEST(Curtain, OneFrameAndNone)
{
    const auto one = StepsOf(RunCurtain(84, true));
    ASSERT_EQ(one.size(), 3u);
    EXPECT_EQ(one[1].brightness, 256);
    EXPECT_EQ(one[1].alpha, 0);
    EXPECT_EQ(one[1].leftPanel, -3200);
    EXPECT_EQ(one[1].rightPanel, 6400);
    EXPECT_EQ(one[1].leftMask, -3200);

    const RunResult none = RunCurtain(40, true);
    EXPECT_EQ(Outline(none.tags), std::string(kSetup) + " " + kFinish);
    EXPECT_FALSE(none.tags[1].cxform) << "the slide at full brightness";
    EXPECT_EQ(Outline(RunCurtain(0, false).tags), "S P:21 P:22 P:23 R:22 R:23");
}

constexpr long kA = 0x20C040, kB = 0xE0C020;

std::unique_ptr<CTransition> Curtain(uint32_t ms)
{
    auto t = std::make_unique<CCurtainTransition>();
    t->SetDuration(ms);
    return t;
}

TEST(CurtainScene, ReplaysCleanTwice)
{
    ExpectReplaysTwice([] { return Curtain(500); });
}

// Frame 2 of 10: the old slide parted by a fifth of each half, the new one
// dimmed to half under the half-clear white panels; afterwards the new one.
TEST(CurtainScene, PlaysTheDimmedSlideUnderThePanels)
{
    TempDir dir;
    std::vector<FullFrameSlide> slides;
    slides.push_back({kA, nullptr});
    slides.push_back({kB, Curtain(833)});
    const SceneMovie movie = WritePlayedScene(dir, std::move(slides));
    ASSERT_EQ(movie.marks.size(), 2u);
    long under = 0;
    for (int s : {16, 8, 0}) under |= long((((kB >> s) & 0xFF) / 2 + 255) / 2) << s;
    const SceneMark& into = movie.marks[1];
    ExpectPlayedFrame(movie.path, into.firstFrame + 1, {{{160, 120}, under}, {{140, 20}, under}, {{100, 120}, kA}, {{230, 200}, kA}}, 6);
    ExpectPlayedFrame(movie.path, into.firstFrame + into.frames, {{{160, 120}, kB}, {{20, 20}, kB}, {{300, 220}, kB}});
}

}  // namespace
}  // namespace tavrel_test
