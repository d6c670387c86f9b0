#include "ui/simple_controls.h"

#include "controls_fixture.h"
#include "ui/ui_utils.h"

namespace tavrel_test {
namespace {

using SimpleControlsTest = ControlsTest;

std::vector<intptr_t> g_emitted;
void Note(intptr_t value)
{
    g_emitted.push_back(value);
}

TEST_F(SimpleControlsTest, SelectTabShowsOnlyItsPane)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNib(window, "IDD_CTL"));
    CTabControl tabs;
    ASSERT_TRUE(window.AttachControl(FourCC("tTab"), &tabs));
    for (SInt32 id = 101; id <= 105; ++id) tabs.AddPane(&window, id, "pane");
    g_emitted.clear();
    tabs.tabChanged.Connect(Callback::BindFunction(Note));
    EXPECT_TRUE(tabs.SelectTab(2, true));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(IsControlVisible(tabs.GetPane(i)), i == 2) << i;
    EXPECT_EQ(GetControl32BitValue(tabs.GetControlRef()), 3);
    EXPECT_EQ(tabs.GetSelectedTab(), 2);
    EXPECT_EQ(g_emitted, std::vector<intptr_t>{reinterpret_cast<intptr_t>(&tabs)});
    EXPECT_EQ(tabs.GetPane(5), nullptr);

    // A click on the fifth tab selects it and stays with the tab control.
    user_.Click(FakeUser::Front(), 10 + 380 * 9 / 10, 50).Play();
    EXPECT_EQ(tabs.GetSelectedTab(), 4);
    EXPECT_TRUE(IsControlVisible(tabs.GetPane(4)));
    EXPECT_EQ(g_emitted.size(), 2u);
    EXPECT_EQ(window.Count("command tTab"), 0);
}

// A vertical bar at (10, 10), 16 wide and 200 long, ranging 0 to 100: its
// thumb travels 152 pixels.
class ScrollBarTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenNew(window_));
        window_.onMouseDown = [this](int, int) { return bar_.Track(); };
        ASSERT_TRUE(bar_.Create(&window_, FourCC("sBar"), Rect{10, 10, 210, 26}, 0));
        g_emitted.clear();
        bar_.valueChanged.Connect(Callback::BindFunction(Note));
    }

    NoteWindow window_;
    CScrollBar bar_;
};

TEST_F(ScrollBarTest, ArrowsAndPagesMoveWithinTheRange)
{
    struct Case {
        const char* name;
        SInt32 start;
        int v;  // where on the bar the click falls
        SInt32 expected;
        bool emits;
    };
    const Case cases[] = {
        {"down arrow", 50, 205, 51, true},
        {"down arrow at the maximum", 100, 205, 100, false},
        {"up arrow at the minimum", 0, 12, 0, false},
        {"page down by the height over the step", 0, 150, 100, true},
        {"page up stops at the minimum", 60, 40, 0, true},
    };
    ASSERT_FALSE(bar_.SetStep(0));
    ASSERT_TRUE(bar_.SetStep(2));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_emitted.clear();
        ASSERT_TRUE(bar_.SetValue(c.start, false));
        user_.Click(FakeUser::Front(), 18, c.v).Play();
        EXPECT_EQ(bar_.GetValue(), c.expected);
        EXPECT_EQ(g_emitted, c.emits ? std::vector<intptr_t>{c.expected} : std::vector<intptr_t>{});
    }
    EXPECT_FALSE(bar_.SetValue(150, false));
    EXPECT_FALSE(bar_.SetValue(-1, false));
    EXPECT_EQ(bar_.GetValue(), 0);
}

TEST_F(ScrollBarTest, ThumbFollowsTheMouseAndReturnsWhenItStrays)
{
    ASSERT_TRUE(bar_.SetValue(50, false));
    // The thumb lies at 102 to 118.
    user_.Press(FakeUser::Front(), 18, 110).Release(FakeUser::Front(), 18, 110).Play();
    EXPECT_EQ(bar_.GetValue(), 50);
    EXPECT_TRUE(g_emitted.empty());

    user_.Press(FakeUser::Front(), 18, 110)
        .DragTo(FakeUser::Front(), 18, 140)
        .DragTo(FakeUser::Front(), 18 + 150, 140)
        .Release(FakeUser::Front(), 18 + 150, 140)
        .Play();
    EXPECT_EQ(g_emitted, (std::vector<intptr_t>{70, 50}));
    EXPECT_EQ(bar_.GetValue(), 50);

    g_emitted.clear();
    user_.Press(FakeUser::Front(), 18, 110).DragTo(FakeUser::Front(), 18, 40).Release(FakeUser::Front(), 18, 40).Play();
    EXPECT_EQ(bar_.GetValue(), 4);  // 22 / 152 of the range, less the offset of the press in the thumb
    EXPECT_EQ(g_emitted, std::vector<intptr_t>{4});
}

TEST_F(SimpleControlsTest, ShortOrInvertedScrollBars)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CScrollBar bar;
    window.onMouseDown = [&](int, int) { return bar.Track(); };
    ASSERT_TRUE(bar.Create(&window, FourCC("sBar"), Rect{10, 10, 50, 26}, 0));
    ASSERT_TRUE(bar.SetValue(40, false));
    user_.Press(FakeUser::Front(), 18, 30).DragTo(FakeUser::Front(), 18, 45).Release(FakeUser::Front(), 18, 45).Play();
    EXPECT_EQ(bar.GetValue(), 40);

    // A bar whose bottom lies above its top is refused, neither made nor shown.
    CScrollBar refused;
    EXPECT_FALSE(refused.Create(&window, FourCC("sBad"), Rect{50, 10, 10, 26}, 0));
    EXPECT_EQ(refused.GetControlRef(), nullptr);
    EXPECT_EQ(refused.GetLastStatus(), paramErr);
    EXPECT_EQ(platform::WindowControls(window.GetWindow()).size(), 1u);
}

