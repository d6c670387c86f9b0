#include "ui/image_views.h"

#include <algorithm>
#include <cmath>

#include "foundation/system_utils.h"
#include "platform/fixed_math.h"
#include "ui/dialog_window.h"

namespace {

int16_t Q(double value)
{
    return static_cast<int16_t>(std::clamp(value, -32767.0, 32767.0));
}

void Offset(Rect& r, int dh, int dv)
{
    r = MakeRect(r.top + dv, r.left + dh, r.bottom + dv, r.right + dh);
}

// The worlds and procedures both views install on their user pane.
bool AttachPane(CControl& view, GWorldPtr* composite, GWorldPtr* picture, ControlUserPaneDrawUPP* draw,
                ControlUserPaneHitTestUPP* hitTest, ControlUserPaneDrawProcPtr drawProc,
                ControlUserPaneHitTestProcPtr hitTestProc)
{
    const int w = view.GetWidth(), h = view.GetHeight();
    DisposeGWorldSafe(composite);
    DisposeGWorldSafe(picture);
    if (!CreateGWorld(composite, w, h, 32) || !CreateGWorld(picture, w, h, 32)) {
        DisposeGWorldSafe(composite);
        DisposeGWorldSafe(picture);
        return false;
    }
    ControlRef control = view.GetControlRef();
    SetControlReference(control, reinterpret_cast<SRefCon>(&view));
    if (!*draw) *draw = NewControlUserPaneDrawUPP(drawProc);
    if (!*hitTest) *hitTest = NewControlUserPaneHitTestUPP(hitTestProc);
    SetControlData(control, 0, kControlUserPaneDrawProcTag, sizeof *draw, draw);
    SetControlData(control, 0, kControlUserPaneHitTestProcTag, sizeof *hitTest, hitTest);
    return true;
}

void DetachPane(CControl& view, GWorldPtr* composite, GWorldPtr* picture, ControlUserPaneDrawUPP* draw,
                ControlUserPaneHitTestUPP* hitTest)
{
    ControlRef control = view.GetControlRef();
    if (IsValidControlHandle(control)) {
        ControlUserPaneDrawUPP noDraw = nullptr;
        ControlUserPaneHitTestUPP noHit = nullptr;
        SetControlData(control, 0, kControlUserPaneDrawProcTag, sizeof noDraw, &noDraw);
        SetControlData(control, 0, kControlUserPaneHitTestProcTag, sizeof noHit, &noHit);
    }
    DisposeControlUserPaneDrawUPP(*draw);
    DisposeControlUserPaneHitTestUPP(*hitTest);
    *draw = nullptr;
    *hitTest = nullptr;
    DisposeGWorldSafe(composite);
    DisposeGWorldSafe(picture);
}

// Composite world to the window, at the control's bounds.
void Present(CControl& view, GWorldPtr composite, const Rect& viewRect, const Rect& bounds)
{
    PortSaver saver;
    WindowRef window = view.GetOwnerWindow();
    SetPortWindowPort(window);
    CopyBits(GetPortBitMapForCopyBits(composite), GetPortBitMapForCopyBits(GetWindowPort(window)), &viewRect, &bounds,
             srcCopy, nullptr);
}

// Follows a press until the button is released: step(dh, dv) after every
// mouse event, the release included, with the window's port current.
template <class Step>
void FollowPress(CControl& view, Step step)
{
    PortSaver saver;
    WindowRef window = view.GetOwnerWindow();
    SetPortWindowPort(window);
    Point previous;
    GetMouse(&previous);
    for (;;) {
        Point where;
        MouseTrackingResult result = 0;
        TrackMouseLocation(GetWindowPort(window), &where, &result);
        step(where.h - previous.h, where.v - previous.v);
        previous = where;
        if (result == kMouseTrackingMouseUp) break;
    }
}

template <class View>
View* ViewOf(ControlRef control)
{
    return reinterpret_cast<View*>(GetControlReference(control));
}

}  // namespace

// ---- CImageCropView

CImageCropView::~CImageCropView()
{
    DetachPane(*this, &composite_, &pictureWorld_, &drawUPP_, &hitTestUPP_);
}

bool CImageCropView::OnAttach()
{
    if (!AttachPane(*this, &composite_, &pictureWorld_, &drawUPP_, &hitTestUPP_, DrawProc, HitTestProc)) return false;
    view_ = MakeRect(0, 0, GetHeight(), GetWidth());
    GetControlBounds(GetControlRef(), &bounds_);
    origin_ = Point{bounds_.top, bounds_.left};
    return true;
}

