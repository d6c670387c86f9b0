// MovieMedia's side of the movie module: the module is loaded on the first
// Open and kept for the rest of the run; every call is forwarded to the
// backend it makes.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "av/movie_backend.h"
#include "platform/bundle.h"
#include "platform/regular_file.h"
#include "platform/shared_code.h"

// Defined when the FFmpeg layer is linked into the program itself (tests,
// fuzz targets); then no module is loaded.
extern "C" platform::MovieModule* TavrelMovieModule(int version) __attribute__((weak));

namespace platform {

namespace {

std::mutex g_moduleLock;
MovieModule* g_module = nullptr;

MovieModule* LoadedModule()
{
    std::lock_guard<std::mutex> lock(g_moduleLock);
    return g_module;
}

// The module, loaded on first use. A failure is not kept: the next movie
// tries again.
MovieModule* LoadModule(std::string* why)
{
    std::lock_guard<std::mutex> lock(g_moduleLock);
    if (g_module) return g_module;
    if (TavrelMovieModule) {
        g_module = TavrelMovieModule(kMovieModuleVersion);
        if (!g_module) *why = "the linked movie layer is of another version";
        return g_module;
    }
    const std::string name = kMovieModuleBundle;
    const std::string path = FindBundleResource(name);
    if (path.empty()) {
        *why = "the movie module " + name + " is missing from the application bundle";
        return nullptr;
    }
    // Never unloaded: backends may live until the program ends.
    static SharedCode* const code = new SharedCode;
    if (!code->Open(path)) {
        *why = "the movie module " + name + " cannot be loaded: " + code->LastError();
        return nullptr;
    }
    const auto entry = reinterpret_cast<MovieModuleProc>(code->Symbol(kMovieModuleEntry));
    g_module = entry ? entry(kMovieModuleVersion) : nullptr;
    if (!g_module) {
        *why = "the movie module " + name + " is not of this program's version";
        code->Close();
    }
    return g_module;
}

}  // namespace

MovieMedia::MovieMedia() = default;

MovieMedia::~MovieMedia() = default;

MovieMedia::MovieMedia(MovieMedia&& other) noexcept = default;

MovieMedia& MovieMedia::operator=(MovieMedia&& other) noexcept = default;

void MovieMedia::Close()
{
    backend_.reset();
}

bool MovieMedia::Open(const std::string& path, uint64_t maxPixels)
{
    Close();
    error_.clear();
    kindUnknown_ = false;
    MovieModule* module = LoadModule(&error_);
    if (!module) return false;
    std::unique_ptr<MovieBackend> backend = module->NewMovie();
    if (!backend) {
        error_ = "out of memory";
        return false;
    }
    if (!backend->Open(path, maxPixels)) {
        error_ = backend->LastError();
        kindUnknown_ = backend->KindUnknown();
        return false;
    }
    backend_ = std::move(backend);
    return true;
}

const std::string& MovieMedia::LastError() const
{
    return backend_ ? backend_->LastError() : error_;
}

const std::vector<MovieStream>& MovieMedia::Streams() const
{
    static const std::vector<MovieStream> kNone;
    return backend_ ? backend_->Streams() : kNone;
}

double MovieMedia::Duration() const
{
    return backend_ ? backend_->Duration() : 0.0;
}

int MovieMedia::VideoIndex() const
{
    return backend_ ? backend_->VideoIndex() : -1;
}

int MovieMedia::SoundIndex() const
{
    return backend_ ? backend_->SoundIndex() : -1;
}

void MovieMedia::DisplaySize(int* width, int* height) const
{
    if (backend_) return backend_->DisplaySize(width, height);
    if (width) *width = 0;
    if (height) *height = 0;
}

double MovieMedia::FrameRate() const
{
    return backend_ ? backend_->FrameRate() : 0.0;
}

const MovieFrame* MovieMedia::FrameAt(double seconds, int width, int height, int bitsPerPixel)
{
    if (!backend_) {
        error_ = "no movie is open";
        return nullptr;
    }
    return backend_->FrameAt(seconds, width, height, bitsPerPixel);
}

bool MovieMedia::HasFrameAt(double seconds)
{
    if (!backend_) {
        error_ = "no movie is open";
        return false;
    }
    return backend_->HasFrameAt(seconds);
}

void MovieMedia::Release(bool closeFile)
{
    if (backend_) backend_->Release(closeFile);
}

SampleSource* MovieMedia::Sound(int channels)
{
    return backend_ ? backend_->Sound(channels) : nullptr;
}

bool IsMovieContainer(const uint8_t* head, size_t n)
{
    if (n >= 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && (head[3] == 0xBA || head[3] == 0xB3)) return true;
    // Transport stream packets of 188 bytes, each opening with 0x47.
    if (n >= 189 && head[0] == 0x47 && head[188] == 0x47) return true;
    // A QuickTime or MPEG-4 file opens with one of these boxes.
    static constexpr const char* kBoxes[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot"};
    for (const char* box : kBoxes)
        if (n >= 8 && std::memcmp(head + 4, box, 4) == 0) return true;
    if (n >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0) return true;
    static constexpr uint8_t kMatroska[] = {0x1A, 0x45, 0xDF, 0xA3};
    static constexpr uint8_t kAsf[] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
    if (n >= sizeof kMatroska && std::memcmp(head, kMatroska, sizeof kMatroska) == 0) return true;
    if (n >= sizeof kAsf && std::memcmp(head, kAsf, sizeof kAsf) == 0) return true;
    return n >= 4 && std::memcmp(head, "FLV\x01", 4) == 0;
}

int MovieMediaOpenCount()
{
    MovieModule* module = LoadedModule();
    return module ? module->OpenCount() : 0;
}

}  // namespace platform
