#include "editor/about_window.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/system_utils.h"
#include "media/png_image.h"
#include "support/bundle_fixture.h"
#include "support/fake_user.h"

namespace tavrel_test {
namespace {

constexpr RGBColor kGrey{0x8080, 0x8080, 0x8080};

class AboutWindowTest : public ::testing::Test {
protected:
    AboutWindowTest()
    {
        CloseMainResourceFile();
        WriteFile(bundle_.Resources() + "/splash.nib.xml", R"(<nib>
  <window name="IDD_SPLASH" class="modal" left="0" top="0" width="300" height="150"/>
</nib>)");
        EXPECT_TRUE(nib_.Open("splash"));
        SavePicture(bundle_.Resources() + "/splash.png", 120, 80);
        std::filesystem::create_directories(bundle_.Resources() + "/main.rsrc/GfXX");
        SavePicture(bundle_.Resources() + "/main.rsrc/GfXX/128", 50, 30);
        WriteFile(bundle_.Resources() + "/broken.png", "\x89PNG\r\n\x1a\n not really");
    }
    ~AboutWindowTest() override { CloseMainResourceFile(); }

    static void SavePicture(const std::string& path, int width, int height)
    {
        GWorldPtr world = nullptr;
        ASSERT_TRUE(CreateGWorld(&world, width, height, 32));
        for (int v = 0; v < height; ++v)
            for (int h = 0; h < width; ++h) world->SetCPixel(h, v, kGrey);
        ASSERT_TRUE(CPngImage::Save(world, CPath(path)));
        DisposeGWorldSafe(&world);
    }
    static CAboutWindow::Settings Splash(const char* file)
    {
        CAboutWindow::Settings settings;
        settings.versionMajor = 1;
        settings.versionMinor = 122;
        settings.textTop = 60;
        settings.pictureFile = file;
        return settings;
    }
    static bool Same(const RGBColor& a, const RGBColor& b)
    {
        return a.red == b.red && a.green == b.green && a.blue == b.blue;
    }

    ScopedBundle bundle_{""};
    CNibRef nib_;
    FakeUser user_;
};

TEST_F(AboutWindowTest, DrawsTheVersionOverThePictureAndShowsIt)
{
    auto about = std::make_unique<CAboutWindow>(Splash("splash.png"));
    EXPECT_EQ(CAboutWindow::GetInstance(), about.get());
    ASSERT_TRUE(about->CreateFromNibName(nib_, "IDD_SPLASH", nullptr, 0));
    GWorldPtr picture = about->GetPicture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width(), 120);
    EXPECT_EQ(picture->Height(), 80);
    int width = 0, height = 0;
    about->GetSize(&width, &height);
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 150);

    // The text changes pixels only near its baseline start (10, 60).
    int changed = 0;
    for (int v = 0; v < 80; ++v) {
        for (int h = 0; h < 120; ++h) {
            if (Same(picture->GetCPixel(h, v), kGrey)) continue;
            ++changed;
            EXPECT_TRUE(h >= 10 && v > 60 - 14 && v <= 60 + 4) << h << "," << v;
        }
    }
    EXPECT_GT(changed, 20);

    // The window's port holds the picture at (0, 0), text included.
    about->OnDraw();
    GWorldPtr port = GetWindowPort(about->GetWindow());
    for (int v = 0; v < 80; v += 3)
        for (int h = 0; h < 120; h += 2)
            ASSERT_TRUE(Same(port->GetCPixel(h, v), picture->GetCPixel(h, v))) << h << "," << v;
    EXPECT_FALSE(Same(port->GetCPixel(200, 100), kGrey));

    about.reset();
    EXPECT_EQ(CAboutWindow::GetInstance(), nullptr);
}

TEST_F(AboutWindowTest, PictureSources)
{
    const struct {
        const char* file;
        bool painted;
        int width;
    } cases[] = {
        {"", true, 50},             // the resource
        {"missing.png", true, 50},  // falls back to the resource
        {"broken.png", false, 0},   // undecodable: the window stays empty
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        CAboutWindow about(Splash(c.file));
        EXPECT_EQ(about.CreateFromNibName(nib_, "IDD_SPLASH", nullptr, 0), c.painted);
        EXPECT_NE(about.GetWindow(), nullptr);
        ASSERT_EQ(about.GetPicture() != nullptr, c.painted);
        if (c.painted) {
            EXPECT_EQ(about.GetPicture()->Width(), c.width);
        }
    }
    std::filesystem::remove_all(bundle_.Resources() + "/main.rsrc");
    CloseMainResourceFile();
    CAboutWindow none(Splash(""));
    EXPECT_FALSE(none.CreateFromNibName(nib_, "IDD_SPLASH", nullptr, 0));
}

}  // namespace
}  // namespace tavrel_test
