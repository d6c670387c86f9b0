#include "swf/text.h"

#include <algorithm>

#include "swf/reader_primitives.h"
#include "swf/stream.h"
#include "swf/tag_body.h"
#include "swf/styles.h"

namespace {

void WriteTerminated(CSwfStream& stream, const std::string& text)
{
    // A zero byte inside would end the string early for every reader.
    stream.WriteString(text.substr(0, text.find('\0')));
    stream.WriteU8(0);
}

}  // namespace

// ---- style record

void CTextRecord::SetFontId(uint16_t id)
{
    fontId = id;
    type |= swf_text::kHasFont;
}

void CTextRecord::SetTextHeight(uint16_t height)
{
    textHeight = height;
    type |= swf_text::kHasFont;
}

void CTextRecord::SetColor(std::unique_ptr<CSwfRGB> c)
{
    colour = std::move(c);
    type |= swf_text::kHasColor;
}

void CTextRecord::SetXOffset(int16_t x)
{
    xOffset = x;
    type |= swf_text::kHasXOffset;
}

void CTextRecord::SetYOffset(int16_t y)
{
    yOffset = y;
    type |= swf_text::kHasYOffset;
}

int CTextRecord::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    const bool hasFont = type & swf_text::kHasFont;
    // The colour flag without a colour would shift every later field.
    const bool hasColor = (type & swf_text::kHasColor) && colour;
    const bool hasY = (type & swf_text::kHasYOffset) || yOffset;
    const bool hasX = (type & swf_text::kHasXOffset) || xOffset;
    uint8_t head = swf_text::kStyleRecord | (type & 0x70);
    if (hasFont) head |= swf_text::kHasFont;
    if (hasColor) head |= swf_text::kHasColor;
    if (hasY) head |= swf_text::kHasYOffset;
    if (hasX) head |= swf_text::kHasXOffset;
    stream.WriteU8(head);
    if (hasFont) stream.WriteU16(fontId);
    if (hasColor) SwfWriteColor(stream, *colour, !IsRgb());
    if (hasX) stream.WriteS16(xOffset);
    if (hasY) stream.WriteS16(yOffset);
    if (hasFont) stream.WriteU16(textHeight);
    return int(stream.GetPosition() - start);
}

int CTextRecord::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    type = reader.ReadU8();
    if (type & swf_text::kHasFont) fontId = reader.ReadU16();
    if (type & swf_text::kHasColor) {
        colour = SwfMakeBlack(!IsRgb());
        colour->Parse(reader);
    }
    if (type & swf_text::kHasXOffset) xOffset = int16_t(reader.ReadU16());
    if (type & swf_text::kHasYOffset) yOffset = int16_t(reader.ReadU16());
    if (type & swf_text::kHasFont) textHeight = reader.ReadU16();
    return SwfConsumed(reader, start);
}

// ---- glyph record

int CTextGlyphRecord::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    // More glyphs than one count byte holds continue in further records,
    // each opened by an empty style record.
    size_t done = 0;
    do {
        const size_t n = std::min(entries.size() - done, swf_text::kMaxGlyphsPerRecord);
        if (done) stream.WriteU8(swf_text::kStyleRecord);
        stream.WriteU8(uint8_t(n));
        for (size_t i = done; i < done + n; ++i) {
            stream.WriteBits(int32_t(entries[i].index), glyphBits);
            stream.WriteBits(SwfClampSigned(entries[i].advance, std::max<int>(advanceBits, 1)), advanceBits);
        }
        stream.FlushBits();
        done += n;
    } while (done < entries.size());
    return int(stream.GetPosition() - start);
}

int CTextGlyphRecord::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint8_t count = reader.ReadU8();
    // After a style record the count takes the whole byte.
    const int n = afterStyle ? count : (count & 0x7F);
    type = uint8_t(n & 0x7F);
    entries.clear();
    for (int i = 0; i < n && reader.GetRemaining() > 0; ++i) {
        CTextGlyphEntry e;
        e.index = reader.ReadBits(glyphBits, false);
        e.advance = int32_t(reader.ReadBits(advanceBits, true));
        entries.push_back(e);
    }
    reader.AlignToByte();
    return SwfConsumed(reader, start);
}

