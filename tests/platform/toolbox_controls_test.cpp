#include <gtest/gtest.h>

#include <memory>

#include "platform/quickdraw.h"
#include "platform/toolbox_browser.h"
#include "platform/toolbox_controls.h"
#include "platform/toolbox_menus.h"
#include "platform/toolbox_script.h"

namespace tavrel_test {
namespace {

struct WorldDeleter {
    void operator()(GWorldPtr world) const { DisposeGWorld(world); }
};
using World = std::unique_ptr<GWorld, WorldDeleter>;

World MakeWorld(int width, int height)
{
    GWorldPtr world = nullptr;
    NewGWorld(&world, 32, Rect{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)});
    return World(world);
}

// Each pixel's red high byte, row by row.
std::vector<int> Reds(GWorld& world)
{
    std::vector<int> out;
    for (int v = 0; v < world.Height(); ++v)
        for (int h = 0; h < world.Width(); ++h) out.push_back(world.GetCPixel(h, v).red >> 8);
    return out;
}

TEST(QuickDraw, CopyBitsScalesByNearestNeighbourInsideTheClip)
{
    World src = MakeWorld(2, 2);
    for (int i = 0; i < 4; ++i) src->SetCPixel(i % 2, i / 2, RGBColor{uint16_t((i + 1) * 0x1000), 0, 0});
    struct Case {
        const char* name;
        Rect dst, clip;
        std::vector<int> reds;  // of a 4 × 4 destination
    };
    const Rect all{0, 0, 4, 4};
    const Case cases[] = {
        {"doubled", all, all, {16, 16, 32, 32, 16, 16, 32, 32, 48, 48, 64, 64, 48, 48, 64, 64}},
        {"clipped to the left half", all, Rect{0, 0, 4, 2}, {16, 16, 0, 0, 16, 16, 0, 0, 48, 48, 0, 0, 48, 48, 0, 0}},
        {"shrunk into a corner", Rect{0, 0, 1, 1}, all, {16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"partly outside", Rect{3, 3, 5, 5}, all, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World dst = MakeWorld(4, 4);
        dst->SetClipBounds(c.clip);
        Rect s{0, 0, 2, 2};
        CopyBits(GetPortBitMapForCopyBits(src.get()), GetPortBitMapForCopyBits(dst.get()), &s, &c.dst, srcCopy,
                 nullptr);
        EXPECT_EQ(Reds(*dst), c.reds);
    }
}

TEST(QuickDraw, CopyMaskTakesThePixelsUnderBlack)
{
    World src = MakeWorld(4, 1), mask = MakeWorld(4, 1), dst = MakeWorld(4, 1);
    for (int h = 0; h < 4; ++h) {
        src->SetCPixel(h, 0, RGBColor{0xFFFF, 0, 0});
        mask->SetCPixel(h, 0, h % 2 ? RGBColor{0, 0, 0} : RGBColor{0xFFFF, 0xFFFF, 0xFFFF});
    }
    Rect r{0, 0, 1, 4};
    CopyMask(src.get(), mask.get(), dst.get(), &r, &r, &r);
    EXPECT_EQ(Reds(*dst), (std::vector<int>{0, 255, 0, 255}));
}

TEST(QuickDraw, XorLineTwiceLeavesThePixelsAndPicturesRecordTheirFill)
{
    World world = MakeWorld(8, 8);
    PortSaver saver;
    SetGWorld(world.get());
    RGBColor grey{0x4000, 0x4000, 0x4000};
    RGBForeColor(&grey);
    Rect r{0, 0, 8, 8};
    PaintRect(&r);
    const std::vector<int> before = Reds(*world);
    PenMode(patXor);
    for (int i = 0; i < 2; ++i) {
        MoveTo(0, 0);
        LineTo(7, 5);
        if (i == 0) {
            EXPECT_NE(Reds(*world), before);
        }
    }
    EXPECT_EQ(Reds(*world), before);
    PenMode(patCopy);

    OpenCPicParams params;
    params.srcRect = r;
    PicHandle picture = OpenCPicture(&params);
    RGBColor teal{0, 0x8080, 0x8080};
    RGBBackColor(&teal);
    EraseRect(&r);
    ClosePicture();
    RGBColor fill;
    ASSERT_TRUE(platform::PictureFill(picture, &fill));
    EXPECT_EQ(fill.green, 0x8080);
    KillPicture(picture);
    EXPECT_FALSE(platform::PictureFill(picture, &fill));
}

TEST(ToolboxMenus, PopUpAnswersInASubmenu)
{
    MenuRef top = NewMenu(10, nullptr);
    MenuRef sub = NewMenu(20, nullptr);
    for (const unsigned char* text :
         {reinterpret_cast<const unsigned char*>("\003One"), reinterpret_cast<const unsigned char*>("\003Two")}) {
        AppendMenuItemText(top, text);
        AppendMenuItemText(sub, text);
    }
    ASSERT_EQ(SetMenuItemHierarchicalMenu(top, 2, sub), noErr);
    MenuID id = -1;
    ASSERT_EQ(GetMenuItemHierarchicalID(top, 1, &id), noErr);
    EXPECT_EQ(id, 0);
    ASSERT_EQ(GetMenuItemHierarchicalID(top, 2, &id), noErr);
    EXPECT_EQ(id, 20);
    unsigned char text[256];
    GetMenuItemText(sub, 2, text);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), text[0]), "Two");

