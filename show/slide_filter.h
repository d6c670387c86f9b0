#pragma once
// A slide's image filter as the document sees it: something that writes its
// own "filter" element and can be copied. The filter registry installs a
// reader that makes real filters; until it does, each element is kept as
// read and written back unchanged.
#include <functional>
#include <memory>
#include <string>

#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"

class CImage;

class CSlideFilter {
public:
    virtual ~CSlideFilter() = default;
    virtual std::unique_ptr<CSlideFilter> Clone() const = 0;
    virtual bool WriteXml(CXMLOutputFile& out) const = 0;
    // Changes the picture; the kept form changes nothing.
    virtual bool Apply(CImage&) { return true; }
};

// A filter element kept as markup.
class CKeptFilter : public CSlideFilter {
public:
    explicit CKeptFilter(std::string markup) : markup_(std::move(markup)) {}
    std::unique_ptr<CSlideFilter> Clone() const override { return std::make_unique<CKeptFilter>(*this); }
    bool WriteXml(CXMLOutputFile& out) const override;
    const std::string& GetMarkup() const { return markup_; }

private:
    std::string markup_;
};

// Makes a filter from a child element of "image_filters"; null when the
// element is not a filter it knows.
using SlideFilterReader = std::function<std::unique_ptr<CSlideFilter>(const CXMLNode& element)>;
void SetSlideFilterReader(SlideFilterReader reader);  // empty: back to keeping elements
std::unique_ptr<CSlideFilter> ReadSlideFilter(const CXMLNode& element);
