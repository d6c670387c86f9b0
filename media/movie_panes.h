#pragma once
// Building blocks for showing media inside the program's windows: the
// progress dialog with a picture preview, user panes that show an offscreen
// world or host a movie and its controller, the movie-and-controller holder
// they contain, and a movie export's progress procedure with its window.
#include "media/image_pane.h"
#include "media/progress.h"
#include "media/qt_movie.h"
#include "platform/fixed_math.h"
#include "platform/movie_toolbox.h"
#include "ui/buttons.h"

class CPreviewProgressInfo : public CProgressInfo {
public:
    CPreviewProgressInfo() { CPreviewProgressInfo::Reset(); }
    // A fresh record asks for the preview.
    void Reset() override;

    int32_t showPreview = 1;
};

// Opened with a CPreviewProgressInfo.
class CPreviewProgressDialog : public CProgressDialog {
public:
    ~CPreviewProgressDialog() override;
    bool OnCommand(UInt32 command, EventRef* event) override;
    bool DisposeControls() override;
    void GetWindowRect(Rect* r) override;
    // Stores the check box in the record; unchecked empties the preview.
    void OnShowPreview();

    CImagePane& GetPane() { return pane_; }

protected:
    bool CreateControls() override;
    // A reset empties the preview and leaves the two text lines as they are.
    void SetInitialTexts() override { pane_.RecreateOffscreen(); }

private:
    CPreviewProgressInfo* PreviewInfo() const;

    CImagePane pane_;
    CCheckBox showPreview_;
};

// A user pane bound by a PaneBinding: the three panes below.
class CUserPaneControl : public CControl {
public:
    ~CUserPaneControl() override { Detach(); }
    using CControl::Attach;
    virtual bool Attach() = 0;
    bool OnAttach() override { return Attach(); }
    // Releases what attaching made; false when removing the handler failed
    // or a running timer had to be stopped. The control stays the base's.
    bool Detach() { return binding_.Detach(GetControlRef()); }
    bool StartTimer(double interval) { return binding_.StartTimer(interval, static_cast<CControl*>(this)); }
    // False when a timer was running and is now removed.
    bool StopTimer() { return binding_.StopTimer(); }
    GWorldPtr GetWorld() const { return binding_.world; }

protected:
    PaneBinding binding_;
};

// Whoever owns the pane draws into its world; the pane shows it.
class COffscreenPane : public CUserPaneControl {
public:
    using CControl::Attach;
    bool Attach() override;
    // Copies the world into the control.
    bool Draw() override;
    static OSStatus EventProc(EventHandlerCallRef call, EventRef event, void* pane);
    static void DrawProc(ControlRef control, SInt16 part);
};

// A movie with its controller. The movie belongs to whoever gave it (the
// movie file here opens no pictures); the controller is owned.
class CMoviePlayer {
public:
    CMoviePlayer() = default;
    ~CMoviePlayer();
    CMoviePlayer(const CMoviePlayer&) = delete;
    CMoviePlayer& operator=(const CMoviePlayer&) = delete;

    void SetMovie(Movie movie) { movie_ = movie; }
    // Takes ownership of the controller.
    void SetController(MovieController controller) { controller_ = controller; }
    Movie GetMovie() const { return movie_; }
    MovieController GetController() const { return controller_; }
    CQTMovie& GetMovieFile() { return movieFile_; }
    // The window's bounds-changed, update and close requests reach EventProc.
    bool InstallHandler(WindowRef window);
    bool StartTimer(double interval);

    bool Close();
    bool IsPlayerEventRef(EventRef* event);
    bool IsPlayerEvent(EventRecord* record);
    bool Update();
    int Resize(int width, int height);
    int OnWindowClose();
    void OnIdle();
    static void TimerProc(EventLoopTimerRef timer, void* player);
    static OSStatus EventProc(EventHandlerCallRef call, EventRef event, void* player);

private:
    EventHandlerRef eventHandler_ = nullptr;
    EventHandlerUPP eventHandlerUPP_ = nullptr;
    EventLoopTimerUPP timerUPP_ = nullptr;
    EventLoopTimerRef timer_ = nullptr;
    CQTMovie movieFile_;
    Movie movie_ = nullptr;
    MovieController controller_ = nullptr;
};

class CMoviePreviewPane : public CUserPaneControl {
public:
    using CControl::Attach;
    bool Attach() override;
    void Update();
    bool IsPlayerEventRef(EventRef* event);
    bool IsPlayerEvent(EventRecord* record);
    void OnIdle();
    static OSStatus EventProc(EventHandlerCallRef call, EventRef event, void* pane);
    static void DrawProc(ControlRef control, SInt16 part);
    static void TimerProc(EventLoopTimerRef timer, void* pane);

    // The movie and controller the pane plays; neither is owned.
    void SetMovie(Movie movie, MovieController controller)
    {
        movie_ = movie;
        controller_ = controller;
    }

private:
    CMoviePlayer player_;
    CQTMovie movieFile_;
    Movie movie_ = nullptr;
    MovieController controller_ = nullptr;
};

// Shows its world as the offscreen pane does, and offers its player's
// controller an idle event on every tick of its timer.
class CMoviePlayerPane : public COffscreenPane {
public:
    using CControl::Attach;
    bool Attach() override;
    void OnIdle();
    static void TimerProc(EventLoopTimerRef timer, void* pane);

    CMoviePlayer& GetPlayer() { return player_; }

private:
    CMoviePlayer player_;
};

class CExportProgressDialog : public CDialogWindow {
public:
    // A document window at (100, 100), not shown; 0, or -1 when it cannot be made.
    int Open(WindowRef parent, int32_t* cancelFlag);
    bool OnInitDialog() override;
    bool OnCommand(UInt32 command, EventRef* event) override;
    void SetPercent(int percent);
    // "%u seconds" for 2 to 60, "less than %u second" for 1 and less; longer
    // times keep the text shown before.
    void SetTimeLeft(int seconds);

private:
    CProgressBar bar_;
    CStaticText timeLeft_;
    CStaticText message_;
    CPushButton cancel_;
    int32_t* cancelFlag_ = nullptr;
};

// The reference record of a movie export's progress procedure.
class CExportProgress {
public:
    enum { kOpen = 0, kUpdatePercent = 1, kClose = 2 };
    static constexpr OSErr kUserCanceled = -128;

    static OSErr ProgressProc(Movie movie, short message, short operation, Fixed percentDone, long refcon);
    OSErr OnProgress(short message, short operation, Fixed percentDone);
    // Whole seconds left if the rate so far holds; fraction done in 16.16.
    static int GetSecondsLeft(Fixed fraction, int elapsedTicks);

    CExportProgressDialog window;
    int32_t cancelled = 0;
    uint32_t start = 0;
};
