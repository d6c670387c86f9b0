// The export driver and the frame timeline: whole movies written from
// shows, read back by the test's own tag walker and the shared checkers.
#include <gtest/gtest.h>

#include <functional>

#include "../media/picture_fixtures.h"
#include "media/picture_file.h"
#include "show/export_fixtures.h"
#include "show/camera_fx.h"
#include "show/movie_walker.h"
#include "show/slide_show.h"
#include "show/transition.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "support/file_size_limit.h"
#include "support/swf_tools.h"
#include "support/test_support.h"

using show_test::ActionCodes;
using show_test::CountTemporaries;
using show_test::PrivateTemp;
using show_test::ReadActions;
using show_test::ReadPlace;
using show_test::U16;
using show_test::WalkedMovie;
using show_test::WalkedTag;
using show_test::WalkMovie;
using show_test::WriteColourJpeg;
using show_test::WriteColourPng;
using show_test::WriteWave;
using tavrel_test::TempDir;

namespace {

enum Tag { kEnd = 0, kShowFrame = 1, kDefineShape = 2, kDoAction = 12, kDefineSound = 14, kStartSound = 15,
           kBitsJpeg2 = 21, kProtect = 24, kPlace2 = 26, kRemove2 = 28, kBackground = 9, kSoundHead = 18,
           kSoundBlock = 19, kButton2 = 34, kDefineShape3 = 32, kFrameLabel = 43 };

std::vector<int> EndActionCodes(const WalkedMovie& m)
{
    const auto actions = m.Find(kDoAction);
    return actions.empty() ? std::vector<int>{} : ActionCodes(actions.back()->body);
}

struct MovieRow {
    const char* name;
    std::function<void(CSlideShow&, const TempDir&)> setup;
    std::function<void(const WalkedMovie&)> check;
    bool editor = false;
    int shotFrame = 0;  // 1-based; 0 for no shot
    std::vector<tavrel_test::PixelExpect> pixels = {};
};

void ExpectPixelsAt(const std::string& path, const MovieRow& row)
{
    if (row.shotFrame) tavrel_test::ExpectShotPixels(path, row.shotFrame, row.pixels);
}

}  // namespace

TEST(FrameTimeline, FramesOfTimesAndCaptionRecords)
{
    struct {
        float fps;
        uint32_t ms, frames;
    } const rows[] = {{12, 0, 0}, {12, 41, 0}, {12, 42, 1}, {12, 2500, 30}, {15, 1500, 23}, {120, 1000000, 120000}};
    for (const auto& r : rows) {
        CSlideShow show;
        ASSERT_TRUE(show.SetFps(r.fps));
        EXPECT_EQ(show.MsToFrames(r.ms), r.frames) << r.fps << " fps, " << r.ms << " ms";
    }

    CSlideShow show;
    for (uint32_t start : {1000u, 1000u}) {
        auto caption = std::make_unique<CCaption>();
        caption->SetStartTime(start);
        caption->SetDuration(2500);
        show.GetCaptions().Add(std::move(caption));
    }
    show.AddRemoveRecord(7, 50);
    show.PrepareExport();
    const auto& timeline = show.GetTimeline();
    ASSERT_EQ(timeline.size(), 43u) << "the export's own records start afresh";
    ASSERT_EQ(timeline[12].size(), 2u);
    EXPECT_EQ(timeline[12][0].object, show.GetCaptions().Get(0)) << "same start frame keeps list order";
    EXPECT_EQ(timeline[12][1].object, show.GetCaptions().Get(1));
    ASSERT_EQ(timeline[42].size(), 2u);
    EXPECT_EQ(timeline[42][0].kind, CTimelineRecord::kRemove);
    show.AddRemoveRecord(9, 60);
    ASSERT_EQ(show.GetTimeline().size(), 61u);
    EXPECT_EQ(show.GetTimeline()[60][0].depth, 9);
    EXPECT_EQ(show.GetTimeline()[60][0].object, nullptr);
}

