#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include <zlib.h>

#include "../support/scoped_env.h"
#include "../support/test_support.h"
#include "reader_movies.h"
#include "swf/file_utils.h"
#include "swf/movie.h"

namespace {

using tavrel_test::TempDir;

// A reader whose tags are deleted with it.

bool LoadMovie(CSwfReader& reader, const Bytes& movie)
{
    return reader.OpenMemory(movie.data(), movie.size(), true, 0, true);
}

// Temporary files of the reader left in the work folder.
std::set<std::string> Leftovers()
{
    CPath folder;
    GetTempFilePath(folder, "", true);
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder.GetFullPath(), ec))
        if (entry.path().filename().string().rfind("_xxswfxx_", 0) == 0) names.insert(entry.path().string());
    return names;
}

// Expansions of the work folder this process holds open, named or not.
size_t HeldExpansions()
{
    CPath folder;
    GetTempFilePath(folder, "", true);
    std::string prefix = folder.GetFullPath();
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    size_t held = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec))
        held += std::filesystem::read_symlink(entry.path(), ec).string().rfind(prefix + "/", 0) == 0;
    return held;
}

// Temporary and preference folders inside a private folder for one test.
struct PrivateTemp {
    TempDir dir;
    tavrel_test::ScopedEnv tmp{"TMPDIR", dir.path().c_str()};
    tavrel_test::ScopedEnv config{"XDG_CONFIG_HOME", dir.path().c_str()};
};

const Bytes kHeader = {'F', 'W', 'S', 6, 0, 0, 0, 0, 0x00, 0x00, 0x0C, 0x01, 0x00};

// A movie of the given tag bytes with a zero-bit frame RECT and no End tag.
Bytes Movie(const Bytes& tags)
{
    Bytes m = Cat({kHeader, tags});
    for (int i = 0; i < 4; ++i) m[4 + i] = uint8_t(m.size() >> (8 * i));
    return m;
}

}  // namespace

TEST(SwfReader, SampleMovieReadsIntoItsClassesAndWritesBackToTheSameBytes)
{
    for (uint8_t version : {4, 6, 8}) {
        const Bytes movie = SampleMovie(version);
        OwnedReader reader;
        ASSERT_TRUE(LoadMovie(reader, movie));
        CSwfTagList& tags = reader.GetTags(nullptr);
        ASSERT_EQ(Codes(tags), (std::vector<int>{9, 20, 2, 2, 14, 34, 17, 39, 39, 26, 12, 43, 1, 0}));
        EXPECT_NE(dynamic_cast<CTagDefineBitsLossless*>(tags[1]), nullptr);
        EXPECT_NE(dynamic_cast<CTagDefineButton2*>(tags[5]), nullptr);
        auto* clip = dynamic_cast<CTagDefineSprite*>(tags[8]);
        ASSERT_NE(clip, nullptr);
        EXPECT_EQ(clip->characterId, 7);
        EXPECT_EQ(Codes(clip->tags), (std::vector<int>{26, 15, 1, 0}));
        EXPECT_TRUE(reader.hasSound);
        EXPECT_EQ(reader.GetWidth(), 4000);
        EXPECT_EQ(reader.GetHeight(), 2000);
        EXPECT_EQ(reader.GetMovieVersion(), version);
        EXPECT_EQ(RewriteMovie(reader, tags), movie) << "version " << int(version);
    }
}

