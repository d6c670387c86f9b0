#include "platform/toolbox_controls.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "platform/toolbox_events.h"
#include "platform/toolbox_menus.h"
#include "platform/toolbox_objects.h"
#include "platform/toolbox_observer.h"
#include "platform/toolbox_script.h"

using namespace platform::toolbox;

struct OpaqueTXNObject {
    std::string text;
    int draws = 0;
};

namespace {

constexpr OSType kViewSizeTag = FourCC("vsiz");
constexpr OSType kNibMenuTag = FourCC("nibm");  // a menu the nib made for a pop-up

Point g_mouse;  // global
bool g_buttonDown = false;

bool IsTextKind(OSType kind)
{
    return kind == kControlKindEditText || kind == kControlKindStaticText;
}

std::vector<uint8_t>* Bytes(const std::shared_ptr<ControlObj>& c, OSType tag)
{
    auto it = c->data.find({0, tag});
    return it == c->data.end() ? nullptr : &it->second;
}

template <class T>
bool ReadValue(const std::shared_ptr<ControlObj>& c, SInt16 part, OSType tag, T* out)
{
    auto it = c->data.find({part, tag});
    if (it == c->data.end() || it->second.size() < sizeof(T)) return false;
    std::memcpy(out, it->second.data(), sizeof(T));
    return true;
}

template <class T>
void WriteValue(const std::shared_ptr<ControlObj>& c, SInt16 part, OSType tag, const T& value)
{
    const auto* b = reinterpret_cast<const uint8_t*>(&value);
    c->data[{part, tag}] = std::vector<uint8_t>(b, b + sizeof(T));
}

std::string MacRoman(CFStringRef s)
{
    if (!s) return {};
    CFIndex length = CFStringGetLength(s);
    std::string out(static_cast<size_t>(length), '\0');
    CFIndex used = 0;
    CFStringGetBytes(s, 0, length, kCFStringEncodingMacRoman, '?', false, reinterpret_cast<uint8_t*>(out.data()),
                     length, &used);
    out.resize(static_cast<size_t>(used));
    return out;
}

std::string MacRomanFromUtf8(const std::string& text)
{
    CFStringRef s = CFStringCreateWithCString(text.c_str(), kCFStringEncodingUTF8);
    std::string out = MacRoman(s);
    if (s) CFRelease(s);
    return out;
}

void SetText(const std::shared_ptr<ControlObj>& c, const std::string& bytes)
{
    c->data[{0, kControlEditTextTextTag}] = std::vector<uint8_t>(bytes.begin(), bytes.end());
    const auto end = static_cast<SInt16>(std::min<size_t>(bytes.size(), 32767));
    WriteValue(c, 0, kControlEditTextSelectionTag, ControlEditTextSelectionRec{end, end});
}

std::string GetText(const std::shared_ptr<ControlObj>& c)
{
    auto* b = Bytes(c, kControlEditTextTextTag);
    return b ? std::string(b->begin(), b->end()) : std::string();
}

ControlEditTextSelectionRec Selection(const std::shared_ptr<ControlObj>& c, size_t length)
{
    ControlEditTextSelectionRec sel{SInt16(length), SInt16(length)};
    ReadValue(c, 0, kControlEditTextSelectionTag, &sel);
    auto clampTo = [&](SInt16 v) { return static_cast<SInt16>(std::clamp<int>(v, 0, int(length))); };
    sel.selStart = clampTo(sel.selStart);
    sel.selEnd = clampTo(sel.selEnd);
    if (sel.selEnd < sel.selStart) std::swap(sel.selStart, sel.selEnd);
    return sel;
}

OSStatus Make(WindowRef window, const Rect* bounds, OSType kind, CFStringRef title, ControlRef* out,
              std::shared_ptr<ControlObj>* made)
{
    if (!bounds || !out) return paramErr;
    OSStatus status = NewControlIn(window, kind, *bounds, Utf8(title), out);
    if (status != noErr) return status;
    *made = FindControl(*out);
    return noErr;
}

void SetRange(const std::shared_ptr<ControlObj>& c, SInt32 value, SInt32 minimum, SInt32 maximum)
{
    c->minimum = minimum;
    c->maximum = maximum;
    c->value = std::clamp(value, minimum, std::max(minimum, maximum));
}

Point LocalTo(WindowRef window, Point global)
{
    Rect bounds;
    if (GetWindowBounds(window, kWindowContentRgn, &bounds) != noErr) return global;
    return Point{static_cast<int16_t>(global.v - bounds.top), static_cast<int16_t>(global.h - bounds.left)};
}

WindowRef WindowOfPort(CGrafPtr port)
{
    for (WindowRef w : platform::AllWindows())
        if (GetWindowPort(w) == port) return w;
    return nullptr;
}

bool Usable(const std::shared_ptr<ControlObj>& c)
{
    for (auto up = c; up; up = FindControl(up->parent))
        if (!up->visible || !up->active) return false;
    return true;
}

void SendHit(ControlRef control, ControlPartCode part, UInt32 modifiers, const SInt16* menuId)
{
    EventRef hit = nullptr;
    CreateEvent(nullptr, kEventClassControl, kEventControlHit, GetCurrentEventTime(), 0, &hit);
    SetEventParameter(hit, kEventParamDirectObject, typeControlRef, sizeof control, &control);
    SetEventParameter(hit, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
    SetEventParameter(hit, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
    if (menuId) SetEventParameter(hit, kEventParamControlMenuID, typeSInt16, sizeof *menuId, menuId);
    SendEventToEventTarget(hit, GetControlEventTarget(control));
    ReleaseEvent(hit);
}

ControlPartCode ScrollBarPart(const ControlObj& c, Point where)
{
    const Rect& r = c.bounds;
    const bool vertical = RectHeight(r) >= RectWidth(r);
    const int length = vertical ? RectHeight(r) : RectWidth(r);
    const int pos = vertical ? where.v - r.top : where.h - r.left;
    if (pos < 16) return kControlUpButtonPart;
    if (pos >= length - 16) return kControlDownButtonPart;
    const int64_t range = int64_t(c.maximum) - c.minimum;
    const int travel = length - 48;
    const int thumb = 16 + (range > 0 && travel > 0 ? int((int64_t(c.value) - c.minimum) * travel / range) : 0);
    if (pos < thumb) return kControlPageUpPart;
    if (pos < thumb + 16) return kControlIndicatorPart;
    return kControlPageDownPart;
}

// Keys an edit field handles itself, after its filter let them through;
// false for a key it has no use for.
bool EditKey(const std::shared_ptr<ControlObj>& c, char ch)
{
    std::string text = GetText(c);
    ControlEditTextSelectionRec sel = Selection(c, text.size());
    size_t start = size_t(sel.selStart), end = size_t(sel.selEnd);
    switch (static_cast<unsigned char>(ch)) {
        case 28:  // left
            start = end = start == end && start > 0 ? start - 1 : start;
            break;
        case 29:  // right
            start = end = start == end && end < text.size() ? end + 1 : end;
            break;
        case 30:
        case 31:  // up and down: one line, nowhere to go
            return false;
        case 8:
            if (start == end && start > 0) --start;
            text.erase(start, end - start);
            end = start;
            break;
        case 127:
            if (start == end && end < text.size()) ++end;
            text.erase(start, end - start);
            end = start;
            break;
        default:
            if (text.size() - (end - start) >= 32767) return true;
            text.replace(start, end - start, 1, ch);
            start = end = start + 1;
            break;
    }
    c->data[{0, kControlEditTextTextTag}] = std::vector<uint8_t>(text.begin(), text.end());
    WriteValue(c, 0, kControlEditTextSelectionTag, ControlEditTextSelectionRec{SInt16(start), SInt16(end)});
    return true;
}

}  // namespace

namespace platform::toolbox {

void PrepareNibControl(ControlRef control, const pugi::xml_node& node)
{
    auto c = FindControl(control);
    if (!c) return;
    if (IsTextKind(c->kind)) {
        SetText(c, MacRomanFromUtf8(c->title));
    } else if (c->kind == kControlKindCheckBox || c->kind == kControlKindRadioButton) {
        c->autoToggle = node.attribute("autotoggle").as_bool(c->kind == kControlKindCheckBox);
        if (!node.attribute("max")) c->maximum = 2;
    } else if (c->kind == kControlKindPopupButton && node.attribute("items")) {
        MenuRef menu = NewMenu(static_cast<MenuID>(node.attribute("menuid").as_int(0)), nullptr);
        std::stringstream items(node.attribute("items").as_string());
        for (std::string item; std::getline(items, item, '|');) {
            CFStringRef s = CFStringCreateWithCString(item.c_str(), kCFStringEncodingUTF8);
            AppendMenuItemTextWithCFString(menu, s, 0, 0, nullptr);
            CFRelease(s);
        }
        WriteValue(c, 0, kControlPopupButtonMenuHandleTag, menu);
        WriteValue(c, 0, kNibMenuTag, menu);
        c->minimum = CountMenuItems(menu) ? 1 : 0;
        c->maximum = CountMenuItems(menu);
        c->value = std::clamp(node.attribute("value").as_int(1), c->minimum, c->maximum);
    }
}

void ControlDisposing(ControlRef control)
{
    auto c = FindControl(control);
    if (!c) return;
    MenuRef menu = nullptr;
    if (ReadValue(c, 0, kControlBevelButtonOwnedMenuRefTag, &menu) && menu) DisposeMenu(menu);
    if (ReadValue(c, 0, kNibMenuTag, &menu) && menu) DisposeMenu(menu);
    if (c->kind == kControlKindDataBrowser) BrowserDisposing(control);
}

bool SetSpecialControlData(ControlRef control, SInt16, OSType tag, long size, const void* data, OSErr* status)
{
    auto c = FindControl(control);
    *status = noErr;
    if (tag == kControlEditTextCFStringTag) {
        if (!IsTextKind(c->kind) || size != sizeof(CFStringRef)) {
            *status = errDataNotSupported;
            return true;
        }
        CFStringRef s = nullptr;
        std::memcpy(&s, data, sizeof s);
        if (!s) {
            *status = paramErr;
            return true;
        }
        SetText(c, MacRoman(s));
        return true;
    }
    if (tag == kControlEditTextTextTag && IsTextKind(c->kind)) {
        SetText(c, std::string(static_cast<const char*>(data), static_cast<size_t>(size)));
        return true;
    }
    if (tag == kControlEditTextSelectionTag && c->kind == kControlKindEditText) {
        if (size != sizeof(ControlEditTextSelectionRec)) {
            *status = paramErr;
            return true;
        }
        ControlEditTextSelectionRec sel;
        std::memcpy(&sel, data, sizeof sel);
        WriteValue(c, 0, tag, sel);
        WriteValue(c, 0, tag, Selection(c, GetText(c).size()));
        return true;
    }
    return false;
}

bool GetSpecialControlData(ControlRef control, SInt16, OSType tag, long bufferSize, void* buffer, long* actualSize,
                           OSErr* status)
{
    auto c = FindControl(control);
    if (tag != kControlEditTextCFStringTag) return false;
    if (!IsTextKind(c->kind)) {
        *status = errDataNotSupported;
        return true;
    }
    if (actualSize) *actualSize = sizeof(CFStringRef);
    *status = noErr;
    if (buffer && bufferSize >= long(sizeof(CFStringRef))) {
        std::string text = GetText(c);
        CFStringRef s = CFStringCreateWithBytes(reinterpret_cast<const uint8_t*>(text.data()), CFIndex(text.size()),
                                                kCFStringEncodingMacRoman);
        std::memcpy(buffer, &s, sizeof s);
    }
    return true;
}

void DrawControlContent(ControlRef control)
{
    auto c = FindControl(control);
    if (!c) return;
    ControlUserPaneDrawProcPtr draw = nullptr;
    if (c->kind == kControlKindUserPane && ReadValue(c, 0, kControlUserPaneDrawProcTag, &draw) && draw) {
        draw(control, 0);
    } else {
        ControlButtonContentInfo content;
        if ((ReadValue(c, kControlButtonContentTag, kControlBevelButtonContentTag, &content) ||
             ReadValue(c, 0, kControlBevelButtonContentTag, &content)) &&
            content.contentType == kControlContentPictHandle && Usable(c) && IsWindowVisible(c->owner)) {
            PortSaver saver;
            SetPortWindowPort(c->owner);
            DrawPicture(content.u.picture, &c->bounds);
        }
    }
    if (!FindControl(control)) return;
    EventRef e = nullptr;
    CreateEvent(nullptr, kEventClassControl, kEventControlDraw, GetCurrentEventTime(), 0, &e);
    SetEventParameter(e, kEventParamDirectObject, typeControlRef, sizeof control, &control);
    SendEventToEventTarget(e, GetControlEventTarget(control));
    ReleaseEvent(e);
}

OSStatus ClickControlAt(WindowRef window, ControlRef control, Point local, UInt32 modifiers)
{
    auto c = FindControl(control);
    ControlPartCode part = kControlButtonPart;
    SInt16 menuId = 0;
    bool withMenuId = false;
    if (c->kind == kControlKindUserPane) {
        ControlUserPaneHitTestProcPtr hitTest = nullptr;
        if (ReadValue(c, 0, kControlUserPaneHitTestProcTag, &hitTest) && hitTest) {
            part = hitTest(control, local);
            if (part == kControlNoPart) return noErr;
        }
    } else if (c->kind == kControlKindCheckBox || c->kind == kControlKindRadioButton) {
        part = kControlCheckBoxPart;
        if (c->autoToggle) SetControl32BitValue(control, c->kind == kControlKindRadioButton ? 1 : (c->value ? 0 : 1));
    } else if (c->kind == kControlKindPopupButton) {
        MenuRef menu = nullptr;
        if (!ReadValue(c, 0, kControlPopupButtonMenuHandleTag, &menu) || !menu) return noErr;
        SInt32 choice = PopUpMenuSelect(menu, local.v, local.h, static_cast<SInt16>(c->value));
        if ((choice & 0xFFFF) == 0) return noErr;
        SetControl32BitValue(control, choice & 0xFFFF);
        part = kControlMenuPart;
    } else if (c->kind == kControlKindBevelButton) {
        MenuRef menu = nullptr;
        if (ReadValue(c, 0, kControlBevelButtonOwnedMenuRefTag, &menu) && menu) {
            SInt32 choice = PopUpMenuSelect(menu, local.v, local.h, 0);
            if ((choice & 0xFFFF) == 0) return noErr;
            c->menuValue = static_cast<UInt16>(choice & 0xFFFF);
            menuId = static_cast<SInt16>(choice >> 16);
            withMenuId = true;
            part = kControlMenuPart;
        }
    } else if (c->kind == kControlKindEditText) {
        SetKeyboardFocus(window, control, kControlEditTextPart);
        part = kControlEditTextPart;
    } else if (c->kind == kControlKindScrollBar) {
        part = TrackControl(control, local, nullptr);
        if (part == kControlNoPart) return noErr;
    } else if (c->kind == kControlKindTabs && c->maximum > 0 && RectWidth(c->bounds) > 0) {
        // Tabs share the width equally.
        part = static_cast<ControlPartCode>(1 + (local.h - c->bounds.left) * c->maximum / RectWidth(c->bounds));
        SetControl32BitValue(control, part);
    }
    SendHit(control, part, modifiers, withMenuId ? &menuId : nullptr);
    return noErr;
}

OSStatus StandardControlHandler(ControlRef control, EventRef event)
{
    auto c = FindControl(control);
    UInt32 kind = GetEventKind(event);
    if (c->kind != kControlKindEditText || (kind != kEventRawKeyDown && kind != kEventRawKeyRepeat))
        return eventNotHandledErr;
    char ch = 0;
    UInt32 code = 0, modifiers = 0;
    GetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, nullptr, 1, nullptr, &ch);
    GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code);
    GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    if (ch == '\t') return eventNotHandledErr;  // the window moves the focus
    ControlKeyFilterProcPtr filter = nullptr;
    if (ReadValue(c, 0, kControlKeyFilterTag, &filter) && filter) {
        SInt16 keyCode = static_cast<SInt16>(code), charCode = static_cast<SInt16>(static_cast<unsigned char>(ch));
        EventModifiers mods = static_cast<EventModifiers>(modifiers);
        if (filter(control, &keyCode, &charCode, &mods) == kControlKeyFilterBlockKey) return noErr;
        c = FindControl(control);
        if (!c) return noErr;
        ch = static_cast<char>(charCode);
    }
    // For the default and the cancel button.
    if (ch == '\r' || ch == 3 || ch == '\n' || ch == 27) return eventNotHandledErr;
    return EditKey(c, ch) ? noErr : eventNotHandledErr;
}

OSStatus StandardWindowKey(WindowRef window, EventRef event)
{
    auto w = FindWindow(window);
    char ch = 0;
    GetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, nullptr, 1, nullptr, &ch);
    if (ch == '\t') {
        std::vector<ControlRef> fields;
        for (ControlRef ref : w->controls) {
            auto c = FindControl(ref);
            if (c && c->kind == kControlKindEditText && Usable(c)) fields.push_back(ref);
        }
        if (fields.empty()) return eventNotHandledErr;
        auto at = std::find(fields.begin(), fields.end(), KeyboardFocusOf(window));
        ControlRef next = at == fields.end() || at + 1 == fields.end() ? fields.front() : *(at + 1);
        SetKeyboardFocus(window, next, kControlEditTextPart);
        return noErr;
    }
    if (ch == 27) {
        auto cancel = FindControl(w->cancelButton);
        if (!cancel || !Usable(cancel)) return eventNotHandledErr;
        SendHit(w->cancelButton, kControlButtonPart, 0, nullptr);
        return noErr;
    }
    if (ch != '\r' && ch != 3) return eventNotHandledErr;
    ControlRef button = nullptr;
    if (auto d = FindControl(w->defaultButton); d && Usable(d)) button = w->defaultButton;
    for (size_t i = 0; !button && i < w->controls.size(); ++i) {
        auto c = FindControl(w->controls[i]);
        if (c && c->kind == kControlKindPushButton && c->command == FourCC("ok  ") && Usable(c))
            button = w->controls[i];
    }
    if (!button) return eventNotHandledErr;
    SendHit(button, kControlButtonPart, 0, nullptr);
    return noErr;
}