// ---- DefineText, DefineText2

void CTagDefineText::Clear()
{
    bounds.reset();
    matrix.reset();
    records.clear();
}

void CTagDefineText::Setup(uint16_t id, std::unique_ptr<CSwfRect> box, std::unique_ptr<CSwfMatrix> m,
                           uint8_t glyphBitCount, uint8_t advanceBitCount)
{
    characterId = id;
    bounds = std::move(box);
    matrix = std::move(m);
    glyphBits = glyphBitCount;
    advanceBits = advanceBitCount;
}

void CTagDefineText::OffsetIds(int idDelta, int, int)
{
    characterId = SwfOffsetId(characterId, idDelta);
    for (auto& r : records) {
        if (!r->IsStyle()) continue;
        auto& style = static_cast<CTextRecord&>(*r);
        if (style.fontId) style.fontId = SwfOffsetId(style.fontId, idDelta);
    }
}

int CTagDefineText::Write(CSwfStream& stream)
{
    uint32_t largestIndex = 0;
    int64_t largestAdvance = 0;
    for (const auto& r : records) {
        if (r->IsStyle()) continue;
        for (const CTextGlyphEntry& e : static_cast<const CTextGlyphRecord&>(*r).entries) {
            largestIndex = std::max(largestIndex, e.index);
            // Sized by magnitude: a negative advance needs its sign bit too.
            largestAdvance = std::max(largestAdvance, e.advance < 0 ? -int64_t(e.advance) : int64_t(e.advance));
        }
    }
    glyphBits = uint8_t(std::max<int>(SwfBitsNeeded(int32_t(largestIndex), false), minGlyphBits));
    advanceBits = uint8_t(std::clamp<int>(
        std::max<int>(SwfBitsNeeded(int32_t(std::min<int64_t>(largestAdvance, INT32_MAX)), true), minAdvanceBits), 0,
        32));

    CSwfStream body(4);
    body.WriteU16(characterId);
    CSwfRect noBounds;
    (bounds ? *bounds : noBounds).Write(body);
    CSwfMatrix identity;
    identity.SetIdentity();
    (matrix ? *matrix : identity).Write(body);
    body.FlushBits();
    body.WriteU8(glyphBits);
    body.WriteU8(advanceBits);
    // Every record pairs a style record with a glyph count, as players read
    // them: a glyph record gets an empty style record before it when it has
    // none, a style record without glyphs a count of 0 after it.
    const bool rgb = GetTagCode() == swf_tag::kDefineText;
    bool afterStyle = false;
    for (auto& r : records) {
        r->SetRgb(rgb);
        if (r->IsStyle()) {
            if (afterStyle) body.WriteU8(0);
            r->Write(body);
            afterStyle = true;
        } else {
            auto& glyphs = static_cast<CTextGlyphRecord&>(*r);
            glyphs.glyphBits = glyphBits;
            glyphs.advanceBits = advanceBits;
            if (!afterStyle) body.WriteU8(swf_text::kStyleRecord);
            glyphs.Write(body);
            afterStyle = false;
        }
    }
    if (afterStyle) body.WriteU8(0);
    body.WriteU8(0);
    return WriteWithBody(stream, body);
}

