// JPEG files split into sections and rebuilt without their metadata (the
// EXIF orientation is read from exiftool's files with the real pictures).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "media/jpeg_image.h"
#include "media/jpeg_sections.h"
#include "picture_bytes.h"
#include "support/swf_tools.h"

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
        // Every APP1 is removed, a camera's second (GPS, artist) too.
        {"two EXIF sections", Cat({soi, exif1, exif2, afterApp0}), plain},
        {"three EXIF sections and two comments",
         Cat({soi, exif1, Segment(0xFE, "one"), exif2, Segment(0xFE, "two"), exif1, afterApp0}), plain},
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

// Stray bytes before a marker are skipped as libjpeg skips them, and the
// picture's own stream is found past a thumbnail in its EXIF section.
// The frame marker and sample precision decide what players show; markers
// edited into a real stream, behind an EXIF thumbnail of the plain kind.
TEST(JpegSections, FramesPlayersRefuseAreNamed)
{
    const Bytes jpeg = SmallJpeg();
    size_t frame = 2;
    while (!(jpeg[frame] == 0xFF && jpeg[frame + 1] == 0xC0)) frame += 2 + (size_t(jpeg[frame + 2]) << 8 | jpeg[frame + 3]);
    auto edited = [&](uint8_t marker, uint8_t precision) {
        Bytes b = jpeg;
        b[frame + 1] = marker, b[frame + 4] = precision;
        const Bytes exif = Segment(0xE1, std::string("Exif\0\0", 6) + std::string(jpeg.begin(), jpeg.end()));
        return Cat({{0xFF, 0xD8, 0x00, 0xFF}, exif, Bytes(b.begin() + 2, b.end())});
    };
    const struct {
        uint8_t marker, precision;
        const char* said;
    } cases[] = {
        {0xC0, 8, ""},  {0xC1, 8, ""},  {0xC2, 8, ""},  {0xC9, 8, "arithmetic-coded"}, {0xCA, 8, "arithmetic-coded"},
        {0xC3, 8, "lossless"}, {0xC5, 8, "hierarchical"}, {0xC7, 8, "lossless"}, {0xC1, 12, "of 12-bit samples"},
    };
    for (const auto& c : cases) {
        const Bytes b = edited(c.marker, c.precision);
        EXPECT_EQ(JpegFramePlayersRefuse(b.data(), b.size()), c.said) << int(c.marker);
    }
    const Bytes dhp = Cat({{0xFF, 0xD8}, Segment(0xDE, std::string(7, '\1')), Bytes(jpeg.begin() + 2, jpeg.end())});
    EXPECT_EQ(JpegFramePlayersRefuse(dhp.data(), dhp.size()), "hierarchical");
}

TEST(JpegSections, StrayBytesAndThumbnails)
{
    const Bytes jpeg = SmallJpeg(), soi = {0xFF, 0xD8};
    const Bytes afterApp0(jpeg.begin() + 20, jpeg.end()), plain = Cat({soi, kJfif, afterApp0});
    const Bytes exif = Segment(0xE1, std::string("Exif\0\0", 6) + std::string(jpeg.begin(), jpeg.end()));
    // The rebuild drops the stray bytes with the metadata.
    EXPECT_EQ(Plain(Cat({soi, {0x00}, afterApp0})), plain);
    EXPECT_EQ(Plain(Cat({soi, exif, {0x12, 0x34, 0xFF, 0x00}, afterApp0})), plain);

    // Refused by the section reader (seven fill bytes), so the stream is
    // looked for as it stands.
    const Bytes refused = Cat({soi, exif, Bytes(7, 0xFF), afterApp0});
    Bytes cut = refused;
    cut.resize(cut.size() - 10);
    Bytes scanWithRestarts = refused;
    scanWithRestarts.insert(scanWithRestarts.end() - 2, {0xFF, 0xD0, 0x55, 0xFF, 0x00});
    struct Case {
        const char* name;
        Bytes data;
        size_t start, length;  // length 0: none
    };
    const Case cases[] = {
        {"past the thumbnail", refused, 0, refused.size()},
        {"after other bytes", Cat({{'j', 'u', 'n', 'k'}, refused, {1, 2}}), 4, refused.size()},
        {"restarts in the scan", scanWithRestarts, 0, scanWithRestarts.size()},
        {"cut before its end", cut, 0, cut.size()},
        {"no scan", Cat({soi, exif, {0xFF, 0xD9}}), 0, 0},
        {"no start", afterApp0, 0, 0},
    };
    for (const Case& c : cases) {
        size_t length = 0;
        const std::unique_ptr<uint8_t[]> data = Exact(c.data);
        const uint8_t* at = FindMainJpegStream(data.get(), c.data.size(), &length);
        if (c.length == 0) {
            EXPECT_EQ(at, nullptr) << c.name;
            continue;
        }
        EXPECT_EQ(at, data.get() + c.start) << c.name;
        EXPECT_EQ(length, c.length) << c.name;
    }
    // The first complete stream is the thumbnail's: not the picture.
    int32_t length = 0;
    EXPECT_EQ(FindJpegStream(refused.data(), int32_t(refused.size()), &length), refused.data() + 12);
}

