#pragma once
// A plain sound file as the sound export reads it (av/resumed_sound.h),
// and FLAC streams joined end to end (`cat a.flac b.flac`, each with its own
// header, or the segments FFmpeg's segment muxer cuts a stream into, whose
// frame numbers carry on from file to file): each stream is read as a file
// of its own, one after another, the later ones converted to the first's
// rate and channels as a sound is for the movie (ConvertedReader), so that
// each plays whole and on time. The file is opened once: every stream is
// read through that descriptor, and what the search for them found of
// each (rate, channels, length) is taken as it is, so a stream is read only
// when its turn comes. MP3 and raw AAC joins are read by their own walks;
// Ogg links by the movie layer.
#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "av/resumed_sound.h"
#include "av/sound_media.h"

namespace platform {

class JoinedSoundSource : public SampleSource {
public:
    JoinedSoundSource() = default;
    ~JoinedSoundSource() override { Close(); }
    JoinedSoundSource(const JoinedSoundSource&) = delete;
    JoinedSoundSource& operator=(const JoinedSoundSource&) = delete;

    // As SoundSource::Open.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return sound_ != nullptr || !parts_.empty(); }
    const SoundInfo& Info() const override { return info_; }
    const std::string& LastError() const { return error_; }
    bool HeaderRefused() const { return headerRefused_; }

    bool Seek(int64_t frame) override;
    int64_t Read16(int16_t* out, int64_t frames) override;
    // Each stream's complaints where it lies, and where one ended before
    // its length: silence kept its time.
    DecodeComplaints Complaints() const override;

private:
    struct Part {
        int64_t begin = 0, end = -1;  // its bytes in the file
        int rate = 0, channels = 0;   // its own
        int64_t start = 0;   // where it starts in the whole, at the first's rate
        int64_t frames = 0;  // its length there
        bool converted = false;
    };
    // The part at index open for reading (one at a time: a file may join
    // many); false when it does not open.
    bool OpenPart(size_t index);
    // Up to frames frames of the part at `within` onto out; 0 at its end.
    int64_t ReadPart(const Part& part, int64_t within, int16_t* out, int64_t frames);

    std::string path_;
    int fd_ = -1;  // the file, which every stream is read through
    std::vector<Part> parts_;
    std::unique_ptr<ResumedSoundSource> sound_;  // the part open, or the whole file
    size_t soundPart_ = 0;
    ConvertedReader reader_;
    SoundInfo info_;
    std::string error_;
    bool headerRefused_ = false;
    int64_t position_ = 0;
    size_t part_ = 0;  // the part position_ lies in
    size_t failedPart_ = SIZE_MAX;  // a part that did not open when its turn came
    bool partSought_ = false;  // the part open stands at position_
    // What parts read and closed complained of, and streams that ended
    // before their length.
    DecodeComplaints complaints_;
    std::vector<float> floats_;
};

}  // namespace platform
