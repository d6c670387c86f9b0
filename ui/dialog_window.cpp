#include "ui/dialog_window.h"

#include "foundation/cfstring.h"
#include "platform/toolbox_services.h"
#include "ui/control.h"

namespace {

const EventTypeSpec kBaseEventTypes[] = {
    {kEventClassControl, kEventControlHit},
    {kEventClassCommand, kEventCommandProcess},
    {kEventClassTextInput, 1},
    {kEventClassWindow, kEventWindowInit},
    {kEventClassWindow, kEventWindowClose},
    {kEventClassWindow, kEventWindowDrawContent},
    {kEventClassWindow, kEventWindowBoundsChanged},
    {kEventClassWindow, kEventWindowBoundsChanging},
    {kEventClassWindow, kEventWindowActivated},
    {kEventClassKeyboard, kEventRawKeyUp},
    {kEventClassKeyboard, kEventRawKeyDown},
    {kEventClassMouse, kEventMouseDown},
    {kEventClassMouse, kEventMouseUp},
    {kEventClassMouse, kEventMouseMoved},
    {kEventClassFont, kEventFontPanelClosed},
    {kEventClassFont, kEventFontSelection},
};

constexpr UInt32 kShowFontsCommand = FourCC("shfp");
constexpr SInt16 kSheetBackgroundBrush = 50;

bool IsSheet(WindowRef window)
{
    WindowClass windowClass = 0;
    return GetWindowClass(window, &windowClass) == noErr && windowClass == kSheetWindowClass;
}

}  // namespace

CDialogWindow::CDialogWindow() = default;

CDialogWindow::~CDialogWindow()
{
    *alive_ = false;
    DestroyWindow();
}

// ---- Creation and running

int CDialogWindow::DoModal(const CNibRef& nib, const char* name, SInt32 controlIdNumber)
{
    controlIdNumber_ = controlIdNumber;
    result_ = -1;
    if (window_ || !name) return -1;  // one window per object
    CCFString cfName(name);
    if (CreateWindowFromNib(nib.Get(), cfName, &window_) != noErr) {
        window_ = nullptr;
        return -1;
    }
    if (!InstallHandler()) {
        DestroyWindow();
        return -1;
    }
    auto alive = alive_;
    OnInitDialog();
    if (!*alive) return -1;
    ShowWindow(window_);
    inModalLoop_ = true;
    RunAppModalLoopForWindow(window_);
    if (!*alive) return -1;
    inModalLoop_ = false;
    if (IsWindowVisible(window_)) HideWindow(window_);
    DestroyWindow();
    return result_;
}

bool CDialogWindow::CreateFromNibName(const CNibRef& nib, const char* name, WindowRef parent, SInt32 controlIdNumber)
{
    if (window_ || !name) return false;
    controlIdNumber_ = controlIdNumber;
    parent_ = parent;
    CCFString cfName(name);
    if (CreateWindowFromNib(nib.Get(), cfName, &window_) != noErr) {
        window_ = nullptr;
        return false;
    }
    if (!InstallHandler()) {
        DestroyWindow();
        return false;
    }
    return OnInitDialog();
}

bool CDialogWindow::CreateNew(short left, short top, short width, short height, UInt32 options, WindowRef parent,
                              SInt32 controlIdNumber)
{
    if (window_) return false;
    parent_ = parent;
    windowAttributes_ = options;
    controlIdNumber_ = controlIdNumber;
    WindowClass windowClass = kDocumentWindowClass;
    if (options & kDialogMovableModal)
        windowClass = kMovableModalWindowClass;
    else if (options & kDialogSheet)
        windowClass = kSheetWindowClass;
    else if (options & kDialogFloating)
        windowClass = kFloatingWindowClass;
    else if (options & kDialogUtility)
        windowClass = kUtilityWindowClass;
    WindowAttributes attributes = kWindowStandardHandlerAttribute;
    if (options & kDialogCloseBox) attributes |= kWindowCloseBoxAttribute;
    if (options & kDialogResizable) attributes |= kWindowResizableAttribute;
    Rect bounds;
    bounds.top = top;
    bounds.left = left;
    bounds.bottom = static_cast<int16_t>(top + height);
    bounds.right = static_cast<int16_t>(left + width);
    if (CreateNewWindow(windowClass, attributes, &bounds, &window_) != noErr) {
        window_ = nullptr;
        return false;
    }
    if (windowClass == kSheetWindowClass) SetThemeWindowBackground(window_, kSheetBackgroundBrush, false);
    if (!InstallHandler()) {
        DestroyWindow();
        return false;
    }
    auto alive = alive_;
    OnInitDialog();
    if (*alive && window_ && (options & kDialogShow)) ShowWindow(window_);
    return true;
}

