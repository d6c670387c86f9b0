#include <gtest/gtest.h>

#include <set>

#include "../support/swf_tools.h"
#include "../support/test_support.h"
#include "round_trip.h"
#include "swf/morph.h"
#include "swf/movie.h"
#include "swf/template_import.h"
#include "template_use.h"

namespace {

// Tags owned by the test, listed in file order.
struct TagSet {
    ~TagSet()
    {
        for (CSwfTag* tag : list) delete tag;
    }
    template <class T>
    T* Add(std::unique_ptr<T> tag)
    {
        list.push_back(tag.get());
        return tag.release();
    }
    CSwfTagList list;
};

std::unique_ptr<CTagRaw> Raw(int code, const Bytes& body)
{
    auto raw = std::make_unique<CTagRaw>(uint16_t(code), uint32_t(body.size()));
    raw->data = body;
    return raw;
}

std::unique_ptr<CTagDefineSprite> Clip(uint16_t id, std::initializer_list<uint16_t> placed)
{
    auto clip = std::make_unique<CTagDefineSprite>();
    clip->characterId = id;
    uint16_t depth = 1;
    for (uint16_t p : placed) clip->AddTag(Placement(p, depth++).release());
    clip->AddTag(new CTagShowFrame);
    return clip;
}

}  // namespace

TEST(SwfTemplate, SampleClipBringsEverythingItNeedsInFileOrder)
{
    const Bytes movie = SampleMovie();
    OwnedReader reader;
    ASSERT_TRUE(reader.OpenMemory(movie.data(), movie.size(), true, 0, true));
    CSwfTagList& tags = reader.GetTags(nullptr);

    CTagPlaceObject2* placement = FindPlacementByName("clip", tags);
    ASSERT_NE(placement, nullptr);
    auto* clip = dynamic_cast<CTagDefineSprite*>(FindCharacterById(placement->characterId, tags));
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip->characterId, 7);
    EXPECT_EQ(FindPlacementByName("none", tags), nullptr);
    EXPECT_EQ(FindCharacterById(99, tags), nullptr);

    CSwfTemplate import;
    ASSERT_TRUE(import.Load(clip, tags));
    CSwfTagList out;
    ASSERT_TRUE(import.CopyCharacters(out, true));
    // Bitmap, both shapes, the sound, the button with its sound tag, the
    // inner sprite, then the clip.
    EXPECT_EQ(Codes(out), (std::vector<int>{20, 2, 2, 14, 34, 17, 39, 39}));
    EXPECT_EQ(out.back(), clip);
    EXPECT_EQ(UseBeforeDefinition(out), "");
    EXPECT_EQ(import.firstPlacement, placement);
    ASSERT_NE(import.backgroundTag, nullptr);
    EXPECT_EQ(import.backgroundTag->GetTagCode(), swf_tag::kSetBackgroundColor);

    uint16_t maxId = 0, maxDepth = 0;
    GetMaxIds(tags, maxId, maxDepth);
    EXPECT_EQ(maxId, 7);
    EXPECT_EQ(maxDepth, 1);
}

