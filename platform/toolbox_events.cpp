#include "platform/toolbox_events.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <unordered_map>

#include "platform/http.h"
#include "platform/toolbox_objects.h"

using namespace platform::toolbox;

namespace {

struct EventObj : Object {
    UInt32 eventClass = 0;
    UInt32 eventKind = 0;
    int refCount = 1;
    struct Param {
        EventParamType type;
        std::vector<uint8_t> bytes;
    };
    std::map<EventParamName, Param> params;
};

std::shared_ptr<EventObj> FindEvent(EventRef e)
{
    return Find<EventObj>(Kind::Event, e);
}

std::unordered_map<uintptr_t, std::shared_ptr<Target>> g_postTargets;  // event id -> where it goes
OSStatus g_lastDispatchStatus = noErr;

std::shared_ptr<Target> FindTarget(EventTargetRef t)
{
    return Find<Target>(Kind::Target, t);
}

}  // namespace

// ---- Events

OSStatus CreateEvent(void*, UInt32 eventClass, UInt32 eventKind, EventTime, UInt32, EventRef* out)
{
    if (!out) return paramErr;
    auto e = std::make_shared<EventObj>();
    e->eventClass = eventClass;
    e->eventKind = eventKind;
    *out = RefOf<EventRef>(Register(Kind::Event, e));
    return noErr;
}

EventRef RetainEvent(EventRef event)
{
    if (auto e = FindEvent(event)) ++e->refCount;
    return event;
}

void ReleaseEvent(EventRef event)
{
    auto e = FindEvent(event);
    if (e && --e->refCount <= 0) {
        g_postTargets.erase(e->id);
        Unregister(e->id);
    }
}

UInt32 GetEventClass(EventRef event)
{
    auto e = FindEvent(event);
    return e ? e->eventClass : 0;
}

UInt32 GetEventKind(EventRef event)
{
    auto e = FindEvent(event);
    return e ? e->eventKind : 0;
}

OSStatus SetEventParameter(EventRef event, EventParamName name, EventParamType type, UInt32 size, const void* data)
{
    auto e = FindEvent(event);
    if (!e || (size && !data)) return paramErr;
    const auto* bytes = static_cast<const uint8_t*>(data);
    e->params[name] = EventObj::Param{type, std::vector<uint8_t>(bytes, bytes + size)};
    return noErr;
}

OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType, EventParamType* actualType,
                           UInt32 bufferSize, UInt32* actualSize, void* data)
{
    auto e = FindEvent(event);
    if (!e) return paramErr;
    auto it = e->params.find(name);
    if (it == e->params.end()) return eventParameterNotFoundErr;
    if (desiredType != typeWildCard && desiredType != it->second.type) return errAECoercionFail;
    if (actualType) *actualType = it->second.type;
    const auto& bytes = it->second.bytes;
    if (actualSize) *actualSize = static_cast<UInt32>(bytes.size());
    if (data) std::memcpy(data, bytes.data(), std::min<size_t>(bufferSize, bytes.size()));
    return noErr;
}

// ---- Targets and handlers

