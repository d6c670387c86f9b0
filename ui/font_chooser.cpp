#include "ui/font_chooser.h"

#include <algorithm>
#include <cstdio>

#include "foundation/cfstring.h"
#include "platform/toolbox_events.h"
#include "platform/toolbox_services.h"
#include "ui/control_events.h"

namespace {

constexpr UInt32 kShowFontsCommand = FourCC("shfp");
constexpr UInt32 kApplyCommand = FourCC("aply");
constexpr UInt32 kOkCommand = FourCC("ok  ");
constexpr UInt32 kCancelCommand = FourCC("not!");
constexpr SInt32 kCodeControlId = 20000;
constexpr MenuID kFamilyMenuId = 3333;
constexpr MenuID kFirstTypefaceMenuId = 100;
constexpr int kSizes[] = {9, 10, 11, 12, 13, 14, 18, 24, 32, 36, 48, 64, 72, 96};
// Fields hold sizes the port can take; anything else keeps the size held.
constexpr long kLargestSize = 32767;

CFontButton* g_fontPanelButton = nullptr;

OSStatus SendCommand(UInt32 command, EventTargetRef target)
{
    EventRef event = nullptr;
    OSStatus status = CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, GetCurrentEventTime(), 0, &event);
    if (status != noErr) return status;
    HICommand hc;
    hc.attributes = 0;
    hc.commandID = command;
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof hc, &hc);
    status = SendEventToEventTarget(event, target);
    ReleaseEvent(event);
    return status;
}

std::string MenuItemText(MenuRef menu, MenuItemIndex item)
{
    CFStringRef text = nullptr;
    if (CopyMenuItemTextAsCFString(menu, item, &text) != noErr || !text) return {};
    std::string out = platform::ToUtf8(text);
    CFRelease(text);
    return out;
}

void AddTextRow(CListControl& list, const std::string& text)
{
    CListItemInfo info;
    info.mask = kListItemText;
    info.row = list.GetRowCount();
    info.text = const_cast<char*>(text.c_str());
    list.AddRow(info);
}

}  // namespace

// ---- CFontButton

CFontButton::CFontButton(ChangeCallback onChange, void* context) : onChange_(onChange), context_(context) {}

CFontButton::~CFontButton()
{
    RemoveHandler();
    if (g_fontPanelButton) {
        if (FPIsFontPanelVisible()) FPShowHideFontPanel();
        g_fontPanelButton = nullptr;
    }
}

CFontButton* CFontButton::GetFontPanelButton()
{
    return g_fontPanelButton;
}

bool CFontButton::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CPushButton::Create(owner, signature, bounds, title)) return false;
    return OnAttach();
}

bool CFontButton::Dispose()
{
    RemoveHandler();
    return CPushButton::Dispose();
}

bool CFontButton::OnAttach()
{
    RemoveHandler();
    static const EventTypeSpec kTypes[] = {{kEventClassControl, kEventControlHit},
                                           {kEventClassCommand, kEventCommandProcess},
                                           {kEventClassFont, kEventFontPanelClosed},
                                           {kEventClassFont, kEventFontSelection}};
    if (!InstallControlHandler(GetControlRef(), HandlerProc, kTypes, 4, this, &handlerUPP_, &handlerRef_)) return false;
    UpdateTitle();
    return true;
}

void CFontButton::RemoveHandler()
{
    RemoveInstalledHandler(&handlerUPP_, &handlerRef_);
}

void CFontButton::SetFont(const CFont& font, bool redraw)
{
    font_.Assign(font);
    UpdateTitle();
    if (IsFontPanelInUse()) TellFontPanel();
    if (redraw) Draw();
}

void CFontButton::TellFontPanel()
{
    if (!GetControlRef()) return;
    FontPanelStyle style;
    style.family = font_.GetName();
    style.size = font_.GetSize();
    style.familyNumber = SInt16(font_.GetFontID());
    style.face = UInt16(font_.GetStyle() & 0xFF);
    SetFontInfoForSelection(kFontSelectionATSUIType, 1, &style, GetControlEventTarget(GetControlRef()));
}

void CFontButton::UpdateTitle()
{
    char style[256];
    font_.GetStyleName(style, sizeof style);
    char title[600];
    std::snprintf(title, sizeof title, "%s %s %d pt", font_.GetName(), style, font_.GetSize());
    SetTitle(title, true);
}

