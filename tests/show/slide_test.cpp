// The slide: picture sizes, fitting, alignment, crop, corner order and
// rotation, and its element in the project file.
#include <gtest/gtest.h>

#include "show/slide_show.h"
#include "show_test_util.h"

using namespace show_test;
using tavrel_test::TempDir;

namespace {

TEST(Slide, WorkingPictureAndFit)
{
    struct Case {
        int w, h;
        bool keepAspect;
        int pw, ph;  // working picture
        int dw, dh;  // display size in a 320 × 240 show
    } cases[] = {
        {1024, 768, true, 256, 192, 320, 240}, {300, 900, true, 85, 256, 80, 240},
        {640, 240, true, 256, 96, 320, 120},   {100, 400, true, 64, 256, 60, 240},
        {640, 240, false, 256, 96, 320, 240},  {100, 400, false, 64, 256, 320, 240},
    };
    TempDir dir;
    CSlideShow show;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        CSlide slide(CSlide::kImage, &show);
        slide.SetKeepAspectRatio(c.keepAspect);
        ASSERT_TRUE(slide.LoadImage(CPath(WritePngHeader(dir, "p.png", c.w, c.h)), &show, false));
        EXPECT_EQ(slide.GetPictureWidth(), c.pw);
        EXPECT_EQ(slide.GetPictureHeight(), c.ph);
        EXPECT_EQ(slide.GetWidth(), c.dw);
        EXPECT_EQ(slide.GetHeight(), c.dh);
    }
}

TEST(Slide, FitWithoutASourceSizeTakesTheShowSize)
{
    // A new image slide has no picture, and a crop can be empty: fitting
    // must not divide by zero.
    CSlideShow show;
    CSlide fresh(CSlide::kImage, &show);
    EXPECT_EQ(fresh.GetWidth(), 320);
    EXPECT_EQ(fresh.GetHeight(), 240);

    TempDir dir;
    CSlide cropped(CSlide::kImage, &show);
    ASSERT_TRUE(cropped.LoadImage(CPath(WritePngHeader(dir, "p.png", 100, 400)), &show, true));
    cropped.SetCropRect({0, 50, 100, 50});
    cropped.SetCrop(true);
    EXPECT_EQ(cropped.GetWidth(), 320);
    EXPECT_EQ(cropped.GetHeight(), 240);
}

TEST(Slide, AlignmentAddsTheShowBounds)
{
    struct Case {
        int h, v, x, y;
    } cases[] = {{0, 0, 10, 20}, {1, 1, 120, 90}, {2, 2, 230, 160}, {7, 7, 10, 20}};
    CSlideShow show;
    show.SetBounds(10, 20, 300, 200);
    for (const Case& c : cases) {
        CSlide slide(CSlide::kImage, &show);
        slide.SetScaleToFit(false);
        slide.SetSize(100, 100);
        slide.SetX(0), slide.SetY(0);
        int x = 0, y = 0;
        slide.ComputeAlignedPos(&show, c.h, c.v, &x, &y);
        EXPECT_EQ(x, c.x) << c.h;
        EXPECT_EQ(y, c.y) << c.v;
    }
}

TEST(Slide, CornerOrderAndNormalForm)
{
    struct Case {
        std::vector<int> edits;  // 1 flip vertical, 2 flip horizontal, else degrees
        std::string corners;
        bool flipH, flipV;
        int rotate;
    } cases[] = {
        {{90, 270}, "1234", false, false, 0},    {{2, 2}, "1234", false, false, 0},
        {{90}, "4123", false, false, 90},        {{-90}, "2341", false, false, 270},
        {{1}, "4321", false, true, 0},           {{1, 2}, "3412", false, false, 180},
        {{1, 2, 90}, "2341", false, false, 270}, {{2, 90}, "3214", true, false, 90},
        {{1, 90}, "1432", true, false, 270},
    };
    for (const Case& c : cases) {
        CSlide slide(CSlide::kImage, nullptr);
        for (int e : c.edits) {
            if (e == 1)
                slide.FlipVertical(false);
            else if (e == 2)
                slide.FlipHorizontal(false);
            else
                slide.Rotate(e, false);
        }
        const uint8_t* o = slide.GetCornerOrder();
        std::string corners{char('0' + o[0]), char('0' + o[1]), char('0' + o[2]), char('0' + o[3])};
        EXPECT_EQ(corners, c.corners) << testing::PrintToString(c.edits);
        slide.NormalizeOrientation();
        EXPECT_EQ(slide.GetFlipHorizontal(), c.flipH);
        EXPECT_EQ(slide.GetFlipVertical(), c.flipV);
        EXPECT_EQ(slide.GetRotate(), c.rotate) << testing::PrintToString(c.edits);
        o = slide.GetCornerOrder();
        EXPECT_EQ((std::string{char('0' + o[0]), char('0' + o[1]), char('0' + o[2]), char('0' + o[3])}), c.corners);
    }
}

