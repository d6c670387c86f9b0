// Shape, font, text and morph tags of real-world movies from other tools,
// parsed and written back.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <map>

#include "support/test_support.h"
#include "swf/fonts.h"
#include "swf/morph.h"
#include "swf/shapes.h"
#include "swf/text.h"
#include "swf_bytes.h"

namespace {

// The uncompressed movie (header included), or empty when it is not a readable SWF.
Bytes LoadMovie(const std::string& path)
{
    const std::string raw = tavrel_test::ReadFile(path);
    if (raw.size() < 8 || raw.compare(1, 2, "WS") != 0) return {};
    const uint32_t length = uint8_t(raw[4]) | uint8_t(raw[5]) << 8 | uint8_t(raw[6]) << 16 | uint32_t(uint8_t(raw[7])) << 24;
    if (raw[0] == 'F') return Bytes(raw.begin(), raw.end());
    if (raw[0] != 'C' || length < 8 || length > (64u << 20)) return {};
    Bytes out(length);
    std::copy(raw.begin(), raw.begin() + 8, out.begin());
    uLongf size = length - 8;
    const int rc = uncompress(out.data() + 8, &size, reinterpret_cast<const Bytef*>(raw.data() + 8), uLong(raw.size() - 8));
    if (rc != Z_OK && rc != Z_BUF_ERROR) return {};
    out.resize(8 + size);
    return out;
}

std::unique_ptr<CSwfTag> MakeTag(int code)
{
    switch (code) {
    case swf_tag::kDefineShape: return std::make_unique<CTagDefineShape>();
    case swf_tag::kDefineShape2: return std::make_unique<CTagDefineShape2>();
    case swf_tag::kDefineShape3: return std::make_unique<CTagDefineShape3>();
    case swf_tag::kDefineMorphShape: return std::make_unique<CTagDefineMorphShape>();
    case swf_tag::kDefineFont: return std::make_unique<CTagDefineFont>();
    case swf_tag::kDefineFont2: return std::make_unique<CTagDefineFont2>();
    case swf_tag::kDefineFontInfo: return std::make_unique<CTagDefineFontInfo>();
    case swf_tag::kDefineFontInfo2: return std::make_unique<CTagDefineFontInfo2>();
    case swf_tag::kDefineText: return std::make_unique<CTagDefineText>();
    case swf_tag::kDefineText2: return std::make_unique<CTagDefineText2>();
    case swf_tag::kDefineEditText: return std::make_unique<CTagDefineEditText>();
    default: return nullptr;
    }
}

// The tag's body as this system writes it (header stripped).
Bytes BodyOf(CSwfTag& tag, uint8_t version)
{
    const Bytes written = Written(tag, version);
    const size_t header = (written.size() >= 2 && (written[0] & 0x3F) == 0x3F) ? 6 : 2;
    return Bytes(written.begin() + std::min(header, written.size()), written.end());
}

TEST(SwfCorpusDrawing, TagsReadAndWriteBack)
{
    const std::string corpus = tavrel_test::SharedDir() + "/corpus/swf";
    if (tavrel_test::SharedDir().empty() || !std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus";
    std::map<int, int> seen, identical;
    int tags = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        if (entry.path().extension() != ".swf") continue;
        const Bytes movie = LoadMovie(entry.path().string());
        if (movie.size() < 21) continue;
        const uint8_t version = movie[3];
        CSwfReader reader;
        reader.LoadBytes(movie, version);
        reader.Seek(8);
        CSwfRect frame;
        frame.Parse(reader);
        reader.AlignToByte();
        reader.Skip(4);
        int code = 0;
        uint32_t length = 0;
        while (reader.ReadTagHeader(code, length) && code != swf_tag::kEnd) {
            const uint32_t start = reader.GetPosition();
            if (uint64_t(start) + length > movie.size()) break;
            if (auto tag = MakeTag(code)) {
                const Bytes original(movie.begin() + start, movie.begin() + start + length);
                const int consumed = tag->Parse(reader);
                const std::string where = entry.path().filename().string() + " tag " + std::to_string(code) + " at " +
                                          std::to_string(start);
                ++tags;
                ++seen[code];
                EXPECT_LE(consumed, int(length)) << where;
                // What this system writes reads back to the same bytes again.
                const Bytes first = BodyOf(*tag, version);
                auto again = MakeTag(code);
                CSwfReader second;
                second.LoadBytes(first, version);
                second.SetTagLength(uint32_t(first.size()));
                EXPECT_EQ(again->Parse(second), int(first.size())) << where;
                EXPECT_EQ(BodyOf(*again, version), first) << where;
                if (first == original) ++identical[code];
            }
            reader.Seek(start + length);
            reader.SetTagLength(0);
        }
    }
    int same = 0;
    for (const auto& [code, n] : seen) {
        std::printf("tag %d: %d parsed, %d written back byte for byte\n", code, n, identical[code]);
        same += identical[code];
    }
    EXPECT_GT(tags, 100);
    // The rest differ only where the writer picks its own widths and flags
    // (minimal bit counts, offset widths, codes by version).
    EXPECT_GE(same * 10, tags * 9) << same << " of " << tags;
}

}  // namespace
