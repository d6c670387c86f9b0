#include "platform/toolbox_menus.h"

#include <algorithm>

#include "platform/toolbox_objects.h"
#include "platform/toolbox_observer.h"
#include "platform/toolbox_script.h"

using namespace platform::toolbox;

namespace {

struct MenuObj : Object {
    MenuID menuId = 0;
    std::string title;
    bool enabled = true;
    std::vector<platform::MenuItemInfo> items;
};

std::vector<std::shared_ptr<MenuObj>> g_menuBar;

std::shared_ptr<MenuObj> FindMenu(MenuRef m)
{
    return Find<MenuObj>(Kind::Menu, m);
}

MenuRef RefOfMenu(const std::shared_ptr<MenuObj>& m)
{
    return RefOf<MenuRef>(m->id);
}

OSType ParseCode(const char* text)
{
    char code[5] = {' ', ' ', ' ', ' ', 0};
    for (int i = 0; i < 4 && text[i]; ++i) code[i] = text[i];
    return FourCC(code);
}

std::shared_ptr<MenuObj> MenuFromNode(const pugi::xml_node& node)
{
    auto m = std::make_shared<MenuObj>();
    m->menuId = static_cast<MenuID>(node.attribute("id").as_int());
    m->title = node.attribute("title").as_string();
    for (pugi::xml_node n : node.children("item")) {
        platform::MenuItemInfo item;
        item.separator = n.attribute("separator").as_bool(false);
        item.text = n.attribute("title").as_string();
        const char* cmd = n.attribute("command").as_string();
        item.command = *cmd ? ParseCode(cmd) : 0;
        item.enabled = n.attribute("enabled").as_bool(true);
        const char* key = n.attribute("key").as_string();
        item.key = static_cast<UInt16>(static_cast<unsigned char>(key[0]));
        item.modifiers = static_cast<UInt8>(n.attribute("modifiers").as_uint(0));
        m->items.push_back(item);
    }
    Register(Kind::Menu, m);
    return m;
}

platform::MenuItemInfo* ItemAt(MenuRef menu, MenuItemIndex item)
{
    auto m = FindMenu(menu);
    if (!m || item < 1 || item > m->items.size()) return nullptr;
    return &m->items[item - 1];
}

void SetCommandEnabled(MenuRef menu, MenuCommand command, bool enable)
{
    std::vector<std::shared_ptr<MenuObj>> menus;
    if (menu) {
        if (auto m = FindMenu(menu)) menus.push_back(m);
    } else {
        menus = g_menuBar;
    }
    for (auto& m : menus)
        for (auto& item : m->items)
            if (item.command == command) item.enabled = enable;
}

}  // namespace

MenuRef NewMenu(MenuID id, const unsigned char* title)
{
    auto m = std::make_shared<MenuObj>();
    m->menuId = id;
    if (title) m->title.assign(reinterpret_cast<const char*>(title + 1), title[0]);
    return RefOf<MenuRef>(Register(Kind::Menu, m));
}

void DisposeMenu(MenuRef menu)
{
    auto m = FindMenu(menu);
    if (!m) return;
    std::erase(g_menuBar, m);
    Unregister(m->id);
}

OSStatus CreateMenuFromNib(IBNibRef nib, CFStringRef name, MenuRef* out)
{
    pugi::xml_node root = NibRoot(nib);
    if (!root || !name || !out) return paramErr;
    pugi::xml_node node = root.find_child_by_attribute("menu", "name", Utf8(name).c_str());
    if (!node) return errNibNotFound;
    *out = RefOfMenu(MenuFromNode(node));
    return noErr;
}

OSStatus SetMenuBarFromNib(IBNibRef nib, CFStringRef name)
{
    pugi::xml_node root = NibRoot(nib);
    if (!root || !name) return paramErr;
    pugi::xml_node node = root.find_child_by_attribute("menubar", "name", Utf8(name).c_str());
    if (!node) return errNibNotFound;
    for (auto& m : g_menuBar) Unregister(m->id);
    g_menuBar.clear();
    for (pugi::xml_node n : node.children("menu")) g_menuBar.push_back(MenuFromNode(n));
    return noErr;
}

MenuRef GetMenuHandle(MenuID id)
{
    for (auto& m : g_menuBar)
        if (m->menuId == id) return RefOfMenu(m);
    return nullptr;
}

MenuID GetMenuID(MenuRef menu)
{
    auto m = FindMenu(menu);
    return m ? m->menuId : 0;
}

OSStatus AppendMenuItemTextWithCFString(MenuRef menu, CFStringRef text, MenuItemAttributes attributes,
                                        MenuCommand command, MenuItemIndex* outIndex)
{
    auto m = FindMenu(menu);
    if (!m) return errInvalidMenu;
    platform::MenuItemInfo item;
    item.text = Utf8(text);
    item.command = command;
    item.separator = (attributes & kMenuItemAttrSeparator) != 0;
    m->items.push_back(item);
    if (outIndex) *outIndex = static_cast<MenuItemIndex>(m->items.size());
    return noErr;
}

