#pragma once
// Prints what the project reader passed over, and what the export says of
// the show, one line each, naming the file, its line, the slide (counted
// from 1 in the file), the element, the attribute and the value:
//   show.tvr:27: slide 3: src="/p/a.jpg": image file missing: slide left out of the movie
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "show/xml_io.h"

// The lines of one slide element in the file, first to last.
struct SlideLines {
    int first = 0;
    int last = 0;
};

// The line spans of the slide elements of a parsed project, in file order;
// text is the file the document was parsed from.
std::vector<SlideLines> FindSlideLines(const CXMLDocument& document, const std::string& text);

// What reads as a project but is not one as written: a "tavrel" element
// without its show, elements nested deeper than maxDepth (the root at 1).
std::vector<CReadIssue> CheckProjectShape(const CXMLDocument& document, const std::string& text, int maxDepth);

class CConsoleReport : public CReadReport {
public:
    // fileName is printed as given; print false only counts.
    CConsoleReport(std::string fileName, std::FILE* out, bool print);

    void SetSlideLines(std::vector<SlideLines> slides) { slides_ = std::move(slides); }
    // Prints the line, unless kLinesOfAKind of its kind in the same place
    // were printed: those past it are counted, for SayUnshown.
    void Report(const CReadIssue& issue) override;
    // One line for each kind whose lines were not all shown, with how many
    // were not; said before the next warning of the program's own too.
    void SayUnshown();
    // A warning of the program's own (a missing skin, a damaged picture),
    // at the line of the file it speaks of; line 0 for the whole movie (a
    // long movie, a missing encoder).
    void Warn(int line, const std::string& text);

    int GetCount() const { return count_; }
    int GetDroppedSlides() const { return int(dropped_.size()); }
    // The number in the file of the show's slide n (both from 1): slides
    // dropped while reading are not in the show.
    int FileSlideNumber(int n) const;

    // The line printed for an issue; slide is 0 when outside every slide.
    // Long names and values are cut in the middle, saying their length.
    static std::string Format(const std::string& fileName, const CReadIssue& issue, int slide);

private:
    int SlideAt(int line) const;

    std::string fileName_;
    std::FILE* out_;
    bool print_;
    std::vector<SlideLines> slides_;
    int count_ = 0;
    std::vector<int> dropped_;  // numbers in the file, ascending
    struct Kind {
        std::string line;  // the kind's line, names and values left out
        int count = 0;     // lines of the kind, those shown and those not
    };
    std::vector<Kind> kinds_;  // in the order first seen
    std::unordered_map<std::string, size_t> kindIndex_;
};
