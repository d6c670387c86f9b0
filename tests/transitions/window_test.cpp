// Window: its six shapes, open and close runs, the spin, the XML form with
// the spin settings, the controls, and scenes replayed and played.
#include "transitions/window_transition.h"

#include <gtest/gtest.h>

#include <cmath>

#include "foundation/path.h"
#include "masked_run.h"
#include "show/slide.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/movie.h"
#include "swf/object.h"
#include "ui/controls_fixture.h"

namespace tavrel_test {
namespace {

std::unique_ptr<CWindowTransition> Window(int type, uint32_t ms, bool spin = false, float spins = 1.8f,
                                          bool clockwise = true)
{
    auto t = std::make_unique<CWindowTransition>();
    t->type = type;
    t->SetDuration(ms);
    t->spin = spin;
    t->spins = spins;
    t->clockwise = clockwise;
    return t;
}

// 320 × 240: the window is laid out on twice the slide, 12800 × 9600 twips.
TEST(Window, ShapesOfA320By240Slide)
{
    const struct {
        int type;
        Outline o;  // bounds, start, end, edges, curves
    } cases[] = {
        {CWindowTransition::kSquareOpen, {-6400, -6400, 6400, 6400, 6400, 6400, 6400, 6400, 4, 0}},
        {CWindowTransition::kRectangleClose, {-6400, -4800, 6400, 4800, 6400, 4800, 6400, 4800, 4, 0}},
        {CWindowTransition::kCircleOpen, {-8000, -8000, 8000, 8000, 0, -8000, 0, -8000, 0, 4}},
        {CWindowTransition::kStarClose, {-13312, -12697, 13312, 12697, 0, -12697, 0, -12697, 10, 0}},
        {CWindowTransition::kStar12Open, {-12800, -12800, 12800, 12800, 0, -12800, 0, -12800, 24, 0}},
        {CWindowTransition::kDiamondClose, {-6400, -4800, 6400, 4800, 0, -4800, 0, -4800, 4, 0}},
    };
    for (const auto& c : cases) {
        auto t = Window(c.type, 1000);
        const MaskedRun run = RunMasked(*t);
        const auto shape =
            std::find_if(run.tags.begin(), run.tags.end(), [](const WrittenTag& w) { return w.IsShape(); });
        ASSERT_NE(shape, run.tags.end()) << c.type;
        const Outline& o = shape->outline;
        EXPECT_EQ(std::make_tuple(o.xmin, o.ymin, o.xmax, o.ymax),
                  std::make_tuple(c.o.xmin, c.o.ymin, c.o.xmax, c.o.ymax))
            << c.type;
        EXPECT_EQ(std::make_tuple(o.startX, o.startY, o.endX, o.endY, o.edges, o.curves),
                  std::make_tuple(c.o.startX, c.o.startY, c.o.endX, c.o.endY, c.o.edges, c.o.curves))
            << c.type;
    }
}

// Each star edge is truncated on its own; the last one closes the outline.
TEST(Window, StarsCloseForEverySlideSize)
{
    TempDir dir;
    const std::string path = dir.file("stars.swf");
    {
        CSwfMovie movie;
        movie.SetHeader(6400, 4800, 12.0f, 6);
        ASSERT_TRUE(movie.Open(CPath(path.c_str()), true));
        uint16_t ids = 0;
        CSlide slide(CSlide::kBlank, nullptr);
        CWindowTransition five, twelve;
        five.type = CWindowTransition::kStarOpen;
        twelve.type = CWindowTransition::kStar12Close;
        // A star's scale is set by the width or by the height alone, so
        // these sizes give every star that any slide of 10 to 2000 px can.
        for (int size = 10; size <= 2000; ++size)
            for (auto [w, h] : {std::pair{size, 10}, std::pair{10, size}}) {
                ASSERT_TRUE(slide.SetSize(w, h));
                ASSERT_NE(five.DefineWindowShape(slide, &movie, &ids), 0);
                ASSERT_NE(twelve.DefineWindowShape(slide, &movie, &ids), 0);
            }
        movie.AddTag(new CTagEnd);
        ASSERT_NE(movie.Close(), 0u);
    }
    const std::vector<Outline> outlines = ReadOutlines(path);
    ASSERT_EQ(outlines.size(), 4u * 1991);
    int open = 0;
    for (const Outline& o : outlines) open += o.startX != o.endX || o.startY != o.endY;
    EXPECT_EQ(open, 0) << "outlines that do not close";
}

TEST(Window, OpenAndCloseRuns)
{
    // Previous slide at 1, new at 2. Open: the window takes 2 and grows, the
    // slide moves to 3. Close: the new slide at once, the window shrinking
    // over a copy of the previous one.
    const struct {
        int type;
        std::string first, finish;
        uint16_t window, depthAfter;
        int lastScale;
    } cases[] = {
        {CWindowTransition::kSquareOpen, "S P:2/3 P:3 M:2", "R:1 R:2", 2, 3, 65536},
        {CWindowTransition::kCircleClose, "P:2 R:1 S P:3/4 P:4 M:3", "R:3 R:4", 3, 2, 0},
    };
    for (const auto& c : cases) {
        auto t = Window(c.type, 2000);
        const MaskedRun run = RunMasked(*t);
        ASSERT_EQ(run.Frames(), 24);
        EXPECT_EQ(TagWords(run.Frame(1)), c.first);
        EXPECT_EQ(TagWords(run.Frame(25)), c.finish);
        EXPECT_EQ(run.depthAfter, c.depthAfter);
        const std::vector<WrittenTag> moves = run.MovesAt(c.window);
        ASSERT_EQ(moves.size(), 24u);
        for (size_t k = 0; k < moves.size(); ++k) {
            const double s = c.type & 1 ? double(k + 1) / 24 : 1 - double(k + 1) / 24;
            EXPECT_TRUE(moves[k].hasScale && moves[k].hasRotate);
            EXPECT_EQ(std::make_tuple(moves[k].rotate0, moves[k].rotate1, moves[k].x, moves[k].y),
                      std::make_tuple(0, 0, 3200, 2400));
            EXPECT_NEAR(moves[k].scaleX, 65536.0 * s, 1.0) << k;
        }
        EXPECT_EQ(moves.back().scaleX, c.lastScale);
    }
    // The open mask comes at full size; the close one with the slide's scale
    // over the previous slide's copy.
    auto open = Window(CWindowTransition::kSquareOpen, 2000);
    const WrittenTag mask = RunMasked(*open).Frame(1)[1];
    EXPECT_EQ(std::make_tuple(mask.hasScale, mask.hasRotate, mask.x, mask.y),
              std::make_tuple(false, false, 3200, 2400));
    auto close = Window(CWindowTransition::kCircleClose, 2000);
    const MaskedRun c = RunMasked(*close);
    EXPECT_EQ(c.Frame(1)[4].characterId, c.previousId);
    EXPECT_EQ(std::make_tuple(c.Frame(1)[3].hasScale, c.Frame(1)[3].scaleX), std::make_tuple(true, 65536));

    // No frames, and a close with nothing to close.
    const struct {
        int type;
        bool previous;
        std::string words;
    } none[] = {
        {CWindowTransition::kStarOpen, true, "S P:2/3 P:3 R:1 R:2"},
        {CWindowTransition::kStarOpen, false, "S P:1/2 P:2 R:1"},
        {CWindowTransition::kDiamondClose, true, "P:2 R:1 S P:3/4 P:4 R:3 R:4"},
        {CWindowTransition::kDiamondClose, false, "P:1"},
    };
    for (const auto& n : none) {
        auto t = Window(n.type, 40);
        MaskedSetup setup;
        setup.previous = n.previous;
        EXPECT_EQ(TagWords(RunMasked(*t, setup).tags), n.words) << n.type << " " << n.previous;
    }
}

// The angle of frame k and the scale s give the terms; ±1 for the single
// precision sine and cosine.
void ExpectTurn(const WrittenTag& m, double degrees, double s, const std::string& what)
{
    const double r = degrees * M_PI / 180;
    EXPECT_NEAR(m.scaleX, std::trunc(s * std::cos(r) * 65536 + 0.5), 1.0) << what;
    EXPECT_NEAR(m.rotate0, std::trunc(s * std::sin(r) * 65536 + 0.5), 1.0) << what;
    EXPECT_NEAR(m.rotate1, std::trunc(-s * std::sin(r) * 65536 + 0.5), 1.0) << what;
}

TEST(Window, SpinEndsUpright)
{
    const struct {
        float spins;
        bool clockwise;
        int type;
        double first;  // the angle before the first step
    } cases[] = {
        {1.0f, true, CWindowTransition::kSquareOpen, 0},
        {1.8f, true, CWindowTransition::kSquareOpen, -288},
        {1.8f, false, CWindowTransition::kRectangleOpen, 288},
        {2.5f, false, CWindowTransition::kCircleClose, 180},
        // A million turns: upright at the end, not some degrees off.
        {1e6f, true, CWindowTransition::kSquareOpen, 0},
    };
    for (const auto& c : cases) {
        auto t = Window(c.type, 2000, true, c.spins, c.clockwise);
        const MaskedRun run = RunMasked(*t);
        const bool open = c.type & 1;
        const std::vector<WrittenTag> moves = run.MovesAt(open ? 2 : 3);
        ASSERT_EQ(moves.size(), 24u);
        const double step = double(c.spins) * 360 / 24 * (c.clockwise ? 1 : -1);
        for (size_t k = 0; k < moves.size(); ++k) {
            const double s = open ? double(k + 1) / 24 : 1 - double(k + 1) / 24;
            ExpectTurn(moves[k], c.first + step * double(k + 1), s, "frame " + std::to_string(k + 1));
        }
        EXPECT_EQ(moves.back().scaleX, open ? 65536 : 0);
        EXPECT_EQ(moves.back().rotate0, 0);
    }
}

TEST(Window, XmlKeepsTypeAndSpin)
{
    CTransitionList list;
    list.CreateAll();
    for (int type = 0; type < CWindowTransition::kTypeCount; ++type) {
        auto t = Window(type, 1500, type % 3 == 0, 0.25f * float(type), type % 2 == 0);
        const XmlTrip trip = WriteAndRead(*t);
        ASSERT_NE(trip.read, nullptr) << trip.written;
        auto* back = dynamic_cast<CWindowTransition*>(trip.read.get());
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(std::make_tuple(back->type, back->spin, back->spins, back->clockwise, back->GetDuration()),
                  std::make_tuple(t->type, t->spin, t->spins, t->clockwise, 1500u))
            << trip.written;
    }
    EXPECT_EQ(WriteAndRead(*Window(CWindowTransition::kRectangleClose, 1500, true)).written,
              "<transition name=\"Window\" duration=\"1500\" type=\"rectangle_close\" spin=\"true\" spins=\"1.8\" "
              "clockwise=\"true\" />\n");

    // Absent or unknown values keep what the prototype holds.
    CWindowTransition* prototype = dynamic_cast<CWindowTransition*>(list.FindByName("Window"));
    ASSERT_NE(prototype, nullptr);
    prototype->type = CWindowTransition::kDiamondOpen;
    prototype->spin = true;
    prototype->spins = 3.0f;
    prototype->clockwise = false;
    TempDir dir;
    WriteFile(dir.file("w.xml"),
              "<transition name=\"Window\" type=\"Star_Close\" spins=\"lots\" clockwise=\"TRUE\" />");
    CXMLDocument document;
    CXMLNode node;
    ASSERT_TRUE(document.Load(CPath(dir.file("w.xml"))) && document.GetFirstChild(node));
    auto read = CTransitionList::CreateFromXml(node);
    auto* w = dynamic_cast<CWindowTransition*>(read.get());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::make_tuple(w->type, w->spin, w->spins, w->clockwise),
              std::make_tuple(int(CWindowTransition::kDiamondOpen), true, 0.0f, true));
}

using WindowControls = ControlsTest;

ControlRef FindControl(NoteWindow& window, uint32_t id)
{
    const ControlID cid{id, window.GetControlIdNumber()};
    ControlRef control = nullptr;
    GetControlByID(window.GetWindow(), &cid, &control);
    return control;
}

TEST_F(WindowControls, SpinBoxEnablesTheTurnsAndTheFieldCommits)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CWindowTransition t;
    t.type = CWindowTransition::kCircleOpen;
    struct Count {
        int calls = 0;
        void On(CTransition*) { ++calls; }
    } count;
    t.changed.Connect(Callback::BindMember(&count, &Count::On));
    const Rect area{123, 169, 234, 424};
    ASSERT_TRUE(t.CreateSettingsControls(&window, nullptr, &area));
    Rect bounds{};
    GetControlBounds(FindControl(window, CWindowTransition::kCounterClockwiseId), &bounds);
    EXPECT_EQ(std::make_tuple(bounds.top, bounds.left, bounds.bottom, bounds.right),
              std::make_tuple(148, 302, 164, 427));
    // Without the spin its settings are off.
    for (uint32_t id :
         {CWindowTransition::kSpinsFieldId, CWindowTransition::kTurnsLabelId, CWindowTransition::kCounterClockwiseId})
        EXPECT_FALSE(IsControlActive(FindControl(window, id))) << id;

