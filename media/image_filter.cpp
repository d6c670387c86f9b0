#include "media/image_filter.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"
#include "media/filter_loops.h"
#include "media/image_filters.h"
#include "ui/dialog_window.h"

using filter_loops::HasRgbPixels;
using filter_loops::NewWorkArea;

std::unique_ptr<CImageFilter> CImageFilter::Clone() const
{
    return std::unique_ptr<CImageFilter>(new CImageFilter);
}

bool CImageFilter::Apply(CImage&)
{
    return true;
}

bool CImageFilter::CreateControls(CDialogWindow*, const Rect&)
{
    return true;
}

bool CImageFilter::DisposeControls()
{
    return true;
}

bool CImageFilter::HandleControl(UInt32, EventRef*)
{
    return false;
}

int CImageFilter::DialogHook(CDialogWindow*, intptr_t)
{
    return 0;
}

int CImageFilter::ReservedHook()
{
    return 0;
}

bool CImageFilter::ReadAttributes(const CXMLNode&, const CXMLAttributes&)
{
    return true;
}

bool CImageFilter::WriteAttributes(CXMLOutputFile&) const
{
    return true;
}

bool CImageFilter::ReadXML(const CXMLNode& element)
{
    CXMLAttributes attributes;
    if (!element.GetAttributes(attributes)) return true;
    return ReadAttributes(element, attributes);
}

bool CImageFilter::WriteXML(CXMLOutputFile& writer) const
{
    writer.Write("<filter name=\"").EscapeAndWrite(name_);
    WriteAttributes(writer);
    writer.Write("\" />\n");
    return true;
}

void CImageFilter::GrowWindow(CDialogWindow* window, int delta)
{
    if (window) window->SetHeight(short(window->GetHeight() + delta));
}

bool CIdentityFilter::Apply(CImage&)
{
    return true;
}

namespace {

template <class Filter>
std::unique_ptr<CImageFilter> Make()
{
    return std::make_unique<Filter>();
}

}  // namespace

const std::vector<ImageFilterKind>& ImageFilterKinds()
{
    // Registered kinds in the order the prototypes are made; Deinterlace,
    // Fade Edge and Fast Blur are built but offered nowhere.
    static const std::vector<ImageFilterKind> kinds = {
        {true, Make<CAddNoiseFilter>},     {true, Make<CBlackWhiteFilter>},
        {true, Make<CBlurFilter>},         {true, Make<CBrightnessContrastFilter>},
        {false, Make<CDeinterlaceFilter>}, {true, Make<CDespeckleFilter>},
        {true, Make<CEdgeFilter>},         {true, Make<CEmbossFilter>},
        {false, Make<CFadeEdgeFilter>},    {false, Make<CFastBlurFilter>},
        {true, Make<CGaussianBlurFilter>}, {true, Make<CGrayscaleFilter>},
        {true, Make<CImplodeFilter>},      {true, Make<CMedianFilter>},
        {true, Make<CMotionBlurFilter>},   {true, Make<COilPaintFilter>},
        {true, Make<CRaiseBordersFilter>}, {true, Make<CReduceNoiseFilter>},
        {true, Make<CSepiaFilter>},        {true, Make<CShadeFilter>},
        {true, Make<CSharpenFilter>},      {true, Make<CSolarizeFilter>},
        {true, Make<CSwirlFilter>},
    };
    return kinds;
}

namespace {

// Lists live for the whole run.
std::vector<std::unique_ptr<CImageFilterList>>& Registry()
{
    static std::vector<std::unique_ptr<CImageFilterList>> lists;
    return lists;
}

}  // namespace

CImageFilterList* CImageFilterList::Register(int id)
{
    if (FindById(id)) return nullptr;
    Registry().emplace_back(new CImageFilterList(id));
    return Registry().back().get();
}

CImageFilterList* CImageFilterList::FindById(int id)
{
    for (auto& list : Registry())
        if (list->id_ == id) return list.get();
    return nullptr;
}

void CImageFilterList::Clear()
{
    filters_.clear();
}

bool CImageFilterList::Add(std::unique_ptr<CImageFilter> filter)
{
    if (!filter) return false;
    auto at = filters_.begin();
    while (at != filters_.end() && std::strncmp((*at)->GetName().c_str(), filter->GetName().c_str(), 256) > 0) ++at;
    filters_.insert(at, std::move(filter));
    return true;
}