TEST(ExportDriver, MovieLevelParts)
{
    const MovieRow rows[] = {
        {"empty show",
         [](CSlideShow& s, const TempDir&) { s.bg_color = 255; },
         [](const WalkedMovie& m) {
             EXPECT_EQ(m.signature, "FWS");
             EXPECT_EQ(m.version, 5);
             EXPECT_EQ(m.width, 6400);
             EXPECT_EQ(m.height, 4800);
             EXPECT_EQ(m.rate, 12.0);
             EXPECT_EQ(m.frameCount, 1);
             ASSERT_GE(m.tags.size(), 7u);
             EXPECT_EQ(m.tags[0].code, kBackground);
             EXPECT_EQ(m.tags[0].body, std::string("\xFF\0\0", 3));
             EXPECT_EQ(m.LabelFrame("!#p"), 0);
             const auto places = m.Find(kPlace2);
             ASSERT_EQ(places.size(), 1u);
             const auto mask = ReadPlace(places[0]->body);
             EXPECT_EQ(mask.depth, 1);
             EXPECT_EQ(mask.clipDepth, 2) << "the clip reaches the last depth after renumbering";
             EXPECT_EQ(mask.character, U16(m.Nth(kDefineShape, 0).body, 0));
             EXPECT_EQ(EndActionCodes(m), (std::vector<int>{0x07}));
             EXPECT_EQ(m.tags[m.tags.size() - 2].code, kShowFrame);
         }},
        {"editor document prints unless asked", [](CSlideShow&, const TempDir&) {},
         [](const WalkedMovie& m) { EXPECT_EQ(m.LabelFrame("!#p"), -1); }, true},
        {"editor document asked not to print", [](CSlideShow& s, const TempDir&) { s.disable_print = true; },
         [](const WalkedMovie& m) { EXPECT_EQ(m.LabelFrame("!#p"), 0); }, true},
        {"protected", [](CSlideShow& s, const TempDir&) { s.protect = true; },
         [](const WalkedMovie& m) { EXPECT_EQ(m.tags[0].code, kProtect); }},
        {"stop on the first frame",
         [](CSlideShow& s, const TempDir&) { s.GetMovieSettings().start_action = 2; },
         [](const WalkedMovie& m) {
             EXPECT_EQ(m.frameCount, 2);
             const auto actions = m.Find(kDoAction);
             ASSERT_EQ(actions.size(), 2u);
             EXPECT_EQ(actions[0]->frame, 0);
             EXPECT_EQ(ActionCodes(actions[0]->body), (std::vector<int>{0x07}));
         }},
        {"play after a pause",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().start_action = 1;
             s.GetMovieSettings().pause_time = 3000;
         },
         [](const WalkedMovie& m) {
             EXPECT_EQ(m.frameCount, 3);
             const WalkedTag* wait = &m.Nth(kDoAction, 0);
             EXPECT_EQ(wait->frame, 1);
             const auto actions = ReadActions(wait->body);
             ASSERT_EQ(ActionCodes(wait->body), (std::vector<int>{0x34, 0x96, 0x0F, 0x12, 0x9D, 0x81, 0x06}));
             EXPECT_EQ(actions[1].payload, std::string("\0003000\0", 6));
             EXPECT_EQ(U16(actions[4].payload, 0), 6) << "the If skips the loop back";
             EXPECT_EQ(U16(actions[5].payload, 0), 0) << "back to the frame before the wait";
         }},
        {"a pause of no time plays at once",
         [](CSlideShow& s, const TempDir&) { s.GetMovieSettings().start_action = 1; },
         [](const WalkedMovie& m) { EXPECT_EQ(m.frameCount, 1); }},
        {"playback functions with the controls",
         [](CSlideShow& s, const TempDir&) { s.controls = true; },
         [](const WalkedMovie& m) {
             const WalkedTag* show = &m.Nth(kDoAction, 0);
             EXPECT_EQ(show->frame, 0);
             const auto actions = ReadActions(show->body);
             ASSERT_EQ(actions.size(), 20u);
             EXPECT_EQ(actions[0].code, 0x88);
             EXPECT_EQ(actions[1].code, 0x9B);
             EXPECT_EQ(actions[1].payload, std::string("slideshow_play\0\0\0\x32\0", 19))
                 << "the body's size is that of its seven actions";
             EXPECT_EQ(actions[2].payload, std::string("\x08\0\x05\x01", 4));
             EXPECT_EQ(actions[4].payload, std::string("show_controls/playpause_btn\0", 28));
             EXPECT_EQ(actions[9].code, 0x9B);
             EXPECT_EQ(actions[16].code, 0x07);
             EXPECT_EQ(EndActionCodes(m), (std::vector<int>{0x07, 0x96, 0x3D, 0x17}));
         }},
        {"loop a number of times without slides",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().loop_mode = 1;
             s.GetMovieSettings().loop_count = 3;
         },
         [](const WalkedMovie& m) {
             const WalkedTag* end = &m.Nth(kDoAction, -1);
             const auto actions = ReadActions(end->body);
             ASSERT_EQ(ActionCodes(end->body), (std::vector<int>{0x96, 0x96, 0x1C, 0x96, 0x0A, 0x1D, 0x96, 0x1C, 0x96,
                                                                 0x0F, 0x12, 0x9D, 0x81, 0x06, 0x99, 0x07}));
             EXPECT_EQ(actions[8].payload, std::string("\0003\0", 3));
             EXPECT_EQ(U16(actions[11].payload, 0), 11);
             EXPECT_EQ(U16(actions[12].payload, 0), 0);
             EXPECT_EQ(U16(actions[14].payload, 0), 1);
         }},
        {"the loop starts after the frames before the first slide",
         [](CSlideShow& s, const TempDir&) {
             s.controls = true;
             s.GetMovieSettings().start_action = 2;
             s.GetMovieSettings().loop_mode = 1;
         },
         [](const WalkedMovie& m) {
             const auto actions = ReadActions(m.Nth(kDoAction, -1).body);
             ASSERT_EQ(actions.size(), 19u);
             EXPECT_EQ(actions[12].code, 0x81);
             EXPECT_EQ(U16(actions[12].payload, 0), 1) << "controls and start action share one frame";
             EXPECT_EQ(U16(actions[14].payload, 0), 32);
         }},
        {"loop forever without slides writes no end script",
         [](CSlideShow& s, const TempDir&) { s.GetMovieSettings().loop_mode = 2; },
         [](const WalkedMovie& m) { EXPECT_TRUE(m.Find(kDoAction).empty()); }},
        {"click opens a page",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().click_enabled = true;
             s.GetMovieSettings().click_url = "http://a.example/";
             s.GetMovieSettings().click_target = "_top";
         },
         [](const WalkedMovie& m) {
             const auto buttons = m.Find(kButton2);
             ASSERT_EQ(buttons.size(), 1u);
             const std::string& b = buttons[0]->body;
             EXPECT_NE(b.find(std::string("\x83\x17\0http://a.example/\0_top\0", 26)), std::string::npos);
             const auto place = ReadPlace(m.Nth(kPlace2, 1).body);
             EXPECT_EQ(place.character, U16(b, 0));
             EXPECT_EQ(place.depth, 2);
         }},
        {"click loads a movie",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().click_enabled = true;
             s.GetMovieSettings().click_action = 1;
         },
         [](const WalkedMovie& m) {
             const std::string& b = m.Nth(kButton2, 0).body;
             EXPECT_NE(b.find(std::string("\x9A\x01\0\x40\0", 5)), std::string::npos);
         }},
        {"end opens a page",
         [](CSlideShow& s, const TempDir&) { s.GetMovieSettings().end_enabled = true; },
         [](const WalkedMovie& m) { EXPECT_EQ(EndActionCodes(m), (std::vector<int>{0x83, 0x07})); }},
        // The end action stands before the loop's test: every pass runs it.
        {"end opens a page on every pass of a loop",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().end_enabled = true;
             s.GetMovieSettings().loop_mode = 1;
             s.GetMovieSettings().loop_count = 3;
         },
         [](const WalkedMovie& m) {
             EXPECT_EQ(EndActionCodes(m), (std::vector<int>{0x83, 0x96, 0x96, 0x1C, 0x96, 0x0A, 0x1D, 0x96, 0x1C,
                                                            0x96, 0x0F, 0x12, 0x9D, 0x81, 0x06, 0x99, 0x07}));
         }},
        {"end opens a page on every pass of a loop for ever",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().end_enabled = true;
             s.GetMovieSettings().loop_mode = 2;
             s.InsertSlide(std::make_unique<CSlide>(CSlide::kBlank, &s), false);
         },
         [](const WalkedMovie& m) { EXPECT_EQ(EndActionCodes(m), (std::vector<int>{0x83, 0x81, 0x06})); }},
        {"end unloads the movie",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().end_enabled = true;
             s.GetMovieSettings().end_action = 2;
         },
         [](const WalkedMovie& m) { EXPECT_EQ(EndActionCodes(m), (std::vector<int>{0x96, 0x96, 0x9A, 0x07})); }},
        {"background image",
         [](CSlideShow& s, const TempDir& d) {
             s.use_bg_image = true;
             s.bg_image = CPath(WriteColourJpeg(d, "bg.jpg", 64, 48, 0x2040E0));
             s.bg_image_width = 160;
             s.bg_image_height = 120;
         },
         [](const WalkedMovie& m) {
             ASSERT_EQ(m.Find(kBitsJpeg2).size(), 1u);
             ASSERT_EQ(m.Find(kDefineShape).size(), 2u);
         },
         false, 1, {{40, 40, 0x2040E0, 24}, {300, 200, 0x000000, 8}}},
        {"tiled background image",
         [](CSlideShow& s, const TempDir& d) {
             s.use_bg_image = s.bg_image_tile = true;
             s.bg_image = CPath(WriteColourJpeg(d, "tile.jpg", 16, 16, 0x20E040));
             s.bg_image_width = s.bg_image_height = 16;
         },
         [](const WalkedMovie& m) { ASSERT_EQ(m.Find(kBitsJpeg2).size(), 1u); }, false, 1,
         {{8, 8, 0x20E040, 24}, {310, 230, 0x20E040, 24}}},
        {"background image that is not there",
         [](CSlideShow& s, const TempDir& d) {
             s.use_bg_image = true;
             s.bg_image = CPath(d.file("none.jpg"));
         },
         [](const WalkedMovie& m) { EXPECT_TRUE(m.Find(kBitsJpeg2).empty()); }},
        {"flat colour frame",
         [](CSlideShow& s, const TempDir&) {
             s.bg_frame = 1;
             s.bg_frame_color = 0x00FF00;
             s.bg_color = 0x0000FF;
         },
         [](const WalkedMovie& m) {
             const auto places = m.Find(kPlace2);
             ASSERT_EQ(places.size(), 2u);
             EXPECT_EQ(ReadPlace(places[1]->body).depth, 2) << "the frame goes right under the mask's reach";
             EXPECT_EQ(ReadPlace(places[0]->body).clipDepth, 3);
         },
         false, 1, {{4, 120, 0x00FF00, 8}, {160, 4, 0x00FF00, 8}, {160, 120, 0xFF0000, 8}}},
        {"bevelled colour frame",
         [](CSlideShow& s, const TempDir&) {
             s.bg_frame = 2;
             s.bg_frame_color = 0x808080;
             s.bg_frame_left = s.bg_frame_top = s.bg_frame_right = s.bg_frame_bottom = 20;
         },
         [](const WalkedMovie& m) { EXPECT_EQ(m.Find(kDefineShape).size(), 2u); }, false, 1,
         // Lighter up the left and along the top of each rectangle, darker down the right and along the bottom.
         {{0, 120, 0xE5E5E5, 12}, {160, 0, 0xE5E5E5, 12}, {319, 120, 0x1A1A1A, 12}, {160, 239, 0x1A1A1A, 12},
          {10, 120, 0x808080, 8}, {20, 120, 0xE5E5E5, 12}, {300, 120, 0x1A1A1A, 12}}},
        {"highlighted frame", [](CSlideShow& s, const TempDir&) { s.bg_frame = 3; },
         [](const WalkedMovie& m) { EXPECT_EQ(m.Find(kDefineShape).size(), 2u); },
         false, 1, {{1, 1, 0xFFFFFF, 24}, {160, 120, 0x000000, 8}}},
        {"metal frame", [](CSlideShow& s, const TempDir&) { s.bg_frame = 4; },
         [](const WalkedMovie& m) { EXPECT_EQ(m.Find(kDefineShape).size(), 2u); }, false, 1,
         {{160, 4, 0xFFFFFF, 24}, {2, 120, 0x666666, 24}}},
        {"pattern frame",
         [](CSlideShow& s, const TempDir& d) {
             s.bg_frame = 5;
             s.bg_frame_pattern = CPath(WriteColourJpeg(d, "p.jpg", 8, 8, 0xC02020));
         },
         [](const WalkedMovie& m) { EXPECT_EQ(m.Find(kBitsJpeg2).size(), 1u); }, false, 1,
         {{4, 120, 0xC02020, 24}}},
        {"custom pattern frame that is not there",
         [](CSlideShow& s, const TempDir& d) {
             s.bg_frame = 6;
             s.bg_frame_custom_pattern = CPath(d.file("none.png"));
         },
         [](const WalkedMovie& m) { EXPECT_EQ(m.Find(kDefineShape).size(), 1u); }},
        {"preloader",
         [](CSlideShow& s, const TempDir&) { s.GetMovieSettings().preload = true; },
         [](const WalkedMovie& m) {
             EXPECT_EQ(m.frameCount, 2);
             const auto removals = m.Find(kRemove2);
             ASSERT_EQ(removals.size(), 1u);
             EXPECT_EQ(removals[0]->frame, 1);
             bool placedFirst = false;
             for (const auto* t : m.Find(kPlace2))
                 placedFirst = placedFirst || (t->frame == 0 && ReadPlace(t->body).depth == U16(removals[0]->body, 0));
             EXPECT_TRUE(placedFirst) << "the clip leaves the stage after its frame";
         }},
        {"preloader, then a pause",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().preload = true;
             s.GetMovieSettings().start_action = 1;
             s.GetMovieSettings().pause_time = 500;
         },
         [](const WalkedMovie& m) {
             EXPECT_EQ(m.frameCount, 4);
             const WalkedTag* wait = &m.Nth(kDoAction, 0);
             EXPECT_EQ(wait->frame, 2);
             ASSERT_GT(ReadActions(wait->body).size(), 5u);
             EXPECT_EQ(U16(ReadActions(wait->body)[5].payload, 0), 1) << "the wait never goes back into the preloader";
         }},
        {"preloader counts one frame before the loop target",
         [](CSlideShow& s, const TempDir&) {
             s.GetMovieSettings().preload = true;
             s.GetMovieSettings().loop_mode = 1;
         },
         [](const WalkedMovie& m) {
             const auto actions = ReadActions(m.Nth(kDoAction, -1).body);
             ASSERT_EQ(actions[12].code, 0x81);
             EXPECT_EQ(U16(actions[12].payload, 0), 1);
         }},
        {"playback and mute controls",
         [](CSlideShow& s, const TempDir&) {
             const std::string skins = std::string(TAVREL_BUNDLE_DIR) + "/Contents/Resources/";
             s.controls = s.mute_control = true;
             ASSERT_TRUE(s.SetControlsSkin(CPath(skins + "Controls/Classic.dll")));
             ASSERT_TRUE(s.SetMuteControlSkin(CPath(skins + "Mute Controls/Classic.dll")));
         },
         [](const WalkedMovie& m) {
             int controls = -1, mute = -1, clip = -1;
             for (const auto* t : m.Find(kPlace2)) {
                 const auto p = ReadPlace(t->body);
                 if (p.name == "show_controls") controls = p.depth;
                 if (p.name == "mute_control") mute = p.depth;
                 if (p.clipDepth > 0) clip = p.clipDepth;
             }
             EXPECT_GT(clip, 1);
             EXPECT_EQ(controls, clip + 1) << "the controls stay above the mask's reach";
             EXPECT_EQ(mute, clip + 2);
         }},
        {"show caption",
         [](CSlideShow& s, const TempDir&) {
             auto caption = std::make_unique<CCaption>();
             caption->SetText("Hi");
             s.GetCaptions().Add(std::move(caption));
         },
         [](const WalkedMovie& m) {
             ASSERT_EQ(m.Find(33).size(), 1u);
             const auto places = m.Find(kPlace2);
             ASSERT_EQ(places.size(), 2u);
             EXPECT_EQ(places[1]->frame, 0);
             EXPECT_EQ(ReadPlace(places[1]->body).depth, 3) << "renumbered above the depths handed out";
             EXPECT_EQ(ReadPlace(places[0]->body).clipDepth, 4);
         }},
        {"event sound of the show",
         [](CSlideShow& s, const TempDir& d) {
             s.GetSounds().SetInclude(1);
             s.GetSounds().Get(0)->SetSrc(CPath(WriteWave(d, 22050)));
             s.GetSounds().Get(0)->SetSampleRate(22050);
         },
         [](const WalkedMovie& m) {
             const auto sounds = m.Find(kDefineSound);
             ASSERT_EQ(sounds.size(), 1u);
             EXPECT_EQ(uint8_t(sounds[0]->body[2]), 0x2A) << "MP3, 22 kHz, 16-bit, mono";
             ASSERT_EQ(m.Find(kStartSound).size(), 1u);
             EXPECT_EQ(m.Nth(kStartSound, 0).frame, 0);
         }},
        {"stream sound starts with the first slide's frame",
         [](CSlideShow& s, const TempDir& d) {
             s.GetMovieSettings().start_action = 2;
             s.GetSounds().SetInclude(1);
             s.GetSounds().Get(0)->SetSrc(CPath(WriteWave(d, 22050)));
             s.GetSounds().Get(0)->SetSync(true);
         },
         [](const WalkedMovie& m) {
             ASSERT_EQ(m.Find(kSoundHead).size(), 1u);
             EXPECT_EQ(m.Nth(kSoundHead, 0).frame, 1);
             ASSERT_EQ(m.Find(kSoundBlock).size(), 1u);
             EXPECT_EQ(m.Nth(kSoundBlock, 0).frame, 1);
         }},
    };
    for (const MovieRow& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        std::unique_ptr<CSlideShow> show =
            row.editor ? std::make_unique<CEditorSlideShow>() : std::make_unique<CSlideShow>();
        row.setup(*show, dir);
        const std::string path = dir.file("movie.swf");
        ASSERT_TRUE(show->Export(CPath(path), true, nullptr)) << show->GetLastErrorText();
        EXPECT_EQ(show->GetLastError(), 0u);
        const WalkedMovie movie = WalkMovie(path);
        ASSERT_TRUE(movie.ok);
        EXPECT_EQ(movie.length, movie.fileSize);
        row.check(movie);
        tavrel_test::ExpectDumpAccepts(path, {});
        ExpectPixelsAt(path, row);
    }
}

