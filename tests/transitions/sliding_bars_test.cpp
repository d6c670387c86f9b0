// Sliding Bars: the bars counted from the slide, their travel and delays,
// the skipped vertical bars, the direction words and controls, and whole
// movies replayed and played.
#include "transitions/sliding_bars.h"

#include <gtest/gtest.h>

#include <map>

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
    "horizontal",         "horizontal_top_to_bottom", "horizontal_bottom_to_top", "horizontal_middle_in",
    "horizontal_middle_out", "vertical",             "vertical_left_to_right",   "vertical_right_to_left",
    "vertical_middle_in", "vertical_middle_out"};

std::unique_ptr<CTransition> Make()
{
    return std::make_unique<CSlidingBarsTransition>();
}

int& Direction(CTransition& t)
{
    return dynamic_cast<CSlidingBarsTransition&>(t).direction;
}

RunResult RunBars(int direction, uint32_t ms, const KindRun& run)
{
    CSlidingBarsTransition t;
    t.direction = direction;
    t.SetDuration(ms);
    return RunKind(t, run);
}

// Per slot (the bar's index from the top or left), where its mask and copy
// stand in each frame.
struct Bar {
    uint16_t mask = 0, copy = 0;
    std::vector<std::pair<int32_t, int32_t>> maskAt, copyAt;  // [0] the placement
};

std::map<int, Bar> BarsOf(const RunResult& r, bool vertical, int32_t x0, int32_t y0)
{
    std::map<int, Bar> bars;
    std::map<uint16_t, int> slotOfDepth;
    for (const RunTag& t : r.tags) {
        if (t.code != swf_tag::kPlaceObject2 || !t.matrix) continue;
        const std::pair<int32_t, int32_t> at{t.matrix->translateX, t.matrix->translateY};
        if (!t.move && t.IsMask()) {
            const int slot = vertical ? (at.first - x0) / 200 : (at.second - y0) / 200;
            bars[slot].mask = t.depth;
            bars[slot].copy = t.clipDepth;
            bars[slot].maskAt.push_back(at);
            slotOfDepth[t.depth] = slotOfDepth[t.clipDepth] = slot;
        } else if (slotOfDepth.count(t.depth)) {
            Bar& bar = bars[slotOfDepth[t.depth]];
            (t.depth == bar.mask ? bar.maskAt : bar.copyAt).push_back(at);
        }
    }
    return bars;
}

TEST(SlidingBars, BarsAreTenPixelsOfTheSlide)
{
    struct Case {
        int direction, width, height;
        int bars;
        int32_t shapeRight, shapeBottom;
    } const cases[] = {
        {0, 320, 300, 30, 6400, 200}, {2, 320, 301, 31, 6400, 200}, {5, 300, 240, 30, 200, 4800},
        {9, 301, 240, 31, 200, 4800}, {4, 200, 5, 1, 4000, 200},
    };
    for (const Case& c : cases) {
        KindRun run;
        run.movieWidth = 320, run.movieHeight = 320;
        run.slide = {c.width, c.height, 0, 0};
        const RunResult r = RunBars(c.direction, 1000, run);
        int masks = 0;
        for (const RunTag& t : r.tags) masks += t.IsMask();
        EXPECT_EQ(masks, c.bars) << c.direction << " " << c.width << "x" << c.height;
        ASSERT_TRUE(r.tags.front().bounds);
        const CSwfRect& b = *r.tags.front().bounds;
        EXPECT_EQ(std::vector<int32_t>({b.xmin, b.ymin, b.xmax, b.ymax}),
                  std::vector<int32_t>({0, 0, c.shapeRight, c.shapeBottom}));
        EXPECT_EQ(r.frames, 12);
    }
}

