#include <gtest/gtest.h>

#include <array>

#include "platform/font_catalog.h"
#include "platform/gworld.h"
#include "support/test_support.h"

namespace {

const char* const kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

class FontCatalogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!tavrel_test::IsThere(kSans) || !tavrel_test::IsThere(kMono)) GTEST_SKIP() << "fonts-dejavu-core missing";
        sans = platform::RegisterFontFile(kSans);
        mono = platform::RegisterFontFile(kMono);
        ASSERT_NE(sans, 0);
        ASSERT_NE(mono, 0);
    }
    FMFontFamily sans = 0, mono = 0;
};

TEST_F(FontCatalogTest, FamiliesByNameAndNumber)
{
    EXPECT_EQ(platform::RegisterFontFile(kSans), sans);  // a number stays with its family
    EXPECT_NE(sans, mono);
    EXPECT_NE(GetSysFont(), 0);
    struct Case {
        const char* name;
        FMFontFamily byNum, byName;
    };
    const Case cases[] = {
        {"DejaVu Sans", sans, sans},
        {"dejavu SANS mono", mono, mono},
        {"Geneva", 0, GetSysFont()},
        {"helvetica", 0, GetSysFont()},
        {"Monaco", 0, FMGetFontFamilyFromName("Courier")},
        {"No Such Family", 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetFNum(c.name), c.byNum) << c.name;
        EXPECT_EQ(FMGetFontFamilyFromName(c.name), c.byName) << c.name;
    }
    EXPECT_NE(FMGetFontFamilyFromName("Times"), 0);
    std::string name;
    ASSERT_TRUE(FMGetFontFamilyName(sans, name));
    EXPECT_EQ(name, "DejaVu Sans");
    EXPECT_FALSE(FMGetFontFamilyName(0, name));
    EXPECT_FALSE(FMGetFontFamilyName(32000, name));
    tavrel_test::TempDir dir;
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("bad.ttf"), "not a font"));
    EXPECT_EQ(platform::RegisterFontFile(dir.file("bad.ttf")), 0);
}

TEST_F(FontCatalogTest, MeasuresOnThePort)
{
    GWorldPtr port = GWorld::Create(Rect{0, 0, 1, 1}, 32);
    ASSERT_NE(port, nullptr);
    PortSaver saver;
    SetGWorld(port);
    port->SetTextFont(sans);
    // At 1024 points one unit of DejaVu Sans is half a point.
    port->SetTextSize(1024);
    FMetricRec m;
    FontMetrics(&m);
    EXPECT_EQ(std::make_tuple(m.ascent, m.descent, m.leading),
              std::make_tuple(Fixed(950.5 * 65536), Fixed(241.5 * 65536), 0));
    GlyphOutlineMetrics a;
    ASSERT_TRUE(OutlineMetrics('A', &a));
    EXPECT_EQ(std::make_tuple(a.advance, a.leftSideBearing), std::make_tuple(Fixed(700.5 * 65536), 8 << 16));
    EXPECT_EQ(std::make_tuple(a.bounds.top, a.bounds.left, a.bounds.bottom, a.bounds.right),
              std::make_tuple(-747, 8, 0, 692));
    GlyphOutlineMetrics none;
    EXPECT_FALSE(OutlineMetrics(0xE000, &none));  // a private-use code the font leaves out
    // Family 0 is the system font.
    port->SetTextFont(0);
    FMetricRec zero, system;
    FontMetrics(&zero);
    port->SetTextFont(GetSysFont());
    FontMetrics(&system);
    EXPECT_EQ(zero.ascent, system.ascent);
    SetGWorld(nullptr);
    EXPECT_FALSE(OutlineMetrics('A', &none));
    DisposeGWorld(port);
}