OSStatus CFontButton::HandlerProc(EventHandlerCallRef call, EventRef event, void* userData)
{
    auto* self = static_cast<CFontButton*>(userData);
    if (!self) return eventNotHandledErr;
    switch (GetEventClass(event)) {
        case kEventClassControl:
            return self->OnHit(call, event);
        case kEventClassCommand: {
            HICommand command;
            if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr,
                                  &command) == noErr &&
                command.commandID == kShowFontsCommand)
                return self->OnShowFonts();
            return CallNextEventHandler(call, event);
        }
        case kEventClassFont:
            if (GetEventKind(event) == kEventFontSelection) self->OnFontSelection(event);
            return eventNotHandledErr;
        default:
            return CallNextEventHandler(call, event);
    }
}

OSStatus CFontButton::OnHit(EventHandlerCallRef call, EventRef event)
{
    ControlRef control = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
    if (control != GetControlRef()) return CallNextEventHandler(call, event);
    if (IsFontPanelInUse()) {
        SendCommand(kShowFontsCommand, GetControlEventTarget(control));
    } else {
        const Rect frame = LTRB(frame_.x, frame_.y, frame_.x + frame_.width, frame_.y + frame_.height);
        CFontDialog dialog;
        dialog.Run(font_, GetOwnerWindow(), &frame);
        // Apply changes the font even when the dialog ends with Cancel.
        UpdateTitle();
        const Rect last = dialog.GetLastFrame();
        if (RectWidth(last) > 0 && RectHeight(last) > 0)
            frame_ = Frame{last.left, last.top, RectWidth(last), RectHeight(last)};
    }
    return CallNextEventHandler(call, event);
}

OSStatus CFontButton::OnShowFonts()
{
    const OSStatus status = FPShowHideFontPanel();
    if (FPIsFontPanelVisible()) {
        g_fontPanelButton = this;
        // The panel's choices come back to this button's control.
        TellFontPanel();
    } else {
        g_fontPanelButton = nullptr;
    }
    return status;
}

void CFontButton::OnFontSelection(EventRef event)
{
    CFontButton* target = g_fontPanelButton;
    if (!target) return;
    SInt16 value = 0;
    auto read = [&](EventParamName name) {
        return GetEventParameter(event, name, typeSInt16Param, nullptr, sizeof value, nullptr, &value) == noErr;
    };
    if (read(kEventParamFMFontFamily)) target->font_.SetFontID(value);
    if (read(kEventParamFMFontStyle)) target->font_.SetStyle(uint16_t(value));
    if (read(kEventParamFMFontSize)) target->font_.SetSize(value);
    target->UpdateTitle();
    if (target->onChange_) target->onChange_(target->font_, target->context_);
}

// ---- CFontDialog

CFontDialog::CFontDialog() = default;

CFontDialog::~CFontDialog()
{
    DisposeMenus();
}

void CFontDialog::DisposeMenus()
{
    for (MenuRef sub : submenus_) DisposeMenu(sub);
    submenus_.clear();
    if (menu_) DisposeMenu(menu_);
    menu_ = nullptr;
}

int CFontDialog::Run(CFont& font, WindowRef parent, const Rect* frame)
{
    if (IsFontPanelInUse()) {
        if (parent) SendCommand(kShowFontsCommand, GetWindowEventTarget(parent));
        return 0;
    }
    font_ = &font;
    if (!CreateNew(100, 100, 500, 320, kDialogMovableModal | kDialogResizable, parent, kCodeControlId)) return -1;
    SetTitle("Font");
    if (frame && RectWidth(*frame) > 0 && RectHeight(*frame) > 0) {
        Move(frame->left, frame->top);
        SetSize(RectWidth(*frame), RectHeight(*frame));
        OnSize(RectWidth(*frame), RectHeight(*frame));
    }
    return ShowModal();
}

bool CFontDialog::OnInitDialog()
{
    GetSize(&initialWidth_, &initialHeight_);
    if (!CreateControls()) return false;
    BuildFamilies();
    for (const FamilyRecord& record : families_) AddTextRow(familyList_, FontFamilyDisplayName(record.family));
    for (int size : kSizes) AddTextRow(sizeList_, std::to_string(size));
    familyList_.selectionChanged.Connect(Callback::BindMember(this, &CFontDialog::OnFamilyChosen));
    typefaceList_.selectionChanged.Connect(Callback::BindMember(this, &CFontDialog::OnTypefaceChosen));
    sizeList_.selectionChanged.Connect(Callback::BindMember(this, &CFontDialog::OnSizeChosen));
    SelectFont();
    return true;
}

