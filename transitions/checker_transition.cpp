#include "transitions/checker_transition.h"

#include <algorithm>
#include <cstdlib>

#include "show/slide.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/records.h"
#include "transitions/motion_steps.h"

namespace {

const DirectionRow kDirections[] = {
    {"horizontal_left_to_right_down", "Left to Right Down"},
    {"horizontal_left_to_right_up", "Left to Right Up"},
    {"horizontal_right_to_left_down", "Right to Left Down"},
    {"horizontal_right_to_left_up", "Right to Left Up"},
    {"horizontal_top_to_bottom_right", "Top to Bottom Right"},
    {"horizontal_top_to_bottom_left", "Top to Bottom Left"},
    {"horizontal_bottom_to_top_right", "Bottom to Top Right"},
    {"horizontal_bottom_to_top_left", "Bottom to Top Left"},
    {"horizontal_spiral_top_left_cw", "Spiral Top Left CW"},
    {"horizontal_spiral_top_left_ccw", "Spiral Top Left CCW"},
    {"horizontal_spiral_top_right_cw", "Spiral Top Right CW"},
    {"horizontal_spiral_top_right_ccw", "Spiral Top Right CCW"},
    {"horizontal_spiral_bottom_left_cw", "Spiral Bottom Left CW"},
    {"horizontal_spiral_bottom_left_ccw", "Spiral Bottom Left CCW"},
    {"horizontal_spiral_bottom_right_cw", "Spiral Bottom Right CW"},
    {"horizontal_spiral_bottom_right_ccw", "Spiral Bottom Right CCW"},
    {"random", "Random"},
};

// Files hold the words above; the shorter words for 4 to 15 are read too.
const DirectionAlias kDirectionWords[] = {
    {"horizontal_left_to_right_down", 0},
    {"horizontal_left_to_right_up", 1},
    {"horizontal_right_to_left_down", 2},
    {"horizontal_right_to_left_up", 3},
    {"horizontal_top_to_bottom_right", 4},
    {"horizontal_top_to_bottom_left", 5},
    {"horizontal_bottom_to_top_right", 6},
    {"horizontal_bottom_to_top_left", 7},
    {"horizontal_spiral_top_left_cw", 8},
    {"horizontal_spiral_top_left_ccw", 9},
    {"horizontal_spiral_top_right_cw", 10},
    {"horizontal_spiral_top_right_ccw", 11},
    {"horizontal_spiral_bottom_left_cw", 12},
    {"horizontal_spiral_bottom_left_ccw", 13},
    {"horizontal_spiral_bottom_right_cw", 14},
    {"horizontal_spiral_bottom_right_ccw", 15},
    {"random", 16},
    {"vertical_top_to_bottom_right", 4},
    {"vertical_top_to_bottom_left", 5},
    {"vertical_bottom_to_top_right", 6},
    {"vertical_bottom_to_top_left", 7},
    {"spiral_top_left_cw", 8},
    {"spiral_top_left_ccw", 9},
    {"spiral_top_right_cw", 10},
    {"spiral_top_right_ccw", 11},
    {"spiral_bottom_left_cw", 12},
    {"spiral_bottom_left_ccw", 13},
    {"spiral_bottom_right_cw", 14},
    {"spiral_bottom_right_ccw", 15},
};

const DirectionTable kDirectionTable{kDirections, int(std::size(kDirections)), kDirectionWords,
                                     int(std::size(kDirectionWords))};

const char* const kTypeWords[] = {"appear",     "fade_in", "zoom_in",   "drop_left",
                                  "drop_right", "drop_up", "drop_down", "drop_random"};
const char* const kTypeItems[] = {"Appear",     "Fade In", "Zoom In",   "Drop Left",
                                  "Drop Right", "Drop Up", "Drop Down", "Drop Random"};

struct Heading {
    int dx, dy;
};

// Turned a quarter: clockwise on screen (y down) or the other way.
Heading Turn(Heading h, bool clockwise)
{
    return clockwise ? Heading{-h.dy, h.dx} : Heading{h.dy, -h.dx};
}

std::vector<std::pair<int, int>> Spiral(int columns, int rows, int c, int r, Heading h, bool clockwise)
{
    std::vector<std::pair<int, int>> order;
    std::vector<bool> seen(size_t(columns) * size_t(rows), false);
    auto free = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < columns && y < rows && !seen[size_t(y) * columns + x];
    };
    for (;;) {
        order.emplace_back(c, r);
        seen[size_t(r) * columns + c] = true;
        if (!free(c + h.dx, r + h.dy)) {
            h = Turn(h, clockwise);
            if (!free(c + h.dx, r + h.dy)) break;
        }
        c += h.dx;
        r += h.dy;
    }
    return order;
}

}  // namespace

