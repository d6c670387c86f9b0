// Despeckle: flat-coloured flecks merge into their nearest bordering colour,
// larger flecks in later passes with a stricter tolerance.
#include <cmath>
#include <vector>

#include "media/filter_loops.h"
#include "media/image_filters.h"

using filter_loops::HasRgbPixels;
using filter_loops::NewWorkArea;
using filter_loops::PixelCount;

namespace {

enum : uint8_t { kUnvisited = 0, kCounted = 1, kMerging = 2, kDone = 3 };

class Despeckler {
public:
    Despeckler(CImage& image, uint8_t* state) : image_(image), state_(state), width_(image.width), height_(image.height)
    {
    }

    void RunPass(int pass)
    {
        const uint64_t maxSize = uint64_t(1) << pass;
        const int tolerance = int(256.0 / (3.0 * pass + 1.0));
        std::fill(state_, state_ + width_ * height_, kUnvisited);
        for (int64_t i = 0; i < width_ * height_; ++i) {
            if (state_[i] != kUnvisited) continue;
            const uint32_t color = ColorAt(i);
            CountRegion(i, color);
            if (region_.size() < maxSize) MergeRegion(i, color, tolerance);
            for (int64_t cell : region_) state_[cell] = kDone;
        }
    }

private:
    uint32_t ColorAt(int64_t i) const
    {
        const uint8_t* p = image_.pixels + i * 3;
        return p[0] | (p[1] << 8) | (uint32_t(p[2]) << 16);
    }

    // The 4-connected region of `color` through `start`, marked counted.
    void CountRegion(int64_t start, uint32_t color)
    {
        region_.clear();
        seeds_.assign(1, start);
        while (!seeds_.empty()) {
            const int64_t seed = seeds_.back();
            seeds_.pop_back();
            if (state_[seed] == kCounted || ColorAt(seed) != color) continue;
            const int64_t y = seed / width_, rowStart = y * width_;
            int64_t left = seed, right = seed;
            while (left > rowStart && state_[left - 1] != kCounted && ColorAt(left - 1) == color) --left;
            while (right < rowStart + width_ - 1 && state_[right + 1] != kCounted && ColorAt(right + 1) == color)
                ++right;
            for (int64_t c = left; c <= right; ++c) {
                state_[c] = kCounted;
                region_.push_back(c);
            }
            for (int64_t c = left; c <= right; ++c) {
                if (y > 0 && state_[c - width_] != kCounted && ColorAt(c - width_) == color)
                    seeds_.push_back(c - width_);
                if (y + 1 < height_ && state_[c + width_] != kCounted && ColorAt(c + width_) == color)
                    seeds_.push_back(c + width_);
            }
        }
    }

    void Consider(int64_t cell, uint32_t color)
    {
        const uint32_t other = ColorAt(cell);
        if (other == color) return;
        int64_t distance = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const int64_t d = int64_t((other >> shift) & 0xFF) - int64_t((color >> shift) & 0xFF);
            distance += d * d;
        }
        if (!found_ || distance < best_) {
            found_ = true;
            best_ = distance;
            bestColor_ = other;
        }
    }

    // A second fill over the counted region, depth first in run order, finds
    // the nearest bordering colour (the first found wins ties).
    void MergeRegion(int64_t start, uint32_t color, int tolerance)
    {
        found_ = false;
        frames_.clear();
        EnterRun(start, color);
        while (!frames_.empty()) {
            Frame& f = frames_.back();
            if (f.cursor > f.right) {
                frames_.pop_back();
                continue;
            }
            const int64_t y = f.cursor / width_;
            int64_t neighbour = -1;
            if (f.down == 0 && y > 0) neighbour = f.cursor - width_;
            if (f.down == 1 && y + 1 < height_) neighbour = f.cursor + width_;
            if (f.down == 0) {
                f.down = 1;
            } else {
                f.down = 0;
                ++f.cursor;
            }
            if (neighbour < 0) continue;
            if (ColorAt(neighbour) != color)
                Consider(neighbour, color);
            else if (state_[neighbour] == kCounted)
                EnterRun(neighbour, color);  // invalidates f
        }
        if (!found_ || std::sqrt(best_ / 3.0) > tolerance) return;
        for (int64_t cell : region_) {
            uint8_t* p = image_.pixels + cell * 3;
            p[0] = uint8_t(bestColor_);
            p[1] = uint8_t(bestColor_ >> 8);
            p[2] = uint8_t(bestColor_ >> 16);
        }
    }

    void EnterRun(int64_t cell, uint32_t color)
    {
        const int64_t rowStart = cell / width_ * width_;
        int64_t left = cell, right = cell;
        while (left > rowStart && state_[left - 1] == kCounted && ColorAt(left - 1) == color) --left;
        while (right < rowStart + width_ - 1 && state_[right + 1] == kCounted && ColorAt(right + 1) == color) ++right;
        for (int64_t c = left; c <= right; ++c) state_[c] = kMerging;
        if (left > rowStart) Consider(left - 1, color);
        if (right < rowStart + width_ - 1) Consider(right + 1, color);
        frames_.push_back({left, right, left, 0});
    }

    struct Frame {
        int64_t left, right, cursor;
        int down;  // 0: look up next, 1: look down next
    };

    CImage& image_;
    uint8_t* state_;
    const int64_t width_, height_;
    std::vector<int64_t> region_, seeds_;
    std::vector<Frame> frames_;
    bool found_ = false;
    int64_t best_ = 0;
    uint32_t bestColor_ = 0;
};

}  // namespace

bool CDespeckleFilter::Apply(CImage& image)
{
    if (PixelCount(image) == 0) return true;
    if (!HasRgbPixels(image)) return false;
    std::unique_ptr<uint8_t[]> state = NewWorkArea<uint8_t>(PixelCount(image));
    if (!state) return false;
    Despeckler despeckler(image, state.get());
    // Pass 0 only takes single pixels, which are never smaller than its
    // size limit of 1: it merges nothing and is skipped.
    for (int pass = 1; pass < 20; ++pass) despeckler.RunPass(pass);
    return true;
}