bool CDialogWindow::AttachToControl(SInt32 paneId, WindowRef owner, SInt32 controlIdNumber)
{
    if (window_) return false;
    controlIdNumber_ = controlIdNumber;
    ControlID id{0, paneId};
    if (GetControlByID(owner, &id, &paneControl_) != noErr) {
        paneControl_ = nullptr;
        return false;
    }
    EventTypeSpec list[kMaxEventTypes];
    int count = GetEventTypes(list);
    handlerUPP_ = NewEventHandlerUPP(EventHandlerProc);
    if (InstallEventHandler(GetControlEventTarget(paneControl_), handlerUPP_, static_cast<UInt32>(count), list, this,
                            &handlerRef_) != noErr) {
        DisposeEventHandlerUPP(handlerUPP_);
        handlerUPP_ = nullptr;
        paneControl_ = nullptr;
        return false;
    }
    window_ = owner;
    isPane_ = true;
    auto alive = alive_;
    OnInitDialog();
    if (*alive) isPane_ = true;
    return true;
}

bool CDialogWindow::RunModalLoop()
{
    auto alive = alive_;
    inModalLoop_ = true;
    RunAppModalLoopForWindow(window_);
    if (!*alive) return false;
    inModalLoop_ = false;
    return true;
}

int CDialogWindow::ShowModal()
{
    result_ = -1;
    if (!window_) return -1;
    bool sheet = IsSheet(window_);
    // A sheet needs a window to hang from; without one it would run its loop
    // invisible, so it is shown as a movable modal dialog instead.
    if (sheet && ShowSheetWindow(window_, parent_) != noErr) {
        HIWindowChangeClass(window_, kMovableModalWindowClass);
        sheet = false;
    }
    if (!sheet) {
        ShowWindow(window_);
        ::BringToFront(window_);
    }
    if (!RunModalLoop()) return -1;
    if (!sheet && IsWindowVisible(window_)) HideWindow(window_);
    DestroyWindow();
    return result_;
}

bool CDialogWindow::EndDialog(int result)
{
    result_ = result;
    OSStatus status = noErr;
    if (window_ && !isPane_ && IsSheet(window_)) status = HideSheetWindow(window_);
    if (window_) status = QuitAppModalLoopForWindow(window_);
    auto alive = alive_;
    OnClose();
    if (!*alive) return status == noErr;
    DestroyWindow();
    if (status != noErr) {
        result_ = -1;
        return false;
    }
    return true;
}

bool CDialogWindow::DestroyWindow()
{
    if (!window_) return false;
    RemoveInstalledHandler(&handlerUPP_, &handlerRef_);
    if (isPane_) {
        // The window is the owner's.
        window_ = nullptr;
        paneControl_ = nullptr;
        isPane_ = false;
        focused_ = nullptr;
        return true;
    }
    if (dragTrackingUPP_) {
        RemoveTrackingHandler(dragTrackingUPP_, window_);
        DisposeDragTrackingHandlerUPP(dragTrackingUPP_);
        dragTrackingUPP_ = nullptr;
    }
    if (dragReceiveUPP_) {
        RemoveReceiveHandler(dragReceiveUPP_, window_);
        DisposeDragReceiveHandlerUPP(dragReceiveUPP_);
        dragReceiveUPP_ = nullptr;
    }
    DisposeWindow(window_);
    window_ = nullptr;
    focused_ = nullptr;
    return true;
}

bool CDialogWindow::InstallHandler()
{
    if (!window_) return false;
    EventTypeSpec list[kMaxEventTypes];
    int count = GetEventTypes(list);
    handlerUPP_ = NewEventHandlerUPP(EventHandlerProc);
    if (InstallEventHandler(GetWindowEventTarget(window_), handlerUPP_, static_cast<UInt32>(count), list, this,
                            &handlerRef_) != noErr) {
        DisposeEventHandlerUPP(handlerUPP_);
        handlerUPP_ = nullptr;
        handlerRef_ = nullptr;
        return false;
    }
    return true;
}

