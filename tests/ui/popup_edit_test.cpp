#include "ui/popup_edit.h"

#include <cstring>

#include "controls_fixture.h"
#include "ui/buttons.h"

namespace tavrel_test {
namespace {

using EditTextTest = ControlsTest;

struct Key {
    UInt16 code;
    char ch;
};
constexpr Key kDot{47, '.'}, kMinus{27, '-'}, kFive{23, '5'}, kX{7, 'x'}, kReturn{36, '\r'}, kEnter{76, 3},
    kBackspace{51, 8}, kForwardDelete{117, 127}, kLeft{123, 28}, kUp{126, 30}, kDown{125, 31};

int g_commits = 0;
void CountCommit(CEditText*, void* context)
{
    ++g_commits;
    EXPECT_EQ(context, &g_commits);
}

TEST_F(EditTextTest, KeysGoThroughTheFilterMode)
{
    struct Case {
        const char* name;
        SInt32 mode;
        bool passReturn;
        const char* text;
        SInt16 selStart, selEnd;
        Key key;
        const char* expected;
        int commits;
        bool reachesWindow;  // the key went on to the window
        bool pressesDefault;
    };
    const Case cases[] = {
        {"point into 1.5 is blocked", kFilterUnsignedDecimal, false, "1.5", 3, 3, kDot, "1.5", 0, false, false},
        {"point replacing all passes", kFilterUnsignedDecimal, false, "1.5", 0, 3, kDot, ".", 0, false, false},
        {"point replacing the selected point", kFilterSignedDecimal, false, "1.5", 1, 3, kDot, "1.", 0, false, false},
        {"point with a point outside the selection", kFilterUnsignedDecimal, false, "1.5", 2, 3, kDot, "1.5", 0, false,
         false},
        {"minus anywhere in mode 3", kFilterSignedInt, false, "12", 1, 1, kMinus, "1-2", 0, false, false},
        {"minus blocked in mode 4", kFilterUnsignedInt, false, "12", 2, 2, kMinus, "12", 0, false, false},
        {"digit at the start of an identifier", kFilterIdentifier, false, "ab", 0, 0, kFive, "ab", 0, false, false},
        {"digit later in an identifier", kFilterIdentifier, false, "ab", 1, 1, kFive, "a5b", 0, false, false},
        {"letter at the start of an identifier", kFilterIdentifier, false, "ab", 0, 0, kX, "xab", 0, false, false},
        {"digit blocked in letters mode", kFilterLetters, false, "ab", 2, 2, kFive, "ab", 0, false, false},
        {"unlisted mode takes anything", 42, false, "", 0, 0, kMinus, "-", 0, false, false},
        {"Return commits once and is blocked", kFilterNone, false, "7", 1, 1, kReturn, "7", 1, false, false},
        {"Enter commits too", kFilterNone, false, "7", 1, 1, kEnter, "7", 1, false, false},
        {"passed Return meets the digit rule", kFilterUnsignedInt, true, "7", 1, 1, kReturn, "7", 1, false, false},
        {"passed Return presses the default button", kFilterNone, true, "7", 1, 1, kReturn, "7", 1, true, true},
        {"backspace passes in mode 4", kFilterUnsignedInt, false, "12", 2, 2, kBackspace, "1", 0, false, false},
        {"forward delete passes in mode 7", kFilterIdentifier, false, "12", 0, 0, kForwardDelete, "2", 0, false, false},
        {"left arrow passes in mode 6", kFilterUnsignedDecimal, false, "12", 2, 2, kLeft, "12", 0, false, false},
        {"up arrow blocked in mode 2", kFilterLetters, false, "ab", 1, 1, kUp, "ab", 0, false, false},
        {"down arrow blocked in mode 6", kFilterUnsignedDecimal, false, "1", 1, 1, kDown, "1", 0, false, false},
        {"up arrow passes in mode 0", kFilterNone, false, "ab", 1, 1, kUp, "ab", 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NoteWindow window;
        ASSERT_TRUE(OpenNew(window));
        CPushButton ok;
        ASSERT_TRUE(ok.Create(&window, FourCC("ok  "), Rect{250, 300, 270, 380}, "OK"));
        CEditText edit;
        ASSERT_TRUE(edit.Create(&window, FourCC("eNum"), Rect{10, 10, 30, 110}, c.text));
        edit.SetFilterMode(c.mode);
        edit.SetPassReturn(c.passReturn);
        g_commits = 0;
        edit.SetCommitHandler(CountCommit, &g_commits);
        ControlEditTextSelectionRec sel{c.selStart, c.selEnd};
        SetControlData(edit.GetControlRef(), 0, kControlEditTextSelectionTag, sizeof sel, &sel);
        SetKeyboardFocus(window.GetWindow(), edit.GetControlRef(), kControlEditTextPart);
        user_.PressKey(c.key.code, c.key.ch).Play();
        char text[32];
        edit.GetText(text, sizeof text);
        EXPECT_STREQ(text, c.expected);
        EXPECT_EQ(g_commits, c.commits);
        EXPECT_EQ(window.Count("key " + std::to_string(c.key.ch)), c.reachesWindow ? 1 : 0);
        EXPECT_EQ(window.Count("command ok  "), c.pressesDefault ? 1 : 0);
    }
}

TEST_F(EditTextTest, NibFieldOutlivingItsObjectPointsAtNothing)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNib(window, "IDD_CTL"));
    ControlRef field = nullptr;
    {
        CEditText edit;
        ASSERT_TRUE(window.AttachControl(FourCC("eTg1"), &edit));
        field = edit.GetControlRef();
        ASSERT_EQ(GetControlReference(field), reinterpret_cast<SRefCon>(&edit));
    }
    ASSERT_TRUE(IsValidControlHandle(field));  // the nib's field stays with its window
    EXPECT_EQ(GetControlReference(field), SRefCon(0));
    // Typing into it reaches no object.
    user_.ClickControl(FakeUser::Front(), FourCC("eTg1"), 0).PressKey(kFive.code, kFive.ch).Play();
}

TEST_F(EditTextTest, TabCommitsAndMovesTheFocus)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CEditText first, second;
    ASSERT_TRUE(first.Create(&window, FourCC("eOne"), Rect{10, 10, 30, 110}, ""));
    ASSERT_TRUE(second.Create(&window, FourCC("eTwo"), Rect{40, 10, 60, 110}, ""));
    g_commits = 0;
    first.SetCommitHandler(CountCommit, &g_commits);
    user_.Click(FakeUser::Front(), 20, 20).Type("ab\t").Type("cd").Play();
    char text[8];
    first.GetText(text, sizeof text);
    EXPECT_STREQ(text, "ab");
    second.GetText(text, sizeof text);
    EXPECT_STREQ(text, "cd");
    EXPECT_EQ(g_commits, 1);
}

