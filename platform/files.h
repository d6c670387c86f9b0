#pragma once
// Stand-in for the File Manager over POSIX calls.
//
// File references are path-based: an FSRef holds the absolute POSIX path of an
// object that existed when the reference was made, an FSSpec a folder that
// exists and a name that may not. Every call reports a Mac status code (0 on
// success); errno values become status codes in one place, StatusFromErrno.
//
// Symbolic links are objects of their own here: a reference to a link names
// the link, deleting or renaming it touches the link, never what it points to.
//
// Finder information lives in the user extended attribute
// "user.com.apple.FinderInfo": 32 bytes, big-endian, laid out as the Finder's
// own record (FileInfo or FolderInfo, then ExtendedFileInfo or
// ExtendedFolderInfo); an absent attribute reads as 32 zero bytes. The locked
// flag is the attribute "user.tavrel.locked" (present means locked); a locked
// object cannot be deleted, renamed or opened for writing. The resource fork is
// the attribute "user.com.apple.ResourceFork" while it fits, else an
// AppleDouble file "._name" beside the file, which renames, deletes and
// copies carry along and folder listings leave out. On a file system without
// user attributes, writes of Finder information and the locked flag are
// ignored.
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/pending_file.h"
#include "platform/read_at.h"

namespace platform {

using OSStatus = int;

// Status codes, as the File Manager numbers them.
constexpr OSStatus noErr = 0;
constexpr OSStatus unimpErr = -4;
constexpr OSStatus dskFulErr = -34;
constexpr OSStatus nsvErr = -35;
constexpr OSStatus ioErr = -36;
constexpr OSStatus bdNamErr = -37;
constexpr OSStatus fnOpnErr = -38;
constexpr OSStatus eofErr = -39;
constexpr OSStatus tmfoErr = -42;
constexpr OSStatus fnfErr = -43;
constexpr OSStatus wPrErr = -44;
constexpr OSStatus fLckdErr = -45;
constexpr OSStatus fBsyErr = -47;
constexpr OSStatus dupFNErr = -48;
constexpr OSStatus paramErr = -50;
constexpr OSStatus permErr = -54;
constexpr OSStatus memFullErr = -108;
constexpr OSStatus dirNFErr = -120;
constexpr OSStatus notAFileErr = -1302;
constexpr OSStatus diffVolErr = -1303;
constexpr OSStatus errFSNotAFolder = -1407;
constexpr OSStatus errFSForkNotFound = -1409;
constexpr OSStatus errFSNoMoreItems = -1417;
constexpr OSStatus afpAccessDenied = -5000;

// The one mapping of errno values to status codes.
OSStatus StatusFromErrno(int err);

// Reference to an existing object: its absolute POSIX path, without a trailing
// separator (except the root "/"). Empty means no reference.
struct FSRef {
    std::string path;
    bool IsNull() const { return path.empty(); }
};

// An existing folder and a name in it; the named object need not exist.
struct FSSpec {
    std::string parent;  // absolute POSIX path of the folder
    std::string name;    // UTF-8 file-system name
    bool IsNull() const { return parent.empty(); }
    std::string Path() const;
};

// A file URL over an absolute POSIX path.
struct FileURL {
    std::string path;
    bool directory = false;
    bool IsNull() const { return path.empty(); }
    // "file://" followed by the percent-encoded path.
    std::string ToString() const;
    // Reads a "file://" URL (host empty or "localhost"); false for others.
    static bool FromString(const std::string& url, FileURL* out);
};

// Catalog information kept by the host for one object.
struct CatalogInfo {
    bool isFolder = false;   // a real folder, not a link to one
    bool isLink = false;     // a symbolic link
    bool locked = false;
    uint32_t mode = 0;       // permission bits
    uint32_t uid = 0;
    uint64_t dataLength = 0;
    struct timespec accessDate {};
    struct timespec modifyDate {};
    uint8_t finderInfo[32] = {};  // FinderInfo then ExtendedFinderInfo
};

// Path text helpers.
std::string StripTrailingSeparators(const std::string& path);  // "/" stays "/"
std::string ParentOf(const std::string& path);  // "." for a bare name
std::string BaseName(const std::string& path);  // what follows the last "/"
std::string JoinPath(const std::string& folder, const std::string& name);
bool IsValidName(const std::string& name);  // non-empty, no "/", not "." or ".."

// HFS path rule. An HFS path is "Volume:folder:...:name", a trailing ":" marks
// a folder, a leading ":" makes it relative. The boot volume,
// kBootVolumeName, is the POSIX root; any other volume V is the folder
// "/Volumes/V". A ":" inside an HFS name is a "/" in the POSIX name and the
// reverse.
extern const char* const kBootVolumeName;
std::string HfsToPosix(const std::string& hfs);
std::string PosixToHfs(const std::string& posix, bool isDirectory);
std::string SwapColonsAndSlashes(const std::string& name);

// References.
OSStatus MakeRef(const std::string& path, FSRef* out);  // path must be absolute
OSStatus MakeRefInFolder(const FSRef& folder, const std::string& name, FSRef* out);
OSStatus MakeSpec(const std::string& path, FSSpec* out);  // folder must exist
OSStatus GetCatalogInfo(const FSRef& ref, CatalogInfo* out);
bool SameObject(const std::string& a, const std::string& b);  // same device and inode, links not followed
// The file that replacing path replaces: a link is followed to the file it
// leads to (or would make, when that is missing), so the link stays a link.
std::string ReplacedFile(const std::string& path);
// Gives the open file fd, about to replace target, what target keeps when
// replaced: its owner and group (the owner where the process may set it,
// else the group where it may) and its ACL, as cp -p keeps them. With
// nothing at target: what a new file gets there, under the umask or the
// folder's default ACL. Returns the mode the file takes last, once every
// attribute is written: until then its owner may write it (user attributes
// need that), whatever the mode.
unsigned TakeReplacedAttributes(int fd, const std::string& target);
// What replacement, made by PendingFile::CreateBeside to replace target, did not
// keep of target's owner and group, in words for a warning ("owner alice is
// not kept: the new file belongs to bob"), or of its ACL; "" when it kept them, or when
// target is not there. Only root gives a file away, and a group only a
// member takes.
std::string OwnerNotKept(const std::string& target, const std::string& replacement);

// Outputs. A regular file, or none yet, is replaced whole: the new bytes go
// to a file beside it that is renamed over it, so a failure leaves the old
// one as it was; a link stays a link and the file it leads to is replaced.
// Anything else standing there (a device, a FIFO, a terminal, standard
// output through /dev/stdout) cannot be replaced: it is written into in
// place, as other command-line tools do, once the new bytes are complete.
struct OutputTarget {
    std::string path;  // the file to replace, or what to write into
    bool inPlace = false;
};
// false with the reason for a folder or a locked file.
bool JudgeOutput(const std::string& given, OutputTarget* out, std::string* why);
// Writes the whole file at from into path, in place. Waits for a FIFO's
// reader and a slow device until the cancel flag is set; false with
// the reason then and on errors. *wrote: whether any byte went out.
bool WriteInPlace(const std::string& path, const std::string& from, bool* wrote, std::string* why);
// The program's cancel flag, which the waits above give up at.
void SetCancelFlag(const volatile std::sig_atomic_t* flag);
// Whether that flag is set: long writes stop at it too.
bool CancelRequested();
// Whether path is what the process's standard output writes to.
bool IsStandardOutput(const std::string& path);

// Creating, deleting and renaming. Names are UTF-8.
OSStatus CreateFileIn(const FSRef& folder, const std::string& name, FSRef* out);
OSStatus CreateFolderIn(const FSRef& folder, const std::string& name, uint32_t mode, FSRef* out);
// A file, a link or an empty folder; -47 for a folder with contents, -45 when locked.
OSStatus DeleteObject(const FSRef& ref);
// Renames within the same folder; replace swaps an existing target out
// in one step (GiveName), else an existing target gives -48.
OSStatus RenameObject(const FSRef& ref, const std::string& newName, bool replace, FSRef* out);

// Finder information and the locked flag.
OSStatus ReadFinderInfo(const std::string& path, uint8_t info[32]);
OSStatus WriteFinderInfo(const std::string& path, const uint8_t info[32]);
OSStatus WriteFinderInfo(const PendingFile& file, const uint8_t info[32]);
bool IsLocked(const std::string& path);
OSStatus SetLocked(const std::string& path, bool locked);
OSStatus SetLocked(const PendingFile& file, bool locked);
// Copies every user extended attribute (Finder information, lock, resource
// fork and any other) from one object to another; links are not followed.
OSStatus CopyExtendedAttributes(const std::string& from, const std::string& to);

// Forks. The data fork is the file's contents; the resource fork is held in
// an extended attribute and written back when the fork is closed.
enum class ForkKind { Data, Resource };
constexpr int fsRdPerm = 1;
constexpr int fsWrPerm = 2;
constexpr int fsRdWrPerm = 3;

class Fork {
public:
    virtual ~Fork() = default;
    virtual OSStatus Read(void* buffer, size_t count, size_t* done) = 0;
    virtual OSStatus Write(const void* data, size_t count, size_t* done) = 0;
    virtual OSStatus SetSize(uint64_t size) = 0;
    virtual OSStatus GetSize(uint64_t* size) = 0;
    virtual OSStatus Close() = 0;
};
OSStatus OpenFork(const FSRef& file, ForkKind kind, int permission, std::unique_ptr<Fork>* out);
bool HasResourceFork(const std::string& path);
// Drops the AppleDouble file holding path's resource fork, if there is one.
OSStatus RemoveResourceSidecar(const std::string& path);
OSStatus CreateResourceFork(const std::string& path);  // empty; an existing one stays

// One folder's entries, "." and ".." left out, in the order the host gives.
class FolderIterator {
public:
    FolderIterator() = default;
    ~FolderIterator();
    FolderIterator(const FolderIterator&) = delete;
    FolderIterator& operator=(const FolderIterator&) = delete;
    OSStatus Open(const FSRef& folder);
    // -1417 at the end.
    OSStatus Next(FSRef* entry, std::string* name, CatalogInfo* info);
    OSStatus Close();
    bool IsOpen() const { return dir_ != nullptr; }

private:
    void* dir_ = nullptr;
    std::string path_;
};

// Special folders of the current user.
enum class FolderType {
    Temporary,    // private: $TMPDIR (or /tmp) + "/tavrel-<uid>", mode 0700
    Preferences,  // $XDG_CONFIG_HOME, else ~/.config
    Desktop,      // XDG desktop folder, else ~/Desktop
};
OSStatus FindFolder(FolderType type, bool create, std::string* out);
// Where the temporary folder is, whether or not it is there.
std::string TemporaryFolderPath();
// Why path cannot be the private temporary folder, looked at and not
// changed: a link, no folder, another user's (the words say which), or not
// there (its status fnfErr). noErr and "" when it can.
struct PrivateFolderTrouble {
    OSStatus status = noErr;
    std::string words;
};
PrivateFolderTrouble JudgePrivateFolder(const std::string& path);

// The current user's home folder, from $HOME or the password database.
std::string HomeFolder();

}  // namespace platform
