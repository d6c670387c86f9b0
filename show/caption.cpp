#include "show/caption.h"

#include <strings.h>

#include <cstdint>
#include <cstdio>

#include "show/slide.h"
#include "show/slide_show.h"
#include "swf/text.h"

namespace {

constexpr const char* kTypeWords[] = {"tvr", "lfx"};
constexpr const char* kHAlignWords[] = {"left", "center", "right"};
constexpr const char* kVAlignWords[] = {"top", "center", "bottom"};

}  // namespace

CCaption::CCaption(int type) : type_(type)
{
    fontName_ = font_.GetName();
    Init();
}

void CCaption::Init()
{
    x_ = y_ = 0;
    owner_ = nullptr;
    text_.clear();
    show_till_next_ = true;
    start_time_ = 0;
    align_to_doc_ = true;
    h_align_ = 0;
    color_ = 0xFFFFFF;
    v_align_ = 0;
    leading_ = tracking_ = 0;
    alpha_ = 255;
    duration_ = 1000;
    effect_ = "None";
    font_.SetSize(32);
}

bool CCaption::SetAlpha(int v, bool showMessage, WindowRef parent)
{
    if (!CheckRange(v, 0, kMaxAlpha, showMessage, parent, 505)) return false;
    alpha_ = v;
    return true;
}

bool CCaption::SetX(int v, bool showMessage, WindowRef parent)
{
    if (!CheckRange(v, -kMaxOffset, kMaxOffset, showMessage, parent, 506)) return false;
    x_ = v;
    return true;
}

bool CCaption::SetY(int v, bool showMessage, WindowRef parent)
{
    if (!CheckRange(v, -kMaxOffset, kMaxOffset, showMessage, parent, 507)) return false;
    y_ = v;
    return true;
}

bool CCaption::SetLeading(int v, bool showMessage, WindowRef parent)
{
    if (!CheckRange(v, -kMaxOffset, kMaxOffset, showMessage, parent, 508)) return false;
    leading_ = v;
    return true;
}

bool CCaption::SetTracking(int v, bool showMessage, WindowRef parent)
{
    if (!CheckRange(v, -kMaxOffset, kMaxOffset, showMessage, parent, 509)) return false;
    tracking_ = v;
    return true;
}

bool CCaption::SetStartTime(uint32_t v, bool showMessage, WindowRef parent)
{
    if (!CheckTime(v, showMessage, parent, 510)) return false;
    start_time_ = v;
    return true;
}

bool CCaption::SetDuration(uint32_t v, bool showMessage, WindowRef parent)
{
    if (!CheckTime(v, showMessage, parent, 511)) return false;
    duration_ = v;
    return true;
}

void CCaption::SetFont(const CFont& font)
{
    font_.Assign(font);
    fontName_ = font.GetName();
}

void CCaption::SetFontName(const std::string& name)
{
    fontName_ = name;
    font_.SetName(name.c_str());
}

void CCaption::AlignToShow(const CSlideShow& show)
{
    if (!align_to_doc_) return;
    int w = static_cast<int>(show.GetWidth()), h = static_cast<int>(show.GetHeight());
    if (h_align_ == 0)
        x_ = 0;
    else if (h_align_ == 1)
        x_ = w / 2;
    else if (h_align_ == 2)
        x_ = w;
    if (v_align_ == 0)
        y_ = 0;
    else if (v_align_ == 1)
        y_ = h / 2;
    else if (v_align_ == 2)
        y_ = h;
}

std::string FormatTimeText(uint32_t t)
{
    char text[32];
    unsigned cs = (t % 1000) / 10;
    if (t == 0)
        std::snprintf(text, sizeof text, "00:00.00");
    else if (t <= 999)
        std::snprintf(text, sizeof text, "00:00.%02u", t / 10);
    else if (t <= 59999)
        std::snprintf(text, sizeof text, "00:%02u.%02u", t / 1000, cs);
    else
        std::snprintf(text, sizeof text, "%02u:%02u.%02u", t / 60000, (t % 60000) / 1000, cs);
    return text;
}

