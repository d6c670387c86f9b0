// Slides compiled into a movie that the test drives itself: the tag order
// of each feature, click actions, skipped slides, the transition and effect
// hooks, crops, counters, and what players show.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <png.h>

#include "fonts/dejavu.h"
#include "media/jpeg_image.h"
#include "media/sound_fixtures.h"
#include "show/camera_fx.h"
#include "show/slide_bitmap.h"
#include "show/slide_export.h"
#include "show/slide_show.h"
#include "show_test_util.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/actions.h"
#include "swf/bitmaps.h"
#include "swf/buttons.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/reader.h"
#include "swf/shapes.h"
#include "swf/sprite.h"

using tavrel_test::TempDir;

namespace {

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kYellow = 0x00FFFF;  // 0x00BBGGRR

// A JPEG of four coloured quadrants: red, green on top; blue, yellow below.
std::string WriteQuadrants(const TempDir& dir, const std::string& name, int w, int h)
{
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = y < h / 2 ? (x < w / 2 ? kRed : kGreen) : (x < w / 2 ? kBlue : kYellow);
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
        }
    CJpegImage jpeg;
    jpeg.SetQuality(95);
    if (!jpeg.Compress(w, h, 24, rgb.data())) return "";
    const std::string path = dir.file(name);
    tavrel_test::WriteFile(path, std::string(reinterpret_cast<char*>(jpeg.pixels), jpeg.compressedSize));
    return path;
}

// A PNG whose left half is transparent red and right half opaque green.
std::string WriteHalfTransparentPng(const TempDir& dir, const std::string& name, int w, int h)
{
    const std::string path = dir.file(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return "";
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(w) * 4);
    for (int x = 0; x < w; ++x) {
        const bool left = x < w / 2;
        const uint8_t px[4] = {uint8_t(left ? 255 : 0), uint8_t(left ? 0 : 255), 0, uint8_t(left ? 0 : 255)};
        std::copy_n(px, 4, &row[size_t(x) * 4]);
    }
    for (int y = 0; y < h; ++y) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return path;
}

// A transition that exists only here: fades the slide in over its frames.
class CTestFade : public CTransition {
public:
    CTestFade() : CTransition("Test Fade", 250) {}
    std::unique_ptr<CTransition> Clone() const override { return std::make_unique<CTestFade>(*this); }
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t*, uint16_t*) override
    {
        CSwfCxformWithAlpha fade;
        fade.SetAlphaMult(0, true);
        PlaceNext(slide, movie, &fade);
        const unsigned n = DurationFrames(movie->GetFrameRate());
        for (unsigned k = 1; k <= n; ++k) {
            auto* step = new CTagPlaceObject2;
            step->move = true;
            step->depth = slide->GetDepth();
            auto* cx = new CSwfCxformWithAlpha;
            cx->SetAlphaMult(int(256 * k / n), true);
            step->SetCxform(cx);
            movie->AddTag(step);
            movie->AddTag(new CTagShowFrame);
        }
        RemovePrevious(previous, movie);
        return true;
    }
};

// An effect that exists only here: a small square sprite.
class CTestSparkle : public COverlayEffect {
public:
    CTestSparkle() : COverlayEffect("Test Sparkle") {}
    std::unique_ptr<COverlayEffect> Clone() const override { return std::make_unique<CTestSparkle>(); }
    uint16_t Build(CSwfMovie* movie, uint16_t* ids, uint16_t*) override
    {
        const uint16_t squareId = ++*ids;
        auto* square = new CTagDefineShape;
        square->SetCharacterId(squareId);
        square->BuildRect(0, 0, 200, 200, CFillStyle::MakeSolid(0xFFFFFF), nullptr);
        movie->AddTag(square);
        spriteId_ = ++*ids;
        auto* sprite = new CTagDefineSprite;
        sprite->SetCharacterId(spriteId_);
        auto* place = new CTagPlaceObject2;
        place->SetCharacterId(squareId);
        place->depth = 1;
        sprite->AddTag(place);
        sprite->AddTag(new CTagShowFrame);
        movie->AddTag(sprite);
        return spriteId_;
    }
    bool Place(CSwfMovie* movie, uint16_t depth) override { return PlaceSprite(movie, depth); }
};

