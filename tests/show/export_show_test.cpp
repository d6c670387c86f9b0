// The whole road of an export: a project written to disk, opened by the
// editor's document, compiled, and the movie read by the test's own walker,
// by the shared strict reader and played in a Flash player.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "media/png_image.h"
#include "show/camera_fx.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sprite.h"
#include "media/progress.h"
#include "show/export_fixtures.h"
#include "show/movie_walker.h"
#include "show/project_file.h"
#include "show/show_test_util.h"
#include "show/slide_show.h"
#include "support/swf_tools.h"
#include "support/test_support.h"

using namespace show_test;
using tavrel_test::TempDir;

namespace {

enum Tag { kEnd = 0, kShowFrame = 1, kDoAction = 12, kDefineSound = 14, kStartSound = 15, kBitsJpeg2 = 21,
           kPlace2 = 26, kRemove2 = 28, kDefineShape3 = 32, kDefineText2 = 33, kDefineSprite = 39, kFrameLabel = 43 };

constexpr uint32_t kQuadrants[4] = {0xE02020, 0x20C020, 0x2020E0, 0xE0E020};
constexpr uint32_t kSlide2 = 0x208080;

// A sink that cancels once it has been told of `after` slides.
class CancelAfter : public CProgressDialog {
public:
    explicit CancelAfter(int after) : after_(after) {}
    void SetRange(int, int) override {}
    void SetMessage(const char*) override {}
    void SetDetail(const char*) override {}
    void SetPosition(int value) override { done_ = value; }
    bool IsCancelled() const override { return done_ >= after_; }

private:
    int after_, done_ = 0;
};

// The show of the table: two slides, a caption on the second, the show sound.
void BaseShow(CSlideShow& show, const TempDir& dir)
{
    show.SetSize(320, 240);
    show.SetFps(12);
    show.bg_color = 255;
    auto first = std::make_unique<CSlide>(CSlide::kImage, &show);
    first->LoadImage(CPath(WriteQuadrantJpeg(dir, "quadrants.jpg", 640, 480, kQuadrants)), &show, true);
    first->SetDuration(2000);
    show.InsertSlide(std::move(first), false);
    auto second = std::make_unique<CSlide>(CSlide::kImage, &show);
    second->LoadImage(CPath(WriteColourPng(dir, "plain.png", 320, 240, kSlide2)), &show, true);
    second->SetDuration(1500);
    auto caption = std::make_unique<CCaption>();
    caption->SetText("Hello");
    CFont font;
    font.SetName("DejaVu Sans");
    font.SetSize(20);
    caption->SetFont(font);
    caption->SetStartTime(500);
    second->AddCaption(std::move(caption));
    show.InsertSlide(std::move(second), false);
    show.GetSounds().SetInclude(1);
    show.GetSounds().Get(0)->SetSrc(CPath(WriteWave(dir, 22050)));
    show.GetSounds().Get(0)->SetSampleRate(22050);
}

// Width and height of the JPEG in a DefineBitsJPEG2 body.
std::pair<int, int> JpegSize(const std::string& body)
{
    for (size_t i = 2; i + 8 < body.size(); ++i)
        if (uint8_t(body[i]) == 0xFF && (uint8_t(body[i + 1]) == 0xC0 || uint8_t(body[i + 1]) == 0xC2))
            return {uint8_t(body[i + 7]) << 8 | uint8_t(body[i + 8]), uint8_t(body[i + 5]) << 8 | uint8_t(body[i + 6])};
    return {0, 0};
}

// Every character is defined once and before anything places it.
void ExpectIdsDefinedOnceBeforeUse(const WalkedMovie& m)
{
    static const std::set<int> defining = {2, 6, 7, 10, 11, 14, 20, 21, 22, 32, 33, 34, 35, 36, 37, 39, 46, 48, 75, 83};
    std::set<int> defined;
    for (const WalkedTag& t : m.tags) {
        if (defining.count(t.code)) {
            EXPECT_TRUE(defined.insert(U16(t.body, 0)).second) << "id " << U16(t.body, 0);
        }
        if (t.code == kPlace2) {
            const WalkedPlace p = ReadPlace(t.body);
            if (p.character >= 0) {
                EXPECT_TRUE(defined.count(p.character)) << "placed before defined: " << p.character;
            }
        }
    }
}

// Pixels of two shots that differ by more than a little in any channel.
int DifferingPixels(const std::string& a, const std::string& b)
{
    CPngImage x, y;
    if (!x.Load(CPath(a)) || !y.Load(CPath(b)) || x.width != y.width || x.height != y.height) return -1;
    int n = 0;
    const int bx = x.BytesPerPixel(), by = y.BytesPerPixel();
    for (uint32_t i = 0; i < x.width * x.height; ++i)
        for (int c = 0; c < 3; ++c)
            if (std::abs(int(x.pixels[i * bx + c]) - int(y.pixels[i * by + c])) > 40) {
                ++n;
                break;
            }
    return n;
}

// A transition that exists only here: the new slide slides in from the left
// over its frames, then the old one goes.
class CTestSlideIn : public CTransition {
public:
    CTestSlideIn() : CTransition("Test Slide In", 250) {}
    std::unique_ptr<CTransition> Clone() const override { return std::make_unique<CTestSlideIn>(*this); }
    std::unique_ptr<CTransition> CreateInstance() const override { return Clone(); }
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t*, uint16_t*) override
    {
        PlaceNext(slide, movie, nullptr);
        const unsigned n = DurationFrames(movie->GetFrameRate());
        for (unsigned k = 1; k <= n; ++k) {
            auto* step = new CTagPlaceObject2;
            step->move = true;
            step->depth = slide->GetDepth();
            auto* m = new CSwfMatrix;
            m->SetIdentity();
            m->translateX = slide->GetCameraPlacement().centerX - int32_t(6400 * (n - k) / n);
            m->translateY = slide->GetCameraPlacement().centerY;
            step->SetMatrix(m);
            movie->AddTag(step);
            movie->AddTag(new CTagShowFrame);
        }
        RemovePrevious(previous, movie);
        return true;
    }
};

