// The POSIX file layer: status codes, HFS paths, URLs, references.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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

namespace {

OSStatus WriteResourceFork(const std::string& path, const std::string& bytes)
{
    std::unique_ptr<Fork> fork;
    size_t done = 0;
    OSStatus status = OpenFork(FSRef{path}, ForkKind::Resource, fsRdWrPerm, &fork);
    if (status == noErr) status = fork->SetSize(0);
    if (status == noErr) status = fork->Write(bytes.data(), bytes.size(), &done);
    OSStatus closed = fork ? fork->Close() : status;
    return status != noErr ? status : closed;
}

std::string ReadResourceFork(const std::string& path)
{
    std::unique_ptr<Fork> fork;
    uint64_t size = 0;
    if (OpenFork(FSRef{path}, ForkKind::Resource, fsRdPerm, &fork) != noErr || fork->GetSize(&size) != noErr)
        return "<none>";
    std::string bytes(size, '\0');
    size_t done = 0;
    fork->Read(bytes.data(), bytes.size(), &done);
    return bytes;
}

std::vector<std::string> Listing(const std::string& folder)
{
    FolderIterator iterator;
    std::vector<std::string> names;
    std::string name;
    if (iterator.Open(FSRef{folder}) != noErr) return names;
    while (iterator.Next(nullptr, &name, nullptr) == noErr) names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// Forks too large for an extended attribute go to an AppleDouble file
// "._name", which renames, copies and deletes carry along and listings hide.
TEST(Files, ResourceForksOfAnySize)
{
    for (size_t size : {size_t{10}, size_t{5000}, size_t{100000}}) {
        TempDir dir;
        std::string fork(size, '\0');
        for (size_t i = 0; i < size; ++i) fork[i] = static_cast<char>(i * 31 + 7);
        ASSERT_TRUE(WriteFile(dir.file("f"), "data"));
        ASSERT_EQ(WriteResourceFork(dir.file("f"), fork), noErr) << size;
        EXPECT_EQ(ReadResourceFork(dir.file("f")), fork) << size;
        EXPECT_TRUE(HasResourceFork(dir.file("f")));
        if (size > 65536) EXPECT_TRUE(access(dir.file("._f").c_str(), F_OK) == 0);
        EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"f"});

        FSRef renamed;
        ASSERT_EQ(RenameObject(FSRef{dir.file("f")}, "g", false, &renamed), noErr);
        ASSERT_TRUE(WriteFile(dir.file("h"), ""));
        ASSERT_EQ(CopyExtendedAttributes(dir.file("g"), dir.file("h")), noErr);
        EXPECT_EQ(ReadResourceFork(dir.file("g")), fork);
        EXPECT_EQ(ReadResourceFork(dir.file("h")), fork);
        ASSERT_EQ(DeleteObject(renamed), noErr);
        EXPECT_EQ(ReadResourceFork(dir.file("g")), "<none>");
        EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"h"});

        // A small fork again leaves no sidecar behind.
        ASSERT_EQ(WriteResourceFork(dir.file("h"), "small"), noErr);
        EXPECT_EQ(ReadResourceFork(dir.file("h")), "small");
        EXPECT_NE(access(dir.file("._h").c_str(), F_OK), 0);
    }

    // A damaged or foreign "._" file is no fork, and is listed as it stands.
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("x"), ""));
    std::string damaged("\x00\x05\x16\x07\x00\x02\x00\x00", 8);
    damaged += std::string(16, '\0') + std::string("\x00\x01\x00\x00\x00\x02\x00\x00\x00\x26\xff\xff\xff\xff", 14);
    ASSERT_TRUE(WriteFile(dir.file("._x"), damaged));
    EXPECT_EQ(ReadResourceFork(dir.file("x")), "<none>");
    EXPECT_FALSE(HasResourceFork(dir.file("x")));
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"._x", "x"}));
}

