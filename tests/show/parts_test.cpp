// The slide's and show's parts: captions, sounds, movie settings, camera
// effects, and the show's own settings and slide list.
#include <gtest/gtest.h>

#include "foundation/base64.h"
#include "platform/toolbox_script.h"
#include "show/slide_show.h"
#include "show_test_util.h"
#include "support/bundle_fixture.h"
#include "support/fake_user.h"
#include "support/swf_tools.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/reader_primitives.h"
#include "swf/shapes.h"
#include "support/toolbox_log.h"

using namespace show_test;
using tavrel_test::TempDir;

namespace {

std::string Base64(const std::string& bytes)
{
    CBase64 b;
    b.Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return std::string(reinterpret_cast<const char*>(b.GetData()), b.GetLength());
}

TEST(Caption, ExpandFilenameVar)
{
    struct Case {
        const char* text;
        bool owned;
        const char* expanded;
    } cases[] = {
        {"%filename", false, ""},
        {"a %FileName b", true, "a holiday b"},
        {"100%% sure", true, "100% sure"},
        {"50%x", true, "50x"},
        {"end%", true, "end"},
        {"%filenam", true, "filenam"},
    };
    CSlide slide(CSlide::kImage, nullptr);
    slide.SetSrc(CPath("/pictures/holiday.jpeg"));
    for (const Case& c : cases) {
        CCaption caption;
        caption.SetText(c.text);
        if (c.owned) caption.SetOwner(&slide);
        EXPECT_EQ(ExpandFilenameVar(caption), c.expanded) << c.text;
    }
}

TEST(Caption, TimeText)
{
    struct Case {
        uint32_t ms;
        const char* text;
    } cases[] = {{0, "00:00.00"},     {5, "00:00.00"},     {999, "00:00.99"},     {1000, "00:01.00"},
                 {59999, "00:59.99"}, {61230, "01:01.23"}, {3600000, "60:00.00"}, {61500, "01:01.50"}};
    for (const Case& c : cases) {
        EXPECT_EQ(FormatTimeText(c.ms), c.text);
        EXPECT_EQ(CCameraFx(c.ms).FormatTime(), c.text);
    }
}

TEST(Caption, AlignToShowAndAssign)
{
    CSlideShow show;
    CCaption c;
    c.SetHAlign(1);
    c.SetVAlign(2);
    c.AlignToShow(show);
    EXPECT_EQ(c.GetX(), 160);
    EXPECT_EQ(c.GetY(), 240);
    CCaption fixed;
    fixed.SetAlignToDoc(false);
    fixed.SetHAlign(2);
    fixed.SetX(7);
    fixed.AlignToShow(show);
    EXPECT_EQ(fixed.GetX(), 7);

    CCaptionList a, b;
    for (int i = 0; i < 2; ++i) {
        a.Add(std::make_unique<CCaption>());
        b.Add(std::make_unique<CCaption>());
    }
    a.Assign(b);
    EXPECT_EQ(a.GetCount(), 4);
}

TEST(Caption, ReadRules)
{
    struct Case {
        std::string attributes;
        std::string text;
        int type, hAlign, alpha, size;
        uint16_t style;
    } cases[] = {
        {"type=\"other\" h_align=\"CENTER\"", "", 0, 0, 255, 32, 0},
        {"type=\"lfx\" h_align=\"center\" alpha=\"300\"", "", 1, 1, 255, 32, 0},
        {"txt=\"a&#x0a;b&#x0d;c\"", "a\nb\rc", 0, 0, 255, 32, 0},
        {"text=\"" + Base64("legacy") + "\"", "legacy", 0, 0, 255, 32, 0},
        {"alpha=\"-1\" font_size=\"14\" font_bold=\"TRUE\"", "", 0, 0, 255, 14, 1},
        // A size of nothing or less is kept as read (the caption draws nothing).
        {"font_size=\"0\"", "", 0, 0, 255, 0, 0},
        {"font_size=\"-12\"", "", 0, 0, 255, -12, 0},
        {"font_size=\"-99999999999\"", "", 0, 0, 255, INT32_MIN, 0},
        // A record whose size no font has is refused: the size stays.
        {"font=\"simple\"", "", 0, 0, 255, 32, 0},
        // Older font records: bytes 0-3 size, 18-19 style; a short one sets
        // only what it holds.
        {"font=\"" +
             Base64(std::string("\0\0\0\x12", 4) + std::string(14, '\0') + std::string("\0\x03", 2) +
                    std::string(8, 'x')) +
             "\"",
         "", 0, 0, 255, 18, 3},
        {"font=\"" + Base64(std::string("\0\0\0\x09\0\0", 6)) + "\"", "", 0, 0, 255, 9, 0},
        {"font=\"" + Base64(std::string("\0\0", 2)) + "\"", "", 0, 0, 255, 32, 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        CXMLDocument document;
        CXMLNode node;
        ASSERT_TRUE(ParseElement(dir, "<caption_data><caption " + c.attributes + " /><other /></caption_data>",
                                 document, node));
        CCaptionList list;
        list.ReadXml(node);
        ASSERT_EQ(list.GetCount(), 1);
        const CCaption& caption = *list.Get(0);
        EXPECT_EQ(caption.GetText(), c.text);
        EXPECT_EQ(caption.GetType(), c.type);
        EXPECT_EQ(caption.GetHAlign(), c.hAlign);
        EXPECT_EQ(caption.GetAlpha(), c.alpha);
        EXPECT_EQ(caption.GetFont().GetSize(), c.size);
        EXPECT_EQ(caption.GetFont().GetStyle(), c.style);
    }
    CCaption odd(2);
    odd.SetEffect("Fly \"<In>\"");
    std::string written = Written(dir, [&](CXMLOutputFile& out) { odd.WriteXml(out); });
    EXPECT_EQ(written.rfind("<caption type=\"\" import_src=\"\" txt=\"\"", 0), 0u) << written;
    EXPECT_NE(written.find(" effect=\"Fly &quot;&lt;In&gt;&quot;\" />"), std::string::npos) << written;
}

TEST(Sound, ListReading)
{
    struct Case {
        const char* children;
        std::string expected;  // the one item written back
    } cases[] = {
        {"",
         "<sound src=\"\" start_time=\"0\" duration=\"0\" play_entire_sound=\"true\" loop=\"false\""
         " sample_rate=\"11025\" bit_rate=\"96\" stereo=\"false\" sync=\"false\" />"},
        {"<sound sample_rate=\"22050\" bit_rate=\"128\" /><sound sample_rate=\"-1\" loop=\"TRUE\" />",
         "<sound src=\"\" start_time=\"0\" duration=\"0\" play_entire_sound=\"true\" loop=\"true\""
         " sample_rate=\"-1\" bit_rate=\"128\" stereo=\"false\" sync=\"false\" />"},
        {"<sound src=\"/no/such/file.mp3\" duration=\"5\" />",
         "<sound src=\"\" start_time=\"0\" duration=\"5\" play_entire_sound=\"true\" loop=\"false\""
         " sample_rate=\"11025\" bit_rate=\"96\" stereo=\"false\" sync=\"false\" />"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        CXMLDocument document;
        CXMLNode node;
        ASSERT_TRUE(ParseElement(dir, std::string("<sound_data include=\"True\">") + c.children + "</sound_data>",
                                 document, node));
        CSoundList list;
        CReadContext context;
        context.dropMissingSilently = true;
        list.ReadXml(node, &context);
        EXPECT_EQ(list.GetCount(), 1);
        EXPECT_TRUE(list.HasInclude());
        std::string written = Written(dir, [&](CXMLOutputFile& out) { list.WriteXml(out); });
        EXPECT_NE(written.find(c.expected), std::string::npos) << written;
    }
}

TEST(Sound, StartFrame)
{
    struct Case {
        uint32_t ms;
        int frame;
    } cases[] = {{0, 0}, {1000, 12}, {1042, 13}, {1041, 12}};
    for (const Case& c : cases) {
        CSoundItem item;
        item.SetStartTime(c.ms);
        EXPECT_EQ(item.GetStartFrame(12.0f), c.frame) << c.ms;
    }
}

TEST(MovieSettings, Xml)
{
    TempDir dir;
    CMovieSettings settings;
    settings.SetPreloadCreator(5);
    settings.SetPreloadType(2);
    std::string text = Written(dir, [&](CXMLOutputFile& out) { settings.WriteXml(out); });
    EXPECT_NE(text.find("preload_creator=\"rwp\""), std::string::npos);
    EXPECT_EQ(text.find("preload_type"), std::string::npos);

    CXMLDocument document;
    CXMLNode node;
    ASSERT_TRUE(ParseElement(dir, text, document, node));
    CMovieSettings read;
    read.SetPreloadType(1);
    read.ReadXml(node);
    EXPECT_EQ(read.preload_creator, 1);
    EXPECT_EQ(read.preload_type, 1);
    EXPECT_EQ(read.PreloadFontName(), settings.PreloadFontName());

    // No attributes: nothing is read, not even the children.
    ASSERT_TRUE(ParseElement(dir, "<swf_data><mouse_click_action enable=\"true\" /></swf_data>", document, node));
    CMovieSettings bare;
    bare.ReadXml(node);
    EXPECT_FALSE(bare.click_enabled);
    ASSERT_TRUE(ParseElement(dir,
                             "<swf_data loop=\"FOREVER\" preload_font=\"AAAACQ==\" font_name=\"" + Base64("Old") +
                                 "\"><Movie_End_Action enable=\"true\" action=\"Unload_Movie\" /></swf_data>",
                             document, node));
    bare.ReadXml(node);
    EXPECT_EQ(bare.loop_mode, 2);
    EXPECT_TRUE(bare.end_enabled);
    EXPECT_EQ(bare.end_action, 2);
    EXPECT_EQ(bare.preload_font_name, "Old");
    EXPECT_EQ(bare.preload_font.GetSize(), 9);  // a record of four bytes holds the size alone
    // Sizes no font has (0, and the -1,305,892,459 "simple" decodes to) leave it.
    for (const char* record : {"AAAAAA==", "simple"}) {
        ASSERT_TRUE(ParseElement(dir, std::string("<swf_data preload_font=\"") + record + "\" />", document, node));
        bare.ReadXml(node);
        EXPECT_EQ(bare.preload_font.GetSize(), 9) << record;
    }
}

TEST(MovieSettings, HasActions)
{
    struct Case {
        void (*change)(CMovieSettings&);
        bool has;
    } cases[] = {
        {[](CMovieSettings&) {}, false},
        {[](CMovieSettings& m) { m.SetLoopMode(1); }, true},
        {[](CMovieSettings& m) { m.SetClickEnabled(true); }, true},
        {[](CMovieSettings& m) { m.SetEndEnabled(true); }, true},
        {[](CMovieSettings& m) { m.SetPreload(true); }, false},
    };
    for (const Case& c : cases) {
        CMovieSettings m;
        c.change(m);
        EXPECT_EQ(m.HasActions(), c.has);
    }
}

TEST(CameraFx, LabelsAndReading)
{
    struct Case {
        int panX, panY;
        double zoom;
        const char* label;
    } cases[] = {{-30, 0, 1.0, "Pan (-1, 0)"},
                 {0, 0, 0.755, "Zoom (75)"},
                 {40, -60, 2.0, "Pan (2, -3); Zoom (200)"},
                 {0, 0, 1.0, "None"}};
    for (const Case& c : cases) EXPECT_EQ(CPanZoomFx(c.panX, c.panY, c.zoom, 0).Describe(), c.label);

    TempDir dir;
    CXMLDocument document;
    CXMLNode node;
    ASSERT_TRUE(ParseElement(dir, "<camera_fx pan_x=\"-200\" />", document, node));
    CPanZoomFx fx(0, 0, 1.0, 0);
    fx.ReadXml(node);
    EXPECT_EQ(fx.GetDuration(), 0u);
    EXPECT_EQ(fx.GetPanX(), -200);
    EXPECT_EQ(fx.GetPanY(), 0);
    EXPECT_EQ(fx.GetZoom(), 1.0);

    // A value the field cannot hold is reported and leaves the field: a
    // negative time must not become four billion milliseconds.
    struct Refusal {
        const char* attributes;
        const char* attribute;
        const char* what;  // null: read without a word
        uint32_t duration;
        int panX;
        double zoom;
    } const refusals[] = {
        {"duration=\"-5\"", "duration", "out of range (0 to 4294967295): 0 kept", 0, 0, 1.0},
        {"duration=\"4294967296\"", "duration", "out of range (0 to 4294967295): 0 kept", 0, 0, 1.0},
        {"duration=\"4294967295\"", nullptr, nullptr, 4294967295u, 0, 1.0},
        {"duration=\"soon\"", "duration", "not a number: read as 0", 0, 0, 1.0},
        {"pan_x=\"2147483648\" duration=\"300\"", "pan_x", "out of range (-2147483648 to 2147483647): 0 kept", 300, 0,
         1.0},
        {"pan_x=\"-2147483648\"", nullptr, nullptr, 0, INT32_MIN, 1.0},
        {"zoom=\"nan\"", "zoom", "not a finite number: 1 kept", 0, 0, 1.0},
        {"zoom=\"-inf\"", "zoom", "not a finite number: 1 kept", 0, 0, 1.0},
        {"zoom=\"1e308\"", nullptr, nullptr, 0, 0, 1e308},
    };
    for (const Refusal& c : refusals) {
        SCOPED_TRACE(c.attributes);
        ASSERT_TRUE(
            ParseElement(dir, std::string("<camera_fx name=\"pan_zoom\" ") + c.attributes + " />", document, node));
        CReadIssueList issues;
        CReadContext context;
        context.report = &issues;
        CPanZoomFx read(0, 0, 1.0, 0);
        read.ReadXml(node, &context);
        EXPECT_EQ(read.GetDuration(), c.duration);
        EXPECT_EQ(read.GetPanX(), c.panX);
        EXPECT_EQ(read.GetZoom(), c.zoom);
        ASSERT_EQ(issues.issues.size(), c.what ? 1u : 0u);
        if (c.what)
            EXPECT_EQ(std::make_tuple(issues.issues[0].element, issues.issues[0].attribute, issues.issues[0].what),
                      std::make_tuple(std::string("camera_fx"), std::string(c.attribute), std::string(c.what)));
    }
}

// Runs effects from a centre of 3200 twips and returns the centres and
// x scales of the placements they write, read back from the movie.
struct Frames {
    std::vector<int32_t> centres, scales;
    CSlide::CameraPlacement end;
};

Frames RunEffects(const TempDir& dir, const std::vector<CPanZoomFx>& effects, int32_t x = 3200)
{
    std::string path = dir.file("camera.swf");
    CSwfMovie movie;
    movie.SetHeader(6400, 4800, 12.0f, 6);
    EXPECT_TRUE(movie.Open(CPath(path), true));
    // A shape to move, so that the movie is whole for the checkers.
    auto* shape = new CTagDefineShape;
    shape->SetCharacterId(1);
    shape->BuildRect(-1000, -1000, 2000, 2000, CFillStyle::MakeSolid(0x0000FF), nullptr);
    movie.AddTag(shape);
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(1);
    place->depth = 1;
    auto* m = new CSwfMatrix;
    m->SetIdentity();
    place->SetMatrix(m);
    movie.AddTag(place);
    CSlide slide(CSlide::kImage, nullptr);
    slide.SetDepth(1);
    slide.GetCameraPlacement().centerX = x;
    slide.GetCameraPlacement().centerY = 3200;
    for (const CPanZoomFx& fx : effects) fx.BuildSwf(slide, movie);
    movie.AddTag(new CTagEnd);
    EXPECT_GT(movie.Close(), 0u);
    Frames f;
    f.end = slide.GetCameraPlacement();
    CSwfReader reader;
    EXPECT_TRUE(reader.Parse(CPath(path), true, 0, true));
    for (CSwfTag* tag : reader.GetTags(nullptr)) {
        auto* p = dynamic_cast<CTagPlaceObject2*>(tag);
        if (!p || !p->move || !p->matrix) continue;
        f.centres.push_back(p->matrix->translateX);
        f.scales.push_back(p->matrix->scaleX);
    }
    reader.ClearTags(true);
    return f;
}

TEST(CameraFx, FramesInAMovie)
{
    struct Case {
        std::vector<CPanZoomFx> effects;
        int32_t start;
        std::vector<int32_t> centres, scales;
    } cases[] = {
        // Each frame at its share of the whole pan: every move ends where
        // its values say, and one slower than a twip a frame moves too.
        {{CPanZoomFx(-100, 0, 1.0, 250)}, 3200, {3167, 3134, 3100}, {65536, 65536, 65536}},
        {{CPanZoomFx(100, 0, 1.0, 250)}, 3200, {3233, 3266, 3300}, {65536, 65536, 65536}},
        {{CPanZoomFx(3, 0, 1.0, 417)}, 3200, {3200, 3201, 3201, 3202, 3203}, std::vector<int32_t>(5, 65536)},
        {{CPanZoomFx(-3, 0, 1.0, 417)}, 3200, {3200, 3199, 3199, 3198, 3197}, std::vector<int32_t>(5, 65536)},
        {{CPanZoomFx(0, 0, 2.0, 250), CPanZoomFx(30, 0, 1.0, 250)},
         3200,
         {3200, 3200, 3200, 3210, 3220, 3230},
         {87381, 109227, 131072, 109227, 87381, 65536}},
        {{CPanZoomFx(0, 0, 2.0, 40)}, 3200, {}, {}},
        // Positions and pans far past what a SWF matrix holds are clamped.
        {{CPanZoomFx(2000000000, 0, 1e9, 100)}, 1073741823, {kSwfMatrixMax}, {kSwfMatrixMax}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        Frames f = RunEffects(dir, c.effects, c.start);
        EXPECT_EQ(f.centres, c.centres);
        EXPECT_EQ(f.scales, c.scales);
        if (c.centres.empty()) {
            EXPECT_EQ(f.end.centerX, c.start);
            EXPECT_EQ(f.end.scaleX, 65536);
        } else {
            EXPECT_EQ(f.end.centerX, c.centres.back());
        }
        tavrel_test::ExpectDumpAccepts(dir.file("camera.swf"), {"PlaceObject2"});
    }
}

TEST(PopupSettings, UrlCannotLeaveTheScript)
{
    struct Case {
        const char* url;
        const char* inside;  // what stands between the quotes of window.open
    } cases[] = {
        {"http://a.example/x?y=1&z=2#top", "http://a.example/x?y=1&z=2#top"},
        {"http://x/'); alert(1); ('", "http://x/%27);%20alert(1);%20(%27"},
        {"a\"b<c>\\d\n\xe9", "a%22b%3Cc%3E%5Cd%0A%E9"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPopupSettings().BuildUrl(c.url),
                  std::string("javascript:void(window.open('") + c.inside + "','_blank'))");
}

// A pop-up click opens the window the slide's stored settings describe;
// what is not stored, or could not be a window's, is the browser's choice.
TEST(PopupSettings, WindowFromTheStoredSettings)
{
    struct Case {
        const char* attributes;
        const char* call;  // after the URL's quote
    } cases[] = {
        {"", "'_blank'))"},
        {"width=\"640\" height=\"480\" left=\"10\" top=\"0\"", "'_blank','width=640,height=480,left=10,top=0'))"},
        {"toolbar=\"false\" location=\"False\" status=\"true\" menubar=\"no\" scrollbars=\"TRUE\" resizable=\"true\"",
         "'_blank','toolbar=no,location=no,status=yes,menubar=no,scrollbars=yes,resizable=yes'))"},
        {"name=\"pics\" width=\"-5\" height=\"99999999\" top=\"x\"", "'pics','top=0'))"},
        {"name=\"a'b\" resizable=\"true\"", "'a%27b','resizable=yes'))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        TempDir dir;
        CXMLDocument document;
        CXMLNode node;
        ASSERT_TRUE(ParseElement(dir, std::string("<popup_data ") + c.attributes + " />", document, node));
        CPopupSettings popup;
        ASSERT_TRUE(popup.ReadXml(node));
        EXPECT_EQ(popup.BuildUrl("http://a.example/"),
                  std::string("javascript:void(window.open('http://a.example/',") + c.call);
    }
}

TEST(SlideShow, FormatSetters)
{
    CSlideShow show;
    EXPECT_FALSE(show.HasUserContent());
    show.GetSounds().SetInclude(0);
    EXPECT_FALSE(show.HasUserContent());
    static int changes;
    changes = 0;
    show.ShowFormatChanged.Connect(Callback::BindFunction([](intptr_t) { ++changes; }));
    EXPECT_TRUE(show.SetSize(320, 240));
    EXPECT_FALSE(show.SetSize(5, 240));
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(show.SetSize(400, 300));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(show.bg_image_width, 400u);
    EXPECT_TRUE(show.HasUserContent());

    struct Bounds {
        int l, t, r, b, result;
    } bounds[] = {{0, 10, 0, 100, 3}, {50, 0, 40, 100, 4}, {0, 0, 320, 0, 5}, {0, 50, 320, 50, 6}, {1, 2, 3, 4, 0}};
    for (const Bounds& b : bounds) EXPECT_EQ(show.SetBounds(b.l, b.t, b.r, b.b), b.result);
    EXPECT_EQ(show.GetBoundsWidth(), 2);

    CSlideShow fps;
    EXPECT_TRUE(fps.SetFps(24));
    EXPECT_TRUE(fps.HasUserContent());
    EXPECT_FALSE(fps.SetFps(120.5));
}

TEST(SlideShow, SlideList)
{
    auto make = [](int n, std::vector<int> selected) {
        auto show = std::make_unique<CSlideShow>();
        for (int i = 0; i < n; ++i) {
            auto s = std::make_unique<CSlide>(CSlide::kBlank, show.get());
            s->SetSelected(std::find(selected.begin(), selected.end(), i) != selected.end());
            s->SetDuration(i);
            show->InsertSlide(std::move(s), false);
        }
        return show;
    };
    struct Case {
        std::vector<int> selected;
        int result, count;
    } cases[] = {{{1, 3}, 2, 3}, {{0, 1}, 1, 3}, {{}, -1, 5}, {{4}, 3, 4}};
    for (const Case& c : cases) {
        auto show = make(5, c.selected);
        EXPECT_EQ(show->DeleteSelectedSlides(), c.result);
        EXPECT_EQ(show->GetSlideCount(), c.count);
    }
    auto show = make(3, {});
    EXPECT_EQ(show->GetNextSlide(show->GetLastSlide()), show->GetFirstSlide());
    EXPECT_EQ(show->GetPrevSlide(show->GetFirstSlide()), show->GetLastSlide());
    CSlide outsider(CSlide::kBlank, nullptr);
    EXPECT_EQ(show->GetNextSlide(&outsider), nullptr);
    show->InsertSlide(std::make_unique<CSlide>(CSlide::kBlank, nullptr), true);
    EXPECT_EQ(show->GetSlide(0)->GetDuration(), 2000u);
    EXPECT_EQ(show->GetTotalTime(), 2000u + 0 + 1 + 2);
    auto one = make(1, {});
    EXPECT_EQ(one->GetNextSlide(one->GetFirstSlide()), one->GetFirstSlide());
    EXPECT_FALSE(one->DeleteSlide(1));
    EXPECT_FALSE(one->InsertSlideAt(nullptr, 0));
}

}  // namespace

namespace {

TEST(CheckedSetters, ShowTheirMessageOnlyWhenAsked)
{
    tavrel_test::ScopedBundle bundle(R"(
"11100" = "OK";
"10001" = "Range";
"500" = "width %d-%d";
"502" = "fps %d-%d";
"512" = "slide width %d-%d";
"514" = "x %d-%d";
"516" = "duration %.1f-%.1f";
"505" = "alpha %d-%d";
"510" = "start %.0f-%.0f";
)");
    CSlideShow show;
    CSlide slide(CSlide::kImage, nullptr);
    CCaption caption;
    struct Case {
        std::function<bool(bool)> set;
        const char* message;
    } cases[] = {
        {[&](bool m) { return show.SetWidth(5, m); }, "width 10-2000"},
        {[&](bool m) { return show.SetFps(0.5, m); }, "fps 1-120"},
        {[&](bool m) { return slide.SetWidth(10001, m); }, "slide width 0-10000"},
        {[&](bool m) { return slide.SetX(-50000001, m); }, "x -50000000-50000000"},
        {[&](bool m) { return slide.SetDuration(1000001, m); }, "duration 0.0-1000000.0"},
        {[&](bool m) { return caption.SetAlpha(256, m); }, "alpha 0-255"},
        {[&](bool m) { return caption.SetStartTime(uint32_t(-1), m); }, "start 0-1000000"},
    };
    for (const Case& c : cases) {
        size_t shown = platform::PromptLog().size();
        EXPECT_FALSE(c.set(false));
        EXPECT_EQ(platform::PromptLog().size(), shown);
        tavrel_test::FakeUser user;
        user.AnswerAlert(1);
        EXPECT_FALSE(c.set(true));
        ASSERT_EQ(platform::PromptLog().size(), shown + 1);
        EXPECT_EQ(platform::PromptLog().back().title, "Range");
        EXPECT_EQ(platform::PromptLog().back().message, c.message);
    }
}

}  // namespace