std::string CCaption::FormatStartTime() const
{
    return FormatTimeText(start_time_);
}

std::string ExpandFilenameVar(const CCaption& caption)
{
    const std::string& text = caption.GetText();
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            out += text[i++];
        } else if (text.size() - i >= 9 && strncasecmp(text.c_str() + i, "%filename", 9) == 0) {
            if (caption.GetOwner()) out += caption.GetOwner()->GetSrc().GetFileName(true);
            i += 9;
        } else if (i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            i += 2;
        } else {
            ++i;
        }
    }
    return out;
}

int CCaption::GetEffectCode() const
{
    for (size_t i = 0; i < std::size(kEffectNames); ++i)
        if (EqualsNoCase(effect_, kEffectNames[i])) return int(i);
    return 0;
}

bool CCaption::ReadXml(const CXMLNode& element, const CReadContext* context)
{
    CElementReader r(element, context);
    place_ = r.Place();
    if (!r.HasAttributes()) return true;
    std::string text;
    // Line feeds break caption lines: they are kept, unlike other texts.
    // The older forms ("text", "font_name") are read only when the newer
    // are missing; beside them they are known and pass unsaid.
    if (r.TextKeepingLineFeeds("txt", &text))
        SetText(text.c_str());
    else if (r.Base64("text", &text))
        SetText(text.c_str());
    r.Skip("text");
    int type = kTvr;
    r.Word("type", kTypeWords, false, &type);
    type_ = type;
    CPath path;
    if (r.Path("import_src", &path)) import_src_ = path;
    std::string name;
    if (r.Text("fnt_name", &name) || r.Base64("font_name", &name)) SetFontName(name.c_str());
    r.Skip("font_name");
    long v;
    bool flag;
    // A size of 0 or less is kept as the file has it; such a caption draws
    // nothing, so the movie gets no clip for it. A size larger than the
    // movie's text holds is refused.
    if (r.Int("font_size", &v)) {
        if (v > kMaxTextSize) {
            r.OutOfRange("font_size", 1, kMaxTextSize, font_.GetSize());
        } else {
            font_.SetSize(static_cast<int>(std::max<long>(v, INT32_MIN)));
            if (v <= 0) r.Refused("font_size", "no text of this size", "the caption is left out of the movie", true);
        }
    }
    if (r.Bool("font_italic", &flag)) font_.SetItalic(flag);
    if (r.Bool("font_bold", &flag)) font_.SetBold(flag);
    std::string record;
    if (r.Base64("font", &record) && !record.empty()) {
        size_t n = std::min<size_t>(record.size(), CFont::kFontRecordSize);
        const int size = font_.GetSize();
        if (!font_.FromFontRecord(nullptr, reinterpret_cast<const uint8_t*>(record.data()), n)) {
            r.Refused("font", FontRecordRefusal(size).c_str());
        } else if (!IsTextSizeHeld(font_.GetSize())) {
            // A damaged record: its size would overflow every measure made of it.
            font_.SetSize(size);
            r.Refused("font", FontSizeRefusal(size).c_str());
        }
    }
    r.Colour("color", &color_);
    auto checked = [&](const char* attr, bool (CCaption::*setter)(int, bool, WindowRef), int low, int high,
                       const int& field) {
        long value;
        if (r.Int(attr, &value) &&
            !(this->*setter)(static_cast<int>(std::clamp<long>(value, INT32_MIN, INT32_MAX)), false, nullptr))
            r.OutOfRange(attr, low, high, field);
    };
    checked("alpha", &CCaption::SetAlpha, 0, kMaxAlpha, alpha_);
    checked("x", &CCaption::SetX, -kMaxOffset, kMaxOffset, x_);
    checked("y", &CCaption::SetY, -kMaxOffset, kMaxOffset, y_);
    r.Word("h_align", kHAlignWords, false, &h_align_);
    r.Word("v_align", kVAlignWords, false, &v_align_);
    r.Bool("align_to_doc", &align_to_doc_);
    checked("tracking", &CCaption::SetTracking, -kMaxOffset, kMaxOffset, tracking_);
    checked("leading", &CCaption::SetLeading, -kMaxOffset, kMaxOffset, leading_);
    // Times are unsigned: a negative number is refused like a huge one.
    auto time = [&](const char* attr, bool (CCaption::*setter)(uint32_t, bool, WindowRef), const uint32_t& field) {
        long value;
        if (r.Int(attr, &value) &&
            (value < 0 || value > UINT32_MAX || !(this->*setter)(uint32_t(value), false, nullptr)))
            r.OutOfRange(attr, 0, kMaxTime, field);
    };
    time("start_time", &CCaption::SetStartTime, start_time_);
    time("duration", &CCaption::SetDuration, duration_);
    r.Bool("show_till_next", &show_till_next_);
    if (r.Text("effect", &text)) {
        effect_ = text;
        if (GetEffectCode() == 0 && !EqualsNoCase(text, kEffectNames[0]))
            r.Issue("effect", text, "unknown effect: the caption comes in as \"None\"");
    }
    return true;
}

