#pragma once
// A user-pane control that shows a picture scaled down to fit and centred
// on black. It draws through two worlds: the picture at its own size, and a
// pane-sized buffer that is copied to the window.
#include "media/image.h"
#include "platform/toolbox_controls.h"
#include "ui/control.h"

// Where a picture of imageWidth × imageHeight is drawn in a pane of
// paneWidth × paneHeight: scaled down to fit (never enlarged), centred.
Rect FitImageRect(int imageWidth, int imageHeight, int paneWidth, int paneHeight);

// What the user panes share: the world of the control's size, the
// handler, the draw procedure and, for panes that play, an idle timer.
struct PaneBinding {
    EventHandlerUPP handlerUPP = nullptr;
    EventHandlerRef handler = nullptr;
    EventLoopTimerUPP timerUPP = nullptr;
    EventLoopTimerRef timer = nullptr;
    ControlUserPaneDrawUPP drawUPP = nullptr;
    GWorldPtr world = nullptr;

    // The world, the reference and the draw procedure; the handler on target
    // for types. False, nothing installed, when the world cannot be made.
    bool Attach(CControl& pane, EventTargetRef (*target)(ControlRef), const EventTypeSpec* types, UInt32 count,
                EventHandlerProcPtr handlerProc, ControlUserPaneDrawProcPtr drawProc);
    // Removes the timer: false when one was running.
    bool StopTimer();
    bool StartTimer(double interval, void* userData);
    // Releases everything; false when removing the handler failed or a
    // running timer had to be stopped.
    bool Detach(ControlRef control);
    // Copies the world into the control, hidden or not.
    void Draw(ControlRef control);
};

// The update event the panes draw on.
extern const EventTypeSpec kPaneUpdateEvent;

// The pane a handler's user data or a control's reference names; null for
// none or another kind of control.
template <class Pane>
Pane* PaneFromUserData(void* userData)
{
    return dynamic_cast<Pane*>(static_cast<CControl*>(userData));
}
template <class Pane>
Pane* PaneFromControl(ControlRef control)
{
    return PaneFromUserData<Pane>(reinterpret_cast<CControl*>(GetControlReference(control)));
}

class CImagePane : public CControl {
public:
    CImagePane() = default;
    ~CImagePane() override;

    using CControl::Create;
    // A new user pane in the window; false when one is held already.
    bool Create(CDialogWindow* window, OSType commandId, const Rect& bounds, const char* title) override;
    using CControl::Attach;
    // Sets the pane up on the control it holds: worlds, handler, draw procedure.
    bool Attach();
    // Releases what Attach made and the control made here.
    bool Detach();
    bool OnAttach() override { return Attach(); }

    // Both worlds at the pane's size: the pane shows nothing (black).
    bool RecreateOffscreen();
    bool SetImage(const CImage& image);
    bool Refresh();

    GWorldPtr GetPaneWorld() const { return binding_.world; }
    const Rect& GetDestRect() const { return destRect_; }

private:
    static OSStatus EventProc(EventHandlerCallRef call, EventRef event, void* userData);
    static void DrawProc(ControlRef control, SInt16 part);
    void DrawPane();

    PaneBinding binding_;  // its world is the pane-sized buffer
    GWorldPtr imageWorld_ = nullptr;
    Rect sourceRect_;
    Rect destRect_;
};
