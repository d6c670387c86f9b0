// The movie layer loaded from the bundle's module on the first movie: a
// missing or broken module is said, naming it; the built one plays movies,
// and takes over a sound file where libsndfile gives up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <filesystem>
#include <string>
#include <vector>

#include "av/file_walks.h"
#include "av/file_window.h"
#include "av/flac_frames.h"
#include "av/joined_sound.h"
#include "av/movie_media.h"
#include "av/mpeg_tags.h"
#include "av/resumed_sound.h"
#include "platform/shared_object_check.h"
#include "support/bundle_fixture.h"
#include "support/scoped_env.h"
#include "support/test_movies.h"
#include "support/test_support.h"

namespace {

// The frames a source hands out up to its end or its first failing read.
int64_t ReadAll(platform::SampleSource& source)
{
    std::vector<int16_t> block(size_t(16384) * size_t(source.Info().channels));
    int64_t total = 0;
    for (int64_t got; (got = source.Read16(block.data(), 16384)) > 0;) total += got;
    return total;
}

TEST(MovieModule, LoadedFromTheBundleOnFirstOpen)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    const tavrel_test::TestMovie& mp4 = tavrel_test::TestMovieNamed("mp4");
    ASSERT_FALSE(mp4.path.empty()) << "ffmpeg could not make the test movie";
    // Nothing of FFmpeg is loaded before a movie is opened.
    ASSERT_EQ(platform::MovieMediaOpenCount(), 0);

