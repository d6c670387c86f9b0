#include "foundation/xml_reader.h"

#include <pugixml.hpp>

#include <iconv.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "foundation/base64.h"
#include "foundation/xml_text.h"
#include "platform/cfstring.h"
#include "platform/regular_file.h"

namespace {

// Raw mode: entity references, line ends and attribute white space stay as
// written, the declaration and processing instructions stay nodes, and
// white-space-only text is skipped.
// Fragment mode keeps text outside the root element in the tree, so that it
// can be refused.
constexpr unsigned kParseOptions =
    pugi::parse_declaration | pugi::parse_pi | pugi::parse_cdata | pugi::parse_fragment;

pugi::xml_node Node(pugi::xml_node_struct* tree)
{
    return pugi::xml_node(tree);
}

// What the tree parser calls a node's string: the name of an element,
// declaration or instruction, the text of a text node.
const char* NodeString(pugi::xml_node node)
{
    switch (node.type()) {
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
        return node.value();
    case pugi::node_element:
    case pugi::node_declaration:
    case pugi::node_pi:
        return node.name();
    default:
        return nullptr;
    }
}

// A byte-order mark, or the zero bytes around a leading "<", name a wide
// encoding, converted to UTF-8 for parsing; anything else is taken byte for
// byte. Null: no conversion.
const char* WideEncoding(const std::string& bytes, size_t* bomLength)
{
    auto at = [&](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0x100u; };
    struct Mark {
        unsigned b[4];
        size_t length;  // bytes of the mark, 0 when it is the text itself
        const char* encoding;
    };
    static const Mark marks[] = {
        {{0x00, 0x00, 0xFE, 0xFF}, 4, "UTF-32BE"}, {{0xFF, 0xFE, 0x00, 0x00}, 4, "UTF-32LE"},
        {{0xFE, 0xFF, 0x100, 0x100}, 2, "UTF-16BE"}, {{0xFF, 0xFE, 0x100, 0x100}, 2, "UTF-16LE"},
        {{0x00, 0x00, 0x00, 0x3C}, 0, "UTF-32BE"}, {{0x3C, 0x00, 0x00, 0x00}, 0, "UTF-32LE"},
        {{0x00, 0x3C, 0x100, 0x100}, 0, "UTF-16BE"}, {{0x3C, 0x00, 0x100, 0x100}, 0, "UTF-16LE"},
    };
    for (const Mark& mark : marks) {
        bool match = true;
        for (size_t i = 0; i < 4 && match; ++i) match = mark.b[i] == 0x100u || at(i) == mark.b[i];
        if (match) {
            *bomLength = mark.length;
            return mark.encoding;
        }
    }
    return nullptr;
}

bool WideToUtf8(const std::string& bytes, std::string& out, std::string& error)
{
    size_t bom = 0;
    const char* encoding = WideEncoding(bytes, &bom);
    if (!encoding) {
        out = bytes;
        return true;
    }
    iconv_t cd = iconv_open("UTF-8", encoding);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        error = std::string("cannot read ") + encoding + " text";
        return false;
    }
    out.assign((bytes.size() - bom) * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data()) + bom;
    size_t inLeft = bytes.size() - bom;
    char* to = out.data();
    size_t toLeft = out.size();
    bool ok = true;
    while (inLeft > 0 && ok) {
        if (iconv(cd, &in, &inLeft, &to, &toLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(to - out.data());
            out.resize(out.size() * 2);
            to = out.data() + used;
            toLeft = out.size() - used;
        } else {
            ok = false;
        }
    }
    iconv_close(cd);
    if (!ok) {
        error = std::string("not well-formed XML (invalid ") + encoding + " text at byte " +
                std::to_string(static_cast<size_t>(in - bytes.data())) + ")";
        return false;
    }
    out.resize(static_cast<size_t>(to - out.data()));
    return true;
}

// "line L, column C" (both from 1, columns in bytes) of an offset in text.
std::string Position(const std::string& text, size_t offset)
{
    offset = std::min(offset, text.size());
    size_t line = 1, lineStart = 0;
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - lineStart + 1);
}

