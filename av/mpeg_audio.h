#pragma once
// MPEG audio files (MP3, MP2, MP1), bare or inside a WAVE file, decoded
// with libmpg123 itself. Through libsndfile such a file ends at the length
// libmpg123 guesses from its first frame when no Xing header gives one, and
// at the first stretch without frame headers. Here the whole file is read
// from its first frame, and every frame is placed by its byte offset: where
// frames are missing from a stream whose frames are all of one size, their
// time is known and kept as silence; where they vary, what follows plays
// early, and the damage says so. Bytes between two frames too few to hold
// a frame are stray: no sound, no time, and the frames around them decode
// as one stream, however often they come. A frame cut short where other frames begin (a download
// resumed from the start) keeps its time, and the frames after it theirs.
// Frames of another rate or channel count than the first (recordings joined
// end to end) are converted to the first's; each joined recording's own
// Xing/Info frame is read where it starts, and a change of version, layer,
// rate or channels ends the recording before it.
#include <algorithm>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "av/sound_media.h"

namespace platform {

class MpegAudioReader {
public:
    MpegAudioReader() = default;
    ~MpegAudioReader() { Close(); }
    MpegAudioReader(const MpegAudioReader&) = delete;
    MpegAudioReader& operator=(const MpegAudioReader&) = delete;

    // Walks the frames of path once to learn its length; false with the
    // reason in error when libmpg123 finds no sound in it. The stream is
    // the file's bytes [begin, end), to its end when end is negative.
    bool Open(const std::string& path, std::string* error, int64_t begin = 0, int64_t end = -1);
    // Whether the file holds MPEG audio frames (FirstFrame), and is no file
    // of another kind that may hold them among its own data.
    static bool LooksLikeMpegAudio(const std::string& path);
    void Close();
    int Rate() const { return rate_; }
    int Channels() const { return channels_; }
    // The first frame's layer: 1, 2 or 3.
    int Layer() const { return layer_; }
    // Samples of one channel that reading the whole file gives.
    int64_t Frames() const { return frames_; }
    // What the file's Xing/Info or VBRI header says of its length; 0
    // without one.
    int64_t ClaimedFrames() const { return claimed_; }
    // Whether that is the length to the sample: a frame count with the LAME
    // tag that names the encoder's delay and padding, as lame and FFmpeg
    // write it, so that a frame short of it is a frame lost.
    bool ClaimExact() const { return claimExact_; }

    // Back to the first sample.
    bool Rewind();
    // Interleaved host-order 16-bit samples; the frames read, 0 at the end,
    // -1 when the file cannot be read.
    int64_t Read16(int16_t* out, int64_t frames);
    // Reads of the file made since the process started (a test hook: a
    // stream is read in large blocks).
    static int64_t FileReads();
    // Where frames were damaged or missing, placed at those frames.
    const DecodeComplaints& Complaints() const { return complaints_; }

    // A stretch of damage after which frames start a chain of their own
    // (another recording joined on after a cut, bytes put in between
    // frames): [from, to) in the stream. Bytes put in are left out of what
    // the decoder reads, so that the frames around them decode as one
    // stream.
    struct Restart {
        int64_t from = 0, to = 0;
        bool cut = false;    // from starts a frame that to cuts short
        bool stray = false;  // too few bytes for a frame: no sound lost, no time
    };

    // Where each frame of a stream belongs in time, from its byte offset.
    class Placer {
    public:
        // frameBytes: the mean length of a frame when all frames are of one
        // size (constant bit rate), else 0. restarts: in order; must outlive
        // the placer.
        explicit Placer(double frameBytes = 0, const std::vector<Restart>* restarts = nullptr)
            : frameBytes_(frameBytes), restarts_(restarts)
        {
        }
        struct Verdict {
            bool keep = true;          // false: bytes within damage that only look like a frame
            bool broken = false;       // frames are missing before this one
            bool timeLost = false;     // how many, nothing tells
            bool cut = false;          // the last of them is cut short where this one starts
            int64_t missingBytes = 0;  // between the last frame kept and this one
            int64_t silentFrames = 0;  // the missing frames' time, where it is known
        };
        // The frame at [at, at + size); inSequence when only data that is no
        // sound (a tag) lies between it and Resume().
        Verdict Place(int64_t at, int64_t size, bool inSequence);
        // Frame times placed so far, silent ones included.
        int64_t Slots() const { return lastSlot_ + 1; }
        // Where the next frame should start: the end of the last frame kept,
        // or past a stretch of damage that starts there and after which a
        // new chain of frames begins.
        int64_t Resume() const;

