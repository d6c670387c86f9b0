#include "media/movie_panes.h"

#include "pane_fixture.h"
#include "support/test_movies.h"

namespace tavrel_test {
namespace {

const OSType kCancel = FourCC("not!");

TEST(ExportProgress, SecondsLeftAndItsText)
{
    const Fixed half = kFixedOne / 2;
    EXPECT_EQ(CExportProgress::GetSecondsLeft(half, 600), 10);
    EXPECT_EQ(CExportProgress::GetSecondsLeft(kFixedOne / 4, 600), 30);
    EXPECT_EQ(CExportProgress::GetSecondsLeft(kFixedOne, 600), 0);
    // Nothing done yet: no division fault, just a count too large to show.
    EXPECT_GT(CExportProgress::GetSecondsLeft(0, 600), 60);

    CExportProgressDialog window;
    int32_t cancelled = 0;
    ASSERT_EQ(window.Open(nullptr, &cancelled), 0);
    EXPECT_FALSE(window.IsVisible());
    const struct {
        int seconds;
        const char* text;
    } cases[] = {{10, "10 seconds"},         {60, "60 seconds"},        {2, "2 seconds"},
                 {1, "less than 1 second"},  {0, "less than 0 second"}, {536, "less than 0 second"},
                 {-3, "less than 0 second"}};
    for (const auto& c : cases) {
        window.SetTimeLeft(c.seconds);
        EXPECT_EQ(platform::ControlText(ControlById(window.GetWindow(), FourCC("tTim"))), c.text)
            << c.seconds;
    }
}

class MoviePaneTest : public PaneTest {
protected:
    void SetUp() override
    {
        platform::ClearMovieControllerLog();
        ASSERT_TRUE(window_.CreateNew(100, 100, 400, 300, kDialogShow, nullptr, 0));
    }
    WindowRef Window() { return window_.GetWindow(); }
    // A user pane of the window, bound to pane; null when binding failed.
    ControlRef BindPane(CControl& pane, OSType signature, const Rect& bounds)
    {
        ControlRef control = nullptr;
        EXPECT_EQ(CreateUserPaneControl(Window(), &bounds, 0, &control), noErr);
        ControlID id{signature, 0};
        SetControlID(control, &id);
        return pane.Attach(signature, window_.GetWindowRef(), 0) ? control : nullptr;
    }
    // A movie with a visible controller of the same box.
    MovieController NewPlayable(Movie* movie, const Rect& box)
    {
        *movie = NewMovie(0);
        SetMovieBox(*movie, &box);
        return NewMovieController(*movie, &box, true);
    }
    static std::vector<std::string> Log() { return platform::MovieControllerLog(); }
    static std::string Mc(MovieController c, const std::string& what)
    {
        return "mc" + std::to_string(platform::MovieControllerNumber(c)) + " " + what;
    }

