#include "platform/toolbox_windows.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>

#include "platform/bundle.h"
#include "platform/toolbox_events.h"
#include "platform/toolbox_objects.h"

using namespace platform::toolbox;

namespace {

uint64_t g_order = 0;
std::vector<std::shared_ptr<WindowObj>> g_windows;  // creation order

Rect RectOf(int left, int top, int width, int height)
{
    Rect r;
    r.left = static_cast<int16_t>(left);
    r.top = static_cast<int16_t>(top);
    r.right = static_cast<int16_t>(left + width);
    r.bottom = static_cast<int16_t>(top + height);
    return r;
}

void ResizePort(WindowObj& w)
{
    int width = std::max(1, RectWidth(w.bounds));
    int height = std::max(1, RectHeight(w.bounds));
    w.port.reset(GWorld::Create(RectOf(0, 0, width, height), 32));
}

OSStatus NewWindow(WindowClass windowClass, WindowAttributes attributes, const Rect& bounds, WindowRef* out)
{
    if (!out || RectWidth(bounds) < 0 || RectHeight(bounds) < 0) return paramErr;
    auto w = std::make_shared<WindowObj>();
    w->windowClass = windowClass;
    w->attributes = attributes;
    w->bounds = bounds;
    w->order = ++g_order;
    ResizePort(*w);
    uintptr_t id = Register(Kind::Window, w);
    w->target = NewTarget(Target::Owner::Window, id);
    g_windows.push_back(w);
    *out = RefOf<WindowRef>(id);
    return noErr;
}

}  // namespace

OSStatus platform::toolbox::NewControlIn(WindowRef window, OSType kind, const Rect& bounds, const std::string& title,
                                         ControlRef* out)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (!out || RectWidth(bounds) < 0 || RectHeight(bounds) < 0) return paramErr;
    auto c = std::make_shared<ControlObj>();
    c->owner = window;
    c->kind = kind;
    c->bounds = bounds;
    c->title = title;
    uintptr_t id = Register(Kind::Control, c);
    c->target = NewTarget(Target::Owner::Control, id);
    w->controls.push_back(RefOf<ControlRef>(id));
    *out = RefOf<ControlRef>(id);
    return noErr;
}

namespace {

OSStatus NewControl(WindowRef window, ControlKind kind, const Rect& bounds, const std::string& title, ControlRef* out)
{
    return NewControlIn(window, kind, bounds, title, out);
}

// ---- Nib

struct NibObj : Object {
    pugi::xml_document doc;
};

OSType ParseCode(const char* text)
{
    char code[5] = {' ', ' ', ' ', ' ', 0};
    for (int i = 0; i < 4 && text[i]; ++i) code[i] = text[i];
    return FourCC(code);
}

WindowClass ParseClass(const std::string& name)
{
    if (name == "movablemodal") return kMovableModalWindowClass;
    if (name == "modal") return kModalWindowClass;
    if (name == "sheet") return kSheetWindowClass;
    if (name == "floating") return kFloatingWindowClass;
    if (name == "utility") return kUtilityWindowClass;
    if (name == "alert") return kMovableAlertWindowClass;
    return kDocumentWindowClass;
}

void LoadControls(WindowRef window, ControlRef parent, const pugi::xml_node& node)
{
    for (pugi::xml_node n : node.children("control")) {
        Rect bounds = RectOf(n.attribute("left").as_int(), n.attribute("top").as_int(), n.attribute("width").as_int(),
                             n.attribute("height").as_int());
        ControlRef ref = nullptr;
        if (NewControl(window, ParseCode(n.attribute("kind").as_string("upan")), bounds,
                       n.attribute("title").as_string(), &ref) != noErr)
            continue;
        auto c = FindControl(ref);
        const char* sig = n.attribute("signature").as_string();
        c->cid.signature = *sig ? ParseCode(sig) : 0;
        c->cid.id = n.attribute("id").as_int();
        const char* cmd = n.attribute("command").as_string();
        c->command = *cmd ? ParseCode(cmd) : 0;
        c->value = n.attribute("value").as_int();
        c->minimum = n.attribute("min").as_int();
        c->maximum = n.attribute("max").as_int();
        c->visible = n.attribute("visible").as_bool(true);
        c->active = n.attribute("enabled").as_bool(true);
        c->parent = parent;
        PrepareNibControl(ref, n);
        LoadControls(window, ref, n);
    }
}

}  // namespace

