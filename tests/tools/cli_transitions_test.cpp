// A project with the fades, compiled by the program, replayed and played.
#include <gtest/gtest.h>
#include <png.h>

#include <future>
#include <memory>

#include "../effects/effect_pixels.h"
#include "../show/show_test_util.h"
#include "program_runner.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/object.h"

namespace {

using tavrel_test::TagEvent;
using tavrel_test::TempDir;

std::string SolidPng(const TempDir& dir, const std::string& name, long rgb, int width = 320, int height = 240)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> pixels(size_t(width) * size_t(height) * 3);
    for (size_t i = 0; i < pixels.size(); i += 3)
        pixels[i] = png_byte(rgb >> 16), pixels[i + 1] = png_byte(rgb >> 8), pixels[i + 2] = png_byte(rgb);
    const std::string path = dir.file(name);
    EXPECT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr));
    return path;
}

// The 1-based frame that holds the label.
int FrameOfLabel(const std::vector<TagEvent>& events, const std::string& label)
{
    int frame = 1;
    for (const TagEvent& e : events) {
        if (e.code == swf_tag::kFrameLabel && e.label == label) return frame;
        frame += e.code == swf_tag::kShowFrame;
    }
    ADD_FAILURE() << "no label " << label;
    return 1;
}

// A slide of the show: its colour and its transition element; a picture
// of another size is shown at that size, and camera holds the slide's
// pan_zoom element.
struct ShowSlide {
    long rgb;
    const char* transition;
    int width = 320, height = 240;
    const char* camera = "";
};

// The show of 320 × 240 solid slides, each shown for durationMs after its
// transition, compiled by the program; showHead opens the slide_show element
// and may add its settings. The movie's path, empty when the program failed.
std::string CompileShow(const TempDir& dir, const std::vector<ShowSlide>& slides, int durationMs = 500,
                        const std::string& showHead = "<slide_show>\n")
{
    std::string xml;
    for (size_t i = 0; i < slides.size(); ++i) {
        const ShowSlide& s = slides[i];
        const std::string size = s.width == 320 && s.height == 240
                                     ? std::string()
                                     : " scale_to_fit=\"false\" width=\"" + std::to_string(s.width) +
                                           "\" height=\"" + std::to_string(s.height) + "\"";
        xml += "<slide type=\"image\" src=\"" +
               SolidPng(dir, "s" + std::to_string(i) + ".png", s.rgb, s.width, s.height) + "\"" + size +
               " duration=\"" + std::to_string(durationMs) + "\" >\n<transition_in>\n" + s.transition +
               "\n</transition_in>\n" + s.camera + "</slide>\n";
    }
    EXPECT_TRUE(tavrel_test::WriteFile(dir.file("show.tvr"),
                                       show_test::WrapShow(showHead + "<slides>\n" + xml + "</slides>\n</slide_show>\n")));
    const cli_test::ProgramResult r = cli_test::RunProgram({"show.tvr", "out.swf"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.exitCode == 0 ? dir.file("out.swf") : std::string();
}

long Blend(long a, long b)
{
    long out = 0;
    for (int s : {16, 8, 0}) out |= (((a >> s & 0xFF) + (b >> s & 0xFF)) / 2) << s;
    return out;
}

// CompileShow, then the movie checked with swf-dump and the display-list
// replay; its path ("" when the program failed).
std::string CompileSlides(const TempDir& dir, const std::vector<ShowSlide>& slides,
                          const std::vector<std::string>& tagNames)
{
    const std::string movie = CompileShow(dir, slides);
    if (movie.empty()) return "";
    tavrel_test::ExpectDumpAccepts(movie, tagNames);
    for (const std::string& f : tavrel_test::ReplayDisplayList(movie).faults) ADD_FAILURE() << f;
    return movie;
}

TEST(CliTransitions, CompiledProjectPlaysTheFades)
{
    TempDir dir;
    const long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    const std::string movie = CompileSlides(dir,
                                            {
                                                {kA, "<transition name=\"None\" duration=\"1500\" />"},
                                                {kB, "<transition name=\"fade in\" duration=\"2000\" />"},
                                                {kC,
                                                 "<transition name=\"Color Fade\" duration=\"1000\" "
                                                 "fade_color=\"16744480\" />"},
                                                {kA, "<transition name=\"Fade Out\" duration=\"1000\" />"},
                                                {kB, "<transition name=\"Cross Fade\" duration=\"1000\" />"},
                                            },
                                            {"PlaceObject2", "RemoveObject2"});
    ASSERT_FALSE(movie.empty());

    const auto events = tavrel_test::ReadTagEvents(movie);
    // Frame 12 of 24 of the Fade In, frame 6 of 12 of the Color Fade, and
    // the first frames after Fade Out and Cross Fade.
    const std::pair<int, int> centre{160, 120};
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_2") + 11, {{centre, Blend(kA, kB)}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_3") + 5, {{centre, 0x2080FF}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slide_4"), {{centre, kA}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slide_5"), {{centre, kB}}, 8);
}

