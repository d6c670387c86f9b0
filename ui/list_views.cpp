#include "ui/list_views.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "foundation/cfstring.h"
#include "foundation/str.h"
#include "ui/dialog_window.h"

namespace {

constexpr DataBrowserPropertyFlags kColumnFlags = 0x70000;  // selection column, movable, sortable

// Titles may carry "%%" for a percent sign; nothing else is interpreted.
std::string TitleText(const char* title)
{
    std::string out;
    for (const char* p = title; *p && out.size() < 255; ++p) {
        out.push_back(*p);
        if (p[0] == '%' && p[1] == '%') ++p;
    }
    return out;
}

DataBrowserListViewColumnDesc HeaderDesc(DataBrowserPropertyID property, DataBrowserPropertyType type, UInt16 minimum,
                                         UInt16 maximum, CFStringRef title, SInt16 size, SInt16 just)
{
    DataBrowserListViewColumnDesc desc;
    desc.propertyDesc.propertyID = property;
    desc.propertyDesc.propertyType = type;
    desc.propertyDesc.propertyFlags = kColumnFlags;
    desc.headerBtnDesc.version = 0;
    desc.headerBtnDesc.minimumWidth = minimum;
    desc.headerBtnDesc.maximumWidth = maximum;
    desc.headerBtnDesc.titleOffset = 0;
    desc.headerBtnDesc.titleString = title;
    desc.headerBtnDesc.initialOrder = kDataBrowserOrderIncreasing;
    desc.headerBtnDesc.btnFontStyle.flags = 71;  // font, face, size and justification given
    desc.headerBtnDesc.btnFontStyle.font = 0;
    desc.headerBtnDesc.btnFontStyle.size = size;
    desc.headerBtnDesc.btnFontStyle.style = 0;
    desc.headerBtnDesc.btnFontStyle.just = just;
    return desc;
}

}  // namespace

// ---- CListControl

CListControl::~CListControl()
{
    // A nib browser may outlive this object: it must not call back into it.
    if (ControlRef control = GetControlRef(); IsValidControlHandle(control)) {
        DataBrowserCallbacks none;
        InitDataBrowserCallbacks(&none);
        SetDataBrowserCallbacks(control, &none);
        SetControlReference(control, 0);
    }
    RemoveAll();
    columns_.clear();
    DisposeDataBrowserItemDataUPP(itemDataUPP_);
    DisposeDataBrowserItemNotificationUPP(notificationUPP_);
    DisposeDataBrowserItemCompareUPP(compareUPP_);
}

bool CListControl::Create(CDialogWindow* owner, OSType signature, const Rect& bounds)
{
    if (GetControlRef() || !owner || !owner->GetWindow()) return false;
    ControlRef control = nullptr;
    OSStatus status = CreateDataBrowserControl(owner->GetWindow(), &bounds, kDataBrowserListView, &control);
    if (status != noErr) {
        SetLastStatus(status);
        return false;
    }
    SetControlRef(control);
    InitCreated(owner, signature);
    return OnAttach();
}

bool CListControl::OnAttach()
{
    ControlRef control = GetControlRef();
    SetControlReference(control, reinterpret_cast<SRefCon>(this));
    DataBrowserCallbacks callbacks;
    if (InitDataBrowserCallbacks(&callbacks) != noErr) return false;
    if (!itemDataUPP_) itemDataUPP_ = NewDataBrowserItemDataUPP(ItemDataProc);
    if (!notificationUPP_) notificationUPP_ = NewDataBrowserItemNotificationUPP(NotificationProc);
    if (!compareUPP_) compareUPP_ = NewDataBrowserItemCompareUPP(CompareProc);
    if (!itemDataUPP_ || !notificationUPP_ || !compareUPP_) return false;
    callbacks.v1.itemDataCallback = itemDataUPP_;
    callbacks.v1.itemCompareCallback = compareUPP_;
    callbacks.v1.itemNotificationCallback = notificationUPP_;
    return SetDataBrowserCallbacks(control, &callbacks) == noErr;
}

