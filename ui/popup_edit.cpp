#include "ui/popup_edit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "foundation/cfstring.h"
#include "foundation/str.h"
#include "platform/toolbox_menus.h"
#include "ui/control_events.h"
#include "ui/dialog_window.h"

namespace {

MenuRef ReadMenu(ControlRef control, OSErr* status = nullptr)
{
    MenuRef menu = nullptr;
    OSErr err = GetControlData(control, 0, kControlPopupButtonMenuHandleTag, sizeof menu, &menu, nullptr);
    if (status) *status = err;
    return err == noErr ? menu : nullptr;
}

// The item's text as a C string (at most 255 bytes).
void ItemText(MenuRef menu, MenuItemIndex item, char* out)
{
    unsigned char text[256];
    GetMenuItemText(menu, item, text);
    std::memcpy(out, text + 1, text[0]);
    out[text[0]] = 0;
}

void CopyTruncated(const char* text, char* buffer, int size)
{
    if (!buffer || size <= 0) return;
    size_t n = std::min(std::strlen(text), static_cast<size_t>(size - 1));
    std::memcpy(buffer, text, n);
    buffer[n] = 0;
}

bool IsDigit(SInt16 c)
{
    return c >= '0' && c <= '9';
}

bool IsLetter(SInt16 c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool Install(ControlRef control, EventHandlerProcPtr proc, const EventTypeSpec& type, void* data, EventHandlerUPP* upp,
             EventHandlerRef* ref)
{
    return InstallControlHandler(control, proc, &type, 1, data, upp, ref);
}

void Remove(EventHandlerUPP* upp, EventHandlerRef* ref)
{
    RemoveInstalledHandler(upp, ref);
}

constexpr EventTypeSpec kControlHitType = {kEventClassControl, kEventControlHit};

OSStatus PassOn(EventHandlerCallRef, EventRef, void*)
{
    return eventNotHandledErr;
}

}  // namespace

// ---- CPopupMenu

CPopupMenu::~CPopupMenu()
{
    Dispose();
}

bool CPopupMenu::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    CFStringRef text = CFStringCreateWithCString(title ? title : "", kCFStringEncodingMacRoman);
    ControlRef control = nullptr;
    OSStatus status = CreatePopupButtonControl(OwnerWindow(owner), &bounds, text, -12345, false, -1, 0, 0, &control);
    if (text) CFRelease(text);
    if (status != noErr) {
        SetLastStatus(status);
        return false;
    }
    SetControlRef(control);
    ownMenu_ = NewMenu(9999, reinterpret_cast<const unsigned char*>(""));
    SetControlData(control, 0, kControlPopupButtonMenuHandleTag, sizeof ownMenu_, &ownMenu_);
    return InitCreated(owner, signature);
}

bool CPopupMenu::OnAttach()
{
    RemoveHandler();
    return Install(GetControlRef(), PassOn, kControlHitType, this, &handlerUPP_, &handlerRef_);
}

void CPopupMenu::RemoveHandler()
{
    Remove(&handlerUPP_, &handlerRef_);
}

bool CPopupMenu::Dispose()
{
    RemoveHandler();
    if (ownMenu_) {
        MenuRef none = nullptr;
        SetControlData(GetControlRef(), 0, kControlPopupButtonMenuHandleTag, sizeof none, &none);
        DisposeMenu(ownMenu_);
        ownMenu_ = nullptr;
    }
    return CControl::Dispose();
}

MenuRef CPopupMenu::Menu()
{
    OSErr status = noErr;
    MenuRef menu = ReadMenu(GetControlRef(), &status);
    SetLastStatus(status);
    return menu;
}

int CPopupMenu::AddItem(const char* text)
{
    MenuRef menu = Menu();
    if (!menu) return -1;
    CCFString item(text ? text : "");
    AppendMenuItemTextWithCFString(menu, item, 0, 0, nullptr);
    int count = CountMenuItems(menu);
    SetControl32BitMinimum(GetControlRef(), 1);
    SetControl32BitMaximum(GetControlRef(), count);
    return count;
}

