#pragma once
// Static text (DefineText, DefineText2) with its style and glyph records, and
// the edit-text field (DefineEditText).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/object.h"
#include "swf/records.h"

namespace swf_text {
// Style record flags; the top bit marks a style record.
enum : uint8_t { kStyleRecord = 0x80, kHasFont = 0x08, kHasColor = 0x04, kHasYOffset = 0x02, kHasXOffset = 0x01 };
// A glyph record's count shares its byte with the clear top bit.
constexpr size_t kMaxGlyphsPerRecord = 127;
}  // namespace swf_text

namespace swf_edit {
enum : uint16_t {
    kHasText = 0x8000,
    kWordWrap = 0x4000,
    kMultiline = 0x2000,
    kPassword = 0x1000,
    kReadOnly = 0x0800,
    kHasTextColor = 0x0400,
    kHasMaxLength = 0x0200,
    kHasFont = 0x0100,
    kHasLayout = 0x0020,
    kNoSelect = 0x0010,
    kBorder = 0x0008,
    kUseOutlines = 0x0001,
};
}  // namespace swf_edit

// Base of both text records. Colours are RGB in DefineText, RGBA in DefineText2.
class CTextRecordBase : public CSwfObject {
public:
    virtual void SetRgb(bool rgb) { rgb_ = rgb; }
    virtual bool IsRgb() const { return rgb_; }
    virtual void Clear() {}
    // Called by the text builders on every new style record; nothing to do here.
    virtual void Finish() {}
    bool IsStyle() const { return type & swf_text::kStyleRecord; }

    // Type and flags byte: top bit set for a style record, else the glyph count.
    uint8_t type = 0;

protected:
    bool rgb_ = true;
};

// The largest text size, in pixels, a style record's height (16 bits of
// twips) holds: the limit of every text a movie shows.
inline constexpr int kMaxTextSize = 0xFFFF / kTwips;

class CTextRecord : public CTextRecordBase {
public:
    CTextRecord() { type = swf_text::kStyleRecord; }

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void Clear() override { colour.reset(); }

    void SetFontId(uint16_t id);
    void SetTextHeight(uint16_t height);
    void SetColor(std::unique_ptr<CSwfRGB> c);
    void SetXOffset(int16_t x);
    void SetYOffset(int16_t y);

    uint16_t fontId = 0;
    std::unique_ptr<CSwfRGB> colour;
    int16_t xOffset = 0, yOffset = 0;
    uint16_t textHeight = 0;
};

struct CTextGlyphEntry {
    uint32_t index = 0;
    int32_t advance = 0;
};

class CTextGlyphRecord : public CTextRecordBase {
public:
    // Reads the count byte (the whole byte when it follows a style record) and the entries.
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void Clear() override { entries.clear(); }
    void AddGlyph(uint32_t index, int32_t advance) { entries.push_back({index, advance}); }

    std::vector<CTextGlyphEntry> entries;
    uint8_t glyphBits = 0, advanceBits = 0;
    bool afterStyle = false;
};

class CTagDefineText : public CSwfDefineTag {
public:
    CTagDefineText() = default;
    CTagDefineText(const CTagDefineText&) = delete;
    CTagDefineText& operator=(const CTagDefineText&) = delete;

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    int GetTagCode() const override { return swf_tag::kDefineText; }
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    virtual void Clear();
    virtual void Setup(uint16_t id, std::unique_ptr<CSwfRect> box, std::unique_ptr<CSwfMatrix> m, uint8_t glyphBitCount,
                       uint8_t advanceBitCount);

    template <class Record>
    Record* AddRecord(std::unique_ptr<Record> record)
    {
        Record* raw = record.get();
        records.push_back(std::move(record));
        return raw;
    }

    std::unique_ptr<CSwfRect> bounds;
    std::unique_ptr<CSwfMatrix> matrix;
    uint8_t glyphBits = 0, advanceBits = 0;
    uint8_t minGlyphBits = 0, minAdvanceBits = 0;
    std::vector<std::unique_ptr<CTextRecordBase>> records;
};

class CTagDefineText2 : public CTagDefineText {
public:
    int GetTagCode() const override { return swf_tag::kDefineText2; }
};

class CTagDefineEditText : public CSwfDefineTag {
public:
    CTagDefineEditText() { Reset(); }
    CTagDefineEditText(const CTagDefineEditText&) = delete;
    CTagDefineEditText& operator=(const CTagDefineEditText&) = delete;

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void Reset() override;
    int GetTagCode() const override { return swf_tag::kDefineEditText; }
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    virtual void Clear();
    // Resets the field, then sets the id, the text colour (with its flag) and the variable.
    virtual void Setup(uint16_t id, std::unique_ptr<CSwfRGBA> colour, const std::string& variable);

    std::unique_ptr<CSwfRect> bounds;
    uint16_t flags = 0;
    uint16_t fontId = 0, fontHeight = 100;
    std::unique_ptr<CSwfRGBA> textColor;
    uint16_t maxLength = 0;
    uint8_t align = 0;
    uint16_t leftMargin = 0, rightMargin = 0, indent = 0, leading = 0;
    std::string variableName, initialText;
};