TEST(Slide, CropRectangle)
{
    struct Case {
        SlideRect in, out;
        bool adjusted;
    } cases[] = {
        {{10, 300, 100, 20}, {10, 20, 100, 300}, true},
        {{100, 20, 10, 300}, {10, 20, 100, 300}, true},
        {{-5, -5, 500, 900}, {0, 0, 400, 640}, true},
        {{10, 20, 100, 300}, {10, 20, 100, 300}, false},
    };
    TempDir dir;
    CSlideShow show;
    for (const Case& c : cases) {
        CSlide slide(CSlide::kImage, &show);
        ASSERT_TRUE(slide.LoadImage(CPath(WritePngHeader(dir, "p.png", 640, 400)), &show, true));
        EXPECT_EQ(slide.SetCropRect(c.in), c.adjusted);
        EXPECT_EQ(slide.GetCropRect(), c.out);
    }
    // A quarter turn turns the rectangle about the picture's centre and
    // swaps the display sides.
    CSlide slide(CSlide::kImage, &show);
    ASSERT_TRUE(slide.LoadImage(CPath(WritePngHeader(dir, "p.png", 640, 400)), &show, true));
    slide.SetScaleToFit(false);
    slide.SetSize(300, 200);
    slide.SetCropRect({10, 20, 100, 300});
    slide.Rotate(90, true);
    EXPECT_EQ(slide.GetCropRect(), (SlideRect{20, 300, 300, 390}));
    EXPECT_EQ(slide.GetWidth(), 200);
    EXPECT_EQ(slide.GetPictureWidth(), 160);
}

TEST(Slide, CheckedSetters)
{
    struct Case {
        const char* what;
        long value;
        bool ok;
    } cases[] = {
        {"duration", 1000001, false}, {"duration", 0, true},    {"duration", 1000000, true}, {"width", -1, false},
        {"width", 10000, true},       {"height", 10001, false}, {"x", 50000001, false},      {"x", -50000000, true},
        {"y", -50000001, false},      {"quality", 0, false},    {"quality", 100, true},      {"quality", 101, false},
    };
    CSlide slide(CSlide::kImage, nullptr);
    for (const Case& c : cases) {
        std::string w = c.what;
        bool ok = w == "duration" ? slide.SetDuration(uint32_t(c.value))
                  : w == "width"  ? slide.SetWidth(int(c.value))
                  : w == "height" ? slide.SetHeight(int(c.value))
                  : w == "x"      ? slide.SetX(c.value)
                  : w == "y"      ? slide.SetY(c.value)
                                  : slide.SetQuality(int(c.value));
        EXPECT_EQ(ok, c.ok) << c.what << " " << c.value;
    }
}

std::unique_ptr<CSlide> ReadSlide(const TempDir& dir, const std::string& text, CSlideShow* show,
                                  CReadIssueList* issues = nullptr)
{
    CXMLDocument document;
    CXMLNode node;
    EXPECT_TRUE(ParseElement(dir, text, document, node)) << text;
    CReadContext context;
    context.report = issues;
    auto slide = std::make_unique<CSlide>(CSlide::kImage, show);
    slide->ReadXml(node, &context);
    return slide;
}

