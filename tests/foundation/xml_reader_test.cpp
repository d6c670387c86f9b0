#include "foundation/xml_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/xml_writer.h"
#include "support/locale_fixture.h"
#include "support/test_support.h"

namespace {

using tavrel_test::TempDir;
using tavrel_test::WriteFile;

// A document of our own form with one element <e .../> holding attrs.
class XmlReaderTest : public ::testing::Test {
protected:
    bool Load(const std::string& body)
    {
        path_ = dir_.file("doc.xml");
        EXPECT_TRUE(WriteFile(path_, "<xml version=\"1.0\">\n" + body + "\n</xml>\n"));
        return file_.Open(path_);
    }
    // The i-th child of the root.
    CXMLNode Child(int i)
    {
        CXMLNode root, child;
        CXMLNodeList children;
        EXPECT_TRUE(file_.GetRoot(root));
        root.GetChildren(children);
        EXPECT_TRUE(children.GetAt(i, child));
        return child;
    }
    CXMLNode Attribute(const char* name, int element = 0)
    {
        CXMLAttributes attributes;
        CXMLNode value;
        EXPECT_TRUE(Child(element).GetAttributes(attributes));
        attributes.Get(name, value);
        return value;
    }

    TempDir dir_;
    std::string path_;
    CXMLInputFile file_;
};

TEST_F(XmlReaderTest, EveryByteRoundTripsThroughAFile)
{
    std::string all;
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    std::string path = dir_.file("bytes.xml");
    {
        CXMLOutputFile out;
        ASSERT_TRUE(out.Open(path));
        out.Write("<e v=\"").EscapeAndWrite(all).Write("\">").EscapeAndWrite(all).Write("</e>");
        ASSERT_TRUE(out.Close());
    }
    ASSERT_TRUE(file_.Open(path));
    CXMLNode root, element, value;
    CXMLNodeList children;
    CXMLAttributes attributes;
    ASSERT_TRUE(file_.GetRoot(root));
    root.GetChildren(children);
    ASSERT_TRUE(children.GetAt(0, element));
    EXPECT_EQ(element.GetString(), all);  // element text keeps its line feed

    ASSERT_TRUE(element.GetAttributes(attributes));
    ASSERT_TRUE(attributes.Get("v", value));
    std::string withoutLineFeed = all;
    std::erase(withoutLineFeed, '\n');
    EXPECT_EQ(value.GetString(), withoutLineFeed);
    CStr kept;
    ASSERT_TRUE(value.GetTextKeepingLineFeeds(kept));
    EXPECT_EQ(std::string(kept.c_str()), all);
}

TEST_F(XmlReaderTest, TypedGettersAndTheirDefaults)
{
    tavrel_test::ScopedCommaLocale comma;
    ASSERT_TRUE(Load("<e i=\"-42\" big=\"4294967295\" junk=\"12abc\" d=\"0.5\" e=\"1.5e+06\" "
                     "t=\"TRUE\" one=\"1\" f=\"false\" s=\"a&amp;lt;b\" crlf=\"a&#x0d;&#x0a;b\" "
                     "raw=\"x&#13;&#xZZ;\ty\" b64=\"YWJj\" bad64=\"Y*Jj\" empty=\"\"/>"));
    EXPECT_EQ(Attribute("i").GetInt(7), -42);
    EXPECT_EQ(Attribute("big").GetInt(7), 4294967295L);
    EXPECT_EQ(static_cast<uint32_t>(Attribute("big").GetInt(7)), 0xFFFFFFFFu);
    EXPECT_EQ(Attribute("junk").GetInt(7), 12);
    EXPECT_EQ(Attribute("missing").GetInt(7), 7);
    EXPECT_EQ(Attribute("empty").GetInt(7), 0);
    EXPECT_DOUBLE_EQ(Attribute("d").GetDouble(9), 0.5);
    EXPECT_DOUBLE_EQ(Attribute("e").GetDouble(9), 1.5e6);
    EXPECT_DOUBLE_EQ(Attribute("missing").GetDouble(9), 9);
    EXPECT_TRUE(Attribute("t").GetBool());
    EXPECT_FALSE(Attribute("one").GetBool());
    EXPECT_FALSE(Attribute("f").GetBool());
    EXPECT_FALSE(Attribute("missing").GetBool());

    EXPECT_EQ(Attribute("s").GetString(), "a&lt;b");
    EXPECT_EQ(Attribute("s").GetUnescapedString(), "a<b");
    EXPECT_EQ(Attribute("crlf").GetString(), "a\rb");
    EXPECT_EQ(Attribute("raw").GetString(), "x&#13;&#xZZ;\ty");
    EXPECT_EQ(Attribute("missing").GetString("dflt"), "");

    CStr out;
    out.Assign("keep");
    EXPECT_FALSE(Attribute("missing").GetText(out, "dflt"));
    EXPECT_STREQ(out.c_str(), "dflt");
    EXPECT_FALSE(Attribute("missing").GetTextUnescaped(out, "d2"));
    EXPECT_STREQ(out.c_str(), "d2");

    EXPECT_TRUE(Attribute("b64").GetDecodedData(out, "x"));
    EXPECT_STREQ(out.c_str(), "abc");
    EXPECT_FALSE(Attribute("bad64").GetDecodedData(out, "fallback"));
    EXPECT_STREQ(out.c_str(), "fallback");
    EXPECT_FALSE(Attribute("missing").GetDecodedData(out, "none"));
    EXPECT_STREQ(out.c_str(), "none");

    // Decoded bytes are copied only when they fit.
    char back[4] = {};
    size_t length = 0;
    EXPECT_FALSE(Attribute("b64").GetDecodedDataInto(back, 2, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(back[0], 0);
    EXPECT_TRUE(Attribute("b64").GetDecodedDataInto(back, 3, &length));
    EXPECT_EQ(std::string(back, length), "abc");
    EXPECT_FALSE(Attribute("bad64").GetDecodedDataInto(back, 4, &length));
    EXPECT_FALSE(Attribute("missing").GetDecodedDataInto(back, 4, &length));
}

TEST_F(XmlReaderTest, PathsResolveAgainstTheDocumentFolder)
{
    ASSERT_TRUE(Load("<e rel=\"img/a.jpg\" up=\"../img/p.jpg\" dot=\"./p.jpg\" abs=\"/x/y.png\"/>"));
    CPath path("unchanged");
    EXPECT_TRUE(Attribute("rel").GetPath(path));
    EXPECT_EQ(path.GetText(), dir_.path() + "/img/a.jpg");
    std::string parent = dir_.path().substr(0, dir_.path().rfind('/'));
    EXPECT_TRUE(Attribute("up").GetPath(path));
    EXPECT_EQ(path.GetText(), parent + "/img/p.jpg");
    // The text given stays with the path and its absolute form, not with a
    // path made from it.
    EXPECT_EQ(path.GetGivenText(), "../img/p.jpg");
    CPath same;
    same.MakePosix(path);
    EXPECT_EQ(same.GetGivenText(), "../img/p.jpg");
    same.SetFileName("q.jpg");
    EXPECT_EQ(same.GetGivenText(), parent + "/img/q.jpg");
    EXPECT_TRUE(Attribute("dot").GetPath(path));
    EXPECT_EQ(path.GetText(), dir_.path() + "/p.jpg");
    EXPECT_TRUE(Attribute("abs").GetPath(path));
    EXPECT_EQ(path.GetText(), "/x/y.png");
    path.AssignCString("unchanged");
    EXPECT_FALSE(Attribute("missing").GetPath(path));
    EXPECT_EQ(path.GetText(), "unchanged");
}

TEST_F(XmlReaderTest, WalksElementsTextAndChildren)
{
    ASSERT_TRUE(Load("<first a=\"1\">hello &amp;amp; bye</first>\n<second><inner/></second>\n<third/>"));
    CXMLNode root;
    ASSERT_TRUE(file_.GetRoot(root));
    CStr name;
    ASSERT_TRUE(root.GetName(name));
    EXPECT_STREQ(name.c_str(), "xml");
    CXMLAttributes rootAttributes;
    CXMLNode version;
    ASSERT_TRUE(root.GetAttributes(rootAttributes));
    ASSERT_TRUE(rootAttributes.Get("version", version));
    EXPECT_EQ(version.GetString(), "1.0");
    EXPECT_FALSE(rootAttributes.Get("VERSION", version));  // names are case-sensitive

    CXMLNodeList children;
    ASSERT_TRUE(root.GetChildren(children));
    EXPECT_EQ(children.GetCount(), 3);  // white space between elements is skipped
    const char* names[] = {"first", "second", "third"};
    for (int i = 0; i < 3; ++i) {
        CXMLNode child;
        ASSERT_TRUE(children.GetAt(i, child));
        ASSERT_TRUE(child.GetName(name));
        EXPECT_STREQ(name.c_str(), names[i]);
    }
    CXMLNode beyond;
    EXPECT_FALSE(children.GetAt(3, beyond));
    EXPECT_FALSE(children.GetAt(-1, beyond));

    CXMLNode first = Child(0);
    EXPECT_EQ(first.GetString(), "hello &amp; bye");
    EXPECT_EQ(first.GetUnescapedString(), "hello & bye");
    EXPECT_EQ(Child(1).GetString(), "inner");  // a first child element gives its name
    CStr text;
    text.Assign("unchanged");
    EXPECT_FALSE(Child(2).GetText(text, "dflt"));  // no children: out unchanged
    EXPECT_STREQ(text.c_str(), "unchanged");

    // A node is filled once.
    CXMLNode filled = Child(0);
    EXPECT_FALSE(children.GetAt(1, filled));
    EXPECT_FALSE(filled.SetTree(nullptr, ""));
    filled.Release();
    EXPECT_TRUE(filled.IsEmpty());
    EXPECT_TRUE(children.GetAt(1, filled));
    // Going back after walking forward still finds the right child.
    CXMLNode again;
    ASSERT_TRUE(children.GetAt(0, again));
    ASSERT_TRUE(again.GetName(name));
    EXPECT_STREQ(name.c_str(), "first");

    CXMLNode firstChild;
    ASSERT_TRUE(first.GetFirstChild(firstChild));
    ASSERT_TRUE(firstChild.GetName(name));  // a text node's string is its text
    EXPECT_STREQ(name.c_str(), "hello &amp;amp; bye");
    CXMLAttributes none;
    EXPECT_FALSE(firstChild.GetAttributes(none));
    EXPECT_FALSE(Attribute("a").GetAttributes(none));
    EXPECT_FALSE(Attribute("a").GetName(name));
}

TEST(XmlInputFile, EncodingComesFromTheFirstNode)
{
    TempDir dir;
    std::string wide = "\xFF\xFE";  // UTF-16 with its byte-order mark is converted for reading
    for (char c : std::string("<xml version=\"1.0\" encoding=\"UTF-16\"><a/></xml>")) wide += std::string{c, '\0'};
    struct Row {
        std::string text;
        int encoding;
    } rows[] = {
        {wide, CXMLInputFile::kEncodingUTF16},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<a/>", CXMLInputFile::kEncodingUTF8},
        {"<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<a/>", CXMLInputFile::kEncodingUnknown},
        {"<xml version=\"1.0\" encoding=\"UTF-16\"><a/></xml>", CXMLInputFile::kEncodingUTF16},
        {"<?xml version=\"1.0\" ?>\n<a/>", CXMLInputFile::kEncodingUnknown},
        {"<xml version=\"1.0\"><a/></xml>", CXMLInputFile::kEncodingUnknown},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(WriteFile(dir.file("e.xml"), row.text));
        CXMLInputFile file;
        ASSERT_TRUE(file.Open(dir.file("e.xml"))) << row.text;
        EXPECT_EQ(file.GetEncoding(), row.encoding) << row.text;
    }
    // The standard declaration stays a node: it is the first child.
    CXMLInputFile file;
    ASSERT_TRUE(WriteFile(dir.file("s.xml"), "<?xml version=\"1.0\" ?>\n<a/>"));
    ASSERT_TRUE(file.Open(dir.file("s.xml")));
    CXMLNode first;
    CStr name;
    ASSERT_TRUE(file.GetRoot(first));
    ASSERT_TRUE(first.GetName(name));
    EXPECT_STREQ(name.c_str(), "xml");
    CXMLNodeList children;
    first.GetChildren(children);
    EXPECT_EQ(children.GetCount(), 0);
}

// What a strict reader refuses is refused, with where the fault lies.
TEST(XmlInputFile, MalformedFilesAreRefusedWithTheirPlace)
{
    TempDir dir;
    CXMLInputFile file;
    EXPECT_FALSE(file.Open(dir.file("missing.xml")));
    EXPECT_FALSE(file.GetLastError().empty());
    CXMLNode root;
    EXPECT_FALSE(file.GetRoot(root));
    EXPECT_FALSE(file.Open(dir.path()));  // a folder

    struct Row {
        const char* text;
        const char* where;
    } rows[] = {
        {"", "line 1, column 1"},
        {" \n", "line 2, column 1"},
        {"<a>\n<b></a>", "line 2, column "},
        {"<a", "line 1, column "},
        {"just text", "line 1, column 1"},
        {"<a x=\"1></a>", "line 1, column "},
        {"<a/>\n<b/>", "line 2, column 2"},
        {"<xml version=\"1.0\">\n</xml>\n</xml>\n", "line 3, column "},
        {"<a x=\"1\" y=\"2\"\n  x=\"3\"/>", "line 2, column 3"},
        {"<a/>\ntext", "line 2, column 1"},
        {"<a/><![CDATA[x]]>", "line 1, column 14"},
        {"<a x=\"1<2\"/>", "line 1, column 8"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(WriteFile(dir.file("bad.xml"), row.text));
        EXPECT_FALSE(file.Open(dir.file("bad.xml"))) << row.text;
        EXPECT_FALSE(file.IsOpen());
        EXPECT_NE(file.GetLastError().find(row.where), std::string::npos) << row.text << ": " << file.GetLastError();
    }
    // What is refused only around the root: comments, instructions, white space.
    ASSERT_TRUE(WriteFile(dir.file("ok.xml"), "<!-- c -->\n<?pi x?>\n<a b=\"&gt;\"/>\n<!-- d -->\n"));
    EXPECT_TRUE(file.Open(dir.file("ok.xml"))) << file.GetLastError();
}

// The first element past the depth, counting elements only; siblings and
// text do not add to it.
TEST(XmlInputFile, FindsTheFirstElementNestedPastADepth)
{
    TempDir dir;
    struct Row {
        const char* text;
        int limit;
        const char* found;  // null when none
    } rows[] = {
        {"<a/>", 1, nullptr},
        {"<a/>", 0, "a"},
        {"<a>t<b/><c>t<d/></c></a>", 3, nullptr},
        {"<a>t<b/><c>t<d/></c></a>", 2, "d"},
        {"<a><b><c/></b><d><e><f/></e></d></a>", 3, "f"},
        {"<!-- c -->\n<a><b/><c/><d/></a>", 1, "b"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(WriteFile(dir.file("n.xml"), row.text));
        CXMLInputFile file;
        ASSERT_TRUE(file.Open(dir.file("n.xml"))) << row.text;
        CXMLNode node;
        CStr name;
        ASSERT_EQ(file.FindNestedPast(row.limit, node), row.found != nullptr) << row.text;
        if (!row.found) continue;
        ASSERT_TRUE(node.GetName(name));
        EXPECT_STREQ(name.c_str(), row.found) << row.text;
    }
}

}  // namespace
