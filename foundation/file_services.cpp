#include "foundation/file_services.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/path.h"

using namespace platform;

namespace {

// Big-endian fields of the 32-byte Finder information record. Files and
// folders share the flags at 8 and the extended flags at 24.
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t Get32(const uint8_t* p) { return (uint32_t(Get16(p)) << 16) | Get16(p + 2); }
void Put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void Put32(uint8_t* p, uint32_t v)
{
    Put16(p, static_cast<uint16_t>(v >> 16));
    Put16(p + 2, static_cast<uint16_t>(v));
}

constexpr size_t kFlagsOffset = 8;
constexpr size_t kExtendedFlagsOffset = 24;

bool ChangeFinderFlag(const std::string& path, uint16_t flag, bool set)
{
    uint8_t info[32];
    if (ReadFinderInfo(path, info) != noErr) return false;
    uint16_t flags = Get16(info + kFlagsOffset);
    Put16(info + kFlagsOffset, set ? flags | flag : flags & ~flag);
    return WriteFinderInfo(path, info) == noErr;
}

bool RefFromURL(const FileURL& url, FSRef* ref) { return GetFSRefFromURL(ref, url); }

// Type, creator and flags as the new file's Finder information.
void FinderInfoOf(const CFileInfo& info, uint8_t finder[32])
{
    std::memset(finder, 0, 32);
    Put32(finder, info.type);
    Put32(finder + 4, info.creator);
    if (info.invisible) Put16(finder + kFlagsOffset, kFinderIsInvisible);
}

// Writes type, creator and flags into the new file's Finder information,
// then locks it as the record asks.
template <typename File>
bool ApplyFileInfo(const File& file, const CFileInfo& info)
{
    uint8_t finder[32];
    FinderInfoOf(info, finder);
    return WriteFinderInfo(file, finder) == noErr && (!info.locked || SetLocked(file, true) == noErr);
}

}  // namespace

