#include "ui/simple_controls.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/cfstring.h"
#include "platform/toolbox_events.h"
#include "ui/buttons.h"
#include "ui/control_events.h"
#include "ui/dialog_window.h"
#include "ui/ui_utils.h"

namespace {

ControlFontStyleRec SizeOnly10()
{
    ControlFontStyleRec style;
    style.flags = 4;
    style.size = 10;
    return style;
}

// The process-wide scroll bar of the last press; its thumb action finds it here.
CScrollBar* g_currentScrollBar = nullptr;

void Redraw(CControl& control, bool redraw)
{
    if (redraw) Draw1Control(control.GetControlRef());
}

}  // namespace

// ---- CGroupBox, CProgressBar, CSlider

bool CGroupBox::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    CCFString text(title ? title : "");
    ControlRef control = nullptr;
    OSStatus status = CreateGroupBoxControl(OwnerWindow(owner), &bounds, text, true, &control);
    return FinishCreate(status, control, owner, signature);
}

bool CProgressBar::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    ControlRef control = nullptr;
    OSStatus status = CreateProgressBarControl(OwnerWindow(owner), &bounds, 0, 0, 100, false, &control);
    return FinishCreate(status, control, owner, signature);
}

bool CProgressBar::SetValue(SInt32 value, bool redraw)
{
    SetControl32BitValue(GetControlRef(), value);
    Redraw(*this, redraw);
    return true;
}

SInt32 CProgressBar::GetValue()
{
    return GetControl32BitValue(GetControlRef());
}

bool CProgressBar::SetRange(int minimum, int maximum, bool redraw)
{
    SetControl32BitMaximum(GetControlRef(), static_cast<SInt16>(maximum));
    SetControl32BitMinimum(GetControlRef(), static_cast<SInt16>(minimum));
    Redraw(*this, redraw);
    return true;
}

int CProgressBar::GetMinimum()
{
    return static_cast<SInt16>(GetControl32BitMinimum(GetControlRef()));
}

int CProgressBar::GetMaximum()
{
    return static_cast<SInt16>(GetControl32BitMaximum(GetControlRef()));
}

bool CSlider::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    ControlRef control = nullptr;
    OSStatus status = CreateSliderControl(OwnerWindow(owner), &bounds, 0, 0, 100, 0, 5, false, nullptr, &control);
    if (!FinishCreate(status, control, owner, signature)) return false;
    return OnAttach();
}

bool CSlider::SetValue(SInt32 value, bool redraw)
{
    SetControl32BitValue(GetControlRef(), value);
    Redraw(*this, redraw);
    return true;
}

SInt32 CSlider::GetValue()
{
    return GetControl32BitValue(GetControlRef());
}

bool CSlider::SetRange(SInt32 minimum, SInt32 maximum, bool redraw)
{
    SetControl32BitMinimum(GetControlRef(), minimum);
    SetControl32BitMaximum(GetControlRef(), maximum);
    Redraw(*this, redraw);
    return true;
}

// ---- CRadioButton and CRadioGroup

CRadioButton::~CRadioButton()
{
    if (icon_) UnregisterIconFromResource(iconCode_, &icon_);
}

bool CRadioButton::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    CCFString text(title ? title : "");
    ControlRef control = nullptr;
    OSStatus status = CreateRadioButtonControl(OwnerWindow(owner), &bounds, text, 0, false, &control);
    return FinishCreate(status, control, owner, signature);
}

bool CRadioButton::SetValue(int on, bool redraw)
{
    SetControl32BitValue(GetControlRef(), on ? 1 : 0);
    Redraw(*this, redraw);
    return true;
}

bool CRadioButton::GetValue()
{
    return GetControl32BitValue(GetControlRef()) != 0;
}

bool CRadioButton::SetIcon(SInt16 resourceId, OSType iconCode)
{
    return SetIconContent(GetControlRef(), resourceId, iconCode, &icon_, &iconCode_);
}

