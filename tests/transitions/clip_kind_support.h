#pragma once
// What the tests of the masked kinds share: one transition run into a movie
// of chosen sizes, read back tag by tag with matrices and colour
// transforms; the direction attribute's round trip; the direction controls
// as the scripted user works them.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "show/transition.h"
#include "support/scene_harness.h"
#include "swf/records.h"

class CDialogWindow;

namespace tavrel_test {

class FakeUser;
class TempDir;

// Named apart: every transition test shares one program.
namespace clip_kinds {

struct SlideSpec {
    int width = 320, height = 240;  // pixels
    int x = 0, y = 0;  // pixels, the display position
    int32_t scale = 0x10000;  // the placement scale, both axes
};

struct KindRun {
    int movieWidth = 320, movieHeight = 240;  // pixels
    float rate = 12.0f;
    SlideSpec slide;
    std::optional<SlideSpec> previous = SlideSpec{};
    uint16_t depthCounter = 0;  // before the previous slide takes its depth
};

// One tag written by the transition, as read back.
struct RunTag {
    int code = 0;
    uint16_t depth = 0, characterId = 0, clipDepth = 0;
    bool move = false, hasCharacter = false;
    std::optional<CSwfMatrix> matrix;
    std::optional<CSwfCxformWithAlpha> cxform;
    std::optional<CSwfRect> bounds;  // a shape's
    bool IsFrame() const;
    bool IsMask() const { return clipDepth != 0; }
};

struct RunResult {
    std::vector<RunTag> tags;
    std::shared_ptr<TempDir> dir;
    std::string path;  // the movie, kept while the result lives
    uint16_t previousDepth = 0, slideDepthBefore = 0;
    uint16_t slideDepthAfter = 0;  // as the transition left it
    uint16_t depthCounter = 0;  // after the run
    int frames = 0;
};

// Runs t once (duration as set) from a previous slide, or none. The slides'
// centres are their display rectangles' as the compiler sets them.
RunResult RunKind(CTransition& t, const KindRun& run);

// "S" shape, "P:d" placed (" c:n" clip), "M:d" moved, "R:d" removed, "F" frame.
std::string Outline(const std::vector<RunTag>& tags);
// Segment 0 the setup (the tags before the first move or frame), segments
// 1..n each frame's tags, segment n+1 the finish. Without frames, the
// setup only.
std::vector<std::vector<RunTag>> SplitFrames(const std::vector<RunTag>& tags);

// Every word of a kind's direction table survives a write and read; a
// capitalised word and an unknown one change nothing; an index outside
// the table writes the empty value.
void ExpectDirectionWords(const std::function<std::unique_ptr<CTransition>()>& make,
                          const std::function<int&(CTransition&)>& direction, const std::vector<std::string>& words);


// Slides of three sizes (one wider than the frame), each with a transition
// from make; the first runs again at the loop, from the last. Written
// twice: the movie replays clean, and the second export is byte for byte
// the first.
void ExpectReplaysTwice(const std::function<std::unique_ptr<CTransition>()>& make);

// Full-frame slides of the colours (0xRRGGBB), the first a cut and each
// later one with its transition, no loop; written into dir, replayed clean
// and passed by swf-dump --deep.
struct FullFrameSlide {
    long rgb;
    std::unique_ptr<CTransition> transition;
};
SceneMovie WritePlayedScene(const TempDir& dir, std::vector<FullFrameSlide> slides);

// The direction controls of a kind in an open window: label and pop-up at
// their ids and rectangles, the items in table order, the user's choice of
// each item reaching the field, the read into another object, and the
// controls gone after the dispose, which keeps the last choice.
struct DirectionControls {
    uint32_t labelId, popupId;
    std::string label;
    std::vector<std::string> items;
};
void ExpectDirectionControls(const std::function<std::unique_ptr<CTransition>()>& make,
                             const std::function<int&(CTransition&)>& direction, const DirectionControls& expected,
                             CDialogWindow& window, FakeUser& user);

}  // namespace clip_kinds
}  // namespace tavrel_test
