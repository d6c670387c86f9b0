// The transition base and its registry: frame counts, the change signal,
// the XML form, the kinds' order and the two registry cells.
#include "show/transition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "foundation/path.h"
#include "support/test_support.h"
#include "transition_log.h"
#include "transitions/fade_transitions.h"

namespace tavrel_test {
namespace {

// The first element of text, parsed from a file of the temporary folder.
struct Element {
    explicit Element(const std::string& text)
    {
        WriteFile(dir.file("t.xml"), text);
        EXPECT_TRUE(document.Load(CPath(dir.file("t.xml"))) && document.GetFirstChild(node)) << text;
    }
    TempDir dir;
    CXMLDocument document;
    CXMLNode node;
};

struct Counter {
    int calls = 0;
    CTransition* last = nullptr;
    void OnChange(CTransition* t) { ++calls, last = t; }
};

TEST(Transition, DurationFrames)
{
    struct Case {
        uint32_t ms;
        double rate;
        unsigned frames;
    } const cases[] = {{2000, 12, 24}, {1000, 12, 12}, {42, 12, 1}, {40, 12, 0}, {100, 15, 2},
                       {0, 120, 0},    {1000000, 120, 120000}, {2050, 1.5, 3}, {1000, 25.5, 26}};
    for (const Case& c : cases) {
        CTransition t("None", c.ms);
        EXPECT_EQ(t.DurationFrames(c.rate), c.frames) << c.ms << " ms at " << c.rate;
    }
}

TEST(Transition, SetDurationEmitsOnceAndKeepsTheShowsRange)
{
    CTransition t;
    Counter counter;
    t.changed.Connect(Callback::BindMember(&counter, &Counter::OnChange));
    struct Step {
        long ms;
        bool taken;
        uint32_t after;
        int calls;
    } const steps[] = {
        {2000, true, 2000, 0},       {1500, true, 1500, 1},       {1500, true, 1500, 1},
        {-1, false, 1500, 1},        {1000001, false, 1500, 1},   {1000000, true, 1000000, 2},
        {0, true, 0, 3},             {4294967295L, false, 0, 3},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(t.SetDuration(s.ms), s.taken) << s.ms;
        EXPECT_EQ(t.GetDuration(), s.after) << s.ms;
        EXPECT_EQ(counter.calls, s.calls) << s.ms;
    }
    EXPECT_EQ(counter.last, &t);
}

TEST(Transition, NoneCreatesAFreshCutButClonesItself)
{
    CTransition prototype("None", 700);
    prototype.SetGenerate(false);
    auto fresh = prototype.CreateInstance();
    EXPECT_EQ(fresh->GetName(), "None");
    EXPECT_EQ(fresh->GetDuration(), 2000u);
    EXPECT_TRUE(fresh->GetGenerate());
    auto copy = prototype.Clone();
    EXPECT_EQ(copy->GetDuration(), 700u);
    EXPECT_FALSE(copy->GetGenerate());

    CColorFadeTransition a, b;
    a.SetDuration(900);
    a.fadeColor = 255;
    b.Assign(a);
    EXPECT_EQ(std::make_tuple(b.GetName(), b.GetDuration(), b.fadeColor), std::make_tuple(a.GetName(), a.GetDuration(), a.fadeColor));
    auto instance = a.CreateInstance();
    EXPECT_EQ(dynamic_cast<CColorFadeTransition&>(*instance).fadeColor, 255u);
}

TEST(Transition, XmlByteForByte)
{
    CTransition none("None", 1500);
    EXPECT_EQ(WrittenXml(none), "<transition name=\"None\" duration=\"1500\" />\n");
    CColorFadeTransition color;
    EXPECT_EQ(WrittenXml(color), "<transition name=\"Color Fade\" duration=\"2000\" fade_color=\"16777215\" />\n");
    color.fadeColor = 0xFF00FF00;  // the top byte is kept as read
    EXPECT_EQ(WrittenXml(color), "<transition name=\"Color Fade\" duration=\"2000\" fade_color=\"4278255360\" />\n");
}

TEST(TransitionList, ReadsKindsFromXml)
{
    CTransitionList list;
    list.CreateAll();
    struct Case {
        const char* xml;
        const char* written;  // null: nothing read
    } const cases[] = {
        {"<transition name=\"fade in\" duration=\"500\" />", "<transition name=\"Fade In\" duration=\"500\" />\n"},
        {"<transition name=\"FADE IN\" />", "<transition name=\"Fade In\" duration=\"2000\" />\n"},
        {"<transition name=\"None\" duration=\"abc\" />", "<transition name=\"None\" duration=\"0\" />\n"},
        {"<transition name=\"None\" duration=\"-1\" />", "<transition name=\"None\" duration=\"2000\" />\n"},
        {"<transition name=\"Fade Out\" duration=\"1000001\" />",
         "<transition name=\"Fade Out\" duration=\"2000\" />\n"},
        {"<transition name=\"Color Fade\" duration=\"1000\" fade_color=\"65280\" />",
         "<transition name=\"Color Fade\" duration=\"1000\" fade_color=\"65280\" />\n"},
        {"<transition name=\"Color Fade\" fade_color=\"green\" />",
         "<transition name=\"Color Fade\" duration=\"2000\" fade_color=\"0\" />\n"},
        {"<transition name=\"Fade Sideways\" duration=\"500\" />", nullptr},
        {"<transition duration=\"500\" />", nullptr},
    };
    for (const Case& c : cases) {
        Element e(c.xml);
        auto t = CTransitionList::CreateFromXml(e.node);
        if (!c.written) {
            EXPECT_EQ(t, nullptr) << c.xml;
            continue;
        }
        ASSERT_NE(t, nullptr) << c.xml;
        EXPECT_EQ(WrittenXml(*t), c.written);
    }
    // ReadXml alone keeps the duration out of range too, and reads a missing one as nothing.
    CTransition t("None", 300);
    Element negative("<transition duration=\"-5\" />");
    t.ReadXml(negative.node);
    EXPECT_EQ(t.GetDuration(), 300u);
}

// Every value the reader refuses is reported once, with the attribute and
// the text as written; the kind keeps the value as read, or what it had
// before when the value is refused.
TEST(TransitionList, ReportsEachRefusedValueOnce)
{
    CTransitionList list;
    list.CreateAll();
    // The kind read from the element, written back, and what was reported.
    TempDir dir;
    auto read = [&dir](const std::string& xml, std::vector<CReadIssue>* issues) {
        CXMLDocument document;
        CXMLNode node;
        EXPECT_TRUE(WriteFile(dir.file("t.xml"), xml) && document.Load(CPath(dir.file("t.xml"))) &&
                    document.GetFirstChild(node));
        CReadIssueList report;
        CReadContext context;
        context.report = &report;
        auto t = CTransitionList::CreateFromXml(node, &context);
        EXPECT_NE(t, nullptr) << xml;
        *issues = report.issues;
        return t ? WrittenXml(*t) : std::string();
    };
    auto element = [](const std::string& kind, const std::string& attributes) {
        return "<transition name=\"" + kind + "\"" + attributes + " />";
    };

    // Every kind with a direction: words that are not its own, in case,
    // blanks or form, leave the direction it had.
    int directional = 0;
    for (int i = 0; i < list.GetCount(); ++i) {
        const std::string kind = list.Get(i)->GetName();
        std::vector<CReadIssue> issues;
        const std::string plain = read(element(kind, ""), &issues);
        if (plain.find(" direction=\"") == std::string::npos) continue;
        ++directional;
        // The line names the direction kept: the one a new transition has.
        const size_t at = plain.find(" direction=\"") + 12;
        const std::string kept = plain.substr(at, plain.find('"', at) - at);
        for (const char* word : {"sideways", "UP", "left ", "7", ""}) {
            SCOPED_TRACE(kind + " direction=\"" + word + "\"");
            EXPECT_EQ(read(element(kind, std::string(" direction=\"") + word + "\""), &issues), plain);
            ASSERT_EQ(issues.size(), 1u);
            EXPECT_EQ(std::make_tuple(issues[0].element, issues[0].attribute, issues[0].value, issues[0].what),
                      std::make_tuple(std::string("transition"), std::string("direction"), std::string(word),
                                      "unknown word: \"" + kept + "\" kept"));
        }
    }
    EXPECT_EQ(directional, 13);

    struct Case {
        const char* kind;
        const char* attribute;
        const char* value;
        const char* what;    // null: taken without a word
        const char* stored;  // null: as if the attribute were missing
    } const cases[] = {
        {"Fade In", "duration", "-5", "out of range (0 to 1000000): 2000 kept", nullptr},
        {"Fade In", "duration", "1000001", "out of range (0 to 1000000): 2000 kept", nullptr},
        {"Push", "duration", "99999999999", "out of range (0 to 1000000): 2000 kept", nullptr},
        {"Push", "duration", "abc", "not a number: read as 0", "duration=\"0\""},
        {"None", "duration", "", "not a number: read as 0", "duration=\"0\""},
        {"Fade In", "duration", "1000000", nullptr, "duration=\"1000000\""},
        {"Checker", "type", "APPEAR", "unknown word: \"appear\" kept", nullptr},
        {"Window", "type", "Circle_Open", "unknown word: \"square_close\" kept", nullptr},
        {"Window", "type", "circle_open", nullptr, "type=\"circle_open\""},
        {"Window", "spins", "nan", "out of range (-3.40282e+38 to 3.40282e+38): 1.8 kept", nullptr},
        {"Window", "spins", "1e39", "out of range (-3.40282e+38 to 3.40282e+38): 1.8 kept", nullptr},
        {"Window", "spins", "many", "not a number: read as 0", "spins=\"0\""},
        {"Spin In", "spins", "-inf", "value out of range: read as 0", "spins=\"0\""},
        {"Spin Out", "spins", "1e39", "value out of range: read as 3.40282e+38", "spins=\"3.40282e+38\""},
        {"Spin In", "spins", "many", "not a number: read as 0", "spins=\"0\""},
        {"Spin In", "spins", "-2.5", nullptr, "spins=\"-2.5\""},
        {"Slide In From", "final_x", "99999999999", "value out of range: read as 2147483647", "final_x=\"2147483647\""},
        {"Slide Out To", "final_y", "-99999999999", "value out of range: read as -2147483648",
         "final_y=\"-2147483648\""},
        {"Slide In From", "final_x", "12px", "not a whole number: read as 12", "final_x=\"12\""},
        {"Fade In", "duration", " 1500 ", nullptr, "duration=\"1500\""},
        {"Slide In From", "final_sx", "nan", "value out of range: read as 0", "final_sx=\"0\""},
        {"Slide Out To", "final_sy", "none", "not a number: read as 0", "final_sy=\"0\""},
        {"Color Fade", "fade_color", "99999999999", "out of range (-2147483648 to 4294967295): 16777215 kept", nullptr},
        {"Color Fade", "fade_color", "-2147483649", "out of range (-2147483648 to 4294967295): 16777215 kept", nullptr},
        {"Color Fade", "fade_color", "-1", nullptr, "fade_color=\"4294967295\""},
        {"Color Fade", "fade_color", "green", "not a number: read as 0", "fade_color=\"0\""},
    };
    for (const Case& c : cases) {
        const std::string attribute = std::string(" ") + c.attribute + "=\"" + c.value + "\"";
        SCOPED_TRACE(c.kind + attribute);
        std::vector<CReadIssue> issues;
        const std::string plain = read(element(c.kind, ""), &issues);
        const std::string written = read(element(c.kind, attribute), &issues);
        if (c.stored)
            EXPECT_NE(written.find(c.stored), std::string::npos) << written;
        else
            EXPECT_EQ(written, plain);
        if (!c.what) {
            EXPECT_TRUE(issues.empty());
            continue;
        }
        ASSERT_EQ(issues.size(), 1u);
        EXPECT_EQ(std::make_tuple(issues[0].attribute, issues[0].value, issues[0].what),
                  std::make_tuple(std::string(c.attribute), std::string(c.value), std::string(c.what)));
    }

    // One line for each value refused in one element; none without a context.
    std::vector<CReadIssue> issues;
    read(element("Window", " duration=\"-1\" type=\"round\" spins=\"inf\" spin=\"true\""), &issues);
    EXPECT_EQ(issues.size(), 3u);
    Element e(element("Push", " direction=\"sideways\""));
    EXPECT_NE(CTransitionList::CreateFromXml(e.node), nullptr);
}

TEST(TransitionList, OrderLookupsAndCells)
{
    EXPECT_EQ(CTransitionList::Instance(), nullptr);
    {
        Element e("<transition name=\"None\" />");
        EXPECT_EQ(CTransitionList::CreateFromXml(e.node), nullptr);  // no list at all
    }
    auto first = std::make_unique<CTransitionList>();
    EXPECT_TRUE(first->CreateAll());
    std::vector<std::string> names;
    for (int i = 0; i < first->GetCount(); ++i) names.push_back(first->Get(i)->GetName());
    // Sorted by name in byte order, whichever kinds the rows hold.
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    for (const char* name : {"Color Fade", "Cross Fade", "Fade In", "Fade Out", "None"})
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
    EXPECT_EQ(first->Get(-1), nullptr);
    EXPECT_EQ(first->Get(first->GetCount()), nullptr);
    EXPECT_FALSE(first->AddSorted(nullptr));

    // Equal names follow the one already there; a blank sorts before letters.
    const int fadeIn = int(std::find(names.begin(), names.end(), "Fade In") - names.begin());
    auto* second = new CTransition("Fade In", 1);
    first->AddSorted(std::unique_ptr<CTransition>(second));
    first->AddSorted(std::make_unique<CTransition>("Fade", 2));
    EXPECT_EQ(first->Get(fadeIn)->GetName(), "Fade");
    EXPECT_EQ(first->Get(fadeIn + 2), second);

    std::srand(7);
    for (int i = 0; i < 20; ++i) EXPECT_NE(first->GetRandom(), nullptr);

    // A second list takes the second cell; kinds only it holds are found there.
    auto other = std::make_unique<CTransitionList>();
    other->AddSorted(std::make_unique<CTransition>("Only Here", 10));
    EXPECT_EQ(CTransitionList::Instance(), first.get());
    Element onlyHere("<transition name=\"only here\" />");
    ASSERT_NE(CTransitionList::CreateFromXml(onlyHere.node), nullptr);

    // Destroyed out of order, each list leaves the other's cell alone.
    first.reset();
    EXPECT_EQ(CTransitionList::Instance(), nullptr);
    EXPECT_NE(CTransitionList::CreateFromXml(onlyHere.node), nullptr);
    auto third = std::make_unique<CTransitionList>();
    EXPECT_EQ(CTransitionList::Instance(), third.get());
    other.reset();
    EXPECT_EQ(CTransitionList::Instance(), third.get());
    third.reset();
    EXPECT_EQ(CTransitionList::Instance(), nullptr);
}

}  // namespace
}  // namespace tavrel_test
