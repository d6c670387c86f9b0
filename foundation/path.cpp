#include "foundation/path.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "foundation/copy_engine.h"
#include "foundation/file_services.h"
#include "foundation/system.h"
#include "platform/bundle.h"
#include "platform/regular_file.h"

using namespace platform;

namespace {

std::string g_workFolderName;
int g_lastFileError = 0;
int g_lastCreateDirectoryError = 0;
FolderIterator g_iterator;
std::string g_iteratorPattern;

const std::shared_ptr<const std::string>& EmptyText()
{
    static const auto empty = std::make_shared<const std::string>();
    return empty;
}

// A leading backslash marks text as not relative; anywhere else in a POSIX
// path it is an ordinary byte of a name, as is every byte but "/".
bool IsAbsoluteStart(char c) { return c == '/' || c == '\\'; }

bool EndsWith(const std::string& text, char c) { return !text.empty() && text.back() == c; }

// False when lstat finds nothing at the path (or a file where a folder was
// expected along the way).
bool Missing(int status) { return status == fnfErr || status == dirNFErr; }

bool IsRealFolder(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFolderOrLinkToOne(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

// ---- Construction ----------------------------------------------------------

CPath::CPath() : text_(EmptyText()) {}

CPath::CPath(const char* text) : text_(EmptyText()) { AssignCString(text); }

CPath::CPath(const std::string& text) : text_(EmptyText()) { AssignCString(text.c_str()); }

CPath::CPath(const FSRef& ref) : text_(EmptyText()) { AssignFSRef(ref); }

CPath::CPath(const FSSpec& spec) : text_(EmptyText()) { AssignFSSpec(spec); }

CPath::CPath(const FileURL& url) : text_(EmptyText()) { AssignCFURL(url); }

void CPath::AssignCString(const char* text)
{
    text_ = text && *text ? std::make_shared<const std::string>(text) : EmptyText();
    given_.reset();
}

void CPath::AssignCFURL(const FileURL& url)
{
    std::string text = url.path;
    if (url.directory && !EndsWith(text, '/')) text += '/';
    AssignCString(text.c_str());
}

void CPath::AssignFSRef(const FSRef& ref)
{
    // Links are kept as they are, as aliases are not followed.
    g_lastFileError = ref.IsNull() ? paramErr : noErr;
    AssignCString(ref.path.c_str());
}

void CPath::AssignFSSpec(const FSSpec& spec)
{
    if (spec.IsNull()) return;
    std::string text = spec.Path();
    if (spec.name.empty() && !EndsWith(text, '/')) text += '/';
    AssignCString(text.c_str());
}

// ---- Queries ---------------------------------------------------------------

int CPath::GetPathStyle() const
{
    const std::string& t = *text_;
    if (t.empty() || t.find("://") != std::string::npos || t.find('/') != std::string::npos) return kPosix;
    size_t colon = t.find(':');
    if (colon == std::string::npos) return kPosix;
    // A colon is also an ordinary byte of a POSIX name ("12:30.jpg"): the
    // text is an HFS path only when it begins with one or with a volume.
    if (colon == 0) return kHfs;
    std::string volume = t.substr(0, colon);
    if (volume == kBootVolumeName) return kHfs;
    return IsValidName(volume) && IsFolderOrLinkToOne("/Volumes/" + volume) ? kHfs : kPosix;
}

bool CPath::IsRelative() const
{
    const std::string& t = *text_;
    return !t.empty() && !IsAbsoluteStart(t[0]);
}

bool CPath::Exists() const
{
    FSRef ref;
    return ToFSRef(&ref);
}

bool CPath::IsDirectory() const
{
    std::string path = AbsolutePath();
    return !path.empty() && IsFolderOrLinkToOne(path);
}

bool CPath::IsDirectoryPath() const
{
    return EndsWith(*text_, '/') || (GetPathStyle() == kHfs && EndsWith(*text_, ':'));
}

bool CPath::DiffersNoCase(const CPath& other) const
{
    return strcasecmp(GetFullPath().c_str(), other.GetFullPath().c_str()) != 0;
}

// ---- Absolute forms --------------------------------------------------------

std::string CPath::PosixText() const
{
    return GetPathStyle() == kHfs ? HfsToPosix(*text_) : *text_;
}

std::string CPath::GetFullPath(int style) const
{
    if (text_->empty()) return std::string();
    std::string path = PosixText();
    if (!path.empty() && !IsAbsoluteStart(path[0])) {
        CPath app;
        GetAppFolder(app);
        path = app.GetText() + path;
    }
    switch (style) {
    case kPosix: return path;
    case kHfs: return PosixToHfs(path, EndsWith(path, '/'));
    default: {
        std::string windows = path;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        return windows;
    }
    }
}

std::string CPath::AbsolutePath() const { return StripTrailingSeparators(GetFullPath()); }

void CPath::MakePosix(const CPath& source)
{
    // The same file: it keeps the name it was given.
    std::shared_ptr<const std::string> given = source.given_;
    AssignCString(source.GetFullPath().c_str());
    given_ = std::move(given);
}

FileURL CPath::CreateCFURL() const
{
    FileURL url;
    url.path = GetFullPath();
    return url;
}

bool CPath::ToFSRef(FSRef* out) const
{
    out->path.clear();
    std::string path = AbsolutePath();
    return !path.empty() && MakeRef(path, out) == noErr;
}

bool CPath::ToFSSpec(FSSpec* out) const
{
    std::string path = AbsolutePath();
    if (path.empty()) {
        *out = FSSpec();
        return false;
    }
    return MakeSpec(path, out) == noErr;
}

bool GetParentFSRef(const CPath& path, FSRef* out)
{
    return CPath(path.GetFullPath()).GetParent().ToFSRef(out);
}

bool FSSpecToHFSPath(const FSSpec& spec, std::string* out, size_t capacity)
{
    out->clear();
    if (spec.IsNull() || !IsFolderOrLinkToOne(spec.parent)) return false;
    std::string hfs = PosixToHfs(spec.Path(), spec.name.empty());
    if (hfs.size() >= capacity) return false;
    *out = hfs;
    return true;
}

// ---- Parts of a path -------------------------------------------------------

CPath CPath::GetParent(bool addSeparator) const
{
    if (text_->empty()) return CPath();
    bool hfs = GetPathStyle() == kHfs;
    char separator = hfs ? ':' : '/';
    std::string t = *text_;
    while (t.size() > 1 && EndsWith(t, separator)) t.pop_back();
    size_t cut = t.rfind(separator);
    std::string parent;
    if (cut == std::string::npos) {
        parent = ".";  // a bare name lies in the folder paths are relative to
    } else if (hfs) {
        parent = t.substr(0, cut);
        // A volume keeps its colon, else it would read as a relative name.
        if (parent.find(':') == std::string::npos) parent += ':';
    } else {
        parent = cut == 0 ? t.substr(0, 1) : t.substr(0, cut);
    }
    if (addSeparator && !EndsWith(parent, separator)) parent += separator;
    return CPath(parent);
}

std::string CPath::GetFileName(bool withoutExtension) const
{
    if (text_->empty()) return std::string();
    if (withoutExtension) {
        CPath copy(*this);
        copy.RemoveExtension();
        return copy.GetFileName(false);
    }
    std::string t = StripTrailingSeparators(PosixText());
    if (t == "/") return t;
    size_t slash = t.find_last_of('/');
    return slash == std::string::npos ? t : t.substr(slash + 1);
}

std::string CPath::GetExtension(bool withDot) const
{
    std::string name = GetFileName();
    size_t dot = name.rfind('.');
    // A leading dot begins a hidden name, not an extension.
    if (dot == std::string::npos || dot == 0) return std::string();
    return name.substr(withDot ? dot : dot + 1);
}

void CPath::RemoveExtension()
{
    std::string t = *text_;
    char separator = GetPathStyle() == kHfs ? ':' : '/';
    size_t end = t.size();
    while (end > 1 && t[end - 1] == separator) --end;
    size_t start = t.rfind(separator, end - 1);
    start = start == std::string::npos ? 0 : start + 1;
    size_t dot = t.rfind('.', end - 1);
    if (dot == std::string::npos || dot <= start || dot >= end) return;
    AssignCString((t.substr(0, dot) + t.substr(end)).c_str());
}

void CPath::SetFileName(const std::string& name)
{
    if (text_->empty()) {
        AssignCString(name.c_str());
        return;
    }
    bool hfs = GetPathStyle() == kHfs;
    char separator = hfs ? ':' : '/';
    std::string folder = IsDirectoryPath() ? *text_ : GetParent(false).GetText();
    if (!EndsWith(folder, separator)) folder += separator;
    AssignCString((folder + (hfs ? SwapColonsAndSlashes(name) : name)).c_str());
}

void CPath::AddTrailingSeparator()
{
    if (text_->empty()) return;
    std::string t = *text_;
    if (GetPathStyle() == kHfs) {
        while (EndsWith(t, ':')) t.pop_back();
        AssignCString((t + ":").c_str());
        return;
    }
    while (!t.empty() && t.back() == '/') t.pop_back();
    AssignCString((t + "/").c_str());
}

void CPath::CombineRaw(CPath& out, const std::string& name, const CPath& folder)
{
    CPath base(folder);
    base.AddTrailingSeparator();
    bool hfs = base.GetPathStyle() == kHfs;
    out.AssignCString((base.GetText() + (hfs ? SwapColonsAndSlashes(name) : name)).c_str());
}

void CPath::Combine(CPath& out, const std::string& name, const CPath& folder)
{
    CombineRaw(out, name, CPath(folder.GetFullPath()));
}

bool CPath::CombineWithFolderRef(CPath& out, const std::string& name, const FSRef& folder)
{
    if (folder.IsNull()) return false;
    CombineRaw(out, name, CPath(folder));
    return true;
}

void CPath::ResolveRelativePath(CPath& out, const std::string& path, const CPath& base)
{
    CPath given(path);
    if (!given.IsRelative()) {
        out.AssignCString(given.GetFullPath().c_str());
        return;
    }
    CPath absoluteBase(base.GetFullPath());
    std::string folder =
        absoluteBase.IsDirectory() ? absoluteBase.GetText() : absoluteBase.GetParent(false).GetText();
    if (!folder.empty() && folder.back() == '/') folder.pop_back();

    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find_first_of("/\\", start);
        if (end == std::string::npos) end = path.size();
        std::string token = path.substr(start, end - start);
        start = end + 1;
        if (token.empty()) continue;
        if (token == "..") {
            size_t cut = folder.rfind('/');
            folder = cut == std::string::npos ? std::string() : folder.substr(0, cut);
        } else if (token == ".") {
            if (!EndsWith(folder, '/')) folder += '/';
        } else {
            if (!EndsWith(folder, '/')) folder += '/';
            folder += token;
        }
    }
    if (folder.empty()) folder = "/";
    CPath result(folder);
    if (result.IsDirectory()) {
        result.AddTrailingSeparator();
        result.MakePosix(result);
    }
    out.Assign(result);
}

// ---- Files and folders -----------------------------------------------------

bool CPath::CreateFile(const CFileInfo* info, bool replace) const
{
    return CreateTypedFile(*this, info, replace);
}

bool CPath::Delete(bool unlinkWhenBusy) const
{
    std::string path = AbsolutePath();
    if (path.empty()) return true;
    FSRef ref;
    int status = MakeRef(path, &ref);
    if (Missing(status)) return true;
    if (status == noErr) status = DeleteObject(ref);
    if (status == noErr) return true;
    if (status == fBsyErr && unlinkWhenBusy) return unlink(path.c_str()) == 0;
    g_lastFileError = status;
    return false;
}

bool CPath::Rename(const std::string& newName)
{
    if (!IsValidName(newName)) {
        g_lastFileError = bdNamErr;
        return false;
    }
    FSRef ref, renamed;
    if (!ToFSRef(&ref)) {
        g_lastFileError = fnfErr;
        return false;
    }
    // The name is taken over in one step (platform::GiveName), so a failure
    // leaves it as it was.
    int status = RenameObject(ref, newName, true, &renamed);
    g_lastFileError = status;
    if (status != noErr) return false;
    AssignFSRef(renamed);
    return true;
}

bool CPath::CopyTo(const CPath& destinationFolder, const char* newName, bool replace, CPath* out) const
{
    FSRef source, folder, created;
    if (!ToFSRef(&source) || !destinationFolder.ToFSRef(&folder)) {
        g_lastFileError = fnfErr;
        return false;
    }
    int status = CopyFileSystemObject(&source, &folder, 0, 0, replace ? kDupActionReplace : kDupActionStandard,
                                      newName, false, false, nullptr, nullptr, &created, nullptr);
    g_lastFileError = status;
    if (status != noErr) return false;
    if (out) out->AssignFSRef(created);
    return true;
}

bool CPath::CreateDirectory()
{
    std::string path = AbsolutePath();
    if (path.empty()) {
        g_lastCreateDirectoryError = paramErr;
        return false;
    }
    FSRef ref;
    int status = MakeRef(path, &ref);
    if (status == noErr) {
        // Something that is not a folder does not count as the folder asked for.
        g_lastCreateDirectoryError = IsFolderOrLinkToOne(path) ? noErr : dupFNErr;
        return g_lastCreateDirectoryError == noErr;
    }
    FSRef parent, created;
    std::string parentPath = path.substr(0, path.rfind('/'));
    if (parentPath.empty()) parentPath = "/";
    if (MakeRef(parentPath, &parent) != noErr || !IsFolderOrLinkToOne(parentPath)) {
        g_lastCreateDirectoryError = dirNFErr;
        return false;
    }
    status = CreateFolderIn(parent, path.substr(path.rfind('/') + 1), 0777, &created);
    g_lastCreateDirectoryError = status;
    if (status != noErr) return false;
    AssignFSRef(created);
    return true;
}

bool CPath::DeleteDirectory() const
{
    FSRef ref;
    std::string path = AbsolutePath();
    if (path.empty()) return false;
    int status = MakeRef(path, &ref);
    if (Missing(status)) return true;
    if (status == noErr) status = DeleteFileSystemObject(&ref);
    g_lastFileError = status;
    return status == noErr;
}

bool CPath::MakeBackup(CPath* backup, bool allowDelete) const
{
    FSRef ref;
    if (!ToFSRef(&ref)) return false;
    CPath target(AbsolutePath());
    target.SetFileName(GetFileName() + "~");
    if (backup) backup->Assign(target);
    if (target.Exists()) {
        if (!allowDelete || !target.Delete(false)) return false;
    }
    int status = RenameObject(ref, target.GetFileName(), false, nullptr);
    g_lastFileError = status;
    return status == noErr;
}

bool CPath::MakeUnique()
{
    MakePosix(*this);
    std::string extension = GetExtension(true);
    std::string base = GetFileName(true) + "__";
    SetFileName(base + extension);
    if (!Exists()) return true;
    for (int n = 0; n <= 999; ++n) {
        SetFileName(base + std::to_string(n) + extension);
        if (!Exists()) return true;
    }
    return false;
}

FILE* CPath::Fopen(const char* mode) const
{
    std::string path = GetFullPath();
    if (path.empty() || !mode) return nullptr;
    // What is only read must be a file: no FIFO or device holds the run.
    if (mode[0] == 'r' && !std::strchr(mode, '+')) return platform::OpenRegularStream(path);
    return std::fopen(path.c_str(), mode);
}

bool CPath::OpenStream(std::fstream& stream, std::ios::openmode mode) const
{
    std::string path = GetFullPath();
    if (path.empty()) {
        stream.setstate(std::ios::failbit);
        return false;
    }
    stream.open(path, mode);
    if (!stream.is_open()) stream.setstate(std::ios::failbit);
    return stream.is_open();
}

// ---- Folder iteration ------------------------------------------------------

bool CPath::FindFirst(const CPath& folder, CPath* entry, bool* isFolder, const char* pattern)
{
    g_iteratorPattern = pattern ? pattern : "";
    g_iterator.Close();
    FSRef ref;
    if (!folder.ToFSRef(&ref) || !folder.IsDirectory()) return false;
    if (g_iterator.Open(ref) != noErr) return false;
    return FindNext(entry, isFolder);
}

bool CPath::FindNext(CPath* entry, bool* isFolder)
{
    if (!g_iterator.IsOpen()) return false;
    FSRef ref;
    CatalogInfo info;
    if (g_iterator.Next(&ref, nullptr, &info) != noErr) return false;
    if (entry) entry->AssignFSRef(ref);
    if (isFolder) *isFolder = info.isFolder;
    return true;
}

bool CPath::FindClose() { return g_iterator.Close() == noErr; }

std::string ProjectFileName(const CPath& path) { return path.GetGivenText(); }

// ---- CPathList -------------------------------------------------------------

void CPathList::Add(const char* text)
{
    auto path = std::make_unique<CPath>();
    path->MakePosix(CPath(text));
    items_.push_back(std::move(path));
}

void CPathList::Clear()
{
    items_.clear();
}

void CPathList::SortByName()
{
    std::stable_sort(items_.begin(), items_.end(), [](const auto& a, const auto& b) {
        return strcasecmp(a->GetFileName().c_str(), b->GetFileName().c_str()) < 0;
    });
}

std::unique_ptr<CPath> CPathList::RemoveAt(size_t index)
{
    if (index >= items_.size()) return nullptr;
    std::unique_ptr<CPath> path = std::move(items_[index]);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    return path;
}

// ---- Application and special folders ---------------------------------------

bool GetAppFolder(CPath& out)
{
    std::string bundle = MainBundlePath();
    if (bundle.empty()) {
        out.AssignCString(nullptr);
        return false;
    }
    // The bundle may be reached through links; use the folder itself.
    if (char* real = realpath(bundle.c_str(), nullptr)) {
        bundle = real;
        std::free(real);
    }
    out.AssignCString((bundle == "/" ? bundle : bundle + "/").c_str());
    return true;
}

bool GetAppFSRef(FSRef* out, bool fromBundle)
{
    // The running process's application is its bundle, whichever way it is asked.
    (void)fromBundle;
    CPath app;
    return GetAppFolder(app) && app.ToFSRef(out);
}

bool GetAppFilePath(CPath& out, const std::string& name, bool fromProcess)
{
    FSRef app;
    if (!GetAppFSRef(&app, !fromProcess)) return false;
    CPath::CombineRaw(out, name, CPath(app).GetParent(true));
    return true;
}

bool GetBundleResourcePath(CPath& out, const std::string& name)
{
    std::string path = FindBundleResource(name);
    if (path.empty()) return false;
    out.AssignCString(path.c_str());
    return true;
}

bool GetTempFolder(CPath& out)
{
    std::string path;
    int status = System::IsMacOSX() ? FindFolder(FolderType::Temporary, true, &path)
                                    : FindFolder(FolderType::Preferences, true, &path);
    g_lastFileError = status;
    if (status != noErr) return false;
    out.AssignCString(path.c_str());
    return true;
}

bool GetDesktopFolder(CPath& out)
{
    std::string path;
    if (FindFolder(FolderType::Desktop, true, &path) != noErr) return false;
    out.AssignCString(path.c_str());
    return true;
}

bool SetWorkFolderName(const std::string& name)
{
    if (!IsValidName(name)) return false;
    g_workFolderName = name;
    CPath temp, work;
    if (!GetTempFolder(temp)) return false;
    CPath::Combine(work, name, temp);
    work.CreateDirectory();
    // Only a real folder will do: not a file, not a link to somewhere else.
    return IsRealFolder(work.GetFullPath());
}

void GetTempFilePath(CPath& out, const std::string& name, bool inWorkFolder)
{
    CPath temp;
    if (!GetTempFolder(temp)) {
        out.AssignCString(nullptr);
        return;
    }
    std::string path = temp.GetFullPath() + "/";
    if (inWorkFolder && !g_workFolderName.empty()) path += g_workFolderName + "/";
    out.AssignCString((path + name).c_str());
}

namespace {

// The work folder, made when it is missing; the temporary folder itself
// when it cannot be. "" when there is none.
std::string WorkFolderPath()
{
    CPath folder;
    GetTempFilePath(folder, "", true);
    std::string base = folder.GetFullPath();
    if (base.empty()) return base;
    if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) {
        CPath temp;
        if (!GetTempFolder(temp)) return "";
        base = temp.GetFullPath();
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base;
}

}  // namespace

bool MakeWorkScratchFile(platform::PendingFile& out, const std::string& stem, const std::string& extension)
{
    errno = 0;
    const std::string base = WorkFolderPath();
    if (!base.empty()) return out.CreateScratch(base, stem + "_", extension);
    // The system's reason the folder could not be made, if it gave one.
    if (!errno) errno = EACCES;
    return false;
}

std::string TemporaryWriteFailure(int err)
{
    // Said from what stands there: nothing is made to say it.
    const std::string temp = platform::TemporaryFolderPath();
    const platform::PrivateFolderTrouble trouble = platform::JudgePrivateFolder(temp);
    if (trouble.status != noErr && trouble.status != fnfErr)
        return "cannot write in the temporary folder " + temp + ": " + trouble.words;
    return "cannot write in the temporary folder " + temp + "/" + g_workFolderName + ": " +
           std::strerror(err ? err : EIO);
}

bool MakeOutputTempFile(platform::PendingFile& out, const std::string& target, bool inPlace)
{
    return inPlace ? MakeWorkScratchFile(out, "output", "") : out.CreateBeside(target);
}

int GetLastFileError() { return g_lastFileError; }

int GetLastCreateDirectoryError() { return g_lastCreateDirectoryError; }
