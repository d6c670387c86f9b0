#include "show/xml_io.h"

#include <strings.h>

#include <algorithm>
#include <iterator>

#include "foundation/str.h"
#include "foundation/xml_text.h"
#include "platform/cfstring.h"
#include "platform/regular_file.h"
#include "show/dialog_relocator.h"
#include "swf/text.h"

// ------------------------------------------------------------ relocation

bool CFolderRelocator::Find(const CPath& missing, CPath* found) const
{
    std::string name = missing.GetFileName();
    if (name.empty()) return false;
    for (const CPath& folder : folders_) {
        CPath candidate;
        CPath::Combine(candidate, name, folder);
        if (platform::RegularFileTrouble(candidate.GetFullPath()).empty()) {
            *found = candidate;
            return true;
        }
    }
    return false;
}

CRelocator& CReadContext::GetRelocator() const
{
    static CDialogRelocator dialogs;
    return relocator ? *relocator : dialogs;
}

CRelocation CFolderRelocator::RelocateImage(const CPath& missing)
{
    CRelocation r;
    if (Find(missing, &r.path)) r.action = CRelocation::kRelocate;
    return r;
}

CPath CFolderRelocator::RelocateSound(const CPath& missing)
{
    CPath found;
    Find(missing, &found);
    return found;
}

void CRelocationFolders::Add(const CPath& file)
{
    std::string folder = CPath(file.GetFullPath()).GetParent(false).GetText();
    if (std::find(folders_.begin(), folders_.end(), folder) == folders_.end()) folders_.push_back(folder);
}

bool CRelocationFolders::Find(const CPath& missing, CPath* found) const
{
    std::string name = missing.GetFileName();
    if (name.empty()) return false;
    for (const std::string& folder : folders_) {
        CPath candidate;
        CPath::Combine(candidate, name, CPath(folder));
        if (platform::RegularFileTrouble(candidate.GetFullPath()).empty()) {
            *found = candidate;
            return true;
        }
    }
    return false;
}

// ------------------------------------------------------------ reports

CTextLines::CTextLines(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') lineFeeds_.push_back(i);
}

int CTextLines::LineOf(long offset) const
{
    if (offset < 0) return 0;
    // Lines before the offset are the line feeds before it.
    return 1 + int(std::lower_bound(lineFeeds_.begin(), lineFeeds_.end(), size_t(offset)) - lineFeeds_.begin());
}

int CFilePlace::Line(const std::string& attribute) const
{
    for (const auto& [name, line] : apart_)
        if (name == attribute) return line;
    return line_;
}

CFilePlace CFilePlace::At(const std::string& attribute) const
{
    CFilePlace place;
    place.line_ = Line(attribute);
    place.slide_ = slide_;
    place.written_ = written_;
    return place;
}

std::string CFilePlace::Written(const std::string& attribute, const std::string& otherwise) const
{
    for (const auto& [name, value] : written_)
        if (name == attribute) return value;
    return otherwise;
}

CReadIssue CFilePlace::Issue(const std::string& element, const std::string& attribute, const std::string& value,
                             const std::string& what) const
{
    return {element, Line(attribute), attribute, value, what, slide_};
}

void CReadContext::NoteSlide(const CXMLNode& element)
{
    const long from = element.GetOffset();
    CXMLNode next;
    const long to = element.GetNextElementAfter(next) ? next.GetOffset() : std::numeric_limits<long>::max();
    // Slides are read in file order: the spans stay sorted.
    slides_.push_back({from, std::max(from + 1, to)});
}

int CReadContext::SlideAt(long offset) const
{
    // Noted in file order: the last span that begins at or before the offset.
    auto after = std::upper_bound(slides_.begin(), slides_.end(), offset,
                                  [](long at, const Span& span) { return at < span.from; });
    if (offset < 0 || after == slides_.begin() || offset >= std::prev(after)->to) return 0;
    return int(after - slides_.begin());
}

int CReadContext::LineAt(long offset) const
{
    if (offset < 0 || documentPath.IsEmpty()) return 0;
    if (!textRead_) {
        textRead_ = true;
        std::string text;
        ReadFileText(documentPath, &text);
        lines_ = CTextLines(text);
    }
    return lines_.LineOf(offset);
}

