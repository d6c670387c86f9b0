#include "media/image_pane.h"

#include <cstring>

#include "media/qt_movie.h"
#include "pane_fixture.h"
#include "support/test_movies.h"
#include "ui/dialog_window.h"

namespace tavrel_test {
namespace {

TEST(ImagePaneFit, ScalesDownNeverUpAndCentres)
{
    const struct {
        int width, height;
        Rect want;
    } cases[] = {
        // The common shapes are drawn by the pane's own test below.
        {201, 201, {0, 0, 200, 200}},    // one too many each way
        {0, 0, {100, 100, 100, 100}},    // nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(RectText(FitImageRect(c.width, c.height, 200, 200)), RectText(c.want))
            << c.width << "x" << c.height;
}

class ImagePaneTest : public PaneTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(window_.CreateNew(100, 100, 300, 260, kDialogShow, nullptr, 0));
        ASSERT_TRUE(pane_.Create(&window_, FourCC("uPrv"), kBounds, ""));
    }
    GWorldPtr Port() { return GetWindowPort(window_.GetWindow()); }

    static constexpr Rect kBounds{10, 30, 210, 230};  // 200 x 200
    CDialogWindow window_;
    CImagePane pane_;
};

TEST_F(ImagePaneTest, DrawsThePictureFittedOnBlack)
{
    const struct {
        int width, height;
        Rect drawn;
    } cases[] = {{400, 300, {25, 0, 175, 200}}, {100, 400, {0, 75, 200, 125}}, {50, 40, {80, 75, 120, 125}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        CImage picture;
        Fill(picture, c.width, c.height, {200, 100, 50});
        EXPECT_TRUE(pane_.SetImage(picture));
        EXPECT_EQ(RectText(NonBlackBounds(pane_.GetPaneWorld())), RectText(c.drawn));
        const int h = (c.drawn.left + c.drawn.right) / 2, v = (c.drawn.top + c.drawn.bottom) / 2;
        EXPECT_EQ(PixelAt(pane_.GetPaneWorld(), h, v), 0xC86432u);
        // The window shows the same at the pane's place.
        EXPECT_EQ(PixelAt(Port(), kBounds.left + h, kBounds.top + v), 0xC86432u);
        EXPECT_EQ(PixelAt(Port(), kBounds.left + 1, kBounds.top + 1), 0u);
    }
}

TEST_F(ImagePaneTest, HiddenPaneAndEmptyPicture)
{
    CImage red, green, empty;
    Fill(red, 40, 40, {255, 0, 0});
    Fill(green, 40, 40, {0, 255, 0});
    pane_.SetImage(red);
    pane_.Hide();
    pane_.SetImage(green);
    EXPECT_EQ(PixelAt(pane_.GetPaneWorld(), 100, 100), 0xFF0000u) << "a hidden pane draws nothing";
    EXPECT_EQ(PixelAt(Port(), kBounds.left + 100, kBounds.top + 100), 0xFF0000u);
    pane_.Show(true);
    // Pixels with alpha are read at their own size.
    CImage withAlpha;
    ASSERT_TRUE(withAlpha.Create(40, 40, 32, nullptr, false));
    for (size_t i = 0; i < 40 * 40; ++i) std::memcpy(withAlpha.pixels + 4 * i, "\x0A\x14\x1E\xFF", 4);
    pane_.SetImage(withAlpha);
    EXPECT_EQ(PixelAt(pane_.GetPaneWorld(), 119, 119), 0x0A141Eu);
    // An empty picture has no world to copy from: the pane turns black.
    EXPECT_TRUE(pane_.SetImage(empty));
    EXPECT_EQ(RectText(NonBlackBounds(pane_.GetPaneWorld())), RectText(Rect{}));
    EXPECT_EQ(PixelAt(Port(), kBounds.left + 100, kBounds.top + 100), 0u);
}

int g_windowUpdates = 0;
OSStatus CountUpdate(EventHandlerCallRef, EventRef, void*)
{
    ++g_windowUpdates;
    return eventNotHandledErr;
}

TEST_F(ImagePaneTest, UpdateEventDrawsAndGoesOn)
{
    CImage blue;
    Fill(blue, 20, 20, {0, 0, 255});
    pane_.SetImage(blue);
    // Something else paints over the pane; the update puts the picture back.
    {
        PortSaver saver;
        SetGWorld(Port());
        RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
        RGBForeColor(&white);
        PaintRect(&kBounds);
    }
    g_windowUpdates = 0;
    EventHandlerRef handler = nullptr;
    const EventTypeSpec type{kEventClassWindow, kEventWindowUpdate};
    ASSERT_EQ(InstallEventHandler(GetWindowEventTarget(window_.GetWindow()), CountUpdate, 1, &type, nullptr, &handler),
              noErr);
    EventRef update = nullptr;
    CreateEvent(nullptr, kEventClassWindow, kEventWindowUpdate, 0, 0, &update);
    SendEventToEventTarget(update, GetControlEventTarget(pane_.GetControlRef()));
    ReleaseEvent(update);
    RemoveEventHandler(handler);
    EXPECT_EQ(g_windowUpdates, 1) << "the window's own handler still sees the update";
    EXPECT_EQ(PixelAt(Port(), kBounds.left + 100, kBounds.top + 100), 0x0000FFu);
    EXPECT_EQ(PixelAt(Port(), kBounds.left + 2, kBounds.top + 2), 0u);
}

TEST_F(ImagePaneTest, DetachReleasesAndRefusesASecondCreate)
{
    EXPECT_FALSE(pane_.Create(&window_, FourCC("uTwo"), kBounds, ""));
    ControlRef control = pane_.GetControlRef();
    EXPECT_TRUE(pane_.Detach());
    EXPECT_EQ(pane_.GetPaneWorld(), nullptr);
    EXPECT_EQ(pane_.GetControlRef(), nullptr);
    EXPECT_EQ(GetControlOwner(control), nullptr) << "the control made here is gone";
}

// A movie's frame at a time, handed to the pane as a picture.
TEST_F(ImagePaneTest, ShowsAMoviesFrame)
{
    if (!FfmpegUnavailable().empty()) GTEST_SKIP() << FfmpegUnavailable();
    const TestMovie& m = TestMovieNamed("avi");
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(m.path));
    for (const auto& [time, rgb] : {std::pair{TimeValue(120), m.first}, std::pair{TimeValue(900), m.second}}) {
        CImage frame;
        ASSERT_TRUE(movie.GetFrameAtTime(time, frame, nullptr, 24));
        ASSERT_TRUE(pane_.SetImage(frame));
        // 64 × 48 fits the 200 × 200 pane as it is, centred.
        EXPECT_EQ(RectText(NonBlackBounds(pane_.GetPaneWorld())), RectText(Rect{76, 68, 124, 132}));
        const uint32_t pixel = PixelAt(pane_.GetPaneWorld(), 100, 100);
        for (int shift : {16, 8, 0}) EXPECT_NEAR(int(pixel >> shift & 0xFF), int(rgb >> shift & 0xFF), 24) << time;
    }
}

}  // namespace
}  // namespace tavrel_test