TEST(SwfTemplate, JpegTablesAndBitsComeBeforeTheShapeThatFillsWithThem)
{
    TagSet t;
    t.Add(std::make_unique<CTagSetBackgroundColor>());
    auto tables = std::make_unique<CTagJPEGTables>();
    tables->data = {0xFF, 0xD8, 0xFF, 0xD9};
    CSwfTag* jpegTables = t.Add(std::move(tables));
    auto bits = std::make_unique<CTagDefineBits>();
    bits->characterId = 1;
    t.Add(std::move(bits));
    // The second fill uses the unsmoothed repeating kind (0x42).
    auto shape = Rect(2, 0, 0, 100, 100, BitmapFill(1));
    t.Add(Rect(3, 0, 0, 100, 100, BitmapFill(8)));
    auto lossless = BlueBitmap(8);
    CSwfTag* losslessTag = t.Add(std::move(lossless));
    shape->shape->fillStyles->styles[0]->type = swf_fill::kClippedBitmap;
    t.Add(std::move(shape));
    auto unsmoothed = Rect(4, 0, 0, 100, 100, BitmapFill(8));
    unsmoothed->shape->fillStyles->styles[0]->type = 0x42;
    t.Add(std::move(unsmoothed));
    CTagDefineSprite* clip = t.Add(Clip(10, {2, 2, 4}));

    CSwfTemplate import;
    import.Load(clip, t.list);
    CSwfTagList out;
    import.CopyCharacters(out, true);
    EXPECT_EQ(Codes(out), (std::vector<int>{8, 6, 20, 2, 2, 39}));
    EXPECT_EQ(out[0], jpegTables);
    // A clip placing the DefineBits itself brings the tables too (and what
    // the template's other clip places).
    CTagDefineSprite* direct = t.Add(Clip(11, {1}));
    import.Load(direct, t.list);
    CSwfTagList bitsOut;
    import.CopyCharacters(bitsOut, false);
    EXPECT_EQ(Codes(bitsOut), (std::vector<int>{8, 6, 20, 2, 2}));
    EXPECT_EQ(out[2], losslessTag);
    // Two placements of shape 2 add it once.
    EXPECT_EQ(std::count(out.begin(), out.end(), t.list[5]), 1);
    EXPECT_EQ(UseBeforeDefinition(out), "");
}

TEST(SwfTemplate, ButtonsBringTheirFontsSoundsAndColourTransforms)
{
    TagSet t;
    // Font 5 and its info, kept raw, as a text that sets font 5 is.
    t.Add(std::make_unique<CTagDefineSound>())->characterId = 1;
    CSwfTag* font = t.Add(Raw(swf_tag::kDefineFont, {5, 0, 2, 0, 0}));
    CSwfTag* info = t.Add(Raw(swf_tag::kDefineFontInfo, {5, 0, 1, 'A', 0}));
    // DefineText 6: bounds and matrix of 0 bits, 8-bit glyph and advance
    // fields, one record setting font 5, one glyph.
    t.Add(Raw(swf_tag::kDefineText, {6, 0, 0x00, 0x00, 8, 8, 0x88, 5, 0, 240, 0, 1, 0, 100, 0}));
    auto button = std::make_unique<CTagDefineButton>();
    button->characterId = 7;
    button->AddRecord(new CSwfButtonRecord(0x0F, 6, 1));
    button->AddRecord(new CSwfButtonRecord(0x08, 8, 2));
    t.Add(std::move(button));
    auto cxform = std::make_unique<CTagDefineButtonCxform>();
    cxform->characterId = 7;
    CSwfTag* cxformTag = t.Add(std::move(cxform));
    auto sound = std::make_unique<CTagDefineButtonSound>();
    sound->characterId = 7;
    sound->soundIds[2] = 1;
    CSwfTag* soundTag = t.Add(std::move(sound));
    // Button 8 places button 7 and itself: the collection still ends.
    auto outer = std::make_unique<CTagDefineButton2>();
    outer->characterId = 8;
    outer->AddRecord(new CSwfButtonRecord(0x0F, 7, 1));
    outer->AddRecord(new CSwfButtonRecord(0x0F, 8, 2));
    t.Add(std::move(outer));
    CTagDefineSprite* clip = t.Add(Clip(9, {8}));

    CSwfTemplate import;
    import.Load(clip, t.list);
    CSwfTagList out;
    import.CopyCharacters(out, true);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[0], font);
    EXPECT_EQ(out[1], info);
    EXPECT_EQ(Codes(out), (std::vector<int>{10, 13, 14, 11, 7, 23, 17, 34, 39}));
    EXPECT_NE(std::find(out.begin(), out.end(), cxformTag), out.end());
    EXPECT_NE(std::find(out.begin(), out.end(), soundTag), out.end());
    EXPECT_EQ(import.fontIds, std::vector<uint16_t>{5});

    // The same template read back: fonts, infos and texts in their classes.
    const Bytes movie = PlainMovie(WriteTags(t.list, 6), 1);
    OwnedReader reader;
    ASSERT_TRUE(reader.OpenMemory(movie.data(), movie.size(), true, 0, true));
    CSwfTagList& tags = reader.GetTags(nullptr);
    EXPECT_EQ(dynamic_cast<CTagRaw*>(tags[1]), nullptr);
    EXPECT_EQ(dynamic_cast<CTagRaw*>(tags[3]), nullptr);
    CSwfTemplate parsed;
    parsed.Load(dynamic_cast<CTagDefineSprite*>(FindCharacterById(9, tags)), tags);
    CSwfTagList parsedOut;
    parsed.CopyCharacters(parsedOut, true);
    EXPECT_EQ(Codes(parsedOut), (std::vector<int>{10, 13, 14, 11, 7, 23, 17, 34, 39}));
}