void CImageFilterList::CreatePrototypes()
{
    Clear();
    for (const ImageFilterKind& kind : ImageFilterKinds())
        if (kind.registered) Add(kind.create());
}

std::unique_ptr<CImageFilter> CImageFilterList::ReadXML(const CXMLNode& element) const
{
    CXMLAttributes attributes;
    CXMLNode nameNode;
    if (!element.GetAttributes(attributes) || !attributes.Get("name", nameNode)) return nullptr;
    const std::string name = nameNode.GetUnescapedString();
    for (const auto& prototype : filters_) {
        if (prototype->GetName() != name) continue;
        std::unique_ptr<CImageFilter> filter = prototype->Clone();
        filter->ReadXML(element);
        return filter;
    }
    return nullptr;
}

// Pixel routines.

int PixelIntensity(const uint8_t* rgb)
{
    return int(0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2] + 0.5);
}

bool GetPixel24(const CImage& image, uint32_t x, uint32_t y, uint8_t* out)
{
    if (x >= image.width || y >= image.height || !HasRgbPixels(image)) return false;
    std::memcpy(out, image.pixels + 3 * (uint64_t(y) * image.width + x), 3);
    return true;
}

namespace {

int64_t Clamp(int64_t v, int64_t lo, int64_t hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// Fills w × h cells of 4 bytes; outside cells repeat the nearest edge pixel
// (all zero for a picture without pixels).
void FillPixelBlock(const CImage& image, int64_t x, int64_t y, uint32_t w, uint32_t h, uint8_t* cells)
{
    if (image.width == 0 || image.height == 0 || !HasRgbPixels(image)) {
        std::memset(cells, 0, size_t(w) * h * 4);
        return;
    }
    const int64_t lastX = int64_t(image.width) - 1, lastY = int64_t(image.height) - 1;
    for (uint32_t j = 0; j < h; ++j) {
        const uint8_t* row = image.pixels + uint64_t(Clamp(y + j, 0, lastY)) * image.width * 3;
        for (uint32_t i = 0; i < w; ++i, cells += 4) {
            const uint8_t* p = row + Clamp(x + i, 0, lastX) * 3;
            cells[0] = p[0];
            cells[1] = p[1];
            cells[2] = p[2];
            cells[3] = 0;
        }
    }
}

}  // namespace

std::unique_ptr<uint8_t[]> ExtractPixelBlock(const CImage& image, int64_t x, int64_t y, uint32_t w, uint32_t h)
{
    if (uint64_t(w) * h > filter_loops::kMaxWorkBytes / 4) return nullptr;
    std::unique_ptr<uint8_t[]> cells = NewWorkArea<uint8_t>(uint64_t(w) * h * 4);
    if (cells) FillPixelBlock(image, x, y, w, h, cells.get());
    return cells;
}

void GetPixelInterpolated(const CImage& image, double x, double y, uint8_t* out)
{
    // Positions past the picture all fetch the edge; limiting them keeps the
    // conversions below defined (NaN comes from runaway distortions).
    x = std::isnan(x) ? 0.0 : std::fmin(std::fmax(x, -1.0), double(image.width));
    y = std::isnan(y) ? 0.0 : std::fmin(std::fmax(y, -1.0), double(image.height));
    const int64_t ix = int64_t(x), iy = int64_t(y);
    double fx = x - double(std::floor(float(x)));
    double fy = y - double(std::floor(float(y)));
    // Just below a whole number the single-precision floor lands on that
    // number; the true fraction keeps the weight on the right pixel.
    if (fx < 0) fx = x - double(ix);
    if (fy < 0) fy = y - double(iy);
    uint8_t cells[16];
    FillPixelBlock(image, ix, iy, 2, 2, cells);
    for (int c = 0; c < 3; ++c) {
        const double top = (1 - fx) * cells[c] + fx * cells[4 + c];
        const double bottom = (1 - fx) * cells[8 + c] + fx * cells[12 + c];
        out[c] = uint8_t(int((1 - fy) * top + fy * bottom + 0.5));
    }
}

int GetGaussianKernelWidth(double radius, double sigma)
{
    if (radius > 0) {
        if (radius >= double(INT_MAX / 2)) return INT_MAX;
        return 2 * int(std::ceil(radius)) + 1;
    }
    const double twoSigmaSquared = 2 * sigma * sigma;
    // Wide enough for any sigma the filters use; ends the search otherwise.
    constexpr int kLongestSearch = 4097;
    int width = 5;
    for (; width < kLongestSearch; width += 2) {
        const int h = width / 2;
        double normalize = 0;
        for (int u = -h; u <= h; ++u) normalize += std::exp(-double(u * u) / twoSigmaSquared);
        const double value = std::exp(-double(h * h) / twoSigmaSquared) / normalize * 255;
        if (value < 1) break;
    }
    return width - 2;
}

uint8_t GenerateNoise(uint8_t value, int type)
{
    constexpr double kRandMax = 2147483647.0;
    constexpr double kTwoPi = 2 * M_PI;
    const double p = value;
    double alpha = std::rand() / kRandMax;
    if (alpha == 0) alpha = 1.0;
    double result;
    switch (type) {
        case 1: {
            const double beta = std::rand() / kRandMax;
            const double s = std::sqrt(-2 * std::log(alpha));
            result = p + std::sqrt(p) * 4.0 * s * std::cos(kTwoPi * beta) + 20.0 * s * std::sin(kTwoPi * beta);
            break;
        }
        case 2: {
            const double s = alpha <= 1e-5 ? 255.0 : std::sqrt(-2 * std::log(alpha));
            const double beta = std::rand() / kRandMax;
            result = p + p * 0.5 * s * std::cos(kTwoPi * beta);
            break;
        }
        case 3:
            result = alpha < 0.05 ? 0.0 : (alpha >= 0.95 ? 255.0 : p);
            break;
        case 4:
            if (alpha <= 0.5) {
                result = alpha <= 1e-5 ? p - 255.0 : p + 10.0 * std::log(2 * alpha);
            } else {
                const double beta = 1 - alpha;
                result = beta <= 5e-6 ? p + 255.0 : p - 10.0 * std::log(2 * beta);
            }
            break;
        case 5: {
            int i = 0;
            const double limit = std::exp(-0.05 * p);
            while (alpha > limit) {
                alpha = alpha * (std::rand() / kRandMax);
                ++i;
            }
            result = i / 0.05;
            break;
        }
        default:
            result = p + 4.0 * (alpha - 0.5);
            break;
    }
    if (result < 0) return 0;
    if (result > 255) return 255;
    return uint8_t(int(result + 0.5));
}

bool ConvolveImage(CImage& image, int order, const double* kernel)
{
    if (order <= 0 || order % 2 == 0 || image.width < uint32_t(order) || image.height < uint32_t(order) ||
        !HasRgbPixels(image))
        return false;
    const size_t count = size_t(order) * order;
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += kernel[i];
    const double divisor = (sum > -1 && sum < 1) ? 1.0 : sum;
    std::unique_ptr<double[]> weights = NewWorkArea<double>(count);
    if (!weights) return false;
    bool clamp = false;
    for (size_t i = 0; i < count; ++i) {
        weights[i] = (1 / divisor) * kernel[i];
        if (weights[i] <= 0) clamp = true;
    }
    CImage source;
    if (!source.CopyFrom(image)) return false;
    const uint32_t width = image.width, blockWidth = width + uint32_t(order);
    const int half = order / 2;
    uint8_t* out = image.pixels;
    for (uint32_t y = 0; y < image.height; ++y) {
        std::unique_ptr<uint8_t[]> block = ExtractPixelBlock(source, -half, int64_t(y) - half, blockWidth, order);
        if (!block) return true;
        for (uint32_t x = 0; x < width; ++x, out += 3) {
            double acc[3] = {0, 0, 0};
            const double* w = weights.get();
            for (int i = 0; i < order; ++i) {
                const uint8_t* cell = block.get() + (uint64_t(i) * blockWidth + x) * 4;
                for (int j = 0; j < order; ++j, ++w, cell += 4) {
                    acc[0] += *w * cell[0];
                    acc[1] += *w * cell[1];
                    acc[2] += *w * cell[2];
                }
            }
            for (int c = 0; c < 3; ++c) {
                if (clamp && acc[c] < 0)
                    out[c] = 0;
                else if (clamp && acc[c] > 255)
                    out[c] = 255;
                else
                    out[c] = uint8_t(int(acc[c] + 0.5));
            }
        }
    }
    return true;
}
