#include "ui/buttons.h"

#include "foundation/cfstring.h"
#include "foundation/str.h"
#include "foundation/system.h"
#include "platform/toolbox_menus.h"
#include "ui/control_events.h"
#include "ui/dialog_window.h"
#include "ui/ui_utils.h"

namespace {

// The title in Mac Roman, as the bevel buttons take it.
CFStringRef MacRomanTitle(const char* title)
{
    return CFStringCreateWithCString(title ? title : "", kCFStringEncodingMacRoman);
}

// Owner's window, or null: creation needs both.
bool SetTitleOf(CControl& control, const char* title, bool redraw)
{
    CCFString text(title ? title : "");
    if (SetControlTitleWithCFString(control.GetControlRef(), text) != noErr) return false;
    if (redraw) control.Draw();
    return true;
}

// The command of item in the submenu with menu id wanted, searched depth
// first through menu's tree; found tells a command of 0 from no match.
MenuCommand SearchMenuTree(MenuID wanted, MenuItemIndex item, MenuRef menu, bool* found, int depth = 0)
{
    if (!menu || depth > 16) return 0;  // a menu that holds itself ends here
    for (MenuItemIndex i = 1; i <= CountMenuItems(menu); ++i) {
        MenuID subId = 0;
        MenuRef sub = nullptr;
        if (GetMenuItemHierarchicalID(menu, i, &subId) != noErr ||
            GetMenuItemHierarchicalMenu(menu, i, &sub) != noErr || !sub)
            continue;
        MenuCommand command = 0;
        if (subId == wanted && GetMenuItemCommandID(sub, item, &command) == noErr) {
            *found = true;
            return command;
        }
        command = SearchMenuTree(wanted, item, sub, found, depth + 1);
        if (*found) return command;
    }
    return 0;
}

}  // namespace

void ColorToRGBColor(uint32_t color, RGBColor* out)
{
    if (!out) return;
    out->red = static_cast<uint16_t>((color & 0xFF) * 257);
    out->green = static_cast<uint16_t>(((color >> 8) & 0xFF) * 257);
    out->blue = static_cast<uint16_t>(((color >> 16) & 0xFF) * 257);
}

uint32_t RGBColorToColor(const RGBColor& color)
{
    auto narrow = [](uint16_t c) { return static_cast<uint32_t>(c) * 255 / 65535; };
    return narrow(color.red) | narrow(color.green) << 8 | narrow(color.blue) << 16;
}

// ---- CPushButton

CPushButton::~CPushButton()
{
    if (icon_) UnregisterIconFromResource(iconCode_, &icon_);
}

bool CPushButton::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    CCFString text(title ? title : "");
    ControlRef control = nullptr;
    OSStatus status = CreatePushButtonControl(OwnerWindow(owner), &bounds, text, &control);
    return FinishCreate(status, control, owner, signature);
}

bool CPushButton::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, int titleId)
{
    CStr title = CStr::LoadString(titleId);
    return Create(owner, signature, bounds, title.c_str());
}

bool CPushButton::SetTitle(const char* title, bool redraw)
{
    return SetTitleOf(*this, title, redraw);
}

bool CPushButton::SetIcon(SInt16 resourceId, OSType iconCode)
{
    return SetIconContent(GetControlRef(), resourceId, iconCode, &icon_, &iconCode_);
}

bool SetIconContent(ControlRef control, SInt16 resourceId, OSType code, IconRef* icon, OSType* iconCode)
{
    if (*icon) UnregisterIconFromResource(*iconCode, icon);
    *icon = nullptr;
    *iconCode = code;
    if (!RegisterIconFromResource(resourceId, code, icon)) {
        *icon = nullptr;
        return false;
    }
    ControlButtonContentInfo content;
    content.contentType = kControlContentIconRef;
    content.u.iconRef = *icon;
    return SetBevelButtonContentInfo(control, &content) == noErr;
}

