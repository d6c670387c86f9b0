#include "platform/sound_media.h"

#include <samplerate.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/gestalt.h"

namespace platform {

namespace {

// Bits and the four-character code QuickTime would report for the encoding.
void DescribeEncoding(const SF_INFO& sf, SoundInfo& info)
{
    const int sub = sf.format & SF_FORMAT_SUBMASK;
    const bool little =
        (sf.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV || (sf.format & SF_FORMAT_ENDMASK) == SF_ENDIAN_LITTLE;
    struct Encoding {
        int sub;
        int bits;
        uint32_t code;
    };
    static constexpr Encoding kEncodings[] = {
        {SF_FORMAT_PCM_S8, 8, FourCC("twos")},  {SF_FORMAT_PCM_U8, 8, FourCC("raw ")},
        {SF_FORMAT_PCM_16, 16, FourCC("twos")}, {SF_FORMAT_PCM_24, 24, FourCC("in24")},
        {SF_FORMAT_PCM_32, 32, FourCC("in32")}, {SF_FORMAT_FLOAT, 32, FourCC("fl32")},
        {SF_FORMAT_DOUBLE, 64, FourCC("fl64")}, {SF_FORMAT_ULAW, 16, FourCC("ulaw")},
        {SF_FORMAT_ALAW, 16, FourCC("alaw")},   {SF_FORMAT_MPEG_LAYER_III, 16, FourCC(".mp3")},
    };
    info.bitsPerSample = 16;
    info.dataFormat = FourCC("????");
    for (const Encoding& e : kEncodings) {
        if (e.sub != sub) continue;
        info.bitsPerSample = e.bits;
        info.dataFormat = e.code;
    }
    if (sub == SF_FORMAT_PCM_16 && little) info.dataFormat = FourCC("sowt");
    SF_FORMAT_INFO major{}, minor{};
    major.format = sf.format & SF_FORMAT_TYPEMASK;
    minor.format = sub;
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major);
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &minor, sizeof minor);
    info.formatName = std::string(major.name ? major.name : "?") + ", " + (minor.name ? minor.name : "?");
}

}  // namespace

bool SoundSource::Open(const std::string& path)
{
    Close();
    error_.clear();
    SF_INFO sf{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sf);
    if (!file) {
        error_ = sf_strerror(nullptr);
        return false;
    }
    if (sf.samplerate <= 0 || sf.channels <= 0 || sf.frames < 0) {
        sf_close(file);
        error_ = "no sound in the file";
        return false;
    }
    // Float data beyond full scale clips instead of wrapping around.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    file_ = file;
    info_ = SoundInfo{};
    info_.sampleRate = sf.samplerate;
    info_.channels = sf.channels;
    info_.frames = sf.frames;
    DescribeEncoding(sf, info_);
    return true;
}

void SoundSource::Close()
{
    if (file_) sf_close(static_cast<SNDFILE*>(file_));
    file_ = nullptr;
    info_ = SoundInfo{};
}

bool SoundSource::Seek(int64_t frame)
{
    return file_ && sf_seek(static_cast<SNDFILE*>(file_), frame, SEEK_SET) == frame;
}

int64_t SoundSource::Read16(int16_t* out, int64_t frames)
{
    if (!file_ || frames < 0) return -1;
    const sf_count_t got = sf_readf_short(static_cast<SNDFILE*>(file_), out, frames);
    if (got < frames && sf_error(static_cast<SNDFILE*>(file_)) != SF_ERR_NO_ERROR) return -1;
    return got;
}

