#include "ui/recent_items.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/preferences_fixture.h"
#include "support/test_support.h"

namespace tavrel_test {
namespace {

class RecentItemsTest : public ::testing::Test {
protected:
    RecentItemsTest() { EXPECT_TRUE(prefs_.Open("RecentTest", CPreferences::kScopeCurrentUserAnyHost)); }

    // Real files f0, f1, ... so that a load keeps them.
    std::string File(int i)
    {
        std::string path = dir_.file("f" + std::to_string(i) + ".tvr");
        WriteFile(path, "x");
        return path;
    }
    static std::vector<std::string> Entries(const CRecentItems& list)
    {
        std::vector<std::string> out;
        for (int i = 0; list.GetAt(i); ++i) out.push_back(list.GetAt(i)->GetFullPath());
        return out;
    }
    std::string Stored(const std::string& key)
    {
        char buffer[4096] = "";
        return prefs_.GetString(key.c_str(), buffer, sizeof buffer) ? buffer : "(missing)";
    }

    ScopedPreferencesFolders folders_;
    TempDir dir_;
    CPreferences prefs_;
};

TEST_F(RecentItemsTest, AddMovesTheSamePathToTheFrontWhateverItsCase)
{
    CRecentItems list;
    const CPath a("/users/A/SLIDES"), b("/other");
    list.Add(&a);
    list.Add(&b);
    const CPath again("/Users/a/Slides");
    list.Add(&again);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"/Users/a/Slides", "/other"}));

    // An entry beyond the limit is still found, so raising the limit shows no duplicate.
    list.SetLimit(1);
    list.Add(&b);
    list.Add(&again);
    list.SetLimit(5);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"/Users/a/Slides", "/other"}));
}

TEST_F(RecentItemsTest, SaveWritesTheCountedEntriesOldestFirstAndLoadRestoresThem)
{
    CRecentItems list;
    std::vector<std::string> files;
    for (int i = 0; i < 7; ++i) {
        files.push_back(File(i));
        CPath path(files.back());
        list.Add(&path);
    }
    EXPECT_EQ(list.GetCount(), 5);
    ASSERT_TRUE(list.Save(prefs_, "recent"));
    int32_t limit = 0;
    EXPECT_TRUE(prefs_.GetInt("recent_max", limit));
    EXPECT_EQ(limit, 5);
    EXPECT_EQ(Stored("recent_1"), files[2]);
    EXPECT_EQ(Stored("recent_5"), files[6]);
    EXPECT_EQ(Stored("recent_6"), "(missing)");

    CRecentItems loaded;
    loaded.SetLimit(9);
    ASSERT_TRUE(loaded.Load(prefs_, "recent"));
    EXPECT_EQ(loaded.GetLimit(), 5u);
    EXPECT_EQ(Entries(loaded), (std::vector<std::string>{files[6], files[5], files[4], files[3], files[2]}));

    // A shorter list saved later leaves none of the old keys to load.
    CRecentItems shorter;
    CPath one(files[0]), two(files[1]);
    shorter.Add(&one);
    shorter.Add(&two);
    shorter.Save(prefs_, "recent");
    EXPECT_EQ(Stored("recent_3"), "(missing)");
    // The removal reaches the stored domain too.
    prefs_.Synchronize();
    ASSERT_TRUE(prefs_.Open("RecentTest", CPreferences::kScopeCurrentUserAnyHost));
    EXPECT_EQ(Stored("recent_3"), "(missing)");
    EXPECT_EQ(Stored("recent_2"), files[1]);
    CRecentItems reloaded;
    reloaded.Load(prefs_, "recent");
    EXPECT_EQ(Entries(reloaded), (std::vector<std::string>{files[1], files[0]}));
}

TEST_F(RecentItemsTest, LoadSkipsWhatIsGoneAndStopsAtAMissingKey)
{
    const std::string a = File(0), b = File(1), c = File(2);
    // A path longer than 255 bytes is read whole.
    std::string deep = dir_.path();
    while (deep.size() < 300) deep += "/" + std::string(40, 'd');
    std::filesystem::create_directories(deep);
    const std::string longFile = deep + "/long.tvr";
    WriteFile(longFile, "x");
    const struct {
        const char* name;
        std::vector<std::string> stored;  // N_1, N_2, ... ("" leaves the key out)
        int limit;
        std::vector<std::string> loaded;
    } cases[] = {
        {"gap", {a, "", c}, 5, {a}},     {"gone", {a, dir_.file("gone.tvr"), c}, 5, {c, a}}, {"zero", {a, b}, 0, {}},
        {"limit", {a, b, c}, 2, {b, a}}, {"long", {a, longFile, b}, 5, {b, longFile, a}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prefs_.SetInt((std::string(c.name) + "_max").c_str(), c.limit);
        for (size_t k = 0; k < c.stored.size(); ++k)
            if (!c.stored[k].empty())
                prefs_.SetString((std::string(c.name) + "_" + std::to_string(k + 1)).c_str(), c.stored[k].c_str());
        CRecentItems list;
        list.Load(prefs_, c.name);
        EXPECT_EQ(Entries(list), c.loaded);
    }
}

TEST_F(RecentItemsTest, MenuShowsTheCountedEntriesUnderItsCommands)
{
    CMenu file;
    ASSERT_TRUE(file.Create(300, "File"));
    file.AppendItem(FourCC("rcnt"), "Open Recent");
    CRecentItemsMenu menu;
    ASSERT_TRUE(menu.SetSubmenu(file, 0, 301, 6000));
    const CPath a("/a.tvr"), b("/b.tvr"), c("/c.tvr");
    menu.Add(&a, false);
    menu.Add(&b, true);
    EXPECT_EQ(menu.GetMenu().CountItems(), 2);
    EXPECT_EQ(menu.GetPathForItem(6000)->GetFullPath(), "/b.tvr");
    EXPECT_EQ(menu.GetPathForItem(6001)->GetFullPath(), "/a.tvr");
    for (UInt32 command : {5999u, 6002u}) EXPECT_EQ(menu.GetPathForItem(command), nullptr) << command;

    menu.Add(&c, false);
    EXPECT_EQ(menu.GetPathForItem(6002), nullptr);  // not shown until rebuilt
    menu.SetLimit(2, true);
    EXPECT_EQ(menu.GetMenu().CountItems(), 2);

    CRecentItems copy;
    menu.GetList(copy);
    CRecentItemsMenu other;
    other.SetList(copy);
    CRecentItems back;
    other.GetList(back);
    EXPECT_EQ(Entries(back), (std::vector<std::string>{"/c.tvr", "/b.tvr", "/a.tvr"}));
    EXPECT_EQ(back.GetLimit(), 2u);
}

}  // namespace
}  // namespace tavrel_test
