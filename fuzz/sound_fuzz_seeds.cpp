// Writes the seeds of sound_readers_fuzz (sound_sources.h) into a folder,
// made by the ffmpeg, lame and flac programs. A source whose program is
// missing is left out with a word; one whose program fails is an error.
#include <cstdio>
#include <string>

#include "fuzz_files.h"
#include "sound_sources.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: sound_fuzz_seeds SOUND-SEEDS\n"
                     "  writes the seeds of sound_readers_fuzz (needs ffmpeg; lame and flac for some)\n");
        return 2;
    }
    std::string folder;
    if (!fuzz_files::SeedFolder("sound_fuzz_seeds", argv[1], &folder)) return 1;
    const std::string scratch = fuzz_files::MakeFolder("tavrel-sound-seeds");
    bool ok = true;
    int made = 0;
    for (const fuzz_files::SoundSource& source : fuzz_files::kSoundSources) {
        const std::string path = folder + "/" + source.name;
        if (!fuzz_files::HasPrograms(source)) {
            std::fprintf(stderr, "sound_fuzz_seeds: %s left out: it is made with %s\n", source.name, source.needs);
            continue;
        }
        if (fuzz_files::MakeSound(source, scratch, path)) {
            ++made;
            continue;
        }
        std::fprintf(stderr, "sound_fuzz_seeds: could not make %s\n", source.name);
        std::remove(path.c_str());
        ok = false;
    }
    std::printf("sound_fuzz_seeds: %d seeds in %s\n", made, folder.c_str());
    return ok ? 0 : 1;
}
