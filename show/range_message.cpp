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
