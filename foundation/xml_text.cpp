#include "foundation/xml_text.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace xmltext {
namespace {

struct NamedEntity {
    char byte;
    std::string_view text;
};

constexpr std::array<NamedEntity, 5> kNamed{{
    {'"', "&quot;"},
    {'\'', "&apos;"},
    {'&', "&amp;"},
    {'<', "&lt;"},
    {'>', "&gt;"},
}};

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "&#x" hex ";" at the start of text: the byte it stands for, or -1 when it is
// not such a reference. Only the low 8 bits count, so any number of digits is
// folded without overflow. A zero byte would cut the text short and is
// refused.
int NumericReference(std::string_view text, size_t& length)
{
    if (text.substr(0, 3) != "&#x") return -1;
    unsigned value = 0;
    size_t i = 3;
    for (; i < text.size(); ++i) {
        int digit = HexValue(text[i]);
        if (digit < 0) break;
        value = ((value << 4) | static_cast<unsigned>(digit)) & 0xFF;
    }
    if (i == 3 || i >= text.size() || text[i] != ';' || value == 0) return -1;
    length = i + 1;
    return static_cast<int>(value);
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        bool named = false;
        for (const NamedEntity& e : kNamed) {
            if (e.byte == c) {
                out += e.text;
                named = true;
                break;
            }
        }
        if (named) continue;
        if (byte == 0x0A || byte == 0x0D || byte >= 0x80) {
            out += "&#x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
            out += ';';
        } else {
            out += c;
        }
    }
}

std::string Escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendEscaped(out, text);
    return out;
}

std::string Unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        std::string_view rest = text.substr(i);
        bool named = false;
        for (const NamedEntity& e : kNamed) {
            if (rest.starts_with(e.text)) {
                out += e.byte;
                i += e.text.size();
                named = true;
                break;
            }
        }
        if (named) continue;
        size_t length = 0;
        int byte = NumericReference(rest, length);
        if (byte >= 0) {
            out += static_cast<char>(byte);
            i += length;
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string FormatDouble(double value)
{
    // to_chars formats as printf's "%.6g" in the C locale, which is also the
    // default notation of an output stream.
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    if (result.ec != std::errc()) return "0";
    return std::string(buffer, result.ptr);
}

namespace {

// strtod in the "C" locale.
double ClassicStrtod(const char* text, char** end)
{
    static locale_t classic = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    return classic ? strtod_l(text, end, classic) : std::strtod(text, end);
}

}  // namespace

double ParseDouble(const char* text)
{
    return text ? ClassicStrtod(text, nullptr) : 0;
}

long ParseLong(const char* text)
{
    if (!text) return 0;
    // strtol on digits is not locale-sensitive; it saturates on overflow.
    return std::strtol(text, nullptr, 10);
}

NumberFit FitNumber(const char* text, bool integer)
{
    if (!text) return NumberFit::kNone;
    char* end = nullptr;
    if (integer)
        std::strtol(text, &end, 10);
    else
        ClassicStrtod(text, &end);
    if (end == text) return NumberFit::kNone;
    // Blanks after the number are as harmless as the ones before it.
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
    return *end ? NumberFit::kPartial : NumberFit::kWhole;
}

}  // namespace xmltext