bool CImageCropView::SetImage(CGrafPtr source, const Rect& s, const Rect& picture, const Rect& crop)
{
    const int W = RectWidth(view_), H = RectHeight(view_);
    const int w0 = s.right, h0 = s.bottom;
    // Nothing to scale from or to: the view shows nothing rather than divide by zero.
    if (!source || !pictureWorld_ || w0 <= 0 || h0 <= 0 || picture.right <= 0 || picture.bottom <= 0 || W <= 0 ||
        H <= 0) {
        Clear();
        return false;
    }
    int w = w0, h = h0;
    if (w0 > W) {
        w = W;
        h = RoundToInt(double(W) * h0 / w0);
    }
    if (h > H) {
        w = RoundToInt(double(H) * w0 / h0);
        h = H;
    }
    const int top = H / 2 - h / 2, left = W / 2 - w / 2;
    picture_ = MakeRect(top, left, top + h, left + w);
    hScale_ = double(w) / picture.right;
    vScale_ = double(h) / picture.bottom;
    CopyBits(GetPortBitMapForCopyBits(source), GetPortBitMapForCopyBits(pictureWorld_), &s, &picture_, srcCopy,
             nullptr);
    SetCropRect(crop, false);
    return true;
}

void CImageCropView::SetCropRect(const Rect& c, bool redraw)
{
    cropPixels_ = c;
    cropView_ = MakeRect(std::trunc(c.top * vScale_ + 0.5), std::trunc(c.left * hScale_ + 0.5),
                         std::trunc(c.bottom * vScale_ + 0.5), std::trunc(c.right * hScale_ + 0.5));
    Offset(cropView_, picture_.left, picture_.top);
    if (redraw) Redraw();
}

void CImageCropView::SetState(int editing)
{
    editing_ = editing;
    Redraw();
}

void CImageCropView::Clear()
{
    SetState(0);
    if (pictureWorld_) ClearGWorld(pictureWorld_, RectWidth(view_), RectHeight(view_));
    hScale_ = vScale_ = 0;
    picture_ = Rect{};
    Redraw();
}

void CImageCropView::SetChangeHandler(ChangeHandler handler, intptr_t context)
{
    handler_ = handler;
    context_ = context;
}

void CImageCropView::Redraw()
{
    if (!composite_ || !IsControlVisible(GetControlRef())) return;
    {
        PortSaver saver;
        SetGWorld(composite_);
        ClearGWorld(composite_, RectWidth(view_), RectHeight(view_));
        CopyBits(GetPortBitMapForCopyBits(pictureWorld_), GetPortBitMapForCopyBits(composite_), &picture_, &picture_,
                 srcCopy, nullptr);
        if (editing_) DrawCropFrame();
    }
    Present(*this, composite_, view_, bounds_);
}

void CImageCropView::DrawCropFrame()
{
    const int left = std::min(cropView_.left, cropView_.right), right = std::max(cropView_.left, cropView_.right);
    const int top = std::min(cropView_.top, cropView_.bottom), bottom = std::max(cropView_.top, cropView_.bottom);
    const int halfW = (right - left) / 2, halfH = (bottom - top) / 2;
    const int xs[3] = {left, left + halfW, left + 2 * halfW};
    const int ys[3] = {top, top + halfH, top + 2 * halfH};
    PenMode(patXor);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            if (row == 1 && col == 1) continue;
            Rect handle = MakeRect(ys[row] - 4, xs[col] - 4, ys[row] + 4, xs[col] + 4);
            FrameRect(&handle);
        }
    auto segment = [](int h0, int v0, int h1, int v1) {
        if (h1 < h0 || v1 < v0) return;  // the squares touch: no room for an edge
        MoveTo(Q(h0), Q(v0));
        LineTo(Q(h1), Q(v1));
    };
    for (int i = 0; i < 2; ++i) {
        segment(xs[i] + 4, top, xs[i + 1] - 5, top);
        segment(xs[i] + 4, ys[2], xs[i + 1] - 5, ys[2]);
        segment(left, ys[i] + 4, left, ys[i + 1] - 5);
        segment(xs[2], ys[i] + 4, xs[2], ys[i + 1] - 5);
    }
    PenMode(patCopy);
}