ControlRef ControlUnderMouse(WindowRef window, EventRef event)
{
    Point where;
    Rect content;
    if (GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof where, nullptr, &where) ||
        GetWindowBounds(window, kWindowContentRgn, &content) != noErr)
        return nullptr;
    Point local{static_cast<int16_t>(where.v - content.top), static_cast<int16_t>(where.h - content.left)};
    ControlRef hit = platform::FindControlAt(window, local);
    return hit && IsControlActive(hit) ? hit : nullptr;
}

ControlRef KeyboardFocusOf(WindowRef window)
{
    auto w = FindWindow(window);
    if (!w || !FindControl(w->focus)) return nullptr;
    return w->focus;
}

void NoteMouseEvent(EventRef event)
{
    Point where;
    if (GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof where, nullptr, &where) ==
        noErr)
        g_mouse = where;
    UInt32 kind = GetEventKind(event);
    if (kind == kEventMouseDown) g_buttonDown = true;
    if (kind == kEventMouseUp) g_buttonDown = false;
}

}  // namespace platform::toolbox

// ---- Procedures

ControlKeyFilterUPP NewControlKeyFilterUPP(ControlKeyFilterProcPtr proc)
{
    return proc;
}
void DisposeControlKeyFilterUPP(ControlKeyFilterUPP) {}
ControlActionUPP NewControlActionUPP(ControlActionProcPtr proc)
{
    return proc;
}
void DisposeControlActionUPP(ControlActionUPP) {}
ControlUserPaneDrawUPP NewControlUserPaneDrawUPP(ControlUserPaneDrawProcPtr proc)
{
    return proc;
}
ControlUserPaneHitTestUPP NewControlUserPaneHitTestUPP(ControlUserPaneHitTestProcPtr proc)
{
    return proc;
}
void DisposeControlUserPaneDrawUPP(ControlUserPaneDrawUPP) {}
void DisposeControlUserPaneHitTestUPP(ControlUserPaneHitTestUPP) {}

