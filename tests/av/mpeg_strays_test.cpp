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
//
// Then the same over a file of every MPEG audio writer the tests install
// (lame, FFmpeg's encoders, twolame, Layer I written here), each held
// against mpg123's decode of it, with tags between its frames too; and
// over recordings of other writers, rates and layers joined end to end,
// with tags and stray bytes where one ends and another begins.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

// The clean file of name, made once: make(path, clean) writes it at path,
// or gives clean.why; then its frames are walked, and check(path, clean)
// decodes it and says in clean.why what is wrong with it.
template <class Make, class Check>
const Clean& MadeOnce(const std::string& name, Make&& make, Check&& check)
{
    static tavrel_test::TempDir dir;
    static std::map<std::string, Clean> made;
    if (const auto found = made.find(name); found != made.end()) return found->second;
    Clean& c = made[name];
    const std::string path = dir.file(name + ".mp3");
    make(path, c);
    if (!c.why.empty()) return c;
    c.bytes = tavrel_test::ReadFile(path);
    c.stream = tavrel_test::WalkMpegFrames(c.bytes);
    const MpegStream& s = c.stream;
    if (s.frames.size() < size_t(s.info ? 8 : 7) || s.end != c.bytes.size()) {
        c.why = "its frames do not run back to back to its end";
        return c;
    }
    const auto& first = s.frames[s.info ? 1 : 0];
    c.header = c.bytes.substr(first.at, 4);
    c.channels = first.header.mono ? 1 : 2;
    c.frameSamples = first.header.samples;
    c.cut = s.delay >= 0 ? s.delay + 529 : 0;
    check(path, c);
    return c;
}

const Clean& CleanFile(const Shape& shape)
{
    return MadeOnce(shape.name, [&](const std::string& mp3, Clean& c) {
        const std::string wav = mp3 + ".wav";
        const std::string source =
            shape.tone ? "-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(shape.rate) +
                             ":duration=" + std::to_string(shape.seconds) + " "
                       : tavrel_test::ClickTrack(shape.rate, shape.seconds);
        const std::string lame = "lame --quiet " + std::string(shape.lame) + " '" + wav + "' '" + mp3 + "'";
        if (!tavrel_test::RunFfmpeg(source + "-ac " + std::to_string(shape.channels) + " -c:a pcm_s16le -f wav", wav) ||
            tavrel_test::RunCommand(lame).exitCode != 0)
            c.why = "ffmpeg or lame could not make it";
    }, [&](const std::string& mp3, Clean& c) {
        const MpegStream& s = c.stream;
        c.decoded = tavrel_test::DecodeMpegAudio(mp3);
        // The clean decode is the whole file less what its tag names.
        const int64_t whole = int64_t(s.frames.size() - (s.info ? 1 : 0)) * c.frameSamples - c.cut -
                              (s.padding >= 0 ? s.padding - 529 : 0);
        if (!c.decoded.error.empty() || !c.decoded.said.empty() ||
            int64_t(c.decoded.samples.size()) != whole * c.channels)
            c.why = "the clean file decodes to " + std::to_string(c.decoded.samples.size() / size_t(c.channels)) +
                    " samples of " + std::to_string(whole) + " (" + c.decoded.error + c.decoded.said + ")";
    });
}

enum Fill { kZeros, kOnes, kRandom, kOwnHeader, kOtherRate, kCut1, kCut2, kCut3, kFills };
const char* const kFillNames[kFills] = {"zeros", "0xFF", "random", "its own header", "another rate's header",
                                        "FF cut header", "2-byte cut header", "3-byte cut header"};
const char* const kFillKeys[kFills] = {"zeros", "ff", "random", "own", "other", "cut1", "cut2", "cut3"};

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
const char* const kPlaceKeys[kPlaces] = {"first",       "second", "third", "middle",
                                         "second-last", "last",   "every", "every-second"};

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
// ownHeader: the bytes are the stream's own header over and over.
std::string Judge(const Clean& clean, const tavrel_test::MpegDecode& got, size_t length, const std::vector<size_t>& at,
                  bool ownHeader = false)
{
    const MpegStream& s = clean.stream;
    const std::vector<int16_t>& want = clean.decoded.samples;
    if (length < size_t(s.shortest)) return tavrel_test::StrayBytesWrong(clean.decoded, got);
    if (!got.error.empty()) return "the reader fails: " + got.error;
    // The clean samples with a frame's silence at each stretch; silence the
    // decode cuts into at the start is not compared.
    const auto placed = [&](size_t k) { return (int64_t(k) - (s.info ? 1 : 0)) * clean.frameSamples - clean.cut; };
    std::vector<int16_t> expect;
    const size_t channels = size_t(clean.channels), frame = size_t(clean.frameSamples) * channels;
    size_t from = 0, unknown = 0;
    for (size_t k : at) {
        if (placed(k) < 0) unknown += frame;  // within the cut delay: where its silence falls is not told
        const size_t to = std::min(size_t(std::max<int64_t>(placed(k), 0)) * channels, want.size());
        expect.insert(expect.end(), want.begin() + long(from), want.begin() + long(to));
        expect.insert(expect.end(), frame, 0);
        from = to;
    }
    expect.insert(expect.end(), want.begin() + long(from), want.end());
    // The stream's own header over and over, as long as the frame it heads,
    // is that frame for any reader (its side information or bit allocation,
    // read from headers, may fit): its time alone is told, lost or kept.
    tavrel_test::MpegHeader h;
    tavrel_test::ReadMpegHeader(reinterpret_cast<const uint8_t*>(clean.header.data()), &h);
    const size_t headed = size_t(h.bitRate > 0 ? h.BytesAt(h.bitRate) : s.shortest);
    if (ownHeader && length >= headed && length <= headed + (h.layer == 1 ? 4 : 1))
        return got.samples.size() == expect.size() || (!s.oneRate && got.samples.size() == want.size())
                   ? ""
                   : tavrel_test::SamplesWrong(expect, got);
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
    if (got.said.size() != head.size() + words.size() || !std::regex_match(head, said, place) ||
        std::fabs(std::stod(said[2]) - double(std::max<int64_t>(placed(at[0]), 0)) / got.rate) > 0.1)
        return "said: " + got.said;
    return tavrel_test::SamplesWrong(expect, got, unknown);
}

// The file with what bytes(k) gives put before each frame k of at.
template <class Bytes>
std::string PutAt(const std::string& file, const MpegStream& s, const std::vector<size_t>& at, Bytes&& bytes)
{
    size_t next = 0;
    return tavrel_test::PutBeforeFrames(file, s, [&](size_t k) {
        if (next == at.size() || at[next] != k) return std::string();
        ++next;
        return bytes(k);
    });
}

