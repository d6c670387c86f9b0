#include "transitions/rotation.h"

#include <cmath>

#include "swf/records.h"

namespace {

// trunc(v × 65536 + 0.5), saturated to the matrix term's range.
int32_t Fixed(double v)
{
    const double t = std::trunc(v * 65536.0 + 0.5);
    if (!(t > -2147483648.0)) return INT32_MIN;
    if (t > 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(t);
}

}  // namespace

CSwfMatrix* RotationMatrix(double theta, double kx, double ky, int32_t x, int32_t y)
{
    const float r = static_cast<float>(theta * 0.017453292519943295);
    const float sn = static_cast<float>(std::sin(double(r)));
    const float cs = static_cast<float>(std::cos(double(r)));
    auto* m = new CSwfMatrix;
    m->SetIdentity();
    m->translateX = x;
    m->translateY = y;
    m->hasScale = true;
    m->hasRotate = true;
    m->scaleX = Fixed(double(cs) * kx);
    m->scaleY = Fixed(double(cs) * ky);
    m->rotateSkew0 = Fixed(double(sn) * kx);
    m->rotateSkew1 = Fixed(-double(sn) * ky);
    return m;
}