CRadioGroup::~CRadioGroup()
{
    items_.clear();
    icons_.clear();
}

bool CRadioGroup::SetWindow(WindowRef window)
{
    groupWindow_ = window;
    groupId_ = 0;
    return true;
}

bool CRadioGroup::AddIcon(SInt16 resourceId, OSType iconCode)
{
    icons_.push_back(Icon{resourceId, iconCode});
    return true;
}

bool CRadioGroup::AddButton(const char*, OSType signature, int iconIndex, UInt8 flagA, UInt8 flagB)
{
    auto item = std::make_unique<Item>();
    item->iconIndex = iconIndex;
    item->signature = signature;
    item->flagA = flagA;
    item->flagB = flagB;
    WindowRef window = groupWindow_;
    if (!item->button.Attach(signature, &window, groupId_)) return false;
    // An index past the icons added names no icon: the button goes without one.
    if (iconIndex >= 0 && static_cast<size_t>(iconIndex) < icons_.size())
        item->button.SetIcon(icons_[iconIndex].resourceId, icons_[iconIndex].code);
    items_.push_back(std::move(item));
    return true;
}

CRadioButton* CRadioGroup::GetButton(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return nullptr;
    return &items_[index]->button;
}

// ---- CScrollBar

CScrollBar::~CScrollBar()
{
    if (g_currentScrollBar == this) g_currentScrollBar = nullptr;
    if (savedClip_) DisposeRgn(savedClip_);
    DisposeControlActionUPP(arrowUPP_);
    DisposeControlActionUPP(thumbUPP_);
}

bool CScrollBar::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, int titleId)
{
    if (!CControl::Create(owner, signature, bounds, titleId) || !OwnerWindow(owner)) return false;
    ControlRef control = nullptr;
    OSStatus status = CreateScrollBarControl(OwnerWindow(owner), &bounds, 0, 0, 100, 100, false, nullptr, &control);
    // A bar that was not made is neither shown nor bound.
    if (!FinishCreate(status, control, owner, signature)) return false;
    ShowControl(control);
    return OnAttach();
}

bool CScrollBar::OnAttach()
{
    if (!arrowUPP_) arrowUPP_ = NewControlActionUPP(ArrowAction);
    if (!thumbUPP_) thumbUPP_ = NewControlActionUPP(ThumbAction);
    Rect r;
    GetControlBounds(GetControlRef(), &r);
    horizontal_ = RectWidth(r) > RectHeight(r);
    SetControlViewSize(GetControlRef(), RectWidth(r) + 16);
    return true;
}

bool CScrollBar::SetValue(SInt32 value, bool redraw)
{
    ControlRef control = GetControlRef();
    if (value < GetControl32BitMinimum(control) || value > GetControl32BitMaximum(control)) return false;
    SetControl32BitValue(control, value);
    Redraw(*this, redraw);
    return true;
}

SInt32 CScrollBar::GetValue()
{
    return GetControl32BitValue(GetControlRef());
}

bool CScrollBar::SetRange(SInt32 minimum, SInt32 maximum, bool redraw)
{
    SetControl32BitMinimum(GetControlRef(), minimum);
    SetControl32BitMaximum(GetControlRef(), maximum);
    Redraw(*this, redraw);
    return true;
}

void CScrollBar::GetRange(SInt32* minimum, SInt32* maximum)
{
    if (minimum) *minimum = GetControl32BitMinimum(GetControlRef());
    if (maximum) *maximum = GetControl32BitMaximum(GetControlRef());
}

bool CScrollBar::SetStep(int divisor)
{
    if (divisor <= 0) return false;
    pageDivisor_ = divisor;
    return true;
}

void CScrollBar::SetViewSize(bool horizontal)
{
    if (horizontal == horizontal_) return;
    horizontal_ = horizontal;
    SetControlViewSize(GetControlRef(), (horizontal ? GetWidth() : GetHeight()) + 16);
    arrowMargin_ = 48;
    thumbBase_ = 16;
}

