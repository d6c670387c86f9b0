// Pictures made by other programs: Go's JPEG test images with PNGs of their
// pixels, the PNG suite and broken PNGs (Debian's golang-1.19-src); BMPs
// written by netpbm; EXIF and comments written by exiftool and wrjpgcom.
// Each test skips when its files or tools are absent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "media/image.h"
#include "media/jpeg_image.h"
#include "media/jpeg_sections.h"
#include "media/png_image.h"
#include "support/swf_tools.h"
#include "picture_bytes.h"
#include "support/test_support.h"

namespace {

using namespace picture_test;
namespace fs = std::filesystem;

const char* const kGoImages = "/usr/share/go-1.19/src/image";

std::string GoFile(const std::string& relative)
{
    const std::string path = std::string(kGoImages) + "/" + relative;
    std::error_code ec;
    return fs::exists(path, ec) ? path : "";
}

bool HaveTool(const std::string& tool)
{
    return tavrel_test::RunCommand("command -v " + tool + " >/dev/null").exitCode == 0;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// R, G, B of every pixel, whatever the image's depth.
Bytes Rgb(const CImage& image)
{
    Bytes out;
    const int bpp = image.bitsPerPixel / 8;
    for (uint32_t i = 0; i + bpp <= image.size; i += bpp) out.insert(out.end(), image.pixels + i, image.pixels + i + 3);
    return out;
}

int WorstDifference(const Bytes& a, const Bytes& b)
{
    if (a.size() != b.size()) return 1000;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

Bytes LoadJpeg(const std::string& path)
{
    CJpegImage jpeg;
    EXPECT_TRUE(jpeg.Load(CPath(path))) << path << ": " << jpeg.GetLastError();
    EXPECT_EQ(jpeg.bitsPerPixel, 24) << path;
    return Rgb(jpeg);
}

Bytes LoadPng(const std::string& path)
{
    CPngImage png;
    EXPECT_TRUE(png.Load(CPath(path))) << path << ": " << png.GetLastError();
    return Rgb(png);
}

TEST(RealImages, JpegsMatchTheirPngs)
{
    if (GoFile("testdata").empty()) GTEST_SKIP() << "Go's test images not installed (golang-1.19-src)";
    struct Case {
        const char* jpeg;
        const char* png;
        int tolerance;
    };
    // (Go repeats chroma samples where libjpeg interpolates them, so its
    // unusually subsampled pictures differ by more at sharp edges.)
    const Case cases[] = {
        {"video-001.jpeg", "video-001.png", 8},
        {"video-001.progressive.jpeg", "video-001.png", 8},
        {"video-005.gray.jpeg", "video-005.gray.png", 8},
        {"video-001.progressive.truncated.jpeg", "video-001.progressive.truncated.png", 8},
        {"video-001.cmyk.jpeg", "video-001.cmyk.png", 0},
    };
    for (const Case& c : cases) {
        const Bytes jpeg = LoadJpeg(GoFile(std::string("testdata/") + c.jpeg));
        const Bytes png = LoadPng(GoFile(std::string("testdata/") + c.png));
        ASSERT_FALSE(png.empty()) << c.png;
        EXPECT_LE(WorstDifference(jpeg, png), c.tolerance) << c.jpeg;
    }
    // Baseline and progressive twins decode identically.
    for (const char* twin : {"video-001", "video-001.q50.410", "video-001.q50.411", "video-001.q50.420",
                             "video-001.q50.422", "video-001.q50.440", "video-001.q50.444",
                             "video-001.separate.dc.progression", "video-005.gray.q50", "video-005.gray.q50.2x2"}) {
        const std::string base = std::string("testdata/") + twin;
        EXPECT_EQ(LoadJpeg(GoFile(base + ".jpeg")), LoadJpeg(GoFile(base + ".progressive.jpeg"))) << twin;
    }
}

TEST(RealImages, PngSuiteAsNamed)
{
    const std::string suite = GoFile("png/testdata/pngsuite");
    if (suite.empty()) GTEST_SKIP() << "Go's PNG suite not installed (golang-1.19-src)";
    struct Case {
        const char* name;
        int channels;
        bool grey;
        long background;  // 0xRRGGBB, -1 for none
        long corner = -2;  // the top-left (transparent) pixel when not the background
    };
    const Case cases[] = {
        {"basn0g01", 3, true, -1},   {"basn0g02", 3, true, -1},   {"basn0g04", 3, true, -1},
        {"basn0g08", 3, true, -1},   {"basn0g16", 3, true, -1},   {"basn2c08", 3, false, -1},
        {"basn2c16", 3, false, -1},  {"basn3p01", 3, false, -1},  {"basn3p02", 3, false, -1},
        {"basn3p04", 3, false, -1},  {"basn3p08", 3, false, -1},  {"basn3p08-trns", 4, false, -1},
        {"basn4a08", 4, true, -1},   {"basn4a16", 4, true, -1},   {"basn6a08", 4, false, -1},
        {"basn6a16", 4, false, -1},  {"ftp0n0g08", 3, true, -1},  {"ftp0n2c08", 3, false, -1},
        {"ftp0n3p08", 3, false, -1}, {"ftp1n3p08", 4, false, -1},
        {"ftbbn0g01", 3, true, 0x000000}, {"ftbbn0g02", 3, true, 0x000000}, {"ftbbn0g04", 3, true, 0x000000},
        {"ftbbn2c16", 3, false, 0x0000FF}, {"ftbbn3p08", 3, false, 0x000000}, {"ftbgn2c16", 3, false, 0x00FF00},
        {"ftbrn2c08", 3, false, 0xFF0000}, {"ftbwn0g16", 3, true, 0xFFFFFF},
        {"ftbwn3p08", 3, false, 0xFFFFFF}, {"ftbyn3p08", 3, false, 0xFFFF00},
        {"ftbgn3p08", 3, false, 0xAAAAAA, 0xD4D4D4},  // file gamma 1.0 shown at 2.2
    };
    for (const Case& c : cases) {
        CPngImage png;
        ASSERT_TRUE(png.Load(CPath(suite + "/" + c.name + ".png"))) << c.name << ": " << png.GetLastError();
        EXPECT_EQ(png.channels, c.channels) << c.name;
        EXPECT_EQ(png.bitsPerPixel, 8 * c.channels) << c.name;
        EXPECT_EQ(png.size, png.width * png.height * c.channels) << c.name;
        EXPECT_EQ(png.alpha != nullptr, c.channels == 4) << c.name;
        if (png.alpha) {
            EXPECT_EQ(png.alpha[5], png.pixels[5 * 4 + 3]) << c.name;
        }
        if (c.grey) {
            for (uint32_t i = 0; i < png.size; i += c.channels)
                ASSERT_TRUE(png.pixels[i] == png.pixels[i + 1] && png.pixels[i] == png.pixels[i + 2]) << c.name;
        }
        ASSERT_EQ(png.background != nullptr, c.background >= 0) << c.name;
        if (c.background >= 0) {
            const Bytes want = {uint8_t(c.background >> 16), uint8_t(c.background >> 8), uint8_t(c.background)};
            EXPECT_EQ(Bytes(png.background.get(), png.background.get() + 3), want) << c.name;
            const long corner = c.corner >= 0 ? c.corner : c.background;
            EXPECT_EQ(Bytes(png.pixels, png.pixels + 3),
                      (Bytes{uint8_t(corner >> 16), uint8_t(corner >> 8), uint8_t(corner)}))
                << c.name << ": not composited";
        }
    }
}

TEST(RealImages, BrokenPngsFailCleanly)
{
    const std::string folder = GoFile("png/testdata");
    if (folder.empty()) GTEST_SKIP() << "Go's PNG test files not installed (golang-1.19-src)";
    // libpng, unlike Go, takes palette indices past the palette as black.
    // Data under right checksums that breaks after some rows (the zlib
    // stream's own check, at the last row) keeps those rows, said damaged.
    const struct {
        const char* name;
        bool decodes, damaged;
    } cases[] = {{"invalid-crc32.png", false, false}, {"invalid-noend.png", false, false},
                 {"invalid-trunc.png", false, false}, {"invalid-zlib.png", true, true},
                 {"invalid-palette.png", true, false}};
    for (const auto& [name, decodes, damaged] : cases) {
        const Bytes bytes = ReadBytes(folder + "/" + name);
        ASSERT_FALSE(bytes.empty()) << name;
        CPngImage png;
        EXPECT_EQ(png.Decode(Exact(bytes).get(), bytes.size()), decodes) << name;
        EXPECT_EQ(png.size, png.width * png.height * png.channels) << name;
        EXPECT_EQ(png.GetDamage(), damaged ? "damaged PNG data" : "") << name;
    }
}

TEST(RealImages, NetpbmBmpsReadBack)
{
    if (!HaveTool("ppmtobmp") || !HaveTool("pnmquant")) GTEST_SKIP() << "netpbm not installed";
    const std::string colour = GoFile("testdata/video-001.png"), grey = GoFile("testdata/video-005.gray.png");
    if (colour.empty() || grey.empty()) GTEST_SKIP() << "Go's test images not installed (golang-1.19-src)";
    tavrel_test::TempDir dir;
    struct Case {
        const char* name;
        std::string source;  // shell pipeline writing the netpbm picture
        std::string options;  // ppmtobmp's
    };
    const std::string colours16 = "pngtopnm " + Quote(colour) + " | pnmquant 16";
    const Case cases[] = {
        {"24-bit", "pngtopnm " + Quote(colour), "-bpp=24"},
        {"8-bit quantised", "pngtopnm " + Quote(colour) + " | pnmquant 256", "-bpp=8"},
        {"8-bit grey", "pngtopnm " + Quote(grey), "-bpp=8"},
        {"4-bit", colours16, "-bpp=4"},
        {"1-bit", "pngtopnm " + Quote(grey) + " | pgmtopbm", "-bpp=1"},
        // OS/2 1.x: a 12-byte header and 3-byte palette entries.
        {"OS/2 24-bit", "pngtopnm " + Quote(colour), "-os2 -bpp=24"},
        {"OS/2 8-bit grey", "pngtopnm " + Quote(grey), "-os2 -bpp=8"},
        {"OS/2 4-bit", colours16, "-os2 -bpp=4"},
    };
    for (const Case& c : cases) {
        // The picture as netpbm wrote it goes back to PNG by pnmtopng: the model.
        const std::string pnm = Quote(dir.file("source.pnm")), bmp = dir.file("picture.bmp");
        const std::string png = dir.file("model.png");
        // Grouped: the tools' messages must not land in the files.
        ASSERT_EQ(tavrel_test::RunCommand("(" + c.source + " > " + pnm + ") && (ppmtobmp " + c.options + " " + pnm +
                                          " > " + Quote(bmp) + " 2>/dev/null) && (pnmtopng " + pnm + " > " +
                                          Quote(png) + ")")
                      .exitCode,
                  0)
            << c.name;
        CBmpImage image;
        testing::internal::CaptureStdout();
        const bool ok = image.Load(CPath(bmp));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.name;
        ASSERT_TRUE(ok) << c.name << image.GetLastError();
        CPngImage model;
        ASSERT_TRUE(model.Load(CPath(png))) << c.name;
        EXPECT_EQ(std::make_pair(image.width, image.height), std::make_pair(model.width, model.height)) << c.name;
        EXPECT_EQ(Rgb(image), Rgb(model)) << c.name;
    }
}

// Go's RGB-coded and CMYK pictures carry an Adobe segment: rebuilt without
// their metadata, they decode in djpeg (libjpeg-turbo) exactly as before.
TEST(RealImages, AdobeJpegsKeepTheirColoursWhenRebuilt)
{
    if (!HaveTool("djpeg")) GTEST_SKIP() << "djpeg not installed";
    if (GoFile("testdata").empty()) GTEST_SKIP() << "Go's test images not installed (golang-1.19-src)";
    tavrel_test::TempDir dir;
    for (const char* name : {"video-001.rgb.jpeg", "video-001.cmyk.jpeg"}) {
        const std::string source = GoFile(std::string("testdata/") + name);
        const Bytes bytes = ReadBytes(source);
        CJpegSections sections;
        size_t size = 0;
        std::unique_ptr<uint8_t[]> plain(sections.BuildPlainJpeg(bytes.data(), bytes.size(), &size));
        ASSERT_TRUE(plain) << name;
        const std::string rebuilt = dir.file("rebuilt.jpg");
        ASSERT_TRUE(WriteBytes(rebuilt, Bytes(plain.get(), plain.get() + size)));
        auto decoded = [&](const std::string& path) {
            const std::string ppm = dir.file("decoded.pnm");
            EXPECT_EQ(tavrel_test::RunCommand("djpeg -pnm -outfile " + Quote(ppm) + " " + Quote(path)).exitCode, 0);
            return ReadBytes(ppm);
        };
        const Bytes original = decoded(source);
        EXPECT_FALSE(original.empty()) << name;
        EXPECT_EQ(decoded(rebuilt), original) << name;
    }
}

class ExifFiles : public testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveTool("exiftool") || !HaveTool("wrjpgcom")) GTEST_SKIP() << "exiftool or wrjpgcom not installed";
        source = GoFile("testdata/video-001.jpeg");
        if (source.empty()) GTEST_SKIP() << "Go's test images not installed (golang-1.19-src)";
    }

