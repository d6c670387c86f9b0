#include "show/caption_export.h"


#include <algorithm>
#include <climits>
#include <string>

#include "fonts/font_manager.h"
#include "foundation/code_bundle.h"
#include "foundation/sibling_bundle.h"
#include "show/slide_show.h"
#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/movie.h"
#include "swf/sprite.h"
#include "swf/text.h"

namespace {


bool IsBreak(uint8_t c)
{
    return c == '\r' || c == '\n';
}

int32_t Clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

int16_t Clamp16(int64_t v)
{
    return int16_t(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

// A style part's offsets, kept wide until the text's origin is known.
struct LineOffset {
    CTextRecord* style;
    int64_t x, y;
};

// A text record's offsets reach 1638 pixels either way, less than a wide
// stage: when some line lies beyond, the text's matrix moves it there and
// the offsets (and bounds) count from the nearest line instead.
int64_t Origin(const std::vector<LineOffset>& lines, int64_t LineOffset::*axis)
{
    if (lines.empty()) return 0;
    const auto [low, high] = std::minmax_element(lines.begin(), lines.end(),
                                                 [&](const LineOffset& a, const LineOffset& b) { return a.*axis < b.*axis; });
    if ((*low).*axis >= INT16_MIN && (*high).*axis <= INT16_MAX) return 0;
    return (*low).*axis;
}

// Arithmetic halving: rounds toward minus infinity.
int64_t Half(int64_t v)
{
    return v >> 1;
}

// The character's advance in twips at the font's size, tracking included.
int64_t Advance(const CFont& font, uint8_t c, int tracking)
{
    const int64_t size = font.GetSize();
    const int64_t width = size > 0 ? int64_t(font.GetTextWidth(c)) * size * kTwips / 1024 : 0;
    return width + int64_t(tracking) * kTwips;
}

struct Layout {
    int64_t x = 0, y = 0;
    std::vector<int> widths;
};

Layout LayOut(const CCaption& caption, const std::string& text)
{
    Layout out;
    int64_t width = 0;
    for (unsigned char c : text) {
        if (IsBreak(c)) {
            out.widths.push_back(Clamp32(width));
            width = 0;
        } else {
            width += Advance(caption.GetFont(), c, caption.GetTracking());
        }
    }
    out.widths.push_back(Clamp32(width));

    out.x = int64_t(caption.GetX()) * kTwips;
    if (caption.GetHAlign() == 2) out.x -= out.widths[0];
    if (caption.GetHAlign() == 1) out.x -= Half(out.widths[0]);
    const int64_t lineHeight = (int64_t(caption.GetFont().GetSize()) + caption.GetLeading()) * kTwips;
    const int64_t blockHeight = lineHeight * int64_t(out.widths.size());
    out.y = int64_t(caption.GetY()) * kTwips;
    if (caption.GetVAlign() == 2) out.y -= blockHeight;
    if (caption.GetVAlign() == 1) out.y -= Half(blockHeight);
    return out;
}

// The caption at the size its text records hold: a larger font is laid out
// at the largest they hold, its advances with its glyphs' height.
CCaption HeldSize(const CCaption& caption)
{
    CCaption held(caption);
    if (caption.GetFont().GetSize() > kMaxTextSize) {
        CFont font(caption.GetFont());
        font.SetSize(kMaxTextSize);
        held.SetFont(font);
    }
    return held;
}

// The sprite takes the tag, or it is deleted here.
void AddToSprite(CTagDefineSprite& sprite, CSwfTag* tag)
{
    if (!sprite.AddTag(tag)) delete tag;
}

CTagPlaceObject2* EffectPlacement(uint16_t textId)
{
    auto* place = new CTagPlaceObject2;
    if (textId) place->SetCharacterId(textId);
    else place->move = true;
    place->depth = 1;
    return place;
}

CSwfMatrix* Translation(int64_t x, int64_t y)
{
    auto* m = new CSwfMatrix;
    m->translateX = Clamp32(x);
    m->translateY = Clamp32(y);
    return m;
}

CSwfCxformWithAlpha* AlphaOnly(int alphaMult)
{
    auto* cx = new CSwfCxformWithAlpha;
    cx->SetMult(256, 256, 256, alphaMult);
    return cx;
}

// In the order of CCaption::kEffectNames.
enum class Effect { kNone, kFadeIn, kFlyFromRight, kFlyFromLeft, kFlyFromTop, kFlyFromBottom };

std::unique_ptr<CTagPlaceObject2> ExportTextCaption(const CCaption& caption, CSwfFontManager& fonts,
                                                    CSwfMovie& movie, uint16_t& characterId, uint16_t& depth)
{
    const std::string text = ExpandFilenameVar(caption);
    // A size of 0 or less has no advance to lay out with.
    if (text.empty() || caption.GetFont().GetSize() <= 0) return nullptr;
    // The text and its sprite take two ids and the sprite one depth; a
    // counter must not wrap onto ids and depths already in use.
    if (characterId > 0xFFFF - 2 || depth == 0xFFFF) return nullptr;

    CSwfTextFont font;
    font.CFont::Assign(caption.GetFont());
    font.color = caption.GetColor();
    const uint16_t fontId = fonts.EmbedFont(font, movie);
    // Never registered: no glyph of it could be drawn.
    if (fontId == 0) return nullptr;

    auto tag = std::make_unique<CTagDefineText2>();
    tag->Setup(++characterId, std::make_unique<CSwfRect>(), std::make_unique<CSwfMatrix>(), 0, 0);
    const uint16_t textId = characterId;

    const Layout layout = LayOut(caption, text);
    const int64_t textHeight = int64_t(caption.GetFont().GetSize()) * kTwips;
    const int64_t lineHeight = (int64_t(caption.GetFont().GetSize()) + caption.GetLeading()) * kTwips;
    const uint32_t rgb = caption.GetColor();
    auto lineX = [&](size_t line, int64_t previous) -> int64_t {
        const int64_t anchor = int64_t(caption.GetX()) * kTwips;
        switch (caption.GetHAlign()) {
            case 0: return anchor;
            case 1: return anchor - Half(layout.widths[line]);
            case 2: return anchor - layout.widths[line];
            default: return previous;
        }
    };

    int64_t x = layout.x;
    int64_t baseline = layout.y + textHeight;
    size_t line = 0, i = 0;
    while (i < text.size() && IsBreak(uint8_t(text[i]))) ++i, ++line, baseline += lineHeight;
    if (line > 0) x = lineX(line, x);

    // Every style part with its offsets; the last is the line being written.
    std::vector<LineOffset> offsets;
    if (i < text.size()) {
        auto first = std::make_unique<CTextRecord>();
        first->SetFontId(fontId);
        first->SetColor(std::make_unique<CSwfRGBA>(uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16),
                                                   uint8_t(caption.GetAlpha())));
        first->SetTextHeight(uint16_t(std::min<int64_t>(textHeight, 0xFFFF)));
        offsets.push_back({tag->AddRecord(std::move(first)), x, baseline});
    }

    int64_t minX = std::min<int64_t>(x, 65535), maxX = std::max<int64_t>(x + layout.widths[line], 0);
    int64_t minY = std::min<int64_t>(baseline, 65535), maxY = std::max<int64_t>(baseline, 0);

    std::unique_ptr<CTextGlyphRecord> glyphs;
    // The line's last glyph record with entries, and the advance of unknown
    // characters met before the line's first glyph.
    CTextGlyphRecord* lastGlyphs = nullptr;
    int64_t droppedLead = 0;
    auto closeGlyphs = [&] {
        if (glyphs && !glyphs->entries.empty()) tag->AddRecord(std::move(glyphs));
        glyphs.reset();
    };

    while (i < text.size()) {
        const uint8_t c = uint8_t(text[i]);
        if (!IsBreak(c)) {
            ++i;
            const int64_t advance = Advance(caption.GetFont(), c, caption.GetTracking());
            const int glyph = fonts.GetGlyph(c, font);
            // A character the font lacks has no glyph to draw, but it still
            // takes its room in the line.
            if (glyph < 0) {
                if (lastGlyphs) {
                    CTextGlyphEntry& previous = lastGlyphs->entries.back();
                    previous.advance = Clamp32(previous.advance + advance);
                } else {
                    droppedLead += advance;
                }
                continue;
            }
            if (!lastGlyphs && droppedLead != 0 && !offsets.empty()) {
                offsets.back().x += droppedLead;
                droppedLead = 0;
            }
            if (glyphs && glyphs->entries.size() == swf_text::kMaxGlyphsPerRecord) {
                closeGlyphs();
                tag->AddRecord(std::make_unique<CTextRecord>());
            }
            if (!glyphs) glyphs = std::make_unique<CTextGlyphRecord>();
            glyphs->AddGlyph(uint32_t(glyph), Clamp32(advance));
            lastGlyphs = glyphs.get();
            continue;
        }
        while (i < text.size() && IsBreak(uint8_t(text[i]))) ++i, ++line, baseline += lineHeight;
        closeGlyphs();
        lastGlyphs = nullptr;
        droppedLead = 0;
        x = lineX(line, x);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x + layout.widths[line]);
        minY = std::min(minY, baseline);
        maxY = std::max(maxY, baseline);
        if (i < text.size()) {
            offsets.push_back({tag->AddRecord(std::make_unique<CTextRecord>()), x, baseline});
        }
    }
    closeGlyphs();

    const int64_t originX = Origin(offsets, &LineOffset::x), originY = Origin(offsets, &LineOffset::y);
    for (const LineOffset& o : offsets) {
        o.style->SetXOffset(Clamp16(o.x - originX));
        o.style->SetYOffset(Clamp16(o.y - originY));
    }
    tag->matrix->translateX = Clamp32(originX);
    tag->matrix->translateY = Clamp32(originY);
    tag->bounds->Set(Clamp32(minX - originX), Clamp32(minY - textHeight - originY), Clamp32(maxX + textHeight - originX),
                     Clamp32(maxY + textHeight - originY), false);
    movie.AddTag(tag.release());

    const uint16_t spriteDepth = ++depth;
    auto sprite = std::make_unique<CTagDefineSprite>();
    sprite->SetCharacterId(++characterId);
    const uint16_t spriteId = characterId;
    BuildCaptionEffect(caption, movie, *sprite, textId);
    movie.AddTag(sprite.release());

    return std::unique_ptr<CTagPlaceObject2>(NewPlacement(spriteId, spriteDepth));
}

std::unique_ptr<CTagPlaceObject2> ExportEffectCaption(const CCaption& caption, const CSlideShow& show,
                                                      CSwfFontManager& fonts, CSwfMovie& movie, uint16_t& characterId,
                                                      uint16_t& depth)
{
    CBundle bundle;
    if (!bundle.Load(show.text_effect_bundle_path)) return nullptr;
    CFont defaultFont;
    CCaptionBuildContext context{"", &fonts, &defaultFont};
    const uint16_t idBefore = characterId, depthBefore = depth;
    const int built = SiblingBundle::CallCaptionBuild(bundle, caption.GetImportSrc().c_str(), &context, &movie,
                                                      &characterId, &depth);
    // A bundle that handed ids or depths back (or wrapped past 65535) would
    // have the next characters reuse them; one that returns an id it did
    // not take names a character it did not write.
    if (characterId < idBefore || depth < depthBefore) {
        characterId = std::max(characterId, idBefore);
        depth = std::max(depth, depthBefore);
        return nullptr;
    }
    if (built <= int(idBefore) || built > int(characterId) || depth == 0xFFFF) return nullptr;

    auto place = std::make_unique<CTagPlaceObject2>();
    place->SetCharacterId(uint16_t(built));
    place->depth = ++depth;
    return place;
}

}  // namespace

