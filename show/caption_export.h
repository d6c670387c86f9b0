#pragma once
// A caption into the movie being written: a "tvr" caption becomes a
// DefineText2 laid out line by line inside a sprite that plays its entrance
// effect; an "lfx" caption is a sprite the text-effect bundle writes.
#include <cstdint>
#include <memory>
#include <vector>

#include "show/caption.h"
#include "swf/display_tags.h"

class CSlideShow;
class CSwfFontManager;
class CSwfMovie;
class CTagDefineSprite;

// The first line's anchor in twips (x the left end of the first line, y the
// top of the text block) and one width in twips per line; each CR and each
// LF ends a line.
void LayoutCaptionText(const CCaption& caption, int& x, int& y, std::vector<int>& lineWidths);

// Writes the caption's tags into the movie and returns the placement of its
// sprite at a new depth, for the caller to add; none when the caption gives
// nothing. Every new character id and depth is its counter incremented
// first. A "tvr" caption's characters must be registered with the font
// table (PrepareCaptionExport) before its font tags are built.
std::unique_ptr<CTagPlaceObject2> ExportCaption(const CCaption& caption, const CSlideShow& show,
                                                CSwfFontManager& fonts, CSwfMovie& movie, uint16_t& characterId,
                                                uint16_t& depth);

// Fills the sprite with the frames of the caption's entrance effect, the
// text at depth 1; every effect lasts one second.
void BuildCaptionEffect(const CCaption& caption, const CSwfMovie& movie, CTagDefineSprite& sprite, uint16_t textId);

// Before the font tags are built: registers a "tvr" caption's font and
// expanded text with the font table, or lets the text-effect bundle register
// an "lfx" caption's fonts and glyphs. Nothing when the bundle does not load.
void PrepareCaptionExport(const CCaption& caption, const CSlideShow& show, CSwfFontManager& fonts);
