#pragma once
// Where an MPEG audio stream's frames and gaps belong in time, and which of
// the decoded samples are sound. A file may hold several recordings joined
// end to end, each with its own Xing/Info frame: the LAME tag there names
// the encoder's delay and padding, which are left out as players leave
// them, and a frame count, by which a recording cut short is told.
#include <cstdint>
#include <string>
#include <vector>

#include "av/mpeg_parse.h"
#include "av/mpeg_tags.h"

namespace platform::mpeg {

// The silence a gap keeps for the frames it took (in a recording of one
// bit rate as many as its bytes make, rounded to the nearest; one for a
// frame cut short), at the sound's rate, and whether its time is lost
// (frames of varying size: nothing tells how many).
struct GapTime {
    double samples = 0;
    bool timeLost = false;
};
GapTime TimeOfGap(const Step& gap, int rate);
// A frame's samples at the sound's rate.
double FrameLength(const Step& frame, int rate);
// What a gap's line says.
std::string MissingWords(int64_t bytes, bool cut);

// The decoded samples (frames and the silence of gaps, in order) and the
// sound within them.
class Timeline {
public:
    // Decoded samples [from, to) that are sound, in order; before: the
    // samples kept ahead of the stretch.
    struct Kept {
        int64_t from, to, before;
    };
    // A recording among several whose frames stop short of the count its
    // tag gives: where it ends among the decoded samples (INT64_MAX: at the
    // sound's end), and how long it plays and claims, at the sound's rate;
    // played < 0 where it is cut somewhere before its count ends, which
    // nothing places.
    struct ShortPart {
        int64_t at, played, claimed;
    };

    // Where a sample of the decoded frames lies in the sound.
    int64_t Out(int64_t decoded) const;
    // The first stretch of sound that ends past decoded.
    std::vector<Kept>::const_iterator FirstKeptAfter(int64_t decoded) const;
    const std::vector<Kept>& Sound() const { return kept_; }
    const std::vector<ShortPart>& ShortParts() const { return shortParts_; }

private:
    friend class TimelineBuilder;
    std::vector<Kept> kept_{Kept{0, INT64_MAX, 0}};
    std::vector<ShortPart> shortParts_;
};

// Builds the timeline from a walk over the frames, step by step.
class TimelineBuilder {
public:
    TimelineBuilder(StreamBytes& bytes, int rate) : bytes_(bytes), rate_(rate) {}
    void Add(const Step& step);
    // The sound's length, and what the first recording's header claims of
    // it as the decoder plays it (0: nothing; exact: to the sample).
    Timeline Finish(int64_t* frames, int64_t* claimed, bool* claimExact);

private:
    // A recording's Xing/Info or VBRI frame, and where its frames begin.
    struct Part {
        HeaderFrame header = HeaderFrame::kNone;
        uint32_t counted = 0;  // frames, 0 where it counts none
        LameTag lame;
        int64_t at = -1;        // its header frame or first frame
        int64_t headerSize = 0;  // of its header frame
        bool afterCut = false;  // the recording before it was cut within a frame
        int frameSamples = 0;   // of a frame, at the recording's rate
        double scale = 1;       // the sound's rate over the recording's
        int64_t slots = 0;      // frame times before it, silent ones included
        int64_t silent = 0;     // silent frame times before it
        double start = 0;       // decoded samples before it
        bool Cuts() const { return header == HeaderFrame::kXing && lame.delay >= 0 && lame.padding >= 0; }
    };
    // A tagged recording's frames as they come: its checksum and bytes so
    // far, and the first frame after its first that takes nothing of the
    // frames before it (an encoder's first frame), where another may begin.
    struct Count {
        int64_t frames = 0, bytes = 0;
        uint16_t crc = 0;
        bool fresh = false;
        Part freshPart;
        bool decided = false;
    };
    void StartPart(Part part);
    // A frame of the last part beyond its count: where another recording
    // joined on begins.
    void JoinBeyondCount(const Step& frame, const Part& here);

    StreamBytes& bytes_;
    int rate_;
    std::vector<Part> parts_;
    Count count_;
    int64_t slots_ = 0, silent_ = 0;
    int64_t reservoir_ = -1;  // main data bytes the last frame left, -1 where not known
    double decoded_ = 0;
    unsigned char lastKind_[4] = {0, 0, 0, 0};
    bool any_ = false, lastCut_ = false;
    std::vector<int64_t> unsure_;  // decoded places where a recording's count ends, cut somewhere before
};

}  // namespace platform::mpeg
