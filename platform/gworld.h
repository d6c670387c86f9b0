#pragma once
// Offscreen drawing worlds: the pixel buffers that thumbnails, previews,
// image views and slide rendering draw into and copy between.
//
// Pixel layout, fixed on every host:
//   32 bits: four bytes A, R, G, B in memory order (24 is taken as 32, as
//            QuickDraw does). Read and write them byte by byte, never as one
//            host-endian word.
//   8 bits:  one byte per pixel.
//   1 bit:   eight pixels per byte, leftmost in the most significant bit,
//            1 meaning black.
// Rows are GetPixRowBytes() apart, which may exceed the row's pixels.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/qd_types.h"

class GWorld {
public:
    // null when the depth is not 1, 8, 24 or 32, the bounds are empty or
    // the buffer would be unreasonably large.
    static GWorld* Create(const Rect& bounds, int depth);
    GWorld(const GWorld&) = delete;
    GWorld& operator=(const GWorld&) = delete;

    const Rect& GetPortBounds() const { return bounds_; }
    int Width() const { return RectWidth(bounds_); }
    int Height() const { return RectHeight(bounds_); }
    int GetPixDepth() const { return depth_; }
    size_t GetPixRowBytes() const { return rowBytes_; }
    uint8_t* GetPixBaseAddr() { return pixels_.data(); }
    const uint8_t* GetPixBaseAddr() const { return pixels_.data(); }
    // Start of row y (0 is the top row), or null outside the world.
    uint8_t* RowAt(int y);

    // Pixels never move here; locking is kept for callers written for it.
    bool LockPixels() { return true; }
    void UnlockPixels() {}

    // Port state.
    const RGBColor& ForeColor() const { return fore_; }
    const RGBColor& BackColor() const { return back_; }
    void SetForeColor(const RGBColor& c) { fore_ = c; }
    void SetBackColor(const RGBColor& c) { back_ = c; }
    Point PenLocation() const { return pen_; }
    void MoveTo(int h, int v);
    int TextFontId() const { return textFont_; }
    int TextSizePoints() const { return textSize_; }
    void SetTextFont(int font) { textFont_ = font; }
    void SetTextSize(int size) { textSize_ = size; }
    // QuickDraw style bits (1 bold, 2 italic, ...).
    uint16_t TextFaceStyle() const { return textFace_; }
    void SetTextFace(uint16_t face) { textFace_ = face; }
    // Drawing stays inside the clip rectangle; the pen mode is QuickDraw's
    // (8 copy, 10 exclusive-or).
    const Rect& ClipBounds() const { return clip_; }
    void SetClipBounds(const Rect& clip) { clip_ = clip; }
    int PenModeValue() const { return penMode_; }
    void SetPenModeValue(int mode) { penMode_ = mode; }

    // Pixel at local coordinates (h, v) of the port bounds; outside the world
    // nothing is written. 32-bit pixels become opaque A=255, R, G, B with the
    // high byte of each channel; 1-bit pixels are white only for pure white.
    // 8-bit pixels take the grey level's index (0 white, 255 black).
    void SetCPixel(int h, int v, const RGBColor& color);
    RGBColor GetCPixel(int h, int v) const;

    // Draws length bytes of Mac Roman text with its baseline starting at the
    // pen, in the foreground colour over what is there, and advances the pen.
    // The port's font family, size and face (bold and italic) choose the
    // face; text size 0 means 12 pixels. Nothing is drawn when no face can
    // be loaded.
    void DrawText(const char* text, size_t length);

private:
    GWorld(const Rect& bounds, int depth, size_t rowBytes);
    const uint8_t* PixelAddress(int h, int v) const;

    Rect bounds_;
    int depth_;
    size_t rowBytes_;
    std::vector<uint8_t> pixels_;
    RGBColor fore_{0, 0, 0};
    RGBColor back_{0xFFFF, 0xFFFF, 0xFFFF};
    Point pen_;
    int textFont_ = 0;
    int textSize_ = 0;
    uint16_t textFace_ = 0;
    Rect clip_{-32767, -32767, 32767, 32767};
    int penMode_ = 8;
};

using GWorldPtr = GWorld*;
using CGrafPtr = GWorld*;

// The toolbox's names for the same operations. NewGWorld returns 0 on success.
int NewGWorld(GWorldPtr* out, int depth, const Rect& bounds);
void DisposeGWorld(GWorldPtr world);

// The current port that drawing calls without a port argument use.
GWorldPtr GetGWorld();
void SetGWorld(GWorldPtr world);

// Restores the current port when it goes out of scope.
class PortSaver {
public:
    PortSaver() : saved_(GetGWorld()) {}
    ~PortSaver() { SetGWorld(saved_); }
    PortSaver(const PortSaver&) = delete;
    PortSaver& operator=(const PortSaver&) = delete;

private:
    GWorldPtr saved_;
};