// What the parser found wrong, in our words, by its status; atEnd: nothing
// but white space follows the fault.
std::string ParseFault(pugi::xml_parse_status status, bool atEnd)
{
    switch (status) {
        case pugi::status_out_of_memory:
            return "out of memory";
        case pugi::status_unrecognized_tag:
            return "a \"<\" that begins no tag";
        case pugi::status_bad_pi:
            return "a damaged \"<?...?>\"";
        case pugi::status_bad_comment:
            return "a damaged comment";
        case pugi::status_bad_cdata:
            return "a damaged CDATA section";
        case pugi::status_bad_doctype:
            return "a damaged DOCTYPE";
        case pugi::status_bad_pcdata:
            return "damaged text";
        case pugi::status_bad_start_element:
            return "a damaged start tag";
        case pugi::status_bad_attribute:
            return "a damaged attribute";
        case pugi::status_bad_end_element:
            return "a damaged end tag";
        case pugi::status_end_element_mismatch:
            return atEnd ? "an element not closed before the end" : "an end tag that does not match the element it closes";
        case pugi::status_no_document_element:
            return "no root element";
        default:
            break;
    }
    return "the parser failed";
}

// What the parser lets through but a well-formed document may not hold:
// other than exactly one root element, text outside it, an attribute named
// twice in one element, a raw "<" in an attribute value. The tree is walked
// without recursion, as nesting depth comes from the file. Returns where the
// fault lies (a pointer into the parsed buffer) or null.
const char* FindMalformed(const pugi::xml_document& doc, std::string& what)
{
    int roots = 0;
    for (pugi::xml_node node = doc.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_element) {
            if (++roots > 1) {
                what = "a second root element";
                return node.name();
            }
        } else if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
            what = "text outside the root element";
            const char* text = node.value();
            return text + std::strspn(text, " \t\r\n");
        }
    }
    if (roots == 0) {
        what = "no root element";
        return nullptr;
    }
    std::unordered_set<std::string_view> names;
    pugi::xml_node node = doc.first_child();
    while (node) {
        names.clear();
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
            if (!names.insert(a.name()).second) {
                what = std::string("attribute \"") + a.name() + "\" given twice";
                return a.name();
            }
            if (const char* lt = std::strchr(a.value(), '<')) {
                what = "\"<\" in an attribute value";
                return lt;
            }
        }
        if (pugi::xml_node child = node.first_child()) {
            node = child;
            continue;
        }
        while (node && !node.next_sibling()) node = node.parent();
        if (node) node = node.next_sibling();
    }
    return nullptr;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error)
{
    std::string why;
    std::FILE* file = platform::OpenRegularStream(path, &why);
    if (!file) {
        error = "cannot open " + path + ": " + why;
        return false;
    }
    out.clear();
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
    bool ok = !std::ferror(file);
    std::fclose(file);
    if (!ok) error = "cannot read " + path;
    return ok;
}

}  // namespace

// What the readers of one document took: attributes and elements by their
// nodes in the tree.
class CXMLReadMarks {
public:
    void Clear()
    {
        read_.clear();
        whole_.clear();
    }
    void Mark(const void* item, bool whole)
    {
        read_.insert(item);
        if (whole) whole_.insert(item);
    }
    bool IsRead(const void* item) const { return read_.count(item) != 0; }
    bool IsWhole(const void* item) const { return whole_.count(item) != 0; }

private:
    std::unordered_set<const void*> read_, whole_;
};

// ---------------------------------------------------------------- CXMLNode

bool CXMLNode::SetTree(pugi::xml_node_struct* tree, const CPath& path, CXMLReadMarks* marks)
{
    if (!tree || tree_) return false;
    tree_ = tree;
    value_ = nullptr;
    path_ = path;
    marks_ = marks;
    return true;
}