// An effect that exists only here: one white square.
class CTestSquare : public COverlayEffect {
public:
    CTestSquare() : COverlayEffect("Test Square") {}
    std::unique_ptr<COverlayEffect> Clone() const override { return std::make_unique<CTestSquare>(); }
    uint16_t Build(CSwfMovie* movie, uint16_t* ids, uint16_t*) override
    {
        auto* square = new CTagDefineShape;
        square->SetCharacterId(++*ids);
        square->BuildRect(0, 0, 400, 400, CFillStyle::MakeSolid(0xFFFFFF), nullptr);
        movie->AddTag(square);
        auto* sprite = new CTagDefineSprite;
        sprite->SetCharacterId(++*ids);
        auto* place = new CTagPlaceObject2;
        place->SetCharacterId(*ids - 1);
        place->depth = 1;
        sprite->AddTag(place);
        sprite->AddTag(new CTagShowFrame);
        movie->AddTag(sprite);
        return spriteId_ = *ids;
    }
    bool Place(CSwfMovie* movie, uint16_t depth) override { return PlaceSprite(movie, depth); }
};

struct ShowRow {
    const char* name;
    std::function<void(CSlideShow&, const TempDir&)> change;
    std::function<void(const WalkedMovie&, CEditorSlideShow&)> check;
    int cancelAfter = 0;  // slides before a cancel; 0 for none
    bool succeeds = true;
    std::function<void(const std::string& movie, const TempDir&)> play = nullptr;
};

}  // namespace

