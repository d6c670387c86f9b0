#include "show/range_message.h"

#include "ui/message_box.h"

namespace {
constexpr int kRangeTitle = 10001;
}

void ShowRangeMessage(bool show, WindowRef parent, int message, int low, int high)
{
    if (show) MessageBox(parent, kRangeTitle, message, low, high);
}

void ShowRangeMessage(bool show, WindowRef parent, int message, double low, double high)
{
    if (show) MessageBox(parent, kRangeTitle, message, low, high);
}

bool CheckRange(long value, int low, int high, bool show, WindowRef parent, int message)
{
    if (value >= low && value <= high) return true;
    ShowRangeMessage(show, parent, message, low, high);
    return false;
}

bool CheckTime(uint32_t value, bool show, WindowRef parent, int message)
{
    if (value <= kMaxTime) return true;
    ShowRangeMessage(show, parent, message, 0.0, double(kMaxTime));
    return false;
}