// ---- Creation

OSStatus CreateBevelButtonControl(WindowRef window, const Rect* bounds, CFStringRef title, SInt16, UInt16,
                                  const ControlButtonContentInfo* content, SInt16 menuId, UInt16, UInt16,
                                  ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    OSStatus status = Make(window, bounds, kControlKindBevelButton, title, out, &c);
    if (status != noErr) return status;
    if (content) WriteValue(c, 0, kControlBevelButtonContentTag, *content);
    if (menuId > 0)
        if (MenuRef menu = GetMenuHandle(menuId)) WriteValue(c, 0, kControlBevelButtonOwnedMenuRefTag, menu);
    return noErr;
}

OSStatus CreateCheckBoxControl(WindowRef window, const Rect* bounds, CFStringRef title, SInt32 value, bool autoToggle,
                               ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    OSStatus status = Make(window, bounds, kControlKindCheckBox, title, out, &c);
    if (status != noErr) return status;
    SetRange(c, value, 0, 2);  // 2 is the mixed state
    c->autoToggle = autoToggle;
    return noErr;
}

OSStatus CreateRadioButtonControl(WindowRef window, const Rect* bounds, CFStringRef title, SInt32 value,
                                  bool autoToggle, ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    OSStatus status = Make(window, bounds, kControlKindRadioButton, title, out, &c);
    if (status != noErr) return status;
    SetRange(c, value, 0, 2);
    c->autoToggle = autoToggle;
    return noErr;
}