TEST(ExportShow, ProjectToPlayedMovie)
{
    // The project reader finds kinds by name in the registries.
    CTransitionList kinds;
    kinds.AddSorted(std::make_unique<CTransition>());
    kinds.AddSorted(std::make_unique<CTestSlideIn>());
    COverlayEffectList effects;
    ASSERT_EQ(COverlayEffectList::GetCurrent(), &effects);
    effects.Add(std::make_unique<COverlayEffect>());
    effects.Add(std::make_unique<CTestSquare>());
    const ShowRow rows[] = {
        {"the show of two slides", [](CSlideShow&, const TempDir&) {},
         [](const WalkedMovie& m, CEditorSlideShow&) {
             EXPECT_EQ(m.signature, "FWS");
             EXPECT_EQ(m.version, 5);
             EXPECT_EQ(m.width, 6400);
             EXPECT_EQ(m.height, 4800);
             EXPECT_EQ(m.rate, 12.0);
             EXPECT_EQ(m.frameCount, 43);
             EXPECT_EQ(m.tags[0].code, 9);
             EXPECT_EQ(m.tags[0].body, std::string("\xFF\0\0", 3));
             EXPECT_EQ(m.LabelFrame("!#p"), -1);
             EXPECT_EQ(m.LabelFrame("slidepre_1"), 0);
             EXPECT_EQ(m.LabelFrame("slide_1"), 0);
             EXPECT_EQ(m.LabelFrame("slidepre_2"), 24);
             EXPECT_EQ(m.LabelFrame("slide_2"), 24);
             const auto bitmaps = m.Find(kBitsJpeg2);
             ASSERT_EQ(bitmaps.size(), 2u);
             for (const WalkedTag* b : bitmaps) EXPECT_EQ(JpegSize(b->body), std::make_pair(320, 240));
             ASSERT_EQ(m.Find(kDefineSound).size(), 1u);
             EXPECT_EQ(uint8_t(m.Nth(kDefineSound, 0).body[2]), 0x2A) << "MP3, 22 kHz, 16-bit, mono";
             ASSERT_EQ(m.Find(kStartSound).size(), 1u);
             EXPECT_EQ(m.Nth(kStartSound, 0).frame, 0);
             ASSERT_EQ(m.Find(kDefineText2).size(), 1u);
             EXPECT_EQ(m.Nth(kDefineText2, 0).frame, 30);
             const WalkedTag* sprite = &m.Nth(kDefineSprite, -1);
             EXPECT_EQ(sprite->frame, 30);
             const WalkedTag* captionPlace = nullptr;
             int slideDepth = 0, maxDepth = 0, maskClip = 0;
             for (const WalkedTag* t : m.Find(kPlace2)) {
                 const WalkedPlace p = ReadPlace(t->body);
                 if (p.clipDepth > 0) maskClip = p.clipDepth;
                 maxDepth = std::max(maxDepth, p.depth);
                 if (p.character == U16(sprite->body, 0)) captionPlace = t;
                 else if (t->frame < 30 && p.clipDepth < 0) slideDepth = std::max(slideDepth, p.depth);
             }
             ASSERT_NE(captionPlace, nullptr);
             EXPECT_EQ(captionPlace->frame, 30);
             const int captionDepth = ReadPlace(captionPlace->body).depth;
             EXPECT_GT(captionDepth, slideDepth) << "the caption above the slides";
             EXPECT_GE(maskClip, maxDepth) << "the mask over every depth";
             bool removed = false;
             for (const WalkedTag* t : m.Find(kRemove2))
                 removed = removed || (U16(t->body, 0) == captionDepth && t->frame == 42);
             EXPECT_TRUE(removed);
             const WalkedTag* last = &m.Nth(kDoAction, -1);
             EXPECT_EQ(last->frame, 42);
             EXPECT_EQ(ActionCodes(last->body), (std::vector<int>{0x07}));
             EXPECT_EQ(m.tags.back().code, kEnd);
             ExpectIdsDefinedOnceBeforeUse(m);
         },
         0, true,
         [](const std::string& movie, const TempDir& dir) {
             tavrel_test::ExpectShotPixels(movie, 1, {{80, 60, kQuadrants[0], 40}, {240, 60, kQuadrants[1], 40},
                                                      {80, 180, kQuadrants[2], 40}, {240, 180, kQuadrants[3], 40}});
             tavrel_test::ExpectShotPixels(movie, 25, {{10, 10, kSlide2, 24}, {300, 220, kSlide2, 24}});
             if (!tavrel_test::SwfShotUnavailable().empty()) return;
             const std::string before = dir.file("30.png"), after = dir.file("31.png");
             ASSERT_EQ(tavrel_test::SwfShotReached(movie, before, 30, {}).exitCode, 0);
             ASSERT_EQ(tavrel_test::SwfShotReached(movie, after, 31, {}).exitCode, 0);
             EXPECT_GT(DifferingPixels(before, after), 20) << "the caption's glyphs appear in frame 31";
         }},
        {"compressed",
         [](CSlideShow& s, const TempDir&) { s.use_compression = true; },
         [](const WalkedMovie& m, CEditorSlideShow&) {
             EXPECT_EQ(m.signature, "CWS");
             EXPECT_EQ(m.version, 6);
             EXPECT_EQ(m.frameCount, 43);
         }},
        {"a transition and an effect of the tests on both slides, looping",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().loop_mode = 2;
             for (int i = 0; i < 2; ++i) {
                 s.GetSlide(i)->SetTransitionIn(std::make_unique<CTestSlideIn>());
                 s.GetSlide(i)->SetSwfFx(std::make_unique<CTestSquare>());
             }
         },
         [](const WalkedMovie& m, CEditorSlideShow&) {
             EXPECT_EQ(m.frameCount, 3 + 24 + 3 + 18 + 3 + 1) << "each transition's frames, and the loop-back's";
             EXPECT_EQ(m.LabelFrame("slidepre_2"), 27);
             EXPECT_EQ(m.LabelFrame("slide_2"), 30);
             int squareSprite = -1;
             for (const WalkedTag* t : m.Find(kDefineSprite))
                 if (t->frame == 3 && squareSprite < 0) squareSprite = U16(t->body, 0);
             std::vector<int> depths;
             for (const WalkedTag* t : m.Find(kPlace2))
                 if (ReadPlace(t->body).character == squareSprite) depths.push_back(ReadPlace(t->body).depth);
             ASSERT_EQ(depths.size(), 2u) << "defined once, placed on each slide";
             for (int depth : depths) {
                 int removals = 0;
                 for (const WalkedTag* t : m.Find(kRemove2)) removals += U16(t->body, 0) == depth;
                 EXPECT_EQ(removals, 1) << "removed with its slide";
             }
             EXPECT_EQ(ActionCodes(m.Nth(kDoAction, -1).body), (std::vector<int>{0x8C, 0x06}));
         }},
        {"pan and zoom adds its frames after the slide's",
         [](CSlideShow& s, const TempDir&) { s.GetSlide(0)->InsertCameraFx(std::make_unique<CPanZoomFx>(0, 0, 2.0, 1000), 0); },
         [](const WalkedMovie& m, CEditorSlideShow&) {
             EXPECT_EQ(m.frameCount, 43 + 12);
             EXPECT_EQ(m.LabelFrame("slide_2"), 36);
         }},
        {"stop on the first frame", [](CSlideShow& s, const TempDir&) { s.GetMovieSettings().start_action = 2; },
         [](const WalkedMovie& m, CEditorSlideShow&) {
             EXPECT_EQ(m.frameCount, 44);
             EXPECT_EQ(m.LabelFrame("slide_1"), 1);
             EXPECT_EQ(m.Nth(kStartSound, 0).frame, 1) << "the show sound starts with the first slide";
         }},
        {"play after a pause, looping a number of times",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().start_action = 1;
             s.GetMovieSettings().pause_time = 1000;
             s.GetMovieSettings().loop_mode = 1;
         },
         [](const WalkedMovie& m, CEditorSlideShow&) {
             EXPECT_EQ(m.LabelFrame("slide_1"), 2);
             const auto codes = ActionCodes(m.Nth(kDoAction, -1).body);
             ASSERT_GE(codes.size(), 13u);
             EXPECT_EQ(codes[12], 0x8C) << "back to the first slide's label";
         }},
        {"playback controls pause after the first slide, mute control, preloader",
         [](CSlideShow& s, const TempDir&) {
             const std::string skins = std::string(TAVREL_BUNDLE_DIR) + "/Contents/Resources/";
             s.controls = s.mute_control = true;
             s.GetMovieSettings().preload = true;
             ASSERT_TRUE(s.SetControlsSkin(CPath(skins + "Controls/Classic.dll")));
             ASSERT_TRUE(s.SetMuteControlSkin(CPath(skins + "Mute Controls/Classic.dll")));
             s.GetSlide(0)->SetPauseAfter(true);
         },
         [](const WalkedMovie& m, CEditorSlideShow&) {
             EXPECT_EQ(m.LabelFrame("slide_1"), 2) << "after the preloader's frame and the controls' script";
             std::set<std::string> names;
             for (const WalkedTag* t : m.Find(kPlace2)) names.insert(ReadPlace(t->body).name);
             EXPECT_TRUE(names.count("show_controls"));
             EXPECT_TRUE(names.count("mute_control"));
         },
         0, true,
         [](const std::string& movie, const TempDir& dir) {
             const std::string why = tavrel_test::SwfShotUnavailable();
             if (!why.empty()) GTEST_SKIP() << why;
             // The play/pause button's centre: a bar of the pause look, the
             // play look's white triangle.
             const auto shot = [&](const std::string& when) {
                 const auto r = tavrel_test::RunSwfShot(movie, dir.file("controls.png"), when + " --pixel 160,222");
                 EXPECT_EQ(r.exitCode, 0) << r.output;
                 return tavrel_test::ShotPixel(r.output, 160, 222);
             };
             EXPECT_EQ(shot("--stop-at 8"), 0x505050) << "the pause look while playing";
             EXPECT_EQ(shot("--ms 3500"), 0xFFFFFF) << "the play look once the first slide paused";
         }},
        {"cancelled after the first slide", [](CSlideShow&, const TempDir&) {},
         [](const WalkedMovie& m, CEditorSlideShow& show) {
             EXPECT_EQ(show.GetLastError(), CSlideShow::kExportCancelled);
             EXPECT_EQ(m.frameCount, 24);
             EXPECT_EQ(m.LabelFrame("slide_2"), -1);
             EXPECT_EQ(m.tags.back().code, kEnd);
         },
         1, false},
        {"cancelled after the first slide, compressed", [](CSlideShow& s, const TempDir&) { s.use_compression = true; },
         [](const WalkedMovie& m, CEditorSlideShow& show) {
             EXPECT_EQ(show.GetLastError(), CSlideShow::kExportCancelled);
             EXPECT_EQ(m.signature, "CWS");
             EXPECT_EQ(m.frameCount, 24);
         },
         1, false},
        {"a slide whose picture cannot be read is left out",
         [](CSlideShow& s, const TempDir& d) {
             auto broken = std::make_unique<CSlide>(CSlide::kImage, &s);
             // Its header gives a size, but there are no pixels to read.
             broken->LoadImage(CPath(WritePngHeader(d, "broken.png", 32, 32)), &s, true);
             s.InsertSlideAt(std::move(broken), 1);
         },
         [](const WalkedMovie& m, CEditorSlideShow& show) {
             EXPECT_EQ(show.GetSkippedSlides(), std::vector<int>{2});
             // Labels count the slides written: the third slide is the second.
             EXPECT_EQ(m.LabelFrame("slide_2"), 24);
             EXPECT_EQ(m.LabelFrame("slide_3"), -1);
             EXPECT_EQ(m.frameCount, 43);
         }},
        {"blank slide shows the background",
         [](CSlideShow& s, const TempDir&) { s.InsertSlideAt(std::make_unique<CSlide>(CSlide::kBlank, &s), 0); },
         [](const WalkedMovie& m, CEditorSlideShow&) {
             ASSERT_EQ(m.Find(kDefineShape3).size(), 1u);
             EXPECT_EQ(m.LabelFrame("slide_2"), 24);
         }},
        {"loop forever goes back through the first slide's transition",
         [](CSlideShow& s, const TempDir&) { s.GetMovieSettings().loop_mode = 2; },
         [](const WalkedMovie& m, CEditorSlideShow&) {
             const auto codes = ActionCodes(m.Nth(kDoAction, -1).body);
             EXPECT_EQ(codes, (std::vector<int>{0x8C, 0x06}));
         }},
    };
    for (const ShowRow& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        PrivateTemp temp(dir);
        {
            CSlideShow authored;
            BaseShow(authored, dir);
            row.change(authored, dir);
            ASSERT_TRUE(SaveProject(CPath(dir.file("show.tvr")), authored, CPublishSettings()));
        }
        CEditorSlideShow show;
        CPublishSettings publish;
        ASSERT_EQ(OpenProject(CPath(dir.file("show.tvr")), show, publish), ProjectOpenError::kNone);
        const std::string path = dir.file("show.swf");
        std::unique_ptr<CancelAfter> sink = row.cancelAfter ? std::make_unique<CancelAfter>(row.cancelAfter) : nullptr;
        EXPECT_EQ(show.Export(CPath(path), true, sink.get()), row.succeeds) << show.GetLastErrorText();
        const WalkedMovie movie = WalkMovie(path);
        ASSERT_TRUE(movie.ok);
        EXPECT_EQ(movie.length, movie.fileSize);
        row.check(movie, show);
        tavrel_test::ExpectDumpAccepts(path, {});
        EXPECT_EQ(CountTemporaries(dir.path()), 0);
        if (row.play) row.play(path, dir);
    }
}

