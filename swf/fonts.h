#pragma once
// The font tags: DefineFont (glyph outlines only), DefineFont2 (outlines,
// codes, layout and kerning) and the DefineFontInfo tags that name a
// DefineFont's glyphs. Glyph outlines are bare shapes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/object.h"
#include "swf/records.h"
#include "swf/shapes.h"

namespace swf_font2 {
enum : uint8_t {
    kHasLayout = 0x80,
    kShiftJis = 0x40,
    kSmallText = 0x20,
    kAnsi = 0x10,
    kWideOffsets = 0x08,
    kWideCodes = 0x04,
    kItalic = 0x02,
    kBold = 0x01,
};
}  // namespace swf_font2

namespace swf_font_info {
enum : uint8_t { kSmallText = 0x20, kShiftJis = 0x10, kAnsi = 0x08, kItalic = 0x04, kBold = 0x02, kWideCodes = 0x01 };
}  // namespace swf_font_info

// An 8-bit code in the default text encoding as the one UTF-16 unit that
// DefineFont2 code tables hold from version 6 on; 0 and wide codes stay.
uint16_t SwfFontCodeToUnicode(uint16_t code);

struct CSwfKerningRecord {
    uint16_t code1 = 0;
    uint16_t code2 = 0;
    int16_t adjustment = 0;
};

class CTagDefineFont : public CSwfDefineTag {
public:
    CTagDefineFont() = default;
    CTagDefineFont(const CTagDefineFont&) = delete;
    CTagDefineFont& operator=(const CTagDefineFont&) = delete;

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    int GetTagCode() const override { return swf_tag::kDefineFont; }
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    virtual void Clear();
    // Takes the glyphs; fromTableStart adds 2 × the offset count to every
    // offset so that offsets count from the start of the table.
    virtual void Set(const std::vector<uint32_t>& offsetList, std::vector<std::unique_ptr<CShape>> glyphList,
                     uint16_t id, bool fromTableStart);
    virtual void SetId(uint16_t id) { characterId = id; }

    std::vector<uint32_t> offsets;
    std::vector<std::unique_ptr<CShape>> glyphs;
};

class CTagDefineFont2 : public CSwfDefineTag {
public:
    CTagDefineFont2() { Reset(); }
    CTagDefineFont2(std::string fontName, uint16_t id, uint8_t fontFlags);
    CTagDefineFont2(const CTagDefineFont2&) = delete;
    CTagDefineFont2& operator=(const CTagDefineFont2&) = delete;

    int Parse(CSwfReader& reader) override;
    // Layout depends on the stream's version: from 6 on, codes are UTF-16.
    int Write(CSwfStream& stream) override;
    void Reset() override;
    int GetTagCode() const override { return swf_tag::kDefineFont2; }
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    virtual void Clear();

    // Appends one glyph with its code, advance and bounds (used with has-layout).
    void AddGlyph(std::unique_ptr<CShape> glyph, uint16_t code, int16_t advance, const CSwfRect& box);

    uint8_t flags = swf_font2::kAnsi;
    uint8_t language = 0;
    std::string name;
    // Rebuilt at every write.
    std::vector<uint32_t> offsets;
    std::vector<std::unique_ptr<CShape>> glyphs;
    std::vector<std::unique_ptr<CSwfRect>> bounds;
    std::vector<CSwfKerningRecord> kerning;
    std::vector<int16_t> advances;
    // 8-bit codes in the default text encoding, unless codesAreUnicode.
    std::vector<uint16_t> codes;
    // The codes as they were read.
    std::vector<uint16_t> parsedCodes;
    // Set by a parse that read UTF-16 codes; those are written back as they are.
    bool codesAreUnicode = false;
    int16_t ascent = 0, descent = 0, leading = 0;
    bool appendId = false;
};

class CTagDefineFontInfo : public CSwfTag {
public:
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    int GetTagCode() const override { return swf_tag::kDefineFontInfo; }
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    virtual void ClearName() { name.clear(); }
    // codeBytes, one code per byte, replace the codes only when not empty.
    virtual void Set(uint16_t id, const std::string& fontName, const std::string& codeBytes, uint8_t fontFlags);

    uint16_t fontId = 0;
    std::string name;
    uint8_t flags = 0;
    std::vector<uint16_t> codes;
    bool appendId = false;

protected:
    // The language byte that follows the flags in DefineFontInfo2.
    virtual void WriteLanguage(CSwfStream&) {}
    virtual void ReadLanguage(CSwfReader&) {}
};

class CTagDefineFontInfo2 : public CTagDefineFontInfo {
public:
    int GetTagCode() const override { return swf_tag::kDefineFontInfo2; }

    uint8_t language = 0;

protected:
    void WriteLanguage(CSwfStream& stream) override;
    void ReadLanguage(CSwfReader& reader) override;
};
