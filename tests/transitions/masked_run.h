#pragma once
// One GenerateSwf of a masked kind into a fresh movie, read back whole: the
// depths, matrices, colour transforms and shape outlines it wrote, for the
// golden numbers of the masked transition tests.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "show/transition.h"
#include "support/scene_harness.h"

namespace tavrel_test {

struct MaskedSetup {
    int movieWidth = 320, movieHeight = 240;  // pixels
    float rate = 12.0f;
    int width = 320, height = 240;  // the new slide, centred
    bool previous = true;
    int previousWidth = 320, previousHeight = 240;
};

// A shape's outline: where the pen starts and ends, and its edges.
struct Outline {
    int32_t xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    int32_t startX = 0, startY = 0, endX = 0, endY = 0;
    int edges = 0, curves = 0;
    int fillBits = 0;
};

struct WrittenTag {
    int code = 0;
    uint16_t depth = 0, characterId = 0, clipDepth = 0;
    bool move = false, hasMatrix = false, hasScale = false, hasRotate = false, hasCxform = false;
    int32_t scaleX = 0, scaleY = 0, rotate0 = 0, rotate1 = 0, x = 0, y = 0;
    int alphaMult = 256;
    Outline outline;  // DefineShape only

    bool IsFrame() const;
    bool IsPlace() const;  // a placement (no move)
    bool IsRemove() const;
    bool IsShape() const;
};

struct MaskedRun {
    std::vector<WrittenTag> tags;        // what the transition wrote, ShowFrames included
    uint16_t newDepth = 0;               // the new slide's depth given to the transition
    uint16_t previousDepth = 0;          // 0 without a previous slide
    uint16_t depthAfter = 0;             // where the new slide stands afterwards
    uint16_t newId = 0, previousId = 0;  // the slides' characters

    int Frames() const;
    // The tags of frame k (1-based: the tags before its ShowFrame), or of the
    // finish after the last ShowFrame for k = Frames() + 1.
    std::vector<WrittenTag> Frame(int k) const;
    // The moves at a depth, one entry per frame that has one.
    std::vector<WrittenTag> MovesAt(uint16_t depth) const;
};

MaskedRun RunMasked(CTransition& t, const MaskedSetup& setup = {});

// Every outline the movie defines, in definition order.
std::vector<Outline> ReadOutlines(const std::string& swfPath);

// Words for the tag list: S shape, P:depth(/clip) placed, M:depth moved,
// R:depth removed, F frame.
std::string TagWords(const std::vector<WrittenTag>& tags);

// The transition's XML element as written, and a transition of that kind
// read back from it through the registry (null when none).
struct XmlTrip {
    std::string written;
    std::unique_ptr<CTransition> read;
};
XmlTrip WriteAndRead(const CTransition& t);

// Writes the scene twice into the folder, the same transition objects
// running again, and expects both movies to replay clean; both movies.
std::vector<SceneMovie> WriteTwiceAndReplay(const Scene& scene, const std::string& folder);

// A movie whose only slide comes in by t, from no slide at all, must replay
// clean.
void ExpectReplaysAsFirstSlide(std::unique_ptr<CTransition> t, const std::string& path);

}  // namespace tavrel_test