TEST(ExportShow, EveryImageTypeOfTheFirstSlide)
{
    // The tag that carries slide 1's picture, by image type.
    const int pictureTag[] = {21, 20, 20, 36, 39, 21, 35, 36, 36};
    for (int type = 0; type < 9; ++type) {
        SCOPED_TRACE(type);
        TempDir dir;
        CEditorSlideShow show;
        BaseShow(show, dir);
        show.GetSounds().SetInclude(0);
        show.GetSlide(0)->SetImageType(type);
        const std::string path = dir.file("types.swf");
        ASSERT_TRUE(show.Export(CPath(path), true, nullptr)) << show.GetLastErrorText();
        const WalkedMovie m = WalkMovie(path);
        ASSERT_TRUE(m.ok);
        EXPECT_EQ(m.version, type == CSlide::kJpegExternal ? 6 : 5);
        const WalkedTag* picture = nullptr;
        for (const WalkedTag& t : m.tags) {
            if (t.code == kFrameLabel && t.body.c_str() == std::string("slidepre_1")) break;
            if (t.code == 20 || t.code == 21 || t.code == 35 || t.code == 36 || t.code == kDefineSprite) picture = &t;
        }
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->code, pictureTag[type]);
        EXPECT_EQ(m.frameCount, 43);
        tavrel_test::ExpectDumpAccepts(path, {});
    }
}
