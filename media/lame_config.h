#pragma once
// The stream-encoder interface between the MP3 encoder and its bundle
// ("lame_encU.bundle"): the configuration record in its LAME form, the
// version record and the entry points. Both sides are compiled from this one
// header, so the record's layout is checked here once.
#include <cstddef>
#include <cstdint>

#include "av/resampler.h"
#include "media/mp3_frames.h"

namespace lame_bundle {

inline constexpr uint32_t kConfigLame = 256;  // dwConfig of the LAME form
inline constexpr int32_t kModeStereo = 0;
inline constexpr int32_t kModeJointStereo = 1;
inline constexpr int32_t kModeMono = 3;
inline constexpr int32_t kPresetHighQuality = 2;
inline constexpr uint32_t kMpeg1 = 1;

// Results of the entry points.
inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kErrInvalidFormat = 1;
inline constexpr uint32_t kErrInvalidFormatParameters = 2;
inline constexpr uint32_t kErrNoMoreHandles = 3;
inline constexpr uint32_t kErrInvalidHandle = 4;
inline constexpr uint32_t kErrBufferTooSmall = 5;

#pragma pack(push, 1)
struct Config {
    uint32_t dwConfig;
    uint32_t dwStructVersion;
    uint32_t dwStructSize;
    uint32_t dwSampleRate;    // Hz of the samples fed in
    uint32_t dwReSampleRate;  // Hz of the MP3
    int32_t nMode;
    uint32_t dwBitrate;  // kbit/s
    uint32_t dwMaxBitrate;
    int32_t nPreset;
    uint32_t dwMpegVersion;
    uint32_t dwPsyModel;
    uint32_t dwEmphasis;
    int32_t bPrivate;
    int32_t bCRC;
    int32_t bCopyright;
    int32_t bOriginal;
    int32_t bWriteVBRHeader;
    int32_t bEnableVBR;
    int32_t nVBRQuality;
    uint32_t dwVbrAbr_bps;
    int32_t nVbrMethod;
    int32_t bNoRes;  // no bit reservoir: every frame decodes on its own
    int32_t bStrictIso;
    uint16_t nQuality;
    uint8_t btReserved[237];
};

struct Version {
    uint8_t byDLLMajorVersion;
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion;
    uint8_t byMinorVersion;
    uint8_t byDay;
    uint8_t byMonth;
    uint16_t wYear;
    char zHomepage[129];
    uint8_t byAlphaLevel;
    uint8_t byBetaLevel;
    uint8_t byMMXEnabled;
    uint8_t btReserved[125];
};
#pragma pack(pop)

inline constexpr uint32_t kConfigSize = 331;
static_assert(sizeof(Config) == kConfigSize, "the configuration record is 331 bytes");
static_assert(offsetof(Config, bNoRes) == 84 && offsetof(Config, nQuality) == 92);

using Stream = uintptr_t;

extern "C" {
using InitStreamProc = uint32_t (*)(Config* config, uint32_t* samplesPerChunk, uint32_t* bufferSize, Stream* stream);
// count: 16-bit samples, channels interleaved, in host byte order.
using EncodeChunkProc = uint32_t (*)(Stream stream, uint32_t count, const int16_t* samples, uint8_t* output,
                                     uint32_t* outputBytes);
using DeinitStreamProc = uint32_t (*)(Stream stream, uint8_t* output, uint32_t* outputBytes);
using CloseStreamProc = uint32_t (*)(Stream stream);
using VersionProc = void (*)(Version* version);
}

// Whether the encoder takes samples fed at inRate for an MP3 at outRate: the
// bundle resamples between them, at most 256 times up or down.
inline constexpr uint64_t kMaxRateRatio = 256;
constexpr bool TakesRates(uint64_t inRate, uint64_t outRate)
{
    return inRate > 0 && outRate > 0 && inRate <= outRate * kMaxRateRatio && outRate <= inRate * kMaxRateRatio;
}

// The bit rate (kbit/s) an MP3 at rate Hz is encoded at when kbps is asked
// for: kbps where the MP3 has it, else the nearest it has (the lower of two
// as near); 0 for none asked (kbps of 0 or less). From 32000 Hz MPEG-1 has
// 32 to 320, from 16000 Hz MPEG-2 8 to 160, and below MPEG-2.5 8 to 64,
// libmp3lame's own limit there. The bundle encodes at this rate.
constexpr uint32_t Mp3BitRateFor(uint32_t rate, int64_t kbps)
{
    if (kbps <= 0) return 0;
    const int* rates = rate >= 32000 ? kMpeg1BitRates : kMpeg2BitRates;
    const int last = rate >= 16000 ? 14 : 8;  // the header index of the highest
    int best = rates[1];
    for (int i = 2; i <= last; ++i)
        if (kbps - best > rates[i] - kbps) best = rates[i];
    return uint32_t(best);
}

// Output bytes one encode call may produce for count samples fed at inRate
// (all channels together); the caller's output buffer must take this much.
// count 0 sizes the flush of beDeinitStream. Resampled, the count grows by
// the ratio, plus the frames the resampler held back (of both channels),
// which may come out of any later call and come out whole at the flush.
constexpr uint64_t MaxOutputBytes(uint64_t count, uint64_t inRate, uint64_t outRate)
{
    uint64_t samples = count;
    if (inRate != outRate && TakesRates(inRate, outRate))
        samples = (count * outRate + inRate - 1) / inRate +
                  2 * uint64_t(platform::Resampler::MaxHeldFrames(int64_t(inRate), int64_t(outRate)));
    return samples + samples / 4 + 7200;
}

}  // namespace lame_bundle
