// Text drawing into offscreen worlds in the port's font, size and face, from
// the font catalogue.
#include <string>

#include "platform/cfstring.h"
#include "platform/font_catalog.h"
#include "platform/gworld.h"

namespace {

uint8_t Blend(uint8_t under, uint8_t over, unsigned coverage)
{
    return uint8_t((under * (255 - coverage) + over * coverage + 127) / 255);
}

}  // namespace

void GWorld::DrawText(const char* text, size_t length)
{
    if (!text || length == 0) return;
    const int pixels = textSize_ > 0 ? textSize_ : 12;
    auto font = platform::FontInstance::Create(FMFontFamily(textFont_), textFace_, Long2Fix(pixels));
    if (!font) return;
    CFStringRef string =
        CFStringCreateWithBytes(reinterpret_cast<const uint8_t*>(text), CFIndex(length), kCFStringEncodingMacRoman);
    const std::u16string units = platform::StringUnits(string);
    if (string) CFRelease(string);

    int penH = pen_.h;
    platform::FontInstance::GlyphBitmap glyph;
    for (char16_t unit : units) {
        if (!font->RenderGlyph(UniChar16(unit), glyph)) continue;
        for (int row = 0; row < glyph.rows; ++row) {
            const int v = pen_.v - glyph.top + row;
            for (int col = 0; col < glyph.width; ++col) {
                const unsigned coverage = glyph.coverage[size_t(row) * size_t(glyph.width) + size_t(col)];
                if (coverage == 0) continue;
                const int h = penH + glyph.left + col;
                uint8_t* p = const_cast<uint8_t*>(PixelAddress(h, v));
                if (!p) continue;
                if (depth_ == 32) {
                    p[0] = 0xFF;
                    p[1] = Blend(p[1], uint8_t(fore_.red >> 8), coverage);
                    p[2] = Blend(p[2], uint8_t(fore_.green >> 8), coverage);
                    p[3] = Blend(p[3], uint8_t(fore_.blue >> 8), coverage);
                } else if (coverage >= 128) {
                    SetCPixel(h, v, fore_);
                }
            }
        }
        penH += glyph.advance;
    }
    pen_.h = int16_t(penH);
}
