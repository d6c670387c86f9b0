#pragma once
// The documents or pictures used most recently, newest first, kept in the
// preferences between runs and offered as a submenu.
#include <memory>
#include <vector>

#include "foundation/path.h"
#include "foundation/preferences.h"
#include "ui/nib_menus.h"

class CRecentItems {
public:
    static constexpr unsigned kDefaultLimit = 5;

    CRecentItems() = default;
    CRecentItems(const CRecentItems&) = delete;
    CRecentItems& operator=(const CRecentItems&) = delete;

    void Init();
    void Clear();
    // Moves an entry of the same path (case ignored) to the front, or puts
    // a new one there. Entries beyond the limit stay but do not count.
    bool Add(const CPath* path);
    CPath* GetAt(int index) const;
    // The entries that count: at most the limit.
    int GetCount() const;
    void Assign(const CRecentItems& other);
    // The limit under N_max, the counted entries under N_1 (oldest) to N_count.
    bool Save(CPreferences& prefs, const char* name) const;
    bool Load(CPreferences& prefs, const char* name);

    unsigned GetLimit() const { return limit_; }
    void SetLimit(unsigned limit) { limit_ = limit; }

private:
    std::vector<std::unique_ptr<CPath>> entries_;
    unsigned limit_ = kDefaultLimit;
};

class CRecentItemsMenu {
public:
    static constexpr UInt32 kDefaultBaseCommand = 5000;

    bool SetSubmenu(CMenu& parent, int itemIndex, SInt16 menuId, UInt32 baseCommand);
    bool Add(const CPath* path, bool rebuild);
    CPath* GetPathForItem(UInt32 command) const;
    CPath* GetAt(int index) const { return list_.GetAt(index); }
    void SetList(const CRecentItems& list) { list_.Assign(list); }
    void GetList(CRecentItems& list) const { list.Assign(list_); }
    void SetLimit(unsigned limit, bool rebuild);
    bool Rebuild();

    CMenu& GetMenu() { return menu_; }

private:
    UInt32 baseCommand_ = kDefaultBaseCommand;
    CRecentItems list_;
    CMenu menu_;
};
