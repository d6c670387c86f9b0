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
