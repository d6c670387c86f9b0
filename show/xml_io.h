#pragma once
// Shared pieces of the project file's readers and writers: the attribute
// writer, the element reader with its rules (missing attribute: unchanged;
// unknown word: unchanged), the report of what a read refused, and the
// relocation of missing files.
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "foundation/path.h"
#include "foundation/xml_reader.h"
#include "foundation/xml_text.h"
#include "foundation/xml_writer.h"

// One thing a read passed over: a refused value, an unknown word or name,
// a dropped slide, an emptied sound.
struct CReadIssue {
    std::string element;
    int line = 0;  // 1-based; 0 when unknown
    std::string attribute;
    std::string value;
    std::string what;
    // The slide (from 1, counted in the file) whose element holds what the
    // issue speaks of; 0 outside every slide.
    int slide = 0;
    // Where in the file's text it stands, for file order within a line; -1
    // when unknown.
    long offset = -1;
};

// The line numbers of a text, by byte offset.
class CTextLines {
public:
    CTextLines() = default;
    explicit CTextLines(const std::string& text);
    // The line (from 1) that holds the byte at offset; 0 for an offset below 0.
    int LineOf(long offset) const;
    // The number of lines.
    int Count() const { return int(lineFeeds_.size()) + 1; }

private:
    std::vector<size_t> lineFeeds_;
};

// Where a part of the show stood in the project file it was read from: the
// line of its element, and of each attribute standing on another line than
// the element's name. What is said of the part after the read (by the
// export) names the same line as the reader's own lines would. Lines from
// 1; 0 for a part not read from a file.
class CFilePlace {
public:
    // The element's line.
    int Line() const { return line_; }
    // The attribute's line; the element's when it has no such attribute.
    int Line(const std::string& attribute) const;
    // The slide (from 1, counted in the file) whose element holds the part;
    // 0 outside every slide.
    int Slide() const { return slide_; }
    // The place at the attribute's line.
    CFilePlace At(const std::string& attribute) const;
    // The attribute's value as the file gave it, for lines said after the
    // read (which quote what the user wrote, not the value taken);
    // otherwise when the element had no such attribute.
    std::string Written(const std::string& attribute, const std::string& otherwise) const;
    // An issue of the part's element, at the attribute's line where one is
    // named.
    CReadIssue Issue(const std::string& element, const std::string& attribute, const std::string& value,
                     const std::string& what) const;

private:
    friend struct CReadContext;
    int line_ = 0;
    int slide_ = 0;
    std::vector<std::pair<std::string, int>> apart_;
    std::vector<std::pair<std::string, std::string>> written_;
};


class CReadReport {
public:
    virtual ~CReadReport() = default;
    virtual void Report(const CReadIssue& issue) = 0;
};

// Collects the issues; enough for tests and for a summary after opening.
class CReadIssueList : public CReadReport {
public:
    void Report(const CReadIssue& issue) override { issues.push_back(issue); }
    std::vector<CReadIssue> issues;
};

// What to do about an image slide whose file is missing.
struct CRelocation {
    enum Action { kRelocate, kReplace, kDrop, kCancel };
    Action action = kDrop;
    CPath path;  // the chosen file; empty when none was chosen
};

// Asked by the project reader for each missing file that the folders found
// earlier in the same read do not hold.
class CRelocator {
public:
    virtual ~CRelocator() = default;
    virtual CRelocation RelocateImage(const CPath& missing) = 0;
    // The sound's new path, or empty to leave the sound without a file.
    virtual CPath RelocateSound(const CPath& missing) = 0;
};

// Looks for the file's name in given folders, in order; drops the slide
// or empties the sound when none holds it. Asks nobody.
class CFolderRelocator : public CRelocator {
public:
    explicit CFolderRelocator(std::vector<CPath> folders = {}) : folders_(std::move(folders)) {}
    CRelocation RelocateImage(const CPath& missing) override;
    CPath RelocateSound(const CPath& missing) override;
    bool Find(const CPath& missing, CPath* found) const;

private:
    std::vector<CPath> folders_;
};

// The folders where earlier missing files were found during one read.
class CRelocationFolders {
public:
    void Clear() { folders_.clear(); }
    void Add(const CPath& file);
    bool Find(const CPath& missing, CPath* found) const;

private:
    std::vector<std::string> folders_;
};

