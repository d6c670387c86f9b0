#include "swf/fonts.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "foundation/cfstring.h"
#include "swf/reader_primitives.h"
#include "swf/stream.h"
#include "swf/tag_body.h"
#include "swf/styles.h"

namespace {

// Moves to a position the table names, when it lies inside the body.
void SeekWithin(CSwfReader& reader, uint64_t target, uint64_t end)
{
    reader.AlignToByte();
    if (target < end && target != reader.GetPosition()) reader.Seek(uint32_t(target));
}

// Length byte and text; the id is appended when asked. Longer names are cut
// to the 255 bytes the length byte can count.
void WriteName(CSwfStream& stream, const std::string& name, bool appendId, uint16_t id)
{
    std::string text = appendId ? name + std::to_string(id) : name;
    if (text.size() > 255) text.resize(255);
    stream.WriteU8(uint8_t(text.size()));
    stream.WriteString(text);
}

void ReadName(CSwfReader& reader, std::string& name)
{
    const uint8_t length = reader.ReadU8();
    // Byte by byte: a zero byte some tools count into the name is kept, so
    // the tag is written back as it came.
    name.clear();
    for (int i = 0; i < length && reader.GetRemaining() > 0; ++i) name.push_back(char(reader.ReadU8()));
}

// The glyph outlines, each padded to a byte.
std::vector<std::vector<uint8_t>> WriteGlyphs(const std::vector<std::unique_ptr<CShape>>& glyphs, uint8_t version,
                                              CSwfStream& body, uint64_t& total)
{
    std::vector<std::vector<uint8_t>> out;
    total = 0;
    for (const auto& glyph : glyphs) {
        CSwfStream s(version);
        if (glyph) glyph->Write(s);
        if (s.Failed()) body.Fail(s.GetError());
        out.push_back(s.GetBuffer());
        total += out.back().size();
    }
    return out;
}

// Each glyph is read within its own span, up to the next offset (or the code
// table): offsets that all point at one long outline would otherwise parse it
// once per glyph.
void ParseGlyphs(CSwfReader& reader, const std::vector<uint32_t>& offsets, uint64_t tableStart, uint64_t end,
                 std::vector<std::unique_ptr<CShape>>& glyphs, uint64_t codeTable = 0)
{
    std::vector<uint64_t> bounds(offsets.begin(), offsets.end());
    if (codeTable) bounds.push_back(codeTable);
    std::sort(bounds.begin(), bounds.end());
    const uint64_t outerLimit = reader.GetLimit();
    // Glyphs that share an offset share the outline: it is read once.
    struct Read {
        size_t glyph;
        uint32_t endsAt;
    };
    std::unordered_map<uint32_t, Read> readAt;
    for (uint32_t offset : offsets) {
        // The reader ends where reading the outline again would have left it.
        if (const auto seen = readAt.find(offset); seen != readAt.end()) {
            auto copy = std::make_unique<CShape>();
            copy->CopyFrom(*glyphs[seen->second.glyph]);
            glyphs.push_back(std::move(copy));
            reader.AlignToByte();
            reader.Seek(seen->second.endsAt);
            continue;
        }
        SeekWithin(reader, tableStart + offset, end);
        const auto next = std::upper_bound(bounds.begin(), bounds.end(), uint64_t(offset));
        if (next != bounds.end()) reader.SetLimit(std::min(outerLimit, tableStart + *next));
        auto glyph = std::make_unique<CShape>();
        glyph->Parse(reader);
        reader.SetLimit(outerLimit);
        reader.AlignToByte();
        readAt.emplace(offset, Read{glyphs.size(), reader.GetPosition()});
        glyphs.push_back(std::move(glyph));
    }
}

}  // namespace

uint16_t SwfFontCodeToUnicode(uint16_t code)
{
    if (code == 0 || code > 0xFF) return code;
    const char text[2] = {char(code), 0};
    CFStringRef s = CCFString::Create(text);
    if (!s) return code;
    const uint16_t unit = CFStringGetLength(s) > 0 ? CFStringGetCharacterAtIndex(s, 0) : code;
    CFRelease(s);
    return unit;
}

// ---- DefineFont

int CTagDefineFont::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(characterId);
    uint64_t total = 0;
    const auto shapes = WriteGlyphs(glyphs, 4, body, total);
    offsets.clear();
    if (!shapes.empty()) {
        // The first offset tells readers the glyph count, so it is always 2 × count.
        uint64_t offset = 2 * uint64_t(shapes.size());
        for (const auto& shape : shapes) {
            if (offset > 0xFFFF) body.Fail("DefineFont glyphs exceed its 16-bit offsets");
            offsets.push_back(uint32_t(offset));
            body.WriteU16(uint16_t(offset));
            offset += shape.size();
        }
        for (const auto& shape : shapes) body.AppendBytes(shape);
    }
    return WriteWithBody(stream, body);
}

