#include "swf/records.h"
#include "swf/tag_body.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "swf/reader_primitives.h"
#include "swf/stream.h"

namespace {

// Widths are 5-bit fields, so values are kept within 31 signed bits.
constexpr int kMaxRecordBits = 31;
// Colour-transform widths are 4-bit fields.
constexpr int kMaxCxformBits = 15;

int64_t Abs64(int32_t v) { return std::llabs(static_cast<int64_t>(v)); }

int BitsForPair(int32_t a, int32_t b)
{
    const int64_t m = std::max(Abs64(a), Abs64(b));
    return SwfBitsNeeded(static_cast<int32_t>(std::min<int64_t>(m, INT32_MAX)), true);
}

// Symmetric, so that the width taken from the absolute value still fits 5 bits.
int32_t Fit(int32_t v)
{
    const int32_t limit = (1 << (kMaxRecordBits - 1)) - 1;
    return std::clamp(v, -limit, limit);
}

void WritePair(CSwfStream& s, int32_t a, int32_t b)
{
    a = Fit(a);
    b = Fit(b);
    const int n = BitsForPair(a, b);
    s.WriteBits(n, 5);
    s.WriteBits(a, n);
    s.WriteBits(b, n);
}

int32_t ReadSigned(CSwfReader& r, int n) { return static_cast<int32_t>(r.ReadBits(n, true)); }

}  // namespace

int32_t SwfScaleFraction(double f) { return int16_t(int32_t(std::trunc(f * 256.0 + 0.5))); }
int32_t SwfScaleColorByte(uint8_t c) { return int16_t(int32_t(std::trunc(c / 255.0 * 256.0 + 0.5))); }

// ---- colours

int CSwfRGB::Parse(CSwfReader& reader)
{
    r = reader.ReadU8();
    g = reader.ReadU8();
    b = reader.ReadU8();
    return 3;
}

int CSwfRGB::Write(CSwfStream& stream)
{
    stream.WriteU8(r);
    stream.WriteU8(g);
    stream.WriteU8(b);
    return 3;
}

void CSwfRGB::Assign(const CSwfRGB& other) { Set(other.r, other.g, other.b); }

void CSwfRGB::Set(uint8_t red, uint8_t green, uint8_t blue)
{
    r = red;
    g = green;
    b = blue;
}

int CSwfRGBA::Parse(CSwfReader& reader)
{
    CSwfRGB::Parse(reader);
    a = reader.ReadU8();
    return 4;
}

int CSwfRGBA::Write(CSwfStream& stream)
{
    CSwfRGB::Write(stream);
    stream.WriteU8(a);
    return 4;
}

void CSwfRGBA::Set(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha)
{
    CSwfRGB::Set(red, green, blue);
    a = alpha;
}

// ---- rectangle

int CSwfRect::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const int n = int(reader.ReadBits(5, false));
    xmin = ReadSigned(reader, n);
    xmax = ReadSigned(reader, n);
    ymin = ReadSigned(reader, n);
    ymax = ReadSigned(reader, n);
    reader.AlignToByte();
    return SwfConsumed(reader, start);
}

int CSwfRect::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    const int32_t v[4] = {Fit(xmin), Fit(xmax), Fit(ymin), Fit(ymax)};
    const int n = std::max(BitsForPair(v[0], v[1]), BitsForPair(v[2], v[3]));
    stream.WriteBits(n, 5);
    for (int32_t x : v) stream.WriteBits(x, n);
    stream.FlushBits();
    return int(stream.GetPosition() - start);
}

void CSwfRect::Set(int x0, int y0, int x1, int y1, bool inPixels)
{
    const int64_t k = inPixels ? 20 : 1;
    xmin = SwfClampSigned(x0 * k, 32);
    ymin = SwfClampSigned(y0 * k, 32);
    xmax = SwfClampSigned(x1 * k, 32);
    ymax = SwfClampSigned(y1 * k, 32);
}

// ---- matrix

int CSwfMatrix::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    hasScale = reader.ReadBits(1, false) != 0;
    if (hasScale) {
        const int n = int(reader.ReadBits(5, false));
        scaleX = ReadSigned(reader, n);
        scaleY = ReadSigned(reader, n);
    }
    if (reader.ReadBits(1, false)) {
        const int n = int(reader.ReadBits(5, false));
        SetRotateSkew(ReadSigned(reader, n), false, true);
        SetRotateSkew(ReadSigned(reader, n), true, true);
    } else {
        hasRotate = false;
    }
    const int n = int(reader.ReadBits(5, false));
    translateX = ReadSigned(reader, n);
    translateY = ReadSigned(reader, n);
    return SwfConsumed(reader, start);
}

