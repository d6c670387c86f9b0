#pragma once
// The show document: the movie's format, its slides in order, the
// show-wide captions and sound and the movie settings.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fonts/font_manager.h"
#include "foundation/path.h"
#include "foundation/signal.h"
#include "media/picture_store.h"
#include "platform/qd_types.h"
#include "show/caption.h"
#include "show/controls_clip.h"
#include "show/controls_skin.h"
#include "show/movie_settings.h"
#include "show/overlay_effect.h"
#include "show/slide.h"
#include "show/sound.h"

class CProgressDialog;
struct CPictureScratch;
class CSwfMovie;
class CSwfSoundBuilder;
class CTagDoAction;
class CTagDefineSprite;

// One entry of the export's frame timeline.
struct CTimelineRecord {
    enum Kind : uint32_t { kCaptionStart = 1, kRemove = 2 };
    uint32_t kind = 0;
    CCaption* object = nullptr;  // not owned; null for a removal the slide code scheduled
    uint16_t depth = 0;
};

// The largest side at which the export draws the background image or a
// frame pattern: no movie shows more, and more is memory to no purpose.
constexpr uint32_t kMaxDrawnPictureSide = 8192;
// The size such a picture is drawn at: width × height as stored, or the
// picture's own (natural) size when either is 0. False when a side of it is
// past kMaxDrawnPictureSide or not above 0: the movie then goes without it.
bool DrawnPictureSize(uint32_t width, uint32_t height, int naturalWidth, int naturalHeight, int* outWidth,
                      int* outHeight);

class CSlideShow {
public:
    // SetBounds results.
    enum { kBoundsOk = 0, kNoWidth = 3, kBadWidth = 4, kNoHeight = 5, kBadHeight = 6 };

    CSlideShow();
    virtual ~CSlideShow();
    CSlideShow(const CSlideShow&) = delete;
    CSlideShow& operator=(const CSlideShow&) = delete;

    virtual void Reset();
    virtual bool HasUserContent() const;
    // Paints the show's area of the current port in the background colour.
    virtual void DrawBackground() const;
    virtual void Changed(CSlide*, int) {}

    void CopyFormat(const CSlideShow& other);

    // The ranges of the checked setters.
    static constexpr long kMinSize = 10, kMaxSize = 2000;
    static constexpr double kMinFps = 1, kMaxFps = 120;

    // Checked setters show their numbered message when asked.
    bool SetSize(long w, long h, bool showMessage = false, WindowRef parent = nullptr);
    bool SetWidth(long w, bool showMessage = false, WindowRef parent = nullptr)
    {
        return SetSize(w, height_, showMessage, parent);
    }
    bool SetHeight(long h, bool showMessage = false, WindowRef parent = nullptr)
    {
        return SetSize(width_, h, showMessage, parent);
    }
    bool SetFps(double fps, bool showMessage = false, WindowRef parent = nullptr);
    bool SetBgImageQuality(long q, bool showMessage = false, WindowRef parent = nullptr);
    int SetBounds(int left, int top, int right, int bottom);
    int SetBoundsRect(const Rect& r) { return SetBounds(r.left, r.top, r.right, r.bottom); }
    int SetBoundsLeft(int v) { return SetBounds(v, bounds_top_, bounds_right_, bounds_bottom_); }
    int SetBoundsTop(int v) { return SetBounds(bounds_left_, v, bounds_right_, bounds_bottom_); }
    int SetBoundsRight(int v) { return SetBounds(bounds_left_, bounds_top_, v, bounds_bottom_); }
    int SetBoundsBottom(int v) { return SetBounds(bounds_left_, bounds_top_, bounds_right_, v); }

    uint32_t GetWidth() const { return width_; }
    uint32_t GetHeight() const { return height_; }
    float GetFps() const { return fps_; }
    int GetBoundsLeft() const { return bounds_left_; }
    int GetBoundsTop() const { return bounds_top_; }
    int GetBoundsRight() const { return bounds_right_; }
    int GetBoundsBottom() const { return bounds_bottom_; }
    int GetBoundsWidth() const { return bounds_right_ - bounds_left_; }
    int GetBoundsHeight() const { return bounds_bottom_ - bounds_top_; }

