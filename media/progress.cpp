#include "media/progress.h"

#include <algorithm>
#include <cstdio>

#include "foundation/str.h"

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

int CProgressDialog::Open(int, ProgressParams* params, CProgressInfo* info)
{
    if (info) {
        info->finished = 0;
        info->cancelled = 0;
    }
    info_ = info;
    result_ = kResultOk;
    params_ = params;
    if (!windowMade_) {
        if (!CreateWindow()) return -1;
        windowMade_ = true;
        // The bar takes its range from the records of the first run only;
        // later runs keep what SetRange made of it.
        if (params) SetRange(params->minimum, params->maximum);
    }
    Reset();
    return 0;
}

void CProgressDialog::SetMessage(const char* text)
{
    Pump();
    message_ = text ? text : "";
    Pump();
}

void CProgressDialog::SetMessageById(int id)
{
    SetMessage(CStr::LoadString(id).c_str());
}

void CProgressDialog::SetDetail(const char* text)
{
    Pump();
    detail_ = text ? text : "";
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
}

void CProgressDialog::SetPosition(int value)
{
    Pump();
    SetBar(value);
    Pump();
}

void CProgressDialog::Advance(int delta)
{
    Pump();
    SetBar(int(std::clamp<int64_t>(int64_t(position_) + delta, INT32_MIN, INT32_MAX)));
    Pump();
}

void CProgressDialog::SetRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = maximum;
    SetBar(position_);
}

void CProgressDialog::Finish()
{
    result_ = kResultOk;
    if (info_) info_->finished = 1;
}

void CProgressDialog::Cancel()
{
    if (info_) info_->cancelled = 1;
    result_ = kResultCancel;
}

bool CProgressDialog::IsCancelled() const
{
    return info_ && info_->cancelled;
}

void CProgressDialog::Reset()
{
    SetBar(0);
    SetInitialTexts();
    Pump();
}

void CProgressDialog::SetAudioPercent(int percent)
{
    char text[256];
    std::snprintf(text, sizeof text, "Reading Audio...%d%%", percent);
    Pump();
    detail_ = text;
    Pump();
}

void CProgressDialog::SetInitialTexts()
{
    message_ = "Initializing...";
    detail_.clear();
}