TEST_F(EditTextTest, NumbersInAndOut)
{
    struct Case {
        double value;
        int width, precision;
        const char* expected;
    };
    const Case cases[] = {
        {2.5, 0, 2, "2.50"},   {2.5, 6, 1, "   2.5"},  {2.5, 0, 0, "2.500000"},
        {-1.25, 0, 1, "-1.2"}, {1e300, 0, 2, nullptr},  // longer than a field: cut at 255 characters
    };
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CEditText edit;
    ASSERT_TRUE(edit.Create(&window, FourCC("eNum"), Rect{10, 10, 30, 110}, ""));
    for (const Case& c : cases) {
        ASSERT_TRUE(edit.SetDouble(c.value, c.width, c.precision, false));
        char text[512];
        edit.GetText(text, sizeof text);
        if (c.expected)
            EXPECT_STREQ(text, c.expected);
        else
            EXPECT_EQ(std::strlen(text), 255u);
    }
    edit.SetInt(-42, false);
    EXPECT_EQ(edit.GetInt(), -42);
    EXPECT_EQ(edit.GetTextLength(), 3);
    edit.SetText("3.75", false);
    EXPECT_DOUBLE_EQ(edit.GetDouble(), 3.75);
    char small[3];
    EXPECT_EQ(edit.GetText(small, sizeof small), 2);
    EXPECT_STREQ(small, "3.");
    edit.Clear(false);
    EXPECT_EQ(edit.GetInt(), 0);
}

using PopupTest = ControlsTest;