int CTagDefineFont::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint64_t end = SwfBodyEnd(reader, start);
    Clear();
    characterId = reader.ReadU16();
    const uint64_t tableStart = reader.GetPosition();
    if (SwfLeftInBody(reader, end) >= 2) {
        const uint32_t first = reader.ReadU16();
        const uint64_t count = std::min<uint64_t>(first / 2, (end - tableStart) / 2);
        if (count) offsets.push_back(first);
        for (uint64_t i = 1; i < count; ++i) offsets.push_back(reader.ReadU16());
        ParseGlyphs(reader, offsets, tableStart, end, glyphs);
    }
    return SwfConsumed(reader, start);
}

void CTagDefineFont::OffsetIds(int idDelta, int, int) { characterId = SwfOffsetId(characterId, idDelta); }

void CTagDefineFont::Clear()
{
    offsets.clear();
    glyphs.clear();
}

void CTagDefineFont::Set(const std::vector<uint32_t>& offsetList, std::vector<std::unique_ptr<CShape>> glyphList,
                         uint16_t id, bool fromTableStart)
{
    offsets = offsetList;
    if (fromTableStart)
        for (uint32_t& o : offsets) o += uint32_t(2 * offsetList.size());
    glyphs = std::move(glyphList);
    characterId = id;
}

// ---- DefineFont2

CTagDefineFont2::CTagDefineFont2(std::string fontName, uint16_t id, uint8_t fontFlags)
    : flags(fontFlags), name(std::move(fontName))
{
    characterId = id;
}

void CTagDefineFont2::Reset()
{
    characterId = 1;
    flags = swf_font2::kAnsi;
    language = 0;
    ascent = descent = leading = 0;
}

void CTagDefineFont2::Clear()
{
    glyphs.clear();
    bounds.clear();
    kerning.clear();
    name.clear();
    offsets.clear();
    advances.clear();
    codes.clear();
    parsedCodes.clear();
    codesAreUnicode = false;
}

void CTagDefineFont2::OffsetIds(int idDelta, int, int) { characterId = SwfOffsetId(characterId, idDelta); }

void CTagDefineFont2::AddGlyph(std::unique_ptr<CShape> glyph, uint16_t code, int16_t advance, const CSwfRect& box)
{
    glyphs.push_back(std::move(glyph));
    codes.push_back(code);
    advances.push_back(advance);
    bounds.push_back(std::make_unique<CSwfRect>(box));
}

int CTagDefineFont2::Write(CSwfStream& stream)
{
    const uint8_t version = stream.GetVersion();
    CSwfStream body(version);
    uint64_t total = 0;
    const auto shapes = WriteGlyphs(glyphs, version, body, total);
    const uint64_t count = shapes.size();
    if (count > 0xFFFF) body.Fail("DefineFont2 holds more than 65535 glyphs");

    uint8_t f = flags;
    if (version > 5) {
        f &= uint8_t(~(swf_font2::kShiftJis | swf_font2::kAnsi));
        f |= swf_font2::kWideCodes;
    }
    const bool wideOffsets = total + (count + 1) * 2 >= 0x10000;
    const uint64_t width = wideOffsets ? 4 : 2;
    if (wideOffsets)
        f |= swf_font2::kWideOffsets;
    else
        f &= uint8_t(~swf_font2::kWideOffsets);
    const bool wideCodes = f & swf_font2::kWideCodes;

    body.WriteU16(characterId);
    body.WriteU8(f);
    body.WriteU8(language);
    WriteName(body, name, appendId, characterId);
    body.WriteU16(uint16_t(count));

    auto writeOffset = [&](uint64_t value) {
        if (value > 0xFFFFFFFFu) body.Fail("DefineFont2 glyphs exceed its 32-bit offsets");
        if (wideOffsets)
            body.WriteU32(uint32_t(value));
        else
            body.WriteU16(uint16_t(value));
    };
    offsets.clear();
    uint64_t offset = (count + 1) * width;
    for (const auto& shape : shapes) {
        offsets.push_back(uint32_t(offset));
        writeOffset(offset);
        offset += shape.size();
    }
    writeOffset(offset);
    for (const auto& shape : shapes) body.AppendBytes(shape);

    for (size_t i = 0; i < count; ++i) {
        const uint16_t code = i < codes.size() ? codes[i] : 0;
        if (wideCodes)
            body.WriteU16(codesAreUnicode ? code : SwfFontCodeToUnicode(code));
        else
            body.WriteU8(uint8_t(code));
    }

    if (f & swf_font2::kHasLayout) {
        body.WriteS16(ascent);
        body.WriteS16(descent);
        body.WriteS16(leading);
        // Every glyph needs an advance and a box; missing ones are zero.
        for (size_t i = 0; i < count; ++i) body.WriteS16(i < advances.size() ? advances[i] : 0);
        CSwfRect none;
        for (size_t i = 0; i < count; ++i) {
            (i < bounds.size() && bounds[i] ? *bounds[i] : none).Write(body);
            body.FlushBits();
        }
        if (kerning.size() > 0xFFFF) body.Fail("DefineFont2 holds more than 65535 kerning pairs");
        const size_t pairs = std::min<size_t>(kerning.size(), 0xFFFF);
        body.WriteU16(uint16_t(pairs));
        for (size_t i = 0; i < pairs; ++i) {
            const CSwfKerningRecord& k = kerning[i];
            // Kerning pairs name glyphs by the code table's codes.
            if (wideCodes) {
                body.WriteU16(codesAreUnicode ? k.code1 : SwfFontCodeToUnicode(k.code1));
                body.WriteU16(codesAreUnicode ? k.code2 : SwfFontCodeToUnicode(k.code2));
            } else {
                body.WriteU8(uint8_t(k.code1));
                body.WriteU8(uint8_t(k.code2));
            }
            body.WriteS16(k.adjustment);
        }
    }
    return WriteWithBody(stream, body);
}