    private:
        // The stretch that lies between the last frame kept and at, null
        // where none does.
        const Restart* RestartBefore(int64_t at) const;

        double frameBytes_;
        const std::vector<Restart>* restarts_;
        bool started_ = false;
        int64_t lastEnd_ = 0, lastSlot_ = -1;
        // The last frame that followed its predecessor directly: frames
        // after a gap are counted from it.
        int64_t anchorEnd_ = 0, anchorSlot_ = -1;
    };

private:
    enum class Step { kFrame, kSkipped, kEnd, kError };
    struct Frame {
        int64_t at = 0, size = 0;  // in the stream
        int bitRate = 0;           // kbit/s
        // Version, layer, rate and mono or not, which the frames of one
        // stream share.
        uint32_t kind = 0;
        int samples = 0;    // at its own rate
        double length = 0;  // samples at the sound's rate
    };
    // Decoded samples [from, to) that are sound, in order; before: the
    // samples kept ahead of the stretch.
    struct Kept {
        int64_t from, to, before;
    };
    // Parses the next frame.
    Step Parse(Frame* frame);
    // The mean bytes of a frame at that bit rate.
    double FrameBytes(int bitRate) const;
    // Whether what starts at offset is a tag or a header frame, not sound.
    bool NoSoundAt(int64_t offset);
    // Where a sample of the decoded frames lies in the sound.
    int64_t Out(int64_t decoded) const;
    // Where the recording whose tag frame is at infoAt ends and another of
    // its format joined on begins: at the end of its count where it is whole
    // by its tag's checksum, else where it was cut; -1 where nothing tells.
    int64_t JoinWithin(int64_t infoAt, int64_t counted, int64_t bytes, uint16_t crc);
    // Says the short recordings that end by decoded (all of them at the end).
    void SayShortParts(int64_t decoded, bool end);
    // The first stretch of sound that ends past decoded.
    std::vector<Kept>::const_iterator FirstKeptAfter(int64_t decoded) const;
    bool Decode();
    // The stretches from where a frame should start to where frames resume,
    // from the stream's start past its header frame: the frame a chain cuts
    // short that leads on to the frames past them; stray bytes before a
    // frame the stream runs on from; else the next chain of frames, a whole
    // number of frames on in a stream of frames of one size (frames lost,
    // kept as silence), else bytes put in. first: libmpg123's first frame.
    void FindDamage(int64_t first);
    // libmpg123's reading: the file, with the damaged stretches as zeros,
    // so that it takes no bytes in them for a frame that hides real ones,
    // and long stretches that hold no byte a frame could start with left
    // out, so that it does not search them a byte at a time; so are bytes
    // put in between frames, so that it reads the frames around them as one
    // stream and keeps the bits the next frame takes from those before.
    static ssize_t ReadMasked(void* self, void* out, size_t bytes);
    static off_t SeekMasked(void* self, off_t offset, int whence);
    // Where libmpg123's offset lies in the stream.
    int64_t StreamAt(int64_t view) const;
    // Finds the stretches to leave out up to the stream offset to, and on
    // to the end of a stretch that is long enough by then.
    void ScanTo(int64_t to);

    // The stream's bytes, read in large blocks.
    class Window {
    public:
        void Reset(int fd, int64_t begin, int64_t size);
        int64_t Size() const { return size_; }
        // Up to n bytes at offset in the stream.
        size_t Read(int64_t offset, unsigned char* out, size_t n);
        // The held bytes from offset on (read now if need be), up to n.
        const unsigned char* Look(int64_t offset, size_t* n);

    private:
        // The block holding offset, read now into the one used longest ago
        // where none does; null past the end.
        const std::vector<unsigned char>* BlockAt(int64_t offset, int64_t* blockAt);

