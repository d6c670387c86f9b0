// The built program, run as a user runs it.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "../media/picture_fixtures.h"
#include "../media/sound_fixtures.h"
#include "support/test_movies.h"
#include "../show/show_test_util.h"
#include "program_runner.h"
#include "support/swf_tools.h"
#include "support/test_support.h"

namespace {

using cli_test::Program;
using cli_test::ProgramResult;
using cli_test::RunProgram;
using tavrel_test::IsThere;
using tavrel_test::ReadFile;
using tavrel_test::TempDir;
using tavrel_test::WriteFile;
namespace fs = std::filesystem;

// A plain user, whom root runs the program as where a run must not be root's.
constexpr uid_t kNobody = 65534;

std::string Slide(const std::string& src, const std::string& inside = "")
{
    return "<slide type=\"image\" src=\"" + src + "\" >\n" + inside + "</slide>\n";
}

std::string Project(const std::string& showAttributes, const std::string& slides)
{
    return show_test::WrapShow("<slide_show" + showAttributes + ">\n<slides>\n" + slides +
                               "</slides>\n</slide_show>\n");
}

// Files in a folder, hidden ones too, without sub-folders.
std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(folder, ec))
        if (!e.is_directory()) names.push_back(e.path().lexically_relative(folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

// A picture of noise, which no compression makes small.
bool WriteNoiseJpeg(const std::string& path, int width, int height)
{
    std::vector<picture_test::Rgba> noise(size_t(width) * height);
    uint32_t seed = 1;
    for (auto& p : noise) {
        seed = seed * 1664525u + 1013904223u;
        p = {uint8_t(seed >> 24), uint8_t(seed >> 16), uint8_t(seed >> 8), 255};
    }
    return picture_test::WriteJpeg(path, width, height, noise, 90);
}

class CliProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        picture_ = show_test::WriteJpeg(dir_, "a.jpg", 64, 48);
        ASSERT_FALSE(picture_.empty());
    }
    std::string Write(const std::string& name, const std::string& text)
    {
        EXPECT_TRUE(WriteFile(dir_.file(name), text));
        return dir_.file(name);
    }
    ProgramResult Run(const std::vector<std::string>& args) { return RunProgram(args, dir_.path()); }

    // A show of count slides of picture_.
    std::string WriteShow(const std::string& name, int count, const std::string& attributes = "")
    {
        std::string slides;
        for (int i = 0; i < count; ++i) slides += Slide(picture_);
        return Write(name, Project(attributes, slides));
    }
    // A show of count slides of noise at 800 x 600: some 330 KB of movie a slide.
    void WriteNoiseShow(const std::string& name, int count)
    {
        ASSERT_TRUE(WriteNoiseJpeg(dir_.file("noise.jpg"), 800, 600));
        std::string slides;
        for (int i = 0; i < count; ++i) slides += Slide(dir_.file("noise.jpg"));
        Write(name, Project(" width=\"800\" height=\"600\"", slides));
    }
    TempDir dir_;
    std::string picture_;
};