    uint32_t GetTotalTime() const;
    bool HasTextEffectCaptions() const;
    bool UsesLockPreloader() const;
    bool HasPopupSlides() const;

    int GetSlideCount() const { return static_cast<int>(slides_.size()); }
    CSlide* GetSlide(int i) const;
    CSlide* GetFirstSlide() const { return GetSlide(0); }
    CSlide* GetLastSlide() const { return GetSlide(GetSlideCount() - 1); }
    int IndexOfSlide(const CSlide* slide) const;
    CSlide* GetNextSlide(const CSlide* slide) const;
    CSlide* GetPrevSlide(const CSlide* slide) const;
    CSlide* GetLastSelectedSlide() const;
    bool InsertSlide(std::unique_ptr<CSlide> slide, bool afterSelection);
    bool InsertSlideAt(std::unique_ptr<CSlide> slide, int index);
    bool DeleteSlide(int index);
    int DeleteSelectedSlides();

    CMovieSettings& GetMovieSettings() { return movie_settings_; }
    CCaptionList& GetCaptions() { return captions_; }
    CSoundList& GetSounds() { return sounds_; }
    CControlsSkin& GetControlsSkin() { return controls_skin_; }
    CControlsSkin& GetMuteSkin() { return mute_skin_; }
    const CControlsSkin& GetControlsSkin() const { return controls_skin_; }
    const CControlsSkin& GetMuteSkin() const { return mute_skin_; }
    CControlsClip& GetControlsClip() { return controls_clip_; }
    CMuteClip& GetMuteClip() { return mute_clip_; }
    // Where the "slide_show" element whose attributes the show took stood
    // in the project file.
    const CFilePlace& GetPlace() const { return place_; }

    // Load the skin movie into the controls or mute skin; false, and the
    // skin unchanged, when the file is refused.
    bool SetControlsSkin(const CPath& file) { return controls_skin_.Load(file); }
    bool SetMuteControlSkin(const CPath& file) { return mute_skin_.Load(file); }
    // Top-left corner of each clip in the movie, in pixels.
    void GetControlsPos(int* x, int* y) const;
    void GetMuteControlPos(int* x, int* y) const;

    bool WriteXml(CXMLOutputFile& out) const;
    bool ReadXml(const CXMLNode& element, CReadContext* context = nullptr);
    // False when a relocation was cancelled; the slides read before stay.
    bool ReadSlidesXml(const CXMLNode& element, CReadContext* context = nullptr);

    Signal ShowFormatChanging, ShowFormatChanged, SlideFormatChanging, SlideFormatChanged;

    // ---- The SWF export.
    // Export codes; 8 is the one a failed compression has always reported.
    enum ExportError : uint32_t {
        kExportOk = 0,
        kExportCancelled = 1,
        kExportCannotOpen = 2,
        kExportNoShowSound = 3,
        kExportTooManyFrames = 4,
        kExportTooManyObjects = 5,
        kExportWriteFailed = 6,
        kExportCompressionFailed = 8,
    };
    // Ids and depths above this are taken: the frame, the mask, the controls
    // and the mute clip sit at 65000 to 65003 until the movie is complete.
    static constexpr uint16_t kMaxExportId = 64999;

    // The whole show to target; with compression through a temporary file.
    virtual bool Export(const CPath& target, bool replace, CProgressDialog* sink);
    // The slides alone, for quick previews.
    virtual bool ExportSlide(const CPath& path);
    // The movie's frame callback: what the timeline holds for movie frame n.
    virtual void ExportTimeline(uint32_t n);

