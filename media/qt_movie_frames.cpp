// The frame side of the movie wrapper: a still picture's frame, or a
// movie's frame at the movie's time, drawn into worlds and copied out as
// packed bytes.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "media/image.h"
#include "media/image_scale.h"
#include "media/jpeg_image.h"
#include "media/picture_scratch.h"
#include "media/qt_movie.h"

// Packed pixels of one rendered frame: borrowed from the decoded picture
// when nothing had to change, else owned.
struct CQTMovie::Frame {
    int width = 0;
    int height = 0;
    int bytesPerPixel = 0;
    const uint8_t* data = nullptr;
    std::unique_ptr<uint8_t[]> owned;

    void Own(std::unique_ptr<uint8_t[]> block, int w, int h)
    {
        owned = std::move(block);
        data = owned.get();
        width = w;
        height = h;
    }
};

namespace {

Rect SizeRect(int width, int height) { return Rect{0, 0, int16_t(height), int16_t(width)}; }

bool Within(const Rect& r, int width, int height)
{
    return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height && r.right > r.left &&
           r.bottom > r.top;
}

std::unique_ptr<uint8_t[]> CopyRegion(const uint8_t* pixels, int width, int bytesPerPixel, const Rect& r)
{
    const size_t rowBytes = size_t(RectWidth(r)) * bytesPerPixel;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[rowBytes * RectHeight(r)]);
    if (!block) return block;
    for (int y = 0; y < RectHeight(r); ++y)
        std::memcpy(block.get() + y * rowBytes, pixels + (size_t(r.top + y) * width + r.left) * bytesPerPixel,
                    rowBytes);
    return block;
}

// A coordinate of one scale in another, rounded.
int16_t MapCoordinate(int value, int from, int to) { return int16_t((int64_t(value) * to + from / 2) / from); }

// Straight-alpha "over": what the picture leaves transparent keeps the
// world's pixel, and a world that was transparent takes the picture as is.
void BlendPixel(const uint8_t* s, uint8_t* d)
{
    const unsigned a = s[3];
    if (a == 255) {
        d[0] = 255, d[1] = s[0], d[2] = s[1], d[3] = s[2];
        return;
    }
    if (a == 0) return;
    const unsigned keep = unsigned(d[0]) * (255 - a);
    const unsigned total = a * 255 + keep;  // the result's alpha × 255
    for (int c = 0; c < 3; ++c) d[1 + c] = uint8_t((s[c] * a * 255 + d[1 + c] * keep + total / 2) / total);
    d[0] = uint8_t((total + 127) / 255);
}

}  // namespace

bool CQTMovie::HasFrames()
{
    if (picture_.IsOpen() || movie_.VideoIndex() >= 0) return true;
    if (movie_.IsOpen()) {
        movie_.FrameAt(0);  // tells why the movie has no frames
        error_ = movie_.LastError();
    } else {
        error_ = IsOpen() ? "a sound has no picture" : "nothing is open";
    }
    return false;
}