bool CXMLNode::SetValue(const char* value, const CPath& path)
{
    if (!value) return false;
    tree_ = nullptr;
    value_ = value;
    path_ = path;
    marks_ = nullptr;
    return true;
}

void CXMLNode::Release()
{
    tree_ = nullptr;
    value_ = nullptr;
}

bool CXMLNode::GetName(CStr& out) const
{
    if (!tree_) return false;
    const char* name = NodeString(Node(tree_));
    return name && out.Assign(name);
}

bool CXMLNode::GetRawText(std::string& out) const
{
    if (value_) {
        out = value_;
        return true;
    }
    if (!tree_) return false;
    pugi::xml_node child = Node(tree_).first_child();
    const char* text = child ? NodeString(child) : nullptr;
    if (!text) return false;
    out = text;
    return true;
}

bool CXMLNode::ReadText(std::string& out, bool keepLineFeeds) const
{
    if (value_) {
        out = xmltext::Unescape(value_);
        if (!keepLineFeeds) std::erase(out, '\n');
        return true;
    }
    if (!tree_) return false;
    pugi::xml_node child = Node(tree_).first_child();
    if (!child) return false;
    const char* text = NodeString(child);
    if (!text) return false;
    out = xmltext::Unescape(text);
    return true;
}

bool CXMLNode::TextOrDefault(CStr& out, const char* def, bool unescapeAgain) const
{
    if (IsEmpty()) {
        if (def) out.Assign(def);
        return false;
    }
    std::string text;
    if (!ReadText(text, false)) return false;
    return out.Assign(unescapeAgain ? xmltext::Unescape(text).c_str() : text.c_str());
}

bool CXMLNode::GetText(CStr& out, const char* def) const
{
    return TextOrDefault(out, def, false);
}

bool CXMLNode::GetTextUnescaped(CStr& out, const char* def) const
{
    return TextOrDefault(out, def, true);
}

bool CXMLNode::GetTextKeepingLineFeeds(CStr& out) const
{
    std::string text;
    return ReadText(text, true) && out.Assign(text.c_str());
}

std::string CXMLNode::GetString(const char* def) const
{
    CStr text;
    return GetText(text, def) ? std::string(text.c_str()) : std::string();
}

std::string CXMLNode::GetUnescapedString(const char* def) const
{
    CStr text;
    return GetTextUnescaped(text, def) ? std::string(text.c_str()) : std::string();
}

long CXMLNode::GetInt(long def) const
{
    std::string text;
    return ReadText(text, false) ? xmltext::ParseLong(text.c_str()) : def;
}

double CXMLNode::GetDouble(double def) const
{
    std::string text;
    return ReadText(text, false) ? xmltext::ParseDouble(text.c_str()) : def;
}

bool CXMLNode::GetBool() const
{
    std::string text;
    return ReadText(text, false) && strcasecmp(text.c_str(), "true") == 0;
}

bool CXMLNode::GetPath(CPath& out) const
{
    std::string text;
    if (!ReadText(text, false)) return false;
    out.AssignCString(text.c_str());
    if (out.IsRelative()) {
        CPath::ResolveRelativePath(out, text, path_);
        out.MakePosix(out);
    }
    out.SetGivenText(text);
    return true;
}

bool CXMLNode::DecodeBase64(std::string& out) const
{
    std::string text;
    if (!ReadText(text, false)) return false;
    CBase64 decoder;
    if (!decoder.Decode(text.data(), text.size())) return false;
    out.assign(reinterpret_cast<const char*>(decoder.GetData()), decoder.GetLength());
    return true;
}

bool CXMLNode::GetDecodedData(CStr& out, const char* def) const
{
    std::string bytes;
    if (!DecodeBase64(bytes)) {
        if (def) out.Assign(def);
        return false;
    }
    // A terminated byte string: an embedded zero ends it.
    return out.Assign(bytes.c_str());
}

