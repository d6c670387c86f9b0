#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <random>

#include "platform/files.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/bitmaps.h"
#include "swf/file_utils.h"
#include "round_trip.h"

namespace {

using tavrel_test::ReadFile;
using tavrel_test::TempDir;
using tavrel_test::WriteFile;

constexpr int kUntouched = 99;

// A plain movie of some 60 KB, part noise and part repetition, so that the
// zlib pass spans many buffers.
std::string SampleMovie()
{
    std::mt19937 rng(7);
    CTagDefineBitsLossless bitmap(CTagDefineBitsLossless::kRgb32);
    bitmap.SetCharacterId(1);
    bitmap.SetWidth(100);
    bitmap.SetHeight(100);
    Bytes data(60000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = i < 20000 ? uint8_t(rng()) : uint8_t(i / 300);
    bitmap.SetData(data.data(), data.size());
    return AsString(PlainMovie(Cat({Written(bitmap), {0x40, 0x00}}), 1));
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

TEST(SwfFileUtils, CompressedMovieExpandsToThePlainMovie)
{
    TempDir dir;
    const std::string plain = SampleMovie();
    ASSERT_TRUE(WriteFile(dir.file("a.swf"), plain));
    SetSwfFileLastError(kUntouched);
    ASSERT_TRUE(CompressSwfFile(dir.file("a.swf"), dir.file("c.swf"), false));
    const std::string packed = ReadFile(dir.file("c.swf"));
    EXPECT_EQ(packed.substr(0, 3), "CWS");
    EXPECT_EQ(packed.substr(3, 5), plain.substr(3, 5));  // version and plain length
    EXPECT_LT(packed.size(), plain.size());
    uint8_t finder[32] = {};
    ASSERT_EQ(platform::ReadFinderInfo(dir.file("c.swf"), finder), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(finder), 8), "SWFLSWF2");

    ASSERT_TRUE(DecompressSwfFile(dir.file("c.swf"), dir.file("b.swf"), false));
    EXPECT_EQ(ReadFile(dir.file("b.swf")), plain);
    ExpectReadsBackToSameBytes(dir.file("b.swf"));
    EXPECT_EQ(GetSwfFileLastError(), kUntouched);

    // An independent zlib reads our stream.
    const std::string python = "python3 -c \"import sys,zlib; d=open(sys.argv[1],'rb').read(); "
                               "open(sys.argv[2],'wb').write(zlib.decompress(d[8:]))\" ";
    const tavrel_test::ToolResult inflate =
        tavrel_test::RunCommand(python + "'" + dir.file("c.swf") + "' '" + dir.file("inflated") + "'");
    ASSERT_EQ(inflate.exitCode, 0) << inflate.output;
    EXPECT_EQ(ReadFile(dir.file("inflated")), plain.substr(8));

    // And an independent SWF reader accepts the compressed movie.
    if (tavrel_test::SwfToolPath("swf-dump").empty()) GTEST_SKIP() << tavrel_test::MissingSwfTool("swf-dump");
    const tavrel_test::ToolResult dump = tavrel_test::SwfDumpDeep(dir.file("c.swf"));
    if (dump.exitCode == 3) GTEST_SKIP() << "swf-dump dependencies missing: " << dump.output;
    EXPECT_EQ(dump.exitCode, 0) << dump.output;
    EXPECT_NE(dump.output.find("\"compression\":\"zlib\""), std::string::npos) << dump.output;
}

TEST(SwfFileUtils, RecognisesSignatures)
{
    TempDir dir;
    WriteFile(dir.file("plain.swf"), "FWS\x06rest");
    WriteFile(dir.file("packed.swf"), "CWS\x06rest");
    WriteFile(dir.file("other.swf"), "FWX\x06rest");
    WriteFile(dir.file("short.swf"), "CW");
    EXPECT_TRUE(IsSwfFile(dir.file("plain.swf")));
    EXPECT_TRUE(IsSwfFile(dir.file("packed.swf")));
    EXPECT_FALSE(IsSwfFile(dir.file("other.swf")));
    EXPECT_FALSE(IsSwfFile(dir.file("short.swf")));
    EXPECT_FALSE(IsSwfFileCompressed(dir.file("plain.swf")));
    EXPECT_TRUE(IsSwfFileCompressed(dir.file("packed.swf")));

    SetSwfFileLastError(kUntouched);
    EXPECT_FALSE(IsSwfFile(dir.file("missing.swf")));
    EXPECT_EQ(GetSwfFileLastError(), kUntouched);
    EXPECT_FALSE(IsSwfFileCompressed(dir.file("missing.swf")));
    EXPECT_EQ(GetSwfFileLastError(), swf_file_error::kCannotOpen);
}

TEST(SwfFileUtils, RefusedRewritesCreateAndChangeNothing)
{
    TempDir dir;
    const std::string plain = SampleMovie();
    WriteFile(dir.file("plain.swf"), plain);
    ASSERT_TRUE(CompressSwfFile(dir.file("plain.swf"), dir.file("packed.swf"), false));
    WriteFile(dir.file("text.txt"), "not a movie at all");
    WriteFile(dir.file("stub.swf"), "FWS\x06");
    WriteFile(dir.file("keep.swf"), "keep me");

    struct Case {
        const char* what;
        bool compress;
        std::string source, destination;
        bool replace;
        int error;  // kUntouched: left as it was
    };
    const std::string missingFolder = dir.file("no/such/folder/out.swf");
    const Case cases[] = {
        {"compress a compressed movie", true, "packed.swf", "out.swf", false, kUntouched},
        {"compress a text file", true, "text.txt", "out.swf", false, swf_file_error::kNotSwf},
        {"compress a header without length", true, "stub.swf", "out.swf", false, swf_file_error::kNotSwf},
        {"compress a missing file", true, "missing.swf", "out.swf", false, swf_file_error::kNotSwf},
        {"expand a plain movie", false, "plain.swf", "out.swf", false, swf_file_error::kNotCompressed},
        {"expand a missing file", false, "missing.swf", "out.swf", false, swf_file_error::kNotCompressed},
        {"compress over a kept file", true, "plain.swf", "keep.swf", false, swf_file_error::kCannotWrite},
        {"expand over a kept file", false, "packed.swf", "keep.swf", false, swf_file_error::kCannotWrite},
        {"compress onto itself", true, "plain.swf", "plain.swf", true, swf_file_error::kCannotWrite},
        {"expand onto itself", false, "packed.swf", "packed.swf", true, swf_file_error::kCannotWrite},
        {"compress into a missing folder", true, "plain.swf", "no/such/out.swf", true, swf_file_error::kCannotWrite},
    };
    const std::vector<std::string> before = FolderEntries(dir.path());
    const std::string packed = ReadFile(dir.file("packed.swf"));
    for (const Case& c : cases) {
        SetSwfFileLastError(kUntouched);
        const std::string src = dir.file(c.source), dst = dir.file(c.destination);
        const bool ok = c.compress ? CompressSwfFile(src, dst, c.replace) : DecompressSwfFile(src, dst, c.replace);
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(GetSwfFileLastError(), c.error) << c.what;
        EXPECT_EQ(FolderEntries(dir.path()), before) << c.what;
    }
    EXPECT_EQ(ReadFile(dir.file("keep.swf")), "keep me");
    EXPECT_EQ(ReadFile(dir.file("plain.swf")), plain);
    EXPECT_EQ(ReadFile(dir.file("packed.swf")), packed);

    // Asked to replace, the rewrite does.
    ASSERT_TRUE(DecompressSwfFile(dir.file("packed.swf"), dir.file("keep.swf"), true));
    EXPECT_EQ(ReadFile(dir.file("keep.swf")), plain);
}

TEST(SwfFileUtils, DamagedCompressedMoviesLeaveNoFile)
{
    TempDir dir;
    WriteFile(dir.file("plain.swf"), SampleMovie());
    ASSERT_TRUE(CompressSwfFile(dir.file("plain.swf"), dir.file("packed.swf"), false));
    const std::string packed = ReadFile(dir.file("packed.swf"));

    std::string flipped = packed;
    flipped[packed.size() / 2] = char(flipped[packed.size() / 2] ^ 0x55);
    const std::pair<const char*, std::string> damaged[] = {
        {"cut in the middle", packed.substr(0, packed.size() / 2)},
        {"cut before the checksum", packed.substr(0, packed.size() - 2)},
        {"header only", packed.substr(0, 8)},
        {"corrupted", flipped},
        {"not zlib at all", packed.substr(0, 8) + std::string(100, '\x42')},
    };
    for (const auto& [what, bytes] : damaged) {
        WriteFile(dir.file("bad.swf"), bytes);
        EXPECT_FALSE(DecompressSwfFile(dir.file("bad.swf"), dir.file("out.swf"), true)) << what;
        EXPECT_FALSE(Exists(dir.file("out.swf"))) << what;
        // A destination the caller allowed to replace survives a failed pass.
        WriteFile(dir.file("old.swf"), "old");
        EXPECT_FALSE(DecompressSwfFile(dir.file("bad.swf"), dir.file("old.swf"), true)) << what;
        EXPECT_EQ(ReadFile(dir.file("old.swf")), "old") << what;
    }
    EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"bad.swf", "old.swf", "packed.swf", "plain.swf"}));
}

