#pragma once
// Stand-in for the sound side of QuickTime's movie import and export, over
// libsndfile: a sound file (AIFF, WAVE, MP3, FLAC, Ogg and what else the
// library reads) opens as a source of 16-bit samples, and its sound exports
// to a 16-bit big-endian AIFF file. The time scale of a sound is its rate.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct SoundInfo {
    int sampleRate = 0;
    int channels = 0;
    int64_t frames = 0;       // samples of one channel
    int bitsPerSample = 0;    // of the stored data; 0 for compressed data
    uint32_t dataFormat = 0;  // four-character code: 'twos', 'sowt', '.mp3' ...
    std::string formatName;   // the container and encoding, for people
};

// Where the sound export reads samples from: a sound file here, or the sound
// track of a movie (platform/movie_media.h).
class SampleSource {
public:
    virtual ~SampleSource() = default;
    virtual const SoundInfo& Info() const = 0;
    virtual bool Seek(int64_t frame) = 0;
    // Reads up to frames frames as interleaved host-order 16-bit samples;
    // the frames read, 0 at the end, -1 on an error.
    virtual int64_t Read16(int16_t* out, int64_t frames) = 0;
};

class SoundSource : public SampleSource {
public:
    SoundSource() = default;
    ~SoundSource() override { Close(); }
    SoundSource(const SoundSource&) = delete;
    SoundSource& operator=(const SoundSource&) = delete;

    // false with the reason in LastError() when the file holds no sound
    // this layer can read; what was open before is closed either way.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }
    const SoundInfo& Info() const override { return info_; }
    const std::string& LastError() const { return error_; }

    bool Seek(int64_t frame) override;
    int64_t Read16(int16_t* out, int64_t frames) override;

private:
    void* file_ = nullptr;  // SNDFILE
    SoundInfo info_;
    std::string error_;
};

// Frames [start, start + frames) of the source as interleaved floats in
// -1..1, with the channels made to channels (mixed down to one, one spread
// over all, else channel i taken from source channel i modulo the count) and
// resampled to rate. false when nothing can be read.
bool ReadConverted(SampleSource& source, int64_t start, int64_t frames, int rate, int channels, std::vector<float>* out);

// Writes the first maxFrames frames of the source (all with a negative
// count) to path as 16-bit AIFF at the source's rate and channels. progress
// receives the fraction done (0 to 1) after each block and returns false to
// stop. On any failure or stop the file is removed.
bool ExportAiff16(SampleSource& source, const std::string& path, int64_t maxFrames,
                  const std::function<bool(double fraction)>& progress, std::string* error);

}  // namespace platform
