// Writes the seeds of the movie fuzz targets. For movie_picture_fuzz: the
// tiny files the export target starts from (run-length BMPs and progressive
// and arithmetic-coded JPEGs among them), and movies damaged the ways
// users' files were found damaged (a sound whose data does not decode, an
// index promising more than the file holds, concealed MPEG-4 frames, a
// colour space outside FFmpeg's list, a FLAC claiming 2^36 samples, a
// broken Ogg header, a track whose data lies in another file, and a
// stretched picture). For movie_export_fuzz: choice headers taking each
// file as a slide and the sounds as the show's and a slide's.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/base64.h"
#include "fuzz_files.h"
#include "movie_sources.h"

namespace {

using fuzz_files::ReadBytes;
using fuzz_files::RunFfmpeg;

bool Save(const std::string& path, const std::string& bytes)
{
    if (fuzz_files::WriteBytes(path, bytes.data(), bytes.size())) return true;
    std::fprintf(stderr, "movie_fuzz_seeds: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

// Made by ffmpeg, which says what went wrong.
bool Made(const std::string& arguments, const std::string& path)
{
    if (RunFfmpeg(arguments, path)) return true;
    std::fprintf(stderr, "movie_fuzz_seeds: ffmpeg could not make %s\n", path.c_str());
    return false;
}

uint32_t Be32(const std::string& b, size_t at)
{
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
           uint8_t(b[at + 3]);
}

void PutBe32(std::string& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = char(v >> (24 - 8 * i));
}

// The offset of the first box of the type among the boxes in [from, to);
// std::string::npos when there is none.
size_t FindBox(const std::string& b, size_t from, size_t to, const char* type)
{
    while (from + 8 <= to) {
        const uint32_t size = Be32(b, from);
        if (b.compare(from + 4, 4, type) == 0) return from;
        if (size < 8 || size > to - from) break;
        from += size;
    }
    return std::string::npos;
}

// The first track's data reference turned into a reference to another file:
// its "url " entry loses the self-contained flag and gains a path, and the
// boxes around it grow by as much. The movie's index must follow its data.
bool ReferToOtherFile(std::string& b)
{
    const char* const path[] = {"moov", "trak", "mdia", "minf", "dinf", "dref"};
    std::vector<size_t> boxes;
    size_t from = 0, to = b.size();
    for (const char* type : path) {
        const size_t at = FindBox(b, from, to, type);
        if (at == std::string::npos) return false;
        boxes.push_back(at);
        from = at + 8, to = at + Be32(b, at);
    }
    // dref: version and flags, the entry count, then the entries.
    const size_t entry = boxes.back() + 16;
    if (entry + 12 > b.size() || b.compare(entry + 4, 4, "url ") != 0) return false;
    const std::string other("other.mov\0", 10);
    PutBe32(b, entry, uint32_t(12 + other.size()));
    PutBe32(b, entry + 8, 0);
    b.insert(entry + 12, other);
    for (size_t at : boxes) PutBe32(b, at, Be32(b, at) + uint32_t(other.size()));
    return true;
}

std::string Decoded(const char* text)
{
    CBase64 base64;
    if (!base64.Decode(text, std::string(text).size())) return "";
    return std::string(reinterpret_cast<const char*>(base64.GetData()), base64.GetLength());
}

// Made by ffmpeg, then edited; false when either fails.
bool Damaged(const std::string& folder, const std::string& name, const std::string& arguments,
             bool (*edit)(std::string&))
{
    const std::string path = folder + "/" + name;
    std::string bytes;
    if (!Made(arguments, path) || !ReadBytes(path, bytes) || !edit(bytes)) {
        std::fprintf(stderr, "movie_fuzz_seeds: could not damage %s as planned\n", path.c_str());
        std::remove(path.c_str());
        return false;
    }
    return Save(path, bytes);
}

bool MovieSeeds(const std::string& folder)
{
    bool ok = true;
    for (const fuzz_files::MovieSource& source : fuzz_files::kMovieSources)
        ok = Made(source.arguments, folder + "/" + source.name) && ok;
    for (const fuzz_files::PictureSource& source : fuzz_files::kPictureSources)
        ok = Save(folder + "/" + source.name, source.make()) && ok;
    // An AAC sound whose data is overwritten past its first 64 bytes, sizes kept.
    ok = Damaged(folder, "aac-overwritten.m4a",
                 "-f lavfi -i sine=f=440:sample_rate=48000:d=3.5 -c:a aac -ac 2 -f ipod",
                 [](std::string& b) {
                     const size_t mdat = FindBox(b, 0, b.size(), "mdat");
                     if (mdat == std::string::npos || Be32(b, mdat) < 8 + 64) return false;
                     for (size_t i = mdat + 8 + 64; i < mdat + Be32(b, mdat); ++i) b[i] = char(0x5A);
                     return true;
                 }) && ok;
    // Index first, cut at a tenth: the index promises ten seconds.
    ok = Damaged(folder, "faststart-cut.mp4",
                 "-f lavfi -i testsrc2=s=32x24:r=5:d=10 -f lavfi -i sine=f=440:sample_rate=8000:d=10 "
                 "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 1 -b:a 16k -movflags +faststart -f mp4",
                 [](std::string& b) {
                     b.resize(b.size() / 10);
                     return true;
                 }) && ok;
    // MPEG-4 Part 2 frames that FFmpeg conceals: the middle of each frame's data inverted.
    ok = Damaged(folder, "mpeg4-concealed.avi",
                 "-f lavfi -i testsrc2=s=64x48:r=5:d=1 -c:v mpeg4 -q:v 2 -g 5 -f avi", [](std::string& b) {
                     int frames = 0;
                     for (size_t at = b.find("00dc"); at != std::string::npos && at + 8 < b.size();
                          at = b.find("00dc", at + 8)) {
                         const uint32_t size = uint8_t(b[at + 4]) | uint8_t(b[at + 5]) << 8 |
                                               uint8_t(b[at + 6]) << 16 | uint32_t(uint8_t(b[at + 7])) << 24;
                         if (size < 64 || at + 8 + size > b.size()) continue;
                         for (size_t i = at + 8 + size / 2; i < at + 8 + size / 2 + 8; ++i) b[i] = char(~b[i]);
                         ++frames;
                     }
                     return frames > 0;
                 }) && ok;
    // A FLAC of one second whose stream info claims 2^36 - 1 samples.
    ok = Damaged(folder, "flac-claims-2e36.flac",
                 "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1 -c:a flac -f flac",
                 [](std::string& b) {
                     if (b.size() < 26 || b.compare(0, 4, "fLaC") != 0) return false;
                     b[21] = char(b[21] | 0x0F);
                     for (size_t i = 22; i < 26; ++i) b[i] = char(0xFF);
                     return true;
                 }) && ok;
    // A movie whose first track's data lies in another file.
    ok = Damaged(folder, "dref-other-file.mov",
                 "-f lavfi -i testsrc2=s=32x24:r=5:d=0.6 -c:v mjpeg -q:v 5 -pix_fmt yuvj420p -f mov",
                 ReferToOtherFile) && ok;
    // One frame of 8 × 16384 whose pixels are 4096 times as wide as high.
    ok = Made("-f lavfi -i color=c=red:s=8x16384:r=1:d=1,setsar=sar=4096/1:max=10000 -frames:v 1 "
                   "-c:v mjpeg -q:v 31 -f mov",
                   folder + "/stretched-pixels.mov") && ok;
    // An MPEG-4 stream whose colour space is 128; an Ogg header cut short.
    ok = Save(folder + "/colour-space-128.m4v", Decoded("AAABthDA2gAAASAAxI2IAFUCBAYUQwAAAbWBH/9bIAAAAQA=")) && ok;
    ok = Save(folder + "/vorbis-header-cut.ogg",
              Decoded("T2dnUwACAAAAAAAAAAB1C8c8AAAAANkNPXQBHgF2b3JiaXMAAAAAASJWAAD/////AH0AAP////+pAQ==")) && ok;
    return ok;
}

// The export target's header: shape (slides, show sound, slide sound), look
// (rate, picture kind), each file's choice, then the two sounds' formats;
// edits follow (file, operation, position of two bytes, value). n files:
// ours and the user's.
bool ExportSeeds(const std::string& folder, size_t n)
{
    bool ok = true;
    for (size_t k = 0; k < n; ++k) {
        const int slides = 1 + int(k % 3);
        std::string seed;
        seed += char(0x0C | (slides - 1));
        seed += char((k & 3) | (k % 8) << 2);
        for (int i = 0; i < slides; ++i) seed += char((k + size_t(i) * 4) % n);
        // Sounds: each file in turn, another as the slide's.
        seed += char((k + 6) % n);
        seed += char((k + 8) % n);
        seed += char(k * 7);
        seed += char(k * 13 + 0x20);
        ok = Save(folder + "/choice-" + std::to_string(k), seed) && ok;
        // The same with an edit of each kind, spread over the files.
        for (int op = 0; op < 5; ++op) {
            const uint32_t mix = uint32_t(k * 2654435761u + uint32_t(op) * 40503u);
            seed += char(op);
            seed += char(op == 3 ? 3 + 5 * 7 : op);
            seed += char(mix >> 24), seed += char(mix >> 16);
            seed += char(op == 4 ? 4 : mix);
            if (op == 4) seed += "\xFF\xFF\xFF\xFF\xFF";
        }
        ok = Save(folder + "/edited-" + std::to_string(k), seed) && ok;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: movie_fuzz_seeds MOVIE-SEEDS EXPORT-SEEDS\n"
                     "  writes the seeds of movie_picture_fuzz and movie_export_fuzz (needs ffmpeg);\n"
                     "  with TAVREL_EXPORT_SOURCES set, the export seeds choose its files too\n");
        return 2;
    }
    std::string movieFolder, exportFolder;
    if (!fuzz_files::SeedFolder("movie_fuzz_seeds", argv[1], &movieFolder) ||
        !fuzz_files::SeedFolder("movie_fuzz_seeds", argv[2], &exportFolder))
        return 1;
    const bool movies = MovieSeeds(movieFolder);
    const size_t outside = fuzz_files::OutsideSources(std::getenv("TAVREL_EXPORT_SOURCES")).size();
    const bool exports = ExportSeeds(exportFolder, fuzz_files::kBuiltInSourceCount + outside);
    return movies && exports ? 0 : 1;
}