void CCheckerCell::SetupMotion()
{
    if (duration <= 0) return;  // such a cell never animates
    int drop = type;
    switch (type) {
        case CCheckerTransition::kFadeIn:
            fadeStep = 1.0 / duration;
            return;
        case CCheckerTransition::kZoomIn:
            scaleX = scaleY = 0.0;
            zoomStepX = zoomStepY = 1.0 / duration;
            return;
        case CCheckerTransition::kDropRandom:
            drop = CCheckerTransition::kDropLeft + std::rand() % 4;
            break;
        case CCheckerTransition::kDropLeft:
        case CCheckerTransition::kDropRight:
        case CCheckerTransition::kDropUp:
        case CCheckerTransition::kDropDown:
            break;
        default:
            return;
    }
    // Each axis's whole way, from one travel off back to the grid place.
    dropX = drop == CCheckerTransition::kDropLeft ? -travel : drop == CCheckerTransition::kDropRight ? travel : 0;
    dropY = drop == CCheckerTransition::kDropUp ? -travel : drop == CCheckerTransition::kDropDown ? travel : 0;
}

void CCheckerCell::WriteFrame(CSwfMovie* movie, int f)
{
    if (!copyDepth) return;
    if (type == CCheckerTransition::kAppear) {
        if (f == startFrame) clip_layers::Move(movie, copyDepth, nullptr, motion::Opacity(256));
        return;
    }
    if (f < startFrame || int64_t(f) >= int64_t(startFrame) + duration) return;
    const bool first = f == startFrame;
    switch (type) {
        case CCheckerTransition::kFadeIn:
            alpha = std::min(alpha + fadeStep, 1.0);
            clip_layers::Move(movie, copyDepth, nullptr, motion::Opacity(int(alpha * 256 + 0.5)));
            return;
        case CCheckerTransition::kZoomIn:
            scaleX = std::min(scaleX + zoomStepX, 1.0);
            scaleY = std::min(scaleY + zoomStepY, 1.0);
            clip_layers::Move(movie, maskDepth, motion::ScaleMatrix(scaleX, scaleY, maskX, maskY));
            clip_layers::Move(movie, copyDepth, motion::ScaleMatrix(scaleX, scaleY, copyX, copyY),
                              first ? motion::Opacity(256) : nullptr);
            return;
        default: {  // the drops: frame j of the cell's d stands j / d of the way on
            const int64_t j = int64_t(f) - startFrame + 1;
            const int64_t offX = motion::Along(dropX, j, duration) - dropX;
            const int64_t offY = motion::Along(dropY, j, duration) - dropY;
            // Held to the full 32 bits, as the cells' places are.
            auto at = [](int64_t x, int64_t y) {
                return clip_layers::Translation(motion::Saturated(double(x)), motion::Saturated(double(y)));
            };
            clip_layers::Move(movie, copyDepth, at(copyX + offX, copyY + offY), first ? motion::Opacity(256) : nullptr);
            clip_layers::Move(movie, maskDepth, at(maskX + offX, maskY + offY));
            return;
        }
    }
}

CCheckerTransition::CCheckerTransition()
    : direction_(kDirectionTable, {kDirectionLabelId, kDirectionPopupId, "Direction:", 200})
{
    SetName("Checker");
    CCheckerTransition::SetDefaults();
}

CCheckerTransition::~CCheckerTransition() = default;

void CCheckerTransition::SetDefaults()
{
    direction = kLeftToRightDown;
    type = kAppear;
    cellWidth = cellHeight = 1600;
}

bool CCheckerTransition::CopyFrom(const CTransition* other)
{
    if (!CTransition::CopyFrom(other)) return false;
    if (auto* o = dynamic_cast<const CCheckerTransition*>(other)) {
        direction = o->direction;
        type = o->type;
    }
    return true;
}

