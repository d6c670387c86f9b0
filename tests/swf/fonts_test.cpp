#include <gtest/gtest.h>

#include "swf/fonts.h"
#include "swf_bytes.h"

namespace {

// A triangle glyph: move-to (0, 0) with fill 0 = 1, right 100, down 100, back.
const Bytes kGlyph = {0x10, 0x0C, 0x27, 0x61, 0x93, 0x65, 0x93, 0x6C, 0xE4, 0xE0, 0x00};
const Bytes kGlyphBox = {0x40, 0x03, 0x24, 0xE0, 0x00};

std::unique_ptr<CShape> Triangle()
{
    auto glyph = std::make_unique<CShape>();
    glyph->SetBits(1, 0);
    auto* move = glyph->AddMoveTo(0, 0);
    move->fillStyle0 = 1;
    move->SetFlags(swf_shape::kMoveTo | swf_shape::kFillStyle0);
    glyph->AddHorizontalLine(100);
    glyph->AddVerticalLine(100);
    glyph->AddLine(-100, -100);
    glyph->AddEnd();
    return glyph;
}

// A shape of `edges` 2-byte edges: 2 × edges + 2 bytes.
std::unique_ptr<CShape> Sized(int edges)
{
    auto glyph = std::make_unique<CShape>();
    for (int i = 0; i < edges; ++i) glyph->AddHorizontalLine(100);
    glyph->AddEnd();
    return glyph;
}

std::unique_ptr<CTagDefineFont2> LaidOutFont()
{
    auto font = std::make_unique<CTagDefineFont2>("Ab", 2, swf_font2::kHasLayout | swf_font2::kAnsi);
    CSwfRect box;
    box.Set(0, -100, 100, 0, false);
    font->AddGlyph(Triangle(), 0x8E, 100, box);  // Mac Roman e-acute
    font->ascent = 800;
    font->descent = 200;
    font->kerning.push_back({'A', 0x8E, -5});  // kerning codes follow the code table
    return font;
}

Bytes Font2Tag(const Bytes& body) { return Cat({{uint8_t(body.size()), 0x0C}, body}); }

TEST(SwfFonts, DefineFont2ByVersion)
{
    // Version 6: ANSI gives way to wide codes; the code becomes UTF-16.
    const Bytes v6 = Font2Tag(Cat({{0x02, 0x00, 0x84, 0x00, 0x02, 'A', 'b', 0x01, 0x00, 0x04, 0x00, 0x0F, 0x00},
                                   kGlyph,
                                   {0xE9, 0x00, 0x20, 0x03, 0xC8, 0x00, 0x00, 0x00, 0x64, 0x00},
                                   kGlyphBox,
                                   {0x01, 0x00, 'A', 0x00, 0xE9, 0x00, 0xFB, 0xFF}}));
    // Version 5: the stored flags and 8-bit codes.
    const Bytes v5 = Font2Tag(Cat({{0x02, 0x00, 0x90, 0x00, 0x02, 'A', 'b', 0x01, 0x00, 0x04, 0x00, 0x0F, 0x00},
                                   kGlyph,
                                   {0x8E, 0x20, 0x03, 0xC8, 0x00, 0x00, 0x00, 0x64, 0x00},
                                   kGlyphBox,
                                   {0x01, 0x00, 'A', 0x8E, 0xFB, 0xFF}}));
    auto font = LaidOutFont();
    EXPECT_EQ(Written(*font, 6), v6);
    EXPECT_EQ(Written(*font, 5), v5);

    for (const auto& [bytes, version] : {std::pair{v6, 6}, std::pair{v5, 5}}) {
        CTagDefineFont2 parsed;
        EXPECT_EQ(ParseTag(parsed, bytes, version), int(bytes.size() - 2));
        // Codes read as UTF-16 are written back as they are, not converted again.
        EXPECT_EQ(Written(parsed, version), bytes) << version;
    }
}

TEST(SwfFonts, DefineFont2EdgeCases)
{
    CTagDefineFont2 empty("A", 1, swf_font2::kAnsi);
    EXPECT_EQ(Written(empty), Font2Tag({0x01, 0x00, 0x10, 0x00, 0x01, 'A', 0x00, 0x00, 0x02, 0x00}));
    CTagDefineFont2 emptyBack;
    ParseTag(emptyBack, Written(empty));
    EXPECT_TRUE(emptyBack.glyphs.empty());
    EXPECT_EQ(emptyBack.name, "A");

    CTagDefineFont2 named("Arial", 3, 0);
    named.appendId = true;
    const Bytes bytes = Written(named);
    EXPECT_EQ(Bytes(bytes.begin() + 6, bytes.begin() + 13), Bytes({0x06, 'A', 'r', 'i', 'a', 'l', '3'}));

    CTagDefineFont2 reset;
    EXPECT_EQ(reset.characterId, 1);
    EXPECT_EQ(reset.flags, swf_font2::kAnsi);
    reset.OffsetIds(9, 0, 0);
    EXPECT_EQ(reset.characterId, 10);
}

TEST(SwfFonts, DefineFont2OffsetWidthAtThe65536Threshold)
{
    // One glyph of 65530 bytes puts the code table at 4 + 65530 = 65534:
    // 16-bit offsets. Two bytes more reach 65536: 32-bit offsets, glyph at 8.
    struct Case {
        int edges;
        bool wide;
        Bytes table;
    };
    const Case cases[] = {{32764, false, {0x04, 0x00, 0xFE, 0xFF}},
                          {32765, true, {0x08, 0x00, 0x00, 0x00, 0x04, 0x00, 0x01, 0x00}}};
    for (const Case& c : cases) {
        CTagDefineFont2 font("", 1, 0);
        font.glyphs.push_back(Sized(c.edges));
        font.codes.push_back('x');
        const Bytes bytes = Written(font);
        const uint8_t flags = bytes[8];  // after the 6-byte long header and the id
        EXPECT_EQ(bool(flags & swf_font2::kWideOffsets), c.wide) << c.edges;
        EXPECT_EQ(Bytes(bytes.begin() + 13, bytes.begin() + 13 + c.table.size()), c.table) << c.edges;
        EXPECT_EQ(bytes.back(), 'x') << c.edges;

        CTagDefineFont2 parsed;
        ParseTag(parsed, bytes);
        ASSERT_EQ(parsed.glyphs.size(), 1u);
        EXPECT_EQ(parsed.glyphs[0]->records.size(), size_t(c.edges) + 1);
        EXPECT_EQ(parsed.codes, std::vector<uint16_t>{'x'});
        EXPECT_EQ(Written(parsed), bytes);
    }
}

TEST(SwfFonts, DefineFontBothWays)
{
    // Id 4; offsets 4 and 4 + 11; two triangles.
    const Bytes body = Cat({{0x04, 0x00, 0x04, 0x00, 0x0F, 0x00}, kGlyph, kGlyph});
    const Bytes bytes = Cat({{uint8_t(0x80 | body.size()), 0x02}, body});
    std::vector<std::unique_ptr<CShape>> glyphs;
    glyphs.push_back(Triangle());
    glyphs.push_back(Triangle());
    CTagDefineFont font;
    font.Set({0, 11}, std::move(glyphs), 4, true);
    EXPECT_EQ(font.offsets, (std::vector<uint32_t>{4, 15}));
    EXPECT_EQ(Written(font), bytes);

    CTagDefineFont parsed;
    EXPECT_EQ(ParseTag(parsed, bytes), int(body.size()));
    EXPECT_EQ(Written(parsed), bytes);

    // Glyph 0's span holds only its bit counts: it is read there, not on
    // into glyph 1.
    const Bytes overlapping = Cat({{0x04, 0x00, 0x04, 0x00, 0x05, 0x00}, {kGlyph[0]}, kGlyph});
    CTagDefineFont cut;
    ParseTag(cut, Cat({{uint8_t(0x80 | overlapping.size()), 0x02}, overlapping}));
    ASSERT_EQ(cut.glyphs.size(), 2u);
    EXPECT_EQ(cut.glyphs[0]->records.size(), 1u);
    EXPECT_EQ(cut.glyphs[1]->records.size(), parsed.glyphs[1]->records.size());

    // Two glyphs of one offset share the outline.
    const Bytes shared = Cat({{0x04, 0x00, 0x04, 0x00, 0x04, 0x00}, kGlyph});
    CTagDefineFont twice;
    ParseTag(twice, Cat({{uint8_t(0x80 | shared.size()), 0x02}, shared}));
    ASSERT_EQ(twice.glyphs.size(), 2u);
    for (const auto& glyph : twice.glyphs) EXPECT_EQ(glyph->records.size(), parsed.glyphs[0]->records.size());
}

TEST(SwfFonts, FontInfoTags)
{
    CTagDefineFontInfo info;
    info.Set(7, "Times", "ab", swf_font_info::kAnsi);
    info.codes.push_back(0x1234);  // only its low byte fits without wide codes
    const Bytes narrow = {0x4C, 0x03, 0x07, 0x00, 0x05, 'T', 'i', 'm', 'e', 's', 0x08, 'a', 'b', 0x34};
    EXPECT_EQ(Written(info), narrow);

    CTagDefineFontInfo2 info2;
    info2.Set(7, "T", "", swf_font_info::kWideCodes);
    info2.language = 1;
    info2.codes = {0x41, 0x3042};
    const Bytes wide = {0x8A, 0x0F, 0x07, 0x00, 0x01, 'T', 0x01, 0x01, 0x41, 0x00, 0x42, 0x30};
    EXPECT_EQ(Written(info2), wide);

    CTagDefineFontInfo parsed;
    ParseTag(parsed, narrow);
    EXPECT_EQ(Written(parsed), narrow);
    CTagDefineFontInfo2 parsed2;
    ParseTag(parsed2, wide);
    EXPECT_EQ(Written(parsed2), wide);

    // The info follows its font when ids are moved.
    CTagDefineFont font;
    font.characterId = 7;
    font.OffsetIds(30, 0, 0);
    parsed2.OffsetIds(30, 0, 0);
    EXPECT_EQ(parsed2.fontId, font.characterId);
}

}  // namespace
