#pragma once
// QuickDraw's plain geometry and colour records, as the toolbox lays them out.
#include <cstdint>

struct Rect {
    int16_t top = 0;
    int16_t left = 0;
    int16_t bottom = 0;
    int16_t right = 0;
};

struct Point {
    int16_t v = 0;
    int16_t h = 0;
};

// Each channel 0..65535.
struct RGBColor {
    uint16_t red = 0;
    uint16_t green = 0;
    uint16_t blue = 0;
};

inline int RectWidth(const Rect& r) { return int(r.right) - int(r.left); }
inline int RectHeight(const Rect& r) { return int(r.bottom) - int(r.top); }

// A rectangle from its sides, each held to the 16-bit range (fractions cut).
inline Rect MakeRect(double top, double left, double bottom, double right)
{
    const auto side = [](double v) { return static_cast<int16_t>(v < -32767.0 ? -32767.0 : v > 32767.0 ? 32767.0 : v); };
    return Rect{side(top), side(left), side(bottom), side(right)};
}
// The same, sides given left, top, right, bottom.
inline Rect LTRB(int left, int top, int right, int bottom)
{
    return MakeRect(top, left, bottom, right);
}