bool CListControl::AddBrowserColumn(const CListColumn& column, DataBrowserPropertyID property, bool rebuilt)
{
    const UInt16 maximum = (column.flags & kListColumnHasWidth) ? static_cast<UInt16>(column.width & 0xFFFF) : 100;
    const SInt16 just = rebuilt && (column.format & kListColumnRightAligned) ? -1 : 0;
    CCFString title;
    if (column.title) title.SetCString(column.title->c_str());
    DataBrowserListViewColumnDesc desc =
        HeaderDesc(property, kDataBrowserTextType, 0, maximum, column.title ? title.Get() : nullptr, 10, just);
    return AddDataBrowserListViewColumn(GetControlRef(), &desc, kDataBrowserListViewAppendColumn) == noErr;
}

void CListControl::FillMissingCells(size_t at)
{
    for (auto& row : rows_)
        while (row->cells.size() < columns_.size())
            row->cells.insert(row->cells.begin() + static_cast<long>(std::min(at, row->cells.size())),
                              std::make_unique<CListCell>());
}

int CListControl::AppendColumn(const CListColumnInfo& info)
{
    auto column = std::make_unique<CListColumn>();
    column->flags = info.flags;
    column->format = info.format;
    column->width = info.width;
    if (info.flags & kListColumnHasTitle) {
        if (info.title) {
            column->title = TitleText(info.title);
        } else {
            CStr text;
            GetLocalizedString(text, info.titleId);
            column->title = text.c_str() ? text.c_str() : "";
        }
    }
    column->position = GetColumnCount();
    if (!AddBrowserColumn(*column, static_cast<DataBrowserPropertyID>(columns_.size() + 1), false)) return -1;
    columns_.push_back(std::move(column));
    FillMissingCells(columns_.size());
    UpdateAllRows();
    return GetColumnCount() - 1;
}

int CListControl::AddColumn(int index, const CListColumnInfo& info)
{
    if (index >= GetColumnCount()) return AppendColumn(info);
    index = std::max(index, 0);
    auto column = std::make_unique<CListColumn>();
    column->flags = info.flags;
    column->format = info.format;
    column->width = info.width;
    if (info.flags & kListColumnHasTitle) {
        CStr text;
        if (!info.title) GetLocalizedString(text, info.titleId);
        column->title = info.title ? TitleText(info.title) : std::string(text.c_str() ? text.c_str() : "");
    }
    column->position = index;
    columns_.insert(columns_.begin() + index, std::move(column));
    FillMissingCells(static_cast<size_t>(index));
    RebuildColumns();
    return index;
}

bool CListControl::RebuildColumns()
{
    for (size_t i = 1; i <= columns_.size(); ++i)
        RemoveDataBrowserTableViewColumn(GetControlRef(), static_cast<DataBrowserPropertyID>(i));
    for (size_t i = 0; i < columns_.size(); ++i)
        if (!AddBrowserColumn(*columns_[i], static_cast<DataBrowserPropertyID>(i + 1), true)) return false;
    return true;
}

int CListControl::AddRow(const CListItemInfo& info)
{
    DataBrowserItemID id = static_cast<DataBrowserItemID>(rows_.size() + 1);
    if (AddDataBrowserItems(GetControlRef(), kDataBrowserNoItem, 1, &id, 2) != noErr) return -1;
    auto row = std::make_unique<CListRow>();
    auto first = std::make_unique<CListCell>();
    if ((info.mask & kListItemText) && info.text) first->text = info.text;
    if (info.mask & kListItemValue) first->value = info.value;
    row->cells.push_back(std::move(first));
    for (int i = 1; i < GetColumnCount(); ++i) row->cells.push_back(std::make_unique<CListCell>());
    const int position = std::clamp(info.row, 0, static_cast<int>(rows_.size()));
    // Rows are named by their place, so the selected rows at or below the
    // new one now carry the next id: move the selection with its items.
    std::vector<DataBrowserItemID> selected;
    GetDataBrowserItems(GetControlRef(), kDataBrowserNoItem, true, kDataBrowserItemIsSelected, &selected);
    rows_.insert(rows_.begin() + position, std::move(row));
    for (size_t i = 0; i < rows_.size(); ++i) rows_[i]->id = static_cast<DataBrowserItemID>(i + 1);
    bool moved = false;
    for (DataBrowserItemID& s : selected)
        if (s != kDataBrowserNoItem && static_cast<int>(s) > position) {
            ++s;
            moved = true;
        }
    if (moved) {
        // The same items stay selected: no change to announce.
        movingSelection_ = true;
        SetDataBrowserSelectedItems(GetControlRef(), static_cast<UInt32>(selected.size()), selected.data(),
                                    kDataBrowserItemsAssign);
        movingSelection_ = false;
    }
    UpdateDataBrowserItems(GetControlRef(), kDataBrowserNoItem, 0, nullptr, 0, kDataBrowserItemNoProperty);
    return position;
}