// Where the bytes went, as a failure names it.
std::string Before(const MpegStream& s, const std::vector<size_t>& at)
{
    return " (before frame " + std::to_string(at[0]) + " of " + std::to_string(s.frames.size()) +
           (s.info && at[0] == 1 ? ", after the Info frame)" : ")");
}

std::string LengthGroup(size_t length, const MpegStream& s)
{
    return length <= 16 ? "1-16" : length < size_t(s.shortest) ? "primes below" : std::to_string(length);
}

// The failures of a sweep: the first 20 listed, then all counted by
// length, by what was put in and by place, with the first of each.
// TAVREL_MPEG_STRAYS_LOG names a file that takes every one,
// TAVREL_MPEG_STRAYS_KEEP a folder that keeps each failing file.
class Failures {
public:
    Failures(std::string name, std::string about) : name_(std::move(name)), about_(std::move(about)) {}

    // A case: what is wrong ("" where nothing is), what names it, its
    // length's, insert's and place's groups, and its name and bytes to keep.
    void Take(const std::string& wrong, const std::string& named, const std::array<std::string, 3>& groups,
              const std::string& keep, const std::string& bytes)
    {
        ++cases_;
        if (wrong.empty()) return;
        const std::string line = named + ": " + wrong;
        if (const char* folder = std::getenv("TAVREL_MPEG_STRAYS_KEEP"))
            tavrel_test::WriteFile(std::string(folder) + "/" + keep, bytes);
        if (const char* log = std::getenv("TAVREL_MPEG_STRAYS_LOG"))
            std::ofstream(log, std::ios::app) << name_ << ": " << line << '\n';
        for (size_t g = 0; g < groups.size(); ++g) {
            auto& group = groups_[g][groups[g]];
            if (group.first++ == 0) group.second = line;
        }
        if (++failed_ <= 20) ADD_FAILURE() << name_ << about_ << ": " << line;
    }
    int Cases() const { return cases_; }
    void Report() const
    {
        if (failed_ == 0) return;
        std::string text;
        for (const auto& by : groups_)
            for (const auto& [key, group] : by)
                text += "\n  " + key + ": " + std::to_string(group.first) + ", first " + group.second;
        ADD_FAILURE() << name_ << ": " << failed_ << " of " << cases_
                      << " cases fail; by length, what was put in and place:" << text;
    }

private:
    std::string name_, about_;
    int cases_ = 0, failed_ = 0;
    std::array<std::map<std::string, std::pair<int, std::string>>, 3> groups_;
};

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
    Failures failures(shape.name, " (the shortest frame " + std::to_string(s.shortest) + " bytes)");
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
                const std::vector<size_t> at = Boundaries(Place(pi), s.frames.size());
                const uint32_t seed = uint32_t(length * 131 + size_t(pi) * 7 + 1);
                const std::string bytes = PutAt(clean.bytes, s, at, [&](size_t k) {
                    return FillBytes(Fill(fi), length, clean.header, seed + uint32_t(k));
                });
                const std::string path = dir.file("case.mp3");
                ASSERT_TRUE(tavrel_test::WriteFile(path, bytes));
                failures.Take(Judge(clean, tavrel_test::DecodeMpegAudio(path), length, at, fi == kOwnHeader),
                              std::to_string(length) + " bytes of " + kFillNames[fi] + " at " + kPlaceNames[pi] +
                                  Before(s, at),
                              {LengthGroup(length, s), kFillNames[fi], kPlaceNames[pi]},
                              std::string(shape.name) + "-" + std::to_string(length) + "-" + std::to_string(fi) + "-" +
                                  std::to_string(pi) + ".mp3",
                              bytes);
            }
    }
    failures.Report();
    EXPECT_GT(failures.Cases(), 500) << shape.name;
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

// The frames lame writes of a second of mono clicks at rate, cut to
// samples where not 0 (1,000 make an Info frame and two frames, the LAME
// tag's delay and padding cutting them to 1,000 again).
std::vector<std::string> LameFrames(const std::string& folder, int rate, int samples, const std::string& options)
{
    const std::string wav = folder + "/frames.wav", mp3 = folder + "/frames.mp3";
    const std::string trim = samples > 0 ? "-af atrim=end_sample=" + std::to_string(samples) + " " : "";
    std::vector<std::string> frames;
    if (!tavrel_test::RunFfmpeg(tavrel_test::ClickTrack(rate, 1) + "-ac 1 " + trim + "-c:a pcm_s16le -f wav", wav) ||
        tavrel_test::RunCommand("lame --quiet " + options + " '" + wav + "' '" + mp3 + "'").exitCode != 0)
        return frames;
    const std::string bytes = tavrel_test::ReadFile(mp3);
    for (const tavrel_test::MpegFrame& f : tavrel_test::WalkMpegFrames(bytes).frames)
        frames.push_back(bytes.substr(f.at, f.size));
    return frames;
}

// The bits [at, at + count) of bytes, most significant first; or, with to,
// those bits set to it.
uint32_t Bits(std::string& bytes, size_t at, int count, int64_t to = -1)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++at) {
        char& byte = bytes[at / 8];
        const int mask = 0x80 >> at % 8;
        if (to >= 0) byte = char(to >> (count - 1 - i) & 1 ? byte | mask : byte & ~mask);
        value = value << 1 | ((byte & mask) != 0);
    }
    return value;
}

// The bytes of main data a mono MPEG-1 Layer III frame's two granules take
// (their part2_3_length).
size_t MainDataBytes(std::string frame)
{
    return (Bits(frame, 32 + 18, 12) + Bits(frame, 32 + 77, 12) + 7) / 8;
}

