#include "ui/recent_items.h"

#include <strings.h>

#include <cstdio>
#include <string>

namespace {

std::string KeyOf(const char* name, int k)
{
    char key[32];
    std::snprintf(key, sizeof key, "%s_%d", name, k);
    return key;
}

// A stored path of any length (up to 1 MiB): the store refuses a buffer
// too small, so grow it until the text fits.
bool ReadString(const CPreferences& prefs, const std::string& key, std::string* out)
{
    for (size_t size = 256; size <= (1u << 20); size *= 16) {
        std::string buffer(size, '\0');
        if (prefs.GetString(key.c_str(), buffer.data(), size)) {
            *out = buffer.c_str();
            return true;
        }
    }
    return false;
}

}  // namespace

void CRecentItems::Init()
{
    entries_.clear();
    limit_ = kDefaultLimit;
}

void CRecentItems::Clear()
{
    Init();
}

bool CRecentItems::Add(const CPath* path)
{
    if (!path) return true;
    std::string text = path->GetFullPath();
    std::unique_ptr<CPath> entry;
    // Every entry, not only the counted ones: a raised limit must not
    // bring a duplicate back into view.
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (strcasecmp((*it)->GetFullPath().c_str(), text.c_str()) == 0) {
            if (it->get() == path) entry = std::move(*it);
            entries_.erase(it);
            break;
        }
    }
    if (!entry) entry = std::make_unique<CPath>(text);
    entries_.insert(entries_.begin(), std::move(entry));
    return true;
}

CPath* CRecentItems::GetAt(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return nullptr;
    return entries_[static_cast<size_t>(index)].get();
}

int CRecentItems::GetCount() const
{
    return static_cast<int>(std::min<size_t>(entries_.size(), limit_));
}

void CRecentItems::Assign(const CRecentItems& other)
{
    if (&other == this) return;
    Clear();
    limit_ = other.limit_;
    for (const auto& entry : other.entries_) entries_.push_back(std::make_unique<CPath>(entry->GetFullPath()));
}

bool CRecentItems::Save(CPreferences& prefs, const char* name) const
{
    if (!name) return true;
    prefs.SetLong((std::string(name) + "_max").c_str(), static_cast<long>(limit_));
    int count = GetCount();
    for (int k = 1; k <= count; ++k)
        prefs.SetString(KeyOf(name, k).c_str(), entries_[static_cast<size_t>(count - k)]->GetFullPath().c_str());
    // Keys of a longer earlier list would load as the newest entries.
    for (int k = count + 1; prefs.RemoveKey(KeyOf(name, k).c_str()); ++k) {
    }
    return true;
}

bool CRecentItems::Load(CPreferences& prefs, const char* name)
{
    if (!name) return true;
    int32_t limit = 0;
    if (prefs.GetInt((std::string(name) + "_max").c_str(), limit) && limit >= 0) limit_ = static_cast<unsigned>(limit);
    if (limit_ == 0) return true;
    for (unsigned k = 1; k <= limit_; ++k) {
        std::string text;
        if (!ReadString(prefs, KeyOf(name, static_cast<int>(k)), &text)) break;
        CPath path(text);
        if (path.Exists()) Add(&path);
    }
    return true;
}

bool CRecentItemsMenu::SetSubmenu(CMenu& parent, int itemIndex, SInt16 menuId, UInt32 baseCommand)
{
    if (!menu_.Create(menuId, "tt")) return false;
    baseCommand_ = baseCommand;
    return SetMenuItemHierarchicalMenu(parent.Get(), static_cast<MenuItemIndex>(itemIndex + 1), menu_.Get()) == noErr;
}

bool CRecentItemsMenu::Add(const CPath* path, bool rebuild)
{
    list_.Add(path);
    if (rebuild) Rebuild();
    return true;
}

CPath* CRecentItemsMenu::GetPathForItem(UInt32 command) const
{
    if (command < baseCommand_ || command >= baseCommand_ + static_cast<UInt32>(menu_.CountItems())) return nullptr;
    return list_.GetAt(static_cast<int>(command - baseCommand_));
}

void CRecentItemsMenu::SetLimit(unsigned limit, bool rebuild)
{
    list_.SetLimit(limit);
    if (rebuild) Rebuild();
}

bool CRecentItemsMenu::Rebuild()
{
    menu_.RemoveAllItems();
    for (int i = 0; i < list_.GetCount(); ++i)
        menu_.AppendItem(baseCommand_ + static_cast<UInt32>(i), list_.GetAt(i)->GetFullPath().c_str());
    return true;
}