// An ACL as the kernel keeps it in its attribute: entries of tag,
// rights and id (the id of those without one: any), in the kernel's order.
std::string AclBytes(std::initializer_list<std::array<uint32_t, 3>> entries)
{
    std::string bytes("\x02\0\0\0", 4);
    for (const auto& [tag, rights, id] : entries)
        for (uint32_t value : {tag | rights << 16, id})
            for (int shift = 0; shift < 32; shift += 8) bytes += char(value >> shift);
    return bytes;
}

std::string AttributeOf(const std::string& path, const char* name)
{
    char value[1024];
    const ssize_t got = ::getxattr(path.c_str(), name, value, sizeof value);
    return got < 0 ? "" : std::string(value, size_t(got));
}

constexpr const char* kAccessAcl = "system.posix_acl_access";

// A pending file takes its name only on Commit: before it no other name
// stands in its folder than its own hidden one (none where the file system
// has unnamed files); a replaced file's mode, ACL and Finder information
// come from it; a new one gets what a new file of that folder gets, under
// its default ACL too; one that may not replace leaves the target alone; a
// discarded one leaves nothing.
TEST(Files, PendingFilesTakeANameOnlyWhenWhole)
{
    enum Acl { kNoAcl, kFileAcl, kFolderAcl };
    const struct {
        bool earlier;  // a file stands at the target
        bool replace;
        bool committed;
        Acl acl = kNoAcl;  // on the earlier file; as the folder's default
    } rows[] = {{false, true, true},         {true, true, true},         {false, false, true},
                {true, false, false},        {true, true, true, kFileAcl}, {false, true, true, kFolderAcl},
                {true, true, true, kFolderAcl}};
    // nobody may read and write; the group's bits are the mask.
    const uint32_t any = 0xFFFFFFFF;
    const std::string fileAcl =
        AclBytes({{0x01, 6, any}, {0x02, 6, 65534}, {0x04, 4, any}, {0x10, 6, any}, {0x20, 0, any}});
    const std::string folderAcl =
        AclBytes({{0x01, 7, any}, {0x02, 7, 65534}, {0x04, 5, any}, {0x10, 7, any}, {0x20, 5, any}});
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.earlier) + std::to_string(row.replace) + std::to_string(row.acl));
        TempDir dir;
        const std::string target = dir.file("out.swf");
        if (row.acl == kFolderAcl &&
            ::setxattr(dir.path().c_str(), "system.posix_acl_default", folderAcl.data(), folderAcl.size(), 0) != 0) {
            std::printf("no ACLs here (%s): the folder's default is not looked at\n", std::strerror(errno));
            continue;
        }
        if (row.earlier) {
            ASSERT_TRUE(WriteFile(target, "earlier"));
            ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
        }
        if (row.acl == kFileAcl && ::setxattr(target.c_str(), kAccessAcl, fileAcl.data(), fileAcl.size(), 0) != 0) {
            std::printf("no ACLs here (%s): a replaced file's is not looked at\n", std::strerror(errno));
            continue;
        }
        // What the earlier file had, and what any new file there gets.
        struct stat was {};
        ::stat(target.c_str(), &was);
        const std::string wasAcl = AttributeOf(target, kAccessAcl);
        // A replacement without it (a file system that takes none) is said.
        if (row.acl == kFileAcl) {
            ASSERT_TRUE(tavrel_test::WriteFile(dir.file("plain"), "x"));
            ::chmod(dir.file("plain").c_str(), was.st_mode & 07777);
            EXPECT_EQ(OwnerNotKept(target, dir.file("plain")),
                      "its access control list is not kept: the new file has its mode alone");
            ::unlink(dir.file("plain").c_str());
        }
        const int touched = ::open(dir.file("touched").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0666);
        ASSERT_GE(touched, 0);
        ::close(touched);
        struct stat fresh {};
        ::stat(dir.file("touched").c_str(), &fresh);
        const std::string freshAcl = AttributeOf(dir.file("touched"), kAccessAcl);
        ::unlink(dir.file("touched").c_str());
        PendingFile file;
        ASSERT_TRUE(file.CreateBeside(target));
        EXPECT_TRUE(IsPendingFile(file.GetPath()));
        const std::vector<std::string> before =
            row.earlier ? std::vector<std::string>{"out.swf"} : std::vector<std::string>{};
        std::vector<std::string> pending = before;
        if (file.HasName()) pending.insert(pending.begin(), file.GetPath().substr(dir.path().size() + 1));
        EXPECT_EQ(Listing(dir.path()), pending);
        // Written by path, as the writers of the program write it.
        std::FILE* stream = RewritePendingFile(file.GetPath());
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(std::fputs("new movie", stream), 1);
        EXPECT_EQ(std::fclose(stream), 0);
        const uint8_t info[32] = {'S', 'W', 'F', 'L', 'S', 'W', 'F', '2'};
        EXPECT_EQ(WriteFinderInfo(file.GetPath(), info), noErr);
        EXPECT_EQ(file.Commit(target, row.replace), row.committed);
        if (!row.committed) {
            EXPECT_EQ(errno, EEXIST);
            file.Discard();
        }
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(Listing(dir.path()), row.committed || row.earlier ? std::vector<std::string>{"out.swf"} : before);
        EXPECT_EQ(tavrel_test::ReadFile(target), row.committed ? "new movie" : "earlier");
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        if (row.earlier) EXPECT_EQ(st.st_mode & 0777, row.acl == kFileAcl ? 0660u : 0640u);
        if (row.committed) {
            EXPECT_EQ(st.st_mode & 07777, (row.earlier ? was : fresh).st_mode & 07777);
            EXPECT_EQ(AttributeOf(target, kAccessAcl), row.earlier ? wasAcl : freshAcl);
        }
        if (row.acl == kFileAcl) EXPECT_EQ(wasAcl, fileAcl);
        if (row.acl == kFolderAcl && !row.earlier) EXPECT_NE(freshAcl, "");
        // Where the file system keeps Finder information at all.
        uint8_t read[32] = {}, kept[32] = {};
        ASSERT_TRUE(WriteFile(dir.file("probe"), ""));
        const bool attributes = WriteFinderInfo(dir.file("probe"), info) == noErr &&
                                ReadFinderInfo(dir.file("probe"), kept) == noErr && kept[0];
        if (row.committed && attributes) {
            EXPECT_EQ(ReadFinderInfo(target, read), noErr);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(read), 8), "SWFLSWF2");
        }
    }
}