namespace {

std::shared_ptr<Target>& AppTarget()
{
    static std::shared_ptr<Target> t = NewTarget(Target::Owner::Application, 0);
    return t;
}

std::shared_ptr<Target>& DispatcherTarget()
{
    static std::shared_ptr<Target> t = NewTarget(Target::Owner::Dispatcher, 0);
    return t;
}

// One step of a dispatch: a handler, or a target's standard handler.
struct Step {
    std::shared_ptr<HandlerRec> handler;
    WindowRef standardWindow = nullptr;
    bool standardApplication = false;
    ControlRef standardControl = nullptr;
};

struct Chain : Object {
    std::vector<Step> steps;
    size_t next = 0;
};

// The targets an event sent to target passes through, in order, with the
// standard handler after each window and after the application.
std::vector<Step> BuildChain(const std::shared_ptr<Target>& first, UInt32 cls, UInt32 kind)
{
    std::vector<Step> steps;
    auto addHandlers = [&](const std::shared_ptr<Target>& t) {
        if (!t) return;
        for (const auto& h : t->handlers)
            if (h->Wants(cls, kind)) steps.push_back(Step{h});
    };
    std::shared_ptr<Target> t = first;
    while (t) {
        addHandlers(t);
        std::shared_ptr<Target> next;
        if (t->owner == Target::Owner::Control) {
            auto c = FindControl(RefOf<ControlRef>(t->ownerId));
            if (!c) break;
            if (cls == kEventClassKeyboard) steps.push_back(Step{nullptr, nullptr, false, RefOf<ControlRef>(c->id)});
            if (auto parent = FindControl(c->parent))
                next = parent->target;
            else if (auto w = FindWindow(c->owner))
                next = w->target;
        } else if (t->owner == Target::Owner::Window) {
            auto w = FindWindow(RefOf<WindowRef>(t->ownerId));
            if (w && (w->attributes & kWindowStandardHandlerAttribute))
                steps.push_back(Step{nullptr, RefOf<WindowRef>(w->id)});
            next = AppTarget();
        } else if (t->owner == Target::Owner::Application) {
            steps.push_back(Step{nullptr, nullptr, true});
        }
        t = next;
    }
    return steps;
}

OSStatus RunSteps(Chain& chain, EventRef event)
{
    while (chain.next < chain.steps.size()) {
        Step step = chain.steps[chain.next++];
        OSStatus status = eventNotHandledErr;
        if (step.handler) {
            // A handler removed, or whose target went, during this dispatch is skipped.
            if (!step.handler->alive) continue;
            status = step.handler->proc(RefOf<EventHandlerCallRef>(chain.id), event, step.handler->userData);
        } else if (step.standardWindow) {
            if (!FindWindow(step.standardWindow)) continue;
            status = StandardWindowHandler(step.standardWindow, event);
        } else if (step.standardApplication) {
            status = StandardApplicationHandler(event);
        } else if (step.standardControl) {
            if (!FindControl(step.standardControl)) continue;
            status = StandardControlHandler(step.standardControl, event);
        }
        if (status != eventNotHandledErr) {
            chain.next = chain.steps.size();
            return status;
        }
    }
    return eventNotHandledErr;
}

}  // namespace

EventTargetRef GetApplicationEventTarget()
{
    return RefOf<EventTargetRef>(AppTarget()->id);
}
EventTargetRef GetEventDispatcherTarget()
{
    return RefOf<EventTargetRef>(DispatcherTarget()->id);
}

EventTargetRef GetWindowEventTarget(WindowRef window)
{
    auto w = FindWindow(window);
    return w ? RefOf<EventTargetRef>(w->target->id) : nullptr;
}

EventTargetRef GetControlEventTarget(ControlRef control)
{
    auto c = FindControl(control);
    return c ? RefOf<EventTargetRef>(c->target->id) : nullptr;
}

EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr proc)
{
    return proc;
}
void DisposeEventHandlerUPP(EventHandlerUPP) {}

OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, UInt32 numTypes, const EventTypeSpec* list,
                             void* userData, EventHandlerRef* out)
{
    auto t = FindTarget(target);
    if (!t || !handler || (numTypes && !list)) return paramErr;
    auto h = std::make_shared<HandlerRec>();
    h->target = t;
    h->proc = handler;
    h->types.assign(list, list + numTypes);
    h->userData = userData;
    uintptr_t id = Register(Kind::Handler, h);
    t->handlers.insert(t->handlers.begin(), h);
    if (out) *out = RefOf<EventHandlerRef>(id);
    return noErr;
}

