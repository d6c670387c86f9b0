#include "ui/control.h"

#include "platform/gworld.h"
#include "platform/toolbox_controls.h"
#include "ui/dialog_window.h"

namespace {

// Coordinates are QuickDraw's 16-bit values.
SInt16 Cut(int value)
{
    return static_cast<SInt16>(value);
}

}  // namespace

CControl::~CControl()
{
    BaseDispose();
    // A nib control outlives the object bound to it: leave it no pointer
    // to this one.
    if (control_ && IsValidControlHandle(control_) &&
        GetControlReference(control_) == reinterpret_cast<SRefCon>(this))
        SetControlReference(control_, 0);
}

bool CControl::Create(CDialogWindow*, OSType, const Rect&, const char*)
{
    return control_ == nullptr;
}

bool CControl::Create(CDialogWindow*, OSType, const Rect&, int)
{
    return control_ == nullptr;
}

bool CControl::Attach(OSType signature, WindowRef* window, SInt32 id)
{
    // Binding over a held control would leak one made here, or later dispose
    // of the nib's control as if it were ours.
    if (control_ || !window) return false;
    ControlID cid{signature, id};
    ControlRef found = nullptr;
    if (GetControlByID(*window, &cid, &found) != noErr || !found) return false;
    control_ = found;
    signature_ = signature;
    controlIdNumber_ = id;
    window_ = *window;
    createdHere_ = false;
    return OnAttach();
}

bool CControl::Dispose()
{
    return BaseDispose();
}

bool CControl::BaseDispose()
{
    if (createdHere_ && control_) DisposeControl(control_);  // already gone with its window: nothing happens
    if (createdHere_) {
        control_ = nullptr;
        createdHere_ = false;
    }
    return true;
}

bool CControl::OnAttach()
{
    return true;
}

bool CControl::InitCreated(CDialogWindow* owner, OSType signature)
{
    if (!control_ || !owner) return false;
    SetControlReference(control_, reinterpret_cast<SRefCon>(this));
    SetControlCommandID(control_, signature);
    ControlID cid{signature, owner->GetControlIdNumber()};
    SetControlID(control_, &cid);
    signature_ = signature;
    controlIdNumber_ = owner->GetControlIdNumber();
    window_ = *owner->GetWindowRef();
    if (ControlRef pane = owner->GetPaneControl()) EmbedIn(pane);
    SetFontStyle();
    Draw1Control(control_);
    createdHere_ = true;
    return true;
}

bool CControl::FinishCreate(OSStatus status, ControlRef control, CDialogWindow* owner, OSType signature,
                            bool attachFirst)
{
    if (status != noErr) {
        lastStatus_ = status;
        return false;
    }
    control_ = control;
    if (attachFirst) OnAttach();
    return InitCreated(owner, signature);
}

bool CControl::SetFontStyle()
{
    ControlFontStyleRec style;
    style.flags = 1;  // use the font field
    style.font = -2;  // the small system font
    return SetControlFontStyle(control_, &style) == noErr;
}

bool CControl::EmbedIn(ControlRef parent)
{
    return EmbedControl(control_, parent) == noErr;
}

bool CControl::GetBounds(Rect* bounds)
{
    PortSaver saver;
    SetPortWindowPort(GetControlOwner(control_));
    GetControlBounds(control_, bounds);
    return true;
}

bool CControl::GetPosition(int* x, int* y)
{
    Rect r;
    GetBounds(&r);
    if (x) *x = r.left;
    if (y) *y = r.top;
    return true;
}

bool CControl::Move(int x, int y)
{
    MoveControl(control_, Cut(x), Cut(y));
    return true;
}

int CControl::GetLeft()
{
    Rect r;
    GetBounds(&r);
    return r.left;
}

bool CControl::SetLeft(int x)
{
    int left = 0, top = 0;
    GetPosition(&left, &top);
    return Move(x, top);
}

int CControl::GetTop()
{
    Rect r;
    GetBounds(&r);
    return r.top;
}

bool CControl::SetTop(int y)
{
    int left = 0, top = 0;
    GetPosition(&left, &top);
    return Move(left, y);
}

bool CControl::GetSize(int* width, int* height)
{
    Rect r;
    GetControlBounds(control_, &r);
    if (width) *width = RectWidth(r);
    if (height) *height = RectHeight(r);
    return true;
}

bool CControl::SetSize(int width, int height)
{
    SizeControl(control_, Cut(width), Cut(height));
    return true;
}

int CControl::GetWidth()
{
    Rect r;
    GetControlBounds(control_, &r);
    return RectWidth(r);
}

bool CControl::SetWidth(int width)
{
    int w = 0, h = 0;
    GetSize(&w, &h);
    return SetSize(width, h);
}

int CControl::GetHeight()
{
    Rect r;
    GetControlBounds(control_, &r);
    return RectHeight(r);
}

bool CControl::SetHeight(int height)
{
    int w = 0, h = 0;
    GetSize(&w, &h);
    return SetSize(w, height);
}

bool CControl::Draw()
{
    Draw1Control(control_);
    return true;
}

bool CControl::Enable(bool enable)
{
    OSErr status = enable ? ActivateControl(control_) : DeactivateControl(control_);
    return status == noErr;
}

bool CControl::Disable()
{
    return DeactivateControl(control_) == noErr;
}

bool CControl::Show(bool show)
{
    if (show)
        ShowControl(control_);
    else
        HideControl(control_);
    return true;
}

bool CControl::Hide()
{
    HideControl(control_);
    return true;
}

int CControl::GetDefaultHeight()
{
    return 16;
}
int CControl::GetHorzSpacing()
{
    return 8;
}
int CControl::GetVertSpacing()
{
    return 8;
}