TEST(ExportDriver, CompressedMovieHoldsThePlainBody)
{
    TempDir dir;
    PrivateTemp temp(dir);
    CSlideShow show;
    show.GetMovieSettings().start_action = 2;
    ASSERT_TRUE(show.Export(CPath(dir.file("plain.swf")), true, nullptr));
    show.use_compression = true;
    ASSERT_TRUE(show.Export(CPath(dir.file("packed.swf")), true, nullptr)) << show.GetLastErrorText();
    const WalkedMovie plain = WalkMovie(dir.file("plain.swf")), packed = WalkMovie(dir.file("packed.swf"));
    ASSERT_TRUE(packed.ok);
    EXPECT_EQ(packed.signature, "CWS");
    EXPECT_EQ(packed.version, 6);
    EXPECT_EQ(packed.length, packed.fileSize);
    EXPECT_EQ(packed.body, plain.body);
    EXPECT_EQ(CountTemporaries(dir.path()), 0);
    tavrel_test::ExpectDumpAccepts(dir.file("packed.swf"), {});

    show.SetPreview(true);
    ASSERT_TRUE(show.Export(CPath(dir.file("preview.swf")), true, nullptr));
    EXPECT_EQ(WalkMovie(dir.file("preview.swf")).signature, "FWS") << "a preview is never compressed";
}

