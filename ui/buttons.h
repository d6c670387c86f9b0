#pragma once
// Push buttons, the bevel button with a menu of commands, check boxes and
// the two buttons that show a colour and open the colour picker.
#include <cstdint>

#include "foundation/signal.h"
#include "platform/toolbox_controls.h"
#include "ui/control.h"

// 0x00BBGGRR to 16-bit channels (× 257).
void ColorToRGBColor(uint32_t color, RGBColor* out);
// The way back, each channel × 255 / 65535, truncated.
uint32_t RGBColorToColor(const RGBColor& color);

// Registers the icon under code and makes it the button's content; the
// icon held before goes first.
bool SetIconContent(ControlRef control, SInt16 resourceId, OSType code, IconRef* icon, OSType* iconCode);

class CPushButton : public CControl {
public:
    ~CPushButton() override;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, int titleId) override;
    int GetDefaultHeight() override { return 17; }
    bool SetTitle(const char* title, bool redraw);
    bool SetIcon(SInt16 resourceId, OSType iconCode);

private:
    IconRef icon_ = nullptr;
    OSType iconCode_ = 0;
};

class CBevelMenuButton : public CControl {
public:
    ~CBevelMenuButton() override;
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool Dispose() override;
    bool OnAttach() override;
    // The button owns *menu from now on; returns the menu it owned before,
    // or null (also when the menu cannot be set, which changes nothing).
    MenuRef SetMenu(MenuRef* menu);

    // Carries the command id of the chosen menu item.
    Signal commandSignal;

private:
    static OSStatus HandlerProc(EventHandlerCallRef call, EventRef event, void* userData);
    void RemoveHandler();

    MenuRef menu_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
    EventHandlerUPP handlerUPP_ = nullptr;
};

class CCheckBox : public CControl {
public:
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, int titleId) override;
    bool GetValue();
    void SetValue(bool checked, bool redraw);
    void Toggle(bool redraw);
    bool SetTitle(const char* title, bool redraw);
};

// What the two colour buttons share: the colour, the picture that shows it
// and the click that opens the picker.
class CColorButton : public CControl {
public:
    ~CColorButton() override;
    uint32_t GetColor() const { return color_; }
    void SetColor(uint32_t color, bool redraw);

protected:
    bool InstallClickHandler();
    // Draws the button after a new colour was set and a redraw asked for.
    virtual void RedrawColor() = 0;

private:
    static OSStatus ClickProc(EventHandlerCallRef call, EventRef event, void* userData);
    void ReleasePicture();

    uint32_t color_ = 0;
    PicHandle picture_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
    EventHandlerUPP handlerUPP_ = nullptr;
};

class CColorSwatch : public CColorButton {
public:
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool OnAttach() override;

protected:
    void RedrawColor() override;
};

// Binds to a bevel button of a nib window only.
class CColorWell : public CColorButton {
public:
    bool OnAttach() override;

protected:
    void RedrawColor() override;
};
