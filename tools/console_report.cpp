#include "tools/console_report.h"

#include <algorithm>

#include "show/project_file.h"

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

bool FindChild(const CXMLNode& parent, const char* name, CXMLNode* out)
{
    bool found = false;
    ForEachChildElement(parent, [&](const CXMLNode& child, const std::string& childName) {
        if (!found && childName == name) {
            *out = child;
            found = true;
        }
    });
    return found;
}

}  // namespace

std::vector<CReadIssue> CheckProjectShape(const CXMLDocument& document, const std::string& text, int maxDepth)
{
    std::vector<CReadIssue> issues;
    const CTextLines lines(text);
    CXMLNode outer, root, show;
    if (FindProjectRoot(document, &outer, &root) && !FindChild(root, "slide_show", &show))
        issues.push_back(
            {"tavrel", lines.LineOf(root.GetOffset()), "", "", "no slide_show element: the show is empty"});
    CXMLNode deep;
    if (document.FindNestedPast(maxDepth, deep)) {
        CStr name;
        deep.GetName(name);
        issues.push_back({name.c_str(), lines.LineOf(deep.GetOffset()), "", "",
                          "elements nested more than " + std::to_string(maxDepth) + " deep: ignored"});
    }
    return issues;
}

std::vector<SlideLines> FindSlideLines(const CXMLDocument& document, const std::string& text)
{
    std::vector<SlideLines> slides;
    const CTextLines lines(text);
    CXMLNode outer, root, show;
    if (!FindProjectRoot(document, &outer, &root) || !FindChild(root, "slide_show", &show)) return slides;
    // The reader takes the slides of every "slides" element; each slide
    // ends where the next element after it begins, or with the file.
    const int end = lines.Count();
    ForEachChildElement(show, [&](const CXMLNode& child, const std::string& name) {
        if (name != "slides") return;
        ForEachChildElement(child, [&](const CXMLNode& slide, const std::string&) {
            const int first = lines.LineOf(slide.GetOffset());
            CXMLNode next;
            const int last = slide.GetNextElementAfter(next) ? lines.LineOf(next.GetOffset()) - 1 : end;
            slides.push_back({first, std::max(first, last)});
        });
    });
    return slides;
}

CConsoleReport::CConsoleReport(std::string fileName, std::FILE* out, bool print)
    : fileName_(std::move(fileName)), out_(out), print_(print)
{
}

int CConsoleReport::SlideAt(int line) const
{
    if (line <= 0) return 0;
    for (size_t i = 0; i < slides_.size(); ++i)
        if (line >= slides_[i].first && line <= slides_[i].last) return int(i) + 1;
    return 0;
}

std::string CConsoleReport::Format(const std::string& fileName, const CReadIssue& issue, int slide)
{
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
    const int slide = SlideAt(issue.line);
    if (issue.what.find("slide dropped") != std::string::npos) dropped_.push_back(slide);
    // Past a few lines of one kind in one place (a slide, or outside the
    // slides), the rest are counted and said in one line.
    CReadIssue kind = issue;
    kind.line = 0;
    kind.value = issue.attribute.empty() ? "" : "...";
    kind.what = KindOf(issue.what);
    const std::string key = Format("", kind, slide);
    auto [at, added] = kindIndex_.try_emplace(key, kinds_.size());
    if (added) kinds_.push_back({Format(fileName_, kind, slide), 0});
    if (++kinds_[at->second].count > kLinesOfAKind) return;
    if (print_) std::fprintf(out_, "%s\n", Format(fileName_, issue, slide).c_str());
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

void CConsoleReport::Warn(int line, const std::string& text)
{
    SayUnshown();
    ++count_;
    // Prefixed by the rule of the reader's lines: the slide follows from the line.
    if (print_) std::fprintf(out_, "%s\n", Format(fileName_, {"", line, "", "", text}, SlideAt(line)).c_str());
}
