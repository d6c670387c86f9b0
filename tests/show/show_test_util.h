#pragma once
// Helpers of the document tests: pictures on disk, projects written to and
// read from text.
#include <functional>
#include <string>

#include "show/project_file.h"
#include "support/test_support.h"

namespace show_test {

// A real JPEG of the given size, one colour.
std::string WriteJpeg(const tavrel_test::TempDir& dir, const std::string& name, int w, int h);
// A PNG header of the given size: enough for a slide, which reads sizes only.
std::string WritePngHeader(const tavrel_test::TempDir& dir, const std::string& name, int w, int h);

// The project file's bytes for a show.
std::string ProjectText(const tavrel_test::TempDir& dir, const CSlideShow& show,
                        const CPublishSettings& publish = CPublishSettings());
// Reads project text into a reset show; false when it is not a project.
bool ReadProjectText(const tavrel_test::TempDir& dir, const std::string& text, CSlideShow& show,
                     CReadContext* context = nullptr, CPublishSettings* publish = nullptr);
// A project file around a "slide_show" element's text.
std::string WrapShow(const std::string& slideShowElement);

// Parses one element's text; node is valid while document lives.
bool ParseElement(const tavrel_test::TempDir& dir, const std::string& text, CXMLDocument& document, CXMLNode& node);
// What a writer puts out, without the outer element.
std::string Written(const tavrel_test::TempDir& dir, const std::function<void(CXMLOutputFile&)>& write);

}  // namespace show_test
