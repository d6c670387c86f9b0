// Bad projects and bad media through the program: each run ends with the
// exit code of its kind and a message naming the file and what in it was
// wrong, never a crash, a runaway allocation or a partial movie.
#include <gtest/gtest.h>
#include <link.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../media/picture_fixtures.h"
#include "../media/sound_fixtures.h"
#include "../show/movie_walker.h"
#include "../show/show_test_util.h"
#include "media/jpeg_image.h"
#include "program_runner.h"
#include "support/swf_tools.h"
#include "support/test_movies.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/reader.h"
#include "swf/text.h"

namespace {

using cli_test::ProgramResult;
using cli_test::RunProgram;
using tavrel_test::ReadFile;
using tavrel_test::TempDir;
using tavrel_test::WriteFile;
namespace fs = std::filesystem;

constexpr int kDone = 0, kUnreadable = 2, kExportFailed = 3, kStrict = 4;

std::string U16(uint32_t v) { return {char(v), char(v >> 8)}; }
std::string U32(uint32_t v) { return U16(v) + U16(v >> 16); }

std::string Project(const std::string& showAttributes, const std::string& inside)
{
    return show_test::WrapShow("<slide_show" + showAttributes + ">\n" + inside + "</slide_show>\n");
}

std::string Slides(const std::string& slides) { return "<slides>\n" + slides + "</slides>\n"; }

std::string ImageSlide(const std::string& src, const std::string& attributes = "", const std::string& inside = "")
{
    return "<slide type=\"image\" src=\"" + src + "\"" + attributes + ">\n" + inside + "</slide>\n";
}

// A slide whose click jumps to slide `to`: three lines.
std::string Jump(const std::string& src, const std::string& to)
{
    return ImageSlide(src, "", "<click_actions enable=\"true\" type=\"jump_to_slide\" jump_to=\"" + to + "\" />\n");
}

// ---- damaged media, made from good pictures of our own

std::string TruncatedJpeg(const std::string& good) { return good.substr(0, good.size() / 2); }

// An EXIF block whose orientation is fine but whose pointers lead far past
// the block's end.
std::string JpegWithBadExif(const std::string& good)
{
    std::string tiff = "II*\0" + U32(8) + U16(2);
    tiff += U16(0x0112) + U16(3) + U32(1) + U32(6);            // orientation 6
    tiff += U16(0x8769) + U16(4) + U32(1) + U32(0x7FFFFFF0);   // EXIF directory far away
    tiff += U32(0xFFFFFF00);                                   // next directory likewise
    const std::string body = std::string("Exif\0\0", 6) + tiff;
    const uint32_t length = uint32_t(body.size() + 2);
    return good.substr(0, 2) + "\xFF\xE1" + char(length >> 8) + char(length) + body + good.substr(2);
}

// The good JPEG with bytes put before its end marker.
std::string BeforeEnd(const std::string& good, const std::string& bytes)
{
    return good.substr(0, good.size() - 2) + bytes + good.substr(good.size() - 2);
}

// The good JPEG with the byte at `from` bytes past its first marker `marker`
// (FF and the code) set to value.
std::string JpegByte(const std::string& good, char marker, size_t from, char value)
{
    std::string edited = good;
    edited[edited.find(std::string("\xFF") + marker) + from] = value;
    return edited;
}

// A PNG with one byte of its image data changed: under a checksum made
// anew (the data no longer inflates) or under the old one.
std::string PngWithBadData(const std::string& good, bool checksumToo)
{
    std::string png = good;
    const size_t idat = png.find("IDAT");
    const uint32_t length = uint32_t(uint8_t(png[idat - 4])) << 24 | uint8_t(png[idat - 3]) << 16 |
                            uint8_t(png[idat - 2]) << 8 | uint8_t(png[idat - 1]);
    for (size_t i = 2; i < length && i < 40; ++i) png[idat + 4 + i] ^= '\x5A';
    if (checksumToo) return png;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + idat), uInt(4 + length));
    for (int i = 0; i < 4; ++i) png[idat + 4 + length + size_t(i)] = char(crc >> (24 - 8 * i));
    return png;
}

// One grey pixel of 64-bit floating-point samples: a TIFF libtiff reads
// but does not turn into RGBA.
std::string DoubleTiff()
{
    auto entry = [](uint16_t tag, uint16_t type, uint32_t value) {
        return U16(tag) + U16(type) + U32(1) + (type == 3 ? U16(value) + U16(0) : U32(value));
    };
    std::string t = "II*" + std::string(1, '\0') + U32(8) + U16(10);
    t += entry(256, 3, 1) + entry(257, 3, 1) + entry(258, 3, 64) + entry(259, 3, 1) + entry(262, 3, 1) +
         entry(273, 4, 8 + 2 + 10 * 12 + 4) + entry(277, 3, 1) + entry(278, 3, 1) + entry(279, 4, 8) +
         entry(339, 3, 3);
    return t + U32(0) + std::string(8, '\0');
}

// A BMP that claims two billion rows and holds a few bytes.
std::string HugeBmp()
{
    std::string b = "BM" + U32(70) + U32(0) + U32(54);
    b += U32(40) + U32(4) + U32(0x7FFFFFFF) + U16(1) + U16(24) + U32(0) + U32(0) + U32(2835) + U32(2835) +
         U32(0) + U32(0);
    return b + std::string(16, '\x40');
}

// A WAVE file whose data chunk claims 2 GB and holds 200 bytes.
std::string LyingWav()
{
    std::string w = "RIFF" + U32(0x7FFFFFF0u + 36) + "WAVE";
    w += "fmt " + U32(16) + U16(1) + U16(1) + U32(22050) + U32(44100) + U16(2) + U16(16);
    w += "data" + U32(0x7FFFFFF0);
    for (int i = 0; i < 100; ++i) w += U16(uint32_t(i * 300));
    return w;
}

// A copy of the build's application bundle whose movie module and MP3
// encoder are edited, as a broken install or a damaged disk leaves them;
// "" when an edit finds nothing to change.
std::string EditedBundle(const TempDir& dir, const std::string& name,
                         const std::function<bool(const std::string& code, std::string& bytes)>& edit)
{
    const fs::path built = fs::path(TAVREL_BUNDLE_DIR) / "Contents" / "Resources";
    const fs::path copy = fs::path(dir.file(name)) / "Contents" / "Resources";
    fs::create_directories(copy);
    for (const auto& e : fs::directory_iterator(built)) {
        const std::string bundle = e.path().filename().string();
        const std::string code = bundle.substr(0, bundle.find('.'));
        std::string file;
        if (bundle == "movie_media.bundle" || bundle == "lame_encU.bundle")
            file = ReadFile((e.path() / "Contents" / "MacOS" / code).string());
        if (file.empty() || !edit(code, file)) {
            fs::create_symlink(e.path(), copy / bundle);
            continue;
        }
        fs::create_directories(copy / bundle / "Contents" / "MacOS");
        if (!WriteFile((copy / bundle / "Contents" / "MacOS" / code).string(), file)) return "";
    }
    return dir.file(name);
}

// Both modules cut short.
std::string CutBundle(const TempDir& dir)
{
    return EditedBundle(dir, "cut.app", [](const std::string&, std::string& bytes) {
        bytes.resize(std::min<size_t>(bytes.size(), 20000));
        return true;
    });
}

// The MP3 encoder edited: edit gets its bytes and its dynamic entries (the
// first of each tag: its value, and where the value lies in the file). The
// encoder's first segment maps the file from its start, so the addresses of
// the tables there are file offsets.
struct DynamicValue {
    uint64_t value;
    size_t at;
};
using EncoderEdit = std::function<void(std::string& bytes, const std::map<int64_t, DynamicValue>& entries)>;
std::string EditedEncoder(const TempDir& dir, const std::string& name, const EncoderEdit& edit)
{
    return EditedBundle(dir, name, [&](const std::string& code, std::string& bytes) {
        ElfW(Ehdr) header;
        if (code != "lame_encU" || bytes.size() < sizeof header) return false;
        std::memcpy(&header, bytes.data(), sizeof header);
        std::map<int64_t, DynamicValue> entries;
        for (size_t i = 0; i < header.e_phnum; ++i) {
            ElfW(Phdr) segment;
            std::memcpy(&segment, bytes.data() + header.e_phoff + i * sizeof segment, sizeof segment);
            for (size_t at = segment.p_offset; segment.p_type == PT_DYNAMIC && at < segment.p_offset + segment.p_filesz;
                 at += sizeof(ElfW(Dyn))) {
                ElfW(Dyn) entry;
                std::memcpy(&entry, bytes.data() + at, sizeof entry);
                entries.emplace(entry.d_tag, DynamicValue{entry.d_un.d_val, at + offsetof(ElfW(Dyn), d_un)});
            }
        }
        edit(bytes, entries);
        return true;
    });
}

// An AIFF file whose COMM chunk claims 2^32 - 1 frames and whose sound
// chunk holds 100.
std::string LyingAiff()
{
    const auto be = [](uint32_t v, int bytes) {
        std::string out;
        for (int i = bytes - 1; i >= 0; --i) out += char(v >> (8 * i));
        return out;
    };
    std::string sound = "SSND" + be(8 + 200, 4) + be(0, 4) + be(0, 4);
    for (int i = 0; i < 100; ++i) sound += be(uint32_t(i * 300), 2);
    // 22050 Hz as an 80-bit extended number.
    const std::string comm = "COMM" + be(18, 4) + be(1, 2) + be(0xFFFFFFFFu, 4) + be(16, 2) +
                             std::string("\x40\x0D\xAC\x44\0\0\0\0\0\0", 10);
    return "FORM" + be(uint32_t(4 + comm.size() + sound.size()), 4) + "AIFF" + comm + sound;
}

// A valid movie holding nothing but a frame.
std::string EmptyMovie(const TempDir& dir)
{
    const std::string path = dir.file("empty-movie.swf");
    CSwfMovie movie;
    movie.SetHeader(2000, 2000, 12, 5);
    if (!movie.Open(CPath(path.c_str()), true)) return "";
    movie.AddTag(new CTagSetBackgroundColor(0xFF, 0xFF, 0xFF));
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    movie.Close();
    return ReadFile(path);
}

// The movie's background image and frame pattern (its first two JPEG
// bitmaps) show the ramp's top rows, which decoded.
void ExpectRampOnTop(const std::string& movie)
{
    const show_test::WalkedMovie walked = show_test::WalkMovie(movie);
    const std::vector<const show_test::WalkedTag*> bitmaps = walked.Find(21);
    ASSERT_GE(bitmaps.size(), 2u);
    for (size_t b = 0; b < 2; ++b) {
        SCOPED_TRACE("bitmap " + std::to_string(b + 1));
        std::string jpeg = bitmaps[b]->body.substr(2);
        // The players' erroneous header before the stream, where it is written.
        if (jpeg.rfind("\xFF\xD9\xFF\xD8", 0) == 0) jpeg.erase(0, 4);
        std::FILE* file = ::fmemopen(jpeg.data(), jpeg.size(), "rb");
        CJpegImage image;
        ASSERT_TRUE(file && image.LoadStream(file)) << image.GetLastError();
        std::fclose(file);
        ASSERT_EQ(image.width, 320u);
        ASSERT_EQ(image.height, 240u);
        for (const int x : {16, 160, 300}) {
            const uint8_t* p = image.pixels + (size_t(8) * 320 + size_t(x)) * 3;
            EXPECT_NEAR(p[0], x * 255 / 319, 16) << x;
            EXPECT_NEAR(p[1], 8, 16) << x;
            EXPECT_NEAR(p[2], 128, 16) << x;
        }
    }
}