// Every run of the program in these tests checks its lines against
// docs/messages.md; the check itself, on lines as the program prints them
// with other names, values and numbers, and on lines of no kind shown.
TEST(MessagesPage, LinesAreOfTheKindsItShows)
{
    const struct {
        const char* line;
        bool shown;
    } rows[] = {
        {"my show.tvr:12: slide 9: src=\"/q/b c.png\": image file missing: slide left out of the movie", true},
        {"x.tvr:4: slide_show width=\"7\": out of range (10 to 2000): 320 kept", true},
        {"x.tvr: slide_show: unknown attribute \"q\": passed over (3 more lines of this kind not shown)", true},
        {"tavrel: --resources /srv/skins: no such folder", true},
        {"tavrel: 12 warnings under --strict; nothing exported", true},
        {"x.tvr:20: slide 4: picture \"/t/a.bmp\" cannot be read or encoded (BMP data ends early): slide left out "
         "of the movie",
         true},
        {"  --strict         any warning fails the run; no movie is written", true},
        // A reason no page gives, a kind the page lacks, a known kind with
        // other words after it.
        {"x.tvr:20: slide 4: picture \"/t/a.png\" cannot be read or encoded (the moon is full): slide left out of "
         "the movie",
         false},
        {"tavrel: something went wrong", false},
        {"x.tvr:4: slide_show width=\"7\": out of range (10 to 2000): 320 kept, or not", false},
        {"BMP: The file is too short for its width and height.", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(cli_test::UndocumentedLines(row.line, {"my show.tvr"}).empty(), row.shown) << row.line;
}

TEST_F(CliProgramTest, ExitCodesAndMessages)
{
    Write("show.tvr", Project("", Slide(picture_)));
    Write("plain.xml", "<?xml version=\"1.0\" ?>\n<tavrel />\n");
    Write("broken.tvr", "<xml version=\"1.0\">\n<tavrel>\n");
    Write("warn.tvr", Project(" width=\"5000\"", Slide(picture_)));
    Write("typo.tvr", Project("", "<slide type=\"blank\" duraton=\"1000\" />\n"));
    Write("long.tvr", Project(" fps=\"120\"", "<slide type=\"blank\" duration=\"1000000\" />\n"));
    Write("one.tvr", Project("", "<slide type=\"blank\" duration=\"0\" />\n"));
    // A font no family installed has: said once, where first asked for, with
    // the font drawn in its place; the preloader's font too.
    const std::string caption = "<caption_data>\n<caption txt=\"Hi\" fnt_name=\"No Such Face\" />\n</caption_data>\n";
    Write("font.tvr",
          show_test::WrapShow("<slide_show>\n<slides>\n" + Slide(picture_, caption) + Slide(picture_, caption) +
                              "</slides>\n<swf_data preload=\"true\" "
                              "preload_font_name=\"T3RoZXIgTWlzc2luZyBGYWNl\" />\n</slide_show>\n"));
    // A movie that stops on its first frame, with and without the controls
    // that start it; the value is quoted as the file gives it.
    auto stopping = [&](const std::string& attributes, const std::string& word = "stop_on_first_frame") {
        return show_test::WrapShow("<slide_show" + attributes + ">\n<slides>\n" + Slide(picture_) + "</slides>\n" +
                                   "<swf_data movie_start_action=\"" + word + "\" />\n</slide_show>\n");
    };
    Write("stop.tvr", stopping(""));
    Write("stop-controls.tvr", stopping(" controls=\"true\" control_set=\"Classic\""));
    Write("stop-no-skin.tvr", stopping(" controls=\"true\" control_set=\"Nope\"", "STOP_ON_FIRST_FRAME"));
    auto cannotStart = [](const std::string& word = "stop_on_first_frame") {
        return "swf_data movie_start_action=\"" + word +
               "\": the movie stops before its first slide, and without playback controls nothing in it starts it\n";
    };
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out, err;     // text expected in each
        std::string notErr = {};  // text standard error must not hold
    };
    const Case cases[] = {
        {{}, 1, "", "usage: tavrel"},
        {{"--bogus", "show.tvr", "o.swf"}, 1, "", "unknown option --bogus"},
        {{"--help"}, 0, "usage: tavrel", ""},
        {{"--version"}, 0, "tavrel 1.", ""},
        {{"show.tvr", "show.tvr"}, 1, "", "tavrel: show.tvr: OUTPUT is the project file itself"},
        {{"show.tvr", "./sub/../show.tvr"}, 1, "", "tavrel: ./sub/../show.tvr: OUTPUT is the project file itself"},
        {{"--search", "nowhere", "show.tvr", "o.swf"}, 1, "", "--search nowhere: no such folder"},
        {{"--search", "a.jpg", "show.tvr", "o.swf"}, 1, "", "tavrel: --search a.jpg: not a folder\n"},
        {{"--resources", "nowhere", "show.tvr", "o.swf"}, 1, "", "tavrel: --resources nowhere: no such folder\n"},
        {{"--resources", "show.tvr", "show.tvr", "o.swf"}, 1, "", "tavrel: --resources show.tvr: not a folder\n"},
        {{"missing.tvr", "o.swf"}, 2, "", "missing.tvr: No such file"},
        {{"broken.tvr", "o.swf"}, 2, "", "broken.tvr: not an XML file"},
        {{"plain.xml", "o.swf"}, 2, "", "plain.xml: not a project file (no \"xml\" element around \"tavrel\")\n"},
        {{"show.tvr", "no/such/folder/o.swf"}, 3, "", "no/such/folder/o.swf: cannot create: No such file"},
        {{"long.tvr", "o.swf"}, 3, "", "export to o.swf failed: the show is too long"},
        {{"--strict", "warn.tvr", "o.swf"},
         4,
         "",
         "warn.tvr:3: slide_show width=\"5000\": out of range (10 to 2000): 320 kept\n"},
        {{"--strict", "typo.tvr", "o.swf"}, 4, "", "typo.tvr:5: slide 1: unknown attribute \"duraton\": passed over\n"},
        {{"--strict", "--quiet", "warn.tvr", "o.swf"}, 4, "", "tavrel: 1 warning under --strict; nothing exported\n"},
        {{"--strict", "font.tvr", "o.swf"},
         4,
         "",
         "font.tvr:7: slide 1: caption: the font \"No Such Face\" is not installed: \"",
         "font.tvr:12:"},
        {{"--strict", "font.tvr", "o.swf"},
         4,
         "",
         "font.tvr:16: swf_data: the preloader's font \"Other Missing Face\" is not installed: \""},
        {{"--strict", "stop.tvr", "o.swf"}, 4, "", "stop.tvr:8: " + cannotStart()},
        {{"--strict", "stop-no-skin.tvr", "o.swf"}, 4, "", "stop-no-skin.tvr:8: " + cannotStart("STOP_ON_FIRST_FRAME")},
        {{"--strict", "stop-controls.tvr", "o.swf"}, 0, "o.swf: ", "", "stops before"},
        // Quiet keeps the line saying what was written: a script reads it.
        {{"--quiet", "warn.tvr", "q.swf"}, 0, "q.swf: ", "", "out of range"},
        {{"--quiet", "--resave", "q.tvr", "warn.tvr"}, 0, "q.tvr: project written\n", "", "out of range"},
        {{"one.tvr", "q.swf"}, 0, " bytes, 1 frame, 1 slide, 0 skipped\n", ""},
        // Nothing is exported where nothing was to be; once the project is
        // written back, only the movie is not.
        {{"--strict", "--resave", "n.tvr", "warn.tvr"}, 4, "", "tavrel: 1 warning under --strict; nothing written\n"},
        {{"--strict", "--resave", "n.tvr", "warn.tvr", "o.swf"},
         4,
         "",
         "tavrel: 1 warning under --strict; nothing written\n"},
        {{"--strict", "--resave", "q.tvr", "stop.tvr", "o.swf"},
         4,
         "q.tvr: project written\n",
         "tavrel: 1 warning under --strict; nothing exported\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ProgramResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, c.code) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        if (!c.notErr.empty()) {
            EXPECT_EQ(r.err.find(c.notErr), std::string::npos) << r.err;
        }
    }
    fs::remove(dir_.file("o.swf"));
    fs::remove(dir_.file("q.swf"));
    fs::remove(dir_.file("q.tvr"));
    // Nothing was created by the refused and failed runs.
    EXPECT_EQ(FilesIn(dir_.path()),
              (std::vector<std::string>{"a.jpg", "broken.tvr", "font.tvr", "long.tvr", "one.tvr", "plain.xml", "show.tvr",
                                        "stop-controls.tvr", "stop-no-skin.tvr", "stop.tvr", "typo.tvr", "warn.tvr"}));
    // Quiet hides the warning itself.
    EXPECT_EQ(Run({"--strict", "--quiet", "warn.tvr", "o.swf"}).err.find("out of range"), std::string::npos);
}

TEST_F(CliProgramTest, ReaderMessagesNameFileSlideAttributeAndValue)
{
    Write("show.tvr", Project(" fps=\"500\"", Slide(picture_) + Slide("/gone/b.jpg") +
                                                  Slide(picture_,
                                                        "<image_filters>\n<filter name=\"Glow\" />\n"
                                                        "</image_filters>\n") +
                                                  Slide(picture_,
                                                        "<transition_in>\n<transition name=\"Spin\" />\n"
                                                        "</transition_in>\n<swf_fx name=\"snow\" />\n") +
                                                  Slide(picture_,
                                                        "<transtion_in>\n<transition name=\"Push\" />\n"
                                                        "</transtion_in>\n") +
                                                  // An attribute on a line of its own is said at its line.
                                                  "<slide type=\"image\"\nsrc=\"/gone/c.jpg\"\nquality=\"0\" />\n"));
    const ProgramResult r = Run({"--resave", "new.tvr", "show.tvr"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Unknown names say where the names a project may give are listed.
    for (const char* line : {"show.tvr:3: slide_show fps=\"500\": out of range (1 to 120): 12 kept\n",
                             "show.tvr:7: slide 2: src=\"/gone/b.jpg\": image file missing: slide kept as stored\n",
                             "show.tvr:11: slide 3: filter name=\"Glow\": unknown filter: left out "
                             "(the names are listed in docs/project-file.md)\n",
                             "show.tvr:16: slide 4: transition name=\"Spin\": unknown transition: read as \"None\" "
                             "(the names are listed in docs/project-file.md)\n",
                             "show.tvr:18: slide 4: swf_fx name=\"snow\": unknown overlay effect: read as \"None\" "
                             "(the names are listed in docs/project-file.md)\n",
                             "show.tvr:21: slide 5: unknown element \"transtion_in\": passed over\n",
                             "show.tvr:26: slide 6: src=\"/gone/c.jpg\": image file missing: slide kept as stored\n",
                             "show.tvr:27: slide 6: quality=\"0\": out of range (1 to 100): 80 kept\n"})
        EXPECT_NE(r.err.find(line), std::string::npos) << r.err;

    // A project on one line, as many XML writers put it, and the same over
    // three: each line names the slide, or else the show's element, that
    // the value was read from, in file order.
    const std::string show = "<tavrel><slide_show fps=\"0\"><slides><slide src=\"a.jpg\" quality=\"0\"/>";
    const std::string rest =
        "<slide src=\"a.jpg\" rotate=\"45\" duraton=\"1\"/></slides><swf_data loop=\"sometimes\">"
        "<bogus/></swf_data></slide_show></tavrel></xml>";
    Write("one.tvr", "<xml version=\"1.0\">" + show + rest);
    Write("two.tvr", "<xml version=\"1.0\">\n" + show + "\n" + rest + "\n");
    for (const auto& [file, lines] :
         {std::pair<std::string, std::vector<int>>{"one.tvr", {1, 1, 1, 1, 1, 1}}, {"two.tvr", {2, 2, 3, 3, 3, 3}}}) {
        const ProgramResult one = Run({"--strict", file, "o.swf"});
        EXPECT_EQ(one.exitCode, 4);
        const std::string at = file + ":";
        EXPECT_EQ(one.err,
                  at + std::to_string(lines[0]) + ": slide_show fps=\"0\": out of range (1 to 120): 12 kept\n" + at +
                      std::to_string(lines[1]) + ": slide 1: quality=\"0\": out of range (1 to 100): 80 kept\n" + at +
                      std::to_string(lines[2]) +
                      ": slide 2: rotate=\"45\": not a quarter turn: the picture is not turned\n" + at +
                      std::to_string(lines[3]) + ": slide 2: unknown attribute \"duraton\": passed over\n" + at +
                      std::to_string(lines[4]) + ": swf_data loop=\"sometimes\": unknown word: \"none\" kept\n" + at +
                      std::to_string(lines[5]) + ": swf_data: unknown element \"bogus\": passed over\n" +
                      "tavrel: 6 warnings under --strict; nothing exported\n");
        EXPECT_FALSE(IsThere(dir_.file("o.swf")));
    }
}

// What the export says of a part of the show names the line of the
// element (or of the attribute it names) and the slide that holds it.
TEST_F(CliProgramTest, ExportLinesNameTheirElementsLine)
{
    // Cut inside the picture's data: decoded as far as it goes.
    const std::string jpeg = ReadFile(show_test::WriteJpeg(dir_, "big.jpg", 640, 480));
    const std::string cut = Write("cut.jpg", jpeg.substr(0, jpeg.size() * 3 / 4));
    const std::string junk = Write("junk.wav", "no sound at all");
    // The second "sound" gives the file: its element is named.
    const std::string sounds = "<sound_data include=\"true\">\n<sound bit_rate=\"64\" />\n<sound\nsrc=\"" + junk +
                               "\" />\n</sound_data>\n";
    Write("show.tvr", show_test::WrapShow("<slide_show>\n<slides>\n" + Slide(picture_, sounds) + Slide(cut) +
                                          "</slides>\n<swf_data preload=\"true\"\npreload_creator=\"rwp\" />\n"
                                          "<caption_data>\n<caption type=\"lfx\" />\n</caption_data>\n" +
                                          sounds + "</slide_show>\n"));
    const ProgramResult r = Run({"show.tvr", "o.swf"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string unread = "\" cannot be read (not a movie or sound file this program reads): the movie goes without it\n";
    for (const std::string& line :
         {"show.tvr:8: slide 1: sound \"" + junk + unread,
          "show.tvr:12: slide 2: picture \"" + cut + "\" is damaged (the file ends before the picture does)",
          std::string("show.tvr:16: the SWF-protection bundle vtx.bundle is not installed"),
          std::string("show.tvr:18: caption type=\"lfx\": the text-effect bundle lfx.bundle is not installed"),
          "show.tvr:22: sound \"" + junk + unread})
        EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;

    // Files are named as the project names them: relative names stay
    // relative, a folder without a slash added.
    fs::create_directories(dir_.file("sub/pics"));
    Write("sub/rel.tvr",
          show_test::WrapShow(
              "<slide_show use_bg_image=\"true\" bg_image=\"../junk.wav\">\n<slides>\n" +
              Slide("../cut.jpg",
                    "<sound_data include=\"true\">\n<sound src=\"gone.wav\" bit_rate=\"100\" />\n</sound_data>\n") +
              Slide("pics") + Slide("gone.jpg") +
              "</slides>\n<sound_data include=\"true\">\n<sound src=\"../junk.wav\" />\n</sound_data>\n"
              "</slide_show>\n"));
    const ProgramResult rel = Run({"sub/rel.tvr", "o.swf"});
    EXPECT_EQ(rel.exitCode, 0) << rel.err;
    for (const std::string& line : std::vector<std::string>{
             "sub/rel.tvr:3: bg_image=\"../junk.wav\" cannot be read (",
             "sub/rel.tvr:5: slide 1: picture \"../cut.jpg\" is damaged",
             "sub/rel.tvr:7: slide 1: sound src=\"gone.wav\": sound file missing: the movie goes without it\n",
             "sub/rel.tvr:10: slide 2: picture \"pics\" cannot be read or encoded (a folder, not a file)",
             "sub/rel.tvr:12: slide 3: src=\"gone.jpg\": image file missing: slide left out of the movie\n",
             "sub/rel.tvr:16: sound \"../junk.wav" + unread})
        EXPECT_NE(rel.err.find(line), std::string::npos) << line << "\n" << rel.err;
    EXPECT_EQ(rel.err.find(dir_.path()), std::string::npos) << rel.err;
    // A sound the movie goes without is not said to be made at another bit rate.
    EXPECT_EQ(rel.err.find("bit_rate"), std::string::npos) << rel.err;

    // On one line, each warning of the export names its slide, or none.
    Write("flat.tvr",
          "<xml version=\"1.0\"><tavrel><slide_show><slides><slide src=\"a.jpg\"/><slide src=\"cut.jpg\"/>"
          "</slides><swf_data preload=\"true\" preload_creator=\"rwp\"/><caption_data>"
          "<caption type=\"lfx\"/></caption_data></slide_show></tavrel></xml>");
    const ProgramResult flat = Run({"flat.tvr", "o.swf"});
    EXPECT_EQ(flat.exitCode, 0) << flat.err;
    for (const char* line :
         {"flat.tvr:1: slide 2: picture \"cut.jpg\" is damaged", "flat.tvr:1: the SWF-protection bundle",
          "flat.tvr:1: caption type=\"lfx\": the text-effect bundle"})
        EXPECT_NE(flat.err.find(line), std::string::npos) << line << "\n" << flat.err;
}

// Also onto itself with the second slide's picture and sound away (a disk
// not mounted): the file loses nothing, and the movie leaves them out.
TEST_F(CliProgramTest, ResaveOfAWrittenProjectKeepsItsBytes)
{
    CEditorSlideShow show;
    CPublishSettings publish;
    const std::string away = dir_.file("away.jpg"), sound = Write("away.wav", "RIFF");
    fs::copy_file(picture_, away);
    for (int i = 0; i < 3; ++i) {
        auto slide = std::make_unique<CSlide>(CSlide::kImage, &show);
        ASSERT_TRUE(slide->LoadImage(CPath(i == 1 ? away : picture_), &show, false));
        if (i == 1) {
            slide->GetSounds().SetInclude(1);
            slide->GetSounds().Get(0)->SetSrc(CPath(sound));
        }
        show.InsertSlide(std::move(slide), false);
    }
    show.SetFps(29.97);
    show.use_compression = true;
    ASSERT_TRUE(SaveProject(CPath(dir_.file("show.tvr")), show, publish));
    const std::string saved = ReadFile(dir_.file("show.tvr"));
    const ProgramResult r = Run({"--resave", "again.tvr", "show.tvr"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadFile(dir_.file("again.tvr")), saved);

    fs::remove(away);
    fs::remove(sound);
    const ProgramResult self = Run({"--resave", "show.tvr", "show.tvr"});
    EXPECT_EQ(self.exitCode, 0) << self.err;
    EXPECT_NE(self.err.find(":22: slide 2: src=\"" + away + "\": image file missing: slide kept as stored\n"),
              std::string::npos) << self.err;
    EXPECT_NE(self.err.find("slide 2: sound src=\"" + sound + "\": sound file missing: kept as stored\n"),
              std::string::npos) << self.err;
    EXPECT_EQ(ReadFile(dir_.file("show.tvr")), saved);
    const ProgramResult movie = Run({"show.tvr", "show.swf"});
    EXPECT_EQ(movie.exitCode, 0) << movie.err;
    EXPECT_NE(movie.out.find(", 2 slides, 1 skipped\n"), std::string::npos) << movie.out;
    EXPECT_EQ(movie.err.find("cannot be read"), std::string::npos) << movie.err;
    // The sound the movie goes without is not said to be made at another rate.
    EXPECT_EQ(movie.err.find("bit_rate"), std::string::npos) << movie.err;
}

TEST_F(CliProgramTest, SearchFindsAMovedImage)
{
    fs::create_directory(dir_.file("moved"));
    fs::rename(picture_, dir_.file("moved/a.jpg"));
    // A FIFO of the picture's name is no picture: passed over.
    fs::create_directory(dir_.file("fifos"));
    ASSERT_EQ(::mkfifo(dir_.file("fifos/a.jpg").c_str(), 0600), 0);
    Write("show.tvr", Project("", Slide(picture_)));
    struct Case {
        std::vector<std::string> search;
        std::string written, err;
    };
    const Case cases[] = {
        {{"--search", "moved"}, "src=\"" + dir_.file("moved/a.jpg") + "\"", ""},
        {{"--search", "fifos", "--search", "moved"}, "src=\"" + dir_.file("moved/a.jpg") + "\"", ""},
        {{"--search", "."}, "src=\"" + picture_ + "\"", "image file missing: slide kept as stored"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.search;
        args.insert(args.end(), {"--resave", "new.tvr", "show.tvr"});
        const ProgramResult r = Run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(ReadFile(dir_.file("new.tvr")).find(c.written), std::string::npos);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

TEST_F(CliProgramTest, SkinsComeFromTheResourcesFolder)
{
    fs::create_directories(dir_.file("res/Controls"));
    fs::copy_file(std::string(TAVREL_BUNDLE_DIR) + "/Contents/Resources/Controls/Classic.dll",
                  dir_.file("res/Controls/Classic.dll"));
    struct Case {
        std::string attributes;
        std::vector<std::string> resources;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {
        {" controls=\"true\" control_set=\"Classic\"", {"--resources", "res"}, {}},
        {" mute_control=\"true\" mute_control_set=\"Silver\"", {}, {}},  // the bundle's own
        {" controls=\"true\" control_set=\"Nope\" mute_control=\"true\"",
         {"--resources", "res"},
         {"show.tvr:3: control_set=\"Nope\": no such skin in " + dir_.file("res/Controls"),
          "show.tvr:3: mute_control_set is empty"}},
        // Each said at its attribute's own line.
        {"\ncontrols=\"true\"\ncontrol_set=\"Nope\"\nmute_control=\"true\" mute_control_set=\"\"",
         {"--resources", "res"},
         {"show.tvr:5: control_set=\"Nope\": no such skin", "show.tvr:6: mute_control_set is empty"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        Write("show.tvr", Project(c.attributes, Slide(picture_)));
        fs::remove(dir_.file("o.swf"));
        std::vector<std::string> args = c.resources;
        args.insert(args.end(), {"--strict", "show.tvr", "o.swf"});
        const ProgramResult r = Run(args);
        // Under --strict a warning stops the run before anything is written.
        EXPECT_EQ(r.exitCode == 4, !c.warnings.empty()) << r.err;
        EXPECT_EQ(r.err.find("no such skin") != std::string::npos, !c.warnings.empty()) << r.err;
        for (const auto& w : c.warnings) EXPECT_NE(r.err.find(w), std::string::npos) << r.err;
        if (!c.warnings.empty()) EXPECT_FALSE(IsThere(dir_.file("o.swf")));
    }
}

TEST_F(CliProgramTest, ExportWritesTheMovieAndSaysWhatItWrote)
{
    WriteShow("show.tvr", 3, " controls=\"true\" control_set=\"Nope\"");
    const ProgramResult r = Run({"show.tvr", "out.swf"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("control_set=\"Nope\": no such skin"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("out.swf: "), std::string::npos);
    EXPECT_NE(r.out.find(" frames, 3 slides, 0 skipped\n"), std::string::npos) << r.out;
    tavrel_test::ExpectDumpAccepts(dir_.file("out.swf"), {"DefineBitsJPEG2"});
    EXPECT_EQ(FilesIn(dir_.path()), (std::vector<std::string>{"a.jpg", "out.swf", "show.tvr"}));
}

// What cannot be replaced is written into once the movie is complete: a
// FIFO (its reader gets the movie), standard output, a device node. A link
// stays a link to its file, which is replaced, by the resave as by the movie.
// A file replaced keeps its mode, and owner and group where the run may set
// them; a run that may not (a plain user replacing root's file in a folder
// open to all) says so, and under --strict replaces nothing.
TEST_F(CliProgramTest, OutputsThatAreNoFileAreWrittenInto)
{
    WriteShow("show.tvr", 1);
    Write("real.tvr", "earlier");
    fs::create_symlink("real.tvr", dir_.file("link.tvr"));
    ASSERT_EQ(::mkfifo(dir_.file("fifo").c_str(), 0600), 0);
    const bool root = ::geteuid() == 0 && ::mknod(dir_.file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    struct Case {
        std::vector<std::string> args;
        std::string landed;  // where the bytes are read back; "" for standard output
        std::string begins;
        unsigned mode = 0;   // of the file there before, which it keeps
        std::string notKept = "";  // run as a plain user on root's file: what is said
    };
    fs::create_directory(dir_.file("open"));
    // The plain user must reach the program too: a checkout in a private
    // folder keeps it out, and those rows are not run there (said at the end).
    const bool otherUser = root && ::chmod(dir_.path().c_str(), 0755) == 0 &&
                           ::chmod(dir_.file("open").c_str(), 0777) == 0 &&
                           RunProgram({"--version"}, dir_.path(), {"RUN_AS_UID=" + std::to_string(kNobody)}).exitCode == 0;
    const Case cases[] = {
        {{"show.tvr", "/dev/stdout"}, "", "FWS"},
        {{"show.tvr", "fifo"}, "fifo", "FWS"},
        {{"--resave", "/dev/stdout", "show.tvr"}, "", "<xml"},
        {{"--resave", "fifo", "show.tvr"}, "fifo", "<xml"},
        {{"--resave", "link.tvr", "show.tvr"}, "real.tvr", "<xml", 0640},
        {{"show.tvr", "null"}, "null", ""},
        {{"show.tvr", "private.swf"}, "private.swf", "FWS", 0600},
        {{"show.tvr", "read-only.swf"}, "read-only.swf", "FWS", 0444},
        {{"--compress", "show.tvr", "private-c.swf"}, "private-c.swf", "CWS", 0600},
        {{"--compress", "show.tvr", "read-only-c.swf"}, "read-only-c.swf", "CWS", 0444},
        {{"--resave", "private.tvr", "show.tvr"}, "private.tvr", "<xml", 0600},
        {{"--resave", "read-only.tvr", "show.tvr"}, "read-only.tvr", "<xml", 0444},
        {{"show.tvr", "open/root.swf"}, "open/root.swf", "FWS", 0640,
         "show.tvr: open/root.swf: owner root and group daemon are not kept: the new file belongs to "},
        {{"--resave", "open/root.tvr", "show.tvr"}, "open/root.tvr", "<xml", 0644,
         "show.tvr: open/root.tvr: owner root and group daemon are not kept: the new file belongs to "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        if ((c.landed == "null" || !c.notKept.empty()) && !otherUser) continue;
        struct stat before {}, after {};
        if (c.mode) {
            if (!IsThere(dir_.file(c.landed))) Write(c.landed, "earlier");
            ASSERT_EQ(::chmod(dir_.file(c.landed).c_str(), c.mode), 0);
            // Only the superuser gives a file away: to user 1, or to root in group 1.
            if (root) ASSERT_EQ(::chown(dir_.file(c.landed).c_str(), c.notKept.empty() ? 1 : 0, 1), 0);
            ASSERT_EQ(::stat(dir_.file(c.landed).c_str(), &before), 0);
        }
        const std::vector<std::string> env =
            c.notKept.empty() ? std::vector<std::string>{} : std::vector<std::string>{"RUN_AS_UID=" + std::to_string(kNobody)};
        if (!c.notKept.empty()) {
            std::vector<std::string> strict = c.args;
            strict.insert(strict.begin(), "--strict");
            const ProgramResult refused = RunProgram(strict, dir_.path(), env);
            EXPECT_EQ(refused.exitCode, 4) << refused.err;
            EXPECT_NE(refused.err.find(c.notKept), std::string::npos) << refused.err;
            ASSERT_EQ(::stat(dir_.file(c.landed).c_str(), &after), 0);
            EXPECT_EQ(after.st_ino, before.st_ino);  // not replaced
        }
        std::string read;
        std::thread reader;
        if (c.landed == "fifo") reader = std::thread([&] { read = ReadFile(dir_.file("fifo")); });
        const ProgramResult r = RunProgram(c.args, dir_.path(), env);
        if (reader.joinable()) reader.join();
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err.find(c.notKept.empty() ? "not kept" : c.notKept) != std::string::npos, !c.notKept.empty())
            << r.err;
        const std::string bytes = c.landed.empty() ? r.out : c.landed == "fifo" ? read : ReadFile(dir_.file(c.landed));
        EXPECT_EQ(bytes.substr(0, c.begins.size()), c.begins);
        // What was written is said apart from it.
        const std::string said = (c.landed.empty() ? r.err : r.out);
        if (c.begins == "FWS") {
            EXPECT_NE(said.find(": " + std::to_string(bytes.size()) + " bytes"), std::string::npos) << said;
        }
        if (c.mode) {
            ASSERT_EQ(::stat(dir_.file(c.landed).c_str(), &after), 0);
            EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not written into
            EXPECT_EQ(after.st_mode & 07777, c.mode);
            EXPECT_EQ(after.st_uid, c.notKept.empty() ? before.st_uid : kNobody);
            EXPECT_EQ(after.st_gid, c.notKept.empty() ? before.st_gid : kNobody);
        }
    }
    EXPECT_TRUE(fs::is_fifo(dir_.file("fifo")));
    EXPECT_TRUE(fs::is_symlink(dir_.file("link.tvr")));
    if (!root)
        GTEST_SKIP() << "not root: no device node made with mknod, and no file of another owner to replace as a plain "
                        "user; the other outputs were tried";
    EXPECT_TRUE(fs::is_character_file(dir_.file("null")));
    if (!otherUser)
        GTEST_SKIP() << "user " << kNobody << " cannot run the program where it lies (a checkout in a private "
                     << "folder): the device node and root's files were not written; the other outputs were tried";
}

// As a plain user in a folder of their own (the tests drop to one when
// root): their own read-only files are replaced and stay read-only; links
// to files yet to be made make them and stay links; a file of an owner no
// name is known for is replaced with the owner said by number, once.
TEST_F(CliProgramTest, APlainUsersOwnFilesLinksAndOwners)
{
    const bool root = ::geteuid() == 0;
    const std::string home = dir_.file("home"), work = home + "/w";
    fs::create_directories(work + "/sub");
    std::vector<std::string> env;
    if (root) {
        env = {"RUN_AS_UID=" + std::to_string(kNobody)};
        for (const std::string& mine : {home, work, work + "/sub"}) ASSERT_EQ(::chown(mine.c_str(), kNobody, kNobody), 0);
        if (::chmod(dir_.path().c_str(), 0755) != 0 || RunProgram({"--version"}, work, env).exitCode != 0)
            GTEST_SKIP() << "user " << kNobody << " cannot run the program where it lies (a checkout in a private "
                         << "folder): nothing was tried";
    }
    auto own = [&](const std::string& path) { return !root || ::lchown(path.c_str(), kNobody, kNobody) == 0; };
    ASSERT_TRUE(WriteFile(work + "/show.tvr", Project("", Slide(picture_))) && own(work + "/show.tvr"));
    ASSERT_EQ(::symlink((work + "/sub/movie.swf").c_str(), (work + "/link.swf").c_str()), 0);
    ASSERT_EQ(::symlink("../target.tvr", (work + "/link.tvr").c_str()), 0);
    const struct {
        std::vector<std::string> args;
        std::string landed;  // relative to work
        std::string begins;
        unsigned mode = 0;  // of the earlier file, kept
        uid_t owner = 0;    // of the earlier file, when not the user's
    } rows[] = {
        {{"--compress", "show.tvr", "ro.swf"}, "ro.swf", "CWS", 0444},
        {{"--no-compress", "show.tvr", "ro-plain.swf"}, "ro-plain.swf", "FWS", 0444},
        {{"--resave", "ro.tvr", "show.tvr"}, "ro.tvr", "<xml", 0444},
        {{"--resave", "link.tvr", "show.tvr", "link.swf"}, "sub/movie.swf", "FWS"},
        {{"--resave", "link.tvr", "show.tvr"}, "../target.tvr", "<xml"},
        {{"show.tvr", "theirs.swf"}, "theirs.swf", "FWS", 0644, 54321},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        const std::string landed = work + "/" + row.landed;
        if (row.owner && !root) continue;
        if (row.mode) {
            ASSERT_TRUE(WriteFile(landed, "earlier") && own(landed));
            if (row.owner) ASSERT_EQ(::chown(landed.c_str(), row.owner, row.owner), 0);
            ASSERT_EQ(::chmod(landed.c_str(), row.mode), 0);
        }
        const ProgramResult r = RunProgram(row.args, work, env);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err.find("not kept") != std::string::npos, row.owner != 0) << r.err;
        if (row.owner)
            EXPECT_NE(r.err.find("show.tvr: theirs.swf: owner 54321 and group 54321 are not kept: the new file belongs to "),
                      std::string::npos)
                << r.err;
        EXPECT_EQ(ReadFile(landed).substr(0, row.begins.size()), row.begins);
        struct stat st {};
        ASSERT_EQ(::stat(landed.c_str(), &st), 0);
        if (row.mode) EXPECT_EQ(st.st_mode & 07777, row.mode);
        EXPECT_EQ(st.st_uid, root ? kNobody : ::geteuid());
    }
    EXPECT_TRUE(fs::is_symlink(work + "/link.swf"));
    EXPECT_TRUE(fs::is_symlink(work + "/link.tvr"));
    // Nothing beside what was written.
    std::vector<std::string> written = {"link.swf", "link.tvr",      "ro-plain.swf", "ro.swf",
                                        "ro.tvr",   "show.tvr",      "sub/movie.swf"};
    if (root) written.push_back("theirs.swf");
    EXPECT_EQ(FilesIn(work), written);
    if (!root) GTEST_SKIP() << "not root: no file of an unknown owner to replace; the rest ran as this user";
}

// Pictures and sounds the program may not read are said with the
// system's reason, each where it stands; the run goes on without them. As
// root the run is a plain user's, where that user can reach the program.
TEST_F(CliProgramTest, FilesItMayNotReadAreSaidWithTheReason)
{
    const bool root = ::geteuid() == 0;
    fs::copy_file(picture_, dir_.file("locked.jpg"));
    ASSERT_TRUE(tavrel_test::WriteTone(dir_.file("locked.wav"), tavrel_test::kWav16, 22050, 1, 22050, 440));
    Write("show.tvr", show_test::WrapShow("<slide_show use_bg_image=\"true\" bg_image=\"locked.jpg\">\n<slides>\n" +
                                          Slide("locked.jpg") + Slide("a.jpg") +
                                          "</slides>\n<sound_data include=\"true\">\n<sound src=\"locked.wav\" "
                                          "/>\n</sound_data>\n</slide_show>\n"));
    for (const char* name : {"locked.jpg", "locked.wav"}) ASSERT_EQ(::chmod(dir_.file(name).c_str(), 0), 0);
    std::vector<std::string> env;
    if (root) {
        env = {"RUN_AS_UID=" + std::to_string(kNobody)};
        if (::chmod(dir_.path().c_str(), 0777) != 0 || ::chmod(picture_.c_str(), 0644) != 0 ||
            ::chmod(dir_.file("show.tvr").c_str(), 0644) != 0 || RunProgram({"--version"}, dir_.path(), env).exitCode != 0)
            GTEST_SKIP() << "user " << kNobody << " cannot run the program where it lies";
    }
    const std::string denied = " (cannot be opened: Permission denied)";
    const ProgramResult r = RunProgram({"show.tvr", "o.swf"}, dir_.path(), env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const std::string& line :
         {"show.tvr:3: bg_image=\"locked.jpg\" cannot be read" + denied + ": the movie has no background image\n",
          "show.tvr:5: slide 1: picture \"locked.jpg\" cannot be read or encoded" + denied +
              ": slide left out of the movie\n",
          "show.tvr:11: sound \"locked.wav\" cannot be read" + denied + ": the movie goes without it\n"})
        EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;
    EXPECT_NE(r.out.find(", 1 slide, 1 skipped\n"), std::string::npos) << r.out;
}

// The frames the program warns about are the movie's own, to the frame:
// no margin per slide warns about short shows or refuses long ones. A
// slide's milliseconds become frames cut down, a transition's rounded, and
// the movie's last frame, which stops or loops it, adds one.
TEST_F(CliProgramTest, FrameCountsAreTheMoviesOwn)
{
    auto repeat = [](int n, const std::string& text) {
        std::string all;
        for (int i = 0; i < n; ++i) all += text;
        return all;
    };
    struct Case {
        const char* name;
        std::string slides;
        int frames;
        bool warned;
        const char* show = "";
        const char* settings = "";  // swf_data's attributes
    };
    auto blank = [](int ms, const std::string& inside = "") {
        return "<slide type=\"blank\" duration=\"" + std::to_string(ms) + "\">\n" + inside + "</slide>\n";
    };
    const std::string paused = blank(1000, "<click_actions pause_after=\"true\" />\n");
    const char* controls = " fps=\"10\" controls=\"true\" control_set=\"Classic\"";
    auto fadeOf = [](int ms) {
        return "<transition_in>\n<transition name=\"Fade In\" duration=\"" + std::to_string(ms) +
               "\" />\n</transition_in>\n";
    };
    const Case cases[] = {
        {"blank.tvr", repeat(1000, "<slide type=\"blank\" duration=\"1250\" />\n"), 15001, false},
        {"longest.tvr", repeat(5400, "<slide type=\"blank\" duration=\"1000\" />\n"), 64801, true},
        {"camera.tvr",
         Slide(picture_, "<pan_zoom>\n" + repeat(16000, "<camera_fx name=\"none\" duration=\"0\" />\n") +
                             "</pan_zoom>\n"),
         25, false},
        {"fades.tvr", repeat(700, blank(2000, fadeOf(1000))), 25201, true},
        {"cut down.tvr", blank(1099), 10 + 1, false, " fps=\"10\""},
        {"whole.tvr", blank(1100), 11 + 1, false, " fps=\"10\""},
        {"rounded up.tvr", blank(1000) + blank(1000, fadeOf(1050)), 10 + 11 + 10 + 1, false, " fps=\"10\""},
        {"rounded down.tvr", blank(1000) + blank(1000, fadeOf(1049)), 10 + 10 + 10 + 1, false, " fps=\"10\""},
        {"camera rounded.tvr", Slide(picture_, "<pan_zoom>\n<camera_fx duration=\"1050\" />\n</pan_zoom>\n"), 20 + 11 + 1, false,
         " fps=\"10\""},
        // A frame where the movie starts, for its controls or a start that
        // waits (two for a timed wait); one for the preloader; one for
        // each pause after a slide.
        {"controls.tvr", blank(1000), 10 + 1 + 1, false, controls},
        {"paused.tvr", paused + paused, 10 + 1 + 10 + 1 + 1, false, " fps=\"10\""},
        {"stopped.tvr", blank(1000), 1 + 10 + 1, false, controls, " movie_start_action=\"stop_on_first_frame\""},
        {"waits.tvr", blank(1000), 2 + 10 + 1, false, " fps=\"10\"",
         " movie_start_action=\"play_after_pause\" pause_time=\"500\""},
        {"all.tvr", paused, 1 + 2 + 10 + 1 + 1, false, controls,
         " preload=\"true\" movie_start_action=\"play_after_pause\" pause_time=\"500\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.name, *c.settings ? show_test::WrapShow("<slide_show" + std::string(c.show) + ">\n<slides>\n" +
                                                         c.slides + "</slides>\n<swf_data" + c.settings +
                                                         " />\n</slide_show>\n")
                                   : Project(c.show, c.slides));
        const ProgramResult r = Run({c.name, "o.swf"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string frames = std::to_string(c.frames) + " frames";
        EXPECT_NE(r.out.find(", " + frames + ", "), std::string::npos) << r.out;
        if (c.warned)
            EXPECT_NE(r.err.find("the movie has " + frames + ", more than 16000"), std::string::npos) << r.err;
        else
            EXPECT_EQ(r.err, "");
    }
}

// The counting rule users are given, applied to every transition kind on
// the first slide, with the movie played once and looped: kinds that need
// a slide before them write nothing into the first slide; halves and
// quarters are whole; a looping movie of two slides or more plays the
// first slide's transition again, from the last slide, at its end.
TEST_F(CliProgramTest, FirstSlideTransitionsCountAsTheUsersRuleSays)
{
    // Each kind as written: its name and, for Window, its type.
    const std::set<std::string> needSlideBefore = {
        "Blinds Out", "Blur Out", "Cross Scale", "Fade Out", "Page Flip", "Slide Open", "Slide Out To",
        "Slide Triangle Open", "Spin Out", "Wipe Off", "Zoom Out", "Window\" type=\"square_close"};
    const char* kinds[] = {"Blinds In",   "Blinds Out",  "Blur In",        "Blur Out",      "Checker",
                           "Circular Sweep On", "Color Fade", "Cross Fade", "Cross Scale",  "Curtain",
                           "Fade In",     "Fade Out",    "None",           "Page Flip",     "Push",
                           "Slide Close", "Slide In From", "Slide Open",   "Slide Out To",  "Slide Triangle Open",
                           "Sliding Bars", "Spin In",    "Spin Out",       "Window\" type=\"square_close",
                           "Window\" type=\"circle_open", "Wipe Off",   "Wipe On",       "Wipe On 2",
                           "Zoom In",     "Zoom Out"};
    // 1,050 ms at 10 fps: 11 frames, 10 in halves, 8 in quarters.
    auto written = [](const std::string& kind) {
        if (kind == "None") return 0;
        if (kind == "Color Fade" || kind == "Page Flip") return 10;
        if (kind == "Circular Sweep On") return 8;
        return 11;
    };
    const std::string second = "<slide type=\"blank\" duration=\"1099\" />\n";
    for (const char* kind : kinds) {
        SCOPED_TRACE(kind);
        const std::string first = "<slide type=\"blank\" duration=\"1099\">\n<transition_in>\n<transition name=\"" +
                                  std::string(kind) + "\" duration=\"1050\" />\n</transition_in>\n</slide>\n";
        const int once = (needSlideBefore.count(kind) ? 0 : written(kind)) + 10 + 10 + 1;
        for (const char* loop : {"none", "forever"}) {
            Write("kinds.tvr", show_test::WrapShow("<slide_show fps=\"10\">\n<slides>\n" + first + second +
                                                   "</slides>\n<swf_data loop=\"" + loop + "\" />\n</slide_show>\n"));
            const ProgramResult r = Run({"--strict", "kinds.tvr", "o.swf"});
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const int frames = once + (std::string(loop) == "none" ? 0 : written(kind));
            EXPECT_NE(r.out.find(", " + std::to_string(frames) + " frames, "), std::string::npos) << loop << " " << r.out;
        }
    }
}

// Every camera_fx is a pan and zoom whatever its name, and no name is
// said: the movies are the same to the byte, and differ from the still
// slide's.
TEST_F(CliProgramTest, CameraMovesArePansAndZoomsWhateverTheirName)
{
    std::vector<std::string> movies;
    for (const std::string name : {"pan_zoom", "none", "Ken Burns", ""}) {
        SCOPED_TRACE(name);
        const std::string move = name.empty() ? "" : "<pan_zoom>\n<camera_fx name=\"" + name +
                                                         "\" duration=\"1000\" pan_x=\"400\" zoom=\"1.5\" />\n</pan_zoom>\n";
        Write("move.tvr", Project("", Slide(picture_, move)));
        const ProgramResult r = Run({"--strict", "move.tvr", "move.swf"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        movies.push_back(ReadFile(dir_.file("move.swf")));
        ASSERT_FALSE(movies.back().empty());
    }
    EXPECT_EQ(movies[1], movies[0]);
    EXPECT_EQ(movies[2], movies[0]);
    EXPECT_NE(movies[3], movies[0]);
}

// The frames counted ahead of the export are those of the movie written:
// a slide whose picture cannot be read is not counted, each transition is
// counted from the slide written before it and the loop back goes into the
// first slide written.
TEST_F(CliProgramTest, FrameCountsLeaveOutSlidesWhosePicturesCannotBeRead)
{
    const uint8_t opaque[4] = {255, 255, 255, 255};
    ASSERT_TRUE(picture_test::WritePng(dir_.file("good.png"), 32, 24, picture_test::Quarters(32, 24, opaque), false));
    // The signature and the header chunk, and nothing of the pixels.
    Write("cut.png", ReadFile(dir_.file("good.png")).substr(0, 33));
    auto slide = [](const std::string& src, int ms, const std::string& transition = "") {
        return "<slide type=\"image\" src=\"" + src + "\" duration=\"" + std::to_string(ms) + "\" >\n" +
               (transition.empty() ? "" : "<transition_in>\n" + transition + "\n</transition_in>\n") + "</slide>\n";
    };
    auto show = [](const std::string& slides, const std::string& loop = "none") {
        return show_test::WrapShow("<slide_show fps=\"60\">\n<slides>\n" + slides + "</slides>\n<swf_data loop=\"" +
                                   loop + "\" />\n</slide_show>\n");
    };
    auto fade = [](const char* kind, int ms) {
        return "<transition name=\"Fade " + std::string(kind) + "\" duration=\"" + std::to_string(ms) + "\" />";
    };
    struct Case {
        const char* name;
        std::string project;
        int frames, skipped;
    };
    const Case cases[] = {
        {"two long slides cut.tvr",
         show(slide("good.png", 1000) + slide("cut.png", 600000) + slide("good.png", 1000, fade("In", 1000)) +
              slide("cut.png", 600000)),
         181, 2},
        {"one long slide cut.tvr",
         show(slide("good.png", 1000) + slide("good.png", 1000, fade("In", 1000)) + slide("cut.png", 300000)), 181, 1},
        // Fade Out writes no frame without a slide before it.
        {"first slide cut.tvr",
         show(slide("cut.png", 1000) + slide("good.png", 1000, fade("Out", 300000)) + slide("good.png", 1000)), 121, 1},
        {"first slide cut, looped.tvr",
         show(slide("cut.png", 1000, fade("In", 300000)) + slide("good.png", 1000) + slide("good.png", 1000),
              "forever"),
         121, 1},
    };
    // swf-dump reads each movie's frame counts back.
    const std::string swfDump = tavrel_test::SwfToolPath("swf-dump");
    std::string unchecked = swfDump.empty() ? tavrel_test::MissingSwfTool("swf-dump") : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.name, c.project);
        fs::remove(dir_.file("o.swf"));
        const ProgramResult r = Run({c.name, "o.swf"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const std::string frames = std::to_string(c.frames);
        EXPECT_NE(r.out.find(", " + frames + " frames, 2 slides, " + std::to_string(c.skipped) + " skipped\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.err.find(" frames, more than 16000"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("cut.png\" cannot be read or encoded (PNG data ends early): slide left out of the movie"), std::string::npos)
            << r.err;
        const tavrel_test::ToolResult dump =
            unchecked.empty() ? tavrel_test::RunCommand("'" + swfDump + "' --compact '" + dir_.file("o.swf") + "'")
                              : tavrel_test::ToolResult{};
        if (dump.exitCode == 3) unchecked = "swf-dump dependencies missing: " + dump.output;
        if (unchecked.empty()) {
            EXPECT_EQ(dump.exitCode, 0) << dump.output;
            EXPECT_NE(dump.output.find("\"frameCount\":" + frames + ",\"showFrames\":" + frames + ","),
                      std::string::npos)
                << dump.output;
        }

        // Under --strict the slide left out is the one warning.
        const ProgramResult strict = Run({"--strict", c.name, "o.swf"});
        EXPECT_EQ(strict.exitCode, 4) << strict.err;
        EXPECT_EQ(strict.err.find(" frames, more than 16000"), std::string::npos) << strict.err;
        EXPECT_NE(strict.err.find(c.skipped == 1 ? "tavrel: 1 warning under" : "tavrel: 2 warnings under"),
                  std::string::npos)
            << strict.err;
    }
    if (!unchecked.empty()) GTEST_SKIP() << unchecked << ": frame counts not read back";
}

// A picture whose file is whole but whose compressed data is wrong is seen
// only when it is decoded: the slide counted on is then written black, and
// said to be, so that the movie still has the frames the count promised.
TEST_F(CliProgramTest, PictureThatFailsToDecodeIsWrittenBlack)
{
    auto chunk = [](const std::string& type, const std::string& data) {
        std::string body = type + data;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
        auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
        return be32(uint32_t(data.size())) + body + be32(uint32_t(crc));
    };
    Write("broken.png", std::string("\x89PNG\r\n\x1a\n", 8) +
                            chunk("IHDR", std::string("\0\0\0\x10\0\0\0\x0c\x08\x02\0\0\0", 13)) +
                            chunk("IDAT", "no compressed stream") + chunk("IEND", ""));
    auto show = [&](const std::string& name, int ms) {
        Write(name,
              show_test::WrapShow("<slide_show width=\"64\" height=\"48\" fps=\"60\" bg_color=\"16777215\">\n"
                                  "<slides>\n<slide type=\"image\" src=\"broken.png\" duration=\"" +
                                  std::to_string(ms) + "\" />\n" + Slide(picture_) + "</slides>\n</slide_show>\n"));
    };
    const std::string black = "broken.png\" is damaged (no pixels could be decoded): the slide shows black";
    show("long.tvr", 300000);
    const ProgramResult r = Run({"long.tvr", "o.swf"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("long.tvr: the movie has 18121 frames, more than 16000"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(black), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(", 18121 frames, 2 slides, 0 skipped\n"), std::string::npos) << r.out;

    show("short.tvr", 1000);
    const ProgramResult strict = Run({"--strict", "short.tvr", "o.swf"});
    EXPECT_EQ(strict.exitCode, 4) << strict.err;
    EXPECT_NE(strict.err.find(black), std::string::npos) << strict.err;
    ASSERT_EQ(Run({"short.tvr", "o.swf"}).exitCode, 0);
    // Black where the picture would be, on the white of the show.
    tavrel_test::ExpectShotPixels(dir_.file("o.swf"), 1, {{32, 24, 0x000000, 8}, {2, 2, 0x000000, 8}});
}

// A slide's display time is kept as the file gives it; a show that cannot
// be one movie is refused by the export.
TEST_F(CliProgramTest, LongDurationsAreKeptAndRefusedByTheExport)
{
    Write("long.tvr", Project("", "<slide type=\"blank\" duration=\"6000000\" />\n"));
    const ProgramResult r = Run({"--resave", "again.tvr", "long.tvr", "o.swf"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.err.find("export to o.swf failed: the show is too long for one movie"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("duration"), std::string::npos) << r.err;
    // No word of how players play a movie that is not written.
    EXPECT_EQ(r.err.find("players may play it badly"), std::string::npos) << r.err;
    EXPECT_NE(ReadFile(dir_.file("again.tvr")).find(" duration=\"6000000\" "), std::string::npos);
    EXPECT_FALSE(IsThere(dir_.file("o.swf")));
}

// Text written by hand in UTF-8 comes into the show's own character set
// (Mac Roman), which --resave writes as references; references keep the
// byte they name, paths their file-system bytes, and bytes that are not
// UTF-8 are the show's own.
TEST_F(CliProgramTest, UnicodeTextComesInTheShowsCharacterSet)
{
    fs::copy_file(picture_, dir_.file("Bild-\u00e4.jpg"));
    const std::string umlaut = dir_.file("Bild-\u00e4.jpg");
    auto caption = [](const std::string& txt) {
        return "<caption_data>\n<caption txt=\"" + txt + "\" />\n</caption_data>\n";
    };
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {"raw.tvr", Project("", Slide(umlaut, caption("Caf\u00e9 Gr\u00f6\u00dfe \u20ac5 &#xe9;"))),
         {"Bild-&#xc3;&#xa4;.jpg", "txt=\"Caf&#x8e; Gr&#x9a;&#xa7;e &#xdb;5 &#xe9;\""}},
        {"roman.tvr", Project("", Slide(picture_, caption("Caf\x8e &#xe9;"))), {"txt=\"Caf&#x8e; &#xe9;\""}},
        {"declared.tvr",
         "<xml version=\"1.0\" encoding=\"UTF-8\">\n<tavrel>\n<slide_show>\n<slides>\n" +
             Slide(picture_, "<caption_data>\n<caption txt=\"Caf\u00e9\" />\n<caption txt=\"Caf\x8e\" />\n"
                             "</caption_data>\n") +
             "</slides>\n</slide_show>\n</tavrel>\n</xml>\n",
         {"txt=\"Caf&#x8e;\" fnt_name", "txt=\"Caf&#x8e;\" fnt_name"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.name, c.text);
        const ProgramResult r = Run({"--strict", "--resave", "again.tvr", c.name});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::string written = ReadFile(dir_.file("again.tvr"));
        size_t from = 0;
        for (const std::string& text : c.written) {
            from = written.find(text, from);
            ASSERT_NE(from, std::string::npos) << text << "\n" << written;
            ++from;
        }
    }
}

TEST_F(CliProgramTest, BarOnlyOnATerminal)
{
    WriteShow("show.tvr", 20);
    const ProgramResult onPipe = Run({"show.tvr", "pipe.swf"});
    ASSERT_EQ(onPipe.exitCode, 0) << onPipe.err;
    EXPECT_EQ(onPipe.err, "");
    const ProgramResult onTerminal = Program({"show.tvr", "tty.swf"}, dir_.path(), true).Wait();
    ASSERT_EQ(onTerminal.exitCode, 0) << onTerminal.out;
    EXPECT_NE(onTerminal.out.find("\rslide 20 of 20 [##############################] 100%"), std::string::npos)
        << onTerminal.out;
    // The bar's line is cleared before the summary.
    EXPECT_NE(onTerminal.out.find("\r\033[Ktty.swf: "), std::string::npos) << onTerminal.out;
}

// The files under folder that the program pid holds open, by their names
// there ("#inode (deleted)" for one without a name), each with a path that
// opens it.
struct HeldFile {
    std::string name, path;
};
std::vector<HeldFile> HeldFilesUnder(pid_t pid, const std::string& folder)
{
    std::vector<HeldFile> held;
    std::error_code ec;
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& e : fs::directory_iterator(fds, ec)) {
        const std::string to = fs::read_symlink(e.path(), ec).string();
        if (!ec && to.rfind(folder + "/", 0) == 0) held.push_back({to.substr(folder.size() + 1), e.path().string()});
    }
    return held;
}

// The environment of a run on file systems without unnamed files.
const std::vector<std::string> kNoUnnamedFiles = {"LD_PRELOAD=" TAVREL_NO_UNNAMED_FILES,
                                                  "ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0"};

// Whether signal was sent to the process pid and not yet taken.
bool SignalPending(pid_t pid, int signal)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("ShdPnd:", 0) == 0 || line.rfind("SigPnd:", 0) == 0)
            if (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) return true;
    return false;
}

// Whether the process pid is stopped (SIGSTOP).
bool Stopped(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(')');
    return end != std::string::npos && end + 2 < line.size() && line[end + 2] == 'T';
}

TEST_F(CliProgramTest, InterruptLeavesNoMovieAndNoTemporaryFile)
{
    picture_ = show_test::WriteJpeg(dir_, "a.jpg", 1600, 1200);
    WriteShow("show.tvr", 200);
    WriteShow("short.tvr", 4);
    // A project of 40,000 slides (9 MB), read and written back a while.
    {
        ASSERT_FALSE(show_test::WriteJpeg(dir_, "b.jpg", 64, 48).empty());
        std::string slides;
        for (int i = 0; i < 40000; ++i) slides += Slide("b.jpg");
        Write("big.tvr", Project("", slides));
    }
    // A show whose two-minute sound is exported a while into the temporary folder.
    ASSERT_TRUE(tavrel_test::RunFfmpeg(
        "-f lavfi -i 'sine=frequency=440:sample_rate=44100:duration=120' -ac 2 -c:a libmp3lame -b:a 128k",
        dir_.file("tune.mp3")));
    std::string tune = Project("", Slide(picture_) + Slide(picture_));
    tune.insert(tune.find("</slide_show>"),
                "<sound_data include=\"true\">\n<sound src=\"tune.mp3\" />\n</sound_data>\n");
    Write("tune.tvr", tune);
    // Compressed a while: 10 MB of movie.
    WriteNoiseShow("noise.tvr", 30);
    fs::create_directory(dir_.file("tmp"));
    enum Fifo { kNone, kNoReader, kStalledReader };  // OUTPUT is a FIFO
    struct Case {
        int signals;
        bool earlier;          // an earlier movie stands at OUTPUT
        std::string compress;  // through a temporary file in the work folder
        Fifo fifo = kNone;
        // Sent once the program holds a new file beginning so, beside
        // OUTPUT or in the temporary folder: the plain movie, the movie being
        // compressed, a sound being exported, the project written back.
        std::string head = "FWS";
        bool inTemp = false;
        int signal = SIGINT;
        std::string show = "show.tvr";
        bool named = false;  // on file systems without unnamed files, as NFS or FAT
        // With --resave new.tvr (an earlier one there); OUTPUT too when asked.
        bool resave = false;
        bool output = true;
        // Sent once the program holds this file it reads instead.
        std::string reading = "";
    };
    const Case cases[] = {
        {1, true, "--compress", kNone, "FWS", true},
        {1, false, "--no-compress"},
        {2, true, "--no-compress"},
        {1, true, "--no-compress", kNoReader, "FWS", true, SIGTERM, "short.tvr"},
        {1, true, "--no-compress", kStalledReader, "", false, SIGTERM, "short.tvr"},
        // The second while the movie is compressed beside OUTPUT.
        {2, true, "--compress", kNone, "CWS", false, SIGINT, "noise.tvr"},
        // Killed: the movie beside OUTPUT, the plain movie and the
        // compressed one, a sound's AIFF in the temporary folder.
        {1, true, "--no-compress", kNone, "FWS", false, SIGKILL},
        {1, true, "--compress", kNone, "CWS", false, SIGKILL, "noise.tvr"},
        {1, false, "--compress", kNone, "FORM", true, SIGKILL, "tune.tvr"},
        // Named files: the second signal removes them; a kill leaves only
        // the movie's beside OUTPUT.
        {2, true, "--compress", kNone, "CWS", false, SIGINT, "noise.tvr", true},
        {1, true, "--compress", kNone, "CWS", false, SIGKILL, "noise.tvr", true},
        // A closed terminal and Ctrl-\ end a run as SIGTERM does, named
        // files and all.
        {1, true, "--compress", kNone, "CWS", false, SIGHUP, "noise.tvr", true},
        {1, true, "--compress", kNone, "FWS", true, SIGQUIT, "noise.tvr", true},
        {1, false, "--compress", kNone, "FORM", true, SIGHUP, "tune.tvr", true},
        {2, false, "--compress", kNone, "FORM", true, SIGQUIT, "tune.tvr", true},
        // A --resave run stops while it reads and while it writes the
        // project back: the earlier one stays, and OUTPUT is not made.
        {1, true, "", kNone, "", false, SIGINT, "big.tvr", false, true, false, "b.jpg"},
        {1, true, "", kNone, "<xml", false, SIGTERM, "big.tvr", false, true, false},
        {1, true, "", kNone, "<xml", false, SIGHUP, "big.tvr", true, true, false},
        {1, true, "--no-compress", kNone, "<xml", false, SIGINT, "big.tvr", false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signals);
        SCOPED_TRACE(c.compress);
        SCOPED_TRACE(c.fifo);
        SCOPED_TRACE(c.head + c.reading + " " + std::to_string(c.signal) + (c.named ? " named" : ""));
        fs::remove(dir_.file("out.swf"));
        if (c.fifo)
            ASSERT_EQ(::mkfifo(dir_.file("out.swf").c_str(), 0600), 0);
        else if (c.earlier)
            Write("out.swf", "earlier movie");
        if (c.resave) Write("new.tvr", "earlier project");
        const std::vector<std::string> before = FilesIn(dir_.path());
        // A reader that opens the FIFO and reads nothing; its pipe holds
        // less than the movie.
        const int stalled = c.fifo == kStalledReader ? ::open(dir_.file("out.swf").c_str(), O_RDONLY | O_NONBLOCK) : -1;
        const int room = stalled >= 0 ? ::fcntl(stalled, F_SETPIPE_SZ, 4096) : 0;
        std::vector<std::string> env = {"TMPDIR=" + dir_.file("tmp")};
        if (c.named) env.insert(env.end(), kNoUnnamedFiles.begin(), kNoUnnamedFiles.end());
        std::vector<std::string> args = {"--quiet"};
        if (!c.compress.empty()) args.push_back(c.compress);
        if (c.resave) args.insert(args.end(), {"--resave", "new.tvr"});
        args.push_back(c.show);
        if (c.output) args.push_back("out.swf");
        Program program(args, dir_.path(), false, env);
        // Whether the run is where the row stops it: the new file being
        // written (it may have no name: it is seen among the files the
        // program holds open), or the file it reads; with a FIFO, the run
        // waiting on it: the movie complete (its length patched in), or
        // the pipe full.
        auto there = [&] {
            // A file may go between the listing and its size: no error then.
            for (const HeldFile& file : HeldFilesUnder(program.Pid(), dir_.path())) {
                if (!c.reading.empty()) {
                    if (file.name == c.reading) return true;
                    continue;
                }
                std::error_code ec;
                const auto size = fs::file_size(file.path, ec);
                const bool inTemp = file.name.rfind("tmp/", 0) == 0;
                if (std::find(before.begin(), before.end(), file.name) != before.end() || ec || size == 0 ||
                    inTemp != c.inTemp)
                    continue;
                uint8_t head[8] = {};
                std::ifstream(file.path, std::ios::binary).read(reinterpret_cast<char*>(head), 8);
                const uint32_t length = head[4] | head[5] << 8 | head[6] << 16 | uint32_t(head[7]) << 24;
                if (std::string(reinterpret_cast<char*>(head), c.head.size()) == c.head &&
                    (c.fifo != kNoReader || length == size))
                    return true;
            }
            int queued = 0;
            return stalled >= 0 && ::ioctl(stalled, FIONREAD, &queued) == 0 && room > 0 && queued >= room;
        };
        // Seen, then looked at again with the program stopped, so that the
        // signal comes where the row says however busy the machine is.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        bool stopped = false;
        while (!stopped && std::chrono::steady_clock::now() < until) {
            if (there()) {
                kill(program.Pid(), SIGSTOP);
                while (!Stopped(program.Pid()) && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                stopped = there();
                if (!stopped) kill(program.Pid(), SIGCONT);
            }
            if (!stopped) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!stopped) kill(program.Pid(), SIGCONT);
        ASSERT_TRUE(stopped);
        if (c.fifo == kNoReader) {
            kill(program.Pid(), SIGCONT);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        for (int i = 0; i < c.signals; ++i) {
            kill(program.Pid(), c.signal);
            if (i == 0) kill(program.Pid(), SIGCONT);
            // Not sent again while pending: two would be taken for one.
            for (int wait = 0; wait < 200 && SignalPending(program.Pid(), c.signal); ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const ProgramResult r = program.Wait();
        if (stalled >= 0) ::close(stalled);
        EXPECT_EQ(r.exitCode, c.signal == SIGKILL ? 128 + SIGKILL : 130) << r.err;
        if (c.fifo) {
            const std::string said = c.fifo == kNoReader ? "out.swf was not written" : "out.swf got only part of the movie";
            EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        } else if (c.earlier) {
            EXPECT_EQ(ReadFile(dir_.file("out.swf")), "earlier movie");
        }
        if (c.resave) {
            EXPECT_EQ(ReadFile(dir_.file("new.tvr")), "earlier project");
            const std::string said = c.output ? "cancelled; new.tvr and out.swf were not written\n"
                                              : "cancelled; new.tvr was not written\n";
            EXPECT_EQ(r.err, "tavrel: " + said);
        }
        // Nothing beside OUTPUT, nothing in the temporary folder; killed
        // where files must have names, the movie's hidden one.
        std::vector<std::string> left = FilesIn(dir_.path());
        if (c.named && c.signal == SIGKILL) {
            const auto hidden = std::find_if(left.begin(), left.end(), [](const std::string& name) {
                return name.size() == 15 && name.rfind(".out.swf.", 0) == 0;
            });
            ASSERT_NE(hidden, left.end()) << testing::PrintToString(left);
            fs::remove(dir_.file(*hidden));
            left.erase(hidden);
        }
        EXPECT_EQ(left, before);
    }
}

// Set in a run of one test in a mount namespace of its own, where it may
// mount small file systems.
constexpr const char* kPrivateMounts = "TAVREL_TEST_PRIVATE_MOUNTS";

// Runs the current test again in a mount namespace of its own (unshare -m;
// -rm, as root of its own user namespace, for a user who is not root), and
// checks that it passed there. Why it cannot, where it cannot.
std::string RunInPrivateMounts()
{
    const std::string unshare = ::geteuid() == 0 ? "unshare -m" : "unshare -rm";
    const auto probe = tavrel_test::RunCommand(unshare + " sh -c 'mount -t tmpfs -o size=1m tmpfs /tmp' 2>&1");
    if (probe.exitCode != 0) return "no small file system can be mounted here (" + unshare + "): " + probe.output;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::error_code ec;
    const std::string self = fs::read_symlink("/proc/self/exe", ec).string();
    // The outer run's report and shards are its own.
    const auto inner = tavrel_test::RunCommand(
        "env -u GTEST_OUTPUT -u GTEST_TOTAL_SHARDS -u GTEST_SHARD_INDEX " + std::string(kPrivateMounts) + "=1 " +
        unshare + " '" + self + "' --gtest_filter=" + test->test_suite_name() + "." + test->name() + " 2>&1");
    EXPECT_EQ(inner.exitCode, 0) << inner.output;
    EXPECT_NE(inner.output.find("[  PASSED  ] 1 test"), std::string::npos) << inner.output;
    return "";
}

// A tmpfs of megabytes at folder, for the life of the guard.
struct SmallDisk {
    SmallDisk(const std::string& folder, int megabytes) : folder(folder)
    {
        fs::create_directories(folder);
        const std::string size = "size=" + std::to_string(megabytes) + "m";
        mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted) ::umount2(folder.c_str(), MNT_DETACH);
    }
    std::string folder;
    bool mounted = false;
};

// A full disk fails the run as a failed write, with the system's reason
// said once: the folder of OUTPUT (the movie, or the compressed movie), or
// the temporary folder (the plain movie before compression, the pictures
// planned for movie slides, a sound while it is encoded). Nothing is left
// there, and an earlier OUTPUT stays.
// Two signals while a finished result takes its name: it stays, and the
// run says what is in place. The run's last result ends it with its line
// and exit 0; the project written back before a movie is said, and the
// movie's stage is the one cancelled (exit 130).
TEST_F(CliProgramTest, SignalsWhileAResultTakesItsName)
{
    WriteShow("show.tvr", 1);
    const std::string mark = dir_.file("renaming");
    const struct {
        std::vector<std::string> args;
        const char* held;  // the rename held
        int exitCode;
        std::vector<std::string> said;  // on standard output, then error
        std::vector<std::string> replaced;
    } rows[] = {
        {{"show.tvr", "out.swf"}, "out.swf", 0, {"out.swf: ", ""}, {"out.swf"}},
        {{"--resave", "new.tvr", "show.tvr"}, "new.tvr", 0, {"new.tvr: project written\n", ""}, {"new.tvr"}},
        {{"--resave", "new.tvr", "show.tvr", "out.swf"},
         "new.tvr",
         130,
         {"new.tvr: project written\n", "tavrel: cancelled; out.swf was not written\n"},
         {"new.tvr"}},
    };
    for (bool named : {false, true})
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::PrintToString(row.args) + (named ? " named" : ""));
            for (const char* name : {"out.swf", "new.tvr"}) Write(name, "earlier");
            ::unlink(mark.c_str());
            std::vector<std::string> env = {"LD_PRELOAD=" TAVREL_SLOW_RENAME,
                                            "ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0",
                                            "TAVREL_SLOW_RENAME_TO=/" + std::string(row.held),
                                            "TAVREL_SLOW_RENAME_MARK=" + mark};
            if (named) env[0] += ":" TAVREL_NO_UNNAMED_FILES;
            Program program(row.args, dir_.path(), false, env);
            for (int waited = 0; !IsThere(mark) && waited < 60000; waited += 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_TRUE(IsThere(mark));
            ::kill(program.Pid(), SIGINT);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            ::kill(program.Pid(), SIGTERM);
            const ProgramResult r = program.Wait();
            EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
            EXPECT_EQ(r.out.substr(0, row.said[0].size()), row.said[0]);
            EXPECT_EQ(r.err, row.said[1]);
            for (const char* name : {"out.swf", "new.tvr"}) {
                const bool replaced =
                    std::find(row.replaced.begin(), row.replaced.end(), name) != row.replaced.end();
                EXPECT_EQ(ReadFile(dir_.file(name)) == "earlier", !replaced) << name;
            }
            ::unlink(mark.c_str());
            EXPECT_EQ(FilesIn(dir_.path()), (std::vector<std::string>{"a.jpg", "new.tvr", "out.swf", "show.tvr"}));
        }
}

TEST_F(CliProgramTest, FullDisksFailTheExportWithTheirReason)
{
    if (!std::getenv(kPrivateMounts)) {
        const std::string why = RunInPrivateMounts();
        if (!why.empty()) GTEST_SKIP() << why;
        return;
    }
    // Some 5 MB of movie.
    WriteNoiseShow("big.tvr", 16);
    // A sound of two minutes: its AIFF takes 21 MB of the temporary folder.
    ASSERT_TRUE(tavrel_test::RunFfmpeg(
        "-f lavfi -i 'sine=frequency=440:sample_rate=44100:duration=120' -ac 2 -c:a libmp3lame -b:a 128k",
        dir_.file("tune.mp3")));
    std::string tune = Project("", Slide(picture_));
    tune.insert(tune.find("</slide_show>"),
                "<sound_data include=\"true\">\n<sound src=\"tune.mp3\" />\n</sound_data>\n");
    Write("tune.tvr", tune);
    // Movie slides whose planned pictures (1.9 MB each) wait past 2 MB in the
    // temporary folder.
    const std::string movie = tavrel_test::TestMovieNamed("mp4").path;
    ASSERT_FALSE(movie.empty()) << tavrel_test::FfmpegUnavailable();
    std::string movies;
    for (int i = 0; i < 8; ++i) movies += "<slide type=\"image\" src=\"" + movie + "\" image_type=\"rgb_24\" />\n";
    Write("movies.tvr", Project(" width=\"800\" height=\"600\"", movies));
    const SmallDisk small(dir_.file("small"), 4), temp(dir_.file("tmp"), 4);
    ASSERT_TRUE(small.mounted && temp.mounted) << std::strerror(errno);
    // The program's own folder in TMPDIR, as the messages name it.
    const std::string work = dir_.file("tmp") + "/tavrel-" + std::to_string(::getuid()) + "/_tavrel";
    fs::create_directory(dir_.file("roomy"));
    // Private folders the program cannot use: a file, a link to a folder
    // elsewhere, another user's folder.
    const std::string mine = "/tavrel-" + std::to_string(::getuid());
    fs::create_directories(dir_.file("asfile"));
    Write("asfile" + mine, "");
    fs::create_directories(dir_.file("aslink"));
    fs::create_directories(dir_.file("elsewhere"));
    fs::create_directory_symlink(dir_.file("elsewhere"), dir_.file("aslink" + mine));
    fs::create_directories(dir_.file("others" + mine));
    // Only root gives a folder away.
    const bool othersMade = ::chown(dir_.file("others" + mine).c_str(), 65534, 65534) == 0;
    const auto unusable = [&](const std::string& temp, const std::string& why) {
        return "tavrel: export to small/old.swf failed: cannot write in the temporary folder " + dir_.file(temp) +
               mine + ": " + why + "\n";
    };
    const struct {
        std::vector<std::string> args;
        std::string temp;  // TMPDIR: "tmp", the small file system; "roomy"; "nowhere", not there
        std::string said;
        bool named = false;  // on file systems without unnamed files
    } rows[] = {
        {{"--compress", "big.tvr", "small/old.swf"},
         "roomy",
         "tavrel: export to small/old.swf failed: cannot write the compressed movie: No space left on device\n"},
        {{"--compress", "big.tvr", "small/old.swf"},
         "roomy",
         "tavrel: export to small/old.swf failed: cannot write the compressed movie: No space left on device\n",
         true},
        {{"--no-compress", "big.tvr", "small/old.swf"},
         "roomy",
         "tavrel: export to small/old.swf failed: cannot write the movie: No space left on device\n"},
        {{"--compress", "big.tvr", "small/old.swf"},
         "tmp",
         "tavrel: export to small/old.swf failed: cannot write in the temporary folder " + work +
             ": No space left on device\n"},
        // A temporary folder that is not there is named as it would be.
        {{"--compress", "big.tvr", "small/old.swf"},
         "nowhere",
         "tavrel: export to small/old.swf failed: cannot write in the temporary folder " + dir_.file("nowhere") +
             "/tavrel-" + std::to_string(::getuid()) + "/_tavrel: No such file or directory\n"},
        {{"movies.tvr", "small/old.swf"},
         "tmp",
         "tavrel: export to small/old.swf failed: cannot write in the temporary folder " + work +
             ": No space left on device\n"},
        {{"tune.tvr", "small/old.swf"},
         "tmp",
         "tavrel: export to small/old.swf failed: cannot write in the temporary folder " + work +
             ": No space left on device\n"},
        {{"--compress", "big.tvr", "small/old.swf"}, "asfile", unusable("asfile", "Not a directory")},
        {{"--compress", "big.tvr", "small/old.swf"}, "aslink", unusable("aslink", "a link, not a folder of its own")},
        {{"--compress", "big.tvr", "small/old.swf"}, "others", unusable("others", "owned by another user")},
    };
    const char* valgrind = std::getenv("TAVREL_TEST_VALGRIND");
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        // valgrind keeps files of its own in TMPDIR: it does not start without one.
        if (row.temp == "nowhere" && valgrind && std::string(valgrind) != "0") continue;
        if (row.temp == "others" && !othersMade) {
            std::printf("no folder of another user can be made here: that row is not run\n");
            continue;
        }
        Write("small/old.swf", "earlier movie");
        std::vector<std::string> env = {"TMPDIR=" + dir_.file(row.temp)};
        if (row.named) env.insert(env.end(), kNoUnnamedFiles.begin(), kNoUnnamedFiles.end());
        const ProgramResult run = RunProgram(row.args, dir_.path(), env);
        EXPECT_EQ(run.exitCode, 3) << run.err;
        EXPECT_EQ(run.err, row.said);
        EXPECT_TRUE(ReadFile(dir_.file("small/old.swf")) == "earlier movie") << "the earlier movie is replaced";
        EXPECT_EQ(FilesIn(dir_.file("small")), std::vector<std::string>{"old.swf"});
        EXPECT_EQ(FilesIn(dir_.file("tmp")), std::vector<std::string>{});
        EXPECT_EQ(FilesIn(dir_.file("roomy")), std::vector<std::string>{});
        EXPECT_EQ(FilesIn(dir_.file("elsewhere")), std::vector<std::string>{});
    }
}

TEST_F(CliProgramTest, TwoCompressedExportsAtOnce)
{
    WriteShow("show.tvr", 30);
    Program first({"--compress", "show.tvr", "one.swf"}, dir_.path());
    Program second({"--compress", "show.tvr", "two.swf"}, dir_.path());
    for (Program* p : {&first, &second}) EXPECT_EQ(p->Wait().exitCode, 0);
    for (const char* name : {"one.swf", "two.swf"}) {
        EXPECT_EQ(ReadFile(dir_.file(name)).substr(0, 3), "CWS");
        tavrel_test::ExpectDumpAccepts(dir_.file(name), {"DefineBitsJPEG2"});
    }
}

TEST(CliExampleTest, ExampleMovieIsValidAndShowsItsFirstSlide)
{
    TempDir dir;
    const std::string movie = dir.file("show.swf");
    const ProgramResult r = RunProgram({std::string(TAVREL_EXAMPLE_DIR) + "/show.tvr", movie});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find(", 4 slides, 0 skipped"), std::string::npos) << r.out;
    tavrel_test::ExpectDumpAccepts(
        movie, {"DefineBitsJPEG2", "DefineBitsJPEG3", "DefineSound", "DefineText2", "DefineButton2", "DefineEditText"});
    // Played from the start (through its preloader) for two seconds: the
    // sun and the hills of the first slide.
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    const auto shot =
        tavrel_test::RunSwfShot(movie, dir.file("shot.png"), "--stop-at 24 --pixel 400,280 --pixel 100,460");
    ASSERT_EQ(shot.exitCode, 0) << shot.output;
    struct Pixel {
        int x, y;
        long rgb;
    };
    for (const Pixel& p : {Pixel{400, 280, 0xffe678}, Pixel{100, 460, 0x1f3028}}) {
        const long got = tavrel_test::ShotPixel(shot.output, p.x, p.y);
        for (int shift : {16, 8, 0})
            EXPECT_NEAR((got >> shift) & 0xFF, (p.rgb >> shift) & 0xFF, 16) << p.x << "," << p.y << "\n" << shot.output;
    }
}

}  // namespace