std::vector<std::pair<int, int>> CCheckerTransition::CellOrder(int direction, int columns, int rows)
{
    std::vector<std::pair<int, int>> order;
    if (columns <= 0 || rows <= 0 || direction == kRandom) return order;
    if (direction >= kSpiralTopLeftCw && direction <= kSpiralBottomRightCcw) {
        struct Start {
            bool right, bottom;
            Heading heading;
        };
        static const Start kStarts[] = {
            {false, false, {1, 0}}, {false, false, {0, 1}}, {true, false, {0, 1}}, {true, false, {-1, 0}},
            {false, true, {0, -1}}, {false, true, {1, 0}},  {true, true, {-1, 0}}, {true, true, {0, -1}},
        };
        const int i = direction - kSpiralTopLeftCw;
        const Start& s = kStarts[i];
        return Spiral(columns, rows, s.right ? columns - 1 : 0, s.bottom ? rows - 1 : 0, s.heading, i % 2 == 0);
    }
    order.reserve(size_t(columns) * size_t(rows));
    // Rows first for 0 to 3, columns first for 4 to 7; any other value
    // falls back to the first order.
    const bool byColumns = direction >= kTopToBottomRight && direction <= kBottomToTopLeft;
    const bool reverseColumns = direction == kRightToLeftDown || direction == kRightToLeftUp ||
                                direction == kTopToBottomLeft || direction == kBottomToTopLeft;
    const bool reverseRows = direction == kLeftToRightUp || direction == kRightToLeftUp ||
                             direction == kBottomToTopRight || direction == kBottomToTopLeft;
    const int outer = byColumns ? columns : rows, inner = byColumns ? rows : columns;
    for (int i = 0; i < outer; ++i)
        for (int j = 0; j < inner; ++j) {
            int c = byColumns ? i : j, r = byColumns ? j : i;
            if (reverseColumns) c = columns - 1 - c;
            if (reverseRows) r = rows - 1 - r;
            order.emplace_back(c, r);
        }
    return order;
}

uint16_t CCheckerTransition::DefineCellShape(CSwfMovie* movie, uint16_t* characterIdCounter)
{
    cellShapeId = clip_layers::DefineMaskShape({0, 0, cellHeight, cellWidth}, movie, characterIdCounter);
    return cellShapeId;
}

void CCheckerTransition::AssignCell(size_t k, int column, int row)
{
    CCheckerCell& cell = *cells_[k];
    const GridPlace& place = grid_[size_t(row) * size_t(columns) + size_t(column)];
    cell.maskDepth = place.maskDepth;
    cell.copyDepth = place.copyDepth;
    cell.maskX = place.maskX;
    cell.maskY = place.maskY;
    cell.copyX = copyX_;
    cell.copyY = copyY_;
    cell.travel = travel_;
    cell.SetupMotion();
}

void CCheckerTransition::OrderCells()
{
    const size_t count = cells_.size();
    if (direction == kRandom) {
        // Each pick before the set-up of its cell: Drop Random draws from
        // the same generator.
        std::vector<size_t> left(count);
        for (size_t i = 0; i < count; ++i) left[i] = i;
        for (size_t k = 0; k < count; ++k) {
            const size_t i = size_t(std::rand()) % left.size();
            const size_t g = left[i];
            left.erase(left.begin() + std::ptrdiff_t(i));
            AssignCell(k, int(g % size_t(columns)), int(g / size_t(columns)));
        }
        return;
    }
    const auto order = CellOrder(direction, columns, rows);
    for (size_t k = 0; k < count && k < order.size(); ++k) AssignCell(k, order[k].first, order[k].second);
}

void CCheckerTransition::ClearRun()
{
    cells_.clear();
    grid_.clear();
    lists_.Clear();
}

