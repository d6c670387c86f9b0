#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "foundation/system_utils.h"

namespace {

// A 32-bit world whose pixel (x, y) is {y, x, 0x5A, 0xA5} in memory.
GWorldPtr LabelledWorld(int width, int height)
{
    GWorldPtr world = nullptr;
    if (!CreateGWorld(&world, width, height, 32)) return nullptr;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = world->RowAt(y) + x * 4;
            p[0] = uint8_t(y);
            p[1] = uint8_t(x);
            p[2] = 0x5A;
            p[3] = 0xA5;
        }
    return world;
}

// The label of destination pixel (x, y) as "x,y" of its source, "-" when
// untouched (still all 0xEE).
std::string LabelAt(GWorldPtr world, int x, int y)
{
    const uint8_t* p = world->RowAt(y) + x * 4;
    if (p[0] == 0xEE && p[1] == 0xEE && p[2] == 0xEE && p[3] == 0xEE) return "-";
    return std::to_string(p[1]) + "," + std::to_string(p[0]);
}

GWorldPtr FilledWorld(int width, int height)
{
    GWorldPtr world = nullptr;
    if (!CreateGWorld(&world, width, height, 32)) return nullptr;
    std::fill_n(world->GetPixBaseAddr(), world->GetPixRowBytes() * size_t(height), uint8_t(0xEE));
    return world;
}

Rect Sized(int width, int height)
{
    return Rect{0, 0, int16_t(height), int16_t(width)};
}

}  // namespace

TEST(RotateGWorld32, TurnsANonSquareWorldPixelByPixel)
{
    // Source 3 x 2:  (0,0) (1,0) (2,0)
    //                (0,1) (1,1) (2,1)
    struct Case {
        int angle;
        int width, height;
        std::vector<std::vector<std::string>> rows;  // expected source labels
    };
    const std::vector<std::vector<std::string>> clockwise = {{"0,1", "0,0"}, {"1,1", "1,0"}, {"2,1", "2,0"}};
    const std::vector<std::vector<std::string>> half = {{"2,1", "1,1", "0,1"}, {"2,0", "1,0", "0,0"}};
    const std::vector<std::vector<std::string>> anticlockwise = {{"2,0", "2,1"}, {"1,0", "1,1"}, {"0,0", "0,1"}};
    const Case cases[] = {
        {90, 2, 3, clockwise}, {-270, 2, 3, clockwise},    {180, 3, 2, half},
        {-180, 3, 2, half},    {270, 2, 3, anticlockwise}, {-90, 2, 3, anticlockwise},
    };
    GWorldPtr source = LabelledWorld(3, 2);
    ASSERT_NE(source, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        // A larger destination: only the top-left rectangle is written.
        GWorldPtr dest = FilledWorld(4, 4);
        ASSERT_NE(dest, nullptr);
        EXPECT_TRUE(RotateGWorld32(source, Sized(3, 2), dest, Sized(c.width, c.height), c.angle));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const bool inside = x < c.width && y < c.height;
                EXPECT_EQ(LabelAt(dest, x, y), inside ? c.rows[y][x] : "-") << "at " << x << "," << y;
            }
        DisposeGWorldSafe(&dest);
    }
    DisposeGWorldSafe(&source);
}

TEST(RotateGWorld32, RefusesWhatDoesNotFitAndOtherAngles)
{
    GWorldPtr source = LabelledWorld(3, 2);
    GWorldPtr dest = FilledWorld(2, 3);
    GWorldPtr small = FilledWorld(2, 2);
    GWorldPtr grey = nullptr;
    ASSERT_TRUE(CreateGWorld(&grey, 3, 3, 8));
    ASSERT_TRUE(source && dest && small);
    struct Case {
        const char* what;
        GWorldPtr to;
        Rect from, rect;
        int angle;
    } cases[] = {
        {"45 degrees", dest, Sized(3, 2), Sized(2, 3), 45},
        {"0 degrees", dest, Sized(3, 2), Sized(2, 3), 0},
        {"360 degrees", dest, Sized(3, 2), Sized(2, 3), 360},
        {"destination not turned", dest, Sized(3, 2), Sized(3, 2), 90},
        {"destination rectangle larger than its world", small, Sized(3, 2), Sized(2, 3), 90},
        {"source rectangle larger than its world", dest, Sized(3, 3), Sized(3, 3), 90},
        {"8-bit destination", grey, Sized(3, 2), Sized(2, 3), 90},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> before(c.to->GetPixBaseAddr(),
                                    c.to->GetPixBaseAddr() + c.to->GetPixRowBytes() * size_t(c.to->Height()));
        EXPECT_FALSE(RotateGWorld32(source, c.from, c.to, c.rect, c.angle));
        EXPECT_TRUE(std::equal(before.begin(), before.end(), c.to->GetPixBaseAddr()));
    }
    EXPECT_FALSE(RotateGWorld32(nullptr, Sized(3, 2), dest, Sized(2, 3), 90));
    for (GWorldPtr* w : {&source, &dest, &small, &grey}) DisposeGWorldSafe(w);
}

