#pragma once
// The toolbox stand-in's own objects behind the opaque references. Private to
// the toolbox files of this folder.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "platform/gworld.h"
#include "platform/toolbox_types.h"

namespace platform::toolbox {

enum class Kind { Window, Control, Menu, Event, Handler, Call, Timer, Target, Nib, Icon, Drag, Desc };

struct Object {
    virtual ~Object() = default;
    uintptr_t id = 0;
    bool alive = true;
};

struct HandlerRec;

// Where handlers are installed. Owned by a window, a control or the application.
struct Target : Object {
    enum class Owner { Application, Dispatcher, Window, Control } owner = Owner::Application;
    uintptr_t ownerId = 0;
    std::vector<std::shared_ptr<HandlerRec>> handlers;  // newest first
};

struct HandlerRec : Object {
    std::weak_ptr<Target> target;
    EventHandlerUPP proc = nullptr;
    std::vector<EventTypeSpec> types;
    void* userData = nullptr;
    bool Wants(UInt32 cls, UInt32 kind) const
    {
        for (const auto& t : types)
            if (t.eventClass == cls && t.eventKind == kind) return true;
        return false;
    }
};

struct ControlObj : Object {
    WindowRef owner = nullptr;
    ControlRef parent = nullptr;  // embedding control, null at the window's root
    OSType kind = 0;              // 'push', 'chbx', 'upan', ...
    ControlID cid;
    UInt32 command = 0;
    Rect bounds;  // window-local
    bool visible = true;
    bool active = true;
    SInt32 value = 0, minimum = 0, maximum = 0;
    std::string title;  // UTF-8
    intptr_t reference = 0;
    ControlFontStyleRec font;
    int drawCount = 0;
    std::map<std::pair<SInt16, OSType>, std::vector<uint8_t>> data;
    std::shared_ptr<Target> target;
    bool autoToggle = false;  // check boxes and radio buttons
    UInt16 menuValue = 0;     // a bevel button's last chosen menu item
};

using DragTrackingProc = OSErr (*)(SInt16 message, WindowRef window, void* refCon, DragRef drag);
using DragReceiveProc = OSErr (*)(WindowRef window, void* refCon, DragRef drag);

struct WindowObj : Object {
    WindowClass windowClass = 0;
    WindowAttributes attributes = 0;
    Rect bounds;  // content region, global
    bool visible = false;
    bool active = false;
    std::string title;  // UTF-8
    std::string nibName;
    std::unique_ptr<GWorld> port;
    WindowRef sheetParent = nullptr;
    std::vector<ControlRef> controls;  // creation order
    std::shared_ptr<Target> target;
    DragTrackingProc tracking = nullptr;
    void* trackingRefCon = nullptr;
    DragReceiveProc receive = nullptr;
    void* receiveRefCon = nullptr;
    uint64_t order = 0;  // higher is nearer the front
    ControlRef focus = nullptr;
    ControlRef defaultButton = nullptr;
};

// Registry of live objects. References are ids that are never reused, so a
// stale reference finds nothing.
uintptr_t Register(Kind kind, std::shared_ptr<Object> object);
std::shared_ptr<Object> Lookup(Kind kind, uintptr_t id);
void Unregister(uintptr_t id);

template <typename T>
std::shared_ptr<T> Find(Kind kind, const void* ref)
{
    return std::static_pointer_cast<T>(Lookup(kind, reinterpret_cast<uintptr_t>(ref)));
}
template <typename Ref>
Ref RefOf(uintptr_t id)
{
    return reinterpret_cast<Ref>(id);
}

inline std::shared_ptr<WindowObj> FindWindow(WindowRef w)
{
    return Find<WindowObj>(Kind::Window, w);
}
inline std::shared_ptr<ControlObj> FindControl(ControlRef c)
{
    return Find<ControlObj>(Kind::Control, c);
}

std::shared_ptr<Target> NewTarget(Target::Owner owner, uintptr_t ownerId);
// Removes every handler of the target (its owner is going).
void RetireTarget(const std::shared_ptr<Target>& target);

OSStatus NewControlIn(WindowRef window, OSType kind, const Rect& bounds, const std::string& title, ControlRef* out);
// Kind-specific set-up of a nib control: an edit field's text, a pop-up's
// items ("a|b|c"), a check box's toggling.
void PrepareNibControl(ControlRef control, const pugi::xml_node& node);
// Data tags with a meaning beyond their bytes ('cfst' texts); true when
// handled, with *status set.
bool SetSpecialControlData(ControlRef control, SInt16 part, OSType tag, long size, const void* data, OSErr* status);
bool GetSpecialControlData(ControlRef control, SInt16 part, OSType tag, long bufferSize, void* buffer, long* actualSize,
                           OSErr* status);
void DrawControlContent(ControlRef control);
// Menus a control owns go with it.
void ControlDisposing(ControlRef control);
void BrowserDisposing(ControlRef control);
// A press on a control: tracks it as its kind does and sends the hit.
OSStatus ClickControlAt(WindowRef window, ControlRef control, Point local, UInt32 modifiers);
// What a focused control does with a key nobody handled.
OSStatus StandardControlHandler(ControlRef control, EventRef event);
// Tab and Return or Enter that reach the window.
OSStatus StandardWindowKey(WindowRef window, EventRef event);
// The control keys go to first, or null.
ControlRef KeyboardFocusOf(WindowRef window);
// Mouse events update where the mouse is and whether its button is down.
void NoteMouseEvent(EventRef event);

// Standard handlers, run at the end of a window's and the application's chain.
OSStatus StandardWindowHandler(WindowRef window, EventRef event);
OSStatus StandardApplicationHandler(EventRef event);

// A standard sheet being shown logs itself and schedules its scripted answer.
void SheetShown(WindowRef sheet, WindowRef parent);
// Forgets the texts of an alert or sheet that goes without being shown.
void WindowDisposed(WindowRef window);

std::string Utf8(CFStringRef s);

// The root element of an open nib, or an empty node.
pugi::xml_node NibRoot(IBNibRef nib);

}  // namespace platform::toolbox
