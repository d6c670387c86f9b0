#include "show/publish_settings.h"

#include <cstdio>

#include "show/xml_io.h"

bool CKeptElement::ReadXml(const CXMLNode& element)
{
    std::string markup;
    if (!element.AppendMarkup(markup)) return false;
    markup_ = std::move(markup);
    return true;
}

bool CKeptElement::WriteXml(CXMLOutputFile& out) const
{
    if (markup_.empty()) {
        out.Write("<").Write(std::string_view(name_)).Write(" />\n");
    } else {
        out.Write(std::string_view(markup_));
    }
    return true;
}

namespace {

// Percent-escapes everything outside a safe set: quotes, blanks,
// backslashes and markup cannot reach the script.
std::string EscapeForScript(const std::string& text)
{
    std::string escaped;
    for (unsigned char c : text) {
        bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    std::string_view("-_.~:/?#[]@!$&()*+,;=%").find(char(c)) != std::string_view::npos;
        if (safe) {
            escaped += char(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            escaped += hex;
        }
    }
    return escaped;
}

}  // namespace

bool CPopupSettings::ReadXml(const CXMLNode& element, const CReadContext* context)
{
    CElementReader r(element, context);
    std::string name;
    if (r.Text("name", &name) && !name.empty()) window = name;
    for (size_t i = 0; i < std::size(kNumbers); ++i) {
        long v;
        // Sizes and places a screen can have; others are the browser's.
        if (!r.Int(kNumbers[i], &v)) continue;
        if (v >= 0 && v <= kMaxNumber)
            numbers[i] = v;
        else if (numbers[i] < 0)
            r.Refused(kNumbers[i], ("out of range (0 to " + std::to_string(kMaxNumber) + ")").c_str(),
                      "left to the browser");
        else
            r.OutOfRange(kNumbers[i], 0, kMaxNumber, numbers[i]);
    }
    for (size_t i = 0; i < std::size(kOptions); ++i) {
        bool on;
        if (r.Bool(kOptions[i], &on)) options[i] = on ? 1 : 0;
    }
    return true;
}

bool CPopupSettings::WriteXml(CXMLOutputFile& out) const
{
    out.Write("<popup_data");
    CAttrWriter w(out);
    if (window != kDefaultWindow) w.Text("name", window);
    for (size_t i = 0; i < std::size(kNumbers); ++i)
        if (numbers[i] >= 0) w.Int(kNumbers[i], numbers[i]);
    for (size_t i = 0; i < std::size(kOptions); ++i)
        if (options[i] >= 0) w.Bool(kOptions[i], options[i] != 0);
    out.Write(" />\n");
    return true;
}

std::string CPopupSettings::BuildUrl(const std::string& url) const
{
    std::string features;
    auto add = [&features](const std::string& item) { features += (features.empty() ? "" : ",") + item; };
    for (size_t i = 0; i < std::size(kNumbers); ++i)
        if (numbers[i] >= 0) add(std::string(kNumbers[i]) + "=" + std::to_string(numbers[i]));
    for (size_t i = 0; i < std::size(kOptions); ++i)
        if (options[i] >= 0) add(std::string(kOptions[i]) + (options[i] ? "=yes" : "=no"));
    std::string call = "javascript:void(window.open('" + EscapeForScript(url) + "','" + EscapeForScript(window) + "'";
    if (!features.empty()) call += ",'" + features + "'";
    return call + "))";
}