bool CXMLNode::GetDecodedDataInto(void* buffer, size_t capacity, size_t* length) const
{
    std::string bytes;
    if (!buffer || !DecodeBase64(bytes) || bytes.size() > capacity) return false;
    std::memcpy(buffer, bytes.data(), bytes.size());
    if (length) *length = bytes.size();
    return true;
}

bool CXMLNode::GetFirstChild(CXMLNode& out) const
{
    if (!tree_) return false;
    pugi::xml_node child = Node(tree_).first_child();
    return child && out.SetTree(child.internal_object(), path_, marks_);
}

bool CXMLNode::GetAttributes(CXMLAttributes& out) const
{
    if (!tree_) return false;
    pugi::xml_node node = Node(tree_);
    if (node.type() != pugi::node_element && node.type() != pugi::node_declaration) return false;
    out.Set(tree_, path_, marks_);
    return true;
}

bool CXMLNode::GetChildren(CXMLNodeList& out) const
{
    out.Set(tree_, path_, marks_);
    return true;
}

bool CXMLNode::IsElement() const
{
    return tree_ && Node(tree_).type() == pugi::node_element;
}

bool CXMLNode::GetNextElementAfter(CXMLNode& out) const
{
    if (!tree_) return false;
    for (pugi::xml_node node = Node(tree_); node; node = node.parent())
        for (pugi::xml_node next = node.next_sibling(); next; next = next.next_sibling())
            if (next.type() == pugi::node_element) return out.SetTree(next.internal_object(), path_, marks_);
    return false;
}

void CXMLNode::MarkRead(bool whole) const
{
    if (tree_ && marks_) marks_->Mark(tree_, whole);
}

namespace {

// Attribute names lie in the parsed text after their element's own.
long AttributeOffset(pugi::xml_node element, pugi::xml_attribute attribute)
{
    const long offset = static_cast<long>(element.offset_debug());
    return offset < 0 ? -1 : offset + long(attribute.name() - element.name());
}

}  // namespace

void CXMLNode::ForEachUnread(const std::function<void(const CXMLUnread&)>& f) const
{
    if (!IsElement() || !marks_) return;
    auto say = [&](pugi::xml_node holder, const char* name, bool attribute, long offset) {
        CXMLUnread unread;
        unread.holder.SetTree(holder.internal_object(), path_, marks_);
        unread.name = name;
        unread.attribute = attribute;
        unread.offset = offset;
        f(unread);
    };
    // Children are pushed last first, so that they come off in file order.
    std::vector<pugi::xml_node> stack{Node(tree_)};
    while (!stack.empty()) {
        const pugi::xml_node node = stack.back();
        stack.pop_back();
        const long offset = static_cast<long>(node.offset_debug());
        if (node != Node(tree_)) {
            if (!marks_->IsRead(node.internal_object())) {
                say(node.parent(), node.name(), false, offset);
                continue;
            }
            if (marks_->IsWhole(node.internal_object())) continue;
        }
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
            if (!marks_->IsRead(a.internal_object())) say(node, a.name(), true, AttributeOffset(node, a));
        const size_t first = stack.size();
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
            if (child.type() == pugi::node_element) stack.push_back(child);
        std::reverse(stack.begin() + long(first), stack.end());
    }
}

bool CXMLNode::HasAttributes() const
{
    return tree_ && Node(tree_).first_attribute();
}

long CXMLNode::GetOffset() const
{
    if (!tree_) return -1;
    return static_cast<long>(Node(tree_).offset_debug());
}

long CXMLNode::GetAttributeOffset(const char* name) const
{
    if (!IsElement() || !name) return -1;
    const pugi::xml_attribute attribute = Node(tree_).attribute(name);
    return attribute ? AttributeOffset(Node(tree_), attribute) : -1;
}