bool CQTMovie::ComposeFrame(const Rect& region, int outWidth, int outHeight, Frame* frame, uint8_t* into,
                            int intoBytesPerPixel)
{
    const int boxWidth = RectWidth(box_), boxHeight = RectHeight(box_);
    if (!HasFrames() || boxWidth <= 0 || boxHeight <= 0 || outWidth <= 0 || outHeight <= 0 ||
        !Within(region, boxWidth, boxHeight))
        return false;
    const uint8_t* stage = nullptr;
    int stageWidth = 0, stageHeight = 0, bytesPerPixel = 0;
    bool natural = false;
    if (picture_.IsOpen()) {
        const uint32_t naturalWidth = picture_.Width(), naturalHeight = picture_.Height();
        natural = uint32_t(boxWidth) == naturalWidth && uint32_t(boxHeight) == naturalHeight;
        // A decode no smaller than what the output needs of the picture.
        uint64_t needWidth = naturalWidth, needHeight = naturalHeight;
        if (natural) {
            needWidth = (uint64_t(outWidth) * naturalWidth + RectWidth(region) - 1) / RectWidth(region);
            needHeight = (uint64_t(outHeight) * naturalHeight + RectHeight(region) - 1) / RectHeight(region);
        } else {
            needWidth = std::min<uint64_t>(needWidth, boxWidth);
            needHeight = std::min<uint64_t>(needHeight, boxHeight);
        }
        const PicturePixels* picture =
            picture_.Pixels(uint32_t(std::min<uint64_t>(needWidth, naturalWidth)),
                            uint32_t(std::min<uint64_t>(needHeight, naturalHeight)));
        if (!picture) {
            error_ = picture_.LastError();
            return false;
        }
        stage = picture->Data();
        stageWidth = int(picture->width), stageHeight = int(picture->height);
        bytesPerPixel = picture->bitsPerPixel / 8;
    } else {
        // The frame shown at the movie's time, at its coded size: the region
        // is mapped onto it, so that it is scaled once, straight to the
        // output, with the stretch to the box folded in.
        const TimeValue scale = std::max<TimeValue>(GetTimeScale(), 1);
        // The whole box comes scaled and converted in one pass, straight to
        // the output; a part of it comes at the decoded size.
        const bool whole = region.left == 0 && region.top == 0 && region.right == boxWidth && region.bottom == boxHeight;
        const int bits = intoBytesPerPixel == 3 ? 24 : intoBytesPerPixel == 4 ? 32 : 0;
        const platform::MovieFrame* shown =
            movie_.FrameAt(double(time_) / scale, whole ? outWidth : 0, whole ? outHeight : 0, bits);
        if (!shown) {
            error_ = movie_.LastError();
            return false;
        }
        // Concealed damage is said as a damaged JPEG's is.
        if (!shown->damage.empty()) CJpegWarnings::AddToCurrent(shown->damage);
        natural = true;
        stage = shown->pixels.get();
        stageWidth = int(shown->width), stageHeight = int(shown->height);
        bytesPerPixel = shown->bitsPerPixel / 8;
    }

    // The stage is the frame at the box's size; for a box of the picture's
    // own size, and for a movie's frame, the pixels as decoded (perhaps
    // reduced) with the region mapped onto them.
    std::unique_ptr<uint8_t[]> stageOwned;
    Rect r = region;
    if (natural) {
        if (stageWidth != boxWidth || stageHeight != boxHeight) {
            r.left = std::min<int16_t>(MapCoordinate(region.left, boxWidth, stageWidth), int16_t(stageWidth - 1));
            r.right = std::max<int16_t>(MapCoordinate(region.right, boxWidth, stageWidth), int16_t(r.left + 1));
            r.top = std::min<int16_t>(MapCoordinate(region.top, boxHeight, stageHeight), int16_t(stageHeight - 1));
            r.bottom = std::max<int16_t>(MapCoordinate(region.bottom, boxHeight, stageHeight), int16_t(r.top + 1));
            if (!Within(r, stageWidth, stageHeight)) return false;
        }
    } else if (stageWidth != boxWidth || stageHeight != boxHeight) {
        stageOwned.reset(ScaleImagePixels(stage, SizeRect(stageWidth, stageHeight), SizeRect(boxWidth, boxHeight),
                                          bytesPerPixel * 8));
        if (!stageOwned) return false;
        stage = stageOwned.get();
        stageWidth = boxWidth, stageHeight = boxHeight;
    }

    const uint8_t* part = stage;
    std::unique_ptr<uint8_t[]> partOwned;
    if (r.left != 0 || r.top != 0 || r.right != stageWidth || r.bottom != stageHeight) {
        partOwned = CopyRegion(stage, stageWidth, bytesPerPixel, r);
        if (!partOwned) return false;
        part = partOwned.get();
    } else {
        partOwned = std::move(stageOwned);
    }
    const int partWidth = RectWidth(r), partHeight = RectHeight(r);
    frame->bytesPerPixel = bytesPerPixel;
    if (partWidth == outWidth && partHeight == outHeight) {
        if (partOwned) {
            frame->Own(std::move(partOwned), outWidth, outHeight);
        } else {
            frame->data = part;
            frame->width = outWidth, frame->height = outHeight;
        }
        return true;
    }
    const Rect from = SizeRect(partWidth, partHeight), to = SizeRect(outWidth, outHeight);
    if (into && intoBytesPerPixel == bytesPerPixel) {
        // Scaled where the caller wants the frame, not copied there after.
        CKeptBlock firstPass;
        if (!ScaleImagePixelsInto(part, from, to, bytesPerPixel * 8, into, scratch_ ? &scratch_->firstPass : &firstPass))
            return false;
        frame->data = into;
        frame->width = outWidth, frame->height = outHeight;
        return true;
    }
    std::unique_ptr<uint8_t[]> scaled(ScaleImagePixels(part, from, to, bytesPerPixel * 8));
    if (!scaled) return false;
    frame->Own(std::move(scaled), outWidth, outHeight);
    return true;
}