TEST(SlideElement, WordsAndCase)
{
    struct Case {
        const char* attributes;
        int type, imageType, h, v, click, rotate;
        int issues;
    } cases[] = {
        {"", 1, 0, 1, 1, 0, 0, 0},
        {"type=\"Image\"", 1, 0, 1, 1, 0, 0, 1},
        {"type=\"blank\" image_type=\"rgb_15\"", 0, 2, 1, 1, 0, 0, 0},
        {"image_type=\"RGB_15\" h_align=\"Left\" v_align=\"BOTTOM\"", 1, 0, 1, 1, 0, 0, 3},
        {"h_align=\"right\" v_align=\"top\"", 1, 0, 2, 0, 0, 0, 0},
        {"rotate=\"-450\"", 1, 0, 1, 1, 0, 270, 0},
        {"rotate=\"99999999999\"", 1, 0, 1, 1, 0, 0, 1},
        {"rotate=\"-2147483648\"", 1, 0, 1, 1, 0, 0, 1},
        {"rotate=\"720\"", 1, 0, 1, 1, 0, 0, 0},
        {"duration=\"-1\"", 1, 0, 1, 1, 0, 0, 1},
        {"duration=\"soon\"", 1, 0, 1, 1, 0, 0, 1},  // no number: 0, said
    };
    TempDir dir;
    CSlideShow show;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        CReadIssueList issues;
        auto slide = ReadSlide(dir, std::string("<slide ") + c.attributes + " />", &show, &issues);
        EXPECT_EQ(slide->GetType(), c.type);
        EXPECT_EQ(slide->GetImageType(), c.imageType);
        EXPECT_EQ(slide->GetHAlign(), c.h);
        EXPECT_EQ(slide->GetVAlign(), c.v);
        EXPECT_EQ(slide->GetRotate(), c.rotate);
        EXPECT_EQ(static_cast<int>(issues.issues.size()), c.issues);
    }
    auto print = ReadSlide(dir, "<slide><click_actions type=\"Print\" /></slide>", &show);
    EXPECT_EQ(print->GetClickType(), CSlide::kPrint);
}

// A kind of its own, created from its prototype as the registered kinds are.
class CTestCut : public CTransition {
public:
    CTestCut() : CTransition("Test Cut", 500) {}
    std::unique_ptr<CTransition> Clone() const override { return std::make_unique<CTestCut>(*this); }
    std::unique_ptr<CTransition> CreateInstance() const override { return Clone(); }
};

TEST(SlideElement, Children)
{
    TempDir dir;
    CSlideShow show;
    CTransitionList kinds;
    kinds.AddSorted(std::make_unique<CTransition>());
    kinds.AddSorted(std::make_unique<CTestCut>());
    CReadIssueList issues;
    auto slide = ReadSlide(dir,
                           "<slide>\n<transition_in>\n<transition name=\"test cut\" duration=\"700\" />\n"
                           "</transition_in>\n<transition_in>\n<transition name=\"None\" duration=\"1500\" />\n"
                           "</transition_in>\n<swf_fx name=\"none\" />\n<pan_zoom>\n"
                           "<camera_fx name=\"none\" duration=\"900\" />\n<other pan_x=\"-200\" />\n</pan_zoom>\n</slide>",
                           &show, &issues);
    // The second transition replaces the first, and says so; "none" is not the effect's name.
    ASSERT_FALSE(issues.issues.empty());
    EXPECT_EQ(issues.issues[0].element, "transition_in");
    EXPECT_EQ(slide->GetTransitionIn().GetName(), "None");
    EXPECT_EQ(slide->GetTransitionIn().GetDuration(), 1500u);
    EXPECT_EQ(slide->GetSwfFx().GetName(), "None");
    ASSERT_EQ(slide->GetCameraFxCount(), 2);
    auto* first = dynamic_cast<CPanZoomFx*>(slide->GetCameraFx(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Describe(), "None");
    EXPECT_EQ(first->GetDuration(), 900u);
    EXPECT_EQ(dynamic_cast<CPanZoomFx*>(slide->GetCameraFx(1))->GetPanX(), -200);
    EXPECT_EQ(slide->GetTotalDuration(), 2000u + 900u);

    auto cut = ReadSlide(dir, "<slide><transition_in><transition name=\"TEST CUT\" /></transition_in></slide>", &show);
    EXPECT_EQ(cut->GetTransitionIn().GetName(), "Test Cut");
    EXPECT_EQ(cut->GetTotalDuration(), 2500u);
}

TEST(SlideElement, ImageFiltersAreReadThroughTheRegistry)
{
    struct Case {
        const char* filters;   // children of "image_filters"
        const char* written;   // what the slide writes back between the tags
        int issues;
    } cases[] = {
        {"<filter name=\"Black &amp; White\" threshold=\"60\" />\n<filter name=\"No Such Filter\" />\n",
         "<filter name=\"Black &amp; White\" threshold=\"60\" />\n", 1},
        {"<filter name=\"Sepia\" />\n<filter name=\"Add Noise\" type=\"impulse\" />\n",
         "<filter name=\"Sepia\" />\n<filter name=\"Add Noise\" type=\"impulse\" />\n", 0},
        // Any element name will do, said; the filter's name is matched exactly.
        {"<other name=\"Sepia\" />\n<filter name=\"sepia\" />\n<filter threshold=\"5\" />\n",
         "<filter name=\"Sepia\" />\n", 3},
        {"", "", 0},
    };
    TempDir dir;
    CSlideShow show;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filters);
        CReadIssueList issues;
        auto slide = ReadSlide(dir, std::string("<slide>\n<image_filters>\n") + c.filters + "</image_filters>\n</slide>",
                               &show, &issues);
        std::string written = Written(dir, [&](CXMLOutputFile& out) { slide->WriteXml(out); });
        EXPECT_NE(written.find(std::string("<image_filters>\n") + c.written + "</image_filters>\n"), std::string::npos)
            << written;
        EXPECT_EQ(static_cast<int>(issues.issues.size()), c.issues);
        CSlide copy(CSlide::kImage, &show);
        copy.CopyFrom(*slide);
        EXPECT_EQ(Written(dir, [&](CXMLOutputFile& out) { copy.WriteXml(out); }), written);
    }
}