// The sound fuzz target's open findings, from lame's frames, patched: the
// streams decode alike with stray bytes before their frames. An ID3v2
// tag, an Info frame at 64 kbit/s, a frame at 256 kbit/s and one at 56
// kbit/s whose main data takes all the bit reservoir the frame before
// leaves: 1 to 16 bytes before frames 1 and 2, or one byte of any value
// before the last. Free format at 32 kHz, an Info frame and two frames, the
// third holding the stream's own header 57 bytes in: 11 zero bytes before
// frame 1 (before every frame after the first, they only lengthen each).
// Two free-format frames alone, bytes before the second: one frame of
// both is no reading, its second header within; so too two free-format
// frames with an MPEG-2 recording after them, bytes before it. A recording joined on
// right after an ID3v1 tag, bytes between the tag and it: of one frame
// after a recording of another rate, and of free format (bytes before its
// second frame too) after a frame of another bit rate. A free-format
// Info frame and one frame, two tags of a kind or a recording of a bit rate
// after them, a byte before the frame; two free-format recordings and one
// of a bit rate joined, their Info frames alone counting nothing too,
// bytes before the last's frames. A 320 kbit/s
// frame between 128 kbit/s ones holding a whole frame of its stream 418
// bytes in: bytes before it and the frames around it, or an MPEG-2
// recording after it, bytes before two of its frames. An ID3v1 tag between
// two recordings, a frame of the second begun 16 bytes before the tag in
// the last frame of the first: 6 zeros before the second's first three.
// A free-format frame
// in which a frame of the recording after it begins, 11 zeros before it.
// Free-format Layer I
// frames holding their stream's header (but for the checksum bit) once or
// twice each: a zero before frames 1 and 2, so only frames 2 and 3 stand
// with nothing between; the first three, an ID3v1 tag and a frame of a bit
// rate, 16 bytes before frames 1 and 2.
std::string LayerOneClicks(int rate, int channels, int kbits, double seconds);

