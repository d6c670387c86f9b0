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

class CConsoleReport : public CReadReport {
public:
    // fileName is printed as given; print false only counts.
    CConsoleReport(std::string fileName, std::FILE* out, bool print);

    // Prints the line, unless kLinesOfAKind of its kind in the same place
    // were printed: those past it are counted, for SayUnshown.
    void Report(const CReadIssue& issue) override;
    // One line for each kind whose lines were not all shown, with how many
    // were not; said before the next warning of the program's own too.
    void SayUnshown();
    // A warning of the program's own (a missing skin, a damaged picture),
    // at the place of the part it speaks of (CFilePlace::At for an
    // attribute's line): its line and slide. An empty place for the whole
    // movie (a long movie, a missing encoder) names the file alone.
    void Warn(const CFilePlace& place, const std::string& text);

    int GetCount() const { return count_; }
    int GetDroppedSlides() const { return int(dropped_.size()); }
    // The number in the file of the show's slide n (both from 1): slides
    // dropped while reading are not in the show.
    int FileSlideNumber(int n) const;

    // The line printed for an issue. Long names and values are cut in the
    // middle, saying their length.
    static std::string Format(const std::string& fileName, const CReadIssue& issue);

private:
    std::string fileName_;
    std::FILE* out_;
    bool print_;
    int count_ = 0;
    std::vector<int> dropped_;  // numbers in the file, ascending
    struct Kind {
        std::string line;  // the kind's line, names and values left out
        int count = 0;     // lines of the kind, those shown and those not
    };
    std::vector<Kind> kinds_;  // in the order first seen
    std::unordered_map<std::string, size_t> kindIndex_;
};
