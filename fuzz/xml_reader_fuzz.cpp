// Any bytes as an XML file: opened, then walked the way settings objects
// read themselves, every getter on every element and attribute. The reader
// must neither crash nor hang, and what it accepts must have one root.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/xml_reader.h"

namespace {

std::string ScratchFile()
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/tavrel_fuzz_" + std::to_string(getpid()) + ".xml";
}

void ReadValue(const CXMLNode& node)
{
    CStr text;
    node.GetText(text, "d");
    node.GetTextUnescaped(text, "d");
    node.GetInt(7);
    node.GetDouble(0.5);
    node.GetBool();
    CPath path;
    node.GetPath(path);
    node.GetDecodedData(text, "d");
    uint8_t buffer[16];
    size_t length = 0;
    node.GetDecodedDataInto(buffer, sizeof buffer, &length);
}

// Iterative, as the nesting depth comes from the input.
void Walk(const CXMLNode& root)
{
    static const char* const names[] = {"name", "value", "key", "path", "a", "version", "encoding"};
    std::vector<CXMLNode> pending{root};
    size_t visited = 0;
    while (!pending.empty() && ++visited < 4096) {
        CXMLNode node = pending.back();
        pending.pop_back();
        CStr name;
        node.GetName(name);
        ReadValue(node);
        CXMLAttributes attributes;
        if (node.GetAttributes(attributes)) {
            for (const char* attribute : names) {
                CXMLNode value;
                if (attributes.Get(attribute, value)) ReadValue(value);
            }
        }
        CXMLNodeList children;
        node.GetChildren(children);
        for (int i = 0, n = children.GetCount(); i < n && i < 64; ++i) {
            CXMLNode child;
            if (children.GetAt(i, child)) pending.push_back(child);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = ScratchFile();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    CXMLInputFile file;
    if (file.Open(CPath(path))) {
        CXMLNode root;
        if (!file.GetRoot(root)) std::abort();  // an accepted document has a first node
        Walk(root);
    } else if (file.GetLastError().empty()) {
        std::abort();  // a refusal always says why
    }
    return 0;
}