TEST(SwfReader, RefusesWhatIsNotAMovie)
{
    TempDir dir;
    const Bytes sample = SampleMovie();
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"FWX", Cat({Str("FWX"), Bytes(sample.begin() + 3, sample.end())})},
        {"ZWS (LZMA)", Cat({Str("ZWS"), Bytes(sample.begin() + 3, sample.end())})},
        {"empty", {}},
        {"signature only", Str("FWS")},
        {"RECT cut short", Bytes(sample.begin(), sample.begin() + 10)},
        {"damaged zlib stream", Cat({Str("CWS"), {6, 100, 0, 0, 0}, Bytes(40, 0xAB)})},
    };
    PrivateTemp temp;
    for (const Case& c : cases) {
        const std::string path = dir.file("movie.swf");
        ASSERT_TRUE(tavrel_test::WriteFile(path, AsString(c.bytes)));
        OwnedReader reader;
        EXPECT_FALSE(reader.Parse(CPath(path), true, 0, true)) << c.name;
        EXPECT_EQ(reader.lastError, CSwfReader::kErrorNotSwf) << c.name;
        OwnedFileReader fileReader;
        EXPECT_FALSE(fileReader.OpenFile(CPath(path))) << c.name;
        EXPECT_EQ(fileReader.lastError, CSwfReader::kErrorNotSwf) << c.name;
        OwnedReader memory;
        EXPECT_FALSE(memory.OpenMemory(c.bytes.data(), c.bytes.size(), true, 0, true)) << c.name;
        EXPECT_EQ(memory.lastError, CSwfReader::kErrorNotSwf) << c.name;
    }
    EXPECT_TRUE(Leftovers().empty());

    OwnedReader missing;
    EXPECT_FALSE(missing.Parse(CPath(dir.file("none.swf")), true, 0, true));
    EXPECT_EQ(missing.lastError, CSwfReader::kErrorCannotOpen);
}

TEST(SwfReader, CompressedMoviesExpandIntoPrivateFilesThatAreRemoved)
{
    PrivateTemp temp;
    TempDir dir;
    const Bytes movie = SampleMovie();
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("plain.swf"), AsString(movie)));
    ASSERT_TRUE(CompressSwfFile(dir.file("plain.swf"), dir.file("a.swf"), false));
    ASSERT_TRUE(CompressSwfFile(dir.file("plain.swf"), dir.file("b.swf"), false));

    OwnedReader reader;
    ASSERT_TRUE(reader.Parse(CPath(dir.file("a.swf")), true, 0, true));
    EXPECT_TRUE(reader.fromCompressed);
    EXPECT_EQ(RewriteMovie(reader, reader.GetTags(nullptr)), movie);
    EXPECT_TRUE(Leftovers().empty());

    OwnedReader opened;
    ASSERT_TRUE(opened.Open(CPath(dir.file("a.swf"))));
    EXPECT_TRUE(opened.fromCompressed);
    EXPECT_TRUE(Leftovers().empty());

    // Two file readers at once each keep their own expansion until closed,
    // without a name where the file system allows.
    OwnedFileReader first, second;
    ASSERT_TRUE(first.OpenFile(CPath(dir.file("a.swf"))));
    ASSERT_TRUE(second.OpenFile(CPath(dir.file("b.swf"))));
    EXPECT_EQ(HeldExpansions(), 2u);
    first.ParseAllTags();
    second.ParseAllTags();
    EXPECT_EQ(WriteTags(first.GetTags(nullptr), 6), WriteTags(second.GetTags(nullptr), 6));
    first.CloseInput();
    second.CloseInput();
    EXPECT_EQ(HeldExpansions(), 0u);
    EXPECT_TRUE(Leftovers().empty());

    const Bytes compressed = Str(tavrel_test::ReadFile(dir.file("a.swf")));
    OwnedReader memory;
    EXPECT_FALSE(memory.OpenMemory(compressed.data(), compressed.size(), true, 0, true));
    EXPECT_EQ(memory.lastError, CSwfReader::kErrorNotSwf);
    EXPECT_TRUE(memory.fromCompressed);
}

