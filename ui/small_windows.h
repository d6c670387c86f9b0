#pragma once
// Cursors, a window's outer bounds and the turning of a rectangle with its
// picture; and three small classes for windows that need them: a plain
// document window that zooms and collapses, a question with a "don't ask
// again" box, and a text that opens a URL when clicked. Also a dialog that
// edits a gradient.
#include <string>

#include "platform/toolbox_events.h"
#include "platform/toolbox_windows.h"
#include "ui/buttons.h"
#include "ui/dialog_window.h"
#include "ui/gradient.h"
#include "ui/popup_edit.h"

// Long operations show the watch before their work and the arrow after it.
void SetWatchCursor();
void SetArrowCursor();
// The bounds with the frame and title bar.
void GetWindowStructureBounds(WindowRef window, Rect* bounds);
// Moves rect with a picture of 2cx × 2cy turned by degrees (±90, ±180,
// ±270); any other angle leaves it.
void RotateRect(Rect* rect, double cx, double cy, int degrees);

class CPlainWindow {
public:
    CPlainWindow() = default;
    virtual ~CPlainWindow();
    CPlainWindow(const CPlainWindow&) = delete;
    CPlainWindow& operator=(const CPlainWindow&) = delete;

    // Takes ownership of window and listens to its events.
    bool Attach(WindowRef window);
    bool DisposeWindow();
    WindowRef GetWindow() const { return window_; }

    virtual bool IsValid() { return true; }
    virtual void Zoom();
    virtual void Collapse();
    virtual void ZoomIn();
    virtual bool IsInStandardState();
    virtual bool InCollapsedState();
    virtual bool OnInit() { return false; }
    virtual bool OnClose() { return false; }
    virtual bool OnUpdate() { return false; }
    virtual bool OnZoomed() { return false; }
    virtual bool OnCollapsed() { return false; }
    virtual bool OnExpanded() { return false; }
    // Fills list (room for 15) and returns the count.
    virtual int GetEventTypes(EventTypeSpec* list);

    static OSStatus HandleEvent(EventHandlerCallRef call, EventRef event, void* userData);

private:
    WindowRef window_ = nullptr;
    EventHandlerUPP handlerUPP_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
};

// Asks a question from a nib window with OK, Cancel and the box 'cDwm'. OK
// stores 0 in *askAgain when the box is ticked, else 1; Cancel leaves it.
class CDontAskDialog : public CDialogWindow {
public:
    explicit CDontAskDialog(int* askAgain) : askAgain_(askAgain) {}
    bool OnInitDialog() override;
    bool OnCommand(UInt32 command, EventRef* event) override;

private:
    CCheckBox dontAsk_;
    int* askAgain_;
};

// Underlined magenta static text; a click opens its URL.
class CLinkText : public CControl {
public:
    ~CLinkText() override;
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* text) override;
    bool OnAttach() override;
    void SetURL(const char* url) { url_ = url ? url : ""; }
    const std::string& GetURL() const { return url_; }
    bool OpenURL();

private:
    static OSStatus MouseProc(EventHandlerCallRef call, EventRef event, void* userData);

    std::string url_;
    EventHandlerUPP handlerUPP_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
};

class CGradientDialog : public CDialogWindow {
public:
    bool OnInitDialog() override { return true; }
    bool OnCommand(UInt32, EventRef*) override { return false; }

    CPopupMenu& GetKindPopup() { return kind_; }
    CColorSwatch& GetSwatch() { return swatch_; }
    CGradientControl& GetGradient() { return gradient_; }

private:
    CPopupMenu kind_;
    CColorSwatch swatch_;
    CGradientControl gradient_;
};
