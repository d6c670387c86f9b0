// Slide Close, Slide Open and Slide Triangle Open: where the pieces start
// and how far they go, the tag order, the triangles' outlines, the
// direction pop-up and attribute, and whole scenes replayed and played.
#include "transitions/slide_pieces.h"

#include <gtest/gtest.h>

#include <functional>

#include "foundation/path.h"
#include "platform/toolbox_menus.h"
#include "platform/toolbox_windows.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/movie.h"
#include "swf/object.h"
#include "transition_log.h"
#include "ui/controls_fixture.h"

namespace tavrel_test {
namespace {

std::vector<int32_t> Xs(const std::vector<CSwfMatrix>& moves)
{
    std::vector<int32_t> out;
    for (const CSwfMatrix& m : moves) out.push_back(m.translateX);
    return out;
}

std::vector<int32_t> Ys(const std::vector<CSwfMatrix>& moves)
{
    std::vector<int32_t> out;
    for (const CSwfMatrix& m : moves) out.push_back(m.translateY);
    return out;
}

// start + step, start + 2 step, ...: n values.
// Frame k of n at travel × k / n from start, truncated towards zero.
std::vector<int32_t> Path(int32_t start, int32_t travel, int n)
{
    std::vector<int32_t> out;
    for (int k = 1; k <= n; ++k) out.push_back(start + travel * k / n);
    return out;
}

std::unique_ptr<CSlidePieceTransition> Make(const std::string& kind, int direction)
{
    std::unique_ptr<CSlidePieceTransition> t;
    if (kind == "Close") t = std::make_unique<CSlideCloseTransition>();
    if (kind == "Open") t = std::make_unique<CSlideOpenTransition>();
    if (kind == "Triangle") t = std::make_unique<CSlideTriangleOpenTransition>();
    t->direction = direction;
    return t;
}

// A 320 × 240 movie, slides of that size at its centre, 24 frames: the
// previous slide at depth 1, the new one at 2, the pieces' slots from 3.
// Each piece is placed at start and frame k stands travel × k / 24 on
// (truncated towards zero), the last frame at the travel's end.
TEST(SlidePieces, GoldenTravels)
{
    struct Case {
        std::string kind;
        int direction;
        uint16_t depth;  // a copy's depth; its mask lies below it
        bool alongY;
        int32_t start, travel;
    } const cases[] = {
        // Close: d 6400, from outside the frame right to the centre.
        {"Close", 0, 4, false, -3200, 6400},
        {"Close", 0, 6, false, 9600, -6400},
        {"Close", 1, 4, true, -2400, 4800},
        {"Close", 3, 4, false, 9600, -6400},  // the top half from the right
        {"Close", 3, 6, false, -3200, 6400},
        {"Close", 5, 4, true, 7200, -4800},  // the left half from below
        // Open: from the slide's own place outwards, until the halves have
        // left the frame.
        {"Open", 0, 4, false, 3200, -3200},
        {"Open", 0, 6, false, 3200, 3200},
        {"Open", 1, 4, true, 2400, -2400},
        {"Open", 2, 4, false, 3200, 6400},
        {"Open", 4, 4, true, 2400, 4800},
        {"Open", 5, 6, true, 2400, 4800},
        // Triangle Open: max(W, H).
        {"Triangle", 0, 4, false, 3200, -6400},
        {"Triangle", 0, 6, false, 3200, 6400},
        {"Triangle", 3, 4, true, 2400, -6400},
        {"Triangle", 3, 6, true, 2400, 6400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind + " " + std::to_string(c.direction) + " at " + std::to_string(c.depth));
        auto t = Make(c.kind, c.direction);
        const auto tags = LogTransition(*t, LogRun{});
        const TagEvent* placed = PlacedAt(tags, c.depth);
        ASSERT_TRUE(placed && placed->hasMatrix);
        EXPECT_EQ(c.alongY ? placed->matrix.translateY : placed->matrix.translateX, c.start);
        const auto moves = MovesAt(tags, c.depth);
        const auto path = c.alongY ? Ys(moves) : Xs(moves);
        ASSERT_EQ(path.size(), 24u);
        for (size_t k = 0; k < path.size(); ++k) EXPECT_EQ(path[k], c.start + c.travel * int32_t(k + 1) / 24) << k;
        EXPECT_EQ(Xs(MovesAt(tags, c.depth - 1)), Xs(moves)) << "the mask goes with its copy";
        EXPECT_EQ(Ys(MovesAt(tags, c.depth - 1)), Ys(moves));
    }
}

// After a camera move the previous slide may be shown larger, smaller or
// elsewhere: the opening pieces go their direction's distance, or as far as
// it takes for each to have left the frame by the last frame.
TEST(SlidePieces, OpeningPiecesLeaveAMovedSlideBehindTheFrame)
{
    struct Case {
        const char* what;
        std::string kind;
        int direction;
        LogSlide previous;
        int32_t travel;  // of the first piece (depth 4); the second goes the opposite way
        bool alongY;
    } const cases[] = {
        // At 1.375 the halves reach 900 twips past the top and the bottom.
        {"vertical opposite, zoomed", "Open", 4, LogSlide{320, 240, 3200, 2400, 90112, 90112}, 4800 + 900, true},
        // 60 px to the right: the bottom half's right edge at 7600.
        {"horizontal opposite, panned", "Open", 2, LogSlide{320, 240, 4400, 2400}, 7600, false},
        // The centre line still meets the frame's edge: as the plain slide.
        {"horizontal, zoomed", "Open", 0, LogSlide{320, 240, 3200, 2400, 90112, 90112}, -3200, false},
        {"vertical, centred", "Open", 1, LogSlide{}, -2400, true},
        // The triangle's box at 1.25 reaches 4000 each side of the centre.
        {"triangle, zoomed", "Triangle", 0, LogSlide{320, 240, 3200, 2400, 81920, 81920}, -(3200 + 4000), false},
        {"triangle, centred", "Triangle", 0, LogSlide{}, -6400, false},
        // Along the cut, half size: 1.5 times the slide's size takes the
        // upper triangle past the top and the right, on both axes.
        {"triangle along the cut, zoomed out", "Triangle", 5, LogSlide{320, 240, 3200, 2400, 32768, 32768}, 4800, false},
        {"triangle along the cut, zoomed out (y)", "Triangle", 5, LogSlide{320, 240, 3200, 2400, 32768, 32768}, -3600,
         true},
        // Panned right too: the upper triangle needs 1.5 (past the top), the
        // lower 1.125 (past the right); both go 1.5.
        {"triangle along the other cut, panned", "Triangle", 7, LogSlide{320, 240, 4400, 2400, 32768, 32768}, -4800,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto t = Make(c.kind, c.direction);
        LogRun run;
        run.previous = c.previous;
        const auto tags = LogTransition(*t, run);
        const int32_t start = c.alongY ? c.previous.cy : c.previous.cx;
        for (const auto& [depth, travel] : {std::pair<uint16_t, int32_t>{4, c.travel}, {6, -c.travel}}) {
            const auto moves = MovesAt(tags, depth);
            ASSERT_EQ(moves.size(), 24u);
            EXPECT_EQ(c.alongY ? Ys(moves) : Xs(moves), Path(start, travel, 24)) << "depth " << depth;
        }
    }
}

TEST(SlidePieces, CornersGoAtFortyFiveDegrees)
{
    struct Case {
        std::string kind;
        LogSlide slide;
        int32_t d;       // the top-left quarter's travel on both axes
        int32_t x0, y0;  // and its start
    } const cases[] = {
        // Close: d = max(dx, dy) = 6400 for the 320 × 240 slide.
        {"Close", LogSlide{}, 6400, 3200 - 6400, 2400 - 6400},
        // A wide slide: dx = 3200 + 4000 beats dy = 2400 + 2000.
        {"Close", LogSlide{400, 200}, 7200, 3200 - 7200, 2400 - 7200},
        // Open: d = max(W, H).
        {"Open", LogSlide{}, -6400, 3200, 2400},
    };
    for (const Case& c : cases) {
        auto t = Make(c.kind, 6);
        LogRun run;
        run.next = run.previous.value() = c.slide;
        const auto tags = LogTransition(*t, run);
        // Slots 1, 3, 2, 4 took depths 3..10 in pairs: top left, top right,
        // bottom left, bottom right.
        const int32_t sx[4] = {c.d, -c.d, c.d, -c.d}, sy[4] = {c.d, c.d, -c.d, -c.d};
        for (int q = 0; q < 4; ++q) {
            const auto moves = MovesAt(tags, uint16_t(4 + 2 * q));
            ASSERT_EQ(moves.size(), 24u) << c.kind;
            const TagEvent* placed = PlacedAt(tags, uint16_t(4 + 2 * q));
            ASSERT_TRUE(placed && placed->hasMatrix);
            const int32_t x = placed->matrix.translateX, y = placed->matrix.translateY;
            EXPECT_EQ(Xs(moves), Path(x, sx[q], 24)) << c.kind << " quarter " << q;
            EXPECT_EQ(Ys(moves), Path(y, sy[q], 24)) << c.kind << " quarter " << q;
            if (q == 0) {
                EXPECT_EQ(std::make_pair(x, y), std::make_pair(c.x0, c.y0)) << c.kind;
            }
        }
    }
}

TEST(SlidePieces, TriangleDiagonalsAndApexes)
{
    // Direction 5 slides along the cut by the slide's own size over n, in
    // doubles: (266.67, -200) a frame.
    auto t = Make("Triangle", 5);
    auto tags = LogTransition(*t, LogRun{});
    auto a = MovesAt(tags, 4), b = MovesAt(tags, 6);
    ASSERT_EQ(a.size(), 24u);
    EXPECT_EQ(std::make_pair(a[0].translateX, a[0].translateY), std::make_pair(3466, 2200));
    EXPECT_EQ(std::make_pair(b[0].translateX, b[0].translateY), std::make_pair(2933, 2600));
    EXPECT_EQ(a.back().translateX, 3200 + 6400);
    EXPECT_EQ(a.back().translateY, 2400 - 4800);

    // Direction 7 the other diagonal, up and to the left.
    t = Make("Triangle", 7);
    a = MovesAt(LogTransition(*t, LogRun{}), 4);
    EXPECT_EQ(std::make_pair(a[0].translateX, a[0].translateY), std::make_pair(2933, 2200));

    // Corners: slots 1, 3, 4, 2 placed left, top, right, bottom; each out
    // through its own side, max(W, H) in all.
    t = Make("Triangle", 8);
    tags = LogTransition(*t, LogRun{});
    EXPECT_EQ(Xs(MovesAt(tags, 4)), Path(3200, -6400, 24));  // left
    EXPECT_EQ(Ys(MovesAt(tags, 6)), Path(2400, -6400, 24));  // top
    EXPECT_EQ(Xs(MovesAt(tags, 8)), Path(3200, 6400, 24));   // right
    EXPECT_EQ(Ys(MovesAt(tags, 10)), Path(2400, 6400, 24));  // bottom
    // The slots keep the depths of the run: slots 1, 3, 4, 2 in counter order.
    const std::pair<int, int> slots[] = {{1, 3}, {2, 9}, {3, 5}, {4, 7}, {0, 0}, {5, 0}};
    for (const auto& [slot, mask] : slots) {
        EXPECT_EQ(t->GetSlot(slot).maskDepth, mask) << slot;
        EXPECT_EQ(t->GetSlot(slot).copyDepth, mask ? mask + 1 : 0) << slot;
    }
}

// The tags of a short run: n = 1 or 2 at 12 frames per second.
TEST(SlidePieces, TagOrder)
{
    const std::string closeHalves = "S S P:3>4 P:4 P:5>6 P:6";
    const std::string frame2 = "M:4 M:3 M:6 M:5 F";
    const std::string frame4 = "M:4 M:3 M:6 M:5 M:8 M:7 M:10 M:9 F";
    const std::string slots4 = "R:3 R:4 R:7 R:8 R:5 R:6 R:9 R:10";
    const std::string openFour = "P:2 R:1 S P:3>4 P:4 S P:5>6 P:6 S P:7>8 P:8 S P:9>10 P:10";
    struct Case {
        std::string kind;
        int direction;
        uint32_t ms;
        bool previous;
        std::string words;
    } const cases[] = {
        {"Close", 0, 167, true, closeHalves + " " + frame2 + " " + frame2 + " R:3 R:4 R:5 R:6 P:2 R:1"},
        {"Close", 4, 0, true, closeHalves + " R:3 R:4 R:5 R:6 P:2 R:1"},
        // The first slide: the pieces close over the background.
        {"Close", 1, 83, false, "S S P:2>3 P:3 P:4>5 P:5 M:3 M:2 M:5 M:4 F R:2 R:3 R:4 R:5 P:1"},
        {"Close", 6, 83, true,
         "S S S S P:3>4 P:4 P:5>6 P:6 P:7>8 P:8 P:9>10 P:10 " + frame4 + " " + slots4 + " P:2 R:1"},
        {"Close", 7, 2000, true, "P:2 R:1"},
        {"Close", -1, 2000, false, "P:1"},
        {"Open", 3, 83, true, "P:2 R:1 S P:3>4 P:4 S P:5>6 P:6 " + frame2 + " R:3 R:4 R:5 R:6"},
        {"Open", 6, 83, true, openFour + " " + frame4 + " " + slots4},
        {"Open", 6, 0, true, openFour + " " + slots4},
        {"Open", 0, 2000, false, "P:1"},
        {"Open", 7, 2000, true, "P:2 R:1"},
        {"Triangle", 2, 0, true, "P:2 R:1 S P:3>4 P:4 S P:5>6 P:6 R:3 R:4 R:5 R:6"},
        {"Triangle", 8, 83, true, openFour + " M:4 M:3 M:6 M:5 M:10 M:9 M:8 M:7 F R:3 R:4 R:9 R:10 R:5 R:6 R:7 R:8"},
        {"Triangle", 1, 2000, false, "P:1"},
        {"Triangle", 9, 2000, true, "P:2 R:1"},
    };
    for (const Case& c : cases) {
        auto t = Make(c.kind, c.direction);
        LogRun run;
        run.ms = c.ms;
        if (!c.previous) run.previous.reset();
        EXPECT_EQ(Words(LogTransition(*t, run)), c.words) << c.kind << " " << c.direction << " " << c.ms;
    }
}

// Slides at scale 0.5: the pieces are cut from the scaled size about the
// slide's centre (the first shape's bounds). Masks stand at identity scale,
// copies at the slide's: Open and Triangle always the previous slide's,
// Close the new slide's in the corners' moves only.
TEST(SlidePieces, ScalesAndCuts)
{
    struct Case {
        std::string kind;
        int direction;
        int32_t placedCopy, movedCopy;
        std::vector<int32_t> bounds;  // xmin, ymin, xmax, ymax
    } const cases[] = {
        {"Close", 0, 65536, 65536, {-1600, -1200, 0, 1200}},
        {"Close", 1, 65536, 65536, {-1600, -1200, 1600, 0}},
        {"Close", 6, 65536, 32768, {-1600, -1200, 0, 0}},
        {"Open", 4, 32768, 32768, {-1600, -1200, 0, 1200}},
        {"Open", 6, 32768, 32768, {-1600, -1200, 0, 0}},
        {"Triangle", 0, 32768, 32768, {-1600, -1200, 1600, 1200}},
        {"Triangle", 8, 32768, 32768, {-1600, -1200, 0, 1200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind + " " + std::to_string(c.direction));
        auto t = Make(c.kind, c.direction);
        LogRun run;
        run.ms = 83;
        run.next.sx = run.next.sy = run.previous->sx = run.previous->sy = 32768;
        const auto tags = LogTransition(*t, run);
        const auto first = std::find_if(tags.begin(), tags.end(), [](const TagEvent& e) { return e.defines; });
        ASSERT_NE(first, tags.end());
        EXPECT_EQ(std::vector<int32_t>({first->xmin, first->ymin, first->xmax, first->ymax}), c.bounds);
        ASSERT_FALSE(first->outline.empty());
        EXPECT_EQ(first->outline.front(), first->outline.back()) << "the outline closes";
        for (const TagEvent& e : tags) {
            if (e.code != swf_tag::kPlaceObject2 || e.depth < 3) continue;
            ASSERT_TRUE(e.hasMatrix && e.matrix.hasScale);
            const bool mask = e.depth % 2 == 1;
            const int32_t want = mask ? 65536 : e.move ? c.movedCopy : c.placedCopy;
            EXPECT_EQ(std::make_pair(e.matrix.scaleX, e.matrix.scaleY), std::make_pair(want, want)) << e.depth;
            EXPECT_FALSE(e.matrix.hasRotate);
        }
    }
}

// Each builder's corners, from its move-to; odd sizes close too.
TEST(SlidePieces, TriangleOutlines)
{
    using Points = std::vector<std::pair<int32_t, int32_t>>;
    const clip_layers::MaskRect r{-200, -300, 200, 300};  // top, left, bottom, right
    const clip_layers::MaskRect odd{-200, -300, 201, 301};
    struct Case {
        bool apex;
        int a, b;
        clip_layers::MaskRect rect;
        Points points;
    } const cases[] = {
        {false, 1, 1, r, {{-300, 200}, {-300, -200}, {300, -200}, {-300, 200}}},
        {false, 1, 0, r, {{-300, -200}, {300, -200}, {300, 200}, {-300, -200}}},
        {false, 0, 1, r, {{300, 200}, {-300, 200}, {-300, -200}, {300, 200}}},
        {false, 0, 0, r, {{300, -200}, {300, 200}, {-300, 200}, {300, -200}}},
        {true, 1, 1, r, {{-300, 200}, {-300, -200}, {300, 0}, {-300, 200}}},
        {true, 1, 0, r, {{-300, -200}, {300, -200}, {0, 200}, {-300, -200}}},
        {true, 0, 1, r, {{300, 200}, {-300, 200}, {0, -200}, {300, 200}}},
        {true, 0, 0, r, {{300, -200}, {300, 200}, {-300, 0}, {300, -200}}},
        // 401 high, 601 wide: the apex lands on the halves taken by shifting
        // and the last edge still comes home.
        {true, 1, 1, odd, {{-300, 201}, {-300, -200}, {301, 0}, {-300, 201}}},
        {true, 1, 0, odd, {{-300, -200}, {301, -200}, {0, 201}, {-300, -200}}},
        {true, 0, 1, odd, {{301, 201}, {-300, 201}, {0, -200}, {301, 201}}},
        {true, 0, 0, odd, {{301, -200}, {301, 201}, {-300, 0}, {301, -200}}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.file("t.swf");
        {
            CSwfMovie movie;
            movie.SetHeader(6400, 4800, 12.0f, 6);
            ASSERT_TRUE(movie.Open(CPath(path.c_str()), true));
            uint16_t ids = 7;
            const uint16_t id = c.apex ? DefineApexTriangleShape(c.rect, c.a, c.b, &movie, &ids)
                                       : DefineDiagonalTriangleShape(c.rect, c.a, c.b, &movie, &ids);
            EXPECT_EQ(id, 8);
            EXPECT_EQ(ids, 8);
            movie.AddTag(new CTagEnd);
            EXPECT_NE(movie.Close(), 0u);
        }
        const auto tags = ReadWrittenTags(path);
        ASSERT_EQ(tags.size(), 1u);
        EXPECT_EQ(tags[0].outline, c.points) << (c.apex ? "apex " : "diagonal ") << c.a << c.b;
        EXPECT_EQ(std::vector<int32_t>({tags[0].xmin, tags[0].ymin, tags[0].xmax, tags[0].ymax}),
                  std::vector<int32_t>({c.rect.left, c.rect.top, c.rect.right, c.rect.bottom}));
    }
}

// The "direction" attribute in every kind's words, both ways.
TEST(SlidePieces, DirectionWords)
{
    const std::vector<std::string> halves = {"horizontal",
                                             "vertical",
                                             "horizontal_opposite_left_to_right",
                                             "horizontal_opposite_right_to_left",
                                             "vertical_opposite_top_to_bottom",
                                             "vertical_opposite_bottom_to_top",
                                             "corners"};
    const std::vector<std::string> triangles = {
        "horizontal_right_to_left", "horizontal_left_to_right",       "vertical_bottom_to_top",
        "vertical_top_to_bottom",   "top_left_bottom_right",          "top_left_bottom_right_opposite",
        "top_right_bottom_left",    "top_right_bottom_left_opposite", "corners"};
    const struct {
        std::string kind, name;
        const std::vector<std::string>& words;
    } kinds[] = {{"Close", "Slide Close", halves},
                 {"Open", "Slide Open", halves},
                 {"Triangle", "Slide Triangle Open", triangles}};
    for (const auto& k : kinds) {
        for (int i = 0; i < int(k.words.size()); ++i) {
            auto t = Make(k.kind, i);
            t->SetDuration(1500);
            const std::string xml = WrittenXml(*t);
            EXPECT_EQ(xml,
                      "<transition name=\"" + k.name + "\" duration=\"1500\" direction=\"" + k.words[i] + "\" />\n");
            auto back = Make(k.kind, i == 0 ? 1 : 0);
            ReadXmlInto(xml, *back);
            EXPECT_EQ(back->direction, i) << k.words[i];
        }
        // Outside the table: an empty value. Unknown words and a missing
        // attribute keep what the object had.
        EXPECT_EQ(WrittenXml(*Make(k.kind, int(k.words.size()))),
                  "<transition name=\"" + k.name + "\" duration=\"2000\" direction=\"\" />\n");
        for (const char* xml : {"<transition name=\"x\" direction=\"Horizontal\" />",
                                "<transition name=\"x\" direction=\"corners \" />", "<transition name=\"x\" />"}) {
            auto t = Make(k.kind, 2);
            ReadXmlInto(xml, *t);
            EXPECT_EQ(t->direction, 2) << xml;
        }
    }
    // A copy and an instance keep the direction; the registry finds the kinds.
    CSlideTriangleOpenTransition t;
    t.direction = 7;
    t.SetDuration(900);
    for (const auto& copy : {t.Clone(), t.CreateInstance()}) {
        auto* c = dynamic_cast<CSlideTriangleOpenTransition*>(copy.get());
        ASSERT_TRUE(c);
        EXPECT_EQ(c->direction, 7);
        EXPECT_EQ(c->GetDuration(), 900u);
    }
}

using SlidePieceControls = ControlsTest;

// The pop-up's items, its place, and the user's choice into the direction.
TEST_F(SlidePieceControls, DirectionPopup)
{
    const struct {
        std::string kind;
        uint32_t label, popup;
        int items;
        const char* third;
    } kinds[] = {{"Close", 10014, 10015, 7, "Horizontal Opposite Left to Right"},
                 {"Open", 10016, 10017, 7, "Horizontal Opposite Left to Right"},
                 {"Triangle", 10018, 10019, 9, "Vertical Bottom to Top"}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.kind);
        NoteWindow window;
        ASSERT_TRUE(OpenNew(window));
        auto t = Make(k.kind, 1);
        EXPECT_EQ(t->LabelId(), k.label);
        EXPECT_EQ(t->PopupId(), k.popup);
        const Rect area{20, 10, 131, 265};
        ASSERT_TRUE(t->CreateSettingsControls(&window, nullptr, &area));

        // Label 54 wide at the area's corner, the pop-up 200 wide 8 beyond it.
        ControlRef label = nullptr, popup = nullptr;
        FindControl(Point{25, 20}, window.GetWindow(), &label);
        FindControl(Point{25, 150}, window.GetWindow(), &popup);
        ASSERT_TRUE(label && popup);
        Rect r{};
        GetControlBounds(label, &r);
        EXPECT_EQ(std::vector<int>({r.top, r.left, r.bottom, r.right}), std::vector<int>({20, 10, 36, 64}));
        EXPECT_EQ(platform::ControlText(label), "Direction");
        GetControlBounds(popup, &r);
        EXPECT_EQ(std::vector<int>({r.top, r.left, r.bottom, r.right}), std::vector<int>({20, 72, 36, 272}));
        MenuRef menu = nullptr;
        ASSERT_EQ(GetControlData(popup, 0, kControlPopupButtonMenuHandleTag, sizeof menu, &menu, nullptr), noErr);
        ASSERT_EQ(CountMenuItems(menu), k.items);
        unsigned char text[256] = {};
        GetMenuItemText(menu, 3, text);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(text) + 1, text[0]), k.third);
        EXPECT_EQ(GetControl32BitValue(popup), 2);  // direction 1, items from 1

        // The user picks the third item.
        user_.ChoosePopupItem(3).Click(FakeUser::Front(), 150, 25).Play();
        EXPECT_FALSE(t->OnControlChanged(k.label));
        EXPECT_EQ(t->direction, 1);
        auto other = Make(k.kind, 1);
        EXPECT_TRUE(t->ReadSettingsControls(other.get()));
        EXPECT_EQ(other->direction, 2);
        EXPECT_FALSE(t->ReadSettingsControls(other.get()));
        EXPECT_TRUE(t->OnControlChanged(k.popup));
        EXPECT_EQ(t->direction, 2);

        // The last item, kept when the controls go.
        user_.ChoosePopupItem(k.items).Click(FakeUser::Front(), 150, 25).Play();
        EXPECT_TRUE(t->DisposeSettingsControls());
        EXPECT_EQ(t->direction, k.items - 1);
        EXPECT_FALSE(IsValidControlHandle(popup));
    }
}

class SlidePieceScene : public ::testing::Test {
protected:
    static constexpr long kBack = 0x406080, kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;

