#include "ui/image_views.h"

#include <cstdlib>
#include <memory>

#include "controls_fixture.h"

namespace tavrel_test {
namespace {

struct WorldDeleter {
    void operator()(GWorldPtr world) const { DisposeGWorld(world); }
};
using World = std::unique_ptr<GWorld, WorldDeleter>;

World Picture(int width, int height, const std::function<RGBColor(int, int)>& paint)
{
    return World(MakePicture(width, height, paint));
}

Rect Frame(int width, int height)
{
    return Rect{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
}

std::vector<Rect> g_crops;
void NoteCrop(const Rect* crop, intptr_t context)
{
    EXPECT_EQ(context, 7);
    g_crops.push_back(*crop);
}

struct PanReport {
    int dx, dy, final;
};
std::vector<PanReport> g_pans;
void NotePan(int dx, int dy, int final, intptr_t)
{
    g_pans.push_back({dx, dy, final});
}

// The crop view lies at (10, 20), the pan/zoom view at (150, 20), both 100 × 80.
class ImageViewTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenNib(window_, "IDD_VIEWS"));
        ASSERT_TRUE(window_.AttachControl(FourCC("iCrp"), &crop_));
        ASSERT_TRUE(window_.AttachControl(FourCC("iPan"), &pan_));
        g_crops.clear();
        g_pans.clear();
        crop_.SetChangeHandler(NoteCrop, 7);
        pan_.SetChangeHandler(NotePan, 0);
    }
    uint32_t Pixel(int h, int v) { return WindowPixel(window_.GetWindow(), h, v); }

    NoteWindow window_;
    CImageCropView crop_;
    CPanZoomView pan_;
};

TEST_F(ImageViewTest, SmallPictureIsCentredAndALargeOneShrunk)
{
    World small = Picture(40, 20, [](int, int) { return kRed; });
    ASSERT_TRUE(crop_.SetImage(small.get(), Frame(40, 20), Frame(40, 20), Frame(40, 20)));
    crop_.Redraw();
    struct Probe {
        int h, v;
        uint32_t expected;
    };
    // Centred at (30, 30) of the view, unscaled.
    for (Probe p : {Probe{40, 50, 0xFF0000}, Probe{79, 69, 0xFF0000}, Probe{39, 50, 0}, Probe{80, 50, 0},
                    Probe{40, 49, 0}, Probe{40, 70, 0}})
        EXPECT_EQ(Pixel(p.h, p.v), p.expected) << p.h << "," << p.v;

    // 200 × 100, red then blue: shrunk to 100 × 50 at the view's top 15.
    World large = Picture(200, 100, [](int h, int) { return h < 100 ? kRed : kBlue; });
    ASSERT_TRUE(crop_.SetImage(large.get(), Frame(200, 100), Frame(200, 100), Frame(200, 100)));
    crop_.Redraw();
    for (Probe p : {Probe{10, 35, 0xFF0000}, Probe{59, 35, 0xFF0000}, Probe{60, 35, 0x0000FF}, Probe{109, 84, 0x0000FF},
                    Probe{10, 34, 0}, Probe{10, 85, 0}})
        EXPECT_EQ(Pixel(p.h, p.v), p.expected) << p.h << "," << p.v;
    const Rect& r = crop_.GetPictureRect();
    EXPECT_EQ(std::tie(r.top, r.left, r.bottom, r.right), std::make_tuple(15, 0, 65, 100));
}