    user_.Click(FakeUser::Front(), 179, 155).Play();  // the Spin box
    EXPECT_TRUE(t.OnControlChanged(CWindowTransition::kSpinId));
    EXPECT_TRUE(t.spin);
    EXPECT_TRUE(IsControlActive(FindControl(window, CWindowTransition::kSpinsFieldId)));
    EXPECT_FALSE(t.OnControlChanged(CWindowTransition::kTurnsLabelId));

    // A number typed over the field's "1.80" commits with Return and is announced.
    ControlRef field = FindControl(window, CWindowTransition::kSpinsFieldId);
    ControlEditTextSelectionRec all{0, 32767};
    SetControlData(field, 0, kControlEditTextSelectionTag, sizeof all, &all);
    SetKeyboardFocus(window.GetWindow(), field, kControlEditTextPart);
    user_.Type("2.5").PressKey(36, '\r').Play();
    EXPECT_FLOAT_EQ(t.spins, 2.5f);
    EXPECT_EQ(count.calls, 1);

    user_.Click(FakeUser::Front(), 309, 155).Play();  // Counter-Clockwise
    EXPECT_TRUE(t.OnControlChanged(CWindowTransition::kCounterClockwiseId));
    EXPECT_FALSE(t.clockwise);

    CWindowTransition other;
    EXPECT_TRUE(t.ReadSettingsControls(&other));
    EXPECT_EQ(std::make_tuple(other.type, other.spin, other.spins, other.clockwise),
              std::make_tuple(int(CWindowTransition::kCircleOpen), true, 2.5f, false));
    EXPECT_FALSE(t.ReadSettingsControls(&other));
    t.spin = false;
    EXPECT_TRUE(t.DisposeSettingsControls());
    EXPECT_TRUE(t.spin);  // the box's last value is kept
    EXPECT_EQ(FindControl(window, CWindowTransition::kSpinId), nullptr);
}