    uint32_t GetLastError() const { return last_error_; }
    // Why the last export failed, for the user; empty after a success.
    const std::string& GetLastErrorText() const { return last_error_text_; }
    // The 1-based numbers of the slides the last export left out because
    // their pictures could not be read or encoded.
    const std::vector<int>& GetSkippedSlides() const { return skipped_slides_; }
    // What the picture decoders of the last export said of pictures they
    // read only in part (a JPEG cut short or damaged): the slide's 1-based
    // number and the decoder's words. Such slides show what was decoded.
    // The show's own pictures (background image, frame pattern) are told
    // the same way, by slide 0 and the attribute that names them.
    struct PictureWarning {
        int slide;
        std::string text;
        bool black = false;  // nothing of it decoded: the slide shows black
        bool unread = false;  // for no damage: the file is too large to read
        const char* attribute = nullptr;
    };
    const std::vector<PictureWarning>& GetPictureWarnings() const { return picture_warnings_; }
    // What the last export met in sounds: the slide's 1-based number (0 for
    // the show sound), the sound file, and either why it was left out or
    // what of it did not decode (it was kept as far as it decoded); and
    // where the sound stood in the project file.
    struct SoundWarning {
        int slide;
        CPath src;
        std::string text;
        bool leftOut;
        CFilePlace place;
    };
    const std::vector<SoundWarning>& GetSoundWarnings() const { return sound_warnings_; }
    // Notes what a sound builder said of the sound it last made or failed to.
    void NoteSoundOutcome(int slide, const CSoundItem& item, const CSwfSoundBuilder& builder, bool made);

    // Frames of a time at the show's rate: fps × (ms / 1000) + 0.5, truncated.
    uint32_t MsToFrames(uint32_t ms) const;
    // Decides, once, which slides the export writes: every blank slide, and
    // an image slide when its display size can be drawn and its picture
    // file is whole, told from the file's structure without decoding its
    // pixels (a movie file by drawing its first frame). The frame count,
    // the slide numbers the movie navigates by and the export all follow
    // this one decision; it is taken again only once a slide or its file
    // has changed.
    void PlanExport();
    // The frames the export writes, to the frame, for the slides the plan
    // keeps; a show past 65535 is refused.
    uint64_t CountExportFrames();
    void PrepareExport();
    // Schedules the removal of a depth in a frame counted from the first slide.
    void AddRemoveRecord(uint16_t depth, uint32_t relativeFrame);
    const std::vector<std::vector<CTimelineRecord>>& GetTimeline() const { return timeline_; }

    // Builders of the movie-level parts, each writing into the export's movie.
    bool BuildPreloader(CSwfMovie* movie, uint16_t* ids, uint16_t* depths);
    void BuildHitAreaShape(CSwfMovie* movie, uint16_t* ids);
    void BuildPlaybackFunctions(CTagDoAction* action) const;
    bool BuildStartAction(CSwfMovie* movie, CTagDoAction* action);
    bool BuildClickButton(CSwfMovie* movie, uint16_t* ids, uint16_t* depths);
    bool BuildBgImage(CSwfMovie* movie, uint16_t* ids, uint16_t* depths);
    bool BuildBgFrame(CSwfMovie* movie, uint16_t* ids);
    void BuildBackgroundShape(CSwfMovie* movie, uint16_t* ids);
    std::unique_ptr<CTagDefineSprite> MakeExternalJpegSprite() const;
    bool BuildEndAction(CTagDoAction* action) const;
    bool BuildLoopActions(CTagDoAction* action, CSwfMovie* movie, uint16_t* ids, uint16_t* depths);

