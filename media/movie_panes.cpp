#include "media/movie_panes.h"

#include <cstdio>


namespace {

const OSType kPaneSignature = platform::FourCharCode("uPrv");
const OSType kCheckSignature = platform::FourCharCode("cPrv");

EventTargetRef OwnerWindowTarget(ControlRef control)
{
    return GetWindowEventTarget(GetControlOwner(control));
}

const EventTypeSpec kPreviewTypes[] = {{kEventClassWindow, kEventWindowUpdate},
                                       {kEventClassWindow, kEventWindowActivated},
                                       {kEventClassWindow, 24},  // shown
                                       {kEventClassMouse, kEventMouseDown}};

}  // namespace

// ---- Preview progress dialog

void CPreviewProgressInfo::Reset()
{
    CProgressInfo::Reset();
    showPreview = 1;
}

CPreviewProgressDialog::~CPreviewProgressDialog()
{
    CPreviewProgressDialog::DisposeControls();
}

CPreviewProgressInfo* CPreviewProgressDialog::PreviewInfo() const
{
    return dynamic_cast<CPreviewProgressInfo*>(GetInfo());
}

bool CPreviewProgressDialog::OnCommand(UInt32 command, EventRef* event)
{
    if (CProgressDialog::OnCommand(command, event)) return true;
    if (command != kCheckSignature) return false;
    OnShowPreview();
    return true;
}

bool CPreviewProgressDialog::DisposeControls()
{
    CProgressDialog::DisposeControls();
    pane_.Detach();
    showPreview_.Dispose();
    return true;
}

void CPreviewProgressDialog::GetWindowRect(Rect* r)
{
    if (r) *r = Rect{0, 0, 158, 380};
}

bool CPreviewProgressDialog::CreateControls()
{
    pane_.Create(this, kPaneSignature, LTRB(20, 20, 116, 116), "");
    showPreview_.Create(this, kCheckSignature, LTRB(20, 124, 114, 138), "Show Preview");
    messageLine_.Create(this, platform::FourCharCode("sMsg"), LTRB(124, 20, 360, 33), "");
    detailLine_.Create(this, platform::FourCharCode("sMs2"), LTRB(124, 41, 360, 54), "");
    bar_.Create(this, platform::FourCharCode("pbPg"), LTRB(123, 61, 361, 80), "");
    if (const ProgressParams* params = GetParams()) bar_.SetRange(params->minimum, params->maximum, true);
    cancelButton_.Create(this, kResultCancel, LTRB(206, 98, 276, 115), "Cancel");
    CPreviewProgressInfo* info = PreviewInfo();
    showPreview_.SetValue(info ? info->showPreview != 0 : true, true);
    return pane_.RecreateOffscreen();
}

void CPreviewProgressDialog::OnShowPreview()
{
    const bool show = showPreview_.GetValue();
    if (CPreviewProgressInfo* info = PreviewInfo()) info->showPreview = show ? 1 : 0;
    if (!show) pane_.RecreateOffscreen();
}

// ---- Offscreen pane

bool COffscreenPane::Attach()
{
    return binding_.Attach(*this, GetControlEventTarget, &kPaneUpdateEvent, 1, EventProc, DrawProc);
}

bool COffscreenPane::Draw()
{
    binding_.Draw(GetControlRef());
    return true;
}

OSStatus COffscreenPane::EventProc(EventHandlerCallRef, EventRef, void* pane)
{
    if (auto* p = PaneFromUserData<COffscreenPane>(pane)) p->Draw();
    return eventNotHandledErr;
}

void COffscreenPane::DrawProc(ControlRef control, SInt16)
{
    if (auto* pane = PaneFromControl<COffscreenPane>(control)) {
        pane->Draw();
        return;
    }
    Rect bounds;
    GetControlBounds(control, &bounds);
    PaintRect(&bounds);
}

// ---- Movie player

CMoviePlayer::~CMoviePlayer()
{
    Close();
}

bool CMoviePlayer::InstallHandler(WindowRef window)
{
    if (eventHandler_) return false;
    static const EventTypeSpec types[] = {{kEventClassWindow, kEventWindowBoundsChanged},
                                          {kEventClassWindow, kEventWindowUpdate},
                                          {kEventClassWindow, kEventWindowClose}};
    if (!eventHandlerUPP_) eventHandlerUPP_ = NewEventHandlerUPP(EventProc);
    if (InstallEventHandler(GetWindowEventTarget(window), eventHandlerUPP_, 3, types, this, &eventHandler_) == noErr)
        return true;
    eventHandler_ = nullptr;
    return false;
}

bool CMoviePlayer::StartTimer(double interval)
{
    if (timer_) return false;
    if (!timerUPP_) timerUPP_ = NewEventLoopTimerUPP(TimerProc);
    return InstallEventLoopTimer(GetMainEventLoop(), interval, interval, timerUPP_, this, &timer_) == noErr;
}

