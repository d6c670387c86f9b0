#include "media/image_pane.h"

#include <cmath>

#include "foundation/system_utils.h"
#include "platform/movie_toolbox.h"
#include "ui/dialog_window.h"

const EventTypeSpec kPaneUpdateEvent{kEventClassWindow, kEventWindowUpdate};

namespace {

Rect LocalRect(int width, int height)
{
    return Rect{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
}

}  // namespace

Rect FitImageRect(int imageWidth, int imageHeight, int paneWidth, int paneHeight)
{
    double w = imageWidth, h = imageHeight;
    if (w > paneWidth) {
        w = paneWidth;
        h = std::trunc(double(paneWidth) * imageHeight / imageWidth + 0.5);
    }
    if (h > paneHeight) {
        w = std::trunc(double(paneHeight) * w / h + 0.5);
        h = paneHeight;
    }
    const int iw = static_cast<int>(w), ih = static_cast<int>(h);
    // Halving rounds toward minus infinity.
    const int left = (paneWidth >> 1) - (iw >> 1);
    const int top = (paneHeight >> 1) - (ih >> 1);
    return Rect{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(top + ih),
                static_cast<int16_t>(left + iw)};
}

CImagePane::~CImagePane()
{
    Detach();
}

bool CImagePane::Create(CDialogWindow* window, OSType commandId, const Rect& bounds, const char*)
{
    if (!window || GetControlRef()) return false;
    ControlRef control = nullptr;
    OSStatus status = CreateUserPaneControl(*window->GetWindowRef(), &bounds, 0, &control);
    if (status != noErr) {
        SetLastStatus(status);
        return false;
    }
    ShowControl(control);
    SetControlRef(control);
    Attach();
    return InitCreated(window, commandId);
}

bool CImagePane::Attach()
{
    if (!binding_.Attach(*this, GetControlEventTarget, &kPaneUpdateEvent, 1, EventProc, DrawProc)) return false;
    RecreateOffscreen();
    return true;
}

bool CImagePane::Detach()
{
    const bool ok = binding_.Detach(GetControlRef());
    DisposeGWorldSafe(&imageWorld_);
    return Dispose() && ok;
}

bool CImagePane::RecreateOffscreen()
{
    if (!GetControlRef()) return false;
    int width = 0, height = 0;
    GetSize(&width, &height);
    sourceRect_ = destRect_ = LocalRect(width, height);
    DisposeGWorldSafe(&imageWorld_);
    return CreateGWorld(&imageWorld_, width, height, 32);
}

bool CImagePane::SetImage(const CImage& image)
{
    sourceRect_ = LocalRect(static_cast<int>(image.width), static_cast<int>(image.height));
    int width = 0, height = 0;
    if (GetControlRef()) GetSize(&width, &height);
    destRect_ = FitImageRect(static_cast<int>(image.width), static_cast<int>(image.height), width, height);
    DisposeGWorldSafe(&imageWorld_);
    // An empty picture makes no world; the draw then leaves the pane black.
    const int step = image.BytesPerPixel();
    if (image.pixels && step >= 3 &&
        CreateGWorld(&imageWorld_, static_cast<int>(image.width), static_cast<int>(image.height), 32)) {
        imageWorld_->LockPixels();
        for (uint32_t y = 0; y < image.height; ++y) {
            uint8_t* out = imageWorld_->RowAt(static_cast<int>(y));
            const uint8_t* in = image.pixels + size_t(y) * image.width * step;
            for (uint32_t x = 0; x < image.width; ++x, out += 4, in += step) {
                out[1] = in[0];
                out[2] = in[1];
                out[3] = in[2];
            }
        }
        imageWorld_->UnlockPixels();
    }
    Refresh();
    return true;
}

bool CImagePane::Refresh()
{
    DrawPane();
    return true;
}

void CImagePane::DrawPane()
{
    ControlRef control = GetControlRef();
    GWorldPtr paneWorld = binding_.world;
    if (!control || !paneWorld || !IsControlVisible(control)) return;
    Rect bounds;
    GetControlBounds(control, &bounds);
    const Rect local = LocalRect(RectWidth(bounds), RectHeight(bounds));
    PortSaver saver;
    SetGWorld(paneWorld);
    PaintRect(&local);
    WindowRef window = GetControlOwner(control);
    SetPortWindowPort(window);
    CGrafPtr port = GetWindowPort(window);
    RgnHandle visible = GetPortVisibleRegion(port, NewRgn());
    if (imageWorld_)
        CopyBits(GetPortBitMapForCopyBits(imageWorld_), GetPortBitMapForCopyBits(paneWorld), &sourceRect_,
                 &destRect_, srcCopy, nullptr);
    CopyBits(GetPortBitMapForCopyBits(paneWorld), GetPortBitMapForCopyBits(port), &local, &bounds, srcCopy,
             visible);
    DisposeRgn(visible);
}

OSStatus CImagePane::EventProc(EventHandlerCallRef, EventRef, void* userData)
{
    if (auto* pane = PaneFromUserData<CImagePane>(userData)) pane->DrawPane();
    return eventNotHandledErr;
}

void CImagePane::DrawProc(ControlRef control, SInt16)
{
    if (auto* pane = PaneFromControl<CImagePane>(control)) {
        pane->DrawPane();
        return;
    }
    Rect bounds;
    GetControlBounds(control, &bounds);
    PaintRect(&bounds);
}

bool PaneBinding::Attach(CControl& pane, EventTargetRef (*target)(ControlRef), const EventTypeSpec* types,
                         UInt32 count, EventHandlerProcPtr handlerProc, ControlUserPaneDrawProcPtr drawProc)
{
    ControlRef control = pane.GetControlRef();
    if (!control) return false;
    Rect bounds;
    GetControlBounds(control, &bounds);
    DisposeGWorldSafe(&world);
    if (!CreateGWorld(&world, RectWidth(bounds), RectHeight(bounds), 32)) return false;
    SetControlReference(control, reinterpret_cast<SRefCon>(&pane));
    if (!handlerUPP) handlerUPP = NewEventHandlerUPP(handlerProc);
    if (!handler && InstallEventHandler(target(control), handlerUPP, count, types, &pane, &handler) != noErr)
        handler = nullptr;
    if (!drawUPP) drawUPP = NewControlUserPaneDrawUPP(drawProc);
    SetControlData(control, 0, kControlUserPaneDrawProcTag, sizeof drawUPP, &drawUPP);
    return true;
}

bool PaneBinding::StartTimer(double interval, void* userData)
{
    if (timer || !timerUPP) return false;
    return InstallEventLoopTimer(GetMainEventLoop(), interval, interval, timerUPP, userData, &timer) == noErr;
}

bool PaneBinding::StopTimer()
{
    if (!timer) return true;
    RemoveEventLoopTimer(timer);
    timer = nullptr;
    return false;
}

bool PaneBinding::Detach(ControlRef control)
{
    bool ok = true;
    if (handler) {
        ok = RemoveEventHandler(handler) == noErr;
        handler = nullptr;
    }
    if (handlerUPP) {
        DisposeEventHandlerUPP(handlerUPP);
        handlerUPP = nullptr;
    }
    if (!StopTimer()) ok = false;
    if (timerUPP) {
        DisposeEventLoopTimerUPP(timerUPP);
        timerUPP = nullptr;
    }
    DisposeGWorldSafe(&world);
    // The control may outlive the pane object: it must not call back into it.
    if (control && GetControlOwner(control)) {
        ControlUserPaneDrawUPP none = nullptr;
        SetControlData(control, 0, kControlUserPaneDrawProcTag, sizeof none, &none);
        SetControlReference(control, 0);
    }
    if (drawUPP) {
        DisposeControlUserPaneDrawUPP(drawUPP);
        drawUPP = nullptr;
    }
    return ok;
}

void PaneBinding::Draw(ControlRef control)
{
    if (!control || !world) return;
    PortSaver saver;
    WindowRef window = GetControlOwner(control);
    SetPortWindowPort(window);
    CGrafPtr port = GetWindowPort(window);
    RgnHandle visible = GetPortVisibleRegion(port, NewRgn());
    Rect bounds;
    GetControlBounds(control, &bounds);
    const Rect source{0, 0, static_cast<int16_t>(RectHeight(bounds)), static_cast<int16_t>(RectWidth(bounds))};
    CopyBits(GetPortBitMapForCopyBits(world), GetPortBitMapForCopyBits(port), &source, &bounds, srcCopy, visible);
    DisposeRgn(visible);
}

