// Filters that map each pixel on its own, and the shared attribute forms.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"
#include "media/filter_loops.h"
#include "media/image_filters.h"

using filter_loops::MapChannels;
using filter_loops::MapPixels;

namespace {

// Each attribute after the first closes the previous value's quote.
void WriteKey(CXMLOutputFile& writer, const char* key)
{
    writer.Write("\" ").Write(key).Write("=\"");
}

void ReadIntAttribute(const CXMLAttributes& attributes, const char* key, int& field)
{
    CXMLNode node;
    // Held at the ends of what the field holds, rather than wrapped.
    if (attributes.Get(key, node)) field = int(std::clamp<long>(node.GetInt(0), INT_MIN, INT_MAX));
}

}  // namespace

bool CIntParameterFilter::ReadAttributes(const CXMLNode&, const CXMLAttributes& attributes)
{
    if (key_) ReadIntAttribute(attributes, key_, value_);
    return true;
}

bool CIntParameterFilter::WriteAttributes(CXMLOutputFile& writer) const
{
    if (key_) WriteKey(writer, key_), writer.WriteInt(value_);
    return true;
}

bool CRadiusFilter::ReadAttributes(const CXMLNode&, const CXMLAttributes& attributes)
{
    CXMLNode node;
    if (attributes.Get("radius", node)) radius_ = node.GetDouble(0.0);
    return true;
}

bool CRadiusFilter::WriteAttributes(CXMLOutputFile& writer) const
{
    WriteKey(writer, "radius");
    writer.WriteDouble(radius_);
    return true;
}

void CAddNoiseFilter::SetType(int type)
{
    if (type >= 0 && type < kTypeCount) Store(type_, type);
}

bool CAddNoiseFilter::Apply(CImage& image)
{
    return MapChannels(image, [this](uint8_t v) { return GenerateNoise(v, type_); });
}

bool CAddNoiseFilter::ReadAttributes(const CXMLNode&, const CXMLAttributes& attributes)
{
    CXMLNode node;
    if (!attributes.Get("type", node)) return true;
    const std::string keyword = node.GetString();
    for (int type = 0; type < kTypeCount; ++type)
        if (keyword == kTypeWords[type]) type_ = type;
    return true;
}

bool CAddNoiseFilter::WriteAttributes(CXMLOutputFile& writer) const
{
    WriteKey(writer, "type");
    writer.Write(kTypeWords[type_ >= 0 && type_ < kTypeCount ? type_ : kGaussian]);
    return true;
}

CBlackWhiteFilter::CBlackWhiteFilter() : CImageFilterOf("threshold", 100, {"Threshold:", 0, 255})
{
    SetName("Black & White");
}

bool CBlackWhiteFilter::Apply(CImage& image)
{
    const int threshold = value_;
    return MapPixels(image, [threshold](uint8_t* p) {
        const uint8_t v = (p[0] + p[1] + p[2]) / 3 <= threshold ? 0 : 255;
        p[0] = p[1] = p[2] = v;
    });
}

bool CBrightnessContrastFilter::Apply(CImage& image)
{
    // Wide values from a project file stay in double until the result is
    // clamped; within the sliders' ranges this is the integer arithmetic.
    const double offset = std::floor(brightness_ * 0.01 * 127.0);
    const double factor = (double(contrast_) + 100) * 0.01;
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) {
        const double t = v + offset - 127;
        const double result = std::floor(t * factor) + 127;
        table[v] = result < 0 ? 0 : (result > 255 ? 255 : uint8_t(result));
    }
    return MapChannels(image, [&table](uint8_t v) { return table[v]; });
}

bool CBrightnessContrastFilter::ReadAttributes(const CXMLNode&, const CXMLAttributes& attributes)
{
    ReadIntAttribute(attributes, "brightness", brightness_);
    ReadIntAttribute(attributes, "contrast", contrast_);
    return true;
}

bool CBrightnessContrastFilter::WriteAttributes(CXMLOutputFile& writer) const
{
    WriteKey(writer, "brightness");
    writer.WriteInt(brightness_);
    WriteKey(writer, "contrast");
    writer.WriteInt(contrast_);
    return true;
}

bool CGrayscaleFilter::Apply(CImage& image)
{
    return MapPixels(image, [](uint8_t* p) { p[0] = p[1] = p[2] = uint8_t((3 * p[0] + 4 * p[1] + 2 * p[2]) / 9); });
}

bool CSepiaFilter::Apply(CImage& image)
{
    return MapPixels(image, [](uint8_t* p) {
        const int i = int(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]);
        p[0] = uint8_t(i > 206 ? 255 : i + 49);
        p[1] = uint8_t(i < 14 ? 0 : i - 14);
        p[2] = uint8_t(i < 56 ? 0 : i - 56);
    });
}

bool CSolarizeFilter::Apply(CImage& image)
{
    return MapChannels(image, [](uint8_t v) { return uint8_t(v > 50 ? 255 - v : v); });
}
