#pragma once
// The show's publish settings and a slide's pop-up window settings. Until
// publishing is built, the publish settings keep the element they were read
// from and write it back as it came; a new one writes an empty element.
#include <string>

#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"

struct CReadContext;

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

// The window a slide's pop-up click opens: its name, size, place and
// options, from the attributes of the element.
class CPopupSettings {
public:
    // context, when given, hears of what is not read as it stands.
    bool ReadXml(const CXMLNode& element, const CReadContext* context = nullptr);
    // What was read, and only that: a pop-up read with a value refused or a
    // name unknown writes back what reads again without a word.
    bool WriteXml(CXMLOutputFile& out) const;
    // A javascript: call that opens url in a window of the stored name,
    // size, place and options (the browser's choice for what is not
    // stored); every text is escaped so that no quote or markup in it can
    // end the call.
    std::string BuildUrl(const std::string& url) const;

    // The attributes that shape the window; unset ones are left to the browser.
    static constexpr const char* kNumbers[] = {"width", "height", "left", "top"};
    static constexpr long kMaxNumber = 100000;
    static constexpr const char* kOptions[] = {"toolbar", "location", "status", "menubar", "scrollbars", "resizable"};
    static constexpr const char* kDefaultWindow = "_blank";
    std::string window = kDefaultWindow;
    long numbers[4] = {-1, -1, -1, -1};  // -1: not stored
    int options[6] = {-1, -1, -1, -1, -1, -1};  // -1 not stored, 0 no, 1 yes
};
