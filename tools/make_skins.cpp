// Writes the program's own playback and mute controls skins:
//   make_skins RESOURCES_FOLDER
// gives RESOURCES_FOLDER/Controls/<look>.dll and
// RESOURCES_FOLDER/Mute Controls/<look>.dll for each look.
//
// A controls skin's frame is the clip's natural size. Its PlaceObject2
// "show_controls" places a clip drawn about its centre that holds the clips
// first_slide_btn, prev_slide_btn, playpause_btn, next_slide_btn and
// last_slide_btn, each placing one DefineButton2; playpause_btn has two
// frames (pause button, then play button). A mute skin's "mute_control"
// holds mute_btn, whose two frames are the sound-off and sound-on buttons.
// The export attaches every button's actions.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "swf/buttons.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sprite.h"

namespace {

// Colours as 0x00BBGGRR.
struct Look {
    const char* name;
    uint32_t background, disc, highlight, icon;
};

const Look kLooks[] = {
    {"Classic", 0x202020, 0x505050, 0x2080E0, 0xFFFFFF},
    {"Silver", 0xD0D0D0, 0xFFFFFF, 0xD57B3A, 0x333333},
};

// Twips.
constexpr int kButtonPitch = 34 * 20;
constexpr int kDiscRadius = 13 * 20;
constexpr int kControlsWidth = 180, kControlsHeight = 36, kMuteSize = 36;

struct Point {
    int x, y;
};

// A closed outline: lines between points; a point marked as a control makes
// the next edge a curve through it.
struct Outline {
    std::vector<Point> points;
    std::vector<bool> control;

