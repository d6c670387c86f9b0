#include <gtest/gtest.h>

#include "swf/shapes.h"
#include "swf_bytes.h"

namespace {

// BuildRect(0, 0, 2000, 1000) with a red fill and a black 1-pixel line.
const Bytes kRectShape = {0xA2, 0x00, 0x01, 0x00, 0x60, 0x00, 0x3E, 0x80, 0x00, 0x1F, 0x40, 0x01,
                          0x00, 0xFF, 0x00, 0x00, 0x01, 0x14, 0x00, 0x00, 0x00, 0x00, 0x11, 0x34,
                          0x27, 0xD0, 0xFA, 0x1C, 0xAF, 0xA3, 0xA2, 0x0C, 0x39, 0x60, 0xC0, 0x00};

std::unique_ptr<CTagDefineShape> RectTag(std::unique_ptr<CTagDefineShape> tag)
{
    tag->characterId = 1;
    tag->BuildRect(0, 0, 2000, 1000, CFillStyle::MakeSolid(0x0000FF), CLineStyle::Make(20, 0));
    return tag;
}

template <class Record>
const Record& RecordAt(const CShape& shape, size_t i)
{
    return dynamic_cast<const Record&>(*shape.records.at(i));
}

TEST(SwfShapes, ShapeTagsBothWays)
{
    auto tag = RectTag(std::make_unique<CTagDefineShape>());
    EXPECT_EQ(Written(*tag), kRectShape);

    CTagDefineShape parsed;
    EXPECT_EQ(ParseTag(parsed, kRectShape), int(kRectShape.size()) - 2);
    ASSERT_TRUE(parsed.shape);
    EXPECT_EQ(parsed.shape->records.size(), 6u);
    EXPECT_EQ(Written(parsed), kRectShape);

    // Copies write the same bytes.
    CTagDefineShape copy;
    copy.CopyFrom(parsed);
    EXPECT_EQ(Written(copy), kRectShape);
}

TEST(SwfShapes, RgbaOnlyInDefineShape3)
{
    // The same drawing in the three tags: only code 32 carries alpha bytes.
    auto shape1 = RectTag(std::make_unique<CTagDefineShape>());
    auto shape2 = RectTag(std::make_unique<CTagDefineShape2>());
    auto shape3 = RectTag(std::make_unique<CTagDefineShape3>());
    const Bytes b1 = Written(*shape1), b2 = Written(*shape2), b3 = Written(*shape3);
    EXPECT_EQ(b2[0] | (b2[1] << 8), (22 << 6) | int(b1.size() - 2));
    EXPECT_TRUE(std::equal(b1.begin() + 2, b1.end(), b2.begin() + 2));
    ASSERT_EQ(b3.size(), b1.size() + 2);
    // fill: 00 FF 00 00 FF; line: 14 00 00 00 00 FF
    const Bytes styles3 = {0x01, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x01, 0x14, 0x00, 0x00, 0x00, 0x00, 0xFF};
    EXPECT_TRUE(std::equal(styles3.begin(), styles3.end(), b3.begin() + 11));

    CTagDefineShape3 parsed3;
    ParseTag(parsed3, b3);
    const auto* rgba = dynamic_cast<const CSwfRGBA*>(parsed3.shape->fillStyles->styles[0]->colour.get());
    ASSERT_TRUE(rgba);
    EXPECT_EQ(rgba->a, 0xFF);
    EXPECT_EQ(Written(parsed3), b3);
    CTagDefineShape2 parsed2;
    ParseTag(parsed2, b2);
    EXPECT_FALSE(dynamic_cast<const CSwfRGBA*>(parsed2.shape->lineStyles->styles[0]->colour.get()));
    EXPECT_EQ(Written(parsed2), b2);

    // RGBA colours handed to a DefineShape are written as RGB.
    CTagDefineShape mixed;
    mixed.characterId = 1;
    mixed.BuildRect(0, 0, 2000, 1000, CFillStyle::MakeSolid(0x0000FF, 1), CLineStyle::Make(20, 0, 1));
    EXPECT_EQ(Written(mixed), kRectShape);
}

TEST(SwfShapes, RecordEdgeCases)
{
    // An empty DefineShape: no styles (bytes 0 and 0), bit counts 0, end record.
    CTagDefineShape empty;
    empty.characterId = 3;
    empty.shape = std::make_unique<CShapeWithStyle>();
    empty.shape->AddEnd();
    empty.bounds = std::make_unique<CSwfRect>();
    EXPECT_EQ(Written(empty), Bytes({0x88, 0x00, 0x03, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00}));
    CTagDefineShape bare;  // no shape, no bounds: still a well-formed tag
    bare.characterId = 3;
    EXPECT_EQ(Written(bare), Written(empty));

    // A move-to (0, 0) with its flag takes 1 bit per coordinate; a straight
    // edge with both deltas 0 takes the smallest width.
    CShape glyph;
    glyph.SetBits(0, 0);
    glyph.AddRecord(std::make_unique<CShapeRecordStyleChange>(swf_shape::kMoveTo, &glyph));
    glyph.AddLine(0, 0);
    glyph.AddEnd();
    EXPECT_EQ(Written(glyph), Bytes({0x00, 0x04, 0x26, 0x10, 0x00}));

    CShape parsed;
    ParseBody(parsed, {0x00, 0x04, 0x26, 0x10, 0x00});
    ASSERT_EQ(parsed.records.size(), 3u);
    EXPECT_EQ(RecordAt<CShapeRecordStraightEdge>(parsed, 1).kind, swf_shape::kGeneral);
    EXPECT_EQ(RecordAt<CShapeRecordStraightEdge>(parsed, 1).numBits, 0);

    CShapeRecordStyleChange flags;
    flags.ComputeFlags();
    EXPECT_EQ(flags.flags, 0u);
    flags.moveY = -1;
    flags.fillStyle0 = 2;
    flags.newLineStyles = std::make_unique<CLineStyleArray>();
    flags.ComputeFlags();
    EXPECT_EQ(flags.flags, uint32_t(swf_shape::kNewStyles | swf_shape::kFillStyle0 | swf_shape::kMoveTo));
}

TEST(SwfShapes, NewStylesSwitchTheIndexWidths)
{
    // Header widths 1/0; a style change brings a one-style fill array and no
    // line array (written as 0); the next record uses the new widths.
    const Bytes bytes = {0x10, 0x4A, 0x01, 0x00, 0x01, 0x02, 0x03, 0x00, 0x10, 0x0A, 0x00};
    CShape shape;
    shape.SetBits(1, 0);
    auto* change = shape.AddRecord(std::make_unique<CShapeRecordStyleChange>(0, &shape));
    change->fillStyle0 = 1;
    change->newFillStyles = std::make_unique<CFillStyleArray>();
    change->newFillStyles->Append(CFillStyle::MakeSolid(0x030201));
    change->ComputeFlags();
    auto* next = shape.AddRecord(std::make_unique<CShapeRecordStyleChange>(0, &shape));
    next->fillStyle0 = 1;
    next->ComputeFlags();
    shape.AddEnd();
    EXPECT_EQ(Written(shape), bytes);
    EXPECT_EQ(Written(shape), bytes) << "a shape writes the same bytes twice";

    CShape parsed;
    parsed.alpha = 0;
    EXPECT_EQ(ParseBody(parsed, bytes), int(bytes.size()));
    EXPECT_EQ(parsed.currentFillBits, parsed.numFillBits);
    EXPECT_EQ(parsed.currentLineBits, parsed.numLineBits);
    const auto& first = RecordAt<CShapeRecordStyleChange>(parsed, 0);
    ASSERT_TRUE(first.newFillStyles);
    EXPECT_EQ(first.newFillStyles->styles[0]->colour->GetPacked(), 0x030201u);
    EXPECT_EQ(Written(parsed), bytes);

    // An index wider than its bit count fails the stream instead of wrapping.
    CShape narrow;
    narrow.SetBits(1, 0);
    auto* wide = narrow.AddRecord(std::make_unique<CShapeRecordStyleChange>(0, &narrow));
    wide->fillStyle1 = 2;
    wide->ComputeFlags();
    CSwfStream s;
    narrow.Write(s);
    EXPECT_TRUE(s.Failed());
}

// Index widths set wider than the styles need are written as set (some
// drawings are laid down with 15-bit indices); narrower ones grow to fit.
TEST(SwfShapes, WideIndexWidthsAreKept)
{
    const struct {
        uint8_t fill, line;  // as set
        uint8_t writtenFill, writtenLine;
    } rows[] = {{0, 0, 1, 1}, {15, 0, 15, 1}, {0, 15, 1, 15}, {3, 2, 3, 2}};
    for (const auto& row : rows) {
        CShapeWithStyle shape;
        shape.fillStyles = std::make_unique<CFillStyleArray>();
        shape.fillStyles->Append(CFillStyle::MakeSolid(0x0000FF));
        shape.lineStyles = std::make_unique<CLineStyleArray>();
        shape.lineStyles->Append(CLineStyle::Make(20, 0));
        shape.SetBits(row.fill, row.line);
        CShapeRecordStyleChange* start = shape.AddMoveTo(10, 10);
        start->fillStyle1 = 1;
        start->lineStyle = 1;
        start->ComputeFlags();
        shape.AddLine(100, 50);
        shape.AddEnd();
        const Bytes bytes = Written(shape);
        CShapeWithStyle parsed;
        EXPECT_EQ(ParseBody(parsed, bytes), int(bytes.size()));
        EXPECT_EQ(parsed.numFillBits, row.writtenFill) << int(row.fill);
        EXPECT_EQ(parsed.numLineBits, row.writtenLine) << int(row.line);
        ASSERT_EQ(parsed.records.size(), 3u);
        const auto& move = RecordAt<CShapeRecordStyleChange>(parsed, 0);
        EXPECT_TRUE(move.fillStyle1 == 1 && move.lineStyle == 1 && move.moveX == 10);
        EXPECT_EQ(Written(parsed), bytes);
    }
}

TEST(SwfShapes, LongEdgesAreSplitNotWrapped)
{
    struct Case {
        const char* what;
        std::unique_ptr<CShapeRecord> edge;
        int64_t x, y;  // where the pen must end
        size_t pieces;
    };
    Case cases[] = {
        {"fits", std::make_unique<CShapeRecordStraightEdge>(65535, -65535, swf_shape::kGeneral), 65535, -65535, 1},
        {"horizontal", std::make_unique<CShapeRecordStraightEdge>(200000, 0, swf_shape::kHorizontal), 200000, 0, 4},
        {"general", std::make_unique<CShapeRecordStraightEdge>(-70000, 3, swf_shape::kGeneral), -70000, 3, 2},
        {"extreme", std::make_unique<CShapeRecordStraightEdge>(0, INT32_MIN, swf_shape::kVertical), 0, 0, 1},
        {"curve", std::make_unique<CShapeRecordCurvedEdge>(100000, 0, 0, -100001), 100000, -100001, 2},
    };
    cases[3].y = INT32_MIN;
    cases[3].pieces = 32769;
    for (Case& c : cases) {
        CShape shape;
        shape.records.push_back(std::move(c.edge));
        shape.AddEnd();
        CSwfStream s;
        shape.Write(s);
        EXPECT_FALSE(s.Failed()) << c.what;
        CShape back;
        ParseBody(back, s.GetBuffer());
        ASSERT_EQ(back.records.size(), c.pieces + 1) << c.what;
        int64_t x = 0, y = 0;
        for (const auto& r : back.records) {
            if (auto* e = dynamic_cast<const CShapeRecordStraightEdge*>(r.get())) {
                EXPECT_LE(std::max(std::llabs(e->dx), std::llabs(e->dy)), swf_shape::kMaxEdgeDelta) << c.what;
                x += e->dx;
                y += e->dy;
            } else if (auto* q = dynamic_cast<const CShapeRecordCurvedEdge*>(r.get())) {
                for (int32_t d : {q->controlDx, q->controlDy, q->anchorDx, q->anchorDy})
                    EXPECT_LE(std::llabs(d), swf_shape::kMaxEdgeDelta) << c.what;
                x += int64_t(q->controlDx) + q->anchorDx;
                y += int64_t(q->controlDy) + q->anchorDy;
            }
        }
        EXPECT_EQ(x, c.x) << c.what;
        EXPECT_EQ(y, c.y) << c.what;
    }
}

TEST(SwfShapes, OffsetIdsRenumbersBitmapFills)
{
    CSwfMatrix m;
    CTagDefineShape tag;
    tag.characterId = 10;
    tag.BuildRect(0, 0, 20, 20, CFillStyle::MakeBitmap(4, m, false), nullptr);
    tag.shape->fillStyles->Append(CFillStyle::MakeBitmap(kSwfNoBitmapId, m, true));
    auto* change = tag.shape->AddRecord(std::make_unique<CShapeRecordStyleChange>(0, tag.shape.get()));
    change->newFillStyles = std::make_unique<CFillStyleArray>();
    change->newFillStyles->Append(CFillStyle::MakeBitmap(6, m, true));
    tag.OffsetIds(100, 5, 5);
    EXPECT_EQ(tag.characterId, 110);
    EXPECT_EQ(tag.shape->fillStyles->styles[0]->bitmapId, 104);
    EXPECT_EQ(tag.shape->fillStyles->styles[1]->bitmapId, kSwfNoBitmapId);
    EXPECT_EQ(change->newFillStyles->styles[0]->bitmapId, 106);

    // A copy is deep: renumbering the copy leaves the source alone.
    CTagDefineShape copy;
    copy.CopyFrom(tag);
    copy.OffsetIds(1, 0, 0);
    EXPECT_EQ(tag.shape->fillStyles->styles[0]->bitmapId, 104);
    EXPECT_EQ(copy.shape->fillStyles->styles[0]->bitmapId, 105);
    const auto& copied = RecordAt<CShapeRecordStyleChange>(*copy.shape, 0);
    EXPECT_EQ(copied.owner, copy.shape.get());
}

}  // namespace
