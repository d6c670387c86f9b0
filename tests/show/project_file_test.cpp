// The project file as a whole: its bytes for a new show, a full round trip,
// the reading rules of the show element and the relocation of missing
// pictures.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "foundation/base64.h"
#include "media/image.h"
#include "media/image_filters.h"
#include "show/project_file.h"
#include "show_test_util.h"
#include "support/bundle_fixture.h"
#include "support/fake_user.h"
#include "platform/toolbox_nav.h"
#include "support/toolbox_log.h"

using namespace show_test;
using tavrel_test::TempDir;

namespace {

const std::string kDefaultSoundData =
    "<sound_data include=\"false\" play_until_next_sound=\"false\">\n"
    "<sound src=\"\" start_time=\"0\" duration=\"0\" play_entire_sound=\"true\" loop=\"false\""
    " sample_rate=\"11025\" bit_rate=\"96\" stereo=\"false\" sync=\"false\" />\n"
    "</sound_data>\n";

std::string Base64(const void* bytes, size_t n)
{
    CBase64 b;
    b.Encode(static_cast<const uint8_t*>(bytes), n);
    return std::string(reinterpret_cast<const char*>(b.GetData()), b.GetLength());
}

TEST(ProjectFile, NewShowIsWrittenAsTheTablesSay)
{
    TempDir dir;
    CEditorSlideShow show;
    std::string font = CFont().GetName();
    uint8_t record[28] = {0, 0, 0, 12};
    std::string expected =
        "<xml version=\"1.0\">\n"
        "<tavrel version_major=\"1\" version_minor=\"122\">\n"
        "<slide_show width=\"320\" height=\"240\" fps=\"12\" use_compression=\"false\" protect=\"false\""
        " disable_print=\"false\" show_bounds_left=\"0\" show_bounds_right=\"320\" show_bounds_top=\"0\""
        " show_bounds_bottom=\"240\" bg_color=\"0\" use_bg_image=\"false\" bg_image=\"\" bg_image_quality=\"80\""
        " bg_image_width=\"320\" bg_image_height=\"240\" bg_image_scale_to_fit=\"true\" bg_image_tile=\"false\""
        " bg_frame=\"none\" bg_frame_color=\"0\" bg_frame_pattern=\"\" bg_frame_custom_pattern=\"\""
        " bg_frame_left=\"10\" bg_frame_right=\"10\" bg_frame_top=\"10\" bg_frame_bottom=\"10\" controls=\"false\""
        " controls_x=\"0\" controls_y=\"0\" controls_width=\"1\" controls_height=\"1\" control_set=\"\""
        " control_align=\"bottom_center\" mute_control=\"false\" mute_control_x=\"0\" mute_control_y=\"0\""
        " mute_control_width=\"1\" mute_control_height=\"1\" mute_control_set=\"\""
        " mute_control_align=\"bottom_right\">\n"
        "<slides>\n"
        "</slides>\n"
        "<swf_data movie_start_action=\"play_automatically\" pause_time=\"0\" preload=\"false\""
        " preload_creator=\"tvr\" preload_import_src=\"\" preload_amount=\"100\" preload_text=\"Loading...\""
        " preload_text_color=\"16777215\" preload_font_name=\"" +
        Base64(font.data(), font.size()) + "\" preload_font=\"" + Base64(record, 28) +
        "\" preload_type=\"simple\" loop=\"none\" loop_count=\"1\">\n"
        "<mouse_click_action enable=\"false\" action=\"get_url\" url=\"http://\" target=\"_self\" />\n"
        "<movie_end_action enable=\"false\" action=\"get_url\" url=\"http://\" target=\"_self\" />\n"
        "</swf_data>\n"
        "<caption_data>\n"
        "</caption_data>\n" +
        kDefaultSoundData +
        "</slide_show>\n"
        "<publish_data />\n"
        "</tavrel>\n"
        "\n"
        "</xml>\n";
    EXPECT_EQ(ProjectText(dir, show), expected);
}

TEST(ProjectFile, NewSlideIsWrittenAsTheTablesSay)
{
    TempDir dir;
    CEditorSlideShow show;
    std::string picture = WritePngHeader(dir, "a b.png", 640, 240);
    auto slide = std::make_unique<CSlide>(CSlide::kImage, &show);
    ASSERT_TRUE(slide->LoadImage(CPath(picture), &show, true));
    show.InsertSlide(std::move(slide), false);
    std::string text = ProjectText(dir, show);
    std::string expected =
        "<slides>\n"
        "<slide type=\"image\" src=\"" +
        picture +
        "\" width=\"320\" height=\"120\" x=\"0\" y=\"60\" quality=\"80\""
        " image_type=\"jpeg\" duration=\"2000\" scale_to_fit=\"true\" keep_aspect_ratio=\"true\""
        " auto_align=\"true\" h_align=\"center\" v_align=\"center\" crop=\"false\" crop_left=\"0\""
        " crop_top=\"0\" crop_right=\"640\" crop_bottom=\"240\" flip_vertical=\"false\""
        " flip_horizontal=\"false\" rotate=\"0\" >\n"
        "<transition_in>\n"
        "<transition name=\"None\" duration=\"2000\" />\n"
        "</transition_in>\n"
        "<swf_fx name=\"None\" />\n"
        "<image_filters>\n"
        "</image_filters>\n"
        "<click_actions enable=\"false\" type=\"get_url\" url=\"http://\" target=\"_self\" jump_to=\"1\""
        " popup=\"false\" pause_after=\"false\" load_url_on_display=\"false\" on_display_load_url=\"http://\""
        " on_display_load_target=\"_blank\" />\n"
        "<pan_zoom>\n"
        "</pan_zoom>\n"
        "<caption_data>\n"
        "</caption_data>\n" +
        kDefaultSoundData +
        "<popup_data />\n"
        "</slide>\n"
        "</slides>\n";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

// A show with every field away from its default, built through the setters.
void FillShow(CSlideShow& show, const TempDir& dir)
{
    show.SetSize(640, 480);
    show.SetFps(29.97);
    show.SetBounds(5, 6, 600, 470);
    show.use_compression = show.protect = show.disable_print = true;
    show.bg_color = 0x123456;
    show.use_bg_image = true;
    show.bg_image = CPath(dir.file("back ground.jpg"));
    show.bg_image_quality = 55;
    show.bg_image_width = 300;
    show.bg_image_height = 200;
    show.bg_image_scale_to_fit = false;
    show.bg_image_tile = true;
    show.bg_frame = 6;
    show.bg_frame_color = 0xABCDEF;
    show.bg_frame_pattern = CPath(dir.file("p 1.png"));
    show.bg_frame_custom_pattern = CPath(dir.file("p 2.png"));
    show.bg_frame_left = 1, show.bg_frame_right = 2, show.bg_frame_top = 3, show.bg_frame_bottom = 4;
    show.controls = show.mute_control = true;
    CControlsSkin& c = show.GetControlsSkin();
    c.x = 7, c.y = 8, c.width = 90, c.height = 20, c.fileName = "Skin <\"1\">", c.placement = 0;
    CControlsSkin& m = show.GetMuteSkin();
    m.x = -7, m.y = -8, m.width = 9, m.height = 10, m.fileName = "Mute", m.placement = 3;

    CMovieSettings& ms = show.GetMovieSettings();
    ms.start_action = 1, ms.pause_time = 1500, ms.loop_mode = 1, ms.loop_count = 3, ms.end_action = 2;
    ms.click_action = 1, ms.preload_type = 1, ms.preload_amount = 40;
    ms.click_target = "_top", ms.click_url = "http://a.example/?x=1&y=2", ms.end_target = "frame\x80";
    ms.end_url = "http://end", ms.preload_text = "Wait <\"&'>\xe9", ms.preload_text_color = 0xFF;
    ms.preload_import_src = CPath(dir.file("pre load.swf"));
    ms.preload_creator = 1, ms.preload = ms.click_enabled = ms.end_enabled = true;
    ms.preload_font.SetSize(17);
    ms.preload_font.SetBold(true);
    ms.preload_font.SetItalic(true);
    ms.preload_font_name = "Some Font Not Here";

    auto caption = std::make_unique<CCaption>(CCaption::kLfx);
    caption->SetText("two\nlines & <b>markup</b> \xe9\xff %filename");
    caption->SetFontName("Missing Family");
    caption->SetImportSrc(CPath(dir.file("fx file.lfx")));
    caption->SetColor(0x00FF00);
    caption->SetAlpha(128);
    caption->SetX(-40);
    caption->SetY(4000);
    caption->SetHAlign(2);
    caption->SetVAlign(1);
    caption->SetAlignToDoc(false);
    caption->SetTracking(-3);
    caption->SetLeading(12);
    caption->SetStartTime(61230);
    caption->SetDuration(999999);
    caption->SetShowTillNext(false);
    caption->SetEffect("Fly From Left");
    show.GetCaptions().Add(std::move(caption));

    CSoundItem& s = *show.GetSounds().Get(0);
    s.SetSrc(CPath(WritePngHeader(dir, "music file.mp3", 1, 1)));
    s.SetStartTime(1042), s.SetDuration(60000), s.SetPlayEntireSound(false), s.SetLoop(true);
    s.SetSampleRate(22050), s.SetBitRate(128), s.SetStereo(true), s.SetSync(true);
    show.GetSounds().SetInclude(1);
    show.GetSounds().SetPlayUntilNextSound(true);

    for (int i = 0; i < 3; ++i) {
        auto slide = std::make_unique<CSlide>(i == 2 ? CSlide::kBlank : CSlide::kImage, &show);
        slide->LoadImage(CPath(WritePngHeader(dir, "slide " + std::to_string(i) + ".png", 800 + i, 600)), &show, true);
        slide->SetScaleToFit(false);
        slide->SetAutoAlign(false);
        slide->SetSize(700 + i, 500);
        slide->SetX(-50000000), slide->SetY(50000000);
        slide->SetQuality(33);
        slide->SetImageType(8 - i);
        slide->SetDuration(1000000);
        slide->SetKeepAspectRatio(false);
        slide->SetHAlign(2), slide->SetVAlign(0);
        // A blank slide's crop is the whole show again when it is loaded.
        if (i != 2) {
            slide->SetCrop(true);
            slide->SetCropRect({10, 20, 300, 400});
            slide->FlipHorizontal(true);
            slide->FlipVertical(true);
        }
        slide->Rotate(90 * (i + 1), i != 2);
        slide->SetClickEnabled(true), slide->SetClickType(i + 5), slide->SetClickUrl("http://x/?a=1&b=\"2\"");
        slide->SetClickTarget("_parent"), slide->SetJumpTo(3), slide->SetClickPopup(true);
        slide->SetPauseAfter(true), slide->SetLoadUrlOnDisplay(true);
        slide->SetOnDisplayLoadUrl("http://on/display"), slide->SetOnDisplayLoadTarget("_top");
        slide->InsertCameraFx(std::make_unique<CPanZoomFx>(-100, 250, 2.5, 3000), 1048575);
        slide->InsertCameraFx(std::make_unique<CPanZoomFx>(0, 0, 0.755, 0), 1048575);
        slide->AddFilter(std::make_unique<CBlackWhiteFilter>());
        auto sc = std::make_unique<CCaption>();
        sc->SetText("slide caption\r\nCR kept");
        slide->AddCaption(std::move(sc));
        slide->GetSounds().SetInclude(1);
        show.InsertSlide(std::move(slide), false);
    }
}

// Every colour is one 32-bit word, written unsigned or signed: -1 is read
// as 4294967295 wherever a colour stands, and written back unsigned (a
// transition's fade_color: in the transitions' own table).
TEST(ProjectFile, ColoursAreOneRuleSignedOrUnsigned)
{
    TempDir dir;
    const std::string text = WrapShow(
        "<slide_show bg_color=\"-1\" bg_frame_color=\"-16777216\">\n<slides>\n<slide type=\"blank\">\n"
        "<caption_data>\n<caption txt=\"a\" color=\"-1\" />\n</caption_data>\n</slide>\n</slides>\n"
        "<swf_data preload_text_color=\"-2147483648\" />\n</slide_show>\n");
    CEditorSlideShow show;
    CReadIssueList issues;
    CReadContext context;
    context.report = &issues;
    ASSERT_TRUE(ReadProjectText(dir, text, show, &context));
    EXPECT_TRUE(issues.issues.empty()) << issues.issues[0].attribute << " " << issues.issues[0].what;
    EXPECT_EQ(show.bg_color, 0xFFFFFFFFu);
    EXPECT_EQ(show.bg_frame_color, 0xFF000000u);
    EXPECT_EQ(show.GetMovieSettings().preload_text_color, 0x80000000u);
    ASSERT_EQ(show.GetSlideCount(), 1);
    ASSERT_EQ(show.GetSlide(0)->GetCaptions().GetCount(), 1);
    EXPECT_EQ(show.GetSlide(0)->GetCaptions().Get(0)->GetColor(), 0xFFFFFFFFu);
    const std::string written = ProjectText(dir, show);
    for (const char* value : {"bg_color=\"4294967295\"", "bg_frame_color=\"4278190080\"", " color=\"4294967295\"", "preload_text_color=\"2147483648\""})
        EXPECT_NE(written.find(value), std::string::npos) << value;
    // Past either form's 32 bits a colour is refused, never wrapped.
    CEditorSlideShow refused;
    CReadIssueList said;
    context.report = &said;
    ASSERT_TRUE(ReadProjectText(dir, WrapShow("<slide_show bg_color=\"-2147483649\">\n</slide_show>\n"), refused,
                                &context));
    ASSERT_EQ(said.issues.size(), 1u);
    EXPECT_EQ(said.issues[0].what, "out of range (-2147483648 to 4294967295): 0 kept");
}

TEST(ProjectFile, EveryFieldRoundTripsToTheSameBytes)
{
    TempDir dir;
    CEditorSlideShow show;
    FillShow(show, dir);
    std::string first = ProjectText(dir, show);
    CEditorSlideShow read;
    ASSERT_TRUE(ReadProjectText(dir, first, read));
    ASSERT_EQ(read.GetSlideCount(), 3);
    std::string second = ProjectText(dir, read);
    EXPECT_EQ(first, second);
    // What must survive: the caption's line break and markup, fps 29.97,
    // names no installed family has.
    EXPECT_NE(first.find("fps=\"29.97\""), std::string::npos);
    EXPECT_EQ(read.GetCaptions().Get(0)->GetText(), "two\nlines & <b>markup</b> \xe9\xff %filename");
    EXPECT_EQ(read.GetCaptions().Get(0)->GetFontName(), "Missing Family");
    EXPECT_EQ(read.GetMovieSettings().preload_font_name, "Some Font Not Here");
    EXPECT_EQ(read.GetMovieSettings().preload_font.GetSize(), 17);
    EXPECT_EQ(read.GetSlide(0)->GetCameraFxCount(), 2);
    EXPECT_NE(first.find("Black &amp; White"), std::string::npos);
}

// Publish settings come back whole; a pop-up as it was read, so what it
// did not read is not written back to be said again.
TEST(ProjectFile, PublishSettingsComeBackWholeAndPopupAsRead)
{
    TempDir dir;
    std::string picture = WritePngHeader(dir, "p.png", 10, 10);
    std::string text =
        WrapShow("<slide_show>\n<slides>\n<slide src=\"" + picture +
                 "\">\n<popup_data width=\"300\" js=\"a&amp;b\">\n<inner x=\"1\" />\n</popup_data>\n</slide>\n"
                 "</slides>\n</slide_show>\n<publish_data dest=\"/tmp/x y\">\n<html on=\"true\" />\n</publish_data>\n");
    CEditorSlideShow show;
    CPublishSettings publish;
    ASSERT_TRUE(ReadProjectText(dir, text, show, nullptr, &publish));
    std::string written = ProjectText(dir, show, publish);
    EXPECT_NE(written.find("<popup_data width=\"300\" />\n</slide>"), std::string::npos) << written;
    EXPECT_NE(written.find("<publish_data dest=\"/tmp/x y\">\n<html on=\"true\" />\n</publish_data>\n</tavrel>"),
              std::string::npos);

    // Text inside kept elements, even mixed with elements, comes back the
    // same however often it is read and written.
    text = WrapShow("<slide_show />\n<publish_data><a>one\ntwo<b>x</b> three &amp; <c/></a>\n</publish_data>\n");
    ASSERT_TRUE(ReadProjectText(dir, text, show, nullptr, &publish));
    written = ProjectText(dir, show, publish);
    EXPECT_NE(written.find("<publish_data>\n<a>one&#x0a;two<b>x</b> three &amp; <c /></a>\n</publish_data>\n"),
              std::string::npos)
        << written;
    ASSERT_TRUE(ReadProjectText(dir, written, show, nullptr, &publish));
    EXPECT_EQ(ProjectText(dir, show, publish), written);
}

TEST(ProjectFile, ShowElementReadingRules)
{
    struct Case {
        const char* attributes;
        uint32_t width, height;
        float fps;
        int left, right;
        uint32_t frame;
        int issues;
    } cases[] = {
        {"", 320, 240, 12, 0, 320, 0, 0},
        {" width=\"5000\" fps=\"200\"", 320, 240, 12, 0, 320, 0, 2},
        {" width=\"640\" height=\"10\" fps=\"29.97\"", 640, 10, 29.97f, 0, 640, 0, 0},
        {" show_bounds_left=\"300\" show_bounds_right=\"100\"", 320, 240, 12, 0, 320, 0, 1},
        // Past its 16 bits a bound is refused, never wrapped.
        {" show_bounds_left=\"-5\" show_bounds_right=\"70000\"", 320, 240, 12, -5, 320, 0, 1},
        {" bg_frame=\"METAL\"", 320, 240, 12, 0, 320, 4, 0},
        {" bg_frame=\"chrome\"", 320, 240, 12, 0, 320, 0, 1},
        {" fps=\"nan\"", 320, 240, 12, 0, 320, 0, 1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        CEditorSlideShow show;
        CReadIssueList issues;
        CReadContext context;
        context.report = &issues;
        ASSERT_TRUE(ReadProjectText(dir, WrapShow(std::string("<slide_show") + c.attributes + ">\n</slide_show>\n"),
                                    show, &context));
        EXPECT_EQ(show.GetWidth(), c.width);
        EXPECT_EQ(show.GetHeight(), c.height);
        EXPECT_FLOAT_EQ(show.GetFps(), c.fps);
        EXPECT_EQ(show.GetBoundsLeft(), c.left);
        EXPECT_EQ(show.GetBoundsRight(), c.right);
        EXPECT_EQ(show.bg_frame, c.frame);
        EXPECT_EQ(static_cast<int>(issues.issues.size()), c.issues);
        for (const CReadIssue& i : issues.issues) {
            EXPECT_EQ(i.line, 3);
            EXPECT_EQ(i.element, "slide_show");
            EXPECT_NE(std::string(c.attributes).find(i.attribute + "=\"" + i.value + "\""), std::string::npos)
                << i.attribute << " " << i.value;
        }
    }
}

TEST(ProjectFile, ASecondShowElementRealignsTheSlidesOfTheFirst)
{
    // Read over each other, the later bounds hold for every slide, so the
    // file written reads back to itself.
    TempDir dir;
    std::string picture = WritePngHeader(dir, "p.png", 256, 200);
    std::string text = WrapShow(
        "<slide_show width=\"640\" show_bounds_left=\"5\" show_bounds_right=\"600\">\n"
        "<slides>\n<slide src=\"" +
        picture +
        "\" h_align=\"right\" />\n</slides>\n</slide_show>\n"
        "<slide_show width=\"399\" />\n");
    CEditorSlideShow show;
    ASSERT_TRUE(ReadProjectText(dir, text, show));
    ASSERT_EQ(show.GetSlideCount(), 1);
    EXPECT_EQ(show.GetSlide(0)->GetX(), 399 - show.GetSlide(0)->GetWidth());
    std::string first = ProjectText(dir, show);
    CEditorSlideShow again;
    ASSERT_TRUE(ReadProjectText(dir, first, again));
    EXPECT_EQ(ProjectText(dir, again), first);
}

TEST(ProjectFile, RefusedAndOddFiles)
{
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"<?xml version=\"1.0\" ?>\n<tavrel>\n</tavrel>\n", false},
        {"<xml version=\"1.0\">\n<other />\n</xml>\n", false},
        {"<xml version=\"1.0\">\n<tavrel version_major=\"9\" />\n</xml>\n", true},
        {"<xml version=\"1.0\">\n<tavrel><slide_show width=\"800\"><slides><a/><b/></slides></slide_show>"
         "</tavrel></xml>",
         true},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CEditorSlideShow show;
        EXPECT_EQ(ReadProjectText(dir, c.text, show), c.ok);
        EXPECT_EQ(show.GetSlideCount(), 0);  // children of "slides" without files are dropped
    }
    CEditorSlideShow show;
    CPublishSettings publish;
    EXPECT_EQ(OpenProject(CPath(dir.file("absent.tvr")), show, publish), ProjectOpenError::kNoFile);
    tavrel_test::WriteFile(dir.file("bad.tvr"), "<xml><tavrel>");
    EXPECT_EQ(OpenProject(CPath(dir.file("bad.tvr")), show, publish), ProjectOpenError::kNotXml);
}

std::string SlidesProject(const std::vector<std::string>& sources)
{
    std::string slides = "<slide_show width=\"400\">\n<slides>\n";
    for (const std::string& s : sources) slides += "<slide type=\"image\" src=\"" + s + "\" >\n</slide>\n";
    return WrapShow(slides +
                    "</slides>\n<caption_data>\n<caption txt=\"kept\" />\n</caption_data>\n"
                    "<sound_data include=\"true\" />\n</slide_show>\n");
}

TEST(ProjectFile, RelocationDialogsAnsweredByTheUser)
{
    using tavrel_test::FakeUser;
    TempDir dir;
    std::string moved = dir.path() + "/moved";
    mkdir(moved.c_str(), 0700);
    std::vector<std::string> sources;
    for (int i = 0; i < 5; ++i) {
        std::string name = "s" + std::to_string(i) + ".png";
        WritePngHeader(dir, "moved/" + name, 20, 10);
        sources.push_back(dir.path() + "/gone/" + name);
    }
    sources[0] = WritePngHeader(dir, "here.png", 20, 10);
    auto press = [](FakeUser& user, OSType button) { user.ClickControl(FakeUser::Front(), button, 20000); };
    struct Case {
        const char* what;
        int replaced;  // index of the source put elsewhere, -1 none
        std::function<void(FakeUser&)> script;
        int slides;
        std::vector<std::string> fileDialogs;
        int issues;
    } cases[] = {
        // The folder found for s1 holds s2 too: Cancel must come from the third slide's file.
        {"cancel at the third slide", 2,
         [&](FakeUser& u) {
             press(u, FourCC("ok  "));
             u.ChooseFiles(moved, {"s1.png"});
             press(u, FourCC("bCan"));
         },
         2, {"Please Relocate: s1.png"}, 1},
        {"a folder found once is searched without asking", -1,
         [&](FakeUser& u) {
             press(u, FourCC("ok  "));
             u.ChooseFiles(moved, {"s1.png"});
         },
         5, {"Please Relocate: s1.png"}, 0},
        {"replace is not remembered; the rest dropped", -1,
         [&](FakeUser& u) {
             press(u, FourCC("bRep"));
             u.ChooseFiles(moved, {"s3.png"});
             press(u, FourCC("bDnt"));
             press(u, FourCC("ok  "));
             u.CancelFileDialog(moved);
             u.AnswerAlert(1);
             press(u, FourCC("bRep"));
             u.CancelFileDialog(moved);
         },
         2, {"Choose an image", "Please Relocate: s3.png", "Choose an image"}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> files = sources;
        if (c.replaced >= 0) files[c.replaced] = dir.path() + "/elsewhere/nothing.png";
        platform::ClearNavLog();
        CReadIssueList issues;
        CReadContext context;
        context.report = &issues;
        CEditorSlideShow show;
        {
            FakeUser user;
            c.script(user);
            ASSERT_TRUE(ReadProjectText(dir, SlidesProject(files), show, &context));
        }
        EXPECT_EQ(show.GetSlideCount(), c.slides);
        std::vector<std::string> titles;
        for (const auto& shown : platform::NavLog()) titles.push_back(shown.title);
        EXPECT_EQ(titles, c.fileDialogs);
        EXPECT_EQ(static_cast<int>(issues.issues.size()), c.issues);
        // Cancel stops the slides only: the rest of the show is read.
        EXPECT_EQ(show.GetWidth(), 400u);
        EXPECT_EQ(show.GetCaptions().GetCount(), 1);
        EXPECT_TRUE(show.GetSounds().HasInclude());
    }
    // Headless: given folders are searched, the rest dropped without asking.
    CFolderRelocator folders({CPath(dir.path() + "/empty"), CPath(moved)});
    CReadContext context;
    context.relocator = &folders;
    sources[3] = dir.path() + "/gone/not-anywhere.png";
    CEditorSlideShow show;
    ASSERT_TRUE(ReadProjectText(dir, SlidesProject(sources), show, &context));
    EXPECT_EQ(show.GetSlideCount(), 4);
    EXPECT_EQ(show.GetSlide(4 - 1)->GetSrc().GetText(), moved + "/s4.png");
}

TEST(ProjectFile, MissingSoundIsLookedForWhenTheUserSaysYes)
{
    using tavrel_test::FakeUser;
    tavrel_test::ScopedBundle bundle(R"(
"11100" = "OK";
"11102" = "Yes";
"11103" = "No";
"119" = "Missing Sound";
"120" = "Where is %s?";
"122" = "Left without a file.";
)");
    TempDir dir;
    std::string song = dir.file("found/song.mp3");
    mkdir(dir.file("found").c_str(), 0700);
    tavrel_test::WriteFile(song, "ID3");
    std::string gone = dir.path() + "/gone/song.mp3";
    struct Case {
        std::function<void(FakeUser&)> script;
        std::string src;
        std::vector<std::string> prompts;  // messages shown, in order
    } cases[] = {
        {[&](FakeUser& u) { u.AnswerAlert(1).ChooseFiles(dir.file("found"), {"song.mp3"}); }, song,
         {"Missing Sound: Where is " + gone + "?"}},
        {[&](FakeUser& u) { u.AnswerAlert(1).CancelFileDialog(dir.path()).AnswerAlert(1); }, "",
         {"Missing Sound: Where is " + gone + "?", "Missing Sound: Left without a file."}},
        {[&](FakeUser& u) { u.AnswerAlert(2).AnswerAlert(1); }, "",
         {"Missing Sound: Where is " + gone + "?", "Missing Sound: Left without a file."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.src);
        CEditorSlideShow show;
        std::vector<std::string> messages;
        {
            FakeUser user;
            c.script(user);
            size_t shown = platform::PromptLog().size();
            ASSERT_TRUE(ReadProjectText(
                dir, WrapShow("<slide_show>\n<sound_data>\n<sound src=\"" + gone + "\" />\n</sound_data>\n</slide_show>\n"),
                show));
            for (size_t i = shown; i < platform::PromptLog().size(); ++i) {
                const auto& prompt = platform::PromptLog()[i];
                if (prompt.kind == platform::PromptKind::Alert) messages.push_back(prompt.title + ": " + prompt.message);
            }
        }
        ASSERT_EQ(show.GetSounds().GetCount(), 1);
        EXPECT_EQ(show.GetSounds().Get(0)->GetSrc().GetText(), c.src);
        EXPECT_EQ(messages, c.prompts);
    }
}

TEST(ProjectFile, RelativePathsAreTakenFromTheProjectFolder)
{
    TempDir dir;
    WritePngHeader(dir, "pic.png", 30, 20);
    CEditorSlideShow show;
    ASSERT_TRUE(ReadProjectText(dir, SlidesProject({"pic.png"}), show));
    ASSERT_EQ(show.GetSlideCount(), 1);
    EXPECT_EQ(show.GetSlide(0)->GetSrc().GetText(), dir.file("pic.png"));
}

int OpenFileCount()
{
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (d && readdir(d)) ++n;
    if (d) closedir(d);
    return n;
}

TEST(ProjectFile, ThousandLargeJpegsReadWithoutDecodingOrKeepingFilesOpen)
{
    TempDir dir;
    std::string jpeg = WriteJpeg(dir, "big.jpg", 4000, 3000);
    ASSERT_FALSE(jpeg.empty());
    std::vector<std::string> sources;
    for (int i = 0; i < 1000; ++i) {
        std::string name = dir.file("p" + std::to_string(i) + ".jpg");
        ASSERT_EQ(::link(jpeg.c_str(), name.c_str()), 0);
        sources.push_back(name);
    }
    // A decoder would refuse these pictures now; sizes must come from headers.
    uint64_t limit = GetMaxImagePixels();
    SetMaxImagePixels(1);
    int before = OpenFileCount();
    CEditorSlideShow show;
    bool ok = ReadProjectText(dir, SlidesProject(sources), show);
    SetMaxImagePixels(limit);
    ASSERT_TRUE(ok);
    ASSERT_EQ(show.GetSlideCount(), 1000);
    EXPECT_EQ(OpenFileCount(), before);
    EXPECT_EQ(show.GetSlide(999)->GetImageWidth(), 4000);
    EXPECT_EQ(show.GetSlide(999)->GetPictureHeight(), 192);
    EXPECT_EQ(show.GetSlide(999)->GetWidth(), 320);  // 4:3 in a 400 × 240 show
    EXPECT_EQ(show.GetSlide(999)->GetHeight(), 240);
}

}  // namespace