TEST(MpegStraysFewFrames, FuzzFindingsCostNothing)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    if (tavrel_test::RunCommand("command -v lame").exitCode != 0) GTEST_SKIP() << "the lame program is not installed";
    tavrel_test::TempDir dir;
    const std::vector<std::string> info = LameFrames(dir.path(), 44100, 1000, "-b 64 -m m --resample 44.1"),
                                   loud = LameFrames(dir.path(), 44100, 1000, "-b 256 -m m --resample 44.1"),
                                   low = LameFrames(dir.path(), 44100, 1000, "-b 56 -m m --resample 44.1");
    ASSERT_TRUE(info.size() == 3 && loud.size() == 3 && low.size() == 3) << "lame wrote other frames";
    std::string second = loud[1], third = low[1];
    constexpr size_t kSide = 4 + 17;
    ASSERT_EQ(Bits(second, 32, 9) | Bits(third, 32, 9), 0u) << "their main data begins before them";
    const size_t used = MainDataBytes(second), reservoir = second.size() - kSide - used, main = MainDataBytes(third);
    ASSERT_LT(reservoir, 512u);
    // The third frame's main data begins where the second's ends.
    const std::string data = third.substr(kSide, main);
    const size_t back = std::min(reservoir, main);
    second = second.substr(0, kSide + used) + data.substr(0, back) + std::string(reservoir - back, '\0');
    third = third.substr(0, kSide) + data.substr(back) + std::string(third.size() - kSide - (main - back), '\0');
    Bits(third, 32, 9, int64_t(reservoir));
    struct Stream {
        std::string name;
        std::vector<std::string> frames;
    };
    std::vector<Stream> streams{{"reservoir", {tavrel_test::MpegTagBytes(tavrel_test::kId3) + info[0], second, third}}};
    {
        std::vector<std::string> frames = LameFrames(dir.path(), 32000, 1000, "--freeformat -b 200 -m m");
        ASSERT_EQ(frames.size(), 3u);
        streams.push_back({"free format alone", {frames[1], frames[2]}});
        const std::vector<std::string> longer = LameFrames(dir.path(), 32000, 4000, "--freeformat -b 200 -m m");
        ASSERT_GE(longer.size(), 4u);
        streams.push_back({"free format after a tag", {low[1], tavrel_test::MpegTagBytes(tavrel_test::kId3v1)}});
        streams.back().frames.insert(streams.back().frames.end(), longer.begin() + 1, longer.end());
        // Two frames each, no Info frame.
        streams.push_back({"free format then MPEG-2", LameFrames(dir.path(), 32000, 100, "-t --freeformat -b 200 -m m")});
        const std::vector<std::string> half = LameFrames(dir.path(), 24000, 100, "-t -b 64 -m m");
        ASSERT_TRUE(streams.back().frames.size() == 2 && half.size() >= 2) << "lame wrote other frames";
        streams.back().frames.insert(streams.back().frames.end(), half.begin(), half.end());
        // The Info frame and one frame, then tags: only a tag tells the size.
        for (const auto tag : {tavrel_test::kId3, tavrel_test::kApe, tavrel_test::kApeFooter, tavrel_test::kLyrics,
                               tavrel_test::kId3v1})
            streams.push_back({"free format before tag " + std::to_string(int(tag)),
                               {frames[0], frames[1], tavrel_test::MpegTagBytes(tag), tavrel_test::MpegTagBytes(tag)}});
        // Two free-format Info frames of other sizes, a short recording of
        // a bit rate after them.
        const std::vector<std::string> wider = LameFrames(dir.path(), 32000, 1000, "--freeformat -b 320 -m m"),
                                       after = LameFrames(dir.path(), 44100, 1500, "-b 128 -m m");
        ASSERT_TRUE(wider.size() >= 2 && after.size() >= 3) << "lame wrote other frames";
        streams.push_back({"free format joined", frames});
        streams.back().frames.insert(streams.back().frames.end(), wider.begin(), wider.end());
        streams.back().frames.insert(streams.back().frames.end(), after.begin(), after.end());
        // Their Info frames alone, counting nothing (their flags cleared).
        std::vector<std::string> infos{frames[0], wider[0]};
        for (std::string& info : infos) {
            const size_t tag = info.find("Info");
            ASSERT_NE(tag, std::string::npos);
            info.replace(tag + 4, 4, std::string(4, '\0'));
        }
        infos.insert(infos.end(), after.begin(), after.end());
        streams.push_back({"free format swallowing", infos});
        // The Info frame and one frame, then a recording of a bit rate: only
        // its first frame tells the size.
        streams.push_back({"free format before a recording", {infos[0], frames[1]}});
        streams.back().frames.insert(streams.back().frames.end(), after.begin(), after.end());
        // A frame of the recording's begun 200 bytes before the free-format
        // frame ends, running on into the recording's first.
        std::string across = frames[1];
        across.replace(across.size() - 300, 36, after[1].substr(0, 36));
        streams.push_back({"free format, a frame across its end", {infos[0], across}});
        streams.back().frames.insert(streams.back().frames.end(), after.begin() + 1, after.end());
        frames[2].replace(57, 4, frames[1].substr(0, 4));
        streams.push_back({"free format", frames});
    }
    {
        const std::vector<std::string> other = LameFrames(dir.path(), 32000, 1000, "-b 64 -m m");
        ASSERT_GE(other.size(), 2u);
        streams.push_back({"after a tag", LameFrames(dir.path(), 44100, 1000, "-b 128 -m m")});
        streams.back().frames.push_back(tavrel_test::MpegTagBytes(tavrel_test::kId3v1));
        streams.back().frames.push_back(other[1]);
    }
    {
        // An MPEG-2 recording, an ID3v1 tag and an MPEG-2.5 one of 144-byte
        // frames, the last frame before the tag holding the header and side
        // information of one of those 16 bytes before its end.
        std::vector<std::string> before = LameFrames(dir.path(), 24000, 300, "-t -b 40 -m m");
        const std::vector<std::string> after = LameFrames(dir.path(), 8000, 600, "-t -b 16 -m m");
        ASSERT_TRUE(before.size() >= 3 && after.size() >= 4 && after[0].size() == 144) << "lame wrote other frames";
        before.back().replace(before.back().size() - 16, 13, after[0].substr(0, 13));
        streams.push_back({"a frame across a tag", before});
        streams.back().frames.push_back(tavrel_test::MpegTagBytes(tavrel_test::kId3v1));
        streams.back().frames.insert(streams.back().frames.end(), after.begin(), after.begin() + 4);
    }
    {
        // No bit reservoir: each frame's main data its own.
        std::vector<std::string> frames = LameFrames(dir.path(), 44100, 4000, "-b 128 -m m --nores");
        const std::vector<std::string> loudest = LameFrames(dir.path(), 44100, 1000, "-b 320 -m m --nores");
        ASSERT_TRUE(frames.size() >= 5 && loudest.size() >= 2) << "lame wrote other frames";
        std::string outer = loudest[1];
        ASSERT_GE(outer.size(), 418 + frames[2].size());
        outer.replace(418, frames[2].size(), frames[2]);
        streams.push_back({"frame within", {frames[1], frames[2], outer, frames[3], frames[4]}});
        const std::vector<std::string> half = LameFrames(dir.path(), 24000, 300, "-t -b 64 -m m");
        ASSERT_GE(half.size(), 3u);
        streams.push_back({"frame within, MPEG-2 after", {frames[1], frames[2], outer, half[0], half[1], half[2]}});
    }
    {
        // Two bit rates by turns, no reservoir: a third rate never shows the
        // rate varies, the last frame of the second leads on.
        const std::string options = "-m m --nores --resample 32 -b ";
        const std::vector<std::string> high = LameFrames(dir.path(), 32000, 6000, options + "160"),
                                       lowest = LameFrames(dir.path(), 32000, 6000, options + "32");
        ASSERT_TRUE(high.size() >= 4 && lowest.size() >= 5) << "lame wrote other frames";
        streams.push_back({"two rates by turns", {high[1], high[2], lowest[1], high[3], lowest[2]}});
        streams.push_back({"two rates by pairs", {high[1], lowest[1], lowest[2], high[2], lowest[3], lowest[4]}});
        streams.push_back({"two rates by turns, the first last", {high[1], lowest[1], high[2], lowest[2], high[3]}});
    }
    {
        const std::string layerOne = LayerOneClicks(44100, 2, 448, 0.05);
        const std::vector<tavrel_test::MpegFrame> walked = tavrel_test::WalkMpegFrames(layerOne).frames;
        ASSERT_GE(walked.size(), 4u);
        // Free format, the stream's header put in at these offsets of each.
        const auto freeFormat = [&](const std::vector<std::vector<size_t>>& within) {
            std::vector<std::string> frames;
            for (const std::vector<size_t>& offsets : within) {
                std::string frame = layerOne.substr(walked[frames.size()].at, walked[frames.size()].size);
                frame[2] = char(frame[2] & 0x0F);
                for (const size_t at : offsets) frame.replace(at, 4, frame.substr(0, 4)), frame[at + 1] &= 0xFE;
                frames.push_back(frame);
            }
            return frames;
        };
        streams.push_back({"free-format Layer I", freeFormat({{300}, {450}, {200, 400}, {200, 400}})});
        streams.push_back({"free-format Layer I before a tag", freeFormat({{200}, {200}, {300}})});
        streams.back().frames.push_back(tavrel_test::MpegTagBytes(tavrel_test::kId3v1));
        streams.back().frames.push_back(low[1]);
    }
    const std::string path = dir.file("finding.mp3");
    const auto decode = [&](const std::vector<std::string>& frames, const std::vector<size_t>& at,
                            const std::string& put) {
        std::string bytes;
        for (size_t k = 0; k < frames.size(); ++k)
            bytes += (std::find(at.begin(), at.end(), k) != at.end() ? put : "") + frames[k];
        tavrel_test::WriteFile(path, bytes);
        return tavrel_test::DecodeMpegAudio(path);
    };
    int cases = 0;
    for (const auto& [name, frames] : streams) {
        const tavrel_test::MpegDecode clean = decode(frames, {}, "");
        ASSERT_EQ(clean.error + clean.said, "") << name;
        const std::string header = frames.back().substr(0, 4);
        std::vector<std::tuple<std::string, std::string, std::vector<size_t>>> puts;  // named, bytes, before
        if (name == "reservoir") {
            for (const size_t length : {1, 6, 9, 12, 16})
                for (int fi = 0; fi < kFills; ++fi)
                    puts.push_back({std::to_string(length) + " bytes of " + kFillNames[fi],
                                    FillBytes(Fill(fi), length, header, 7), {1, 2}});
            for (int value = 0; value < 256; ++value)
                puts.push_back({"the byte " + std::to_string(value), std::string(1, char(value)), {2}});
        } else if (name == "free format alone") {
            puts.push_back({"6 bytes of 0x97", std::string(6, '\x97'), {1}});
        } else if (name == "free format after a tag") {
            puts.push_back({"11 zeros", std::string(11, '\0'), {2, 3}});
        } else if (name.starts_with("free format before")) {
            puts.push_back({"a zero", std::string(1, '\0'), {1}});
        } else if (name == "free format joined" || name == "free format swallowing") {
            for (const size_t before : {frames.size() - 3, frames.size() - 2, frames.size() - 1})
                puts.push_back({"12 zeros", std::string(12, '\0'), {before}});
        } else if (name == "free format then MPEG-2") {
            puts.push_back({"8 zeros", std::string(8, '\0'), {2}});
        } else if (name == "frame within, MPEG-2 after") {
            puts.push_back({"3 zeros", std::string(3, '\0'), {3, 5}});
        } else if (name == "frame within") {
            for (const char fill : {'\0', '\x03'})
                puts.push_back({"6 bytes of " + std::to_string(int(fill)), std::string(6, fill), {1, 2, 3}});
        } else if (name == "two rates by turns, the first last") {
            puts.push_back({"15 zeros", std::string(15, '\0'), {1, 2, 3, 4}});
        } else if (name == "two rates by pairs") {
            puts.push_back({"5 zeros", std::string(5, '\0'), {1, 2, 3, 4, 5}});
        } else if (name == "two rates by turns") {
            puts.push_back({"6 zeros", std::string(6, '\0'), {1, 3, 4}});
            puts.push_back({"6 bytes of 0x6D", std::string(6, '\x6D'), {1, 2, 3}});
        } else if (name == "free-format Layer I before a tag") {
            puts.push_back({"16 bytes of 0xDC", std::string(16, '\xDC'), {1, 2}});
        } else if (name == "free-format Layer I") {
            puts.push_back({"a zero", std::string(1, '\0'), {1, 2}});
        } else if (name == "a frame across a tag") {
            const size_t first = frames.size() - 4;
            puts.push_back({"6 zeros", std::string(6, '\0'), {first, first + 1, first + 2}});
        } else if (name == "after a tag") {
            for (const size_t length : {1, 2, 16})
                puts.push_back({std::to_string(length) + " bytes of 0x91", std::string(length, '\x91'),
                                {frames.size() - 1}});
        } else {
            puts.push_back({"11 zeros", std::string(11, '\0'), {1}});
        }
        for (const auto& [named, put, at] : puts) {
            ++cases;
            EXPECT_EQ(tavrel_test::StrayBytesWrong(clean, decode(frames, at, put)), "")
                << name << ": " << named << " before frame " << at[0]
                << (at.size() > 1 ? " and " + std::to_string(at[1]) : std::string()) << " of " << frames.size() << ", "
                << clean.samples.size() / size_t(clean.channels) << " samples clean";
        }
    }
    EXPECT_EQ(cases, 5 * kFills + 256 + 1 + 1 + 5 + 3 + 3 + 1 + 1 + 1 + 1 + 3 + 1 + 1 + 2 + 2 + 1 + 1 + 1 + 1);
}

