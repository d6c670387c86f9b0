// Playback and mute controls: skins, where the clips stand, and the clips
// and button actions written into a movie.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "show/slide_show.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/buttons.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/reader_primitives.h"
#include "swf/shapes.h"
#include "swf/sprite.h"
#include "swf/stream.h"
#include "swf/template_import.h"

using tavrel_test::TempDir;

namespace {

std::string BundleSkin(const std::string& folder, const std::string& name)
{
    return std::string(TAVREL_BUNDLE_DIR) + "/Contents/Resources/" + folder + "/" + name + ".dll";
}

CTagPlaceObject2* PlaceTag(uint16_t id, uint16_t depth, const char* name = nullptr)
{
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(id);
    place->depth = depth;
    if (name) place->name = name, place->hasName = true;
    return place;
}

// A mute skin of the given frame (twips) using ids 1 to 12: eight squares
// that the clip shows, the sound-off and sound-on buttons, mute_btn's clip
// (one button a frame) and the "mute_control" clip.
void WriteTestSkin(const std::string& path, int width, int height)
{
    CSwfMovie movie;
    movie.SetHeader(width, height, 12.0f, 5);
    ASSERT_TRUE(movie.Open(CPath(path.c_str()), true));
    for (uint16_t id = 1; id <= 8; ++id) {
        auto* shape = new CTagDefineShape;
        shape->SetCharacterId(id);
        shape->BuildRect(-200, -200, 400, 400, CFillStyle::MakeSolid(0x00FF00 * id), nullptr);
        movie.AddTag(shape);
    }
    auto* buttons = new CTagDefineSprite;
    buttons->SetCharacterId(11);
    for (uint16_t id : {9, 10}) {
        auto* button = new CTagDefineButton2;
        button->SetCharacterId(id);
        button->AddRecord(new CSwfButtonRecord(0x0F, 1, 1));
        movie.AddTag(button);
        if (id == 10) buttons->AddTag(new CTagRemoveObject2(1));
        buttons->AddTag(PlaceTag(id, 1));
        buttons->AddTag(new CTagShowFrame);
    }
    movie.AddTag(buttons);
    auto* clip = new CTagDefineSprite;
    clip->SetCharacterId(12);
    for (uint16_t id = 1; id <= 8; ++id) clip->AddTag(PlaceTag(id, id));
    clip->AddTag(PlaceTag(11, 9, "mute_btn"));
    clip->AddTag(new CTagShowFrame);
    movie.AddTag(clip);
    movie.AddTag(PlaceTag(12, 1, "mute_control"));
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    ASSERT_GT(movie.Close(), 0u);
}

// The tags of a movie read back; released with the object.
struct ReadMovie {
    explicit ReadMovie(const std::string& path) { EXPECT_TRUE(reader.Parse(CPath(path.c_str()), true, 0, true)); }
    ~ReadMovie() { reader.ClearTags(true); }
    CSwfTagList& Tags() { return reader.GetTags(nullptr); }
    std::vector<int> Codes()
    {
        std::vector<int> codes;
        for (CSwfTag* t : Tags()) codes.push_back(t->GetTagCode());
        return codes;
    }
    CSwfReader reader;
};

// Writes a white movie of the show's size holding what build adds, then a
// frame; returns its path.
template <class Build>
std::string WriteMovie(const TempDir& dir, const CSlideShow& show, Build build)
{
    const std::string path = dir.file("movie.swf");
    CSwfMovie movie;
    movie.SetHeader(int(show.GetWidth()) * 20, int(show.GetHeight()) * 20, 12.0f, 5);
    EXPECT_TRUE(movie.Open(CPath(path.c_str()), true));
    movie.AddTag(new CTagSetBackgroundColor(0xFF, 0xFF, 0xFF));
    build(movie);
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    EXPECT_GT(movie.Close(), 0u);
    return path;
}

CTagDefineSprite* SpriteNamed(const char* name, const CSwfTagList& tags)
{
    CTagPlaceObject2* place = FindPlacementByName(name, tags);
    return place ? dynamic_cast<CTagDefineSprite*>(FindCharacterById(place->characterId, tags)) : nullptr;
}

// "condition:action bytes" (without the end byte) of each action list of
// each button that the named clip places, in its order.
std::vector<std::string> ButtonActions(const char* name, const CSwfTagList& tags)
{
    std::vector<std::string> lists;
    CTagDefineSprite* sprite = SpriteNamed(name, tags);
    for (CSwfTag* t : sprite ? sprite->tags : CSwfTagList()) {
        auto* place = dynamic_cast<CTagPlaceObject2*>(t);
        auto* button = place ? dynamic_cast<CTagDefineButton2*>(FindCharacterById(place->characterId, tags)) : nullptr;
        for (size_t i = 0; button && i < button->actions.size(); ++i) {
            CSwfStream stream(5);
            button->actions[i]->WriteActions(stream, false);
            std::string text = std::to_string(button->conditions.at(i)) + ":";
            char hex[3];
            for (size_t k = 0; k + 1 < stream.GetBuffer().size(); ++k) {
                std::snprintf(hex, sizeof hex, "%02x", stream.GetBuffer()[k]);
                text += hex;
            }
            lists.push_back(text);
        }
    }
    return lists;
}

TEST(ControlsSkin, LoadTakesDllMoviesOfAPixelAndMore)
{
    TempDir dir;
    WriteTestSkin(dir.file("Wide.DLL"), 4000, 600);
    WriteTestSkin(dir.file("wide.swf"), 4000, 600);
    WriteTestSkin(dir.file("narrow.dll"), 19, 600);
    WriteTestSkin(dir.file("flat.dll"), 600, 19);
    tavrel_test::WriteFile(dir.file("text.dll"), "FWS not a movie");
    struct Case {
        std::string path;
        bool loads;
        const char* name;  // the skin's name afterwards
        int width, height;
    } cases[] = {
        {BundleSkin("Controls", "Classic"), true, "Classic", 180, 36},
        {dir.file("Wide.DLL"), true, "Wide", 200, 30},
        {dir.file("wide.swf"), false, "Wide", 200, 30},
        {dir.file("narrow.dll"), false, "Wide", 200, 30},
        {dir.file("flat.dll"), false, "Wide", 200, 30},
        {dir.file("text.dll"), false, "Wide", 200, 30},
        {dir.file("none.dll"), false, "Wide", 200, 30},
        {BundleSkin("Mute Controls", "Silver"), true, "Silver", 36, 36},
    };
    CSlideShow show;
    show.GetControlsSkin().SetWidth(77);
    for (const Case& c : cases) {
        EXPECT_EQ(show.SetControlsSkin(CPath(c.path.c_str())), c.loads) << c.path;
        const CControlsSkin& skin = show.GetControlsSkin();
        EXPECT_EQ(std::tie(skin.fileName, skin.naturalWidth, skin.width, skin.naturalHeight, skin.height),
                  std::make_tuple(std::string(c.name), c.width, c.width, c.height, c.height))
            << c.path;
    }
    EXPECT_TRUE(show.SetMuteControlSkin(CPath(BundleSkin("Mute Controls", "Classic").c_str())));
    EXPECT_EQ(show.GetMuteSkin().fileName, "Classic");
    EXPECT_EQ(show.GetMuteSkin().GetPlacement(), CControlsSkin::kBottomRight);
}

TEST(ControlsSkin, GeneratedSkinsAreWholeMovies)
{
    for (const char* look : {"Classic", "Silver"}) {
        tavrel_test::ExpectDumpAccepts(BundleSkin("Controls", look), {"DefineButton2", "DefineSprite"});
        tavrel_test::ExpectDumpAccepts(BundleSkin("Mute Controls", look), {"DefineButton2", "DefineSprite"});
    }
}

TEST(ControlsClip, CornersOfEachPlacement)
{
    struct Case {
        int showW, showH, w, h, placement, x, y;
    } cases[] = {
        {640, 480, 200, 30, 0, -50, 900},  // custom: kept, even outside the movie
        {640, 480, 200, 30, 1, 0, 0},
        {640, 480, 200, 30, 2, 220, 0},
        {640, 480, 200, 30, 3, 440, 0},
        {640, 480, 200, 30, 4, 0, 450},
        {640, 480, 200, 30, 5, 220, 450},
        {640, 480, 200, 30, 6, 440, 450},
        // Wider than the movie: the centred corner is truncated toward zero.
        {320, 240, 401, 30, 2, -40, 0},
    };
    for (const Case& c : cases) {
        CSlideShow show;
        ASSERT_TRUE(show.SetSize(c.showW, c.showH));
        for (CControlsSkin* skin : {&show.GetControlsSkin(), &show.GetMuteSkin()}) {
            skin->SetWidth(c.w);
            skin->SetHeight(c.h);
            skin->SetPlacement(c.placement);
            skin->SetX(-50);
            skin->SetY(900);
        }
        int x = 1, y = 1, mx = 1, my = 1;
        show.GetControlsPos(&x, &y);
        show.GetMuteControlPos(&mx, &my);
        EXPECT_EQ(std::tie(x, y, mx, my), std::tie(c.x, c.y, c.x, c.y)) << c.placement;
    }
}

TEST(ControlsClip, PlacementMatrixAndCharacterIds)
{
    const bool kNo = false;
    struct Case {
        int naturalW, naturalH, w, h;
        uint16_t nextId;
        bool built;
        int32_t tx, ty;
        bool scaled;
        int32_t sx, sy;
        uint16_t after;
    } cases[] = {
        {200, 30, 200, 30, 40, true, 6400, 9300, false, 0, 0, 62},
        {100, 30, 150, 30, 40, true, 6400, 9300, true, 98304, 65536, 62},
        // The last id that fits, then one past it: nothing is written.
        {200, 30, 200, 30, 65513, true, 6400, 9300, false, 0, 0, 65535},
        {200, 30, 200, 30, 65514, false, 0, 0, false, 0, 0, 65514},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string skinPath = dir.file("Test.dll");
        WriteTestSkin(skinPath, c.naturalW * 20, c.naturalH * 20);
        CSlideShow show;
        ASSERT_TRUE(show.SetSize(640, 480));
        ASSERT_TRUE(show.SetMuteControlSkin(CPath(skinPath.c_str())));
        show.GetMuteSkin().SetPlacement(CControlsSkin::kBottomCenter);
        show.GetMuteSkin().SetWidth(c.w);
        show.GetMuteSkin().SetHeight(c.h);
        uint16_t ids = c.nextId;
        bool built = false;
        const std::string path =
            WriteMovie(dir, show, [&](CSwfMovie& movie) { built = show.GetMuteClip().Build(show, movie, &ids); });
        EXPECT_EQ(built, c.built) << c.nextId;
        EXPECT_EQ(ids, c.after) << c.nextId;
        ReadMovie movie(path);
        if (!c.built) {
            EXPECT_EQ(movie.Codes(), (std::vector<int>{9, 1, 1, 0}));
            EXPECT_FALSE(show.GetMuteClip().GetError().empty());
            continue;
        }
        std::vector<int> defined;
        for (CSwfTag* t : movie.Tags())
            if (auto* d = dynamic_cast<CSwfDefineTag*>(t)) defined.push_back(d->GetCharacterId() - c.nextId);
        EXPECT_EQ(defined, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13})) << c.nextId;
        CTagPlaceObject2* place = FindPlacementByName("mute_control", movie.Tags());
        ASSERT_NE(place, nullptr);
        EXPECT_EQ(place->characterId, c.nextId + 13);
        EXPECT_EQ(place->depth, kMuteClipDepth);
        ASSERT_NE(place->matrix, nullptr);
        CSwfMatrix& m = *place->matrix;
        EXPECT_EQ(std::tie(m.translateX, m.translateY, m.hasScale, m.hasRotate), std::tie(c.tx, c.ty, c.scaled, kNo));
        if (c.scaled) {
            EXPECT_EQ(std::tie(m.scaleX, m.scaleY), std::tie(c.sx, c.sy));
        }
    }
}

