#pragma once
// The one rule by which a sound of more channels than the movie's is mixed
// down, on every road a sound is read by (libsndfile's, the movie layer's
// FFmpeg decode, the sound exporter). Header-only: the movie module compiles
// it too, and the main program maps no FFmpeg library to ask swresample.
//
// Channels whose places are known go down as swresample's default downmix
// takes them (its values: centre and surrounds at -3 dB into both sides,
// the low-frequency channel left out, normalised so that no sum of full
// scale channels clips); channels with no known places are all mixed alike
// into one, or their first two taken for two.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace platform {

// A channel's place, numbered as the bits of a WAVE file's channel mask and
// of FFmpeg's native layouts (the same bits).
enum ChannelPlace : int {
    kFrontLeft = 0,
    kFrontRight,
    kFrontCenter,
    kLowFrequency,
    kBackLeft,
    kBackRight,
    kFrontLeftOfCenter,
    kFrontRightOfCenter,
    kBackCenter,
    kSideLeft,
    kSideRight,
    kTopCenter,
    kTopFrontLeft,
    kTopFrontCenter,
    kTopFrontRight,
    kTopBackLeft,
    kTopBackCenter,
    kTopBackRight,
    kPlaceCount
};

// The places of a channel mask's channels, lowest bit first; empty when the
// mask names a place past those above or not count channels.
inline std::vector<int> PlacesOfMask(uint64_t mask, int count)
{
    std::vector<int> places;
    if (mask >> kPlaceCount) return {};
    for (int bit = 0; bit < kPlaceCount; ++bit)
        if (mask >> bit & 1) places.push_back(bit);
    if (int(places.size()) != count) return {};
    return places;
}

// The places FFmpeg gives a count of channels no file names (its default
// layouts); empty for counts past 8.
inline std::vector<int> DefaultPlaces(int count)
{
    static constexpr uint64_t kMasks[] = {0, 0x4, 0x3, 0xB, 0x107, 0x37, 0x3F, 0x70F, 0x63F};
    return count >= 1 && count <= 8 ? PlacesOfMask(kMasks[count], count) : std::vector<int>{};
}

// The gains that make out channels of in: out rows of in values, row by
// row (out 1: the mono channel; 2: left, right). places gives the input's
// places in channel order, empty where the file names none (FFmpeg's
// default for the count then stands). An output of as many channels or more
// takes input channel c % in for its channel c.
inline std::vector<float> MixMatrix(int in, const std::vector<int>& named, int out)
{
    std::vector<float> gains(size_t(std::max(in, 0)) * size_t(std::max(out, 0)), 0.0f);
    if (in <= 0 || out <= 0) return gains;
    auto at = [&](int o, int i) -> float& { return gains[size_t(o) * size_t(in) + size_t(i)]; };
    if (out >= in) {
        for (int o = 0; o < out; ++o) at(o, o % in) = 1;
        return gains;
    }
    std::vector<int> places = int(named.size()) == in ? named : DefaultPlaces(in);
    bool known = int(places.size()) == in && out <= 2;
    for (int p : places) known = known && p >= 0 && p < kPlaceCount;
    if (!known) {
        for (int o = 0; o < out; ++o)
            for (int i = 0; i < in; ++i) at(o, i) = out == 1 ? 1.0f / float(in) : float(i == o);
        return gains;
    }
    // Heights sound where the place below them does.
    constexpr int kBelow[kPlaceCount] = {kFrontLeft, kFrontRight, kFrontCenter, kLowFrequency, kBackLeft, kBackRight,
                                         kFrontLeftOfCenter, kFrontRightOfCenter, kBackCenter, kSideLeft, kSideRight,
                                         kFrontCenter, kFrontLeft, kFrontCenter, kFrontRight, kBackLeft,
                                         kBackCenter, kBackRight};
    const double half = std::sqrt(0.5);  // -3 dB
    std::vector<double> left(size_t(in), 0.0), right(size_t(in), 0.0);
    for (int i = 0; i < in; ++i) {
        switch (kBelow[places[size_t(i)]]) {
        case kFrontLeft: case kFrontLeftOfCenter: left[size_t(i)] = 1; break;
        case kFrontRight: case kFrontRightOfCenter: right[size_t(i)] = 1; break;
        case kFrontCenter: left[size_t(i)] = right[size_t(i)] = half; break;
        case kBackLeft: case kSideLeft: left[size_t(i)] = half; break;
        case kBackRight: case kSideRight: right[size_t(i)] = half; break;
        case kBackCenter: left[size_t(i)] = right[size_t(i)] = half * half; break;
        default: break;  // the low-frequency channel
        }
    }
    std::vector<double> rows;
    if (out == 2) {
        rows = left;
        rows.insert(rows.end(), right.begin(), right.end());
    } else {
        // Mono hears left and right each at -3 dB, so centre comes out
        // whole; the back centre keeps its -6 dB.
        rows.resize(size_t(in));
        for (int i = 0; i < in; ++i)
            rows[size_t(i)] = kBelow[places[size_t(i)]] == kBackCenter ? half * half
                                                                       : (left[size_t(i)] + right[size_t(i)]) * half;
    }
    double most = 0;
    for (int o = 0; o < out; ++o) {
        double sum = 0;
        for (int i = 0; i < in; ++i) sum += std::fabs(rows[size_t(o) * size_t(in) + size_t(i)]);
        most = std::max(most, sum);
    }
    const double scale = most > 1 ? 1 / most : 1;
    for (size_t k = 0; k < rows.size(); ++k) gains[k] = float(rows[k] * scale);
    return gains;
}

// Output channel o of one frame of in 16-bit samples, by gains
// (MixMatrix), unrounded.
inline float MixedSample(const std::vector<float>& gains, int in, int o, const int16_t* frame)
{
    const float* row = &gains[size_t(o) * size_t(in)];
    float sum = 0;
    for (int i = 0; i < in; ++i) sum += row[i] * float(frame[i]);
    return sum;
}

// Mixes frames frames of in-channel 16-bit samples to out channels by
// gains (MixMatrix), rounded and clipped.
inline void MixFrames(const std::vector<float>& gains, int in, int out, const int16_t* from, int64_t frames,
                      int16_t* to)
{
    for (int64_t f = 0; f < frames; ++f) {
        const int16_t* frame = from + f * in;
        for (int o = 0; o < out; ++o) {
            const long v = std::lround(MixedSample(gains, in, o, frame));
            to[f * out + o] = int16_t(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
        }
    }
}

}  // namespace platform