    // A FLAC file libFLAC gives up on midway: without the module the sound
    // ends where libsndfile stopped.
    tavrel_test::TempDir dir;
    const std::string flac = tavrel_test::DamagedSound(dir.file("mid.flac"), "mid.flac");
    ASSERT_FALSE(flac.empty()) << "ffmpeg could not make the sound";
    platform::SoundSource alone;
    ASSERT_TRUE(alone.Open(flac));
    const int64_t stopped = ReadAll(alone);
    ASSERT_LT(stopped, alone.Info().frames / 2);
    // Read again, through a decoder that no longer seeks.
    ASSERT_TRUE(alone.Seek(0));
    EXPECT_EQ(ReadAll(alone), stopped);
    // Written through a pipe, its header gives no length: its frames' own
    // headers give all 6 s, not what decodes before the damage, so a stop
    // there is one short of the length, and said.
    const std::string piped = tavrel_test::DamagedSound(dir.file("piped.flac"), "piped.flac");
    ASSERT_FALSE(piped.empty()) << "ffmpeg could not make the sound";
    platform::SoundSource open;
    ASSERT_TRUE(open.Open(piped));
    EXPECT_EQ(open.Info().frames, 44100 * 6);
    EXPECT_LT(ReadAll(open), 44100 * 4);
    // Where libFLAC's seek fails on damage (here in the first frame), the
    // frame is reached by reading: the very samples a whole read gives.
    const std::string head = tavrel_test::DamagedSound(dir.file("head.flac"), "head.flac");
    ASSERT_FALSE(head.empty()) << "ffmpeg could not make the sound";
    platform::SoundSource damaged;
    ASSERT_TRUE(damaged.Open(head));
    std::vector<int16_t> whole(16384), part(1000);
    ASSERT_GT(damaged.Read16(whole.data(), 16384), 7000);
    for (const int64_t at : {0, 1000}) {
        ASSERT_TRUE(damaged.Seek(at)) << at;
        ASSERT_EQ(damaged.Read16(part.data(), 1000), 1000) << at;
        EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + at)) << at;
    }

    // A failed load is not kept, so every row meets the loader afresh. A
    // module cut short, as a broken install leaves it, is refused before it
    // is mapped: the loader would fault on its missing pages.
    const std::string built = tavrel_test::ReadFile(TAVREL_BUNDLE_DIR
                                                    "/Contents/Resources/movie_media.bundle/Contents/MacOS/movie_media");
    ASSERT_GT(built.size(), 65536u);
    // Whole, but with its program headers said to start 16 bytes before its end.
    std::string farHeaders = built;
    const uint64_t far = built.size() - 16;
    farHeaders.replace(32, sizeof far, reinterpret_cast<const char*>(&far), sizeof far);
    // Whole, with a name in its string table changed: a function it calls
    // that no library has (the module's own code is bound whole as it
    // loads, whatever its libraries are), a library that is not installed.
    auto renamed = [&](const std::string& from, const std::string& to) {
        std::string code = built;
        const size_t at = code.find(from);
        if (at != std::string::npos) code.replace(at, to.size(), to);
        return code;
    };
    const struct {
        const char* what;
        std::string codeFile;  // empty: no module in the bundle
        const char* reason;
        std::string detail = "";
    } kBroken[] = {
        {"no module", "", "the movie module movie_media.bundle is missing from the application bundle"},
        {"not code", "not a shared object", "the movie module movie_media.bundle cannot be loaded: "},
        {"cut at 4096", built.substr(0, 4096), "the movie module movie_media.bundle cannot be loaded: ",
         "movie_media: the file is cut short: it holds 4096 bytes of the " + std::to_string(built.size())},
        {"cut at 20000", built.substr(0, 20000), "the movie module movie_media.bundle cannot be loaded: ",
         "the file is cut short: it holds 20000 bytes of the "},
        {"cut at 65536", built.substr(0, 65536), "the movie module movie_media.bundle cannot be loaded: ",
         "the file is cut short: it holds 65536 bytes of the "},
        {"one byte short", built.substr(0, built.size() - 1), "the movie module movie_media.bundle cannot be loaded: ",
         "the file is cut short"},
        {"headers past the end", farHeaders, "the movie module movie_media.bundle cannot be loaded: ",
         "the file is cut short: it holds " + std::to_string(built.size()) + " bytes of the "},
        {"a function no library has", renamed(std::string("avformat_open_input") + '\0', "avformat_open_inpuX"),
         "the movie module movie_media.bundle cannot be loaded: ", "undefined symbol: avformat_open_inpuX"},
        {"a library not installed", renamed("libavformat.so.", "libavfXrmat.so."),
         "the movie module movie_media.bundle cannot be loaded: it needs \"libavfXrmat.so.", "which is not installed"},
    };
    for (const auto& c : kBroken) {
        tavrel_test::ScopedBundle bundle("");
        if (!c.codeFile.empty()) {
            const std::string macos = bundle.Resources() + "/movie_media.bundle/Contents/MacOS";
            std::filesystem::create_directories(macos);
            ASSERT_TRUE(tavrel_test::WriteFile(macos + "/movie_media", c.codeFile));
        }
        platform::MovieMedia movie;
        EXPECT_FALSE(movie.Open(mp4.path, 1 << 24)) << c.what;
        EXPECT_FALSE(movie.IsOpen()) << c.what;
        EXPECT_EQ(movie.LastError().rfind(c.reason, 0), 0u) << c.what << ": " << movie.LastError();
        EXPECT_NE(movie.LastError().find(c.detail), std::string::npos) << c.what << ": " << movie.LastError();
        EXPECT_EQ(movie.FrameAt(0), nullptr) << c.what;
        platform::ResumedSoundSource sound;
        ASSERT_TRUE(sound.Open(flac));
        EXPECT_EQ(ReadAll(sound), stopped) << c.what;
        EXPECT_EQ(sound.Damage(), "") << c.what;
    }

    tavrel_test::ScopedEnv bundle("TAVREL_BUNDLE", TAVREL_BUNDLE_DIR);
    platform::MovieMedia movie;
    ASSERT_TRUE(movie.Open(mp4.path, 1 << 24)) << movie.LastError();
    int width = 0, height = 0;
    movie.DisplaySize(&width, &height);
    EXPECT_EQ(width, mp4.width);
    EXPECT_EQ(height, mp4.height);
    const platform::MovieFrame* frame = movie.FrameAt(0);
    ASSERT_NE(frame, nullptr) << movie.LastError();
    EXPECT_EQ(frame->width, uint32_t(mp4.width));
    EXPECT_EQ(platform::MovieMediaOpenCount(), 1);
    // An error of the module's movie comes back through LastError, and a
    // file of no kind is told as such, for the caller to word.
    EXPECT_FALSE(movie.Open(TAVREL_SOURCE_DIR "/README.md", 1 << 24));
    EXPECT_TRUE(movie.KindUnknown());
    EXPECT_EQ(movie.LastError(), "not a picture, movie or sound file this program reads");
    EXPECT_FALSE(movie.Open(TAVREL_SOURCE_DIR "/tests", 1 << 24));
    EXPECT_FALSE(movie.KindUnknown()) << movie.LastError();

    // With the module the rest of the FLAC file comes from FFmpeg, each
    // sample at its time: all ten seconds.
    platform::ResumedSoundSource sound;
    ASSERT_TRUE(sound.Open(flac));
    EXPECT_EQ(ReadAll(sound), sound.Info().frames);
    EXPECT_NE(sound.Damage().find("it does not decode between 4.6 s and "), std::string::npos) << sound.Damage();
}