CListCell* CListControl::FindCell(DataBrowserItemID item, DataBrowserPropertyID property)
{
    // Property ids start at 1; 0 (or a negative one passed through) names no column.
    if (item == 0 || item > rows_.size() || static_cast<SInt32>(property) <= 0) return nullptr;
    CListRow& row = *rows_[item - 1];
    if (property > row.cells.size()) return nullptr;
    return row.cells[property - 1].get();
}

bool CListControl::SetItem(const CListItemInfo& info)
{
    if (info.row < 0 || info.column < 0) return false;
    DataBrowserItemID item = static_cast<DataBrowserItemID>(info.row + 1);
    DataBrowserPropertyID property = static_cast<DataBrowserPropertyID>(info.column + 1);
    CListCell* cell = FindCell(item, property);
    if (!cell) return false;
    if (info.mask & kListItemText) {
        if (info.text)
            cell->text = info.text;
        else
            cell->text.reset();
    }
    if (info.mask & kListItemValue) cell->value = info.value;
    return UpdateDataBrowserItems(GetControlRef(), kDataBrowserNoItem, 1, &item, 0, property) == noErr;
}

bool CListControl::GetItem(CListItemInfo& info)
{
    if (info.row < 0 || info.column < 0) return false;
    CListCell* cell =
        FindCell(static_cast<DataBrowserItemID>(info.row + 1), static_cast<DataBrowserPropertyID>(info.column + 1));
    if (!cell) return false;
    if ((info.mask & kListItemText) && info.text && info.textSize > 0) {
        const std::string& text = cell->text ? *cell->text : std::string();
        size_t n = std::min(text.size(), static_cast<size_t>(info.textSize - 1));
        std::memcpy(info.text, text.data(), n);
        info.text[n] = 0;
    }
    if (info.mask & kListItemValue) info.value = cell->value;
    return true;
}

bool CListControl::ProvideItemData(DataBrowserItemDataRef itemData, DataBrowserItemID item,
                                   DataBrowserPropertyID property)
{
    if (property == kDataBrowserItemNoProperty) return true;
    CListCell* cell = FindCell(item, property);
    if (!cell || !cell->text) return false;
    CCFString text(cell->text->c_str());
    return SetDataBrowserItemDataText(itemData, text) == noErr;
}

bool CListControl::CompareRows(DataBrowserItemID one, DataBrowserItemID two, DataBrowserPropertyID property)
{
    CListCell* a = FindCell(one, property);
    CListCell* b = FindCell(two, property);
    if (!a || !b) return true;
    // An empty cell sorts as "".
    const char* ta = a->text ? a->text->c_str() : "";
    const char* tb = b->text ? b->text->c_str() : "";
    return std::strcmp(ta, tb) < 0;
}

bool CListControl::OnItemNotification(DataBrowserItemID item, DataBrowserItemNotification message)
{
    if (message != kDataBrowserItemSelected || movingSelection_) return true;
    CListItemInfo info;
    info.mask = kListItemValue;
    info.row = static_cast<int>(item) - 1;
    info.column = 0;
    bool exists = GetItem(info);
    selectionChanged.Emit(exists ? reinterpret_cast<intptr_t>(&info) : 0);
    return true;
}

bool CListControl::RemoveAll()
{
    if (!rows_.empty()) {
        if (RemoveDataBrowserItems(GetControlRef(), kDataBrowserNoItem, 0, nullptr, 0) != noErr) return false;
        rows_.clear();
    }
    UpdateAllRows();
    return true;
}