TEST(ExportDriver, FailuresLeaveNoMovie)
{
    struct Row {
        const char* name;
        std::function<void(CSlideShow&, const TempDir&)> setup;
        std::string target;  // inside the test's folder
        uint32_t code;
        rlim_t diskRoom = 0;  // bytes a file may take; 0 for no limit
    } const rows[] = {
        {"folder missing", [](CSlideShow&, const TempDir&) {}, "none/movie.swf", CSlideShow::kExportCannotOpen},
        {"show sound without its file",
         [](CSlideShow& s, const TempDir&) {
             s.GetSounds().SetInclude(1);
             s.GetSounds().Clear();
         },
         "movie.swf", CSlideShow::kExportNoShowSound},
        {"more frames than a movie holds",
         [](CSlideShow& s, const TempDir&) {
             s.SetFps(120);
             auto slide = std::make_unique<CSlide>(CSlide::kBlank, &s);
             slide->SetDuration(1000000);
             s.InsertSlide(std::move(slide), false);
         },
         "movie.swf", CSlideShow::kExportTooManyFrames},
        {"compressed into a missing folder", [](CSlideShow& s, const TempDir&) { s.use_compression = true; },
         "none/movie.swf", CSlideShow::kExportCompressionFailed},
        {"disk full",
         [](CSlideShow& s, const TempDir& d) {
             s.use_bg_image = true;
             s.bg_image = CPath(show_test::WriteQuadrantJpeg(d, "bg.jpg", 320, 240, {0xFF0000, 0xFF00, 0xFF, 0xFFFF00}));
         },
         "movie.swf", CSlideShow::kExportWriteFailed, 1500},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        PrivateTemp temp(dir);
        CSlideShow show;
        row.setup(show, dir);
        tavrel_test::ScopedFileSizeLimit limit(row.diskRoom ? row.diskRoom : RLIM_INFINITY);
        EXPECT_FALSE(show.Export(CPath(dir.file(row.target)), true, nullptr));
        limit.Lift();
        EXPECT_EQ(show.GetLastError(), row.code);
        EXPECT_FALSE(show.GetLastErrorText().empty());
        EXPECT_FALSE(tavrel_test::IsThere(dir.file(row.target)));
        EXPECT_EQ(CountTemporaries(dir.path()), 0);
    }

    TempDir dir;
    const std::string kept = dir.file("kept.swf");
    ASSERT_TRUE(tavrel_test::WriteFile(kept, "mine"));
    CSlideShow show;
    EXPECT_FALSE(show.Export(CPath(kept), false, nullptr));
    EXPECT_EQ(tavrel_test::ReadFile(kept), "mine") << "an existing file is replaced only when asked";
}