// Movie containers as ffmpeg writes them go to FFmpeg before any sound
// reader sees them; sound files, MPEG audio among them, go to the sound
// readers first. Told by the first 4 KB alone.
TEST(MovieModule, ContainersToldByTheirHead)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    const struct {
        const char* name;
        const char* make;
        bool movie;
    } rows[] = {
        {"a.mp4", "-c:v mpeg4", true},        {"a.mov", "-c:v mjpeg", true},
        {"a.avi", "-c:v mpeg4", true},        {"a.mkv", "-c:v mpeg4", true},
        {"a.flv", "-c:v flv", true},          {"a.wmv", "-c:v wmv2", true},
        {"a.ts", "-c:v mpeg2video", true},    {"a.mpg", "-c:v mpeg1video", true},
        {"a.m1v", "-c:v mpeg1video", true},   {"a.m4a", "-vn -c:a aac", true},
        {"a.wav", "-vn", false},              {"a.aiff", "-vn", false},
        {"a.flac", "-vn", false},             {"a.mp3", "-vn -c:a libmp3lame", false},
        {"b.mp3", "-vn -c:a libmp3lame -write_xing 0 -id3v2_version 0", false},
        {"a.ogg", "-vn -c:a libvorbis", false}, {"a.caf", "-vn", false},
    };
    tavrel_test::TempDir dir;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(tavrel_test::RunFfmpeg(std::string("-f lavfi -i testsrc2=s=64x48:d=0.5 -f lavfi -i sine=d=0.5 ") +
                                               r.make,
                                           dir.file(r.name)));
        const std::string head = tavrel_test::ReadFile(dir.file(r.name)).substr(0, 4096);
        EXPECT_EQ(platform::IsMovieContainer(reinterpret_cast<const uint8_t*>(head.data()), head.size()), r.movie);
    }
}

