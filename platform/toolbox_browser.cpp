#include "platform/toolbox_browser.h"

#include <algorithm>
#include <map>

#include "platform/toolbox_objects.h"
#include "platform/toolbox_observer.h"

using namespace platform::toolbox;

struct OpaqueDataBrowserItemData {
    std::string text;
    bool hasText = false;
    bool boolean = false;
    IconRef icon = nullptr;
};

namespace {

struct Item {
    DataBrowserItemID id = 0;
    DataBrowserItemID container = 0;
    bool selected = false;
    bool open = false;
};

struct Browser {
    DataBrowserCallbacks callbacks;
    std::vector<platform::BrowserColumn> columns;
    std::vector<Item> items;  // order added
    DataBrowserPropertyID disclosure = 0;
    platform::BrowserLook look;
};

std::map<uintptr_t, Browser> g_browsers;

Browser* Find(ControlRef control)
{
    auto c = FindControl(control);
    if (!c || c->kind != kControlKindDataBrowser) return nullptr;
    return &g_browsers[c->id];
}

bool Refused(ControlRef browser)
{
    return platform::BrowserChangeRefused(browser);
}

Item* FindItem(Browser* b, DataBrowserItemID id)
{
    for (auto& item : b->items)
        if (item.id == id) return &item;
    return nullptr;
}

bool Visible(Browser* b, const Item& item)
{
    // An item shows when every container above it is open.
    for (DataBrowserItemID up = item.container; up != kDataBrowserNoItem;) {
        Item* parent = FindItem(b, up);
        if (!parent || !parent->open) return false;
        up = parent->container;
    }
    return true;
}

bool Under(Browser* b, const Item& item, DataBrowserItemID container, bool recurse)
{
    if (item.container == container) return true;
    if (!recurse) return false;
    for (DataBrowserItemID up = item.container; up != kDataBrowserNoItem;) {
        Item* parent = FindItem(b, up);
        if (!parent) return false;
        if (parent->container == container) return true;
        up = parent->container;
    }
    return false;
}

void Notify(ControlRef control, Browser* b, DataBrowserItemID id, DataBrowserItemNotification message)
{
    if (auto proc = b->callbacks.v1.itemNotificationCallback) proc(control, id, message);
}

void RemoveUnder(Browser* b, DataBrowserItemID container)
{
    std::vector<DataBrowserItemID> gone;
    for (const auto& item : b->items)
        if (item.container == container) gone.push_back(item.id);
    for (DataBrowserItemID id : gone) {
        RemoveUnder(b, id);
        std::erase_if(b->items, [id](const Item& i) { return i.id == id; });
    }
}

}  // namespace

namespace platform::toolbox {

void BrowserDisposing(ControlRef control)
{
    if (auto c = FindControl(control)) g_browsers.erase(c->id);
}

}  // namespace platform::toolbox

DataBrowserItemDataUPP NewDataBrowserItemDataUPP(DataBrowserItemDataProcPtr proc)
{
    return proc;
}
DataBrowserItemNotificationUPP NewDataBrowserItemNotificationUPP(DataBrowserItemNotificationProcPtr proc)
{
    return proc;
}
DataBrowserItemCompareUPP NewDataBrowserItemCompareUPP(DataBrowserItemCompareProcPtr proc)
{
    return proc;
}
void DisposeDataBrowserItemDataUPP(DataBrowserItemDataUPP) {}
void DisposeDataBrowserItemNotificationUPP(DataBrowserItemNotificationUPP) {}
void DisposeDataBrowserItemCompareUPP(DataBrowserItemCompareUPP) {}

OSStatus CreateDataBrowserControl(WindowRef window, const Rect* bounds, DataBrowserViewStyle style, ControlRef* out)
{
    if (!bounds || !out || style != kDataBrowserListView) return paramErr;
    OSStatus status = NewControlIn(window, kControlKindDataBrowser, *bounds, "", out);
    if (status == noErr) g_browsers[reinterpret_cast<uintptr_t>(*out)] = Browser{};
    return status;
}

OSStatus InitDataBrowserCallbacks(DataBrowserCallbacks* callbacks)
{
    if (!callbacks) return paramErr;
    *callbacks = DataBrowserCallbacks{};
    return noErr;
}

OSStatus SetDataBrowserCallbacks(ControlRef browser, const DataBrowserCallbacks* callbacks)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    if (!callbacks) return paramErr;
    b->callbacks = *callbacks;
    return noErr;
}

OSStatus AddDataBrowserListViewColumn(ControlRef browser, DataBrowserListViewColumnDesc* column,
                                      DataBrowserTableViewColumnIndex position)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    if (!column) return paramErr;
    if (Refused(browser)) return paramErr;
    for (const auto& c : b->columns)
        if (c.property == column->propertyDesc.propertyID) return paramErr;
    platform::BrowserColumn c;
    c.property = column->propertyDesc.propertyID;
    c.type = column->propertyDesc.propertyType;
    c.flags = column->propertyDesc.propertyFlags;
    c.minimumWidth = column->headerBtnDesc.minimumWidth;
    c.maximumWidth = column->headerBtnDesc.maximumWidth;
    c.title = Utf8(column->headerBtnDesc.titleString);
    c.font = column->headerBtnDesc.btnFontStyle;
    if (position >= b->columns.size())
        b->columns.push_back(c);
    else
        b->columns.insert(b->columns.begin() + position, c);
    return noErr;
}

