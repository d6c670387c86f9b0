#include <gtest/gtest.h>

#include "reader_movies.h"

namespace {

CTagDefineSprite* ParseSprite(CSwfReader& reader, const Bytes& bytes)
{
    reader.LoadBytes(bytes, 6);
    reader.ParseAllTags();
    const CSwfTagList& tags = reader.GetTags(nullptr);
    return tags.empty() ? nullptr : dynamic_cast<CTagDefineSprite*>(tags[0]);
}

}  // namespace

TEST(SwfSprite, WrittenBytes)
{
    CTagDefineSprite empty;
    empty.characterId = 7;
    EXPECT_EQ(Written(empty), (Bytes{0xC6, 0x09, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00}));

    CTagDefineSprite ended;
    ended.characterId = 7;
    EXPECT_TRUE(ended.AddTag(new CTagShowFrame));
    EXPECT_TRUE(ended.AddTag(new CTagShowFrame));
    EXPECT_TRUE(ended.AddTag(new CTagEnd));
    EXPECT_EQ(ended.frameCount, 2);
    EXPECT_EQ(Written(ended), (Bytes{0xCA, 0x09, 0x07, 0x00, 0x02, 0x00, 0x40, 0x00, 0x40, 0x00, 0x00, 0x00}));

    CTagDefineSprite body;
    body.characterId = 7;
    CSwfStream s(6);
    EXPECT_EQ(body.WriteBody(s, false), 6);
    EXPECT_EQ(s.GetBuffer(), (Bytes{0x07, 0x00, 0x00, 0x00, 0x00, 0x00}));

    // A body of 63 bytes or more takes the long header.
    CTagDefineSprite big;
    for (int i = 0; i < 30; ++i) big.AddTag(new CTagShowFrame);
    const Bytes bytes = Written(big);
    EXPECT_EQ(bytes[0] & 0x3F, 0x3F);
    EXPECT_EQ(bytes.size(), 6u + 4 + 60 + 2);
}

TEST(SwfSprite, AcceptsOnlyTimelineTags)
{
    CTagDefineSprite sprite;
    CTagDefineShape shape;
    EXPECT_FALSE(sprite.AddTag(&shape));
    CTagDefineSprite nested;
    EXPECT_FALSE(sprite.AddTag(&nested));
    EXPECT_FALSE(sprite.AddTag(nullptr));
    EXPECT_TRUE(sprite.tags.empty());
    EXPECT_EQ(sprite.frameCount, 0);
    for (int code : {0, 1, 3, 4, 5, 12, 15, 18, 19, 26, 28, 43, 45, 60, 61})
        EXPECT_TRUE(CTagDefineSprite::IsNestedTagCode(code)) << code;
    for (int code : {2, 6, 9, 39, 70}) EXPECT_FALSE(CTagDefineSprite::IsNestedTagCode(code)) << code;

    // The 65536th frame does not wrap the count: it is refused and the
    // sprite fails whatever it is written into.
    sprite.frameCount = 0xFFFF;
    CTagShowFrame frame;
    EXPECT_FALSE(sprite.AddTag(&frame));
    EXPECT_EQ(sprite.frameCount, 0xFFFF);
    EXPECT_TRUE(sprite.tags.empty());
    CSwfStream stream(6);
    EXPECT_EQ(sprite.Write(stream), 0);
    EXPECT_TRUE(stream.Failed());
    EXPECT_NE(stream.GetError().find("65535 frames"), std::string::npos);
}

TEST(SwfSprite, ParseReadsTheTimelineAndItsDepths)
{
    CTagDefineSprite sprite;
    sprite.characterId = 12;
    sprite.AddTag(Placement(3, 9).release());
    sprite.AddTag(Placement(4, 2).release());
    sprite.AddTag(new CTagShowFrame);
    sprite.AddTag(new CTagRemoveObject2(9));
    sprite.AddTag(new CTagShowFrame);
    const Bytes bytes = Written(sprite, 6);

    OwnedReader reader;
    CTagDefineSprite* parsed = ParseSprite(reader, bytes);
    ASSERT_NE(parsed, nullptr);
    EXPECT_EQ(parsed->characterId, 12);
    EXPECT_EQ(parsed->frameCount, 2);
    EXPECT_EQ(parsed->minDepth, 2);
    EXPECT_EQ(parsed->maxDepth, 9);
    ASSERT_EQ(parsed->tags.size(), 6u);
    EXPECT_EQ(parsed->tags.back()->GetTagCode(), swf_tag::kEnd);
    EXPECT_EQ(Written(*parsed, 6), bytes);

    CTagDefineSprite none;
    OwnedReader emptyReader;
    CTagDefineSprite* empty = ParseSprite(emptyReader, Written(none, 6));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->minDepth, -1);
    EXPECT_EQ(empty->maxDepth, -1);
}

TEST(SwfSprite, OffsetIdsMovesCharactersButNotDepths)
{
    CTagDefineSprite sprite;
    sprite.characterId = 1;
    sprite.AddTag(Placement(3, 1).release());
    sprite.AddTag(new CTagRemoveObject(3, 1));
    sprite.OffsetIds(100, 5, 0);
    EXPECT_EQ(sprite.characterId, 101);
    auto* place = static_cast<CTagPlaceObject2*>(sprite.tags[0]);
    EXPECT_EQ(place->characterId, 103);
    EXPECT_EQ(place->depth, 1);
    auto* remove = static_cast<CTagRemoveObject*>(sprite.tags[1]);
    EXPECT_EQ(remove->characterId, 103);
    EXPECT_EQ(remove->depth, 1);
}

TEST(SwfSprite, NestedSpritesAndShortBodiesStayRaw)
{
    // Sprites nested 5000 deep: only the outer one is a sprite, so the parse
    // does not recurse; the inner ones are kept as they are.
    Bytes body;
    for (int i = 0; i < 5000; ++i) {
        const uint32_t length = uint32_t(body.size()) + 6;
        body = Cat({{0xFF, 0x09}, {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), 0},
                    {uint8_t(i), 0, 1, 0}, body, {0x00, 0x00}});
    }
    OwnedReader reader;
    CTagDefineSprite* outer = ParseSprite(reader, body);
    ASSERT_NE(outer, nullptr);
    ASSERT_EQ(outer->tags.size(), 2u);
    EXPECT_NE(dynamic_cast<CTagRaw*>(outer->tags[0]), nullptr);
    EXPECT_EQ(Written(*outer, 6), body);

    // Bodies shorter than the id and frame count.
    for (const Bytes& tiny : {Bytes{0xC0, 0x09}, Bytes{0xC2, 0x09, 0x05, 0x00}, Bytes{0xC3, 0x09, 5, 0, 1}}) {
        OwnedReader r;
        CTagDefineSprite* s = ParseSprite(r, Cat({tiny, {0x40, 0x00}}));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(r.GetTags(nullptr).size(), 3u);
        EXPECT_EQ(s->tags.size(), 1u);
    }
}