bool CDialogWindow::RemoveHandlers()
{
    bool ok = true;
    if (handlerRef_) ok = RemoveEventHandler(handlerRef_) == noErr;
    handlerRef_ = nullptr;
    if (handlerUPP_) DisposeEventHandlerUPP(handlerUPP_);
    handlerUPP_ = nullptr;
    return ok;
}

bool CDialogWindow::AttachControl(OSType signature, CControl* control)
{
    return control && control->Attach(signature, &window_, controlIdNumber_);
}

void CDialogWindow::SetFocusedControl(ControlRef control)
{
    if (control == focused_) return;
    ControlRef previous = focused_;
    auto alive = alive_;
    OnFocusChange(control, previous);
    if (*alive) focused_ = control;
}

bool CDialogWindow::InstallDragHandlers()
{
    if (!window_ || isPane_ || dragReceiveUPP_) return false;
    dragTrackingUPP_ = NewDragTrackingHandlerUPP(DragTrackingProc);
    dragReceiveUPP_ = NewDragReceiveHandlerUPP(DragReceiveProc);
    if (InstallTrackingHandler(dragTrackingUPP_, window_, this) != noErr ||
        InstallReceiveHandler(dragReceiveUPP_, window_, this) != noErr) {
        RemoveTrackingHandler(dragTrackingUPP_, window_);
        DisposeDragTrackingHandlerUPP(dragTrackingUPP_);
        DisposeDragReceiveHandlerUPP(dragReceiveUPP_);
        dragTrackingUPP_ = nullptr;
        dragReceiveUPP_ = nullptr;
        return false;
    }
    return true;
}

OSErr CDialogWindow::DragTrackingProc(SInt16 message, WindowRef, void* refCon, DragRef drag)
{
    auto* self = static_cast<CDialogWindow*>(refCon);
    if (!self) return noErr;
    if (message == kDragTrackingEnterHandler)
        self->OnDragEnter(drag);
    else if (message == kDragTrackingInWindow)
        self->OnDragInWindow(drag);
    return noErr;
}

OSErr CDialogWindow::DragReceiveProc(WindowRef, void* refCon, DragRef drag)
{
    if (auto* self = static_cast<CDialogWindow*>(refCon)) self->OnDragReceive(drag);
    return noErr;
}

// ---- Virtual defaults

bool CDialogWindow::PreTranslateEvent(EventRef*)
{
    return false;
}
bool CDialogWindow::OnInitDialog()
{
    return false;
}

bool CDialogWindow::OnClose()
{
    if (window_ && !isPane_) HideWindow(window_);
    if (inModalLoop_ && window_) QuitAppModalLoopForWindow(window_);
    DestroyWindow();
    return true;
}

bool CDialogWindow::OnDraw()
{
    return false;
}
bool CDialogWindow::OnCommand(UInt32, EventRef*)
{
    return false;
}
bool CDialogWindow::OnSize(int, int)
{
    return false;
}
bool CDialogWindow::OnSizing(Rect*)
{
    return false;
}
bool CDialogWindow::OnMove(int, int)
{
    return false;
}
bool CDialogWindow::OnMouseDown(int, int, UInt32)
{
    return false;
}
bool CDialogWindow::OnMouseUp(int, int, UInt32)
{
    return false;
}
bool CDialogWindow::OnRightMouseDown(int, int, UInt32)
{
    return false;
}
bool CDialogWindow::OnRightMouseUp(int, int, UInt32)
{
    return false;
}
bool CDialogWindow::OnMouseMoved(int, int, UInt32)
{
    return false;
}
bool CDialogWindow::OnDropFile(const CPath&, const Point*)
{
    return false;
}

