#include "ui/nib_menus.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "platform/gestalt.h"
#include "support/bundle_fixture.h"
#include "support/fake_user.h"
#include "ui/ui_utils.h"

namespace tavrel_test {
namespace {

std::vector<MenuCommand> Commands(SInt16 menuId)
{
    std::vector<MenuCommand> out;
    for (const auto& item : platform::MenuItems(GetMenuHandle(menuId)))
        out.push_back(item.separator ? 0 : item.command);
    return out;
}

// The application's own nib: Quit closes menu 1000 and Preferences menu
// 1001, each below a separator.
TEST(MenuBar, QuitAndPreferencesMoveToTheApplicationMenu)
{
    struct Case {
        int32_t system;
        std::vector<MenuCommand> file;
        std::vector<MenuCommand> edit;
    };
    const std::vector<MenuCommand> file = {FourCC("new "), FourCC("open"), 0, FourCC("save"), FourCC("svas"), 0,
                                           FourCC("mExp"), FourCC("mPub")};
    const std::vector<MenuCommand> edit = {FourCC("cut "), FourCC("copy"), FourCC("past")};
    auto with = [](std::vector<MenuCommand> v, MenuCommand c) {
        v.push_back(0);
        v.push_back(c);
        return v;
    };
    const Case cases[] = {
        {0x1049, file, edit},
        {0x0922, with(file, FourCC("quit")), with(edit, FourCC("pref"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system);
        platform::SetGestaltValue(platform::gestaltSystemVersion, c.system);
        ASSERT_TRUE(LoadMenuBar());
        EXPECT_EQ(Commands(1000), c.file);
        EXPECT_EQ(Commands(1001), c.edit);
    }
    platform::ResetGestalt();
}

TEST(Menu, ItemsAndPopups)
{
    FakeUser user;
    CMenu menu;
    ASSERT_TRUE(menu.Create(300, std::string(300, 't').c_str()));
    EXPECT_EQ(std::strlen(menu.GetTitle()), 255u);
    ASSERT_TRUE(menu.AppendItem(FourCC("one "), "One", 1, 'O'));
    ASSERT_TRUE(menu.AppendSeparator());
    ASSERT_TRUE(menu.AppendItem(FourCC("two "), "Two"));
    ASSERT_TRUE(menu.AppendItem(FourCC("thre"), "Three"));
    EXPECT_EQ(menu.CountItems(), 4);
    auto items = platform::MenuItems(menu.Get());
    EXPECT_EQ(items[0].key, 'O');
    EXPECT_EQ(items[0].modifiers, 1);
    EXPECT_TRUE(items[1].separator);

    EXPECT_TRUE(menu.EnableItem(FourCC("two "), false, false));
    user.ChoosePopupItem(3).ChoosePopupItem(4).ChoosePopupItem(0);
    EXPECT_EQ(menu.Popup(10, 10), 0);  // disabled
    EXPECT_EQ(menu.Popup(10, 10), (300 << 16) | 4);
    EXPECT_EQ(menu.Popup(10, 10), 0);

    EXPECT_TRUE(menu.RemoveItem(FourCC("two "), false));
    EXPECT_FALSE(menu.RemoveItem(FourCC("two "), false));
    EXPECT_TRUE(menu.RemoveItem(0, true));
    EXPECT_FALSE(menu.RemoveItem(5, true));
    EXPECT_EQ(platform::MenuItems(menu.Get()).back().text, "Three");
    EXPECT_TRUE(menu.RemoveAllItems());
    EXPECT_EQ(menu.CountItems(), 0);
    DisposeMenu(menu.Get());
}

TEST(KeyNames, FixedNamesAndTheKeyboardLayout)
{
    const std::pair<UInt16, std::string> cases[] = {
        {126, "Up Arrow"}, {122, "F1"}, {36, "Return"}, {121, "Page Down"},
        {53, "\x1b"},      {0, "a"},    {18, "1"},      {44, "/"},
    };
    for (const auto& [code, name] : cases) {
        char text[12] = "garbage";
        GetKeyName(code, text);
        EXPECT_EQ(text, name) << code;
    }
}

TEST(NumericUtils, EdgeValues)
{
    for (int i = 0; i < 20; ++i) EXPECT_EQ(RandomInRange(5, 5), 5);
    EXPECT_EQ(RandomInRange(4, 5), 5);  // an empty range no longer divides by zero
    int wide = RandomInRange(INT_MAX, INT_MIN);
    (void)wide;  // the full range must not overflow (checked by the sanitizers)

    const struct {
        double t, start, change, duration, expected;
    } eases[] = {{0, 10, 5, 2, 10}, {2, 10, 5, 2, 15}, {1, 0, 4, 2, 3}, {3, 1, 2, 0, 3}};
    for (const auto& e : eases) EXPECT_DOUBLE_EQ(EaseOutQuad(e.t, e.start, e.change, e.duration), e.expected);

    const struct {
        double px, py, x1, y1, x2, y2, expected;
    } distances[] = {
        {0, 5, 0, 0, 10, 0, 5},
        {0, -5, 0, 0, 10, 0, -5},
        {3, 4, 1, 1, 1, 1, std::hypot(2.0, 3.0)},
        {7, 7, 0, 0, 0, 0, std::hypot(7.0, 7.0)},
    };
    for (const auto& d : distances)
        EXPECT_NEAR(PointLineDistance(d.px, d.py, d.x1, d.y1, d.x2, d.y2), d.expected, 1e-6);
}

TEST(Icons, CreatorZeroDrawsADifferentCreatorEachTime)
{
    ScopedBundle bundle("");
    std::filesystem::create_directories(bundle.Resources() + "/main.rsrc/icns");
    WriteFile(bundle.Resources() + "/main.rsrc/icns/128", "icon");
    platform::ResetServices();
    IconRef first = nullptr, second = nullptr, missing = nullptr;
    ASSERT_TRUE(RegisterIconFromResource(128, 0, &first));
    OSType firstCreator = GetLastIconCreator();
    ASSERT_TRUE(RegisterIconFromResource(128, 0, &second));  // same tick
    OSType secondCreator = GetLastIconCreator();
    EXPECT_NE(firstCreator, secondCreator);
    EXPECT_FALSE(RegisterIconFromResource(129, FourCC("abcd"), &missing));
    EXPECT_EQ(platform::Services().icons.size(), 2u);
    EXPECT_TRUE(UnregisterIconFromResource(firstCreator, &first));
    EXPECT_TRUE(UnregisterIconFromResource(secondCreator, &second));
    EXPECT_TRUE(platform::Services().icons.empty());
}

TEST(Help, FileFirstThenTheHelpBook)
{
    ScopedBundle bundle("");
    platform::ResetServices();
    // Without a help file the bundle is registered as a help book, and pages
    // open in it when the bundle names its book.
    EXPECT_TRUE(RegisterHelpBook(CPath(bundle.Path() + "/missing.html")));
    EXPECT_EQ(platform::Services().helpBook, bundle.Path());
    EXPECT_FALSE(ShowHelpPage("index.html", nullptr));
    WriteFile(bundle.Path() + "/Contents/Info.plist",
              "<plist><dict><key>CFBundleHelpBookName</key><string>Tavrel Help</string></dict></plist>");
    EXPECT_TRUE(ShowHelpPage("index.html", "top"));
    EXPECT_TRUE(ShowHelpPage(nullptr, "ignored"));
    EXPECT_EQ(platform::Services().helpPages,
              (std::vector<std::string>{"Tavrel Help|index.html|top", "Tavrel Help||"}));
}

}  // namespace
}  // namespace tavrel_test
