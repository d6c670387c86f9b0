// Paths and folders on real temporary trees.
#include "foundation/path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "support/bundle_fixture.h"
#include "platform/gestalt.h"
#include "support/scoped_env.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using tavrel_test::IsThere;
using tavrel_test::ReadFile;
using tavrel_test::ScopedBundle;
using tavrel_test::ScopedEnv;
using tavrel_test::TempDir;
using tavrel_test::WriteFile;

namespace {

std::set<std::string> Listing(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

}  // namespace

// Only "/" separates in a POSIX path; a colon makes an HFS path only after
// the boot volume or a mounted one, or at the start.
TEST(PathText, PartsOfEveryStyle)
{
    struct Case {
        const char* text;
        int style;
        bool relative;
        const char* name;
        const char* bare;
        const char* ext;
        const char* parent;
    } cases[] = {
        {"", 0, false, "", "", "", ""},
        {"Macintosh HD:Pics:photo.jpg", 1, true, "photo.jpg", "photo", ".jpg", "Macintosh HD:Pics"},
        {"Macintosh HD:file", 1, true, "file", "file", "", "Macintosh HD:"},
        {":Folder:x", 1, true, "x", "x", "", ":Folder"},
        {"Disk:Folder:file", 0, true, "Disk:Folder:file", "Disk:Folder:file", "", "."},
        {"12:30.jpg", 0, true, "12:30.jpg", "12:30", ".jpg", "."},
        {"..:x", 0, true, "..:x", ".", ".:x", "."},
        {"Disk:Folder/file", 0, true, "file", "file", "", "Disk:Folder"},
        {"/a:b", 0, false, "a:b", "a:b", "", "/"},
        {"a/b", 0, true, "b", "b", "", "a"},
        {"\\a", 0, false, "\\a", "\\a", "", "."},
        {"d/x\\y.jpg", 0, true, "x\\y.jpg", "x\\y", ".jpg", "d"},
        {"/a/b\\", 0, false, "b\\", "b\\", "", "/a"},
        {"/a/\x80\xff\n.t", 0, false, "\x80\xff\n.t", "\x80\xff\n", ".t", "/a"},
        {"/a/archive.tar.gz", 0, false, "archive.tar.gz", "archive.tar", ".gz", "/a"},
        {"/a/dir/", 0, false, "dir", "dir", "", "/a"},
        {"/a/.profile", 0, false, ".profile", ".profile", "", "/a"},
        {"rel/x.y/z", 0, true, "z", "z", "", "rel/x.y"},
        {"/a", 0, false, "a", "a", "", "/"},
        {"/", 0, false, "/", "/", "", "/"},
    };
    for (const Case& c : cases) {
        CPath path(c.text);
        EXPECT_EQ(path.GetPathStyle(), c.style) << c.text;
        EXPECT_EQ(path.IsRelative(), c.relative) << c.text;
        EXPECT_EQ(path.GetFileName(), c.name) << c.text;
        EXPECT_EQ(path.GetFileName(true), c.bare) << c.text;
        EXPECT_EQ(path.GetExtension(true), c.ext) << c.text;
        EXPECT_EQ(path.GetParent().GetText(), c.parent) << c.text;
    }
    EXPECT_EQ(CPath("/a/archive.tar.gz").GetExtension(false), "gz");
    EXPECT_EQ(CPath("/a/b/c/").GetParent(true).GetText(), "/a/b/");

    struct Change {
        const char* in;
        const char* separated;  // AddTrailingSeparator
        const char* named;      // SetFileName("n")
        const char* bare;       // RemoveExtension
    } changes[] = {
        {"a//", "a/", "a//n", "a//"},
        {"/", "/", "/n", "/"},
        {"a\\", "a\\/", "./n", "a\\"},
        {"d/x\\y.jpg", "d/x\\y.jpg/", "d/n", "d/x\\y"},
        {"/a/b.c/d.e.f", "/a/b.c/d.e.f/", "/a/b.c/n", "/a/b.c/d.e"},
        {"/a/b.c/d", "/a/b.c/d/", "/a/b.c/n", "/a/b.c/d"},
        {"Macintosh HD:F", "Macintosh HD:F:", "Macintosh HD:n", "Macintosh HD:F"},
        {"", "", "n", ""},
    };
    for (const Change& c : changes) {
        CPath separated(c.in), named(c.in), bare(c.in);
        separated.AddTrailingSeparator();
        named.SetFileName("n");
        bare.RemoveExtension();
        EXPECT_EQ(separated.GetText(), c.separated) << c.in;
        EXPECT_EQ(named.GetText(), c.named) << c.in;
        EXPECT_EQ(bare.GetText(), c.bare) << c.in;
    }

    CPath out;
    CPath::CombineRaw(out, "x.swf", CPath("/tmp//"));
    EXPECT_EQ(out.GetText(), "/tmp/x.swf");
    CPath::CombineRaw(out, "a/b", CPath("Macintosh HD:Folder"));
    EXPECT_EQ(out.GetText(), "Macintosh HD:Folder:a:b");
    EXPECT_EQ(out.GetFullPath(), "/Folder/a/b");
    EXPECT_FALSE(CPath("/A/b.TXT").DiffersNoCase(CPath("/a/B.txt")));
    EXPECT_TRUE(CPath("/a/b").DiffersNoCase(CPath("/a/c")));
}

TEST(PathText, FullPathIsRelativeToTheBundle)
{
    ScopedBundle bundle("");
    std::string base = fs::canonical(bundle.Path()).string();
    struct Case {
        const char* text;
        int style;
        std::string full;
    } cases[] = {
        {"Contents/Resources/x", 0, base + "/Contents/Resources/x"},
        {"12:30.jpg", 0, base + "/12:30.jpg"},
        {"", 0, ""},
        {"/a/../b", 0, "/a/../b"},  // no normalisation
        // An HFS path names its volume: it is converted, not hung under the bundle.
        {"Macintosh HD:tmp:x", 0, "/tmp/x"},
        {"/Volumes/Disk/Folder/a:b", 1, "Disk:Folder:a/b"},
        {"/tmp/dir/", 1, "Macintosh HD:tmp:dir:"},
    };
    for (const Case& c : cases) EXPECT_EQ(CPath(c.text).GetFullPath(c.style), c.full) << c.text;
    CPath app;
    ASSERT_TRUE(GetAppFolder(app));
    EXPECT_EQ(app.GetText(), base + "/");
}

TEST(PathText, ResolveRelativePath)
{
    TempDir dir;
    fs::create_directories(dir.file("a/b"));
    fs::create_directories(dir.file("a/img"));
    std::string doc = dir.file("a/b/doc.xml");
    struct Case {
        const char* path;
        std::string base, resolved;
    } cases[] = {
        {"../img/p.jpg", doc, dir.file("a/img/p.jpg")},
        {"./p.jpg", doc, dir.file("a/b/p.jpg")},
        {"..\\img", dir.file("a/b"), dir.file("a/img/")},  // base is a folder; stored text may use "\"
        {"../p.jpg", dir.file("c\\d/doc.xml"), dir.file("p.jpg")},  // a "\" in the base is part of a name
        {"/abs/p.jpg", doc, "/abs/p.jpg"},
        {"../../../../../../../../../../../..", "/a/doc.xml", "/"},
    };
    for (const Case& c : cases) {
        CPath out;
        CPath::ResolveRelativePath(out, c.path, CPath(c.base));
        EXPECT_EQ(out.GetText(), c.resolved) << c.path;
    }
}

// Operations act on exactly the path: a missing one has no reference (not
// even its folder's), deleting it succeeds and touches nothing, and a folder
// whose parent is missing is not made one level higher.
TEST(PathFiles, OperationsActOnTheExactPath)
{
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("keep.txt"), "keep"));
    fs::create_directory(dir.file("dest"));
    CPath missing(dir.file("missing"));
    platform::FSRef ref;
    EXPECT_FALSE(missing.Exists());
    EXPECT_FALSE(missing.ToFSRef(&ref));
    EXPECT_TRUE(ref.IsNull());
    EXPECT_TRUE(missing.Delete());
    EXPECT_TRUE(missing.DeleteDirectory());
    EXPECT_FALSE(missing.CopyTo(CPath(dir.file("dest")), nullptr, true));
    EXPECT_FALSE(missing.Rename("other"));
    EXPECT_FALSE(CPath(dir.file("no/such/child")).CreateDirectory());
    EXPECT_EQ(GetLastCreateDirectoryError(), platform::dirNFErr);
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"keep.txt", "dest"}));

    CPath folder(dir.file("new/"));
    ASSERT_TRUE(folder.CreateDirectory());
    EXPECT_EQ(folder.GetText(), dir.file("new"));
    EXPECT_TRUE(folder.IsDirectory());
    EXPECT_TRUE(folder.CreateDirectory());  // already there
    EXPECT_FALSE(CPath(dir.file("keep.txt")).CreateDirectory());  // a file is not the folder asked for
    EXPECT_EQ(GetLastCreateDirectoryError(), platform::dupFNErr);
    ASSERT_TRUE(WriteFile(dir.file("new/inner.txt"), "x"));
    EXPECT_FALSE(CPath(dir.file("new")).Delete());  // not empty
    EXPECT_EQ(GetLastFileError(), platform::fBsyErr);
    EXPECT_TRUE(CPath(dir.file("new")).DeleteDirectory());
    EXPECT_TRUE(CPath(dir.file("keep.txt/")).Delete());  // trailing separator on a file
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"dest"}));
}