bool ReadConverted(SampleSource& source, int64_t start, int64_t frames, int rate, int channels, std::vector<float>* out)
{
    out->clear();
    const SoundInfo& info = source.Info();
    if (info.channels <= 0 || info.sampleRate <= 0 || start < 0 || frames < 0 || rate <= 0 || channels <= 0 ||
        !source.Seek(start))
        return false;
    const int in = info.channels;
    // Grown block by block as samples arrive: a length a file claims is
    // never allocated on trust.
    constexpr int64_t kBlockFrames = 65536;
    std::vector<int16_t> raw;
    int64_t got = 0;
    while (got < frames) {
        const int64_t want = std::min(kBlockFrames, frames - got);
        raw.resize(size_t(got + want) * size_t(in));
        const int64_t n = source.Read16(raw.data() + size_t(got) * size_t(in), want);
        if (n < 0) return false;
        if (n == 0) break;
        got += n;
    }
    std::vector<float> mixed(size_t(got) * size_t(channels));
    for (int64_t f = 0; f < got; ++f) {
        const int16_t* frame = &raw[size_t(f * in)];
        for (int c = 0; c < channels; ++c) {
            float v = 0;
            if (channels == 1 && in > 1) {
                for (int k = 0; k < in; ++k) v += frame[k];
                v /= float(in);
            } else {
                v = frame[c % in];
            }
            mixed[size_t(f * channels + c)] = v / 32768.0f;
        }
    }
    if (rate == info.sampleRate || got == 0) {
        *out = std::move(mixed);
        return true;
    }
    const double ratio = double(rate) / info.sampleRate;
    const int64_t want = int64_t(double(got) * ratio + 0.5);
    out->resize(size_t(want) * size_t(channels));
    SRC_DATA data{};
    data.data_in = mixed.data();
    data.input_frames = long(got);
    data.data_out = out->data();
    data.output_frames = long(want);
    data.src_ratio = ratio;
    if (src_simple(&data, SRC_SINC_MEDIUM_QUALITY, channels) != 0) {
        out->clear();
        return false;
    }
    out->resize(size_t(data.output_frames_gen) * size_t(channels));
    return true;
}

bool ExportAiff16(SampleSource& source, const std::string& path, int64_t maxFrames,
                  const std::function<bool(double)>& progress, std::string* error)
{
    auto fail = [&](const std::string& why, SNDFILE* out) {
        if (out) sf_close(out);
        ::unlink(path.c_str());
        if (error) *error = why;
        return false;
    };
    const SoundInfo& info = source.Info();
    if (info.channels <= 0 || info.sampleRate <= 0) return fail("no sound is open", nullptr);
    // The whole sound is what the source delivers: a decoded track may run
    // a little past the length its container gives.
    const int64_t total = maxFrames >= 0 ? maxFrames : INT64_MAX;
    const double expected = double(std::max<int64_t>(maxFrames >= 0 ? std::min(maxFrames, info.frames) : info.frames, 1));
    if (!source.Seek(0)) return fail("cannot rewind the sound", nullptr);

    SF_INFO outInfo{};
    outInfo.samplerate = info.sampleRate;
    outInfo.channels = info.channels;
    outInfo.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;  // plain AIFF: big-endian "twos" samples
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &outInfo);
    if (!out) return fail(sf_strerror(nullptr), nullptr);

    constexpr int64_t kBlockFrames = 16384;
    std::vector<int16_t> block(size_t(kBlockFrames) * size_t(info.channels));
    int64_t done = 0;
    double reported = 0;
    while (done < total) {
        const int64_t want = std::min(kBlockFrames, total - done);
        const int64_t got = source.Read16(block.data(), want);
        if (got < 0) return fail("cannot read the sound", out);
        if (got == 0) break;  // the source was shorter than announced
        if (sf_writef_short(out, block.data(), got) != got) return fail(sf_strerror(out), out);
        done += got;
        reported = std::min(double(done) / expected, 1.0);
        if (progress && !progress(reported)) return fail("cancelled", out);
    }
    // A source shorter than announced still ends at 100%.
    if (progress && reported < 1.0 && !progress(1.0)) return fail("cancelled", out);
    if (sf_close(out) != 0) return fail("cannot finish the AIFF file", nullptr);
    return true;
}

}  // namespace platform
