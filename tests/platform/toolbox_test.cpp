#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/http.h"
#include "platform/toolbox_events.h"
#include "platform/toolbox_windows.h"
#include "support/fake_user.h"
#include "support/http_test_server.h"

namespace tavrel_test {
namespace {

struct Trace {
    std::vector<std::string> calls;
};

// A handler that notes its name and answers as told; "next" calls on.
struct Step {
    const char* name;
    const char* behaviour;  // "handle", "pass", "next", "dispose"
    Trace* trace;
    WindowRef window = nullptr;
};

OSStatus Handler(EventHandlerCallRef call, EventRef event, void* data)
{
    auto* step = static_cast<Step*>(data);
    step->trace->calls.push_back(step->name);
    std::string b = step->behaviour;
    if (b == "handle") return noErr;
    if (b == "next") return CallNextEventHandler(call, event);
    if (b == "dispose") DisposeWindow(step->window);
    return eventNotHandledErr;
}

WindowRef NewDocumentWindow()
{
    Rect r{40, 30, 240, 330};
    WindowRef w = nullptr;
    EXPECT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &r, &w), noErr);
    return w;
}

OSStatus SendTo(EventTargetRef target, UInt32 cls, UInt32 kind)
{
    EventRef e = nullptr;
    CreateEvent(nullptr, cls, kind, 0, 0, &e);
    OSStatus status = SendEventToEventTarget(e, target);
    ReleaseEvent(e);
    return status;
}

// Chains run control, window, application; each handler at most once.
TEST(ToolboxEvents, HandlerChains)
{
    struct Case {
        const char* name;
        const char* control;  // behaviour of the handler on the button
        const char* first;    // the newer window handler
        const char* second;   // the older window handler
        const char* app;
        std::vector<std::string> calls;
        OSStatus status;
    };
    const Case cases[] = {
        {"all pass", "pass", "pass", "pass", "pass", {"control", "first", "second", "app"}, eventNotHandledErr},
        {"window handles", "pass", "handle", "pass", "pass", {"control", "first"}, noErr},
        {"next runs the rest once", "next", "pass", "handle", "pass", {"control", "first", "second"}, noErr},
        {"window goes mid-chain", "pass", "dispose", "pass", "pass", {"control", "first", "app"}, eventNotHandledErr},
    };
    const EventTypeSpec type{FourCC("test"), 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Trace trace;
        WindowRef w = NewDocumentWindow();
        ControlRef button = nullptr;
        Rect r{0, 0, 20, 20};
        ASSERT_EQ(CreatePushButtonControl(w, &r, nullptr, &button), noErr);
        Step steps[] = {{"control", c.control, &trace, w},
                        {"second", c.second, &trace, w},
                        {"first", c.first, &trace, w},
                        {"app", c.app, &trace, w}};
        EventHandlerRef refs[4];
        InstallEventHandler(GetControlEventTarget(button), Handler, 1, &type, &steps[0], &refs[0]);
        InstallEventHandler(GetWindowEventTarget(w), Handler, 1, &type, &steps[1], &refs[1]);
        InstallEventHandler(GetWindowEventTarget(w), Handler, 1, &type, &steps[2], &refs[2]);
        InstallEventHandler(GetApplicationEventTarget(), Handler, 1, &type, &steps[3], &refs[3]);
        EXPECT_EQ(SendTo(GetControlEventTarget(button), type.eventClass, type.eventKind), c.status);
        EXPECT_EQ(trace.calls, c.calls);
        RemoveEventHandler(refs[3]);
        DisposeWindow(w);
        // The window's handlers went with it.
        EXPECT_EQ(RemoveEventHandler(refs[1]), paramErr);
    }
}

