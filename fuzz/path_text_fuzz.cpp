// Any bytes as path text: the input splits at its first zero byte into a
// path and a name. Every text function runs on them; a name put into a
// POSIX folder must come back as the file name, whatever bytes it holds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/path.h"

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t zero = input.find('\0');
    std::string text = input.substr(0, zero);
    std::string name = zero == std::string::npos ? std::string("n") : input.substr(zero + 1);
    name = name.substr(0, name.find('\0'));

    CPath path(text);
    path.GetPathStyle();
    path.IsRelative();
    path.IsDirectoryPath();
    for (int style : {CPath::kPosix, CPath::kHfs, CPath::kWindows}) path.GetFullPath(style);
    path.GetParent(true);
    path.GetFileName(true);
    path.GetExtension(true);
    CPath copy(path);
    copy.RemoveExtension();
    copy.AddTrailingSeparator();
    CPath resolved;
    CPath::ResolveRelativePath(resolved, text, CPath("/tmp/tavrel-fuzz/doc.xml"));

    bool plainName = !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
    if (plainName && path.GetPathStyle() == CPath::kPosix && !path.IsEmpty()) {
        CPath combined;
        CPath::CombineRaw(combined, name, path);
        Check(combined.GetFileName() == name);
        Check(combined.GetParent(true).GetText() == std::string(combined.GetText(), 0, combined.GetText().size() - name.size()));
        CPath renamed(combined);
        renamed.SetFileName(name + "~");
        Check(renamed.GetFileName() == name + "~");
    }
    return 0;
}
