#include <gtest/gtest.h>

#include "media/progress.h"

namespace {

TEST(Progress, RecordsStartAsTheSinkExpects)
{
    ProgressParams params;
    params.reserved1 = 7;
    params.title = "x";
    InitProgressParams(&params);
    EXPECT_EQ(params.minimum, 0);
    EXPECT_EQ(params.maximum, 100);
    EXPECT_EQ(params.title, nullptr);
    EXPECT_EQ(params.reserved1, 0);
    EXPECT_EQ(params.utility, 0);

    CProgressInfo info;
    info.cancelled = info.finished = 1;
    info.maximum = 5;
    info.Reset();
    EXPECT_EQ(info.maximum, 100);
    EXPECT_EQ(info.cancelled + info.finished + info.minimum, 0);
}

TEST(Progress, BarOperations)
{
    ProgressParams params;
    InitProgressParams(&params);
    params.maximum = 50;
    CProgressInfo info;
    CProgressDialog dialog;
    ASSERT_EQ(dialog.Open(0, &params, &info), 0);
    EXPECT_EQ(dialog.GetMaximum(), 50);
    const struct {
        void (*step)(CProgressDialog&);
        int position;
    } steps[] = {
        {[](CProgressDialog& d) { d.SetPosition(10); }, 10},
        {[](CProgressDialog& d) { d.Advance(5); }, 15},
        {[](CProgressDialog& d) { d.SetToMaximum(); }, 50},
        {[](CProgressDialog& d) { d.SetRange(0, 200); d.SetToMaximum(); }, 200},  // the bar's range, not the params'
        {[](CProgressDialog& d) { d.SetToMinimum(); }, 0},
        {[](CProgressDialog& d) { d.SetPosition(500); }, 200},  // kept inside the range
        {[](CProgressDialog& d) { d.Advance(-1000); }, 0},
    };
    for (const auto& s : steps) {
        s.step(dialog);
        EXPECT_EQ(dialog.GetPosition(), s.position);
    }
    dialog.SetAudioPercent(37);
    EXPECT_EQ(dialog.GetDetail(), "Reading Audio...37%");
    dialog.SetMessage("Exporting");
    EXPECT_EQ(dialog.GetMessage(), "Exporting");
}

TEST(Progress, CancelFinishAndReopen)
{
    ProgressParams params;
    InitProgressParams(&params);
    CProgressInfo info;
    CProgressDialog dialog;
    EXPECT_FALSE(dialog.IsCancelled());  // nothing open yet
    ASSERT_EQ(dialog.Open(0, &params, &info), 0);
    EXPECT_EQ(dialog.GetMessage(), "Initializing...");
    dialog.SetPosition(40);
    dialog.SetDetail("half");
    dialog.Cancel();
    EXPECT_TRUE(dialog.IsCancelled());
    EXPECT_EQ(info.cancelled, 1);
    EXPECT_EQ(dialog.GetResult(), kResultCancel);
    dialog.Finish();
    EXPECT_EQ(info.finished, 1);

    // A second run starts from an empty bar, the first texts and clear flags.
    ASSERT_EQ(dialog.Open(0, &params, &info), 0);
    EXPECT_EQ(dialog.GetPosition(), 0);
    EXPECT_EQ(dialog.GetMessage(), "Initializing...");
    EXPECT_EQ(dialog.GetDetail(), "");
    EXPECT_EQ(info.cancelled + info.finished, 0);
    EXPECT_FALSE(dialog.IsCancelled());
    EXPECT_EQ(dialog.GetResult(), kResultOk);
    EXPECT_EQ(kResultCancel, 0x6E6F7421u);  // "not!"
}

// A sink whose window cannot be made.
class NoWindow : public CProgressDialog {
protected:
    bool CreateWindow() override { return false; }
};

TEST(Progress, OpenFailsWithoutAWindow)
{
    CProgressInfo info;
    NoWindow dialog;
    EXPECT_EQ(dialog.Open(0, nullptr, &info), -1);
}

}  // namespace
