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

// Picture pixel (u, v) of the file to the point of the display box (its
// top-left corner at the origin, in display pixels) where the slide's edits
// put it. False without a picture size.
bool EditMapping(const CSlide& slide, Affine* out)
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
    *out = m;
    return true;
}

// The matrix of a mapping: its linear terms times scaleUnit × k as 16.16, its
// translation times moveUnit × k in twips, plus (dx, dy); false when a term
// does not fit.
bool ToMatrix(const Affine& m, double scaleUnit, double moveUnit, double k, double dx, double dy, CSwfMatrix* out)
{
    CSwfMatrix matrix;
    matrix.hasScale = true;
    if (!Round(m.a * scaleUnit * k * 65536, &matrix.scaleX) || !Round(m.d * scaleUnit * k * 65536, &matrix.scaleY) ||
        !Round(m.b * scaleUnit * k * 65536, &matrix.rotateSkew0) ||
        !Round(m.c * scaleUnit * k * 65536, &matrix.rotateSkew1) || !Round(m.e * moveUnit * k + dx, &matrix.translateX) ||
        !Round(m.f * moveUnit * k + dy, &matrix.translateY))
        return false;
    matrix.hasRotate = matrix.rotateSkew0 != 0 || matrix.rotateSkew1 != 0;
    *out = matrix;
    return true;
}

}  // namespace

bool ImportedJpegFill(const CSlide& slide, CSwfMatrix* out)
{
    Affine m{};
    if (!EditMapping(slide, &m)) return false;
    // Display pixels are 20 twips; the bitmap shift shrinks the picture
    // about the box's top-left corner, as it does a bitmap of display size.
    const double k = slide.GetAdjustBitmapShift() ? 0.999 : 1.0;
    int w = slide.GetWidth(), h = slide.GetHeight();
    slide.ComputeFitSize(slide.GetShow(), slide.GetScaleToFit(), slide.GetKeepAspectRatio(), &w, &h);
    const int32_t W = w * 20, H = h * 20;
    return ToMatrix(m, 20, 20, k, -(W >> 1), -(H >> 1), out);
}

bool ExternalJpegMatrix(const CSlide& slide, CSwfMatrix* out)
{
    Affine m{};
    // A loaded picture draws each pixel 20 twips wide in its clip, so the
    // mapping's terms stand as they are; the clip that holds it has the
    // box's top-left corner at its origin.
    return EditMapping(slide, &m) && ToMatrix(m, 1, 20, 1, 0, 0, out);
}

bool ExternalJpegCrop(const CSlide& slide)
{
    Rect crop{};
    return MapCropToPicture(slide, slide.GetImageWidth(), slide.GetImageHeight(), &crop) &&
           (crop.left > 0 || crop.top > 0 || crop.right < slide.GetImageWidth() ||
            crop.bottom < slide.GetImageHeight());
}