OSStatus CreateNibReference(CFStringRef name, IBNibRef* out)
{
    if (!name || !out) return paramErr;
    std::string path = platform::FindBundleResource(Utf8(name) + ".nib.xml");
    if (path.empty()) return errNibNotFound;
    auto nib = std::make_shared<NibObj>();
    if (!nib->doc.load_file(path.c_str()) || !nib->doc.child("nib")) return errNibNotFound;
    *out = RefOf<IBNibRef>(Register(Kind::Nib, nib));
    return noErr;
}

void DisposeNibReference(IBNibRef nib)
{
    if (Find<NibObj>(Kind::Nib, nib)) Unregister(reinterpret_cast<uintptr_t>(nib));
}

namespace platform::toolbox {

// The nib's root element, for the menu code.
pugi::xml_node NibRoot(IBNibRef nib)
{
    auto n = Find<NibObj>(Kind::Nib, nib);
    return n ? n->doc.child("nib") : pugi::xml_node();
}

}  // namespace platform::toolbox

OSStatus CreateWindowFromNib(IBNibRef nib, CFStringRef name, WindowRef* out)
{
    pugi::xml_node root = NibRoot(nib);
    if (!root || !name || !out) return paramErr;
    pugi::xml_node node = root.find_child_by_attribute("window", "name", Utf8(name).c_str());
    if (!node) return errNibNotFound;
    WindowAttributes attributes = 0;
    if (node.attribute("standardhandler").as_bool(true)) attributes |= kWindowStandardHandlerAttribute;
    if (node.attribute("closebox").as_bool(false)) attributes |= kWindowCloseBoxAttribute;
    if (node.attribute("resizable").as_bool(false)) attributes |= kWindowResizableAttribute;
    Rect bounds = RectOf(node.attribute("left").as_int(), node.attribute("top").as_int(),
                         node.attribute("width").as_int(), node.attribute("height").as_int());
    OSStatus status = NewWindow(ParseClass(node.attribute("class").as_string()), attributes, bounds, out);
    if (status != noErr) return status;
    auto w = FindWindow(*out);
    w->nibName = Utf8(name);
    w->title = node.attribute("title").as_string();
    LoadControls(*out, nullptr, node);
    return noErr;
}

// ---- Windows

OSStatus CreateNewWindow(WindowClass windowClass, WindowAttributes attributes, const Rect* bounds, WindowRef* out)
{
    if (!bounds) return paramErr;
    return NewWindow(windowClass, attributes, *bounds, out);
}

void DisposeWindow(WindowRef window)
{
    auto w = FindWindow(window);
    if (!w) return;
    for (ControlRef c : std::vector<ControlRef>(w->controls)) DisposeControl(c);
    RetireTarget(w->target);
    Unregister(w->id);
    std::erase(g_windows, w);
    // A modal loop running for the window ends on its next step.
    WindowDisposed(window);
}

void ShowWindow(WindowRef window)
{
    if (auto w = FindWindow(window)) {
        w->visible = true;
        w->order = ++g_order;
    }
}

void HideWindow(WindowRef window)
{
    if (auto w = FindWindow(window)) w->visible = false;
}

bool IsWindowVisible(WindowRef window)
{
    auto w = FindWindow(window);
    return w && w->visible;
}

OSStatus ActivateWindow(WindowRef window, bool activate)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    w->active = activate;
    return noErr;
}

void BringToFront(WindowRef window)
{
    if (auto w = FindWindow(window)) w->order = ++g_order;
}

OSStatus GetWindowBounds(WindowRef window, WindowRegionCode, Rect* bounds)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (!bounds) return paramErr;
    *bounds = w->bounds;
    return noErr;
}

OSStatus SetWindowBounds(WindowRef window, WindowRegionCode, const Rect* bounds)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (!bounds || RectWidth(*bounds) < 0 || RectHeight(*bounds) < 0) return paramErr;
    bool resized = RectWidth(*bounds) != RectWidth(w->bounds) || RectHeight(*bounds) != RectHeight(w->bounds);
    w->bounds = *bounds;
    if (resized) ResizePort(*w);
    return noErr;
}

