// Shows of real movie, picture and sound files, damaged by the fuzzed bytes,
// read as a project and exported to a movie: the road a user's movies and
// sounds take through the program (first frames decoded into bitmaps, sounds
// decoded, resampled and encoded to MP3). The tiny files of movie_sources.h
// are made with the ffmpeg program when the target starts, and those of
// picture_sources.h (run-length BMPs, progressive and arithmetic-coded
// JPEGs) here; files of the user's own join them from the folder
// TAVREL_EXPORT_SOURCES names.
//
// The input: a header of choices (which file each slide and sound takes,
// the show's rate and the sound's format), then edits of five bytes each
// (file, operation, position, value) applied to copies of the chosen files.
// A position is a fraction of the file, so any edit lands inside it.
// Nothing may crash, leak or hang.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "movie_sources.h"
#include "media/image.h"
#include "show/project_file.h"
#include "show/slide_show.h"

namespace {

using fuzz_files::kMovieSources;

std::string gFolder;
std::vector<std::string> gNames, gBytes;  // each source's name and file

using fuzz_files::WriteBytes;

// Damaged files stay where they are: a file the reader cannot size is
// dropped, not looked for elsewhere.
class DropRelocator : public CRelocator {
public:
    CRelocation RelocateImage(const CPath&) override { return {CRelocation::kDrop, CPath()}; }
    CPath RelocateSound(const CPath&) override { return CPath(); }
};

// The fuzzed bytes, read front to back; zeros once they run out.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool Empty() const { return at_ >= size_; }
    size_t Take(size_t n, const uint8_t** bytes)
    {
        *bytes = data_ + at_;
        n = std::min(n, size_ - at_);
        at_ += n;
        return n;
    }

private:
    const uint8_t* data_;
    size_t size_, at_ = 0;
};

// One edit: XOR a byte, set a byte, cut the file there, fill a run with a
// value, or write the input's next bytes over the file.
void Edit(std::string& file, Input& in)
{
    const uint8_t op = in.Byte();
    const uint16_t fraction = uint16_t(in.Byte() << 8 | in.Byte());
    const uint8_t value = in.Byte();
    if (file.empty()) return;
    const size_t at = size_t(uint64_t(fraction) * file.size() >> 16);
    switch (op % 5) {
        case 0: file[at] = char(file[at] ^ (value ? value : 0xFF)); break;
        case 1: file[at] = char(value); break;
        case 2: file.resize(at); break;
        case 3: {
            const size_t n = std::min<size_t>(op / 5 + 1, file.size() - at);
            file.replace(at, n, n, char(value));
            break;
        }
        default: {
            const uint8_t* bytes;
            const size_t n = in.Take(value % 64 + 1, &bytes);
            file.replace(at, std::min(n, file.size() - at), reinterpret_cast<const char*>(bytes), n);
            break;
        }
    }
}

std::string SoundElement(const std::string& src, uint8_t format)
{
    static const int kRates[] = {5512, 11025, 22050, 44100};
    static const int kBitRates[] = {32, 48, 64, 96};
    return "<sound_data include=\"true\">\n<sound src=\"" + src + "\" sample_rate=\"" +
           std::to_string(kRates[format & 3]) + "\" bit_rate=\"" + std::to_string(kBitRates[format >> 2 & 3]) +
           "\" stereo=\"" + (format & 0x10 ? "true" : "false") + "\" sync=\"" + (format & 0x20 ? "true" : "false") +
           "\" loop=\"" + (format & 0x40 ? "true" : "false") + "\" />\n</sound_data>\n";
}

}  // namespace