CFilePlace CReadContext::PlaceOf(const CXMLNode& element) const
{
    CFilePlace place;
    if (!report) return place;
    place.line_ = LineAt(element.GetOffset());
    place.slide_ = SlideAt(element.GetOffset());
    element.ForEachAttributeOffset([&](const char* name, long offset, const char* value) {
        const int line = LineAt(offset);
        if (line != place.line_) place.apart_.emplace_back(name, line);
        place.written_.emplace_back(name, value);
    });
    return place;
}

void CReadContext::Issue(const CXMLNode& element, const char* attribute, const std::string& value,
                         const char* what) const
{
    if (!report) return;
    CStr name;
    const long at = attribute && *attribute ? element.GetAttributeOffset(attribute) : -1;
    IssueAt(at >= 0 ? at : element.GetOffset(), element.GetName(name) ? name.c_str() : "", attribute, value, what);
}

void CReadContext::IssueAt(long offset, const std::string& element, const char* attribute, const std::string& value,
                           const char* what) const
{
    if (!report) return;
    CReadIssue issue;
    issue.element = element;
    issue.line = LineAt(offset);
    issue.slide = SlideAt(offset);
    issue.offset = offset;
    // The file's text, and the show's, in the Unicode a terminal shows.
    auto shown = [this](const std::string& text) { return platform::MacRomanForTerminal(text, unicodeText); };
    issue.element = shown(element);
    issue.attribute = shown(attribute ? attribute : "");
    issue.value = shown(value);
    issue.what = shown(what ? what : "");
    report->Report(issue);
}

bool ReadFileText(const CPath& path, std::string* out)
{
    std::FILE* file = path.Fopen("rb");
    if (!file) return false;
    out->clear();
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out->append(buffer, n);
    std::fclose(file);
    return true;
}

// ------------------------------------------------------------ writing

void CAttrWriter::Open(const char* name)
{
    out_.Write(" ").Write(name).Write("=\"");
}

CAttrWriter& CAttrWriter::Int(const char* name, long value)
{
    Open(name);
    out_.WriteInt(value).Write("\"");
    return *this;
}

CAttrWriter& CAttrWriter::UInt(const char* name, uint32_t value)
{
    Open(name);
    out_.WriteUInt(value).Write("\"");
    return *this;
}

CAttrWriter& CAttrWriter::Bool(const char* name, bool value)
{
    Open(name);
    out_.WriteBool(value).Write("\"");
    return *this;
}

CAttrWriter& CAttrWriter::Double(const char* name, double value)
{
    Open(name);
    out_.WriteDouble(value).Write("\"");
    return *this;
}

CAttrWriter& CAttrWriter::Text(const char* name, const std::string& value)
{
    Open(name);
    out_.EscapeAndWrite(std::string_view(value)).Write("\"");
    return *this;
}

CAttrWriter& CAttrWriter::Raw(const char* name, const std::string& value)
{
    Open(name);
    out_.Write(std::string_view(value)).Write("\"");
    return *this;
}

CAttrWriter& CAttrWriter::Path(const char* name, const CPath& value)
{
    Open(name);
    if (!value.IsEmpty()) out_.WritePath(value);
    out_.Write("\"");
    return *this;
}

CAttrWriter& CAttrWriter::Word(const char* name, WordTable words, long code)
{
    Open(name);
    if (code >= 0 && static_cast<size_t>(code) < words.size()) out_.Write(words[code]);
    out_.Write("\"");
    return *this;
}

CAttrWriter& CAttrWriter::Base64(const char* name, const void* bytes, size_t length)
{
    Open(name);
    if (length) out_.WriteBase64(bytes, length);
    out_.Write("\"");
    return *this;
}

// ------------------------------------------------------------ reading

