#include "media/sample_filters.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int32_t kDefaultLength = 2000;  // ms
// A chain reads at most this many samples a block, whatever it is asked.
constexpr int32_t kMaxBlock = 1 << 16;

int16_t TimesGain(int16_t s, double gain)
{
    return int16_t(double(s) * gain);  // gain in [0, 1]: always in range
}

}  // namespace

void CScaleSampleFilter::Reset()
{
    CSampleFilter::Reset();
    factor_ = 1.0;
}

bool CScaleSampleFilter::Process(int16_t* samples, int32_t count)
{
    for (int32_t i = 0; samples && i < count; ++i) {
        const double t = std::trunc(double(samples[i]) * factor_);
        // Wrapped, not clipped: only the low 16 bits of the product stay.
        // fmod is exact, so any finite product wraps without overflow.
        samples[i] = std::isfinite(t) ? int16_t(uint16_t(int32_t(std::fmod(t, 65536.0)))) : 0;
    }
    return true;
}

void CMixSampleFilter::Reset()
{
    CSampleFilter::Reset();
    length_ = kDefaultLength;
}

void CMixSampleFilter::SetSecondStream(std::span<const int16_t> samples)
{
    second_ = samples;
    readPosition_ = 0;
    active_ = 0;
}

void CMixSampleFilter::Start(uint32_t, uint16_t)
{
    readPosition_ = 0;
    active_ = int64_t(second_.size());
}

bool CMixSampleFilter::Process(int16_t* samples, int32_t count)
{
    for (int32_t i = 0; samples && i < count && active_ > 0; ++i, --active_) {
        const int32_t sum = int32_t(samples[i]) + second_[readPosition_++];
        samples[i] = int16_t(std::clamp<int32_t>(sum, INT16_MIN, INT16_MAX));
    }
    return true;
}

void CGainStepFilter::Reset()
{
    CSampleFilter::Reset();
    length_ = kDefaultLength;
    samplesPerStep_ = counter_ = 0;
    stepsLeft_ = 0;
    gain_ = 1.0;
    gainStep_ = 0;
}

bool CGainStepFilter::StepDue()
{
    if (--counter_ > 0) return false;
    counter_ = samplesPerStep_;
    --stepsLeft_;
    return true;
}

void CRampSampleFilter::Start(uint32_t rate, uint16_t)
{
    // A ramp of no length is no ramp: the gain is already full.
    gain_ = length_ > 0 ? 0.0 : 1.0;
    stepsLeft_ = std::max(length_, 0);
    samplesPerStep_ = counter_ = rate / 1000;
    gainStep_ = length_ > 0 ? 1.0 / length_ : 0.0;
}

bool CRampSampleFilter::Process(int16_t* samples, int32_t count)
{
    for (int32_t i = 0; samples && i < count; ++i) {
        if (stepsLeft_ < 1) continue;
        // The last step lands on 1.0 exactly, where summed steps fall short.
        if (StepDue()) gain_ = stepsLeft_ == 0 ? 1.0 : std::min(1.0, gain_ + gainStep_);
        samples[i] = TimesGain(samples[i], gain_);
    }
    return true;
}

void CFadeOutSampleFilter::Reset()
{
    CGainStepFilter::Reset();
    samplesToSkip_ = 0;
    channels_ = 1;
    stepsToSilence_ = 0;
}

void CFadeOutSampleFilter::Start(uint32_t rate, uint16_t channels)
{
    channels_ = std::max<uint16_t>(channels, 1);
    gain_ = 1.0;
    // A fade of no length changes nothing.
    stepsLeft_ = int64_t(std::max(length_, 0)) * channels_;
    stepsToSilence_ = std::max(length_, 0);
    gainStep_ = length_ > 0 ? 1.0 / length_ : 0.0;
    samplesPerStep_ = counter_ = int64_t(rate / 1000) * channels_;
    // Whole frames of start ms, so that the fade begins on a frame.
    const uint64_t frames = uint64_t(std::max(start_, 0)) * rate / 1000;
    const uint64_t limit = uint64_t(std::numeric_limits<int64_t>::max()) / channels_;
    samplesToSkip_ = frames > limit ? std::numeric_limits<int64_t>::max() : int64_t(frames * channels_);
}

bool CFadeOutSampleFilter::Process(int16_t* samples, int32_t count)
{
    for (int32_t i = 0; samples && i < count; ++i) {
        if (stepsLeft_ >= 1) {
            if (samplesToSkip_ > 0) {
                --samplesToSkip_;
                continue;
            }
            if (StepDue()) gain_ = --stepsToSilence_ <= 0 ? 0.0 : std::max(0.0, gain_ - gainStep_);
        }
        // Once faded out the sound stays silent; it never comes back.
        samples[i] = TimesGain(samples[i], gain_);
    }
    return true;
}

int32_t CMemorySampleSource::Read(int16_t* out, int32_t count)
{
    if (!out || count <= 0) return 0;
    const size_t n = std::min(size_t(count), samples_.size() - position_);
    std::copy_n(samples_.begin() + std::ptrdiff_t(position_), n, out);
    position_ += n;
    return int32_t(n);
}

void CSampleFilterChain::AddFilter(std::unique_ptr<CSampleFilter> filter)
{
    if (filter) filters_.push_back(std::move(filter));
}

void CSampleFilterChain::Start(uint32_t rate, uint16_t channels)
{
    for (auto& f : filters_) f->Start(rate, channels);
}

std::span<const int16_t> CSampleFilterChain::Read(int32_t count)
{
    if (!source_ || count <= 0) return {};
    buffer_.resize(size_t(std::min(count, kMaxBlock)));
    const int32_t n = std::clamp(source_->Read(buffer_.data(), int32_t(buffer_.size())), 0, int32_t(buffer_.size()));
    for (auto& f : filters_)
        if (f->CanProcess()) f->Process(buffer_.data(), n);
    return {buffer_.data(), size_t(n)};
}

bool CSampleFilterChain::Finish()
{
    bool ok = true;
    for (auto& f : filters_) ok = f->Finish() && ok;
    return ok;
}
