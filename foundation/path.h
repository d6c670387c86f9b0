#pragma once
// File and folder paths.
//
// A path is text in one of two styles: POSIX ("/" separators, absolute when it
// begins with "/") or HFS ("Volume:folder:name"). Text that is not absolute is
// relative to the application bundle itself (its path with a trailing "/").
// File-system operations act on exactly the object the path names: nothing is
// ever done to its parent in its place.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"

struct CFileInfo;

class CPath {
public:
    enum Style { kPosix = 0, kHfs = 1, kWindows = 2 };

    CPath();
    CPath(const char* text);  // null gives the empty path
    CPath(const std::string& text);
    explicit CPath(const platform::FSRef& ref);
    explicit CPath(const platform::FSSpec& spec);
    explicit CPath(const platform::FileURL& url);

    void Assign(const CPath& other)
    {
        text_ = other.text_;
        given_ = other.given_;
    }
    void AssignCString(const char* text);
    void AssignCFURL(const platform::FileURL& url);
    void AssignFSRef(const platform::FSRef& ref);
    void AssignFSSpec(const platform::FSSpec& spec);

    const std::string& GetText() const { return *text_; }
    // The text the path was given as where it was read (a project's
    // relative name, before it was resolved against the project's folder);
    // its text when it was made otherwise. A new text forgets it; an
    // absolute form of the same path (MakePosix) keeps it.
    const std::string& GetGivenText() const { return given_ ? *given_ : *text_; }
    void SetGivenText(const std::string& text) { given_ = std::make_shared<const std::string>(text); }
    const char* c_str() const { return text_->c_str(); }
    bool IsEmpty() const { return text_->empty(); }

    // Queries.
    int GetPathStyle() const;
    bool IsRelative() const;
    bool Exists() const;
    bool IsDirectory() const;      // a folder, or a link to one
    bool IsDirectoryPath() const;  // the text ends with a separator
    bool DiffersNoCase(const CPath& other) const;

    // Absolute forms and conversions. GetFullPath (style 0) is the absolute
    // POSIX text; an HFS path is converted rather than taken as relative.
    std::string GetFullPath(int style = kPosix) const;
    void MakePosix(const CPath& source);
    platform::FileURL CreateCFURL() const;
    bool ToFSRef(platform::FSRef* out) const;  // false (and null) when nothing exists there
    bool ToFSSpec(platform::FSSpec* out) const;

    // Parts of a path.
    CPath GetParent(bool addSeparator = false) const;
    std::string GetFileName(bool withoutExtension = false) const;
    std::string GetExtension(bool withDot = false) const;
    void RemoveExtension();
    void SetFileName(const std::string& name);
    void AddTrailingSeparator();
    static void CombineRaw(CPath& out, const std::string& name, const CPath& folder);
    static void Combine(CPath& out, const std::string& name, const CPath& folder);
    static bool CombineWithFolderRef(CPath& out, const std::string& name, const platform::FSRef& folder);
    static void ResolveRelativePath(CPath& out, const std::string& path, const CPath& base);

    // Files and folders.
    bool CreateFile(const CFileInfo* info, bool replace) const;
    bool Delete(bool unlinkWhenBusy = false) const;
    bool Rename(const std::string& newName);
    bool CopyTo(const CPath& destinationFolder, const char* newName, bool replace, CPath* out = nullptr) const;
    bool CreateDirectory();
    bool DeleteDirectory() const;
    bool MakeBackup(CPath* backup, bool allowDelete) const;
    bool MakeUnique();
    // A mode that only reads opens regular files alone
    // (platform/regular_file.h): a folder, FIFO or device gives null.
    FILE* Fopen(const char* mode) const;
    bool OpenStream(std::fstream& stream, std::ios::openmode mode) const;

    // Folder iteration: one at a time in the whole process. Every entry is
    // returned; pattern is kept but does not filter.
    static bool FindFirst(const CPath& folder, CPath* entry, bool* isFolder, const char* pattern = nullptr);
    static bool FindNext(CPath* entry, bool* isFolder);
    static bool FindClose();

private:
    std::string PosixText() const;    // HFS text converted, else as it stands
    std::string AbsolutePath() const;  // GetFullPath(0) without trailing separators

    std::shared_ptr<const std::string> text_;
    std::shared_ptr<const std::string> given_;  // null: the text itself
};

// How a message names a file a project names: as the project wrote it, so
// a relative name stays relative (the path's given text); a file found
// elsewhere in its place (a --search folder) by where it was found.
std::string ProjectFileName(const CPath& path);

// An owning list of absolute POSIX paths.
class CPathList {
public:
    CPathList() = default;
    CPathList(const CPathList&) = delete;
    CPathList& operator=(const CPathList&) = delete;

    void Add(const char* text);
    void Add(const CPath& path) { Add(path.c_str()); }
    void Clear();
    void SortByName();
    size_t GetCount() const { return items_.size(); }
    CPath* GetAt(size_t index) const { return index < items_.size() ? items_[index].get() : nullptr; }
    // Takes the entry out of the list; the caller owns it from then on.
    std::unique_ptr<CPath> RemoveAt(size_t index);

private:
    std::vector<std::unique_ptr<CPath>> items_;
};

// The application bundle and special folders.
bool GetAppFolder(CPath& out);  // bundle path with a trailing "/"
bool GetAppFSRef(platform::FSRef* out, bool fromBundle);
bool GetAppFilePath(CPath& out, const std::string& name, bool fromProcess);
bool GetBundleResourcePath(CPath& out, const std::string& name);
bool GetTempFolder(CPath& out);
bool GetDesktopFolder(CPath& out);
bool SetWorkFolderName(const std::string& name);
void GetTempFilePath(CPath& out, const std::string& name, bool inWorkFolder);
// A new empty private scratch file (platform::PendingFile::CreateScratch)
// in the work folder, or the temporary folder when the work folder cannot
// be made; named stem, a unique part and extension where it must keep a
// name. false with errno set.
bool MakeWorkScratchFile(platform::PendingFile& out, const std::string& stem, const std::string& extension);
// Why a file of the temporary folder cannot be made or written, for
// people: the folder and the system's reason for err.
std::string TemporaryWriteFailure(int err);
// The new file an output is made in before it is put in place: beside the
// file it replaces (one file system, for its Commit), or in the work folder
// when it is written into (platform::JudgeOutput). false with errno set.
bool MakeOutputTempFile(platform::PendingFile& out, const std::string& target, bool inPlace);
bool GetParentFSRef(const CPath& path, platform::FSRef* out);
bool FSSpecToHFSPath(const platform::FSSpec& spec, std::string* out, size_t capacity);

// The last file-system status (GetTempFolder, AssignFSRef, Delete and the
// file operations) and the last folder-creation status (CreateDirectory).
int GetLastFileError();
int GetLastCreateDirectoryError();