TEST_F(ImageViewTest, CropEditsFollowTheMouse)
{
    // The picture fills the view at scale 1: view and picture pixels agree.
    World picture = Picture(100, 80, [](int, int) { return kGreen; });
    struct Case {
        const char* name;
        Rect start;
        Point press, to;  // window-local
        Rect expected;
    };
    const Case cases[] = {
        {"top-left dragged across normalises", {10, 10, 50, 60}, {30, 20}, {90, 90}, {50, 60, 70, 80}},
        {"right edge clamped to the picture", {10, 10, 50, 60}, {50, 70}, {50, 200}, {10, 10, 50, 100}},
        {"move against the right keeps the width", {10, 10, 50, 60}, {40, 35}, {40, 135}, {10, 50, 50, 100}},
        {"move against the top keeps the height", {10, 10, 50, 60}, {40, 35}, {0, 35}, {0, 10, 40, 60}},
        {"press outside the handles does nothing", {10, 10, 50, 60}, {95, 90}, {95, 90}, {10, 10, 50, 60}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(crop_.SetImage(picture.get(), Frame(100, 80), Frame(100, 80), c.start));
        crop_.SetState(1);
        g_crops.clear();
        user_.Press(FakeUser::Front(), c.press.h, c.press.v)
            .DragTo(FakeUser::Front(), c.to.h, c.to.v)
            .Release(FakeUser::Front(), c.to.h, c.to.v)
            .Play();
        const Rect& r = crop_.GetCropRect();
        EXPECT_EQ(std::tie(r.top, r.left, r.bottom, r.right),
                  std::tie(c.expected.top, c.expected.left, c.expected.bottom, c.expected.right));
        const bool changed =
            c.expected.left != c.start.left || c.expected.right != c.start.right || c.expected.top != c.start.top;
        EXPECT_EQ(g_crops.size(), changed ? 1u : 0u);
    }
}

TEST_F(ImageViewTest, StillPressReportsTheCropBackWithinAPixel)
{
    World preview = Picture(200, 100, [](int, int) { return kRed; });
    const Rect crops[] = {{11, 13, 57, 91}, {0, 0, 100, 200}, {33, 1, 35, 199}};
    for (const Rect& c : crops) {
        // Shown at half size.
        ASSERT_TRUE(crop_.SetImage(preview.get(), Frame(200, 100), Frame(200, 100), c));
        crop_.SetState(1);
        g_crops.clear();
        const Rect& v = crop_.GetViewCropRect();
        const int h = 10 + (v.left + v.right) / 2 + 1, vv = 20 + (v.top + v.bottom) / 2;
        user_.Press(FakeUser::Front(), h, vv).Release(FakeUser::Front(), h, vv).Play();
        ASSERT_EQ(g_crops.size(), 1u);
        const Rect& r = g_crops[0];
        EXPECT_LE(std::abs(r.top - c.top), 1);
        EXPECT_LE(std::abs(r.left - c.left), 1);
        EXPECT_LE(std::abs(r.bottom - c.bottom), 1);
        EXPECT_LE(std::abs(r.right - c.right), 1);
    }
}

TEST_F(ImageViewTest, CropFrameIsDrawnOnlyWhileEditing)
{
    World picture = Picture(100, 80, [](int, int) { return kGreen; });
    ASSERT_TRUE(crop_.SetImage(picture.get(), Frame(100, 80), Frame(100, 80), Rect{10, 10, 50, 60}));
    crop_.SetState(0);
    EXPECT_EQ(Pixel(10 + 20, 20 + 10), 0x00FF00u);  // on the top edge
    crop_.SetState(1);
    EXPECT_EQ(Pixel(10 + 20, 20 + 10), 0xFF00FFu);  // inverted by the frame
    EXPECT_EQ(Pixel(10 + 6, 20 + 6), 0xFF00FFu);    // corner handle's outline
    EXPECT_EQ(Pixel(10 + 30, 20 + 30), 0x00FF00u);  // inside
}

TEST_F(ImageViewTest, ZoomDoublesAroundTheCentre)
{
    // 50 × 40 with a green left quarter; the frame has the same shape, so the
    // view keeps 100 × 80 and the picture is scaled by 2.
    World source = Picture(50, 40, [](int h, int) { return h < 12 ? kGreen : kRed; });
    ASSERT_TRUE(pan_.SetImage(source.get(), Frame(50, 40), Frame(50, 40)));
    pan_.Redraw();
    EXPECT_EQ(Pixel(150 + 20, 60), 0x00FF00u);
    pan_.SetZoom(2.0, true);
    const Rect& z = pan_.GetZoomRect();
    EXPECT_EQ(std::tie(z.top, z.left, z.bottom, z.right), std::make_tuple(-40, -50, 120, 150));
    EXPECT_EQ(Pixel(150 + 20, 60), 0xFF0000u);  // x 20 now shows picture x 35

    pan_.SetMode(1);
    user_.Press(FakeUser::Front(), 200, 60).Release(FakeUser::Front(), 200, 60).Play();
    ASSERT_EQ(g_pans.size(), 2u);
    EXPECT_EQ(std::tie(g_pans[1].dx, g_pans[1].dy, g_pans[1].final), std::make_tuple(0, 0, 1));
}

TEST_F(ImageViewTest, DragReportsEveryEventThenTheEnd)
{
    World source = Picture(50, 40, [](int, int) { return kRed; });
    ASSERT_TRUE(pan_.SetImage(source.get(), Frame(50, 40), Frame(50, 40)));
    user_.Press(FakeUser::Front(), 200, 60).Release(FakeUser::Front(), 200, 60).Play();
    EXPECT_TRUE(g_pans.empty());  // mode 0: the mouse does nothing
    pan_.SetMode(1);
    user_.Press(FakeUser::Front(), 200, 60)
        .DragTo(FakeUser::Front(), 205, 60)
        .DragTo(FakeUser::Front(), 210, 62)
        .Release(FakeUser::Front(), 210, 62)
        .Play();
    std::vector<int> finals;
    for (const PanReport& p : g_pans) finals.push_back(p.final);
    EXPECT_EQ(finals, (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(std::tie(g_pans[0].dx, g_pans[0].dy), std::make_tuple(3, 0));  // 5 pixels at scale 2, rounded
    EXPECT_EQ(std::tie(g_pans.back().dx, g_pans.back().dy), std::make_tuple(5, 1));
}

TEST_F(ImageViewTest, EachFrameFitsTheSizeAtAttach)
{
    World source = Picture(50, 40, [](int, int) { return kRed; });
    struct Case {
        Rect frame;
        int width, height;
    };
    const Case cases[] = {{Frame(200, 40), 100, 20}, {Frame(50, 40), 100, 80}, {Frame(40, 80), 40, 80}};
    for (const Case& c : cases) {
        ASSERT_TRUE(pan_.SetImage(source.get(), Frame(50, 40), c.frame));
        EXPECT_EQ(pan_.GetWidth(), c.width);
        EXPECT_EQ(pan_.GetHeight(), c.height);
    }
}

TEST_F(ImageViewTest, EmptySizesClearTheViews)
{
    World source = Picture(50, 40, [](int, int) { return kRed; });
    ASSERT_TRUE(pan_.SetImage(source.get(), Frame(50, 40), Frame(50, 40)));
    pan_.SetMode(1);
    EXPECT_FALSE(pan_.SetImage(source.get(), Frame(50, 40), Frame(0, 40)));
    EXPECT_FALSE(pan_.SetImage(source.get(), Frame(0, 0), Frame(50, 40)));
    EXPECT_EQ(Pixel(170, 40), 0u);
    user_.Press(FakeUser::Front(), 200, 60).DragTo(FakeUser::Front(), 220, 60).Release(FakeUser::Front(), 220, 60);
    user_.Play();
    EXPECT_TRUE(g_pans.empty());  // cleared: the mode went back to 0

    ASSERT_TRUE(crop_.SetImage(source.get(), Frame(50, 40), Frame(50, 40), Frame(50, 40)));
    crop_.SetState(1);
    EXPECT_FALSE(crop_.SetImage(source.get(), Frame(50, 40), Frame(0, 40), Frame(10, 10)));
    EXPECT_FALSE(crop_.SetImage(source.get(), Frame(50, 0), Frame(50, 40), Frame(10, 10)));
    EXPECT_EQ(Pixel(60, 60), 0u);
}

}  // namespace
}  // namespace tavrel_test
