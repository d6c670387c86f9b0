#include "fonts/text_layout.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "swf/movie.h"
#include "swf/reader.h"

namespace {

constexpr int kTwips = 20;
constexpr int kEditTextGutter = 2 * kTwips;

bool IsBreak(uint8_t c)
{
    return c == '\r' || c == '\n';
}

int16_t Twips16(int64_t value)
{
    return int16_t(std::clamp<int64_t>(value, INT16_MIN, INT16_MAX));
}

// The text colour (red in the lowest byte), opaque.
std::unique_ptr<CSwfRGBA> Colour(uint32_t rgb)
{
    return std::make_unique<CSwfRGBA>(uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16), 255);
}

// A character's advance in twips at the font's size, letter spacing included.
int TwipsWidth(const CFont& font, uint8_t c, int letterSpacing)
{
    const int64_t width = int64_t(font.GetTextWidth(c)) * (int64_t(font.GetSize()) * kTwips) / 1024;
    return int(std::clamp<int64_t>(width + int64_t(letterSpacing) * kTwips, INT_MIN / 2, INT_MAX / 2));
}

std::unique_ptr<CTagDefineText2> NewText(uint16_t& counter, int x0, int y0, int x1, int y1)
{
    auto tag = std::make_unique<CTagDefineText2>();
    auto box = std::make_unique<CSwfRect>();
    box->Set(x0, y0, x1, y1, false);
    auto matrix = std::make_unique<CSwfMatrix>();
    matrix->SetIdentity();
    tag->Setup(++counter, std::move(box), std::move(matrix), 0, 0);
    return tag;
}

CTextRecord* AddStyle(CTagDefineText& tag, int64_t x, int64_t y)
{
    auto* style = tag.AddRecord(std::make_unique<CTextRecord>());
    style->SetXOffset(Twips16(x));
    style->SetYOffset(Twips16(y));
    style->Finish();
    return style;
}

void SetFirstStyle(CTextRecord& style, uint16_t fontId, uint32_t colour, int height)
{
    style.SetFontId(fontId);
    style.SetColor(Colour(colour));
    style.SetTextHeight(uint16_t(std::clamp(height, 0, 0xFFFF) & ~3));
}

}  // namespace

// ---- CStaticTextBuilder

int CStaticTextBuilder::CharWidth(uint8_t c) const
{
    return TwipsWidth(font, c, letterSpacing);
}

std::vector<int> CStaticTextBuilder::LineWidths() const
{
    std::vector<int> widths{0};
    for (unsigned char c : text) {
        if (IsBreak(c))
            widths.push_back(0);
        else
            widths.back() = int(std::clamp<int64_t>(int64_t(widths.back()) + CharWidth(c), INT_MIN / 2, INT_MAX / 2));
    }
    return widths;
}

int CStaticTextBuilder::MeasureWidth() const
{
    const std::vector<int> widths = LineWidths();
    return *std::max_element(widths.begin(), widths.end()) / kTwips;
}