TEST(ExportDriver, SlidesAloneCarryWhatTheirSlidesDrawOn)
{
    TempDir dir;
    CEditorSlideShow show;
    show.bg_color = 0x00FF00;
    show.InsertSlide(std::make_unique<CSlide>(CSlide::kBlank, &show), false);
    const std::string path = dir.file("slides.swf");
    ASSERT_TRUE(show.ExportSlide(CPath(path)));
    const WalkedMovie m = WalkMovie(path);
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.version, 4);
    EXPECT_EQ(m.tags[0].code, kBackground);
    ASSERT_EQ(m.Find(kDefineShape).size(), 1u) << "the click areas' hit shape";
    ASSERT_EQ(m.Find(kDefineShape3).size(), 1u) << "the blank slides' background";
    tavrel_test::ExpectDumpAccepts(path, {});
    EXPECT_FALSE(show.ExportSlide(CPath(dir.file("none/slides.swf"))));
    EXPECT_EQ(show.GetLastError(), CSlideShow::kExportCannotOpen);
}

namespace {

// An effect that takes more character ids than a movie has left.
class CGreedyEffect : public COverlayEffect {
public:
    CGreedyEffect() : COverlayEffect("Greedy") {}
    std::unique_ptr<COverlayEffect> Clone() const override { return std::make_unique<CGreedyEffect>(); }
    uint16_t Build(CSwfMovie*, uint16_t* ids, uint16_t*) override
    {
        *ids = uint16_t(*ids + 65000);
        return 0;
    }
};

}  // namespace

