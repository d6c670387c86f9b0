#pragma once
// Sound files, encoder bundles and a private temporary folder for the media
// tests.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "media/progress.h"
#include "support/bundle_fixture.h"
#include "support/scoped_env.h"
#include "support/swf_tools.h"
#include "support/test_support.h"

namespace tavrel_test {

// A sound whose sample of each frame and channel (-1 to 1) is signal's.
inline bool WriteSignal(const std::string& path, int format, int rate, int channels, int64_t frames,
                        const std::function<double(int64_t frame, int channel)>& signal)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    // Float files hold full scale as ±1, as every writer of them does.
    sf_command(f, SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
    std::vector<short> block(size_t(4096) * size_t(channels));
    for (int64_t done = 0; done < frames;) {
        const int64_t n = std::min<int64_t>(4096, frames - done);
        for (int64_t i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c)
                block[size_t(i * channels + c)] = short(std::lround(32767 * signal(done + i, c)));
        if (sf_writef_short(f, block.data(), n) != n) {
            sf_close(f);
            return false;
        }
        done += n;
    }
    return sf_close(f) == 0;
}

// A sine tone at the given level (0..1 of full scale), every channel alike
// unless rightHz gives the second channel its own frequency.
inline bool WriteTone(const std::string& path, int format, int rate, int channels, int64_t frames, double hz,
                      double level = 0.5, double rightHz = 0)
{
    return WriteSignal(path, format, rate, channels, frames, [&](int64_t i, int c) {
        const double f0 = (c == 1 && rightHz > 0) ? rightHz : hz;
        return level * std::sin(2 * std::numbers::pi * f0 * double(i) / rate);
    });
}

// Every sample of a sound file, interleaved; none when it does not open.
inline std::vector<int16_t> ReadSamples(const std::string& path, SF_INFO* info)
{
    *info = SF_INFO{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
    if (!f) return {};
    std::vector<int16_t> pcm(size_t(info->frames * info->channels));
    pcm.resize(size_t(sf_readf_short(f, pcm.data(), info->frames) * info->channels));
    sf_close(f);
    return pcm;
}

inline const int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
inline const int kAiff16 = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;

// Points the program at a private bundle whose encoder is the given module
// file, and at a private temporary folder.
class EncoderScope {
public:
    explicit EncoderScope(const std::string& module) : bundle_(""), tmp_("TMPDIR", tmpDir_.path().c_str())
    {
        std::filesystem::create_symlink(module, bundle_.Resources() + "/lame_encU.bundle");
    }
    // Files left in the temporary folder (the program's work files).
    std::vector<std::string> LeftOver() const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (auto& e : std::filesystem::recursive_directory_iterator(tmpDir_.path(), ec))
            if (e.is_regular_file()) names.push_back(e.path().filename().string());
        return names;
    }
    std::string File(const std::string& name) const { return dir_.file(name); }

private:
    TempDir tmpDir_;
    TempDir dir_;
    ScopedBundle bundle_;
    ScopedEnv tmp_;
};

// A progress sink that records what it was told and cancels on request
// after a number of progress calls.
class RecordingProgress : public CProgressDialog {
public:
    RecordingProgress() { Open(0, nullptr, &info); }
    void SetDetail(const char* text) override
    {
        CProgressDialog::SetDetail(text);
        details.push_back(text);
        Tick();
    }
    void SetAudioPercent(int percent) override
    {
        CProgressDialog::SetAudioPercent(percent);
        details.push_back(GetDetail());
        Tick();
    }
    void Tick()
    {
        if (cancelAfter >= 0 && int(details.size()) >= cancelAfter) Cancel();
    }

    CProgressInfo info;
    std::vector<std::string> details;
    int cancelAfter = -1;
};

// Decodes an MP3 file with mpg123 to 16-bit host-order samples.
inline bool DecodeMp3(const std::string& mp3, const std::string& raw, int rate, int channels,
                      std::vector<int16_t>* samples)
{
    const std::string cmd = "mpg123 -q -e s16 -r " + std::to_string(rate) + (channels == 1 ? " -m" : " --stereo") +
                            " -s '" + mp3 + "' > '" + raw + "' 2>/dev/null";
    if (RunCommand(cmd).exitCode != 0) return false;
    const std::string bytes = ReadFile(raw);
    samples->resize(bytes.size() / 2);
    std::memcpy(samples->data(), bytes.data(), samples->size() * 2);
    return !samples->empty();
}

inline bool HaveMpg123()
{
    return RunCommand("command -v mpg123 >/dev/null").exitCode == 0;
}

// Frequency of a tone from its rising zero crossings, and its RMS level,
// over one channel of interleaved samples (skipping the codec's lead-in).
struct ToneStats {
    double hz = 0;
    double rms = 0;
};
inline ToneStats Measure(const std::vector<int16_t>& s, int channels, int channel, int rate)
{
    ToneStats st;
    const size_t frames = s.size() / size_t(channels);
    const size_t from = std::min<size_t>(frames, size_t(rate) / 10), to = frames > from * 2 ? frames - from : frames;
    if (to <= from + 1) return st;
    int crossings = 0;
    double sum = 0;
    for (size_t i = from; i < to; ++i) {
        const int a = s[(i - 1) * channels + channel], b = s[i * channels + channel];
        if (a < 0 && b >= 0) ++crossings;
        sum += double(b) * b;
    }
    st.hz = crossings * double(rate) / double(to - from);
    st.rms = std::sqrt(sum / double(to - from)) / 32767.0;
    return st;
}

}  // namespace tavrel_test