bool CPopupMenu::RemoveAllItems()
{
    MenuRef menu = Menu();
    if (!menu) return false;
    for (int n = CountMenuItems(menu); n > 0; --n) DeleteMenuItem(menu, 1);
    SetControl32BitMinimum(GetControlRef(), 0);
    SetControl32BitMaximum(GetControlRef(), 0);
    return true;
}

int CPopupMenu::GetCount()
{
    MenuRef menu = ReadMenu(GetControlRef());
    return menu ? CountMenuItems(menu) : 0;
}

bool CPopupMenu::SetValue(int index)
{
    index = std::clamp(index, 0, std::max(0, GetCount()));
    SetControl32BitValue(GetControlRef(), index + 1);
    return true;
}

int CPopupMenu::FindItem(const char* text)
{
    MenuRef menu = ReadMenu(GetControlRef());
    if (!menu || !text) return -1;
    for (MenuItemIndex i = 1; i <= CountMenuItems(menu); ++i) {
        char item[256];
        ItemText(menu, i, item);
        if (std::strcmp(item, text) == 0) return i - 1;
    }
    return -1;
}

int CPopupMenu::GetValue(char* buffer, int size)
{
    int index = GetControl32BitValue(GetControlRef()) - 1;
    if (buffer && size > 0) buffer[0] = 0;
    if (index < 0) return -1;
    if (buffer && size > 0) {
        if (MenuRef menu = ReadMenu(GetControlRef())) {
            char item[256];
            ItemText(menu, static_cast<MenuItemIndex>(index + 1), item);
            CopyTruncated(item, buffer, size);
        }
    }
    return index;
}

// ---- CEditText

CEditText::CEditText() : filterUPP_(NewControlKeyFilterUPP(KeyFilterProc)) {}

CEditText::~CEditText()
{
    RestoreKeyFilter(GetControlRef(), previousFilter_, previousSaved_);
    DisposeControlKeyFilterUPP(filterUPP_);
    Remove(&keyboardUPP_, &keyboardRef_);
}

bool CEditText::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* text)
{
    if (!CControl::Create(owner, signature, bounds, text) || !OwnerWindow(owner)) return false;
    CCFString initial(text ? text : "");
    ControlFontStyleRec style;
    style.flags = 4;  // size only
    style.size = 10;
    ControlRef control = nullptr;
    OSStatus status = CreateEditTextControl(OwnerWindow(owner), &bounds, initial, false, true, &style, &control);
    return FinishCreate(status, control, owner, signature, true);
}

bool CEditText::OnAttach()
{
    SetControlReference(GetControlRef(), reinterpret_cast<SRefCon>(this));
    InstallKeyFilter(GetControlRef(), filterUPP_, &previousFilter_, &previousSaved_);
    return true;
}

void CEditText::SetCommitHandler(CommitHandler handler, void* context)
{
    commit_ = handler;
    commitContext_ = context;
    if (!keyboardRef_) {
        static const EventTypeSpec kRawKey = {kEventClassKeyboard, kEventRawKeyDown};
        Install(GetControlRef(), KeyboardProc, kRawKey, this, &keyboardUPP_, &keyboardRef_);
    }
}

ControlKeyFilterResult CEditText::KeyFilterProc(ControlRef control, SInt16*, SInt16* charCode, EventModifiers*)
{
    auto* self = reinterpret_cast<CEditText*>(GetControlReference(control));
    if (!self || !charCode) return kControlKeyFilterPassKey;
    return self->FilterKey(*charCode);
}

ControlKeyFilterResult CEditText::FilterKey(SInt16 c)
{
    if (c == 13 || c == 3 || c == 10) {
        if (commit_) commit_(this, commitContext_);
        if (!passReturn_) return kControlKeyFilterBlockKey;
    }
    // Arrows and deletes edit; Escape goes on to the window's cancel button.
    if (c == 28 || c == 29 || c == 8 || c == 127 || c == 27) return kControlKeyFilterPassKey;
    bool pass = true;
    switch (filterMode_) {
        case kFilterLetters:
            pass = IsLetter(c);
            break;
        case kFilterSignedInt:
            pass = IsDigit(c) || c == '-';
            break;
        case kFilterUnsignedInt:
            pass = IsDigit(c);
            break;
        case kFilterSignedDecimal:
            pass = IsDigit(c) || c == '-' || (c == '.' && DecimalPointPasses());
            break;
        case kFilterUnsignedDecimal:
            pass = IsDigit(c) || (c == '.' && DecimalPointPasses());
            break;
        case kFilterIdentifier: {
            SInt16 start = 0;
            pass = IsLetter(c) || c == '_' || (IsDigit(c) && SelectionStart(&start) && start != 0);
            break;
        }
        default:
            break;
    }
    return pass ? kControlKeyFilterPassKey : kControlKeyFilterBlockKey;
}

