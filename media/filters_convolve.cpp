// Filters that are one convolution: Edge, Emboss and Sharpen.
#include <algorithm>
#include <cmath>
#include <vector>

#include "media/filter_loops.h"
#include "media/image_filters.h"

CEdgeFilter::CEdgeFilter()
{
    SetName("Edge");
    radius_ = 1.0;
}

bool CEdgeFilter::Apply(CImage& image)
{
    if (filter_loops::PixelCount(image) && !filter_loops::HasRgbPixels(image)) return false;
    const int64_t order =
        std::min({int64_t(GetGaussianKernelWidth(radius_, 0.5)), int64_t(image.width), int64_t(image.height)});
    if (order <= 0) return true;
    const uint64_t count = uint64_t(order) * uint64_t(order);
    std::unique_ptr<double[]> kernel = filter_loops::NewWorkArea<double>(count);
    if (!kernel) return true;
    std::fill(kernel.get(), kernel.get() + count, -1.0);
    kernel[count / 2] = double(count - 1);
    // An even order (a picture smaller than the window) is refused and the
    // picture stays as it is.
    ConvolveImage(image, int(order), kernel.get());
    return true;
}

bool CEmbossFilter::Apply(CImage& image)
{
    if (filter_loops::PixelCount(image) && !filter_loops::HasRgbPixels(image)) return false;
    const int order = GetGaussianKernelWidth(5.0, 1.0), half = order / 2;
    std::vector<double> kernel;
    kernel.reserve(size_t(order) * order);
    for (int v = -half; v <= half; ++v)
        for (int u = -half; u <= half; ++u) {
            const double s = (u < 0 || v < 0) ? -8.0 : 8.0;
            kernel.push_back(u == -v ? 0.0 : s * std::exp(-(u * u + v * v) * 0.5) / 6.283185307179586);
        }
    ConvolveImage(image, order, kernel.data());
    return true;
}

bool CSharpenFilter::Apply(CImage& image)
{
    if (filter_loops::PixelCount(image) && !filter_loops::HasRgbPixels(image)) return false;
    const int64_t k =
        std::min({int64_t(GetGaussianKernelWidth(2.0, 1.0)), int64_t(image.width), int64_t(image.height)});
    if (k <= 0) return true;
    const int half = int(k / 2);
    std::vector<double> kernel;
    kernel.reserve(size_t(k * k));
    double sum = 0;
    for (int v = -half; v <= half; ++v)
        for (int u = -half; u <= half; ++u) {
            kernel.push_back(std::exp(-double(u * u + v * v)));
            sum += kernel.back();
        }
    kernel.resize(size_t(k * k));
    kernel[kernel.size() / 2] = -2 * sum;
    ConvolveImage(image, int(k), kernel.data());
    return true;
}
