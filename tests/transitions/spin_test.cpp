// The turning matrix and Spin In and Spin Out: terms to the unit, angles
// and scales per frame, the spins field and sense box, and a scene played.
#include "transitions/spin_transitions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "motion_runner.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/records.h"
#include "transitions/rotation.h"
#include "ui/controls_fixture.h"

namespace tavrel_test {
namespace {

TEST(RotationMatrix, TermsTruncateTowardsZero)
{
    struct Case {
        double theta, kx, ky;
        int32_t scaleX, scaleY, skew0, skew1;
        int tolerance;  // sine and cosine terms may differ by one between libraries
    } const cases[] = {
        {0, 1, 1, 65536, 65536, 0, 0, 0},
        {90, 0.25, 0.25, 0, 0, 16384, -16383, 0},  // -16383.5 truncates to -16383
        {180, 0.5, 0.5, -32767, -32767, 0, 0, 0},
        // -19660.8 + 0.5: towards zero -19660, where floor or rounding give -19661.
        {180, 0.3, 0.3, -19660, -19660, 0, 0, 0},
        {90, 1, 0.3, 0, 0, 65536, -19660, 0},
        {270, 0.75, 0.75, 0, 0, -49151, 49152, 0},
        {-90, 1, 1, 0, 0, -65535, 65536, 0},
        {45, 1, 1, 46341, 46341, 46341, -46340, 1},
        {360, 1, 0.5, 65536, 32768, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.theta);
        std::unique_ptr<CSwfMatrix> m(RotationMatrix(c.theta, c.kx, c.ky, 1234, -567));
        EXPECT_TRUE(m->hasScale && m->hasRotate);
        EXPECT_NEAR(m->scaleX, c.scaleX, c.tolerance);
        EXPECT_NEAR(m->scaleY, c.scaleY, c.tolerance);
        EXPECT_NEAR(m->rotateSkew0, c.skew0, c.tolerance);
        EXPECT_NEAR(m->rotateSkew1, c.skew1, c.tolerance);
        EXPECT_EQ(m->translateX, 1234);
        EXPECT_EQ(m->translateY, -567);
    }
}

// The frame's turn (degrees in 0..360) and scale, read back from its terms.
struct Turn {
    double degrees, scale;
};
Turn TurnOf(const TagEvent& t)
{
    double a = std::atan2(double(t.matrix.rotateSkew0), double(t.matrix.scaleX)) * 180.0 / M_PI;
    if (a < -0.01) a += 360.0;
    return {a, std::hypot(double(t.matrix.rotateSkew0), double(t.matrix.scaleX)) / 65536.0};
}

TEST(Spin, AnglesAndScalesPerFrame)
{
    struct Case {
        const char* what;
        bool in;
        float spins;
        int clockwise;
        std::vector<Turn> frames;  // n = 4
    } const cases[] = {
        {"in, one turn", true, 1.0f, 1, {{90, 0.25}, {180, 0.5}, {270, 0.75}, {0, 1}}},
        // 0 to 720.
        {"in, two turns", true, 2.0f, 1, {{180, 0.25}, {0, 0.5}, {180, 0.75}, {0, 1}}},
        // Counter-clockwise from +180 down to 0.
        {"in, half a turn back", true, 0.5f, 0, {{135, 0.25}, {90, 0.5}, {45, 0.75}, {0, 1}}},
        // From -288 by 162: -126, 36, 198, 360.
        {"in, 1.8 turns", true, 1.8f, 1, {{234, 0.25}, {36, 0.5}, {198, 0.75}, {0, 1}}},
        {"out, one turn", false, 1.0f, 1, {{90, 0.75}, {180, 0.5}, {270, 0.25}, {0, 0}}},
        // No whole-turn alignment on the way out: 648 in all.
        {"out, 1.8 back", false, 1.8f, 0, {{198, 0.75}, {36, 0.5}, {234, 0.25}, {0, 0}}},
        {"in, no turns", true, 0.0f, 1, {{0, 0.25}, {0, 0.5}, {0, 0.75}, {0, 1}}},
    };
    const MotionSlide fresh{160, 120, 3200, 2400}, old{200, 150, 3000, 2000};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<CSpinTransition> t;
        if (c.in)
            t = std::make_unique<CSpinInTransition>();
        else
            t = std::make_unique<CSpinOutTransition>();
        t->spins = c.spins;
        t->clockwise = c.clockwise;
        const MotionRun run = RunMotion(*t, 4, fresh, &old);
        const auto moves = run.MovesAt(c.in ? 2 : 3);
        ASSERT_EQ(moves.size(), 4u);
        for (size_t k = 0; k < 4; ++k) {
            const Turn got = TurnOf(moves[k]);
            if (c.frames[k].scale > 0) {
                EXPECT_NEAR(got.degrees, c.frames[k].degrees, 0.05) << "frame " << k + 1;
            }
            EXPECT_NEAR(got.scale, c.frames[k].scale, 0.0001) << "frame " << k + 1;
            // Turned about the slide's centre.
            EXPECT_EQ(moves[k].matrix.translateX, c.in ? fresh.x : old.x);
            EXPECT_EQ(moves[k].matrix.translateY, c.in ? fresh.y : old.y);
        }
        // The new slide's placement is left alone.
        EXPECT_EQ(run.after.centerX, fresh.x);
        EXPECT_EQ(run.after.scaleX, 0x10000);
    }

