#include "editor/app.h"

#include <gtest/gtest.h>

#include "platform/gestalt.h"
#include "support/fake_user.h"
#include "support/test_support.h"
#include "ui/app_shell.h"

namespace tavrel_test {
namespace {

OSStatus SendCommand(MenuCommand command)
{
    HICommand hc;
    hc.commandID = command;
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof hc, &hc);
    OSStatus status = SendEventToEventTarget(event, GetApplicationEventTarget());
    ReleaseEvent(event);
    return status;
}

TEST(EditorStartUp, RunsUntilQuitAndRoutesToTheMainWindow)
{
    TempDir dir;
    for (const char* name : {"a.tvr", "b.tvr", "c.tvr"}) WriteFile(dir.file(name), "<xml/>");
    FakeUser user;

    // Before the main window is the target, commands pass on.
    ASSERT_TRUE(GetApplicationShell()->Init());
    EXPECT_EQ(SendCommand(FourCC("new ")), eventNotHandledErr);

    user.Do([] {
            ASSERT_NE(GetMainWindow(), nullptr);
            EXPECT_EQ(FrontWindow(), GetMainWindow()->GetWindow());
            EXPECT_EQ(platform::GetWindowNibName(FrontWindow()), "IDD_SLIDES");
            EXPECT_EQ(platform::FindWindowByNibName("IDD_SPLASH"), nullptr);  // gone before the loop
            EXPECT_EQ(GetApplicationShell()->GetInstalledHandler()->GetTarget(), GetMainWindow());
            MenuItemIndex item = 0;
            EXPECT_NE(GetIndMenuItemWithCommandID(nullptr, FourCC("quit"), 1, nullptr, &item), noErr);
        })
        .ChooseMenuItem(FourCC("new "))
        .OpenDocuments({{dir.file("a.tvr")}, {dir.file("b.tvr")}, {dir.file("c.tvr")}})
        .OpenDocuments({})
        .OpenDocuments({{"not a file", false}, {dir.file("b.tvr")}})
        .PressHotKey(FourCC("tvrl"), 3)
        .Quit();
    EXPECT_EQ(EditorMain(), 0);

    const EditorRecord& record = GetEditorRecord();
    EXPECT_TRUE(record.initialized);
    EXPECT_TRUE(record.ran);
    EXPECT_TRUE(record.exited);
    EXPECT_TRUE(record.splashShown);
    EXPECT_TRUE(record.splashPainted);
    EXPECT_EQ(record.commands, (std::vector<UInt32>{FourCC("new ")}));
    EXPECT_EQ(record.openedDocuments, (std::vector<std::string>{dir.file("a.tvr")}));
    EXPECT_EQ(record.hotKeys, (std::vector<UInt32>{3}));
    // The quit ends the loop before its own status can be noted.
    EXPECT_EQ(user.Statuses(),
              (std::vector<OSStatus>{eventNotHandledErr, noErr, noErr, errAECoercionFail, eventNotHandledErr}));
    EXPECT_EQ(GetMainWindow(), nullptr);
    EXPECT_TRUE(platform::AllWindows().empty());
    EXPECT_EQ(platform::LoopDepth(), 0);

    // The Open Documents handler outlives the shell and finds no one to call.
    EXPECT_EQ(platform::SendOpenDocuments({{dir.file("c.tvr")}}), noErr);
    EXPECT_EQ(GetEditorRecord().openedDocuments.size(), 1u);
}

// Before Mac OS X the File menu keeps Quit, and choosing it ends the run.
TEST(EditorStartUp, OlderSystemQuitsFromTheFileMenu)
{
    FakeUser user;
    platform::SetGestaltValue(platform::gestaltSystemVersion, 0x0922);
    user.Do([] {
            MenuItemIndex quit = 0, pref = 0;
            EXPECT_EQ(GetIndMenuItemWithCommandID(GetMenuHandle(1000), FourCC("quit"), 1, nullptr, &quit), noErr);
            EXPECT_EQ(GetIndMenuItemWithCommandID(GetMenuHandle(1001), FourCC("pref"), 1, nullptr, &pref), noErr);
        })
        .ChooseMenuItem(FourCC("quit"));
    EXPECT_EQ(EditorMain(), 0);
    platform::ResetGestalt();
    EXPECT_TRUE(GetEditorRecord().exited);
    // The main window saw the command first and let it pass.
    EXPECT_EQ(GetEditorRecord().commands, (std::vector<UInt32>{FourCC("quit")}));
}

TEST(EditorStartUp, FailedInitSkipsTheRunButNotTheExit)
{
    FakeUser user;
    platform::SetGestaltValue(platform::gestaltSystemVersion, 0x0860);
    EXPECT_EQ(EditorMain(), 0);
    platform::ResetGestalt();
    EXPECT_FALSE(GetEditorRecord().initialized);
    EXPECT_FALSE(GetEditorRecord().ran);
    EXPECT_TRUE(GetEditorRecord().exited);
    EXPECT_TRUE(platform::AllWindows().empty());
}

}  // namespace
}  // namespace tavrel_test
