// Bytes between MPEG audio frames, swept: every length from 1 to 16, primes
// up to the stream's shortest frame and the lengths around it; zeros, 0xFF,
// random bytes, the file's own header, another rate's, a header cut short;
// at the first, second, third, middle, second-last and last boundary
// between frames, at every one and every second one. Each case is the clean
// file with its bytes put in, decoded by the reader and held against the
// clean file decoded by the same reader: fewer bytes than the shortest
// frame cost nothing and say nothing; more keep a frame's silence where
// the bit rate tells it, and say so, or, where it varies, lose no sound and
// say what follows plays early. Bytes before every frame of a free-format
// stream, which lengthen each frame for any reader, are not put in. The
// first 20 failures of a shape are listed, then counted by length, fill
// and place; TAVREL_MPEG_STRAYS_LOG
// names a file that takes every one, TAVREL_MPEG_STRAYS_KEEP a folder that
// keeps each failing file (shape-length-fill-place.mp3).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "support/mpeg_frame_walk.h"
#include "support/mpeg_stray_check.h"
#include "support/swf_tools.h"
#include "support/test_movies.h"
#include "support/test_support.h"

namespace {

using tavrel_test::MpegStream;

// Each clean file: a few seconds of clicks (or a tone) by the lame program.
struct Shape {
    const char* name;
    int rate, channels;
    double seconds;
    const char* lame;
    bool tone = false;  // 440 Hz alone, so that nearly every frame is of the lowest bit rate
};
const Shape kShapes[] = {
    {"cbr128", 44100, 2, 1.5, "-b 128"},
    {"mpeg2_32k", 22050, 1, 2, "-b 32 -m m -t"},  // no Info frame
    {"mpeg25_8k", 8000, 1, 2.5, "-b 16 -m m"},
    {"v0", 44100, 2, 1.5, "-V0"},
    {"v9", 44100, 2, 2, "-V9"},
    {"crc", 44100, 2, 1.5, "-p"},
    {"free640", 44100, 2, 1, "--freeformat -b 640"},
    {"v6_tone", 44100, 1, 1, "-V 6", true},
};

struct Clean {
    std::string why;  // it could not be made
    std::string bytes;
    MpegStream stream;
    tavrel_test::MpegDecode decoded;
    int channels = 0, frameSamples = 0;
    std::string header;  // the first frame of sound's
    // Samples of one channel the decode leaves out at the start: the LAME
    // tag's delay and the decoder's.
    int64_t cut = 0;
};

const Clean& CleanFile(const Shape& shape)
{
    static tavrel_test::TempDir dir;
    static std::map<std::string, Clean> made;
    if (made.count(shape.name)) return made[shape.name];
    Clean& c = made[shape.name];
    const std::string wav = dir.file(std::string(shape.name) + ".wav"), mp3 = dir.file(std::string(shape.name) + ".mp3");
    const std::string source =
        shape.tone ? "-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(shape.rate) +
                         ":duration=" + std::to_string(shape.seconds) + " "
                   : tavrel_test::ClickTrack(shape.rate, shape.seconds);
    if (!tavrel_test::RunFfmpeg(source + "-ac " + std::to_string(shape.channels) + " -c:a pcm_s16le -f wav", wav) ||
        tavrel_test::RunCommand("lame --quiet " + std::string(shape.lame) + " '" + wav + "' '" + mp3 + "'").exitCode != 0) {
        c.why = "ffmpeg or lame could not make it";
        return c;
    }
    c.bytes = tavrel_test::ReadFile(mp3);
    c.stream = tavrel_test::WalkMpegFrames(c.bytes);
    const MpegStream& s = c.stream;
    if (s.frames.size() < size_t(s.info ? 8 : 7) || s.end != c.bytes.size()) {
        c.why = "its frames do not run back to back to its end";
        return c;
    }
    c.decoded = tavrel_test::DecodeMpegAudio(mp3);
    const auto& first = s.frames[s.info ? 1 : 0];
    c.header = c.bytes.substr(first.at, 4);
    c.channels = first.header.mono ? 1 : 2;
    c.frameSamples = first.header.samples;
    c.cut = s.delay >= 0 ? s.delay + 529 : 0;
    // The clean decode is the whole file less what its tag names.
    const int64_t whole = int64_t(s.frames.size() - (s.info ? 1 : 0)) * c.frameSamples - c.cut -
                          (s.padding >= 0 ? s.padding - 529 : 0);
    if (!c.decoded.error.empty() || !c.decoded.said.empty() || int64_t(c.decoded.samples.size()) != whole * c.channels)
        c.why = "the clean file decodes to " + std::to_string(c.decoded.samples.size() / size_t(c.channels)) +
                " samples of " + std::to_string(whole) + " (" + c.decoded.error + c.decoded.said + ")";
    return c;
}

enum Fill { kZeros, kOnes, kRandom, kOwnHeader, kOtherRate, kCut1, kCut2, kCut3, kFills };
const char* const kFillNames[kFills] = {"zeros", "0xFF", "random", "its own header", "another rate's header",
                                        "FF cut header", "2-byte cut header", "3-byte cut header"};

// length bytes of the fill: a pattern over and over; a cut header stands
// last, after zeros, as it would where a frame was cut short.
std::string FillBytes(Fill fill, size_t length, const std::string& header, uint32_t seed)
{
    std::string pattern;
    switch (fill) {
    case kZeros: return std::string(length, '\0');
    case kOnes: return std::string(length, '\xFF');
    case kRandom: {
        std::mt19937 noise(seed);
        std::string bytes(length, '\0');
        for (char& b : bytes) b = char(noise());
        return bytes;
    }
    case kOwnHeader: pattern = header; break;
    case kOtherRate: pattern = tavrel_test::OtherRateHeader(header); break;
    default: {
        const std::string cut = header.substr(0, std::min<size_t>(size_t(fill - kCut1) + 1, length));
        return std::string(length - cut.size(), '\0') + cut;
    }
    }
    std::string bytes;
    while (bytes.size() < length) bytes += pattern;
    return bytes.substr(0, length);
}

enum Place { kFirst, kSecond, kThird, kMiddle, kSecondLast, kLast, kEvery, kEverySecond, kPlaces };
const char* const kPlaceNames[kPlaces] = {"the first boundary", "the second", "the third", "the middle one",
                                          "the second-last", "the last", "every boundary", "every second one"};

// The frames the bytes go before: boundary k is before frame k.
std::vector<size_t> Boundaries(Place place, size_t frames)
{
    const size_t last = frames - 1;
    switch (place) {
    case kFirst: return {1};
    case kSecond: return {2};
    case kThird: return {3};
    case kMiddle: return {frames / 2};
    case kSecondLast: return {last - 1};
    case kLast: return {last};
    default: {
        std::vector<size_t> all;
        for (size_t k = place == kEvery ? 1 : 2; k <= last; k += place == kEvery ? 1 : 2) all.push_back(k);
        return all;
    }
    }
}

// 1 to 16, primes below the shortest frame (24 of them at most, spread
// out, the last among them), the shortest less one, the shortest, one
// more, and the longest frame of sound.
std::vector<size_t> Lengths(const MpegStream& s)
{
    std::vector<size_t> lengths, primes;
    const size_t shortest = size_t(s.shortest);
    for (size_t n = 1; n < shortest; ++n) {
        bool prime = n > 1;
        for (size_t d = 2; d * d <= n && prime; ++d) prime = n % d != 0;
        if (n <= 16) lengths.push_back(n);
        else if (prime) primes.push_back(n);
    }
    constexpr size_t kPrimes = 24;
    for (size_t i = 0; i < std::min(primes.size(), kPrimes); ++i)
        lengths.push_back(primes[primes.size() - 1 - i * primes.size() / kPrimes]);
    size_t longest = 0;
    for (size_t k = s.info ? 1 : 0; k < s.frames.size(); ++k) longest = std::max(longest, s.frames[k].size);
    for (size_t n : {shortest - 1, shortest, shortest + 1, longest})
        if (std::find(lengths.begin(), lengths.end(), n) == lengths.end()) lengths.push_back(n);
    return lengths;
}

// What is wrong with the decode of the case against the clean decode; ""
// when nothing is.
std::string Judge(const Clean& clean, const tavrel_test::MpegDecode& got, size_t length, const std::vector<size_t>& at)
{
    const MpegStream& s = clean.stream;
    const std::vector<int16_t>& want = clean.decoded.samples;
    if (length < size_t(s.shortest)) return tavrel_test::StrayBytesWrong(clean.decoded, got);
    if (!got.error.empty()) return "the reader fails: " + got.error;
    if (got.said.empty()) return "nothing said";
    if (!s.oneRate) {
        if (got.said.find("(what follows plays early)") == std::string::npos)
            return "said without \"(what follows plays early)\": " + got.said;
        return tavrel_test::SamplesWrong(want, got);
    }
    // One rate: said as the bytes they are, at their place; one place
    // alone where there is one stretch.
    const std::string words = ": " + std::to_string(length) + " bytes hold no MPEG audio frame";
    const std::regex place(at.size() == 1 ? "it does not decode (at|between) ([0-9.]+) s( and [0-9.]+ s)?"
                                          : "it does not decode (at|between) ([0-9.]+) s.*");
    std::smatch said;
    const std::string head = got.said.substr(0, got.said.rfind(words));
    const auto placed = [&](size_t k) { return (int64_t(k) - (s.info ? 1 : 0)) * clean.frameSamples - clean.cut; };
    if (got.said.size() != head.size() + words.size() || !std::regex_match(head, said, place) ||
        std::fabs(std::stod(said[2]) - double(std::max<int64_t>(placed(at[0]), 0)) / got.rate) > 0.1)
        return "said: " + got.said;
    // The clean samples with a frame's silence at each stretch; silence the
    // decode cuts into at the start is not compared.
    std::vector<int16_t> expect;
    const size_t channels = size_t(clean.channels), frame = size_t(clean.frameSamples) * channels;
    size_t from = 0, unknown = 0;
    for (size_t k : at) {
        if (placed(k) < 0) unknown = frame;
        const size_t to = std::min(size_t(std::max<int64_t>(placed(k), 0)) * channels, want.size());
        expect.insert(expect.end(), want.begin() + long(from), want.begin() + long(to));
        expect.insert(expect.end(), frame, 0);
        from = to;
    }
    expect.insert(expect.end(), want.begin() + long(from), want.end());
    return tavrel_test::SamplesWrong(expect, got, unknown);
}

void PrintTo(const Shape& shape, std::ostream* os)
{
    *os << shape.name;
}

class MpegStrays : public testing::TestWithParam<Shape> {};

TEST_P(MpegStrays, CostNothingBelowTheShortestFrame)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    if (tavrel_test::RunCommand("command -v lame").exitCode != 0) GTEST_SKIP() << "the lame program is not installed";
    const Shape& shape = GetParam();
    const Clean& clean = CleanFile(shape);
    ASSERT_EQ(clean.why, "") << shape.name;
    const MpegStream& s = clean.stream;
    const std::vector<size_t> lengths = Lengths(s);
    const bool free = s.frames.back().header.bitRate == 0;
    tavrel_test::TempDir dir;
    int cases = 0, failed = 0;
    // Failures counted by length, fill and place, with the first of each.
    std::map<std::string, std::pair<int, std::string>> byFill, byPlace, byLength;
    for (size_t li = 0; li < lengths.size(); ++li) {
        const size_t length = lengths[li];
        // Every fill at every place for the fewest bytes and those about
        // the shortest frame; between them each fill at one place, turned
        // so that each length meets every place.
        const bool all = length <= 4 || length + 1 >= size_t(s.shortest);
        for (int fi = 0; fi < kFills; ++fi)
            for (int pi = 0; pi < kPlaces; ++pi) {
                if (!all && pi != int(li + size_t(fi)) % kPlaces) continue;
                // A free-format frame's length is told only by where the next
                // begins: bytes before every frame make every frame longer,
                // for any reader.
                if (free && pi == kEvery) continue;
                const Fill fill = Fill(fi);
                const Place place = Place(pi);
                const std::vector<size_t> at = Boundaries(place, s.frames.size());
                const uint32_t seed = uint32_t(length * 131 + size_t(pi) * 7 + 1);
                size_t next = 0;
                const std::string bytes = tavrel_test::PutBeforeFrames(clean.bytes, s, [&](size_t k) {
                    if (next == at.size() || at[next] != k) return std::string();
                    ++next;
                    return FillBytes(fill, length, clean.header, seed + uint32_t(k));
                });
                const std::string path = dir.file(std::to_string(++cases) + ".mp3");
                ASSERT_TRUE(tavrel_test::WriteFile(path, bytes));
                const tavrel_test::MpegDecode got = tavrel_test::DecodeMpegAudio(path);
                std::string wrong = Judge(clean, got, length, at);
                if (const char* keep = std::getenv("TAVREL_MPEG_STRAYS_KEEP"); keep && !wrong.empty())
                    tavrel_test::WriteFile(std::string(keep) + "/" + shape.name + "-" + std::to_string(length) + "-" +
                                               std::to_string(fi) + "-" + std::to_string(pi) + ".mp3",
                                           bytes);
                std::remove(path.c_str());
                if (wrong.empty()) continue;
                const std::string named = std::to_string(length) + " bytes of " + kFillNames[fi] + " at " +
                                          kPlaceNames[pi] + " (before frame " + std::to_string(at[0]) + " of " +
                                          std::to_string(s.frames.size()) + "): " + wrong;
                for (auto [by, key] : {std::pair{&byFill, std::string(kFillNames[fi])}, {&byPlace, kPlaceNames[pi]},
                                       {&byLength, length <= 16                      ? "1-16"
                                                   : length < size_t(s.shortest) ? "primes below"
                                                                                 : std::to_string(length)}}) {
                    auto& group = (*by)[key];
                    if (group.first++ == 0) group.second = named;
                }
                if (const char* log = std::getenv("TAVREL_MPEG_STRAYS_LOG"))
                    std::ofstream(log, std::ios::app) << shape.name << ": " << named << '\n';
                if (++failed <= 20)
                    ADD_FAILURE() << shape.name << " (the shortest frame " << s.shortest << " bytes): " << named;
            }
    }
    if (failed > 0) {
        std::string groups;
        for (const auto* by : {&byLength, &byFill, &byPlace}) {
            for (const auto& [name, group] : *by)
                groups += "\n  " + name + ": " + std::to_string(group.first) + ", first " + group.second;
        }
        ADD_FAILURE() << shape.name << ": " << failed << " of " << cases << " cases fail; by length, fill and place:"
                      << groups;
    }
    EXPECT_GT(cases, 500) << shape.name;
}