class BadInputTest : public testing::Test {
protected:
    struct Case {
        std::string name;   // the project's file name
        std::string text;   // its bytes
        int code;           // exit code
        std::vector<std::string> err;  // texts expected on standard error
        std::vector<std::string> extraArgs = {};
        std::vector<std::string> notErr = {};  // texts that must not be said
        std::vector<std::string> env = {};     // NAME=value for the run
        std::vector<std::string> out = {};     // texts expected on standard output
        // err is said in this order, and under --strict too: the run stops
        // only after these were all said.
        bool strictSaysAll = false;
        // Checks the movie a run that is done wrote.
        std::function<void(const std::string& movie)> movie = {};
    };

    static void ExpectSaidInOrder(const std::string& err, const std::vector<std::string>& texts)
    {
        size_t at = 0;
        for (const std::string& text : texts) {
            const size_t found = err.find(text, at);
            EXPECT_NE(found, std::string::npos) << text << " (in this order)\n" << err;
            if (found != std::string::npos) at = found + text.size();
        }
    }

    void SetUp() override
    {
        picture_ = show_test::WriteJpeg(dir_, "good.jpg", 64, 48);
        ASSERT_FALSE(picture_.empty());
    }
    std::string Write(const std::string& name, const std::string& bytes)
    {
        EXPECT_TRUE(WriteFile(dir_.file(name), bytes));
        return dir_.file(name);
    }

    // Runs each case; a run that fails leaves no movie, one that warns is
    // refused under --strict.
    void RunCases(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            if (!c.text.empty() || c.name.find("empty") != std::string::npos) Write(c.name, c.text);
            // With TAVREL_PROJECT_SEEDS set the projects seed the fuzzers too.
            const char* seeds = std::getenv("TAVREL_PROJECT_SEEDS");
            if (seeds && *seeds && c.text.size() <= 4096) WriteFile(std::string(seeds) + "/bad-" + c.name, c.text);
            const std::string out = c.name + ".swf";
            std::vector<std::string> args = c.extraArgs;
            args.push_back(c.name);
            args.push_back(out);
            const ProgramResult r = RunProgram(args, dir_.path(), c.env);
            EXPECT_EQ(r.exitCode, c.code) << r.err;
            for (const std::string& text : c.err) EXPECT_NE(r.err.find(text), std::string::npos) << text << "\n" << r.err;
            for (const std::string& text : c.out) EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
            for (const std::string& text : c.notErr) EXPECT_EQ(r.err.find(text), std::string::npos) << text << "\n" << r.err;
            if (c.strictSaysAll) ExpectSaidInOrder(r.err, c.err);
            EXPECT_EQ(fs::exists(dir_.file(out)), c.code == kDone) << r.err;
            if (c.movie && c.code == kDone) c.movie(dir_.file(out));
            if (c.code == kDone && !c.err.empty()) {
                args.insert(args.begin(), "--strict");
                fs::remove(dir_.file(out));
                const ProgramResult strict = RunProgram(args, dir_.path(), c.env);
                EXPECT_EQ(strict.exitCode, kStrict) << strict.err;
                if (c.strictSaysAll) ExpectSaidInOrder(strict.err, c.err);
                EXPECT_FALSE(fs::exists(dir_.file(out)));
            }
            // Nothing but the output is left beside it.
            for (const auto& e : fs::directory_iterator(dir_.path()))
                EXPECT_EQ(e.path().filename().string().rfind(".", 0), std::string::npos) << e.path();
        }
        // No run may have held a picture's or a sound's claimed size.
        rusage usage {};
        getrusage(RUSAGE_CHILDREN, &usage);
        EXPECT_LT(usage.ru_maxrss, 1024L * 1024) << "peak kilobytes of a run";
    }

    TempDir dir_;
    std::string picture_;
};

