#pragma once
// Stand-in for the Data Browser's list view: columns by property id, items
// by id under containers (0 is the root), a selection, and the item-data,
// notification and compare callbacks, which it calls the way the system
// does: cells are read through the item-data callback, rows are sorted
// through the compare callback, and selecting an item or opening a
// container notifies.
#include <string>
#include <vector>

#include "platform/toolbox_controls.h"

using DataBrowserItemID = UInt32;
using DataBrowserPropertyID = UInt32;
using DataBrowserPropertyType = OSType;
using DataBrowserPropertyFlags = UInt32;
using DataBrowserItemNotification = UInt32;
using DataBrowserItemState = UInt32;
using DataBrowserSetOption = UInt32;
using DataBrowserViewStyle = OSType;
using DataBrowserTableViewColumnIndex = UInt32;
using DataBrowserSortOrder = UInt16;
struct OpaqueDataBrowserItemData;
using DataBrowserItemDataRef = OpaqueDataBrowserItemData*;

constexpr DataBrowserViewStyle kDataBrowserListView = FourCC("lstv");
constexpr DataBrowserPropertyType kDataBrowserTextType = FourCC("text");
constexpr DataBrowserPropertyType kDataBrowserIconAndTextType = FourCC("ticn");
constexpr DataBrowserItemID kDataBrowserNoItem = 0;
constexpr DataBrowserPropertyID kDataBrowserItemNoProperty = 0;
constexpr DataBrowserPropertyID kDataBrowserItemIsContainerProperty = 4;
constexpr DataBrowserItemState kDataBrowserItemNoState = 0;
constexpr DataBrowserItemState kDataBrowserItemAnyState = 0xFFFFFFFF;
constexpr DataBrowserItemState kDataBrowserItemIsSelected = 1;
constexpr DataBrowserItemState kDataBrowserContainerIsOpen = 2;
constexpr DataBrowserSetOption kDataBrowserItemsAdd = 0;
constexpr DataBrowserSetOption kDataBrowserItemsAssign = 1;
constexpr DataBrowserSetOption kDataBrowserItemsToggle = 2;
constexpr DataBrowserSetOption kDataBrowserItemsRemove = 3;
constexpr DataBrowserItemNotification kDataBrowserItemSelected = 5;
constexpr DataBrowserItemNotification kDataBrowserItemDeselected = 6;
constexpr DataBrowserItemNotification kDataBrowserContainerOpened = 8;
constexpr DataBrowserItemNotification kDataBrowserContainerClosed = 9;
constexpr DataBrowserSortOrder kDataBrowserOrderIncreasing = 1;
constexpr DataBrowserTableViewColumnIndex kDataBrowserListViewAppendColumn = 0xFFFFFFFF;
using DataBrowserSelectionFlags = UInt32;
constexpr DataBrowserSelectionFlags kDataBrowserSelectOnlyOne = 2;
constexpr DataBrowserSelectionFlags kDataBrowserResetSelection = 4;
constexpr DataBrowserSelectionFlags kDataBrowserNeverEmptySelectionSet = 64;
using DataBrowserTableViewHiliteStyle = UInt32;
constexpr DataBrowserTableViewHiliteStyle kDataBrowserTableViewFillHilite = 1;
constexpr OSStatus errDataBrowserPropertyNotSupported = -4979;
constexpr OSStatus errDataBrowserItemNotFound = -4971;

using DataBrowserItemDataProcPtr = OSStatus (*)(ControlRef browser, DataBrowserItemID item,
                                                DataBrowserPropertyID property, DataBrowserItemDataRef itemData,
                                                bool setValue);
using DataBrowserItemNotificationProcPtr = void (*)(ControlRef browser, DataBrowserItemID item,
                                                    DataBrowserItemNotification message);
using DataBrowserItemCompareProcPtr = bool (*)(ControlRef browser, DataBrowserItemID itemOne, DataBrowserItemID itemTwo,
                                               DataBrowserPropertyID sortProperty);
using DataBrowserItemDataUPP = DataBrowserItemDataProcPtr;
using DataBrowserItemNotificationUPP = DataBrowserItemNotificationProcPtr;
using DataBrowserItemCompareUPP = DataBrowserItemCompareProcPtr;
DataBrowserItemDataUPP NewDataBrowserItemDataUPP(DataBrowserItemDataProcPtr proc);
DataBrowserItemNotificationUPP NewDataBrowserItemNotificationUPP(DataBrowserItemNotificationProcPtr proc);
DataBrowserItemCompareUPP NewDataBrowserItemCompareUPP(DataBrowserItemCompareProcPtr proc);
void DisposeDataBrowserItemDataUPP(DataBrowserItemDataUPP upp);
void DisposeDataBrowserItemNotificationUPP(DataBrowserItemNotificationUPP upp);
void DisposeDataBrowserItemCompareUPP(DataBrowserItemCompareUPP upp);

struct DataBrowserCallbacks {
    UInt32 version = 0;
    struct {
        DataBrowserItemDataUPP itemDataCallback = nullptr;
        DataBrowserItemCompareUPP itemCompareCallback = nullptr;
        DataBrowserItemNotificationUPP itemNotificationCallback = nullptr;
    } v1;
};

