#pragma once
// Loops shared by the image filters: per-pixel maps, the stack blur, the
// sorted (median) window and the work areas they need.
#include <cstdint>
#include <memory>
#include <new>

#include "media/image.h"

namespace filter_loops {

// Work areas larger than this are taken as not available, so that sizes
// from a project file fail cleanly instead of exhausting memory.
constexpr uint64_t kMaxWorkBytes = uint64_t(1) << 32;

// A zeroed work area of count elements, or null when it cannot be had.
template <class T>
std::unique_ptr<T[]> NewWorkArea(uint64_t count)
{
    if (count > kMaxWorkBytes / sizeof(T)) return nullptr;
    return std::unique_ptr<T[]>(new (std::nothrow) T[size_t(count)]());
}

// Whether the picture holds 3 bytes for every pixel, as the filters read it.
inline bool HasRgbPixels(const CImage& image)
{
    return image.pixels && image.bitsPerPixel >= 24 && uint64_t(image.size) >= uint64_t(image.width) * image.height * 3;
}

inline uint64_t PixelCount(const CImage& image)
{
    return uint64_t(image.width) * image.height;
}

// Rewrites every pixel through map(uint8_t* rgb).
template <class Map>
bool MapPixels(CImage& image, Map map)
{
    if (PixelCount(image) == 0) return true;
    if (!HasRgbPixels(image)) return false;
    uint8_t* p = image.pixels;
    for (uint64_t n = PixelCount(image); n > 0; --n, p += 3) map(p);
    return true;
}

// Rewrites every channel byte through map(byte).
template <class Map>
bool MapChannels(CImage& image, Map map)
{
    return MapPixels(image, [&](uint8_t* p) {
        p[0] = map(p[0]);
        p[1] = map(p[1]);
        p[2] = map(p[2]);
    });
}

// Largest stack blur radius whose sums still fit 64 bits with room.
constexpr int64_t kMaxBlurRadius = int64_t(1) << 26;

// Stack blur of `channels` interleaved byte channels (stride bytes a
// pixel) with weights r + 1 - |i| and edge pixels repeated; each pass
// truncates. False when the work plane cannot be had; r <= 0 does nothing.
bool StackBlur(uint8_t* pixels, uint32_t width, uint32_t height, int stride, int channels, int64_t r);

// Radius of a blur from a real value: truncated, NaN as 0, limited.
int64_t BlurRadius(double radius);

// The median window filter: for each pixel the k × k window, shifted inward
// at the edges, and per channel the value at index k² / 2 of its sorted
// cells. False (picture unchanged) when k exceeds the picture or is not
// positive; a row block that cannot be had ends the filter with true.
bool MedianWindow(CImage& image, int64_t k);

}  // namespace filter_loops
