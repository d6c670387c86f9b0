#include "show/slide_filter.h"

#include "show/prefs_record.h"

namespace {
SlideFilterReader& Reader()
{
    static SlideFilterReader reader;
    return reader;
}
}  // namespace

bool CKeptFilter::WriteXml(CXMLOutputFile& out) const
{
    out.Write(std::string_view(markup_));
    return true;
}

void SetSlideFilterReader(SlideFilterReader reader)
{
    Reader() = std::move(reader);
}

std::unique_ptr<CSlideFilter> ReadSlideFilter(const CXMLNode& element)
{
    if (Reader()) return Reader()(element);
    std::string markup;
    if (!element.AppendMarkup(markup)) return nullptr;
    return std::make_unique<CKeptFilter>(std::move(markup));
}

CPrefsRecord& GetPrefsRecord()
{
    static CPrefsRecord record;
    return record;
}
