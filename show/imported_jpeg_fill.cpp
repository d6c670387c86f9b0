#include "show/imported_jpeg_fill.h"

#include <cmath>

#include "show/camera_fx.h"
#include "show/slide.h"
#include "show/slide_bitmap.h"
#include "swf/records.h"

namespace {

// x = a·u + c·v + e, y = b·u + d·v + f: picture pixel (u, v) to a point of
// the display.
struct Affine {
    double a, b, c, d, e, f;
};

// Rounded half away from zero, so that mirrored terms stay mirrored; false
// when the value does not fit a matrix field.
bool Round(double v, int32_t* out)
{
    const double r = std::trunc(std::fabs(v) + 0.5);
    if (!(r <= kSwfMatrixMax)) return false;
    *out = static_cast<int32_t>(v < 0 ? -r : r);
    return true;
}

}  // namespace

bool ImportedJpegFill(const CSlide& slide, CSwfMatrix* out)
{
    const int iw = slide.GetImageWidth(), ih = slide.GetImageHeight();
    if (iw <= 0 || ih <= 0) return false;
    double cl = 0, ct = 0, cw = iw, ch = ih;
    Rect crop{};
    if (MapCropToPicture(slide, iw, ih, &crop)) {
        cl = crop.left;
        ct = crop.top;
        cw = crop.right - crop.left;
        ch = crop.bottom - crop.top;
    }
    // The pixel road renders the crop at the display size in the picture's
    // own orientation, mirrors it vertically, then horizontally, then turns it.
    const int rotate = slide.GetRotate();
    const bool quarter = rotate == 90 || rotate == 270;
    const double rw = quarter ? slide.GetHeight() : slide.GetWidth();
    const double rh = quarter ? slide.GetWidth() : slide.GetHeight();
    const double sx = rw / cw, sy = rh / ch;
    Affine m{sx, 0, 0, sy, -cl * sx, -ct * sy};
    if (slide.GetFlipVertical()) m = {m.a, -m.b, m.c, -m.d, m.e, rh - m.f};
    if (slide.GetFlipHorizontal()) m = {-m.a, m.b, -m.c, m.d, rw - m.e, m.f};
    switch (rotate) {
        case 90:  // clockwise: (x, y) to (rh - y, x)
            m = {-m.b, m.a, -m.d, m.c, rh - m.f, m.e};
            break;
        case 180:
            m = {-m.a, -m.b, -m.c, -m.d, rw - m.e, rh - m.f};
            break;
        case 270:  // (x, y) to (y, rw - x)
            m = {m.b, -m.a, m.d, -m.c, m.f, rw - m.e};
            break;
        default:
            break;
    }

    // Display pixels are 20 twips; the bitmap shift shrinks the picture
    // about the box's top-left corner, as it does a bitmap of display size.
    const double k = slide.GetAdjustBitmapShift() ? 0.999 : 1.0;
    int w = slide.GetWidth(), h = slide.GetHeight();
    slide.ComputeFitSize(slide.GetShow(), slide.GetScaleToFit(), slide.GetKeepAspectRatio(), &w, &h);
    const int32_t W = w * 20, H = h * 20;
    CSwfMatrix fill;
    fill.hasScale = true;
    if (!Round(m.a * 20 * k * 65536, &fill.scaleX) || !Round(m.d * 20 * k * 65536, &fill.scaleY) ||
        !Round(m.b * 20 * k * 65536, &fill.rotateSkew0) || !Round(m.c * 20 * k * 65536, &fill.rotateSkew1) ||
        !Round(m.e * 20 * k - (W >> 1), &fill.translateX) || !Round(m.f * 20 * k - (H >> 1), &fill.translateY))
        return false;
    fill.hasRotate = fill.rotateSkew0 != 0 || fill.rotateSkew1 != 0;
    *out = fill;
    return true;
}