TEST(ExportDriver, IdsPastTheProvisionalDepthsFailTheExport)
{
    TempDir dir;
    CSlideShow show;
    auto slide = std::make_unique<CSlide>(CSlide::kBlank, &show);
    slide->SetSwfFx(std::make_unique<CGreedyEffect>());
    show.InsertSlide(std::move(slide), false);
    const std::string path = dir.file("greedy.swf");
    EXPECT_FALSE(show.Export(CPath(path), true, nullptr));
    EXPECT_NE(show.GetLastError(), 0u);
    EXPECT_FALSE(show.GetLastErrorText().empty());
    EXPECT_FALSE(tavrel_test::IsThere(path));
}

namespace {

// A fade of its own that writes its duration in frames, as the kinds do.
class CCountedFade : public CTransition {
public:
    explicit CCountedFade(uint32_t ms) : CTransition("Counted Fade", ms) {}
    std::unique_ptr<CTransition> Clone() const override { return std::make_unique<CCountedFade>(*this); }
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t*, uint16_t*) override
    {
        PlaceNext(slide, movie, nullptr);
        for (unsigned k = DurationFrames(movie->GetFrameRate()); k > 0; --k) movie->AddTag(new CTagShowFrame);
        RemovePrevious(previous, movie);
        return true;
    }
};

// One that writes its frames only from a slide before it, as Fade Out does.
class CFadeFromSlide : public CCountedFade {
public:
    using CCountedFade::CCountedFade;
    std::unique_ptr<CTransition> Clone() const override { return std::make_unique<CFadeFromSlide>(*this); }
    unsigned CountFrames(double frameRate, bool fromSlide) const override
    {
        return fromSlide ? DurationFrames(frameRate) : 0;
    }
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* ids, uint16_t* depths) override
    {
        if (previous) return CCountedFade::GenerateSwf(slide, previous, movie, ids, depths);
        PlaceNext(slide, movie, nullptr);
        return true;
    }
};

CSlide& AddSlide(CSlideShow& show, const std::string& picture, uint32_t ms)
{
    auto slide = std::make_unique<CSlide>(picture.empty() ? CSlide::kBlank : CSlide::kImage, &show);
    slide->LoadImage(CPath(picture), &show, true);
    slide->SetDuration(ms);
    CSlide* raw = slide.get();
    show.InsertSlideAt(std::move(slide), show.GetSlideCount());
    return *raw;
}

}  // namespace

