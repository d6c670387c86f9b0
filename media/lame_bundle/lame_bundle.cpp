// The MP3 encoder bundle: the stream-encoder entry points over libmp3lame.
// Streams are plain constant-bit-rate MP3 without a reservoir, a Xing/Info
// frame or ID3 tags, so every frame decodes alone and the frames can be cut
// into movie frames as they are. Samples at another rate than the MP3's are
// resampled here (av/resampler.h, whose output keeps the input's time):
// libmp3lame's own resampler fails from a ratio of about 4 on, and libmp3lame
// then runs at the one rate.
#include <lame/lame.h>

#include <cstring>
#include <new>
#include <vector>

#include "av/resampler.h"
#include "media/lame_config.h"

using namespace lame_bundle;

namespace {

struct EncoderStream {
    ~EncoderStream()
    {
        if (flags) lame_close(flags);
    }
    lame_global_flags* flags = nullptr;
    int channels = 1;
    uint32_t inRate = 0, outRate = 0;
    platform::Resampler resampler;  // started only when the rates differ
    std::vector<float> out;
};

EncoderStream* FromHandle(Stream stream)
{
    return reinterpret_cast<EncoderStream*>(stream);
}

// Encodes what the resampler made; the bytes written, or -1.
int EncodeResampled(EncoderStream* s, uint8_t* output, int room)
{
    const int frames = int(s->out.size() / size_t(s->channels));
    if (frames == 0) return 0;
    return s->channels == 2 ? lame_encode_buffer_interleaved_ieee_float(s->flags, s->out.data(), frames, output, room)
                            : lame_encode_buffer_ieee_float(s->flags, s->out.data(), s->out.data(), frames, output, room);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) uint32_t beInitStream(Config* config, uint32_t* samplesPerChunk,
                                                             uint32_t* bufferSize, Stream* stream)
{
    if (!config || !samplesPerChunk || !bufferSize || !stream) return kErrInvalidFormatParameters;
    if (config->dwConfig != kConfigLame || config->dwStructSize < kConfigSize) return kErrInvalidFormat;
    if (!TakesRates(config->dwSampleRate, config->dwReSampleRate) || config->dwBitrate == 0)
        return kErrInvalidFormatParameters;
    auto* s = new (std::nothrow) EncoderStream;
    if (!s) return kErrNoMoreHandles;
    s->channels = config->nMode == kModeMono ? 1 : 2;
    s->inRate = config->dwSampleRate;
    s->outRate = config->dwReSampleRate;
    s->flags = lame_init();
    if (s->inRate != s->outRate) s->resampler.Start(s->inRate, s->outRate, s->channels);
    if (!s->flags) {
        delete s;
        return kErrNoMoreHandles;
    }
    lame_global_flags* gf = s->flags;
    lame_set_num_channels(gf, s->channels);
    lame_set_in_samplerate(gf, int(s->outRate));
    lame_set_out_samplerate(gf, int(s->outRate));
    // The rate the caller was told of; libmp3lame would choose the same.
    const uint32_t bitRate = Mp3BitRateFor(s->outRate, config->dwBitrate);
    lame_set_brate(gf, int(bitRate));
    lame_set_VBR(gf, vbr_off);
    lame_set_mode(gf, s->channels == 1 ? MONO : config->nMode == kModeStereo ? STEREO : JOINT_STEREO);
    lame_set_quality(gf, config->nPreset == kPresetHighQuality ? 2 : 5);
    lame_set_disable_reservoir(gf, config->bNoRes ? 1 : 0);
    lame_set_original(gf, config->bOriginal ? 1 : 0);
    lame_set_copyright(gf, config->bCopyright ? 1 : 0);
    lame_set_error_protection(gf, config->bCRC ? 1 : 0);
    lame_set_bWriteVbrTag(gf, 0);
    lame_set_write_id3tag_automatic(gf, 0);
    // libmp3lame quietly picks another rate for one MP3 cannot carry; the
    // caller's frames and tags assume the rates asked for.
    if (lame_init_params(gf) < 0 || lame_get_out_samplerate(gf) != int(s->outRate) ||
        lame_get_brate(gf) != int(bitRate)) {
        delete s;
        return kErrInvalidFormatParameters;
    }
    *samplesPerChunk = uint32_t(lame_get_framesize(gf) * s->channels);
    *bufferSize = uint32_t(MaxOutputBytes(*samplesPerChunk, s->inRate, s->outRate));
    *stream = reinterpret_cast<Stream>(s);
    return kOk;
}

__attribute__((visibility("default"))) uint32_t beEncodeChunk(Stream stream, uint32_t count, const int16_t* samples,
                                                              uint8_t* output, uint32_t* outputBytes)
{
    EncoderStream* s = FromHandle(stream);
    if (!s || !s->flags || !outputBytes || !output || (count && !samples)) return kErrInvalidHandle;
    const int frames = int(count / uint32_t(s->channels));
    const int room = int(MaxOutputBytes(count, s->inRate, s->outRate));
    int written = 0;
    if (s->resampler.IsStarted()) {
        s->out.clear();
        s->resampler.Push(samples, size_t(frames), &s->out);
        written = EncodeResampled(s, output, room);
    } else {
        // libmp3lame does not write to its input; its interface is not const.
        short* in = const_cast<short*>(reinterpret_cast<const short*>(samples));
        written = s->channels == 2 ? lame_encode_buffer_interleaved(s->flags, in, frames, output, room)
                                   : lame_encode_buffer(s->flags, in, in, frames, output, room);
    }
    if (written < 0) {
        *outputBytes = 0;
        return kErrBufferTooSmall;
    }
    *outputBytes = uint32_t(written);
    return kOk;
}

__attribute__((visibility("default"))) uint32_t beDeinitStream(Stream stream, uint8_t* output, uint32_t* outputBytes)
{
    EncoderStream* s = FromHandle(stream);
    if (!s || !s->flags || !output || !outputBytes) return kErrInvalidHandle;
    const int room = int(MaxOutputBytes(0, s->inRate, s->outRate));
    // The resampler's lag comes out first, then libmp3lame's last frames.
    int tail = 0;
    if (s->resampler.IsStarted()) {
        s->out.clear();
        s->resampler.Finish(&s->out);
        tail = EncodeResampled(s, output, room);
    }
    const int written = tail < 0 ? -1 : lame_encode_flush(s->flags, output + tail, room - tail);
    if (written < 0) {
        *outputBytes = 0;
        return kErrBufferTooSmall;
    }
    *outputBytes = uint32_t(tail + written);
    return kOk;
}

__attribute__((visibility("default"))) uint32_t beCloseStream(Stream stream)
{
    EncoderStream* s = FromHandle(stream);
    if (!s) return kErrInvalidHandle;
    delete s;
    return kOk;
}

__attribute__((visibility("default"))) void beVersion(Version* version)
{
    if (!version) return;
    std::memset(version, 0, sizeof *version);
    lame_version_t v;
    get_lame_version_numerical(&v);
    version->byDLLMajorVersion = 1;
    version->byDLLMinorVersion = 32;
    version->byMajorVersion = uint8_t(v.major);
    version->byMinorVersion = uint8_t(v.minor);
    std::strncpy(version->zHomepage, get_lame_url(), sizeof version->zHomepage - 1);
}

}  // extern "C"