void CXMLNode::ForEachAttributeOffset(const std::function<void(const char*, long, const char*)>& f) const
{
    if (!IsElement()) return;
    for (pugi::xml_attribute a = Node(tree_).first_attribute(); a; a = a.next_attribute())
        f(a.name(), AttributeOffset(Node(tree_), a), a.value());
}

namespace {

bool IsText(pugi::xml_node node)
{
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// Elements holding text are written on one line, with no line feeds of
// their own between the parts, so that reading the markup back gives the
// same text and writing it again the same markup.
void AppendElementMarkup(std::string& out, pugi::xml_node node, bool lineFeed)
{
    if (IsText(node)) {
        xmltext::AppendEscaped(out, xmltext::Unescape(node.value()));
        return;
    }
    if (node.type() != pugi::node_element) return;
    out += '<';
    out += node.name();
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        out += ' ';
        out += a.name();
        out += "=\"";
        xmltext::AppendEscaped(out, xmltext::Unescape(a.value()));
        out += '"';
    }
    bool hasContent = false, hasText = false;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        hasContent |= IsText(child) || child.type() == pugi::node_element;
        hasText |= IsText(child);
    }
    if (!hasContent) {
        out += lineFeed ? " />\n" : " />";
        return;
    }
    bool childLineFeeds = lineFeed && !hasText;
    out += childLineFeeds ? ">\n" : ">";
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        AppendElementMarkup(out, child, childLineFeeds);
    out += "</";
    out += node.name();
    out += lineFeed ? ">\n" : ">";
}

}  // namespace

bool CXMLNode::AppendMarkup(std::string& out) const
{
    if (!tree_ || Node(tree_).type() != pugi::node_element) return false;
    AppendElementMarkup(out, Node(tree_), true);
    return true;
}

// ------------------------------------------------------------ CXMLNodeList

void CXMLNodeList::Set(pugi::xml_node_struct* parent, const CPath& path, CXMLReadMarks* marks)
{
    parent_ = parent;
    path_ = path;
    marks_ = marks;
    cursorIndex_ = -1;
    cursor_ = nullptr;
}

int CXMLNodeList::GetCount() const
{
    int count = 0;
    for (pugi::xml_node child = Node(parent_).first_child(); child; child = child.next_sibling()) ++count;
    return count;
}

bool CXMLNodeList::GetAt(int index, CXMLNode& out) const
{
    if (!parent_ || index < 0) return false;
    pugi::xml_node child;
    int at = 0;
    if (cursor_ && cursorIndex_ <= index) {
        child = Node(cursor_);
        at = cursorIndex_;
    } else {
        child = Node(parent_).first_child();
    }
    for (; child && at < index; ++at) child = child.next_sibling();
    if (!child) return false;
    cursor_ = child.internal_object();
    cursorIndex_ = index;
    return out.SetTree(cursor_, path_, marks_);
}

// ---------------------------------------------------------- CXMLAttributes

void CXMLAttributes::Set(pugi::xml_node_struct* element, const CPath& path, CXMLReadMarks* marks)
{
    element_ = element;
    path_ = path;
    marks_ = marks;
}

bool CXMLAttributes::Get(const char* name, CXMLNode& out) const
{
    if (!element_ || !name) return false;
    pugi::xml_attribute attribute = Node(element_).attribute(name);
    if (!attribute) return false;
    if (marks_) marks_->Mark(attribute.internal_object(), false);
    return out.SetValue(attribute.value(), path_);
}

// ------------------------------------------------------------ CXMLDocument

namespace {

// encoding="utf-8" on the declaration or on the first element.
bool DeclaresUtf8(const pugi::xml_document& tree)
{
    for (pugi::xml_node node = tree.first_child(); node; node = node.next_sibling()) {
        if (node.type() != pugi::node_declaration && node.type() != pugi::node_element) continue;
        const char* encoding = node.attribute("encoding").value();
        if (strcasecmp(encoding, "utf-8") == 0 || strcasecmp(encoding, "utf8") == 0) return true;
        if (node.type() == pugi::node_element) break;
    }
    return false;
}

}  // namespace

