// The reader meets movies from anywhere: the real-world corpus, every
// truncation of a sample movie and seeded random damage. Nothing may crash,
// hang or read out of bounds (the suite runs under the sanitizers); a movie
// is either read or refused with "not a SWF file".
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "../support/test_support.h"
#include "reader_movies.h"
#include "swf/movie.h"
#include "template_use.h"

namespace {

struct TagBody {
    int code = 0;
    Bytes body;
    bool operator==(const TagBody&) const = default;
};

// The tags of a movie's data as they stand in the file, up to the End tag.
std::vector<TagBody> FileBodies(const Bytes& data)
{
    CSwfReader reader;
    reader.LoadBytes(data, 10);
    CSwfHeader header;
    header.Parse(reader, true);
    reader.AlignToByte();
    std::vector<TagBody> bodies;
    int code = 0;
    uint32_t length = 0;
    while (reader.ReadTagHeader(code, length)) {
        TagBody tag{code, {}};
        for (uint32_t i = 0; i < length && reader.GetRemaining() > 0; ++i) tag.body.push_back(reader.ReadU8());
        bodies.push_back(tag);
        if (code == swf_tag::kEnd) break;
    }
    return bodies;
}

// The tags as our classes write them again.
std::vector<TagBody> WrittenBodies(const CSwfTagList& tags, uint8_t version)
{
    std::vector<TagBody> bodies;
    for (CSwfTag* tag : tags) {
        const Bytes b = WriteTag(*tag, version);
        const size_t header = b.size() >= 2 && (b[0] & 0x3F) == 0x3F ? 6 : 2;
        bodies.push_back({tag->GetTagCode(), Bytes(b.begin() + long(std::min(header, b.size())), b.end())});
    }
    return bodies;
}

// Kinds the valid movies of the corpus need normalised (docs/internals.md): bit
// fields at the writer's widths, colour transforms with their multiply terms,
// DefineFont2 offsets, long glyph records split, empty action blocks left out
// (sprites hold all of these), DefineButton's action list, bytes after a
// button colour transform dropped.
const std::set<int> kNormalisedCodes = {2, 7, 11, 12, 22, 23, 26, 32, 34, 39, 48};

// A written body parsed by a fresh tag of its kind and written once more.
Bytes Rewritten(const TagBody& tag, uint8_t version)
{
    const uint32_t length = uint32_t(tag.body.size());
    Bytes bytes = {uint8_t(tag.code << 6 | 0x3F), uint8_t(tag.code >> 2), uint8_t(length), uint8_t(length >> 8),
                   uint8_t(length >> 16), uint8_t(length >> 24)};
    bytes.insert(bytes.end(), tag.body.begin(), tag.body.end());
    CSwfReader reader;
    reader.LoadBytes(bytes, version);
    int code = 0;
    uint32_t read = 0;
    reader.ReadTagHeader(code, read);
    std::unique_ptr<CSwfTag> parsed(reader.CreateTag(code, read));
    parsed->Parse(reader);
    return WrittenBodies({parsed.get()}, version).front().body;
}

}  // namespace

TEST(SwfReaderRobustness, EveryTruncationOfASampleMovie)
{
    const Bytes movie = SampleMovie();
    for (size_t n = 0; n <= movie.size(); ++n) {
        OwnedReader reader;
        if (reader.OpenMemory(movie.data(), n, true, 0, true)) {
            ASSERT_FALSE(reader.GetTags(nullptr).empty()) << n;
            EXPECT_EQ(reader.GetTags(nullptr).back()->GetTagCode(), swf_tag::kEnd) << n;
            UseTemplateTags(reader);
        } else {
            EXPECT_EQ(reader.lastError, CSwfReader::kErrorNotSwf) << n;
        }
    }
}

TEST(SwfReaderRobustness, SeededDamageToLengthsAndCounts)
{
    const Bytes movie = SampleMovie();
    std::mt19937 random(20240607);
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = movie;
        const int changes = 1 + int(random() % 4);
        for (int i = 0; i < changes; ++i) {
            const size_t at = 20 + random() % (damaged.size() - 20);
            switch (random() % 4) {
            case 0: damaged[at] = 0xFF; break;  // lengths and counts at their largest
            case 1: damaged[at] = 0x00; break;
            case 2: damaged[at] ^= uint8_t(1u << (random() % 8)); break;
            default: damaged[at] = uint8_t(random()); break;
            }
        }
        OwnedReader reader;
        ASSERT_TRUE(reader.OpenMemory(damaged.data(), damaged.size(), true, 0, true)) << round;
        ASSERT_FALSE(reader.GetTags(nullptr).empty()) << round;
        EXPECT_EQ(reader.GetTags(nullptr).back()->GetTagCode(), swf_tag::kEnd) << round;
        UseTemplateTags(reader);
    }
}

