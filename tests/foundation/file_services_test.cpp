// Typed files, Finder information, rename, delete, lock and forks.
#include "foundation/file_services.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "foundation/path.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using platform::FSRef;
using tavrel_test::ReadFile;
using tavrel_test::TempDir;
using tavrel_test::WriteFile;

namespace {

std::string Changed(const std::string& name, const char* extension)
{
    unsigned char str[256];
    str[0] = static_cast<unsigned char>(name.size());
    std::memcpy(str + 1, name.data(), name.size());
    if (!ChangeExtension(str, extension)) return "<refused>";
    return std::string(reinterpret_cast<char*>(str + 1), str[0]);
}

CFinderInfo FinderInfoOf(const std::string& path)
{
    CURLRef file;
    file.SetPath(CPath(path));
    CFinderInfo info;
    GetFileFinderInfo(file, info);
    return info;
}

FSRef Ref(const std::string& path)
{
    FSRef ref;
    EXPECT_EQ(platform::MakeRef(path, &ref), platform::noErr);
    return ref;
}

}  // namespace

TEST(FileServices, ChangeExtension)
{
    struct Case {
        const char* name;
        const char* ext;
        const char* result;
    } cases[] = {
        {"photo.jpeg", "png", "photo.png"},     {"photo", "png", "photo.png"},
        {"photo.jpeg", "", "photo"},            {"archive.tar.gz", "zip", "archive.tar.zip"},
        {"photo", "", "photo"},                 {"dot.", "swf", "dot.swf"},
    };
    for (const Case& c : cases) EXPECT_EQ(Changed(c.name, c.ext), c.result) << c.name;
    // A result longer than 255 bytes is refused rather than overrun.
    EXPECT_EQ(Changed(std::string(250, 'n'), "longext"), "<refused>");
    EXPECT_EQ(Changed(std::string(250, 'n') + ".a", "bcd"), std::string(250, 'n') + ".bcd");
}

TEST(FileServices, CreateTypedFile)
{
    TempDir dir;
    CFileInfo info;
    info.type = FourCC("SWFL");
    info.creator = FourCC("SWF2");
    std::string movie = dir.file("movie.swf");
    ASSERT_TRUE(CreateTypedFile(CPath(movie), &info, false));
    CFinderInfo finder = FinderInfoOf(movie);
    EXPECT_EQ(finder.type, FourCC("SWFL"));
    EXPECT_EQ(finder.creator, FourCC("SWF2"));
    EXPECT_EQ(finder.finderFlags, 0);

    // Existing file without replace: fails and leaves it alone.
    ASSERT_TRUE(WriteFile(movie, "content"));
    EXPECT_FALSE(CreateTypedFile(CPath(movie), nullptr, false));
    EXPECT_EQ(ReadFile(movie), "content");
    // With replace: a fresh empty file with '????' codes.
    ASSERT_TRUE(CPath(movie).CreateFile(nullptr, true));
    EXPECT_EQ(ReadFile(movie), "");
    EXPECT_EQ(FinderInfoOf(movie).type, kUnknownType);
    EXPECT_EQ(FinderInfoOf(movie).creator, kUnknownType);

    // Folders, missing folders and locked files are never replaced.
    fs::create_directory(dir.file("folder"));
    EXPECT_FALSE(CreateTypedFile(CPath(dir.file("folder")), nullptr, true));
    EXPECT_TRUE(fs::is_directory(dir.file("folder")));
    EXPECT_FALSE(CreateTypedFile(CPath(dir.file("none/x")), nullptr, true));
    EXPECT_FALSE(fs::exists(dir.file("x")));

    CFileInfo hidden;
    hidden.invisible = true;
    hidden.locked = true;
    std::string locked = dir.file("locked");
    ASSERT_TRUE(CreateTypedFile(CPath(locked), &hidden, false));
    EXPECT_EQ(FinderInfoOf(locked).finderFlags, kFinderIsInvisible);
    EXPECT_TRUE(platform::IsLocked(locked));
    EXPECT_FALSE(CreateTypedFile(CPath(locked), nullptr, true));
    EXPECT_FALSE(DeleteFileRef(Ref(locked)));
    EXPECT_FALSE(CPath(locked).Delete());
    EXPECT_EQ(GetLastFileError(), platform::fLckdErr);
    EXPECT_TRUE(SetFileLocked(Ref(locked), false));
    EXPECT_TRUE(DeleteFileRef(Ref(locked)));

    // A replaced file keeps its mode, through a link that stays a link, and
    // is given open for writing whatever that mode allows; the old one
    // stays whole until the new one is.
    ASSERT_TRUE(WriteFile(dir.file("read-only.swf"), "old") && ::chmod(dir.file("read-only.swf").c_str(), 0444) == 0);
    fs::create_symlink("read-only.swf", dir.file("link.swf"));
    CTypedOutputFile opened;
    ASSERT_TRUE(opened.Open(CPath(dir.file("link.swf")), &info, true));
    ASSERT_GE(std::fputs("new", opened.GetStream()), 0);
    EXPECT_EQ(ReadFile(dir.file("read-only.swf")), "old");
    ASSERT_TRUE(opened.Commit());
    EXPECT_TRUE(fs::is_symlink(dir.file("link.swf")));
    EXPECT_EQ(ReadFile(dir.file("read-only.swf")), "new");
    EXPECT_EQ(fs::status(dir.file("read-only.swf")).permissions(),
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    // Nothing is left behind by the replacing.
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"movie.swf", "folder", "read-only.swf", "link.swf"}));
}