// Where a sound does not decode is said place by place, at 1,000 frames a
// second here: touching places and silence put in after one are that place,
// places less than a quarter second apart one, places of the same words and
// time lost together, twelve of them named, and another decoder's places
// moved to where its stream lies.
TEST(DecodeComplaints, SaysEachPlace)
{
    using Complaints = platform::DecodeComplaints;
    const auto at = [](std::initializer_list<int64_t> times, const char* words, bool early = false) {
        Complaints c;
        for (int64_t t : times) {
            c.Add(t, t, words);
            if (early) c.MarkTimeLost();
        }
        return c;
    };
    const struct {
        Complaints complaints;
        const char* said;
    } rows[] = {
        {at({3000}, "a frame header is damaged"), "it does not decode at 3.0 s: a frame header is damaged"},
        {[] { Complaints c; c.Add(1000, 1000, "damaged AAC data"); c.Add(1000, 1500, ""); return c; }(),
         "it does not decode between 1.0 s and 1.5 s: damaged AAC data"},
        {at({500, 900}, "37 bytes hold no AAC frame", true),
         "it does not decode at 0.5 s and at 0.9 s (what follows plays early): 37 bytes hold no AAC frame"},
        {[] { Complaints c; c.Add(1000, 1000, "x"); c.Add(1200, 1200, "y"); return c; }(),
         "it does not decode between 1.0 s and 1.2 s: x"},
        {[] { Complaints c; c.Add(1000, 1000, "x"); c.Add(3000, 3000, "y"); c.Add(5000, 5000, "x"); return c; }(),
         "it does not decode at 1.0 s and at 5.0 s: x; it does not decode at 3.0 s: y"},
        {at({1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 11000, 12000, 13000, 14000}, "x"),
         "it does not decode at 1.0 s, at 2.0 s, at 3.0 s, at 4.0 s, at 5.0 s, at 6.0 s, at 7.0 s, at 8.0 s, at 9.0 s, "
         "at 10.0 s, at 11.0 s, at 12.0 s and 2 more places up to 14.0 s: x"},
        {[&] { Complaints c; c.Add(at({22050}, "lost"), 2000, 22050, 1000); return c; }(), "it does not decode at 3.0 s: lost"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.complaints.Text(1000), row.said);
    Complaints many;
    for (int64_t t = 0; t < 100000; t += 1000) many.Add(t, t, "x");
    EXPECT_EQ(many.Count(), 100);
    EXPECT_NE(many.Text(1000).find("and 88 more places up to 99.0 s: x"), std::string::npos) << many.Text(1000);
}

// A window over a file hands out its bytes as they stand wherever they lie
// (across a block's end, at the end, in a window that starts into the file,
// over a file shorter than it was told), and nothing past its end; walked
// on or back, it reads each byte once, and a head block it keeps is not read
// again. A pattern is found wherever it lies, across its blocks too. What a
// walk found is kept until the file changes.
TEST(FileWalks, WindowReadsEachByteOnceAndWalksOnce)
{
    tavrel_test::TempDir dir;
    const std::string path = dir.file("bytes");
    constexpr int64_t kSize = 500;
    std::string file(kSize, '\0');
    for (int64_t i = 0; i < kSize; ++i) file[size_t(i)] = char(i * 7 % 251);
    ASSERT_TRUE(tavrel_test::WriteFile(path, file));
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    // b: Bytes, B: BytesBefore, e: Exact, r: Read, l: Look, s: Shorten to n.
    struct Look {
        char how;
        int64_t at, n;
    };
    const struct Row {
        const char* what;
        int64_t begin, size;
        platform::FileWindow::Blocks blocks;
        std::vector<Look> looks;
        int64_t reads, bytes;  // at most
    } rows[] = {
        {"on across block ends, back a little", 0, kSize, {64, 2},
         {{'b', 0, 10}, {'b', 60, 10}, {'b', 58, 4}, {'b', 120, 16}, {'l', 100, 20}, {'b', 490, 10}, {'b', 495, 6}},
         4, 192 + 52},
        {"back from the end", 0, kSize, {64, 2},
         {{'B', 476, 24}, {'B', 456, 24}, {'B', 436, 24}, {'B', 416, 24}, {'B', 300, 24}, {'B', 0, 24}},
         4, 64 + 60 + 64 + 64},
        {"into the file", 100, 300, {64, 2}, {{'b', 0, 64}, {'b', 250, 50}, {'b', 295, 10}, {'r', 290, 40}},
         3, 64 + 64 + 44},
        {"cut short", 0, kSize + 100, {64, 2}, {{'b', 490, 10}, {'b', 495, 10}, {'l', 520, 4}, {'b', 499, 1}}, 3, 52},
        {"exactly as asked", 0, kSize, {0}, {{'b', 3, 5}, {'B', 400, 7}, {'r', 100, 9}, {'b', 498, 3}}, 3, 21},
        {"read straight", 0, kSize, {64, 2}, {{'r', 10, 200}, {'r', 490, 50}}, 2, 200 + 52},
        {"the head kept", 0, kSize, {64, 1, 1}, {{'b', 0, 8}, {'b', 64, 8}, {'b', 128, 8}, {'b', 4, 8}, {'b', 70, 8}},
         4, 256},
        {"shortened", 0, kSize, {64, 2}, {{'s', 0, 100}, {'b', 90, 10}, {'b', 95, 10}, {'e', 99, 2}}, 1, 36},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        platform::FileWindow window(fd, row.begin, row.size, row.blocks);
        int64_t size = std::min(row.size, kSize - row.begin);  // what the window holds of the file
        for (const Look& look : row.looks) {
            SCOPED_TRACE(std::string(1, look.how) + " " + std::to_string(look.at));
            if (look.how == 's') {
                window.Shorten(look.n);
                size = std::min(size, look.n);
                continue;
            }
            std::vector<uint8_t> copy(size_t(look.n));
            size_t n = size_t(look.n);
            const uint8_t* got = look.how == 'b'   ? window.Bytes(look.at, look.n)
                                 : look.how == 'B' ? window.BytesBefore(look.at, look.n)
                                 : look.how == 'e' ? window.Exact(look.at, look.n)
                                 : look.how == 'l' ? window.Look(look.at, &n)
                                                   : nullptr;
            if (look.how == 'r') {
                n = window.Read(look.at, copy.data(), copy.size());
                got = copy.data();
            }
            const int64_t there = std::clamp<int64_t>(size - look.at, 0, look.n);
            if (look.how == 'r' || look.how == 'l') {
                EXPECT_EQ(int64_t(n), there);
            } else if (there < look.n) {
                EXPECT_EQ(got, nullptr);
                continue;
            }
            if (there == 0) continue;
            ASSERT_NE(got, nullptr);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(got), size_t(there)),
                      file.substr(size_t(row.begin + look.at), size_t(there)));
        }
        EXPECT_LE(window.Reads(), row.reads);
        EXPECT_LE(window.BytesRead(), row.bytes);
    }
    ::close(fd);
    constexpr int64_t kBlock = 64;
    for (const int64_t place : {int64_t(0), int64_t(1), kBlock - 3, kBlock - 2, kBlock - 1, kBlock, 2 * kBlock - 3,
                                kSize - 4, int64_t(-1)}) {
        SCOPED_TRACE(place);
        std::string bytes(kSize, 'x');
        if (place >= 0) bytes.replace(size_t(place), 4, "OggS");
        ASSERT_TRUE(tavrel_test::WriteFile(path, bytes));
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        platform::FileWindow window(fd, 0, kSize, {kBlock, 2});
        EXPECT_EQ(window.Find("OggS", 4, 0, kSize), place);
        if (place >= 0) {
            EXPECT_EQ(window.Find("OggS", 4, place + 1, kSize), -1);
        }
        EXPECT_EQ(window.BytesRead(), kSize);
        if (place >= 0) {
            EXPECT_EQ(window.Find("OggS", 4, 0, place + 3), -1);  // not whole before the limit
        }
        ::close(fd);
    }
    int walks = 0;
    const auto walk = [&] {
        const int fd = ::open(path.c_str(), O_RDONLY);
        const int found = platform::WalkedOnce(fd, [&] { return ++walks; });
        ::close(fd);
        return found;
    };
    EXPECT_EQ(walk(), 1);
    EXPECT_EQ(walk(), 1);
    ASSERT_TRUE(tavrel_test::WriteFile(path, "changed"));
    EXPECT_EQ(walk(), 2);
}

