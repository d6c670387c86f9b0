#include "foundation/xml_writer.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "platform/files.h"
#include "support/file_size_limit.h"
#include "support/locale_fixture.h"
#include "support/test_support.h"

namespace {

using tavrel_test::ReadFile;
using tavrel_test::TempDir;
using tavrel_test::WriteFile;

std::string WriteDocument(const std::string& path, const CXMLWriteOptions& options)
{
    CXMLOutputFile out;
    EXPECT_TRUE(out.Open(path, options, true));
    out.Write("<a/>");
    EXPECT_TRUE(out.Close());
    return ReadFile(path);
}

size_t FilesIn(const std::string& folder)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

TEST(XmlWriter, DeclarationStylesGiveExactBytes)
{
    TempDir dir;
    CXMLWriteOptions own;
    EXPECT_EQ(WriteDocument(dir.file("own.xml"), own), "<xml version=\"1.0\">\n<a/>\n</xml>\n");

    CXMLWriteOptions standard;
    standard.declarationStyle = CXMLWriteOptions::kDeclarationStandard;
    EXPECT_EQ(WriteDocument(dir.file("std.xml"), standard), "<?xml version=\"1.0\" ?>\n<a/>\n");

    for (int style : {0, 1}) {
        CXMLWriteOptions none;
        none.declarationStyle = style;
        none.writeDeclaration = false;
        EXPECT_EQ(WriteDocument(dir.file("none.xml"), none), "<a/>\n");
    }
}

TEST(XmlWriter, ValuesAreWrittenInTheClassicLocale)
{
    tavrel_test::ScopedCommaLocale comma;
    TempDir dir;
    CXMLWriteOptions options;
    options.writeDeclaration = false;
    CXMLOutputFile out;
    ASSERT_TRUE(out.Open(dir.file("v.xml"), options));
    out.WriteFloat(0.1f).Write(" ").WriteFloat(1e8f).Write(" ").WriteDouble(12.0).Write(" ");
    out.WriteDouble(1.5e6).Write(" ").WriteDouble(-0.25).Write(" ").WriteInt(-5).Write(" ");
    out.WriteInt(1234567).Write(" ").WriteUInt(4294967295u).Write(" ").WriteULong(7).Write(" ");
    out.WriteShort(-32768).Write(" ").WriteBool(true).Write(" ").WriteBool(false).Write(" ");
    out.EscapeAndWrite("a<\xE9>\t").Write(" ").WritePath("/x/a&b.jpg").Write(" ");
    EXPECT_EQ(out.WriteBase64String("abc"), 4u);
    out.Write(" ");
    EXPECT_EQ(out.WriteBase64("\x00\xFF", 2), 4u);
    EXPECT_EQ(out.WriteBase64String(nullptr), 0u);
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFile(dir.file("v.xml")),
              "0.1 1e+08 12 1.5e+06 -0.25 -5 1234567 4294967295 7 -32768 true false "
              "a&lt;&#xe9;&gt;\t /x/a&amp;b.jpg YWJj AP8=\n");
}

TEST(XmlWriter, OpenRefusesFoldersExistingFilesAndMissingFolders)
{
    TempDir dir;
    CXMLOutputFile out;
    EXPECT_FALSE(out.Open(dir.path(), CXMLWriteOptions(), true));
    EXPECT_FALSE(out.Open(dir.file("missing/x.xml"), CXMLWriteOptions(), true));
    EXPECT_FALSE(out.Open("", CXMLWriteOptions(), true));

    ASSERT_TRUE(WriteFile(dir.file("old.xml"), "old"));
    EXPECT_FALSE(out.Open(dir.file("old.xml"), CXMLWriteOptions(), false));
    EXPECT_EQ(ReadFile(dir.file("old.xml")), "old");
    EXPECT_EQ(FilesIn(dir.path()), 1u);

    // Refused at the close too: a file made meanwhile stays.
    ASSERT_TRUE(out.Open(dir.file("new.xml"), CXMLWriteOptions(), false));
    ASSERT_TRUE(WriteFile(dir.file("new.xml"), "made meanwhile"));
    out.Write("<new/>");
    EXPECT_FALSE(out.Close());
    EXPECT_EQ(ReadFile(dir.file("new.xml")), "made meanwhile");
    EXPECT_EQ(FilesIn(dir.path()), 2u);
}