// A writer that stops midway (killed, crashed, a full disk) leaves the old
// file whole; one that finishes replaces it, as a plain user does their own
// read-only file (attributes first, its mode last) and as a link to a file
// yet to be made makes that file.
TEST(FileServices, TypedFilesReplaceOnlyWhenWhole)
{
    TempDir dir;
    const std::string home = dir.file("home");
    fs::create_directory(home);
    ASSERT_TRUE(WriteFile(home + "/old.tvr", "the old project"));
    for (bool finish : {false, true}) {
        std::fflush(nullptr);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            CTypedOutputFile file;
            if (!file.Open(CPath(home + "/old.tvr"), nullptr, true) || std::fputs("<xml", file.GetStream()) < 0 ||
                std::fflush(file.GetStream()) != 0)
                _exit(2);
            if (finish && !file.Commit()) _exit(3);
            _exit(finish ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), finish ? 0 : 1);
        EXPECT_EQ(ReadFile(home + "/old.tvr"), finish ? "<xml" : "the old project");
    }

    ASSERT_TRUE(WriteFile(home + "/mine.swf", "old") && ::chmod((home + "/mine.swf").c_str(), 0444) == 0);
    fs::create_directory(home + "/sub");
    fs::create_symlink(home + "/sub/movie.swf", home + "/made.swf");
    for (const char* name : {"/old.tvr", "/mine.swf", "/sub"}) {
        if (::geteuid() == 0) ASSERT_EQ(::chown((home + name).c_str(), tavrel_test::kPlainUser, tavrel_test::kPlainUser), 0);
    }
    std::string why;
    const int failed = tavrel_test::RunAsPlainUser(home, [] {
        CFileInfo info;
        info.type = FourCC("SWFL");
        info.creator = FourCC("SWF2");
        int failures = 0;
        for (const char* name : {"mine.swf", "made.swf"}) {
            failures <<= 1;
            CTypedOutputFile file;
            if (!file.Open(CPath(fs::absolute(name).string()), &info, true) || std::fputs("FWS", file.GetStream()) < 0 ||
                !file.Commit())
                failures |= 1;
        }
        return failures;
    }, &why);
    if (failed < 0) GTEST_SKIP() << why;
    EXPECT_EQ(failed, 0) << "1: the link's file not made; 2: the read-only file not replaced";
    EXPECT_EQ(ReadFile(home + "/mine.swf"), "FWS");
    EXPECT_EQ(fs::status(home + "/mine.swf").permissions(),
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(FinderInfoOf(home + "/mine.swf").type, FourCC("SWFL"));
    EXPECT_TRUE(fs::is_symlink(home + "/made.swf"));
    EXPECT_EQ(ReadFile(home + "/sub/movie.swf"), "FWS");
}

TEST(FileServices, FinderInformationMasks)
{
    TempDir dir;
    std::string path = dir.file("f");
    ASSERT_TRUE(WriteFile(path, ""));
    CURLRef file;
    ASSERT_TRUE(file.SetPath(CPath(path)));

    CFinderInfo set;
    set.mask = CFinderInfo::kType | CFinderInfo::kLocation;
    set.type = FourCC("TEXT");
    set.creator = FourCC("xxxx");  // not in the mask
    set.iconLocation = {-5, 300};
    ASSERT_TRUE(SetFileFinderInfo(file, set));
    ASSERT_TRUE(SetFileInvisible(Ref(path), true));
    ASSERT_TRUE(SetFileHasBundle(file));
    CFinderInfo got = FinderInfoOf(path);
    EXPECT_EQ(got.type, FourCC("TEXT"));
    EXPECT_EQ(got.creator, 0u);
    EXPECT_EQ(got.iconLocation.v, -5);
    EXPECT_EQ(got.iconLocation.h, 300);
    EXPECT_EQ(got.finderFlags, kFinderIsInvisible | kFinderHasBundle);
    ASSERT_TRUE(SetFileInvisible(Ref(path), false));
    EXPECT_EQ(FinderInfoOf(path).finderFlags, kFinderHasBundle);

    fs::create_directory(dir.file("d"));
    CURLRef folder;
    folder.SetPath(CPath(dir.file("d")));
    CFolderFinderInfo bounds;
    bounds.mask = CFolderFinderInfo::kWindowBounds | CFolderFinderInfo::kFlags;
    bounds.windowBounds = {10, 20, 300, 400};
    bounds.finderFlags = 0x0400;
    ASSERT_TRUE(SetFolderFinderInfo(folder, bounds));
    CFolderFinderInfo read;
    ASSERT_TRUE(GetFolderFinderInfo(folder, read));
    EXPECT_EQ(read.windowBounds.bottom, 300);
    EXPECT_EQ(read.windowBounds.right, 400);
    EXPECT_EQ(read.finderFlags, 0x0400);

    // A missing file leaves the record as it was.
    CURLRef gone;
    gone.SetPath(CPath(dir.file("gone")));
    CFinderInfo untouched;
    untouched.type = 42;
    EXPECT_TRUE(GetFileFinderInfo(gone, untouched));
    EXPECT_EQ(untouched.type, 42u);
    EXPECT_FALSE(SetFileFinderInfo(gone, set));
}

