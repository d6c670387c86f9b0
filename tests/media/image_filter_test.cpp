// The filter framework: change signal, clones, registry, XML form and the
// shared pixel routines.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "filter_pictures.h"
#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"
#include "media/image_filters.h"
#include "support/test_support.h"

using namespace filter_test;

namespace {

int g_calls = 0;
intptr_t g_last = 0;
void CountCall(intptr_t argument)
{
    ++g_calls;
    g_last = argument;
}

CImageFilterList& Prototypes()
{
    static CImageFilterList* list = [] {
        CImageFilterList* l = CImageFilterList::Register(0);
        if (!l) l = CImageFilterList::FindById(0);
        l->CreatePrototypes();
        return l;
    }();
    return *list;
}

// Reads every filter element of a project-style file through list 0.
std::vector<std::unique_ptr<CImageFilter>> ReadFilters(const std::string& path)
{
    std::vector<std::unique_ptr<CImageFilter>> filters;
    CXMLDocument document;
    CXMLNode root;
    CXMLNodeList children;
    EXPECT_TRUE(document.Load(CPath(path.c_str()))) << document.GetLastError();
    if (!document.GetFirstChild(root) || !root.GetChildren(children)) return filters;
    for (int i = 0; i < children.GetCount(); ++i) {
        CXMLNode element;
        if (!children.GetAt(i, element)) continue;
        if (auto filter = Prototypes().ReadXML(element)) filters.push_back(std::move(filter));
    }
    return filters;
}

}  // namespace

TEST(ImageFilter, SettersSignalOnlyRealChanges)
{
    CSwirlFilter swirl;
    swirl.GetChangeSignal().Connect(Callback::BindFunction(CountCall));
    g_calls = 0;
    struct Step {
        int set, stored, calls;
    } steps[] = {{180, 180, 0}, {725, 5, 1}, {365, 5, 1}, {-30, -30, 2}};
    for (const Step& s : steps) {
        swirl.SetAngle(s.set);
        EXPECT_EQ(swirl.GetAngle(), s.stored) << s.set;
        EXPECT_EQ(g_calls, s.calls) << s.set;
    }
    EXPECT_EQ(g_last, reinterpret_cast<intptr_t>(&swirl));

    CAddNoiseFilter noise;
    noise.GetChangeSignal().Connect(Callback::BindFunction(CountCall));
    g_calls = 0;
    noise.SetType(6);  // no such type
    noise.SetType(CAddNoiseFilter::kGaussian);
    EXPECT_EQ(g_calls, 0);
    EXPECT_EQ(noise.GetType(), CAddNoiseFilter::kGaussian);
}

TEST(ImageFilterList, RegistryAndPrototypes)
{
    CImageFilterList& list = Prototypes();
    EXPECT_EQ(CImageFilterList::Register(0), nullptr);
    EXPECT_EQ(CImageFilterList::FindById(0), &list);
    EXPECT_EQ(CImageFilterList::FindById(77), nullptr);
    EXPECT_FALSE(list.Add(nullptr));

    ASSERT_EQ(list.GetCount(), 20u);
    // Descending name order; the three filters offered nowhere are absent.
    EXPECT_EQ(list.GetAt(0)->GetName(), "Swirl");
    EXPECT_EQ(list.GetAt(19)->GetName(), "Add Noise");
    for (size_t i = 0; i + 1 < list.GetCount(); ++i) {
        EXPECT_GT(list.GetAt(i)->GetName(), list.GetAt(i + 1)->GetName());
        for (const char* hidden : {"Deinterlace", "Fade Edge", "Fast Blur"})
            EXPECT_NE(list.GetAt(i)->GetName(), hidden);
    }
}

