#include "show/movie_settings.h"

namespace {

constexpr const char* kStartWords[] = {"play_automatically", "play_after_pause", "stop_on_first_frame"};
constexpr const char* kLoopWords[] = {"none", "times", "forever"};
constexpr const char* kPreloadTypeWords[] = {"simple", "smart"};
constexpr const char* kCreatorWords[] = {"tvr", "rwp"};
constexpr const char* kClickWords[] = {"get_url", "load_movie"};
constexpr const char* kEndWords[] = {"get_url", "load_movie", "unload_movie"};

}  // namespace

CMovieSettings::CMovieSettings()
{
    Reset();
}

const std::string& CMovieSettings::PreloadFontName() const
{
    if (!preloadFontNamed_ && preload_font_name.empty()) {
        preload_font_name = preload_font.GetName();
        preloadFontNamed_ = true;
    }
    return preload_font_name;
}

void CMovieSettings::Reset()
{
    start_action = 0;
    pause_time = 0;
    loop_mode = 0;
    loop_count = 1;
    end_action = 0;
    click_action = 0;
    preload_type = 0;
    preload_amount = 100;
    click_target = "_self";
    click_url = "http://";
    end_target = "_self";
    end_url = "http://";
    preload_text = "Loading...";
    preload_text_color = 0xFFFFFF;
    preload_font.SetSize(12);
    preload_import_src = CPath();
    preload_creator = 0;
    preload = false;
    click_enabled = false;
    end_enabled = false;
    place_ = {};
}

bool CMovieSettings::HasActions() const
{
    return start_action != 0 || end_action != 0 || loop_mode != 0 || click_enabled || end_enabled;
}

void CMovieSettings::SetPreloadFont(const CFont& font)
{
    preload_font.Assign(font);
    preload_font_name = font.GetName();
    preloadFontNamed_ = true;
}

void CMovieSettings::SetPreloadFontName(const std::string& name)
{
    preload_font_name = name;
    preloadFontNamed_ = true;
    preload_font.SetName(name.c_str());
}

bool CMovieSettings::ReadXml(const CXMLNode& element, const CReadContext* context)
{
    CElementReader r(element, context);
    if (!r.HasAttributes()) {
        // Without attributes the element is not read, what it holds neither.
        bool holds = false;
        ForEachChildElement(element, [&](const CXMLNode&, const std::string&) { holds = true; });
        if (holds) r.Issue("", "", "no attributes: the elements inside are not read");
        element.MarkRead(true);
        return true;
    }
    place_ = r.Place();
    r.Word("movie_start_action", kStartWords, true, &start_action);
    r.NumberIn("pause_time", &pause_time);
    r.NumberIn("preload_amount", &preload_amount);
    r.Colour("preload_text_color", &preload_text_color);
    r.NumberIn("loop_count", &loop_count);
    r.Bool("preload", &preload);
    std::string text;
    int creator = preload_creator == 0 ? 0 : 1;
    if (r.Word("preload_creator", kCreatorWords, true, &creator)) preload_creator = creator;
    CPath path;
    if (r.Path("preload_import_src", &path)) preload_import_src = path;
    r.Text("preload_text", &preload_text);
    // The older "font_name" is read only without "preload_font_name".
    if (r.Base64("preload_font_name", &text) || r.Base64("font_name", &text)) SetPreloadFontName(text.c_str());
    r.Skip("font_name");
    std::string record;
    if (r.Base64("preload_font", &record)) {
        const int size = preload_font.GetSize();
        if (!preload_font.FromFontRecord(nullptr, reinterpret_cast<const uint8_t*>(record.data()),
                                         std::min(record.size(), CFont::kFontRecordSize))) {
            r.Refused("preload_font", FontRecordRefusal(size).c_str());
        } else if (!IsTextSizeHeld(preload_font.GetSize())) {
            // A damaged record: its size would overflow every measure made of it.
            preload_font.SetSize(size);
            r.Refused("preload_font", FontSizeRefusal(size).c_str());
        }
    }
    r.Word("preload_type", kPreloadTypeWords, true, &preload_type);
    r.Word("loop", kLoopWords, true, &loop_mode);

    ReadChildElements(element, [&](const CXMLNode& child, const std::string& name) {
        auto action = [&](bool* enabled, WordTable words, int* code, std::string* url, std::string* target) {
            CElementReader c(child, context);
            c.Bool("enable", enabled);
            c.Word("action", words, true, code);
            c.Text("url", url);
            c.Text("target", target);
            return true;
        };
        if (EqualsNoCase(name, "mouse_click_action"))
            return action(&click_enabled, kClickWords, &click_action, &click_url, &click_target);
        if (EqualsNoCase(name, "movie_end_action"))
            return action(&end_enabled, kEndWords, &end_action, &end_url, &end_target);
        return false;
    });
    return true;
}

bool CMovieSettings::WriteXml(CXMLOutputFile& out) const
{
    uint8_t record[CFont::kFontRecordSize];
    preload_font.ToFontRecord(record);
    out.Write("<swf_data");
    CAttrWriter w(out);
    w.Word("movie_start_action", kStartWords, start_action)
        .Int("pause_time", pause_time)
        .Bool("preload", preload)
        .Word("preload_creator", kCreatorWords, preload_creator == 0 ? 0 : 1)
        .Path("preload_import_src", preload_import_src)
        .Int("preload_amount", preload_amount)
        .Text("preload_text", preload_text)
        .UInt("preload_text_color", preload_text_color)
        .Base64("preload_font_name", PreloadFontName().data(), PreloadFontName().size())
        .Base64("preload_font", record, sizeof record);
    if (preload_type == 0 || preload_type == 1) w.Word("preload_type", kPreloadTypeWords, preload_type);
    w.Word("loop", kLoopWords, loop_mode).Int("loop_count", loop_count);
    out.Write(">\n");
    auto action = [&](const char* name, bool enabled, WordTable words, int code, const std::string& url,
                      const std::string& target) {
        out.Write("<").Write(name);
        CAttrWriter(out).Bool("enable", enabled).Word("action", words, code).Text("url", url).Text("target", target);
        out.Write(" />\n");
    };
    action("mouse_click_action", click_enabled, kClickWords, click_action, click_url, click_target);
    action("movie_end_action", end_enabled, kEndWords, end_action, end_url, end_target);
    out.Write("</swf_data>\n");
    return true;
}