bool CEditText::SelectionStart(SInt16* start)
{
    ControlEditTextSelectionRec sel;
    if (GetControlData(GetControlRef(), 0, kControlEditTextSelectionTag, sizeof sel, &sel, nullptr) != noErr)
        return false;
    *start = sel.selStart;
    return true;
}

bool CEditText::DecimalPointPasses()
{
    ControlEditTextSelectionRec sel;
    bool haveSelection =
        GetControlData(GetControlRef(), 0, kControlEditTextSelectionTag, sizeof sel, &sel, nullptr) == noErr;
    char text[32];
    long length = 0;
    if (GetControlData(GetControlRef(), 0, kControlEditTextTextTag, sizeof text, text, &length) != noErr) length = 0;
    length = std::min<long>(length, sizeof text);
    for (long i = 0; i < length; ++i) {
        if (text[i] != '.') continue;
        // A point inside a selection will be replaced by the typed one.
        bool replaced = haveSelection && sel.selStart != sel.selEnd && i >= sel.selStart && i < sel.selEnd;
        if (!replaced) return false;
    }
    return true;
}

OSStatus CEditText::KeyboardProc(EventHandlerCallRef, EventRef event, void* userData)
{
    auto* self = static_cast<CEditText*>(userData);
    UInt32 code = 0;
    if (self &&
        GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code) == noErr &&
        code == 48 && self->commit_)
        self->commit_(self, self->commitContext_);
    return eventNotHandledErr;
}

bool CEditText::Clear(bool redraw)
{
    if (SetControlData(GetControlRef(), 0, kControlEditTextTextTag, 0, nullptr) != noErr) return false;
    if (redraw) Draw();
    return true;
}

bool CEditText::SetText(const char* text, bool redraw)
{
    if (!text) text = "";
    CCFString string(text);
    CFStringRef ref = string.Get();
    if (!ref || SetControlData(GetControlRef(), 0, kControlEditTextCFStringTag, sizeof ref, &ref) != noErr) {
        // The C string's bytes are already in the default text encoding.
        if (SetControlData(GetControlRef(), 0, kControlEditTextTextTag, static_cast<long>(std::strlen(text)), text) !=
            noErr)
            return false;
    }
    if (redraw) Draw();
    return true;
}

bool CEditText::SetStr255Text(const unsigned char* text, bool redraw)
{
    if (!text) return false;
    if (SetControlData(GetControlRef(), 0, kControlEditTextTextTag, text[0], text + 1) != noErr) return false;
    if (redraw) Draw();
    return true;
}

bool CEditText::SetInt(long value, bool redraw)
{
    char text[256];
    IntToString(value, text);
    return SetText(text, redraw);
}

