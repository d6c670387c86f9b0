// Copy and delete engine on real temporary trees.
#include "foundation/copy_engine.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "foundation/path.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using platform::FSRef;
using tavrel_test::IsThere;
using tavrel_test::ReadFile;
using tavrel_test::TempDir;
using tavrel_test::WriteFile;

namespace {

FSRef Ref(const std::string& path)
{
    FSRef ref;
    EXPECT_EQ(platform::MakeRef(path, &ref), platform::noErr) << path;
    return ref;
}

int Copy(const std::string& source, const std::string& folder, int action, const char* name = nullptr,
         FSRef* created = nullptr, CopyFilterProc filter = nullptr, void* user = nullptr)
{
    FSRef s = Ref(source), d = Ref(folder);
    return CopyFileSystemObject(&s, &d, 0, 0, action, name, false, true, filter, user, created, nullptr);
}

std::set<std::string> Listing(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

std::string Attribute(const std::string& path, const char* name)
{
    char value[256];
    ssize_t size = lgetxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? "<none>" : std::string(value, static_cast<size_t>(size));
}

int FailAll(bool, unsigned long, int, const platform::CatalogInfo&, const FSRef&, const platform::FSSpec*,
            const std::string*, void*)
{
    return platform::ioErr;
}

}  // namespace

TEST(CopyEngine, CopiesAFileWithItsForksAndInformation)
{
    TempDir dir;
    std::string src = dir.file("photo.jpg");
    ASSERT_TRUE(WriteFile(src, std::string(600000, 'x') + "end"));
    ASSERT_EQ(chmod(src.c_str(), 0640), 0);
    uint8_t finder[32] = {'J', 'P', 'E', 'G', '8', 'B', 'I', 'M'};
    ASSERT_EQ(platform::WriteFinderInfo(src, finder), platform::noErr);
    ASSERT_EQ(platform::CreateResourceFork(src), platform::noErr);  // empty fork
    struct timespec times[2] = {{1000000, 0}, {2000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, src.c_str(), times, 0), 0);
    fs::create_directory(dir.file("out"));

    FSRef created;
    ASSERT_EQ(Copy(src, dir.file("out"), kDupActionStandard, nullptr, &created), platform::noErr);
    std::string copy = dir.file("out/photo.jpg");
    EXPECT_EQ(created.path, copy);
    EXPECT_EQ(ReadFile(copy), ReadFile(src));
    struct stat st;
    ASSERT_EQ(stat(copy.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 2000000);
    uint8_t copied[32];
    platform::ReadFinderInfo(copy, copied);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(copied), 8), "JPEG8BIM");
    EXPECT_TRUE(platform::HasResourceFork(copy));
    EXPECT_EQ(Attribute(copy, "user.com.apple.ResourceFork"), "");

    // A clash fails with the standard action and leaves the file alone.
    ASSERT_TRUE(WriteFile(copy, "mine"));
    EXPECT_EQ(Copy(src, dir.file("out"), kDupActionStandard), platform::dupFNErr);
    EXPECT_EQ(ReadFile(copy), "mine");
    // Under another name it goes through.
    EXPECT_EQ(Copy(src, dir.file("out"), kDupActionStandard, "renamed.jpg"), platform::noErr);
    EXPECT_TRUE(IsThere(dir.file("out/renamed.jpg")));
    EXPECT_EQ(Copy(src, dir.file("out"), kDupActionStandard, "a/b"), platform::bdNamErr);
}