std::unique_ptr<CTagDefineText2> CStaticTextBuilder::Build(CSwfFontManager& fonts, CSwfMovie& movie,
                                                           uint16_t& characterIdCounter)
{
    const uint16_t fontId = fonts.EmbedFont(font, movie);
    const int64_t h = int64_t(font.GetSize()) * kTwips;
    const int64_t step = h + int64_t(lineSpacing) * kTwips;
    const std::vector<int> widths = LineWidths();
    auto lineX = [&](size_t line) -> int64_t {
        const int64_t left = int64_t(x) * kTwips;
        if (alignment == text_align::kCenter) return left - widths[line] / 2;
        if (alignment == text_align::kRight) return left - widths[line];
        return left;
    };

    auto tag = NewText(characterIdCounter, 0, 0, 0, 0);
    int64_t baseline = int64_t(y) * kTwips + h;
    size_t line = 0, i = 0;
    while (i < text.size() && IsBreak(uint8_t(text[i]))) ++i, ++line, baseline += step;

    int64_t minX = 65535, maxEnd = INT64_MIN, minBase = INT64_MAX, maxBase = INT64_MIN;
    auto beginLine = [&]() {
        const int64_t lx = lineX(line);
        minX = std::min(minX, lx);
        maxEnd = std::max(maxEnd, lx + widths[line]);
        minBase = std::min(minBase, baseline);
        maxBase = std::max(maxBase, baseline);
        return AddStyle(*tag, lx, baseline);
    };
    if (i < text.size()) SetFirstStyle(*beginLine(), fontId, font.color, int(h));

    CTextGlyphRecord* glyphs = nullptr;
    while (i < text.size()) {
        const uint8_t c = uint8_t(text[i]);
        if (IsBreak(c)) {
            glyphs = nullptr;
            while (i < text.size() && IsBreak(uint8_t(text[i]))) ++i, ++line, baseline += step;
            if (i < text.size()) beginLine();
            continue;
        }
        if (glyphs && glyphs->entries.size() == swf_text::kMaxGlyphsPerRecord) {
            glyphs = nullptr;
            if (text.size() - i >= 2) tag->AddRecord(std::make_unique<CTextRecord>())->Finish();
        }
        if (!glyphs) glyphs = tag->AddRecord(std::make_unique<CTextGlyphRecord>());
        glyphs->AddGlyph(uint32_t(fonts.GetGlyph(c, font)), CharWidth(c));
        ++i;
    }

    if (maxBase != INT64_MIN) {
        auto clampTwips = [](int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN / 2, INT_MAX / 2)); };
        tag->bounds->Set(clampTwips(minX), clampTwips(minBase - h), clampTwips(maxEnd + h), clampTwips(maxBase + h),
                         false);
    }
    return tag;
}

std::unique_ptr<CTagDefineEditText> CStaticTextBuilder::BuildEditText(CSwfFontManager& fonts, CSwfMovie& movie,
                                                                      uint16_t&)
{
    auto field = std::make_unique<CTagDefineEditText>();
    field->Setup(0, Colour(font.color), "");
    field->fontId = fonts.EmbedFont(font, movie);
    const int h = font.GetSize() * kTwips;
    const std::vector<int> widths = LineWidths();
    const int widest = *std::max_element(widths.begin(), widths.end());
    const int total = int(widths.size()) * (h + lineSpacing * kTwips);

    field->flags = swf_edit::kHasText | swf_edit::kReadOnly | swf_edit::kHasTextColor | swf_edit::kHasFont |
                   swf_edit::kHasLayout | swf_edit::kNoSelect | swf_edit::kUseOutlines;
    field->fontHeight = uint16_t(std::clamp(h, 0, 0xFFFF));
    field->initialText = text;
    field->leftMargin = field->rightMargin = field->indent = 0;
    field->leading = uint16_t(std::clamp(lineSpacing * kTwips, 0, 0xFFFF));
    field->bounds = std::make_unique<CSwfRect>();
    // Players draw edit text 2 px in from each side: the field is that much
    // wider on both, so the text keeps its place and is not clipped.
    const int g = kEditTextGutter;
    switch (alignment) {
        case text_align::kLeft:
        case text_align::kJustify:
            field->align = alignment == text_align::kLeft ? 0 : 3;
            field->bounds->Set(-g, -h, widest + g, total + h, false);
            break;
        case text_align::kCenter:
            field->align = 2;
            field->bounds->Set(-widest / 2 - g, -h, widest / 2 + g, total + h, false);
            break;
        case text_align::kRight:
            field->align = 1;
            field->bounds->Set(-widest - g, -h, g, total + h, false);
            break;
        default:
            field->align = 0;
            break;
    }
    return field;
}

// ---- CTextLayout

int CTextLayout::WrapWidth(uint8_t c) const
{
    return font.MeasureText(c) + letterSpacing;
}

int CTextLayout::CharWidth(uint8_t c) const
{
    return TwipsWidth(font, c, letterSpacing);
}

