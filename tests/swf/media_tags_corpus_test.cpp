// The bitmap, sound, video and button tags of real movies from other tools:
// each parses its whole body and writes it back.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "support/test_support.h"
#include "swf/bitmaps.h"
#include "swf/buttons.h"
#include "swf/file_utils.h"
#include "swf/sounds.h"
#include "swf/video.h"
#include "swf_bytes.h"

namespace {

struct CorpusMovie {
    std::string path;
    std::string signature;
    bool validForDump = false;
};

std::vector<CorpusMovie> CorpusMovies()
{
    std::vector<CorpusMovie> movies;
    const std::string shared = tavrel_test::SharedDir();
    if (shared.empty()) return movies;
    const std::string root = shared + "/corpus/swf/";
    std::ifstream index(root + "INDEX.tsv");
    std::string line;
    std::getline(index, line);
    while (std::getline(index, line)) {
        std::vector<std::string> cols;
        std::stringstream ss(line);
        for (std::string col; std::getline(ss, col, '\t');) cols.push_back(col);
        if (cols.size() < 7) continue;
        movies.push_back({root + cols[0], cols[2], cols[6] == "valid"});
    }
    return movies;
}

std::unique_ptr<CSwfTag> MakeTag(int code, uint32_t length)
{
    switch (code) {
    case swf_tag::kDefineBits: return std::make_unique<CTagDefineBits>(length);
    case swf_tag::kJPEGTables: return std::make_unique<CTagJPEGTables>(length);
    case swf_tag::kDefineBitsJPEG2: return std::make_unique<CTagDefineBitsJPEG2>();
    case swf_tag::kDefineBitsJPEG3: return std::make_unique<CTagDefineBitsJPEG3>();
    case swf_tag::kDefineBitsLossless: return std::make_unique<CTagDefineBitsLossless>();
    case swf_tag::kDefineBitsLossless2: return std::make_unique<CTagDefineBitsLossless2>();
    case swf_tag::kDefineSound: return std::make_unique<CTagDefineSound>();
    case swf_tag::kStartSound: return std::make_unique<CTagStartSound>();
    case swf_tag::kSoundStreamHead: return std::make_unique<CTagSoundStreamHead>();
    case swf_tag::kSoundStreamHead2: return std::make_unique<CTagSoundStreamHead2>();
    case swf_tag::kSoundStreamBlock: return std::make_unique<CTagSoundStreamBlock>();
    case swf_tag::kDefineVideoStream: return std::make_unique<CTagDefineVideoStream>();
    case swf_tag::kVideoFrame: return std::make_unique<CTagVideoFrame>(length);
    case swf_tag::kDefineButton: return std::make_unique<CTagDefineButton>();
    case swf_tag::kDefineButton2: return std::make_unique<CTagDefineButton2>();
    case swf_tag::kDefineButtonSound: return std::make_unique<CTagDefineButtonSound>();
    case swf_tag::kDefineButtonCxform: return std::make_unique<CTagDefineButtonCxform>();
    default: return nullptr;
    }
}

Bytes BodyOf(const Bytes& written)
{
    if (written.size() < 2) return {};
    const size_t header = (written[0] & 0x3F) == 0x3F ? 6 : 2;
    return Bytes(written.begin() + std::min(header, written.size()), written.end());
}

// Records, conditions and action lists of a button, written out.
Bytes Reparsed(CSwfTag& tag, const Bytes& written)
{
    std::unique_ptr<CSwfTag> again = MakeTag(tag.GetTagCode(), 0);
    ParseTag(*again, written);
    return Written(*again);
}

TEST(SwfMediaTagsCorpus, RealTagsParseWholeAndWriteBack)
{
    const std::vector<CorpusMovie> movies = CorpusMovies();
    if (movies.empty()) GTEST_SKIP() << "corpus not available";
    tavrel_test::TempDir dir;
    std::map<int, int> checked;
    int expanded = 0;
    for (const CorpusMovie& movie : movies) {
        if (movie.signature != "FWS" && movie.signature != "CWS") continue;
        std::string file = movie.path;
        if (movie.signature == "CWS") {
            const std::string plain = dir.file("plain.swf");
            const bool ok = DecompressSwfFile(file, plain, true);
            if (movie.validForDump) {
                EXPECT_TRUE(ok) << movie.path;
            }
            if (!ok) continue;
            ++expanded;
            file = plain;
        }
        const std::string text = tavrel_test::ReadFile(file);
        const Bytes data(text.begin(), text.end());
        if (data.size() < 21) continue;
        const size_t rectBytes = (5 + 4 * (data[8] >> 3) + 7) / 8;
        CSwfReader reader;
        reader.LoadBytes(data, data[3]);
        reader.Seek(uint32_t(8 + rectBytes + 4));
        int code = 0;
        uint32_t length = 0;
        while (reader.ReadTagHeader(code, length) && code != swf_tag::kEnd) {
            const uint32_t start = reader.GetPosition();
            const uint64_t end = uint64_t(start) + length;
            if (end > data.size()) break;
            std::unique_ptr<CSwfTag> tag = MakeTag(code, length);
            if (tag) {
                const std::string where = movie.path + " tag " + std::to_string(code) + " at " + std::to_string(start);
                const Bytes body(data.begin() + start, data.begin() + end);
                tag->Parse(reader);
                // Flash MX pads some colour transforms; the split skips the padding.
                if (code == swf_tag::kDefineButtonCxform)
                    EXPECT_LE(reader.GetPosition(), end) << where;
                else
                    EXPECT_EQ(reader.GetPosition(), end) << where;
                const Bytes written = Written(*tag, data[3]);
                const bool isButton = code == swf_tag::kDefineButton || code == swf_tag::kDefineButton2 ||
                                      code == swf_tag::kDefineButtonCxform;
                const bool head = code == swf_tag::kSoundStreamHead || code == swf_tag::kSoundStreamHead2;
                if (head) {
                    // The reserved high nibble of the playback byte is not kept;
                    // legacy 4-byte MP3 heads gain their latency field.
                    Bytes expected = body;
                    expected[0] &= 0x0F;
                    if (length == 4 && (body[1] >> 4) == swf_sound::kMp3) expected.insert(expected.end(), {0, 0});
                    EXPECT_EQ(BodyOf(written), expected) << where;
                } else if (isButton) {
                    // Matrices and colour transforms are re-encoded at their own
                    // widths: the written form must read back to itself.
                    EXPECT_EQ(Reparsed(*tag, written), written) << where;
                } else {
                    EXPECT_EQ(BodyOf(written), body) << where;
                }
                ++checked[code];
            }
            reader.Seek(uint32_t(end));
        }
    }
    EXPECT_GT(expanded, 100);
    // Every family met at least once.
    for (int code : {6, 8, 14, 15, 19, 20, 21, 34, 35, 36, 45, 60, 61}) EXPECT_GT(checked[code], 0) << code;
}

}  // namespace
