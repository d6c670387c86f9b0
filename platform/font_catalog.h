#pragma once
// Installed fonts: a catalogue of font families found by fontconfig, their
// faces by QuickDraw style, and the metrics and glyph outlines FreeType reads
// from them. Every measure is unhinted and in Fixed (16.16) at the size asked.
//
// Families are numbered from 1 in the order they are first seen; a number
// stays with its family for the life of the process. Family 0, and any
// number the catalogue does not know, stands for the system font.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/qd_types.h"

using FMFontFamily = int16_t;
using Fixed = int32_t;
using UniChar16 = uint16_t;

constexpr Fixed kFixedOne = 0x10000;
// Saturates at Fixed's range instead of wrapping.
inline Fixed Long2Fix(long value)
{
    return Fixed((value > 32767 ? 32767 : value < -32768 ? -32768 : value) * kFixedOne);
}

// QuickDraw style bits. Only bold and italic pick or synthesise a face.
namespace qd_style {
enum : uint16_t {
    kBold = 1,
    kItalic = 2,
    kUnderline = 4,
    kOutline = 8,
    kShadow = 16,
    kCondense = 32,
    kExtend = 64,
};
}  // namespace qd_style

// The desktop's sans-serif family.
FMFontFamily GetSysFont();
// The installed family of that name, without regard to case; 0 when none.
FMFontFamily GetFNum(const std::string& name);
// As GetFNum, and the classic Mac names map to their generic families
// (Geneva and Helvetica to sans-serif, Times to serif, Monaco and Courier to
// monospace); 0 when nothing matches.
FMFontFamily FMGetFontFamilyFromName(const std::string& name);
// The family's name (UTF-8); false for an unknown number.
bool FMGetFontFamilyName(FMFontFamily family, std::string& name);

// Font-wide measures of a family and style at a size (points as Fixed):
// ascender, descender (positive below the baseline) and line gap of the
// horizontal header, and the widest advance.
struct FMetricRec {
    Fixed ascent = 0;
    Fixed descent = 0;
    Fixed leading = 0;
    Fixed widMax = 0;
};

// One glyph's measures at a size: advance and left side bearing, and the
// bounds of its outline in whole pixels (y down, as QuickDraw rectangles).
struct GlyphOutlineMetrics {
    Fixed advance = 0;
    Fixed leftSideBearing = 0;
    Rect bounds;
};

// Receives a glyph outline, y up, in units of the size asked. Every contour
// is opened by NewPath and ends on its first point, then ClosePath.
class GlyphPathSink {
public:
    struct Point2 {
        float x = 0, y = 0;
    };
    virtual ~GlyphPathSink() = default;
    virtual void NewPath() = 0;
    virtual void Line(Point2 start, Point2 end) = 0;
    virtual void Curve(Point2 start, Point2 control, Point2 end) = 0;
    virtual void ClosePath() = 0;
};

namespace platform {

// Adds the faces of a font file to the catalogue (joining its family when the
// family is known, the file's face then taking its style) and returns the
// family's number; 0 when the file holds no usable outline font.
FMFontFamily RegisterFontFile(const std::string& path);

// Sends a cubic segment to the sink as quadratics within a quarter unit of it.
void CubicToQuadratics(GlyphPathSink::Point2 p0, GlyphPathSink::Point2 c1, GlyphPathSink::Point2 c2,
                       GlyphPathSink::Point2 p3, GlyphPathSink& sink);

// A family's face for a style at a size. A missing bold or italic face is
// synthesised from the nearest face the family has.
class FontInstance {
public:
    // Null only when not even the system font can be loaded.
    static std::unique_ptr<FontInstance> Create(FMFontFamily family, uint16_t style, Fixed size);
    ~FontInstance();
    FontInstance(const FontInstance&) = delete;
    FontInstance& operator=(const FontInstance&) = delete;

    FMetricRec GetFontMetrics() const;
    // False when the face has no glyph for the character.
    bool GetGlyphMetrics(UniChar16 character, GlyphOutlineMetrics& out) const;
    // The unrounded advance; false when the face has no glyph for it.
    bool GetIdealAdvance(UniChar16 character, float& advance) const;
    // Sends the glyph's outline to the sink, cubic segments as quadratics;
    // false, with nothing sent, when the face has no glyph for it.
    bool GetQuadraticPaths(UniChar16 character, GlyphPathSink& sink) const;

    // Coverage (0..255) of the glyph drawn at the size in pixels, its
    // origin offsets (top is above the baseline) and its pen advance.
    struct GlyphBitmap {
        int width = 0, rows = 0, left = 0, top = 0, advance = 0;
        std::vector<uint8_t> coverage;
    };
    // Hinted, for drawing on screen; false when the face lacks the glyph.
    bool RenderGlyph(UniChar16 character, GlyphBitmap& out) const;

    FMFontFamily GetFamily() const { return family_; }
    Fixed GetSize() const { return size_; }

    // An opened FreeType face, shared by every instance of it.
    struct Face;

private:
    FontInstance(FMFontFamily family, Fixed size, std::shared_ptr<Face> face, bool boldToMake, bool italicToMake);
    // Loads the glyph's outline in font units with the synthesised styles applied.
    bool LoadOutline(UniChar16 character, float& advanceUnits) const;
    double Scale() const;

    FMFontFamily family_;
    Fixed size_;
    std::shared_ptr<Face> face_;
    bool makeBold_;
    bool makeItalic_;
};

}  // namespace platform

// The font measures of the current port's font, size and face (zeros without
// a current port or font).
void FontMetrics(FMetricRec* metrics);
// One character's outline measures at the current port's font, size and face;
// false without a port, at size 0 or for a character the face lacks.
bool OutlineMetrics(UniChar16 character, GlyphOutlineMetrics* metrics);

// ---- Families as the standard font menu lists them

namespace platform {

struct FamilyFaces {
    FMFontFamily family = 0;
    std::string name;
    // QuickDraw styles (plain, bold, italic, bold italic) the family has a
    // face of, in that order.
    std::vector<uint16_t> styles;
};
// Every family with at least one face, sorted by name without regard to case.
std::vector<FamilyFaces> ListFamilies();
// Whether the family has a face of its own for the style's bold and italic
// bits (the other bits do not pick faces).
bool FamilyHasFace(FMFontFamily family, uint16_t style);

}  // namespace platform