    // Spin In, n = 4, one turn: the golden terms of the first two frames.
    CSpinInTransition in;
    in.spins = 1.0f;
    const auto moves = RunMotion(in, 4, fresh, &old).MovesAt(2);
    EXPECT_EQ((std::vector<int32_t>{moves[0].matrix.scaleX, moves[0].matrix.scaleY, moves[0].matrix.rotateSkew0, moves[0].matrix.rotateSkew1}),
              (std::vector<int32_t>{0, 0, 16384, -16383}));
    EXPECT_EQ(moves[1].matrix.scaleX, -32767);
    EXPECT_EQ(moves[1].matrix.scaleY, -32767);

    // Spin Out shrinks each axis from the old slide's own scale.
    CSpinOutTransition out;
    out.spins = 0.0f;
    const MotionSlide scaled{200, 150, 3000, 2000, 0x8000, 0x10000};
    const auto shrinking = RunMotion(out, 2, fresh, &scaled).MovesAt(3);
    EXPECT_EQ(shrinking[0].matrix.scaleX, 16384);
    EXPECT_EQ(shrinking[0].matrix.scaleY, 32768);
    EXPECT_EQ(shrinking[1].matrix.scaleX, 0);
}

TEST(Spin, TurnCountsAtTheFloatsLimits)
{
    const MotionSlide fresh{}, old{200, 150};
    for (float spins : {3.4e38f, -3.4e38f, 1e-45f})
        for (int clockwise : {1, 0}) {
            CSpinInTransition in;
            CSpinOutTransition out;
            in.spins = out.spins = spins;
            in.clockwise = out.clockwise = clockwise;
            const auto moves = RunMotion(in, 3, fresh, &old).MovesAt(2);
            ASSERT_EQ(moves.size(), 3u) << spins;
            // Turned somewhere, but a matrix of the slide's size, about its centre.
            for (const TagEvent& m : moves) {
                EXPECT_LE(std::hypot(double(m.matrix.scaleX), double(m.matrix.rotateSkew0)), 65537.0) << spins;
                EXPECT_EQ(m.matrix.translateX, fresh.x);
            }
            EXPECT_EQ(RunMotion(out, 3, fresh, &old).MovesAt(3).size(), 3u) << spins;
        }
}

// Whole turns come off exactly, in integers and doubles, before the angle
// is single precision: any float turn count ends upright at scale 1.0.
TEST(Spin, UprightAfterAnyTurnCount)
{
    const MotionSlide fresh{}, old{200, 150};
    for (float spins : {1e6f, 5e4f, 1.8f, 12345.679f, 3.4e38f, -2.5e9f})
        for (int n : {24, 900})
            for (int clockwise : {1, 0}) {
                CSpinInTransition in;
                in.spins = spins;
                in.clockwise = clockwise;
                const auto moves = RunMotion(in, n, fresh, &old).MovesAt(2);
                ASSERT_EQ(moves.size(), size_t(n));
                const CSwfMatrix& last = moves.back().matrix;
                EXPECT_EQ(std::make_tuple(last.scaleX, last.scaleY, last.rotateSkew0, last.rotateSkew1),
                          std::make_tuple(65536, 65536, 0, 0))
                    << spins << " turns over " << n;
            }
}

// Angles within one turn (1.8 is a float, 1.79999995).
TEST(Spin, TurnAtFrames)
{
    const struct {
        float turns;
        bool aligned;
        int64_t i, n;
        double degrees;
    } cases[] = {
        // From -288 by 162 a frame: -126, 36, 198, 360 as -126, 36, 198, 0.
        {1.8f, true, 1, 4, -126.0},
        {1.8f, true, 3, 4, 198.0},
        {1.8f, true, 4, 4, 0.0},
        // Not aligned: 648 in all, 288 past whole turns.
        {1.8f, false, 4, 4, 288.0},
        // A million turns over 24 frames: 41666 2/3 turns a frame.
        {1e6f, true, 1, 24, 240.0},
        {1e6f, true, 12, 24, 0.0},
        {1e6f, false, 1, 24, 240.0},
        // Over 7 frames, 3 of them: 428571 3/7 turns.
        {1e6f, false, 3, 7, 360.0 * 3 / 7},
        // Half a turn back, aligned: from +180 by -45.
        {-0.5f, true, 1, 4, 135.0},
        {-0.5f, true, 4, 4, 0.0},
        {3.4e38f, true, 9, 9, 0.0},
        {std::numeric_limits<float>::quiet_NaN(), true, 1, 4, 0.0},
        {2.0f, true, 1, 0, 0.0},
    };
    for (const auto& c : cases) {
        const double got = TurnAt(c.turns, c.aligned, c.i, c.n);
        EXPECT_NEAR(got, c.degrees, 1e-4) << c.turns << " at " << c.i << " of " << c.n;
        EXPECT_LT(std::fabs(got), 360.0);
    }
    // Every frame of a huge count stays within one turn either way.
    for (int64_t i = 1; i <= 9; ++i) EXPECT_LT(std::fabs(TurnAt(3.4e38f, false, i, 9)), 360.0) << i;
}

TEST(Spin, LayersAndTheFrameCountOfZero)
{
    CSpinInTransition in;
    CSpinOutTransition out;
    const MotionSlide fresh{}, old{200, 150};
    ExpectWords({{&in, 2, true, "P:2 M:2 F M:2 F R:1"},
                 {&in, 2, false, "P:1 M:1 F M:1 F"},
                 {&in, 0, true, "P:2 R:1"},
                 {&out, 2, true, "P:2 R:1 P:3 M:3 F M:3 F R:3"},
                 {&out, 2, false, "P:1"},
                 {&out, 0, true, "P:2 R:1 P:3 R:3"}},
                fresh, old);
}

TEST(Spin, XmlForm)
{
    CSpinInTransition in;
    EXPECT_EQ(WrittenXml(in), "<transition name=\"Spin In\" duration=\"2000\" spins=\"1.8\" clockwise=\"true\" />\n");
    CSpinOutTransition out;
    out.spins = 0.5f;
    out.clockwise = 0;
    EXPECT_EQ(WrittenXml(out), "<transition name=\"Spin Out\" duration=\"2000\" spins=\"0.5\" clockwise=\"false\" />\n");
    struct Case {
        const char* attributes;
        int clockwiseBefore;
        float spins;
        int clockwise;
    } const cases[] = {
        {"spins=\"2.5\" clockwise=\"false\"", 1, 2.5f, 0},
        {"spins=\"1.1\"", 0, 1.1f, 0},  // single precision; the sense unchanged
        {"clockwise=\"TRUE\"", 0, 3.0f, 1},
        {"clockwise=\"1\"", 1, 3.0f, 0},  // only the word true, in any case
        {"spins=\"many\"", 1, 0.0f, 1},  // no number: no turns
        {"spins=\"nan\"", 1, 0.0f, 1},
        {"spins=\"-inf\"", 1, 0.0f, 1},
        {"", 0, 3.0f, 0},
    };
    for (const Case& c : cases) {
        CSpinInTransition t;
        t.spins = 3.0f;
        t.clockwise = c.clockwiseBefore;
        ReadAttributes(t, c.attributes);
        EXPECT_EQ(t.spins, c.spins) << c.attributes;
        EXPECT_EQ(t.clockwise, c.clockwise) << c.attributes;
    }
    in.spins = 2.0f;
    in.clockwise = 0;
    auto copy = out.Clone();
    copy->Assign(in);
    EXPECT_EQ(dynamic_cast<CSpinTransition&>(*copy).spins, 2.0f);
    EXPECT_EQ(dynamic_cast<CSpinTransition&>(*copy).clockwise, 0);
    EXPECT_EQ(copy->GetName(), "Spin In") << "Assign copies the name with the rest";
    EXPECT_EQ(in.CreateInstance()->GetName(), "Spin In");
}

using SpinControls = MotionControls;

TEST_F(SpinControls, FieldCommitsAndBoxTurnsTheSense)
{
    NoteWindow window;
    CSpinInTransition t;
    Open(window, t);
    const WindowRef w = window.GetWindow();
    EXPECT_EQ(ControlBounds(w, 10020), (std::vector<int>{131, 169, 147, 202}));
    EXPECT_EQ(ControlBounds(w, 10021), (std::vector<int>{131, 207, 147, 249}));
    EXPECT_EQ(ControlBounds(w, 10022), (std::vector<int>{153, 185, 167, 328}));
    EXPECT_EQ(ControlTitle(w, 10020), "Spins:");
    EXPECT_EQ(ControlTitle(w, 10022), "Counter-Clockwise");
    EXPECT_EQ(platform::ControlText(ControlOf(w, 10021)), "1.80");
    EXPECT_EQ(GetControl32BitValue(ControlOf(w, 10022)), 0) << "clockwise: unchecked";

    // The field takes digits and one point only; Return commits once.
    TypeInto(10021, "-2.5.1");
    EXPECT_EQ(platform::ControlText(ControlOf(w, 10021)), "2.51");
    EXPECT_EQ(t.spins, 2.51f);
    EXPECT_EQ(changes_, 1);

    // A typed 1.8 is not a float: reading the controls reports a change every time.
    TypeInto(10021, "1.8");
    EXPECT_EQ(changes_, 2);
    CSpinInTransition other;
    EXPECT_TRUE(t.ReadSettingsControls(&other));
    EXPECT_TRUE(t.ReadSettingsControls(&other));
    TypeInto(10021, "2.5");
    EXPECT_TRUE(t.ReadSettingsControls(&other));
    EXPECT_FALSE(t.ReadSettingsControls(&other));
    EXPECT_EQ(other.spins, 2.5f);

    // The box: counter-clockwise, and the field's number taken over with it.
    SetControlData(ControlOf(w, 10021), 0, kControlEditTextTextTag, 1, "4");
    user_.Click(FakeUser::Front(), 200, 160).Play();
    EXPECT_EQ(window.Count("command " + LoggingWindow::Code(10022)), 1);
    EXPECT_FALSE(t.OnControlChanged(10021));
    EXPECT_FALSE(t.OnControlChanged(10025)) << "Spin Out's box";
    EXPECT_TRUE(t.OnControlChanged(10022));
    EXPECT_EQ(t.clockwise, 0);
    EXPECT_EQ(t.spins, 4.0f);
    EXPECT_EQ(changes_, 3);

    EXPECT_TRUE(t.DisposeSettingsControls());
    EXPECT_EQ(ControlOf(w, 10021), nullptr);
    EXPECT_EQ(t.spins, 4.0f);
}

TEST(Spin, ReplaysInEveryScene)
{
    for (int clockwise : {1, 0}) {
        ExpectKindReplays(
            [clockwise] {
                auto t = std::make_unique<CSpinInTransition>();
                t->clockwise = clockwise;
                return t;
            },
            "Spin In");
        ExpectKindReplays(
            [clockwise] {
                auto t = std::make_unique<CSpinOutTransition>();
                t->clockwise = clockwise;
                return t;
            },
            "Spin Out");
    }
}

TEST(Spin, ScenePlaysTheTurn)
{
    const long kBack = 0x406080, kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    TempDir dir;
    Scene scene;
    scene.slides.push_back(SceneSlide{kA, 320, 240, nullptr, nullptr, 2});
    auto in = std::make_unique<CSpinInTransition>();
    in->spins = 0.25f;  // a quarter turn in all: 45 degrees half-way
    in->SetDuration(2000);
    scene.slides.push_back(SceneSlide{kB, 200, 40, std::move(in), nullptr, 2});
    auto out = std::make_unique<CSpinOutTransition>();
    out->SetDuration(2000);
    scene.slides.push_back(SceneSlide{kC, 320, 240, std::move(out), nullptr, 2});
    SceneMovie movie;
    ASSERT_TRUE(WriteScene(scene, dir.file("spin.swf"), &movie));
    ExpectSceneReplays(movie);
    ExpectDumpAccepts(movie.path, {"PlaceObject2", "RemoveObject2"});

    // Half-way in: a bar of 100 by 20 px turned 45 degrees from -90 (it ends
    // at 0): its arm runs from the centre towards the upper right and lower left.
    const SceneMark& mark = movie.marks[1];
    ASSERT_EQ(mark.frames, 24);
    ExpectFrame(movie.path, mark.firstFrame + 11,
                {{{160, 120}, kB}, {{190, 90}, kB}, {{130, 150}, kB}, {{190, 150}, kA}, {{200, 120}, kA}, {{10, 10}, kA}});
    ExpectFrame(movie.path, mark.firstFrame + 24, {{{160, 120}, kB}, {{250, 120}, kB}, {{160, 150}, kBack}});
    ExpectFrame(movie.path, movie.marks[2].firstFrame + 24, {{{160, 120}, kC}, {{10, 10}, kC}});
}

}  // namespace
}  // namespace tavrel_test