bool CFontDialog::CreateControls()
{
    bool ok = okButton_.Create(this, kOkCommand, LTRB(400, 20, 470, 40), "OK") &&
              applyButton_.Create(this, kApplyCommand, LTRB(400, 52, 470, 72), "Apply") &&
              cancelButton_.Create(this, kCancelCommand, LTRB(400, 100, 470, 120), "Cancel") &&
              familyLabel_.Create(this, FourCC("tFnt"), LTRB(20, 20, 100, 36), "Family") &&
              familyField_.Create(this, FourCC("eFnt"), LTRB(23, 42, 161, 63), "") &&
              familyList_.Create(this, FourCC("lFnt"), LTRB(17, 71, 167, 300)) &&
              typefaceLabel_.Create(this, FourCC("tSiz"), LTRB(172, 20, 252, 36), "Typeface") &&
              typefaceField_.Create(this, FourCC("eStl"), LTRB(175, 42, 313, 63), "") &&
              typefaceList_.Create(this, FourCC("lStl"), LTRB(169, 71, 319, 300)) &&
              sizeLabel_.Create(this, FourCC("tStl"), LTRB(324, 20, 382, 36), "Size") &&
              sizeField_.Create(this, FourCC("eSiz"), LTRB(327, 42, 382, 63), "") &&
              sizeList_.Create(this, FourCC("lSiz"), LTRB(321, 71, 387, 300));
    if (!ok) return false;
    for (CPushButton* button : {&okButton_, &applyButton_, &cancelButton_}) button->SetFontStyle();
    SetWindowDefaultButton(GetWindow(), okButton_.GetControlRef());
    familyField_.Disable();
    typefaceField_.Disable();
    sizeField_.SetFilterMode(kFilterUnsignedInt);
    const std::pair<CListControl*, SInt32> lists[] = {{&familyList_, 300}, {&typefaceList_, 300}, {&sizeList_, 82}};
    for (const auto& [list, width] : lists) {
        CListColumnInfo column;
        column.flags = kListColumnHasWidth;
        column.width = width;
        list->AppendColumn(column);
        ControlRef browser = list->GetControlRef();
        SetDataBrowserListViewHeaderBtnHeight(browser, 0);
        SetDataBrowserTableViewHiliteStyle(browser, kDataBrowserTableViewFillHilite);
        DataBrowserSelectionFlags flags = kDataBrowserSelectOnlyOne | kDataBrowserNeverEmptySelectionSet;
        if (list == &typefaceList_) flags |= kDataBrowserResetSelection;
        SetDataBrowserSelectionFlags(browser, flags);
    }
    initial_.clear();
    for (CControl* control : std::initializer_list<CControl*>{
             &okButton_, &applyButton_, &cancelButton_, &familyLabel_, &familyField_, &familyList_, &typefaceLabel_,
             &typefaceField_, &typefaceList_, &sizeLabel_, &sizeField_, &sizeList_}) {
        Rect bounds{};
        control->GetBounds(&bounds);
        initial_.push_back({control, bounds});
    }
    return true;
}

void CFontDialog::BuildFamilies()
{
    DisposeMenus();
    families_.clear();
    menu_ = NewMenu(kFamilyMenuId, reinterpret_cast<const unsigned char*>("\0"));
    if (!menu_) return;
    ItemCount submenuCount = 0;
    if (CreateStandardFontMenu(menu_, 0, kFirstTypefaceMenuId, kHierarchicalFontMenuOption, &submenuCount) != noErr)
        return;
    for (MenuItemIndex item = 1; item <= CountMenuItems(menu_); ++item) {
        MenuRef sub = nullptr;
        GetMenuItemHierarchicalMenu(menu_, item, &sub);
        FamilyRecord record;
        record.item = item;
        FMFontFamily family = 0;
        FMFontStyle style = 0;
        FMFont font = 0;
        FMFontStyle intrinsic = 0;
        if (sub) {
            submenus_.push_back(sub);
            if (GetFontFamilyFromMenuSelection(sub, 1, &family, &style) != noErr) continue;
            if (FMGetFontFromFontFamilyInstance(family, style, &font, &intrinsic) != noErr)
                family = GetFNum(MenuItemText(menu_, item));
            record.family = family;
            for (MenuItemIndex subItem = 1; subItem <= CountMenuItems(sub); ++subItem) {
                FMFontFamily faceFamily = 0;
                FMFontStyle faceStyle = 0;
                if (GetFontFamilyFromMenuSelection(sub, subItem, &faceFamily, &faceStyle) != noErr) continue;
                record.typefaces.push_back({subItem, sub, faceStyle, MenuItemText(sub, subItem)});
            }
        } else {
            if (GetFontFamilyFromMenuSelection(menu_, item, &family, &style) != noErr ||
                FMGetFontFromFontFamilyInstance(family, style, &font, &intrinsic) != noErr)
                continue;
            record.family = family;
        }
        families_.push_back(std::move(record));
    }
}

