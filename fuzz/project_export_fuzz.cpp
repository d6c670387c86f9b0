// Any bytes as a project file, read and exported to a movie: the whole road
// a user's file takes through the program. Every picture the project names
// stands in as one small picture, and sounds go without their files, so that
// the run spends its time on the project and the compiler rather than on
// decoding. Nothing may crash, leak or hang.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "media/jpeg_image.h"
#include "show/project_file.h"
#include "show/slide_show.h"

namespace {

std::string gFolder;
std::string gPicture;

using fuzz_files::WriteBytes;

class StandInRelocator : public CRelocator {
public:
    CRelocation RelocateImage(const CPath&) override { return {CRelocation::kReplace, CPath(gPicture)}; }
    CPath RelocateSound(const CPath&) override { return CPath(); }
};

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
    gFolder = fuzz_files::MakeFolder("tavrel-export-fuzz");
    // A small picture of four colours.
    const int w = 16, h = 12;
    std::vector<uint8_t> rgb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) rgb.push_back(uint8_t(((x < w / 2) + 2 * (y < h / 2)) * 60 + c * 20));
    CJpegImage jpeg;
    if (!jpeg.Compress(w, h, 24, rgb.data())) std::abort();
    gPicture = gFolder + "/picture.jpg";
    if (!WriteBytes(gPicture, jpeg.pixels, jpeg.compressedSize)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = gFolder + "/input.tvr", output = gFolder + "/output.swf";
    if (!WriteBytes(input, data, size)) std::abort();
    CEditorSlideShow show;
    CPublishSettings publish;
    StandInRelocator relocator;
    CReadContext context;
    context.relocator = &relocator;
    context.dropMissingSilently = true;
    if (OpenProject(CPath(input), show, publish, &context) != ProjectOpenError::kNone) return 0;
    // Every picture that is there is the stand-in too.
    // Any other file the project names could be anything (a device that
    // never ends): pictures become the stand-in, sounds go.
    for (int i = 0; i < show.GetSlideCount(); ++i) {
        CSlide* slide = show.GetSlide(i);
        if (slide->GetType() == CSlide::kImage) slide->SetSrc(CPath(gPicture));
        slide->GetSounds().Clear();
    }
    show.GetSounds().Clear();
    if (!show.bg_image.IsEmpty()) show.bg_image = CPath(gPicture);
    show.bg_frame_pattern = show.bg_frame_custom_pattern = CPath();
    show.Export(CPath(output), true, nullptr);
    std::remove(output.c_str());
    return 0;
}