    // A slide of w × h coming in by the kind (none: a cut) in ms.
    static SceneSlide Slide(long rgb, int w, int h, const char* kind = nullptr, int direction = 0, uint32_t ms = 0)
    {
        std::unique_ptr<CTransition> t;
        if (kind) t = Make(kind, direction);
        if (t) t->SetDuration(ms);
        return SceneSlide{rgb, w, h, std::move(t), nullptr, 2};
    }

    TempDir dir_;
    SceneMovie movie_;
};

const struct {
    const char* kind;
    int directions;
} kKinds[] = {{"Close", 7}, {"Open", 7}, {"Triangle", 9}};

// Each kind and direction into a first slide (no previous), a second one,
// and the first again by the loop: the same object twice.
TEST_F(SlidePieceScene, EveryDirectionReplaysCleanTwice)
{
    for (const auto& k : kKinds)
        for (int d = 0; d < k.directions; ++d)
            for (uint32_t ms : {500u, 0u}) {
                SCOPED_TRACE(std::string(k.kind) + " " + std::to_string(d) + " " + std::to_string(ms));
                Scene scene;
                scene.slides.push_back(Slide(kA, 320, 240, k.kind, d, ms));
                scene.slides.push_back(Slide(kB, 240, 180, k.kind, d, ms));
                scene.slides.push_back(Slide(kC, 400, 160, k.kind, d, ms));
                ASSERT_TRUE(WriteScene(scene, dir_.file("pieces.swf"), &movie_));
                ExpectSceneReplays(movie_);
            }
}

TEST_F(SlidePieceScene, EveryDirectionPassesTheCheckers)
{
    Scene scene;
    scene.loop = false;
    scene.slides.push_back(Slide(kA, 320, 240));
    const long colours[] = {kA, kB, kC};
    int i = 0;
    for (const auto& k : kKinds)
        for (int d = 0; d < k.directions; ++d, ++i)
            scene.slides.push_back(Slide(colours[i % 3], 200 + 40 * (i % 3), 240 - 30 * (i % 3), k.kind, d, 250));
    ASSERT_TRUE(WriteScene(scene, dir_.file("all.swf"), &movie_));
    ExpectDumpAccepts(movie_.path, {"PlaceObject2", "RemoveObject2", "DefineShape"});
}

// Full-size and smaller slides in turn, 24 frames each: the pieces where
// their travel puts them, and after each transition only the new slide.
TEST_F(SlidePieceScene, PlaysAsItShould)
{
    Scene scene;
    scene.loop = false;
    scene.slides.push_back(Slide(kA, 320, 240));
    scene.slides.push_back(Slide(kB, 240, 180, "Close", 0, 2000));
    scene.slides.push_back(Slide(kC, 320, 240, "Open", 0, 2000));
    scene.slides.push_back(Slide(kA, 240, 180, "Triangle", 0, 2000));
    ASSERT_TRUE(WriteScene(scene, dir_.file("play.swf"), &movie_));
    const SceneMark& close = movie_.marks[1];
    const SceneMark& open = movie_.marks[2];
    const SceneMark& triangle = movie_.marks[3];
    ASSERT_EQ(close.frames, 24);

    // Close, frame 18: s = 233, the left half's inner edge at 89.7 px, the
    // right half's at 230.3; kA between them and above and below kB.
    ExpectFrame(movie_.path, close.firstFrame + 17,
                {{{60, 120}, kB}, {{160, 120}, kA}, {{60, 15}, kA}, {{260, 120}, kB}});
    ExpectFrame(movie_.path, close.firstFrame + close.frames, {{{160, 120}, kB}, {{20, 15}, kBack}});
    // Open, frame 12: s = 133, kB's halves parted to 80.2 and 239.8 px.
    ExpectFrame(movie_.path, open.firstFrame + 11,
                {{{60, 120}, kB}, {{160, 120}, kC}, {{60, 15}, kC}, {{270, 120}, kB}});
    ExpectFrame(movie_.path, open.firstFrame + open.frames, {{{60, 120}, kC}, {{270, 120}, kC}});
    // Triangle Open, frame 12: kC's triangles 159.6 px apart; between them
    // kA, or the background above it.
    ExpectFrame(movie_.path, triangle.firstFrame + 11,
                {{{160, 120}, kA}, {{20, 20}, kC}, {{300, 220}, kC}, {{160, 20}, kBack}});
    ExpectFrame(movie_.path, triangle.firstFrame + triangle.frames, {{{160, 120}, kA}, {{20, 20}, kBack}});
}

}  // namespace
}  // namespace tavrel_test
