#include "fonts/font_tags.h"

#include <algorithm>

#include "fonts/font_manager.h"
#include "fonts/text_renderer.h"

namespace {

constexpr int kEmSquare = 1024;

// Draws the character with a fresh renderer; advance receives its ideal
// advance (0 when it cannot be drawn).
bool GlyphOutline(std::vector<std::unique_ptr<CShapeRecord>>& records, const CFont& font, uint8_t character,
                  CSwfRect& bounds, int32_t& advance)
{
    records.clear();
    bounds = CSwfRect();
    advance = 0;
    CTextRenderer renderer;
    if (!renderer.Create(font) || !renderer.GetGlyphOutline(character)) return false;
    advance = renderer.GetAdvanceWidth();
    if (renderer.contours.empty() || renderer.pointCount == 0 || advance == 0) {
        records.push_back(std::make_unique<CShapeRecordEnd>());
        return true;
    }
    bounds.xmin = renderer.minX;
    bounds.xmax = renderer.maxX;
    bounds.ymin = renderer.minY;
    bounds.ymax = renderer.maxY;

    for (const auto& contour : renderer.contours) {
        if (contour->empty()) continue;
        const CGlyphPoint& first = contour->front();
        auto move = std::make_unique<CShapeRecordStyleChange>();
        move->CreateMoveTo(first.x, first.y, nullptr);
        move->fillBits = 1;
        move->lineBits = 0;
        move->SetFillStyle(1, 1);
        // Glyphs have no line styles (no line bits), so none is selected.
        // A move to the origin is still a move: every contour starts afresh.
        move->SetFlags(swf_shape::kMoveTo | swf_shape::kFillStyle1);
        records.push_back(std::move(move));
        int32_t x = first.x, y = first.y;
        for (size_t i = 1; i < contour->size(); ++i) {
            const CGlyphPoint& p = (*contour)[i];
            if (!p.onCurve && i + 1 < contour->size()) {
                const CGlyphPoint& anchor = (*contour)[++i];
                records.push_back(
                    std::make_unique<CShapeRecordCurvedEdge>(p.x - x, p.y - y, anchor.x - p.x, anchor.y - p.y));
                x = anchor.x, y = anchor.y;
                continue;
            }
            const int32_t dx = p.x - x, dy = p.y - y;
            const uint8_t kind = dx == 0   ? swf_shape::kVertical
                                 : dy == 0 ? swf_shape::kHorizontal
                                           : swf_shape::kGeneral;
            if (dx != 0 || dy != 0) records.push_back(std::make_unique<CShapeRecordStraightEdge>(dx, dy, kind));
            x = p.x, y = p.y;
        }
    }
    records.push_back(std::make_unique<CShapeRecordEnd>());
    return true;
}

}  // namespace

bool BuildGlyphOutline(std::vector<std::unique_ptr<CShapeRecord>>& records, const CFont& font, uint8_t character,
                       CSwfRect& bounds)
{
    int32_t advance = 0;
    return GlyphOutline(records, font, character, bounds, advance);
}

std::unique_ptr<CTagDefineFont2> BuildFontTag(const CSwfTextFont& font, const std::string& characters, uint16_t fontId,
                                              bool appendId)
{
    CFont work(font);
    work.SetSize(kEmSquare);
    auto tag = std::make_unique<CTagDefineFont2>(font.GetName(), fontId, swf_font2::kHasLayout | swf_font2::kAnsi);
    tag->appendId = appendId;
    // Fonts whose outlines exceed their height are drawn scaled down; never
    // by less than 1, nor by a zero height.
    const int heightRatio = work.GetHeightRatio();
    const int scale = heightRatio > 0 ? std::max(1, kEmSquare / heightRatio) : 1;

    for (unsigned char c : characters) {
        std::vector<std::unique_ptr<CShapeRecord>> records;
        CSwfRect box;
        int32_t ideal = 0;
        if (!GlyphOutline(records, work, c, box, ideal)) records.push_back(std::make_unique<CShapeRecordEnd>());
        auto glyph = std::make_unique<CShape>();
        glyph->SetBits(1, 0);
        for (auto& r : records) {
            if (r->GetType() == swf_shape::kStyleChange) static_cast<CShapeRecordStyleChange&>(*r).owner = glyph.get();
            glyph->records.push_back(std::move(r));
        }
        const int16_t sum = int16_t(work.GetOutlineExtentPerPoint(c) + ideal);
        const int16_t scaled = int16_t(double(sum) / scale);
        tag->AddGlyph(std::move(glyph), c, int16_t(scaled / 2), box);
    }
    tag->ascent = int16_t(work.GetAscentRatio() + 512);
    tag->descent = int16_t(work.GetDescentRatio());
    tag->leading = int16_t(work.GetLeadingRatio());
    tag->flags |= swf_font2::kHasLayout;
    if (work.IsItalic()) tag->flags |= swf_font2::kItalic;
    if (work.IsBold()) tag->flags |= swf_font2::kBold;
    return tag;
}