struct DataBrowserPropertyDesc {
    DataBrowserPropertyID propertyID = 0;
    DataBrowserPropertyType propertyType = 0;
    DataBrowserPropertyFlags propertyFlags = 0;
};
struct DataBrowserListViewHeaderDesc {
    UInt32 version = 0;
    UInt16 minimumWidth = 0;
    UInt16 maximumWidth = 0;
    SInt16 titleOffset = 0;
    CFStringRef titleString = nullptr;
    DataBrowserSortOrder initialOrder = kDataBrowserOrderIncreasing;
    ControlFontStyleRec btnFontStyle;
    ControlButtonContentInfo btnContentInfo;
};
struct DataBrowserListViewColumnDesc {
    DataBrowserPropertyDesc propertyDesc;
    DataBrowserListViewHeaderDesc headerBtnDesc;
};

OSStatus CreateDataBrowserControl(WindowRef window, const Rect* bounds, DataBrowserViewStyle style, ControlRef* out);
OSStatus InitDataBrowserCallbacks(DataBrowserCallbacks* callbacks);
OSStatus SetDataBrowserCallbacks(ControlRef browser, const DataBrowserCallbacks* callbacks);
OSStatus AddDataBrowserListViewColumn(ControlRef browser, DataBrowserListViewColumnDesc* column,
                                      DataBrowserTableViewColumnIndex position);
OSStatus RemoveDataBrowserTableViewColumn(ControlRef browser, DataBrowserPropertyID column);
OSStatus SetDataBrowserListViewDisclosureColumn(ControlRef browser, DataBrowserPropertyID column, bool expandableRows);
// numItems 0 (or null items) in a removal means every item of the container.
OSStatus AddDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                             const DataBrowserItemID* items, DataBrowserPropertyID preSortProperty);
OSStatus RemoveDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                                const DataBrowserItemID* items, DataBrowserPropertyID preSortProperty);
OSStatus UpdateDataBrowserItems(ControlRef browser, DataBrowserItemID container, UInt32 numItems,
                                const DataBrowserItemID* items, DataBrowserPropertyID preSortProperty,
                                DataBrowserPropertyID property);
// Removing with no items deselects every item.
OSStatus SetDataBrowserSelectedItems(ControlRef browser, UInt32 numItems, const DataBrowserItemID* items,
                                     DataBrowserSetOption operation);
// State kDataBrowserItemNoState counts every item; kDataBrowserContainerIsOpen
// counts the items of open containers.
OSStatus GetDataBrowserItemCount(ControlRef browser, DataBrowserItemID container, bool recurse,
                                 DataBrowserItemState state, UInt32* count);
OSStatus GetDataBrowserItems(ControlRef browser, DataBrowserItemID container, bool recurse, DataBrowserItemState state,
                             std::vector<DataBrowserItemID>* items);
OSStatus OpenDataBrowserContainer(ControlRef browser, DataBrowserItemID container);
// Only one selected: a later item replaces the earlier; never empty: a
// change that would leave nothing selected leaves the selection as it was.
OSStatus SetDataBrowserSelectionFlags(ControlRef browser, DataBrowserSelectionFlags flags);
OSStatus SetDataBrowserListViewHeaderBtnHeight(ControlRef browser, UInt16 height);
OSStatus SetDataBrowserTableViewHiliteStyle(ControlRef browser, DataBrowserTableViewHiliteStyle style);
OSStatus SetDataBrowserItemDataText(DataBrowserItemDataRef itemData, CFStringRef text);
OSStatus SetDataBrowserItemDataBooleanValue(DataBrowserItemDataRef itemData, bool value);
OSStatus SetDataBrowserItemDataIcon(DataBrowserItemDataRef itemData, IconRef icon);

namespace platform {

struct BrowserColumn {
    DataBrowserPropertyID property = 0;
    DataBrowserPropertyType type = 0;
    DataBrowserPropertyFlags flags = 0;
    UInt16 minimumWidth = 0;
    UInt16 maximumWidth = 0;
    std::string title;  // UTF-8
    ControlFontStyleRec font;
};
std::vector<BrowserColumn> BrowserColumns(ControlRef browser);
// What the item-data callback gives for a cell; *status is its answer.
std::string BrowserCellText(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property,
                            OSStatus* status = nullptr);
bool BrowserCellIsContainer(ControlRef browser, DataBrowserItemID item);
// The container's items in the order added.
std::vector<DataBrowserItemID> BrowserItems(ControlRef browser, DataBrowserItemID container);
// The root's items sorted by the compare callback on a property.
std::vector<DataBrowserItemID> BrowserSorted(ControlRef browser, DataBrowserPropertyID property);
DataBrowserPropertyID BrowserDisclosureColumn(ControlRef browser);
struct BrowserLook {
    DataBrowserSelectionFlags selectionFlags = 0;
    UInt16 headerHeight = 17;
    DataBrowserTableViewHiliteStyle hiliteStyle = 0;
};
BrowserLook BrowserLookOf(ControlRef browser);

}  // namespace platform
