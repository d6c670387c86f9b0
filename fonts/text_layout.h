#pragma once
// Text as SWF static text drawn with embedded fonts: CStaticTextBuilder puts
// explicit lines at a point (or makes a read-only edit field of them),
// CTextLayout word-wraps a text into a rectangle with alignment. Both need
// the text registered with the font manager and its font tags built first.
// Also small probes of SWF files and tag lists.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fonts/font_manager.h"
#include "foundation/path.h"
#include "platform/qd_types.h"
#include "swf/file_utils.h"
#include "swf/reader_primitives.h"
#include "swf/template_import.h"
#include "swf/text.h"

class CSwfMovie;

namespace text_align {
enum : int { kLeft = 0, kCenter = 1, kRight = 2, kJustify = 3 };
enum : int { kTop = 0, kMiddle = 1, kBottom = 2 };
}  // namespace text_align

class CStaticTextBuilder {
public:
    // Copies size, family, style and name.
    void SetFont(const CFont& font) { this->font.CFont::Assign(font); }
    void SetColor(uint32_t rgb) { font.color = rgb; }
    void SetX(int value) { x = value; }
    void SetY(int value) { y = value; }

    // A DefineText2 with the next character id; the caller adds it to the movie.
    std::unique_ptr<CTagDefineText2> Build(CSwfFontManager& fonts, CSwfMovie& movie, uint16_t& characterIdCounter);
    // A read-only edit field of the text, character id 0 (the caller sets it).
    std::unique_ptr<CTagDefineEditText> BuildEditText(CSwfFontManager& fonts, CSwfMovie& movie,
                                                      uint16_t& characterIdCounter);
    // The widest line in pixels.
    int MeasureWidth() const;

    // CR and LF end lines.
    std::string text;
    CSwfTextFont font;
    // The first line's anchor in pixels; y is its top.
    int x = 0, y = 0;
    int lineSpacing = 0, letterSpacing = 0;
    int alignment = text_align::kLeft;

private:
    int CharWidth(uint8_t c) const;
    // Twips; one entry per line, as CR and LF each end one.
    std::vector<int> LineWidths() const;
};

class CTextLayout {
public:
    struct Line {
        std::vector<int> segments;
        int width = 0;
        int characters = 0;
        int spaces = 0;
        // The last segment is white space, of this many characters.
        bool endsInSpace = false;
        int trailingSpaces = 0;
    };

    void SetText(const std::string& value) { text = value; }
    void SetFont(const CSwfTextFont& value) { font.Assign(value); }
    void SetColor(uint32_t rgb) { color = rgb; }
    void SetBounds(const Rect& value) { bounds = value; }
    void SetHorizontalAlignment(int value) { horizontal = value; }
    void SetVerticalAlignment(int value) { vertical = value; }
    void SetWrap(bool on) { wrap = on; }

    // Breaks the text into lines; returns the widest line in pixels.
    int WrapLines();
    // A DefineText2 of the wrapped text with the next character id.
    std::unique_ptr<CTagDefineText2> BuildText(CSwfFontManager& fonts, CSwfMovie& movie, uint16_t& characterIdCounter);
    const std::vector<Line>& GetLines() const { return lines; }

    std::string text;
    CSwfTextFont font;
    uint32_t color = 0;
    Rect bounds{0, 0, 10, 10};
    int horizontal = text_align::kLeft;
    int vertical = text_align::kTop;
    int lineSpacing = 0, letterSpacing = 0;
    int leftMargin = 0, rightMargin = 0;
    bool wrap = true;

private:
    // Pixels, for wrapping.
    int WrapWidth(uint8_t c) const;
    // Twips, for the glyph advances.
    int CharWidth(uint8_t c) const;

    std::vector<Line> lines;
};

// Header facts of a SWF file, plain or compressed; every output may be null.
// Width and height are in twips. False when the file cannot be read as SWF.
bool GetSwfMovieInfo(const CPath& path, int* width, int* height, float* frameRate, int* version, int* frameCount,
                     int* compressed);
// The first PlaceObject or PlaceObject2 of the character from its definition on.
inline CTagPlaceObject* FindPlacementTag(const CSwfTagList& tags, const CSwfDefineTag* character)
{
    return FindFirstPlacement(character, tags);
}
