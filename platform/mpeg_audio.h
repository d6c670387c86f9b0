#pragma once
// MPEG audio files (MP3, MP2, MP1) decoded with libmpg123 itself. Through
// libsndfile such a file ends at the length libmpg123 guesses from its
// first frame when no Xing header gives one, and at the first stretch
// without frame headers. Here the whole file is read, and every frame is
// placed by its byte offset: where frames are missing from a stream whose
// frames are all of one size, their time is known and kept as silence;
// where they vary, what follows plays early, and the damage says so.
#include <algorithm>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/sound_media.h"

namespace platform {

class MpegAudioReader {
public:
    MpegAudioReader() = default;
    ~MpegAudioReader() { Close(); }
    MpegAudioReader(const MpegAudioReader&) = delete;
    MpegAudioReader& operator=(const MpegAudioReader&) = delete;

    // Walks the frames of path once to learn its length; false with the
    // reason in error when libmpg123 finds no sound in it.
    bool Open(const std::string& path, std::string* error);
    void Close();
    int Rate() const { return rate_; }
    int Channels() const { return channels_; }
    // Samples of one channel that reading the whole file gives.
    int64_t Frames() const { return frames_; }
    // What the file's Xing/Info or VBRI header says of its length; 0
    // without one.
    int64_t ClaimedFrames() const { return claimed_; }

    // Back to the first sample.
    bool Rewind();
    // Interleaved host-order 16-bit samples; the frames read, 0 at the end,
    // -1 when the file cannot be read.
    int64_t Read16(int16_t* out, int64_t frames);
    // Where frames were damaged or missing, placed at those frames.
    const DecodeComplaints& Complaints() const { return complaints_; }

    // Where each frame of a stream belongs in time, from its byte offset.
    class Placer {
    public:
        // frameBytes: the mean length of a frame when all frames are of one
        // size (constant bit rate), else 0.
        explicit Placer(double frameBytes = 0) : frameBytes_(frameBytes) {}
        struct Verdict {
            bool keep = true;          // false: bytes within damage that only look like a frame
            bool broken = false;       // frames are missing before this one
            int64_t missingBytes = 0;  // between the last frame kept and this one
            int64_t silentFrames = 0;  // the missing frames' time, where it is known
        };
        // The frame at [at, at + size); inSequence when only data that is no
        // sound (a tag) lies between it and the last frame kept.
        Verdict Place(int64_t at, int64_t size, bool inSequence);
        // Frame times placed so far, silent ones included.
        int64_t Slots() const { return lastSlot_ + 1; }
        // Where the last frame kept ends.
        int64_t LastEnd() const { return lastEnd_; }

    private:
        double frameBytes_;
        bool started_ = false;
        int64_t lastEnd_ = 0, lastSlot_ = -1;
        // The last frame that followed its predecessor directly: frames
        // after a gap are counted from it.
        int64_t anchorEnd_ = 0, anchorSlot_ = -1;
    };

private:
    enum class Step { kFrame, kSkipped, kEnd, kError };
    struct Frame {
        int64_t at = 0, size = 0;  // in the file
        int bitRate = 0;           // kbit/s
    };
    // Parses the next frame; frames of another format than the first are
    // skipped.
    Step Parse(Frame* frame);
    // The mean bytes of a frame at that bit rate.
    double FrameBytes(int bitRate) const;
    // Whether what starts at offset is a tag or a header frame, not sound.
    bool NoSoundAt(int64_t offset) const;
    // Where a sample of the decoded frames lies in the sound.
    int64_t Out(int64_t decoded) const { return std::clamp(decoded, begin_, end_) - begin_; }
    bool Decode();
    // In a stream of frames of one size, the stretches from where a frame
    // should start to the next frame on the grid whose header, and those
    // after it, hold.
    void FindDamage(int64_t first);
    // libmpg123's reading: the file, with the damaged stretches as zeros,
    // so that it takes no bytes in them for a frame that hides real ones.
    static ssize_t ReadMasked(void* self, void* out, size_t bytes);
    static off_t SeekMasked(void* self, off_t offset, int whence);

    void* handle_ = nullptr;  // mpg123_handle
    int fd_ = -1;
    int rate_ = 0, channels_ = 0, frameSamples_ = 0;
    int64_t frames_ = 0, claimed_ = 0;
    double frameBytes_ = 0;
    std::vector<std::pair<int64_t, int64_t>> damage_;  // [from, to) offsets
    int64_t readAt_ = 0;
    int64_t headerFrameAt_ = -1;  // a VBRI header frame's offset: no sound
    // The sound within what the frames decode to: the encoder's delay and
    // padding that a LAME tag names are left out, as players leave them.
    int64_t begin_ = 0, end_ = INT64_MAX;
    Placer placer_;
    bool foreign_ = false;  // frames of another format than the first
    std::vector<int16_t> pending_;
    size_t pendingAt_ = 0;
    int64_t silence_ = 0;  // samples of one channel
    int64_t decoded_ = 0;  // samples the frames placed so far decode to, silence included
    int64_t position_ = 0;
    bool ended_ = false;
    bool said_ = false;  // libmpg123 printed an error during the frame
    DecodeComplaints complaints_;
};

}  // namespace platform