// A show written slide by slide into a movie, with the frame callback a
// driver would connect: removals scheduled on the timeline, then the
// current slide's frame events.
class SlideMovie {
public:
    explicit SlideMovie(const TempDir& dir, float fps = 12.0f, const std::string& name = "slides.swf")
        : path(dir.file(name))
    {
        show.SetFps(fps);
        show.bg_color = 0x808080;
    }

    CSlide& Add(const std::string& file, int type = CSlide::kImage)
    {
        auto slide = std::make_unique<CSlide>(type, &show);
        if (type == CSlide::kImage)
            slide->LoadImage(CPath(file), &show, true);
        else
            slide->LoadImage(CPath(), &show, true);
        CSlide* raw = slide.get();
        show.InsertSlideAt(std::move(slide), show.GetSlideCount());
        return *raw;
    }

    void Open()
    {
        movie.SetHeader(int(show.GetWidth()) * 20, int(show.GetHeight()) * 20, show.GetFps(), 6);
        ASSERT_TRUE(movie.Open(CPath(path), true));
        movie.frameSignal.Connect(Callback::BindMember(this, &SlideMovie::OnFrame));
        movie.AddTag(new CTagSetBackgroundColor(0x80, 0x80, 0x80));
        // The hit area, the blank slides' background and the clip external
        // pictures load into, as the driver defines them.
        uint16_t& ids = *show.GetIdCounter();
        const int W = int(show.GetWidth()) * 20, H = int(show.GetHeight()) * 20;
        auto* hit = new CTagDefineShape;
        hit->SetCharacterId(++ids);
        hit->BuildRect(0, 0, W, H, CFillStyle::MakeSolid(0), nullptr);
        movie.AddTag(hit);
        auto* background = new CTagDefineShape3;
        background->SetCharacterId(++ids);
        background->BuildRect(-W / 2, -H / 2, W, H, CFillStyle::MakeSolid(0x00C000, 1), nullptr);
        movie.AddTag(background);
        auto* target = new CTagDefineSprite;
        target->SetCharacterId(++ids);
        target->AddTag(new CTagShowFrame);
        movie.AddTag(target);
        show.SetSlideShapes(ids - 2, ids - 1, ids);
        show.GetUsedEffects().Clear();
        for (int i = 0; i < show.GetSlideCount(); ++i) PrepareCaptionFonts(show.GetSlide(i), &show.GetFontTable());
        show.GetFontTable().BuildFontTags(movie, ids);
        firstId = ids + 1;
    }

    // Writes slide i (from 0) as the driver does; false for a skipped slide,
    // which becomes neither current nor previous.
    bool Write(int i)
    {
        CSlide* previous = show.GetCurrentSlide();
        CSlide* previousWritten = show.GetPreviousSlide();
        show.SetWrittenSlides(show.GetSlide(i), previous, show.GetLastWrittenSlide());
        if (ExportSlideFrames(show.GetSlide(i), &movie, i + 1, &show, show.GetIdCounter(), show.GetDepthCounter())) {
            show.SetWrittenSlides(show.GetSlide(i), previous, show.GetSlide(i));
            return true;
        }
        show.SetWrittenSlides(previous, previousWritten, show.GetLastWrittenSlide());
        return false;
    }

    void WriteAll()
    {
        Open();
        for (int i = 0; i < show.GetSlideCount(); ++i) Write(i);
    }

    void Close()
    {
        movie.AddTag(new CTagEnd);
        movie.PatchRecorded(*show.GetDepthCounter());
        ASSERT_GT(movie.Close(), 0u) << movie.GetError();
    }

    void OnFrame(intptr_t n)
    {
        ++callbacks;
        const long rel = long(n) - long(show.GetFramesBeforeFirstSlide());
        if (rel >= 0 && size_t(rel) < show.GetTimeline().size())
            for (const CTimelineRecord& r : show.GetTimeline()[size_t(rel)])
                if (r.kind == CTimelineRecord::kRemove && r.depth) {
                    movie.SetRecordPlacements(true);
                    movie.AddTag(new CTagRemoveObject2(r.depth));
                    movie.SetRecordPlacements(false);
                }
        if (show.GetCurrentSlide()) ExportFrameEvents(show.GetCurrentSlide(), int(n));
    }