TEST_F(BadInputTest, Projects)
{
    // Elements nested 100,000 deep: read without recursion, named, and ignored.
    std::string bomb;
    for (int i = 0; i < 100000; ++i) bomb += "<a>";
    for (int i = 0; i < 100000; ++i) bomb += "</a>";
    std::string blanks;
    for (int i = 0; i < 65100; ++i) blanks += "<slide type=\"blank\" duration=\"0\" />\n";
    std::string many;
    for (int i = 0; i < 10000; ++i) many += " a" + std::to_string(i) + "=\"1\"";
    const std::string longName = "x" + std::string(60000, 'n');
    const std::string good = ImageSlide(picture_);
    ASSERT_EQ(::mkfifo(dir_.file("fifo.tvr").c_str(), 0600), 0);
    const std::vector<Case> cases = {
        {"missing.tvr", "", kUnreadable, {"missing.tvr: No such file"}},
        {"fifo.tvr", "", kUnreadable, {"tavrel: fifo.tvr: a FIFO, not a file\n"}},
        {"empty.tvr", "", kUnreadable, {"empty.tvr: not an XML file"}},
        {"declaration.tvr", "<?xml version=\"1.0\" ?>\n<tavrel>\n<slide_show />\n</tavrel>\n", kUnreadable,
         {"declaration.tvr: not a project file (no \"xml\" element around \"tavrel\")\n"}},
        {"bare-tavrel.tvr", "<tavrel>\n<slide_show />\n</tavrel>\n", kUnreadable,
         {"bare-tavrel.tvr: not a project file (no \"xml\" element around \"tavrel\")\n"}},
        {"declared-xml.tvr",
         "<?xml version=\"1.0\" ?>\n<xml version=\"1.0\">\n<tavrel>\n<slide_show />\n</tavrel>\n</xml>\n",
         kUnreadable,
         {"declared-xml.tvr: not a project file (\"<?xml ...?>\" stands before the \"xml\" element, which must begin "
          "the file)\n"}},
        {"no-tavrel.tvr", "<xml version=\"1.0\">\n<project />\n</xml>\n", kUnreadable,
         {"no-tavrel.tvr: not a project file (no \"tavrel\" element)\n"}},
        {"malformed.tvr", "<xml version=\"1.0\">\n<tavrel>\n<slide_show width=\"320>\n</tavrel>\n</xml>\n",
         kUnreadable, {"malformed.tvr: not an XML file: not well-formed XML (a damaged attribute) at line 3, column 20\n"}},
        // The parser's faults in our words, never its own.
        {"unclosed.tvr", "<xml version=\"1.0\">\n<tavrel>\n<slide_show />\n", kUnreadable,
         {"unclosed.tvr: not an XML file: not well-formed XML (an element not closed before the end) at line 3"}},
        {"mismatch.tvr", "<xml version=\"1.0\">\n<tavrel>\n<slide_show>\n</tavrel>\n</xml>\n", kUnreadable,
         {"mismatch.tvr: not an XML file: not well-formed XML (an end tag that does not match the element it closes) "
          "at line 4, column 3\n"}},
        {"empty-tavrel.tvr", "<xml version=\"1.0\">\n<tavrel />\n</xml>\n", kDone,
         {"empty-tavrel.tvr:2: tavrel: no slide_show element"}},
        // Drawn at its stored size, a side of 0 is said by the attribute as
        // written, not blamed on the picture.
        {"empty-size.tvr",
         Project("", Slides(ImageSlide(picture_, " scale_to_fit=\"false\" width=\"100\" height=\"00\"") + good)),
         kDone,
         {"empty-size.tvr:5: slide 1: height=\"00\": the slide's size is empty (scale_to_fit is off): slide left out "
          "of the movie\n"},
         {},
         {"cannot be read"}},
        // A place past what a movie's twips hold goes to the nearer end of the
        // range, said, and the slide is placed there: off the stage.
        {"place.tvr",
         Project("", Slides(ImageSlide(picture_, " auto_align=\"false\" scale_to_fit=\"false\" width=\"64\" height=\"48\""
                                                 " x=\"214748365\" y=\"-107374183\""))),
         kDone,
         {"place.tvr:5: slide 1: x=\"214748365\": out of range (-50000000 to 50000000): 50000000 used\n",
          "place.tvr:5: slide 1: y=\"-107374183\": out of range (-50000000 to 50000000): -50000000 used\n"},
         {}, {}, {}, {}, false,
         [](const std::string& movie) {
             CSwfReader reader;
             ASSERT_TRUE(reader.Parse(CPath(movie.c_str()), true, 0, true));
             int placed = 0;
             for (CSwfTag* tag : reader.GetTags(nullptr))
                 if (const auto* place = dynamic_cast<const CTagPlaceObject2*>(tag); place && place->matrix &&
                                                                                   place->matrix->translateX > 1000)
                     placed += place->matrix->translateX == 50000000 * 20 + 64 * 10 &&
                               place->matrix->translateY == -50000000 * 20 + 48 * 10;
             reader.ClearTags(true);
             EXPECT_GT(placed, 0);
         }},
        // A slow pan ends where its values say: every frame at its share of
        // the whole travel, none of it lost to a step cut down each frame.
        {"pan.tvr",
         Project(" fps=\"30\"", Slides(ImageSlide(picture_, " duration=\"0\"",
                                                   "<pan_zoom>\n<camera_fx duration=\"10000\" pan_x=\"5990\" "
                                                   "pan_y=\"299\" zoom=\"1\" />\n</pan_zoom>\n"))),
         kDone,
         {},
         {},
         {},
         {},
         {},
         false,
         [](const std::string& movie) {
             CSwfReader reader;
             ASSERT_TRUE(reader.Parse(CPath(movie.c_str()), true, 0, true));
             std::vector<std::pair<int32_t, int32_t>> at;
             for (CSwfTag* tag : reader.GetTags(nullptr))
                 if (const auto* place = dynamic_cast<const CTagPlaceObject2*>(tag); place && place->matrix)
                     at.emplace_back(place->matrix->translateX, place->matrix->translateY);
             reader.ClearTags(true);
             ASSERT_EQ(at.size(), 301u);  // placed, then moved in each of 300 frames
             EXPECT_EQ(std::abs(at.back().first - at.front().first), 5990);
             EXPECT_EQ(std::abs(at.back().second - at.front().second), 299);
             // Slower than a twip a frame on y, and still moving.
             EXPECT_NE(at[150].second, at.front().second);
         }},
        // What a setter or range check refuses is said with the range and
        // the value kept.
        {"ranges.tvr",
         Project(" width=\"5000\" height=\"0\" fps=\"500\" show_bounds_left=\"300\" show_bounds_right=\"-5\" show_bounds_top=\"300\"",
                 Slides(ImageSlide(picture_, " width=\"20000\" x=\"-2000000000\" quality=\"0\" duration=\"-1\"",
                                   "<caption_data>\n<caption alpha=\"-1\" x=\"6000\" leading=\"-6000\""
                                   " start_time=\"2000000\" />\n</caption_data>\n"
                                   "<pan_zoom>\n<camera_fx pan_y=\"-3000000000\" zoom=\"inf\" />\n</pan_zoom>\n"
                                   "<transition_in>\n<transition name=\"Window\" duration=\"2000000\" spins=\"1e39\""
                                   " />\n</transition_in>\n<popup_data height=\"-1\" />\n"))),
         kDone,
         {"ranges.tvr:3: slide_show width=\"5000\": out of range (10 to 2000): 320 kept\n",
          "slide_show height=\"0\": out of range (10 to 2000): 240 kept\n",
          "slide_show fps=\"500\": out of range (1 to 120): 12 kept\n",
          "slide_show show_bounds_right=\"-5\": bounds without width: 0 to 320 kept\n",
          "slide_show show_bounds_top=\"300\": bounds without height: 0 to 240 kept\n",
          "ranges.tvr:5: slide 1: width=\"20000\": out of range (0 to 10000): ",
          "slide 1: x=\"-2000000000\": out of range (-50000000 to 50000000): -50000000 used\n",
          "slide 1: quality=\"0\": out of range (1 to 100): 80 kept\n",
          "slide 1: duration=\"-1\": out of range (0 to 4294967295): 2000 kept\n",
          "ranges.tvr:7: slide 1: caption alpha=\"-1\": out of range (0 to 255): 255 kept\n",
          "caption x=\"6000\": out of range (-5000 to 5000): 0 kept\n",
          "caption leading=\"-6000\": out of range (-5000 to 5000): 0 kept\n",
          "caption start_time=\"2000000\": out of range (0 to 1000000): 0 kept\n",
          "ranges.tvr:10: slide 1: camera_fx pan_y=\"-3000000000\": out of range (-2147483648 to 2147483647): 0 kept\n",
          "camera_fx zoom=\"inf\": not a finite number: 1 kept\n",
          "ranges.tvr:13: slide 1: transition duration=\"2000000\": out of range (0 to 1000000): 2000 kept\n",
          "transition spins=\"1e39\": out of range (-3.40282e+38 to 3.40282e+38): 1.8 kept\n",
          "ranges.tvr:15: slide 1: popup_data height=\"-1\": out of range (0 to 100000): left to the browser\n"},
         {},
         {"value out of range"}},
        // A name no reader knows is one line, where it stands; what an
        // unknown element holds goes with it, unsaid. Names the reader
        // leaves alone on purpose (the versions, the kept publish settings,
        // a camera move's name) are not said.
        {"unknown.tvr",
         show_test::WrapShow(
             "<slide_show widht=\"640\">\n" +
             Slides(ImageSlide(picture_, " duraton=\"1000\" h_alig=\"left\"",
                               "<transtion_in>\n<transition name=\"Fade In\" />\n</transtion_in>\n"
                               "<transition_in>\n<transition name=\"Push\" directon=\"up\" />\n"
                               "<transition name=\"Wipe On\" />\n</transition_in>\n"
                               "<caption_dat>\n<caption txt=\"lost\" />\n</caption_dat>\n"
                               "<caption_data>\n<caption txt=\"a\" colour=\"255\" />\n<captoin txt=\"b\" />\n"
                               "</caption_data>\n"
                               "<pan_zoom>\n<camera_fx name=\"pan_zoom\" duration=\"500\" zom=\"2\" />\n</pan_zoom>\n"
                               "<image_filters>\n<filter name=\"Swirl\" angel=\"90\" />\n</image_filters>\n"
                               "<sound_data includ=\"true\">\n<sound srcc=\"a.wav\" />\n</sound_data>\n"
                               "<popup_data widht=\"300\" />\n<swf_fx name=\"None\" colour=\"1\" />\n"
                               "<click_actions enable=\"true\" typ=\"print\" />\n")) +
             "<swf_dat loop=\"forever\" />\n"
             "<swf_data loop=\"none\">\n<mouse_click_action enabel=\"true\" />\n<movie_end_actoin />\n</swf_data>\n"
             "<extra>\n<inner deep=\"1\" />\n</extra>\n</slide_show>\n"
             "<publish_data dest=\"x\"><html on=\"tru\" /></publish_data>\n<other />\n"),
         kDone,
         {"unknown.tvr:3: slide_show: unknown attribute \"widht\": passed over\n",
          "unknown.tvr:5: slide 1: unknown attribute \"duraton\": passed over\n",
          "unknown.tvr:5: slide 1: unknown attribute \"h_alig\": passed over\n",
          "unknown.tvr:6: slide 1: unknown element \"transtion_in\": passed over\n",
          "unknown.tvr:10: slide 1: transition: unknown attribute \"directon\": passed over\n",
          "unknown.tvr:11: slide 1: transition: only the first element in transition_in is read: passed over\n",
          "unknown.tvr:13: slide 1: unknown element \"caption_dat\": passed over\n",
          "unknown.tvr:17: slide 1: caption: unknown attribute \"colour\": passed over\n",
          "unknown.tvr:18: slide 1: caption_data: unknown element \"captoin\": passed over\n",
          "unknown.tvr:21: slide 1: camera_fx: unknown attribute \"zom\": passed over\n",
          "unknown.tvr:24: slide 1: filter: unknown attribute \"angel\": passed over\n",
          "unknown.tvr:26: slide 1: sound_data: unknown attribute \"includ\": passed over\n",
          "unknown.tvr:27: slide 1: sound: unknown attribute \"srcc\": passed over\n",
          "unknown.tvr:29: slide 1: popup_data: unknown attribute \"widht\": passed over\n",
          "unknown.tvr:30: slide 1: swf_fx: unknown attribute \"colour\": passed over\n",
          "unknown.tvr:31: slide 1: click_actions: unknown attribute \"typ\": passed over\n",
          "unknown.tvr:34: slide_show: unknown element \"swf_dat\": passed over\n",
          "unknown.tvr:36: mouse_click_action: unknown attribute \"enabel\": passed over\n",
          "unknown.tvr:37: swf_data: unknown element \"movie_end_actoin\": passed over\n",
          "unknown.tvr:39: slide_show: unknown element \"extra\": passed over\n",
          "unknown.tvr:44: tavrel: unknown element \"other\": passed over\n"},
         {},
         {"\"inner\"", "\"deep\"", "lost", "\"loop\"", "\"html\"", "\"dest\"", "\"on\"", "version", "\"name\""}},
        // Around the show: the outer element's and tavrel's own names are
        // known; a second tavrel is not read.
        {"outer.tvr",
         "<xml version=\"1.0\" encoding=\"utf-8\" lang=\"en\">\n<tavrel version_major=\"1\" version_minor=\"122\""
         " build=\"7\">\n<slide_show>\n" +
             Slides(good) +
             "</slide_show>\n</tavrel>\n<tavrel>\n<slide_show width=\"640\" />\n</tavrel>\n<notes />\n</xml>\n",
         kDone,
         {"outer.tvr:1: xml: unknown attribute \"lang\": passed over\n",
          "outer.tvr:2: tavrel: unknown attribute \"build\": passed over\n",
          "outer.tvr:10: tavrel: second tavrel element: passed over\n",
          "outer.tvr:13: xml: unknown element \"notes\": passed over\n"},
         {},
         {"version", "encoding", "width"}},
        {"words.tvr",
         Project(" control_align=\"middle\"",
                 Slides(ImageSlide(picture_, " image_type=\"gif\" h_align=\"middle\"",
                                   "<transition_in>\n<transition name=\"No Such Wipe\" />\n</transition_in>\n"
                                   "<swf_fx name=\"Confetti\" />\n"))),
         kDone, {"image_type=\"gif\"", "h_align=\"middle\"", "name=\"No Such Wipe\"", "name=\"Confetti\""}},
        {"long.tvr", Project(" fps=\"120\"", Slides(ImageSlide(picture_, " duration=\"1000000\""))), kExportFailed,
         {"65535 frames"}},
        {"blanks.tvr", Project("", Slides(blanks)), kExportFailed, {"blanks.tvr.swf failed", "characters or layers"}},
        {"fonts.tvr",
         Project("", Slides(ImageSlide(picture_, "",
                                       "<caption_data>\n<caption txt=\"zero\" font_size=\"0\" />\n"
                                       "<caption txt=\"less\" font_size=\"-12\" />\n"
                                       "<caption txt=\"&#x10FFFD;&#xE000;\" />\n"
                                       "<caption txt=\"a&#xF0;b&#xF0;\" />\n</caption_data>\n"))),
         kDone,
         {"fonts.tvr:7: slide 1: caption font_size=\"0\"", "font_size=\"-12\"",
          // Text in the show's character set is quoted in UTF-8: 0xF0 is U+F8FF.
          "fonts.tvr:10: slide 1: caption txt=\"a\xEF\xA3\xBF" "b\xEF\xA3\xBF\": not in the font \"",
          "\": U+F8FF left blank\n"},
         {}, {"\xF0"}},
        // The show's own captions are drawn, and checked, as a slide's are;
        // a slide the movie leaves out draws none, and its font is not said.
        {"show-fonts.tvr",
         Project("", Slides(ImageSlide(picture_) +
                            ImageSlide("gone.jpg", "",
                                       "<caption_data>\n<caption txt=\"x\" fnt_name=\"Gone Face\" />\n"
                                       "</caption_data>\n")) +
                         "<caption_data>\n<caption txt=\"a&#xF0;\" />\n</caption_data>\n"),
         kDone,
         {"show-fonts.tvr:14: caption txt=\"a\xEF\xA3\xBF\": not in the font \""},
         {}, {"Gone Face"}},
        // A project in Mac Roman (bytes that form no UTF-8) is quoted as a
        // UTF-8 terminal reads it, by the reader and the export alike; so is
        // a word of a UTF-8 project, and the character a reference gives.
        {"roman.tvr",
         Project("", Slides(ImageSlide(picture_, " h_align=\"Mitte\x8E\"",
                                       "<caption_data>\n<caption txt=\"Caf\x8E \xF0\" />\n</caption_data>\n"))),
         kDone,
         {"roman.tvr:5: slide 1: h_align=\"Mitte\xC3\xA9\": unknown word: \"",
          "roman.tvr:7: slide 1: caption txt=\"Caf\xC3\xA9 \xEF\xA3\xBF\": not in the font \""},
         {}, {"\x8E", "\xF0"}},
        {"words-utf8.tvr",
         Project("", Slides(ImageSlide(picture_, " h_align=\"Mitt\xC3\xA9&#x8E;\""))), kDone,
         {"words-utf8.tvr:5: slide 1: h_align=\"Mitt\xC3\xA9\xC3\xA9\": unknown word: \""}, {},
         {"\x8E\""}},
        {"extremes.tvr",
         Project("", Slides(ImageSlide(picture_,
                                       " x=\"2147483647\" y=\"-2147483648\" width=\"10000\" height=\"10000\""
                                       " rotate=\"-2147483648\" crop=\"true\" crop_left=\"-32768\""
                                       " crop_top=\"32767\" crop_right=\"-1\" crop_bottom=\"99999\"",
                                       "<pan_zoom>\n<camera_fx name=\"pan_zoom\" duration=\"1000\""
                                       " pan_x=\"2147483647\" pan_y=\"-2147483648\" zoom=\"1e308\" />\n"
                                       "<camera_fx name=\"pan_zoom\" duration=\"1000\" zoom=\"-1e-308\" />\n"
                                       "</pan_zoom>\n"))),
         kDone, {"extremes.tvr:5: slide 1: x=\"2147483647\"", "rotate=\"-2147483648\""}},
        {"two-transitions.tvr",
         Project("", Slides(ImageSlide(picture_, "",
                                       "<transition_in>\n<transition name=\"None\" />\n</transition_in>\n"
                                       "<transition_in>\n<transition name=\"None\" />\n</transition_in>\n"))),
         kDone, {"two-transitions.tvr:9: slide 1: transition_in: second transition_in"}},
        {"bomb.tvr", "<xml version=\"1.0\">\n<tavrel>\n<slide_show>\n" + bomb + "\n</slide_show>\n</tavrel>\n</xml>\n",
         kDone, {"bomb.tvr:4: a: elements nested more than 64 deep"}},
        // Text written by hand in UTF-8 comes into the show's character set;
        // what it lacks is named where it stands.
        {"utf8.tvr",
         Project("", Slides(ImageSlide(picture_, "",
                                       "<caption_data>\n<caption txt=\"Caf\u00e9 Gr\u00f6\u00dfe \u20ac5 &#xe9;\" />\n"
                                       "<caption txt=\"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F600\" />\n"
                                       "</caption_data>\n"))),
         kDone,
         {"utf8.tvr:8: slide 1: caption txt=\"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F600\": characters the "
          "show's character set (Mac Roman) lacks are shown as \"?\""}},
        // A font record whose size overflows every measure made of it.
        {"preload-font.tvr",
         Project("", Slides(good) + "<swf_data preload=\"true\" preload_type=\"simple\" preload_font=\"simple\" />\n"),
         kDone, {"swf_data preload_font=\"simple\": font size out of the range 1 to 3276: size 12 used"}},
        {"caption-font.tvr",
         Project("", Slides(ImageSlide(picture_, "", "<caption_data>\n<caption txt=\"a\" font=\"AAAAAA==\" />\n</caption_data>\n"))),
         kDone, {"caption-font.tvr:7: slide 1: caption font=\"AAAAAA==\": font size out of the range 1 to 3276: size 32 used"}},
        // A record too short to hold a size: the font as it was, said.
        {"short-font.tvr",
         Project("", Slides(ImageSlide(picture_, "", "<caption_data>\n<caption txt=\"a\" font=\"AAAA\" />\n</caption_data>\n")) +
                         "<swf_data preload=\"true\" preload_font=\"AAAA\" />\n"),
         kDone,
         {"short-font.tvr:7: slide 1: caption font=\"AAAA\": font record too short: nothing read from it: size 32 used\n",
          "swf_data preload_font=\"AAAA\": font record too short: nothing read from it: size 12 used\n"}},
        // The sibling products' bundles, not installed here.
        {"lfx.tvr",
         Project("", Slides(good + ImageSlide(picture_, "",
                                              "<caption_data>\n<caption type=\"lfx\" import_src=\"/fx/a.lfx\" />\n"
                                              "<caption type=\"lfx\" import_src=\"/fx/b.lfx\" />\n</caption_data>\n"))),
         kDone,
         {"lfx.tvr:9: slide 2: caption type=\"lfx\": the text-effect bundle lfx.bundle is not installed (looked for ",
          "lfx.tvr:10: slide 2: caption type=\"lfx\": the text-effect bundle",
          "): the caption is left out: the movie shows no text for it\n"}},
        // A number with other text after it is read as far as it goes, and
        // said; blanks around a number are not.
        {"partial.tvr",
         Project(" width=\"320px\" fps=\"12fps\" bg_color=\"0xFF\" controls_x=\" 5 \" mute_control_y=\"7 px\"",
                 Slides(ImageSlide(picture_, " duration=\"5.5\" x=\" 3\"",
                                   "<caption_data>\n<caption txt=\"a\" alpha=\"50%\" start_time=\"1e3\" />\n"
                                   "</caption_data>\n<sound_data>\n<sound bit_rate=\"64k\" />\n</sound_data>\n"
                                   "<popup_data width=\"300px\" />\n<image_filters>\n"
                                   "<filter name=\"Black &amp; White\" threshold=\"50%\" />\n"
                                   "<filter name=\"Gaussian Blur\" radius=\"2.5px\" />\n</image_filters>\n")) +
                     "<swf_data loop_count=\"2 times\" preload_amount=\"50%\" />\n"),
         kDone,
         {"partial.tvr:3: slide_show width=\"320px\": not a whole number: read as 320\n",
          "slide_show fps=\"12fps\": not a number: read as 12\n", "bg_color=\"0xFF\": not a whole number: read as 0\n",
          "mute_control_y=\"7 px\": not a whole number: read as 7\n",
          "partial.tvr:5: slide 1: duration=\"5.5\": not a whole number: read as 5\n",
          "slide 1: caption alpha=\"50%\": not a whole number: read as 50\n",
          "caption start_time=\"1e3\": not a whole number: read as 1\n",
          "slide 1: sound bit_rate=\"64k\": not a whole number: read as 64\n",
          "slide 1: popup_data width=\"300px\": not a whole number: read as 300\n",
          "slide 1: filter threshold=\"50%\": not a whole number: read as 50\n",
          "slide 1: filter radius=\"2.5px\": not a number: read as 2.5\n",
          "swf_data loop_count=\"2 times\": not a whole number: read as 2\n",
          "swf_data preload_amount=\"50%\": not a whole number: read as 50\n"},
         {},
         {"controls_x", " x=\""}},
        // Read as the file's rules say, and said with what is kept: text that
        // is no number and a refusal of what it read are one line.
        {"said.tvr",
         Project(" width=\"\" fps=\"abc\"",
                 Slides(ImageSlide(picture_, " quality=\"\" duration=\"-1x\" flip_horizontal=\"1\" crop=\"yes\"",
                                   "<caption_data>\n<caption txt=\"a\" effect=\"Fly In\" font_bold=\"TRUE\" />\n"
                                   "</caption_data>\n<image_filters>\n"
                                   "<filter name=\"Black &amp; White\" threshold=\"900\" />\n"
                                   "<filter name=\"Gaussian Blur\" radius=\"-5\" />\n"
                                   "<filter name=\"Brightness/Contrast\" contrast=\"101\" />\n"
                                   "<filter name=\"Add Noise\" type=\"pink\" />\n"
                                   "<filter name=\"Swirl\" angle=\"720\" />\n<Filter name=\"Sepia\" />\n"
                                   "</image_filters>\n<pan_zoom>\n<move duration=\"5\" />\n</pan_zoom>\n"
                                   "<sound_data>\n<sound bit_rate=\"64\" />\n<sound bit_rate=\"128\" />\n"
                                   "</sound_data>\n") +
                        "<Slide type=\"blank\" />\n<picture type=\"blank\" />\n")),
         kDone,
         {"said.tvr:3: slide_show width=\"\": not a number: 320 kept\n",
          "said.tvr:3: slide_show fps=\"abc\": not a number: 12 kept\n",
          "said.tvr:5: slide 1: quality=\"\": not a number: 80 kept\n",
          "slide 1: duration=\"-1x\": not a whole number: read as -1, out of range (0 to 4294967295): 2000 kept\n",
          "slide 1: flip_horizontal=\"1\": neither true nor false: read as false\n",
          "slide 1: crop=\"yes\": neither true nor false: read as false\n",
          "said.tvr:7: slide 1: caption effect=\"Fly In\": unknown effect: the caption comes in as \"None\"\n",
          "said.tvr:10: slide 1: filter threshold=\"900\": out of range (0 to 255): 900 kept\n",
          "slide 1: filter radius=\"-5\": out of range (0 to 10): -5 kept\n",
          "slide 1: filter contrast=\"101\": out of range (-100 to 100): 101 kept\n",
          "slide 1: filter type=\"pink\": unknown word: \"gaussian\" kept\n",
          "said.tvr:15: slide 1: Filter: not named \"filter\": read as a filter\n",
          "said.tvr:18: slide 1: move: not named \"camera_fx\": read as a camera move\n",
          "said.tvr:22: slide 1: sound: a second sound: its values are read into the first\n",
          "said.tvr:25: slide 2: Slide: not named \"slide\": read as a slide\n",
          "said.tvr:26: slide 3: picture: not named \"slide\": read as a slide\n"},
         {},
         {"read as 0", "TRUE", "angle"}},
        // Ten thousand names no reader knows, one of them 60,000 characters
        // long: ten lines of the kind, then how many more; the long name cut.
        {"many.tvr",
         Project(many, Slides("<slide type=\"blank\" " + longName + "=\"1\" />\n")), kDone,
         {"many.tvr:3: slide_show: unknown attribute \"a9\": passed over\n",
          "many.tvr:5: slide 1: unknown attribute \"" + longName.substr(0, 150) + "[... 60001 characters ...]" +
              longName.substr(60001 - 40) + "\": passed over\n",
          "many.tvr: slide_show: unknown attribute \"...\": passed over (9990 more lines of this kind not shown)\n"},
         {},
         {"\"a10\"", longName.substr(0, 201)}},
        // A show without slides, as written or once its slides are dropped.
        {"no-slides.tvr", Project("", Slides("")), kDone, {"no-slides.tvr: the movie has no slides\n"}},
        {"all-dropped.tvr", Project("", Slides(ImageSlide(dir_.file("gone.jpg")))), kDone,
         {"gone.jpg\": image file missing: slide left out of the movie\n", "all-dropped.tvr: the movie has no slides\n"},
         {}, {"cannot be read"}},
        // A missing sound is one line, the reader's: the export goes without
        // the sound and says nothing more.
        {"gone-sound.tvr",
         Project("", Slides(ImageSlide(picture_, "",
                                       "<sound_data include=\"true\">\n<sound src=\"" + dir_.file("gone.wav") +
                                           "\" />\n</sound_data>\n")) +
                         "<sound_data include=\"true\">\n<sound src=\"gone.mp3\" sync=\"true\" />\n</sound_data>\n"),
         kDone,
         {"gone-sound.tvr:7: slide 1: sound src=\"" + dir_.file("gone.wav") +
              "\": sound file missing: the movie goes without it\n",
          "gone.mp3\": sound file missing: the movie goes without it\n"},
         {},
         {"cannot be read"}},
        // A number past what its field holds is refused with the value kept,
        // never wrapped; an unknown word says the word kept; a caption
        // size of no number is the 0 a resave writes.
        {"wide.tvr",
         Project(" bg_color=\"99999999999\" bg_frame_left=\"-1\" bg_image_quality=\"500\"",
                 Slides("<slide type=\"Image\" src=\"" + picture_ + "\" crop_left=\"99999\" h_align=\"Center\">\n"
                        "<caption_data>\n<caption txt=\"a\" font_size=\"\" />\n</caption_data>\n</slide>\n") +
                     "<swf_data loop_count=\"99999999999\" pause_time=\"-99999999999\" preload_creator=\"xyz\" />\n"),
         kDone,
         {"wide.tvr:3: slide_show bg_color=\"99999999999\": out of range (-2147483648 to 4294967295): 0 kept\n",
          "slide_show bg_frame_left=\"-1\": out of range (0 to 4294967295): 10 kept\n",
          "slide_show bg_image_quality=\"500\": out of range (1 to 100): 80 kept\n",
          "wide.tvr:5: slide 1: type=\"Image\": unknown word: \"image\" kept\n",
          "slide 1: crop_left=\"99999\": out of range (-32768 to 32767): 0 kept\n",
          "slide 1: h_align=\"Center\": unknown word: \"center\" kept\n",
          "wide.tvr:7: slide 1: caption font_size=\"\": not a number: read as 0, no text of this size: the caption is "
          "left out of the movie\n",
          "swf_data loop_count=\"99999999999\": out of range (-2147483648 to 2147483647): 1 kept\n",
          "swf_data pause_time=\"-99999999999\": out of range (-2147483648 to 2147483647): 0 kept\n",
          "swf_data preload_creator=\"xyz\": unknown word: \"tvr\" kept\n"},
         {}, {}, {}, {}, false,
         [](const std::string& movie) {  // black kept, not the number's low bits
             EXPECT_EQ(show_test::WalkMovie(movie).Nth(9, 0).body, std::string(3, '\0'));
         }},
        // A click to a slide the movie lacks says what it does: nothing, or
        // go to the slide written after the one left out.
        {"jumps.tvr",
         Project("", Slides(Jump(picture_, "07") + Jump(picture_, "3") + Jump(dir_.file("gone.jpg"), "1") +
                            Jump(picture_, "0"))),
         kDone,
         {"jumps.tvr:6: slide 1: click_actions jump_to=\"07\": out of range (1 to 4): the slide takes no click\n",
          "jumps.tvr:9: slide 2: click_actions jump_to=\"3\": slide 3 is left out of the movie: the click goes to "
          "slide 4\n",
          "jumps.tvr:15: slide 4: click_actions jump_to=\"0\": out of range (1 to 4): the slide takes no click\n"},
         {}, {}, {}, {}, false,
         [](const std::string& movie) {  // slide 2's button alone, to slide 4, the third written
             const show_test::WalkedMovie walked = show_test::WalkMovie(movie);
             const auto buttons = walked.Find(34);
             ASSERT_EQ(buttons.size(), 1u);
             EXPECT_NE(buttons[0]->body.find(std::string("slide_3\0", 8)), std::string::npos);
         }},
        // A caption size past what a text record holds is refused; the
        // largest held is laid out at its size, advances with glyphs.
        {"big-caption.tvr",
         Project("", Slides(ImageSlide(picture_, "",
                                       "<caption_data>\n<caption txt=\"W\" font_size=\"40000\" />\n"
                                       "<caption txt=\"W\" font_size=\"3276\" />\n</caption_data>\n"))),
         kDone, {"big-caption.tvr:7: slide 1: caption font_size=\"40000\": out of range (1 to 3276): 32 kept\n"}, {},
         {}, {}, {}, false,
         [](const std::string& movie) {
             CSwfReader reader;
             ASSERT_TRUE(reader.Parse(CPath(movie), true, 0, true));
             std::vector<int> heights;
             for (CSwfTag* tag : reader.GetTags(nullptr))
                 if (auto* text = dynamic_cast<CTagDefineText2*>(tag)) {
                     heights.push_back(static_cast<CTextRecord&>(*text->records[0]).textHeight);
                     EXPECT_LT(text->bounds->xmax - text->bounds->xmin, 4 * heights.back());
                 }
             reader.ClearTags(true);
             EXPECT_EQ(heights, (std::vector<int>{32 * 20, 3276 * 20}));
         }},
        {"rwp.tvr",
         Project("", Slides(good) + "<swf_data preload=\"true\" preload_creator=\"rwp\" />\n"), kDone,
         {"rwp.tvr:8: the SWF-protection bundle vtx.bundle is not installed: the \"rwp\" preloader is left out: the movie "
          "starts without a preloader"}},
    };
    RunCases(cases);
}

