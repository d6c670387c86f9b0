// Any bytes as a picture file: the BMP, PNG and JPEG readers, the JPEG
// section reader and rebuild, and the EXIF reader. None may crash, leak or
// read outside the data.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "media/image.h"
#include "media/jpeg_image.h"
#include "media/jpeg_sections.h"
#include "media/png_image.h"

namespace {

// A stream over the bytes, as the file readers see a file.
std::FILE* OpenBytes(const uint8_t* data, size_t size)
{
    return size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Headers may claim huge pictures; real ones are tested elsewhere.
    SetMaxImagePixels(1u << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (std::FILE* f = OpenBytes(data, size)) {
        uint32_t width = 0;
        int32_t height = 0;
        uint8_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (ReadBmpStream(f, &width, &height, &r, &g, &b) == 0) {
            delete[] r;
            delete[] g;
            delete[] b;
        }
        std::fclose(f);
    }
    if (std::FILE* f = OpenBytes(data, size)) {
        CJpegImage jpeg;
        jpeg.LoadStream(f);
        std::fclose(f);
    }
    CPngImage png;
    png.Decode(data, size);

    CJpegSections sections;
    sections.Read(data, size, CJpegSections::kReadMetadata);
    size_t plainSize = 0;
    delete[] sections.BuildPlainJpeg(data, size, &plainSize);
    int32_t streamLength = 0;
    FindJpegStream(data, int32_t(size > 0x7FFFFFFF ? 0x7FFFFFFF : size), &streamLength);
    CImageExifInfo::FromData(data, size);
    return 0;
}
