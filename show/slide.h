#pragma once
// One slide of a show: an image slide, whose picture comes from a file, or
// a blank slide. Holds the slide's geometry, picture edits, timing, click
// action and the parts it owns (captions, sounds, filters, transition,
// overlay effect, camera effects).
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/path.h"
#include "foundation/signal.h"
#include "media/image.h"
#include "platform/gworld.h"
#include "show/camera_fx.h"
#include "show/caption.h"
#include "show/overlay_effect.h"
#include "show/publish_settings.h"
#include "show/range_message.h"
#include "show/slide_filter.h"
#include "show/sound.h"
#include "show/transition.h"
#include "show/xml_io.h"

class CSlideShow;
class CSwfMovie;

struct SlideRect {
    int16_t top = 0, left = 0, bottom = 0, right = 0;
    bool operator==(const SlideRect&) const = default;
};

class CSlide {
public:
    enum Type { kBlank = 0, kImage = 1 };
    enum ImageType {
        kJpeg,
        kRgb8,
        kRgb15,
        kRgb24,
        kJpegExternal,
        kJpegImportData,
        kJpegTransparent,
        kRgb8Transparent,
        kRgb24Transparent
    };
    enum ClickType { kGetUrl, kLoadMovie, kNextSlide, kPreviousSlide, kJumpToSlide, kFirstSlide, kLastSlide, kPrint };

    // The ranges of the checked setters. A position is held to what a movie
    // can place: its twips, with half the largest size, within a SWF matrix.
    static constexpr int kMaxPosition = 50000000;
    static constexpr int kMaxSize = 10000;
    static constexpr int kMinQuality = 1, kMaxQuality = 100;

    // Where the export places the slide's character; moved by transitions
    // and camera effects.
    struct CameraPlacement {
        int32_t centerX = 0, centerY = 0;
        int32_t scaleX = 0x10000, scaleY = 0x10000;
    };

    // A depth the slide removes when its frames end. Recorded depths were
    // placed with placement recording on (captions, renumbered above the
    // slides when the movie is complete) and are removed the same way.
    struct PlacedDepth {
        uint16_t depth = 0;
        bool recorded = false;
        bool operator==(const PlacedDepth&) const = default;
    };

    // What the export keeps of the slide while a movie is written.
    struct ExportState {
        CSwfMovie* movie = nullptr;
        uint16_t* idCounter = nullptr;
        uint16_t* depthCounter = nullptr;
        int index = 0;  // the slide's number, from 1
        uint16_t bitmapId = 0;
        // The bitmap holds the file's own JPEG data, at the picture's size.
        bool bitmapFromFile = false;
        uint16_t characterId = 0;
        uint32_t startFrame = 65535;
        std::vector<PlacedDepth> placedDepths;
        // Set by the driver for a slide its frame count and numbering rely
        // on: a picture that then fails to decode is drawn black, and
        // drawnBlack says so, rather than the slide being left out.
        bool mustWrite = false;
        bool drawnBlack = false;
        // Why it was drawn black when that is no damage: its file is too
        // large to read.
        std::string unreadable;
    };

    CSlide(int type, CSlideShow* show);
    ~CSlide();
    CSlide(const CSlide&) = delete;
    CSlide& operator=(const CSlide&) = delete;

    void Reset();
    // Copies the settings of another slide; not its file, picture, pop-up
    // settings or on-display URL.
    void CopyFrom(const CSlide& other);
    // Takes the picture's size from the file (no pixels are decoded). With
    // reset, the slide starts over from the defaults and the whole picture.
    bool LoadImage(const CPath& path, CSlideShow* show, bool reset);

    // Geometry.
    void ComputeFitSize(const CSlideShow* show, bool scaleToFit, bool keepAspect, int* w, int* h) const;
    void FitToShow(const CSlideShow* show);
    void ApplyAutoAlign(const CSlideShow* show);
    void ComputeAlignedPos(const CSlideShow* show, int hAlign, int vAlign, int* x, int* y) const;
    void GetRotatedImageSize(int* w, int* h) const;
    int GetWidthTwips() const;
    int GetHeightTwips() const;
    int GetLeftTwips() const;
    int GetTopTwips() const;
    uint32_t GetTotalDuration() const;

    // Checked setters: false and unchanged when out of range.
    // Checked setters show their numbered message when asked.
    bool SetWidth(int v, bool showMessage = false, WindowRef parent = nullptr);
    bool SetHeight(int v, bool showMessage = false, WindowRef parent = nullptr);
    bool SetSize(int w, int h);
    bool SetX(long v, bool showMessage = false, WindowRef parent = nullptr);
    bool SetY(long v, bool showMessage = false, WindowRef parent = nullptr);
    bool SetQuality(int v, bool showMessage = false, WindowRef parent = nullptr);
    bool SetDuration(uint32_t v, bool showMessage = false, WindowRef parent = nullptr);

