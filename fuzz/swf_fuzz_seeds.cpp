// Writes the seed corpus of the reader fuzz target: movies of our own.
#include <cstdio>
#include <string>

#include "checked_movie.h"
#include "reader_movies.h"
#include "swf/file_utils.h"

namespace {

bool Save(const std::string& path, const Bytes& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: swf_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;
    for (uint8_t version : {4, 6, 8}) {
        const std::string plain = folder + "/sample" + std::to_string(version) + ".swf";
        ok = Save(plain, SampleMovie(version)) && ok;
        ok = CompressSwfFile(plain, folder + "/sample" + std::to_string(version) + "c.swf", true) && ok;
    }
    CTagDefineSprite sprite;
    sprite.characterId = 1;
    sprite.AddTag(Placement(1, 1).release());
    sprite.AddTag(new CTagShowFrame);
    ok = Save(folder + "/sprite.swf", PlainMovie(WriteTag(sprite, 6), 1)) && ok;
    ok = WriteCheckedMovie(folder + "/checked.swf").empty() && ok;
    return ok ? 0 : 1;
}