// What every reader of MPEG audio tags shares: an ID3v2 tag's length (its
// size bytes hold seven bits each, so a high bit set is no tag) and the LAME
// tag's CRC-16, against the check value of CRC-16/ARC, whole or carried on.
TEST(MpegTags, Id3v2LengthAndLameCrc)
{
    const struct {
        std::string head;
        int64_t length;
    } tags[] = {
        {std::string("ID3\x04\0\0\0\0\x01\x7F", 10), 10 + 255},
        {std::string("ID3\x04\0\x10\0\0\0\x05", 10), 10 + 5 + 10},  // with its footer
        {std::string("ID3\x04\0\0\x7F\x7F\x7F\x7F", 10), 10 + 0x0FFFFFFF},
        {std::string("ID3\x04\0\0\0\0\0\x80", 10), 0},
        {std::string("ID3\x04\0\0\x80\0\0\0", 10), 0},
        {std::string("ID3\x04\0\0\0\0\0", 9), 0},
        {std::string("ID2\x04\0\0\0\0\0\x05", 10), 0},
    };
    for (const auto& tag : tags)
        EXPECT_EQ(platform::mpeg::Id3v2Length(reinterpret_cast<const unsigned char*>(tag.head.data()), tag.head.size()),
                  tag.length)
            << tag.head.size();
    const auto* digits = reinterpret_cast<const unsigned char*>("123456789");
    EXPECT_EQ(platform::mpeg::LameCrc(0, digits, 9), 0xBB3D);
    EXPECT_EQ(platform::mpeg::LameCrc(platform::mpeg::LameCrc(0, digits, 4), digits + 4, 5), 0xBB3D);
    EXPECT_EQ(platform::mpeg::LameCrc(0x1234, digits, 0), 0x1234);
}

