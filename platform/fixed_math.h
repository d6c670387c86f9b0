#pragma once
// 16.16 fixed-point arithmetic as the toolbox does it: results that do not
// fit saturate, and a division by zero gives the largest value of the
// dividend's sign, so no caller can trap on a zero or overflowing operand.
#include "platform/font_catalog.h"

Fixed FixMul(Fixed a, Fixed b);
Fixed FixDiv(Fixed a, Fixed b);
// Rounded to the nearest whole number.
long Fix2Long(Fixed value);
// v + 0.5 truncated toward zero, kept to what an int holds (NaN gives 0):
// the one rounding of a size or time to whole units, which a picture or
// file may carry past any int.
int RoundToInt(double v);

constexpr Fixed kFixedMax = 0x7FFFFFFF;
constexpr Fixed kFixedMin = static_cast<Fixed>(0x80000000u);
