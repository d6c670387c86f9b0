#pragma once
// The XML reader: a whole file parsed into a tree, walked through small
// non-owning handles with typed getters that take a default. Values are read
// raw and unescaped by our own entity rules (xml_text.h), byte for byte.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/path.h"
#include "foundation/str.h"

namespace pugi {
class xml_document;
struct xml_node_struct;
}  // namespace pugi

class CXMLAttributes;
class CXMLNodeList;
class CXMLReadMarks;
struct CXMLUnread;

// One element (or other tree node) or one attribute value of an open
// document. Filled once with a tree; never owns what it points at.
class CXMLNode {
public:
    // marks: where the document notes what its readers took; none for
    // handles made outside a document.
    bool SetTree(pugi::xml_node_struct* tree, const CPath& path, CXMLReadMarks* marks = nullptr);
    bool SetValue(const char* value, const CPath& path);
    void Release();
    bool IsEmpty() const { return !tree_ && !value_; }

    // The element's name (for a text node, its text).
    bool GetName(CStr& out) const;
    // An element's first child (its text, or the name of a first child
    // element), or an attribute value without its line feeds; unescaped.
    // Empty node: out := def and false. Element without children: false,
    // out unchanged.
    bool GetText(CStr& out, const char* def = "") const;
    // GetText with the unescape applied a second time.
    bool GetTextUnescaped(CStr& out, const char* def = "") const;
    // As GetText, but an attribute value keeps its line feeds.
    bool GetTextKeepingLineFeeds(CStr& out) const;
    // The attribute value or first child's text as the file has it, entities
    // and all.
    bool GetRawText(std::string& out) const;
    std::string GetString(const char* def = "") const;
    std::string GetUnescapedString(const char* def = "") const;

    // Typed values of the text, or def when there is none. Integers come
    // back in 64 bits so that unsigned 32-bit values (colours) stay whole.
    long GetInt(long def) const;
    double GetDouble(double def) const;
    // True only for "true" in any case.
    bool GetBool() const;
    // The text as a path; a relative one is resolved against the document's
    // folder, the text kept as the path's given text. False, out unchanged,
    // when there is no text.
    bool GetPath(CPath& out) const;
    // Base64-decoded text as a terminated byte string.
    bool GetDecodedData(CStr& out, const char* def = "") const;
    // Base64-decoded bytes into buffer when they fit capacity.
    bool GetDecodedDataInto(void* buffer, size_t capacity, size_t* length) const;

    bool GetFirstChild(CXMLNode& out) const;
    bool GetAttributes(CXMLAttributes& out) const;
    // Whether an element has at least one attribute.
    bool HasAttributes() const;
    // Byte offset of the element's name in the parsed text; -1 for an
    // attribute value or when unknown.
    long GetOffset() const;
    // Byte offset of the name of the element's attribute in the parsed
    // text; -1 when it has none of that name or the offset is unknown.
    // Neither notes the attribute as read.
    long GetAttributeOffset(const char* name) const;
    // f(name, offset, value as written) for each attribute of the element,
    // in file order.
    void ForEachAttributeOffset(const std::function<void(const char*, long, const char*)>& f) const;
    // The element and what it holds as markup in the writer's form: no
    // indentation, one line per element, values escaped again; comments
    // are left out. Lets unknown parts of a file be written back.
    bool AppendMarkup(std::string& out) const;
    bool GetChildren(CXMLNodeList& out) const;
    bool IsElement() const;
    // The first element after this one and all it holds, in file order.
    bool GetNextElementAfter(CXMLNode& out) const;