void MoveWindow(WindowRef window, SInt16 h, SInt16 v, bool front)
{
    auto w = FindWindow(window);
    if (!w) return;
    Rect r = RectOf(h, v, RectWidth(w->bounds), RectHeight(w->bounds));
    SetWindowBounds(window, kWindowContentRgn, &r);
    if (front) BringToFront(window);
}

void SizeWindow(WindowRef window, SInt16 width, SInt16 height, bool)
{
    auto w = FindWindow(window);
    if (!w || width < 0 || height < 0) return;
    Rect r = RectOf(w->bounds.left, w->bounds.top, width, height);
    SetWindowBounds(window, kWindowContentRgn, &r);
}

OSStatus RepositionWindow(WindowRef window, WindowRef, UInt32)
{
    // Centred on a 1024 x 768 main screen below a 22-pixel menu bar.
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    int width = RectWidth(w->bounds), height = RectHeight(w->bounds);
    MoveWindow(window, static_cast<SInt16>((1024 - width) / 2), static_cast<SInt16>(22 + (746 - height) / 3), false);
    return noErr;
}

OSStatus GetWindowClass(WindowRef window, WindowClass* out)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (out) *out = w->windowClass;
    return noErr;
}

OSStatus GetWindowAttributes(WindowRef window, WindowAttributes* out)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (out) *out = w->attributes;
    return noErr;
}

OSStatus SetWindowTitleWithCFString(WindowRef window, CFStringRef title)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (!title) return paramErr;
    w->title = Utf8(title);
    return noErr;
}

OSStatus CopyWindowTitleAsCFString(WindowRef window, CFStringRef* out)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (!out) return paramErr;
    *out = CFStringCreateWithCString(w->title.c_str(), kCFStringEncodingUTF8);
    return noErr;
}

CGrafPtr GetWindowPort(WindowRef window)
{
    auto w = FindWindow(window);
    return w ? w->port.get() : nullptr;
}

void SetPortWindowPort(WindowRef window)
{
    if (CGrafPtr port = GetWindowPort(window)) SetGWorld(port);
}

OSStatus ShowSheetWindow(WindowRef sheet, WindowRef parent)
{
    auto s = FindWindow(sheet);
    if (!s || !FindWindow(parent)) return errInvalidWindowRef;
    if (s->windowClass != kSheetWindowClass) return paramErr;
    s->sheetParent = parent;
    ShowWindow(sheet);
    SheetShown(sheet, parent);
    return noErr;
}

OSStatus HideSheetWindow(WindowRef sheet)
{
    auto s = FindWindow(sheet);
    if (!s) return errInvalidWindowRef;
    if (s->windowClass != kSheetWindowClass) return paramErr;
    s->visible = false;
    return noErr;
}

OSStatus SetThemeWindowBackground(WindowRef window, SInt16, bool)
{
    return FindWindow(window) ? noErr : errInvalidWindowRef;
}

WindowRef FrontWindow()
{
    std::shared_ptr<WindowObj> front;
    for (const auto& w : g_windows)
        if (w->visible && (!front || w->order > front->order)) front = w;
    return front ? RefOf<WindowRef>(front->id) : nullptr;
}

OSStatus HIWindowChangeClass(WindowRef window, WindowClass windowClass)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    w->windowClass = windowClass;
    return noErr;
}

void BeginUpdate(WindowRef) {}
void EndUpdate(WindowRef) {}

// ---- Controls

OSStatus CreatePushButtonControl(WindowRef window, const Rect* bounds, CFStringRef title, ControlRef* out)
{
    if (!bounds) return paramErr;
    return NewControl(window, kControlKindPushButton, *bounds, Utf8(title), out);
}

OSStatus CreateUserPaneControl(WindowRef window, const Rect* bounds, UInt32, ControlRef* out)
{
    if (!bounds) return paramErr;
    return NewControl(window, kControlKindUserPane, *bounds, "", out);
}

OSStatus GetControlByID(WindowRef window, const ControlID* id, ControlRef* out)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (!id || !out) return paramErr;
    for (ControlRef ref : w->controls) {
        auto c = FindControl(ref);
        if (c && c->cid.signature == id->signature && c->cid.id == id->id) {
            *out = ref;
            return noErr;
        }
    }
    *out = nullptr;
    return errControlNotFound;
}

