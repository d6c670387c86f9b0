// Blinds In and Blinds Out: slats counted from the slide, their shapes and
// anchors, the scales frame by frame, the cases without a previous slide
// or frames, the direction words and controls, and whole movies.
#include "transitions/blinds.h"

#include <gtest/gtest.h>

#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/object.h"
#include "transitions/clip_kind_support.h"
#include "ui/controls_fixture.h"

namespace tavrel_test {
namespace {

using namespace clip_kinds;

const std::vector<std::string> kWords = {"horizontal_up", "horizontal_down", "vertical_left", "vertical_right"};
const std::vector<std::string> kItems = {"Horizontal Up", "Horizontal Down", "Vertical Left", "Vertical Right"};

std::unique_ptr<CBlindsTransition> Make(bool out, int direction, uint32_t ms)
{
    std::unique_ptr<CBlindsTransition> t;
    if (out)
        t = std::make_unique<CBlindsOutTransition>();
    else
        t = std::make_unique<CBlindsInTransition>();
    t->direction = direction;
    t->SetDuration(ms);
    return t;
}

int& Direction(CTransition& t)
{
    return dynamic_cast<CBlindsTransition&>(t).direction;
}

std::vector<const RunTag*> Masks(const RunResult& r)
{
    std::vector<const RunTag*> masks;
    for (const RunTag& t : r.tags)
        if (t.IsMask()) masks.push_back(&t);
    return masks;
}

TEST(Blinds, SlatsAreTwentyPixelsOfTheSlideTheyCut)
{
    struct Case {
        bool out;
        int direction, width, height;
        size_t slats;
    } const cases[] = {
        {false, 0, 320, 300, 15}, {false, 1, 320, 310, 16}, {true, 0, 320, 300, 15},
        {true, 1, 320, 310, 16},  {false, 3, 300, 240, 15}, {true, 2, 310, 240, 16},
    };
    for (const Case& c : cases) {
        KindRun run;
        run.movieHeight = 320;
        // The slats are cut from the new slide (In) or the previous one (Out).
        (c.out ? *run.previous : run.slide) = {c.width, c.height, 0, 0};
        auto t = Make(c.out, c.direction, 1000);
        EXPECT_EQ(Masks(RunKind(*t, run)).size(), c.slats) << c.out << c.direction << " " << c.width << "x" << c.height;
    }
}

// Shapes, anchors and start of the first slat; the new slide 320 × 240 at
// (0, 0) for In, the previous one 280 × 200 at (20, 10) for Out.
TEST(Blinds, SlatShapesAndAnchors)
{
    struct Case {
        bool out;
        int direction;
        std::vector<int32_t> bounds;  // xmin, ymin, xmax, ymax
        std::pair<int32_t, int32_t> firstAt, secondAt;
    } const cases[] = {
        {false, 0, {0, -400, 6400, 0}, {0, 400}, {0, 800}},   {false, 1, {0, 0, 6400, 400}, {0, 0}, {0, 400}},
        {false, 2, {-400, 0, 0, 4800}, {400, 0}, {800, 0}},   {false, 3, {0, 0, 400, 4800}, {0, 0}, {400, 0}},
        {true, 0, {0, 0, 5600, 400}, {400, 200}, {400, 600}}, {true, 1, {0, -400, 5600, 0}, {400, 600}, {400, 1000}},
        {true, 2, {0, 0, 400, 4000}, {400, 200}, {800, 200}}, {true, 3, {-400, 0, 0, 4000}, {800, 200}, {1200, 200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.out ? "out " : "in ") + kWords[c.direction]);
        KindRun run;
        run.previous = SlideSpec{280, 200, 20, 10};
        const RunResult r = RunKind(*Make(c.out, c.direction, 333), run);
        const RunTag* shape = nullptr;
        for (const RunTag& t : r.tags)
            if (t.bounds) shape = &t;
        ASSERT_TRUE(shape && shape->bounds);
        EXPECT_EQ(std::vector<int32_t>({shape->bounds->xmin, shape->bounds->ymin, shape->bounds->xmax, shape->bounds->ymax}),
                  c.bounds);
        const auto masks = Masks(r);
        ASSERT_GE(masks.size(), 2u);
        EXPECT_EQ(std::make_pair(masks[0]->matrix->translateX, masks[0]->matrix->translateY), c.firstAt);
        EXPECT_EQ(std::make_pair(masks[1]->matrix->translateX, masks[1]->matrix->translateY), c.secondAt);
        EXPECT_FALSE(masks[0]->matrix->hasScale);
    }
}

TEST(Blinds, ScalesFrameByFrame)
{
    struct Case {
        bool out;
        int direction;
        std::vector<int32_t> scales;
    } const cases[] = {
        {false, 0, {16384, 32768, 49152, 65536}},
        {false, 3, {16384, 32768, 49152, 65536}},
        {true, 1, {49152, 32768, 16384, 0}},
        {true, 2, {49152, 32768, 16384, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.out ? "out " : "in ") + kWords[c.direction]);
        KindRun run;
        const RunResult r = RunKind(*Make(c.out, c.direction, 333), run);
        const auto frames = SplitFrames(r.tags);
        ASSERT_EQ(frames.size(), 6u);
        const size_t slats = Masks(r).size();
        const bool vertical = c.direction >= 2;
        for (int k = 1; k <= 4; ++k) {
            ASSERT_EQ(frames[k].size(), slats) << "one move per slat in frame " << k;
            for (const RunTag& move : frames[k]) {
                ASSERT_TRUE(move.move && move.matrix && move.matrix->hasScale);
                EXPECT_EQ(vertical ? move.matrix->scaleX : move.matrix->scaleY, c.scales[k - 1]) << k;
                EXPECT_EQ(vertical ? move.matrix->scaleY : move.matrix->scaleX, 65536) << k;
            }
        }
    }
}

TEST(Blinds, OrderOfTheRun)
{
    KindRun run;
    run.slide = {320, 40, 0, 100};  // two horizontal slats
    run.previous = SlideSpec{320, 40, 0, 0};
    struct Case {
        bool out, previous;
        uint32_t ms;
        std::string outline;
    } const cases[] = {
        {false, true, 40, "S P:3c4 P:4 P:5c6 P:6 R:3 R:5 R:4 R:6 P:2 R:1"},
        {false, false, 40, "S P:2c3 P:3 P:4c5 P:5 R:2 R:4 R:3 R:5 P:1"},
        {false, true, 167, "S P:3c4 P:4 P:5c6 P:6 M:3 M:5 F M:3 M:5 F R:3 R:5 R:4 R:6 P:2 R:1"},
        {true, true, 40, "P:2 R:1 S P:3c4 P:4 P:5c6 P:6 R:3 R:5 R:4 R:6"},
        {true, true, 167, "P:2 R:1 S P:3c4 P:4 P:5c6 P:6 M:3 M:5 F M:3 M:5 F R:3 R:5 R:4 R:6"},
        {true, false, 1000, "P:1"},
    };
    for (const Case& c : cases) {
        KindRun k = run;
        if (!c.previous) k.previous.reset();
        EXPECT_EQ(Outline(RunKind(*Make(c.out, 0, c.ms), k).tags), c.outline) << c.out << c.previous << c.ms;
    }
}

// Copies carry the cut slide's placement scale; a vertical slat more than a
// slat off the frame is not placed, moved or removed.
TEST(Blinds, CopiesKeepTheScaleAndFarSlatsAreLeftOut)
{
    KindRun run;
    // 8800 twips wide as placed, left edge at -1200: "Vertical Right" slats
    // of Out start a slat further, at -800 + 400 i; 0, 20 and 21 lie out.
    run.previous = SlideSpec{880, 240, -280, 0, 0x8000};
    const RunResult r = RunKind(*Make(true, 3, 250), run);
    const auto masks = Masks(r);
    ASSERT_EQ(masks.size(), 19u);
    EXPECT_EQ(masks.front()->matrix->translateX, -400);
    EXPECT_EQ(masks.back()->matrix->translateX, 6800);
    int copies = 0, removals = 0;
    for (const RunTag& t : r.tags) {
        if (t.code == swf_tag::kPlaceObject2 && !t.move && !t.IsMask() && t.depth > 2) {
            ++copies;
            EXPECT_EQ(t.matrix->scaleX, 0x8000);
            EXPECT_EQ(t.matrix->scaleY, 0x8000);
            EXPECT_EQ(t.matrix->translateX, 3200);
        }
        removals += t.code == swf_tag::kRemoveObject2;
    }
    EXPECT_EQ(copies, 19);
    EXPECT_EQ(removals, 1 + 38);
    EXPECT_EQ(r.frames, 3);
}

TEST(Blinds, DirectionWords)
{
    for (bool out : {false, true}) {
        ExpectDirectionWords([out] { return std::unique_ptr<CTransition>(Make(out, 0, 2000)); }, Direction, kWords);
        auto t = Make(out, 3, 2000);
        EXPECT_EQ(t->GetName(), out ? "Blinds Out" : "Blinds In");
        for (const auto& copy : {t->Clone(), t->CreateInstance()}) {
            EXPECT_EQ(copy->GetName(), t->GetName());
            EXPECT_EQ(Direction(*copy), 3);
            EXPECT_EQ(dynamic_cast<CBlindsTransition&>(*copy).IsOut(), out);
        }
    }
}

using BlindsControls = ControlsTest;

TEST_F(BlindsControls, DirectionPopups)
{
    for (bool out : {false, true}) {
        SCOPED_TRACE(out);
        NoteWindow window;
        ASSERT_TRUE(OpenNew(window));
        const DirectionControls expected =
            out ? DirectionControls{CBlindsOutTransition::kLabelId, CBlindsOutTransition::kPopupId, "Direction", kItems}
                : DirectionControls{CBlindsInTransition::kLabelId, CBlindsInTransition::kPopupId, "Direction", kItems};
        ExpectDirectionControls([out] { return std::unique_ptr<CTransition>(Make(out, 0, 2000)); }, Direction,
                                expected, window, user_);
    }
}

constexpr long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;

TEST(BlindsScene, EveryDirectionReplaysCleanTwice)
{
    for (bool out : {false, true})
        for (int d = 0; d < CBlindsTransition::kDirections; ++d) {
            SCOPED_TRACE(std::string(out ? "out " : "in ") + kWords[d]);
            ExpectReplaysTwice([out, d] { return std::unique_ptr<CTransition>(Make(out, d, 250)); });
        }
}

// Blinds In "Horizontal Up" at half scale: each slat's lower half (its
// anchor) shows the new slide, its upper half the old one; then Blinds Out
// "Vertical Right" at half scale: each old slat keeps its right half.
TEST(BlindsScene, PlaysHalfOpenSlats)
{
    TempDir dir;
    std::vector<FullFrameSlide> slides;
    slides.push_back({kA, nullptr});
    slides.push_back({kB, Make(false, 0, 333)});
    slides.push_back({kC, Make(true, 3, 333)});
    const SceneMovie movie = WritePlayedScene(dir, std::move(slides));
    ASSERT_EQ(movie.marks.size(), 3u);
    const SceneMark& in = movie.marks[1];
    ExpectPlayedFrame(movie.path, in.firstFrame + 1,
                      {{{100, 15}, kB}, {{100, 5}, kA}, {{250, 35}, kB}, {{250, 25}, kA}, {{10, 235}, kB}});
    const SceneMark& out = movie.marks[2];
    ExpectPlayedFrame(movie.path, out.firstFrame + 1,
                      {{{5, 100}, kC}, {{15, 100}, kB}, {{25, 200}, kC}, {{35, 200}, kB}, {{305, 5}, kC}, {{315, 5}, kB}});
    ExpectPlayedFrame(movie.path, out.firstFrame + out.frames, {{{5, 100}, kC}, {{160, 120}, kC}});
}

}  // namespace
}  // namespace tavrel_test
