#include "ui/gradient.h"

#include "controls_fixture.h"
#include "support/toolbox_log.h"

namespace tavrel_test {
namespace {

using GradientTest = ControlsTest;

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF;

CGradientStop Stop(float position, uint32_t color)
{
    CGradientStop stop;
    stop.position = position;
    stop.color = color;
    return stop;
}

TEST(GradientStops, RampEntries)
{
    const struct {
        const char* name;
        std::vector<CGradientStop> stops;
        int n;
        std::vector<std::pair<int, uint32_t>> entries;  // index, 0x00BBGGRR
    } cases[] = {
        // A stop at 1.0 takes the last entry, not one past it.
        {"ends", {Stop(0, 0), Stop(1.0f, kRed)}, 100, {{0, 0}, {33, 85}, {98, 252}, {99, kRed}}},
        // Two stops on one entry: the later colour holds it, each side ramps to it.
        {"shared",
         {Stop(0, 0), Stop(0.5f, kRed), Stop(0.5f, kGreen), Stop(1.0f, kWhite)},
         10,
         {{4, 0xCC}, {5, kGreen}, {6, 0x3FFF3F}, {9, kWhite}}},
        {"inside",
         {Stop(0.2f, kRed), Stop(0.8f, kBlue)},
         10,
         {{0, kRed}, {2, kRed}, {5, 0x7F007F}, {8, kBlue}, {9, kBlue}}},
        {"one entry", {Stop(0, kRed), Stop(1.0f, kBlue)}, 1, {{0, kBlue}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CGradientStops stops;
        ASSERT_TRUE(stops.Assign(c.stops));
        std::vector<uint32_t> ramp = stops.Ramp(c.n);
        ASSERT_EQ(ramp.size(), size_t(c.n));
        for (auto [index, color] : c.entries) EXPECT_EQ(ramp[index], color) << index;
    }
}

TEST(GradientStops, NewStopColourAndLimits)
{
    CGradientStops stops;
    ASSERT_TRUE(stops.Assign({Stop(0.5f, kRed), Stop(0.5f, kBlue), Stop(1.0f, kWhite)}));
    EXPECT_EQ(stops.ColorAt(0.5f), kRed);
    EXPECT_EQ(stops.ColorAt(0.75f), 0xFF7F7F);
    EXPECT_EQ(stops.ColorAt(0.1f), kRed);
    EXPECT_FALSE(stops.Assign({Stop(0, 0)}));
    EXPECT_EQ(stops.GetCount(), 3u);
    while (stops.GetCount() < 8) ASSERT_NE(stops.Add(0.3f), nullptr);
    EXPECT_EQ(stops.Add(0.6f), nullptr);
}

class GradientControlTest : public GradientTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenNew(window_));
        // The bar is 100 × 20 at (10, 20) of the window: the control starts there.
        ASSERT_TRUE(gradient_.Create(&window_, FourCC("gGrd"), Rect{20, 10, 40, 110}, ""));
        ASSERT_TRUE(gradient_.SetStops({Stop(0.2f, kRed), Stop(0.8f, kBlue)}, 1));
    }
    // Window points of control points.
    static int H(int h) { return h + 10; }
    static int V(int v) { return v + 20; }
    // The marker's centre in window coordinates.
    int MarkerH(size_t index)
    {
        Rect r = gradient_.MarkerRect(*gradient_.GetStops().GetAt(index));
        return H((r.left + r.right) / 2);
    }
    std::vector<float> Positions()
    {
        std::vector<float> out;
        for (size_t i = 0; i < gradient_.GetStops().GetCount(); ++i)
            out.push_back(gradient_.GetStops().GetAt(i)->position);
        return out;
    }

