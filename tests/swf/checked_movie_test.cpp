// The movie of checked_movie.h, read by the independent parsers of swf-dump,
// played by swf-shot and read back by our reader.
#include <gtest/gtest.h>

#include "checked_movie.h"
#include "round_trip.h"
#include "support/swf_tools.h"

namespace {

using tavrel_test::TempDir;

TEST(SwfCheckedMovie, IndependentParsersAcceptIt)
{
    TempDir dir;
    const std::string path = dir.file("checked.swf");
    ASSERT_EQ(WriteCheckedMovie(path), "");
    std::string report;
    tavrel_test::ExpectDumpAccepts(
        path,
        {"DefineShape3", "DefineShape2", "\"DefineShape\"", "DefineFont2", "DefineText2", "DefineEditText",
         "DefineMorphShape", "\"DefineFont\"", "DefineFontInfo", "\"DefineBitsLossless\"", "\"DefineBitsJPEG2\"",
         "\"DefineSound\"", "\"DefineButton2\"", "\"DefineButtonSound\"", "\"StartSound\"", "\"SoundStreamHead2\"",
         "\"SoundStreamBlock\""},
        &report);
    if (::testing::Test::IsSkipped()) return;
    // yaswfp reads shape and font bodies to the byte.
    EXPECT_EQ(report.find("length-mismatch\""), std::string::npos) << report;
    EXPECT_NE(report.find("\"lengthMismatch\":0,\"exceptions\":0"), std::string::npos) << report;
    EXPECT_EQ(report.find("RawBody"), std::string::npos) << report;
}

TEST(SwfCheckedMovie, ReadsBackToTheSameBytes)
{
    TempDir dir;
    for (bool splitJpeg : {false, true}) {
        const std::string path = dir.file(splitJpeg ? "split.swf" : "checked.swf");
        ASSERT_EQ(WriteCheckedMovie(path, splitJpeg), "");
        ExpectReadsBackToSameBytes(path);
    }
}

TEST(SwfCheckedMovie, PlayerDrawsTheShapesTextAndBitmaps)
{
    TempDir dir;
    // The JPEG in one stream and, as the bitmap builders write it, in two.
    for (bool splitJpeg : {false, true}) {
        const std::string path = dir.file(splitJpeg ? "split.swf" : "checked.swf");
        ASSERT_EQ(WriteCheckedMovie(path, splitJpeg), "");
        SCOPED_TRACE(path);
        tavrel_test::ExpectShotPixels(path, 1, {
            // The gradient runs from red to blue.
            {3, 30, 0xFF0000, 60}, {97, 30, 0x0000FF, 60},
            // The curved square: green inside and in its bulge, white beyond the bulge's corner.
            {130, 35, 0x00FF00}, {155, 35, 0x00FF00}, {175, 35, 0xFFFFFF},
            // The band wider than one edge is drawn, not wrapped back.
            {190, 30, 0xFFFF00}, {295, 30, 0xFFFF00},
            // "L" from x = 20 px: its stem, its foot, and the space above the foot.
            {24, 128, 0x000000}, {25, 110, 0x000000}, {35, 128, 0x000000}, {35, 110, 0xFFFFFF},
            // "I" after the advance of "L".
            {50, 110, 0x000000}, {60, 110, 0xFFFFFF},
            // The morph shape at its start: red.
            {270, 120, 0xFF0000}, {250, 145, 0xFFFFFF},
            // The lossless bitmap's four quadrants: red, green, blue, yellow.
            {25, 160, 0xFF0000, 12}, {35, 160, 0x00FF00, 12}, {25, 170, 0x0000FF, 12}, {35, 170, 0xFFFF00, 12},
            {104, 159, 0xC8C8C8, 12},  // the JPEG, grey
            {155, 160, 0xFF0000, 12},  // the button's up state
            {10, 190, 0xFFFFFF},       // background
        });
        if (::testing::Test::IsSkipped()) return;
    }
}

}  // namespace