    // The Go picture with the given exiftool arguments and a comment.
    std::string Tagged(const std::string& name, const std::string& exiftoolArgs)
    {
        const std::string plain = dir.file(name + ".plain.jpg"), path = dir.file(name);
        EXPECT_EQ(
            tavrel_test::RunCommand("(wrjpgcom -comment 'made elsewhere' " + Quote(source) + " > " + Quote(plain) + ")")
                .exitCode,
            0);
        const tavrel_test::ToolResult r = tavrel_test::RunCommand("exiftool -q -n " + exiftoolArgs + " -o " +
                                                                  Quote(path) + " " + Quote(plain));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return path;
    }

    tavrel_test::TempDir dir;
    std::string source;
};

TEST_F(ExifFiles, Orientation)
{
    struct Case {
        const char* name;
        std::string args;
        unsigned orientation;
    };
    const Case cases[] = {
        {"turned.jpg", "-Orientation=6 -ExifIFD:ExifVersion=0230", 6},
        {"upright.jpg", "-Orientation=1 -ExifIFD:ExifVersion=0230", 1},
        {"no-version.jpg", "-Orientation=6 -ExifIFD:ExifVersion=", 0},
        {"no-exif.jpg", "-Comment=only", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CImageExifInfo().Load(CPath(Tagged(c.name, c.args))), c.orientation) << c.name;
}

TEST_F(ExifFiles, PlainJpegLosesItsMetadata)
{
    const std::string tagged = Tagged("tagged.jpg", "-Orientation=6 -ExifIFD:ExifVersion=0230 -Artist=someone");
    Bytes bytes = ReadBytes(tagged);
    ASSERT_GT(bytes.size(), 4u);
    // A colour profile section too.
    const std::string profile = std::string("ICC_PROFILE\0\1\1", 14) + std::string(128, '\0');
    const size_t n = profile.size() + 2;
    const Bytes app2 = {0xFF, 0xE2, uint8_t(n >> 8), uint8_t(n)};
    bytes.insert(bytes.begin() + 2, profile.begin(), profile.end());
    bytes.insert(bytes.begin() + 2, app2.begin(), app2.end());

    CJpegSections sections;
    size_t size = 0;
    std::unique_ptr<uint8_t[]> plain(sections.BuildPlainJpeg(bytes.data(), bytes.size(), &size));
    ASSERT_TRUE(plain);
    const std::string plainPath = dir.file("plain.jpg");
    ASSERT_TRUE(tavrel_test::WriteFile(plainPath, std::string(plain.get(), plain.get() + size)));

    const tavrel_test::ToolResult before = tavrel_test::RunCommand("exiftool -G1 -a -s " + Quote(tagged));
    const tavrel_test::ToolResult after = tavrel_test::RunCommand("exiftool -G1 -a -s " + Quote(plainPath));
    ASSERT_EQ(after.exitCode, 0) << after.output;
    for (const char* group : {"[IFD0]", "[ExifIFD]", "Comment"}) {
        EXPECT_NE(before.output.find(group), std::string::npos) << group << "\n" << before.output;
        EXPECT_EQ(after.output.find(group), std::string::npos) << group << "\n" << after.output;
    }
    EXPECT_EQ(after.output.find("ICC"), std::string::npos) << after.output;
    EXPECT_NE(after.output.find("[JFIF]"), std::string::npos) << after.output;
    EXPECT_EQ(LoadJpeg(plainPath), LoadJpeg(source));
}

}  // namespace
