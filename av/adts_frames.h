#pragma once
// A raw AAC stream (ADTS) as its frame headers chain: each header gives
// its frame's length, and its frame holds 1,024 samples a block. So the
// frames are counted exactly (FFmpeg guesses such a file's length from its
// first frames' bit rate) and each is placed by the samples before it. The
// walk decides what is a frame for both the count and the decode. Where
// damage breaks the chain, reading goes on at the next place three frames
// chain from: a header of the stream whose length alone is wrong, with no
// other header up to there and no more bytes than a frame of the stream
// takes, is one frame, lost with its time kept; other bytes skipped held
// what nothing tells.
// Part of the movie module (av/movie_backend.h).
#include <cstdint>
#include <string>

#include "av/file_walks.h"
#include "av/file_window.h"

namespace platform::ffmpeg_layer {

struct AdtsChain {
    int rate = 0;          // the first frame's rate; 0 when the file holds no chain
    int channels = 0;      // as its header gives them; 0 where the data names them
    int64_t samples = 0;   // at that rate
    std::string fault;     // why no chain was found, where that is known
};

// One step of the walk: a frame, and the bytes skipped before it.
struct AdtsFrame {
    int64_t at = 0, length = 0;
    int64_t first = 0;    // its first sample, at the first frame's rate
    int64_t samples = 0;
    bool damaged = false;  // its header gives a wrong length: not decoded, its time kept
    int64_t skipped = 0;   // bytes before it that hold no frame and whose time is lost
};

class AdtsWalker {
public:
    AdtsWalker(int fd, int64_t size) : bytes_(fd, 0, size, {1 << 18, 2}), size_(size) {}

    // The next frame; false at the end.
    bool Next(AdtsFrame* frame);

    // n bytes of the file from `at` into out.
    bool Copy(int64_t at, int64_t n, uint8_t* out);

    // Every frame from the start.
    AdtsChain Walk();

private:
    static constexpr int kRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                       16000, 12000, 11025, 8000,  7350,  0,     0,     0};
    // What every header of one stream shares: version, profile, rate and channels.
    static int64_t Key(const uint8_t* h);

    // The window keeps the longest frame before the place asked for, so
    // that stepping back to a frame's start reads nothing.
    const uint8_t* Bytes(int64_t at, int64_t n) { return bytes_.Bytes(at, n); }

    // Whether a header of the stream (key: what its headers share; -1 for
    // any) starts at `at`, whatever its length says.
    bool HeaderAt(int64_t at, int64_t key);

    static int64_t LengthOf(const uint8_t* h) { return int64_t(h[3] & 3) << 11 | int64_t(h[4]) << 3 | h[5] >> 5; }

    // The length of the frame whose header starts at `at`, when it is one
    // of the stream's and lies whole in the file; else 0. A frame may hold
    // its header alone.
    int64_t FrameAt(int64_t at, int64_t key);

    // Whether the chain goes on at `at`: the end, a tag, or a header of the
    // stream (whose own length may be what is damaged).
    bool Follows(int64_t at) { return at == size_ || HeaderAt(at, key_) || TagEnd(at) > at; }

    // Whether a chain starts at `at`: three frames, or those up to the end.
    // It sets what the stream's headers share from there on: streams joined
    // end to end may differ in rate or channels.
    bool Starts(int64_t at);

    int64_t Resync(int64_t from);

    // Whether the frame of `length` bytes at `at` ends as an AAC frame does:
    // its last element the end mark (three set bits), then zeros to the
    // byte. A length damaged short or long ends elsewhere, mostly.
    bool EndsAsFrame(int64_t at, int64_t length);

    // Whether [at, next) is one frame whose header gives a wrong length: no
    // more bytes than the decoder's buffer lets a frame take (6,144 bits a
    // channel a block), and no other header among them.
    bool OneFrame(int64_t at, int64_t next);

    // The frame at at_, its time counted at the first frame's rate.
    bool Take(AdtsFrame* frame, int64_t length, bool damaged, int64_t skipped);

    // Why a file of no frames holds none, when its first header says.
    std::string Cut();

    // The end of the ID3v2 tag at `at`, or `at` when none starts there.
    int64_t TagEnd(int64_t at);

    FileWindow bytes_;
    int64_t size_;
    int64_t key_ = -1;
    int64_t at_ = -1;  // where the next frame is looked for; -1 before the start
    int64_t firstKey_ = -1;
    // Samples so far at the first frame's rate; those of the frames since
    // the rate last changed at theirs.
    int64_t sample_ = 0, partStart_ = 0, partSamples_ = 0;
    int partRate_ = 0;
    bool taken_ = false;
    bool sound_ = false;  // a frame held more than its header
};

// A raw AAC file's chain, walked once a run: a show opens a sound to read
// its length, to check it before the export and to export it. Known for as
// long as the file stands as it was.
AdtsChain WalkAdts(int fd, int64_t size);

}  // namespace platform::ffmpeg_layer