bool CDialogWindow::OnDragReceive(DragRef drag)
{
    Point where;
    UInt16 count = 0;
    if (GetDragMouse(drag, &where, nullptr) != noErr || CountDragItems(drag, &count) != noErr) return false;
    CPathList paths;
    for (UInt16 i = 1; i <= count; ++i) {
        DragItemRef item = 0;
        HFSFlavor flavor;
        platform::FSRef ref;
        if (GetDragItemReferenceNumber(drag, i, &item) != noErr ||
            GetFlavorData(drag, item, kDragFlavorTypeHFS, &flavor) != noErr ||
            FSpMakeFSRef(&flavor.fileSpec, &ref) != noErr)
            continue;
        paths.Add(CPath(ref));
    }
    paths.SortByName();
    auto alive = alive_;
    Point none;
    none.h = kNoDropPosition;
    none.v = kNoDropPosition;
    for (size_t i = 0; i < paths.GetCount() && *alive; ++i) OnDropFile(*paths.GetAt(i), i == 0 ? &where : &none);
    return false;
}

bool CDialogWindow::OnDragEnter(DragRef)
{
    return false;
}
bool CDialogWindow::OnDragInWindow(DragRef)
{
    return false;
}
bool CDialogWindow::OnKeyDown(EventRef*)
{
    return false;
}
bool CDialogWindow::OnKeyUp(EventRef*)
{
    return false;
}
bool CDialogWindow::OnOpenDocument(const CPath&)
{
    return false;
}
bool CDialogWindow::OnHotKey(const EventHotKeyID*)
{
    return false;
}
bool CDialogWindow::OnEvent(UInt32, UInt32, EventRef*)
{
    return false;
}
bool CDialogWindow::OnFocusChange(ControlRef, ControlRef)
{
    return false;
}

int CDialogWindow::GetEventTypes(EventTypeSpec* list)
{
    if (window_ && !isPane_ && IsSheet(window_)) {
        list[0] = kBaseEventTypes[0];
        return 1;
    }
    int count = 0;
    for (const EventTypeSpec& spec : kBaseEventTypes) list[count++] = spec;
    return count;
}

// ---- Event handling

OSStatus CDialogWindow::EventHandlerProc(EventHandlerCallRef call, EventRef event, void* userData)
{
    if (!userData) return eventNotHandledErr;
    return static_cast<CDialogWindow*>(userData)->HandleEvent(call, event);
}

OSStatus CDialogWindow::HandleEvent(EventHandlerCallRef, EventRef event)
{
    // Any handler may delete this object; nothing of it is touched afterwards.
    auto alive = alive_;
    if (PreTranslateEvent(&event)) return noErr;
    if (!*alive) return noErr;
    auto handled = [](bool done) { return done ? noErr : eventNotHandledErr; };
    UInt32 cls = GetEventClass(event), kind = GetEventKind(event);
    switch (cls) {
        case kEventClassCommand: {
            if (kind != kEventCommandProcess) return eventNotHandledErr;
            HICommand command;
            GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr,
                              &command);
            if (OnCommand(command.commandID, &event)) return noErr;
            if (!*alive || command.commandID != kShowFontsCommand) return eventNotHandledErr;
            OSStatus status = FPShowHideFontPanel();
            if (FPIsFontPanelVisible()) {
                FontPanelStyle style{"Lucida Grande", 12};
                SetFontInfoForSelection(kFontSelectionATSUIType, 1, &style, GetWindowEventTarget(window_));
            }
            return status;
        }
        case kEventClassControl: {
            if (kind != kEventControlHit) return eventNotHandledErr;
            ControlRef control = nullptr;
            GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr,
                              &control);
            ControlID id;
            GetControlID(control, &id);
            bool done = OnCommand(id.signature, &event);
            if (*alive) SetFocusedControl(control);
            return handled(done);
        }
        case kEventClassKeyboard:
            if (kind == kEventRawKeyDown || kind == kEventRawKeyRepeat) return handled(OnKeyDown(&event));
            if (kind == kEventRawKeyUp) return handled(OnKeyUp(&event));
            return eventNotHandledErr;
        case kEventClassMouse: {
            if (kind != kEventMouseDown && kind != kEventMouseUp && kind != kEventMouseMoved) return eventNotHandledErr;
            Point where;
            UInt32 modifiers = 0;
            UInt16 button = kEventMouseButtonPrimary;
            GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof where, nullptr, &where);
            GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr,
                              &modifiers);
            GetEventParameter(event, kEventParamMouseButton, typeMouseButton, nullptr, sizeof button, nullptr, &button);
            if (modifiers & controlKey) button = kEventMouseButtonSecondary;
            if (kind == kEventMouseMoved) return handled(OnMouseMoved(where.h, where.v, modifiers));
            if (button == kEventMouseButtonPrimary)
                return handled(kind == kEventMouseDown ? OnMouseDown(where.h, where.v, modifiers)
                                                       : OnMouseUp(where.h, where.v, modifiers));
            if (button == kEventMouseButtonSecondary)
                return handled(kind == kEventMouseDown ? OnRightMouseDown(where.h, where.v, modifiers)
                                                       : OnRightMouseUp(where.h, where.v, modifiers));
            return eventNotHandledErr;
        }
        case kEventClassWindow:
            switch (kind) {
                case kEventWindowUpdate: {
                    WindowRef window = nullptr;
                    GetEventParameter(event, kEventParamDirectObject, typeWindowRef, nullptr, sizeof window, nullptr,
                                      &window);
                    BeginUpdate(window);
                    bool done = OnDraw();
                    EndUpdate(window);
                    return handled(done);
                }
                case kEventWindowDrawContent:
                    return handled(OnDraw());
                case kEventWindowBoundsChanging: {
                    Rect bounds;
                    GetEventParameter(event, kEventParamCurrentBounds, typeQDRectangle, nullptr, sizeof bounds, nullptr,
                                      &bounds);
                    return handled(OnSizing(&bounds));
                }
                case kEventWindowBoundsChanged: {
                    Rect previous, current;
                    GetEventParameter(event, kEventParamOriginalBounds, typeQDRectangle, nullptr, sizeof previous,
                                      nullptr, &previous);
                    GetEventParameter(event, kEventParamCurrentBounds, typeQDRectangle, nullptr, sizeof current,
                                      nullptr, &current);
                    if (RectWidth(previous) == RectWidth(current) && RectHeight(previous) == RectHeight(current))
                        return handled(OnMove(current.left, current.top));
                    return handled(OnSize(RectWidth(current), RectHeight(current)));
                }
                case kEventWindowClose:
                    return handled(OnClose());
                default:
                    return eventNotHandledErr;
            }
        case kEventClassFont:
            return eventNotHandledErr;
        default:
            return handled(OnEvent(cls, kind, &event));
    }
}