class WindowScene : public ::testing::Test {
protected:
    static constexpr long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    TempDir dir_;
};

TEST_F(WindowScene, EveryTypeReplaysCleanTwiceAndAtNoFrames)
{
    Scene scene;
    const int sizes[][2] = {{320, 240}, {200, 150}, {300, 100}, {80, 220}};
    for (int type = 0; type < CWindowTransition::kTypeCount; ++type)
        for (uint32_t ms : {500u, 0u}) {
            const int* size = sizes[(type + int(ms)) % 4];
            scene.slides.push_back(SceneSlide{type % 2 ? kA : kB, size[0], size[1],
                                              Window(type, ms, type % 4 < 2, 1.25f, type % 3 != 0), nullptr, 1});
        }
    for (int type = 0; type < CWindowTransition::kTypeCount; ++type)
        ExpectReplaysAsFirstSlide(Window(type, 500, type % 4 < 2), dir_.file("first.swf"));
    for (const SceneMovie& movie : WriteTwiceAndReplay(scene, dir_.path())) {
        // The first slide's close has no slide to close: no frames.
        EXPECT_EQ(movie.marks[0].frames, 0);
        EXPECT_EQ(movie.marks[2].frames, 6);
    }
}

TEST_F(WindowScene, LargestSlidesPassTheCheckers)
{
    Scene scene;
    scene.width = scene.height = 2000;
    for (int type = 0; type < CWindowTransition::kTypeCount; ++type)
        scene.slides.push_back(SceneSlide{type % 2 ? kA : kB, 2000, 2000, Window(type, 250, true), nullptr, 1});
    SceneMovie movie;
    ASSERT_TRUE(WriteScene(scene, dir_.file("large.swf"), &movie));
    ExpectSceneReplays(movie);
    for (const Outline& o : ReadOutlines(movie.path))
        EXPECT_EQ(std::make_pair(o.startX, o.startY), std::make_pair(o.endX, o.endY));
    ExpectDumpAccepts(movie.path, {"DefineShape", "PlaceObject2", "RemoveObject2"});
}

