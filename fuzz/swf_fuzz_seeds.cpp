// Writes the seed corpus of the reader fuzz target: movies of our own.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "checked_movie.h"
#include "fuzz_files.h"
#include "reader_movies.h"
#include "swf/file_utils.h"

namespace {

bool Save(const std::string& path, const Bytes& bytes)
{
    if (fuzz_files::WriteBytes(path, bytes.data(), bytes.size())) return true;
    std::fprintf(stderr, "swf_fuzz_seeds: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: swf_fuzz_seeds FOLDER\n");
        return 2;
    }
    std::string folder;
    if (!fuzz_files::SeedFolder("swf_fuzz_seeds", argv[1], &folder)) return 1;
    bool ok = true;
    for (uint8_t version : {4, 6, 8}) {
        const std::string plain = folder + "/sample" + std::to_string(version) + ".swf";
        const std::string compressed = folder + "/sample" + std::to_string(version) + "c.swf";
        ok = Save(plain, SampleMovie(version)) && ok;
        if (!CompressSwfFile(plain, compressed, true)) {
            std::fprintf(stderr, "swf_fuzz_seeds: cannot write %s\n", compressed.c_str());
            ok = false;
        }
    }
    CTagDefineSprite sprite;
    sprite.characterId = 1;
    sprite.AddTag(Placement(1, 1).release());
    sprite.AddTag(new CTagShowFrame);
    ok = Save(folder + "/sprite.swf", PlainMovie(WriteTag(sprite, 6), 1)) && ok;
    // Seeds of an earlier run are written again.
    std::error_code ec;
    std::filesystem::remove(folder + "/checked.swf", ec);
    const std::string checked = WriteCheckedMovie(folder + "/checked.swf");
    if (!checked.empty()) std::fprintf(stderr, "swf_fuzz_seeds: %s/checked.swf: %s\n", folder.c_str(), checked.c_str());
    return ok && checked.empty() ? 0 : 1;
}
