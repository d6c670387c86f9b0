#include "foundation/xml_reader.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "foundation/base64.h"
#include "foundation/xml_text.h"

namespace {

// Raw mode: entity references, line ends and attribute white space stay as
// written, the declaration and processing instructions stay nodes, and
// white-space-only text is skipped.
constexpr unsigned kParseOptions = pugi::parse_declaration | pugi::parse_pi | pugi::parse_cdata;

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

// Byte-order marks and zero bytes at the start mean a wide encoding that the
// parser converts; everything else is taken byte for byte.
pugi::xml_encoding ChooseEncoding(const std::string& bytes)
{
    if (bytes.size() >= 2) {
        auto b0 = static_cast<unsigned char>(bytes[0]);
        auto b1 = static_cast<unsigned char>(bytes[1]);
        if ((b0 == 0xFE && b1 == 0xFF) || (b0 == 0xFF && b1 == 0xFE) || b0 == 0 || b1 == 0)
            return pugi::encoding_auto;
    }
    return pugi::encoding_utf8;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
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

// ---------------------------------------------------------------- CXMLNode

bool CXMLNode::SetTree(pugi::xml_node_struct* tree, const CPath& path)
{
    if (!tree || tree_) return false;
    tree_ = tree;
    value_ = nullptr;
    path_ = path;
    return true;
}

bool CXMLNode::SetValue(const char* value, const CPath& path)
{
    if (!value) return false;
    tree_ = nullptr;
    value_ = value;
    path_ = path;
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
    return child && out.SetTree(child.internal_object(), path_);
}

bool CXMLNode::GetAttributes(CXMLAttributes& out) const
{
    if (!tree_) return false;
    pugi::xml_node node = Node(tree_);
    if (node.type() != pugi::node_element && node.type() != pugi::node_declaration) return false;
    out.Set(tree_, path_);
    return true;
}

bool CXMLNode::GetChildren(CXMLNodeList& out) const
{
    out.Set(tree_, path_);
    return true;
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

void CXMLNodeList::Set(pugi::xml_node_struct* parent, const CPath& path)
{
    parent_ = parent;
    path_ = path;
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
    return out.SetTree(cursor_, path_);
}

// ---------------------------------------------------------- CXMLAttributes

void CXMLAttributes::Set(pugi::xml_node_struct* element, const CPath& path)
{
    element_ = element;
    path_ = path;
}

bool CXMLAttributes::Get(const char* name, CXMLNode& out) const
{
    if (!element_ || !name) return false;
    pugi::xml_attribute attribute = Node(element_).attribute(name);
    return attribute && out.SetValue(attribute.value(), path_);
}

// ------------------------------------------------------------ CXMLDocument

CXMLDocument::CXMLDocument() = default;
CXMLDocument::~CXMLDocument() = default;

bool CXMLDocument::Load(const CPath& path)
{
    Close();
    path_ = path;
    error_.clear();
    std::string bytes;
    if (!ReadWholeFile(path.GetFullPath(), bytes, error_)) return false;
    auto tree = std::make_unique<pugi::xml_document>();
    pugi::xml_parse_result result =
        tree->load_buffer(bytes.data(), bytes.size(), kParseOptions, ChooseEncoding(bytes));
    if (!result) {
        error_ = std::string("not well-formed XML (") + result.description() + ") at byte " +
                 std::to_string(result.offset);
        return false;
    }
    tree_ = std::move(tree);
    return true;
}

void CXMLDocument::Close()
{
    tree_.reset();
}

bool CXMLDocument::GetFirstChild(CXMLNode& out) const
{
    if (!tree_) return false;
    pugi::xml_node child = tree_->first_child();
    return child && out.SetTree(child.internal_object(), path_);
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