void CListControl::UpdateAllRows()
{
    for (DataBrowserItemID id = 1; id <= rows_.size(); ++id)
        UpdateDataBrowserItems(GetControlRef(), kDataBrowserNoItem, 1, &id, 0, kDataBrowserItemNoProperty);
}

bool CListControl::SetSelection(int row, bool add)
{
    ControlRef control = GetControlRef();
    SetDataBrowserSelectedItems(control, 0, nullptr, kDataBrowserItemsRemove);
    DataBrowserItemID id = static_cast<DataBrowserItemID>(row + 1);
    SetDataBrowserSelectedItems(control, 1, &id, add ? kDataBrowserItemsAdd : kDataBrowserItemsRemove);
    UpdateDataBrowserItems(control, kDataBrowserNoItem, 0, nullptr, 0, kDataBrowserItemNoProperty);
    return true;
}

int CListControl::GetSelection()
{
    UInt32 count = 0;
    if (GetDataBrowserItemCount(GetControlRef(), kDataBrowserNoItem, true, kDataBrowserItemIsSelected, &count) !=
            noErr ||
        count == 0)
        return -1;
    std::vector<DataBrowserItemID> items;
    if (GetDataBrowserItems(GetControlRef(), kDataBrowserNoItem, true, kDataBrowserItemIsSelected, &items) != noErr ||
        items.empty())
        return -1;
    return static_cast<int>(items.front()) - 1;
}

int CListControl::GetRowCount()
{
    UInt32 plain = 0, open = 0;
    if (GetDataBrowserItemCount(GetControlRef(), kDataBrowserNoItem, true, kDataBrowserItemNoState, &plain) != noErr ||
        GetDataBrowserItemCount(GetControlRef(), kDataBrowserNoItem, true, kDataBrowserContainerIsOpen, &open) != noErr)
        return 0;
    return static_cast<int>(plain + open);
}

OSStatus CListControl::ItemDataProc(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property,
                                    DataBrowserItemDataRef itemData, bool setValue)
{
    // Cells are read-only for the user.
    if (setValue) return errDataBrowserPropertyNotSupported;
    if (auto* self = reinterpret_cast<CListControl*>(GetControlReference(browser)))
        self->ProvideItemData(itemData, item, property);
    return errDataBrowserPropertyNotSupported;
}

void CListControl::NotificationProc(ControlRef browser, DataBrowserItemID item, DataBrowserItemNotification message)
{
    if (auto* self = reinterpret_cast<CListControl*>(GetControlReference(browser)))
        self->OnItemNotification(item, message);
}

bool CListControl::CompareProc(ControlRef browser, DataBrowserItemID one, DataBrowserItemID two,
                               DataBrowserPropertyID property)
{
    auto* self = reinterpret_cast<CListControl*>(GetControlReference(browser));
    return self ? self->CompareRows(one, two, property) : false;
}

// ---- CTreeListControl

CTreeListControl::~CTreeListControl()
{
    if (ControlRef control = GetControlRef(); IsValidControlHandle(control)) {
        DataBrowserCallbacks none;
        InitDataBrowserCallbacks(&none);
        SetDataBrowserCallbacks(control, &none);
        SetControlReference(control, 0);
    }
    DisposeDataBrowserItemDataUPP(itemDataUPP_);
    DisposeDataBrowserItemNotificationUPP(notificationUPP_);
    RemoveAll();
}

bool CTreeListControl::OnAttach()
{
    needsRefresh_ = true;
    selected_ = 0;
    ControlRef control = GetControlRef();
    SetControlReference(control, reinterpret_cast<SRefCon>(this));
    CCFString empty("");
    DataBrowserListViewColumnDesc desc =
        HeaderDesc(kColumn, kDataBrowserIconAndTextType, minWidth_, maxWidth_, empty, 8, 0);
    AddDataBrowserListViewColumn(control, &desc, kDataBrowserListViewAppendColumn);
    SetDataBrowserListViewDisclosureColumn(control, kColumn, true);
    if (!itemDataUPP_) itemDataUPP_ = NewDataBrowserItemDataUPP(ItemDataProc);
    if (!notificationUPP_) notificationUPP_ = NewDataBrowserItemNotificationUPP(NotificationProc);
    if (!itemDataUPP_ || !notificationUPP_) return false;
    DataBrowserCallbacks callbacks;
    InitDataBrowserCallbacks(&callbacks);
    callbacks.v1.itemDataCallback = itemDataUPP_;
    callbacks.v1.itemNotificationCallback = notificationUPP_;
    return SetDataBrowserCallbacks(control, &callbacks) == noErr;
}