// Inputs the fuzz target found, each a fault mended.
TEST(SwfReaderRobustness, FuzzFindings)
{
    // Read without a signature: a DefineFontInfo whose length runs far past
    // the data counted its character codes from the length and spun on
    // zero reads at the end of the data.
    const Bytes fontInfoLength = {
    0x31, 0x36, 0x43, 0x54, 0x61, 0x67, 0x50, 0x6c, 0x61, 0x63, 0x65, 0x4f, 0x62, 0x0e, 0x01, 0x00, 0x03, 0xbf,
    0x0f, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e,
    0x01, 0x1a, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x06, 0x0e, 0x0e, 0xf2, 0xf1, 0x0e,
    0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e,
    0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x4e, 0x0e, 0x0e, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34,
    0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34,
    0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x34, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e,
    0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0x0e, 0xea, 0xea, 0xea, 0x77, 0xc0,
    0x06, 0x0a, 0x20, 0x60, 0x00, 0x00, 0xea, 0xea, 0xea, 0xea, 0xea, 0xea, 0xea, 0xea, 0xea, 0xea, 0xea, 0xea,
    0xff, 0x26, 0x65, 0x63, 0x74, 0x70, 0x00, 0x0c, 0x80, 0x00, 0x36, 0x43, 0x54, 0x60
    };
    for (bool signature : {false, true}) {
        OwnedReader reader;
        if (reader.OpenMemory(fontInfoLength.data(), fontInfoLength.size(), signature, 0, true)) UseTemplateTags(reader);
    }
}

// Every corpus movie is read or refused; the ones of version 10 or lower
// that swf-dump judges valid are read, and written back they read the same.
TEST(SwfReaderRobustness, RealWorldCorpus)
{
    const std::string shared = tavrel_test::SharedDir();
    const std::string folder = shared.empty() ? std::string() : shared + "/corpus/swf";
    std::ifstream index(folder + "/INDEX.tsv");
    if (folder.empty() || !index) GTEST_SKIP() << "the SWF corpus is not here";
    std::string line;
    std::getline(index, line);
    int read = 0, refused = 0, checked = 0, eligible = 0, identicalMovies = 0;
    while (std::getline(index, line)) {
        std::vector<std::string> fields;
        std::stringstream row(line);
        for (std::string f; std::getline(row, f, '\t');) fields.push_back(f);
        if (fields.size() < 7) continue;
        const std::string path = folder + "/" + fields[0];
        const int version = std::atoi(fields[3].c_str());
        const bool valid = version <= 10 && fields[6].rfind("valid", 0) == 0;
        eligible += valid ? 1 : 0;
        OwnedReader reader;
        if (!reader.Parse(CPath(path), true, 0, true)) {
            EXPECT_EQ(reader.lastError, CSwfReader::kErrorNotSwf) << fields[0];
            EXPECT_FALSE(valid) << fields[0];
            ++refused;
            continue;
        }
        ++read;
        // The file's tags and ours, taken before the imports renumber them.
        const std::vector<TagBody> original = FileBodies(reader.GetData());
        const std::vector<TagBody> written = WrittenBodies(reader.GetTags(nullptr), uint8_t(version));
        const std::vector<std::string> faults = UseTemplateTags(reader);
        // The file reader reads the same movie from the file.
        OwnedFileReader fileReader;
        EXPECT_TRUE(fileReader.OpenFile(CPath(path))) << fields[0];
        fileReader.ParseAllTags();
        // It ends at the file's end, not at the header's length.
        if (fileReader.fileSize == reader.GetData().size()) {
            EXPECT_EQ(fileReader.GetTags(nullptr).size(), reader.GetTags(nullptr).size()) << fields[0];
        }
        // Whatever we make of a tag reads back into itself.
        for (const TagBody& tag : written)
            EXPECT_EQ(Rewritten(tag, uint8_t(version)), tag.body) << fields[0] << " code " << tag.code;
        if (!valid) continue;

        // Written back, every tag is the file's own byte for byte, or of a
        // kind docs/internals.md lists as normalised.
        ASSERT_EQ(written.size(), original.size()) << fields[0];
        bool identical = true;
        for (size_t i = 0; i < written.size(); ++i) {
            if (written[i] == original[i]) continue;
            identical = false;
            EXPECT_EQ(written[i].code, original[i].code) << fields[0] << " tag " << i;
            EXPECT_TRUE(kNormalisedCodes.count(original[i].code)) << fields[0] << " tag " << i << " code " << original[i].code;
        }
        identicalMovies += identical ? 1 : 0;
        for (const std::string& fault : faults) ADD_FAILURE() << fields[0] << ": " << fault;
        ++checked;
    }
    EXPECT_EQ(read + refused, 300);
    EXPECT_EQ(checked, eligible);
    EXPECT_GT(eligible, 150);
    EXPECT_GE(identicalMovies, 122);
    std::cout << "corpus: " << read << " read, " << refused << " refused, " << checked << " written back, "
              << identicalMovies << " of them byte for byte\n";
}