    platform::ScriptedAnswer answer;
    answer.kind = platform::PromptKind::PopupMenu;
    answer.item = 2;
    answer.subItem = 1;
    platform::QueueAnswer(answer);
    EXPECT_EQ(PopUpMenuSelect(top, 0, 0, 0), (20 << 16) | 1);
    answer.item = 1;  // no submenu there: nothing chosen
    platform::QueueAnswer(answer);
    EXPECT_EQ(PopUpMenuSelect(top, 0, 0, 0), 0);
    platform::ClearScript();
    DisposeMenu(sub);
    DisposeMenu(top);
}

TEST(ToolboxControls, ScrollBarPartsFollowTheValue)
{
    Rect wr{100, 100, 400, 400};
    WindowRef window = nullptr;
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &wr, &window), noErr);
    ControlRef bar = nullptr;
    Rect r{0, 0, 100, 16};
    ASSERT_EQ(CreateScrollBarControl(window, &r, 0, 0, 10, 10, false, nullptr, &bar), noErr);
    struct Case {
        SInt32 value;
        int v;
        ControlPartCode part;
    };
    // 52 pixels of travel: the thumb starts at 16 + value × 52 / 10.
    for (Case c : {Case{0, 0, 20}, Case{0, 99, 21}, Case{0, 16, 129}, Case{0, 32, 23}, Case{10, 67, 22},
                   Case{10, 68, 129}, Case{10, 84, 21}, Case{5, 41, 22}, Case{5, 42, 129}}) {
        SetControl32BitValue(bar, c.value);
        EXPECT_EQ(TestControl(bar, Point{static_cast<int16_t>(c.v), 8}), c.part) << c.value << "@" << c.v;
    }
    HideControl(bar);
    EXPECT_EQ(TestControl(bar, Point{50, 8}), kControlNoPart);
    DisposeWindow(window);
}

TEST(ToolboxControls, BrowserCountsRowsOfOpenContainers)
{
    Rect wr{100, 100, 400, 400};
    WindowRef window = nullptr;
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &wr, &window), noErr);
    ControlRef browser = nullptr;
    Rect r{0, 0, 100, 100};
    ASSERT_EQ(CreateDataBrowserControl(window, &r, kDataBrowserListView, &browser), noErr);
    const DataBrowserItemID top[] = {1, 2}, children[] = {3, 4}, grandchild[] = {5};
    ASSERT_EQ(AddDataBrowserItems(browser, 0, 2, top, 0), noErr);
    ASSERT_EQ(AddDataBrowserItems(browser, 1, 2, children, 0), noErr);
    ASSERT_EQ(AddDataBrowserItems(browser, 3, 1, grandchild, 0), noErr);
    EXPECT_EQ(AddDataBrowserItems(browser, 9, 1, grandchild, 0), errDataBrowserItemNotFound);
    auto visible = [&] {
        UInt32 plain = 0, open = 0;
        GetDataBrowserItemCount(browser, 0, true, kDataBrowserItemNoState, &plain);
        GetDataBrowserItemCount(browser, 0, true, kDataBrowserContainerIsOpen, &open);
        return plain + open;
    };
    EXPECT_EQ(visible(), 2u);
    OpenDataBrowserContainer(browser, 1);
    EXPECT_EQ(visible(), 4u);
    OpenDataBrowserContainer(browser, 3);
    EXPECT_EQ(visible(), 5u);
    ASSERT_EQ(RemoveDataBrowserItems(browser, 0, 1, top, 0), noErr);  // takes its children along
    EXPECT_EQ(visible(), 1u);
    DisposeWindow(window);
}

}  // namespace
}  // namespace tavrel_test
