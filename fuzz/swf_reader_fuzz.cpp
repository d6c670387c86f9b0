// Any bytes as a movie: read from memory (and, for compressed movies, from a
// file through the expansion), then everything a template user does with the
// tags. The reader must neither crash nor hang nor read out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "template_use.h"

namespace {

void UseTags(CSwfReader& reader)
{
    UseTemplateTags(reader);
    reader.ClearTags(true);
}

std::string ScratchFile()
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/tavrel_fuzz_" + std::to_string(getpid()) + ".swf";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CSwfReader memory;
    if (memory.OpenMemory(data, size, true, 0, true)) UseTags(memory);
    // Without a signature the same bytes begin at the length field.
    CSwfReader unsigned_;
    if (unsigned_.OpenMemory(data, size, false, 0, true)) UseTags(unsigned_);

    if (size >= 3 && data[0] == 'C') {
        static const std::string path = ScratchFile();
        if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(data, 1, size, f);
            std::fclose(f);
            CSwfReader fromFile;
            if (fromFile.Parse(CPath(path), true, 0, true)) UseTags(fromFile);
            CSwfFileReader fileReader;
            if (fileReader.OpenFile(CPath(path))) {
                fileReader.ParseAllTags();
                UseTags(fileReader);
            }
            std::remove(path.c_str());
        }
    }
    return 0;
}
