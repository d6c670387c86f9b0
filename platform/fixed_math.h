#pragma once
// 16.16 fixed-point arithmetic as the toolbox does it: results that do not
// fit saturate, and a division by zero gives the largest value of the
// dividend's sign, so no caller can trap on a zero or overflowing operand.
#include "platform/font_catalog.h"

Fixed FixMul(Fixed a, Fixed b);
Fixed FixDiv(Fixed a, Fixed b);
// Rounded to the nearest whole number.
long Fix2Long(Fixed value);

constexpr Fixed kFixedMax = 0x7FFFFFFF;
constexpr Fixed kFixedMin = static_cast<Fixed>(0x80000000u);
