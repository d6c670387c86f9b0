#pragma once
// A scripted user for the headless toolbox: what a person would do (click,
// choose a menu item, close, move and resize windows, drop files, open
// documents, answer alerts and sheets, wait) queued in order. Inside an
// event loop each step runs when the program is idle; outside, Play() runs
// them. A loop left with nothing to do, or a prompt without a scripted
// answer, fails the test.
#include <functional>
#include <string>
#include <vector>

#include "platform/toolbox_events.h"
#include "platform/toolbox_menus.h"
#include "platform/toolbox_script.h"
#include "platform/toolbox_services.h"
#include "platform/toolbox_windows.h"

namespace tavrel_test {

class FakeUser {
public:
    // Which window a step acts on, decided when the step runs.
    using WindowPick = std::function<WindowRef()>;
    static WindowPick Front();
    static WindowPick Named(const std::string& nibName);
    static WindowPick Ref(const WindowRef* window);

    FakeUser();
    // Fails the test when scripted steps or answers were left unused.
    ~FakeUser();
    FakeUser(const FakeUser&) = delete;
    FakeUser& operator=(const FakeUser&) = delete;

    // The next step waits this long (virtual time) before it runs.
    FakeUser& Wait(double seconds);
    // Points are local to the window; the events carry global ones.
    FakeUser& Click(const WindowPick& window, int h, int v, UInt32 modifiers = 0,
                    UInt16 button = kEventMouseButtonPrimary);
    FakeUser& ClickControl(const WindowPick& window, OSType signature, SInt32 id);
    // A press held over several steps: down, drags with the button held, up.
    FakeUser& Press(const WindowPick& window, int h, int v);
    FakeUser& DragTo(const WindowPick& window, int h, int v);
    FakeUser& Release(const WindowPick& window, int h, int v);
    // One key by its virtual key code and character (arrows, deletes, Enter).
    FakeUser& PressKey(UInt16 keyCode, char charCode, UInt32 modifiers = 0);
    // Each character as a key down and up on the US layout, to the front window.
    FakeUser& Type(const std::string& text);
    FakeUser& ChooseMenuItem(MenuCommand command);
    FakeUser& Close(const WindowPick& window);
    FakeUser& MoveWindow(const WindowPick& window, int left, int top);
    FakeUser& ResizeWindow(const WindowPick& window, int left, int top, int width, int height);
    FakeUser& DropFiles(const WindowPick& window, int h, int v, const std::vector<platform::DragItemSpec>& items);
    FakeUser& OpenDocuments(const std::vector<platform::DocumentItem>& items);
    FakeUser& PressHotKey(OSType signature, UInt32 id);
    FakeUser& Quit();
    FakeUser& Do(std::function<void()> step);

    // Answers to prompts, taken in order as they appear.
    FakeUser& AnswerAlert(int button);
    FakeUser& AnswerOldAlert(int button);
    FakeUser& AnswerSheet(int button, double afterSeconds = 0);
    FakeUser& ChoosePopupItem(int item, int subItem = 0);
    // The colour picker: OK with this colour, or cancelled.
    FakeUser& PickColor(const RGBColor& color);
    FakeUser& CancelColorPicker();

    // Runs every queued step now (outside any loop); returns events dispatched.
    int Play();
    // One status per step that sends something: the dispatch status of its
    // first event, or the result of a drop or an Apple event.
    const std::vector<OSStatus>& Statuses() const { return statuses_; }

private:
    void Post(std::function<void()> step);
    void RecordAfterDelivery();
    void PostEvent(EventRef event, EventTargetRef target, bool record);
    void MouseStep(const WindowPick& window, UInt32 kind, int h, int v);
    void BoundsChange(const WindowPick& window, int left, int top, int width, int height);

    double nextDelay_ = 0;
    std::vector<OSStatus> statuses_;
};

}  // namespace tavrel_test