int CSwfMatrix::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    stream.WriteBits(hasScale ? 1 : 0, 1);
    if (hasScale) WritePair(stream, scaleX, scaleY);
    stream.WriteBits(hasRotate ? 1 : 0, 1);
    if (hasRotate) WritePair(stream, rotateSkew0, rotateSkew1);
    if (translateX == 0 && translateY == 0)
        stream.WriteBits(0, 5);
    else
        WritePair(stream, translateX, translateY);
    return int(stream.GetPosition() - start);
}

void CSwfMatrix::SetIdentity()
{
    scaleX = scaleY = 0x10000;
    hasScale = true;
    hasRotate = false;
    translateX = translateY = 0;
}

void CSwfMatrix::SetRotateSkew(int value, bool second, bool rotate)
{
    (second ? rotateSkew1 : rotateSkew0) = value;
    hasRotate = rotate;
}

bool CSwfMatrix::operator==(const CSwfMatrix& o) const
{
    // Terms behind a cleared flag are not written and do not count.
    return hasScale == o.hasScale && hasRotate == o.hasRotate &&
           (!hasScale || (scaleX == o.scaleX && scaleY == o.scaleY)) &&
           (!hasRotate || (rotateSkew0 == o.rotateSkew0 && rotateSkew1 == o.rotateSkew1)) &&
           translateX == o.translateX && translateY == o.translateY;
}

// ---- colour transforms

int CSwfCxform::WriteTerms(CSwfStream& stream, const int32_t* mult, const int32_t* add, int channels) const
{
    const uint32_t start = stream.GetPosition();
    int64_t largest = 0;
    for (int i = 0; i < channels; ++i) largest = std::max({largest, Abs64(mult[i]), Abs64(add[i])});
    const int n = std::min(SwfBitsNeeded(int32_t(std::min<int64_t>(largest, INT32_MAX)), true), kMaxCxformBits);
    stream.WriteBits(hasAdd ? 1 : 0, 1);
    stream.WriteBits(hasMult ? 1 : 0, 1);
    stream.WriteBits(n, 4);
    // A term wider than 15 bits saturates instead of wrapping into another colour.
    if (hasMult)
        for (int i = 0; i < channels; ++i) stream.WriteBits(SwfClampSigned(mult[i], n), n);
    if (hasAdd)
        for (int i = 0; i < channels; ++i) stream.WriteBits(SwfClampSigned(add[i], n), n);
    return int(stream.GetPosition() - start);
}

void CSwfCxform::ReadTerms(CSwfReader& reader, int32_t* mult, int32_t* add, int channels, bool& multPresent)
{
    hasAdd = reader.ReadBits(1, false) != 0;
    multPresent = reader.ReadBits(1, false) != 0;
    const int n = int(reader.ReadBits(4, false));
    if (multPresent)
        for (int i = 0; i < channels; ++i) mult[i] = ReadSigned(reader, n);
    if (hasAdd)
        for (int i = 0; i < channels; ++i) add[i] = ReadSigned(reader, n);
}

int CSwfCxform::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    CSwfCxform::Reset();
    int32_t mult[3] = {256, 256, 256}, add[3] = {0, 0, 0};
    ReadTerms(reader, mult, add, 3, hasMult);
    redMult = mult[0], greenMult = mult[1], blueMult = mult[2];
    redAdd = add[0], greenAdd = add[1], blueAdd = add[2];
    return SwfConsumed(reader, start);
}

int CSwfCxform::Write(CSwfStream& stream)
{
    const int32_t mult[3] = {redMult, greenMult, blueMult}, add[3] = {redAdd, greenAdd, blueAdd};
    return WriteTerms(stream, mult, add, 3);
}

void CSwfCxform::Reset()
{
    redMult = greenMult = blueMult = 0;
    redAdd = greenAdd = blueAdd = 0;
    hasAdd = hasMult = false;
}

void CSwfCxform::SetMultTerms(int r, int g, int b)
{
    redMult = r;
    greenMult = g;
    blueMult = b;
}

void CSwfCxform::SetAddColor(uint32_t colour)
{
    redMult = greenMult = blueMult = 0;
    hasAdd = hasMult = true;
    redAdd = SwfScaleColorByte(uint8_t(colour));
    greenAdd = SwfScaleColorByte(uint8_t(colour >> 8));
    blueAdd = SwfScaleColorByte(uint8_t(colour >> 16));
}