    CDialogWindow window_;
};

TEST_F(MoviePaneTest, ExportProgressUpdatesUntilCancelled)
{
    CExportProgress progress;
    // Before the window exists an update touches nothing.
    EXPECT_EQ(CExportProgress::ProgressProc(nullptr, CExportProgress::kUpdatePercent, 0, kFixedOne / 2,
                                            reinterpret_cast<long>(&progress)),
              noErr);
    EXPECT_EQ(CExportProgress::ProgressProc(nullptr, CExportProgress::kOpen, 0, 0, 0), noErr) << "no record";
    const long ref = reinterpret_cast<long>(&progress);
    ASSERT_EQ(CExportProgress::ProgressProc(nullptr, CExportProgress::kOpen, 0, 0, ref), noErr);
    WindowRef w = progress.window.GetWindow();
    ASSERT_NE(w, nullptr);
    ControlRef bar = ControlById(w, FourCC("pPbr"));
    platform::AdvanceClock(10);  // 600 ticks
    platform::RunUntilIdle();
    // A pending press and key are taken away, not delivered.
    for (UInt32 cls : {kEventClassMouse, kEventClassKeyboard}) {
        EventRef e = nullptr;
        CreateEvent(nullptr, cls, cls == kEventClassMouse ? kEventMouseDown : kEventRawKeyDown, 0, 0, &e);
        platform::PostEventTo(e, GetWindowEventTarget(w));
        ReleaseEvent(e);
    }
    EXPECT_EQ(progress.OnProgress(CExportProgress::kUpdatePercent, 0, kFixedOne / 2), noErr);
    EXPECT_EQ(platform::RunUntilIdle(), 0);
    EXPECT_EQ(GetControl32BitValue(bar), 50);
    EXPECT_EQ(platform::ControlText(ControlById(w, FourCC("tTim"))), "10 seconds");

    progress.window.Show(true);
    user_.ClickControl(FakeUser::Ref(progress.window.GetWindowRef()), kCancel, 0).Play();
    EXPECT_EQ(progress.cancelled, 1);
    EXPECT_EQ(progress.OnProgress(CExportProgress::kUpdatePercent, 0, kFixedOne), -128);
    EXPECT_EQ(GetControl32BitValue(bar), 50) << "a cancelled export touches nothing";
    EXPECT_EQ(progress.OnProgress(CExportProgress::kClose, 0, 0), -128);
    // A new export clears the flag.
    progress.cancelled = 0;
    EXPECT_EQ(progress.OnProgress(CExportProgress::kOpen, 0, 0), noErr);
    EXPECT_EQ(progress.OnProgress(CExportProgress::kClose, 0, 0), noErr);
    EXPECT_EQ(progress.window.GetWindow(), w);
    // Closing took the window's handlers away: Cancel no longer reaches it.
    user_.ClickControl(FakeUser::Ref(progress.window.GetWindowRef()), kCancel, 0).Play();
    EXPECT_EQ(progress.cancelled, 0);
}

TEST_F(MoviePaneTest, PlayerFollowsTheWindowsBounds)
{
    struct Case {
        const char* name;
        bool controller;
        bool visible;
        std::vector<std::string> log;  // beyond the player's own offers
        Rect box;
    };
    const Case cases[] = {
        {"visible controller", true, true, {"bounds 10,20,250,340"}, {0, 0, 120, 160}},
        {"hidden controller", true, false, {}, {0, 0, 240, 320}},
        {"no controller", false, false, {}, {0, 0, 240, 320}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMoviePlayer player;
        const Rect start{0, 0, 120, 160};
        Movie movie = nullptr;
        MovieController controller = NewPlayable(&movie, start);
        const Rect controllerBounds{10, 20, 130, 180};
        MCSetControllerBoundsRect(controller, &controllerBounds);
        MCSetVisible(controller, c.visible);
        if (!c.controller) DisposeMovieController(controller), controller = nullptr;
        platform::ClearMovieControllerLog();
        player.SetMovie(movie);
        player.SetController(controller);
        ASSERT_TRUE(player.InstallHandler(Window()));

        user_.MoveWindow(FakeUser::Ref(window_.GetWindowRef()), 150, 140).Play();
        Rect box;
        GetMovieBox(movie, &box);
        EXPECT_EQ(RectText(box), RectText(start)) << "a move changes nothing";
        user_.ResizeWindow(FakeUser::Ref(window_.GetWindowRef()), 150, 140, 320, 240).Play();
        GetMovieBox(movie, &box);
        EXPECT_EQ(RectText(box), RectText(c.box));
        std::vector<std::string> changes;
        for (const auto& line : Log())
            if (line.find(" event ") == std::string::npos) changes.push_back(line.substr(line.find(' ') + 1));
        EXPECT_EQ(changes, c.log);

        player.Close();
        DisposeMovie(movie);
        SizeWindow(Window(), 400, 300, false);
    }
}

TEST_F(MoviePaneTest, PlayerUpdateAndClose)
{
    CMoviePlayer player;
    ASSERT_TRUE(player.InstallHandler(Window()));
    EventRef update = nullptr;
    CreateEvent(nullptr, kEventClassWindow, kEventWindowUpdate, 0, 0, &update);
    EXPECT_EQ(CMoviePlayer::EventProc(nullptr, update, &player), eventNotHandledErr) << "no movie";
    Movie movie = nullptr;
    MovieController controller = NewPlayable(&movie, Rect{0, 0, 16, 100});
    player.SetMovie(movie);
    player.SetController(controller);
    EXPECT_EQ(CMoviePlayer::EventProc(nullptr, update, &player), noErr);
    EXPECT_EQ(platform::MovieUpdateCount(movie), 1);
    ReleaseEvent(update);

    // A close request suspends and disposes of the controller, and the
    // window still closes.
    const std::string suspend = Mc(controller, "action 46"), dispose = Mc(controller, "dispose");
    EventRef close = nullptr;
    CreateEvent(nullptr, kEventClassWindow, kEventWindowClose, 0, 0, &close);
    EXPECT_EQ(CMoviePlayer::EventProc(nullptr, close, &player), eventNotHandledErr);
    ReleaseEvent(close);
    const auto log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], suspend);
    EXPECT_EQ(log.back(), dispose);
    EXPECT_EQ(player.GetController(), nullptr);
    EXPECT_EQ(player.GetMovie(), nullptr);
    DisposeMovie(movie);
}

TEST_F(MoviePaneTest, ShowPreviewCheckBox)
{
    CPreviewProgressInfo info;
    ProgressParams params;
    InitProgressParams(&params);
    CPreviewProgressDialog dialog;
    ASSERT_EQ(dialog.Open(0, &params, &info), 0);
    Rect content;
    GetWindowBounds(dialog.GetWindow(), kWindowContentRgn, &content);
    EXPECT_EQ(RectWidth(content), 380);
    EXPECT_EQ(RectHeight(content), 158);
    ControlRef check = ControlById(dialog.GetWindow(), FourCC("cPrv"));
    EXPECT_EQ(GetControl32BitValue(check), 1);
    EXPECT_EQ(RectText(BoundsOf(ControlById(dialog.GetWindow(), FourCC("uPrv")))),
              RectText(Rect{20, 20, 116, 116}));

    CImage picture;
    Fill(picture, 50, 50, {255, 255, 0});
    dialog.GetPane().SetImage(picture);
    EXPECT_NE(PixelAt(dialog.GetPane().GetPaneWorld(), 48, 48), 0u);
    dialog.SetMessage("kept");
    user_.ClickControl(FakeUser::Ref(dialog.GetWindowRef()), FourCC("cPrv"), 0).Play();
    EXPECT_EQ(info.showPreview, 0);
    dialog.GetPane().Refresh();
    EXPECT_EQ(RectText(NonBlackBounds(dialog.GetPane().GetPaneWorld())), RectText(Rect{}));
    info.Reset();
    EXPECT_EQ(info.showPreview, 1);

    // A reset empties the preview and keeps the texts.
    dialog.GetPane().SetImage(picture);
    dialog.Reset();
    dialog.GetPane().Refresh();
    EXPECT_EQ(RectText(NonBlackBounds(dialog.GetPane().GetPaneWorld())), RectText(Rect{}));
    EXPECT_EQ(platform::ControlText(ControlById(dialog.GetWindow(), FourCC("sMsg"))), "kept");
}

TEST_F(MoviePaneTest, OffscreenPaneDrawsItsWorldOrPaintsWithoutOne)
{
    COffscreenPane pane;
    ControlRef control = BindPane(pane, FourCC("oPan"), Rect{20, 40, 60, 100});
    ASSERT_NE(control, nullptr);
    ASSERT_NE(pane.GetWorld(), nullptr);
    {
        PortSaver saver;
        SetGWorld(pane.GetWorld());
        RGBColor green{0, 0xFFFF, 0};
        RGBForeColor(&green);
        const Rect all{0, 0, 40, 60};
        PaintRect(&all);
    }
    GWorldPtr port = GetWindowPort(Window());
    auto whiten = [&] {
        PortSaver saver;
        SetGWorld(port);
        RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
        RGBForeColor(&white);
        PaintRect(&port->GetPortBounds());
        RGBColor black{0, 0, 0};
        RGBForeColor(&black);
    };
    const struct {
        bool reference;
        uint32_t inside;
    } cases[] = {{true, 0x00FF00u}, {false, 0u}};
    for (const auto& c : cases) {
        whiten();
        if (!c.reference) SetControlReference(control, 0);
        PortSaver saver;
        SetGWorld(port);
        Draw1Control(control);
        EXPECT_EQ(PixelAt(port, 70, 40), c.inside) << c.reference;
        EXPECT_EQ(PixelAt(port, 30, 10), 0xFFFFFFu) << "nothing outside the bounds";
    }
    EXPECT_TRUE(pane.Detach());
    EXPECT_EQ(pane.GetWorld(), nullptr);
}

TEST_F(MoviePaneTest, DetachWithARunningTimerReportsIt)
{
    CMoviePlayerPane pane;
    ControlRef control = BindPane(pane, FourCC("mPan"), Rect{0, 0, 50, 50});
    ASSERT_NE(control, nullptr);
    Movie movie = nullptr;
    MovieController controller = NewPlayable(&movie, Rect{0, 0, 50, 50});
    pane.GetPlayer().SetMovie(movie);
    pane.GetPlayer().SetController(controller);
    ASSERT_TRUE(pane.StartTimer(0.5));
    platform::AdvanceClock(1.1);
    EXPECT_EQ(Log(), (std::vector<std::string>{Mc(controller, "event 0"), Mc(controller, "event 0")}));
    EXPECT_FALSE(pane.Detach()) << "a running timer had to be stopped";
    EXPECT_EQ(pane.GetWorld(), nullptr);
    platform::AdvanceClock(2);
    EXPECT_EQ(Log().size(), 2u) << "the timer is gone";
    EXPECT_TRUE(pane.Detach());
    EXPECT_EQ(GetControlReference(control), 0);
    pane.GetPlayer().Close();
    DisposeMovie(movie);
}

TEST_F(MoviePaneTest, PreviewPaneServicesMoviesAndUpdates)
{
    CMoviePreviewPane pane;
    ControlRef control = BindPane(pane, FourCC("pPan"), Rect{0, 0, 80, 80});
    ASSERT_NE(control, nullptr);
    Movie movie = nullptr;
    MovieController controller = NewPlayable(&movie, Rect{0, 0, 80, 80});
    pane.SetMovie(movie, controller);
    const int tasks = platform::MoviesTaskCount();
    ASSERT_TRUE(pane.StartTimer(1.0));
    platform::AdvanceClock(1.5);
    EXPECT_EQ(platform::MoviesTaskCount(), tasks + 1);
    // Updates of the owner window reach the movie, and go on.
    EventRef update = nullptr;
    CreateEvent(nullptr, kEventClassWindow, kEventWindowUpdate, 0, 0, &update);
    EXPECT_EQ(CMoviePreviewPane::EventProc(nullptr, update, static_cast<CControl*>(&pane)), eventNotHandledErr);
    ReleaseEvent(update);
    Draw1Control(control);
    EXPECT_EQ(platform::MovieUpdateCount(movie), 2);
    EXPECT_EQ(Log(), (std::vector<std::string>{Mc(controller, "event 0"), Mc(controller, "event 6")}));
    EXPECT_FALSE(pane.StopTimer()) << "it was running";
    EXPECT_TRUE(pane.Detach());
    DisposeMovieController(controller);
    DisposeMovie(movie);
}

// Whether a pixel (0xRRGGBB) is the colour, each channel within 24.
::testing::AssertionResult Near(uint32_t pixel, long rgb)
{
    for (int shift : {16, 8, 0})
        if (std::abs(int(pixel >> shift & 0xFF) - int(rgb >> shift & 0xFF)) > 24)
            return ::testing::AssertionFailure() << std::hex << pixel << " is not " << rgb;
    return ::testing::AssertionSuccess();
}

// A movie file in the player pane: its controller, idled by the pane's
// timer, draws the frame of the time reached on the virtual clock into the
// pane's world, until the movie ends.
TEST_F(MoviePaneTest, PlayerPaneDrawsFramesAsTimeRuns)
{
    if (!FfmpegUnavailable().empty()) GTEST_SKIP() << FfmpegUnavailable();
    const TestMovie& m = TestMovieNamed("mp4");
    CMoviePlayerPane pane;
    const Rect box{0, 0, 48, 64};
    ControlRef control = BindPane(pane, FourCC("mPan"), Rect{20, 10, 68, 74});
    ASSERT_NE(control, nullptr);
    CMoviePlayer& player = pane.GetPlayer();
    ASSERT_TRUE(player.GetMovieFile().OpenFile(m.path));
    Movie movie = player.GetMovieFile().GetMovie();
    ASSERT_NE(movie, nullptr);
    player.SetMovie(movie);
    player.SetController(NewMovieController(movie, &box, false));
    SetMovieGWorld(movie, pane.GetWorld(), nullptr);
    EXPECT_EQ(GetMovieDuration(movie), player.GetMovieFile().GetDuration());
    MCDoAction(player.GetController(), mcActionPlay, reinterpret_cast<void*>(intptr_t(kFixedOne)));
    ASSERT_TRUE(pane.StartTimer(1.0 / 24));
    const struct {
        double seconds;  // clock moved on by
        long rgb;
    } steps[] = {{0.3, m.first}, {0.4, m.first}, {0.6, m.second}, {0.5, m.second}};
    for (const auto& step : steps) {
        platform::AdvanceClock(step.seconds);
        EXPECT_TRUE(Near(PixelAt(pane.GetWorld(), 32, 24), step.rgb)) << GetMovieTime(movie, nullptr);
        Draw1Control(control);
        EXPECT_TRUE(Near(PixelAt(GetWindowPort(Window()), 10 + 60, 20 + 40), step.rgb));
    }
    EXPECT_NEAR(player.GetMovieFile().GetTime(), 1.8 * 600, 600 / 24 + 1);
    platform::AdvanceClock(1.0);
    EXPECT_TRUE(IsMovieDone(movie));
    EXPECT_EQ(GetMovieRate(movie), 0);
    const int draws = platform::MovieDrawCount(movie);
    platform::AdvanceClock(1.0);
    EXPECT_EQ(platform::MovieDrawCount(movie), draws) << "an ended movie is not drawn again";
    EXPECT_FALSE(pane.StopTimer());
    player.Close();
}

// The preview pane services every movie at each tick: one drawing into
// the window at its box shows the frame of its time.
TEST_F(MoviePaneTest, PreviewPaneDrawsAMovieFileIntoTheWindow)
{
    if (!FfmpegUnavailable().empty()) GTEST_SKIP() << FfmpegUnavailable();
    const TestMovie& m = TestMovieNamed("mov");
    CMoviePreviewPane pane;
    ASSERT_NE(BindPane(pane, FourCC("pPan"), Rect{100, 100, 148, 164}), nullptr);
    CQTMovie file;
    ASSERT_TRUE(file.OpenFile(m.path));
    Movie movie = file.GetMovie();
    const Rect box{100, 100, 148, 164};
    SetMovieBox(movie, &box);
    SetMovieGWorld(movie, GetWindowPort(Window()), nullptr);
    MovieController controller = NewMovieController(movie, &box, true);
    pane.SetMovie(movie, controller);
    SetMovieTimeValue(movie, 900);
    ASSERT_TRUE(pane.StartTimer(0.5));
    platform::AdvanceClock(0.6);
    EXPECT_TRUE(Near(PixelAt(GetWindowPort(Window()), 132, 124), m.second));
    SetMovieTimeValue(movie, 60);
    platform::AdvanceClock(0.5);
    EXPECT_TRUE(Near(PixelAt(GetWindowPort(Window()), 132, 124), m.first));
    EXPECT_FALSE(pane.StopTimer());
    EXPECT_TRUE(pane.Detach());
    DisposeMovieController(controller);
}

}  // namespace
}  // namespace tavrel_test
