#pragma once
// The numbered message a checked setter shows, when its caller asks, for a
// value it refused: title 10001 with the two limits as arguments.
#include "platform/toolbox_windows.h"

void ShowRangeMessage(bool show, WindowRef parent, int message, int low, int high);
// Time limits are passed as floating-point numbers.
void ShowRangeMessage(bool show, WindowRef parent, int message, double low, double high);
