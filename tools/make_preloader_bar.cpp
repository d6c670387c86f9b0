// Writes the preloader bar template movie and stores it in the application's
// resource file as 'Prld' 1000, leaving the file's other resources alone.
//
//   make_preloader_bar MAIN_RSRC_FOLDER COPY.swf
//
// The movie places the clip "PreloadBar", which holds "BarBg" and "BarFg":
// two bars of one size drawn from their left edges, so that the preloader's
// script can stretch the whole clip and grow the foreground by its _width.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/gestalt.h"
#include "platform/resource_store.h"
#include "show/preloader.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sprite.h"
#include "swf/styles.h"

namespace {

// Natural size of the bar in pixels; the preloader sets its own.
constexpr int kBarWidth = 200, kBarHeight = 12;
// 0x00BBGGRR
constexpr uint32_t kBackColour = 0x484848, kForeColour = 0xF0C040;

std::unique_ptr<CTagDefineShape> Bar(uint16_t id, uint32_t colour)
{
    auto shape = std::make_unique<CTagDefineShape>();
    shape->SetCharacterId(id);
    shape->BuildRect(0, 0, kBarWidth * kTwips, kBarHeight * kTwips, CFillStyle::MakeSolid(colour), nullptr);
    return shape;
}

std::unique_ptr<CTagPlaceObject2> Place(uint16_t id, uint16_t depth, const char* name)
{
    auto place = std::make_unique<CTagPlaceObject2>();
    place->SetCharacterId(id);
    place->depth = depth;
    auto matrix = std::make_unique<CSwfMatrix>();
    matrix->SetIdentity();
    place->SetMatrix(matrix.release());
    place->name = name;
    place->hasName = true;
    return place;
}

bool WriteBarMovie(const std::string& path, std::string& error)
{
    CSwfMovie movie;
    movie.SetHeader(kBarWidth * kTwips, kBarHeight * kTwips, 12.0f, 5);
    if (!movie.Open(CPath(path.c_str()), true)) {
        error = "cannot create " + path;
        return false;
    }
    movie.AddTag(new CTagSetBackgroundColor(0, 0, 0));
    movie.AddTag(Bar(1, kBackColour).release());
    movie.AddTag(Bar(2, kForeColour).release());
    auto clip = std::make_unique<CTagDefineSprite>();
    clip->SetCharacterId(3);
    clip->AddTag(Place(1, 1, "BarBg").release());
    clip->AddTag(Place(2, 2, "BarFg").release());
    clip->AddTag(new CTagShowFrame());
    movie.AddTag(clip.release());
    movie.AddTag(Place(3, 1, "PreloadBar").release());
    movie.AddTag(new CTagShowFrame());
    movie.AddTag(new CTagEnd());
    if (movie.Close() == 0) {
        error = "cannot write " + path + ": " + movie.GetError();
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MAIN_RSRC_FOLDER COPY.swf\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1], copy = argv[2];
    std::string error;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!WriteBarMovie(copy, error)) {
        std::fprintf(stderr, "make_preloader_bar: %s\n", error.c_str());
        return 1;
    }
    std::ifstream in(copy, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "make_preloader_bar: cannot read %s\n", copy.c_str());
        return 1;
    }
    if (!platform::WriteResource(folder, FourCC(kPreloaderBarResType), kPreloaderBarResId, bytes,
                                 &error)) {
        std::fprintf(stderr, "make_preloader_bar: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