TEST(PathFiles, RenameReplacesAtomically)
{
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("a.txt"), "new"));
    ASSERT_TRUE(WriteFile(dir.file("b.txt"), "old"));
    CPath a(dir.file("a.txt"));
    ASSERT_TRUE(a.Rename("b.txt"));
    EXPECT_EQ(a.GetText(), dir.file("b.txt"));
    EXPECT_EQ(ReadFile(dir.file("b.txt")), "new");
    EXPECT_FALSE(IsThere(dir.file("a.txt")));

    // Names with a separator and the like are refused.
    for (const char* bad : {"x/y", "", ".", "..", "../escape"}) {
        EXPECT_FALSE(a.Rename(bad)) << bad;
    }
    EXPECT_EQ(GetLastFileError(), platform::bdNamErr);

    // A failing rename leaves the target as it was.
    fs::create_directories(dir.file("full/inside"));
    EXPECT_FALSE(a.Rename("full"));
    EXPECT_TRUE(IsThere(dir.file("full/inside")));
    EXPECT_EQ(ReadFile(dir.file("b.txt")), "new");
}

TEST(PathFiles, BackupAndUniqueNames)
{
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("a.txt"), "current"));
    ASSERT_TRUE(WriteFile(dir.file("a.txt~"), "older"));
    CPath a(dir.file("a.txt")), backup;
    EXPECT_FALSE(a.MakeBackup(&backup, false));
    EXPECT_EQ(ReadFile(dir.file("a.txt")), "current");
    EXPECT_EQ(ReadFile(dir.file("a.txt~")), "older");
    EXPECT_TRUE(a.MakeBackup(&backup, true));
    EXPECT_EQ(backup.GetText(), dir.file("a.txt~"));
    EXPECT_EQ(ReadFile(dir.file("a.txt~")), "current");
    EXPECT_FALSE(IsThere(dir.file("a.txt")));
    EXPECT_FALSE(CPath(dir.file("gone")).MakeBackup(&backup, true));

    CPath pic(dir.file("pic.jpg"));
    EXPECT_TRUE(pic.MakeUnique());
    EXPECT_EQ(pic.GetText(), dir.file("pic__.jpg"));
    ASSERT_TRUE(WriteFile(dir.file("pic__.jpg"), ""));
    ASSERT_TRUE(WriteFile(dir.file("pic__0.jpg"), ""));
    pic = CPath(dir.file("pic.jpg"));
    EXPECT_TRUE(pic.MakeUnique());
    EXPECT_EQ(pic.GetText(), dir.file("pic__1.jpg"));

    // Backslashes and colons are bytes of a name: everything happens beside
    // the file, never in a folder named like a part of it.
    fs::create_directory(dir.file("x"));
    ASSERT_TRUE(WriteFile(dir.file("x\\y.jpg"), "mine"));
    ASSERT_TRUE(WriteFile(dir.file("x/x\\y.jpg~"), "other"));
    CPath slash(dir.file("x\\y.jpg"));
    ASSERT_TRUE(slash.MakeBackup(&backup, true));
    EXPECT_EQ(backup.GetText(), dir.file("x\\y.jpg~"));
    EXPECT_EQ(ReadFile(dir.file("x\\y.jpg~")), "mine");
    EXPECT_EQ(ReadFile(dir.file("x/x\\y.jpg~")), "other");
    platform::FSRef parent;
    ASSERT_TRUE(GetParentFSRef(slash, &parent));
    EXPECT_EQ(parent.path, dir.path());
    for (const char* name : {"x\\y.jpg", "12:30.jpg"}) {
        CPath unique(dir.file(name));
        EXPECT_TRUE(unique.MakeUnique());
        EXPECT_EQ(unique.GetParent(true).GetText(), dir.path() + "/") << name;
    }

    for (int n = 1; n <= 999; ++n) ASSERT_TRUE(WriteFile(dir.file("pic__" + std::to_string(n) + ".jpg"), ""));
    pic = CPath(dir.file("pic.jpg"));
    EXPECT_FALSE(pic.MakeUnique());
    EXPECT_EQ(pic.GetText(), dir.file("pic__999.jpg"));
}

