// The project file's reference (docs/project-file.md) against the program:
// its generated parts against the registries, its prose against what
// --resave writes for a show of every kind, its example against tavrel.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "../media/sound_fixtures.h"
#include "../show/show_test_util.h"
#include "media/image_filter.h"
#include "program_runner.h"
#include "show/transition.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "tools/project_doc.h"

namespace {

using cli_test::RunProgram;
using tavrel_test::ReadFile;
using tavrel_test::TempDir;
using tavrel_test::WriteFile;

const std::string kDocPath = std::string(TAVREL_SOURCE_DIR) + "/docs/project-file.md";

// Every element and attribute name in a project's text.
std::set<std::string> NamesIn(const std::string& text)
{
    std::set<std::string> names;
    static const std::regex kName(R"re(<([A-Za-z_0-9]+)|\s([A-Za-z_0-9]+)=")re");
    for (std::sregex_iterator i(text.begin(), text.end(), kName), end; i != end; ++i)
        names.insert((*i)[1].matched ? (*i)[1].str() : (*i)[2].str());
    return names;
}

TEST(ProjectDoc, GeneratedPartsMatchTheProgram)
{
    CTransitionList registry;
    registry.CreateAll();
    const std::string doc = ReadFile(kDocPath);
    ASSERT_FALSE(doc.empty()) << kDocPath;
    for (const auto& [name, text] : projectdoc::Blocks()) {
        std::string written;
        ASSERT_TRUE(projectdoc::BlockText(doc, name, &written)) << "no generated block " << name;
        EXPECT_EQ(written, text) << "the block \"" << name
                                 << "\" is stale: cmake --build <build> --target project_doc rewrites it";
    }
    // The kinds a project can name, every one of them listed.
    std::string transitions;
    projectdoc::BlockText(doc, "transitions", &transitions);
    ASSERT_NE(CTransitionList::Instance(), nullptr);
    EXPECT_EQ(CTransitionList::Instance()->GetCount(), 29);
    for (int i = 0; i < CTransitionList::Instance()->GetCount(); ++i)
        EXPECT_NE(transitions.find("`" + CTransitionList::Instance()->Get(i)->GetName() + "`"), std::string::npos);
    for (const char* word : {"top_right_bottom_left_opposite", "diamond_open", "drop_random"})
        EXPECT_NE(transitions.find(std::string("`") + word + "`"), std::string::npos) << word;
}

// A show of every kind: each transition, effect and filter, both camera
// moves, captions, sounds, click and pop-up settings, in dir as "every.tvr".
void WriteShowOfEveryKind(const TempDir& dir)
{
    const std::string picture = show_test::WriteJpeg(dir, "a.jpg", 64, 48);
    ASSERT_TRUE(tavrel_test::WriteTone(dir.file("tone.wav"), tavrel_test::kWav16, 22050, 1, 11025, 440));
    CTransitionList registry;
    registry.CreateAll();
    projectdoc::Blocks();  // registers the filters
    std::string filters;
    const CImageFilterList* list = CImageFilterList::FindById(0);
    ASSERT_NE(list, nullptr);
    for (size_t i = 0; i < list->GetCount(); ++i) filters += "<filter name=\"" + list->GetAt(i)->GetName() + "\" />\n";
    std::string slides = "<slide type=\"image\" src=\"a.jpg\" >\n<swf_fx name=\"Snow\" />\n<image_filters>\n" +
                         filters +
                         "</image_filters>\n<click_actions enable=\"true\" type=\"next_slide\" />\n"
                         "<pan_zoom>\n<camera_fx name=\"none\" duration=\"500\" />\n"
                         "<camera_fx name=\"pan_zoom\" duration=\"500\" zoom=\"1.5\" />\n</pan_zoom>\n"
                         "<caption_data>\n<caption txt=\"Hi\" />\n</caption_data>\n"
                         "<sound_data include=\"true\">\n<sound src=\"tone.wav\" />\n</sound_data>\n"
                         "<popup_data name=\"w\" width=\"300\" toolbar=\"false\" />\n</slide>\n";
    const CTransitionList& transitions = *CTransitionList::Instance();
    for (int i = 0; i < transitions.GetCount(); ++i)
        slides += "<slide type=\"blank\" >\n<transition_in>\n<transition name=\"" + transitions.Get(i)->GetName() +
                  "\" />\n</transition_in>\n</slide>\n";
    ASSERT_TRUE(WriteFile(dir.file("every.tvr"),
                          show_test::WrapShow("<slide_show>\n<slides>\n" + slides +
                                              "</slides>\n<swf_data preload=\"true\" />\n<caption_data>\n"
                                              "<caption txt=\"All\" />\n</caption_data>\n<sound_data "
                                              "include=\"true\">\n<sound src=\"tone.wav\" stereo=\"true\" />\n"
                                              "</sound_data>\n</slide_show>\n<publish_data />\n")));
}

// The show of every kind, resaved by tavrel. Every element and attribute
// it writes is described outside the generated parts, and read back
// without a word: the reader knows every name the writers write.
TEST(ProjectDoc, EveryElementAndAttributeWrittenIsDescribed)
{
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(WriteShowOfEveryKind(dir));
    const auto r = RunProgram({"--strict", "--resave", "resaved.tvr", "every.tvr"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto again = RunProgram({"--strict", "--resave", "again.tvr", "resaved.tvr"}, dir.path());
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(ReadFile(dir.file("again.tvr")), ReadFile(dir.file("resaved.tvr")));
    const std::set<std::string> names = NamesIn(ReadFile(dir.file("resaved.tvr")));
    EXPECT_GT(names.size(), 140u);
    const std::string prose = projectdoc::WithoutBlocks(ReadFile(kDocPath));
    for (const std::string& name : names)
        EXPECT_NE(prose.find("`" + name + "`"), std::string::npos) << name << " is not described";
}

// What a run says, each line without the file and line it names (a
// resaved file's lines stand elsewhere) and without the count of warnings.
std::set<std::string> SaidLines(const std::string& err)
{
    static const std::regex kPlace(R"(^[^:]*(:[0-9]+)?: )"), kCount(R"(^[0-9]+ warnings? )");
    std::set<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        lines.insert(std::regex_replace(std::regex_replace(line, kPlace, ""), kCount, ""));
    return lines;
}

// A project written by --resave compiles under --strict saying nothing the
// project it was read from did not: the shipped examples, and the show of
// every kind, whose sounds hold every value the writer writes by default.
TEST(ProjectDoc, ResavedProjectsCompileSayingNothingNew)
{
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(WriteShowOfEveryKind(dir));
    const std::string examples = TAVREL_EXAMPLE_DIR;
    for (const std::string& project : {examples + "/show.tvr", examples + "/tour.tvr", dir.file("every.tvr")}) {
        SCOPED_TRACE(project);
        const auto before = RunProgram({"--strict", project, dir.file("before.swf")}, dir.path());
        const auto resave = RunProgram({"--resave", dir.file("resaved.tvr"), project}, dir.path());
        ASSERT_EQ(resave.exitCode, 0) << resave.err;
        const auto after = RunProgram({"--strict", "resaved.tvr", "after.swf"}, dir.path());
        EXPECT_EQ(after.exitCode, before.exitCode) << after.err;
        const std::set<std::string> was = SaidLines(before.err);
        for (const std::string& line : SaidLines(after.err))
            EXPECT_TRUE(was.count(line)) << "said only once resaved: " << line << "\nbefore:\n" << before.err;
    }
}

// The document's complete example is the shipped one, and it compiles
// without a word into a movie both checkers read.
TEST(ProjectDoc, ExampleCompiles)
{
    const std::string doc = ReadFile(kDocPath);
    const std::string example = ReadFile(std::string(TAVREL_SOURCE_DIR) + "/examples/tour.tvr");
    ASSERT_FALSE(example.empty());
    EXPECT_NE(doc.find("```xml\n" + example + "```\n"), std::string::npos) << "the example differs from examples/tour.tvr";
    TempDir dir;
    const auto r =
        RunProgram({std::string(TAVREL_EXAMPLE_DIR) + "/tour.tvr", dir.file("tour.swf")}, ".");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    tavrel_test::ExpectDumpAccepts(dir.file("tour.swf"), {"DefineBitsJPEG2", "DefineSound"});
}

}  // namespace
