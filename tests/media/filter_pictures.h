#pragma once
// Small pictures for the image filter tests.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "media/image.h"

namespace filter_test {

using Rgb = std::array<uint8_t, 3>;

// A picture of one colour.
inline void Fill(CImage& image, uint32_t width, uint32_t height, Rgb color)
{
    ASSERT_TRUE(image.Create(width, height, 24, nullptr, false));
    for (uint64_t i = 0; i < uint64_t(width) * height; ++i) std::memcpy(image.pixels + i * 3, color.data(), 3);
}

inline Rgb At(const CImage& image, uint32_t x, uint32_t y)
{
    const uint8_t* p = image.pixels + (uint64_t(y) * image.width + x) * 3;
    return {p[0], p[1], p[2]};
}

inline void Set(CImage& image, uint32_t x, uint32_t y, Rgb color)
{
    std::memcpy(image.pixels + (uint64_t(y) * image.width + x) * 3, color.data(), 3);
}

inline Rgb Gray(uint8_t v)
{
    return {v, v, v};
}

// A picture with gradients, edges and flat patches: something for every
// filter to change.
inline void Pattern(CImage& image, uint32_t width, uint32_t height)
{
    ASSERT_TRUE(image.Create(width, height, 24, nullptr, false));
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            Rgb c{uint8_t(x * 5 + y * 2), uint8_t((x * y) % 251), uint8_t(y < height / 2 ? 200 - x * 3 : 40)};
            if ((x / 6 + y / 6) % 3 == 0) c = Rgb{uint8_t(30 + x), 90, 160};  // flat-ish patches
            if ((x * 7 + y * 13) % 29 == 0) c = Gray(255);                    // specks
            Set(image, x, y, c);
        }
}

inline bool SamePixels(const CImage& a, const CImage& b)
{
    return a.width == b.width && a.height == b.height &&
           std::memcmp(a.pixels, b.pixels, size_t(a.width) * a.height * 3) == 0;
}

}  // namespace filter_test