bool CImageCropView::HandleMouseDown(int h, int v)
{
    if (!editing_) return false;
    const int x = origin_.h + cropView_.left, y = origin_.v + cropView_.top;
    const int w = RectWidth(cropView_), hh = RectHeight(cropView_);
    if (h < x - 4 || h > x + w + 4 || v < y - 4 || v > y + hh + 4) return false;
    auto within = [](int p, int at) { return p >= at - 4 && p <= at + 4; };
    const bool colL = within(h, x), colM = within(h, x + w / 2), colR = within(h, x + 2 * (w / 2));
    const bool rowT = within(v, y), rowM = within(v, y + hh / 2), rowB = within(v, y + 2 * (hh / 2));
    enum { L = 1, T = 2, R = 4, B = 8 };
    int edges = L | T | R | B;  // inside: the whole rectangle moves
    if (rowT && colL)
        edges = L | T;
    else if (rowT && colM)
        edges = T;
    else if (rowT && colR)
        edges = T | R;
    else if (rowM && colR)
        edges = R;
    else if (rowB && colR)
        edges = R | B;
    else if (rowB && colM)
        edges = B;
    else if (rowB && colL)
        edges = B | L;
    else if (rowM && colL)
        edges = L;
    const bool move = edges == (L | T | R | B);

    FollowPress(*this, [&](int dh, int dv) {
        Rect& c = cropView_;
        if (move) {
            Offset(c, dh, dv);
            // The rectangle keeps its size against the picture's edges.
            if (c.left < picture_.left)
                Offset(c, picture_.left - c.left, 0);
            else if (c.right > picture_.right)
                Offset(c, picture_.right - c.right, 0);
            if (c.top < picture_.top)
                Offset(c, 0, picture_.top - c.top);
            else if (c.bottom > picture_.bottom)
                Offset(c, 0, picture_.bottom - c.bottom);
        } else {
            auto clampH = [&](int value) { return Q(std::clamp<int>(value, picture_.left, picture_.right)); };
            auto clampV = [&](int value) { return Q(std::clamp<int>(value, picture_.top, picture_.bottom)); };
            if (edges & L) c.left = clampH(c.left + dh);
            if (edges & R) c.right = clampH(c.right + dh);
            if (edges & T) c.top = clampV(c.top + dv);
            if (edges & B) c.bottom = clampV(c.bottom + dv);
        }
        Redraw();
    });
    if (!move) {
        if (cropView_.right < cropView_.left) std::swap(cropView_.left, cropView_.right);
        if (cropView_.top > cropView_.bottom) std::swap(cropView_.top, cropView_.bottom);
    }
    Report();
    return true;
}

void CImageCropView::Report()
{
    if (!handler_ || hScale_ <= 0 || vScale_ <= 0) return;
    cropPixels_ = MakeRect(std::trunc((cropView_.top - picture_.top) / vScale_ + 0.5),
                           std::trunc((cropView_.left - picture_.left) / hScale_ + 0.5),
                           std::trunc((cropView_.bottom - picture_.top) / vScale_ + 0.5),
                           std::trunc((cropView_.right - picture_.left) / hScale_ + 0.5));
    handler_(&cropPixels_, context_);
}

void CImageCropView::DrawProc(ControlRef control, SInt16)
{
    if (auto* self = ViewOf<CImageCropView>(control)) self->Redraw();
}

ControlPartCode CImageCropView::HitTestProc(ControlRef control, Point where)
{
    if (auto* self = ViewOf<CImageCropView>(control)) self->HandleMouseDown(where.h, where.v);
    return kControlNoPart;
}

// ---- CPanZoomView

CPanZoomView::~CPanZoomView()
{
    DetachPane(*this, &composite_, &pictureWorld_, &drawUPP_, &hitTestUPP_);
}

bool CPanZoomView::OnAttach()
{
    if (!AttachPane(*this, &composite_, &pictureWorld_, &drawUPP_, &hitTestUPP_, DrawProc, HitTestProc)) return false;
    attachWidth_ = GetWidth();
    attachHeight_ = GetHeight();
    view_ = MakeRect(0, 0, attachHeight_, attachWidth_);
    GetControlBounds(GetControlRef(), &bounds_);
    origin_ = Point{bounds_.top, bounds_.left};
    return true;
}

bool CPanZoomView::SetImage(CGrafPtr source, const Rect& s, const Rect& frame)
{
    frame_ = frame;
    const int fw = RectWidth(frame), fh = RectHeight(frame);
    // The size at attach: a frame of another shape must not shrink it for good.
    const int W = attachWidth_, H = attachHeight_;
    if (!source || !composite_ || fw <= 0 || fh <= 0 || s.right <= 0 || s.bottom <= 0 || W <= 0 || H <= 0) {
        Clear();
        return false;
    }
    int w = fw, h = fh;
    if (fw != W) {
        w = W;
        h = RoundToInt(double(W) * fh / fw);
    }
    if (h > H) {
        w = RoundToInt(double(w) * H / h);
        h = H;
    }
    SetSize(w, h);
    view_ = MakeRect(0, 0, h, w);
    GetControlBounds(GetControlRef(), &bounds_);
    const int iw = RoundToInt(s.right * (double(w) / fw));
    const int ih = RoundToInt(s.bottom * (double(h) / fh));
    if (iw <= 0 || ih <= 0) {
        Clear();
        return false;
    }
    if (!pictureWorld_ || pictureWorld_->Width() != iw || pictureWorld_->Height() != ih) {
        DisposeGWorldSafe(&pictureWorld_);
        if (!CreateGWorld(&pictureWorld_, iw, ih, 32)) {
            Clear();
            return false;
        }
    }
    hScale_ = double(iw) / s.right;
    vScale_ = double(ih) / s.bottom;
    picture_ = MakeRect(0, 0, ih, iw);
    CopyBits(GetPortBitMapForCopyBits(source), GetPortBitMapForCopyBits(pictureWorld_), &s, &picture_, srcCopy,
             nullptr);
    home_ = zoom_ = picture_;
    return true;
}