TEST(FileServices, RenameByReference)
{
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("a"), "a"));
    ASSERT_TRUE(WriteFile(dir.file("b"), "b"));
    EXPECT_FALSE(RenameFileRef(Ref(dir.file("a")), "b"));  // no silent replace
    EXPECT_EQ(ReadFile(dir.file("b")), "b");
    EXPECT_FALSE(RenameFile(CPath(dir.file("a")), "../escape"));
    EXPECT_TRUE(RenameFile(CPath(dir.file("a")), "c"));
    EXPECT_EQ(ReadFile(dir.file("c")), "a");
    EXPECT_FALSE(RenameFile(CPath(dir.file("a")), "d"));

    platform::FSSpec spec;
    ASSERT_TRUE(GetFileCatalogInfo(Ref(dir.file("c")), &spec));
    EXPECT_EQ(spec.parent, dir.path());
    EXPECT_EQ(spec.name, "c");
}

TEST(FileServices, Forks)
{
    TempDir dir;
    std::string path = dir.file("f");
    ASSERT_TRUE(WriteFile(path, ""));
    CURLRef file;
    file.SetPath(CPath(path));
    EXPECT_FALSE(file.CloseFork());
    EXPECT_EQ(file.WriteFork("x", 1), 0u);
    EXPECT_FALSE(file.OpenDataFork(0));
    EXPECT_EQ(file.GetLastStatus(), platform::paramErr);

    ASSERT_TRUE(file.OpenDataFork(CURLRef::kWrite));
    EXPECT_EQ(file.WriteFork("data", 4), 4u);
    EXPECT_TRUE(file.CloseFork());
    EXPECT_EQ(ReadFile(path), "data");

    EXPECT_FALSE(file.OpenResourceFork(CURLRef::kRead));  // none yet
    ASSERT_TRUE(file.OpenResourceFork(CURLRef::kReadWrite));
    EXPECT_EQ(file.WriteFork("rsrc", 4), 4u);
    EXPECT_TRUE(file.CloseFork());
    EXPECT_TRUE(platform::HasResourceFork(path));
    EXPECT_EQ(ReadFile(path), "data");
    ASSERT_TRUE(file.OpenResourceFork(CURLRef::kRead));
    EXPECT_EQ(file.WriteFork("no", 2), 0u);  // read-only
    EXPECT_TRUE(file.CloseFork());

    ASSERT_TRUE(SetFileLocked(Ref(path), true));
    EXPECT_FALSE(file.OpenDataFork(CURLRef::kWrite));
    EXPECT_EQ(file.GetLastStatus(), platform::fLckdErr);
    EXPECT_TRUE(file.OpenDataFork(CURLRef::kRead));
    SetFileLocked(Ref(path), false);

    CURLRef gone;
    gone.SetPath(CPath(dir.file("gone")));
    EXPECT_FALSE(gone.OpenDataFork(CURLRef::kRead));
    EXPECT_EQ(gone.GetLastStatus(), platform::fnfErr);
}

TEST(FileServices, CreateAtURL)
{
    TempDir dir;
    platform::FileURL url;
    url.path = dir.file("new file");
    platform::CatalogInfo info;
    std::memcpy(info.finderInfo, "APPLaplt", 8);
    FSRef ref;
    ASSERT_TRUE(CreateFileAtURL(&ref, url, kFSCatInfoFinderInfo, &info));
    EXPECT_EQ(FinderInfoOf(ref.path).type, FourCC("APPL"));
    EXPECT_FALSE(CreateFileAtURL(&ref, url, 0, nullptr));  // exists
    url.path = dir.file("none/x");
    EXPECT_FALSE(CreateFileAtURL(&ref, url, 0, nullptr));
    EXPECT_FALSE(GetFSRefFromURL(&ref, url));
}
