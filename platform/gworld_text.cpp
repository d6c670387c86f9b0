// Text drawing into offscreen worlds with FreeType, in the face fontconfig
// picks for sans-serif.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

#include "platform/cfstring.h"
#include "platform/gworld.h"

namespace {

std::string SansSerifFile()
{
    std::string file;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return file;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    if (pattern) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
            FcChar8* path = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
                file = reinterpret_cast<const char*>(path);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return file;
}

// The face is loaded once and kept for the life of the process.
FT_Face DefaultFace()
{
    static FT_Library library = nullptr;
    static FT_Face face = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const std::string file = SansSerifFile();
        if (!file.empty() && FT_Init_FreeType(&library) == 0 && FT_New_Face(library, file.c_str(), 0, &face) != 0)
            face = nullptr;
    }
    return face;
}

uint8_t Blend(uint8_t under, uint8_t over, unsigned coverage)
{
    return uint8_t((under * (255 - coverage) + over * coverage + 127) / 255);
}

}  // namespace

void GWorld::DrawText(const char* text, size_t length)
{
    if (!text || length == 0) return;
    FT_Face face = DefaultFace();
    if (!face) return;
    CFStringRef string =
        CFStringCreateWithBytes(reinterpret_cast<const uint8_t*>(text), CFIndex(length), kCFStringEncodingMacRoman);
    const std::u16string units = platform::StringUnits(string);
    if (string) CFRelease(string);
    const int pixels = textSize_ > 0 ? textSize_ : 12;
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixels)) != 0) return;

    int penH = pen_.h;
    for (char16_t unit : units) {
        if (FT_Load_Char(face, FT_ULong(unit), FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap& bitmap = glyph->bitmap;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                const int v = pen_.v - glyph->bitmap_top + int(row);
                for (unsigned col = 0; col < bitmap.width; ++col) {
                    const unsigned coverage = bitmap.buffer[int(row) * bitmap.pitch + int(col)];
                    if (coverage == 0) continue;
                    const int h = penH + glyph->bitmap_left + int(col);
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
        }
        penH += int(glyph->advance.x >> 6);
    }
    pen_.h = int16_t(penH);
}