    void SetHAlign(int v) { h_align_ = v; }
    void SetVAlign(int v) { v_align_ = v; }
    void SetImageType(int v) { image_type_ = v; }
    void SetPauseAfter(bool v) { pause_after_ = v; }
    void SetClickType(int v) { click_type_ = v; }
    void SetClickTarget(const std::string& v) { click_target_ = v; }
    void SetClickUrl(const std::string& v) { click_url_ = v; }
    void SetClickEnabled(bool v) { click_enable_ = v; }
    void SetClickPopup(bool v) { click_popup_ = v; }
    void SetClickOption(bool v) { url_from_variable_ = v; }
    void SetJumpTo(int v) { jump_to_ = v; }
    void SetLoadUrlOnDisplay(bool v) { load_url_on_display_ = v; }
    void SetOnDisplayLoadUrl(const std::string& v) { on_display_load_url_ = v; }
    void SetOnDisplayLoadTarget(const std::string& v) { on_display_load_target_ = v; }
    void SetScaleToFit(bool v) { scale_to_fit_ = v; }
    void SetKeepAspectRatio(bool v) { keep_aspect_ratio_ = v; }
    void SetAutoAlign(bool v);
    void SetSelected(bool v) { selected_ = v; }
    void SetSrc(const CPath& p) { src_ = p; }
    // The picture file was missing when the show was read: the slide is
    // kept as the file has it, and the movie leaves it out.
    void SetPictureMissing(bool missing) { picture_missing_ = missing; }
    bool IsPictureMissing() const { return picture_missing_; }
    // Where the slide's element, and the click_actions that gave its jump,
    // stood in the project file.
    const CFilePlace& GetPlace() const { return place_; }
    const CFilePlace& GetClickPlace() const { return click_place_; }
    void SetShow(CSlideShow* show) { show_ = show; }

    // Owned parts.
    bool SetTransitionIn(std::unique_ptr<CTransition> t);
    bool SetSwfFx(std::unique_ptr<COverlayEffect> fx);
    int InsertCameraFx(std::unique_ptr<CCameraFx> fx, int index);
    bool RemoveCameraFx(int index);
    CCameraFx* GetCameraFx(int index) const;
    int GetCameraFxCount() const { return static_cast<int>(pan_zoom_.size()); }
    bool AddFilter(std::unique_ptr<CImageFilter> filter);
    void ClearFilters();
    int GetFilterCount() const { return static_cast<int>(image_filters_.size()); }
    const CImageFilter* GetFilter(int i) const;
    CImageFilter* GetFilter(int i) { return const_cast<CImageFilter*>(std::as_const(*this).GetFilter(i)); }
    bool AddCaption(std::unique_ptr<CCaption> caption);

    // Picture edits.
    bool SetCropRect(SlideRect r);
    void SetCrop(bool on);
    void FlipVertical(bool adjustCrop);
    void FlipHorizontal(bool adjustCrop);
    void Rotate(int degrees, bool adjustCrop);
    void SetRotation(int degrees);
    void SetFlipVerticalFlag(bool on);
    void SetFlipHorizontalFlag(bool on);
    void RotateCorners(int degrees);
    // Rewrites the edits as at most one flip followed by one rotation.
    void NormalizeOrientation();
    void ResetImageEdits();

    bool ReadXml(const CXMLNode& element, const CReadContext* context = nullptr);
    bool WriteXml(CXMLOutputFile& out);

    // The edited picture at picture size (24-bit), made from the file on
    // first use and kept until an edit changes it; a blank slide's is
    // 64 × 64 black. Null when the file cannot be decoded.
    const CImage* GetWorkingPicture();
    // The working picture scaled to w × h into out (24-bit); false when it
    // cannot be made.
    bool CopyPictureToImage(CImage& out, int w, int h);
    // Draws the slide into dest of port: the whole working picture or, with
    // useCrop, its crop; with fit, centred at its own aspect.
    void DrawThumbnail(GWorldPtr port, const Rect* dest, bool fit, bool useCrop);

