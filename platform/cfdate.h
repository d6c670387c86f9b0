#pragma once
// Stand-in for the Core Foundation clock: absolute time counts seconds from
// 1 January 2001 00:00 UTC; dates are read in the system time zone.

namespace platform {

struct GregorianDate {
    int year = 2001;
    int month = 1;  // 1..12
    int day = 1;
    int hour = 0;
    int minute = 0;
    double second = 0;
};

double AbsoluteTimeGetCurrent();
GregorianDate AbsoluteTimeGetGregorianDate(double absoluteTime);

}  // namespace platform
