#pragma once
// Reading a slide's image filters: each "filter" element becomes a clone of
// the registered prototype it names.
#include <memory>

#include "foundation/xml_reader.h"
#include "media/image_filter.h"

// A new filter from a child element of "image_filters"; null when the
// element names no registered filter. List 0 is made on first need, so a
// project read before the editor registers it keeps its filters.
std::unique_ptr<CImageFilter> ReadSlideFilter(const CXMLNode& element);
