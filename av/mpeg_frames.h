#pragma once
// Finding the frames of an MPEG audio stream (MP3, MP2, MP1) among the
// bytes of a file: one rule decides whether a header begins a frame, and
// the walk takes frames by it, one after another, telling apart stray
// bytes (no sound, no time), frames cut short and stretches where frames
// were lost.
#include <sys/types.h>

#include <cstdint>
#include <vector>

#include "av/file_window.h"

namespace platform::mpeg {

// An MPEG audio frame header, read as the standard gives it.
struct FrameHeader {
    int version = 0;       // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layer = 0;         // 1, 2 or 3
    int bitRateIndex = 0;  // 0 for free format
    int bitRate = 0;       // kbit/s; 0 for free format
    int rate = 0;          // Hz
    bool mono = false;
    bool crc = false;   // a checksum follows the header
    int padding = 0;    // bytes (4 in Layer I)
    int64_t size = 0;   // bytes, header included; 0 for free format
    int samples = 0;    // a channel's samples in the frame
};

// Whether p starts a frame header; its fields in h.
bool ReadFrameHeader(const unsigned char* p, FrameHeader* h);
// The bytes of a Layer III frame's side information.
int SideInfoBytes(const FrameHeader& h);
// Whether two headers are of one recording's kind: version, layer, sample
// rate, and mono or not.
bool SameKind(const unsigned char* p, const unsigned char* q);
// Whether two headers may be of one stream: of one kind and one emphasis,
// which an encoder writes alike in every frame, its Info frame's too (a
// header cut short before the next frame's bytes has another).
bool SameStream(const unsigned char* p, const unsigned char* q);
// The frame's size once a free-format stream's frame size (without
// padding) is known.
int64_t FrameSize(const FrameHeader& h, int64_t freeSize);

// The bytes [begin, end) of an open file, read in blocks aligned on the
// stream's start, so that every cursor over it shares them: a stream read
// from start to end costs one read of each block however many look. Two
// blocks of the usual size are kept (more of a smaller size) besides the
// stream's first, which stays: the decoder starts there once the walk has
// reached the end.
class StreamBytes : public FileWindow {
public:
    StreamBytes() = default;

    // blockBytes: less where only the stream's start is looked at.
    void Reset(int fd, int64_t begin, int64_t size, int64_t blockBytes = kBlockBytes);
    // Up to n bytes at offset, fewer at the end.
    size_t Read(int64_t offset, unsigned char* out, size_t n) { return FileWindow::Read(offset, out, n); }
    // Where byte first stands in [from, limit); -1 where it does not.
    int64_t Find(unsigned char byte, int64_t from, int64_t limit) { return FileWindow::Find(&byte, 1, from, limit); }
    // Look(offset, &n): the bytes held from offset on within its block
    // (read now if need be), up to n; null past the end.
    // Calls and bytes of reads made since the process started (a test hook).
    static int64_t FileReads();
    static int64_t BytesRead();

    static constexpr int64_t kBlockBytes = 1 << 18;

    // Free-format frame sizes found at offsets, kept for every walk over
    // these bytes: where headers stand close together, each is asked of
    // again and again. Null where none is kept for at.
    const int64_t* FreeSizeKept(int64_t at) const;
    void KeepFreeSize(int64_t at, int64_t size);

private:
    struct KeptSize {
        int64_t at = -1, size = 0;
    };
    KeptSize freeSizes_[1024];
};

// What the frames of one recording share, learnt where it starts: its
// kind, whether all its frames are of one bit rate, and the fewest bytes
// that can hold a frame of it, below which bytes between frames are stray.
struct Shape {
    unsigned char ref[4] = {0, 0, 0, 0};  // a header of the recording
    bool oneRate = false;
    int bitRateIndex = 0;  // of every frame, where oneRate
    int64_t freeSize = 0;  // a free-format frame's bytes without padding
    int64_t shortest = 0;
    double frameBytes = 0;  // a frame's mean bytes, where oneRate: what a gap's frames take
    int frameSamples = 0;
    int rate = 0;
};

// What the walk meets next.
struct Step {
    enum Kind { kFrame, kGap, kTag, kEnd } kind = kEnd;
    int64_t at = 0, size = 0;  // the frame, the gap or the tag
    // A frame: whether it starts a recording of another shape (joined on),
    // and whether it holds a Xing/Info or VBRI header instead of sound.
    bool joins = false, header = false;
    // A gap: begun by a frame of the stream that other frames cut short.
    bool cut = false;
    Shape shape;  // the frame's recording
};

// The one rule, and the walk that takes frames by it.
class FrameWalk {
public:
    explicit FrameWalk(StreamBytes& bytes) : bytes_(bytes) {}

    // From the stream's start: after ID3v2 tags, the first frame where the
    // stream runs on from it. False where no frame begins anywhere.
    bool Start();
    // The next step; kEnd at the stream's end.
    Step Next();
    // Stray bytes passed over so far (no sound, no time).
    int64_t StrayBytes() const { return strays_; }
    int64_t Position() const { return pos_; }

