#include "platform/cfdate.h"

#include <cmath>
#include <ctime>
#include <sys/time.h>

namespace platform {

namespace {
constexpr double kUnixToReference = 978307200.0;  // 2001-01-01 in Unix time
}

double AbsoluteTimeGetCurrent()
{
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) - kUnixToReference + tv.tv_usec / 1e6;
}

GregorianDate AbsoluteTimeGetGregorianDate(double absoluteTime)
{
    double unix = absoluteTime + kUnixToReference;
    double whole = std::floor(unix);
    time_t t = static_cast<time_t>(whole);
    tm local{};
    // localtime_r need not reread the zone; a changed TZ must show at once.
    tzset();
    localtime_r(&t, &local);
    GregorianDate d;
    d.year = local.tm_year + 1900;
    d.month = local.tm_mon + 1;
    d.day = local.tm_mday;
    d.hour = local.tm_hour;
    d.minute = local.tm_min;
    d.second = local.tm_sec + (unix - whole);
    return d;
}

}  // namespace platform