OSStatus CreatePopupButtonControl(WindowRef window, const Rect* bounds, CFStringRef title, SInt16 menuId, bool, SInt16,
                                  SInt16, UInt8, ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    OSStatus status = Make(window, bounds, kControlKindPopupButton, title, out, &c);
    if (status != noErr) return status;
    if (menuId > 0)
        if (MenuRef menu = GetMenuHandle(menuId)) {
            WriteValue(c, 0, kControlPopupButtonMenuHandleTag, menu);
            SetRange(c, 1, 1, CountMenuItems(menu));
        }
    return noErr;
}

OSStatus CreateEditTextControl(WindowRef window, const Rect* bounds, CFStringRef text, bool, bool,
                               const ControlFontStyleRec* style, ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    OSStatus status = Make(window, bounds, kControlKindEditText, nullptr, out, &c);
    if (status != noErr) return status;
    SetText(c, MacRoman(text));
    if (style) c->font = *style;
    return noErr;
}

OSStatus CreateStaticTextControl(WindowRef window, const Rect* bounds, CFStringRef text,
                                 const ControlFontStyleRec* style, ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    OSStatus status = Make(window, bounds, kControlKindStaticText, nullptr, out, &c);
    if (status != noErr) return status;
    SetText(c, MacRoman(text));
    if (style) c->font = *style;
    return noErr;
}