bool CTypedOutputFile::Open(const CPath& path, const CFileInfo* given, bool replace)
{
    Discard();
    CFileInfo info;
    if (given) info = *given;
    const std::string named = StripTrailingSeparators(path.GetFullPath());
    replace_ = replace;
    // A pending file is the new file already: written into where it stands.
    if (IsPendingFile(named)) {
        if (!replace) {
            errno = EEXIST;
            return false;
        }
        file_ = RewritePendingFile(named);
        if (!file_) return false;
        writtenInto_ = named;
        if (ApplyFileInfo(named, info)) return true;
        Discard();
        return false;
    }
    OutputTarget output;
    std::string why;
    if (named.empty() || named == "/" || !JudgeOutput(named, &output, &why)) {
        errno = named.empty() ? ENOENT : IsLocked(output.path) ? EPERM : EISDIR;
        return false;
    }
    struct stat st;
    if (!replace && ::stat(output.path.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    if (!MakeOutputTempFile(pending_, output.path, output.inPlace)) return false;
    target_ = output.path;
    device_ = output.inPlace;
    // Finder information and the lock go on while the file may be written;
    // the replaced file's mode comes last, at Commit.
    file_ = pending_.Rewrite();
    if (file_ && ApplyFileInfo(pending_, info)) return true;
    const int err = errno;
    Discard();
    errno = err;
    return false;
}

bool CTypedOutputFile::Commit()
{
    if (!file_) {
        errno = EBADF;
        return false;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    bool ok = !std::ferror(file) && std::fflush(file) == 0;
    // What replaces an old file is on the disk before it takes the name.
    if (ok && writtenInto_.empty()) ok = ::fsync(::fileno(file)) == 0;
    int err = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && !writtenInto_.empty()) {
        writtenInto_.clear();
        return true;
    }
    if (ok && device_) {
        bool wrote = false;
        std::string why;
        ok = WriteInPlace(target_, pending_.GetPath(), &wrote, &why);
        err = errno;
    } else if (ok) {
        ok = pending_.Commit(target_, replace_);
        err = errno;
        // The replaced file's resource fork, if it had one beside it, went with it.
        if (ok) RemoveResourceSidecar(target_);
    }
    Discard();
    errno = err;
    return ok;
}

void CTypedOutputFile::Discard()
{
    if (file_) std::fclose(file_);
    file_ = nullptr;
    // Not half-written: the writer that holds it says what became of it.
    if (!writtenInto_.empty()) (void)::ftruncate(PendingDescriptor(writtenInto_), 0);
    writtenInto_.clear();
    pending_.Discard();
    target_.clear();
    device_ = false;
}

std::FILE* OpenTypedFile(const platform::PendingFile& pending, const CFileInfo* given)
{
    CFileInfo info;
    if (given) info = *given;
    std::FILE* file = pending.Rewrite();
    if (file && ApplyFileInfo(pending, info)) return file;
    if (file) std::fclose(file);
    return nullptr;
}

bool CreateTypedFile(const CPath& path, const CFileInfo* info, bool replace)
{
    CTypedOutputFile file;
    return file.Open(path, info, replace) && file.Commit();
}

bool SetFileLocked(const FSRef& file, bool lock)
{
    return !file.IsNull() && SetLocked(file.path, lock) == noErr;
}

bool SetFileInvisible(const FSRef& file, bool invisible)
{
    return !file.IsNull() && ChangeFinderFlag(file.path, kFinderIsInvisible, invisible);
}

bool DeleteFileRef(const FSRef& file) { return DeleteObject(file) == noErr; }

bool RenameFileRef(const FSRef& file, const char* newName)
{
    return newName && RenameObject(file, newName, false, nullptr) == noErr;
}

bool RenameFile(const CPath& path, const char* newName)
{
    FSRef ref;
    return path.ToFSRef(&ref) && RenameFileRef(ref, newName);
}

bool GetFileCatalogInfo(const FSRef& file, FSSpec* out)
{
    return !file.IsNull() && MakeSpec(file.path, out) == noErr;
}

bool GetFSRefFromURL(FSRef* out, const FileURL& url)
{
    out->path.clear();
    std::string path = StripTrailingSeparators(url.path);
    if (path.empty() || path[0] != '/' || path == "/") return false;
    FSRef folder;
    if (MakeRef(ParentOf(path), &folder) != noErr) return false;
    return MakeRefInFolder(folder, path.substr(path.rfind('/') + 1), out) == noErr;
}

bool CreateFileAtURL(FSRef* out, const FileURL& url, uint32_t whichInfo, const CatalogInfo* info)
{
    out->path.clear();
    std::string path = StripTrailingSeparators(url.path);
    if (path.empty() || path[0] != '/' || path == "/") return false;
    FSRef folder, created;
    if (MakeRef(ParentOf(path), &folder) != noErr) return false;
    if (CreateFileIn(folder, path.substr(path.rfind('/') + 1), &created) != noErr) return false;
    if ((whichInfo & kFSCatInfoFinderInfo) && info && WriteFinderInfo(created.path, info->finderInfo) != noErr) {
        unlink(created.path.c_str());
        return false;
    }
    *out = created;
    return true;
}

// The last "." starts the extension: it is replaced, or cut off when the new
// extension is empty; a name without one gets "." and the extension.
bool ChangeExtension(unsigned char* name, const char* extension)
{
    if (!name) return false;
    std::string text(reinterpret_cast<const char*>(name + 1), name[0]);
    std::string ext = extension ? extension : "";
    size_t dot = text.rfind('.');
    if (dot != std::string::npos) {
        text = ext.empty() ? text.substr(0, dot) : text.substr(0, dot + 1) + ext;
    } else if (!ext.empty()) {
        text += "." + ext;
    }
    if (text.size() > 255) return false;
    name[0] = static_cast<unsigned char>(text.size());
    std::memcpy(name + 1, text.data(), text.size());
    return true;
}

// ---- CURLRef ---------------------------------------------------------------

CURLRef::~CURLRef()
{
    if (fork_) fork_->Close();
}

bool CURLRef::SetPath(const CPath& path)
{
    url_ = path.CreateCFURL();
    return true;
}

bool CURLRef::OpenFork(ForkKind kind, int permission)
{
    int mode = (permission & kRead) ? fsRdPerm : (permission & kWrite) ? fsWrPerm
                                                 : (permission & kReadWrite) ? fsRdWrPerm
                                                                             : 0;
    if (mode == 0) {
        status_ = paramErr;
        return false;
    }
    if (fork_) CloseFork();
    FSRef ref;
    if (!RefFromURL(url_, &ref)) {
        status_ = fnfErr;
        return false;
    }
    status_ = platform::OpenFork(ref, kind, mode, &fork_);
    return status_ == noErr;
}

bool CURLRef::OpenDataFork(int permission) { return OpenFork(ForkKind::Data, permission); }

bool CURLRef::OpenResourceFork(int permission) { return OpenFork(ForkKind::Resource, permission); }

bool CURLRef::CloseFork()
{
    if (!fork_) return false;
    status_ = fork_->Close();
    fork_.reset();
    return status_ == noErr;
}

size_t CURLRef::WriteFork(const void* data, size_t count)
{
    if (!fork_) {
        status_ = fnOpnErr;
        return 0;
    }
    size_t written = 0;
    status_ = fork_->Write(data, count, &written);
    return written;
}

// ---- Finder information ----------------------------------------------------

bool SetFileHasBundle(CURLRef& file)
{
    FSRef ref;
    return RefFromURL(file.GetURL(), &ref) && ChangeFinderFlag(ref.path, kFinderHasBundle, true);
}

bool GetFileFinderInfo(CURLRef& file, CFinderInfo& info)
{
    FSRef ref;
    uint8_t raw[32];
    if (!RefFromURL(file.GetURL(), &ref) || ReadFinderInfo(ref.path, raw) != noErr) return true;
    info.type = Get32(raw);
    info.creator = Get32(raw + 4);
    info.finderFlags = Get16(raw + kFlagsOffset);
    info.iconLocation = {static_cast<int16_t>(Get16(raw + 10)), static_cast<int16_t>(Get16(raw + 12))};
    info.extendedFlags = Get16(raw + kExtendedFlagsOffset);
    return true;
}

bool GetFolderFinderInfo(CURLRef& file, CFolderFinderInfo& info)
{
    FSRef ref;
    uint8_t raw[32];
    if (!RefFromURL(file.GetURL(), &ref) || ReadFinderInfo(ref.path, raw) != noErr) return true;
    info.windowBounds = {static_cast<int16_t>(Get16(raw)), static_cast<int16_t>(Get16(raw + 2)),
                         static_cast<int16_t>(Get16(raw + 4)), static_cast<int16_t>(Get16(raw + 6))};
    info.finderFlags = Get16(raw + kFlagsOffset);
    info.iconLocation = {static_cast<int16_t>(Get16(raw + 10)), static_cast<int16_t>(Get16(raw + 12))};
    info.extendedFlags = Get16(raw + kExtendedFlagsOffset);
    return true;
}

bool SetFileFinderInfo(CURLRef& file, const CFinderInfo& info)
{
    FSRef ref;
    uint8_t raw[32];
    if (!RefFromURL(file.GetURL(), &ref) || ReadFinderInfo(ref.path, raw) != noErr) return false;
    if (info.mask & CFinderInfo::kType) Put32(raw, info.type);
    if (info.mask & CFinderInfo::kCreator) Put32(raw + 4, info.creator);
    if (info.mask & CFinderInfo::kFlags) Put16(raw + kFlagsOffset, info.finderFlags);
    if (info.mask & CFinderInfo::kLocation) {
        Put16(raw + 10, static_cast<uint16_t>(info.iconLocation.v));
        Put16(raw + 12, static_cast<uint16_t>(info.iconLocation.h));
    }
    if (info.mask & CFinderInfo::kExtendedFlags) Put16(raw + kExtendedFlagsOffset, info.extendedFlags);
    return WriteFinderInfo(ref.path, raw) == noErr;
}

bool SetFolderFinderInfo(CURLRef& file, const CFolderFinderInfo& info)
{
    FSRef ref;
    uint8_t raw[32];
    if (!RefFromURL(file.GetURL(), &ref) || ReadFinderInfo(ref.path, raw) != noErr) return false;
    if (info.mask & CFolderFinderInfo::kWindowBounds) {
        Put16(raw, static_cast<uint16_t>(info.windowBounds.top));
        Put16(raw + 2, static_cast<uint16_t>(info.windowBounds.left));
        Put16(raw + 4, static_cast<uint16_t>(info.windowBounds.bottom));
        Put16(raw + 6, static_cast<uint16_t>(info.windowBounds.right));
    }
    if (info.mask & CFolderFinderInfo::kFlags) Put16(raw + kFlagsOffset, info.finderFlags);
    if (info.mask & CFolderFinderInfo::kLocation) {
        Put16(raw + 10, static_cast<uint16_t>(info.iconLocation.v));
        Put16(raw + 12, static_cast<uint16_t>(info.iconLocation.h));
    }
    return WriteFinderInfo(ref.path, raw) == noErr;
}