void CSwfCxform::SetMultLevel(double level)
{
    const int32_t m = SwfScaleFraction(std::clamp(level, 0.0, 1.0));
    redMult = greenMult = blueMult = m;
    hasMult = true;
    hasAdd = false;
    redAdd = greenAdd = blueAdd = 0;
}

void CSwfCxform::SetMultColor(uint32_t colour)
{
    redMult = SwfScaleColorByte(uint8_t(colour));
    greenMult = SwfScaleColorByte(uint8_t(colour >> 8));
    blueMult = SwfScaleColorByte(uint8_t(colour >> 16));
    hasMult = true;
    hasAdd = false;
}

bool CSwfCxform::operator==(const CSwfCxform& o) const
{
    return redMult == o.redMult && greenMult == o.greenMult && blueMult == o.blueMult && redAdd == o.redAdd &&
           greenAdd == o.greenAdd && blueAdd == o.blueAdd && hasAdd == o.hasAdd && hasMult == o.hasMult;
}

int CSwfCxformWithAlpha::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    Reset();
    int32_t mult[4] = {256, 256, 256, 256}, add[4] = {0, 0, 0, 0};
    bool multPresent = false;
    ReadTerms(reader, mult, add, 4, multPresent);
    redMult = mult[0], greenMult = mult[1], blueMult = mult[2];
    redAdd = add[0], greenAdd = add[1], blueAdd = add[2], alphaAdd = add[3];
    // Without multiply terms the record multiplies by 1.0 and says so.
    SetAlphaMult(mult[3], false);
    return SwfConsumed(reader, start);
}

int CSwfCxformWithAlpha::Write(CSwfStream& stream)
{
    const int32_t mult[4] = {redMult, greenMult, blueMult, alphaMult};
    const int32_t add[4] = {redAdd, greenAdd, blueAdd, alphaAdd};
    return WriteTerms(stream, mult, add, 4);
}

void CSwfCxformWithAlpha::Reset()
{
    CSwfCxform::Reset();
    alphaAdd = 0;
    SetAlphaMult(0, false);
}

void CSwfCxformWithAlpha::SetAlphaMult(int alpha, bool resetColour)
{
    alphaMult = alpha;
    if (resetColour) redMult = greenMult = blueMult = 256;
    hasMult = true;
}

void CSwfCxformWithAlpha::SetMult(int r, int g, int b, int a)
{
    SetMultTerms(r, g, b);
    SetAlphaMult(a, false);
}

void CSwfCxformWithAlpha::SetAlpha(double alpha)
{
    redMult = greenMult = blueMult = 256;
    hasMult = hasAdd = true;
    alphaMult = SwfScaleFraction(std::clamp(alpha, 0.0, 1.0));
}

void CSwfCxformWithAlpha::SetBrightness(double f)
{
    alphaMult = 256;
    alphaAdd = 0;
    redMult = greenMult = blueMult = SwfScaleFraction(std::clamp(f, 0.0, 1.0));
    redAdd = greenAdd = blueAdd = 0;
    hasAdd = false;
    hasMult = true;
}

void CSwfCxformWithAlpha::SetAddColor(uint32_t colour)
{
    CSwfCxform::SetAddColor(colour);
    alphaMult = 256;
    alphaAdd = 0;
}

void CSwfCxformWithAlpha::SetMultLevel(double level)
{
    CSwfCxform::SetMultLevel(level);
    alphaMult = 256;
    alphaAdd = 0;
}

void CSwfCxformWithAlpha::SetMultColor(uint32_t colour)
{
    CSwfCxform::SetMultColor(colour);
    alphaMult = 256;
    alphaAdd = 0;
}

void CSwfCxformWithAlpha::AssignFrom(const CSwfCxformWithAlpha& other)
{
    redMult = other.redMult, greenMult = other.greenMult, blueMult = other.blueMult;
    redAdd = other.redAdd, greenAdd = other.greenAdd, blueAdd = other.blueAdd;
    alphaAdd = other.alphaAdd;
    SetAlphaMult(other.alphaMult, false);
}

bool CSwfCxformWithAlpha::operator==(const CSwfCxformWithAlpha& o) const
{
    return CSwfCxform::operator==(o) && alphaMult == o.alphaMult && alphaAdd == o.alphaAdd;
}
