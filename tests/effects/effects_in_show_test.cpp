// Bubbles, Hearts and Old Movie in whole movies: one definition per movie
// placed on every slide that uses it, and what a player shows of each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "effect_checks.h"
#include "effect_pixels.h"
#include "effects/bubbles.h"
#include "effects/hearts.h"
#include "effects/old_movie.h"
#include "show/slide.h"
#include "show/slide_show.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/reader_primitives.h"

using effect_pixels::Shot;
using tavrel_test::TempDir;

namespace {

// The hearts' field: twenty placements over 21 frames and a second.
bool IsHeartsField(const CTagDefineSprite& sprite, float rate)
{
    return effect_test::Placements(sprite).size() == 20 && sprite.frameCount == 21 + int(rate);
}

// Reads an exported movie back: the field is defined once, and placed on
// the first and third slides, each placement taken off again.
void ExpectOneFieldPlacedTwice(const std::string& path)
{
    CSwfReader reader;
    ASSERT_TRUE(reader.Parse(CPath(path), true, 0, true));
    const CSwfTagList& tags = reader.GetTags(nullptr);
    const CTagDefineSprite* field = nullptr;
    int fields = 0;
    std::vector<std::string> labelsBefore;
    std::vector<uint16_t> depths;
    std::string label;
    for (const CSwfTag* tag : tags) {
        if (auto* l = dynamic_cast<const CTagFrameLabel*>(tag)) label = l->label;
        if (auto* s = dynamic_cast<const CTagDefineSprite*>(tag); s && IsHeartsField(*s, 12.0f)) {
            field = s;
            ++fields;
        }
        auto* place = dynamic_cast<const CTagPlaceObject2*>(tag);
        if (place && field && !place->move && place->characterId == field->GetCharacterId()) {
            labelsBefore.push_back(label);
            depths.push_back(place->depth);
        }
    }
    EXPECT_EQ(fields, 1) << path;
    EXPECT_EQ(labelsBefore, (std::vector<std::string>{"slide_1", "slide_3"})) << path;
    for (uint16_t depth : depths) {
        const auto removed = std::count_if(tags.begin(), tags.end(), [&](const CSwfTag* t) {
            auto* r = dynamic_cast<const CTagRemoveObject2*>(t);
            return r && r->depth == depth;
        });
        EXPECT_EQ(removed, 1) << "depth " << depth;
    }
    reader.ClearTags(true);
}

TEST(EffectsInShow, HeartsNoneHeartsTwoExports)
{
    TempDir dir;
    CSlideShow show;
    for (bool hearts : {true, false, true}) {
        auto slide = std::make_unique<CSlide>(CSlide::kBlank, &show);
        slide->SetDuration(500);
        if (hearts) slide->SetSwfFx(std::make_unique<CHeartsEffect>());
        show.InsertSlideAt(std::move(slide), show.GetSlideCount());
    }
    // A second export defines the field anew in its own movie.
    for (const char* name : {"first.swf", "second.swf"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(show.Export(CPath(path), true, nullptr)) << show.GetLastErrorText();
        ExpectOneFieldPlacedTwice(path);
        for (const std::string& f : tavrel_test::ReplayDisplayList(path).faults) ADD_FAILURE() << f;
        tavrel_test::ExpectDumpAccepts(path, {"DefineSprite", "DoAction"});
    }
}

// The 1-based frame in which the scene places its first effect.
int EffectFrame(const tavrel_test::SceneMovie& movie)
{
    int frame = 1;
    for (const tavrel_test::TagEvent& e : tavrel_test::ReadTagEvents(movie.path)) {
        if (e.code == swf_tag::kPlaceObject2 && !e.move && e.depth == movie.marks[0].effectDepth) return frame;
        frame += e.code == swf_tag::kShowFrame;
    }
    return 0;
}

// A seed whose second draw is high, so that the hearts are mostly opaque.
unsigned SeedForOpaqueHearts()
{
    for (unsigned seed = 1;; ++seed) {
        std::srand(seed);
        std::rand();
        if (std::rand() % 90 >= 80) return seed;
    }
}

// Each effect over a slide that fills the stage. Where the pieces land is
// the player's random choice, so the shots count pixels: the effect's own
// colours somewhere on the stage, the slide's over most of it.
TEST(EffectsInShow, PlayerShowsEachEffectOverItsSlide)
{
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    const struct {
        const char* name;
        std::function<std::unique_ptr<COverlayEffect>()> make;
        long slide;
        bool hiddenAtFirst;
        int later;  // frames after the first one of the effect
        std::function<bool(long rgb, long slide)> own;  // a pixel of the effect's colours
    } rows[] = {
        {"Hearts", [] { return std::make_unique<CHeartsEffect>(); }, 0x204060, true, 14, effect_pixels::HeartPixel},
        {"Bubbles", [] { return std::make_unique<CBubblesEffect>(); }, 0x602020, true, 48, effect_pixels::BubblePixel},
        {"Old Movie", [] { return std::make_unique<COldMovieEffect>(); }, 0xF0F0F0, false, 1, nullptr},
    };
    TempDir dir;
    // A scene of the effect over one slide at a rate; the frame it enters.
    auto write = [&dir](const auto& row, float rate, int hold, std::string* path) {
        std::srand(SeedForOpaqueHearts());
        tavrel_test::Scene scene;
        scene.rate = rate;
        scene.loop = false;
        scene.slides.push_back({row.slide, 320, 240, nullptr, row.make(), hold});
        tavrel_test::SceneMovie movie;
        *path = dir.file(std::string(row.name) + std::to_string(int(rate)) + ".swf");
        if (!tavrel_test::WriteScene(scene, *path, &movie)) return 0;
        tavrel_test::ExpectSceneReplays(movie);
        return EffectFrame(movie);
    };
    for (const auto& row : rows) {
        // The player stops the main timeline only: the effect's sprites
        // play on until the shot. Played at a frame in four seconds, the
        // shot falls inside the effect's first frame.
        std::string path;
        if (row.hiddenAtFirst) {
            const int first = write(row, 1.0f, 3, &path);
            ASSERT_GT(first, 0) << row.name;
            const Shot atFirst = effect_pixels::PlayTo(path, first, nullptr, 0.25);
            if (atFirst.exitCode == 3) GTEST_SKIP() << atFirst.output;
            ASSERT_EQ(atFirst.exitCode, 0) << row.name << ": " << atFirst.output;
            EXPECT_GT(atFirst.width * atFirst.height, 0);
            EXPECT_EQ(effect_pixels::Count(atFirst, [&](long p) { return !effect_pixels::Near(p, row.slide, 6); }), 0)
                << row.name << " shows in its first frame";
        }

        const int first = write(row, 12.0f, row.later + 10, &path);
        ASSERT_GT(first, 0) << row.name;
        const auto inView = [&](const Shot& s) {
            return row.own ? effect_pixels::Count(s, [&](long p) { return row.own(p, row.slide); }) > 20
                           : !effect_pixels::GreyColumns(s, row.slide).empty();
        };
        const Shot later = effect_pixels::PlayTo(path, first + row.later, inView);
        if (later.exitCode == 3) GTEST_SKIP() << later.output;
        ASSERT_EQ(later.exitCode, 0) << row.name << ": " << later.output;
        const long stage = long(later.width) * later.height;
        const long slidePixels = effect_pixels::Count(later, [&](long p) { return effect_pixels::Near(p, row.slide, 6); });
        EXPECT_GT(slidePixels, stage / 2) << row.name << ": the slide shows round the effect";
        if (row.own) {
            EXPECT_GT(effect_pixels::Count(later, [&](long p) { return row.own(p, row.slide); }), 20)
                << row.name << " in frame " << first + row.later;
        } else {
            EXPECT_FALSE(effect_pixels::GreyColumns(later, row.slide).empty()) << "no scratch spans the picture";
        }
    }
}

}  // namespace
