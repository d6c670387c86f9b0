#include <gtest/gtest.h>

#include <limits>

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
        {"round 2.5", RoundToInt(2.5), 3},
        {"round 2.49", RoundToInt(2.49), 2},
        {"round -1.2 toward zero", RoundToInt(-1.2), 0},
        {"round -2.7", RoundToInt(-2.7), -2},
        {"round past int", RoundToInt(3.2e9), 2147483647L},
        {"round below int", RoundToInt(-3.2e9), -2147483647L - 1},
        {"round largest int", RoundToInt(2147483646.6), 2147483647L},
        {"round infinity", RoundToInt(std::numeric_limits<double>::infinity()), 2147483647L},
        {"round NaN", RoundToInt(std::numeric_limits<double>::quiet_NaN()), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

}  // namespace
