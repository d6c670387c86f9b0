#pragma once
// The built-in preloader: a clip in the movie's first frame that stops the
// main timeline, shows a label, a percentage and a bar while the movie
// downloads, and lets the main timeline go on once enough of it has loaded.
// The other preloader comes from the SWF-protection bundle, which writes its
// own tags into the movie.
//
// The export's preloader step: FillPreloaderLayout (with the 'Prld' 1000
// resource when there is one), CPreloaderBuilder::Init and Build; after it
// one ShowFrame and a RemoveObject2 at the returned depth, so that the clip
// leaves the stage when the main timeline moves on.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fonts/text_layout.h"
#include "foundation/path.h"
#include "swf/reader_primitives.h"

class CMovieSettings;
class CSwfFontManager;
class CSwfMovie;
class CTagDefineSprite;
class CTagDoAction;

// The characters whose glyphs the percentage field needs.
inline constexpr char kPreloaderPercentGlyphs[] = "01234567890%";
// The resource that holds the bar template movie.
inline constexpr char kPreloaderBarResType[] = "Prld";
inline constexpr int kPreloaderBarResId = 1000;

struct CPreloaderLayout {
    CPreloaderLayout();

    CStaticTextBuilder label;
    CStaticTextBuilder percent;
    // Pixels.
    int32_t barWidth = 0, barHeight = 0, barX = 0, barY = 0;
    // Percent loaded at which the movie starts.
    int32_t amount = 100;
    // A SWF movie holding the bar, not owned; null when there is none.
    const uint8_t* barTemplate = nullptr;
    size_t barTemplateSize = 0;
    bool barOn = false, labelOn = false, percentOn = false;
};

// Fills the layout from the movie settings for a movie of width × height
// pixels; the bar (when barTemplate is given) is centred with the texts above
// it. The template's bytes must outlive the layout's use.
void FillPreloaderLayout(CPreloaderLayout& layout, const CMovieSettings& settings, int width, int height,
                         const std::vector<uint8_t>* barTemplate);

class CPreloaderBuilder {
public:
    CPreloaderBuilder() { Init(); }
    CPreloaderBuilder(const CPreloaderBuilder&) = delete;
    CPreloaderBuilder& operator=(const CPreloaderBuilder&) = delete;

    void Init();
    // Writes the fonts, texts, bar and the clip into the movie and places the
    // clip; returns its depth. Takes ids and depths from the counters. 0 when
    // the ids or depths left cannot hold the preloader: nothing is written
    // and the counters stay, and GetError says why.
    uint16_t Build(CPreloaderLayout* layout, CSwfMovie* movie, uint16_t* nextId, uint16_t* nextDepth);
    void Release() {}
    const std::string& GetError() const { return error; }

    // The steps of Build, in order.
    void BuildFonts();
    void BuildLabelText();
    void BuildPercentText();
    void BuildBarSprite();
    void PlaceLabel();
    void PlacePercent();
    void BuildScript();

private:
    void LoadBarTemplate();
    bool CheckRoom();
    void AddToClip(CSwfTag* tag);

    uint16_t nextId = 0, nextDepth = 0, nextClipDepth = 0;
    uint16_t labelTextId = 0, percentTextId = 0;
    CPreloaderLayout* layout = nullptr;
    CSwfFontManager* fonts = nullptr;
    CTagDefineSprite* clip = nullptr;

    CSwfMovie* movie = nullptr;
    // Deletes the parsed tags with the reader.
    struct ReaderCloser {
        void operator()(CSwfReader* reader) const;
    };
    std::unique_ptr<CSwfReader, ReaderCloser> barReader;
    // Highest character id of the bar template; its ids move above nextId by it.
    uint16_t barMaxId = 0;
    std::string error;
};

// The preloader of the SWF-protection bundle at bundlePath: false, writing
// nothing, when the bundle cannot be loaded; otherwise the bundle's own
// result. The bundle advances the three counters past what it wrote.
bool BuildLockPreloader(const CPath& bundlePath, const CMovieSettings& settings, CSwfMovie& movie, uint16_t* nextId,
                        uint16_t* nextDepth, int* framesBeforeFirstSlide);