bool CCheckerTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                                     uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    ClearRun();
    int frameWidth = 0, frameHeight = 0;
    movie->GetFrameSize(frameWidth, frameHeight);
    const int64_t w = int64_t(slide->GetWidth()) * 20, h = int64_t(slide->GetHeight()) * 20;
    DefineCellShape(movie, characterIdCounter);
    // The last column and row may stick out past the slide.
    columns = rows = 0;
    if (cellShapeId && cellWidth > 0 && cellHeight > 0 && w > 0 && h > 0) {
        columns = int((w + cellWidth - 1) / cellWidth);
        rows = int((h + cellHeight - 1) / cellHeight);
    }
    const size_t count = size_t(columns) * size_t(rows);
    const int64_t x0 = int64_t(slide->GetX()) * 20, y0 = int64_t(slide->GetY()) * 20;
    const CSlide::CameraPlacement& at = slide->GetCameraPlacement();
    copyX_ = at.centerX;
    copyY_ = at.centerY;
    travel_ = std::max(frameWidth, frameHeight);
    const unsigned n = DurationFrames(movie->GetFrameRate());
    const int32_t d = int32_t(n / 4);
    const int64_t s = count ? int64_t(n - unsigned(d)) / int64_t(count) : 0;

    for (size_t k = 0; k < count; ++k) {
        auto cell = std::make_unique<CCheckerCell>(type);
        cell->startFrame = int32_t(int64_t(k) * s);
        cell->duration = d;
        cells_.push_back(std::move(cell));
    }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const int32_t x = motion::Saturated(double(x0 + int64_t(c) * cellWidth));
            const int32_t y = motion::Saturated(double(y0 + int64_t(r) * cellHeight));
            // Copies start transparent: the previous slide shows until a cell starts.
            const clip_layers::ClipPair pair = clip_layers::PlaceCopyPairWithCxform(
                movie, depthCounter, cellShapeId, clip_layers::Translation(x, y), *slide, false, motion::Opacity(0));
            lists_.Add(pair);
            grid_.push_back({pair.mask, pair.content, x, y});
        }
    OrderCells();

    for (unsigned f = 0; f < n; ++f) {
        for (auto& cell : cells_) cell->WriteFrame(movie, int(f));
        clip_layers::ShowFrame(movie);
    }
    clip_layers::Finish(*this, slide, previous, movie, lists_);
    ClearRun();
    return true;
}

bool CCheckerTransition::CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area)
{
    if (!area) return false;
    const short v = area->top, h = area->left;
    typeLabel_.Create(window, kTypeLabelId, Rect{v, h, short(v + 16), short(h + 54)}, "Type:");
    typePopup_.Create(window, kTypePopupId, Rect{v, short(h + 62), short(v + 16), short(h + 262)}, "");
    if (parent) typePopup_.EmbedIn(parent);
    for (const char* item : kTypeItems) typePopup_.AddItem(item);
    const Rect below{short(v + 24), h, area->bottom, area->right};
    direction_.Create(window, parent, &below, direction);
    OnCreateControls(window, area);
    UpdateSettingsControls();
    typeLabel_.Show(true);
    typePopup_.Show(true);
    return true;
}

bool CCheckerTransition::DisposeSettingsControls()
{
    ReadSettingsControls(this);
    OnDisposeControls();
    direction_.Dispose();
    typeLabel_.Dispose();
    typePopup_.Dispose();
    return true;
}

void CCheckerTransition::UpdateSettingsControls()
{
    direction_.Update(direction);
    if (typePopup_.GetControlRef()) typePopup_.SetValue(type);
}

bool CCheckerTransition::ReadSettingsControls(CTransition* target) const
{
    auto* t = dynamic_cast<CCheckerTransition*>(target);
    if (!t) return false;
    bool changed = direction_.Read(&t->direction);
    if (typePopup_.GetControlRef()) {
        const int v = typePopup_.GetValue(nullptr, 0);
        if (v >= 0 && v != t->type) {
            t->type = v;
            changed = true;
        }
    }
    return changed;
}

bool CCheckerTransition::OnControlChanged(uint32_t controlId)
{
    if (direction_.OnChanged(controlId, &direction)) return true;
    if (controlId != kTypePopupId) return false;
    const int v = typePopup_.GetControlRef() ? typePopup_.GetValue(nullptr, 0) : -1;
    if (v >= 0) type = v;
    return true;
}

bool CCheckerTransition::ReadXmlAttributes(const CElementReader& reader)
{
    ReadWordAttribute(reader, "type", kTypeWords, kTypeCount, &type);
    direction_.Read(reader, &direction);
    return true;
}

bool CCheckerTransition::WriteXmlAttributes(CXMLOutputFile& out) const
{
    out.Write("\" type=\"").Write(type >= 0 && type < kTypeCount ? kTypeWords[type] : "");
    direction_.Write(out, direction);
    return true;
}
