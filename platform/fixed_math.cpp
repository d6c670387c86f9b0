#include "platform/fixed_math.h"

#include <cstdint>
#include <limits>

namespace {

Fixed Saturate(int64_t value)
{
    if (value > kFixedMax) return kFixedMax;
    if (value < kFixedMin) return kFixedMin;
    return static_cast<Fixed>(value);
}

}  // namespace

Fixed FixMul(Fixed a, Fixed b)
{
    const int64_t product = int64_t(a) * int64_t(b);
    return Saturate((product + 0x8000) >> 16);
}

Fixed FixDiv(Fixed a, Fixed b)
{
    if (b == 0) return a < 0 ? kFixedMin : kFixedMax;
    return Saturate((int64_t(a) * 0x10000) / b);
}

long Fix2Long(Fixed value)
{
    return static_cast<long>((int64_t(value) + 0x8000) >> 16);
}

int RoundToInt(double v)
{
    const double r = v + 0.5;
    if (!(r == r)) return 0;
    if (r >= 2147483648.0) return std::numeric_limits<int>::max();
    if (r <= -2147483649.0) return std::numeric_limits<int>::min();
    return static_cast<int>(r);
}