OSStatus CreateGroupBoxControl(WindowRef window, const Rect* bounds, CFStringRef title, bool, ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    return Make(window, bounds, kControlKindGroupBox, title, out, &c);
}

OSStatus CreateProgressBarControl(WindowRef window, const Rect* bounds, SInt32 value, SInt32 minimum, SInt32 maximum,
                                  bool, ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    OSStatus status = Make(window, bounds, kControlKindProgressBar, nullptr, out, &c);
    if (status == noErr) SetRange(c, value, minimum, maximum);
    return status;
}

OSStatus CreateScrollBarControl(WindowRef window, const Rect* bounds, SInt32 value, SInt32 minimum, SInt32 maximum,
                                SInt32 viewSize, bool, ControlActionUPP, ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    OSStatus status = Make(window, bounds, kControlKindScrollBar, nullptr, out, &c);
    if (status != noErr) return status;
    SetRange(c, value, minimum, maximum);
    WriteValue(c, 0, kViewSizeTag, viewSize);
    return noErr;
}

OSStatus CreateSliderControl(WindowRef window, const Rect* bounds, SInt32 value, SInt32 minimum, SInt32 maximum, UInt16,
                             UInt16, bool, ControlActionUPP, ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    OSStatus status = Make(window, bounds, kControlKindSlider, nullptr, out, &c);
    if (status == noErr) SetRange(c, value, minimum, maximum);
    return status;
}

