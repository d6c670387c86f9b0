#pragma once
// The playback controls clip and the mute clip: each copies the named clip
// of its skin movie into the movie being written and gives every button of
// it the ActionScript that drives the show.
#include <cstdint>
#include <string>

#include "swf/reader_primitives.h"

class CSlideShow;
class CSwfMovie;

// Depths of the two clips before the export renumbers its depths.
constexpr uint16_t kControlsClipDepth = 65002;
constexpr uint16_t kMuteClipDepth = 65003;

class CControlsSkin;

// What the two clips share: copying a skin's named clip into the movie.
class CSkinClip {
public:
    // Copies the skin's named clip into the movie, taking character ids
    // after *nextId and advancing it past the skin's highest id. True also
    // when the skin has no such clip (then nothing is written); false, with
    // nothing written, when the skin's ids would run past 65535.
    bool Build(CSlideShow& show, CSwfMovie& movie, uint16_t* nextId);
    // The export's form: the clips take fixed depths, not the depth counter.
    bool Build(CSlideShow& show, CSwfMovie& movie, uint16_t* nextId, uint16_t* /*nextDepth*/)
    {
        return Build(show, movie, nextId);
    }
    // Why the last build wrote nothing; empty when it wrote the clip.
    const std::string& GetError() const { return error; }

    struct Kind {
        const char* clipName;  // of the skin's placement
        const char* folder;    // of the program's skins
        uint16_t depth;
        const char* what;  // for messages
        const CControlsSkin& (*skin)(const CSlideShow&);
        void (*place)(const CSlideShow&, int*, int*);
        void (*buildButtons)(const CSwfTagList&, const CSlideShow&);
    };

protected:
    explicit CSkinClip(const Kind& kind) : kind(kind) {}

private:
    const Kind& kind;
    CSlideShow* show = nullptr;
    std::string error;
};

// The playback controls: the skin's "show_controls" clip at depth 65002.
class CControlsClip : public CSkinClip {
public:
    CControlsClip();
    // The controls skin's top-left corner in the show, in pixels: x and y
    // are overwritten for placements 1 to 6 and kept for the custom one.
    static void Place(const CSlideShow& show, int* x, int* y);
};

// The mute control: the skin's "mute_control" clip at depth 65003.
class CMuteClip : public CSkinClip {
public:
    CMuteClip();
    // As CControlsClip::Place, for the mute skin.
    static void Place(const CSlideShow& show, int* x, int* y);
};

// The button builders: each finds the named button (or pair of buttons in a
// two-frame clip) among a parsed skin's tags and replaces its actions; a name
// the skin lacks leaves the tags as they are. False when nothing was found.
bool BuildFirstSlideButton(const CSwfTagList& tags);
bool BuildLastSlideButton(const CSwfTagList& tags, int slideCount);
bool BuildPrevSlideButton(const CSwfTagList& tags);
bool BuildNextSlideButton(const CSwfTagList& tags);
bool BuildPlayPauseButton(const CSwfTagList& tags);
bool BuildMuteButton(const CSwfTagList& tags);
