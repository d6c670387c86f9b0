#include <gtest/gtest.h>

#include <functional>

#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf_bytes.h"

namespace {

struct TagVector {
    const char* name;
    std::function<std::unique_ptr<CSwfTag>()> make;  // the object, built by hand
    std::function<std::unique_ptr<CSwfTag>()> empty;  // a fresh tag of the same class to parse into
    uint8_t version;
    Bytes bytes;
    // Checks of the parsed tag beyond its bytes: writing it back must give them again.
    std::function<void(CSwfTag&)> check;
};

template <class T>
std::function<std::unique_ptr<CSwfTag>()> Empty()
{
    return [] { return std::make_unique<T>(); };
}

template <class T>
T& As(CSwfTag& t)
{
    return static_cast<T&>(t);
}

std::unique_ptr<CTagPlaceObject2> Place2(uint16_t id, uint16_t depth)
{
    auto p = std::make_unique<CTagPlaceObject2>();
    if (id) p->SetCharacterId(id);
    p->depth = depth;
    return p;
}

std::unique_ptr<CTagPlaceObject2> WithClipAction(uint32_t flags)
{
    auto p = Place2(1, 1);
    auto* record = new CSwfClipAction(flags);
    record->actions->AddAction(new CActionStop);
    p->AddClipAction(record);
    return p;
}

void RunVectors(const std::vector<TagVector>& vectors)
{
    for (const TagVector& v : vectors) {
        auto tag = v.make();
        EXPECT_EQ(Written(*tag, v.version), v.bytes) << v.name;
        auto parsed = v.empty();
        EXPECT_GT(ParseTag(*parsed, v.bytes, v.version), -1) << v.name;
        if (v.check) v.check(*parsed);
        EXPECT_EQ(Written(*parsed, v.version), v.bytes) << v.name << " (written back)";
    }
}

TEST(SwfControlTags, BothWays)
{
    RunVectors({
        {"background", [] { return std::make_unique<CTagSetBackgroundColor>(255, 0, 0); },
         Empty<CTagSetBackgroundColor>(), 6, {0x43, 0x02, 0xFF, 0x00, 0x00}, nullptr},
        {"label v6", [] { return std::make_unique<CTagFrameLabel>("intro"); }, Empty<CTagFrameLabel>(), 6,
         Cat({{0xC6, 0x0A}, Str("intro"), {0}}), nullptr},
        {"named anchor v6",
         [] {
             auto t = std::make_unique<CTagFrameLabel>("intro");
             t->namedAnchor = 1;
             return t;
         },
         Empty<CTagFrameLabel>(), 6, Cat({{0xC7, 0x0A}, Str("intro"), {0, 1}}), nullptr},
        {"named anchor v5 drops the flag",
         [] {
             auto t = std::make_unique<CTagFrameLabel>("intro");
             t->namedAnchor = 1;
             return t;
         },
         Empty<CTagFrameLabel>(), 5, Cat({{0xC6, 0x0A}, Str("intro"), {0}}), nullptr},
        {"end", [] { return std::make_unique<CTagEnd>(); }, Empty<CTagEnd>(), 6, {0x00, 0x00}, nullptr},
        {"protect", [] { return std::make_unique<CTagProtect>(); }, Empty<CTagProtect>(), 6, {0x00, 0x06}, nullptr},
        {"export",
         [] {
             auto t = std::make_unique<CTagExportAssets>();
             t->Add(new CSwfAssetEntry(2, "bc"));
             t->Add(new CSwfAssetEntry(1, "a"), 0);
             return t;
         },
         Empty<CTagExportAssets>(), 6, Cat({{0x0B, 0x0E, 0x02, 0x00, 0x01, 0x00, 'a', 0, 0x02, 0x00}, Str("bc"), {0}}),
         [](CSwfTag& t) {
             auto& e = As<CTagExportAssets>(t);
             e.OffsetIds(100, 5, 5);
             EXPECT_EQ(e.assets[0]->id, 101);
             EXPECT_EQ(e.assets[1]->id, 102);
             e.OffsetIds(-100, 0, 0);
         }},
        {"import",
         [] {
             auto t = std::make_unique<CTagImportAssets>();
             t->url = "u.swf";
             t->Add(new CSwfAssetEntry(1, "a"));
             return t;
         },
         Empty<CTagImportAssets>(), 6, Cat({{0x4C, 0x0E}, Str("u.swf"), {0, 0x01, 0x00, 0x01, 0x00, 'a', 0}}), nullptr},
        {"debugger",
         [] {
             auto t = std::make_unique<CTagEnableDebugger>();
             t->password = "pw";
             return t;
         },
         Empty<CTagEnableDebugger>(), 6, {0x83, 0x0E, 'p', 'w', 0}, nullptr},
        {"debugger 2",
         [] {
             auto t = std::make_unique<CTagEnableDebugger2>();
             t->password = "pw";
             t->reserved = 0x0102;
             return t;
         },
         Empty<CTagEnableDebugger2>(), 6, {0x05, 0x10, 0x02, 0x01, 'p', 'w', 0}, nullptr},
    });
}

TEST(SwfControlTags, LabelWithoutAnchorByteInVersion6)
{
    // A version-6 label written without the anchor byte must not take the next tag's byte.
    const Bytes bytes = Cat({{0xC2, 0x0A}, Str("a"), {0, 0x40, 0x00}});
    CTagFrameLabel label;
    EXPECT_EQ(ParseTag(label, bytes, 6), 2);
    EXPECT_EQ(label.namedAnchor, 0);
    const Bytes anchored = Cat({{0xC3, 0x0A}, Str("a"), {0, 1}});
    EXPECT_EQ(ParseTag(label, anchored, 6), 3);
    EXPECT_EQ(label.namedAnchor, 1);
}

TEST(SwfDisplayTags, BothWays)
{
    CSwfMatrix identity;
    identity.SetIdentity();
    RunVectors({
        {"place2 identity",
         [&] {
             auto p = Place2(5, 10);
             p->SetMatrix(new CSwfMatrix(identity));
             return p;
         },
         Empty<CTagPlaceObject2>(), 6, {0x8B, 0x06, 0x06, 0x0A, 0x00, 0x05, 0x00, 0xC9, 0x00, 0x00, 0x40, 0x00, 0x00}, nullptr},
        {"place2 move",
         [] {
             auto p = Place2(0, 3);
             p->move = true;
             return p;
         },
         Empty<CTagPlaceObject2>(), 6, {0x83, 0x06, 0x01, 0x03, 0x00}, nullptr},
        {"place2 everything",
         [] {
             auto p = Place2(2, 1);
             auto* c = new CSwfCxformWithAlpha;
             c->Reset();
             p->SetCxform(c);
             p->hasRatio = true;
             p->ratio = 7;
             p->hasName = true;
             p->name = "n";
             p->hasClipDepth = true;
             p->clipDepth = 9;
             return p;
         },
         Empty<CTagPlaceObject2>(), 6,
         {0x8D, 0x06, 0x7A, 0x01, 0x00, 0x02, 0x00, 0x44, 0x00, 0x07, 0x00, 'n', 0, 0x09, 0x00}, nullptr},
        {"place2 clip action v6", [] { return WithClipAction(1); }, Empty<CTagPlaceObject2>(), 6,
         {0x99, 0x06, 0x82, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
          0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00},
         [](CSwfTag& t) {
             auto& p = As<CTagPlaceObject2>(t);
             EXPECT_EQ(p.version, 6);
             EXPECT_EQ(p.allEventFlags, 1u);
             ASSERT_EQ(p.clipActions.size(), 1u);
             EXPECT_EQ(p.clipActions[0]->recordSize, 2u);
             EXPECT_EQ(p.clipActions[0]->actions->actions.size(), 1u);
         }},
        {"place2 handler ending in GotoFrame2",
         [] {
             auto p = Place2(1, 1);
             auto* go = new CSwfClipAction(1);
             go->actions->AddAction(new CActionGotoFrame2(true));
             p->AddClipAction(go);
             auto* stop = new CSwfClipAction(2);
             stop->actions->AddAction(new CActionStop);
             p->AddClipAction(stop);
             return p;
         },
         Empty<CTagPlaceObject2>(), 6,
         {0xA6, 0x06, 0x82, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
          0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x9F, 0x01, 0x00, 0x01, 0x00,
          0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00},
         [](CSwfTag& t) {
             // The first handler's end byte is no pad byte; the second handler is no action.
             auto& p = As<CTagPlaceObject2>(t);
             ASSERT_EQ(p.clipActions.size(), 2u);
             EXPECT_EQ(p.clipActions[0]->actions->actions.size(), 1u);
             EXPECT_EQ(p.clipActions[1]->actions->actions.size(), 1u);
         }},
        {"place2 clip action v5", [] { return WithClipAction(1); }, Empty<CTagPlaceObject2>(), 5,
         {0x93, 0x06, 0x82, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x07,
          0x00, 0x00, 0x00},
         nullptr},
        {"place2 key press",
         [] {
             auto p = WithClipAction(CSwfClipAction::kKeyPress);
             p->clipActions[0]->keyCode = 13;
             return p;
         },
         Empty<CTagPlaceObject2>(), 6,
         {0x9A, 0x06, 0x82, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00,
          0x03, 0x00, 0x00, 0x00, 0x0D, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00}, nullptr},
        {"place1 with cxform",
         [] {
             auto p = std::make_unique<CTagPlaceObject>();
             p->SetCharacterId(1);
             p->depth = 2;
             auto* m = new CSwfMatrix;
             m->translateX = -20;
             m->translateY = 40;
             p->SetMatrix(m);
             p->cxform = std::make_unique<CSwfCxform>();
             p->cxform->hasMult = true;
             p->cxform->SetMultTerms(256, 128, 0);
             return p;
         },
         Empty<CTagPlaceObject>(), 6, {0x0C, 0x01, 0x01, 0x00, 0x02, 0x00, 0x0F, 0xB1, 0x40, 0x69, 0x00, 0x20, 0x00, 0x00}, nullptr},
        {"place1 without cxform",
         [] {
             auto p = std::make_unique<CTagPlaceObject>();
             p->SetCharacterId(1);
             p->SetMatrix(new CSwfMatrix);
             return p;
         },
         Empty<CTagPlaceObject>(), 6, {0x05, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00}, nullptr},
        {"remove", [] { return std::make_unique<CTagRemoveObject>(3, 4); }, Empty<CTagRemoveObject>(), 6,
         {0x44, 0x01, 0x03, 0x00, 0x04, 0x00}, nullptr},
        {"remove2", [] { return std::make_unique<CTagRemoveObject2>(4); }, Empty<CTagRemoveObject2>(), 6,
         {0x02, 0x07, 0x04, 0x00}, nullptr},
        {"free", [] { return std::make_unique<CTagFreeCharacter>(3); }, Empty<CTagFreeCharacter>(), 6,
         {0xC2, 0x00, 0x03, 0x00}, nullptr},
        {"show frame", [] { return std::make_unique<CTagShowFrame>(); }, Empty<CTagShowFrame>(), 6, {0x40, 0x00},
         nullptr},
    });
}

TEST(SwfDisplayTags, DepthsSaturateWhenRenumbered)
{
    auto p = Place2(65000, 65530);
    p->hasClipDepth = true;
    p->clipDepth = 65533;
    p->OffsetIds(1000, 10, 0);
    EXPECT_EQ(p->depth, 65535);
    EXPECT_EQ(p->clipDepth, 65535);
    EXPECT_EQ(p->characterId, 65535);
    // The remove reaches the same depth as the placement instead of wrapping to 4.
    CTagRemoveObject2 r(65530);
    r.OffsetIds(0, 10, 0);
    EXPECT_EQ(r.depth, 65535);
    CTagRemoveObject r1(1, 65530);
    r1.OffsetIds(5, 10, 0);
    EXPECT_EQ(r1.depth, 65535);
    EXPECT_EQ(r1.characterId, 6);

    auto moved = Place2(0, 5);
    moved->OffsetIds(100, 1, 0);
    EXPECT_EQ(moved->characterId, 0);  // no character: the id is not renumbered
    EXPECT_EQ(moved->depth, 6);
}

TEST(SwfDisplayTags, PlaceObject2Helpers)
{
    auto p = Place2(1, 2);
    p->hasClipDepth = true;
    p->clipDepth = 3;
    EXPECT_EQ(p->GetClipDepthOffset(), 7);
    const Bytes bytes = Written(*p);
    EXPECT_EQ(bytes[7] | (bytes[8] << 8), 3);
    p->hasClipDepth = false;
    EXPECT_EQ(p->GetClipDepthOffset(), 0);

    p->AddClipAction(nullptr);
    EXPECT_FALSE(p->hasClipActions);

    auto source = Place2(4, 9);
    source->name = "clip";
    source->hasName = true;
    source->SetMatrix(new CSwfMatrix);
    auto* c = new CSwfCxformWithAlpha;
    c->SetAlpha(0.5);
    source->SetCxform(c);
    source->AddClipAction(new CSwfClipAction(1));
    CTagPlaceObject2 copy;
    copy.CopyFrom(*source);
    EXPECT_EQ(copy.characterId, 4);
    EXPECT_EQ(copy.name, "clip");
    ASSERT_TRUE(copy.cxform);
    EXPECT_EQ(copy.cxform->alphaMult, 128);
    EXPECT_FALSE(copy.cxform->hasAdd);
    EXPECT_TRUE(copy.hasClipActions);
    EXPECT_TRUE(copy.clipActions.empty());
    EXPECT_NE(copy.matrix.get(), source->matrix.get());

    source->Reset();
    EXPECT_EQ(source->characterId, 0);
    EXPECT_FALSE(source->matrix);
    EXPECT_EQ(source->name, "clip");  // kept, its flag is off
    EXPECT_FALSE(source->hasName);
    EXPECT_EQ(source->clipActions.size(), 1u);
}

TEST(SwfDisplayTags, ParsedIdRangeFollowsPlacements)
{
    CSwfTag::ResetParsedIdRange();
    CTagPlaceObject2 p;
    ParseTag(p, Written(*Place2(42, 1)));
    ParseTag(p, Written(*Place2(7, 1)));
    ParseTag(p, Written(*Place2(0, 1)));
    EXPECT_EQ(CSwfTag::GetMaxParsedId(), 42);
    CSwfTag::ResetParsedIdRange();
    EXPECT_EQ(CSwfTag::GetMaxParsedId(), 0);
}

}  // namespace
