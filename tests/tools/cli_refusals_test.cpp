// What the reader refuses in a slide's transition, camera moves, pop-up and
// click settings is said by the program, one line per value, and fails the
// run under --strict; what --resave writes of it reads back without a word.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../show/show_test_util.h"
#include "program_runner.h"
#include "support/test_support.h"

namespace {

using tavrel_test::TempDir;

// One refused value: the element that holds it inside its slide, and the
// end of the line the program prints for it.
struct Refusal {
    std::string element;  // a transition, a camera_fx, a popup_data or click_actions
    std::string said;     // after "slide N: "
};

Refusal Transition(const std::string& kind, const std::string& attribute, const std::string& value,
                   const std::string& what)
{
    const std::string setting = attribute + "=\"" + value + "\"";
    return {"<transition_in>\n<transition name=\"" + kind + "\" " + setting + " />\n</transition_in>\n",
            "transition " + setting + ": " + what};
}

Refusal Camera(const std::string& attributes, const std::string& said)
{
    return {"<pan_zoom>\n<camera_fx name=\"pan_zoom\" " + attributes + " />\n</pan_zoom>\n", "camera_fx " + said};
}

// A one-line element of the slide, on the slide's third line too.
Refusal Element(const std::string& element, const std::string& said)
{
    return {"<swf_fx name=\"None\" />\n" + element + "\n<caption_data />\n", said};
}

size_t Count(const std::string& text, const std::string& piece)
{
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

TEST(CliRefusals, EachRefusedValueIsOneLineAndResavedReadsBackSilently)
{
    std::vector<Refusal> cases = {
        Transition("Fade In", "duration", "-5", "out of range (0 to 1000000): 2000 kept"),
        Transition("Fade In", "duration", "1000001", "out of range (0 to 1000000): 2000 kept"),
        Transition("Cross Fade", "duration", "99999999999", "out of range (0 to 1000000): 2000 kept"),
        Transition("Push", "duration", "abc", "not a number: read as 0"),
        Transition("Checker", "type", "APPEAR", "unknown word: \"appear\" kept"),
        Transition("Window", "type", "Circle_Open", "unknown word: \"square_close\" kept"),
        Transition("Spin In", "spins", "many", "not a number: read as 0"),
        Transition("Slide In From", "final_x", "99999999999", "value out of range: read as 2147483647"),
        Transition("Color Fade", "fade_color", "green", "not a number: read as 0"),
        // A number with text after it keeps what was read, and says so.
        Transition("Fade In", "duration", "1e3", "not a whole number: read as 1"),
        Transition("Push", "duration", "0x10", "not a whole number: read as 0"),
        Transition("Slide In From", "final_sx", "0.5x", "not a number: read as 0.5"),
        Camera("duration=\"500 ms\" zoom=\"2\"", "duration=\"500 ms\": not a whole number: read as 500"),
        Camera("duration=\"500\" zoom=\"0.5x\"", "zoom=\"0.5x\": not a number: read as 0.5"),
        Camera("duration=\"-5\"", "duration=\"-5\": out of range (0 to 4294967295): 0 kept"),
        Camera("duration=\"500\" pan_x=\"99999999999\"",
               "pan_x=\"99999999999\": out of range (-2147483648 to 2147483647): 0 kept"),
        Camera("duration=\"500\" zoom=\"nan\"", "zoom=\"nan\": not a finite number: 1 kept"),
        Transition("Window", "spins", "1e39", "out of range (-3.40282e+38 to 3.40282e+38): 1.8 kept"),
        Transition("Color Fade", "fade_color", "-2147483649",
                   "out of range (-2147483648 to 4294967295): 16777215 kept"),
        // A name the kind or the move does not read is said, and not written back.
        {"<transition_in>\n<transition name=\"Push\" directon=\"up\" />\n</transition_in>\n",
         "transition: unknown attribute \"directon\": passed over"},
        {"<pan_zoom>\n<camera_fx name=\"pan_zoom\" duration=\"500\" zom=\"2\" />\n</pan_zoom>\n",
         "camera_fx: unknown attribute \"zom\": passed over"},
        {"<transition_in>\n<transition name=\"Fade In\" direction=\"up\" />\n</transition_in>\n",
         "transition: unknown attribute \"direction\": passed over"},
        Transition("Fade In", "duration", "5000000ms",
                   "not a whole number: read as 5000000, out of range (0 to 1000000): 2000 kept"),
        Element("<popup_data width=\"abc\" />", "popup_data width=\"abc\": not a number: read as 0"),
        Element("<popup_data hieght=\"3\" />", "popup_data: unknown attribute \"hieght\": passed over"),
        Element("<popup_data toolbar=\"yes\" />", "popup_data toolbar=\"yes\": neither true nor false: read as false"),
        Element("<click_actions enable=\"1\" />", "click_actions enable=\"1\": neither true nor false: read as false"),
        // A number past what its field holds is refused, never wrapped.
        Element("<click_actions jump_to=\"99999999999\" />",
                "click_actions jump_to=\"99999999999\": out of range (-2147483648 to 2147483647): 1 kept"),
        Element("<caption_data><caption txt=\"a\" color=\"99999999999\" /></caption_data>",
                "caption color=\"99999999999\": out of range (-2147483648 to 4294967295): 16777215 kept"),
        Element("<sound_data><sound start_time=\"-1\" /></sound_data>",
                "sound start_time=\"-1\": out of range (0 to 4294967295): 0 kept"),
        Element("<image_filters><filter name=\"Swirl\" angle=\"99999999999\" /></image_filters>",
                "filter angle=\"99999999999\": value out of range: read as 2147483647"),
    };
    // Each kind with the direction a new one has, which an unknown word keeps.
    const std::pair<const char*, const char*> directional[] = {
        {"Push", "right"}, {"Zoom In", "none"}, {"Zoom Out", "none"}, {"Sliding Bars", "horizontal"},
        {"Blinds In", "horizontal_up"}, {"Blinds Out", "horizontal_up"}, {"Wipe On", "right"},
        {"Wipe On 2", "right"}, {"Wipe Off", "right"}, {"Slide Close", "horizontal"}, {"Slide Open", "horizontal"},
        {"Slide Triangle Open", "horizontal_right_to_left"}, {"Checker", "horizontal_left_to_right_down"}};
    for (const auto& [kind, kept] : directional)
        for (const char* word : {"sideways", "UP", "left ", "7", ""})
            cases.push_back(Transition(kind, "direction", word, "unknown word: \"" + std::string(kept) + "\" kept"));

    // Slide 1 is plain; case i is slide i + 2, five lines each from line 5,
    // its element on the slide's third line.
    TempDir dir;
    const std::string picture = show_test::WriteJpeg(dir, "a.jpg", 64, 48);
    const std::string open = "<slide type=\"image\" src=\"" + picture + "\" duration=\"500\" >\n";
    std::string slides = open + "<transition_in>\n<transition name=\"None\" />\n</transition_in>\n</slide>\n";
    std::vector<std::string> lines;
    for (size_t i = 0; i < cases.size(); ++i) {
        slides += open + cases[i].element + "</slide>\n";
        const size_t slide = i + 2;
        lines.push_back("show.tvr:" + std::to_string(5 + 5 * (slide - 1) + 2) + ": slide " + std::to_string(slide) +
                        ": " + cases[i].said + "\n");
    }
    ASSERT_TRUE(tavrel_test::WriteFile(
        dir.file("show.tvr"),
        show_test::WrapShow("<slide_show fps=\"2\">\n<slides>\n" + slides + "</slides>\n</slide_show>\n")));

    struct Run {
        std::vector<std::string> args;
        int exitCode;
        bool movie;
    } const runs[] = {
        {{"--resave", "new.tvr", "show.tvr", "out.swf"}, 0, true},
        {{"--strict", "show.tvr", "strict.swf"}, 4, false},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(testing::PrintToString(run.args));
        const cli_test::ProgramResult r = cli_test::RunProgram(run.args, dir.path());
        EXPECT_EQ(r.exitCode, run.exitCode) << r.err;
        EXPECT_EQ(tavrel_test::IsThere(dir.file(run.args[run.args.size() - 1])), run.movie);
        for (const std::string& line : lines) EXPECT_EQ(Count(r.err, line), 1u) << line << r.err;
        // Nothing else is said of the file.
        EXPECT_EQ(Count(r.err, "show.tvr:"), lines.size()) << r.err;
    }

    // What was refused is not what is kept: the kind's own duration, no
    // four-billion-millisecond camera move.
    const std::string resaved = tavrel_test::ReadFile(dir.file("new.tvr"));
    EXPECT_NE(resaved.find("<transition name=\"Fade In\" duration=\"2000\" />"), std::string::npos);
    EXPECT_NE(resaved.find("<transition name=\"Fade In\" duration=\"1\" />"), std::string::npos);
    EXPECT_NE(resaved.find("<camera_fx name=\"pan_zoom\" duration=\"500\" pan_x=\"0\" pan_y=\"0\" zoom=\"2\" />"),
              std::string::npos);
    EXPECT_NE(resaved.find("<camera_fx name=\"pan_zoom\" duration=\"0\" pan_x=\"0\" pan_y=\"0\" zoom=\"1\" />"),
              std::string::npos);
    EXPECT_EQ(resaved.find("4294967291"), std::string::npos);
    EXPECT_EQ(resaved.find("1215752191"), std::string::npos);  // 99999999999's low 32 bits
    EXPECT_EQ(resaved.find("zom="), std::string::npos);
    EXPECT_EQ(resaved.find("directon="), std::string::npos);
    EXPECT_NE(resaved.find("<popup_data width=\"0\" />"), std::string::npos);
    EXPECT_NE(resaved.find("<popup_data toolbar=\"false\" />"), std::string::npos);
    const cli_test::ProgramResult again =
        cli_test::RunProgram({"--strict", "--resave", "again.tvr", "new.tvr"}, dir.path());
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.err, "");
}

}  // namespace