int CTextLayout::WrapLines()
{
    lines.assign(1, Line());
    const int available = RectWidth(bounds) - leftMargin - rightMargin;
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t c = uint8_t(text[i]);
        if (IsBreak(c)) {
            ++lines.back().characters;
            lines.emplace_back();
            ++i;
            continue;
        }
        const bool space = std::isspace(c);
        int width = 0, count = 0;
        for (; i < text.size() && !IsBreak(uint8_t(text[i])) && bool(std::isspace(uint8_t(text[i]))) == space;
             ++i, ++count)
            width += WrapWidth(uint8_t(text[i]));
        Line* line = &lines.back();
        if (!space && wrap &&
            (line->width > available || (!line->segments.empty() && line->width + width > available))) {
            // The spaces before the break are not part of the line's width.
            if (line->endsInSpace) {
                line->width -= line->segments.back();
                line->spaces -= line->trailingSpaces;
            }
            lines.emplace_back();
            line = &lines.back();
        }
        line->segments.push_back(width);
        line->width += width;
        line->characters += count;
        line->endsInSpace = space;
        if (space) {
            line->spaces += count;
            line->trailingSpaces = count;
        }
    }
    int widest = 0;
    for (const Line& line : lines) widest = std::max(widest, line.width);
    return widest;
}

std::unique_ptr<CTagDefineText2> CTextLayout::BuildText(CSwfFontManager& fonts, CSwfMovie& movie,
                                                        uint16_t& characterIdCounter)
{
    WrapLines();
    const uint16_t fontId = fonts.EmbedFont(font, movie);
    const int width = RectWidth(bounds), height = RectHeight(bounds);
    auto tag = NewText(characterIdCounter, 0, 0, width * kTwips, height * kTwips);
    const int size = font.GetSize();
    const int64_t count = int64_t(lines.size());
    int64_t y = size;
    if (vertical == text_align::kMiddle) y += height / 2 - count * size / 2;
    if (vertical == text_align::kBottom) y += height - count * size;
    const int64_t step = int64_t(size) + lineSpacing;

    bool first = true;
    size_t at = 0;
    for (const Line& line : lines) {
        const size_t end = std::min(text.size(), at + size_t(line.characters));
        bool hasGlyphs = false;
        for (size_t k = at; k < end; ++k) hasGlyphs |= !IsBreak(uint8_t(text[k]));
        if (hasGlyphs) {
            int64_t x = leftMargin;
            if (horizontal == text_align::kCenter) x = width / 2 - line.width / 2;
            if (horizontal == text_align::kRight) x = width - line.width;
            CTextRecord* style = AddStyle(*tag, x * kTwips, y * kTwips);
            if (first) SetFirstStyle(*style, fontId, color, size * kTwips);
            first = false;
            const int extra =
                horizontal == text_align::kJustify && line.spaces > 0 ? (width - line.width) / line.spaces * kTwips : 0;
            auto* glyphs = tag->AddRecord(std::make_unique<CTextGlyphRecord>());
            for (size_t k = at; k < end; ++k) {
                const uint8_t c = uint8_t(text[k]);
                if (IsBreak(c)) continue;
                glyphs->AddGlyph(uint32_t(fonts.GetGlyph(c, font)), CharWidth(c) + (std::isspace(c) ? extra : 0));
            }
        }
        at = end;
        y += step;
    }
    return tag;
}

// ---- probes

bool GetSwfMovieInfo(const CPath& path, int* width, int* height, float* frameRate, int* version, int* frameCount,
                     int* compressed)
{
    CSwfFileReader reader;
    if (!reader.OpenFile(path)) return false;
    int w = 0, h = 0;
    reader.GetFrameSize(w, h);
    if (width) *width = w;
    if (height) *height = h;
    if (frameRate) *frameRate = reader.frameRate;
    if (version) *version = reader.version;
    if (frameCount) *frameCount = reader.frameCount;
    if (compressed) *compressed = reader.fromCompressed ? 1 : 0;
    reader.CloseInput();
    return true;
}
