#include "foundation/copy_engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "foundation/file_services.h"
#include "platform/cfstring.h"

using namespace platform;

namespace {

constexpr const char* kDeleteMeName = ".DeleteMe";

struct FolderToFinish {
    std::string path;
    uint32_t mode;
    struct timespec accessDate;
    struct timespec modifyDate;
};

// Shared by every step of one copy.
struct CopyParams {
    std::vector<char> buffer;
    bool destinationIsDropBox = false;
    unsigned long maxLevels = 0;
    bool wantSpec = false;
    bool wantName = false;
    CopyFilterProc filter = nullptr;
    void* userData = nullptr;
    // Folders get their own permissions and dates back once filled.
    std::vector<FolderToFinish> folders;
};

// A folder that may be written but neither read nor searched.
bool IsDropBox(const std::string& folder)
{
    return access(folder.c_str(), W_OK) == 0 && access(folder.c_str(), R_OK | X_OK) != 0;
}

void SetDates(const std::string& path, const struct timespec& access, const struct timespec& modify)
{
    struct timespec times[2] = {access, modify};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

int CallFilter(CopyParams& p, bool containerChanged, unsigned long level, int status, const CatalogInfo& info,
               const FSRef& ref)
{
    if (!p.filter) return status;
    FSSpec spec;
    std::string name = BaseName(ref.path);
    if (p.wantSpec) MakeSpec(ref.path, &spec);
    return p.filter(containerChanged, level, status, info, ref, p.wantSpec ? &spec : nullptr,
                    p.wantName ? &name : nullptr, p.userData);
}

int CopyForkData(CopyParams& p, int from, int to)
{
    for (;;) {
        ssize_t got = read(from, p.buffer.data(), p.buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return StatusFromErrno(errno);
        }
        if (got == 0) return noErr;
        for (ssize_t done = 0; done < got;) {
            ssize_t n = write(to, p.buffer.data() + done, static_cast<size_t>(got - done));
            if (n < 0) {
                if (errno == EINTR) continue;
                return StatusFromErrno(errno);
            }
            done += n;
        }
    }
}

// Data fork, then the extended attributes (Finder information, resource
// fork, lock), permissions and dates.
int CreateCopyFile(CopyParams& p, const std::string& source, const CatalogInfo& info, const std::string& target)
{
    int from = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (from < 0) return StatusFromErrno(errno);
    int to = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (to < 0) {
        int status = StatusFromErrno(errno);
        close(from);
        return status;
    }
    int status = CopyForkData(p, from, to);
    close(from);
    if (close(to) != 0 && status == noErr) status = StatusFromErrno(errno);
    if (status == noErr) status = CopyExtendedAttributes(source, target);
    if (status == noErr && chmod(target.c_str(), info.mode) != 0) status = StatusFromErrno(errno);
    if (status != noErr) {
        SetLocked(target, false);
        unlink(target.c_str());
        return status;
    }
    SetDates(target, info.accessDate, info.modifyDate);
    return noErr;
}

int CreateCopyLink(const std::string& source, const CatalogInfo& info, const std::string& target)
{
    std::vector<char> link(PATH_MAX + 1);
    ssize_t size = readlink(source.c_str(), link.data(), link.size() - 1);
    if (size < 0) return StatusFromErrno(errno);
    link[static_cast<size_t>(size)] = '\0';
    if (symlink(link.data(), target.c_str()) != 0) return StatusFromErrno(errno);
    SetDates(target, info.accessDate, info.modifyDate);
    return noErr;
}

// The new folder can be filled whatever the source's permissions; they are
// put back when its contents are done.
int CreateCopyFolder(CopyParams& p, const std::string& source, const CatalogInfo& info, const std::string& target)
{
    if (mkdir(target.c_str(), 0700) != 0) return StatusFromErrno(errno);
    int status = CopyExtendedAttributes(source, target);
    if (status == noErr) {
        // The Finder places the copy anew.
        uint8_t finder[32];
        std::memcpy(finder, info.finderInfo, 32);
        finder[8] &= static_cast<uint8_t>(~(kFinderHasBeenInited >> 8));
        status = WriteFinderInfo(target, finder);
    }
    if (status != noErr) {
        SetLocked(target, false);
        rmdir(target.c_str());
        return status;
    }
    p.folders.push_back({target, info.mode, info.accessDate, info.modifyDate});
    return noErr;
}

int CopyOne(CopyParams& p, const std::string& source, const CatalogInfo& info, const std::string& target,
            bool* isFolder)
{
    *isFolder = false;
    if (info.isLink) return CreateCopyLink(source, info, target);
    if (info.isFolder) {
        *isFolder = true;
        return CreateCopyFolder(p, source, info, target);
    }
    struct stat st;
    if (lstat(source.c_str(), &st) != 0) return StatusFromErrno(errno);
    if (!S_ISREG(st.st_mode)) return paramErr;  // devices, pipes and sockets hold no data to copy
    return CreateCopyFile(p, source, info, target);
}

// Depth first without recursion: the subfolders of a folder are worked on
// right after it.
int CopyFolderContents(CopyParams& p, const std::string& source, const std::string& target)
{
    struct Pair {
        std::string source, target;
        unsigned long level;
    };
    std::vector<Pair> work{{source, target, 1}};
    for (size_t current = 0; current < work.size(); ++current) {
        Pair pair = work[current];
        FolderIterator iterator;
        int status = iterator.Open(FSRef{pair.source});
        if (status == afpAccessDenied) continue;
        if (status != noErr) return status;
        std::vector<Pair> subfolders;
        bool first = true;
        for (;;) {
            FSRef entry;
            std::string name;
            CatalogInfo info;
            status = iterator.Next(&entry, &name, &info);
            if (status == errFSNoMoreItems || status == afpAccessDenied) break;
            if (status != noErr) return status;
            struct stat st;
            if (!info.isFolder && !info.isLink && (lstat(entry.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)))
                continue;  // nothing to copy in a device, pipe or socket
            std::string newPath = JoinPath(pair.target, name);
            bool isFolder = false;
            status = CopyOne(p, entry.path, info, newPath, &isFolder);
            status = CallFilter(p, first, pair.level, status, info, FSRef{newPath});
            first = false;
            if (status != noErr) return status;
            if (isFolder && (p.maxLevels == 0 || pair.level < p.maxLevels))
                subfolders.push_back({entry.path, newPath, pair.level + 1});
        }
        work.insert(work.begin() + static_cast<std::ptrdiff_t>(current) + 1, subfolders.begin(), subfolders.end());
    }
    return noErr;
}

// True when folder is source or lies somewhere inside it.
bool IsInside(const std::string& folder, const std::string& source)
{
    struct stat src;
    if (lstat(source.c_str(), &src) != 0) return false;
    char* real = realpath(folder.c_str(), nullptr);
    if (!real) return false;
    std::string path = real;
    std::free(real);
    for (;;) {
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && st.st_dev == src.st_dev && st.st_ino == src.st_ino) return true;
        if (path == "/") return false;
        size_t slash = path.rfind('/');
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
}

int DeleteTree(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return StatusFromErrno(errno);
    if (S_ISDIR(st.st_mode)) {
        // Names are read first so that no folder stays open while its
        // subfolders are worked on.
        std::vector<std::string> names;
        FolderIterator iterator;
        int status = iterator.Open(FSRef{path});
        if (status != noErr) return status;
        std::string name;
        while ((status = iterator.Next(nullptr, &name, nullptr)) == noErr) names.push_back(name);
        iterator.Close();
        if (status != errFSNoMoreItems) return status;
        for (const std::string& entry : names) {
            if (int result = DeleteTree(JoinPath(path, entry)); result != noErr) return result;
        }
    }
    if (IsLocked(path)) SetLocked(path, false);
    return DeleteObject(FSRef{path});
}

}  // namespace

uint32_t CalcCopyBufferSize(int32_t volumeGrade)
{
    int64_t grade = volumeGrade <= 0 ? -int64_t{volumeGrade} : 0;
    int64_t size = grade != 0 ? (grade / 2048) * 512 : 262144;
    return static_cast<uint32_t>(std::clamp<int64_t>(size, 1024, 2097152));
}

bool UnicodeNameToText(const std::string& name, std::string& text)
{
    return Utf8ToMacRoman(name, text);
}

int MakeUniqueObjectName(const FSRef& folder, std::string& name)
{
    if (folder.IsNull()) return paramErr;
    size_t dot = name.rfind('.');
    bool hasExtension = dot != std::string::npos && dot > 0;
    std::string base = hasExtension ? name.substr(0, dot) : name;
    std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (char digit = '1'; digit <= '9'; ++digit) {
        std::string candidate = base + ' ' + digit + extension;
        FSRef existing;
        int status = MakeRefInFolder(folder, candidate, &existing);
        if (status == fnfErr) {
            name = candidate;
            return noErr;
        }
        if (status != noErr) return status;
    }
    return dupFNErr;
}

int CopyFileSystemObject(const FSRef* source, const FSRef* destinationFolder, unsigned long maxLevels,
                         uint32_t whichInfo, int duplicateAction, const char* newName, bool wantSpec, bool wantName,
                         CopyFilterProc filter, void* userData, FSRef* newRef, FSSpec* newSpec)
{
    (void)whichInfo;
    if (!source || !destinationFolder || source->IsNull() || destinationFolder->IsNull()) return paramErr;
    if (duplicateAction < kDupActionStandard || duplicateAction > kDupActionRename) return paramErr;

    CatalogInfo info;
    int status = GetCatalogInfo(*source, &info);
    if (status != noErr) return status;
    struct stat dest;
    if (stat(destinationFolder->path.c_str(), &dest) != 0) return StatusFromErrno(errno);
    if (!S_ISDIR(dest.st_mode)) return errFSNotAFolder;
    // Refused before anything is created or renamed.
    if (info.isFolder && IsInside(destinationFolder->path, source->path)) return paramErr;

    CopyParams p;
    try {
        p.buffer.resize(CalcCopyBufferSize(0));
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    p.destinationIsDropBox = IsDropBox(destinationFolder->path);
    p.maxLevels = maxLevels;
    p.wantSpec = wantSpec;
    p.wantName = wantName;
    p.filter = filter;
    p.userData = userData;

    std::string name = newName ? newName : BaseName(source->path);
    if (!IsValidName(name)) return bdNamErr;
    FSRef sourceRef = *source;

    // A clash in the destination folder.
    FSRef existing, parked;
    status = MakeRefInFolder(*destinationFolder, name, &existing);
    if (status != noErr && status != fnfErr) return status;
    if (status == noErr) {
        if (duplicateAction == kDupActionReplace) {
            bool replacingSource = SameObject(existing.path, sourceRef.path);
            status = RenameObject(existing, kDeleteMeName, false, &parked);
            if (status != noErr) return status;
            if (replacingSource) sourceRef = parked;  // the reference follows the object
        } else if (duplicateAction == kDupActionRename) {
            if ((status = MakeUniqueObjectName(*destinationFolder, name)) != noErr) return status;
        }
    }

    std::string target = JoinPath(destinationFolder->path, name);
    bool isFolder = false;
    status = CopyOne(p, sourceRef.path, info, target, &isFolder);
    bool created = status == noErr;
    if (status == noErr && isFolder) status = CopyFolderContents(p, sourceRef.path, target);
    if (created) status = CallFilter(p, false, 0, status, info, FSRef{target});
    if (status == noErr) {
        // Innermost folders first: a read-only folder closes once it is filled.
        for (auto folder = p.folders.rbegin(); folder != p.folders.rend(); ++folder) {
            if (!p.destinationIsDropBox) chmod(folder->path.c_str(), folder->mode);
            SetDates(folder->path, folder->accessDate, folder->modifyDate);
        }
    } else {
        // No half-made copy stays behind, and a replaced object comes back.
        if (created) DeleteTree(target);
        if (!parked.IsNull()) {
            FSRef restored;
            RenameObject(parked, name, false, &restored);
        }
        return status;
    }
    if (!parked.IsNull()) DeleteTree(parked.path);
    if (newRef) newRef->path = target;
    if (newSpec) MakeSpec(target, newSpec);
    return noErr;
}

int DeleteFileSystemObject(const FSRef* folder)
{
    if (!folder || folder->IsNull()) return paramErr;
    CatalogInfo info;
    int status = GetCatalogInfo(*folder, &info);
    if (status != noErr) return status;
    if (!info.isFolder) return dirNFErr;
    return DeleteTree(folder->path);
}
