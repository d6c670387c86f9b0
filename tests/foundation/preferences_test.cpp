#include "foundation/preferences.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "support/file_size_limit.h"
#include "support/preferences_fixture.h"
#include "support/test_support.h"

namespace {

using tavrel_test::ReadFile;
using tavrel_test::WriteFile;

class PreferencesTest : public ::testing::Test {
protected:
    tavrel_test::ScopedPreferencesFolders folders_;
};

TEST_F(PreferencesTest, ValuesAreVisibleAtOnceAndReloadAfterSynchronize)
{
    const std::string data("\0\1\2\xFF\n<", 6);
    const std::string text = "Caf\x8E \"quoted\" <tag> & line\nbreak\r\n\ttab";
    const char* oddKey = "key with \"odd\" & <bytes>\n\xA5";
    {
        CPreferences prefs;
        ASSERT_TRUE(prefs.Open("Domain", 1));
        EXPECT_TRUE(prefs.SetInt("int", -1) && prefs.SetLong("long", 2147483647L) &&
                    prefs.SetLong("huge", 4294967296L) && prefs.SetBool("yes", true) && prefs.SetBool("no", false) &&
                    prefs.SetString("text", text.c_str()) && prefs.SetString("empty", "") &&
                    prefs.SetData("data", data.data(), data.size()) && prefs.SetString(oddKey, "v"));
        int32_t i = 0;
        EXPECT_TRUE(prefs.GetInt("int", i));
        EXPECT_EQ(i, -1);
        // Nothing reaches the disk before the synchronize.
        EXPECT_FALSE(std::filesystem::exists(folders_.UserFile("Domain")));
        EXPECT_TRUE(prefs.Synchronize());
        EXPECT_FALSE(prefs.IsOpen());
    }
    CPreferences fresh;
    ASSERT_TRUE(fresh.Open("Domain", 1));
    // Every key read as every type: only its own gives a value; the others
    // leave the caller's value alone.
    struct Row {
        const char* key;
        std::optional<int32_t> integer;
        std::optional<bool> flag;
        std::optional<std::string> string;
        std::string bytes;
    } rows[] = {
        {"int", -1, {}, {}, ""},
        {"long", 2147483647, {}, {}, ""},
        {"huge", {}, {}, {}, ""},  // does not fit 32 bits
        {"yes", {}, true, {}, ""},
        {"no", {}, false, {}, ""},
        {"text", {}, {}, text, ""},
        {"empty", {}, {}, "", ""},
        {oddKey, {}, {}, "v", ""},
        {"data", {}, {}, {}, data},
        {"missing", {}, {}, {}, ""},
    };
    for (const Row& row : rows) {
        int32_t i = 9;
        bool b = !row.flag.value_or(false);
        char buffer[256] = "unchanged", back[16];
        EXPECT_EQ(fresh.GetInt(row.key, i), row.integer.has_value()) << row.key;
        EXPECT_EQ(i, row.integer.value_or(9)) << row.key;
        EXPECT_EQ(fresh.GetBool(row.key, b), row.flag.has_value()) << row.key;
        EXPECT_EQ(b, row.flag.value_or(true)) << row.key;
        EXPECT_EQ(fresh.GetString(row.key, buffer, sizeof buffer), row.string.has_value()) << row.key;
        EXPECT_EQ(std::string(buffer), row.string.value_or("unchanged")) << row.key;
        EXPECT_EQ(std::string(back, fresh.GetData(row.key, back, sizeof back)), row.bytes) << row.key;
    }
    char buffer[4];
    EXPECT_FALSE(fresh.GetString(nullptr, buffer, sizeof buffer));
}

TEST_F(PreferencesTest, BuffersThatAreTooSmallGetNothing)
{
    CPreferences prefs;
    ASSERT_TRUE(prefs.Open("Small", 1));
    const char bytes[] = "12345";
    ASSERT_TRUE(prefs.SetData("d", bytes, 5));
    ASSERT_TRUE(prefs.SetString("s", "abcd"));
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(prefs.GetData("d", buffer, 4), 0u);
    EXPECT_STREQ(buffer, "xxxxxxx");
    EXPECT_FALSE(prefs.GetString("s", buffer, 4));  // no room for the terminator
    EXPECT_STREQ(buffer, "xxxxxxx");
    EXPECT_FALSE(prefs.GetString("s", nullptr, 8));
    EXPECT_FALSE(prefs.GetString("s", buffer, 0));
    EXPECT_TRUE(prefs.GetString("s", buffer, 5));
    EXPECT_STREQ(buffer, "abcd");
}

TEST_F(PreferencesTest, ReadOnlyHandlesNeverWrite)
{
    {
        CPreferences prefs;
        ASSERT_TRUE(prefs.Open("Fresh", 1));  // no file yet: an empty domain
        int32_t i;
        EXPECT_FALSE(prefs.GetInt("x", i));
        EXPECT_FALSE(prefs.Synchronize());  // nothing to write
    }
    EXPECT_FALSE(std::filesystem::exists(folders_.UserFile("Fresh")));

    {
        CPreferences prefs;
        ASSERT_TRUE(prefs.Open("Fresh", 1));
        ASSERT_TRUE(prefs.SetInt("x", 1));
    }  // the destructor writes
    std::string written = ReadFile(folders_.UserFile("Fresh"));
    ASSERT_FALSE(written.empty());
    // Whatever is on disk now is not rewritten by a handle that only reads.
    ASSERT_TRUE(WriteFile(folders_.UserFile("Fresh"), written + "\n<!-- marker -->"));
    {
        CPreferences prefs;
        ASSERT_TRUE(prefs.Open("Fresh", 1));
        int32_t i = 0;
        EXPECT_TRUE(prefs.GetInt("x", i));
        EXPECT_EQ(i, 1);
    }
    EXPECT_EQ(ReadFile(folders_.UserFile("Fresh")), written + "\n<!-- marker -->");
}

TEST_F(PreferencesTest, ChangesMadeOnDiskAreSeenByTheNextOpen)
{
    {
        CPreferences prefs;
        ASSERT_TRUE(prefs.Open("Shared", 1));
        ASSERT_TRUE(prefs.SetInt("a", 1));
        ASSERT_TRUE(prefs.Synchronize());
    }
    std::filesystem::create_directories(folders_.UserConfig() + "/tavrel/preferences");
    ASSERT_TRUE(WriteFile(folders_.UserFile("Shared"),
                          "<xml version=\"1.0\">\n<integer key=\"a\" value=\"5\"/>\n"
                          "<string key=\"s\" value=\"x&#x0a;y\"/>\n<unknown key=\"u\" value=\"1\"/>\n</xml>\n"));
    CPreferences prefs;
    ASSERT_TRUE(prefs.Open("Shared", 1));
    int32_t a = 0;
    EXPECT_TRUE(prefs.GetInt("a", a));
    EXPECT_EQ(a, 5);
    char buffer[16];
    EXPECT_TRUE(prefs.GetString("s", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "x\ny");
    EXPECT_FALSE(prefs.GetInt("u", a));
}

TEST_F(PreferencesTest, FailuresAreReported)
{
    CPreferences prefs;
    EXPECT_FALSE(prefs.Open("Domain", 2));
    EXPECT_FALSE(prefs.Open("../escape", 1));
    EXPECT_FALSE(prefs.Open("a/b", 1));
    EXPECT_FALSE(prefs.IsOpen());
    EXPECT_FALSE(prefs.SetInt("k", 1));  // not open

    ASSERT_TRUE(prefs.Open("Domain", 1));
    EXPECT_EQ(prefs.GetError(), 0);
    EXPECT_FALSE(prefs.SetInt(nullptr, 1));
    EXPECT_EQ(prefs.GetError(), CPreferences::kErrorIntKey);
    EXPECT_TRUE(prefs.SetInt("k", 1));
    EXPECT_EQ(prefs.GetError(), CPreferences::kErrorIntKey);  // not reset by a success
    EXPECT_FALSE(prefs.SetString("k", nullptr));
    EXPECT_EQ(prefs.GetError(), CPreferences::kErrorStringValue);
    EXPECT_FALSE(prefs.SetString(nullptr, "v"));
    EXPECT_EQ(prefs.GetError(), CPreferences::kErrorStringKey);
    EXPECT_FALSE(prefs.SetBool(nullptr, true));
    EXPECT_EQ(prefs.GetError(), CPreferences::kErrorBoolKey);
    EXPECT_FALSE(prefs.SetData(nullptr, "x", 1));
    EXPECT_EQ(prefs.GetError(), CPreferences::kErrorDataKey);

    // A write-back that fails half way (a full disk) keeps the old file.
    ASSERT_TRUE(prefs.Synchronize());
    std::string old = ReadFile(folders_.UserFile("Domain"));
    ASSERT_TRUE(prefs.Open("Domain", 1));
    ASSERT_TRUE(prefs.SetString("big", std::string(100000, 'x').c_str()));
    {
        tavrel_test::ScopedFileSizeLimit limit(4096);
        ASSERT_TRUE(limit.Active());
        EXPECT_FALSE(prefs.Synchronize());
    }
    EXPECT_EQ(prefs.GetError(), CPreferences::kErrorSynchronize);
    EXPECT_EQ(ReadFile(folders_.UserFile("Domain")), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folders_.UserConfig() + "/tavrel/preferences"),
                            std::filesystem::directory_iterator()),
              1);

