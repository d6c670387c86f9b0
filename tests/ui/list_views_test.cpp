#include "ui/list_views.h"

#include "controls_fixture.h"
#include "support/toolbox_log.h"

namespace tavrel_test {
namespace {

class ListTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenNew(window_));
        ASSERT_TRUE(list_.Create(&window_, FourCC("lLst"), Rect{10, 10, 200, 300}));
    }

    int Row(const char* text, int at = 1000)
    {
        CListItemInfo info;
        info.mask = text ? kListItemText : 0;
        info.text = const_cast<char*>(text);
        info.row = at;
        return list_.AddRow(info);
    }
    int Column(int at, const char* title = nullptr, UInt32 flags = 0, SInt32 width = 0)
    {
        CListColumnInfo info;
        info.flags = flags | (title ? kListColumnHasTitle : 0);
        info.title = title;
        info.width = width;
        return list_.AddColumn(at, info);
    }
    std::string Cell(int row, int column)
    {
        char text[64] = "unset";
        CListItemInfo info;
        info.mask = kListItemText;
        info.row = row;
        info.column = column;
        info.text = text;
        info.textSize = sizeof text;
        return list_.GetItem(info) ? text : "missing";
    }
    // What the browser shows, read through the list's callback.
    std::vector<std::string> Shown(DataBrowserPropertyID property)
    {
        std::vector<std::string> out;
        for (DataBrowserItemID id : platform::BrowserItems(list_.GetControlRef(), kDataBrowserNoItem))
            out.push_back(platform::BrowserCellText(list_.GetControlRef(), id, property));
        std::sort(out.begin(), out.end());  // item order is the browser's, not the rows'
        return out;
    }

    // A browser of the window, standing for a nib control to bind.
    ControlRef BoundBrowser(OSType signature)
    {
        ControlRef browser = nullptr;
        Rect r{210, 10, 290, 300};
        if (CreateDataBrowserControl(window_.GetWindow(), &r, kDataBrowserListView, &browser) != noErr) return nullptr;
        ControlID id{signature, 20000};
        SetControlID(browser, &id);
        return browser;
    }

    NoteWindow window_;
    CListControl list_;
};

