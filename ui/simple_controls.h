#pragma once
// Thin control classes over the standard controls: group box, progress
// bar, radio button and group, scroll bar, slider, static text, tabs and a
// field that captures the name of a key.
#include <memory>
#include <vector>

#include "foundation/signal.h"
#include "platform/toolbox_controls.h"
#include "ui/control.h"

class CGroupBox : public CControl {
public:
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
};

class CProgressBar : public CControl {
public:
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool SetValue(SInt32 value, bool redraw);
    SInt32 GetValue();
    // Kept as 16-bit values, the maximum set first.
    bool SetRange(int minimum, int maximum, bool redraw);
    int GetMinimum();
    int GetMaximum();
};

class CRadioButton : public CControl {
public:
    ~CRadioButton() override;
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool SetValue(int on, bool redraw);
    bool GetValue();
    bool SetIcon(SInt16 resourceId, OSType iconCode);

private:
    IconRef icon_ = nullptr;
    OSType iconCode_ = 0;
};

// Radio buttons of a nib window, bound by signature, with optional icons.
class CRadioGroup : public CControl {
public:
    ~CRadioGroup() override;
    bool SetWindow(WindowRef window);
    bool AddIcon(SInt16 resourceId, OSType iconCode);
    // False when the window has no such button; the group is unchanged.
    bool AddButton(const char* title, OSType signature, int iconIndex, UInt8 flagA, UInt8 flagB);
    bool Update() { return true; }
    bool Refresh() { return true; }
    int GetButtonCount() const { return static_cast<int>(items_.size()); }
    CRadioButton* GetButton(int index);

private:
    struct Item {
        int iconIndex = -1;
        OSType signature = 0;
        UInt8 flagA = 0;
        UInt8 flagB = 0;
        UInt32 reserved = 0;
        CRadioButton button;
    };
    struct Icon {
        SInt16 resourceId;
        OSType code;
    };
    WindowRef groupWindow_ = nullptr;
    SInt32 groupId_ = 0;
    std::vector<std::unique_ptr<Item>> items_;
    std::vector<Icon> icons_;
};

class CScrollBar : public CControl {
public:
    ~CScrollBar() override;
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, int titleId) override;
    bool OnAttach() override;
    // False, and nothing changes, for a value outside the range.
    bool SetValue(SInt32 value, bool redraw);
    SInt32 GetValue();
    bool SetRange(SInt32 minimum, SInt32 maximum, bool redraw);
    void GetRange(SInt32* minimum, SInt32* maximum);
    void SetLineStep(int step) { lineStep_ = step; }
    // The page step becomes the bar's height divided by divisor; a divisor
    // of 0 or below is refused.
    bool SetStep(int divisor);
    void SetViewSize(bool horizontal);
    // For the owner's mouse-down: true when the press was on this bar.
    bool Track();

    // Carries the new value.
    Signal valueChanged;

private:
    static void ArrowAction(ControlRef control, ControlPartCode part);
    static void ThumbAction(ControlRef control, ControlPartCode part);
    int ScrollBy(int change);
    int ValueFromPoint(Point where);
    int Length();
    void BeginThumb();
    void EndThumb();

    SInt32 valueAtPress_ = 0;
    int thumbOffset_ = 0;
    SInt32 pending_ = 0;
    int lineStep_ = 1;
    int pageDivisor_ = 1;
    bool horizontal_ = false;
    RgnHandle savedClip_ = nullptr;
    int arrowMargin_ = 48;
    int thumbBase_ = 16;
    ControlActionUPP arrowUPP_ = nullptr;
    ControlActionUPP thumbUPP_ = nullptr;
};

class CSlider : public CControl {
public:
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool SetValue(SInt32 value, bool redraw);
    SInt32 GetValue();
    bool SetRange(SInt32 minimum, SInt32 maximum, bool redraw);
};

class CStaticText : public CControl {
public:
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, int titleId) override;
    int GetDefaultHeight() override { return 16; }
    bool SetText(const char* text, bool redraw);
    bool Clear(bool redraw);
    bool SetTextF(bool redraw, const char* format, ...) __attribute__((format(printf, 3, 4)));
};

class CTabControl : public CControl {
public:
    ~CTabControl() override;
    bool OnAttach() override;
    int AddPane(CDialogWindow* paneWindow, SInt32 paneId, const char* name);
    int GetSelectedTab();
    bool SelectTab(int index, bool redraw);
    ControlRef GetPane(int index);
    int GetPaneCount() const { return static_cast<int>(panes_.size()); }

    // Carries the tab control itself.
    Signal tabChanged;

private:
    static OSStatus HitProc(EventHandlerCallRef call, EventRef event, void* userData);

    EventHandlerUPP handlerUPP_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
    std::vector<ControlID> panes_;
};

// Shows the name of the last key pressed in it.
class CKeyCaptureField : public CControl {
public:
    CKeyCaptureField();
    ~CKeyCaptureField() override;
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool OnAttach() override;
    int GetDefaultHeight() override { return 16; }
    UInt16 GetKeyCode() const { return keyCode_; }

private:
    static ControlKeyFilterResult KeyFilterProc(ControlRef control, SInt16* keyCode, SInt16* charCode,
                                                EventModifiers* modifiers);
    static OSStatus RawKeyProc(EventHandlerCallRef call, EventRef event, void* userData);
    void Capture(UInt16 keyCode);
    bool SetText(const char* text);

    UInt16 keyCode_ = 0;
    ControlKeyFilterUPP previousFilter_ = nullptr;
    bool previousSaved_ = false;
    ControlKeyFilterUPP filterUPP_ = nullptr;
    EventHandlerUPP rawKeyUPP_ = nullptr;
    EventHandlerRef rawKeyRef_ = nullptr;
};

// The handler of a control that shows a text object: draws it on every
// control-draw event (user data: the TXNObject).
OSStatus TextBoxDrawHandler(EventHandlerCallRef call, EventRef event, void* userData);