    Outline& Line(int x, int y)
    {
        points.push_back({x, y});
        control.push_back(false);
        return *this;
    }
    Outline& Curve(int cx, int cy, int x, int y)
    {
        points.push_back({cx, cy});
        control.push_back(true);
        return Line(x, y);
    }
};

Outline Polygon(std::initializer_list<Point> points)
{
    Outline o;
    for (Point p : points) o.Line(p.x, p.y);
    return o;
}

Outline Rect(int x0, int y0, int x1, int y1)
{
    return Polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

// A circle of eight quadratic arcs.
Outline Circle(int cx, int cy, int r)
{
    Outline o;
    const double step = M_PI / 4, reach = r / std::cos(step / 2);
    o.Line(cx + r, cy);
    for (int i = 1; i <= 8; ++i) {
        const double mid = (i - 0.5) * step, end = i * step;
        o.Curve(cx + int(std::lround(reach * std::cos(mid))), cy + int(std::lround(reach * std::sin(mid))),
                cx + int(std::lround(r * std::cos(end))), cy + int(std::lround(r * std::sin(end))));
    }
    return o;
}

// A rectangle with corners rounded by radius r, centred on the origin.
Outline RoundRect(int w, int h, int r)
{
    const int x0 = -w / 2, y0 = -h / 2, x1 = w / 2, y1 = h / 2;
    Outline o;
    o.Line(x0 + r, y0).Line(x1 - r, y0).Curve(x1, y0, x1, y0 + r).Line(x1, y1 - r).Curve(x1, y1, x1 - r, y1);
    o.Line(x0 + r, y1).Curve(x0, y1, x0, y1 - r).Line(x0, y0 + r).Curve(x0, y0, x0 + r, y0);
    return o;
}

Outline Mirrored(Outline o)
{
    // Reversed as well, so that the outline keeps its turning direction.
    std::vector<Point> points;
    std::vector<bool> control;
    const size_t n = o.points.size();
    for (size_t i = 0; i < n; ++i) {
        const size_t k = n - 1 - i;
        points.push_back({-o.points[k].x, o.points[k].y});
        // A control between two anchors stays between them.
        control.push_back(o.control[k]);
    }
    o.points = points;
    o.control = control;
    return o;
}

// One solid-filled shape made of outlines that do not overlap.
std::unique_ptr<CTagDefineShape> Shape(uint16_t id, uint32_t colour, const std::vector<Outline>& outlines)
{
    auto tag = std::make_unique<CTagDefineShape>();
    tag->characterId = id;
    tag->shape = std::make_unique<CShapeWithStyle>();
    tag->shape->fillStyles = std::make_unique<CFillStyleArray>();
    tag->shape->fillStyles->Append(CFillStyle::MakeSolid(colour));
    int x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
    for (const Outline& o : outlines) {
        Point pen = o.points.back();
        CShapeRecordStyleChange* move = tag->shape->AddMoveTo(pen.x, pen.y);
        move->fillStyle1 = 1;
        move->SetFlags(swf_shape::kMoveTo | swf_shape::kFillStyle1);
        for (size_t i = 0; i < o.points.size(); ++i) {
            const Point p = o.points[i];
            x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
            if (o.control[i]) {
                const Point a = o.points[++i];
                tag->shape->AddCurve(p.x - pen.x, p.y - pen.y, a.x - p.x, a.y - p.y);
                pen = a;
            } else if (p.x != pen.x || p.y != pen.y) {
                tag->shape->AddLine(p.x - pen.x, p.y - pen.y);
                pen = p;
            }
        }
    }
    tag->shape->AddEnd();
    tag->bounds = std::make_unique<CSwfRect>();
    tag->bounds->Set(x0, y0, x1, y1, false);
    return tag;
}

// ---- icons, drawn about the button's centre

Outline TriangleLeft(int tipX, int baseX, int half)
{
    return Polygon({{tipX, 0}, {baseX, -half}, {baseX, half}});
}

std::vector<Outline> FirstIcon()
{
    return {Rect(-150, -130, -110, 130), TriangleLeft(-110, 10, 130), TriangleLeft(10, 130, 130)};
}
std::vector<Outline> PrevIcon()
{
    return {Rect(-120, -130, -80, 130), TriangleLeft(-80, 110, 130)};
}
std::vector<Outline> PauseIcon()
{
    return {Rect(-110, -130, -40, 130), Rect(40, -130, 110, 130)};
}
std::vector<Outline> PlayIcon()
{
    return {Mirrored(TriangleLeft(-110, 130, 150))};
}

std::vector<Outline> MirroredAll(std::vector<Outline> icon)
{
    for (Outline& o : icon) o = Mirrored(o);
    return icon;
}

Outline Speaker()
{
    return Polygon({{-150, -50}, {-80, -50}, {10, -140}, {10, 140}, {-80, 50}, {-150, 50}});
}

// A cross of arms `arm` long and `half` thick each side, about (cx, cy).
Outline Cross(int cx, int cy, int arm, int half)
{
    const Point plus[] = {{half, arm},   {half, half},   {arm, half},   {arm, -half}, {half, -half}, {half, -arm},
                          {-half, -arm}, {-half, -half}, {-arm, -half}, {-arm, half}, {-half, half}, {-half, arm}};
    Outline o;
    const double c = std::cos(M_PI / 4);
    for (Point p : plus) o.Line(cx + int(std::lround((p.x - p.y) * c)), cy + int(std::lround((p.x + p.y) * c)));
    return o;
}

// A band of a quarter circle about (cx, 0), between radii r0 and r1.
Outline Wave(int cx, int r0, int r1)
{
    const double c = std::cos(M_PI / 4);
    auto at = [&](int r, int sign) { return Point{cx + int(std::lround(r * c)), sign * int(std::lround(r * c))}; };
    const Point a = at(r1, -1), b = at(r1, 1), d = at(r0, 1), e = at(r0, -1);
    Outline o;
    o.Line(a.x, a.y).Curve(cx + int(std::lround(r1 / c)), 0, b.x, b.y).Line(d.x, d.y);
    o.Curve(cx + int(std::lround(r0 / c)), 0, e.x, e.y).Line(a.x, a.y);
    return o;
}

std::vector<Outline> SoundOffIcon()
{
    return {Speaker(), Cross(90, 0, 60, 16)};
}
std::vector<Outline> SoundOnIcon()
{
    return {Speaker(), Wave(10, 50, 80), Wave(10, 110, 140)};
}

// ---- tags

std::unique_ptr<CTagPlaceObject2> Place(uint16_t id, uint16_t depth, int x, int y, const char* name = nullptr)
{
    auto place = std::make_unique<CTagPlaceObject2>();
    place->SetCharacterId(id);
    place->depth = depth;
    auto matrix = std::make_unique<CSwfMatrix>();
    matrix->translateX = x;
    matrix->translateY = y;
    place->SetMatrix(matrix.release());
    if (name) {
        place->name = name;
        place->hasName = true;
    }
    return place;
}

// A button showing the disc (highlighted while the pointer is over it or
// down) with the icon on it; the disc is the hit area.
std::unique_ptr<CTagDefineButton2> Button(uint16_t id, uint16_t disc, uint16_t highlight, uint16_t icon)
{
    using namespace swf_button_state;
    auto button = std::make_unique<CTagDefineButton2>();
    button->characterId = id;
    button->AddRecord(new CSwfButtonRecord(kUp | kHitTest, disc, 1));
    button->AddRecord(new CSwfButtonRecord(kOver | kDown, highlight, 1));
    button->AddRecord(new CSwfButtonRecord(kUp | kOver | kDown, icon, 2));
    // Readers expect a button to hold an action list; the export replaces it.
    auto* stop = new CTagDoAction;
    stop->AddAction(new CActionStop);
    button->AddCondAction(swf_button_cond::kOverDownToOverUp, stop);
    return button;
}

// A clip holding one button per frame.
std::unique_ptr<CTagDefineSprite> ButtonClip(uint16_t id, std::initializer_list<uint16_t> buttons)
{
    auto clip = std::make_unique<CTagDefineSprite>();
    clip->characterId = id;
    bool first = true;
    for (uint16_t b : buttons) {
        if (!first) clip->AddTag(new CTagRemoveObject2(1));
        clip->AddTag(Place(b, 1, 0, 0).release());
        clip->AddTag(new CTagShowFrame);
        first = false;
    }
    return clip;
}

class SkinWriter {
public:
    SkinWriter(const std::filesystem::path& file, int width, int height) : path(file.string())
    {
        movie.SetHeader(width * 20, height * 20, 12.0f, 5);
        ok = movie.Open(CPath(path.c_str()), true);
        Add(std::make_unique<CTagSetBackgroundColor>(0xFF, 0xFF, 0xFF));
    }
    template <class Tag>
    void Add(std::unique_ptr<Tag> tag)
    {
        if (ok && movie.AddTag(tag.release()) == 0) ok = false;
    }
    bool Finish()
    {
        Add(std::make_unique<CTagShowFrame>());
        Add(std::make_unique<CTagEnd>());
        if (movie.Close() == 0 || !ok) {
            std::fprintf(stderr, "make_skins: cannot write %s\n", path.c_str());
            return false;
        }
        return true;
    }

private:
    std::string path;
    CSwfMovie movie;
    bool ok = false;
};

bool WriteControls(const std::filesystem::path& file, const Look& look)
{
    SkinWriter w(file, kControlsWidth, kControlsHeight);
    enum : uint16_t { kBack = 1, kDisc, kHighlight, kIcons };
    w.Add(Shape(kBack, look.background, {RoundRect(kControlsWidth * 20, kControlsHeight * 20, 160)}));
    w.Add(Shape(kDisc, look.disc, {Circle(0, 0, kDiscRadius)}));
    w.Add(Shape(kHighlight, look.highlight, {Circle(0, 0, kDiscRadius)}));
    // Left to right, as they stand in the bar.
    const std::vector<std::vector<Outline>> icons = {
        FirstIcon(), PrevIcon(), PauseIcon(), PlayIcon(), MirroredAll(PrevIcon()), MirroredAll(FirstIcon())};
    const uint16_t kButtons = uint16_t(kIcons + icons.size());
    const uint16_t kClips = uint16_t(kButtons + icons.size());
    for (size_t i = 0; i < icons.size(); ++i) w.Add(Shape(uint16_t(kIcons + i), look.icon, icons[i]));
    for (size_t i = 0; i < icons.size(); ++i)
        w.Add(Button(uint16_t(kButtons + i), kDisc, kHighlight, uint16_t(kIcons + i)));
    struct Slot {
        const char* name;
        std::initializer_list<uint16_t> buttons;
    };
    const Slot slots[] = {{"first_slide_btn", {kButtons}},
                          {"prev_slide_btn", {uint16_t(kButtons + 1)}},
                          {"playpause_btn", {uint16_t(kButtons + 2), uint16_t(kButtons + 3)}},
                          {"next_slide_btn", {uint16_t(kButtons + 4)}},
                          {"last_slide_btn", {uint16_t(kButtons + 5)}}};
    auto bar = std::make_unique<CTagDefineSprite>();
    bar->characterId = uint16_t(kClips + std::size(slots));
    bar->AddTag(Place(kBack, 1, 0, 0).release());
    for (size_t i = 0; i < std::size(slots); ++i) {
        w.Add(ButtonClip(uint16_t(kClips + i), slots[i].buttons));
        bar->AddTag(
            Place(uint16_t(kClips + i), uint16_t(2 + i), (int(i) - 2) * kButtonPitch, 0, slots[i].name).release());
    }
    bar->AddTag(new CTagShowFrame);
    const uint16_t barId = bar->characterId;
    w.Add(std::move(bar));
    w.Add(Place(barId, 1, kControlsWidth * 10, kControlsHeight * 10, "show_controls"));
    return w.Finish();
}

bool WriteMute(const std::filesystem::path& file, const Look& look)
{
    SkinWriter w(file, kMuteSize, kMuteSize);
    enum : uint16_t { kBack = 1, kDisc, kHighlight, kOffIcon, kOnIcon, kOffButton, kOnButton, kButtonClip, kClip };
    w.Add(Shape(kBack, look.background, {RoundRect(kMuteSize * 20, kMuteSize * 20, 160)}));
    w.Add(Shape(kDisc, look.disc, {Circle(0, 0, kDiscRadius)}));
    w.Add(Shape(kHighlight, look.highlight, {Circle(0, 0, kDiscRadius)}));
    w.Add(Shape(kOffIcon, look.icon, SoundOffIcon()));
    w.Add(Shape(kOnIcon, look.icon, SoundOnIcon()));
    w.Add(Button(kOffButton, kDisc, kHighlight, kOffIcon));
    w.Add(Button(kOnButton, kDisc, kHighlight, kOnIcon));
    w.Add(ButtonClip(kButtonClip, {kOffButton, kOnButton}));
    auto clip = std::make_unique<CTagDefineSprite>();
    clip->characterId = kClip;
    clip->AddTag(Place(kBack, 1, 0, 0).release());
    clip->AddTag(Place(kButtonClip, 2, 0, 0, "mute_btn").release());
    clip->AddTag(new CTagShowFrame);
    w.Add(std::move(clip));
    w.Add(Place(kClip, 1, kMuteSize * 10, kMuteSize * 10, "mute_control"));
    return w.Finish();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_skins RESOURCES_FOLDER\n");
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    std::error_code ec;
    for (const char* folder : {"Controls", "Mute Controls"}) {
        std::filesystem::create_directories(root / folder, ec);
        if (ec) {
            std::fprintf(stderr, "make_skins: cannot create %s\n", (root / folder).string().c_str());
            return 1;
        }
    }
    for (const Look& look : kLooks) {
        const std::string file = std::string(look.name) + ".dll";
        if (!WriteControls(root / "Controls" / file, look) || !WriteMute(root / "Mute Controls" / file, look)) return 1;
    }
    return 0;
}
