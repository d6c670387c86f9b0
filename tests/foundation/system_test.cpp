// The system version as callers see it through the Gestalt table.
#include "foundation/system.h"

#include <gtest/gtest.h>

#include "platform/gestalt.h"

namespace {

struct GestaltReset {
    ~GestaltReset() { platform::ResetGestalt(); }
};

}  // namespace

TEST(System, VersionFromGestalt)
{
    GestaltReset reset;
    EXPECT_TRUE(System::IsMacOSX());
    EXPECT_EQ(System::GetVersion(), platform::kReportedSystemVersion);

    struct Case {
        int32_t version;
        bool macOSX;
    } cases[] = {{0x1039, true}, {0x1000, true}, {0x0FFF, false}, {0x0922, false}};
    for (const Case& c : cases) {
        platform::SetGestaltValue(platform::gestaltSystemVersion, c.version);
        EXPECT_EQ(System::IsMacOSX(), c.macOSX) << std::hex << c.version;
        EXPECT_EQ(System::GetVersion(), c.version);
    }

    platform::RemoveGestaltValue(platform::gestaltSystemVersion);
    EXPECT_FALSE(System::IsMacOSX());
    EXPECT_EQ(System::GetVersion(), 0);
    int32_t value = 7;
    EXPECT_EQ(platform::Gestalt(FourCC("none"), &value), platform::gestaltUndefSelectorErr);
    EXPECT_EQ(value, 7);

    platform::ResetGestalt();
    EXPECT_EQ(System::GetVersion(), platform::kReportedSystemVersion);
}
