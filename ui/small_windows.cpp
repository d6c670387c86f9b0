#include "ui/small_windows.h"

#include <algorithm>
#include <cmath>

#include "foundation/cfstring.h"
#include "foundation/http_request.h"
#include "platform/toolbox_services.h"
#include "ui/control_events.h"

void SetWatchCursor()
{
    SetThemeCursor(kThemeWatchCursor);
}

void SetArrowCursor()
{
    SetThemeCursor(kThemeArrowCursor);
}

void GetWindowStructureBounds(WindowRef window, Rect* bounds)
{
    if (bounds) GetWindowBounds(window, kWindowStructureRgn, bounds);
}

void RotateRect(Rect* rect, double cx, double cy, int degrees)
{
    if (!rect) return;
    const double top = rect->top, left = rect->left, bottom = rect->bottom, right = rect->right;
    double t, l, b, r;
    switch (degrees) {
        case 90:
        case -270:
            t = left, l = 2 * cy - bottom, b = right, r = 2 * cy - top;
            break;
        case 180:
        case -180:
            t = 2 * cy - bottom, l = 2 * cx - right, b = 2 * cy - top, r = 2 * cx - left;
            break;
        case 270:
        case -90:
            t = 2 * cx - right, l = top, b = 2 * cx - left, r = bottom;
            break;
        default:
            return;
    }
    // Truncated toward zero, kept inside the coordinate range.
    auto coord = [](double value) { return static_cast<int16_t>(std::clamp(std::trunc(value), -32768.0, 32767.0)); };
    rect->top = coord(t);
    rect->left = coord(l);
    rect->bottom = coord(b);
    rect->right = coord(r);
}

// ---- CPlainWindow

CPlainWindow::~CPlainWindow()
{
    DisposeWindow();
}

bool CPlainWindow::Attach(WindowRef window)
{
    if (window_ || !window) return false;
    EventTypeSpec types[15];
    int count = GetEventTypes(types);
    handlerUPP_ = NewEventHandlerUPP(HandleEvent);
    if (InstallEventHandler(GetWindowEventTarget(window), handlerUPP_, static_cast<UInt32>(count), types, this,
                            &handlerRef_) != noErr) {
        DisposeEventHandlerUPP(handlerUPP_);
        handlerUPP_ = nullptr;
        return false;
    }
    window_ = window;
    return true;
}

bool CPlainWindow::DisposeWindow()
{
    RemoveInstalledHandler(&handlerUPP_, &handlerRef_);
    if (!window_) return false;
    ::DisposeWindow(window_);
    window_ = nullptr;
    return true;
}

void CPlainWindow::Zoom()
{
    ZoomWindow(window_, inZoomOut, false);
}

void CPlainWindow::Collapse()
{
    CollapseWindow(window_, true);
}

void CPlainWindow::ZoomIn()
{
    ZoomWindow(window_, inZoomIn, false);
}

bool CPlainWindow::IsInStandardState()
{
    return IsWindowInStandardState(window_, nullptr, nullptr);
}

bool CPlainWindow::InCollapsedState()
{
    return IsWindowCollapsed(window_);
}

int CPlainWindow::GetEventTypes(EventTypeSpec* list)
{
    static const EventTypeSpec kTypes[] = {
        {FourCC("cntl"), 1},  {FourCC("cmds"), 1},  {FourCC("text"), 1}, {FourCC("wind"), 1004}, {FourCC("wind"), 72},
        {FourCC("wind"), 1},  {FourCC("wind"), 27}, {FourCC("wind"), 5}, {FourCC("wind"), 76},   {FourCC("wind"), 67},
        {FourCC("wind"), 70}, {FourCC("keyb"), 3},  {FourCC("mous"), 1}, {FourCC("mous"), 2},    {FourCC("mous"), 5},
    };
    std::copy(std::begin(kTypes), std::end(kTypes), list);
    return static_cast<int>(std::size(kTypes));
}

OSStatus CPlainWindow::HandleEvent(EventHandlerCallRef, EventRef event, void* userData)
{
    auto* self = static_cast<CPlainWindow*>(userData);
    if (!self || GetEventClass(event) != kEventClassWindow) return eventNotHandledErr;
    bool handled = false;
    switch (GetEventKind(event)) {
        case kEventWindowUpdate:
            handled = self->OnUpdate();
            break;
        case kEventWindowCollapsed:
            handled = self->OnCollapsed();
            break;
        case kEventWindowExpanded:
            handled = self->OnExpanded();
            break;
        case kEventWindowClose:
            handled = self->OnClose();
            break;
        case kEventWindowInit:
            handled = self->OnInit();
            break;
        case kEventWindowZoomed: {
            WindowPartCode part = 0;
            GetEventParameter(event, kEventParamWindowPartCode, typeWindowPartCode, nullptr, sizeof part, nullptr,
                              &part);
            if (part == inZoomIn || part == inZoomOut) handled = self->OnZoomed();
            break;
        }
    }
    return handled ? noErr : eventNotHandledErr;
}

// ---- CDontAskDialog

bool CDontAskDialog::OnInitDialog()
{
    AttachControl(FourCC("cDwm"), &dontAsk_);
    return true;
}

bool CDontAskDialog::OnCommand(UInt32 command, EventRef*)
{
    if (command == FourCC("ok  ")) {
        if (askAgain_) *askAgain_ = 1 - (dontAsk_.GetControlRef() && dontAsk_.GetValue() ? 1 : 0);
        return EndDialog(static_cast<int>(FourCC("ok  ")));
    }
    if (command == FourCC("not!")) return EndDialog(static_cast<int>(FourCC("not!")));
    return false;
}

// ---- CLinkText

namespace {

constexpr SInt16 kUseFace = 0x2;
constexpr SInt16 kUseSize = 0x4;
constexpr SInt16 kUseForeColor = 0x8;
constexpr SInt16 kUnderline = 4;

}  // namespace

CLinkText::~CLinkText()
{
    RemoveInstalledHandler(&handlerUPP_, &handlerRef_);
}

bool CLinkText::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* text)
{
    if (!CControl::Create(owner, signature, bounds, text) || !owner || !owner->GetWindow()) return false;
    CCFString title(text ? text : "");
    ControlFontStyleRec style;
    style.flags = kUseSize;
    style.size = 10;
    ControlRef control = nullptr;
    OSStatus status = CreateStaticTextControl(owner->GetWindow(), &bounds, title, &style, &control);
    return FinishCreate(status, control, owner, signature, true);
}

bool CLinkText::OnAttach()
{
    ControlFontStyleRec style;
    style.flags = kUseFace | kUseForeColor;
    style.style = kUnderline;
    style.foreColor = RGBColor{0xFFFF, 0, 0xFFFF};
    if (SetControlData(GetControlRef(), 0, FourCC("font"), sizeof style, &style) != noErr) return false;
    if (handlerRef_) return true;
    static const EventTypeSpec kDown = {kEventClassMouse, kEventMouseDown};
    return InstallControlHandler(GetControlRef(), MouseProc, &kDown, 1, this, &handlerUPP_, &handlerRef_);
}

bool CLinkText::OpenURL()
{
    if (url_.empty()) return false;
    return ::OpenURL(url_.c_str());
}

OSStatus CLinkText::MouseProc(EventHandlerCallRef call, EventRef event, void* userData)
{
    if (auto* self = static_cast<CLinkText*>(userData)) self->OpenURL();
    return CallNextEventHandler(call, event);
}
