#include "ui/nib_menus.h"

#include <memory>

#include "foundation/cfstring.h"
#include "foundation/system.h"

CNibRef::~CNibRef()
{
    if (nib_) DisposeNibReference(nib_);
}

bool CNibRef::Open(const char* name)
{
    if (!name) return false;
    if (nib_) {
        DisposeNibReference(nib_);
        nib_ = nullptr;
    }
    CCFString cfName(name);
    return CreateNibReference(cfName, &nib_) == noErr;
}

CNibRef* GetMainNib()
{
    // Never released: windows may be created from it until the process ends.
    static CNibRef* nib = nullptr;
    if (!nib) {
        auto opened = std::make_unique<CNibRef>();
        if (!opened->OpenMain()) return nullptr;
        nib = opened.release();
    }
    return nib;
}

namespace {

// Deletes the first item with the command and the item just above it.
void RemoveWithSeparatorAbove(SInt16 menuId, MenuCommand command)
{
    MenuRef menu = GetMenuHandle(menuId);
    if (!menu) return;
    MenuItemIndex index = 0;
    if (GetIndMenuItemWithCommandID(menu, command, 1, nullptr, &index) != noErr) return;
    if (index > 1) DeleteMenuItem(menu, static_cast<MenuItemIndex>(index - 1));
    if (GetIndMenuItemWithCommandID(menu, command, 1, nullptr, &index) == noErr) DeleteMenuItem(menu, index);
}

}  // namespace

bool LoadMenuBar()
{
    CNibRef* nib = GetMainNib();
    if (!nib) return false;
    CCFString name("IDR_MENU");
    if (SetMenuBarFromNib(nib->Get(), name) != noErr) return false;
    if (!System::IsMacOSX()) return true;
    EnableMenuCommand(nullptr, FourCC("pref"));
    RemoveWithSeparatorAbove(1000, FourCC("quit"));
    RemoveWithSeparatorAbove(1001, FourCC("pref"));
    return true;
}

bool CMenu::Create(SInt16 menuId, const char* title)
{
    title_.assign(title ? title : "");
    if (title_.size() > 255) title_.resize(255);
    unsigned char pascal[256];
    pascal[0] = static_cast<unsigned char>(title_.size());
    title_.copy(reinterpret_cast<char*>(pascal + 1), title_.size());
    menu_ = NewMenu(menuId, pascal);
    attached_ = menu_ != nullptr;
    return attached_;
}

bool CMenu::LoadFromNib(const CNibRef& nib, const char* name)
{
    if (!name) return false;
    CCFString cfName(name);
    MenuRef menu = nullptr;
    if (CreateMenuFromNib(nib.Get(), cfName, &menu) != noErr) return false;
    menu_ = menu;
    attached_ = true;
    return true;
}

bool CMenu::AppendItem(UInt32 commandID, const char* text, UInt8 modifiers, UInt16 key, bool virtualKey)
{
    CCFString cfText(text ? text : "");
    MenuItemIndex index = 0;
    if (AppendMenuItemTextWithCFString(menu_, cfText, 0, commandID, &index) != noErr) return false;
    if (modifiers != 0) SetMenuItemModifiers(menu_, index, modifiers);
    if (key != 0) SetMenuItemCommandKey(menu_, index, virtualKey, key);
    return true;
}

bool CMenu::AppendSeparator()
{
    CCFString empty("");
    return AppendMenuItemTextWithCFString(menu_, empty, kMenuItemAttrSeparator, 0, nullptr) == noErr;
}

bool CMenu::RemoveItem(UInt32 commandOrIndex, bool byIndex)
{
    if (byIndex) {
        if (commandOrIndex >= static_cast<UInt32>(CountMenuItems(menu_))) return false;
        DeleteMenuItem(menu_, static_cast<MenuItemIndex>(commandOrIndex + 1));
        return true;
    }
    MenuItemIndex index = 0;
    if (GetIndMenuItemWithCommandID(menu_, commandOrIndex, 1, nullptr, &index) != noErr) return false;
    DeleteMenuItem(menu_, index);
    return true;
}

bool CMenu::RemoveAllItems()
{
    for (int n = CountMenuItems(menu_); n > 0; --n) DeleteMenuItem(menu_, 1);
    return true;
}

bool CMenu::EnableItem(UInt32 commandOrIndex, bool byIndex, bool enable)
{
    // Without a menu the toolbox would take the whole menu bar.
    if (!menu_) return true;
    if (byIndex) {
        if (enable)
            EnableMenuItem(menu_, static_cast<MenuItemIndex>(commandOrIndex));
        else
            DisableMenuItem(menu_, static_cast<MenuItemIndex>(commandOrIndex));
    } else if (enable) {
        EnableMenuCommand(menu_, commandOrIndex);
    } else {
        DisableMenuCommand(menu_, commandOrIndex);
    }
    return true;
}

int CMenu::CountItems() const
{
    return CountMenuItems(menu_);
}

SInt32 CMenu::Popup(short h, short v)
{
    return PopUpMenuSelect(menu_, v, h, 0);
}