    // Export state: the builders of one export read and advance it.
    CSwfMovie* GetMovie() const { return movie_; }
    CProgressDialog* GetProgressSink() const { return progress_; }
    // The picture buffers the running export keeps from slide to slide.
    CPictureScratch* GetPictureScratch() const { return picture_scratch_; }
    // A movie slide's picture as the plan drew it (slide_bitmap.h's
    // RenderSlidePicture), with its mask and the warnings its drawing gave,
    // handed over once; false when the plan drew none for the slide as it
    // stands.
    bool TakePlannedPicture(CSlide& slide, CImage& image, std::vector<uint8_t>& mask,
                            std::vector<std::string>& warnings);
    // The same picture where the plan also encoded it as the slide's JPEG
    // (slide_bitmap.h's EncodeSlideJpeg): the stream's bytes.
    bool TakePlannedJpeg(CSlide& slide, std::vector<uint8_t>& bytes, std::vector<std::string>& warnings);
    CSlide* GetCurrentSlide() const { return current_slide_; }
    CSlide* GetPreviousSlide() const { return previous_slide_; }
    // The first and last slides the running export has written.
    CSlide* GetFirstWrittenSlide() const { return first_written_; }
    CSlide* GetLastWrittenSlide() const { return last_written_; }
    int GetWrittenSlideCount() const { return written_count_; }
    // The slides the running export numbers its labels by: those the plan
    // keeps, so that navigation never names a slide left out. The number of
    // a slide of the show (from 1) among them; a slide left out gives the
    // one after it (the last kept when none after it is); 0 for a number
    // outside the show, or when the plan keeps no slide.
    int GetExportSlideCount() const;
    int GetExportSlideNumber(int showNumber) const;
    // The slide of the show (from 1) a jump to showNumber reaches by the
    // rule above; 0 for none.
    int GetJumpTarget(int showNumber) const;
    // The slides of the show (from 1) the plan leaves out, before any is
    // written: the export skips these.
    std::vector<int> GetPlannedOutSlides() const;
    uint32_t GetNextFrame() const { return next_frame_; }
    uint32_t GetFramesBeforeFirstSlide() const { return frames_before_first_; }
    uint16_t* GetIdCounter() { return &id_counter_; }
    uint16_t* GetDepthCounter() { return &depth_counter_; }
    uint16_t GetHitAreaShapeId() const { return hit_area_shape_id_; }
    uint16_t GetBackgroundShapeId() const { return background_shape_id_; }
    uint16_t GetExternalJpegSpriteId() const { return external_jpeg_sprite_id_; }
    uint16_t GetPreloaderDepth() const { return preloader_depth_; }
    CSwfFontManager& GetFontTable() { return font_table_; }
    const CPath& GetTextEffectBundlePath() const { return text_effect_bundle_path; }
    const CPath& GetLockBundlePath() const { return lock_bundle_path_; }
    void SetTextEffectBundlePath(const CPath& p) { text_effect_bundle_path = p; }
    void SetLockBundlePath(const CPath& p) { lock_bundle_path_ = p; }
    // Set by the effect panel's preview: the export then never compresses.
    void SetPreview(bool on) { preview_ = on; }
    bool GetPreview() const { return preview_; }
    // The overlay effects defined in the movie being written.
    CUsedEffectList& GetUsedEffects() { return used_effects_; }
    // For a caller that writes slides into a movie of its own: the shapes
    // its slides draw on, and the slides written so far (a skipped slide
    // becomes none of them).
    void SetSlideShapes(uint16_t hitArea, uint16_t background, uint16_t externalJpeg)
    {
        hit_area_shape_id_ = hitArea, background_shape_id_ = background, external_jpeg_sprite_id_ = externalJpeg;
    }
    void SetWrittenSlides(CSlide* current, CSlide* previous, CSlide* lastWritten)
    {
        current_slide_ = current, previous_slide_ = previous, last_written_ = lastWritten;
    }