    // The tags written from the first slide on, one word each: B bitmap,
    // S shape, Sp sprite, Btn button, T text, A DoAction, L:label, P:depth placed,
    // M:depth moved, R:depth removed, F<n> for n frames in a row.
    std::string Summary() const
    {
        CSwfReader reader;
        EXPECT_TRUE(reader.Parse(CPath(path), true, 0, true));
        std::string out;
        int frames = 0;
        auto word = [&](const std::string& w) {
            if (frames) out += " F" + std::to_string(frames), frames = 0;
            out += " " + w;
        };
        bool started = false;
        for (CSwfTag* tag : reader.GetTags(nullptr)) {
            const int code = tag->GetTagCode();
            auto* define = dynamic_cast<CSwfDefineTag*>(tag);
            if (!started && !(define && define->GetCharacterId() >= firstId) && code != swf_tag::kFrameLabel) continue;
            started = true;
            static const std::map<int, const char*> kWords = {
                {swf_tag::kDoAction, "A"},       {swf_tag::kDefineSprite, "Sp"}, {swf_tag::kDefineButton2, "Btn"},
                {swf_tag::kDefineShape, "S"},    {swf_tag::kDefineShape2, "S"},  {swf_tag::kDefineText2, "T"},
                {swf_tag::kDefineFont2, "Font"}, {swf_tag::kEnd, "End"}};
            if (code == swf_tag::kShowFrame)
                ++frames;
            else if (auto* label = dynamic_cast<CTagFrameLabel*>(tag))
                word("L:" + label->label);
            else if (auto* place = dynamic_cast<CTagPlaceObject2*>(tag))
                word((place->move ? "M:" : "P:") + std::to_string(place->depth));
            else if (auto* remove = dynamic_cast<CTagRemoveObject2*>(tag))
                word("R:" + std::to_string(remove->depth));
            else
                word(kWords.count(code) ? kWords.at(code) : define ? "B" : std::to_string(code));
        }
        reader.ClearTags(true);
        return out.empty() ? out : out.substr(1);
    }

    CSlideShow show;
    std::string path;
    CSwfMovie movie;
    int callbacks = 0;
    uint16_t firstId = 0;
};

TEST(SlideExport, TagOrderOfEachFeature)
{
    struct Case {
        const char* name;
        float fps;
        std::function<void(SlideMovie&, const std::string&)> setup;
        const char* summary;
    } cases[] = {
        // 2000 ms at 12 fps: 24 frames; the cut shows no frame of its own and
        // the next slide's transition removes the slide.
        {"two slides", 12, [](SlideMovie& m, const std::string& f) { m.Add(f), m.Add(f); },
         "B L:slidepre_1 S P:1 L:slide_1 F24 B L:slidepre_2 S P:2 R:1 L:slide_2 F24 End"},
        // 1500 ms at 15 fps is 22.5 frames, truncated.
        {"truncated frames", 15, [](SlideMovie& m, const std::string& f) { m.Add(f).SetDuration(1500); },
         "B L:slidepre_1 S P:1 L:slide_1 F22 End"},
        {"blank slide shows the background shape", 12,
         [](SlideMovie& m, const std::string&) { m.Add("", CSlide::kBlank); }, "L:slidepre_1 P:1 L:slide_1 F24 End"},
        // Controls: the slide number at both labels, and the pause calls the
        // show's pause function in a frame of its own.
        {"pause with controls", 12,
         [](SlideMovie& m, const std::string& f) {
             m.show.controls = true;
             m.Add(f).SetPauseAfter(true);
         },
         "B L:slidepre_1 A S P:1 L:slide_1 A F24 A F1 End"},
        {"click area removed with the slide", 12,
         [](SlideMovie& m, const std::string& f) { m.Add(f).SetClickEnabled(true); },
         "B L:slidepre_1 S P:1 L:slide_1 Btn P:2 F24 R:2 End"},
        {"print click wraps the shape", 12,
         [](SlideMovie& m, const std::string& f) { m.Add(f).SetClickType(CSlide::kPrint); },
         "B L:slidepre_1 S Sp P:1 L:slide_1 F24 End"},
        {"external picture loads into a clip", 12,
         [](SlideMovie& m, const std::string& f) { m.Add(f).SetImageType(CSlide::kJpegExternal); },
         "Sp L:slidepre_1 Sp P:1 L:slide_1 F24 End"},
        {"unknown image type writes no bitmap", 12,
         [](SlideMovie& m, const std::string& f) { m.Add(f).SetImageType(9); }, "L:slidepre_1 S P:1 L:slide_1 F24 End"},
        {"camera frames follow the display frames", 12,
         [](SlideMovie& m, const std::string& f) {
             m.Add(f).SetDuration(500);
             m.show.GetSlide(0)->InsertCameraFx(std::make_unique<CPanZoomFx>(200, 0, 1.0, 250), 0);
         },
         "B L:slidepre_1 S P:1 L:slide_1 F6 M:1 F1 M:1 F1 M:1 F1 End"},
    };
    TempDir dir;
    const std::string picture = WriteQuadrants(dir, "q.jpg", 64, 48);
    for (const Case& c : cases) {
        SlideMovie m(dir, c.fps, std::string(c.name) + ".swf");
        c.setup(m, picture);
        m.WriteAll();
        m.Close();
        EXPECT_EQ(m.Summary(), c.summary) << c.name;
        tavrel_test::ExpectDumpAccepts(m.path, {});
    }
}