TEST(Slide, FiltersChangeTheWorkingPicture)
{
    TempDir dir;
    CSlideShow show;
    std::string picture = WriteJpeg(dir, "grey.jpg", 64, 32);
    // Mid grey stays grey without filters and turns black below the threshold.
    struct Case {
        const char* filters;
        bool clear;
        int first;
    } cases[] = {
        {"", false, 0x80},
        {"<filter name=\"Black &amp; White\" threshold=\"200\" />", false, 0},
        {"<filter name=\"Black &amp; White\" threshold=\"200\" />", true, 0x80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filters);
        auto slide = ReadSlide(dir, std::string("<slide src=\"") + picture + "\">\n<image_filters>\n" + c.filters +
                                        "\n</image_filters>\n</slide>",
                               &show);
        ASSERT_TRUE(slide->LoadImage(CPath(picture), &show, false));
        ASSERT_NE(slide->GetWorkingPicture(), nullptr);
        if (c.clear) slide->ClearFilters();
        const CImage* working = slide->GetWorkingPicture();
        ASSERT_NE(working, nullptr);
        EXPECT_NEAR(working->pixels[0], c.first, 2);
        EXPECT_NEAR(working->pixels[working->size - 1], c.first, 2);
    }
}

TEST(SlideElement, BlankSlidesWriteNoSourceAndEditsWriteTheirNormalForm)
{
    TempDir dir;
    CSlideShow show;
    CSlide blank(CSlide::kBlank, &show);
    blank.SetSrc(CPath("/somewhere/picture.jpg"));
    EXPECT_NE(Written(dir, [&](CXMLOutputFile& out) { blank.WriteXml(out); }).find(" src=\"\" "), std::string::npos);

    CSlide edited(CSlide::kImage, &show);
    edited.FlipVertical(false);
    edited.FlipHorizontal(false);
    edited.Rotate(90, false);
    std::string text = Written(dir, [&](CXMLOutputFile& out) { edited.WriteXml(out); });
    EXPECT_NE(text.find("flip_vertical=\"false\" flip_horizontal=\"false\" rotate=\"270\""), std::string::npos);
    EXPECT_NE(text.find("<image_filters>\n</image_filters>\n"), std::string::npos);
}

}  // namespace