    // Notes that a reader took this element (whole: with all it holds).
    // Attributes are noted when looked up (CXMLAttributes::Get).
    void MarkRead(bool whole = false) const;
    // For this element and every element inside it that a reader took (but
    // not whole): each attribute no reader looked up and each element no
    // reader took, whose insides are not walked. Document order, walked
    // without recursion.
    void ForEachUnread(const std::function<void(const CXMLUnread&)>& f) const;

private:
    // Unescaped text; false when there is none.
    bool ReadText(std::string& out, bool keepLineFeeds) const;
    bool TextOrDefault(CStr& out, const char* def, bool unescapeAgain) const;
    bool DecodeBase64(std::string& out) const;

    pugi::xml_node_struct* tree_ = nullptr;
    const char* value_ = nullptr;
    CPath path_;
    CXMLReadMarks* marks_ = nullptr;
};

// A name a read left over: an attribute, or an element (of which nothing
// inside is named), of an element that was read.
struct CXMLUnread {
    CXMLNode holder;  // the element read
    std::string name;
    bool attribute = false;
    long offset = -1;  // of the name in the parsed text
};

// The children of one element, in document order.
class CXMLNodeList {
public:
    void Set(pugi::xml_node_struct* parent, const CPath& path, CXMLReadMarks* marks = nullptr);
    int GetCount() const;
    bool GetAt(int index, CXMLNode& out) const;

private:
    pugi::xml_node_struct* parent_ = nullptr;
    CPath path_;
    CXMLReadMarks* marks_ = nullptr;
    // Walking forward from the last child handed out keeps loops linear.
    mutable int cursorIndex_ = -1;
    mutable pugi::xml_node_struct* cursor_ = nullptr;
};

// The attributes of one element, looked up by case-sensitive name. An
// attribute looked up is noted as read.
class CXMLAttributes {
public:
    void Set(pugi::xml_node_struct* element, const CPath& path, CXMLReadMarks* marks = nullptr);
    bool Get(const char* name, CXMLNode& out) const;

private:
    pugi::xml_node_struct* element_ = nullptr;
    CPath path_;
    CXMLReadMarks* marks_ = nullptr;
};

// A parsed XML file. Handles taken from it are valid until Close.
class CXMLDocument {
public:
    CXMLDocument();
    ~CXMLDocument();
    CXMLDocument(const CXMLDocument&) = delete;
    CXMLDocument& operator=(const CXMLDocument&) = delete;

    bool Load(const CPath& path);
    void Close();
    bool IsOpen() const { return tree_ != nullptr; }
    bool GetFirstChild(CXMLNode& out) const;
    // The one element at the top, after any declaration or instruction.
    bool GetRootElement(CXMLNode& out) const;
    const CPath& GetPath() const { return path_; }
    // Forgets what earlier reads took (see CXMLNode::ForEachUnread).
    void ClearReadMarks() const;
    // The first element, in file order, nested deeper than limit (the root
    // element is at 1): true with it in out. Walked without recursion.
    bool FindNestedPast(int limit, CXMLNode& out) const;
    // Why the last Load failed, for messages.
    const std::string& GetLastError() const { return error_; }
    // Whether the file's text is Unicode: UTF-16, UTF-8 it declares
    // (encoding="utf-8" on its declaration or first element), or bytes from
    // 0x80 that all form UTF-8. Otherwise such bytes are the text's own.
    bool IsUnicodeText() const { return unicode_; }

protected:
    std::unique_ptr<pugi::xml_document> tree_;
    std::unique_ptr<CXMLReadMarks> marks_;
    std::vector<char> buffer_;  // the file's text, which the tree points into
    CPath path_;
    std::string error_;
    bool unicode_ = false;
};

// A document plus the encoding its first node names.
class CXMLInputFile : public CXMLDocument {
public:
    enum Encoding { kEncodingUnknown = 0, kEncodingUTF8 = 1, kEncodingUTF16 = 2 };

    bool Open(const CPath& path);
    // The first node: the "xml" element in files of our own form.
    bool GetRoot(CXMLNode& out) const { return GetFirstChild(out); }
    int GetEncoding() const { return encoding_; }

private:
    int encoding_ = kEncodingUnknown;
};