OSStatus RemoveEventHandler(EventHandlerRef handler)
{
    auto h = Find<HandlerRec>(Kind::Handler, handler);
    if (!h) return paramErr;
    if (auto t = h->target.lock()) std::erase(t->handlers, h);
    Unregister(h->id);
    return noErr;
}

OSStatus CallNextEventHandler(EventHandlerCallRef call, EventRef event)
{
    auto chain = Find<Chain>(Kind::Call, call);
    if (!chain) return paramErr;
    return RunSteps(*chain, event);
}

namespace {

WindowRef InnermostModalWindow();

// The window a target belongs to; null for the application and the dispatcher.
WindowRef WindowOfTarget(const std::shared_ptr<Target>& t)
{
    if (t->owner == Target::Owner::Window) return RefOf<WindowRef>(t->ownerId);
    if (t->owner == Target::Owner::Control)
        if (auto c = FindControl(RefOf<ControlRef>(t->ownerId))) return c->owner;
    return nullptr;
}

// While an app-modal loop runs, the user's clicks, keys and commands reach
// only its window; the menu bar is disabled, as for any modal window.
bool BlockedByModal(const EventObj& e, const std::shared_ptr<Target>& t)
{
    if (e.eventClass != kEventClassMouse && e.eventClass != kEventClassKeyboard && e.eventClass != kEventClassCommand)
        return false;
    WindowRef modal = InnermostModalWindow();
    if (!modal) return false;
    return WindowOfTarget(t) != modal;
}

}  // namespace

OSStatus SendEventToEventTarget(EventRef event, EventTargetRef target)
{
    auto e = FindEvent(event);
    auto t = FindTarget(target);
    if (!e || !t) return paramErr;
    if (t->owner == Target::Owner::Dispatcher) {
        auto it = g_postTargets.find(e->id);
        t = it != g_postTargets.end() ? it->second : AppTarget();
        // The posted target may have gone while the event waited.
        if (!t->alive) return eventNotHandledErr;
        if (BlockedByModal(*e, t)) return eventNotHandledErr;
    }
    if (e->eventClass == kEventClassMouse) NoteMouseEvent(event);
    // Keys go to the window's focused control first, as typed.
    if (e->eventClass == kEventClassKeyboard && t->owner == Target::Owner::Window &&
        e->eventKind != kEventHotKeyPressed)
        if (ControlRef focus = KeyboardFocusOf(RefOf<WindowRef>(t->ownerId)))
            if (auto fc = FindControl(focus)) t = fc->target;
    auto chain = std::make_shared<Chain>();
    chain->steps = BuildChain(t, e->eventClass, e->eventKind);
    // A press reaches the handlers of the control under it first (a link
    // text opens its URL), then goes on to its window as before.
    if (e->eventClass == kEventClassMouse && e->eventKind == kEventMouseDown && t->owner == Target::Owner::Window)
        if (ControlRef hit = ControlUnderMouse(RefOf<WindowRef>(t->ownerId), event))
            if (auto hc = FindControl(hit); hc && hc->target) {
                std::vector<Step> own;
                for (const auto& h : hc->target->handlers)
                    if (h->Wants(e->eventClass, e->eventKind)) own.push_back(Step{h});
                chain->steps.insert(chain->steps.begin(), own.begin(), own.end());
            }
    Register(Kind::Call, chain);
    RetainEvent(event);
    OSStatus status = RunSteps(*chain, event);
    ReleaseEvent(event);
    Unregister(chain->id);
    return status;
}

// ---- Loops, queue, timers and the clock

