#pragma once
// Settings of the movie as a whole: start, loop, click and end actions and
// the preloader; stored as the element "swf_data".
#include <string>

#include "foundation/path.h"
#include "show/xml_io.h"
#include "ui/font.h"

class CMovieSettings {
public:
    CMovieSettings();
    void Reset();
    // Any start, end or loop action, or a click or end action turned on.
    bool HasActions() const;

    void SetStartAction(int v) { start_action = v; }
    void SetPauseTime(int v) { pause_time = v; }
    void SetLoopMode(int v) { loop_mode = v; }
    void SetLoopCount(int v) { loop_count = v; }
    void SetEndAction(int v) { end_action = v; }
    void SetClickAction(int v) { click_action = v; }
    void SetPreloadType(int v) { preload_type = v; }
    void SetPreloadAmount(int v) { preload_amount = v; }
    void SetPreloadTextColor(uint32_t v) { preload_text_color = v; }
    void SetPreloadCreator(int v) { preload_creator = v; }
    void SetPreload(bool v) { preload = v; }
    void SetClickEnabled(bool v) { click_enabled = v; }
    void SetEndEnabled(bool v) { end_enabled = v; }
    void SetPreloadText(const char* t) { preload_text = t ? t : ""; }
    void SetClickTarget(const char* t) { click_target = t ? t : ""; }
    void SetClickUrl(const char* t) { click_url = t ? t : ""; }
    void SetEndTarget(const char* t) { end_target = t ? t : ""; }
    void SetEndUrl(const char* t) { end_url = t ? t : ""; }
    void SetPreloadFont(const CFont& font);
    // Kept as given even when no installed family has it.
    void SetPreloadFontName(const std::string& name);
    void SetPreloadImportSrc(const CPath& p) { preload_import_src = p; }

    bool ReadXml(const CXMLNode& element, const CReadContext* context = nullptr);
    // Where the "swf_data" element whose attributes were taken stood in
    // the project file.
    const CFilePlace& GetPlace() const { return place_; }
    bool WriteXml(CXMLOutputFile& out) const;

    int start_action = 0;  // 0 play automatically, 1 after a pause, 2 stop on the first frame
    int pause_time = 0;
    int loop_mode = 0;  // 0 none, 1 times, 2 forever
    int loop_count = 1;
    int end_action = 0;    // 0 get URL, 1 load movie, 2 unload movie
    int click_action = 0;  // 0 get URL, 1 load movie
    int preload_type = 0;  // 0 simple, 1 smart
    int preload_amount = 100;
    std::string click_target = "_self";
    std::string click_url = "http://";
    std::string end_target = "_self";
    std::string end_url = "http://";
    std::string preload_text = "Loading...";
    uint32_t preload_text_color = 0xFFFFFF;
    CFont preload_font;
    // Empty until a name is given: then the system font's, looked up when
    // PreloadFontName() is first asked.
    mutable std::string preload_font_name;
    const std::string& PreloadFontName() const;
    CPath preload_import_src;
    int preload_creator = 0;  // 0 our own preloader ("tvr"), else the lock bundle's ("rwp")
    bool preload = false;
    bool click_enabled = false;
    bool end_enabled = false;

private:
    mutable bool preloadFontNamed_ = false;
    CFilePlace place_;
};
