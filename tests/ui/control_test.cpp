#include "ui/control.h"
#include "ui_fixture.h"

namespace tavrel_test {
namespace {

// The least derived control: a push button made in code.
class TestButton : public CControl {
public:
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override
    {
        if (!CControl::Create(owner, signature, bounds, title)) return false;
        CCFString cfTitle(title);
        ControlRef made = nullptr;
        OSStatus status = CreatePushButtonControl(*owner->GetWindowRef(), &bounds, cfTitle, &made);
        if (status != noErr) {
            SetLastStatus(status);
            return false;
        }
        SetControlRef(made);
        return InitCreated(owner, signature);
    }
};

using ControlTest = UiTest;

const Rect kBounds{10, 20, 30, 100};  // top, left, bottom, right

TEST_F(ControlTest, GeometrySettersKeepTheOtherValue)
{
    struct Case {
        const char* name;
        std::function<void(CControl&)> change;
        Rect expected;
    };
    const Case cases[] = {
        {"SetWidth keeps height", [](CControl& c) { c.SetWidth(50); }, {10, 20, 30, 70}},
        {"SetHeight keeps width", [](CControl& c) { c.SetHeight(5); }, {10, 20, 15, 100}},
        {"SetLeft keeps top", [](CControl& c) { c.SetLeft(0); }, {10, 0, 30, 80}},
        {"SetTop keeps left", [](CControl& c) { c.SetTop(40); }, {40, 20, 60, 100}},
        {"Move", [](CControl& c) { c.Move(-5, 70000); }, {4464, -5, 4484, 75}},  // cut to 16 bits
    };
    CDialogWindow window;
    ASSERT_TRUE(window.CreateNew(100, 120, 300, 200, 0, nullptr, 20000));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestButton button;
        ASSERT_TRUE(button.Create(&window, FourCC("bTst"), kBounds, "Test"));
        EXPECT_EQ(button.GetWidth(), 80);
        EXPECT_EQ(button.GetHeight(), 20);
        c.change(button);
        Rect r;
        button.GetBounds(&r);
        EXPECT_EQ(std::tie(r.top, r.left, r.bottom, r.right),
                  std::tie(c.expected.top, c.expected.left, c.expected.bottom, c.expected.right));
    }
}

TEST_F(ControlTest, CreatedControlCarriesItsSignature)
{
    LoggingWindow window;
    ASSERT_TRUE(window.CreateNew(100, 120, 300, 200, kDialogShow, nullptr, 20000));
    TestButton button;
    ASSERT_TRUE(button.Create(&window, FourCC("bTst"), kBounds, "Test"));
    EXPECT_FALSE(button.Create(&window, FourCC("bTwo"), kBounds, "Again"));
    ControlID id;
    UInt32 command = 0;
    GetControlID(button.GetControlRef(), &id);
    GetControlCommandID(button.GetControlRef(), &command);
    EXPECT_EQ(id.signature, FourCC("bTst"));
    EXPECT_EQ(id.id, 20000);
    EXPECT_EQ(command, FourCC("bTst"));
    EXPECT_EQ(GetControlReference(button.GetControlRef()), reinterpret_cast<SRefCon>(&button));
    EXPECT_EQ(platform::ControlDrawCount(button.GetControlRef()), 1);
    user_.ClickControl(FakeUser::Front(), FourCC("bTst"), 20000).Play();
    EXPECT_EQ(window.log[1], "command bTst");

    // Disposing of it takes it out of the window.
    ControlRef made = button.GetControlRef();
    EXPECT_TRUE(button.Dispose());
    EXPECT_EQ(button.GetControlRef(), nullptr);
    EXPECT_EQ(GetControlOwner(made), nullptr);

    // Without a window nothing is made and the failure is kept.
    CDialogWindow noWindow;
    TestButton orphan;
    EXPECT_FALSE(orphan.Create(&noWindow, FourCC("bTst"), kBounds, "Test"));
    EXPECT_EQ(orphan.GetLastStatus(), errInvalidWindowRef);
    EXPECT_EQ(orphan.GetControlRef(), nullptr);
}

TEST_F(ControlTest, ControlMadeByAPaneIsEmbeddedInIt)
{
    CDialogWindow owner, pane;
    ASSERT_TRUE(owner.CreateFromNibName(nib_, "IDD_PANES", nullptr, 0) || owner.GetWindow());
    ASSERT_TRUE(pane.AttachToControl(1000, owner.GetWindow(), 1000));
    TestButton button;
    ASSERT_TRUE(button.Create(&pane, FourCC("bTst"), kBounds, "Test"));
    ControlRef parent = nullptr;
    EXPECT_EQ(GetSuperControl(button.GetControlRef(), &parent), noErr);
    EXPECT_EQ(parent, pane.GetPaneControl());
}

TEST_F(ControlTest, AttachedControlsStayWithTheirWindow)
{
    CDialogWindow window;
    ASSERT_TRUE(window.CreateFromNibName(nib_, "IDD_TEST", nullptr, 7) || window.GetWindow());
    ControlRef nibControl = nullptr;
    {
        CControl attached;
        EXPECT_FALSE(window.AttachControl(FourCC("bNon"), &attached));
        EXPECT_EQ(attached.GetSignature(), 0u);
        ASSERT_TRUE(window.AttachControl(FourCC("bEnd"), &attached));
        EXPECT_EQ(attached.GetControlIdNumber(), 7);
        nibControl = attached.GetControlRef();
        EXPECT_TRUE(attached.Dispose());
    }
    ControlID id{FourCC("bEnd"), 7};
    ControlRef found = nullptr;
    EXPECT_EQ(GetControlByID(window.GetWindow(), &id, &found), noErr);
    EXPECT_EQ(found, nibControl);

    // Attaching over a control made here would leak it and later dispose of
    // the nib's control: refused.
    TestButton made;
    ASSERT_TRUE(made.Create(&window, FourCC("bTst"), kBounds, "Test"));
    EXPECT_FALSE(window.AttachControl(FourCC("bEnd"), &made));
    EXPECT_EQ(made.GetSignature(), FourCC("bTst"));
    EXPECT_TRUE(made.IsCreatedHere());
}

TEST_F(ControlTest, CleanUpAfterTheModalRunTookTheControls)
{
    class Dialog : public CDialogWindow {
    public:
        CControl attached;
        TestButton made;
        bool OnInitDialog() override
        {
            AttachControl(FourCC("bEnd"), &attached);
            return made.Create(this, FourCC("bTst"), kBounds, "Test");
        }
    };
    Dialog dialog;
    user_.Close(FakeUser::Front());
    EXPECT_EQ(dialog.DoModal(nib_, "IDD_TEST", 7), -1);
    // Both controls went with the window; using and disposing of them does nothing.
    EXPECT_EQ(GetControlOwner(dialog.made.GetControlRef()), nullptr);
    EXPECT_TRUE(dialog.made.Dispose());
    EXPECT_TRUE(dialog.attached.Dispose());
    EXPECT_EQ(dialog.attached.GetWidth(), 0);
    EXPECT_TRUE(dialog.attached.Enable(true) == false);
}

}  // namespace
}  // namespace tavrel_test
