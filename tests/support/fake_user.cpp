#include "support/fake_user.h"

#include "platform/toolbox_browser.h"

#include "platform/toolbox_controls.h"

#include <gtest/gtest.h>

#include <cctype>
#include "support/toolbox_log.h"

namespace tavrel_test {

namespace {

EventRef NewEvent(UInt32 cls, UInt32 kind)
{
    EventRef event = nullptr;
    CreateEvent(nullptr, cls, kind, GetCurrentEventTime(), 0, &event);
    return event;
}

// A window that the step needs but that is not there fails the test.
WindowRef Need(const FakeUser::WindowPick& pick, const char* step)
{
    WindowRef w = pick();
    if (!w) ADD_FAILURE() << "FakeUser: no window to " << step;
    return w;
}

// The control {signature, id} of the window a step acts on; a missing one
// fails the test.
ControlRef NeedControl(const FakeUser::WindowPick& pick, OSType signature, SInt32 id, const char* step)
{
    WindowRef w = Need(pick, step);
    ControlID cid{signature, id};
    ControlRef control = nullptr;
    if (!w || GetControlByID(w, &cid, &control) != noErr) {
        ADD_FAILURE() << "FakeUser: no control " << signature << "/" << id;
        return nullptr;
    }
    return control;
}

// A point local to the window's content, made global.
Point GlobalPoint(WindowRef w, int h, int v)
{
    Rect bounds;
    GetWindowBounds(w, kWindowContentRgn, &bounds);
    Point where;
    where.h = static_cast<int16_t>(bounds.left + h);
    where.v = static_cast<int16_t>(bounds.top + v);
    return where;
}

platform::ScriptedAnswer Answer(platform::PromptKind kind, int item)
{
    platform::ScriptedAnswer answer;
    answer.kind = kind;
    answer.item = item;
    return answer;
}

}  // namespace

FakeUser::WindowPick FakeUser::Front()
{
    return [] { return FrontWindow(); };
}

FakeUser::WindowPick FakeUser::Named(const std::string& nibName)
{
    return [nibName] { return platform::FindWindowByNibName(nibName); };
}

FakeUser::WindowPick FakeUser::Ref(const WindowRef* window)
{
    return [window] { return *window; };
}

FakeUser::FakeUser()
{
    platform::ResetEventState();
    platform::ClearScript();
    platform::ClearPromptLog();
    platform::SetStallHandler([](const std::string& why) { ADD_FAILURE() << "toolbox: " << why; });
}

FakeUser::~FakeUser()
{
    EXPECT_EQ(platform::PendingUserActions(), 0u) << "scripted steps were never taken";
    EXPECT_EQ(platform::PendingAnswers(), 0u) << "scripted answers were never asked for";
    platform::ResetEventState();
    platform::ClearScript();
    platform::ClearPromptLog();
    platform::SetStallHandler(nullptr);
}

void FakeUser::Post(std::function<void()> step)
{
    platform::PostUserAction(std::move(step), nextDelay_);
    nextDelay_ = 0;
}

void FakeUser::RecordAfterDelivery()
{
    platform::PostSystemAction([this] { statuses_.push_back(platform::LastDispatchStatus()); });
}

void FakeUser::PostEvent(EventRef event, EventTargetRef target, bool record)
{
    platform::PostEventTo(event, target);
    ReleaseEvent(event);
    if (record) RecordAfterDelivery();
}

FakeUser& FakeUser::Wait(double seconds)
{
    nextDelay_ += seconds;
    return *this;
}

FakeUser& FakeUser::Click(const WindowPick& window, int h, int v, UInt32 modifiers, UInt16 button)
{
    Post([=, this] {
        WindowRef w = Need(window, "click in");
        if (!w) return;
        Point where = GlobalPoint(w, h, v);
        for (UInt32 kind : {kEventMouseDown, kEventMouseUp}) {
            EventRef e = NewEvent(kEventClassMouse, kind);
            SetEventParameter(e, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
            SetEventParameter(e, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
            SetEventParameter(e, kEventParamMouseButton, typeMouseButton, sizeof button, &button);
            PostEvent(e, GetWindowEventTarget(w), kind == kEventMouseDown);
        }
    });
    return *this;
}

FakeUser& FakeUser::ClickControl(const WindowPick& window, OSType signature, SInt32 id)
{
    Post([=, this] {
        ControlRef control = NeedControl(window, signature, id, "click a control of");
        if (!control) return;
        WindowRef w = GetControlOwner(control);
        Rect r;
        GetControlBounds(control, &r);
        Point where = GlobalPoint(w, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
        for (UInt32 kind : {kEventMouseDown, kEventMouseUp}) {
            EventRef e = NewEvent(kEventClassMouse, kind);
            SetEventParameter(e, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
            PostEvent(e, GetWindowEventTarget(w), kind == kEventMouseDown);
        }
    });
    return *this;
}

void FakeUser::MouseStep(const WindowPick& window, UInt32 kind, int h, int v)
{
    Post([=, this] {
        WindowRef w = Need(window, "press the mouse in");
        if (!w) return;
        Point where = GlobalPoint(w, h, v);
        EventRef e = NewEvent(kEventClassMouse, kind);
        SetEventParameter(e, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
        PostEvent(e, GetWindowEventTarget(w), kind == kEventMouseDown);
    });
}

FakeUser& FakeUser::Press(const WindowPick& window, int h, int v)
{
    MouseStep(window, kEventMouseDown, h, v);
    return *this;
}

FakeUser& FakeUser::DragTo(const WindowPick& window, int h, int v)
{
    MouseStep(window, kEventMouseDragged, h, v);
    return *this;
}

FakeUser& FakeUser::Release(const WindowPick& window, int h, int v)
{
    MouseStep(window, kEventMouseUp, h, v);
    return *this;
}

FakeUser& FakeUser::PressKey(UInt16 keyCode, char charCode, UInt32 modifiers)
{
    Post([=, this] {
        WindowRef w = Need(Front(), "press a key in");
        if (!w) return;
        UInt32 code = keyCode;
        for (UInt32 kind : {kEventRawKeyDown, kEventRawKeyUp}) {
            EventRef e = NewEvent(kEventClassKeyboard, kind);
            SetEventParameter(e, kEventParamKeyMacCharCodes, typeChar, 1, &charCode);
            SetEventParameter(e, kEventParamKeyCode, typeUInt32, sizeof code, &code);
            SetEventParameter(e, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
            PostEvent(e, GetWindowEventTarget(w), kind == kEventRawKeyDown);
        }
    });
    return *this;
}

FakeUser& FakeUser::Type(const std::string& text)
{
    Post([=, this] {
        WindowRef w = Need(Front(), "type in");
        if (!w) return;
        const void* layout = reinterpret_cast<const void*>(GetScriptManagerVariable(smKCHRCache));
        for (char ch : text) {
            // The key that gives the character, shifted for capitals.
            char plain = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            UInt32 modifiers = plain != ch ? shiftKey : 0;
            UInt32 code = 128;
            for (UInt16 k = 0; k < 128 && code == 128; ++k) {
                UInt32 state = 0;
                if (static_cast<char>(KeyTranslate(layout, k, &state)) == plain) code = k;
            }
            if (code == 128) {
                ADD_FAILURE() << "FakeUser: no key types '" << ch << "'";
                return;
            }
            for (UInt32 kind : {kEventRawKeyDown, kEventRawKeyUp}) {
                EventRef e = NewEvent(kEventClassKeyboard, kind);
                SetEventParameter(e, kEventParamKeyMacCharCodes, typeChar, 1, &ch);
                SetEventParameter(e, kEventParamKeyCode, typeUInt32, sizeof code, &code);
                SetEventParameter(e, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
                PostEvent(e, GetWindowEventTarget(w), kind == kEventRawKeyDown);
            }
        }
    });
    return *this;
}

FakeUser& FakeUser::ChooseMenuItem(MenuCommand command)
{
    Post([=, this] {
        MenuRef menu = nullptr;
        MenuItemIndex item = 0;
        if (!platform::FindMenuCommand(command, &menu, &item) || !IsMenuItemEnabled(menu, item)) {
            ADD_FAILURE() << "FakeUser: no enabled menu item for command " << command;
            return;
        }
        HICommand hc;
        hc.attributes = kHICommandFromMenu;
        hc.commandID = command;
        hc.menu.menuRef = menu;
        hc.menu.menuItemIndex = item;
        EventRef e = NewEvent(kEventClassCommand, kEventCommandProcess);
        SetEventParameter(e, kEventParamDirectObject, typeHICommand, sizeof hc, &hc);
        PostEvent(e, GetApplicationEventTarget(), true);
    });
    return *this;
}

FakeUser& FakeUser::Close(const WindowPick& window)
{
    Post([=, this] {
        WindowRef w = Need(window, "close");
        if (!w) return;
        EventRef e = NewEvent(kEventClassWindow, kEventWindowClose);
        SetEventParameter(e, kEventParamDirectObject, typeWindowRef, sizeof w, &w);
        PostEvent(e, GetWindowEventTarget(w), true);
    });
    return *this;
}

void FakeUser::BoundsChange(const WindowPick& window, int left, int top, int width, int height)
{
    Post([=, this] {
        WindowRef w = Need(window, "move or resize");
        if (!w) return;
        Rect previous, current;
        GetWindowBounds(w, kWindowContentRgn, &previous);
        current.left = static_cast<int16_t>(left);
        current.top = static_cast<int16_t>(top);
        current.right = static_cast<int16_t>(left + (width < 0 ? RectWidth(previous) : width));
        current.bottom = static_cast<int16_t>(top + (height < 0 ? RectHeight(previous) : height));
        EventRef changing = NewEvent(kEventClassWindow, kEventWindowBoundsChanging);
        SetEventParameter(changing, kEventParamCurrentBounds, typeQDRectangle, sizeof current, &current);
        PostEvent(changing, GetWindowEventTarget(w), false);
        platform::PostSystemAction([w, current] { SetWindowBounds(w, kWindowContentRgn, &current); });
        EventRef changed = NewEvent(kEventClassWindow, kEventWindowBoundsChanged);
        SetEventParameter(changed, kEventParamOriginalBounds, typeQDRectangle, sizeof previous, &previous);
        SetEventParameter(changed, kEventParamCurrentBounds, typeQDRectangle, sizeof current, &current);
        PostEvent(changed, GetWindowEventTarget(w), true);
    });
}

FakeUser& FakeUser::MoveWindow(const WindowPick& window, int left, int top)
{
    BoundsChange(window, left, top, -1, -1);
    return *this;
}

FakeUser& FakeUser::ResizeWindow(const WindowPick& window, int left, int top, int width, int height)
{
    BoundsChange(window, left, top, width, height);
    return *this;
}

FakeUser& FakeUser::DropFiles(const WindowPick& window, int h, int v, const std::vector<platform::DragItemSpec>& items)
{
    Post([=, this] {
        WindowRef w = Need(window, "drop on");
        if (!w) return;
        statuses_.push_back(platform::DropOnWindow(w, GlobalPoint(w, h, v), items));
    });
    return *this;
}

FakeUser& FakeUser::OpenDocuments(const std::vector<platform::DocumentItem>& items)
{
    Post([=, this] { statuses_.push_back(platform::SendOpenDocuments(items)); });
    return *this;
}

FakeUser& FakeUser::PressHotKey(OSType signature, UInt32 id)
{
    Post([=, this] {
        EventHotKeyID key{signature, id};
        EventRef e = NewEvent(kEventClassKeyboard, kEventHotKeyPressed);
        SetEventParameter(e, kEventParamDirectObject, typeEventHotKeyID, sizeof key, &key);
        PostEvent(e, GetApplicationEventTarget(), true);
    });
    return *this;
}

FakeUser& FakeUser::Quit()
{
    Post([this] { PostEvent(NewEvent(kEventClassApplication, kEventAppQuit), GetApplicationEventTarget(), true); });
    return *this;
}

FakeUser& FakeUser::Do(std::function<void()> step)
{
    Post(std::move(step));
    return *this;
}

FakeUser& FakeUser::ChooseListRow(const WindowPick& window, OSType signature, SInt32 id, int row)
{
    Post([=] {
        ControlRef control = NeedControl(window, signature, id, "choose a row in");
        if (!control) return;
        const DataBrowserItemID item = static_cast<DataBrowserItemID>(row + 1);
        SetDataBrowserSelectedItems(control, 1, &item, kDataBrowserItemsAssign);
    });
    return *this;
}

FakeUser& FakeUser::PickInFontPanel(SInt16 family, SInt16 style, SInt16 size)
{
    Post([=, this] {
        const OSStatus status = platform::PostFontPanelPick(&family, &style, &size);
        if (status != noErr) {
            ADD_FAILURE() << "FakeUser: the Font Panel is not showing";
            statuses_.push_back(status);
            return;
        }
        RecordAfterDelivery();
    });
    return *this;
}

FakeUser& FakeUser::AnswerAlert(int button)
{
    platform::QueueAnswer(Answer(platform::PromptKind::Alert, button));
    return *this;
}

FakeUser& FakeUser::AnswerOldAlert(int button)
{
    platform::QueueAnswer(Answer(platform::PromptKind::OldAlert, button));
    return *this;
}

FakeUser& FakeUser::AnswerSheet(int button, double afterSeconds)
{
    platform::ScriptedAnswer answer = Answer(platform::PromptKind::Sheet, button);
    answer.delaySeconds = afterSeconds;
    platform::QueueAnswer(answer);
    return *this;
}

FakeUser& FakeUser::ChoosePopupItem(int item, int subItem)
{
    platform::ScriptedAnswer answer = Answer(platform::PromptKind::PopupMenu, item);
    answer.subItem = subItem;
    platform::QueueAnswer(answer);
    return *this;
}

FakeUser& FakeUser::PickColor(const RGBColor& color)
{
    platform::ScriptedAnswer answer = Answer(platform::PromptKind::ColorPicker, 1);
    answer.color = color;
    platform::QueueAnswer(answer);
    return *this;
}

FakeUser& FakeUser::CancelColorPicker()
{
    platform::QueueAnswer(Answer(platform::PromptKind::ColorPicker, 2));
    return *this;
}

FakeUser& FakeUser::ChooseFiles(const std::string& folder, const std::vector<std::string>& names, int popupIndex)
{
    platform::ScriptedAnswer answer = Answer(platform::PromptKind::FileDialog, 1);
    answer.texts.push_back(folder);
    answer.texts.insert(answer.texts.end(), names.begin(), names.end());
    answer.popupIndex = popupIndex;
    platform::QueueAnswer(answer);
    return *this;
}

FakeUser& FakeUser::CancelFileDialog(const std::string& folder, int popupIndex)
{
    platform::ScriptedAnswer answer = Answer(platform::PromptKind::FileDialog, 2);
    answer.texts.push_back(folder);
    answer.popupIndex = popupIndex;
    platform::QueueAnswer(answer);
    return *this;
}

int FakeUser::Play()
{
    return platform::RunUntilIdle();
}

}  // namespace tavrel_test