OSStatus RemoveDataBrowserTableViewColumn(ControlRef browser, DataBrowserPropertyID column)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    auto it = std::find_if(b->columns.begin(), b->columns.end(), [&](const auto& c) { return c.property == column; });
    if (it == b->columns.end()) return paramErr;
    b->columns.erase(it);
    return noErr;
}

OSStatus SetDataBrowserListViewDisclosureColumn(ControlRef browser, DataBrowserPropertyID column, bool)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    b->disclosure = column;
    return noErr;
}

OSStatus AddDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                             const DataBrowserItemID* items, DataBrowserPropertyID)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    if (numItems && !items) return paramErr;
    if (Refused(browser)) return paramErr;
    if (container != kDataBrowserNoItem && !FindItem(b, container)) return errDataBrowserItemNotFound;
    for (UInt32 i = 0; i < numItems; ++i) {
        // An id already present stays where it is, as the system keeps one item per id.
        if (items[i] == kDataBrowserNoItem || FindItem(b, items[i])) continue;
        b->items.push_back(Item{items[i], container});
    }
    return noErr;
}

OSStatus RemoveDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                                const DataBrowserItemID* items, DataBrowserPropertyID)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    if (Refused(browser)) return paramErr;
    if (numItems == 0 || !items) {
        RemoveUnder(b, container);
        return noErr;
    }
    for (UInt32 i = 0; i < numItems; ++i) {
        RemoveUnder(b, items[i]);
        std::erase_if(b->items, [&](const Item& item) { return item.id == items[i]; });
    }
    return noErr;
}

OSStatus UpdateDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                                const DataBrowserItemID* items, DataBrowserPropertyID, DataBrowserPropertyID)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    if (numItems && !items) return paramErr;
    if (container != kDataBrowserNoItem && !FindItem(b, container)) return errDataBrowserItemNotFound;
    for (UInt32 i = 0; i < numItems; ++i)
        if (!FindItem(b, items[i])) return errDataBrowserItemNotFound;
    return noErr;
}

OSStatus SetDataBrowserSelectedItems(ControlRef browser, UInt32 numItems, const DataBrowserItemID* items,
                                     DataBrowserSetOption operation)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    if (numItems && !items) return paramErr;
    std::vector<DataBrowserItemID> named(items, items + numItems);
    const DataBrowserSelectionFlags flags = b->look.selectionFlags;
    if ((flags & kDataBrowserSelectOnlyOne) && operation != kDataBrowserItemsRemove) {
        // The last item named that exists is the one selection.
        DataBrowserItemID last = kDataBrowserNoItem;
        for (DataBrowserItemID id : named)
            if (FindItem(b, id)) last = id;
        named.clear();
        if (last != kDataBrowserNoItem) named.push_back(last);
        if (last != kDataBrowserNoItem && !(operation == kDataBrowserItemsToggle && FindItem(b, last)->selected))
            operation = kDataBrowserItemsAssign;
    }
    // Assigning, or removing with no items named, clears the selection.
    const bool clearFirst =
        operation == kDataBrowserItemsAssign || (operation == kDataBrowserItemsRemove && named.empty());
    std::vector<bool> selected;
    for (const auto& item : b->items) selected.push_back(!clearFirst && item.selected);
    for (DataBrowserItemID id : named) {
        for (size_t i = 0; i < b->items.size(); ++i) {
            if (b->items[i].id != id) continue;
            if (operation == kDataBrowserItemsRemove)
                selected[i] = false;
            else if (operation == kDataBrowserItemsToggle)
                selected[i] = !selected[i];
            else
                selected[i] = true;
        }
    }
    const auto any = [](const auto& range, auto pick) { return std::any_of(range.begin(), range.end(), pick); };
    if ((flags & kDataBrowserNeverEmptySelectionSet) && !any(selected, [](bool on) { return on; }) &&
        any(b->items, [](const Item& item) { return item.selected; }))
        return noErr;
    std::vector<DataBrowserItemID> selectedNow;
    for (size_t i = 0; i < b->items.size(); ++i) {
        if (selected[i] && !b->items[i].selected) selectedNow.push_back(b->items[i].id);
        b->items[i].selected = selected[i];
    }
    for (DataBrowserItemID id : selectedNow) Notify(browser, b, id, kDataBrowserItemSelected);
    return noErr;
}

namespace {

template <class Change>
OSStatus ChangeLook(ControlRef browser, Change change)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    change(b->look);
    return noErr;
}

}  // namespace

OSStatus SetDataBrowserSelectionFlags(ControlRef browser, DataBrowserSelectionFlags flags)
{
    return ChangeLook(browser, [&](platform::BrowserLook& look) { look.selectionFlags = flags; });
}

OSStatus SetDataBrowserListViewHeaderBtnHeight(ControlRef browser, UInt16 height)
{
    return ChangeLook(browser, [&](platform::BrowserLook& look) { look.headerHeight = height; });
}

