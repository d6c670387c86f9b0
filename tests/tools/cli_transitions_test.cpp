// A project with the fades, compiled by the program, replayed and played.
#include <gtest/gtest.h>
#include <png.h>

#include "../show/show_test_util.h"
#include "program_runner.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/object.h"

namespace {

using tavrel_test::TagEvent;
using tavrel_test::TempDir;

std::string SolidPng(const TempDir& dir, const std::string& name, long rgb)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 320;
    image.height = 240;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> pixels(size_t(320) * 240 * 3);
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

long Blend(long a, long b)
{
    long out = 0;
    for (int s : {16, 8, 0}) out |= (((a >> s & 0xFF) + (b >> s & 0xFF)) / 2) << s;
    return out;
}

TEST(CliTransitions, CompiledProjectPlaysTheFades)
{
    TempDir dir;
    const long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    const struct {
        long rgb;
        const char* transition;
    } slides[] = {
        {kA, "<transition name=\"None\" duration=\"1500\" />"},
        {kB, "<transition name=\"fade in\" duration=\"2000\" />"},
        {kC, "<transition name=\"Color Fade\" duration=\"1000\" fade_color=\"16744480\" />"},
        {kA, "<transition name=\"Fade Out\" duration=\"1000\" />"},
        {kB, "<transition name=\"Cross Fade\" duration=\"1000\" />"},
    };
    std::string xml;
    for (size_t i = 0; i < std::size(slides); ++i)
        xml += "<slide type=\"image\" src=\"" + SolidPng(dir, "s" + std::to_string(i) + ".png", slides[i].rgb) +
               "\" duration=\"500\" >\n<transition_in>\n" + slides[i].transition + "\n</transition_in>\n</slide>\n";
    ASSERT_TRUE(tavrel_test::WriteFile(
        dir.file("show.tvr"), show_test::WrapShow("<slide_show>\n<slides>\n" + xml + "</slides>\n</slide_show>\n")));
    const cli_test::ProgramResult r = cli_test::RunProgram({"show.tvr", "out.swf"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string movie = dir.file("out.swf");
    tavrel_test::ExpectDumpAccepts(movie, {"PlaceObject2", "RemoveObject2"});
    for (const std::string& f : tavrel_test::ReplayDisplayList(movie).faults) ADD_FAILURE() << f;

    const auto events = tavrel_test::ReadTagEvents(movie);
    // Frame 12 of 24 of the Fade In, frame 6 of 12 of the Color Fade, and
    // the first frames after Fade Out and Cross Fade.
    const std::pair<int, int> centre{160, 120};
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_2") + 11, {{centre, Blend(kA, kB)}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slidepre_3") + 5, {{centre, 0x2080FF}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slide_4"), {{centre, kA}}, 8);
    tavrel_test::ExpectPlayedFrame(movie, FrameOfLabel(events, "slide_5"), {{centre, kB}}, 8);
}

}  // namespace

namespace {

TEST(CliTransitions, CompiledProjectPlaysTheMovingKinds)
{
    TempDir dir;
    const long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0, kGrey = 0x888888;
    // 400 ms at 30 frames a second: 12 frames, the sixth half-way.
    const struct {
        long rgb;
        const char* transition;
    } slides[] = {
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
    std::string xml;
    for (size_t i = 0; i < std::size(slides); ++i)
        xml += "<slide type=\"image\" src=\"" + SolidPng(dir, "s" + std::to_string(i) + ".png", slides[i].rgb) +
               "\" duration=\"40\" >\n<transition_in>\n" + slides[i].transition + "\n</transition_in>\n</slide>\n";
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("show.tvr"), show_test::WrapShow("<slide_show fps=\"30\">\n<swf_data loop=\"forever\" />\n<slides>\n" + xml +
                                                    "</slides>\n</slide_show>\n")));
    const cli_test::ProgramResult r = cli_test::RunProgram({"show.tvr", "out.swf"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string movie = dir.file("out.swf");
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

}  // namespace