// Everything one read of a project shares.
struct CReadContext {
    CReadReport* report = nullptr;
    CRelocator* relocator = nullptr;   // null: the user is asked (CDialogRelocator)
    bool dropMissingSilently = false;  // sounds: empty the path, ask nobody
    // A picture or sound whose file is missing and not found elsewhere is
    // kept as the file names it rather than dropped or emptied: the slide
    // stays, marked, and the movie leaves it out; the sound keeps its path
    // and the movie goes without it. A show written back loses nothing.
    bool keepMissing = false;
    // A movie is made next: its export says what becomes of a slide whose
    // picture cannot be read, so the read does not.
    bool movieFollows = false;
    CRelocationFolders folders;
    CPath documentPath;  // for line numbers in reports
    // The file's text is Unicode (CXMLDocument::IsUnicodeText): its texts
    // are read into the show's own character set, Mac Roman.
    bool unicodeText = false;
    // Asked before each slide: true stops the read there; its caller says it.
    bool (*cancelRequested)() = nullptr;

    // The given relocator, else the one that asks the user.
    CRelocator& GetRelocator() const;
    // An issue of the element, or of its attribute when one is named: the
    // line is the attribute's where the element has it.
    void Issue(const CXMLNode& element, const char* attribute, const std::string& value, const char* what) const;
    // An issue at an offset of the file's text, named after element.
    void IssueAt(long offset, const std::string& element, const char* attribute, const std::string& value,
                 const char* what) const;
    // Where the element stands, for what is said of its part later; an
    // empty place when nothing is reported.
    CFilePlace PlaceOf(const CXMLNode& element) const;
    // Notes the element the reader takes as the next slide, so that what is
    // said of anything it holds names the slide.
    void NoteSlide(const CXMLNode& element);
    // The slide (from 1) whose element holds the offset of the file's text;
    // 0 outside every slide noted.
    int SlideAt(long offset) const;

private:
    // The line of an offset of the file's text; 0 when unknown.
    int LineAt(long offset) const;
    // Each slide's element from its name up to the next element after all
    // it holds, in file order.
    struct Span {
        long from, to;
    };
    std::vector<Span> slides_;
    mutable CTextLines lines_;  // the file's, read at the first need
    mutable bool textRead_ = false;
};

// A word table: the word at index i stands for code i.
using WordTable = std::span<const char* const>;

// Writes name="value" pieces, each after a blank.
class CAttrWriter {
public:
    explicit CAttrWriter(CXMLOutputFile& out) : out_(out) {}
    CAttrWriter& Int(const char* name, long value);
    CAttrWriter& UInt(const char* name, uint32_t value);
    CAttrWriter& Bool(const char* name, bool value);
    CAttrWriter& Double(const char* name, double value);
    CAttrWriter& Text(const char* name, const std::string& value);    // escaped
    CAttrWriter& Raw(const char* name, const std::string& value);     // as it stands
    CAttrWriter& Path(const char* name, const CPath& value);          // absolute, escaped; empty stays empty
    CAttrWriter& Word(const char* name, WordTable words, long code);  // out of table: empty value
    CAttrWriter& Base64(const char* name, const void* bytes, size_t length);

private:
    void Open(const char* name);
    CXMLOutputFile& out_;
};

