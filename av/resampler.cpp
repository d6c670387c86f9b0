#include "av/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace platform {

namespace {

// Four floats to an instruction where the processor has them (SSE, NEON),
// eight with fused multiply-adds where it has AVX2 (chosen as the program
// runs); plain arithmetic elsewhere. n is a multiple of 8 throughout.
typedef float Float4 __attribute__((vector_size(16)));

inline Float4 Load4(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline float Sum4(Float4 v)
{
    return (v[0] + v[1]) + (v[2] + v[3]);
}

float Dot(const float* a, const float* b, size_t n)
{
    Float4 s0{}, s1{};
    for (size_t i = 0; i < n; i += 8) {
        s0 += Load4(a + i) * Load4(b + i);
        s1 += Load4(a + i + 4) * Load4(b + i + 4);
    }
    return Sum4(s0 + s1);
}

// Two channels through the same taps.
void Dot2(const float* taps, const float* x0, const float* x1, size_t n, float* y0, float* y1)
{
    Float4 a0{}, a1{}, b0{}, b1{};
    for (size_t i = 0; i < n; i += 8) {
        const Float4 t0 = Load4(taps + i), t1 = Load4(taps + i + 4);
        a0 += t0 * Load4(x0 + i);
        a1 += t1 * Load4(x0 + i + 4);
        b0 += t0 * Load4(x1 + i);
        b1 += t1 * Load4(x1 + i + 4);
    }
    *y0 = Sum4(a0 + a1);
    *y1 = Sum4(b0 + b1);
}

#if defined(__x86_64__) || defined(__i386__)
#define TAVREL_RESAMPLER_AVX2 1
typedef float Float8 __attribute__((vector_size(32)));

__attribute__((target("avx2,fma"))) inline Float8 Load8(const float* p)
{
    Float8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

__attribute__((target("avx2,fma"))) inline float Sum8(Float8 v)
{
    return Sum4(Float4{v[0], v[1], v[2], v[3]} + Float4{v[4], v[5], v[6], v[7]});
}

__attribute__((target("avx2,fma"))) float DotAvx2(const float* a, const float* b, size_t n)
{
    Float8 s0{}, s1{};
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        s0 += Load8(a + i) * Load8(b + i);
        s1 += Load8(a + i + 8) * Load8(b + i + 8);
    }
    if (i < n) s0 += Load8(a + i) * Load8(b + i);
    return Sum8(s0 + s1);
}

__attribute__((target("avx2,fma"))) void Dot2Avx2(const float* taps, const float* x0, const float* x1, size_t n,
                                                  float* y0, float* y1)
{
    Float8 a0{}, a1{}, b0{}, b1{};
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const Float8 t0 = Load8(taps + i), t1 = Load8(taps + i + 8);
        a0 += t0 * Load8(x0 + i);
        a1 += t1 * Load8(x0 + i + 8);
        b0 += t0 * Load8(x1 + i);
        b1 += t1 * Load8(x1 + i + 8);
    }
    if (i < n) {
        const Float8 t0 = Load8(taps + i);
        a0 += t0 * Load8(x0 + i);
        b0 += t0 * Load8(x1 + i);
    }
    *y0 = Sum8(a0 + a1);
    *y1 = Sum8(b0 + b1);
}
#endif

using DotProc = float (*)(const float*, const float*, size_t);
using Dot2Proc = void (*)(const float*, const float*, const float*, size_t, float*, float*);

struct Kernels {
    DotProc dot = Dot;
    Dot2Proc dot2 = Dot2;
};

const Kernels& ChosenKernels()
{
    static const Kernels chosen = [] {
        Kernels k;
#ifdef TAVREL_RESAMPLER_AVX2
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
            k.dot = DotAvx2;
            k.dot2 = Dot2Avx2;
        }
#endif
        return k;
    }();
    return chosen;
}

double BesselI0(double x)
{
    double sum = 1, term = 1;
    for (int k = 1; k < 500 && term > sum * 1e-17; ++k) {
        const double f = x / (2.0 * k);
        term *= f * f;
        sum += term;
    }
    return sum;
}

// At most this many floats of taps (16 MB): a steep drop of rate has long
// filters, and then few phases do, the filter being smooth between them.
constexpr int64_t kMaxTableFloats = int64_t(1) << 22;

}  // namespace

