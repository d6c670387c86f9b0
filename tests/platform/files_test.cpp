// The POSIX file layer: status codes, HFS paths, URLs, references.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "support/test_support.h"

using namespace platform;
using tavrel_test::TempDir;
using tavrel_test::WriteFile;

TEST(Files, StatusFromErrno)
{
    struct Case {
        int err;
        OSStatus status;
    } cases[] = {{0, 0},        {ENOENT, -43},   {EEXIST, -48}, {EINVAL, -50}, {ENOTDIR, -120},
                 {EACCES, -5000}, {EPERM, -5000}, {EBUSY, -47},  {ENOTEMPTY, -47}, {ENOSPC, -34},
                 {EIO, -36},    {EROFS, -44},    {ENAMETOOLONG, -37}, {EISDIR, -1302}, {EHOSTDOWN, -36}};
    for (const Case& c : cases) EXPECT_EQ(StatusFromErrno(c.err), c.status) << c.err;
}

TEST(Files, HfsPathRule)
{
    struct Case {
        const char* hfs;
        const char* posix;
    } both[] = {
        {"Macintosh HD:Users:me:file", "/Users/me/file"},
        {"Macintosh HD:tmp:", "/tmp/"},
        {"Macintosh HD:", "/"},
        {"Disk:Folder:file", "/Volumes/Disk/Folder/file"},
        {"Disk:", "/Volumes/Disk/"},
        {"Disk:a/b", "/Volumes/Disk/a:b"},
        {":rel:x", "rel/x"},
    };
    for (const Case& c : both) {
        EXPECT_EQ(HfsToPosix(c.hfs), c.posix) << c.hfs;
        std::string posix = c.posix;
        EXPECT_EQ(PosixToHfs(posix, posix.back() == '/'), c.hfs) << c.posix;
    }
    EXPECT_EQ(HfsToPosix("Disk:a::b"), "/Volumes/Disk/a/../b");
    EXPECT_EQ(HfsToPosix(""), "");
}

TEST(Files, FileUrls)
{
    FileURL url{"/a b/caf\xC3\xA9%#?.txt", false};
    std::string text = url.ToString();
    EXPECT_EQ(text, "file:///a%20b/caf%C3%A9%25%23%3F.txt");
    FileURL back;
    ASSERT_TRUE(FileURL::FromString(text, &back));
    EXPECT_EQ(back.path, url.path);
    EXPECT_FALSE(back.directory);
    ASSERT_TRUE(FileURL::FromString("file://localhost/tmp/", &back));
    EXPECT_EQ(back.path, "/tmp/");
    EXPECT_TRUE(back.directory);
    for (const char* bad : {"http://x/y", "file://host/x", "file:///a%00b", "file:///a%2", "file:rel"})
        EXPECT_FALSE(FileURL::FromString(bad, &back)) << bad;
}

TEST(Files, ReferencesAndNames)
{
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("f"), "x"));
    FSRef ref;
    EXPECT_EQ(MakeRef(dir.file("f") + "//", &ref), noErr);
    EXPECT_EQ(ref.path, dir.file("f"));
    EXPECT_EQ(MakeRef(dir.file("none"), &ref), fnfErr);
    EXPECT_TRUE(ref.IsNull());
    EXPECT_EQ(MakeRef("relative", &ref), paramErr);
    EXPECT_EQ(MakeRef(dir.file("f/x"), &ref), dirNFErr);

    FSSpec spec;
    EXPECT_EQ(MakeSpec(dir.file("new"), &spec), noErr);
    EXPECT_EQ(spec.Path(), dir.file("new"));
    EXPECT_EQ(MakeSpec(dir.file("none/new"), &spec), fnfErr);

    for (const char* bad : {"", ".", "..", "a/b"}) EXPECT_FALSE(IsValidName(bad)) << bad;
    EXPECT_FALSE(IsValidName(std::string(256, 'a')));
    EXPECT_TRUE(IsValidName("a:b"));

    FSRef folder;
    ASSERT_EQ(MakeRef(dir.path(), &folder), noErr);
    EXPECT_EQ(CreateFolderIn(folder, "../x", 0755, nullptr), bdNamErr);
    EXPECT_EQ(CreateFileIn(folder, "f", nullptr), dupFNErr);
}