namespace {

struct Queued {
    double due = 0;
    uint64_t seq = 0;
    EventRef event = nullptr;
    std::function<void()> action;
};

struct UserAction {
    std::function<void()> action;
    double delay = 0;
    double due = -1;  // fixed once a loop has waited for it
};

struct TimerObj : Object {
    double due = 0;
    double interval = 0;
    EventLoopTimerUPP proc = nullptr;
    void* userData = nullptr;
};

struct Loop {
    WindowRef modalWindow = nullptr;  // null for the application loop
    bool quit = false;
};

double g_now = 0;  // seconds on the virtual clock
uint64_t g_seq = 0;
std::deque<Queued> g_queue;
std::deque<UserAction> g_userActions;
std::vector<std::shared_ptr<TimerObj>> g_timers;
std::vector<Loop*> g_loops;
std::function<void(const std::string&)> g_stallHandler;
int g_stalls = 0;

// A loop that sees only repeating timers for this long is stuck.
constexpr double kIdleLimitSeconds = 3600;

std::deque<Queued>::iterator EarliestQueued()
{
    return std::min_element(g_queue.begin(), g_queue.end(), [](const Queued& a, const Queued& b) {
        return a.due != b.due ? a.due < b.due : a.seq < b.seq;
    });
}

std::shared_ptr<TimerObj> EarliestTimer()
{
    std::shared_ptr<TimerObj> best;
    for (const auto& t : g_timers)
        if (t->alive && t->due >= 0 && (!best || t->due < best->due)) best = t;
    return best;
}

void FireTimer(const std::shared_ptr<TimerObj>& t)
{
    if (t->interval > 0)
        t->due += t->interval;
    else
        t->due = -1;  // a one-shot timer stays installed, idle
    t->proc(RefOf<EventLoopTimerRef>(t->id), t->userData);
}

void EndAllLoops()
{
    for (Loop* l : g_loops) l->quit = true;
}

void Stall(const std::string& why)
{
    ++g_stalls;
    EndAllLoops();
    if (g_stallHandler) g_stallHandler(why);
}

WindowRef InnermostModalWindow()
{
    if (g_loops.empty()) return nullptr;
    WindowRef modal = g_loops.back()->modalWindow;
    return modal && FindWindow(modal) ? modal : nullptr;
}

bool CurrentLoopEnding()
{
    if (g_loops.empty()) return false;
    Loop* l = g_loops.back();
    return l->quit || (l->modalWindow && !FindWindow(l->modalWindow));
}

// One step of waiting: delivers the next thing due, moving the clock on to
// it. Returns an event for the caller to dispatch (retained), or null after
// running something itself. Sets *idle when nothing at all is left.
EventRef StepOnce(double deadline, bool* timedOut, bool* idle, bool* progressed)
{
    *timedOut = false;
    *idle = false;
    *progressed = true;
    int running = platform::PumpHttpTransfers(0);
    double next = -1;
    enum class What { None, Queued, Timer, User } what = What::None;
    auto q = EarliestQueued();
    if (q != g_queue.end()) {
        next = std::max(q->due, g_now);
        what = What::Queued;
    }
    auto timer = EarliestTimer();
    if (timer && (what == What::None || timer->due < next)) {
        next = std::max(timer->due, g_now);
        what = What::Timer;
    }
    if (!g_userActions.empty()) {
        UserAction& u = g_userActions.front();
        // The user's pause starts when the program is first found idle.
        if (u.due < 0) u.due = g_now + u.delay;
        double due = u.due;
        if (what == What::None || due < next) {
            next = due;
            what = What::User;
        }
    }
    if (running > 0 && (what == What::None || next > g_now)) {
        // Real network traffic is waited for in real time, a little at a
        // time; the clock keeps pace so that timers still fire meanwhile.
        constexpr double kSlice = 0.02;
        platform::PumpHttpTransfers(static_cast<int>(kSlice * 1000));
        g_now = what == What::None ? g_now + kSlice : std::min(next, g_now + kSlice);
        return nullptr;
    }
    if (what == What::None) {
        *idle = true;
        return nullptr;
    }
    if (deadline >= 0 && next > deadline) {
        g_now = std::max(g_now, deadline);
        *timedOut = true;
        return nullptr;
    }
    g_now = std::max(g_now, next);
    switch (what) {
        case What::Queued: {
            Queued item = std::move(*q);
            g_queue.erase(q);
            if (item.event) return item.event;
            item.action();
            return nullptr;
        }
        case What::Timer:
            *progressed = false;
            FireTimer(timer);
            return nullptr;
        case What::User: {
            auto action = std::move(g_userActions.front().action);
            g_userActions.pop_front();
            action();
            return nullptr;
        }
        case What::None:
            break;
    }
    return nullptr;
}

OSStatus DispatchQueued(EventRef event)
{
    g_lastDispatchStatus = SendEventToEventTarget(event, GetEventDispatcherTarget());
    ReleaseEvent(event);
    return g_lastDispatchStatus;
}

}  // namespace

