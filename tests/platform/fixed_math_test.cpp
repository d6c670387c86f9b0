#include <gtest/gtest.h>

#include "platform/fixed_math.h"

namespace {

TEST(FixedMath, SaturatesInsteadOfWrapping)
{
    const Fixed one = kFixedOne, half = kFixedOne / 2;
    const struct {
        const char* what;
        long got;
        long want;
    } cases[] = {
        {"2 x 3", FixMul(2 * one, 3 * one), 6 * one},
        {"half x -3", FixMul(half, -3 * one), -3 * half},
        {"overflow", FixMul(30000 * one, 30000 * one), kFixedMax},
        {"negative overflow", FixMul(-30000 * one, 30000 * one), kFixedMin},
        {"1 / half", FixDiv(one, half), 2 * one},
        {"-7 / 2", FixDiv(-7 * one, 2 * one), -7 * half},
        {"by zero", FixDiv(one, 0), kFixedMax},
        {"negative by zero", FixDiv(-one, 0), kFixedMin},
        {"2.5 rounds up", Fix2Long(5 * half), 3},
        {"2.49 rounds down", Fix2Long(5 * half - 1), 2},
        {"-2.5", Fix2Long(-5 * half), -2},
        {"largest", Fix2Long(kFixedMax), 32768},
        {"Long2Fix keeps to range", Long2Fix(100000), 32767L * one},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

}  // namespace
