#pragma once
// The show's publish settings and a slide's pop-up window settings. Until
// publishing is built, both keep the element they were read from and write
// it back as it came; a new one writes an empty element.
#include <string>

#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"

// An element kept whole, to be written back unchanged.
class CKeptElement {
public:
    explicit CKeptElement(const char* name) : name_(name) {}
    bool ReadXml(const CXMLNode& element);
    // Under the name the element was read with, or the given one when new.
    bool WriteXml(CXMLOutputFile& out) const;
    void Clear() { markup_.clear(); }
    const std::string& GetMarkup() const { return markup_; }

private:
    std::string name_;
    std::string markup_;
};

class CPublishSettings : public CKeptElement {
public:
    CPublishSettings() : CKeptElement("publish_data") {}
};

class CPopupSettings : public CKeptElement {
public:
    CPopupSettings() : CKeptElement("popup_data") {}
    // A javascript: call that opens url in a new window; the URL is escaped
    // so that no quote or markup in it can end the call.
    static std::string BuildUrl(const std::string& url);
};