// The count the export checks and the program reports is the movie's own,
// to the frame, whatever the show holds.
TEST(ExportDriver, CountedFramesAreTheMoviesFrames)
{
    struct Row {
        const char* name;
        float fps;
        std::function<void(CSlideShow&, const std::string&)> setup;
    } const rows[] = {
        {"empty", 12, [](CSlideShow&, const std::string&) {}},
        {"blank slides of 1250 ms", 12,
         [](CSlideShow& s, const std::string&) {
             for (int i = 0; i < 3; ++i) AddSlide(s, "", 1250);
         }},
        {"image slides at 15 fps", 15,
         [](CSlideShow& s, const std::string& p) {
             AddSlide(s, p, 1500);
             AddSlide(s, p, 1);
         }},
        {"camera moves, also empty and on a blank slide", 12,
         [](CSlideShow& s, const std::string& p) {
             CSlide& image = AddSlide(s, p, 2000);
             image.InsertCameraFx(std::make_unique<CPanZoomFx>(100, 0, 1.5, 1000), 0);
             image.InsertCameraFx(std::make_unique<CCameraFx>(0), 1);
             image.InsertCameraFx(std::make_unique<CCameraFx>(125), 2);
             AddSlide(s, "", 500).InsertCameraFx(std::make_unique<CPanZoomFx>(0, 0, 2.0, 3000), 0);
         }},
        {"transitions, looped forever", 24,
         [](CSlideShow& s, const std::string& p) {
             AddSlide(s, p, 1000).SetTransitionIn(std::make_unique<CCountedFade>(750));
             AddSlide(s, "", 1000).SetTransitionIn(std::make_unique<CCountedFade>(20));
             s.GetMovieSettings().loop_mode = 2;
         }},
        {"looped twice, pauses after slides", 12,
         [](CSlideShow& s, const std::string& p) {
             AddSlide(s, p, 1000).SetTransitionIn(std::make_unique<CCountedFade>(500));
             AddSlide(s, p, 1000).SetPauseAfter(true);
             s.GetMovieSettings().loop_mode = 1;
             s.GetMovieSettings().loop_count = 2;
         }},
        {"preloader, start pause and controls", 12,
         [](CSlideShow& s, const std::string& p) {
             s.GetMovieSettings().preload = true;
             s.GetMovieSettings().start_action = 1;
             s.GetMovieSettings().pause_time = 3000;
             s.controls = true;
             AddSlide(s, p, 1000);
         }},
        {"stopped on the first frame", 12,
         [](CSlideShow& s, const std::string& p) {
             s.GetMovieSettings().start_action = 2;
             AddSlide(s, p, 1000);
         }},
        // A slide whose picture cannot be read writes no frame; the next
        // transition comes from the slide written before it, and the loop
        // goes back into the first slide written.
        {"pictures that cannot be read, looped", 24,
         [](CSlideShow& s, const std::string& p) {
             CSlide& gone = AddSlide(s, p, 5000);
             gone.SetSrc(CPath(p + ".gone"));
             gone.SetTransitionIn(std::make_unique<CCountedFade>(2000));
             AddSlide(s, p, 1000).SetTransitionIn(std::make_unique<CFadeFromSlide>(500));
             AddSlide(s, p, 3000).SetSrc(CPath(p + ".gone"));
             AddSlide(s, "", 1000).SetTransitionIn(std::make_unique<CFadeFromSlide>(250));
             s.GetMovieSettings().loop_mode = 2;
         }},
        {"every picture unreadable", 12,
         [](CSlideShow& s, const std::string& p) {
             AddSlide(s, p, 5000).SetSrc(CPath(p + ".gone"));
             AddSlide(s, p, 5000).SetSrc(CPath(p + ".gone"));
             s.GetMovieSettings().loop_mode = 2;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        PrivateTemp temp(dir);
        CSlideShow show;
        ASSERT_TRUE(show.SetFps(row.fps));
        row.setup(show, WriteColourJpeg(dir, "p.jpg", 32, 24, 0x336699));
        const std::string path = dir.file("movie.swf");
        ASSERT_TRUE(show.Export(CPath(path), true, nullptr)) << show.GetLastErrorText();
        const WalkedMovie m = WalkMovie(path);
        ASSERT_TRUE(m.ok);
        EXPECT_EQ(show.CountExportFrames(), uint64_t(m.frameCount));
        EXPECT_EQ(m.Find(kShowFrame).size(), size_t(m.frameCount));
    }
}

// 5,400 slides of one second at 12 fps are a movie of 64,801 frames: the
// count no longer adds a margin per slide that refused it.
TEST(ExportDriver, LongestShowsFitExactly)
{
    TempDir dir;
    PrivateTemp temp(dir);
    CSlideShow show;
    for (int i = 0; i < 5400; ++i) AddSlide(show, "", 1000);
    EXPECT_EQ(show.CountExportFrames(), 64801u);
    const std::string path = dir.file("long.swf");
    ASSERT_TRUE(show.Export(CPath(path), true, nullptr)) << show.GetLastErrorText();
    EXPECT_EQ(WalkMovie(path).frameCount, 64801);

    // Past what a movie holds: refused before anything is written.
    AddSlide(show, "", 62000);
    EXPECT_EQ(show.CountExportFrames(), 65545u);
    EXPECT_FALSE(show.Export(CPath(path), true, nullptr));
    EXPECT_EQ(show.GetLastError(), CSlideShow::kExportTooManyFrames);
}

// Which slides are written is decided without decoding a picture: in a show
// that navigates by slide number, whose numbers must be known before the
// first slide is written, each picture is decoded once, by the export, and
// one whose data is cut not at all.
TEST(ExportDriver, PicturesAreDecodedOnceWhenTheShowNavigatesByNumber)
{
    TempDir dir;
    PrivateTemp temp(dir);
    const std::string png = WriteColourPng(dir, "p.png", 32, 24, 0x336699);
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("cut.png"), tavrel_test::ReadFile(png).substr(0, 33)));
    const uint8_t opaque[4] = {255, 255, 255, 255};
    ASSERT_TRUE(picture_test::WriteBmp(dir.file("b.bmp"), 32, 24, picture_test::Quarters(32, 24, opaque)));
    CSlideShow show;
    AddSlide(show, png, 1000).SetImageType(CSlide::kRgb24);
    AddSlide(show, png, 1000).SetSrc(CPath(dir.file("cut.png")));
    AddSlide(show, dir.file("b.bmp"), 1000);
    for (int i = 0; i < show.GetSlideCount(); ++i) {
        show.GetSlide(i)->SetClickEnabled(true);
        show.GetSlide(i)->SetClickType(CSlide::kNextSlide);
    }
    const uint64_t before = PictureDecodeCount();
    // As the program does: the count first, then the export.
    EXPECT_EQ(show.CountExportFrames(), 25u);
    const std::string path = dir.file("movie.swf");
    ASSERT_TRUE(show.Export(CPath(path), true, nullptr)) << show.GetLastErrorText();
    EXPECT_EQ(PictureDecodeCount() - before, 2u);
    EXPECT_EQ(show.GetSkippedSlides(), std::vector<int>{2});
    const WalkedMovie m = WalkMovie(path);
    EXPECT_EQ(m.frameCount, 25);
    EXPECT_GE(m.LabelFrame("slide_2"), 0);
    EXPECT_EQ(m.LabelFrame("slide_3"), -1);

    // The decision holds until a file changes: a picture made whole is
    // counted and written by the next export.
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("cut.png"), tavrel_test::ReadFile(png)));
    EXPECT_EQ(show.CountExportFrames(), 37u);
    ASSERT_TRUE(show.Export(CPath(path), true, nullptr)) << show.GetLastErrorText();
    EXPECT_TRUE(show.GetSkippedSlides().empty());
    EXPECT_EQ(WalkMovie(path).frameCount, 37);
}