    int GetType() const { return type_; }
    const CPath& GetSrc() const { return src_; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    int GetX() const { return x_; }
    int GetY() const { return y_; }
    int GetImageWidth() const { return image_width_; }
    int GetImageHeight() const { return image_height_; }
    int GetPictureWidth() const { return picture_width_; }
    int GetPictureHeight() const { return picture_height_; }
    int GetQuality() const { return quality_; }
    uint32_t GetDuration() const { return duration_; }
    int GetImageType() const { return image_type_; }
    int GetHAlign() const { return h_align_; }
    int GetVAlign() const { return v_align_; }
    bool GetAutoAlign() const { return auto_align_; }
    bool GetScaleToFit() const { return scale_to_fit_; }
    bool GetKeepAspectRatio() const { return keep_aspect_ratio_; }
    bool GetCrop() const { return crop_; }
    SlideRect GetCropRect() const { return crop_rect_; }
    bool GetFlipVertical() const { return flip_vertical_; }
    bool GetFlipHorizontal() const { return flip_horizontal_; }
    int GetRotate() const { return rotate_; }
    const uint8_t* GetCornerOrder() const { return corners_; }
    int GetClickType() const { return click_type_; }
    int GetJumpTo() const { return jump_to_; }
    const std::string& GetClickTarget() const { return click_target_; }
    const std::string& GetClickUrl() const { return click_url_; }
    bool GetClickEnabled() const { return click_enable_; }
    bool GetClickPopup() const { return click_popup_; }
    bool GetClickOption() const { return url_from_variable_; }
    bool GetPauseAfter() const { return pause_after_; }
    bool GetLoadUrlOnDisplay() const { return load_url_on_display_; }
    const std::string& GetOnDisplayLoadUrl() const { return on_display_load_url_; }
    const std::string& GetOnDisplayLoadTarget() const { return on_display_load_target_; }
    bool IsSelected() const { return selected_; }
    bool GetAdjustBitmapShift() const { return adjust_bitmap_shift_; }
    void SetAdjustBitmapShift(bool on) { adjust_bitmap_shift_ = on; }
    const CTransition& GetTransitionIn() const { return *transition_in_; }
    const COverlayEffect& GetSwfFx() const { return *swf_fx_; }
    COverlayEffect& GetSwfFx() { return *swf_fx_; }
    CTransition& GetTransitionIn() { return *transition_in_; }
    CCaptionList& GetCaptions() { return captions_; }
    const CCaptionList& GetCaptions() const { return captions_; }
    CSoundList& GetSounds() { return sounds_; }
    const CSoundList& GetSounds() const { return sounds_; }
    CPopupSettings& GetPopup() { return popup_; }
    CSlideShow* GetShow() const { return show_; }
    CameraPlacement& GetCameraPlacement() { return camera_; }
    const CameraPlacement& GetCameraPlacement() const { return camera_; }
    uint16_t GetDepth() const { return depth_; }
    void SetDepth(uint16_t d) { depth_ = d; }
    ExportState& GetExportState() { return export_; }
    const ExportState& GetExportState() const { return export_; }
    uint16_t GetCharacterId() const { return export_.characterId; }
    void SetCharacterId(uint16_t id) { export_.characterId = id; }
    uint16_t GetBitmapId() const { return export_.bitmapId; }
    // Camera placement: centre 0, 0 and scale 1.0.
    void ResetTransform() { camera_ = CameraPlacement(); }
    // A rectangle of the display size centred on the origin, filled with the
    // slide's bitmap; defined with the next id, which it returns (0 when the
    // ids have run out).
    uint16_t BuildBitmapShape(CSwfMovie* movie, uint16_t* ids);

private:
    void SwapDisplayAndPictureSizes();
    void DropWorkingPicture() { working_.reset(); }
    void ApplyExifOrientation(const CPath& path);

    CPath src_;
    CCaptionList captions_;
    CSoundList sounds_;
    CPopupSettings popup_;
    uint32_t duration_ = 2000;
    int image_width_ = 0, image_height_ = 0;
    int picture_width_ = 0, picture_height_ = 0;
    int quality_ = 80;
    int width_ = 0, height_ = 0;
    int x_ = 0, y_ = 0;
    SlideRect crop_rect_;
    int image_type_ = kJpeg;
    int h_align_ = 1, v_align_ = 1;
    bool auto_align_ = true;
    uint16_t depth_ = 0;
    bool scale_to_fit_ = true;
    bool keep_aspect_ratio_ = true;
    std::vector<std::unique_ptr<CCameraFx>> pan_zoom_;
    std::unique_ptr<CTransition> transition_in_;
    std::unique_ptr<COverlayEffect> swf_fx_;
    CSlideShow* show_;
    std::vector<std::unique_ptr<CImageFilter>> image_filters_;
    CameraPlacement camera_;
    int click_type_ = kGetUrl;
    int jump_to_ = 1;
    std::string click_target_ = "_self";
    std::string click_url_ = "http://";
    bool click_enable_ = false;
    bool click_popup_ = false;
    bool pause_after_ = false;
    bool load_url_on_display_ = false;
    std::string on_display_load_url_ = "http://";
    std::string on_display_load_target_ = "_blank";
    bool url_from_variable_ = false;
    bool crop_ = false;
    bool flip_vertical_ = false, flip_horizontal_ = false;
    int rotate_ = 0;
    bool selected_ = false;
    bool adjust_bitmap_shift_ = false;
    bool picture_missing_ = false;
    CFilePlace place_;
    CFilePlace click_place_;
    int type_;
    uint8_t corners_[4] = {1, 2, 3, 4};
    std::unique_ptr<CImage> working_;
    ExportState export_;
};

// Process-wide batching of the slide-changed signal.
Signal& SlideChangedSignal();
void BeginSlideChanges();
void NoteSlideChange();
void EndSlideChanges(CSlide* slide, bool notify);

// The pixel size of a JPEG, PNG, GIF or BMP file from its header alone.
bool ReadImageSize(const CPath& path, int* width, int* height);