TEST_F(ListTest, ColumnsGiveEveryRowACell)
{
    Column(0, "Name");
    for (const char* text : {"a", "b", "c"}) Row(text);
    EXPECT_EQ(Column(5, "Size"), 1);  // past the end appends
    EXPECT_EQ(Cell(2, 1), "");
    EXPECT_EQ(Column(0, "Kind"), 0);  // inserted first: the cells move right
    EXPECT_EQ(Cell(0, 0), "");
    EXPECT_EQ(Cell(0, 1), "a");
    EXPECT_EQ(Cell(2, 1), "c");
    EXPECT_EQ(Cell(2, 3), "missing");
    std::vector<std::string> titles;
    for (const auto& c : platform::BrowserColumns(list_.GetControlRef())) {
        titles.push_back(c.title);
        EXPECT_EQ(c.property, titles.size());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Kind", "Name", "Size"}));
    EXPECT_EQ(Shown(2), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(ListTest, RowsInsertAndRenumber)
{
    Column(0, "Name");
    for (const char* text : {"b", "c", "d"}) Row(text);
    EXPECT_EQ(Row("a", 0), 0);
    EXPECT_EQ(Row("z", 99), 4);
    EXPECT_EQ(Row("y", -2), 0);  // a negative index puts the row first
    const char* expected[] = {"y", "a", "b", "c", "d", "z"};
    for (DataBrowserItemID id = 1; id <= 6; ++id)
        EXPECT_EQ(platform::BrowserCellText(list_.GetControlRef(), id, 1), expected[id - 1]) << id;
    EXPECT_EQ(list_.GetRowCount(), 6);
    EXPECT_TRUE(list_.RemoveAll());
    EXPECT_EQ(list_.GetRowCount(), 0);
}

TEST_F(ListTest, HeaderWidthAndTitles)
{
    struct Case {
        const char* title;
        UInt32 flags;
        SInt32 width;
        const char* shown;
        UInt16 maximum;
    };
    const Case cases[] = {
        {"Plain", 0, 0, "Plain", 100},
        {"Wide", kListColumnHasWidth, 0x12345, "Wide", 0x2345},
        {"100%%", 0, 0, "100%", 100},
        {"%s%n%d", 0, 0, "%s%n%d", 100},  // never a format
    };
    for (const Case& c : cases) Column(1000, c.title, c.flags, c.width);
    auto columns = platform::BrowserColumns(list_.GetControlRef());
    ASSERT_EQ(columns.size(), std::size(cases));
    for (size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(columns[i].title, cases[i].shown);
        EXPECT_EQ(columns[i].maximumWidth, cases[i].maximum);
        EXPECT_EQ(columns[i].flags, 0x70000u);
        EXPECT_EQ(columns[i].font.size, 10);
    }
}

TEST_F(ListTest, SortsByteWiseWithEmptyCellsFirst)
{
    Column(0, "Name");
    for (const char* text : std::initializer_list<const char*>{"beta", "Alpha", nullptr, "alpha", "Zed"}) Row(text);
    std::vector<std::string> sorted;
    for (DataBrowserItemID id : platform::BrowserSorted(list_.GetControlRef(), 1))
        sorted.push_back(Cell(static_cast<int>(id) - 1, 0));
    EXPECT_EQ(sorted, (std::vector<std::string>{"", "Alpha", "Zed", "alpha", "beta"}));
}

CListItemInfo g_selected;
int g_selections = 0;
void NoteSelection(intptr_t info)
{
    ++g_selections;
    g_selected = info ? *reinterpret_cast<CListItemInfo*>(info) : CListItemInfo{0, -1, -1};
}

TEST_F(ListTest, SelectionIsReportedByRow)
{
    Column(0, "Name");
    for (const char* text : {"a", "b", "c"}) Row(text);
    EXPECT_EQ(list_.GetSelection(), -1);
    g_selections = 0;
    list_.selectionChanged.Connect(Callback::BindFunction(NoteSelection));
    EXPECT_TRUE(list_.SetSelection(2, true));
    EXPECT_EQ(list_.GetSelection(), 2);
    EXPECT_EQ(g_selections, 1);
    EXPECT_EQ(g_selected.row, 2);
    EXPECT_EQ(g_selected.column, 0);
    list_.SetSelection(0, false);
    EXPECT_EQ(list_.GetSelection(), -1);
    list_.OnItemNotification(9, kDataBrowserItemSelected);
    EXPECT_EQ(g_selections, 2);
    EXPECT_EQ(g_selected.row, -1);  // emitted with null
}

TEST_F(ListTest, SelectionStaysOnItsItemWhenRowsGoInAbove)
{
    Column(0, "Name");
    for (const char* text : {"beta", "alpha", "gamma"}) Row(text);
    g_selections = 0;
    list_.selectionChanged.Connect(Callback::BindFunction(NoteSelection));
    user_.ChooseListRow(FakeUser::Front(), FourCC("lLst"), 20000, 2).Play();
    ASSERT_EQ(list_.GetSelection(), 2);
    ASSERT_EQ(g_selections, 1);
    const struct {
        const char* text;
        int at;
        int selected;  // the row "gamma" stands in afterwards
    } cases[] = {{"first", 0, 3}, {"last", 99, 3}, {"middle", 3, 4}, {"above", 1, 5}};
    for (const auto& c : cases) {
        Row(c.text, c.at);
        EXPECT_EQ(list_.GetSelection(), c.selected) << c.text;
        EXPECT_EQ(Cell(list_.GetSelection(), 0), "gamma") << c.text;
    }
    EXPECT_EQ(g_selections, 1);  // the item never changed
}

TEST_F(ListTest, SelectionFlagsKeepOneAndNeverNone)
{
    Column(0, "Name");
    for (const char* text : {"a", "b", "c"}) Row(text);
    struct Case {
        DataBrowserSelectionFlags flags;
        std::vector<DataBrowserItemID> named;
        DataBrowserSetOption operation;
        std::vector<DataBrowserItemID> after;  // from item 1 selected
    };
    constexpr auto kOne = kDataBrowserSelectOnlyOne;
    constexpr auto kNeverNone = kDataBrowserNeverEmptySelectionSet;
    const Case cases[] = {
        {0, {2, 3}, kDataBrowserItemsAdd, {1, 2, 3}},
        {kOne, {2, 3}, kDataBrowserItemsAdd, {3}},
        {kOne, {3, 9}, kDataBrowserItemsAssign, {3}},  // a missing item is not the one kept
        {kOne, {1}, kDataBrowserItemsToggle, {}},
        {kOne | kNeverNone, {1}, kDataBrowserItemsToggle, {1}},
        {kNeverNone, {}, kDataBrowserItemsRemove, {1}},
        {kNeverNone, {9}, kDataBrowserItemsAssign, {1}},
        {kNeverNone, {1}, kDataBrowserItemsRemove, {1}},
        {0, {1}, kDataBrowserItemsRemove, {}},
    };
    ControlRef browser = list_.GetControlRef();
    for (const Case& c : cases) {
        SetDataBrowserSelectionFlags(browser, 0);
        const DataBrowserItemID first = 1;
        SetDataBrowserSelectedItems(browser, 1, &first, kDataBrowserItemsAssign);
        SetDataBrowserSelectionFlags(browser, c.flags);
        EXPECT_EQ(SetDataBrowserSelectedItems(browser, UInt32(c.named.size()), c.named.data(), c.operation), noErr);
        std::vector<DataBrowserItemID> after;
        GetDataBrowserItems(browser, kDataBrowserNoItem, false, kDataBrowserItemIsSelected, &after);
        std::sort(after.begin(), after.end());
        EXPECT_EQ(after, c.after) << c.flags << " " << c.operation;
    }
}

TEST_F(ListTest, CellsAreReadSafely)
{
    Column(0, "Name");
    Column(1, "Size");
    Row("abcdef");
    CListItemInfo set;
    set.mask = kListItemText | kListItemValue;
    set.row = 0;
    set.column = 1;
    set.text = const_cast<char*>("12 KB");
    set.value = 77;
    EXPECT_TRUE(list_.SetItem(set));
    set.column = 2;
    EXPECT_FALSE(list_.SetItem(set));
    set.column = -1;
    EXPECT_FALSE(list_.SetItem(set));

    char small[4] = "xyz";
    CListItemInfo get;
    get.mask = kListItemText | kListItemValue;
    get.text = small;
    get.textSize = sizeof small;
    ASSERT_TRUE(list_.GetItem(get));
    EXPECT_STREQ(small, "abc");  // cut to the buffer and ended
    get.column = 1;
    get.textSize = 0;  // no room: nothing written
    ASSERT_TRUE(list_.GetItem(get));
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(get.value, 77);

    // Property ids count from 1: none below names a cell.
    EXPECT_EQ(list_.FindCell(1, 0), nullptr);
    EXPECT_EQ(list_.FindCell(1, static_cast<DataBrowserPropertyID>(-1)), nullptr);
    EXPECT_NE(list_.FindCell(1, 2), nullptr);
    OSStatus status = noErr;
    EXPECT_EQ(platform::BrowserCellText(list_.GetControlRef(), 1, 2, &status), "12 KB");
    EXPECT_EQ(status, errDataBrowserPropertyNotSupported);  // cells stay read-only
}

TEST_F(ListTest, RefusedBrowserLeavesTheModel)
{
    Column(0, "Name");
    Row("a");
    platform::FailNextBrowserChange(list_.GetControlRef());
    EXPECT_EQ(Column(1, "Size"), -1);
    EXPECT_EQ(list_.GetColumnCount(), 1);
    platform::FailNextBrowserChange(list_.GetControlRef());
    EXPECT_EQ(Row("b"), -1);
    platform::FailNextBrowserChange(list_.GetControlRef());
    EXPECT_FALSE(list_.RemoveAll());
    EXPECT_EQ(Cell(0, 0), "a");
    EXPECT_EQ(Cell(1, 0), "missing");
}

TEST_F(ListTest, BrowserOutlivingItsListCallsNothing)
{
    ControlRef browser = BoundBrowser(FourCC("lNib"));
    ASSERT_NE(browser, nullptr);
    {
        CListControl list;
        ASSERT_TRUE(window_.AttachControl(FourCC("lNib"), &list));
        CListColumnInfo column;
        list.AddColumn(0, column);
        CListItemInfo row;
        row.mask = kListItemText;
        row.text = const_cast<char*>("gone");
        list.AddRow(row);
        EXPECT_EQ(platform::BrowserCellText(browser, 1, 1), "gone");
    }
    EXPECT_EQ(platform::BrowserCellText(browser, 1, 1), "");
    EXPECT_EQ(platform::BrowserSorted(browser, 1).size(), 0u);  // its rows went with it
}

class NoteTree : public CTreeListControl {
public:
    std::vector<intptr_t> selected;
    void OnSelectNode(intptr_t value) override { selected.push_back(value); }
};

TEST_F(ListTest, TreeShowsChildrenWhenANodeOpens)
{
    ControlRef browser = BoundBrowser(FourCC("tTre"));
    ASSERT_NE(browser, nullptr);
    NoteTree tree;
    ASSERT_TRUE(window_.AttachControl(FourCC("tTre"), &tree));
    EXPECT_EQ(platform::BrowserDisclosureColumn(browser), CTreeListControl::kColumn);
    CTreeNode* fonts = tree.AddNode(nullptr, "Fonts", -1, 10);
    CTreeNode* serif = tree.AddNode(fonts, "Serif", -1, 11);
    tree.AddNode(fonts, "Sans", -1, 12);
    CTreeNode* leaf = tree.AddNode(nullptr, "Leaf", -1, 20);
    EXPECT_TRUE(platform::BrowserItems(browser, fonts->id).empty());
    EXPECT_TRUE(platform::BrowserCellIsContainer(browser, fonts->id));
    EXPECT_FALSE(platform::BrowserCellIsContainer(browser, leaf->id));

    ASSERT_EQ(OpenDataBrowserContainer(browser, fonts->id), noErr);
    auto children = platform::BrowserItems(browser, fonts->id);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(platform::BrowserCellText(browser, children[0], CTreeListControl::kColumn), "Serif");

    SetDataBrowserSelectedItems(browser, 1, &serif->id, kDataBrowserItemsAssign);
    tree.SetMute(true);
    SetDataBrowserSelectedItems(browser, 1, &leaf->id, kDataBrowserItemsAssign);
    EXPECT_EQ(tree.selected, std::vector<intptr_t>{11});
    EXPECT_EQ(tree.GetSelectedItem(), leaf->id);
    EXPECT_TRUE(tree.RemoveAll());
    EXPECT_TRUE(platform::BrowserItems(browser, kDataBrowserNoItem).empty());
}

}  // namespace
}  // namespace tavrel_test
