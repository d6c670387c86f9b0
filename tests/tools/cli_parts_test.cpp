// The program's pieces on their own: the command line, the bar, the
// diagnostic lines and the output that is put in place only when complete.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <tuple>

#include "../show/show_test_util.h"
#include "platform/files.h"
#include "support/test_support.h"
#include "tools/atomic_output.h"
#include "tools/cli_options.h"
#include "tools/console_progress.h"
#include "tools/console_report.h"

namespace {

using tavrel_test::IsThere;
using tavrel_test::ReadFile;
using tavrel_test::TempDir;
using tavrel_test::WriteFile;

TEST(CliOptionsTest, ParsesTheCommandLine)
{
    struct Case {
        std::vector<const char*> args;
        CliCommand command;
        std::string project, output, resave, error;
    };
    const Case cases[] = {
        {{"--resave", "n.tvr", "a.tvr"}, CliCommand::kRun, "a.tvr", "", "n.tvr", ""},
        {{"--resave=n.tvr", "a.tvr", "a.swf"}, CliCommand::kRun, "a.tvr", "a.swf", "n.tvr", ""},
        {{"--", "-a.tvr", "a.swf"}, CliCommand::kRun, "-a.tvr", "a.swf", "", ""},
        {{"a.tvr", "a.swf", "--help"}, CliCommand::kHelp, "", "", "", ""},
        {{"a.tvr"}, CliCommand::kUsageError, "", "", "", "missing operand"},
        {{"a.tvr", "b.swf", "c"}, CliCommand::kUsageError, "", "", "", "too many operands"},
        {{"--search"}, CliCommand::kUsageError, "", "", "", "--search needs a value"},
        {{"--search=", "a.tvr", "a.swf"}, CliCommand::kUsageError, "", "", "", "--search needs a value"},
        {{"--strict=yes", "a.tvr", "a.swf"}, CliCommand::kUsageError, "", "", "", "--strict takes no value"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"tavrel"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        CliOptions options;
        std::string error;
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(ParseCommandLine(int(argv.size()), argv.data(), &options, &error), c.command);
        if (c.command == CliCommand::kRun) {
            EXPECT_EQ(options.project, c.project);
            EXPECT_EQ(options.output, c.output);
            EXPECT_EQ(options.resave, c.resave);
        }
        EXPECT_EQ(error, c.error);
    }

    const char* argv[] = {"tavrel",  "--no-compress", "--compress",  "--search", "a",     "--search", "b",
                          "--quiet", "--strict",      "--resources", "r",        "p.tvr", "o.swf"};
    CliOptions options;
    std::string error;
    ASSERT_EQ(ParseCommandLine(int(std::size(argv)), argv, &options, &error), CliCommand::kRun);
    EXPECT_EQ(options.compress, true);  // the last of the two wins
    EXPECT_EQ(options.searchFolders, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(options.quiet && options.strict);
    EXPECT_EQ(options.resources, "r");
}

TEST(ConsoleProgressTest, BarShowsSlidePercentAndTimeLeft)
{
    using std::chrono::seconds;
    struct Case {
        int done, total;
        seconds elapsed;
        std::string text;
    };
    const Case cases[] = {
        {0, 200, seconds(0), "slide 1 of 200 [..............................]   0%"},
        {50, 200, seconds(30), "slide 51 of 200 [#######.......................]  25%  1:30 left"},
        {199, 200, seconds(199), "slide 200 of 200 [#############################.]  99%  0:01 left"},
        {200, 200, seconds(10), "slide 200 of 200 [##############################] 100%"},
        {300, 200, seconds(10), "slide 200 of 200 [##############################] 100%"},
        {0, 0, seconds(0), "slide 0 of 0 [..............................]   0%"},
    };
    for (const Case& c : cases) EXPECT_EQ(CConsoleProgress::FormatBar(c.done, c.total, c.elapsed), c.text);
}

TEST(ConsoleReportTest, LinesNameFileLineSlideAttributeAndValue)
{
    struct Case {
        CReadIssue issue;
        std::string line;
    };
    const Case cases[] = {
        {{"slide", 27, "src", "/p/a.jpg", "image file missing: slide dropped", 3},
         "show.tvr:27: slide 3: src=\"/p/a.jpg\": image file missing: slide dropped"},
        {{"caption", 30, "font", "x\ny", "font record too short", 2},
         "show.tvr:30: slide 2: caption font=\"x?y\": font record too short"},
        {{"Glow", 12, "", "Glow", "no such kind", 1}, "show.tvr:12: slide 1: Glow \"Glow\": no such kind"},
        {{"slide_show", 3, "width", "5000", "out of range (10 to 2000): 320 kept", 0},
         "show.tvr:3: slide_show width=\"5000\": out of range (10 to 2000): 320 kept"},
        {{"caption_data", 9, "", "", "unknown element \"captoin\": passed over", 2},
         "show.tvr:9: slide 2: caption_data: unknown element \"captoin\": passed over"},
        {{"", 0, "", "", "something", 0}, "show.tvr: something"},
    };
    for (const Case& c : cases) EXPECT_EQ(CConsoleReport::Format("show.tvr", c.issue), c.line);
}

// Each issue names the slide whose element holds what it speaks of, as the
// reader read it: by where the element stands in the text, not by lines,
// which a project written on one line shares.
TEST(ConsoleReportTest, SlidesAreFoundWhereTheirElementsStand)
{
    TempDir dir;
    show_test::WriteJpeg(dir, "a.jpg", 8, 8);
    struct Case {
        std::string text;
        // Each issue as (line, slide, element or attribute named).
        std::vector<std::tuple<int, int, std::string>> issues;
    } cases[] = {
        {"<xml version=\"1.0\">\n<tavrel>\n<slide_show width=\"5\">\n<slides>\n"
         "<slide src=\"a.jpg\" rotate=\"45\">\n<caption_data>\n<captoin />\n</caption_data>\n</slide>\n"  // 5-9
         "<slide src=\"gone.jpg\" />\n"                                                                   // 10
         "</slides>\n<swf_data loop=\"sometimes\" />\n</slide_show>\n</tavrel>\n</xml>\n",
         {{3, 0, "width"}, {5, 1, "rotate"}, {7, 1, "caption_data"}, {10, 2, "src"}, {12, 0, "loop"}}},
        // One line: every issue on line 1, each with its own slide.
        {"<xml version=\"1.0\"><tavrel><slide_show width=\"5\"><slides><slide src=\"a.jpg\" rotate=\"45\">"
         "<caption_data><captoin /></caption_data></slide><slide src=\"gone.jpg\" /></slides>"
         "<swf_data loop=\"sometimes\"><bogus /></swf_data></slide_show></tavrel></xml>",
         {{1, 0, "width"},
          {1, 1, "rotate"},
          {1, 1, "caption_data"},
          {1, 2, "src"},
          {1, 0, "loop"},
          {1, 0, "swf_data"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(WriteFile(dir.file("p.tvr"), c.text));
        CXMLDocument document;
        ASSERT_TRUE(document.Load(CPath(dir.file("p.tvr"))));
        CReadIssueList issues;
        CFolderRelocator relocator;
        CReadContext context;
        context.report = &issues;
        context.relocator = &relocator;
        CSlideShow show;
        CPublishSettings publish;
        ASSERT_TRUE(ReadProjectFile(document, show, publish, &context));
        std::vector<std::tuple<int, int, std::string>> got;
        for (const CReadIssue& i : issues.issues)
            got.emplace_back(i.line, i.slide, i.attribute.empty() ? i.element : i.attribute);
        EXPECT_EQ(got, c.issues);
        // What is said of a part later names the slide the reader found.
        ASSERT_EQ(show.GetSlideCount(), 1);
        EXPECT_EQ(show.GetSlide(0)->GetPlace().Slide(), 1);
        EXPECT_EQ(show.GetPlace().Slide(), 0);
    }

    CConsoleReport report("p.tvr", stderr, false);
    report.Report({"slide", 5, "src", "a", "image file missing: slide dropped", 1});
    report.Warn({}, "a skin is missing");
    EXPECT_EQ(report.GetCount(), 2);
    EXPECT_EQ(report.GetDroppedSlides(), 1);
    // The show's first slide is the file's second.
    EXPECT_EQ(report.FileSlideNumber(1), 2);
}

TEST(AtomicOutputTest, CommitReplacesTheTargetOrTheFileALinkNames)
{
    TempDir dir;
    const std::string target = dir.file("movie.swf");
    ASSERT_TRUE(WriteFile(target, "old"));
    std::string error;
    CAtomicOutput output;
    ASSERT_TRUE(output.Create(target, &error));
    const std::string temp = output.GetTempPath();
    WriteFile(temp, "new");
    ASSERT_TRUE(output.Commit(&error)) << error;
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_FALSE(IsThere(temp));

    // Through a link the linked file is replaced and the link stays.
    std::filesystem::create_symlink(target, dir.file("link.swf"));
    ASSERT_TRUE(output.Create(dir.file("link.swf"), &error));
    WriteFile(output.GetTempPath(), "linked");
    ASSERT_TRUE(output.Commit(&error));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.swf")));
    EXPECT_EQ(ReadFile(target), "linked");

    WriteFile(dir.file("locked.swf"), "kept");
    platform::SetLocked(dir.file("locked.swf"), true);
    for (const std::string& bad : {dir.path(), dir.file("locked.swf")}) {
        CAtomicOutput refused;
        EXPECT_FALSE(refused.Create(bad, &error));
        EXPECT_FALSE(error.empty());
    }
    platform::SetLocked(dir.file("locked.swf"), false);
}

}  // namespace