#define WITH_CONTROL(ref, failure) \
    auto c = FindControl(ref);     \
    if (!c) return failure

OSStatus SetControlID(ControlRef control, const ControlID* id)
{
    WITH_CONTROL(control, errUnknownControl);
    if (!id) return paramErr;
    c->cid = *id;
    return noErr;
}

OSStatus GetControlID(ControlRef control, ControlID* out)
{
    WITH_CONTROL(control, errUnknownControl);
    if (!out) return paramErr;
    *out = c->cid;
    return noErr;
}

OSStatus SetControlCommandID(ControlRef control, UInt32 command)
{
    WITH_CONTROL(control, errUnknownControl);
    c->command = command;
    return noErr;
}

OSStatus GetControlCommandID(ControlRef control, UInt32* out)
{
    WITH_CONTROL(control, errUnknownControl);
    if (!out) return paramErr;
    *out = c->command;
    return noErr;
}

void SetControlReference(ControlRef control, SRefCon reference)
{
    if (auto c = FindControl(control)) c->reference = reference;
}

SRefCon GetControlReference(ControlRef control)
{
    auto c = FindControl(control);
    return c ? c->reference : 0;
}

OSStatus GetRootControl(WindowRef window, ControlRef* out)
{
    // Controls at the root have no embedding control: the window stands for it.
    if (!FindWindow(window)) return errInvalidWindowRef;
    if (out) *out = nullptr;
    return errControlNotFound;
}

OSErr EmbedControl(ControlRef control, ControlRef parent)
{
    WITH_CONTROL(control, errUnknownControl);
    auto p = FindControl(parent);
    if (!p || p->owner != c->owner) return errUnknownControl;
    // A control cannot be embedded in itself or in one of its own children.
    for (ControlRef up = parent; up; up = FindControl(up)->parent)
        if (up == control) return paramErr;
    c->parent = parent;
    return noErr;
}

OSErr GetSuperControl(ControlRef control, ControlRef* parent)
{
    WITH_CONTROL(control, errUnknownControl);
    if (!parent) return paramErr;
    *parent = c->parent;
    return c->parent ? noErr : errControlNotFound;
}

OSErr SetControlFontStyle(ControlRef control, const ControlFontStyleRec* style)
{
    WITH_CONTROL(control, errUnknownControl);
    if (!style) return paramErr;
    c->font = *style;
    return noErr;
}

void Draw1Control(ControlRef control)
{
    if (auto c = FindControl(control)) {
        ++c->drawCount;
        DrawControlContent(control);
    }
}

void DisposeControl(ControlRef control)
{
    auto c = FindControl(control);
    if (!c) return;
    auto w = FindWindow(c->owner);
    // Embedded controls go with their parent.
    if (w)
        for (ControlRef child : std::vector<ControlRef>(w->controls)) {
            auto cc = FindControl(child);
            if (cc && cc->parent == control) DisposeControl(child);
        }
    ControlDisposing(control);
    RetireTarget(c->target);
    Unregister(c->id);
    if (w) std::erase(w->controls, control);
}

Rect* GetControlBounds(ControlRef control, Rect* bounds)
{
    auto c = FindControl(control);
    if (bounds) *bounds = c ? c->bounds : Rect{};
    return bounds;
}

WindowRef GetControlOwner(ControlRef control)
{
    auto c = FindControl(control);
    return c ? c->owner : nullptr;
}

void MoveControl(ControlRef control, SInt16 h, SInt16 v)
{
    if (auto c = FindControl(control)) c->bounds = RectOf(h, v, RectWidth(c->bounds), RectHeight(c->bounds));
}

void SizeControl(ControlRef control, SInt16 width, SInt16 height)
{
    if (auto c = FindControl(control)) c->bounds = RectOf(c->bounds.left, c->bounds.top, width, height);
}

OSErr ActivateControl(ControlRef control)
{
    WITH_CONTROL(control, errUnknownControl);
    c->active = true;
    return noErr;
}