TEST(ClearGWorld, ZeroesOnlyTheRequestedPixelsInsideTheWorld)
{
    GWorldPtr world = FilledWorld(3, 4);  // 12 bytes of pixels per 16-byte row
    ASSERT_NE(world, nullptr);
    ASSERT_GT(world->GetPixRowBytes(), 12u);
    ClearGWorld(world, 2, 3);
    for (int y = 0; y < 4; ++y)
        for (size_t i = 0; i < world->GetPixRowBytes(); ++i)
            EXPECT_EQ(world->RowAt(y)[i], (y < 3 && i < 8) ? 0 : 0xEE) << "row " << y << " byte " << i;
    // Larger than the world: the whole world is cleared, the padding kept, nothing beyond written.
    ClearGWorld(world, 1000, 1000);
    for (int y = 0; y < 4; ++y)
        for (size_t i = 0; i < world->GetPixRowBytes(); ++i) EXPECT_EQ(world->RowAt(y)[i], i < 12 ? 0 : 0xEE);
    ClearGWorld(nullptr, 1, 1);
    DisposeGWorldSafe(&world);
}

TEST(CreateGWorld, SetsColoursAndLeavesThePortAlone)
{
    GWorldPtr port = nullptr;
    ASSERT_TRUE(CreateGWorld(&port, 1, 1, 32));
    SetGWorld(port);
    GWorldPtr world = nullptr;
    ASSERT_TRUE(CreateGWorld(&world, 5, 7, 32));
    EXPECT_EQ(GetGWorld(), port);
    EXPECT_EQ(world->Width(), 5);
    EXPECT_EQ(world->Height(), 7);
    EXPECT_EQ(world->ForeColor().red, 0);
    EXPECT_EQ(world->BackColor().blue, 0xFFFF);
    EXPECT_TRUE(DisposeGWorldSafe(&world));
    EXPECT_EQ(world, nullptr);
    EXPECT_TRUE(DisposeGWorldSafe(&world));
    DisposeGWorldSafe(&port);
    EXPECT_EQ(GetGWorld(), nullptr);  // a disposed world is never left current

    for (auto [w, h, depth] : {std::array{-1, 5, 32}, {5, 0, 32}, {5, 5, 7}, {40000, 5, 32}}) {
        GWorldPtr bad = reinterpret_cast<GWorldPtr>(1);
        EXPECT_FALSE(CreateGWorld(&bad, w, h, depth));
        EXPECT_EQ(bad, nullptr);
    }
}

TEST(DrawPixelBuffer, WidensChannelsAndMapsOneBitPixels)
{
    GWorldPtr world = FilledWorld(2, 2);
    ASSERT_NE(world, nullptr);
    const uint8_t rgb[] = {255, 0, 128, 0, 0, 0, 1, 2, 3, 10, 20, 30};
    DrawPixelBuffer(rgb, 2, 2, 24, world);
    const uint8_t expect[][4] = {{255, 255, 0, 128}, {255, 0, 0, 0}, {255, 1, 2, 3}, {255, 10, 20, 30}};
    for (int i = 0; i < 4; ++i) {
        const uint8_t* p = world->RowAt(i / 2) + (i % 2) * 4;
        EXPECT_EQ(std::vector<uint8_t>(p, p + 4), std::vector<uint8_t>(expect[i], expect[i] + 4)) << i;
    }
    EXPECT_EQ(world->GetCPixel(0, 0).red, 65535);
    EXPECT_EQ(world->GetCPixel(0, 0).green, 0);

    const uint8_t bits[] = {0, 7, 1, 0};
    DrawPixelBuffer(bits, 2, 2, 1, world);
    EXPECT_EQ(world->GetCPixel(0, 0).red, 0);
    EXPECT_EQ(world->GetCPixel(1, 0).green, 65535);
    EXPECT_EQ(world->GetCPixel(0, 1).blue, 65535);
    EXPECT_EQ(world->GetCPixel(1, 1).red, 0);

    // Other depths draw nothing.
    std::vector<uint8_t> before(world->GetPixBaseAddr(), world->GetPixBaseAddr() + world->GetPixRowBytes() * 2);
    DrawPixelBuffer(rgb, 2, 2, 32, world);
    DrawPixelBuffer(rgb, 2, 2, 24, nullptr);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), world->GetPixBaseAddr()));
    DisposeGWorldSafe(&world);
}

TEST(DrawTextAt, DrawsDarkTextOnTheBaselineAndAdvancesThePen)
{
    GWorldPtr world = nullptr;
    ASSERT_TRUE(CreateGWorld(&world, 60, 30, 32));
    std::fill_n(world->GetPixBaseAddr(), world->GetPixRowBytes() * 30, uint8_t(0xFF));
    DrawTextAt(2, 20, "Hi", 2);  // no current port: nothing happens
    PortSaver saver;
    SetGWorld(world);
    world->SetTextSize(14);
    DrawTextAt(2, 20, "Hi\xA5", 3);  // Mac Roman 0xA5 is a bullet
    EXPECT_GT(world->PenLocation().h, 10);
    EXPECT_EQ(world->PenLocation().v, 20);
    int dark = 0, belowBaseline = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            if (world->GetCPixel(x, y).red < 0x4000) {
                ++dark;
                belowBaseline += y > 20;
            }
        }
    EXPECT_GT(dark, 20);
    EXPECT_EQ(belowBaseline, 0);  // "Hi" and a bullet have no descenders
    // Partly or wholly outside the world: clipped, not written out of bounds.
    DrawTextAt(-5, 3, "Wide text", 9);
    DrawTextAt(55, 40, "Wide text", 9);
    SetGWorld(nullptr);
    DisposeGWorldSafe(&world);
}
