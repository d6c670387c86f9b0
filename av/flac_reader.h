#pragma once
// FLAC streams of the sample sizes libsndfile does not read (it takes 8, 16
// and 24 bits; flac 1.4 writes 32), decoded with libFLAC itself. Each frame
// is placed by the sample number its header names, under a checksum, so
// that frames lost to damage keep their time as silence and all after them
// plays when it should: no other decoder is needed to go on past damage.
#include <cstdint>
#include <string>
#include <vector>

#include "av/file_window.h"
#include "av/sound_media.h"

namespace platform {

// Whether libsndfile reads a FLAC stream of this many bits a sample; the one
// rule that sends the others here.
inline bool SndfileReadsFlacBits(int bits)
{
    return bits == 8 || bits == 16 || bits == 24;
}

class FlacReader {
public:
    FlacReader() = default;
    ~FlacReader();
    FlacReader(const FlacReader&) = delete;
    FlacReader& operator=(const FlacReader&) = delete;

    // The FLAC stream whose length bytes `bytes` holds from its start;
    // false with the reason in *error when no stream's header is there. The
    // caller keeps bytes while the reader is: the reader reads through its
    // blocks, which hold the stream's head once it has been looked at.
    bool Open(FileWindow& bytes, int64_t length, std::string* error);
    int Rate() const { return rate_; }
    int Channels() const { return channels_; }
    int Bits() const { return bits_; }
    // The samples of one channel its header gives; 0 where it leaves them
    // open (a stream written through a pipe).
    int64_t StatedFrames() const { return stated_; }
    // The stream's length as found where its header leaves it open: no
    // silence for lost frames runs past it.
    void SetFrames(int64_t frames) { frames_ = frames; }

    bool Seek(int64_t frame);
    // Interleaved host-order 16-bit samples, full scale to full scale; the
    // frames read, 0 at the end, -1 when nothing could be read.
    int64_t Read16(int16_t* out, int64_t frames);
    const DecodeComplaints& Complaints() const { return complaints_; }

private:
    struct Calls;
    // Decodes the next frame into pending_ (and silence owed before it);
    // false at the end or on a fault.
    bool DecodeNext();
    void TakeFrame(int64_t first, int64_t block, int frameChannels, int frameBits, const int32_t* const* samples);
    bool Restart();

    void* decoder_ = nullptr;  // FLAC__StreamDecoder
    FileWindow* bytes_ = nullptr;  // the stream's bytes
    int64_t length_ = 0, at_ = 0;  // how many, and the next to read
    int rate_ = 0, channels_ = 0, bits_ = 0;
    bool gotInfo_ = false;
    int64_t stated_ = 0, frames_ = 0;
    int64_t origin_ = 0;    // the sample the stream's first frame names
    std::vector<int16_t> pending_;
    size_t pendingAt_ = 0;
    int64_t owed_ = 0;      // silence to hand out before pending_
    int64_t placed_ = 0;    // samples placed, owed_ and pending_ with them
    int64_t position_ = 0;  // samples handed out
    bool ended_ = false;
    bool failed_ = false;   // libFLAC gave up on the stream
    std::string said_;      // what libFLAC complained of since the last frame
    bool crcFailed_ = false;
    DecodeComplaints complaints_;
};

}  // namespace platform