TEST(SwfTemplate, MorphShapeBitmapFillsAreCollected)
{
    TagSet t;
    t.Add(BlueBitmap(3));
    auto morph = std::make_unique<CTagDefineMorphShape>();
    morph->characterId = 4;
    morph->fillStyles = std::make_unique<CMorphFillStyleArray>();
    auto fill = std::make_unique<CMorphFillStyle>();
    fill->type = swf_fill::kRepeatingBitmap;
    fill->bitmapId = 3;
    morph->fillStyles->styles.push_back(std::move(fill));
    t.Add(std::move(morph));
    CTagDefineSprite* clip = t.Add(Clip(5, {4}));
    CSwfTemplate import;
    import.Load(clip, t.list);
    CSwfTagList out;
    import.CopyCharacters(out, true);
    EXPECT_EQ(Codes(out), (std::vector<int>{20, 46, 39}));
}

TEST(SwfTemplate, LookUpsSearchInsideSprites)
{
    TagSet t;
    auto outer = Clip(1, {});
    auto middle = Clip(2, {});
    auto inner = Clip(3, {});
    CTagPlaceObject2* named = Placement(4, 65535, "deep").release();
    inner->tags.insert(inner->tags.begin(), named);
    // Sprites do not take sprites; lists built by hand can hold them.
    middle->tags.insert(middle->tags.begin(), inner.release());
    outer->tags.insert(outer->tags.begin(), middle.release());
    t.Add(std::move(outer));
    EXPECT_EQ(FindPlacementByName("deep", t.list), named);
    ASSERT_NE(FindCharacterById(3, t.list), nullptr);
    EXPECT_EQ(FindCharacterById(3, t.list)->GetTagCode(), swf_tag::kDefineSprite);

    TagSet top;
    top.Add(Placement(4, 65535));
    uint16_t maxId = 0, maxDepth = 9;
    GetMaxIds(top.list, maxId, maxDepth);
    EXPECT_EQ(maxDepth, 0);
    EXPECT_EQ(maxId, 4);

    CSwfTagIndex index;
    TagSet timeline;
    timeline.Add(Placement(1, 3));
    timeline.Add(std::make_unique<CTagShowFrame>());
    timeline.Add(std::make_unique<CTagRemoveObject2>(3));
    timeline.Add(Placement(1, 3));
    index.Build(timeline.list);
    EXPECT_EQ(index.frameCount, 1);
    EXPECT_EQ(index.GetTimeline(3, 0).size(), 1u);
    EXPECT_EQ(index.GetTimeline(3, 1).size(), 2u);
    EXPECT_TRUE(index.GetTimeline(4, 0).empty());
}

