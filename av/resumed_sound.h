#pragma once
// A plain sound file's samples as the sound export reads them: libsndfile's,
// and where its decoder gives up for good before the end the file claims
// in a format whose frames name their place (libFLAC stops at the first
// frame it loses sync on, and gives no place to go on from), the movie
// layer's decode of the same file from that sample on. That decode places each frame by its time, so the damage becomes
// silence of its length and all after it plays when it should. The movie
// module is loaded only for such a file; without it, or when its decode
// does not line up with libsndfile's, the sound ends where libsndfile
// stopped, as it would alone.
#include <cstdint>
#include <string>
#include <vector>

#include "av/movie_media.h"
#include "av/sound_media.h"

namespace platform {

class ResumedSoundSource : public SampleSource {
public:
    ResumedSoundSource() = default;
    ResumedSoundSource(const ResumedSoundSource&) = delete;
    ResumedSoundSource& operator=(const ResumedSoundSource&) = delete;

    // As SoundSource::Open. A stream that starts further into the file
    // than its start is read by libsndfile alone: the movie layer's decode
    // is of the file from its start.
    bool Open(const std::string& path, int64_t begin = 0, int64_t end = -1, int fd = -1);
    void Close();
    bool IsOpen() const { return sound_.IsOpen(); }
    const SoundInfo& Info() const override { return sound_.Info(); }
    const std::string& LastError() const { return sound_.LastError(); }
    bool HeaderRefused() const { return sound_.HeaderRefused(); }

    bool Seek(int64_t frame) override;
    int64_t Read16(int16_t* out, int64_t frames) override;
    // libsndfile's complaints and, once the rest came from the movie layer,
    // where libsndfile stopped and what the movie layer's decoder said.
    DecodeComplaints Complaints() const override;

private:
    // Takes the rest from the movie layer at position_, where libsndfile
    // stopped; false when it cannot.
    bool Resume();
    // Keeps the last frames libsndfile handed out, to line the other
    // decode up with.
    void KeepTail(const int16_t* samples, int64_t frames);

    SoundSource sound_;
    std::string path_;
    bool fromStart_ = true;  // the stream read starts the file
    MovieMedia movie_;
    SampleSource* rest_ = nullptr;  // the movie layer's decode, once taken
    int64_t position_ = 0;
    bool onRest_ = false;     // reading from rest_
    int64_t stoppedAt_ = -1;  // where the rest takes over
    int64_t lostFrom_ = -1;   // where what libsndfile lost before it starts
    int64_t refusedAt_ = -1;  // a stop the rest could not take over at
    bool restGave_ = false;   // the rest has handed out samples
    std::string stopWords_;
    std::vector<int16_t> tail_;
    std::vector<int16_t> ours_;  // libsndfile's piece, while the rest is tried from its start
    int64_t oursFrom_ = 0;
    bool atStop_ = false;  // the rest took over where libsndfile stopped, not where it complained
};

}  // namespace platform