namespace {

// Movie files kept between the steps of a run (the read, the export's
// plan, the export), each with the stamp of the file it was opened from. A
// movie kept open holds its file and its demuxer's buffers and index;
// those are bounded, and past the bounds a movie is kept closed: it holds
// what it told of itself, and its file is opened again when a frame is
// wanted. Neither holds a decoded frame.
struct KeptMovie {
    std::string path, stamp;
    platform::MovieMedia media;
    uint64_t bytes = 0;  // held open, by its estimate; 0 when closed
    bool open = false;
};
// Movies kept open: a quarter of the files the process may open (the rest
// are the program's), and 64 MB of their buffers and indexes.
constexpr uint64_t kMaxOpenBytes = uint64_t(64) << 20;
size_t MaxOpenKept()
{
    rlimit files{};
    const rlim_t soft = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 256;
    return size_t(std::clamp<rlim_t>(soft / 4, 16, 1u << 20));
}
std::mutex g_keptLock;
// Never destroyed: the movies close before the program ends, or with it.
std::vector<KeptMovie>& Kept()
{
    static auto* kept = new std::vector<KeptMovie>;
    return *kept;
}

}  // namespace

std::string CQTMovie::MovieFileStamp(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "";
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + " " + std::to_string(st.st_size) + " " +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " +
           std::to_string(GetMaxImagePixels());
}

bool CQTMovie::AdoptKept(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_keptLock);
    std::vector<KeptMovie>& kept = Kept();
    const auto found = std::find_if(kept.begin(), kept.end(), [&](const KeptMovie& k) { return k.path == path; });
    if (found == kept.end()) return false;
    const std::string stamp = MovieFileStamp(path);
    const bool same = !stamp.empty() && stamp == found->stamp;
    if (same) movie_ = std::move(found->media);
    kept.erase(found);
    if (!same) return false;
    moviePath_ = path;
    movieStamp_ = stamp;
    int width = 0, height = 0;
    movie_.DisplaySize(&width, &height);
    box_ = Rect{0, 0, int16_t(height), int16_t(width)};
    return true;
}

bool CQTMovie::HoldsKept(const CPath& path)
{
    const std::string full = path.GetFullPath();
    std::lock_guard<std::mutex> lock(g_keptLock);
    const std::vector<KeptMovie>& kept = Kept();
    const auto found = std::find_if(kept.begin(), kept.end(), [&](const KeptMovie& k) { return k.path == full; });
    return found != kept.end() && found->stamp == MovieFileStamp(full);
}

bool CQTMovie::KeepOpen()
{
    if (!movie_.IsOpen() || movieStamp_.empty()) {
        Close();
        return false;
    }
    // Kept open, the demuxer holds its buffers and an index that grows
    // with the movie's length (about 2 KB a second).
    const double seconds = std::clamp(movie_.Duration(), 0.0, 1e7);
    const uint64_t bytes = (uint64_t(256) << 10) + uint64_t(seconds * 2048);
    movie_.Release(false);
    bool open = false;
    {
        std::lock_guard<std::mutex> lock(g_keptLock);
        std::vector<KeptMovie>& store = Kept();
        // A movie of the same file kept before gives way.
        store.erase(std::remove_if(store.begin(), store.end(), [&](const KeptMovie& k) { return k.path == moviePath_; }),
                    store.end());
        size_t count = 0;
        uint64_t held = 0;
        for (const KeptMovie& k : store)
            if (k.open) ++count, held += k.bytes;
        open = count < MaxOpenKept() && held + bytes <= kMaxOpenBytes;
        if (!open) movie_.Release(true);
        store.push_back({moviePath_, movieStamp_, std::move(movie_), open ? bytes : 0, open});
    }
    Close();
    return open;
}

