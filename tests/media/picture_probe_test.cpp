// The structure probe that decides, without decoding, whether a picture
// file will decode: judged against the decoder itself.
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <string>

#include "media/picture_file.h"
#include "picture_fixtures.h"

using namespace picture_test;
using tavrel_test::TempDir;

namespace {

constexpr uint8_t kOpaque[4] = {255, 255, 255, 255};
constexpr uint8_t kMixedAlpha[4] = {255, 0, 128, 255};

// What opening and decoding the file makes of it; why not in *error.
bool Decodes(const std::string& path, uint32_t* width, uint32_t* height, std::string* error = nullptr)
{
    PictureFile file;
    const bool decoded = file.Open(path) && file.Pixels(1, 1);
    if (error) *error = file.LastError();
    if (!decoded) return false;
    *width = file.Width();
    *height = file.Height();
    return true;
}

void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

// A PNG chunk with its length and checksum.
Bytes Chunk(const char* type, const Bytes& data)
{
    Bytes out(8);
    Put32(out, 0, uint32_t(data.size()));
    std::copy(type, type + 4, out.begin() + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + 4, uInt(out.size() - 4));
    out.resize(out.size() + 4);
    Put32(out, out.size() - 4, uint32_t(crc));
    return out;
}

}  // namespace

// Every file of every kind cut at every length: the probe says "readable"
// exactly when the decoder reads the rest, and decodes nothing to say it.
TEST(PictureProbe, CutFilesAreJudgedAsTheDecoderJudgesThem)
{
    TempDir dir;
    GifSpec gif{8, 8, 0, 0, 8, 8, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}, {}};
    for (int i = 0; i < 64; ++i) gif.indices.push_back(uint8_t(i % 4));
    gif.interlace = true;
    const struct {
        const char* name;
        std::function<bool(const std::string&)> write;
    } kinds[] = {
        {"alpha.png", [](auto& p) { return WritePng(p, 8, 6, Quarters(8, 6, kMixedAlpha), true); }},
        {"palette.bmp", [](auto& p) { return WriteBmp(p, 7, 6, Quarters(7, 6, kOpaque), 4); }},
        {"alpha.bmp", [](auto& p) { return WriteBmp(p, 7, 6, Quarters(7, 6, kMixedAlpha), 32); }},
        {"interlaced.gif", [&](auto& p) { return WriteGif(p, gif); }},
        {"rgb.tif", [](auto& p) { return WriteTiff(p, 8, 6, Quarters(8, 6, kOpaque), false); }},
        {"photo.jpg", [](auto& p) { return WriteJpeg(p, 8, 6, Quarters(8, 6, kOpaque), 90); }},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const std::string whole = dir.file(kind.name), cut = dir.file(std::string("cut-") + kind.name);
        ASSERT_TRUE(kind.write(whole));
        const Bytes bytes = ReadBytes(whole);

        int readable = 0;
        for (size_t length = 0; length <= bytes.size(); ++length) {
            ASSERT_TRUE(WriteBytes(cut, Bytes(bytes.begin(), bytes.begin() + length)));
            uint32_t w = 0, h = 0;
            std::string error;
            const bool decodes = Decodes(cut, &w, &h, &error);
            const uint64_t decodesBefore = PictureDecodeCount();
            const PictureProbe probe = ProbePicture(cut);
            EXPECT_EQ(PictureDecodeCount(), decodesBefore);
            ASSERT_EQ(probe.readable, decodes)
                << length << " of " << bytes.size() << " bytes: " << probe.error << error;
            if (!decodes) continue;
            ++readable;
            EXPECT_EQ(probe.width, w);
            EXPECT_EQ(probe.height, h);
        }
        // The whole file reads, and so, for JPEG, does every cut past its
        // header: the decoder fills in what is missing.
        EXPECT_GE(readable, 1);
    }
}

// Damage inside a whole PNG: a checksum that fails is seen, as libpng sees
// it for the chunks it needs (and forgives it for the others); compressed
// data that is wrong under a right checksum is the one thing only decoding
// tells.
TEST(PictureProbe, DamagedPngChunks)
{
    TempDir dir;
    ASSERT_TRUE(WritePng(dir.file("good.png"), 8, 6, Quarters(8, 6, kOpaque), false));
    const Bytes good = ReadBytes(dir.file("good.png"));
    const Bytes signature(good.begin(), good.begin() + 8), header(good.begin() + 8, good.begin() + 33);
    const Bytes rest(good.begin() + 33, good.end());  // IDAT and IEND
    const Bytes end = Chunk("IEND", {});
    auto flipLast = [](Bytes b) {
        b[b.size() - 5] ^= 0x40;  // a byte of the data, under the old checksum
        return b;
    };
    const struct {
        const char* name;
        Bytes bytes;
        bool readable;
    } cases[] = {
        {"whole", good, true},
        {"text after the end", Cat({good, {'j', 'u', 'n', 'k'}}), true},
        {"text chunk with a bad checksum", Cat({signature, header, flipLast(Chunk("tEXt", {'a', 0, 'b'})), rest}),
         true},
        {"image data with a bad checksum",
         Cat({signature, header, flipLast(Bytes(rest.begin(), rest.end() - 12)), end}), false},
        {"header with a bad checksum", Cat({signature, flipLast(header), rest}), false},
        {"no end chunk", Bytes(good.begin(), good.end() - 12), false},
        {"no image data", Cat({signature, header, end}), false},
        {"palette picture without a palette",
         Cat({signature, Chunk("IHDR", {0, 0, 0, 8, 0, 0, 0, 6, 8, 3, 0, 0, 0}), Chunk("IDAT", {}), end}), false},
        {"unknown critical chunk", Cat({signature, header, Chunk("ABCD", {1}), rest}), false},
        {"image data that is no compressed stream", Cat({signature, header, Chunk("IDAT", {1, 2, 3, 4}), end}), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(dir.file("case.png"), c.bytes));
        EXPECT_EQ(ProbePicture(dir.file("case.png")).readable, c.readable);
        uint32_t w = 0, h = 0;
        // The last case is the one the probe cannot see.
        EXPECT_EQ(Decodes(dir.file("case.png"), &w, &h), c.readable && std::string(c.name) != cases[9].name);
    }
}
