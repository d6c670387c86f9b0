// A JPEG imported as it stands (jpeg_import_data) with the slide's picture
// edits: turned, mirrored and cropped it keeps its file's stream and shows the
// edits through the fill; filtered it is encoded from the filtered pixels.
// Each show is compiled by the program, read by swf-dump and played.
#include "../media/picture_fixtures.h"
#include "picture_edit_cases.h"

namespace {

using cli_test::ProgramResult;
using namespace picture_edit_test;

class ImportedJpegTest : public PictureEditTest {
protected:
    ProgramResult Compile(const std::string& picture, int stageW, int stageH, const std::string& attributes,
                          const std::string& filters)
    {
        return PictureEditTest::Compile(picture, "jpeg_import_data", stageW, stageH, attributes, filters);
    }
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

    tavrel_test::ExpectShotPixels(dir_.file("show.swf"), 1, QuarterPixels(c));
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
