#pragma once
// The picture edits that the tests of JPEG slides kept as files (imported
// into the movie or loaded by the player) compile through the program, and
// where each edit puts the picture's quarters on the stage.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "../show/show_test_util.h"
#include "program_runner.h"
#include "support/swf_tools.h"
#include "support/test_support.h"

namespace picture_edit_test {

constexpr int kStageW = 320, kStageH = 240;
constexpr long kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
// The quarters through the Grayscale filter: (3r + 4g + 2b) / 9.
constexpr long kRedGrey = 0x555555, kGreenGrey = 0x717171, kBlueGrey = 0x383838;

struct Box {
    int x, y, w, h;
};

struct EditCase {
    const char* name;
    std::string attributes;  // added to the slide element
    const char* filters;     // inside image_filters
    Box box;                 // the slide on the stage
    int splitX, splitY;      // where the picture's quarters meet on the stage
    long quarters[4];        // top left, top right, bottom left, bottom right
    bool keepsFile;          // an imported picture keeps its file's own stream
};

// 150 × 75 from (50, 25), shown at 320 × 160: the quarters meet at
// 50 × 320/150 and 25 × 160/75 into the box.
inline const std::string kCropRight =
    " crop=\"true\" crop_left=\"50\" crop_top=\"25\" crop_right=\"200\" crop_bottom=\"100\"";
// Given on the turned picture (100 × 200): its lower 150 rows, shown at
// 160 × 240, where the quarters meet 50 rows in.
inline const std::string kCropLower =
    " crop=\"true\" crop_left=\"0\" crop_top=\"50\" crop_right=\"100\" crop_bottom=\"200\"";
inline const std::string kTurn = " rotate=\"90\"", kMirror = " flip_horizontal=\"true\"";
inline const char* const kGreyFilter = "<filter name=\"Grayscale\" />\n";
inline constexpr Box kWide{0, 40, 320, 160}, kTall{100, 0, 120, 240}, kTallCrop{80, 0, 160, 240};

// The picture: 200 × 100, quarters red, green / blue, white. Mirrored, then
// turned, as the flips and turn combine.
inline const EditCase kCases[] = {
    {"none", "", "", kWide, 160, 120, {kRed, kGreen, kBlue, kWhite}, true},
    {"rotate90", kTurn, "", kTall, 160, 120, {kBlue, kRed, kWhite, kGreen}, true},
    {"rotate180", " rotate=\"180\"", "", kWide, 160, 120, {kWhite, kBlue, kGreen, kRed}, true},
    {"rotate270", " rotate=\"270\"", "", kTall, 160, 120, {kGreen, kWhite, kRed, kBlue}, true},
    {"flipH", kMirror, "", kWide, 160, 120, {kGreen, kRed, kWhite, kBlue}, true},
    {"flipV", " flip_vertical=\"true\"", "", kWide, 160, 120, {kBlue, kWhite, kRed, kGreen}, true},
    {"crop", kCropRight, "", kWide, 107, 93, {kRed, kGreen, kBlue, kWhite}, true},
    {"rotate90Crop", kTurn + kCropLower, "", kTallCrop, 160, 80, {kBlue, kRed, kWhite, kGreen}, true},
    {"flipHRotate90Crop", kMirror + kTurn + kCropLower, "", kTallCrop, 160, 80, {kWhite, kGreen, kBlue, kRed}, true},
    {"grayscaleRotate90", kTurn, kGreyFilter, kTall, 160, 120, {kBlueGrey, kRedGrey, kWhite, kGreenGrey}, false},
};

inline void PrintTo(const EditCase& c, std::ostream* os)
{
    *os << c.name;
}

// Each quarter at its middle and 16 px from where the quarters meet, so that
// a crop or turn left out shows; black outside the box.
inline std::vector<tavrel_test::PixelExpect> QuarterPixels(const EditCase& c)
{
    const Box& b = c.box;
    const int left[2] = {(b.x + c.splitX) / 2, c.splitX - 16}, right[2] = {(c.splitX + b.x + b.w) / 2, c.splitX + 16};
    const int top[2] = {(b.y + c.splitY) / 2, c.splitY - 16}, bottom[2] = {(c.splitY + b.y + b.h) / 2, c.splitY + 16};
    std::vector<tavrel_test::PixelExpect> pixels;
    for (int i = 0; i < 2; ++i) {
        pixels.push_back({left[i], top[i], c.quarters[0], 40});
        pixels.push_back({right[i], top[i], c.quarters[1], 40});
        pixels.push_back({left[i], bottom[i], c.quarters[2], 40});
        pixels.push_back({right[i], bottom[i], c.quarters[3], 40});
    }
    if (b.x > 0) pixels.push_back({b.x / 2, kStageH / 2, 0x000000, 8});
    if (b.y > 0) pixels.push_back({kStageW / 2, b.y / 2, 0x000000, 8});
    return pixels;
}

class PictureEditTest : public testing::Test {
protected:
    // One slide of the picture, of the given image type, on a black stage;
    // extra arguments go before the project.
    cli_test::ProgramResult Compile(const std::string& picture, const std::string& imageType, int stageW, int stageH,
                                    const std::string& attributes, const std::string& filters,
                                    std::vector<std::string> options = {"--quiet"})
    {
        const std::string project = show_test::WrapShow(
            "<slide_show width=\"" + std::to_string(stageW) + "\" height=\"" + std::to_string(stageH) +
            "\" bg_color=\"0\">\n<slides>\n<slide type=\"image\" src=\"" + picture + "\" image_type=\"" + imageType +
            "\"" + attributes + " >\n<image_filters>\n" + filters + "</image_filters>\n</slide>\n</slides>\n</slide_show>\n");
        EXPECT_TRUE(tavrel_test::WriteFile(dir_.file("show.tvr"), project));
        options.insert(options.end(), {"show.tvr", "show.swf"});
        return cli_test::RunProgram(options, dir_.path());
    }

    // swf-dump's decoding of the movie, expected valid; "" where it cannot run.
    std::string Decoded()
    {
        const std::string dump = tavrel_test::SwfToolPath("swf-dump");
        if (dump.empty()) return "";
        const tavrel_test::ToolResult d =
            tavrel_test::RunCommand("'" + dump + "' '" + dir_.file("show.swf") + "' --deep --decode --compact");
        EXPECT_EQ(d.exitCode, 0) << d.output.substr(0, 2000);
        return d.output;
    }

    tavrel_test::TempDir dir_;
};

}  // namespace picture_edit_test
