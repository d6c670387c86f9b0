#pragma once
// One transition run alone into a movie of chosen size and rate, with
// slides of chosen size, place and scale, read back tag by tag with
// matrices, colour transforms and outlines: what the golden numbers of the
// moving and masked kinds are checked against.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "show/slide.h"
#include "show/transition.h"
#include "support/scene_harness.h"
#include "swf/records.h"

namespace tavrel_test {

struct LogSlide {
    int width = 320, height = 240;  // pixels
    int32_t cx = 3200, cy = 2400;   // placement, twips
    int32_t sx = 65536, sy = 65536;
};

struct LogRun {
    int width = 320, height = 240;  // movie, pixels
    float rate = 12.0f;
    uint32_t ms = 2000;
    LogSlide next;
    std::optional<LogSlide> previous = LogSlide{};
};

// The previous slide (character 1) stands at depth 1, the new one
// (character 2) takes the next depth; the tags of the run only. The new
// slide's placement afterwards into *after when given.
std::vector<TagEvent> LogTransition(CTransition& t, const LogRun& run, CSlide::CameraPlacement* after = nullptr);

// The matrices of the moves at depth, in order.
std::vector<CSwfMatrix> MovesAt(const std::vector<TagEvent>& tags, uint16_t depth);
// The placement (not a move) at depth.
const TagEvent* PlacedAt(const std::vector<TagEvent>& tags, uint16_t depth);

// The transition's element as WriteXml writes it, line feed and all.
std::string WrittenXml(const CTransition& t);
// Reads the element in text into t (duration and the kind's attributes).
void ReadXmlInto(const std::string& text, CTransition& t);

// One word a tag: S define, P:d place (P:d>c with a clip depth), M:d move,
// R:d remove, F frame.
std::string Words(const std::vector<TagEvent>& tags);

}  // namespace tavrel_test
