#pragma once
// Windows, pictures and pixel reading for the tests of the media panes and
// dialogs on the headless toolbox.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "foundation/cfstring.h"
#include "filter_pictures.h"
#include "media/image.h"
#include "platform/gworld.h"
#include "platform/toolbox_controls.h"
#include "support/fake_user.h"

namespace tavrel_test {

using filter_test::Fill;
using filter_test::SamePixels;

// A horizontal grey ramp from black to white.
inline void RampPicture(CImage& image, int width, int height)
{
    Fill(image, uint32_t(width), uint32_t(height), filter_test::Gray(0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) filter_test::Set(image, x, y, filter_test::Gray(uint8_t(x * 255 / (width - 1))));
}

// R, G, B of a 32-bit world's pixel.
inline uint32_t PixelAt(GWorldPtr world, int h, int v)
{
    const uint8_t* p = world->RowAt(v) + 4 * h;
    return uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The smallest rectangle holding every pixel that is not black; empty
// (all zero) when the world is black.
inline Rect NonBlackBounds(GWorldPtr world)
{
    int top = world->Height(), left = world->Width(), bottom = 0, right = 0;
    for (int v = 0; v < world->Height(); ++v)
        for (int h = 0; h < world->Width(); ++h)
            if (PixelAt(world, h, v) != 0) {
                top = std::min(top, v);
                left = std::min(left, h);
                bottom = std::max(bottom, v + 1);
                right = std::max(right, h + 1);
            }
    if (bottom == 0) return Rect{};
    return Rect{int16_t(top), int16_t(left), int16_t(bottom), int16_t(right)};
}

inline std::string RectText(const Rect& r)
{
    return std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) + "," +
           std::to_string(r.right);
}

inline ControlRef ControlById(WindowRef window, OSType signature, SInt32 id = 0)
{
    ControlID cid{signature, id};
    ControlRef control = nullptr;
    GetControlByID(window, &cid, &control);
    return control;
}

inline Rect BoundsOf(ControlRef control)
{
    Rect r{};
    if (control) GetControlBounds(control, &r);
    return r;
}

inline std::string WindowTitle(WindowRef window)
{
    CFStringRef title = nullptr;
    char text[256] = "";
    if (CopyWindowTitleAsCFString(window, &title) == noErr && title) {
        CCFString::GetCString(title, text, sizeof text);
        CFRelease(title);
    }
    return text;
}

class PaneTest : public ::testing::Test {
protected:
    ~PaneTest() override { platform::ResetEventState(); }
    FakeUser user_;
};

}  // namespace tavrel_test
