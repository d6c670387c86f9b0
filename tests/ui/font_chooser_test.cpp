#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "controls_fixture.h"
#include "platform/toolbox_browser.h"
#include "support/test_support.h"
#include "ui/font_chooser.h"

namespace {

using tavrel_test::FakeUser;

const char* const kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kSansBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr SInt32 kDialogIds = 20000;

std::string ControlTitle(ControlRef control)
{
    CFStringRef title = nullptr;
    if (CopyControlTitleAsCFString(control, &title) != noErr || !title) return {};
    std::string out = platform::ToUtf8(title);
    CFRelease(title);
    return out;
}

ControlRef FindIn(WindowRef window, const char* signature)
{
    ControlID id{FourCC(*reinterpret_cast<const char(*)[5]>(signature)), kDialogIds};
    ControlRef control = nullptr;
    GetControlByID(window, &id, &control);
    return control;
}

std::string FieldText(WindowRef window, const char* signature)
{
    char text[256] = {};
    long length = 0;
    GetControlData(FindIn(window, signature), 0, kControlEditTextTextTag, sizeof text - 1, text, &length);
    return std::string(text, size_t(std::max(0L, std::min<long>(length, sizeof text - 1))));
}

Rect BoundsIn(WindowRef window, const char* signature)
{
    Rect r{};
    GetControlBounds(FindIn(window, signature), &r);
    return r;
}

struct Changes {
    int calls = 0;
    std::string name;
    int size = 0;
    uint16_t style = 0;
};

void NoteChange(CFont& font, void* context)
{
    auto* changes = static_cast<Changes*>(context);
    ++changes->calls;
    changes->name = font.GetName();
    changes->size = font.GetSize();
    changes->style = font.GetStyle();
}

class FontChooserTest : public tavrel_test::ControlsTest {
protected:
    void SetUp() override
    {
        if (!tavrel_test::IsThere(kSans)) GTEST_SKIP() << "fonts-dejavu-core missing";
        family = platform::RegisterFontFile(kSans);
        ASSERT_NE(family, 0);
        if (tavrel_test::IsThere(kSansBold)) platform::RegisterFontFile(kSansBold);
        platform::ResetServices();
        SetUseFontPanel(true);
    }
    void TearDown() override { SetUseFontPanel(true); }

    // Rows of DejaVu Sans and of its bold face in the dialog's lists.
    void FindRows(int* familyRow, int* boldRow) const
    {
        const auto families = platform::ListFamilies();
        for (size_t i = 0; i < families.size(); ++i) {
            if (families[i].family != family) continue;
            *familyRow = int(i);
            for (size_t j = 0; j < families[i].styles.size(); ++j)
                if (families[i].styles[j] == qd_style::kBold) *boldRow = int(j);
        }
    }