// ---- CBevelMenuButton

CBevelMenuButton::~CBevelMenuButton()
{
    RemoveHandler();
}

bool CBevelMenuButton::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    CFStringRef text = MacRomanTitle(title);
    ControlRef control = nullptr;
    OSStatus status = CreateBevelButtonControl(OwnerWindow(owner), &bounds, text, 1, 0, nullptr, 0, 0, 0, &control);
    if (text) CFRelease(text);
    FinishCreate(status, control, owner, signature);
    if (!GetControlRef()) return false;
    OnAttach();
    return true;
}

bool CBevelMenuButton::OnAttach()
{
    RemoveHandler();
    static const EventTypeSpec kTypes[] = {{kEventClassControl, kEventControlHit},
                                           {kEventClassCommand, kEventCommandProcess}};
    return InstallControlHandler(GetControlRef(), HandlerProc, kTypes, 2, this, &handlerUPP_, &handlerRef_);
}

void CBevelMenuButton::RemoveHandler()
{
    RemoveInstalledHandler(&handlerUPP_, &handlerRef_);
}

bool CBevelMenuButton::Dispose()
{
    RemoveHandler();
    menu_ = nullptr;
    return true;
}

MenuRef CBevelMenuButton::SetMenu(MenuRef* menu)
{
    if (!menu) return nullptr;
    if (SetControlData(GetControlRef(), 0, kControlBevelButtonOwnedMenuRefTag, sizeof(MenuRef), menu) != noErr)
        return nullptr;
    MenuRef previous = menu_;
    menu_ = *menu;
    return previous;
}

OSStatus CBevelMenuButton::HandlerProc(EventHandlerCallRef call, EventRef event, void* userData)
{
    auto* self = static_cast<CBevelMenuButton*>(userData);
    if (!self) return eventNotHandledErr;
    if (GetEventClass(event) == kEventClassCommand) {
        HICommand command;
        if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr,
                              &command) == noErr &&
            (command.attributes & kHICommandFromMenu)) {
            self->commandSignal.Emit(static_cast<intptr_t>(command.commandID));
            return noErr;
        }
        return CallNextEventHandler(call, event);
    }
    if (GetEventClass(event) != kEventClassControl) return CallNextEventHandler(call, event);
    ControlRef control = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
    if (control == self->GetControlRef()) {
        SInt16 menuId = 0;
        ControlPartCode part = 0;
        MenuItemIndex item = 0;
        GetEventParameter(event, kEventParamControlMenuID, typeSInt16, nullptr, sizeof menuId, nullptr, &menuId);
        GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
        if (part == kControlMenuPart && GetBevelButtonMenuValue(control, &item) == noErr) {
            // A submenu's item gives its own command, even 0; only a choice
            // in the owned menu itself reads the owned menu.
            bool found = false;
            MenuCommand command = SearchMenuTree(menuId, item, self->menu_, &found);
            if (!found && GetMenuItemCommandID(self->menu_, item, &command) != noErr) command = 0;
            self->commandSignal.Emit(static_cast<intptr_t>(command));
        }
    }
    return CallNextEventHandler(call, event);
}

// ---- CCheckBox

bool CCheckBox::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    CCFString text(title ? title : "");
    ControlRef control = nullptr;
    OSStatus status = CreateCheckBoxControl(OwnerWindow(owner), &bounds, text, 0, true, &control);
    return FinishCreate(status, control, owner, signature);
}

bool CCheckBox::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, int titleId)
{
    CStr title = CStr::LoadString(titleId);
    return Create(owner, signature, bounds, title.c_str());
}

bool CCheckBox::GetValue()
{
    return GetControl32BitValue(GetControlRef()) != 0;
}

void CCheckBox::SetValue(bool checked, bool redraw)
{
    SetControl32BitValue(GetControlRef(), checked ? 1 : 0);
    if (redraw) Draw();
}