    // Plain settings, stored as given.
    uint32_t bg_color = 0;
    CPath bg_image;
    uint32_t bg_image_width = 320, bg_image_height = 240;
    uint32_t bg_image_quality = 80;
    bool use_bg_image = false;
    bool bg_image_scale_to_fit = true;
    bool bg_image_tile = false;
    uint32_t bg_frame = 0;
    uint32_t bg_frame_left = 10, bg_frame_top = 10, bg_frame_right = 10, bg_frame_bottom = 10;
    uint32_t bg_frame_color = 0;
    CPath bg_frame_pattern, bg_frame_custom_pattern;
    bool use_compression = false;
    bool protect = false;
    bool disable_print = false;
    bool controls = false;
    bool mute_control = false;
    // Where the caption text-effect bundle was found; empty when it was not.
    CPath text_effect_bundle_path;

protected:
    // Export and ExportSlide of both show classes; the editor's document
    // writes the no-printing label only when asked.
    bool RunExport(const CPath& target, bool replace, CProgressDialog* sink, bool alwaysNoPrint);
    bool RunExportSlide(const CPath& path);
    // What an export reports of its last run: error, skipped slides, warnings.
    void ClearExportReport();
    // Keeps the code and the reason; false.
    bool FailExport(uint32_t code, const std::string& why);

private:
    struct ExportScope;
    // False, with the reason kept, once the counters pass the ids the movie may use.
    bool CheckExportCounters();
    void ExportShowSoundStart(int relativeFrame);
    void ExportStreamBlock();
    void ExportTimelineRecords(int relativeFrame);
    // Writes one slide and keeps the slide state; false when it was skipped.
    bool WriteSlide(CSlide* slide, int index);
    uint16_t BuildFrameShape(int kind, CSwfMovie* movie, uint16_t* ids);

    // Announces a size or bounds change around it, re-aligning the captions
    // and refitting the slides.
    void ChangeFormat(const std::function<void()>& change);
    void Refit();

    uint32_t width_ = 320, height_ = 240;
    int16_t bounds_top_ = 0, bounds_left_ = 0, bounds_bottom_ = 240, bounds_right_ = 320;
    float fps_ = 12.0f;
    CMovieSettings movie_settings_;
    CCaptionList captions_;
    CSoundList sounds_;
    std::vector<std::unique_ptr<CSlide>> slides_;
    CControlsClip controls_clip_;
    CControlsSkin controls_skin_;
    CMuteClip mute_clip_;
    CControlsSkin mute_skin_;
    CFilePlace place_;

    // Export state; kept after an export, reset by the next one.
    std::vector<std::vector<CTimelineRecord>> timeline_;
    CSwfFontManager font_table_;
    CSwfMovie* movie_ = nullptr;
    CSwfSoundBuilder* show_sound_builder_ = nullptr;
    CProgressDialog* progress_ = nullptr;
    CPictureScratch* picture_scratch_ = nullptr;
    CSlide* current_slide_ = nullptr;
    CSlide* previous_slide_ = nullptr;
    CSlide* first_written_ = nullptr;
    CSlide* last_written_ = nullptr;
    int written_count_ = 0;
    // The plan: per slide its number in the movie (0 for one left out) and
    // what the decision rested on.
    struct PlannedSlide {
        const CSlide* slide;
        std::string basis;
        int number;
    };
    std::vector<PlannedSlide> plan_;
    // The movie slides' pictures the plan drew, until the export takes them.
    CPictureStore planned_pictures_;
    int export_slide_count_ = 0;
    int first_written_index_ = 1;
    uint32_t next_frame_ = 0;
    uint32_t frames_before_first_ = 0;
    uint16_t id_counter_ = 0;
    uint16_t depth_counter_ = 0;
    uint16_t external_jpeg_sprite_id_ = 0;
    uint16_t hit_area_shape_id_ = 0;
    uint16_t background_shape_id_ = 0;
    uint16_t preloader_depth_ = 0;
    bool streaming_ = false;
    uint32_t next_block_ = 0;
    bool preview_ = false;
    uint32_t last_error_ = 0;
    std::string last_error_text_;
    std::vector<int> skipped_slides_;
    std::vector<PictureWarning> picture_warnings_;
    std::vector<SoundWarning> sound_warnings_;
    CPath lock_bundle_path_;
    CUsedEffectList used_effects_;
};

// The editor's document: the no-printing label only when the show asks.
class CEditorSlideShow : public CSlideShow {
public:
    CEditorSlideShow() { CSlideShow::Reset(); }
    ~CEditorSlideShow() override { CSlideShow::Reset(); }

    bool Export(const CPath& target, bool replace, CProgressDialog* sink) override
    {
        return RunExport(target, replace, sink, false);
    }
    bool ExportSlide(const CPath& path) override { return RunExportSlide(path); }
    void ExportTimeline(uint32_t n) override { CSlideShow::ExportTimeline(n); }
};
