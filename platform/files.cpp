#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/regular_file.h"

namespace platform {

namespace {

constexpr const char* kFinderInfoAttr = "user.com.apple.FinderInfo";
constexpr const char* kLockedAttr = "user.tavrel.locked";
constexpr const char* kResourceForkAttr = "user.com.apple.ResourceFork";

bool AttributesUnsupported(int err) { return err == ENOTSUP || err == EOPNOTSUPP; }

// An object whose extended attributes are read or written: by its path
// (links not followed), or through the descriptor of a pending file, whose
// path may be a link of /proc, which is not followed. A writer that holds
// its pending file hands it over; one given only a path finds it there.
struct Object {
    explicit Object(const std::string& p, bool followLink = false)
        : path(p), fd(PendingDescriptor(p)), follow(followLink) {}
    explicit Object(const PendingFile& file) : path(file.GetPath()), fd(file.Descriptor()) {}
    std::string path;
    int fd;
    bool follow = false;  // the path's link followed to the file it leads to
};

// Reads one extended attribute of the object itself; false when it is
// absent or cannot be read.
bool GetAttribute(const Object& object, const char* name, std::vector<uint8_t>* value)
{
    auto get = [&](void* data, size_t size) {
        return object.fd >= 0  ? fgetxattr(object.fd, name, data, size)
               : object.follow ? getxattr(object.path.c_str(), name, data, size)
                               : lgetxattr(object.path.c_str(), name, data, size);
    };
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t size = get(nullptr, 0);
        if (size < 0) return false;
        value->resize(static_cast<size_t>(size));
        ssize_t got = get(value->data(), value->size());
        if (got >= 0) {
            value->resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE) return false;  // grew in between: try again
    }
    return false;
}

bool GetAttribute(const std::string& path, const char* name, std::vector<uint8_t>* value)
{
    return GetAttribute(Object(path), name, value);
}

OSStatus SetAttribute(const Object& object, const char* name, const void* data, size_t size)
{
    if ((object.fd >= 0 ? fsetxattr(object.fd, name, data, size, 0)
                        : lsetxattr(object.path.c_str(), name, data, size, 0)) == 0)
        return noErr;
    return StatusFromErrno(errno);
}

OSStatus SetAttribute(const std::string& path, const char* name, const void* data, size_t size)
{
    return SetAttribute(Object(path), name, data, size);
}

OSStatus RemoveAttribute(const Object& object, const char* name)
{
    if ((object.fd >= 0 ? fremovexattr(object.fd, name) : lremovexattr(object.path.c_str(), name)) == 0 ||
        errno == ENODATA)
        return noErr;
    return StatusFromErrno(errno);
}

OSStatus RemoveAttribute(const std::string& path, const char* name)
{
    return RemoveAttribute(Object(path), name);
}

void FillCatalogInfo(const struct stat& st, const std::string& path, CatalogInfo* out)
{
    out->isFolder = S_ISDIR(st.st_mode);
    out->isLink = S_ISLNK(st.st_mode);
    out->mode = st.st_mode & 07777;
    out->uid = st.st_uid;
    out->dataLength = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    out->accessDate = st.st_atim;
    out->modifyDate = st.st_mtim;
    out->locked = IsLocked(path);
    ReadFinderInfo(path, out->finderInfo);
}

// ---- AppleDouble sidecars ----
// A resource fork too large for an extended attribute (about 4 KB on ext4)
// or on a file system without them lives in an AppleDouble file "._name"
// beside its file, as Mac OS X keeps forks on foreign volumes: a 26-byte
// header (magic, version, 16 filler bytes, entry count), 12-byte entries
// (id, offset, length; id 2 is the resource fork), then the data.
constexpr uint32_t kAppleDoubleMagic = 0x00051607;
constexpr uint32_t kAppleDoubleVersion = 0x00020000;
constexpr uint32_t kResourceForkEntry = 2;
constexpr size_t kAppleDoubleHeader = 26;
constexpr uint64_t kMaxResourceFork = uint64_t{1} << 30;

std::string SidecarPath(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "._" + path : path.substr(0, slash + 1) + "._" + path.substr(slash + 1);
}

uint32_t BigEndian32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

void PutBigEndian32(std::string& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

// The resource fork held in the sidecar of path; false when there is no
// sidecar, it is not AppleDouble, or it holds no resource fork. With data
// null only the presence is checked.
bool ReadSidecarFork(const std::string& path, std::vector<uint8_t>* data)
{
    int fd = open(SidecarPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    bool found = false;
    struct stat st;
    uint8_t header[kAppleDoubleHeader];
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAt(fd, 0, header, sizeof header) &&
        BigEndian32(header) == kAppleDoubleMagic) {
        uint64_t fileSize = static_cast<uint64_t>(st.st_size);
        unsigned count = unsigned{header[24]} << 8 | header[25];
        for (unsigned i = 0; i < count && !found; ++i) {
            uint8_t entry[12];
            if (!ReadAt(fd, kAppleDoubleHeader + uint64_t{i} * 12, entry, sizeof entry)) break;
            uint64_t offset = BigEndian32(entry + 4), length = BigEndian32(entry + 8);
            if (BigEndian32(entry) != kResourceForkEntry) continue;
            if (offset + length > fileSize || length > kMaxResourceFork) break;
            found = true;
            if (data) {
                data->resize(static_cast<size_t>(length));
                found = ReadAt(fd, offset, data->data(), data->size());
            }
        }
    }
    close(fd);
    return found;
}

// Written under a temporary name and renamed, so a failure keeps the old one.
OSStatus WriteSidecarFork(const std::string& path, const std::vector<uint8_t>& data)
{
    std::string bytes;
    PutBigEndian32(bytes, kAppleDoubleMagic);
    PutBigEndian32(bytes, kAppleDoubleVersion);
    bytes.append(16, '\0');
    bytes += '\0';
    bytes += '\1';
    PutBigEndian32(bytes, kResourceForkEntry);
    PutBigEndian32(bytes, static_cast<uint32_t>(kAppleDoubleHeader + 12));
    PutBigEndian32(bytes, static_cast<uint32_t>(data.size()));
    const std::string sidecar = SidecarPath(path);
    PendingFile temp;
    if (!temp.CreateBeside(sidecar)) return StatusFromErrno(errno);
    const int fd = temp.Descriptor();
    bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    for (size_t done = 0; ok && done < data.size();) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && temp.Commit(sidecar);
    return ok ? noErr : StatusFromErrno(errno ? errno : EIO);
}

bool IsSidecarEntry(const std::string& folder, const std::string& name)
{
    if (name.size() <= 2 || name.compare(0, 2, "._") != 0) return false;
    std::string owner = JoinPath(folder, name.substr(2));
    struct stat st;
    return lstat(owner.c_str(), &st) == 0 && ReadSidecarFork(owner, nullptr);
}

}  // namespace

OSStatus RemoveResourceSidecar(const std::string& path)
{
    if (!ReadSidecarFork(path, nullptr)) return noErr;
    if (unlink(SidecarPath(path).c_str()) == 0 || errno == ENOENT) return noErr;
    return StatusFromErrno(errno);
}

OSStatus StatusFromErrno(int err)
{
    switch (err) {
    case 0: return noErr;
    case ENOENT: return fnfErr;
    case EEXIST: return dupFNErr;
    case ENOTEMPTY:
    case EBUSY:
    case ETXTBSY: return fBsyErr;
    case EINVAL:
    case EBADF:
    case EFAULT: return paramErr;
    case ENOTDIR: return dirNFErr;
    case EISDIR: return notAFileErr;
    case EACCES:
    case EPERM: return afpAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case E2BIG: return dskFulErr;
    case EROFS: return wPrErr;
    case ENAMETOOLONG:
    case ELOOP: return bdNamErr;
    case ENOMEM: return memFullErr;
    case EMFILE:
    case ENFILE: return tmfoErr;
    case EXDEV: return diffVolErr;
    case ENOTSUP: return unimpErr;
    case ENODATA: return errFSForkNotFound;
    default: return ioErr;
    }
}

std::string FSSpec::Path() const
{
    if (parent.empty()) return std::string();
    return name.empty() ? parent : JoinPath(parent, name);
}

// ---- URLs ------------------------------------------------------------------

std::string FileURL::ToString() const
{
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-._~!$&'()*+,;=:@", c)) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    if (directory && (url.empty() || url.back() != '/')) url += '/';
    return url;
}

bool FileURL::FromString(const std::string& url, FileURL* out)
{
    std::string rest;
    if (url.compare(0, 7, "file://") != 0) return false;
    rest = url.substr(7);
    if (rest.compare(0, 9, "localhost") == 0) rest = rest.substr(9);
    if (rest.empty() || rest[0] != '/') return false;
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '?' || c == '#') break;
        if (c == '%') {
            if (i + 2 >= rest.size() || !std::isxdigit(static_cast<unsigned char>(rest[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(rest[i + 2])))
                return false;
            char byte = static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16));
            if (byte == '\0') return false;
            path += byte;
            i += 2;
        } else {
            path += c;
        }
    }
    out->directory = path.size() > 1 && path.back() == '/';
    out->path = path;
    return true;
}