bool CEditText::SetDouble(double value, int width, int precision, bool redraw)
{
    // Kept to what a printf format can take.
    width = std::clamp(width, -255, 255);
    precision = std::clamp(precision, 0, 255);
    char format[32];
    if (width && precision)
        std::snprintf(format, sizeof format, "%%%d.%df", width, precision);
    else if (width)
        std::snprintf(format, sizeof format, "%%%d.f", width);
    else if (precision)
        std::snprintf(format, sizeof format, "%%.%df", precision);
    else
        std::snprintf(format, sizeof format, "%%f");
    char text[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(text, sizeof text, format, value);
#pragma GCC diagnostic pop
    return SetText(text, redraw);
}

int CEditText::GetTextLength()
{
    long size = 0;
    if (GetControlDataSize(GetControlRef(), 0, kControlEditTextTextTag, &size) != noErr) return 0;
    return static_cast<int>(size);
}

int CEditText::GetText(char* buffer, int size)
{
    if (!buffer || size <= 0) return 0;
    long length = 0;
    if (GetControlData(GetControlRef(), 0, kControlEditTextTextTag, size - 1, buffer, &length) != noErr) {
        buffer[0] = 0;
        return 0;
    }
    length = std::min<long>(length, size - 1);
    buffer[length] = 0;
    return static_cast<int>(length);
}

long CEditText::GetInt()
{
    char text[256];
    if (GetText(text, sizeof text) == 0) return 0;
    return StringToLong(text, nullptr);
}

double CEditText::GetDouble()
{
    char text[256];
    if (GetText(text, sizeof text) == 0) return 0.0;
    return StringToDouble(text, nullptr);
}

// ---- CComboBox

CComboBox::~CComboBox()
{
    Remove(&handlerUPP_, &handlerRef_);
    if (ownMenu_) {
        MenuRef none = nullptr;
        SetControlData(GetControlRef(), 0, kControlPopupButtonMenuHandleTag, sizeof none, &none);
        DisposeMenu(ownMenu_);
    }
}

bool CComboBox::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    Rect popup = bounds;
    popup.left = static_cast<int16_t>(bounds.right - kPopupWidth);
    CFStringRef text = CFStringCreateWithCString(title ? title : "", kCFStringEncodingMacRoman);
    ControlRef control = nullptr;
    OSStatus status = CreatePopupButtonControl(OwnerWindow(owner), &popup, text, 0, false, 0, 0, 0, &control);
    if (text) CFRelease(text);
    if (status != noErr) {
        SetLastStatus(status);
        return false;
    }
    SetControlRef(control);
    Rect field = bounds;
    field.right = static_cast<int16_t>(bounds.right - kPopupWidth);
    // Half a combo box is none: without its field the pop-up goes too.
    if (!edit_.Create(owner, EditSignature(signature), field, "")) {
        SetLastStatus(edit_.GetLastStatus());
        DisposeControl(control);
        SetControlRef(nullptr);
        return false;
    }
    if (!InitCreated(owner, signature)) return false;
    // Bound as a combo box from the nib is: with a menu of its own here.
    ownMenu_ = NewMenu(0, reinterpret_cast<const unsigned char*>(""));
    SetControlData(control, 0, kControlPopupButtonMenuHandleTag, sizeof ownMenu_, &ownMenu_);
    return Bind();
}

bool CComboBox::OnAttach()
{
    WindowRef window = GetOwnerWindow();
    if (!edit_.Attach(EditSignature(GetSignature()), &window, GetControlIdNumber())) return false;
    return Bind();
}

bool CComboBox::Bind()
{
    menu_ = ReadMenu(GetControlRef());
    if (!menu_) return false;
    Remove(&handlerUPP_, &handlerRef_);
    return Install(GetControlRef(), ChoiceProc, kControlHitType, this, &handlerUPP_, &handlerRef_);
}

OSStatus CComboBox::ChoiceProc(EventHandlerCallRef call, EventRef event, void* userData)
{
    auto* self = static_cast<CComboBox*>(userData);
    if (self && self->menu_) {
        int index = self->GetSelectedIndex();
        if (index >= 0) {
            char text[256];
            ItemText(self->menu_, static_cast<MenuItemIndex>(index + 1), text);
            self->edit_.SetText(text, true);
        }
    }
    return CallNextEventHandler(call, event);
}

int CComboBox::AppendItem(const char* text)
{
    if (!menu_) return -1;
    unsigned char item[256];
    size_t n = std::min<size_t>(text ? std::strlen(text) : 0, 255);
    item[0] = static_cast<unsigned char>(n);
    if (n) std::memcpy(item + 1, text, n);
    AppendMenuItemText(menu_, item);
    int count = CountMenuItems(menu_);
    SetControl32BitMinimum(GetControlRef(), 1);
    SetControl32BitMaximum(GetControlRef(), count);
    return count;
}

