#pragma once
// The pop-up menu button, the edit field with its key filter and commit
// callback, and the combo box: a pop-up beside an edit field whose chosen
// item is copied into the field.
#include "platform/toolbox_controls.h"
#include "ui/control.h"

class CPopupMenu : public CControl {
public:
    ~CPopupMenu() override;
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool Dispose() override;
    bool OnAttach() override;
    // The new item count, or -1 when the menu cannot be read.
    int AddItem(const char* text);
    bool RemoveAllItems();
    int GetCount();
    // A 0-based index, kept within the items.
    bool SetValue(int index);
    // First item whose text is exactly text, or -1.
    int FindItem(const char* text);
    // The selected 0-based index or -1; its text into buffer when given.
    int GetValue(char* buffer, int size);

private:
    MenuRef Menu();
    void RemoveHandler();

    MenuRef ownMenu_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
    EventHandlerUPP handlerUPP_ = nullptr;
};

enum EditFilterMode {
    kFilterNone = 0,
    kFilterLetters = 2,
    kFilterSignedInt = 3,
    kFilterUnsignedInt = 4,
    kFilterSignedDecimal = 5,
    kFilterUnsignedDecimal = 6,
    kFilterIdentifier = 7,
};

class CEditText : public CControl {
public:
    using CommitHandler = void (*)(CEditText* edit, void* context);

    CEditText();
    ~CEditText() override;
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* text) override;
    bool OnAttach() override;
    int GetDefaultHeight() override { return 16; }

    void SetCommitHandler(CommitHandler handler, void* context);
    void SetFilterMode(SInt32 mode) { filterMode_ = mode; }
    void SetPassReturn(bool pass) { passReturn_ = pass; }
    bool Clear(bool redraw);
    bool SetText(const char* text, bool redraw);
    bool SetStr255Text(const unsigned char* text, bool redraw);
    bool SetInt(long value, bool redraw);
    bool SetDouble(double value, int width, int precision, bool redraw);
    int GetTextLength();
    int GetText(char* buffer, int size);
    long GetInt();
    double GetDouble();

private:
    static ControlKeyFilterResult KeyFilterProc(ControlRef control, SInt16* keyCode, SInt16* charCode,
                                                EventModifiers* modifiers);
    static OSStatus KeyboardProc(EventHandlerCallRef call, EventRef event, void* userData);
    ControlKeyFilterResult FilterKey(SInt16 c);
    bool DecimalPointPasses();
    bool SelectionStart(SInt16* start);

    ControlKeyFilterUPP filterUPP_ = nullptr;
    ControlKeyFilterUPP previousFilter_ = nullptr;
    bool previousSaved_ = false;
    EventHandlerUPP keyboardUPP_ = nullptr;
    EventHandlerRef keyboardRef_ = nullptr;
    CommitHandler commit_ = nullptr;
    void* commitContext_ = nullptr;
    SInt32 filterMode_ = kFilterNone;
    bool passReturn_ = false;
};

class CComboBox : public CControl {
public:
    // The edit part's signature: the combo's with 'e' as its first byte.
    static OSType EditSignature(OSType signature) { return (signature & 0x00FFFFFF) | 0x65000000; }

    ~CComboBox() override;
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool OnAttach() override;
    // The new item count, or -1 without a menu.
    int AppendItem(const char* text);
    bool RemoveAllItems();
    int GetSelectedIndex();
    bool SetText(const char* text, bool redraw);
    bool ClearText(bool redraw);
    int GetText(char* buffer, int size);
    CEditText& EditPart() { return edit_; }

    bool GetBounds(Rect* bounds) override;
    bool GetPosition(int* x, int* y) override;
    bool Move(int x, int y) override;
    int GetLeft() override;
    bool SetLeft(int x) override;
    int GetTop() override;
    bool SetTop(int y) override;
    bool GetSize(int* width, int* height) override;
    bool SetSize(int width, int height) override;
    int GetWidth() override;
    bool SetWidth(int width) override;
    int GetHeight() override;
    bool SetHeight(int height) override;
    bool Draw() override;
    bool Enable(bool enable) override;
    bool Disable() override;
    bool Show(bool show) override;
    bool Hide() override;

    static constexpr int kPopupWidth = 32;

private:
    static OSStatus ChoiceProc(EventHandlerCallRef call, EventRef event, void* userData);
    bool Bind();
    void MoveBy(int dx, int dy);

    CEditText edit_;
    MenuRef menu_ = nullptr;
    MenuRef ownMenu_ = nullptr;  // made for a combo box created in code
    EventHandlerUPP handlerUPP_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
};