bool EqualsNoCase(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

CElementReader::CElementReader(const CXMLNode& element, const CReadContext* context)
    : element_(element), context_(context)
{
    hasAttributes_ = element.GetAttributes(attributes_) && element.HasAttributes();
}

CElementReader::~CElementReader()
{
    SayHeldNumber();
}

void CElementReader::SayHeldNumber() const
{
    if (held_.name.empty()) return;
    HeldNumber held = std::move(held_);
    held_ = {};
    Issue(held.name.c_str(), held.text, (held.what + ": read as " + held.read).c_str());
}

bool CElementReader::Raw(const char* name, CXMLNode* out) const
{
    return hasAttributes_ && attributes_.Get(name, *out);
}

bool CElementReader::Has(const char* name) const
{
    CXMLNode n;
    return Raw(name, &n);
}

bool CElementReader::Int(const char* name, long* out) const
{
    return ReadNumber(name, true, out, nullptr);
}

void CElementReader::Skip(const char* name) const
{
    CXMLNode unused;
    Raw(name, &unused);
}

bool CElementReader::Bool(const char* name, bool* out) const
{
    SayHeldNumber();
    CXMLNode n;
    if (!Raw(name, &n)) return false;
    *out = n.GetBool();
    // Only "true" is true: anything else reads as false, and what is not
    // "false" either is said.
    const std::string text = n.GetString("");
    if (!*out && !EqualsNoCase(text, "false")) Issue(name, text, "neither true nor false: read as false");
    return true;
}

bool CElementReader::Double(const char* name, double* out) const
{
    return ReadNumber(name, false, nullptr, out);
}

bool CElementReader::ReadNumber(const char* name, bool integer, long* whole, double* real) const
{
    SayHeldNumber();
    CXMLNode n;
    if (!Raw(name, &n)) return false;
    const std::string text = n.GetString("");
    // Stored files may hold such text: the value read is kept, and said.
    std::string read;
    if (integer) {
        *whole = xmltext::ParseLong(text.c_str());
        read = std::to_string(*whole);
    } else {
        *real = xmltext::ParseDouble(text.c_str());
        read = xmltext::FormatDouble(*real);
    }
    const xmltext::NumberFit fit = xmltext::FitNumber(text.c_str(), integer);
    // Held: a refusal of the value read is said in the same line.
    if (fit != xmltext::NumberFit::kWhole && context_)
        held_ = {name, text, fit == xmltext::NumberFit::kPartial && integer ? "not a whole number" : "not a number",
                 read};
    return true;
}

bool CElementReader::NumberIn(const char* name, long low, long high, long* out) const
{
    long v;
    if (!Int(name, &v)) return false;
    if (v < low || v > high) {
        OutOfRange(name, low, high, *out);
        return false;
    }
    *out = v;
    return true;
}

bool CElementReader::Colour(const char* name, uint32_t* out) const
{
    long v = *out;
    if (!NumberIn(name, INT32_MIN, UINT32_MAX, &v)) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool CElementReader::ReadShowText(const char* name, bool keepLineFeeds, std::string* out) const
{
    SayHeldNumber();
    CXMLNode n;
    std::string raw;
    if (!Raw(name, &n) || !n.GetRawText(raw)) return false;
    // Unicode text is taken into Mac Roman before the character
    // references are resolved: those stand for the byte they give.
    if (context_ && context_->unicodeText && std::any_of(raw.begin(), raw.end(), [](char c) { return c & 0x80; })) {
        std::string roman;
        if (platform::Utf8ToMacRomanLossy(raw, roman, '?') > 0)
            Issue(name, xmltext::Unescape(raw), "characters the show's character set (Mac Roman) lacks are shown as \"?\"");
        raw = std::move(roman);
    }
    *out = xmltext::Unescape(raw);
    if (!keepLineFeeds) std::erase(*out, '\n');
    return true;
}

bool CElementReader::Text(const char* name, std::string* out) const
{
    return ReadShowText(name, false, out);
}

bool CElementReader::TextKeepingLineFeeds(const char* name, std::string* out) const
{
    return ReadShowText(name, true, out);
}

bool CElementReader::Path(const char* name, CPath* out) const
{
    SayHeldNumber();
    CXMLNode n;
    if (!Raw(name, &n)) return false;
    if (n.GetString("").empty()) {
        *out = CPath();
        return true;
    }
    return n.GetPath(*out);
}

bool CElementReader::Base64(const char* name, std::string* out) const
{
    SayHeldNumber();
    CXMLNode n;
    if (!Raw(name, &n)) return false;
    // Base64 never decodes to more bytes than it has characters.
    std::vector<uint8_t> buffer(n.GetString("").size() + 4);
    size_t length = 0;
    if (!n.GetDecodedDataInto(buffer.data(), buffer.size(), &length)) {
        Issue(name, n.GetString(""), "not base64 data");
        return false;
    }
    out->assign(reinterpret_cast<const char*>(buffer.data()), length);
    return true;
}

bool CElementReader::Word(const char* name, WordTable words, bool ignoreCase, int* out) const
{
    std::string text;
    if (!Text(name, &text)) return false;
    for (size_t i = 0; i < words.size(); ++i) {
        if (ignoreCase ? EqualsNoCase(text, words[i]) : text == words[i]) {
            *out = static_cast<int>(i);
            return true;
        }
    }
    // The word as the file has it: the show's form of a Unicode project's
    // text may have lost characters.
    CXMLNode n;
    UnknownWord(name, Raw(name, &n) ? n.GetString("") : text, *out >= 0 && size_t(*out) < words.size() ? words[*out] : "");
    return false;
}

void CElementReader::UnknownWord(const char* name, const std::string& text, const std::string& kept) const
{
    Issue(name, text, kept.empty() ? "unknown word: passed over" : ("unknown word: \"" + kept + "\" kept").c_str());
}

void CElementReader::Refused(const char* name, const char* why, const char* verdict, bool readKept) const
{
    std::string what;
    if (held_.name == name) {
        // The text held no number, or more than one: the line says so, then
        // what became of the value read.
        what = held_.what + ": ";
        if (held_.what == "not a number" && !readKept)
            what += verdict ? verdict : why;
        else
            what += "read as " + held_.read + ", " + why + (verdict ? std::string(": ") + verdict : "");
        held_ = {};
    } else {
        what = std::string(why) + (verdict ? std::string(": ") + verdict : "");
    }
    CXMLNode n;
    Issue(name, Raw(name, &n) ? n.GetString("") : std::string(), what.c_str());
}

void CElementReader::ReadAs(const char* name, const std::string& used) const
{
    Refused(name, ("value out of range: read as " + used).c_str());
}

void CElementReader::ReadAs(const char* name, double used) const
{
    ReadAs(name, xmltext::FormatDouble(used));
}

void CElementReader::Issue(const char* name, const std::string& value, const char* what) const
{
    SayHeldNumber();
    if (context_) context_->Issue(element_, name, value, what);
}

bool IsTextSizeHeld(long size)
{
    return size >= 1 && size <= kMaxTextSize;
}

std::string FontRecordRefusal(int keptSize)
{
    return "font record too short: nothing read from it: size " + std::to_string(keptSize) + " used";
}

std::string FontSizeRefusal(int keptSize)
{
    return "font size out of the range 1 to " + std::to_string(kMaxTextSize) + ": size " + std::to_string(keptSize) +
           " used";
}

void SayReadAs(const CXMLNode& child, const std::string& name, const char* expected, const char* readAs,
               const CReadContext* context)
{
    if (context && name != expected)
        context->Issue(child, "", "", ("not named \"" + std::string(expected) + "\": read as " + readAs).c_str());
}

void ReadChildElements(const CXMLNode& parent, const std::function<bool(const CXMLNode&, const std::string&)>& read)
{
    ForEachChildElement(parent, [&](const CXMLNode& child, const std::string& name) {
        if (read(child, name)) child.MarkRead();
    });
}

void ForEachChildElement(const CXMLNode& parent, const std::function<void(const CXMLNode&, const std::string&)>& f)
{
    CXMLNodeList children;
    if (!parent.GetChildren(children)) return;
    CXMLNode child;
    for (int i = 0; children.GetAt(i, child); ++i) {
        CXMLAttributes unused;
        CStr name;
        // Text and comments are not elements: they have no attributes.
        if (child.GetAttributes(unused) && child.GetName(name)) f(child, name.c_str());
        child.Release();
    }
}