// A header of another layer whose frame, in bytes, is `size`: empty where no
// bit rate and rate make it.
std::string LayerTwoHeaderOf(int64_t size)
{
    for (int rate = 0; rate < 3; ++rate)
        for (int index = 1; index < 15; ++index)
            for (int pad = 0; pad < 2; ++pad) {
                const std::string h{'\xFF', '\xFD', char(index << 4 | rate << 2 | pad << 1), '\x44'};
                tavrel_test::MpegHeader mh;
                if (tavrel_test::ReadMpegHeader(reinterpret_cast<const uint8_t*>(h.data()), &mh) && mh.size == size)
                    return h;
            }
    return "";
}

// Streams of a few frames cut from the clean files (behind an ID3v2 tag
// too), and a recording of a few frames joined on to another of one rate:
// bytes fewer than the shortest frame before any frame or every one cost
// nothing there either. Where they come before one frame, a header of
// another layer is put in the first frame's data so that its frame would
// end with the file, as a header found in any bytes may; and the name and
// size of an ID3v2 tag, or the stream's own header, in the last frame's.
TEST(MpegStraysFewFrames, CostNothingInShortAndJoinedStreams)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    if (tavrel_test::RunCommand("command -v lame").exitCode != 0) GTEST_SKIP() << "the lame program is not installed";
    std::map<std::string, const Clean*> clean;
    for (const Shape& shape : kShapes) {
        clean[shape.name] = &CleanFile(shape);
        ASSERT_EQ(clean[shape.name]->why, "") << shape.name;
    }
    const auto sound = [&](const char* name, size_t from, size_t n) {
        const MpegStream& s = clean[name]->stream;
        std::string out;
        for (size_t k = from + (s.info ? 1 : 0); k < std::min(from + n + (s.info ? 1 : 0), s.frames.size()); ++k)
            out.append(clean[name]->bytes, s.frames[k].at, s.frames[k].size);
        return out;
    };
    const std::string title = std::string("TIT2\0\0\0\x05\0\0\0Tone", 15);
    const std::string tag = std::string("ID3\3\0\0\0\0\0", 9) + char(title.size()) + title;
    std::vector<std::pair<std::string, std::string>> streams;
    for (const Shape& shape : kShapes)
        for (size_t n : {2, 3, 4}) {
            streams.push_back({std::string(shape.name) + " " + std::to_string(n) + " frames", sound(shape.name, 0, n)});
            if (n == 2)
                streams.push_back({std::string(shape.name) + " 2 frames tagged", tag + sound(shape.name, 0, 2)});
        }
    for (const auto& [a, b, n] : {std::tuple{"cbr128", "v0", 2}, {"cbr128", "v0", 3}, {"v0", "cbr128", 4}})
        streams.push_back({std::string(a) + " 1 frame joined by " + b, sound(a, 3, 1) + sound(b, 4, size_t(n))});
    tavrel_test::TempDir dir;
    const std::string path = dir.file("few.mp3");
    int cases = 0, planted = 0, failed = 0;
    const auto decode = [&](const std::string& bytes) {
        EXPECT_TRUE(tavrel_test::WriteFile(path, bytes));
        return tavrel_test::DecodeMpegAudio(path);
    };
    for (const auto& [name, bytes] : streams) {
        const MpegStream s = tavrel_test::WalkMpegFrames(bytes);
        ASSERT_EQ(s.end, bytes.size()) << name;
        const tavrel_test::MpegDecode whole = decode(bytes);
        ASSERT_EQ(whole.error + whole.said, "") << name;
        const bool free = s.frames.back().header.bitRate == 0;
        const std::string header = bytes.substr(s.frames[0].at, 4);
        std::vector<size_t> lengths;
        for (size_t n = 1; n < size_t(s.shortest); n += n < 16 ? 1 : size_t(s.shortest) / 7 + 1) lengths.push_back(n);
        lengths.push_back(size_t(s.shortest) - 1);
        for (size_t li = 0; li < lengths.size(); ++li)
            for (int fi = 0; fi < kFills; ++fi)
                for (size_t place = 0; place < s.frames.size(); ++place) {
                    // place 0: before every frame; k: before frame k.
                    if ((place == 0 && free) || (lengths[li] > 4 && (li + size_t(fi)) % 3 != place % 3)) continue;
                    const size_t length = lengths[li];
                    const auto put = [&](const std::string& file) {
                        return tavrel_test::PutBeforeFrames(file, s, [&](size_t k) {
                            return place == 0 || k == place ? FillBytes(Fill(fi), length, header, uint32_t(k + li))
                                                            : std::string();
                        });
                    };
                    std::vector<std::pair<std::string, std::string>> tried{{"", bytes}};
                    if (place > 0 && fi == kZeros) {
                        // The first frame's main data holds it, its frame ending
                        // where the stray file does.
                        const tavrel_test::MpegFrame& first = s.frames[0];
                        for (size_t q = first.at + size_t(first.header.SideEnd()); q + 4 <= first.at + first.size; ++q)
                            if (const std::string h = LayerTwoHeaderOf(int64_t(bytes.size() + length - q));
                                !h.empty()) {
                                std::string with = bytes;
                                with.replace(q, 4, h);
                                tried.push_back({" with a header at " + std::to_string(q), with});
                                break;
                            }
                    }
                    if (fi == kZeros) {
                        // The last frame's main data holds an ID3v2 tag's
                        // head, its length within the file.
                        const tavrel_test::MpegFrame& last = s.frames.back();
                        const size_t q = last.at + (size_t(last.header.SideEnd()) + last.size) / 2;
                        std::string with = bytes, own = bytes;
                        with.replace(q, 10, std::string("ID3\3\0\0\0\0\0\x10", 10));
                        if (q + 26 < with.size()) tried.push_back({" with ID3 at " + std::to_string(q), with});
                        // Or the stream's own header, there or nearer its start.
                        own.replace(q, 4, header);
                        tried.push_back({" with its header at " + std::to_string(q), own});
                        const size_t near =
                            last.at + size_t(last.header.SideEnd()) + (last.size - size_t(last.header.SideEnd())) / 4;
                        own = bytes;
                        own.replace(near, 4, header);
                        tried.push_back({" with its header at " + std::to_string(near), own});
                    }
                    for (const auto& [how, file] : tried) {
                        const tavrel_test::MpegDecode before = how.empty() ? whole : decode(file);
                        if (!before.said.empty()) continue;
                        ++cases, planted += !how.empty();
                        const std::string wrong = tavrel_test::StrayBytesWrong(before, decode(put(file)));
                        if (!wrong.empty() && ++failed <= 20)
                            ADD_FAILURE()
                                << name << how << ": " << length << " bytes of " << kFillNames[fi] << " before "
                                << (place == 0 ? "every frame" : "frame " + std::to_string(place))
                                << " (the shortest frame " << s.shortest << " bytes): " << wrong;
                    }
                }
    }
    EXPECT_EQ(failed, 0) << "of " << cases;
    EXPECT_GT(cases, 2000);
    EXPECT_GT(planted, 100);
}

INSTANTIATE_TEST_SUITE_P(Shapes, MpegStrays, testing::ValuesIn(kShapes),
                         [](const testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

}  // namespace