TEST(SwfFileUtils, ExpansionStopsAtTheAnnouncedLength)
{
    // A tiny stream that inflates to megabytes must not fill the disk: only the
    // length the header announces is written.
    TempDir dir;
    std::string body(8 << 20, '\0');
    uLongf packedSize = compressBound(static_cast<uLong>(body.size()));
    std::string packed(packedSize, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                        reinterpret_cast<const Bytef*>(body.data()), static_cast<uLong>(body.size()), 9),
              Z_OK);
    packed.resize(packedSize);
    const std::string header("CWS\x06\x6c\x00\x00\x00", 8);  // 108 bytes in all
    WriteFile(dir.file("bomb.swf"), header + packed);
    ASSERT_TRUE(DecompressSwfFile(dir.file("bomb.swf"), dir.file("out.swf"), false));
    const std::string out = ReadFile(dir.file("out.swf"));
    EXPECT_EQ(out.size(), 108u);
    EXPECT_EQ(out.substr(0, 3), "FWS");

    // Announcing 4 GB, the stream is followed only up to the caller's cap.
    WriteFile(dir.file("bomb.swf"), std::string("CWS\x06\xFF\xFF\xFF\xFF", 8) + packed);
    EXPECT_FALSE(DecompressSwfFile(dir.file("bomb.swf"), dir.file("capped.swf"), false, 1 << 20));
    EXPECT_EQ(GetSwfFileLastError(), swf_file_error::kTooLarge);
    EXPECT_FALSE(Exists(dir.file("capped.swf")));
    ASSERT_TRUE(DecompressSwfFile(dir.file("bomb.swf"), dir.file("whole.swf"), false, 16 << 20));
    EXPECT_EQ(ReadFile(dir.file("whole.swf")).size(), body.size() + 8);
}