TEST(SlidingBars, DelaysStaggerTheLanding)
{
    struct Case {
        int direction, bar;
        int64_t delay;
    } const cases[] = {
        {0, 29, 0},    {1, 0, 0},     {1, 29, 5800}, {2, 0, 6000},   {2, 29, 200},  {3, 15, 0},
        {3, 0, 3000},  {3, 29, 2800}, {4, 0, 0},     {4, 29, 200},   {4, 15, 3000}, {5, 7, 0},
        {6, 29, 5800}, {7, 29, 200},  {8, 0, 3000},  {9, 15, 3000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CSlidingBarsTransition::Delay(c.direction, c.bar, 30), c.delay) << c.direction << " bar " << c.bar;
}

// A 320 × 300 slide filling its frame: D = 6400, 30 bars, 4 frames.
TEST(SlidingBars, BarsAndCopiesTravelTogetherAndStopHome)
{
    struct Case {
        int direction;
        std::map<int, int32_t> firstFrameOffset;  // bar → its offset in frame 1
    } const cases[] = {
        {0, {{0, -4800}, {1, 4800}, {29, 4800}}},  // step 6400 / 4
        {1, {{0, -3300}, {1, 3500}, {29, 9100}}},  // step 12400 / 4, rem 3300
        {3, {{15, 3300}, {0, -6300}, {29, 6100}}},
        {4, {{0, -3300}, {29, 3500}, {15, 6300}}},
        {2, {{0, -9300}, {29, 3500}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.direction);
        KindRun run;
        run.movieHeight = 300;
        run.slide = {320, 300, 0, 0};
        const RunResult r = RunBars(c.direction, 333, run);
        ASSERT_EQ(r.frames, 4);
        const auto bars = BarsOf(r, false, 0, 0);
        ASSERT_EQ(bars.size(), 30u);
        for (const auto& [slot, bar] : bars) {
            ASSERT_EQ(bar.maskAt.size(), 5u) << slot;
            ASSERT_EQ(bar.copyAt.size(), 5u) << slot;
            EXPECT_EQ(bar.maskAt[0], std::make_pair(0, slot * 200));
            for (int k = 1; k <= 4; ++k) {
                const int32_t offset = bar.maskAt[k].first;
                // Even bars from the left, odd ones from the right; none passes home.
                EXPECT_TRUE(slot % 2 ? offset >= 0 : offset <= 0) << slot << " frame " << k;
                EXPECT_EQ(bar.maskAt[k].second, slot * 200);
                EXPECT_EQ(bar.copyAt[k], std::make_pair(3200 + offset, 3000)) << slot << " frame " << k;
            }
            const auto first = c.firstFrameOffset.find(slot);
            if (first != c.firstFrameOffset.end()) {
                EXPECT_EQ(bar.maskAt[1].first, first->second) << slot;
            }
        }
    }
}

// However the travel and the frame count divide, every bar and its copy
// stand home in the last frame: 6400 twips, or 12400 with the delays,
// over 7 or 100 frames.
TEST(SlidingBars, EveryBarHomeInTheLastFrame)
{
    for (int direction : {0, 1, 2, 3, 4})
        for (uint32_t ms : {583u, 8333u}) {
            SCOPED_TRACE(std::to_string(direction) + ", " + std::to_string(ms) + " ms");
            KindRun run;
            run.movieHeight = 300;
            run.slide = {320, 300, 0, 0};
            const RunResult r = RunBars(direction, ms, run);
            const auto bars = BarsOf(r, false, 0, 0);
            ASSERT_EQ(bars.size(), 30u);
            for (const auto& [slot, bar] : bars) {
                ASSERT_EQ(bar.maskAt.size(), size_t(r.frames + 1)) << slot;
                EXPECT_EQ(bar.maskAt.back(), std::make_pair(0, slot * 200)) << slot;
                EXPECT_EQ(bar.copyAt.back(), std::make_pair(3200, 3000)) << slot;
            }
        }
}

// A slide 400 px wide centred on a 320 px frame: bars 0-2 lie more than a
// bar left of it, bars 38 and 39 more than a bar right.
TEST(SlidingBars, VerticalBarsOffTheFrameAreLeftOut)
{
    KindRun run;
    run.slide = {400, 240, -40, 0};
    const RunResult r = RunBars(5, 250, run);  // 3 frames
    const auto bars = BarsOf(r, true, -800, 0);
    std::vector<int> placed;
    for (const auto& [slot, bar] : bars) placed.push_back(slot);
    std::vector<int> expected;
    for (int i = 3; i <= 37; ++i) expected.push_back(i);
    EXPECT_EQ(placed, expected);
    // Moves and removals only for those placed; the alternation counts the
    // skipped slots.
    int removals = 0, moves = 0;
    for (const RunTag& t : r.tags) {
        removals += t.code == swf_tag::kRemoveObject2;
        moves += t.move;
    }
    EXPECT_EQ(moves, 35 * 2 * 3);
    EXPECT_EQ(removals, 35 * 2 + 1);
    // D = 4800 over 3 frames: 3200 to go after the first; x stays.
    EXPECT_EQ(bars.at(3).maskAt[1], std::make_pair(-200, 3200)) << "bar 3 comes from the bottom";
    EXPECT_EQ(bars.at(4).maskAt[1], std::make_pair(0, -3200)) << "bar 4 from the top";
    EXPECT_EQ(bars.at(4).copyAt[1], std::make_pair(3200, 2400 - 3200));
    EXPECT_EQ(bars.at(4).maskAt[3], std::make_pair(0, 0));
}

TEST(SlidingBars, WithoutFramesPlacesAndRemovesAtOnce)
{
    for (bool previous : {true, false}) {
        KindRun run;
        run.slide = {320, 40, 0, 100};  // four bars
        if (!previous) run.previous.reset();
        const RunResult r = RunBars(1, 40, run);
        const std::string d = previous ? "P:3c4 P:4 P:5c6 P:6 P:7c8 P:8 P:9c10 P:10 R:3 R:5 R:7 R:9 R:4 R:6 R:8 R:10 P:2 R:1"
                                       : "P:2c3 P:3 P:4c5 P:5 P:6c7 P:7 P:8c9 P:9 R:2 R:4 R:6 R:8 R:3 R:5 R:7 R:9 P:1";
        EXPECT_EQ(Outline(r.tags), "S " + d);
        EXPECT_EQ(r.slideDepthAfter, r.slideDepthBefore);
    }
}

TEST(SlidingBars, DirectionWords)
{
    ExpectDirectionWords(Make, Direction, kWords);
    EXPECT_EQ(CSlidingBarsTransition().direction, 0);
    CSlidingBarsTransition t;
    t.direction = 7;
    EXPECT_EQ(dynamic_cast<CSlidingBarsTransition&>(*t.Clone()).direction, 7);
    EXPECT_EQ(dynamic_cast<CSlidingBarsTransition&>(*t.CreateInstance()).direction, 7);
}

using SlidingBarsControls = ControlsTest;

TEST_F(SlidingBarsControls, DirectionPopup)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    ExpectDirectionControls(Make, Direction,
                            {CSlidingBarsTransition::kLabelId, CSlidingBarsTransition::kPopupId, "Direction",
                             {"Horizontal", "Horizontal Top to Bottom", "Horizontal Bottom to Top",
                              "Horizontal Middle In", "Horizontal Middle Out", "Vertical", "Vertical Left to Right",
                              "Vertical Right to Left", "Vertical Middle In", "Vertical Middle Out"}},
                            window, user_);
}

constexpr long kA = 0x20C040, kB = 0xE0C020;

std::unique_ptr<CTransition> Bars(int direction, uint32_t ms = 250)
{
    auto t = std::make_unique<CSlidingBarsTransition>();
    t->direction = direction;
    t->SetDuration(ms);
    return t;
}

// Every direction into the first slide (no previous slide, then again at
// the loop) and into the others.
TEST(SlidingBarsScene, EveryDirectionReplaysCleanTwice)
{
    for (int d = 0; d < CSlidingBarsTransition::kDirections; ++d) {
        SCOPED_TRACE(d);
        ExpectReplaysTwice([d] { return Bars(d); });
    }
}

TEST(SlidingBarsScene, PlaysAlternateStripes)
{
    TempDir dir;
    std::vector<FullFrameSlide> slides;
    slides.push_back({kA, nullptr});
    slides.push_back({kB, Bars(0, 333)});  // 4 frames; each bar half way in at frame 2
    const SceneMovie movie = WritePlayedScene(dir, std::move(slides));
    ASSERT_EQ(movie.marks.size(), 2u);
    const SceneMark& into = movie.marks[1];
    // Bar 0 (rows 0-9) from the left, bar 1 (rows 10-19) from the right.
    ExpectPlayedFrame(movie.path, into.firstFrame + 1,
                      {{{80, 5}, kB}, {{240, 5}, kA}, {{80, 15}, kA}, {{240, 15}, kB}, {{80, 225}, kB}, {{240, 235}, kB}});
    ExpectPlayedFrame(movie.path, into.firstFrame + into.frames, {{{80, 5}, kB}, {{240, 15}, kB}, {{160, 120}, kB}});
}

}  // namespace
}  // namespace tavrel_test