TEST(CopyEngine, ReplaceAndItsRestoreOnFailure)
{
    TempDir dir;
    fs::create_directory(dir.file("out"));
    ASSERT_TRUE(WriteFile(dir.file("doc.txt"), "new"));
    ASSERT_TRUE(WriteFile(dir.file("out/doc.txt"), "old"));

    // The copy fails (here through the filter): the old file is back under its name.
    EXPECT_EQ(Copy(dir.file("doc.txt"), dir.file("out"), kDupActionReplace, nullptr, nullptr, FailAll),
              platform::ioErr);
    EXPECT_EQ(ReadFile(dir.file("out/doc.txt")), "old");
    EXPECT_EQ(Listing(dir.file("out")), (std::set<std::string>{"doc.txt"}));

    // So it is when writing fails for real, as on a full disk.
    ASSERT_TRUE(WriteFile(dir.file("big.txt"), std::string(100000, 'b')));
    ASSERT_TRUE(WriteFile(dir.file("out/big.txt"), "old"));
    {
        tavrel_test::ScopedFileSizeLimit limit(4096);
        ASSERT_TRUE(limit.Active());
        EXPECT_EQ(Copy(dir.file("big.txt"), dir.file("out"), kDupActionReplace), platform::dskFulErr);
    }
    EXPECT_EQ(ReadFile(dir.file("out/big.txt")), "old");
    EXPECT_EQ(Listing(dir.file("out")), (std::set<std::string>{"doc.txt", "big.txt"}));
    fs::remove(dir.file("out/big.txt"));

    EXPECT_EQ(Copy(dir.file("doc.txt"), dir.file("out"), kDupActionReplace), platform::noErr);
    EXPECT_EQ(ReadFile(dir.file("out/doc.txt")), "new");
    EXPECT_EQ(Listing(dir.file("out")), (std::set<std::string>{"doc.txt"}));

    // A folder replaced by a file, and a locked one that stays.
    fs::create_directories(dir.file("out/tree/inner"));
    ASSERT_TRUE(WriteFile(dir.file("tree"), "file now"));
    EXPECT_EQ(Copy(dir.file("tree"), dir.file("out"), kDupActionReplace), platform::noErr);
    EXPECT_EQ(ReadFile(dir.file("out/tree")), "file now");
    ASSERT_EQ(platform::SetLocked(dir.file("out/tree"), true), platform::noErr);
    EXPECT_EQ(Copy(dir.file("doc.txt"), dir.file("out"), kDupActionReplace, "tree"), platform::fLckdErr);
    EXPECT_EQ(ReadFile(dir.file("out/tree")), "file now");

    // A leftover ".DeleteMe" is not overwritten: the replace fails instead.
    ASSERT_TRUE(WriteFile(dir.file("out/.DeleteMe"), "user data"));
    EXPECT_EQ(Copy(dir.file("doc.txt"), dir.file("out"), kDupActionReplace), platform::dupFNErr);
    EXPECT_EQ(ReadFile(dir.file("out/.DeleteMe")), "user data");
    EXPECT_EQ(ReadFile(dir.file("out/doc.txt")), "new");

    // Replacing an object by itself keeps it.
    EXPECT_EQ(Copy(dir.file("doc.txt"), dir.path(), kDupActionReplace), platform::noErr);
    EXPECT_EQ(ReadFile(dir.file("doc.txt")), "new");
    EXPECT_FALSE(IsThere(dir.file(".DeleteMe")));
}

TEST(CopyEngine, UniqueNames)
{
    TempDir dir;
    fs::create_directory(dir.file("out"));
    for (const char* name : {"photo.jpg", "noext", ".hidden", "a.b.c"}) {
        ASSERT_TRUE(WriteFile(dir.file(name), name));
        ASSERT_TRUE(WriteFile(dir.file("out/") + name, "taken"));
    }
    struct Case {
        const char* source;
        const char* first;
        const char* second;
    } cases[] = {
        {"photo.jpg", "photo 1.jpg", "photo 2.jpg"},
        {"noext", "noext 1", "noext 2"},
        {".hidden", ".hidden 1", ".hidden 2"},
        {"a.b.c", "a.b 1.c", "a.b 2.c"},
    };
    for (const Case& c : cases) {
        FSRef created;
        ASSERT_EQ(Copy(dir.file(c.source), dir.file("out"), kDupActionRename, nullptr, &created), platform::noErr);
        EXPECT_EQ(created.path, dir.file("out/") + c.first);
        ASSERT_EQ(Copy(dir.file(c.source), dir.file("out"), kDupActionRename, nullptr, &created), platform::noErr);
        EXPECT_EQ(created.path, dir.file("out/") + c.second);
        EXPECT_EQ(ReadFile(created.path), c.source);
    }

    // All nine taken: the copy fails and creates nothing.
    for (int n = 3; n <= 9; ++n) ASSERT_TRUE(WriteFile(dir.file("out/photo " + std::to_string(n) + ".jpg"), "x"));
    auto before = Listing(dir.file("out"));
    EXPECT_EQ(Copy(dir.file("photo.jpg"), dir.file("out"), kDupActionRename), platform::dupFNErr);
    EXPECT_EQ(Listing(dir.file("out")), before);
    std::string name = "photo.jpg";
    EXPECT_EQ(MakeUniqueObjectName(Ref(dir.file("out")), name), platform::dupFNErr);
    EXPECT_EQ(name, "photo.jpg");
}

