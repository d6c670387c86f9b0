#pragma once
// "Checker": the new slide comes in cell by cell. Each 80 × 80 px cell is a
// mask over a copy of the new slide that starts transparent; the cells start
// one after another in row, column, spiral or random order and appear, fade,
// zoom or drop into place.
#include <cstdint>
#include <memory>
#include <vector>

#include "show/transition.h"
#include "transitions/clip_layers.h"
#include "transitions/direction_setting.h"
#include "ui/popup_edit.h"
#include "ui/simple_controls.h"

// One grid cell while the transition is written.
struct CCheckerCell {
    explicit CCheckerCell(int type) : type(type) {}

    // The drop's travel; the fade's and zoom's per-frame growth.
    void SetupMotion();
    // The moves of frame f (0-based) for this cell, if it is animating.
    void WriteFrame(CSwfMovie* movie, int f);

    int type;
    int32_t startFrame = 0;
    int32_t duration = 0;
    uint16_t copyDepth = 0;  // 0: the cell could not be placed
    uint16_t maskDepth = 0;
    int32_t travel = 0;
    int32_t dropX = 0, dropY = 0;  // a drop's whole way, towards the grid place
    double zoomStepX = 0.0, zoomStepY = 0.0;
    int32_t maskX = 0, maskY = 0;  // the grid place; a zoom's mask stays there
    int32_t copyX = 0, copyY = 0;
    double scaleX = 0.0, scaleY = 0.0;
    double fadeStep = 0.0;
    double alpha = 0.0;
};

class CCheckerTransition : public CTransitionKind<CCheckerTransition> {
public:
    enum Type { kAppear, kFadeIn, kZoomIn, kDropLeft, kDropRight, kDropUp, kDropDown, kDropRandom, kTypeCount };
    enum Direction {
        kLeftToRightDown,
        kLeftToRightUp,
        kRightToLeftDown,
        kRightToLeftUp,
        kTopToBottomRight,
        kTopToBottomLeft,
        kBottomToTopRight,
        kBottomToTopLeft,
        kSpiralTopLeftCw,
        kSpiralTopLeftCcw,
        kSpiralTopRightCw,
        kSpiralTopRightCcw,
        kSpiralBottomLeftCw,
        kSpiralBottomLeftCcw,
        kSpiralBottomRightCw,
        kSpiralBottomRightCcw,
        kRandom,
        kDirectionCount
    };
    static constexpr uint32_t kDirectionLabelId = 10008;
    static constexpr uint32_t kDirectionPopupId = 10009;
    static constexpr uint32_t kTypeLabelId = 10010;
    static constexpr uint32_t kTypePopupId = 10011;

    CCheckerTransition();
    ~CCheckerTransition() override;

    bool CopyFrom(const CTransition* other) override;
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
    void SetDefaults() override;

    TAVREL_TRANSITION_SETTINGS_OVERRIDES;

    // The grid places (column, row) in the order a row, column or spiral
    // direction starts them; empty for Random, whose picks are made as the
    // cells are set up.
    static std::vector<std::pair<int, int>> CellOrder(int direction, int columns, int rows);

    int direction = kLeftToRightDown;
    int type = kAppear;
    int32_t cellWidth = 1600;  // twips
    int32_t cellHeight = 1600;
    int columns = 0;  // of the last run
    int rows = 0;
    uint16_t cellShapeId = 0;

private:
    uint16_t DefineCellShape(CSwfMovie* movie, uint16_t* characterIdCounter);
    // Gives record k the grid place (column, row), then sets up its motion.
    void AssignCell(size_t k, int column, int row);
    void OrderCells();
    void ClearRun();

    std::vector<std::unique_ptr<CCheckerCell>> cells_;
    // Where each grid place (row-major) stands when placed; read by AssignCell.
    struct GridPlace {
        uint16_t maskDepth, copyDepth;
        int32_t maskX, maskY;
    };
    std::vector<GridPlace> grid_;
    int32_t copyX_ = 0, copyY_ = 0, travel_ = 0;
    clip_layers::DepthLists lists_;

    CDirectionSetting direction_;
    CStaticText typeLabel_;
    mutable CPopupMenu typePopup_;
};
