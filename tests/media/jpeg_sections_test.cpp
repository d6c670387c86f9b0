// JPEG files split into sections and rebuilt without their metadata (the
// EXIF orientation is read from exiftool's files with the real pictures).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "media/jpeg_image.h"
#include "media/jpeg_sections.h"
#include "picture_bytes.h"

namespace {

using namespace picture_test;

// A marker segment: FF, code, length (high first), payload.
Bytes Segment(uint8_t code, const std::string& payload)
{
    const size_t n = payload.size() + 2;
    return Cat({{0xFF, code, uint8_t(n >> 8), uint8_t(n)}, Bytes(payload.begin(), payload.end())});
}

// An 8 × 8 JPEG from libjpeg: SOI, its JFIF APP0 (18 bytes), tables, frame, scan.
Bytes SmallJpeg()
{
    Bytes pixels(8 * 8 * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 5);
    CJpegImage jpeg;
    EXPECT_TRUE(jpeg.Compress(8, 8, 24, pixels.data()));
    Bytes out(jpeg.pixels, jpeg.pixels + jpeg.compressedSize);
    EXPECT_EQ(out[3], 0xE0);
    EXPECT_EQ(out[5], 16);
    return out;
}

const Bytes kJfif = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01,
                     0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};

Bytes Plain(const Bytes& file)
{
    CJpegSections sections;
    size_t size = 0;
    std::unique_ptr<uint8_t[]> out(sections.BuildPlainJpeg(Exact(file).get(), file.size(), &size));
    EXPECT_EQ(sections.GetCount(), 0);  // freed either way
    return out ? Bytes(out.get(), out.get() + size) : Bytes{};
}

TEST(JpegSections, RebuildsWithoutMetadataOrRefuses)
{
    const Bytes jpeg = SmallJpeg();
    const Bytes soi = {0xFF, 0xD8};
    const Bytes afterApp0(jpeg.begin() + 20, jpeg.end()), plain = Cat({soi, kJfif, afterApp0});
    const Bytes exif1 = Segment(0xE1, std::string("Exif\0\0first", 11));
    const Bytes exif2 = Segment(0xE1, std::string("Exif\0\0second", 12));
    Bytes many = soi;
    for (int i = 0; i < 101; ++i) many = Cat({many, Segment(0xDB, "q")});
    // Everything up to the end of the scan header, and nothing after it.
    size_t sos = 0;
    while (sos + 1 < jpeg.size() && !(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA)) ++sos;
    const size_t scanEnd = sos + 2 + (jpeg[sos + 2] << 8 | jpeg[sos + 3]);
    struct Case {
        const char* name;
        Bytes file, plain;  // no plain: refused
    };
    const Case cases[] = {
        {"as written", jpeg, plain},
        {"EXIF, comment and profile go",
         Cat({soi, exif1, Segment(0xFE, "made here"), Segment(0xE2, "ICC_PROFILE"), afterApp0}), plain},
        // Only the first APP1 is removed; the second leads, so no JFIF segment.
        {"two EXIF sections", Cat({soi, exif1, exif2, afterApp0}), Cat({soi, exif2, afterApp0})},
        {"XMP is not EXIF", Cat({soi, Segment(0xE1, "http://ns.adobe.com/xap/1.0/"), afterApp0}), plain},
        {"fill bytes before a marker", Cat({soi, {0xFF, 0xFF, 0xFF}, Segment(0xEE, "Adobe"), afterApp0}), plain},
        {"no start marker", Bytes(jpeg.begin() + 2, jpeg.end()), {}},
        {"length below 2", Cat({soi, {0xFF, 0xDB, 0x00, 0x01}, afterApp0}), {}},
        {"seven fill bytes", Cat({soi, Bytes(7, 0xFF), Segment(0xDB, "q"), afterApp0}), {}},
        {"end before any scan", Cat({soi, {0xFF, 0xD9, 0x00, 0x02}, afterApp0}), {}},
        {"more than 100 sections", Cat({many, afterApp0}), {}},
        {"section past the end", Cat({soi, {0xFF, 0xDB, 0x40, 0x00, 1, 2, 3}}), {}},
        {"no image data", Bytes(jpeg.begin(), jpeg.begin() + scanEnd), {}},
        {"cut in a length", Cat({soi, {0xFF, 0xDB, 0x00}}), {}},
        {"empty", {}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Plain(c.file), c.plain) << c.name;
}

TEST(JpegSections, CommentAndFrame)
{
    const Bytes jpeg = SmallJpeg();
    const Bytes file = Cat({{0xFF, 0xD8}, Segment(0xFE, std::string("a\r\nb\x01\r", 6)), Segment(0xFE, "second"),
                            Bytes(jpeg.begin() + 20, jpeg.end())});
    CJpegSections sections;
    ASSERT_TRUE(sections.Read(file.data(), file.size(), CJpegSections::kReadMetadata));
    EXPECT_EQ(sections.GetInfo().comment, "a\nb??");  // a lone carriage return is a control byte
    EXPECT_EQ(sections.GetInfo().width, 8);
    EXPECT_EQ(sections.GetInfo().height, 8);
    EXPECT_TRUE(sections.GetInfo().colorImage);
    EXPECT_EQ(sections.GetInfo().process, 0xC0);
    EXPECT_FALSE(sections.HasAll());  // no image data asked for
    EXPECT_EQ(sections.GetSections().back().type, 0xDA);
}

}  // namespace
