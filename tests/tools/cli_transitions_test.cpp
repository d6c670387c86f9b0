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

// The masked kinds in one project: each transition of 4 frames between
// full-frame slides, mid-way shots showing their geometry and shots after
// them showing only the new slide.
TEST(CliTransitions, CompiledProjectPlaysTheMaskedKinds)
{
    TempDir dir;
    const long kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;
    const struct {
        long rgb;
        const char* transition;
    } slides[] = {
        {kA, "<transition name=\"None\" duration=\"500\" />"},
        {kB, "<transition name=\"Sliding Bars\" duration=\"333\" direction=\"horizontal\" />"},
        {kC, "<transition name=\"Blinds In\" duration=\"333\" direction=\"horizontal_up\" />"},
        {kA, "<transition name=\"Blinds Out\" duration=\"333\" direction=\"vertical_right\" />"},
        {kB, "<transition name=\"Curtain\" duration=\"333\" />"},
        {kC, "<transition name=\"Wipe On\" duration=\"333\" direction=\"right\" />"},
        {kA, "<transition name=\"Wipe On 2\" duration=\"333\" direction=\"diag_to_top_left\" />"},
        {kB, "<transition name=\"Wipe Off\" duration=\"333\" direction=\"down\" />"},
    };
    std::string xml;
    for (size_t i = 0; i < std::size(slides); ++i)
        xml += "<slide type=\"image\" src=\"" + SolidPng(dir, "s" + std::to_string(i) + ".png", slides[i].rgb) +
               "\" duration=\"250\" >\n<transition_in>\n" + slides[i].transition + "\n</transition_in>\n</slide>\n";
    ASSERT_TRUE(tavrel_test::WriteFile(
        dir.file("show.tvr"), show_test::WrapShow("<slide_show>\n<slides>\n" + xml + "</slides>\n</slide_show>\n")));
    const cli_test::ProgramResult r = cli_test::RunProgram({"show.tvr", "out.swf"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string movie = dir.file("out.swf");
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

}  // namespace