// The label each click action jumps to, on slide `index` of three.
TEST(SlideExport, ClickActionTargets)
{
    struct Case {
        int type, index, jumpTo;
        const char* label;
    } cases[] = {
        {CSlide::kNextSlide, 3, 0, "slidepre_1"},  {CSlide::kNextSlide, 1, 0, "slidepre_2"},
        {CSlide::kPreviousSlide, 1, 0, "slide_3"}, {CSlide::kPreviousSlide, 3, 0, "slide_2"},
        {CSlide::kJumpToSlide, 1, 2, "slide_2"},   {CSlide::kFirstSlide, 2, 0, "slide_1"},
        {CSlide::kLastSlide, 1, 0, "slide_3"},
        // No slide of that number: no button names a label the movie lacks.
        {CSlide::kJumpToSlide, 1, 7, ""},          {CSlide::kJumpToSlide, 2, 0, ""},
        {CSlide::kJumpToSlide, 3, -3, ""},
    };
    TempDir dir;
    const std::string picture = WriteQuadrants(dir, "q.jpg", 32, 24);
    for (const Case& c : cases) {
        SlideMovie m(dir);
        for (int i = 0; i < 3; ++i) m.Add(picture, i == c.index - 1 ? CSlide::kImage : CSlide::kBlank);
        CSlide& s = *m.show.GetSlide(c.index - 1);
        s.SetClickEnabled(true);
        s.SetClickType(c.type);
        s.SetJumpTo(c.jumpTo);
        m.WriteAll();
        m.Close();
        CSwfReader reader;
        ASSERT_TRUE(reader.Parse(CPath(m.path), true, 0, true));
        std::string label;
        for (CSwfTag* tag : reader.GetTags(nullptr))
            if (auto* button = dynamic_cast<CTagDefineButton2*>(tag)) {
                ASSERT_EQ(button->conditions, std::vector<uint16_t>{swf_button_cond::kOverDownToOverUp});
                ASSERT_EQ(button->records.size(), 1u);
                EXPECT_EQ(button->records[0]->flags, swf_button_state::kHitTest);
                for (const auto& a : button->actions[0]->actions)
                    if (auto* go = dynamic_cast<CActionGotoLabel*>(a.get())) label = go->label;
            }
        reader.ClearTags(true);
        EXPECT_EQ(label, c.label) << c.type << " on " << c.index;
    }
}