void CFontDialog::SelectFont()
{
    if (!font_) return;
    for (size_t i = 0; i < families_.size(); ++i) {
        if (families_[i].family != font_->GetFontID()) continue;
        familyList_.SetSelection(int(i), true);
        const auto& faces = families_[i].typefaces;
        for (size_t j = 0; j < faces.size(); ++j)
            if (uint16_t(faces[j].style) == font_->GetStyle()) typefaceList_.SetSelection(int(j), true);
        break;
    }
    for (size_t i = 0; i < std::size(kSizes); ++i)
        if (kSizes[i] == font_->GetSize()) sizeList_.SetSelection(int(i), true);
    sizeField_.SetInt(font_->GetSize(), false);
}

const CFontDialog::FamilyRecord* CFontDialog::SelectedFamily()
{
    const int row = familyList_.GetSelection();
    return row >= 0 && size_t(row) < families_.size() ? &families_[size_t(row)] : nullptr;
}

void CFontDialog::OnFamilyChosen(CListItemInfo* info)
{
    if (!info) return;
    const FamilyRecord* record = SelectedFamily();
    if (!record) return;
    familyField_.SetText(FontFamilyDisplayName(record->family).c_str(), true);
    typefaceList_.RemoveAll();
    if (record->typefaces.empty()) AddTextRow(typefaceList_, "Regular");
    for (const Typeface& face : record->typefaces) AddTextRow(typefaceList_, face.text);
    typefaceList_.SetSelection(0, true);
}

void CFontDialog::OnTypefaceChosen(CListItemInfo* info)
{
    if (!info) return;
    char text[256] = {};
    CListItemInfo cell;
    cell.mask = kListItemText;
    cell.row = info->row;
    cell.text = text;
    cell.textSize = sizeof text;
    if (typefaceList_.GetItem(cell)) typefaceField_.SetText(text, true);
}

void CFontDialog::OnSizeChosen(CListItemInfo* info)
{
    if (info && info->row >= 0 && size_t(info->row) < std::size(kSizes)) sizeField_.SetInt(kSizes[info->row], true);
}

void CFontDialog::ReadSelection()
{
    if (!font_) return;
    const FamilyRecord* record = SelectedFamily();
    FMFontFamily family = 0;
    FMFontStyle style = 0;
    bool read = false;
    if (record) {
        MenuRef menu = menu_;
        MenuItemIndex item = record->item;
        const int faceRow = typefaceList_.GetSelection();
        if (!record->typefaces.empty()) {
            const Typeface& face =
                record->typefaces[size_t(std::clamp<int>(faceRow, 0, int(record->typefaces.size()) - 1))];
            menu = face.submenu;
            item = face.item;
        }
        read = GetFontFamilyFromMenuSelection(menu, item, &family, &style) == noErr;
        if (read && family < 0) family = FMGetFontFamilyFromName(MenuItemText(menu, item));
    }
    if (read) font_->SetFontID(family);
    font_->SetStyle(read ? uint16_t(style) : 0);
    const long size = sizeField_.GetInt();
    if (size > 0 && size <= kLargestSize) font_->SetSize(int(size));
}

bool CFontDialog::OnCommand(UInt32 commandID, EventRef*)
{
    switch (commandID) {
        case kApplyCommand:
            ReadSelection();
            return true;
        case kOkCommand:
            ReadSelection();
            EndDialog(int(kOkCommand));
            return true;
        case kCancelCommand:
            EndDialog(int(kCancelCommand));
            return true;
        default:
            return false;
    }
}

bool CFontDialog::OnClose()
{
    int left = 0, top = 0, width = 0, height = 0;
    if (GetPosition(&left, &top) && GetSize(&width, &height)) lastFrame_ = LTRB(left, top, left + width, top + height);
    return false;
}

bool CFontDialog::OnSize(int width, int height)
{
    if (initial_.empty()) return false;
    const int dw = std::max(width - initialWidth_, -100);
    const int dh = std::max(height - initialHeight_, -100);
    for (const Placement& p : initial_) {
        const Rect& r = p.bounds;
        if (p.control == &familyList_) {
            p.control->SetSize(RectWidth(r) + dw, RectHeight(r) + dh);
        } else if (p.control == &familyField_) {
            p.control->SetWidth(RectWidth(r) + dw);
        } else if (p.control == &familyLabel_) {
            continue;
        } else {
            p.control->Move(r.left + dw, r.top);
            if (p.control == &typefaceList_ || p.control == &sizeList_) p.control->SetHeight(RectHeight(r) + dh);
        }
    }
    return true;
}