void CTreeListControl::OnSelectNode(intptr_t) {}
void CTreeListControl::OnNodeEvent(UInt32) {}

void CTreeListControl::SetColumnWidths(UInt16 minimum, UInt16 maximum)
{
    minWidth_ = minimum;
    maxWidth_ = maximum;
}

int CTreeListControl::AddIcon(IconRef icon)
{
    icons_.push_back(icon);
    return static_cast<int>(icons_.size()) - 1;
}

CTreeNode* CTreeListControl::AddNode(CTreeNode* parent, const char* text, int icon, intptr_t value)
{
    auto node = std::make_unique<CTreeNode>();
    node->id = nextId_++;
    node->text = text ? text : "";
    node->icon = icon;
    node->value = value;
    CTreeNode* made = node.get();
    if (parent) {
        parent->children.push_back(std::move(node));
    } else {
        roots_.push_back(std::move(node));
        AddDataBrowserItems(GetControlRef(), kDataBrowserNoItem, 1, &made->id, kColumn);
    }
    return made;
}

CTreeNode* CTreeListControl::FindNode(DataBrowserItemID id)
{
    std::function<CTreeNode*(std::vector<std::unique_ptr<CTreeNode>>&)> search =
        [&](std::vector<std::unique_ptr<CTreeNode>>& nodes) -> CTreeNode* {
        for (auto& node : nodes) {
            if (node->id == id) return node.get();
            if (CTreeNode* found = search(node->children)) return found;
        }
        return nullptr;
    };
    return search(roots_);
}

bool CTreeListControl::RemoveAll()
{
    if (IsValidControlHandle(GetControlRef()) &&
        RemoveDataBrowserItems(GetControlRef(), kDataBrowserNoItem, 0, nullptr, 0) != noErr)
        return false;
    roots_.clear();
    needsRefresh_ = true;
    return true;
}

OSStatus CTreeListControl::ItemDataProc(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property,
                                        DataBrowserItemDataRef itemData, bool setValue)
{
    auto* self = reinterpret_cast<CTreeListControl*>(GetControlReference(browser));
    if (setValue || !self) return errDataBrowserPropertyNotSupported;
    CTreeNode* node = self->FindNode(item);
    if (!node) return errDataBrowserPropertyNotSupported;
    if (property == kDataBrowserItemIsContainerProperty)
        return SetDataBrowserItemDataBooleanValue(itemData, !node->children.empty());
    if (property != kColumn) return errDataBrowserPropertyNotSupported;
    if (node->icon >= 0 && static_cast<size_t>(node->icon) < self->icons_.size())
        SetDataBrowserItemDataIcon(itemData, self->icons_[node->icon]);
    CCFString text(node->text.c_str());
    return SetDataBrowserItemDataText(itemData, text);
}

void CTreeListControl::NotificationProc(ControlRef browser, DataBrowserItemID item, DataBrowserItemNotification message)
{
    auto* self = reinterpret_cast<CTreeListControl*>(GetControlReference(browser));
    if (!self) return;
    CTreeNode* node = self->FindNode(item);
    if (message == kDataBrowserItemSelected) {
        self->selected_ = item;
        if (!self->mute_ && node) self->OnSelectNode(node->value);
    } else if (message == kDataBrowserContainerOpened && node && !node->children.empty()) {
        std::vector<DataBrowserItemID> ids;
        for (auto& child : node->children) ids.push_back(child->id);
        AddDataBrowserItems(browser, item, static_cast<UInt32>(ids.size()), ids.data(), kColumn);
    }
}
