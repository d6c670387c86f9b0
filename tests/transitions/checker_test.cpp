// Checker: the grid, the stagger, the orders, the cell animations and the
// finish; the XML words, the controls, and scenes replayed and played.
#include "transitions/checker_transition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "masked_run.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/object.h"
#include "ui/controls_fixture.h"

namespace tavrel_test {
namespace {

using Places = std::vector<std::pair<int, int>>;

std::unique_ptr<CCheckerTransition> Checker(int type, int direction, uint32_t ms)
{
    auto t = std::make_unique<CCheckerTransition>();
    t->type = type;
    t->direction = direction;
    t->SetDuration(ms);
    return t;
}

TEST(Checker, SpiralsAndRowOrders)
{
    const struct {
        int direction, columns, rows;
        Places order;
    } cases[] = {
        {CCheckerTransition::kSpiralTopLeftCw,
         4,
         3,
         {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {3, 2}, {2, 2}, {1, 2}, {0, 2}, {0, 1}, {1, 1}, {2, 1}}},
        {CCheckerTransition::kSpiralBottomRightCcw, 1, 3, {{0, 2}, {0, 1}, {0, 0}}},
        {CCheckerTransition::kSpiralBottomRightCcw, 3, 1, {{2, 0}, {1, 0}, {0, 0}}},
        {CCheckerTransition::kSpiralTopRightCcw,
         3,
         3,
         {{2, 0}, {1, 0}, {0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {1, 1}}},
        {CCheckerTransition::kSpiralBottomLeftCw, 2, 2, {{0, 1}, {0, 0}, {1, 0}, {1, 1}}},
        {CCheckerTransition::kRightToLeftUp, 2, 2, {{1, 1}, {0, 1}, {1, 0}, {0, 0}}},
        {CCheckerTransition::kTopToBottomLeft, 2, 2, {{1, 0}, {1, 1}, {0, 0}, {0, 1}}},
        {CCheckerTransition::kBottomToTopRight, 2, 2, {{0, 1}, {0, 0}, {1, 1}, {1, 0}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CCheckerTransition::CellOrder(c.direction, c.columns, c.rows), c.order) << c.direction;
    // Every order visits every cell once, on any grid.
    for (int direction = 0; direction < CCheckerTransition::kRandom; ++direction)
        for (auto [columns, rows] : {std::pair{1, 1}, {1, 5}, {6, 1}, {4, 3}, {5, 7}, {8, 8}}) {
            const Places order = CCheckerTransition::CellOrder(direction, columns, rows);
            EXPECT_EQ(order.size(), size_t(columns * rows)) << direction << " " << columns << "x" << rows;
            const std::set<std::pair<int, int>> distinct(order.begin(), order.end());
            EXPECT_EQ(distinct.size(), order.size()) << direction;
        }
    EXPECT_TRUE(CCheckerTransition::CellOrder(CCheckerTransition::kRandom, 4, 3).empty());
}

// 320 × 240 at 12 frames a second; previous slide at depth 1, new at 2,
// cell pairs from 3 in row-major order.
TEST(Checker, GridStaggerAndFinish)
{
    auto t = Checker(CCheckerTransition::kAppear, CCheckerTransition::kLeftToRightDown, 2000);
    const MaskedRun run = RunMasked(*t);
    EXPECT_EQ(std::make_pair(t->columns, t->rows), std::make_pair(4, 3));
    ASSERT_EQ(run.Frames(), 24);
    const std::vector<WrittenTag> setUp = run.Frame(1);
    ASSERT_GE(setUp.size(), 25u);
    EXPECT_EQ(
        std::make_tuple(setUp[0].outline.xmin, setUp[0].outline.ymin, setUp[0].outline.xmax, setUp[0].outline.ymax),
        std::make_tuple(0, 0, 1600, 1600));
    for (int k = 0; k < 12; ++k) {
        const WrittenTag& mask = setUp[1 + 2 * k];
        const WrittenTag& copy = setUp[2 + 2 * k];
        EXPECT_EQ(std::make_tuple(mask.depth, mask.clipDepth, mask.x, mask.y),
                  std::make_tuple(3 + 2 * k, 4 + 2 * k, k % 4 * 1600, k / 4 * 1600));
        EXPECT_EQ(std::make_tuple(copy.depth, copy.characterId, copy.x, copy.y, copy.alphaMult),
                  std::make_tuple(4 + 2 * k, run.newId, 3200, 2400, 0));
    }
    // n = 24, 12 cells: d = 6 and s = 1, so cell k shows in frame k + 1.
    for (int k = 0; k < 12; ++k) {
        const std::vector<WrittenTag> shown = run.MovesAt(uint16_t(4 + 2 * k));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].alphaMult, 256);
        const std::vector<WrittenTag> frame = run.Frame(k + 1);
        EXPECT_EQ(frame.back().depth, 4 + 2 * k) << k;
    }
    EXPECT_EQ(TagWords(run.Frame(25)),
              "R:3 R:5 R:7 R:9 R:11 R:13 R:15 R:17 R:19 R:21 R:23 R:25 "
              "R:4 R:6 R:8 R:10 R:12 R:14 R:16 R:18 R:20 R:22 R:24 R:26 P:2 R:1");

    // 330 px: a fifth column, sticking out 1400 twips past the slide.
    MaskedSetup wide;
    wide.width = 330;
    const MaskedRun five = RunMasked(*t, wide);
    EXPECT_EQ(std::make_pair(t->columns, t->rows), std::make_pair(5, 3));
    EXPECT_EQ(five.Frame(1)[9].x + 1600 - (-100 + 6600), 1400);
}

TEST(Checker, StartFramesAndAnimations)
{
    // Start frames (1-based) of the cells' first moves, in row-major order.
    const struct {
        int type;
        uint32_t ms;  // 12 frames a second
        std::vector<int> firstFrames;
        size_t movesPerCell;
    } cases[] = {
        // n = 12, d = 3: N > n - d, so every cell starts at once.
        {CCheckerTransition::kFadeIn, 1000, std::vector<int>(12, 1), 3},
        // n = 3: d = 0; Appear still shows each cell, the others nothing.
        {CCheckerTransition::kAppear, 250, std::vector<int>(12, 1), 1},
        {CCheckerTransition::kZoomIn, 250, {}, 0},
        {CCheckerTransition::kDropDown, 250, {}, 0},
        // n = 16: d = 4, s = 1.
        {CCheckerTransition::kFadeIn, 1333, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 4},
    };
    for (const auto& c : cases) {
        auto t = Checker(c.type, CCheckerTransition::kLeftToRightDown, c.ms);
        const MaskedRun run = RunMasked(*t);
        std::vector<int> first;
        for (int k = 0; k < 12; ++k) {
            const std::vector<WrittenTag> moves = run.MovesAt(uint16_t(4 + 2 * k));
            EXPECT_EQ(moves.size(), c.movesPerCell) << c.type << " " << c.ms;
            for (int f = 1; f <= run.Frames() && !moves.empty(); ++f) {
                const auto tags = run.Frame(f);
                if (std::any_of(tags.begin(), tags.end(),
                                [&](const WrittenTag& w) { return w.move && w.depth == 4 + 2 * k; })) {
                    first.push_back(f);
                    break;
                }
            }
        }
        EXPECT_EQ(first, c.firstFrames) << c.type << " " << c.ms;
    }
    // A fade over four frames.
    auto fade = Checker(CCheckerTransition::kFadeIn, CCheckerTransition::kLeftToRightDown, 1333);
    std::vector<int> alphas;
    for (const WrittenTag& m : RunMasked(*fade).MovesAt(10)) alphas.push_back(m.alphaMult);
    EXPECT_EQ(alphas, (std::vector<int>{64, 128, 192, 256}));
}

TEST(Checker, DropsAndZoomsMoveMaskAndCopyTogether)
{
    // Travel 6400 over 6 frames: from 6400 off the place, frame k at
    // 6400 × k / 6 of the way (1066, 2133, ... 6400), the last on the place.
    auto drop = Checker(CCheckerTransition::kDropRight, CCheckerTransition::kLeftToRightDown, 2000);
    const MaskedRun run = RunMasked(*drop);
    const std::vector<WrittenTag> copy = run.MovesAt(4), mask = run.MovesAt(3);
    ASSERT_EQ(copy.size(), 6u);
    ASSERT_EQ(mask.size(), 6u);
    for (size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(copy[k].x, 3200 - 6400 + 6400 * int(k + 1) / 6) << k;
        EXPECT_EQ(mask[k].x, 0 - 6400 + 6400 * int(k + 1) / 6) << k;
        EXPECT_EQ(std::make_pair(copy[k].y, mask[k].y), std::make_pair(2400, 0));
        EXPECT_EQ(copy[k].hasCxform, k == 0);
        EXPECT_FALSE(copy[k].hasScale || mask[k].hasScale);
    }
    const struct {
        int type;
        int32_t dx, dy;  // the first step of cell 0
    } drops[] = {{CCheckerTransition::kDropLeft, -1066, 0},
                 {CCheckerTransition::kDropUp, 0, -1066},
                 {CCheckerTransition::kDropDown, 0, 1066}};
    for (const auto& d : drops) {
        auto t = Checker(d.type, CCheckerTransition::kLeftToRightDown, 2000);
        const WrittenTag first = RunMasked(*t).MovesAt(3).front();
        EXPECT_EQ(std::make_pair(first.x, first.y), std::make_pair(-6400 * d.dx / 1066 + d.dx, -6400 * d.dy / 1066 + d.dy))
            << d.type;
    }
    // Zoom: the mask about the cell's corner, the copy about the slide's centre.
    auto zoom = Checker(CCheckerTransition::kZoomIn, CCheckerTransition::kLeftToRightDown, 2000);
    const MaskedRun z = RunMasked(*zoom);
    const std::vector<WrittenTag> zm = z.MovesAt(5), zc = z.MovesAt(6);
    ASSERT_EQ(zm.size(), 6u);
    EXPECT_EQ(std::make_tuple(zm[0].scaleX, zm[0].x, zm[0].y), std::make_tuple(10923, 1600, 0));
    EXPECT_EQ(std::make_tuple(zc[0].scaleY, zc[0].x, zc[0].y, zc[0].alphaMult),
              std::make_tuple(10923, 3200, 2400, 256));
    EXPECT_EQ(std::make_pair(zm[5].scaleX, zc[5].hasCxform), std::make_pair(65536, false));
}

TEST(Checker, RandomIsAPermutationDrawnFromRand)
{
    auto t = Checker(CCheckerTransition::kAppear, CCheckerTransition::kRandom, 2000);
    auto order = [&] {
        std::vector<int> shown;  // the copy depth shown in each frame
        const MaskedRun run = RunMasked(*t);
        for (int f = 1; f <= 12; ++f)
            for (const WrittenTag& w : run.Frame(f))
                if (w.move) shown.push_back(w.depth);
        return shown;
    };
    std::srand(7);
    const std::vector<int> first = order();
    std::srand(7);
    EXPECT_EQ(order(), first);
    std::vector<int> sorted = first;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<int>{4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26}));
    // Drop Random draws a drop per cell from the same generator.
    auto drops = Checker(CCheckerTransition::kDropRandom, CCheckerTransition::kRandom, 2000);
    std::srand(11);
    std::set<std::pair<int32_t, int32_t>> firstSteps;
    const MaskedRun run = RunMasked(*drops);
    for (int k = 0; k < 12; ++k) {
        const std::vector<WrittenTag> m = run.MovesAt(uint16_t(3 + 2 * k));
        ASSERT_EQ(m.size(), 6u);
        firstSteps.emplace(m[1].x - m[0].x, m[1].y - m[0].y);
    }
    EXPECT_GT(firstSteps.size(), 1u);
    // Frames 1 and 2 stand 1066 and 2133 twips of the 6400 on.
    for (const auto& step : firstSteps) EXPECT_EQ(std::abs(step.first) + std::abs(step.second), 1067);
}

TEST(Checker, XmlWordsBothWays)
{
    CTransitionList list;
    list.CreateAll();
    for (int direction = 0; direction < CCheckerTransition::kDirectionCount; ++direction) {
        auto t = Checker(direction % CCheckerTransition::kTypeCount, direction, 1200);
        const XmlTrip trip = WriteAndRead(*t);
        auto* back = dynamic_cast<CCheckerTransition*>(trip.read.get());
        ASSERT_NE(back, nullptr) << trip.written;
        EXPECT_EQ(std::make_pair(back->type, back->direction), std::make_pair(t->type, t->direction)) << trip.written;
    }
    EXPECT_EQ(WriteAndRead(*Checker(CCheckerTransition::kDropUp, CCheckerTransition::kSpiralTopRightCcw, 900)).written,
              "<transition name=\"Checker\" duration=\"900\" type=\"drop_up\" "
              "direction=\"horizontal_spiral_top_right_ccw\" />\n");
    const struct {
        const char* attributes;
        int type, direction;
    } reads[] = {
        {"type=\"zoom_in\" direction=\"spiral_bottom_left_ccw\"", 2, 13},
        {"direction=\"vertical_bottom_to_top_left\"", 5, 7},
        {"type=\"Zoom_In\" direction=\"sideways\"", 5, 9},  // kept
    };
    CCheckerTransition* prototype = dynamic_cast<CCheckerTransition*>(list.FindByName("Checker"));
    ASSERT_NE(prototype, nullptr);
    prototype->type = 5;
    prototype->direction = 9;
    for (const auto& r : reads) {
        TempDir dir;
        WriteFile(dir.file("c.xml"), std::string("<transition name=\"Checker\" ") + r.attributes + " />");
        CXMLDocument document;
        CXMLNode node;
        ASSERT_TRUE(document.Load(CPath(dir.file("c.xml"))) && document.GetFirstChild(node));
        auto read = CTransitionList::CreateFromXml(node);
        auto* c = dynamic_cast<CCheckerTransition*>(read.get());
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(std::make_pair(c->type, c->direction), std::make_pair(r.type, r.direction)) << r.attributes;
    }
}

using CheckerControls = ControlsTest;

TEST_F(CheckerControls, PopupsChooseTypeAndDirection)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CCheckerTransition t;
    t.type = CCheckerTransition::kZoomIn;
    t.direction = CCheckerTransition::kRandom;
    const Rect area{123, 169, 234, 424};
    ASSERT_TRUE(t.CreateSettingsControls(&window, nullptr, &area));
    CCheckerTransition other;
    EXPECT_TRUE(t.ReadSettingsControls(&other));  // the pop-ups show the fields
    EXPECT_EQ(std::make_pair(other.type, other.direction), std::make_pair(t.type, t.direction));
    EXPECT_FALSE(t.ReadSettingsControls(&other));