// Close and Open by halves, Triangle Open by corners and Page Flip, at 24
// frames each between full-size slides.
TEST(CliTransitions, CompiledProjectPlaysTheSlidePieces)
{
    TempDir dir;
    const long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    const std::vector<ShowSlide> slides = {
        {kA, "<transition name=\"None\" duration=\"1500\" />"},
        {kB, "<transition name=\"Slide Close\" duration=\"2000\" direction=\"horizontal\" />"},
        {kC, "<transition name=\"Slide Open\" duration=\"2000\" direction=\"vertical\" />"},
        {kA, "<transition name=\"Slide Triangle Open\" duration=\"2000\" direction=\"corners\" />"},
        {kB, "<transition name=\"Page Flip\" duration=\"2000\" />"},
    };
    const std::string movie = CompileSlides(dir, slides, {"PlaceObject2", "RemoveObject2", "DefineShape"});
    ASSERT_FALSE(movie.empty());

    const auto events = tavrel_test::ReadTagEvents(movie);
    // Played, not sought: the show's own first-frame script may still run
    // when a seek lands. Close, frame 18: the halves' inner edges at 79.4
    // and 240.6 px.
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_2") + 17,
                                   {{{40, 120}, kB}, {{160, 120}, kA}, {{280, 120}, kB}}, 8);
    // Open, frame 12: the halves 60 px apart from the centre line.
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_3") + 11,
                                   {{{160, 30}, kB}, {{160, 120}, kC}, {{160, 210}, kB}}, 8);
    // Triangle Open, frame 6: the apexes 79.8 px out from the centre.
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_4") + 5,
                                   {{{30, 120}, kC}, {{160, 20}, kC}, {{160, 120}, kA}, {{300, 120}, kC}}, 8);
    // Page Flip, frame 12: the page folded flat, the new slide's right half
    // beside the old slide's left.
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_5") + 11, {{{80, 120}, kA}, {{240, 120}, kB}},
                                   8);
}