// Two MPEG-2 Layer III frames (fuzzed): in the first, the second channel's
// last quadruple runs its sign bits past the granule's bits, so libmpg123
// leaves a value or two of its scratch unset and decodes them into both.
std::string UnsetScratchMp3()
{
    const auto bytes = [](const char* hex) {
        std::string out;
        for (; hex[0] && hex[1]; hex += 2) out += char(std::stoi(std::string(hex, 2), nullptr, 16));
        return out;
    };
    return bytes(
        "fff36464000a08276a2fa18c010a384ec919b7e7fdf5e5b6dbb77777777d00c0c0c0c0c0c0c0c588040103907c1f07df"
        "9439970ff106ee5fa431c06fd218e037f0c74fbba7ff2e0f83e08020080200983e0f83e0f820080200800c1f07c1f0f8"
        "20081ca7fa2001c9bf02739ce73ea2004c1304c364f2510206c1f07f0401004010ac1fe5010760f9f507f83873102a30"
        "fff3c4440114b53d2e00cf50002a6b5a74059ea800730d230d91026622200c8307403cc6151a8e208b18c130b6ce3cc5"
        "58c33cb50e340b3cca2c678c3ac350483150265018684006b3081da9a072a99346e8f0312880d1a00342980206a2c92b"
        "c0c70d03184c05c0018304060c33affc3028370836143f60b860b42fff13686ad0c8a31c20b082c393fff8a045024385"
        "cc2e621a39a39a4d7fffe39c39c5122a454c88b178c4ba5d4bfffffcbc6c25090744ae3dffff62e15128106060220646"
        "07208156cff982d840180c02ccd054097cc04803a3becfd5f5be4379efbebd1bcfbe25d9fcbeb2e48fbe4acac7be90a8"
        "febdd27a3cbedcbb403d6a48903dbeff593e7ae79c3ef304b53e5e83ec3ebfa2e73e3bfbfd3e26") +
           std::string(75, '\xFF') +
           bytes(
        "ddfe3e22b8cc3e11f5f73ef8564b3e8dbbd33e62bc60bd1879963e187996");
}

