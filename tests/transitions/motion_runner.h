#pragma once
// Runs one transition between slides set up at chosen places and sizes and
// reads back every tag it wrote with its matrix and colour transform: the
// moving kinds are checked to the twip and the 16.16 term.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/toolbox_controls.h"
#include "platform/toolbox_windows.h"
#include "show/slide.h"
#include "show/transition.h"
#include "swf/records.h"

namespace tavrel_test {

struct MotionSlide {
    int width = 160, height = 120;  // display size, pixels
    int32_t x = 3200, y = 2400;  // placement translation, twips
    int32_t scaleX = 0x10000, scaleY = 0x10000;
};

struct MotionTag {
    int code = 0;
    bool move = false, hasMatrix = false, hasCxform = false;
    uint16_t depth = 0, characterId = 0;
    CSwfMatrix m;
    int alphaMult = 256;
    bool hasAdd = false;
    // Bounds of a shape defined here, twips.
    int32_t xmin = 0, ymin = 0, xmax = 0, ymax = 0;
};

struct MotionRun {
    std::vector<MotionTag> tags;  // those GenerateSwf wrote, ShowFrames included
    CSlide::CameraPlacement after;  // the new slide's placement afterwards
    uint16_t slideDepth = 0, previousDepth = 0;

    // The moves at a depth, in order.
    std::vector<MotionTag> MovesAt(uint16_t depth) const;
    int Frames() const;
};

// n frames: duration n seconds at one frame a second. The previous slide,
// when given, stands at depth 1 and the new one at 2; a first slide at 1.
MotionRun RunMotion(CTransition& t, int n, const MotionSlide& slide, const MotionSlide* previous,
                    int stageWidth = 320, int stageHeight = 240);

// The layer words of the fade tests: P:d placed, M:d moved (with /alpha),
// R:d removed, S defined, F frame.
std::string Words(const MotionRun& run);

}  // namespace tavrel_test

namespace tavrel_test {

// Writes a scene of slides of several sizes (one larger than the stage),
// each with a transition made by make: the first from no slide, one at
// n = 0, and the first again on the loop back; its display list must
// replay cleanly with only the new slide left after each transition.
void ExpectKindReplays(const std::function<std::unique_ptr<CTransition>()>& make, const std::string& what);

// The transition's element as written, its line feed included.
std::string XmlOf(const CTransition& t);
// ReadXml of an element with these attributes after the name.
void ReadAttributes(CTransition& t, const std::string& attributes);

// A control of the transitions' test window (id number 20000): its
// bounds (top, left, bottom, right) and title; {} and "" when there is none.
std::vector<int> ControlBounds(WindowRef window, uint32_t id);
std::string ControlTitle(WindowRef window, uint32_t id);
ControlRef ControlOf(WindowRef window, uint32_t id);

// The mean of two colours, each channel weighted wa : (1 - wa).
long Mix(long a, long b, double wa);

}  // namespace tavrel_test