    // Where MPEG audio starts in bytes that may be of anything: after ID3v2
    // tags a frame the stream runs on from; past other bytes, three frames
    // back to back, or four where stray bytes stand between them. -1 where
    // none does.
    static int64_t FirstFrame(StreamBytes& bytes);

private:
    // One step; a gap of no bytes where there is nothing to say yet.
    Step Take();
    enum class Landing { kNone, kHeader, kEnd, kTag, kJoin };
    struct Link {
        Landing how = Landing::kNone;
        int64_t at = 0;
        bool exact = false;  // right where the frame ends
    };
    struct Begun {
        bool ok = false;
        bool exact = false;  // the next frame starts where it ends
        int64_t strays = 0;  // stray bytes before the next frame and the one after
        int64_t size = 0;
        int64_t next = -1;  // the next frame's header, where one leads on
        bool holds = true;  // its main data begins where the frame before left some
        bool leads = true;  // the next frame's main data begins where it leaves some
    };
    // The bytes of a frame of the shape whose header is at, 0 where none
    // begins there: its header of the shape's kind (and bit rate where it
    // has one), and in Layer III side information that a frame of its
    // size can hold.
    int64_t SizeAt(int64_t at, const Shape& shape);
    // The bytes the header at `at` claims where it is of the shape, reading
    // the head of the frame into p; 0 where it is none.
    static constexpr size_t kHeadBytes = 4 + 2 + 32;  // header, checksum, side information or allocations
    int64_t ClaimAt(int64_t at, const Shape& shape, unsigned char* p, size_t* n);
    // What follows a frame that ends at end: a header of the shape at once,
    // or past fewer stray bytes than its shortest frame; a tag; a recording
    // of another shape; or the end.
    // sane: a header at once must begin a frame of the shape by itself.
    // after: the next past stray bytes beyond that offset.
    Link Follow(int64_t end, const Shape& shape, bool joins, bool sane = false, int64_t after = -1);
    // THE rule: a header at `at` begins a frame of the shape where its
    // claimed length leads to the next header of the shape (at once, or
    // past stray bytes), and that to one more, or to the end.
    Begun BeginsFrame(int64_t at, const Shape& shape, bool joins = true);
    // Which of two frames begun competing for the same bytes the stream
    // goes on from.
    static bool Better(const Begun& a, const Begun& b);
    // Whether the walk from a frame of the shape at `at` takes so many
    // frames on, past stray bytes only, or (toEnd) reaches the end.
    bool RunsOn(int64_t at, const Shape& shape, int frames, bool toEnd = true);
    // The shape of a recording whose first frame is at `at`: from its
    // Xing/Info or VBRI header where it has one, else from its first frames.
    bool ShapeAt(int64_t at, Shape* shape);
    // A header of the shape at from or past fewer stray bytes than its
    // shortest frame, whose frame ends with the file; -1 where none is.
    int64_t LastFrameAt(int64_t from, const Shape& shape);
    // Where frames of the one-rate shape resume at or past from, before
    // a frame of another bit rate; -1 where none does near.
    int64_t ResumesAt(int64_t from, const Shape& shape);
    static constexpr int64_t kResumeBytes = 1 << 14;
    // Whether a recording of another shape begins at `at`: three frames of
    // its own back to back.
    bool RecordingAt(int64_t at, Shape* shape);
    // A free-format stream's frame size without padding, from where the
    // next frames start; 0 where it cannot tell.
    int64_t FreeSizeAt(int64_t at, const FrameHeader& h);
    int64_t FindFreeSize(int64_t at, const FrameHeader& h);
    // Where the next frame begins at or after from and before limit (a
    // candidate with an exact link wins over one before it without), -1
    // where none does; its shape, which may be a new recording's.
    // plausible: a frame that does not lead on may begin there too.
    int64_t Choose(int64_t from, int64_t limit, Shape* shape, bool* joins, bool* tag, bool plausible = false);
    // Whether a frame of the shape begun at `at` and cut short at `to`
    // holds its header and side information.
    bool CutFrameAt(int64_t at, int64_t to);
    // Whether the Layer III frame begun at `at` begins its main data within
    // what the frame taken before left unused, as an encoder writes it (a
    // header among stray bytes points anywhere), and the next frame within
    // what it leaves: b's holds and leads, true where that is not known.
    void WeighReservoir(int64_t at, Begun* b);
    // Whether the frame at holds a Xing/Info or VBRI header.
    bool HeaderFrameAt(int64_t at);
    int64_t TagLength(int64_t at);
    // Whether an ID3v2 tag stands at `at` among other bytes: what follows
    // it is the end, a tag, or a frame of the shape's kind or another
    // recording.
    bool TagWithin(int64_t at, const Shape& shape);
    bool EndTagAt(int64_t at);

    StreamBytes& bytes_;
    Shape shape_;
    int64_t pos_ = 0, strays_ = 0;
    int64_t left_ = -1;  // main data bytes the frame taken before left, -1 unknown
    bool started_ = false;
};

// A Layer III frame's main_data_begin: the bytes its sound starts before
// its own; -1 where p holds no Layer III header and side information.
int MainDataBegin(const unsigned char* p, size_t n);
// The bytes of main data a Layer III frame of size bytes leaves for the
// frames after it to begin in; -1 where p holds no such frame.
int64_t ReservoirLeft(const unsigned char* p, size_t n, int64_t size);

}  // namespace platform::mpeg
