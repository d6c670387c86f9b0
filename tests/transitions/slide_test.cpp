// Slide In From and Slide Out To: offsets, scales and alphas per frame,
// the placement kept, the XML form, the fields and box, and a scene played.
#include "transitions/slide_transitions.h"

#include <gtest/gtest.h>

#include "motion_runner.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "ui/controls_fixture.h"

namespace tavrel_test {
namespace {

struct Setting {
    int32_t x = 0, y = 0;
    double sx = 0.0, sy = 0.0;
    int fade = 1;
};

void Apply(CSlideMotionTransition& t, const Setting& s)
{
    t.final_x = s.x;
    t.final_y = s.y;
    t.final_sx = s.sx;
    t.final_sy = s.sy;
    t.fade_out = s.fade;
}

TEST(SlideMotion, OffsetsScalesAndAlphas)
{
    const MotionSlide fresh{160, 120, 3200, 2400}, old{200, 150, 3000, 2000};
    struct Case {
        const char* what;
        bool in;
        Setting s;
        int n;
        std::vector<ScaleFrame> frames;
        CSlide::CameraPlacement after;  // the new slide's afterwards
    } const cases[] = {
        {"in, defaults", true, {}, 4,
         {{16384, 16384, 3200, 2400, 64}, {32768, 32768, 3200, 2400, 128},
          {49152, 49152, 3200, 2400, 192}, {65536, 65536, 3200, 2400, 256}},
         {3200, 2400, 65536, 65536}},
        // From 100 px right and 50 up at twice the size: frame k at k / 3 of
        // the 2000 and -1000 twips, the last on its place.
        {"in, from an offset, shrinking", true, {100, -50, 2.0, 2.0, 0}, 3,
         {{109227, 109227, 4534, 1733, -1}, {87381, 87381, 3867, 2066, -1}, {65536, 65536, 3200, 2400, -1}},
         {3200, 2400, 65536, 65536}},
        // A negative scale is written as 0 while the running one climbs from
        // -2 through -0.5 to the slide's own 1.0.
        {"in, negative start", true, {0, 0, -2.0, 1.0, 0}, 2,
         {{0, 65536, 3200, 2400, -1}, {65536, 65536, 3200, 2400, -1}}, {3200, 2400, 65536, 65536}},
        {"in, negative start, longer", true, {0, 0, -2.0, -2.0, 0}, 6,
         {{0, 0, 3200, 2400, -1}, {0, 0, 3200, 2400, -1}, {0, 0, 3200, 2400, -1}, {0, 0, 3200, 2400, -1},
          {32768, 32768, 3200, 2400, -1}, {65536, 65536, 3200, 2400, -1}},
         {3200, 2400, 65536, 65536}},
        // Out from scale 1.0 to -1.0: held at 0 from half way, not growing back.
        {"out, to a negative scale", false, {0, 0, -1.0, -1.0, 0}, 4,
         {{32768, 32768, 3000, 2000, -1}, {0, 0, 3000, 2000, -1}, {0, 0, 3000, 2000, -1}, {0, 0, 3000, 2000, -1}},
         {3200, 2400, 65536, 65536}},
        {"out, defaults", false, {}, 4,
         {{49152, 49152, 3000, 2000, 192}, {32768, 32768, 3000, 2000, 128},
          {16384, 16384, 3000, 2000, 64}, {0, 0, 3000, 2000, 0}},
         {3200, 2400, 65536, 65536}},
        {"out, no fade", false, {-30, 40, 0.5, 1.5, 0}, 2,
         {{49152, 81920, 2700, 2400, -1}, {32768, 98304, 2400, 2800, -1}}, {3200, 2400, 65536, 65536}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<CSlideMotionTransition> t;
        if (c.in)
            t = std::make_unique<CSlideInFromTransition>();
        else
            t = std::make_unique<CSlideOutToTransition>();
        Apply(*t, c.s);
        const MotionRun run = RunMotion(*t, c.n, fresh, &old);
        EXPECT_EQ(ScaleFrames(run.MovesAt(c.in ? 2 : 3)), c.frames);
        EXPECT_EQ(run.after.centerX, c.after.centerX);
        EXPECT_EQ(run.after.centerY, c.after.centerY);
        EXPECT_EQ(run.after.scaleX, c.after.scaleX);
        EXPECT_EQ(run.after.scaleY, c.after.scaleY);
    }

    // Out to 100 px right at full size over 30 frames: 66 twips in the
    // first, the whole 2000 in the last.
    CSlideOutToTransition out;
    Apply(out, {100, 0, 1.0, 1.0, 1});
    const auto moves = RunMotion(out, 30, fresh, &old).MovesAt(3);
    ASSERT_EQ(moves.size(), 30u);
    EXPECT_EQ(moves[0].matrix.translateX, 3000 + 66);
    EXPECT_EQ(moves[15].matrix.translateX, 3000 + 1066);
    EXPECT_EQ(moves.back().matrix.translateX, 3000 + 2000);
    EXPECT_EQ(moves.back().matrix.scaleX, 65536);
    EXPECT_EQ(moves.back().alphaMult, 0);

    // Offsets past what a matrix holds stop at its edge instead of wrapping,
    // and the slide still ends on its place.
    CSlideInFromTransition far;
    Apply(far, {2147483647, -2147483647 - 1, 1.0, 1.0, 0});
    const auto edge = RunMotion(far, 2, fresh, &old).MovesAt(2);
    ASSERT_EQ(edge.size(), 2u);
    EXPECT_EQ(edge[0].matrix.translateX, 3200 + (1 << 30) - 1 - ((1 << 30) - 1) / 2);
    EXPECT_EQ(edge[0].matrix.translateY, 2400 - ((1 << 30) - 1) + ((1 << 30) - 1) / 2);
    EXPECT_EQ(std::make_pair(edge[1].matrix.translateX, edge[1].matrix.translateY), std::make_pair(3200, 2400));
}

TEST(SlideMotion, LayersAndTheFrameCountOfZero)
{
    CSlideInFromTransition in;
    CSlideOutToTransition out;
    Apply(in, {100, 100, 0.0, 0.0, 1});
    const MotionSlide fresh{}, old{200, 150};
    ExpectWords({{&in, 2, true, "P:2 M:2/128 F M:2/256 F R:1"},
                 {&in, 2, false, "P:1 M:1/128 F M:1/256 F"},
                 {&in, 0, true, "P:2 R:1"},
                 {&out, 2, true, "P:2 R:1 P:3 M:3/128 F M:3/0 F R:3"},
                 {&out, 2, false, "P:1"},
                 {&out, 0, true, "P:2 R:1 P:3 R:3"}},
                fresh, old);
    // At n = 0 Slide In From keeps its own placement: no offset, scale 1.0.
    const MotionRun run = RunMotion(in, 0, fresh, &old);
    EXPECT_EQ(run.after.centerX, fresh.x);
    EXPECT_EQ(run.after.scaleX, 0x10000);
}

TEST(SlideMotion, XmlForm)
{
    CSlideInFromTransition in;
    EXPECT_EQ(WrittenXml(in), "<transition name=\"Slide In From\" duration=\"2000\" final_x=\"0\" final_y=\"0\" "
                         "final_sx=\"0\" final_sy=\"0\" fade_out=\"true\" />\n");
    CSlideOutToTransition out;
    Apply(out, {-12, 340, 1.1, 0.25, 0});
    EXPECT_EQ(WrittenXml(out), "<transition name=\"Slide Out To\" duration=\"2000\" final_x=\"-12\" final_y=\"340\" "
                          "final_sx=\"1.1\" final_sy=\"0.25\" fade_out=\"false\" />\n");

    struct Case {
        const char* attributes;
        Setting expected;
    } const cases[] = {
        {"final_x=\"5\" final_y=\"-7\" final_sx=\"0.125\" final_sy=\"3\" fade_out=\"false\"", {5, -7, 0.125, 3.0, 0}},
        {"final_x=\"12px\" final_sx=\"1.1\"", {12, 2, 1.1, 4.0, 1}},  // atol's number; full double precision
        {"fade_out=\"TRUE\" final_y=\"none\"", {1, 0, 3.0, 4.0, 1}},
        {"fade_out=\"yes\"", {1, 2, 3.0, 4.0, 0}},
        {"final_sx=\"nan\" final_sy=\"inf\"", {1, 2, 0.0, 0.0, 1}},
        {"", {1, 2, 3.0, 4.0, 1}},
    };
    for (const Case& c : cases) {
        CSlideInFromTransition t;
        Apply(t, {1, 2, 3.0, 4.0, 1});
        ReadAttributes(t, c.attributes);
        EXPECT_EQ(t.final_x, c.expected.x) << c.attributes;
        EXPECT_EQ(t.final_y, c.expected.y) << c.attributes;
        EXPECT_EQ(t.final_sx, c.expected.sx) << c.attributes;
        EXPECT_EQ(t.final_sy, c.expected.sy) << c.attributes;
        EXPECT_EQ(t.fade_out, c.expected.fade) << c.attributes;
    }
    auto copy = in.Clone();
    copy->Assign(out);
    auto& moved = dynamic_cast<CSlideMotionTransition&>(*copy);
    EXPECT_EQ(moved.final_y, 340);
    EXPECT_EQ(moved.final_sx, 1.1);
    EXPECT_EQ(out.CreateInstance()->GetName(), "Slide Out To");
}

using SlideControls = MotionControls;

TEST_F(SlideControls, LayoutOfEachSense)
{
    const Rect area{123, 169, 234, 424};
    const std::vector<int> labels[4] = {{123, 169, 139, 209}, {123, 265, 139, 305}, {147, 169, 163, 239}, {147, 295, 163, 365}};
    const std::vector<int> fields[4] = {{123, 217, 139, 257}, {123, 313, 139, 353}, {147, 247, 163, 287}, {147, 373, 163, 413}};
    CSlideInFromTransition in;
    CSlideOutToTransition out;
    struct Case {
        CSlideMotionTransition* t;
        uint32_t firstId;
        const char* texts[5];
    } const cases[] = {
        {&in, 10049, {"Delta X:", "Delta Y:", "Start Scale X:", "Start Scale Y:", "Fade In"}},
        {&out, 10040, {"Delta X:", "Delta Y:", "End Scale X:", "End Scale Y:", "Fade Out"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t->GetName());
        NoteWindow window;
        ASSERT_TRUE(OpenNew(window));
        c.t->final_sx = 0.5;
        ASSERT_TRUE(c.t->CreateSettingsControls(&window, nullptr, &area));
        const WindowRef w = window.GetWindow();
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(ControlBounds(w, c.firstId + 2 * i), labels[i]);
            EXPECT_EQ(ControlTitle(w, c.firstId + 2 * i), c.texts[i]);
            EXPECT_EQ(ControlBounds(w, c.firstId + 2 * i + 1), fields[i]);
        }
        EXPECT_EQ(ControlBounds(w, c.firstId + 8), (std::vector<int>{171, 219, 187, 319}));
        EXPECT_EQ(ControlTitle(w, c.firstId + 8), c.texts[4]);
        EXPECT_EQ(platform::ControlText(ControlOf(w, c.firstId + 1)), "0");
        EXPECT_EQ(platform::ControlText(ControlOf(w, c.firstId + 5)), "0.50");
        EXPECT_EQ(GetControl32BitValue(ControlOf(w, c.firstId + 8)), 1);
        EXPECT_TRUE(c.t->DisposeSettingsControls());
        EXPECT_EQ(ControlOf(w, c.firstId + 1), nullptr);
    }
}

TEST_F(SlideControls, ReturnCommitsTheFieldsAsFloats)
{
    NoteWindow window;
    CSlideInFromTransition t;
    Open(window, t);
    const WindowRef w = window.GetWindow();

    // Offsets take digits and "-"; scales digits and one point.
    TypeInto(10050, "-12x3");
    EXPECT_EQ(platform::ControlText(ControlOf(w, 10050)), "-123");
    EXPECT_EQ(t.final_x, -123);
    EXPECT_EQ(changes_, 1);
    TypeInto(10054, "-1.1.");
    EXPECT_EQ(platform::ControlText(ControlOf(w, 10054)), "1.1");
    EXPECT_EQ(changes_, 2);
    // Committed: single precision. Read by ReadSettingsControls: the full double.
    EXPECT_EQ(t.final_sx, double(1.1f));
    CSlideInFromTransition other;
    EXPECT_TRUE(t.ReadSettingsControls(&other));
    EXPECT_EQ(other.final_sx, 1.1);
    EXPECT_EQ(other.final_x, -123);
    EXPECT_FALSE(t.ReadSettingsControls(&other));

    // The box: fade off, and the fields read with it.
    SetControlData(ControlOf(w, 10052), 0, kControlEditTextTextTag, 2, "77");
    user_.Click(FakeUser::Front(), 230, 178).Play();
    EXPECT_EQ(window.Count("command " + LoggingWindow::Code(10057)), 1);
    EXPECT_FALSE(t.OnControlChanged(10048)) << "Slide Out To's box";
    EXPECT_TRUE(t.OnControlChanged(10057));
    EXPECT_EQ(t.fade_out, 0);
    EXPECT_EQ(t.final_y, 77);
    EXPECT_EQ(changes_, 2);
    EXPECT_TRUE(t.DisposeSettingsControls());
    EXPECT_EQ(t.final_sx, 1.1) << "leaving reads the controls at full precision";
}

TEST(SlideMotion, ReplaysInEveryScene)
{
    const Setting settings[] = {{}, {100, -60, 1.0, 1.0, 0}, {-400, 300, 0.5, 2.0, 1}};
    for (const Setting& s : settings) {
        ExpectKindReplays(
            [s] {
                auto t = std::make_unique<CSlideInFromTransition>();
                Apply(*t, s);
                return t;
            },
            "Slide In From");
        ExpectKindReplays(
            [s] {
                auto t = std::make_unique<CSlideOutToTransition>();
                Apply(*t, s);
                return t;
            },
            "Slide Out To");
    }
}

TEST(SlideMotion, ScenePlaysTheSlides)
{
    const long kBack = 0x406080, kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    TempDir dir;
    Scene scene;
    scene.slides.push_back(SceneSlide{kA, 320, 240, nullptr, nullptr, 2});
    auto in = std::make_unique<CSlideInFromTransition>();
    Apply(*in, {160, 0, 1.0, 1.0, 0});
    in->SetDuration(2000);
    scene.slides.push_back(SceneSlide{kB, 160, 120, std::move(in), nullptr, 2});
    auto out = std::make_unique<CSlideOutToTransition>();
    out->SetDuration(2000);
    scene.slides.push_back(SceneSlide{kC, 320, 240, std::move(out), nullptr, 2});
    SceneMovie movie;
    ASSERT_TRUE(WriteScene(scene, dir.file("slide.swf"), &movie));
    ExpectSceneReplays(movie);
    ExpectDumpAccepts(movie.path, {"PlaceObject2", "RemoveObject2"});

    // Half-way in from 160 px right: the slide spans 160..320 px, over the old one.
    const SceneMark& into = movie.marks[1];
    ExpectFrame(movie.path, into.firstFrame + 11, {{{250, 120}, kB}, {{150, 120}, kA}, {{250, 50}, kA}});
    ExpectFrame(movie.path, into.firstFrame + 24, {{{160, 120}, kB}, {{70, 120}, kBack}});
    // Out by default: the old slide at half size and half alpha over the new.
    const SceneMark& away = movie.marks[2];
    ExpectFrame(movie.path, away.firstFrame + 11, {{{160, 120}, Mix(kB, kC, 0.5)}, {{10, 10}, kC}}, 6);
    ExpectFrame(movie.path, away.firstFrame + 24, {{{160, 120}, kC}});
}

}  // namespace
}  // namespace tavrel_test