OSErr DeactivateControl(ControlRef control)
{
    WITH_CONTROL(control, errUnknownControl);
    c->active = false;
    return noErr;
}

bool IsControlActive(ControlRef control)
{
    auto c = FindControl(control);
    return c && c->active;
}

void ShowControl(ControlRef control)
{
    if (auto c = FindControl(control)) c->visible = true;
}

void HideControl(ControlRef control)
{
    if (auto c = FindControl(control)) c->visible = false;
}

bool IsControlVisible(ControlRef control)
{
    auto c = FindControl(control);
    return c && c->visible;
}

SInt32 GetControl32BitValue(ControlRef control)
{
    auto c = FindControl(control);
    return c ? c->value : 0;
}

void SetControl32BitValue(ControlRef control, SInt32 value)
{
    if (auto c = FindControl(control)) c->value = std::clamp(value, c->minimum, std::max(c->minimum, c->maximum));
}

SInt32 GetControl32BitMinimum(ControlRef control)
{
    auto c = FindControl(control);
    return c ? c->minimum : 0;
}

void SetControl32BitMinimum(ControlRef control, SInt32 value)
{
    // The value stays within the range, as a pop-up's stays on an item.
    if (auto c = FindControl(control)) {
        c->minimum = value;
        c->value = std::clamp(c->value, c->minimum, std::max(c->minimum, c->maximum));
    }
}

SInt32 GetControl32BitMaximum(ControlRef control)
{
    auto c = FindControl(control);
    return c ? c->maximum : 0;
}

void SetControl32BitMaximum(ControlRef control, SInt32 value)
{
    if (auto c = FindControl(control)) {
        c->maximum = value;
        c->value = std::clamp(c->value, c->minimum, std::max(c->minimum, c->maximum));
    }
}

OSStatus SetControlTitleWithCFString(ControlRef control, CFStringRef title)
{
    WITH_CONTROL(control, errUnknownControl);
    if (!title) return paramErr;
    c->title = Utf8(title);
    return noErr;
}

OSStatus CopyControlTitleAsCFString(ControlRef control, CFStringRef* out)
{
    WITH_CONTROL(control, errUnknownControl);
    if (!out) return paramErr;
    *out = CFStringCreateWithCString(c->title.c_str(), kCFStringEncodingUTF8);
    return noErr;
}

OSErr SetControlData(ControlRef control, SInt16 part, OSType tag, long size, const void* data)
{
    WITH_CONTROL(control, errUnknownControl);
    if (size < 0 || (size && !data)) return paramErr;
    if (OSErr status = noErr; SetSpecialControlData(control, part, tag, size, data, &status)) return status;
    const auto* bytes = static_cast<const uint8_t*>(data);
    c->data[{part, tag}] = std::vector<uint8_t>(bytes, bytes + size);
    return noErr;
}

OSErr GetControlData(ControlRef control, SInt16 part, OSType tag, long bufferSize, void* buffer, long* actualSize)
{
    WITH_CONTROL(control, errUnknownControl);
    if (OSErr status = noErr; GetSpecialControlData(control, part, tag, bufferSize, buffer, actualSize, &status))
        return status;
    auto it = c->data.find({part, tag});
    if (it == c->data.end()) return errDataNotSupported;
    if (actualSize) *actualSize = static_cast<long>(it->second.size());
    if (buffer && bufferSize > 0 && !it->second.empty())
        std::memcpy(buffer, it->second.data(), std::min<size_t>(static_cast<size_t>(bufferSize), it->second.size()));
    return noErr;
}

OSErr GetControlDataSize(ControlRef control, SInt16 part, OSType tag, long* size)
{
    return GetControlData(control, part, tag, 0, nullptr, size);
}

// ---- Drag Manager

namespace {

struct DragObj : Object {
    Point mouse;
    std::vector<platform::DragItemSpec> items;
};

}  // namespace

DragTrackingHandlerUPP NewDragTrackingHandlerUPP(DragTrackingHandlerUPP proc)
{
    return proc;
}
DragReceiveHandlerUPP NewDragReceiveHandlerUPP(DragReceiveHandlerUPP proc)
{
    return proc;
}
void DisposeDragTrackingHandlerUPP(DragTrackingHandlerUPP) {}
void DisposeDragReceiveHandlerUPP(DragReceiveHandlerUPP) {}

