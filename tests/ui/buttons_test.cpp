#include "ui/buttons.h"

#include <memory>

#include "controls_fixture.h"
#include "platform/toolbox_menus.h"
#include "support/toolbox_log.h"

namespace tavrel_test {
namespace {

using ButtonsTest = ControlsTest;

TEST(ColorConversion, WidensAndNarrowsEachChannel)
{
    struct Case {
        uint32_t packed;
        RGBColor rgb;
    };
    const Case widen[] = {
        {0x00FF8000, {0, 0x8080, 0xFFFF}},
        {0x00FFFFFF, {0xFFFF, 0xFFFF, 0xFFFF}},
        {0x00000001, {0x0101, 0, 0}},
        {0xFF000000, {0, 0, 0}},  // the top byte is not a channel
    };
    for (const Case& c : widen) {
        RGBColor out;
        ColorToRGBColor(c.packed, &out);
        EXPECT_EQ(std::tie(out.red, out.green, out.blue), std::tie(c.rgb.red, c.rgb.green, c.rgb.blue)) << c.packed;
    }
    EXPECT_EQ(RGBColorToColor({0xFFFF, 0x8000, 0}), 0x00007FFFu);
    EXPECT_EQ(RGBColorToColor({0x0101, 0x0100, 0xFFFE}), 0x00FE0001u);  // truncated, not rounded
}

// Layout stacks controls by these heights: only the push button is a point
// taller; the bevel buttons keep the control's own height.
TEST(ButtonHeights, OnlyPushButtonsAre17)
{
    struct Case {
        const char* kind;
        std::unique_ptr<CControl> control;
        int height;
    };
    Case cases[] = {
        {"push button", std::make_unique<CPushButton>(), 17},
        {"bevel menu button", std::make_unique<CBevelMenuButton>(), 16},
        {"colour swatch", std::make_unique<CColorSwatch>(), 16},
        {"colour well", std::make_unique<CColorWell>(), 16},
        {"check box", std::make_unique<CCheckBox>(), 16},
        {"plain control", std::make_unique<CControl>(), 16},
    };
    for (Case& c : cases) {
        EXPECT_EQ(c.control->GetDefaultHeight(), c.height) << c.kind;
        EXPECT_EQ(c.control->GetHorzSpacing(), 8) << c.kind;
        EXPECT_EQ(c.control->GetVertSpacing(), 8) << c.kind;
    }
}

TEST_F(ButtonsTest, SwatchTakesThePickersColourAndShowsIt)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CColorSwatch swatch;
    ASSERT_TRUE(swatch.Create(&window, FourCC("cSwt"), Rect{10, 10, 30, 50}, ""));
    EXPECT_EQ(swatch.GetColor(), 0u);

    user_.PickColor({0xFFFF, 0x8000, 0}).Click(FakeUser::Front(), 20, 20);
    user_.CancelColorPicker().Click(FakeUser::Front(), 20, 20).Play();
    EXPECT_EQ(swatch.GetColor(), 0x00007FFFu);  // the cancel kept it
    EXPECT_EQ(window.Count("command cSwt"), 2);
    const auto& prompts = platform::PromptLog();
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_EQ(prompts[0].title, "Choose a color");
    EXPECT_EQ(prompts[1].message, "FFFF 7F7F 0000");  // the second picker starts from the first choice

    // The button shows the colour as a solid fill over its whole face.
    EXPECT_EQ(WindowPixel(window.GetWindow(), 10, 10), 0xFF7F00u);
    EXPECT_EQ(WindowPixel(window.GetWindow(), 49, 29), 0xFF7F00u);
    EXPECT_EQ(WindowPixel(window.GetWindow(), 50, 29), 0u);
    ControlButtonContentInfo content;
    GetControlData(swatch.GetControlRef(), kControlButtonContentTag, kControlBevelButtonContentTag, sizeof content,
                   &content, nullptr);
    ASSERT_EQ(content.contentType, kControlContentPictHandle);
    RGBColor fill;
    ASSERT_TRUE(platform::PictureFill(content.u.picture, &fill));
    EXPECT_EQ(RGBColorToColor(fill), 0x00007FFFu);