// ---- Path text -------------------------------------------------------------

std::string StripTrailingSeparators(const std::string& path)
{
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;
    return path.substr(0, end);
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string ParentOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

bool IsValidName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name.size() <= 255;
}

const char* const kBootVolumeName = "Macintosh HD";

std::string SwapColonsAndSlashes(const std::string& name)
{
    std::string out = name;
    for (char& c : out) {
        if (c == ':') c = '/';
        else if (c == '/') c = ':';
    }
    return out;
}

std::string HfsToPosix(const std::string& hfs)
{
    if (hfs.empty()) return std::string();
    bool relative = hfs[0] == ':';
    bool directory = hfs.back() == ':';
    std::vector<std::string> parts;
    size_t start = relative ? 1 : 0;
    while (start <= hfs.size()) {
        size_t colon = hfs.find(':', start);
        if (colon == std::string::npos) colon = hfs.size();
        parts.push_back(hfs.substr(start, colon - start));
        start = colon + 1;
    }
    if (directory && !parts.empty() && parts.back().empty()) parts.pop_back();

    std::string out;
    size_t first = 0;
    if (!relative) {
        const std::string& volume = parts.empty() ? std::string() : parts[0];
        out = volume == kBootVolumeName ? "" : "/Volumes/" + SwapColonsAndSlashes(volume);
        first = 1;
    }
    for (size_t i = first; i < parts.size(); ++i) {
        // An empty name between colons steps up one folder, as "::" does.
        std::string name = parts[i].empty() ? ".." : SwapColonsAndSlashes(parts[i]);
        if (!out.empty() || !relative) out += '/';
        out += name;
    }
    if (out.empty()) out = relative ? "." : "/";
    if (directory && out.back() != '/') out += '/';
    return out;
}

