#pragma once
// DejaVu Sans, registered from its file, as the font the font tests measure:
// its numbers are the same on every machine that has the package.
#include <gtest/gtest.h>

#include <string>

#include "fonts/font_manager.h"
#include "platform/font_catalog.h"
#include "support/test_support.h"

namespace dejavu {

inline const char* const kSansFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The family's number, or 0 when the file is not installed.
inline FMFontFamily Family()
{
    static const FMFontFamily family = tavrel_test::IsThere(kSansFile) ? platform::RegisterFontFile(kSansFile) : 0;
    return family;
}

inline CSwfTextFont Font(int size = 32, uint16_t style = 0)
{
    CSwfTextFont font;
    font.SetFontID(Family());
    font.SetSize(size);
    font.SetStyle(style);
    return font;
}

}  // namespace dejavu

#define REQUIRE_DEJAVU()                                                        \
    do {                                                                        \
        if (dejavu::Family() == 0) GTEST_SKIP() << "fonts-dejavu-core missing"; \
    } while (0)