    // Each colour replaces the picture; the old one is gone.
    swatch.SetColor(0x000000FF, false);
    EXPECT_FALSE(platform::IsLivePicture(content.u.picture));
}

TEST_F(ButtonsTest, HiddenSwatchIsNotDrawnButAWellAlwaysIs)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNib(window, "IDD_CTL"));
    CColorSwatch swatch;
    ASSERT_TRUE(swatch.Create(&window, FourCC("cSwt"), Rect{10, 10, 30, 50}, ""));
    swatch.Hide();
    int before = platform::ControlDrawCount(swatch.GetControlRef());
    swatch.SetColor(0x00FF0000, true);
    EXPECT_EQ(platform::ControlDrawCount(swatch.GetControlRef()), before);

    CColorWell well;
    ASSERT_TRUE(window.AttachControl(FourCC("cWel"), &well));
    EXPECT_EQ(platform::ControlDrawCount(well.GetControlRef()), 1);  // shown when bound
    HideControl(well.GetControlRef());
    well.SetColor(0x0000FF00, true);
    EXPECT_EQ(platform::ControlDrawCount(well.GetControlRef()), 2);
}

intptr_t g_lastCommand = -1;
int g_commands = 0;
void NoteCommand(intptr_t command)
{
    g_lastCommand = command;
    ++g_commands;
}

MenuRef MenuWith(MenuID id, const std::vector<std::pair<const char*, MenuCommand>>& items)
{
    MenuRef menu = NewMenu(id, nullptr);
    for (const auto& [text, command] : items) {
        CCFString title(text);
        AppendMenuItemTextWithCFString(menu, title, 0, command, nullptr);
    }
    return menu;
}

TEST_F(ButtonsTest, BevelMenuEmitsTheChosenItemsCommandOnce)
{
    struct Case {
        const char* name;
        int item, subItem;
        intptr_t expected;
    };
    const Case cases[] = {
        {"top-level item", 1, 0, FourCC("one ")},
        {"submenu item, not the top item of that index", 2, 1, FourCC("subA")},
        {"another submenu item", 2, 3, FourCC("subC")},
        {"item without a command", 3, 0, 0},
        // A submenu item without a command is not taken for the top item of its index.
        {"submenu item without a command", 2, 2, 0},
    };
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CBevelMenuButton button;
    ASSERT_TRUE(button.Create(&window, FourCC("bMnu"), Rect{10, 10, 30, 60}, "Actions"));
    MenuRef menu = MenuWith(100, {{"One", FourCC("one ")}, {"Sub", FourCC("topB")}, {"None", 0}});
    MenuRef sub = MenuWith(200, {{"A", FourCC("subA")}, {"B", 0}, {"C", FourCC("subC")}});
    SetMenuItemHierarchicalMenu(menu, 2, sub);
    EXPECT_EQ(button.SetMenu(&menu), nullptr);
    button.commandSignal.Connect(Callback::BindFunction(NoteCommand));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_commands = 0;
        g_lastCommand = -1;
        window.log.clear();
        user_.ChoosePopupItem(c.item, c.subItem).Click(FakeUser::Front(), 20, 20).Play();
        EXPECT_EQ(g_commands, 1);
        EXPECT_EQ(g_lastCommand, c.expected);
        EXPECT_EQ(window.Count("command bMnu"), 1);
    }
    DisposeMenu(sub);
}

TEST_F(ButtonsTest, CheckBoxTogglesAndPushButtonRetitles)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CCheckBox box;
    ASSERT_TRUE(box.Create(&window, FourCC("cBox"), Rect{10, 10, 28, 110}, "Loop"));
    EXPECT_FALSE(box.GetValue());
    user_.Click(FakeUser::Front(), 20, 15).Play();
    EXPECT_TRUE(box.GetValue());
    box.Toggle(false);
    EXPECT_FALSE(box.GetValue());
    box.SetValue(true, true);
    box.Toggle(true);
    EXPECT_FALSE(box.GetValue());
    EXPECT_EQ(window.Count("command cBox"), 1);

    CPushButton button;
    ASSERT_TRUE(button.Create(&window, FourCC("bGo "), Rect{40, 10, 60, 90}, "Go"));
    EXPECT_EQ(button.GetDefaultHeight(), 17);
    EXPECT_TRUE(button.SetTitle("Stop", false));
    CFStringRef title = nullptr;
    CopyControlTitleAsCFString(button.GetControlRef(), &title);
    EXPECT_EQ(platform::ToUtf8(title), "Stop");
    CFRelease(title);
    button.Dispose();
    EXPECT_FALSE(button.SetTitle("Gone", true));
}

}  // namespace
}  // namespace tavrel_test