TEST_F(BadInputTest, Media)
{
    const std::string good = ReadFile(picture_);
    Write("truncated.jpg", TruncatedJpeg(good));
    // Cut inside the picture's data: decoded as far as it goes.
    const std::string big = ReadFile(show_test::WriteJpeg(dir_, "big.jpg", 640, 480));
    Write("cut.jpg", big.substr(0, big.size() * 3 / 4));
    Write("text.jpg", "this is no picture\n");
    show_test::WritePngHeader(dir_, "huge.png", 65535, 65535);
    Write("rows.bmp", HugeBmp());
    Write("exif.jpg", JpegWithBadExif(good));
    Write("lying.wav", LyingWav());
    Write("lying.aif", LyingAiff());
    Write("text.mp3", "this is no sound\n");
    Write("scratch.mp3", UnsetScratchMp3());
    // Valid sounds at rates far from the movie's, and more channels than it has.
    ASSERT_TRUE(tavrel_test::WriteTone(dir_.file("11k.wav"), tavrel_test::kWav16, 11025, 1, 5 * 11025, 440));
    ASSERT_TRUE(tavrel_test::WriteTone(dir_.file("8k.wav"), tavrel_test::kWav16, 8000, 1, 8000, 440));
    ASSERT_TRUE(tavrel_test::WriteTone(dir_.file("4k.wav"), tavrel_test::kWav16, 4000, 1, 20000, 440));
    ASSERT_TRUE(tavrel_test::WriteTone(dir_.file("six.wav"), tavrel_test::kWav16, 48000, 6, 24000, 440));
    // An AIFF whose sample rate is 0.
    ASSERT_TRUE(tavrel_test::WriteTone(dir_.file("zero.aif"), tavrel_test::kAiff16, 22050, 1, 22050, 440));
    std::string zero = ReadFile(dir_.file("zero.aif"));
    zero.replace(zero.find("COMM") + 16, 10, std::string(10, '\0'));
    Write("zero.aif", zero);
    // What gives no bytes to read: said by its kind, the run never held.
    ASSERT_EQ(::mkfifo(dir_.file("fifo.jpg").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir_.file("fifo.wav").c_str(), 0600), 0);
    fs::create_directory(dir_.file("folder.wav"));
    fs::create_directory(dir_.file("folder.jpg"));
    // 40000 × 1 pixels: few, but a side longer than the movie box holds.
    std::string wide = "BM" + U32(54 + 120000) + U32(0) + U32(54);
    wide += U32(40) + U32(40000) + U32(1) + U16(1) + U16(24) + U32(0) + U32(120000) + U32(2835) + U32(2835) + U32(0) +
            U32(0);
    Write("wide.bmp", wide + std::string(120000, '\x40'));
    // A GIF and a BMP cut short, each said as a cut PNG is.
    picture_test::GifSpec gif{64, 48, 0, 0, 64, 48, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}}, {}};
    for (int i = 0; i < 64 * 48; ++i) gif.indices.push_back(uint8_t((i * 7 + i / 5) % 4));
    ASSERT_TRUE(picture_test::WriteGif(dir_.file("whole.gif"), gif));
    Write("cut.gif", ReadFile(dir_.file("whole.gif")).substr(0, ReadFile(dir_.file("whole.gif")).size() * 2 / 3));
    ASSERT_TRUE(picture_test::WriteBmp(dir_.file("whole.bmp"), 64, 48, std::vector<picture_test::Rgba>(64 * 48)));
    Write("cut.bmp", ReadFile(dir_.file("whole.bmp")).substr(0, 3000));
    Write("cut.tif", DoubleTiff().substr(0, 8 + 2 + 5 * 12));
    // JPEGs as decoders meet them: valid ones libjpeg warns about (a JFIF
    // revision it does not know, a sequential scan's unused spectral end
    // left at 0), and damage, each named in our words.
    Write("jfif2.jpg", JpegByte(good, '\xE0', 9, '\x02'));
    Write("se0.jpg", JpegByte(good, '\xDA', 5 + 2 * uint8_t(good[good.find("\xFF\xDA") + 4]) + 1, '\0'));
    Write("extra.jpg", BeforeEnd(good, std::string(12, '\0')));
    Write("bogus.jpg", BeforeEnd(good, std::string("\xFF\xE5\x00\x01", 4)));
    Write("nohuff.jpg", JpegByte(good, '\xDA', 6, '\x33'));
    const std::string png = dir_.file("good.png");
    ASSERT_TRUE(picture_test::WritePng(png, 16, 16, std::vector<picture_test::Rgba>(256, {90, 20, 200, 255}), false));
    Write("inflate.png", PngWithBadData(ReadFile(png), false));
    Write("crc.png", PngWithBadData(ReadFile(png), true));
    Write("double.tif", DoubleTiff());
    // A ramp as cjpeg writes it, baseline, progressive and with restarts,
    // damaged as files are: cut to half, cut at half its scans, one restart
    // segment overwritten.
    std::string ramp = "P6\n320 240\n255\n";
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) ramp += {char(x * 255 / 319), char(y), '\x80'};
    Write("ramp.ppm", ramp);
    for (const char* made : {"cjpeg ramp.ppm > ramp.jpg", "cjpeg -progressive ramp.ppm > ramp-p.jpg",
                             "cjpeg -restart 1 ramp.ppm > ramp-r.jpg"})
        ASSERT_EQ(tavrel_test::RunCommand("cd '" + dir_.path() + "' && " + made).exitCode, 0) << made;
    const std::string baseline = ReadFile(dir_.file("ramp.jpg"));
    Write("half.jpg", baseline.substr(0, baseline.size() / 2));
    const std::string progressive = ReadFile(dir_.file("ramp-p.jpg"));
    std::vector<size_t> scans;
    for (size_t at = progressive.find("\xFF\xDA"); at != std::string::npos; at = progressive.find("\xFF\xDA", at + 2))
        scans.push_back(at);
    ASSERT_GT(scans.size(), 2u);
    Write("scans.jpg", progressive.substr(0, scans[scans.size() / 2]));
    std::string restarts = ReadFile(dir_.file("ramp-r.jpg"));
    std::vector<size_t> marks;
    for (size_t at = restarts.find("\xFF\xDA"); at + 1 < restarts.size(); ++at)
        if (restarts[at] == '\xFF' && uint8_t(restarts[at + 1]) >= 0xD0 && uint8_t(restarts[at + 1]) <= 0xD7)
            marks.push_back(at);
    ASSERT_GT(marks.size(), 2u);
    std::fill(restarts.begin() + long(marks[marks.size() / 2] + 2), restarts.begin() + long(marks[marks.size() / 2 + 1]),
              '\x55');
    Write("restart.jpg", restarts);
    ASSERT_TRUE(picture_test::WritePng(dir_.file("9000.png"), 9000, 4,
                                       std::vector<picture_test::Rgba>(36000, {200, 0, 0, 255}), false));
    // Resources: skins and a bar template that are not what they claim.
    const std::string movie = EmptyMovie(dir_);
    fs::create_directories(dir_.file("res/Controls"));
    fs::create_directories(dir_.file("res/Mute Controls"));
    fs::create_directories(dir_.file("res/main.rsrc/Prld"));
    Write("res/Controls/Text.dll", "this is no movie\n");
    Write("res/Controls/Empty.dll", movie);
    Write("res/main.rsrc/Prld/1000", movie);
    const std::vector<std::string> res = {"--resources", "res"};

    auto sound = [](const std::string& src, const std::string& attributes = "") {
        return "<sound_data include=\"true\">\n<sound src=\"" + src + "\" " + attributes + "/>\n</sound_data>\n";
    };
    const std::string goodSlide = ImageSlide(picture_);
    const std::vector<Case> cases = {
        {"truncated.tvr", Project("", Slides(ImageSlide(dir_.file("truncated.jpg")) + goodSlide)), kDone,
         {"truncated.tvr:5: slide 1: picture", "truncated.jpg\" cannot be read"}},
        {"text-jpg.tvr", Project("", Slides(ImageSlide(dir_.file("text.jpg")) + goodSlide)), kDone,
         {"slide 1: picture \"" + dir_.file("text.jpg") +
          "\" cannot be read or encoded (not a picture or movie file this program reads)"}},
        {"huge-png.tvr", Project("", Slides(goodSlide + ImageSlide(dir_.file("huge.png")))), kDone, {"slide 2", "huge.png"}},
        {"rows-bmp.tvr", Project("", Slides(ImageSlide(dir_.file("rows.bmp")) + goodSlide)), kDone, {"slide 1", "rows.bmp"}},
        {"exif.tvr", Project("", Slides(ImageSlide(dir_.file("exif.jpg")))), kDone, {}},
        {"lying-wav.tvr", Project("", Slides(goodSlide) + sound(dir_.file("lying.wav"))), kDone,
         {"lying.wav\" is damaged (it ends after 0.0 s of the 48695.8 s it claims): the movie keeps what could be decoded"}},
        {"lying-aif.tvr", Project("", Slides(goodSlide) + sound(dir_.file("lying.aif"))), kDone,
         {"lying.aif\" is damaged (it ends after 0.0 s of the 194783.1 s it claims)"}},
        {"text-mp3.tvr", Project("", Slides(goodSlide) + sound(dir_.file("text.mp3"))), kDone,
         {"text.mp3\" cannot be read (not a movie or sound file this program reads)"}},
        // Under valgrind: no sample made of memory never set.
        {"scratch-mp3.tvr", Project("", Slides(goodSlide) + sound(dir_.file("scratch.mp3"))), kDone, {}, {}, {"scratch.mp3"}},
        {"11k-320.tvr",
         Project("", Slides(goodSlide) + sound(dir_.file("11k.wav"), "sample_rate=\"44100\" bit_rate=\"320\" stereo=\"true\" ")),
         kDone, {}, {}, {"sound"}},
        {"8k-slide.tvr",
         Project("", Slides(ImageSlide(picture_, "", sound(dir_.file("8k.wav"), "sample_rate=\"44100\" bit_rate=\"160\" ")))),
         kDone, {}, {}, {"sound"}},
        {"4k.tvr", Project("", Slides(goodSlide) + sound(dir_.file("4k.wav"), "sample_rate=\"11025\" bit_rate=\"64\" ")),
         kDone, {}, {}, {"sound"}},
        {"six.tvr", Project("", Slides(goodSlide) + sound(dir_.file("six.wav"), "stereo=\"true\" ")), kDone, {}, {}, {"sound"}},
        {"zero-aif.tvr", Project("", Slides(goodSlide) + sound(dir_.file("zero.aif"), "sample_rate=\"44100\" ")), kDone,
         {"zero.aif\" cannot be read ("}},
        {"fifo-jpg.tvr", Project("", Slides(ImageSlide(dir_.file("fifo.jpg")) + goodSlide)), kDone,
         {"slide 1: picture \"" + dir_.file("fifo.jpg") +
          "\" cannot be read or encoded (a FIFO, not a file): slide left out of the movie"}},
        {"fifo-wav.tvr", Project("", Slides(goodSlide) + sound(dir_.file("fifo.wav"))), kDone,
         {"sound \"" + dir_.file("fifo.wav") + "\" cannot be read (a FIFO, not a file): the movie goes without it"}},
        {"zero-wav.tvr", Project("", Slides(goodSlide + ImageSlide("/dev/zero")) + sound("/dev/zero")), kDone,
         {"slide 2: picture \"/dev/zero\" cannot be read or encoded (a device, not a file)",
          "sound \"/dev/zero\" cannot be read (a device, not a file)"}},
        {"background.tvr",
         Project(" use_bg_image=\"true\" bg_image=\"" + dir_.file("fifo.jpg") +
                     "\" bg_frame=\"pattern\" bg_frame_pattern=\"" + dir_.file("text.jpg") + "\"",
                 Slides(goodSlide)),
         kDone,
         {"bg_image=\"" + dir_.file("fifo.jpg") +
              "\" cannot be read (a FIFO, not a file): the movie has no background image",
          "bg_frame_pattern=\"" + dir_.file("text.jpg") +
              "\" cannot be read (not a picture or movie file this program reads): the movie has no frame\n"}},
        {"folder-wav.tvr", Project("", Slides(goodSlide) + sound(dir_.file("folder.wav"))), kDone,
         {"folder.wav\" cannot be read (a folder, not a file)"}},
        {"folder-jpg.tvr", Project("", Slides(ImageSlide(dir_.file("folder.jpg")) + goodSlide)), kDone,
         {"slide 1: picture \"" + dir_.file("folder.jpg") +
          "\" cannot be read or encoded (a folder, not a file): slide left out of the movie"},
         {}, {"missing"}},
        {"wide-bmp.tvr", Project("", Slides(ImageSlide(dir_.file("wide.bmp")) + goodSlide)), kDone,
         {"slide 1: picture \"" + dir_.file("wide.bmp") +
          "\" cannot be read or encoded (BMP picture is too large: more than 32767 pixels a side): slide left out "
          "of the movie"}},
        {"cut-gif-bmp.tvr",
         Project("", Slides(ImageSlide(dir_.file("cut.gif")) + ImageSlide(dir_.file("cut.bmp")) +
                            ImageSlide(dir_.file("cut.tif")) + goodSlide)),
         kDone,
         {"slide 1: picture \"" + dir_.file("cut.gif") +
              "\" cannot be read or encoded (GIF data ends early): slide left out of the movie\n",
          "slide 2: picture \"" + dir_.file("cut.bmp") +
              "\" cannot be read or encoded (BMP data ends early): slide left out of the movie\n",
          "slide 3: picture \"" + dir_.file("cut.tif") +
              "\" cannot be read or encoded (TIFF data ends early): slide left out of the movie\n"}},
        // A sound as the only picture: why it was left out comes before the
        // movie is said empty, under --strict too.
        {"wav-picture.tvr", Project("", Slides(ImageSlide(dir_.file("lying.wav")))), kDone,
         {"wav-picture.tvr:5: slide 1: picture \"" + dir_.file("lying.wav") + "\" cannot be read or encoded (",
          "): slide left out of the movie\n", "wav-picture.tvr: the movie has no slides\n"},
         {}, {}, {}, {}, true},
        {"cut-jpg.tvr", Project("", Slides(goodSlide + ImageSlide(dir_.file("cut.jpg")))), kDone,
         {"cut-jpg.tvr:7: slide 2: picture \"" + dir_.file("cut.jpg") +
          "\" is damaged (the file ends before the picture does): the slide shows what could be decoded\n"},
         {}, {"Premature", "marker"}},
        // The background image and frame pattern are drawn at most 8192
        // pixels a side: past it the movie goes without them, said; a size
        // of 0 draws the picture's own, said.
        {"bg-size.tvr",
         Project(" use_bg_image=\"true\" bg_image=\"" + picture_ + "\" bg_image_width=\"4000000000\""
                 " bg_frame=\"pattern\" bg_frame_pattern=\"" + dir_.file("9000.png") + "\"",
                 Slides(goodSlide)),
         kDone,
         {"bg-size.tvr:3: slide_show bg_image_width=\"4000000000\": out of range (1 to 8192): the movie has no "
          "background image\n",
          "bg-size.tvr:3: bg_frame_pattern=\"" + dir_.file("9000.png") +
              "\": its 9000 x 4 pixels are more than it is drawn at (8192 a side): the movie has no frame\n"}},
        {"bg-own.tvr",
         Project(" use_bg_image=\"true\" bg_image=\"" + picture_ + "\" bg_image_height=\"0\"", Slides(goodSlide)),
         kDone, {"bg-own.tvr:3: slide_show bg_image_height=\"0\": drawn at the picture's own size, 64 x 48\n"}, {}, {},
         {}, {}, false,
         [](const std::string& movie) {  // the background's bitmap and the slide's
             EXPECT_EQ(show_test::WalkMovie(movie).Find(21).size(), 2u);
         }},
        // A damaged JPEG behind the slides is said as a slide's is, and
        // shows what decoded: the ramp's top rows.
        {"bg-damaged.tvr",
         Project(" use_bg_image=\"true\" bg_image=\"" + dir_.file("half.jpg") + "\" bg_frame=\"pattern\""
                 " bg_frame_pattern=\"" + dir_.file("scans.jpg") + "\"",
                 Slides(goodSlide)),
         kDone,
         {"bg-damaged.tvr:3: bg_image=\"" + dir_.file("half.jpg") +
              "\" is damaged (the file ends before the picture does): the background image shows what could be "
              "decoded\n",
          "bg-damaged.tvr:3: bg_frame_pattern=\"" + dir_.file("scans.jpg") +
              "\" is damaged (the file ends before the picture does): the frame shows what could be decoded\n"},
         {}, {}, {}, {}, false, ExpectRampOnTop},
        {"bg-restart.tvr",
         Project(" use_bg_image=\"true\" bg_image=\"" + dir_.file("restart.jpg") + "\" bg_frame=\"pattern\""
                 " bg_frame_pattern=\"" + dir_.file("restart.jpg") + "\"",
                 Slides(ImageSlide(dir_.file("restart.jpg")))),
         kDone,
         {"bg-restart.tvr:3: bg_image=\"" + dir_.file("restart.jpg") +
              "\" is damaged (picture data cut short by a marker): the background image shows what could be decoded\n",
          "bg-restart.tvr:3: bg_frame_pattern=\"" + dir_.file("restart.jpg") +
              "\" is damaged (picture data cut short by a marker): the frame shows what could be decoded\n",
          "bg-restart.tvr:5: slide 1: picture \"" + dir_.file("restart.jpg") +
              "\" is damaged (picture data cut short by a marker): the slide shows what could be decoded\n"},
         {}, {}, {}, {}, false, ExpectRampOnTop},
        {"valid-jpg.tvr",
         Project("", Slides(ImageSlide(dir_.file("jfif2.jpg")) + ImageSlide(dir_.file("se0.jpg")))), kDone, {}, {},
         {"slide"}},
        // What libjpeg, libpng and libtiff say is put in our words, for a
        // slide, a jpeg_import_data slide, a background and a frame alike.
        {"jpeg-words.tvr",
         Project(" use_bg_image=\"true\" bg_image=\"" + dir_.file("nohuff.jpg") + "\" bg_frame=\"pattern\""
                 " bg_frame_pattern=\"" + dir_.file("inflate.png") + "\"",
                 Slides(ImageSlide(dir_.file("extra.jpg")) + ImageSlide(dir_.file("bogus.jpg")) +
                        ImageSlide(dir_.file("nohuff.jpg"), " image_type=\"jpeg_import_data\"") +
                        ImageSlide(dir_.file("crc.png")) + ImageSlide(dir_.file("double.tif")) + goodSlide)),
         kDone,
         {"bg_image=\"" + dir_.file("nohuff.jpg") +
              "\" cannot be read (a Huffman table it uses is missing): the movie has no background image\n",
          "bg_frame_pattern=\"" + dir_.file("inflate.png") + "\" cannot be read (damaged PNG data): the movie has no "
          "frame\n",
          "slide 2: picture \"" + dir_.file("bogus.jpg") +
              "\" cannot be read or encoded (a damaged marker): slide left out of the movie\n",
          "slide 4: picture \"" + dir_.file("crc.png") +
              "\" cannot be read or encoded (PNG: a chunk's checksum is wrong): slide left out of the movie\n",
          "slide 5: picture \"" + dir_.file("double.tif") +
              "\" cannot be read or encoded (a TIFF of a kind this program does not decode (1 floating-point samples of 64 bits a "
              "pixel, photometric 1)): slide left out",
          "slide 1: picture \"" + dir_.file("extra.jpg") +
              "\" is damaged (data that is no JPEG before a marker): the slide shows what could be decoded\n",
          "slide 3: picture \"" + dir_.file("nohuff.jpg") +
              "\" is damaged (a Huffman table it uses is missing): the slide shows what could be decoded\n"},
         {}, {"Corrupt", "Bogus", "not defined", "CRC", "Sorry", "IDAT", "distance"}},
        {"skin-text.tvr", Project(" controls=\"true\" control_set=\"Text\"", Slides(goodSlide)), kDone,
         {"control_set=\"Text\": " + dir_.file("res/Controls/Text.dll") + " is not a movie (SWF): the movie has no "
          "playback controls"}, res},
        {"skin-empty.tvr", Project(" controls=\"true\" control_set=\"Empty\"", Slides(goodSlide)), kDone,
         {"skin-empty.tvr:3: control_set=\"Empty\": the skin has no clip named show_controls: the movie has no "
          "playback controls\n"}, res},
        {"bar.tvr",
         Project("", Slides(goodSlide) + "<swf_data preload=\"true\" preload_type=\"simple\" />\n"), kDone,
         {"('Prld' 1000) has no PreloadBar"}, res},
    };
    RunCases(cases);

    // Quiet is quiet: the sound libraries print nothing of their own either.
    const ProgramResult quiet = RunProgram({"--quiet", "text-mp3.tvr", "quiet.swf"}, dir_.path());
    EXPECT_EQ(quiet.exitCode, kDone);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out.rfind("quiet.swf: ", 0), 0u) << quiet.out;
}

