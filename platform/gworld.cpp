#include "platform/gworld.h"

#include <new>

namespace {

// Buffers beyond this are refused rather than attempted.
constexpr uint64_t kMaxPixelBytes = uint64_t(1) << 30;

GWorldPtr g_currentPort = nullptr;

uint8_t GreyIndex(const RGBColor& c)
{
    // Luminance, then inverted: index 0 is white, 255 black.
    uint32_t y = (uint32_t(c.red) * 299 + uint32_t(c.green) * 587 + uint32_t(c.blue) * 114) / 1000;
    return uint8_t(255 - (y >> 8));
}

}  // namespace

GWorld::GWorld(const Rect& bounds, int depth, size_t rowBytes) : bounds_(bounds), depth_(depth), rowBytes_(rowBytes) {}

GWorld* GWorld::Create(const Rect& bounds, int depth)
{
    if (depth == 24) depth = 32;
    if (depth != 1 && depth != 8 && depth != 32) return nullptr;
    const int64_t width = RectWidth(bounds);
    const int64_t height = RectHeight(bounds);
    if (width <= 0 || height <= 0) return nullptr;
    // Rows are padded to 16 bytes, as the toolbox pads them for speed.
    const uint64_t rowBits = uint64_t(width) * uint64_t(depth);
    const uint64_t rowBytes = ((rowBits + 7) / 8 + 15) & ~uint64_t(15);
    const uint64_t total = rowBytes * uint64_t(height);
    if (total > kMaxPixelBytes) return nullptr;
    GWorld* world = new (std::nothrow) GWorld(bounds, depth, size_t(rowBytes));
    if (!world) return nullptr;
    try {
        world->pixels_.assign(size_t(total), 0);
    } catch (const std::bad_alloc&) {
        delete world;
        return nullptr;
    }
    return world;
}

uint8_t* GWorld::RowAt(int y)
{
    if (y < 0 || y >= Height()) return nullptr;
    return pixels_.data() + size_t(y) * rowBytes_;
}

void GWorld::MoveTo(int h, int v)
{
    pen_.h = int16_t(h);
    pen_.v = int16_t(v);
}

const uint8_t* GWorld::PixelAddress(int h, int v) const
{
    const int x = h - bounds_.left;
    const int y = v - bounds_.top;
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return nullptr;
    const uint8_t* row = pixels_.data() + size_t(y) * rowBytes_;
    switch (depth_) {
        case 32:
            return row + size_t(x) * 4;
        case 8:
            return row + x;
        default:
            return row + x / 8;
    }
}

void GWorld::SetCPixel(int h, int v, const RGBColor& color)
{
    uint8_t* p = const_cast<uint8_t*>(PixelAddress(h, v));
    if (!p) return;
    if (depth_ == 32) {
        p[0] = 0xFF;
        p[1] = uint8_t(color.red >> 8);
        p[2] = uint8_t(color.green >> 8);
        p[3] = uint8_t(color.blue >> 8);
    } else if (depth_ == 8) {
        *p = GreyIndex(color);
    } else {
        const uint8_t bit = uint8_t(0x80 >> ((h - bounds_.left) % 8));
        const bool white = color.red == 0xFFFF && color.green == 0xFFFF && color.blue == 0xFFFF;
        *p = white ? uint8_t(*p & ~bit) : uint8_t(*p | bit);
    }
}

RGBColor GWorld::GetCPixel(int h, int v) const
{
    const uint8_t* p = PixelAddress(h, v);
    if (!p) return RGBColor{};
    if (depth_ == 32) return RGBColor{uint16_t(p[1] * 257), uint16_t(p[2] * 257), uint16_t(p[3] * 257)};
    uint8_t grey;
    if (depth_ == 8) {
        grey = uint8_t(255 - *p);
    } else {
        const uint8_t bit = uint8_t(0x80 >> ((h - bounds_.left) % 8));
        grey = (*p & bit) ? 0 : 255;
    }
    const uint16_t c = uint16_t(grey * 257);
    return RGBColor{c, c, c};
}

int NewGWorld(GWorldPtr* out, int depth, const Rect& bounds)
{
    if (!out) return -50;  // paramErr
    *out = GWorld::Create(bounds, depth);
    return *out ? 0 : -108;  // memFullErr
}

void DisposeGWorld(GWorldPtr world)
{
    if (!world) return;
    if (g_currentPort == world) g_currentPort = nullptr;
    delete world;
}

GWorldPtr GetGWorld()
{
    return g_currentPort;
}

void SetGWorld(GWorldPtr world)
{
    g_currentPort = world;
}
