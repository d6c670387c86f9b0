#include "show/preloader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/code_bundle.h"
#include "foundation/system_utils.h"
#include "show/movie_settings.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sprite.h"
#include "swf/styles.h"

namespace {

using tavrel_test::TempDir;

// The generated template in the bundle's resource file: ids 1-3, the clip last.
std::vector<uint8_t> BarTemplate()
{
    ResourceHandle handle;
    const bool found =
        LoadMainResource(FourCC(kPreloaderBarResType), kPreloaderBarResId, &handle, nullptr);
    return found ? *handle : std::vector<uint8_t>();
}

CMovieSettings Settings(int amount, int fontSize = 12)
{
    CMovieSettings settings;
    CFont font;
    font.SetName("DejaVu Sans");
    font.SetSize(fontSize);
    settings.SetPreloadFont(font);
    settings.SetPreloadAmount(amount);
    return settings;
}

// A 400 × 300 movie with the preloader built into it; the depth it returned.
struct Built {
    Built(const std::string& path, const CMovieSettings& settings, const std::vector<uint8_t>* bar, uint16_t id = 0,
          uint16_t depth = 0, bool texts = true)
        : id(id), depth(depth)
    {
        movie.SetHeader(400 * 20, 300 * 20, 12.0f, 6);
        EXPECT_TRUE(movie.Open(CPath(path.c_str()), true));
        movie.AddTag(new CTagSetBackgroundColor(0, 0, 255));
        FillPreloaderLayout(layout, settings, 400, 300, bar);
        layout.labelOn = layout.percentOn = texts;
        at = builder.Build(&layout, &movie, &this->id, &this->depth);
    }
    void Close()
    {
        movie.AddTag(new CTagEnd());
        EXPECT_NE(movie.Close(), 0u);
    }
    CSwfMovie movie;
    CPreloaderLayout layout;
    CPreloaderBuilder builder;
    uint16_t id, depth, at = 0;
};

template <class Tag>
std::vector<Tag*> All(const CSwfTagList& list)
{
    std::vector<Tag*> out;
    for (CSwfTag* tag : list)
        if (auto* t = dynamic_cast<Tag*>(tag)) out.push_back(t);
    return out;
}

// ---- a small assembler of our own for the expected action bytes

std::string U16(int v)
{
    return {char(v & 0xFF), char((v >> 8) & 0xFF)};
}
std::string Z(const std::string& s)
{
    return s + '\0';
}
std::string S(const std::string& s)
{
    return '\0' + Z(s);
}
std::string C8(int i)
{
    return {'\x08', char(i)};
}
const std::string kDouble0 = '\x06' + std::string(8, '\0');
std::string Op(int code, const std::string& payload = "")
{
    return code < 0x80 ? std::string(1, char(code)) : char(code) + U16(int(payload.size())) + payload;
}
std::string Push(std::initializer_list<std::string> items)
{
    std::string payload;
    for (const std::string& item : items) payload += item;
    return Op(0x96, payload);
}
// Our writer gives DoAction the long header whatever its length.
std::string DoAction(std::initializer_list<std::string> actions)
{
    std::string body;
    for (const std::string& a : actions) body += a;
    body += '\0';
    return U16((12 << 6) | 63) + U16(int(body.size())) + U16(0) + body;
}
const std::string kShowFrame = U16(1 << 6), kToParent = Op(0x8B, Z("..")), kToSelf = Op(0x8B, Z(""));

std::string ExpectedScript(const CPreloaderLayout& l)
{
    std::string percent, bar;
    if (l.percentOn)
        percent = Push({S("pl:text"), S("percentLoaded")}) + Op(0x1C) + Push({S("%")}) + Op(0x21) + Op(0x1D);
    if (l.barOn)
        bar = Push({S("PreloadBar/BarFg"), S("8"), S("PreloadBar/BarBg"), S("8")}) + Op(0x22) +
              Push({S("percentLoaded")}) + Op(0x1C) + Push({S("100")}) + Op(0x0D) + Op(0x0C) + Op(0x23);
    const std::string pool = U16(4) + Z("percentLoaded") + Z("_root") + Z("getBytesLoaded") + Z("getBytesTotal");
    return DoAction({Push({S("PreloadBar"), S("8"), S(std::to_string(l.barWidth))}), Op(0x23),
                     Push({S("PreloadBar"), S("9"), S(std::to_string(l.barHeight))}), Op(0x23)}) +
           DoAction({kToParent, Op(0x07), kToSelf}) + kShowFrame +
           DoAction({Op(0x88, pool),
                     Push({C8(0), kDouble0, C8(1)}),
                     Op(0x1C),
                     Push({C8(2)}),
                     Op(0x52),
                     Push({kDouble0, C8(1)}),
                     Op(0x1C),
                     Push({C8(3)}),
                     Op(0x52),
                     Op(0x0D),
                     Push({'\x07' + U16(100) + U16(0)}),
                     Op(0x0C),
                     Op(0x18),
                     Op(0x1D),
                     percent,
                     bar,
                     Push({S("percentLoaded")}),
                     Op(0x1C),
                     Push({S(std::to_string(l.amount))}),
                     Op(0x0F),
                     Op(0x12),
                     Op(0x12),
                     Op(0x9D, U16(6)),
                     Op(0x81, U16(3)),
                     Op(0x06)}) +
           kShowFrame + DoAction({Op(0x05), Op(0x06)}) + kShowFrame +
           DoAction({kToParent, Op(0x06), kToSelf, Op(0x07)}) + kShowFrame;
}

TEST(Preloader, LayoutCentresTheBarAndPutsTheTextsAboveIt)
{
    const std::vector<uint8_t> bar = BarTemplate();
    ASSERT_FALSE(bar.empty()) << "the bundle has no generated bar template";
    struct Row {
        int w, h, fontSize;
        bool withBar;
        std::vector<int> barAndLabel;  // bar width, height, x, y; label x, y
    };
    const Row rows[] = {
        {400, 300, 12, true, {240, 12, 80, 140, 80, 120}},
        {400, 300, 12, false, {0, 0, 0, 0, 10, 100}},
        {321, 241, 20, true, {192, 12, 64, 110, 64, 82}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.w);
        CPreloaderLayout l;
        FillPreloaderLayout(l, Settings(70, r.fontSize), r.w, r.h, r.withBar ? &bar : nullptr);
        EXPECT_EQ(l.barOn, r.withBar);
        EXPECT_EQ(std::vector<int>({l.barWidth, l.barHeight, l.barX, l.barY, l.label.x, l.label.y}), r.barAndLabel);
        // The percentage follows "Loading..." by 8 pixels on the same line.
        EXPECT_GT(l.percent.x, l.label.x + 8 + 30);
        EXPECT_EQ(l.percent.y, l.label.y);
        EXPECT_EQ(l.amount, 70);
    }
}

// Ids, depths and what the clip places; ids or depths that run out fail
// before anything is written instead of wrapping.
TEST(Preloader, TakesIdsAndDepthsFromTheCounters)
{
    const std::vector<uint8_t> bar = BarTemplate();
    ASSERT_FALSE(bar.empty());
    struct Row {
        bool texts;
        uint16_t id, depth, result, idAfter, clipId;
        std::vector<uint16_t> placed;  // the ids the clip places at depths 1, 2, …
    };
    const Row rows[] = {
        // Template characters 1-3 move up by next id + 1 = 21.
        {false, 19, 7, 8, 24, 20, {24}},
        // Font 1, clip 2, label 3, percent 4, bar 6-8.
        {true, 0, 0, 1, 8, 2, {8, 3, 4}},
        {false, 65530, 3, 4, 65535, 65531, {65535}},
        {false, 65531, 3, 0, 65531, 0, {}},
        {false, 10, 65535, 0, 10, 0, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        TempDir dir;
        Built b(dir.file("p.swf"), Settings(100), &bar, r.id, r.depth, r.texts);
        EXPECT_EQ(b.at, r.result);
        EXPECT_EQ(b.id, r.idAfter);
        EXPECT_EQ(b.depth, r.result ? r.result : r.depth);
        EXPECT_EQ(b.builder.GetError().empty(), r.result != 0);
        b.Close();

        CSwfReader reader;
        ASSERT_TRUE(reader.Parse(CPath(dir.file("p.swf").c_str()), true, 0, true));
        const CSwfTagList& tags = reader.GetTags(nullptr);
        const auto sprites = All<CTagDefineSprite>(tags);
        const auto roots = All<CTagPlaceObject2>(tags);
        if (!r.result) {
            EXPECT_TRUE(All<CSwfDefineTag>(tags).empty() && roots.empty());
        } else if (sprites.size() == 2 && roots.size() == 1) {
            // The template's bar clip, then the preloader's clip.
            EXPECT_EQ(sprites[0]->GetCharacterId(), r.idAfter);
            EXPECT_EQ(sprites[1]->GetCharacterId(), r.clipId);
            EXPECT_EQ(sprites[1]->frameCount, 4);
            std::vector<uint16_t> placed;
            std::string names;
            for (CTagPlaceObject2* p : All<CTagPlaceObject2>(sprites[1]->tags)) {
                EXPECT_EQ(p->depth, placed.size() + 1);
                placed.push_back(p->characterId);
                names += p->name + ";";
            }
            EXPECT_EQ(placed, r.placed);
            EXPECT_EQ(names, r.texts ? "PreloadBar;;pl;" : "PreloadBar;");
            EXPECT_EQ(roots[0]->characterId, r.clipId);
            EXPECT_EQ(roots[0]->depth, r.result);
        } else {
            ADD_FAILURE() << sprites.size() << " sprites, " << roots.size() << " placements";
        }
        for (CTagDefineEditText* field : All<CTagDefineEditText>(tags)) {
            EXPECT_EQ(field->initialText + field->variableName, "0%text");
            EXPECT_EQ(field->flags & 0x8400, 0x8400);
        }
        reader.ClearTags(true);
    }
}

TEST(Preloader, WritesTheFourFramesOfActionsByteForByte)
{
    const std::vector<uint8_t> bar = BarTemplate();
    ASSERT_FALSE(bar.empty());
    // A template without the bar's placement writes no bar; the script still
    // addresses it.
    const std::vector<uint8_t> noBar = {'F', 'W', 'S', 5, 21, 0, 0, 0, 0, 0x3F, 0x03, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    struct Row {
        const std::vector<uint8_t>* bar;
        bool texts;
        int amount;
    };
    for (const Row& r : {Row{&bar, true, 100}, Row{nullptr, false, 50}, Row{&bar, false, 0}, Row{&noBar, true, 7}}) {
        SCOPED_TRACE(r.amount);
        TempDir dir;
        Built b(dir.file("p.swf"), Settings(r.amount), r.bar, 0, 0, r.texts);
        ASSERT_NE(b.at, 0);
        b.Close();
        const std::string file = tavrel_test::ReadFile(dir.file("p.swf"));
        // The script closes the clip: the sprite's End follows it.
        EXPECT_NE(file.find(ExpectedScript(b.layout) + U16(0)), std::string::npos);
        // The bar's own set-up comes first, one Push per value.
        const std::string setup = Push({S("PreloadBar/BarFg")}) + Push({S("8")}) + Push({S("0")}) + Op(0x23);
        EXPECT_EQ(file.find(setup) != std::string::npos, r.bar == &bar);
    }
}

// In a player the preloader holds the main timeline until the amount has
// loaded (never, for 101); the movie's next frame paints the stage red.
TEST(Preloader, LetsTheMovieGoOnInAPlayer)
{
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    const std::vector<uint8_t> bar = BarTemplate();
    ASSERT_FALSE(bar.empty());
    struct Row {
        int amount;
        long atBar, atCorner;
    };
    for (const Row& r : {Row{100, 0xFF0000, 0xFF0000}, Row{101, 0x40C0F0, 0x0000FF}}) {
        SCOPED_TRACE(r.amount);
        TempDir dir;
        const std::string path = dir.file("p.swf");
        Built b(path, Settings(r.amount), &bar);
        ASSERT_NE(b.at, 0);
        b.movie.AddTag(new CTagShowFrame());
        b.movie.AddTag(new CTagRemoveObject2(b.at));
        auto red = std::make_unique<CTagDefineShape>();
        red->SetCharacterId(++b.id);
        red->BuildRect(0, 0, 400 * 20, 300 * 20, CFillStyle::MakeSolid(0x0000FF), nullptr);
        b.movie.AddTag(red.release());
        auto place = std::make_unique<CTagPlaceObject2>();
        place->SetCharacterId(b.id);
        place->depth = ++b.depth;
        place->SetMatrix(new CSwfMatrix());
        b.movie.AddTag(place.release());
        auto stop = std::make_unique<CTagDoAction>();
        stop->AddAction(new CActionStop());
        b.movie.AddTag(stop.release());
        b.movie.AddTag(new CTagShowFrame());
        b.Close();

        tavrel_test::ExpectDumpAccepts(path, {"DefineSprite", "DefineEditText", "DefineText"});
        const tavrel_test::ToolResult shot =
            tavrel_test::RunSwfShot(path, path + ".png", "--ms 1500 --pixel 200,146 --pixel 20,20");
        if (shot.exitCode == 3) GTEST_SKIP() << shot.output;
        ASSERT_EQ(shot.exitCode, 0) << shot.output;
        EXPECT_EQ(tavrel_test::ShotPixel(shot.output, 200, 146), r.atBar) << shot.output;
        EXPECT_EQ(tavrel_test::ShotPixel(shot.output, 20, 20), r.atCorner) << shot.output;
    }
}

TEST(Preloader, GeneratedBarTemplateIsAValidMovie)
{
    const std::string path = std::string(TAVREL_BUNDLE_DIR) + "/Contents/Resources/main.rsrc/Prld/1000";
    tavrel_test::ExpectDumpAccepts(path, {"DefineSprite", "DefineShape", "PlaceObject2"});
    const std::string bytes = tavrel_test::ReadFile(path);
    for (const char* name : {"PreloadBar", "BarBg", "BarFg"}) EXPECT_NE(bytes.find(Z(name)), std::string::npos) << name;
}

// The "rwp" preloader: the bundle gets the import source, the movie and the
// three counters and advances them itself; without a bundle nothing happens.
TEST(Preloader, HandsTheLockPreloaderToTheBundle)
{
    TempDir dir;
    struct Row {
        std::string bundle;
        bool result;
        int step;  // the test bundle moves id, depth and frames by 1, 2, 3
    };
    for (const Row& r : {Row{TAVREL_TEST_BUNDLE, true, 1}, Row{TAVREL_TEST_BUNDLE_PLAIN, true, 0},
                         Row{dir.file("missing.bundle"), false, 0}}) {
        SCOPED_TRACE(r.bundle);
        // Held loaded, so that the module's record of the call outlives the call.
        CBundle probe;
        probe.Load(CPath(r.bundle.c_str()));
        CSwfMovie movie;
        ASSERT_TRUE(movie.Open(CPath(dir.file("p.swf").c_str()), true));
        CMovieSettings settings;
        settings.SetPreloadImportSrc(CPath(dir.file("show.vtx").c_str()));
        uint16_t id = 30, depth = 40;
        int frames = 2;
        EXPECT_EQ(BuildLockPreloader(CPath(r.bundle.c_str()), settings, movie, &id, &depth, &frames), r.result);
        EXPECT_EQ(std::vector<int>({id, depth, frames}),
                  std::vector<int>({30 + r.step, 40 + 2 * r.step, 2 + 3 * r.step}));
        if (r.step) {
            auto lastCall = reinterpret_cast<const char* (*)()>(probe.GetFunction("TestBundleLastCall"));
            ASSERT_NE(lastCall, nullptr);
            EXPECT_EQ(std::string(lastCall()).rfind(dir.file("show.vtx") + "|", 0), 0u) << lastCall();
        }
        movie.Close();
    }
}

}  // namespace