TEST(CopyEngine, CopiesFolderTreesWithoutFollowingLinks)
{
    TempDir dir;
    fs::create_directories(dir.file("src/a/b/c"));
    fs::create_directories(dir.file("outside"));
    ASSERT_TRUE(WriteFile(dir.file("src/top.txt"), "top"));
    ASSERT_TRUE(WriteFile(dir.file("src/a/b/c/deep.txt"), "deep"));
    ASSERT_TRUE(WriteFile(dir.file("outside/secret"), "s"));
    ASSERT_EQ(symlink("../outside", dir.file("src/a/out").c_str()), 0);
    ASSERT_EQ(symlink(".", dir.file("src/a/loop").c_str()), 0);
    ASSERT_EQ(chmod(dir.file("src/a/b").c_str(), 0555), 0);  // read-only folder still gets filled
    fs::create_directory(dir.file("dest"));

    ASSERT_EQ(Copy(dir.file("src"), dir.file("dest"), kDupActionStandard), platform::noErr);
    EXPECT_EQ(Listing(dir.file("dest/src")), Listing(dir.file("src")));
    EXPECT_EQ(ReadFile(dir.file("dest/src/a/b/c/deep.txt")), "deep");
    EXPECT_EQ(fs::read_symlink(dir.file("dest/src/a/out")), "../outside");
    EXPECT_TRUE(fs::is_symlink(dir.file("dest/src/a/loop")));
    struct stat st;
    ASSERT_EQ(stat(dir.file("dest/src/a/b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0555u);
    // With a depth limit, what lies deeper is left out.
    FSRef s = Ref(dir.file("src")), d = Ref(dir.file("outside"));
    ASSERT_EQ(CopyFileSystemObject(&s, &d, 2, 0, 0, nullptr, false, false, nullptr, nullptr, nullptr, nullptr),
              platform::noErr);
    EXPECT_TRUE(fs::is_directory(dir.file("outside/src/a/b")));
    EXPECT_FALSE(IsThere(dir.file("outside/src/a/b/c")));

    // Deleting the copy removes the links, not what they point to. Like the
    // platform's own delete, it does not override folder permissions, which
    // bind every user but root.
    ASSERT_EQ(chmod(dir.file("dest/src/a/b").c_str(), 0755), 0);
    FSRef copy = Ref(dir.file("dest/src"));
    ASSERT_EQ(platform::SetLocked(dir.file("dest/src/top.txt"), true), platform::noErr);
    EXPECT_EQ(DeleteFileSystemObject(&copy), platform::noErr);
    EXPECT_FALSE(IsThere(dir.file("dest/src")));
    EXPECT_EQ(ReadFile(dir.file("outside/secret")), "s");
    chmod(dir.file("src/a/b").c_str(), 0755);
}

TEST(CopyEngine, RefusesToCopyAFolderIntoItself)
{
    TempDir dir;
    fs::create_directories(dir.file("src/sub/deeper"));
    ASSERT_TRUE(WriteFile(dir.file("src/f"), "f"));
    ASSERT_EQ(symlink(dir.file("src/sub").c_str(), dir.file("via-link").c_str()), 0);
    auto before = Listing(dir.file("src"));
    for (const char* target : {"src", "src/sub", "src/sub/deeper", "via-link"}) {
        for (int action : {kDupActionStandard, kDupActionReplace, kDupActionRename}) {
            EXPECT_EQ(Copy(dir.file("src"), dir.file(target), action), platform::paramErr) << target;
            EXPECT_EQ(Listing(dir.file("src")), before) << target;
        }
    }
    CPath out;
    EXPECT_FALSE(CPath(dir.file("src")).CopyTo(CPath(dir.file("src/sub")), nullptr, true, &out));
    EXPECT_EQ(Listing(dir.file("src")), before);
}

TEST(CopyEngine, ArgumentsAndDeleteErrors)
{
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("f"), "f"));
    FSRef file = Ref(dir.file("f")), folder = Ref(dir.path()), gone{dir.file("gone")};
    struct Case {
        FSRef* source;
        FSRef* folder;
        int action;
        int status;
    } cases[] = {{nullptr, &folder, 0, platform::paramErr},
                 {&file, &file, 0, platform::errFSNotAFolder},
                 {&gone, &folder, 0, platform::fnfErr},
                 {&file, &folder, 3, platform::paramErr}};
    for (const Case& c : cases)
        EXPECT_EQ(CopyFileSystemObject(c.source, c.folder, 0, 0, c.action, nullptr, false, false, nullptr, nullptr,
                                       nullptr, nullptr),
                  c.status);
    EXPECT_EQ(DeleteFileSystemObject(&file), platform::dirNFErr);
    EXPECT_EQ(DeleteFileSystemObject(nullptr), platform::paramErr);
    fs::create_directory(dir.file("target"));
    ASSERT_EQ(symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
    FSRef link = Ref(dir.file("link"));
    EXPECT_EQ(DeleteFileSystemObject(&link), platform::dirNFErr);
    EXPECT_TRUE(IsThere(dir.file("target")));
}

TEST(CopyEngine, BufferSizeAndNameText)
{
    struct Case {
        int32_t grade;
        uint32_t size;
    } cases[] = {{0, 262144}, {5, 262144}, {-2048 * 100, 51200}, {-100, 1024}, {INT32_MIN, 2097152}};
    for (const Case& c : cases) EXPECT_EQ(CalcCopyBufferSize(c.grade), c.size) << c.grade;

    std::string text;
    ASSERT_TRUE(UnicodeNameToText("Caf\xC3\xA9", text));
    EXPECT_EQ(text, "Caf\x8E");
}
