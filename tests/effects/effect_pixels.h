#pragma once
// What the effects light up in a played frame, told apart from the slide
// under them by colour.
#include <algorithm>
#include <cstdlib>

#include "support/scene_harness.h"

namespace effect_test {

inline int Channel(long rgb, int shift)
{
    return int(rgb >> shift & 0xFF);
}

// Pixels a burst lights: far redder or bluer than the slide (the discs run
// from red to orange and from blue to white, some tinted).
inline int CountBurstPixels(const tavrel_test::Shot& shot, long slide)
{
    return int(std::count_if(shot.pixels.begin(), shot.pixels.end(), [&](long rgb) {
        return Channel(rgb, 16) - Channel(slide, 16) > 60 || Channel(rgb, 0) - Channel(slide, 0) > 60;
    }));
}

inline int CountSlidePixels(const tavrel_test::Shot& shot, long slide)
{
    return int(std::count_if(shot.pixels.begin(), shot.pixels.end(), [&](long rgb) {
        for (int s : {16, 8, 0})
            if (std::abs(Channel(rgb, s) - Channel(slide, s)) > 3) return false;
        return true;
    }));
}

// Pixels lighter than the slide in every channel by the margin: flakes.
struct LightPixels {
    int count = 0;
    int lowest = -1;  // the lowest row holding one
};
inline LightPixels FindLightPixels(const tavrel_test::Shot& shot, long slide, int margin)
{
    LightPixels found;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const long rgb = shot.At(x, y);
            bool light = true;
            for (int s : {16, 8, 0}) light = light && Channel(rgb, s) - Channel(slide, s) >= margin;
            if (!light) continue;
            ++found.count;
            found.lowest = y;
        }
    return found;
}

}  // namespace effect_test
