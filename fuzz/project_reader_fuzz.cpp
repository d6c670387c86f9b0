// Any bytes as a project file: read (missing pictures looked for in one
// folder, else dropped; missing sounds emptied), written back, read and
// written again. Nothing may crash or leak, and the second writing must
// give the bytes of the first: what we write, we read back whole.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_files.h"
#include "show/project_file.h"

namespace {

std::string gFolder;

using fuzz_files::WriteBytes;

std::string ReadBytes(const std::string& path)
{
    std::string out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    std::fclose(f);
    return out;
}

// Reads the file at path and writes it to out; false when it is not a project.
bool ReadAndWrite(const std::string& path, const std::string& out)
{
    CEditorSlideShow show;
    CPublishSettings publish;
    CFolderRelocator folder({CPath(gFolder)});
    CReadContext context;
    context.relocator = &folder;
    context.dropMissingSilently = true;
    if (OpenProject(CPath(path), show, publish, &context) != ProjectOpenError::kNone) return false;
    return SaveProject(CPath(out), show, publish);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gFolder = fuzz_files::MakeFolder("tavrel-project-fuzz");
    // Pictures under the names the test projects give their slides.
    const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0,   0, 0, 13, 'I', 'H', 'D',
                                 'R',  0,   0,   1,   0,    0,    0,    0,    200, 8, 2, 0,  0,   0};
    for (const char* name : {"slide 0.png", "slide 1.png", "slide 2.png", "p.png", "pic.png", "here.png", "s1.png"})
        WriteBytes(gFolder + "/" + name, png, sizeof png);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = gFolder + "/input.tvr", first = gFolder + "/first.tvr", second = gFolder + "/second.tvr";
    if (!WriteBytes(input, data, size)) std::abort();
    if (!ReadAndWrite(input, first)) return 0;
    if (!ReadAndWrite(first, second)) std::abort();  // our own file refused
    if (ReadBytes(first) != ReadBytes(second)) std::abort();
    return 0;
}
