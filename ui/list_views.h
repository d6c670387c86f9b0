#pragma once
// Multi-column text lists over the data browser, and a hierarchical list of
// nodes with icons. The list keeps its own model of columns, rows and cells;
// the browser reads each cell through the item-data callback. Row n has
// item id n + 1 and column n property id n + 1.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/signal.h"
#include "platform/toolbox_browser.h"
#include "ui/control.h"

// CListColumnInfo flags and format.
constexpr UInt32 kListColumnHasTitle = 16;
constexpr UInt32 kListColumnHasWidth = 32;
constexpr UInt32 kListColumnRightAligned = 32;
// CListItemInfo mask.
constexpr UInt32 kListItemText = 1;
constexpr UInt32 kListItemValue = 16;

struct CListColumnInfo {
    UInt32 flags = 0;
    UInt32 format = 0;
    SInt32 width = 0;
    const char* title = nullptr;
    int titleId = 0;  // the localized title when title is null
};

struct CListItemInfo {
    UInt32 mask = 0;
    int row = 0;
    int column = 0;
    // The text given (AddRow, SetItem) or the buffer filled (GetItem), of
    // textSize bytes; GetItem truncates to it and terminates.
    char* text = nullptr;
    SInt32 value = 0;
    int textSize = 0;
};

struct CListColumn {
    UInt32 flags = 0;
    UInt32 format = 0;
    SInt32 width = 0;
    std::optional<std::string> title;
    int position = 0;
};

struct CListCell {
    std::optional<std::string> text;
    SInt32 value = 0;
};

struct CListRow {
    DataBrowserItemID id = 0;
    std::vector<std::unique_ptr<CListCell>> cells;
};

class CListControl : public CControl {
public:
    CListControl() = default;
    ~CListControl() override;
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds);
    bool OnAttach() override;

    int AddColumn(int index, const CListColumnInfo& info);
    int AppendColumn(const CListColumnInfo& info);
    bool RebuildColumns();
    int AddRow(const CListItemInfo& info);
    bool SetItem(const CListItemInfo& info);
    bool GetItem(CListItemInfo& info);
    bool RemoveAll();
    void UpdateAllRows();
    bool SetSelection(int row, bool add);
    int GetSelection();
    int GetRowCount();
    int GetColumnCount() const { return static_cast<int>(columns_.size()); }

    CListCell* FindCell(DataBrowserItemID item, DataBrowserPropertyID property);
    bool ProvideItemData(DataBrowserItemDataRef itemData, DataBrowserItemID item, DataBrowserPropertyID property);
    bool CompareRows(DataBrowserItemID one, DataBrowserItemID two, DataBrowserPropertyID property);
    bool OnItemNotification(DataBrowserItemID item, DataBrowserItemNotification message);

    // Carries the address of a CListItemInfo of the selected row (column 0),
    // or null when that row does not exist.
    Signal selectionChanged;

private:
    static OSStatus ItemDataProc(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property,
                                 DataBrowserItemDataRef itemData, bool setValue);
    static void NotificationProc(ControlRef browser, DataBrowserItemID item, DataBrowserItemNotification message);
    static bool CompareProc(ControlRef browser, DataBrowserItemID one, DataBrowserItemID two,
                            DataBrowserPropertyID property);
    bool AddBrowserColumn(const CListColumn& column, DataBrowserPropertyID property, bool rebuilt);
    void FillMissingCells(size_t at);

    std::vector<std::unique_ptr<CListColumn>> columns_;
    std::vector<std::unique_ptr<CListRow>> rows_;
    bool movingSelection_ = false;
    DataBrowserItemDataUPP itemDataUPP_ = nullptr;
    DataBrowserItemNotificationUPP notificationUPP_ = nullptr;
    DataBrowserItemCompareUPP compareUPP_ = nullptr;
};

struct CTreeNode {
    DataBrowserItemID id = 0;
    std::string text;
    int icon = -1;
    intptr_t value = 0;
    std::vector<std::unique_ptr<CTreeNode>> children;
};

class CTreeListControl : public CControl {
public:
    static constexpr DataBrowserPropertyID kColumn = 2048;

    ~CTreeListControl() override;
    bool OnAttach() override;
    virtual bool Refresh() { return true; }
    virtual void OnSelectNode(intptr_t value);
    virtual void OnNodeEvent(UInt32 word);

    // A new node under parent (null: at the top); top nodes show at once,
    // children when their parent opens.
    CTreeNode* AddNode(CTreeNode* parent, const char* text, int icon, intptr_t value);
    int AddIcon(IconRef icon);
    CTreeNode* FindNode(DataBrowserItemID id);
    bool RemoveAll();
    void SetMute(bool mute) { mute_ = mute; }
    void SetColumnWidths(UInt16 minimum, UInt16 maximum);
    DataBrowserItemID GetSelectedItem() const { return selected_; }
    bool NeedsRefresh() const { return needsRefresh_; }

    Signal signal;

private:
    static OSStatus ItemDataProc(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property,
                                 DataBrowserItemDataRef itemData, bool setValue);
    static void NotificationProc(ControlRef browser, DataBrowserItemID item, DataBrowserItemNotification message);

    std::vector<std::unique_ptr<CTreeNode>> roots_;
    std::vector<IconRef> icons_;
    DataBrowserItemDataUPP itemDataUPP_ = nullptr;
    DataBrowserItemNotificationUPP notificationUPP_ = nullptr;
    bool needsRefresh_ = false;
    DataBrowserItemID selected_ = 0;
    DataBrowserItemID nextId_ = 1;
    bool mute_ = false;
    UInt16 minWidth_ = 0;
    UInt16 maxWidth_ = 0;
};

// The handle windows keep for a tree list; it owns nothing.
struct CTreeListRef {
    void* ref = nullptr;
};