    // The type pop-up at v .. v + 16, h + 62 .. h + 262; the direction one 24 below.
    user_.ChoosePopupItem(4).Click(FakeUser::Front(), 169 + 100, 123 + 8).Play();
    EXPECT_TRUE(t.OnControlChanged(CCheckerTransition::kTypePopupId));
    EXPECT_EQ(t.type, CCheckerTransition::kDropLeft);
    user_.ChoosePopupItem(9).Click(FakeUser::Front(), 169 + 100, 123 + 32).Play();
    EXPECT_TRUE(t.OnControlChanged(CCheckerTransition::kDirectionPopupId));
    EXPECT_EQ(t.direction, CCheckerTransition::kSpiralTopLeftCw);
    EXPECT_FALSE(t.OnControlChanged(CCheckerTransition::kTypeLabelId));
    t.type = t.direction = 0;
    EXPECT_TRUE(t.DisposeSettingsControls());
    EXPECT_EQ(std::make_pair(t.type, t.direction), std::make_pair(3, 8));
}

class CheckerScene : public ::testing::Test {
protected:
    static constexpr long kA = 0x20C040, kB = 0xE0C020;
    TempDir dir_;
};

TEST_F(CheckerScene, EveryDirectionAndTypeReplaysCleanTwiceAndAtNoFrames)
{
    Scene scene;
    const int sizes[][2] = {{320, 240}, {170, 90}, {330, 250}, {60, 200}};
    for (int direction = 0; direction < CCheckerTransition::kDirectionCount; ++direction)
        for (uint32_t ms : {500u, 0u}) {
            const int* size = sizes[(direction + int(ms)) % 4];
            scene.slides.push_back(SceneSlide{direction % 2 ? kA : kB, size[0], size[1],
                                              Checker(direction % CCheckerTransition::kTypeCount, direction, ms),
                                              nullptr, 1});
        }
    for (int direction = 0; direction < CCheckerTransition::kDirectionCount; ++direction)
        ExpectReplaysAsFirstSlide(Checker(direction % CCheckerTransition::kTypeCount, direction, 500),
                                  dir_.file("first.swf"));
    for (const SceneMovie& movie : WriteTwiceAndReplay(scene, dir_.path())) {
        EXPECT_EQ(movie.marks[0].frames, 6);
        EXPECT_EQ(movie.marks[1].frames, 0);
    }
}

TEST_F(CheckerScene, EarlyCellsNewLateCellsOld)
{
    Scene scene;
    scene.rate = 24.0f;
    scene.slides.push_back(SceneSlide{kA, 320, 240, nullptr, nullptr, 2});
    scene.slides.push_back(SceneSlide{kB, 320, 240, Checker(CCheckerTransition::kAppear, 0, 1000), nullptr, 2});
    scene.loop = false;
    SceneMovie movie;
    ASSERT_TRUE(WriteScene(scene, dir_.file("checker.swf"), &movie));
    ExpectDumpAccepts(movie.path, {"DefineShape", "PlaceObject2", "RemoveObject2"});
    // Frame 6: cells 0 to 5 (the first row and two of the second) are in.
    const SceneMark& into = movie.marks[1];
    ExpectPlayedFrame(movie.path, into.firstFrame + 5,
                      {{{40, 40}, kB}, {{280, 40}, kB}, {{120, 120}, kB}, {{200, 120}, kA}, {{280, 200}, kA}});
    ExpectPlayedFrame(movie.path, into.firstFrame + into.frames, {{{40, 40}, kB}, {{280, 200}, kB}, {{160, 120}, kB}});
}

}  // namespace
}  // namespace tavrel_test