// Movie files gone wrong, as slides and as sounds: cut short, with no
// frame that decodes, claiming 100,000 × 100,000 pixels, of sound alone,
// empty. Each slide or sound is left out with the file and the reason named.
TEST_F(BadInputTest, Movies)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    const std::string mp4 = ReadFile(tavrel_test::TestMovieNamed("mp4").path);
    const std::string mov = ReadFile(tavrel_test::TestMovieNamed("mov").path);
    ASSERT_FALSE(mp4.empty() || mov.empty()) << "ffmpeg could not make the test movies";
    Write("cut.mp4", mp4.substr(0, mp4.size() / 2));
    std::string blank = mov;
    const size_t mdat = blank.find("mdat"), moov = blank.find("moov");
    ASSERT_TRUE(mdat < moov && moov != std::string::npos);
    std::fill(blank.begin() + long(mdat) + 4, blank.begin() + long(moov) - 4, '\0');
    Write("blank.mov", blank);
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-f lavfi -i color=c=red:s=8x8:r=25:d=0.08 -c:v rawvideo -pix_fmt bgr24 -f avi",
                                       dir_.file("raw.avi")));
    std::string huge = ReadFile(dir_.file("raw.avi"));
    for (const char* chunk : {"avih", "strf"}) {
        const size_t at = huge.find(chunk) + 8 + (std::string(chunk) == "avih" ? 32 : 4);
        huge.replace(at, 8, U32(100000) + U32(100000));
    }
    Write("huge.avi", huge);
    Write("cut.avi", huge.substr(0, 100));
    // Indexes that do not hold: a sample description count past the box, a
    // chunk offset count past memory.
    for (const char* box : {"stsd", "stco"}) {
        std::string edited = mp4;
        const size_t at = edited.find(box, edited.find("moov"));
        ASSERT_NE(at, std::string::npos) << box;
        edited.replace(at + 8, 4, "\x7F\xFF\xFF\xFF");
        Write(std::string(box) + ".mp4", edited);
    }
    Write("text.txt", "Notes for the show\n");
    Write("sound.mp4", ReadFile(tavrel_test::TestMovieNamed("m4a").path));
    Write("t.m4a", ReadFile(tavrel_test::TestMovieNamed("m4a").path));
    Write("empty.mp4", "");
    const std::string silent = tavrel_test::TestMovieNamed("avi").path;
    // MPEG-4 Part 2 data damaged after the first frame's header: FFmpeg
    // conceals the damage and hands the frame out.
    std::string damaged = ReadFile(silent);
    const size_t chunk = damaged.find("00dc", damaged.find("movi"));
    const size_t vop = damaged.find(std::string("\0\0\1\xB6", 4), chunk);
    ASSERT_TRUE(chunk != std::string::npos && vop != std::string::npos);
    const size_t chunkEnd = chunk + 8 + (uint8_t(damaged[chunk + 4]) | uint8_t(damaged[chunk + 5]) << 8);
    ASSERT_LT(vop + 8, chunkEnd);
    std::fill(damaged.begin() + long(vop) + 8, damaged.begin() + long(chunkEnd), '\x55');
    Write("damaged.avi", damaged);
    // A track whose data lie, by its data reference, in another file.
    Write("other.mov", mov);
    const std::string outside = tavrel_test::WithOutsideReference(mov, "file://" + dir_.file("other.mov"));
    ASSERT_FALSE(outside.empty());
    Write("outside.mov", outside);
    // Pixels stretched 4096 times (8 × 16384 coded): a box past 32767 pixels
    // a side; stretched 4095 times, within it, drawn at a slide's 64 × 48.
    for (const char* sar : {"4096", "4095"})
        ASSERT_TRUE(tavrel_test::RunFfmpeg("-f lavfi -i color=c=red:s=8x16384:r=1:d=1,setsar=sar=" + std::string(sar) +
                                               "/1:max=10000 -frames:v 1 -c:v mjpeg -q:v 31 -f mov",
                                           dir_.file("sar" + std::string(sar) + ".mov")));
    // A 35-byte MPEG-4 stream whose colour space byte is 128, no value of
    // FFmpeg's list.
    Write("space.m4v", std::string("\x00\x00\x01\xB6\x10\xC0\xDA\x00\x00\x01\x20\x00\xC4\x8D\x88\x00\x55\x02\x04\x06"
                                   "\x14\x43\x00\x00\x01\xB5\x81\x1F\xFF\x5B\x20\x00\x00\x01\x00",
                                   35));

    // A format FFmpeg knows and the program leaves out.
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-f lavfi -i sine=duration=2 -c:a ac3 -f ac3", dir_.file("t.ac3")));
    // Pictures of kinds FFmpeg knows, as a phone (HEIF with HEVC) and
    // ImageMagick write them.
    ASSERT_TRUE(picture_test::WritePng(dir_.file("p.png"), 64, 48,
                                       std::vector<picture_test::Rgba>(64 * 48, {200, 40, 40, 255}), false));
    const std::string png = "'" + dir_.file("p.png") + "' ";
    ASSERT_EQ(tavrel_test::RunCommand("heif-enc -q 50 " + png + "-o '" + dir_.file("p.heic") + "'").exitCode, 0)
        << "libheif-examples missing";
    const std::string convert = tavrel_test::ImageMagickConvert();
    ASSERT_FALSE(convert.empty()) << "ImageMagick is not installed (Debian's imagemagick)";
    for (const char* kind : {"webp", "pict"})
        ASSERT_EQ(tavrel_test::RunCommand(convert + " " + png + "'" + dir_.file("p.") + kind + "'").exitCode, 0);
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-i " + png + "-c:v libaom-av1 -still-picture 1", dir_.file("p.avif")));
    const std::string cutBundle = CutBundle(dir_);
    ASSERT_FALSE(cutBundle.empty()) << "the build's bundle lacks its movie module or MP3 encoder";
    // Encoders whose dynamic section points outside the file, whose first
    // relocation writes elsewhere, whose first constructor's address is
    // moved out of reach, whose first segment may not be read, or which need
    // a library of no printable name.
    std::vector<std::pair<std::string, std::string>> broken;  // bundle, what is said
    for (const auto& [tag, why] : std::vector<std::pair<int64_t, std::string>>{
             {DT_STRTAB, "its string table lies outside what it loads"},
             {DT_SYMTAB, "its symbol table lies outside what it loads"},
             {DT_GNU_HASH, "its GNU hash table lies outside what it loads"},
             {DT_NEEDED, "a name in its dynamic section lies outside its string table"},
             {DT_RELASZ, "its relocation table lies outside what it loads"},
             {DT_VERSYM, "its symbol version table lies outside what it loads"}})
        broken.emplace_back(EditedEncoder(dir_, "dynamic-" + std::to_string(tag) + ".app",
                                          [tag = tag](std::string& bytes, const auto& entries) {
                                              const uint64_t far = 0x7fff0000000;
                                              std::memcpy(bytes.data() + entries.at(tag).at, &far, sizeof far);
                                          }),
                            why);
    broken.emplace_back(EditedEncoder(dir_, "rela.app", [](std::string& bytes, const auto& entries) {
                            bytes[entries.at(DT_RELA).value + 2] ^= '\xFF';
                        }), "a relocation writes outside what it loads");
    broken.emplace_back(EditedEncoder(dir_, "init.app", [](std::string& bytes, const auto& entries) {
                            // The addend of the relocation that writes the first constructor's address.
                            for (size_t at = entries.at(DT_RELA).value;; at += sizeof(ElfW(Rela))) {
                                ElfW(Rela) r;
                                std::memcpy(&r, bytes.data() + at, sizeof r);
                                if (r.r_offset != entries.at(DT_INIT_ARRAY).value) continue;
                                bytes[at + offsetof(ElfW(Rela), r_addend) + 5] ^= '\x34';
                                return;
                            }
                        }), "its list of constructors holds an address outside its code");
    // 4 KB of noise at 0x1000, among the tables the loader reads.
    broken.emplace_back(EditedEncoder(dir_, "noise.app", [](std::string& bytes, const auto&) {
                            uint32_t state = 1;
                            for (size_t i = 0x1000; i < 0x2000; ++i) bytes[i] = char((state = state * 1103515245u + 12345u) >> 16);
                        }), "");  // whichever table it hits first
    broken.emplace_back(EditedEncoder(dir_, "unreadable.app", [](std::string& bytes, const auto&) {
                            ElfW(Ehdr) header;
                            std::memcpy(&header, bytes.data(), sizeof header);
                            bytes[header.e_phoff + offsetof(ElfW(Phdr), p_flags)] = 0;
                        }), "a segment it loads may not be read");
    // The symbol field of a relocation the loader takes as relative unseen:
    // no symbol, and the encoder loads.
    const std::string relativeSymbol = EditedEncoder(dir_, "relative.app", [](std::string& bytes, const auto& entries) {
        bytes.replace(entries.at(DT_RELA).value + offsetof(ElfW(Rela), r_info) + 4, 4, 4, '\xFF');
    });
    const std::string oddName = EditedEncoder(dir_, "needed.app", [](std::string& bytes, const auto& entries) {
        const size_t lame = bytes.find(std::string("libmp3lame.so.0\0", 16), entries.at(DT_STRTAB).value);
        bytes.replace(lame + 2, 2, "\x01\xFF");
    });
    // An encoder that is a FIFO would hold the loader's open for ever: the
    // bundle takes only a regular file for its code.
    const std::string fifoEncoder = EditedEncoder(dir_, "fifo.app", [](std::string&, const auto&) {});
    const std::string fifoPath = fifoEncoder + "/Contents/Resources/lame_encU.bundle/Contents/MacOS/lame_encU";
    ASSERT_TRUE(fs::remove(fifoPath));
    ASSERT_EQ(::mkfifo(fifoPath.c_str(), 0700), 0);
    // The program copied out of its bundle: a bundle without the encoder.
    const fs::path noEncoder = dir_.file("no-encoder.app/Contents/Resources");
    fs::create_directories(noEncoder);
    for (const auto& e : fs::directory_iterator(fs::path(TAVREL_BUNDLE_DIR) / "Contents" / "Resources"))
        if (e.path().filename() != "lame_encU.bundle") fs::create_symlink(e.path(), noEncoder / e.path().filename());
    for (const auto& [bundle, why] : broken) ASSERT_FALSE(bundle.empty()) << why;
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-f lavfi -i sine=duration=1", dir_.file("tone.wav")));

    auto sound = [](const std::string& src) {
        return "<sound_data include=\"true\">\n<sound src=\"" + src + "\" />\n</sound_data>\n";
    };
    const std::string good = ImageSlide(picture_);
    auto leftOut = [&](const std::string& file, const std::string& why) {
        return std::vector<std::string>{"slide 1: picture \"" + dir_.file(file) + "\" cannot be read or encoded (" + why,
                                        "): slide left out of the movie"};
    };
    std::vector<Case> cases = {
        // Said in our words, by FFmpeg's codes, never in its own.
        {"cut-mp4.tvr", Project("", Slides(ImageSlide(dir_.file("cut.mp4")) + good)), kDone,
         leftOut("cut.mp4", "the file is cut short or its index is missing"), {}, {"moov", "Invalid data"}},
        {"headers.tvr",
         Project("", Slides(ImageSlide(dir_.file("stsd.mp4")) + ImageSlide(dir_.file("stco.mp4")) +
                            ImageSlide(dir_.file("cut.avi")) + good)),
         kDone,
         {"slide 1: picture \"" + dir_.file("stsd.mp4") + "\" cannot be read or encoded (its index is damaged)",
          "slide 2: picture \"" + dir_.file("stco.mp4") +
              "\" cannot be read or encoded (its headers claim more than memory holds)",
          "slide 3: picture \"" + dir_.file("cut.avi") + "\" cannot be read or encoded (its headers are damaged or cut "
          "short)"},
         {}, {"Invalid data", "Cannot allocate", "atom"}},
        // A file of no kind is named by what it was asked to be.
        {"text.tvr",
         Project(" use_bg_image=\"true\" bg_image=\"" + dir_.file("text.txt") + "\"",
                 Slides(ImageSlide(dir_.file("text.txt")) + good) + sound(dir_.file("text.txt"))),
         kDone,
         {"sound \"" + dir_.file("text.txt") +
              "\" cannot be read (not a movie or sound file this program reads): the movie goes without it",
          "bg_image=\"" + dir_.file("text.txt") +
              "\" cannot be read (not a picture or movie file this program reads): the movie has no background image",
          leftOut("text.txt", "not a picture or movie file this program reads")[0]}},
        {"blank-mov.tvr", Project("", Slides(ImageSlide(dir_.file("blank.mov")) + good)), kDone,
         leftOut("blank.mov", "no frame of its video can be decoded")},
        {"huge-avi.tvr", Project("", Slides(ImageSlide(dir_.file("huge.avi")) + good)), kDone,
         leftOut("huge.avi", "its video claims 100000 x 100000 pixels, more than a picture may have")},
        {"sound-mp4.tvr", Project("", Slides(ImageSlide(dir_.file("sound.mp4")) + good)), kDone,
         leftOut("sound.mp4", "it holds no picture")},
        // One line for such a slide, the export's: the reader's "kept" is
        // only for a project that is not compiled.
        {"m4a.tvr",
         Project("", Slides(ImageSlide(dir_.file("t.m4a")))),
         kDone,
         {leftOut("t.m4a", "it holds no picture")[0], "m4a.tvr: the movie has no slides\n"},
         {},
         {"kept as stored"},
         {},
         {},
         true},
        // A movie whose first key frame is overwritten, the only slide.
        {"blank-only.tvr",
         Project("", Slides(ImageSlide(dir_.file("blank.mov")))),
         kDone,
         {leftOut("blank.mov", "no frame of its video can be decoded")[0], "blank-only.tvr: the movie has no slides\n"},
         {},
         {},
         {},
         {},
         true},
        {"empty-mp4.tvr", Project("", Slides(ImageSlide(dir_.file("empty.mp4")) + good)), kDone,
         leftOut("empty.mp4", "the file is empty")},
        {"sound-cut.tvr", Project("", Slides(good) + sound(dir_.file("cut.mp4"))), kDone,
         {"sound \"" + dir_.file("cut.mp4") +
          "\" cannot be read (the file is cut short or its index is missing): the movie goes without it"},
         {}, {"moov"}},
        {"sound-silent.tvr", Project("", Slides(good) + sound(silent)), kDone,
         {"sound \"" + silent + "\" cannot be read (it holds no sound): the movie goes without it"}},
        {"damaged-avi.tvr", Project("", Slides(ImageSlide(dir_.file("damaged.avi")) + good)), kDone,
         {"slide 1: picture \"" + dir_.file("damaged.avi") +
          "\" is damaged (its first frame is damaged: the decoder hid the damage): the slide shows what could be "
          "decoded"},
         {}, {"ac-tex"}},
        {"outside-mov.tvr", Project("", Slides(ImageSlide(dir_.file("outside.mov")) + good)), kDone,
         leftOut("outside.mov", "its media lie in another file (\"file://" + dir_.file("other.mov") + "\")")},
        {"outside-sound.tvr",
         Project("", Slides(good) + sound(dir_.file("outside.mov"))),
         kDone,
         {"sound \"" + dir_.file("outside.mov") + "\" cannot be read (its media lie in another file"}},
        {"sar-mov.tvr", Project("", Slides(ImageSlide(dir_.file("sar4096.mov")) + good)), kDone,
         leftOut("sar4096.mov", "its video is shown at 32768 x 16384 pixels, more than a picture may have")},
        {"wide-mov.tvr",
         Project("", Slides(ImageSlide(dir_.file("sar4095.mov"), " width=\"64\" height=\"48\"") + good)),
         kDone,
         {}},
        {"space-m4v.tvr",
         Project("", Slides(ImageSlide(dir_.file("space.m4v")) + good)),
         kDone,
         {"slide 1: picture \"" + dir_.file("space.m4v") + "\" is damaged (",
          "): the slide shows what could be decoded"}},
        // Pictures of kinds not read, named as users know them; an AVIF,
        // which FFmpeg reads, is shown.
        {"kinds.tvr",
         Project("", Slides(ImageSlide(dir_.file("p.heic")) + ImageSlide(dir_.file("p.webp")) +
                            ImageSlide(dir_.file("p.pict")) + ImageSlide(dir_.file("p.avif")))),
         kDone,
         {leftOut("p.heic", "its format is HEIC, which this program does not read")[0],
          "slide 2: picture \"" + dir_.file("p.webp") + "\" cannot be read or encoded (its format is WebP, which",
          "slide 3: picture \"" + dir_.file("p.pict") + "\" cannot be read or encoded (its format is PICT, which"},
         {},
         {"piped", "sequence", "cut short"},
         {},
         {"1 slide, 3 skipped"}},
        {"ac3.tvr",
         Project("", Slides(good) + sound(dir_.file("t.ac3"))),
         kDone,
         {"ac3.tvr:9: sound \"" + dir_.file("t.ac3") +
          "\" cannot be read (its format is raw AC-3, which this program does not read): the movie goes without it\n"},
         {},
         {"whitelist"}},
        // A broken install: the movie slide and the sound are said, the
        // picture slide still exported.
        {"cut-module.tvr",
         Project("", Slides(ImageSlide(dir_.file("cut.mp4")) + good)),
         kDone,
         leftOut("cut.mp4", "the movie module movie_media.bundle cannot be loaded: " + cutBundle +
                                "/Contents/Resources/movie_media.bundle/Contents/MacOS/movie_media: the file is cut "
                                "short: it holds 20000 bytes of the "),
         {},
         {},
         {"TAVREL_BUNDLE=" + cutBundle},
         {"1 slide, 1 skipped"}},
        // A broken encoder is said once, as what failed, for every sound
        // (the show's and a slide's); no sound is blamed for it.
        {"cut-encoder.tvr",
         Project("", Slides(ImageSlide(picture_, "", sound(dir_.file("tone.wav")))) + sound(dir_.file("tone.wav"))),
         kDone,
         {"cut-encoder.tvr: the MP3 encoder lame_encU.bundle cannot be loaded (" + cutBundle +
              "/Contents/Resources/lame_encU.bundle/Contents/MacOS/lame_encU: the file is cut short: it holds "
              "20000 bytes of the ",
          "): the movie goes without its sounds\n"},
         {},
         {"sound \"", "cannot be read"},
         {"TAVREL_BUNDLE=" + cutBundle},
         {"1 slide, 0 skipped"}},
        {"relative-symbol.tvr",
         Project("", Slides(good) + sound(dir_.file("tone.wav"))),
         kDone,
         {},
         {},
         {"cannot be read", "cannot be loaded"},
         {"TAVREL_BUNDLE=" + relativeSymbol},
         {"1 slide, 0 skipped"}},
        // The loader's own words quote the file: bytes that are no text are escaped.
        {"odd-needed.tvr",
         Project("", Slides(good) + sound(dir_.file("tone.wav"))),
         kDone,
         {"the MP3 encoder lame_encU.bundle cannot be loaded (it needs \"li\\x01\\xffp3lame.so.0\", which is not "
          "installed)"},
         {},
         {"\x01", "sound \""},
         {"TAVREL_BUNDLE=" + oddName}},
        {"no-encoder.tvr",
         Project("", Slides(good) + sound(dir_.file("tone.wav"))),
         kDone,
         {"no-encoder.tvr: the MP3 encoder lame_encU.bundle cannot be loaded (it is missing from the application "
          "bundle): the movie goes without its sounds\n"},
         {},
         {"sound \""},
         {"TAVREL_BUNDLE=" + dir_.file("no-encoder.app")},
         {"1 slide, 0 skipped"}},
        // Its code a FIFO: said as one, not as a bundle without code.
        {"fifo-encoder.tvr",
         Project("", Slides(good) + sound(dir_.file("tone.wav"))),
         kDone,
         {"the MP3 encoder lame_encU.bundle cannot be loaded (" + fifoPath +
          ": a FIFO, not a file): the movie goes "
          "without its sounds\n"},
         {},
         {"sound \""},
         {"TAVREL_BUNDLE=" + fifoEncoder},
         {"1 slide, 0 skipped"}},
    };
    for (size_t i = 0; i < broken.size(); ++i)
        cases.push_back({"broken-encoder-" + std::to_string(i) + ".tvr",
                         Project("", Slides(good) + sound(dir_.file("tone.wav"))),
                         kDone,
                         {"the MP3 encoder lame_encU.bundle cannot be loaded (" + broken[i].first +
                              "/Contents/Resources/lame_encU.bundle/Contents/MacOS/lame_encU: the file is damaged: " +
                              broken[i].second,
                          "): the movie goes without its sounds"},
                         {},
                         {"sound \""},
                         {"TAVREL_BUNDLE=" + broken[i].first},
                         {"1 slide, 0 skipped"}});
    RunCases(cases);
    const ProgramResult resaved = RunProgram({"--resave", "m4a-new.tvr", "m4a.tvr"}, dir_.path());
    EXPECT_EQ(resaved.exitCode, kDone) << resaved.err;
    EXPECT_NE(resaved.err.find("m4a.tvr:5: slide 1: src=\"" + dir_.file("t.m4a") +
                               "\": picture cannot be read: slide kept as stored\n"),
              std::string::npos)
        << resaved.err;

    // Quiet is quiet: nothing of FFmpeg's own either; what was written is said.
    const ProgramResult quiet = RunProgram({"--quiet", "blank-mov.tvr", "quiet.swf"}, dir_.path());
    EXPECT_EQ(quiet.exitCode, kDone);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out.rfind("quiet.swf: ", 0), 0u) << quiet.out;
    EXPECT_NE(quiet.out.find(", 1 slide, 1 skipped\n"), std::string::npos) << quiet.out;
}

}  // namespace
