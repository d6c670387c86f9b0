// Blurs: the 3 × 3 mean, the stack blurs and the fixed motion blur.
#include <algorithm>
#include <cmath>

#include "media/filter_loops.h"
#include "media/image_filters.h"

using filter_loops::HasRgbPixels;
using filter_loops::NewWorkArea;
using filter_loops::PixelCount;

bool CBlurFilter::Apply(CImage& image)
{
    if (PixelCount(image) == 0) return true;
    if (!HasRgbPixels(image)) return false;
    std::unique_ptr<uint8_t[]> result = NewWorkArea<uint8_t>(PixelCount(image) * 3);
    if (!result) return false;
    const int64_t width = image.width, height = image.height;
    uint8_t* out = result.get();
    for (int64_t y = 0; y < height; ++y) {
        const int64_t y0 = y > 0 ? y - 1 : 0, y1 = y + 1 < height ? y + 1 : y;
        for (int64_t x = 0; x < width; ++x, out += 3) {
            const int64_t x0 = x > 0 ? x - 1 : 0, x1 = x + 1 < width ? x + 1 : x;
            int sum[3] = {0, 0, 0};
            for (int64_t v = y0; v <= y1; ++v)
                for (int64_t u = x0; u <= x1; ++u) {
                    const uint8_t* p = image.pixels + (v * width + u) * 3;
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            const int count = int((y1 - y0 + 1) * (x1 - x0 + 1));
            for (int c = 0; c < 3; ++c) out[c] = uint8_t(sum[c] / count);
        }
    }
    std::copy(result.get(), result.get() + PixelCount(image) * 3, image.pixels);
    return true;
}

namespace {

bool StackBlurImage(CImage& image, double radius)
{
    if (PixelCount(image) == 0) return true;
    if (!HasRgbPixels(image)) return false;
    return filter_loops::StackBlur(image.pixels, image.width, image.height, 3, 3, filter_loops::BlurRadius(radius));
}

}  // namespace

bool CFastBlurFilter::Apply(CImage& image)
{
    return StackBlurImage(image, radius_);
}

bool CGaussianBlurFilter::Apply(CImage& image)
{
    return StackBlurImage(image, radius_);
}

bool CFadeEdgeFilter::Apply(CImage& image)
{
    if (PixelCount(image) == 0) return true;
    if (!HasRgbPixels(image)) return false;
    const int64_t width = image.width, height = image.height;
    std::unique_ptr<uint8_t[]> mask = NewWorkArea<uint8_t>(PixelCount(image));
    if (!mask) return false;
    const int64_t edge = std::max(1, int(edgeSize_ * 0.4));
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < width; ++x)
            if (y < edge || y >= height - edge || x < edge || x >= width - edge) mask[y * width + x] = 255;
    if (!filter_loops::StackBlur(mask.get(), image.width, image.height, 1, 1, std::max(1, int(edgeSize_ * 0.6))))
        return false;
    const double color[3] = {double(fadeColor_ & 0xFF), double((fadeColor_ >> 8) & 0xFF),
                             double((fadeColor_ >> 16) & 0xFF)};
    uint8_t* p = image.pixels;
    for (uint64_t i = 0; i < PixelCount(image); ++i, p += 3) {
        const double m = mask[i];
        for (int c = 0; c < 3; ++c) p[c] = uint8_t(int(color[c] * m / 255 + p[c] * (255 - m) / 255));
    }
    return true;
}

CMotionBlurFilter::CMotionBlurFilter() : CImageFilterOf(nullptr, 10)
{
    SetName("Motion Blur");
}

namespace {

constexpr int kMotionWidth = 2 * 20 + 1;  // 2 ceil(radius 20) + 1
constexpr double kDegreesToRadians = 0.017453292519943295;

}  // namespace

void CMotionBlurFilter::GetOffsets(std::vector<int>* dx, std::vector<int>* dy)
{
    const double angle = 30 * kDegreesToRadians;
    const int x = int(kMotionWidth * std::sin(angle)), y = int(kMotionWidth * std::cos(angle));
    const float hypotenuse = std::sqrt(float(x * x + y * y));
    dx->resize(kMotionWidth);
    dy->resize(kMotionWidth);
    for (int i = 0; i < kMotionWidth; ++i) {
        (*dx)[i] = int(float(i * x) / hypotenuse);
        (*dy)[i] = int(float(i * y) / hypotenuse);
    }
}

bool CMotionBlurFilter::Apply(CImage& image)
{
    const double sigma = 1.0;
    double weights[kMotionWidth] = {};
    for (int i = 0; i < 3 * kMotionWidth; ++i) weights[i / 3] += std::exp(-double(i * i) / (18 * sigma * sigma));
    double sum = 0;
    for (double w : weights) sum += w;
    for (double& w : weights) w /= sum;

    if (PixelCount(image) == 0) return true;
    if (!HasRgbPixels(image)) return false;
    CImage source;
    if (!source.CopyFrom(image)) return false;
    std::vector<int> dx, dy;
    GetOffsets(&dx, &dy);
    const int64_t width = image.width, height = image.height;
    uint8_t* out = image.pixels;
    for (int64_t py = 0; py < height; ++py)
        for (int64_t px = 0; px < width; ++px, out += 3) {
            double acc[3] = {0, 0, 0};
            for (int i = 0; i < kMotionWidth; ++i) {
                const int64_t sx = px + dx[i], sy = py + dy[i];
                // Samples past the picture add nothing: the far edges darken.
                if (sx >= width || sy >= height) continue;
                const uint8_t* p = source.pixels + (sy * width + sx) * 3;
                for (int c = 0; c < 3; ++c) acc[c] += weights[i] * p[c];
            }
            for (int c = 0; c < 3; ++c) out[c] = uint8_t(int(acc[c]));
        }
    return true;
}