    FMFontFamily family = 0;
};

TEST_F(FontChooserTest, StyleNamesSamenessAndUpdate)
{
    struct Case {
        uint16_t style;
        const char* name;
    };
    const Case cases[] = {
        {0, "Regular"},
        {qd_style::kBold | qd_style::kItalic, "Bold Italic"},
        {qd_style::kExtend | qd_style::kUnderline, "Underline Extend"},
        {0x7F, "Bold Italic Underline Outline Shadow Condense Extend"},
        {0x80, "Regular"},  // no name for bits past Extend
    };
    for (const Case& c : cases) {
        CFont font;
        font.SetStyle(c.style);
        char name[256];
        font.GetStyleName(name, sizeof name);
        EXPECT_STREQ(name, c.name) << c.style;
    }
    CFont font;
    font.SetBold(true);
    char shortName[4];
    font.GetStyleName(shortName, sizeof shortName);
    EXPECT_STREQ(shortName, "Bol");

    CFont other;
    other.SetFontID(family);
    other.SetSize(30);
    EXPECT_FALSE(other.IsSame(font));
    EXPECT_TRUE(font.Update(other));
    EXPECT_TRUE(font.IsSame(other));
    EXPECT_EQ(font.GetSize(), 30);
    EXPECT_STREQ(font.GetName(), "DejaVu Sans");
    EXPECT_FALSE(font.Update(other));
    // Measures follow the update.
    EXPECT_EQ(font.GetAscent(), other.GetAscent());

    // The 28-byte record a project keeps beside the name: 14-point bold is
    // the size big-endian at 0 and the style word at 18, nothing else.
    CFont bold;
    bold.SetSize(14);
    bold.SetBold(true);
    uint8_t record[CFont::kFontRecordSize];
    bold.ToFontRecord(record);
    uint8_t expected[CFont::kFontRecordSize] = {};
    expected[3] = 14;
    expected[19] = 1;
    EXPECT_TRUE(std::equal(record, record + sizeof record, expected));
    CFont back;
    ASSERT_TRUE(back.FromFontRecord("DejaVu Sans", record, sizeof record));
    EXPECT_EQ(back.GetSize(), 14);
    EXPECT_TRUE(back.IsBold());
    EXPECT_FALSE(back.IsItalic());
}

TEST_F(FontChooserTest, FontPanelPickReachesItsButtonWhateverWindowIsInFront)
{
    tavrel_test::NoteWindow window, other;
    ASSERT_TRUE(OpenNew(window));
    Changes changes;
    CFontButton first(NoteChange, &changes);
    CFontButton second(nullptr, nullptr);
    ASSERT_TRUE(first.Create(&window, FourCC("bFnt"), Rect{10, 10, 30, 200}, ""));
    ASSERT_TRUE(second.Create(&window, FourCC("bFn2"), Rect{40, 10, 60, 200}, ""));
    CFont font;
    font.SetFontID(family);
    second.SetFont(font, false);  // the panel last heard of the other button
    ASSERT_EQ(platform::Services().fontSelection.size(), 1u);
    EXPECT_EQ(platform::Services().fontSelection[0].familyNumber, family);
    EXPECT_EQ(platform::Services().fontSelection[0].size, 12);

    user_.ClickControl(FakeUser::Ref(window.GetWindowRef()), FourCC("bFnt"), kDialogIds)
        .Do([&] {
            EXPECT_TRUE(FPIsFontPanelVisible());
            EXPECT_EQ(CFontButton::GetFontPanelButton(), &first);
            ASSERT_TRUE(other.CreateNew(300, 300, 200, 100, kDialogShow, nullptr, 1));
            other.BringToFront();
        })
        .PickInFontPanel(family, qd_style::kBold, 18);
    user_.Play();
    EXPECT_EQ(FrontWindow(), other.GetWindow());
    EXPECT_EQ(changes.calls, 1);
    EXPECT_EQ(changes.name, "DejaVu Sans");
    EXPECT_EQ(std::make_pair(changes.size, changes.style), std::make_pair(18, uint16_t(qd_style::kBold)));
    EXPECT_EQ(ControlTitle(first.GetControlRef()), "DejaVu Sans Bold 18 pt");
    EXPECT_EQ(second.GetFont().GetSize(), 12);
    EXPECT_EQ(other.log, std::vector<std::string>{});

    // A second click hides the panel and the button no longer drives it.
    user_.ClickControl(FakeUser::Ref(window.GetWindowRef()), FourCC("bFnt"), kDialogIds);
    user_.Play();
    EXPECT_FALSE(FPIsFontPanelVisible());
    EXPECT_EQ(CFontButton::GetFontPanelButton(), nullptr);

    // Going away, the driving button takes the panel with it.
    {
        CFontButton third(nullptr, nullptr);
        ASSERT_TRUE(third.Create(&window, FourCC("bFn3"), Rect{70, 10, 90, 200}, ""));
        user_.ClickControl(FakeUser::Ref(window.GetWindowRef()), FourCC("bFn3"), kDialogIds);
        user_.Play();
        EXPECT_EQ(CFontButton::GetFontPanelButton(), &third);
    }
    EXPECT_FALSE(FPIsFontPanelVisible());
    EXPECT_EQ(CFontButton::GetFontPanelButton(), nullptr);
}

TEST_F(FontChooserTest, ClickOpensThePanelOrTheDialog)
{
    struct Case {
        int32_t system;
        bool usePanel;
        bool panel;
    };
    const Case cases[] = {
        {0x1049, true, true},
        {0x1020, true, true},
        {0x101F, true, false},  // before 10.2: no Font Panel
        {0x1049, false, false},
    };
    tavrel_test::NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    for (const Case& c : cases) {
        platform::ResetServices();
        platform::SetGestaltValue(platform::gestaltSystemVersion, c.system);
        SetUseFontPanel(c.usePanel);
        CFontButton button(nullptr, nullptr);
        ASSERT_TRUE(button.Create(&window, FourCC("bFnt"), Rect{10, 10, 30, 200}, ""));
        bool dialogShown = false;
        user_.ClickControl(FakeUser::Ref(window.GetWindowRef()), FourCC("bFnt"), kDialogIds);
        if (!c.panel)
            user_.Do([&] { dialogShown = FrontWindow() != window.GetWindow(); })
                .ClickControl(FakeUser::Front(), FourCC("not!"), kDialogIds);
        user_.Play();
        EXPECT_EQ(FPIsFontPanelVisible(), c.panel) << c.system;
        EXPECT_EQ(dialogShown, !c.panel) << c.system;
        EXPECT_EQ(CFontButton::GetFontPanelButton(), c.panel ? &button : nullptr) << c.system;
    }
}

TEST_F(FontChooserTest, DialogChoosesFamilyTypefaceAndSize)
{
    SetUseFontPanel(false);
    int familyRow = -1, boldRow = -1;
    FindRows(&familyRow, &boldRow);
    ASSERT_GE(familyRow, 0);
    if (boldRow < 0) GTEST_SKIP() << "no bold DejaVu Sans";

    tavrel_test::NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    Changes changes;
    CFontButton button(NoteChange, &changes);
    ASSERT_TRUE(button.Create(&window, FourCC("bFnt"), Rect{10, 10, 30, 200}, ""));
    std::string fields, title;
    platform::BrowserLook familyLook, typefaceLook;
    user_.ClickControl(FakeUser::Ref(window.GetWindowRef()), FourCC("bFnt"), kDialogIds)
        .ChooseListRow(FakeUser::Front(), FourCC("lFnt"), kDialogIds, familyRow)
        .ChooseListRow(FakeUser::Front(), FourCC("lStl"), kDialogIds, boldRow)
        .ChooseListRow(FakeUser::Front(), FourCC("lSiz"), kDialogIds, 7)
        .Do([&] {
            WindowRef dialog = FrontWindow();
            CFStringRef t = nullptr;
            CopyWindowTitleAsCFString(dialog, &t);
            title = platform::ToUtf8(t);
            CFRelease(t);
            fields = FieldText(dialog, "eFnt") + "|" + FieldText(dialog, "eStl") + "|" + FieldText(dialog, "eSiz");
            familyLook = platform::BrowserLookOf(FindIn(dialog, "lFnt"));
            typefaceLook = platform::BrowserLookOf(FindIn(dialog, "lStl"));
        })
        .MoveWindow(FakeUser::Front(), 150, 160)
        .ClickControl(FakeUser::Front(), FourCC("ok  "), kDialogIds);
    user_.Play();
    EXPECT_EQ(title, "Font");
    EXPECT_EQ(fields, "DejaVu Sans|Bold|24");
    EXPECT_EQ(std::make_tuple(familyLook.selectionFlags, familyLook.headerHeight, familyLook.hiliteStyle),
              std::make_tuple(66u, UInt16(0), 1u));
    EXPECT_EQ(typefaceLook.selectionFlags, 70u);

    EXPECT_EQ(button.GetFont().GetFontID(), family);
    EXPECT_TRUE(button.GetFont().IsBold());
    EXPECT_EQ(button.GetFont().GetSize(), 24);
    EXPECT_EQ(ControlTitle(button.GetControlRef()), "DejaVu Sans Bold 24 pt");
    EXPECT_EQ(changes.calls, 0);  // the callback belongs to the Font Panel
    const CFontButton::Frame& frame = button.GetDialogFrame();
    EXPECT_EQ(std::make_tuple(frame.x, frame.y, frame.width, frame.height), std::make_tuple(150, 160, 500, 320));
}

TEST_F(FontChooserTest, ApplyThenCancelKeepsWhatApplySet)
{
    SetUseFontPanel(false);
    tavrel_test::NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CFont font;
    font.SetFontID(family);
    font.SetSize(13);
    std::string sizeField;
    int sizeRow = -1;
    user_.Do([&] { sizeField = FieldText(FrontWindow(), "eSiz"); })
        .Do([&] {
            std::vector<DataBrowserItemID> selected;
            GetDataBrowserItems(FindIn(FrontWindow(), "lSiz"), 0, false, kDataBrowserItemIsSelected, &selected);
            sizeRow = selected.size() == 1 ? int(selected[0]) - 1 : -1;
        })
        .ChooseListRow(FakeUser::Front(), FourCC("lSiz"), kDialogIds, 8)  // 32
        .ClickControl(FakeUser::Front(), FourCC("aply"), kDialogIds)
        .ChooseListRow(FakeUser::Front(), FourCC("lSiz"), kDialogIds, 9)  // 36
        .ClickControl(FakeUser::Front(), FourCC("not!"), kDialogIds);
    CFontDialog dialog;
    EXPECT_EQ(dialog.Run(font, window.GetWindow(), nullptr), int(FourCC("not!")));
    EXPECT_EQ(sizeField, "13");
    EXPECT_EQ(sizeRow, 4);
    EXPECT_EQ(font.GetSize(), 32);
    EXPECT_EQ(font.GetFontID(), family);

    // An emptied size field keeps the size instead of making it 0.
    user_.Do([&] { SetControlData(FindIn(FrontWindow(), "eSiz"), 0, kControlEditTextTextTag, 0, ""); })
        .ClickControl(FakeUser::Front(), FourCC("ok  "), kDialogIds);
    CFontDialog again;
    EXPECT_EQ(again.Run(font, window.GetWindow(), nullptr), int(FourCC("ok  ")));
    EXPECT_EQ(font.GetSize(), 32);

    // With the Font Panel in use the parent is asked to show it instead.
    SetUseFontPanel(true);
    CFontDialog panel;
    EXPECT_EQ(panel.Run(font, window.GetWindow(), nullptr), 0);
    EXPECT_EQ(window.Count("command shfp"), 1);
}

TEST_F(FontChooserTest, ResizingMovesTheColumns)
{
    SetUseFontPanel(false);
    struct Case {
        int width, height;
        int dw, dh;
    };
    const Case cases[] = {
        {600, 420, 100, 100}, {500, 320, 0, 0}, {300, 150, -100, -100},  // shrinking stops at 100 less
    };
    tavrel_test::NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    for (const Case& c : cases) {
        CFont font;
        std::map<std::string, Rect> after;
        user_.ResizeWindow(FakeUser::Front(), 100, 100, c.width, c.height)
            .Do([&] {
                for (const char* sig : {"lFnt", "eFnt", "tFnt", "lStl", "eStl", "lSiz", "tStl", "ok  ", "not!"})
                    after[sig] = BoundsIn(FrontWindow(), sig);
            })
            .ClickControl(FakeUser::Front(), FourCC("not!"), kDialogIds);
        CFontDialog dialog;
        dialog.Run(font, window.GetWindow(), nullptr);
        auto ltrb = [](const Rect& r) { return std::make_tuple(r.left, r.top, r.right, r.bottom); };
        EXPECT_EQ(ltrb(after["lFnt"]), std::make_tuple(17, 71, 167 + c.dw, 300 + c.dh)) << c.width;
        EXPECT_EQ(ltrb(after["eFnt"]), std::make_tuple(23, 42, 161 + c.dw, 63)) << c.width;
        EXPECT_EQ(ltrb(after["tFnt"]), std::make_tuple(20, 20, 100, 36)) << c.width;
        EXPECT_EQ(ltrb(after["lStl"]), std::make_tuple(169 + c.dw, 71, 319 + c.dw, 300 + c.dh)) << c.width;
        EXPECT_EQ(ltrb(after["eStl"]), std::make_tuple(175 + c.dw, 42, 313 + c.dw, 63)) << c.width;
        EXPECT_EQ(ltrb(after["lSiz"]), std::make_tuple(321 + c.dw, 71, 387 + c.dw, 300 + c.dh)) << c.width;
        EXPECT_EQ(ltrb(after["tStl"]), std::make_tuple(324 + c.dw, 20, 382 + c.dw, 36)) << c.width;
        EXPECT_EQ(ltrb(after["not!"]), std::make_tuple(400 + c.dw, 100, 470 + c.dw, 120)) << c.width;
        EXPECT_EQ(ltrb(dialog.GetLastFrame()), std::make_tuple(100, 100, 100 + c.width, 100 + c.height));
    }
}

TEST_F(FontChooserTest, StandardFontMenuNamesFamiliesAndTheirTypefaces)
{
    MenuRef menu = NewMenu(3333, reinterpret_cast<const unsigned char*>("\0"));
    ItemCount submenus = 0;
    ASSERT_EQ(CreateStandardFontMenu(menu, 0, 100, kHierarchicalFontMenuOption, &submenus), noErr);
    EXPECT_EQ(CreateStandardFontMenu(menu, 0, 100, kHierarchicalFontMenuOption, nullptr), paramErr);
    const auto items = platform::MenuItems(menu);
    bool seen = false;
    for (MenuItemIndex i = 1; i <= items.size(); ++i) {
        if (items[i - 1].text != "DejaVu Sans") continue;
        seen = true;
        FMFontFamily got = 0;
        FMFontStyle style = -1;
        ASSERT_EQ(GetFontFamilyFromMenuSelection(menu, i, &got, &style), noErr);
        EXPECT_EQ(std::make_pair(got, style), std::make_pair(family, FMFontStyle(0)));
        if (MenuRef sub = items[i - 1].submenu) {
            EXPECT_GE(GetMenuID(sub), 100);
            const auto faces = platform::MenuItems(sub);
            ASSERT_EQ(GetFontFamilyFromMenuSelection(sub, MenuItemIndex(faces.size()), &got, &style), noErr);
            EXPECT_EQ(faces.back().text, platform::FaceName(uint16_t(style)));
            EXPECT_GT(style, 0);
        }
    }
    EXPECT_TRUE(seen);
    EXPECT_EQ(GetFontFamilyFromMenuSelection(menu, MenuItemIndex(items.size() + 1), nullptr, nullptr), paramErr);
    FMFont font = 0;
    EXPECT_EQ(FMGetFontFromFontFamilyInstance(family, 0, &font, nullptr), noErr);
    EXPECT_EQ(FMGetFontFromFontFamilyInstance(32767, 0, &font, nullptr), kFMInvalidFontFamilyErr);
    for (const auto& item : items)
        if (item.submenu) DisposeMenu(item.submenu);
    DisposeMenu(menu);
}

}  // namespace