int CScrollBar::Length()
{
    return horizontal_ ? GetWidth() : GetHeight();
}

bool CScrollBar::Track()
{
    PortSaver saver;
    WindowRef window = GetOwnerWindow();
    SetPortWindowPort(window);
    Point where;
    GetMouse(&where);
    ControlRef hit = nullptr;
    ControlPartCode part = FindControl(where, window, &hit);
    if (!hit || hit != GetControlRef()) {
        g_currentScrollBar = nullptr;
        return false;
    }
    g_currentScrollBar = this;
    valueAtPress_ = GetValue();
    if (part >= kControlUpButtonPart && part <= kControlPageDownPart) {
        TrackControl(hit, where, arrowUPP_);
    } else if (part == kControlIndicatorPart) {
        BeginThumb();
        TrackControl(hit, where, thumbUPP_);
        EndThumb();
    }
    return true;
}

int CScrollBar::ScrollBy(int change)
{
    ControlRef control = GetControlRef();
    const SInt32 old = GetControl32BitValue(control);
    const int64_t wanted = int64_t(old) + change;
    const SInt32 value = static_cast<SInt32>(
        std::clamp<int64_t>(wanted, GetControl32BitMinimum(control), GetControl32BitMaximum(control)));
    SetControl32BitValue(control, value);
    return value - old;
}

void CScrollBar::ArrowAction(ControlRef control, ControlPartCode part)
{
    CScrollBar* self = g_currentScrollBar;
    if (!self || self->GetControlRef() != control || !GetControlOwner(control)) return;
    const int page = self->GetHeight() / self->pageDivisor_;
    int change = 0;
    switch (part) {
        case kControlUpButtonPart:
            change = -self->lineStep_;
            break;
        case kControlDownButtonPart:
            change = self->lineStep_;
            break;
        case kControlPageUpPart:
            change = -page;
            break;
        case kControlPageDownPart:
            change = page;
            break;
        case kControlIndicatorPart:
            change = self->valueAtPress_ - self->GetValue();
            break;
        default:
            break;
    }
    if (change == 0) return;
    if (self->ScrollBy(change) != 0) self->valueChanged.Emit(self->GetValue());
}

int CScrollBar::ValueFromPoint(Point where)
{
    Rect r;
    GetControlBounds(GetControlRef(), &r);
    const int travel = Length() - arrowMargin_;
    // A bar too short for its thumb to travel has no value along it.
    if (travel <= 0) return GetValue();
    SInt32 minimum = 0, maximum = 0;
    GetRange(&minimum, &maximum);
    const int along = horizontal_ ? where.h - (r.left + thumbBase_ / 2) : where.v - (r.top + thumbBase_ / 2);
    const float value = float(along) / float(travel) * float(int64_t(maximum) - minimum);
    return static_cast<int>(value) + thumbOffset_;
}

void CScrollBar::BeginThumb()
{
    valueAtPress_ = GetValue();
    pending_ = valueAtPress_;
    thumbOffset_ = 0;
    Point where;
    GetMouse(&where);
    thumbOffset_ = valueAtPress_ - ValueFromPoint(where);
    if (savedClip_) DisposeRgn(savedClip_);
    savedClip_ = NewRgn();
    GetClip(savedClip_);
    // The thumb's own outline stays unseen during the drag.
    Rect none{};
    ClipRect(&none);
}

void CScrollBar::ThumbAction(ControlRef control, ControlPartCode)
{
    CScrollBar* self = g_currentScrollBar;
    if (!self || self->GetControlRef() != control) return;
    Rect area;
    GetControlBounds(control, &area);
    area.left = static_cast<int16_t>(area.left - 100);
    area.top = static_cast<int16_t>(area.top - 100);
    area.right = static_cast<int16_t>(area.right + 100);
    area.bottom = static_cast<int16_t>(area.bottom + 100);
    Point where;
    GetMouse(&where);
    const bool near = where.h >= area.left && where.h < area.right && where.v >= area.top && where.v < area.bottom;
    const int target = near ? self->ValueFromPoint(where) : self->valueAtPress_;
    if (target == self->GetValue()) return;
    if (self->savedClip_) SetClip(self->savedClip_);
    if (self->ScrollBy(target - self->GetValue()) != 0) self->valueChanged.Emit(self->GetValue());
    self->pending_ = self->GetValue();
    Rect none{};
    ClipRect(&none);
}