int CTagDefineText::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint64_t end = SwfBodyEnd(reader, start);
    Clear();
    characterId = reader.ReadU16();
    bounds = std::make_unique<CSwfRect>();
    bounds->Parse(reader);
    reader.AlignToByte();
    matrix = std::make_unique<CSwfMatrix>();
    matrix->Parse(reader);
    reader.AlignToByte();
    glyphBits = minGlyphBits = reader.ReadU8();
    advanceBits = minAdvanceBits = reader.ReadU8();
    const bool rgb = GetTagCode() == swf_tag::kDefineText;

    auto parseGlyphs = [&](bool afterStyle) {
        auto glyphs = std::make_unique<CTextGlyphRecord>();
        glyphs->glyphBits = glyphBits;
        glyphs->advanceBits = advanceBits;
        glyphs->afterStyle = afterStyle;
        glyphs->SetRgb(rgb);
        glyphs->Parse(reader);
        records.push_back(std::move(glyphs));
    };
    while (reader.GetPosition() < end) {
        const uint8_t head = reader.PeekU8();
        if (head == 0) {
            reader.ReadU8();
            break;
        }
        if (!(head & swf_text::kStyleRecord)) {
            parseGlyphs(false);
            continue;
        }
        auto style = std::make_unique<CTextRecord>();
        style->SetRgb(rgb);
        style->Parse(reader);
        records.push_back(std::move(style));
        if (reader.GetPosition() >= end) break;
        if (reader.PeekU8() != 0) {
            parseGlyphs(true);
        } else if (reader.GetPosition() + 1 < end) {
            reader.ReadU8();  // a style record without glyphs; more records follow
        }
    }
    return SwfConsumed(reader, start);
}

// ---- DefineEditText

void CTagDefineEditText::Reset()
{
    characterId = 1;
    flags = 0;
    bounds.reset();
    textColor.reset();
    fontHeight = 100;
    maxLength = leftMargin = rightMargin = indent = leading = 0;
    align = 0;
}

void CTagDefineEditText::Clear()
{
    bounds.reset();
    textColor.reset();
}

void CTagDefineEditText::Setup(uint16_t id, std::unique_ptr<CSwfRGBA> colour, const std::string& variable)
{
    Reset();
    characterId = id;
    textColor = std::move(colour);
    flags |= swf_edit::kHasTextColor;
    variableName = variable;
}

void CTagDefineEditText::OffsetIds(int idDelta, int, int)
{
    characterId = SwfOffsetId(characterId, idDelta);
    if (fontId) fontId = SwfOffsetId(fontId, idDelta);
}

int CTagDefineEditText::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(characterId);
    CSwfRect noBounds;
    (bounds ? *bounds : noBounds).Write(body);
    body.WriteU8(uint8_t(flags >> 8));
    body.WriteU8(uint8_t(flags));
    if (flags & swf_edit::kHasFont) {
        body.WriteU16(fontId);
        body.WriteU16(fontHeight);
    }
    if (flags & swf_edit::kHasTextColor) {
        CSwfRGBA black(0, 0, 0, 255);
        (textColor ? *textColor : black).Write(body);
    }
    if (flags & swf_edit::kHasMaxLength) body.WriteU16(maxLength);
    if (flags & swf_edit::kHasLayout) {
        body.WriteU8(align);
        body.WriteU16(leftMargin);
        body.WriteU16(rightMargin);
        body.WriteU16(indent);
        body.WriteU16(leading);
    }
    WriteTerminated(body, variableName);
    if (flags & swf_edit::kHasText) WriteTerminated(body, initialText);
    return WriteWithBody(stream, body);
}

int CTagDefineEditText::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    Clear();
    characterId = reader.ReadU16();
    bounds = std::make_unique<CSwfRect>();
    bounds->Parse(reader);
    reader.AlignToByte();
    // The flags stay as read, so the field is written back as it came.
    flags = uint16_t(reader.ReadU8() << 8);
    flags |= reader.ReadU8();
    if (flags & swf_edit::kHasFont) {
        fontId = reader.ReadU16();
        fontHeight = reader.ReadU16();
    }
    if (flags & swf_edit::kHasTextColor) {
        textColor = std::make_unique<CSwfRGBA>(0, 0, 0, 255);
        textColor->Parse(reader);
    }
    if (flags & swf_edit::kHasMaxLength) maxLength = reader.ReadU16();
    if (flags & swf_edit::kHasLayout) {
        align = reader.ReadU8();
        leftMargin = reader.ReadU16();
        rightMargin = reader.ReadU16();
        indent = reader.ReadU16();
        leading = reader.ReadU16();
    }
    reader.ReadString(variableName, 0, false);
    initialText.clear();
    if (flags & swf_edit::kHasText) reader.ReadString(initialText, 0, false);
    return SwfConsumed(reader, start);
}