bool CCaption::WriteXml(CXMLOutputFile& out) const
{
    out.Write("<caption");
    CAttrWriter w(out);
    w.Word("type", kTypeWords, type_)
        .Path("import_src", import_src_)
        .Text("txt", text_)
        .Text("fnt_name", fontName_)
        .Int("font_size", font_.GetSize())
        .Bool("font_italic", font_.IsItalic())
        .Bool("font_bold", font_.IsBold())
        .UInt("color", color_)
        .Int("alpha", alpha_)
        .Int("x", x_)
        .Int("y", y_)
        .Word("h_align", kHAlignWords, h_align_)
        .Word("v_align", kVAlignWords, v_align_)
        .Bool("align_to_doc", align_to_doc_)
        .Int("tracking", tracking_)
        .Int("leading", leading_)
        .UInt("start_time", start_time_)
        .UInt("duration", duration_)
        .Bool("show_till_next", show_till_next_)
        // Escaped: the effect names are plain words, and any other text
        // read from a file must not break the file it is written into.
        .Text("effect", effect_);
    out.Write(" />\n");
    return true;
}

bool CCaptionList::Add(std::unique_ptr<CCaption> caption)
{
    if (!caption) return false;
    caption->SetOwner(owner_);
    captions_.push_back(std::move(caption));
    return true;
}

bool CCaptionList::Remove(int index)
{
    if (index < 0 || index >= GetCount()) return false;
    captions_.erase(captions_.begin() + index);
    return true;
}

CCaption* CCaptionList::Get(int index) const
{
    return index < 0 || index >= GetCount() ? nullptr : captions_[index].get();
}

void CCaptionList::Assign(const CCaptionList& other)
{
    for (const auto& c : other.captions_) captions_.push_back(std::make_unique<CCaption>(*c));
    owner_ = other.owner_;
}

void CCaptionList::ApplyToAll(const CSlideShow& show)
{
    for (auto& c : captions_) c->AlignToShow(show);
}

bool CCaptionList::ReadXml(const CXMLNode& element, const CReadContext* context)
{
    ReadChildElements(element, [&](const CXMLNode& child, const std::string& name) {
        if (name != "caption") return false;
        auto caption = std::make_unique<CCaption>(CCaption::kTvr);
        CCaption* c = caption.get();
        Add(std::move(caption));
        c->ReadXml(child, context);
        return true;
    });
    return true;
}

bool CCaptionList::WriteXml(CXMLOutputFile& out) const
{
    out.Write("<caption_data>\n");
    for (const auto& c : captions_) c->WriteXml(out);
    out.Write("</caption_data>\n");
    return true;
}