INSTANTIATE_TEST_SUITE_P(Shapes, MpegStrays, testing::ValuesIn(kShapes),
                         [](const testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });


// MPEG-1 Layer I of clicks, which no installed program writes: in each
// frame subbands 1 and 2 of every channel carry a tone, loud in the frame
// where a quarter second begins and quiet elsewhere; the rest is zeros.
std::string LayerOneClicks(int rate, int channels, int kbits, double seconds)
{
    static const int kKbits[] = {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448};
    const int bitIndex = int(std::find(std::begin(kKbits), std::end(kKbits), kbits) - std::begin(kKbits)) + 1;
    const int rateIndex = rate == 44100 ? 0 : rate == 48000 ? 1 : 2;
    std::string out;
    int64_t rest = 0;  // a slot's fraction, carried to the next frame
    for (int k = 0; k < int(seconds * rate / 384); ++k) {
        rest += int64_t(12) * kbits * 1000 % rate;
        const bool pad = rest >= rate;
        rest -= pad ? rate : 0;
        std::string frame(size_t(12 * kbits * 1000 / rate + pad) * 4, '\0');
        size_t bit = 0;
        const auto put = [&](int64_t value, int bits) {
            for (int b = bits - 1; b >= 0; --b, ++bit)
                if (value >> b & 1) frame[bit / 8] = char(frame[bit / 8] | 0x80 >> bit % 8);
        };
        put(0xFFF, 12), put(1, 1), put(3, 2), put(1, 1);  // MPEG-1, Layer I, no checksum
        put(bitIndex, 4), put(rateIndex, 2), put(pad, 1), put(0, 1);
        put(channels == 1 ? 3 : 0, 2), put(0, 3), put(1, 1), put(0, 2);  // mode, original
        constexpr int kBits = 8;  // a sample of the two subbands, allocated as kBits - 1
        for (int sb = 0; sb < 32; ++sb)
            for (int c = 0; c < channels; ++c) put(sb == 1 || sb == 2 ? kBits - 1 : 0, 4);
        const bool loud = int64_t(k) * 384 % (rate / 4) < 384;
        for (int i = 0; i < 2 * channels; ++i) put(loud ? 3 : 24, 6);  // scale factors 1.0 and 1/128
        for (int s = 0; s < 12; ++s)
            for (int i = 0; i < 2 * channels; ++i)
                put(127 + std::lround(120 * std::sin(0.9 * (k * 12 + s) + i / channels)), kBits);
        out += frame;
    }
    return out;
}

// Every MPEG audio writer the tests install, each over a second of clicks.
struct Writer {
    const char* name;
    int rate, channels;
    // Writes $OUT from the WAVE $IN; "" for Layer I at kbits, written here.
    const char* command;
    int kbits = 0;
};
#define TAVREL_FFMPEG "ffmpeg -nostdin -hide_banner -loglevel error -y -i $IN "
const Writer kWriters[] = {
    {"lame_cbr", 44100, 2, "lame --quiet -b 128 $IN $OUT"},
    {"lame_cbr_22k", 22050, 1, "lame --quiet -b 64 -m m $IN $OUT"},
    {"lame_vbr", 44100, 2, "lame --quiet -V 2 $IN $OUT"},
    {"lame_vbr_untagged", 22050, 1, "lame --quiet -V 2 -t $IN $OUT"},
    {"lame_vbr_untagged_32k", 32000, 2, "lame --quiet -V 5 -t $IN $OUT"},
    {"lame_free_mpeg1", 32000, 1, "lame --quiet --freeformat -b 80 -m m $IN $OUT"},
    {"lame_free_mpeg2", 22050, 1, "lame --quiet --freeformat -b 40 -m m $IN $OUT"},
    {"lame_crc", 32000, 2, "lame --quiet -p -b 96 $IN $OUT"},
    {"ffmpeg_lame", 48000, 2, TAVREL_FFMPEG "-c:a libmp3lame -b:a 160k -f mp3 $OUT"},
    {"ffmpeg_lame_vbr", 44100, 2, TAVREL_FFMPEG "-c:a libmp3lame -q:a 2 -f mp3 $OUT"},
    {"ffmpeg_lame_vbr_noxing", 22050, 1, TAVREL_FFMPEG "-c:a libmp3lame -q:a 2 -write_xing 0 -f mp3 $OUT"},
    {"ffmpeg_lame_cbr_noxing", 32000, 1, TAVREL_FFMPEG "-c:a libmp3lame -b:a 64k -write_xing 0 -f mp3 $OUT"},
    {"ffmpeg_shine", 32000, 1, TAVREL_FFMPEG "-c:a libshine -b:a 64k -f mp3 $OUT"},
    {"ffmpeg_shine_stereo", 44100, 2, TAVREL_FFMPEG "-c:a libshine -b:a 128k -f mp3 $OUT"},
    {"ffmpeg_mp2", 44100, 2, TAVREL_FFMPEG "-c:a mp2 -b:a 192k -f mp2 $OUT"},
    {"ffmpeg_mp2_22k", 22050, 1, TAVREL_FFMPEG "-c:a mp2 -b:a 64k -f mp2 $OUT"},
    {"twolame_cbr", 44100, 2, "twolame --quiet -b 192 $IN $OUT"},
    {"twolame_vbr", 44100, 2, "twolame --quiet -V 5 $IN $OUT"},
    {"twolame_vbr_22k", 22050, 1, "twolame --quiet -V 5 -m m $IN $OUT"},
    {"twolame_crc", 32000, 1, "twolame --quiet -p -b 64 -m m $IN $OUT"},
    {"layer1", 32000, 1, "", 64},
    {"layer1_stereo", 44100, 2, "", 192},
};
#undef TAVREL_FFMPEG