OSStatus ReceiveNextEvent(UInt32, const EventTypeSpec*, EventTimeout timeout, bool pullEvent, EventRef* out)
{
    if (out) *out = nullptr;
    double deadline = timeout < 0 ? -1 : g_now + timeout;
    double idleSince = g_now;
    for (;;) {
        if (CurrentLoopEnding()) return eventLoopQuitErr;
        bool timedOut = false, idle = false, progressed = false;
        EventRef event = StepOnce(deadline, &timedOut, &idle, &progressed);
        if (event) {
            if (pullEvent && out) {
                *out = event;
            } else {
                // Left in the queue for the next caller.
                g_queue.push_front(Queued{g_now, 0, event, {}});
            }
            return noErr;
        }
        if (timedOut || (deadline >= 0 && g_now >= deadline && !idle)) return eventLoopTimedOutErr;
        if (idle) {
            if (deadline >= 0) {
                g_now = std::max(g_now, deadline);
                return eventLoopTimedOutErr;
            }
            Stall("an event loop waits with nothing left to happen");
            return eventLoopQuitErr;
        }
        if (progressed)
            idleSince = g_now;
        else if (g_now - idleSince > kIdleLimitSeconds) {
            Stall("an event loop runs only timers for an hour");
            return eventLoopQuitErr;
        }
    }
}

namespace {

void RunLoop(Loop& loop)
{
    g_loops.push_back(&loop);
    for (;;) {
        EventRef event = nullptr;
        OSStatus status = ReceiveNextEvent(0, nullptr, kEventDurationForever, true, &event);
        if (status == eventLoopQuitErr) break;
        if (status == noErr && event) DispatchQueued(event);
    }
    g_loops.pop_back();
}

}  // namespace

void RunApplicationEventLoop()
{
    Loop loop;
    RunLoop(loop);
}

void QuitApplicationEventLoop()
{
    for (Loop* l : g_loops)
        if (!l->modalWindow) {
            l->quit = true;
            return;
        }
}

OSStatus RunAppModalLoopForWindow(WindowRef window)
{
    if (!FindWindow(window)) return errInvalidWindowRef;
    Loop loop;
    loop.modalWindow = window;
    RunLoop(loop);
    return noErr;
}

OSStatus QuitAppModalLoopForWindow(WindowRef window)
{
    if (!FindWindow(window)) return errInvalidWindowRef;
    for (auto it = g_loops.rbegin(); it != g_loops.rend(); ++it)
        if ((*it)->modalWindow == window) {
            (*it)->quit = true;
            break;
        }
    return noErr;
}

EventLoopTimerUPP NewEventLoopTimerUPP(EventLoopTimerProcPtr proc)
{
    return proc;
}
void DisposeEventLoopTimerUPP(EventLoopTimerUPP) {}

void* GetMainEventLoop()
{
    static int mainLoop;
    return &mainLoop;
}

