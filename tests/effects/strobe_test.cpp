// Strobe in a compiled show: its sprite, one definition per movie placed on
// every slide that uses it, and what a player shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "effects/strobe.h"
#include "media/jpeg_image.h"
#include "show/slide.h"
#include "show/slide_show.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/reader_primitives.h"
#include "swf/shapes.h"
#include "swf/sprite.h"
#include "transitions/fade_transitions.h"

using tavrel_test::TempDir;

namespace {

constexpr long kSlideRgb = 0x2040C0;

// A one-colour JPEG the size of the stage.
std::string WritePicture(const TempDir& dir)
{
    const int w = 320, h = 240;
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (size_t i = 0; i < rgb.size(); i += 3)
        rgb[i] = uint8_t(kSlideRgb >> 16), rgb[i + 1] = uint8_t(kSlideRgb >> 8), rgb[i + 2] = uint8_t(kSlideRgb);
    CJpegImage jpeg;
    jpeg.SetQuality(95);
    if (!jpeg.Compress(w, h, 24, rgb.data())) return "";
    const std::string path = dir.file("slide.jpg");
    tavrel_test::WriteFile(path, std::string(reinterpret_cast<char*>(jpeg.pixels), jpeg.compressedSize));
    return path;
}

// Slides of 500 ms (6 frames at 12 fps) carrying the named effects.
void AddSlides(CSlideShow& show, const std::string& picture, const std::vector<const char*>& effects)
{
    for (const char* name : effects) {
        auto slide = std::make_unique<CSlide>(CSlide::kImage, &show);
        ASSERT_TRUE(slide->LoadImage(CPath(picture), &show, true));
        slide->SetDuration(500);
        if (std::string(name) == "Strobe") slide->SetSwfFx(std::make_unique<CStrobeEffect>());
        show.InsertSlideAt(std::move(slide), show.GetSlideCount());
    }
}

// The strobe sprite as the tags read back give it.
void ExpectStrobeSprite(const CTagDefineSprite& sprite, const CTagDefineShape& flash)
{
    // Frame 1 places the rectangle untouched, frame 2 hides it, frame 3
    // shows it again and loops.
    struct Step {
        int code;
        bool move;
        int alpha;  // -1: no colour transform
    } steps[] = {{swf_tag::kPlaceObject2, false, -1}, {swf_tag::kShowFrame, false, 0},
                 {swf_tag::kPlaceObject2, true, 0},   {swf_tag::kShowFrame, false, 0},
                 {swf_tag::kPlaceObject2, true, 256}, {swf_tag::kDoAction, false, 0},
                 {swf_tag::kShowFrame, false, 0}};
    EXPECT_EQ(sprite.frameCount, 3);
    ASSERT_GE(sprite.tags.size(), std::size(steps));
    for (size_t i = 0; i < std::size(steps); ++i) {
        const CSwfTag* tag = sprite.tags[i];
        ASSERT_EQ(tag->GetTagCode(), steps[i].code) << "tag " << i;
        if (auto* place = dynamic_cast<const CTagPlaceObject2*>(tag)) {
            EXPECT_EQ(place->depth, 1);
            EXPECT_EQ(place->move, steps[i].move);
            if (!place->move) {
                EXPECT_EQ(place->characterId, flash.GetCharacterId());
            }
            if (steps[i].alpha < 0) {
                EXPECT_EQ(place->cxform, nullptr);
                continue;
            }
            ASSERT_NE(place->cxform, nullptr);
            EXPECT_EQ(place->cxform->alphaMult, steps[i].alpha);
            EXPECT_EQ(place->cxform->redMult + place->cxform->greenMult + place->cxform->blueMult, 3 * 256);
            EXPECT_FALSE(place->cxform->hasAdd);
        }
        if (auto* script = dynamic_cast<const CTagDoAction*>(tag)) {
            ASSERT_EQ(script->actions.size(), 2u);
            auto* go = dynamic_cast<const CActionGotoFrame*>(script->actions[0].get());
            ASSERT_NE(go, nullptr);
            EXPECT_EQ(go->frame, 0);
            EXPECT_EQ(script->actions[1]->GetActionCode(), 0x06);
        }
    }
    // The stage's rectangle, drawn from its bottom-right corner.
    ASSERT_NE(flash.bounds, nullptr);
    EXPECT_TRUE(*flash.bounds == ([] {
        CSwfRect r;
        r.Set(0, 0, 6400, 4800, false);
        return r;
    }()));
    ASSERT_NE(flash.shape, nullptr);
    const auto& records = flash.shape->records;
    ASSERT_EQ(records.size(), 6u);
    auto* start = dynamic_cast<const CShapeRecordStyleChange*>(records[0].get());
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->moveX, 6400);
    EXPECT_EQ(start->moveY, 4800);
    EXPECT_EQ(start->fillStyle1, 1);
    const int edges[][2] = {{-6400, 0}, {0, -4800}, {6400, 0}, {0, 4800}};
    for (int i = 0; i < 4; ++i) {
        auto* edge = dynamic_cast<const CShapeRecordStraightEdge*>(records[size_t(i) + 1].get());
        ASSERT_NE(edge, nullptr);
        EXPECT_EQ(edge->dx, edges[i][0]);
        EXPECT_EQ(edge->dy, edges[i][1]);
    }
    ASSERT_TRUE(flash.shape->fillStyles && flash.shape->fillStyles->GetCount() == 1);
    const CSwfRGB* white = flash.shape->fillStyles->styles[0]->colour.get();
    ASSERT_NE(white, nullptr);
    EXPECT_EQ(white->r + white->g + white->b, 3 * 255);
    EXPECT_TRUE(!flash.shape->lineStyles || flash.shape->lineStyles->GetCount() == 0);
}