OSErr InstallTrackingHandler(DragTrackingHandlerUPP proc, WindowRef window, void* refCon)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (!proc) return paramErr;
    w->tracking = proc;
    w->trackingRefCon = refCon;
    return noErr;
}

OSErr InstallReceiveHandler(DragReceiveHandlerUPP proc, WindowRef window, void* refCon)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (!proc) return paramErr;
    w->receive = proc;
    w->receiveRefCon = refCon;
    return noErr;
}

OSErr RemoveTrackingHandler(DragTrackingHandlerUPP proc, WindowRef window)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (w->tracking != proc) return paramErr;
    w->tracking = nullptr;
    return noErr;
}

OSErr RemoveReceiveHandler(DragReceiveHandlerUPP proc, WindowRef window)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (w->receive != proc) return paramErr;
    w->receive = nullptr;
    return noErr;
}

OSErr GetDragMouse(DragRef drag, Point* mouse, Point* globalPinnedMouse)
{
    auto d = Find<DragObj>(Kind::Drag, drag);
    if (!d) return badDragRefErr;
    if (mouse) *mouse = d->mouse;
    if (globalPinnedMouse) *globalPinnedMouse = d->mouse;
    return noErr;
}

OSErr CountDragItems(DragRef drag, UInt16* count)
{
    auto d = Find<DragObj>(Kind::Drag, drag);
    if (!d) return badDragRefErr;
    if (count) *count = static_cast<UInt16>(d->items.size());
    return noErr;
}

OSErr GetDragItemReferenceNumber(DragRef drag, UInt16 index, DragItemRef* item)
{
    auto d = Find<DragObj>(Kind::Drag, drag);
    if (!d) return badDragRefErr;
    if (index < 1 || index > d->items.size()) return badDragItemErr;
    if (item) *item = 1000 + index;  // item references differ from indexes
    return noErr;
}

OSErr GetFlavorData(DragRef drag, DragItemRef item, FlavorType flavor, HFSFlavor* out)
{
    auto d = Find<DragObj>(Kind::Drag, drag);
    if (!d) return badDragRefErr;
    if (item <= 1000 || item > 1000 + d->items.size()) return badDragItemErr;
    const platform::DragItemSpec& spec = d->items[item - 1001];
    if (flavor != kDragFlavorTypeHFS || !spec.isFile) return badDragFlavorErr;
    if (!out) return paramErr;
    *out = HFSFlavor{};
    OSStatus status = platform::MakeSpec(spec.path, &out->fileSpec);
    return static_cast<OSErr>(status);
}

OSErr FSpMakeFSRef(const platform::FSSpec* spec, platform::FSRef* out)
{
    if (!spec || !out || spec->IsNull()) return paramErr;
    return static_cast<OSErr>(platform::MakeRef(spec->Path(), out));
}

namespace platform {

std::vector<WindowRef> AllWindows()
{
    auto sorted = g_windows;
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a->order > b->order; });
    std::vector<WindowRef> out;
    for (const auto& w : sorted) out.push_back(RefOf<WindowRef>(w->id));
    return out;
}

WindowRef FindWindowByNibName(const std::string& name)
{
    for (WindowRef w : AllWindows())
        if (FindWindow(w)->nibName == name) return w;
    return nullptr;
}

std::string GetWindowNibName(WindowRef window)
{
    auto w = FindWindow(window);
    return w ? w->nibName : std::string();
}

ControlRef FindControlAt(WindowRef window, Point local)
{
    auto w = FindWindow(window);
    if (!w) return nullptr;
    // Later controls lie above earlier ones; a hidden parent hides its children.
    for (auto it = w->controls.rbegin(); it != w->controls.rend(); ++it) {
        auto c = FindControl(*it);
        bool shown = true;
        for (auto up = c; up && shown; up = FindControl(up->parent)) shown = up->visible;
        const Rect& r = c->bounds;
        if (shown && local.h >= r.left && local.h < r.right && local.v >= r.top && local.v < r.bottom) return *it;
    }
    return nullptr;
}

int ControlDrawCount(ControlRef control)
{
    auto c = FindControl(control);
    return c ? c->drawCount : 0;
}

