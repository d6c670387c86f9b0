#pragma once
// An MPEG audio stream read as one parse of its bytes: the partition into
// frames, tags and stray bytes that leaves the fewest bytes unexplained.
// Every question of the reader (where the first frame is, whether bytes
// between frames are stray, a frame cut short or damaged, where a joined
// recording starts, a free-format stream's frame size) is read off that one
// partition. It is settled in a bounded window as the walk goes, as a
// Viterbi decoder settles its path, so memory does not grow with the file.
#include <array>
#include <cstdint>
#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

#include "av/mpeg_frames.h"

namespace platform::mpeg {

// What the frames of one recording share: its kind, whether all its
// frames are of one bit rate (so far), and the fewest bytes that can hold a
// frame of it, below which bytes between frames are stray.
struct Shape {
    unsigned char ref[4] = {0, 0, 0, 0};  // a header of the recording
    bool oneRate = false;
    // Of every frame, where oneRate; -1 after an Info frame until the first
    // frame of sound tells it.
    int bitRateIndex = 0;
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
    // A frame: whether it holds a Xing/Info or VBRI header instead of
    // sound, and whether it is damaged (its header stands where a frame of
    // the stream does, but its checksum or side information fails): it keeps
    // its time as silence.
    bool header = false, damaged = false;
    // A gap: begun by a frame of the stream that other frames cut short.
    bool cut = false;
    Shape shape;  // the recording it is of
};

class StreamParse {
public:
    explicit StreamParse(StreamBytes& bytes) : bytes_(bytes) {}

    // From the stream's start; false where no frame of MPEG audio stands
    // anywhere in it.
    bool Start();
    // The next step; kEnd at the stream's end.
    Step Next();
    // Stray bytes passed over between frames so far (no sound, no time).
    int64_t StrayBytes() const { return strays_; }
    // What the partition settled costs once the stream's end is reached:
    // bytes it leaves unexplained and what it pays, less a byte a frame.
    int64_t Cost() const { return cost_; }
    // Before Start: items only where one of these [at, end) stands, so
    // that Cost() is that of one given partition by the same measure.
    void Only(std::vector<std::pair<int64_t, int64_t>> items);

private:
    // A frame, a tag or the stream's start, with the least cost of the
    // bytes up to its end and the item before it on that way.
    struct Node {
        enum Kind : uint8_t { kRoot, kFrame, kTag } kind = kRoot;
        int64_t at = 0, end = 0;
        int64_t cost = 0;  // stray bytes and penalties up to end
        size_t prev = SIZE_MAX;
        bool header = false;
        bool hasShape = false;  // a frame stands at or before it
        int64_t left = -1;  // main data bytes the last frame left, -1 unknown
        // Its recording began where it stands on its own, or has had frames
        // enough back to back; run frames back to back end here, and the
        // cost of those of them a recording not so begun has been charged.
        // What it explains of its bytes from where another frame of its
        // stream holds within them: nothing, unless an item follows at once.
        int64_t innerCost = 0;
        // The recording before its own, where there was one: a frame holding
        // one of that within explains none of it.
        bool hadBefore = false;
        Shape before;
        bool established = false;
        bool joined = false;  // it began right where a frame ended
        int run = 0;
        int64_t runCharged = 0;
        // Of a bit rate other than the frame's before it in its recording:
        // what that costs where stray bytes follow it (a header damaged into
        // another bit rate claims a frame that does not lead to the next).
        int64_t switched = 0;
        int rateIndex = 0;  // of the last frame
        // Bit rates of the recording's frames of sound, and those a frame
        // of which has led on (an item or the end right after it): such a
        // frame is of the stream, as all are once three rates have come (a
        // header damaged into another rate gives one other rate, the same
        // each time).
        uint16_t seen = 0, confirmed = 0;
        // The switches paid on the way here, by the rate switched to: taken
        // back once a frame of that rate leads on.
        std::array<int32_t, 16> pendingTo{};
        int64_t pending = 0;  // their sum
        Shape shape;
        int64_t Effective() const { return cost - end; }
    };
    // What may stand at an offset by its own structure.
    struct Item {
        enum Kind { kFrame, kTag } kind = kFrame;
        int64_t at = 0, end = 0;
        FrameHeader h;
        unsigned char head[4] = {0, 0, 0, 0};
        bool header = false;  // a Xing/Info or VBRI frame
        bool varies = false;  // its header says the bit rate varies
        int begin = 0;        // main_data_begin, Layer III
        int64_t left = -1;    // the main data bytes it leaves the next frames
        int64_t freeSize = 0;
        int64_t inner = -1;   // where a frame of its stream holds within it
        bool innerLeads = false;
        // In free format, where a whole frame of a bit rate holds within it
        // and leads on.
        int64_t swallowed = -1;
        bool tagWithin = false;
    };
    // FrameWithin, asked of the items at from once for each stream and
    // free-format size, as far as the longest asks.
    int64_t FrameWithinAsked(int64_t from, int64_t to, const unsigned char* ref, int64_t freeSize, bool* leads,
                             bool sizeKnown = true) const;
    struct Asked {
        uint32_t stream = 0;  // StreamKey of the ref asked with
        int64_t freeSize = 0;
        bool sizeKnown = true;
        int64_t to = 0;   // looked as far as
        int64_t at = -1;  // the frame found
        bool leads = false;
    };
    mutable int64_t askedFrom_ = -1;
    mutable std::vector<Asked> asked_;
    mutable size_t lastAsked_ = 0;
    // asked_ by stream, size and sizeKnown: an open-addressed table whose
    // slots of another offset (round) count as empty.
    struct AskedSlot {
        uint64_t key = 0;
        uint32_t round = 0;
        uint32_t index = 0;
    };
    mutable std::vector<AskedSlot> askedSlots_;
    mutable uint32_t askedRound_ = 0;