// ---- Window utilities

Rect CDialogWindow::ContentBounds() const
{
    Rect bounds;
    GetWindowBounds(window_, kWindowContentRgn, &bounds);
    return bounds;
}

bool CDialogWindow::Show(bool show)
{
    if (show)
        ShowWindow(window_);
    else
        HideWindow(window_);
    return true;
}

bool CDialogWindow::Hide()
{
    HideWindow(window_);
    return true;
}

bool CDialogWindow::IsVisible() const
{
    return IsWindowVisible(window_);
}
bool CDialogWindow::Activate(bool active)
{
    return ActivateWindow(window_, active) == noErr;
}

bool CDialogWindow::BringToFront()
{
    ::BringToFront(window_);
    return true;
}

bool CDialogWindow::GetPosition(int* left, int* top) const
{
    Rect r = ContentBounds();
    if (left) *left = r.left;
    if (top) *top = r.top;
    return true;
}

bool CDialogWindow::Move(short h, short v)
{
    MoveWindow(window_, h, v, false);
    return true;
}

bool CDialogWindow::Reposition(WindowRef parent)
{
    RepositionWindow(window_, parent, kWindowCenterOnMainScreen);
    return true;
}

bool CDialogWindow::GetSize(int* width, int* height) const
{
    Rect r = ContentBounds();
    if (width) *width = RectWidth(r);
    if (height) *height = RectHeight(r);
    return true;
}

bool CDialogWindow::SetSize(short width, short height)
{
    SizeWindow(window_, width, height, true);
    return true;
}

int CDialogWindow::GetWidth() const
{
    return RectWidth(ContentBounds());
}
int CDialogWindow::GetHeight() const
{
    return RectHeight(ContentBounds());
}

bool CDialogWindow::SetWidth(short width)
{
    SizeWindow(window_, width, static_cast<SInt16>(GetHeight()), true);
    return true;
}

bool CDialogWindow::SetHeight(short height)
{
    SizeWindow(window_, static_cast<SInt16>(GetWidth()), height, true);
    return true;
}

bool CDialogWindow::SetTitle(const char* title)
{
    CCFString cfTitle(title ? title : "");
    return SetWindowTitleWithCFString(window_, cfTitle) == noErr;
}
