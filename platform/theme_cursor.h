#pragma once
// The theme cursor shown over the program's windows. Nothing is on a
// screen here; the current cursor is kept so that callers can be checked.
using ThemeCursor = unsigned;
constexpr ThemeCursor kThemeArrowCursor = 0;
constexpr ThemeCursor kThemeWatchCursor = 7;

void SetThemeCursor(ThemeCursor cursor);
inline void SetWatchCursor()
{
    SetThemeCursor(kThemeWatchCursor);
}
inline void SetArrowCursor()
{
    SetThemeCursor(kThemeArrowCursor);
}

namespace platform {
ThemeCursor CurrentThemeCursor();
}
