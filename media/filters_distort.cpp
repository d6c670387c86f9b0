// Filters that move pixels or frame the picture: Swirl, Implode and Raise
// Borders.
#include <algorithm>
#include <cmath>

#include "media/filter_loops.h"
#include "media/image_filters.h"

using filter_loops::HasRgbPixels;
using filter_loops::PixelCount;

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;

// The inscribed circle of a picture, stretched to an ellipse: offsets are
// scaled by (sx, sy) so that the circle's radius reaches the longer sides.
struct Circle {
    double cx, cy, radius, sx = 1.0, sy = 1.0;
};

// Calls sample(source, circle, dx, dy, out) for every pixel inside the
// circle, with dx, dy its scaled offsets from the centre and source an
// unchanged copy; pixels outside keep their value.
template <class Sample>
bool ForEachInsideCircle(CImage& image, Sample sample)
{
    if (PixelCount(image) == 0) return true;
    if (!HasRgbPixels(image)) return false;
    CImage source;
    if (!source.CopyFrom(image)) return false;
    const double width = image.width, height = image.height;
    Circle circle{width * 0.5, height * 0.5, std::max(width * 0.5, height * 0.5)};
    if (height < width) circle.sy = width / height;
    if (width < height) circle.sx = height / width;
    uint8_t* out = image.pixels;
    for (int64_t y = 0; y < int64_t(image.height); ++y)
        for (int64_t x = 0; x < int64_t(image.width); ++x, out += 3) {
            const double dy = circle.sy * (y - circle.cy), dx = circle.sx * (x - circle.cx);
            if (dx * dx + dy * dy >= circle.radius * circle.radius) continue;
            sample(source, circle, dx, dy, out);
        }
    return true;
}

}  // namespace

CSwirlFilter::CSwirlFilter() : CImageFilterOf("angle", 180)
{
    SetName("Swirl");
}

bool CSwirlFilter::Apply(CImage& image)
{
    const double angle = value_;
    return ForEachInsideCircle(
        image, [angle](const CImage& source, const Circle& c, double dx, double dy, uint8_t* out) {
            const double f = 1 - std::sqrt(dx * dx + dy * dy) / c.radius;
            const double t = angle * kDegreesToRadians * f * f;
            const double sin = std::sin(t), cos = std::cos(t);
            GetPixelInterpolated(source, (cos * dx - sin * dy) / c.sx + c.cx, (sin * dx + cos * dy) / c.sy + c.cy, out);
        });
}

CImplodeFilter::CImplodeFilter() : CImageFilterOf("amount", 20)
{
    SetName("Implode");
}

bool CImplodeFilter::Apply(CImage& image)
{
    const float power = float(-(value_ / 100.0));
    return ForEachInsideCircle(image,
                               [power](const CImage& source, const Circle& c, double dx, double dy, uint8_t* out) {
                                   const double d = dx * dx + dy * dy;
                                   double k = 1.0;
                                   if (d != 0)
                                       k = powf(sinf(sqrtf(float(d)) * 1.5707963267948966f / float(c.radius)), power);
                                   GetPixelInterpolated(source, k * dx / c.sx + c.cx, k * dy / c.sy + c.cy, out);
                               });
}

CRaiseBordersFilter::CRaiseBordersFilter() : CImageFilterOf("width", 5)
{
    SetName("Raise Borders");
}

bool CRaiseBordersFilter::Apply(CImage& image)
{
    if (PixelCount(image) == 0) return true;
    if (!HasRgbPixels(image)) return false;
    const int64_t b = value_, width = image.width, height = image.height;
    auto lighten = [](int c) { return (190 * c + 16575) / 255; };
    auto accent = [](int c) { return (135 * c + 30600) / 255; };
    auto shadow = [](int c) { return 190 * c / 255; };
    auto trough = [](int c) { return 135 * c / 255; };
    // Writes the three runs of one row one after another, each cut at the
    // row's end: bands wider than the picture never leave it.
    auto row = [&](int64_t y, int64_t lit, int64_t middle, int (*middleMap)(int), int64_t dark) {
        if (y < 0 || y >= height) return;
        uint8_t* p = image.pixels + y * width * 3;
        int64_t x = 0;
        auto run = [&](int64_t count, int (*map)(int)) {
            for (int64_t end = std::min(width, x + std::max<int64_t>(count, 0)); x < end; ++x)
                if (map)
                    for (int c = 0; c < 3; ++c) p[x * 3 + c] = uint8_t(map(p[x * 3 + c]));
        };
        run(lit, lighten);
        run(middle, middleMap);
        run(dark, shadow);
    };
    for (int64_t y = 0; y < std::min(b, height); ++y) row(y, y, width - 2 * y, accent, y);
    for (int64_t y = std::max<int64_t>(b, 0); y < std::min(height - b, height); ++y)
        row(y, b, width - 2 * b, nullptr, b);
    for (int64_t y = std::max(height - b, int64_t(0)); y < height; ++y) {
        const int64_t i = y - (height - b);
        row(y, b - i, width - 2 * b + 2 * i, trough, b - i);
    }
    return true;
}
