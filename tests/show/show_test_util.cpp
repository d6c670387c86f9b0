#include "show_test_util.h"

#include <cstdlib>
#include <vector>

#include "media/jpeg_image.h"

namespace show_test {

namespace {

// With TAVREL_PROJECT_SEEDS set, every project the tests write or read is
// also kept in that folder, to seed the project reader's fuzzer.
void KeepSeed(const std::string& text)
{
    static int count = 0;
    const char* folder = std::getenv("TAVREL_PROJECT_SEEDS");
    if (folder && *folder) tavrel_test::WriteFile(std::string(folder) + "/" + std::to_string(++count) + ".tvr", text);
}

}  // namespace

std::string WriteJpeg(const tavrel_test::TempDir& dir, const std::string& name, int w, int h)
{
    std::vector<uint8_t> rgb(size_t(w) * h * 3, 0x80);
    CJpegImage jpeg;
    if (!jpeg.Compress(w, h, 24, rgb.data())) return "";
    std::string path = dir.file(name);
    tavrel_test::WriteFile(path, std::string(reinterpret_cast<char*>(jpeg.pixels), jpeg.compressedSize));
    return path;
}

std::string WritePngHeader(const tavrel_test::TempDir& dir, const std::string& name, int w, int h)
{
    std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (uint32_t v : {uint32_t(w), uint32_t(h)})
        for (int s = 24; s >= 0; s -= 8) bytes += char(v >> s);
    bytes += std::string("\x08\x02\0\0\0", 5);
    std::string path = dir.file(name);
    tavrel_test::WriteFile(path, bytes);
    return path;
}

std::string ProjectText(const tavrel_test::TempDir& dir, const CSlideShow& show, const CPublishSettings& publish)
{
    std::string path = dir.file("written.tvr");
    if (!SaveProject(CPath(path), show, publish)) return "";
    std::string text = tavrel_test::ReadFile(path);
    KeepSeed(text);
    return text;
}

bool ReadProjectText(const tavrel_test::TempDir& dir, const std::string& text, CSlideShow& show, CReadContext* context,
                     CPublishSettings* publish)
{
    std::string path = dir.file("read.tvr");
    tavrel_test::WriteFile(path, text);
    KeepSeed(text);
    CPublishSettings own;
    return OpenProject(CPath(path), show, publish ? *publish : own, context) == ProjectOpenError::kNone;
}

std::string WrapShow(const std::string& slideShowElement)
{
    return "<xml version=\"1.0\">\n<tavrel version_major=\"1\" version_minor=\"122\">\n" + slideShowElement +
           "</tavrel>\n\n</xml>\n";
}

bool ParseElement(const tavrel_test::TempDir& dir, const std::string& text, CXMLDocument& document, CXMLNode& node)
{
    std::string path = dir.file("element.xml");
    tavrel_test::WriteFile(path, text);
    node.Release();
    return document.Load(CPath(path)) && document.GetFirstChild(node);
}

std::string Written(const tavrel_test::TempDir& dir, const std::function<void(CXMLOutputFile&)>& write)
{
    std::string path = dir.file("element-out.xml");
    CXMLWriteOptions options;
    options.writeDeclaration = false;
    CXMLOutputFile out;
    if (!out.Open(CPath(path), options, true)) return "";
    write(out);
    if (!out.Close()) return "";
    std::string text = tavrel_test::ReadFile(path);
    // The close adds a line feed of its own.
    if (!text.empty()) text.pop_back();
    return text;
}

}  // namespace show_test