// Bubbles, Hearts and Old Movie from a project file: the compiled movie
// plays each over its slide as the effects' own tests see it.
TEST(CliTransitions, CompiledProjectPlaysBubblesHeartsOldMovie)
{
    TempDir dir;
    const struct {
        const char* effect;
        long rgb;
        int duration;  // ms
        int later;  // the frame after the slide's label that is shot
        bool (*own)(long pixel, long slide);  // null: a scratch spans the picture
    } slides[] = {
        {"Bubbles", 0x602020, 5000, 48, effect_pixels::BubblePixel},
        {"Hearts", 0x204060, 2000, 14, effect_pixels::HeartPixel},
        {"Old Movie", 0xF0F0F0, 1000, 1, nullptr},
    };
    std::string xml;
    for (size_t i = 0; i < std::size(slides); ++i)
        xml += "<slide type=\"image\" src=\"" + SolidPng(dir, "s" + std::to_string(i) + ".png", slides[i].rgb) +
               "\" duration=\"" + std::to_string(slides[i].duration) + "\" >\n<swf_fx name=\"" + slides[i].effect +
               "\" />\n</slide>\n";
    ASSERT_TRUE(tavrel_test::WriteFile(
        dir.file("show.tvr"), show_test::WrapShow("<slide_show>\n<slides>\n" + xml + "</slides>\n</slide_show>\n")));
    const cli_test::ProgramResult r = cli_test::RunProgram({"show.tvr", "out.swf"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string movie = dir.file("out.swf");
    tavrel_test::ExpectDumpAccepts(movie, {"DefineSprite", "DoAction", "PlaceObject2"});
    for (const std::string& f : tavrel_test::ReplayDisplayList(movie).faults) ADD_FAILURE() << f;

    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    const auto events = tavrel_test::ReadTagEvents(movie);
    for (size_t i = 0; i < std::size(slides); ++i) {
        const auto& s = slides[i];
        const int frame = FrameOfLabel(events, "slide_" + std::to_string(i + 1)) + s.later;
        const effect_pixels::Shot shot = effect_pixels::PlayTo(movie, frame, [&](const effect_pixels::Shot& shown) {
            return s.own ? effect_pixels::Count(shown, [&](long p) { return s.own(p, s.rgb); }) > 20
                         : !effect_pixels::GreyColumns(shown, s.rgb).empty();
        });
        if (shot.exitCode == 3) GTEST_SKIP() << shot.output;
        ASSERT_EQ(shot.exitCode, 0) << s.effect << ": " << shot.output;
        const long stage = long(shot.width) * shot.height;
        EXPECT_GT(effect_pixels::Count(shot, [&](long p) { return effect_pixels::Near(p, s.rgb, 6); }), stage / 2)
            << s.effect << ": the slide shows round the effect";
        if (s.own) {
            EXPECT_GT(effect_pixels::Count(shot, [&](long p) { return s.own(p, s.rgb); }), 20)
                << s.effect << " in frame " << frame;
        } else {
            EXPECT_FALSE(effect_pixels::GreyColumns(shot, s.rgb).empty()) << "no scratch spans the picture";
        }
    }
}

// Checker, Circular Sweep On and Window, each 24 frames at 12 a second.
TEST(CliTransitions, CompiledProjectPlaysCheckerSweepAndWindow)
{
    TempDir dir;
    const long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    const std::string movie =
        CompileSlides(dir,
                      {
                          {kA, "<transition name=\"None\" duration=\"1000\" />"},
                          {kB,
                           "<transition name=\"Checker\" duration=\"2000\" type=\"appear\" "
                           "direction=\"horizontal_left_to_right_down\" />"},
                          {kC, "<transition name=\"Circular Sweep On\" duration=\"2000\" />"},
                          {kA, "<transition name=\"Window\" duration=\"2000\" type=\"square_open\" spin=\"false\" />"},
                      },
                      {"PlaceObject2", "RemoveObject2", "DefineShape"});
    ASSERT_FALSE(movie.empty());

    const auto events = tavrel_test::ReadTagEvents(movie);
    // Checker frame 6: the first row in, the last row not; Sweep frame 9:
    // the top-left quadrant swept, the bottom-right not; Window frame 6: a
    // square of 80 px half side in the centre.
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_2") + 5,
                                   {{{40, 40}, kB}, {{280, 40}, kB}, {{280, 200}, kA}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_3") + 8, {{{80, 60}, kC}, {{240, 180}, kB}},
                                   8);
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_4") + 5,
                                   {{{160, 120}, kA}, {{10, 10}, kC}, {{310, 230}, kC}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slide_4"), {{{160, 120}, kA}, {{10, 10}, kA}}, 8);
}

}  // namespace

namespace {

// The masked kinds in one project: each transition of 4 frames between
// full-frame slides, mid-way shots showing their geometry and shots after
// them showing only the new slide.
TEST(CliTransitions, CompiledProjectPlaysTheMaskedKinds)
{
    TempDir dir;
    const long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    const std::vector<ShowSlide> slides = {
        {kA, "<transition name=\"None\" duration=\"500\" />"},
        {kB, "<transition name=\"Sliding Bars\" duration=\"333\" direction=\"horizontal\" />"},
        {kC, "<transition name=\"Blinds In\" duration=\"333\" direction=\"horizontal_up\" />"},
        {kA, "<transition name=\"Blinds Out\" duration=\"333\" direction=\"vertical_right\" />"},
        {kB, "<transition name=\"Curtain\" duration=\"333\" />"},
        {kC, "<transition name=\"Wipe On\" duration=\"333\" direction=\"right\" />"},
        {kA, "<transition name=\"Wipe On 2\" duration=\"333\" direction=\"diag_to_top_left\" />"},
        {kB, "<transition name=\"Wipe Off\" duration=\"333\" direction=\"down\" />"},
    };
    const std::string movie = CompileShow(dir, slides, 250);
    ASSERT_FALSE(movie.empty());
    tavrel_test::ExpectDumpAccepts(movie, {"PlaceObject2", "RemoveObject2", "DefineShape"});
    const tavrel_test::Replay replay = tavrel_test::ReplayDisplayList(movie);
    for (const std::string& f : replay.faults) ADD_FAILURE() << f;
    // After each transition as many layers stand as after the first slide's cut.
    const auto first = replay.atLabel.find("slide_1");
    ASSERT_NE(first, replay.atLabel.end());
    for (size_t i = 2; i <= std::size(slides); ++i) {
        const auto at = replay.atLabel.find("slide_" + std::to_string(i));
        ASSERT_NE(at, replay.atLabel.end());
        EXPECT_EQ(at->second.size(), first->second.size()) << "slide " << i;
    }

    const auto events = tavrel_test::ReadTagEvents(movie);
    const auto transition = [&](int slide) { return FrameOfLabel(events, "slidepre_" + std::to_string(slide)); };
    // Frame 2 of 4: the first bar from the left half way in; the Blinds In
    // slats half open from their lower edges; Wipe On "right" over the
    // left half. Then, after Wipe Off, the last slide alone.
    tavrel_test::ExpectPlayedFrame(movie, transition(2) + 1, {{{80, 5}, kB}, {{240, 5}, kA}, {{80, 15}, kA}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, transition(3) + 1, {{{100, 15}, kC}, {{100, 5}, kB}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, transition(6) + 1, {{{40, 120}, kC}, {{300, 120}, kB}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slide_8"), {{{160, 120}, kB}, {{10, 230}, kB}}, 8);
}

// Fireworks over one slide and Snow over the next, compiled by the program:
// bursts in their own colours with the slide round them, then light flakes
// that are lower three seconds later.
TEST(CliTransitions, CompiledProjectPlaysFireworksAndSnow)
{
    TempDir dir;
    const long kGreen = 0x183018, kBlue = 0x101830;
    const std::string xml = "<slide type=\"image\" src=\"" + SolidPng(dir, "a.png", kGreen) +
                            "\" duration=\"3000\" >\n<swf_fx name=\"Fireworks\" />\n</slide>\n"
                            "<slide type=\"image\" src=\"" + SolidPng(dir, "b.png", kBlue) +
                            "\" duration=\"5000\" >\n<swf_fx name=\"Snow\" />\n</slide>\n";
    ASSERT_TRUE(tavrel_test::WriteFile(
        dir.file("show.tvr"), show_test::WrapShow("<slide_show>\n<slides>\n" + xml + "</slides>\n</slide_show>\n")));
    const cli_test::ProgramResult r = cli_test::RunProgram({"show.tvr", "out.swf"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string movie = dir.file("out.swf");
    tavrel_test::ExpectDumpAccepts(movie, {"DefineShape3", "DefineSprite", "DoAction"});
    for (const std::string& f : tavrel_test::ReplayDisplayList(movie).faults) ADD_FAILURE() << f;

    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    const auto events = tavrel_test::ReadTagEvents(movie);
    auto play = [&](const std::string& label, int frame, auto is, long least) {
        return effect_pixels::PlayTo(movie, FrameOfLabel(events, label) + frame - 1,
                                     [&](const effect_pixels::Shot& s) { return effect_pixels::Count(s, is) > least; });
    };
    auto burst = [&](long p) { return effect_pixels::BurstPixel(p, kGreen); };
    for (int frame : {4, 10}) {
        const effect_pixels::Shot shot = play("slide_1", frame, burst, 10);
        if (shot.exitCode == 3) GTEST_SKIP() << shot.output;
        ASSERT_EQ(shot.exitCode, 0) << shot.output;
        EXPECT_GT(effect_pixels::Count(shot, burst), 10) << "fireworks frame " << frame;
        EXPECT_GT(effect_pixels::Count(shot, [&](long p) { return effect_pixels::Near(p, kGreen, 3); }),
                  long(shot.width) * shot.height / 5);
    }
    int lowest = -1;
    auto light = [&](long p) { return effect_pixels::FlakePixel(p, kBlue); };
    for (int frame : {12, 48}) {
        const effect_pixels::Shot shot = play("slide_2", frame, light, 3);
        ASSERT_EQ(shot.exitCode, 0) << shot.output;
        EXPECT_GT(effect_pixels::Count(shot, light), 3) << "snow frame " << frame;
        const int row = effect_pixels::LowestRow(shot, light);
        EXPECT_GT(row, lowest) << "snow frame " << frame;
        lowest = row;
    }
}

TEST(CliTransitions, CompiledProjectPlaysTheMovingKinds)
{
    TempDir dir;
    const long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0, kGrey = 0x888888;
    // 400 ms at 30 frames a second: 12 frames, the sixth half-way.
    const std::vector<ShowSlide> slides = {
        // 7 frames: Push stores a place 4 twips short, which the loop back must not start from.
        {kA, "<transition name=\"Push\" duration=\"233\" direction=\"right\" />"},
        {kB, "<transition name=\"Push\" duration=\"400\" direction=\"right\" />"},
        {kC, "<transition name=\"Zoom In\" duration=\"400\" direction=\"none\" />"},
        {kA, "<transition name=\"Spin In\" duration=\"400\" spins=\"0.25\" clockwise=\"true\" />"},
        {kB, "<transition name=\"Blur In\" duration=\"400\" />"},
        {kC, "<transition name=\"Cross Scale\" duration=\"400\" />"},
        {kA, "<transition name=\"Slide Out To\" duration=\"400\" final_x=\"0\" final_y=\"0\" final_sx=\"0\" "
             "final_sy=\"0\" fade_out=\"true\" />"},
        {kB, "<transition name=\"Zoom Out\" duration=\"400\" direction=\"bottom_left\" />"},
        {kC, "<transition name=\"Spin Out\" duration=\"400\" spins=\"1.8\" clockwise=\"false\" />"},
        {kA, "<transition name=\"Blur Out\" duration=\"400\" />"},
        {kB, "<transition name=\"Slide In From\" duration=\"400\" final_x=\"-50\" final_y=\"20\" final_sx=\"0.5\" "
             "final_sy=\"0.5\" fade_out=\"false\" />"},
        {kC, "<transition name=\"Push\" duration=\"40\" direction=\"to_top_left\" />"},
    };
    const std::string movie = CompileShow(dir, slides, 40, "<slide_show fps=\"30\">\n<swf_data loop=\"forever\" />\n");
    ASSERT_FALSE(movie.empty());
    tavrel_test::ExpectDumpAccepts(movie, {"PlaceObject2", "RemoveObject2", "DefineShape"});
    for (const std::string& f : tavrel_test::ReplayDisplayList(movie).faults) ADD_FAILURE() << f;

    const auto events = tavrel_test::ReadTagEvents(movie);
    auto half = [&](int slide) { return FrameOfLabel(events, "slidepre_" + std::to_string(slide)) + 5; };
    const std::pair<int, int> centre{160, 120}, corner{5, 5};
    // Push to the right: the new slide on the left half, the old on the right.
    tavrel_test::ExpectPlayedFrame(movie, half(2), {{{100, 120}, kB}, {{220, 120}, kA}}, 8);
    // Zoom In about the centre at half scale.
    tavrel_test::ExpectPlayedFrame(movie, half(3), {{centre, kC}, {corner, kB}}, 8);
    // Spin In: half grown and turned 45 degrees back, reaching below an upright half.
    tavrel_test::ExpectPlayedFrame(movie, half(4), {{centre, kA}, {{160, 195}, kA}, {corner, kC}}, 8);
    // Blur In: the slide and both ghosts at half alpha.
    long seen = 0;  // kB over kA at 1/2, then twice more at 1/2
    for (int sh : {16, 8, 0}) seen |= long(((kA >> sh & 0xFF) + 7 * (kB >> sh & 0xFF)) / 8.0 + 0.5) << sh;
    tavrel_test::ExpectPlayedFrame(movie, half(5), {{centre, seen}}, 8);
    // Cross Scale between two slides of one size: the grey rectangle over the whole stage.
    tavrel_test::ExpectPlayedFrame(movie, half(6), {{centre, kGrey}, {corner, kGrey}}, 8);
    // After the last transition only its slide shows.
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slide_12"), {{centre, kC}, {corner, kC}}, 8);

    // The loop back places the first slide from its own centre again: one
    // frame width to the left, like the first time.
    std::vector<const TagEvent*> firstPlacements;
    uint16_t first = 0;
    bool inFirst = false;
    for (const TagEvent& e : events) {
        inFirst = (inFirst || e.label == "slidepre_1") && e.label != "slide_1";
        if (inFirst && !first && e.code == swf_tag::kPlaceObject2 && e.hasCharacter) first = e.characterId;
        if (first && e.code == swf_tag::kPlaceObject2 && !e.move && e.characterId == first) firstPlacements.push_back(&e);
    }
    ASSERT_EQ(firstPlacements.size(), 2u);
    for (const TagEvent* e : firstPlacements) {
        EXPECT_EQ(e->matrix.translateX, 3200 - 6400);
        EXPECT_EQ(e->matrix.translateY, 2400);
    }
}


// The last frame of the transition into slide n (1-based), which the
// label "slide_n" follows.
int LastFrameInto(const std::vector<TagEvent>& events, int slide)
{
    return FrameOfLabel(events, "slide_" + std::to_string(slide)) - 1;
}

// Shots of transitions at their last frame, sought rather than played (the
// longest runs 7200 frames): each slide stands whole in its place, with no
// strip of the slide before it or of the black stage.
void ExpectLastFrames(const std::string& movie, const std::vector<std::pair<int, std::vector<std::pair<std::pair<int, int>, long>>>>& shots)
{
    const auto events = tavrel_test::ReadTagEvents(movie);
    for (const auto& [slide, pixels] : shots) {
        SCOPED_TRACE("into slide " + std::to_string(slide));
        tavrel_test::ExpectFrame(movie, LastFrameInto(events, slide), pixels, 8);
    }
}

// Long runs and extreme settings of the moving kinds: each slide is in its
// place at its transition's last frame. Push of 600,000 ms at 12 frames a
// second has 7200 frames for 6400 twips; of 30,000 ms 360 frames, 280 twips
// left over; Zoom In of 20 s 240 frames for 3200 twips, 80 over. Spin In
// turns a million times and ends upright; Slide In From a start scale of -2
// ends at the slide's own size. Short runs first and the longest last, so
// that the shots seek as little of the movie as they can.
TEST(CliTransitions, MovingKindsEndInPlace)
{
    TempDir dir;
    const long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    const std::string movie = CompileShow(
        dir, {
                 {kA, "<transition name=\"None\" duration=\"500\" />"},
                 {kB, "<transition name=\"Spin In\" duration=\"2000\" spins=\"1000000\" clockwise=\"true\" />"},
                 {kC,
                  "<transition name=\"Slide In From\" duration=\"2000\" final_x=\"0\" final_y=\"0\" "
                  "final_sx=\"-2\" final_sy=\"-2\" fade_out=\"false\" />",
                  100, 80},
                 {kA, "<transition name=\"None\" duration=\"500\" />"},
                 {kB, "<transition name=\"Push\" duration=\"30000\" direction=\"right\" />"},
                 {kA, "<transition name=\"Zoom In\" duration=\"20000\" direction=\"right\" />"},
                 {kB, "<transition name=\"Push\" duration=\"600000\" direction=\"right\" />"},
             });
    ASSERT_FALSE(movie.empty());
    for (const std::string& f : tavrel_test::ReplayDisplayList(movie).faults) ADD_FAILURE() << f;
    const std::pair<int, int> left{3, 120}, right{316, 120}, centre{160, 120};
    ExpectLastFrames(movie, {
                                // Upright: the corners are the new slide's.
                                {2, {{{2, 2}, kB}, {{317, 2}, kB}, {{2, 237}, kB}, {{317, 237}, kB}}},
                                // 100 × 80 in the centre, the slide before round it.
                                {3, {{centre, kC}, {{115, 120}, kC}, {{105, 120}, kB}, {{160, 75}, kB}, {{160, 165}, kB}}},
                                {5, {{left, kB}, {right, kB}, {{313, 120}, kB}}},
                                {6, {{left, kA}, {{318, 120}, kA}, {{318, 5}, kA}}},
                                {7, {{left, kB}, {centre, kB}, {right, kB}}},
                            });
}

// After a camera move the old slide's copy starts where the move left it;
// Wipe Off, Slide Open and Page Flip take it away whole by their last
// frame, the new slide standing alone there.
TEST(CliTransitions, OldSlideGoneAfterACameraMove)
{
    TempDir dir;
    const long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    const char* const zoom15 = "<pan_zoom>\n<camera_fx name=\"pan_zoom\" duration=\"250\" pan_x=\"0\" pan_y=\"0\" zoom=\"1.5\" />\n</pan_zoom>\n";
    const char* const zoom14 = "<pan_zoom>\n<camera_fx name=\"pan_zoom\" duration=\"250\" pan_x=\"0\" pan_y=\"0\" zoom=\"1.4\" />\n</pan_zoom>\n";
    const char* const pan60 = "<pan_zoom>\n<camera_fx name=\"pan_zoom\" duration=\"250\" pan_x=\"1200\" pan_y=\"0\" zoom=\"1\" />\n</pan_zoom>\n";
    const std::string movie = CompileShow(
        dir, {
                 {kA, "<transition name=\"None\" duration=\"500\" />", 320, 240, zoom15},
                 {kB, "<transition name=\"Wipe Off\" duration=\"1000\" direction=\"up\" />", 320, 240, zoom14},
                 {kC,
                  "<transition name=\"Slide Open\" duration=\"1000\" direction=\"vertical_opposite_top_to_bottom\" />",
                  320, 240, pan60},
                 {kA, "<transition name=\"Page Flip\" duration=\"1000\" />"},
             },
        250);
    ASSERT_FALSE(movie.empty());
    for (const std::string& f : tavrel_test::ReplayDisplayList(movie).faults) ADD_FAILURE() << f;
    ExpectLastFrames(movie, {
                                // Wipe Off "up" of a slide shown at 1.5: nothing of it in the top rows.
                                {2, {{{160, 5}, kB}, {{160, 55}, kB}, {{160, 120}, kB}}},
                                // Slide Open's halves of a slide at 1.4: none at the top or the bottom.
                                {3, {{{240, 5}, kC}, {{240, 45}, kC}, {{80, 235}, kC}, {{80, 195}, kC}}},
                                // Page Flip of a slide panned 60 px right: no band beside the fold.
                                {4, {{{170, 120}, kA}, {{215, 120}, kA}, {{100, 120}, kA}, {{300, 120}, kA}}},
                            });

    // Every direction of Slide Triangle Open and Slide Open after the old
    // slide was zoomed out or panned: at the last frame the new slide fills
    // the stage. Triangles that slide along their cut went the slide's own
    // size only, leaving corners of a zoomed-out slide in view.
    auto camera = [](const char* panX, const char* panY, const char* zoom) {
        return std::string("<pan_zoom>\n<camera_fx name=\"pan_zoom\" duration=\"250\" pan_x=\"") + panX +
               "\" pan_y=\"" + panY + "\" zoom=\"" + zoom + "\" />\n</pan_zoom>\n";
    };
    struct Move {
        const char* what;
        std::string xml;
    };
    const Move zoom05{"zoom 0.5", camera("0", "0", "0.5")}, zoom09{"zoom 0.9", camera("0", "0", "0.9")},
        panZoom07{"pan and zoom 0.7", camera("1500", "-700", "0.7")}, pan{"pan", camera("-1300", "900", "1")};
    struct Opening {
        std::string kind, direction;
        const Move* before;  // the old slide's camera move
    };
    std::vector<Opening> openings;
    for (const char* d : {"horizontal_right_to_left", "horizontal_left_to_right", "vertical_bottom_to_top",
                          "vertical_top_to_bottom", "top_left_bottom_right", "top_left_bottom_right_opposite",
                          "top_right_bottom_left", "top_right_bottom_left_opposite", "corners"})
        for (const Move* before : {&zoom05, &panZoom07}) openings.push_back({"Slide Triangle Open", d, before});
    for (const char* d : {"top_left_bottom_right_opposite", "top_right_bottom_left_opposite"})
        openings.push_back({"Slide Triangle Open", d, &zoom09});
    // Slide Open's directions after one move or the other, a shot each.
    int open = 0;
    for (const char* d : {"horizontal", "vertical", "horizontal_opposite_left_to_right",
                          "horizontal_opposite_right_to_left", "vertical_opposite_top_to_bottom",
                          "vertical_opposite_bottom_to_top", "corners"})
        openings.push_back({"Slide Open", d, open++ % 2 ? &pan : &zoom05});
    // Each a show of its own, played to the transition's last frame (Ruffle's
    // seek can bring back clip layers removed on the way), the shots side by side.
    std::vector<std::unique_ptr<TempDir>> dirs;
    std::vector<std::string> movies;
    for (const Opening& o : openings) {
        dirs.push_back(std::make_unique<TempDir>());
        const std::string transition =
            "<transition name=\"" + o.kind + "\" duration=\"500\" direction=\"" + o.direction + "\" />";
        movies.push_back(CompileShow(
            *dirs.back(),
            {{kA, "<transition name=\"None\" duration=\"500\" />", 320, 240, o.before->xml.c_str()}, {kB, transition.c_str()}},
            250));
        ASSERT_FALSE(movies.back().empty()) << o.kind << " " << o.direction;
    }
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    std::vector<int> last;
    std::vector<std::future<tavrel_test::StrayPixels>> shots;
    for (const std::string& movie : movies) {
        last.push_back(LastFrameInto(tavrel_test::ReadTagEvents(movie), 2));
        shots.push_back(std::async(std::launch::async, [&movie, frame = last.back(), kB] {
            return tavrel_test::PlayedFrameStray(movie, frame, kB);
        }));
    }
    for (size_t i = 0; i < openings.size(); ++i) {
        SCOPED_TRACE(openings[i].kind + " " + openings[i].direction + " after " + openings[i].before->what);
        tavrel_test::ExpectNoStray(shots[i].get(), last[i], kB);
    }
}

}  // namespace