bool CComboBox::RemoveAllItems()
{
    if (menu_)
        for (int n = CountMenuItems(menu_); n > 0; --n) DeleteMenuItem(menu_, 1);
    SetControl32BitMinimum(GetControlRef(), 0);
    SetControl32BitMaximum(GetControlRef(), 0);
    return true;
}

int CComboBox::GetSelectedIndex()
{
    return GetControl32BitValue(GetControlRef()) - 1;
}

bool CComboBox::SetText(const char* text, bool redraw)
{
    if (!text) text = "";
    if (SetControlData(edit_.GetControlRef(), 0, kControlEditTextTextTag, static_cast<long>(std::strlen(text)), text) !=
        noErr)
        return false;
    if (redraw) {
        Draw1Control(GetControlRef());
        edit_.Draw();
    }
    return true;
}

bool CComboBox::ClearText(bool redraw)
{
    return SetText("", redraw);
}

int CComboBox::GetText(char* buffer, int size)
{
    return edit_.GetText(buffer, size);
}

// Geometry: the two parts act as one control.

bool CComboBox::GetBounds(Rect* bounds)
{
    if (!bounds) return false;
    Rect popup;
    edit_.GetBounds(bounds);
    GetControlBounds(GetControlRef(), &popup);
    bounds->right = popup.right;
    return true;
}

bool CComboBox::GetPosition(int* x, int* y)
{
    return edit_.GetPosition(x, y);
}

int CComboBox::GetLeft()
{
    return edit_.GetLeft();
}

int CComboBox::GetTop()
{
    return edit_.GetTop();
}

void CComboBox::MoveBy(int dx, int dy)
{
    Rect e, p;
    GetControlBounds(edit_.GetControlRef(), &e);
    GetControlBounds(GetControlRef(), &p);
    MoveControl(edit_.GetControlRef(), static_cast<SInt16>(e.left + dx), static_cast<SInt16>(e.top + dy));
    MoveControl(GetControlRef(), static_cast<SInt16>(p.left + dx), static_cast<SInt16>(p.top + dy));
}

bool CComboBox::Move(int x, int y)
{
    MoveBy(x - edit_.GetLeft(), y - edit_.GetTop());
    return true;
}

bool CComboBox::SetLeft(int x)
{
    MoveBy(x - edit_.GetLeft(), 0);
    return true;
}

bool CComboBox::SetTop(int y)
{
    MoveBy(0, y - edit_.GetTop());
    return true;
}

bool CComboBox::GetSize(int* width, int* height)
{
    if (width) *width = GetWidth();
    if (height) *height = GetHeight();
    return true;
}

bool CComboBox::SetSize(int width, int height)
{
    SetWidth(width);
    SetHeight(height);
    return true;
}

int CComboBox::GetWidth()
{
    Rect popup;
    GetControlBounds(GetControlRef(), &popup);
    return popup.right - edit_.GetLeft();
}

bool CComboBox::SetWidth(int width)
{
    // The edit part takes the change; the pop-up keeps its width beside it.
    Rect e, p;
    GetControlBounds(edit_.GetControlRef(), &e);
    GetControlBounds(GetControlRef(), &p);
    int field = std::max(0, width - RectWidth(p));
    SizeControl(edit_.GetControlRef(), static_cast<SInt16>(field), static_cast<SInt16>(RectHeight(e)));
    MoveControl(GetControlRef(), static_cast<SInt16>(e.left + field), p.top);
    return true;
}

int CComboBox::GetHeight()
{
    return edit_.GetHeight();
}

bool CComboBox::SetHeight(int height)
{
    return edit_.SetHeight(height);
}

bool CComboBox::Draw()
{
    Draw1Control(GetControlRef());
    return edit_.Draw();
}

bool CComboBox::Enable(bool enable)
{
    bool popup = CControl::Enable(enable);
    bool field = edit_.Enable(enable);
    return popup && field;
}

bool CComboBox::Disable()
{
    bool popup = CControl::Disable();
    bool field = edit_.Disable();
    return popup && field;
}

bool CComboBox::Show(bool show)
{
    CControl::Show(show);
    return edit_.Show(show);
}

bool CComboBox::Hide()
{
    CControl::Hide();
    return edit_.Hide();
}
