#include "transitions/rotation.h"

#include <cmath>

#include "swf/records.h"
#include "transitions/motion_steps.h"

double TurnAt(float turns, bool aligned, int64_t i, int64_t n)
{
    if (n <= 0 || !std::isfinite(turns)) return 0.0;
    // turns = whole + part, both exact in double. whole × i ÷ n is q ÷ n
    // past a whole number of turns, with q worked out exactly in integers.
    const double whole = std::trunc(double(turns)), part = double(turns) - whole;
    const auto wholeModN = static_cast<__int128>(std::fmod(whole, double(n)));
    const double q = double(static_cast<int64_t>(wholeModN * i % n));
    double t = q / double(n) + part * double(aligned ? i - n : i) / double(n);
    t -= std::trunc(t);
    return 360.0 * t;
}

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
    m->scaleX = motion::Fixed(double(cs) * kx);
    m->scaleY = motion::Fixed(double(cs) * ky);
    m->rotateSkew0 = motion::Fixed(double(sn) * kx);
    m->rotateSkew1 = motion::Fixed(-double(sn) * ky);
    return m;
}
