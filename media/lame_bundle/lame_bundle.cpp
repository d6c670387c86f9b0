// The MP3 encoder bundle: the stream-encoder entry points over libmp3lame.
// Streams are plain constant-bit-rate MP3 without a reservoir, a Xing/Info
// frame or ID3 tags, so every frame decodes alone and the frames can be cut
// into movie frames as they are.
#include <lame/lame.h>

#include <cstring>
#include <new>

#include "media/lame_config.h"

using namespace lame_bundle;

namespace {

struct EncoderStream {
    lame_global_flags* flags = nullptr;
    int channels = 1;
};

EncoderStream* FromHandle(Stream stream)
{
    return reinterpret_cast<EncoderStream*>(stream);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) uint32_t beInitStream(Config* config, uint32_t* samplesPerChunk,
                                                             uint32_t* bufferSize, Stream* stream)
{
    if (!config || !samplesPerChunk || !bufferSize || !stream) return kErrInvalidFormatParameters;
    if (config->dwConfig != kConfigLame || config->dwStructSize < kConfigSize) return kErrInvalidFormat;
    if (config->dwSampleRate == 0 || config->dwReSampleRate == 0 || config->dwBitrate == 0)
        return kErrInvalidFormatParameters;
    auto* s = new (std::nothrow) EncoderStream;
    if (!s) return kErrNoMoreHandles;
    s->channels = config->nMode == kModeMono ? 1 : 2;
    s->flags = lame_init();
    if (!s->flags) {
        delete s;
        return kErrNoMoreHandles;
    }
    lame_global_flags* gf = s->flags;
    lame_set_num_channels(gf, s->channels);
    lame_set_in_samplerate(gf, int(config->dwSampleRate));
    lame_set_out_samplerate(gf, int(config->dwReSampleRate));
    lame_set_brate(gf, int(config->dwBitrate));
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
    // caller's frames and tags assume the rate asked for.
    if (lame_init_params(gf) < 0 || lame_get_out_samplerate(gf) != int(config->dwReSampleRate)) {
        lame_close(gf);
        delete s;
        return kErrInvalidFormatParameters;
    }
    *samplesPerChunk = uint32_t(lame_get_framesize(gf) * s->channels);
    *bufferSize = uint32_t(MaxOutputBytes(*samplesPerChunk));
    *stream = reinterpret_cast<Stream>(s);
    return kOk;
}

__attribute__((visibility("default"))) uint32_t beEncodeChunk(Stream stream, uint32_t count, const int16_t* samples,
                                                              uint8_t* output, uint32_t* outputBytes)
{
    EncoderStream* s = FromHandle(stream);
    if (!s || !s->flags || !outputBytes || !output || (count && !samples)) return kErrInvalidHandle;
    const int frames = int(count / uint32_t(s->channels));
    const int room = int(MaxOutputBytes(count));
    // libmp3lame does not write to its input; its interface is not const.
    short* in = const_cast<short*>(reinterpret_cast<const short*>(samples));
    const int written = s->channels == 2 ? lame_encode_buffer_interleaved(s->flags, in, frames, output, room)
                                         : lame_encode_buffer(s->flags, in, in, frames, output, room);
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
    const int written = lame_encode_flush(s->flags, output, int(MaxOutputBytes(0)));
    if (written < 0) {
        *outputBytes = 0;
        return kErrBufferTooSmall;
    }
    *outputBytes = uint32_t(written);
    return kOk;
}

__attribute__((visibility("default"))) uint32_t beCloseStream(Stream stream)
{
    EncoderStream* s = FromHandle(stream);
    if (!s) return kErrInvalidHandle;
    if (s->flags) lame_close(s->flags);
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