TEST(XmlWriter, ReplacesOnlyWhenCompleteAndKeepsPermissions)
{
    TempDir dir;
    std::string path = dir.file("doc.xml");
    ASSERT_TRUE(WriteFile(path, "old"));
    ::chmod(path.c_str(), 0640);
    {
        CXMLOutputFile out;
        ASSERT_TRUE(out.Open(path));
        out.Write("<new/>");
        // Until the close the old file is what is on disk.
        EXPECT_EQ(ReadFile(path), "old");
        // The destructor closes and commits.
    }
    EXPECT_EQ(ReadFile(path), "<xml version=\"1.0\">\n<new/>\n</xml>\n");
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(FilesIn(dir.path()), 1u);

    std::string longest = dir.file(std::string(255, 'n'));
    CXMLOutputFile writer;
    ASSERT_TRUE(writer.Open(longest));
    ASSERT_TRUE(writer.Close());
    EXPECT_EQ(ReadFile(longest), "<xml version=\"1.0\">\n\n</xml>\n");
}

TEST(XmlWriter, CreatesWithTypeAndCreatorAndRespectsLocks)
{
    TempDir dir;
    std::string path = dir.file("show.tvr");
    ASSERT_TRUE(WriteFile(path, "old"));
    CXMLWriteOptions options;
    options.type = FourCC("pTvr");
    options.creator = FourCC("TvRl");
    CXMLOutputFile out;
    ASSERT_TRUE(out.Open(path, options, true));
    ASSERT_TRUE(out.Close());
    CURLRef file;
    ASSERT_TRUE(file.SetPath(CPath(path)));
    CFinderInfo info;
    ASSERT_TRUE(GetFileFinderInfo(file, info));
    EXPECT_EQ(info.type, FourCC("pTvr"));
    EXPECT_EQ(info.creator, FourCC("TvRl"));

    // A locked file is not replaced.
    ASSERT_EQ(platform::SetLocked(path, true), platform::noErr);
    EXPECT_FALSE(out.Open(path, options, true));
    ASSERT_EQ(platform::SetLocked(path, false), platform::noErr);
    EXPECT_EQ(ReadFile(path), "<xml version=\"1.0\">\n\n</xml>\n");
    EXPECT_EQ(FilesIn(dir.path()), 1u);
}

// A failed write keeps the old file whether the writer is closed or only
// destroyed, and for a write that fails at once or only when flushed.
TEST(XmlWriter, FailedWriteIsReportedAndKeepsTheOldFile)
{
    for (bool close : {true, false}) {
        for (size_t chunk : {size_t{100000}, size_t{100}}) {
            TempDir dir;
            std::string path = dir.file("doc.xml");
            ASSERT_TRUE(WriteFile(path, "old"));
            // A file size limit makes writes fail as a full disk would.
            tavrel_test::ScopedFileSizeLimit limit(4096);
            ASSERT_TRUE(limit.Active());
            {
                CXMLOutputFile out;
                EXPECT_TRUE(out.Open(path));
                for (size_t written = 0; written < 100000; written += chunk) out.Write(std::string(chunk, 'x'));
                if (close) {
                    EXPECT_FALSE(out.Close());
                    EXPECT_FALSE(out.Close());
                }
            }
            limit.Lift();
            EXPECT_EQ(ReadFile(path), "old") << close << chunk;
            EXPECT_EQ(FilesIn(dir.path()), 1u);  // no temporary file left behind
        }
    }
    // A cancel asked during the writing, or before the file takes its name,
    // keeps the old file too.
    static int checksLeft;
    for (int checks : {2, 5}) {
        TempDir dir;
        const std::string path = dir.file("doc.xml");
        ASSERT_TRUE(WriteFile(path, "old"));
        checksLeft = checks;
        CXMLWriteOptions options;
        options.cancelRequested = [] { return checksLeft-- <= 0; };
        CXMLOutputFile out;
        ASSERT_TRUE(out.Open(path, options));
        out.Write("<a/>").Write("<b/>").Write("<c/>");
        EXPECT_FALSE(out.Close());
        EXPECT_EQ(errno, ECANCELED);
        EXPECT_EQ(ReadFile(path), "old") << checks;
    }
}

}  // namespace