bool Resampler::Start(int64_t inRate, int64_t outRate, int channels)
{
    if (inRate < 1 || outRate < 1 || channels < 1) return false;
    inRate_ = inRate;
    outRate_ = outRate;
    channels_ = channels;
    const int64_t g = std::gcd(inRate, outRate);
    up_ = outRate / g;
    down_ = inRate / g;
    // In cycles per input frame.
    const double stop = 0.5 * double(std::min(inRate, outRate)) / double(inRate);
    const double cutoff = (kPassband * stop + stop) / 2;
    taps_ = TapsFor(inRate, outRate);
    // Kaiser's estimate of the window's shape for the stopband.
    const double beta = 0.1102 * (kStopbandDb - 8.7);
    exact_ = up_ <= kMaxExactPhases && up_ * taps_ <= kMaxTableFloats;
    // Interpolated: one row more, the next frame's first phase.
    const int64_t phases = exact_ ? up_ : std::clamp<int64_t>(kMaxTableFloats / taps_ - 1, 16, kInterpolatedPhases) + 1;
    table_.assign(size_t(phases) * size_t(taps_), 0.0f);
    const int half = taps_ / 2;
    const double norm = BesselI0(beta);
    for (int64_t p = 0; p < phases; ++p) {
        // The output lies this far past input frame whole_; tap j meets the
        // input at whole_ - half + 1 + j. Exact phases are kept in the order
        // outputs use them (output k takes row k mod up), so the rows are
        // read one after another.
        const double frac = exact_ ? double(p * down_ % up_) / double(up_) : double(p) / double(phases - 1);
        std::vector<double> row(static_cast<size_t>(taps_));
        double sum = 0;
        for (int j = 0; j < taps_; ++j) {
            const double x = double(j - half + 1) - frac;
            const double r = x / half;
            if (r <= -1 || r >= 1) continue;
            const double arg = 2 * M_PI * cutoff * x;
            const double sinc = x == 0 ? 1.0 : std::sin(arg) / arg;
            row[size_t(j)] = 2 * cutoff * sinc * BesselI0(beta * std::sqrt(1 - r * r)) / norm;
            sum += row[size_t(j)];
        }
        // Each phase passes a constant level unchanged.
        float* out = table_.data() + size_t(p) * size_t(taps_);
        for (int j = 0; j < taps_; ++j) out[j] = float(row[size_t(j)] / sum);
    }
    input_.assign(size_t(channels), std::vector<float>(size_t(half), 0.0f));
    first_ = -half;
    received_ = next_ = whole_ = rest_ = 0;
    return true;
}

int64_t Resampler::OutputFrames(int64_t inFrames) const
{
    if (down_ < 1 || inFrames <= 0) return 0;
    return inFrames / down_ * up_ + inFrames % down_ * up_ / down_;
}

namespace {

// Interleaved frames onto the buffers of their channels, scaled.
template <class Sample>
void Deinterleave(const Sample* in, size_t frames, float scale, std::vector<std::vector<float>>& channels)
{
    const size_t count = channels.size();
    for (size_t c = 0; c < count; ++c) {
        std::vector<float>& buffer = channels[c];
        const size_t base = buffer.size();
        buffer.resize(base + frames);
        for (size_t f = 0; f < frames; ++f) buffer[base + f] = float(in[f * count + c]) * scale;
    }
}

}  // namespace

void Resampler::Push(const float* in, size_t frames, std::vector<float>* out)
{
    if (!IsStarted()) return;
    Deinterleave(in, frames, 1.0f, input_);
    received_ += int64_t(frames);
    Produce(false, out);
}

void Resampler::Push(const int16_t* in, size_t frames, std::vector<float>* out)
{
    if (!IsStarted()) return;
    Deinterleave(in, frames, 1.0f / 32768.0f, input_);
    received_ += int64_t(frames);
    Produce(false, out);
}

void Resampler::Finish(std::vector<float>* out)
{
    if (!IsStarted()) return;
    // Silence after the end, as before the start.
    for (std::vector<float>& buffer : input_) buffer.resize(buffer.size() + size_t(taps_), 0.0f);
    Produce(true, out);
}

void Resampler::Produce(bool ended, std::vector<float>* out)
{
    const int64_t half = taps_ / 2;
    // Output k lies at input frame k × down / up and takes the inputs up to
    // half frames past its whole part: those ready now are the k with
    // k × down < (received - half) × up.
    int64_t end = OutputFrames(received_);
    if (!ended) {
        const int64_t reach = received_ - half;
        end = reach <= 0 ? 0 : std::min(end + 1, OutputFrames(reach) + (reach * up_ % down_ != 0 ? 1 : 0));
    }
    if (end <= next_) return;
    const size_t ch = size_t(channels_);
    const size_t n = size_t(taps_);
    const size_t base = out->size();
    out->resize(base + size_t(end - next_) * ch);
    float* y = out->data() + base;
    const int64_t step = down_ / up_, stepRest = down_ % up_;
    const int64_t phases = exact_ ? up_ : int64_t(table_.size() / n) - 1;
    const Kernels& k = ChosenKernels();
    for (int64_t row = next_ % up_; next_ < end; ++next_, y += ch) {
        const size_t at = size_t(whole_ - half + 1 - first_);
        if (exact_) {
            const float* taps = Phase(row);
            if (ch == 2)
                k.dot2(taps, input_[0].data() + at, input_[1].data() + at, n, y, y + 1);
            else
                for (size_t c = 0; c < ch; ++c) y[c] = k.dot(taps, input_[c].data() + at, n);
            if (++row == up_) row = 0;
        } else {
            const int64_t scaled = rest_ * phases;
            const int64_t p = scaled / up_;
            const float a = float(scaled % up_) / float(up_);
            const float *lo = Phase(p), *hi = Phase(p + 1);
            for (size_t c = 0; c < ch; ++c) {
                const float* x = input_[c].data() + at;
                y[c] = (1 - a) * k.dot(lo, x, n) + a * k.dot(hi, x, n);
            }
        }
        whole_ += step;
        rest_ += stepRest;
        if (rest_ >= up_) {
            rest_ -= up_;
            ++whole_;
        }
    }
    Trim();
}

void Resampler::Trim()
{
    // What no later output reaches: before the first tap of the next one.
    const int64_t drop = whole_ - taps_ / 2 + 1 - first_;
    if (drop < 16384) return;
    for (std::vector<float>& buffer : input_) buffer.erase(buffer.begin(), buffer.begin() + std::ptrdiff_t(drop));
    first_ += drop;
}

}  // namespace platform
