#include <gtest/gtest.h>

#include "swf/buttons.h"
#include "tag_vectors.h"

namespace {

// Translate (20, 40) and the matrix bytes it writes.
std::unique_ptr<CSwfMatrix> Translate()
{
    auto m = std::make_unique<CSwfMatrix>();
    m->translateX = 20;
    m->translateY = 40;
    return m;
}
const Bytes kTranslate = {0x0E, 0x51, 0x40};

// Half transparent, and the colour transform bytes it writes.
std::unique_ptr<CSwfCxformWithAlpha> HalfAlpha()
{
    auto c = std::make_unique<CSwfCxformWithAlpha>();
    c->SetMult(256, 256, 256, 128);
    return c;
}
const Bytes kHalfAlpha = {0x69, 0x00, 0x40, 0x10, 0x02, 0x00};

CTagDoAction* List(std::initializer_list<CSwfAction*> actions)
{
    auto* list = new CTagDoAction;
    for (CSwfAction* a : actions) list->AddAction(a);
    return list;
}

std::vector<int> Codes(const CTagDoAction& list)
{
    std::vector<int> codes;
    for (const auto& a : list.actions) codes.push_back(a->GetActionCode());
    return codes;
}

TEST(SwfButtonTags, DefineButton2WithoutActionsWritesOffsetZero)
{
    CTagDefineButton2 button;
    button.SetCharacterId(1);
    button.AddRecord(new CSwfButtonRecord(0x0F, 2, 1));  // no matrix, no colour transform
    // Missing matrix and colour transform write ones that change nothing.
    const Bytes bytes = {0x8D, 0x08, 0x01, 0x00, 0x00, 0x00, 0x00, 0x0F, 0x02, 0x00, 0x01, 0x00, 0x00, 0x04, 0x00};
    EXPECT_EQ(Written(button), bytes);
    CTagDefineButton2 parsed;
    EXPECT_EQ(ParseTag(parsed, bytes), 13);
    ASSERT_EQ(parsed.records.size(), 1u);
    EXPECT_EQ(parsed.records[0]->characterId, 2);
    EXPECT_TRUE(parsed.actions.empty());

    // Even without records the list ends in its 0 byte.
    CTagDefineButton2 bare;
    EXPECT_EQ(Written(bare), (Bytes{0x86, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST(SwfButtonTags, DefineButton2ActionListsBothWays)
{
    CTagDefineButton2 button;
    button.SetCharacterId(1);
    auto* record = new CSwfButtonRecord(0x0F, 2, 1);
    record->matrix = Translate();
    record->cxform = HalfAlpha();
    button.AddRecord(record);
    button.AddCondAction(swf_button_cond::kOverDownToOverUp, List({new CActionPlay}));
    button.AddCondAction(swf_button_cond::kIdleToOverDown, List({new CActionStop}));
    // A third list without a condition word of its own, and with no actions.
    button.AddActions(new CTagDoAction);

    const Bytes bytes = Cat({{0xA5, 0x08, 0x01, 0x00, 0x00, 0x11, 0x00, 0x0F, 0x02, 0x00, 0x01, 0x00},
                             kTranslate,
                             kHalfAlpha,
                             {0x00},
                             {0x06, 0x00, 0x08, 0x00, 0x06, 0x00},
                             {0x06, 0x00, 0x80, 0x00, 0x07, 0x00},
                             {0x00, 0x00, 0x00, 0x00, 0x00}});
    EXPECT_EQ(Written(button), bytes);

    CTagDefineButton2 parsed;
    EXPECT_EQ(ParseTag(parsed, bytes), 37);
    EXPECT_EQ(Written(parsed), bytes);

    // Clear drops lists and conditions, keeps the records.
    parsed.trackAsMenu = 1;
    parsed.Clear();
    EXPECT_TRUE(parsed.actions.empty() && parsed.conditions.empty());
    EXPECT_EQ(parsed.trackAsMenu, 0);
    EXPECT_EQ(parsed.records.size(), 1u);
}

TEST(SwfButtonTags, FilterListAndBlendModeAreKept)
{
    CTagDefineButton2 button;
    button.SetCharacterId(1);
    auto* record = new CSwfButtonRecord(
        swf_button_state::kUp | swf_button_state::kHasFilterList | swf_button_state::kHasBlendMode, 2, 1);
    record->filterList = Cat({{0x01, 0x01}, Filled(9, 0x40)});  // one blur filter
    record->blendMode = 5;
    button.AddRecord(record);
    const Bytes bytes = Cat({{0x99, 0x08, 0x01, 0x00, 0x00, 0x00, 0x00, 0x31, 0x02, 0x00, 0x01, 0x00, 0x00, 0x04},
                             record->filterList,
                             {0x05, 0x00}});
    EXPECT_EQ(Written(button), bytes);
    CTagDefineButton2 parsed;
    EXPECT_EQ(ParseTag(parsed, bytes), 25);
    ASSERT_EQ(parsed.records.size(), 1u);
    EXPECT_EQ(parsed.records[0]->filterList, record->filterList);
    EXPECT_EQ(parsed.records[0]->blendMode, 5);
}

TEST(SwfButtonTags, DefineButtonVectors)
{
    auto make = [](bool withList) {
        auto button = std::make_unique<CTagDefineButton>();
        button->SetCharacterId(3);
        auto* record = new CSwfButtonRecord(swf_button_state::kUp, 2, 1);
        record->matrix = Translate();
        button->AddRecord(record);
        if (withList) button->AddActions(List({new CActionPlay}));
        return button;
    };
    const Bytes head = Cat({{0x03, 0x00, 0x01, 0x02, 0x00, 0x01, 0x00}, kTranslate, {0x00}});
    const Bytes withList = Cat({{0xCD, 0x01}, head, {0x06, 0x00}});
    const Bytes withoutList = Cat({{0xCC, 0x01}, head, {0x00}});

    auto button = make(true);
    EXPECT_EQ(Written(*button), withList);
    CTagDefineButton parsed;
    EXPECT_EQ(ParseTag(parsed, withList), 13);
    EXPECT_EQ(Written(parsed), withList);

    // The action end byte is there even without any action.
    auto silent = make(false);
    EXPECT_EQ(Written(*silent), withoutList);
    CTagDefineButton parsedSilent;
    EXPECT_EQ(ParseTag(parsedSilent, withoutList), 12);
    EXPECT_EQ(Written(parsedSilent), withoutList);
}

TEST(SwfButtonTags, CxformAndSoundVectors)
{
    CTagDefineButtonCxform cxform;
    cxform.SetCharacterId(3);
    cxform.cxform.redMult = cxform.cxform.greenMult = cxform.cxform.blueMult = 256;
    cxform.cxform.hasAdd = true;
    cxform.cxform.redAdd = 255;
    cxform.cxform.blueAdd = -255;
    ExpectTagBothWays<CTagDefineButtonCxform>(
        // Add terms only, in 10-bit fields (the record sizes them with its multipliers).
        cxform, {0xC7, 0x05, 0x03, 0x00, 0xA8, 0xFF, 0x00, 0x30, 0x10},
        [](const CTagDefineButtonCxform& a, const CTagDefineButtonCxform& b) {
            return a.characterId == b.characterId && a.cxform == b.cxform;
        },
        "DefineButtonCxform");

    auto sameSound = [](const CTagDefineButtonSound& a, const CTagDefineButtonSound& b) {
        return a.characterId == b.characterId && a.soundIds == b.soundIds && a.soundInfo == b.soundInfo;
    };
    CTagDefineButtonSound silent;
    silent.SetCharacterId(1);
    ExpectTagBothWays<CTagDefineButtonSound>(silent, Cat({{0x4A, 0x04, 0x01, 0x00}, Bytes(8, 0)}), sameSound,
                                             "four empty transitions: 10-byte body");

    CTagDefineButtonSound sound;
    sound.SetCharacterId(1);
    sound.soundIds[1] = 2;
    sound.soundInfo[1].SetHasLoops(true);
    sound.soundInfo[1].loopCount = 2;
    ExpectTagBothWays<CTagDefineButtonSound>(
        sound, {0x4D, 0x04, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00},
        sameSound, "one transition with loops");
}

TEST(SwfButtonTags, OffsetIdsTouchesActionsOnlyWithAFrameDelta)
{
    CTagDefineButton2 button;
    button.SetCharacterId(10);
    button.AddRecord(new CSwfButtonRecord(0x01, 4, 2));
    button.AddCondAction(swf_button_cond::kOverDownToOverUp, List({new CActionGotoFrame(5)}));
    auto frameOf = [&] { return static_cast<CActionGotoFrame&>(*button.actions[0]->actions[0]).frame; };

    button.OffsetIds(100, 3, 0);
    EXPECT_EQ(button.GetCharacterId(), 110);
    EXPECT_EQ(button.records[0]->characterId, 104);
    EXPECT_EQ(button.records[0]->depth, 5);
    EXPECT_EQ(frameOf(), 5);
    button.OffsetIds(0, 0, 2);
    EXPECT_EQ(frameOf(), 7);

    CTagDefineButtonSound sound;
    sound.SetCharacterId(10);
    sound.soundIds = {0, 3, 0, 4};
    sound.OffsetIds(100, 0, 0);
    EXPECT_EQ(sound.GetCharacterId(), 110);
    EXPECT_EQ(sound.soundIds, (std::array<uint16_t, 4>{0, 103, 0, 104}));
}

TEST(SwfButtonTags, ParseFollowsDeclaredListSizesAndStopsAtTheBody)
{
    // The first list declares 8 bytes: two bytes of padding after its end byte.
    const Bytes padded = {0x94, 0x08, 0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x08, 0x00, 0x08,
                          0x00, 0x06, 0x00, 0xEE, 0xEE, 0x00, 0x00, 0x80, 0x00, 0x07, 0x00};
    CTagDefineButton2 button;
    ParseTag(button, padded);
    ASSERT_EQ(button.actions.size(), 2u);
    EXPECT_EQ(Codes(*button.actions[0]), std::vector<int>{0x06});
    EXPECT_EQ(Codes(*button.actions[1]), std::vector<int>{0x07});
    EXPECT_EQ(button.conditions, (std::vector<uint16_t>{0x0008, 0x0080}));

    // A body cut inside the records does not read the next tag as a record.
    const Bytes cut = {0x85, 0x08, 0x01, 0x00, 0x00, 0x00, 0x00, 0x0F, 0x02, 0x00, 0x40, 0x00};
    CTagDefineButton2 truncated;
    CSwfReader r;
    r.LoadBytes(cut, 6);
    int code = 0;
    uint32_t length = 0;
    ASSERT_TRUE(r.ReadTagHeader(code, length));
    truncated.Parse(r);
    EXPECT_TRUE(truncated.records.empty());
}

}  // namespace
