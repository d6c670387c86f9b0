// Filters that look at a window around each pixel: Median, Reduce Noise,
// Oil Paint, Shade and Deinterlace.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/filter_loops.h"
#include "media/image_filters.h"

using filter_loops::HasRgbPixels;
using filter_loops::NewWorkArea;
using filter_loops::PixelCount;

CMedianFilter::CMedianFilter() : CImageFilterOf(nullptr, 20)
{
    SetName("Median");
}

bool CMedianFilter::Apply(CImage& image)
{
    return filter_loops::MedianWindow(image, GetGaussianKernelWidth(value_ / 10.0, 0.5));
}

bool CReduceNoiseFilter::Apply(CImage& image)
{
    const int64_t k =
        std::min({int64_t(GetGaussianKernelWidth(0.5, 0.5)), int64_t(image.width), int64_t(image.height)});
    if (k == 0) return true;
    return filter_loops::MedianWindow(image, k);
}

COilPaintFilter::COilPaintFilter() : CImageFilterOf("threshold", 50)
{
    SetName("Oil Paint");
}

bool COilPaintFilter::Apply(CImage& image)
{
    if (PixelCount(image) == 0) return true;
    if (!HasRgbPixels(image)) return false;
    const int64_t k = GetGaussianKernelWidth(value_ / 10.0, 0.5);
    const int64_t width = image.width, blockWidth = width + k;
    CImage source;
    if (!source.CopyFrom(image)) return false;
    // Too wide a window is a block that cannot be had: nothing is done.
    if (blockWidth > int64_t(UINT32_MAX)) return true;
    const uint64_t cells = uint64_t(blockWidth) * uint64_t(k);
    std::unique_ptr<uint8_t[]> intensity = NewWorkArea<uint8_t>(cells);
    if (!intensity) return true;
    uint8_t* out = image.pixels;
    uint32_t count[256] = {};
    for (int64_t y = 0; y < int64_t(image.height); ++y) {
        std::unique_ptr<uint8_t[]> block =
            ExtractPixelBlock(source, -(k / 2), y - k / 2, uint32_t(blockWidth), uint32_t(k));
        if (!block) return true;
        for (uint64_t i = 0; i < cells; ++i) intensity[i] = uint8_t(PixelIntensity(&block[i * 4]));
        for (int64_t x = 0; x < width; ++x, out += 3) {
            uint32_t max = 0;
            uint64_t chosen = uint64_t(x);
            for (int64_t j = 0; j < k; ++j) {
                uint64_t cell = uint64_t(j * blockWidth + x);
                for (int64_t i = 0; i < k; ++i, ++cell) {
                    const uint32_t n = ++count[intensity[cell]];
                    if (n > max) {
                        max = n;
                        chosen = cell;
                    }
                }
            }
            std::memcpy(out, &block[chosen * 4], 3);
            // Clearing only the counters the window touched is cheaper than
            // clearing all 256 when the window is small.
            for (int64_t j = 0; j < k; ++j)
                for (int64_t i = 0; i < k; ++i) count[intensity[uint64_t(j * blockWidth + x + i)]] = 0;
        }
    }
    return true;
}

bool CShadeFilter::Apply(CImage& image)
{
    const int64_t width = image.width, height = image.height;
    // The 3-row window needs 3 rows and a neighbour on each side.
    if (height < 3 || width < 2) return true;
    if (!HasRgbPixels(image)) return false;
    constexpr double kDegreesToRadians = 0.017453292519943295;
    const float a = float(azimuth_ * kDegreesToRadians), e = float(elevation_ * kDegreesToRadians);
    const int lx = int(255.0f * std::cos(a) * std::cos(e));
    const int ly = int(255.0f * std::sin(a) * std::sin(e));
    const int lz = int(255.0f * std::sin(e));
    CImage source;
    if (!source.CopyFrom(image)) return false;
    std::unique_ptr<int[]> intensity = NewWorkArea<int>(uint64_t(width) * 3);
    if (!intensity) return true;
    uint8_t* out = image.pixels;
    for (int64_t y = 0; y < height; ++y) {
        const int64_t top = std::min(std::max<int64_t>(y - 1, 0), height - 3);
        std::unique_ptr<uint8_t[]> block = ExtractPixelBlock(source, 0, top, uint32_t(width), 3);
        if (!block) return true;
        for (int64_t i = 0; i < width * 3; ++i) {
            const uint8_t* c = &block[i * 4];
            intensity[i] = (9798 * c[0] + 19235 * c[1] + 3735 * c[2]) >> 15;
        }
        const int* s0 = intensity.get();
        const int* s1 = s0 + width;
        const int* s2 = s1 + width;
        for (int64_t x = 0; x < width; ++x, out += 3) {
            const int64_t left = x == 0 ? x + 1 : x - 1, right = x == width - 1 ? x - 1 : x + 1;
            const int nx = s0[left] + s1[left] + s2[left] - s0[right] - s1[right] - s2[right];
            const int ny = s2[left] + s2[x] + s2[right] - s0[left] - s0[x] - s0[right];
            double shade = lz;
            if (nx != 0 || ny != 0) {
                shade = 0;
                const int d = nx * lx + ny * ly + 510 * lz;
                if (d > 0) {
                    const int norm = nx * nx + ny * ny + 510 * 510;
                    if (norm > 1e-07) shade = d / std::sqrt(double(float(norm)));
                }
            }
            out[0] = out[1] = out[2] = uint8_t(int(shade));
        }
    }
    return true;
}

bool CDeinterlaceFilter::Apply(CImage& image)
{
    const int64_t width = image.width, height = image.height;
    if (width == 0 || height == 0) return true;
    const int stride = image.bitsPerPixel == 32 ? 4 : 3;
    if (!image.pixels || image.bitsPerPixel < 24 || uint64_t(image.size) < PixelCount(image) * stride) return false;
    std::unique_ptr<uint8_t[]> mask = NewWorkArea<uint8_t>(PixelCount(image));
    if (!mask) return false;
    auto pixel = [&](int64_t x, int64_t y) { return image.pixels + (y * width + x) * stride; };
    // A pixel that differs from both neighbours the same way is combed.
    for (int64_t y = 1; y < height - 1; y += 2)
        for (int64_t x = 0; x < width; ++x) {
            const uint8_t *a = pixel(x, y - 1), *c = pixel(x, y), *b = pixel(x, y + 1);
            const int s =
                (a[0] - c[0]) * (b[0] - c[0]) + 6 * (a[1] - c[1]) * (b[1] - c[1]) + 3 * (a[2] - c[2]) * (b[2] - c[2]);
            if (s > kCombThreshold) mask[y * width + x] = 1;
        }
    // Lone marks are noise, not combing.
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < width; ++x) {
            if (!mask[y * width + x]) continue;
            int count = 0;
            for (int64_t v = std::max<int64_t>(y - 1, 0); v <= std::min(y + 1, height - 1); ++v)
                for (int64_t u = std::max<int64_t>(x - 1, 0); u <= std::min(x + 1, width - 1); ++u)
                    count += mask[v * width + u];
            if (count <= 1) mask[y * width + x] = 0;
        }
    // Marks lie on odd rows only, so the rows read here are never written.
    for (int64_t y = 1; y < height - 1; y += 2)
        for (int64_t x = 0; x < width; ++x) {
            if (!mask[y * width + x]) continue;
            const uint8_t *a = pixel(x, y - 1), *b = pixel(x, y + 1);
            uint8_t* c = pixel(x, y);
            for (int ch = 0; ch < 3; ++ch) c[ch] = uint8_t((a[ch] + b[ch]) >> 1);
        }
    return true;
}
