#pragma once
// Captions: text laid over a slide or over the whole show for a time, and
// the lists that own them.
#include <memory>
#include <string>
#include <vector>

#include "foundation/path.h"
#include "show/range_message.h"
#include "show/xml_io.h"
#include "ui/font.h"

class CSlide;
class CSlideShow;

class CCaption {
public:
    enum Type { kTvr = 0, kLfx = 1 };

    explicit CCaption(int type = kTvr);
    CCaption(const CCaption& other) = default;
    CCaption& operator=(const CCaption& other) = default;

    void Init();

    // Checked setters: a value out of range is refused (false, unchanged)
    // with its numbered message when asked. Alpha runs from 0 to kMaxAlpha;
    // x, y, leading and tracking from -kMaxOffset to kMaxOffset; times
    // from 0 to kMaxTime.
    static constexpr int kMaxAlpha = 255, kMaxOffset = 5000;
    bool SetAlpha(int alpha, bool showMessage = false, WindowRef parent = nullptr);
    bool SetX(int x, bool showMessage = false, WindowRef parent = nullptr);
    bool SetY(int y, bool showMessage = false, WindowRef parent = nullptr);
    bool SetLeading(int leading, bool showMessage = false, WindowRef parent = nullptr);
    bool SetTracking(int tracking, bool showMessage = false, WindowRef parent = nullptr);
    bool SetStartTime(uint32_t ms, bool showMessage = false, WindowRef parent = nullptr);
    bool SetDuration(uint32_t ms, bool showMessage = false, WindowRef parent = nullptr);

    void SetText(const char* text) { text_ = text ? text : ""; }
    // Any text is kept; the movie knows the names of kEffectNames.
    void SetEffect(const char* effect) { effect_ = effect ? effect : ""; }
    // The entrance effects by code, "None" 0; names match in any case.
    static constexpr const char* kEffectNames[] = {"None",          "Fade In",      "Fly From Right",
                                                   "Fly From Left", "Fly From Top", "Fly From Bottom"};
    // The code of the effect's name; 0 ("None") for a name not in the list.
    int GetEffectCode() const;
    void SetFont(const CFont& font);
    // The family name as the file gave it, kept even when no installed
    // family has it, so that saving does not lose it.
    void SetFontName(const std::string& name);
    void SetImportSrc(const CPath& path) { import_src_ = path; }
    void SetAlignToDoc(bool on) { align_to_doc_ = on; }
    void SetHAlign(int a) { h_align_ = a; }
    void SetVAlign(int a) { v_align_ = a; }
    void SetShowTillNext(bool on) { show_till_next_ = on; }
    void SetOwner(CSlide* slide) { owner_ = slide; }
    void SetColor(uint32_t c) { color_ = c; }
    void SetType(int t) { type_ = t; }

    int GetX() const { return x_; }
    int GetY() const { return y_; }
    const std::string& GetText() const { return text_; }
    const std::string& GetEffect() const { return effect_; }
    CSlide* GetOwner() const { return owner_; }
    const CFont& GetFont() const { return font_; }
    const std::string& GetFontName() const { return fontName_; }
    uint32_t GetColor() const { return color_; }
    int GetAlpha() const { return alpha_; }
    int GetType() const { return type_; }
    const CPath& GetImportSrc() const { return import_src_; }
    bool GetAlignToDoc() const { return align_to_doc_; }
    int GetHAlign() const { return h_align_; }
    int GetVAlign() const { return v_align_; }
    int GetLeading() const { return leading_; }
    int GetTracking() const { return tracking_; }
    uint32_t GetStartTime() const { return start_time_; }
    uint32_t GetDuration() const { return duration_; }
    bool GetShowTillNext() const { return show_till_next_; }
    // Where the caption's element stood in the project file.
    const CFilePlace& GetPlace() const { return place_; }

    void AlignToShow(const CSlideShow& show);
    // start_time as "mm:ss.hh".
    std::string FormatStartTime() const;

    bool ReadXml(const CXMLNode& element, const CReadContext* context);
    bool WriteXml(CXMLOutputFile& out) const;

private:
    int x_ = 0;
    int y_ = 0;
    std::string text_;
    std::string effect_ = "None";
    CSlide* owner_ = nullptr;
    CFont font_;
    std::string fontName_;
    uint32_t color_ = 0xFFFFFF;
    int alpha_ = 255;
    int type_ = kTvr;
    CPath import_src_;
    bool align_to_doc_ = true;
    int h_align_ = 0;
    int v_align_ = 0;
    int leading_ = 0;
    int tracking_ = 0;
    uint32_t start_time_ = 0;
    uint32_t duration_ = 1000;
    bool show_till_next_ = true;
    CFilePlace place_;
};

// The text with "%filename" replaced by the owner slide's file name
// without extension, "%%" by "%" and any other "%" dropped.
std::string ExpandFilenameVar(const CCaption& caption);

// Time text of milliseconds: "00:00.00", "00:ss.hh", "mm:ss.hh".
std::string FormatTimeText(uint32_t ms);

class CCaptionList {
public:
    CCaptionList() = default;
    CCaptionList(const CCaptionList&) = delete;
    CCaptionList& operator=(const CCaptionList&) = delete;

    void Clear() { captions_.clear(); }
    void SetOwner(CSlide* slide) { owner_ = slide; }
    CSlide* GetOwner() const { return owner_; }
    bool Add(std::unique_ptr<CCaption> caption);
    bool Remove(int index);
    CCaption* Get(int index) const;
    int GetCount() const { return static_cast<int>(captions_.size()); }
    bool HasCaptions() const { return !captions_.empty(); }
    // Appends copies of the other's captions (each keeps its owner), then
    // takes the other's owner.
    void Assign(const CCaptionList& other);
    void ApplyToAll(const CSlideShow& show);

    bool ReadXml(const CXMLNode& element, const CReadContext* context = nullptr);
    bool WriteXml(CXMLOutputFile& out) const;

private:
    CSlide* owner_ = nullptr;
    std::vector<std::unique_ptr<CCaption>> captions_;
};
