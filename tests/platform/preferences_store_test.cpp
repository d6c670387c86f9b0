#include "platform/preferences_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/preferences_fixture.h"
#include "support/scoped_env.h"
#include "support/test_support.h"

namespace {

TEST(PreferencesStore, DomainNamesThatCannotBeFileNamesAreRefused)
{
    for (const char* bad : {"", ".", "..", "../x", "a/b", "/abs", ".hidden"})
        EXPECT_FALSE(platform::IsUsablePreferencesDomain(bad)) << bad;
    for (const char* good : {"Tavrel", "com.example.app", "Vaultrix", "a..b", "x y"})
        EXPECT_TRUE(platform::IsUsablePreferencesDomain(good)) << good;
    EXPECT_FALSE(platform::IsUsablePreferencesDomain(std::string_view("a\0b", 3)));
}

TEST(PreferencesStore, FilesFollowTheXdgFolders)
{
    tavrel_test::ScopedPreferencesFolders folders;
    std::string file;
    ASSERT_TRUE(platform::PreferencesFilePath("Vaultrix", 1, file));
    EXPECT_EQ(file, folders.UserFile("Vaultrix"));
    ASSERT_TRUE(platform::PreferencesFilePath("Vaultrix", 0, file));
    EXPECT_EQ(file, folders.SystemFile("Vaultrix"));
    EXPECT_FALSE(platform::PreferencesFilePath("Vaultrix", 2, file));
    EXPECT_FALSE(platform::PreferencesFilePath("../Vaultrix", 1, file));
    EXPECT_TRUE(platform::IsPreferencesScopeWritable(1));
    EXPECT_FALSE(platform::IsPreferencesScopeWritable(0));

    // A relative XDG_CONFIG_HOME is ignored in favour of ~/.config.
    {
        tavrel_test::TempDir home;
        tavrel_test::ScopedEnv homeVariable("HOME", home.path().c_str());
        tavrel_test::ScopedEnv config("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(platform::UserPreferencesFolder(), home.path() + "/.config/tavrel/preferences");
    }

    // The system scope takes the first folder of the list that has the domain.
    tavrel_test::TempDir second;
    std::string listed = folders.SystemConfig() + ":" + second.path();
    tavrel_test::ScopedEnv dirs("XDG_CONFIG_DIRS", listed.c_str());
    std::filesystem::create_directories(second.path() + "/tavrel/preferences");
    ASSERT_TRUE(tavrel_test::WriteFile(second.path() + "/tavrel/preferences/Site.xml", "<xml/>"));
    ASSERT_TRUE(platform::PreferencesFilePath("Site", 0, file));
    EXPECT_EQ(file, second.path() + "/tavrel/preferences/Site.xml");
    ASSERT_TRUE(platform::PreferencesFilePath("Other", 0, file));
    EXPECT_EQ(file, folders.SystemFile("Other"));
}

}  // namespace
