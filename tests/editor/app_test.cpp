#include "editor/app.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "editor/editor_prefs.h"
#include "foundation/preferences.h"
#include "platform/gestalt.h"
#include "platform/toolbox_services.h"
#include "show/prefs_record.h"
#include "support/fake_user.h"
#include "support/preferences_fixture.h"
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
    ScopedPreferencesFolders folders;  // the run saves its record at exit
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
    ScopedPreferencesFolders folders;  // the run saves its record at exit
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
    ScopedPreferencesFolders folders;  // the run saves its record at exit
    FakeUser user;
    platform::SetGestaltValue(platform::gestaltSystemVersion, 0x0860);
    EXPECT_EQ(EditorMain(), 0);
    platform::ResetGestalt();
    EXPECT_FALSE(GetEditorRecord().initialized);
    EXPECT_FALSE(GetEditorRecord().ran);
    EXPECT_TRUE(GetEditorRecord().exited);
    EXPECT_TRUE(platform::AllWindows().empty());
}

// Each start draws anew: the shell seeds the C library's generator and
// QuickDraw's with one seed that differs from the last start's (the tick
// count starts at 0 in every run, so it cannot be that seed).
TEST(EditorStartUp, EachStartSeedsTheGeneratorsAnew)
{
    std::vector<long> seeds;
    std::vector<int> draws;
    for (int start = 0; start < 2; ++start) {
        ASSERT_TRUE(GetApplicationShell()->Init());
        seeds.push_back(platform::Services().randomSeed);
        draws.push_back(std::rand());
        std::srand(static_cast<unsigned>(seeds.back()));
        EXPECT_EQ(std::rand(), draws.back()) << "the C generator took the same seed";
    }
    EXPECT_NE(seeds[0], seeds[1]);
    for (long seed : seeds) EXPECT_GT(static_cast<unsigned>(seed), 1u) << "0 and 1 leave the generator unseeded";
}

// What the domain holds after a run: the recent documents, newest first,
// and the image quality.
struct Saved {
    std::vector<std::string> recent;
    int32_t quality = -1;
};
Saved ReadSaved()
{
    Saved out;
    CPreferences prefs;
    EXPECT_TRUE(prefs.Open(nullptr, CPreferences::kScopeCurrentUserAnyHost));
    CRecentItems recent;
    recent.Load(prefs, CEditorPrefs::kRecentDocuments);
    for (int i = 0; i < recent.GetCount(); ++i) out.recent.push_back(recent.GetAt(i)->c_str());
    prefs.GetInt("default_image_quality", out.quality);
    return out;
}

TEST(EditorPrefs, RecentDocumentsSurviveAStartAnOpenAndAnExit)
{
    TempDir dir;
    for (const char* name : {"a.tvr", "b.tvr"}) WriteFile(dir.file(name), "<xml/>");
    const std::string a = dir.file("a.tvr"), b = dir.file("b.tvr");
    const struct {
        const char* name;
        std::function<void(const ScopedPreferencesFolders&)> before;
        int32_t systemVersion;  // 0: the running system
        int loadedQuality;  // what the run's slides default to
        Saved after;
    } cases[] = {
        {"no record yet", [](const ScopedPreferencesFolders&) {}, 0, 80, {{b}, 80}},
        {"a damaged record", [](const ScopedPreferencesFolders& f) { WriteFile(f.UserFile("Tavrel"), "<plist><"); },
         0, 80, {{b}, 80}},
        {"a record of an earlier run",
         [&](const ScopedPreferencesFolders&) {
             CPreferences prefs;
             prefs.Open(nullptr, CPreferences::kScopeCurrentUserAnyHost);
             prefs.SetInt("default_image_quality", 55);
             prefs.SetInt("default_image_halign", 9);  // out of range: the default
             CRecentItems recent;
             CPath earlier(a);
             recent.Add(&earlier);
             recent.Save(prefs, CEditorPrefs::kRecentDocuments);
             prefs.Synchronize();
         },
         0, 55, {{b, a}, 55}},
        {"a start refused by the system", [&](const ScopedPreferencesFolders&) {
             CPreferences prefs;
             prefs.Open(nullptr, CPreferences::kScopeCurrentUserAnyHost);
             prefs.SetInt("default_image_quality", 55);
             prefs.Synchronize();
         },
         0x0860, 55, {{}, 55}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedPreferencesFolders folders;
        c.before(folders);
        if (c.systemVersion) platform::SetGestaltValue(platform::gestaltSystemVersion, c.systemVersion);
        FakeUser user;
        if (!c.systemVersion) user.OpenDocuments({{b}}).Quit();
        EXPECT_EQ(EditorMain(), 0);
        platform::ResetGestalt();
        EXPECT_EQ(GetPrefsRecord().default_image_quality, c.loadedQuality);
        EXPECT_EQ(GetPrefsRecord().default_image_halign, 1);
        const Saved saved = ReadSaved();
        EXPECT_EQ(saved.recent, c.after.recent);
        EXPECT_EQ(saved.quality, c.after.quality);
    }
}

}  // namespace
}  // namespace tavrel_test