TEST(ToolboxHandles, StaleAndForeignReferencesAreRefused)
{
    WindowRef w = NewDocumentWindow();
    ControlRef c = nullptr;
    Rect r{0, 0, 10, 10};
    ASSERT_EQ(CreateUserPaneControl(w, &r, 0, &c), noErr);
    Rect bounds;
    EXPECT_EQ(GetWindowBounds(reinterpret_cast<WindowRef>(c), kWindowContentRgn, &bounds), errInvalidWindowRef);
    DisposeWindow(w);
    DisposeWindow(w);  // twice: nothing happens
    EXPECT_EQ(GetWindowBounds(w, kWindowContentRgn, &bounds), errInvalidWindowRef);
    ControlID id;
    EXPECT_EQ(GetControlID(c, &id), errUnknownControl);
    EXPECT_EQ(GetControlOwner(c), nullptr);
    EXPECT_EQ(RunAppModalLoopForWindow(w), errInvalidWindowRef);
}

TEST(ToolboxLoops, ModalLoopsNestAndEndWithTheirWindow)
{
    FakeUser user;
    WindowRef outer = NewDocumentWindow(), inner = NewDocumentWindow();
    std::vector<int> depths;
    user.Do([&] {
            depths.push_back(platform::LoopDepth());
            RunAppModalLoopForWindow(inner);  // ended by the next step
            depths.push_back(platform::LoopDepth());
            QuitAppModalLoopForWindow(outer);
        })
        .Do([&] {
            depths.push_back(platform::LoopDepth());
            DisposeWindow(inner);
        });
    EXPECT_EQ(RunAppModalLoopForWindow(outer), noErr);
    EXPECT_EQ(depths, (std::vector<int>{1, 2, 1}));
    DisposeWindow(outer);
}

TEST(ToolboxLoops, TimersRunOnTheVirtualClock)
{
    FakeUser user;
    std::vector<UInt32> ticks;
    auto note = [](EventLoopTimerRef, void* data) { static_cast<std::vector<UInt32>*>(data)->push_back(TickCount()); };
    UInt32 start = TickCount();
    EventLoopTimerRef once = nullptr, every = nullptr;
    ASSERT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 1.0, 0, note, &ticks, &once), noErr);
    ASSERT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 0.25, 0.5, note, &ticks, &every), noErr);
    EXPECT_EQ(InstallEventLoopTimer(GetMainEventLoop(), -1, 0, note, &ticks, nullptr), paramErr);
    user.Wait(1.5).Quit();
    RunApplicationEventLoop();
    for (UInt32& t : ticks) t -= start;
    EXPECT_EQ(ticks, (std::vector<UInt32>{15, 45, 60, 75}));
    RemoveEventLoopTimer(once);
    RemoveEventLoopTimer(every);
}

TEST(ToolboxLoops, LoopWithNothingLeftEndsAndIsReported)
{
    std::vector<std::string> faults;
    platform::ResetEventState();
    platform::SetStallHandler([&](const std::string& why) { faults.push_back(why); });
    RunApplicationEventLoop();
    EXPECT_EQ(faults.size(), 1u);
    EXPECT_EQ(platform::StallCount(), 1);
    EXPECT_EQ(platform::LoopDepth(), 0);
    platform::SetStallHandler(nullptr);
    platform::ResetEventState();
}

TEST(ToolboxLoops, LoopsMoveHttpTransfersOn)
{
    HttpTestServer server;
    ASSERT_TRUE(server.ok());
    FakeUser user;
    platform::HttpTransfer transfer;
    size_t received = 0;
    platform::HttpRequestSpec spec;
    spec.url = server.Url("/bytes/5000");
    ASSERT_TRUE(transfer.Start(
        spec,
        [&](const uint8_t*, size_t n) {
            received += n;
            return true;
        },
        [](const platform::HttpResult&) { QuitApplicationEventLoop(); }));
    RunApplicationEventLoop();
    EXPECT_EQ(received, 5000u);
    EXPECT_EQ(platform::StallCount(), 0);
}

}  // namespace
}  // namespace tavrel_test
