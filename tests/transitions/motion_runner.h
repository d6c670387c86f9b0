#pragma once
// What the tests of the moving kinds share: one transition run between
// slides at chosen places and sizes (on the transition log), its moves
// checked to the twip and the 16.16 term; layer words, XML, controls and
// scene replays.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "show/slide.h"
#include "show/transition.h"
#include "support/scene_harness.h"
#include "transition_log.h"
#include "ui/controls_fixture.h"

namespace tavrel_test {

struct MotionSlide {
    int width = 160, height = 120;  // display size, pixels
    int32_t x = 3200, y = 2400;  // placement translation, twips
    int32_t scaleX = 0x10000, scaleY = 0x10000;
};

struct MotionRun {
    std::vector<TagEvent> tags;  // those GenerateSwf wrote, ShowFrames included
    CSlide::CameraPlacement after;  // the new slide's placement afterwards

    // The moves at a depth, in order.
    std::vector<TagEvent> MovesAt(uint16_t depth) const;
};

// n frames: duration n seconds at one frame a second, on a 320 × 240
// stage. The previous slide, when given, stands at depth 1 and the new one
// at 2; a first slide at 1.
MotionRun RunMotion(CTransition& t, int n, const MotionSlide& slide, const MotionSlide* previous);

// One move of a scaling kind: its scales, translation and alpha
// multiplier (-1 without a colour transform).
struct ScaleFrame {
    int32_t scaleX, scaleY, x, y;
    int alpha = -1;
    bool operator==(const ScaleFrame&) const = default;
};
std::ostream& operator<<(std::ostream& os, const ScaleFrame& f);
// The moves, each expected to scale and not to turn.
std::vector<ScaleFrame> ScaleFrames(const std::vector<TagEvent>& moves);

// The layer words of the fade tests: P:d placed, M:d moved (with /alpha),
// R:d removed, S defined, F frame.
std::string Words(const MotionRun& run);

// Runs of one shape: the words of t over n frames, from old or from none.
struct WordsCase {
    CTransition* t;
    int n;
    bool previous;
    std::string words;
};
void ExpectWords(const std::vector<WordsCase>& cases, const MotionSlide& slide, const MotionSlide& old);

// Writes a scene of slides of several sizes (one larger than the stage),
// each with a transition made by make: the first from no slide, one at
// n = 0, and the first again on the loop back; its display list must
// replay cleanly with only the new slide left after each transition.
void ExpectKindReplays(const std::function<std::unique_ptr<CTransition>()>& make, const std::string& what);

// ReadXml of an element with these attributes after the name.
void ReadAttributes(CTransition& t, const std::string& attributes);

// A control of the test window (id number 20000): its bounds (top, left,
// bottom, right) and title or text; {} and "" when there is none.
ControlRef ControlOf(WindowRef window, uint32_t id);
std::vector<int> ControlBounds(WindowRef window, uint32_t id);
std::string ControlTitle(WindowRef window, uint32_t id);

// The settings controls of a kind in a fresh window, with its change
// signal counted.
class MotionControls : public ControlsTest {
protected:
    // Replaces the field's text by typing, then commits it with Return.
    void TypeInto(uint32_t id, const std::string& text);
    // Creates t's controls in window at the effects pane's area.
    void Open(NoteWindow& window, CTransition& t);
    void Note(intptr_t) { ++changes_; }

    int changes_ = 0;
};

// Two colours mixed, a's channels weighted wa.
long Mix(long a, long b, double wa);

}  // namespace tavrel_test