TEST(PathFiles, StreamsAndIteration)
{
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("one"), "1"));
    fs::create_directory(dir.file("sub"));
    symlink("sub", dir.file("link").c_str());

    FILE* f = CPath(dir.file("one")).Fopen("rb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(CPath(dir.file("none")).Fopen("rb"), nullptr);
    std::fstream stream;
    EXPECT_FALSE(CPath(dir.file("none")).OpenStream(stream, std::ios::in));
    EXPECT_TRUE(stream.fail());

    std::set<std::string> names, folders;
    CPath entry;
    bool isFolder = false;
    for (bool more = CPath::FindFirst(CPath(dir.path()), &entry, &isFolder, "*.ignored"); more;
         more = CPath::FindNext(&entry, &isFolder)) {
        names.insert(entry.GetFileName());
        if (isFolder) folders.insert(entry.GetFileName());
    }
    EXPECT_TRUE(CPath::FindClose());
    EXPECT_EQ(names, (std::set<std::string>{"one", "sub", "link"}));
    EXPECT_EQ(folders, (std::set<std::string>{"sub"}));  // the link is not followed
    EXPECT_FALSE(CPath::FindNext(&entry, &isFolder));
    EXPECT_FALSE(CPath::FindFirst(CPath(dir.file("sub")), &entry, &isFolder));  // empty
    EXPECT_FALSE(CPath::FindFirst(CPath(dir.file("none")), &entry, &isFolder));
    EXPECT_TRUE(CPath::FindClose());
}

