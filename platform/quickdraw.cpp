#include "platform/quickdraw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

struct OpaquePicture {
    Rect frame;
    bool filled = false;
    RGBColor fill;
};

namespace {

std::set<PicHandle> g_pictures;
PicHandle g_recording = nullptr;

bool Inside(const Rect& r, int h, int v)
{
    return h >= r.left && h < r.right && v >= r.top && v < r.bottom;
}

Rect Intersect(const Rect& a, const Rect& b)
{
    Rect r;
    r.left = std::max(a.left, b.left);
    r.top = std::max(a.top, b.top);
    r.right = std::min(a.right, b.right);
    r.bottom = std::min(a.bottom, b.bottom);
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

void Plot(GWorld* port, int h, int v, const RGBColor& color)
{
    if (!Inside(port->ClipBounds(), h, v)) return;
    if (port->PenModeValue() == patXor) {
        RGBColor old = port->GetCPixel(h, v);
        port->SetCPixel(h, v, RGBColor{uint16_t(~old.red), uint16_t(~old.green), uint16_t(~old.blue)});
    } else {
        port->SetCPixel(h, v, color);
    }
}

void Fill(const Rect* rect, const RGBColor& color, bool pen)
{
    GWorld* port = GetGWorld();
    if (!port || !rect) return;
    if (g_recording) {
        g_recording->filled = true;
        g_recording->fill = color;
    }
    Rect r = Intersect(Intersect(*rect, port->GetPortBounds()), port->ClipBounds());
    for (int v = r.top; v < r.bottom; ++v)
        for (int h = r.left; h < r.right; ++h) pen ? Plot(port, h, v, color) : port->SetCPixel(h, v, color);
}

}  // namespace

RgnHandle NewRgn()
{
    return new OpaqueRgn{};
}

void DisposeRgn(RgnHandle region)
{
    delete region;
}

void RectRgn(RgnHandle region, const Rect* rect)
{
    if (region && rect) region->bounds = *rect;
}

void SetEmptyRgn(RgnHandle region)
{
    if (region) region->bounds = Rect{};
}

bool EmptyRgn(RgnHandle region)
{
    return !region || RectWidth(region->bounds) <= 0 || RectHeight(region->bounds) <= 0;
}

void GetClip(RgnHandle region)
{
    if (GWorld* port = GetGWorld(); port && region) region->bounds = port->ClipBounds();
}

void SetClip(RgnHandle region)
{
    if (GWorld* port = GetGWorld(); port && region) port->SetClipBounds(region->bounds);
}

void ClipRect(const Rect* rect)
{
    if (GWorld* port = GetGWorld(); port && rect) port->SetClipBounds(*rect);
}

void RGBForeColor(const RGBColor* color)
{
    if (GWorld* port = GetGWorld(); port && color) port->SetForeColor(*color);
}

void RGBBackColor(const RGBColor* color)
{
    if (GWorld* port = GetGWorld(); port && color) port->SetBackColor(*color);
}

void PenMode(short mode)
{
    if (GWorld* port = GetGWorld()) port->SetPenModeValue(mode);
}

void PaintRect(const Rect* rect)
{
    if (GWorld* port = GetGWorld()) Fill(rect, port->ForeColor(), true);
}

void EraseRect(const Rect* rect)
{
    if (GWorld* port = GetGWorld()) Fill(rect, port->BackColor(), false);
}

void FrameRect(const Rect* rect)
{
    GWorld* port = GetGWorld();
    if (!port || !rect || RectWidth(*rect) <= 0 || RectHeight(*rect) <= 0) return;
    const RGBColor c = port->ForeColor();
    for (int h = rect->left; h < rect->right; ++h) {
        Plot(port, h, rect->top, c);
        if (rect->bottom - 1 != rect->top) Plot(port, h, rect->bottom - 1, c);
    }
    for (int v = rect->top + 1; v < rect->bottom - 1; ++v) {
        Plot(port, rect->left, v, c);
        if (rect->right - 1 != rect->left) Plot(port, rect->right - 1, v, c);
    }
}

void MoveTo(short h, short v)
{
    if (GWorld* port = GetGWorld()) port->MoveTo(h, v);
}

void LineTo(short h, short v)
{
    GWorld* port = GetGWorld();
    if (!port) return;
    Point from = port->PenLocation();
    int x0 = from.h, y0 = from.v;
    const int dx = std::abs(h - x0), dy = -std::abs(v - y0);
    const int sx = x0 < h ? 1 : -1, sy = y0 < v ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        Plot(port, x0, y0, port->ForeColor());
        if (x0 == h && y0 == v) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
    port->MoveTo(h, v);
}

const BitMap* GetPortBitMapForCopyBits(CGrafPtr port)
{
    return port;
}

namespace {

// Scaled copy shared by CopyBits and CopyMask: for every destination pixel
// inside the clip, the nearest source pixel, when take() allows it.
template <class Take>
void ScaledCopy(const GWorld* src, GWorld* dst, const Rect& s, const Rect& d, Take take)
{
    const int sw = RectWidth(s), sh = RectHeight(s), dw = RectWidth(d), dh = RectHeight(d);
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    Rect area = Intersect(Intersect(d, dst->GetPortBounds()), dst->ClipBounds());
    const Rect& sb = src->GetPortBounds();
    const Rect& db = dst->GetPortBounds();
    const bool raw = src->GetPixDepth() == 32 && dst->GetPixDepth() == 32;
    for (int v = area.top; v < area.bottom; ++v) {
        const int sv = s.top + int((int64_t(v - d.top) * sh) / dh);
        for (int h = area.left; h < area.right; ++h) {
            const int sh2 = s.left + int((int64_t(h - d.left) * sw) / dw);
            if (!Inside(sb, sh2, sv) || !take(h - d.left, v - d.top)) continue;
            if (raw) {
                // Copied whole, alpha included, as the pixels are.
                const uint8_t* from = const_cast<GWorld*>(src)->RowAt(sv - sb.top) + size_t(sh2 - sb.left) * 4;
                std::memcpy(dst->RowAt(v - db.top) + size_t(h - db.left) * 4, from, 4);
            } else {
                dst->SetCPixel(h, v, src->GetCPixel(sh2, sv));
            }
        }
    }
}

}  // namespace

void CopyBits(const BitMap* src, const BitMap* dst, const Rect* srcRect, const Rect* dstRect, short, RgnHandle mask)
{
    if (!src || !dst || !srcRect || !dstRect) return;
    auto* out = const_cast<GWorld*>(dst);
    const Rect d = *dstRect;
    ScaledCopy(src, out, *srcRect, d,
               [&](int x, int y) { return !mask || Inside(mask->bounds, d.left + x, d.top + y); });
}

void CopyMask(const BitMap* src, const BitMap* mask, const BitMap* dst, const Rect* srcRect, const Rect* maskRect,
              const Rect* dstRect)
{
    if (!src || !mask || !dst || !srcRect || !maskRect || !dstRect) return;
    const int mw = RectWidth(*maskRect), mh = RectHeight(*maskRect);
    const int dw = RectWidth(*dstRect), dh = RectHeight(*dstRect);
    if (mw <= 0 || mh <= 0) return;
    ScaledCopy(src, const_cast<GWorld*>(dst), *srcRect, *dstRect, [&](int x, int y) {
        RGBColor m =
            mask->GetCPixel(maskRect->left + int(int64_t(x) * mw / dw), maskRect->top + int(int64_t(y) * mh / dh));
        return !(m.red == 0xFFFF && m.green == 0xFFFF && m.blue == 0xFFFF);
    });
}

PicHandle OpenCPicture(const OpenCPicParams* params)
{
    if (!params || g_recording) return nullptr;
    auto* picture = new OpaquePicture;
    picture->frame = params->srcRect;
    g_pictures.insert(picture);
    g_recording = picture;
    return picture;
}

void ClosePicture()
{
    g_recording = nullptr;
}

void KillPicture(PicHandle picture)
{
    if (!g_pictures.erase(picture)) return;
    if (g_recording == picture) g_recording = nullptr;
    delete picture;
}

void DrawPicture(PicHandle picture, const Rect* dstRect)
{
    GWorld* port = GetGWorld();
    if (!port || !dstRect || !g_pictures.count(picture) || !picture->filled) return;
    Rect r = Intersect(Intersect(*dstRect, port->GetPortBounds()), port->ClipBounds());
    for (int v = r.top; v < r.bottom; ++v)
        for (int h = r.left; h < r.right; ++h) port->SetCPixel(h, v, picture->fill);
}

namespace platform {

bool PictureFill(PicHandle picture, RGBColor* color)
{
    if (!g_pictures.count(picture) || !picture->filled) return false;
    if (color) *color = picture->fill;
    return true;
}

bool IsLivePicture(PicHandle picture)
{
    return g_pictures.count(picture) != 0;
}

}  // namespace platform