void PrintTo(const Writer& writer, std::ostream* os)
{
    *os << writer.name;
}

// Why the writer cannot write here ("" where it can): its program, or
// FFmpeg's encoder, is missing; mpg123, the decode held against, too.
std::string WriterMissing(const Writer& writer)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) return tavrel_test::FfmpegUnavailable();
    const std::string command = writer.command;
    for (const std::string& program : {std::string("mpg123"), command.substr(0, command.find(' '))})
        if (!program.empty() && tavrel_test::RunCommand("command -v " + program + " >/dev/null").exitCode != 0)
            return "the " + program + " program is not installed";
    if (const size_t codec = command.find("-c:a "); codec != std::string::npos) {
        const std::string encoder = command.substr(codec + 5, command.find(' ', codec + 5) - codec - 5);
        if (tavrel_test::RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' " + encoder + " '")
                .exitCode != 0)
            return "ffmpeg has no " + encoder + " encoder";
    }
    return "";
}

// The file as mpg123 decodes it: gapless, the LAME tag's delay and padding
// cut, as the reader cuts them.
tavrel_test::MpegDecode Mpg123Decode(const std::string& path, int rate, int channels)
{
    tavrel_test::MpegDecode d;
    d.rate = rate, d.channels = channels;
    const std::string raw = path + ".raw";
    if (tavrel_test::RunCommand("mpg123 -q -s '" + path + "' > '" + raw + "' 2>/dev/null").exitCode != 0)
        d.error = "mpg123 does not decode it";
    const std::string bytes = tavrel_test::ReadFile(raw);
    d.samples.resize(bytes.size() / 2);
    std::copy_n(bytes.data(), d.samples.size() * 2, reinterpret_cast<char*>(d.samples.data()));
    std::remove(raw.c_str());
    return d;
}

// The frames of sound its writer states: its Info/Xing frame's count, else
// the packets FFmpeg counts; 0 where neither tells (free format).
int64_t StatedFrames(const std::string& path, const MpegStream& s)
{
    if (s.claimed > 0) return s.claimed;
    const tavrel_test::ToolResult probe =
        tavrel_test::RunCommand("ffprobe -v error -count_packets -select_streams a:0 -show_entries "
                                "stream=nb_read_packets -of csv=p=0 '" + path + "' 2>/dev/null");
    return probe.exitCode == 0 ? std::atoll(probe.output.c_str()) : 0;
}

// The writer's file, made once: its truth is mpg123's decode, which the
// reader's must equal, and its frames as the writer counts them.
const Clean& WriterFile(const Writer& writer)
{
    return MadeOnce(writer.name, [&](const std::string& path, Clean& c) {
        if (*writer.command == '\0') {
            tavrel_test::WriteFile(path, LayerOneClicks(writer.rate, writer.channels, writer.kbits, 1));
            return;
        }
        const std::string wav = path + ".wav";
        std::string command = writer.command;
        for (const auto& [word, file] : {std::pair{std::string("$IN"), wav}, {"$OUT", path}})
            command.replace(command.find(word), word.size(), "'" + file + "'");
        if (!tavrel_test::RunFfmpeg(tavrel_test::ClickTrack(writer.rate, 1) + "-ac " + std::to_string(writer.channels) +
                                        " -c:a pcm_s16le -f wav",
                                    wav) ||
            tavrel_test::RunCommand(command).exitCode != 0)
            c.why = "it could not be made: " + command;
    }, [&](const std::string& path, Clean& c) {
        const MpegStream& s = c.stream;
        c.decoded = Mpg123Decode(path, s.frames.back().header.rate, c.channels);
        const int64_t walked = int64_t(s.frames.size()) - s.info;
        int64_t stated = StatedFrames(path, s);
        if (stated == 0 && s.delay < 0) stated = int64_t(c.decoded.samples.size()) / c.channels / c.frameSamples;
        if (!c.decoded.error.empty())
            c.why = c.decoded.error;
        else if (stated != walked)
            c.why = "its writer counts " + std::to_string(stated) + " frames of sound, the walk " +
                    std::to_string(walked);
        else if (const std::string wrong = tavrel_test::StrayBytesWrong(c.decoded, tavrel_test::DecodeMpegAudio(path));
                 !wrong.empty())
            c.why = "the reader's decode of the clean file is not mpg123's: " + wrong;
    });
}

// What is put in of each tavrel_test::MpegTag, and whether it is a tag
// whole.
struct Tag {
    const char* name;
    const char* key;
    bool whole;
};
const Tag kTagShapes[tavrel_test::kMpegTags] = {
    {"an ID3v2 tag", "id3", true},
    {"an ID3v2 tag of padding", "id3pad", true},
    {"an ID3v2 tag whose size runs 4 bytes past it", "id3over", false},
    {"an APEv2 tag", "ape", true},
    {"an APEv2 tag without its header", "apefooter", true},
    {"Lyrics3v2 and ID3v1", "lyrics", true},
    {"an ID3v1 tag", "id3v1", true},
    {"the word ID3", "wordid3", false},
    {"the word TAG", "wordtag", false},
    {"the word APETAGEX", "wordape", false},
    {"the word LYRICSBEGIN", "wordlyrics", false},
};

