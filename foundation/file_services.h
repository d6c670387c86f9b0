#pragma once
// File services: typed files, Finder information, lock and visibility,
// rename and delete by reference, and fork access by URL.
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/gestalt.h"
#include "platform/qd_types.h"

class CPath;

using OSType = uint32_t;

constexpr OSType kUnknownType = FourCC("????");

// Finder flags.
constexpr uint16_t kFinderHasBeenInited = 0x0100;
constexpr uint16_t kFinderHasBundle = 0x2000;
constexpr uint16_t kFinderIsInvisible = 0x4000;

// How a new file is created: creator, type, invisible, locked.
struct CFileInfo {
    OSType creator = kUnknownType;
    OSType type = kUnknownType;
    bool invisible = false;
    bool locked = false;
    void Init() { *this = CFileInfo(); }
};

// Finder information of a file; mask bits name the fields to set.
struct CFinderInfo {
    enum : uint32_t { kType = 1, kCreator = 2, kFlags = 4, kLocation = 8, kExtendedFlags = 16 };
    uint32_t mask = 0;
    OSType type = 0;
    OSType creator = 0;
    uint16_t finderFlags = 0;
    Point iconLocation;
    uint16_t extendedFlags = 0;
};

// Finder information of a folder.
struct CFolderFinderInfo {
    enum : uint32_t { kWindowBounds = 1, kFlags = 2, kLocation = 4 };
    uint32_t mask = 0;
    uint16_t finderFlags = 0;
    Rect windowBounds;
    Point iconLocation;
    uint16_t extendedFlags = 0;
};

// A typed file that replaces what stands at its path only once it is
// whole: written in a pending file beside it (platform::PendingFile) that
// takes the name at Commit, so a writer that stops midway (a full disk, a
// crash, a kill) leaves the old file as it was. A link stays a link, and
// the file it leads to (or would make) is replaced, keeping its mode (given
// last), owner, group and ACL. A device or FIFO is written into once the
// file is whole (platform::JudgeOutput); the path of a pending file of this
// process is written into where it stands.
class CTypedOutputFile {
public:
    CTypedOutputFile() = default;
    ~CTypedOutputFile() { Discard(); }
    CTypedOutputFile(const CTypedOutputFile&) = delete;
    CTypedOutputFile& operator=(const CTypedOutputFile&) = delete;

    // Makes the new file with the record's type and creator ('????' without
    // one), hidden and locked as it asks, and opens it for writing. false
    // with errno set for a folder (EISDIR), a locked file (EPERM), a file
    // there without replace (EEXIST) or a file that cannot be made.
    bool Open(const CPath& path, const CFileInfo* info, bool replace);
    std::FILE* GetStream() const { return file_; }
    // Closes the stream and puts the file in place. false with errno set
    // when a write failed or it could not be put there: the old file stays.
    bool Commit();
    // Closes the stream; the new file goes and the old one stays (a pending
    // file written where it stands is left empty).
    void Discard();

private:
    std::FILE* file_ = nullptr;
    platform::PendingFile pending_;
    std::string target_;
    std::string writtenInto_;  // a pending file's path, written where it stands
    bool device_ = false;      // target is written into at Commit
    bool replace_ = true;
};

// Creates an empty typed file at path, as CTypedOutputFile puts one in place.
bool CreateTypedFile(const CPath& path, const CFileInfo* info, bool replace);
// A pending file its writer holds, typed and open for writing from its start.
std::FILE* OpenTypedFile(const platform::PendingFile& pending, const CFileInfo* info);

bool SetFileLocked(const platform::FSRef& file, bool lock);
bool SetFileInvisible(const platform::FSRef& file, bool invisible);
bool DeleteFileRef(const platform::FSRef& file);
// Renames within the folder; an existing object of that name makes it fail.
bool RenameFileRef(const platform::FSRef& file, const char* newName);
bool RenameFile(const CPath& path, const char* newName);
bool GetFileCatalogInfo(const platform::FSRef& file, platform::FSSpec* out);
bool GetFSRefFromURL(platform::FSRef* out, const platform::FileURL& url);
// Creates the file the URL names (its folder must exist) with the Finder
// information of info when whichInfo has the Finder-information bit.
constexpr uint32_t kFSCatInfoFinderInfo = 0x0800;
bool CreateFileAtURL(platform::FSRef* out, const platform::FileURL& url, uint32_t whichInfo,
                     const platform::CatalogInfo* info);

// Replaces the extension of a length-prefixed name (see the .cpp); false,
// with the name unchanged, when the result would not fit 255 bytes.
bool ChangeExtension(unsigned char* name, const char* extension);

// One file addressed by URL, with at most one open fork.
class CURLRef {
public:
    enum : int { kRead = 2, kWrite = 4, kReadWrite = 8 };

    CURLRef() = default;
    ~CURLRef();
    CURLRef(const CURLRef&) = delete;
    CURLRef& operator=(const CURLRef&) = delete;

    bool SetPath(const CPath& path);
    const platform::FileURL& GetURL() const { return url_; }
    int GetLastStatus() const { return status_; }
    bool IsForkOpen() const { return fork_ != nullptr; }

    bool OpenDataFork(int permission);
    bool OpenResourceFork(int permission);
    bool CloseFork();
    size_t WriteFork(const void* data, size_t count);

private:
    bool OpenFork(platform::ForkKind kind, int permission);

    int status_ = 0;
    std::unique_ptr<platform::Fork> fork_;
    platform::FileURL url_;
};

bool SetFileHasBundle(CURLRef& file);
bool GetFileFinderInfo(CURLRef& file, CFinderInfo& info);
bool GetFolderFinderInfo(CURLRef& file, CFolderFinderInfo& info);
bool SetFileFinderInfo(CURLRef& file, const CFinderInfo& info);
bool SetFolderFinderInfo(CURLRef& file, const CFolderFinderInfo& info);
