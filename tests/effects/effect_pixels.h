#pragma once
// What a player shows of an effect whose pieces land at random places:
// a played frame read whole, and counts of the pixels in an effect's own
// colours against those of the slide under it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/scene_harness.h"
#include "support/swf_tools.h"

namespace effect_pixels {

struct Shot {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows top-down
    int exitCode = -1;  // swf-shot's: 3 when it cannot run here
    std::string output;
    long At(int x, int y) const
    {
        const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
        return (long(rgb[i]) << 16) | (long(rgb[i + 1]) << 8) | rgb[i + 2];
    }
};

inline int Channel(long rgb, int shift) { return int(rgb >> shift & 0xFF); }

inline bool Near(long a, long b, int tolerance)
{
    for (int s : {16, 8, 0})
        if (std::abs(Channel(a, s) - Channel(b, s)) > tolerance) return false;
    return true;
}

// An effect's sprites play on once the movie stops at the frame shot, for
// as long as the player takes to shoot: seconds on a busy machine. Played
// from a copy at no more than kSteadyRate frames a second, they move less
// meanwhile; the frame reached is the same at any rate.
inline constexpr double kSteadyRate = 6.0;

// Plays frames 1 .. frame (the player reports a script error as a failure)
// and reads the stage; played again, up to four times in all, while `shown`
// finds the effect missing: its pieces land at random and come and go.
inline Shot PlayTo(const std::string& swfPath, int frame, const std::function<bool(const Shot&)>& shown = nullptr,
                   double rate = kSteadyRate)
{
    Shot shot;
    const std::string png = swfPath + ".at" + std::to_string(frame) + ".png";
    const double own = tavrel_test::FrameRate(swfPath);
    for (int attempt = 1; attempt <= 4; ++attempt) {
        shot = Shot();
        const tavrel_test::ToolResult run =
            tavrel_test::SwfShotPlayed(swfPath, png, frame, own > 0 ? std::min(own, rate) : rate, {});
        shot.exitCode = run.exitCode;
        shot.output = run.output;
        if (run.exitCode != 0) return shot;
        int width = 0, height = 0;
        shot.rgb = tavrel_test::ReadPngRgb(png, &width, &height);
        if (shot.rgb.empty()) {
            shot.exitCode = -1;
            shot.output += "\ncannot read " + png;
            return shot;
        }
        shot.width = width;
        shot.height = height;
        if (!shown || shown(shot)) break;
        std::fprintf(stderr, "%s: the effect not in view at frame %d, played again\n", swfPath.c_str(), frame);
    }
    return shot;
}

inline long Count(const Shot& shot, const std::function<bool(long)>& is)
{
    long n = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) n += is(shot.At(x, y));
    return n;
}

// A pixel of the hearts' red over a slide of little red: even a heart at
// a tenth of full opacity pulls the slide's colour towards red.
inline bool HeartPixel(long p, long slide)
{
    return Channel(p, 16) >= Channel(slide, 16) + 12 && Channel(p, 8) <= Channel(slide, 8) - 3 &&
           Channel(p, 0) <= Channel(slide, 0) - 5;
}

// A pixel of the bubbles' white-to-blue over a slide with little blue.
inline bool BubblePixel(long p, long slide) { return Channel(p, 0) >= Channel(slide, 0) + 60; }

// Columns in which every row is darker and greyer than the slide: where a
// scratch runs across the whole picture.
inline std::vector<int> GreyColumns(const Shot& shot, long slide)
{
    std::vector<int> columns;
    for (int x = 0; x < shot.width; ++x) {
        bool all = shot.height > 0;
        for (int y = 0; y < shot.height && all; ++y) {
            const long p = shot.At(x, y);
            const int spread = std::max({Channel(p, 16), Channel(p, 8), Channel(p, 0)}) -
                               std::min({Channel(p, 16), Channel(p, 8), Channel(p, 0)});
            all = Channel(p, 16) < Channel(slide, 16) - 16 && spread < 12;
        }
        if (all) columns.push_back(x);
    }
    return columns;
}

// The effect over a slide that fills the stage for hold frames, then a grey
// slide: the movie is written into path and must replay clean; then it is
// played to each of the frames counted from the effect's first (1).
inline std::vector<Shot> PlayOverSlide(std::unique_ptr<COverlayEffect> effect, long slide, int hold,
                                       const std::string& path, const std::vector<int>& frames,
                                       const std::function<bool(const Shot&)>& shown = nullptr)
{
    tavrel_test::Scene scene;
    scene.slides.push_back({slide, 320, 240, nullptr, std::move(effect), hold});
    scene.slides.push_back({0x303030, 320, 240, nullptr, nullptr, 2});
    tavrel_test::SceneMovie movie;
    std::vector<Shot> shots;
    if (!tavrel_test::WriteScene(scene, path, &movie)) {
        ADD_FAILURE() << "cannot write " << path;
        return shots;
    }
    tavrel_test::ExpectSceneReplays(movie);
    for (int frame : frames) shots.push_back(PlayTo(path, movie.marks[0].firstFrame + frame - 1, shown));
    return shots;
}

// A pixel a firework lights: far redder or bluer than the slide (the discs
// run from red to orange and from blue to white, some tinted).
inline bool BurstPixel(long p, long slide)
{
    return Channel(p, 16) - Channel(slide, 16) > 60 || Channel(p, 0) - Channel(slide, 0) > 60;
}

// A pixel of snow: lighter than the slide in every channel.
inline bool FlakePixel(long p, long slide)
{
    for (int s : {16, 8, 0})
        if (Channel(p, s) - Channel(slide, s) < 40) return false;
    return true;
}

// The lowest row holding a pixel that is; -1 when none does.
inline int LowestRow(const Shot& shot, const std::function<bool(long)>& is)
{
    for (int y = shot.height - 1; y >= 0; --y)
        for (int x = 0; x < shot.width; ++x)
            if (is(shot.At(x, y))) return y;
    return -1;
}

}  // namespace effect_pixels
