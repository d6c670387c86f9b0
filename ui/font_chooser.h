#pragma once
// The font button, whose title shows its font and whose click lets the user
// choose another (in the system Font Panel or in the font dialog), and the
// font dialog itself: family, typeface and size lists.
#include <memory>
#include <string>
#include <vector>

#include "platform/toolbox_fonts.h"
#include "ui/buttons.h"
#include "ui/dialog_window.h"
#include "ui/font.h"
#include "ui/list_views.h"
#include "ui/popup_edit.h"
#include "ui/simple_controls.h"

class CFontButton : public CPushButton {
public:
    using ChangeCallback = void (*)(CFont& font, void* context);

    CFontButton(ChangeCallback onChange, void* context);
    ~CFontButton() override;

    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool Dispose() override;
    bool OnAttach() override;

    CFont& GetFont() { return font_; }
    void SetFont(const CFont& font, bool redraw);

    // Where the font dialog opens and how large: x, y, width, height.
    struct Frame {
        int x = 400, y = 400, width = 500, height = 320;
    };
    const Frame& GetDialogFrame() const { return frame_; }

    // The button the Font Panel's choices go to; null when none.
    static CFontButton* GetFontPanelButton();

private:
    static OSStatus HandlerProc(EventHandlerCallRef call, EventRef event, void* userData);
    OSStatus OnHit(EventHandlerCallRef call, EventRef event);
    OSStatus OnShowFonts();
    void OnFontSelection(EventRef event);
    void UpdateTitle();
    void TellFontPanel();
    void RemoveHandler();

    CFont font_;
    ChangeCallback onChange_;
    void* context_;
    Frame frame_;
    EventHandlerRef handlerRef_ = nullptr;
    EventHandlerUPP handlerUPP_ = nullptr;
};

class CFontDialog : public CDialogWindow {
public:
    CFontDialog();
    ~CFontDialog() override;

    // With the Font Panel in use, asks the parent window to show it and
    // returns 0; otherwise runs the dialog on font, which it edits in place
    // (Apply and OK), and returns 'ok  ', 'not!', or -1 when the window
    // cannot be made. frame is {top, left, bottom, right} or null.
    int Run(CFont& font, WindowRef parent, const Rect* frame);
    // The window's frame when it last closed: left, top, width, height.
    Rect GetLastFrame() const { return lastFrame_; }

    bool OnInitDialog() override;
    bool OnClose() override;
    bool OnCommand(UInt32 commandID, EventRef* event) override;
    bool OnSize(int width, int height) override;

    struct Typeface {
        MenuItemIndex item = 0;
        MenuRef submenu = nullptr;
        FMFontStyle style = 0;
        std::string text;
    };
    struct FamilyRecord {
        MenuItemIndex item = 0;
        FMFontFamily family = 0;
        std::vector<Typeface> typefaces;
    };
    const std::vector<FamilyRecord>& GetFamilies() const { return families_; }

private:
    bool CreateControls();
    void BuildFamilies();
    void SelectFont();
    void OnFamilyChosen(CListItemInfo* info);
    void OnTypefaceChosen(CListItemInfo* info);
    void OnSizeChosen(CListItemInfo* info);
    void ReadSelection();
    const FamilyRecord* SelectedFamily();
    void DisposeMenus();

    CFont* font_ = nullptr;
    MenuRef menu_ = nullptr;
    std::vector<MenuRef> submenus_;
    std::vector<FamilyRecord> families_;
    CListControl familyList_, typefaceList_, sizeList_;
    CEditText familyField_, typefaceField_, sizeField_;
    CStaticText familyLabel_, typefaceLabel_, sizeLabel_;
    CPushButton okButton_, applyButton_, cancelButton_;
    int initialWidth_ = 0, initialHeight_ = 0;
    struct Placement {
        CControl* control;
        Rect bounds;
    };
    std::vector<Placement> initial_;
    Rect lastFrame_{};
};
