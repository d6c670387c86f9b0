#include "fonts/text_renderer.h"

#include <algorithm>
#include <cmath>

class CTextRenderer::PathSink : public GlyphPathSink {
public:
    explicit PathSink(CTextRenderer& owner) : r(owner) {}

    void NewPath() override
    {
        r.currentContour = std::make_unique<CGlyphContour>();
        r.movePending = true;
    }
    void Line(Point2 start, Point2 end) override
    {
        Start(start);
        r.AddPoint(end.x, end.y, true);
    }
    void Curve(Point2 start, Point2 control, Point2 end) override
    {
        Start(start);
        r.AddPoint(control.x, control.y, false);
        r.AddPoint(end.x, end.y, true);
    }
    void ClosePath() override
    {
        if (r.currentContour) r.contours.push_back(std::move(r.currentContour));
        r.currentContour.reset();
    }

private:
    // The first segment of a contour also brings its start point.
    void Start(Point2 start)
    {
        if (!r.movePending) return;
        r.movePending = false;
        r.AddPoint(start.x, start.y, true);
    }

    CTextRenderer& r;
};

CTextRenderer::~CTextRenderer() = default;

void CTextRenderer::Reset()
{
    style.reset();
    currentContour.reset();
    contours.clear();
    maxX = 0, minX = 65535, maxY = 0, minY = 65535;
    pointCount = 0;
    movePending = false;
    advance = 0;
}

bool CTextRenderer::Create(const CFont& font)
{
    style = platform::FontInstance::Create(FMFontFamily(font.GetFontID()), font.GetStyle(), Long2Fix(font.GetSize()));
    return style != nullptr;
}

void CTextRenderer::AddPoint(float x, float y, bool onCurve)
{
    if (!currentContour) currentContour = std::make_unique<CGlyphContour>();
    auto whole = [](double v) { return int32_t(std::clamp(v, -2147483648.0, 2147483647.0)); };
    // The outline's y grows upward; points take it growing downward, as SWF does.
    const CGlyphPoint p{whole(x), whole(-double(y)), onCurve ? 1 : 0};
    currentContour->push_back(p);
    if (pointCount == 0) {
        // The extremes start at the first point, so that a glyph wholly
        // below the baseline or left of the origin keeps its true box.
        minX = maxX = p.x;
        minY = maxY = p.y;
    } else {
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    ++pointCount;
}

bool CTextRenderer::GetGlyphOutline(uint8_t character)
{
    const UniChar16 unit = FontCharacterUnit(character);
    currentContour.reset();
    maxX = 0, minX = 65535, maxY = 0, minY = 65535;
    pointCount = 0;
    advance = 0;
    if (!style) Create(CFont());
    if (!style || unit == 0) return false;
    // The outline goes to a scratch list first, so a failure adds nothing.
    std::vector<std::unique_ptr<CGlyphContour>> earlier;
    earlier.swap(contours);
    movePending = true;
    PathSink sink(*this);
    const bool drawn = style->GetQuadraticPaths(unit, sink);
    currentContour.reset();
    if (!drawn) {
        contours.swap(earlier);
        maxX = 0, minX = 65535, maxY = 0, minY = 65535;
        pointCount = 0;
        return false;
    }
    for (auto& c : contours) earlier.push_back(std::move(c));
    contours.swap(earlier);
    float ideal = 0;
    if (style->GetIdealAdvance(unit, ideal)) advance = ideal;
    return true;
}

int32_t CTextRenderer::GetAdvanceWidth() const
{
    return int32_t(std::clamp(double(advance), -2147483648.0, 2147483647.0));
}
