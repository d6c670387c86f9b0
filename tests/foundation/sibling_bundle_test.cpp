#include "foundation/sibling_bundle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/preferences.h"
#include "support/preferences_fixture.h"
#include "support/scoped_env.h"
#include "support/test_support.h"

namespace {

void SetAppPath(const char* value)
{
    CPreferences prefs;
    ASSERT_TRUE(prefs.Open("Vaultrix", 1));
    if (value) {
        ASSERT_TRUE(prefs.SetString("app_path", value));
    }
    ASSERT_TRUE(prefs.SetInt("other", 1));
    ASSERT_TRUE(prefs.Synchronize());
}

TEST(SiblingBundle, FindLockFollowsTheSiblingsPreferences)
{
    tavrel_test::ScopedPreferencesFolders folders;
    tavrel_test::TempDir apps;
    CPath out("unchanged");

    // No domain at all, then a domain without the key: out stays as it was.
    EXPECT_FALSE(SiblingBundle::FindLock(out));
    EXPECT_EQ(out.GetText(), "unchanged");
    SetAppPath(nullptr);
    EXPECT_FALSE(SiblingBundle::FindLock(out));
    EXPECT_EQ(out.GetText(), "unchanged");

    // The key names the application; the bundle is looked for beside it.
    std::string app = apps.file("Vaultrix.app");
    SetAppPath(app.c_str());
    EXPECT_FALSE(SiblingBundle::FindLock(out));
    EXPECT_EQ(out.GetText(), apps.file("vtx.bundle"));

    std::filesystem::create_directories(apps.file("vtx.bundle/Contents"));
    out.AssignCString("");
    EXPECT_TRUE(SiblingBundle::FindLock(out));
    EXPECT_EQ(out.GetText(), apps.file("vtx.bundle"));

    // The look-up only reads: the sibling's preferences stay as they were.
    std::string before = tavrel_test::ReadFile(folders.UserFile("Vaultrix"));
    EXPECT_TRUE(SiblingBundle::FindLock(out));
    EXPECT_EQ(tavrel_test::ReadFile(folders.UserFile("Vaultrix")), before);
}

}  // namespace

namespace {

// The text-effect bundle is installed beside the program's bundle.
TEST(SiblingBundle, FindTextEffectLooksBesideTheProgram)
{
    tavrel_test::TempDir apps;
    tavrel_test::ScopedEnv bundle("TAVREL_BUNDLE", apps.file("Tavrel.app/").c_str());
    CPath out;
    EXPECT_FALSE(SiblingBundle::FindTextEffect(out));
    EXPECT_EQ(out.GetText(), apps.file("lfx.bundle"));
    std::filesystem::create_directories(apps.file("lfx.bundle/Contents"));
    EXPECT_TRUE(SiblingBundle::FindTextEffect(out));
    EXPECT_EQ(out.GetText(), apps.file("lfx.bundle"));
}

}  // namespace
