// The effect registry, the per-movie list of used effects and the swf_fx
// element of a slide.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <typeinfo>
#include <vector>

#include "effects/strobe.h"
#include "show/overlay_effect.h"
#include "show/slide.h"
#include "show/slide_show.h"
#include "support/test_support.h"
#include "swf/movie.h"

using tavrel_test::TempDir;

TEST(EffectList, RegistryOrderAndLookups)
{
    ASSERT_EQ(COverlayEffectList::GetCurrent(), nullptr);
    COverlayEffectList registry;
    ASSERT_TRUE(registry.CreateAll());
    // Every kind in its row.
    const std::vector<std::string> rows = {"None", "Bubbles", "Fireworks", "Hearts", "Old Movie", "Snow", "Strobe"};
    std::vector<std::string> names;
    for (int i = 0; i < registry.GetCount(); ++i) names.push_back(registry.GetAt(i)->GetName());
    EXPECT_EQ(names, rows);
    for (int outside : {-1, registry.GetCount(), 7}) EXPECT_EQ(registry.GetAt(outside), nullptr) << outside;
    EXPECT_FALSE(registry.Add(nullptr));

    // Names match byte for byte; each hit is a new object of the kind.
    const struct {
        const char* name;
        const char* found;  // null: no match
    } lookups[] = {{"Strobe", "Strobe"},    {"None", "None"},         {"strobe", nullptr}, {"STROBE", nullptr},
                   {"none", nullptr},       {"Strobe ", nullptr},     {"", nullptr},       {"Bubbles", "Bubbles"},
                   {"Hearts", "Hearts"},    {"Old Movie", "Old Movie"}, {"Old movie", nullptr}, {"OldMovie", nullptr},
                   {"Fireworks", "Fireworks"}, {"FireWorks", nullptr},     {"Snow", "Snow"},    {"snow", nullptr}};
    for (const auto& l : lookups) {
        auto effect = COverlayEffectList::FindByName(l.name);
        if (!l.found) {
            EXPECT_EQ(effect, nullptr) << l.name;
            continue;
        }
        ASSERT_NE(effect, nullptr) << l.name;
        EXPECT_EQ(effect->GetName(), l.found);
        EXPECT_EQ(typeid(*effect), typeid(*registry.GetAt(int(std::find(names.begin(), names.end(), l.found) - names.begin()))));
        for (int i = 0; i < registry.GetCount(); ++i) EXPECT_NE(effect.get(), registry.GetAt(i));
    }
    EXPECT_EQ(COverlayEffectList::FindByName(nullptr), nullptr);

    // A clone starts without the prototype's sprite.
    TempDir dir;
    CSwfMovie movie;
    movie.SetHeader(6400, 4800, 12.0f, 5);
    ASSERT_TRUE(movie.Open(CPath(dir.file("built.swf")), true));
    uint16_t ids = 0, depths = 0;
    COverlayEffect* strobe = registry.GetAt(int(std::find(names.begin(), names.end(), "Strobe") - names.begin()));
    ASSERT_NE(strobe, nullptr);
    EXPECT_EQ(strobe->Build(&movie, &ids, &depths), 1);
    EXPECT_EQ(strobe->Clone()->GetSpriteId(), 0);
    ASSERT_NE(COverlayEffectList::FindByName("Strobe"), nullptr);
    EXPECT_EQ(COverlayEffectList::FindByName("Strobe")->GetSpriteId(), 0);
    movie.Close();
}

// Only the list that holds the registration gives it up when destroyed.
TEST(EffectList, RegistrationStaysWithItsList)
{
    ASSERT_EQ(COverlayEffectList::GetCurrent(), nullptr);
    {
        COverlayEffectList registry;
        registry.CreateAll();
        {
            COverlayEffectList other;
            other.CreateAll();
            EXPECT_EQ(COverlayEffectList::GetCurrent(), &registry);
        }
        EXPECT_EQ(COverlayEffectList::GetCurrent(), &registry);
        EXPECT_NE(COverlayEffectList::FindByName("Strobe"), nullptr);
    }
    EXPECT_EQ(COverlayEffectList::GetCurrent(), nullptr);
    EXPECT_EQ(COverlayEffectList::FindByName("None"), nullptr);
    // With the registry gone the next list takes its place.
    COverlayEffectList next;
    EXPECT_EQ(COverlayEffectList::GetCurrent(), &next);
}

// The swf_fx line is written as it stands and read back by exact name.
TEST(EffectList, SwfFxElement)
{
    COverlayEffectList registry;
    registry.CreateAll();
    TempDir dir;
    CSlideShow show;
    const struct {
        const char* fileName;  // the name in the project file
        const char* kept;      // the slide's effect after reading
    } rows[] = {{"Strobe", "Strobe"}, {"strobe", "None"}, {"None", "None"}, {"Snowfall", "None"}};
    for (const auto& row : rows) {
        const std::string path = dir.file("slide.xml");
        tavrel_test::WriteFile(
            path, std::string("<slide type=\"blank\" >\n<swf_fx name=\"") + row.fileName + "\" />\n</slide>\n");
        CXMLDocument document;
        CXMLNode element;
        ASSERT_TRUE(document.Load(CPath(path)) && document.GetFirstChild(element));
        CSlide slide(CSlide::kBlank, &show);
        slide.ReadXml(element);
        EXPECT_EQ(slide.GetSwfFx().GetName(), row.kept) << row.fileName;

        CXMLWriteOptions options;
        options.writeDeclaration = false;
        CXMLOutputFile out;
        ASSERT_TRUE(out.Open(CPath(dir.file("out.xml")), options, true));
        slide.WriteXml(out);
        ASSERT_TRUE(out.Close());
        const std::string line = std::string("\n<swf_fx name=\"") + row.kept + "\" />\n";
        EXPECT_NE(tavrel_test::ReadFile(dir.file("out.xml")).find(line), std::string::npos) << row.fileName;
    }
}
