#include "media/image_filter_dialog.h"

#include <cstring>
#include <functional>
#include <memory>

#include "media/image_filters.h"
#include "pane_fixture.h"
#include "platform/toolbox_services.h"

namespace tavrel_test {
namespace {

const OSType kOk = FourCC("ok  ");
const OSType kCancel = FourCC("not!");

int g_changes = 0;
void CountChange(intptr_t)
{
    ++g_changes;
}

class FilterDialogTest : public PaneTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent_.CreateNew(150, 120, 400, 300, kDialogShow, nullptr, 0));
        RampPicture(source_, 64, 48);
        original_.CopyFrom(source_);
        g_changes = 0;
    }
    // Runs the dialog on filter with the user's steps; the result code.
    int Run(CImageFilter& filter)
    {
        filter.GetChangeSignal().Connect(Callback::BindFunction(CountChange));
        CImageFilterDialog dialog;
        dialog_ = &dialog;
        const int result = dialog.Run(parent_.GetWindow(), source_, &filter);
        dialog_ = nullptr;
        EXPECT_EQ(filter.GetChangeSignal().GetCount(), 0u) << "callbacks are gone after the dialog";
        EXPECT_TRUE(SamePixels(source_, original_)) << "the source is untouched";
        const auto& cursors = platform::Services().themeCursors;
        EXPECT_TRUE(!cursors.empty() && cursors.back() == kThemeArrowCursor) << "the arrow is back";
        return result;
    }
    // Types text into the field (its old text removed) and commits it with Tab.
    void TypeInto(SInt32 fieldId, const std::string& text)
    {
        user_.ClickControl(FakeUser::Front(), OSType(fieldId), 0).Do([fieldId] {
            ControlRef field = ControlById(FrontWindow(), OSType(fieldId));
            SetControlData(field, 0, kControlEditTextTextTag, 0, "");
            ControlEditTextSelectionRec none;
            SetControlData(field, 0, kControlEditTextSelectionTag, sizeof none, &none);
        });
        user_.Type(text).PressKey(48, '\t');
    }
    static std::string FieldText(SInt32 id) { return platform::ControlText(ControlById(FrontWindow(), OSType(id))); }

    CDialogWindow parent_;
    CImage source_, original_;
    CImageFilterDialog* dialog_ = nullptr;
};

TEST_F(FilterDialogTest, WindowGrowsForTheFiltersControls)
{
    struct Case {
        std::function<std::unique_ptr<CImageFilter>()> make;
        int grow;
        Rect valueControl;  // slider or pop-up 1001
    };
    const Rect slider{279, 20, 291, 228};
    const Case cases[] = {
        {[] { return std::make_unique<CBlackWhiteFilter>(); }, 100, slider},
        {[] { return std::make_unique<CBrightnessContrastFilter>(); }, 120, slider},
        {[] { return std::make_unique<CAddNoiseFilter>(); }, 100, {255, 82, 271, 232}},
        {[] { return std::make_unique<CGaussianBlurFilter>(); }, 100, slider},
        {[] { return std::make_unique<CSwirlFilter>(); }, 100, slider},
        {[] { return std::make_unique<CSepiaFilter>(); }, 0, {}},
    };
    Rect parentFrame;
    GetWindowBounds(parent_.GetWindow(), kWindowStructureRgn, &parentFrame);
    for (const Case& c : cases) {
        auto filter = c.make();
        SCOPED_TRACE(filter->GetName());
        user_.Do([&] {
            WindowRef w = FrontWindow();
            Rect content;
            GetWindowBounds(w, kWindowContentRgn, &content);
            EXPECT_EQ(RectText(content), RectText(Rect{parentFrame.top, parentFrame.left,
                                                       int16_t(parentFrame.top + 248 + c.grow),
                                                       int16_t(parentFrame.left + 339)}));
            EXPECT_EQ(WindowTitle(w), filter->GetName());
            EXPECT_EQ(RectText(BoundsOf(ControlById(w, 1001))), RectText(c.valueControl));
            EXPECT_EQ(RectText(BoundsOf(ControlById(w, FourCC("uPrv")))),
                      RectText(Rect{20, 20, 228, 228}));
        });
        user_.ClickControl(FakeUser::Front(), kOk, 0);
        EXPECT_EQ(Run(*filter), int(kOk));
    }
}