OSStatus InstallEventLoopTimer(void*, EventTimerInterval fireDelay, EventTimerInterval interval, EventLoopTimerUPP proc,
                               void* userData, EventLoopTimerRef* out)
{
    if (!proc || fireDelay < 0 || interval < 0 || !std::isfinite(fireDelay) || !std::isfinite(interval))
        return paramErr;
    auto t = std::make_shared<TimerObj>();
    t->due = g_now + fireDelay;
    t->interval = interval;
    t->proc = proc;
    t->userData = userData;
    uintptr_t id = Register(Kind::Timer, t);
    g_timers.push_back(t);
    if (out) *out = RefOf<EventLoopTimerRef>(id);
    return noErr;
}

OSStatus RemoveEventLoopTimer(EventLoopTimerRef timer)
{
    auto t = Find<TimerObj>(Kind::Timer, timer);
    if (!t) return paramErr;
    Unregister(t->id);
    std::erase(g_timers, t);
    return noErr;
}

UInt32 TickCount()
{
    return static_cast<UInt32>(std::floor(g_now * 60.0 + 1e-9));
}
EventTime GetCurrentEventTime()
{
    return g_now;
}

namespace platform {

OSStatus PostEventTo(EventRef event, EventTargetRef target, double delaySeconds)
{
    auto t = FindTarget(target);
    if (!FindEvent(event) || !t || delaySeconds < 0) return paramErr;
    RetainEvent(event);
    g_postTargets[reinterpret_cast<uintptr_t>(event)] = t;
    g_queue.push_back(Queued{g_now + delaySeconds, ++g_seq, event, {}});
    return noErr;
}

EventRef TakeQueuedEvent(UInt32 eventClass, UInt32 eventKind)
{
    auto it = std::find_if(g_queue.begin(), g_queue.end(), [&](const Queued& q) {
        return q.event && q.due <= g_now && GetEventClass(q.event) == eventClass && GetEventKind(q.event) == eventKind;
    });
    if (it == g_queue.end()) return nullptr;
    EventRef event = it->event;
    g_postTargets.erase(reinterpret_cast<uintptr_t>(event));
    g_queue.erase(it);
    return event;
}

void PostSystemAction(std::function<void()> action, double delaySeconds)
{
    g_queue.push_back(Queued{g_now + std::max(0.0, delaySeconds), ++g_seq, nullptr, std::move(action)});
}

void PostUserAction(std::function<void()> action, double delaySeconds)
{
    g_userActions.push_back(UserAction{std::move(action), std::max(0.0, delaySeconds)});
}

size_t PendingUserActions()
{
    return g_userActions.size();
}

int RunUntilIdle()
{
    int dispatched = 0;
    for (;;) {
        bool timedOut = false, idle = false, progressed = false;
        // Repeating timers alone do not keep this going.
        if (g_queue.empty() && g_userActions.empty() && platform::PumpHttpTransfers(0) == 0) break;
        EventRef event = StepOnce(-1, &timedOut, &idle, &progressed);
        if (idle) break;
        if (event) {
            DispatchQueued(event);
            ++dispatched;
        }
    }
    return dispatched;
}

OSStatus LastDispatchStatus()
{
    return g_lastDispatchStatus;
}

void AdvanceClock(double seconds)
{
    double end = g_now + std::max(0.0, seconds);
    for (;;) {
        auto t = EarliestTimer();
        if (!t || t->due > end) break;
        g_now = std::max(g_now, t->due);
        FireTimer(t);
    }
    g_now = end;
}

int LoopDepth()
{
    return static_cast<int>(g_loops.size());
}

void SetStallHandler(std::function<void(const std::string&)> handler)
{
    g_stallHandler = std::move(handler);
}

int StallCount()
{
    return g_stalls;
}

void ReportToolboxFault(const std::string& what)
{
    Stall(what);
}

void ResetEventState()
{
    for (auto& q : g_queue)
        if (q.event) ReleaseEvent(q.event);
    g_queue.clear();
    g_userActions.clear();
    for (auto& t : g_timers) Unregister(t->id);
    g_timers.clear();
    g_stalls = 0;
    g_lastDispatchStatus = noErr;
}

}  // namespace platform