TEST(SwfFileUtils, InPlaceExpansion)
{
    TempDir dir;
    const std::string plain = SampleMovie();
    WriteFile(dir.file("src.swf"), plain);
    ASSERT_TRUE(CompressSwfFile(dir.file("src.swf"), dir.file("packed.swf"), false));
    const std::string packed = ReadFile(dir.file("packed.swf"));
    std::filesystem::remove(dir.file("src.swf"));

    // A plain movie is already expanded.
    WriteFile(dir.file("movie.swf"), plain);
    EXPECT_TRUE(DecompressSwfFileInPlace(dir.file("movie.swf"), false));
    EXPECT_EQ(ReadFile(dir.file("movie.swf")), plain);

    WriteFile(dir.file("movie.swf"), packed);
    EXPECT_TRUE(DecompressSwfFileInPlace(dir.file("movie.swf"), false));
    EXPECT_EQ(ReadFile(dir.file("movie.swf")), plain);
    EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"movie.swf", "packed.swf"}));

    WriteFile(dir.file("movie.swf"), packed);
    WriteFile(dir.file("movie.swf~"), "older backup");
    EXPECT_TRUE(DecompressSwfFileInPlace(dir.file("movie.swf"), true));
    EXPECT_EQ(ReadFile(dir.file("movie.swf")), plain);
    EXPECT_EQ(ReadFile(dir.file("movie.swf~")), packed);
    std::filesystem::remove(dir.file("movie.swf~"));

    // Failures report false and leave the original in place, nothing beside it.
    const std::string cut = packed.substr(0, packed.size() / 3);
    for (bool keepBackup : {false, true}) {
        WriteFile(dir.file("movie.swf"), cut);
        EXPECT_FALSE(DecompressSwfFileInPlace(dir.file("movie.swf"), keepBackup)) << keepBackup;
        EXPECT_EQ(ReadFile(dir.file("movie.swf")), cut) << keepBackup;
        EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"movie.swf", "packed.swf"})) << keepBackup;
    }
    WriteFile(dir.file("movie.swf"), "text");
    EXPECT_FALSE(DecompressSwfFileInPlace(dir.file("movie.swf"), false));
    EXPECT_EQ(ReadFile(dir.file("movie.swf")), "text");
    EXPECT_FALSE(DecompressSwfFileInPlace(dir.file("missing.swf"), true));
}

}  // namespace