OSStatus CreateImageWellControl(WindowRef window, const Rect* bounds, const ControlButtonContentInfo* content,
                                ControlRef* out)
{
    std::shared_ptr<ControlObj> c;
    OSStatus status = Make(window, bounds, kControlKindImageWell, nullptr, out, &c);
    if (status == noErr)
        WriteValue(c, 0, kControlBevelButtonContentTag, content ? *content : ControlButtonContentInfo{});
    return status;
}

bool IsValidControlHandle(ControlRef control)
{
    return FindControl(control) != nullptr;
}

OSErr SetControlVisibility(ControlRef control, bool visible, bool draw)
{
    auto c = FindControl(control);
    if (!c) return errUnknownControl;
    c->visible = visible;
    if (visible && draw) Draw1Control(control);
    return noErr;
}

SInt32 GetControlViewSize(ControlRef control)
{
    SInt32 size = 0;
    if (auto c = FindControl(control)) ReadValue(c, 0, kViewSizeTag, &size);
    return size;
}

void SetControlViewSize(ControlRef control, SInt32 size)
{
    if (auto c = FindControl(control)) WriteValue(c, 0, kViewSizeTag, size);
}

OSErr SetBevelButtonContentInfo(ControlRef control, const ControlButtonContentInfo* content)
{
    auto c = FindControl(control);
    if (!c) return errUnknownControl;
    if (!content) return paramErr;
    if (c->kind != kControlKindBevelButton && c->kind != kControlKindRadioButton && c->kind != kControlKindPushButton)
        return errDataNotSupported;
    WriteValue(c, 0, kControlBevelButtonContentTag, *content);
    return noErr;
}

