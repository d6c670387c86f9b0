#pragma once
// What the moving and scaling kinds share: In/Out pairs built once with
// the sense as a parameter, progress accumulated frame by frame, 16.16
// terms and the matrices and transforms of their frames.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "show/transition.h"
#include "transitions/directional_transition.h"

class CSlide;
class CSwfMatrix;
class CSwfCxformWithAlpha;

namespace motion {

// A count of frames as the loops count them; 0 stays 0.
int Frames(const CTransition& t, const CSwfMovie* movie);
// A RemoveObject2 for the depth.
void Remove(CSwfMovie* movie, uint16_t depth);

// How far frame i of n has come along a travel: travel × i ÷ n, truncated
// towards zero and worked out wide. Frame n stands at the travel's end
// however the two divide (a per-frame step would stop travel mod n short,
// or never move when n exceeds the travel); n of 0 or less is the whole way.
int64_t Along(int64_t travel, int64_t i, int64_t n);

// The new slide comes in, or the previous one goes out.
enum class Sense { kIn, kOut };

// Progress is accumulated by repeated addition, as the frames advance, and
// clamped: never k / n.
struct Progress {
    double value;
    double step;
    double Rise() { return value = std::min(value + step, 1.0); }
    double Fall() { return value = std::max(value - step, 0.0); }
};

}  // namespace motion

// An In/Out family's frame, over any transition base. In: the new slide is
// placed, its frames are written, the old slide is removed. Out: the new
// slide is placed and the old one removed at once, and a copy of the old
// one leaves on top through the frames. Without frames neither writes one
// (no step is computed).
template <class Base>
class CSensed : public Base {
public:
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t*, uint16_t* depthCounter) override
    {
        if (!slide || !movie) return true;
        if (sense_ == motion::Sense::kIn)
            GenerateIn(slide, previous, movie, depthCounter);
        else
            GenerateOut(slide, previous, movie, depthCounter);
        return true;
    }
    // Out has no frames without a slide before it.
    unsigned CountFrames(double frameRate, bool fromSlide) const override
    {
        return sense_ == motion::Sense::kOut && !fromSlide ? 0 : this->DurationFrames(frameRate);
    }
    motion::Sense GetSense() const { return sense_; }

protected:
    template <class... Args>
    explicit CSensed(motion::Sense sense, Args&&... args) : Base(std::forward<Args>(args)...), sense_(sense)
    {
    }
    virtual void GenerateIn(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t*)
    {
        this->PlaceNext(slide, movie, nullptr);
        const int n = motion::Frames(*this, movie);
        if (n > 0) InFrames(*slide, n, movie);
        this->RemovePrevious(previous, movie);
    }
    virtual void GenerateOut(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* depthCounter)
    {
        this->PlaceNext(slide, movie, nullptr);
        this->RemovePrevious(previous, movie);
        if (!previous) return;
        const uint16_t copy = this->PlaceSlideAtNextDepth(previous, movie, depthCounter);
        if (!copy) return;
        const int n = motion::Frames(*this, movie);
        if (n > 0) OutFrames(*previous, copy, n, movie);
        motion::Remove(movie, copy);
    }
    // The n > 0 frames: of the new slide at its own depth, or of the old
    // slide's copy at depth copy.
    virtual void InFrames(CSlide&, int, CSwfMovie*) {}
    virtual void OutFrames(CSlide&, uint16_t, int, CSwfMovie*) {}

private:
    motion::Sense sense_;
};

using CSensedTransition = CSensed<CTransition>;

// The In or the Out kind of a family built on CSensed.
template <class Family, motion::Sense kSense>
class CSensedKind : public CTransitionKind<CSensedKind<Family, kSense>, Family> {
public:
    CSensedKind() : CTransitionKind<CSensedKind, Family>(kSense) {}
};

namespace motion {

// trunc(v × 65536 + 0.5) towards zero, kept to what a matrix field holds.
int32_t Fixed(double v);
// Truncated towards zero and held to the full 32 bits, NaN as the low end:
// the shapes and offsets some kinds write past a matrix field's range
// (ClampToSwfMatrix) for very large slides. Integers up to 2^53 pass exactly.
int32_t Saturated(double v);
// Scale (s, t) without a turn, at (x, y).
CSwfMatrix* ScaleMatrix(double s, double t, int32_t x, int32_t y);
// Colours kept, alpha a in 0..1 (add terms present, all 0).
CSwfCxformWithAlpha* Alpha(double a);
// Colours kept, alpha in 8.8 (multiply terms only).
CSwfCxformWithAlpha* Opacity(int alpha);
// Offsets in twips from pixels, and sums of positions, kept to a matrix field.
int32_t Twips(long pixels);
int32_t Offset(int64_t position, int64_t delta);
// A finite number as it stands; NaN and infinities as 0.
double Finite(double v);
// Rounded to single precision: NaN as 0, beyond the float range held at its ends.
float Single(double v);

}  // namespace motion
