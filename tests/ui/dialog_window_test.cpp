#include <filesystem>

#include "ui/control.h"
#include "ui_fixture.h"

namespace tavrel_test {
namespace {

using DialogWindowTest = UiTest;

// IDD_TEST lies at (100, 120); its End button ends the dialog with 5.
TEST_F(DialogWindowTest, ModalRunsReturnTheirResult)
{
    struct Case {
        const char* name;
        const char* window;
        std::function<void(FakeUser&)> script;
        int result;
    };
    const Case cases[] = {
        {"EndDialog(5)", "IDD_TEST", [](FakeUser& u) { u.ClickControl(FakeUser::Front(), FourCC("bEnd"), 7); }, 5},
        {"close box", "IDD_TEST", [](FakeUser& u) { u.Close(FakeUser::Front()); }, -1},
        {"not in the nib", "IDD_NONE", [](FakeUser&) {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoggingWindow dialog;
        dialog.onCommand = [&](UInt32 command) { return command == FourCC("bEnd") && dialog.EndDialog(5); };
        c.script(user_);
        EXPECT_EQ(dialog.DoModal(nib_, c.window, 7), c.result);
        EXPECT_EQ(dialog.GetWindow(), nullptr);
        EXPECT_TRUE(platform::AllWindows().empty());
    }
}

TEST_F(DialogWindowTest, ModalRunKeepsOtherWindowsOutOfReach)
{
    // A modeless window opened before the dialog, then the dialog run modal.
    LoggingWindow before;
    ASSERT_TRUE(before.CreateFromNibName(nib_, "IDD_TEST", nullptr, 7) || before.GetWindow());
    before.Show();
    before.log.clear();
    LoggingWindow dialog;
    dialog.onCommand = [&](UInt32 command) { return command == FourCC("bEnd") && dialog.EndDialog(5); };
    user_.Click(FakeUser::Ref(before.GetWindowRef()), 10, 5)
        .ClickControl(FakeUser::Ref(before.GetWindowRef()), FourCC("bEnd"), 7)
        .Do([&] {
            // A command posted straight to the window, as a menu's would go.
            HICommand hc{};
            hc.commandID = FourCC("bEnd");
            EventRef e = nullptr;
            CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, GetCurrentEventTime(), 0, &e);
            SetEventParameter(e, kEventParamDirectObject, typeHICommand, sizeof hc, &hc);
            platform::PostEventTo(e, GetWindowEventTarget(before.GetWindow()));
            ReleaseEvent(e);
        })
        .ClickControl(FakeUser::Front(), FourCC("bEnd"), 7);
    EXPECT_EQ(dialog.DoModal(nib_, "IDD_TEST", 7), 5);
    EXPECT_EQ(before.log, std::vector<std::string>{});
    ASSERT_FALSE(dialog.log.empty());
    EXPECT_EQ(dialog.log.back(), "command bEnd");
    // Once the dialog is gone the window takes clicks again.
    user_.Click(FakeUser::Ref(before.GetWindowRef()), 10, 5).Play();
    EXPECT_EQ(before.log, (std::vector<std::string>{"down 110,125", "up 110,125"}));
}

TEST_F(DialogWindowTest, MouseEventsCarryGlobalPointsAndButtons)
{
    struct Case {
        const char* name;
        UInt32 modifiers;
        UInt16 button;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"plain click", 0, 1, {"down 110,125", "up 110,125"}},
        {"control-click", controlKey, 1, {"rightdown 110,125", "rightup 110,125"}},
        {"right button", 0, 2, {"rightdown 110,125", "rightup 110,125"}},
        {"middle button", 0, 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoggingWindow window;
        ASSERT_TRUE(window.CreateNew(100, 120, 300, 200, kDialogShow, nullptr, 0));
        user_.Click(FakeUser::Front(), 10, 5, c.modifiers, c.button);
        user_.Play();
        EXPECT_EQ(window.log, c.log);
        EXPECT_EQ(user_.Statuses().back(), eventNotHandledErr);
    }
}

// Events sent straight to the window reach the matching operation.
TEST_F(DialogWindowTest, EventClassesReachTheirOperations)
{
    struct Case {
        UInt32 cls, kind;
        std::vector<std::string> log;
        OSStatus status;
    };
    const Case cases[] = {
        {kEventClassWindow, kEventWindowDrawContent, {"draw 0,0"}, noErr},
        {kEventClassWindow, kEventWindowBoundsChanging, {"sizing 7,9"}, noErr},
        {kEventClassKeyboard, kEventRawKeyDown, {"keydown 0,0"}, noErr},
        {kEventClassKeyboard, kEventRawKeyUp, {"keyup 0,0"}, noErr},
        {kEventClassTextInput, 1, {"event text 1,0"}, noErr},
        {kEventClassFont, kEventFontSelection, {}, eventNotHandledErr},
        {kEventClassWindow, kEventWindowActivated, {}, eventNotHandledErr},
    };
    for (const Case& c : cases) {
        LoggingWindow window;
        ASSERT_TRUE(window.CreateNew(100, 120, 300, 200, 0, nullptr, 0));
        EventRef e = nullptr;
        CreateEvent(nullptr, c.cls, c.kind, 0, 0, &e);
        Rect bounds{9, 7, 50, 50};
        SetEventParameter(e, kEventParamCurrentBounds, typeQDRectangle, sizeof bounds, &bounds);
        EXPECT_EQ(SendEventToEventTarget(e, GetWindowEventTarget(window.GetWindow())), c.status) << c.kind;
        ReleaseEvent(e);
        EXPECT_EQ(window.log, c.log) << c.kind;
    }
}

TEST_F(DialogWindowTest, TypedKeysReachTheFrontWindow)
{
    LoggingWindow window;
    ASSERT_TRUE(window.CreateNew(100, 120, 300, 200, kDialogShow, nullptr, 0));
    user_.Type("Hi").Play();
    EXPECT_EQ(window.log, (std::vector<std::string>{"keydown 72,512", "keyup 72,512", "keydown 105,0", "keyup 105,0"}));
}

TEST_F(DialogWindowTest, UnhandledShowFontsCommandShowsTheFontPanel)
{
    platform::ResetServices();
    LoggingWindow window;
    ASSERT_TRUE(window.CreateNew(100, 120, 300, 200, 0, nullptr, 0));
    HICommand command;
    command.commandID = FourCC("shfp");
    EventRef e = nullptr;
    CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &e);
    SetEventParameter(e, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    EXPECT_EQ(SendEventToEventTarget(e, GetWindowEventTarget(window.GetWindow())), noErr);
    ReleaseEvent(e);
    EXPECT_TRUE(platform::Services().fontPanelVisible);
    ASSERT_EQ(platform::Services().fontSelection.size(), 1u);
    EXPECT_GT(platform::Services().fontSelection[0].size, 0);
}

TEST_F(DialogWindowTest, MovingAndResizing)
{
    LoggingWindow window;
    ASSERT_TRUE(window.CreateFromNibName(nib_, "IDD_TEST", nullptr, 7) || window.GetWindow());
    user_.MoveWindow(FakeUser::Named("IDD_TEST"), 300, 200)
        .ResizeWindow(FakeUser::Named("IDD_TEST"), 250, 190, 320, 240)
        .Play();
    EXPECT_EQ(window.log,
              (std::vector<std::string>{"sizing 300,200", "move 300,200", "sizing 250,190", "size 320,240"}));
    int left = 0, top = 0;
    window.GetPosition(&left, &top);
    EXPECT_EQ(left, 250);
    EXPECT_EQ(top, 190);
    EXPECT_EQ(window.GetWidth(), 320);
}

TEST_F(DialogWindowTest, DroppedFilesArriveInNameOrder)
{
    TempDir dir;
    for (const char* name : {"b.jpg", "A.png", "c.gif"}) WriteFile(dir.file(name), "x");
    LoggingWindow window;
    ASSERT_TRUE(window.CreateNew(100, 120, 300, 200, kDialogShow, nullptr, 0));
    ASSERT_TRUE(window.InstallDragHandlers());
    user_.DropFiles(FakeUser::Front(), 40, 30,
                    {{dir.file("b.jpg")}, {"some text", false}, {dir.file("c.gif")}, {dir.file("A.png")}});
    user_.Play();
    EXPECT_EQ(window.log,
              (std::vector<std::string>{"drop A.png 140,150", "drop b.jpg 32767,32767", "drop c.gif 32767,32767"}));
}

TEST_F(DialogWindowTest, UnhandledButtonGoesOnToTheStandardHandling)
{
    LoggingWindow window;
    ASSERT_TRUE(window.CreateFromNibName(nib_, "IDD_TEST", nullptr, 7) || window.GetWindow());
    window.Show(true);
    user_.ClickControl(FakeUser::Front(), FourCC("bFre"), 7).ClickControl(FakeUser::Front(), FourCC("bOff"), 7).Play();
    // The hit, then the command the standard handler makes of it; a
    // disabled button is not hit at all.
    EXPECT_EQ(window.log, (std::vector<std::string>{"down 240,280", "command bFre", "command bFre", "up 240,280",
                                                    "down 330,280", "up 330,280"}));
    EXPECT_EQ(user_.Statuses(), (std::vector<OSStatus>{noErr, eventNotHandledErr}));
}

TEST_F(DialogWindowTest, SheetsGetOnlyControlHits)
{
    LoggingWindow parent, sheet;
    ASSERT_TRUE(parent.CreateNew(100, 120, 300, 200, kDialogShow, nullptr, 0));
    ASSERT_TRUE(sheet.CreateNew(100, 120, 200, 100, kDialogSheet, parent.GetWindow(), 0));
    EventTypeSpec types[CDialogWindow::kMaxEventTypes];
    EXPECT_EQ(sheet.GetEventTypes(types), 1);
    ControlRef button = nullptr;
    Rect r{10, 10, 30, 90};
    ASSERT_EQ(CreatePushButtonControl(sheet.GetWindow(), &r, nullptr, &button), noErr);
    ControlID id{FourCC("bGo "), 0};
    SetControlID(button, &id);
    ShowSheetWindow(sheet.GetWindow(), parent.GetWindow());
    user_.Click(FakeUser::Ref(sheet.GetWindowRef()), 5, 5).Click(FakeUser::Ref(sheet.GetWindowRef()), 20, 20).Play();
    EXPECT_EQ(sheet.log, (std::vector<std::string>{"command bGo "}));
}

TEST_F(DialogWindowTest, ParentlessSheetRunsAsMovableModal)
{
    LoggingWindow sheet;
    ASSERT_TRUE(sheet.CreateNew(100, 120, 200, 100, kDialogSheet, nullptr, 0));
    user_.Do([&] {
        WindowClass windowClass = 0;
        GetWindowClass(sheet.GetWindow(), &windowClass);
        EXPECT_EQ(windowClass, kMovableModalWindowClass);
        EXPECT_TRUE(sheet.IsVisible());
        sheet.EndDialog(3);
    });
    EXPECT_EQ(sheet.ShowModal(), 3);
}

// A pane created over user pane 1000 gets the hits of controls inside it.
class PaneWindow : public LoggingWindow {
public:
    bool OnCommand(UInt32 command, EventRef* event) override
    {
        LoggingWindow::OnCommand(command, event);
        return true;
    }
};

TEST_F(DialogWindowTest, PaneOnUserPane)
{
    LoggingWindow owner;
    PaneWindow pane;
    ASSERT_TRUE(owner.CreateFromNibName(nib_, "IDD_PANES", nullptr, 0) || owner.GetWindow());
    owner.Show(true);
    ASSERT_TRUE(pane.AttachToControl(1000, owner.GetWindow(), 1000));
    EXPECT_FALSE(pane.AttachToControl(1001, owner.GetWindow(), 1001));
    user_.ClickControl(FakeUser::Front(), FourCC("bIn "), 1000)
        .ClickControl(FakeUser::Front(), FourCC("bOut"), 0)
        .Play();
    EXPECT_EQ(pane.log, (std::vector<std::string>{"command bIn "}));
    EXPECT_EQ(owner.log, (std::vector<std::string>{"down 260,90", "up 260,90", "down 530,320", "command bOut",
                                                   "command bOut", "up 530,320"}));
    // The pane leaves the window to its owner.
    EXPECT_TRUE(pane.DestroyWindow());
    EXPECT_NE(owner.GetWindow(), nullptr);
    EXPECT_TRUE(IsWindowVisible(owner.GetWindow()));
}

// Deletes itself in its own command handler; the dispatch must not touch it after.
class SelfDeletingWindow : public CDialogWindow {
public:
    explicit SelfDeletingWindow(bool* gone) : gone_(gone) {}
    ~SelfDeletingWindow() override { *gone_ = true; }
    bool OnCommand(UInt32, EventRef*) override
    {
        delete this;
        return true;
    }

private:
    bool* gone_;
};

TEST_F(DialogWindowTest, WindowDestroyingItselfInOnCommand)
{
    bool gone = false;
    auto* window = new SelfDeletingWindow(&gone);
    ASSERT_TRUE(window->CreateFromNibName(nib_, "IDD_TEST", nullptr, 7) || window->GetWindow());
    window->Show(true);
    user_.ClickControl(FakeUser::Named("IDD_TEST"), FourCC("bFre"), 7).Play();
    EXPECT_TRUE(gone);
    EXPECT_EQ(platform::FindWindowByNibName("IDD_TEST"), nullptr);
    EXPECT_EQ(user_.Statuses(), (std::vector<OSStatus>{noErr}));
}

}  // namespace
}  // namespace tavrel_test