OSErr GetBevelButtonMenuValue(ControlRef control, MenuItemIndex* item)
{
    auto c = FindControl(control);
    if (!c) return errUnknownControl;
    if (!item) return paramErr;
    if (c->kind != kControlKindBevelButton || c->menuValue == 0) return errDataNotSupported;
    *item = c->menuValue;
    return noErr;
}

OSErr SetImageWellContentInfo(ControlRef control, const ControlButtonContentInfo* content)
{
    auto c = FindControl(control);
    if (!c) return errUnknownControl;
    if (!content || c->kind != kControlKindImageWell) return paramErr;
    WriteValue(c, 0, kControlBevelButtonContentTag, *content);
    return noErr;
}

OSErr GetImageWellContentInfo(ControlRef control, ControlButtonContentInfo* content)
{
    auto c = FindControl(control);
    if (!c) return errUnknownControl;
    if (!content || c->kind != kControlKindImageWell) return paramErr;
    *content = ControlButtonContentInfo{};
    ReadValue(c, 0, kControlBevelButtonContentTag, content);
    return noErr;
}

// ---- Focus and default button

OSErr SetKeyboardFocus(WindowRef window, ControlRef control, SInt16 part)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (part == 0 || !control) {
        w->focus = nullptr;
        return noErr;
    }
    auto c = FindControl(control);
    if (!c || c->owner != window) return errUnknownControl;
    w->focus = control;
    return noErr;
}

OSErr GetKeyboardFocus(WindowRef window, ControlRef* out)
{
    if (!FindWindow(window)) return errInvalidWindowRef;
    if (!out) return paramErr;
    *out = KeyboardFocusOf(window);
    return noErr;
}

OSErr ClearKeyboardFocus(WindowRef window)
{
    return SetKeyboardFocus(window, nullptr, 0);
}

OSStatus SetWindowDefaultButton(WindowRef window, ControlRef control)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    w->defaultButton = control;
    return noErr;
}

OSStatus SetWindowCancelButton(WindowRef window, ControlRef control)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    w->cancelButton = control;
    return noErr;
}

OSStatus GetWindowDefaultButton(WindowRef window, ControlRef* out)
{
    auto w = FindWindow(window);
    if (!w) return errInvalidWindowRef;
    if (!out) return paramErr;
    *out = FindControl(w->defaultButton) ? w->defaultButton : nullptr;
    return noErr;
}

// ---- Mouse tracking

ControlPartCode TestControl(ControlRef control, Point where)
{
    auto c = FindControl(control);
    if (!c || !Usable(c)) return kControlNoPart;
    const Rect& r = c->bounds;
    if (where.h < r.left || where.h >= r.right || where.v < r.top || where.v >= r.bottom) return kControlNoPart;
    if (c->kind == kControlKindScrollBar) return ScrollBarPart(*c, where);
    if (c->kind == kControlKindCheckBox || c->kind == kControlKindRadioButton) return kControlCheckBoxPart;
    if (c->kind == kControlKindPopupButton) return kControlMenuPart;
    if (c->kind == kControlKindEditText) return kControlEditTextPart;
    return kControlButtonPart;
}

ControlPartCode FindControl(Point where, WindowRef window, ControlRef* out)
{
    ControlRef hit = platform::FindControlAt(window, where);
    if (out) *out = hit;
    return hit ? TestControl(hit, where) : kControlNoPart;
}