std::string PosixToHfs(const std::string& posix, bool isDirectory)
{
    if (posix.empty()) return std::string();
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < posix.size()) {
        size_t slash = posix.find('/', start);
        if (slash == std::string::npos) slash = posix.size();
        if (slash > start) parts.push_back(posix.substr(start, slash - start));
        start = slash + 1;
    }
    std::string out;
    size_t first = 0;
    if (posix[0] != '/') {
        out = ":";  // relative
    } else if (parts.size() >= 2 && parts[0] == "Volumes") {
        out = SwapColonsAndSlashes(parts[1]) + ":";
        first = 2;
    } else {
        out = std::string(kBootVolumeName) + ":";
    }
    for (size_t i = first; i < parts.size(); ++i) {
        if (parts[i] == ".") continue;
        out += parts[i] == ".." ? std::string() : SwapColonsAndSlashes(parts[i]);
        out += ':';
    }
    // A file's name takes no trailing colon; a volume root keeps its own.
    if (!isDirectory && out.size() > 1 && out.back() == ':' && parts.size() > first) out.pop_back();
    return out;
}

// ---- References ------------------------------------------------------------

OSStatus MakeRef(const std::string& path, FSRef* out)
{
    out->path.clear();
    if (path.empty() || path[0] != '/') return paramErr;
    std::string clean = StripTrailingSeparators(path);
    struct stat st;
    if (lstat(clean.c_str(), &st) != 0) return StatusFromErrno(errno);
    out->path = clean;
    return noErr;
}

OSStatus MakeRefInFolder(const FSRef& folder, const std::string& name, FSRef* out)
{
    out->path.clear();
    if (folder.IsNull()) return paramErr;
    if (!IsValidName(name)) return bdNamErr;
    return MakeRef(JoinPath(folder.path, name), out);
}

OSStatus MakeSpec(const std::string& path, FSSpec* out)
{
    *out = FSSpec();
    if (path.empty() || path[0] != '/') return paramErr;
    std::string clean = StripTrailingSeparators(path);
    if (clean == "/") {
        out->parent = "/";
        return noErr;
    }
    std::string parent = ParentOf(clean);
    std::string name = clean.substr(clean.rfind('/') + 1);
    struct stat st;
    if (stat(parent.c_str(), &st) != 0) return StatusFromErrno(errno);
    if (!S_ISDIR(st.st_mode)) return dirNFErr;
    out->parent = parent;
    out->name = name;
    return noErr;
}

OSStatus GetCatalogInfo(const FSRef& ref, CatalogInfo* out)
{
    if (ref.IsNull()) return paramErr;
    struct stat st;
    if (lstat(ref.path.c_str(), &st) != 0) return StatusFromErrno(errno);
    FillCatalogInfo(st, ref.path, out);
    return noErr;
}

