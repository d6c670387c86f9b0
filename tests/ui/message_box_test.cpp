#include "ui/message_box.h"

#include "ui_fixture.h"
#include "support/toolbox_log.h"

namespace tavrel_test {
namespace {

using platform::PromptKind;
using platform::PromptLog;

// The three ways a message box shows itself.
struct Path {
    const char* name;
    int32_t system;
    bool withParent;
    PromptKind kind;
};
const Path kPaths[] = {
    {"alert", 0x1049, false, PromptKind::Alert},
    {"sheet", 0x1049, true, PromptKind::Sheet},
    {"before Mac OS X", 0x0922, true, PromptKind::OldAlert},
};

class MessageBoxTest : public UiTest {
protected:
    // Shows through one path, pressing button; returns the answer.
    OSType Show(const Path& path, int button, const std::function<OSType(WindowRef)>& call, double after = 0)
    {
        platform::SetGestaltValue(platform::gestaltSystemVersion, path.system);
        CDialogWindow parent;
        EXPECT_TRUE(parent.CreateNew(100, 120, 300, 200, kDialogShow, nullptr, 0));
        if (path.kind == PromptKind::Alert) user_.AnswerAlert(button);
        if (path.kind == PromptKind::Sheet) user_.AnswerSheet(button, after);
        if (path.kind == PromptKind::OldAlert) user_.AnswerOldAlert(button);
        OSType answer = call(path.withParent ? parent.GetWindow() : nullptr);
        EXPECT_FALSE(PromptLog().empty());
        if (!PromptLog().empty()) {
            EXPECT_EQ(PromptLog().back().kind, path.kind);
            EXPECT_EQ(PromptLog().back().parent, path.kind == PromptKind::Sheet ? parent.GetWindow() : nullptr);
        }
        return answer;
    }
};

TEST_F(MessageBoxTest, EveryPathShowsAndAnswers)
{
    struct Case {
        const char* name;
        int button;
        std::function<OSType(WindowRef)> call;
        OSType answer;
        int alertType;
        // Per path: alert, sheet, old alert.
        std::vector<std::string> buttons[3];
        std::string title, message;
    };
    const Case cases[] = {
        {"stop OK",
         1,
         [](WindowRef p) { return MessageBoxF(p, 0x101, "T", "M %d", 1); },
         kAnswerOk,
         kAlertStopAlert,
         {{"OK", "", ""}, {"OK", "", ""}, {"OK", "", ""}},
         "T",
         "M 1"},
        {"caution 0x231",
         1,
         [](WindowRef p) { return MessageBoxF(p, 0x231, "T", "M"); },
         kAnswerOk,
         kAlertCautionAlert,
         {{"OK", "", ""}, {"Yes", "Cancel", "No"}, {"Yes", "Cancel", "No"}},
         "T",
         "M"},
        {"Yes/No answered No",
         2,
         [](WindowRef p) { return MessageBoxF(p, 0x408, "Q", "?"); },
         kAnswerNo,
         kAlertNoteAlert,
         {{"Yes", "No", ""}, {"Yes", "No", ""}, {"Yes", "No", ""}},
         "Q",
         "?"},
        {"percent in an argument",
         1,
         [](WindowRef p) { return MessageBox(p, 501, 500, "100%", 99); },
         kAnswerOk,
         kAlertStopAlert,
         {{"OK", "", ""}, {"OK", "", ""}, {"OK", "", ""}},
         "Problem",
         "Disk 100% is 99% full"},
        {"missing message number",
         1,
         [](WindowRef p) { return MessageBox(p, 501, 4242); },
         kAnswerOk,
         kAlertStopAlert,
         {{"OK", "", ""}, {"OK", "", ""}, {"OK", "", ""}},
         "Problem",
         "4242"},
        {"error code",
         1,
         [](WindowRef p) { return ShowErrorCode(p, -43); },
         kAnswerOk,
         kAlertStopAlert,
         {{"OK", "", ""}, {"OK", "", ""}, {"OK", "", ""}},
         "Err: -43",
         "Type: -43"},
        {"information",
         1,
         [](WindowRef p) { return MessageBoxLocalizedT(p, 501, 4243); },
         kAnswerOk,
         kAlertNoteAlert,
         {{"OK", "", ""}, {"OK", "", ""}, {"OK", "", ""}},
         "Problem",
         "4243"},
        {"save, cancelled",
         2,
         [](WindowRef p) { return MessageBoxF(p, 0x20, "S", "M"); },
         kAnswerCancel,
         kAlertPlainAlert,
         {{"Save", "Cancel", "Don't Save"}, {"Save", "Cancel", "Don't Save"}, {"Save", "Cancel", "Don't Save"}},
         "S",
         "M"},
    };
    for (size_t p = 0; p < 3; ++p)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(kPaths[p].name) + ": " + c.name);
            EXPECT_EQ(Show(kPaths[p], c.button, c.call), c.answer);
            ASSERT_FALSE(PromptLog().empty());
            const platform::ShownPrompt& shown = PromptLog().back();
            EXPECT_EQ(shown.alertType, c.alertType);
            EXPECT_EQ(shown.buttons, c.buttons[p]);
            EXPECT_EQ(shown.title, c.title);
            EXPECT_EQ(shown.message, c.message);
            // Without a parent on Mac OS X: a movable alert.
            if (kPaths[p].kind == PromptKind::Alert) {
                EXPECT_TRUE(shown.movable);
            }
        }
}

TEST_F(MessageBoxTest, LongMessagesAreShownWhole)
{
    const std::string text(1000, 'm');
    for (const Path& path : kPaths) {
        SCOPED_TRACE(path.name);
        Show(path, 1, [&](WindowRef p) { return MessageBoxT(p, "T", "%s", text.c_str()); });
        // The old alert takes length-prefixed texts: 255 bytes is all it can hold.
        EXPECT_EQ(PromptLog().back().message.size(), path.kind == PromptKind::OldAlert ? 255u : 1000u);
    }
}

TEST_F(MessageBoxTest, OtherWindowsRunWhileASheetWaits)
{
    int fired = 0;
    EventLoopTimerRef timer = nullptr;
    ASSERT_EQ(InstallEventLoopTimer(
                  GetMainEventLoop(), 0.5, 0.5, [](EventLoopTimerRef, void* count) { ++*static_cast<int*>(count); },
                  &fired, &timer),
              noErr);
    EXPECT_EQ(Show(
                  kPaths[1], 3, [](WindowRef p) { return MessageBoxF(p, 0x110, "T", "M"); }, 2.0),
              kAnswerNo);
    EXPECT_EQ(fired, 3);  // at 0.5, 1.0 and 1.5 seconds; the answer comes first at 2.0
    RemoveEventLoopTimer(timer);
}

}  // namespace
}  // namespace tavrel_test