TEST(SwfReader, ExpansionGrowsWithTheStreamUnderACap)
{
    // A small stream announcing 4 GB: what it yields (3 MB) is read, never
    // the announced length, and past the reader's cap the movie is refused.
    PrivateTemp temp;
    TempDir dir;
    const Bytes movie = SampleMovie();
    Bytes body(movie.begin() + 8, movie.end());
    body.resize(body.size() + (3 << 20), 0);
    uLongf packedSize = compressBound(uLong(body.size()));
    Bytes packed(packedSize);
    ASSERT_EQ(compress2(packed.data(), &packedSize, body.data(), uLong(body.size()), 9), Z_OK);
    packed.resize(packedSize);
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("bomb.swf"), AsString(Cat({Str("CWS"), {6, 0xFF, 0xFF, 0xFF, 0xFF}, packed}))));

    for (const uint64_t cap : {uint64_t(1) << 20, CSwfReader::kDefaultMaxMovieSize}) {
        const bool fits = cap > body.size() + 8;
        OwnedReader reader;
        reader.maxMovieSize = cap;
        EXPECT_EQ(reader.Parse(CPath(dir.file("bomb.swf")), true, 0, true), fits) << cap;
        if (fits) EXPECT_EQ(reader.GetData().size(), body.size() + 8);
        else EXPECT_EQ(reader.lastError, CSwfReader::kErrorNotSwf);
        OwnedFileReader file;
        file.maxMovieSize = cap;
        EXPECT_EQ(file.OpenFile(CPath(dir.file("bomb.swf"))), fits) << cap;
        if (fits) EXPECT_EQ(file.fileSize, body.size() + 8);
        else EXPECT_EQ(file.lastError, CSwfReader::kErrorNotSwf);
        file.CloseInput();
        EXPECT_TRUE(Leftovers().empty()) << cap;
    }
    // A plain movie past the cap is refused the same way.
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("plain.swf"), AsString(movie)));
    OwnedReader plain;
    plain.maxMovieSize = movie.size() - 1;
    EXPECT_FALSE(plain.Parse(CPath(dir.file("plain.swf")), true, 0, true));
    EXPECT_EQ(plain.lastError, CSwfReader::kErrorNotSwf);
}

TEST(SwfReader, FileReaderReadsTheHeaderThenTheTagsFromTheFile)
{
    TempDir dir;
    Bytes movie = SampleMovie();
    // Frame rate 12.5.
    const size_t rateAt = 8 + (5 + 4 * (movie[8] >> 3) + 7) / 8;
    movie[rateAt] = 0x80;
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("m.swf"), AsString(movie)));
    OwnedFileReader reader;
    ASSERT_TRUE(reader.OpenFile(CPath(dir.file("m.swf"))));
    EXPECT_FLOAT_EQ(reader.frameRate, 12.5f);
    EXPECT_EQ(reader.version, 6);
    EXPECT_EQ(reader.frameCount, 1);
    int w = 0, h = 0;
    reader.GetFrameSize(w, h);
    EXPECT_EQ(w, 4000);
    EXPECT_EQ(h, 2000);
    reader.ParseAllTags();
    OwnedReader memory;
    ASSERT_TRUE(LoadMovie(memory, movie));
    EXPECT_FLOAT_EQ(memory.GetHeader().frameRate, 12.5f);
    EXPECT_EQ(WriteTags(reader.GetTags(nullptr), 6), WriteTags(memory.GetTags(nullptr), 6));
}

TEST(SwfReader, HeaderLengthNeverReadsMoreThanTheFileHolds)
{
    TempDir dir;
    Bytes movie = SampleMovie();
    for (int i = 0; i < 4; ++i) movie[4 + i] = 0xFF;
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("m.swf"), AsString(movie)));
    OwnedReader reader;
    ASSERT_TRUE(reader.Parse(CPath(dir.file("m.swf")), true, 0, true));
    EXPECT_EQ(reader.GetData().size(), movie.size());
    EXPECT_EQ(reader.GetTags(nullptr).size(), 14u);
    OwnedReader memory;
    ASSERT_TRUE(LoadMovie(memory, movie));
    EXPECT_EQ(memory.GetData().size(), movie.size());

    // A shorter length cuts the movie there; the split still ends in an End tag.
    OwnedReader cut;
    ASSERT_TRUE(cut.OpenMemory(movie.data(), movie.size(), true, 40, true));
    EXPECT_EQ(cut.GetData().size(), 40u);
    ASSERT_FALSE(cut.GetTags(nullptr).empty());
    EXPECT_EQ(cut.GetTags(nullptr).back()->GetTagCode(), swf_tag::kEnd);
}

