#pragma once
// Stand-in for the standard font menu and the Font Manager look-ups the font
// chooser makes: one item per installed family, a submenu of typefaces for
// a family with more than one, and the family and style of a chosen item.
#include "platform/font_catalog.h"
#include "platform/toolbox_menus.h"

using FMFontStyle = SInt16;
using FMFont = UInt32;
using ItemCount = UInt32;
using OptionBits = UInt32;

constexpr OSStatus kFMInvalidFontErr = -985;
constexpr OSStatus kFMInvalidFontFamilyErr = -986;
constexpr OptionBits kHierarchicalFontMenuOption = 1;

// Appends the families after the menu's last item (afterItem must be that
// item or 0 for an empty menu). With the hierarchical option a family of
// several faces gets a submenu (ids from firstHierMenuID) of typeface names;
// the caller owns the submenus and disposes of them.
OSStatus CreateStandardFontMenu(MenuRef menu, MenuItemIndex afterItem, MenuID firstHierMenuID, OptionBits options,
                                ItemCount* outHierMenuCount);
// The family and style of an item of a standard font menu or of one of its
// submenus; paramErr for any other item.
OSStatus GetFontFamilyFromMenuSelection(MenuRef menu, MenuItemIndex item, FMFontFamily* outFamily,
                                        FMFontStyle* outStyle);
// The family's font for the style; fails when the family has no face of it.
OSStatus FMGetFontFromFontFamilyInstance(FMFontFamily family, FMFontStyle style, FMFont* outFont,
                                         FMFontStyle* outIntrinsicStyle);

namespace platform {

// A typeface's name in the menu: "Regular", "Bold", "Italic", "Bold Italic".
const char* FaceName(uint16_t style);

}  // namespace platform