OSStatus SetDataBrowserTableViewHiliteStyle(ControlRef browser, DataBrowserTableViewHiliteStyle style)
{
    return ChangeLook(browser, [&](platform::BrowserLook& look) { look.hiliteStyle = style; });
}

OSStatus GetDataBrowserItems(ControlRef browser, DataBrowserItemID container, bool recurse, DataBrowserItemState state,
                             std::vector<DataBrowserItemID>* items)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    if (!items) return paramErr;
    items->clear();
    for (const auto& item : b->items) {
        if (!Under(b, item, container, recurse)) continue;
        bool counts =
            state == kDataBrowserItemNoState || state == kDataBrowserItemAnyState ||
            (state == kDataBrowserItemIsSelected && item.selected) ||
            (state == kDataBrowserContainerIsOpen && item.container != kDataBrowserNoItem && Visible(b, item));
        if (counts) items->push_back(item.id);
    }
    return noErr;
}

OSStatus GetDataBrowserItemCount(ControlRef browser, DataBrowserItemID container, bool recurse,
                                 DataBrowserItemState state, UInt32* count)
{
    std::vector<DataBrowserItemID> items;
    OSStatus status = GetDataBrowserItems(browser, container, recurse, state, &items);
    if (status != noErr) return status;
    if (!count) return paramErr;
    // Items with no state are those at the root level; nested ones count
    // under their open containers.
    if (state == kDataBrowserItemNoState) {
        Browser* b = Find(browser);
        std::erase_if(items, [&](DataBrowserItemID id) { return FindItem(b, id)->container != kDataBrowserNoItem; });
    }
    *count = static_cast<UInt32>(items.size());
    return noErr;
}

OSStatus OpenDataBrowserContainer(ControlRef browser, DataBrowserItemID container)
{
    Browser* b = Find(browser);
    if (!b) return errUnknownControl;
    Item* item = FindItem(b, container);
    if (!item) return errDataBrowserItemNotFound;
    if (item->open) return noErr;
    item->open = true;
    Notify(browser, b, container, kDataBrowserContainerOpened);
    return noErr;
}

OSStatus SetDataBrowserItemDataText(DataBrowserItemDataRef itemData, CFStringRef text)
{
    if (!itemData || !text) return paramErr;
    itemData->text = Utf8(text);
    itemData->hasText = true;
    return noErr;
}

OSStatus SetDataBrowserItemDataBooleanValue(DataBrowserItemDataRef itemData, bool value)
{
    if (!itemData) return paramErr;
    itemData->boolean = value;
    return noErr;
}

OSStatus SetDataBrowserItemDataIcon(DataBrowserItemDataRef itemData, IconRef icon)
{
    if (!itemData) return paramErr;
    itemData->icon = icon;
    return noErr;
}

namespace platform {

std::vector<BrowserColumn> BrowserColumns(ControlRef browser)
{
    Browser* b = Find(browser);
    return b ? b->columns : std::vector<BrowserColumn>();
}

std::string BrowserCellText(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property,
                            OSStatus* status)
{
    Browser* b = Find(browser);
    OpaqueDataBrowserItemData data;
    OSStatus result = errDataBrowserPropertyNotSupported;
    if (b && b->callbacks.v1.itemDataCallback)
        result = b->callbacks.v1.itemDataCallback(browser, item, property, &data, false);
    if (status) *status = result;
    return data.text;
}

bool BrowserCellIsContainer(ControlRef browser, DataBrowserItemID item)
{
    Browser* b = Find(browser);
    OpaqueDataBrowserItemData data;
    if (b && b->callbacks.v1.itemDataCallback)
        b->callbacks.v1.itemDataCallback(browser, item, kDataBrowserItemIsContainerProperty, &data, false);
    return data.boolean;
}

std::vector<DataBrowserItemID> BrowserItems(ControlRef browser, DataBrowserItemID container)
{
    std::vector<DataBrowserItemID> out;
    GetDataBrowserItems(browser, container, false, kDataBrowserItemAnyState, &out);
    return out;
}

std::vector<DataBrowserItemID> BrowserSorted(ControlRef browser, DataBrowserPropertyID property)
{
    std::vector<DataBrowserItemID> out = BrowserItems(browser, kDataBrowserNoItem);
    Browser* b = Find(browser);
    if (!b || !b->callbacks.v1.itemCompareCallback) return out;
    auto less = b->callbacks.v1.itemCompareCallback;
    std::stable_sort(out.begin(), out.end(), [&](DataBrowserItemID x, DataBrowserItemID y) {
        // A strict order for the sort: x before y only when y is not also before x.
        return less(browser, x, y, property) && !less(browser, y, x, property);
    });
    return out;
}

BrowserLook BrowserLookOf(ControlRef browser)
{
    Browser* b = Find(browser);
    return b ? b->look : BrowserLook{};
}

DataBrowserPropertyID BrowserDisclosureColumn(ControlRef browser)
{
    Browser* b = Find(browser);
    return b ? b->disclosure : 0;
}

}  // namespace platform