namespace {

TEST(Slide, WorkingPictureIsMadeOnFirstUseAndFollowsEdits)
{
    TempDir dir;
    CSlideShow show;
    CSlide slide(CSlide::kImage, &show);
    ASSERT_TRUE(slide.LoadImage(CPath(WriteJpeg(dir, "p.jpg", 512, 256)), &show, true));
    struct Step {
        int edit;  // 0 none, 1 rotate 90, 2 flip vertical
        uint32_t w, h;
    } steps[] = {{0, 256, 128}, {1, 128, 256}, {2, 128, 256}, {1, 256, 128}};
    for (const Step& s : steps) {
        if (s.edit == 1) slide.Rotate(90, true);
        if (s.edit == 2) slide.FlipVertical(true);
        const CImage* picture = slide.GetWorkingPicture();
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->width, s.w);
        EXPECT_EQ(picture->height, s.h);
        EXPECT_EQ(picture->bitsPerPixel, 24);
    }
    CSlide blank(CSlide::kBlank, &show);
    ASSERT_NE(blank.GetWorkingPicture(), nullptr);
    EXPECT_EQ(blank.GetWorkingPicture()->width, 64u);
    CSlide broken(CSlide::kImage, &show);
    ASSERT_TRUE(broken.LoadImage(CPath(WritePngHeader(dir, "header-only.png", 10, 10)), &show, true));
    EXPECT_EQ(broken.GetWorkingPicture(), nullptr);
}

}  // namespace

namespace {

std::string Le(uint32_t v, int bytes)
{
    std::string s;
    for (int i = 0; i < bytes; ++i) s += char(v >> (8 * i));
    return s;
}

TEST(Slide, PictureSizesFromHeaders)
{
    TempDir dir;
    struct Case {
        std::string path;
        bool ok;
        int w, h;
    } cases[] = {
        {WriteJpeg(dir, "a.jpg", 33, 17), true, 33, 17},
        {WritePngHeader(dir, "a.png", 70000, 3), true, 70000, 3},
        {dir.file("a.gif"), true, 300, 2},
        {dir.file("a.bmp"), true, 5, 6},
        {dir.file("os2.bmp"), true, 7, 3},
        {dir.file("junk.jpg"), false, 0, 0},
        {dir.file("missing.png"), false, 0, 0},
        {dir.path(), false, 0, 0},
    };
    tavrel_test::WriteFile(dir.file("a.gif"), "GIF89a" + Le(300, 2) + Le(2, 2) + std::string(20, '\0'));
    tavrel_test::WriteFile(dir.file("a.bmp"), "BM" + std::string(16, '\0') + Le(5, 4) + Le(uint32_t(-6), 4));
    tavrel_test::WriteFile(dir.file("os2.bmp"), "BM" + std::string(12, '\0') + Le(12, 4) + Le(7, 2) + Le(3, 2) + Le(1, 2) +
                                                    Le(24, 2));
    tavrel_test::WriteFile(dir.file("junk.jpg"), "\xFF\xD8\xFF\xDA" + std::string(40, '\0'));
    for (const Case& c : cases) {
        int w = 0, h = 0;
        EXPECT_EQ(ReadImageSize(CPath(c.path), &w, &h), c.ok) << c.path;
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
    }
    // A slide whose picture cannot be sized is kept as the file gave it.
    CSlideShow show;
    CPublishSettings publish;
    std::string project = WrapShow("<slide_show>\n<slides>\n<slide src=\"" + dir.file("junk.jpg") +
                                   "\" width=\"123\" scale_to_fit=\"false\" />\n</slides>\n</slide_show>\n");
    CReadIssueList issues;
    CReadContext context;
    context.report = &issues;
    ASSERT_TRUE(ReadProjectText(dir, project, show, &context));
    ASSERT_EQ(show.GetSlideCount(), 1);
    EXPECT_EQ(show.GetSlide(0)->GetWidth(), 123);
    EXPECT_EQ(issues.issues.size(), 1u);
}

TEST(Sound, LengthOfFiles)
{
    TempDir dir;
    std::string samples(16000, '\0');  // 8000 frames of 16-bit mono
    tavrel_test::WriteFile(dir.file("a.wav"), "RIFF" + Le(36 + 16000, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) +
                                                  Le(1, 2) + Le(8000, 4) + Le(16000, 4) + Le(2, 2) + Le(16, 2) +
                                                  "data" + Le(16000, 4) + samples);
    tavrel_test::WriteFile(dir.file("text.mp3"), "not a sound");
    struct Case {
        std::string path;
        uint32_t ms;
    } cases[] = {{dir.file("a.wav"), 1000}, {dir.file("text.mp3"), 0}, {dir.file("none.wav"), 0}, {"", 0}};
    for (const Case& c : cases) EXPECT_EQ(CSoundItem::ReadSoundInfo(CPath(c.path)), c.ms) << c.path;
}

}  // namespace