// A slide whose picture cannot be read leaves no labels, and the others are
// numbered as written: every label a click names is in the movie.
TEST(ExportDriver, NavigationSkipsSlidesLeftOut)
{
    struct Row {
        const char* name;
        std::vector<bool> readable;
        std::vector<std::pair<int, int>> clicks;  // type, jump_to of each slide
        std::vector<std::string> named;           // labels the buttons name, in order
        bool controls = false;                    // whose first and last buttons come first
    } const rows[] = {
        {"last of three left out", {true, true, false},
         {{CSlide::kLastSlide, 1}, {CSlide::kNextSlide, 1}, {CSlide::kNextSlide, 1}},
         {"slide_1", "slide_2", "slide_2", "slidepre_1"}, true},
        {"middle one left out", {true, false, true},
         {{CSlide::kNextSlide, 1}, {CSlide::kNextSlide, 1}, {CSlide::kJumpToSlide, 2}}, {"slidepre_2", "slide_2"}},
        {"first one left out", {false, true, true},
         {{CSlide::kPreviousSlide, 1}, {CSlide::kPreviousSlide, 1}, {CSlide::kJumpToSlide, 1}}, {"slide_2", "slide_1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        PrivateTemp temp(dir);
        const std::string good = WriteColourJpeg(dir, "good.jpg", 32, 24, 0x336699);
        ASSERT_TRUE(tavrel_test::WriteFile(dir.file("bad.jpg"), "not a picture"));
        CSlideShow show;
        if (row.controls) {
            show.controls = true;
            ASSERT_TRUE(show.SetControlsSkin(
                CPath((std::string(TAVREL_BUNDLE_DIR) + "/Contents/Resources/Controls/Classic.dll").c_str())));
        }
        for (size_t i = 0; i < row.readable.size(); ++i) {
            CSlide& slide = AddSlide(show, good, 1000);
            if (!row.readable[i]) slide.SetSrc(CPath(dir.file("bad.jpg")));
            slide.SetClickEnabled(true);
            slide.SetClickType(row.clicks[i].first);
            slide.SetJumpTo(row.clicks[i].second);
        }
        const std::string path = dir.file("movie.swf");
        ASSERT_TRUE(show.Export(CPath(path), true, nullptr)) << show.GetLastErrorText();
        EXPECT_EQ(show.GetSkippedSlides().size(), 1u);
        const WalkedMovie m = WalkMovie(path);
        ASSERT_TRUE(m.ok);
        EXPECT_GE(m.LabelFrame("slide_2"), 0);
        EXPECT_EQ(m.LabelFrame("slide_3"), -1);
        std::vector<std::string> named;
        for (const WalkedTag* button : m.Find(kButton2)) {
            // The first condition's actions start past its size and
            // condition words.
            if (U16(button->body, 3) == 0) continue;  // no actions
            const size_t conditions = 3 + U16(button->body, 3);
            for (const auto& action : ReadActions(button->body.substr(conditions + 4)))
                if (action.code == 0x8C) named.push_back(action.payload.c_str());
        }
        EXPECT_EQ(named, row.named);
        for (const std::string& label : named) EXPECT_GE(m.LabelFrame(label), 0) << label;
    }
}

namespace {

// The bitmaps of a movie in order, without their character ids.
std::vector<std::string> BitmapBodies(const WalkedMovie& m)
{
    std::vector<std::string> out;
    for (const WalkedTag& tag : m.tags)
        if (tag.code == 20 || tag.code == kBitsJpeg2 || tag.code == 35 || tag.code == 36) out.push_back(tag.body.substr(2));
    return out;
}

}  // namespace

// An export keeps its picture buffers from slide to slide (decoded, scaled,
// encoded): nothing one slide leaves in them shows in the next, whatever
// the sizes, kinds and edits, so each slide's bitmap is the one it gets in a
// show of its own.
TEST(ExportDriver, EachSlidesBitmapIsItsOwnWhateverCameBefore)
{
    TempDir dir;
    const std::string big = show_test::WriteQuadrantJpeg(dir, "big.jpg", 400, 300, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00});
    const std::string tall = show_test::WriteQuadrantJpeg(dir, "tall.jpg", 60, 90, {0x00FFFF, 0xFF00FF, 0x808080, 0x000000});
    const std::string flat = show_test::WriteColourPng(dir, "flat.png", 50, 30, 0x336699);
    const struct {
        const std::string& picture;
        std::function<void(CSlide&)> edit;
    } slides[] = {
        {big, [](CSlide&) {}},
        {tall, [](CSlide& s) { s.Rotate(90, false); }},
        {flat, [](CSlide& s) { s.SetImageType(CSlide::kRgb24); }},
        {big, [](CSlide& s) { s.SetCropRect({50, 100, 250, 300}), s.SetCrop(true); }},
        {flat, [](CSlide& s) { s.SetImageType(CSlide::kJpegTransparent); }},
        {big, [](CSlide&) {}},  // as wide as the slide before, and taller
        {tall, [](CSlide&) {}},
    };
    auto bitmaps = [&](const std::vector<size_t>& which) {
        CSlideShow show;
        for (size_t i : which) slides[i].edit(AddSlide(show, slides[i].picture, 500));
        const std::string path = dir.file("movie.swf");
        EXPECT_TRUE(show.Export(CPath(path), true, nullptr)) << show.GetLastErrorText();
        return BitmapBodies(WalkMovie(path));
    };
    std::vector<size_t> all(std::size(slides));
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    const std::vector<std::string> together = bitmaps(all);
    ASSERT_EQ(together.size(), all.size());
    for (size_t i : all) EXPECT_EQ(together[i], bitmaps({i}).at(0)) << "slide " << i + 1;
}
