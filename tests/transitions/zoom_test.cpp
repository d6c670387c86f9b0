// Zoom In, Zoom Out and Cross Scale: scales and travel to the twip, the
// direction's words and pop-up, and scenes replayed and played.
#include "transitions/zoom_transitions.h"

#include <gtest/gtest.h>

#include "motion_runner.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "ui/controls_fixture.h"

namespace tavrel_test {
namespace {

TEST(Zoom, ScalesAndTravel)
{
    const MotionSlide fresh{160, 120, 3200, 2400}, hundred{100, 120, 3200, 2400};
    const MotionSlide old{200, 150, 3000, 2000};
    const MotionSlide halfOld{200, 150, 3000, 2000, 0x8000, 0x10000};
    struct Case {
        const char* what;
        bool in;
        int direction, n;
        MotionSlide slide, previous;
        std::vector<ScaleFrame> frames;
        int32_t endX, endY;  // the new slide's placement afterwards
    } const cases[] = {
        {"in, none", true, CZoomTransition::kNone, 4, fresh, old,
         {{16384, 16384, 3200, 2400}, {32768, 32768, 3200, 2400}, {49152, 49152, 3200, 2400}, {65536, 65536, 3200, 2400}},
         3200, 2400},
        // Half the height, 1200 twips, below its place, in steps of 300.
        {"in, up", true, CZoomTransition::kUp, 4, fresh, old,
         {{16384, 16384, 3200, 3300}, {32768, 32768, 3200, 3000}, {49152, 49152, 3200, 2700}, {65536, 65536, 3200, 2400}},
         3200, 2400},
        // From lower right: 1600 and 1200 twips over 3 frames, frame k at k / 3
        // of the way (533, 1066, 1600 in x), the last on its place.
        {"in, to the top left", true, CZoomTransition::kTopLeft, 3, fresh, old,
         {{21845, 21845, 4267, 3200}, {43691, 43691, 3734, 2800}, {65536, 65536, 3200, 2400}},
         3200, 2400},
        {"out, none", false, CZoomTransition::kNone, 4, fresh, old,
         {{49152, 49152, 3000, 2000}, {32768, 32768, 3000, 2000}, {16384, 16384, 3000, 2000}, {0, 0, 3000, 2000}},
         3200, 2400},
        // Drifting left by half the old slide's width, 2000 twips.
        {"out, left", false, CZoomTransition::kLeft, 4, fresh, old,
         {{49152, 49152, 2500, 2000}, {32768, 32768, 2000, 2000}, {16384, 16384, 1500, 2000}, {0, 0, 1000, 2000}},
         3200, 2400},
        // The old slide's x scale serves both axes.
        {"out, scaled", false, CZoomTransition::kBottomRight, 2, fresh, halfOld,
         {{16384, 16384, 4000, 2750}, {0, 0, 5000, 3500}}, 3200, 2400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<CZoomTransition> t;
        if (c.in)
            t = std::make_unique<CZoomInTransition>();
        else
            t = std::make_unique<CZoomOutTransition>();
        t->direction = c.direction;
        const MotionRun run = RunMotion(*t, c.n, c.slide, &c.previous);
        EXPECT_EQ(ScaleFrames(run.MovesAt(c.in ? 2 : 3)), c.frames);
        EXPECT_EQ(run.after.centerX, c.endX);
        EXPECT_EQ(run.after.centerY, c.endY);
        EXPECT_EQ(run.after.scaleX, 0x10000);
    }

    // "right", 100 px, n = 24: from 1000 twips left, 41 on in the first
    // frame, on its place in the last.
    CZoomInTransition in;
    in.direction = CZoomTransition::kRight;
    const MotionRun run = RunMotion(in, 24, hundred, &old);
    const auto moves = run.MovesAt(2);
    ASSERT_EQ(moves.size(), 24u);
    EXPECT_EQ(moves.front().matrix.translateX, 2200 + 41);
    EXPECT_EQ(moves[11].matrix.translateX, 2200 + 500);
    EXPECT_EQ(moves.back().matrix.translateX, 3200);
    EXPECT_EQ(moves.back().matrix.scaleX, 65536);
    EXPECT_EQ(run.after.centerX, 3200);
}

TEST(Zoom, LayersAndTheFrameCountOfZero)
{
    CZoomInTransition in;
    CZoomOutTransition out;
    in.direction = out.direction = CZoomTransition::kRight;
    const MotionSlide fresh{}, old{200, 150};
    ExpectWords({{&in, 2, true, "P:2 M:2 F M:2 F R:1"},
                 {&in, 2, false, "P:1 M:1 F M:1 F"},
                 {&in, 0, true, "P:2 R:1"},
                 {&out, 2, true, "P:2 R:1 P:3 M:3 F M:3 F R:3"},
                 {&out, 2, false, "P:1"},
                 {&out, 0, true, "P:2 R:1 P:3 R:3"}},
                fresh, old);
    // At n = 0 the slide keeps its own placement, not the travel's start.
    const MotionRun run = RunMotion(in, 0, fresh, &old);
    EXPECT_EQ(run.after.centerX, fresh.x);
    EXPECT_EQ(run.after.scaleX, 0x10000);
}

TEST(CrossScale, GreyRectangleGlides)
{
    CCrossScaleTransition cross;
    const MotionSlide old{200, 150, 3200, 2400}, fresh{100, 150, 6400, 2400};
    MotionRun run = RunMotion(cross, 4, fresh, &old);
    EXPECT_EQ(Words(run), "S P:3 R:1 M:3 F M:3 F M:3 F M:3 F R:3 P:2");
    // The old slide's display size, centred on its origin.
    EXPECT_EQ(run.tags[0].xmin, -2000);
    EXPECT_EQ(run.tags[0].xmax, 2000);
    EXPECT_EQ(run.tags[0].ymin, -1500);
    EXPECT_EQ(run.tags[0].ymax, 1500);
    EXPECT_EQ(run.tags[1].characterId, run.tags[0].characterId);
    EXPECT_EQ((ScaleFrame{run.tags[1].matrix.scaleX, run.tags[1].matrix.scaleY, run.tags[1].matrix.translateX, run.tags[1].matrix.translateY}),
              (ScaleFrame{65536, 65536, 3200, 2400}));
    // Eased out: 1400, 2400, 3000, 3200 of the 3200 twips; half the width at the end.
    EXPECT_EQ(ScaleFrames(run.MovesAt(3)), (std::vector<ScaleFrame>{{51200, 65536, 4600, 2400},
                                                             {40960, 65536, 5600, 2400},
                                                             {34816, 65536, 6200, 2400},
                                                             {32768, 65536, 6400, 2400}}));

    // n = 1: already at the new slide's place and size.
    run = RunMotion(cross, 1, fresh, &old);
    EXPECT_EQ(ScaleFrames(run.MovesAt(3)), (std::vector<ScaleFrame>{{32768, 65536, 6400, 2400}}));
    // Positions truncate towards zero: -100 + 3200 × 5/9 to the left is -1877.78.
    const MotionSlide left{200, 150, -100, 2400, 0x8000, 0x8000}, far{200, 150, -3300, 2400};
    run = RunMotion(cross, 3, far, &left);
    ASSERT_EQ(run.MovesAt(3).size(), 3u);
    EXPECT_EQ(run.MovesAt(3)[0].matrix.translateX, -1877);
    // The old slide's own scale at the start: 0.5 + 0.5 × 5/9 in x and y.
    EXPECT_EQ(run.tags[1].matrix.scaleX, 0x8000);
    EXPECT_EQ(run.MovesAt(3)[0].matrix.scaleX, 50972);

    EXPECT_EQ(Words(RunMotion(cross, 4, fresh, nullptr)), "P:1");
    EXPECT_EQ(Words(RunMotion(cross, 0, fresh, &old)), "S P:3 R:1 R:3 P:2");
    // An old slide of no size: no division by zero, the scale stays 1.0.
    const MotionSlide none{0, 0, 3200, 2400};
    run = RunMotion(cross, 2, fresh, &none);
    EXPECT_EQ(run.MovesAt(3).back().matrix.scaleX, 65536);
}

TEST(Zoom, DirectionWords)
{
    CZoomInTransition in;
    CZoomOutTransition out;
    EXPECT_EQ(WrittenXml(in), "<transition name=\"Zoom In\" duration=\"2000\" direction=\"none\" />\n");
    EXPECT_EQ(WrittenXml(out), "<transition name=\"Zoom Out\" duration=\"2000\" direction=\"none\" />\n");
    const char* const words[] = {"none",     "up",        "down",        "right",       "left",
                                 "top_left", "top_right", "bottom_left", "bottom_right"};
    for (int i = 0; i < 9; ++i) {
        CZoomOutTransition t;
        t.direction = 3;
        ReadAttributes(t, std::string("direction=\"") + words[i] + "\"");
        EXPECT_EQ(t.direction, i) << words[i];
        EXPECT_NE(WrittenXml(t).find(std::string("direction=\"") + words[i] + "\""), std::string::npos);
    }
    for (const char* kept : {"None", "Top_Left", "to_top_left", "center"}) {
        CZoomInTransition t;
        t.direction = CZoomTransition::kBottomLeft;
        ReadAttributes(t, std::string("direction=\"") + kept + "\"");
        EXPECT_EQ(t.direction, CZoomTransition::kBottomLeft) << kept;
    }
    in.direction = CZoomTransition::kDown;
    EXPECT_EQ(dynamic_cast<CZoomInTransition&>(*in.Clone()).direction, CZoomTransition::kDown);
    EXPECT_EQ(in.Clone()->GetName(), "Zoom In");
    EXPECT_EQ(out.CreateInstance()->GetName(), "Zoom Out");
    EXPECT_EQ(WrittenXml(CCrossScaleTransition()), "<transition name=\"Cross Scale\" duration=\"2000\" />\n");
}

using ZoomControls = ControlsTest;

TEST_F(ZoomControls, EachSenseHasItsIdsAndANarrowPopup)
{
    const Rect area{123, 169, 234, 424};
    CZoomInTransition in;
    CZoomOutTransition out;
    for (CZoomTransition* t : {static_cast<CZoomTransition*>(&in), static_cast<CZoomTransition*>(&out)}) {
        SCOPED_TRACE(t->GetName());
        NoteWindow window;
        ASSERT_TRUE(OpenNew(window));
        ASSERT_TRUE(t->CreateSettingsControls(&window, nullptr, &area));
        const WindowRef w = window.GetWindow();
        EXPECT_EQ(ControlBounds(w, t->LabelId()), (std::vector<int>{123, 169, 139, 223}));
        EXPECT_EQ(ControlBounds(w, t->PopupId()), (std::vector<int>{123, 231, 139, 356}));
        EXPECT_EQ(ControlTitle(w, t->LabelId()), "Direction:");
        user_.ChoosePopupItem(6).Click(FakeUser::Front(), 300, 130).Play();
        EXPECT_EQ(window.Count("command " + LoggingWindow::Code(t->PopupId())), 1);
        EXPECT_TRUE(t->OnControlChanged(t->PopupId()));
        EXPECT_EQ(t->direction, CZoomTransition::kTopLeft);
        EXPECT_FALSE(t->OnControlChanged(t == &in ? out.PopupId() : in.PopupId()));
        user_.ChoosePopupItem(9).Click(FakeUser::Front(), 300, 130).Play();
        EXPECT_TRUE(t->DisposeSettingsControls());
        EXPECT_EQ(t->direction, CZoomTransition::kBottomRight);
    }
    EXPECT_EQ(in.LabelId(), 10036u);
    EXPECT_EQ(in.PopupId(), 10037u);
    EXPECT_EQ(out.LabelId(), 10038u);
    EXPECT_EQ(out.PopupId(), 10039u);
}

TEST(Zoom, ReplaysInEveryScene)
{
    for (int d = 0; d < 9; ++d) {
        ExpectKindReplays(
            [d] {
                auto t = std::make_unique<CZoomInTransition>();
                t->direction = d;
                return t;
            },
            "Zoom In " + std::to_string(d));
        ExpectKindReplays(
            [d] {
                auto t = std::make_unique<CZoomOutTransition>();
                t->direction = d;
                return t;
            },
            "Zoom Out " + std::to_string(d));
    }
    ExpectKindReplays([] { return std::make_unique<CCrossScaleTransition>(); }, "Cross Scale");
}

TEST(Zoom, ScenePlaysTheScaling)
{
    const long kBack = 0x406080, kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0, kD = 0x20A0E0, kGrey = 0x888888;
    TempDir dir;
    Scene scene;
    auto slide = [](long rgb, int w, int h, std::unique_ptr<CTransition> t) {
        if (t) t->SetDuration(2000);
        return SceneSlide{rgb, w, h, std::move(t), nullptr, 2};
    };
    scene.slides.push_back(slide(kA, 320, 240, nullptr));
    scene.slides.push_back(slide(kB, 320, 240, std::make_unique<CZoomInTransition>()));
    scene.slides.push_back(slide(kC, 320, 240, std::make_unique<CZoomOutTransition>()));
    scene.slides.push_back(slide(kD, 160, 120, std::make_unique<CCrossScaleTransition>()));
    SceneMovie movie;
    ASSERT_TRUE(WriteScene(scene, dir.file("zoom.swf"), &movie));
    ExpectSceneReplays(movie);
    ExpectDumpAccepts(movie.path, {"PlaceObject2", "RemoveObject2", "DefineShape"});
    for (const SceneMark& m : movie.marks) EXPECT_EQ(m.frames, m.slide ? 24 : 0);

    // Half scale about the centre (80..240 by 60..180 px): the new slide in
    // the middle over the old one, which still shows at the corners.
    const SceneMark& in = movie.marks[1];
    ExpectFrame(movie.path, in.firstFrame + 11, {{{160, 120}, kB}, {{90, 70}, kB}, {{10, 10}, kA}, {{70, 120}, kA}});
    ExpectFrame(movie.path, in.firstFrame + 24, {{{160, 120}, kB}, {{10, 10}, kB}});
    // Zoom Out: the old slide's copy at half scale over the new one.
    const SceneMark& out = movie.marks[2];
    ExpectFrame(movie.path, out.firstFrame + 11, {{{160, 120}, kB}, {{10, 10}, kC}, {{70, 120}, kC}});
    ExpectFrame(movie.path, out.firstFrame + 24, {{{160, 120}, kC}, {{10, 10}, kC}});
    // Cross Scale half-way: 0.625 of the old size, 200 by 150 px, both slides gone.
    const SceneMark& cross = movie.marks[3];
    ExpectFrame(movie.path, cross.firstFrame + 11,
                {{{160, 120}, kGrey}, {{65, 50}, kGrey}, {{55, 120}, kBack}, {{160, 40}, kBack}});
    ExpectFrame(movie.path, cross.firstFrame + 24, {{{160, 120}, kD}, {{70, 120}, kBack}});
}

}  // namespace
}  // namespace tavrel_test