TEST_F(PopupTest, ValueStaysOnAnItem)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CPopupMenu popup;
    ASSERT_TRUE(popup.Create(&window, FourCC("mPop"), Rect{10, 10, 30, 150}, "Pick"));
    EXPECT_EQ(popup.GetValue(nullptr, 0), -1);
    for (const char* item : {"ABC", "def", "ghi"}) popup.AddItem(item);
    EXPECT_EQ(popup.GetCount(), 3);
    struct Case {
        int set, expected;
    };
    for (Case c : {Case{-3, 0}, Case{100, 2}, Case{1, 1}, Case{3, 2}}) {
        popup.SetValue(c.set);
        EXPECT_EQ(popup.GetValue(nullptr, 0), c.expected) << c.set;
    }
    EXPECT_EQ(popup.FindItem("abc"), -1);
    EXPECT_EQ(popup.FindItem("ABC"), 0);
    popup.SetValue(0);
    char text[3];
    EXPECT_EQ(popup.GetValue(text, sizeof text), 0);
    EXPECT_STREQ(text, "AB");

    // The user's choice selects the item and reaches the window once.
    user_.ChoosePopupItem(3).Click(FakeUser::Front(), 20, 20).Play();
    EXPECT_EQ(popup.GetValue(nullptr, 0), 2);
    EXPECT_EQ(window.Count("command mPop"), 1);

    EXPECT_TRUE(popup.RemoveAllItems());
    EXPECT_EQ(popup.GetCount(), 0);
    EXPECT_EQ(popup.GetValue(nullptr, 0), -1);
}

using ComboTest = ControlsTest;

TEST_F(ComboTest, ChoiceFillsTheFieldFromTheNibAndInCode)
{
    for (bool fromNib : {true, false}) {
        SCOPED_TRACE(fromNib ? "nib" : "code");
        NoteWindow window;
        CComboBox combo;
        if (fromNib) {
            ASSERT_TRUE(OpenNib(window, "IDD_CTL"));
            ASSERT_TRUE(window.AttachControl(FourCC("mTg1"), &combo));
        } else {
            ASSERT_TRUE(OpenNew(window));
            ASSERT_TRUE(combo.Create(&window, FourCC("mTg1"), Rect{10, 100, 30, 232}, ""));
            for (const char* item : {"_top", "_self", "_blank"}) combo.AppendItem(item);
            combo.SetText("_top", false);
        }
        EXPECT_EQ(combo.EditPart().GetSignature(), FourCC("eTg1"));
        user_.ChoosePopupItem(2).Click(FakeUser::Front(), 215, 20).Play();
        char text[16];
        combo.GetText(text, sizeof text);
        EXPECT_STREQ(text, "_self");
        EXPECT_EQ(combo.GetSelectedIndex(), 1);
        EXPECT_EQ(window.Count("command mTg1"), 1);
    }
}

TEST_F(ComboTest, PartsMoveAndSizeAsOne)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CComboBox combo;
    ASSERT_TRUE(combo.Create(&window, FourCC("mCmb"), Rect{10, 100, 30, 232}, ""));
    struct Case {
        const char* name;
        std::function<void()> change;
        Rect field, popup;
    };
    const Case cases[] = {
        {"as made", [] {}, {10, 100, 30, 200}, {10, 200, 30, 232}},
        {"moved", [&] { combo.Move(50, 60); }, {60, 50, 80, 150}, {60, 150, 80, 182}},
        {"left", [&] { combo.SetLeft(0); }, {60, 0, 80, 100}, {60, 100, 80, 132}},
        {"wider", [&] { combo.SetWidth(200); }, {60, 0, 80, 168}, {60, 168, 80, 200}},
        {"taller field only", [&] { combo.SetSize(200, 30); }, {60, 0, 90, 168}, {60, 168, 80, 200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.change();
        Rect field, popup, all;
        GetControlBounds(combo.EditPart().GetControlRef(), &field);
        GetControlBounds(combo.GetControlRef(), &popup);
        EXPECT_EQ(std::tie(field.top, field.left, field.bottom, field.right),
                  std::tie(c.field.top, c.field.left, c.field.bottom, c.field.right));
        EXPECT_EQ(std::tie(popup.top, popup.left, popup.bottom, popup.right),
                  std::tie(c.popup.top, c.popup.left, c.popup.bottom, c.popup.right));
        combo.GetBounds(&all);
        EXPECT_EQ(combo.GetWidth(), popup.right - field.left);
        EXPECT_EQ(all.right, popup.right);
    }
    EXPECT_TRUE(combo.Disable());
    EXPECT_FALSE(IsControlActive(combo.EditPart().GetControlRef()));
    EXPECT_FALSE(IsControlActive(combo.GetControlRef()));

    // Too narrow for its field: nothing of it stays.
    NoteWindow other;
    ASSERT_TRUE(OpenNew(other));
    CComboBox narrow;
    EXPECT_FALSE(narrow.Create(&other, FourCC("mNrw"), Rect{10, 100, 30, 120}, ""));
    EXPECT_EQ(narrow.GetControlRef(), nullptr);
    EXPECT_TRUE(platform::WindowControls(other.GetWindow()).empty());
}

}  // namespace
}  // namespace tavrel_test