// FLAC streams joined end to end are told where each starts, by its
// STREAMINFO and first frame header, whatever place that frame names; "fLaC"
// elsewhere is no stream, and a file that starts as none has none. Each is
// as long as it plays, from the place its first frame names.
TEST(FlacStreams, StartsOfJoinedStreams)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    tavrel_test::TempDir dir;
    std::string streams[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(tavrel_test::RunFfmpeg("-f lavfi -i sine=sample_rate=" + std::to_string(8000 * (i + 1)) +
                                               ":d=0.5 -c:a flac",
                                           dir.file("s.flac")));
        streams[i] = tavrel_test::ReadFile(dir.file("s.flac"));
    }
    // FFmpeg's segment muxer: a stream cut a frame (4,608 samples) a file,
    // each file's frame numbers going on from the one before and its length
    // left open; the last file holds headers alone, its STREAMINFO counting
    // the whole stream.
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-f lavfi -i sine=sample_rate=48000:d=0.5 -c:a flac -f segment -segment_time 0.05",
                                       dir.file("seg%d.flac")));
    std::string segments;
    std::vector<int64_t> segmentStarts;
    int count = 0;
    for (; std::filesystem::exists(dir.file("seg" + std::to_string(count) + ".flac")); ++count) {
        if (count < 6) segmentStarts.push_back(int64_t(segments.size()));
        segments += tavrel_test::ReadFile(dir.file("seg" + std::to_string(count) + ".flac"));
    }
    ASSERT_EQ(count, 7) << "five frames of 4,608 samples, one of 960 and a file of headers";
    const std::string third = tavrel_test::ReadFile(dir.file("seg2.flac"));
    const int64_t first = int64_t(streams[0].size()), second = int64_t(streams[1].size());
    const struct {
        std::string bytes;
        std::vector<int64_t> starts, firsts, frames;
        int64_t end = -1;  // where the last stream ends, where not the file's end
    } rows[] = {
        {streams[0], {0}, {0}, {4000}},
        {streams[0] + streams[1] + streams[0], {0, first, first + second}, {0, 0, 0}, {4000, 8000, 4000}},
        {streams[0] + "fLaC" + std::string(40, '\0') + streams[1], {0, first + 44}, {0, 0}, {4000, 8000}},
        {"ID3" + std::string(7, '\0') + streams[0] + streams[1], {0, first + 10}, {0, 0}, {4000, 8000}},
        {"RIFF" + streams[0], {}, {}, {}},
        {segments, segmentStarts, {0, 4608, 9216, 13824, 18432, 23040}, {4608, 4608, 4608, 4608, 4608, 960},
         int64_t(segments.size() - tavrel_test::ReadFile(dir.file("seg6.flac")).size())},
        {third, {0}, {9216}, {4608}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.starts.size());
        ASSERT_TRUE(tavrel_test::WriteFile(dir.file("joined.flac"), row.bytes));
        const int fd = ::open(dir.file("joined.flac").c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        std::vector<int64_t> starts, firsts, frames;
        const std::vector<platform::FlacStream> found = platform::FlacStreams(fd, int64_t(row.bytes.size()));
        for (const platform::FlacStream& stream : found) {
            starts.push_back(stream.begin);
            firsts.push_back(stream.first);
            frames.push_back(stream.frames);
        }
        EXPECT_EQ(starts, row.starts);
        EXPECT_EQ(firsts, row.firsts);
        EXPECT_EQ(frames, row.frames);
        if (!found.empty()) {
            EXPECT_EQ(found.back().end, row.end >= 0 ? row.end : int64_t(row.bytes.size()));
        }
        // One stream alone: its length from its frames, its first too.
        if (row.starts.size() == 1) {
            EXPECT_EQ(platform::FlacLengthFromFrames(fd, int64_t(row.bytes.size())), row.frames[0]);
            EXPECT_EQ(platform::FlacFirstSample(fd, 0, int64_t(row.bytes.size())), row.firsts[0]);
        }
        ::close(fd);
    }
}

