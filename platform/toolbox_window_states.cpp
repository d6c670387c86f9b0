// Zoomed and collapsed windows: only the state is kept (the content stays
// as it is) and the window hears of each change.
#include <map>

#include "platform/toolbox_events.h"
#include "platform/toolbox_windows.h"

namespace {

struct WindowState {
    bool standard = false;
    bool collapsed = false;
};

std::map<WindowRef, WindowState>& States()
{
    static std::map<WindowRef, WindowState> states;
    return states;
}

void Announce(WindowRef window, UInt32 kind, const WindowPartCode* part)
{
    EventRef event = nullptr;
    if (CreateEvent(nullptr, kEventClassWindow, kind, GetCurrentEventTime(), 0, &event) != noErr) return;
    SetEventParameter(event, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
    if (part) SetEventParameter(event, kEventParamWindowPartCode, typeWindowPartCode, sizeof *part, part);
    SendEventToEventTarget(event, GetWindowEventTarget(window));
    ReleaseEvent(event);
}

bool Live(WindowRef window)
{
    Rect bounds;
    if (GetWindowBounds(window, kWindowContentRgn, &bounds) == noErr) return true;
    States().erase(window);  // a disposed window's reference is never reused
    return false;
}

}  // namespace

void ZoomWindow(WindowRef window, WindowPartCode part, bool front)
{
    if (!Live(window) || (part != inZoomIn && part != inZoomOut)) return;
    States()[window].standard = part == inZoomOut;
    if (front) BringToFront(window);
    Announce(window, kEventWindowZoomed, &part);
}

OSStatus CollapseWindow(WindowRef window, bool collapse)
{
    if (!Live(window)) return errInvalidWindowRef;
    WindowState& state = States()[window];
    if (state.collapsed == collapse) return noErr;
    state.collapsed = collapse;
    Announce(window, collapse ? kEventWindowCollapsed : kEventWindowExpanded, nullptr);
    return noErr;
}

bool IsWindowInStandardState(WindowRef window, Point*, Rect*)
{
    return Live(window) && States()[window].standard;
}

bool IsWindowCollapsed(WindowRef window)
{
    return Live(window) && States()[window].collapsed;
}