TEST_F(SimpleControlsTest, ValuesTextsAndRanges)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CRadioButton radio;
    ASSERT_TRUE(radio.Create(&window, FourCC("rOne"), Rect{10, 10, 28, 100}, "One"));
    radio.SetValue(5, false);
    EXPECT_EQ(GetControl32BitValue(radio.GetControlRef()), 1);
    radio.SetValue(0, false);
    EXPECT_FALSE(radio.GetValue());

    CStaticText text;
    ASSERT_TRUE(text.Create(&window, FourCC("sTxt"), Rect{30, 10, 46, 200}, "x"));
    const std::string long1000(1000, 'w');
    ASSERT_TRUE(text.SetTextF(false, "%s", long1000.c_str()));
    EXPECT_EQ(platform::ControlText(text.GetControlRef()), long1000);
    ASSERT_TRUE(text.SetTextF(false, "%d%%", 50));
    EXPECT_EQ(platform::ControlText(text.GetControlRef()), "50%");
    text.Clear(false);
    EXPECT_EQ(platform::ControlText(text.GetControlRef()), "");

    CProgressBar progress;
    ASSERT_TRUE(progress.Create(&window, FourCC("pBar"), Rect{50, 10, 60, 200}, ""));
    progress.SetRange(-5, 70000, false);  // held in 16 bits
    EXPECT_EQ(progress.GetMinimum(), -5);
    EXPECT_EQ(progress.GetMaximum(), static_cast<SInt16>(70000));

    CSlider slider;
    ASSERT_TRUE(slider.Create(&window, FourCC("lSld"), Rect{70, 10, 90, 200}, ""));
    slider.SetRange(10, 20, false);
    slider.SetValue(30, false);
    EXPECT_EQ(slider.GetValue(), 20);
}

TEST_F(SimpleControlsTest, RadioGroupBindsOnlyButtonsTheWindowHas)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNib(window, "IDD_CTL"));
    CRadioGroup group;
    group.SetWindow(window.GetWindow());
    EXPECT_TRUE(group.AddButton("One", FourCC("rOne"), -1, 1, 2));
    EXPECT_FALSE(group.AddButton("None", FourCC("rNon"), -1, 0, 0));
    EXPECT_TRUE(group.AddButton("Two", FourCC("rTwo"), 7, 0, 0));  // no icon 7: bound without one
    EXPECT_EQ(group.GetButtonCount(), 2);
    ASSERT_NE(group.GetButton(1), nullptr);
    EXPECT_EQ(group.GetButton(1)->GetSignature(), FourCC("rTwo"));
    EXPECT_EQ(group.GetButton(2), nullptr);
}

TEST_F(SimpleControlsTest, KeyCaptureShowsTheKeysName)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CKeyCaptureField field;
    ASSERT_TRUE(field.Create(&window, FourCC("eKey"), Rect{10, 10, 26, 110}, ""));
    struct Case {
        UInt16 code;
        char ch;
    };
    for (Case c : {Case{122, 16}, Case{0, 'a'}, Case{36, '\r'}}) {
        SetKeyboardFocus(window.GetWindow(), field.GetControlRef(), kControlEditTextPart);
        user_.PressKey(c.code, c.ch).Play();
        char name[12];
        GetKeyName(c.code, name);
        EXPECT_EQ(platform::ControlText(field.GetControlRef()), name) << c.code;
        EXPECT_EQ(field.GetKeyCode(), c.code);
    }
    EXPECT_EQ(window.Count("key 97"), 0);  // captured, not typed on
}

TEST_F(SimpleControlsTest, TextBoxHandlerDrawsItsObject)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    ControlRef pane = nullptr;
    Rect r{10, 10, 50, 100};
    ASSERT_EQ(CreateUserPaneControl(window.GetWindow(), &r, 0, &pane), noErr);
    TXNObject object = TXNNewTextObject("Caption");
    static const EventTypeSpec kTypes[] = {{kEventClassControl, kEventControlDraw}, {11, 1}, {kEventClassMouse, 1}};
    EventHandlerRef handler = nullptr;
    ASSERT_EQ(InstallEventHandler(GetControlEventTarget(pane), NewEventHandlerUPP(TextBoxDrawHandler), 3, kTypes,
                                  object, &handler),
              noErr);
    Draw1Control(pane);
    Draw1Control(pane);
    EXPECT_EQ(platform::TextObjectDrawCount(object), 2);
    struct Case {
        UInt32 cls, kind;
        OSStatus expected;
    };
    for (Case c : {Case{11, 1, noErr}, Case{kEventClassMouse, 1, eventNotHandledErr}}) {
        EventRef e = nullptr;
        CreateEvent(nullptr, c.cls, c.kind, 0, 0, &e);
        EXPECT_EQ(TextBoxDrawHandler(nullptr, e, object), c.expected);
        ReleaseEvent(e);
    }
    RemoveEventHandler(handler);
    TXNDeleteObject(object);
}

}  // namespace
}  // namespace tavrel_test
