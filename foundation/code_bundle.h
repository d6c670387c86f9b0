#pragma once
// Outside code loaded at run time from bundles (the MP3 encoder, the sibling
// products' bundles), and the SWF-protection bundle that writes preloaders.
#include <cstdint>
#include <string>

#include "foundation/path.h"
#include "platform/shared_code.h"

class CSwfMovie;

class CBundle {
public:
    CBundle() = default;
    virtual ~CBundle() { Unload(); }
    CBundle(const CBundle&) = delete;
    CBundle& operator=(const CBundle&) = delete;

    // Loads the bundle at path (a bundle folder or its shared object); a
    // bundle loaded before is unloaded first. false when it cannot be loaded.
    bool Load(const CPath& path);
    // The exported function's address, for the caller to cast to its known
    // signature; null when nothing is loaded or there is no such export.
    void* GetFunction(const char* name) const;
    // true.
    bool Unload();
    bool IsLoaded() const { return code_.IsOpen(); }
    // Why the last load failed.
    const std::string& GetLoadError() const { return code_.LastError(); }

private:
    platform::SharedCode code_;
};

// The SWF-protection bundle's processing entry point, which writes its
// preloader into the movie and advances the three counters. Nonzero is success.
using LockProcessProc = int (*)(const char* importSource, const char* bundleFolder, void* movie, uint16_t* nextId,
                                uint16_t* nextDepth, int* framesBeforeFirstSlide);
inline constexpr const char kLockProcessEntry[] = "LockProcessPreloader";

class CLockBundle {
public:
    // Where the sibling application says its bundle is; false when it is not there.
    static bool Locate(CPath& out);
    // Keeps the folder that holds the bundle when it loads.
    bool Load(const CPath& path);
    // Calls the entry point with (importSource, the bundle's folder, movie,
    // nextId, nextDepth, frames). true when it returns nonzero, and also when
    // the bundle (or nothing loaded) has no such entry point, so that a
    // missing or older bundle does not stop the export.
    bool Process(const char* importSource, CSwfMovie* movie, uint16_t* nextId, uint16_t* nextDepth,
                 int* framesBeforeFirstSlide);
    const CPath& GetFolder() const { return folder_; }
    CBundle& GetBundle() { return bundle_; }

private:
    CPath folder_;
    CBundle bundle_;
};