bool CMoviePlayer::Close()
{
    // The controller goes before the movie it drives.
    if (controller_) {
        MCDoAction(controller_, mcActionSuspend, nullptr);
        DisposeMovieController(controller_);
        controller_ = nullptr;
    }
    movieFile_.Close();
    movie_ = nullptr;
    if (timer_) {
        RemoveEventLoopTimer(timer_);
        timer_ = nullptr;
    }
    if (timerUPP_) {
        DisposeEventLoopTimerUPP(timerUPP_);
        timerUPP_ = nullptr;
    }
    if (eventHandler_) {
        RemoveEventHandler(eventHandler_);
        eventHandler_ = nullptr;
    }
    if (eventHandlerUPP_) {
        DisposeEventHandlerUPP(eventHandlerUPP_);
        eventHandlerUPP_ = nullptr;
    }
    return true;
}

bool CMoviePlayer::IsPlayerEventRef(EventRef* event)
{
    if (!controller_ || !event) return false;
    EventRecord record;
    ConvertEventRefToEventRecord(*event, &record);
    return MCIsPlayerEvent(controller_, &record) != 0;
}

bool CMoviePlayer::IsPlayerEvent(EventRecord* record)
{
    return controller_ && MCIsPlayerEvent(controller_, record) != 0;
}

bool CMoviePlayer::Update()
{
    if (!movie_) return false;
    UpdateMovie(movie_);
    return true;
}