// Reads the attributes of one element by the file's rules; every getter
// leaves its output unchanged when the attribute is missing and returns
// whether it was there. Numbers are read as far as they go, 0 when there
// is none; text that is not wholly a number is reported with the value
// read, in the same line as a refusal of that value when one follows.
// Booleans are true for "true" in any case; other text than "true" or
// "false" is reported.
class CElementReader {
public:
    CElementReader(const CXMLNode& element, const CReadContext* context);
    // What is still held back is said.
    ~CElementReader();
    CElementReader(const CElementReader&) = delete;
    CElementReader& operator=(const CElementReader&) = delete;
    bool HasAttributes() const { return hasAttributes_; }
    bool Has(const char* name) const;
    // The attribute's node as it stands; false when it is missing.
    bool Raw(const char* name, CXMLNode* out) const;
    bool Int(const char* name, long* out) const;
    // A name of the file's own whose value nothing uses: known, so not said
    // to be passed over.
    void Skip(const char* name) const;
    bool Bool(const char* name, bool* out) const;
    bool Double(const char* name, double* out) const;
    // An Int within low..high; one outside is reported with the range and
    // out, the value kept, which it leaves as it was. True when out took
    // the value.
    bool NumberIn(const char* name, long low, long high, long* out) const;
    // The same within what the field holds, by its width and sign: every
    // whole number of the file goes into its field this way, so none wraps.
    template <typename T>
    bool NumberIn(const char* name, T* out) const
    {
        long v = static_cast<long>(*out);
        if (!NumberIn(name, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), &v)) return false;
        *out = static_cast<T>(v);
        return true;
    }
    // A colour: 32 bits, written unsigned or signed (-1 is 4294967295), as
    // files of signed writers hold them.
    bool Colour(const char* name, uint32_t* out) const;
    bool Text(const char* name, std::string* out) const;
    bool TextKeepingLineFeeds(const char* name, std::string* out) const;
    bool Path(const char* name, CPath* out) const;
    bool Base64(const char* name, std::string* out) const;
    // A word of the table; an unknown word is reported and leaves out as it was.
    bool Word(const char* name, WordTable words, bool ignoreCase, int* out) const;
    // Reports a word no table holds, with the word the field keeps ("" when
    // it holds none).
    void UnknownWord(const char* name, const std::string& text, const std::string& kept) const;
    // Reports a value a setter or range check refused: the range it must lie
    // in, and the value the field keeps.
    template <typename Low, typename High, typename Kept>
    void OutOfRange(const char* name, Low low, High high, Kept kept) const
    {
        Refused(name, ("out of range (" + NumberText(low) + " to " + NumberText(high) + ")").c_str(),
                (NumberText(kept) + " kept").c_str());
    }
    // Reports a value refused for what is said; verdict, when given, is
    // what becomes of the field (said after why).
    // readKept: the field keeps the value read, which the line then names
    // also when the text held no number.
    void Refused(const char* name, const char* why, const char* verdict = nullptr, bool readKept = false) const;
    // Reports a value out of range that was taken as another: used is what
    // the field now holds.
    void ReadAs(const char* name, const std::string& used) const;
    void ReadAs(const char* name, double used) const;
    void Issue(const char* name, const std::string& value, const char* what) const;

    // Where the element stands (CReadContext::PlaceOf).
    CFilePlace Place() const { return context_ ? context_->PlaceOf(element_) : CFilePlace(); }
    const CXMLNode& Element() const { return element_; }
    const CReadContext* Context() const { return context_; }

    // Numbers as the reports give them: floating ones as the file's writer does.
    template <typename T>
    static std::string NumberText(T value)
    {
        if constexpr (std::is_floating_point_v<T>)
            return xmltext::FormatDouble(static_cast<double>(value));
        else
            return std::to_string(value);
    }

private:
    // The one reader of numbers: sets whole (integer) or real.
    bool ReadNumber(const char* name, bool integer, long* whole, double* real) const;
    bool ReadShowText(const char* name, bool keepLineFeeds, std::string* out) const;
    // Says what the text of a number held besides it, unless said already.
    void SayHeldNumber() const;
    const CXMLNode& element_;
    const CReadContext* context_;
    CXMLAttributes attributes_;
    bool hasAttributes_ = false;
    // A number's text that was not wholly a number, held until it is known
    // whether the value read is refused: then one line says both.
    struct HeldNumber {
        std::string name;  // empty: none held
        std::string text;
        std::string what;  // "not a number", "not a whole number"
        std::string read;  // the value read, as text
    };
    mutable HeldNumber held_;
};

// Whether a font size is one the movie's text records hold (1 to
// kMaxTextSize pixels).
bool IsTextSizeHeld(long size);
// What a reader says of a font record of a size the movie's text cannot have.
std::string FontSizeRefusal(int keptSize);
// A font record too short to hold a size: the font keeps its size and style.
std::string FontRecordRefusal(int keptSize);

// Says a child that its reader takes as `expected`, whatever its name, when
// it is named otherwise: "not named "slide": read as a slide".
void SayReadAs(const CXMLNode& child, const std::string& name, const char* expected, const char* readAs,
               const CReadContext* context);

// Calls f(child, name) for every child element in document order.
void ForEachChildElement(const CXMLNode& parent, const std::function<void(const CXMLNode&, const std::string&)>& f);
// The same for a reader: read(child, name) says whether it took the child.
// What no reader took is said when the project has been read.
void ReadChildElements(const CXMLNode& parent, const std::function<bool(const CXMLNode&, const std::string&)>& read);

// The whole file as bytes; false when it cannot be read.
bool ReadFileText(const CPath& path, std::string* out);

// Case-insensitive equality of ASCII words.
bool EqualsNoCase(const std::string& a, const char* b);
