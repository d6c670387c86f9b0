#include <gtest/gtest.h>

#include "swf/morph.h"
#include "swf_bytes.h"

namespace {

// Id 5; bounds empty → 100×100; a solid fill red → half-transparent blue; a
// line 20 → 40; start edges: fill 0 = 1, line = 1, edge (10, 10); end edges:
// edge (20, -20). The offset 28 spans styles and start edges.
const Bytes kMorphBody = {0x05, 0x00, 0x08, 0x00, 0x40, 0x03, 0x20, 0x03, 0x20, 0x1C, 0x00, 0x00, 0x00, 0x01, 0x00, 0xFF,
                          0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x80, 0x01, 0x14, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0xFF,
                          0x01, 0x02, 0x03, 0x04, 0x11, 0x2B, 0xCE, 0xA5, 0x00, 0x00, 0xD2, 0xA5, 0x80, 0x00};

Bytes Tag46(const Bytes& body) { return Cat({{uint8_t(0x80 | (body.size() < 63 ? 0x2E : 0x3F)), 0x0B}, body}); }

std::unique_ptr<CTagDefineMorphShape> BuildMorph()
{
    auto tag = std::make_unique<CTagDefineMorphShape>();
    tag->characterId = 5;
    tag->startBounds = std::make_unique<CSwfRect>();
    tag->endBounds = std::make_unique<CSwfRect>();
    tag->endBounds->Set(0, 0, 100, 100, false);
    tag->fillStyles = std::make_unique<CMorphFillStyleArray>();
    auto fill = std::make_unique<CMorphFillStyle>();
    fill->startColor = std::make_unique<CSwfRGBA>(255, 0, 0, 255);
    fill->endColor = std::make_unique<CSwfRGBA>(0, 0, 255, 128);
    tag->fillStyles->styles.push_back(std::move(fill));
    tag->lineStyles = std::make_unique<CMorphLineStyleArray>();
    auto line = std::make_unique<CMorphLineStyle>();
    line->startWidth = 20;
    line->endWidth = 40;
    line->startColor = std::make_unique<CSwfRGBA>(0, 0, 0, 255);
    line->endColor = std::make_unique<CSwfRGBA>(1, 2, 3, 4);
    tag->lineStyles->styles.push_back(std::move(line));
    tag->startEdges = std::make_unique<CShape>();
    tag->startEdges->SetBits(1, 1);
    auto* change = tag->startEdges->AddRecord(std::make_unique<CShapeRecordStyleChange>(0, tag->startEdges.get()));
    change->fillStyle0 = 1;
    change->lineStyle = 1;
    change->ComputeFlags();
    tag->startEdges->AddLine(10, 10);
    tag->startEdges->AddEnd();
    tag->endEdges = std::make_unique<CShape>();
    tag->endEdges->AddLine(20, -20);
    tag->endEdges->AddEnd();
    return tag;
}

TEST(SwfMorph, TagBothWays)
{
    auto tag = BuildMorph();
    const Bytes bytes = Tag46(kMorphBody);
    EXPECT_EQ(Written(*tag), bytes);

    CTagDefineMorphShape parsed;
    EXPECT_EQ(ParseTag(parsed, bytes), int(kMorphBody.size()));
    EXPECT_EQ(parsed.offset, 28u);
    EXPECT_EQ(Written(parsed), bytes);
}

TEST(SwfMorph, ParseFollowsTheOffsetToTheEndEdges)
{
    // Two stray bytes after the start edges, counted in the offset.
    Bytes body = kMorphBody;
    body[9] += 2;
    body.insert(body.begin() + 41, {0xEE, 0xEE});
    CTagDefineMorphShape parsed;
    EXPECT_EQ(ParseTag(parsed, Tag46(body)), int(body.size()));
    EXPECT_EQ(Written(parsed), Tag46(kMorphBody));

    // An offset pointing past the tag is not followed.
    Bytes wild = kMorphBody;
    wild[12] = 0x7F;
    CTagDefineMorphShape bounded;
    ParseTag(bounded, Tag46(wild));
    ASSERT_TRUE(bounded.endEdges);
    EXPECT_EQ(dynamic_cast<const CShapeRecordStraightEdge&>(*bounded.endEdges->records[0]).dx, 20);
}

TEST(SwfMorph, GradientsBitmapsAndLargeArrays)
{
    auto tag = BuildMorph();
    tag->fillStyles->styles.clear();
    for (int i = 0; i < 300; ++i) {
        auto fill = std::make_unique<CMorphFillStyle>();
        fill->type = i % 2 ? swf_fill::kLinearGradient : swf_fill::kClippedBitmap;
        fill->bitmapId = i == 0 ? kSwfNoBitmapId : uint16_t(i);
        fill->startMatrix = std::make_unique<CSwfMatrix>();
        fill->endMatrix = std::make_unique<CSwfMatrix>();
        fill->endMatrix->translateX = 40;
        fill->gradient = std::make_unique<CMorphGradient>();
        auto record = std::make_unique<CMorphGradRecord>();
        record->startRatio = 7;
        record->endRatio = 250;
        record->startColor = std::make_unique<CSwfRGBA>(1, 2, 3, 4);
        record->endColor = std::make_unique<CSwfRGBA>(5, 6, 7, 8);
        fill->gradient->records.push_back(std::move(record));
        tag->fillStyles->styles.push_back(std::move(fill));
    }
    const Bytes bytes = Written(*tag);
    // Header 6, id 2, bounds 2 + 5, offset 4: the fill array starts at 19.
    EXPECT_EQ(Bytes(bytes.begin() + 19, bytes.begin() + 22), Bytes({0xFF, 0x2C, 0x01}));

    CTagDefineMorphShape parsed;
    ParseTag(parsed, bytes);
    ASSERT_EQ(parsed.fillStyles->GetCount(), 300);
    const CMorphGradRecord& record = *parsed.fillStyles->styles[1]->gradient->records[0];
    EXPECT_EQ(record.startRatio, 7);
    EXPECT_EQ(record.endRatio, 250);
    EXPECT_EQ(record.endColor->a, 8);
    EXPECT_EQ(parsed.fillStyles->styles[2]->endMatrix->translateX, 40);
    EXPECT_EQ(Written(parsed), bytes);

    parsed.OffsetIds(10, 0, 0);
    EXPECT_EQ(parsed.characterId, 15);
    EXPECT_EQ(parsed.fillStyles->styles[0]->bitmapId, kSwfNoBitmapId);
    EXPECT_EQ(parsed.fillStyles->styles[2]->bitmapId, 12);
}

}  // namespace