int CMoviePlayer::Resize(int width, int height)
{
    if (controller_ && MCGetVisible(controller_)) {
        Rect bounds;
        MCGetControllerBoundsRect(controller_, &bounds);
        bounds.right = static_cast<int16_t>(bounds.left + width);
        bounds.bottom = static_cast<int16_t>(bounds.top + height);
        MCSetControllerBoundsRect(controller_, &bounds);
    } else {
        const Rect box{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
        SetMovieBox(movie_, &box);
    }
    return 0;
}

int CMoviePlayer::OnWindowClose()
{
    Close();
    return 0;
}

void CMoviePlayer::OnIdle()
{
    EventRef event = nullptr;
    if (CreateEvent(nullptr, kEventClassMouse, kEventMouseMoved, 0.0, 0, &event) != noErr) return;
    IsPlayerEventRef(&event);
    ReleaseEvent(event);
}

void CMoviePlayer::TimerProc(EventLoopTimerRef, void* player)
{
    if (player) static_cast<CMoviePlayer*>(player)->OnIdle();
}

OSStatus CMoviePlayer::EventProc(EventHandlerCallRef, EventRef event, void* userData)
{
    auto* player = static_cast<CMoviePlayer*>(userData);
    if (player) player->IsPlayerEventRef(&event);
    if (GetEventClass(event) != kEventClassWindow) return eventNotHandledErr;
    switch (GetEventKind(event)) {
        case kEventWindowBoundsChanged: {
            Rect before{}, after{};
            if (GetEventParameter(event, kEventParamOriginalBounds, typeQDRectangle, nullptr, sizeof before, nullptr,
                                  &before) != noErr ||
                GetEventParameter(event, kEventParamCurrentBounds, typeQDRectangle, nullptr, sizeof after, nullptr,
                                  &after) != noErr)
                return eventNotHandledErr;
            if (RectWidth(before) == RectWidth(after) && RectHeight(before) == RectHeight(after))
                return eventNotHandledErr;
            if (player) player->Resize(RectWidth(after), RectHeight(after));
            return eventNotHandledErr;
        }
        case kEventWindowUpdate:
            return player && player->Update() ? noErr : eventNotHandledErr;
        case kEventWindowClose:
            // The window still closes.
            if (player) player->OnWindowClose();
            return eventNotHandledErr;
        default:
            return eventNotHandledErr;
    }
}

// ---- Movie preview pane

bool CMoviePreviewPane::Attach()
{
    if (!binding_.Attach(*this, OwnerWindowTarget, kPreviewTypes, 4, EventProc, DrawProc)) return false;
    if (!binding_.timerUPP) binding_.timerUPP = NewEventLoopTimerUPP(TimerProc);
    return true;
}

void CMoviePreviewPane::Update()
{
    if (movie_) UpdateMovie(movie_);
}

bool CMoviePreviewPane::IsPlayerEventRef(EventRef* event)
{
    if (!controller_ || !event) return false;
    EventRecord record;
    ConvertEventRefToEventRecord(*event, &record);
    return MCIsPlayerEvent(controller_, &record) != 0;
}

bool CMoviePreviewPane::IsPlayerEvent(EventRecord* record)
{
    return controller_ && MCIsPlayerEvent(controller_, record) != 0;
}

void CMoviePreviewPane::OnIdle()
{
    MoviesTask(nullptr, 0);
    if (!controller_) return;
    EventRecord idle;
    IsPlayerEvent(&idle);
}

OSStatus CMoviePreviewPane::EventProc(EventHandlerCallRef, EventRef event, void* userData)
{
    auto* pane = PaneFromUserData<CMoviePreviewPane>(userData);
    if (!pane) return eventNotHandledErr;
    pane->IsPlayerEventRef(&event);
    if (GetEventClass(event) == kEventClassWindow && GetEventKind(event) == kEventWindowUpdate) pane->Update();
    return eventNotHandledErr;
}

void CMoviePreviewPane::DrawProc(ControlRef control, SInt16)
{
    if (auto* pane = PaneFromControl<CMoviePreviewPane>(control)) pane->Update();
}

void CMoviePreviewPane::TimerProc(EventLoopTimerRef, void* pane)
{
    if (auto* p = PaneFromUserData<CMoviePreviewPane>(pane)) p->OnIdle();
}

// ---- Movie player pane

bool CMoviePlayerPane::Attach()
{
    if (!COffscreenPane::Attach()) return false;
    if (!binding_.timerUPP) binding_.timerUPP = NewEventLoopTimerUPP(TimerProc);
    return true;
}

void CMoviePlayerPane::OnIdle()
{
    if (!player_.GetController()) return;
    EventRecord idle;
    player_.IsPlayerEvent(&idle);
}

void CMoviePlayerPane::TimerProc(EventLoopTimerRef, void* pane)
{
    if (auto* p = PaneFromUserData<CMoviePlayerPane>(pane)) p->OnIdle();
}

// ---- Export progress

int CExportProgressDialog::Open(WindowRef parent, int32_t* cancelFlag)
{
    cancelFlag_ = cancelFlag;
    if (GetWindow()) return 0;
    return CreateNew(100, 100, 320, 155, 0, parent, 0) ? 0 : -1;
}

bool CExportProgressDialog::OnInitDialog()
{
    bar_.Create(this, platform::FourCharCode("pPbr"), LTRB(19, 43, 300, 59), "");
    bar_.SetRange(0, 100, false);
    bar_.SetValue(0, true);
    message_.Create(this, platform::FourCharCode("tMsg"), LTRB(20, 20, 300, 36), "");
    timeLeft_.Create(this, platform::FourCharCode("tTim"), LTRB(20, 68, 300, 84), "0");
    cancel_.Create(this, kResultCancel, LTRB(123, 115, 193, 135), "Cancel");
    ControlFontStyleRec style;
    style.flags = 1;  // font only
    style.font = -1;  // the big system font
    SetControlFontStyle(cancel_.GetControlRef(), &style);
    SetWindowDefaultButton(GetWindow(), cancel_.GetControlRef());
    SetWindowCancelButton(GetWindow(), cancel_.GetControlRef());
    return true;
}

bool CExportProgressDialog::OnCommand(UInt32 command, EventRef*)
{
    if (command != kResultCancel) return false;
    if (cancelFlag_) *cancelFlag_ = 1;
    return true;
}

void CExportProgressDialog::SetPercent(int percent)
{
    if (bar_.GetControlRef()) bar_.SetValue(percent, true);
}

void CExportProgressDialog::SetTimeLeft(int seconds)
{
    if (!timeLeft_.GetControlRef() || seconds > 60) return;
    char text[256];
    if (seconds >= 2)
        std::snprintf(text, sizeof text, "%u seconds", unsigned(seconds));
    else  // a negative estimate reads as none left
        std::snprintf(text, sizeof text, "less than %u second", unsigned(seconds < 0 ? 0 : seconds));
    timeLeft_.SetText(text, true);
}

OSErr CExportProgress::ProgressProc(Movie, short message, short operation, Fixed percentDone, long refcon)
{
    auto* progress = reinterpret_cast<CExportProgress*>(refcon);
    return progress ? progress->OnProgress(message, operation, percentDone) : noErr;
}

int CExportProgress::GetSecondsLeft(Fixed fraction, int elapsedTicks)
{
    const Fixed elapsed = Long2Fix(elapsedTicks);
    const Fixed total = FixMul(FixDiv(kFixedOne, fraction), elapsed);
    const int64_t left = int64_t(total) - elapsed;
    const Fixed leftFixed = left > kFixedMax ? kFixedMax : left < kFixedMin ? kFixedMin : Fixed(left);
    return static_cast<int>(Fix2Long(FixDiv(leftFixed, Long2Fix(60))));
}

OSErr CExportProgress::OnProgress(short message, short, Fixed percentDone)
{
    if (cancelled) return kUserCanceled;
    PortSaver saver;
    switch (message) {
        case kOpen:
            cancelled = 0;
            window.Open(nullptr, &cancelled);
            start = TickCount();
            break;
        case kUpdatePercent: {
            // Without a window there is nothing to update.
            WindowRef w = window.GetWindow();
            if (!w) break;
            SetGWorld(GetWindowPort(w), GetMainDevice());
            EventRecord discarded;
            WaitNextEvent(mDownMask, &discarded, 0, nullptr);
            WaitNextEvent(keyDownMask, &discarded, 0, nullptr);
            window.SetPercent(static_cast<int>(Fix2Long(FixMul(percentDone, Long2Fix(100)))));
            window.SetTimeLeft(GetSecondsLeft(percentDone, static_cast<int>(TickCount() - start)));
            break;
        }
        case kClose:
            window.RemoveHandlers();
            break;
        default:
            break;
    }
    return noErr;
}