// FLAC streams joined end to end, the middle one cut to half its bytes:
// the rest of its length is silence, so the last starts on time, and said;
// where its header claims hours, at most ten minutes of silence, and what
// follows is said to play early.
TEST(JoinedSound, StreamCutShortKeepsItsTime)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    tavrel_test::TempDir dir;
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-f lavfi -i anoisesrc=r=8000:d=5 -c:a flac", dir.file("s.flac")));
    const std::string stream = tavrel_test::ReadFile(dir.file("s.flac"));
    for (const bool claimsHours : {false, true}) {
        SCOPED_TRACE(claimsHours);
        std::string cut = stream.substr(0, stream.size() / 2);
        if (claimsHours) cut[21] = char(cut[21] | 0x0F);  // STREAMINFO's total: 15 × 2^32 more
        ASSERT_TRUE(tavrel_test::WriteFile(dir.file("joined.flac"), stream + cut + stream));
        platform::JoinedSoundSource sound;
        ASSERT_TRUE(sound.Open(dir.file("joined.flac"))) << sound.LastError();
        const int64_t frames = ReadAll(sound);
        const std::string damage = sound.Damage();
        EXPECT_NE(damage.find("frames there are lost"), std::string::npos) << damage;
        EXPECT_EQ(damage.find("(what follows plays early)") != std::string::npos, claimsHours) << damage;
        if (!claimsHours) {
            EXPECT_EQ(frames, 3 * 40000);
            continue;
        }
        // Both whole streams, what the cut one decoded, and ten minutes.
        EXPECT_GT(frames, 2 * 40000 + 600 * 8000);
        EXPECT_LT(frames, 3 * 40000 + 600 * 8000);
    }
}

// The check before dlopen passes what loads: the bundle's modules and every
// library of this program (runtimes, sanitizers, codecs, fonts), each
// linked its own way.
TEST(SharedObjectCheck, PassesTheModulesAndTheLibrariesOfThisProgram)
{
    std::vector<std::string> files = {TAVREL_BUNDLE_DIR
                                      "/Contents/Resources/movie_media.bundle/Contents/MacOS/movie_media",
                                      TAVREL_TEST_BUNDLE, TAVREL_TEST_BUNDLE_PLAIN};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            if (info->dlpi_name[0] == '/') static_cast<std::vector<std::string>*>(out)->push_back(info->dlpi_name);
            return 0;
        },
        &files);
    ASSERT_GT(files.size(), 10u);
    for (const std::string& file : files) EXPECT_EQ(platform::SharedObjectProblem(file), "") << file;
}

}  // namespace
