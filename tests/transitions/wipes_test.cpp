// The wipes: the masks' paths in every direction, the integer steps, Wipe
// On 2's two passes, Wipe Off's scale, the runs without frames or a
// previous slide, the direction words and controls, and whole movies.
#include "transitions/wipes.h"

#include <gtest/gtest.h>

#include <typeinfo>

#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/object.h"
#include "transitions/clip_kind_support.h"
#include "ui/controls_fixture.h"

namespace tavrel_test {
namespace {

using namespace clip_kinds;

const std::vector<std::string> kWords = {
    "up",           "down",           "right",          "left",
    "to_bottom_right", "to_bottom_left", "to_top_right", "to_top_left",
    "diag_to_bottom_right", "diag_to_bottom_left", "diag_to_top_right", "diag_to_top_left"};
const std::vector<std::string> kItems = {
    "Up", "Down", "Right", "Left", "Top Left to Bottom Right", "Top Right to Bottom Left", "Bottom Left to Top Right",
    "Bottom Right to Top Left", "Diagonal to Bottom Right", "Diagonal to Bottom Left", "Diagonal to Top Right",
    "Diagonal to Top Left"};

enum Kind { kOn, kOn2, kOff };

std::unique_ptr<CWipeTransition> Make(Kind kind, int direction, uint32_t ms)
{
    std::unique_ptr<CWipeTransition> t;
    if (kind == kOn)
        t = std::make_unique<CWipeOnTransition>();
    else if (kind == kOn2)
        t = std::make_unique<CWipeOn2Transition>();
    else
        t = std::make_unique<CWipeOffTransition>();
    t->direction = direction;
    t->SetDuration(ms);
    return t;
}

int& Direction(CTransition& t)
{
    return dynamic_cast<CWipeTransition&>(t).direction;
}

RunResult RunWipe(Kind kind, int direction, uint32_t ms, const KindRun& run = {})
{
    return RunKind(*Make(kind, direction, ms), run);
}

// The translations of the layer's placement and moves, in order.
std::vector<std::pair<int32_t, int32_t>> PathOf(const RunResult& r, uint16_t depth)
{
    std::vector<std::pair<int32_t, int32_t>> path;
    for (const RunTag& t : r.tags)
        if (t.code == swf_tag::kPlaceObject2 && t.depth == depth && t.matrix)
            path.emplace_back(t.matrix->translateX, t.matrix->translateY);
    return path;
}

TEST(Wipes, GoldenRuns)
{
    struct Case {
        Kind kind;
        int direction;
        uint32_t ms;
        bool previous;
        std::string outline;
        uint16_t slideDepth;  // where the new slide ends
        uint16_t maskDepth;
        std::vector<std::pair<int32_t, int32_t>> path;
    } const cases[] = {
        {kOn, 2, 333, true, "S P:3c4 P:4 M:3 F M:3 F M:3 F M:3 F R:3 R:1", 4, 3,
         {{-3200, 2400}, {-1600, 2400}, {0, 2400}, {1600, 2400}, {3200, 2400}}},
        {kOn, 0, 583, false, "S P:2c3 P:3 M:2 F M:2 F M:2 F M:2 F M:2 F M:2 F M:2 F R:2", 3, 2,
         {{3200, 7200}, {3200, 6515}, {3200, 5829}, {3200, 5143}, {3200, 4458}, {3200, 3772}, {3200, 3086}, {3200, 2400}}},
        {kOn, 5, 0, true, "S P:3c4 P:4 R:3 R:1", 4, 3, {{9600, -2400}}},
        {kOn2, 3, 417, true, "S P:3c4 P:4 M:3 F M:3 F P:5c6 P:6 M:5 F M:5 F M:5 F R:3 R:5 R:4 R:1", 6, 5,
         {{-3200, 2400}, {-1067, 2400}, {1066, 2400}, {3200, 2400}}},
        {kOn2, 3, 84, true, "S P:3c4 P:4 P:5c6 P:6 M:5 F R:3 R:5 R:4 R:1", 6, 5, {{3200, 2400}, {3200, 2400}}},
        // No frames of the first pass: the second starts from the centre.
        {kOn2, 1, 0, false, "S P:2c3 P:3 P:4c5 P:5 R:2 R:4 R:3", 5, 4, {{3200, 2400}}},
        {kOff, 2, 333, true, "P:2 R:1 S P:3c4 P:4 M:3 F M:3 F M:3 F M:3 F R:3 R:4", 2, 3,
         {{3200, 2400}, {4800, 2400}, {6400, 2400}, {8000, 2400}, {9600, 2400}}},
        {kOff, 10, 0, true, "P:2 R:1 S P:3c4 P:4 R:3 R:4", 2, 3, {{3200, 2400}}},
        {kOff, 2, 1000, false, "P:1", 1, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + " " + kWords[c.direction] + " " + std::to_string(c.ms));
        KindRun run;
        if (!c.previous) run.previous.reset();
        const RunResult r = RunWipe(c.kind, c.direction, c.ms, run);
        EXPECT_EQ(Outline(r.tags), c.outline);
        EXPECT_EQ(r.slideDepthAfter, c.slideDepth);
        if (c.maskDepth) {
            EXPECT_EQ(PathOf(r, c.maskDepth), c.path);
        }
        // Moves write the scale; placements of Wipe On's masks do not.
        for (const RunTag& t : r.tags) {
            if (t.code != swf_tag::kPlaceObject2 || t.depth != c.maskDepth) continue;
            ASSERT_TRUE(t.matrix);
            EXPECT_EQ(t.matrix->hasScale, t.move || c.kind == kOff);
            if (t.matrix->hasScale) {
                EXPECT_EQ(t.matrix->scaleX, 0x10000);
            }
        }
    }
}

TEST(Wipes, WipeOn2FirstPassIsAHalfOpaqueCopy)
{
    const RunResult r = RunWipe(kOn2, 3, 417);
    const RunTag& copy = r.tags[2];
    ASSERT_EQ(copy.depth, 4);
    EXPECT_EQ(Outline({copy}), "P:4");
    ASSERT_TRUE(copy.cxform && copy.matrix);
    EXPECT_EQ(copy.cxform->alphaMult, 128);
    EXPECT_EQ(copy.cxform->redMult, 256);
    EXPECT_FALSE(copy.cxform->hasAdd);
    EXPECT_FALSE(copy.matrix->hasScale);
    EXPECT_EQ(std::make_pair(copy.matrix->translateX, copy.matrix->translateY), std::make_pair(3200, 2400));
    // The first pass ends on the centre.
    EXPECT_EQ(PathOf(r, 3).back(), std::make_pair(3200, 2400));
}

// Every direction's start (Wipe On) and end (Wipe Off) about the centre of
// a 200 × 100 slide at (40, 20): W = 4000, H = 2000, centre (2800, 1400).
// Wipe Off's three frames end the whole way out.
TEST(Wipes, DirectionsAndShapes)
{
    const int sx[] = {0, 0, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1};
    const int sy[] = {1, -1, 0, 0, -1, -1, 1, 1, -1, -1, 1, 1};
    KindRun run;
    run.slide = {200, 100, 40, 20};
    run.previous = run.slide;
    for (int d = 0; d < CWipeTransition::kDirections; ++d) {
        SCOPED_TRACE(kWords[d]);
        const RunResult on = RunWipe(kOn, d, 250, run), off = RunWipe(kOff, d, 250, run);
        EXPECT_EQ(PathOf(on, 3).front(), std::make_pair(2800 + sx[d] * 4000, 1400 + sy[d] * 2000));
        EXPECT_EQ(PathOf(off, 3).back(), std::make_pair(2800 - sx[d] * 4000, 1400 - sy[d] * 2000));
        // The slide's rectangle, or the diamond with bounds twice its extent.
        for (const RunResult* r : {&on, &off}) {
            const RunTag* shape = nullptr;
            for (const RunTag& t : r->tags)
                if (t.bounds) shape = &t;
            ASSERT_TRUE(shape);
            const std::vector<int32_t> bounds{shape->bounds->xmin, shape->bounds->ymin, shape->bounds->xmax,
                                              shape->bounds->ymax};
            const std::vector<int32_t> diamond{-8000, -4000, 8000, 4000}, rectangle{-2000, -1000, 2000, 1000};
            EXPECT_EQ(bounds, d >= 8 ? diamond : rectangle);
        }
    }
}

TEST(Wipes, WipeOffKeepsThePlacementScale)
{
    KindRun run;
    run.previous = SlideSpec{320, 240, 0, 0, 0x8000};
    const RunResult r = RunWipe(kOff, 0, 333, run);
    int moves = 0;
    for (const RunTag& t : r.tags)
        if (t.code == swf_tag::kPlaceObject2 && t.depth >= 3) {
            ASSERT_TRUE(t.matrix && t.matrix->hasScale);
            EXPECT_EQ(t.matrix->scaleX, 0x8000);
            EXPECT_EQ(t.matrix->scaleY, 0x8000);
            moves += t.move;
        }
    EXPECT_EQ(moves, 4);
    // The height as shown: "up" leaves by 2400 twips at half size.
    EXPECT_EQ(PathOf(r, 3).back(), std::make_pair(3200, 2400 - 2400));
}

TEST(Wipes, DirectionWords)
{
    for (Kind kind : {kOn, kOn2, kOff}) {
        ExpectDirectionWords([kind] { return std::unique_ptr<CTransition>(Make(kind, 2, 2000)); }, Direction, kWords);
        auto fresh = Make(kind, 2, 2000);
        for (int d : {7, 0}) {
            fresh->direction = d;
            fresh->SetDefaults();
            EXPECT_EQ(fresh->direction, 2) << "right by default";
        }
        auto t = Make(kind, 11, 1500);
        for (const auto& copy : {t->Clone(), t->CreateInstance()}) {
            EXPECT_EQ(copy->GetName(), t->GetName());
            EXPECT_EQ(Direction(*copy), 11);
            EXPECT_EQ(typeid(*copy), typeid(*t));
        }
    }
    EXPECT_EQ(CWipeOnTransition().GetName(), "Wipe On");
    EXPECT_EQ(CWipeOn2Transition().GetName(), "Wipe On 2");
    EXPECT_EQ(CWipeOffTransition().GetName(), "Wipe Off");
}

using WipeControls = ControlsTest;

TEST_F(WipeControls, DirectionPopups)
{
    const struct {
        Kind kind;
        DirectionControls expected;
    } cases[] = {
        {kOn, {CWipeOnTransition::kLabelId, CWipeOnTransition::kPopupId, "Direction:", kItems}},
        {kOn2, {CWipeOnTransition::kLabelId, CWipeOnTransition::kPopupId, "Direction:", kItems}},
        {kOff, {CWipeOffTransition::kLabelId, CWipeOffTransition::kPopupId, "Direction", kItems}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        NoteWindow window;
        ASSERT_TRUE(OpenNew(window));
        const Kind kind = c.kind;
        ExpectDirectionControls([kind] { return std::unique_ptr<CTransition>(Make(kind, 2, 2000)); }, Direction,
                                c.expected, window, user_);
    }
}

constexpr long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;

TEST(WipesScene, EveryKindAndDirectionReplaysCleanTwice)
{
    for (Kind kind : {kOn, kOn2, kOff})
        for (int d = 0; d < CWipeTransition::kDirections; ++d) {
            SCOPED_TRACE(std::to_string(kind) + " " + kWords[d]);
            ExpectReplaysTwice([kind, d] { return std::unique_ptr<CTransition>(Make(kind, d, 250)); });
        }
}

// Wipe On "right" at frame 2 of 4: the left half new, the right half old.
// Wipe On 2 "left" at frame 2 of 4: the half-opaque copy over all of the
// old slide. Wipe Off "down" at frame 2 of 4: the old slide's copy moved
// half way down. Then only the new slide.
TEST(WipesScene, PlaysTheMasksPaths)
{
    TempDir dir;
    std::vector<FullFrameSlide> slides;
    slides.push_back({kA, nullptr});
    slides.push_back({kB, Make(kOn, 2, 333)});
    slides.push_back({kC, Make(kOn2, 3, 333)});
    slides.push_back({kA, Make(kOff, 1, 333)});
    const SceneMovie movie = WritePlayedScene(dir, std::move(slides));
    ASSERT_EQ(movie.marks.size(), 4u);
    long half = 0;
    for (int s : {16, 8, 0}) half |= ((((kB >> s) & 0xFF) + ((kC >> s) & 0xFF)) / 2) << s;
    const SceneMark& on = movie.marks[1];
    ExpectPlayedFrame(movie.path, on.firstFrame + 1, {{{40, 120}, kB}, {{150, 20}, kB}, {{170, 120}, kA}, {{300, 220}, kA}});
    const SceneMark& on2 = movie.marks[2];
    ExpectPlayedFrame(movie.path, on2.firstFrame + 1, {{{20, 120}, half}, {{300, 120}, half}}, 5);
    const SceneMark& off = movie.marks[3];
    ExpectPlayedFrame(movie.path, off.firstFrame + 1, {{{160, 60}, kA}, {{160, 180}, kC}, {{20, 230}, kC}});
    ExpectPlayedFrame(movie.path, off.firstFrame + off.frames, {{{160, 180}, kA}, {{20, 230}, kA}});
}

}  // namespace
}  // namespace tavrel_test