// A slide whose picture cannot be read writes nothing and does not become
// the previous slide: the next transition removes the slide before it.
TEST(SlideExport, UnreadablePictureSkipsTheSlide)
{
    TempDir dir;
    const std::string picture = WriteQuadrants(dir, "q.jpg", 32, 24);
    SlideMovie m(dir);
    m.Add(picture);
    m.Add(picture);
    m.Add(picture);
    m.show.GetSlide(1)->SetSrc(CPath(dir.file("gone.jpg")));
    m.Open();
    EXPECT_TRUE(m.Write(0));
    const uint16_t ids = *m.show.GetIdCounter(), depths = *m.show.GetDepthCounter();
    EXPECT_FALSE(m.Write(1));
    EXPECT_EQ(*m.show.GetIdCounter(), ids);
    EXPECT_EQ(*m.show.GetDepthCounter(), depths);
    EXPECT_TRUE(m.Write(2));
    m.Close();
    EXPECT_EQ(m.Summary(), "B L:slidepre_1 S P:1 L:slide_1 F24 B L:slidepre_3 S P:2 R:1 L:slide_3 F24 End");
    tavrel_test::ExpectDumpAccepts(m.path, {});
}

// The hooks of the transition and effect kinds: a transition's frames fall
// between the slide's two labels and reach the frame callback; an effect is
// defined once per name and placed on each slide at a depth the slide
// removes; the loop-back runs the first slide's transition from the last.
TEST(SlideExport, TransitionAndEffectHooks)
{
    TempDir dir;
    const std::string picture = WriteQuadrants(dir, "q.jpg", 32, 24);
    SlideMovie m(dir);
    for (int i = 0; i < 3; ++i) {
        CSlide& s = m.Add(picture);
        s.SetDuration(1000);
        if (i != 1) s.SetSwfFx(std::make_unique<CTestSparkle>());
        s.SetTransitionIn(std::make_unique<CTestFade>());
    }
    m.WriteAll();
    ExportLoopTransition(m.show.GetSlide(0), &m.movie, &m.show, m.show.GetIdCounter(), m.show.GetDepthCounter());
    m.Close();
    // 250 ms at 12 fps: three fade frames before each "slide_%d" label.
    EXPECT_EQ(m.Summary(),
              "B L:slidepre_1 S P:1 M:1 F1 M:1 F1 M:1 F1 L:slide_1 S Sp P:2 F12 R:2 "
              "B L:slidepre_2 S P:3 M:3 F1 M:3 F1 M:3 F1 R:1 L:slide_2 F12 "
              "B L:slidepre_3 S P:4 M:4 F1 M:4 F1 M:4 F1 R:3 L:slide_3 P:5 F12 R:5 "
              "P:6 M:6 F1 M:6 F1 M:6 F1 R:4 End");
    // Every frame, the transitions' included, went through the callback; the
    // slide's own frames start after its transition.
    EXPECT_EQ(m.callbacks, 3 * (3 + 12) + 3);
    EXPECT_EQ(m.show.GetSlide(2)->GetExportState().startFrame, 2u * 15 + 3);
    EXPECT_EQ(m.show.GetUsedEffects().GetCount(), 2u);
    // The loop-back leaves the first slide at its own depth.
    EXPECT_EQ(m.show.GetSlide(0)->GetDepth(), 1);
    tavrel_test::ExpectDumpAccepts(m.path, {"DefineSprite"});
}

TEST(SlideExport, CountersStopBeforeTheProvisionalDepths)
{
    struct Case {
        uint16_t ids, depths;
        bool written;
    } cases[] = {{64990, 64990, true}, {64999, 0, false}, {0, 64999, false}};
    TempDir dir;
    const std::string picture = WriteQuadrants(dir, "q.jpg", 32, 24);
    for (const Case& c : cases) {
        SlideMovie m(dir);
        m.Add(picture);
        m.Open();
        *m.show.GetIdCounter() = c.ids;
        *m.show.GetDepthCounter() = c.depths;
        EXPECT_EQ(m.Write(0), c.written) << c.ids << " " << c.depths;
        EXPECT_EQ(m.movie.Failed(), !c.written);
        EXPECT_LE(*m.show.GetIdCounter(), CSlideShow::kMaxExportId);
        EXPECT_LE(*m.show.GetDepthCounter(), CSlideShow::kMaxExportId);
    }
    uint16_t counter = 64998;
    CSwfMovie movie;
    EXPECT_EQ(NextExportValue(&counter, &movie), 64999);
    EXPECT_EQ(NextExportValue(&counter, &movie), 0);
    EXPECT_TRUE(movie.Failed());
}

