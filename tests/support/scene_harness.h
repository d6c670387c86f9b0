#pragma once
// The shared harness of the transition and effect tests: a scene writer
// that sets slides up as the compiler does and writes a whole movie of
// solid-rectangle slides, a replay of the movie's display list read back by
// our own SWF reader, and pixel checks of played frames (swf-shot) with a
// scan for the colours of masks, which must never show.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "show/overlay_effect.h"
#include "show/transition.h"
#include "swf/records.h"

class CSlide;
class CSwfMovie;

namespace tavrel_test {

// Colours that only masks use: a frame showing one has a mask in view.
inline constexpr long kMaskRed = 0xFF0000;
inline constexpr long kMaskBlack = 0x000000;

struct SceneSlide {
    long rgb;  // 0xRRGGBB
    int width, height;  // pixels, centred on the stage
    std::unique_ptr<CTransition> transition;  // "None" when null
    std::unique_ptr<COverlayEffect> effect;  // none when null
    int holdFrames = 2;
};

struct Scene {
    int width = 320, height = 240;  // pixels
    float rate = 12.0f;
    long background = 0x406080;
    std::vector<SceneSlide> slides;
    bool loop = true;  // the first slide's transition again from the last
};

// Where each transition of the written movie lies: 1-based frames as
// swf-shot counts them.
struct SceneMark {
    int slide = 0;  // index in Scene::slides
    std::string label;  // the frame label after the transition
    int firstFrame = 0;  // the transition's first frame
    int frames = 0;  // ShowFrames it wrote
    uint16_t depth = 0;  // where the slide stands afterwards
    uint16_t characterId = 0;
    uint16_t effectDepth = 0;  // 0 without an effect
};

struct SceneMovie {
    std::string path;
    std::vector<SceneMark> marks;  // one per slide, then the loop back
    int frameCount = 0;
};

// A solid rectangle of rgb (0xRRGGBB) centred on its origin, as the
// compiler draws a slide, defined with the next id; the id.
uint16_t DefineSlideRect(CSwfMovie& movie, uint16_t* ids, long rgb, int width, int height);

// Writes the scene into path (plain SWF 6). Each slide: its rectangle and display size,
// scale 1.0, centre and a new depth, its transition from the slide before,
// the label "slide_<n>" (n from 1; the loop back "loop"), its effect, its
// hold frames, then the removal of its effect. False when the movie failed.
bool WriteScene(const Scene& scene, const std::string& path, SceneMovie* out);

// One tag of a movie read back, reduced to what the checks look at.
struct TagEvent {
    int code = 0;
    uint16_t depth = 0, characterId = 0, clipDepth = 0;
    bool defines = false;  // a character-defining tag
    bool move = false, hasCharacter = false, hasCxform = false, hasAdd = false;
    int alphaMult = 256;
    std::string label;  // a frame label's text
    bool hasMatrix = false;  // a placement's matrix
    CSwfMatrix matrix;
    int32_t xmin = 0, ymin = 0, xmax = 0, ymax = 0;  // a shape's bounds, twips
    // A shape's outline: the pen after each style change (from its move-to)
    // and each straight edge; curves are passed over.
    std::vector<std::pair<int32_t, int32_t>> outline;
};
std::vector<TagEvent> ReadTagEvents(const std::string& path);
// The tags its writer added, End left out: all of them, or those after the
// frame label (the label left out too).
std::vector<TagEvent> ReadWrittenTags(const std::string& path, const char* afterLabel = nullptr);

// Plays the display list of the movie: no placement on a taken depth, no
// move or removal of an empty one, clip depths above their masks,
// characters defined before use. Returns the faults found (empty when
// none) and, per frame label, the layers (depth → character) at the label.
struct Replay {
    std::vector<std::string> faults;
    std::map<std::string, std::map<uint16_t, uint16_t>> atLabel;
};
Replay ReplayDisplayList(const std::string& path);

// The replay of a scene movie must be clean, and after each transition
// only the new slide may stand, at the depth it wrote back.
void ExpectSceneReplays(const SceneMovie& movie);

// Plays frame `frame` (1-based) and checks the pixels, then scans the whole
// shot: no pixel in mask red or black. Skips where swf-shot cannot run.
void ExpectFrame(const std::string& swfPath, int frame, const std::vector<std::pair<std::pair<int, int>, long>>& pixels,
                 int tolerance = 3);

// The same after playing frames 1..frame in order, as a viewer sees them:
// Ruffle's seek to a frame can bring back a layer removed on the way.
void ExpectPlayedFrame(const std::string& swfPath, int frame,
                       const std::vector<std::pair<std::pair<int, int>, long>>& pixels, int tolerance = 3);
// Plays frames 1..frame and finds what shows other than rgb (a channel
// off by more than tolerance): nothing of another layer may be left in
// view. Runs swf-shot without asserting, so shots may run side by side;
// check SwfShotUnavailable first.
struct StrayPixels {
    int exitCode = -1;  // swf-shot's
    std::string output;
    long count = 0;
    int left = 0, top = 0, right = -1, bottom = -1;  // the box round them
};
StrayPixels PlayedFrameStray(const std::string& swfPath, int frame, long rgb, int tolerance = 8);
// Expects none: the shot ran and the whole stage is rgb.
void ExpectNoStray(const StrayPixels& stray, int frame, long rgb);

// Runs one GenerateSwf of t into a fresh movie (rate, 320 × 240), from a
// previous slide or none, and returns the tags it wrote (ShowFrames included).
std::vector<TagEvent> RunTransition(CTransition& t, float rate, bool withPrevious);

}  // namespace tavrel_test
