#include "tools/project_doc.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>

#include "media/image_filter.h"
#include "media/image_filters.h"
#include "platform/toolbox_controls.h"
#include "platform/toolbox_menus.h"
#include "platform/toolbox_windows.h"
#include "show/caption.h"
#include "show/movie_settings.h"
#include "show/overlay_effect.h"
#include "show/slide.h"
#include "show/slide_show.h"
#include "show/transition.h"
#include "ui/dialog_window.h"

namespace projectdoc {
namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

// What a writer writes, as text.
std::string Written(const std::function<void(CXMLOutputFile&)>& write)
{
    std::string name = (std::filesystem::temp_directory_path() / "tavrel-doc-XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd < 0) return "";
    close(fd);
    {
        CXMLOutputFile out;
        if (out.Open(CPath(name.c_str()))) {
            write(out);
            out.Close();
        }
    }
    std::string text;
    ReadFileText(CPath(name.c_str()), &text);
    unlink(name.c_str());
    return text;
}

// The attributes of the first start tag of element in text, in order.
Attributes AttributesOf(const std::string& text, const std::string& element)
{
    Attributes out;
    size_t at = text.find("<" + element + " ");
    if (at == std::string::npos) return out;
    const std::string tag = text.substr(at, text.find('>', at) - at);
    static const std::regex kAttribute(R"re( ([A-Za-z_0-9]+)="([^"]*)")re");
    for (std::sregex_iterator i(tag.begin(), tag.end(), kAttribute), end; i != end; ++i)
        out.emplace_back((*i)[1].str(), (*i)[2].str());
    return out;
}

std::string ValueOf(const Attributes& attributes, const std::string& name)
{
    for (const auto& [n, v] : attributes)
        if (n == name) return v;
    return "";
}

std::string Code(const std::string& text)
{
    return "`" + text + "`";
}

// The words an attribute takes: the writer's word for each code from 0 on,
// until it writes none.
std::vector<std::string> WordsOf(const std::function<void(int)>& set, const std::function<std::string()>& write,
                                 const std::string& element, const std::string& attribute)
{
    std::vector<std::string> words;
    for (int code = 0; code < 64; ++code) {
        set(code);
        std::string word = ValueOf(AttributesOf(write(), element), attribute);
        if (word.empty() || std::find(words.begin(), words.end(), word) != words.end()) break;
        words.push_back(word);
    }
    return words;
}

std::string Joined(const std::vector<std::string>& words)
{
    std::string out;
    for (const auto& w : words) out += (out.empty() ? "" : ", ") + Code(w);
    return out;
}

// ---------------------------------------------------------------- transitions

struct Word {
    std::string word, item;
};

struct Setting {
    std::string attribute, initial;
    std::vector<Word> words;
};

std::string MenuItemText(MenuRef menu, int item)
{
    unsigned char text[256] = {};
    GetMenuItemText(menu, UInt16(item), text);
    return std::string(reinterpret_cast<const char*>(text) + 1, text[0]);
}

// The kind's attributes beyond name and duration, with a new transition's
// values; the words of those its settings pop-ups choose, each with the
// pop-up's item text, found by choosing every item and writing the result.
std::vector<Setting> SettingsOf(const CTransition& kind)
{
    auto write = [](const CTransition& t) {
        return AttributesOf(Written([&](CXMLOutputFile& out) { t.WriteXml(out); }), "transition");
    };
    std::vector<Setting> settings;
    for (const auto& [name, value] : write(kind))
        if (name != "name" && name != "duration") settings.push_back({name, value, {}});

    CDialogWindow window;
    if (!window.CreateNew(0, 0, 400, 300, 0, nullptr, 20000)) return settings;
    std::unique_ptr<CTransition> shown = kind.Clone();
    const Rect area{0, 0, 111, 255};
    if (!shown->CreateSettingsControls(&window, nullptr, &area)) return settings;
    for (uint32_t id = 10000; id < 10100; ++id) {
        const ControlID cid{OSType(id), window.GetControlIdNumber()};
        ControlRef control = nullptr;
        MenuRef menu = nullptr;
        if (GetControlByID(window.GetWindow(), &cid, &control) != noErr ||
            GetControlData(control, 0, kControlPopupButtonMenuHandleTag, sizeof menu, &menu, nullptr) != noErr ||
            !menu)
            continue;
        const SInt32 chosen = GetControl32BitValue(control);
        std::vector<Attributes> written;
        for (int item = 1; item <= CountMenuItems(menu); ++item) {
            SetControl32BitValue(control, item);
            std::unique_ptr<CTransition> copy = kind.Clone();
            shown->ReadSettingsControls(copy.get());
            written.push_back(write(*copy));
        }
        SetControl32BitValue(control, chosen);
        // The pop-up's attribute is the one its items write differently.
        for (Setting& s : settings) {
            std::vector<Word> words;
            for (size_t i = 0; i < written.size(); ++i)
                words.push_back({ValueOf(written[i], s.attribute), MenuItemText(menu, int(i) + 1)});
            const bool varies = std::any_of(words.begin(), words.end(),
                                            [&](const Word& w) { return w.word != words.front().word; });
            if (varies) s.words = std::move(words);
        }
    }
    shown->DisposeSettingsControls();
    return settings;
}

std::string TransitionsBlock(const CTransitionList& list)
{
    std::string out = "| name | setting | a new one's value | words (what each does) |\n|---|---|---|---|\n";
    for (int i = 0; i < list.GetCount(); ++i) {
        const CTransition& kind = *list.Get(i);
        std::vector<Setting> settings = SettingsOf(kind);
        if (settings.empty()) out += "| " + Code(kind.GetName()) + " | | | |\n";
        for (size_t s = 0; s < settings.size(); ++s) {
            std::string words;
            for (const Word& w : settings[s].words)
                words += (words.empty() ? "" : ", ") + Code(w.word) + " (" + w.item + ")";
            out += "| " + (s == 0 ? Code(kind.GetName()) : std::string()) + " | " + Code(settings[s].attribute) +
                   " | " + Code(settings[s].initial) + " | " + words + " |\n";
        }
    }
    return out;
}

// ---------------------------------------------------------------- effects, filters

std::string EffectsBlock(const COverlayEffectList& list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list.GetCount(); ++i) names.push_back(list.GetAt(i)->GetName());
    return Joined(names) + "\n";
}

std::string FiltersBlock(const CImageFilterList& list)
{
    std::string out = "| name | settings, with a new filter's values |\n|---|---|\n";
    for (size_t i = 0; i < list.GetCount(); ++i) {
        const CImageFilter& filter = *list.GetAt(i);
        std::string settings;
        for (const auto& [name, value] :
             AttributesOf(Written([&](CXMLOutputFile& out) { filter.WriteXML(out); }), "filter"))
            if (name != "name") settings += (settings.empty() ? "" : ", ") + Code(name + "=\"" + value + "\"");
        out += "| " + Code(filter.GetName()) + " | " + settings + " |\n";
    }
    return out;
}

// ---------------------------------------------------------------- the show's own words

std::string WordsBlock()
{
    CSlideShow show;
    CSlide slide(CSlide::kImage, &show);
    CCaption caption;
    CMovieSettings movie;
    CAddNoiseFilter noise;
    auto slideText = [&] { return Written([&](CXMLOutputFile& out) { slide.WriteXml(out); }); };
    auto captionText = [&] { return Written([&](CXMLOutputFile& out) { caption.WriteXml(out); }); };
    auto movieText = [&] { return Written([&](CXMLOutputFile& out) { movie.WriteXml(out); }); };
    auto showText = [&] { return Written([&](CXMLOutputFile& out) { show.WriteXml(out); }); };
    struct Row {
        const char* element;
        const char* attribute;
        std::vector<std::string> words;
    };
    const Row rows[] = {
        {"slide", "type", {"image", "blank"}},
        {"slide", "image_type",
         WordsOf([&](int c) { slide.SetImageType(c); }, slideText, "slide", "image_type")},
        {"slide", "h_align", WordsOf([&](int c) { slide.SetHAlign(c); }, slideText, "slide", "h_align")},
        {"slide", "v_align", WordsOf([&](int c) { slide.SetVAlign(c); }, slideText, "slide", "v_align")},
        {"click_actions", "type",
         WordsOf([&](int c) { slide.SetClickType(c); }, slideText, "click_actions", "type")},
        {"caption", "type", WordsOf([&](int c) { caption.SetType(c); }, captionText, "caption", "type")},
        {"caption", "h_align", WordsOf([&](int c) { caption.SetHAlign(c); }, captionText, "caption", "h_align")},
        {"caption", "v_align", WordsOf([&](int c) { caption.SetVAlign(c); }, captionText, "caption", "v_align")},
        {"swf_data", "movie_start_action",
         WordsOf([&](int c) { movie.SetStartAction(c); }, movieText, "swf_data", "movie_start_action")},
        {"swf_data", "loop", WordsOf([&](int c) { movie.SetLoopMode(c); }, movieText, "swf_data", "loop")},
        {"swf_data", "preload_type",
         WordsOf([&](int c) { movie.SetPreloadType(c); }, movieText, "swf_data", "preload_type")},
        {"swf_data", "preload_creator",
         WordsOf([&](int c) { movie.SetPreloadCreator(c); }, movieText, "swf_data", "preload_creator")},
        {"mouse_click_action", "action",
         WordsOf([&](int c) { movie.SetClickAction(c); }, movieText, "mouse_click_action", "action")},
        {"movie_end_action", "action",
         WordsOf([&](int c) { movie.SetEndAction(c); }, movieText, "movie_end_action", "action")},
        {"slide_show", "bg_frame", WordsOf([&](int c) { show.bg_frame = uint32_t(c); }, showText, "slide_show",
                                           "bg_frame")},
        {"slide_show", "control_align",
         WordsOf([&](int c) { show.GetControlsSkin().SetPlacement(c); }, showText, "slide_show", "control_align")},
        {"slide_show", "mute_control_align",
         WordsOf([&](int c) { show.GetMuteSkin().SetPlacement(c); }, showText, "slide_show", "mute_control_align")},
        {"filter", "type (Add Noise)",
         WordsOf([&](int c) { noise.SetType(c); },
                 [&] { return Written([&](CXMLOutputFile& out) { noise.WriteXML(out); }); }, "filter", "type")},
    };
    std::string out = "| element | attribute | words |\n|---|---|---|\n";
    for (const Row& row : rows)
        out += "| " + Code(row.element) + " | " + Code(row.attribute) + " | " + Joined(row.words) + " |\n";
    return out;
}

const char* const kBegin = "<!-- generated: ";
const char* const kEnd = "<!-- end generated -->";

// Where the text of block name starts and ends in doc.
bool FindBlock(const std::string& doc, const std::string& name, size_t* begin, size_t* end)
{
    const std::string marker = kBegin + name + " -->\n";
    const size_t at = doc.find(marker);
    if (at == std::string::npos) return false;
    *begin = at + marker.size();
    *end = doc.find(kEnd, *begin);
    return *end != std::string::npos;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> Blocks()
{
    std::unique_ptr<CTransitionList> transitions;
    if (!CTransitionList::Instance()) {
        transitions = std::make_unique<CTransitionList>();
        transitions->CreateAll();
    }
    std::unique_ptr<COverlayEffectList> effects;
    if (!COverlayEffectList::GetCurrent()) {
        effects = std::make_unique<COverlayEffectList>();
        effects->CreateAll();
    }
    CImageFilterList* filters = CImageFilterList::FindById(0);
    if (!filters) {
        filters = CImageFilterList::Register(0);
        filters->CreatePrototypes();
    }
    return {{"transitions", TransitionsBlock(*CTransitionList::Instance())},
            {"effects", EffectsBlock(*COverlayEffectList::GetCurrent())},
            {"filters", FiltersBlock(*filters)},
            {"words", WordsBlock()}};
}

bool Rewrite(std::string& doc, const std::vector<std::pair<std::string, std::string>>& blocks,
             std::vector<std::string>* missing)
{
    bool all = true;
    for (const auto& [name, text] : blocks) {
        size_t begin, end;
        if (!FindBlock(doc, name, &begin, &end)) {
            all = false;
            if (missing) missing->push_back(name);
            continue;
        }
        doc.replace(begin, end - begin, text);
    }
    return all;
}

bool BlockText(const std::string& doc, const std::string& name, std::string* text)
{
    size_t begin, end;
    if (!FindBlock(doc, name, &begin, &end)) return false;
    *text = doc.substr(begin, end - begin);
    return true;
}

std::string WithoutBlocks(const std::string& doc)
{
    std::string out;
    size_t from = 0;
    for (size_t at; (at = doc.find(kBegin, from)) != std::string::npos;) {
        const size_t end = doc.find(kEnd, at);
        if (end == std::string::npos) break;
        out += doc.substr(from, at - from);
        from = end + std::string(kEnd).size();
    }
    return out + doc.substr(from);
}

}  // namespace projectdoc
