#pragma once
// The basic SWF records: colours, rectangle, matrix and colour transforms.
// Colours packed in one integer are 0x00BBGGRR (red in the low byte).
#include <cstdint>

#include "swf/object.h"

class CSwfRGB : public CSwfObject {
public:
    CSwfRGB() = default;
    CSwfRGB(uint8_t r, uint8_t g, uint8_t b) : r(r), g(g), b(b) {}
    CSwfRGB(const CSwfRGB& other) : CSwfObject() { CSwfRGB::Assign(other); }
    CSwfRGB& operator=(const CSwfRGB& other)
    {
        CSwfRGB::Assign(other);
        return *this;
    }

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    // Copies red, green and blue only, also into a CSwfRGBA.
    virtual void Assign(const CSwfRGB& other);
    void Set(uint8_t red, uint8_t green, uint8_t blue);
    // 0x00BBGGRR
    uint32_t GetPacked() const { return r | (g << 8) | (uint32_t(b) << 16); }
    bool operator==(const CSwfRGB& o) const { return r == o.r && g == o.g && b == o.b; }

    uint8_t r = 0, g = 0, b = 0;
};

class CSwfRGBA : public CSwfRGB {
public:
    CSwfRGBA() = default;
    CSwfRGBA(uint8_t r, uint8_t g, uint8_t b, uint8_t a) : CSwfRGB(r, g, b), a(a) {}
    CSwfRGBA(const CSwfRGBA& other) : CSwfRGB(other), a(other.a) {}
    CSwfRGBA& operator=(const CSwfRGBA& other)
    {
        CSwfRGB::Assign(other);
        a = other.a;
        return *this;
    }

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void Set(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);
    bool operator==(const CSwfRGBA& o) const { return CSwfRGB::operator==(o) && a == o.a; }

    uint8_t a = 0;
};

class CSwfRect : public CSwfObject {
public:
    CSwfRect() = default;
    CSwfRect(const CSwfRect&) = default;
    CSwfRect& operator=(const CSwfRect&) = default;

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    // Arguments in left, top, right, bottom order; inPixels multiplies by 20.
    void Set(int x0, int y0, int x1, int y1, bool inPixels);
    bool operator==(const CSwfRect& o) const
    {
        return xmin == o.xmin && xmax == o.xmax && ymin == o.ymin && ymax == o.ymax;
    }

    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
};

class CSwfMatrix : public CSwfObject {
public:
    CSwfMatrix() = default;
    CSwfMatrix(const CSwfMatrix&) = default;
    CSwfMatrix& operator=(const CSwfMatrix&) = default;

    int Parse(CSwfReader& reader) override;
    // Leaves its bits pending; the tag's next byte write pads them.
    int Write(CSwfStream& stream) override;
    void SetIdentity();
    void SetRotateSkew(int value, bool second, bool rotate);
    bool operator==(const CSwfMatrix& o) const;

    int32_t scaleX = 0, scaleY = 0, rotateSkew0 = 0, rotateSkew1 = 0;
    int32_t translateX = 0, translateY = 0;
    bool hasScale = false, hasRotate = false;
};

class CSwfCxform : public CSwfObject {
public:
    CSwfCxform() = default;
    CSwfCxform(const CSwfCxform&) = default;
    CSwfCxform& operator=(const CSwfCxform&) = default;

    int Parse(CSwfReader& reader) override;
    // Leaves its bits pending, like the matrix.
    int Write(CSwfStream& stream) override;
    virtual void Reset();
    virtual void SetMultTerms(int r, int g, int b);
    // Paints the placed object in the solid colour (0x00BBGGRR).
    virtual void SetAddColor(uint32_t colour);
    virtual void SetMultLevel(double level);
    virtual void SetMultColor(uint32_t colour);
    bool operator==(const CSwfCxform& o) const;

    int32_t redMult = 0, greenMult = 0, blueMult = 0;
    int32_t redAdd = 0, greenAdd = 0, blueAdd = 0;
    bool hasAdd = false, hasMult = false;

protected:
    int WriteTerms(CSwfStream& stream, const int32_t* mult, const int32_t* add, int channels) const;
    void ReadTerms(CSwfReader& reader, int32_t* mult, int32_t* add, int channels, bool& multPresent);
};

class CSwfCxformWithAlpha : public CSwfCxform {
public:
    CSwfCxformWithAlpha() = default;
    CSwfCxformWithAlpha(const CSwfCxformWithAlpha&) = default;
    CSwfCxformWithAlpha& operator=(const CSwfCxformWithAlpha&) = default;

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    // Multiply by 0 in all four channels: the placed object is invisible.
    void Reset() override;
    void SetAddColor(uint32_t colour) override;
    void SetMultLevel(double level) override;
    void SetMultColor(uint32_t colour) override;
    void SetAlphaMult(int alpha, bool resetColour);
    void SetMult(int r, int g, int b, int a);
    void SetAlpha(double alpha);
    // Dims (or keeps) the colour channels by f in 0..1, alpha untouched.
    virtual void SetBrightness(double f);
    // Copies the colour terms and alphaAdd and applies the other's alpha
    // multiplier: the multiply flag ends on, the add flag stays as it was.
    void AssignFrom(const CSwfCxformWithAlpha& other);
    bool operator==(const CSwfCxformWithAlpha& o) const;

    int32_t alphaMult = 0, alphaAdd = 0;
};

// Fixed-point scalings of the setters: a fraction to 8.8, a colour byte to 8.8.
int32_t SwfScaleFraction(double f);
int32_t SwfScaleColorByte(uint8_t c);