// The stored crop (displayed orientation) mapped back into the picture of
// 80 × 60, and clamped to it.
TEST(SlideExport, CropMappedIntoThePicture)
{
    struct Case {
        const char* edits;
        SlideRect crop;  // top, left, bottom, right
        bool mapped;
        Rect expect;  // top, left, bottom, right
    } cases[] = {
        {"", {10, 20, 30, 60}, true, {10, 20, 30, 60}},
        {"flip_vertical='true'", {10, 20, 30, 60}, true, {30, 20, 50, 60}},
        {"flip_horizontal='true'", {10, 10, 30, 30}, true, {10, 50, 30, 70}},
        {"rotate='90'", {0, 5, 30, 25}, true, {35, 0, 55, 30}},
        {"flip_horizontal='true' rotate='90'", {0, 5, 30, 25}, true, {35, 50, 55, 80}},
        {"rotate='180'", {10, 20, 30, 60}, true, {30, 20, 50, 60}},
        {"rotate='270'", {10, 5, 70, 25}, true, {5, 10, 25, 70}},
        // A crop from a file reaching past the picture keeps what lies on it.
        {"", {-5, 70, 100, 200}, true, {0, 70, 60, 80}},
        {"", {70, 90, 100, 200}, false, {}},
    };
    TempDir dir;
    const std::string picture = WriteQuadrants(dir, "q.jpg", 80, 60);
    for (const Case& c : cases) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "<slide crop='true' crop_top='%d' crop_left='%d' crop_bottom='%d' "
                      "crop_right='%d' %s />",
                      c.crop.top, c.crop.left, c.crop.bottom, c.crop.right, c.edits);
        CXMLDocument document;
        CXMLNode node;
        ASSERT_TRUE(show_test::ParseElement(dir, text, document, node));
        CSlide slide(CSlide::kImage, nullptr);
        ASSERT_TRUE(slide.ReadXml(node));
        ASSERT_TRUE(slide.LoadImage(CPath(picture), nullptr, false));
        Rect out{};
        EXPECT_EQ(MapCropToPicture(slide, 80, 60, &out), c.mapped) << text;
        if (c.mapped) {
            EXPECT_EQ(std::vector<int>({out.top, out.left, out.bottom, out.right}),
                      std::vector<int>({c.expect.top, c.expect.left, c.expect.bottom, c.expect.right}))
                << text;
        }
    }
}

