#pragma once
// Installed fonts as embedded SWF fonts: each character's outline, drawn in
// a 1024-unit em square, becomes a glyph shape of straight and quadratic
// edges with its advance and bounds, and the font's metrics its layout.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/fonts.h"
#include "swf/shapes.h"
#include "ui/font.h"

class CSwfTextFont;

// A DefineFont2 of the font with one glyph per byte of characters, in order.
// A character the font cannot draw gets an empty glyph.
std::unique_ptr<CTagDefineFont2> BuildFontTag(const CSwfTextFont& font, const std::string& characters, uint16_t fontId,
                                              bool appendId);

// The glyph's shape records (y down) and bounds; false, with no records and
// empty bounds, when the character cannot be drawn. A glyph without outline
// (a space) is a single end record.
bool BuildGlyphOutline(std::vector<std::unique_ptr<CShapeRecord>>& records, const CFont& font, uint8_t character,
                       CSwfRect& bounds);
