#pragma once
// Stand-in for the Menu Manager and the keyboard layout: menus with command
// ids, the menu bar loaded from the nib, and pop-up menus answered by script.
#include <string>
#include <vector>

#include "platform/toolbox_types.h"

using MenuItemAttributes = UInt32;
constexpr MenuItemAttributes kMenuItemAttrSeparator = 64;

MenuRef NewMenu(MenuID id, const unsigned char* title);
void DisposeMenu(MenuRef menu);
OSStatus CreateMenuFromNib(IBNibRef nib, CFStringRef name, MenuRef* out);
OSStatus SetMenuBarFromNib(IBNibRef nib, CFStringRef name);
MenuRef GetMenuHandle(MenuID id);
MenuID GetMenuID(MenuRef menu);
OSStatus AppendMenuItemTextWithCFString(MenuRef menu, CFStringRef text, MenuItemAttributes attributes,
                                        MenuCommand command, MenuItemIndex* outIndex);
void DeleteMenuItem(MenuRef menu, MenuItemIndex item);
UInt16 CountMenuItems(MenuRef menu);
// Null menu: the menu bar's menus in order. Index from 1; 1 finds the first.
OSStatus GetIndMenuItemWithCommandID(MenuRef menu, MenuCommand command, UInt32 index, MenuRef* outMenu,
                                     MenuItemIndex* outIndex);
void EnableMenuCommand(MenuRef menu, MenuCommand command);
void DisableMenuCommand(MenuRef menu, MenuCommand command);
// Index 0 is the whole menu.
void EnableMenuItem(MenuRef menu, MenuItemIndex item);
void DisableMenuItem(MenuRef menu, MenuItemIndex item);
bool IsMenuItemEnabled(MenuRef menu, MenuItemIndex item);
OSErr SetMenuItemModifiers(MenuRef menu, MenuItemIndex item, UInt8 modifiers);
OSErr SetMenuItemCommandKey(MenuRef menu, MenuItemIndex item, bool virtualKey, UInt16 key);
OSStatus GetMenuItemCommandID(MenuRef menu, MenuItemIndex item, MenuCommand* out);
OSStatus CopyMenuItemTextAsCFString(MenuRef menu, MenuItemIndex item, CFStringRef* out);
// Items with a submenu; an item without one reads as id 0 and a null menu.
OSStatus SetMenuItemHierarchicalMenu(MenuRef menu, MenuItemIndex item, MenuRef submenu);
OSStatus GetMenuItemHierarchicalMenu(MenuRef menu, MenuItemIndex item, MenuRef* out);
OSErr GetMenuItemHierarchicalID(MenuRef menu, MenuItemIndex item, MenuID* out);
OSStatus SetMenuItemCommandID(MenuRef menu, MenuItemIndex item, MenuCommand command);
// Pascal-string items in Mac Roman, taken literally (no metacharacters).
void AppendMenuItemText(MenuRef menu, const unsigned char* text);
void GetMenuItemText(MenuRef menu, MenuItemIndex item, unsigned char* text);
// Answers from the scripted queue (menu id << 16 | item; 0 for none); an answer
// with a sub-item chooses in that item's submenu.
SInt32 PopUpMenuSelect(MenuRef menu, SInt16 top, SInt16 left, SInt16 popUpItem);

// Keyboard layout: the US layout only.
constexpr short smKCHRCache = 38;
long GetScriptManagerVariable(short selector);
UInt32 KeyTranslate(const void* layout, UInt16 keyCode, UInt32* deadKeyState);

namespace platform {

struct MenuItemInfo {
    std::string text;
    MenuCommand command = 0;
    bool separator = false;
    bool enabled = true;
    UInt8 modifiers = 0;
    UInt16 key = 0;
    bool virtualKey = false;
    MenuRef submenu = nullptr;  // hierarchical item
};
std::vector<MenuRef> MenuBarMenus();
std::vector<MenuItemInfo> MenuItems(MenuRef menu);
std::string MenuTitle(MenuRef menu);
// Finds the first menu bar item with the command; false when none.
bool FindMenuCommand(MenuCommand command, MenuRef* menu, MenuItemIndex* item);

}  // namespace platform