int CTagDefineFont2::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint64_t end = SwfBodyEnd(reader, start);
    Clear();
    characterId = reader.ReadU16();
    flags = reader.ReadU8();
    language = reader.ReadU8();
    ReadName(reader, name);
    uint64_t count = reader.ReadU16();
    const uint64_t tableStart = reader.GetPosition();
    const bool wideOffsets = flags & swf_font2::kWideOffsets;
    const bool wideCodes = flags & swf_font2::kWideCodes;
    const uint64_t width = wideOffsets ? 4 : 2;
    count = std::min(count, SwfLeftInBody(reader, end) / width);
    for (uint64_t i = 0; i < count; ++i) offsets.push_back(wideOffsets ? reader.ReadU32() : reader.ReadU16());
    uint64_t codeTable = 0;
    if (SwfLeftInBody(reader, end) >= width) codeTable = wideOffsets ? reader.ReadU32() : reader.ReadU16();
    ParseGlyphs(reader, offsets, tableStart, end, glyphs, codeTable);
    if (codeTable) SeekWithin(reader, tableStart + codeTable, end);
    for (uint64_t i = 0; i < count; ++i) codes.push_back(wideCodes ? reader.ReadU16() : reader.ReadU8());
    parsedCodes = codes;
    codesAreUnicode = wideCodes;

    if ((flags & swf_font2::kHasLayout) && SwfLeftInBody(reader, end) > 0) {
        ascent = int16_t(reader.ReadU16());
        descent = int16_t(reader.ReadU16());
        leading = int16_t(reader.ReadU16());
        for (uint64_t i = 0; i < count; ++i) advances.push_back(int16_t(reader.ReadU16()));
        for (uint64_t i = 0; i < count; ++i) {
            auto box = std::make_unique<CSwfRect>();
            box->Parse(reader);
            reader.AlignToByte();
            bounds.push_back(std::move(box));
        }
        const uint64_t pairSize = wideCodes ? 6 : 4;
        const uint64_t pairs = std::min<uint64_t>(reader.ReadU16(), SwfLeftInBody(reader, end) / pairSize);
        for (uint64_t i = 0; i < pairs; ++i) {
            CSwfKerningRecord k;
            k.code1 = wideCodes ? reader.ReadU16() : reader.ReadU8();
            k.code2 = wideCodes ? reader.ReadU16() : reader.ReadU8();
            k.adjustment = int16_t(reader.ReadU16());
            kerning.push_back(k);
        }
    }
    return SwfConsumed(reader, start);
}

// ---- DefineFontInfo and DefineFontInfo2

int CTagDefineFontInfo::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(fontId);
    WriteName(body, name, appendId, fontId);
    body.WriteU8(flags);
    WriteLanguage(body);
    for (uint16_t code : codes) {
        if (flags & swf_font_info::kWideCodes)
            body.WriteU16(code);
        else
            body.WriteU8(uint8_t(code));
    }
    return WriteWithBody(stream, body);
}

int CTagDefineFontInfo::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint64_t end = SwfBodyEnd(reader, start);
    fontId = reader.ReadU16();
    ReadName(reader, name);
    flags = reader.ReadU8();
    ReadLanguage(reader);
    codes.clear();
    const bool wide = flags & swf_font_info::kWideCodes;
    const uint64_t count = SwfLeftInBody(reader, end) / (wide ? 2 : 1);
    for (uint64_t i = 0; i < count; ++i) codes.push_back(wide ? reader.ReadU16() : reader.ReadU8());
    return SwfConsumed(reader, start);
}

void CTagDefineFontInfo::OffsetIds(int idDelta, int, int) { fontId = SwfOffsetId(fontId, idDelta); }

void CTagDefineFontInfo::Set(uint16_t id, const std::string& fontName, const std::string& codeBytes, uint8_t fontFlags)
{
    fontId = id;
    name = fontName;
    if (!codeBytes.empty()) {
        codes.clear();
        for (unsigned char c : codeBytes) codes.push_back(c);
    }
    flags = fontFlags;
    appendId = false;
}

void CTagDefineFontInfo2::WriteLanguage(CSwfStream& stream) { stream.WriteU8(language); }
void CTagDefineFontInfo2::ReadLanguage(CSwfReader& reader) { language = reader.ReadU8(); }
