#pragma once
// Two further kinds of show. The strip show lays every slide side by side in
// one clip that scrolls left without end, each slide clip moving back behind
// the last once it has left. The alternative show only carries eight settings
// of its own. Nothing in the editor creates either; they complete the family.
#include <cstdint>
#include <string>
#include <vector>

#include "show/slide_show.h"

class CProgressDialog;
class CSwfMovie;
class CTagDoAction;

class CStripSlideShow : public CSlideShow {
public:
    CStripSlideShow() { CStripSlideShow::Reset(); }
    ~CStripSlideShow() override { CStripSlideShow::Reset(); }

    void Reset() override;

    // The strip movie to target (an existing file only with replace). False
    // when it cannot be made (GetLastErrorText says why); no file is left
    // behind then. There is no progress to show or cancel.
    bool Export(const CPath& target, bool replace, CProgressDialog* sink = nullptr) override;
    // The slides' pictures and clips, and the strip sprite holding them;
    // returns the strip's id, 0 when the ids or depths ran out or the movie
    // failed (GetLastErrorText says why; the movie is then to be abandoned).
    uint16_t BuildSlideClips(CSwfMovie* movie, uint16_t* ids, uint16_t* depths);
    // Appends the strip's scrolling script, run at every frame.
    void BuildLayoutScript(CTagDoAction* list);
    // The sum of the slides' display widths, in pixels.
    int64_t GetStripWidth() const;

    // The 1-based numbers of the slides the last strip left out because
    // their pictures could not be written.
    const std::vector<int>& GetStripSkippedSlides() const { return skipped_; }

    // Pixels; bottom, right and flag are kept but not used by the export.
    int16_t strip_top = 0, strip_left = 0, strip_bottom = 160, strip_right = 320;
    // Pixels each clip moves left per frame.
    int32_t scroll_step = 1;
    int32_t flag = 0;

protected:
    // Writes the slide's picture and shape; the shape's id, 0 when the slide
    // cannot be drawn.
    virtual uint16_t WriteSlideShape(CSlide* slide, CSwfMovie* movie, int index, uint16_t* ids);

private:
    bool Fail(uint32_t code, const std::string& why);

    std::vector<int> skipped_;
    // What the last BuildSlideClips laid out; -1 before any.
    int laid_out_count_ = -1;
    int64_t laid_out_width_ = 0;
};

class CAltSlideShow : public CSlideShow {
public:
    CAltSlideShow() { CAltSlideShow::Reset(); }
    ~CAltSlideShow() override { CAltSlideShow::Reset(); }

    // Sets the eight values below and nothing else.
    void Reset() override;

    int32_t value1 = 0, value2 = 0;
    float value3 = 0;
    int32_t value4 = 0, value5 = 0, value6 = 0, value7 = 0, value8 = 0;
    std::vector<uint32_t> list;
};
