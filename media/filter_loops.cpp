#include "media/filter_loops.h"

#include <algorithm>
#include <cmath>

#include "media/image_filter.h"

namespace filter_loops {

namespace {

// One line of the stack blur: out(x) = sum of (r + 1 - |i|) p(x + i) over
// i = -r .. r, divided by (r + 1)², with p repeating its end values. The
// sum moves along with an incoming and an outgoing half, so each step costs
// the same whatever the radius.
void BlurLine(const uint8_t* in, int64_t inStep, int64_t n, int64_t r, uint8_t* out, int64_t outStep)
{
    auto p = [&](int64_t j) -> int64_t { return in[(j < 0 ? 0 : (j >= n ? n - 1 : j)) * inStep]; };
    const int64_t divisor = (r + 1) * (r + 1);
    const int64_t last = p(n - 1);
    // Start at x = 0: the left half is all p(0).
    int64_t sum = p(0) * ((r + 1) * (r + 2) / 2);
    const int64_t inside = std::min(r, n - 1);
    for (int64_t i = 1; i <= inside; ++i) sum += (r + 1 - i) * p(i);
    if (r >= n) {
        const int64_t m = r + 1 - n;
        sum += last * (m * (m + 1) / 2);
    }
    int64_t incoming = 0;
    const int64_t incomingInside = std::min(r + 1, n - 1);
    for (int64_t j = 1; j <= incomingInside; ++j) incoming += p(j);
    if (r + 1 > n - 1) incoming += (r + 1 - std::max<int64_t>(n - 1, 0)) * last;
    int64_t outgoing = (r + 1) * p(0);
    for (int64_t x = 0; x < n; ++x) {
        out[x * outStep] = uint8_t(sum / divisor);
        sum += incoming - outgoing;
        incoming += p(x + r + 2) - p(x + 1);
        outgoing += p(x + 1) - p(x - r);
    }
}

}  // namespace

bool StackBlur(uint8_t* pixels, uint32_t width, uint32_t height, int stride, int channels, int64_t r)
{
    if (r <= 0 || width == 0 || height == 0) return true;
    const uint64_t rowCells = uint64_t(width) * channels;
    std::unique_ptr<uint8_t[]> plane = NewWorkArea<uint8_t>(rowCells * height);
    if (!plane) return false;
    for (uint32_t y = 0; y < height; ++y)
        for (int c = 0; c < channels; ++c)
            BlurLine(pixels + uint64_t(y) * width * stride + c, stride, width, r, plane.get() + y * rowCells + c,
                     channels);
    for (uint32_t x = 0; x < width; ++x)
        for (int c = 0; c < channels; ++c)
            BlurLine(plane.get() + uint64_t(x) * channels + c, int64_t(rowCells), height, r,
                     pixels + uint64_t(x) * stride + c, int64_t(width) * stride);
    return true;
}

int64_t BlurRadius(double radius)
{
    if (!(radius > 0)) return 0;
    if (radius >= double(kMaxBlurRadius)) return kMaxBlurRadius;
    return int64_t(radius);
}

bool MedianWindow(CImage& image, int64_t k)
{
    if (k <= 0 || k > image.width || k > image.height || !HasRgbPixels(image)) return false;
    CImage source;
    if (!source.CopyFrom(image)) return false;
    const int64_t width = image.width, height = image.height, cells = k * k, middle = cells / 2;
    std::unique_ptr<uint8_t[]> values = NewWorkArea<uint8_t>(uint64_t(cells));
    if (!values) return true;
    uint8_t* out = image.pixels;
    for (int64_t y = 0; y < height; ++y) {
        const int64_t top = std::min(std::max<int64_t>(y - k / 2, 0), height - k);
        std::unique_ptr<uint8_t[]> block = ExtractPixelBlock(source, 0, top, uint32_t(width), uint32_t(k));
        if (!block) return true;
        for (int64_t x = 0; x < width; ++x, out += 3) {
            const int64_t left = std::min(std::max<int64_t>(x - k / 2, 0), width - k);
            // Each channel is a median of its own: sorting by one channel
            // puts the same value at the middle however ties fall.
            for (int c = 0; c < 3; ++c) {
                uint8_t* v = values.get();
                for (int64_t j = 0; j < k; ++j) {
                    const uint8_t* cell = block.get() + (j * width + left) * 4 + c;
                    for (int64_t i = 0; i < k; ++i, cell += 4) *v++ = *cell;
                }
                std::nth_element(values.get(), values.get() + middle, values.get() + cells);
                out[c] = values[middle];
            }
        }
    }
    return true;
}

}  // namespace filter_loops