// A link to a file yet to be made is followed as a replacement follows it,
// however many links lead there; an owner no name is known for is said by
// number, once.
TEST(Files, OutputsThroughLinksAndOwnersByNumber)
{
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink((dir.path() + "/sub/movie.swf").c_str(), dir.file("abs.swf").c_str()), 0);
    ASSERT_EQ(::symlink("sub/../sub/movie.swf", dir.file("rel.swf").c_str()), 0);
    ASSERT_EQ(::symlink("rel.swf", dir.file("chain.swf").c_str()), 0);
    for (const char* name : {"abs.swf", "rel.swf", "chain.swf"}) {
        OutputTarget target;
        std::string why;
        ASSERT_TRUE(JudgeOutput(dir.file(name), &target, &why)) << name;
        EXPECT_EQ(target.path, dir.path() + "/sub/movie.swf") << name;
        EXPECT_FALSE(target.inPlace);
    }

    ASSERT_TRUE(WriteFile(dir.file("theirs"), "x") && WriteFile(dir.file("mine"), "y"));
    if (::geteuid() != 0) GTEST_SKIP() << "not root: no file of an unknown owner to make";
    ASSERT_EQ(::chown(dir.file("theirs").c_str(), 54321, 54321), 0);
    EXPECT_EQ(OwnerNotKept(dir.file("theirs"), dir.file("mine")),
              "owner 54321 and group 54321 are not kept: the new file belongs to root, group root");
}
