#include <gtest/gtest.h>

#include "swf/text.h"
#include "swf_bytes.h"

namespace {

// Id 1, bounds 4000 × 2000, identity matrix, glyph bits 1, advance bits 8; a
// style record (font 2, red, y offset 300, height 240) and glyphs (0, +100), (1, -50).
const Bytes kTextHead = {0x01, 0x00, 0x68, 0x00, 0x1F, 0x40, 0x00, 0x03, 0xE8, 0x00,
                         0xC9, 0x00, 0x00, 0x40, 0x00, 0x00, 0x01, 0x08};
const Bytes kStyleRgba = {0x8E, 0x02, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x2C, 0x01, 0xF0, 0x00};
const Bytes kStyleRgb = {0x8E, 0x02, 0x00, 0xFF, 0x00, 0x00, 0x2C, 0x01, 0xF0, 0x00};
const Bytes kGlyphs = {0x02, 0x32, 0x73, 0x80, 0x00};

template <class Tag>
std::unique_ptr<Tag> BuildText()
{
    auto tag = std::make_unique<Tag>();
    auto box = std::make_unique<CSwfRect>();
    box->Set(0, 0, 200, 100, true);
    auto m = std::make_unique<CSwfMatrix>();
    m->SetIdentity();
    tag->Setup(1, std::move(box), std::move(m), 0, 0);
    auto* style = tag->AddRecord(std::make_unique<CTextRecord>());
    style->SetFontId(2);
    style->SetColor(std::make_unique<CSwfRGB>(255, 0, 0));  // becomes RGBA in DefineText2
    style->SetYOffset(300);
    style->SetTextHeight(240);
    auto* glyphs = tag->AddRecord(std::make_unique<CTextGlyphRecord>());
    glyphs->AddGlyph(0, 100);
    glyphs->AddGlyph(1, -50);
    return tag;
}

TEST(SwfText, StaticTextBothWays)
{
    struct Case {
        std::unique_ptr<CTagDefineText> tag;
        Bytes bytes;
    };
    const Bytes body2 = Cat({kTextHead, kStyleRgba, kGlyphs});
    const Bytes body1 = Cat({kTextHead, kStyleRgb, kGlyphs});
    Case cases[] = {{BuildText<CTagDefineText2>(), Cat({{uint8_t(0x40 | body2.size()), 0x08}, body2})},
                    {BuildText<CTagDefineText>(), Cat({{uint8_t(0xC0 | body1.size()), 0x02}, body1})}};
    for (Case& c : cases) {
        const int code = c.tag->GetTagCode();
        EXPECT_EQ(Written(*c.tag), c.bytes) << code;
        std::unique_ptr<CTagDefineText> parsed =
            code == swf_tag::kDefineText2 ? std::make_unique<CTagDefineText2>() : std::make_unique<CTagDefineText>();
        EXPECT_EQ(ParseTag(*parsed, c.bytes), int(c.bytes.size() - 2)) << code;
        EXPECT_EQ(Written(*parsed), c.bytes) << code;
    }
}

TEST(SwfText, BitWidthsFromMagnitudes)
{
    struct Case {
        std::vector<CTextGlyphEntry> entries;
        uint8_t minGlyph, minAdvance;
        uint8_t glyphBits, advanceBits;
    };
    const Case cases[] = {
        {{{0, 0}}, 0, 0, 0, 1},
        {{{255, 127}}, 0, 0, 8, 8},
        {{{256, 128}}, 0, 0, 9, 9},
        {{{3, -200}}, 0, 0, 2, 9},  // a negative advance sized by its magnitude
        {{{3, 5}}, 6, 12, 6, 12},   // parsed minimums stay
    };
    for (const Case& c : cases) {
        CTagDefineText2 tag;
        tag.minGlyphBits = c.minGlyph;
        tag.minAdvanceBits = c.minAdvance;
        auto* glyphs = tag.AddRecord(std::make_unique<CTextGlyphRecord>());
        glyphs->entries = c.entries;
        const Bytes bytes = Written(tag);
        EXPECT_EQ(tag.glyphBits, c.glyphBits);
        EXPECT_EQ(tag.advanceBits, c.advanceBits);
        CTagDefineText2 parsed;
        ParseTag(parsed, bytes);
        ASSERT_EQ(parsed.records.size(), 2u);  // the empty style record before the glyphs
        const auto& back = dynamic_cast<const CTextGlyphRecord&>(*parsed.records[1]);
        EXPECT_EQ(back.entries[0].index, c.entries[0].index);
        EXPECT_EQ(back.entries[0].advance, c.entries[0].advance);
        EXPECT_EQ(Written(parsed), bytes);
    }
}

TEST(SwfText, RecordsPairUpAsPlayersReadThem)
{
    CTagDefineText2 tag;
    tag.characterId = 9;
    auto* first = tag.AddRecord(std::make_unique<CTextRecord>());
    first->SetFontId(4);
    first->SetTextHeight(200);
    tag.AddRecord(std::make_unique<CTextRecord>())->SetXOffset(0);  // flag set, offset 0
    auto* many = tag.AddRecord(std::make_unique<CTextGlyphRecord>());
    for (int i = 0; i < 130; ++i) many->AddGlyph(1, 1);
    const Bytes bytes = Written(tag);
    // Style, count 0, style with x offset, 127 glyphs, empty style, 3 glyphs, end.
    const size_t records = 6 + 12;  // long header, id, bounds, matrix, bit widths
    EXPECT_EQ(Bytes(bytes.begin() + records, bytes.begin() + records + 10),
              Bytes({0x88, 0x04, 0x00, 0xC8, 0x00, 0x00, 0x81, 0x00, 0x00, 127}));
    EXPECT_EQ(Bytes(bytes.end() - 5, bytes.end()), Bytes({0x80, 0x03, 0xB6, 0x80, 0x00}));

    CTagDefineText2 parsed;
    ParseTag(parsed, bytes);
    ASSERT_EQ(parsed.records.size(), 5u);
    EXPECT_EQ(dynamic_cast<const CTextGlyphRecord&>(*parsed.records[2]).entries.size(), 127u);
    EXPECT_EQ(Written(parsed), bytes);

    // A style record whose offsets are 0 and unflagged writes neither.
    CTextRecord plain;
    plain.SetFontId(1);
    EXPECT_EQ(Written(plain), Bytes({0x88, 0x01, 0x00, 0x00, 0x00}));

    parsed.OffsetIds(10, 0, 0);
    EXPECT_EQ(parsed.characterId, 19);
    EXPECT_EQ(dynamic_cast<const CTextRecord&>(*parsed.records[0]).fontId, 14);
    EXPECT_EQ(dynamic_cast<const CTextRecord&>(*parsed.records[1]).fontId, 0);
}

TEST(SwfText, EditTextBothWays)
{
    const Bytes rect = {0x60, 0x00, 0x3E, 0x80, 0x00, 0x0C, 0x80};
    CTagDefineEditText field;
    field.Setup(5, std::make_unique<CSwfRGBA>(0, 0, 255, 255), "pct");
    field.bounds = std::make_unique<CSwfRect>();
    field.bounds->Set(0, 0, 2000, 400, false);
    field.flags |= swf_edit::kHasText | swf_edit::kReadOnly | swf_edit::kHasFont | swf_edit::kNoSelect;
    field.fontId = 1;
    field.fontHeight = 240;
    field.initialText = "0%";
    const Bytes body = Cat({{0x05, 0x00},
                            rect,
                            {0x8D, 0x10, 0x01, 0x00, 0xF0, 0x00, 0x00, 0x00, 0xFF, 0xFF, 'p', 'c', 't', 0x00, '0', '%', 0x00}});
    const Bytes bytes = Cat({{uint8_t(0x40 | body.size()), 0x09}, body});
    EXPECT_EQ(Written(field), bytes);

    // Parsed flags stay as read: a field with a font but no layout block
    // is written back without one.
    CTagDefineEditText parsed;
    EXPECT_EQ(ParseTag(parsed, bytes), int(body.size()));
    EXPECT_EQ(Written(parsed), bytes);

    // Layout and max length; no text flag: no initial text, not even its zero byte.
    CTagDefineEditText laid;
    laid.characterId = 2;
    laid.flags = swf_edit::kHasLayout | swf_edit::kHasMaxLength;
    laid.maxLength = 8;
    laid.align = 2;
    laid.leading = 40;
    laid.initialText = "ignored";
    const Bytes laidBody = {0x02, 0x00, 0x08, 0x00, 0x02, 0x20, 0x08, 0x00, 0x02, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00};
    EXPECT_EQ(Written(laid), Cat({{uint8_t(0x40 | laidBody.size()), 0x09}, laidBody}));
    CTagDefineEditText laidBack;
    ParseTag(laidBack, Written(laid));
    EXPECT_EQ(Written(laidBack), Written(laid));

    parsed.OffsetIds(3, 0, 0);
    EXPECT_EQ(parsed.characterId, 8);
    EXPECT_EQ(parsed.fontId, 4);
    laid.OffsetIds(3, 0, 0);
    EXPECT_EQ(laid.fontId, 0);
}

}  // namespace
