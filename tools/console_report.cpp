#include "tools/console_report.h"

#include <algorithm>

namespace {

// A name or value longer than this is cut in the middle.
constexpr size_t kLongestShown = 200;
// Lines of one kind shown before the rest are only counted.
constexpr int kLinesOfAKind = 10;

// Control characters would break the one-line form; a name of 60,000
// characters would bury the rest.
std::string Printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) out += (c < 0x20 || c == 0x7f) ? '?' : char(c);
    if (out.size() <= kLongestShown) return out;
    // Cut between characters, not inside one of UTF-8's.
    auto start = [&out](size_t at) {
        while (at > 0 && (static_cast<unsigned char>(out[at]) & 0xC0) == 0x80) --at;
        return at;
    };
    const size_t head = start(kLongestShown * 3 / 4), tail = start(out.size() - kLongestShown / 5);
    return out.substr(0, head) + "[... " + std::to_string(text.size()) + " characters ...]" + out.substr(tail);
}

// Each quoted piece of a message, printable and cut as a value is.
std::string PrintableQuotes(const std::string& text)
{
    std::string out;
    size_t at = 0;
    for (size_t open; (open = text.find('"', at)) != std::string::npos;) {
        const size_t close = text.find('"', open + 1);
        if (close == std::string::npos) break;
        out += text.substr(at, open + 1 - at) + Printable(text.substr(open + 1, close - open - 1)) + '"';
        at = close + 1;
    }
    return out + text.substr(at);
}

// The message with what varies in it (quoted names and values) left out:
// lines alike but for those are of one kind.
std::string KindOf(const std::string& what)
{
    std::string out;
    bool quoted = false;
    for (char c : what) {
        if (c == '"') {
            if (!quoted) out += "\"...\"";
            quoted = !quoted;
        } else if (!quoted) {
            out += c;
        }
    }
    return out;
}

}  // namespace

CConsoleReport::CConsoleReport(std::string fileName, std::FILE* out, bool print)
    : fileName_(std::move(fileName)), out_(out), print_(print)
{
}

std::string CConsoleReport::Format(const std::string& fileName, const CReadIssue& issue)
{
    const int slide = issue.slide;
    std::string line = fileName + ":";
    if (issue.line > 0) line += std::to_string(issue.line) + ":";
    if (slide > 0) line += " slide " + std::to_string(slide) + ":";
    // The slide element itself is named by its number.
    if (!issue.element.empty() && !(slide > 0 && issue.element == "slide")) line += " " + Printable(issue.element);
    if (!issue.attribute.empty())
        line += " " + Printable(issue.attribute) + "=\"" + Printable(issue.value) + "\"";
    else if (!issue.value.empty())
        line += " \"" + Printable(issue.value) + "\"";
    if (line.back() != ':') line += ":";
    return line + " " + PrintableQuotes(issue.what);
}

void CConsoleReport::Report(const CReadIssue& issue)
{
    ++count_;
    if (issue.what.find("slide dropped") != std::string::npos) dropped_.push_back(issue.slide);
    // Past a few lines of one kind in one place (a slide, or outside the
    // slides), the rest are counted and said in one line.
    CReadIssue kind = issue;
    kind.line = 0;
    kind.value = issue.attribute.empty() ? "" : "...";
    kind.what = KindOf(issue.what);
    const std::string key = Format("", kind);
    auto [at, added] = kindIndex_.try_emplace(key, kinds_.size());
    if (added) kinds_.push_back({Format(fileName_, kind), 0});
    if (++kinds_[at->second].count > kLinesOfAKind) return;
    if (print_) std::fprintf(out_, "%s\n", Format(fileName_, issue).c_str());
}

void CConsoleReport::SayUnshown()
{
    for (Kind& k : kinds_) {
        if (k.count > kLinesOfAKind && print_)
            std::fprintf(out_, "%s (%d more lines of this kind not shown)\n", k.line.c_str(), k.count - kLinesOfAKind);
        k.count = std::min(k.count, kLinesOfAKind);
    }
}

int CConsoleReport::FileSlideNumber(int n) const
{
    for (int dropped : dropped_)
        if (dropped > 0 && dropped <= n) ++n;
    return n;
}

void CConsoleReport::Warn(const CFilePlace& place, const std::string& text)
{
    SayUnshown();
    ++count_;
    // Prefixed by the rule of the reader's lines.
    if (print_) std::fprintf(out_, "%s\n", Format(fileName_, place.Issue("", "", "", text)).c_str());
}