TEST(ImageFilterList, WritesAndReadsFilterElements)
{
    tavrel_test::TempDir dir;
    const std::string path = dir.file("filters.tvr");
    {
        CBlackWhiteFilter bw;
        CGaussianBlurFilter blur;
        blur.SetRadius(2.5);
        CEdgeFilter edge;
        CAddNoiseFilter noise;
        noise.SetType(CAddNoiseFilter::kPoisson);
        CBrightnessContrastFilter bc;
        bc.SetBrightness(-20);
        bc.SetContrast(35);
        CMedianFilter median;
        median.SetThreshold(70);
        CXMLOutputFile out;
        ASSERT_TRUE(out.Open(CPath(path.c_str())));
        for (CImageFilter* f : std::initializer_list<CImageFilter*>{&bw, &blur, &edge, &noise, &bc, &median})
            EXPECT_TRUE(f->WriteXML(out));
        ASSERT_TRUE(out.Close());
    }
    const std::string text = tavrel_test::ReadFile(path);
    for (const char* line :
         {"<filter name=\"Black &amp; White\" threshold=\"100\" />\n",
          "<filter name=\"Gaussian Blur\" radius=\"2.5\" />\n", "<filter name=\"Edge\" radius=\"1\" />\n",
          "<filter name=\"Add Noise\" type=\"poisson\" />\n",
          "<filter name=\"Brightness/Contrast\" brightness=\"-20\" contrast=\"35\" />\n",
          "<filter name=\"Median\" />\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;

    auto filters = ReadFilters(path);
    ASSERT_EQ(filters.size(), 6u);
    EXPECT_EQ(dynamic_cast<CBlackWhiteFilter&>(*filters[0]).GetThreshold(), 100);
    EXPECT_EQ(dynamic_cast<CGaussianBlurFilter&>(*filters[1]).GetRadius(), 2.5);
    EXPECT_EQ(dynamic_cast<CAddNoiseFilter&>(*filters[3]).GetType(), CAddNoiseFilter::kPoisson);
    EXPECT_EQ(dynamic_cast<CBrightnessContrastFilter&>(*filters[4]).GetBrightness(), -20);
    EXPECT_EQ(dynamic_cast<CBrightnessContrastFilter&>(*filters[4]).GetContrast(), 35);
    EXPECT_EQ(dynamic_cast<CMedianFilter&>(*filters[5]).GetThreshold(), 20);  // not saved
}

TEST(ImageFilterList, SkipsUnknownNamesAndKeepsTheRestInOrder)
{
    tavrel_test::TempDir dir;
    const std::string path = dir.file("filters.tvr");
    ASSERT_TRUE(tavrel_test::WriteFile(path,
                                       "<xml version=\"1.0\">\n"
                                       "<filter name=\"black &amp; white\" threshold=\"3\" />\n"
                                       "<filter name=\"Swirl\" angle=\"400\" />\n"
                                       "<filter name=\"Fade Edge\" />\n"
                                       "<filter threshold=\"3\" />\n"
                                       "<filter name=\"Add Noise\" type=\"Gaussian\" />\n"
                                       "<filter name=\"Add Noise\" type=\"impulse\" />\n"
                                       "<filter name=\"Oil Paint\" threshold=\"junk\" />\n"
                                       "<filter name=\"Sepia\" />\n"
                                       "</xml>\n"));
    auto filters = ReadFilters(path);
    std::vector<std::string> names;
    for (auto& f : filters) names.push_back(f->GetName());
    EXPECT_EQ(names, (std::vector<std::string>{"Swirl", "Add Noise", "Add Noise", "Oil Paint", "Sepia"}));
    ASSERT_EQ(filters.size(), 5u);
    EXPECT_EQ(dynamic_cast<CSwirlFilter&>(*filters[0]).GetAngle(), 400);  // used as read
    EXPECT_EQ(dynamic_cast<CAddNoiseFilter&>(*filters[1]).GetType(), CAddNoiseFilter::kGaussian);
    EXPECT_EQ(dynamic_cast<CAddNoiseFilter&>(*filters[2]).GetType(), CAddNoiseFilter::kImpulse);
    EXPECT_EQ(dynamic_cast<COilPaintFilter&>(*filters[3]).GetThreshold(), 0);
}

TEST(PixelRoutines, FetchAndBlock)
{
    CImage image;
    Pattern(image, 5, 4);
    uint8_t out[3] = {1, 2, 3};
    EXPECT_FALSE(GetPixel24(image, 5, 0, out));
    EXPECT_FALSE(GetPixel24(image, uint32_t(-1), 2, out));
    EXPECT_FALSE(GetPixel24(image, 0, 4, out));
    EXPECT_EQ(out[0], 1);
    ASSERT_TRUE(GetPixel24(image, 4, 3, out));
    EXPECT_EQ((Rgb{out[0], out[1], out[2]}), At(image, 4, 3));

    // Cells outside take the nearest edge pixel.
    auto block = ExtractPixelBlock(image, -2, 2, 9, 3);
    ASSERT_TRUE(block);
    auto cell = [&](int i, int j) {
        const uint8_t* c = &block[(j * 9 + i) * 4];
        return Rgb{c[0], c[1], c[2]};
    };
    EXPECT_EQ(cell(0, 0), At(image, 0, 2));
    EXPECT_EQ(cell(3, 1), At(image, 1, 3));
    EXPECT_EQ(cell(8, 2), At(image, 4, 3));
    EXPECT_EQ(ExtractPixelBlock(image, 0, 0, 0x80000000u, 0x80000000u), nullptr);

    EXPECT_EQ(PixelIntensity(Gray(255).data()), 255);
    EXPECT_EQ(PixelIntensity(Rgb{255, 0, 0}.data()), 76);
}

TEST(PixelRoutines, Interpolation)
{
    CImage image;
    Fill(image, 2, 2, Gray(0));
    Set(image, 1, 0, Gray(100));
    Set(image, 1, 1, Gray(200));
    struct Case {
        double x, y;
        uint8_t expected;
    } cases[] = {{0.5, 0, 50}, {1, 0.5, 150},      {0.5, 0.5, 75}, {0.9999999999, 0, 100}, {-7, 0, 0},
                 {5, 1, 200},  {INFINITY, 0, 100}, {NAN, NAN, 0},  {-INFINITY, 1, 0}};
    for (const Case& c : cases) {
        uint8_t out[3];
        GetPixelInterpolated(image, c.x, c.y, out);
        EXPECT_EQ(out[0], c.expected) << c.x << ", " << c.y;
    }
}

TEST(PixelRoutines, GaussianKernelWidth)
{
    struct Case {
        double radius, sigma;
        int width;
    } cases[] = {{2.5, 0.5, 7}, {2.5, 9.0, 7}, {0, 0.5, 3},   {-4, 0.5, 3},         {10, 0.5, 21},
                 {1, 0.5, 3},   {0, 1.0, 7},   {0.5, 0.5, 3}, {1e300, 0.5, INT_MAX}};
    for (const Case& c : cases) EXPECT_EQ(GetGaussianKernelWidth(c.radius, c.sigma), c.width) << c.radius;
}

TEST(PixelRoutines, ConvolutionRefusalsAndDivisor)
{
    CImage image;
    Fill(image, 5, 5, Gray(100));
    const double four[16] = {};
    EXPECT_FALSE(ConvolveImage(image, 4, four));
    double half[9] = {};
    half[4] = 0.5;  // sums to 0.5: divided by 1.0
    ASSERT_TRUE(ConvolveImage(image, 3, half));
    EXPECT_EQ(At(image, 2, 2), Gray(50));
    EXPECT_EQ(At(image, 0, 0), Gray(50));  // borders included

    CImage narrow;
    Fill(narrow, 2, 6, Gray(7));
    EXPECT_FALSE(ConvolveImage(narrow, 3, half));
    EXPECT_EQ(At(narrow, 0, 0), Gray(7));
}

TEST(PixelRoutines, NoiseDistributions)
{
    struct Case {
        int type;
        uint8_t input;
        double mean, meanTolerance, spread, spreadTolerance;
    } cases[] = {
        {CAddNoiseFilter::kUniform, 100, 100, 0.5, 2 / std::sqrt(3.0), 0.3},
        {CAddNoiseFilter::kGaussian, 128, 128, 2, std::sqrt(16 * 128.0 + 400), 4},
        {CAddNoiseFilter::kMultiplicativeGaussian, 100, 100, 2, 50, 4},
        {CAddNoiseFilter::kLaplacian, 128, 128, 1, 10 * std::sqrt(2.0), 1.5},
        {CAddNoiseFilter::kPoisson, 100, 100, 2, std::sqrt(20 * 100.0), 4},
        {9, 100, 100, 0.5, 2 / std::sqrt(3.0), 0.3},  // unknown types are uniform
    };
    constexpr int kDraws = 20000;
    for (const Case& c : cases) {
        std::srand(1234);
        double sum = 0, squares = 0;
        for (int i = 0; i < kDraws; ++i) {
            const double v = GenerateNoise(c.input, c.type);
            sum += v;
            squares += v * v;
        }
        const double mean = sum / kDraws, spread = std::sqrt(squares / kDraws - mean * mean);
        EXPECT_NEAR(mean, c.mean, c.meanTolerance) << "type " << c.type;
        EXPECT_NEAR(spread, c.spread, c.spreadTolerance) << "type " << c.type;
    }

    std::srand(99);
    int low = 0, high = 0;
    for (int i = 0; i < kDraws; ++i) {
        const uint8_t v = GenerateNoise(128, CAddNoiseFilter::kImpulse);
        low += v == 0;
        high += v == 255;
        ASSERT_TRUE(v == 0 || v == 128 || v == 255);
    }
    EXPECT_NEAR(low / double(kDraws), 0.05, 0.006);
    EXPECT_NEAR(high / double(kDraws), 0.05, 0.006);
}