void CQTMovie::ReleaseKept()
{
    std::vector<KeptMovie> closing;
    {
        std::lock_guard<std::mutex> lock(g_keptLock);
        closing.swap(Kept());
    }
}

bool CQTMovie::DrawsFirstFrame()
{
    SetTime(0);
    if (movie_.IsOpen()) {
        if (!HasFrames()) return false;
        if (movie_.HasFrameAt(0)) return true;
        error_ = movie_.LastError();
        return false;
    }
    uint8_t pixel[3];
    const Rect one{0, 0, 1, 1};
    return RenderFrame(0, pixel, &one, nullptr, 24) == sizeof pixel;
}

void CQTMovie::KeepBuffersIn(CPictureScratch* scratch)
{
    scratch_ = scratch;
    picture_.DecodeInto(scratch ? &scratch->decoded : nullptr);
}

uint32_t CQTMovie::RenderInto(uint8_t* out, const Rect* dst, const Rect* src, Output output)
{
    const int boxWidth = RectWidth(box_), boxHeight = RectHeight(box_);
    if (!HasFrames() || boxWidth <= 0 || boxHeight <= 0) return 0;
    Rect region = SizeRect(boxWidth, boxHeight);
    int width = boxWidth, height = boxHeight;
    if (dst) {
        width = RectWidth(*dst), height = RectHeight(*dst);
        if (width <= 0 || height <= 0) return 0;
        if (src) {
            if (!Within(*src, boxWidth, boxHeight)) return 0;
            region = *src;
        }
    }
    const int perPixel = output == Output::kRgb ? 3 : output == Output::kRgba ? 4 : 1;
    const uint64_t count = uint64_t(width) * height * perPixel;
    if (count > std::numeric_limits<uint32_t>::max()) return 0;
    if (!out) return uint32_t(count);
    Frame frame;
    if (!ComposeFrame(region, width, height, &frame, out, perPixel)) {
        picture_.Release();
        return 0;
    }
    const size_t pixels = size_t(width) * height;
    const uint8_t* s = frame.data;
    const int bpp = frame.bytesPerPixel;
    switch (output) {
    case Output::kRgb:
        if (bpp == 4)
            for (size_t i = 0; i < pixels; ++i) std::memcpy(out + i * 3, s + i * 4, 3);
        else if (s != out)
            std::memcpy(out, s, pixels * 3);
        break;
    case Output::kRgba:
        if (bpp == 4) {
            if (s != out) std::memcpy(out, s, pixels * 4);
            break;
        }
        for (size_t i = 0; i < pixels; ++i) {
            std::memcpy(out + i * 4, s + i * 3, 3);
            out[i * 4 + 3] = 255;
        }
        break;
    case Output::kAlpha:
        if (bpp == 3)
            std::memset(out, 255, pixels);
        else
            for (size_t i = 0; i < pixels; ++i) out[i] = s[i * 4 + 3];
        break;
    }
    // Pictures kept open (a slide keeps its own) hold no pixels.
    picture_.Release();
    return uint32_t(count);
}

uint32_t CQTMovie::RenderFrame(TimeValue time, uint8_t* out, const Rect* dst, const Rect* src, int bitsPerPixel)
{
    // Other depths would write more bytes than the count they report.
    if (bitsPerPixel != 24 && bitsPerPixel != 32) return 0;
    SetTime(time);
    return RenderInto(out, dst, src, bitsPerPixel == 24 ? Output::kRgb : Output::kRgba);
}

uint32_t CQTMovie::RenderFrameAt(TimeValue time, uint8_t* out, const Rect* dst, const Rect* src)
{
    SetTime(time);
    return RenderInto(out, dst, src, Output::kAlpha);
}