// Fontconfig 2.14 loses a few hundred bytes once while it reads its
// configuration (the font catalogue's first use); a leak check that any
// later input sets off would blame that input for it.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetMaxImagePixels(1u << 22);
    // The MP3 encoder is a bundle of the build's application folder.
    if (!std::getenv("TAVREL_BUNDLE")) setenv("TAVREL_BUNDLE", TAVREL_BUNDLE_DIR, 1);
    const std::string encoder =
        std::string(std::getenv("TAVREL_BUNDLE")) + "/Contents/Resources/lame_encU.bundle/Contents/MacOS/lame_encU";
    // The encoder's code carries coverage counters that the fuzzer reads
    // after every input: held loaded here, the export's unloading of the
    // bundle cannot leave the fuzzer reading unmapped memory.
    if (!dlopen(encoder.c_str(), RTLD_NOW | RTLD_NODELETE)) {
        std::fprintf(stderr, "movie_export_fuzz: no MP3 encoder: %s (build the lame_encU target)\n", dlerror());
        std::exit(1);
    }
    gFolder = fuzz_files::MakeFolder("tavrel-movie-export-fuzz");
    for (const fuzz_files::MovieSource& source : kMovieSources) {
        const std::string path = gFolder + "/" + source.name;
        gNames.push_back(source.name);
        gBytes.emplace_back();
        if (!fuzz_files::RunFfmpeg(source.arguments, path) || !fuzz_files::ReadBytes(path, gBytes.back())) {
            std::fprintf(stderr, "movie_export_fuzz: ffmpeg could not make %s\n", source.name);
            std::exit(1);
        }
        std::remove(path.c_str());
    }
    for (const fuzz_files::PictureSource& source : fuzz_files::kPictureSources) {
        gNames.push_back(source.name);
        gBytes.push_back(source.make());
    }
    const char* outside = std::getenv("TAVREL_EXPORT_SOURCES");
    for (const std::string& path : fuzz_files::OutsideSources(outside)) {
        gNames.push_back(fuzz_files::OutsideSourceName(gNames.size(), path));
        gBytes.emplace_back();
        if (!fuzz_files::ReadBytes(path, gBytes.back())) {
            std::fprintf(stderr, "movie_export_fuzz: cannot read %s\n", path.c_str());
            std::exit(1);
        }
    }
    // A finding replays only with the same files.
    if (gBytes.size() > fuzz_files::kBuiltInSourceCount)
        std::fprintf(stderr, "movie_export_fuzz: sources %zu to %zu are the files of %s\n", fuzz_files::kBuiltInSourceCount,
                     gBytes.size() - 1, outside);
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    // Header: slides and sounds, the picture kind, the rate and each slide's file.
    const uint8_t shape = in.Byte();
    const int slides = 1 + shape % 3;
    const bool showSound = shape & 0x04, slideSound = shape & 0x08;
    static const char* const kImageTypes[] = {"jpeg", "rgb_8", "rgb_15", "rgb_24", "jpeg_import_data",
                                              "jpeg_transparent", "rgb_24_transparent", "jpeg"};
    const uint8_t look = in.Byte();
    static const int kFps[] = {1, 2, 5, 12};
    const int fps = kFps[look & 3];
    const char* imageType = kImageTypes[look >> 2 & 7];
    // The files of the slides, then of the show's sound and the first slide's sound.
    std::vector<std::string> files;
    std::vector<size_t> kinds;
    const int fileCount = slides + 2;
    for (int i = 0; i < fileCount; ++i) {
        kinds.push_back(in.Byte() % gBytes.size());
        files.push_back(gBytes[kinds.back()]);
    }
    const uint8_t showFormat = in.Byte(), slideFormat = in.Byte();
    while (!in.Empty()) {
        const uint8_t which = in.Byte();
        Edit(files[which % fileCount], in);
    }
    fuzz_files::KeepFolder(gFolder);
    std::vector<std::string> paths;
    for (int i = 0; i < fileCount; ++i) {
        paths.push_back(gFolder + "/" + std::to_string(i) + "-" + gNames[kinds[i]]);
        if (!WriteBytes(paths.back(), files[i].data(), files[i].size())) std::abort();
    }

    std::string text = "<xml version=\"1.0\">\n<tavrel version_major=\"1\" version_minor=\"122\">\n"
                       "<slide_show width=\"64\" height=\"48\" fps=\"" +
                       std::to_string(fps) + "\">\n<slides>\n";
    for (int i = 0; i < slides; ++i) {
        text += "<slide type=\"image\" src=\"" + paths[i] + "\" image_type=\"" + imageType + "\" duration=\"" +
                std::to_string(500 + 250 * (i % 3)) +
                "\" >\n<transition_in>\n<transition name=\"None\" duration=\"0\" />\n</transition_in>\n";
        if (i == 0 && slideSound) text += SoundElement(paths[slides + 1], slideFormat);
        text += "</slide>\n";
    }
    text += "</slides>\n";
    if (showSound) text += SoundElement(paths[slides], showFormat);
    text += "</slide_show>\n</tavrel>\n</xml>\n";

    const std::string project = gFolder + "/show.tvr", output = gFolder + "/show.swf";
    if (!WriteBytes(project, text.data(), text.size())) std::abort();
    {
        CEditorSlideShow show;
        CPublishSettings publish;
        DropRelocator relocator;
        CReadContext context;
        context.relocator = &relocator;
        context.dropMissingSilently = true;
        if (OpenProject(CPath(project), show, publish, &context) == ProjectOpenError::kNone)
            show.Export(CPath(output), true, nullptr);
    }
    std::remove(output.c_str());
    std::remove(project.c_str());
    for (const std::string& path : paths) std::remove(path.c_str());
    return 0;
}
