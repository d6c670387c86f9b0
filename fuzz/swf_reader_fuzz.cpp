// Any bytes as a movie: read from memory (and, for compressed movies, from a
// file through the expansion), then everything a template user does with the
// tags. The reader must neither crash nor hang nor read out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "template_use.h"

namespace {

// Longer inputs add no new paths, only time: every tag kind fits well within.
constexpr size_t kMaxInput = 16 * 1024;
// Clips imported per movie; each import walks the whole list.
constexpr size_t kMaxImports = 2;

void UseTags(CSwfReader& reader)
{
    UseTemplateTags(reader, kMaxImports);
    reader.ClearTags(true);
}

std::string ScratchFile()
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/tavrel_fuzz_" + std::to_string(getpid()) + ".swf";
}

}  // namespace

// A movie's tags are many small objects. Recording the stack of every
// allocation took a third of the time, and a 256 MB quarantine made each
// allocation a cache miss; one input frees far less than 32 MB, so a freed
// object stays poisoned for the rest of its run. Reports still give the
// faulting stack; ASAN_OPTIONS=malloc_context_size=30 adds where memory came from.
extern "C" const char* __asan_default_options() { return "malloc_context_size=0:quarantine_size_mb=32"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput) return 0;
    CSwfReader memory;
    const bool isMovie = memory.OpenMemory(data, size, true, 0, true);
    if (isMovie) UseTags(memory);
    // Bytes that are no movie are read without a signature, beginning at the
    // length field; a movie read twice would only halve the rate.
    CSwfReader unsigned_;
    if (!isMovie && unsigned_.OpenMemory(data, size, false, 0, true)) UseTags(unsigned_);

    if (size >= 3 && data[0] == 'C') {
        static const std::string path = ScratchFile();
        if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(data, 1, size, f);
            std::fclose(f);
            // The expansion is capped too, so a small stream cannot make a
            // large movie. The file reader parses through its own reads; what
            // a user does with the tags the memory reader covers already.
            CSwfReader fromFile;
            fromFile.maxMovieSize = 4 * kMaxInput;
            if (fromFile.Parse(CPath(path), true, 0, true)) fromFile.ClearTags(true);
            CSwfFileReader fileReader;
            fileReader.maxMovieSize = 4 * kMaxInput;
            if (fileReader.OpenFile(CPath(path))) {
                fileReader.ParseAllTags();
                fileReader.ClearTags(true);
            }
            std::remove(path.c_str());
        }
    }
    return 0;
}
