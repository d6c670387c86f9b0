#include "media/progress.h"

#include <filesystem>

#include "media/mp3_encoder.h"
#include "media/qt_movie.h"
#include "pane_fixture.h"
#include "sound_fixtures.h"

namespace tavrel_test {
namespace {

const OSType kBar = platform::FourCharCode("pbPg");
const OSType kMessage = platform::FourCharCode("sMsg");
const OSType kDetail = platform::FourCharCode("sMs2");
const OSType kCancel = platform::FourCharCode("not!");

class ProgressTest : public PaneTest {
protected:
    void SetUp() override { InitProgressParams(&params_); }
    std::string Text(OSType signature) { return platform::ControlText(ControlById(dialog_.GetWindow(), signature)); }
    SInt32 Bar() { return GetControl32BitValue(ControlById(dialog_.GetWindow(), kBar)); }

    ProgressParams params_;
    CProgressInfo info_;
    CProgressDialog dialog_;
};

TEST_F(ProgressTest, BarOperationsShowInTheWindow)
{
    params_.maximum = 50;
    ASSERT_EQ(dialog_.Open(0, &params_, &info_), 0);
    EXPECT_TRUE(dialog_.IsVisible());
    const struct {
        void (*step)(CProgressDialog&);
        int position;
    } steps[] = {
        {[](CProgressDialog& d) { d.SetPosition(10); }, 10},
        {[](CProgressDialog& d) { d.Advance(5); }, 15},
        {[](CProgressDialog& d) { d.SetToMaximum(); }, 50},
        {[](CProgressDialog& d) {
             d.SetRange(0, 200);
             d.SetToMaximum();
         },
         200},  // the bar's range, not the params'
        {[](CProgressDialog& d) { d.SetPosition(500); }, 200},
        {[](CProgressDialog& d) { d.Advance(-1000); }, 0},
    };
    for (const auto& s : steps) {
        s.step(dialog_);
        EXPECT_EQ(dialog_.GetPosition(), s.position);
        EXPECT_EQ(Bar(), s.position);
    }
    dialog_.SetAudioPercent(37);
    EXPECT_EQ(Text(kDetail), "Reading Audio...37%");
    dialog_.SetMessage("Slide 3");
    EXPECT_EQ(Text(kMessage), "Slide 3");
}

TEST_F(ProgressTest, SecondOpenReusesTheWindowFromScratch)
{
    ASSERT_EQ(dialog_.Open(0, &params_, &info_), 0);
    WindowRef first = dialog_.GetWindow();
    dialog_.SetPosition(40);
    dialog_.SetMessage("busy");
    dialog_.SetDetail("half");
    dialog_.Cancel();
    dialog_.Finish();
    EXPECT_EQ(info_.cancelled + info_.finished, 2);
    dialog_.Hide();

    ASSERT_EQ(dialog_.Open(0, &params_, &info_), 0);
    EXPECT_EQ(dialog_.GetWindow(), first);
    EXPECT_TRUE(dialog_.IsVisible());
    EXPECT_EQ(Bar(), 0);
    EXPECT_EQ(Text(kMessage), "Initializing...");
    EXPECT_EQ(Text(kDetail), "");
    EXPECT_EQ(info_.cancelled + info_.finished, 0);
    EXPECT_EQ(dialog_.GetResult(), static_cast<int>(platform::FourCharCode("ok  ")));
}

TEST_F(ProgressTest, WindowClassAndTitleFollowTheParams)
{
    const struct {
        const char* title;
        int32_t utility;
        WindowClass windowClass;
    } cases[] = {{nullptr, 0, kDocumentWindowClass}, {"Exporting SWF...", 1, kUtilityWindowClass}};
    for (const auto& c : cases) {
        CProgressDialog dialog;
        params_.title = c.title;
        params_.utility = c.utility;
        ASSERT_EQ(dialog.Open(0, &params_, &info_), 0);
        WindowClass windowClass = 0;
        GetWindowClass(dialog.GetWindow(), &windowClass);
        EXPECT_EQ(windowClass, c.windowClass);
        WindowAttributes attributes = 0;
        GetWindowAttributes(dialog.GetWindow(), &attributes);
        EXPECT_EQ(attributes, kWindowCollapseBoxAttribute | kWindowStandardHandlerAttribute);
        EXPECT_EQ(WindowTitle(dialog.GetWindow()), c.title ? c.title : "");
        Rect content;
        GetWindowBounds(dialog.GetWindow(), kWindowContentRgn, &content);
        EXPECT_EQ(RectWidth(content), 289);
        EXPECT_EQ(RectHeight(content), 149);
    }
}

TEST_F(ProgressTest, CloseRequestIsIgnoredAndCancelIsAClick)
{
    ASSERT_EQ(dialog_.Open(0, &params_, &info_), 0);
    user_.Close(FakeUser::Ref(dialog_.GetWindowRef())).ClickControl(FakeUser::Ref(dialog_.GetWindowRef()), kCancel, 0);
    user_.Play();
    EXPECT_TRUE(dialog_.IsVisible());
    EXPECT_TRUE(dialog_.IsCancelled());
    // Callers that hold any dialog read the run's end from the base.
    const CDialogWindow& asDialog = dialog_;
    EXPECT_EQ(asDialog.GetResult(), static_cast<int>(kCancel));
}

// A sink whose window cannot be made.
class NoWindow : public CProgressDialog {
protected:
    bool CreateWindow() override { return false; }
};

TEST_F(ProgressTest, NoWindowMeansMinusOne)
{
    NoWindow broken;
    EXPECT_EQ(broken.Open(0, &params_, &info_), -1);
    EXPECT_EQ(broken.GetWindow(), nullptr);
}

// A Cancel click that arrives while the work runs is seen at its next check.
class CancelDuringWork : public ProgressTest {
protected:
    EncoderScope scope{TAVREL_FAKE_LAME};
};

TEST_F(CancelDuringWork, Mp3EncodingAndSoundExportStop)
{
    const std::string wav = scope.File("in.wav"), aiff = scope.File("in.aif");
    ASSERT_TRUE(WriteTone(wav, kWav16, 11025, 1, 11025 * 4, 440));
    ASSERT_TRUE(WriteTone(aiff, kAiff16, 11025, 1, 11025 * 4, 440));
    const struct {
        const char* name;
        std::function<bool()> work;
    } cases[] = {
        {"mp3",
         [&] {
             CMp3Encoder encoder;
             CMp3Settings settings;
             uint8_t* mp3 = encoder.EncodeAiff(aiff, settings, &dialog_);
             std::free(mp3);
             return mp3 != nullptr;
         }},
        {"sound export",
         [&] {
             CQTMovie movie;
             EXPECT_TRUE(movie.OpenFile(wav));
             const bool done = movie.ExportSoundToFile(scope.File("out.aif"), platform::FourCharCode("AIFF"), 0,
                                                       &dialog_);
             EXPECT_FALSE(std::filesystem::exists(scope.File("out.aif")));
             return done;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(dialog_.Open(0, &params_, &info_), 0);
        platform::RunUntilIdle();  // the window's own events first
        user_.ClickControl(FakeUser::Ref(dialog_.GetWindowRef()), kCancel, 0);
        EXPECT_FALSE(c.work());
        EXPECT_TRUE(info_.cancelled);
        EXPECT_EQ(dialog_.GetResult(), static_cast<int>(kCancel));
        EXPECT_EQ(platform::PendingUserActions(), 0u);
    }
}

}  // namespace
}  // namespace tavrel_test
