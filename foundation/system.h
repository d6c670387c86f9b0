#pragma once
// What the rest of the system asks about the running operating system.
#include <cstdint>

namespace System {

// True when Gestalt 'sysv' answers with a version above 0x0FFF (Mac OS X).
bool IsMacOSX();
// The system version as Gestalt 'sysv' gives it (0x1039 for 10.3.9), 0 when
// the call fails.
int32_t GetVersion();

}  // namespace System