    NoteWindow window_;
    CGradientControl gradient_;
};

TEST_F(GradientControlTest, BarPixelsInTheWindow)
{
    ASSERT_TRUE(gradient_.SetStops({Stop(0, 0), Stop(1.0f, kRed)}, 1));
    const Rect& bar = gradient_.GetBarRect();
    EXPECT_EQ(RectWidth(bar), 100);
    const int v = V(bar.top + 5);
    EXPECT_EQ(WindowPixel(window_.GetWindow(), H(bar.left), v), 0u);
    EXPECT_EQ(WindowPixel(window_.GetWindow(), H(bar.left + 33), v), 85u << 16);
    EXPECT_EQ(WindowPixel(window_.GetWindow(), H(bar.right - 1), v), 0xFF0000u);
    // The colour box shows the selected (first) stop.
    const Rect& box = gradient_.GetColorRect();
    EXPECT_EQ(WindowPixel(window_.GetWindow(), H(box.left + 3), V(box.top + 3)), 0u);
}

TEST_F(GradientControlTest, ClicksOnStripBarAndColourBox)
{
    const Rect& bar = gradient_.GetBarRect();
    const int strip = V(bar.bottom + 8);
    // The strip under the bar's left edge, away from the markers: a stop at 0.
    user_.Click(FakeUser::Front(), H(bar.left), strip).Play();
    ASSERT_EQ(gradient_.GetStops().GetCount(), 3u);
    EXPECT_EQ(gradient_.GetStops().GetAt(0)->position, 0.0f);
    EXPECT_EQ(gradient_.GetStops().GetAt(0)->color, kRed);
    EXPECT_EQ(gradient_.GetSelected(), gradient_.GetStops().GetAt(0));

    // Inside the bar nothing happens.
    user_.Click(FakeUser::Front(), H(bar.left + 50), V(bar.top + 5)).Play();
    EXPECT_EQ(gradient_.GetStops().GetCount(), 3u);

    const Rect& box = gradient_.GetColorRect();
    user_.PickColor({0, 0xFFFF, 0}).Click(FakeUser::Front(), H(box.left + 5), V(box.top + 5)).Play();
    EXPECT_EQ(gradient_.GetSelected()->color, kGreen);
    ASSERT_FALSE(platform::PromptLog().empty());
    EXPECT_EQ(platform::PromptLog().back().title, "Choose a color");
    EXPECT_EQ(platform::PromptLog().back().message, "FFFF 0000 0000");

    // Up to eight stops; a ninth changes nothing.
    while (gradient_.GetStops().GetCount() < 8) ASSERT_NE(gradient_.AddStop(0.5f), nullptr);
    CGradientStop* selected = gradient_.GetSelected();
    EXPECT_EQ(gradient_.AddStop(0.6f), nullptr);
    EXPECT_EQ(gradient_.GetSelected(), selected);
}

TEST_F(GradientControlTest, DraggingMarkers)
{
    const Rect& bar = gradient_.GetBarRect();
    const int strip = V(bar.bottom + 8);
    const int below = V(bar.bottom + 25);
    // Past the bar's right end: position 1.
    user_.Press(FakeUser::Front(), MarkerH(1), strip)
        .DragTo(FakeUser::Front(), H(bar.right + 40), strip)
        .Release(FakeUser::Front(), H(bar.right + 60), strip)
        .Play();
    EXPECT_EQ(Positions(), (std::vector<float>{0.2f, 1.0f}));

    // Off the markers with only two stops: both stay.
    user_.Press(FakeUser::Front(), MarkerH(0), strip)
        .DragTo(FakeUser::Front(), MarkerH(0), below)
        .Release(FakeUser::Front(), MarkerH(0), below)
        .Play();
    EXPECT_EQ(gradient_.GetStops().GetCount(), 2u);

    // With three, the dragged stop goes and the one before it is selected.
    const std::vector<float> two = Positions();
    ASSERT_NE(gradient_.AddStop(0.5f), nullptr);
    user_.Press(FakeUser::Front(), MarkerH(1), strip)
        .DragTo(FakeUser::Front(), MarkerH(1), below)
        .Release(FakeUser::Front(), MarkerH(1), below)
        .Play();
    EXPECT_EQ(Positions(), two);
    EXPECT_EQ(gradient_.GetSelected(), gradient_.GetStops().GetAt(0));
}

}  // namespace
}  // namespace tavrel_test