void CPanZoomView::SetZoom(double zoom, bool redraw)
{
    zoomFactor_ = zoom;
    const int nw = static_cast<int>(RectWidth(home_) * zoom), nh = static_cast<int>(RectHeight(home_) * zoom);
    const int left = zoom_.left + (RectWidth(zoom_) >> 1) - (nw >> 1);
    const int top = zoom_.top + (RectHeight(zoom_) >> 1) - (nh >> 1);
    zoom_ = MakeRect(top, left, top + nh, left + nw);
    if (redraw) Redraw();
}

void CPanZoomView::SetCenter(int dx, int dy, bool redraw)
{
    zoom_ = home_;
    Offset(zoom_, RoundToInt(dx * hScale_), RoundToInt(dy * vScale_));
    SetZoom(zoomFactor_, redraw);
}

void CPanZoomView::SetOrigin(int x, int y, double zoom, bool redraw)
{
    const int left = RoundToInt(x * hScale_), top = RoundToInt(y * vScale_);
    home_ = MakeRect(top, left, top + RectHeight(home_), left + RectWidth(home_));
    zoom_ = home_;
    SetZoom(zoom, redraw);
}

void CPanZoomView::Clear()
{
    if (pictureWorld_) ClearGWorld(pictureWorld_, pictureWorld_->Width(), pictureWorld_->Height());
    hScale_ = vScale_ = 0;
    picture_ = home_ = zoom_ = Rect{};
    mode_ = 0;
    Redraw();
}

void CPanZoomView::SetChangeHandler(ChangeHandler handler, intptr_t context)
{
    handler_ = handler;
    context_ = context;
}

void CPanZoomView::Redraw()
{
    if (!composite_ || !IsControlVisible(GetControlRef())) return;
    ClearGWorld(composite_, composite_->Width(), composite_->Height());
    if (pictureWorld_)
        CopyBits(GetPortBitMapForCopyBits(pictureWorld_), GetPortBitMapForCopyBits(composite_), &picture_, &zoom_,
                 srcCopy, nullptr);
    Present(*this, composite_, view_, bounds_);
}

void CPanZoomView::Drag()
{
    dragDx_ = dragDy_ = 0;
    FollowPress(*this, [&](int dh, int dv) {
        Offset(zoom_, dh, dv);
        dragDx_ += dh;
        dragDy_ += dv;
        Redraw();
        Report(0);
    });
    Report(1);
}

void CPanZoomView::Report(int final)
{
    if (!handler_ || hScale_ <= 0 || vScale_ <= 0) return;
    const double zx = zoom_.left + RectWidth(zoom_) * 0.5, hx = home_.left + RectWidth(home_) * 0.5;
    const double zy = zoom_.top + RectHeight(zoom_) * 0.5, hy = home_.top + RectHeight(home_) * 0.5;
    handler_(RoundToInt((zx - hx) / hScale_), RoundToInt((zy - hy) / vScale_), final, context_);
}

void CPanZoomView::DrawProc(ControlRef control, SInt16)
{
    if (auto* self = ViewOf<CPanZoomView>(control)) self->Redraw();
}

ControlPartCode CPanZoomView::HitTestProc(ControlRef control, Point)
{
    auto* self = ViewOf<CPanZoomView>(control);
    if (self && self->mode_ != 0 && StillDown()) self->Drag();
    return kControlNoPart;
}

// ---- CImageWell

CImageWell::~CImageWell()
{
    ClearImage();
}

bool CImageWell::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !owner || !owner->GetWindow()) return false;
    ControlRef control = nullptr;
    OSStatus status = CreateImageWellControl(owner->GetWindow(), &bounds, nullptr, &control);
    if (status != noErr) {
        SetLastStatus(status);
        return false;
    }
    SetControlRef(control);
    return InitCreated(owner, signature);
}

bool CImageWell::OnAttach()
{
    if (picture_) KillPicture(picture_);
    picture_ = nullptr;
    ControlButtonContentInfo content;
    if (GetImageWellContentInfo(GetControlRef(), &content) == noErr && content.contentType == kControlContentPictHandle)
        picture_ = content.u.picture;
    return true;
}

bool CImageWell::ClearImage()
{
    ControlButtonContentInfo none;
    bool accepted = SetImageWellContentInfo(GetControlRef(), &none) == noErr;
    if (picture_) KillPicture(picture_);
    picture_ = nullptr;
    return accepted;
}
