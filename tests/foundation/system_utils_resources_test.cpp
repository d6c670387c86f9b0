#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/bundle_fixture.h"
#include "foundation/system_utils.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace

TEST(ResourceStore, NamesTypeFoldersAndReadsById)
{
    EXPECT_EQ(platform::ResTypeFolderName(FourCC("GfXX")), "GfXX");
    EXPECT_EQ(platform::ResTypeFolderName(FourCC("snd ")), "snd%20");
    EXPECT_EQ(platform::ResTypeFolderName(FourCC("a/%?")), "a%2F%25?");
    EXPECT_EQ(platform::ResTypeFolderName(0x00FF4142), "%00%FFAB");

    tavrel_test::TempDir dir;
    ASSERT_TRUE(platform::WriteResource(dir.path(), FourCC("snd "), -1, Bytes("minus one")));
    ASSERT_TRUE(platform::WriteResource(dir.path(), FourCC("snd "), 128, Bytes("")));
    EXPECT_EQ(tavrel_test::ReadFile(dir.file("snd%20/-1")), "minus one");
    EXPECT_FALSE(platform::WriteResource(dir.path(), FourCC("snd "), 40000, Bytes("x")));

    CResFile file;
    EXPECT_FALSE(file.Open(dir.file("missing").c_str()));
    EXPECT_FALSE(file.IsOpen());
    ASSERT_TRUE(file.Open(dir.path().c_str()));
    ResourceHandle h;
    size_t size = 99;
    ASSERT_TRUE(file.GetResource(FourCC("snd "), -1, &h, &size));
    EXPECT_EQ(std::string(h->begin(), h->end()), "minus one");
    EXPECT_EQ(size, 9u);
    ASSERT_TRUE(file.GetResource(FourCC("snd "), 128, &h, nullptr));
    EXPECT_TRUE(h->empty());
    EXPECT_FALSE(file.GetResource(FourCC("snd "), 129, &h, &size));
    EXPECT_FALSE(h);
    EXPECT_FALSE(file.GetResource(FourCC("PICT"), -1, &h, &size));
    // An id beyond 16 bits wraps to nothing, not to another resource.
    EXPECT_FALSE(file.GetResource(FourCC("snd "), 65535, &h, &size));
    file.Close();
    EXPECT_FALSE(file.GetResource(FourCC("snd "), -1, &h, &size));
}

TEST(MainResource, OpensMainRsrcOnceAndRetriesAfterAFailedOpen)
{
    tavrel_test::ScopedBundle bundle("");
    CloseMainResourceFile();
    const std::string rsrc = bundle.Resources() + "/main.rsrc";
    ResourceHandle h;
    size_t size = 0;
    // No main.rsrc yet: the failed open is not kept.
    EXPECT_FALSE(GetCachedMainResource(FourCC("GfXX"), 128, &h, &size));

    std::filesystem::create_directories(rsrc);
    ASSERT_TRUE(platform::WriteResource(rsrc, FourCC("GfXX"), 128, Bytes("picture")));
    ASSERT_TRUE(platform::WriteResource(rsrc, FourCC("PICT"), 200, Bytes("pict")));
    ASSERT_TRUE(platform::WriteResource(rsrc, FourCC("Prld"), 1000, Bytes("movie")));
    const uint64_t opensBefore = platform::ResourceStore::OpenCount();
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(GetCachedMainResource(FourCC("GfXX"), 128, &h, &size));
        EXPECT_EQ(size, 7u);
        ASSERT_TRUE(LoadMainResource(FourCC("Prld"), 1000, &h, nullptr));
        EXPECT_EQ(std::string(h->begin(), h->end()), "movie");
    }
    EXPECT_EQ(platform::ResourceStore::OpenCount(), opensBefore + 1);
    ASSERT_TRUE(LoadPicture(200, &h));
    EXPECT_EQ(h->size(), 4u);
    EXPECT_FALSE(LoadPicture(201, &h));
    EXPECT_FALSE(GetCachedMainResource(FourCC("GfXX"), 129, &h, &size));

    // The open file keeps serving even after the folder has moved away.
    std::filesystem::rename(rsrc, rsrc + ".moved");
    EXPECT_TRUE(GetCachedMainResource(FourCC("GfXX"), 128, &h, &size));
    EXPECT_TRUE(ReleaseMainResource(&h));
    EXPECT_FALSE(h);
    EXPECT_TRUE(ReleaseMainResource(&h));
    EXPECT_EQ(platform::ResourceStore::OpenCount(), opensBefore + 1);
    CloseMainResourceFile();
    EXPECT_FALSE(GetCachedMainResource(FourCC("GfXX"), 128, &h, &size));
}

TEST(SetAppMemorySize, RewritesBothSizesOfTheSizeResource)
{
    tavrel_test::TempDir dir;
    const std::string app = dir.file("Player.app");
    const std::string rsrc = app + "/Contents/Resources/main.rsrc";
    std::filesystem::create_directories(rsrc);
    EXPECT_FALSE(SetAppMemorySize(app.c_str(), 1, 2));  // no 'SIZE' -1 yet

    const std::vector<uint8_t> original = {0x58, 0x80, 1, 1, 1, 1, 2, 2, 2, 2, 0xAB};
    ASSERT_TRUE(platform::WriteResource(rsrc, FourCC("SIZE"), -1, original));
    ASSERT_TRUE(SetAppMemorySize(app.c_str(), 0x01020304, 0x00A0B0C0));
    const std::string now = tavrel_test::ReadFile(rsrc + "/SIZE/-1");
    const std::string expect = {'\x58', '\x80', 1, 2, 3, 4, 0, '\xA0', '\xB0', '\xC0', '\xAB'};
    EXPECT_EQ(now, expect);

    // Too short to hold the sizes: untouched.
    ASSERT_TRUE(platform::WriteResource(rsrc, FourCC("SIZE"), -1, {1, 2, 3}));
    EXPECT_FALSE(SetAppMemorySize(app.c_str(), 5, 6));
    EXPECT_EQ(tavrel_test::ReadFile(rsrc + "/SIZE/-1"), std::string("\x01\x02\x03"));
}