std::vector<ControlRef> WindowControls(WindowRef window)
{
    auto w = FindWindow(window);
    return w ? w->controls : std::vector<ControlRef>();
}

OSErr DropOnWindow(WindowRef window, Point where, const std::vector<DragItemSpec>& items)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    auto d = std::make_shared<DragObj>();
    d->mouse = where;
    d->items = items;
    DragRef drag = RefOf<DragRef>(Register(Kind::Drag, d));
    static const DragTrackingMessage messages[] = {kDragTrackingEnterHandler, kDragTrackingEnterWindow,
                                                   kDragTrackingInWindow, kDragTrackingLeaveWindow,
                                                   kDragTrackingLeaveHandler};
    for (DragTrackingMessage m : messages) {
        auto current = FindWindow(window);
        if (current && current->tracking) current->tracking(m, window, current->trackingRefCon, drag);
    }
    OSErr status = dragNotAcceptedErr;
    auto current = FindWindow(window);
    if (current && current->receive) status = current->receive(window, current->receiveRefCon, drag);
    Unregister(d->id);
    return status;
}

}  // namespace platform

// ---- Standard window handling

namespace platform::toolbox {

OSStatus StandardWindowHandler(WindowRef window, EventRef event)
{
    UInt32 cls = GetEventClass(event), kind = GetEventKind(event);
    if (cls == kEventClassMouse && kind == kEventMouseDown) {
        UInt16 button = kEventMouseButtonPrimary;
        UInt32 modifiers = 0;
        Point where;
        if (GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof where, nullptr, &where))
            return eventNotHandledErr;
        GetEventParameter(event, kEventParamMouseButton, typeMouseButton, nullptr, sizeof button, nullptr, &button);
        GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
        if (button != kEventMouseButtonPrimary || (modifiers & controlKey)) return eventNotHandledErr;
        auto w = FindWindow(window);
        Point local;
        local.h = static_cast<int16_t>(where.h - w->bounds.left);
        local.v = static_cast<int16_t>(where.v - w->bounds.top);
        ControlRef hit = platform::FindControlAt(window, local);
        if (!hit || !IsControlActive(hit)) return eventNotHandledErr;
        return ClickControlAt(window, hit, local, modifiers);
    }
    if (cls == kEventClassKeyboard && (kind == kEventRawKeyDown || kind == kEventRawKeyRepeat))
        return StandardWindowKey(window, event);
    if (cls == kEventClassControl && kind == kEventControlHit) {
        ControlRef control = nullptr;
        if (GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr,
                              &control))
            return eventNotHandledErr;
        UInt32 command = 0;
        if (GetControlCommandID(control, &command) != noErr || command == 0) return eventNotHandledErr;
        HICommand hc;
        hc.attributes = kHICommandFromControl;
        hc.commandID = command;
        EventRef commandEvent = nullptr;
        CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, GetCurrentEventTime(), 0, &commandEvent);
        SetEventParameter(commandEvent, kEventParamDirectObject, typeHICommand, sizeof hc, &hc);
        OSStatus status = SendEventToEventTarget(commandEvent, GetControlEventTarget(control));
        ReleaseEvent(commandEvent);
        return status;
    }
    if (cls == kEventClassWindow && kind == kEventWindowClose) {
        DisposeWindow(window);
        return noErr;
    }
    return eventNotHandledErr;
}

OSStatus StandardApplicationHandler(EventRef event)
{
    UInt32 cls = GetEventClass(event), kind = GetEventKind(event);
    if (cls == kEventClassApplication && kind == kEventAppQuit) {
        QuitApplicationEventLoop();
        return noErr;
    }
    if (cls == kEventClassCommand && kind == kEventCommandProcess) {
        HICommand hc;
        if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof hc, nullptr, &hc) ||
            hc.commandID != FourCC("quit"))
            return eventNotHandledErr;
        EventRef quit = nullptr;
        CreateEvent(nullptr, kEventClassApplication, kEventAppQuit, GetCurrentEventTime(), 0, &quit);
        OSStatus status = SendEventToEventTarget(quit, GetApplicationEventTarget());
        ReleaseEvent(quit);
        return status;
    }
    return eventNotHandledErr;
}

}  // namespace platform::toolbox
