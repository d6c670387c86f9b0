// A JPEG imported as it stands (jpeg_import_data) with the slide's picture
// edits: turned, mirrored and cropped it keeps its file's stream and shows the
// edits through the fill; filtered it is encoded from the filtered pixels.
// Each show is compiled by the program, read by swf-dump and played.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "../media/picture_fixtures.h"
#include "../show/show_test_util.h"
#include "program_runner.h"
#include "support/swf_tools.h"
#include "support/test_support.h"

namespace {

using cli_test::ProgramResult;
using cli_test::RunProgram;
using tavrel_test::PixelExpect;
using tavrel_test::TempDir;

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
    bool keepsFile;          // the movie holds the file's own stream
};

// 150 × 75 from (50, 25), shown at 320 × 160: the quarters meet at
// 50 × 320/150 and 25 × 160/75 into the box.
const std::string kCropRight = " crop=\"true\" crop_left=\"50\" crop_top=\"25\" crop_right=\"200\" crop_bottom=\"100\"";
// Given on the turned picture (100 × 200): its lower 150 rows, shown at
// 160 × 240, where the quarters meet 50 rows in.
const std::string kCropLower = " crop=\"true\" crop_left=\"0\" crop_top=\"50\" crop_right=\"100\" crop_bottom=\"200\"";
const std::string kTurn = " rotate=\"90\"", kMirror = " flip_horizontal=\"true\"";
const char* const kGreyFilter = "<filter name=\"Grayscale\" />\n";
const Box kWide{0, 40, 320, 160}, kTall{100, 0, 120, 240}, kTallCrop{80, 0, 160, 240};

// The picture: 200 × 100, quarters red, green / blue, white. Mirrored, then
// turned, as the flips and turn combine.
const EditCase kCases[] = {
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

void PrintTo(const EditCase& c, std::ostream* os)
{
    *os << c.name;
}

class ImportedJpegTest : public testing::Test {
protected:
    // One jpeg_import_data slide of the picture on a black stage.
    ProgramResult Compile(const std::string& picture, int stageW, int stageH, const std::string& attributes,
                          const std::string& filters)
    {
        const std::string project =
            show_test::WrapShow("<slide_show width=\"" + std::to_string(stageW) + "\" height=\"" +
                                std::to_string(stageH) + "\" bg_color=\"0\">\n<slides>\n<slide type=\"image\" src=\"" +
                                picture + "\" image_type=\"jpeg_import_data\"" + attributes + " >\n<image_filters>\n" +
                                filters + "</image_filters>\n</slide>\n</slides>\n</slide_show>\n");
        EXPECT_TRUE(tavrel_test::WriteFile(dir_.file("show.tvr"), project));
        return RunProgram({"--quiet", "show.tvr", "show.swf"}, dir_.path());
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

    TempDir dir_;
};

class ImportedJpegEditsTest : public ImportedJpegTest, public testing::WithParamInterface<EditCase> {};

TEST_P(ImportedJpegEditsTest, ShowsWhatTheEditsMake)
{
    const EditCase& c = GetParam();
    static const uint8_t kOpaque[4] = {255, 255, 255, 255};
    const std::string picture = dir_.file("quarters.jpg");
    ASSERT_TRUE(picture_test::WriteJpeg(picture, 200, 100, picture_test::Quarters(200, 100, kOpaque), 95));
    const ProgramResult r = Compile(picture, kStageW, kStageH, c.attributes, c.filters);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // The bitmap: the file's stream at the picture's size, or an encoding of
    // the display size.
    const std::string decoded = Decoded();
    const std::string bitmap = c.keepsFile
                                   ? "\"width\":200,\"height\":100,\"mediaType\":\"image/jpeg\",\"data\":{\"bytes\":" +
                                         std::to_string(tavrel_test::ReadFile(picture).size()) + "}"
                                   : "\"width\":" + std::to_string(c.box.w) + ",\"height\":" + std::to_string(c.box.h) +
                                         ",\"mediaType\":\"image/jpeg\"";
    if (!decoded.empty())
        EXPECT_NE(decoded.find(bitmap), std::string::npos) << bitmap << "\n" << decoded.substr(0, 3000);
    // Unedited, the fill only scales the picture into the box (by 1.6, to
    // 32 twips a pixel), as it always has.
    const std::string plainFill =
        "\"scaleX\":{\"epsilons\":2097152},\"scaleY\":{\"epsilons\":2097152},\"rotateSkew0\":{\"epsilons\":0},"
        "\"rotateSkew1\":{\"epsilons\":0},\"translateX\":-3200,\"translateY\":-1600";
    if (!decoded.empty() && c.attributes.empty()) EXPECT_NE(decoded.find(plainFill), std::string::npos);

    // Each quarter at its middle and 16 px from where the quarters meet, so
    // that a crop or turn left out shows; black outside the box.
    const Box& b = c.box;
    const int left[2] = {(b.x + c.splitX) / 2, c.splitX - 16}, right[2] = {(c.splitX + b.x + b.w) / 2, c.splitX + 16};
    const int top[2] = {(b.y + c.splitY) / 2, c.splitY - 16}, bottom[2] = {(c.splitY + b.y + b.h) / 2, c.splitY + 16};
    std::vector<PixelExpect> pixels;
    for (int i = 0; i < 2; ++i) {
        pixels.push_back({left[i], top[i], c.quarters[0], 40});
        pixels.push_back({right[i], top[i], c.quarters[1], 40});
        pixels.push_back({left[i], bottom[i], c.quarters[2], 40});
        pixels.push_back({right[i], bottom[i], c.quarters[3], 40});
    }
    if (b.x > 0) pixels.push_back({b.x / 2, kStageH / 2, 0x000000, 8});
    if (b.y > 0) pixels.push_back({kStageW / 2, b.y / 2, 0x000000, 8});
    tavrel_test::ExpectShotPixels(dir_.file("show.swf"), 1, pixels);
}

// Shown over 1638 times its size, a picture needs a fill scale that no SWF
// matrix holds: it is encoded from its pixels at the display size instead.
TEST_F(ImportedJpegTest, PictureTooSmallForAFillIsEncoded)
{
    const std::string picture = dir_.file("dot.jpg");
    ASSERT_TRUE(picture_test::WriteJpeg(picture, 1, 1, {{200, 40, 40, 255}}, 95));
    const ProgramResult r = Compile(picture, 1700, 1700, "", "");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string decoded = Decoded();
    if (!decoded.empty())
        EXPECT_NE(decoded.find("\"width\":1700,\"height\":1700,\"mediaType\":\"image/jpeg\""), std::string::npos)
            << decoded.substr(0, 3000);
    tavrel_test::ExpectShotPixels(dir_.file("show.swf"), 1,
                                  {{850, 850, 0xC82828, 24}, {5, 5, 0xC82828, 24}, {1694, 1694, 0xC82828, 24}});
}

INSTANTIATE_TEST_SUITE_P(Edits, ImportedJpegEditsTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<EditCase>& info) { return info.param.name; });

}  // namespace
