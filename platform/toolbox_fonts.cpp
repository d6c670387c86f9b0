#include "platform/toolbox_fonts.h"

#include <map>

namespace {

struct Selection {
    FMFontFamily family = 0;
    FMFontStyle style = 0;
};

// What each item of the menus made here stands for.
std::map<MenuRef, std::map<MenuItemIndex, Selection>>& Selections()
{
    static std::map<MenuRef, std::map<MenuItemIndex, Selection>> table;
    return table;
}

bool AppendItem(MenuRef menu, const std::string& text, MenuItemIndex* index)
{
    CFStringRef s = CFStringCreateWithCString(text.c_str(), kCFStringEncodingUTF8);
    if (!s) return false;
    const OSStatus status = AppendMenuItemTextWithCFString(menu, s, 0, 0, index);
    CFRelease(s);
    return status == noErr;
}

}  // namespace

namespace platform {

const char* FaceName(uint16_t style)
{
    static const char* const kNames[] = {"Regular", "Bold", "Italic", "Bold Italic"};
    return kNames[style & 3];
}

}  // namespace platform

OSStatus CreateStandardFontMenu(MenuRef menu, MenuItemIndex afterItem, MenuID firstHierMenuID, OptionBits options,
                                ItemCount* outHierMenuCount)
{
    if (outHierMenuCount) *outHierMenuCount = 0;
    if (!menu) return errInvalidMenu;
    if (afterItem != CountMenuItems(menu)) return paramErr;
    auto& table = Selections()[menu];
    ItemCount submenus = 0;
    for (const platform::FamilyFaces& family : platform::ListFamilies()) {
        MenuItemIndex item = 0;
        if (!AppendItem(menu, family.name, &item)) return memFullErr;
        table[item] = {family.family, FMFontStyle(family.styles.front())};
        if (!(options & kHierarchicalFontMenuOption) || family.styles.size() < 2) continue;
        MenuRef sub = NewMenu(MenuID(firstHierMenuID + submenus), nullptr);
        if (!sub) return memFullErr;
        ++submenus;
        auto& subTable = Selections()[sub];
        for (uint16_t style : family.styles) {
            MenuItemIndex subItem = 0;
            if (!AppendItem(sub, platform::FaceName(style), &subItem)) return memFullErr;
            subTable[subItem] = {family.family, FMFontStyle(style)};
        }
        SetMenuItemHierarchicalMenu(menu, item, sub);
    }
    if (outHierMenuCount) *outHierMenuCount = submenus;
    return noErr;
}

OSStatus GetFontFamilyFromMenuSelection(MenuRef menu, MenuItemIndex item, FMFontFamily* outFamily,
                                        FMFontStyle* outStyle)
{
    auto menuIt = Selections().find(menu);
    if (menuIt == Selections().end()) return paramErr;
    auto itemIt = menuIt->second.find(item);
    if (itemIt == menuIt->second.end()) return paramErr;
    if (outFamily) *outFamily = itemIt->second.family;
    if (outStyle) *outStyle = itemIt->second.style;
    return noErr;
}

OSStatus FMGetFontFromFontFamilyInstance(FMFontFamily family, FMFontStyle style, FMFont* outFont,
                                         FMFontStyle* outIntrinsicStyle)
{
    std::string name;
    if (!FMGetFontFamilyName(family, name)) return kFMInvalidFontFamilyErr;
    if (!platform::FamilyHasFace(family, uint16_t(style))) return kFMInvalidFontErr;
    if (outFont) *outFont = FMFont(family) << 2 | FMFont(style & 3);
    if (outIntrinsicStyle) *outIntrinsicStyle = FMFontStyle(style & 3);
    return noErr;
}