void CScrollBar::EndThumb()
{
    if (savedClip_) {
        SetClip(savedClip_);
        DisposeRgn(savedClip_);
        savedClip_ = nullptr;
    }
    SetControl32BitValue(GetControlRef(), pending_);
    pending_ = 0;
}

// ---- CStaticText

bool CStaticText::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    CCFString text(title ? title : "");
    ControlFontStyleRec style = SizeOnly10();
    ControlRef control = nullptr;
    OSStatus status = CreateStaticTextControl(OwnerWindow(owner), &bounds, text, &style, &control);
    return FinishCreate(status, control, owner, signature);
}

bool CStaticText::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, int titleId)
{
    if (!CControl::Create(owner, signature, bounds, titleId) || !OwnerWindow(owner)) return false;
    CCFString text;
    text.SetLocalized(titleId);
    ControlFontStyleRec style = SizeOnly10();
    ControlRef control = nullptr;
    OSStatus status = CreateStaticTextControl(OwnerWindow(owner), &bounds, text, &style, &control);
    return FinishCreate(status, control, owner, signature);
}

bool CStaticText::SetText(const char* text, bool redraw)
{
    if (!text) text = "";
    if (SetControlData(GetControlRef(), 0, kControlStaticTextTextTag, static_cast<long>(std::strlen(text)), text) !=
        noErr)
        return false;
    Redraw(*this, redraw);
    return true;
}

bool CStaticText::Clear(bool redraw)
{
    return SetText("", redraw);
}

bool CStaticText::SetTextF(bool redraw, const char* format, ...)
{
    if (!format) return false;
    std::vector<char> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        int needed = std::vsnprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (needed < 0) return false;
        if (static_cast<size_t>(needed) < buffer.size()) break;
        buffer.resize(buffer.size() * 2);
    }
    return SetText(buffer.data(), redraw);
}

// ---- CTabControl

CTabControl::~CTabControl()
{
    RemoveInstalledHandler(&handlerUPP_, &handlerRef_);
}

bool CTabControl::OnAttach()
{
    if (handlerRef_) return true;
    static const EventTypeSpec kHit = {kEventClassControl, kEventControlHit};
    return InstallControlHandler(GetControlRef(), HitProc, &kHit, 1, this, &handlerUPP_, &handlerRef_);
}

int CTabControl::AddPane(CDialogWindow*, SInt32 paneId, const char*)
{
    panes_.push_back(ControlID{0, paneId});
    return 0;
}

int CTabControl::GetSelectedTab()
{
    return GetControl32BitValue(GetControlRef()) - 1;
}

ControlRef CTabControl::GetPane(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= panes_.size()) return nullptr;
    ControlRef pane = nullptr;
    if (GetControlByID(GetOwnerWindow(), &panes_[index], &pane) != noErr) return nullptr;
    return pane;
}

bool CTabControl::SelectTab(int index, bool redraw)
{
    for (int i = 0; i < GetPaneCount(); ++i)
        if (i != index)
            if (ControlRef pane = GetPane(i)) SetControlVisibility(pane, false, true);
    if (ControlRef pane = GetPane(index)) {
        ClearKeyboardFocus(GetOwnerWindow());
        SetControlVisibility(pane, true, true);
    }
    SetControl32BitValue(GetControlRef(), index + 1);
    Redraw(*this, redraw);
    tabChanged.Emit(reinterpret_cast<intptr_t>(this));
    return true;
}