        int fd_ = -1;
        int64_t begin_ = 0, size_ = 0;
        // Two, for the scan ahead and libmpg123's reading behind it.
        struct Block {
            std::vector<unsigned char> bytes;
            int64_t at = 0;
            uint64_t used = 0;
        };
        Block blocks_[2];
        uint64_t uses_ = 0;
    };
    // Where the first frame of the stream starts, -1 where none does: after
    // ID3v2 tags, a frame that the next frame, a tag or the end follows;
    // else, past other bytes, the first of three frames back to back; one
    // frame more where stray bytes stand between them (FramesRunOn). One
    // frame is a sound too.
    static int64_t FirstFrame(Window& bytes);
    // The size of the frame whose header is at, 0 where none is (or one of
    // free format, whose size the header does not give).
    static int64_t FrameAt(Window& bytes, int64_t at);
    // Whether the frames of a stream run on from the one at: count frames of
    // its version, layer and rate, each where the one before ends, or one
    // more where fewer than stray bytes that hold none stand between two
    // (the next then of the same mode too), unless a tag or the stream's end
    // comes first. Only the last may run past the end. sizeAt: the size of a
    // frame of the stream at an offset, 0 where none starts.
    static bool FramesRunOn(Window& bytes, int64_t at, int count, int64_t stray,
                            const std::function<int64_t(int64_t)>& sizeAt);
    static bool StrayAfterHeaderFrame(Window& bytes, int64_t start, int64_t at);
    // libmpg123 gives every frame the first frame's rate and channels.
    void ForceFormat();

    void* handle_ = nullptr;  // mpg123_handle
    int fd_ = -1;
    Window window_;  // libmpg123's reading
    Window peek_;    // the walk's own looks at headers and tags
    int rate_ = 0, channels_ = 0, frameSamples_ = 0, layer_ = 0;
    int64_t frames_ = 0, claimed_ = 0;
    bool claimExact_ = false;
    double frameBytes_ = 0;
    std::vector<std::pair<int64_t, int64_t>> damage_;  // [from, to) offsets
    std::vector<Restart> restarts_;                    // where a new chain of frames begins
    int64_t readAt_ = 0;  // in libmpg123's view
    // Stream bytes [from, to) left out of libmpg123's view, at its offset
    // viewAt; shift: the bytes left out up to to.
    struct Skip {
        int64_t viewAt, from, to, shift;
    };
    std::vector<Skip> skips_;
    // View offsets [from, to) known to lie in one damaged stretch with no
    // skip in it: libmpg123 resyncs through them a byte a call.
    std::pair<int64_t, int64_t> zeros_{0, 0};
    bool noReadahead_ = false;  // libmpg123 reads the first frame without looking past it
    // A recording among several whose frames stop short of the count its
    // tag gives: where it ends among the decoded samples (INT64_MAX: at the
    // sound's end), and how long it plays and claims, at the sound's rate.
    struct ShortPart {
        int64_t at, played, claimed;
    };
    std::vector<ShortPart> shortParts_;
    size_t shortSaid_ = 0;  // those said so far in this reading
    // What a walk over a file learns, kept for the next open of the same
    // unchanged file, so that a sound is walked once however often it opens.
    using Walked = std::tuple<int, int, int, int, bool, int64_t, int64_t, bool, std::vector<int64_t>, std::vector<Kept>,
                              double, std::vector<std::pair<int64_t, int64_t>>, std::vector<Restart>, std::vector<Skip>,
                              int64_t, int64_t, std::vector<ShortPart>>;
    class WalkCache;
    static WalkCache& Walks();
    int64_t scannedTo_ = 0, runFrom_ = 0;  // the stretch without 0xFF the scan is in
    // Offsets of the header frames libmpg123 hands out as frames (a VBRI
    // frame, a joined recording's Info frame): no sound.
    std::vector<int64_t> headerFrames_;
    // The sound within what the frames decode to: the encoder's delay and
    // padding that each recording's LAME tag names are left out, as players
    // leave them.
    std::vector<Kept> kept_{Kept{0, INT64_MAX, 0}};
    Placer placer_;
    std::vector<int16_t> pending_;
    size_t pendingAt_ = 0;
    int64_t silence_ = 0;  // samples of one channel
    int64_t decoded_ = 0;  // samples the frames placed so far decode to, silence included
    int64_t position_ = 0;
    bool ended_ = false;
    bool said_ = false;  // libmpg123 printed an error during the frame
    DecodeComplaints complaints_;

    auto WalkFields()
    {
        return std::tie(rate_, channels_, frameSamples_, layer_, noReadahead_, frames_, claimed_, claimExact_,
                        headerFrames_, kept_, frameBytes_, damage_, restarts_, skips_, scannedTo_, runFrom_,
                        shortParts_);
    }
};

}  // namespace platform
