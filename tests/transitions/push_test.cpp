// Push: where the slides start and step, the direction's XML words and
// pop-up, and scenes replayed and played.
#include "transitions/push_transition.h"

#include <gtest/gtest.h>

#include "motion_runner.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "ui/controls_fixture.h"

namespace tavrel_test {
namespace {

// x or y of each move at a depth.
std::vector<int32_t> Xs(const std::vector<TagEvent>& moves, bool y = false)
{
    std::vector<int32_t> out;
    for (const TagEvent& m : moves) out.push_back(y ? m.matrix.translateY : m.matrix.translateX);
    return out;
}

// Frame i of n stands travel × i / n of the way, truncated towards zero and
// worked out wide: the last frame on the end whatever the two are.
TEST(MotionSteps, AlongEndsOnTheTravel)
{
    const struct {
        int64_t travel, i, n, along;
    } cases[] = {
        {6400, 1, 7200, 0},  // a per-frame step of 0 would never move
        {6400, 3600, 7200, 3200},
        {6400, 7200, 7200, 6400},
        {6400, 359, 360, 6382},
        {6400, 360, 360, 6400},
        {-6400, 1, 7, -914},  // towards zero, as the positive way
        {-6400, 7, 7, -6400},
        {int64_t(1) << 40, (int64_t(1) << 31) - 1, (int64_t(1) << 31) - 1, int64_t(1) << 40},
        {int64_t(1) << 40, 1, 3, ((int64_t(1) << 40)) / 3},
        {500, 0, 4, 0},
        {500, 1, 0, 500},  // no frames: the whole way
    };
    for (const auto& c : cases)
        EXPECT_EQ(motion::Along(c.travel, c.i, c.n), c.along) << c.travel << " at " << c.i << " of " << c.n;
}

TEST(Push, StartsOutsideAndStepsBothSlides)
{
    const MotionSlide fits{160, 120, 3200, 2400};
    // 100 px at scale 32801/65536: 1001 twips wide, an odd width.
    const MotionSlide odd{100, 120, 3200, 2400, 32801, 0x10000};
    // Wider than the stage: its left edge lies beyond the frame's.
    const MotionSlide wide{400, 300, 3200, 2400};
    const MotionSlide old{200, 150, 3000, 2000, 0x8000, 0x8000};
    struct Case {
        const char* what;
        int direction, n;
        MotionSlide slide;
        std::vector<int32_t> xs, ys;  // the new slide's moves
        int32_t endX, endY;  // the placement it keeps
    } const cases[] = {
        // One frame width to the left, in steps of 1600.
        {"right", CPushTransition::kRight, 4, fits, {-1600, 0, 1600, 3200}, {2400, 2400, 2400, 2400}, 3200, 2400},
        // W - 1 for the odd width; frame k at 6399 × k / 4 of the way, the last home.
        {"right, odd width", CPushTransition::kRight, 4, odd, {-1600, 0, 1600, 3200}, {2400, 2400, 2400, 2400}, 3200,
         2400},
        // 6400 over 7: 914, 1828, 2742, 3657, ... of the way, the last frame home.
        {"right, n = 7", CPushTransition::kRight, 7, fits, {-2286, -1372, -458, 457, 1371, 2285, 3200},
         std::vector<int32_t>(7, 2400), 3200, 2400},
        // Overhanging: the left edge starts on the frame's right edge (x 10400).
        {"left, overhanging", CPushTransition::kLeft, 4, wide, {8600, 6800, 5000, 3200}, {2400, 2400, 2400, 2400}, 3200,
         2400},
        {"up", CPushTransition::kUp, 2, fits, {3200, 3200}, {4800, 2400}, 3200, 2400},
        {"down", CPushTransition::kDown, 3, fits, {3200, 3200, 3200}, {-800, 800, 2400}, 3200, 2400},
        {"to top left", CPushTransition::kToTopLeft, 2, fits, {6400, 3200}, {4800, 2400}, 3200, 2400},
        {"to bottom right", CPushTransition::kToBottomRight, 3, fits, {-1067, 1066, 3200}, {-800, 800, 2400}, 3200,
         2400},
        // No frames of its own: one, and the whole way in it.
        {"right, n = 0", CPushTransition::kRight, 0, fits, {3200}, {2400}, 3200, 2400},
        {"outside the table", 8, 2, fits, {3200, 3200}, {2400, 2400}, 3200, 2400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPushTransition push;
        push.direction = c.direction;
        const MotionRun run = RunMotion(push, c.n, c.slide, &old);
        const auto moves = run.MovesAt(2);
        EXPECT_EQ(Xs(moves), c.xs);
        EXPECT_EQ(Xs(moves, true), c.ys);
        EXPECT_EQ(run.after.centerX, c.endX);
        EXPECT_EQ(run.after.centerY, c.endY);
        for (const TagEvent& m : moves) EXPECT_EQ(m.matrix.scaleX, 0x10000);
        // The old slide moves by the same steps, at its own scale.
        const auto pushed = run.MovesAt(1);
        ASSERT_EQ(pushed.size(), moves.size());
        int32_t newX = run.tags[0].matrix.translateX, newY = run.tags[0].matrix.translateY, oldX = old.x, oldY = old.y;
        for (size_t k = 0; k < moves.size(); ++k) {
            EXPECT_EQ(pushed[k].matrix.translateX - oldX, moves[k].matrix.translateX - newX);
            EXPECT_EQ(pushed[k].matrix.translateY - oldY, moves[k].matrix.translateY - newY);
            EXPECT_EQ(pushed[k].matrix.scaleX, 0x8000);
            newX = moves[k].matrix.translateX, newY = moves[k].matrix.translateY;
            oldX = pushed[k].matrix.translateX, oldY = pushed[k].matrix.translateY;
        }
    }
}

TEST(Push, FramesHoldTwoMovesOldSlideFirst)
{
    CPushTransition push;
    const MotionSlide slide{}, old{200, 150};
    EXPECT_EQ(Words(RunMotion(push, 2, slide, &old)), "P:2 M:1 M:2 F M:1 M:2 F R:1");
    EXPECT_EQ(Words(RunMotion(push, 0, slide, &old)), "P:2 M:1 M:2 F R:1");
    EXPECT_EQ(Words(RunMotion(push, 2, slide, nullptr)), "P:1 M:1 F M:1 F");
    // The new slide is placed at the start, outside the frame.
    EXPECT_EQ(RunMotion(push, 2, slide, &old).tags[0].matrix.translateX, -3200);
}

TEST(Push, DirectionWordsAndDefaults)
{
    CPushTransition push;
    EXPECT_EQ(WrittenXml(push), "<transition name=\"Push\" duration=\"2000\" direction=\"right\" />\n");
    const char* const words[] = {"up",           "down",         "right",          "left",
                                 "to_top_left",  "to_top_right", "to_bottom_left", "to_bottom_right"};
    for (int i = 0; i < 8; ++i) {
        CPushTransition t;
        t.direction = 0;
        ReadAttributes(t, std::string("direction=\"") + words[i] + "\"");
        EXPECT_EQ(t.direction, i) << words[i];
        EXPECT_NE(WrittenXml(t).find(std::string("direction=\"") + words[i] + "\""), std::string::npos);
    }
    for (const char* kept : {"Left", "RIGHT", "to_top", ""}) {
        CPushTransition t;
        t.direction = CPushTransition::kToTopLeft;
        ReadAttributes(t, std::string("direction=\"") + kept + "\"");
        EXPECT_EQ(t.direction, CPushTransition::kToTopLeft) << kept;
    }
    push.direction = 9;
    EXPECT_EQ(WrittenXml(push), "<transition name=\"Push\" duration=\"2000\" direction=\"\" />\n");
    push.direction = CPushTransition::kUp;
    auto copy = push.Clone();
    EXPECT_EQ(dynamic_cast<CPushTransition&>(*copy).direction, CPushTransition::kUp);
    EXPECT_EQ(dynamic_cast<CPushTransition&>(*push.CreateInstance()).direction, CPushTransition::kUp);
}

using PushControls = ControlsTest;

TEST_F(PushControls, PopupPicksTheDirection)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CPushTransition t;
    const Rect area{123, 169, 234, 424};
    ASSERT_TRUE(t.CreateSettingsControls(&window, nullptr, &area));
    const WindowRef w = window.GetWindow();
    EXPECT_EQ(ControlTitle(w, CPushTransition::kLabelId), "Direction:");
    EXPECT_EQ(ControlBounds(w, CPushTransition::kLabelId), (std::vector<int>{123, 169, 139, 223}));
    EXPECT_EQ(ControlBounds(w, CPushTransition::kPopupId), (std::vector<int>{123, 231, 139, 431}));
    EXPECT_EQ(GetControl32BitValue(ControlOf(w, CPushTransition::kPopupId)), 3) << "Right, the third item";

    user_.ChoosePopupItem(8).Click(FakeUser::Front(), 300, 130).Play();
    EXPECT_EQ(window.Count("command " + LoggingWindow::Code(CPushTransition::kPopupId)), 1);
    EXPECT_FALSE(t.OnControlChanged(CPushTransition::kLabelId));
    EXPECT_EQ(t.direction, CPushTransition::kRight);
    EXPECT_TRUE(t.OnControlChanged(CPushTransition::kPopupId));
    EXPECT_EQ(t.direction, CPushTransition::kToBottomRight);

    CPushTransition other;
    EXPECT_TRUE(t.ReadSettingsControls(&other));
    EXPECT_EQ(other.direction, CPushTransition::kToBottomRight);
    EXPECT_FALSE(t.ReadSettingsControls(&other));
    user_.ChoosePopupItem(1).Click(FakeUser::Front(), 300, 130).Play();
    EXPECT_TRUE(t.DisposeSettingsControls());
    EXPECT_EQ(t.direction, CPushTransition::kUp) << "leaving keeps the pop-up's choice";
    EXPECT_EQ(ControlOf(w, CPushTransition::kPopupId), nullptr);
}

TEST(Push, ReplaysInEveryScene)
{
    for (int d = 0; d < 8; ++d)
        ExpectKindReplays(
            [d] {
                auto t = std::make_unique<CPushTransition>();
                t->direction = d;
                return t;
            },
            "Push " + std::to_string(d));
}

TEST(Push, ScenePlaysThePush)
{
    const long kBack = 0x406080, kA = 0x20C040, kB = 0xE0C020;
    TempDir dir;
    Scene scene;
    scene.slides.push_back(SceneSlide{kA, 320, 240, nullptr, nullptr, 2});
    auto push = std::make_unique<CPushTransition>();
    push->SetDuration(2000);
    scene.slides.push_back(SceneSlide{kB, 320, 240, std::move(push), nullptr, 2});
    SceneMovie movie;
    ASSERT_TRUE(WriteScene(scene, dir.file("push.swf"), &movie));
    ExpectSceneReplays(movie);
    ExpectDumpAccepts(movie.path, {"PlaceObject2", "RemoveObject2"});
    const SceneMark& mark = movie.marks[1];
    ASSERT_EQ(mark.frames, 24);
    // Half-way to the right: the new slide fills the left half, the old the right.
    ExpectFrame(movie.path, mark.firstFrame + 11, {{{20, 120}, kB}, {{150, 120}, kB}, {{170, 120}, kA}, {{300, 120}, kA}});
    ExpectFrame(movie.path, mark.firstFrame + 24, {{{5, 120}, kB}, {{315, 120}, kB}, {{160, 5}, kB}});
    (void)kBack;
}

}  // namespace
}  // namespace tavrel_test