uint32_t CQTMovie::GetFrameRGBA(TimeValue time, uint8_t* out, const Rect* area)
{
    SetTime(time);
    const int boxWidth = RectWidth(box_), boxHeight = RectHeight(box_);
    int width = boxWidth, height = boxHeight;
    if (area) width = RectWidth(*area), height = RectHeight(*area);
    if (width <= 0 || height <= 0 || width > boxWidth || height > boxHeight) return 0;
    // The top-left corner, unscaled: a destination of the source's size.
    const Rect corner = SizeRect(width, height);
    return RenderInto(out, &corner, &corner, Output::kRgba);
}

bool CQTMovie::GetFrameAtTime(TimeValue time, CImage& image, const Rect* area, int bitsPerPixel)
{
    if ((bitsPerPixel != 24 && bitsPerPixel != 32) || !HasFrames()) return false;
    SetTime(time);
    box_ = SizeRect(RectWidth(box_), RectHeight(box_));
    const Rect region = area ? *area : box_;
    if (!Within(region, RectWidth(box_), RectHeight(box_))) return false;
    const Rect size = SizeRect(RectWidth(region), RectHeight(region));
    const Output output = bitsPerPixel == 32 ? Output::kRgba : Output::kRgb;
    const uint32_t count = RenderInto(nullptr, &size, &region, output);
    if (count == 0) return false;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[count]);
    if (!block || RenderInto(block.get(), &size, &region, output) != count) return false;
    return image.Create(uint32_t(RectWidth(region)), uint32_t(RectHeight(region)), uint16_t(bitsPerPixel),
                        block.release(), false);
}

bool CQTMovie::DrawToPort(GWorldPtr target, const Rect* box)
{
    if (!target || target->GetPixDepth() != 32 || !HasFrames()) return false;
    const Rect at = box ? *box : box_;
    const int width = RectWidth(at), height = RectHeight(at);
    if (width <= 0 || height <= 0) return false;
    // The frame of the box given; the movie keeps its own.
    const Rect saved = box_;
    box_ = at;
    Frame frame;
    const bool ok = ComposeFrame(SizeRect(width, height), width, height, &frame);
    box_ = saved;
    if (!ok) {
        picture_.Release();
        return false;
    }
    const Rect& bounds = target->GetPortBounds();
    const int left = at.left - bounds.left, top = at.top - bounds.top;
    const int x0 = std::max(0, -left), x1 = std::min(width, target->Width() - left);
    for (int y = std::max(0, -top); y < std::min(height, target->Height() - top); ++y) {
        uint8_t* row = target->RowAt(top + y);
        const uint8_t* s = frame.data + size_t(y) * width * frame.bytesPerPixel;
        for (int x = x0; x < x1; ++x) {
            uint8_t* d = row + size_t(left + x) * 4;
            const uint8_t* p = s + size_t(x) * frame.bytesPerPixel;
            if (frame.bytesPerPixel == 4) {
                BlendPixel(p, d);
            } else {
                d[0] = 255, d[1] = p[0], d[2] = p[1], d[3] = p[2];
            }
        }
    }
    picture_.Release();
    return true;
}

bool CQTMovie::DrawToGWorld(GWorldPtr target, const Rect* box, GWorldPtr mask)
{
    if (mask && mask->GetPixDepth() != 8) return false;
    if (!DrawToPort(target, box)) return false;
    if (!mask) return true;
    const int width = std::min(target->Width(), mask->Width());
    for (int y = 0; y < std::min(target->Height(), mask->Height()); ++y) {
        const uint8_t* row = target->RowAt(y);
        uint8_t* m = mask->RowAt(y);
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + size_t(x) * 4;
            m[x] = p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF && p[3] == 0xFF ? 0 : 255;
        }
    }
    return true;
}

Movie CQTMovie::GetMovie()
{
    if (toolboxMovie_ || !IsOpen()) return toolboxMovie_;
    toolboxMovie_ = NewMovie(0);
    SetMovieBox(toolboxMovie_, &box_);
    SetMovieDrawProc(
        toolboxMovie_,
        [this](TimeValue time, GWorldPtr world, const Rect& box) {
            time_ = time;
            return DrawToPort(world, &box);
        },
        GetTimeScale(), GetDuration());
    SetMovieTimeValue(toolboxMovie_, time_);
    return toolboxMovie_;
}