// Reads the movie back: the strobe sprite is defined once, after its
// rectangle, and placed on the first and third slides at depths of their
// own, each taken off again before the next slide's frames.
void ExpectOneSpritePlacedTwice(const std::string& path)
{
    CSwfReader reader;
    ASSERT_TRUE(reader.Parse(CPath(path), true, 0, true));
    const CSwfTagList& tags = reader.GetTags(nullptr);
    const CTagDefineShape* flash = nullptr;
    const CTagDefineSprite* sprite = nullptr;
    std::vector<uint16_t> placedAt;
    std::vector<std::string> labelsBefore;  // the last slide label before each placement
    std::string label;
    for (const CSwfTag* tag : tags) {
        if (auto* l = dynamic_cast<const CTagFrameLabel*>(tag)) label = l->label;
        if (auto* s = dynamic_cast<const CTagDefineSprite*>(tag); s && s->frameCount == 3) {
            EXPECT_EQ(sprite, nullptr) << "a second strobe sprite";
            sprite = s;
        }
        if (auto* shape = dynamic_cast<const CTagDefineShape*>(tag);
            shape && shape->GetTagCode() == swf_tag::kDefineShape && shape->bounds && shape->bounds->xmin == 0)
            flash = shape;
        auto* place = dynamic_cast<const CTagPlaceObject2*>(tag);
        if (place && sprite && !place->move && place->characterId == sprite->GetCharacterId()) {
            placedAt.push_back(place->depth);
            labelsBefore.push_back(label);
        }
    }
    ASSERT_NE(sprite, nullptr);
    ASSERT_NE(flash, nullptr);
    EXPECT_EQ(flash->GetCharacterId(), sprite->GetCharacterId() + 1) << "the sprite takes its id first";
    ExpectStrobeSprite(*sprite, *flash);
    EXPECT_EQ(labelsBefore, (std::vector<std::string>{"slide_1", "slide_3"}));
    ASSERT_EQ(placedAt.size(), 2u);
    // Between them only the second and third slides took depths: "None" takes none.
    EXPECT_EQ(placedAt[1], placedAt[0] + 3);
    for (uint16_t depth : placedAt) {
        const auto removed = std::count_if(tags.begin(), tags.end(), [&](const CSwfTag* t) {
            auto* r = dynamic_cast<const CTagRemoveObject2*>(t);
            return r && r->depth == depth;
        });
        EXPECT_EQ(removed, 1) << "depth " << depth;
    }
    reader.ClearTags(true);
}

}  // namespace