CXMLDocument::CXMLDocument() : marks_(std::make_unique<CXMLReadMarks>()) {}
CXMLDocument::~CXMLDocument() = default;

bool CXMLDocument::Load(const CPath& path)
{
    Close();
    path_ = path;
    error_.clear();
    std::string text;
    bool wide = false;
    {
        std::string bytes;
        if (!ReadWholeFile(path.GetFullPath(), bytes, error_) || !WideToUtf8(bytes, text, error_)) return false;
        size_t bom = 0;
        wide = WideEncoding(bytes, &bom) != nullptr;
    }
    // Parsed in place, so that every name and value points into buffer_ and
    // tells where it stands in the file.
    std::vector<char> buffer(text.begin(), text.end());
    if (buffer.empty()) {
        error_ = "not well-formed XML (no root element) at line 1, column 1";
        return false;
    }
    auto tree = std::make_unique<pugi::xml_document>();
    pugi::xml_parse_result result =
        tree->load_buffer_inplace(buffer.data(), buffer.size(), kParseOptions, pugi::encoding_utf8);
    std::string what;
    size_t offset = text.size();
    if (!result) {
        offset = static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0));
        what = ParseFault(result.status, text.find_first_not_of(" \t\r\n", offset) == std::string::npos);
    } else if (const char* at = FindMalformed(*tree, what)) {
        offset = static_cast<size_t>(at - buffer.data());
    }
    if (!what.empty()) {
        error_ = "not well-formed XML (" + what + ") at " + Position(text, offset);
        return false;
    }
    buffer_ = std::move(buffer);  // the characters stay where they are
    tree_ = std::move(tree);
    unicode_ = wide || DeclaresUtf8(*tree_) ||
               (std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; }) &&
                platform::IsUtf8(text.data(), text.size()));
    return true;
}

void CXMLDocument::Close()
{
    marks_->Clear();
    tree_.reset();
    unicode_ = false;
    buffer_ = std::vector<char>();
}

bool CXMLDocument::GetFirstChild(CXMLNode& out) const
{
    if (!tree_) return false;
    pugi::xml_node child = tree_->first_child();
    return child && out.SetTree(child.internal_object(), path_, marks_.get());
}

bool CXMLDocument::GetRootElement(CXMLNode& out) const
{
    if (!tree_) return false;
    for (pugi::xml_node node = tree_->first_child(); node; node = node.next_sibling())
        if (node.type() == pugi::node_element) return out.SetTree(node.internal_object(), path_, marks_.get());
    return false;
}

void CXMLDocument::ClearReadMarks() const
{
    marks_->Clear();
}

bool CXMLDocument::FindNestedPast(int limit, CXMLNode& out) const
{
    if (!tree_) return false;
    int depth = 0;
    pugi::xml_node node = tree_->first_child();
    while (node) {
        if (node.type() == pugi::node_element) {
            if (++depth > limit) return out.SetTree(node.internal_object(), path_, marks_.get());
            if (pugi::xml_node child = node.first_child()) {
                node = child;
                continue;
            }
            --depth;
        }
        while (node && !node.next_sibling()) {
            node = node.parent();
            if (node.type() == pugi::node_element) --depth;
        }
        if (node) node = node.next_sibling();
    }
    return false;
}

// ----------------------------------------------------------- CXMLInputFile

bool CXMLInputFile::Open(const CPath& path)
{
    encoding_ = kEncodingUnknown;
    if (!Load(path)) return false;
    pugi::xml_node first = tree_->first_child();
    if (pugi::xml_attribute encoding = first.attribute("encoding")) {
        if (std::strcmp(encoding.value(), "UTF-8") == 0)
            encoding_ = kEncodingUTF8;
        else if (std::strcmp(encoding.value(), "UTF-16") == 0)
            encoding_ = kEncodingUTF16;
    }
    return true;
}
