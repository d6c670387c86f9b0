#pragma once
// One character of an installed font as its outline: closed contours of
// integer points (y down), each on the curve or a quadratic control point, with
// the bounds of the points and the glyph's advance.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/font_catalog.h"
#include "ui/font.h"

struct CGlyphPoint {
    int32_t x = 0;
    int32_t y = 0;
    int32_t onCurve = 1;  // 0 for a quadratic control point
};

using CGlyphContour = std::vector<CGlyphPoint>;

class CTextRenderer {
public:
    CTextRenderer() { Reset(); }
    ~CTextRenderer();
    CTextRenderer(const CTextRenderer&) = delete;
    CTextRenderer& operator=(const CTextRenderer&) = delete;

    // No style, no contours.
    void Reset();
    // Takes the font's family, size and style; false when no face can be loaded.
    bool Create(const CFont& font);
    // Appends the character's contours (the list is not cleared, so one
    // renderer serves one glyph); bounds and point count start again. False,
    // adding nothing, when the character cannot be drawn.
    bool GetGlyphOutline(uint8_t character);
    // The advance of the last glyph, truncated toward zero.
    int32_t GetAdvanceWidth() const;

    std::unique_ptr<CGlyphContour> currentContour;
    std::vector<std::unique_ptr<CGlyphContour>> contours;
    // An empty glyph keeps 0, 65535, 0, 65535.
    int32_t maxX = 0, minX = 65535, maxY = 0, minY = 65535;
    int32_t pointCount = 0;
    bool movePending = false;
    std::unique_ptr<platform::FontInstance> style;
    float advance = 0;

private:
    class PathSink;
    void AddPoint(float x, float y, bool onCurve);
};