    // Scans a chunk further, then settles what lies far enough behind.
    void Advance();
    // Finds what stands at offsets [scan_, to) and takes each into the parse.
    void ScanTo(int64_t to);
    void ItemsAt(int64_t at, std::vector<Item>* items);
    void FrameItems(int64_t at, const unsigned char* p, size_t n, std::vector<Item>* items);
    void TagItems(int64_t at, const unsigned char* p, size_t n, std::vector<Item>* items);
    // The first offset in [from, to) where a frame of the stream of ref
    // holds by itself; -1 where none does.
    // leads: whether the next of its stream, or the end, follows it.
    // sizeKnown: in free format, whether earlier frames told freeSize (else
    // it is the outer frame's own, which a frame within may cut short).
    // scanFrom: where frames before it are known to be none.
    int64_t FrameWithin(int64_t from, int64_t to, const unsigned char* ref, int64_t freeSize,
                        bool* leads = nullptr, bool sizeKnown = true, int64_t scanFrom = 0) const;
    // A frame header ahead of the scan, with what is asked of it found
    // once: every way to an item asks again what frames stand within it.
    struct Header {
        int64_t at = 0;
        unsigned char p[kHeadBytes];
        size_t n = 0;
        FrameHeader h;
        bool valid = false;
        // Of a bit rate: whether its frame holds, and whether the end or a
        // header of its stream follows it; in free format, whether the
        // next free-format header of its stream within a frame's reach ends
        // a frame that holds. -1 until asked.
        int8_t holds = -1, on = -1, runs = -1;
        // Free-format sizes asked lately, and whether a frame that long holds.
        std::array<std::pair<int64_t, bool>, 4> held{{{-1, false}, {-1, false}, {-1, false}, {-1, false}}};
        uint8_t nextHeld = 0;
    };
    static bool Holds(Header& c, int64_t size);
    // Whether a valid header of the stream of ref stands at `at`.
    bool HeaderAt(int64_t at, const unsigned char* ref) const;
    // Finds the headers (a sync, valid or not) as far as to; the index in
    // headers_ of the first at or after from.
    size_t HeadersFrom(int64_t from, int64_t to) const;
    mutable std::deque<Header> headers_;
    mutable int64_t indexed_ = 0;  // offsets before it are in headers_
    // The tag whose name stands at `at`, by its structure and length; false
    // where none does.
    bool TagAt(int64_t at, Item* tag);
    // Where the tag whose name stands at `at` begins, where the end, a
    // frame's header or another tag follows it; -1 where none does.
    int64_t StandingTag(int64_t at);
    // Where, in [from, to), the first frame of a bit rate stands whole that
    // holds (and, with leads, is followed by the end, a tag, or a header of
    // its stream past fewer stray bytes than the frame), and where it ends;
    // -1 where none does.
    int64_t RateFrameWithin(int64_t from, int64_t to, bool leads, int64_t* end);
    // Where the first ID3v2, APEv2 or Lyrics3 tag that stands (followed by
    // the end, a frame header or a tag) begins in [from, to); -1 where none
    // does.
    int64_t TagWithin(int64_t from, int64_t to);
    // Where the Lyrics3 text at `at` ends; -1 where it does not.
    int64_t LyricsEnd(int64_t at);
    // Where the first tag of any kind begins in [from, limit) by its
    // structure and length; -1 where none does.
    int64_t FirstTag(int64_t from, int64_t limit);
    // The cheapest way to the item, added as a node.
    void Take(const Item& item);
    static Shape NewShape(const Item& item);
    // What stepping from n to the item costs beyond the stray bytes between
    // them; what the item's node takes on (its recording, what it costs
    // where bytes follow it) in next.
    int64_t Penalty(const Node& n, const Item& item, Node* next) const;
    // Of a frame: what frames or tags within its bytes cost.
    int64_t WithinPenalty(const Node& n, const Item& item, Node* next) const;
    // Of a frame: what it costs where it begins a recording, or while its
    // recording has not stood on its own.
    int64_t RecordingPenalty(const Node& n, const Item& item, bool begins, Node* next) const;
    // What n costs where gap bytes follow it (a tag, a frame holding
    // another, a frame of a bit rate not yet shown to be the stream's),
    // resumes where a frame of its recording follows them; switched: the
    // part the switch of rate cost.
    int64_t ExitPenalty(const Node& n, int64_t gap, bool resumes, int64_t* switched) const;
    // What n takes back of the switches its way paid, where an item or the
    // end follows it at once.
    static int64_t Refund(const Node& n);
    // The cost of the bytes up to `at` on the way through n.
    int64_t Value(const Node& n, int64_t at, bool final) const;
    // The node the cheapest way to the scan (or the stream's end) runs
    // through last.
    size_t Best(bool final) const;
    // Items on the cheapest way settled: those that end far enough behind
    // the scan, or all of them at the stream's end.
    void Settle(bool final);
    // The bytes [from, to) that no item explains, in a recording of the
    // shape where a frame came before (framed): stray, a gap where frames
    // were, a frame cut short or a damaged frame.
    void ReadOff(bool framed, const Shape& shape, int64_t from, int64_t to, bool frameAfter);
    void Prune();
    void Compact();

    // The frame a header of the recording claims at `at` (its bytes, 0 where
    // none stands there), whatever its side information holds; anyRate: of
    // any bit rate where the recording has one.
    int64_t ClaimAt(int64_t at, const Shape& shape, bool* checksumFails = nullptr, bool anyRate = false);
    bool CutAt(int64_t at, int64_t to, const Shape& shape);
    void AddStep(const Step& step);

    StreamBytes& bytes_;
    std::vector<Node> nodes_;
    std::vector<size_t> live_;  // nodes a later item may follow
    size_t settled_ = 0;        // the last node settled
    int64_t scan_ = 0;          // offsets before it are taken
    int64_t strays_ = 0;
    int64_t cost_ = 0;
    std::vector<std::pair<int64_t, int64_t>> only_;
    int64_t mostRefund_ = 0;  // the most a step from a live node may take back
    bool anyFrame_ = false;     // a frame is settled
    bool done_ = false;
    std::deque<Step> steps_;
};

}  // namespace platform::mpeg
