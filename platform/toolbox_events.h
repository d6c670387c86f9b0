#pragma once
// Stand-in for the Carbon Event Manager: events with a class, a kind and
// typed parameters; targets (the application, windows, controls) with
// handler chains; the application loop, nested modal loops and timers on a
// virtual clock. Nothing waits for real time: a loop with nothing left to
// do calls the stall handler and ends every loop.
#include <functional>
#include <string>

#include "platform/toolbox_types.h"

// ---- Events
OSStatus CreateEvent(void* allocator, UInt32 eventClass, UInt32 eventKind, EventTime when, UInt32 attributes,
                     EventRef* out);
EventRef RetainEvent(EventRef event);
void ReleaseEvent(EventRef event);
UInt32 GetEventClass(EventRef event);
UInt32 GetEventKind(EventRef event);
OSStatus SetEventParameter(EventRef event, EventParamName name, EventParamType type, UInt32 size, const void* data);
// The parameter's bytes, at most bufferSize of them; eventParameterNotFoundErr
// when absent, errAECoercionFail when stored as another type (typeWildCard
// takes any).
OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType, EventParamType* actualType,
                           UInt32 bufferSize, UInt32* actualSize, void* data);

// ---- Targets and handlers
EventTargetRef GetApplicationEventTarget();
EventTargetRef GetEventDispatcherTarget();
EventTargetRef GetWindowEventTarget(WindowRef window);
EventTargetRef GetControlEventTarget(ControlRef control);
EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr proc);
void DisposeEventHandlerUPP(EventHandlerUPP upp);
OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, UInt32 numTypes, const EventTypeSpec* list,
                             void* userData, EventHandlerRef* out);
OSStatus RemoveEventHandler(EventHandlerRef handler);
// Removes an installed handler and frees its UPP, leaving both null; either
// may already be null.
inline void RemoveInstalledHandler(EventHandlerUPP* upp, EventHandlerRef* ref)
{
    if (*ref) RemoveEventHandler(*ref);
    if (*upp) DisposeEventHandlerUPP(*upp);
    *ref = nullptr;
    *upp = nullptr;
}
// Runs the rest of the chain of the event being handled: later handlers of
// the same target, then the targets it passes events on to and their
// standard handlers. Each handler runs at most once per dispatch.
OSStatus CallNextEventHandler(EventHandlerCallRef call, EventRef event);
// Dispatches at once: control, its embedding controls, window, window's
// standard handler, application, application's standard handler.
OSStatus SendEventToEventTarget(EventRef event, EventTargetRef target);

// ---- Loops and timers
void RunApplicationEventLoop();
void QuitApplicationEventLoop();
OSStatus RunAppModalLoopForWindow(WindowRef window);
OSStatus QuitAppModalLoopForWindow(WindowRef window);
// Takes the next event (the type filter is not supported: pass 0 and null).
// Timers fire and running HTTP transfers move on while it waits. The
// clock jumps to whatever comes next; eventLoopTimedOutErr when the
// timeout comes first, eventLoopQuitErr when the current loop was asked to
// end or nothing is left to wait for.
OSStatus ReceiveNextEvent(UInt32 numTypes, const EventTypeSpec* list, EventTimeout timeout, bool pullEvent,
                          EventRef* out);

EventLoopTimerUPP NewEventLoopTimerUPP(EventLoopTimerProcPtr proc);
void DisposeEventLoopTimerUPP(EventLoopTimerUPP upp);
void* GetMainEventLoop();
OSStatus InstallEventLoopTimer(void* loop, EventTimerInterval fireDelay, EventTimerInterval interval,
                               EventLoopTimerUPP proc, void* userData, EventLoopTimerRef* out);
OSStatus RemoveEventLoopTimer(EventLoopTimerRef timer);

// Ticks (1/60 s) and seconds of the virtual clock.
UInt32 TickCount();
EventTime GetCurrentEventTime();

namespace platform {

// Queues event (retained) for target, due delaySeconds from now; the loops
// deliver it through the dispatcher target.
OSStatus PostEventTo(EventRef event, EventTargetRef target, double delaySeconds = 0);
// Takes the first due queued event of that class and kind out of the queue
// (the caller releases it); null when there is none.
EventRef TakeQueuedEvent(UInt32 eventClass, UInt32 eventKind);
// Queues something the system itself does (a drop, an Apple event) the same way.
void PostSystemAction(std::function<void()> action, double delaySeconds = 0);
// What a user does next, run when a loop has nothing else to do now; the
// clock first moves on by delaySeconds.
void PostUserAction(std::function<void()> action, double delaySeconds = 0);
size_t PendingUserActions();
// Outside any loop: runs queued events, system actions and user actions,
// firing timers in clock order, until nothing is left. Returns how many
// events were dispatched.
int RunUntilIdle();
// The status the dispatcher returned for the last event it delivered.
OSStatus LastDispatchStatus();

// Moves the virtual clock on, firing the timers that fall due in order.
void AdvanceClock(double seconds);
int LoopDepth();
// Called when a loop has nothing left to wait for (the test forgot to end
// it) or a scripted answer is missing; every loop then ends.
void SetStallHandler(std::function<void(const std::string&)> handler);
int StallCount();
void ReportToolboxFault(const std::string& what);
// Test hook: forgets every queued event and action, ends the clock's timers
// and resets the fault count (windows and handlers stay).
void ResetEventState();

}  // namespace platform
