#pragma once
// Sound from one sample rate to another, for the MP3 encoder bundle and the
// sound exporter alike (the bundle compiles this file too; it links nothing
// else of ours). A polyphase windowed-sinc filter (Kaiser window) from a
// table made when the rates are set:
// - time is kept: output frame k is the sound at input time k × in / out,
//   the filter centred there (no delay), so a click at t stays at t;
// - counts are exact: n input frames give OutputFrames(n) output frames,
//   floor(n × out / in), what a sound's SWF sample count says;
// - the filter passes 90 % of the lower rate's Nyquist frequency and stops
//   everything from that Nyquist frequency on by at least 90 dB, so nothing
//   above the output's band folds back into it;
// - phases are the exact positions where the reduced ratio has at most
//   kMaxExactPhases of them, else kInterpolatedPhases between which each
//   output's filter is interpolated.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

class Resampler {
public:
    // The filter: the stopband's floor in dB, and where the passband ends as
    // a share of the lower rate's Nyquist frequency; the stopband starts
    // there.
    static constexpr double kStopbandDb = 96;
    static constexpr double kPassband = 0.9;
    static constexpr int64_t kMaxExactPhases = 2048;
    static constexpr int64_t kInterpolatedPhases = 1024;

    // Filter taps per output frame, in input frames: Kaiser's estimate of
    // the window's length for the stopband over the transition band, in
    // whole groups of 8. For rates of 1 and more.
    static constexpr int TapsFor(int64_t inRate, int64_t outRate)
    {
        const double width = (1 - kPassband) * 0.5 * double(inRate < outRate ? inRate : outRate) / double(inRate);
        const double length = (kStopbandDb - 7.95) / (2.285 * 2 * 3.141592653589793 * width) + 1;
        const int64_t groups = int64_t(length / 8);
        return int((double(groups) * 8 < length ? groups + 1 : groups) * 8);
    }
    // Output frames a push may hand out beyond what its own input makes:
    // those held back until the input half a filter past them had come.
    static constexpr int64_t MaxHeldFrames(int64_t inRate, int64_t outRate)
    {
        return (int64_t(TapsFor(inRate, outRate)) / 2 * outRate + inRate - 1) / inRate + 1;
    }

    // false (and nothing set) for a rate or channel count below 1.
    bool Start(int64_t inRate, int64_t outRate, int channels);
    bool IsStarted() const { return channels_ > 0; }
    int64_t InRate() const { return inRate_; }
    int64_t OutRate() const { return outRate_; }
    // Output frames for inFrames input frames.
    int64_t OutputFrames(int64_t inFrames) const;
    // Filter taps per output frame, in input frames.
    int Taps() const { return taps_; }

    // frames interleaved input frames; the output frames they complete are
    // appended to out, interleaved.
    void Push(const float* in, size_t frames, std::vector<float>* out);
    void Push(const int16_t* in, size_t frames, std::vector<float>* out);  // full scale 32768
    // The input has ended: the rest of the output is appended.
    void Finish(std::vector<float>* out);

private:
    // Appends the output frames whose inputs have all come (all of them up
    // to the count for the input when ended).
    void Produce(bool ended, std::vector<float>* out);
    void Trim();
    const float* Phase(int64_t index) const { return table_.data() + size_t(index) * size_t(taps_); }

    int64_t inRate_ = 0, outRate_ = 0;
    int channels_ = 0;
    int64_t up_ = 1, down_ = 1;  // the reduced ratio out / in
    int taps_ = 0;               // a multiple of 8
    bool exact_ = true;
    std::vector<float> table_;  // phases × taps, each phase's taps in input order
    // Input by channel from frame first_ on; the frames before 0 are zeros.
    std::vector<std::vector<float>> input_;
    int64_t first_ = 0;
    int64_t received_ = 0;  // input frames pushed
    int64_t next_ = 0;      // the next output frame
    int64_t whole_ = 0;     // its input position: whole_ + rest_ / up_
    int64_t rest_ = 0;
};

}  // namespace platform