TEST(ControlsClip, ButtonActionsByteForByte)
{
    const std::string first =
        "8b07002e2e2f2e2e2f008c0800736c6964655f310096130000736c69646573686f775f706c6179696e67001c129d02000100068b01000"
        "0";
    const std::string prev =
        "8b07002e2e2f2e2e2f0096040000676f00960b0000736c6964657072655f009615000063757272656e745f736c696465"
        "5f696e646578001c96050007010000000b471d96040000676f001c9f01000096130000736c69646573686f775f706c61"
        "79696e67001c129d02000100068b010000";
    // If +37 (0x25) skips to the Jump +31 (0x1f), which skips the second go.
    const std::string next =
        "883c000500736c69646573686f775f706c6179696e6700676f00736c6964657072655f0063757272656e745f736c6964"
        "655f696e64657800736c6964655f008b07002e2e2f2e2e2f0096020008001c129d020025009606000801080208031c96"
        "050007010000000a471d96020008011c9f010000069902001f009606000801080408031c96050007010000000a471d96"
        "020008011c9f0100008b010000962f00002e2e2f2e2e2f736c696465736f756e645f00002e2e2f2e2e2f3a6375727265"
        "6e745f736c6964655f696e646578001c4720078b010000";
    const std::string pause =
        "8b06002e2e2f2e2e00961a0006000000000000000000736c69646573686f775f7061757365003d17962800002e2e2f2e"
        "2e2f736c696465736f756e645f000063757272656e745f736c6964655f696e646578001c4720078b010000";
    const std::string play =
        "8b06002e2e2f2e2e0096190006000000000000000000736c69646573686f775f706c6179003d178b010000962f00002e"
        "2e2f2e2e2f736c696465736f756e645f00002e2e2f2e2e2f3a63757272656e745f736c6964655f696e646578001c4720"
        "068b010000";
    const std::string soundOff =
        "8816000300736e6400536f756e6400736574566f6c756d6500960d0008000600000000000000000801401d9610000600"
        "00000000000000070100000008001c96020008025217810200010006";
    const std::string soundOn =
        "8816000300736e6400536f756e6400736574566f6c756d6500960d0008000600000000000000000801401d9610000600"
        "00594000000000070100000008001c96020008025217810200000006";
    auto last = [&](char n) {
        std::string bytes = first;
        bytes[39] = n;  // the low digit of "slide_1"
        return bytes;
    };
    struct Case {
        int slides;
        char lastLabelDigit;  // of slide_N
    } cases[] = {{7, '7'}, {0, '0'}};
    for (const Case& c : cases) {
        TempDir dir;
        CSlideShow show;
        for (int i = 0; i < c.slides; ++i) show.InsertSlideAt(std::make_unique<CSlide>(CSlide::kBlank, &show), i);
        ASSERT_TRUE(show.SetControlsSkin(CPath(BundleSkin("Controls", "Classic").c_str())));
        ASSERT_TRUE(show.SetMuteControlSkin(CPath(BundleSkin("Mute Controls", "Classic").c_str())));
        uint16_t ids = 0;
        const std::string path = WriteMovie(dir, show, [&](CSwfMovie& movie) {
            EXPECT_TRUE(show.GetControlsClip().Build(show, movie, &ids));
            EXPECT_TRUE(show.GetMuteClip().Build(show, movie, &ids));
        });
        ReadMovie movie(path);
        const std::pair<const char*, std::vector<std::string>> expects[] = {
            {"first_slide_btn", {"8:" + first}},
            {"last_slide_btn", {"8:" + last(c.lastLabelDigit)}},
            {"prev_slide_btn", {"8:" + prev}},
            {"next_slide_btn", {"8:" + next}},
            {"playpause_btn", {"8:" + pause, "8:" + play}},
            {"mute_btn", {"8:" + soundOff, "8:" + soundOn}},
        };
        for (const auto& [name, lists] : expects) EXPECT_EQ(ButtonActions(name, movie.Tags()), lists) << name;
        // Each two-frame clip rests on either frame: a Stop opens both.
        for (const char* name : {"playpause_btn", "mute_btn"}) {
            CTagDefineSprite* sprite = SpriteNamed(name, movie.Tags());
            ASSERT_NE(sprite, nullptr);
            std::vector<int> codes;
            for (CSwfTag* t : sprite->tags) codes.push_back(t->GetTagCode());
            EXPECT_EQ(codes, (std::vector<int>{12, 26, 1, 12, 28, 26, 1, 0})) << name;
            for (size_t at : {size_t(0), size_t(3)}) {
                auto* stop = dynamic_cast<CTagDoAction*>(sprite->tags[at]);
                ASSERT_TRUE(stop && stop->actions.size() == 1) << name;
                EXPECT_EQ(stop->actions[0]->GetActionCode(), 0x07) << name;
            }
        }
    }
}

