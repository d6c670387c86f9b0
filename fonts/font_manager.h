#pragma once
// The fonts a movie's texts use: each font with the characters it must
// provide, one embedded DefineFont2 per family and style built once per
// export, and the glyph index of every character in it.
//
// Order of use: FindFont for every text, BuildFontTags once, then per text
// EmbedFont and GetGlyph for each character.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/fonts.h"
#include "ui/font.h"

class CSwfMovie;

class CSwfTextFont : public CFont {
public:
    // 32 points, white.
    CSwfTextFont();
    CSwfTextFont(const CSwfTextFont& other);
    CSwfTextFont& operator=(const CSwfTextFont& other);

    // Copies the font and the added fields.
    void Assign(const CSwfTextFont& other);
    using CFont::Assign;
    // Same family, style and attributes; the colour and size only when asked.
    bool Matches(const CSwfTextFont& other, bool compareSize, bool compareColor) const;

    // Red in the lowest byte.
    uint32_t color = 0xFFFFFF;
    // Compared by every match; what sets them lies with the caller.
    uint32_t attributes[3] = {0, 0, 0};
};

struct CSwfFontEntry {
    CSwfTextFont font;
    // Raw while texts are added; sorted by code, without repeats, once the
    // font tags are built.
    std::string characters;
    uint16_t fontId = 0;
    bool embedded = false;
    bool built = false;
};

class CSwfFontManager {
public:
    // Option bit: fonts that differ only in size share one entry.
    enum : uint32_t { kIgnoreSize = 1 };

    CSwfFontManager() = default;
    CSwfFontManager(const CSwfFontManager&) = delete;
    CSwfFontManager& operator=(const CSwfFontManager&) = delete;

    // Forgets every font.
    void Clear();
    // A new movie begins: no font tag is in it yet.
    void Reset();

    // Registers the text's characters under the matching font (a new entry
    // when none matches). Always true.
    bool FindFont(const CSwfTextFont& font, const char* text, uint32_t options);
    // Builds one font tag per family and style, numbered from the counter
    // the movie's other characters use. Codes are sorted as the movie's
    // version writes them. Always true.
    bool BuildFontTags(const CSwfMovie& movie, uint16_t& characterIdCounter);
    // Adds the font's tag to the movie the first time and returns its id;
    // 0 for a font never registered.
    uint16_t EmbedFont(const CSwfTextFont& font, CSwfMovie& movie);
    // The character's glyph index in the font's tag; -1 when the font or the
    // character was never registered.
    int GetGlyph(uint8_t character, const CSwfTextFont& font) const;

    void SetAppendId(bool on) { appendId = on; }
    const std::vector<std::unique_ptr<CSwfFontEntry>>& GetFonts() const { return fonts; }
    size_t PreparedCount() const { return prepared.size(); }

private:
    CSwfFontEntry* Find(const CSwfTextFont& font) const;

    std::vector<std::unique_ptr<CSwfFontEntry>> fonts;
    std::vector<std::unique_ptr<CTagDefineFont2>> prepared;
    uint32_t matchOptions = 0;
    bool appendId = false;
};