// Lengths of stray bytes for a writer's file: 1 to 5, 7, 11, 16, four
// of the primes below the shortest frame, the shortest less one, the
// shortest, one more and the longest frame of sound.
std::vector<size_t> WriterLengths(const MpegStream& s)
{
    std::vector<size_t> lengths, primes;
    for (size_t n : Lengths(s))
        if (std::find(lengths.begin(), lengths.end(), n) == lengths.end() &&
            std::find(primes.begin(), primes.end(), n) == primes.end())
            (n > 16 && n + 1 < size_t(s.shortest) ? primes : lengths).push_back(n);
    std::erase_if(lengths, [](size_t n) { return n > 5 && n < 16 && n != 7 && n != 11; });
    for (size_t i = 0; i < primes.size(); i += (primes.size() + 3) / 4) lengths.push_back(primes[i]);
    return lengths;
}

class MpegStraysByWriter : public testing::TestWithParam<Writer> {};

// The file of each writer with bytes between its frames: stray bytes as
// above, by length, fill and place; tags, whole, cost nothing and say
// nothing wherever they stand; a bare word or a tag's head whose size runs
// past it is stray bytes of its length.
TEST_P(MpegStraysByWriter, StrayBytesAndTagsBetweenFrames)
{
    const Writer& writer = GetParam();
    if (const std::string missing = WriterMissing(writer); !missing.empty()) GTEST_SKIP() << missing;
    const Clean& clean = WriterFile(writer);
    ASSERT_EQ(clean.why, "") << writer.name;
    const MpegStream& s = clean.stream;
    const bool free = s.frames.back().header.bitRate == 0;
    tavrel_test::TempDir dir;
    const std::string path = dir.file("case.mp3");
    Failures failures(writer.name, " (the shortest frame " + std::to_string(s.shortest) + " bytes)");
    // What is put in, named, keyed and of length bytes before the frames of
    // place; whole: a tag, which costs nothing.
    // lead: bytes of a stream caught midway before the file's own.
    std::string lead;
    const auto put = [&](const std::string& what, const std::string& group, const std::string& key, size_t length,
                         int pi, bool whole, bool ownHeader, const auto& bytesBefore) {
        const std::vector<size_t> at = Boundaries(Place(pi), s.frames.size());
        const std::string bytes = lead + PutAt(clean.bytes, s, at, bytesBefore);
        tavrel_test::WriteFile(path, bytes);
        const tavrel_test::MpegDecode got = tavrel_test::DecodeMpegAudio(path);
        failures.Take(whole ? tavrel_test::StrayBytesWrong(clean.decoded, got)
                            : Judge(clean, got, length, at, ownHeader),
                      what + " at " + kPlaceNames[pi] + Before(s, at),
                      {whole ? "whole tags" : LengthGroup(length, s), group, kPlaceNames[pi]},
                      std::string(writer.name) + "-" + std::to_string(length) + "-" + key + "-" + kPlaceKeys[pi] +
                          ".mp3",
                      bytes);
    };
    const std::vector<size_t> lengths = WriterLengths(s);
    for (size_t li = 0; li < lengths.size(); ++li) {
        const size_t length = lengths[li];
        // Every fill at every place for one byte, three, four, and about the
        // shortest frame; each other length each fill at one place.
        const bool all = length == 1 || length == 3 || length == 4 || length + 1 == size_t(s.shortest) ||
                         length == size_t(s.shortest);
        for (int fi = 0; fi < kFills; ++fi)
            for (int pi = 0; pi < kPlaces; ++pi) {
                if ((!all && pi != int(li + size_t(fi)) % kPlaces) || (free && pi == kEvery)) continue;
                const uint32_t seed = uint32_t(length * 131 + size_t(pi) * 7 + 1);
                put(std::to_string(length) + " bytes of " + kFillNames[fi], kFillNames[fi], kFillKeys[fi], length, pi,
                    false, fi == kOwnHeader,
                    [&](size_t k) { return FillBytes(Fill(fi), length, clean.header, seed + uint32_t(k)); });
            }
    }
    // The same after 100 bytes that hold no frame, as where a capture
    // begins mid-frame: its first frames stand on their own.
    lead = FillBytes(kRandom, 100, clean.header, 5);
    for (const size_t length : {size_t(1), size_t(4)})
        for (const int fi : {kZeros, kRandom})
            put("100 bytes before the first frame, " + std::to_string(length) + " bytes of " + kFillNames[fi],
                kFillNames[fi], std::string("lead-") + kFillKeys[fi], length, free ? kEverySecond : kEvery, false, false,
                [&](size_t k) { return FillBytes(Fill(fi), length, clean.header, uint32_t(k)); });
    lead.clear();
    for (int ti = 0; ti < tavrel_test::kMpegTags; ++ti) {
        const std::string tag = tavrel_test::MpegTagBytes(tavrel_test::MpegTag(ti));
        for (int pi : {kFirst, kMiddle, kLast, kEverySecond})
            put(std::string(kTagShapes[ti].name) + " (" + std::to_string(tag.size()) + " bytes)", kTagShapes[ti].name,
                kTagShapes[ti].key, tag.size(), pi, kTagShapes[ti].whole, false, [&](size_t) { return tag; });
    }
    failures.Report();
    EXPECT_GT(failures.Cases(), 300) << writer.name;
}

INSTANTIATE_TEST_SUITE_P(Writers, MpegStraysByWriter, testing::ValuesIn(kWriters),
                         [](const testing::TestParamInfo<Writer>& info) { return std::string(info.param.name); });


// Recordings of other writers, rates and layers joined end to end, as cat
// joins them (each with its own Info frame where its writer writes one).
struct Chain {
    const char* name;
    std::vector<const char*> parts;  // writers' names
};
const Chain kChains[] = {
    {"lame44_lame22_mp2", {"lame_cbr", "lame_cbr_22k", "ffmpeg_mp2"}},
    {"lamevbr_twolame32k", {"lame_vbr", "twolame_crc"}},
    {"untagged22_lame44", {"ffmpeg_lame_vbr_noxing", "lame_cbr"}},
    {"twolamevbr_layer1_shine", {"twolame_vbr", "layer1", "ffmpeg_shine"}},
    {"free22_lame22", {"lame_free_mpeg2", "lame_cbr_22k"}},
    {"crc32k_ffmpeg48k", {"lame_crc", "ffmpeg_lame"}},
    {"lame_twice", {"lame_cbr", "lame_cbr"}},
    {"untagged22_mp2_22k", {"lame_vbr_untagged", "ffmpeg_mp2_22k"}},
};

void PrintTo(const Chain& chain, std::ostream* os)
{
    *os << chain.name;
}

