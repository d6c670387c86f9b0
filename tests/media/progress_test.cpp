#include <gtest/gtest.h>

#include "media/progress.h"

namespace {

// A sink whose window cannot be made.
class NoWindow : public CProgressDialog {
protected:
    bool CreateWindow() override { return false; }
};

TEST(Progress, BarStaysInItsRangeAndARunStartsClean)
{
    ProgressParams params;
    params.title = "x";
    InitProgressParams(&params);
    EXPECT_EQ(params.title, nullptr);
    params.maximum = 50;
    CProgressInfo info;
    CProgressDialog dialog;
    EXPECT_FALSE(dialog.IsCancelled());  // nothing open yet
    ASSERT_EQ(dialog.Open(0, &params, &info), 0);
    // The bar's own range, once set, wins over the params'.
    const std::pair<void (*)(CProgressDialog&), int> steps[] = {
        {[](CProgressDialog& d) { d.SetPosition(10); }, 10}, {[](CProgressDialog& d) { d.Advance(5); }, 15},
        {[](CProgressDialog& d) { d.SetToMaximum(); }, 50},  {[](CProgressDialog& d) { d.SetRange(0, 200); }, 50},
        {[](CProgressDialog& d) { d.SetToMaximum(); }, 200}, {[](CProgressDialog& d) { d.SetPosition(500); }, 200},
        {[](CProgressDialog& d) { d.Advance(-1000); }, 0},
    };
    for (const auto& [step, position] : steps) {
        step(dialog);
        EXPECT_EQ(dialog.GetPosition(), position);
    }
    dialog.SetAudioPercent(37);
    EXPECT_EQ(dialog.GetDetail(), "Reading Audio...37%");
    dialog.Cancel();
    EXPECT_TRUE(dialog.IsCancelled());
    EXPECT_EQ(dialog.GetResult(), kResultCancel);
    dialog.Finish();
    EXPECT_EQ(info.cancelled + info.finished, 2);

    // A second run starts from an empty bar, the first texts and clear flags.
    ASSERT_EQ(dialog.Open(0, &params, &info), 0);
    EXPECT_EQ(dialog.GetPosition(), 0);
    EXPECT_EQ(dialog.GetMessage(), "Initializing...");
    EXPECT_EQ(dialog.GetDetail(), "");
    EXPECT_EQ(info.cancelled + info.finished, 0);
    EXPECT_EQ(dialog.GetResult(), kResultOk);
    NoWindow broken;
    EXPECT_EQ(broken.Open(0, &params, &info), -1);
}

}  // namespace