TEST(PathList, AbsoluteAndSortedWithoutCase)
{
    ScopedBundle bundle("");
    CPathList list;
    list.Add("/x/banana.jpg");
    list.Add("rel/Apple.png");
    list.Add("/y/cherry");
    list.SortByName();
    ASSERT_EQ(list.GetCount(), 3u);
    EXPECT_EQ(list.GetAt(0)->GetFileName(), "Apple.png");
    EXPECT_FALSE(list.GetAt(0)->IsRelative());
    EXPECT_EQ(list.GetAt(1)->GetText(), "/x/banana.jpg");
    std::unique_ptr<CPath> taken = list.RemoveAt(2);
    EXPECT_EQ(taken->GetText(), "/y/cherry");
    EXPECT_EQ(list.GetCount(), 2u);
    EXPECT_EQ(list.GetAt(5), nullptr);
}

TEST(SpecialFolders, PrivateTemporaryAndWorkFolder)
{
    TempDir dir;
    ScopedEnv tmp("TMPDIR", dir.path().c_str());
    CPath temp;
    ASSERT_TRUE(GetTempFolder(temp));
    struct stat st;
    ASSERT_EQ(lstat(temp.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, getuid());

    ASSERT_TRUE(SetWorkFolderName("_tavrel"));
    EXPECT_TRUE(IsThere(temp.GetText() + "/_tavrel"));
    CPath file;
    GetTempFilePath(file, "x.bin", true);
    EXPECT_EQ(file.GetText(), temp.GetText() + "/_tavrel/x.bin");
    GetTempFilePath(file, "x.bin", false);
    EXPECT_EQ(file.GetText(), temp.GetText() + "/x.bin");
    EXPECT_FALSE(IsThere(file.GetText()));

    // Something else under the work folder's name is not taken for it.
    ASSERT_TRUE(WriteFile(temp.GetText() + "/_file", "x"));
    EXPECT_FALSE(SetWorkFolderName("_file"));
    symlink(dir.path().c_str(), (temp.GetText() + "/_link").c_str());
    EXPECT_FALSE(SetWorkFolderName("_link"));
    EXPECT_FALSE(SetWorkFolderName("a/b"));

    // A temporary folder that is a link, or open to others, is refused or closed.
    std::string own = temp.GetText();
    chmod(own.c_str(), 0755);
    ASSERT_TRUE(GetTempFolder(temp));
    ASSERT_EQ(lstat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    fs::remove_all(own);
    fs::create_directory(dir.file("elsewhere"));
    symlink(dir.file("elsewhere").c_str(), own.c_str());
    EXPECT_FALSE(GetTempFolder(temp));
    EXPECT_NE(GetLastFileError(), 0);
}

TEST(SpecialFolders, EarlierSystemsUseThePreferencesFolder)
{
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.file("config").c_str());
    platform::SetGestaltValue(platform::gestaltSystemVersion, 0x0922);
    CPath temp;
    bool found = GetTempFolder(temp);
    platform::ResetGestalt();
    ASSERT_TRUE(found);
    EXPECT_EQ(temp.GetText(), dir.file("config"));
}

TEST(SpecialFolders, DesktopFollowsXdg)
{
    TempDir dir;
    ScopedEnv home("HOME", dir.path().c_str());
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv desktop("XDG_DESKTOP_DIR", nullptr);
    fs::create_directories(dir.file(".config"));
    ASSERT_TRUE(WriteFile(dir.file(".config/user-dirs.dirs"), "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"));
    CPath out;
    ASSERT_TRUE(GetDesktopFolder(out));
    EXPECT_EQ(out.GetText(), dir.file("Schreibtisch"));
    EXPECT_TRUE(fs::is_directory(dir.file("Schreibtisch")));
}

TEST(SpecialFolders, BundleResources)
{
    ScopedBundle bundle("\"1\" = \"one\";\n");
    ASSERT_TRUE(WriteFile(bundle.Resources() + "/main.rsrc", "r"));
    CPath out;
    ASSERT_TRUE(GetBundleResourcePath(out, "main.rsrc"));
    EXPECT_EQ(ReadFile(out.GetText()), "r");
    EXPECT_TRUE(GetBundleResourcePath(out, "Localizable.strings"));  // found in the localization
    fs::create_directories(bundle.Resources() + "/de.lproj");
    ASSERT_TRUE(WriteFile(bundle.Resources() + "/de.lproj/Localizable.strings", "de"));
    {
        ScopedEnv language("LANGUAGE", "de_DE");
        ASSERT_TRUE(GetBundleResourcePath(out, "Localizable.strings"));
        EXPECT_EQ(ReadFile(out.GetText()), "de");
    }
    EXPECT_FALSE(GetBundleResourcePath(out, "absent.swf"));
    EXPECT_FALSE(GetBundleResourcePath(out, "../../x"));
    ASSERT_TRUE(GetAppFilePath(out, "Sibling.app", true));
    EXPECT_EQ(out.GetText(), fs::canonical(bundle.Path()).parent_path().string() + "/Sibling.app");
}

TEST(PathFiles, RelativeAndHfsPathsReachTheirObjects)
{
    ScopedBundle bundle("");
    CPath relative("Contents/made");
    ASSERT_TRUE(relative.CreateDirectory());
    EXPECT_TRUE(fs::is_directory(bundle.Path() + "/Contents/made"));
    EXPECT_FALSE(relative.IsRelative());  // it now holds the new folder's own path
    CPath again("Contents/made/");
    EXPECT_TRUE(again.Exists());
    EXPECT_TRUE(again.IsDirectoryPath());
    EXPECT_TRUE(again.DeleteDirectory());
    EXPECT_FALSE(fs::exists(bundle.Path() + "/Contents/made"));

    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("f.txt"), "x"));
    std::string real = fs::canonical(dir.path()).string();
    CPath hfs(platform::PosixToHfs(real + "/f.txt", false));
    ASSERT_EQ(hfs.GetPathStyle(), CPath::kHfs);
    EXPECT_TRUE(hfs.Exists());
    EXPECT_FALSE(hfs.IsDirectory());
    EXPECT_EQ(hfs.GetFileName(), "f.txt");
    CPath folder(platform::PosixToHfs(real, true));
    EXPECT_TRUE(folder.IsDirectoryPath());
    EXPECT_TRUE(folder.IsDirectory());
    CPath inside;
    CPath::Combine(inside, "f.txt", folder);
    EXPECT_EQ(inside.GetText(), real + "/f.txt");
    platform::FSSpec spec;
    ASSERT_TRUE(hfs.ToFSSpec(&spec));
    std::string text;
    ASSERT_TRUE(FSSpecToHFSPath(spec, &text, 256));
    EXPECT_EQ(text, hfs.GetText());
    EXPECT_FALSE(FSSpecToHFSPath(spec, &text, 5));
    EXPECT_EQ(CPath(spec).GetText(), real + "/f.txt");
    EXPECT_TRUE(hfs.Delete());
    EXPECT_FALSE(fs::exists(real + "/f.txt"));
}