void DeleteMenuItem(MenuRef menu, MenuItemIndex item)
{
    auto m = FindMenu(menu);
    if (m && item >= 1 && item <= m->items.size()) m->items.erase(m->items.begin() + (item - 1));
}

UInt16 CountMenuItems(MenuRef menu)
{
    auto m = FindMenu(menu);
    return m ? static_cast<UInt16>(m->items.size()) : 0;
}

OSStatus GetIndMenuItemWithCommandID(MenuRef menu, MenuCommand command, UInt32 index, MenuRef* outMenu,
                                     MenuItemIndex* outIndex)
{
    std::vector<std::shared_ptr<MenuObj>> menus;
    if (menu) {
        auto m = FindMenu(menu);
        if (!m) return errInvalidMenu;
        menus.push_back(m);
    } else {
        menus = g_menuBar;
    }
    UInt32 seen = 0;
    for (auto& m : menus)
        for (size_t i = 0; i < m->items.size(); ++i)
            if (m->items[i].command == command && ++seen == std::max<UInt32>(index, 1)) {
                if (outMenu) *outMenu = RefOfMenu(m);
                if (outIndex) *outIndex = static_cast<MenuItemIndex>(i + 1);
                return noErr;
            }
    return errMenuItemNotFound;
}

void EnableMenuCommand(MenuRef menu, MenuCommand command)
{
    SetCommandEnabled(menu, command, true);
}
void DisableMenuCommand(MenuRef menu, MenuCommand command)
{
    SetCommandEnabled(menu, command, false);
}

void EnableMenuItem(MenuRef menu, MenuItemIndex item)
{
    if (item == 0) {
        if (auto m = FindMenu(menu)) m->enabled = true;
    } else if (auto* i = ItemAt(menu, item)) {
        i->enabled = true;
    }
}

void DisableMenuItem(MenuRef menu, MenuItemIndex item)
{
    if (item == 0) {
        if (auto m = FindMenu(menu)) m->enabled = false;
    } else if (auto* i = ItemAt(menu, item)) {
        i->enabled = false;
    }
}

bool IsMenuItemEnabled(MenuRef menu, MenuItemIndex item)
{
    auto m = FindMenu(menu);
    if (!m || !m->enabled) return false;
    if (item == 0) return true;
    auto* i = ItemAt(menu, item);
    return i && i->enabled;
}

OSErr SetMenuItemModifiers(MenuRef menu, MenuItemIndex item, UInt8 modifiers)
{
    auto* i = ItemAt(menu, item);
    if (!i) return errMenuItemNotFound;
    i->modifiers = modifiers;
    return noErr;
}

OSErr SetMenuItemCommandKey(MenuRef menu, MenuItemIndex item, bool virtualKey, UInt16 key)
{
    auto* i = ItemAt(menu, item);
    if (!i) return errMenuItemNotFound;
    i->key = key;
    i->virtualKey = virtualKey;
    return noErr;
}

OSStatus GetMenuItemCommandID(MenuRef menu, MenuItemIndex item, MenuCommand* out)
{
    auto* i = ItemAt(menu, item);
    if (!i) return errMenuItemNotFound;
    if (out) *out = i->command;
    return noErr;
}

OSStatus CopyMenuItemTextAsCFString(MenuRef menu, MenuItemIndex item, CFStringRef* out)
{
    auto* i = ItemAt(menu, item);
    if (!i) return errMenuItemNotFound;
    if (!out) return paramErr;
    *out = CFStringCreateWithCString(i->text.c_str(), kCFStringEncodingUTF8);
    return noErr;
}

OSStatus SetMenuItemHierarchicalMenu(MenuRef menu, MenuItemIndex item, MenuRef submenu)
{
    auto* i = ItemAt(menu, item);
    if (!i) return errMenuItemNotFound;
    if (submenu && !FindMenu(submenu)) return errInvalidMenu;
    i->submenu = submenu;
    return noErr;
}

OSStatus GetMenuItemHierarchicalMenu(MenuRef menu, MenuItemIndex item, MenuRef* out)
{
    auto* i = ItemAt(menu, item);
    if (!i) return errMenuItemNotFound;
    if (!out) return paramErr;
    *out = FindMenu(i->submenu) ? i->submenu : nullptr;
    return noErr;
}

OSErr GetMenuItemHierarchicalID(MenuRef menu, MenuItemIndex item, MenuID* out)
{
    auto* i = ItemAt(menu, item);
    if (!i) return errMenuItemNotFound;
    if (!out) return paramErr;
    auto sub = FindMenu(i->submenu);
    *out = sub ? sub->menuId : 0;
    return noErr;
}

OSStatus SetMenuItemCommandID(MenuRef menu, MenuItemIndex item, MenuCommand command)
{
    auto* i = ItemAt(menu, item);
    if (!i) return errMenuItemNotFound;
    i->command = command;
    return noErr;
}