    // The store cannot be written: a file stands where its folder should be.
    ASSERT_TRUE(prefs.Open("Domain", 1));
    ASSERT_TRUE(prefs.SetInt("k", 2));
    std::filesystem::remove_all(folders_.UserConfig() + "/tavrel");
    ASSERT_TRUE(WriteFile(folders_.UserConfig() + "/tavrel", "in the way"));
    EXPECT_FALSE(prefs.Synchronize());
    EXPECT_EQ(prefs.GetError(), CPreferences::kErrorSynchronize);
    EXPECT_EQ(ReadFile(folders_.UserConfig() + "/tavrel"), "in the way");
}

// An empty file is an empty domain; a damaged one is kept aside (nothing
// lost), the domain starts empty and the error says so.
TEST_F(PreferencesTest, DamagedOrEmptyFilesStartAnEmptyDomain)
{
    std::filesystem::create_directories(folders_.UserConfig() + "/tavrel/preferences");
    struct Row {
        const char* domain;
        const char* text;
        bool damaged;
    } rows[] = {
        {"Empty", "", false},
        {"Blank", " \n", false},
        {"Broken", "<xml><oops></xml>", true},
        {"Foreign", "<plist/>", true},
        {"Twice", "<xml/><xml/>", true},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(WriteFile(folders_.UserFile(row.domain), row.text));
        {
            CPreferences prefs;
            ASSERT_TRUE(prefs.Open(row.domain, 1)) << row.domain;
            EXPECT_EQ(prefs.GetError(), row.damaged ? CPreferences::kErrorDamaged : 0) << row.domain;
            EXPECT_EQ(prefs.GetErrorMessage().find(".damaged") != std::string::npos, row.damaged) << row.domain;
            int32_t i;
            EXPECT_FALSE(prefs.GetInt("k", i));
            ASSERT_TRUE(prefs.SetInt("k", 7));
            EXPECT_TRUE(prefs.Synchronize()) << row.domain;
        }
        CPreferences again;
        int32_t i = 0;
        ASSERT_TRUE(again.Open(row.domain, 1));
        EXPECT_TRUE(again.GetInt("k", i));
        EXPECT_EQ(i, 7);
        EXPECT_EQ(again.GetError(), 0);
        std::string kept = folders_.UserFile(row.domain) + ".damaged";
        EXPECT_EQ(std::filesystem::exists(kept), row.damaged) << row.domain;
        if (row.damaged) EXPECT_EQ(ReadFile(kept), row.text);
    }
}

