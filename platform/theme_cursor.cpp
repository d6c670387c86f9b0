#include "platform/theme_cursor.h"

namespace {
ThemeCursor g_cursor = kThemeArrowCursor;
}

void SetThemeCursor(ThemeCursor cursor)
{
    g_cursor = cursor;
}

namespace platform {
ThemeCursor CurrentThemeCursor()
{
    return g_cursor;
}
}  // namespace platform
