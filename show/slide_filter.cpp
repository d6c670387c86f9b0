#include "show/slide_filter.h"

#include "show/prefs_record.h"

std::unique_ptr<CImageFilter> ReadSlideFilter(const CXMLNode& element)
{
    CImageFilterList* list = CImageFilterList::FindById(0);
    if (!list) {
        list = CImageFilterList::Register(0);
        list->CreatePrototypes();
    }
    return list->ReadXML(element);
}

CPrefsRecord& GetPrefsRecord()
{
    static CPrefsRecord record;
    return record;
}
