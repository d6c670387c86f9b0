#pragma once
// Base of every window, pane and dialog: owns one window (a pane borrows
// its owner's), installs one event handler on it and turns its events into
// the virtual operations below. Every default returns false: not handled.
#include <memory>

#include "foundation/path.h"
#include "platform/toolbox_events.h"
#include "platform/toolbox_windows.h"
#include "ui/nib_menus.h"

class CControl;

// Options of CDialogWindow::CreateNew.
constexpr UInt32 kDialogMovableModal = 0x1;
constexpr UInt32 kDialogShow = 0x2;
constexpr UInt32 kDialogCloseBox = 0x4;
constexpr UInt32 kDialogResizable = 0x10;
constexpr UInt32 kDialogSheet = 0x200000;
constexpr UInt32 kDialogUtility = 0x400000;
constexpr UInt32 kDialogFloating = 0x800000;

// The drop point of every file after the first: no position.
constexpr SInt16 kNoDropPosition = 32767;

class CDialogWindow {
public:
    CDialogWindow();
    virtual ~CDialogWindow();
    CDialogWindow(const CDialogWindow&) = delete;
    CDialogWindow& operator=(const CDialogWindow&) = delete;

    // Modal dialog from the nib: the result given to EndDialog, or -1 when
    // the window could not be made or was closed.
    virtual int DoModal(const CNibRef& nib, const char* name, SInt32 controlIdNumber);
    virtual bool PreTranslateEvent(EventRef* event);
    virtual bool OnInitDialog();
    virtual bool OnClose();
    virtual bool OnDraw();
    virtual bool OnCommand(UInt32 commandID, EventRef* event);
    virtual bool OnSize(int width, int height);
    virtual bool OnSizing(Rect* currentBounds);
    virtual bool OnMove(int left, int top);
    // Mouse points are global; views convert.
    virtual bool OnMouseDown(int h, int v, UInt32 modifiers);
    virtual bool OnMouseUp(int h, int v, UInt32 modifiers);
    virtual bool OnRightMouseDown(int h, int v, UInt32 modifiers);
    virtual bool OnRightMouseUp(int h, int v, UInt32 modifiers);
    virtual bool OnMouseMoved(int h, int v, UInt32 modifiers);
    virtual bool OnDropFile(const CPath& path, const Point* where);
    virtual bool OnDragReceive(DragRef drag);
    virtual bool OnDragEnter(DragRef drag);
    virtual bool OnDragInWindow(DragRef drag);
    virtual bool OnKeyDown(EventRef* event);
    virtual bool OnKeyUp(EventRef* event);
    virtual bool OnOpenDocument(const CPath& path);
    virtual bool OnHotKey(const EventHotKeyID* id);
    virtual bool OnEvent(UInt32 eventClass, UInt32 eventKind, EventRef* event);
    virtual bool OnFocusChange(ControlRef newFocus, ControlRef oldFocus);
    // Fills list (room for kMaxEventTypes) and returns the count.
    virtual int GetEventTypes(EventTypeSpec* list);
    static constexpr int kMaxEventTypes = 64;

    bool CreateFromNibName(const CNibRef& nib, const char* name, WindowRef parent, SInt32 controlIdNumber);
    bool CreateNew(short left, short top, short width, short height, UInt32 options, WindowRef parent,
                   SInt32 controlIdNumber);
    bool AttachToControl(SInt32 paneId, WindowRef owner, SInt32 controlIdNumber);
    int ShowModal();
    bool EndDialog(int result);
    bool DestroyWindow();
    bool InstallHandler();
    // Removes what InstallHandler installed; false when the removal failed.
    bool RemoveHandlers();
    bool AttachControl(OSType signature, CControl* control);
    void SetFocusedControl(ControlRef control);
    // Accepts file drops: installs the two drag procedures below.
    bool InstallDragHandlers();
    static OSErr DragTrackingProc(SInt16 message, WindowRef window, void* refCon, DragRef drag);
    static OSErr DragReceiveProc(WindowRef window, void* refCon, DragRef drag);

    bool Show(bool show = true);
    bool Hide();
    bool IsVisible() const;
    bool Activate(bool active);
    bool BringToFront();
    bool GetPosition(int* left, int* top) const;
    bool Move(short h, short v);
    bool Reposition(WindowRef parent);
    bool GetSize(int* width, int* height) const;
    bool SetSize(short width, short height);
    int GetWidth() const;
    int GetHeight() const;
    bool SetWidth(short width);
    bool SetHeight(short height);
    bool SetTitle(const char* title);
    WindowRef* GetWindowRef() { return &window_; }

    WindowRef GetWindow() const { return window_; }
    SInt32 GetControlIdNumber() const { return controlIdNumber_; }
    // The control a pane lives on: the parent of controls it creates.
    ControlRef GetPaneControl() const { return paneControl_; }
    bool IsPane() const { return isPane_; }
    ControlRef GetFocusedControl() const { return focused_; }
    int GetResult() const { return result_; }

protected:
    // A result for windows that end their runs themselves.
    void SetResult(int result) { result_ = result; }

private:
    static OSStatus EventHandlerProc(EventHandlerCallRef call, EventRef event, void* userData);
    OSStatus HandleEvent(EventHandlerCallRef call, EventRef event);
    bool RunModalLoop();
    Rect ContentBounds() const;

    UInt32 windowAttributes_ = 0;
    WindowRef window_ = nullptr;
    bool inModalLoop_ = false;
    bool isPane_ = false;
    WindowRef parent_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
    EventHandlerUPP handlerUPP_ = nullptr;
    int result_ = -1;
    ControlRef paneControl_ = nullptr;
    DragTrackingHandlerUPP dragTrackingUPP_ = nullptr;
    DragReceiveHandlerUPP dragReceiveUPP_ = nullptr;
    SInt32 controlIdNumber_ = 0;
    ControlRef focused_ = nullptr;
    // Cleared by the destructor, so that a handler whose window object
    // deleted itself touches nothing afterwards.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The window of a control's owner; null without one.
inline WindowRef OwnerWindow(CDialogWindow* owner)
{
    return owner ? owner->GetWindow() : nullptr;
}