// A JPEG of 16 × 16 pixels in quarters of red, green, blue and yellow,
// coded in `space` (RGB, CMYK or YCCK) from RGB or inverted CMYK input, as
// Adobe writes CMYK: libjpeg writes an Adobe segment and no JFIF segment.
Bytes AdobeJpeg(J_COLOR_SPACE space)
{
    const bool cmyk = space != JCS_RGB;
    const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    Bytes pixels;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const uint8_t* c = colours[(y / 8) * 2 + x / 8];
            if (cmyk)
                pixels.insert(pixels.end(), {c[0], c[1], c[2], 255});  // inverted C, M, Y and K
            else
                pixels.insert(pixels.end(), c, c + 3);
        }
    // All rows in one call, into a block libjpeg grows.
    const int components = cmyk ? 4 : 3;
    std::vector<JSAMPROW> rows;
    for (int y = 0; y < 16; ++y) rows.push_back(pixels.data() + size_t(y) * 16 * components);
    struct Job {
        jpeg_compress_struct info{};
        jpeg_error_mgr err{};
        unsigned char* out = nullptr;
        unsigned long length = 0;
        ~Job()
        {
            jpeg_destroy_compress(&info);
            std::free(out);
        }
    } job;
    job.info.err = jpeg_std_error(&job.err);
    jpeg_create_compress(&job.info);
    jpeg_mem_dest(&job.info, &job.out, &job.length);
    job.info.image_width = job.info.image_height = 16;
    job.info.input_components = components;
    job.info.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&job.info);
    jpeg_set_colorspace(&job.info, space);
    jpeg_set_quality(&job.info, 95, TRUE);
    jpeg_start_compress(&job.info, TRUE);
    jpeg_write_scanlines(&job.info, rows.data(), 16);
    jpeg_finish_compress(&job.info);
    return Bytes(job.out, job.out + job.length);
}

// The Adobe segment stays and no JFIF segment comes in, so an independent
// decoder (libjpeg-turbo's djpeg) still tells the colours apart.
TEST(JpegSections, AdobeSegmentStays)
{
    if (tavrel_test::RunCommand("command -v djpeg >/dev/null").exitCode != 0) GTEST_SKIP() << "djpeg not installed";
    tavrel_test::TempDir dir;
    const struct {
        const char* name;
        J_COLOR_SPACE space;
        int transform;
    } cases[] = {{"RGB", JCS_RGB, 0}, {"CMYK", JCS_CMYK, 0}, {"YCCK", JCS_YCCK, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes jpeg = AdobeJpeg(c.space);
        // Four components players do not show, named by the transform of an
        // Adobe segment before the scan, wherever it lies; CMYK without one.
        EXPECT_EQ(JpegFramePlayersRefuse(jpeg.data(), jpeg.size()), c.space == JCS_RGB ? "" : c.name);
        const size_t adobe = 2, adobeEnd = adobe + 2 + 14;
        ASSERT_EQ(jpeg[adobe + 1], 0xEE);
        size_t frame = adobeEnd;
        while (jpeg[frame + 1] != 0xC0) frame += 2 + (size_t(jpeg[frame + 2]) << 8 | jpeg[frame + 3]);
        const size_t frameEnd = frame + 2 + (size_t(jpeg[frame + 2]) << 8 | jpeg[frame + 3]);
        const Bytes moved = Cat({{0xFF, 0xD8}, Bytes(jpeg.begin() + adobeEnd, jpeg.begin() + long(frameEnd)),
                                 Bytes(jpeg.begin() + adobe, jpeg.begin() + adobeEnd), Bytes(jpeg.begin() + long(frameEnd), jpeg.end())});
        EXPECT_EQ(JpegFramePlayersRefuse(moved.data(), moved.size()), c.space == JCS_RGB ? "" : c.name);
        const Bytes bare = Cat({{0xFF, 0xD8}, Bytes(jpeg.begin() + adobeEnd, jpeg.end())});
        EXPECT_EQ(JpegFramePlayersRefuse(bare.data(), bare.size()), c.space == JCS_RGB ? "" : "CMYK");
        // With EXIF and a comment in front, the rebuild has work to do.
        const Bytes file = Cat({{0xFF, 0xD8}, Segment(0xE1, std::string("Exif\0\0MM", 8)), Segment(0xFE, "note"),
                                Bytes(jpeg.begin() + 2, jpeg.end())});
        const Bytes plain = Plain(file);
        ASSERT_EQ(Bytes(plain.begin(), plain.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xEE}));
        EXPECT_EQ(Bytes(plain.begin() + 2, plain.end()), Bytes(jpeg.begin() + 2, jpeg.end()));
        const std::string path = dir.file(std::string(c.name) + ".jpg"), ppm = path + ".ppm";
        ASSERT_TRUE(WriteBytes(path, plain));
        const tavrel_test::ToolResult r =
            tavrel_test::RunCommand("djpeg -verbose -pnm -outfile '" + ppm + "' '" + path + "' 2>&1");
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find("transform " + std::to_string(c.transform)), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("JFIF"), std::string::npos) << r.output;
        // Quarter centres, R, G, B: red, green / blue, yellow.
        const Bytes image = ReadBytes(ppm);
        ASSERT_GT(image.size(), 16u * 16 * 3);
        const uint8_t* px = image.data() + image.size() - 16 * 16 * 3;
        const uint8_t expect[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
        for (int q = 0; q < 4; ++q) {
            const uint8_t* p = px + ((4 + (q / 2) * 8) * 16 + 4 + (q % 2) * 8) * 3;
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], expect[q][k], 12) << "quarter " << q << " channel " << k;
        }
    }
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