void AppendMenuItemText(MenuRef menu, const unsigned char* text)
{
    if (!text) return;
    CFStringRef s = CFStringCreateWithPascalString(text, kCFStringEncodingMacRoman);
    AppendMenuItemTextWithCFString(menu, s, 0, 0, nullptr);
    if (s) CFRelease(s);
}

void GetMenuItemText(MenuRef menu, MenuItemIndex item, unsigned char* text)
{
    if (!text) return;
    text[0] = 0;
    auto* i = ItemAt(menu, item);
    if (!i) return;
    CFStringRef s = CFStringCreateWithCString(i->text.c_str(), kCFStringEncodingUTF8);
    if (s && !CFStringGetPascalString(s, text, 256, kCFStringEncodingMacRoman)) text[0] = 0;
    if (s) CFRelease(s);
}

SInt32 PopUpMenuSelect(MenuRef menu, SInt16, SInt16, SInt16)
{
    auto m = FindMenu(menu);
    if (!m) return 0;
    platform::ShownPrompt shown;
    shown.kind = platform::PromptKind::PopupMenu;
    shown.title = m->title;
    for (const auto& item : m->items) shown.buttons.push_back(item.text);
    int index = platform::LogPrompt(shown);
    platform::ScriptedAnswer answer;
    if (!platform::TakeAnswer(platform::PromptKind::PopupMenu, &answer)) return 0;
    // Only an enabled item that is not a separator can be chosen.
    if (answer.item < 1 || static_cast<size_t>(answer.item) > m->items.size()) return 0;
    const auto& item = m->items[answer.item - 1];
    if (item.separator || !item.enabled || !m->enabled) return 0;
    platform::SetPromptAnswer(index, answer.item);
    if (answer.subItem > 0) {
        auto sub = FindMenu(item.submenu);
        if (!sub || static_cast<size_t>(answer.subItem) > sub->items.size()) return 0;
        const auto& subItem = sub->items[answer.subItem - 1];
        if (subItem.separator || !subItem.enabled) return 0;
        return (static_cast<SInt32>(sub->menuId) << 16) | answer.subItem;
    }
    return (static_cast<SInt32>(m->menuId) << 16) | answer.item;
}

// ---- Keyboard layout

namespace {

// The US layout's characters by virtual key code, without modifiers.
constexpr char kUsLayout[128] = {
    'a',  's',  'd',  'f',  'h',  'g',  'z',  'x',  'c',  'v',  0,    'b',  'q',  'w',  'e',  'r',   // 0
    'y',  't',  '1',  '2',  '3',  '4',  '6',  '5',  '=',  '9',  '7',  '-',  '8',  '0',  ']',  'o',   // 16
    'u',  '[',  'i',  'p',  '\r', 'l',  'j',  '\'', 'k',  ';',  '\\', ',',  '/',  'n',  'm',  '.',   // 32
    '\t', ' ',  '`',  8,    0,    0x1B, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0,     // 48
    0,    '.',  0,    '*',  0,    '+',  0,    0x1B, 0,    0,    0,    '/',  3,    0,    '-',  0,     // 64
    0,    '=',  '0',  '1',  '2',  '3',  '4',  '5',  '6',  '7',  0,    '8',  '9',  0,    0,    0,     // 80
    0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0,    0x10, 0,    0x10, 0,    0x10, 0,    0x10, 0,    0x10,  // 96
    0,    0x10, 0x05, 0x01, 0x0B, 0x7F, 0x10, 0x04, 0x10, 0x0C, 0x10, 0x1C, 0x1D, 0x1F, 0x1E, 0,     // 112
};

const int kLayoutToken = 0;

}  // namespace

long GetScriptManagerVariable(short selector)
{
    return selector == smKCHRCache ? reinterpret_cast<long>(&kLayoutToken) : 0;
}

UInt32 KeyTranslate(const void* layout, UInt16 keyCode, UInt32* deadKeyState)
{
    if (deadKeyState) *deadKeyState = 0;
    if (layout != &kLayoutToken) return 0;
    unsigned code = keyCode & 0x7F;
    return static_cast<UInt32>(static_cast<unsigned char>(kUsLayout[code]));
}

namespace platform {

std::vector<MenuRef> MenuBarMenus()
{
    std::vector<MenuRef> out;
    for (auto& m : g_menuBar) out.push_back(RefOfMenu(m));
    return out;
}

std::vector<MenuItemInfo> MenuItems(MenuRef menu)
{
    auto m = FindMenu(menu);
    return m ? m->items : std::vector<MenuItemInfo>();
}

std::string MenuTitle(MenuRef menu)
{
    auto m = FindMenu(menu);
    return m ? m->title : std::string();
}

bool FindMenuCommand(MenuCommand command, MenuRef* menu, MenuItemIndex* item)
{
    return GetIndMenuItemWithCommandID(nullptr, command, 1, menu, item) == noErr;
}

}  // namespace platform