TEST_F(FilterDialogTest, TypedValuesAreKeptInRange)
{
    struct Case {
        std::function<std::unique_ptr<CImageFilter>()> make;
        SInt32 field;
        const char* typed;
        const char* shown;
        std::function<int(CImageFilter&)> value;
    };
    const Case cases[] = {
        {[] { return std::make_unique<CBlackWhiteFilter>(); }, 1002, "300", "255",
         [](CImageFilter& f) { return static_cast<CBlackWhiteFilter&>(f).GetThreshold(); }},
        {[] { return std::make_unique<CBrightnessContrastFilter>(); }, 1002, "-150", "-100",
         [](CImageFilter& f) { return static_cast<CBrightnessContrastFilter&>(f).GetBrightness(); }},
        {[] { return std::make_unique<CBrightnessContrastFilter>(); }, 1005, "150", "100",
         [](CImageFilter& f) { return static_cast<CBrightnessContrastFilter&>(f).GetContrast(); }},
        {[] { return std::make_unique<CImplodeFilter>(); }, 1002, "150", "100",
         [](CImageFilter& f) { return static_cast<CImplodeFilter&>(f).GetAmount(); }},
        {[] { return std::make_unique<CImplodeFilter>(); }, 1002, "15", "15",
         [](CImageFilter& f) { return static_cast<CImplodeFilter&>(f).GetAmount(); }},
        {[] { return std::make_unique<CSwirlFilter>(); }, 1002, "725", "5",
         [](CImageFilter& f) { return static_cast<CSwirlFilter&>(f).GetAngle(); }},
        {[] { return std::make_unique<CRaiseBordersFilter>(); }, 1002, "0", "1",
         [](CImageFilter& f) { return static_cast<CRaiseBordersFilter&>(f).GetWidth(); }},
        {[] { return std::make_unique<CGaussianBlurFilter>(); }, 1002, "15", "10",
         [](CImageFilter& f) { return int(static_cast<CGaussianBlurFilter&>(f).GetRadius()); }},
    };
    for (const Case& c : cases) {
        auto filter = c.make();
        SCOPED_TRACE(filter->GetName() + " " + c.typed);
        TypeInto(c.field, c.typed);
        user_.Do([&] {
            EXPECT_EQ(FieldText(c.field), c.shown);
            EXPECT_EQ(GetControl32BitValue(ControlById(FrontWindow(), OSType(c.field - 1))), atoi(c.shown))
                << "the slider follows";
        });
        user_.PressKey(53, 27);  // Escape presses Cancel
        EXPECT_EQ(Run(*filter), int(kCancel));
        EXPECT_EQ(c.value(*filter), atoi(c.shown));
    }
}

TEST_F(FilterDialogTest, PreviewFiltersTheSourceAfreshOnRealChanges)
{
    CBlackWhiteFilter filter;
    auto expected = [&](int threshold) {
        auto fresh = std::make_unique<CImage>();
        fresh->CopyFrom(source_);
        CBlackWhiteFilter model;
        model.SetThreshold(threshold);
        model.Apply(*fresh);
        return fresh;
    };
    auto moveSlider = [&](int value) {
        user_.Do([value] { SetControl32BitValue(ControlById(FrontWindow(), 1001), value); })
            .ClickControl(FakeUser::Front(), 1001, 0);
    };
    moveSlider(100);  // the value it has: no preview
    user_.Do([&] { EXPECT_EQ(g_changes, 0); });
    moveSlider(200);
    moveSlider(50);
    user_.Do([&] {
        EXPECT_EQ(g_changes, 2);
        EXPECT_EQ(FieldText(1002), "50");
        auto want = expected(50);
        EXPECT_TRUE(SamePixels(dialog_->GetPreview(), *want));
        // And the pane shows it: a ramp cut at 50 is black, then white.
        GWorldPtr pane = dialog_->GetPane().GetPaneWorld();
        const Rect drawn = dialog_->GetPane().GetDestRect();
        EXPECT_EQ(RectText(NonBlackBounds(pane)), RectText(Rect{drawn.top, int16_t(drawn.left + 13), drawn.bottom,
                                                                   drawn.right}));
        EXPECT_EQ(PixelAt(pane, drawn.right - 1, drawn.top), 0xFFFFFFu);
    });
    user_.ClickControl(FakeUser::Front(), kOk, 0);
    EXPECT_EQ(Run(filter), int(kOk));
    EXPECT_EQ(filter.GetThreshold(), 50);
}

TEST_F(FilterDialogTest, NoisePopupShowsTheTypeAndSetsIt)
{
    CAddNoiseFilter filter;
    user_.Do([] { EXPECT_EQ(GetControl32BitValue(ControlById(FrontWindow(), 1001)), 2) << "Gaussian"; })
        .ChoosePopupItem(4)
        .ClickControl(FakeUser::Front(), 1001, 0)
        .ClickControl(FakeUser::Front(), kOk, 0);
    EXPECT_EQ(Run(filter), int(kOk));
    EXPECT_EQ(filter.GetType(), int(CAddNoiseFilter::kImpulse));
    // A second dialog on the same filter makes its controls again; the
    // pop-up opens on Gaussian whatever the type.
    user_.Do([] { EXPECT_EQ(GetControl32BitValue(ControlById(FrontWindow(), 1001)), 2) << "Gaussian"; })
        .ClickControl(FakeUser::Front(), kCancel, 0);
    EXPECT_EQ(Run(filter), int(kCancel));

    // Without a filter there is no window to show.
    CImageFilterDialog dialog;
    EXPECT_EQ(dialog.Run(parent_.GetWindow(), source_, nullptr), -1);
}

}  // namespace
}  // namespace tavrel_test