TEST_F(WindowScene, QuarterScaleShowsTheWindow)
{
    Scene scene;
    scene.rate = 24.0f;
    scene.slides.push_back(SceneSlide{kA, 320, 240, nullptr, nullptr, 2});
    scene.slides.push_back(SceneSlide{kB, 320, 240, Window(CWindowTransition::kSquareOpen, 1000), nullptr, 2});
    scene.slides.push_back(SceneSlide{kC, 320, 240, Window(CWindowTransition::kSquareClose, 1000), nullptr, 2});
    scene.loop = false;
    SceneMovie movie;
    ASSERT_TRUE(WriteScene(scene, dir_.file("window.swf"), &movie));
    // A quarter of the way the square's half side is 80 px.
    const std::pair<int, int> centre{160, 120}, inside{100, 70}, corner{5, 5}, outside{300, 200};
    const SceneMark& open = movie.marks[1];
    ExpectPlayedFrame(movie.path, open.firstFrame + 5, {{centre, kB}, {inside, kB}, {corner, kA}, {outside, kA}});
    const SceneMark& close = movie.marks[2];  // 18 of 24 frames: scale 0.25
    ExpectPlayedFrame(movie.path, close.firstFrame + 17, {{centre, kB}, {inside, kB}, {corner, kC}, {outside, kC}});
    ExpectPlayedFrame(movie.path, close.firstFrame + close.frames, {{centre, kC}, {corner, kC}});
}

}  // namespace
}  // namespace tavrel_test
