#pragma once
// MPEG audio files (MP3, MP2, MP1), bare or inside a WAVE file, decoded
// with libmpg123 itself. Through libsndfile such a file ends at the length
// libmpg123 guesses from its first frame when no Xing header gives one, and
// at the first stretch without frame headers. Here the frames are found by
// one parse of the stream (av/mpeg_parse.h) and handed to libmpg123 one by
// one, so that
// it never takes stray bytes or damage for a frame: stray bytes between
// frames cost no sound and no time, however often they come; where frames
// are missing from a recording of one bit rate, their time is kept as
// silence; where the rate varies, what follows plays early, and the damage
// says so. A frame cut short where other frames begin (a download resumed
// from the start) keeps its time. Frames of another rate or channel count
// than the first (recordings joined end to end) are converted to the
// first's; each joined recording's own Xing/Info frame is read where it
// starts (av/mpeg_parts.h).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "av/mpeg_parse.h"
#include "av/mpeg_parts.h"
#include "av/sound_media.h"

namespace platform {

class MpegAudioReader {
public:
    MpegAudioReader() = default;
    ~MpegAudioReader() { Close(); }
    MpegAudioReader(const MpegAudioReader&) = delete;
    MpegAudioReader& operator=(const MpegAudioReader&) = delete;

    // Walks the frames of path once to learn its length; false with the
    // reason in error when it holds no MPEG audio. The stream is the file's
    // bytes [begin, end), to its end when end is negative.
    bool Open(const std::string& path, std::string* error, int64_t begin = 0, int64_t end = -1);
    // Whether the file holds MPEG audio frames, and is no file of another
    // kind that may hold them among its own data.
    static bool LooksLikeMpegAudio(const std::string& path);
    void Close();
    int Rate() const { return walked_.rate; }
    int Channels() const { return walked_.channels; }
    // The first frame's layer: 1, 2 or 3.
    int Layer() const { return walked_.layer; }
    // Samples of one channel that reading the whole file gives.
    int64_t Frames() const { return walked_.frames; }
    // What the file's Xing/Info or VBRI header says of its length, as the
    // decoder plays it; 0 without one.
    int64_t ClaimedFrames() const { return walked_.claimed; }
    // Whether that is the length to the sample: a frame count with the LAME
    // tag that names the encoder's delay and padding, as lame and FFmpeg
    // write it, so that a frame short of it is a frame lost.
    bool ClaimExact() const { return walked_.claimExact; }

    // Back to the first sample.
    bool Rewind();
    // Interleaved host-order 16-bit samples; the frames read, 0 at the end,
    // -1 when the file cannot be read.
    int64_t Read16(int16_t* out, int64_t frames);
    // Reads of the file made since the process started (a test hook: a
    // stream is read in large blocks), and their bytes.
    static int64_t FileReads() { return mpeg::StreamBytes::FileReads(); }
    static int64_t BytesRead() { return mpeg::StreamBytes::BytesRead(); }
    // The steps of the parse a walk kept for the whole of the file at path as
    // it stands, and the parse's cost; null where none is kept (a test hook).
    static std::shared_ptr<const std::vector<mpeg::Step>> KeptSteps(const std::string& path, int64_t* cost);
    // Where frames were damaged or missing, placed at those frames.
    const DecodeComplaints& Complaints() const { return complaints_; }

private:
    // What the walk over a file learns, kept for the next open of the same
    // unchanged file, so that a sound is walked once however often it opens.
    struct Walked {
        int rate = 0, channels = 0, layer = 0;
        int64_t frames = 0, claimed = 0;
        bool claimExact = false;
        int64_t audioFrames = 0;  // frames that hold sound, header frames left out
        mpeg::Timeline timeline;
        // The parse's steps where they are few (a short sound): a rewind
        // replays them instead of parsing the bytes again.
        std::shared_ptr<const std::vector<mpeg::Step>> steps;
        int64_t cost = 0;  // the parse's, by its own measure
    };
    class WalkCache;
    static WalkCache& Walks();

    // Walks the frames without decoding them.
    bool Walk(std::string* error);
    // The same, on from a parse started.
    bool WalkOn(std::string* error);
    // The next frame's samples (or a gap's silence) into pending_; false at
    // the end.
    bool Decode();
    // libmpg123 fed afresh, every frame converted to the first's format.
    bool OpenDecoder(int64_t freeSize);
    // Decodes a silent Layer III frame at the sound's rate, so that every
    // value of libmpg123's Layer III scratch is set before a frame of the
    // file comes.
    bool PrimeDecoder();
    // The samples of the frame [at, at + size), false where libmpg123 does
    // not decode it.
    bool DecodeFrame(const mpeg::Step& step, std::vector<int16_t>* out);
    // The next step, replayed or parsed.
    mpeg::Step NextStep();

    void* handle_ = nullptr;  // mpg123_handle
    int fd_ = -1;
    mpeg::StreamBytes bytes_;
    mpeg::StreamParse parse_{bytes_};
    Walked walked_;
    int64_t decoderFreeSize_ = -1;  // the free-format size libmpg123 was opened with
    std::vector<unsigned char> frame_;
    std::vector<int16_t> pending_;
    size_t pendingAt_ = 0;
    size_t replayed_ = 0;  // steps of walked_.steps taken since the rewind
    int64_t silence_ = 0;  // samples of one channel
    int64_t decoded_ = 0;  // samples the frames placed so far decode to, silence included
    double decodedExact_ = 0;
    int64_t audioFrames_ = 0;  // decoded so far
    int64_t position_ = 0;
    size_t shortSaid_ = 0;
    bool ended_ = false;
    bool said_ = false;  // libmpg123 printed an error during the frame
    DecodeComplaints complaints_;
};

}  // namespace platform