TEST_F(PreferencesTest, SystemScopeIsReadOnly)
{
    std::filesystem::create_directories(folders_.SystemConfig() + "/tavrel/preferences");
    ASSERT_TRUE(WriteFile(folders_.SystemFile("Site"),
                          "<xml version=\"1.0\">\n<boolean key=\"b\" value=\"true\"/>\n</xml>\n"));
    CPreferences prefs;
    ASSERT_TRUE(prefs.Open("Site", 0));
    bool b = false;
    EXPECT_TRUE(prefs.GetBool("b", b));
    EXPECT_TRUE(b);
    EXPECT_TRUE(prefs.SetBool("b", false));  // kept in memory
    EXPECT_TRUE(prefs.GetBool("b", b));
    EXPECT_FALSE(b);
    EXPECT_FALSE(prefs.Synchronize());
    EXPECT_EQ(prefs.GetError(), CPreferences::kErrorSynchronize);
    EXPECT_EQ(ReadFile(folders_.SystemFile("Site")),
              "<xml version=\"1.0\">\n<boolean key=\"b\" value=\"true\"/>\n</xml>\n");

    // A damaged file there is left where it is; the domain reads as empty.
    ASSERT_TRUE(WriteFile(folders_.SystemFile("Bad"), "<xml"));
    ASSERT_TRUE(prefs.Open("Bad", 0));
    EXPECT_EQ(prefs.GetError(), CPreferences::kErrorDamaged);
    EXPECT_EQ(ReadFile(folders_.SystemFile("Bad")), "<xml");
}

TEST_F(PreferencesTest, NoIdMeansTheApplicationsOwnDomain)
{
    {
        CPreferences prefs;
        ASSERT_TRUE(prefs.Open(nullptr, 1));
        ASSERT_TRUE(prefs.SetInt("k", 3));
        ASSERT_TRUE(prefs.Synchronize());
    }
    EXPECT_TRUE(std::filesystem::exists(folders_.UserFile("Tavrel")));
}

}  // namespace