TEST_F(FontCatalogTest, DrawTextHonoursFamilySizeAndFace)
{
    struct Case {
        FMFontFamily family;
        int size;
        uint16_t face;
        int advance;  // of "iiii", in pixels
    };
    // Sans i: 569 units of 2048, mono: 1233; the bold sans i: 685.
    const Case cases[] = {
        {sans, 20, 0, 4 * 5},
        {mono, 20, 0, 4 * 12},
        {sans, 40, 0, 4 * 11},
        {sans, 20, qd_style::kBold, 4 * 7},
    };
    std::vector<int> lit;
    for (const Case& c : cases) {
        GWorldPtr world = GWorld::Create(Rect{0, 0, 60, 120}, 32);
        ASSERT_NE(world, nullptr);
        world->SetForeColor(RGBColor{0xFFFF, 0xFFFF, 0xFFFF});
        world->SetTextFont(c.family);
        world->SetTextSize(c.size);
        world->SetTextFace(c.face);
        world->MoveTo(5, 45);
        world->DrawText("iiii", 4);
        EXPECT_NEAR(world->PenLocation().h - 5, c.advance, 4) << c.family << " " << c.size << " " << c.face;
        int count = 0;
        for (int y = 0; y < world->Height(); ++y)
            for (int x = 0; x < world->Width(); ++x) count += world->RowAt(y)[x * 4 + 1] > 128;
        // Nothing is drawn below the baseline by an i.
        for (int y = 46; y < world->Height(); ++y)
            for (int x = 0; x < world->Width(); ++x) EXPECT_EQ(world->RowAt(y)[x * 4 + 1], 0) << x << "," << y;
        lit.push_back(count);
        DisposeGWorld(world);
    }
    EXPECT_GT(lit[2], 2 * lit[0]);  // twice the size
    EXPECT_GT(lit[3], lit[0]);      // bold
}

TEST(FontOutlines, CubicsBecomeCloseQuadratics)
{
    using P = GlyphPathSink::Point2;
    struct Curves : GlyphPathSink {
        void NewPath() override {}
        void Line(P, P) override {}
        void Curve(P s, P c, P e) override { pieces.push_back({s, c, e}); }
        void ClosePath() override {}
        std::vector<std::array<P, 3>> pieces;
    };
    struct Case {
        P p0, c1, c2, p3;
        size_t fewest, most;
    };
    const Case cases[] = {
        {{0, 0}, {10, 0}, {20, 0}, {30, 0}, 1, 1},  // a straight line stays one piece
        {{0, 0}, {0, 600}, {600, 600}, {600, 0}, 3, 16},
        {{0, 0}, {900, 900}, {-900, 900}, {0, 0}, 3, 64},  // a loop
    };
    for (const Case& c : cases) {
        Curves sink;
        platform::CubicToQuadratics(c.p0, c.c1, c.c2, c.p3, sink);
        ASSERT_GE(sink.pieces.size(), c.fewest);
        ASSERT_LE(sink.pieces.size(), c.most);
        EXPECT_EQ(sink.pieces.front()[0].x, c.p0.x);
        EXPECT_EQ(sink.pieces.back()[2].x, c.p3.x);
        EXPECT_EQ(sink.pieces.back()[2].y, c.p3.y);
        // Each piece joins the next and its middle lies on the cubic.
        const double n = double(sink.pieces.size());
        for (size_t i = 0; i < sink.pieces.size(); ++i) {
            const auto& [s, k, e] = sink.pieces[i];
            if (i + 1 < sink.pieces.size()) {
                EXPECT_EQ(e.x, sink.pieces[i + 1][0].x);
            }
            const double t = (i + 0.5) / n, u = 1 - t;
            const double cx = u * u * u * c.p0.x + 3 * u * u * t * c.c1.x + 3 * u * t * t * c.c2.x + t * t * t * c.p3.x;
            const double cy = u * u * u * c.p0.y + 3 * u * u * t * c.c1.y + 3 * u * t * t * c.c2.y + t * t * t * c.p3.y;
            const double qx = (s.x + 2 * k.x + e.x) / 4.0, qy = (s.y + 2 * k.y + e.y) / 4.0;
            EXPECT_NEAR(qx, cx, 0.5) << i;
            EXPECT_NEAR(qy, cy, 0.5) << i;
        }
    }
}

}  // namespace
