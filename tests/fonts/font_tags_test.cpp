#include <gtest/gtest.h>

#include "dejavu.h"
#include "fonts/font_manager.h"
#include "fonts/font_tags.h"
#include "swf/movie.h"
#include "swf/swf_bytes.h"

namespace {

// Counts the glyph's records by kind and straight edges by form.
struct RecordCounts {
    int moves = 0, curves = 0, general = 0, horizontal = 0, vertical = 0, ends = 0;
    bool operator==(const RecordCounts&) const = default;
};

CSwfRect Rect(int xmin, int xmax, int ymin, int ymax)
{
    CSwfRect r;
    r.xmin = xmin, r.xmax = xmax, r.ymin = ymin, r.ymax = ymax;
    return r;
}

RecordCounts Count(const CShape& glyph)
{
    RecordCounts n;
    for (const auto& r : glyph.records) {
        switch (r->GetType()) {
            case swf_shape::kStyleChange:
                ++n.moves;
                break;
            case swf_shape::kCurvedEdge:
                ++n.curves;
                break;
            case swf_shape::kEnd:
                ++n.ends;
                break;
            case swf_shape::kStraightEdge: {
                const uint8_t kind = static_cast<const CShapeRecordStraightEdge&>(*r).kind;
                (kind == swf_shape::kHorizontal ? n.horizontal
                 : kind == swf_shape::kVertical ? n.vertical
                                                : n.general)++;
                break;
            }
        }
    }
    return n;
}

TEST(FontTag, DejaVuSansGoldens)
{
    REQUIRE_DEJAVU();
    auto tag = BuildFontTag(dejavu::Font(32), "A T_O", 7, false);
    ASSERT_EQ(tag->glyphs.size(), 5u);
    EXPECT_EQ(tag->GetCharacterId(), 7);
    EXPECT_EQ(tag->name, "DejaVu Sans");
    EXPECT_EQ(tag->flags, swf_font2::kHasLayout | swf_font2::kAnsi);
    EXPECT_EQ(std::make_tuple(tag->ascent, tag->descent, tag->leading), std::make_tuple(1328, 207, 0));
    EXPECT_EQ(tag->advances, (std::vector<int16_t>{700, 325, 625, 512, 806}));
    EXPECT_EQ(tag->codes, (std::vector<uint16_t>{'A', ' ', 'T', '_', 'O'}));
    // Records by kind, and bounds as SWF's y-down extremes at 1024 units.
    struct Case {
        RecordCounts n;
        CSwfRect bounds;
    };
    const Case cases[] = {
        {{2, 0, 6, 5, 0, 1}, Rect(8, 692, -746, 0)},
        {{0, 0, 0, 0, 0, 1}, CSwfRect()},  // the space: an end record only
        {{1, 0, 0, 4, 4, 1}, Rect(-3, 628, -746, 0)},
        {{1, 0, 0, 2, 2, 1}, Rect(-10, 522, 170, 241)},  // wholly below the baseline
        {{2, 16, 0, 0, 0, 1}, Rect(57, 748, -760, 14)},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_TRUE(Count(*tag->glyphs[i]) == cases[i].n) << i;
        EXPECT_EQ(*tag->bounds[i], cases[i].bounds) << i;
    }
}

TEST(FontTag, StyleFlagsAndAppendedId)
{
    REQUIRE_DEJAVU();
    struct Case {
        uint16_t style;
        bool appendId;
        uint8_t flags;
        std::string writtenName;
    };
    const Case cases[] = {
        {0, false, 0x90, "DejaVu Sans"},
        {qd_style::kBold, false, 0x91, "DejaVu Sans"},
        {qd_style::kItalic, true, 0x92, "DejaVu Sans3"},
        {qd_style::kBold | qd_style::kItalic, false, 0x93, "DejaVu Sans"},
    };
    for (const Case& c : cases) {
        auto tag = BuildFontTag(dejavu::Font(12, c.style), "x", 3, c.appendId);
        EXPECT_EQ(tag->flags, c.flags) << c.style;
        // Written for version 5 the flags stay; the name carries the id once.
        const Bytes bytes = Written(*tag, 5);
        CTagDefineFont2 parsed;
        ASSERT_GT(ParseTag(parsed, bytes, 5), 0);
        EXPECT_EQ(parsed.name, c.writtenName);
        EXPECT_EQ(parsed.flags, c.flags);
    }
}

TEST(FontTag, GlyphOutlineOfAnUndrawableCharacter)
{
    REQUIRE_DEJAVU();
    std::vector<std::unique_ptr<CShapeRecord>> records;
    CSwfRect bounds;
    bounds.xmax = 99;
    EXPECT_FALSE(BuildGlyphOutline(records, dejavu::Font(12), 0, bounds));
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(bounds, CSwfRect());
    // Every byte, drawable or not, in every style, writes a well-formed tag;
    // one that cannot be drawn is an empty glyph.
    std::string all;
    for (int c = 0; c < 256; ++c) all += char(c);
    for (uint16_t style : {0, 1, 2, 3}) {
        auto every = BuildFontTag(dejavu::Font(12, style), all, 1, false);
        EXPECT_TRUE(Count(*every->glyphs[0]) == RecordCounts{.ends = 1});
        CSwfStream stream(6);
        every->Write(stream);
        ASSERT_FALSE(stream.Failed()) << stream.GetError();
        CTagDefineFont2 back;
        ASSERT_GT(ParseTag(back, stream.GetBuffer(), 6), 0);
        EXPECT_EQ(back.glyphs.size(), 256u);
        EXPECT_EQ(back.advances, every->advances);
    }
}

TEST(FontManager, SharesTagsPerFamilyAndStyle)
{
    REQUIRE_DEJAVU();
    CSwfFontManager manager;
    CSwfTextFont red = dejavu::Font(20), big = dejavu::Font(40), bold = dejavu::Font(20, qd_style::kBold);
    red.color = 0x0000FF;
    manager.FindFont(red, "ba", 0);
    manager.FindFont(big, "ca", 0);
    manager.FindFont(bold, "a", 0);
    manager.FindFont(red, "d", 0);  // joins the first entry
    const auto& fonts = manager.GetFonts();
    ASSERT_EQ(fonts.size(), 3u);
    EXPECT_EQ(fonts[0]->characters, "bad");

    tavrel_test::TempDir dir;
    CSwfMovie m;
    m.SetHeader(320 * 20, 240 * 20, 12, 6);
    ASSERT_TRUE(m.Open(CPath(dir.file("m.swf").c_str()), true));
    uint16_t counter = 4;
    EXPECT_TRUE(manager.BuildFontTags(m, counter));
    EXPECT_EQ(counter, 6);
    EXPECT_EQ(manager.PreparedCount(), 2u);
    // Colour and size do not split a family and style; bold does.
    EXPECT_EQ(std::make_tuple(fonts[0]->fontId, fonts[1]->fontId, fonts[2]->fontId), std::make_tuple(5, 5, 6));
    EXPECT_EQ(fonts[1]->characters, "abcd");
    EXPECT_EQ(manager.GetGlyph('c', big), 2);
    EXPECT_EQ(manager.GetGlyph('b', bold), -1);
    EXPECT_EQ(manager.GetGlyph('a', dejavu::Font(20, qd_style::kItalic)), -1);

    CSwfTextFont unknown = dejavu::Font(20);
    unknown.attributes[1] = 9;
    // A tag goes in once, with the first of its family and style.
    const std::tuple<CSwfTextFont, int, size_t> embeds[] = {
        {red, 5, 1}, {big, 5, 1}, {red, 5, 1}, {unknown, 0, 1}, {bold, 6, 0}};
    for (const auto& [font, id, prepared] : embeds) {
        EXPECT_EQ(manager.EmbedFont(font, m), id);
        EXPECT_EQ(manager.PreparedCount(), prepared);
    }
}

TEST(FontManager, CodesAscendAsTheVersionWritesThem)
{
    REQUIRE_DEJAVU();
    // In Mac Roman 0xA5 is U+2022 and 0xD0 U+2013: byte order and UTF-16
    // order disagree, and the code table must ascend in the written form.
    struct Case {
        uint8_t version;
        std::string sorted;
        std::vector<uint16_t> written;
    };
    const Case cases[] = {
        {5, "a\xA5\xD0", {'a', 0xA5, 0xD0}},
        {6, "a\xD0\xA5", {'a', 0x2013, 0x2022}},
    };
    for (const Case& c : cases) {
        CSwfFontManager manager;
        const CSwfTextFont font = dejavu::Font(20);
        manager.FindFont(font,
                         "\xD0"
                         "a\xA5"
                         "a",
                         0);
        CSwfMovie m;
        m.SetHeader(6400, 4800, 12, c.version);
        uint16_t counter = 0;
        manager.BuildFontTags(m, counter);
        ASSERT_FALSE(manager.GetFonts().empty());
        EXPECT_EQ(manager.GetFonts()[0]->characters, c.sorted) << int(c.version);
        EXPECT_EQ(manager.GetGlyph('\xD0', font), int(c.sorted.find('\xD0')));

        auto tag = BuildFontTag(font, c.sorted, 1, false);
        CTagDefineFont2 parsed;
        ASSERT_GT(ParseTag(parsed, Written(*tag, c.version), c.version), 0);
        EXPECT_EQ(parsed.parsedCodes, c.written) << int(c.version);
    }
}

}  // namespace