TEST(Strobe, OneSpritePerMovieOnEverySlideThatUsesIt)
{
    TempDir dir;
    CSlideShow show;
    show.bg_color = 0;
    AddSlides(show, WritePicture(dir), {"Strobe", "None", "Strobe"});
    // A second export defines the sprite anew in its own movie.
    for (const char* name : {"first.swf", "second.swf"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(show.Export(CPath(path), true, nullptr)) << show.GetLastErrorText();
        ExpectOneSpritePlacedTwice(path);
        tavrel_test::ExpectDumpAccepts(path, {"DefineSprite"});
    }
}

// Played at one frame a second, so that the shot falls between two frames
// of the sprite, which runs on while the movie stops: white, the slide,
// white, then the second slide, which has no effect. The movie comes from
// the show export and from the program compiling a project.
TEST(Strobe, PlayerShowsWhiteSlideWhite)
{
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    TempDir dir;
    const std::string picture = WritePicture(dir);
    const std::string exported = dir.file("exported.swf"), compiled = dir.file("compiled.swf");
    CSlideShow show;
    ASSERT_TRUE(show.SetFps(1));
    AddSlides(show, picture, {"Strobe", "None"});
    for (int i = 0; i < 2; ++i) show.GetSlide(i)->SetDuration(3000);
    ASSERT_TRUE(show.Export(CPath(exported), true, nullptr)) << show.GetLastErrorText();

    const std::string slide = "<slide type=\"image\" src=\"" + picture + "\" duration=\"3000\" >\n";
    tavrel_test::WriteFile(dir.file("strobe.tvr"),
                           "<xml version=\"1.0\">\n<tavrel version_major=\"1\" version_minor=\"122\">\n"
                           "<slide_show fps=\"1\">\n<slides>\n" +
                               slide + "<swf_fx name=\"Strobe\" />\n</slide>\n" + slide +
                               "</slide>\n</slides>\n</slide_show>\n</tavrel>\n</xml>\n");
    const auto run = tavrel_test::RunCommand(std::string("'") + TAVREL_PROGRAM + "' '" + dir.file("strobe.tvr") +
                                             "' '" + compiled + "'");
    ASSERT_EQ(run.exitCode, 0) << run.output;

    // The sprite flashes on while the movie stops, so a shot taken late on
    // a busy machine finds it a flash or more further on: on time the
    // strobed frames are white, the slide, white; late, each is one of the
    // two. The strobed slide must show both (shot again, up to three rounds,
    // where the shots so far caught one), and the slide after it no flash.
    auto near = [](long got, long want) {
        for (int shift : {16, 8, 0})
            if (std::abs(((got >> shift) & 0xFF) - ((want >> shift) & 0xFF)) > 3) return false;
        return true;
    };
    for (const std::string& path : {exported, compiled}) {
        SCOPED_TRACE(path);
        bool white = false, plain = false;
        std::string seen;
        for (int round = 0; round < 3 && !(white && plain); ++round) {
            // The shots of one movie run side by side.
            std::vector<std::future<tavrel_test::ToolResult>> shots;
            for (int frame = 1; frame <= 4; ++frame)
                shots.push_back(std::async(std::launch::async, [&, frame] {
                    return tavrel_test::RunSwfShot(path, path + std::to_string(frame) + ".png",
                                                   "--stop-at " + std::to_string(frame) +
                                                       " --pixel 160,120 --pixel 5,5");
                }));
            for (int frame = 1; frame <= 4; ++frame) {
                const tavrel_test::ToolResult shot = shots[size_t(frame) - 1].get();
                if (shot.exitCode == 3) GTEST_SKIP() << shot.output;
                ASSERT_EQ(shot.exitCode, 0) << shot.output;
                const long centre = tavrel_test::ShotPixel(shot.output, 160, 120);
                const long corner = tavrel_test::ShotPixel(shot.output, 5, 5);
                seen += " " + std::to_string(centre) + "/" + std::to_string(corner);
                // The flash covers the whole stage: both pixels alike.
                EXPECT_TRUE(near(centre, kSlideRgb) || near(centre, 0xFFFFFF)) << "frame " << frame << seen;
                EXPECT_TRUE(near(corner, centre)) << "frame " << frame << seen;
                if (frame == 4) {
                    EXPECT_TRUE(near(centre, kSlideRgb)) << "the slide after the strobe:" << seen;
                    continue;
                }
                white = white || near(centre, 0xFFFFFF);
                plain = plain || near(centre, kSlideRgb);
            }
        }
        EXPECT_TRUE(white && plain) << "the strobed slide's shots:" << seen;
    }
}

// Strobe among the fades in a harness scene: the display list replays clean
// (no strobe outlives its slide), a slide without an effect takes no depth
// for one, and the checkers accept the movie.
TEST(Strobe, SceneWithTheFades)
{
    auto slide = [](long rgb, std::unique_ptr<CTransition> t, bool strobe) {
        if (t) t->SetDuration(500);
        return tavrel_test::SceneSlide{
            rgb, 200, 150, std::move(t), strobe ? std::make_unique<CStrobeEffect>() : nullptr, 3};
    };
    tavrel_test::Scene scene;
    scene.slides.push_back(slide(0xC02020, nullptr, true));
    scene.slides.push_back(slide(0x20C020, std::make_unique<CFadeInTransition>(), false));
    scene.slides.push_back(slide(0x2020C0, std::make_unique<CCrossFadeTransition>(), true));
    scene.slides.push_back(slide(0xC0C020, std::make_unique<CFadeOutTransition>(), true));
    TempDir dir;
    tavrel_test::SceneMovie movie;
    ASSERT_TRUE(tavrel_test::WriteScene(scene, dir.file("scene.swf"), &movie));
    tavrel_test::ExpectSceneReplays(movie);
    ASSERT_GE(movie.marks.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(movie.marks[size_t(i)].effectDepth != 0, i != 1) << "slide " << i + 1;
    tavrel_test::ExpectDumpAccepts(movie.path, {"DefineSprite", "PlaceObject2", "RemoveObject2"});
}