TEST(SwfReader, SplitKeepsTagsApartWhateverTheirLengthsSay)
{
    const Bytes showFrame = {0x40, 0x00};
    const Bytes end = {0x00, 0x00};
    // A shape whose header claims 3 bytes more than its parse reads.
    Bytes shape = WriteTag(*Rect(1, 0, 0, 200, 200, CFillStyle::MakeSolid(0xFF)), 6);
    shape[0] = uint8_t(shape[0] + 3);
    shape.insert(shape.end(), {0x44, 0x44, 0x44});
    struct Case {
        const char* name;
        Bytes tags;
        std::vector<int> codes;
    };
    const Case cases[] = {
        // A long header whose length is below 63.
        {"long form", Cat({{0x3F, 0x03, 3, 0, 0, 0}, {1, 2, 3}, showFrame, end}), {12, 1, 0}},
        // A length that wraps a 32-bit end position, and one beyond the data.
        {"wrapping length", Cat({showFrame, {0xBF, 0x00, 0xF0, 0xFF, 0xFF, 0xFF}, showFrame}), {1, 2, 0}},
        {"length past the end", Cat({showFrame, {0x3F, 0x03, 0x00, 0x10, 0, 0}, {1, 2}}), {1, 12, 0}},
        // An action list cut by its length does not read the next tag's bytes.
        {"DoAction cut short", Cat({{0x01, 0x03}, {0x96}, showFrame, end}), {12, 1, 0}},
        // A JPEG body of length 0 stops at its end, not at a marker further on.
        {"JPEG body ending at its id", Cat({{0x82, 0x01}, {0x01, 0x00}, {0xC5, 0x0A}, {0xFF, 0xD9, 0xFF, 0xD9, 0}, end}),
         {6, 43, 0}},
        {"code 63 and the marker tag", Cat({{0xC0, 0x0F}, {0xC1, 0xF9, 0xAA}, end}), {63, 999, 0}},
        {"no End tag", showFrame, {1, 0}},
        {"shape longer than its parse", Cat({shape, WriteTag(*std::make_unique<CTagFrameLabel>("a"), 6), showFrame}),
         {2, 43, 1, 0}},
        // A body that counts what is left from its length, not from the data.
        {"font info length far past the data", Cat({{0x7F, 0x03, 0xF0, 0xFF, 0xFF, 0x7F}, {5, 0, 1, 'A', 0, 'B'}}),
         {13, 0}},
    };
    for (const Case& c : cases) {
        OwnedReader reader;
        const Bytes movie = Movie(c.tags);
        ASSERT_TRUE(LoadMovie(reader, movie)) << c.name;
        EXPECT_EQ(Codes(reader.GetTags(nullptr)), c.codes) << c.name;
    }

    OwnedReader marker;
    const Bytes markerMovie = Movie(cases[5].tags);
    ASSERT_TRUE(LoadMovie(marker, markerMovie));
    EXPECT_TRUE(marker.hasMarkerTag);
    auto* raw = dynamic_cast<CTagRaw*>(marker.GetTags(nullptr)[1]);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->data, Bytes{0xAA});
}

TEST(SwfReader, MaxFramesAndControlTags)
{
    const Bytes movie = Movie(Cat({{0x40, 0x00}, {0x40, 0x00}, {0x40, 0x00}, {0x00, 0x00}}));
    OwnedReader reader;
    ASSERT_TRUE(reader.OpenMemory(movie.data(), movie.size(), true, 0, false));
    reader.ParseTags(nullptr, 2);
    EXPECT_EQ(Codes(reader.GetTags(nullptr)), (std::vector<int>{1, 1}));

    TempDir dir;
    const Bytes sample = SampleMovie();
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("m.swf"), AsString(sample)));
    OwnedReader control;
    ASSERT_TRUE(control.Open(CPath(dir.file("m.swf"))));
    int modelled = 0;
    for (CSwfTag* tag : control.GetTags(nullptr)) {
        if (!dynamic_cast<CTagRaw*>(tag)) {
            ++modelled;
            EXPECT_TRUE(tag->GetTagCode() == swf_tag::kSetBackgroundColor ||
                        tag->GetTagCode() == swf_tag::kFrameLabel);
        }
    }
    EXPECT_EQ(modelled, 2);
    OwnedReader full;
    ASSERT_TRUE(LoadMovie(full, sample));
    EXPECT_EQ(Codes(control.GetTags(nullptr)), Codes(full.GetTags(nullptr)));
    // Raw tags keep their bodies.
    auto* raw = dynamic_cast<CTagRaw*>(control.GetTags(nullptr)[1]);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(WriteTag(*raw, 6).size(), raw->data.size() + (raw->data.size() < 63 ? 2 : 6));
}