void LayoutCaptionText(const CCaption& caption, int& x, int& y, std::vector<int>& lineWidths)
{
    Layout layout = LayOut(HeldSize(caption), ExpandFilenameVar(caption));
    x = Clamp32(layout.x);
    y = Clamp32(layout.y);
    lineWidths = std::move(layout.widths);
}

std::unique_ptr<CTagPlaceObject2> ExportCaption(const CCaption& caption, const CSlideShow& show,
                                                CSwfFontManager& fonts, CSwfMovie& movie, uint16_t& characterId,
                                                uint16_t& depth)
{
    if (caption.GetType() == CCaption::kLfx)
        return ExportEffectCaption(caption, show, fonts, movie, characterId, depth);
    return ExportTextCaption(HeldSize(caption), fonts, movie, characterId, depth);
}

void BuildCaptionEffect(const CCaption& caption, const CSwfMovie& movie, CTagDefineSprite& sprite, uint16_t textId)
{
    // Below one frame a second the effect still gets its one step.
    const int n = std::max(1, int(movie.GetFrameRate()));
    const int64_t w = movie.GetWidth(), h = movie.GetHeight();
    const Effect effect = Effect(caption.GetEffectCode());

    CTagPlaceObject2* first = EffectPlacement(textId);
    int64_t startX = 0, startY = 0;
    switch (effect) {
        case Effect::kNone:
            AddToSprite(sprite, first);
            AddToSprite(sprite, new CTagShowFrame);
            return;
        case Effect::kFadeIn:
            first->SetCxform(AlphaOnly(0));
            break;
        case Effect::kFlyFromRight: startX = w; break;
        case Effect::kFlyFromLeft: startX = -w; break;
        case Effect::kFlyFromTop: startY = -h; break;
        case Effect::kFlyFromBottom: startY = h; break;
    }
    if (effect != Effect::kFadeIn) first->SetMatrix(Translation(startX, startY));
    AddToSprite(sprite, first);

    const int64_t stepX = -startX / n, stepY = -startY / n;
    int64_t offsetX = startX, offsetY = startY;
    for (int k = 1; k <= n; ++k) {
        CTagPlaceObject2* next = EffectPlacement(0);
        if (effect == Effect::kFadeIn) {
            const double a = std::min(1.0, double(k) / n);
            next->SetCxform(AlphaOnly(int(a * 256 + 0.5)));
        } else {
            offsetX += stepX;
            offsetY += stepY;
            next->SetMatrix(Translation(offsetX, offsetY));
        }
        AddToSprite(sprite, next);
        AddToSprite(sprite, new CTagShowFrame);
    }
    auto* stop = new CTagDoAction;
    stop->AddAction(new CActionStop);
    AddToSprite(sprite, stop);
    AddToSprite(sprite, new CTagShowFrame);
}

void PrepareCaptionExport(const CCaption& caption, const CSlideShow& show, CSwfFontManager& fonts)
{
    if (caption.GetType() == CCaption::kLfx) {
        CBundle bundle;
        if (bundle.Load(show.text_effect_bundle_path))
            SiblingBundle::CallCaptionPrepare(bundle, caption.GetImportSrc().c_str(), &fonts, 1);
        return;
    }
    CSwfTextFont font;
    font.CFont::Assign(HeldSize(caption).GetFont());
    font.color = caption.GetColor();
    fonts.FindFont(font, ExpandFilenameVar(caption).c_str(), 1);
}