TEST(ControlsClip, BuildsWhatTheSkinHolds)
{
    struct Case {
        const char* controlsName;  // named only, as a project file names it
        std::string muteFile;      // loaded
        std::vector<int> codes;    // tags written
        uint16_t nextId;
    } cases[] = {
        // Found in the bundle by name: the whole bar.
        {"Classic", "", {2, 2, 2, 2, 2, 2, 2, 2, 2, 34, 34, 34, 34, 34, 34, 39, 39, 39, 39, 39, 39, 26}, 31},
        {"Nowhere", "", {}, 0},
        // A controls skin has no "mute_control" clip.
        {"", BundleSkin("Controls", "Classic"), {}, 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        CSlideShow show;
        show.GetControlsSkin().SetFileName(c.controlsName);
        show.GetControlsSkin().SetWidth(180);
        show.GetControlsSkin().SetHeight(36);
        if (!c.muteFile.empty()) {
            ASSERT_TRUE(show.SetMuteControlSkin(CPath(c.muteFile.c_str())));
        }
        uint16_t ids = 0;
        const std::string path = WriteMovie(dir, show, [&](CSwfMovie& movie) {
            EXPECT_TRUE(show.GetControlsClip().Build(show, movie, &ids));
            EXPECT_TRUE(show.GetMuteClip().Build(show, movie, &ids));
        });
        ReadMovie movie(path);
        std::vector<int> codes = movie.Codes();
        codes.erase(codes.begin());
        codes.resize(codes.size() - 3);
        EXPECT_EQ(codes, c.codes) << c.controlsName;
        EXPECT_EQ(ids, c.nextId) << c.controlsName;
        // Each clip left out says why.
        EXPECT_EQ(show.GetControlsClip().GetError().empty(), !c.codes.empty()) << c.controlsName;
        EXPECT_FALSE(show.GetMuteClip().GetError().empty()) << c.controlsName;
        if (auto* place = FindPlacementByName("show_controls", movie.Tags())) {
            ASSERT_NE(place->matrix, nullptr);
            EXPECT_FALSE(place->matrix->hasScale);
        }
    }
}

TEST(ControlsClip, BothClipsPlayInTheirCorners)
{
    TempDir dir;
    CSlideShow show;  // 320 x 240
    ASSERT_TRUE(show.SetControlsSkin(CPath(BundleSkin("Controls", "Classic").c_str())));
    ASSERT_TRUE(show.SetMuteControlSkin(CPath(BundleSkin("Mute Controls", "Classic").c_str())));
    uint16_t ids = 0;
    const std::string path = WriteMovie(dir, show, [&](CSwfMovie& movie) {
        show.GetControlsClip().Build(show, movie, &ids);
        show.GetMuteClip().Build(show, movie, &ids);
        movie.PatchRecorded(10);
        // Frame 2 sends the mute button's clip to its second frame, as the
        // sound-off button does: it rests there, on the sound-on look.
        movie.AddTag(new CTagShowFrame);
        auto* send = new CTagDoAction;
        send->AddAction(new CActionSetTarget("mute_control/mute_btn"));
        send->AddAction(new CActionGotoFrame(1));
        send->AddAction(new CActionPlay);
        send->AddAction(new CActionSetTarget(""));
        movie.AddTag(send);
    });
    tavrel_test::ExpectDumpAccepts(path, {"DefineButton2", "DefineSprite", "PlaceObject2"});
    // Controls 180 x 36 at (70, 204): buttons every 34 pixels from x 92;
    // mute 36 x 36 at (284, 204), its button's centre at (302, 222).
    tavrel_test::ExpectShotPixels(path, 1,
                                  {{109, 222, 0x202020, 24},
                                   {160, 222, 0x505050, 24},
                                   {163, 222, 0xFFFFFF, 24},
                                   {109, 200, 0xFFFFFF, 8},
                                   {60, 222, 0xFFFFFF, 8},
                                   {302, 212, 0x505050, 24},
                                   {287, 222, 0x202020, 24},
                                   {280, 222, 0xFFFFFF, 8},
                                   // The cross of the sound-off look, not the waves.
                                   {309, 222, 0x505050, 24}});
    tavrel_test::ExpectShotPixels(path, 2, {{309, 222, 0xDCDCDC, 40}, {160, 222, 0x505050, 24}});
}

}  // namespace
