#include "foundation/system.h"

#include "platform/gestalt.h"

namespace System {

bool IsMacOSX()
{
    int32_t version = 0;
    return platform::Gestalt(platform::gestaltSystemVersion, &version) == 0 && version > 0x0FFF;
}

int32_t GetVersion()
{
    int32_t version = 0;
    if (platform::Gestalt(platform::gestaltSystemVersion, &version) != 0) return 0;
    return version;
}

}  // namespace System
