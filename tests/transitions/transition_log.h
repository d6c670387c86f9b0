#pragma once
// One transition run into a movie of chosen size with slides of chosen
// size, place and scale, read back tag by tag with matrices and outlines:
// what the golden numbers of the masked kinds are checked against.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "show/transition.h"
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

struct LoggedTag {
    int code = 0;
    bool defines = false, move = false, hasCharacter = false;
    uint16_t id = 0, depth = 0, clipDepth = 0;
    std::optional<CSwfMatrix> matrix;
    // A shape's bounds and the points its outline visits, from its move-to.
    CSwfRect bounds;
    std::vector<std::pair<int32_t, int32_t>> outline;
};

// The previous slide (character 1) stands at depth 1, the new one
// (character 2) takes the next depth; the tags of the run only.
std::vector<LoggedTag> LogTransition(CTransition& t, const LogRun& run);

// The tags of a movie file, all of them or those after the frame label.
std::vector<LoggedTag> ReadLog(const std::string& path, const char* afterLabel = nullptr);

// The matrices of the moves at depth, in order.
std::vector<CSwfMatrix> MovesAt(const std::vector<LoggedTag>& tags, uint16_t depth);
// The placement (not a move) at depth.
const LoggedTag* PlacedAt(const std::vector<LoggedTag>& tags, uint16_t depth);

// The transition's element as WriteXml writes it, line feed and all.
std::string WrittenXml(const CTransition& t);
// Reads the element in text into t (duration and the kind's attributes).
void ReadXmlInto(const std::string& text, CTransition& t);

// One word a tag: S define, P:d place (P:d>c with a clip depth), M:d move,
// R:d remove, F frame.
std::string Words(const std::vector<LoggedTag>& tags);

}  // namespace tavrel_test