// A chain's clean files back to back, and what its decode must be: each
// part as it plays alone, one after the other; where rates or channels
// differ (the reader converts the later parts to the first's), so many
// samples within a frame, and the clicks on time.
struct Joined {
    std::vector<const Clean*> parts;
    std::vector<size_t> starts;  // where each part begins in bytes
    std::string bytes;
    bool alike = true;  // every part of one rate and channel count
    tavrel_test::MpegDecode want;  // alike: the parts' decodes back to back
    double samples = 0;  // at the first part's rate
    std::vector<double> clicks;  // seconds

    explicit Joined(const std::vector<const Clean*>& cleans) : parts(cleans)
    {
        const tavrel_test::MpegDecode& first = parts[0]->decoded;
        want.rate = first.rate, want.channels = first.channels;
        double at = 0;
        for (const Clean* part : parts) {
            const tavrel_test::MpegDecode& d = part->decoded;
            starts.push_back(bytes.size());
            bytes += part->bytes;
            alike = alike && d.rate == first.rate && d.channels == first.channels;
            want.samples.insert(want.samples.end(), d.samples.begin(), d.samples.end());
            const double seconds = double(d.samples.size() / size_t(d.channels)) / d.rate;
            samples += seconds * first.rate;
            for (double t : tavrel_test::ClickTimes(Channel(d, 0), d.rate)) clicks.push_back(at + t);
            at += seconds;
        }
    }

    static std::vector<int16_t> Channel(const tavrel_test::MpegDecode& d, size_t c)
    {
        std::vector<int16_t> one;
        for (size_t i = c; i < d.samples.size(); i += size_t(d.channels)) one.push_back(d.samples[i]);
        return one;
    }

    // "" where got is what the chain decodes to, and nothing is said.
    std::string Wrong(const tavrel_test::MpegDecode& got) const
    {
        if (alike || !got.error.empty()) return tavrel_test::StrayBytesWrong(want, got);
        const std::string said = got.said.empty() ? "" : ", said: " + got.said;
        const size_t count = got.samples.size() / size_t(got.channels);
        if (std::fabs(double(count) - samples) > parts[0]->frameSamples)
            return std::to_string(count) + " samples where " + std::to_string(std::lround(samples)) +
                   " should be" + said;
        const std::vector<double> heard = tavrel_test::ClickTimes(Channel(got, 0), got.rate);
        for (size_t i = 0; i < std::max(heard.size(), clicks.size()); ++i)
            if (i >= heard.size() || i >= clicks.size() || std::fabs(heard[i] - clicks[i]) > 0.002) {
                char text[96];
                std::snprintf(text, sizeof text, "click %zu of %zu at %.4f s where it is at %.4f s", i + 1,
                              clicks.size(), i < heard.size() ? heard[i] : -1.0, i < clicks.size() ? clicks[i] : -1.0);
                return text + said;
            }
        return got.said.empty() ? "" : "said: " + got.said;
    }
};

class MpegStraysJoined : public testing::TestWithParam<Chain> {};

// Bytes between two recordings joined end to end, and right after the Info
// frame (or first frame) of the one joined on: tags, and stray bytes fewer
// than either's shortest frame, cost nothing and say nothing.
TEST_P(MpegStraysJoined, TagsAndStrayBytesBetweenRecordingsCostNothing)
{
    const Chain& chain = GetParam();
    std::vector<const Clean*> cleans;
    for (const char* name : chain.parts) {
        const Writer& writer = *std::find_if(std::begin(kWriters), std::end(kWriters),
                                             [&](const Writer& w) { return w.name == std::string(name); });
        if (const std::string missing = WriterMissing(writer); !missing.empty()) GTEST_SKIP() << missing;
        cleans.push_back(&WriterFile(writer));
        ASSERT_EQ(cleans.back()->why, "") << name;
    }
    const Joined joined(cleans);
    tavrel_test::TempDir dir;
    const std::string path = dir.file("case.mp3");
    const auto decode = [&](const std::string& bytes) {
        tavrel_test::WriteFile(path, bytes);
        return tavrel_test::DecodeMpegAudio(path);
    };
    ASSERT_EQ(joined.Wrong(decode(joined.bytes)), "") << chain.name << ", joined as they are";
    Failures failures(chain.name, "");
    for (size_t j = 1; j < cleans.size(); ++j) {
        const Clean& before = *cleans[j - 1];
        const Clean& after = *cleans[j];
        const size_t shortest = size_t(std::min(before.stream.shortest, after.stream.shortest));
        const std::string parts = " part " + std::to_string(j + 1) + " (" + chain.parts[j] + ")";
        for (const auto& [place, placeKey, at] :
             {std::tuple{"before" + parts, "between", joined.starts[j]},
              {"after the " + std::string(after.stream.info ? "Info" : "first") + " frame of" + parts, "after",
               joined.starts[j] + after.stream.frames[1].at}}) {
            const auto put = [&](const std::string& what, const std::string& group, const std::string& key,
                                 size_t length, bool whole, const std::string& inserted) {
                std::string bytes = joined.bytes;
                bytes.insert(at, inserted);
                failures.Take(joined.Wrong(decode(bytes)), what + " " + place,
                              {whole ? "whole tags" : LengthGroup(length, before.stream), group, place},
                              std::string(chain.name) + "-" + std::to_string(length) + "-" + key + "-" + placeKey +
                                  std::to_string(j) + ".mp3",
                              bytes);
            };
            std::vector<size_t> lengths{1, 3, 4, 7, 13, shortest - 1};
            for (size_t length : lengths)
                for (int fi = 0; fi < kFills; ++fi)
                    put(std::to_string(length) + " bytes of " + kFillNames[fi], kFillNames[fi], kFillKeys[fi], length,
                        false, FillBytes(Fill(fi), length, after.header, uint32_t(length + j)));
            for (int ti = 0; ti < tavrel_test::kMpegTags; ++ti) {
                const std::string tag = tavrel_test::MpegTagBytes(tavrel_test::MpegTag(ti));
                put(std::string(kTagShapes[ti].name) + " (" + std::to_string(tag.size()) + " bytes)",
                    kTagShapes[ti].name, kTagShapes[ti].key, tag.size(), kTagShapes[ti].whole, tag);
            }
        }
    }
    failures.Report();
    EXPECT_GT(failures.Cases(), 100) << chain.name;
}

INSTANTIATE_TEST_SUITE_P(Chains, MpegStraysJoined, testing::ValuesIn(kChains),
                         [](const testing::TestParamInfo<Chain>& info) { return std::string(info.param.name); });

}  // namespace
