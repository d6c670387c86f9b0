#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "foundation/http_request.h"
#include "foundation/system_utils.h"
#include "platform/gestalt.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Waits up to ten seconds for condition; true when it came.
template <typename F>
bool Eventually(F condition)
{
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// An opener that writes its arguments to a log, in place of xdg-open.
class FakeOpener {
public:
    FakeOpener()
    {
        script_ = dir_.file("opener");
        log_ = dir_.file("opened.log");
        tavrel_test::WriteFile(script_,
                               "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + log_ + "'; done\n");
        chmod(script_.c_str(), 0755);
        platform::SetDesktopOpener(script_);
    }
    ~FakeOpener() { platform::SetDesktopOpener(""); }
    std::string WaitForLog()
    {
        Eventually([&] { return !tavrel_test::ReadFile(log_).empty(); });
        return tavrel_test::ReadFile(log_);
    }
    std::string Log() const { return tavrel_test::ReadFile(log_); }
    const tavrel_test::TempDir& Dir() const { return dir_; }

private:
    tavrel_test::TempDir dir_;
    std::string script_;
    std::string log_;
};

// Sleeper.app/Contents/MacOS/Sleeper holding a copy of the test program.
std::string MakeSleeperApp(const tavrel_test::TempDir& dir)
{
    const std::string app = dir.file("Sleeper.app");
    fs::create_directories(app + "/Contents/MacOS");
    fs::copy_file(TAVREL_TEST_SLEEPER, app + "/Contents/MacOS/Sleeper");
    return app;
}

}  // namespace

TEST(Processes, CurrentProcessIsRunningAndNoProcessIsNot)
{
    ProcessSerialNumber psn;
    ASSERT_TRUE(GetCurrentPSN(&psn));
    EXPECT_EQ(psn.highLongOfPSN, 0u);
    EXPECT_EQ(psn.lowLongOfPSN, uint32_t(getpid()));
    EXPECT_TRUE(IsProcessRunning(psn));
    EXPECT_FALSE(IsProcessRunning(ProcessSerialNumber{}));
    EXPECT_FALSE(IsProcessRunning(ProcessSerialNumber{1, 1}));
    EXPECT_FALSE(BringProcessToFront(ProcessSerialNumber{}));
    // Never quits ourselves, whatever the path.
    EXPECT_FALSE(QuitApplicationAtPath("/proc/self/exe", psn));
}

TEST(Processes, LaunchesARealProgramAndQuitsItByPath)
{
    tavrel_test::TempDir dir;
    const std::string app = MakeSleeperApp(dir);
    for (const std::string& path : {std::string(TAVREL_TEST_SLEEPER), app}) {
        SCOPED_TRACE(path);
        ProcessSerialNumber psn;
        ASSERT_TRUE(LaunchApp(path.c_str(), &psn));
        ASSERT_NE(psn.lowLongOfPSN, 0u);
        EXPECT_TRUE(IsProcessRunning(psn));
        EXPECT_TRUE(BringProcessToFront(psn));
        // Another program's path does not quit it.
        EXPECT_FALSE(QuitApplicationAtPath("/bin/sh", psn));
        EXPECT_TRUE(IsProcessRunning(psn));
        EXPECT_TRUE(QuitApplicationAtPath(path.c_str(), psn));
        EXPECT_TRUE(Eventually([&] { return !IsProcessRunning(psn); }));
        EXPECT_FALSE(QuitApplicationAtPath(path.c_str(), psn));
    }
    ProcessSerialNumber psn{7, 7};
    EXPECT_FALSE(LaunchApp(dir.file("missing.app").c_str(), &psn));
    EXPECT_EQ(psn.lowLongOfPSN, 0u);
}

TEST(Processes, AShortLivedProgramEndsAndOpensItsDocument)
{
    tavrel_test::TempDir dir;
    const std::string app = MakeSleeperApp(dir);
    const std::string log = dir.file("sleeper.log");
    setenv("TAVREL_SLEEPER_LOG", log.c_str(), 1);
    const std::string doc = dir.file("show file.tvr");
    ASSERT_TRUE(tavrel_test::WriteFile(doc, "x"));
    EXPECT_TRUE(OpenFileWithApp(doc.c_str(), app.c_str()));
    EXPECT_TRUE(Eventually([&] { return tavrel_test::ReadFile(log) == doc + "\n"; }));
    EXPECT_FALSE(OpenFileWithApp(doc.c_str(), dir.file("missing.app").c_str()));
    unsetenv("TAVREL_SLEEPER_LOG");
}

TEST(Launching, HandsTargetsToTheDesktopOpenerAsOneArgument)
{
    FakeOpener opener;
    EXPECT_TRUE(OpenURL("http://127.0.0.1/a b;$(touch x)"));
    EXPECT_EQ(opener.WaitForLog(), "http://127.0.0.1/a b;$(touch x)\n");
    EXPECT_FALSE(fs::exists("x"));

    // A file that is no program goes to the opener; there is no serial number.
    FakeOpener second;
    const std::string doc = second.Dir().file("readme.txt");
    ASSERT_TRUE(tavrel_test::WriteFile(doc, "x"));
    ProcessSerialNumber psn{1, 2};
    EXPECT_TRUE(LaunchApp(doc.c_str(), &psn));
    EXPECT_EQ(psn.lowLongOfPSN, 0u);
    EXPECT_EQ(second.WaitForLog(), doc + "\n");
}

TEST(Launching, BeforeMacOSXDocumentsOpenInTheirOwnApplication)
{
    EXPECT_TRUE(IsOSXAtLeast());
    platform::SetGestaltValue(platform::gestaltSystemVersion, 0x0922);
    EXPECT_FALSE(IsOSXAtLeast());
    FakeOpener opener;
    const std::string doc = opener.Dir().file("show.tvr");
    ASSERT_TRUE(tavrel_test::WriteFile(doc, "x"));
    EXPECT_TRUE(OpenFileWithApp(doc.c_str(), "/no/such/app"));
    EXPECT_EQ(opener.WaitForLog(), doc + "\n");
    platform::RemoveGestaltValue(platform::gestaltSystemVersion);
    EXPECT_FALSE(IsOSXAtLeast());
    platform::ResetGestalt();
}

TEST(Launching, RefusesOptionLikeTargetsAndReportsAMissingOpener)
{
    FakeOpener opener;
    EXPECT_FALSE(OpenURL("--help"));
    EXPECT_FALSE(OpenURL(nullptr));
    EXPECT_FALSE(OpenWithFinder(""));
    EXPECT_TRUE(OpenWithFinder(opener.Dir().path().c_str()));
    EXPECT_EQ(opener.WaitForLog(), opener.Dir().path() + "\n");

    platform::SetDesktopOpener(opener.Dir().file("no-such-opener"));
    EXPECT_FALSE(OpenURL("http://127.0.0.1/"));
}
