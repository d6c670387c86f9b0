// A stand-in MP3 encoder bundle for tests: one silent frame of the asked
// rate and bit rate per chunk of samples fed, calls logged to the file named
// by FAKE_LAME_LOG, failures on request through FAKE_LAME_FAIL ("init",
// "encode": every chunk, "encode-N": the first N chunks).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/lame_config.h"

using namespace lame_bundle;

namespace {

struct FakeStream {
    uint32_t header = 0;
    uint32_t frameBytes = 0;
    uint32_t samplesPerChunk = 0;
    uint32_t inRate = 0, outRate = 0;
    uint64_t fed = 0;
    uint64_t emitted = 0;
    int encodeCalls = 0;
};

void Log(const char* format, unsigned long a, unsigned long b = 0, unsigned long c = 0, unsigned long d = 0)
{
    const char* path = std::getenv("FAKE_LAME_LOG");
    if (!path) return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, format, a, b, c, d);
        std::fputc('\n', f);
        std::fclose(f);
    }
}

bool FailOn(const char* what)
{
    const char* fail = std::getenv("FAKE_LAME_FAIL");
    return fail && std::strcmp(fail, what) == 0;
}

uint32_t Emit(FakeStream& s, uint64_t frames, uint8_t* out)
{
    uint32_t bytes = 0;
    for (uint64_t i = 0; i < frames; ++i) {
        for (int shift = 24; shift >= 0; shift -= 8) out[bytes++] = uint8_t(s.header >> shift);
        std::memset(out + bytes, 0, s.frameBytes - 4);
        bytes += s.frameBytes - 4;
    }
    s.emitted += frames;
    return bytes;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) uint32_t beInitStream(Config* c, uint32_t* spc, uint32_t* size, Stream* stream)
{
    Log("init %lu %lu %lu %lu", c->dwSampleRate, c->dwReSampleRate, (unsigned long)c->nMode, c->dwBitrate);
    if (FailOn("init")) return kErrInvalidFormatParameters;
    static const int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    static const int kVersionBits[3] = {3, 2, 0};
    static const int kBitRates[2][15] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
                                         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    int version = -1, rateIndex = 0;
    for (int v = 0; v < 3 && version < 0; ++v)
        for (int r = 0; r < 3; ++r)
            if (kRates[v][r] == int(c->dwReSampleRate)) version = v, rateIndex = r;
    if (version < 0) return kErrInvalidFormatParameters;
    int bitIndex = 0;
    for (int i = 1; i < 15; ++i)
        if (kBitRates[version ? 1 : 0][i] == int(c->dwBitrate)) bitIndex = i;
    if (bitIndex == 0) return kErrInvalidFormatParameters;
    auto* s = new FakeStream;
    const int channels = c->nMode == kModeMono ? 1 : 2;
    const uint32_t modeBits = channels == 1 ? 3 : 1;
    s->header = 0xFFE00000u | uint32_t(kVersionBits[version]) << 19 | 1u << 17 | 1u << 16 | uint32_t(bitIndex) << 12 |
                uint32_t(rateIndex) << 10 | modeBits << 6;
    const int factor = version == 0 ? 144 : 72;
    s->frameBytes = uint32_t(factor * kBitRates[version ? 1 : 0][bitIndex] * 1000 / kRates[version][rateIndex]);
    s->samplesPerChunk = uint32_t((version == 0 ? 1152 : 576) * channels);
    *spc = s->samplesPerChunk;
    s->inRate = c->dwSampleRate;
    s->outRate = c->dwReSampleRate;
    *size = uint32_t(MaxOutputBytes(*spc, s->inRate, s->outRate));
    *stream = reinterpret_cast<Stream>(s);
    return kOk;
}

__attribute__((visibility("default"))) uint32_t beEncodeChunk(Stream stream, uint32_t count, const int16_t*,
                                                              uint8_t* out, uint32_t* bytes)
{
    auto* s = reinterpret_cast<FakeStream*>(stream);
    Log("encode %lu", count);
    ++s->encodeCalls;
    const char* fail = std::getenv("FAKE_LAME_FAIL");
    const int failFirst = fail && std::strncmp(fail, "encode-", 7) == 0 ? std::atoi(fail + 7) : 0;
    if (FailOn("encode") || s->encodeCalls <= failFirst) return kErrBufferTooSmall;
    const uint64_t frames = (s->fed + count) / s->samplesPerChunk - s->emitted;
    // The caller's buffer is only as large as the interface promises.
    if (frames * s->frameBytes > MaxOutputBytes(count, s->inRate, s->outRate)) return kErrBufferTooSmall;
    s->fed += count;
    *bytes = Emit(*s, frames, out);
    return kOk;
}

__attribute__((visibility("default"))) uint32_t beDeinitStream(Stream stream, uint8_t* out, uint32_t* bytes)
{
    auto* s = reinterpret_cast<FakeStream*>(stream);
    Log("deinit %lu", (unsigned long)s->fed);
    const uint64_t total = (s->fed + s->samplesPerChunk - 1) / s->samplesPerChunk;
    *bytes = Emit(*s, total - s->emitted, out);
    return kOk;
}

__attribute__((visibility("default"))) uint32_t beCloseStream(Stream stream)
{
    Log("close %lu", 0);
    delete reinterpret_cast<FakeStream*>(stream);
    return kOk;
}

#ifndef FAKE_LAME_NO_VERSION
__attribute__((visibility("default"))) void beVersion(Version* v)
{
    std::memset(v, 0, sizeof *v);
}
#endif

}  // extern "C"
