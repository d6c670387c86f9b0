#pragma once
// Base of every control object: one toolbox control, created here in code
// (and then disposed of here) or attached to a control of a nib window
// (which stays its window's).
#include "platform/toolbox_windows.h"

class CDialogWindow;

class CControl {
public:
    CControl() = default;
    virtual ~CControl();
    CControl(const CControl&) = delete;
    CControl& operator=(const CControl&) = delete;

    // The base creates nothing: true while no control is held, the check
    // every derived Create makes first.
    virtual bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title);
    virtual bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, int titleId);
    // Binds the nib control {signature, id} of *window; refused while a
    // control is held.
    virtual bool Attach(OSType signature, WindowRef* window, SInt32 id);
    virtual bool Dispose();
    virtual bool OnAttach();
    virtual bool GetBounds(Rect* bounds);
    virtual bool GetPosition(int* x, int* y);
    virtual bool Move(int x, int y);
    virtual int GetLeft();
    virtual bool SetLeft(int x);
    virtual int GetTop();
    virtual bool SetTop(int y);
    virtual bool GetSize(int* width, int* height);
    virtual bool SetSize(int width, int height);
    virtual int GetWidth();
    virtual bool SetWidth(int width);
    virtual int GetHeight();
    virtual bool SetHeight(int height);
    virtual bool Draw();
    virtual bool Enable(bool enable);
    virtual bool Disable();
    virtual bool Show(bool show);
    virtual bool Hide();
    virtual int GetDefaultHeight();
    virtual int GetHorzSpacing();
    virtual int GetVertSpacing();

    bool InitCreated(CDialogWindow* owner, OSType signature);
    bool SetFontStyle();
    bool EmbedIn(ControlRef parent);
    OSType GetSignature() const { return signature_; }
    ControlRef GetControlRef() const { return control_; }
    SInt32 GetControlIdNumber() const { return controlIdNumber_; }
    WindowRef GetOwnerWindow() const { return window_; }
    bool IsCreatedHere() const { return createdHere_; }
    OSStatus GetLastStatus() const { return lastStatus_; }

protected:
    // Derived Create operations bind what their toolbox call made.
    void SetControlRef(ControlRef control) { control_ = control; }
    void SetLastStatus(OSStatus status) { lastStatus_ = status; }
    // Ends a derived Create: keeps a refusing status, or binds the control
    // made (running OnAttach first when asked).
    bool FinishCreate(OSStatus status, ControlRef control, CDialogWindow* owner, OSType signature,
                      bool attachFirst = false);

private:
    bool BaseDispose();

    OSStatus lastStatus_ = 0;
    OSType signature_ = 0;
    SInt32 controlIdNumber_ = 0;
    ControlRef control_ = nullptr;
    WindowRef window_ = nullptr;
    bool createdHere_ = false;
};