bool SameObject(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    if (lstat(a.c_str(), &sa) != 0 || lstat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string ReplacedFile(const std::string& path)
{
    std::string file = path;
    // As the kernel does, give up on a chain of links that never ends.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file;
        std::error_code ec;
        const std::filesystem::path to = std::filesystem::read_symlink(file, ec);
        if (ec) return file;
        file = (to.is_absolute() ? to : std::filesystem::path(file).parent_path() / to).lexically_normal().string();
    }
    return file;
}

namespace {

constexpr const char* kAccessAclAttr = "system.posix_acl_access";
constexpr const char* kDefaultAclAttr = "system.posix_acl_default";

// A POSIX ACL as the kernel keeps it in its attribute: a 4-byte version,
// then 8-byte entries of tag (16 bits), permissions (16 bits) and id.
enum AclTag : uint16_t { kAclUserObj = 0x01, kAclGroupObj = 0x04, kAclMask = 0x10, kAclOther = 0x20 };

// What a file made with mode 0666 in a folder with this default ACL is
// given, as open(2) gives it: the owner's, the others' and the mask's
// rights (the owning group's without a mask) lose what 0666 has not.
std::vector<uint8_t> AclForNewFile(std::vector<uint8_t> acl)
{
    auto tag = [&](size_t at) { return uint16_t(acl[at] | acl[at + 1] << 8); };
    bool hasMask = false;
    for (size_t at = 4; at + 8 <= acl.size(); at += 8) hasMask |= tag(at) == kAclMask;
    for (size_t at = 4; at + 8 <= acl.size(); at += 8) {
        const uint16_t t = tag(at);
        if (t == kAclUserObj || t == kAclOther || t == kAclMask || (t == kAclGroupObj && !hasMask)) acl[at + 2] &= 06;
    }
    return acl;
}

// The ACL in attribute name of path (links followed); empty when it has none.
std::vector<uint8_t> ReadAcl(const std::string& path, const char* name)
{
    std::vector<uint8_t> value;
    return GetAttribute(Object(path, true), name, &value) ? value : std::vector<uint8_t>{};
}

}  // namespace

unsigned TakeReplacedAttributes(int fd, const std::string& target)
{
    struct stat st;
    if (::stat(target.c_str(), &st) != 0) {
        // A folder's default ACL stands in for the umask, as for any new file there.
        const std::vector<uint8_t> inherited = ReadAcl(ParentOf(target), kDefaultAclAttr);
        const std::vector<uint8_t> acl = inherited.size() > 4 ? AclForNewFile(inherited) : std::vector<uint8_t>{};
        if (acl.empty() || ::fsetxattr(fd, kAccessAclAttr, acl.data(), acl.size(), 0) != 0) {
            mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(fd, 0666 & ~mask);
        }
    } else {
        struct stat own;
        // Owner first: a change of owner clears the set-id bits the mode then sets.
        if (::fstat(fd, &own) == 0 && (own.st_uid != st.st_uid || own.st_gid != st.st_gid) &&
            ::fchown(fd, st.st_uid, st.st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
        ::fchmod(fd, st.st_mode & 07777);
        // The replaced file's ACL, as cp -p keeps it: its group bits are the
        // mask of the ACL, not the group's rights. Without one, none of the
        // folder's default either.
        const std::vector<uint8_t> acl = ReadAcl(target, kAccessAclAttr);
        if (acl.empty())
            (void)::fremovexattr(fd, kAccessAclAttr);
        else
            (void)::fsetxattr(fd, kAccessAclAttr, acl.data(), acl.size(), 0);
    }
    // The mode as the ACL left it is the last thing given; until then the
    // owner keeps the right to write, which user attributes ask for.
    struct stat now;
    if (::fstat(fd, &now) != 0) return 0600;
    const unsigned last = now.st_mode & 07777;
    if (!(last & S_IWUSR)) ::fchmod(fd, last | S_IWUSR);
    return last;
}

namespace {

// A name, or the number where none is known: "owner 54321", "group 54321".
std::string UserName(uid_t uid)
{
    const passwd* user = ::getpwuid(uid);
    return user && user->pw_name ? user->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid)
{
    const group* g = ::getgrgid(gid);
    return g && g->gr_name ? g->gr_name : std::to_string(gid);
}

}  // namespace

std::string OwnerNotKept(const std::string& target, const std::string& replacement)
{
    struct stat was, now;
    if (::stat(target.c_str(), &was) != 0 || ::stat(replacement.c_str(), &now) != 0) return "";
    const bool ownerLost = was.st_uid != now.st_uid, groupLost = was.st_gid != now.st_gid;
    if (ownerLost && groupLost)
        return "owner " + UserName(was.st_uid) + " and group " + GroupName(was.st_gid) +
               " are not kept: the new file belongs to " + UserName(now.st_uid) + ", group " + GroupName(now.st_gid);
    if (ownerLost) return "owner " + UserName(was.st_uid) + " is not kept: the new file belongs to " + UserName(now.st_uid);
    if (groupLost) return "group " + GroupName(was.st_gid) + " is not kept: the new file has group " + GroupName(now.st_gid);
    // A file system that takes no ACL where the file had one. The
    // replacement's owner bits may differ until its mode is given last.
    if (!ReadAcl(target, kAccessAclAttr).empty() && ReadAcl(replacement, kAccessAclAttr).empty())
        return "its access control list is not kept: the new file has its mode alone";
    return "";
}

// ---- Outputs ---------------------------------------------------------------

namespace {

const volatile std::sig_atomic_t* g_cancelFlag = nullptr;

// A failure's words, with errno kept for callers that have only errno.
bool Failed(int err, std::string* why)
{
    *why = err == ECANCELED ? "cancelled" : std::strerror(err);
    errno = err;
    return false;
}

// Writes count bytes to a non-blocking descriptor, waiting while it is full.
bool WriteAllWaiting(int fd, const char* data, size_t count, bool* wrote, std::string* why)
{
    for (size_t done = 0; done < count;) {
        if (CancelRequested()) return Failed(ECANCELED, why);
        const ssize_t n = ::write(fd, data + done, count - done);
        if (n > 0) {
            done += size_t(n);
            *wrote = true;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            struct pollfd ready = {fd, POLLOUT, 0};
            ::poll(&ready, 1, 100);
        } else if (n < 0 && errno != EINTR) {
            return Failed(errno, why);
        }
    }
    return true;
}

// Copies the rest of in into out.
bool CopyWaiting(int in, int out, bool* wrote, std::string* why)
{
    std::vector<char> buffer(size_t(1) << 16);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failed(errno, why);
        if (n == 0) return true;
        if (!WriteAllWaiting(out, buffer.data(), size_t(n), wrote, why)) return false;
    }
}

}  // namespace

void SetCancelFlag(const volatile std::sig_atomic_t* flag)
{
    g_cancelFlag = flag;
}

bool CancelRequested()
{
    return g_cancelFlag && *g_cancelFlag;
}

bool JudgeOutput(const std::string& given, OutputTarget* out, std::string* why)
{
    *out = OutputTarget();
    struct stat st;
    if (::stat(given.c_str(), &st) != 0) {
        // Nothing there yet: a link that leads nowhere makes the file it
        // names, as the replacement follows it.
        out->path = ReplacedFile(given);
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        *why = "is a folder";
        return false;
    }
    // A regular file is replaced under its real name, when it has one: not
    // standard output's file reached through /proc.
    struct stat real;
    char* resolved = S_ISREG(st.st_mode) ? ::realpath(given.c_str(), nullptr) : nullptr;
    if (resolved && ::stat(resolved, &real) == 0 && real.st_dev == st.st_dev && real.st_ino == st.st_ino) {
        out->path = resolved;
        std::free(resolved);
        if (IsLocked(out->path)) {
            *why = "the file is locked";
            return false;
        }
        return true;
    }
    std::free(resolved);
    out->path = given;
    out->inPlace = true;
    return true;
}

bool WriteInPlace(const std::string& path, const std::string& from, bool* wrote, std::string* why)
{
    *wrote = false;
    const int in = OpenRegularFile(from, why);
    if (in < 0) return false;
    struct stat st;
    const bool known = ::stat(path.c_str(), &st) == 0;
    const int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (known && S_ISREG(st.st_mode) ? O_TRUNC : 0);
    int out;
    // A FIFO opens for writing only once a reader has opened it.
    while ((out = ::open(path.c_str(), flags)) < 0 &&
           ((errno == ENXIO && known && S_ISFIFO(st.st_mode)) || errno == EINTR) && !CancelRequested())
        ::poll(nullptr, 0, 50);
    if (out < 0) {
        const int err = CancelRequested() ? ECANCELED : errno;
        ::close(in);
        return Failed(err, why);
    }
    // A reader that goes away is a failure to say, not the end of the
    // program: SIGPIPE is held back, and taken off again if it came.
    sigset_t pipe, old, pending;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, &old);
    sigpending(&pending);
    const bool pipeWasPending = sigismember(&pending, SIGPIPE);
    bool ok = CopyWaiting(in, out, wrote, why);
    int err = errno;
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    ::close(in);
    sigpending(&pending);
    if (!pipeWasPending && sigismember(&pending, SIGPIPE)) {
        const struct timespec now = {0, 0};
        ::sigtimedwait(&pipe, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok || Failed(err, why);
}

bool IsStandardOutput(const std::string& path)
{
    struct stat a, b;
    return ::fstat(STDOUT_FILENO, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// ---- Creating, deleting, renaming ------------------------------------------

OSStatus CreateFileIn(const FSRef& folder, const std::string& name, FSRef* out)
{
    if (out) out->path.clear();
    if (folder.IsNull()) return paramErr;
    if (!IsValidName(name)) return bdNamErr;
    std::string path = JoinPath(folder.path, name);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return StatusFromErrno(errno);
    close(fd);
    if (out) out->path = path;
    return noErr;
}

OSStatus CreateFolderIn(const FSRef& folder, const std::string& name, uint32_t mode, FSRef* out)
{
    if (out) out->path.clear();
    if (folder.IsNull()) return paramErr;
    if (!IsValidName(name)) return bdNamErr;
    std::string path = JoinPath(folder.path, name);
    if (mkdir(path.c_str(), mode) != 0) return StatusFromErrno(errno);
    if (out) out->path = path;
    return noErr;
}

OSStatus DeleteObject(const FSRef& ref)
{
    if (ref.IsNull() || ref.path == "/") return paramErr;
    struct stat st;
    if (lstat(ref.path.c_str(), &st) != 0) return StatusFromErrno(errno);
    if (IsLocked(ref.path)) return fLckdErr;
    if (S_ISDIR(st.st_mode)) {
        if (rmdir(ref.path.c_str()) != 0) return StatusFromErrno(errno == EEXIST ? ENOTEMPTY : errno);
    } else if (unlink(ref.path.c_str()) != 0) {
        return StatusFromErrno(errno);
    } else {
        RemoveResourceSidecar(ref.path);  // the fork goes with its file
    }
    return noErr;
}

OSStatus RenameObject(const FSRef& ref, const std::string& newName, bool replace, FSRef* out)
{
    if (ref.IsNull() || ref.path == "/") return paramErr;
    if (!IsValidName(newName)) return bdNamErr;
    std::string target = JoinPath(ParentOf(ref.path), newName);
    if (IsLocked(ref.path)) return fLckdErr;
    struct stat st;
    bool targetExists = lstat(target.c_str(), &st) == 0;
    bool sameObject = targetExists && SameObject(ref.path, target);
    if (targetExists && !sameObject) {
        if (!replace) return dupFNErr;
        if (IsLocked(target)) return fLckdErr;
    }
    if (target != ref.path) {
        bool done = GiveName(ref.path, target, replace || sameObject);
        // The file system cannot refuse a clash by itself; checked above.
        if (!done && !replace && !sameObject && (errno == EINVAL || errno == ENOSYS))
            done = GiveName(ref.path, target, true);
        if (!done) return StatusFromErrno(errno);
        // The resource fork follows its file; a replaced file's goes with it.
        if (ReadSidecarFork(ref.path, nullptr))
            GiveName(SidecarPath(ref.path), SidecarPath(target), true);
        else if (targetExists && !sameObject)
            RemoveResourceSidecar(target);
    }
    if (out) out->path = target;
    return noErr;
}

// ---- Finder information and lock -------------------------------------------

OSStatus ReadFinderInfo(const std::string& path, uint8_t info[32])
{
    std::memset(info, 0, 32);
    std::vector<uint8_t> value;
    if (GetAttribute(path, kFinderInfoAttr, &value))
        std::memcpy(info, value.data(), std::min<size_t>(value.size(), 32));
    return noErr;
}

namespace {

OSStatus WriteFinderInfoOf(const Object& object, const uint8_t info[32])
{
    static const uint8_t zeros[32] = {};
    OSStatus status = std::memcmp(info, zeros, 32) == 0 ? RemoveAttribute(object, kFinderInfoAttr)
                                                        : SetAttribute(object, kFinderInfoAttr, info, 32);
    // Links and file systems without user attributes keep no Finder information.
    struct stat st;
    if (status == unimpErr ||
        (status == afpAccessDenied && object.fd < 0 && lstat(object.path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)))
        return noErr;
    return status;
}

OSStatus SetLockedOf(const Object& object, bool locked)
{
    struct stat st;
    if ((object.fd >= 0 ? fstat(object.fd, &st) : lstat(object.path.c_str(), &st)) != 0) return StatusFromErrno(errno);
    OSStatus status = locked ? SetAttribute(object, kLockedAttr, "1", 1) : RemoveAttribute(object, kLockedAttr);
    if (status == unimpErr || (status == afpAccessDenied && S_ISLNK(st.st_mode))) return noErr;
    return status;
}

}  // namespace

OSStatus WriteFinderInfo(const std::string& path, const uint8_t info[32])
{
    return WriteFinderInfoOf(Object(path), info);
}

OSStatus WriteFinderInfo(const PendingFile& file, const uint8_t info[32])
{
    return WriteFinderInfoOf(Object(file), info);
}

bool IsLocked(const std::string& path)
{
    return lgetxattr(path.c_str(), kLockedAttr, nullptr, 0) >= 0;
}

OSStatus SetLocked(const std::string& path, bool locked)
{
    return SetLockedOf(Object(path), locked);
}

OSStatus SetLocked(const PendingFile& file, bool locked)
{
    return SetLockedOf(Object(file), locked);
}

namespace {

OSStatus CopySidecar(const std::string& from, const std::string& to)
{
    std::vector<uint8_t> fork;
    if (!ReadSidecarFork(from, &fork)) return RemoveResourceSidecar(to);
    return WriteSidecarFork(to, fork);
}

}  // namespace

OSStatus CopyExtendedAttributes(const std::string& from, const std::string& to)
{
    ssize_t size = llistxattr(from.c_str(), nullptr, 0);
    if (size < 0) return AttributesUnsupported(errno) ? CopySidecar(from, to) : StatusFromErrno(errno);
    std::vector<char> names(static_cast<size_t>(size) + 1, '\0');
    size = llistxattr(from.c_str(), names.data(), names.size() - 1);
    if (size < 0) return StatusFromErrno(errno);
    for (size_t at = 0; at < static_cast<size_t>(size);) {
        const char* name = names.data() + at;
        at += std::strlen(name) + 1;
        if (std::strncmp(name, "user.", 5) != 0) continue;
        std::vector<uint8_t> value;
        if (!GetAttribute(from, name, &value)) continue;
        OSStatus status = SetAttribute(to, name, value.data(), value.size());
        if (status == unimpErr) break;
        if (status != noErr) return status;
    }
    return CopySidecar(from, to);
}

// ---- Forks -----------------------------------------------------------------

namespace {

class DataFork final : public Fork {
public:
    explicit DataFork(int fd) : fd_(fd) {}
    ~DataFork() override { Close(); }

    OSStatus Read(void* buffer, size_t count, size_t* done) override
    {
        *done = 0;
        if (fd_ < 0) return fnOpnErr;
        while (*done < count) {
            ssize_t n = read(fd_, static_cast<char*>(buffer) + *done, count - *done);
            if (n < 0) {
                if (errno == EINTR) continue;
                return StatusFromErrno(errno);
            }
            if (n == 0) return eofErr;
            *done += static_cast<size_t>(n);
        }
        return noErr;
    }

    OSStatus Write(const void* data, size_t count, size_t* done) override
    {
        *done = 0;
        if (fd_ < 0) return fnOpnErr;
        while (*done < count) {
            ssize_t n = write(fd_, static_cast<const char*>(data) + *done, count - *done);
            if (n < 0) {
                if (errno == EINTR) continue;
                return StatusFromErrno(errno);
            }
            *done += static_cast<size_t>(n);
        }
        return noErr;
    }

    OSStatus SetSize(uint64_t size) override
    {
        if (fd_ < 0) return fnOpnErr;
        return ftruncate(fd_, static_cast<off_t>(size)) == 0 ? noErr : StatusFromErrno(errno);
    }

    OSStatus GetSize(uint64_t* size) override
    {
        struct stat st;
        if (fd_ < 0) return fnOpnErr;
        if (fstat(fd_, &st) != 0) return StatusFromErrno(errno);
        *size = static_cast<uint64_t>(st.st_size);
        return noErr;
    }

    OSStatus Close() override
    {
        if (fd_ < 0) return fnOpnErr;
        int rc = close(fd_);
        fd_ = -1;
        return rc == 0 ? noErr : StatusFromErrno(errno);
    }

private:
    int fd_;
};

// The resource fork is read whole on open and written back whole on close.
class AttributeFork final : public Fork {
public:
    AttributeFork(std::string path, std::vector<uint8_t> data, bool writable)
        : path_(std::move(path)), data_(std::move(data)), writable_(writable)
    {
    }
    ~AttributeFork() override { Close(); }

    OSStatus Read(void* buffer, size_t count, size_t* done) override
    {
        *done = 0;
        if (!open_) return fnOpnErr;
        size_t available = data_.size() - std::min(position_, data_.size());
        *done = std::min(count, available);
        std::memcpy(buffer, data_.data() + position_, *done);
        position_ += *done;
        return *done < count ? eofErr : noErr;
    }

    OSStatus Write(const void* data, size_t count, size_t* done) override
    {
        *done = 0;
        if (!open_) return fnOpnErr;
        if (!writable_) return permErr;
        if (position_ + count > data_.size()) data_.resize(position_ + count);
        std::memcpy(data_.data() + position_, data, count);
        position_ += count;
        *done = count;
        dirty_ = true;
        return noErr;
    }

    OSStatus SetSize(uint64_t size) override
    {
        if (!open_) return fnOpnErr;
        if (!writable_) return permErr;
        if (size > kMaxResourceFork) return dskFulErr;
        data_.resize(static_cast<size_t>(size));
        dirty_ = true;
        return noErr;
    }

    OSStatus GetSize(uint64_t* size) override
    {
        if (!open_) return fnOpnErr;
        *size = data_.size();
        return noErr;
    }

    OSStatus Close() override
    {
        if (!open_) return fnOpnErr;
        open_ = false;
        if (!dirty_) return noErr;
        if (lsetxattr(path_.c_str(), kResourceForkAttr, data_.data(), data_.size(), 0) == 0)
            return RemoveResourceSidecar(path_);
        int err = errno;
        bool tooLarge = err == E2BIG || err == ENOSPC || err == ERANGE || AttributesUnsupported(err);
        if (!tooLarge) return StatusFromErrno(err);
        OSStatus status = WriteSidecarFork(path_, data_);
        if (status == noErr) RemoveAttribute(path_, kResourceForkAttr);
        return status;
    }

private:
    std::string path_;
    std::vector<uint8_t> data_;
    bool writable_;
    size_t position_ = 0;
    bool open_ = true;
    bool dirty_ = false;
};

}  // namespace

OSStatus OpenFork(const FSRef& file, ForkKind kind, int permission, std::unique_ptr<Fork>* out)
{
    out->reset();
    if (file.IsNull() || permission < fsRdPerm || permission > fsRdWrPerm) return paramErr;
    struct stat st;
    if (lstat(file.path.c_str(), &st) != 0) return StatusFromErrno(errno);
    if (!S_ISREG(st.st_mode)) return notAFileErr;
    bool writing = (permission & fsWrPerm) != 0;
    if (writing && IsLocked(file.path)) return fLckdErr;
    if (kind == ForkKind::Data) {
        int flags = (permission == fsRdWrPerm ? O_RDWR : writing ? O_WRONLY : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW;
        int fd = open(file.path.c_str(), flags);
        if (fd < 0) return StatusFromErrno(errno);
        *out = std::make_unique<DataFork>(fd);
        return noErr;
    }
    std::vector<uint8_t> data;
    if (!GetAttribute(file.path, kResourceForkAttr, &data) && !ReadSidecarFork(file.path, &data)) {
        if (!writing) return errFSForkNotFound;
        data.clear();
    }
    *out = std::make_unique<AttributeFork>(file.path, std::move(data), writing);
    return noErr;
}

bool HasResourceFork(const std::string& path)
{
    return lgetxattr(path.c_str(), kResourceForkAttr, nullptr, 0) >= 0 || ReadSidecarFork(path, nullptr);
}

OSStatus CreateResourceFork(const std::string& path)
{
    if (HasResourceFork(path)) return noErr;
    if (lsetxattr(path.c_str(), kResourceForkAttr, "", 0, 0) == 0) return noErr;
    return AttributesUnsupported(errno) ? WriteSidecarFork(path, {}) : StatusFromErrno(errno);
}

// ---- Folder iteration ------------------------------------------------------

FolderIterator::~FolderIterator() { Close(); }

OSStatus FolderIterator::Open(const FSRef& folder)
{
    Close();
    if (folder.IsNull()) return paramErr;
    DIR* dir = opendir(folder.path.c_str());
    if (!dir) return StatusFromErrno(errno);
    dir_ = dir;
    path_ = folder.path;
    return noErr;
}

OSStatus FolderIterator::Next(FSRef* entry, std::string* name, CatalogInfo* info)
{
    if (!dir_) return paramErr;
    for (;;) {
        errno = 0;
        struct dirent* ent = readdir(static_cast<DIR*>(dir_));
        if (!ent) return errno ? StatusFromErrno(errno) : errFSNoMoreItems;
        if (std::strcmp(ent->d_name, ".") == 0 || std::strcmp(ent->d_name, "..") == 0) continue;
        // A sidecar is part of its file, as the fork is, not an entry of its own.
        if (IsSidecarEntry(path_, ent->d_name)) continue;
        std::string path = JoinPath(path_, ent->d_name);
        if (info) {
            struct stat st;
            if (lstat(path.c_str(), &st) != 0) continue;  // gone meanwhile
            FillCatalogInfo(st, path, info);
        }
        if (entry) entry->path = path;
        if (name) *name = ent->d_name;
        return noErr;
    }
}

OSStatus FolderIterator::Close()
{
    if (!dir_) return noErr;
    int rc = closedir(static_cast<DIR*>(dir_));
    dir_ = nullptr;
    path_.clear();
    return rc == 0 ? noErr : StatusFromErrno(errno);
}

// ---- Special folders -------------------------------------------------------

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return StripTrailingSeparators(home);
    if (struct passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return std::string();
}

namespace {

std::string EnvFolder(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value == '/' ? StripTrailingSeparators(value) : std::string();
}

// XDG_DESKTOP_DIR from ~/.config/user-dirs.dirs, "$HOME/..." expanded.
std::string XdgDesktopFromConfig(const std::string& configHome, const std::string& home)
{
    std::ifstream in(configHome + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DESKTOP_DIR=";
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
        if (!value.empty() && value[0] == '/') return StripTrailingSeparators(value);
    }
    return std::string();
}

// The private temporary folder must be a real folder of ours that nobody else
// can enter; anything else at that place is refused, with its reason.
OSStatus CheckPrivateFolder(const std::string& path)
{
    if (const PrivateFolderTrouble trouble = JudgePrivateFolder(path); trouble.status != noErr) return trouble.status;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return StatusFromErrno(errno);
    if ((st.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) return StatusFromErrno(errno);
    return noErr;
}

}  // namespace

PrivateFolderTrouble JudgePrivateFolder(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return {StatusFromErrno(errno), std::strerror(errno)};
    if (S_ISLNK(st.st_mode)) return {afpAccessDenied, "a link, not a folder of its own"};
    if (!S_ISDIR(st.st_mode)) return {dirNFErr, std::strerror(ENOTDIR)};
    if (st.st_uid != getuid()) return {afpAccessDenied, "owned by another user"};
    return {};
}

std::string TemporaryFolderPath()
{
    const std::string base = EnvFolder("TMPDIR");
    return (base.empty() ? std::string("/tmp") : base) + "/tavrel-" + std::to_string(getuid());
}

OSStatus FindFolder(FolderType type, bool create, std::string* out)
{
    out->clear();
    std::string home = HomeFolder();
    std::string configHome = EnvFolder("XDG_CONFIG_HOME");
    if (configHome.empty() && !home.empty()) configHome = home + "/.config";
    std::string path;
    uint32_t mode = 0755;
    switch (type) {
    case FolderType::Temporary: {
        path = TemporaryFolderPath();
        mode = 0700;
        break;
    }
    case FolderType::Preferences:
        path = configHome;
        mode = 0700;
        break;
    case FolderType::Desktop:
        path = EnvFolder("XDG_DESKTOP_DIR");
        if (path.empty() && !configHome.empty()) path = XdgDesktopFromConfig(configHome, home);
        if (path.empty() && !home.empty()) path = home + "/Desktop";
        break;
    }
    if (path.empty()) return fnfErr;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT || !create) return StatusFromErrno(errno);
        if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return StatusFromErrno(errno);
    }
    if (type == FolderType::Temporary) {
        if (OSStatus status = CheckPrivateFolder(path); status != noErr) return status;
    } else if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return dirNFErr;
    }
    *out = path;
    return noErr;
}

}  // namespace platform