OSStatus CTabControl::HitProc(EventHandlerCallRef call, EventRef event, void* userData)
{
    auto* self = static_cast<CTabControl*>(userData);
    ControlRef control = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
    ControlID id;
    if (self && GetControlID(control, &id) == noErr && id.signature == self->GetSignature() &&
        self->SelectTab(GetControl32BitValue(control) - 1, true))
        return noErr;
    return CallNextEventHandler(call, event);
}

// ---- CKeyCaptureField

CKeyCaptureField::CKeyCaptureField() : filterUPP_(NewControlKeyFilterUPP(KeyFilterProc)) {}

CKeyCaptureField::~CKeyCaptureField()
{
    RestoreKeyFilter(GetControlRef(), previousFilter_, previousSaved_);
    DisposeControlKeyFilterUPP(filterUPP_);
    RemoveInstalledHandler(&rawKeyUPP_, &rawKeyRef_);
}

bool CKeyCaptureField::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    CCFString text(title ? title : "");
    ControlFontStyleRec style = SizeOnly10();
    ControlRef control = nullptr;
    OSStatus status = CreateEditTextControl(OwnerWindow(owner), &bounds, text, false, true, &style, &control);
    if (!FinishCreate(status, control, owner, signature)) return false;
    return OnAttach();
}

bool CKeyCaptureField::OnAttach()
{
    ControlRef control = GetControlRef();
    SetControlReference(control, reinterpret_cast<SRefCon>(this));
    InstallKeyFilter(control, filterUPP_, &previousFilter_, &previousSaved_);
    if (rawKeyRef_) return true;
    static const EventTypeSpec kRawKey = {kEventClassKeyboard, kEventRawKeyDown};
    return InstallControlHandler(control, RawKeyProc, &kRawKey, 1, this, &rawKeyUPP_, &rawKeyRef_);
}

bool CKeyCaptureField::SetText(const char* text)
{
    CCFString string(text);
    CFStringRef ref = string.Get();
    if (!ref || SetControlData(GetControlRef(), 0, kControlEditTextCFStringTag, sizeof ref, &ref) != noErr)
        if (SetControlData(GetControlRef(), 0, kControlEditTextTextTag, static_cast<long>(std::strlen(text)), text) !=
            noErr)
            return false;
    Draw1Control(GetControlRef());
    return true;
}

void CKeyCaptureField::Capture(UInt16 keyCode)
{
    keyCode_ = keyCode;
    char text[256];
    long length = 0;
    GetControlData(GetControlRef(), 0, kControlEditTextTextTag, sizeof text, text, &length);
    ControlEditTextSelectionRec all{0, static_cast<SInt16>(std::min<long>(length, 32767))};
    SetControlData(GetControlRef(), 0, kControlEditTextSelectionTag, sizeof all, &all);
    char name[12];
    GetKeyName(keyCode, name);
    SetText(name);
}

ControlKeyFilterResult CKeyCaptureField::KeyFilterProc(ControlRef control, SInt16* keyCode, SInt16*, EventModifiers*)
{
    auto* self = reinterpret_cast<CKeyCaptureField*>(GetControlReference(control));
    if (!self || !keyCode) return kControlKeyFilterPassKey;
    self->Capture(static_cast<UInt16>(*keyCode));
    return kControlKeyFilterBlockKey;
}

OSStatus CKeyCaptureField::RawKeyProc(EventHandlerCallRef, EventRef event, void* userData)
{
    auto* self = static_cast<CKeyCaptureField*>(userData);
    UInt32 code = 0;
    if (self &&
        GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code) == noErr &&
        (code == 36 || code == 76))
        self->Capture(static_cast<UInt16>(code));
    return eventNotHandledErr;
}

// ---- Text boxes

OSStatus TextBoxDrawHandler(EventHandlerCallRef, EventRef event, void* userData)
{
    const UInt32 cls = GetEventClass(event);
    if (cls == kEventClassControl) {
        if (GetEventKind(event) == kEventControlDraw && userData) TXNDraw(static_cast<TXNObject>(userData), nullptr);
        return noErr;
    }
    return cls == 11 ? noErr : eventNotHandledErr;
}
