#pragma once
// The numbered message a checked setter shows, when its caller asks, for a
// value it refused: title 10001 with the two limits as arguments.
#include <cstdint>

#include "platform/toolbox_windows.h"

void ShowRangeMessage(bool show, WindowRef parent, int message, int low, int high);
// Time limits are passed as floating-point numbers.
void ShowRangeMessage(bool show, WindowRef parent, int message, double low, double high);

// True when low <= value <= high; otherwise shows the message when asked.
bool CheckRange(long value, int low, int high, bool show, WindowRef parent, int message);
// The longest time a checked setter takes, in ms.
constexpr uint32_t kMaxTime = 1000000;
// The same for times, 0 to kMaxTime ms.
bool CheckTime(uint32_t value, bool show, WindowRef parent, int message);
