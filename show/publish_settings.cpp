#include "show/publish_settings.h"

#include <cstdio>

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

std::string CPopupSettings::BuildUrl(const std::string& url)
{
    // Percent-escapes everything outside a safe set: quotes, blanks,
    // backslashes and markup cannot reach the script.
    std::string escaped;
    for (unsigned char c : url) {
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
    return "javascript:void(window.open('" + escaped + "','_blank'))";
}
