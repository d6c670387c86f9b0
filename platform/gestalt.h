#pragma once
// Stand-in for the Gestalt Manager: a fixed table of system facts that reports
// a Mac OS X system. Tests override entries to reach other paths of callers.
#include <cstdint>

#include "platform/four_cc.h"

namespace platform {

constexpr int gestaltUndefSelectorErr = -5551;

constexpr uint32_t gestaltSystemVersion = FourCC("sysv");
// The system this stand-in reports: Mac OS X 10.4.11 in binary-coded decimal.
constexpr int32_t kReportedSystemVersion = 0x1049;

// 0 and the value, or -5551 for a selector the table does not hold.
int Gestalt(uint32_t selector, int32_t* response);

// Test hooks: set or remove one entry; ResetGestalt restores the fixed table.
void SetGestaltValue(uint32_t selector, int32_t value);
void RemoveGestaltValue(uint32_t selector);
void ResetGestalt();

}  // namespace platform
