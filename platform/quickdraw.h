#pragma once
// Stand-in for the QuickDraw drawing calls the controls use, on GWorld
// ports: colours, rectangles painted and erased, lines with the copy and
// exclusive-or pens, rectangular clip regions, CopyBits with
// nearest-neighbour scaling, CopyMask, and pictures that hold one solid
// fill (what a colour swatch records).
#include "platform/gworld.h"

constexpr short srcCopy = 0;
constexpr short patCopy = 8;
constexpr short patXor = 10;

// Regions are rectangles here.
struct OpaqueRgn {
    Rect bounds;
};
using RgnHandle = OpaqueRgn*;
RgnHandle NewRgn();
void DisposeRgn(RgnHandle region);
void RectRgn(RgnHandle region, const Rect* rect);
void SetEmptyRgn(RgnHandle region);
bool EmptyRgn(RgnHandle region);
// The current port's clip.
void GetClip(RgnHandle region);
void SetClip(RgnHandle region);
void ClipRect(const Rect* rect);

void RGBForeColor(const RGBColor* color);
void RGBBackColor(const RGBColor* color);
void PenMode(short mode);
void PaintRect(const Rect* rect);
void EraseRect(const Rect* rect);
void FrameRect(const Rect* rect);
void MoveTo(short h, short v);
void LineTo(short h, short v);

using BitMap = GWorld;
const BitMap* GetPortBitMapForCopyBits(CGrafPtr port);
// Copies srcRect of src into dstRect of dst, scaled to fit by nearest
// neighbour, inside dst's clip (and mask, when given).
void CopyBits(const BitMap* src, const BitMap* dst, const Rect* srcRect, const Rect* dstRect, short mode,
              RgnHandle mask);
// Copies the pixels whose mask pixel is not white.
void CopyMask(const BitMap* src, const BitMap* mask, const BitMap* dst, const Rect* srcRect, const Rect* maskRect,
              const Rect* dstRect);

struct OpenCPicParams {
    Rect srcRect;
    int32_t hRes = 0x00480000;
    int32_t vRes = 0x00480000;
    short version = -2;
    short reserved1 = 0;
    int32_t reserved2 = 0;
};
struct OpaquePicture;
using PicHandle = OpaquePicture*;
// Records erases and paints into the picture (and the port) until closed.
PicHandle OpenCPicture(const OpenCPicParams* params);
void ClosePicture();
void KillPicture(PicHandle picture);
void DrawPicture(PicHandle picture, const Rect* dstRect);

namespace platform {

// The colour a picture fills its frame with; false for an unknown picture
// or one that records no fill.
bool PictureFill(PicHandle picture, RGBColor* color);
bool IsLivePicture(PicHandle picture);

}  // namespace platform
