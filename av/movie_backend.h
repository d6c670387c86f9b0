#pragma once
// The seam between MovieMedia and the FFmpeg layer behind it. The layer is
// a loadable module of the application bundle
// (Contents/Resources/movie_media.bundle), so FFmpeg's libraries are loaded
// only when a file first needs them; the module exports one entry point,
// kMovieModuleEntry, which hands out the module object.
#include <memory>
#include <string>
#include <vector>

#include "av/movie_media.h"

namespace platform {

// One movie file inside the module; MovieMedia's calls land here with the
// same meaning.
class MovieBackend {
public:
    virtual ~MovieBackend() = default;
    virtual bool Open(const std::string& path, uint64_t maxPixels) = 0;
    virtual const std::string& LastError() const = 0;
    virtual bool KindUnknown() const = 0;
    virtual const std::vector<MovieStream>& Streams() const = 0;
    virtual double Duration() const = 0;
    virtual int VideoIndex() const = 0;
    virtual int SoundIndex() const = 0;
    virtual void DisplaySize(int* width, int* height) const = 0;
    virtual double FrameRate() const = 0;
    virtual const MovieFrame* FrameAt(double seconds, int width, int height, int bitsPerPixel) = 0;
    virtual bool HasFrameAt(double seconds) = 0;
    virtual void Release(bool closeFile) = 0;
    virtual SampleSource* Sound(int channels) = 0;
};

class MovieModule {
public:
    virtual std::unique_ptr<MovieBackend> NewMovie() = 0;
    // Files handed to FFmpeg so far.
    virtual int OpenCount() const = 0;

protected:
    ~MovieModule() = default;
};

// Raised whenever the classes above change, so that a stale module is
// refused instead of called.
inline constexpr int kMovieModuleVersion = 6;
inline constexpr char kMovieModuleEntry[] = "TavrelMovieModule";
inline constexpr char kMovieModuleBundle[] = "movie_media.bundle";
// The entry point: the module object, or null when version is not the
// module's.
using MovieModuleProc = MovieModule* (*)(int version);

}  // namespace platform