// What a player shows of a slide in its first frame: the picture where it
// belongs for every image type, the background shape of a blank slide, a
// quarter turn, and the camera's pan. (Players seek unreliably far into a
// movie, so each case is a movie of its own.)
TEST(SlideExport, PlayersShowThePicture)
{
    const std::vector<tavrel_test::PixelExpect> quadrants = {
        {80, 60, 0xFF0000, 24}, {240, 60, 0x00FF00, 24}, {80, 180, 0x0000FF, 24}, {240, 180, 0xFFFF00, 24}};
    struct Case {
        std::string name;
        std::function<void(SlideMovie&, const std::string&)> setup;
        std::vector<tavrel_test::PixelExpect> pixels;
    };
    TempDir dir;
    const std::string picture = WriteQuadrants(dir, "q.jpg", 640, 480);
    const std::string alpha = WriteHalfTransparentPng(dir, "alpha.png", 320, 240);
    std::vector<Case> cases;
    for (int type : {CSlide::kJpeg, CSlide::kRgb8, CSlide::kRgb15, CSlide::kRgb24, CSlide::kJpegImportData,
                     CSlide::kJpegTransparent, CSlide::kRgb8Transparent, CSlide::kRgb24Transparent})
        cases.push_back({"type " + std::to_string(type),
                         [type](SlideMovie& m, const std::string& f) { m.Add(f).SetImageType(type); }, quadrants});
    // A file without JPEG data of its own still shows its picture.
    cases.push_back({"jpeg_import_data of a PNG",
                     [alpha](SlideMovie& m, const std::string&) { m.Add(alpha).SetImageType(CSlide::kJpegImportData); },
                     {{240, 120, 0x00FF00, 24}}});
    // The transparent half of a picture with alpha shows the stage.
    for (int type : {CSlide::kJpegTransparent, CSlide::kRgb8Transparent, CSlide::kRgb24Transparent})
        cases.push_back({"alpha " + std::to_string(type),
                         [type, alpha](SlideMovie& m, const std::string&) { m.Add(alpha).SetImageType(type); },
                         {{80, 120, 0x808080, 3}, {240, 120, 0x00FF00, 24}}});
    cases.push_back(
        {"blank", [](SlideMovie& m, const std::string&) { m.Add("", CSlide::kBlank); }, {{160, 120, 0x00C000, 2}}});
    // A quarter turn clockwise stands the picture up, 180 wide and centred:
    // the blue quadrant comes to the top left.
    cases.push_back({"rotate 90",
                     [](SlideMovie& m, const std::string& f) { m.Add(f).Rotate(90, true); },
                     {{115, 60, 0x0000FF, 24}, {205, 60, 0xFF0000, 24}, {30, 120, 0x808080, 2}}});
    // The top half of the turned picture, mapped back into the unturned one,
    // 320 × 213 at the top of the stage.
    cases.push_back({"rotate 90 and crop",
                     [](SlideMovie& m, const std::string& f) {
                         CSlide& s = m.Add(f);
                         s.Rotate(90, true);
                         s.SetCropRect({0, 0, 320, 480});
                         s.SetCrop(true);
                     },
                     {{80, 100, 0x0000FF, 24}, {240, 100, 0xFF0000, 24}, {160, 230, 0x808080, 2}}});
    // A pan of 160 pixels to the right in one frame: the left half shows the stage.
    cases.push_back({"pan",
                     [](SlideMovie& m, const std::string& f) {
                         CSlide& s = m.Add(f);
                         s.SetDuration(0);
                         s.InsertCameraFx(std::make_unique<CPanZoomFx>(3200, 0, 1.0, 42), 0);
                     },
                     {{80, 60, 0x808080, 2}, {240, 60, 0xFF0000, 24}, {240, 180, 0x0000FF, 24}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SlideMovie m(dir, 12.0f, c.name + ".swf");
        c.setup(m, picture);
        m.WriteAll();
        m.Close();
        tavrel_test::ExpectDumpAccepts(m.path, {});
        tavrel_test::ExpectShotPixels(m.path, 1, c.pixels);
    }
}

// The slide's sound: a clip that waits on its first frame, started at the
// sound's start time, whose last actions run in a frame of their own.
TEST(SlideExport, SoundClipStartsAndEnds)
{
    struct Case {
        bool loop;
        std::vector<int> lastActions;  // codes
    } cases[] = {{false, {0x07}}, {true, {0x81, 0x06}}};
    const char* bundle = std::getenv("TAVREL_BUNDLE");
    if (!bundle || !tavrel_test::IsThere(std::string(bundle) + "/Contents/Resources/lame_encU.bundle"))
        GTEST_SKIP() << "no MP3 encoder bundle here";
    TempDir dir;
    const std::string picture = WriteQuadrants(dir, "q.jpg", 32, 24);
    const std::string tone = dir.file("tone.wav");
    ASSERT_TRUE(tavrel_test::WriteTone(tone, tavrel_test::kWav16, 22050, 1, 22050, 440));
    for (const Case& c : cases) {
        SlideMovie m(dir);
        CSlide& s = m.Add(picture);
        s.SetDuration(1000);
        CSoundList& sounds = s.GetSounds();
        sounds.SetInclude(1);
        CSoundItem* item = sounds.Get(0);
        item->SetSrc(CPath(tone));
        item->SetSampleRate(22050);
        item->SetStartTime(500);
        item->SetLoop(c.loop);
        m.WriteAll();
        m.Close();
        // The clip and its placement come with the first display frame, its
        // start 500 ms (6 frames) later.
        EXPECT_EQ(m.Summary(), "B L:slidepre_1 S P:1 L:slide_1 Sp P:2 F6 A F6 End");
        CSwfReader reader;
        ASSERT_TRUE(reader.Parse(CPath(m.path), true, 0, true));
        for (CSwfTag* tag : reader.GetTags(nullptr)) {
            auto* sprite = dynamic_cast<CTagDefineSprite*>(tag);
            if (!sprite || sprite->GetCharacterId() < m.firstId) continue;
            std::vector<CSwfTag*> tags(sprite->tags.begin(), sprite->tags.end());
            while (!tags.empty() && tags.back()->GetTagCode() == swf_tag::kEnd) tags.pop_back();
            ASSERT_GE(tags.size(), 4u);
            EXPECT_EQ(tags.back()->GetTagCode(), swf_tag::kShowFrame);
            auto* last = dynamic_cast<CTagDoAction*>(tags[tags.size() - 2]);
            ASSERT_TRUE(last);
            std::vector<int> actions;
            for (const auto& a : last->actions) actions.push_back(a->GetActionCode());
            // The loop goes back to the frame of the stream head.
            if (auto* go = dynamic_cast<CActionGotoFrame*>(last->actions[0].get())) {
                EXPECT_EQ(go->frame, 1);
            }
            EXPECT_EQ(actions, c.lastActions);
        }
        reader.ClearTags(true);
        tavrel_test::ExpectDumpAccepts(m.path, {"SoundStreamHead", "SoundStreamBlock"});
    }
}

// A slide caption is placed at its start and goes its duration after the
// frame that placed it, or with the slide when it shows till the next one.
// It takes its depth from the show's depth counter and is recorded, so it
// ends above every slide.
TEST(SlideExport, SlideCaptionsComeAndGo)
{
    REQUIRE_DEJAVU();
    struct Case {
        bool tillNext;
        const char* summary;
    } cases[] = {
        // Depth 2 of the counter, renumbered to 4 above the second slide's 3.
        {false,
         "B L:slidepre_1 S P:1 L:slide_1 F6 Font T Sp P:4 F12 R:4 F6 B L:slidepre_2 S P:3 R:1 L:slide_2 F24 End"},
        {true, "B L:slidepre_1 S P:1 L:slide_1 F6 Font T Sp P:4 F18 R:4 B L:slidepre_2 S P:3 R:1 L:slide_2 F24 End"},
    };
    TempDir dir;
    const std::string picture = WriteQuadrants(dir, "q.jpg", 32, 24);
    for (const Case& c : cases) {
        SlideMovie m(dir);
        auto caption = std::make_unique<CCaption>();
        caption->SetText("Hello");
        caption->SetFont(dejavu::Font(20));
        caption->SetStartTime(500);
        caption->SetDuration(1000);
        caption->SetShowTillNext(c.tillNext);
        m.Add(picture).AddCaption(std::move(caption));
        m.Add(picture);
        m.WriteAll();
        m.Close();
        EXPECT_EQ(m.Summary(), c.summary) << c.tillNext;
        tavrel_test::ExpectDumpAccepts(m.path, {"DefineText2"});
    }
}

// The strip show takes the picture and character alone: a DefineShape2 with
// the slide's fill as its only style, whatever the image type.
TEST(SlideExport, StripTakesPictureAndCharacter)
{
    TempDir dir;
    const std::string picture = WriteQuadrants(dir, "q.jpg", 32, 24);
    SlideMovie m(dir);
    for (int type : {CSlide::kJpeg, CSlide::kRgb24Transparent}) m.Add(picture).SetImageType(type);
    m.Open();
    for (int i = 0; i < 2; ++i) {
        CSlide& s = *m.show.GetSlide(i);
        ASSERT_TRUE(ExportSlideImages(&s, &m.movie, i + 1, m.show.GetIdCounter()));
        s.SetDepth(uint16_t(i + 1));
        PlaceSlide(&s, &m.movie, nullptr);
    }
    m.movie.AddTag(new CTagShowFrame);
    m.Close();
    EXPECT_EQ(m.Summary(), "B S P:1 B S P:2 F1 End");
    CSwfReader reader;
    ASSERT_TRUE(reader.Parse(CPath(m.path), true, 0, true));
    for (CSwfTag* tag : reader.GetTags(nullptr))
        if (tag->GetTagCode() == swf_tag::kDefineShape2) {
            EXPECT_EQ(static_cast<CTagDefineShape*>(tag)->shape->fillStyles->GetCount(), 1u);
        }
    reader.ClearTags(true);
    tavrel_test::ExpectDumpAccepts(m.path, {"DefineShape2"});
}

}  // namespace
