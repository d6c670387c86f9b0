#pragma once
// The MPEG audio reader's whole decode of a file, held against the clean
// file's: the stray-byte sweep and the sound fuzz target judge by it alike.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "av/mpeg_audio.h"

namespace tavrel_test {

struct MpegDecode {
    std::string error;  // why it does not open, or a read failed
    std::string said;   // the complaints' text
    int channels = 1, rate = 1;
    std::vector<int16_t> samples;
};

// At most most samples of one channel.
inline MpegDecode DecodeMpegAudio(const std::string& path, int64_t most = INT64_MAX)
{
    MpegDecode d;
    platform::MpegAudioReader reader;
    if (!reader.Open(path, &d.error)) {
        if (d.error.empty()) d.error = "it does not open";
        return d;
    }
    d.channels = reader.Channels(), d.rate = reader.Rate();
    std::vector<int16_t> block(size_t(4096) * size_t(d.channels));
    int64_t got = 0;
    while (int64_t(d.samples.size()) / d.channels < most && (got = reader.Read16(block.data(), 4096)) > 0)
        d.samples.insert(d.samples.end(), block.begin(), block.begin() + got * d.channels);
    if (got < 0) d.error = "a read fails";
    d.said = reader.Complaints().Text(reader.Rate());
    return d;
}

// "" where got holds the samples of expect (those before from not
// compared), else how they part.
inline std::string SamplesWrong(const std::vector<int16_t>& expect, const MpegDecode& got, size_t from = 0)
{
    const auto seconds = [&](size_t sample) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f s", double(sample / size_t(got.channels)) / got.rate);
        return std::string(text);
    };
    const std::string said = got.said.empty() ? ", unsaid" : ", said: " + got.said;
    if (got.samples.size() != expect.size())
        return std::to_string(got.samples.size() / size_t(got.channels)) + " samples where " +
               std::to_string(expect.size() / size_t(got.channels)) + " should be" + said;
    size_t first = expect.size(), last = 0;
    for (size_t i = from; i < expect.size(); ++i)
        if (got.samples[i] != expect[i]) first = std::min(first, i), last = i;
    return first < expect.size() ? "the samples differ from " + seconds(first) + " to " + seconds(last) + said : "";
}

// Bytes too few for a frame between frames: "" where the decode is the
// clean file's, sample for sample, and nothing is said.
inline std::string StrayBytesWrong(const MpegDecode& clean, const MpegDecode& got)
{
    if (!got.error.empty()) return "the reader fails: " + got.error;
    const std::string wrong = SamplesWrong(clean.samples, got);
    return wrong.empty() && !got.said.empty() ? "said: " + got.said : wrong;
}

}  // namespace tavrel_test
