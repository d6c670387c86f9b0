#include <gtest/gtest.h>

#include "media/progress.h"

namespace {

TEST(Progress, BarOperationsKeepToTheBarsRange)
{
    ProgressParams params;
    params.title = "x";
    InitProgressParams(&params);
    EXPECT_EQ(params.title, nullptr);
    params.maximum = 50;
    CProgressInfo info;
    CProgressDialog dialog;
    ASSERT_EQ(dialog.Open(0, &params, &info), 0);
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
        s.step(dialog);
        EXPECT_EQ(dialog.GetPosition(), s.position);
    }
    dialog.SetAudioPercent(37);
    EXPECT_EQ(dialog.GetDetail(), "Reading Audio...37%");
}

// A sink whose window cannot be made.
class NoWindow : public CProgressDialog {
protected:
    bool CreateWindow() override { return false; }
};

TEST(Progress, CancelFinishAndReopen)
{
    ProgressParams params;
    InitProgressParams(&params);
    CProgressInfo info;
    CProgressDialog dialog;
    EXPECT_FALSE(dialog.IsCancelled());  // nothing open yet
    ASSERT_EQ(dialog.Open(0, &params, &info), 0);
    dialog.SetPosition(40);
    dialog.SetDetail("half");
    dialog.Cancel();
    EXPECT_TRUE(dialog.IsCancelled());
    EXPECT_EQ(dialog.GetResult(), platform::FourCharCode("not!"));
    dialog.Finish();
    EXPECT_EQ(info.cancelled + info.finished, 2);

    // A second run starts from an empty bar, the first texts and clear flags.
    ASSERT_EQ(dialog.Open(0, &params, &info), 0);
    EXPECT_EQ(dialog.GetPosition(), 0);
    EXPECT_EQ(dialog.GetMessage(), "Initializing...");
    EXPECT_EQ(dialog.GetDetail(), "");
    EXPECT_EQ(info.cancelled + info.finished, 0);
    EXPECT_EQ(dialog.GetResult(), platform::FourCharCode("ok  "));

    NoWindow broken;
    EXPECT_EQ(broken.Open(0, &params, &info), -1);
}

}  // namespace