TEST(SwfTemplate, ClipComesBeforeTheSpritesThatPlaceItAndRawCharactersCome)
{
    // Shape 1, raw DefineShape4 5 and DefineFont3 6 (kept raw, id first),
    // the clip 2 placing 1 and 5, sprite 3 placing the clip, sprite 4 placing 3.
    const Bytes rawShape = {0x05, 0x00, 0x00, 0x00, 0x00};  // id, two empty RECTs, flags
    for (const bool bitmapFill : {false, true}) {
        TagSet t;
        t.Add(Rect(1, 0, 0, 10, 10, CFillStyle::MakeSolid(0xFF)));
        Bytes body = rawShape;
        // One clipped bitmap fill of bitmap 9: its id lies inside the body.
        if (bitmapFill) body = Cat({body, {0x01, 0x41, 0x09, 0x00, 0x00}});
        else body.push_back(0x00);
        CTagRaw* shape4 = t.Add(Raw(83, body));
        t.Add(Raw(75, {0x06, 0x00, 0x00}));
        CTagDefineSprite* clip = t.Add(Clip(2, {1, 5}));
        t.Add(Clip(3, {2}));
        t.Add(Clip(4, {3}));
        CSwfTemplate import;
        if (bitmapFill) {
            EXPECT_FALSE(import.Load(clip, t.list));
            EXPECT_NE(import.error.find("DefineShape4"), std::string::npos) << import.error;
            continue;
        }
        ASSERT_TRUE(import.Load(clip, t.list)) << import.error;
        CSwfTagList out;
        import.CopyCharacters(out, true);
        EXPECT_EQ(Codes(out), (std::vector<int>{2, 83, 39, 39}));
        EXPECT_EQ(out[2], clip);
        EXPECT_EQ(UseBeforeDefinition(out), "");
        uint16_t maxId = 0, maxDepth = 0;
        GetMaxIds(t.list, maxId, maxDepth);
        EXPECT_EQ(maxId, 6);
        // The raw shape moves with the placements of it.
        OffsetAllIds(out, 100, 0, 0);
        EXPECT_EQ(IdOf(shape4), 105);
        EXPECT_EQ(UseBeforeDefinition(out), "");
    }
}

// The users' sequence: parse a template we wrote, import the clip into a new
// movie after ids of its own, place it, and have the checkers look.
TEST(SwfTemplate, ImportedClipIsAValidMovieThatPlays)
{
    tavrel_test::TempDir dir;
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("template.swf"), AsString(SampleMovie())));
    OwnedReader reader;
    ASSERT_TRUE(reader.Parse(CPath(dir.file("template.swf")), true, 0, true));
    CSwfTagList& tags = reader.GetTags(nullptr);
    CTagPlaceObject2* placement = FindPlacementByName("clip", tags);
    ASSERT_NE(placement, nullptr);
    auto* clip = dynamic_cast<CTagDefineSprite*>(FindCharacterById(placement->characterId, tags));
    ASSERT_NE(clip, nullptr);
    CSwfTemplate import;
    import.Load(clip, tags);
    CSwfTagList out;
    import.CopyCharacters(out, true);

    CSwfMovie movie;
    movie.SetHeader(4000, 2000, 12, 6);
    ASSERT_TRUE(movie.Open(dir.file("out.swf"), true));
    movie.AddTag(new CTagSetBackgroundColor(255, 255, 255));
    // Characters of the movie's own take ids 1 and 2.
    movie.AddTag(BlueBitmap(1).release());
    movie.AddTag(Rect(2, 3000, 1000, 500, 500, CFillStyle::MakeSolid(0x00FF00)).release());
    movie.AddTag(Placement(2, 1).release());
    const int idDelta = 2 + 1;
    for (CSwfTag* tag : out) {
        tag->OffsetIds(idDelta, 0, 0);
        movie.AddTag(tag, true);
    }
    auto place = Placement(clip->characterId, 2, "clip");
    EXPECT_EQ(place->characterId, 10);
    movie.AddTag(place.release());
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    ASSERT_GT(movie.Close(), 0u);

    OwnedReader check;
    ASSERT_TRUE(check.Parse(CPath(dir.file("out.swf")), true, 0, true));
    EXPECT_EQ(UseBeforeDefinition(check.GetTags(nullptr)), "");
    ExpectReadsBackToSameBytes(dir.file("out.swf"));

    tavrel_test::ExpectDumpAccepts(dir.file("out.swf"), {});
    // The clip is placed 2 px right and down: its bitmap-filled square
    // (blue) and, inside the inner sprite, the button's red square.
    tavrel_test::ExpectShotPixels(dir.file("out.swf"), 1,
                                  {{20, 20, 0x0000FF, 0}, {80, 20, 0xFF0000, 0}, {160, 60, 0x00FF00, 0}});
}
