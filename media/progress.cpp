#include "media/progress.h"

#include <algorithm>
#include <cstdio>

#include "foundation/str.h"

namespace {

const OSType kBarSignature = platform::FourCharCode("pbPg");
const OSType kMessageSignature = platform::FourCharCode("sMsg");
const OSType kDetailSignature = platform::FourCharCode("sMs2");

// Rectangles given as left, top, right, bottom.
}  // namespace

void InitProgressParams(ProgressParams* params)
{
    if (!params) return;
    params->minimum = 0;
    params->maximum = 100;
    params->title = nullptr;
    params->reserved1 = 0;
    params->utility = 0;
}

void CProgressInfo::Reset()
{
    minimum = 0;
    maximum = 100;
    cancelled = 0;
    finished = 0;
}

CProgressDialog::~CProgressDialog()
{
    DisposeControls();
}

bool CProgressDialog::OnInitDialog()
{
    if (params_ && params_->title) SetTitle(params_->title);
    CreateControls();
    return true;
}

bool CProgressDialog::OnCommand(UInt32 command, EventRef*)
{
    if (command != kResultCancel) return false;
    Cancel();
    return true;
}

int CProgressDialog::Open(int, ProgressParams* params, CProgressInfo* info)
{
    if (info) {
        info->finished = 0;
        info->cancelled = 0;
    }
    info_ = info;
    SetResult(static_cast<int>(kResultOk));
    params_ = params;
    if (!windowMade_) {
        if (!CreateWindow()) return -1;
        windowMade_ = true;
        // The bar takes its range from the records of the first run only;
        // later runs keep what SetRange made of it.
        if (params) SetRange(params->minimum, params->maximum);
    }
    Reset();
    if (GetWindow()) {
        Reposition(nullptr);
        Show(true);
    }
    return 0;
}

bool CProgressDialog::CreateWindow()
{
    Rect r;
    GetWindowRect(&r);
    const WindowClass windowClass = params_ && params_->utility ? kUtilityWindowClass : kDocumentWindowClass;
    if (CreateNewWindow(windowClass, kWindowCollapseBoxAttribute | kWindowStandardHandlerAttribute, &r,
                        GetWindowRef()) != noErr) {
        *GetWindowRef() = nullptr;
        return false;
    }
    if (!InstallHandler()) {
        DestroyWindow();
        return false;
    }
    OnInitDialog();
    return true;
}

void CProgressDialog::GetWindowRect(Rect* r)
{
    if (r) *r = Rect{0, 0, kWindowHeight, kWindowWidth};
}

bool CProgressDialog::CreateControls()
{
    messageLine_.Create(this, kMessageSignature, LTRB(20, 20, 269, 36), "");
    bar_.Create(this, kBarSignature, LTRB(19, 43, 270, 62), "");
    if (params_) bar_.SetRange(params_->minimum, params_->maximum, true);
    detailLine_.Create(this, kDetailSignature, LTRB(20, 70, 269, 86), "");
    return cancelButton_.Create(this, kResultCancel, LTRB(108, 109, 178, 129), "Cancel");
}

bool CProgressDialog::DisposeControls()
{
    bar_.Dispose();
    messageLine_.Dispose();
    detailLine_.Dispose();
    cancelButton_.Dispose();
    return true;
}

void CProgressDialog::Pump()
{
    if (!GetWindow()) return;
    EventRef event = nullptr;
    if (ReceiveNextEvent(0, nullptr, kEventDurationNoWait, true, &event) == noErr && event) {
        SendEventToEventTarget(event, GetEventDispatcherTarget());
        ReleaseEvent(event);
    }
}

void CProgressDialog::SetMessage(const char* text)
{
    message_ = text ? text : "";
    if (messageLine_.GetControlRef()) messageLine_.SetText(message_.c_str(), true);
    Pump();
}

void CProgressDialog::SetMessageById(int id)
{
    SetMessage(CStr::LoadString(id).c_str());
}

void CProgressDialog::SetDetail(const char* text)
{
    detail_ = text ? text : "";
    if (detailLine_.GetControlRef()) detailLine_.SetText(detail_.c_str(), true);
    Pump();
}

void CProgressDialog::SetDetailById(int id)
{
    SetDetail(CStr::LoadString(id).c_str());
}

void CProgressDialog::SetBar(int value)
{
    // A bar control keeps its value inside its range.
    position_ = std::clamp(value, std::min(minimum_, maximum_), std::max(minimum_, maximum_));
    if (bar_.GetControlRef()) bar_.SetValue(position_, true);
}

void CProgressDialog::SetPosition(int value)
{
    SetBar(value);
    Pump();
}

void CProgressDialog::Advance(int delta)
{
    SetBar(int(std::clamp<int64_t>(int64_t(position_) + delta, INT32_MIN, INT32_MAX)));
    Pump();
}

void CProgressDialog::SetRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = maximum;
    if (bar_.GetControlRef()) bar_.SetRange(minimum, maximum, true);
    SetBar(position_);
}

void CProgressDialog::Finish()
{
    SetResult(static_cast<int>(kResultOk));
    if (info_) info_->finished = 1;
}

void CProgressDialog::Cancel()
{
    if (info_) info_->cancelled = 1;
    SetResult(static_cast<int>(kResultCancel));
}

bool CProgressDialog::IsCancelled() const
{
    return info_ && info_->cancelled;
}

void CProgressDialog::Reset()
{
    SetBar(0);
    SetInitialTexts();
}

void CProgressDialog::SetAudioPercent(int percent)
{
    char text[256];
    std::snprintf(text, sizeof text, "Reading Audio...%d%%", percent);
    detail_ = text;
    if (detailLine_.GetControlRef()) detailLine_.SetText(detail_.c_str(), true);
    Pump();
}

void CProgressDialog::SetInitialTexts()
{
    message_ = "Initializing...";
    detail_.clear();
    if (messageLine_.GetControlRef()) messageLine_.SetText(message_.c_str(), true);
    if (detailLine_.GetControlRef()) detailLine_.SetText("", true);
}