void CCheckBox::Toggle(bool redraw)
{
    SetValue(GetControl32BitValue(GetControlRef()) == 0, redraw);
}

bool CCheckBox::SetTitle(const char* title, bool redraw)
{
    return SetTitleOf(*this, title, redraw);
}

// ---- Colour buttons

CColorButton::~CColorButton()
{
    RemoveInstalledHandler(&handlerUPP_, &handlerRef_);
    ReleasePicture();
}

void CColorButton::ReleasePicture()
{
    if (!picture_) return;
    ControlButtonContentInfo content;  // text only
    SetControlData(GetControlRef(), kControlButtonContentTag, kControlBevelButtonContentTag, sizeof content, &content);
    KillPicture(picture_);
    picture_ = nullptr;
}

bool CColorButton::InstallClickHandler()
{
    if (handlerRef_) return true;
    static const EventTypeSpec kHit = {kEventClassControl, kEventControlHit};
    return InstallControlHandler(GetControlRef(), ClickProc, &kHit, 1, this, &handlerUPP_, &handlerRef_);
}

void CColorButton::SetColor(uint32_t color, bool redraw)
{
    color_ = color;
    ReleasePicture();
    Rect bounds;
    GetControlBounds(GetControlRef(), &bounds);
    Rect frame{0, 0, static_cast<int16_t>(RectHeight(bounds)), static_cast<int16_t>(RectWidth(bounds))};
    GWorldPtr world = nullptr;
    // An empty button has nothing to show the colour in.
    if (NewGWorld(&world, 32, frame) == 0 && world) {
        {
            PortSaver saver;
            SetGWorld(world);
            OpenCPicParams params;
            params.srcRect = frame;
            PicHandle picture = OpenCPicture(&params);
            ClipRect(&frame);
            RGBColor rgb;
            ColorToRGBColor(color, &rgb);
            RGBBackColor(&rgb);
            EraseRect(&frame);
            ClosePicture();
            picture_ = picture;
        }
        DisposeGWorld(world);
    }
    if (picture_) {
        ControlButtonContentInfo content;
        content.contentType = kControlContentPictHandle;
        content.u.picture = picture_;
        SetControlData(GetControlRef(), kControlButtonContentTag, kControlBevelButtonContentTag, sizeof content,
                       &content);
    }
    if (redraw) RedrawColor();
}

OSStatus CColorButton::ClickProc(EventHandlerCallRef call, EventRef event, void* userData)
{
    auto* self = static_cast<CColorButton*>(userData);
    if (!self) return eventNotHandledErr;
    static const unsigned char kPrompt[] = "\016Choose a color";
    RGBColor start, chosen;
    ColorToRGBColor(self->color_, &start);
    if (::GetColor(Point{}, kPrompt, &start, &chosen)) self->SetColor(RGBColorToColor(chosen), true);
    return CallNextEventHandler(call, event);
}

bool CColorSwatch::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !OwnerWindow(owner)) return false;
    CFStringRef text = MacRomanTitle(title);
    ControlRef control = nullptr;
    OSStatus status = CreateBevelButtonControl(OwnerWindow(owner), &bounds, text, 0, 0, nullptr, 0, 0, 0, &control);
    if (text) CFRelease(text);
    return FinishCreate(status, control, owner, signature, true);
}

bool CColorSwatch::OnAttach()
{
    if (!InstallClickHandler()) return false;
    SetColor(GetColor(), false);
    return true;
}

void CColorSwatch::RedrawColor()
{
    ControlRef control = GetControlRef();
    if (!IsControlVisible(control)) return;
    if (System::IsMacOSX() && !IsWindowVisible(GetControlOwner(control))) return;
    Draw1Control(control);
}

bool CColorWell::OnAttach()
{
    if (!InstallClickHandler()) return false;
    SetColor(GetColor(), true);
    return true;
}

void CColorWell::RedrawColor()
{
    Draw1Control(GetControlRef());
}