ControlPartCode TrackControl(ControlRef control, Point start, ControlActionUPP action)
{
    const ControlPartCode part = TestControl(control, start);
    if (part == kControlNoPart) return part;
    CGrafPtr port = GetWindowPort(GetControlOwner(control));
    // A held arrow or page part acts at once, then for every move over it.
    if (part != kControlIndicatorPart && action) action(control, part);
    for (;;) {
        Point where;
        MouseTrackingResult result = 0;
        TrackMouseLocation(port, &where, &result);
        if (!IsValidControlHandle(control)) return kControlNoPart;
        if (result == kMouseTrackingMouseUp)
            return part == kControlIndicatorPart || TestControl(control, where) == part ? part : kControlNoPart;
        if (!action) continue;
        if (part == kControlIndicatorPart || TestControl(control, where) == part) action(control, part);
    }
}

void GetMouse(Point* where)
{
    if (!where) return;
    WindowRef w = WindowOfPort(GetGWorld());
    *where = w ? LocalTo(w, g_mouse) : g_mouse;
}

bool StillDown()
{
    return g_buttonDown;
}

bool Button()
{
    return g_buttonDown;
}

OSStatus TrackMouseLocation(CGrafPtr port, Point* where, MouseTrackingResult* result)
{
    WindowRef w = WindowOfPort(port ? port : GetGWorld());
    auto finish = [&](MouseTrackingResult r) {
        if (where) *where = w ? LocalTo(w, g_mouse) : g_mouse;
        if (result) *result = r;
        return noErr;
    };
    for (;;) {
        EventRef event = nullptr;
        if (ReceiveNextEvent(0, nullptr, kEventDurationForever, true, &event) != noErr || !event) {
            g_buttonDown = false;
            return finish(kMouseTrackingMouseUp);
        }
        UInt32 kind = GetEventKind(event);
        if (GetEventClass(event) == kEventClassMouse && (kind == kEventMouseDown || kind == kEventMouseUp ||
                                                         kind == kEventMouseDragged || kind == kEventMouseMoved)) {
            NoteMouseEvent(event);
            ReleaseEvent(event);
            return finish(kind == kEventMouseUp      ? kMouseTrackingMouseUp
                          : kind == kEventMouseDown  ? kMouseTrackingMouseDown
                          : kind == kEventMouseMoved ? kMouseTrackingMouseMoved
                                                     : kMouseTrackingMouseDragged);
        }
        SendEventToEventTarget(event, GetEventDispatcherTarget());
        ReleaseEvent(event);
    }
}

// ---- Colour picker

bool GetColor(Point, const unsigned char* prompt, const RGBColor* in, RGBColor* out)
{
    if (!in || !out) return false;
    platform::ShownPrompt shown;
    shown.kind = platform::PromptKind::ColorPicker;
    if (prompt) shown.title.assign(reinterpret_cast<const char*>(prompt + 1), prompt[0]);
    char start[32];
    std::snprintf(start, sizeof start, "%04X %04X %04X", in->red, in->green, in->blue);
    shown.message = start;
    int index = platform::LogPrompt(shown);
    platform::ScriptedAnswer answer;
    if (!platform::TakeAnswer(platform::PromptKind::ColorPicker, &answer) || answer.item != 1) return false;
    platform::SetPromptAnswer(index, 1);
    *out = answer.color;
    return true;
}

// ---- Text objects

TXNObject TXNNewTextObject(const std::string& text)
{
    return new OpaqueTXNObject{text, 0};
}

void TXNDeleteObject(TXNObject object)
{
    delete object;
}

void TXNDraw(TXNObject object, GWorldPtr)
{
    if (object) ++object->draws;
}

namespace platform {

int TextObjectDrawCount(TXNObject object)
{
    return object ? object->draws : 0;
}

std::string ControlText(ControlRef control)
{
    auto c = FindControl(control);
    if (!c) return {};
    std::string bytes = GetText(c);
    CFStringRef s = CFStringCreateWithBytes(reinterpret_cast<const uint8_t*>(bytes.data()), CFIndex(bytes.size()),
                                            kCFStringEncodingMacRoman);
    std::string out = Utf8(s);
    if (s) CFRelease(s);
    return out;
}

Point MouseLocation()
{
    return g_mouse;
}

}  // namespace platform
