#pragma once
// The application nib, the menu bar and single menus.
#include <string>

#include "platform/toolbox_menus.h"
#include "platform/toolbox_windows.h"

class CNibRef {
public:
    CNibRef() = default;
    ~CNibRef();
    CNibRef(const CNibRef&) = delete;
    CNibRef& operator=(const CNibRef&) = delete;

    bool OpenMain() { return Open("main"); }
    // Opens the nib of that name among the bundle's resources (an open one is closed first).
    bool Open(const char* name);
    IBNibRef Get() const { return nib_; }

private:
    IBNibRef nib_ = nullptr;
};

// The one nib every window and the menu bar come from, opened on first need.
// Null while it cannot be opened; the next call tries again.
CNibRef* GetMainNib();

// Sets the menu bar "IDR_MENU"; on Mac OS X the application menu carries
// Quit and Preferences, so they leave menus 1000 and 1001 with their separators.
bool LoadMenuBar();

class CMenu {
public:
    explicit CMenu(MenuRef menu = nullptr) : menu_(menu), attached_(menu != nullptr) {}
    // The menu itself stays: whoever installed it owns it.
    ~CMenu() = default;

    bool Create(SInt16 menuId, const char* title);
    bool LoadFromNib(const CNibRef& nib, const char* name);
    bool AppendItem(UInt32 commandID, const char* text, UInt8 modifiers = 0, UInt16 key = 0, bool virtualKey = false);
    bool AppendSeparator();
    bool RemoveItem(UInt32 commandOrIndex, bool byIndex);
    bool RemoveAllItems();
    bool EnableItem(UInt32 commandOrIndex, bool byIndex, bool enable);
    int CountItems() const;
    SInt32 Popup(short h, short v);

    MenuRef Get() const { return menu_; }
    const char* GetTitle() const { return title_.c_str(); }
    bool IsAttached() const { return attached_; }

private:
    MenuRef menu_;
    std::string title_;
    bool attached_;
};

class CMenuBar {
public:
    MenuRef GetMenu(SInt16 menuId) const { return GetMenuHandle(menuId); }
};
