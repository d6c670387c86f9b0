#include "ui/small_windows.h"

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "controls_fixture.h"
#include "platform/process.h"
#include "platform/toolbox_services.h"

namespace tavrel_test {
namespace {

TEST(RotateRect, QuarterAndHalfTurns)
{
    const struct {
        int degrees;
        Rect expected;  // top, left, bottom, right
    } cases[] = {
        {90, {20, 50, 60, 70}},  {-270, {20, 50, 60, 70}}, {180, {50, 40, 70, 80}}, {-180, {50, 40, 70, 80}},
        {270, {40, 10, 80, 30}}, {-90, {40, 10, 80, 30}},  {45, {10, 20, 30, 60}},  {0, {10, 20, 30, 60}},
    };
    for (const auto& c : cases) {
        Rect r{10, 20, 30, 60};
        RotateRect(&r, 50, 40, c.degrees);
        EXPECT_EQ(std::tie(r.top, r.left, r.bottom, r.right),
                  std::tie(c.expected.top, c.expected.left, c.expected.bottom, c.expected.right))
            << c.degrees;
    }
    Rect odd{1, 2, 3, 4};
    RotateRect(&odd, 2.75, 1.25, 180);  // -0.5, 1.5, 1.5, 3.5 truncate toward zero
    EXPECT_EQ(std::tie(odd.top, odd.left, odd.bottom, odd.right),
              std::make_tuple(int16_t(0), int16_t(1), int16_t(1), int16_t(3)));
}

TEST(Cursors, WatchThenArrowAreRecorded)
{
    platform::ResetServices();
    SetWatchCursor();
    SetArrowCursor();
    EXPECT_EQ(platform::Services().themeCursors, (std::vector<ThemeCursor>{7, 0}));
}

class LoggingPlainWindow : public CPlainWindow {
public:
    std::vector<std::string> log;
    bool OnZoomed() override { return Note("zoomed"); }
    bool OnCollapsed() override { return Note("collapsed"); }
    bool OnExpanded() override { return Note("expanded"); }

private:
    bool Note(const char* what)
    {
        log.push_back(what);
        return true;
    }
};

TEST(PlainWindow, ZoomCollapseAndExpandReachTheirHandlers)
{
    WindowRef window = nullptr;
    Rect bounds{50, 50, 250, 350};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window), noErr);
    LoggingPlainWindow plain;
    ASSERT_TRUE(plain.Attach(window));
    plain.Zoom();
    EXPECT_TRUE(plain.IsInStandardState());
    plain.ZoomIn();
    EXPECT_FALSE(plain.IsInStandardState());
    plain.Collapse();
    EXPECT_TRUE(plain.InCollapsedState());
    CollapseWindow(window, false);
    EXPECT_FALSE(plain.InCollapsedState());
    EXPECT_EQ(plain.log, (std::vector<std::string>{"zoomed", "zoomed", "collapsed", "expanded"}));
    EXPECT_TRUE(plain.DisposeWindow());
    EXPECT_FALSE(plain.DisposeWindow());
}

class SmallWindowsTest : public ControlsTest {};

TEST_F(SmallWindowsTest, DontAskStoresTheAnswerOnlyOnOK)
{
    WriteFile(bundle_.Resources() + "/ask.nib.xml", R"(<nib>
  <window name="IDD_ASK" class="movablemodal" left="100" top="100" width="300" height="120">
    <control kind="cbox" signature="cDwm" id="0" title="Don't ask again" left="10" top="60" width="150" height="18"/>
    <control kind="push" signature="ok  " id="0" command="ok  " title="OK" left="200" top="90" width="80" height="20"/>
    <control kind="push" signature="not!" id="0" command="not!" title="Cancel" left="110" top="90" width="80" height="20"/>
  </window>
</nib>)");
    CNibRef nib;
    ASSERT_TRUE(nib.Open("ask"));
    const struct {
        bool tick;
        OSType button;
        int result;
        int flag;
    } cases[] = {
        {true, FourCC("ok  "), int(FourCC("ok  ")), 0},
        {false, FourCC("ok  "), int(FourCC("ok  ")), 1},
        {true, FourCC("not!"), int(FourCC("not!")), 7},
    };
    for (const auto& c : cases) {
        int flag = 7;
        CDontAskDialog dialog(&flag);
        if (c.tick) user_.ClickControl(FakeUser::Front(), FourCC("cDwm"), 0);
        user_.ClickControl(FakeUser::Front(), c.button, 0);
        EXPECT_EQ(dialog.DoModal(nib, "IDD_ASK", 0), c.result);
        EXPECT_EQ(flag, c.flag);
    }
}

TEST_F(SmallWindowsTest, LinkTextClickHandsItsURLToTheDesktop)
{
    TempDir dir;
    const std::string script = dir.file("opener"), log = dir.file("opened.log");
    WriteFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + log + "'\n");
    chmod(script.c_str(), 0755);
    platform::SetDesktopOpener(script);

    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CLinkText link;
    ASSERT_TRUE(link.Create(&window, FourCC("sLnk"), Rect{10, 10, 26, 200}, "Visit the site"));
    EXPECT_FALSE(link.OpenURL());  // no URL yet
    link.SetURL("https://example.org/tavrel");
    user_.Click(FakeUser::Front(), 50, 15).Play();
    for (int i = 0; i < 500 && ReadFile(log).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    platform::SetDesktopOpener("");
    EXPECT_EQ(ReadFile(log), "https://example.org/tavrel\n");
    EXPECT_EQ(window.log, (std::vector<std::string>{"command sLnk"}));  // the click goes on
}

}  // namespace
}  // namespace tavrel_test
